#include "motion/takeoff_start.h"

#include <cmath>

#include <fmt/format.h>

#include "engine/controls.h"
#include "engine/geometry.h"
#include "engine/reports.h"
#include "foundation/geodesy.h"
#include "foundation/log.h"
#include "motion/air_config.h"
#include "motion/flight_phases.h"
#include "motion/ground_roll.h"
#include "motion/runways.h"
#include "simlink/sim_link.h"

namespace {

// The nose may point this far off the way the roll goes when it starts.
constexpr double kRollAlignedDeg = 30.0;
// A point this far behind the aircraft along its roll has been passed (the
// tolerance the takeoff roll gives new reports behind it).
constexpr double kPassedM = 10.0;
// Two points this far apart give the way the aircraft goes.
constexpr double kBearingLeastM = 5.0;

LaLo lf_pose(const LiveAc& ac) { return {ac.pose.latitude, ac.pose.longitude}; }
LaLo lf_position(const StreamPoint& p) { return {p.lat, p.lon}; }

void lf_startRoll(LiveAc& ac, std::uint8_t flag, std::uint32_t throttle, bool spoilers) {
    MotionState& m = ac.motion;
    m.towedRollPending = 0;
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

// The way the roll goes as the reports show it: from the last point on the
// ground back to the one before it that lies apart (a climb-out may turn away
// after the lift-off), else between the last two points that lie apart.
std::optional<double> lf_reportedTravel(const LiveAc& ac) {
    const auto& s = ac.stream;
    for (const bool groundOnly : {true, false}) {
        std::optional<std::size_t> last;
        for (std::size_t i = s.size(); i-- > 0;) {
            if (groundOnly && s[i].airborne != 0) continue;
            if (!last) {
                last = i;
                continue;
            }
            const LaLo a = lf_position(s[i]);
            const LaLo b = lf_position(s[*last]);
            if (gf_distanceNm(a, b) * metresPerNm >= kBearingLeastM) return gf_bearing(a, b);
        }
    }
    return std::nullopt;
}

bool lf_facesRoll(const LiveAc& ac, double rollHeading) {
    if (ac.motion.legTimeOverride != 0) return false;  // still turning on the spot
    const double off = std::fabs(std::remainder(rollHeading - ac.pose.heading, fullCircle));
    return !std::isfinite(off) || off <= kRollAlignedDeg * degreesToRadians;
}

// The points after the front one that lie behind the aircraft along the roll.
void lf_dropPassedPoints(LiveAc& ac, double rollHeading) {
    auto& s = ac.stream;
    const LaLo pose = lf_pose(ac);
    for (std::size_t i = s.size(); i-- > 1;)
        if (gf_relativePosition(pose, rollHeading, lf_position(s[i])).along < -kPassedM) s.erase(s.begin() + i);
}

}  // namespace

void startTakeoffRoll(LiveAc& ac, std::uint8_t flag) { lf_startRoll(ac, flag, 3, true); }

bool startTowedTakeoffRoll(LiveAc& ac, std::optional<double> rollHeadingRad) {
    const std::optional<double> roll = rollHeadingRad ? rollHeadingRad : lf_reportedTravel(ac);
    if (roll && !lf_facesRoll(ac, *roll)) {
        ac.motion.towedRollPending = 1;
        return false;
    }
    if (ac.motion.towed != 0) {
        const AcBase& described = ac;
        gf_logError(fmt::format("towed aircraft takes-off? {}", described));
    }
    lf_startRoll(ac, 0, 0, false);
    if (!roll) return true;
    gf_setTakeoffRunway(ac, findTakeoffRunway(lf_pose(ac), *roll));
    lf_dropPassedPoints(ac, *roll);
    return true;
}
