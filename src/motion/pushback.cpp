#include "motion/pushback.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include <fmt/format.h>

#include "engine/controls.h"
#include "engine/engine_state.h"
#include "engine/geometry.h"
#include "engine/stands.h"
#include "foundation/geodesy.h"
#include "foundation/log.h"
#include "motion/flight_phases.h"
#include "motion/ground_roll.h"
#include "motion/motion_math.h"
#include "motion/next_position.h"
#include "motion/stream_checks.h"
#include "motion/tick_math.h"
#include "simlink/sim_link.h"

namespace {

// The pushback ends two and a half stand radii behind the stand when no
// report tells where it goes.
constexpr double kPushbackRadii = 2.5;

// A report this far on (m) from where the pushback got to, tail first, takes
// it further; a forward move this far off its end ends it.
constexpr double kPushStepM = 1.0;
constexpr double kForwardMoveM = 4.0;
// A report at no speed after one that moved ends the pushback where it
// stopped, however short its last step (more than this, m): the taxi starts
// from there, and from short of it its first report could lie behind the
// nose.
constexpr double kStopStepM = 0.1;
// A pushback goes at a walking pace: a report faster than this (kt) is no
// pushback's.
constexpr double kMostPushKt = 6.0;
// A report this fast (kt) at most, beyond a pushback's pace, may be the taxi
// a few seconds after it turned off the pushback's line.
constexpr double kTurnedOffMostKt = 15.0;
// A pushback reported standing further on got there at no less than this
// (m/s) from its report before; one reported moving there, when its report
// falls due this much (ticks) later than that pace takes.
constexpr double kLeastPushMps = 0.5;
constexpr std::int32_t kHiddenStopTicks = 500;
// A late pushback catches up no faster than a pushback goes (kt), or than
// half as fast again as its report. An aircraft created late in a busy sky
// appears on its stand with its pushback's reports already tens of metres
// on: held to 5 kt it came more than 10 s behind them.
constexpr double kCatchUpKt = kMostPushKt;
constexpr double kCatchUpShare = 1.5;
// A pushback leg goes as far as its reports go on in a straight line:
// within this (m) of the way they go, and within this (degrees) of the
// direction they go in all along.
constexpr double kStayOnReportsM = 2.5;
constexpr double kMostBendDeg = 25.0;
// A pushback speeds up from rest at about this (m/s2): when its first report
// tells a speed, it began about the time that takes and the report's
// distance at that speed before the report.
constexpr double kPushStartMps2 = 0.3;
// A report slower than this (kt) before the pushback began still stands.
constexpr double kStillKt = 1.0;
constexpr double kStandScatterM = 50.0;
// Its speed changes by this much a tick (m per tick per tick: 0.5 m/s2),
// more only where the leg is too short in time for it.
constexpr double kPushSpeedChangePerTick = 0.5e-4;
constexpr int kSpeedChangeTries = 3;
constexpr int kSearchSteps = 40;
// Longer legs go at an even speed.
constexpr std::int32_t kMostScheduleTicks = 12000;
// A nose this close (degrees) to facing away from the way it goes, or a leg
// this short (m), keeps its heading.
constexpr double kNoseKeptDeg = 10.0;
constexpr double kLeastTurnLegM = 1.0;
constexpr double kQuarterTurnRad = 90.0 * degreesToRadians;
// A reported track further than this off the way between two reports tells
// nothing of the way the pushback goes there; two that leave the chord and
// come back to it by angles further apart than this make no turn between
// the reports.
constexpr double kMostWayOffChordRad = 75.0 * degreesToRadians;
constexpr double kMostTurnUnevenRad = 30.0 * degreesToRadians;
// The way of the pushback between two reports is followed in steps of this
// many ticks (at most this many steps); a leg goes on at least this far
// ahead (ticks) along it.
constexpr std::int32_t kPathStepTicks = 50;
constexpr int kMostPathSteps = 200;
constexpr std::int32_t kLeastLegTicks = 800;
constexpr double kPushConeRad = 60.0 * degreesToRadians;
// A report whose nose crosses the pushback's line at less than this tells
// no place on the line where the aircraft turned off it.
constexpr double kLeastTurnOffRad = 30.0 * degreesToRadians;
constexpr double kOnLineShare = 0.1;

// The taxi-start watch after the pushback.
constexpr double kTaxiMoveM = 4.0;
constexpr double kClearOfStandLeastM = 25.0;
constexpr double kTaxiAwayM = 15.0;
constexpr std::uint8_t kTaxiMovesInARow = 4;
// The stream takes a report within 0.00015 degrees of where the aircraft
// stands (up to 17 m) as a copy of that place.
constexpr double kBeyondCopyM = 20.0;

LaLo lf_pose(const LiveAc& ac) { return {ac.pose.latitude, ac.pose.longitude}; }
LaLo lf_position(const StreamPoint& p) { return {p.lat, p.lon}; }
double lf_metres(LaLo a, LaLo b) { return gf_distanceNm(a, b) * metresPerNm; }
double lf_offRad(double a, double b) { return std::fabs(std::remainder(a - b, fullCircle)); }

// A leg of the pushback is no report and carries no track. The decoder
// passes over a report whose track agrees with the stream's last point's
// within a few metres of it; a leg that kept a track (north by default, or
// the stand's way) passed over every report of a pushback or taxi going that
// way, and its stand watch, which judges each report as it comes, never saw
// them (a turn at the pushback's end then was never followed).
constexpr double kNoTrack = std::numeric_limits<double>::quiet_NaN();

// The stream becomes its front point followed by the leg off the stand to
// `target`, due `ticks` from now. The leg sets off now: the front point is
// due now, not when the aircraft came to stand there. The leg's pace is
// read from the time between the two, and from a stand point due minutes
// ago a pushback crept off at a fraction of its reports' pace and was
// retimed tens of seconds behind them.
StreamPoint& lf_replaceStreamByLeg(LiveAc& ac, LaLo target, std::int32_t ticks) {
    ac.stream.resize(1);
    ac.stream.front().playTick = tickCount.load();
    StreamPoint p;
    p.lat = target.lat;
    p.lon = target.lon;
    p.trackDeg = kNoTrack;
    p.playTick = gf_tickPlus(tickCount.load(), ticks);
    return ac.stream.emplace_back(p);
}

// At least the shortest leg; a taxi speed of 0 gives the longest leg the
// tick count can hold rather than an endless one.
std::int32_t lf_legTicks(const LiveAc& ac, LaLo target) {
    return gf_legTicks(gf_distanceNm(lf_pose(ac), target), ac.taxiSpeedRef, kMinLegTicks);
}

// Where the pushback has got to, and the way the aircraft faces there: where
// it started with the aircraft's own heading, then its last report facing
// away from the leg that led there.
struct PushEnd {
    LaLo at{};
    double noseRad = 0.0;
};

PushEnd lf_pushEnd(const LiveAc& ac) {
    const StandLeaving& l = ac.motion.leaving;
    if (l.pushback.empty()) return {lf_pose(ac), ac.pose.heading};
    const LaLo end = lf_position(l.pushback.back());
    const LaLo before = l.pushback.size() >= 2 ? lf_position(l.pushback[l.pushback.size() - 2]) : l.start;
    if (!(lf_metres(before, end) > 0.0)) return {end, ac.pose.heading};
    return {end, normalizeHeading(gf_bearing(before, end) + pi)};
}

bool lf_againstHeading(double travelRad, double noseRad) {
    return std::isfinite(noseRad) && lf_offRad(travelRad, noseRad) > kQuarterTurnRad;
}

// The way lies within 60 degrees of straight back from the nose: a way off to
// the side (a taxi that turns away from where the pushback ended) is none of
// the pushback's.
bool lf_tailFirst(double travelRad, double noseRad) {
    return std::isfinite(noseRad) && lf_offRad(travelRad, noseRad + pi) < kPushConeRad;
}

// The time (ticks from now) the pushback's last report is reached: when it
// falls due, or later when the aircraft would have to go faster than a
// pushback's catching up to get there by then.
std::int32_t lf_pushLegTicks(const LiveAc& ac, const StreamPoint& target, bool fromRest, bool toRest) {
    // No faster than a pushback catching up, speeding up from rest and
    // slowing to it again as it does.
    const double catchUpMps = std::max(kCatchUpKt, kCatchUpShare * target.groundSpeedKt) / kMpsToKnots;
    const double legM = lf_metres(lf_pose(ac), lf_position(target));
    const double rampS = catchUpMps / (2.0 * kPushSpeedChangePerTick * 1e4);
    const double leastS = legM / catchUpMps + (fromRest ? rampS : 0.0) + (toRest ? rampS : 0.0);
    const std::int32_t least = std::max(kMinLegTicks, gf_ticksFromCount(leastS * 100.0, 0));
    return std::max(least, gf_ticksBetween(tickCount.load(), target.playTick));
}

// The metres the pose moves this tick on its leg (0 while it stands).
double lf_currentStepM(const LiveAc& ac) {
    const MotionState& m = ac.motion;
    if (ac.stream.empty() || ac.stream.front().stationary != 0) return 0.0;
    const LaLo pose = lf_pose(ac);
    if (m.scheduleCount == 0) return lf_metres(pose, {pose.lat + m.stepLat, pose.lon + m.stepLon});
    if (m.scheduleIndex > m.scheduleCount || m.scheduleIndex > m.schedule.size() || m.schedule.empty()) return 0.0;
    // A leg planned this tick (two reports can come in one) has taken no
    // step yet: its first step goes on at the speed the aircraft has.
    const std::size_t step = m.scheduleIndex == 0 ? 0 : m.scheduleIndex - 1;
    return m.schedule[step] * lf_metres(pose, {pose.lat + m.unitStepLat, pose.lon + m.unitStepLon});
}

// The metres of each of `n` ticks: from `fromM` a tick toward an even speed,
// and down to `endM` by the end, changing by at most `change` a tick.
double lf_stepsFor(std::vector<double>& steps, double fromM, double evenM, double endM, double change) {
    double sum = 0.0;
    const std::size_t n = steps.size();
    for (std::size_t i = 0; i < n; ++i) {
        const double ramp = change * static_cast<double>(i + 1);
        double v = evenM >= fromM ? std::min(evenM, fromM + ramp) : std::max(evenM, fromM - ramp);
        v = std::min(v, endM + change * static_cast<double>(n - i - 1));
        sum += steps[i] = std::max(0.0, v);
    }
    return sum;
}

// The shares of a leg of `n` ticks and `legM` metres that start at the speed
// the aircraft has (`fromM` a tick) and end at `endM` a tick (at rest where
// the pushback ends), the speed changing gently: the even speed between is
// searched for; a leg too short in time for that changes speed harder.
void lf_pushSchedule(std::vector<double>& shares, std::int32_t n, double legM, double fromM, double endM) {
    shares.assign(static_cast<std::size_t>(n), 1.0);
    double sum = static_cast<double>(n);
    if (legM > 0.0 && std::isfinite(legM) && std::isfinite(fromM) && std::isfinite(endM)) {
        double change = kPushSpeedChangePerTick;
        std::vector<double> steps(shares.size());
        for (int attempt = 0; attempt < kSpeedChangeTries; ++attempt, change *= 2.5) {
            const double most = std::max(fromM, endM) + change * n;
            if (lf_stepsFor(steps, fromM, most, endM, change) < legM ||
                lf_stepsFor(steps, fromM, 0.0, endM, change) > legM)
                continue;
            double lo = 0.0, hi = most;
            for (int k = 0; k < kSearchSteps; ++k) {
                const double mid = (lo + hi) / 2.0;
                (lf_stepsFor(steps, fromM, mid, endM, change) < legM ? lo : hi) = mid;
            }
            sum = lf_stepsFor(steps, fromM, hi, endM, change);
            shares = steps;
            break;
        }
    }
    if (sum > 0.0)
        for (double& s : shares) s /= sum;
}

// Where the aircraft goes next on its pushback: along the way its kept
// reports go (between two reports the curve or line that joins them, see
// lf_betweenReports), as far as a straight leg from where it is follows
// that way: within 2.5 m of it and within 25 degrees of the way it goes
// all along, so that the nose, turning over the leg from the way it faces
// to face away from the way the reports go at its end, stays close to the
// way it travels; on a straight stretch that is as far as the stretch goes.
// A leg ends at rest (the next report plans the leg on before it gets
// there), so it reaches at least as far as the reports put the aircraft
// 8 s ahead however it bends. The index is that of the report the point
// lies before; the last report when none lies ahead.
struct PushTarget {
    StreamPoint point;
    std::size_t index = 0;
    // The way the pushback goes there (radians); NaN where no way is told.
    double way = std::numeric_limits<double>::quiet_NaN();
    // That way is the straight line between two reports, not a curve.
    bool straight = false;
};

// Where the pushback is a share `f` of the time from report `a` to report
// `b`, and the way it goes there. The reports of a pushback that turns come
// seconds apart (the decoder passes few of a slow aircraft): from one whose
// track tells the way, it follows the curve that leaves `a` and reaches `b`
// along their ways (a cubic Hermite curve, the chord's length for its
// tangents), as the tug swings the tail round; the way at `b`, when it tells
// none, is the even arc's. Else the straight line between them.
struct PushCurvePoint {
    LaLo at{};
    double way = std::numeric_limits<double>::quiet_NaN();
    bool straight = false;
};

// The way (radians) a pushback report says the aircraft goes, by the track
// it reports while it moves. `chord` is the way to it from the report
// before: a track more than a quarter turn off it is the nose given as a
// track and is turned round; one that still lies far off the chord tells
// nothing of the way. Standing where the pushback ended, the heading it
// reports is its nose, the way it came facing away from it. NaN when none
// is told.
double lf_reportedWay(const StreamPoint& p, double chord) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    if (!std::isfinite(chord)) return nan;
    double way = nan;
    if (p.groundSpeedKt >= kStillKt && std::isfinite(p.trackDeg)) {
        way = normalizeHeading(p.trackDeg * degreesToRadians);
        if (lf_offRad(way, chord) > kQuarterTurnRad) way = normalizeHeading(way + pi);
    } else if (p.hasTrueHeading != 0 && std::isfinite(p.trueHeading)) {
        way = normalizeHeading(p.trueHeading + pi);
    }
    return lf_offRad(way, chord) <= kMostWayOffChordRad ? way : nan;
}

PushCurvePoint lf_betweenReports(const StreamPoint& a, const StreamPoint& b, double f) {
    const LaLo from = lf_position(a);
    const LaLo to = lf_position(b);
    PushCurvePoint out;
    out.at = {from.lat + (to.lat - from.lat) * f, from.lon + gf_wrapLongitudeDifference(to.lon - from.lon) * f};
    const double chordM = lf_metres(from, to);
    if (!(chordM >= kLeastTurnLegM)) return out;
    const double chord = gf_bearing(from, to);
    out.way = chord;
    out.straight = true;
    const double wayA = lf_reportedWay(a, chord);
    double wayB = lf_reportedWay(b, chord);
    // The way it comes to `b` not told (no track, and no heading where it
    // stands): it comes round as far to the other side of the chord as it
    // left `a` to one side, the even arc a tug swinging the tail round
    // makes. The straight chord turned the way it goes at `a` at once, where
    // the nose cannot follow (44 degrees off its travel after a pause in the
    // reports of a pushback with a turn).
    if (std::isfinite(wayA) && !std::isfinite(wayB)) wayB = normalizeHeading(2.0 * chord - wayA);
    // A flat frame around `a`: metres east and north.
    const double eastPerDeg = metresPerNm * 60.0 * std::cos(from.lat * degreesToRadians);
    const double northPerDeg = metresPerNm * 60.0;
    if (!std::isfinite(wayA) || !std::isfinite(wayB) || !(eastPerDeg > 0.0)) return out;
    // A turn between them leaves the chord to one side as far as it comes
    // back to it from the other; ways that both lie to one side of it (one
    // the way a taxi sets off, or a track that lags) make no such turn.
    if (std::fabs(std::remainder(wayA - chord, fullCircle) + std::remainder(wayB - chord, fullCircle)) >
        kMostTurnUnevenRad)
        return out;
    const double bE = gf_wrapLongitudeDifference(to.lon - from.lon) * eastPerDeg;
    const double bN = (to.lat - from.lat) * northPerDeg;
    const double t0E = chordM * std::sin(wayA), t0N = chordM * std::cos(wayA);
    const double t1E = chordM * std::sin(wayB), t1N = chordM * std::cos(wayB);
    const double f2 = f * f, f3 = f2 * f;
    const double h10 = f3 - 2.0 * f2 + f, h01 = -2.0 * f3 + 3.0 * f2, h11 = f3 - f2;
    const double d10 = 3.0 * f2 - 4.0 * f + 1.0, d01 = -6.0 * f2 + 6.0 * f, d11 = 3.0 * f2 - 2.0 * f;
    const double e = h10 * t0E + h01 * bE + h11 * t1E;
    const double n = h10 * t0N + h01 * bN + h11 * t1N;
    const double dE = d10 * t0E + d01 * bE + d11 * t1E;
    const double dN = d10 * t0N + d01 * bN + d11 * t1N;
    if (!std::isfinite(e) || !std::isfinite(n)) return out;
    out.at = {from.lat + n / northPerDeg, from.lon + e / eastPerDeg};
    if (std::hypot(dE, dN) > 0.0) out.way = normalizeHeading(std::atan2(dE, dN));
    out.straight = false;
    return out;
}

// Metres `p` lies off the straight line from `a` to `b`.
double lf_offLineM(LaLo a, LaLo b, LaLo p) {
    if (!(lf_metres(a, b) > 0.0)) return lf_metres(a, p);
    return std::fabs(gf_relativePosition(a, gf_bearing(a, b), p).across);
}

// The way the kept reports of the pushback go, point by point: each report,
// and between two a point every half second on what joins them; the first
// from where the pushback began, leaving it straight back from the nose.
std::vector<PushTarget> lf_pushPath(const StandLeaving& l) {
    const std::vector<StreamPoint>& push = l.pushback;
    std::vector<PushTarget> path;
    double way = std::numeric_limits<double>::quiet_NaN();
    bool straight = false;
    for (std::size_t i = 0; i < push.size(); ++i) {
        StreamPoint from = i > 0 ? push[i - 1] : push[0];
        if (i == 0) {
            // Off straight back from where the nose pointed: the way the
            // pushback set off.
            from.lat = l.start.lat;
            from.lon = l.start.lon;
            from.groundSpeedKt = std::isfinite(l.startNoseRad) ? kStillKt : 0.0;
            from.trackDeg = normalizeHeading(l.startNoseRad + pi) * radiansToDegrees;
            from.hasTrueHeading = 0;
            if (l.hasStanding != 0) from.playTick = l.standing.playTick;
        }
        const std::int32_t span = std::max(0, gf_ticksBetween(from.playTick, push[i].playTick));
        const int steps = std::clamp(span / kPathStepTicks, 1, kMostPathSteps);
        for (int k = 1; k <= steps; ++k) {
            const double f = static_cast<double>(k) / steps;
            const PushCurvePoint c = lf_betweenReports(from, push[i], f);
            if (std::isfinite(c.way)) {
                way = c.way;
                straight = c.straight;
            }
            PushTarget t{push[i], i, way, straight};
            t.point.lat = c.at.lat;
            t.point.lon = c.at.lon;
            t.point.playTick = gf_tickPlus(from.playTick, static_cast<std::int32_t>(std::lround(f * span)));
            path.push_back(t);
        }
    }
    return path;
}

PushTarget lf_nextPushTarget(const LiveAc& ac) {
    const StandLeaving& l = ac.motion.leaving;
    const std::vector<StreamPoint>& push = l.pushback;
    const PushTarget last{push.back(), push.size() - 1};
    const std::vector<PushTarget> path = lf_pushPath(l);
    const LaLo pose = lf_pose(ac);
    // Where it is along that way: the nearest point.
    std::size_t here = 0;
    double nearest = std::numeric_limits<double>::infinity();
    for (std::size_t k = 0; k < path.size(); ++k)
        if (const double d = lf_metres(pose, lf_position(path[k].point)); d < nearest) {
            nearest = d;
            here = k;
        }
    const std::int32_t least = gf_tickPlus(tickCount.load(), kLeastLegTicks);
    const double tail = normalizeHeading(ac.pose.heading + pi);
    std::size_t best = path.size();
    std::size_t alongTail = path.size();
    for (std::size_t c = here + 1; c < path.size(); ++c) {
        const LaLo target = lf_position(path[c].point);
        const double chord = gf_bearing(pose, target);
        bool inLine = lf_metres(pose, target) > 0.0;
        for (std::size_t j = here + 1; j <= c && inLine; ++j) {
            inLine = lf_offLineM(pose, target, lf_position(path[j].point)) <= kStayOnReportsM;
            if (inLine && std::isfinite(path[j].way))
                inLine = lf_offRad(path[j].way, chord) <= kMostBendDeg * degreesToRadians;
        }
        // Short of the least lead it goes on however the way bends.
        if (!inLine && gf_ticksBetween(least, path[c].point.playTick) > 0) break;
        best = c;
        if (lf_offRad(chord, tail) <= kMostBendDeg * degreesToRadians) alongTail = c;
    }
    // Pushed on late (the reports paused over a turn and the next one came
    // after the time it was due there), the least lead took in the whole
    // curve: the leg cut straight across it, setting off 45 degrees off the
    // way the tail points, where no nose can follow. The leg goes no further
    // than where its chord still leaves within a cut bend of the tail; the
    // next leg takes the curve on from there. So does one in line with the
    // way its reports go: the tail need not point along that way (the nose
    // keeps its heading through a bend of a few degrees), and where the
    // reports began to bend before they paused, a chord in line with the
    // curve set off 34 degrees off the tail, the nose still 30 degrees off
    // the travel at a walking pace.
    if (alongTail < path.size()) best = alongTail;
    if (best >= path.size()) return last;
    PushTarget t = path[best];
    // At a report: the report itself (its speed and time as reported).
    if (gf_isSamePlace(lf_position(t.point), lf_position(push[t.index]))) t.point = push[t.index];
    return t;
}

// The nose turn a tick over a pushback leg of `n` ticks to `target`: by the
// end of the leg the nose faces away from the way the reports go there
// (between the leg and the report after it), so that on a bend it leads and
// lags the way it goes by no more than half the bend. A nose that faces so
// already, or a leg too short to tell a way, keeps its heading.
double lf_noseTurnPerTick(const LiveAc& ac, const PushTarget& target, std::int32_t n) {
    const std::vector<StreamPoint>& push = ac.motion.leaving.pushback;
    const LaLo pose = lf_pose(ac);
    const LaLo at = lf_position(target.point);
    if (!(lf_metres(pose, at) >= kLeastTurnLegM)) return 0.0;
    const double chord = gf_bearing(pose, at);
    double way = chord;
    // The report after the point (the one it lies before, when it lies
    // between two).
    std::size_t after = target.index;
    if (gf_isSamePlace(at, lf_position(push[after]))) ++after;
    // Half the bend where the way goes on from the point to that report.
    const double halfBendOn = after < push.size() && lf_metres(at, lf_position(push[after])) >= kLeastTurnLegM
                                  ? std::remainder(gf_bearing(at, lf_position(push[after])) - chord, fullCircle) / 2.0
                                  : std::numeric_limits<double>::quiet_NaN();
    const double mostLead = kMostBendDeg * degreesToRadians;
    if (std::isfinite(target.way) && target.straight && std::isfinite(halfBendOn))
        // Straight between its reports into a corner (their tracks tell no
        // curve there): the nose leads by half the corner, as far as a leg
        // may cut a bend. Kept facing away from the straight line, it met
        // the leg on from rest 65 degrees off and lagged it 43 degrees as
        // the aircraft set off.
        way = chord + std::clamp(halfBendOn, -mostLead, mostLead);
    else if (std::isfinite(target.way))
        // On the curve its reports' tracks tell: the way it goes there,
        // leading the straight leg by no more than the bend a leg may cut. A
        // leg that must reach a report soon cuts a sharper bend straight:
        // turned to the way at its end, the nose swung 65 degrees off the
        // way it went.
        way = chord + std::clamp(std::remainder(target.way - chord, fullCircle), -mostLead, mostLead);
    else if (std::isfinite(halfBendOn))
        way += halfBendOn;
    const double turn = std::remainder(way + pi - ac.pose.heading, fullCircle);
    if (!std::isfinite(turn) || !(std::fabs(turn) > kNoseKeptDeg * degreesToRadians)) return 0.0;
    const double perTick = turn / std::max(1, n);
    if (std::isfinite(ac.turnRateRad) && ac.turnRateRad > 0.0)
        return std::clamp(perTick, -ac.turnRateRad, ac.turnRateRad);
    return perTick;
}

// Plans the pushback leg of `n` ticks from the pose to the stream's front
// point, the pushback's report `target`: the step and the shares along it,
// and the nose turning over it.
void lf_planPushLeg(LiveAc& ac, const PushTarget& target, std::int32_t n) {
    MotionState& m = ac.motion;
    const StreamPoint& front = ac.stream.front();
    const LaLo pose = lf_pose(ac);
    const double fromM = lf_currentStepM(ac);
    const double legM = lf_metres(pose, lf_position(front));
    resetMotionPath(m.path);
    m.profileLeg = ProfileLeg{};
    m.legTimeOverride = 0;
    m.brakeTicksLeft = 0;
    const double dLat = front.lat - pose.lat;
    const double dLon = gf_wrapLongitudeDifference(front.lon - pose.lon);
    m.stepLat = dLat / n;
    m.stepLon = dLon / n;
    m.unitStepLat = dLat;
    m.unitStepLon = dLon;
    m.scheduleIndex = 0;
    m.scheduleCount = 0;
    // It comes to rest at the end of the leg: the next report plans the leg
    // on before it gets there, and should none come in time (the decoder
    // passes few reports of an aircraft going straight on slowly), it stops
    // gently rather than dead.
    if (n <= kMostScheduleTicks) {
        lf_pushSchedule(m.schedule, n, legM, fromM, 0.0);
        m.scheduleCount = static_cast<std::uint32_t>(n);
    }
    m.headingPerTick = lf_noseTurnPerTick(ac, target, n);
    m.bankPerTick = 0.0;
}

// The stream becomes the leg to the next pushback report and the stop there:
// the front point keeps what it carries but its place and time.
PushTarget lf_legToNextPushReport(LiveAc& ac) {
    StandLeaving& l = ac.motion.leaving;
    const PushTarget next = lf_nextPushTarget(ac);
    l.target = static_cast<std::uint32_t>(next.index);
    l.hasTarget = 1;
    const bool last = next.index + 1 >= l.pushback.size();
    const std::int32_t n = lf_pushLegTicks(ac, next.point, !(lf_currentStepM(ac) > 0.0), last);
    StreamPoint target = ac.stream.front();
    target.lat = next.point.lat;
    target.lon = next.point.lon;
    target.trackDeg = kNoTrack;
    target.playTick = gf_tickPlus(tickCount.load(), n);
    target.stationary = 0;
    target.groundSpeedKt = 0.0;
    target.tasKt = 0.0;
    StreamPoint stop = target;
    stop.stationary = 1;
    ac.stream.clear();
    ac.stream.push_back(target);
    ac.stream.push_back(stop);
    return next;
}

// When the aircraft began to leave its stand by its reports: no sooner than
// the last report at the stand falls due, nor than its first report that
// moved (`first`), which tells its speed, says (reached from rest, speeding
// up as a pushback does).
std::int32_t lf_leavingBegins(const LiveAc& ac, const StreamPoint& first) {
    const StandLeaving& l = ac.motion.leaving;
    std::int32_t begins = first.playTick;
    const double mps = first.groundSpeedKt / kMpsToKnots;
    if (!(first.groundSpeedKt >= kStillKt) && l.hasStanding != 0) {
        // Found standing off its stand: it left after its last report there.
        return l.standing.playTick;
    }
    if (std::isfinite(mps) && mps > 0.0) {
        const LaLo from = l.pushback.empty() ? lf_pose(ac) : l.start;
        const double seconds = lf_metres(from, lf_position(first)) / mps + mps / (2.0 * kPushStartMps2);
        begins = gf_tickPlus(first.playTick, -gf_ticksFromCount(seconds * 100.0, 0));
    } else if (l.hasStanding == 0) {
        begins = tickCount.load();
    }
    if (l.hasStanding != 0 && gf_ticksBetween(begins, l.standing.playTick) > 0) begins = l.standing.playTick;
    return begins;
}

// A report that moves off `place` a few metres on, at a taxi's speed or,
// nose first, at any speed it reports: the aircraft drives there, though the
// stream would take it as a copy of the place it stands (up to 17 m).
// Copied, it stood until the report after it, half a minute later after a
// pause in the reports. A slow taxi setting off (turning away from where its
// pushback ended at 4-5 kt) is no pushback: one that goes on tail first has
// its own nose against the way it went, or, its nose not reported, goes
// straight back from the nose the aircraft stands with (`noseRad`).
bool lf_drivesOffFrom(const StreamPoint& q, const StreamPoint& place, double noseRad) {
    if (!(q.groundSpeedKt >= kStillKt && q.groundSpeedKt <= kMostGroundKt) ||
        lf_metres(lf_position(place), lf_position(q)) < kTaxiMoveM)
        return false;
    if (q.groundSpeedKt > kMostPushKt) return true;
    const double travel = gf_bearing(lf_position(place), lf_position(q));
    if (q.hasTrueHeading != 0 && std::isfinite(q.trueHeading)) return !lf_againstHeading(travel, q.trueHeading);
    return std::isfinite(noseRad) && !lf_tailFirst(travel, noseRad);
}

// The kept reports join the stream after its last point as the stream checks
// would have taken them (a standing one as a hold where the aircraft stands),
// each falling due as reported, after the one before.
void lf_appendKept(LiveAc& ac, const std::vector<StreamPoint>& kept) {
    for (StreamPoint q : kept) {
        if (ac.stream.empty()) break;
        q.stationary = 0;
        const StreamPoint reported = q;
        const StreamPoint last = ac.stream.back();
        if (!lf_acceptNewStreamPoint(ac, q)) continue;
        // Taken as a copy of the last point, the hold ends when the aircraft
        // must leave to be at the report on time, as the check set it: at the
        // report's own due tick it would set off only when it should be there.
        const std::int32_t due = q.playTick;
        const std::int32_t after = gf_tickPlus(ac.stream.back().playTick, 1);
        q.playTick = gf_ticksBetween(after, due) > 0 ? due : after;
        ac.stream.push_back(q);
        // Driving off from where it stands: it goes there from that hold.
        if (q.stationary != 0 && last.stationary != 0 && lf_drivesOffFrom(reported, last, ac.pose.heading)) {
            StreamPoint on = reported;
            const std::int32_t next = gf_tickPlus(q.playTick, 1);
            if (gf_ticksBetween(next, on.playTick) < 0) on.playTick = next;
            ac.stream.push_back(on);
        }
    }
}

// The last report kept, after the pushback, in it, or standing (none yet:
// null).
const StreamPoint* lf_lastKept(const StandLeaving& l) {
    return !l.after.empty()      ? &l.after.back()
           : !l.pushback.empty() ? &l.pushback.back()
           : l.hasStanding != 0  ? &l.standing
                                 : nullptr;
}

// The pace (kt) from the last report kept to this one by their positions.
double lf_paceFromLastKt(const StreamPoint& last, const StreamPoint& p) {
    const double seconds = std::max(1.0, gf_ticksBetween(last.playTick, p.playTick) / 100.0);
    return lf_metres(lf_position(last), lf_position(p)) / seconds * kMpsToKnots;
}

// The last report kept after the pushback (`after`), passing over those at
// no speed that repeat the place of the one kept before them, back to the
// pushback's end: a receiver repeating a position it last gave while the
// aircraft went on tells nothing of when it left there (null when the
// pushback had not begun).
const StreamPoint* lf_lastKeptBeforeRepeats(const std::vector<StreamPoint>& after,
                                            const std::vector<StreamPoint>& pushback) {
    if (pushback.empty()) return nullptr;
    std::size_t k = after.size();
    while (k > 0) {
        const StreamPoint& q = after[k - 1];
        const StreamPoint& before = k >= 2 ? after[k - 2] : pushback.back();
        if (q.groundSpeedKt >= kStillKt || !gf_isSamePlace(lf_position(q), lf_position(before))) break;
        --k;
    }
    return k > 0 ? &after[k - 1] : &pushback.back();
}

// A report farther from the last one kept than an aircraft on the ground
// goes in the time between them (a position miles off): no report of this
// aircraft's way. After the pushback, judged from the last report kept that
// the repeats at no speed after it only repeat: judged from a stale repeat
// of where the pushback ended, the report of the taxi 190 m on 3 s later was
// left out, and the aircraft stood at the pushback's end until the repeat
// fell due, 15 s behind its reports after.
bool lf_outOfReach(const StandLeaving& l, const StreamPoint& p) {
    const StreamPoint* repeated = lf_lastKeptBeforeRepeats(l.after, l.pushback);
    const StreamPoint* last = repeated != nullptr ? repeated : lf_lastKept(l);
    return last != nullptr && lf_paceFromLastKt(*last, p) > kMostGroundKt;
}

// Once the pushback has begun, a ground speed no aircraft on the ground goes
// (a bad report of 1e6 kt) tells nothing of the pace; the position and time
// of the report are sound. The pace its position gives from the last report
// kept stands for it: taken as it came, such a report in the middle of a
// pushback was no walking pace, so it did not take the pushback on, and the
// aircraft stood where its leg ended until a report after it came, tens of
// seconds behind its reports. Before it began, the report stays as it came:
// over the scatter of a parked aircraft's reports the pace of its position
// would start a pushback nobody made.
StreamPoint lf_withSoundSpeed(const StandLeaving& l, const StreamPoint& reported) {
    StreamPoint p = reported;
    if (l.pushback.empty() || p.groundSpeedKt <= kMostGroundKt) return p;
    p.groundSpeedKt = lf_paceFromLastKt(*lf_lastKept(l), p);
    return p;
}

// Parked until the pushback begins: a hold there.
void lf_waitAtStand(LiveAc& ac, std::int32_t dueTick) {
    ac.extrapolationCount = 0;
    ac.stream.resize(1);
    StreamPoint hold = ac.stream.front();
    hold.lat = ac.pose.latitude;
    hold.lon = ac.pose.longitude;
    hold.groundSpeedKt = 0.0;
    hold.tasKt = 0.0;
    hold.stationary = 1;
    hold.playTick = dueTick;
    ac.stream.push_back(hold);
}

void lf_clearTaxiWatch(MotionState& m) {
    m.pushbackWatchSet = 0;
    m.pushbackWatchSecondSet = 0;
    m.pushbackWatchCount = 0;
    m.pushbackWatchPos = {};
    m.pushbackWatchSecondPos = {};
}

// One report through the taxi-start watch; true when the taxi starts on it.
bool lf_taxiWatchStep(LiveAc& ac, const StreamPoint& p) {
    MotionState& m = ac.motion;
    const LaLo at = lf_position(p);
    if (m.pushbackWatchSet == 0) {
        m.pushbackWatchPos = at;
        m.pushbackWatchSet = 1;
        m.pushbackWatchSecondSet = 0;
        m.pushbackWatchCount = 0;
        return false;
    }
    const double movedM = lf_metres(at, m.pushbackWatchPos);
    if (movedM < kTaxiMoveM) return false;
    const double travel = gf_bearing(m.pushbackWatchPos, at);
    m.pushbackWatchPos = at;
    const double clearM = std::max(2.0 * ac.wingRadiusNm * metresPerNm, kClearOfStandLeastM);
    if (lf_metres(ac.standPos, at) <= clearM || gf_movesTailFirst(p, travel)) {
        // Near the stand, or still pushed tail first: the taxi has not begun.
        m.pushbackWatchSecondSet = 0;
        m.pushbackWatchCount = 0;
        return false;
    }
    const bool ahead = gf_relativePosition(lf_pose(ac), travel, at).along > 0.0;
    // A first move farther than a standing aircraft's reports scatter, at a
    // reported speed: the reports paused while it turned and drove off, and
    // they come half a minute before they fall due. Waiting for the next one
    // kept it standing that much longer, then turning on the spot for a way
    // its reports were already far along.
    if (m.pushbackWatchSecondSet == 0 && p.groundSpeedKt >= kStillKt && movedM > kStandScatterM && ahead) return true;
    // So does a first move at a speed no pushback goes, beyond where the
    // stream would take the report as the place it stands (a copy of it):
    // the report after it may be half a minute away (a gap in the reports),
    // and the aircraft stood until then while they drove off.
    if (m.pushbackWatchSecondSet == 0 && p.groundSpeedKt > kMostPushKt && movedM > kBeyondCopyM && ahead) return true;
    if (m.pushbackWatchSecondSet == 0) {
        m.pushbackWatchSecondSet = 1;
        m.pushbackWatchSecondPos = at;
        m.pushbackWatchCount = 1;
        return false;
    }
    if (m.pushbackWatchCount < 255) ++m.pushbackWatchCount;
    // Four counted moves in a row nose first, clear of the stand, at a
    // speed: the aircraft creeps off slowly, short of 15 m from the first.
    // Waiting for the move that would make the 15 m, it stood while its
    // reports drove off, and when they ended there it never taxied.
    if (m.pushbackWatchCount >= kTaxiMovesInARow && p.groundSpeedKt >= kStillKt && ahead) return true;
    // The second counted move shows the taxi begun: waiting for a third, the
    // aircraft stood while its reports drove off (a pause of 20-40 s in them
    // left it that far behind, one that ended them left it standing). The
    // taxi starts on a report ahead of the aircraft along the reports'
    // travel: one the aircraft would have to drive back against that travel
    // to reach makes it turn about twice.
    return lf_metres(at, m.pushbackWatchSecondPos) >= kTaxiAwayM && ahead;
}

// A report further back along the pushback's line whose own nose points off
// that line: where the aircraft left the line to go the way it now faces, the
// line met going back along its nose from the report. Nothing when the
// pushback had not begun, when the report's nose runs too nearly along the
// line to tell where, or when that place is no further on the line.
std::optional<StreamPoint> lf_turnOffPushback(const StandLeaving& l, const PushEnd& end, const StreamPoint& p,
                                              double movedM, double travelRad) {
    if (l.pushback.empty()) return std::nullopt;
    double noseRad = p.trueHeading;
    if (p.hasTrueHeading == 0 || !std::isfinite(noseRad)) {
        // A report without its heading taxiing faster than any pushback goes
        // nose first: its track is where its nose points. Without it, one
        // pushed on 15 m and turned there while the reports paused was taken
        // to taxi from where the pushback seemed to end: it turned about on
        // the spot, drove back along the way it had been pushed, braked past
        // the report and turned about again, 21 s behind its reports.
        if (!(p.groundSpeedKt > kMostPushKt) || !std::isfinite(p.trackDeg)) return std::nullopt;
        noseRad = normalizeHeading(p.trackDeg * degreesToRadians);
    }
    const double backRad = normalizeHeading(end.noseRad + pi);
    // The pushback line (from its end, straight back) and the report's nose
    // line (back from the report) in metres east and north of the end.
    const double det = std::sin(backRad - noseRad);
    if (std::fabs(det) < std::sin(kLeastTurnOffRad)) return std::nullopt;
    const double east = movedM * std::sin(travelRad);
    const double north = movedM * std::cos(travelRad);
    double alongLineM = (east * std::cos(noseRad) - north * std::sin(noseRad)) / det;
    const double fromTurnM = (std::sin(backRad) * north - std::cos(backRad) * east) / det;
    // A report on the line itself (it turned where it is reported) lies
    // either side of the line as the nose the pushback's end is taken with
    // is a few degrees off: it turned there. So does one whose nose line
    // meets the line further ahead of it, its tail swung out to the side it
    // lies on by no more than a quarter turn: the pushback bent on to it as
    // a tug swings the tail round onto the taxiway, and the way its end is
    // taken with (the chord of its last two reports) lags such a bend. An
    // airliner pushed on 15 m round one while its reports paused came 2.4 m
    // off the line, its nose line meeting it 3.6 m ahead; taken to taxi from
    // where the pushback seemed to end, it turned about on the spot for the
    // report behind it and about again, 19 s behind its reports.
    const double slackM = kOnLineShare * movedM;
    const bool pushedRound = lf_offRad(noseRad + pi, backRad) <= kQuarterTurnRad;
    if (!(alongLineM >= kPushStepM) || !(fromTurnM >= -slackM || pushedRound) || alongLineM > movedM + slackM)
        return std::nullopt;
    const bool onLine = fromTurnM < 0.0 || alongLineM > movedM;
    if (onLine) alongLineM = movedM;
    const StreamPoint& before = l.pushback.back();
    StreamPoint turn = before;
    const LaLo at = onLine ? lf_position(p) : gf_destinationPoint(end.at, {backRad, alongLineM * feetPerMetre});
    turn.lat = at.lat;
    turn.lon = at.lon;
    turn.trackDeg = kNoTrack;
    turn.hasTrueHeading = 0;
    turn.stationary = 0;
    // There at the pushback's pace, and no later than the report allows.
    const double mps = std::max(before.groundSpeedKt / kMpsToKnots, kLeastPushMps);
    turn.playTick = gf_tickPlus(before.playTick, gf_ticksFromCount(alongLineM / mps * 100.0, 0));
    if (gf_ticksBetween(turn.playTick, p.playTick) < 0) turn.playTick = p.playTick;
    return turn;
}

// Once the pushback has begun, a report a few metres from where it got to
// (less than a taxi's first move), moving at a speed whose own track lies
// within a quarter turn of its nose, goes nose first: the aircraft pivots or
// sets off from where it was pushed, however its position lies from there
// (a metre or two off, within the scatter of its positions). Taken on as the
// pushback's, a pivot onto the taxiway reported 1.5 m behind the tail had a
// heavy pushed on there with its nose swung 18 degrees the wrong way, and it
// turned 108 degrees on the spot for its taxi instead of 90, 19 s behind its
// reports. One further on tells that the pushback went on there while the
// reports paused. Not before the pushback begins: the track of its first
// reports still lags from where it stood.
bool lf_movesNoseFirstByItsTrack(const StandLeaving& l, const StreamPoint& p, double movedM) {
    return !l.pushback.empty() && movedM < kTaxiMoveM && p.groundSpeedKt >= kStillKt && p.hasTrueHeading != 0 &&
           std::isfinite(p.trueHeading) && std::isfinite(p.trackDeg) &&
           !lf_againstHeading(p.trackDeg * degreesToRadians, p.trueHeading);
}

}  // namespace

bool gf_movesTailFirst(const StreamPoint& p, double travelRad) {
    if (p.hasTrueHeading == 0 || !std::isfinite(p.trueHeading) || !std::isfinite(travelRad)) return false;
    return lf_againstHeading(travelRad, p.trueHeading);
}

bool gf_reportedTailFirst(const StreamPoint& p) {
    constexpr double kMovingReportKt = 1.0;
    return p.stationary == 0 && p.groundSpeedKt >= kMovingReportKt &&
           gf_movesTailFirst(p, p.trackDeg * degreesToRadians);
}

std::int64_t gf_mustLeaveBy(const StreamPoint& from, const StreamPoint& to) {
    const double kt = to.groundSpeedKt;
    const double speedUpTicks = std::ceil(kt * kKnotsToMps / kTaxiSpeedChangeMps2 * 100.0);
    return std::int64_t{to.playTick} - gf_legTicks(gf_distanceNm(lf_position(from), lf_position(to)), kt, kMinLegTicks) -
           static_cast<std::int64_t>(speedUpTicks);
}

void initiatePushBack(LiveAc& ac) {
    if (ac.stream.empty()) return;
    MotionState& m = ac.motion;
    const StandLeaving& l = m.leaving;
    const Stand* stand = ac.standId > 0 ? gf_standById(ac.standId) : nullptr;
    if (stand == nullptr || !(stand->radius > 0.0)) {
        ac.extrapolationCount = 0;
        m.departureWatch = 0;
        m.pushbackWatchSet = 0;
        m.pushbackWatchSecondSet = 0;
        gf_logError(fmt::format("{} cancelled pushback, invalid stand radius for stand {}, callsign {}",
                                "initiatePushBack", gf_standNameById(ac.standId), ac.callsign));
        m.departurePending = 0;
        gf_forgetLeavingReports(ac);
        return;
    }
    // The reports say when the pushback began: the aircraft stands until
    // then.
    if (!l.pushback.empty()) {
        const std::int32_t begins = lf_leavingBegins(ac, l.pushback.front());
        if (gf_ticksBetween(tickCount.load(), begins) > kMinLegTicks) {
            lf_waitAtStand(ac, begins);
            return;
        }
    }
    ac.extrapolationCount = 0;
    m.departureWatch = 0;
    lf_clearTaxiWatch(m);
    ac.stream.front().groundSpeedKt = 0.0;
    // Tail first: the leg bearing stays the heading.
    m.legBearing = ac.pose.heading;
    // Nothing on the ground resets the heading and bank changes an airborne
    // leg planned; an aircraft that landed earlier would still turn with them.
    m.headingPerTick = 0.0;
    m.bankPerTick = 0.0;
    if (!l.pushback.empty()) {
        // Where the reports of the pushback go, the nose turning away from
        // the way they go; the ground leg planning eases it from rest.
        const PushTarget next = lf_nextPushTarget(ac);
        m.leaving.target = static_cast<std::uint32_t>(next.index);
        m.leaving.hasTarget = 1;
        const std::int32_t n = lf_pushLegTicks(ac, next.point, true, next.index + 1 >= l.pushback.size());
        StreamPoint& pushed = lf_replaceStreamByLeg(ac, lf_position(next.point), n);
        StreamPoint stop = pushed;
        stop.stationary = 1;
        ac.stream.push_back(stop);
        m.headingPerTick = lf_noseTurnPerTick(ac, next, n);
    } else {
        // Tail first: straight back from where the nose points. An aircraft
        // may stand up to 40 degrees across its stand (an arrival parks so),
        // and pushed along the stand's axis it would slide sideways.
        const double nose = std::isfinite(ac.pose.heading) ? ac.pose.heading : ac.standHeadingRad;
        const double pushHeading = std::isfinite(nose) ? normalizeHeading(nose + pi) : 0.0;
        const LaLo target =
            gf_destinationPoint(lf_pose(ac), {pushHeading, kPushbackRadii * stand->radius * feetPerNm});
        const StreamPoint pushed = lf_replaceStreamByLeg(ac, target, lf_legTicks(ac, target));
        StreamPoint stop = pushed;
        stop.stationary = 1;
        ac.stream.push_back(stop);
    }
    gf_setAiLights(ac.objectId, kDepartureLights);
    ac.arrivingHere = 0;
    if (ac.phase != AcPhase::pushing_back) setFlightPhase(ac, AcPhase::pushing_back);
}

void pullOutOfStand(LiveAc& ac) {
    if (ac.stream.empty()) return;
    MotionState& m = ac.motion;
    const std::vector<StreamPoint> kept = m.leaving.after;
    if (!kept.empty()) {
        // The reports say when it began to move: it stands until then.
        const std::int32_t begins = lf_leavingBegins(ac, kept.front());
        if (gf_ticksBetween(tickCount.load(), begins) > kMinLegTicks) {
            lf_waitAtStand(ac, begins);
            return;
        }
    }
    m.departurePending = 0;
    ac.extrapolationCount = 0;
    gf_forgetLeavingReports(ac);
    ac.stream.front().groundSpeedKt = 0.0;
    if (kept.empty()) {
        const LaLo target =
            gf_destinationPoint(ac.standPos, {ac.standHeadingRad, 2.0 * ac.wingRadiusNm * feetPerNm});
        lf_replaceStreamByLeg(ac, target, lf_legTicks(ac, target)).groundSpeedKt = ac.taxiSpeedRef;
    } else {
        // Out the way its reports went.
        ac.stream.resize(1);
        lf_appendKept(ac, kept);
    }
    if (ac.phase != AcPhase::taxi) setFlightPhase(ac, AcPhase::taxi);
    m.legBearing = ac.pose.heading;
    gf_setAiLights(ac.objectId, kDepartureLights);
    gf_startAiEngines(ac.objectId);
    gf_setThrottle(ac, 0);
    gf_setFlaps(ac, 1);
    gf_log(fmt::format("{:14}: {:8} pulling out", gf_standNameById(ac.standId), ac.callsign));
}

void gf_keepStandingReport(LiveAc& ac, const StreamPoint& p) {
    StandLeaving& l = ac.motion.leaving;
    StandLeaving fresh;
    fresh.standingCount = l.standingCount + 1;
    fresh.standingSpreadM = std::max(l.standingSpreadM, lf_metres(ac.standPos, lf_position(p)));
    l = std::move(fresh);
    l.standing = p;
    l.hasStanding = 1;
}

bool gf_keepUnseenPushback(LiveAc& ac, const StreamPoint& there, const StreamPoint& p) {
    StandLeaving& l = ac.motion.leaving;
    if (!l.pushback.empty() || l.hasStanding == 0) return false;
    const PushEnd end = lf_pushEnd(ac);
    const double travel = gf_bearing(end.at, lf_position(there));
    const bool ownHeadingAgrees =
        there.hasTrueHeading == 0 || !std::isfinite(there.trueHeading) || lf_againstHeading(travel, there.trueHeading);
    if (!lf_tailFirst(travel, end.noseRad) || !ownHeadingAgrees) return false;
    l.start = end.at;
    l.startNoseRad = end.noseRad;
    l.pushback.push_back(there);
    l.after.clear();
    l.watched = 0;
    l.hasBeyond = 0;
    gf_keepLeavingReport(ac, p);
    return true;
}

bool gf_keepLeavingReport(LiveAc& ac, const StreamPoint& reported) {
    StandLeaving& l = ac.motion.leaving;
    if (lf_outOfReach(l, reported)) return false;
    const StreamPoint p = lf_withSoundSpeed(l, reported);
    if (l.pushbackOver != 0) {
        l.after.push_back(p);
        return false;
    }
    const PushEnd end = lf_pushEnd(ac);
    const double movedM = lf_metres(end.at, lf_position(p));
    if (l.pushback.empty() && !(p.groundSpeedKt >= kStillKt) && movedM <= kStandScatterM) {
        // Not moving off yet: the pushback begins after this one.
        l.standing = p;
        l.hasStanding = 1;
        l.after.clear();
        l.watched = 0;
        return false;
    }
    const double travel = gf_bearing(end.at, lf_position(p));
    // Once it has begun, or beyond a stand's scatter, a report of no speed
    // further on tail first (after a gap in the reports) is where it got to.
    const bool walking = (p.groundSpeedKt > 0.0 || !l.pushback.empty() || movedM > kStandScatterM) &&
                         p.groundSpeedKt <= kMostPushKt;
    const bool ownHeadingAgrees =
        p.hasTrueHeading == 0 || !std::isfinite(p.trueHeading) || lf_againstHeading(travel, p.trueHeading);
    const bool stops = !(p.groundSpeedKt >= kStillKt) && !l.pushback.empty() &&
                       l.pushback.back().groundSpeedKt >= kStillKt;
    const double stepM = stops ? kStopStepM : kPushStepM;
    if (walking && movedM >= stepM && lf_tailFirst(travel, end.noseRad) && ownHeadingAgrees &&
        !lf_movesNoseFirstByItsTrack(l, p, movedM)) {
        if (l.pushback.empty()) {
            l.start = end.at;
            l.startNoseRad = end.noseRad;
        }
        StreamPoint q = p;
        if (!l.pushback.empty()) {
            // Standing there already: it got there at the pushback's pace,
            // no later than the report says (the decoder passes few reports
            // of an aircraft going on slowly, and none may tell when). So
            // did one still moving whose report came far later than that
            // pace takes: the reports of a stop on the way were passed over.
            const StreamPoint& before = l.pushback.back();
            const double mps = std::max(before.groundSpeedKt / kMpsToKnots, kLeastPushMps);
            const std::int32_t there = gf_tickPlus(before.playTick, gf_ticksFromCount(movedM / mps * 100.0, 0));
            const std::int32_t slack = q.groundSpeedKt >= kStillKt ? kHiddenStopTicks : 0;
            if (gf_ticksBetween(gf_tickPlus(there, slack), q.playTick) > 0) q.playTick = there;
        }
        l.pushback.push_back(q);
        // Stops on the way were pauses of the pushback.
        l.after.clear();
        l.watched = 0;
        return true;
    }
    // Turned off the line while its reports paused, the aircraft may be
    // taxiing faster than a pushback goes by its first report, nose first
    // from where it turned (the way it lies from where the pushback seemed
    // to end then tells nothing of its nose): its nose tells where it
    // turned, when the pushback's pace leaves it the time to taxi on from
    // there to the report. Passed over as a taxi's, the report was left
    // behind the nose where the pushback seemed to end, and a heavy turned
    // 82 degrees on the spot toward the reports after it, drove 11 m and
    // turned 47 degrees back on the spot, 11 s behind them.
    const bool taxiing = !l.pushback.empty() && p.groundSpeedKt > kMostPushKt && p.groundSpeedKt <= kTurnedOffMostKt;
    if (((walking && !ownHeadingAgrees) || taxiing) && lf_tailFirst(travel, end.noseRad)) {
        std::optional<StreamPoint> turn = lf_turnOffPushback(l, end, p, movedM, travel);
        if (turn && taxiing &&
            gf_ticksBetween(turn->playTick, p.playTick) <
                gf_legTicks(gf_distanceNm(lf_position(*turn), lf_position(p)), p.groundSpeedKt, 0))
            turn.reset();
        if (turn) {
            // The reports paused while the pushback went on and the aircraft
            // turned off its line: it is pushed on to where it turned, and
            // taxis from there. Taxiing to the report from where the pushback
            // seemed to end, it turned about on the spot to drive back along
            // the way it had been pushed.
            l.pushback.push_back(*turn);
            l.after.clear();
            l.watched = 0;
            l.pushbackOver = 1;
            l.after.push_back(p);
            return true;
        }
    }
    if (!l.pushback.empty() && movedM >= kForwardMoveM && !lf_againstHeading(travel, end.noseRad))
        l.pushbackOver = 1;
    l.after.push_back(p);
    return false;
}

void gf_restartLeavingReports(LiveAc& ac) {
    StandLeaving& l = ac.motion.leaving;
    StandLeaving fresh;
    fresh.standing = l.standing;
    fresh.hasStanding = l.hasStanding;
    fresh.standingCount = l.standingCount;
    fresh.standingSpreadM = l.standingSpreadM;
    l = std::move(fresh);
}

void gf_forgetLeavingReports(LiveAc& ac) { ac.motion.leaving = StandLeaving{}; }

void gf_followPushback(LiveAc& ac) {
    const StandLeaving& l = ac.motion.leaving;
    if (l.pushback.empty() || ac.stream.empty()) return;
    // On its way to the pushback's last report already: the leg stays
    // (planned again it would come to rest there later at every report).
    const bool toLast = l.hasTarget != 0 && l.target + 1 == l.pushback.size() &&
                        ac.phase == AcPhase::pushing_back && ac.stream.front().stationary == 0 &&
                        gf_isSamePlace(lf_position(ac.stream.front()), lf_position(l.pushback.back()));
    if (toLast) return;
    const PushTarget next = lf_legToNextPushReport(ac);
    lf_planPushLeg(ac, next, std::max(1, gf_ticksBetween(tickCount.load(), ac.stream.front().playTick)));
}

std::int32_t gf_pushbackBegins(const LiveAc& ac) {
    const std::vector<StreamPoint>& push = ac.motion.leaving.pushback;
    return push.empty() ? tickCount.load() : lf_leavingBegins(ac, push.front());
}

bool gf_pushbackGoesOn(const LiveAc& ac) {
    const std::vector<StreamPoint>& push = ac.motion.leaving.pushback;
    return !push.empty() && lf_metres(lf_pose(ac), lf_position(push.back())) > kPushStepM;
}

void gf_resumePushback(LiveAc& ac) {
    if (ac.motion.leaving.pushback.empty() || ac.stream.empty()) return;
    if (ac.motion.holding != 0 || ac.extrapolationCount > 0) gf_endHolding(ac);
    lf_clearTaxiWatch(ac.motion);
    setFlightPhase(ac, AcPhase::pushing_back);
    // It stands where its last leg ended: that point is reached on the next
    // tick, and the leg on is planned from rest there as every pushback leg
    // that sets off is (gf_pushbackEnded).
    ac.stream.front().playTick = gf_tickPlus(tickCount.load(), 1);
    lf_waitAtStand(ac, gf_tickPlus(tickCount.load(), 2));
}

bool gf_taxiBegunAfterPushback(LiveAc& ac) {
    MotionState& m = ac.motion;
    StandLeaving& l = m.leaving;
    // The watch starts where the pushback ended.
    if (m.pushbackWatchSet == 0 && !l.pushback.empty()) {
        m.pushbackWatchPos = lf_position(l.pushback.back());
        m.pushbackWatchSet = 1;
        m.pushbackWatchSecondSet = 0;
        m.pushbackWatchCount = 0;
    }
    while (l.watched < l.after.size())
        if (lf_taxiWatchStep(ac, l.after[l.watched++])) return true;
    return false;
}

bool gf_taxiDueAfterPushback(const LiveAc& ac) {
    const MotionState& m = ac.motion;
    const StandLeaving& l = m.leaving;
    if (ac.phase != AcPhase::pushed_back || m.pushbackWatchSecondSet == 0 || l.pushback.empty()) return false;
    const StreamPoint& end = l.pushback.back();
    const auto seen = l.after.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(l.watched, l.after.size()));
    const auto first = std::find_if(l.after.begin(), seen, [&](const StreamPoint& q) {
        return gf_isSamePlace(lf_position(q), m.pushbackWatchSecondPos);
    });
    if (first == seen || !(first->groundSpeedKt >= kStillKt)) return false;
    // It must leave in time to be there as that report falls due, after
    // turning on the spot to face it.
    const double turnRad = lf_offRad(gf_bearing(lf_position(end), lf_position(*first)), ac.pose.heading);
    const double turnTicks =
        ac.turnRateRad > 0.0 && std::isfinite(turnRad) ? std::ceil(turnRad / ac.turnRateRad) : 0.0;
    const std::int32_t leave = gf_tickPlus(0, gf_mustLeaveBy(end, *first) - static_cast<std::int64_t>(turnTicks));
    if (gf_ticksBetween(tickCount.load(), leave) > 0) return false;
    // Every moving report kept so far a copy of where it stands: the taxi
    // started on them would stand there all the same. Not one that drives
    // off from there.
    return std::any_of(l.after.begin(), seen, [&](const StreamPoint& q) {
        return q.groundSpeedKt >= kStillKt && (!gf_isNearCopy(q, end) || lf_drivesOffFrom(q, end, ac.pose.heading));
    });
}

namespace {

// How far behind the nose a first report after the pushback may lie and be
// where the pushback went on to while the reports paused.
constexpr double kPushedOnMostM = 30.0;
// The longest the aircraft may stand on after the passed report fell due.
constexpr std::int64_t kPassedReportWaitTicks = 500;
// A report at no speed is a stale repeat of where the aircraft stood when
// the next one lies further from it than this many times that one's speed,
// and this much more (kt), goes in the time between them.
constexpr double kStaleRepeatShare = 2.0;
constexpr double kStaleRepeatSlackKt = 20.0;

// The first report kept after the pushback lies a few metres behind the
// nose, on from where the pushback ended, and the report after it lies back
// the other way: the aircraft was pushed on there while the reports paused,
// its nose came round, and it set off from there. Driving to it, the
// aircraft turned about on the spot to go back along the way it had been
// pushed, and then turned about again, 15-20 s behind its reports. Likewise
// one beside the tail when the report after it lies ahead of the nose: the
// aircraft went by it as it taxied off (driving to one 4 m off, a heavy
// turned 95 degrees on the spot and 70 back, 9 s behind its reports). Such
// a report is passed: the taxi sets off from where the aircraft stands.
// The report after it is the next one kept, or the one that starts the taxi.
// True when it was passed: the one after it is then looked at the same way,
// as the reports come round the tail of a wide aircraft turning there onto
// the taxiway (its wing reaches over them). Passing only the first, it
// turned about on the spot for the second, and about again.
bool lf_passReportBehindTheNose(const LiveAc& ac, std::vector<StreamPoint>& kept,
                                const std::optional<StreamPoint>& accepted) {
    if (kept.empty()) return false;
    const StreamPoint* next = kept.size() >= 2 ? &kept[1] : accepted ? &*accepted : nullptr;
    if (next == nullptr) return false;
    const LaLo at = lf_pose(ac);
    const LaLo first = lf_position(kept[0]);
    const double backM = lf_metres(at, first);
    if (!(backM >= kTaxiMoveM) || backM > kPushedOnMostM || lf_metres(first, lf_position(*next)) < kTaxiMoveM)
        return false;
    const double toFirst = gf_bearing(at, first);
    if (!(lf_offRad(toFirst, ac.pose.heading) > kQuarterTurnRad)) return false;
    const LaLo then = lf_position(*next);
    const bool backAgain = lf_offRad(gf_bearing(first, then), toFirst) > kQuarterTurnRad;
    const bool aheadOfNose =
        lf_metres(at, then) > backM && lf_offRad(gf_bearing(at, then), ac.pose.heading) < kQuarterTurnRad;
    if (!backAgain && !aheadOfNose) return false;
    // Not when the aircraft would then stand long after that report fell
    // due, waiting to leave for the next one: it left from there on time.
    if (gf_mustLeaveBy(kept[0], *next) > std::int64_t{kept[0].playTick} + kPassedReportWaitTicks) return false;
    kept.erase(kept.begin());
    return true;
}

// The reports kept since the pushback began join the stream when the taxi
// starts, past the decoder, which takes the pace of each report it keeps from
// the one kept before it: the report that starts the taxi is paced from the
// last of them (passing over repeats, as the reach of a report is judged),
// not from whichever report the decoder kept before the pushback. Paced from
// the pushback's first report 124 s before, the report of a B738's taxi
// 273 m on, 41.6 s after the report of it setting off at 3.6 kt, showed
// 4.5 kt where its reports kept 12.7: held to twice the 8.3 kt it gave after
// turning 90 degrees on the spot, the aircraft came 12 s late to it. Neither
// report was retimed yet: their due ticks lie as far apart as their own
// times, but for the hand-over's spacing of its batches.
void lf_paceFromLastKept(LiveAc& ac, const std::vector<StreamPoint>& kept, const StreamPoint& accepted) {
    const StreamPoint* from = lf_lastKeptBeforeRepeats(kept, ac.motion.leaving.pushback);
    if (from == nullptr) return;
    const double sinceS = gf_ticksBetween(from->playTick, accepted.playTick) / 100.0;
    if (!(sinceS >= 0.0)) return;
    MotionState& m = ac.motion;
    m.lastKeptPosition = lf_position(*from);
    m.lastKeptTime = ac.lastReportTime - sinceS;
    m.lastKeptSet = 1;
}

}  // namespace

void gf_startTaxiAfterPushback(LiveAc& ac, bool lastAccepted) {
    MotionState& m = ac.motion;
    std::vector<StreamPoint> kept = std::move(m.leaving.after);
    const bool pushedSomewhere = !m.leaving.pushback.empty();
    const LaLo pushedTo = pushedSomewhere ? lf_position(m.leaving.pushback.back()) : LaLo{};
    std::optional<StreamPoint> accepted;
    if (lastAccepted && !kept.empty()) {
        accepted = kept.back();
        kept.pop_back();
        lf_paceFromLastKept(ac, kept, *accepted);
    }
    // A lone report at no speed between reports that move, falling due
    // after the aircraft must have left it to be at the report that starts
    // the taxi at that report's speed: the receiver repeated a position it
    // had while the aircraft moved on. Kept as a hold, the aircraft stood
    // there until it could no longer catch up with its reports. A run of
    // such reports is the aircraft standing, and stays.
    if (accepted && accepted->groundSpeedKt >= kStillKt && kept.size() >= 2 &&
        !(kept.back().groundSpeedKt >= kStillKt) && kept[kept.size() - 2].groundSpeedKt >= kStillKt &&
        gf_mustLeaveBy(kept.back(), *accepted) < std::int64_t{kept.back().playTick})
        kept.pop_back();
    // So is a run of reports at no speed repeating where the pushback ended
    // when the next report kept, moving, lies further from the run's last
    // than twice its own speed and 20 kt more covers in the time between
    // them: the aircraft had left long before the repeats. Kept as holds,
    // the aircraft stood at the pushback's end until the last of them fell
    // due, and came 15 s behind the report of its taxi 190 m on, 3 s later.
    // So is a run repeating the place of a first report that crept a few
    // metres off the pushback's end as the taxi set off (the receiver kept
    // giving that place): that report stays, its repeats go. Kept as holds,
    // the repeats of a report 1.6 m off the pushback's end at 2.4 kt held a
    // business jet there 30 s, and it came 11 s behind the report 265 m on.
    if (pushedSomewhere) {
        std::size_t from = 0;
        LaLo place = pushedTo;
        if (kept.size() >= 2 && kept[0].groundSpeedKt >= kStillKt && !(kept[1].groundSpeedKt >= kStillKt) &&
            lf_metres(lf_position(kept[0]), pushedTo) < kTaxiMoveM &&
            gf_isSamePlace(lf_position(kept[1]), lf_position(kept[0]))) {
            from = 1;
            place = lf_position(kept[0]);
        }
        std::size_t run = from;
        while (run < kept.size() && !(kept[run].groundSpeedKt >= kStillKt) &&
               gf_isSamePlace(lf_position(kept[run]), place))
            ++run;
        const StreamPoint* next = run < kept.size() ? &kept[run] : accepted ? &*accepted : nullptr;
        if (run > from && next != nullptr && next->groundSpeedKt >= kStillKt && next->groundSpeedKt <= kMostGroundKt) {
            const StreamPoint& last = kept[run - 1];
            const double seconds = gf_ticksBetween(last.playTick, next->playTick) / 100.0;
            const double metres = lf_metres(lf_position(last), lf_position(*next));
            if (metres > (kStaleRepeatShare * next->groundSpeedKt + kStaleRepeatSlackKt) / kMpsToKnots *
                             std::max(0.0, seconds))
                kept.erase(kept.begin() + static_cast<std::ptrdiff_t>(from),
                           kept.begin() + static_cast<std::ptrdiff_t>(run));
        }
    }
    if (pushedSomewhere)
        while (lf_passReportBehindTheNose(ac, kept, accepted)) {
        }
    gf_forgetLeavingReports(ac);
    if (m.holding != 0) {
        if (!ac.stream.empty()) ac.stream.front().playTick = gf_tickPlus(tickCount.load(), 1);
        gf_endHolding(ac);
    }
    lf_clearTaxiWatch(m);
    setFlightPhase(ac, AcPhase::taxi);
    ac.standPos = {};
    ac.standHeadingRad = 0.0;
    ac.standId = 0;
    ac.isCargo = 0;
    ac.isGate = 0;
    // The reports since the pushback ended.
    lf_appendKept(ac, kept);
    // Still standing where the pushback ended, the taxi begun on a report
    // far off at a taxi's speed: it stands until it must leave to be there
    // when that report falls due (the hold's end then gives it the time to
    // turn on the spot for it), not off at once and there long before.
    if (!accepted || !pushedSomewhere || ac.stream.empty()) return;
    const StreamPoint& last = ac.stream.back();
    const double kt = accepted->groundSpeedKt;
    if (last.groundSpeedKt >= kStillKt || !(kt >= kStillKt) || lf_metres(lf_position(last), pushedTo) >= kTaxiMoveM)
        return;
    const std::int64_t leave = gf_mustLeaveBy(last, *accepted);
    if (leave <= std::int64_t{last.playTick} + kMinLegTicks) return;
    StreamPoint stand = last;
    stand.stationary = 1;
    stand.groundSpeedKt = 0.0;
    stand.playTick = gf_tickPlus(0, leave);
    ac.stream.push_back(stand);
}

void gf_pushbackEnded(LiveAc& ac) {
    if (ac.phase != AcPhase::pushed_back) return;
    if (gf_pushbackGoesOn(ac))
        // From rest where the leg ended, as the pushback's first leg set off
        // from the stand: the leg planning takes it from the front point.
        initiatePushBack(ac);
    else if (gf_taxiBegunAfterPushback(ac))
        gf_startTaxiAfterPushback(ac, false);
}

