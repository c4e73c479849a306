#include "motion/taxi_smoothing.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <limits>
#include <vector>

#include <fmt/format.h>

#include "engine/engine_state.h"
#include "engine/geometry.h"
#include "foundation/geodesy.h"
#include "foundation/log.h"
#include "motion/flight_phases.h"
#include "motion/ground_movement.h"
#include "motion/ground_roll.h"
#include "motion/motion_math.h"
#include "motion/runway_lineup.h"
#include "motion/stream_checks.h"
#include "motion/tick_math.h"

namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;
// A corner this small (degrees) is left as it is.
constexpr double kLeastCornerDeg = 3.0;
// Above this front speed (kt) the turn is built whatever the leg.
constexpr double kFastTaxiKt = 43.0;
// The turn off a landing roll begins once the speed has fallen to this (kt).
constexpr double kExitTurnKt = 65.0;
// The distance covered while turning is kept within these (m).
constexpr double kLeastTurnEntryM = 12.0;
constexpr double kGreatestTurnEntryM = 90.0;
// A turn may stray this far outside its legs (m) on a runway.
constexpr double kLargestRunwayOffsetM = 5.0;
// A taxi standing with its nose this far (degrees) off its first leg turns
// on the spot before it sets off.
constexpr double kStandingStartTurnDeg = 30.0;
// A creeping taxi (reports no faster than this, kt, by their own distance
// over time) whose reports wander this far (m) to either side of its way.
constexpr double kCreepKt = 5.0;
constexpr double kCreepScatterM = 15.0;
// A creeping taxi's report that the straight leg past it would pass this
// long (ticks) after its time or later lies on the way the aircraft went.
constexpr double kCreepPassedLateTicks = 500.0;
// A corner of at least this many degrees that the reports come almost to
// rest at (this, kt, or slower) is a pivot.
constexpr double kPivotCornerDeg = 90.0;
constexpr double kPivotKt = 2.0;

LaLo lf_pose(const LiveAc& ac) { return {ac.pose.latitude, ac.pose.longitude}; }
LaLo lf_position(const StreamPoint& p) { return {p.lat, p.lon}; }

bool lf_samePlace(LaLo a, LaLo b) { return gf_isSamePlace(a, b); }
bool lf_samePlace(const StreamPoint& a, const StreamPoint& b) { return lf_samePlace(lf_position(a), lf_position(b)); }

double lf_metres(LaLo a, LaLo b) { return gf_distanceNm(a, b) * metresPerNm; }

// a - b brought into [-pi, pi], in degrees.
double lf_turnDeg(double a, double b) { return std::remainder(a - b, fullCircle) * kDegreesPerRadian; }

// The largest of the values that are numbers (NaN when none is).
double lf_largest(std::initializer_list<double> values) {
    double r = std::numeric_limits<double>::quiet_NaN();
    for (double v : values) r = std::fmax(r, v);
    return r;
}

// Front ground speed and the two following points' (kt), with the airspeed.
double lf_fastest(const LiveAc& ac) {
    const auto& s = ac.stream;
    return lf_largest({ac.pose.trueAirspeed, s[0].groundSpeedKt, s[1].groundSpeedKt, s[2].groundSpeedKt});
}

// The turn rate the aircraft has at its front speed, degrees per second.
double lf_turnRateDegPerS(const LiveAc& ac) {
    return gf_groundSpeedFactor(ac.stream[0].groundSpeedKt) * ac.turnRateRad * kDegreesPerRadian * 100.0;
}

// Metres covered while turning through the corner at the speed.
double lf_turnEntryM(double speedKt, double cornerDeg, double rateDegPerS) {
    return std::clamp(speedKt * kKnotsToMps * std::clamp(cornerDeg / rateDegPerS, 1.5, 6.0), kLeastTurnEntryM,
                      kGreatestTurnEntryM);
}

// The geometry of a turn off the leg: e the turn at the next point against
// the bearing from the pose, o the pose's heading against that bearing.
struct ExitGeometry {
    double e = 0.0;
    double o = 0.0;
    bool exitTurn = false;  // a turn off a runway onto an exit
};
ExitGeometry lf_exitGeometry(const LiveAc& ac) {
    const auto& s = ac.stream;
    const double b1 = gf_bearing(lf_pose(ac), lf_position(s[1]));
    ExitGeometry g;
    g.e = lf_turnDeg(gf_bearing(lf_position(s[1]), lf_position(s[2])), b1);
    g.o = lf_turnDeg(b1, ac.pose.heading);
    g.exitTurn = std::fabs(g.e) >= 15.0 && std::fabs(g.e) < 135.0 && std::fabs(g.o) <= 20.0;
    return g;
}

double lf_lookAheadM(const LiveAc& ac) {
    const auto& s = ac.stream;
    return gf_lookAheadDistance(lf_largest({ac.pose.trueAirspeed, s[0].groundSpeedKt, s[1].groundSpeedKt}));
}

// Ticks origin + trunc(span x f), kept strictly between the two ticks.
std::int32_t lf_tickBetween(std::int32_t from, std::int32_t to, double f) {
    const std::int64_t span = std::int64_t{to} - from;
    const auto at = std::int64_t{from} + static_cast<std::int64_t>(std::trunc(static_cast<double>(span) * f));
    return static_cast<std::int32_t>(std::clamp(at, std::int64_t{from} + 1, std::int64_t{to} - 1));
}

bool lf_usable(const GroundTurn& t) { return t.status == GroundTurnStatus::None && t.totalLength > 0.0; }

// The ticks the motion path to point k takes at the mean of the speeds
// reported at the front point and there: along the ground turn, or along
// the curved leg's control polygon.
std::int32_t lf_bendTicks(const LiveAc& ac, std::size_t k) {
    const auto& s = ac.stream;
    const MotionState& m = ac.motion;
    double metres = m.path.turn.totalLength;
    if (!lf_usable(m.path.turn))
        metres = (gf_distanceNm({ac.pose.latitude, ac.pose.longitude}, {s[1].lat, s[1].lon}) +
                  gf_distanceNm({s[1].lat, s[1].lon}, {s[2].lat, s[2].lon})) *
                 metresPerNm;
    const double kt = std::max(1.0, (s[0].groundSpeedKt + s[std::min(k, s.size() - 1)].groundSpeedKt) / 2.0);
    return gf_legTicks(metres / metresPerNm, kt, kMinLegTicks);
}

// A point put on the exit leg `d` metres past the corner (point 1), where a
// turn through the corner ends: timed and paced on the way to point 2.
bool lf_insertPointPastCorner(LiveAc& ac, double d) {
    auto& s = ac.stream;
    const StreamPoint& p1 = s[1];
    const StreamPoint& p2 = s[2];
    const double d2 = lf_metres(lf_position(p1), lf_position(p2));
    if (!(d > 0.0 && d < d2) || std::int64_t{p2.playTick} - p1.playTick < 2) return false;
    const double f = d / d2;
    const double s1 = p1.groundSpeedKt;
    StreamPoint p = p1;
    const LaLo at = gf_between(lf_position(p1), lf_position(p2), f);
    p.lat = at.lat;
    p.lon = at.lon;
    p.groundSpeedKt = std::lerp(s1, p2.groundSpeedKt, f);
    p.playTick = lf_tickBetween(p1.playTick, p2.playTick, f);
    p.stationary = 0;
    p.synthetic = 1;
    p.rollSynthetic = 1;
    s.insert(s.begin() + 2, p);
    return true;
}

// The landing roll's late exit point: the turn begins on the exit leg, short
// of the point after the next.
bool lf_insertExitPointAfterCorner(LiveAc& ac, double cornerDeg, double rateDegPerS, double lookAheadM) {
    const auto& s = ac.stream;
    const double s1 = s[1].groundSpeedKt;
    if (!(lf_metres(lf_position(s[1]), lf_position(s[2])) > lookAheadM) || !(rateDegPerS > 0.0) ||
        !std::isfinite(s1) || !(s1 <= kExitTurnKt))
        return false;
    return lf_insertPointPastCorner(ac, lf_turnEntryM(s1, cornerDeg, rateDegPerS));
}

// ---- the ground turn ----

GroundTurnInput lf_firstInput(const LiveAc& ac) {
    const auto& s = ac.stream;
    GroundTurnInput in;
    in.entryLat = ac.pose.latitude;
    in.entryLon = ac.pose.longitude;
    in.cornerLat = s[1].lat;
    in.cornerLon = s[1].lon;
    in.exitLat = s[2].lat;
    in.exitLon = s[2].lon;
    in.startHeading = ac.pose.heading;
    // Small aircraft turn on shorter legs and more tightly.
    switch (ac.category) {
        case Light:
        case HighPerf:
            in.minLegLength = 10.0;
            in.minLegSum = 35.0;
            in.maxCurvatureDegPerM = 5.0;
            break;
        case TwoProps:
        case Bizjet:
            in.minLegLength = 12.0;
            in.minLegSum = 40.0;
            in.maxCurvatureDegPerM = 4.0;
            break;
        default: break;
    }
    // A rolling aircraft about to stop where it lines up ends its turn on the
    // runway heading.
    const LineUpState& lu = ac.motion.lineUp;
    if (isRollingToTakeoff(ac) && lu.key && lu.heading) {
        const auto stop = std::find_if(s.begin() + 1, s.end(), [](const StreamPoint& p) { return p.stationary != 0; });
        if (stop != s.end() && lf_metres(lf_position(*stop), lf_position(s[2])) <= 1.0) {
            in.exitHeading = *lu.heading;
            in.exitHeadingGiven = 1;
        }
    }
    return in;
}

// A ground turn ends along its exit leg. Where the path bends on at the exit
// point (a curve reported point by point), that leaves the bend there to be
// taken on the spot, the nose off the track until the next leg; and the next
// corner then starts too far off its leg for a turn of its own. Ending along
// the middle of that bend, as a smooth path through the points does, leaves
// half of it on either side. The turn so built replaces the first one only
// when it is usable too. Bends of 45 degrees and more keep their corner
// instead (the corner-keeping retry).
constexpr double kFollowedBendDeg = 45.0;

// The point the taxi goes on to from stream point i: the one after it, or
// the one after copies of it the taxi passes through (a hold of no length,
// or the feed repeating a moving report at no speed), which leave the
// stream when point i is reached. The path bends there between the legs
// around the copies: taken as a stop, the bend was left to a turn on the
// spot at the point, and an arrival reaching it at 19 kt braked 29 m
// straight on past it, turned 104 degrees and drove back.
std::size_t lf_goesOnTo(const LiveAc& ac, std::size_t i) {
    const std::size_t k = gf_momentaryHoldEnd(ac, i);
    return k > i + 1 ? k : i + 1;
}

void lf_leaveAlongTheBend(const LiveAc& ac, const GroundTurnInput& first, GroundTurn& turn) {
    const auto& s = ac.stream;
    const std::size_t n = lf_goesOnTo(ac, 2);
    if (s.size() <= n || s[n].stationary != 0 || s[n].airborne != 0 || lf_samePlace(s[1], s[2]) ||
        lf_samePlace(s[2], s[n]))
        return;
    const double in = gf_bearing(lf_position(s[1]), lf_position(s[2]));
    const double bend = std::remainder(gf_bearing(lf_position(s[2]), lf_position(s[n])) - in, fullCircle);
    if (!(std::fabs(bend) * kDegreesPerRadian > kLeastCornerDeg && std::fabs(bend) * kDegreesPerRadian < kFollowedBendDeg))
        return;
    GroundTurnInput bent = first;
    bent.exitHeading = normalizeHeading(in + bend / 2.0);
    bent.exitHeadingGiven = 1;
    GroundTurn candidate{};
    if (buildGroundTurn(candidate, bent) && lf_usable(candidate)) turn = candidate;
}

// The far exit: with a large start deviation the turn aims past the next
// few points of a straight stretch. Returns the index of its exit point, 0
// when there is none.
std::size_t lf_farExitIndex(const LiveAc& ac, double startDeviationDeg) {
    const auto& s = ac.stream;
    const double reference = gf_bearing(lf_position(s[1]), lf_position(s[2]));
    const double reach = std::clamp(1.5 * startDeviationDeg, 90.0, 250.0);
    std::size_t found = 0;
    for (std::size_t k = 2; k < s.size(); ++k) {
        const StreamPoint& p = s[k];
        const StreamPoint& before = s[k - 1];
        if (p.stationary != 0 || p.airborne != 0 || lf_samePlace(p, before) || p.playTick <= before.playTick) break;
        if (std::fabs(lf_turnDeg(gf_bearing(lf_position(before), lf_position(p)), reference)) > 12.0) break;
        const double d = lf_metres(lf_pose(ac), lf_position(p));
        if (!(d <= 250.0)) break;
        found = k;
        if (d >= reach) break;
    }
    return found;
}

// The sharpest the turn bends anywhere along it (degrees a metre).
double lf_sharpestDegPerM(const GroundTurn& t) {
    constexpr int kSteps = 128;
    double sharpest = 0.0;
    CurvePoint before = sampleGroundTurn(t, 0.0);
    for (int k = 1; k <= kSteps && before.valid; ++k) {
        const CurvePoint p = sampleGroundTurn(t, static_cast<double>(k) / kSteps);
        if (!p.valid) return std::numeric_limits<double>::infinity();
        const double metres = lf_metres({before.lat, before.lon}, {p.lat, p.lon});
        if (metres > 0.0) sharpest = std::max(sharpest, std::fabs(lf_turnDeg(p.heading, before.heading)) / metres);
        before = p;
    }
    return sharpest;
}

// The report a turn through the next point ends on when the one after the
// corner lies much closer to it than the turn begins: the first that lies
// at least `pastM` past the corner on the straight the reports go on along
// (no further than a turn's longest entry), else the last on it; 0 when
// there is none past point 2.
std::size_t lf_straightExitIndex(const LiveAc& ac, double pastM) {
    const auto& s = ac.stream;
    if (s.size() < 4) return 0;
    const double exitBearing = gf_bearing(lf_position(s[1]), lf_position(s[2]));
    std::size_t found = 0;
    for (std::size_t k = 3; k < s.size(); ++k) {
        const StreamPoint& p = s[k];
        const StreamPoint& before = s[k - 1];
        if (p.stationary != 0 || p.airborne != 0 || p.synthetic != 0 || lf_samePlace(p, before) ||
            p.playTick <= before.playTick)
            break;
        if (std::fabs(lf_turnDeg(gf_bearing(lf_position(before), lf_position(p)), exitBearing)) > kLeastCornerDeg ||
            std::fabs(lf_turnDeg(gf_bearing(lf_position(s[1]), lf_position(p)), exitBearing)) > kLeastCornerDeg)
            break;
        const double d = lf_metres(lf_position(s[1]), lf_position(p));
        if (!(d <= kGreatestTurnEntryM)) break;
        found = k;
        if (d >= pastM) break;
    }
    return found;
}

// Points 1 .. k are reports on the ground of an aircraft on the move: none
// stands where the one before stands or comes at or before its time.
bool lf_movingLegs(const std::deque<StreamPoint>& s, std::size_t k) {
    for (std::size_t i = 1; i <= k; ++i) {
        const StreamPoint& p = s[i];
        if (p.stationary != 0 || p.airborne != 0 || lf_samePlace(p, s[i - 1]) || p.playTick <= s[i - 1].playTick)
            return false;
    }
    return true;
}

// The reports come into the corner (point 1) more than this many times as
// fast, by their own distance over time, as they go on from it to point 2,
// and the corner is still ahead of its time: a turn through it, played at
// one pace toward point 2, passes it late, its own time lost with its report
// (which leaves the stream). An arrival turning off its runway at 15 kt,
// created rolling 50 m short of the corner while its reports then paused
// 24 s, bent through it at the 13.5 kt that brought it to the exit's report
// 100 m on, and passed the corner 5 s after its report had it there. Only
// over legs whose ends lie seconds apart: points closer in time tell no
// pace. Not where it comes to rest at point 2 (reported there at no speed,
// the stream ending or holding there): the reports slow after the corner
// because it eases to rest, and the leg into the rest plans that slowing;
// ended at the corner, a tow's drive onto its stand was planned from there,
// looped away from the stand and came 37 s late. Asked before the turn
// gives point 2 a speed. A rest a few metres past the corner, reached long
// before its report (easing to rest from the pace into the corner over that
// leg takes under half the time the reports give it), is no slowing: the
// aircraft stopped about at the corner and stood. The corner keeps its time
// there too: turned through to the rest at one pace, a tow 47 m short of
// a corner due 15 s on, its rest 3.3 m past the corner 15 s later, crawled
// the whole way at 3 kt and came to the corner 10.8 s after it fell due.
constexpr double kCornerPaceShare = 2.0;
constexpr double kEaseTimeShare = 0.5;
bool lf_cornerReachedFarFaster(const LiveAc& ac) {
    const auto& s = ac.stream;
    if (s.size() < 3 || s[1].synthetic != 0 || !lf_movingLegs(s, 2) ||
        gf_ticksBetween(tickCount.load(), s[1].playTick) <= 0)
        return false;
    const double inTicks = gf_ticksBetween(s[0].playTick, s[1].playTick);
    const double outTicks = gf_ticksBetween(s[1].playTick, s[2].playTick);
    if (inTicks < kPaceLeastS * 100.0 || outTicks < kPaceLeastS * 100.0) return false;
    const double inPace = lf_metres(lf_position(s[0]), lf_position(s[1])) / inTicks;
    const double outM = lf_metres(lf_position(s[1]), lf_position(s[2]));
    const double outPace = outM / outTicks;
    if (s[2].groundSpeedKt <= 0.1 && (s.size() == 3 || s[3].stationary != 0) &&
        !(2.0 * outM / inPace < kEaseTimeShare * outTicks))
        return false;
    return inPace > kCornerPaceShare * outPace;
}

// Points 1 .. k-1 of a creeping taxi that wander to one side of the way
// from the pose to point k and back (an S: a turn of a spot turn's size
// either way among the nose and the reported legs), each a few metres off
// that way and in order along it: the scatter of a crawl's positions, not
// a path. Driven leg by leg, the aircraft braked at each and turned on the
// spot, one way and back (two turns of 50-75 degrees for a 10 m wiggle), and
// fell 10-30 s behind. They are dropped: the leg goes straight to point k.
bool lf_mergeCreepWiggle(LiveAc& ac, std::size_t k) {
    auto& s = ac.stream;
    const LaLo pose = lf_pose(ac);
    if (ac.phase != AcPhase::taxi || s.size() <= k || lf_samePlace(lf_position(s[k]), pose) ||
        !lf_movingLegs(s, k) ||
        std::any_of(s.begin() + 1, s.begin() + static_cast<std::ptrdiff_t>(k) + 1,
                    [](const StreamPoint& p) { return p.synthetic != 0; }))
        return false;
    const double direct = gf_bearing(pose, lf_position(s[k]));
    const double span = lf_metres(pose, lf_position(s[k]));
    if (!std::isfinite(span) || span > 180.0) return false;
    const std::int32_t legFrom = std::max(tickCount.load(), s[0].playTick);
    double along = 0.0;
    double heading = ac.pose.heading;
    bool left = false;
    bool right = false;
    for (std::size_t i = 1; i <= k; ++i) {
        const double bearing = gf_bearing(i == 1 ? pose : lf_position(s[i - 1]), lf_position(s[i]));
        const double turn = lf_turnDeg(bearing, heading);
        left = left || turn <= -kStandingStartTurnDeg;
        right = right || turn >= kStandingStartTurnDeg;
        heading = bearing;
        if (i == k) break;
        const double kt = gf_speedKtOver(gf_distanceNm(lf_position(s[i - 1]), lf_position(s[i])),
                                         static_cast<double>(s[i].playTick - s[i - 1].playTick));
        const RelativePosition r = gf_relativePosition(pose, direct, lf_position(s[i]));
        if (!(kt <= kCreepKt) || !(r.along > along) || !(r.along < span) ||
            !(std::fabs(r.across) <= kCreepScatterM))
            return false;
        along = r.along;
        // A point whose own way (from the point before to the one after)
        // the straight leg runs across so steeply that, at an even pace to
        // point k, it would cross the line across that way seconds after the
        // point's time is no scatter: the reports go that way. An arrival
        // creeping 15 m north off its way east before setting off east had
        // its reports north dropped: the leg passed the first of them only
        // at its very end, 17 s late, and the turn onto the east line there
        // cut 21 m inside it and never passed it at all.
        const double way = std::remainder(
            gf_bearing(i == 1 ? pose : lf_position(s[i - 1]), lf_position(s[i + 1])) - direct, fullCircle);
        const double passedM = r.along + r.across * std::tan(way);
        const double passedTick =
            legFrom + (static_cast<double>(s[k].playTick) - static_cast<double>(legFrom)) * passedM / span;
        if (!(std::cos(way) > 0.0) || !(passedTick - s[i].playTick < kCreepPassedLateTicks)) return false;
    }
    if (!left || !right) return false;
    // The way goes on from point k as the straight leg runs: where the
    // reports turn off it there, the last turn of the S is the start of a
    // corner, and dropping the points before it only moved that corner to
    // point k as a larger turn on the spot (94 degrees for the 47 crept
    // into it, 10 s behind).
    if (s.size() > k + 1 && lf_movingLegs(s, k + 1) &&
        !(std::fabs(lf_turnDeg(gf_bearing(lf_position(s[k]), lf_position(s[k + 1])), direct)) <=
          kStandingStartTurnDeg))
        return false;
    ac.motion.legBearing = direct;
    s.erase(s.begin() + 1, s.begin() + static_cast<std::ptrdiff_t>(k));
    return true;
}

// The taxi's next point is a corner of a pivot's size reported at a crawl:
// the aircraft all but stopped there and turned where it stood. A ground
// turn through it, taken at the speed the aircraft arrives with, cut 10 m
// inside and never came near the reports on the way round (a 116 degree
// corner reported at 1.3 kt); the leg runs to the corner instead, where the
// taxi turns on the spot. Not from the corner's own turn-entry point: the
// corner was judged a bend when that point went in, and it measures larger
// now only because the nose has come onto the leg into it. Taken as a pivot
// there, a heavy crept the 12 m from its entry point straight into a corner
// its reports rounded (tracks 3, 62 and 90 degrees), turned 95 degrees on
// the spot and came 10.6 s late to the report after it.
bool lf_pivotsAtNextPoint(const LiveAc& ac, double cornerDeg) {
    const auto& s = ac.stream;
    return ac.phase == AcPhase::taxi && cornerDeg >= kPivotCornerDeg && s.size() >= 3 && lf_movingLegs(s, 2) &&
           s[1].synthetic == 0 && s[1].groundSpeedKt <= kPivotKt && !(s[0].synthetic != 0 && s[0].rollSynthetic == 0);
}

// The largest heading change of a turn from the nose onto the next leg:
// the start deviation and the corner are each held to a heading-mode turn's.
constexpr double kNoseOntoLegMostDeg = 120.0;
// Arriving slower than this (kt, its last step) the aircraft has braked to
// rest on the point to turn there on the spot.
constexpr double kRollingOnKt = 2.0;
// A rolling start turn beyond what a turn on the spot is taken for (30
// degrees) is rolled on into as a turn from the nose: left to a stop, a
// landing roll whose reports rolled through its exit came to rest on the
// exit's first report with the nose 30 degrees off the way on, and turned
// on the spot where the reports never stood.
constexpr double kNoseFarOffLegDeg = kStandingStartTurnDeg;

// A taxi rolling with its nose further off the way to the next point than
// the nose comes round on the way in (a bend ended along its own exit leg,
// a landing roll ended short of its exit): a turn from the nose, ending on
// that point along the middle of its bend, as a smooth path through the
// points does. Left to a straight leg, or to a point put in on the way to
// the corner, that start turn was taken on the spot: the aircraft braked
// 15 m straight on past the point at taxi speed, turned 95 degrees where it
// stood and drove back across its own track (a 90 degree exit crawled 18 s
// behind its reports). Nothing changes when no such turn can be built.
bool lf_turnsFromTheNose(LiveAc& ac, double cornerDeg) {
    const auto& s = ac.stream;
    // The leg may be the last known or end at a hold: the turn is made
    // rolling all the same, and the leg brakes to rest after it.
    if (ac.phase != AcPhase::taxi || ac.category == Rotorcraft || s.size() < 2 || !lf_movingLegs(s, 1) ||
        !(gf_rollingStepM(ac) * 100.0 / kKnotsToMps > kRollingOnKt) || lf_samePlace(lf_pose(ac), lf_position(s[1])))
        return false;
    if (!(std::fabs(lf_turnDeg(gf_bearing(lf_pose(ac), lf_position(s[1])), ac.pose.heading)) > kNoseFarOffLegDeg))
        return false;
    GroundTurnInput in = lf_firstInput(ac);
    in.cornerEnd = 1;
    in.maxHeadingChangeDeg = kNoseOntoLegMostDeg;
    const double into = gf_bearing(lf_pose(ac), lf_position(s[1]));
    const double bend = std::remainder(gf_bearing(lf_position(s[1]), lf_position(s[2])) - into, fullCircle);
    in.exitHeadingGiven = 1;
    GroundTurn turn{};
    bool built = false;
    // Onto the middle of the point's bend, else onto the way on from it:
    // a nose turned so far toward the way on that the middle of the bend
    // lies behind it (a roll whose bend ended in its exit) has no turn onto
    // it, and braked to rest there to turn on the spot.
    for (const double share : {0.5, 1.0}) {
        in.exitHeading = normalizeHeading(into + bend * share);
        turn = GroundTurn{};
        built = buildGroundTurn(turn, in) && lf_usable(turn);
        if (built) break;
    }
    if (!built) return false;
    MotionState& m = ac.motion;
    resetMotionPath(m.path);
    m.path.turn = turn;
    if (m.groundTurnMode == 0) m.groundTurnMode = 1;
    m.turnInPlaceAllowed = 0;
    m.smoothingTurnAngleDeg = cornerDeg;
    return true;
}

}  // namespace

bool insertPointBeforeCorner(LiveAc& ac, double distanceM, bool fromPose) {
    auto& s = ac.stream;
    if (s.size() < 2) return false;
    const StreamPoint& front = s[0];
    const StreamPoint& next = s[1];
    LaLo origin = fromPose ? lf_pose(ac) : lf_position(front);
    // Rolling onto the leg with the nose too far off it to turn on the way,
    // the aircraft brakes past its front point and turns on the spot where it
    // stops: the leg, and the point before its corner, run from there. Laid
    // on the line from the front point, that point lay abeam of where a taxi
    // stopped 9 m past it: it turned 90 degrees on the spot to drive 7 m to
    // it, and 50 more there, 17 s behind.
    const double stepM = gf_rollingStepM(ac);
    if (!fromPose && stepM > 0.0 &&
        std::fabs(lf_turnDeg(gf_bearing(origin, lf_position(next)), ac.pose.heading)) > kStandingStartTurnDeg)
        origin = gf_taxiBrakingStop(ac, gf_taxiBraking(stepM));
    const std::int32_t originTick = fromPose ? tickCount.load() : front.playTick;
    const double dm = lf_metres(origin, lf_position(next));
    if (!std::isfinite(distanceM) || !(distanceM > 0.0) || !(distanceM < dm) ||
        std::int64_t{next.playTick} - originTick < 2)
        return false;
    const double f = std::clamp((dm - distanceM) / dm, 0.0, 1.0);
    StreamPoint p = front;
    const LaLo at = gf_between(origin, lf_position(next), f);
    p.lat = at.lat;
    p.lon = at.lon;
    // The turn is entered on the way, never at rest. A front point at no
    // speed where the aircraft does not stand (the feed repeating a moving
    // report's position at no speed) is no pace it goes: the report after it
    // tells that. Carried on to the entry point, the no speed halved the pace
    // a landing roll's bend was timed at (the mean of its ends): braked to
    // rest on such a repeat, a roll took its exit bend at 5 kt while its
    // reports went at 10, and came 11 s late to the report after it.
    if (fromPose)
        p.groundSpeedKt = std::lerp(front.groundSpeedKt, next.groundSpeedKt, f);
    else if (!(front.groundSpeedKt > 0.0) && front.stationary == 0 && next.groundSpeedKt > 0.0)
        p.groundSpeedKt = next.groundSpeedKt;
    p.playTick = lf_tickBetween(originTick, next.playTick, f);
    p.stationary = 0;
    p.synthetic = 1;
    p.rollSynthetic = fromPose ? 1 : 0;
    s.insert(s.begin() + 1, p);
    return true;
}

bool mergeZigZag(LiveAc& ac, std::size_t k) {
    auto& s = ac.stream;
    const LaLo pose = lf_pose(ac);
    if (k < 2 || s.size() <= k || lf_samePlace(lf_position(s[k]), pose) || !lf_movingLegs(s, k)) return false;
    const double b1 = gf_bearing(pose, lf_position(s[1]));
    const double b2 = gf_bearing(lf_position(s[1]), lf_position(s[2]));
    const double bk = gf_bearing(lf_position(s[k - 1]), lf_position(s[k]));
    const double direct = gf_bearing(pose, lf_position(s[k]));
    const double span = lf_metres(pose, lf_position(s[k]));
    if (!std::isfinite(span) || span > 180.0) return false;
    double along = 0.0;
    for (std::size_t i = 1; i < k; ++i) {
        const RelativePosition r = gf_relativePosition(pose, direct, lf_position(s[i]));
        if (!(r.along > along) || !(std::fabs(r.across) <= 3.0)) return false;
        along = r.along;
    }
    const double t1 = lf_turnDeg(b2, b1);
    const double t2 = lf_turnDeg(bk, b2);
    if (!((t1 > 0.0 && t2 < 0.0) || (t1 < 0.0 && t2 > 0.0))) return false;
    if (!(std::fabs(t1) <= 12.0 && std::fabs(t2) <= 15.0 && std::fabs(lf_turnDeg(direct, b1)) <= 3.0 &&
          std::fabs(lf_turnDeg(bk, direct)) <= 3.0))
        return false;
    ac.motion.legBearing = direct;
    s.erase(s.begin() + 1, s.begin() + static_cast<std::ptrdiff_t>(k));
    return true;
}

namespace {

// A turn round a report the aircraft rolls through passes it no further off
// than this (m): the reports put the aircraft there, and a viewer sees it
// miss them beyond a wingspan or two. Kept short of the 10 m a report counts
// as reached within, as the aircraft drives a little wide of its planned
// path.
constexpr double kCornerReportMostOffM = 9.0;
// A report's own track is taken for the way the aircraft went through it
// when it lies between the legs either side (or this many degrees beyond
// either).
constexpr double kTrackBelievedBeyondDeg = 10.0;
// Below this speed (kt) a report tells no way through it.
constexpr double kTrackMovingKt = 3.0;
// Leaving the report, the nose lies no further than this (degrees) off the
// leg on from it: the turn onto that leg is then one taken rolling along
// it. Further off, ending the turn on the report only moved the corner past
// it: a taxi reported straight up to a right angle ran into it along its
// way in and turned the whole angle after it, late.
constexpr double kOntoNextLegMostDeg = 20.0;

// A report's own track (radians), NaN where it tells no way (too slow).
double lf_believedTrack(const StreamPoint& p) {
    const double track = p.trackDeg / kDegreesPerRadian;
    return std::isfinite(track) && p.groundSpeedKt >= kTrackMovingKt && p.stationary == 0 && p.airborne == 0
               ? normalizeHeading(track)
               : std::numeric_limits<double>::quiet_NaN();
}

// Leaving a report along `heading`, turned off the way in to it (`into`),
// onto a leg (`on`) to a report whose own track is `nextTrack`: the report
// lies mid-bend when the nose there has come round some way already, and
// the leg on runs between that heading and the next report's track, turning
// on the same way, as the chord of the rest of one bend does. Then the nose
// far off that leg is no corner left for after the report but the rest of
// the bend, taken by the turn on from it. Not a report the aircraft only
// reached along its way in (the whole corner then lies after it).
constexpr double kMidBendLeastDeg = 10.0;
bool lf_bendGoesOn(double into, double heading, double on, double nextTrack) {
    if (!std::isfinite(nextTrack)) return false;
    const double done = lf_turnDeg(heading, into);
    const double rest = lf_turnDeg(nextTrack, heading);
    const double chord = lf_turnDeg(on, heading);
    return std::fabs(done) >= kMidBendLeastDeg && (done > 0.0) == (rest > 0.0) && (chord > 0.0) == (rest > 0.0) &&
           std::fabs(chord) < std::fabs(rest) && std::fabs(rest) <= kNoseOntoLegMostDeg;
}

// How close (m) the turn comes to its corner.
double lf_cornerMissM(const GroundTurn& t) {
    constexpr int kSteps = 256;
    double least = std::numeric_limits<double>::infinity();
    for (int k = 0; k <= kSteps; ++k) {
        const HermitePoint p = hermitePointAt(t, static_cast<double>(k) / kSteps);
        least = std::min(least, std::hypot(p.east - t.cornerEast, p.north - t.cornerNorth));
    }
    return least;
}

// Whether the turn rounds a report the aircraft rolls through (neither put
// in by the smoothing nor a stop) and passes it more than a little off.
bool lf_cutsItsCornerReport(const LiveAc& ac, const GroundTurn& turn) {
    const StreamPoint& corner = ac.stream[1];
    return lf_usable(turn) && turn.cornerEnd == 0 && corner.synthetic == 0 && corner.stationary == 0 &&
           corner.airborne == 0 && corner.groundSpeedKt >= kTrackMovingKt &&
           !lf_samePlace(lf_pose(ac), lf_position(corner)) && lf_cornerMissM(turn) > kCornerReportMostOffM;
}

// The headings a turn ending on the corner report may leave it along, the
// likeliest first: the report's own track where it is believable (the
// aircraft turned before the report and rolled through it straight on),
// then the middle of the bend there. A runway exit's turn (`lessRound`)
// then tries headings less far round, in steps from the first toward the
// way in: its nose comes round at the speed the roll has when it reaches
// the report, and passing a mid-bend report exactly on its track asked more
// of it than it turns there (a 90 degree exit's report 40 degrees round 62
// m after the runway, at 13 kt, bent 9 degrees a second for a jet that
// turns 7). Passing the report a little less round, the rest of its bend
// is taken on the way on, where it has slowed.
constexpr double kLessRoundStepDeg = 5.0;
std::vector<double> lf_throughHeadings(const LiveAc& ac, bool lessRound) {
    const auto& s = ac.stream;
    const double into = gf_bearing(lf_pose(ac), lf_position(s[1]));
    const double bend = std::remainder(gf_bearing(lf_position(s[1]), lf_position(s[2])) - into, fullCircle);
    std::vector<double> headings;
    const double track = s[1].trackDeg / kDegreesPerRadian;
    if (std::isfinite(track) && s[1].groundSpeedKt >= kTrackMovingKt) {
        const double off = std::remainder(track - into, fullCircle);
        const double slack = kTrackBelievedBeyondDeg / kDegreesPerRadian;
        if (off >= std::min(0.0, bend) - slack && off <= std::max(0.0, bend) + slack)
            headings.push_back(normalizeHeading(track));
    }
    headings.push_back(normalizeHeading(into + bend / 2.0));
    if (lessRound) {
        const double first = std::remainder(headings.front() - into, fullCircle);
        const double step = std::copysign(kLessRoundStepDeg / kDegreesPerRadian, first);
        for (double off = first - step; std::fabs(off) > 0.0 && (off > 0.0) == (first > 0.0); off -= step)
            headings.push_back(normalizeHeading(into + off));
    }
    return headings;
}

// How far (m) a runway exit's turn strays outside its way to the side away
// from the exit: off the line along its start heading, the runway's centre
// line the roll follows. Judged against the leg to the corner report, a
// turn that only kept along the centre line a little longer than that leg
// (it runs off the runway heading toward a report mid-bend) seemed to swing
// 5.5-7.5 m out, and was dropped: the roll drove the leg straight and then
// turned the rest of its exit at walking pace, or bent round from a point
// put in on it too tightly to pass the report.
double lf_runwayStrayM(const GroundTurn& t) {
    const double alongEast = t.startTangentEast;
    const double alongNorth = t.startTangentNorth;
    const double along = std::hypot(alongEast, alongNorth);
    if (!(along > 0.0)) return t.maxOutwardOffset;
    // The side the turn bends to: where its end lies off that line.
    const double endSide = (t.endEast * alongNorth - t.endNorth * alongEast) / along;
    constexpr int kSteps = 128;
    double most = 0.0;
    for (int k = 0; k <= kSteps; ++k) {
        const HermitePoint p = hermitePointAt(t, static_cast<double>(k) / kSteps);
        const double side = (p.east * alongNorth - p.north * alongEast) / along;
        most = std::max(most, endSide >= 0.0 ? -side : side);
    }
    return most;
}

// Whether the nose follows a runway exit's turn that ends on the next
// report: at each step the bend taken at the speed the roll has there,
// slowing evenly along the turn from its pace now to the report's (never
// below the pace that brings it there on time), turns no faster than the
// aircraft does at that speed. Judged at the fastest speed about the corner
// throughout, a turn whose bend tightens only where the roll has slowed was
// refused: a 90 degree exit's turn onto its mid-bend report at 12 kt, taken
// at the 17 kt the roll had on the runway before it.
bool lf_noseFollowsToTheReport(const LiveAc& ac) {
    const auto& s = ac.stream;
    const GroundTurn& turn = ac.motion.path.turn;
    const double fromKt = lf_largest({ac.pose.trueAirspeed, s[0].groundSpeedKt});
    const double toKt = s[1].groundSpeedKt;
    const double dueS = gf_ticksBetween(tickCount.load(), s[1].playTick) / 100.0;
    const double onTimeKt = dueS > 0.0 ? turn.totalLength / dueS / kKnotsToMps : 0.0;
    if (!std::isfinite(fromKt) || !std::isfinite(toKt)) return false;
    constexpr int kSteps = 128;
    CurvePoint before = sampleGroundTurn(turn, 0.0);
    for (int k = 1; k <= kSteps && before.valid; ++k) {
        const double f = static_cast<double>(k) / kSteps;
        const CurvePoint p = sampleGroundTurn(turn, f);
        if (!p.valid) return false;
        const double metres = lf_metres({before.lat, before.lon}, {p.lat, p.lon});
        const double kt = std::max(std::lerp(fromKt, toKt, f), onTimeKt);
        const double rateDegPerS = gf_groundSpeedFactor(kt) * ac.turnRateRad * kDegreesPerRadian * 100.0;
        if (metres > 0.0 && std::fabs(lf_turnDeg(p.heading, before.heading)) / metres * kt * kKnotsToMps > rateDegPerS)
            return false;
        before = p;
    }
    return before.valid;
}

// A turn through the next point toward the one after it passes the next
// point only on its inside, the more the sharper the corner and the longer
// its legs: through a 61 degree corner between legs of 53 and 77 m it
// passed a taxi's report 13 m off, and the report was never reached. When
// the next point is a report the aircraft rolls through and the turn misses
// it by more than a little, the turn ends on the report instead, leaving it
// along the way the aircraft went there; the leg on is planned from there.
// Not where that turn is tighter than the nose follows in the time the
// report gives, nor where none can be built: the turn round it stays.
// A landing roll's exit turn (`taxi` false) passes its corner report so
// too, and there the report may lie mid-bend: a 90 degree exit's report 34
// degrees round, the bend going on through the next one. Rounded from the
// runway to the bend's end in one turn, the roll passed that report 14 m
// inside and fell 40 s behind it. A taxi keeps to leaving its report near
// the leg on: one that ended its turn on a mid-bend report ahead of time
// braked to rest there and swung the rest of the bend on the spot.
void lf_passTheCornerReport(LiveAc& ac, bool taxi) {
    auto& s = ac.stream;
    GroundTurn& turn = ac.motion.path.turn;
    if (!lf_cutsItsCornerReport(ac, turn)) return;
    GroundTurnInput in = lf_firstInput(ac);
    // A turn that lines up on the runway heading where it stops keeps its end.
    if (in.exitHeadingGiven != 0) return;
    const GroundTurn round = turn;
    in.cornerEnd = 1;
    in.exitHeadingGiven = 1;
    const double on = gf_bearing(lf_position(s[1]), lf_position(s[2]));
    const double nextTrack = lf_believedTrack(s[2]);
    const double into = gf_bearing(lf_pose(ac), lf_position(s[1]));
    for (const double heading : lf_throughHeadings(ac, !taxi)) {
        if (!(std::fabs(lf_turnDeg(on, heading)) < kOntoNextLegMostDeg) &&
            (taxi || !lf_bendGoesOn(into, heading, on, nextTrack)))
            continue;
        in.exitHeading = heading;
        GroundTurn through{};
        if (!buildGroundTurn(through, in) || !lf_usable(through)) continue;
        turn = through;
        if (taxi ? !gf_bendTooTightToFollow(ac, lf_bendTicks(ac, 1)) : lf_noseFollowsToTheReport(ac)) return;
    }
    turn = round;
}

// Drawing the turn's tangents out keeps it on its legs nearer the corner
// and bends it more tightly there; at four times its legs a turn between
// equal legs runs through the corner itself. Tried in these steps.
constexpr double kLongestHugTangentScale = 4.0;
constexpr double kHugTangentStep = 0.25;

// Whether the nose follows the turn at the speed it is taken: a taxi's as
// its legs are judged; on a runway's exit, where the nose is the turn's own
// heading, its sharpest bend taken at the fastest speed about the corner
// turns no faster than the aircraft does at that speed.
bool lf_noseFollowsTheTurn(const LiveAc& ac, bool taxi) {
    if (taxi) return !gf_bendTooTightToFollow(ac, lf_bendTicks(ac, 2));
    const double fastestKt = lf_fastest(ac);
    const double rateDegPerS =
        gf_groundSpeedFactor(fastestKt) * ac.turnRateRad * kDegreesPerRadian * 100.0;
    return std::isfinite(fastestKt) && rateDegPerS > 0.0 &&
           lf_sharpestDegPerM(ac.motion.path.turn) * fastestKt * kKnotsToMps <= rateDegPerS;
}

// A turn through a corner report that passes it more than a little inside
// (and does not end on it) hugs it instead: its tangents are drawn out, the
// least that brings it within reach of the report, so that it runs along its
// legs nearer the corner and bends more tightly there. A landing roll's
// exit turn round a 66 degree corner mid-bend passed its report 13 m off and
// never reached it, and ending on the report left the nose 34 degrees off
// the leg on. Not where no such turn can be built, where it would swing out
// past its legs further than a runway's turn may, nor where it bends faster
// than the nose follows: the turn round it then stays.
void lf_hugTheCornerReport(LiveAc& ac, bool taxi) {
    GroundTurn& turn = ac.motion.path.turn;
    if (turn.headingMode != 0 || !lf_cutsItsCornerReport(ac, turn)) return;
    const GroundTurn round = turn;
    const double outwardMost = std::max(round.maxOutwardOffset, kLargestRunwayOffsetM);
    GroundTurnInput in = lf_firstInput(ac);
    // A turn that lines up on the runway heading where it stops keeps its end.
    if (in.exitHeadingGiven != 0) return;
    const GroundTurnOptions opt = groundTurnOptions(in);
    for (double scale = std::max(opt.tangentScale, opt.endTangentScale) + kHugTangentStep;
         scale <= kLongestHugTangentScale + 1e-9; scale += kHugTangentStep) {
        in.tangentScale = scale;
        in.endTangentScale = scale;
        GroundTurn hug{};
        if (!buildGroundTurn(hug, in) || !lf_usable(hug) || hug.headingMode != 0 ||
            hug.maxOutwardOffset > outwardMost || !(lf_cornerMissM(hug) <= kCornerReportMostOffM))
            continue;
        turn = hug;
        if (lf_noseFollowsTheTurn(ac, taxi)) return;
        break;  // drawn out further it only bends more tightly
    }
    turn = round;
}

}  // namespace

bool makeTurnGnd(LiveAc& ac, double cornerDeg) {
    auto& s = ac.stream;
    if (s.size() < 3) return false;
    if (s[2].stationary != 0) {
        gf_logError(fmt::format("{}: unexpected same at stream[2], {}", "makeTurnGnd", ac.callsign));
        return false;
    }
    MotionState& m = ac.motion;
    GroundTurn& turn = m.path.turn;
    const bool cornerKeepsTime = lf_cornerReachedFarFaster(ac);
    if (s[2].groundSpeedKt <= 0.1) s[2].groundSpeedKt = (s[0].groundSpeedKt + s[1].groundSpeedKt) / 2.0;
    resetMotionPath(m.path);

    const ExitGeometry g = lf_exitGeometry(ac);
    const double fastest = lf_fastest(ac);
    const bool taxi = ac.phase == AcPhase::taxi;
    const bool takeoffRoll = ac.phase == AcPhase::takeoff_roll;
    const bool landingExit = ac.phase == AcPhase::landing_roll && g.exitTurn && s[0].groundSpeedKt <= kExitTurnKt;
    const bool lineUpTurn =
        takeoffRoll && cornerDeg >= 10.0 && fastest <= 30.0 && s[1].airborne == 0 && s[2].airborne == 0;
    const bool buildTurn = ac.category != Rotorcraft && (taxi || landingExit || lineUpTurn);

    const double leg1 = lf_metres(lf_pose(ac), lf_position(s[1]));
    const double leg2 = lf_metres(lf_position(s[1]), lf_position(s[2]));
    double c = 0.0;  // the first attempt's corner angle, start deviation and heading mode
    double startDev = 0.0;
    bool headingMode = false;
    bool shortLegsFit = false;
    std::size_t k = 2;
    if (buildTurn) {
        const GroundTurnInput first = lf_firstInput(ac);
        buildGroundTurn(turn, first);
        if (taxi && first.exitHeadingGiven == 0 && lf_usable(turn)) lf_leaveAlongTheBend(ac, first, turn);
        c = turn.turnAngleDeg;
        startDev = turn.startDeviationDeg;
        headingMode = turn.headingMode != 0;

        // A far exit past a straight stretch when the aircraft is turned well
        // away from the next leg.
        if (taxi && !lf_usable(turn) && headingMode && startDev >= 60.0 && s.size() >= 4) {
            if (const std::size_t far = lf_farExitIndex(ac, startDev); far != 0) {
                GroundTurnInput in = first;
                const LaLo corner = gf_between(lf_pose(ac), lf_position(s[far]), 0.5);
                in.cornerLat = corner.lat;
                in.cornerLon = corner.lon;
                in.exitLat = s[far].lat;
                in.exitLon = s[far].lon;
                in.exitHeading = 0.0;
                in.exitHeadingGiven = 0;
                in.maxHeadingChangeDeg = 135.0;
                in.startToleranceDeg = 135.0;
                in.cornerDistanceFactor = 1.0;
                in.maxCurvatureDegPerM = 10.0;
                in.tangentScale = 1.0;
                if (buildGroundTurn(turn, in)) k = far;
            }
        }

        // Two short legs: a tight turn that keeps close to its chord.
        const double leastDev = takeoffRoll ? 20.0 : first.exitHeadingGiven ? 10.0 : 60.0;
        if ((taxi || takeoffRoll) && (!lf_usable(turn) || takeoffRoll) && headingMode &&
            c <= (taxi ? 3.0 : 8.0) && startDev >= leastDev && startDev <= 105.0 && leg1 >= 7.0 && leg1 <= 35.0 &&
            leg2 >= 7.0 && leg2 <= 35.0 && leg1 + leg2 <= 60.0 && fastest <= (taxi ? 25.0 : 30.0)) {
            if (lf_usable(turn)) {
                shortLegsFit = turn.maxChordDistance <= 5.0;
            } else {
                GroundTurnInput in = first;
                in.minLegLength = 7.0;
                in.minLegSum = 14.0;
                in.maxHeadingChangeDeg = 105.0;
                in.startToleranceDeg = 105.0;
                in.cornerDistanceFactor = 0.5;
                in.maxCurvatureDegPerM = 50.0;
                in.tangentScale = startDev > 90.0 ? 2.5 : 1.25;
                buildGroundTurn(turn, in);
                if (lf_usable(turn)) {
                    shortLegsFit = turn.maxChordDistance <= 5.0;
                    if (!shortLegsFit) resetMotionPath(m.path);
                }
            }
        }

        // A sharp corner before a long leg, another sharp corner right
        // after it, or a corner the reports come into far faster than they
        // leave it: the turn ends at the corner, and the next leg is planned
        // from there.
        if (taxi && lf_usable(turn) && !headingMode) {
            bool keepCorner = (c >= 75.0 && leg2 > 100.0 && leg2 >= 2.0 * leg1) || cornerKeepsTime;
            const std::size_t n = lf_goesOnTo(ac, 2);
            if (!keepCorner && s.size() > n && s[n].stationary == 0 && !lf_samePlace(s[1], s[2]) &&
                !lf_samePlace(s[2], s[n]) && !lf_samePlace(s[1], s[n])) {
                const double next = lf_turnDeg(gf_bearing(lf_position(s[2]), lf_position(s[n])),
                                               gf_bearing(lf_position(s[1]), lf_position(s[2])));
                keepCorner = std::fabs(next) >= 45.0;
            }
            if (keepCorner) {
                GroundTurnInput in = first;
                in.cornerEnd = 1;
                in.exitHeadingGiven = 0;
                buildGroundTurn(turn, in);
            }
        }
        // A turn from a turn-entry point, put where the turn through the
        // corner begins at the speed the aircraft goes, that ends on a report
        // less than half as far past the corner bends all of its angle in its
        // last metres: tighter than the aircraft turns, it was taken at
        // walking pace there (a 78 degree corner from 42 m before it to 9 m
        // past it, 5 s behind the reports). Where the reports go on straight
        // along the exit leg, the turn ends on the one about as far past the
        // corner as it begins before it, bending evenly, and the reports in
        // between leave the stream as a far exit's do.
        // The other way round: a turn from just before its corner onto an
        // exit leg more than twice as long draws its end out along that leg
        // and bends nearly all of its angle in its first metres (planned
        // again from the pose 24 m before a 78 degree corner, the next
        // report 171 m on: 9 degrees a metre, taken at walking pace while
        // the reports rounded the corner at 8 kt, 5 s behind them). It ends
        // instead on a point put on the exit leg about as far past the
        // corner as it begins before it, bending evenly, and the aircraft
        // runs straight on from there. Not one that lines up on a runway
        // heading where it stops, nor a turn begun closer to its corner than
        // any turn's entry (its bend is the start turn off a report just
        // passed) that the nose follows: one it cannot is drawn in too (a
        // tow 7 m before a 60 degree corner, the next report 79 m on after a
        // pause, had its turn swing 31 degrees in its first 1.3 m, and slid
        // through it with its nose 39 degrees off its travel).
        const bool fromEntryPoint = s[0].synthetic != 0 && s[0].rollSynthetic == 0;
        const bool shortExit = fromEntryPoint && 2.0 * leg2 < leg1;
        const bool longExit = leg2 > 2.0 * leg1 && first.exitHeadingGiven == 0;
        const double sharpest = taxi && (shortExit || longExit) && lf_usable(turn) && !headingMode &&
                                        turn.cornerEnd == 0 && k == 2
                                    ? lf_sharpestDegPerM(turn)
                                    : 0.0;
        const bool tooSharp = sharpest > groundTurnOptions(first).maxCurvatureDegPerM;
        if (tooSharp && shortExit) {
            if (const std::size_t further = lf_straightExitIndex(ac, leg1); further != 0) {
                GroundTurnInput in = first;
                in.exitLat = s[further].lat;
                in.exitLon = s[further].lon;
                GroundTurn wider{};
                const GroundTurn ending = turn;
                if (buildGroundTurn(wider, in) && lf_usable(wider) && wider.headingMode == 0 &&
                    lf_sharpestDegPerM(wider) < sharpest) {
                    turn = wider;
                    k = further;
                    // Not one the nose cannot follow either: the turn ending
                    // on the report past the corner stays.
                    if (gf_bendTooTightToFollow(ac, lf_bendTicks(ac, k))) {
                        turn = ending;
                        k = 2;
                    }
                }
            }
        } else if (tooSharp && longExit &&
                   (leg1 >= kLeastTurnEntryM || gf_bendTooTightToFollow(ac, lf_bendTicks(ac, 2)))) {
            GroundTurnInput in = first;
            const LaLo past = gf_between(lf_position(s[1]), lf_position(s[2]), leg1 / leg2);
            in.exitLat = past.lat;
            in.exitLon = past.lon;
            GroundTurn even{};
            if (buildGroundTurn(even, in) && lf_usable(even) && even.headingMode == 0 &&
                lf_sharpestDegPerM(even) < sharpest && lf_insertPointPastCorner(ac, leg1)) {
                const GroundTurn drawnOut = turn;
                turn = even;
                // Not one the nose cannot follow either: the point leaves
                // again, and the turn onto the long leg stays.
                if (gf_bendTooTightToFollow(ac, lf_bendTicks(ac, 2))) {
                    s.erase(s.begin() + 2);
                    turn = drawnOut;
                }
            }
        }
        if ((taxi || landingExit) && k == 2) lf_passTheCornerReport(ac, taxi);
        if ((taxi || landingExit) && k == 2) lf_hugTheCornerReport(ac, taxi);
    }

    // The kind of turn the ground step plays.
    const bool usable = lf_usable(turn);
    if (landingExit) {
        const double lookAhead = lf_lookAheadM(ac);
        // A turn from further off than the roll looks ahead is taken where
        // the nose follows it at the speeds about the corner.
        const bool legsNear = leg1 <= lookAhead && leg2 <= lookAhead;
        if (usable && c >= 15.0 && !headingMode && startDev <= 20.0 &&
            (legsNear || lf_noseFollowsTheTurn(ac, false)) && lf_runwayStrayM(turn) <= kLargestRunwayOffsetM)
            m.groundTurnMode = 2;
        else if (!usable && turn.status == GroundTurnStatus::None)
            m.groundTurnMode = 2;
        else
            resetMotionPath(m.path);
    } else if (lineUpTurn) {
        if (usable) {
            if ((shortLegsFit || (!headingMode && startDev <= 20.0)) && turn.maxOutwardOffset <= kLargestRunwayOffsetM)
                m.groundTurnMode = 3;
            else
                resetMotionPath(m.path);
        } else if (turn.status == GroundTurnStatus::None) {
            m.groundTurnMode = 3;
        }
    } else if (usable && m.groundTurnMode == 0) {
        m.groundTurnMode = 1;
    }

    // A corner the turn builder refused for its tangents may be taken by a
    // turn on the spot at the start of the leg.
    m.turnInPlaceAllowed = taxi && !lf_usable(turn) && turn.status == GroundTurnStatus::InvalidTangent &&
                                   headingMode && cornerDeg >= 90.0 && c >= 30.0 && c <= 70.0 && startDev >= 35.0 &&
                                   startDev < 60.0
                               ? 1
                               : 0;

    if (!lf_usable(turn)) {
        if (taxi && headingMode) return false;
        if (takeoffRoll || ac.phase == AcPhase::landing_roll) return false;
        if (cornerDeg > 120.0) return false;
        CurvedLegInput in;
        in.start = {ac.pose.latitude, ac.pose.longitude, 0.0};
        in.control = {s[1].lat, s[1].lon, 0.0};
        in.end = {s[2].lat, s[2].lon, 1.0};
        buildCurvedLeg(m.path.curve, in);
        if (std::isnan(m.path.curve.startTime) || std::isnan(m.path.curve.endTime)) return false;
        k = 2;
    }
    // A far exit the nose cannot follow is not driven: the corner and the
    // points it would pass by stay in the stream, the corner to be turned on
    // the spot.
    if (taxi && k > 2 && gf_bendTooTightToFollow(ac, lf_bendTicks(ac, k))) {
        resetMotionPath(m.path);
        return false;
    }
    if (lf_usable(turn) && turn.cornerEnd != 0) return true;
    // The points the turn passes by leave the stream; the speeds they
    // reported stay for the leg's timing (its bend schedule).
    for (std::size_t i = 1; i < k; ++i)
        if (std::isfinite(s[i].groundSpeedKt))
            m.path.passedReportedKt = std::max(m.path.passedReportedKt, s[i].groundSpeedKt);
    s.erase(s.begin() + 1, s.begin() + static_cast<std::ptrdiff_t>(k));
    return true;
}

bool makeTurnGndChecked(LiveAc& ac, double cornerDeg) {
    auto& s = ac.stream;
    if (s.size() < 3 || lf_samePlace(s[0], s[2]) || lf_samePlace(s[1], s[2])) return false;
    // The turn is built for the speed it is taken at, a point at its end
    // reported at no speed too. Where the aircraft then holds, or the stream
    // ends there, the point keeps its no speed, so that the leg into it
    // brakes to rest instead of arriving at the turn's speed and stopping
    // dead (a tow into its gate).
    const StreamPoint end = s[2];
    const bool stopsThere = end.groundSpeedKt <= 0.1 && (s.size() == 3 || s[3].stationary != 0);
    const bool built = makeTurnGnd(ac, cornerDeg);
    if (stopsThere)
        for (std::size_t i = 1; i < std::min<std::size_t>(s.size(), 3); ++i)
            if (s[i].stationary == 0 && s[i].playTick == end.playTick && lf_samePlace(s[i], end))
                s[i].groundSpeedKt = end.groundSpeedKt;
    if (!built) return false;
    ac.motion.smoothingTurnAngleDeg = cornerDeg;
    return true;
}

// How much longer than the straight leg the way round from the nose is
// taken to be, when judging whether the time left lets it be rolled.
constexpr double kRoundTheNoseShare = 1.25;
// The shortest leg (m) turned onto from the nose rolling: on a shorter one
// the way round leaves no straight to line up on before the point.
constexpr double kRoundTheNoseLeastM = 20.0;

bool gf_turnFromTheNoseRolling(LiveAc& ac) { return gf_turnFromTheNoseRolling(ac, tickCount.load()); }

bool gf_turnFromTheNoseRolling(LiveAc& ac, std::int32_t now) {
    auto& s = ac.stream;
    // The leg may be the last known or end at a hold: the turn is made
    // rolling all the same, and the leg brakes to rest after it.
    if (ac.phase != AcPhase::taxi || ac.category == Rotorcraft || s.size() < 2 || !lf_movingLegs(s, 1) ||
        !(s[1].groundSpeedKt > kRollingOnKt) || !(gf_rollingStepM(ac) * 100.0 / kKnotsToMps > kRollingOnKt))
        return false;
    const LaLo pose = lf_pose(ac);
    const LaLo next = lf_position(s[1]);
    if (lf_samePlace(pose, next)) return false;
    const double legM = lf_metres(pose, next);
    const double offDeg = std::fabs(lf_turnDeg(gf_bearing(pose, next), ac.pose.heading));
    if (!(offDeg > kNoseFarOffLegDeg) || !(offDeg <= kNoseOntoLegMostDeg) || !(legM >= kRoundTheNoseLeastM))
        return false;
    if (std::int64_t{s[1].playTick} - now < 2) return false;
    // Only where the reports leave the leg the time it takes as a late
    // aircraft catches up from their speed, the way round a little longer
    // than straight: later still, the leg would outrun that.
    const double reportedKt = std::max(s[0].groundSpeedKt, s[1].groundSpeedKt);
    const double mostMps = gf_groundCatchUpMostKt(reportedKt) * kKnotsToMps;
    const double dueS = static_cast<double>(std::int64_t{s[1].playTick} - ac.motion.streamLagTicks - now) / 100.0;
    if (!(reportedKt > 0.0) || !(dueS * mostMps >= kRoundTheNoseShare * legM)) return false;
    // The turn rounds a corner put on the way the nose points, a share of
    // the leg on: rolling on, the aircraft comes round onto the line from
    // there to the point, as a pilot steers toward it.
    for (const double share : {1.0 / 3.0, 1.0 / 4.0, 1.0 / 6.0}) {
        const LaLo corner = gf_destinationPoint(pose, {ac.pose.heading, legM * share * feetPerMetre});
        const double onM = lf_metres(corner, next);
        if (!(onM > 0.0)) continue;
        StreamPoint p = s[1];
        p.lat = corner.lat;
        p.lon = corner.lon;
        p.groundSpeedKt = std::lerp(s[0].groundSpeedKt, s[1].groundSpeedKt, share);
        p.playTick = lf_tickBetween(now, s[1].playTick, legM * share / (legM * share + onM));
        p.stationary = 0;
        p.synthetic = 1;
        p.rollSynthetic = 1;
        if (p.playTick <= now) continue;
        s.insert(s.begin() + 1, p);
        const double cornerDeg = std::fabs(lf_turnDeg(gf_bearing(corner, next), ac.pose.heading));
        if (makeTurnGndChecked(ac, cornerDeg) && lf_usable(ac.motion.path.turn)) return true;
        resetMotionPath(ac.motion.path);
        const auto at = std::find_if(s.begin() + 1, s.end(), [&](const StreamPoint& q) {
            return q.synthetic != 0 && q.playTick == p.playTick && lf_samePlace(q, p);
        });
        if (at != s.end()) s.erase(at);
    }
    return false;
}

bool gf_turnsOnTheSpotFirst(const LiveAc& ac) {
    const auto& s = ac.stream;
    return ac.phase == AcPhase::taxi && s.size() >= 2 && !(gf_rollingStepM(ac) > 0.0) &&
           !lf_samePlace(lf_pose(ac), lf_position(s[1])) &&
           std::fabs(lf_turnDeg(gf_bearing(lf_pose(ac), lf_position(s[1])), ac.pose.heading)) > kStandingStartTurnDeg;
}

namespace {

// A report at a tow's or a creep's pace turned only a little off the way to
// the next point, where the aircraft then comes to rest (the stream ends or
// holds there). A tow coming off the middle of its lane's bend onto its stand
// turned 22 degrees there, and the one curve eased to rest onto the stand
// passed that report 10 s late. Up to the start turn a taxi takes rolling
// (past it, it turns on the spot): one turned 28 degrees onto its stand, the
// curve through it played evenly toward the stand's later time, passed that
// report 6 s late.
constexpr double kRestBendMostDeg = 30.0;
constexpr double kRestBendSlowKt = 6.0;

// The report before the point the aircraft comes to rest at (a tow on its
// stand, a crawl into a stop) lies nearly straight on its way: no bend needs
// building through it, the nose turns the few degrees on the short way on.
// Smoothed into one curve to the resting point, the report's own time was
// lost: the curve, eased to rest over its whole length toward the resting
// point's later time, passed the report seconds after the reports had the
// aircraft there (they keep their pace up to it and creep only after it).
bool lf_keepsReportBeforeRest(const LiveAc& ac, double cornerDeg) {
    const auto& s = ac.stream;
    if (ac.phase != AcPhase::taxi || s.size() < 3 || !(cornerDeg <= kRestBendMostDeg)) return false;
    const StreamPoint& report = s[1];
    const StreamPoint& rest = s[2];
    const bool restsThere = rest.groundSpeedKt <= 0.1 && (s.size() == 3 || s[3].stationary != 0);
    return restsThere && report.stationary == 0 && report.synthetic == 0 && report.groundSpeedKt > 0.0 &&
           report.groundSpeedKt <= kRestBendSlowKt;
}

}  // namespace

bool smoothTaxiPath(LiveAc& ac) {
    auto& s = ac.stream;
    // A corner smoothed once is not smoothed again: no second point goes in
    // before a corner that has its turn-entry point.
    if (s.size() < 3 || s[1].synthetic != 0) return false;
    if (lf_mergeCreepWiggle(ac, 3) || lf_mergeCreepWiggle(ac, 2)) return true;
    // Standing with the nose far off the first leg (setting off after a
    // pushback or a hold): it turns on the spot first. A ground turn planned
    // from the nose through the next point would swing out the other way
    // and crawl round the leg (35 s for 12 m after a pushback): the leg is
    // then left straight, or the turn into the corner begins further on.
    const bool turnsOnTheSpot = gf_turnsOnTheSpotFirst(ac);
    const auto groundTurn = [&](double cornerDeg) { return !turnsOnTheSpot && makeTurnGndChecked(ac, cornerDeg); };
    const double cornerDeg =
        std::fabs(lf_turnDeg(gf_bearing(lf_position(s[1]), lf_position(s[2])), ac.pose.heading));
    if (!(cornerDeg > kLeastCornerDeg) || lf_keepsReportBeforeRest(ac, cornerDeg) ||
        lf_pivotsAtNextPoint(ac, cornerDeg))
        return false;
    // At the turn-entry point the turn through the corner begins: without it
    // the corner would be taken as a start turn on the leg after it, the nose
    // turning while the aircraft already moves along that leg. A landing roll
    // slowed to taxi speed short of its exit gets such a point too; its turn
    // off the runway begins there as well, or the roll ran straight on to the
    // corner and the taxi after it met the exit leg far off the nose, braked
    // past the corner and turned on the spot.
    if (s[0].synthetic != 0 && s[0].rollSynthetic == 0)
        return (ac.phase == AcPhase::taxi || ac.phase == AcPhase::landing_roll) && groundTurn(cornerDeg);

    if (ac.phase == AcPhase::taxi && cornerDeg <= 12.0 && (mergeZigZag(ac, 3) || mergeZigZag(ac, 4))) {
        // The merged leg ends where the reports may turn: that corner is
        // smoothed as any other. Its own report, now the next point, was
        // the one it would have been smoothed from, and left to the straight
        // leg the aircraft ran into it at taxi speed, braked past it and
        // turned on the spot.
        smoothTaxiPath(ac);
        return true;
    }
    if (ac.phase == AcPhase::takeoff_roll &&
        (cornerDeg < 10.0 || ac.category == Rotorcraft || lf_fastest(ac) > 30.0 || s[1].airborne != 0 ||
         s[2].airborne != 0))
        return false;

    const double rate = lf_turnRateDegPerS(ac);
    const bool landingRoll = ac.phase == AcPhase::landing_roll;
    const double legM =
        landingRoll ? lf_metres(lf_pose(ac), lf_position(s[1])) : lf_metres(lf_position(s[0]), lf_position(s[1]));
    const ExitGeometry g = lf_exitGeometry(ac);
    const double lookAhead = lf_lookAheadM(ac);
    // A speed no roll goes (a bad report: 1e6 kt) is none. Taken as it
    // came, it made a taxi fast enough to bend straight through its next
    // report: an arrival created on such a report smoothed a 156 m leg and
    // the 57 m after it into one bend at one pace, and passed the report
    // between them 5 s late, its reports having slowed from 29 kt to 12
    // there.
    const double s0 = gf_believedGroundKt(s[0].groundSpeedKt);

    if (landingRoll && g.exitTurn) {
        // Still further off the corner than the roll looks ahead, the turn
        // off is built from here where it can be: one the nose follows at
        // the speeds about the corner, built as any exit turn is (round the
        // corner report, or ending on it where rounding it misses it). A
        // 45 degree exit reported at 29 kt, its corner report 148 m on and
        // already 40 degrees round, had its turn begin at a point put in on
        // the straight to that report; from there the bend to the report
        // was tighter than a jet turns at 29 kt, and the turn round it
        // passed it 12 m off (11 s behind). From the runway the turn
        // through the corner passes it 8 m off, as gently as the nose goes.
        if (s[0].rollSynthetic == 0 && legM > lookAhead && groundTurn(cornerDeg)) return true;
        // Early exit point: the turn off the runway begins before the corner,
        // where the speed has fallen to the exit-turn speed. Not again from
        // such a point (it lies no further from its corner than a turn's
        // entry does); but from a point put in where the roll was when its
        // leg was planned again (the exit's report came), when the exit leg
        // is long enough to turn onto: left without one, the roll braked to
        // rest on its 45 degree exit's corner, turned on the spot there and
        // fell 13 s behind.
        const double s1 = s[1].groundSpeedKt;
        const bool replanned = s[0].rollSynthetic != 0 && legM > kGreatestTurnEntryM &&
                               lf_metres(lf_position(s[1]), lf_position(s[2])) >= kLeastTurnEntryM;
        if ((s[0].rollSynthetic == 0 || replanned) && legM > lookAhead && rate > 0.0 && std::isfinite(s0) &&
            std::isfinite(s1) && s1 <= kExitTurnKt) {
            double d = lf_turnEntryM(s0, cornerDeg, rate);
            if (s0 > kExitTurnKt && s0 > s1) d = std::min(d, (kExitTurnKt - s1) * legM / (s0 - s1));
            if (d >= kLeastTurnEntryM && insertPointBeforeCorner(ac, d, true)) return true;
        }
        // Late exit point: the corner is close, the exit leg long. The turn
        // off the runway through the corner to that point is built now. Left
        // to a later leg it never was (at the corner the next point is the
        // one put in here, which is not smoothed again): the roll ran
        // straight to the corner, braked there and turned off on the spot.
        if (s[2].rollSynthetic == 0 && lookAhead >= legM &&
            lf_insertExitPointAfterCorner(ac, cornerDeg, rate, lookAhead)) {
            groundTurn(cornerDeg);
            return true;
        }
    }

    if (ac.phase == AcPhase::takeoff_roll || s0 > kFastTaxiKt) return groundTurn(cornerDeg);
    if (!(rate > 0.0)) return false;
    if (legM < (s0 < 10.0 ? 5.0 : 12.0)) return groundTurn(cornerDeg) || lf_turnsFromTheNose(ac, cornerDeg);
    const double d = lf_turnEntryM(s0, cornerDeg, rate);
    if (d >= 0.75 * legM || (cornerDeg <= 45.0 && legM < 50.0))
        return groundTurn(cornerDeg) || lf_turnsFromTheNose(ac, cornerDeg);
    return lf_turnsFromTheNose(ac, cornerDeg) || insertPointBeforeCorner(ac, d, false);
}
