#include "motion/ground_roll.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include <fmt/format.h>

#include "engine/controls.h"
#include "engine/decode.h"
#include "engine/engine_state.h"
#include "engine/geometry.h"
#include "engine/removal.h"
#include "engine/reports.h"
#include "feed/traffic_clock.h"
#include "foundation/geodesy.h"
#include "liveries/code_tables.h"
#include "motion/flight_phases.h"
#include "motion/ground_movement.h"
#include "motion/motion_math.h"
#include "motion/next_position.h"
#include "motion/speed_profile.h"
#include "motion/tick_math.h"
#include "simlink/sim_link.h"

namespace {

// A takeoff roll that shows no sign of a takeoff for this long at takeoff
// speeds is not one: the aircraft is removed.
constexpr std::int32_t kRollWithoutTakeoffTicks = 12000;
constexpr double kTakeoffDecisionKt = 43.0;
// A Light aircraft climbs by rate at no more than this (ft per tick).
constexpr double kLightClimbPerTick = 0.2;
// Climbing toward the next point, at least this (ft per tick).
constexpr double kLeastClimbPerTick = 0.1;
constexpr double kSteepClimbFpm = 2000.0;
constexpr double kShortRunwayM = 1800.0;
// A bounded takeoff-roll profile may run this far above the mode-1 reference.
constexpr double kRollSpeedMarginKt = 30.0;
// A profile that strays this far from its ends is not taken.
constexpr double kRollProfileToleranceKt = 5.0;
constexpr double kLandingProfileToleranceKt = 0.5;
// A takeoff-roll profile is built as kind 3: its speed never shows above the
// margin; a plain one as kind 1.
constexpr std::uint8_t kBoundedProfileKind = 3;
constexpr std::uint8_t kPlainProfileKind = 1;
// A leg eased over more ticks than this is played evenly: its schedule would
// take memory for nothing a viewer can see.
constexpr std::int32_t kMaxScheduleTicks = 12000;
// The centre-line aim closes 15 % of the offset; it holds within these limits
// of the runway's far end seen from the pose.
constexpr double kAimFactor = 0.15;
constexpr double kAimAngleLimit = 20.0 * degreesToRadians;
constexpr double kAimLeastCrossTrackM = 15.0;
constexpr double kAimTakeoffKt = 30.0;
constexpr double kAimLandingKt = 45.0;
// Lined up: on the runway heading and the centre line, at most this far past
// the far end.
constexpr double kLinedUpHeadingDeg = 20.0;
constexpr double kLinedUpCrossTrackM = 15.0;
constexpr double kLinedUpPastEndM = 10.0;
// A roll down on the runway this many times faster than the point its leg
// leads to brakes along the leg, later than the approach speed brought the
// point, where its reported time is too long to brake in evenly.
constexpr double kTouchdownLegOverPointShare = 1.5;

LaLo lf_pose(const LiveAc& ac) { return {ac.pose.latitude, ac.pose.longitude}; }
LaLo lf_position(const StreamPoint& p) { return {p.lat, p.lon}; }

bool lf_positive(double v) { return std::isfinite(v) && v > 0.0; }

double lf_headingDiffDeg(double a, double b) { return std::fabs(std::remainder(a - b, fullCircle)) * radiansToDegrees; }

// The aircraft's speed: its true airspeed, or the front point's ground speed
// when that is not known.
double lf_speedKt(const LiveAc& ac) {
    if (lf_positive(ac.pose.trueAirspeed) || ac.stream.empty()) return ac.pose.trueAirspeed;
    return ac.stream.front().groundSpeedKt;
}

// The kept takeoff runway, looked up at the pose and kept when none is.
const RunwayMatch* lf_takeoffRunway(LiveAc& ac) {
    if (!ac.takeoffRunway) {
        if (auto match = findTakeoffRunway(lf_pose(ac), ac.pose.heading)) gf_setTakeoffRunway(ac, std::move(match));
    }
    return ac.takeoffRunway ? &*ac.takeoffRunway : nullptr;
}

bool lf_shortTakeoffRunway(LiveAc& ac) {
    const RunwayMatch* runway = lf_takeoffRunway(ac);
    return runway != nullptr && runway->lengthM <= kShortRunwayM;
}

std::int32_t lf_ticksUntil(std::int32_t tick) { return gf_ticksBetween(tickCount.load(), tick); }

// The per-tick climb of a climb by rate.
double lf_climbByRate(const LiveAc& ac) {
    return ac.category == Light ? std::min(ac.climbRateLimit, kLightClimbPerTick) : ac.climbRateLimit;
}

// ---- controls ----

void lf_setControls(LiveAc& ac) {
    const double a = ac.stream[0].groundSpeedKt;
    switch (ac.phase) {
        case AcPhase::taxi: gf_setThrottle(ac, ac.category == Rotorcraft ? 4 : 0); break;
        case AcPhase::takeoff_roll: {
            if (ac.category == Rotorcraft) {
                gf_setThrottle(ac, 4);
                break;
            }
            const double b = ac.stream[1].groundSpeedKt;
            std::uint32_t step = 0;
            if (a >= 25.0 || b >= 30.0)
                step = 4;
            else if (a >= 20.0 || b >= 25.0)
                step = 2;
            else if (a >= 15.0 || b >= 20.0)
                step = 1;
            gf_setThrottle(ac, step);
            break;
        }
        case AcPhase::landing_roll:
            if (endLandingRollWhenTurnedOff(ac)) {
            } else if (a <= 30.0) {
                gf_setFlaps(ac, 0);
            } else if (a <= 90.0) {
                gf_setSpoilers(ac, false);
                if (ac.category != Light) gf_setAiReverseThrust(ac.objectId, false, ac.isFsltlLivery != 0);
                gf_setFlaps(ac, 1);
            }
            break;
        default: break;
    }
}

// ---- the speed along the leg ----

// The leg's ticks as the per-tick step was set for it.
std::int32_t lf_legTicks(const LiveAc& ac) {
    const MotionState& m = ac.motion;
    if (m.legTimeOverride != 0) return std::max(kMinLegTicks, m.legTimeOverrideTicks);
    return std::max(kMinLegTicks, lf_ticksUntil(ac.stream[1].playTick));
}

bool lf_groundTurnForProfile(const MotionState& m) {
    return m.path.turn.status == GroundTurnStatus::None && m.path.turn.totalLength > 0.0 &&
           (m.groundTurnMode == 2 || m.groundTurnMode == 3);
}

// Knots the new leg starts with.
double lf_startSpeedKt(const LiveAc& ac, bool profiledBefore) {
    const double tas = ac.pose.trueAirspeed;
    if (profiledBefore && lf_positive(tas)) return tas;
    const bool fromPoint = ac.phase == AcPhase::landing_roll ||
                           (ac.phase == AcPhase::takeoff_roll && ac.category == Light &&
                            ac.prevPhase == AcPhase::landing_roll);
    if (fromPoint) return ac.stream[0].groundSpeedKt;
    return lf_positive(tas) ? tas : ac.stream[0].groundSpeedKt;
}

struct ProfileChoice {
    SpeedProfile profile{};
    LaLo end{};
    std::uint8_t kind = 0;
};

// A bounded profile toward the first later point it fits (only the next
// point when the leg follows a ground turn: the turn ends there).
bool lf_boundedRollProfile(const LiveAc& ac, double startKt, double turnM, ProfileChoice& out) {
    const double vmax = (refSpeedKt(ac, 1) + kRollSpeedMarginKt) * kKnotsToMps;
    const std::size_t last = turnM > 0.0 ? 2 : ac.stream.size();
    for (std::size_t k = 1; k < last; ++k) {
        const StreamPoint& p = ac.stream[k];
        const double d = k == 1 && turnM > 0.0 ? turnM : gf_distanceNm(lf_pose(ac), lf_position(p)) * metresPerNm;
        if (!(d > 1.0) || !lf_positive(p.groundSpeedKt)) continue;
        const double seconds = std::max(kMinLegTicks, lf_ticksUntil(p.playTick)) / 100.0;
        if (gf_makeBoundedSpeedProfile(out.profile, d, seconds, startKt * kKnotsToMps, p.groundSpeedKt * kKnotsToMps,
                                       vmax)) {
            out.end = lf_position(p);
            out.kind = kBoundedProfileKind;
            return true;
        }
    }
    return false;
}

bool lf_laterPointAhead(const LiveAc& ac, double startKt) {
    return std::any_of(ac.stream.begin() + 1, ac.stream.end(),
                       [startKt](const StreamPoint& p) { return p.airborne != 0 || p.groundSpeedKt > startKt + 1.0; });
}

// Whether a profile strays from its ends: on the takeoff roll it may not
// overshoot its end speed or sag below its start speed by 5 kt; on the
// landing roll it may neither sag below its end speed nor rise above its
// start speed, nor start above the speed the aircraft has, by 0.5 kt.
bool lf_profileFits(const LiveAc& ac, const SpeedProfile& p, double hasKt = MotionState::unknown) {
    const double highest = gf_speedProfileMaxSpeed(p) * kMpsToKnots;
    const double lowest = gf_speedProfileMinSpeed(p) * kMpsToKnots;
    const double start = p.startSpeed * kMpsToKnots;
    const double end = p.endSpeed * kMpsToKnots;
    if (ac.phase == AcPhase::takeoff_roll)
        return highest - end < kRollProfileToleranceKt && start - lowest < kRollProfileToleranceKt;
    const double before = std::isfinite(hasKt) ? hasKt : ac.pose.trueAirspeed;
    if (std::isfinite(before) && start - before >= kLandingProfileToleranceKt) return false;
    return end - lowest < kLandingProfileToleranceKt && highest - start < kLandingProfileToleranceKt;
}

// The fewest ticks in which a taxi leg of `legM` metres is played without
// speeding up from rest or braking to rest harder than the taxi rate: an
// even speed with one or two such ends (`easing` 0), or eased over the whole
// leg by the speed-change kind (1 and 2 change speed evenly, 3 hardest at
// both ends, at 6 legM / n^2).
std::int32_t lf_leastRestLegTicks(double legM, int easing, int ends) {
    const double share = easing == 3 ? 6.0 : easing != 0 ? 2.0 : 2.0 * ends;
    if (!(legM > 0.0) || !(share > 0.0)) return 0;
    const double ticks = std::ceil(std::sqrt(share * legM / kTaxiSpeedChangePerTick));
    return std::isfinite(ticks) ? gf_ticksFromCount(ticks, 0) : 0;
}

// Shares of a leg of `n` ticks and `legM` metres taken at an even speed,
// reached from `startStep` (metres a tick; NaN: from the first tick on) and
// braked at its end (`toRest`) to `endStep` (rest unless given), each change
// at `rate` (metres a tick per tick; the braking at its end at `brakeRate`
// where one is given); false when no even speed fits (the leg
// is too short in time to reach it, or too short in length to brake from the
// start speed). The even speed found is left in `cruise`.
bool lf_cruiseSchedule(MotionState& m, std::int32_t n, double legM, double startStep, bool toRest,
                       double rate = kTaxiSpeedChangePerTick, double* cruiseOut = nullptr, double endStep = 0.0,
                       double brakeRate = MotionState::unknown) {
    if (!(legM > 0.0) || n < 1 || !std::isfinite(legM) || !(rate > 0.0)) return false;
    const auto count = static_cast<std::size_t>(n);
    const double a = rate;
    const double b = brakeRate > 0.0 ? brakeRate : rate;
    const bool fromStart = std::isfinite(startStep);
    const auto step = [&](std::size_t i, double cruise) {
        const double most = a * static_cast<double>(i + 1);
        double v = fromStart ? startStep + std::clamp(cruise - startStep, -most, most) : cruise;
        if (toRest) v = std::min(v, endStep + b * static_cast<double>(count - i));
        return std::max(0.0, v);
    };
    const auto sum = [&](double cruise) {
        double total = 0.0;
        for (std::size_t i = 0; i < count; ++i) total += step(i, cruise);
        return total;
    };
    // The sum grows with the cruise: the one that covers the leg lies
    // between rest and a speed beyond any the leg could need.
    double low = 0.0;
    double high = std::max(fromStart ? startStep : 0.0, legM) + a * static_cast<double>(count);
    if (sum(low) > legM || sum(high) < legM) return false;
    for (int i = 0; i < 100 && high - low > 1e-12 * high; ++i) {
        const double mid = (low + high) / 2.0;
        (sum(mid) < legM ? low : high) = mid;
    }
    const double cruise = high;
    m.schedule.assign(count, 0.0);
    double total = 0.0;
    for (std::size_t i = 0; i < count; ++i) total += m.schedule[i] = step(i, cruise);
    if (!(total > 0.0)) return false;
    for (double& share : m.schedule) share /= total;
    m.scheduleIndex = 0;
    m.scheduleCount = static_cast<std::uint32_t>(count);
    if (cruiseOut != nullptr) *cruiseOut = cruise;
    return true;
}

// Shares of a leg of `n` ticks and `legM` metres at an even speed that
// speeds up from rest at its start (`fromRest`) or brakes to rest at its end
// (`toRest`) at the taxi rate; false when the leg is too short in time for
// that.
bool lf_evenSchedule(MotionState& m, std::int32_t n, double legM, bool fromRest, bool toRest) {
    if (!fromRest && !toRest) return false;
    return lf_cruiseSchedule(m, n, legM, fromRest ? 0.0 : MotionState::unknown, toRest);
}

// The hardest a taxi leg into rest brakes when it is too short to brake in
// at the taxi rate: firm braking, well within what an aircraft on its
// wheels does (16 kt/s is beyond its hardest).
constexpr double kFirmSpeedChangePerTick = 5.0e-4;
// How far above the speed it goes on at a leg from rest may run: the next
// leg, timed by the reports, goes on near that speed.
constexpr double kRestLegOverOnward = 1.15;
// A taxi leg timed this much faster than the speed it goes on at is late
// already: the time its speed change needs is not added to it.
constexpr double kLateLegOverOnward = 1.05;
// A taxi leg's even speed this far off the speed the aircraft rolls at (a
// share of it) is changed to evenly.
constexpr double kEvenLegChangeShare = 0.1;

// A leg from rest whose point falls due later than speeding up at the taxi
// rate to the speed it goes on at (`onwardStep`, metres a tick) and going on
// at it takes (braking to rest at its end too, `toRest`): the aircraft
// stands for the difference and then sets off, so that it reaches the point
// when the point falls due. Spread over the whole time, a departure whose
// next report lay 40 m on, due 29 s after its pushback, crept off at once
// and crawled at a third of the speed its reports gave. A second or less to
// spare is no wait: the leg is played over its time as it is. True when
// the schedule was made so.
bool lf_standThenSetOff(MotionState& m, std::int32_t n, double legM, bool toRest, double onwardStep) {
    constexpr std::int32_t kLeastWaitTicks = 100;
    const double a = kTaxiSpeedChangePerTick;
    if (!(legM > 0.0) || !std::isfinite(legM) || !(onwardStep > 0.0) || !std::isfinite(onwardStep) || n < 1)
        return false;
    const double ends = toRest ? 2.0 : 1.0;
    // Too short to reach that speed, it peaks at what its length allows.
    const double peak = std::min(onwardStep, std::sqrt(2.0 * a * legM / ends));
    const double needed = std::ceil(legM / peak + ends * peak / (2.0 * a));
    if (!std::isfinite(needed) || needed + kLeastWaitTicks > n) return false;
    const auto moving = static_cast<std::int32_t>(needed);
    for (std::int32_t k = moving; k <= moving + 2 && k < n; ++k) {
        if (!lf_cruiseSchedule(m, k, legM, 0.0, toRest)) continue;
        m.schedule.insert(m.schedule.begin(), static_cast<std::size_t>(n - k), 0.0);
        m.scheduleIndex = 0;
        m.scheduleCount = static_cast<std::uint32_t>(n);
        return true;
    }
    return false;
}

// A taxi leg of `legM` metres to the stream's point `target` that starts at
// `startStep` metres a tick (0: from rest) and ends at rest (`toRest`) or
// goes on at `onwardStep` (the reported speed; 0 when unknown: the leg's own
// mean): speeding up or braking evenly at the taxi rate, from rest to an
// even speed no faster than the one it goes on at. An eased curve over the
// whole leg would end a leg from rest at twice its mean speed, or start a
// leg into rest at twice it, and the next leg would go on at half that in
// one tick. When the time the reports leave is too short for that, the leg
// is given the time it needs (the later points fall due later by the
// shortfall, as after a turn on the spot); a leg too short to brake in at
// the taxi rate brakes harder. The ticks the leg is played in come back; 0
// when no even schedule fits.
std::int32_t lf_restLegSchedule(LiveAc& ac, std::size_t target, std::int32_t n, double legM, double startStep,
                                bool toRest, double onwardStep) {
    MotionState& m = ac.motion;
    if (!(legM > 0.0) || !std::isfinite(legM) || n < 1 || n > kMaxScheduleTicks || target >= ac.stream.size() ||
        !std::isfinite(startStep))
        return 0;
    const double s0 = std::max(0.0, startStep);
    const double onward = onwardStep > 0.0 ? onwardStep : legM / n;
    // A taxi leg timed faster than the speed it goes on at (late, it catches
    // up with its reports) may run as fast as catching up allows: capped at
    // that speed it would fall behind again by the time it was given. So
    // may one timed faster than its reported speed by less whose even speed
    // is above that cap (a leg from rest runs faster than its mean to make
    // up the speed-up): given the time it needed at the speed reported, a
    // taxi the reports found again after a pause, braked to rest meanwhile,
    // fell 6 s behind them.
    double cruise = 0.0;
    const bool fits = lf_cruiseSchedule(m, n, legM, s0, toRest, kTaxiSpeedChangePerTick, &cruise);
    const bool catchingUp =
        ac.phase == AcPhase::taxi &&
        (legM / n > kRestLegOverOnward * onward ||
         (onwardStep > 0.0 && legM / n > kLateLegOverOnward * onward && fits && cruise > kRestLegOverOnward * onward));
    const double goesOn =
        catchingUp ? std::max(kRestLegOverOnward * onward,
                              gf_groundCatchUpMostKt(onward * 100.0 * kMpsToKnots) * kKnotsToMps / 100.0)
                   : kRestLegOverOnward * onward;
    const double top = s0 > 0.0 ? std::numeric_limits<double>::infinity() : goesOn;
    // Only to a report: a point put in on the way is timed by its share of
    // the way, not as the aircraft sets off (after a turn on the spot such
    // points are timed so, and the leg is played by startLegFromRest).
    if (s0 == 0.0 && !catchingUp && ac.stream[target].synthetic == 0 &&
        lf_standThenSetOff(m, n, legM, toRest, onwardStep))
        return n;
    if (fits && !(cruise > top)) return n;
    // The time at the taxi rate: from the speed it has to the one it goes on
    // at, evenly on, and braked to rest.
    // Where the reported speed is far below the positions' own (a tow
    // reporting 1 kt while it moves 4), at the leg's own mean instead.
    // A leg catching up goes as fast as catching up allows.
    const double a = kTaxiSpeedChangePerTick;
    for (const double speed : {catchingUp ? std::max(goesOn, legM / n) : onward, legM / n}) {
        // A leg too short to reach that speed and change back from it at the
        // taxi rate peaks at what its length allows: timed at a speed it never
        // reached (a catch-up squeezed into a few ticks), a leg of a few
        // metres was given tens of seconds.
        const auto changeM = [&](double at) {
            return (at - s0) * (at - s0) / (2.0 * a) + (toRest ? at * at / (2.0 * a) : 0.0);
        };
        double v = std::max(s0, speed);
        if (changeM(v) > legM) {
            double low = s0;
            for (int i = 0; i < 60; ++i) (changeM((low + v) / 2.0) > legM ? v : low) = (low + v) / 2.0;
            v = low;
        }
        const double change = changeM(v);
        const double need = std::ceil((legM + change) / v);
        // A tick or two more where the ticks' rounding leaves it just short.
        for (int more = 0; more < 3 && v > 0.0 && std::isfinite(need) && need + more > n &&
                           need + more <= kMaxScheduleTicks;
             ++more) {
            const auto least = static_cast<std::int32_t>(need) + more;
            if (!lf_cruiseSchedule(m, least, legM, s0, toRest)) continue;
            const std::int64_t shift = std::int64_t{tickCount.load()} + least - ac.stream[target].playTick;
            if (shift > 0) gf_shiftLaterPoints(ac, target, shift);
            return least;
        }
    }
    if (s0 > 0.0 && toRest && lf_cruiseSchedule(m, n, legM, s0, toRest, kFirmSpeedChangePerTick)) return n;
    m.scheduleCount = 0;
    m.scheduleIndex = 0;
    return 0;
}

// A landing roll come to rest on its wheels that sets off for a report
// further on than the report's speed covers in the time left, or one whose
// braking to rest a report cut short (from the speed it has, `s0` metres a
// tick): the reports say it rolled on (the roll was dead-reckoned to rest
// while they paused, braking harder than the aircraft did). It speeds up at
// the taxi rate and brakes into the report's speed, at the taxi rate where
// the time allows and no harder than the time needs up to firm braking
// (wheel brakes stop an aircraft far harder than its engines speed it up);
// when the reports leave less time than even that, the least it takes (the
// later points fall due later by the shortfall). Capped at the report's
// speed as a taxi from rest is, a roll found 700 m on 27 s later took 75 s
// to get there and ran 50 s behind its reports to the stand; braking into
// the report at the taxi rate, a P28A whose braking to rest a report 1 km
// on and due 30 s later cut short came to it 6.6 s late. The ticks the leg
// is played in come back; 0 when the rule does not apply or no schedule
// fits.
std::int32_t lf_rollOnSchedule(LiveAc& ac, std::int32_t n, double legM, double s0) {
    MotionState& m = ac.motion;
    if (ac.phase != AcPhase::landing_roll || ac.onGround == 0 || ac.stream.size() < 2 || n < 1 ||
        n > kMaxScheduleTicks || !(legM > 0.0) || !std::isfinite(legM) || !std::isfinite(s0) || s0 < 0.0)
        return 0;
    const StreamPoint& next = ac.stream[1];
    const double endKt = next.groundSpeedKt;
    if (next.stationary != 0 || !std::isfinite(endKt) || !(endKt > 0.0) || endKt > kFastestRollKt) return 0;
    const double a = kTaxiSpeedChangePerTick;
    const double end = endKt * kKnotsToMps / 100.0;
    if (!(legM / n > kRestLegOverOnward * end) || !(legM / n > s0)) return 0;
    // The least time braking at `b`: speeding up straight into braking to the
    // report's speed, with no even speed between.
    const auto leastTicks = [&](double b) {
        const double peak = std::sqrt((2.0 * a * b * legM + b * s0 * s0 + a * end * end) / (a + b));
        return std::ceil((peak - s0) / a + (peak - end) / b);
    };
    double b = a;
    if (leastTicks(a) > n) {
        double low = a, high = kFirmSpeedChangePerTick;
        for (int i = 0; i < 40; ++i) {
            const double mid = (low + high) / 2.0;
            (leastTicks(mid) > n ? low : high) = mid;
        }
        b = high;
    }
    const double least = leastTicks(b);
    if (!std::isfinite(least)) return 0;
    const std::int32_t from = std::max(n, gf_ticksFromCount(least, 0));
    for (std::int32_t k = from; k <= from + 3 && k <= kMaxScheduleTicks; ++k) {
        if (!lf_cruiseSchedule(m, k, legM, s0, true, a, nullptr, end, b)) continue;
        const std::int64_t shift = std::int64_t{tickCount.load()} + k - next.playTick;
        if (shift > 0) gf_shiftLaterPoints(ac, 1, shift);
        return k;
    }
    m.scheduleCount = 0;
    m.scheduleIndex = 0;
    return 0;
}

// The eased shares of a leg of `n` ticks (kind as the speed-change kind).
void lf_easedSchedule(MotionState& m, std::int32_t n, int kind) {
    const auto count = static_cast<std::size_t>(std::max(1, n));
    m.schedule.assign(count, 0.0);
    double before = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        const double after = easeValue(static_cast<double>(i + 1) / static_cast<double>(count), kind);
        m.schedule[i] = after - before;
        before = after;
    }
    m.scheduleIndex = 0;
    m.scheduleCount = static_cast<std::uint32_t>(count);
}

// A taxi leg into or out of rest is given the time its speed change needs:
// when the point it leads to falls due sooner, that point and all after it
// fall due later by the shortfall, as after a turn on the spot. A leg
// squeezed into the time the reports left would start or stop within a
// fraction of a second. The leg's ticks come back.
std::int32_t lf_timeRestLeg(LiveAc& ac, std::int32_t n, double legM, int easing, int ends) {
    if (ac.phase != AcPhase::taxi || ac.stream.size() < 2) return n;
    const std::int32_t least = lf_leastRestLegTicks(legM, easing, ends);
    if (least <= n || least > kMaxScheduleTicks) return n;
    const std::int64_t shift = std::int64_t{tickCount.load()} + least - ac.stream[1].playTick;
    if (shift > 0) gf_shiftLaterPoints(ac, 1, shift);
    return least;
}

// A taxi bend's schedule, made for this leg by its planning: it sets the
// speed along the leg, one slowing into a stop's too (its time was planned
// for the schedule, not for braking evenly through the bend).
bool lf_bendScheduled(const LiveAc& ac) {
    const MotionState& m = ac.motion;
    return ac.phase == AcPhase::taxi && m.scheduleCount > 0 && m.scheduleIndex == 0 &&
           (m.speedChangeKind == 0 || m.speedChangeKind == 1 || m.speedChangeKind == 2) && m.legTimeOverride == 0;
}

// Not rolling in the tick before, and moved by the engine before (a leg to
// a held position leaves it unstepped while it stands; one just created has
// never been stepped and goes on as its reports say): a leg that moves it
// starts from rest.
bool lf_standing(const LiveAc& ac) { return ac.motion.lastStepTick != 0 && !(gf_rollingStepM(ac) > 0.0); }

// The speed a leg starts at, metres a tick: the speed it rolls at, or for
// one never moved yet (just created) the speed its front report gives it.
// Started from rest, one created rolling fell behind its reports at once.
// One placed to set off from rest carries no speed in that report.
double lf_startStepM(const LiveAc& ac) {
    if (ac.motion.lastStepTick != 0) return gf_rollingStepM(ac);
    const StreamPoint& front = ac.stream.front();
    const double kt = front.groundSpeedKt;
    return front.stationary == 0 && std::isfinite(kt) && kt > 0.0 ? kt * kKnotsToMps / 100.0 : 0.0;
}

// The speed a leg from rest goes on at, metres a tick: the fastest reported
// by the point it leads to and the two after it (a turn's entry point may
// carry no speed of its own); 0 when none says.
double lf_onwardStep(const LiveAc& ac, std::size_t target) {
    double kt = 0.0;
    for (std::size_t i = target; i < ac.stream.size() && i < target + 3; ++i)
        if (std::isfinite(ac.stream[i].groundSpeedKt) && ac.stream[i].stationary == 0)
            kt = std::max(kt, ac.stream[i].groundSpeedKt);
    return kt * kKnotsToMps / 100.0;
}

// The fastest a schedule of shares of a leg of `legM` metres goes (kt).
double lf_scheduleTopKt(const MotionState& m, double legM) {
    double top = 0.0;
    for (std::uint32_t i = 0; i < m.scheduleCount && i < m.schedule.size(); ++i) top = std::max(top, m.schedule[i]);
    return top * legM * 100.0 * kMpsToKnots;
}

// The fastest a taxi leg may arrive at its point, metres a tick, when the
// leg after it is short and ends at rest (a report at rest just past a crawl
// the aircraft rolls into faster, a stop a metre or two on): the speed it
// brakes to rest from at the taxi rate over that leg. Infinite when the leg
// after it does not end at a report at rest.
double lf_arrivalStepBeforeStop(const LiveAc& ac) {
    const auto& s = ac.stream;
    constexpr double none = std::numeric_limits<double>::infinity();
    if (s.size() < 3 || s[1].stationary != 0 || s[2].stationary != 0 || s[2].airborne != 0 ||
        s[2].groundSpeedKt != 0.0 || gf_isSamePlace(lf_position(s[1]), lf_position(s[2])))
        return none;
    const double nextM = gf_distanceNm(lf_position(s[1]), lf_position(s[2])) * metresPerNm;
    // The braking schedule's last tick goes a tick's change above the speed
    // it brakes to.
    const double a = kTaxiSpeedChangePerTick;
    return std::isfinite(nextM) ? std::max(0.0, std::sqrt(2.0 * a * nextM) - a) : none;
}

// A schedule's steps run from the pose toward `next`: its unit step is the
// whole way there.
void lf_aimAt(LiveAc& ac, const StreamPoint& next) {
    ac.motion.unitStepLat = next.lat - ac.pose.latitude;
    ac.motion.unitStepLon = gf_wrapLongitudeDifference(next.lon - ac.pose.longitude);
}

// Without a profile the leg is eased by its speed-change kind: tick i covers
// ease((i + 1) / N) - ease(i / N) of it. A taxi or stand-drive leg from or
// to rest changes speed evenly from the speed the aircraft has instead (see
// lf_restLegSchedule), and so does one that sets off from where the aircraft
// stands though its reports have it moving (the first legs of a drive onto a
// stand). So does a landing roll that came to rest on its wheels (its
// reports stopped it in the exit turn) and rolls on: played evenly it left
// at the leg's mean speed in one tick.
void lf_easeLeg(LiveAc& ac, std::int32_t n) {
    MotionState& m = ac.motion;
    const int kind = static_cast<int>(m.speedChangeKind);
    const bool driven = ac.phase == AcPhase::taxi || ac.phase == AcPhase::parking;
    const bool rollOn = ac.phase == AcPhase::landing_roll && ac.onGround != 0;
    const bool setsOff = (driven || rollOn) && kind == 0 && m.legTimeOverride == 0 && lf_standing(ac);
    const StreamPoint& next = ac.stream[1];
    const double legM = gf_distanceNm(lf_pose(ac), lf_position(next)) * metresPerNm;
    // A straight taxi leg whose even speed is well off the speed the
    // aircraft rolls at (one catching up after a turn on the spot, or timed
    // slower than the catch-up before it) changes to it at the taxi rate, or
    // firmer where the leg is short, not within a tick.
    const double rolling = gf_rollingStepM(ac);
    const bool straight = !(m.path.turn.status == GroundTurnStatus::None && m.path.turn.totalLength > 0.0) &&
                          !(std::isfinite(m.path.curve.startTime) && std::isfinite(m.path.curve.endTime));
    // Nor does it arrive faster than the short leg after it, into rest,
    // brakes from at the taxi rate: it brakes to that speed at its end. A
    // tow pulled at 9 kt to a report of 1.4 kt, with its stand's report at
    // rest 1.2 m on, reached the report at 9 kt and stopped on the stand at
    // 16.5 kt/s.
    const double arrival = lf_arrivalStepBeforeStop(ac);
    const bool brakesAhead = std::max(rolling, legM / n) > arrival;
    if (driven && kind == 0 && m.legEndsAtRest == 0 && m.legTimeOverride == 0 && rolling > 0.0 && straight &&
        n <= kMaxScheduleTicks && (brakesAhead || std::fabs(legM / n - rolling) > kEvenLegChangeShare * rolling)) {
        lf_aimAt(ac, next);
        const double end = brakesAhead ? arrival : 0.0;
        if (!lf_cruiseSchedule(m, n, legM, rolling, brakesAhead, kTaxiSpeedChangePerTick, nullptr, end) &&
            !lf_cruiseSchedule(m, n, legM, rolling, brakesAhead, kFirmSpeedChangePerTick, nullptr, end))
            m.scheduleCount = 0;
        return;
    }
    // A landing roll whose braking to rest a report cut short rolls on from
    // the speed it has as one at rest does.
    if (rollOn && kind == 0 && m.legEndsAtRest == 0 && m.legTimeOverride == 0 && m.brakeToRest == kBrakeCutShort &&
        n <= kMaxScheduleTicks) {
        lf_aimAt(ac, next);
        if (lf_rollOnSchedule(ac, n, legM, rolling) > 0) return;
    }
    if ((kind == 0 && m.legEndsAtRest == 0 && !setsOff) || n > kMaxScheduleTicks) return;
    lf_aimAt(ac, next);
    if ((driven || setsOff) && kind != 3 && m.legTimeOverride == 0) {
        const double start = kind == 1 || setsOff ? 0.0 : lf_startStepM(ac);
        const bool toRest = m.legEndsAtRest != 0 || kind == 2;
        if (rollOn && setsOff && !toRest && lf_rollOnSchedule(ac, n, legM, 0.0) > 0) return;
        if (lf_restLegSchedule(ac, 1, n, legM, start, toRest, lf_onwardStep(ac, 1)) > 0) return;
    }
    if (kind == 0 && m.legEndsAtRest == 0) {
        m.scheduleCount = 0;
        return;
    }
    if (m.legEndsAtRest != 0 && (kind == 0 || kind == 1)) {
        // Into a point where it holds: an even speed (from rest on a leg
        // from rest), then braking.
        if (m.legTimeOverride == 0) n = lf_timeRestLeg(ac, n, legM, 0, kind == 1 ? 2 : 1);
        if (!lf_evenSchedule(m, n, legM, kind == 1, true)) lf_easedSchedule(m, n, kind == 1 ? 3 : 2);
    } else {
        if (m.legTimeOverride == 0) n = lf_timeRestLeg(ac, n, legM, kind, 1);
        lf_easedSchedule(m, n, kind);
    }
}

// The legs around a hold the aircraft rolled into: braking to rest straight
// on, each tick's step falling evenly (step k of n is (n + 1 - k) /
// (n (n + 1) / 2) of the leg, from the step the pose has), and the leg after
// a report cut that braking short, which changes from the speed the aircraft
// has to the leg's own at the taxi rate. True when the leg was planned so.
bool lf_brakeToRestLeg(LiveAc& ac) {
    MotionState& m = ac.motion;
    const bool braking = m.brakeToRest == kBrakingToRest;
    // A straight leg: along a bend the pose step follows the path's shares.
    const bool straight = !(m.path.turn.status == GroundTurnStatus::None && m.path.turn.totalLength > 0.0) &&
                          !(std::isfinite(m.path.curve.startTime) && std::isfinite(m.path.curve.endTime));
    const bool cutShort =
        m.brakeToRest == kBrakeCutShort && ac.phase == AcPhase::taxi && m.legTimeOverride == 0 && straight;
    if (!braking && !cutShort) return false;
    const StreamPoint& next = ac.stream[1];
    const std::int32_t n = std::max(1, lf_ticksUntil(next.playTick));
    if (n > kMaxScheduleTicks) return false;
    const double legM = gf_distanceNm(lf_pose(ac), lf_position(next)) * metresPerNm;
    if (braking) {
        const auto count = static_cast<std::size_t>(n);
        m.schedule.assign(count, 0.0);
        const double all = static_cast<double>(count) * static_cast<double>(count + 1) / 2.0;
        for (std::size_t k = 1; k <= count; ++k) m.schedule[k - 1] = static_cast<double>(count + 1 - k) / all;
        m.scheduleIndex = 0;
        m.scheduleCount = static_cast<std::uint32_t>(count);
    } else if (!lf_cruiseSchedule(m, n, legM, gf_rollingStepM(ac), next.groundSpeedKt == 0.0 || m.legEndsAtRest != 0)) {
        return false;
    }
    m.speedChangeKind = 0;
    lf_aimAt(ac, next);
    return true;
}

// Whether a landing roll's leg ends off its runway: further from the centre
// line than half the runway's width (and the aim's least offset).
bool lf_landingLegEndsOffRunway(const LiveAc& ac, LaLo end) {
    if (ac.phase != AcPhase::landing_roll || !ac.landingRunway) return false;
    const RunwayMatch& r = *ac.landingRunway;
    const double heading = r.headingDeg * degreesToRadians;
    if (!gf_isValidLaLo(r.farEnd) || !gf_isValidLaLo(end) || gf_isSamePlace(r.farEnd, end)) return false;
    const double cross =
        std::sin(gf_bearing(r.farEnd, end) - heading) * gf_distanceNm(r.farEnd, end) * metresPerNm;
    return std::isfinite(cross) && std::fabs(cross) > std::max(r.widthM / 2.0, kAimLeastCrossTrackM);
}

// The leg from the pose runs on the profile chosen; straight along a
// runway it heads for the centre line. Not a landing roll's leg that ends
// off the runway (the roll turns off along it: the reports skipped the
// exit's start): the nose turns onto the leg. Held to the centre line, an
// arrival rolled 500 m to its exit with the nose 14 degrees off its travel
// and met the exit's next leg 30 degrees off, which it stopped for.
void lf_takeProfileLeg(LiveAc& ac, const ProfileChoice& choice, bool aimOnRunway) {
    MotionState& m = ac.motion;
    ProfileLeg& leg = m.profileLeg;
    leg.profile = choice.profile;
    leg.start = lf_pose(ac);
    leg.end = choice.end;
    leg.elapsedTicks = 0;
    leg.kind = choice.kind;
    leg.startHeading = ac.pose.heading;
    leg.phase = static_cast<std::uint32_t>(ac.phase);
    m.speedChangeKind = 0;
    if (!aimOnRunway) return;
    alignOnRunway(ac);
    if (lf_landingLegEndsOffRunway(ac, choice.end)) m.hasCenterlineAim = 0;
    if (m.hasCenterlineAim != 0) {
        m.profileHeadingTarget = m.centerlineAimBearing;
        m.hasProfileHeadingTarget = 1;
        m.profileHeadingSmoothing = 1;
    }
}

// A landing roll's straight leg into a report at rest nearer than the roll
// can stop in from the speed it has, braking firmly (a receiver repeating at
// no speed a position the aircraft passed at 40 kt, 20 m on): braked to rest
// on it, the roll stopped at 11 m/s^2, which no aircraft does. It brakes at
// the taxi rate along the leg instead and passes the point at the speed that
// leaves, the point falling due when it gets there; a hold after it is then
// braked for straight on, as after any point passed rolling. True when the
// leg was planned so.
bool lf_passStopOutOfReach(LiveAc& ac, double startKt, double legM) {
    if (ac.phase != AcPhase::landing_roll || ac.onGround == 0 || ac.category == Rotorcraft || !lf_positive(startKt) ||
        !(legM > 1.0) || !std::isfinite(legM))
        return false;
    StreamPoint& next = ac.stream[1];
    if (next.stationary != 0 || next.airborne != 0 || next.groundSpeedKt != 0.0) return false;
    const double v0 = startKt * kKnotsToMps;
    const double firm = kFirmSpeedChangePerTick * 1e4;
    const double taxi = kTaxiSpeedChangePerTick * 1e4;
    if (!(v0 * v0 > 2.0 * firm * legM)) return false;
    const double v1 = std::sqrt(v0 * v0 - 2.0 * taxi * legM);
    const double seconds = 2.0 * legM / (v0 + v1);
    ProfileChoice choice;
    if (!std::isfinite(seconds) || !gf_makeSpeedProfile(choice.profile, legM, seconds, v0, v1) ||
        !lf_profileFits(ac, choice.profile))
        return false;
    next.groundSpeedKt = v1 * kMpsToKnots;
    const auto ticks = static_cast<std::int32_t>(std::ceil(seconds * 100.0));
    next.playTick = gf_tickPlus(tickCount.load(), std::max(kMinLegTicks, ticks));
    if (ac.stream.size() >= 3 && ac.stream[2].playTick <= next.playTick)
        gf_shiftLaterPoints(ac, 2, std::int64_t{next.playTick} + 1 - ac.stream[2].playTick);
    choice.end = lf_position(next);
    choice.kind = kPlainProfileKind;
    lf_takeProfileLeg(ac, choice, true);
    return true;
}

void lf_planLegSpeed(LiveAc& ac) {
    MotionState& m = ac.motion;
    const bool rolling = ac.phase == AcPhase::takeoff_roll || ac.phase == AcPhase::landing_roll;
    const bool profiledBefore = rolling && m.profileLeg.profile.valid != 0 &&
                                m.profileLeg.phase == static_cast<std::uint32_t>(ac.phase);
    m.profileLeg = ProfileLeg{};
    m.hasProfileHeadingTarget = 0;
    m.profileHeadingSmoothing = 0;
    if (lf_bendScheduled(ac)) return;
    m.scheduleCount = 0;
    m.scheduleIndex = 0;
    if (lf_brakeToRestLeg(ac)) return;

    const std::int32_t n = lf_legTicks(ac);
    const StreamPoint& next = ac.stream[1];
    const double startKt = lf_startSpeedKt(ac, profiledBefore);
    const double turnM = lf_groundTurnForProfile(m) ? m.path.turn.totalLength : 0.0;
    const double legM = turnM > 0.0 ? turnM : gf_distanceNm(lf_pose(ac), lf_position(next)) * metresPerNm;
    const bool onRunway = ac.onGround != 0 && ac.category != Rotorcraft;
    // A helicopter's run-on after touching down is no runway roll, but its
    // speed still follows the reports down to rest: at an even speed it
    // would reach the report where it stands still moving and brake to rest
    // past it.
    const bool landingRun = ac.phase == AcPhase::landing_roll && ac.onGround != 0;
    // A roll into its turn-off corner that the taxi turns on the spot comes
    // to rest on the corner: it keeps its speed and brakes to rest there at
    // the taxi rate, not slowing to the speed reported there on the way.
    const bool toRest = landingRun && m.legEndsAtRest != 0;

    if (turnM <= 0.0 && lf_passStopOutOfReach(ac, startKt, legM)) return;
    ProfileChoice choice;
    bool built = false;
    if (ac.phase == AcPhase::takeoff_roll && onRunway && ac.extrapolationCount <= 0 && next.stationary == 0 &&
        lf_laterPointAhead(ac, startKt)) {
        built = lf_boundedRollProfile(ac, startKt, turnM, choice);
    } else if (rolling && (onRunway || landingRun)) {
        const double endKt = next.groundSpeedKt;
        const bool usable = std::isfinite(startKt) && startKt >= 0.0 && std::isfinite(endKt) && endKt >= 0.0 &&
                            (ac.phase == AcPhase::landing_roll || endKt > 0.0);
        if (usable && !toRest &&
            gf_makeSpeedProfile(choice.profile, legM, n / 100.0, startKt * kKnotsToMps, endKt * kKnotsToMps)) {
            choice.end = lf_position(next);
            choice.kind = kPlainProfileKind;
            built = true;
        }
    }
    if (built && lf_profileFits(ac, choice.profile)) {
        lf_takeProfileLeg(ac, choice, turnM <= 0.0 && onRunway);
        return;
    }
    // A landing roll's leg into a slower report that asks for more than its
    // start speed and the report's could give in one even curve (the roll
    // was dead-reckoned while the reports paused, braking harder than the
    // aircraft did) keeps its speed and brakes into the report at the taxi
    // rate. Played evenly it reached the report several times faster than
    // reported, and braked to rest tens of metres past it, past its exit.
    if (landingRun && turnM <= 0.0 && n <= kMaxScheduleTicks && lf_positive(startKt) &&
        std::isfinite(next.groundSpeedKt) && next.groundSpeedKt >= 0.0 && next.groundSpeedKt < startKt) {
        lf_aimAt(ac, next);
        if (lf_cruiseSchedule(m, n, legM, startKt * kKnotsToMps / 100.0, true, kTaxiSpeedChangePerTick, nullptr,
                              toRest ? 0.0 : next.groundSpeedKt * kKnotsToMps / 100.0))
            return;
        m.scheduleCount = 0;
    }
    lf_easeLeg(ac, n);
}

// ---- the takeoff ----

void lf_decideTakeoff(LiveAc& ac) {
    if (ac.phase != AcPhase::takeoff_roll || !(ac.stream[0].groundSpeedKt >= kTakeoffDecisionKt)) return;
    const std::uint8_t outlook = takeoffOutlook(ac);
    if (outlook == 0) {
        if (gf_ticksBetween(static_cast<std::int32_t>(ac.phaseStartTick), tickCount.load()) >= kRollWithoutTakeoffTicks)
            removeAircraftFromSim(ac);
        return;
    }
    if (ac.onGround == 0) return;
    if (takeoffStartState(ac) == 0)
        ac.motion.takeoffRoll.takeoffWait = 1;
    else
        beginTakeoff(ac, outlook);
}

std::string lf_takeoffReport(const LiveAc& ac) {
    const IataCode from = gf_airportCodeNear(lf_pose(ac), ac.origin);
    std::string runway;
    if (ac.takeoffRunway)
        runway = fmt::format(" runway {}", ac.takeoffRunway->endName);
    else if (const auto name = runwayNameAt(lf_pose(ac), ac.pose.heading))
        runway = fmt::format(" runway {}", *name);
    return fmt::format("{} {} {} {} {} take off{}{}{} ...", gf_trafficTimeTextShort(), ac.callsign, ac.registration,
                       gf_airlineOperatorText(ac.key), gf_modelCodeAt(ac.key.model),
                       from.isSet() ? fmt::format(" from {}", from.text()) : std::string(),
                       ac.destination.isSet() ? fmt::format(" to {}", ac.destination.text()) : std::string(), runway);
}

// Index of the first airborne point, or the stream's size.
std::size_t lf_firstAirborne(const LiveAc& ac) {
    const auto it =
        std::find_if(ac.stream.begin(), ac.stream.end(), [](const StreamPoint& p) { return p.airborne != 0; });
    return static_cast<std::size_t>(it - ac.stream.begin());
}

double lf_modeSpeed(double kt, double less) { return std::max(1.0, kt - less); }

}  // namespace

void gf_keepLandingRollOnTime(LiveAc& ac) {
    if (ac.phase != AcPhase::landing_roll) return;
    ac.motion.delayLimit = std::min(ac.motion.delayLimit, kLandingRollDelayLimitTicks);
}

std::vector<double> gf_brakeToRestShares(std::int32_t n, double legM, double startStep) {
    MotionState m;
    if (n > kMaxScheduleTicks || !std::isfinite(startStep) || !lf_cruiseSchedule(m, n, legM, startStep, true))
        return {};
    return m.schedule;
}

double gf_groundCatchUpMostKt(double reportedKt) {
    if (!std::isfinite(reportedKt) || !(reportedKt > 0.0)) return reportedKt;
    const double most = std::min(kCatchUpMostFactor * reportedKt + kCatchUpMostKt, kCatchUpMostShare * reportedKt);
    return std::max(reportedKt, std::min(most, kCatchUpOffRunwayMostKt));
}

double gf_reachFromRestM(double mostKt, double ticks) {
    const double top = mostKt * kKnotsToMps;
    const double seconds = ticks / 100.0;
    const double speedUpS = top / kTaxiSpeedChangeMps2;
    if (seconds <= speedUpS) return kTaxiSpeedChangeMps2 * seconds * seconds / 2.0;
    return top * (seconds - speedUpS / 2.0);
}

bool gf_brakeRestOfTouchdownLeg(LiveAc& ac) {
    MotionState& m = ac.motion;
    if (ac.phase != AcPhase::landing_roll || ac.onGround == 0 || ac.category == Rotorcraft || ac.stream.empty() ||
        m.frontAheadTicks <= 0 || m.profileLeg.profile.valid != 0 || m.scheduleCount != 0 ||
        ac.extrapolationCount > 0)
        return false;
    StreamPoint& target = ac.stream.front();
    if (target.stationary != 0 || target.airborne != 0 || !(target.groundSpeedKt >= 0.0)) return false;
    const std::int32_t now = tickCount.load();
    // Never up to or past the point after it.
    std::int64_t due = std::int64_t{target.playTick} + m.frontAheadTicks;
    if (ac.stream.size() >= 2) due = std::min<std::int64_t>(due, std::int64_t{ac.stream[1].playTick} - kMinLegTicks);
    const std::int64_t left = due - now;
    if (!(left > gf_ticksBetween(now, target.playTick))) return false;
    const LaLo pose = lf_pose(ac);
    const double legM = gf_distanceNm(pose, lf_position(target)) * metresPerNm;
    const double startMps =
        gf_distanceNm(pose, {pose.lat + m.stepLat, pose.lon + m.stepLon}) * metresPerNm * 100.0;
    if (!(legM > 1.0) || !std::isfinite(startMps)) return false;
    const double endMps = target.groundSpeedKt * kKnotsToMps;
    ProfileChoice choice;
    const auto fits = [&](std::int64_t ticks, double hasKt) {
        return gf_makeSpeedProfile(choice.profile, legM, static_cast<double>(ticks) / 100.0, startMps, endMps) &&
               lf_profileFits(ac, choice.profile, hasKt);
    };
    // Rolling at far more than the point's speed, with the rest of the leg
    // too short for its reported time to brake along without slowing below
    // the point's speed on the way (500 m left in 24 s from 70 kt down to
    // 32), it brakes in the longest time that fits: still later than the
    // approach speed brought the point. Braking evenly from one speed to the
    // other always fits; longer, the speed sags ever more below the point's
    // towards the end. The speed it has is its step (the pose's airspeed
    // still shows the point's, set when the leg was flown). Kept at the
    // approach speed, the roll reached the point 9 s early at twice its
    // reported speed and braked past the exit beyond it.
    if (!fits(left, MotionState::unknown)) {
        const double hasKt = startMps * kMpsToKnots;
        if (!(startMps > kTouchdownLegOverPointShare * endMps)) return false;
        if (fits(left, hasKt)) {
            // The speed it rolls at brakes along the whole of the reported
            // time: that is the braking, down to a speed reported at the
            // point (left at the approach speed, a roll touching down at
            // 62 kt for a point reported at 30 reached it so and ran 100 m
            // past its exit). Not to a point at no speed: the feed repeating
            // a position the aircraft passed in the air, the roll braked to
            // rest on it and came 20 s late.
            if (!(endMps > 0.0)) return false;
        } else {
            const double evenTicks = std::ceil(2.0 * legM / (startMps + endMps) * 100.0);
            if (!(evenTicks > gf_ticksBetween(now, target.playTick)) || !(evenTicks < static_cast<double>(left)))
                return false;
            auto low = static_cast<std::int64_t>(evenTicks);
            std::int64_t high = left;
            if (!fits(low, hasKt)) return false;
            while (high - low > 1) {
                const std::int64_t mid = low + (high - low) / 2;
                (fits(mid, hasKt) ? low : high) = mid;
            }
            due = now + low;
            if (!fits(low, hasKt)) return false;
        }
    }
    choice.end = lf_position(target);
    choice.kind = kPlainProfileKind;
    lf_takeProfileLeg(ac, choice, true);
    target.playTick = gf_tickPlus(0, due);
    m.frontAheadTicks = 0;
    return true;
}

void stepGround(LiveAc& ac) {
    if (ac.stream.size() < 2) return;
    MotionState& m = ac.motion;
    lf_setControls(ac);
    if (ac.phase == AcPhase::takeoff_roll && stepTakeoffRoll(ac)) return;
    if (ac.phase != AcPhase::takeoff_roll && ac.phase != AcPhase::landing_roll) gf_relaxRetimeLimits(m);
    // Just after a touchdown the attitude is still settling from the flare;
    // a takeoff rotates.
    if (m.flareStage == 0 && ac.phase != AcPhase::takeoff) {
        ac.pose.pitch = ac.staticPitchRad;
        ac.pose.bank = 0.0;
        m.pitchPerTick = 0.0;
        m.bankPerTick = 0.0;
    }
    if (ac.phase != AcPhase::takeoff) m.verticalPerTick = 0.0;
    m.legVerticalSpeed = 0.0;
    const bool bend = lf_bendScheduled(ac);
    lf_planLegSpeed(ac);
    double speed = ac.stream[1].groundSpeedKt;
    // A speed no roll goes (1e6 kt) is not given: the leg's believable one.
    if (speed > kFastestRollKt) speed = std::min(groundSpeedForNextLeg(ac), kFastestRollKt);
    m.legTasKt = ac.phase == AcPhase::pushing_back ? -speed : speed;
    // A taxi leg played by a schedule (along a bend, or catching up with its
    // reports) gives the fastest speed it reaches on the leg where that is
    // faster than the one reported at its end: that is how fast it moves.
    if (ac.phase == AcPhase::taxi && m.scheduleCount > 0 && m.scheduleIndex == 0) {
        const double legM = bend ? gf_bendLengthM(ac)
                                 : gf_distanceNm(lf_pose(ac), {ac.pose.latitude + m.unitStepLat,
                                                               ac.pose.longitude + m.unitStepLon}) *
                                       metresPerNm;
        const double topKt = lf_scheduleTopKt(m, legM);
        if (std::isfinite(topKt) && topKt > m.legTasKt) m.legTasKt = topKt;
    }
    lf_decideTakeoff(ac);
}

void startLegFromRest(LiveAc& ac) {
    MotionState& m = ac.motion;
    if (ac.stream.empty()) return;
    const StreamPoint& target = ac.stream.front();
    // The turn took the ticks planned for it, or the point's due tick was held
    // by the retiming limits: the leg fills the time left either way.
    const std::int32_t n = std::max(1, gf_ticksBetween(tickCount.load(), target.playTick));
    const double dLat = target.lat - ac.pose.latitude;
    const double dLon = gf_wrapLongitudeDifference(target.lon - ac.pose.longitude);
    m.stepLat = dLat / n;
    m.stepLon = dLon / n;
    m.unitStepLat = dLat;
    m.unitStepLon = dLon;
    m.scheduleCount = 0;
    m.scheduleIndex = 0;
    if (n > kMaxScheduleTicks) return;
    const bool eased = m.speedChangeKind == 2 || m.speedChangeKind == 3;
    const double legM = gf_distanceNm(lf_pose(ac), lf_position(target)) * metresPerNm;
    // Off from rest evenly at the taxi rate in the time the turn's planning
    // left the leg (up to twice its speed where it runs late); where that is
    // too short, given the time an even start to the speed it goes on at
    // needs, not eased over the whole leg to twice its mean at the end.
    const bool toRest = m.legEndsAtRest != 0;
    if (eased || (!lf_standThenSetOff(m, n, legM, toRest, lf_onwardStep(ac, 0)) &&
                  !lf_cruiseSchedule(m, n, legM, 0.0, toRest) &&
                  lf_restLegSchedule(ac, 0, n, legM, 0.0, toRest, lf_onwardStep(ac, 0)) == 0))
        lf_easedSchedule(m, n, eased || m.legEndsAtRest != 0 ? 3 : 1);
    // The speed the aircraft gives is the one it reaches on the leg: a leg
    // that catches up after the turn runs faster than its reports say.
    const double topKt = lf_scheduleTopKt(m, legM);
    if (std::isfinite(topKt) && !(topKt <= m.legTasKt)) {
        m.legTasKt = topKt;
        ac.pose.trueAirspeed = topKt;
    }
}

bool endLandingRollWhenTurnedOff(LiveAc& ac) {
    if (ac.phase != AcPhase::landing_roll ||
        !(lf_headingDiffDeg(ac.pose.heading, ac.motion.touchdownHeading) >= kTurnedOffRunwayDeg))
        return false;
    startTaxi(ac);
    return true;
}

bool endHelicopterLandingAtRest(LiveAc& ac) {
    if (ac.category != Rotorcraft || ac.phase != AcPhase::landing_roll || ac.onGround == 0) return false;
    startTaxi(ac);
    return true;
}

void startTaxi(LiveAc& ac) {
    MotionState& m = ac.motion;
    gf_setFlaps(ac, 0);
    if (ac.phase != AcPhase::taxi) setFlightPhase(ac, AcPhase::taxi);
    ac.arrivingHere = 1;
    m.touchdownHeading = MotionState::unknown;
    m.taxiStarted = 1;
    gf_setThrottle(ac, ac.category == Rotorcraft ? 4 : 0);
    gf_setSpoilers(ac, false);
    if (ac.category != Light) gf_setAiReverseThrust(ac.objectId, false, ac.isFsltlLivery != 0);
    gf_setAiLights(ac.objectId, {1, 1, 0, 1, 0, 1, 1});
}

void beginTakeoff(LiveAc& ac, std::uint8_t outlook) {
    MotionState& m = ac.motion;
    m.takeoffRoll.takeoffWait = 0;
    if (outlook == 1 && ac.stream.size() >= 2) {
        const StreamPoint& next = ac.stream[1];
        const double t = std::max(kMinLegTicks, lf_ticksUntil(next.playTick));
        m.verticalPerTick = std::max(next.altitudeFt - ac.pose.altitude, t * kLeastClimbPerTick) / t;
    } else {
        m.verticalPerTick = lf_climbByRate(ac);
    }
    enterTakeoff(ac, outlook);
}

void enterTakeoff(LiveAc& ac, std::uint8_t outlook) {
    MotionState& m = ac.motion;
    m.takeoffRoll.takeoffWait = 0;
    m.initialTakeoffClimb = outlook == 2 ? m.verticalPerTick : 0.0;
    m.climbPerTick = 0.0;
    m.takeoffCountdown = ac.rotationTicks < 2 ? 1 : static_cast<std::int32_t>(ac.rotationTicks);
    m.pitchPerTick = (ac.rotationPitchRad - ac.pose.pitch) / m.takeoffCountdown;
    ac.pose.bank = 0.0;
    m.bankPerTick = 0.0;
    if (ac.phase != AcPhase::takeoff) setFlightPhase(ac, AcPhase::takeoff);
    // A touch-and-go, or a departure straight after a landing, still has the
    // landing's configuration: the phase the takeoff came from is the landing
    // roll, or a taxi that followed one.
    const bool afterLanding = ac.prevPhase == AcPhase::landing_roll ||
                              (ac.prevPhase == AcPhase::taxi && ac.prevPrevPhase == AcPhase::landing_roll);
    gf_reportMovement(lf_takeoffReport(ac));
    resetMotionPath(m.path);
    // The attitude no longer settles onto the ground.
    m.pitchSettle = 0;
    if (afterLanding) {
        gf_setThrottle(ac, 4);
        gf_setSpoilers(ac, true);
        gf_setFlaps(ac, 1);
    }
}

std::uint8_t takeoffOutlook(LiveAc& ac) {
    const auto& s = ac.stream;
    if (s.size() < 2) return 0;
    if (ac.motion.takeoffRoll.forcedTakeoff != 0) return s[1].airborne != 0 ? 1 : 2;
    if (std::all_of(s.begin(), s.end(), [](const StreamPoint& p) { return p.verticalSpeed > 256.0; })) {
        if (allNextPointsAirborne(ac)) return 1;
        if (s.back().airborne != 0) return 2;
    }
    const bool atSpeed = allNextPointsAtSpeed(ac);
    if (atSpeed && allNextPointsAirborne(ac)) return 2;
    if (maxStreamVerticalRate(ac) > kSteepClimbFpm) return 2;
    if (lf_shortTakeoffRunway(ac)) return atSpeed ? 2 : 0;
    return 0;
}

std::uint8_t takeoffStartState(LiveAc& ac) {
    if (ac.stream.size() < 2) return 0;
    const double s = lf_speedKt(ac);
    const bool forced = ac.motion.takeoffRoll.forcedTakeoff != 0;
    const bool steep = maxStreamVerticalRate(ac) > kSteepClimbFpm;
    const double r1 = forced ? lf_modeSpeed(refSpeedKt(ac, 1), 5.0) : refSpeedKt(ac, 1);
    const double r2 = steep ? lf_modeSpeed(refSpeedKt(ac, 2), 5.0) : refSpeedKt(ac, 2);
    const double r3 = steep ? lf_modeSpeed(refSpeedKt(ac, 3), 5.0) : refSpeedKt(ac, 3);
    if (gf_liftsOffOnLeg(ac)) return 1;
    const std::size_t k = lf_firstAirborne(ac);
    if (k < ac.stream.size()) {
        const StreamPoint& p = ac.stream[k];
        const double d = gf_distanceNm(lf_pose(ac), lf_position(p)) * metresPerNm;
        const std::int32_t t = lf_ticksUntil(p.playTick);
        if (s >= r1 && d <= 600.0 && t <= std::max<std::int64_t>(std::int64_t{ac.rotationTicks} + 300, 1)) return 1;
        if (!std::isfinite(d)) return 0;
        if (s >= r2 && d <= 1200.0 && t < 1501 && isLinedUpOnTakeoffRunway(ac, 1200.0)) return 2;
        if (s >= r3 && isLinedUpOnTakeoffRunway(ac, 300.0)) return 3;
        return 0;
    }
    const double ref1 = refSpeedKt(ac, 1);
    if (forced && s >= ref1 + 10.0 && ac.stream[0].groundSpeedKt >= ref1 + 10.0 &&
        findTakeoffRunway(lf_pose(ac), ac.pose.heading))
        return 1;
    if (!steep && !(lf_shortTakeoffRunway(ac) && allNextPointsAtSpeed(ac))) return 0;
    if (s >= r2 && isLinedUpOnTakeoffRunway(ac, 1200.0)) return 2;
    if (s >= r3 && isLinedUpOnTakeoffRunway(ac, 300.0)) return 3;
    return 0;
}

bool gf_liftsOffOnLeg(const LiveAc& ac) {
    const auto& s = ac.stream;
    return ac.phase == AcPhase::takeoff_roll && ac.onGround != 0 && ac.motion.takeoffRoll.forcedTakeoff != 0 &&
           s.size() >= 2 && s[1].airborne != 0 && s[1].stationary == 0 &&
           lf_speedKt(ac) >= lf_modeSpeed(refSpeedKt(ac, 1), 5.0);
}

void gf_putInLiftOffPoint(LiveAc& ac) {
    auto& s = ac.stream;
    if (ac.phase != AcPhase::takeoff_roll || ac.onGround == 0 || ac.motion.takeoffRoll.forcedTakeoff == 0 ||
        s.size() < 2 || s[1].airborne == 0 || s[1].stationary != 0)
        return;
    // Already fast enough to fly, the leg on is the one it lifts off on: no
    // point a run of nothing away.
    const double fromKt = lf_speedKt(ac);
    if (!(fromKt > 0.0) || !(fromKt < lf_modeSpeed(refSpeedKt(ac, 1), 5.0))) return;
    const double fromMps = fromKt * kKnotsToMps;
    const double liftMps = refSpeedKt(ac, 1) * kKnotsToMps;
    const double runM = (liftMps * liftMps - fromMps * fromMps) / (2.0 * kTaxiSpeedChangeMps2);
    const double legM = gf_distanceNm(lf_pose(ac), lf_position(s[1])) * metresPerNm;
    if (!(runM < legM)) return;
    const auto ticks = static_cast<std::int64_t>(std::ceil((liftMps - fromMps) / kTaxiSpeedChangeMps2 * 100.0));
    if (!(std::int64_t{tickCount.load()} + ticks < s[1].playTick)) return;
    StreamPoint p = s[0];
    const double f = runM / legM;
    LaLo at{ac.pose.latitude + (s[1].lat - ac.pose.latitude) * f,
            ac.pose.longitude + gf_wrapLongitudeDifference(s[1].lon - ac.pose.longitude) * f};
    gf_normalizeLaLo(at);
    p.lat = at.lat;
    p.lon = at.lon;
    p.groundSpeedKt = liftMps / kKnotsToMps;
    p.tasKt = p.groundSpeedKt;
    p.trackDeg = s[1].trackDeg;
    p.verticalSpeed = 0.0;
    p.airborne = 0;
    p.stationary = 0;
    p.synthetic = 1;
    p.rollSynthetic = 0;
    p.midpoint = 0;
    p.turnPoint = 0;
    p.heldCopy = 0;
    p.hasTrueHeading = 0;
    p.pacedKt = 0.0;
    p.playTick = gf_tickPlus(tickCount.load(), static_cast<std::int32_t>(ticks));
    s.insert(s.begin() + 1, p);
}

bool isLinedUpOnTakeoffRunway(LiveAc& ac, double lengthM) {
    const std::optional<double> along = takeoffRunwayDistance(ac);
    if (!ac.takeoffRunway || !along || !(*along >= -lengthM && *along <= kLinedUpPastEndM)) return false;
    const RunwayMatch& r = *ac.takeoffRunway;
    const double heading = r.headingDeg * degreesToRadians;
    if (!(lf_headingDiffDeg(ac.pose.heading, heading) <= kLinedUpHeadingDeg)) return false;
    const double cross = std::sin(gf_bearing(r.farEnd, lf_pose(ac)) - heading) *
                         gf_distanceNm(r.farEnd, lf_pose(ac)) * metresPerNm;
    return std::isfinite(cross) && std::fabs(cross) <= kLinedUpCrossTrackM;
}

std::optional<double> alongRunwayDistance(const LiveAc& ac, LaLo position) {
    if (!ac.takeoffRunway) return std::nullopt;
    const RunwayMatch& r = *ac.takeoffRunway;
    const double heading = r.headingDeg * degreesToRadians;
    if (!gf_isValidLaLo(position) || !gf_isValidLaLo(r.farEnd) || !(heading >= 0.0 && heading < fullCircle))
        return std::nullopt;
    return std::cos(gf_bearing(r.farEnd, position) - heading) * gf_distanceNm(r.farEnd, position) * metresPerNm;
}

std::optional<double> takeoffRunwayDistance(LiveAc& ac) {
    if (lf_takeoffRunway(ac) == nullptr) return std::nullopt;
    return alongRunwayDistance(ac, lf_pose(ac));
}

bool stepTakeoffRoll(LiveAc& ac) {
    const std::optional<double> along = takeoffRunwayDistance(ac);
    if (!along) return false;
    const auto& s = ac.stream;
    std::optional<double> nextAlong;
    if (s.size() >= 2) nextAlong = alongRunwayDistance(ac, lf_position(s[1]));
    const std::size_t firstAirborne = lf_firstAirborne(ac);
    const bool anyAirborne = firstAirborne < s.size();
    double largestVs = -std::numeric_limits<double>::infinity();
    for (std::size_t i = firstAirborne; i < s.size(); ++i)
        if (std::isfinite(s[i].verticalSpeed)) largestVs = std::max(largestVs, s[i].verticalSpeed);
    const double speed = lf_speedKt(ac);
    const double r3 = refSpeedKt(ac, 3);
    const double nextValue = nextAlong.value_or(MotionState::unknown);
    const bool validProfile = isValidRollProfile(*along, nextValue, largestVs, speed, r3, 300.0);

    if (validProfile &&
        (isLinedUpOnTakeoffRunway(ac, 300.0) || isLinedUpOnTakeoffRunway(ac, 1200.0) ||
         (isLinedUpOnTakeoffRunway(ac, ac.takeoffRunway->lengthM) && speed >= refSpeedKt(ac, 1)))) {
        ac.motion.verticalPerTick = lf_climbByRate(ac);
        enterTakeoff(ac, 2);
        return false;
    }
    const bool steep = largestVs > kSteepClimbFpm;
    if (!anyAirborne && !steep && speed < r3 && *along >= -300.0 && *along <= 100.0 && nextValue > -50.0) {
        // Rolling out to the runway's end at taxi speeds: no takeoff after all.
        gf_setTakeoffRunway(ac, std::nullopt);
        setFlightPhase(ac, AcPhase::taxi);
        return false;
    }
    const bool implausible =
        std::isfinite(*along) &&
        (*along > 100.0 || (!anyAirborne && !steep && !validProfile && std::isfinite(nextValue) && nextValue > -50.0));
    if (!implausible) return false;
    if (ac.hexid != 0 && gf_isValidLaLo(lf_pose(ac)) && std::isfinite(ac.lastReportTime))
        quarantine[ac.hexid] = QuarantineEntry{lf_pose(ac), ac.lastReportTime, 1, 0};
    removeAircraftFromSim(ac);
    return true;
}

void takeoffRollTickChecks(LiveAc& ac) { stepTakeoffRoll(ac); }

void alignOnRunway(LiveAc& ac) {
    MotionState& m = ac.motion;
    m.hasCenterlineAim = 0;
    const RunwayMatch* runway = nullptr;
    double least = 0.0;
    if (ac.phase == AcPhase::takeoff_roll) {
        runway = lf_takeoffRunway(ac);
        least = kAimTakeoffKt;
    } else if (ac.phase == AcPhase::landing_roll) {
        if (!ac.landingRunway) {
            if (auto match = findLandingRunway(lf_pose(ac), ac.pose.heading)) {
                ac.landingRunway = std::move(match);
                m.landingRunwayRefPos = lf_pose(ac);
                m.landingRunwayRefValid = 1;
            }
        }
        if (ac.landingRunway) runway = &*ac.landingRunway;
        least = kAimLandingKt;
    }
    if (runway == nullptr || ac.stream.empty()) return;
    double fastest = ac.pose.trueAirspeed;
    for (std::size_t i = 0; i < 2 && i < ac.stream.size(); ++i)
        fastest = std::isfinite(fastest) ? std::max(fastest, ac.stream[i].groundSpeedKt) : ac.stream[i].groundSpeedKt;
    if (!(fastest >= least)) return;
    const CenterlineAim aim =
        centerlineAimPoint(lf_pose(ac), runway->farEnd, runway->headingDeg * degreesToRadians, kAimAngleLimit,
                           std::max(runway->widthM / 2.0, kAimLeastCrossTrackM), kAimFactor);
    if (!aim.captured) return;
    m.centerlineAim = aim.aimPoint;
    m.centerlineAimBearing = aim.bearing;
    m.hasCenterlineAim = 1;
}

void gf_setTakeoffRunway(LiveAc& ac, std::optional<RunwayMatch> match) {
    ac.takeoffRunway = std::move(match);
    ac.motion.takeoffRunwayMatched = ac.takeoffRunway ? 1 : 0;
    ac.motion.takeoffRunwayHeadingDeg = ac.takeoffRunway ? ac.takeoffRunway->headingDeg : 0.0;
}
