#pragma once
// Putting a live aircraft into its takeoff roll with its takeoff configuration.

#include <cstdint>

#include "engine/records.h"

// The flag is kept in the takeoff-roll state (1: a touch-and-go).
void startTakeoffRoll(LiveAc& ac, std::uint8_t flag);
// The same for an aircraft that started rolling without a normal taxi start.
void startTowedTakeoffRoll(LiveAc& ac);
