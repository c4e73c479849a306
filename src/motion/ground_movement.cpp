#include "motion/ground_movement.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <exception>
#include <limits>
#include <vector>

#include <fmt/format.h>

#include "airports/loaded_airport.h"
#include "airports/stand_options.h"
#include "engine/controls.h"
#include "engine/engine_state.h"
#include "engine/geometry.h"
#include "engine/reports.h"
#include "engine/stands.h"
#include "foundation/geodesy.h"
#include "foundation/log.h"
#include "motion/curves.h"
#include "motion/flight_phases.h"
#include "motion/ground_roll.h"
#include "motion/motion_math.h"
#include "motion/next_position.h"
#include "motion/pose_path.h"
#include "motion/pushback.h"
#include "motion/runway_lineup.h"
#include "motion/runways.h"
#include "motion/stand_arrival.h"
#include "motion/start_parking.h"
#include "motion/stream_checks.h"
#include "motion/taxi_smoothing.h"
#include "motion/tick_math.h"
#include "simlink/sim_link.h"

namespace {

constexpr double kNmPerMetre = 0.0005399568034557236;
// A parked aircraft's next point may come this much earlier or later.
constexpr std::int32_t kParkedRetimeLimit = 2700;
constexpr std::int32_t kWideRetimeLimit = 2700;
constexpr std::int32_t kTakeoffDelayLimit = 4500;
constexpr double kSlowStreamKt = 6.0;
constexpr double kComingToRestKt = 0.5;
// The last leg's turn: above 15 degrees a leg at least 45 m long (10 m from
// 90 degrees on) is split, so that the turn is not made on the spot.
constexpr double kLastLegTurnDeg = 15.0;
constexpr double kLastLegLongestNm = 0.02429805615550756;  // 45 m
constexpr double kLastLegRangeNm = 0.018898488120950324;   // 35 m
constexpr double kStartTurnDeg = 3.0;
// A straight leg starts with the nose at most this far off it: the aircraft
// moves along the leg from its first tick while the nose turns, so a larger
// start turn would be taken sliding sideways. It is turned on the spot first.
constexpr double kTurnInPlaceDeg = 30.0;
// How many points after the one a leg sets off from may carry the pace the
// reports moved at across a pause: the report and the points put in before it.
constexpr std::size_t kPacedAheadPoints = 3;
// A turn in place ends within this of the leg's bearing.
constexpr double kTurnInPlaceDoneDeg = 5.0;
// A late turn in place may end this far off the leg, the rest turned rolling
// (well within what a straight leg may start with).
constexpr double kRollingTurnDoneDeg = 20.0;
// The least leg, in the metres it speeds up from rest while turning the rest.
constexpr double kRollingTurnLegShare = 10.0;
// A taxi bend is timed so that the nose keeps within this of the path.
constexpr double kMostBendLagDeg = 8.0;
constexpr std::int32_t kBendTimingStepTicks = 10;
// A bend braked to rest that no delay lets the nose follow is given no more
// time than keeps the nose within this of the best the widest delay gives.
constexpr double kBendLagOverBestDeg = 5.0;
constexpr int kPathScanSteps = 256;
// Halvings of the search for the speed a bend's straight stretches go at to
// take the leg in its time.
constexpr int kBendCapSearchSteps = 24;
constexpr double kLastCurveProgress = 0.999999;
constexpr double kBacktrackDeg = 150.0;
constexpr double kBacktrackKt = 30.0;
// How many points after a leg tell the speed a leg without one may take.
constexpr std::size_t kReportedAheadPoints = 2;
// A pose that moved less in its last tick stood still (0.2 kt).
constexpr double kRestStepM = 0.001;
// Moving between points 2 kt and faster counts as moving.
constexpr double kMovingKt = 2.0;
// A report slower than this has the aircraft standing.
constexpr double kStandingKt = 1.0;
// The largest turn in place a taxi creeps round rather than turns where it
// stands (degrees).
constexpr double kCreepMostTurnDeg = 120.0;
// Positions that move faster than this many times the speed reported at
// their end, and this much more (kt), outrun what the aircraft went.
constexpr double kOutrunShare = 2.0;
constexpr double kOutrunSlackKt = 20.0;
// A point reported no faster than this (kt) before a hold or the stream's
// end, slowed into from more than twice it, is where the aircraft comes to
// rest: played at the leg's mean speed it arrived at several times the
// speed reported there and ran on past it.
constexpr double kSlowArrivalKt = 5.0;
// The hardest braking before a turn in place, in metres a tick per tick
// (5 m/s^2).
constexpr double kHardestTaxiBrakingPerTick = 5.0e-4;
// A taxi bend whose nose would still fall this far behind the path taken as
// slowly as the stream allows slides the aircraft sideways through it.
constexpr double kMostBendSlideDeg = 25.0;
// A leg's nose may arrive short of the leg's bearing (a start turn spread
// along a short leg): a corner off the leg by less than this more than a
// turn on the spot needs may be turned on the way, and is not stopped for.
constexpr double kCornerStopMarginDeg = 10.0;
// A bend on time that ends on a corner too sharp to turn on the way rolls
// on through it when braking straight on runs it no further past the point
// than this (m); faster, it stops on the corner.
constexpr double kLongestRunPastCornerM = 4.0;
constexpr double kMostRunPastShareOfNextLeg = 1.0 / 3.0;
// The least distance (m) left to a corner for a leg to be planned again
// when a report after it comes: nearer, no turn fits before it.
constexpr double kLeastReplanM = 12.0;
// How far past a report a report at rest may lie and still tell where the
// aircraft came to rest: the scatter of a position at rest.
constexpr double kRestJustAfterM = 1.0;
// A leg from rest rolling at this share of the even pace left to its end
// or more has sped up.
constexpr double kSpedUpShare = 0.97;
// A bend whose rest lies within this (m) of the line on to its end, sampled
// at this many steps, with the nose within this (degrees) of that line, has
// been turned.
constexpr double kBendTurnedOffM = 1.0;
constexpr double kBendTurnedNoseDeg = 10.0;
constexpr int kBendTurnedSteps = 16;
// A bend's corner this near (m) the straight line from its start to its end
// is a point put in on the way, not a corner the reports turn at.
constexpr double kCornerOnChordM = 0.5;
// A bend's corner this near (m) its start is where its leg set off from: the
// report the aircraft rolled into as the next one came (the last before a
// pause), the bend turning there at once onto the way to its end.
constexpr double kCornerAtStartM = 5.0;
// The longest leg the ground step eases from rest with a schedule of its
// own (a longer one is played evenly).
constexpr double kLongestEasedLegTicks = 12000.0;

LaLo lf_pose(const LiveAc& ac) { return {ac.pose.latitude, ac.pose.longitude}; }
LaLo lf_position(const StreamPoint& p) { return {p.lat, p.lon}; }

bool lf_samePlace(const StreamPoint& a, const StreamPoint& b) { return gf_isSamePlace(lf_position(a), lf_position(b)); }

// Flat NM between the two points, east-west scaled at the first one's
// latitude.
double lf_flatNm(const StreamPoint& a, const StreamPoint& b) {
    const double north = (a.lat - b.lat) * 60.0;
    const double east = gf_wrapLongitudeDifference(a.lon - b.lon) * std::cos(a.lat * degreesToRadians) * 60.0;
    return std::sqrt(north * north + east * east);
}

double lf_angleDeg(double a, double b) { return std::fabs(std::remainder(a - b, fullCircle)) * radiansToDegrees; }

// Whether the pose moved in the tick before (the step the next leg starts
// from).
bool lf_rolling(const LiveAc& ac) { return gf_rollingStepM(ac) > 0.0; }

// The fastest ground speed the points after the next one report (0 without
// one): what a leg between two points without a speed of their own goes to.
double lf_reportedAheadKt(const std::deque<StreamPoint>& s) {
    double kt = 0.0;
    for (std::size_t i = 2; i < s.size() && i < 2 + kReportedAheadPoints; ++i)
        if (std::isfinite(s[i].groundSpeedKt)) kt = std::max(kt, s[i].groundSpeedKt);
    return kt;
}

// The report the leg from the front point runs to: the first point after it
// that a report gave, past those the engine put in on the way (a turn's
// entry, a speed change's midpoint); 0 where a hold or the stream's end
// comes first.
std::size_t lf_reportAhead(const std::deque<StreamPoint>& s) {
    std::size_t i = 1;
    while (i + 1 < s.size() && s[i].synthetic != 0 && s[i].stationary == 0) ++i;
    return i < s.size() && s[i].synthetic == 0 && s[i].stationary == 0 ? i : 0;
}


// The ticks an even speed change between rest and `mps` at the taxi rate
// adds to a leg planned at that speed throughout: half its own time.
double lf_restChangeTicks(double mps) { return mps / kTaxiSpeedChangeMps2 * 50.0; }

bool lf_groundTurnValid(const MotionState& m) {
    return m.path.turn.status == GroundTurnStatus::None && m.path.turn.totalLength > 0.0;
}
bool lf_curveValid(const MotionState& m) {
    return std::isfinite(m.path.curve.startTime) && std::isfinite(m.path.curve.endTime);
}
bool lf_pathValid(const MotionState& m) { return lf_groundTurnValid(m) || lf_curveValid(m); }

// The end of a pushback: engines running, ready to taxi.
void lf_endPushback(LiveAc& ac) {
    MotionState& m = ac.motion;
    m.legBearing = ac.pose.heading;
    gf_startAiEngines(ac.objectId);
    gf_setThrottle(ac, 0);
    gf_setFlaps(ac, 1);
    ac.arrivingHere = 0;
    setFlightPhase(ac, AcPhase::pushed_back);
    ac.extrapolationCount = 0;
    m.departurePending = 0;
    m.holdingStartTick = tickCount.load();
    m.startTurn = 0;
    // The reports kept meanwhile may take the pushback on or show the taxi
    // begun: either starts now, not when the next report comes. Pushed on,
    // it sets off from rest as from the stand.
    gf_pushbackEnded(ac);
    m.speedChangeKind = ac.phase == AcPhase::pushing_back ? 3 : 0;
    planTaxiSpeed(ac);
}

void lf_parked(LiveAc& ac) {
    MotionState& m = ac.motion;
    m.advanceLimit = kParkedRetimeLimit;
    m.delayLimit = kParkedRetimeLimit;
    // No start turn is planned off a stand: one left from the arrival would
    // hold the aircraft for a turn it does not make.
    m.startTurn = 0;
    if (m.departurePending != 0) {
        if (m.pullOut != 0)
            pullOutOfStand(ac);
        else
            initiatePushBack(ac);
        m.speedChangeKind = ac.phase == AcPhase::pushing_back ? 3 : 0;
        planTaxiSpeed(ac);
        return;
    }
    if (ac.stream.size() >= 2 && lf_samePlace(ac.stream[0], ac.stream[1])) ac.stream[1].stationary = 1;
    planTaxiSpeed(ac);
}

// The last leg (or the leg into a stop) turns sharply: a long enough leg is
// split so that the turn can be made on the way. True when smoothing then
// changed the path. Not one the aircraft turns on the spot for before it
// sets off: split, its first half would be crawled at half the speed.
bool lf_splitLastLegTurn(LiveAc& ac) {
    const auto& s = ac.stream;
    const bool lastLeg = s.size() == 2 || (s.size() >= 3 && s[2].stationary != 0);
    if (!lastLeg || (s[0].synthetic != 0 && s[1].synthetic != 0) || gf_turnsOnTheSpotFirst(ac)) return false;
    const double t = lf_angleDeg(gf_bearing(lf_pose(ac), lf_position(s[1])), ac.pose.heading);
    if (!(t > kLastLegTurnDeg)) return false;
    const double k = std::min(1.0, std::max(0.0, (t - kLastLegTurnDeg) / 75.0));
    const double threshold = kLastLegLongestNm - k * k * kLastLegRangeNm;
    if (!(lf_flatNm(s[0], s[1]) >= threshold)) return false;
    gf_insertMidpointInStream(ac);
    return smoothTaxiPath(ac);
}

std::vector<double> lf_pathHeadings(const LiveAc& ac);
double lf_worstLag(const std::vector<double>& headings, double startHeading, std::int32_t ticks, int easing,
                   double rate);

// A landing roll's leg that turns off the runway is a taxi leg. A straight
// one (bearing off the touchdown heading as far as a turned-off nose is) has
// its start turn taken as a taxi's is, on the spot when it is large, not slid
// through at the roll's speed while the nose comes round. A bend off the
// runway that the nose would fall behind at the roll's pace is timed as a
// taxi bend, which keeps the nose along it: played by the roll, an arrival
// slid through its 90 degree exit with the nose 32 degrees off its travel.
void lf_leaveRunwayOnTurningLeg(LiveAc& ac) {
    const MotionState& m = ac.motion;
    if (ac.phase != AcPhase::landing_roll || ac.stream.size() < 2 || !std::isfinite(m.touchdownHeading)) return;
    if (lf_pathValid(m)) {
        const std::vector<double> headings = lf_pathHeadings(ac);
        const double cap = kGroundTurnCap * ac.turnRateRad;
        const std::int32_t ticks = gf_ticksBetween(tickCount.load(), ac.stream[1].playTick);
        if (headings.empty() || !(lf_angleDeg(headings.back(), m.touchdownHeading) >= kTurnedOffRunwayDeg) ||
            !std::isfinite(cap) || !(cap > 0.0) || ticks < 1 || ticks > kLongestEasedLegTicks)
            return;
        if (lf_worstLag(headings, ac.pose.heading, ticks, 0, cap) > kMostBendLagDeg * degreesToRadians) startTaxi(ac);
        return;
    }
    const double legBearing = gf_bearing(lf_pose(ac), lf_position(ac.stream[1]));
    if (lf_angleDeg(legBearing, m.touchdownHeading) >= kTurnedOffRunwayDeg) startTaxi(ac);
}

// A taxi bend whose heading swings faster than the nose turns even when the
// bend is crawled at walking pace (a slow taxi setting off at an angle
// through a report a few metres on) is a pivot, not a bend: driven, the
// aircraft crept through its kink with the nose 50 degrees behind and slid
// on sideways while it sped up. It is not driven: the leg goes straight to
// its end, its start turn taken as any other leg's (on the spot when large).
// True when the bend was dropped.
bool lf_dropPivotBend(LiveAc& ac) {
    MotionState& m = ac.motion;
    const auto& s = ac.stream;
    const double cap = kGroundTurnCap * ac.turnRateRad;
    if (ac.phase != AcPhase::taxi || s.size() < 2 || !std::isfinite(cap) || !(cap > 0.0) ||
        lf_samePlace(s[0], s[1]) || gf_isSamePlace(lf_pose(ac), lf_position(s[1])))
        return false;
    const std::vector<double> headings = lf_pathHeadings(ac);
    const double lengthM = gf_bendLengthM(ac);
    if (headings.empty() || !(lengthM > 0.0) || !std::isfinite(lengthM)) return false;
    // At walking pace, or at the bend's own pace when the reports give it
    // more time than that; what the nose lags at the start is the start
    // turn's, not the bend's.
    const double walkingTicks = lengthM / (kMovingKt * kKnotsToMps / 100.0);
    const double dueTicks = static_cast<double>(gf_ticksBetween(tickCount.load(), s[1].playTick));
    const double ticks = std::ceil(std::max(walkingTicks, dueTicks));
    if (!(ticks >= 1.0) || ticks > kLongestEasedLegTicks) return false;
    const double startOff = std::fabs(std::remainder(ac.pose.heading - headings.front(), fullCircle));
    // Rolling, a bend that sets off further off the nose than a turn on the
    // spot takes is no bend the nose follows: no start turn is made before
    // it, and the aircraft slid into it sideways (78 degrees off at 11 kt).
    const bool slidesIn = startOff > kTurnInPlaceDeg * degreesToRadians && lf_rolling(ac);
    const double allowed = std::max(kMostBendSlideDeg * degreesToRadians, startOff + 1.0 * degreesToRadians);
    if (!slidesIn && lf_worstLag(headings, ac.pose.heading, static_cast<std::int32_t>(ticks), 0, cap) <= allowed)
        return false;
    resetMotionPath(m.path);
    m.scheduleCount = 0;
    m.legBearing = gf_bearing(lf_pose(ac), lf_position(s[1]));
    return true;
}

void lf_startTurn(LiveAc& ac) {
    MotionState& m = ac.motion;
    if (lf_pathValid(m) && !lf_dropPivotBend(ac)) {
        m.startTurn = 0;
        return;
    }
    m.startTurnAngleDeg = lf_angleDeg(m.legBearing, ac.pose.heading);
    m.startTurn = m.startTurnAngleDeg > kStartTurnDeg ? 1 : 0;
    noteRunwayEntry(ac);
}

// Whether the aircraft goes along the leg to the next point moving: at the
// speed reported where it starts, or, rolling, at the leg's own pace (its
// length over the time left to its end). A tow reports a crawl while it is
// pulled at taxi pace, and a late leg catches up faster than reported:
// judged by the report alone, a leg driven at 7 kt into a stand reported at
// 1 kt was not braked, and stopped dead on the stand.
bool lf_movesAlongLeg(const LiveAc& ac) {
    const auto& s = ac.stream;
    if (s[0].groundSpeedKt > kMovingKt) return true;
    if (!lf_rolling(ac)) return false;
    const double ticks = std::max(1, gf_ticksBetween(tickCount.load(), s[1].playTick));
    const double legM = gf_distanceNm(lf_pose(ac), lf_position(s[1])) * metresPerNm;
    return legM / ticks * 100.0 / kKnotsToMps > kMovingKt;
}

// A leg eased from the speed the aircraft rolls at down to rest would reach
// its point after the reports have it there: the reports keep their pace most
// of the way and slow only near the point.
bool lf_easedToRestLate(const LiveAc& ac) {
    const auto& s = ac.stream;
    const double stepM = gf_rollingStepM(ac);
    if (!(stepM > 0.0)) return false;
    const double legM = gf_distanceNm(lf_pose(ac), lf_position(s[1])) * metresPerNm;
    const std::int64_t left = std::int64_t{s[1].playTick} - ac.motion.streamLagTicks - tickCount.load();
    return std::isfinite(legM) && 2.0 * legM / stepM > static_cast<double>(left);
}

// Whether the report after stream point `i` says the aircraft is at rest no
// more than a metre on from it: it came to rest at `i`, whatever `i` says.
bool lf_restsJustAfter(const std::deque<StreamPoint>& s, std::size_t i) {
    return i + 1 < s.size() && s[i + 1].stationary == 0 && s[i + 1].airborne == 0 &&
           s[i + 1].groundSpeedKt <= kComingToRestKt &&
           gf_distanceNm(lf_position(s[i]), lf_position(s[i + 1])) * metresPerNm <= kRestJustAfterM;
}

std::uint32_t lf_speedChangeKind(const LiveAc& ac) {
    const auto& s = ac.stream;
    if (s.size() < 2 || s[1].stationary != 0) return 0;
    const double a = s[0].groundSpeedKt;
    double b = s[1].groundSpeedKt;
    if (!std::isfinite(a) || !std::isfinite(b)) return 0;
    // A report whose speed is no speed at all (the feed's placeholder, far
    // above any ground speed) just short of a report at rest is where the
    // aircraft came to rest: taken as a speed, the leg into it ran on at
    // taxi pace and a tow stopped dead a tenth of a metre further on.
    if (!(b <= kMostGroundKt) && lf_restsJustAfter(s, 1)) b = 0.0;
    if (ac.phase == AcPhase::parking) {
        if (a == 0.0 && b == 0.0) return 3;
        // Standing where it was reported moving (it came to rest there
        // before the drive began), it eases off from rest as well: eased to
        // rest only, the drive set off at twice its mean speed within a tick.
        if (b == 0.0 && lf_movesAlongLeg(ac)) return lf_rolling(ac) ? 2 : 3;
        return 0;
    }
    if (ac.phase != AcPhase::taxi && ac.phase != AcPhase::takeoff_roll) return 0;
    if (ac.phase == AcPhase::taxi && a == 0.0) {
        // A turn-entry point copies the "no speed" of the held position
        // before it: the points after it tell the speed the leg goes to. And
        // an aircraft that arrives at such a point moving goes on moving.
        const double ahead = b == 0.0 && s[1].synthetic != 0 ? std::max(b, lf_reportedAheadKt(s)) : b;
        if (ahead > kMovingKt) return lf_rolling(ac) ? 0 : 1;
    }
    if (a == 0.0 && b > kMovingKt) return 1;
    // A hold after the point, or the stream's end there: a point reported
    // all but at rest is where the aircraft stops; so is one reported at no
    // more than a walking pace that a faster taxi slows into (not a tow
    // going on at that pace, whose reports merely pause), unless slowing
    // from the speed it rolls at over the whole leg would reach the point
    // after its reports do: a tow at 6.5 kt whose last report, 77 m on, had
    // slowed to 1.3 kt was eased from the start of that leg and came 14 s
    // late.
    const bool stopsAfter = s.size() == 2 || s[2].stationary != 0;
    if ((b == 0.0 || (b <= kComingToRestKt && stopsAfter)) && lf_movesAlongLeg(ac)) return 2;
    if (b <= kMovingKt && stopsAfter && lf_movesAlongLeg(ac) && !lf_easedToRestLate(ac)) return 2;
    if (a > 2.0 * kSlowArrivalKt && b <= kSlowArrivalKt && stopsAfter) return 2;
    return 0;
}

// A rolling taxi whose next point lies off the nose by more than a turn
// made rolling brakes to rest straight on to turn on the spot for it; where
// that stop lies past the point, within the braking run of it, the aircraft
// passed the point on its way (the reports hooked round it within a metre or
// two at a crawl) and the leg goes on to the point after it, when that turns
// off the nose less than the way back does. Kept, the leg doubled back from
// the stop: an arrival braking from 7.7 kt into a crawl's hook, its next
// report 0.9 m on and 36 degrees off the nose, stopped 2.3 m past it, turned
// 170 degrees on the spot to creep back to it and 80 more for the report
// after it, and came 25 s late to the reports that followed.
void lf_dropPointPassedBraking(LiveAc& ac) {
    auto& s = ac.stream;
    if (ac.phase != AcPhase::taxi || ac.onGround == 0 || ac.extrapolationCount > 0 || s.size() < 3 ||
        s[1].stationary != 0 || s[2].stationary != 0 || s[1].airborne != 0 || s[2].airborne != 0 ||
        lf_samePlace(s[1], s[2]))
        return;
    const double stepM = gf_rollingStepM(ac);
    if (!(stepM > 0.0)) return;
    const LaLo pose = lf_pose(ac);
    if (gf_isSamePlace(pose, lf_position(s[1])) ||
        !(lf_angleDeg(gf_bearing(pose, lf_position(s[1])), ac.pose.heading) > kTurnInPlaceDeg))
        return;
    const TaxiBraking braking = gf_taxiBraking(stepM);
    if (braking.ticks <= 0) return;
    const LaLo stop = gf_taxiBrakingStop(ac, braking);
    const RelativePosition rel = gf_relativePosition(stop, ac.pose.heading, lf_position(s[1]));
    if (!(rel.along <= 0.0) || !(gf_distanceNm(stop, lf_position(s[1])) * metresPerNm <= braking.runM)) return;
    if (gf_isSamePlace(stop, lf_position(s[2])) ||
        !(lf_angleDeg(gf_bearing(stop, lf_position(s[2])), ac.pose.heading) <
          lf_angleDeg(gf_bearing(stop, lf_position(s[1])), ac.pose.heading)))
        return;
    s.erase(s.begin() + 1);
}

bool lf_rollsIntoTurnOffCorner(const LiveAc& ac, std::size_t corner);

void lf_moving(LiveAc& ac) {
    MotionState& m = ac.motion;
    // Off the runway already (the exit turn brought the nose round): the
    // leg out of the landing roll is a taxi leg, its bends and start turn
    // taken as a taxi's are, not slid through at the roll's speed.
    endLandingRollWhenTurnedOff(ac);
    // At the corner where its reports turn off the runway the roll is over:
    // it taxis on from there, its turn onto the exit taken as a taxi's.
    if (ac.phase == AcPhase::landing_roll && ac.onGround != 0 && lf_rollsIntoTurnOffCorner(ac, 0) &&
        gf_rollingStepM(ac) > 0.0)
        startTaxi(ac);
    checkRunwayOccupancy(ac);
    gf_putInLiftOffPoint(ac);
    const bool slow = isSlowTaxiStream(ac);
    // The reported legs before the last are taken as reported: a stand
    // drive planned from here would replace them with one of its own. The
    // stand is sought on the last leg (as reported: before a point is put
    // in to smooth or split it).
    bool lastLeg = ac.stream.size() >= 2;
    for (std::size_t i = 2; lastLeg && i < ac.stream.size(); ++i) lastLeg = ac.stream[i].stationary != 0;
    if (ac.stream.size() >= 2 && ac.stream[1].stationary == 0 && ac.onGround != 0) {
        // Braking to rest before a hold goes straight on as planned.
        if (m.brakeToRest != kBrakingToRest) {
            lf_dropPointPassedBraking(ac);
            bool smoothed = ac.stream.size() >= 3 && ac.stream[2].stationary == 0 && smoothTaxiPath(ac);
            if (!smoothed) smoothed = lf_splitLastLegTurn(ac);
            if (!smoothed && !(ac.stream.size() < 3 && ac.extrapolationCount > 0)) splitLegForSpeedChange(ac, slow);
            // Still rolling into a leg its nose is far off, toward a point
            // the reports pass moving (one put in on the way, which is not
            // smoothed again), the turn is made rolling from the nose: left
            // to a start turn, a tow whose reports turned 56 degrees across a
            // pause braked to rest where they never stood and turned there
            // on the spot.
            if (!lf_pathValid(m)) gf_turnFromTheNoseRolling(ac);
        }
        lf_leaveRunwayOnTurningLeg(ac);
        lf_startTurn(ac);
    }
    // The drive onto the stand replaces the stream (and the bend smoothing
    // built toward it): its first leg may need a turn of its own.
    if (try2Park(ac, slow && lastLeg) != nullptr) lf_startTurn(ac);
    m.speedChangeKind = lf_speedChangeKind(ac);
    planTaxiSpeed(ac);
}

void lf_nextPosGround(LiveAc& ac) {
    switch (ac.phase) {
        case AcPhase::pushing_back: lf_endPushback(ac); break;
        case AcPhase::parked: lf_parked(ac); break;
        case AcPhase::pushed_back:
            // The taxi falls due before a report shows it begun: it starts
            // on the reports kept so far.
            if (gf_taxiDueAfterPushback(ac)) gf_startTaxiAfterPushback(ac, false);
            lf_moving(ac);
            break;
        default: lf_moving(ac); break;
    }
}

// The turn rate fitted to the leg: a small turn spread over the leg (over at
// most 30 m of it), a large one made faster when the leg is short, with wider
// retiming limits for the time it takes.
void lf_fitTurn(LiveAc& ac, double legNm, std::int32_t legTicks) {
    MotionState& m = ac.motion;
    const double angle = m.startTurn != 0 ? m.startTurnAngleDeg : m.smoothingTurnAngleDeg;
    double rate = ac.turnRateLimit;
    if (!(std::isfinite(angle) && angle > 0.0 && std::isfinite(rate) && rate > 0.0) || !(legNm > 0.0)) return;
    const double turnTicks = std::max<double>(kMinLegTicks, gf_ticksFromCount(angle * degreesToRadians / rate, 0));
    const double r = legTicks / turnTicks;
    if (angle <= 45.0) {
        const double divisor = r >= 1.2 ? std::min({r, r * 10.0 / angle, r * 30.0 / (legNm * metresPerNm)}) : r;
        if (std::isfinite(divisor) && divisor > 0.0) rate /= divisor;
    } else {
        rate *= std::clamp(1.0 / r, 1.0, std::min(angle, 90.0) / 30.0);
        const double s = std::clamp((angle - 30.0) / 70.0, 0.0, 1.0);
        const double most = ac.phase == AcPhase::takeoff_roll ? 5.0 : 3.0;
        m.advanceLimit = std::max(m.advanceLimit, static_cast<std::int32_t>(std::lround((2.0 * s + 1.0) * 900.0)));
        m.delayLimit = std::max(m.delayLimit, static_cast<std::int32_t>(std::lround(((most - 1.0) * s + 1.0) * 900.0)));
    }
    ac.turnRateLimit = rate;
}

// A Light aircraft backtracking on its landing runway turns around on it:
// the landing roll ends there.
void lf_lightBacktrack(LiveAc& ac) {
    const MotionState& m = ac.motion;
    const StreamPoint& next = ac.stream[1];
    if (ac.phase != AcPhase::landing_roll || ac.category != Light || next.airborne != 0) return;
    if (lf_pathValid(m) || ac.extrapolationCount > 0) return;
    if (!(std::isfinite(m.startTurnAngleDeg) && m.startTurnAngleDeg >= kBacktrackDeg)) return;
    const double fastest = std::max({ac.pose.trueAirspeed, ac.stream[0].groundSpeedKt, next.groundSpeedKt});
    if (!(fastest >= 0.0 && fastest <= kBacktrackKt)) return;
    const auto here = findLandingRunway(lf_pose(ac), m.touchdownHeading);
    if (!here) return;
    const auto there = findLandingRunway(lf_position(next), m.touchdownHeading);
    if (there && here->key == there->key && here->endName == there->endName) startTaxi(ac);
}

// A taxiing aircraft moving into a point where it then holds (a stationary
// copy follows: the reports after it stand still) comes to rest there; a leg
// already eased to rest needs nothing more, and a hold of no length is
// passed through.
bool lf_holdsAtNextPoint(const LiveAc& ac, double speedKt) {
    const auto& s = ac.stream;
    return ac.phase == AcPhase::taxi && s.size() >= 3 && s[1].stationary == 0 && s[2].stationary != 0 &&
           gf_momentaryHoldEnd(ac, 1) == 0 &&
           (ac.motion.speedChangeKind == 0 || ac.motion.speedChangeKind == 1) && std::isfinite(speedKt) &&
           speedKt > kMovingKt;
}

// A landing roll on its wheels whose leg after the stream point `corner`
// leaves the runway: that leg is driven as a taxi leg, its start turn made on
// the spot when large. Rolling into the corner at the speed reported there,
// the aircraft braked straight on past it along the runway, then turned back
// further still (a 48 degree exit became 86) and drove back across the
// corner, seconds behind its reports at every corner after.
bool lf_rollsIntoTurnOffCorner(const LiveAc& ac, std::size_t corner) {
    const auto& s = ac.stream;
    const MotionState& m = ac.motion;
    if (ac.phase != AcPhase::landing_roll || ac.onGround == 0 || ac.category == Rotorcraft ||
        s.size() < corner + 2 || s[corner].airborne != 0 || s[corner + 1].airborne != 0 ||
        !std::isfinite(m.touchdownHeading) || lf_samePlace(s[corner], s[corner + 1]))
        return false;
    return lf_angleDeg(gf_bearing(lf_position(s[corner]), lf_position(s[corner + 1])), m.touchdownHeading) >=
           kTurnedOffRunwayDeg;
}

std::int32_t lf_catchUpTicks(const LiveAc& ac, std::int32_t legTicks, double speedKt);

// How far (radians) the nose falls short of a straight taxi leg's bearing
// when it arrives, its start turn taken rolling: the pose step turns it on
// the ground no faster than its cap, over the leg's time at `speedKt` or as
// a late leg catches up. 0 when the turn is made on the way, or on the spot.
// Judged by the leg's bearing instead, a heavy catching up along a curve
// reported point by point 8 m apart came 40 degrees off the next leg, braked
// 10 m past the point and turned 74 degrees on the spot there.
double lf_noseShortOfLegRad(const LiveAc& ac, double speedKt) {
    const MotionState& m = ac.motion;
    const auto& s = ac.stream;
    const double cap = kGroundTurnCap * ac.turnRateRad;
    if (ac.phase != AcPhase::taxi || lf_pathValid(m) || m.startTurn == 0 || m.turnInPlaceAllowed != 0 ||
        !std::isfinite(m.startTurnAngleDeg) || m.startTurnAngleDeg > kTurnInPlaceDeg || !std::isfinite(cap) ||
        !(cap > 0.0) || s.size() < 2)
        return 0.0;
    const double legNm = gf_distanceNm(lf_pose(ac), lf_position(s[1]));
    if (!(legNm > 0.0) || !std::isfinite(legNm)) return 0.0;
    const std::int32_t ticks = lf_catchUpTicks(ac, gf_legTicks(legNm, speedKt, kMinLegTicks), speedKt);
    return std::max(0.0, m.startTurnAngleDeg * degreesToRadians - cap * ticks);
}

// A taxi leg into a point where the next leg sets off further off it than
// the nose follows on the way (no bend was built through the corner): the
// aircraft turns on the spot there. Arriving at speed it would brake
// straight on past the point and then turn further still, back toward the
// next point (a 50 degree corner became a 130 degree turn), and drive back
// across the corner: it comes to rest on the point instead. So does a leg
// along a bend that ends on the point, arriving on the bend's last heading,
// when it is late (one caught up at 29 kt braked 22 m past its corner and
// turned 152 degrees back) or fast enough to brake metres past the point
// (at 12 kt a 50 degree corner became 82 degrees).
bool lf_turnsOnTheSpotAtNextPoint(const LiveAc& ac, double speedKt) {
    const auto& s = ac.stream;
    const MotionState& m = ac.motion;
    const bool roll = lf_rollsIntoTurnOffCorner(ac, 1);
    if ((ac.phase != AcPhase::taxi && !roll) || s.size() < 3 || s[1].stationary != 0 || s[2].stationary != 0 ||
        (s[1].synthetic != 0 && s[1].rollSynthetic == 0) || !(m.speedChangeKind == 0 || m.speedChangeKind == 1) ||
        !std::isfinite(speedKt) || !(speedKt > kMovingKt) || lf_samePlace(s[1], s[2]))
        return false;
    double inBearing = 0.0;
    bool arrivesShort = false;
    if (lf_pathValid(m)) {
        // Only a bend that ends on the point: one through the corner turns
        // onto the next leg by itself.
        const std::vector<double> headings = lf_pathHeadings(ac);
        if (headings.empty()) return false;
        const CurvePoint end = lf_groundTurnValid(m) ? sampleGroundTurn(m.path.turn, 1.0)
                                                     : sampleCurvedLeg(m.path.curve, kLastCurveProgress);
        if (!end.valid || !(gf_distanceNm({end.lat, end.lon}, lf_position(s[1])) * metresPerNm < 1.0)) return false;
        // On time it arrives at about the speed reported there, and the
        // pose step's own braking takes the corner as the reports did, when
        // that runs it only a little past the point. A late leg, caught up at
        // up to twice its speed, or one fast enough to brake metres past,
        // arrives too fast to turn where it brakes.
        const double ownTicks = gf_bendLengthM(ac) / (speedKt * kKnotsToMps) * 100.0;
        const std::int64_t dueAsReported = std::int64_t{s[1].playTick} - m.streamLagTicks;
        const bool late =
            std::isfinite(ownTicks) && std::int64_t{tickCount.load()} + std::llround(ownTicks) > dueAsReported;
        // A little past is no more than a third of the leg after the corner,
        // either: a slow taxi braking 1.7 m past a corner whose next report lay
        // 3 m on found that report 50 degrees further round, turned 108
        // degrees on the spot toward it and 42 back there, 22 s behind.
        const double nextLegM = gf_distanceNm(lf_position(s[1]), lf_position(s[2])) * metresPerNm;
        const double mostRunM = std::min(kLongestRunPastCornerM, kMostRunPastShareOfNextLeg * nextLegM);
        if (!late && !(gf_taxiBraking(speedKt * kKnotsToMps / 100.0).runM > mostRunM)) return false;
        inBearing = headings.back();
    } else {
        // The leg is driven from where the aircraft is, or from where it
        // comes to rest straight on when it turns on the spot first: it
        // arrives on that bearing.
        LaLo from = lf_pose(ac);
        if (m.startTurn != 0 && m.startTurnAngleDeg > kTurnInPlaceDeg) {
            const TaxiBraking braking = gf_taxiBraking(gf_rollingStepM(ac));
            if (braking.ticks > 0) from = gf_taxiBrakingStop(ac, braking);
        }
        if (gf_isSamePlace(from, lf_position(s[1]))) return false;
        inBearing = gf_bearing(from, lf_position(s[1]));
        // A start turn taken rolling along a leg too short in time for the
        // nose to come round at the most the pose step turns on the ground
        // arrives with the nose that far short of the leg's bearing.
        const double shortRad = lf_noseShortOfLegRad(ac, speedKt);
        if (shortRad > 0.0) {
            inBearing -= std::copysign(shortRad, std::remainder(inBearing - ac.pose.heading, fullCircle));
            arrivesShort = true;
        }
    }
    const double cornerDeg = lf_angleDeg(gf_bearing(lf_position(s[1]), lf_position(s[2])), inBearing);
    // A roll arrives on its leg's bearing, and so does a leg set off by a
    // turn on the spot (the nose faces the leg before it has gone far), a
    // bend on its last heading, and a leg whose start turn the nose cannot
    // finish on the way on the heading it comes round to: no part of the
    // turn is made on the way, so any corner the taxi turns on the spot is
    // stopped for. A late bend let run on into a 39 degree corner at 12 kt
    // braked 9 m straight past it and turned 76 degrees on the spot there,
    // and twice more after.
    const bool alongLeg =
        roll || arrivesShort ||
        (ac.phase == AcPhase::taxi &&
         (lf_pathValid(m) || (m.startTurn != 0 && m.startTurnAngleDeg > kTurnInPlaceDeg)));
    if (!(cornerDeg > kTurnInPlaceDeg + (alongLeg ? 0.0 : kCornerStopMarginDeg))) return false;
    // Where the points after it let a bend be built from the point, rolling
    // in along the leg (a tight turn onto two short legs, one aimed past a
    // straight stretch), the aircraft takes that bend at speed instead.
    // A roll whose leg after the corner is the last one known, or ends at a
    // hold, still turns off rolling when it can (from the nose, below), and
    // slows along that leg to where the reports stop: braked to rest on the
    // corner, it turned the exit on the spot where its reports rolled
    // through at 10 kt.
    const bool lastOrHold = s.size() < 4 || s[3].stationary != 0;
    if (lastOrHold && !roll) return true;
    LiveAc there = ac;
    // A roll turning off there taxis on from it: the bend from there is
    // asked as a taxi's (asked as a roll's, none was found, and a roll whose
    // reports rolled through its exit stopped on it to turn on the spot).
    if (roll) there.phase = AcPhase::taxi;
    there.stream.pop_front();
    there.pose.latitude = s[1].lat;
    there.pose.longitude = s[1].lon;
    // The bend's headings run on unwrapped: one that swung through north
    // ends past a full circle, a heading the turn builder refuses, so that
    // no turn off was found and the roll stopped on the corner.
    there.pose.heading = normalizeHeading(inBearing);
    MotionState& tm = there.motion;
    resetMotionPath(tm.path);
    tm.lastStepTick = tickCount.load();
    tm.lastStepM = speedKt * kKnotsToMps / 100.0;
    const LiveAc arrived = there;
    if (!lastOrHold && smoothTaxiPath(there) && lf_pathValid(tm)) return false;
    if (!roll) return true;
    // Nor does a roll stop there whose reports go on at speed off the
    // runway: it taxis on from the corner, turning from the nose onto the
    // exit rolling, judged as it arrives when its corner falls due. Braked
    // to rest on the runway, it turned the exit on the spot where its
    // reports rolled through at 10 kt, and sped past them after.
    there = arrived;
    const std::int64_t due = std::int64_t{s[1].playTick} - m.streamLagTicks;
    const auto at = static_cast<std::int32_t>(std::max<std::int64_t>(tickCount.load(), due));
    return !gf_turnFromTheNoseRolling(there, at);
}

// Whether the rest of the leg's bend runs straight on from the pose to
// `end`: the nose along that line and no point left on the path off it by
// more than a metre.
bool lf_bendTurned(const LiveAc& ac, LaLo end) {
    const MotionState& m = ac.motion;
    const bool turn = lf_groundTurnValid(m);
    const LaLo pose = lf_pose(ac);
    if (gf_isSamePlace(pose, end)) return false;
    const double bearing = gf_bearing(pose, end);
    if (!(lf_angleDeg(bearing, ac.pose.heading) <= kBendTurnedNoseDeg)) return false;
    const double last = turn ? 1.0 : kLastCurveProgress;
    const double from = std::clamp(m.path.progress, 0.0, last);
    for (int k = 0; k <= kBendTurnedSteps; ++k) {
        const double f = std::lerp(from, last, static_cast<double>(k) / kBendTurnedSteps);
        const CurvePoint p = turn ? sampleGroundTurn(m.path.turn, f) : sampleCurvedLeg(m.path.curve, f);
        if (!p.valid || !(std::fabs(gf_relativePosition(pose, bearing, {p.lat, p.lon}).across) <= kBendTurnedOffM))
            return false;
    }
    return true;
}

// Whether the leg's bend carries only its start turn onto the point `end`
// (the S-curve a last leg turning off the nose is smoothed into, through a
// point put in halfway along it): it ends there, its corner lies on the
// straight line from its start to that end (no corner the reports turn at)
// or where it starts (the report it set off from, turned at once), and
// neither the nose nor the path anywhere on from here lies further off the
// line from the pose to `end` than a start turn taken rolling. Planned again
// from here, the leg runs straight on with a rolling start turn, and the
// bend it leaves out is no more than that turn. Left as it was, a tow whose
// bend rounded the last report before a pause, 4 m on, drove along that bend
// to the report past its lane corner, braked past it and turned on the spot
// twice, 11 s behind.
bool lf_startTurnOnly(const LiveAc& ac, LaLo end) {
    const MotionState& m = ac.motion;
    const bool turn = lf_groundTurnValid(m);
    const LaLo pose = lf_pose(ac);
    if (gf_isSamePlace(pose, end)) return false;
    // The corner (a curved leg's control point) against the line from the
    // bend's start (its local origin) to its end.
    const double cornerE = turn ? m.path.turn.cornerEast : m.path.curve.controlEast;
    const double cornerN = turn ? m.path.turn.cornerNorth : m.path.curve.controlNorth;
    const double endE = turn ? m.path.turn.endEast : m.path.curve.endEast;
    const double endN = turn ? m.path.turn.endNorth : m.path.curve.endNorth;
    const double chordM = std::hypot(endE, endN);
    if (!(chordM > 0.0) || !(std::fabs(cornerE * endN - cornerN * endE) / chordM <= kCornerOnChordM ||
                             std::hypot(cornerE, cornerN) <= kCornerAtStartM))
        return false;
    const double last = turn ? 1.0 : kLastCurveProgress;
    const CurvePoint pathEnd = turn ? sampleGroundTurn(m.path.turn, last) : sampleCurvedLeg(m.path.curve, last);
    if (!pathEnd.valid || !(gf_distanceNm({pathEnd.lat, pathEnd.lon}, end) * metresPerNm <= kBendTurnedOffM)) return false;
    const double bearing = gf_bearing(pose, end);
    if (!(lf_angleDeg(bearing, ac.pose.heading) <= kTurnInPlaceDeg)) return false;
    const double from = std::clamp(m.path.progress, 0.0, last);
    for (int k = 0; k <= kBendTurnedSteps; ++k) {
        const double f = std::lerp(from, last, static_cast<double>(k) / kBendTurnedSteps);
        const CurvePoint p = turn ? sampleGroundTurn(m.path.turn, f) : sampleCurvedLeg(m.path.curve, f);
        if (!p.valid || !(lf_angleDeg(bearing, p.heading) <= kTurnInPlaceDeg)) return false;
    }
    return true;
}

// Whether the aircraft along its leg's bend has passed the corner the bend
// rounds (where the reported legs meet), with the nose within a few degrees
// of the line on to `end`: what is left of the bend only brings the nose
// round onto the leg that ends there, a start turn a straight leg from the
// pose takes rolling.
bool lf_bendCornerPassed(const LiveAc& ac, LaLo end) {
    const MotionState& m = ac.motion;
    const bool turn = lf_groundTurnValid(m);
    if (!turn && !lf_curveValid(m)) return false;
    const LaLo pose = lf_pose(ac);
    if (gf_isSamePlace(pose, end) || !(lf_angleDeg(gf_bearing(pose, end), ac.pose.heading) <= kBendTurnedNoseDeg))
        return false;
    const LaLo origin = turn ? LaLo{m.path.turn.originLat, m.path.turn.originLon}
                             : LaLo{m.path.curve.startLat, m.path.curve.startLon};
    const double east = turn ? m.path.turn.cornerEast : m.path.curve.controlEast;
    const double north = turn ? m.path.turn.cornerNorth : m.path.curve.controlNorth;
    if (!std::isfinite(east) || !std::isfinite(north)) return false;
    LaLo corner = gf_destinationPoint(origin, {std::atan2(east, north), std::hypot(east, north) * feetPerMetre});
    gf_normalizeLaLo(corner);
    return gf_relativePosition(pose, ac.pose.heading, corner).along < 0.0;
}

// Whether the aircraft has passed its leg's bend's corner (see
// lf_bendCornerPassed), or the rest of the bend already runs straight on to
// its end (see lf_bendTurned), and the bend ends on a heading the leg after
// its end turns off by more than a turn rolled on the way: a corner no bend
// planned with that leg known ends in without a stop. Asked only by its
// corner, a tow on a gentle 10 degree bend whose rest ran straight still had
// the bend's corner 15 m ahead when the reports turning 48 degrees on from
// its end came; no report came after it passed that corner, and it braked to
// rest on the end and turned 51 degrees on the spot. Not where the reports after
// it come to rest: the aircraft stops there soon anyway, and brought there
// sooner along a bend planned again, an arrival stood through copies of
// its last report that it would otherwise have been found leaving.
bool lf_bendPassedIntoUnplannedCorner(const LiveAc& ac) {
    const auto& s = ac.stream;
    if (s.size() < 2 || !lf_pathValid(ac.motion) || lf_samePlace(s[0], s[1]) ||
        std::any_of(s.begin() + 1, s.end(), [](const StreamPoint& p) { return p.stationary != 0; }) ||
        !(lf_bendCornerPassed(ac, lf_position(s[0])) || lf_bendTurned(ac, lf_position(s[0]))))
        return false;
    const std::vector<double> headings = lf_pathHeadings(ac);
    return !headings.empty() &&
           lf_angleDeg(gf_bearing(lf_position(s[0]), lf_position(s[1])), headings.back()) > kTurnInPlaceDeg;
}

// The braking before a turn in place when the aircraft arrives still rolling
// (it moved in the tick before), straight ahead as gf_taxiBraking plans it.
// The leg bearing and the start turn become those from where it stops.
struct Braking {
    std::int32_t ticks = 0;  // 0: standing, no braking
    double legM = 0.0;       // from where it stops to the next point
    double runM = 0.0;       // from where it brakes to where it stops
};
Braking lf_planBraking(LiveAc& ac) {
    MotionState& m = ac.motion;
    m.brakeTicksLeft = 0;
    m.brakeTicks = 0;
    const double v = gf_rollingStepM(ac);  // m a tick
    if (!(v > 0.0) || ac.stream.size() < 2) return {};
    const TaxiBraking plan = gf_taxiBraking(v);
    const std::int32_t n = plan.ticks;
    const LaLo stop = gf_taxiBrakingStop(ac, plan);
    const LaLo next = lf_position(ac.stream[1]);
    m.brakeTicksLeft = n;
    m.brakeTicks = n;
    m.brakeStepM = v;
    m.brakeBearing = ac.pose.heading;
    m.legBearing = gf_bearing(stop, next);
    m.startTurnAngleDeg = lf_angleDeg(m.legBearing, ac.pose.heading);
    return {n, gf_distanceNm(stop, next) * metresPerNm, plan.runM};
}

// How far (m) the way a leg of `legM` sets off along runs on straight: the
// leg, and the legs after it while each keeps within a finished turn's
// tolerance of its bearing, up to a point the aircraft comes to rest at. Where
// the reports happen to fall along a straight taxiway tells nothing of how
// much of it the nose crosses while it comes round: a heavy turning 90
// degrees off a corner reported at walking pace, its next report 16 m on
// along a taxiway that ran on straight for 100 m more, turned all of it on
// the spot and came 12 s late to the reports after the corner.
double lf_wayOnInLineM(const LiveAc& ac, double legM) {
    const auto& s = ac.stream;
    const MotionState& m = ac.motion;
    double wayM = legM;
    if (!std::isfinite(m.legBearing) || m.legEndsAtRest != 0) return wayM;
    for (std::size_t i = 1; i + 1 < s.size() && s[i].stationary == 0 && s[i + 1].stationary == 0; ++i) {
        if (lf_samePlace(s[i], s[i + 1])) break;
        if (lf_angleDeg(gf_bearing(lf_position(s[i]), lf_position(s[i + 1])), m.legBearing) > kTurnInPlaceDoneDeg)
            break;
        wayM += lf_flatNm(s[i], s[i + 1]) * metresPerNm;
    }
    return wayM;
}

// Points the engine put in on the way to the report ahead (a corner's entry,
// a speed change's midpoint) are timed by their share of the way or speed, as if the aircraft went evenly from
// where it stands. One that stands until it must set off (ready to leave
// `readyTicks` from now, its turn made) reaches them at the speed it goes
// on at, the fastest reported by the next points: each falls due as far
// before the report as that speed takes from it to the report, never
// sooner than it was. Timed by its share, a departure that waited after its
// turn ran to the corner's entry on time at 12 kt and then crept the last
// 12 m to its report in 9 s.
void lf_timeWayPointsFromRest(LiveAc& ac, double readyTicks) {
    auto& s = ac.stream;
    const auto putIn = [&](std::size_t i) { return s[i].synthetic != 0 || s[i].midpoint != 0; };
    std::size_t reportAt = 1;
    while (reportAt + 1 < s.size() && putIn(reportAt) && s[reportAt].stationary == 0) ++reportAt;
    if (reportAt < 2 || reportAt >= s.size() || putIn(reportAt) || s[reportAt].stationary != 0 ||
        ac.motion.legEndsAtRest != 0)
        return;
    double kt = 0.0;
    for (std::size_t i = 1; i < s.size() && i <= 3; ++i)
        if (s[i].stationary == 0 && std::isfinite(s[i].groundSpeedKt)) kt = std::max(kt, s[i].groundSpeedKt);
    const double step = kt * kKnotsToMps / 100.0;  // m a tick
    if (!(step > 0.0)) return;
    double wayM = 0.0;
    for (std::size_t i = 0; i < reportAt; ++i) wayM += lf_flatNm(s[i], s[i + 1]) * metresPerNm;
    const double own = wayM / step + lf_restChangeTicks(step * 100.0);
    const double left = static_cast<double>(std::int64_t{s[reportAt].playTick} - tickCount.load()) - readyTicks;
    if (!std::isfinite(own) || !(left > own)) return;
    double toReportM = 0.0;
    for (std::size_t i = reportAt - 1; i >= 1; --i) {
        toReportM += lf_flatNm(s[i], s[i + 1]) * metresPerNm;
        const double due = static_cast<double>(s[reportAt].playTick) - std::ceil(toReportM / step);
        if (due > static_cast<double>(s[i].playTick) && due < static_cast<double>(s[i + 1].playTick))
            s[i].playTick = gf_tickPlus(0, static_cast<std::int64_t>(due));
    }
}

// A large start turn while taxiing is made on the spot before the aircraft
// moves: the leg is delayed by the turn. `ownTicks` is the leg's time at its
// own speed, `legTicks` as a late leg catches up. True when it was planned.
bool lf_turnInPlace(LiveAc& ac, std::int32_t ownTicks, std::int32_t legTicks) {
    MotionState& m = ac.motion;
    // Turned at the rate of a standing aircraft, the most the pose step plays
    // on the ground (1.2 times the category's rate): not at a fitted rate
    // above it, or the aircraft reaches the point's time still turning on the
    // spot and jumps to it; nor at a rate slowed to spread a turn along a
    // leg, which would only hold it on the spot longer.
    const double rate = kGroundTurnCap * ac.turnRateRad;
    if (ac.phase != AcPhase::taxi || lf_pathValid(m) || ac.extrapolationCount > 0 || m.startTurn == 0) return false;
    if (!std::isfinite(m.startTurnAngleDeg) ||
        !(m.startTurnAngleDeg > kTurnInPlaceDeg || m.turnInPlaceAllowed != 0))
        return false;
    if (!(std::isfinite(rate) && rate > 0.0)) return false;
    // A leg whose reports are quicker over the ground than the speed they
    // give (a tow reporting 2 kt while its positions move 6) has no more
    // time of its own than they leave it: timed at that speed after the
    // turn it crawled and fell a minute behind.
    const std::int32_t streamTicks = gf_ticksBetween(tickCount.load(), ac.stream[1].playTick);
    if (streamTicks >= kMinLegTicks && streamTicks < ownTicks) {
        ownTicks = streamTicks;
        legTicks = std::min(legTicks, streamTicks);
    }
    // Still rolling, it cannot stop dead on the point: it brakes to rest
    // straight on, and turns where it stands; the leg then runs from there.
    const Braking braking = lf_planBraking(ac);
    // Setting off from rest (after a pushback or a hold) late already, on a
    // leg long enough that the nose comes along it within its first tenth,
    // it sets off once the nose is as near the leg as a straight leg may
    // start, finishing the turn as it rolls: a heavy turning the last 15
    // degrees on the spot too stood 2.5 s more, and then could not make up a
    // 300 m leg at twice its pace. So does one that braked to rest a little
    // way past its point, no further than a tenth of the leg on from where
    // it stops: it stands all but where the leg sets off, and the leg runs
    // on nearly as from there (a late taxi whose reports came again after a
    // pause braked 3.7 m past where dead reckoning had it, turned 89 degrees
    // on the spot, the last 15 too, and came 5.5 s late after 231 m). On
    // time, on a short leg it would cross half sideways, or after braking
    // far past its corner (the leg from where it stops doubling back), it
    // faces the leg before moving.
    m.turnInPlaceDoneDeg = 0.0;
    double doneDeg = kTurnInPlaceDoneDeg;
    const double plannedM = lf_flatNm(ac.stream[0], ac.stream[1]) * metresPerNm;
    const double rollingTurnTicks = (kRollingTurnDoneDeg - kTurnInPlaceDoneDeg) * degreesToRadians / rate;
    const double rollingTurnM = kTaxiSpeedChangePerTick * rollingTurnTicks * rollingTurnTicks / 2.0;
    const double spotTurnTicks = (m.startTurnAngleDeg - kRollingTurnDoneDeg) * degreesToRadians / rate;
    const std::int64_t dueAsReported = std::int64_t{ac.stream[1].playTick} - m.streamLagTicks;
    const double turnEnds =
        static_cast<double>(tickCount.load()) + braking.ticks + spotTurnTicks + rollingTurnTicks;
    const bool late = turnEnds + legTicks > static_cast<double>(dueAsReported);
    const bool stopsNearLegStart = braking.ticks == 0 || kRollingTurnLegShare * braking.runM <= braking.legM;
    // The leg runs from where the aircraft stops, or where it stands.
    const double legM = braking.ticks > 0 ? braking.legM : plannedM;
    const double setOffLegM = lf_wayOnInLineM(ac, legM);
    // A hold ended early by the whole turn's time (hoverRetime) ends as
    // reported only once the whole turn is made where it stands: setting off
    // with the last of it left, the aircraft left its reported stand early.
    // The leg may end short of the report the hold was cut for, at a point
    // put in on the way to it.
    bool holdCutForTurn = false;
    for (std::size_t i = 1; i < ac.stream.size() && i <= 2 && m.turnHoldCutTicks > 0 && !holdCutForTurn; ++i)
        holdCutForTurn = gf_isSamePlace(m.turnHoldCutFor, lf_position(ac.stream[i]));
    if (!holdCutForTurn && stopsNearLegStart && late && spotTurnTicks >= kMinLegTicks &&
        std::isfinite(setOffLegM) && setOffLegM >= kRollingTurnLegShare * rollingTurnM)
        doneDeg = kRollingTurnDoneDeg;
    const double turn = std::max(0.0, (m.startTurnAngleDeg - doneDeg) * degreesToRadians) / rate;
    const std::int32_t turnTicks = gf_ticksFromCount(std::ceil(turn), 0);
    // The leg starts from rest, where the aircraft stopped, at its speed:
    // speeding up to it at the taxi rate takes half the time of the speed-up
    // longer.
    const double legMps = plannedM / (legTicks / 100.0);
    double ticks = legTicks;
    double own = ownTicks;
    if (braking.ticks > 0 && plannedM > 0.0) {
        ticks *= braking.legM / plannedM;
        own *= braking.legM / plannedM;
    }
    if (std::isfinite(legMps)) ticks += lf_restChangeTicks(legMps);
    // The reports' time for the leg went on turning too: what is left of it
    // after the turn is the leg's, but never so little that it goes faster
    // than a late taxi catches up from its own speed, however late it runs,
    // speeding up from rest
    // (and braking to it, into a hold) at the taxi rate.
    const double restEnds = m.legEndsAtRest != 0 ? 2.0 : 1.0;
    // Above its own pace, though, no faster than a late leg catches up from
    // the speeds reported around it: catching up from the pace of positions closer in
    // time than their speeds (a turn-entry point due soon after a stand,
    // reports squeezed after a pause) is a speed no report gives.
    // So is the pace its positions moved at across a pause: an aircraft
    // that came to rest where its reports paused, turning toward a report
    // 200 m on that its positions reached at 10 kt, held to twice the 6 kt
    // that report gave, came 9 s late to it and to the turn after.
    // Taken from the report the leg runs to, past a turn's entry put in
    // before it, and no further than a speed change's midpoint: that gives
    // the pace its reports kept across the leg it splits, the one the leg
    // after it catches up from too, not the pace it copied from the point
    // before it (how that point was reached). A taxi that came to rest
    // where its reports paused, its positions having kept 9.5 kt across the
    // pause and the report after it giving 6.4, drove the first 86 m toward
    // the midpoint at its own pace of 13.8 kt where the 9.5 allowed 19, and
    // came 11.7 s late to the reports round the corner after it.
    const std::size_t reportAt = lf_reportAhead(ac.stream);
    const StreamPoint* report = reportAt != 0 && reportAt <= kPacedAheadPoints ? &ac.stream[reportAt] : nullptr;
    const double pacedKt = report == nullptr ? 0.0 : report->midpoint != 0 ? report->splitPacedKt : report->pacedKt;
    const double pace = legM / std::max(1.0, own);  // m a tick
    // So is the leg's own pace when the aircraft rolls into it (it was on
    // its way, dead reckoning over a pause or taxiing on, when the turn
    // proved too large to make rolling) and its point falls due as reported
    // seconds on: the reports ask that pace from where it rolls, whatever
    // speeds they give. Held to twice the 7.6 kt its report gave, a heavy
    // dead-reckoned to the corner its reports paused at for 42 s braked,
    // turned 90 degrees on the spot there and came 7.7 s late to that
    // report 200 m on. Not from where it stands: a point due soon after a
    // stand or a hold has a time no report gave it. Nor where the reports
    // give the pace their positions kept across the pause: that pace is
    // theirs, where the one from where the aircraft rolls counts the time
    // its own dead reckoning, braking and turn spent, and twice it is a
    // speed no report asks. A DH8D dead-reckoned past its corner, turning
    // 96 degrees on the spot toward a report 230 m on, raced at 29.5 kt
    // (twice the 14.8 from where it stopped) where its reports kept 10.5
    // across the pause and gave 13.9 and 10.
    // Where the reports keep a pace while moving, it is that pace the leg
    // catches up from, not the faster speeds they give: a tow whose reports
    // gave 6.2 kt while their positions kept 5.4 set off from its turn at
    // 12.3. Not across a wait they tell (from rest, or a crawl slower than
    // half the speed reported after it and than half its own pace): there
    // the pace counts the standing too, and the aircraft sets off at the
    // speed reported after it.
    const bool rollsIn = braking.ticks > 0 && !(pacedKt > 0.0) &&
                         dueAsReported - tickCount.load() >= kPaceLeastS * 100.0;
    const double aheadKt = std::max(ac.stream[1].groundSpeedKt, lf_reportedAheadKt(ac.stream));
    const double frontKt = ac.stream[0].groundSpeedKt;
    const bool waits = frontKt < 1.0 || (frontKt < aheadKt / 2.0 && pacedKt < aheadKt / 2.0);
    const double reportedKt =
        pacedKt > 0.0 && !waits
            ? pacedKt
            : std::max({frontKt, aheadKt, pacedKt, rollsIn ? pace * 100.0 * kMpsToKnots : 0.0});
    double fastest = gf_groundCatchUpMostKt(pace * 100.0 * kMpsToKnots) * kKnotsToMps / 100.0;
    if (reportedKt > 0.0)
        fastest = std::min(fastest, std::max(pace, gf_groundCatchUpMostKt(reportedKt) * kKnotsToMps / 100.0));
    const double toFastestM = restEnds * fastest * fastest / (2.0 * kTaxiSpeedChangePerTick);
    const double leastToFastest =
        legM > toFastestM ? legM / fastest + restEnds * fastest / (2.0 * kTaxiSpeedChangePerTick) : 0.0;
    const double fromRest = std::ceil(std::sqrt(2.0 * restEnds * legM / kTaxiSpeedChangePerTick));
    // Reports that still leave the leg its own time once the aircraft has
    // braked and turned (they turned on the spot as slowly) owe it nothing
    // to catch up: taken out of its own time instead, the turn would send a
    // leg due half a minute on at twice its speed.
    lf_timeWayPointsFromRest(ac, braking.ticks + std::max(kMinLegTicks, turnTicks));
    const auto leftAfterTurn =
        static_cast<double>(std::int64_t{ac.stream[1].playTick} - m.streamLagTicks - tickCount.load() -
                            braking.ticks - std::max(kMinLegTicks, turnTicks));
    ticks = std::max({std::min(ticks, leftAfterTurn), ticks - turnTicks,
                      std::isfinite(leastToFastest) ? leastToFastest : 0.0, std::isfinite(fromRest) ? fromRest : 0.0});
    // Reports that leave it more than its own time after the turn, speeding
    // up from rest included, keep their time: it stands where it turned
    // until it must set off (the leg from rest is played so). Timed at its
    // own speed, a departure that turned 105 degrees after its pushback set
    // off at once for a report 40 m on, came to it 7.5 s early and crawled
    // on at half the speed its reports gave.
    const double ownFromRest = own + (std::isfinite(legMps) ? lf_restChangeTicks(plannedM / (own / 100.0)) : 0.0);
    if (std::isfinite(ownFromRest) && leftAfterTurn > ownFromRest) ticks = std::max(ticks, leftAfterTurn);
    // A leg longer than the ground step eases from rest would be played
    // evenly, setting off at its full speed within a tick: it is given no
    // more time than can be eased (only a leg of kilometres, a position far
    // off, comes to that).
    if (ticks > kLongestEasedLegTicks && fromRest <= kLongestEasedLegTicks) ticks = kLongestEasedLegTicks;
    legTicks = gf_ticksFromCount(std::ceil(ticks), kMinLegTicks);
    ac.turnRateLimit = rate;
    m.legTimeOverride = 1;
    // Where its reports had it standing it turns where it stands; anywhere
    // else (braked on its way, or where its dead reckoning ran out) it creeps
    // round, but for a point behind it: creeping on away from that only
    // makes the turn larger (a taxi turning back for a stop 15 m behind it
    // never got there).
    m.turnInPlaceCreeps = !(ac.stream[0].groundSpeedKt < kStandingKt) && m.startTurnAngleDeg <= kCreepMostTurnDeg;
    m.legTimeOverrideTicks = legTicks;
    if (doneDeg > kTurnInPlaceDoneDeg) m.turnInPlaceDoneDeg = doneDeg;
    const std::int64_t total = std::int64_t{braking.ticks} + std::max(kMinLegTicks, turnTicks) + legTicks;
    retimeNextPoint(ac, static_cast<int>(std::min<std::int64_t>(total, std::numeric_limits<std::int32_t>::max())));
    const std::int32_t wanted = gf_tickPlus(tickCount.load(), total);
    const std::int32_t due = ac.stream[1].playTick;
    if (due < wanted) gf_shiftLaterPoints(ac, 1, std::int64_t{wanted} - due);
    return true;
}

// The headings along the leg's ground turn or curved leg, unwrapped, at
// evenly spaced fractions of its length. Empty without a usable path.
std::vector<double> lf_pathHeadings(const LiveAc& ac) {
    const MotionState& m = ac.motion;
    const bool turn = lf_groundTurnValid(m);
    if (!turn && !lf_curveValid(m)) return {};
    std::vector<double> out;
    out.reserve(kPathScanSteps + 1);
    for (int k = 0; k <= kPathScanSteps; ++k) {
        const double f = static_cast<double>(k) / kPathScanSteps;
        const CurvePoint p =
            turn ? sampleGroundTurn(m.path.turn, f) : sampleCurvedLeg(m.path.curve, std::min(f, kLastCurveProgress));
        if (!p.valid || !std::isfinite(p.heading)) return {};
        out.push_back(out.empty() ? p.heading : out.back() + std::remainder(p.heading - out.back(), fullCircle));
    }
    return out;
}

// The path's heading at the fraction `f` of its length, between the headings
// `lf_pathHeadings` gives.
double lf_pathHeadingAt(const std::vector<double>& headings, double f) {
    const double x = f * kPathScanSteps;
    const auto k = static_cast<std::size_t>(std::clamp(std::floor(x), 0.0, kPathScanSteps - 1.0));
    return std::lerp(headings[k], headings[k + 1], x - static_cast<double>(k));
}

// The most the nose may lag the path's heading (radians) along a bend: a few
// degrees, or what it lags where the path starts off it, which no slower
// leg mends.
double lf_allowedBendLag(const std::vector<double>& headings, double nose) {
    return std::max(kMostBendLagDeg * degreesToRadians,
                    std::fabs(std::remainder(nose - headings.front(), fullCircle)) + 1.0 * degreesToRadians);
}

// How far the nose falls behind the path's heading (radians) when the leg is
// played in `ticks`, the heading following the path at no more than `rate` a
// tick and `progressAt(i)` the share of the path covered by tick i, as the
// pose step plays it.
template <typename ProgressAt>
double lf_worstLagAlong(const std::vector<double>& headings, double startHeading, std::int32_t ticks, double rate,
                        ProgressAt progressAt) {
    double h = headings.front() + std::remainder(startHeading - headings.front(), fullCircle);
    double worst = 0.0;
    for (std::int32_t i = 1; i <= ticks; ++i) {
        const double target = lf_pathHeadingAt(headings, std::clamp(progressAt(i), 0.0, 1.0));
        h += std::clamp(target - h, -rate, rate);
        worst = std::max(worst, std::fabs(target - h));
    }
    return worst;
}

// The same with the progress eased by the leg's speed change.
double lf_worstLag(const std::vector<double>& headings, double startHeading, std::int32_t ticks, int easing,
                   double rate) {
    return lf_worstLagAlong(headings, startHeading, ticks, rate,
                            [&](std::int32_t i) { return easeValue(static_cast<double>(i) / ticks, easing); });
}

std::int32_t lf_ticksForBend(const LiveAc& ac, std::int32_t legTicks, double rate, bool* slides = nullptr);

// A ground turn from or to rest that ends on its corner (the corner stays
// the next point) whose bend the nose cannot follow however much later the
// point is let fall due (a turn set off from rest in line with the corner
// and swinging onto the next leg in its last metres) is not driven: waiting
// the widest the retiming allows only to slide through it anyway, the
// aircraft fell half a minute behind at each. The leg goes straight to the
// corner instead, where the next leg's start turn takes it round. True when
// the turn was dropped.
// So is one braking to rest on its corner that the nose follows only when
// the corner falls due later than its report by more than the retiming
// allows: it stops there anyway, and turns there for the next leg. Stretched
// until the nose kept up, a taxi braking from 8 kt onto a corner 24 m on,
// where the turn hooked 36 degrees onto the next leg in its last 3 m, crept
// there at 2 kt for 20 s where its reports left it 9, and ran 13 s behind.
bool lf_dropUnfollowableCornerTurn(LiveAc& ac, double legNm, std::int32_t legTicks, double rate) {
    MotionState& m = ac.motion;
    // A leg rolling on at an even speed slows where the bend needs it
    // instead (its bend schedule); one from rest has none, and one to rest
    // is judged here as though it had none.
    if (!lf_groundTurnValid(m) || m.path.turn.cornerEnd == 0 || (m.speedChangeKind == 0 && m.legEndsAtRest == 0) ||
        !std::isfinite(rate) || !(rate > 0.0))
        return false;
    const double bearing = gf_bearing(lf_pose(ac), lf_position(ac.stream[1]));
    const double angleDeg = lf_angleDeg(bearing, ac.pose.heading);
    if (!std::isfinite(angleDeg) || angleDeg > kTurnInPlaceDeg) return false;
    const std::vector<double> headings = lf_pathHeadings(ac);
    if (headings.empty()) return false;
    const double allowed = lf_allowedBendLag(headings, ac.pose.heading);
    const bool toRest = m.speedChangeKind == 2 || m.legEndsAtRest != 0;
    const std::int32_t dueTicks = gf_ticksBetween(tickCount.load(), ac.stream[1].playTick);
    const bool overdue =
        toRest && lf_ticksForBend(ac, legTicks, rate) > std::int64_t{std::max(legTicks, dueTicks)} + m.delayLimit;
    if (!overdue && lf_worstLag(headings, ac.pose.heading, legTicks + kWideRetimeLimit,
                                static_cast<int>(m.speedChangeKind), rate) <= allowed)
        return false;
    resetMotionPath(m.path);
    m.scheduleCount = 0;
    m.legBearing = bearing;
    m.startTurnAngleDeg = angleDeg;
    m.startTurn = angleDeg > kStartTurnDeg ? 1 : 0;
    ac.turnRateLimit = gf_groundSpeedFactor(ac.stream[0].groundSpeedKt) * ac.turnRateRad;
    if (m.startTurn != 0) lf_fitTurn(ac, legNm, legTicks);
    return true;
}

// The ticks a taxi leg along a ground turn or curved leg needs so that the
// nose never falls more than a few degrees behind the path: a bend taken in
// the time of its length over the speed may ask for more heading change a
// tick than the pose step plays on the ground, the aircraft then sliding
// sideways through it. `legTicks` when that time is enough, else up to the
// widest delay the stream allows. `slides`, when given, is set when even that
// leaves the nose further behind than a bend may.
std::int32_t lf_ticksForBend(const LiveAc& ac, std::int32_t legTicks, double rate, bool* slides) {
    const std::vector<double> headings = lf_pathHeadings(ac);
    if (headings.empty() || !(rate > 0.0)) return legTicks;
    // A taxi leg from rest is played at an even speed once it has sped up at
    // the taxi rate (the rest leg's schedule), not eased over its whole
    // length: judged eased, a tow setting off from rest into the bend onto
    // its stand seemed to reach the bend at twice its speed, and was given
    // the widest delay for a nose that keeps up as it is played.
    const auto kind = ac.motion.speedChangeKind;
    const int easing = ac.phase == AcPhase::taxi && kind == 1 ? 0 : static_cast<int>(kind);
    // One braking to rest from the speed it rolls at is played at an even
    // speed reached from that one, braking at the taxi rate at its end, and
    // is judged so: judged eased over its whole length, a tow braking onto
    // its stand round a bend in the leg's first metres seemed to take them
    // at twice its mean speed, and was stretched 7 s past its report's time.
    const double rolling = gf_rollingStepM(ac);
    const double playedM = ac.stream.size() >= 2 ? gf_distanceNm(lf_pose(ac), lf_position(ac.stream[1])) * metresPerNm
                                                 : MotionState::unknown;
    const auto lagIn = [&](std::int32_t ticks) {
        if (ac.phase == AcPhase::taxi && kind == 2 && rolling > 0.0) {
            const std::vector<double> shares = gf_brakeToRestShares(ticks, playedM, rolling);
            if (!shares.empty()) {
                std::vector<double> along(shares.size() + 1, 0.0);
                for (std::size_t i = 0; i < shares.size(); ++i) along[i + 1] = along[i] + shares[i];
                return lf_worstLagAlong(headings, ac.pose.heading, ticks, rate,
                                        [&](std::int32_t i) { return along[static_cast<std::size_t>(i)]; });
            }
        }
        return lf_worstLag(headings, ac.pose.heading, ticks, easing, rate);
    };
    const double allowed = lf_allowedBendLag(headings, ac.pose.heading);
    const double ownLag = lagIn(legTicks);
    if (ownLag <= allowed) return legTicks;
    // A leg braking to rest round a bend the nose cannot follow within that
    // even at the widest delay is taken in the least time that keeps the
    // nose within a few degrees of the best the widest delay gives: waiting
    // the whole of it bought a tow braking into its stand round such a bend
    // nothing but 27 s of lag. A leg that rolls on through the bend keeps
    // the widest delay: taken sooner, its nose slid 40 degrees off its
    // travel at taxi speed.
    // A leg no faster than walking pace, played evenly, is stretched for its
    // bend no further than the reports' own time for it: at that pace the
    // nose turns as the aircraft rolls, a little behind through a tight
    // bend's last metres, as a faster leg's bend schedule takes its
    // tightest stretch at walking pace. Stretched until the nose kept to
    // the path, a 37 degree hook at the end of a 5.7 m leg took 30 s at
    // 0.4 kt, and the aircraft fell 10 s behind its reports.
    std::int32_t good = legTicks + kWideRetimeLimit;
    const double lengthM = gf_bendLengthM(ac);
    if (easing == 0 && ac.stream.size() >= 2 && lengthM / legTicks <= kMovingKt * kKnotsToMps / 100.0)
        good = std::clamp(gf_ticksBetween(tickCount.load(), ac.stream[1].playTick), legTicks, good);
    const double widestLag = lagIn(good);
    if (slides != nullptr) *slides = widestLag > allowed;
    const bool toRest = kind == 2 || ac.motion.legEndsAtRest != 0;
    if (widestLag > allowed && !toRest) return good;
    const double enough = widestLag > allowed ? widestLag + kBendLagOverBestDeg * degreesToRadians : allowed;
    if (ownLag <= enough) return legTicks;
    std::int32_t bad = legTicks;
    while (good - bad > kBendTimingStepTicks) {
        const std::int32_t mid = bad + (good - bad) / 2;
        if (lagIn(mid) <= enough)
            good = mid;
        else
            bad = mid;
    }
    return good;
}

// The shares of the path each tick covers along a bend of `lengthM` whose
// nose turns at most `rate` a tick: no faster than `ownAt(k)` on stretch k,
// slower only where the path bends faster than the nose can turn, speeding
// and slowing at the taxi rate. A leg that sets off from rest or a crawl
// gives the share a tick it starts at as `setOff` (negative for one that
// rolls on); one that ends at rest (`toRest`) brakes to it at the taxi rate
// along its last metres. `nose` is the heading it sets off with. Empty when
// the path gives none.
template <typename OwnAt>
std::vector<double> lf_bendShares(const std::vector<double>& headings, double lengthM, std::int32_t legTicks,
                                  double rate, double setOff, bool toRest, double nose, OwnAt ownAt) {
    // Per tick, in shares of the path: the leg's own step, the step at which
    // each stretch turns the nose at most 90 % of the rate, and the change
    // the taxi rate allows.
    const double own = 1.0 / legTicks;
    const double change = kTaxiSpeedChangePerTick / lengthM;
    const double stretch = 1.0 / kPathScanSteps;
    std::vector<double> most(kPathScanSteps);
    for (int k = 0; k < kPathScanSteps; ++k) {
        const double turnPerShare = std::fabs(headings[k + 1] - headings[k]) / stretch;
        most[k] = turnPerShare > 0.0 ? std::min(ownAt(k), 0.9 * rate / turnPerShare) : ownAt(k);
    }
    // A bend so tight that the nose would have the aircraft almost stop
    // (a curve through points a few metres apart kinks at its end) is taken
    // at walking pace there, the nose a little behind for those metres:
    // stretching the whole leg instead would make it that slow throughout,
    // and a stop in the middle of a bend is no taxi.
    const double slowest = kMovingKt * kKnotsToMps / 100.0 / lengthM;
    for (double& v : most) v = std::max(v, std::min(own, slowest));
    // A leg from rest sets off at the taxi rate: the speed it has at the end
    // of each stretch is no more than that rate gives it from a standstill
    // (or from the crawl it left). Its nose follows a bend that tightens
    // where it stands as it creeps off; judged at an even speed, such a bend
    // seemed beyond the nose however slow the leg, and was given the widest
    // delay.
    const bool fromRest = setOff >= 0.0;
    const auto fromStandstill = [&](int k) { return std::sqrt(setOff * setOff + 2.0 * change * stretch * (k + 1)); };
    if (fromRest) most[0] = std::min(most[0], fromStandstill(0));
    for (int k = kPathScanSteps - 2; k >= 0; --k)
        most[k] = std::min(most[k], std::sqrt(most[k + 1] * most[k + 1] + 2.0 * change * stretch));
    for (int k = 1; k < kPathScanSteps; ++k)
        most[k] = std::min(most[k], std::sqrt(most[k - 1] * most[k - 1] + 2.0 * change * stretch));
    // A leg slower than walking pace throughout is played evenly (not
    // counting where it is still speeding up from rest).
    for (int k = 1; k < kPathScanSteps; ++k)
        if (most[k] < slowest && !(fromRest && fromStandstill(k) < slowest)) return {};
    const std::int64_t longest = std::int64_t{legTicks} + kWideRetimeLimit;
    // Through such a stretch the nose falls behind, and it is still behind
    // where the path opens out: the aircraft keeps to walking pace until the
    // nose is back within a bend's lag of the path, then speeds up at the
    // taxi rate. Sped up as soon as the path opened, a regional jet rounding
    // a 73 degree corner whose turn swung 59 degrees in its first 2.3 m ran
    // at 14 kt with its nose 40 degrees off its travel.
    const double allowed = lf_allowedBendLag(headings, nose);
    const double held = std::min(own, slowest);
    double h = headings.front() + std::remainder(nose - headings.front(), fullCircle);
    double ramp = std::numeric_limits<double>::infinity();
    std::vector<double> shares;
    double f = 0.0;
    while (f < 1.0) {
        const auto k = static_cast<std::size_t>(std::clamp(std::floor(f * kPathScanSteps), 0.0, kPathScanSteps - 1.0));
        double step = std::min(most[k], 1.0 - f);
        if (std::fabs(lf_pathHeadingAt(headings, f) - h) > allowed)
            ramp = held;
        else
            ramp += change;
        step = std::min(step, ramp);
        if (toRest) step = std::min(step, std::sqrt(2.0 * change * (1.0 - f)));
        // The leg ends on a whole step: a last sliver of one would look like
        // a stop at the point before the next leg sets off.
        if (1.0 - f - step < 0.5 * step) step = 1.0 - f;
        if (!(step > 0.0) || static_cast<std::int64_t>(shares.size()) >= longest) return {};
        shares.push_back(step);
        f += step;
        const double target = lf_pathHeadingAt(headings, std::min(f, 1.0));
        h += std::clamp(target - h, -rate, rate);
    }
    return shares;
}

// The leg along a bend taken at its own speed where the path lets the nose
// keep up, and slower only where it bends faster than the nose can turn:
// the share of the path each tick covers, speeding and slowing at the taxi
// rate. Stretching the whole leg evenly instead makes it as slow throughout
// as its tightest part needs, and the aircraft falls far behind its reports
// at every corner. A leg into a point where the aircraft comes to rest (it
// holds there, or slows into it as its stream ends) brakes to it at the
// taxi rate at the end of the schedule: not braked, a taxi slowing from
// 20 kt into a stop round a corner reached it at 20 kt and came to rest 15 m
// past it. Timed evenly instead, an arrival whose exit turn swung 40 degrees
// in its first metres took 25 s for its 55 m at the pace that swing allowed
// and came 14 s late to the corner it stopped at. The schedule goes into the
// motion state; its ticks come back, 0 when the path gives none.
std::int32_t lf_bendSchedule(LiveAc& ac, std::int32_t legTicks, double rate) {
    MotionState& m = ac.motion;
    const std::vector<double> headings = lf_pathHeadings(ac);
    if (headings.empty() || !(rate > 0.0) || legTicks <= 0 || ac.stream.size() < 2) return 0;
    const double lengthM = gf_bendLengthM(ac);
    if (!(lengthM > 0.0) || !std::isfinite(lengthM)) return 0;
    // A bend planned where the taxi stands, or crawls slower than walking
    // pace, sets off from there at the taxi rate: one braked into a point
    // just before it crawls the last centimetres while its nose comes round;
    // taken at the bend's own speed from the next tick, it left that crawl
    // harder than any aircraft speeds up.
    const double crawl = gf_rollingStepM(ac);
    double setOff = -1.0;
    if (ac.phase == AcPhase::taxi && m.speedChangeKind == 1)
        setOff = 0.0;
    else if (ac.phase == AcPhase::taxi && m.lastStepTick != 0 && crawl * 100.0 * kMpsToKnots < kMovingKt)
        setOff = crawl / lengthM;
    const double own = 1.0 / legTicks;
    const bool toRest = m.legEndsAtRest != 0 || m.speedChangeKind == 2;
    std::vector<double> shares =
        lf_bendShares(headings, lengthM, legTicks, rate, setOff, toRest, ac.pose.heading, [own](int) { return own; });
    // Where the nose keeps up the aircraft goes faster than the leg's even
    // speed, up to what the reports at its ends say it goes (at most the
    // catch-up's pace), so that the time the turning stretch takes comes
    // back on the straight: the reports are slow where the aircraft turned
    // and fast where it ran straight (a far exit off the runway, turning
    // its 77 degrees from a crawl in its first metres and then speeding up
    // to 21 kt), and the leg timed at their mean was played 5.5 s late.
    // It speeds up from the speed it rolls at and comes down to the speed
    // reported at the leg's end at the taxi rate; the leg ends no sooner
    // than its time. The reports the bend passes by count as its ends do:
    // a far exit between two bends has both ends reported slow, the
    // straight between them fast (7 kt at each end, 12.5 between: held to
    // its ends, the leg was stretched evenly to its tight start's pace and
    // came 5 s late to its end).
    const std::size_t evenCount = shares.size();
    const double reportedKt =
        std::max({ac.stream[0].groundSpeedKt, ac.stream[1].groundSpeedKt, m.path.passedReportedKt});
    const double ownKt = lengthM * own * 100.0 * kMpsToKnots;
    const double topKt = std::min({reportedKt, gf_groundCatchUpMostKt(ownKt), kFastestRollKt});
    const double top = std::isfinite(topKt) ? topKt * kKnotsToMps / 100.0 / lengthM : 0.0;
    if (!shares.empty() && evenCount > static_cast<std::size_t>(legTicks) && top > own) {
        const double rolling = gf_rollingStepM(ac) / lengthM;
        const double endAt = ac.stream[1].groundSpeedKt * kKnotsToMps / 100.0 / lengthM;
        const auto faster = [&](double cap) {
            return lf_bendShares(headings, lengthM, legTicks, rate, setOff, toRest, ac.pose.heading, [&](int k) {
                if (k == 0) return std::min(cap, std::max(own, rolling));
                if (k == kPathScanSteps - 1) return std::min(cap, std::max(own, endAt));
                return cap;
            });
        };
        const auto fits = [&](const std::vector<double>& v) {
            return !v.empty() && v.size() >= static_cast<std::size_t>(legTicks);
        };
        std::vector<double> best = faster(top);
        if (!fits(best)) {
            // The fastest cap that still takes the leg's whole time: any
            // faster, it would reach the point before it falls due.
            double lo = own;
            double hi = top;
            best = shares;
            for (int i = 0; i < kBendCapSearchSteps; ++i) {
                const double mid = 0.5 * (lo + hi);
                std::vector<double> v = faster(mid);
                if (fits(v)) {
                    lo = mid;
                    best = std::move(v);
                } else {
                    hi = mid;
                }
            }
        }
        if (!best.empty() && best.size() < evenCount) shares = std::move(best);
    }
    if (shares.empty()) return 0;
    m.schedule = std::move(shares);
    m.scheduleIndex = 0;
    m.scheduleCount = static_cast<std::uint32_t>(m.schedule.size());
    return static_cast<std::int32_t>(m.schedule.size());
}

// A taxi leg between two points that report no speed (a held position, a
// near-duplicate report kept as a stationary copy, a turn-entry point copied
// from one of them) is timed from their play ticks. Retiming around the held
// position can bring those within a few ticks of each other, and the aircraft
// would cross the metres between in a fraction of a second: such a leg is
// taken no faster than the points after it report. The same on a landing
// roll (points stamped a tick apart after the approach ran late), which
// moreover only slows: no faster than the aircraft rolls now either.
double lf_taxiLegSpeed(const LiveAc& ac, double speedKt) {
    const auto& s = ac.stream;
    if (s.size() < 2 || s[0].groundSpeedKt > 0.0 || s[1].groundSpeedKt > 0.0) return speedKt;
    double mostKt = 0.0;
    if (ac.phase == AcPhase::landing_roll)
        mostKt = std::max(gf_rollingStepM(ac) * 100.0 * kMpsToKnots, lf_reportedAheadKt(s));
    else if (ac.phase == AcPhase::taxi && s.size() >= 3)
        mostKt = lf_reportedAheadKt(s);
    return mostKt > 0.0 ? std::min(speedKt, mostKt) : speedKt;
}

// A leg of a drive onto a stand is timed at no less than the pace the drive
// gave the point it leads to: that pace timed the point, and the aircraft
// reaches it at the taxi rate in a moment (the leg's schedule gives that the
// time it needs). Timed at the mean with the crawl it still rolled at, a tow
// whose dead reckoning had all but stopped it when its stand's report came
// took 32 s for the 47 m the drive gave 24, and stood on its stand 8 s after
// its report had it there.
double lf_driveLegSpeed(const LiveAc& ac, double speedKt) {
    const auto& s = ac.stream;
    if (ac.phase != AcPhase::parking || s.size() < 2 || s[1].stationary != 0 || !std::isfinite(s[1].groundSpeedKt))
        return speedKt;
    return std::max(speedKt, s[1].groundSpeedKt);
}

// The quickest a leg at speed catching up at `mostKt` is taken when the
// aircraft rolls slower than that: it speeds up at the taxi rate to that
// speed, and is never faster. Timed as if it went at that speed from the
// leg's first tick, a short leg could only be played by speeding up past it
// (rolling at 11 kt into a leg timed at 24, it peaked at 34) and slowing on
// the next; 0 when that does not apply.
std::int64_t lf_catchUpFromRollTicks(const LiveAc& ac, std::int32_t legTicks, double speedKt, double mostKt) {
    const MotionState& m = ac.motion;
    const double v0 = gf_rollingStepM(ac);  // m a tick
    const double top = mostKt * kKnotsToMps / 100.0;
    const double legM = speedKt * kKnotsToMps / 100.0 * legTicks;
    // Only a leg from a point reported moving, rolled on from: what moved
    // the aircraft before a point at rest (a pushback ending, a creep into
    // a hold) is no speed it goes on at. So is a point reported (or put in)
    // slower, not at rest, that the aircraft rolls through at a taxi pace:
    // the speed it has is what it speeds up from (from a midpoint at half a
    // 1.7 kt report, rolled through at 12.7 kt, a leg timed at its 25 kt
    // catch-up peaked at 31). A leg that turns on the spot first sets off
    // from rest after the turn, which times its own speed-up. A point the
    // engine put in carries no reported speed at all, at rest or not: one
    // put in where a departure set off from its turn on the spot, rolled
    // through at 12.8 kt, had its leg timed at its 21 kt catch-up from the
    // first tick, and it peaked past what its reports' pace allows.
    const StreamPoint& front = ac.stream[0];
    const bool rolledThrough = front.stationary == 0 && (front.groundSpeedKt > 0.0 || front.synthetic != 0) &&
                               v0 * 100.0 * kMpsToKnots > kMovingKt;
    const bool turnsOnTheSpot = m.startTurn != 0 && std::isfinite(m.startTurnAngleDeg) &&
                                (m.startTurnAngleDeg > kTurnInPlaceDeg || m.turnInPlaceAllowed != 0);
    // One that brakes to rest at its end (to turn on the spot at its point,
    // or to hold there) brakes from that speed at the taxi rate as well:
    // timed as if it rolled on, a departure speeding up from the 6 kt it
    // rounded a bend at, its leg ending at rest at a corner 114 m on,
    // cruised at 20 kt where its reports' pace allowed 16.
    if (m.speedChangeKind != 0 || turnsOnTheSpot || !(front.groundSpeedKt > kMovingKt || rolledThrough) ||
        !(v0 > 0.0) || !std::isfinite(top) || !(v0 < top) || !std::isfinite(legM) || !(legM > 0.0))
        return 0;
    const double a = kTaxiSpeedChangePerTick;
    const double upTicks = (top - v0) / a;
    const double upM = (v0 + top) / 2.0 * upTicks;
    const bool toRest = m.legEndsAtRest != 0;
    const double downTicks = toRest ? top / a : 0.0;
    const double downM = top / 2.0 * downTicks;
    double ticks = 0.0;
    if (upM + downM < legM) {
        ticks = upTicks + downTicks + (legM - upM - downM) / top;
    } else if (toRest) {
        // Never at that speed: speeding up to a peak and braking from it.
        const double peak = std::sqrt((2.0 * a * legM + v0 * v0) / 2.0);
        ticks = (peak - v0) / a + peak / a;
    } else {
        ticks = (std::sqrt(v0 * v0 + 2.0 * a * legM) - v0) / a;
    }
    return std::isfinite(ticks) ? static_cast<std::int64_t>(std::ceil(ticks)) : 0;
}

// The pace (kt) the reports keep across the leg ahead by their own positions
// and times, 0 where they give none (reports closer in time than a pace can
// be believed from, or no report ahead). From a report at the front, the
// pace the report after it kept from it by their own times, else (a point
// put in between them) the pace between their play ticks: play ticks of
// reports that came in different batches (a buffered one and the live one
// after it) lie further apart or closer than their times, and a taxi
// created late after a restart, caught up from the squeezed pace, ran past
// what a late taxi goes. From a speed change's midpoint the
// pace across the leg it split (or that of the report ahead, which may since
// have been taken out for a later one); into a midpoint, the pace across the
// leg it splits (its time is the mean of its ends', no report's); from any
// other point the engine put in (where dead reckoning or a pushback left the
// aircraft, a turn's entry, a landing roll's exit) the pace the report ahead
// kept from the report before it, and (`timed`) without one the pace its
// time gives where a report or a landing roll's pose gave that time.
// A late aircraft catches up from this pace, not from a faster speed the
// reports give, nor from the pace its own delay asks: the reports did not go
// that fast, and a pilot's eye sees a taxi go much beyond them.
// Not `timed`: only what the reports carry from their own times, even from
// a report at the front.
double lf_reportsKeptKt(const std::deque<StreamPoint>& s, bool timed = true) {
    const std::size_t reportAt = lf_reportAhead(s);
    if (reportAt == 0) return 0.0;
    const StreamPoint& report = s[reportAt];
    const bool fromReport = s[0].synthetic == 0 && s[0].midpoint == 0;
    const bool fromRollExit = s[0].synthetic != 0 && s[0].rollSynthetic != 0 && s[0].midpoint == 0;
    const std::int64_t reportedTicks = std::int64_t{report.playTick} - s[0].playTick;
    double kt = 0.0;
    if (s[0].midpoint != 0)
        kt = std::max(s[0].splitPacedKt, report.pacedKt);
    else if (report.midpoint != 0)
        kt = report.splitPacedKt;
    else if (!fromReport || !timed || reportAt == 1)
        kt = report.pacedKt;
    if (timed && !(kt > 0.0) && (fromReport || fromRollExit) && report.midpoint == 0 &&
        reportedTicks >= kPaceLeastS * 100.0)
        kt = lf_flatNm(s[0], report) * metresPerNm / (static_cast<double>(reportedTicks) / 100.0) * kMpsToKnots;
    return std::isfinite(kt) && kt > 0.0 ? kt : 0.0;
}

// Standing, on a leg whose point falls due (`dueTicks` from now) later than
// the leg at its speed and the speed-up from rest to it take: the leg keeps
// its point's time, and is played standing until the aircraft must set off
// (lf_restLegSchedule). Timed faster, it left at once, came seconds early
// and crawled on. Not one that turns on the spot first: its leg is timed
// after the turn (lf_turnInPlace). Nor one to a point put in on the way,
// timed by its share of the way to the report.
bool lf_standsUntilItMustSetOff(const LiveAc& ac, std::int32_t legTicks, double speedKt, std::int64_t dueTicks) {
    const MotionState& m = ac.motion;
    if (ac.phase != AcPhase::taxi || ac.onGround == 0 || m.lastStepTick == 0 || gf_rollingStepM(ac) > 0.0 ||
        !std::isfinite(speedKt) || !(speedKt > 0.0) || lf_reportAhead(ac.stream) != 1)
        return false;
    if (m.startTurn != 0 && std::isfinite(m.startTurnAngleDeg) &&
        (m.startTurnAngleDeg > kTurnInPlaceDeg || m.turnInPlaceAllowed != 0))
        return false;
    const double ownFromRest = legTicks + lf_restChangeTicks(speedKt * kKnotsToMps);
    return dueTicks > ownFromRest && dueTicks <= std::numeric_limits<std::int32_t>::max();
}

// A taxi leg timed at a reported speed well above the pace its reports keep
// by their own times (they give 17 kt while their positions move 9.5) would
// run ahead of them faster than a late taxi may catch up, and wait for them
// at every report: it takes the time a catch-up from that pace needs, as far
// as its point falls due (`dueTicks` from now). Above a slow pace by the
// catch-up's knots, not its share; and only a pace the reports carry: play
// ticks the retiming moved are no report's times.
// Nor does a leg under that pace go faster than it from the speed it rolls
// at: from a crawl it speeds up at the taxi rate, and a leg timed at its
// mean alone cruised far above the catch-up to cover its length in time (a
// departure slowed to 7 kt through a bend, its next leg timed at 16.6 kt
// where its reports kept 10.3, cruised at 23.6).
// The most (kt) a catch-up from the pace the reports keep across the leg
// goes, 0 where they keep none.
double lf_keptPaceMostKt(const LiveAc& ac) {
    const double keptKt = lf_reportsKeptKt(ac.stream, false);
    if (!(keptKt > 0.0)) return 0.0;
    return std::max(keptKt, std::min(kCatchUpMostFactor * keptKt + kCatchUpMostKt, kCatchUpOffRunwayMostKt));
}

std::int32_t lf_keptPaceTicks(const LiveAc& ac, std::int32_t legTicks, double speedKt, std::int64_t dueTicks) {
    if (lf_standsUntilItMustSetOff(ac, legTicks, speedKt, dueTicks)) return static_cast<std::int32_t>(dueTicks);
    const double mostKt = lf_keptPaceMostKt(ac);
    if (!(mostKt > 0.0) || !std::isfinite(speedKt) || !(speedKt > 0.0) || dueTicks <= legTicks) return legTicks;
    std::int64_t ticks = legTicks;
    if (speedKt > mostKt) ticks = std::min(static_cast<std::int64_t>(std::ceil(legTicks * speedKt / mostKt)), dueTicks);
    return static_cast<std::int32_t>(std::max(ticks, lf_catchUpFromRollTicks(ac, legTicks, speedKt, mostKt)));
}

// A taxi leg while the stream runs late (a bend, a turn on the spot or a
// speed change to or from rest took longer than the reports did): the leg is
// taken faster, as a late aircraft on the ground catches up (1.25 times its
// speed and 5 kt on, at most 30 kt: gf_groundCatchUpMostKt), until the next
// point falls due as reported. Without it the delay would stay for the rest
// of the taxi. Likewise an aircraft that reached its last point before the
// reports had it there (a slowdown timed at the mean of its end speeds where
// the reports slowed sooner, a bend taken at its own speed) gives that back
// on the next leg, taken down to half its speed but never past the point's
// due time: else every later leg, timed at its own speed, would run as far
// ahead of the reports for the rest of the taxi. Not a leg from rest: it
// would creep away from where it stood. Nor while the stream still runs
// late: a point a catch-up moved earlier was reached before the delay its
// time carried, not before its report, and slowing to the next point's time
// made the aircraft late at every report a bend through it took away (a
// corner just before a stand).
// A leg whose reported speeds are slower than its positions' own distance
// over time (reports sparse while the aircraft slowed, or came again after
// the stream ran dry) is taken faster in the same way: timed at its end
// speeds it would fall due late by itself, and the delay would never be
// given back.
std::int32_t lf_catchUpTicks(const LiveAc& ac, std::int32_t legTicks, double speedKt) {
    const MotionState& m = ac.motion;
    if (ac.phase != AcPhase::taxi || ac.stream.size() < 2 || ac.stream[1].stationary != 0 ||
        ac.extrapolationCount > 0)
        return legTicks;
    const std::int64_t dueAsReported = std::int64_t{ac.stream[1].playTick} - m.streamLagTicks;
    const std::int64_t late = std::int64_t{tickCount.load()} + legTicks - dueAsReported;
    // Given back or not, a leg from a slower roll takes no less than the
    // time speeding up to its catch-up needs: an arrival slowed to 20 kt
    // through its exit, a little ahead, had its next leg timed at the 34 kt
    // reported and cruised at 40 to cover it.
    if (late < 0 && m.frontAheadTicks > 0 && m.streamLagTicks <= 0 && m.legEndsAtRest == 0 &&
        ac.stream[0].groundSpeedKt > 0.0) {
        const double keptMostKt = lf_keptPaceMostKt(ac);
        const double mostKt = keptMostKt > 0.0 ? keptMostKt : gf_groundCatchUpMostKt(speedKt);
        return static_cast<std::int32_t>(
            std::max(std::int64_t{legTicks} + std::min<std::int64_t>({-late, m.frontAheadTicks, legTicks}),
                     lf_catchUpFromRollTicks(ac, legTicks, speedKt, mostKt)));
    }
    if (late < 0) return lf_keptPaceTicks(ac, legTicks, speedKt, legTicks - late);
    if (late <= 0) return legTicks;
    // Catching up from the leg's own speed or from the
    // fastest reported on the next points: a leg between the points the
    // engine put in (a rest point, a speed change's midpoint) has a speed
    // of its own far below what the reports around it say.
    // So do the positions' own distance over the time between them, for
    // reports slower than their positions move (a tow reporting 1 kt while
    // its positions cover 6): held to twice the reported speed, such a leg
    // fell further behind at every point. Only between reports seconds
    // apart: points stamped a tick apart give no pace to believe. A point
    // the engine put in on the way (a turn's entry point) is passed over to
    // the report after it: the leg into it is as late as that report (a
    // taxi that stood where its reports paused, 260 m behind the report
    // after the pause, crept to that point at twice the speed reported and
    // never caught up). From where it stands as well, as straight to the
    // report: the turn's entry on the way leaves the report its time (a tow
    // whose place was given again at no speed while it moved on stood there
    // 34 s, then held to the 4.1 kt reported for the 88 m its next report
    // left it 8.3 s for, came 11.6 s late to it). From a point put in where a
    // landing roll turns off (timed between the roll and the report after
    // it) it is: a roll whose reports paused 36 s, held to twice the 4.5 kt
    // reported after the pause, took 51 s for the 370 m its reports covered
    // at 27 kt and ran 27 s behind for the rest of its taxi.
    // From a speed change's midpoint the leg takes the pace its reports
    // kept, not the one its time gives: that time is the mean of its ends',
    // and the end before it may be timed by the engine (where a taxi came
    // to rest after its reports ran dry). A taxi that so stood 246 m short
    // of the report after a pause, whose reports kept 10.6 kt across it,
    // took 15.8 kt from the midpoint's time and raced at 31. Both the pace
    // across the leg the midpoint split and that of the report the leg runs
    // to count: the report after the midpoint may since have been taken out
    // for a later, slower one (a tow's last into its stand). The leg into
    // the midpoint (past a turn's entry put in before it) is part of the leg
    // the midpoint split and takes that pace too, from where the aircraft
    // stands as well: held to twice the 12.6 kt reported after a pause its
    // reports kept 28.5 kt across, a C172 that had come to rest 510 m short
    // of that report took 21 s for the first half of the 28 s they left it,
    // and came 7 s late.
    // Where the reports keep a pace of their own across the leg, that pace
    // is what the catch-up starts from, however fast or slow the speeds they
    // give: a departure dead-reckoned to rest over a 38 s pause, its reports
    // keeping 10.2 kt across it and the one after giving 13.4, caught up at
    // 23.7 kt where a pilot's eye allows 17.8.
    const auto& s = ac.stream;
    const std::size_t reportAt = lf_reportAhead(s);
    const double paceKt = lf_reportsKeptKt(s);
    const double baseKt =
        paceKt > 0.0 ? paceKt : std::max({speedKt, ac.stream[1].groundSpeedKt, lf_reportedAheadKt(ac.stream)});
    double mostKt = gf_groundCatchUpMostKt(baseKt);
    // From rest, a pace the positions kept far beyond the speed the report
    // gives (more than twice it and 20 kt on) is no pace the aircraft went:
    // the reports at no speed before it kept a place it had already left.
    // Such a leg goes no faster than a catch-up from the speed reported,
    // and comes a little late instead. Timed by the positions, a tow whose
    // place was so given again, its report 92 m on due 5.1 s later at 5.8
    // kt, raced there at 35 kt.
    if (s[0].stationary != 0 && reportAt != 0 && paceKt > 0.0 && std::isfinite(paceKt)) {
        const double reportedKt = s[reportAt].groundSpeedKt;
        if (reportedKt >= kMovingKt && paceKt > kOutrunShare * reportedKt + kOutrunSlackKt)
            mostKt = std::min(mostKt, gf_groundCatchUpMostKt(reportedKt));
    }
    const double faster = std::isfinite(speedKt) && speedKt > 0.0 && std::isfinite(mostKt) ? mostKt / speedKt : 1.0;
    const auto quickest = static_cast<std::int64_t>(std::ceil(legTicks / std::max(1.0, faster)));
    // A leg late by itself whose point falls due in less than half the
    // quickest catching up takes has a due tick the retiming squeezed (a
    // report after a held position), not a speed to believe: it keeps its
    // own time.
    if (m.streamLagTicks <= 0 && 2 * (legTicks - late) < quickest) return legTicks;
    std::int64_t ticks = std::max<std::int64_t>(
        {legTicks - late, quickest, lf_catchUpFromRollTicks(ac, legTicks, speedKt, mostKt), kMinLegTicks});
    // A late leg from a point the engine put in on the way (a turn's entry
    // point, a smoothing point) is not slowed below the speed the aircraft
    // rolls at: the point's speed is no report's, and the points after it
    // may report far slower than the aircraft must go to be on time (a
    // midpoint at half a 1.7 kt report, while the positions moved at 10
    // kt). Held to their catch-up, a taxi 10 s behind braked to a crawl for
    // the 12 m to the midpoint and then raced the rest at 34 kt. Never
    // before the point falls due as reported, and not into a stop or a
    // speed change of its own. Nor faster than a catch-up from the pace the
    // reports keep, where they keep one: rolling out of a turn on the spot
    // at 12.3 kt, a tow whose reports kept 5.4 went on so to its midpoint.
    const double v0 = gf_rollingStepM(ac);
    const double legM = speedKt * kKnotsToMps / 100.0 * legTicks;
    const double rollStep = paceKt > 0.0 ? std::min(v0, mostKt * kKnotsToMps / 100.0) : v0;
    if (s[0].synthetic != 0 && m.legEndsAtRest == 0 && m.speedChangeKind == 0 && rollStep > 0.0 &&
        std::isfinite(legM) && legM > 0.0) {
        const auto rollTicks = static_cast<std::int64_t>(std::ceil(legM / rollStep));
        ticks = std::min(ticks, std::max<std::int64_t>({rollTicks, legTicks - late, kMinLegTicks}));
    }
    return static_cast<std::int32_t>(ticks);
}

// Widens the delay the retiming allows the next point (up to the widest)
// so that it falls due no sooner than `legTicks` from now.
void lf_letPointFallDueAfter(LiveAc& ac, std::int32_t legTicks) {
    MotionState& m = ac.motion;
    const std::int64_t late = std::int64_t{tickCount.load()} + legTicks - std::int64_t{ac.stream[1].playTick};
    m.delayLimit =
        std::max(m.delayLimit, static_cast<std::int32_t>(std::min<std::int64_t>(late, kWideRetimeLimit)));
}

StreamPoint lf_streamPointAt(LaLo position, const LiveAc& ac, double headingRad) {
    StreamPoint p;
    p.lat = position.lat;
    p.lon = position.lon;
    p.altitudeFt = ac.pose.altitude;
    p.trackDeg = headingRad * radiansToDegrees;
    return p;
}

}  // namespace

void nextPosGround(LiveAc& ac) {
    // Ground legs are level, a stationary one too (whose leg the ground step
    // never plans): the pose must not keep a vertical speed an airborne leg
    // or a report without one left.
    ac.motion.legVerticalSpeed = 0.0;
    try {
        lf_nextPosGround(ac);
    } catch (const std::exception& e) {
        const AcBase& described = ac;
        gf_log(fmt::format("{}: {}, {}, sz:{}", "nextPosGround", e.what(), described, ac.stream.size()));
        throw;
    }
}

// Onto its stand a leg braking to rest from the pace the aircraft rolls at
// takes, as far as its point is due that late, what braking evenly from that
// pace over its length takes: timed at its start speed (the drive's wide
// retiming lets the stand fall due that soon) and played as a ramp from twice
// its mean, a tow's last 3.3 m onto its stand, due in 3.2 s, set off at 20 kt
// from 10 and stopped at 32 kt/s.
std::int32_t lf_standLegTicks(const LiveAc& ac, std::int32_t legTicks, double legNm) {
    const double v0 = gf_rollingStepM(ac);  // m a tick
    if (ac.phase != AcPhase::parking || ac.motion.speedChangeKind != 2 || ac.stream.size() < 2 ||
        !std::isfinite(legNm) || !(legNm > 0.0) || !(v0 > 0.0))
        return legTicks;
    const std::int32_t due = gf_ticksBetween(tickCount.load(), ac.stream[1].playTick);
    const std::int32_t braking = gf_ticksFromCount(std::ceil(2.0 * legNm * metresPerNm / v0), kMinLegTicks);
    return std::max(legTicks, std::min(due, braking));
}

// A leg of the drive onto a stand rolled into slower than the drive goes
// takes the time speeding up to the drive's speed at the taxi rate and going
// on at it needs, the point falling due that much later: timed at that speed
// from its first tick, a tow rolling at 5 kt into its 10 kt drive cruised at
// 11.5 to be on time, faster than its reports' 5 kt pace allows a tow.
std::int32_t lf_driveFromRollTicks(LiveAc& ac, std::int32_t legTicks, double speedKt) {
    if (ac.phase != AcPhase::parking || ac.stream.size() < 2) return legTicks;
    const auto ticks = std::max<std::int64_t>(legTicks, lf_catchUpFromRollTicks(ac, legTicks, speedKt, speedKt));
    if (ticks > legTicks) lf_letPointFallDueAfter(ac, static_cast<std::int32_t>(ticks));
    return static_cast<std::int32_t>(ticks);
}

// A landing roll's leg into a slower report that its two ends' mean speed
// would make later than a roll may fall behind its reports keeps to the
// report's time as far as rolling on at the speed the aircraft has, then
// braking at the taxi rate to the report's speed, gets it there: timed at
// that mean, a roll dead-reckoned over a 41 s pause (its guess braking harder
// than the aircraft did) took 38 s for the 530 m its report left it 28 s
// for, and came onto its exit 10 s late. A leg the mean makes a little late
// keeps its timing: the roll gives that back as it goes.
// Where rolling on is not quick enough either, the roll speeds up at the taxi
// rate as far as the time needs before it brakes, as one rolled on from rest
// does: held to the speed it had, a roll dead-reckoned to rest during a 38 s
// pause, set off again for the report after it and planned anew part way
// through its speeding up (the exit's report came), went on at the 32 kt it
// had reached where the reports left it 20 s for the 410 m to its exit turn,
// and passed the report in the exit 10.7 s late.
std::int32_t lf_rollOnTimeTicks(const LiveAc& ac, std::int32_t legTicks, double legNm) {
    const auto& s = ac.stream;
    if (ac.phase != AcPhase::landing_roll || ac.onGround == 0 || s.size() < 2 || s[1].stationary != 0 ||
        ac.motion.legEndsAtRest != 0 || !std::isfinite(legNm) || !(legNm > 0.0))
        return legTicks;
    const std::int32_t due = gf_ticksBetween(tickCount.load(), s[1].playTick);
    const double v0 = gf_rollingStepM(ac);  // m a tick
    const double endKt = s[1].groundSpeedKt;
    if (legTicks - due <= kLandingRollDelayLimitTicks || !(v0 > 0.0) || !std::isfinite(endKt) || endKt < 0.0)
        return legTicks;
    const double v1 = endKt * kKnotsToMps / 100.0;
    if (!(v1 < v0)) return legTicks;
    const double brakeTicks = (v0 - v1) / kTaxiSpeedChangePerTick;
    const double brakeM = (v0 + v1) / 2.0 * brakeTicks;
    const double legM = legNm * metresPerNm;
    if (!(legM >= brakeM)) return legTicks;
    // The quickest: speeding up straight into the braking, no even speed
    // between.
    const double a = kTaxiSpeedChangePerTick;
    const double peak = std::sqrt(a * legM + (v0 * v0 + v1 * v1) / 2.0);
    const std::int32_t least = gf_ticksFromCount(std::ceil((2.0 * peak - v0 - v1) / a), kMinLegTicks);
    return std::min(legTicks, std::max(due, least));
}

// The leg a forced takeoff lifts off on (gf_liftsOffOnLeg) is flown: as a
// late flying leg does, it keeps its point's time as far as going half as
// fast again as the mean of its ends' speeds lets it. Timed at that mean, a
// go-around that lifted off 2.4 km short of its first report in the air came
// to it 13.8 s late. A second or two is no delay but reports a little
// farther apart than their speed says: rushed by 1.1 s, a go-around that came
// to its report on its wheels missed the next one in its climb by 182 m.
std::int32_t lf_liftOffLegTicks(const LiveAc& ac, std::int32_t legTicks) {
    constexpr double kFlownCatchUpFactor = 1.5;
    constexpr std::int32_t kLateFromTicks = 200;
    if (!gf_liftsOffOnLeg(ac)) return legTicks;
    const std::int32_t due = gf_ticksBetween(tickCount.load(), ac.stream[1].playTick);
    if (legTicks - due <= kLateFromTicks) return legTicks;
    const auto quickest = static_cast<std::int32_t>(std::ceil(legTicks / kFlownCatchUpFactor));
    return std::clamp(due, std::min(quickest, legTicks), legTicks);
}

void planTaxiSpeed(LiveAc& ac) {
    if (ac.stream.size() >= 2 && ac.stream[1].stationary != 0) {
        hoverRetime(ac);
        return;
    }
    if (ac.stream.empty()) return;
    MotionState& m = ac.motion;
    ac.turnRateLimit = gf_groundSpeedFactor(ac.stream[0].groundSpeedKt) * ac.turnRateRad;
    // Braking to rest before a hold takes the time its braking needs: the
    // point put in where it stops falls due as it was put in.
    if (m.brakeToRest == kBrakingToRest) return;
    double legNm = 0.0;
    if (lf_groundTurnValid(m))
        legNm = m.path.turn.totalLength * kNmPerMetre;
    else if (ac.stream.size() >= 2)
        legNm = gf_distanceNm(lf_position(ac.stream[0]), lf_position(ac.stream[1]));
    const double speed = lf_driveLegSpeed(ac, lf_taxiLegSpeed(ac, groundSpeedForNextLeg(ac)));
    std::int32_t legTicks = kMinLegTicks;
    if (std::isfinite(legNm) && legNm > 0.0 && std::isfinite(speed) && speed > 0.0)
        legTicks = gf_legTicks(legNm, speed, kMinLegTicks);
    legTicks = lf_standLegTicks(ac, legTicks, legNm);
    legTicks = lf_driveFromRollTicks(ac, legTicks, speed);
    // It brakes to rest at the taxi rate at the end of the leg; the ground
    // step gives the leg the time that takes.
    if (lf_holdsAtNextPoint(ac, speed) || lf_turnsOnTheSpotAtNextPoint(ac, speed)) m.legEndsAtRest = 1;
    legTicks = lf_rollOnTimeTicks(ac, legTicks, legNm);
    legTicks = lf_liftOffLegTicks(ac, legTicks);
    const std::int32_t ownTicks = legTicks;
    legTicks = lf_catchUpTicks(ac, legTicks, speed);
    if (lf_pathValid(m) || m.startTurn != 0) lf_fitTurn(ac, legNm, legTicks);
    if (ac.stream.size() < 2) return;
    lf_lightBacktrack(ac);
    if (lf_turnInPlace(ac, ownTicks, legTicks)) return;
    if (ac.phase == AcPhase::taxi && lf_pathValid(m)) {
        // Taxiing only: the rolls on the runway play their bends on a speed
        // profile of their own, timed to the takeoff or the landing. On a
        // curved leg the heading follows the curve at the leg's turn rate,
        // which then is the most the pose step plays.
        const double cap = kGroundTurnCap * ac.turnRateRad;
        if (lf_dropUnfollowableCornerTurn(ac, legNm, legTicks, cap)) {
            retimeNextPoint(ac, legTicks);
            return;
        }
        if (!lf_groundTurnValid(m) && std::isfinite(cap)) ac.turnRateLimit = std::max(ac.turnRateLimit, cap);
        bool slides = false;
        std::int32_t needed = std::isfinite(cap) ? lf_ticksForBend(ac, legTicks, cap, &slides) : legTicks;
        // A bend the nose cannot follow at the leg's own pace is taken on a
        // schedule that slows only where it bends, when that is quicker than
        // the whole leg stretched. So is one braking to rest from the speed
        // it rolls at, the schedule braking to rest at its end: played at one
        // even speed, it crept the whole leg at the pace its tightest stretch
        // needs. An arrival slowing from 14 kt into an 85 degree corner at
        // the end of a 51 m leg, its stream ending on a creep 12 m past the
        // corner, crept the straight at 3 kt and passed the corner's report
        // 11 s late; one slowing from 16 kt into a bend that hooked 60
        // degrees in its last metres crawled the whole 47 m at 3 kt and came
        // 15 s late to the reports after it. A bend the nose falls behind
        // even at the widest delay takes the schedule however long it is:
        // the stretched leg is no bend the nose follows. A taxi braking from
        // 10.8 kt round a 74 degree bend onto the first report after a pause
        // slid through it with the nose 44 degrees off its travel, where the
        // schedule, 0.9 s longer, slowed through its tightest stretch. So
        // does a bend the nose slides through within the leg's own time: a
        // jet braking from 11 kt round a 74 degree bend, its leg stretched
        // evenly, slid through it with the nose 37 degrees off its travel.
        const bool brakesToRest = m.speedChangeKind == 2 && gf_rollingStepM(ac) > 0.0;
        if ((needed > legTicks || slides) && (m.speedChangeKind == 0 || m.speedChangeKind == 1 || brakesToRest)) {
            const std::int32_t scheduled = lf_bendSchedule(ac, legTicks, cap);
            if (scheduled > 0 && (scheduled < needed || slides))
                needed = scheduled;
            else
                m.scheduleCount = 0;
        }
        if (needed > legTicks) {
            // The point falls due that much later.
            legTicks = needed;
            lf_letPointFallDueAfter(ac, legTicks);
        }
    }
    // So does a late leg's catch-up: its quickest time is what the retiming
    // limits must let through. Those left from the landing roll (3 s)
    // squeezed the leg after a late roll into a few seconds and raced the
    // aircraft along it at twice the catch-up's pace. Likewise the longer
    // time a leg from a crawl takes to speed up no faster than its catch-up:
    // held to its point's time, it cruised past that catch-up regardless.
    if (ac.phase == AcPhase::taxi && legTicks != ownTicks) lf_letPointFallDueAfter(ac, legTicks);
    retimeNextPoint(ac, legTicks);
    // A bend's schedule fits its leg only when the retiming limits left the
    // point due when the schedule ends; else the leg is played evenly.
    if (m.scheduleCount > 0 && ac.stream.size() >= 2 &&
        gf_ticksBetween(tickCount.load(), ac.stream[1].playTick) != static_cast<std::int32_t>(m.scheduleCount))
        m.scheduleCount = 0;
}

void splitLegForSpeedChange(LiveAc& ac, bool slowStream) {
    if (ac.stream.size() < 2) return;
    const double a = ac.stream[0].groundSpeedKt;
    const double b = ac.stream[1].groundSpeedKt;
    if ((a <= 0.0 && b <= 0.0) || ac.phase == AcPhase::takeoff_roll || ac.phase == AcPhase::landing_roll) return;
    double thresholdM = 0.0;
    if (slowStream) {
        thresholdM = ac.prevPhase == AcPhase::landing_roll ? 40.0 : 50.0;
    } else {
        if (!(std::fabs(a - b) > 5.0)) return;
        thresholdM = std::lerp(60.0, 120.0, std::min(1.0, std::max(0.0, std::max(a, b) / 25.0)));
    }
    if (lf_flatNm(ac.stream[0], ac.stream[1]) * metresPerNm >= thresholdM) gf_insertMidpointInStream(ac);
}

void hoverRetime(LiveAc& ac) {
    if (ac.stream.empty()) return;
    const std::int32_t now = tickCount.load();
    // A taxi that runs behind its reports and now stands in a hold gives the
    // delay back there: it leaves when the reports have it leave, not that
    // much later (a hold after a pushback that ran long kept the whole delay
    // into the taxi after it). Not a hold the aircraft was given because its
    // stream ran dry: no report has it stand there.
    if (ac.phase == AcPhase::taxi && ac.onGround != 0 && ac.extrapolationCount <= 0 && ac.motion.streamLagTicks > 0 &&
        ac.stream.size() >= 2) {
        const std::int64_t room = std::int64_t{gf_ticksBetween(now, ac.stream[1].playTick)} - kMinLegTicks;
        const std::int64_t back = std::min<std::int64_t>(ac.motion.streamLagTicks, room);
        if (back > 0) gf_shiftLaterPoints(ac, 1, -back);
    }
    // The hold's last stretch before a leg that sets off far off the nose:
    // the aircraft turns on the spot while it stands, so the hold (the
    // copies it stands through) ends the turn's time sooner and the leg
    // leaves when the reports do.
    auto& s = ac.stream;
    std::size_t k = 1;
    while (k < s.size() && s[k].stationary != 0) ++k;
    if (ac.phase == AcPhase::taxi && ac.onGround != 0 && k >= 2 && k < s.size() && !(gf_rollingStepM(ac) > 0.0) &&
        s[k].groundSpeedKt > 0.0 && !gf_isSamePlace(lf_position(s[k - 1]), lf_position(s[k]))) {
        const double bearing = gf_bearing(lf_position(s[k - 1]), lf_position(s[k]));
        const double angleDeg = lf_angleDeg(bearing, ac.pose.heading);
        const double rate = kGroundTurnCap * ac.turnRateRad;  // radians a tick
        // Lining up for a takeoff the turn is rolled onto the runway, not
        // made where it stands.
        const bool linesUp = findTakeoffRunway(lf_position(s[k]), bearing).has_value();
        if (std::isfinite(angleDeg) && angleDeg > kTurnInPlaceDeg && std::isfinite(rate) && rate > 0.0 && !linesUp) {
            const double turnTicks = std::ceil((angleDeg - kTurnInPlaceDoneDeg) * degreesToRadians / rate);
            const double speed = s[k].groundSpeedKt;
            const double speedUpTicks = speed * kKnotsToMps / kTaxiSpeedChangePerTick / 100.0;
            const double legTicks =
                gf_legTicks(lf_flatNm(s[k - 1], s[k]), speed, kMinLegTicks) + std::ceil(speedUpTicks);
            // No sooner than the turn's time before the hold ends as
            // reported (before an earlier copy ended it sooner for this
            // leg): the leg after it keeps what the reports give it.
            const LaLo legPoint = lf_position(s[k]);
            MotionState& m = ac.motion;
            const bool cutBefore = m.turnHoldCutTicks > 0 && gf_isSamePlace(m.turnHoldCutFor, legPoint);
            const std::int64_t holdEnds = std::int64_t{s[k - 1].playTick} + (cutBefore ? m.turnHoldCutTicks : 0);
            const std::int64_t leave = std::max(std::int64_t{s[k].playTick} - std::llround(turnTicks + legTicks),
                                                holdEnds - std::llround(turnTicks));
            // It stands a least leg on each copy: more of them than fit
            // before it leaves hold it past that, turning only once it has
            // stepped through them all. An arrival already late for the leg
            // off a corner its reports crept round stood 2 s on eight copies
            // of its stop before it turned, and 1.75 s on seven at the next
            // corner. The last ones are kept: the hold's end is theirs.
            const auto fit = static_cast<std::size_t>(
                std::max<std::int64_t>(1, (leave - std::int64_t{now}) / kMinLegTicks));
            if (k - 1 > fit) {
                s.erase(s.begin() + 1, s.begin() + static_cast<std::ptrdiff_t>(k - fit));
                k = fit + 1;
            }
            for (std::size_t i = 1; i < k; ++i) {
                const std::int64_t earliest = std::int64_t{now} + static_cast<std::int64_t>(i) * kMinLegTicks;
                if (leave < std::int64_t{s[i].playTick})
                    s[i].playTick = gf_tickPlus(0, std::min<std::int64_t>(s[i].playTick, std::max(leave, earliest)));
            }
            m.turnHoldCutTicks = static_cast<std::int32_t>(std::max<std::int64_t>(0, holdEnds - s[k - 1].playTick));
            m.turnHoldCutFor = legPoint;
        }
    }
    const std::int32_t front = ac.stream[0].playTick;
    std::int64_t ticks = std::int64_t{gf_ticksBetween(now, front)} + kMinLegTicks;
    if (ac.stream.size() >= 2)
        ticks = std::int64_t{gf_ticksBetween(now, front)} +
                std::max(kMinLegTicks, gf_ticksBetween(front, ac.stream[1].playTick));
    retimeNextPoint(ac, static_cast<int>(std::clamp<std::int64_t>(ticks, kMinLegTicks,
                                                                  std::numeric_limits<std::int32_t>::max())));
}

bool isSlowTaxiStream(const LiveAc& ac) {
    if (ac.phase != AcPhase::taxi || ac.prevPhase == AcPhase::pushed_back || ac.prevPhase == AcPhase::parked ||
        ac.stream.empty())
        return false;
    for (std::size_t i = 0; i + 1 < ac.stream.size(); ++i)
        if (!(ac.stream[i].groundSpeedKt <= kSlowStreamKt)) return false;
    return gf_loadedAirport().fileLoaded;
}

Stand* try2Park(LiveAc& ac, bool slowStream) {
    if (!slowStream) return nullptr;
    if (ac.stream.empty()) {
        gf_logError(fmt::format("{} empty sz?", "try2Park"));
        return nullptr;
    }
    const StreamPoint& last = ac.stream.back();
    if (!(last.groundSpeedKt <= kComingToRestKt)) return nullptr;
    double distanceMetres = 0.0;
    Stand* stand = gf_findNearestStand(g_standTable, lf_position(last), ac, distanceMetres, false);
    if (stand != nullptr) startParkingAtStand(ac, *stand, false);
    return stand;
}

void drive2Stand(LiveAc& ac, LaLo standPos, double standHeadingRad, bool approachAllowed) {
    MotionState& m = ac.motion;
    auto& s = ac.stream;
    if (s.size() != 1) {
        gf_logError(fmt::format("{} unexpected stream size: {}, {}", "drive2Stand", s.size(), ac.callsign));
        if (s.empty()) return;
        s.resize(1);
    }
    const double h = standHeadingRad;
    const RelativePosition rel = gf_relativePosition(standPos, h, lf_pose(ac));
    const double d = rel.distanceM;
    const double headingDiff = lf_angleDeg(h, ac.pose.heading);
    const bool beyond = rel.along > 3.0;
    const bool approachNeeded = !beyond && (headingDiff >= 45.0 || d > 15.0 || std::fabs(rel.across) > 8.0);

    // On the stand already, near enough and aligned: it stops where it is.
    // Past the stand's point by any amount counts: a stand point a metre or
    // two behind it would be driven back to the long way round, nose first.
    // So does one run on past it along its axis, facing its way, as far as an
    // aircraft still counts as arrived there: driven back to, a tow its dead
    // reckoning had carried 14 m past looped 150 m round while its reports
    // stood on the stand.
    // Still rolling just short of the stand's point, it is judged where
    // braking straight on brings it to rest: driven onto the stand as a leg
    // of its own, the few decimetres left were timed at the speed it rolled
    // at and braked from it within a third of a second.
    const auto stopsOnStand = [&](const RelativePosition& at) {
        const double allowed = at.distanceM >= 12.0  ? 4.0
                               : at.distanceM <= 3.5 ? 10.0
                                                     : std::lerp(4.0, 10.0, (12.0 - at.distanceM) / 8.5);
        return at.along > 0.0 && at.distanceM <= 12.0 && headingDiff <= allowed;
    };
    const TaxiBraking rolling = gf_taxiBraking(gf_rollingStepM(ac));
    bool stopHere = false;
    if (!approachNeeded && rel.along > 0.0 && d <= 12.0) {
        stopHere = stopsOnStand(rel);
    } else if (beyond && d <= kMostStandMissM && std::fabs(rel.across) <= rel.along) {
        stopHere = headingDiff <= 4.0;
    } else if (!approachNeeded && rolling.ticks > 0) {
        stopHere = stopsOnStand(gf_relativePosition(
            standPos, h, gf_destinationPoint(lf_pose(ac), {ac.pose.heading, rolling.runM * feetPerMetre})));
    }
    if (!stopHere) {
        const double v = 0.8 * ac.taxiSpeedRef;
        std::int32_t standTicks = 0;
        if (approachNeeded || (approachAllowed && !beyond && rel.along <= -13.0 && std::fabs(rel.across) >= 1.0)) {
            const LaLo approach = gf_destinationPoint(standPos, {normalizeHeading(h + pi), 10.0 * feetPerMetre});
            StreamPoint p = lf_streamPointAt(approach, ac, h);
            p.groundSpeedKt = v;
            p.tasKt = v;
            p.playTick = gf_tickPlus(s.front().playTick, gf_legTicks(gf_distanceNm(lf_pose(ac), approach), v, 100));
            s.push_back(p);
            m.advanceLimit = kWideRetimeLimit;
            m.delayLimit = ac.phase == AcPhase::takeoff_roll ? kTakeoffDelayLimit : kWideRetimeLimit;
            standTicks = gf_legTicks(10.0 * kNmPerMetre, v, 100);
        } else {
            standTicks = gf_legTicks(d * kNmPerMetre, v, 100);
            if (beyond) {
                s.back().groundSpeedKt = 0.0;
                s.back().tasKt = 0.0;
            }
        }
        StreamPoint stand = lf_streamPointAt(standPos, ac, h);
        stand.playTick = gf_tickPlus(s.back().playTick, standTicks);
        stand.roll = ac.pose.bank;
        stand.hasRoll = 1;
        stand.trueHeading = h;
        stand.hasTrueHeading = 1;
        s.push_back(stand);
    } else if (rolling.ticks > 0) {
        // Still rolling where it stops (its dead reckoning ran it onto or
        // past the stand while the reports paused): it brakes to rest
        // straight on, as before any hold, not dead on the spot.
        StreamPoint rest = lf_streamPointAt(
            gf_destinationPoint(lf_pose(ac), {ac.pose.heading, rolling.runM * feetPerMetre}), ac, ac.pose.heading);
        rest.playTick = gf_tickPlus(tickCount.load(), rolling.ticks);
        s.push_back(rest);
    }
    StreamPoint stop = s.back();
    stop.stationary = 1;
    stop.playTick = gf_tickPlus(stop.playTick, 50);
    s.push_back(stop);
    m.legBearing = h;
    if (ac.extrapolationCount > 0) gf_endHolding(ac);
}

double gf_bendLengthM(const LiveAc& ac) {
    const MotionState& m = ac.motion;
    const bool turn = lf_groundTurnValid(m);
    if (!turn && !lf_curveValid(m)) return 0.0;
    double lengthM = 0.0;
    LaLo before{};
    for (int k = 0; k <= kPathScanSteps; ++k) {
        const double f = static_cast<double>(k) / kPathScanSteps;
        const CurvePoint p =
            turn ? sampleGroundTurn(m.path.turn, f) : sampleCurvedLeg(m.path.curve, std::min(f, kLastCurveProgress));
        if (k > 0) lengthM += gf_distanceNm(before, {p.lat, p.lon}) * metresPerNm;
        before = {p.lat, p.lon};
    }
    return lengthM;
}

bool gf_replanLegForNewCorner(LiveAc& ac) {
    auto& s = ac.stream;
    const MotionState& m = ac.motion;
    const std::int32_t now = tickCount.load();
    // Only the leg that ends at the stream's last point but one: with more
    // points known when it was planned, its corner was planned for too.
    // A landing roll whose new report turns off the runway at the corner is
    // planned again too: from here it comes to rest on the corner, where the
    // taxi turns on the spot.
    // So is a bend's leg planned before the report after its end came, once
    // the aircraft has passed the bend's corner, however many reports came
    // meanwhile: the bend still brings it onto its end on a heading the
    // corner there turns sharply off. Refused while still short of the
    // bend's corner, it was never planned again as the reports after it
    // came, and the aircraft braked past the corner to turn on the spot.
    const bool roll = lf_rollsIntoTurnOffCorner(ac, 0);
    if (ac.simState != AcSimState::active || (ac.phase != AcPhase::taxi && !roll) || ac.onGround == 0 ||
        ac.extrapolationCount > 0 || m.holding != 0 || s.size() < 2 ||
        (s.size() > 2 && !lf_bendPassedIntoUnplannedCorner(ac)) || s[0].stationary != 0 ||
        s[1].stationary != 0 || s[0].synthetic != 0 || lf_samePlace(s[0], s[1]))
        return false;
    // A straight leg at speed (changing it or not): a bend, a turn on the
    // spot, a braking or a speed change to or from rest has a plan of its
    // own. A leg that began with a bend (its start turn, or a turn through
    // the point before, taken along a curve) and has turned it runs straight
    // on to the corner as well: without the new report it arrived at speed
    // and braked past the corner to turn there on the spot. So does one still
    // on the S-curve its start turn was smoothed into: a tow whose reports
    // came again after a gap just past its lane's corner drove the diagonal
    // to that report and turned 80 degrees on the spot there, 14 s behind.
    if ((lf_pathValid(m) && !lf_bendTurned(ac, lf_position(s[0])) && !lf_startTurnOnly(ac, lf_position(s[0])) &&
         !lf_bendCornerPassed(ac, lf_position(s[0]))) ||
        m.brakeToRest != 0 || m.legTimeOverride != 0 || m.legEndsAtRest != 0 ||
        (m.speedChangeKind != 0 && m.speedChangeKind != 1))
        return false;
    const double stepM = gf_rollingStepM(ac);
    if (!(stepM > 0.0)) return false;
    const LaLo pose = lf_pose(ac);
    const double leftM = gf_distanceNm(pose, lf_position(s[0])) * metresPerNm;
    // A leg from rest is a leg at speed once it has sped up: it rolls on
    // evenly at the pace that meets the corner on time. Still speeding up,
    // it has the rest of its speed change to make. Left unplanned, a taxi
    // that had set off after its pushback rolled 180 m at 13 kt into a
    // 40 degree corner the reports bent round, braked past it and turned on
    // the spot there, and twice more after, 22 s behind.
    if (m.speedChangeKind == 1 &&
        !(stepM * std::max(1, gf_ticksBetween(now, s[0].playTick)) >= kSpedUpShare * leftM))
        return false;
    // The corner is the turn from the heading the aircraft arrives with: on
    // the leg's bearing once straight, whatever the nose still has to come
    // round out of a start turn. Judged by the nose alone, a B772 rolling out
    // of a 7 degree start turn read a 32 degree corner 130 m ahead as 29, was
    // not planned again, braked past the corner and turned 83 degrees on the
    // spot there, 12 s behind.
    const double outBearing = gf_bearing(lf_position(s[0]), lf_position(s[1]));
    const double cornerDeg = std::max(lf_angleDeg(outBearing, ac.pose.heading),
                                      lf_angleDeg(outBearing, gf_bearing(pose, lf_position(s[0]))));
    // So is a leg into a report of no speed once a report at rest comes just
    // past its end: the aircraft came to rest there. Planned before that
    // report came, the leg ran on at taxi pace and the aircraft stopped dead
    // at its end. It must still be able to brake to rest there.
    const bool stops = s.size() == 2 && !(s[0].groundSpeedKt <= kMostGroundKt) && lf_restsJustAfter(s, 0);
    // A roll must still be able to brake to rest on the corner at the taxi
    // rate.
    const double leastM = stops ? gf_taxiBraking(stepM).runM
                          : roll ? std::max(kLeastReplanM, gf_taxiBraking(stepM).runM)
                                 : kLeastReplanM;
    if (!(cornerDeg > kTurnInPlaceDeg || stops) || !(leftM >= leastM) ||
        gf_ticksBetween(now, s[0].playTick) <= kMinLegTicks)
        return false;
    // The aircraft's place now becomes the point the leg starts from, due at
    // once: the next tick plans the leg to the corner with the report after
    // it, from there and at the speed it rolls.
    StreamPoint here = s[0];
    here.lat = pose.lat;
    here.lon = pose.lon;
    here.groundSpeedKt = stepM * 100.0 * kMpsToKnots;
    here.tasKt = here.groundSpeedKt;
    here.trackDeg = ac.pose.heading * radiansToDegrees;
    here.playTick = gf_tickPlus(now, 1);
    here.synthetic = 1;
    here.rollSynthetic = 1;
    s.insert(s.begin(), here);
    return true;
}

double gf_rollingStepM(const LiveAc& ac) {
    const MotionState& m = ac.motion;
    const bool rolling =
        m.lastStepTick >= tickCount.load() - 1 && std::isfinite(m.lastStepM) && m.lastStepM > kRestStepM;
    return rolling ? m.lastStepM : 0.0;
}

TaxiBraking gf_taxiBraking(double stepM) {
    if (!std::isfinite(stepM) || !(stepM > 0.0)) return {};
    const double mps = stepM * 100.0;
    const double a = std::min(std::max(kTaxiSpeedChangePerTick, mps * mps / (2.0 * kMostBrakingRunM) * 1e-4),
                              kHardestTaxiBrakingPerTick);
    const std::int32_t n = gf_ticksFromCount(std::ceil(stepM / a), 1);
    // Step k of n is v (1 - k / (n + 1)): n v / 2 in all.
    return {n, stepM * n / 2.0};
}

LaLo gf_taxiBrakingStop(const LiveAc& ac, const TaxiBraking& braking) {
    LaLo stop = gf_destinationPoint(lf_pose(ac), {ac.pose.heading, braking.runM * feetPerMetre});
    gf_normalizeLaLo(stop);
    return stop;
}

std::size_t gf_momentaryHoldEnd(const LiveAc& ac, std::size_t i) {
    const auto& s = ac.stream;
    if (ac.phase != AcPhase::taxi || ac.onGround == 0 || i + 2 >= s.size() || s[i].stationary != 0 ||
        s[i + 1].stationary == 0)
        return 0;
    std::size_t k = i + 1;
    bool momentary = true;
    for (; k < s.size() && s[k].stationary != 0; ++k)
        if (gf_ticksBetween(s[i].playTick, s[k].playTick) > kMinLegTicks) momentary = false;
    if (k >= s.size()) return 0;
    if (momentary) return k;
    // Copies of a moving report (the feed repeats the last position, at no
    // speed, while the aircraft moves on) whose next report lies further
    // than catching up covers in the time left after them, but no further
    // than the reported speeds cover from the moving report on: the aircraft
    // never stood there. Held, it would stand and then race (or fall half a
    // minute behind) to a point it reaches by rolling on. So are copies
    // after which no start from rest at the taxi rate gets there in time,
    // when the time from the moving report on leaves no room for a stop and
    // a start again at the reported speed: a copy 1.4 s after a report at
    // 9.5 kt, the next report 20 m on 2.8 s after the copy (its mean speed
    // well within a catch-up, but 9 m from rest), 4.2 s after the moving
    // report (the 20 m at 9.5 kt).
    const double reportedKt = std::max(s[i].groundSpeedKt, s[k].groundSpeedKt);
    if (!(s[i].groundSpeedKt > kMovingKt) || !(s[k].groundSpeedKt > kMovingKt)) return 0;
    for (std::size_t j = i + 1; j < k; ++j)
        if (!gf_isSamePlace(lf_position(s[j]), lf_position(s[i]))) return 0;
    const double nm = gf_distanceNm(lf_position(s[i]), lf_position(s[k]));
    const std::int32_t afterTicks = std::max(1, gf_ticksBetween(s[k - 1].playTick, s[k].playTick));
    const std::int32_t throughTicks = std::max(1, gf_ticksBetween(s[i].playTick, s[k].playTick));
    const double afterKt = gf_speedKtOver(nm, afterTicks);
    const double throughKt = gf_speedKtOver(nm, throughTicks);
    const double mostKt = gf_groundCatchUpMostKt(reportedKt);
    if (!(throughKt <= mostKt)) return 0;
    if (afterKt > mostKt) return k;
    const double mps = reportedKt * kKnotsToMps;
    const double stopAndGoS = nm * metresPerNm / mps + lf_restChangeTicks(mps) / 100.0;
    return nm * metresPerNm > gf_reachFromRestM(mostKt, afterTicks) && throughTicks / 100.0 < stopAndGoS ? k : 0;
}

bool gf_dropCopiesStoodTooLong(LiveAc& ac) {
    auto& s = ac.stream;
    if (ac.phase != AcPhase::taxi || ac.onGround == 0 || s.size() < 3 || s[0].stationary != 0 ||
        s[1].stationary == 0)
        return false;
    std::size_t k = 1;
    for (; k < s.size() && s[k].stationary != 0; ++k)
        if (!gf_isSamePlace(lf_position(s[k]), lf_position(s[0]))) return false;
    if (k >= s.size() || !(s[0].groundSpeedKt > kMovingKt) || !(s[k].groundSpeedKt > kMovingKt)) return false;
    const double reportedKt = std::max(s[0].groundSpeedKt, s[k].groundSpeedKt);
    if (!(reportedKt <= kMostGroundKt)) return false;
    const double mostKt = gf_groundCatchUpMostKt(reportedKt);
    const double nm = gf_distanceNm(lf_position(s[0]), lf_position(s[k]));
    // The reports go on at a pace a late taxi keeps from the moving point
    // (a position miles off is no move).
    if (!(gf_speedKtOver(nm, std::max(1, gf_ticksBetween(s[0].playTick, s[k].playTick))) <= mostKt)) return false;
    std::size_t j = k;
    // The first copy stays: a stop there may be real, only standing on
    // past the time to leave is not.
    while (j > 2 && nm * metresPerNm > gf_reachFromRestM(mostKt, std::max(1, gf_ticksBetween(s[j - 1].playTick,
                                                                                              s[k].playTick))))
        --j;
    if (j == k) return false;
    s.erase(s.begin() + static_cast<std::ptrdiff_t>(j), s.begin() + static_cast<std::ptrdiff_t>(k));
    return true;
}

namespace {

constexpr double kStaleCopiesShare = 2.0;
constexpr double kStaleCopiesSlackKt = 25.0;

// Copies of where the aircraft stands (the feed repeats the position at no
// speed while the aircraft moves on) after which the next report lies
// further on than any taxi goes in the time after the last of them (more
// than twice its reported speed and 25 kt on): the aircraft never stood
// there all that time, it drove off before the copies ended. Kept, it stood
// until the last one and then fell 15-30 s behind the report 200 m on, due
// a few seconds later. They are dropped: the aircraft waits only until it
// must leave to be there at its reported speed. A position miles off is no
// move: the copies stand. So is a pace no taxi goes after the last copy,
// unless the whole way from where it stands, over the whole time from there,
// is a taxi's pace (200 m half a second after the copies, 20 s after the
// stop): then the last copy came late, not the move. True when they were
// dropped.
bool lf_dropStaleRestCopies(LiveAc& ac) {
    auto& s = ac.stream;
    std::size_t k = 1;
    while (k < s.size() && s[k].stationary != 0 && gf_isSamePlace(lf_position(s[k]), lf_position(s[0]))) ++k;
    if (k < 2 || k >= s.size() || s[k].stationary != 0) return false;
    const double kt = s[k].groundSpeedKt;
    if (!std::isfinite(kt) || !(kt > kMovingKt) || kt > kMostGroundKt) return false;
    const double mostKt = kStaleCopiesShare * kt + kStaleCopiesSlackKt;
    const double nm = gf_distanceNm(lf_position(s[k - 1]), lf_position(s[k]));
    const double afterKt = gf_speedKtOver(nm, std::max(1, gf_ticksBetween(s[k - 1].playTick, s[k].playTick)));
    if (!(afterKt > mostKt)) return false;
    if (afterKt > kMostGroundKt) {
        const double throughNm = gf_distanceNm(lf_position(s[0]), lf_position(s[k]));
        const double throughKt =
            gf_speedKtOver(throughNm, std::max(1, gf_ticksBetween(s[0].playTick, s[k].playTick)));
        if (!(throughKt <= mostKt)) return false;
    }
    s.erase(s.begin() + 1, s.begin() + static_cast<std::ptrdiff_t>(k));
    return true;
}

}  // namespace

bool gf_waitAtRestForReports(LiveAc& ac) {
    auto& s = ac.stream;
    if (ac.phase != AcPhase::taxi || ac.onGround == 0 || ac.extrapolationCount > 0 || s.size() < 2 ||
        !(s[0].groundSpeedKt <= 0.0) || gf_rollingStepM(ac) > 0.0)
        return false;
    if (s[1].stationary != 0 && !lf_dropStaleRestCopies(ac)) return false;
    // One that must turn on the spot first sets off as it is: what the
    // turn takes is not known here.
    const double bearing = gf_bearing(lf_position(s[0]), lf_position(s[1]));
    if (std::fabs(std::remainder(bearing - ac.pose.heading, fullCircle)) > kTurnInPlaceDeg * degreesToRadians)
        return false;
    const double legNm = gf_distanceNm(lf_position(s[0]), lf_position(s[1]));
    const double speed = groundSpeedForNextLeg(ac);
    if (!std::isfinite(legNm) || !(legNm > 0.0) || !std::isfinite(speed) || !(speed > 0.0)) return false;
    // The leg at its speed and the whole speed-up from rest on top.
    const double speedUpTicks = speed * kKnotsToMps / kTaxiSpeedChangePerTick / 100.0;
    const std::int64_t ownTicks = gf_legTicks(legNm, speed, kMinLegTicks) + std::llround(speedUpTicks);
    const std::int64_t dueAsReported = std::int64_t{s[1].playTick} - ac.motion.streamLagTicks;
    const std::int64_t leave = dueAsReported - ownTicks;
    if (leave - tickCount.load() <= kMinLegTicks) return false;
    StreamPoint hold = s[0];
    hold.stationary = 1;
    hold.groundSpeedKt = 0.0;
    hold.playTick = gf_tickPlus(0, leave);
    s.insert(s.begin() + 1, hold);
    return true;
}

bool gf_bendTooTightToFollow(const LiveAc& ac, std::int32_t legTicks) {
    const MotionState& m = ac.motion;
    const double cap = kGroundTurnCap * ac.turnRateRad;
    if (ac.phase != AcPhase::taxi || !lf_pathValid(m) || !std::isfinite(cap) || !(cap > 0.0)) return false;
    const std::vector<double> headings = lf_pathHeadings(ac);
    if (headings.empty()) return false;
    return lf_worstLag(headings, ac.pose.heading, legTicks + kWideRetimeLimit, static_cast<int>(m.speedChangeKind),
                       cap) > kMostBendSlideDeg * degreesToRadians;
}
