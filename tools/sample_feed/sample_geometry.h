#pragma once
// Plane geometry around one airport: positions in metres east and north of the
// airport's reference point, headings in degrees clockwise from true north.
// Within the few tens of kilometres the sample traffic flies, a flat frame
// scaled by the cosine of the reference latitude is accurate to well under a
// metre per kilometre, and it keeps every route computation simple.

#include <cmath>

namespace tavo::sample {

inline constexpr double kPi = 3.14159265358979323846;
// One minute of latitude is one nautical mile.
inline constexpr double kMetresPerNm = 1852.0;
inline constexpr double kMetresPerDegree = 60.0 * kMetresPerNm;
inline constexpr double kFeetPerMetre = 1.0 / 0.3048;
inline constexpr double kMetresPerSecondPerKnot = kMetresPerNm / 3600.0;
inline constexpr double kGravity = 9.80665;

inline double radians(double degrees) { return degrees * kPi / 180.0; }
inline double degrees(double radiansValue) { return radiansValue * 180.0 / kPi; }
inline double knots(double kt) { return kt * kMetresPerSecondPerKnot; }
inline double toKnots(double metresPerSecond) { return metresPerSecond / kMetresPerSecondPerKnot; }

// A heading in [0, 360).
inline double normalHeading(double deg) {
    double h = std::fmod(deg, 360.0);
    if (h < 0) h += 360.0;
    return h;
}
// The signed turn from one heading to another, in [-180, 180).
inline double turnBetween(double fromDeg, double toDeg) {
    double d = std::fmod(toDeg - fromDeg + 540.0, 360.0);
    if (d < 0) d += 360.0;
    return d - 180.0;
}

struct Vec {
    double e = 0.0;
    double n = 0.0;
};

inline Vec operator+(Vec a, Vec b) { return {a.e + b.e, a.n + b.n}; }
inline Vec operator-(Vec a, Vec b) { return {a.e - b.e, a.n - b.n}; }
inline Vec operator*(Vec a, double k) { return {a.e * k, a.n * k}; }
inline Vec operator*(double k, Vec a) { return a * k; }
inline double dot(Vec a, Vec b) { return a.e * b.e + a.n * b.n; }
inline double length(Vec a) { return std::hypot(a.e, a.n); }
inline double distance(Vec a, Vec b) { return length(a - b); }
// The unit vector pointing along a heading.
inline Vec unitVector(double headingDeg) { return {std::sin(radians(headingDeg)), std::cos(radians(headingDeg))}; }
// The heading of a direction (0 for a null vector).
inline double headingOf(Vec v) { return (v.e == 0.0 && v.n == 0.0) ? 0.0 : normalHeading(degrees(std::atan2(v.e, v.n))); }

struct LatLon {
    double lat = 0.0;
    double lon = 0.0;
};

// The flat frame at one reference point.
class LocalFrame {
public:
    LocalFrame() = default;
    LocalFrame(double lat, double lon) : origin_{lat, lon}, cosLat_(std::cos(radians(lat))) {}

    Vec toLocal(LatLon p) const {
        return {(p.lon - origin_.lon) * kMetresPerDegree * cosLat_, (p.lat - origin_.lat) * kMetresPerDegree};
    }
    LatLon toLatLon(Vec v) const {
        return {origin_.lat + v.n / kMetresPerDegree, origin_.lon + v.e / (kMetresPerDegree * cosLat_)};
    }
    LatLon origin() const { return origin_; }

private:
    LatLon origin_;
    double cosLat_ = 1.0;
};

}  // namespace tavo::sample
