#pragma once
// Leaving a stand: a parked live aircraft whose reports show it moving again
// is pushed back, tail first, two and a half stand radii, or pulls out
// forwards one wing span. Both replace the stream by one short leg off the
// stand, show the departure lights and change the phase. Engine thread only.

#include <array>
#include <cstdint>

#include "engine/records.h"

// The lights of a departing aircraft, in the order of gf_setAiLights (nav,
// beacon, landing, taxi, strobes, logo, cabin).
inline constexpr std::array<std::uint32_t, 7> kDepartureLights{1, 1, 0, 1, 0, 1, 0};

// Backs the aircraft out of its stand tail first, straight back from where
// its nose points (the stand's heading when its own is not known), keeping
// its heading; phase pushing_back. Without a usable stand (id 0, an
// unknown id, no radius) the pushback is cancelled with an error line and the
// aircraft stays parked, no longer departing.
void initiatePushBack(LiveAc& ac);

// Drives the aircraft forwards out of its stand, one wing span beyond the
// stand along its heading, engines started; phase taxi.
void pullOutOfStand(LiveAc& ac);
