#pragma once
// The distance covered along one ground leg as a cubic Hermite function of
// time: it covers the leg's length in the leg's time, starts at the present
// speed and, where it can, ends at the next report's speed. The end speeds
// are limited (Fritsch-Carlson) so that the aircraft never overshoots, stops
// or runs backwards inside the leg.
//
// Units are the caller's: speeds are distance units per time unit.

#include <cstdint>

struct SpeedProfile {
    double distance = 0.0;
    double duration = 0.0;
    double startSpeed = 0.0;  // after limiting
    double endSpeed = 0.0;    // after limiting
    std::uint8_t valid = 0;
};

// Fills the profile and returns true, or clears it and returns false.
bool gf_makeSpeedProfile(SpeedProfile& profile, double distance, double duration, double startSpeed,
                         double endSpeed) noexcept;
// The same, but false when no profile keeps within vmax without cutting the
// start speed or decelerating at either end.
bool gf_makeBoundedSpeedProfile(SpeedProfile& profile, double distance, double duration, double startSpeed,
                                double endSpeed, double vmax) noexcept;

// s = t / T clamped to 0..1; +infinity gives 1, any other non-finite t 0.
double gf_speedProfileParameter(const SpeedProfile& profile, double t) noexcept;
// The distance covered at parameter s (clamped to 0..1); 0 for an invalid
// profile.
double gf_speedProfileDistance(const SpeedProfile& profile, double s) noexcept;
// The speed at time t, not below 0; 0 for an invalid profile.
double gf_speedProfileSpeedAt(const SpeedProfile& profile, double t) noexcept;
double gf_speedProfileMinSpeed(const SpeedProfile& profile) noexcept;
double gf_speedProfileMaxSpeed(const SpeedProfile& profile) noexcept;
// The parameter of the speed's interior extremum, or -1 when its slope is
// constant.
double gf_speedProfileExtremum(const SpeedProfile& profile) noexcept;
