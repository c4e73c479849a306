#include "motion/flight_phases.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "engine/engine_state.h"

namespace {

// Base reference speeds (kt) by category, Light .. Rotorcraft. A Rotorcraft
// has none: it is never judged by its speed.
constexpr std::array<double, 7> kBaseSpeedKt{80.0, 95.0, 110.0, 140.0, 150.0, 220.0, 0.0};
constexpr double kSlowTwinKt = 80.0;
constexpr double kSlowLightKt = 65.0;
constexpr double kSlowLargeKt = 130.0;
// Final-approach speeds (kt) by category, Light .. Rotorcraft, and of the
// slow types within three of them: the light singles (a Cub comes in at
// about 50 kt), the light twins among the TwoProps (Seminole, P68, DA42 at
// 70-80 kt) and the slow Large types (the Twin Otter at about 75 kt, the
// Dash 7, the turboprops and regional jets above it).
constexpr std::array<double, 7> kFinalApproachKt{60.0, 100.0, 110.0, 135.0, 145.0, 140.0, 0.0};
constexpr double kSlowLightApproachKt = 55.0;
constexpr double kSlowTwinApproachKt = 75.0;
constexpr double kSlowLargeApproachKt = 90.0;

double lf_reduced(double base, std::uint8_t mode) {
    if (base == 0.0 || !std::isfinite(base)) return base;
    if (mode == 2) return std::max(1.0, base - 10.0);
    if (mode == 3) return std::max(1.0, base - 20.0);
    return base;
}

void lf_clearApproachStep(MotionState& m) {
    m.lastApproachStep = 0.0;
    m.lastApproachStepSet = 0;
    m.approachValue = 0.0;
}

}  // namespace

double refSpeedKt(const LiveAc& ac, std::uint8_t mode) {
    if (ac.category == Heavy) {
        if (mode == 3) return 135.0;
        if (mode == 2) return 140.0;
    }
    if (ac.isSlowTwoProp != 0) return kSlowTwinKt;
    if (ac.isSlowLight != 0) return kSlowLightKt;
    if (ac.isSlowLarge != 0) return lf_reduced(kSlowLargeKt, mode);
    if (ac.category >= kBaseSpeedKt.size()) throw std::out_of_range("invalid unordered_map<K, T> key");
    return lf_reduced(kBaseSpeedKt[ac.category], mode);
}

double gf_finalApproachSpeedKt(const LiveAc& ac) {
    if (ac.category >= kFinalApproachKt.size()) throw std::out_of_range("invalid model category");
    if (ac.isSlowLight != 0) return kSlowLightApproachKt;
    if (ac.isSlowTwoProp != 0) return kSlowTwinApproachKt;
    if (ac.isSlowLarge != 0) return kSlowLargeApproachKt;
    return kFinalApproachKt[ac.category];
}

double gf_airborneSpeedFloorKt(const LiveAc& ac) { return kAirborneFloorShare * gf_finalApproachSpeedKt(ac); }

void setFlightPhase(LiveAc& ac, AcPhase phase) {
    if (phase == AcPhase::pushing_back || phase == AcPhase::pushed_back || phase == AcPhase::parked)
        ac.arrivingHere = 0;
    if (phase == ac.phase) return;
    MotionState& m = ac.motion;
    const bool entering = phase == AcPhase::landing;
    const bool leaving = ac.phase == AcPhase::landing;
    if (entering) {
        lf_clearApproachStep(m);
        ac.landingRunway.reset();
        m.landingRunwayRefValid = 0;
        m.runwayElevationKnown = 0;
        // A new approach ends in a touchdown of its own.
        m.touchdownHeightFt = MotionState::unknown;
        m.touchdownPitch = MotionState::unknown;
        m.hasTouchdownHeight = 0;
        m.noTouchdownHeight = 0;
    }
    if (leaving) lf_clearApproachStep(m);
    if (entering || leaving) {
        m.touchAndGoWatch = 0;
        m.approachText.clear();
        m.approachCounters = {};
        // A touch-and-go is judged on the landing roll that follows.
        if (phase != AcPhase::landing_roll) {
            m.touchAndGoResult = 0;
            m.touchAndGoAltitudeFt = MotionState::unknown;
            m.touchAndGoVerticalSpeed = MotionState::unknown;
        }
        if (entering) {
            m.rollSlowestPoint = StreamPoint{};
            m.hasRollSlowestPoint = 0;
        }
    }
    ac.prevPrevPhase = ac.prevPhase;
    ac.prevPhase = ac.phase;
    ac.phase = phase;
    ac.phaseStartTick = static_cast<std::uint32_t>(tickCount.load());
}

void resetMotionPath(MotionPath& path) {
    path.curve.startTime = MotionPath::unknown;
    path.curve.endTime = MotionPath::unknown;
    path.curve.controlEast = MotionPath::unknown;
    path.curve.controlNorth = MotionPath::unknown;
    path.curve.arc.fill(0.0);
    path.turn = GroundTurn{};
    path.turn.status = GroundTurnStatus::InvalidInput;
    path.progress = 0.0;
    path.progressStep = 0.0;
    path.passedReportedKt = 0.0;
}

bool allNextPointsAirborne(const LiveAc& ac) {
    return ac.stream.size() >= 2 &&
           std::all_of(ac.stream.begin() + 1, ac.stream.end(), [](const StreamPoint& p) { return p.airborne != 0; });
}

bool allNextPointsAtSpeed(const LiveAc& ac) {
    if (ac.stream.size() < 2) return true;
    const double reference = refSpeedKt(ac, 3);
    return std::all_of(ac.stream.begin() + 1, ac.stream.end(),
                       [reference](const StreamPoint& p) { return p.groundSpeedKt >= reference; });
}

double maxStreamVerticalRate(const LiveAc& ac) {
    double largest = -std::numeric_limits<double>::infinity();
    for (const StreamPoint& p : ac.stream)
        if (std::isfinite(p.verticalSpeed)) largest = std::max(largest, p.verticalSpeed);
    return largest;
}
