#pragma once
// A flight's track: where it is at every moment of its life, built from legs
// (polylines whose corners are rounded into arcs, each with its speed limit,
// accelerations, altitudes at its corners and a stop at its end). The speeds
// follow from the limits with the accelerations an aircraft can make, so the
// positions that come out of a track are those of a real aircraft: it slows
// down before a corner or a stop, accelerates after it, never jumps.

#include <cstdint>
#include <optional>
#include <vector>

#include "tools/sample_feed/sample_geometry.h"

namespace tavo::sample {

enum class Phase : std::uint8_t {
    Approach,
    GoAround,
    Landing,  // flare and landing roll
    Taxi,
    AtStand,  // before the pushback
    Pushback,
    Holding,
    LineUp,
    TakeoffRoll,
    Climb,
    Cruise,
    Parked,  // after the arrival, no longer reported
};
const char* gf_phaseName(Phase phase);

struct Leg {
    std::vector<Vec> corners;
    // Turn radius at each corner (the first and last are not turned at).
    double radiusM = 0.0;
    // Altitude above the airport at corners (air legs); missing ones are
    // interpolated along the leg.
    std::vector<std::optional<double>> aglFt;
    bool ground = true;
    bool reverse = false;  // moved tail first (pushback)
    double maxSpeed = 0.0;  // m/s
    double accel = 0.5;     // m/s^2
    double decel = 0.8;
    double lateralAccel = 0.0;  // ground corners: speed limited to sqrt(a r); 0: no limit
    double maxTurnRateDegPerS = 0.0;  // ground corners: speed limited to rate x r; 0: no limit
    double dwellAtEndS = 0.0;   // stands still at its last corner this long
    Phase phase = Phase::Taxi;
};

struct TrackSample {
    double t = 0.0;
    Vec at;
    double aglFt = 0.0;
    bool ground = true;
    double speed = 0.0;  // m/s
    double trackDeg = 0.0;
    double headingDeg = 0.0;
    double curvature = 0.0;  // 1/m, positive when turning right
    Phase phase = Phase::Taxi;
};

// Builds the samples of the legs, one after the other (each leg starts where
// the last ended), starting at startSpeed and ending at endSpeed.
// Throws std::invalid_argument for a leg without corners or a track that does
// not start where its legs join.
std::vector<TrackSample> gf_buildTrack(const std::vector<Leg>& legs, double startSpeed, double endSpeed,
                                       double startHeadingDeg);

// The state at time t between samples (t within the track).
TrackSample gf_trackAt(const std::vector<TrackSample>& track, double t);

}  // namespace tavo::sample
