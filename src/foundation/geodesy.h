#pragma once
// Great-circle geometry on a spherical earth whose radius makes one minute of
// arc exactly one nautical mile. Plain functions on values: they run in the
// per-tick paths and neither allocate nor keep state.

#include <numbers>

#include "foundation/lalo.h"

// The program's one pi; angles in radians are built from it.
inline constexpr double pi = std::numbers::pi;
inline constexpr double degreesToRadians = pi / 180.0;
inline constexpr double radiansToDegrees = 180.0 / pi;
inline constexpr double fullCircle = 2.0 * pi;
// Twice the earth radius in nautical miles (60 * 180 / pi nm).
inline constexpr double earthDiameterNm = 6875.493541569878;
// Reciprocal of the earth radius in feet (radius in nm * 6076.11549 ft/nm).
inline constexpr double inverseEarthRadiusFt = 4.787404208238998e-8;
inline constexpr double feetPerNm = 6076.11549;
inline constexpr double metresPerNm = 1852.0;
inline constexpr double feetPerMetre = 3.2808399;

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

// A difference of two longitudes (degrees) taken the short way round, in
// [-180, 180], so that points just across the date line are neighbours rather
// than half a world apart. Every longitude difference goes through it.
double gf_wrapLongitudeDifference(double difference) noexcept;

// Two positions less than 1e-8 degrees apart in latitude and in longitude
// (the short way round): one place. The one test of it everywhere.
bool gf_isSamePlace(LaLo a, LaLo b) noexcept;
