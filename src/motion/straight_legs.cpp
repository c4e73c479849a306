#include "motion/straight_legs.h"

#include <algorithm>
#include <cmath>

#include "engine/engine_state.h"
#include "motion/next_position.h"
#include "motion/tick_math.h"

namespace {

// Ticks until the next point is due, at least the shortest leg.
std::int32_t lf_legTicks(const LiveAc& ac) {
    return std::max(kMinLegTicks, gf_ticksBetween(tickCount.load(), ac.stream[1].playTick));
}

}  // namespace

void nextPosGround(LiveAc& /*ac*/) {}

void stepGround(LiveAc& ac) {
    if (ac.stream.size() < 2) return;
    MotionState& m = ac.motion;
    const StreamPoint& next = ac.stream[1];
    m.legTasKt = next.groundSpeedKt;
    m.legVerticalSpeed = 0.0;
    m.verticalPerTick = (next.altitudeFt - ac.pose.altitude) / lf_legTicks(ac);
    m.headingPerTick = 0.0;
    // Just after a touchdown the attitude is still settling from the flare.
    if (m.flareStage != 0 || ac.phase == AcPhase::takeoff) return;
    ac.pose.pitch = ac.staticPitchRad;
    ac.pose.bank = 0.0;
    m.pitchPerTick = 0.0;
    m.bankPerTick = 0.0;
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
