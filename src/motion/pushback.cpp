#include "motion/pushback.h"

#include <cmath>

#include <fmt/format.h>

#include "engine/controls.h"
#include "engine/engine_state.h"
#include "engine/stands.h"
#include "foundation/geodesy.h"
#include "foundation/log.h"
#include "motion/flight_phases.h"
#include "motion/motion_math.h"
#include "motion/tick_math.h"
#include "simlink/sim_link.h"

namespace {

// The pushback ends two and a half stand radii behind the stand.
constexpr double kPushbackRadii = 2.5;

LaLo lf_pose(const LiveAc& ac) { return {ac.pose.latitude, ac.pose.longitude}; }

// The stream becomes its front point followed by the leg off the stand to
// `target`, due `ticks` from now.
StreamPoint& lf_replaceStreamByLeg(LiveAc& ac, LaLo target, std::int32_t ticks) {
    ac.stream.resize(1);
    StreamPoint p;
    p.lat = target.lat;
    p.lon = target.lon;
    p.playTick = gf_tickPlus(tickCount.load(), ticks);
    return ac.stream.emplace_back(p);
}

// At least the shortest leg; a taxi speed of 0 gives the longest leg the
// tick count can hold rather than an endless one.
std::int32_t lf_legTicks(const LiveAc& ac, LaLo target) {
    return gf_legTicks(gf_distanceNm(lf_pose(ac), target), ac.taxiSpeedRef, kMinLegTicks);
}

}  // namespace

void initiatePushBack(LiveAc& ac) {
    if (ac.stream.empty()) return;
    MotionState& m = ac.motion;
    ac.extrapolationCount = 0;
    m.departureWatch = 0;
    m.pushbackWatchSet = 0;
    m.pushbackWatchSecondSet = 0;
    // Tail first: straight back from where the nose points. An aircraft may
    // stand up to 40 degrees across its stand (an arrival parks so), and
    // pushed along the stand's axis it would slide sideways.
    const double nose = std::isfinite(ac.pose.heading) ? ac.pose.heading : ac.standHeadingRad;
    const double pushHeading = std::isfinite(nose) ? normalizeHeading(nose + pi) : 0.0;
    const Stand* stand = ac.standId > 0 ? gf_standById(ac.standId) : nullptr;
    if (stand == nullptr || !(stand->radius > 0.0)) {
        gf_logError(fmt::format("{} cancelled pushback, invalid stand radius for stand {}, callsign {}",
                                "initiatePushBack", gf_standNameById(ac.standId), ac.callsign));
        m.departurePending = 0;
        return;
    }
    const LaLo target =
        gf_destinationPoint(lf_pose(ac), {pushHeading, kPushbackRadii * stand->radius * feetPerNm});
    ac.stream.front().groundSpeedKt = 0.0;
    // Tail first: the aircraft keeps its heading.
    m.legBearing = ac.pose.heading;
    // Nothing on the ground resets the heading and bank changes an airborne
    // leg planned; an aircraft that landed earlier would still turn with them.
    m.headingPerTick = 0.0;
    m.bankPerTick = 0.0;
    const StreamPoint pushed = lf_replaceStreamByLeg(ac, target, lf_legTicks(ac, target));
    StreamPoint stop = pushed;
    stop.stationary = 1;
    ac.stream.push_back(stop);
    gf_setAiLights(ac.objectId, kDepartureLights);
    ac.arrivingHere = 0;
    if (ac.phase != AcPhase::pushing_back) setFlightPhase(ac, AcPhase::pushing_back);
}

void pullOutOfStand(LiveAc& ac) {
    if (ac.stream.empty()) return;
    MotionState& m = ac.motion;
    m.departurePending = 0;
    ac.extrapolationCount = 0;
    const LaLo target = gf_destinationPoint(ac.standPos, {ac.standHeadingRad, 2.0 * ac.wingRadiusNm * feetPerNm});
    ac.stream.front().groundSpeedKt = 0.0;
    lf_replaceStreamByLeg(ac, target, lf_legTicks(ac, target)).groundSpeedKt = ac.taxiSpeedRef;
    if (ac.phase != AcPhase::taxi) setFlightPhase(ac, AcPhase::taxi);
    m.legBearing = ac.pose.heading;
    gf_setAiLights(ac.objectId, kDepartureLights);
    gf_startAiEngines(ac.objectId);
    gf_setThrottle(ac, 0);
    gf_setFlaps(ac, 1);
    gf_log(fmt::format("{:14}: {:8} pulling out", gf_standNameById(ac.standId), ac.callsign));
}
