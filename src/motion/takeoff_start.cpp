#include "motion/takeoff_start.h"

#include <fmt/format.h>

#include "engine/controls.h"
#include "engine/reports.h"
#include "foundation/log.h"
#include "motion/air_config.h"
#include "motion/flight_phases.h"
#include "simlink/sim_link.h"

namespace {

void lf_startRoll(LiveAc& ac, std::uint8_t flag, std::uint32_t throttle, bool spoilers) {
    MotionState& m = ac.motion;
    m.takeoffRoll = TakeoffRollState{};
    m.takeoffRoll.forcedTakeoff = flag;
    ac.takeoffRunway.reset();
    m.takeoffRunwayMatched = 0;
    m.takeoffRunwayHeadingDeg = 0.0;
    m.touchAndGoResult = 0;
    if (ac.phase != AcPhase::takeoff_roll) {
        if (ac.phase == AcPhase::landing) clearApproachState(m);
        setFlightPhase(ac, AcPhase::takeoff_roll);
    }
    gf_setThrottle(ac, throttle);
    gf_setSpoilers(ac, spoilers);
    gf_setFlaps(ac, 1);
    m.climbConfig = 0;
    gf_setAiLights(ac.objectId, {1, 1, 1, 1, 1, 1, 0});
    m.advanceLimit = 2700;
    m.delayLimit = 4500;
}

}  // namespace

void startTakeoffRoll(LiveAc& ac, std::uint8_t flag) { lf_startRoll(ac, flag, 3, true); }

void startTowedTakeoffRoll(LiveAc& ac) {
    if (ac.motion.towed != 0) {
        const AcBase& described = ac;
        gf_logError(fmt::format("towed aircraft takes-off? {}", described));
    }
    lf_startRoll(ac, 0, 0, false);
}
