#include "engine/update.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <numbers>

#include <fmt/format.h>

#include "engine/engine_state.h"
#include "engine/removal.h"
#include "engine/reports.h"
#include "engine/spawn.h"
#include "engine/tick.h"
#include "foundation/lalo.h"
#include "foundation/log.h"
#include "motion/motion_math.h"
#include "motion/next_position.h"
#include "motion/pose_path.h"
#include "motion/runway_lineup.h"
#include "simlink/sim_link.h"

namespace {

void lf_nextPosMain(LiveAc& ac) {
    const auto& calls = gf_engineCalls();
    if (calls.nextPosMain)
        calls.nextPosMain(ac);
    else
        nextPosMain(ac);
}

bool lf_isFinite(const AiPose& p) {
    return std::isfinite(p.latitude) && std::isfinite(p.longitude) && std::isfinite(p.pitch) &&
           std::isfinite(p.bank) && std::isfinite(p.heading) && std::isfinite(p.altitude) &&
           std::isfinite(p.verticalSpeed) && std::isfinite(p.trueAirspeed);
}

void lf_updateActive(LiveAc& ac) {
    if (ac.stream.empty()) {
        const AcBase& described = ac;
        gf_logError(fmt::format("{} stream empty ? {}, hexid:{:x}, objectid:{}, alt:{:.0f} ft, lalo:{}, TAS:{:.0f}",
                                "updateLiveAc", described, ac.hexid, gf_objectIdText(ac.objectId), ac.pose.altitude,
                                LaLo{ac.pose.latitude, ac.pose.longitude}, ac.pose.trueAirspeed));
        removeAircraftFromSim(ac);
        return;
    }
    if (tickCount.load() >= ac.stream.front().playTick) {
        lf_nextPosMain(ac);
        ac.pose.verticalSpeed = ac.motion.legVerticalSpeed;
        const bool moving = !ac.stream.empty() && ac.stream.front().stationary == 0;
        ac.pose.trueAirspeed = moving ? ac.motion.legTasKt : 0.0;
    }
    if (ac.simState == AcSimState::active && !ac.stream.empty()) {
        if (ac.stream.front().stationary == 0) {
            gf_interpolatePoseOnCurve(ac);
        } else if (ac.motion.hasGroundHeadingTarget != 0 && ac.onGround != 0 &&
                   (ac.phase == AcPhase::takeoff_roll ||
                    (ac.phase == AcPhase::taxi && ac.prevPhase != AcPhase::landing_roll))) {
            ac.turnRateLimit = ac.turnRateRad;
            gf_stepHeadingToward(ac, ac.motion.groundHeadingTarget, false);
        }
    }
    handleNoFutureOnRunway(ac);
    if (ac.objectId == 0) {
        gf_logError(fmt::format("{} objectid=0? hexid: {:x},cs:{}, reg:{}, aimo:{} sz:{}", "updateLiveAc", ac.hexid,
                                ac.callsign, ac.registration, gf_acKeyText(ac.key), ac.stream.size()));
        removeAircraftFromSim(ac);
        return;
    }
    // A pose the simulator cannot take is not sent: the object keeps its last
    // one for this tick.
    if (!lf_isFinite(ac.pose)) return;
    AiPose sent = ac.pose;
    constexpr double halfPi = std::numbers::pi / 2.0;
    sent.pitch = std::clamp(sent.pitch, -halfPi, halfPi);
    sent.bank = std::clamp(sent.bank, -halfPi, halfPi);
    sent.heading = normalizeHeading(sent.heading);
    gf_stageAiPose(ac.objectId, sent);
}

void lf_removeAfterException(LiveAc& ac) noexcept {
    // Logged once: an aircraft being removed is no longer updated.
    try {
        removeAircraftFromSim(ac);
    } catch (...) {
        ac.removeRecord = 1;
    }
}

}  // namespace

bool updateLiveAc(LiveAc& ac) {
    try {
        switch (ac.simState) {
            case AcSimState::buffer: checkSpawnLiveAc(ac); break;
            case AcSimState::active: lf_updateActive(ac); break;
            default: break;
        }
    } catch (const std::exception& e) {
        try {
            const AcBase& described = ac;
            gf_logError(fmt::format("{}: {} {}, sz:{}, fs:{}, st:{}", "updateLiveAc", e.what(), described,
                                    ac.stream.size(), gf_acPhaseName(ac.phase), gf_acSimStateName(ac.simState)));
        } catch (...) {
        }
        lf_removeAfterException(ac);
    } catch (...) {
        gf_reportTrafficException("updateLiveAc");
        lf_removeAfterException(ac);
    }
    return ac.removeRecord != 0 || ac.createDropped != 0;
}
