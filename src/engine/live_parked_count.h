#pragma once
// The live aircraft standing at stands, counted for the main window and the
// parked-traffic planner.

#include <cstdint>

// The number of active live aircraft in phase parked. With report set it also
// posts their average time parked to the main window.
std::uint32_t gf_countLiveParked(bool report);
