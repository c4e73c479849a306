#include "motion/pose_path.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include <fmt/format.h>

#include "engine/engine_state.h"
#include "engine/geometry.h"
#include "foundation/geodesy.h"
#include "foundation/log.h"
#include "motion/air_movement.h"
#include "motion/curves.h"
#include "motion/flight_phases.h"
#include "motion/motion_math.h"
#include "motion/next_position.h"
#include "motion/pose_attitude.h"
#include "motion/speed_profile.h"
#include "motion/ground_roll.h"
#include "motion/tick_math.h"

namespace {

// No single tick turns the heading by more than this (3.6 degrees): a larger
// step is a planning fault, and taking it would show as a snap.
constexpr double kMaxHeadingStep = 0.06283185307179587;
// Smoothed small turns: the rate builds up and down by this much a tick.
constexpr double kHeadingAcceleration = 6.981317007977318e-6;
constexpr double kSmoothTurnDeg = 6.0;
constexpr double kSmoothRateDeg = 0.02;
constexpr double kTurnInPlaceDoneDeg = 5.0;
// The widest arc (m) a taxi creeps round where it slowed to turn.
constexpr double kCreepTurnRadiusM = 5.0;
// Tighter while the point lies behind the wing: creeping on then takes the
// aircraft away from it, and the turn only grows.
constexpr double kCreepAwayRadiusM = 3.5;
// The arc's radius at most this share of the way to the point over the sine
// of the angle to it (no less than kLeastSine): the point then stays well
// outside the circle the aircraft turns on.
constexpr double kCreepRadiusShareOfWay = 0.25;
constexpr double kLeastSine = 0.25;
constexpr double kCurveHeadingToleranceDeg = 0.5;
constexpr double kLastCurveProgress = 0.999999;
// The Light aircraft's takeoff: a position this far behind the previous one
// (m) along the runway counts as rolling backwards.
constexpr double kBackwardsM = 0.02;
constexpr double kTicksPerSecond = 100.0;

LaLo lf_pose(const LiveAc& ac) { return {ac.pose.latitude, ac.pose.longitude}; }

void lf_setPosition(LiveAc& ac, LaLo p) {
    ac.pose.latitude = p.lat;
    ac.pose.longitude = p.lon;
}

bool lf_groundTurnValid(const MotionState& m) {
    return m.path.turn.status == GroundTurnStatus::None && m.path.turn.totalLength > 0.0;
}

bool lf_curveValid(const MotionState& m) {
    return !std::isnan(m.path.curve.controlEast) && !std::isnan(m.path.curve.controlNorth);
}

// The path progress advanced by the next schedule entry (on the ground, while
// entries are left) or else by the constant step.
double lf_progressStep(LiveAc& ac) {
    MotionState& m = ac.motion;
    if (ac.onGround != 0 && m.scheduleIndex < m.scheduleCount && m.scheduleIndex < m.schedule.size())
        return m.schedule[m.scheduleIndex++];
    return m.path.progressStep;
}

void lf_moveOnProfile(LiveAc& ac, bool turnValid) {
    MotionState& m = ac.motion;
    ProfileLeg& leg = m.profileLeg;
    leg.elapsedTicks += 1;
    const double t = leg.elapsedTicks / 100.0;
    const double s = gf_speedProfileParameter(leg.profile, t);
    const double D = leg.profile.distance;
    const double x = std::clamp(gf_speedProfileDistance(leg.profile, s), 0.0, D);
    const double f = std::clamp(D > 0.0 ? x / D : 1.0, 0.0, 1.0);
    bool headingFromTurn = false;
    if (turnValid && (m.groundTurnMode == 2 || m.groundTurnMode == 3)) {
        const CurvePoint p = sampleGroundTurn(m.path.turn, f);
        if (p.valid) {
            lf_setPosition(ac, {p.lat, p.lon});
            ac.pose.heading = p.heading;
            headingFromTurn = true;
        } else {
            resetMotionPath(m.path);
        }
    }
    if (!headingFromTurn) lf_setPosition(ac, gf_between(leg.start, leg.end, f));
    double tas = gf_speedProfileSpeedAt(leg.profile, t) / kKnotsToMps;
    if (leg.kind == 3) tas = std::min(tas, refSpeedKt(ac, 1) + 30.0);
    ac.pose.trueAirspeed = tas;
    if (!headingFromTurn && ac.onGround != 0 && ac.phase != AcPhase::pushing_back)
        gf_stepHeadingToward(ac, m.hasProfileHeadingTarget != 0 ? m.profileHeadingTarget : m.legBearing,
                             m.profileHeadingSmoothing != 0);
}

void lf_moveOnGroundTurn(LiveAc& ac) {
    MotionState& m = ac.motion;
    m.path.progress = std::clamp(m.path.progress + lf_progressStep(ac), 0.0, 1.0);
    const CurvePoint p = sampleGroundTurn(m.path.turn, m.path.progress);
    if (!p.valid) {
        m.path.turn.status = GroundTurnStatus::InvalidInput;
        return;
    }
    lf_setPosition(ac, {p.lat, p.lon});
    ac.pose.heading = p.heading;
}

// The heading of a tick without a path that gives one: on the ground toward
// the leg's target, in the air (and pushing back) by the planned change.
void lf_straightHeading(LiveAc& ac) {
    const MotionState& m = ac.motion;
    if (ac.onGround != 0 && ac.phase != AcPhase::pushing_back) {
        const bool smoothing =
            ac.phase == AcPhase::taxi && std::isfinite(m.startTurnAngleDeg) && m.startTurnAngleDeg <= kSmoothTurnDeg;
        const bool toGroundTarget =
            (ac.phase == AcPhase::taxi && ac.prevPhase != AcPhase::landing_roll) || ac.phase == AcPhase::takeoff_roll;
        const double target =
            toGroundTarget && m.hasGroundHeadingTarget != 0 ? m.groundHeadingTarget : m.legBearing;
        gf_stepHeadingToward(ac, target, smoothing);
        return;
    }
    if (std::fabs(m.headingPerTick) <= kMaxHeadingStep)
        ac.pose.heading = normalizeHeading(ac.pose.heading + m.headingPerTick);
}

// One tick along an airborne leg's pace: on by the share of its distance
// the profile covers in the tick, along the curved transition when there is
// one, else the straight line. Past its time (the point fell due later) it
// goes on straight at the speed it ended with. The course of the curve at
// the point reached, where it is on one.
std::optional<double> lf_moveOnAirPace(LiveAc& ac) {
    MotionState& m = ac.motion;
    AirPace& pace = m.airPace;
    const SpeedProfile& p = pace.profile;
    const auto covered = [&](std::int32_t ticks) {
        const double t = ticks / 100.0;
        return (gf_speedProfileDistance(p, gf_speedProfileParameter(p, t)) + std::max(0.0, t - p.duration) * p.endSpeed) /
               p.distance;
    };
    const double before = covered(pace.elapsed);
    pace.elapsed += 1;
    const double f = covered(pace.elapsed);
    AirTransition& tr = m.transition;
    if (tr.active != 0 && f <= 1.0) {
        tr.elapsed = std::min(tr.elapsed + 1, tr.duration);
        const HermiteTransition h =
            hermiteTransitionPoint(tr.start, tr.end, tr.arrivalHeading, tr.angleLimit, f, tr.startCourse);
        if (h.valid) {
            lf_setPosition(ac, h.position);
            return h.heading;
        }
        tr.active = 0;
    }
    // From the pose, as the even step goes: a leg flown from wherever the
    // aircraft was put.
    const double share = f - before;
    lf_setPosition(ac, {ac.pose.latitude + (pace.end.lat - pace.start.lat) * share,
                        ac.pose.longitude + gf_wrapLongitudeDifference(pace.end.lon - pace.start.lon) * share});
    return std::nullopt;
}

// In flight along a curve the nose turns with the curve's own course, as
// fast as the category turns: turned evenly from the course the leg began on
// to the one it ends on, it ran ahead of a curve that bends late and behind
// one that bends early, up to 40 degrees off the travel in a holding.
void lf_noseAlongCurve(LiveAc& ac, double course) {
    const double most = gf_airTurnRateRad(ac.category) / kTicksPerSecond;
    const double d = std::remainder(course - ac.pose.heading, fullCircle);
    if (!std::isfinite(d) || !std::isfinite(most)) return;
    ac.pose.heading = normalizeHeading(ac.pose.heading + std::clamp(d, -most, most));
}

// A taxi that came to a stop to turn where its reports rolled on does not
// pivot about its middle: no pilot swings an airliner round on the spot on a
// runway exit or a taxiway, and no nose wheel steers that tight. Its nose
// comes round as fast as on the spot while the aircraft creeps on along it,
// round an arc of at most kCreepTurnRadiusM, speeding up from rest and
// slowing to rest again at the taxi rate. The nose turns toward the leg's
// point from where the aircraft has crept to, and the leg then sets off from
// there along the nose. The arc is kept to a share of the way to the point:
// a point inside the circle the aircraft turns on would never come round
// ahead of it. True while it creeps; false when there is nothing to creep
// toward.
bool lf_creepRound(LiveAc& ac, double doneDeg) {
    MotionState& m = ac.motion;
    if (ac.stream.empty()) return false;
    const LaLo here = lf_pose(ac);
    const LaLo target{ac.stream.front().lat, ac.stream.front().lon};
    const double toM = gf_distanceNm(here, target) * metresPerNm;
    const double rate = ac.turnRateLimit;  // radians a tick
    if (!(toM > 0.0) || !std::isfinite(toM) || !(rate > 0.0) || !std::isfinite(rate)) return false;
    const double d = std::remainder(gf_bearing(here, target) - ac.pose.heading, fullCircle);
    const double radiusM =
        std::min(std::fabs(d) > fullCircle / 4.0 ? kCreepAwayRadiusM : kCreepTurnRadiusM,
                 kCreepRadiusShareOfWay * toM / std::max(std::fabs(std::sin(d)), kLeastSine));
    const double leftRad = std::max(0.0, std::fabs(d) - doneDeg * degreesToRadians);
    const double wasM = m.lastStepTick == tickCount.load() - 1 ? m.lastStepM : 0.0;
    const double stepM = std::min({radiusM * rate, wasM + kTaxiSpeedChangePerTick,
                                   kTaxiSpeedChangePerTick * leftRad / rate});
    if (!std::isfinite(stepM)) return false;
    // The point moves round as the aircraft creeps on, so the turn can take
    // longer than planned: the point and those after it wait for it, as for
    // any turn, rather than fall due while it is still coming round.
    const double turnLeftTicks = std::ceil(std::fabs(d) / rate) + kMinLegTicks;
    const std::int32_t dueIn = gf_ticksBetween(tickCount.load(), ac.stream.front().playTick);
    if (std::isfinite(turnLeftTicks) && dueIn < turnLeftTicks)
        gf_shiftLaterPoints(ac, 0, static_cast<std::int64_t>(turnLeftTicks) - dueIn);
    ac.pose.heading = normalizeHeading(ac.pose.heading + std::copysign(std::min(rate, std::fabs(d)), d));
    LaLo p = gf_destinationPoint(here, {ac.pose.heading, stepM * feetPerMetre});
    gf_normalizeLaLo(p);
    lf_setPosition(ac, p);
    ac.pose.trueAirspeed = stepM * 100.0 * kMpsToKnots;
    m.legBearing = gf_bearing(lf_pose(ac), target);
    return true;
}

// After creeping round, the leg sets off with the last of the turn still to
// make (a late one), or stands first: the nose comes round only as the
// aircraft rolls, no tighter than it crept, and not at all where it stands.
// Once it is along the leg the taxi steers as before.
void lf_noseRollsRound(LiveAc& ac, LaLo from) {
    MotionState& m = ac.motion;
    const double was = ac.pose.heading;
    lf_straightHeading(ac);
    const double most = gf_distanceNm(from, lf_pose(ac)) * metresPerNm / kCreepTurnRadiusM;
    const double turned = std::remainder(ac.pose.heading - was, fullCircle);
    if (std::isfinite(turned) && std::isfinite(most) && std::fabs(turned) > most)
        ac.pose.heading = normalizeHeading(was + std::copysign(most, turned));
    if (!(std::fabs(std::remainder(m.legBearing - ac.pose.heading, fullCircle)) >
          kTurnInPlaceDoneDeg * degreesToRadians))
        m.turnInPlaceCreeps = 0;
}

void lf_moveStraight(LiveAc& ac) {
    MotionState& m = ac.motion;
    bool move = true;
    if (m.legTimeOverride != 0 && m.brakeTicksLeft > 0) {
        // Braking to rest before the turn in place, straight on along the
        // heading it arrived with: the step falls evenly to 0.
        const std::int32_t k = m.brakeTicks - m.brakeTicksLeft + 1;
        --m.brakeTicksLeft;
        const double stepM = m.brakeStepM * (1.0 - static_cast<double>(k) / (m.brakeTicks + 1));
        if (std::isfinite(stepM) && stepM > 0.0) {
            LaLo p = gf_destinationPoint(lf_pose(ac), {m.brakeBearing, stepM * feetPerMetre});
            gf_normalizeLaLo(p);
            lf_setPosition(ac, p);
        }
        ac.pose.trueAirspeed = std::max(0.0, stepM) * 100.0 * kMpsToKnots;
        return;
    }
    if (m.legTimeOverride != 0) {
        // A turn in place at the start of the leg: the aircraft moves once it
        // faces along the leg, from rest (a late one a little before, turning
        // the rest as it rolls).
        const double d = std::remainder(m.legBearing - ac.pose.heading, fullCircle);
        const bool creeps = ac.phase == AcPhase::taxi && m.turnInPlaceCreeps != 0;
        const double doneDeg = std::max(kTurnInPlaceDoneDeg, m.turnInPlaceDoneDeg);
        if (!std::isfinite(d) || std::fabs(d) <= doneDeg * degreesToRadians) {
            m.legTimeOverride = 0;
            ac.pose.trueAirspeed = m.legTasKt;
            if (ac.phase == AcPhase::taxi) startLegFromRest(ac);
        } else {
            if (creeps && lf_creepRound(ac, doneDeg)) return;
            ac.pose.trueAirspeed = 0.0;
            move = false;
        }
    }
    std::optional<double> curveCourse;
    const LaLo start = lf_pose(ac);
    if (move) {
        AirTransition& tr = m.transition;
        if (ac.onGround == 0 && m.airPace.profile.valid != 0) {
            curveCourse = lf_moveOnAirPace(ac);
        } else if (ac.onGround == 0 && tr.active != 0 && tr.duration > 0) {
            tr.elapsed = std::min(tr.elapsed + 1, tr.duration);
            const double f = static_cast<double>(tr.elapsed) / tr.duration;
            const HermiteTransition h = hermiteTransitionPoint(tr.start, tr.end, tr.arrivalHeading, tr.angleLimit, f, tr.startCourse);
            if (h.valid) {
                lf_setPosition(ac, h.position);
                curveCourse = h.heading;
            } else {
                lf_setPosition(ac, gf_between(tr.start, tr.end, f));
                tr.active = 0;
            }
        } else if (m.scheduleCount == 0) {
            if (ac.phase != AcPhase::pushed_back)
                lf_setPosition(ac, {ac.pose.latitude + m.stepLat, ac.pose.longitude + m.stepLon});
        } else if (m.scheduleIndex < m.scheduleCount && m.scheduleIndex < m.schedule.size()) {
            const double share = m.schedule[m.scheduleIndex++];
            lf_setPosition(ac, {ac.pose.latitude + m.unitStepLat * share, ac.pose.longitude + m.unitStepLon * share});
        }
    }
    if (curveCourse && (ac.phase == AcPhase::flying || ac.phase == AcPhase::landing))
        lf_noseAlongCurve(ac, *curveCourse);
    else if (ac.phase == AcPhase::taxi && m.turnInPlaceCreeps != 0)
        lf_noseRollsRound(ac, start);
    else
        lf_straightHeading(ac);
}

// A curved leg that yields no point: reported once for the leg, which goes on
// straight from here to the point it leads to, due at the same tick. Leaving
// the pose where it stands would freeze the aircraft until the leg ends and
// then jump it onto the next leg.
void lf_leaveFailedCurve(LiveAc& ac) {
    MotionState& m = ac.motion;
    if (m.curveErrorLogged == 0) {
        gf_log(fmt::format("{} error in curve at index: {:.2F}", ac.callsign, m.path.progress));
        m.curveErrorLogged = 1;
    }
    resetMotionPath(m.path);
    if (!ac.stream.empty()) {
        const StreamPoint& target = ac.stream.front();
        const double left = std::max(1, gf_ticksBetween(tickCount.load(), target.playTick));
        m.stepLat = (target.lat - ac.pose.latitude) / left;
        m.stepLon = gf_wrapLongitudeDifference(target.lon - ac.pose.longitude) / left;
        m.scheduleCount = 0;
    }
    lf_moveStraight(ac);
}

void lf_moveOnCurve(LiveAc& ac) {
    MotionState& m = ac.motion;
    m.path.progress = std::clamp(m.path.progress + lf_progressStep(ac), 0.0, kLastCurveProgress);
    const CurvePoint p = sampleCurvedLeg(m.path.curve, m.path.progress);
    if (!p.valid) {
        lf_leaveFailedCurve(ac);
        return;
    }
    lf_setPosition(ac, {p.lat, p.lon});
    if (ac.onGround == 0 || ac.phase == AcPhase::pushing_back) {
        ac.pose.heading = p.heading;
        return;
    }
    const double d = std::remainder(p.heading - ac.pose.heading, fullCircle);
    const double r = ac.turnRateLimit;
    if (std::fabs(d) > kCurveHeadingToleranceDeg * degreesToRadians && std::isfinite(r) && std::fabs(r) <= kMaxHeadingStep)
        ac.pose.heading = normalizeHeading(ac.pose.heading + std::copysign(r, d));
}

bool lf_isLightTakeoff(const LiveAc& ac) {
    if (ac.category != Light) return false;
    if (ac.onGround != 0) return ac.phase == AcPhase::takeoff_roll;
    if (ac.phase == AcPhase::takeoff) return true;
    return gf_isFlyingAfterTakeoff(ac);
}

// A Light aircraft never rolls or flies backwards while it takes off: a
// position behind the previous one becomes one tick of travel ahead of it.
void lf_keepTakeoffForward(LiveAc& ac, LaLo previous, double previousHeading) {
    if (!lf_isLightTakeoff(ac)) return;
    double reference = previousHeading;
    if (ac.motion.takeoffRunwayMatched != 0 && (ac.phase == AcPhase::takeoff || ac.phase == AcPhase::takeoff_roll))
        reference = ac.motion.takeoffRunwayHeadingDeg * degreesToRadians;
    const RelativePosition rel = gf_relativePosition(previous, reference, lf_pose(ac));
    if (!(rel.distanceM > kBackwardsM && rel.along < -kBackwardsM)) return;
    double speed = ac.pose.trueAirspeed;
    if (!ac.stream.empty() && !(speed >= ac.stream.front().groundSpeedKt)) speed = ac.stream.front().groundSpeedKt;
    if (!std::isfinite(speed)) speed = 0.0;
    LaLo ahead = gf_destinationPoint(previous, {reference, speed * feetPerNm / 360000.0});
    gf_normalizeLaLo(ahead);
    lf_setPosition(ac, ahead);
}

}  // namespace

void gf_interpolatePoseOnCurve(LiveAc& ac) {
    MotionState& m = ac.motion;
    const LaLo previous = lf_pose(ac);
    const double previousHeading = ac.pose.heading;

    if (ac.phase == AcPhase::takeoff_roll && ac.onGround != 0 && m.takeoffFlagFirst != 0) takeoffRollTickChecks(ac);

    const bool turnValid = lf_groundTurnValid(m);
    const bool curveValid = lf_curveValid(m);
    if (ac.onGround == 0 || ac.phase == AcPhase::pushing_back || turnValid || curveValid) m.smoothedHeadingRate = 0.0;

    if (m.profileLeg.profile.valid != 0)
        lf_moveOnProfile(ac, turnValid);
    else if (turnValid)
        lf_moveOnGroundTurn(ac);
    else if (!curveValid)
        lf_moveStraight(ac);
    else
        lf_moveOnCurve(ac);

    if (ac.onGround != 0 && ac.phase != AcPhase::pushing_back) {
        const double limit = kGroundTurnCap * ac.turnRateRad;
        const double d = std::remainder(ac.pose.heading - previousHeading, fullCircle);
        if (std::isfinite(d) && std::isfinite(limit) && std::fabs(d) > limit)
            ac.pose.heading = normalizeHeading(previousHeading + std::copysign(limit, d));
    }

    stepPitchBankAltitude(ac);

    LaLo position = lf_pose(ac);
    gf_normalizeLaLo(position);
    lf_setPosition(ac, position);

    lf_keepTakeoffForward(ac, previous, previousHeading);
    // Forward travel on the ground only, where a taxi leg may start rolling
    // (a pushback moves the aircraft tail first); the speed of the tick
    // anywhere, which an airborne leg's pace starts from.
    const bool rolling = ac.onGround != 0 && ac.phase != AcPhase::pushing_back;
    const double stepNm = gf_distanceNm(previous, lf_pose(ac));
    m.lastStepM = rolling ? stepNm * metresPerNm : 0.0;
    m.lastStepKt = gf_speedKtOver(stepNm, 1.0);
    m.lastStepTick = tickCount.load();
}

void gf_stepHeadingToward(LiveAc& ac, double targetHeading, bool smoothing) {
    MotionState& m = ac.motion;
    const double d = std::remainder(targetHeading - ac.pose.heading, fullCircle);
    const double r = ac.turnRateLimit;
    if (!std::isfinite(d) || !std::isfinite(r) || !(r > 0.0)) {
        m.smoothedHeadingRate = 0.0;
        return;
    }
    double step = 0.0;
    if (!smoothing || std::fabs(d) > kSmoothTurnDeg * degreesToRadians) {
        m.smoothedHeadingRate = 0.0;
        step = std::clamp(d, -r, r);
    } else {
        // Ease in toward the rate that still stops on the target (a braking
        // distance of rate^2 / 2a), never above the smooth rate.
        const double most = std::min(kSmoothRateDeg * degreesToRadians, r);
        const double a = kHeadingAcceleration;
        double previous = m.smoothedHeadingRate;
        if (std::signbit(previous) != std::signbit(d)) previous = 0.0;
        const double wanted = std::copysign(std::min(std::sqrt(2.0 * a * std::fabs(d) + a * a) - a, most), d);
        const double rate = previous + std::clamp(wanted - previous, -a, a);
        if (std::isfinite(rate) && most > 0.0 && d != 0.0) step = std::copysign(std::min(std::fabs(rate), std::fabs(d)), rate);
        m.smoothedHeadingRate = step;
    }
    if (std::fabs(step) > kMaxHeadingStep) return;
    ac.pose.heading = normalizeHeading(ac.pose.heading + step);
}

void gf_planAirPace(LiveAc& ac) {
    // A speed flown further than this factor off the leg's mean tells no
    // pace of it (a first leg after a creation, a jump); reports changing by
    // more than this share of it across the leg tell no pace either.
    constexpr double kMostFlownOffMean = 2.0;
    constexpr double kMostReportedOffMean = 0.25;
    MotionState& m = ac.motion;
    m.airPace = AirPace{};
    if (ac.onGround != 0 || ac.stream.size() < 2 || ac.stream[1].stationary != 0) return;
    const StreamPoint& next = ac.stream[1];
    const LaLo from = lf_pose(ac);
    const LaLo to{next.lat, next.lon};
    const std::int32_t now = tickCount.load();
    double seconds = std::max(kMinLegTicks, gf_ticksBetween(now, next.playTick)) / 100.0;
    // Along the curve the leg is flown on, where it bends, at the speed its
    // time was set for over the straight way: the curve is the longer, and
    // flown in that time a holding turn went faster than the speed it joined
    // at (222 kt into a 48 degree turn flown at 229). It takes the longer
    // time the even change below gives it.
    const AirTransition& tr = m.transition;
    const double lengthRatio =
        tr.active != 0 ? hermiteTransitionLengthRatio(tr.start, tr.end, tr.arrivalHeading, tr.angleLimit, tr.startCourse)
                       : 1.0;
    const double metres = gf_distanceNm(from, to) * metresPerNm * lengthRatio;
    if (!std::isfinite(metres) || !(metres > 1.0)) return;
    const double meanMps = metres / lengthRatio / seconds;
    // An aircraft that did not move in the last tick (created this tick)
    // starts at the speed reported where it starts.
    const StreamPoint& front = ac.stream[0];
    const auto near = [&](double mps) {
        return std::isfinite(mps) && mps >= meanMps / kMostFlownOffMean && mps <= meanMps * kMostFlownOffMean;
    };
    const double flownMps = m.lastStepTick >= now - 1 ? m.lastStepKt * kKnotsToMps : std::nan("");
    const double reportedMps = front.airborne != 0 ? front.groundSpeedKt * kKnotsToMps : std::nan("");
    const double startMps = near(flownMps)                                 ? flownMps
                            : m.lastStepTick < now - 1 && near(reportedMps) ? reportedMps
                                                                            : meanMps;
    // The leg ends at its mean and half the change its reports show across
    // it: one timed by its ends' reported speeds so meets its point at the
    // point's own speed, where the leg after it begins, and one flown faster
    // to give back a delay keeps that margin to its end.
    const double changeMps = front.airborne != 0 && next.airborne != 0
                                 ? (next.groundSpeedKt - front.groundSpeedKt) * kKnotsToMps
                                 : std::nan("");
    // Nor faster than an airliner changes speed in level flight: a way round
    // flown faster than the aircraft came to it reached that pace within its
    // first leg of two seconds, 25 kt up. The point falls due when the change
    // brings the aircraft there, and the legs after it take the rest.
    constexpr double kMostChangeMps2 = 4.0 * kKnotsToMps;
    const double reach = kMostChangeMps2 * seconds;
    // A way round's points fall due as the aircraft gathers the way's pace
    // evenly: its leg ends where that even change takes it. They carry the
    // pace, no speed a report gave, and ended half the way from the report's
    // speed up to it, the way's first legs came late and the legs after them
    // made it up, 10 kt over the pace.
    const bool wayRound = next.turnPoint != 0;
    const double endMps = std::clamp(
        wayRound ? 2.0 * meanMps - startMps
        : std::isfinite(changeMps) && std::fabs(changeMps) / 2.0 <= kMostReportedOffMean * meanMps
            ? meanMps + changeMps / 2.0
            : meanMps,
        startMps - reach, startMps + reach);
    // The leg takes the time an even change from the one speed to the other
    // covers it in, its point falling due then (a moment late or early is
    // given back by the legs after it): held to its time, a leg begun slower
    // or faster than its mean had to overshoot the mean on the way. Not a
    // leg onto the ground, whose descent times the touchdown, nor one the
    // change would retime by more than a fifth: where the retiming limits
    // keep the point from then, the profile covers the leg in its time.
    // A point of the aircraft's own dead reckoning, past the last report,
    // falls due whenever the change brings the aircraft there: its time is
    // no report's. Held to its time (the retiming leaves such points be),
    // an A359 catching up at 189 kt onto the last report before a pause in
    // its reports could not slow to their 175 kt within the 3 s of its first
    // guessed leg, flew that leg at its mean and dropped 14 kt in a tick.
    constexpr double kMostRetimeShare = 0.2;
    const double evenS = 2.0 * metres / (startMps + endMps);
    const bool guessed = ac.extrapolationCount > 0;
    if (next.airborne != 0 && std::isfinite(evenS) &&
        (guessed || std::fabs(evenS - seconds) <= kMostRetimeShare * seconds)) {
        const auto evenTicks = static_cast<std::int32_t>(std::lround(evenS * 100.0));
        if (evenTicks >= kMinLegTicks && evenTicks != std::lround(seconds * 100.0)) {
            if (guessed)
                ac.stream[1].playTick = gf_tickPlus(now, evenTicks);
            else
                retimeNextPoint(ac, evenTicks);
            seconds = std::max(kMinLegTicks, gf_ticksBetween(now, ac.stream[1].playTick)) / 100.0;
            m.stepLat = (to.lat - from.lat) / (seconds * 100.0);
            m.stepLon = gf_wrapLongitudeDifference(to.lon - from.lon) / (seconds * 100.0);
            // The curve, flown by its share of the time where no pace is
            // kept, ends when the point now falls due: timed for the leg's
            // old length, it came to the point's tick a tick short of it.
            if (m.transition.active != 0)
                m.transition.duration = static_cast<std::int32_t>(std::lround(seconds * 100.0));
        }
    }
    // Held to its time, the pace may not swing beyond the speeds it joins:
    // from an approach's 135 kt into a leg of 103, it dipped under what the
    // aircraft can fly at on the way. Such a leg flies its mean.
    constexpr double kMostSwingMps = 1.0 * kKnotsToMps;
    SpeedProfile profile;
    if (!gf_makeSpeedProfile(profile, metres, seconds, startMps, endMps) ||
        gf_speedProfileMinSpeed(profile) < std::min(startMps, endMps) - kMostSwingMps ||
        gf_speedProfileMaxSpeed(profile) > std::max(startMps, endMps) + kMostSwingMps)
        return;
    m.airPace = AirPace{profile, from, to, 0};
}

void gf_insertMidpointInStream(LiveAc& ac) {
    if (ac.stream.size() < 2) return;
    const StreamPoint& front = ac.stream[0];
    const StreamPoint& next = ac.stream[1];
    StreamPoint mid = front;
    LaLo position = gf_between({front.lat, front.lon}, {next.lat, next.lon}, 0.5);
    gf_normalizeLaLo(position);
    mid.lat = position.lat;
    mid.lon = position.lon;
    mid.altitudeFt = (front.altitudeFt + next.altitudeFt) / 2.0;
    mid.groundSpeedKt = (front.groundSpeedKt + next.groundSpeedKt) / 2.0;
    if (mid.altitudeFt > 0.0)
        mid.airborne = 1;
    else
        mid.altitudeFt = 0.0;
    mid.playTick = gf_ticksFromCount(
        (static_cast<double>(front.playTick) + static_cast<double>(next.playTick)) / 2.0,
        std::min(front.playTick, next.playTick));
    mid.stationary = 0;
    mid.midpoint = 1;
    mid.splitPacedKt = next.pacedKt;
    ac.stream.insert(ac.stream.begin() + 1, mid);
}
