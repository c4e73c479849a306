#include "motion/next_position.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <initializer_list>
#include <limits>
#include <optional>
#include <stdexcept>

#include <fmt/format.h>

#include "engine/engine_state.h"
#include "engine/geometry.h"
#include "engine/removal.h"
#include "engine/reports.h"
#include "engine/services.h"
#include "engine/user_position.h"
#include "foundation/geodesy.h"
#include "foundation/log.h"
#include "motion/air_movement.h"
#include "motion/flight_phases.h"
#include "motion/motion_math.h"
#include "motion/pose_path.h"
#include "motion/ground_movement.h"
#include "motion/ground_roll.h"
#include "motion/stand_arrival.h"
#include "motion/straight_legs.h"
#include "motion/stream_checks.h"
#include "motion/tick_math.h"
#include "settings/snapshot.h"

namespace {

// A loop that keeps erasing or inventing points ends here.
constexpr int kGuardPasses = 32;
// Dead-reckoned points are 3 s apart; a parked aircraft's one point lies a
// week ahead, so that it stays parked until a real report arrives.
constexpr std::int32_t kExtrapolatedStepTicks = 300;
constexpr std::int32_t kParkedStepTicks = 60480000;
constexpr int kExtrapolatedPoints = 20;
// Dead-reckoned taxi points at the reported speed before the aircraft brakes
// to rest: 12 s, longer than a pause of its reports outlasts the play delay.
constexpr int kTaxiPointsAtSpeed = 4;
constexpr std::int32_t kRetimeLimitFloor = 900;
constexpr std::int32_t kRetimeLimitRelax = 100;
// The retiming limits a hold that ends leaves: wide, wider still for the
// delay of a takeoff roll.
constexpr std::int32_t kWideRetimeLimit = 2700;
constexpr std::int32_t kTakeoffDelayLimit = 4500;
// The first 30 s of flying after a takeoff are still judged as takeoff.
constexpr std::int32_t kAfterTakeoffTicks = 3000;
constexpr double kLegFallbackKt = 100.0;
// A reported leg speed above this many times the positions' own distance
// over time, plus this much (kt), is not believed.
constexpr double kMostOverOwnFactor = 3.0;
constexpr double kMostOverOwnKt = 50.0;
// No taxi goes this fast (kt): a taxi leg reported faster is judged against
// the positions' own speed like a flying one.
constexpr double kFastestTaxiKt = 100.0;

LaLo lf_position(const StreamPoint& p) { return {p.lat, p.lon}; }
LaLo lf_pose(const LiveAc& ac) { return {ac.pose.latitude, ac.pose.longitude}; }

// A leg speed far beyond the points' own distance over time (own) is not
// flown: the first of the ends' reported speeds that is believable is taken
// instead, else own.
double lf_believableLegKt(double kt, double own, std::initializer_list<double> ends) {
    const double most = kMostOverOwnFactor * own + kMostOverOwnKt;
    if (!std::isfinite(own) || !(kt > most)) return kt;
    for (const double end : ends)
        if (std::isfinite(end) && end > 0.0 && end <= most) return std::max(1.0, end);
    return std::max(1.0, own);
}

// A Light aircraft on its takeoff roll almost at the next point, with the
// point after it well ahead along the runway: the next point is passed by.
bool lf_skipCloseTakeoffPoint(const LiveAc& ac) {
    if (ac.category != Light || ac.phase != AcPhase::takeoff_roll || ac.onGround == 0 || ac.stream.size() < 3 ||
        !(ac.pose.trueAirspeed >= 35.0))
        return false;
    const double reference = ac.motion.takeoffRunwayMatched != 0
                                 ? ac.motion.takeoffRunwayHeadingDeg * degreesToRadians
                                 : ac.pose.heading;
    const double nextM = gf_distanceNm(lf_pose(ac), lf_position(ac.stream[1])) * metresPerNm;
    if (!(nextM < 12.0)) return false;
    return gf_relativePosition(lf_pose(ac), reference, lf_position(ac.stream[2])).along > 30.0;
}

// An aircraft created in the air this tick whose next point lies closer than
// it flies in the shortest leg at its reported speed is at that point: the
// leg to it would crawl. Flown, a C56X reported at 160 kt was created 7 m
// short of its point, took the shortest leg's quarter second at 57 kt to
// get there, and then jumped to 160 kt. So is one whose next point is the
// last before a pause in its reports: it flies on from where it was created
// as from that point. Flown, an A333 reported at 194 kt, created 14 m short
// of the last report before a pause of 26 s, took a quarter second at 108 kt
// to get there and then jumped back to 194 kt.
bool lf_skipPointAtCreation(const LiveAc& ac) {
    if (ac.onGround != 0 || ac.activationTick != tickCount.load() || ac.stream.size() < 2) return false;
    const StreamPoint& next = ac.stream[1];
    if (next.airborne == 0 || next.stationary != 0) return false;
    if (ac.stream.size() >= 3 && (ac.stream[2].airborne == 0 || ac.stream[2].stationary != 0)) return false;
    // A front speed far beyond the next point's (a bad report: 1e6 kt)
    // tells no leg: judged by it, any point ahead lay within the shortest
    // leg, was passed, and the aircraft flew on at that speed.
    const double kt = ac.stream[0].airborne != 0
                          ? lf_believableLegKt(ac.stream[0].groundSpeedKt, next.groundSpeedKt, {next.groundSpeedKt})
                          : next.groundSpeedKt;
    if (!std::isfinite(kt) || !(kt > 1.0)) return false;
    const double nextM = gf_distanceNm(lf_pose(ac), lf_position(next)) * metresPerNm;
    return std::isfinite(nextM) && nextM < kt * kKnotsToMps * kMinLegTicks / 100.0;
}

// During takeoff (and just after it): whether the next point is to be flown
// to, rather than dropped because reaching it would force a takeoff far below
// the reported speed. An aircraft that reached the front point ahead of its
// report (the takeoff roll may run up to the advance limit early) is judged
// from the front point's reported time: its next point is only as slow as the
// reports are, and it gets moved earlier by the same lead when the leg is
// planned.
bool lf_keepTakeoffPoint(const LiveAc& ac) {
    if (ac.extrapolationCount > 0) return true;
    const StreamPoint& front = ac.stream[0];
    const StreamPoint& next = ac.stream[1];
    const bool light = ac.category == Light;
    const double d = gf_distanceNm(lf_pose(ac), lf_position(next)) * metresPerNm;
    const std::int32_t ahead = std::max(0, ac.motion.frontAheadTicks);
    const double t =
        std::max(kMinLegTicks, gf_ticksBetween(tickCount.load(), next.playTick) - ahead) / 100.0;
    const double g = front.groundSpeedKt;
    if (!std::isfinite(d) || !std::isfinite(t) || !std::isfinite(g) || d <= 1.0 || t < 5.0 ||
        g < (light ? 55.0 : 120.0))
        return true;
    const double needed = d / t * kMpsToKnots;
    return needed >= (light ? 35.0 : 100.0) || needed >= 0.65 * g;
}

void lf_eraseNext(LiveAc& ac) { ac.stream.erase(ac.stream.begin() + 1); }

// The front, where the aircraft was just created, takes the way the next
// point flies (its speed, track and climb) before that point is passed: it
// flies on as from that point. Left with the front's own, an aircraft
// created between a bad report (1e6 kt) and the next flew on at 1e6 kt.
void lf_flyOnAsFromNext(LiveAc& ac) {
    StreamPoint& front = ac.stream[0];
    const StreamPoint& next = ac.stream[1];
    front.groundSpeedKt = next.groundSpeedKt;
    front.trackDeg = next.trackDeg;
    front.verticalSpeed = next.verticalSpeed;
    front.tasKt = next.tasKt;
}

void lf_nextPosLoop(LiveAc& ac) {
    for (int guard = 0;; ++guard) {
        if (guard >= kGuardPasses) {
            const AcBase& described = ac;
            gf_logError(fmt::format("{}: guard exceeded {}, sz:{}, fs:{}, st:{}", "nextPosMain", described,
                                    ac.stream.size(), gf_acPhaseName(ac.phase), gf_acSimStateName(ac.simState)));
            noMoreNextPos(ac);
            return;
        }
        if (ac.stream.size() >= 2) {
            if (ac.onGround == 0 && ac.stream[1].stationary != 0 && ac.category != Rotorcraft) {
                lf_eraseNext(ac);
                continue;
            }
            if (checkTowedAircraft(ac)) continue;
            if (lf_skipCloseTakeoffPoint(ac)) {
                lf_eraseNext(ac);
                continue;
            }
            if (lf_skipPointAtCreation(ac)) {
                lf_flyOnAsFromNext(ac);
                lf_eraseNext(ac);
                // Its dead reckoning runs from where it is now.
                if (ac.stream.size() == 1) ac.stream.front().playTick = tickCount.load();
                continue;
            }
            if (ac.phase != AcPhase::takeoff && !gf_isFlyingAfterTakeoff(ac)) {
                advanceToNextPoint(ac);
                return;
            }
            if (lf_keepTakeoffPoint(ac)) {
                advanceToNextPoint(ac);
                return;
            }
            lf_eraseNext(ac);
            ac.motion.takeoffSpeedUp = 1;
            continue;
        }
        // The feed has run dry.
        if (ac.phase == AcPhase::parking && !checkArrivedAtStand(ac)) {
            noMoreNextPos(ac);
            return;
        }
        // A landing roll whose nose has already come off the runway taxis:
        // its dead reckoning is a taxi's, rolling on at the reported speed
        // as its reports do. Guessed as the roll's braking, an arrival whose
        // reports paused for 44 s just past its exit turn came to rest 11 m
        // on and stood there 17 s while its reports had it taxi on at 11 kt.
        if (ac.extrapolationCount == 0) endLandingRollWhenTurnedOff(ac);
        int budget = 0;
        if (ac.extrapolationCount < 0) {
            noMoreNextPos(ac);
            return;
        }
        if (ac.extrapolationCount == 1) {
            ac.extrapolationCount = -1;
            noMoreNextPos(ac);
            return;
        }
        budget = ac.extrapolationCount > 1 ? ac.extrapolationCount - 1 : extrapolationBudget(ac);
        if (budget < 1 || ac.stream.empty()) {
            noMoreNextPos(ac);
            return;
        }
        extrapolateStreamPoint(ac, budget);
    }
}

// The ticks between the reports of the front and the next point. The front
// counts from the tick it fell due before its leg brought it forward: an
// aircraft flying its legs at their reported speeds runs a few seconds
// ahead of reports whose times and places disagree a little, and from the
// tick it reached the front at, the next report looked several times
// slower than its own speed. Its reported speed taken for a bad one, an
// approach flew a 60 m leg at its floor, 75 kt where its reports said 120,
// and was back at 120 a second later.
std::int32_t lf_reportedLegTicks(const LiveAc& ac) {
    const StreamPoint& front = ac.stream[0];
    const std::int64_t frontDue = std::int64_t{front.playTick} + std::max(0, ac.motion.frontAheadTicks);
    return gf_ticksBetween(gf_tickPlus(0, frontDue), ac.stream[1].playTick);
}

// The speed of an airborne leg judged for flight: the reported distance over
// the reported time between the two points (at least the shortest leg).
double lf_reportedLegKt(const LiveAc& ac) {
    const StreamPoint& front = ac.stream[0];
    const StreamPoint& next = ac.stream[1];
    const double ticks = std::max(kMinLegTicks, lf_reportedLegTicks(ac));
    return gf_speedKtOver(gf_distanceNm(lf_position(front), lf_position(next)), ticks);
}

// Whether the next point is a place dead reckoning put the aircraft at, not
// one reported: past the end of its reports, or flown on from its last
// report where it was shown after a report gap (no point ahead is that
// report, nor the runway it lands on). There is no delay to give back to a
// guess: raced at half as fast again, a holding aircraft shown 2 s after its
// guessed place fell due flew 297 kt where its reports said 198.
bool lf_flyingOnAGuess(const LiveAc& ac) {
    if (ac.extrapolationCount > 0) return true;
    const MotionState& m = ac.motion;
    if (m.lastAirReportSet == 0) return false;
    const LaLo report = lf_position(m.lastAirReport);
    return std::none_of(ac.stream.begin() + 1, ac.stream.end(), [&](const StreamPoint& p) {
        return p.airborne == 0 || gf_isSamePlace(report, lf_position(p));
    });
}

// Faster than its reports by more than this (kt), an aircraft is taking back
// a delay.
constexpr double kLeastCatchUpKt = 0.5;
// Taking it back, it flies at most this share or this much (kt) faster,
// whichever is less, and changes speed by this much a second, at most this
// much (kt) from one leg to the next.
constexpr double kFlyingCatchUpShare = 0.10;
constexpr double kFlyingCatchUpKt = 15.0;
constexpr double kFlyingCatchUpChangeKtPerS = 2.0;
constexpr double kFlyingCatchUpStepKt = 4.0;

// The speed (kt) the current per-tick step moves the pose at; NaN while it
// stands (an aircraft just activated has no step yet).
double lf_stepKt(const LiveAc& ac) {
    const LaLo pose = lf_pose(ac);
    const double kt =
        gf_speedKtOver(gf_distanceNm(pose, {pose.lat + ac.motion.stepLat, pose.lon + ac.motion.stepLon}), 1.0);
    return std::isfinite(kt) && kt > 0.0 ? kt : std::nan("");
}

}  // namespace

double gf_flyingCatchUpMostKt(double baseKt) {
    return baseKt + std::min(kFlyingCatchUpShare * baseKt, kFlyingCatchUpKt);
}

double gf_flyingCatchUpKt(double baseKt, double lateTicks, double flownKt, double legTicks) {
    // A pilot taking back a delay in the air flies at most 10 % or 15 kt
    // faster than the traffic around him, whichever is less, and changes
    // speed by no more than 2 kt a second. Half as fast again, an aircraft
    // created behind its first report (the simulator's create round trip)
    // flew 222 kt where its reports said 150, straight from standing still.
    constexpr double kChangeKtPerS = kFlyingCatchUpChangeKtPerS;
    constexpr double kMostStepKt = kFlyingCatchUpStepKt;
    if (!std::isfinite(baseKt) || !(baseKt > 0.0)) return baseKt;
    const double legS = std::max(0.01, legTicks / 100.0);
    const double lateS = std::max(0.0, lateTicks) / 100.0;
    const double stepKt = std::min(kChangeKtPerS * legS, kMostStepKt);
    double extraKt = gf_flyingCatchUpMostKt(baseKt) - baseKt;
    // Eased off as the delay runs out: the extra speed falls to nothing a
    // step a leg by the time the distance it gains makes up what is left of
    // the delay. From extra e, legs of t and steps of s gain about
    // t (e * e / 2s + e / 2) on the way down.
    const double leftKtS = baseKt * lateS;
    extraKt = std::min(extraKt,
                       std::sqrt(2.0 * stepKt * leftKtS / legS + stepKt * stepKt / 4.0) - stepKt / 2.0);
    // And built up from the speed the aircraft flies now, a step a leg.
    const double alreadyKt = std::isfinite(flownKt) ? std::max(0.0, flownKt - baseKt) : 0.0;
    extraKt = std::min(extraKt, alreadyKt + stepKt);
    return baseKt + std::max(0.0, extraKt);
}

namespace {

void lf_nextPosAir(LiveAc& ac) {
    const StreamPoint& next = ac.stream[1];
    if (next.stationary != 0) {
        if (ac.category == Rotorcraft)
            hoverRetime(ac);
        else
            removeAircraftFromSim(ac);
        return;
    }
    if (ac.category != Rotorcraft && !(lf_reportedLegKt(ac) >= kMinAirborneLegKt)) {
        removeAircraftFromSim(ac);
        return;
    }
    // A point of a turn onto a report far off the nose falls due as the
    // turn's pace reaches it.
    if (next.turnPoint != 0) return;
    double legKt = 0.0;
    if (ac.phase == AcPhase::landing && next.airborne == 0) {
        // At the speed before the touchdown, not the slower roll's; but a
        // point dead reckoning slowed while the reports paused on final is
        // no slower than the touchdown reported (it touched down late).
        const double before = ac.stream[0].groundSpeedKt;
        legKt = before > 0.0 ? std::max(before, next.groundSpeedKt) : kLegFallbackKt;
    } else if (const double wayKt = ac.stream[0].groundSpeedKt; ac.stream[0].turnPoint != 0 && wayKt > 1.0) {
        // The leg that ends a way round onto a report far off the nose is
        // the way's last: flown at the way's pace, which timed the report.
        // At the mean of that pace and the report's own speed, a holding
        // A320 met again after a 55 s pause flew its last 240 m at 278 kt
        // where the way went at 331, and came to the report 10.1 s after it
        // fell due, a quarter of a second later than the way had it.
        legKt = wayKt;
    } else {
        const double speed = groundSpeedForNextLeg(ac);
        legKt = speed > 1.0 ? speed : kLegFallbackKt;
    }
    // On the approach too, a leg is no faster than its reports' own distance
    // over time allows: one absurd ground speed (a bad report) would fling
    // the aircraft down to its next point. The other end's believable speed
    // is flown then, as in flight: the points' own distance over time is
    // only a measure, too fast where the point reached was reached late and
    // the leg's ticks are squeezed (a 130 kt approach flew 306 kt). The
    // touchdown point's speed is the roll's, none to fly the leg at.
    if (ac.phase == AcPhase::landing) {
        const double own = lf_reportedLegKt(ac);
        legKt = next.airborne != 0
                    ? lf_believableLegKt(legKt, own, {ac.stream[0].groundSpeedKt, next.groundSpeedKt})
                    : lf_believableLegKt(legKt, own, {});
    }
    // From where the aircraft is: the leg is flown from the pose.
    const double nm = gf_distanceNm(lf_pose(ac), lf_position(next));
    std::int32_t ticks = gf_legTicks(nm, legKt, kMinLegTicks);
    // A flying leg that would end well after its point falls due (the
    // aircraft runs behind its reports: dead reckoning flew it straight while
    // the reports turned) is flown a little faster, so that the delay is given
    // back instead of staying for the rest of the flight. A second or two is
    // no delay but reports a little farther apart than their speed says: that
    // leg keeps its speed. On the approach as well, and the touchdown leg
    // (after the touchdown has timed its point by the height left): a report
    // gap on final (dead reckoning slows a landing aircraft too) otherwise
    // left it behind its reports down to the runway and along the whole
    // landing roll.
    if ((ac.phase == AcPhase::flying || ac.phase == AcPhase::landing) && ac.onGround == 0 &&
        !lf_flyingOnAGuess(ac)) {
        constexpr std::int64_t kLateFromTicks = 200;
        const std::int64_t due = std::int64_t{next.playTick} - std::max(0, ac.motion.streamLagTicks);
        const std::int32_t now = tickCount.load();
        const std::int64_t late = std::int64_t{now} + ticks - due;
        // Faster than the point reports, not than the leg: a leg from a point
        // flown faster (a turn's) would otherwise add the two together. The
        // touchdown point's speed is the roll's, not one to fly at.
        const double reportedKt = next.airborne != 0 ? next.groundSpeedKt : legKt;
        const double baseKt = std::isfinite(reportedKt) && reportedKt > 0.0 ? std::min(legKt, reportedKt) : legKt;
        const double flownKt = lf_stepKt(ac);
        // A leg that begins after its first point fell due starts that late,
        // however little: no spacing of the reports explains it. Kept, a
        // go-around created as it climbed away flew its reports 2 s late on
        // top of the feed's own delay. Not the moment its object took to
        // appear, though: an aircraft created in the air flies on at its
        // reported speed from there, where a step up to catch that moment
        // up was the first thing it did.
        const bool activatedNow = ac.activationTick == now;
        const std::int64_t startedLate =
            activatedNow ? 0
                         : std::clamp<std::int64_t>(gf_ticksBetween(ac.stream[0].playTick, now), 0,
                                                    std::max<std::int64_t>(late, 0));
        // Once under way the catch-up goes on to the end of the delay, easing
        // off: stopped at 2 s left, it dropped by 14 kt at once.
        const bool catchingUp = std::isfinite(flownKt) && flownKt > baseKt + kLeastCatchUpKt && late > 0;
        const std::int64_t giveBack = late > kLateFromTicks || catchingUp ? late : startedLate;
        if (giveBack > 0) {
            const double mostKt = gf_flyingCatchUpKt(baseKt, static_cast<double>(giveBack), flownKt, ticks);
            const auto quickest = static_cast<std::int64_t>(gf_legTicks(nm, mostKt, kMinLegTicks));
            // Giving back never slows a leg, nor brings its point before it
            // falls due.
            ticks = static_cast<std::int32_t>(
                std::min<std::int64_t>(ticks, std::max<std::int64_t>({ticks - giveBack, quickest, kMinLegTicks})));
        } else if (std::isfinite(flownKt) && flownKt > baseKt + kLeastCatchUpKt &&
                   flownKt <= baseKt + std::min(kFlyingCatchUpShare * baseKt, kFlyingCatchUpKt) + kFlyingCatchUpStepKt) {
            // The delay given back, an aircraft still flying faster than its
            // reports comes back to their speed as it left it, a step a leg,
            // its point falling due a moment early. Back at once, an airliner
            // that had given back its delay 15 kt faster than its reports
            // lost the 15 kt in a second.
            const double stepKt = std::min(kFlyingCatchUpChangeKtPerS * ticks / 100.0, kFlyingCatchUpStepKt);
            ticks = std::min(ticks, gf_legTicks(nm, flownKt - stepKt, kMinLegTicks));
        }
    }
    retimeNextPoint(ac, ticks);
}

}  // namespace

namespace {

// A taxiing or landing aircraft still rolling when its next leg would stand
// (the stream ran dry, or the next point is a hold) cannot stop dead on the
// point: it brakes to rest straight on first. A point is put in where it
// comes to rest, due when it gets there, and the hold moves there (its
// points stand where the one before them stands, and fall due after it).
// A helicopter already at rest there has landed: its landing roll ends.
// The point put in, when there is one.
std::optional<LaLo> lf_brakeBeforeHold(LiveAc& ac) {
    auto& s = ac.stream;
    if (ac.onGround == 0 || (ac.phase != AcPhase::taxi && ac.phase != AcPhase::landing_roll) || s.size() < 2 ||
        s[1].stationary == 0)
        return std::nullopt;
    const TaxiBraking braking = gf_taxiBraking(gf_rollingStepM(ac));
    if (braking.ticks <= 0) {
        endHelicopterLandingAtRest(ac);
        return std::nullopt;
    }
    const LaLo stop = gf_taxiBrakingStop(ac, braking);
    StreamPoint p = s[1];
    p.lat = stop.lat;
    p.lon = stop.lon;
    p.groundSpeedKt = 0.0;
    p.tasKt = 0.0;
    p.stationary = 0;
    p.playTick = gf_tickPlus(tickCount.load(), braking.ticks);
    s.insert(s.begin() + 1, p);
    for (std::size_t i = 2; i < s.size() && s[i].stationary != 0; ++i) {
        s[i].lat = stop.lat;
        s[i].lon = stop.lon;
    }
    if (s.size() >= 3 && s[2].playTick <= p.playTick)
        gf_shiftLaterPoints(ac, 2, std::int64_t{p.playTick} + 1 - s[2].playTick);
    ac.motion.brakeToRest = kBrakingToRest;
    ac.motion.legBearing = ac.pose.heading;
    return stop;
}

}  // namespace

void nextPosMain(LiveAc& ac) {
    try {
        lf_nextPosLoop(ac);
    } catch (const std::exception& e) {
        const AcBase& described = ac;
        throw std::runtime_error(fmt::format("{}: {} {}, sz:{}, fs:{}, st:{}", "nextPosMain", e.what(), described,
                                             ac.stream.size(), gf_acPhaseName(ac.phase),
                                             gf_acSimStateName(ac.simState)));
    }
}

void advanceToNextPoint(LiveAc& ac) {
    MotionState& m = ac.motion;
    // The point reached starts the next leg: the pace it came at is spent,
    // and the points made from it (a copy where the aircraft rests, dead
    // reckoning, a turn's entry, a speed change's midpoint) go at no such
    // pace. Carried on, an E175 resting after its landing roll took the
    // roll's 22 kt into the taxi after and went 31 kt where its reports gave 8.
    if (!ac.stream.empty()) ac.stream.front().pacedKt = 0.0;
    // A braking that a report cut short hands its speed to this leg; any
    // other braking is over.
    m.brakeToRest = m.brakeToRest == kBrakeCutShort ? kBrakeCutShort : 0;
    m.legTimeOverride = 0;
    m.legTimeOverrideTicks = 0;
    m.turnInPlaceDoneDeg = 0.0;
    m.turnInPlaceCreeps = 0;
    m.brakeTicksLeft = 0;
    m.legEndsAtRest = 0;
    // A schedule of shares belongs to the leg it was made for: the ground step
    // makes one anew, an airborne leg has none.
    m.scheduleCount = 0;
    m.scheduleIndex = 0;
    m.transition.elapsed = 0;
    m.transition.duration = 0;
    m.transition.active = 0;
    m.airPace = AirPace{};
    retimeFinalApproach(ac);
    resetMotionPath(m.path);
    m.curveErrorLogged = 0;
    if (!(ac.onGround != 0 && (ac.phase == AcPhase::takeoff_roll || ac.phase == AcPhase::landing_roll)))
        m.profileLeg = ProfileLeg{};
    if (ac.stream.size() < 2) {
        m.frontAheadTicks = 0;
        return;
    }
    // A hold of no length right after the point reached is passed through:
    // the aircraft would stop and start for nothing.
    if (const std::size_t k = gf_momentaryHoldEnd(ac, 0); k > 0)
        ac.stream.erase(ac.stream.begin() + 1, ac.stream.begin() + k);
    else
        gf_dropCopiesStoodTooLong(ac);
    gf_waitAtRestForReports(ac);
    // The due ticks of the points the leg may end at (a curved leg through a
    // point ends at the one after it), before the leg's planning moves them.
    std::array<std::pair<LaLo, std::int32_t>, 3> dueBefore{};
    std::size_t dueBeforeCount = 0;
    for (std::size_t i = 1; i < ac.stream.size() && dueBeforeCount < dueBefore.size(); ++i)
        dueBefore[dueBeforeCount++] = {lf_position(ac.stream[i]), ac.stream[i].playTick};
    {
        const StreamPoint& front = ac.stream[0];
        StreamPoint& next = ac.stream[1];
        if (next.stationary == 0) {
            if (gf_isSamePlace(lf_position(next), lf_position(front)))
                next.stationary = 1;
            else
                m.legBearing = gf_bearing(lf_position(front), lf_position(next));
        }
    }
    const std::optional<LaLo> brakePoint = lf_brakeBeforeHold(ac);
    if (ac.onGround != 0)
        nextPosGround(ac);
    else
        nextPosAir(ac);
    // A driver may have removed the aircraft or replaced its stream.
    if (ac.stream.size() < 2) {
        m.frontAheadTicks = 0;
        return;
    }
    const StreamPoint& next = ac.stream[1];
    if (next.stationary != 0) {
        m.profileLeg = ProfileLeg{};
        m.stepLat = 0.0;
        m.stepLon = 0.0;
        gf_relaxRetimeLimits(m);
    } else {
        const std::int32_t legTicks =
            m.legTimeOverride != 0 ? std::max(kMinLegTicks, m.legTimeOverrideTicks)
                                   : std::max(kMinLegTicks, gf_ticksBetween(tickCount.load(), next.playTick));
        m.stepLat = (next.lat - ac.pose.latitude) / legTicks;
        // The short way round: a leg across the 180th meridian is a few
        // minutes of longitude, not most of the globe.
        m.stepLon = gf_wrapLongitudeDifference(next.lon - ac.pose.longitude) / legTicks;
        // A ground turn or curved leg the leg planning built is played over
        // the same time, in even steps unless a schedule of shares says more.
        m.path.progressStep = 1.0 / legTicks;
        if (ac.onGround != 0)
            stepGround(ac);
        else {
            stepAir(ac);
            gf_planAirPace(ac);
        }
    }
    // Whether the driver kept the braking point as the leg's end (a stand
    // found for a slow taxi replaces the stream); a cut-short braking has
    // handed on its speed.
    if (m.brakeToRest == kBrakeCutShort ||
        (m.brakeToRest == kBrakingToRest &&
         (!brakePoint || ac.stream.size() < 2 || !gf_isSamePlace(*brakePoint, lf_position(ac.stream[1])))))
        m.brakeToRest = 0;
    // Only for the point reported there: a driver may have put another in
    // its place.
    const StreamPoint* reached = ac.stream.size() >= 2 ? &ac.stream[1] : nullptr;
    m.frontAheadTicks = 0;
    for (std::size_t i = 0; reached != nullptr && i < dueBeforeCount; ++i)
        if (reached->lat == dueBefore[i].first.lat && reached->lon == dueBefore[i].first.lon) {
            m.frontAheadTicks = std::max(0, gf_ticksBetween(reached->playTick, dueBefore[i].second));
            break;
        }
    ac.stream.pop_front();
}

void nextPosAir(LiveAc& ac) {
    try {
        turnOntoFarOffReport(ac);
        if (ac.stream.size() >= 2) lf_nextPosAir(ac);
    } catch (const std::exception& e) {
        const AcBase& described = ac;
        throw std::runtime_error(
            fmt::format("{}: {}, {}, sz:{}", "nextPosAir", e.what(), described, ac.stream.size()));
    }
}

void noMoreNextPos(LiveAc& ac) noexcept {
    try {
        removeAircraftFromSim(ac);
    } catch (...) {
        gf_reportTrafficException("noMoreNextPos");
    }
}

int extrapolationBudget(LiveAc& ac) {
    if (!gf_isCategoryIncluded(static_cast<std::int32_t>(ac.category))) return 0;
    const auto settings = settingsSnapshot.load();
    switch (ac.phase) {
        case AcPhase::takeoff_roll:
        case AcPhase::takeoff:
        case AcPhase::landing:
        case AcPhase::landing_roll: return kExtrapolatedPoints;
        case AcPhase::parked: return 1;
        case AcPhase::pushed_back:
        case AcPhase::taxi:
            ac.motion.holdingStartTick = tickCount.load();
            ac.motion.holding = 1;
            return settings->MAX_HOLDING_MINUTES * 20;
        case AcPhase::flying: {
            const double speed = ac.stream.empty() ? MotionState::unknown : ac.stream.back().groundSpeedKt;
            double least = 70.0;
            switch (ac.category) {
                case Light: least = 25.0; break;
                case TwoProps: least = 45.0; break;
                case HighPerf: least = 90.0; break;
                default: break;
            }
            if (ac.category != Rotorcraft && !(std::isfinite(speed) && speed >= least)) return 0;
            const UserAircraftState user = gf_userPosition();
            if (gf_isUnknownPosition(user.latitude, user.longitude)) return kExtrapolatedPoints;
            const double cosLat = std::cos(user.latitude * degreesToRadians);
            const double squared = gf_flatDistanceSquaredNm(lf_pose(ac), {user.latitude, user.longitude}, cosLat);
            const double range = settings->RANGE - 0.5;
            return std::sqrt(squared) < range ? kExtrapolatedPoints : 0;
        }
        default: return 0;
    }
}

namespace {

// A taxi whose reports pause goes on for the first points of the gap as its
// reports went: at the last reported speed, changed by as much as the last
// two points' speeds changed a second (only ever slowing), along its heading.
// Reports of a tow or a taxi pause for longer than the play delay: stopped
// at once, the aircraft stood while the reports went on and ran far behind
// them for the rest of its taxi. A stream that really ends stops after these
// points, braking to rest as any hold does. Never faster than a taxi goes: a
// bad report's speed is not driven on. Nor a creep of less than a knot: a
// report that slow tells where the aircraft comes to rest (a tow reaching
// its stand), and carried on, the creep parked a tow metres past its stand.
constexpr double kCreepKt = 1.0;
double lf_taxiDeadReckonedKt(const LiveAc& ac, int budget) {
    const auto& s = ac.stream;
    if (ac.onGround == 0 || ac.phase != AcPhase::taxi || s.empty()) return 0.0;
    const int allowance = settingsSnapshot.load()->MAX_HOLDING_MINUTES * 20;
    if (!(budget > allowance - kTaxiPointsAtSpeed)) return 0.0;
    const StreamPoint& last = s.back();
    const double kt = last.groundSpeedKt;
    if (!std::isfinite(kt) || !(kt >= kCreepKt) || !(kt <= kFastestTaxiKt)) return 0.0;
    double perSecond = 0.0;
    if (s.size() >= 2) {
        const StreamPoint& before = s[s.size() - 2];
        const std::int32_t ticks = gf_ticksBetween(before.playTick, last.playTick);
        if (before.stationary == 0 && ticks > 0 && std::isfinite(before.groundSpeedKt))
            perSecond = std::min(0.0, (kt - before.groundSpeedKt) / (ticks / 100.0));
    }
    return std::max(0.0, kt + perSecond * kExtrapolatedStepTicks / 100.0);
}

// ...and the way its last report went: its reported track, not the nose,
// which may still be part way round the bend into that report. Along the
// nose a tow whose reports paused at the end of its turn into a stand's lane
// ran metres off the lane, and came to the stand from the side. A track far
// off the nose (none reported, or a bad one) is not taken.
constexpr double kMostTrackOffNoseDeg = 30.0;
double lf_taxiDeadReckonedCourse(const LiveAc& ac, const StreamPoint& last) {
    const double track = last.trackDeg * degreesToRadians;
    if (!std::isfinite(track) ||
        !(std::fabs(std::remainder(track - ac.pose.heading, fullCircle)) <= kMostTrackOffNoseDeg * degreesToRadians))
        return ac.pose.heading;
    return normalizeHeading(track);
}

// The pace (kt) a flying aircraft keeps: that of its current step, but no
// slower than it can fly (NaN while it stands). A step slower than that (the
// short first leg of an aircraft created late, placed near the point it
// flies to) tells no pace: judged by it, the reported speed of a create
// after a report gap was taken for a bad one, and the aircraft was
// dead-reckoned at its floor, half as fast as it flew, and came back late.
double lf_flownPaceKt(const LiveAc& ac) { return std::max(lf_stepKt(ac), gf_airborneSpeedFloorKt(ac)); }

// The latest report heard of the aircraft, kept or not, has it at no speed
// (the feed giving the place of its touchdown again at 0 kt, for as long as
// it still reports). A landing roll dead-reckoned past it brakes to rest as
// firmly as a taxi does, not at the gentle rate of a roll no report speaks
// for: easing off by 2.5 kt a second below 40 kt, a P28A whose reports said
// for 28 s that it stood at its touchdown was still at 22 kt 15 s after it
// and came to rest 400 m on.
bool lf_lastHeardAtRest(const LiveAc& ac) {
    const MotionState& m = ac.motion;
    return m.lastHeardSet != 0 && m.lastHeardKt >= 0.0 && m.lastHeardKt < kCreepKt;
}

}  // namespace

void extrapolateStreamPoint(LiveAc& ac, int budget) {
    const StreamPoint& last = ac.stream.back();
    StreamPoint p = last;
    bool moving = false;
    if (last.stationary == 0 && ac.phase != AcPhase::parked) {
        double speed = last.groundSpeedKt;
        double course = ac.pose.heading;
        if (ac.onGround == 0) {
            // In flight it goes on at its last reported speed, never below
            // what it can fly at: reports that pause and go on find the
            // aircraft where they are, not a growing distance behind them,
            // and one whose reports have ended flies on as it was last seen.
            // Slowed by a tenth a point, an airliner whose reports ended at
            // 234 kt in its climb fell to 101 kt within half a minute, far
            // faster than it can slow in level flight, and crawled on at that
            // until it was removed.
            const double floorKt = std::max(1.0, gf_airborneSpeedFloorKt(ac));
            // A reported speed far beyond the pace the aircraft flew its last
            // leg at (a bad report: 1e6 kt) is not flown on: dead-reckoned at
            // it, the aircraft left for the far side of the globe in seconds.
            const double flownKt = lf_flownPaceKt(ac);
            if (std::isfinite(flownKt) && !(speed <= kMostOverOwnFactor * flownKt + kMostOverOwnKt)) speed = flownKt;
            // So on the approach: slowed toward its final approach speed, a
            // CRJ9 whose reports paused for 20 s on final at 160 kt was
            // dead-reckoned down to 104 kt and came back to them 12 s late.
            speed = std::max(floorKt, speed);
            if (ac.phase == AcPhase::takeoff) {
                p.altitudeFt += 75.0;
                p.verticalSpeed = 1500.0;
            }
            if (ac.phase == AcPhase::landing && ac.motion.flareStage == 0) {
                p.altitudeFt -= 31.6825;
                p.verticalSpeed = -633.65;
            }
            if (p.altitudeFt > 0.0)
                p.airborne = 1;
            else
                p.altitudeFt = 0.0;
            course = airDeadReckoningCourse(ac, kExtrapolatedStepTicks);
            // Dead reckoning that turns on as the track turned leaves the
            // last reported heading behind: kept on its points, it held the
            // nose of an aircraft low on its approach while its track turned
            // on through a right angle, and it flew sideways and backwards.
            if (std::remainder(course - ac.pose.heading, fullCircle) != 0.0) p.hasTrueHeading = 0;
        } else if (ac.phase == AcPhase::landing_roll) {
            double r = speed >= 120.0 ? 6.0 : speed >= 80.0 ? 5.0 : speed >= 40.0 ? 4.0 : 2.5;
            if (lf_lastHeardAtRest(ac)) r = std::max(r, kTaxiSpeedChangeMps2 * kMpsToKnots);
            p.verticalSpeed = 0.0;
            speed = std::max(0.0, speed - 3.0 * r);
        } else if (ac.phase == AcPhase::takeoff_roll) {
            const double r = speed < 60.0 ? 4.0 : speed < 120.0 ? 3.0 : 2.0;
            speed = std::min(180.0, speed + 3.0 * r);
            if (speed == 140.0)
                p.verticalSpeed = 600.0;
            else if (speed > 140.0 && speed <= 170.0)
                p.verticalSpeed = 1200.0;
            else if (speed > 170.0)
                p.verticalSpeed = 2400.0;
        } else {
            speed = lf_taxiDeadReckonedKt(ac, budget);
            course = lf_taxiDeadReckonedCourse(ac, last);
        }
        p.groundSpeedKt = speed;
        if (speed > 0.0 && ac.onGround != 0 && (ac.phase == AcPhase::taxi || ac.phase == AcPhase::landing_roll)) {
            // The run of the step is its mean speed over the 3 s, so that a
            // slowing taxi ends where its slowing would bring it. So does a
            // landing roll's: a step as long as its end speed is shorter
            // than any even braking from the speed before covers, so the
            // roll could not brake along it, ran each step at its end speed
            // and came to rest from the last one in a tick.
            const LaLo ahead = gf_destinationPoint(
                lf_position(last), {course, (last.groundSpeedKt + speed) / 2.0 * 3.0 * feetPerNm / 3600.0});
            p.lat = ahead.lat;
            p.lon = ahead.lon;
            p.stationary = 0;
            p.playTick = gf_tickPlus(last.playTick, kExtrapolatedStepTicks);
            moving = true;
        } else if (speed > 0.0) {
            if (ac.phase == AcPhase::takeoff && ac.motion.takeoffSpeedUp != 0) {
                speed = std::min(210.0, speed * 1.015);
                p.groundSpeedKt = speed;
            }
            const LaLo ahead =
                gf_destinationPoint(lf_position(last), {course, speed * 3.0 * feetPerNm / 3600.0});
            p.lat = ahead.lat;
            p.lon = ahead.lon;
            p.stationary = 0;
            p.playTick = gf_tickPlus(last.playTick, kExtrapolatedStepTicks);
            moving = true;
        } else {
            p.tasKt = 0.0;
        }
    }
    if (!moving) {
        p.groundSpeedKt = 0.0;
        p.tasKt = 0.0;
        p.stationary = 1;
        if (ac.phase == AcPhase::parked) {
            p.playTick = gf_tickPlus(last.playTick, kParkedStepTicks);
            ac.motion.atStandCheck = 0;
        } else {
            p.playTick = gf_tickPlus(last.playTick, kExtrapolatedStepTicks);
        }
    }
    ac.stream.push_back(p);
    ac.extrapolationCount = budget;
}

namespace {

// A leg speed no more than three times the positions' own distance over time
// (plus 50 kt): a single absurd reported speed (1e7 kt in a 250 kt stream) would
// otherwise be flown. The other end's speed is taken instead when it is
// believable, else the positions' own.
// In flight away from a takeoff, and taxiing faster than any taxi goes:
// there the points keep the spacing of their reports (a late taxi's later
// points shifted all alike), where a roll's and a takeoff's points are timed
// anew. A taxi leg believed at 1e6 kt would be crossed as early as the
// retiming lets its point come. So would a landing or takeoff roll's
// (its mean of the two ends' speeds), where no roll goes.
double lf_plausibleLegKt(const LiveAc& ac, double kt) {
    const bool airborne = ac.onGround == 0 && ac.phase == AcPhase::flying;
    const bool flying = airborne && !gf_isFlyingAfterTakeoff(ac);
    const bool taxiing = ac.onGround != 0 && ac.phase == AcPhase::taxi && kt > kFastestTaxiKt;
    const bool rolling = ac.onGround != 0 && (ac.phase == AcPhase::landing_roll || ac.phase == AcPhase::takeoff_roll) &&
                         kt > kFastestRollKt;
    if (ac.stream.size() < 2 || !std::isfinite(kt)) return kt;
    const StreamPoint& front = ac.stream[0];
    const StreamPoint& next = ac.stream[1];
    if (airborne && !flying) {
        // Just after a takeoff (a go-around's too) the points are timed anew
        // and tell no pace of their own; a reported speed far beyond the pace
        // the aircraft flies (a bad report: 1e6 kt) is still not flown: the
        // other end's speed is taken when believable, else that pace. Taken
        // as it came, a go-around whose reports paused flew its leg at
        // 1,450 kt and dead-reckoned on at it.
        return lf_believableLegKt(kt, lf_flownPaceKt(ac), {front.groundSpeedKt, next.groundSpeedKt});
    }
    if (!(flying || taxiing || rolling)) return kt;
    const std::int32_t ticks = lf_reportedLegTicks(ac);
    if (ticks < kMinLegTicks) {
        // The point reached was reached late and retimed past the next one's
        // due tick: the two no longer tell their own distance over time. The
        // slower end's speed judges the leg's instead; taken as it came, one
        // absurd speed flung an aircraft behind its reports along the leg in
        // a quarter of a second.
        double slower = std::numeric_limits<double>::infinity();
        for (const double end : {front.groundSpeedKt, next.groundSpeedKt})
            if (std::isfinite(end) && end > 0.0) slower = std::min(slower, end);
        const double most = kMostOverOwnFactor * slower + kMostOverOwnKt;
        return std::isfinite(slower) && kt > most ? std::max(1.0, slower) : kt;
    }
    const double own = gf_speedKtOver(gf_distanceNm(lf_position(front), lf_position(next)), ticks);
    return lf_believableLegKt(kt, own, {front.groundSpeedKt, next.groundSpeedKt});
}

double lf_reportedLegSpeedKt(const LiveAc& ac) {
    if (ac.stream.empty()) return 1.0;
    const double a = ac.stream[0].groundSpeedKt;
    const bool hasNext = ac.stream.size() >= 2;
    const double b = hasNext ? ac.stream[1].groundSpeedKt : MotionState::unknown;
    if ((ac.phase == AcPhase::takeoff_roll || ac.phase == AcPhase::landing_roll) && std::isfinite(a) &&
        std::isfinite(b) && a >= 0.0 && b >= 0.0 && (a > 0.0 || b > 0.0))
        return std::max(1.0, (a + b) / 2.0);
    if (std::isfinite(a) && a > 0.0) return std::isfinite(b) && b > 0.0 ? std::max(1.0, (a + b) / 2.0) : std::max(1.0, a);
    if (!std::isfinite(b) || b <= 0.0) {
        double nm = 0.0;
        double ticks = kMinLegTicks;
        if (hasNext) {
            nm = gf_distanceNm(lf_position(ac.stream[0]), lf_position(ac.stream[1]));
            ticks = std::max(kMinLegTicks, gf_ticksBetween(ac.stream[0].playTick, ac.stream[1].playTick));
        }
        const double v = gf_speedKtOver(nm, ticks);
        return std::isfinite(v) && v > 0.0 ? std::max(1.0, v) : 1.0;
    }
    return std::max(1.0, b);
}

}  // namespace

double groundSpeedForNextLeg(const LiveAc& ac) { return lf_plausibleLegKt(ac, lf_reportedLegSpeedKt(ac)); }

bool gf_isFlyingAfterTakeoff(const LiveAc& ac) {
    return ac.phase == AcPhase::flying && ac.prevPhase == AcPhase::takeoff &&
           gf_ticksBetween(static_cast<std::int32_t>(ac.phaseStartTick), tickCount.load()) <= kAfterTakeoffTicks;
}

void gf_endHolding(LiveAc& ac) {
    MotionState& m = ac.motion;
    ac.extrapolationCount = 0;
    m.holding = 0;
    m.holdingStartTick = 0;
    m.advanceLimit = kWideRetimeLimit;
    m.delayLimit = ac.phase == AcPhase::takeoff_roll ? kTakeoffDelayLimit : kWideRetimeLimit;
}

bool gf_cutBrakeToRest(LiveAc& ac) {
    MotionState& m = ac.motion;
    // A taxi running on at speed over a pause of its reports is short of the
    // dead-reckoned point it moves to (up to one 3 s step): reached there at
    // once, the leg to the report would be timed from a point ahead of the
    // aircraft and hurry it to cover the difference.
    const bool runningOn = ac.onGround != 0 && ac.phase == AcPhase::taxi && !ac.stream.empty() &&
                           ac.stream.front().stationary == 0 && gf_rollingStepM(ac) > 0.0;
    if ((m.brakeToRest != kBrakingToRest && !runningOn) || ac.stream.empty()) return false;
    auto& s = ac.stream;
    StreamPoint& front = s.front();
    front.lat = ac.pose.latitude;
    front.lon = ac.pose.longitude;
    front.groundSpeedKt = gf_rollingStepM(ac) * 100.0 * kMpsToKnots;
    front.stationary = 0;
    front.playTick = gf_tickPlus(tickCount.load(), 1);
    // Where dead reckoning ran it is a guess, and the aircraft may be as far
    // ahead of its reports as the retiming would ever let it come: the leg
    // to the report gives that lead back (taken down to half its speed,
    // never past the report's time) rather than arriving early and standing
    // there. Run on at the 20 kt reported before a 35 s pause whose reports
    // turned a corner, a departure came to the report after it 13 s early,
    // racing at twice the pace its positions kept across the pause.
    if (runningOn && m.brakeToRest != kBrakingToRest) m.frontAheadTicks = kWideRetimeLimit;
    // The hold the aircraft braked for is over.
    while (s.size() >= 2 && s[1].stationary != 0) s.erase(s.begin() + 1);
    m.brakeToRest = kBrakeCutShort;
    return true;
}

void gf_relaxRetimeLimits(MotionState& m) {
    if (m.advanceLimit > kRetimeLimitFloor) m.advanceLimit = std::max(kRetimeLimitFloor, m.advanceLimit - kRetimeLimitRelax);
    if (m.delayLimit > kRetimeLimitFloor) m.delayLimit = std::max(kRetimeLimitFloor, m.delayLimit - kRetimeLimitRelax);
}

void gf_shiftLaterPoints(LiveAc& ac, std::size_t from, std::int64_t shift) {
    if (shift == 0) return;
    for (std::size_t i = from; i < ac.stream.size(); ++i)
        ac.stream[i].playTick = gf_tickPlus(ac.stream[i].playTick, shift);
    MotionState& m = ac.motion;
    m.streamLagTicks = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(std::int64_t{m.streamLagTicks} + shift, 0, std::numeric_limits<std::int32_t>::max()));
}

void retimeNextPoint(LiveAc& ac, int ticks) {
    if (ac.extrapolationCount > 0 || ac.stream.size() < 2) return;
    MotionState& m = ac.motion;
    const std::int64_t now = tickCount.load();
    StreamPoint& next = ac.stream[1];
    const std::int64_t reported = next.playTick;
    std::int64_t wanted = now + ticks;
    wanted = std::max(wanted, reported - m.advanceLimit);
    wanted = std::min(wanted, reported + m.delayLimit);
    wanted = std::max(wanted, now + 1);
    next.playTick = gf_tickPlus(0, wanted);
    const std::int64_t shift = std::int64_t{next.playTick} - reported;
    if (ac.phase == AcPhase::taxi && ac.onGround != 0) {
        // A taxiing aircraft's later points fall due as late as the next
        // one: the delay a bend or a speed change takes is carried along
        // (and given back as the legs catch up), never lost to a later point
        // squeezed against the next one.
        const std::int64_t lag = std::max<std::int64_t>(0, std::int64_t{m.streamLagTicks} + shift);
        gf_shiftLaterPoints(ac, 2, lag - m.streamLagTicks);
        return;
    }
    // Elsewhere the retiming limits keep each point near its report: later
    // points only move along when the next one would reach them.
    m.streamLagTicks = 0;
    if (shift >= 1 && ac.stream.size() >= 3 && next.playTick >= ac.stream[2].playTick) {
        for (std::size_t i = 2; i < ac.stream.size(); ++i)
            ac.stream[i].playTick = gf_tickPlus(ac.stream[i].playTick, shift);
    }
}
