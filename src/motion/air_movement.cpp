#include "motion/air_movement.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <span>
#include <stdexcept>
#include <vector>

#include "airports/current_airport.h"
#include "engine/controls.h"
#include "engine/decode.h"
#include "engine/engine_state.h"
#include "engine/geometry.h"
#include "engine/removal.h"
#include "foundation/geodesy.h"
#include "motion/air_config.h"
#include "motion/flight_phases.h"
#include "motion/motion_math.h"
#include "motion/next_position.h"
#include "motion/tick_math.h"
#include "motion/touchdown.h"
#include "simlink/sim_link.h"

namespace {

// Degrees (the turn rate degrees per second), Light .. Rotorcraft.
struct AirCategoryRow {
    double pitchRateDeg;
    double bankLimitDeg;
    double bankRateDeg;
    double turnRateDegPerS;
};
constexpr std::array<AirCategoryRow, 7> kAirRows{{
    {0.01, 40.0, 0.035, 8.0},
    {0.009, 37.5, 0.03, 8.0},
    {0.0085, 35.0, 0.0275, 8.0},
    {0.0075, 30.0, 0.02, 8.0},
    {0.005, 20.0, 0.015, 8.0},
    {0.03, 90.0, 0.1, 12.0},
    {0.03, 75.0, 0.06, 20.0},
}};

constexpr double kTicksPerMinute = 6000.0;
constexpr double kTicksPerSecond = 100.0;
// How much the applied climb or approach step may change a tick (ft).
constexpr double kVerticalChangePerTick = 0.001;

const AirCategoryRow& lf_row(std::uint32_t category) {
    if (category >= kAirRows.size()) throw std::out_of_range("invalid unordered_map<K, T> key");
    return kAirRows[category];
}

LaLo lf_position(const StreamPoint& p) { return {p.lat, p.lon}; }
LaLo lf_pose(const LiveAc& ac) { return {ac.pose.latitude, ac.pose.longitude}; }

// The largest step (ft a tick) from which a descent, slowing by what it may
// change a tick, stops within `heightFt`: the steps u, u - a, ... cover
// u (u + a) / 2a, and a last step no longer than the height left. The
// flowing rate sqrt(2 a h) covers more than that when taken tick by tick,
// and a descent eased by it ran past its floor.
double lf_stoppingStep(double heightFt) {
    constexpr double a = kVerticalChangePerTick;
    if (!(heightFt > 0.0)) return 0.0;
    return std::min(heightFt, (std::sqrt(a * a + 8.0 * a * heightFt) - a) / 2.0);
}

// Ticks until the next point is due, at least the shortest leg.
double lf_legTicks(const LiveAc& ac) {
    return std::max(kMinLegTicks, gf_ticksBetween(tickCount.load(), ac.stream[1].playTick));
}

bool lf_isFinite(const std::optional<double>& v) { return v.has_value() && std::isfinite(*v); }

// The per-tick step of the leg toward the next point, when the leg planning
// changed that point after the step was set.
void lf_replanStep(LiveAc& ac) {
    const StreamPoint& next = ac.stream[1];
    const double ticks = lf_legTicks(ac);
    ac.motion.stepLat = (next.lat - ac.pose.latitude) / ticks;
    ac.motion.stepLon = gf_wrapLongitudeDifference(next.lon - ac.pose.longitude) / ticks;
}

void lf_setDescentRate(LiveAc& ac, double rate, bool intoNextPoint) {
    if (intoNextPoint) ac.stream[1].verticalSpeed = rate;
    ac.motion.legVerticalSpeed = rate;
    ac.motion.verticalPerTick = rate / kTicksPerMinute;
}

// The leg ends on the ground: down to the runway (or the airport) at the
// next point, or at the stream's descent rate.
void lf_planTouchdownLeg(LiveAc& ac, double t) {
    std::optional<double> elevation;
    if (const auto runway = landingRunwayForPose(ac); runway && std::isfinite(runway->altitudeFt))
        elevation = runway->altitudeFt;
    else
        elevation = gf_getCurrentAirportAltitude();
    if (g_qnh.load() > 1013)
        lf_setDescentRate(ac, airDescentRate(ac), true);
    else if (elevation)
        ac.motion.verticalPerTick = (*elevation + ac.groundOffsetFt - ac.pose.altitude) / t;
    else
        lf_setDescentRate(ac, -601.0, true);
    gf_setGear(ac, true);
}

// The first airborne point past the next one whose altitude agrees with the
// aircraft's own, when the next point and every one up to it lie thousands
// of feet off both: a bad altitude, or a run of them. Two reports 5,000 ft
// up in a row agree with each other: a light aircraft on final at 1,160 ft
// climbed toward the first and on toward the second, 255 ft, until its
// level-off limit stopped the climb within a tick. Judged from the pose, not
// the front point: on from the first of them, that point is the bad one.
const StreamPoint* lf_pointPastBadAltitudes(const LiveAc& ac) {
    StreamPoint here = ac.stream[0];
    here.altitudeFt = ac.pose.altitude;
    here.playTick = tickCount.load();
    here.airborne = 1;
    if (ac.stream.size() < 3 || !gf_altitudesContradict(here, ac.stream[1])) return nullptr;
    for (std::size_t k = 2; k < ac.stream.size() && ac.stream[k].airborne != 0; ++k) {
        const StreamPoint& after = ac.stream[k];
        if (gf_altitudesContradict(here, after)) continue;
        for (std::size_t j = 1; j < k; ++j)
            if (!gf_altitudesContradict(here, ac.stream[j]) || !gf_altitudesContradict(ac.stream[j], after))
                return nullptr;
        return &after;
    }
    return nullptr;
}

double lf_bothAirborneClimb(const LiveAc& ac, double t) {
    const StreamPoint& front = ac.stream[0];
    const StreamPoint& next = ac.stream[1];
    double v = (next.altitudeFt - ac.pose.altitude) / t;
    const double height = ac.motion.heightAboveGroundFt;
    switch (ac.phase) {
        case AcPhase::takeoff:
            if (height <= 1000.0) return std::min(ac.climbRateLimit, std::max(v, 0.2));
            return std::min(v, ac.climbRateLimit);
        case AcPhase::landing:
            if (front.altitudeFt == next.altitudeFt && height <= 1000.0 &&
                front.verticalSpeed + next.verticalSpeed <= 100.0)
                return airDescentRate(ac) / kTicksPerMinute;
            return v;
        case AcPhase::flying: {
            // A report (or a run of them) thousands of feet off the points on
            // both sides (which agree with each other) is a bad altitude: the
            // leg to it climbs or descends toward the point after it instead.
            if (const StreamPoint* after = lf_pointPastBadAltitudes(ac)) {
                const double ticks = gf_ticksBetween(tickCount.load(), after->playTick);
                if (ticks > 0.0) v = (after->altitudeFt - ac.pose.altitude) / ticks;
            }
            // No faster than the category climbs or descends: a single
            // report thousands of feet off the others is not flown up and
            // down within seconds.
            const double most = ac.climbRateLimit > 0.0 ? ac.climbRateLimit : v;
            const double least = 2.0 * gf_approachDescentFloorFpm(static_cast<ModelCategory>(ac.category)) / kTicksPerMinute;
            return std::isfinite(v) ? std::clamp(v, least, std::max(most, least)) : v;
        }
        default: return v;
    }
}

void lf_planVertical(LiveAc& ac) {
    const StreamPoint& front = ac.stream[0];
    const StreamPoint& next = ac.stream[1];
    const bool nextShort = isShortLandingPoint(ac, next);
    const bool frontAirborne = front.airborne != 0 || isShortLandingPoint(ac, front);
    bool nextAirborne = next.airborne != 0 || nextShort;
    if (!nextAirborne && ac.phase == AcPhase::takeoff && ac.motion.initialTakeoffClimb > 0.0)
        nextAirborne = std::any_of(ac.stream.begin() + 2, ac.stream.end(),
                                   [](const StreamPoint& p) { return p.airborne != 0; });
    const double t = lf_legTicks(ac);
    if (!frontAirborne) {
        if (next.airborne != 0) {
            climbRateForTakeoff(ac);
            keepTakeoffClimb(ac);
        } else {
            planAirVertical(ac);
        }
        return;
    }
    if (!nextAirborne) {
        lf_planTouchdownLeg(ac, t);
        return;
    }
    if (nextShort) {
        const double rate = airDescentRate(ac);
        lf_setDescentRate(ac, rate, false);
        gf_setGear(ac, true);
        return;
    }
    ac.motion.verticalPerTick = lf_bothAirborneClimb(ac, t);
}

// The reported true heading of the point, when it may be used.
std::optional<double> lf_reportedHeading(const StreamPoint& p) {
    if (p.hasTrueHeading == 0 || !std::isfinite(p.trueHeading) || !(p.trueHeading > 0.0) ||
        p.trueHeading > fullCircle)
        return std::nullopt;
    return normalizeHeading(p.trueHeading);
}

// Over the runway below 2000 ft: the bearing along the next few airborne
// points, when they run straight enough.
LookAhead lf_lookAhead(const LiveAc& ac, double comingBearing) {
    std::array<LaLo, 6> upcoming{};
    std::size_t n = 0;
    for (std::size_t i = 2; i < ac.stream.size() && n < upcoming.size(); ++i) {
        const StreamPoint& p = ac.stream[i];
        if (p.airborne != 0 && p.stationary == 0) upcoming[n++] = lf_position(p);
    }
    return lookAheadBearing(lf_position(ac.stream[1]), std::span<const LaLo>(upcoming.data(), n), comingBearing, 300.0,
                            800.0, 5.0 * degreesToRadians);
}

bool lf_samePlace(const StreamPoint& a, const StreamPoint& b) { return gf_isSamePlace({a.lat, a.lon}, {b.lat, b.lon}); }

// The heading the nose turns to by the end of the leg that ends a way round
// onto a report far off the nose (see turnOntoFarOffReport): the course on
// from the report, but no more than 60 degrees off the course the leg flies,
// or half the corner at the report where that is sharper still; the nose
// turns the rest on the next leg. The position keeps to the leg's course to
// its end: a way that met its report straight, the report's own course a
// right angle off (a loop onto it took too long), swung the nose through the
// whole corner before the report and flew the last seconds tail first.
double lf_noseAtLegEnd(LaLo pose, LaLo nextPosition, double coming) {
    constexpr double kShortestLegM = 50.0;
    constexpr double kMostOffLeg = 60.0 * degreesToRadians;
    if (!(gf_distanceNm(pose, nextPosition) * metresPerNm > kShortestLegM)) return coming;
    const double course = gf_bearing(pose, nextPosition);
    const double corner = std::remainder(coming - course, fullCircle);
    const double most = std::max(kMostOffLeg, std::fabs(corner) / 2.0);
    if (!std::isfinite(corner) || !(std::fabs(corner) > most)) return coming;
    return normalizeHeading(course + std::copysign(most, corner));
}

// The course the aircraft travels along where it stands on the leg it just
// flew (straight or curved): at that leg's end, or where a report cut it
// short (dead reckoning that a report after a pause ended). Created in the
// air this tick, its nose: it was placed along the course it flies there (on
// the curve between two reports that turn), and its first leg sets off that
// way. Set off along the chord instead, a holding B738 created in a turn
// flew its first second with the nose 30.5 degrees off its travel. NaN where
// the pose lies off that leg (a leg planned anew).
double lf_travelCourse(const LiveAc& ac) {
    constexpr double kOnTheLegM = 5.0;
    constexpr double kShortestLegM = 10.0;
    constexpr int kSamples = 64;
    if (ac.activationTick == tickCount.load() && ac.onGround == 0 && std::isfinite(ac.pose.heading))
        return normalizeHeading(ac.pose.heading);
    const AirTransition& tr = ac.motion.transition;
    const LaLo pose = lf_pose(ac);
    if (!(gf_distanceNm(tr.start, tr.end) * metresPerNm >= kShortestLegM)) return MotionState::unknown;
    const auto at = [&](double f) {
        return hermiteTransitionPoint(tr.start, tr.end, tr.arrivalHeading, tr.angleLimit, f, tr.startCourse);
    };
    const auto missM = [&](const HermiteTransition& h) {
        return h.valid ? gf_distanceNm(h.position, pose) * metresPerNm : std::numeric_limits<double>::infinity();
    };
    // The nearest of points along the leg, then the nearest between its
    // neighbours.
    double best = 1.0;
    double bestM = missM(at(1.0));
    for (int pass = 0; pass < 2; ++pass) {
        const double from = pass == 0 ? 0.0 : std::max(0.0, best - 1.0 / kSamples);
        const double span = pass == 0 ? 1.0 : 2.0 / kSamples;
        for (int k = 0; k <= kSamples; ++k) {
            const double f = std::min(1.0, from + span * k / kSamples);
            const double m = missM(at(f));
            if (m < bestM) {
                bestM = m;
                best = f;
            }
        }
    }
    if (!(bestM <= kOnTheLegM)) return MotionState::unknown;
    const HermiteTransition h = at(best);
    return h.valid ? h.heading : MotionState::unknown;
}

void lf_planTurn(LiveAc& ac, const AirCategoryRow& row, double t) {
    MotionState& m = ac.motion;
    const StreamPoint& next = ac.stream[1];
    const LaLo pose = lf_pose(ac);
    const LaLo nextPosition = lf_position(next);
    const bool threePoints = ac.stream.size() >= 3;
    const double coming =
        threePoints ? gf_bearing(nextPosition, lf_position(ac.stream[2])) : gf_bearing(pose, nextPosition);
    const bool landing = ac.phase == AcPhase::landing;
    const double height = m.heightAboveGroundFt;
    double target = coming;
    LookAhead look{};
    const std::optional<double> reported = lf_reportedHeading(next);
    if (reported && height < (landing ? 2000.0 : 1000.0)) {
        target = *reported;
    } else if (landing && height < 2000.0) {
        look = lf_lookAhead(ac, coming);
        if (look.found) target = look.bearing;
    } else if ((ac.phase == AcPhase::flying || landing) && ac.stream[0].turnPoint != 0 && next.turnPoint == 0) {
        // The course on from the report is its own track until the report
        // after it has come in: reports come a little ahead of their time,
        // and the last leg of a way round may start before the next one is
        // there. Kept along the leg instead, a holding B789 met its report
        // heading west, the report's track and the leg on from it north, and
        // flew that leg with its nose 95 degrees off its travel.
        const double on = threePoints ? coming : next.trackDeg * degreesToRadians;
        if (std::isfinite(on)) target = lf_noseAtLegEnd(pose, nextPosition, on);
    }

    TurnStepInput in;
    in.heading = ac.pose.heading;
    in.targetHeading = target;
    in.bank = ac.pose.bank;
    in.givenBank = next.roll;
    in.givenBankSet = next.hasRoll != 0;
    in.speedKt = groundSpeedForNextLeg(ac);
    in.timeConstantTicks = t;
    in.ticksPerSecond = kTicksPerSecond;
    in.maxTurnRate = row.turnRateDegPerS * degreesToRadians;
    in.bankLimit = maxBankAngle(gf_bankLimitRad(ac.category), landing, height, m.flareStage != 0);
    in.maxBankStep = row.bankRateDeg * degreesToRadians;
    const TurnStep turn = coordinatedTurnStep(in);
    ac.pose.bank = turn.bank;
    m.headingPerTick = turn.headingStep;
    // In flight the position follows the reports however tightly they turn
    // (a holding turn flown at 30 degrees of bank). Where they turn faster
    // than the category's bank carries the nose, the nose still turns with
    // them, up to the category's turn rate: held to the bank it fell further
    // behind the direction of travel with every leg of the turn, until the
    // aircraft flew sideways. So on a way round on the approach, whose bank
    // the runway near below holds low: an A333 that turned onto final at
    // 1.4 degrees a second flew the way round with the nose 105 degrees off
    // its travel.
    const bool wayRound = threePoints && (ac.stream[0].turnPoint != 0 || next.turnPoint != 0);
    if (ac.phase == AcPhase::flying || (landing && wayRound)) {
        const double error = std::remainder(target - ac.pose.heading, fullCircle);
        const double most = in.maxTurnRate / kTicksPerSecond;
        const double needed = std::clamp(error / t, -most, most);
        if (std::isfinite(needed) && std::fabs(needed) > std::fabs(m.headingPerTick)) m.headingPerTick = needed;
    }
    m.bankPerTick = turn.bankStep;
    const double setOff = lf_travelCourse(ac);
    m.transition = AirTransition{};
    // The leg is kept (straight or curved) so that the next one sets off
    // along the course this one ends on.
    m.transition.start = pose;
    m.transition.end = nextPosition;
    m.transition.arrivalHeading = gf_bearing(pose, nextPosition);

    const bool onward = threePoints && ac.stream[2].stationary == 0 && !lf_samePlace(next, ac.stream[2]);
    // Without a point after it, the leg comes onto the report along its own
    // track, where that runs near the leg: a turn the reports fly is met as
    // a turn, and a straight run straight.
    double arrival = look.found ? look.bearing : coming;
    if (!onward) {
        constexpr double kMostTrackOffLeg = 60.0 * degreesToRadians;
        const double track = next.trackDeg * degreesToRadians;
        const double chord = m.transition.arrivalHeading;
        arrival = next.airborne != 0 && std::isfinite(track) &&
                          std::fabs(std::remainder(track - chord, fullCircle)) <= kMostTrackOffLeg
                      ? normalizeHeading(track)
                      : chord;
    }
    // How far the heading can turn over the leg from the straight course.
    TurnStepInput straight = in;
    straight.heading = gf_bearing(pose, nextPosition);
    straight.targetHeading = arrival;
    straight.bank = 0.0;
    straight.givenBankSet = false;
    double angleLimit = std::fabs(coordinatedTurnStep(straight).headingStep) * t;
    // Flown on time, the way round slows half-way to cos(d/2) of the leg's
    // pace, d the angle its end leaves the straight course by: a light
    // aircraft whose leg was timed at its floor pace flew a 25 degree way
    // round 2.4 % under the floor. Where the leg's pace leaves less, the way
    // round leaves the straight course by less.
    const double floorKt = gf_airborneSpeedFloorKt(ac);
    const double legKt = gf_speedKtOver(gf_distanceNm(pose, nextPosition), t);
    if (floorKt > 0.0 && legKt > 0.0)
        angleLimit = std::min(angleLimit, 2.0 * std::acos(std::min(1.0, floorKt / legKt)));
    const HermiteTransition h = hermiteTransitionPoint(pose, nextPosition, arrival, angleLimit, 0.5, setOff);
    if (!h.valid || !h.curved) return;
    m.transition.arrivalHeading = arrival;
    m.transition.angleLimit = angleLimit;
    m.transition.startCourse = setOff;
    // The nose turns evenly over the leg onto the course the curve ends on,
    // not onto the course beyond the point: aimed there, a holding's nose
    // stood still while its track curved 25 degrees past it.
    if (ac.phase == AcPhase::flying) {
        const HermiteTransition atEnd = hermiteTransitionPoint(pose, nextPosition, arrival, angleLimit, 1.0, setOff);
        const double error = std::remainder(atEnd.heading - ac.pose.heading, fullCircle);
        const double most = in.maxTurnRate / kTicksPerSecond;
        if (atEnd.valid && std::isfinite(error)) m.headingPerTick = std::clamp(error / t, -most, most);
    }
    m.transition.startOffset = 0;
    m.transition.duration = static_cast<std::int32_t>(t);
    m.transition.elapsed = 0;
    m.transition.active = 1;
}

// The true airspeed the leg is flown at: the next point's, or where that is
// not a number its ground speed, else the speed the pose has. A pose whose
// airspeed is not a number is never sent, and the aircraft would stand still
// in the simulator for the whole leg.
double lf_legAirspeedKt(const LiveAc& ac) {
    const StreamPoint& next = ac.stream[1];
    for (const double kt : {next.tasKt, next.groundSpeedKt, ac.pose.trueAirspeed})
        if (std::isfinite(kt)) return kt;
    return groundSpeedForNextLeg(ac);
}

// An airborne leg never asks for less than the category flies at: a reported
// point comes due sooner (as far as the advance limit lets it); a
// dead-reckoned one, whose speed the extrapolation lowers point by point, is
// placed as far along its course as the floor carries the aircraft in the
// leg's time (the next one is made from there).
void lf_keepAirborneFloor(LiveAc& ac) {
    // Aimed a hair above the floor: the leg's steps in degrees must not
    // round a pose below it.
    const double floorKt = gf_airborneSpeedFloorKt(ac) * 1.01;
    if (!(floorKt > 0.0)) return;
    StreamPoint& next = ac.stream[1];
    const LaLo pose = lf_pose(ac);
    const double nm = gf_distanceNm(pose, lf_position(next));
    if (!std::isfinite(nm) || gf_speedKtOver(nm, lf_legTicks(ac)) >= floorKt) return;
    if (ac.extrapolationCount <= 0) {
        retimeNextPoint(ac, gf_legTicks(nm, floorKt, kMinLegTicks));
        lf_replanStep(ac);
        return;
    }
    const double course = nm * metresPerNm > 1.0 ? gf_bearing(pose, lf_position(next)) : ac.pose.heading;
    if (!std::isfinite(course)) return;
    LaLo ahead = gf_destinationPoint(pose, {course, floorKt * lf_legTicks(ac) / 360000.0 * feetPerNm});
    gf_normalizeLaLo(ahead);
    next.lat = ahead.lat;
    next.lon = ahead.lon;
    lf_replanStep(ac);
}

// The quickest turn (degrees a second) the category's bank carries an
// aircraft round at this speed, and never under a rate-one turn; unbounded
// at no known speed.
double lf_bankTurnDegPerS(const LiveAc& ac, double kt) {
    constexpr double kRateOneDegPerS = 3.0;
    if (!std::isfinite(kt) || !(kt > 0.0)) return std::numeric_limits<double>::infinity();
    const double degPerS = kGravity * std::tan(gf_bankLimitRad(ac.category)) / (kt * kKnotsToMps) * radiansToDegrees;
    return std::isfinite(degPerS) ? std::max(kRateOneDegPerS, degPerS) : kRateOneDegPerS;
}

// The turn per tick two airborne points' reported tracks tell over the leg
// between them, when they agree with its course (a chord of a steady turn
// runs along the mean of the tracks at its ends); none when they do not.
std::optional<double> lf_reportedTrackTurn(const StreamPoint& from, const StreamPoint& to, double course,
                                           double ticks) {
    constexpr double kChordSlackRad = 10.0 * degreesToRadians;
    const double a = from.trackDeg * degreesToRadians;
    const double b = to.trackDeg * degreesToRadians;
    if (from.airborne == 0 || to.airborne == 0 || !std::isfinite(a) || !std::isfinite(b) || !(ticks > 0.0))
        return std::nullopt;
    const double change = std::remainder(b - a, fullCircle);
    if (!(std::fabs(std::remainder(course - (a + change / 2.0), fullCircle)) <= kChordSlackRad)) return std::nullopt;
    return change / ticks;
}

// The leg's course and the track's turn onto it from the leg before (when
// this one starts where that one ended), for dead reckoning. Legs shorter
// than a few dozen metres give no course worth turning on: the positions' own
// rounding would steer. Nor do legs flown at under half the speed their ends
// report: such a leg starts at a point put between two reports (an aircraft
// created late starts part way along its leg, due when it is created), which
// keeps the older report's track and lies on their chord, off the turn they
// flew. Its tracks' change over its few metres, or its course against the
// next leg's, read as the category's quickest turn, and an aircraft whose
// reports paused in a holding flew tight circles at 8 degrees a second where
// its holding turned at 3.
void lf_rememberLeg(LiveAc& ac, const AirCategoryRow& row) {
    MotionState& m = ac.motion;
    const LaLo from = lf_position(ac.stream[0]);
    const LaLo to = lf_position(ac.stream[1]);
    const double ticks = gf_ticksBetween(ac.stream[0].playTick, ac.stream[1].playTick);
    const double nm = gf_distanceNm(from, to);
    constexpr double kShortestLegNm = 0.02;
    double reportedKt = std::numeric_limits<double>::infinity();
    for (const double kt : {ac.stream[0].groundSpeedKt, ac.stream[1].groundSpeedKt})
        if (std::isfinite(kt) && kt > 0.0) reportedKt = std::min(reportedKt, kt);
    const bool slowerThanReported = std::isfinite(reportedKt) && gf_speedKtOver(nm, ticks) < 0.5 * reportedKt;
    if (!(ticks > 0.0) || !(nm >= kShortestLegNm) || slowerThanReported) {
        m.airLegCourse = MotionState::unknown;
        return;
    }
    const double course = gf_bearing(from, to);
    const bool follows = std::isfinite(m.airLegCourse) && m.airLegTicks > 0.0 && gf_isSamePlace(m.airLegEnd, from);
    // The course changed by the turn between the middles of the two legs,
    // no faster than the category turns, nor than its bank carries it round
    // at the leg's speed (a rate-one turn at least, which any aircraft flies).
    // A leg whose first point stands between two reports with the older
    // one's track (an aircraft created late) shows their whole change of
    // track over a part of the time they flew it: read at the category's
    // quickest turn, a paused holding aircraft circled on the spot at 8
    // degrees a second while its holding turned at 3, and the reports after
    // the pause lay a mile and more away.
    const double most = std::min(row.turnRateDegPerS, lf_bankTurnDegPerS(ac, ac.stream[1].groundSpeedKt)) *
                        degreesToRadians / kTicksPerSecond;
    const std::optional<double> tracked = lf_reportedTrackTurn(ac.stream[0], ac.stream[1], course, ticks);
    double turn = follows ? std::remainder(course - m.airLegCourse, fullCircle) / ((m.airLegTicks + ticks) / 2.0)
                          : tracked.value_or(0.0);
    // Between two reports, the change of their tracks over the leg is the
    // turn as the leg ends; the change of course from the leg before is the
    // mean over both legs. Where the tracks turn the slower, the turn is
    // ending (a holding turn rolling out onto its straight): dead-reckoned
    // on at the mean, the aircraft kept turning through the pause in the
    // reports while they flew straight, and met the first report after it
    // with its nose a right angle off the way on. Dead-reckoned points keep
    // the track of the report they go on from, and tell no turn of theirs.
    if (follows && tracked && ac.extrapolationCount <= 0 && std::fabs(*tracked) < std::fabs(turn)) turn = *tracked;
    m.airTrackTurnPerTick = std::isfinite(turn) ? std::clamp(turn, -most, most) : 0.0;
    m.airLegEnd = to;
    m.airLegCourse = course;
    m.airLegTicks = ticks;
}

// Near the airport the height counts from the airport; elsewhere the front
// point's altitude decides whether the aircraft flies high.
void lf_configure(LiveAc& ac) {
    MotionState& m = ac.motion;
    const std::optional<double> airport = gf_getCurrentAirportAltitude();
    std::optional<double> height;
    double judged = ac.stream[0].altitudeFt;
    if (gf_isNearCurrentAirport(lf_pose(ac)) && airport && std::isfinite(ac.pose.altitude)) {
        judged = ac.pose.altitude - *airport;
        height = judged;
    }
    // Created in the air this very tick, away from the airport, with the
    // next point in the air too: the simulator has not told yet how high
    // above the ground it flies, and the height assumed until then would
    // configure an aircraft created low for high flight (gear up, flaps in)
    // a second before its true height set them back. Its next leg
    // configures it, as the wait before its activation once did.
    if (!height && ac.activationTick == tickCount.load() && ac.stream.size() >= 2 && ac.stream[1].airborne != 0)
        return;
    if (judged < 10000.0) {
        updateAirConfig(ac, height);
        return;
    }
    if (m.highAltitudeConfig != 0) return;
    m.highAltitudeConfig = 1;
    m.lowAltitudeConfig = 0;
    gf_setAiLights(ac.objectId, {1, 1, 0, 0, 1, 0, 1});
    gf_setThrottle(ac, ac.category == Rotorcraft ? 4 : 3);
    m.advanceLimit = 900;
    m.delayLimit = 900;
    gf_setGear(ac, false);
    gf_setFlaps(ac, 0);
}

// The way round onto a report far off the nose: points along it, each with
// the course flown there and the distance flown to it (m).
struct WayPoint {
    LaLo at;
    double course;
    double alongM;
};
constexpr double kArcStep = 15.0 * degreesToRadians;
constexpr std::size_t kMostArcPoints = 24;  // a full circle

// The course a report is flown along: its reported track, unless the leg on
// from it (when there is one) runs far off that; NaN when neither tells.
double lf_arrivalCourse(const LiveAc& ac) {
    const StreamPoint& report = ac.stream[1];
    double course = report.trackDeg * degreesToRadians;
    if (ac.stream.size() >= 3 && ac.stream[2].airborne != 0 && !lf_samePlace(report, ac.stream[2])) {
        const double on = gf_bearing(lf_position(report), lf_position(ac.stream[2]));
        constexpr double kMostTrackOffLeg = 60.0 * degreesToRadians;
        if (!std::isfinite(course) || !(std::fabs(std::remainder(course - on, fullCircle)) <= kMostTrackOffLeg))
            course = on;
    }
    return std::isfinite(course) ? normalizeHeading(course) : course;
}

// The shortest way from the pose (its heading) to the target arriving along
// `arrival`: a turn, a straight and a turn, each turn of radius `radiusM`
// either way. Without an arrival course the turn toward `side` goes on until
// the target lies within one arc step of the nose, and the way ends straight.
// Its points lie at most one arc step of turn apart; the target itself is not
// among them. None when the turns would need more points than two circles.
std::vector<WayPoint> lf_wayRound(LaLo pose, double heading, double side, LaLo target, double arrival,
                                  double radiusM) {
    std::vector<WayPoint> way;
    // On a flat plane around the pose: x east, y north (m).
    struct Flat {
        double x, y;
    };
    auto ahead = [](double course) { return Flat{std::sin(course), std::cos(course)}; };
    auto right = [](double course) { return Flat{std::cos(course), -std::sin(course)}; };
    Flat p{0.0, 0.0};
    double course = heading;
    double alongM = 0.0;
    auto place = [&](Flat f) {
        const double m = std::hypot(f.x, f.y);
        LaLo at = m > 0.0 ? gf_destinationPoint(pose, {std::atan2(f.x, f.y), m * feetPerMetre}) : pose;
        gf_normalizeLaLo(at);
        return at;
    };
    auto push = [&] { way.push_back({place(p), normalizeHeading(course), alongM}); };
    auto turn = [&](double turnSide, double sweep) {
        const auto n = static_cast<std::size_t>(std::ceil(sweep / kArcStep - 1e-9));
        if (n == 0) return;
        const double step = sweep / static_cast<double>(n);
        const double chordM = 2.0 * radiusM * std::sin(step / 2.0);
        for (std::size_t i = 0; i < n; ++i) {
            const Flat u = ahead(course + turnSide * step / 2.0);
            p = {p.x + chordM * u.x, p.y + chordM * u.y};
            course += turnSide * step;
            alongM += chordM;
            push();
        }
    };
    const double distanceM = gf_distanceNm(pose, target) * metresPerNm;
    const double bearing = gf_bearing(pose, target);
    const Flat goal{distanceM * std::sin(bearing), distanceM * std::cos(bearing)};
    if (!std::isfinite(arrival)) {
        while (side * std::remainder(std::atan2(goal.x - p.x, goal.y - p.y) - course, fullCircle) > kArcStep) {
            if (way.size() == kMostArcPoints) return {};
            turn(side, kArcStep);
        }
        return way;
    }
    // The four ways of two turns, the shortest taken.
    auto sweep = [](double a) {
        const double s = std::fmod(std::fmod(a, fullCircle) + fullCircle, fullCircle);
        return s > fullCircle - 1e-9 ? 0.0 : s;
    };
    struct Way {
        double first = 0.0, straightM = 0.0, last = 0.0, course = 0.0, side1 = 0.0, side2 = 0.0;
        double lengthM = std::numeric_limits<double>::infinity();
    } best;
    for (const double s1 : {1.0, -1.0})
        for (const double s2 : {1.0, -1.0}) {
            const Flat c1{s1 * radiusM * right(heading).x, s1 * radiusM * right(heading).y};
            const Flat c2{goal.x + s2 * radiusM * right(arrival).x, goal.y + s2 * radiusM * right(arrival).y};
            const double d = std::hypot(c2.x - c1.x, c2.y - c1.y);
            const double between = std::atan2(c2.x - c1.x, c2.y - c1.y);
            Way w;
            w.side1 = s1;
            w.side2 = s2;
            if (s1 == s2) {
                w.straightM = d;
                w.course = between;
            } else {
                if (!(d >= 2.0 * radiusM)) continue;
                w.straightM = std::sqrt(d * d - 4.0 * radiusM * radiusM);
                w.course = between + s1 * std::atan2(2.0 * radiusM, w.straightM);
            }
            w.first = sweep(s1 * (w.course - heading));
            w.last = sweep(s2 * (arrival - w.course));
            w.lengthM = radiusM * (w.first + w.last) + w.straightM;
            if (std::isfinite(w.lengthM) && w.lengthM < best.lengthM) best = w;
        }
    if (!std::isfinite(best.lengthM)) return {};
    turn(best.side1, best.first);
    course = best.course;
    if (best.last > 0.0) {
        // The straight ends where the last turn starts (else at the target).
        const Flat u = ahead(course);
        p = {p.x + best.straightM * u.x, p.y + best.straightM * u.y};
        alongM += best.straightM;
        if (best.straightM > 1.0) push();
        turn(best.side2, best.last);
        // Its last point is the target itself.
        if (!way.empty()) way.pop_back();
    }
    if (way.size() > 2 * kMostArcPoints) return {};
    return way;
}

}  // namespace

// A leg with no leg before it to compare its course with (the aircraft's
// first, or the first after a gap) turns as its two ends' reported tracks
// do, when they agree with the leg: a chord of a steady turn runs along the
// mean of the tracks at its ends. Taken as straight, an aircraft whose
// reports paused in a holding turn after its first leg flew straight out of
// the hold for the whole gap, and came back late.
double gf_reportedTrackTurnPerTick(const StreamPoint& from, const StreamPoint& to, double course, double ticks) {
    return lf_reportedTrackTurn(from, to, course, ticks).value_or(0.0);
}

double gf_bankLimitRad(std::uint32_t category) noexcept {
    return category < kAirRows.size() ? kAirRows[category].bankLimitDeg * degreesToRadians : 0.0;
}

double gf_bankRateRad(std::uint32_t category) noexcept {
    return category < kAirRows.size() ? kAirRows[category].bankRateDeg * degreesToRadians : 0.0;
}

double gf_pitchRateRad(std::uint32_t category) { return lf_row(category).pitchRateDeg * degreesToRadians; }

double gf_airTurnRateRad(std::uint32_t category) { return lf_row(category).turnRateDegPerS * degreesToRadians; }

namespace {

// The turn per tick (radians, to the right above 0) a coordinated turn at the
// point's reported bank flies at its airspeed (its ground speed where it
// tells none), no faster than the category turns; 0 where it tells no bank
// or one that turns slower than dead reckoning follows.
double lf_bankedTurnPerTick(const LiveAc& ac, const StreamPoint& p) {
    if (p.airborne == 0 || p.hasRoll == 0 || !std::isfinite(p.roll) || !(std::fabs(p.roll) < pi / 2.0)) return 0.0;
    const double kt = std::isfinite(p.tasKt) && p.tasKt > 0.0 ? p.tasKt : p.groundSpeedKt;
    if (!std::isfinite(kt) || !(kt > 0.0)) return 0.0;
    // The bank is the simulator's: below 0 to the right.
    const double most = lf_row(ac.category).turnRateDegPerS * degreesToRadians / kTicksPerSecond;
    const double turn = std::clamp(-kGravity * std::tan(p.roll) / (kt * kKnotsToMps) / kTicksPerSecond, -most, most);
    return std::fabs(turn) >= kLeastDeadReckonedTurnPerTick ? turn : 0.0;
}

}  // namespace

double airDeadReckoningCourse(const LiveAc& ac, std::int32_t stepTicks) {
    const MotionState& m = ac.motion;
    if (ac.stream.empty()) return ac.pose.heading;
    const StreamPoint& last = ac.stream.back();
    // A report that tells its bank tells the turn it flies: a holding whose
    // reports paused in its turn goes on round the turn. From the report
    // itself the turn starts at its track (the chord that led to it tells
    // nothing of a turn begun just before it, or, from a dead-reckoned point
    // off the real way, one the wrong way round); the dead-reckoned points
    // after it keep its bank and go on from their own chords.
    if (const double banked = lf_bankedTurnPerTick(ac, last); banked != 0.0) {
        const bool fromReport = ac.extrapolationCount <= 0;
        if (fromReport && std::isfinite(last.trackDeg))
            return normalizeHeading(last.trackDeg * degreesToRadians + banked * stepTicks / 2.0);
        if (!fromReport && std::isfinite(m.airLegCourse) && m.airLegTicks > 0.0 &&
            gf_isSamePlace(m.airLegEnd, lf_position(last)))
            return normalizeHeading(m.airLegCourse + banked * (m.airLegTicks + stepTicks) / 2.0);
    }
    if (!std::isfinite(m.airLegCourse) || !(m.airLegTicks > 0.0) || !gf_isSamePlace(m.airLegEnd, lf_position(last)))
        return ac.pose.heading;
    // Under half a degree a second the track runs straight.
    if (!(std::fabs(m.airTrackTurnPerTick) >= kLeastDeadReckonedTurnPerTick)) return ac.pose.heading;
    // A chord of a steady turn runs along the heading at its middle.
    return normalizeHeading(m.airLegCourse + m.airTrackTurnPerTick * (m.airLegTicks + stepTicks) / 2.0);
}

bool gf_altitudesContradict(const StreamPoint& a, const StreamPoint& b, double steepestFtPerS) {
    // By default no aircraft climbs or descends faster than 100 ft/s (6000
    // ft/min); a caller that knows the aircraft's category gives its rate.
    constexpr double kSlackFt = 1000.0;
    if (a.airborne == 0 && b.airborne == 0) return false;
    // A point on the ground stands at the airport's altitude: a lone report
    // thousands of feet above the airport among an arrival's last airborne
    // points and its touchdown is as bad an altitude as one among airborne
    // points (the aircraft was created up there and dropped to the runway).
    const std::optional<double> airport =
        a.airborne == 0 || b.airborne == 0 ? gf_getCurrentAirportAltitude() : std::nullopt;
    const auto altitude = [&airport](const StreamPoint& p) {
        return p.airborne != 0 ? p.altitudeFt : airport.value_or(std::numeric_limits<double>::quiet_NaN());
    };
    const double from = altitude(a), to = altitude(b);
    if (!std::isfinite(from) || !std::isfinite(to)) return false;
    const double seconds = std::max(0.0, static_cast<double>(gf_ticksBetween(a.playTick, b.playTick)) / 100.0);
    return std::fabs(to - from) > kSlackFt + steepestFtPerS * seconds;
}

double gf_mostBelievedPaceToReportKt(const LiveAc& ac, const StreamPoint& report) {
    constexpr double kOwnPaceShare = 2.0;
    constexpr double kOwnPaceSlackKt = 20.0;
    constexpr double kAimedUnder = 0.98;
    const MotionState& m = ac.motion;
    const bool latest = m.lastAirReportSet != 0 && m.lastAirReport.playTick == report.playTick &&
                        lf_samePlace(m.lastAirReport, report);
    if (!latest || m.airReportBeforeSet == 0 || m.airReportBefore.airborne == 0) return MotionState::unknown;
    const StreamPoint& before = m.airReportBefore;
    // Over the reports' own times, not the ticks they were played at: those
    // shift as the feed's delay is learnt. An aircraft's first report, played
    // before that delay was known, lay 3.8 s further back from the report
    // after a 72 s pause by the ticks than by the reports' times; held to the
    // slower pace (286 kt where its reports allowed 300), a holding DH8D
    // came round to that report 7.3 s late instead of 5.5.
    const double gapS = m.lastAirReportTime - m.airReportBeforeTime;
    if (!(gapS > 0.0)) return MotionState::unknown;
    const double ownKt =
        gf_speedKtOver(gf_distanceNm(lf_position(before), lf_position(report)), gapS * kTicksPerSecond);
    if (!std::isfinite(ownKt) || !(ownKt >= 0.0)) return MotionState::unknown;
    return kAimedUnder * (kOwnPaceShare * ownKt + kOwnPaceSlackKt);
}

void turnOntoFarOffReport(LiveAc& ac) {
    const bool landing = ac.phase == AcPhase::landing;
    if ((ac.phase != AcPhase::flying && !landing) || ac.onGround != 0 || ac.extrapolationCount > 0 ||
        ac.stream.size() < 2 || ac.category >= kAirRows.size() || ac.category == Rotorcraft)
        return;
    const StreamPoint report = ac.stream[1];
    if (report.stationary != 0 || report.airborne == 0) return;
    // On the approach only where the report before it tells the pace the
    // reports kept across the pause, which bounds the way round: a report
    // far off the nose there comes after the reports paused while the
    // aircraft turned onto final, and dead reckoning flew it on across it.
    const double believedKt = gf_mostBelievedPaceToReportKt(ac, report);
    if (landing && std::isnan(believedKt)) return;
    constexpr double kFarOff = 60.0 * degreesToRadians;
    constexpr double kQuickestTurn = 6.0 * degreesToRadians;  // per second
    const LaLo pose = lf_pose(ac);
    const LaLo target = lf_position(report);
    const double distanceM = gf_distanceNm(pose, target) * metresPerNm;
    const double heading = ac.pose.heading;
    // A report farther off than a few minutes' flight is no turn to fly but
    // a jump, and straight is the way there.
    constexpr double kFarthestM = 20.0 * metresPerNm;
    if (!std::isfinite(distanceM) || !(distanceM > 100.0) || distanceM > kFarthestM || !std::isfinite(heading)) return;
    const double off = std::remainder(gf_bearing(pose, target) - heading, fullCircle);
    if (!(std::fabs(off) > kFarOff)) return;
    const double side = off > 0.0 ? 1.0 : -1.0;
    const double sizedKt = std::max(groundSpeedForNextLeg(ac), gf_airborneSpeedFloorKt(ac));
    if (!std::isfinite(sizedKt) || !(sizedKt > 0.0)) return;
    // Outside a circle of this radius the report can be reached by turning
    // and then flying straight. The arc keeps well inside it: the tighter
    // the turn, the shorter the way round and the less the aircraft falls
    // behind its reports on it.
    const double reachM = distanceM / (2.0 * std::max(std::fabs(std::sin(off)), 1e-6));
    auto radiusFor = [&](double kt) {
        const double mps = kt * kKnotsToMps;
        const double bankM = mps * mps / (kGravity * std::tan(gf_bankLimitRad(ac.category)));
        return std::max(mps / kQuickestTurn, std::min(bankM, 0.5 * reachM));
    };
    if (!(sizedKt * kKnotsToMps / kQuickestTurn < reachM)) return;
    const std::int32_t now = tickCount.load();
    // Flown evenly at the speed the way round needs by the report's time,
    // from the report's own speed up to as fast as any late aircraft in the
    // air takes back a delay (10 % or 15 kt over, whichever is less);
    // beyond that the points fall due as that speed reaches them, and the
    // report is reached late. Allowed 1.6 to twice the report's speed, a
    // holding A333 whose reports paused in a turn surged from 210 to 290 kt
    // in a second at the way's first point and back to 143 kt at its last,
    // where no pilot changes pace by more than a few knots a second.
    const double fastestKt = gf_flyingCatchUpMostKt(report.groundSpeedKt);
    struct Pace {
        double wholeM = 0.0, kt = 0.0, ticks = 0.0;
    };
    auto paceOf = [&](const std::vector<WayPoint>& way) {
        Pace pace;
        pace.wholeM = way.back().alongM + gf_distanceNm(way.back().at, target) * metresPerNm;
        const double ticks = std::max<double>(gf_ticksBetween(now, report.playTick),
                                              kMinLegTicks * static_cast<double>(way.size() + 1));
        pace.kt = report.groundSpeedKt;
        pace.ticks = ticks;
        if (std::isfinite(pace.kt) && pace.kt > 0.0) {
            pace.kt = std::clamp(gf_speedKtOver(pace.wholeM / metresPerNm, ticks), pace.kt, std::max(pace.kt, fastestKt));
            pace.ticks = std::max(ticks, pace.wholeM / (pace.kt * kKnotsToMps) * 100.0);
        }
        return pace;
    };
    // The way comes onto the report along the course it is flown on: ended
    // straight at the report, the nose swung round to that course over the
    // straight and the aircraft flew sideways, at worst tail first. A way
    // onto the course that reaches the report more than 5 s later than the
    // straight one (a report behind the aircraft, going the way it flies,
    // needs a loop) ends straight instead: the loop left the aircraft tens of
    // seconds behind its reports.
    constexpr double kMostLaterOnCourseTicks = 500.0;
    auto wayFor = [&](double radiusM) {
        std::vector<WayPoint> way = lf_wayRound(pose, heading, side, target, lf_arrivalCourse(ac), radiusM);
        std::vector<WayPoint> straight = lf_wayRound(pose, heading, side, target, MotionState::unknown, radiusM);
        if (way.empty() ||
            (!straight.empty() && paceOf(way).ticks > paceOf(straight).ticks + kMostLaterOnCourseTicks))
            way = std::move(straight);
        return way;
    };
    double radiusM = radiusFor(sizedKt);
    std::vector<WayPoint> way = wayFor(radiusM);
    if (way.empty()) return;
    Pace pace = paceOf(way);
    // The way round may be flown a good deal faster than the aircraft flew
    // into it, to catch up with its reports; its turns are widened where at
    // that speed they would turn the course faster than the nose turns
    // (the category's turn rate). Sized for the speed dead reckoning had
    // slowed to, a holding DH8D flew turns of 604 m at 300 kt, its course
    // turning nearly twice as fast as its nose, and flew 47 degrees
    // sideways. A wider turn makes the way longer and the pace it needs
    // faster, so the size is found again from the new pace a few times;
    // where none fits, the way is flown no faster than its turns allow and
    // reaches the report later.
    const double noseTurn = lf_row(ac.category).turnRateDegPerS * degreesToRadians;  // per second
    // A hair over it (2 %) is left as it is: sized again for it, ways that
    // reached their report on time came a few ticks late.
    constexpr double kTurnSlack = 1.02;
    auto allowedKt = [&](double r) { return kTurnSlack * r * noseTurn / kKnotsToMps; };
    constexpr int kMostResizes = 4;
    for (int i = 0; i < kMostResizes && pace.kt > allowedKt(radiusM); ++i) {
        const double wider = std::max(radiusM, pace.kt * kKnotsToMps / noseTurn);
        std::vector<WayPoint> widerWay = wayFor(wider);
        if (widerWay.empty()) break;
        radiusM = wider;
        way = std::move(widerWay);
        pace = paceOf(way);
    }
    if (pace.kt > allowedKt(radiusM)) {
        pace.kt = allowedKt(radiusM);
        pace.ticks = std::max(pace.ticks, pace.wholeM / (pace.kt * kKnotsToMps) * 100.0);
    }
    // A way round onto the report that ends a pause in the reports, flown
    // as fast as their own pace across the pause lets it, that still reaches
    // the report more than 10 s after it falls due: dead reckoning flew
    // straight on while the reports turned (a holding turn), and the aircraft
    // is too far behind them to come back believably. It is made again where
    // the reports are: flown round, a holding A333 whose reports paused 86 s
    // in a half turn came to the report after the pause 40 s late, and an
    // A333 whose reports paused 85 s came 16 s late.
    constexpr double kMostLateTicks = 1000.0;
    if (!std::isnan(believedKt) && pace.ticks > double(gf_ticksBetween(now, report.playTick)) + kMostLateTicks) {
        if (ac.hexid != 0 && std::isfinite(ac.lastReportTime))
            quarantine[ac.hexid] = QuarantineEntry{target, ac.lastReportTime, 1, 0};
        gf_makeAgainFromReport(ac.hexid, report, ac.motion.lastAirReportTime);
        removeAircraftFromSim(ac);
        return;
    }
    const double wholeM = pace.wholeM;
    const double kt = pace.kt;
    // The points fall due as the aircraft gathers the way's pace from the
    // speed it flies now, a few knots a second, and then keeps it. Timed
    // at that pace from the start, the first leg could not reach it in
    // time, its point fell due later, and each leg after it had the more to
    // make up: a way timed at 231 kt was flown at up to 246.
    constexpr double kGatherMps2 = 3.5 * kKnotsToMps;
    const MotionState& m = ac.motion;
    const bool flown = m.lastStepTick >= now - 1 && std::isfinite(m.lastStepKt) && m.lastStepKt > 0.0;
    // Ticks to a distance along the way at a pace gathered from the speed
    // flown now.
    const auto ticksAt = [&](double paceMps, double metres) {
        const double startMps = flown ? m.lastStepKt * kKnotsToMps : paceMps;
        const double gatherS = std::fabs(paceMps - startMps) / kGatherMps2;
        const double gatherM = (startMps + paceMps) / 2.0 * gatherS;
        const double gather = paceMps > startMps ? kGatherMps2 : -kGatherMps2;
        if (!(gatherS > 0.0) || metres >= gatherM) return (gatherS + (metres - gatherM) / paceMps) * 100.0;
        return (std::sqrt(std::max(0.0, startMps * startMps + 2.0 * gather * metres)) - startMps) / gather * 100.0;
    };
    // The pace that, gathered so, reaches the report when it falls due:
    // coming in faster than the way needs, the aircraft slows to a little
    // less, and slower, it goes a little faster, up to the way's fastest;
    // beyond that it comes late.
    const double dueTicks = std::max<double>(gf_ticksBetween(now, report.playTick),
                                             kMinLegTicks * static_cast<double>(way.size() + 1));
    double paceMps = wholeM / (pace.ticks / 100.0);
    const double fastestMps = std::max(paceMps, kt * kKnotsToMps);
    if (ticksAt(fastestMps, wholeM) > dueTicks) {
        paceMps = fastestMps;
    } else {
        double slower = paceMps / 2.0, faster = fastestMps;
        for (int i = 0; i < 40; ++i) {
            paceMps = (slower + faster) / 2.0;
            (ticksAt(paceMps, wholeM) > dueTicks ? slower : faster) = paceMps;
        }
    }
    const auto ticksTo = [&](double metres) { return ticksAt(paceMps, metres); };
    // A point of the way nearer the report than the shortest leg at its
    // pace is left out, the leg before it going on to the report: kept, the
    // leg from it took the shortest leg's time over a few metres, and the
    // aircraft dropped from 213 to 145 kt for a quarter of a second.
    const double shortestM = paceMps * kMinLegTicks / 100.0;
    while (!way.empty() && wholeM - way.back().alongM < shortestM) way.pop_back();
    for (std::size_t k = 0; k < way.size(); ++k) {
        const double share = way[k].alongM / wholeM;
        StreamPoint p = report;
        if (std::isfinite(kt) && kt > 0.0) {
            if (std::isfinite(p.tasKt)) p.tasKt *= kt / report.groundSpeedKt;
            p.groundSpeedKt = kt;
        }
        p.lat = way[k].at.lat;
        p.lon = way[k].at.lon;
        p.altitudeFt = ac.pose.altitude + (report.altitudeFt - ac.pose.altitude) * share;
        p.trackDeg = way[k].course * radiansToDegrees;
        p.hasTrueHeading = 0;
        p.hasRoll = 0;
        p.turnPoint = 1;
        p.playTick = gf_tickPlus(now, static_cast<std::int64_t>(std::llround(ticksTo(way[k].alongM))));
        ac.stream.insert(ac.stream.begin() + 1 + static_cast<std::ptrdiff_t>(k), p);
    }
    // A way round longer than that pace covers by the report's time reaches
    // the report late: it falls due then, after the turn's points, and the
    // points after it move along when it would reach them.
    const std::size_t last = way.size() + 1;
    const auto arrival = static_cast<std::int64_t>(std::llround(ticksTo(wholeM))) + now;
    const std::int64_t shift = arrival - ac.stream[last].playTick;
    if (shift < 1) return;
    ac.stream[last].playTick = gf_tickPlus(ac.stream[last].playTick, shift);
    if (last + 1 < ac.stream.size() && ac.stream[last].playTick >= ac.stream[last + 1].playTick)
        for (std::size_t i = last + 1; i < ac.stream.size(); ++i)
            ac.stream[i].playTick = gf_tickPlus(ac.stream[i].playTick, shift);
}

void stepAir(LiveAc& ac) {
    if (ac.stream.size() < 2) return;
    const AirCategoryRow& row = lf_row(ac.category);
    MotionState& m = ac.motion;
    m.legTasKt = lf_legAirspeedKt(ac);
    m.legVerticalSpeed = ac.stream[1].verticalSpeed;
    if (m.flareStage == 0) lf_planVertical(ac);
    const std::int64_t plannedDue = ac.stream[1].playTick;
    lf_keepAirborneFloor(ac);
    // A leg the floor brings forward is descended over the time it is now
    // flown in: planned over the report's own time, an airliner held at its
    // floor 750 m short of the runway reached its touchdown report 55 ft up,
    // flew the taxiway's reports still airborne and touched down on it.
    if (m.flareStage == 0 && ac.stream[1].playTick != plannedDue) lf_planVertical(ac);
    // The vertical plan may have dropped points and retimed the next one.
    const double t = lf_legTicks(ac);
    const StreamPoint& front = ac.stream[0];
    const StreamPoint& next = ac.stream[1];

    if (ac.phase != AcPhase::takeoff) {
        const double wanted = gf_pitchForVerticalSpeed(isShortLandingPoint(ac, next) ? front : next, ac.phase);
        if (!std::isfinite(ac.pose.pitch)) ac.pose.pitch = wanted;
        const double rate = row.pitchRateDeg * degreesToRadians;
        m.pitchPerTick = std::clamp((wanted - ac.pose.pitch) / t, -rate, rate);
    }

    lf_planTurn(ac, row, t);
    lf_rememberLeg(ac, row);

    if (ac.phase == AcPhase::flying) {
        m.takeoffFlagSecond = m.takeoffFlagFirst;
        m.takeoffFlagFirst = 0;
    }

    lf_configure(ac);

    if (ac.phase == AcPhase::landing && ac.onGround == 0 && ac.stream[0].airborne != 0) {
        if (auto match = findLandingRunway(lf_pose(ac), ac.pose.heading)) {
            ac.landingRunway = std::move(match);
            m.landingRunwayRefPos = lf_pose(ac);
            m.landingRunwayRefValid = 1;
        }
    }
}

void retimeFinalApproach(LiveAc& ac) {
    if (ac.phase != AcPhase::landing || ac.onGround != 0 || ac.stream.size() < 2 || ac.stream[1].airborne != 0)
        return;
    const StreamPoint& report = ac.stream[1];
    const LaLo pose = lf_pose(ac);
    const auto here = findLandingRunway(pose, ac.pose.heading);
    auto there = findLandingRunway(lf_position(report), ac.pose.heading);
    if (!here || !there || here->key != there->key || here->endName != there->endName) return;
    if (!lf_isFinite(there->pastThresholdM) || !lf_isFinite(there->usableLengthM) ||
        !lf_isFinite(here->pastThresholdM) || !(*there->usableLengthM > 0.0))
        return;
    const double from = *here->pastThresholdM;
    const double to = *there->pastThresholdM;
    if (!(from < to)) return;
    const double aim = std::min(*there->usableLengthM / 3.0, 1000.0);
    // An aircraft at the touchdown already (within a metre) has the report
    // ahead on its roll, not a second touchdown before it.
    if (!(from < aim - 1.0 && to > aim)) return;
    const double f = std::clamp((aim - from) / (to - from), 0.0, 1.0);
    const double before = ac.stream[0].groundSpeedKt;
    const double reportedKt = std::isfinite(report.groundSpeedKt) ? std::max(0.0, report.groundSpeedKt) : 0.0;
    const double arrivalKt = std::isfinite(before) && before > 0.0 ? std::max(before, reportedKt) : reportedKt;
    // A report nearer past the aim than the aircraft rolls in the shortest
    // leg is the touchdown itself: a touchdown put in a hair before it left
    // a leg of centimetres that took that shortest time, and the aircraft
    // touched down at 95 kt and stood still for a quarter of a second.
    const double leastRollM = arrivalKt * kKnotsToMps * kMinLegTicks / 100.0;
    if (f < 1.0 && to - aim > leastRollM) {
        // The touchdown goes in before the report, which keeps its place,
        // time and speed: the roll from the touchdown reaches the report when
        // it falls due. The aircraft arrives at the speed the leg to the
        // runway is flown at, and rolls on to the report slowing evenly to
        // its speed, so the touchdown falls due that long before it.
        StreamPoint touchdown = report;
        LaLo at{pose.lat + (report.lat - pose.lat) * f, pose.lon + gf_wrapLongitudeDifference(report.lon - pose.lon) * f};
        gf_normalizeLaLo(at);
        touchdown.lat = at.lat;
        touchdown.lon = at.lon;
        touchdown.groundSpeedKt = arrivalKt;
        touchdown.stationary = 0;
        const double meanMps = (arrivalKt + reportedKt) / 2.0 * kKnotsToMps;
        const double rollTicks = meanMps > 0.0 ? (to - aim) / meanMps * 100.0 : 0.0;
        const std::int64_t due = std::int64_t{report.playTick} - static_cast<std::int64_t>(std::llround(rollTicks));
        touchdown.playTick = gf_tickPlus(0, std::max(due, std::int64_t{tickCount.load()} + 1));
        ac.stream.insert(ac.stream.begin() + 1, std::move(touchdown));
    }
    StreamPoint& next = ac.stream[1];
    const double toGoS = std::max(gf_ticksBetween(tickCount.load(), next.playTick) / 100.0, 0.25);
    const double above = std::max(0.0, ac.pose.altitude - (there->altitudeFt + ac.groundOffsetFt));
    // The height takes its time at the stream's own descent (600 ft/min at
    // the least), but never so long that the shortened leg would be flown
    // slower than the aircraft can fly: it comes down steeper instead.
    const double descentFpm = std::max(600.0, std::isfinite(ac.stream[0].verticalSpeed) ? -ac.stream[0].verticalSpeed : 0.0);
    const double floorKt = gf_airborneSpeedFloorKt(ac);
    const double legNm = gf_distanceNm(pose, lf_position(next));
    const double floorS = floorKt > 0.0 ? legNm * 3600.0 / floorKt : std::numeric_limits<double>::infinity();
    const double seconds = std::max({2.0, toGoS, std::min(above * 60.0 / descentFpm, floorS)});
    retimeNextPoint(ac, gf_ticksFromCount(std::ceil(seconds * 100.0), kMinLegTicks));
    // The stored match describes the point where it now lies: its distance
    // past the threshold moves with it, so that the distances carried along
    // from this reference later stay true.
    const double moved = from + (to - from) * f;
    *there->pastThresholdM = moved;
    there->fromThresholdM += moved - to;
    ac.landingRunway = std::move(there);
    ac.motion.landingRunwayRefPos = lf_position(next);
    ac.motion.landingRunwayRefValid = 1;
}

bool isShortLandingPoint(const LiveAc& ac, const StreamPoint& point) {
    if (ac.phase != AcPhase::landing || ac.onGround != 0 || point.airborne != 0) return false;
    const double height = ac.motion.heightAboveGroundFt;
    if (!std::isfinite(height) || !(height > ac.groundOffsetFt + 1.0)) return false;
    const auto runway = findLandingRunway(lf_position(point), ac.pose.heading);
    return runway && runway->pastThresholdM && *runway->pastThresholdM < -50.0;
}

void planAirVertical(LiveAc& ac) {
    if (ac.stream.size() < 2) return;
    if (ac.phase == AcPhase::landing) {
        // The stream has the aircraft on the runway already: it comes down
        // to it by the next point, as on the leg to the touchdown, instead of
        // floating along the landing roll at a rate the reports never gave.
        lf_planTouchdownLeg(ac, lf_legTicks(ac));
        return;
    }
    double sum = 0.0;
    for (const StreamPoint& p : ac.stream) sum += p.verticalSpeed;
    if (sum <= 100.0) {
        lf_setDescentRate(ac, airDescentRate(ac), true);
        gf_setGear(ac, true);
        return;
    }
    const std::size_t last = std::min<std::size_t>(ac.stream.size() - 1, 10);
    std::size_t k = 2;
    while (k <= last && ac.stream[k].airborne == 0) ++k;
    if (k <= last) {
        for (std::size_t i = 0; i + 1 < k && ac.stream.size() >= 3; ++i) ac.stream.erase(ac.stream.begin() + 1);
        const double nm = gf_distanceNm(lf_pose(ac), lf_position(ac.stream[1]));
        retimeNextPoint(ac, gf_legTicks(nm, groundSpeedForNextLeg(ac), kMinLegTicks));
        lf_replanStep(ac);
        climbRateForTakeoff(ac);
        keepTakeoffClimb(ac);
        gf_setGear(ac, true);
        return;
    }
    StreamPoint& next = ac.stream[1];
    next.verticalSpeed = std::isnan(next.verticalSpeed) ? 601.0 : std::max(next.verticalSpeed, 601.0);
    ac.motion.legVerticalSpeed = next.verticalSpeed;
    ac.motion.verticalPerTick = next.verticalSpeed / kTicksPerMinute;
    gf_setGear(ac, true);
}

void climbRateForTakeoff(LiveAc& ac) {
    if (ac.stream.size() < 2) return;
    const StreamPoint& next = ac.stream[1];
    if (ac.pose.altitude >= next.altitudeFt) {
        ac.motion.verticalPerTick = 0.0;
        return;
    }
    ac.motion.verticalPerTick = std::min((next.altitudeFt - ac.pose.altitude) / lf_legTicks(ac), ac.climbRateLimit);
}

void keepTakeoffClimb(LiveAc& ac) {
    MotionState& m = ac.motion;
    if (ac.phase != AcPhase::takeoff || !(m.initialTakeoffClimb > 0.0)) return;
    m.verticalPerTick =
        std::isfinite(m.verticalPerTick) ? std::max(m.initialTakeoffClimb, m.verticalPerTick) : m.initialTakeoffClimb;
}

double airDescentRate(const LiveAc& ac) {
    if (ac.motion.heightAboveGroundFt <= 100.0) return -600.0;
    if (ac.stream.size() < 2) return -601.0;
    const double mean = (ac.stream[0].verticalSpeed + ac.stream[1].verticalSpeed) / 2.0;
    const double rate = mean - (static_cast<double>(g_qnh.load()) - 1013.25) * 6.0;
    return std::isnan(rate) ? -601.0 : std::min(-601.0, rate);
}

std::optional<RunwayMatch> landingRunwayForPose(const LiveAc& ac) {
    const LaLo pose = lf_pose(ac);
    if (auto match = findLandingRunway(pose, ac.pose.heading)) return match;
    if (!ac.landingRunway || ac.motion.landingRunwayRefValid == 0) return std::nullopt;
    RunwayMatch stored = *ac.landingRunway;
    if (stored.pastThresholdM)
        *stored.pastThresholdM +=
            gf_relativePosition(ac.motion.landingRunwayRefPos, stored.headingDeg * degreesToRadians, pose).along;
    return stored;
}

double limitFlyingVs(const LiveAc& ac, double verticalSpeed) {
    const MotionState& m = ac.motion;
    if (ac.phase != AcPhase::flying || ac.category != Light || !std::isfinite(verticalSpeed)) return verticalSpeed;
    // The descent limit holds whether or not a level-off altitude is known
    // yet: bound only once a report after the aircraft was shown set it, the
    // descent of the leg then flown changed from one tick to the next.
    if (verticalSpeed < 0.0) return std::max(verticalSpeed, -1200.0);
    if (m.lastAirborneAltitudeValid == 0 || !std::isfinite(ac.pose.altitude)) return verticalSpeed;
    const double above = ac.pose.altitude - m.lastAirborneAltitudeFt;
    if (above > 650.0) return -600.0;
    if (above > 500.0) return 0.0;
    return verticalSpeed;
}

void applyVerticalSpeed(LiveAc& ac, double perTick, bool force) {
    double s = perTick * kTicksPerMinute;
    if (!force && !(s > 0.0)) s = ac.pose.verticalSpeed > 0.0 ? ac.pose.verticalSpeed : 0.0;
    gf_slewClimb(ac, limitFlyingVs(ac, s));
}

void gf_slewClimb(LiveAc& ac, double fpm) {
    MotionState& m = ac.motion;
    if (!std::isfinite(m.climbPerTick)) m.climbPerTick = 0.0;
    // A rate that is not a number leaves the climb as it is.
    if (std::isfinite(fpm))
        m.climbPerTick += std::clamp(fpm / kTicksPerMinute - m.climbPerTick, -kVerticalChangePerTick,
                                     kVerticalChangePerTick);
    ac.pose.altitude += m.climbPerTick;
    ac.pose.verticalSpeed = m.climbPerTick * kTicksPerMinute;
}

void applyApproachVs(LiveAc& ac, double perTick) {
    MotionState& m = ac.motion;
    const double c = std::isfinite(perTick) ? perTick : m.lastApproachStep;
    // A point on the ground reports no descent (0): the leg's own rate to it
    // stands in for it, within the category's approach floor, so that an
    // aircraft still high where the stream has it on the runway gets down.
    const double floorFpm = gf_approachDescentFloorFpm(static_cast<ModelCategory>(ac.category));
    std::array<double, 2> rates{MotionState::unknown, MotionState::unknown};
    for (std::size_t i = 0; i < rates.size() && i < ac.stream.size(); ++i)
        rates[i] = ac.stream[i].airborne != 0 || !std::isfinite(c)
                       ? ac.stream[i].verticalSpeed
                       : std::clamp(c * kTicksPerMinute, floorFpm, 0.0);
    const DescentRate bounded =
        descentRateBounds(c * kTicksPerMinute, rates, static_cast<ModelCategory>(ac.category));
    // The approach never climbs on its own rates; only the hold short of the
    // touchdown zone takes an aircraft that sank below it back up.
    double step = landingDescentStep(ac, std::min(bounded.rate / kTicksPerMinute, 0.0));
    if (!std::isfinite(step)) step = 0.0;
    if (m.lastApproachStepSet != 0)
        step = m.lastApproachStep +
               std::clamp(step - m.lastApproachStep, -kVerticalChangePerTick, kVerticalChangePerTick);
    m.lastApproachStep = step;
    m.lastApproachStepSet = 1;
    ac.pose.altitude += step;
    ac.pose.verticalSpeed = step * kTicksPerMinute;
}

double landingDescentStep(LiveAc& ac, double perTick) {
    if (ac.phase != AcPhase::landing || ac.onGround != 0 || ac.stream.empty()) return perTick;
    const auto runway = landingRunwayForPose(ac);
    if (!runway || !runway->pastThresholdM || !std::isfinite(runway->altitudeFt)) return perTick;
    const double g = ac.groundOffsetFt;
    const double h = ac.pose.altitude - runway->altitudeFt;
    double s = std::isfinite(perTick) ? std::min(perTick * kTicksPerMinute, 0.0) : 0.0;
    const double past = *runway->pastThresholdM;

    const StreamPoint& front = ac.stream[0];
    const LaLo pose = lf_pose(ac);
    const double ticksLeft = std::max(1, gf_ticksBetween(tickCount.load(), front.playTick));
    const double neededKt = gf_speedKtOver(gf_distanceNm(pose, lf_position(front)), ticksLeft);
    const double speedKt = std::min(neededKt, groundSpeedForNextLeg(ac));

    // Short of the touchdown zone the descent aims at the floor it is held
    // at (a foot above standing height) by the zone's start, and eases onto
    // it no faster than the descent may change: aimed at standing height and
    // stopped a foot above it, a descent went level in one tick. A runway
    // found only when the aircraft is already too near the floor to stop on
    // it (dead reckoning took a light aircraft down 700 m short of it) leaves
    // the descent to ease out below the floor and climb back onto it the same
    // way: raised onto the floor each tick, a descent still easing out turned
    // into a climb in one tick, twelve times what a descent may change. Only
    // an aircraft down at its standing height is raised onto the floor at once.
    double easedFpm = MotionState::unknown;
    if (past < kTouchdownFloorM && std::isfinite(h) && std::isfinite(past)) {
        const double standing = std::max(g, 0.0);
        const double floor = standing + 1.0;
        const double v = speedKt * kKnotsToMps;
        const double lose = std::max(h, floor) - floor;
        if (s < 0.0) {
            const double reachedAt = past + lose * 60.0 / -s * v;
            if (reachedAt < kTouchdownFloorM)
                s = lose > 0.0 && v > 0.0 ? -lose * 60.0 / ((kTouchdownFloorM - past) / v) : 0.0;
        }
        if (!(h > standing)) {
            ac.pose.altitude = runway->altitudeFt + floor;
            easedFpm = 0.0;
        } else {
            easedFpm = (h < floor ? lf_stoppingStep(floor - h) : -lf_stoppingStep(lose)) * kTicksPerMinute;
        }
    }

    TouchdownInput in;
    in.verticalSpeedFpm = s;
    in.heightFt = h;
    in.touchdownHeightFt = g;
    in.pastThresholdM = past;
    in.runwayLengthM = runway->usableLengthM.value_or(0.0);
    double speed = std::max({std::isfinite(speedKt) ? speedKt : 0.0,
                             std::isfinite(ac.pose.trueAirspeed) ? ac.pose.trueAirspeed : 0.0,
                             std::isfinite(front.groundSpeedKt) ? front.groundSpeedKt : 0.0});
    const bool hasNext = ac.stream.size() >= 2;
    const StreamPoint* next = hasNext ? &ac.stream[1] : nullptr;
    if (next != nullptr && next->groundSpeedKt > speed) speed = next->groundSpeedKt;
    in.speedKt = std::min(speed, 200.0);
    in.frontVerticalSpeedFpm = front.verticalSpeed;
    in.nextVerticalSpeedFpm = next != nullptr ? next->verticalSpeed : MotionState::unknown;
    in.gainFt = next != nullptr ? next->altitudeFt - front.altitudeFt : MotionState::unknown;
    in.nextAirborne = next != nullptr && next->airborne != 0;
    const TouchdownShape shaped = shapeTouchdownDescent(in);
    if (shaped.changed) ac.motion.touchAndGoWatch = 1;
    return std::max(shaped.verticalSpeedFpm, easedFpm) / kTicksPerMinute;
}
