#include "motion/speed_profile.h"

#include <algorithm>
#include <cmath>

namespace {

struct Speeds {
    double start;
    double end;
};

// The end speeds scaled into the region where the cubic stays monotone:
// with a and b the speeds over the mean speed, a^2 + b^2 <= 9.
Speeds lf_limit(double distance, double duration, double startSpeed, double endSpeed) noexcept {
    const double mean = distance / duration;
    double a = std::max(startSpeed, 0.0) / mean;
    double b = std::max(endSpeed, 0.0) / mean;
    const double r2 = a * a + b * b;
    if (r2 > 9.0) {
        const double scale = 3.0 / std::sqrt(r2);
        a *= scale;
        b *= scale;
    }
    return {a * mean, b * mean};
}

// The slope coefficient of the speed, (3 T Va - 6 D + 3 T Vb) / T.
double lf_slopeCoefficient(double D, double T, Speeds v) noexcept {
    return (3.0 * T * v.start - 6.0 * D + 3.0 * T * v.end) / T;
}

double lf_extremum(double D, double T, Speeds v) noexcept {
    if (!(std::fabs(lf_slopeCoefficient(D, T, v)) > 1e-12)) return -1.0;
    return -(6.0 * D - 4.0 * T * v.start - 2.0 * T * v.end) / (2.0 * (3.0 * T * v.start - 6.0 * D + 3.0 * T * v.end));
}

// dx/dt at parameter s, as the cubic gives it (may be negative).
double lf_speed(double D, double T, Speeds v, double s) noexcept {
    return (D * (6.0 * s - 6.0 * s * s) + T * v.start * (3.0 * s * s - 4.0 * s + 1.0) +
            T * v.end * (3.0 * s * s - 2.0 * s)) /
           T;
}

double lf_lowest(double D, double T, Speeds v) noexcept {
    double low = std::min(v.start, v.end);
    const double s = lf_extremum(D, T, v);
    if (s > 0.0 && s < 1.0) low = std::min(low, lf_speed(D, T, v, s));
    return low;
}

double lf_highest(double D, double T, Speeds v) noexcept {
    double high = std::max(v.start, v.end);
    const double s = lf_extremum(D, T, v);
    if (s > 0.0 && s < 1.0) high = std::max(high, lf_speed(D, T, v, s));
    return high;
}

// Accepts limited speeds when the start speed was not cut, the top speed
// stays within vmax and neither end decelerates.
bool lf_withinBounds(double D, double T, double wantedStart, Speeds v, double vmax) noexcept {
    const double T2 = T * T;
    const double startAcceleration = (6.0 * D - 4.0 * T * v.start - 2.0 * T * v.end) / T2;
    const double endAcceleration = (2.0 * T * v.start - 6.0 * D + 4.0 * T * v.end) / T2;
    return v.start >= wantedStart - 1e-9 && std::max(lf_highest(D, T, v), 0.0) <= vmax + 1e-9 &&
           startAcceleration >= -1e-10 && endAcceleration >= -1e-10;
}

// A mean speed that underflows, or a speed far above it, makes a ratio
// overflow and the limited speeds NaN: such a leg has no usable profile. (The
// bounded maker's comparisons already refuse NaN speeds.)
bool lf_finite(Speeds v) noexcept { return std::isfinite(v.start) && std::isfinite(v.end); }

void lf_store(SpeedProfile& profile, double D, double T, Speeds v) noexcept {
    profile = {D, T, v.start, v.end, 1};
}

Speeds lf_stored(const SpeedProfile& p) noexcept { return {p.startSpeed, p.endSpeed}; }

}  // namespace

bool gf_makeSpeedProfile(SpeedProfile& profile, double distance, double duration, double startSpeed,
                         double endSpeed) noexcept {
    profile = SpeedProfile{};
    if (!std::isfinite(distance) || !(distance > 0.0) || !std::isfinite(duration) || !(duration > 0.0) ||
        !std::isfinite(startSpeed) || !std::isfinite(endSpeed))
        return false;
    const Speeds v = lf_limit(distance, duration, startSpeed, endSpeed);
    if (!lf_finite(v)) return false;
    lf_store(profile, distance, duration, v);
    return true;
}

bool gf_makeBoundedSpeedProfile(SpeedProfile& profile, double distance, double duration, double startSpeed,
                                double endSpeed, double vmax) noexcept {
    profile = SpeedProfile{};
    // The fallback divides by the duration too: a leg of no time, or of time
    // running backwards, would give a profile that runs backwards.
    if (!std::isfinite(vmax) || !(vmax > 0.0) || !std::isfinite(distance) || !(distance > 0.0) ||
        !std::isfinite(duration) || !(duration > 0.0))
        return false;
    if (std::isfinite(startSpeed) && std::isfinite(endSpeed)) {
        const Speeds v = lf_limit(distance, duration, startSpeed, endSpeed);
        if (lf_withinBounds(distance, duration, startSpeed, v, vmax)) {
            lf_store(profile, distance, duration, v);
            return true;
        }
    }
    // Fall back to an even acceleration from the start speed, which needs a
    // start speed no faster than the mean.
    const double mean = distance / duration;
    if (!(startSpeed >= 0.0) || !(startSpeed <= mean + 1e-9)) return false;
    const double fallbackEnd = std::max(2.0 * mean - startSpeed, startSpeed);
    const Speeds v = lf_limit(distance, duration, startSpeed, fallbackEnd);
    if (!lf_withinBounds(distance, duration, startSpeed, v, vmax)) return false;
    lf_store(profile, distance, duration, v);
    return true;
}

double gf_speedProfileParameter(const SpeedProfile& profile, double t) noexcept {
    if (!std::isfinite(t)) return t > 0.0 ? 1.0 : 0.0;
    const double s = t / profile.duration;
    return std::isnan(s) ? 0.0 : std::clamp(s, 0.0, 1.0);
}

double gf_speedProfileSpeedAt(const SpeedProfile& profile, double t) noexcept {
    if (!profile.valid) return 0.0;
    const double s = gf_speedProfileParameter(profile, t);
    return std::max(lf_speed(profile.distance, profile.duration, lf_stored(profile), s), 0.0);
}

double gf_speedProfileMinSpeed(const SpeedProfile& profile) noexcept {
    if (!profile.valid) return 0.0;
    return std::max(lf_lowest(profile.distance, profile.duration, lf_stored(profile)), 0.0);
}

double gf_speedProfileMaxSpeed(const SpeedProfile& profile) noexcept {
    if (!profile.valid) return 0.0;
    return std::max(lf_highest(profile.distance, profile.duration, lf_stored(profile)), 0.0);
}

double gf_speedProfileExtremum(const SpeedProfile& profile) noexcept {
    if (!profile.valid) return -1.0;
    return lf_extremum(profile.distance, profile.duration, lf_stored(profile));
}

double gf_speedProfileDistance(const SpeedProfile& profile, double s) noexcept {
    if (profile.valid == 0) return 0.0;
    s = std::clamp(s, 0.0, 1.0);
    const double s2 = s * s;
    const double s3 = s2 * s;
    const double T = profile.duration;
    return profile.distance * (3.0 * s2 - 2.0 * s3) + T * profile.startSpeed * (s3 - 2.0 * s2 + s) +
           T * profile.endSpeed * (s3 - s2);
}
