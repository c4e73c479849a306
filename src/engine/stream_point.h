#pragma once
// One timed point of a live aircraft's position stream; the point part of a
// traffic record.

#include <cstdint>

// The least time (s) between two reports whose positions' distance over it
// is taken as a pace the aircraft went: reports stamped closer say more of
// their timing than of the aircraft.
inline constexpr double kPaceLeastS = 3.0;

struct StreamPoint {
    double lat = 0.0;            // degrees
    double lon = 0.0;            // degrees
    double altitudeFt = 0.0;     // feet, corrected for QNH
    double groundSpeedKt = 0.0;  // knots
    double trackDeg = 0.0;       // degrees
    double verticalSpeed = 0.0;  // feet per minute
    double tasKt = 0.0;          // knots
    std::int32_t playTick = 0;   // engine tick at which the point is played
    std::uint8_t airborne = 0;
    std::uint8_t stationary = 0;  // the point stands where the previous one stood
    // The point was not reported but put in by taxi path smoothing.
    std::uint8_t synthetic = 0;
    // Put in by path smoothing during a landing roll, from the pose.
    std::uint8_t rollSynthetic = 0;
    // Put in by the air motion along the turn onto a report far off the
    // nose: due when the turn's pace reaches it, never retimed.
    std::uint8_t turnPoint = 0;
    // Put in halfway along a ground leg whose speed changes much (or that
    // turns sharply), at the mean of its ends' play ticks: a time the engine
    // gave it, not one a report did. It keeps the pace (kt) its reports kept
    // across the leg it splits, the one the point after it carried.
    std::uint8_t midpoint = 0;
    double splitPacedKt = 0.0;
    std::uint8_t hasTrueHeading = 0;
    // A standing aircraft's report moved onto the point before it (the
    // scatter of a parked position, or a near copy), and where it was
    // reported.
    std::uint8_t heldCopy = 0;
    double reportedLat = 0.0;
    double reportedLon = 0.0;
    // The positions' own pace (kt) from the report kept before this one, when
    // their reported times lie seconds apart (0 otherwise): what the aircraft
    // went across a pause, whatever speed either report gives.
    double pacedKt = 0.0;
    double roll = 0.0;  // radians
    std::uint8_t hasRoll = 0;
    double trueHeading = 0.0;  // radians
};
