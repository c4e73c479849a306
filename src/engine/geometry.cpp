#include "engine/geometry.h"

#include <algorithm>
#include <cmath>

#include "engine/records.h"
#include "foundation/geodesy.h"

namespace {

constexpr double kKnotsToMetresPerSecond = 0.5144444444444445;

struct PitchRow {
    double baseDeg;
    double climbGain;
    double descentGain;
    double lower;
    double upper;
};

constexpr PitchRow kFlyingPitch{-2.5, 2.6, 1.3, -3600.0, 3600.0};
constexpr PitchRow kLandingPitch{0.0, 1.5, 0.75, -1800.0, 1800.0};
constexpr PitchRow kOtherPitch{-3.0, 2.2, 1.1, -3000.0, 2400.0};

}  // namespace

double gf_flatDistanceSquaredNm(LaLo a, LaLo b, double cosLat) noexcept {
    const double north = (a.lat - b.lat) * 60.0;
    const double east = gf_wrapLongitudeDifference(a.lon - b.lon) * cosLat * 60.0;
    return north * north + east * east;
}

double gf_flatDistanceSquaredNm(LaLo a, LaLo b) noexcept {
    return gf_flatDistanceSquaredNm(a, b, std::cos(a.lat * degreesToRadians));
}

RelativePosition gf_relativePosition(LaLo a, double headingRad, LaLo b) noexcept {
    // The great-circle distance and initial bearing of the foundation, with
    // the sines and cosines both need taken once (the per-tick paths call
    // this for every pair of nearby aircraft). Same operations, same values.
    const double latA = a.lat * degreesToRadians;
    const double latB = b.lat * degreesToRadians;
    const double dLon = (b.lon - a.lon) * degreesToRadians;
    const double cosLatA = std::cos(latA);
    const double cosLatB = std::cos(latB);
    const double sinHalfDLat = std::sin((latB - latA) * 0.5);
    const double sinHalfDLon = std::sin(dLon * 0.5);
    double h = sinHalfDLat * sinHalfDLat + cosLatA * cosLatB * sinHalfDLon * sinHalfDLon;
    h = std::clamp(h, 0.0, 1.0);
    const double d = std::atan2(std::sqrt(h), std::sqrt(1.0 - h)) * earthDiameterNm * metresPerNm;
    if (!(d > 0.1)) return RelativePosition{d, 0.0, 0.0, 0.0};

    double bearing =
        std::atan2(std::sin(dLon) * cosLatB, cosLatA * std::sin(latB) - std::sin(latA) * cosLatB * std::cos(dLon));
    if (bearing < 0.0) bearing += fullCircle;
    if (bearing >= fullCircle) bearing = 0.0;
    const double x = std::remainder(bearing - headingRad, fullCircle);
    return RelativePosition{d, x, d * std::cos(x), d * std::sin(x)};
}

bool gf_circlesOverlap(LaLo a, double radiusA, LaLo b, double radiusB) noexcept {
    const double sum = radiusA + radiusB;
    if (!(sum > 0.0)) return false;
    return sum * sum >= gf_flatDistanceSquaredNm(a, b);
}

double gf_pitchForVerticalSpeed(const StreamPoint& point, AcPhase phase) noexcept {
    const PitchRow& row = phase == AcPhase::flying ? kFlyingPitch
                          : phase == AcPhase::landing ? kLandingPitch
                                                      : kOtherPitch;
    double v = std::isfinite(point.verticalSpeed) ? point.verticalSpeed : 0.0;
    v = std::clamp(v, row.lower, row.upper);
    const double gain = v >= 0.0 ? row.climbGain : row.descentGain;
    return (row.baseDeg - v / 600.0 * gain) * degreesToRadians;
}

void gf_normalizeLaLo(LaLo& position) noexcept {
    auto wrap = [](double lon) {
        double r = std::fmod(lon + 180.0, 360.0);
        if (r < 0.0) r += 360.0;
        // A tiny negative remainder plus 360 can round to 360 itself.
        if (r >= 360.0) r = 0.0;
        return r - 180.0;
    };
    position.lon = wrap(position.lon);
    if (position.lat > 90.0 || position.lat < -90.0) {
        position.lat = position.lat > 90.0 ? 180.0 - position.lat : -180.0 - position.lat;
        position.lon = wrap(position.lon + 180.0);
    }
}

LaLo gf_between(LaLo from, LaLo to, double f) noexcept {
    LaLo p{from.lat + (to.lat - from.lat) * f, from.lon + gf_wrapLongitudeDifference(to.lon - from.lon) * f};
    if (!(p.lon >= -180.0 && p.lon < 180.0 && p.lat >= -90.0 && p.lat <= 90.0)) gf_normalizeLaLo(p);
    return p;
}

double gf_lookAheadDistance(double speedKt) noexcept {
    if (!std::isfinite(speedKt) || !(speedKt > 0.0)) return 100.0;
    return std::clamp(speedKt * kKnotsToMetresPerSecond * 7.0, 100.0, 160.0);
}

double gf_groundSpeedFactor(double speedKt) noexcept {
    const double v = speedKt;
    if (v <= 8.0) return 1.2;
    if (v <= 15.0) return 1.2 - (v - 8.0) / 7.0 * 0.2;
    if (v <= 20.0) return 1.0;
    if (v <= 30.0) return 1.0 - (v - 20.0) / 10.0 * 0.4;
    return 0.6;
}
