#pragma once
// Great-circle geometry on a spherical earth whose radius makes one minute of
// arc exactly one nautical mile. Plain functions on values: they run in the
// per-tick paths and neither allocate nor keep state.

#include "foundation/lalo.h"

inline constexpr double degreesToRadians = 0.017453292519943295;  // pi / 180
inline constexpr double radiansToDegrees = 57.29577951308232;     // 180 / pi
inline constexpr double fullCircle = 6.283185307179586;           // 2 pi
// Twice the earth radius in nautical miles (60 * 180 / pi nm).
inline constexpr double earthDiameterNm = 6875.493541569878;
// Reciprocal of the earth radius in feet (radius in nm * 6076.11549 ft/nm).
inline constexpr double inverseEarthRadiusFt = 4.787404208238998e-8;
inline constexpr double feetPerNm = 6076.11549;

// The second argument of gf_destinationPoint.
struct BearingDistance {
    double bearing = 0.0;   // radians, clockwise from true north
    double distance = 0.0;  // feet
};

// Great-circle distance in nautical miles (haversine).
double gf_distanceNm(LaLo a, LaLo b) noexcept;
// Initial bearing from one position towards another, radians in [0, 2 pi).
double gf_bearing(LaLo from, LaLo to) noexcept;
// The position reached from `from` along the bearing after the distance;
// the longitude is wrapped into [-180, 180].
LaLo gf_destinationPoint(LaLo from, BearingDistance bearingDistance) noexcept;
