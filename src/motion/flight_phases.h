#pragma once
// Reference speeds of a live aircraft: the speed above which it is taken to be
// airborne or flying a takeoff, and the bases of its roll speeds.

#include <cstdint>

#include "engine/records.h"

// Knots, by category and mode (2 and 3 reduce the base).
double refSpeedKt(const LiveAc& ac, std::uint8_t mode);
