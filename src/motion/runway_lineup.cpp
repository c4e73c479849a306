#include "motion/runway_lineup.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>

#include <fmt/format.h>

#include "airports/current_airport.h"
#include "engine/engine_state.h"
#include "foundation/geodesy.h"
#include "motion/motion_math.h"
#include "motion/pose_path.h"
#include "motion/runways.h"
#include "motion/straight_legs.h"
#include "motion/takeoff_start.h"
#include "motion/tick_math.h"

namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;
// The runner-up of a match must score more than this worse for the match to
// name the runway end an aircraft stands on.
constexpr double kAmbiguousScore = 20.0;
// A start position lies this close to the centre line (m) and no farther
// than this before the threshold (m).
constexpr double kStartCrossTrackM = 7.5;
constexpr double kStartBeforeThresholdM = 700.0;
// An aircraft stands when it stays within this (m) for this long (ticks).
constexpr double kStandingM = 2.0;
constexpr std::int32_t kStandingTicks = 300;
// The distance moved is measured over windows of at least this (ticks).
constexpr std::int32_t kMoveWindowTicks = 200;
constexpr double kStandingKt = 0.5;

LaLo lf_pose(const LiveAc& ac) { return {ac.pose.latitude, ac.pose.longitude}; }
LaLo lf_position(const StreamPoint& p) { return {p.lat, p.lon}; }
double lf_metres(LaLo a, LaLo b) { return gf_distanceNm(a, b) * metresPerNm; }


// a - b brought into [-pi, pi], in degrees.
double lf_turnDeg(double a, double b) { return std::remainder(a - b, fullCircle) * kDegreesPerRadian; }

std::optional<RunwayMatch> lf_runwayStartAt(LaLo position, double headingRad) {
    return findRunwayMatch(position, headingRad, true, runwayCrossFloorM);
}

RunwayEndKey lf_endKey(const RunwayMatch& m) {
    char text[96];
    const auto written = fmt::format_to_n(text, sizeof text, "{}:{}", m.key.view(), m.endName.view());
    return RunwayEndKey(std::string_view(text, std::min(written.size, sizeof text)));
}

// A runner-up that scores at most 20 more leaves open which runway (a
// parallel or crossing one) the aircraft is on.
bool lf_ambiguous(const RunwayMatch& m) {
    return !m.runnerUp.empty() && m.runnerUpScore - m.score <= kAmbiguousScore;
}

// The flight leaves from the current airport.
bool lf_departure(const LiveAc& ac) {
    if (!ac.origin.isSet()) return false;
    const auto airport = gf_currentAirport();
    return airport && airport->iata == ac.origin;
}

void lf_clearHoldWatch(LineUpState& lu) {
    lu.holdKey.reset();
    lu.holdPositionSet = 0;
}

void lf_clearLineUp(LineUpState& lu) {
    lu.key.reset();
    lu.heading.reset();
    lu.pointDropped = 0;
    lu.noFuture = 0;
}

void lf_setLineUp(LineUpState& lu, const RunwayMatch& m, const RunwayEndKey& key, bool noFuture) {
    lu.key = key;
    lu.heading = m.headingDeg * degreesToRadians;
    lu.pointDropped = 0;
    lu.noFuture = noFuture ? 1 : 0;
    lf_clearHoldWatch(lu);
}

// Matched on another runway end: the line-up state of the old one goes.
void lf_keepOrDrop(LineUpState& lu, const RunwayEndKey& key) {
    if (lu.key && !(*lu.key == key)) lf_clearLineUp(lu);
}

bool lf_pathValid(const MotionState& m) {
    const bool turn = m.path.turn.status == GroundTurnStatus::None && m.path.turn.totalLength > 0.0;
    return turn || (std::isfinite(m.path.curve.startTime) && std::isfinite(m.path.curve.endTime));
}

void lf_turnTowardLineUp(LiveAc& ac) {
    ac.turnRateLimit = ac.turnRateRad;
    gf_stepHeadingToward(ac, *ac.motion.lineUp.heading, false);
}

// Measures the ground distance moved, closing a window every 2 s or more.
void lf_watchMovement(LiveAc& ac, std::int32_t now) {
    LineUpState& lu = ac.motion.lineUp;
    if (ac.onGround == 0) {
        lu.moveWatchStarted = 0;
        lu.moveWindowStartTick = now;
        lu.moveWindowMetres = 0.0;
        lu.lastWindowMetres = LineUpState::unknown;
        lu.lastWindowSeconds = LineUpState::unknown;
        return;
    }
    if (lu.moveWatchStarted == 0) {
        lu.movedFrom = lf_pose(ac);
        lu.moveWatchStarted = 1;
        lu.moveWindowStartTick = now;
        lu.moveWindowMetres = 0.0;
        return;
    }
    const double d = lf_metres(lu.movedFrom, lf_pose(ac));
    if (std::isfinite(d)) lu.moveWindowMetres += d;
    lu.movedFrom = lf_pose(ac);
    const std::int32_t elapsed = gf_ticksBetween(lu.moveWindowStartTick, now);
    if (elapsed >= kMoveWindowTicks) {
        lu.lastWindowMetres = lu.moveWindowMetres;
        lu.lastWindowSeconds = elapsed / 100.0;
        lu.moveWindowStartTick = now;
        lu.moveWindowMetres = 0.0;
    }
}

}  // namespace

bool isRunwayStartPosition(const RunwayMatch& m) {
    return !lf_ambiguous(m) && std::fabs(m.crossTrackM) <= kStartCrossTrackM &&
           m.fromThresholdM >= -kStartBeforeThresholdM && m.fromThresholdM <= m.startWindowM;
}

bool isRollingToTakeoff(const LiveAc& ac) {
    return ac.onGround != 0 &&
           (ac.phase == AcPhase::takeoff_roll || (ac.phase == AcPhase::taxi && ac.prevPhase != AcPhase::landing_roll));
}

bool heldOnSameRunway(LiveAc& ac, const RunwayEndKey& key, LaLo position) {
    LineUpState& lu = ac.motion.lineUp;
    const std::int32_t now = tickCount.load();
    if (lu.holdKey && *lu.holdKey == key && lu.holdPositionSet != 0 && lf_metres(position, lu.holdPosition) <= kStandingM)
        return gf_ticksBetween(lu.holdStartTick, now) >= kStandingTicks;
    lu.holdKey = key;
    lu.holdPosition = position;
    lu.holdPositionSet = 1;
    lu.holdStartTick = now;
    return false;
}

void checkRunwayOccupancy(LiveAc& ac) {
    auto& s = ac.stream;
    LineUpState& lu = ac.motion.lineUp;
    if (s.size() < 2) {
        lf_clearHoldWatch(lu);
        return;
    }
    // The point the aircraft is about to stop at: the next one, or a stop
    // close ahead.
    const bool nextStops = s[1].stationary != 0;
    std::size_t stop = 0;
    if (nextStops) {
        stop = 1;
    } else {
        const auto first = std::find_if(s.begin() + 1, s.end(), [](const StreamPoint& p) { return p.stationary != 0; });
        if (first != s.end() && lf_metres(lf_pose(ac), lf_position(*first)) <= 50.0)
            stop = static_cast<std::size_t>(first - s.begin());
    }
    if (!isRollingToTakeoff(ac) || stop == 0) {
        lf_clearLineUp(lu);
        lf_clearHoldWatch(lu);
        return;
    }
    const LaLo stopAt = lf_position(s[stop]);
    const auto match = lf_runwayStartAt(stopAt, ac.pose.heading);
    if (!match) {
        lf_clearLineUp(lu);
        lf_clearHoldWatch(lu);
        return;
    }
    const RunwayEndKey key = lf_endKey(*match);
    const bool entering = isRunwayStartPosition(*match) && match->headingDiffDeg >= 3.0 && match->headingDiffDeg <= 90.0;

    // Where the aircraft goes from its stop: along the runway (either way)
    // or across it.
    bool along = true;
    bool movesAfter = false;
    if (nextStops) {
        const auto moving = std::find_if(s.begin() + 2, s.end(), [&](const StreamPoint& p) {
            return p.stationary == 0 && lf_metres(stopAt, lf_position(p)) > 1.0;
        });
        if (moving != s.end()) {
            movesAfter = true;
            const double a = std::fabs(lf_turnDeg(gf_bearing(stopAt, lf_position(*moving)), match->headingDeg * degreesToRadians));
            along = a <= 30.0 || a >= 135.0;
        }
    }

    if (!entering) {
        lf_clearHoldWatch(lu);
        lf_keepOrDrop(lu, key);
    } else if (!nextStops) {
        lf_setLineUp(lu, *match, key, false);
    } else if (lu.key && *lu.key == key) {
        lf_clearHoldWatch(lu);
        if (along) lf_setLineUp(lu, *match, key, false);
    } else if (!movesAfter) {
        // A stop with nothing after it: only an aircraft that really stands
        // there lines up.
        if (heldOnSameRunway(ac, key, stopAt))
            lf_setLineUp(lu, *match, key, false);
        else
            lf_keepOrDrop(lu, key);
    } else {
        lf_clearHoldWatch(lu);
        if (along)
            lf_setLineUp(lu, *match, key, false);
        else
            lf_keepOrDrop(lu, key);
    }
}

void handleNoFutureOnRunway(LiveAc& ac) {
    const std::int32_t now = tickCount.load();
    LineUpState& lu = ac.motion.lineUp;
    lf_watchMovement(ac, now);
    if (!isRollingToTakeoff(ac)) {
        lf_clearLineUp(lu);
        lf_clearHoldWatch(lu);
        return;
    }
    if (ac.stream.size() >= 2) {
        if (ac.stream[1].stationary != 0)
            checkRunwayOccupancy(ac);
        else
            lf_clearHoldWatch(lu);
        return;
    }

    // No point ahead: does the aircraft stand at the start of a runway end?
    std::optional<double> speedKt;
    if (std::isfinite(lu.lastWindowMetres) && std::isfinite(lu.lastWindowSeconds) && lu.lastWindowSeconds > 0.0) {
        const double v = lu.lastWindowMetres / lu.lastWindowSeconds / kKnotsToMps;
        if (std::isfinite(v)) speedKt = v;
    }
    std::optional<RunwayMatch> match;
    if (speedKt && *speedKt <= kStandingKt) match = lf_runwayStartAt(lf_pose(ac), ac.pose.heading);
    const bool holds = match && isRunwayStartPosition(*match) && match->headingDiffDeg <= 90.0;
    if (!holds) {
        lf_clearHoldWatch(lu);
        if (lu.noFuture != 0) lf_clearLineUp(lu);
        return;
    }
    const RunwayEndKey key = lf_endKey(*match);
    if (!(lu.key && *lu.key == key) && !heldOnSameRunway(ac, key, lf_pose(ac))) {
        if (lu.noFuture != 0) lf_clearLineUp(lu);
        return;
    }
    if (match->headingDiffDeg < 3.0) {
        if (lu.noFuture != 0 && lu.heading) lf_turnTowardLineUp(ac);
        return;
    }
    lf_setLineUp(lu, *match, key, true);
    lf_turnTowardLineUp(ac);
}

void noteRunwayEntry(LiveAc& ac) {
    MotionState& m = ac.motion;
    if (m.startTurn == 0 || lf_pathValid(m) || ac.phase != AcPhase::taxi || ac.prevPhase == AcPhase::landing_roll ||
        ac.onGround == 0 || !lf_departure(ac))
        return;
    const auto match = lf_runwayStartAt(lf_pose(ac), ac.pose.heading);
    if (!match || !isRunwayStartPosition(*match)) return;
    // The runway heading lies between the heading and the leg: the aircraft
    // turns onto the runway, not across it.
    const double runwayHeading = match->headingDeg * degreesToRadians;
    const double p = lf_turnDeg(m.legBearing, ac.pose.heading);
    const double q = lf_turnDeg(runwayHeading, ac.pose.heading);
    const double r = lf_turnDeg(m.legBearing, runwayHeading);
    const bool large = std::fabs(p) >= 3.0 && std::fabs(q) >= 3.0 && std::fabs(r) >= 3.0;
    const bool sameSign = (p > 0.0 && q > 0.0 && r > 0.0) || (p < 0.0 && q < 0.0 && r < 0.0);
    if (!large || !sameSign || !(std::fabs(p) + 0.5 >= std::fabs(r) + std::fabs(q))) return;
    lf_setLineUp(m.lineUp, *match, lf_endKey(*match), false);
    m.startTurnAngleDeg = match->headingDiffDeg;
    m.startTurn = match->headingDiffDeg > 3.0 ? 1 : 0;
}

bool checkTowedAircraft(LiveAc& ac) {
    auto& s = ac.stream;
    LineUpState& lu = ac.motion.lineUp;
    // A roll the reports started while the aircraft still faced elsewhere
    // starts at a point it reaches taxiing, once it faces along the roll.
    if (ac.motion.towedRollPending != 0) {
        if (ac.phase != AcPhase::taxi || ac.onGround == 0) {
            ac.motion.towedRollPending = 0;
        } else if (startTowedTakeoffRoll(ac)) {
            lf_clearLineUp(lu);
            return false;
        }
    }
    // A next point where the front point stands is a stop still to be marked
    // as one: it lies neither behind the aircraft nor ahead of it.
    if (!lu.heading || ac.onGround == 0 || s.size() < 2 || s[1].stationary != 0 ||
        gf_isSamePlace(lf_position(s[0]), lf_position(s[1])))
        return false;
    const double lineUpHeading = *lu.heading;
    const LaLo next = lf_position(s[1]);
    const double d = lf_metres(lf_pose(ac), next);
    const double a = std::fabs(lf_turnDeg(gf_bearing(lf_pose(ac), next), lineUpHeading));
    // One point behind a lined-up aircraft is a late report of the way it
    // came: dropped once.
    if (lu.pointDropped == 0 && d <= 150.0 && a > 90.0) {
        s.erase(s.begin() + 1);
        lu.pointDropped = 1;
        return true;
    }
    const bool fromStand = ac.prevPhase == AcPhase::pushed_back || ac.prevPrevPhase == AcPhase::parked;
    const bool starts = lu.key && ac.phase == AcPhase::taxi && ac.onGround != 0 && (fromStand || lf_departure(ac)) &&
                        !(ac.arrivingHere != 0 && !fromStand) && d >= 5.0 && a <= 30.0;
    if (!starts) {
        lf_clearLineUp(lu);
        return false;
    }
    // An aircraft still turning onto the runway keeps its line-up: its roll
    // starts at a later point, once it faces along the runway.
    if (startTowedTakeoffRoll(ac, lineUpHeading)) lf_clearLineUp(lu);
    return false;
}

bool isTaxiPointOnRunway(LiveAc& ac, const StreamPoint& point) {
    auto& s = ac.stream;
    LineUpState& lu = ac.motion.lineUp;
    if (lu.hasHeldStop != 0) {
        // A second stop where the held one stood confirms it.
        if (point.stationary != 0 && lf_metres(lf_position(point), lf_position(lu.heldStop)) <= 1.0) {
            StreamPoint held = lu.heldStop;
            if (!s.empty() && held.playTick <= s.back().playTick) held.playTick = gf_tickPlus(s.back().playTick, 1);
            s.push_back(held);
        }
        lu.hasHeldStop = 0;
    }
    if (point.stationary == 0 || s.size() < 2 || s.back().stationary != 0 || ac.phase != AcPhase::taxi ||
        ac.onGround == 0 || ac.simState != AcSimState::active)
        return false;
    const auto match = lf_runwayStartAt(lf_position(point), ac.pose.heading);
    const StreamPoint& last = s.back();
    const StreamPoint& beforeLast = s[s.size() - 2];
    const double lastLeg = gf_isSamePlace(lf_position(beforeLast), lf_position(last))
                               ? ac.pose.heading
                               : gf_bearing(lf_position(beforeLast), lf_position(last));
    const double v = last.groundSpeedKt;
    if (!isRollingToTakeoff(ac) || !lf_departure(ac) || !match || !isRunwayStartPosition(*match) || !std::isfinite(v) ||
        v < 2.0 || v > 35.0 || std::fabs(lf_turnDeg(match->headingDeg * degreesToRadians, lastLeg)) > 15.0)
        return false;
    lu.heldStop = point;
    lu.hasHeldStop = 1;
    return true;
}
