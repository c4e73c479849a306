#include "foundation/geodesy.h"

#include <algorithm>
#include <cmath>

double gf_distanceNm(LaLo a, LaLo b) noexcept {
    const double latA = a.lat * degreesToRadians;
    const double latB = b.lat * degreesToRadians;
    const double sinHalfDLat = std::sin((latB - latA) * 0.5);
    const double sinHalfDLon = std::sin((b.lon - a.lon) * degreesToRadians * 0.5);
    double h = sinHalfDLat * sinHalfDLat + std::cos(latA) * std::cos(latB) * sinHalfDLon * sinHalfDLon;
    // Rounding can push h a hair outside [0, 1] for antipodal or identical
    // points, and the square roots below would then give NaN.
    h = std::clamp(h, 0.0, 1.0);
    return std::atan2(std::sqrt(h), std::sqrt(1.0 - h)) * earthDiameterNm;
}

double gf_bearing(LaLo from, LaLo to) noexcept {
    const double latFrom = from.lat * degreesToRadians;
    const double latTo = to.lat * degreesToRadians;
    const double dLon = (to.lon - from.lon) * degreesToRadians;
    const double cosLatTo = std::cos(latTo);
    double theta = std::atan2(std::sin(dLon) * cosLatTo,
                              std::cos(latFrom) * std::sin(latTo) - std::sin(latFrom) * cosLatTo * std::cos(dLon));
    if (theta < 0.0) {
        theta += fullCircle;
    }
    // A tiny negative angle plus 2 pi rounds to exactly 2 pi; keep the result
    // inside [0, 2 pi).
    return theta >= fullCircle ? 0.0 : theta;
}

LaLo gf_destinationPoint(LaLo from, BearingDistance bearingDistance) noexcept {
    const double delta = bearingDistance.distance * inverseEarthRadiusFt;
    const double theta = bearingDistance.bearing;
    const double lat1 = from.lat * degreesToRadians;
    const double lon1 = from.lon * degreesToRadians;
    const double sinLat1 = std::sin(lat1);
    const double cosLat1 = std::cos(lat1);
    const double sinDelta = std::sin(delta);
    const double cosDelta = std::cos(delta);
    // Rounding may carry the sine of the new latitude just past +-1 near the
    // poles, where asin would give NaN.
    const double sinLat2 = std::clamp(sinLat1 * cosDelta + cosLat1 * sinDelta * std::cos(theta), -1.0, 1.0);
    const double lat2 = std::asin(sinLat2);
    double lon2 = lon1 + std::atan2(std::sin(theta) * sinDelta * cosLat1, cosDelta - sinLat1 * sinLat2);
    lon2 = std::remainder(lon2, fullCircle);
    return LaLo{lat2 * radiansToDegrees, lon2 * radiansToDegrees};
}

bool gf_isSamePlace(LaLo a, LaLo b) noexcept {
    constexpr double kSamePlaceDeg = 1e-8;
    return std::fabs(a.lat - b.lat) < kSamePlaceDeg && std::fabs(gf_wrapLongitudeDifference(a.lon - b.lon)) < kSamePlaceDeg;
}

double gf_wrapLongitudeDifference(double difference) noexcept {
    if (difference >= -180.0 && difference <= 180.0) return difference;
    // remainder() is exact and lands in [-180, 180] for any finite input, also
    // for differences of longitudes that were themselves out of range.
    return std::remainder(difference, 360.0);
}
