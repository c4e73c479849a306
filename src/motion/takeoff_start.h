#pragma once
// Putting a live aircraft into its takeoff roll with its takeoff
// configuration. Engine thread only.

#include <cstdint>

#include "engine/records.h"

// The takeoff roll starts afresh: its state is cleared and keeps the flag
// (the forced-takeoff flag: one airborne next point is enough to lift off),
// the takeoff runway is looked up anew; throttle 3, spoilers on, flaps 1, the
// departure lights, and wide retiming limits for the roll.
void startTakeoffRoll(LiveAc& ac, std::uint8_t flag);
// The same for an aircraft that started rolling without a normal taxi start,
// with idle throttle and spoilers off; an aircraft seen being towed is
// reported.
void startTowedTakeoffRoll(LiveAc& ac);
