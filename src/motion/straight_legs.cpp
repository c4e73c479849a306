#include "motion/straight_legs.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>

#include "engine/engine_state.h"
#include "engine/geometry.h"
#include "foundation/geodesy.h"
#include "motion/air_movement.h"
#include "motion/motion_math.h"
#include "motion/next_position.h"
#include "motion/tick_math.h"

namespace {

// Largest turn rates in the air (degrees per second), Light .. Rotorcraft.
constexpr std::array<double, 7> kAirTurnRateDegPerS{8.0, 8.0, 8.0, 8.0, 8.0, 12.0, 20.0};
// How much the per-tick climb may change from one tick to the next (ft).
constexpr double kClimbChangePerTick = 0.001;
constexpr double kTicksPerMinute = 6000.0;

double lf_airTurnRatePerTick(std::uint32_t category) {
    if (category >= kAirTurnRateDegPerS.size()) throw std::out_of_range("invalid unordered_map<K, T> key");
    return kAirTurnRateDegPerS[category] * degreesToRadians / 100.0;
}

// Ticks until the next point is due, at least the shortest leg.
std::int32_t lf_legTicks(const LiveAc& ac) {
    return std::max(kMinLegTicks, gf_ticksBetween(tickCount.load(), ac.stream[1].playTick));
}

}  // namespace

void stepAir(LiveAc& ac) {
    if (ac.stream.size() < 2) return;
    MotionState& m = ac.motion;
    const StreamPoint& next = ac.stream[1];
    const double t = lf_legTicks(ac);
    m.legTasKt = next.tasKt > 0.0 ? next.tasKt : next.groundSpeedKt;
    m.legVerticalSpeed = next.verticalSpeed;
    m.verticalPerTick = (next.altitudeFt - ac.pose.altitude) / t;
    const double wantedPitch = gf_pitchForVerticalSpeed(next, ac.phase);
    if (!std::isfinite(ac.pose.pitch)) ac.pose.pitch = wantedPitch;
    m.pitchPerTick = (wantedPitch - ac.pose.pitch) / t;
    const double bearing = gf_bearing({ac.pose.latitude, ac.pose.longitude}, {next.lat, next.lon});
    const double rate = lf_airTurnRatePerTick(ac.category);
    const double error = std::remainder(bearing - ac.pose.heading, fullCircle);
    m.headingPerTick = std::isfinite(error) ? std::clamp(error / t, -rate, rate) : 0.0;
    m.bankPerTick = 0.0;
    m.transition.active = 0;
}

void retimeFinalApproach(LiveAc& /*ac*/) {}

void nextPosGround(LiveAc& /*ac*/) {}

void stepGround(LiveAc& ac) {
    if (ac.stream.size() < 2) return;
    MotionState& m = ac.motion;
    const StreamPoint& next = ac.stream[1];
    m.legTasKt = next.groundSpeedKt;
    m.legVerticalSpeed = 0.0;
    m.verticalPerTick = (next.altitudeFt - ac.pose.altitude) / lf_legTicks(ac);
    ac.pose.pitch = ac.staticPitchRad;
    ac.pose.bank = 0.0;
    m.pitchPerTick = 0.0;
    m.bankPerTick = 0.0;
    m.headingPerTick = 0.0;
}

void hoverRetime(LiveAc& ac) {
    if (ac.stream.size() < 2) return;
    const std::int32_t front = ac.stream[0].playTick;
    const std::int32_t due = gf_tickPlus(front, gf_ticksBetween(front, ac.stream[1].playTick));
    retimeNextPoint(ac, std::max(kMinLegTicks, gf_ticksBetween(tickCount.load(), due)));
}

bool checkArrivedAtStand(LiveAc& /*ac*/) { return false; }

bool checkTowedAircraft(LiveAc& /*ac*/) { return false; }

void takeoffRollTickChecks(LiveAc& /*ac*/) {}

void stepPitchBankAltitude(LiveAc& ac) {
    MotionState& m = ac.motion;
    const double change = std::isfinite(m.verticalPerTick) ? m.verticalPerTick : 0.0;
    if (ac.onGround != 0) {
        ac.pose.pitch = ac.staticPitchRad;
        ac.pose.bank = 0.0;
        ac.pose.altitude += change;
        return;
    }
    const double limit = maxBankAngle(gf_bankLimitRad(ac.category), ac.phase == AcPhase::landing,
                                      m.heightAboveGroundFt, m.flareStage != 0);
    ac.pose.bank = std::clamp(ac.pose.bank + m.bankPerTick, -limit, limit);
    ac.pose.pitch += m.pitchPerTick;
    if (!std::isfinite(m.climbPerTick)) m.climbPerTick = 0.0;
    m.climbPerTick += std::clamp(change - m.climbPerTick, -kClimbChangePerTick, kClimbChangePerTick);
    ac.pose.altitude += m.climbPerTick;
    ac.pose.verticalSpeed = m.climbPerTick * kTicksPerMinute;
}
