#pragma once
// Reference speeds of a live aircraft: the speed above which it is taken to be
// airborne or flying a takeoff, and the bases of its roll speeds.

#include <cstdint>

#include "engine/records.h"

// Knots, by category and mode (2 and 3 reduce the base).
double refSpeedKt(const LiveAc& ac, std::uint8_t mode);

// The aircraft enters the phase: the phase it leaves moves into the phase
// history and the phase's start tick is stamped; entering pushing_back,
// pushed_back or parked ends `arrivingHere`.
void setFlightPhase(LiveAc& ac, AcPhase phase);
