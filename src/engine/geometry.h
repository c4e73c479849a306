#pragma once
// Small geometry of the engine and the motion code: flat distances over short
// ranges, the relative position of one point seen from another along a
// heading, circle overlap, a pitch for a vertical speed, position
// normalisation, and two speed-dependent helpers of ground motion.
//
// Every flat distance takes its longitude difference through the foundation's
// wrap, so that points on either side of the 180th meridian are neighbours.

#include <cstdint>

#include "engine/stream_point.h"
#include "foundation/lalo.h"

enum class AcPhase : std::uint32_t;

// Squared flat distance in NM^2: latitude difference x 60 north, wrapped
// longitude difference x cosLat x 60 east.
double gf_flatDistanceSquaredNm(LaLo a, LaLo b, double cosLat) noexcept;
// The same with the cosine of a's latitude.
double gf_flatDistanceSquaredNm(LaLo a, LaLo b) noexcept;

// B seen from A along a heading (radians).
struct RelativePosition {
    double distanceM = 0.0;
    double bearing = 0.0;  // relative to the heading, [-pi, pi]
    double along = 0.0;    // metres ahead (negative behind)
    double across = 0.0;   // metres to the right (negative left)
};
// Distance and relative bearing from the great circle; all but the distance
// are 0 when the points lie 0.1 m apart or less.
RelativePosition gf_relativePosition(LaLo a, double headingRad, LaLo b) noexcept;

// Whether two circles (radii in NM) overlap; never when the radii sum to 0 or
// less.
bool gf_circlesOverlap(LaLo a, double radiusA, LaLo b, double radiusB) noexcept;

// The pitch (radians, negative is nose up) for the point's vertical speed in
// the phase.
double gf_pitchForVerticalSpeed(const StreamPoint& point, AcPhase phase) noexcept;

// Longitude into [-180, 180); a latitude beyond the poles is reflected and the
// longitude turned by 180 degrees.
void gf_normalizeLaLo(LaLo& position) noexcept;

// The point the fraction f of the way from `from` to `to` on the flat
// (the longitude difference taken the short way round), normalized where it
// falls outside [-180, 180) or beyond a pole.
LaLo gf_between(LaLo from, LaLo to, double f) noexcept;

// How far ahead a ground path looks at that speed (kt): 7 s of travel, 100 to
// 160 m; 100 m for a speed that is not finite or not above 0.
double gf_lookAheadDistance(double speedKt) noexcept;

// The factor a ground speed (kt) is scaled by: 1.2 slow, 1.0 between 15 and
// 20 kt, 0.6 fast, linear in between.
double gf_groundSpeedFactor(double speedKt) noexcept;
