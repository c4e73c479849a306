#include "motion/start_parking.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <fmt/format.h>

#include "engine/engine_lists.h"
#include "engine/engine_state.h"
#include "engine/removal.h"
#include "engine/reports.h"
#include "engine/spawn.h"
#include "engine/stands.h"
#include "foundation/geodesy.h"
#include "foundation/log.h"
#include "motion/flight_phases.h"
#include "motion/ground_movement.h"
#include "motion/motion_math.h"
#include "motion/next_position.h"
#include "motion/stand_drive.h"
#include "motion/stand_parking.h"
#include "motion/stream_checks.h"
#include "motion/tick_math.h"

namespace {

// The nose stays this close to the way the aircraft drives onto its stand.
constexpr double kNoseWithTravelDeg = 30.0;

// A drive onto the stand catches up with its reports at no more than twice
// their fastest speed, and never more than this above it (kt).
constexpr double kMostCatchUpKt = 5.0;
constexpr std::int32_t kStopAfterStandTicks = 50;
// A report slower than this says the aircraft stands (or creeps to a stop).
constexpr double kStandingReportKt = 1.0;

LaLo lf_standPosition(const Stand& stand) { return {stand.latitude, stand.longitude}; }

// Where the reports into the stand leave the aircraft: the tick the first
// of them where it comes to rest falls due, and the fastest they move on the
// way (kt), or the aircraft itself as it rolls now (the stream may hold the
// resting report alone).
struct ReportedRest {
    std::int32_t dueTick = 0;
    double fastestKt = 0.0;
};

ReportedRest lf_reportedRest(const LiveAc& ac) {
    const auto& s = ac.stream;
    // The aircraft rests from the first report of it where it stays: the
    // copies of that report after it only hold it there.
    std::size_t restsAt = s.size() - 1;
    while (restsAt > 0 && gf_isSamePlace({s[restsAt - 1].lat, s[restsAt - 1].lon}, {s.back().lat, s.back().lon}))
        --restsAt;
    // The points after the next one may have been put off by a delay the
    // taxi has not given back yet: the reports had them due that much earlier.
    ReportedRest rest{gf_tickPlus(s[restsAt].playTick, -std::int64_t{ac.motion.streamLagTicks}), 0.0};
    for (std::size_t i = 0; i < s.size(); ++i) {
        const StreamPoint& p = s[i];
        // A speed no aircraft goes on the ground (a bad report of 1e6 kt)
        // tells no pace: taken, it let the drive onto the stand catch up at
        // any speed.
        if (p.groundSpeedKt <= kMostGroundKt) rest.fastestKt = std::max(rest.fastestKt, p.groundSpeedKt);
        // Between two reports that both say it stands it still moved (a
        // speed not updated while it was pulled on): their own distance over
        // time is the speed they show, unless no aircraft on the ground goes
        // that fast (a jump in the positions).
        if (i == 0 || !(p.groundSpeedKt < kStandingReportKt) || !(s[i - 1].groundSpeedKt < kStandingReportKt)) continue;
        const std::int32_t ticks = gf_ticksBetween(s[i - 1].playTick, p.playTick);
        const double ownKt = gf_speedKtOver(gf_distanceNm({s[i - 1].lat, s[i - 1].lon}, {p.lat, p.lon}), ticks);
        if (ticks > 0 && std::isfinite(ownKt) && ownKt <= kMostGroundKt)
            rest.fastestKt = std::max(rest.fastestKt, ownKt);
    }
    const double rollingKt = gf_rollingStepM(ac) * 100.0 * kMpsToKnots;
    if (std::isfinite(rollingKt)) rest.fastestKt = std::max(rest.fastestKt, rollingKt);
    return rest;
}

// The most a drive onto the stand goes to catch up with its reports (kt).
double lf_mostCatchUpKt(const ReportedRest& rest) {
    return std::min(2.0 * rest.fastestKt, rest.fastestKt + kMostCatchUpKt);
}

// The drive onto the stand is planned at the stand leg's own pace from where
// the aircraft is. Begun behind its reports (after a gap in them, or at a
// tow's slow pace), it would still be driving long after they stood on the
// stand: its legs are played faster, so that it is on the stand when they
// rest there, each up to the most it may catch up at. A leg planned at that
// already (the short leg onto the stand, braked to rest from twice its mean
// speed) keeps its time, and the legs before it still catch up: held back
// all together by that one leg, a tow whose reports paused short of its
// stand drove the 40 m there at its own pace and was still rolling when
// its reports had it at rest on the stand.
void lf_keepPaceWithReports(LiveAc& ac, const ReportedRest& rest) {
    auto& s = ac.stream;
    if (s.size() < 3 || s.back().stationary == 0) return;
    const std::size_t standAt = s.size() - 2;
    const std::int32_t now = tickCount.load();
    const std::int32_t base = gf_ticksBetween(now, s.front().playTick) > 0 ? s.front().playTick : now;
    const std::int32_t planned = gf_ticksBetween(base, s[standAt].playTick);
    if (planned <= 0) return;
    const double mostKt = lf_mostCatchUpKt(rest);
    if (!(mostKt > 0.0) || !std::isfinite(mostKt)) return;
    // Per leg (ending at point i): its ticks as planned and the least share
    // of them it may be played in. The leg onto the stand ends at rest:
    // played from its speed down to none, it is at twice its mean speed
    // where it begins.
    std::vector<double> legTicks(standAt + 1, 0.0);
    std::vector<double> leastShare(standAt + 1, 1.0);
    LaLo from{ac.pose.latitude, ac.pose.longitude};
    std::int32_t at = base;
    for (std::size_t i = 1; i <= standAt; ++i) {
        const LaLo to{s[i].lat, s[i].lon};
        const std::int32_t ticks = gf_ticksBetween(at, s[i].playTick);
        const double toRest = i == standAt ? 2.0 : 1.0;
        if (ticks > 0) {
            legTicks[i] = ticks;
            const double kt = toRest * gf_distanceNm(from, to) * metresPerNm / (ticks / 100.0) * kMpsToKnots;
            // A leg of no length (a wait on the way) keeps its time.
            if (std::isfinite(kt) && kt > 0.0) leastShare[i] = std::min(1.0, kt / mostKt);
        }
        from = to;
        at = s[i].playTick;
    }
    const auto playedIn = [&](double share) {
        double ticks = 0.0;
        for (std::size_t i = 1; i <= standAt; ++i) ticks += legTicks[i] * std::max(share, leastShare[i]);
        return ticks;
    };
    // The least speeding up that has it on the stand when its reports rest
    // there, or as much as the legs allow.
    const double wanted = static_cast<double>(gf_ticksBetween(base, rest.dueTick));
    if (!(playedIn(1.0) > wanted)) return;
    double share = 0.0;
    if (playedIn(0.0) < wanted) {
        double low = 0.0;
        double high = 1.0;
        for (int k = 0; k < 40; ++k) {
            const double mid = 0.5 * (low + high);
            (playedIn(mid) <= wanted ? low : high) = mid;
        }
        share = low;
    }
    double ticks = 0.0;
    for (std::size_t i = 1; i <= standAt; ++i) {
        StreamPoint& p = s[i];
        const double legShare = std::max(share, leastShare[i]);
        ticks += legTicks[i] * legShare;
        p.playTick = gf_tickPlus(base, std::llround(ticks));
        if (p.groundSpeedKt > 0.0 && legShare > 0.0) {
            p.groundSpeedKt /= legShare;
            p.tasKt = p.groundSpeedKt;
        }
    }
    s.back().playTick = gf_tickPlus(s[standAt].playTick, kStopAfterStandTicks);
}

}  // namespace

bool lf_checkStandOrExcludedIsOccupiedByLiveParkedTry(const Stand& wanted, LiveAc& ac) {
    try {
        const auto id = static_cast<std::int32_t>(wanted.id);
        for (LiveAc& other : g_liveAircraft) {
            if (other.hexid == ac.hexid || other.standId != id) continue;
            switch (other.phase) {
                case AcPhase::parking:
                case AcPhase::pushing_back:
                case AcPhase::pushed_back: return false;
                case AcPhase::parked:
                    if (other.simState != AcSimState::active) return false;
                    gf_log(fmt::format("{:14}: {:8} removed, {} wants to park there", wanted.name, other.callsign,
                                       ac.callsign));
                    removeAircraftFromSim(other);
                    return false;
                default: break;
            }
        }
        for (const std::uint32_t excluded : wanted.excludes)
            if (!lf_checkExcludedStandIsAvailableForLiveParkingTry(excluded, ac, wanted)) return false;
        return true;
    } catch (...) {
        gf_reportTrafficException("lf_checkStandOrExcludedIsOccupiedByLiveParkedTry");
        return false;
    }
}

bool lf_checkExcludedStandIsAvailableForLiveParkingTry(std::uint32_t excludedId, LiveAc& ac, const Stand& wanted) {
    try {
        for (LiveAc& other : g_liveAircraft) {
            if (!isLiveWingOverlapAtStand(other, excludedId, ac, wanted)) continue;
            if (other.simState != AcSimState::active ||
                (other.phase != AcPhase::pushing_back && other.phase != AcPhase::parking &&
                 other.phase != AcPhase::parked))
                return false;
            gf_log(fmt::format("{:14}: {:8} removed by parking {} at colliding adjacent stand {}",
                               gf_standNameById(static_cast<std::int32_t>(excludedId)), other.callsign, ac.callsign,
                               wanted.name));
            removeAircraftFromSim(other);
            return false;
        }
        return true;
    } catch (...) {
        gf_reportTrafficException("lf_checkExcludedStandIsAvailableForLiveParkingTry");
        return false;
    }
}

bool startParkingAtStand(LiveAc& ac, Stand& stand, bool redirect) {
    if (ac.stream.empty() || stand.blocked || stand.heli != (ac.category == Rotorcraft) ||
        !gf_standFitsAircraft(stand, static_cast<std::int32_t>(ac.category), ac.wingRadiusNm) ||
        gf_isUserStand(stand) || !lf_checkStandOrExcludedIsOccupiedByLiveParkedTry(stand, ac) ||
        !gf_isStandFreeForLive(static_cast<std::int32_t>(stand.id), ac.hexid))
        return false;
    makeWayAtStand(ac, stand, false);
    gf_assignStandToAircraft(ac, stand);

    const ReportedRest rest = lf_reportedRest(ac);
    ac.stream.resize(1);
    StreamPoint& front = ac.stream.front();
    const LaLo pose{ac.pose.latitude, ac.pose.longitude};
    const LaLo standPos = lf_standPosition(stand);
    // The drive starts where the aircraft is: a front point already put on
    // the stand would make it jump there.
    if (redirect || (gf_isSamePlace({front.lat, front.lon}, standPos) && !gf_isSamePlace(pose, standPos))) {
        front.lat = pose.lat;
        front.lon = pose.lon;
        front.playTick = tickCount.load();
        front.stationary = 0;
    }
    // The drive's first leg is timed from the front point's speed as well as
    // its own: one below what the aircraft rolls at (a midpoint at half a
    // tow's 0.7 kt report, rolled through at 9.4 kt) had the drive's first
    // 38 m, planned at 6.7 kt to be on the stand when its reports rested
    // there, played at a mean of 3.5 kt, and the aircraft came 10 s late.
    const double rollingKt = gf_rollingStepM(ac) * 100.0 * kMpsToKnots;
    if (std::isfinite(rollingKt) && !(front.groundSpeedKt >= rollingKt)) front.groundSpeedKt = rollingKt;
    if (ac.phase != AcPhase::parking) setFlightPhase(ac, AcPhase::parking);
    // A turn or curve the leg planning built toward the reports replaced here
    // would take the pose on along them (to the stand) while the drive's
    // first leg ends short of it: the aircraft would then drive back.
    resetMotionPath(ac.motion.path);
    // So is a braking to rest before a hold of the stream replaced: kept, it
    // braked the drive's first leg to rest on the point behind the stand
    // (and the leg onto the stand set off again from there).
    if (ac.motion.brakeToRest == kBrakingToRest) ac.motion.brakeToRest = 0;
    drive2Stand(ac, standPos, stand.heading, redirect);
    // Taxi-in points that would have the aircraft slide sideways or back onto
    // the stand (it comes from beside or in front of it, or faces away) give
    // way to a drive that goes round, nose first.
    if (!gf_legsKeepNoseWithTravel(ac, kNoseWithTravelDeg))
        gf_driveOntoStandNoseFirst(ac, standPos, stand.heading, DriveDue{rest.dueTick, lf_mostCatchUpKt(rest)});
    else
        lf_keepPaceWithReports(ac, rest);
    auto& s = ac.stream;
    if (s.size() >= 2 && s[1].stationary == 0 && gf_isSamePlace({s[1].lat, s[1].lon}, {s[0].lat, s[0].lon}))
        s[1].stationary = 1;
    return true;
}
