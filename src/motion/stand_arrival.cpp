#include "motion/stand_arrival.h"

#include <algorithm>
#include <cmath>

#include <fmt/format.h>

#include "airports/stand_options.h"
#include "engine/controls.h"
#include "engine/engine_lists.h"
#include "engine/removal_policies.h"
#include "engine/reports.h"
#include "engine/spawn.h"
#include "engine/stands.h"
#include "foundation/geodesy.h"
#include "foundation/log.h"
#include "foundation/time.h"
#include "motion/flight_phases.h"
#include "motion/pushback.h"
#include "motion/stream_checks.h"
#include "motion/tick_math.h"
#include "settings/random_choice.h"

namespace {

constexpr std::int32_t kArrivalRetimeLimit = 900;
// An aircraft standing more than this across its stand is not parked there.
constexpr double kMostHeadingOffDeg = 40.0;
constexpr double kMostStandMissNm = kMostStandMissM / metresPerNm;
constexpr std::int32_t kArrivalStandOption = 0;

// Engines off after 10 to 19 s; the lights change after 15 to 28 s and
// again after 30 to 138 s.
constexpr std::int32_t kEnginesOffTicks = 1000;
constexpr std::int32_t kFirstLightsTicks = 1500;
constexpr std::int32_t kSecondLightsTicks = 3000;
constexpr std::int32_t kDrawStepTicks = 100;

enum ParkedActionKind : std::uint32_t { enginesOff = 0, firstLights = 1, secondLights = 2 };

bool lf_refuse(LiveAc& ac) {
    ac.extrapolationCount = 1;
    return false;
}

void lf_giveStandUp(LiveAc& ac) {
    ac.standPos = {};
    ac.standHeadingRad = 0.0;
    ac.standId = 0;
    ac.isCargo = 0;
    ac.isGate = 0;
    if (ac.phase != AcPhase::taxi) setFlightPhase(ac, AcPhase::taxi);
}

void lf_schedule(std::uint32_t hexid, std::int32_t from, std::int64_t ticks, ParkedActionKind kind) {
    parkedActionSchedule.push_back({hexid, gf_tickPlus(from, ticks), kind});
}

}  // namespace

bool checkArrivedAtStand(LiveAc& ac) {
    MotionState& m = ac.motion;
    m.advanceLimit = kArrivalRetimeLimit;
    m.delayLimit = kArrivalRetimeLimit;
    // The heading is compared the short way round: a stand facing 359
    // degrees takes an aircraft standing at 1.
    const double headingOff = std::remainder(ac.standHeadingRad - ac.pose.heading, fullCircle);
    if (gf_liveStandUse(ac.standId, ac.hexid) != 0 || std::fabs(headingOff) > kMostHeadingOffDeg * degreesToRadians)
        return lf_refuse(ac);
    if (gf_distanceNm({ac.pose.latitude, ac.pose.longitude}, ac.standPos) > kMostStandMissNm) {
        lf_giveStandUp(ac);
        return true;
    }
    if (ac.standId < 1 || ac.hexid == 0 || gf_liveStandUse(ac.standId, ac.hexid) != 0 ||
        gf_standById(ac.standId) == nullptr || ac.stream.empty())
        return lf_refuse(ac);

    ac.arrivingHere = 0;
    setFlightPhase(ac, AcPhase::parked);
    m.standArrivalClockNs = gf_standClockNs();
    ac.parkTime = gf_currentParkTime();
    if (m.towed != 0) {
        const AcBase& described = ac;
        gf_log(fmt::format("          towed aircraft {} parks", described));
    }
    StreamPoint& front = ac.stream.front();
    front.stationary = 1;
    ac.phaseStartClock = gf_systemClock100ns();
    m.standDistancesSet = 0;
    m.standMoveCount = 0;
    m.departureWatch = 0;
    gf_forgetLeavingReports(ac);
    gf_setThrottle(ac, 0);
    gf_setFlaps(ac, 0);

    const std::int64_t r = gf_randomIndex(10);
    const std::int32_t t = front.playTick;
    lf_schedule(ac.hexid, t, kEnginesOffTicks + r * kDrawStepTicks, enginesOff);
    lf_schedule(ac.hexid, t, kFirstLightsTicks + (r + gf_randomIndex(5)) * kDrawStepTicks, firstLights);
    lf_schedule(ac.hexid, t, kSecondLightsTicks + (r + gf_randomIndex(100)) * kDrawStepTicks, secondLights);
    // Served from the end: the entry due first is the last one.
    std::stable_sort(parkedActionSchedule.begin(), parkedActionSchedule.end(),
                     [](const ParkedAcAction& a, const ParkedAcAction& b) { return a.dueTick > b.dueTick; });

    gf_log(fmt::format("{:14}: {:8} arrived at stand", gf_standNameById(ac.standId), ac.callsign));
    newLiveCheckQueue.push_back(ac.hexid);
    gf_addRealStandOption(ac.standId, ac, kArrivalStandOption);
    gf_trimParkedToTarget(0);
    return true;
}
