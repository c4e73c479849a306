#include "motion/stream_checks.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <deque>
#include <string_view>
#include <utility>

#include <fmt/format.h>

#include "airports/stand_options.h"
#include "engine/engine_state.h"
#include "engine/geometry.h"
#include "engine/removal.h"
#include "engine/reports.h"
#include "engine/stands.h"
#include "foundation/geodesy.h"
#include "foundation/log.h"
#include "foundation/time.h"
#include "motion/flight_phases.h"
#include "motion/ground_movement.h"
#include "motion/ground_roll.h"
#include "motion/motion_math.h"
#include "motion/next_position.h"
#include "motion/pushback.h"
#include "motion/tick_math.h"
#include "simlink/sim_link.h"

namespace {

// Two points closer than this in latitude and longitude stand at one place.
// A point this near the last one (degrees each way) is the same position
// reported with a little noise.
constexpr double kNearDuplicateDeg = 0.00015;
// A report of an aircraft standing still (ground speed 0) this near the
// place it stands (m) is that place, reported with the scatter a parked
// aircraft's positions show (up to about 25 m either way: the place taken
// may itself be one of the scattered reports).
constexpr double kStandingScatterM = 50.0;
// A report this fast (kt) near a last point that moved as fast is a slow
// move, not noise: a tow or a creeping taxi reports a few metres at a time,
// and taken as copies of the last point it would stand until its reports
// were 10 to 17 m on and then jump there, or never go out and back when its
// reports turn round. After a standing point the copy stays: the aircraft
// waits there until the report's own time instead of setting off early at
// the report's speed.
constexpr double kReportedMovingKt = 1.0;
// A creep under kReportedMovingKt reached from at least this (kt) is where
// the aircraft braked to a stop, not a crawl slowing on.
constexpr double kBrakedIntoCreepKt = 5.0;
// A report within this many metres of another lies at the same place: the
// receiver repeating a position, not a move of its own.
constexpr double kRepeatedPlaceM = 0.5;
// A taxi standing this near (m) the point it reached stands on it.
constexpr double kRepeatHoldAtM = 2.0;
// A parking aircraft whose report lies this far from its stand (200 m) taxis
// on instead.
constexpr double kParkingGiveUpNm = 0.10799136069114472;
constexpr double kKnotsPerMps = 1.9438444924406046;

constexpr std::int32_t kTicksPerSecond = 100;
constexpr std::int32_t kParkedStepTicks = 60480000;  // the 7-day point of a parked aircraft

// The stand watch.
// A report slower than this (kt) within a stand's scatter of it stands.
constexpr double kStillKt = 1.0;
// Reports moving ahead off the stand at least this fast (kt) pull out.
constexpr double kPullOutLeastKt = 3.0;
// This many reports of a pushback are one.
constexpr std::size_t kPushbackReportsLeast = 3;
// Reports this near each other (m) stand at one place.
constexpr double kStillSpreadM = 4.0;
// This many reports standing at the stand show the scatter of its reports.
constexpr std::uint32_t kStandingReportsLeast = 3;
constexpr double kMovedM = 15.0;
constexpr double kGateAlignedDeg = 30.0;
constexpr double kOtherAlignedDeg = 60.0;
constexpr double kStepM = 3.0;
constexpr double kWatchNearStandM = 100.0;
constexpr double kWatchNearStandAfterParkingM = 200.0;
constexpr double kDepartureFarthestM = 262.0;
constexpr double kPullOutFarthestM = 300.0;
constexpr double kGateExtraM = 30.0;
constexpr double kWatchSpeedMps = 12.86111111111111;
constexpr double kWatchLeastM = 12.0;
constexpr double kWatchSeconds = 120.0;
constexpr double kWatchShrinkM = 5.0;
constexpr double kWatchFarRefM = 30.0;
constexpr double kWatchFarExcessM = 10.0;
constexpr std::int64_t kLightsOffAfterNs = 31'000'000'000;
constexpr std::array<std::uint32_t, 7> kBeaconOnly{0, 1, 0, 0, 0, 0, 0};
constexpr std::int32_t kDepartureStandOption = 2;
constexpr std::int32_t kFarFromStandOption = 3;

// Landing and takeoff.
constexpr double kLandingBehindM = 20.0;
constexpr double kLandingRollBehindM = 10.0;
constexpr double kTakeoffRollToleranceM = 10.0;
constexpr double kTakeoffToleranceM = 25.0;
constexpr double kFlyingBehindM = 50.0;
constexpr double kGoAroundClimbFt = 50.0;
constexpr double kGoAroundVerticalSpeed = 400.0;
constexpr double kSpeedKeptAboveKt = 40.0;

StandClock l_standClock = nullptr;

LaLo lf_position(const StreamPoint& p) { return {p.lat, p.lon}; }
LaLo lf_pose(const LiveAc& ac) { return {ac.pose.latitude, ac.pose.longitude}; }

bool lf_samePlace(const StreamPoint& a, const StreamPoint& b) { return gf_isSamePlace(lf_position(a), lf_position(b)); }

double lf_metres(LaLo a, LaLo b) { return gf_distanceNm(a, b) * metresPerNm; }

// Metres the point lies ahead of `from` along the aircraft's heading
// (negative behind).
double lf_along(const LiveAc& ac, LaLo from, const StreamPoint& p) {
    return gf_relativePosition(from, ac.pose.heading, lf_position(p)).along;
}

bool lf_active(const LiveAc& ac) { return ac.simState > AcSimState::adding2sim; }
bool lf_extrapolating(const LiveAc& ac) { return ac.extrapolationCount > 0; }
std::int32_t lf_now() { return tickCount.load(); }

bool lf_emptyStream(const LiveAc& ac, std::string_view check) {
    if (!ac.stream.empty()) return false;
    gf_logError(fmt::format("{} empty sz?", check));
    return true;
}

// The reports took over from dead reckoning again.
void lf_endExtrapolation(LiveAc& ac) { gf_endHolding(ac); }

// The point being moved to is reached at once, so that the new report is
// planned for on the next tick.
void lf_frontDueNow(LiveAc& ac) {
    if (!ac.stream.empty()) ac.stream.front().playTick = gf_tickPlus(lf_now(), 1);
}

// Drops the trailing point (and, from three points, the one before it) that
// the new point lies more than `toleranceM` behind; with a single point the
// new one is refused when it lies that far behind it. False when refused.
bool lf_dropPointsBehind(LiveAc& ac, const StreamPoint& p, double toleranceM) {
    auto& s = ac.stream;
    if (s.size() == 1) return !(lf_along(ac, lf_position(s.front()), p) < -toleranceM);
    const bool three = s.size() >= 3;
    if (lf_along(ac, lf_position(s.back()), p) < -toleranceM) {
        s.pop_back();
        if (three && lf_along(ac, lf_position(s.back()), p) < -toleranceM) s.pop_back();
    }
    return true;
}

double lf_departureDistanceM(const LiveAc& ac) {
    double m = 180.0;
    switch (ac.category) {
        case Light: m = 120.0; break;
        case TwoProps:
        case Bizjet: m = 140.0; break;
        case Heavy: m = 220.0; break;
        default: break;
    }
    return ac.isGate != 0 ? m + kGateExtraM : m;
}

// How long (ticks) an aircraft that just parked may stand before moving off
// counts as a departure rather than a tow; 0 for categories never towed.
std::int64_t lf_towWindowTicks(std::uint32_t category) {
    switch (category) {
        case Heavy: return 60LL * 60 * kTicksPerSecond;
        case Large: return 25LL * 60 * kTicksPerSecond;
        case TwoProps:
        case Bizjet: return 15LL * 60 * kTicksPerSecond;
        default: return 0;
    }
}

// A parked aircraft's report this far (m) from the report heard before it
// lies further off than any aircraft on the ground goes between two reports.
constexpr double kLoneFarReportM = 1852.0;

// A report far from the stand that lies out of reach of the report heard
// before it (on the stand, or another such report elsewhere): the feed's bad
// position (miles off), not where the aircraft went. Taken, it removed the
// parked aircraft from its stand, and the pushback its reports then showed
// was made again as a taxi from wherever they were, turned about on the
// spot. The next report tells: near it, the aircraft has left.
bool lf_loneFarReport(const LiveAc& ac, const StreamPoint& p) {
    const MotionState& m = ac.motion;
    return m.heardBeforeSet != 0 && lf_metres(m.heardBeforePosition, lf_position(p)) > kLoneFarReportM;
}

void lf_removeFarFromStand(LiveAc& ac) {
    try {
        gf_addRealStandOption(ac.standId, ac, kFarFromStandOption);
        removeAircraftFromSim(ac);
    } catch (...) {
        gf_reportTrafficException("checkAtStandSituations");
    }
}

// The last report kept for the pushback tells a walking pace: a move tail
// first that says the aircraft moves is a pushback (the scatter of a parked
// aircraft's positions comes without speed), and a stream that ends with it
// still shows it. The pushback waits parked until that report says it began;
// a report standing at the stand meanwhile undoes it.
bool lf_walkingPushback(const StandLeaving& l) {
    return !l.pushback.empty() && l.pushback.back().groundSpeedKt >= kStillKt;
}

// A report lies nearer the last report kept for the pushback than the place
// the aircraft stood at.
bool lf_standsWherePushed(const LiveAc& ac, const StreamPoint& p) {
    const StandLeaving& l = ac.motion.leaving;
    if (l.pushback.empty()) return false;
    const LaLo at = lf_position(p);
    return lf_metres(lf_position(l.pushback.back()), at) < lf_metres(ac.standPos, at);
}

// A report at no speed to speak of within a stand's scatter of it, not where
// the kept pushback took it: the aircraft still stands at its stand.
bool lf_standsAtStand(const LiveAc& ac, const StreamPoint& p, double d) {
    return !(p.groundSpeedKt >= kStillKt) && d <= kStandingScatterM && !lf_standsWherePushed(ac, p);
}

// What a report at no speed within a stand's scatter of it says.
enum class AtStand { stands, setAside, pushedBack };

// The scatter the reports at the stand have shown (m from it), once a few
// have; before, the most a parked aircraft's reports scatter from where it
// stands: its stand's size, or half what two of them may lie apart.
double lf_shownScatterM(const LiveAc& ac) {
    const StandLeaving& l = ac.motion.leaving;
    if (l.standingCount >= kStandingReportsLeast) return l.standingSpreadM;
    const Stand* stand = ac.standId > 0 ? gf_standById(ac.standId) : nullptr;
    const double standM = stand != nullptr && std::isfinite(stand->radius) ? stand->radius * metresPerNm : 0.0;
    return std::max(kStandingScatterM / 2.0, standM);
}

// Beyond that scatter a report at no speed is set aside: the next one tells
// whether it was scatter after all, or, standing with it, the place a
// pushback took the aircraft to while its reports paused. Taken for scatter,
// it would hold the pushback until the last report there fell due, far
// behind its reports. Taken for scatter before the scatter was shown, it
// also widened the scatter the later reports were judged by: a pushback 45 m
// long hidden in a pause of the reports stood for scatter, and the first
// report of the taxi after it drew a pushback of its own across the corner.
AtStand lf_standingReport(LiveAc& ac, const StreamPoint& p, double d) {
    StandLeaving& l = ac.motion.leaving;
    const double beyondM = lf_shownScatterM(ac) + kMovedM;
    if (!(d > beyondM)) {
        if (l.hasBeyond != 0) {
            l.standingSpreadM = std::max(l.standingSpreadM, lf_metres(ac.standPos, lf_position(l.beyond)));
            l.hasBeyond = 0;
        }
        return AtStand::stands;
    }
    if (l.hasBeyond != 0 && lf_metres(lf_position(l.beyond), lf_position(p)) < kStillSpreadM &&
        gf_keepUnseenPushback(ac, l.beyond, p))
        return AtStand::pushedBack;
    l.beyond = p;
    l.hasBeyond = 1;
    return AtStand::setAside;
}

// The kept pushback took the aircraft off its stand: beyond a stand's
// scatter of it (the reports of the pushback itself may be missing), or a
// move off it away with a report that walked it there tail first. A
// pushback of 45 m, seen walking off and then standing at its end, was
// taken for neither and the aircraft stood on its stand for good.
bool lf_pushedOffStand(const LiveAc& ac) {
    const StandLeaving& l = ac.motion.leaving;
    if (l.pushback.empty()) return false;
    const double endM = lf_metres(ac.standPos, lf_position(l.pushback.back()));
    if (endM > kStandingScatterM) return true;
    return endM >= kMovedM && std::any_of(l.pushback.begin(), l.pushback.end(),
                                          [](const StreamPoint& q) { return q.groundSpeedKt >= kStillKt; });
}

// Two reports one after the other stand where a pushback took the aircraft.
bool lf_standsPushedBack(const LiveAc& ac, const StreamPoint& p) {
    const StandLeaving& l = ac.motion.leaving;
    if (l.after.empty() || !lf_pushedOffStand(ac)) return false;
    return !(p.groundSpeedKt >= kStillKt) && lf_metres(lf_position(l.pushback.back()), lf_position(p)) < kStillSpreadM;
}

// The reports kept pushed the aircraft back off its stand (those of the
// pushback itself may be missing in a pause: one report stands where it
// ended) and now drive off from there nose first: it was pushed back and
// taxis. Left to the watches, the taxi passing back by the stand read as a
// return to it, the pushback kept was dropped, and the aircraft was pushed
// straight back from its stand, far behind its reports and off their way.
bool lf_drivesOffAfterPushback(const LiveAc& ac) {
    return ac.motion.leaving.pushbackOver != 0 && lf_pushedOffStand(ac);
}

// The departure watch runs: true when the point starts the departure.
bool lf_watchDeparture(LiveAc& ac, StreamPoint& p, double d, bool moved, bool aligned) {
    MotionState& m = ac.motion;
    const double seconds = double(std::int64_t(lf_now()) - m.standWatchTick) / kTicksPerSecond;
    const bool inWindow = seconds >= 0.0 && seconds <= kWatchSeconds &&
                          lf_metres(lf_position(p), lf_position(m.standWatchPoint)) <=
                              std::max(seconds * kWatchSpeedMps, kWatchLeastM) &&
                          d <= kDepartureFarthestM && d >= m.standRefDistanceM - kWatchShrinkM &&
                          d >= m.standLastDistanceM - kWatchShrinkM;
    if (!inWindow) {
        m.departureWatch = 0;
        m.standRefDistanceM = d;
        m.standLastDistanceM = d;
        return false;
    }
    const double excess = d - m.standRefDistanceM;
    if (excess >= kStepM && ((moved && !aligned) || (m.standRefDistanceM >= kWatchFarRefM && excess >= kWatchFarExcessM))) {
        m.departureWatch = 0;
        markDeparture(ac, p, false);
        return true;
    }
    if (m.standWatchCount == 0) {
        m.standRefDistanceM = d;
        m.standWatchPoint = p;
        m.standWatchTick = lf_now();
        ++m.standWatchCount;
    }
    return false;
}

// Reports near the stand while no departure is watched: the aircraft is
// still parked. Reports moving away step by step switch its lights to the
// beacon and may start the departure watch.
bool lf_watchNearStand(LiveAc& ac, StreamPoint& p, double d, bool moved, bool aligned) {
    MotionState& m = ac.motion;
    ac.phaseStartClock = gf_systemClock100ns();
    if (m.standDistancesSet == 0) {
        m.standRefDistanceM = d;
        m.standLastDistanceM = d;
        m.standDistancesSet = 1;
        return false;
    }
    if (d >= m.standLastDistanceM + kStepM) {
        const bool parkedLongEnough =
            m.standArrivalClockNs != 0 && gf_standClockNs() - m.standArrivalClockNs >= kLightsOffAfterNs;
        // Before its object exists (reports it was created with) there is
        // nothing to light.
        if (ac.objectId != 0 && (ac.prevPhase == AcPhase::birth || parkedLongEnough))
            gf_setAiLights(ac.objectId, kBeaconOnly);
        m.standLastDistanceM = d;
        ++m.standMoveCount;
        const bool movedOff =
            m.standMoveCount >= 2 && d > m.standRefDistanceM + ac.wingRadiusNm * metresPerNm / 2.0 && moved;
        if (movedOff && !aligned) {
            m.standRefDistanceM = d;
            m.standWatchPoint = p;
            m.standWatchTick = lf_now();
            m.standWatchCount = 0;
            m.departureWatch = 1;
        } else if (movedOff && p.groundSpeedKt >= kPullOutLeastKt) {
            // Ahead of the stand at a taxi's pace, move after move: it pulls
            // out now, not once it is a few hundred metres away.
            markDeparture(ac, p, true);
            return true;
        }
    } else if (d <= m.standLastDistanceM - kStepM) {
        m.standRefDistanceM = d;
        m.standLastDistanceM = d;
        m.standMoveCount = 0;
        // Back toward the stand: what was kept since it stood is no pushback.
        gf_restartLeavingReports(ac);
    }
    return false;
}

}  // namespace


std::int64_t gf_standClockNs() {
    if (l_standClock != nullptr) return l_standClock();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void gf_setStandClock(StandClock clock) { l_standClock = clock; }

namespace {

// A report of an aircraft on the ground at no speed within a stand's scatter
// of a last point where it stands (reported at no speed, or held): the
// scatter of a stationary position, or where braking to rest carried it a
// little past the report, not a move to make. A speed no aircraft goes on
// the ground (a bad report of 1e6 kt) tells nothing and counts as none:
// taken as a move, a parked aircraft shown after such a report drove to the
// scattered position.
bool lf_scatterOfStanding(const StreamPoint& p, const StreamPoint& last) {
    const bool noSpeed = p.groundSpeedKt == 0.0 || !(p.groundSpeedKt <= kMostGroundKt);
    return p.airborne == 0 && last.airborne == 0 && noSpeed &&
           (last.stationary != 0 || last.groundSpeedKt == 0.0) &&
           lf_metres(lf_position(p), lf_position(last)) <= kStandingScatterM;
}

// The report becomes a copy of the last point: the aircraft stands where the
// last point stands until it must leave to be where the report has it, at
// the speed the report gives. A report of a standing aircraft holds it as
// long as the report says (a copy due with the last point would end the
// hold there and then, and the aircraft would leave before its reports do),
// a slow move is held no longer than the last point.
void lf_holdAtLast(StreamPoint& p, const StreamPoint& last) {
    const double mps = std::isfinite(p.groundSpeedKt) && p.groundSpeedKt > 0.0 ? p.groundSpeedKt / kKnotsPerMps : 0.0;
    std::int64_t due = p.playTick;
    if (mps > 0.0) due -= std::llround(lf_metres(lf_position(p), lf_position(last)) / mps * kTicksPerSecond);
    const LaLo reported = lf_position(p);
    p = last;
    p.playTick = gf_tickPlus(0, std::max<std::int64_t>(due, last.playTick));
    p.stationary = 1;
    p.heldCopy = 1;
    p.reportedLat = reported.lat;
    p.reportedLon = reported.lon;
    p.groundSpeedKt = 0.0;
}

// Whether an aircraft not yet shown is reported moving at the stream's point
// `q` with no leg leading to it. It has no nose of its own yet, and the track
// of such a report may be the way it goes or, pushed back, its nose: a report
// either way along it is no scatter behind it. Judged by the unset nose, the
// report of a pushback's end 13 m on along the push became a copy of the
// point before, and the aircraft was created there and stood while its
// reports had it go on; judged by the track alone, a push whose reports gave
// the nose became copies of where it started.
bool lf_unshownMovesAt(const LiveAc& ac, const StreamPoint& q) {
    return ac.phase == AcPhase::birth && q.airborne == 0 && q.groundSpeedKt >= kReportedMovingKt &&
           q.groundSpeedKt <= kMostGroundKt;
}

// A ground report of a move: not standing where the one before stood, at a
// speed that says it moves.
bool lf_movesOnGround(const StreamPoint& q) {
    return q.airborne == 0 && q.stationary == 0 && q.groundSpeedKt >= kReportedMovingKt;
}

// Whether `p` lies onward of the stream's point `i`: within a right angle of
// the way the aircraft came to it (the leg from the point before, or its nose
// where there is none).
bool lf_liesOnwardOf(const LiveAc& ac, std::size_t i, const StreamPoint& p) {
    const auto& s = ac.stream;
    const bool leg = i >= 1 && !lf_samePlace(s[i - 1], s[i]);
    if (!leg && lf_unshownMovesAt(ac, s[i])) return true;
    const double way = leg ? gf_bearing(lf_position(s[i - 1]), lf_position(s[i])) : ac.pose.heading;
    return std::fabs(std::remainder(gf_bearing(lf_position(s[i]), lf_position(p)) - way, fullCircle)) <= pi / 2.0;
}

// Whether the report `p` after a taxi's hold made of reports at no speed
// repeating a moving one (the stream's points from `first` on) says the
// aircraft did not stand there: at speed, it could not be at `p`, due
// `lagTicks` later than it says, leaving the hold when it falls due; at
// rest, it stands further on than a copy of the hold would lie.
bool lf_repeatHoldIsStale(const LiveAc& ac, std::size_t first, const StreamPoint& p, std::int32_t lagTicks) {
    const double kt = p.groundSpeedKt;
    const StreamPoint& hold = ac.stream[first];
    if (!(kt >= kReportedMovingKt))
        return kt >= 0.0 && p.airborne == 0 && !gf_isNearCopy(p, hold) && lf_liesOnwardOf(ac, first, p);
    if (!(kt <= kMostGroundKt)) return false;
    StreamPoint due = p;
    due.playTick = gf_tickPlus(p.playTick, lagTicks);
    return gf_mustLeaveBy(hold, due) < std::int64_t{hold.playTick};
}

// A taxi's hold made of reports at no speed where a moving report was, one
// or a run of them repeating that place: the reports alone cannot tell a
// stop from the receiver repeating a position it had while the aircraft went
// on (a run of them while it turned a corner, the track turning from one to
// the next). The report after them tells: when the aircraft, standing there
// from the first of them, could not be at that report by its time at the
// speed it gives, it did not stand there. Kept, the hold stood the aircraft
// there (and turned it on the spot after) until it could no longer catch up
// with its reports; dropped, it sets off for the report at once. A hold the
// next report leaves time for stays. A next report at rest further on, past
// where a copy of the hold would lie, tells the same: the aircraft went on
// and stopped there (taken for the scatter of the hold, a tow's report of it
// standing on its stand 43 m on along its lane became a copy of the hold,
// and the tow stayed on the lane).
void lf_dropStaleRepeatHold(LiveAc& ac, const StreamPoint& p) {
    const std::uint8_t marked = std::exchange(ac.motion.repeatHold, 0);
    auto& s = ac.stream;
    if (marked == 0 || ac.phase != AcPhase::taxi || p.airborne != 0 || s.empty()) return;
    // The hold's run: the points standing where the last one stands, back
    // to the moving report it repeats. Known by the tick it came with, a
    // hold the leg planning had since retimed 2 s later (the stream's lag)
    // was no longer found, and a taxi at 20 kt stood 17 s on the place its
    // reports repeated while they went on 168 m, and came 10 s late to them.
    std::size_t first = s.size();
    while (first > 0 && s[first - 1].stationary != 0 && lf_samePlace(s[first - 1], s.back())) --first;
    if (first == s.size()) return;
    const StreamPoint hold = s[first];
    // One more at no speed where it holds: the run goes on, and the report
    // after it tells whether the aircraft stood there.
    if (p.groundSpeedKt == 0.0 && p.airborne == 0 && lf_samePlace(p, s.back())) {
        ac.motion.repeatHold = marked;
        return;
    }
    // The report falls due as late as the stream runs, as the hold does.
    if (!lf_repeatHoldIsStale(ac, first, p, std::max(0, ac.motion.streamLagTicks))) return;
    s.erase(s.begin() + static_cast<std::ptrdiff_t>(std::max<std::size_t>(first, 1)), s.end());
    if (first >= 1) return;
    // The point reached: standing on it, the aircraft leaves now.
    if (lf_active(ac) && ac.onGround != 0 && lf_metres(lf_pose(ac), lf_position(hold)) <= kRepeatHoldAtM)
        lf_frontDueNow(ac);
}

// On the ground the dead reckoning ran on along its course while the
// reports paused: a report at rest on a stand a little way behind the
// aircraft on that course says it stopped there, short of where the guess
// took it (or is the receiver repeating the last position it gave). Driven
// to, it turned the aircraft round on the spot and back the few metres, and
// the stand's parking began with the nose the wrong way. Where braking from
// its speed brings it to rest on that stand too, it comes to rest there
// instead: on the stand is where the report has it. Off that stand (a tow
// pausing on its lane) where it stops matters to the drive that follows,
// and it goes back to the report.
void lf_stopOnInsteadOfBack(const LiveAc& ac, StreamPoint& p) {
    const bool atRest = p.stationary != 0 || !(p.groundSpeedKt >= kReportedMovingKt);
    if (p.airborne != 0 || !atRest) return;
    const RelativePosition rel = gf_relativePosition(lf_pose(ac), ac.pose.heading, lf_position(p));
    const bool behind = rel.along < 0.0 && std::fabs(rel.across) <= -rel.along && -rel.along <= kStandingScatterM;
    if (!behind) return;
    const LaLo stop = gf_taxiBrakingStop(ac, gf_taxiBraking(gf_rollingStepM(ac)));
    const bool onItsStand = std::any_of(g_standTable.begin(), g_standTable.end(), [&](const Stand& stand) {
        const LaLo at{stand.latitude, stand.longitude};
        return gf_distanceNm(lf_position(p), at) <= stand.radius && gf_distanceNm(stop, at) <= stand.radius;
    });
    if (!onItsStand) return;
    p.lat = stop.lat;
    p.lon = stop.lon;
    p.groundSpeedKt = 0.0;
}

// A ground report at no speed at the very place of the report heard before
// it, which moved: the receiver repeating the position it last gave, not the
// aircraft stopping there. Arriving while the dead reckoning ran on past that
// place, it told nothing new; taken as a stop the aircraft turned round on
// the spot and drove back to it, then could not catch up with the report
// after it, tens of metres on. Dropped, the dead reckoning goes on and the
// next report decides where the aircraft goes (one that still stands there
// is no repeat of a moving report, and is taken).
bool lf_repeatsMovingReport(const LiveAc& ac, const StreamPoint& p) {
    const MotionState& m = ac.motion;
    return p.airborne == 0 && p.groundSpeedKt == 0.0 && m.heardBeforeSet != 0 &&
           m.heardBeforeKt >= kReportedMovingKt &&
           lf_metres(m.heardBeforePosition, lf_position(p)) <= kRepeatedPlaceM;
}

// A taxi whose stream ran dry, held at rest on the very place of a report at
// no speed: no dead reckoning ran on past that place, so the report is no
// repeat left behind but how long the aircraft stands there. Dropped as a
// repeat of the moving report before the stop, a tow that crept 2 m at
// 1.9 kt and stood, its reports there pausing for 36 s, set off as soon as
// the report 97 m on came, 22 s before its last report at rest there fell
// due, and was 66 m on by then.
bool lf_heldAtRestThere(const LiveAc& ac, const StreamPoint& p) {
    return ac.phase == AcPhase::taxi && ac.motion.holding != 0 && !ac.stream.empty() &&
           ac.stream.back().stationary != 0 && lf_metres(lf_pose(ac), lf_position(p)) <= kRepeatedPlaceM;
}

// A flying report at the very place of the report heard just before it: no
// aeroplane holds its place in the air, so the receiver gave that position
// again (with whatever speed, a bad one too) while the aircraft flew on. The
// report it repeats may never have gone into the stream (one on the straight
// line adds nothing), so the stream's last point does not give it away.
// Taken in on final, an 8 s old position became a point 390 m on from the
// last one, due 13 s after it: the approach slowed to 102 kt for it, and the
// next report, 1 km on 6 s later, was held as out of the stale point's reach
// and lost, so that the aircraft came 6 s late to its reports. A helicopter
// hovers, and is taken at its word. Judged only for the report last heard
// (a held report played later is not the latest).
bool lf_repeatsFlyingReport(const LiveAc& ac, const StreamPoint& p) {
    const MotionState& m = ac.motion;
    return ac.category != Rotorcraft && p.airborne != 0 && m.heardBeforeSet != 0 && m.lastHeardSet != 0 &&
           lf_metres(m.lastHeardPosition, lf_position(p)) <= kRepeatedPlaceM &&
           lf_metres(m.heardBeforePosition, lf_position(p)) <= kRepeatedPlaceM;
}

// The pace a taxi braked from into the stream's point `i`: the fastest of
// the run of ground points slowing into it, each moving at least as fast as
// the one after.
double lf_brakedFromKt(const std::deque<StreamPoint>& s, std::size_t i) {
    double kt = s[i].groundSpeedKt;
    while (i > 0) {
        const StreamPoint& q = s[--i];
        if (q.airborne != 0 || q.stationary != 0 || !(q.groundSpeedKt >= kt) || !(q.groundSpeedKt <= kMostGroundKt))
            break;
        kt = q.groundSpeedKt;
    }
    return kt;
}

// A taxi that rolled into a stop (the point before the stop's run at that
// place moving) and is reported moving on at a ground pace onward of the way
// it came sets off again: copied onto the stop as scatter, a tow whose
// reports went on at 4 kt a few metres on stood 14 s until one lay beyond the
// near copy's box. So does one whose last point is a creep under a knot that
// it braked into from a taxi's pace: that is where it stopped (an arrival
// reported at 0.9 kt after 11 kt, then 10 m on at 2.6 kt, was copied back
// onto the creep and stood there for good). That pace is the one the run of
// reports braking into the creep began at: by the report before the creep
// alone, 4.7 kt on the way down from 15 kt, an arrival's reports turning on
// from the creep at 2.9 and 4.4 kt were copied back onto it, and it stood
// there 15 s until it had to leave for the report 200 m on. After a crawl a
// creep is the crawl slowing on (a pivot round a tight corner), and a report
// a metre or so on stays its scatter. Onward of a creep is also within a
// right angle of the way the creep itself was reported going: braked into at
// a corner, it already turns with it. By the leg into it alone, an arrival
// that crept at 0.9 kt into a right-angle corner, reported going 71 degrees
// off that leg, had its next report 9 m on at 5.8 kt, a fifth of a degree
// past a right angle of the leg, copied back onto the creep, and stood there
// for good.
bool lf_setsOffFromStop(const LiveAc& ac, const StreamPoint& p) {
    const auto& s = ac.stream;
    if (ac.phase != AcPhase::taxi || !(p.groundSpeedKt <= kMostGroundKt)) return false;
    std::size_t first = s.size() - 1;
    const StreamPoint& last = s[first];
    if (first > 0 && last.airborne == 0 && last.stationary == 0 && last.groundSpeedKt > 0.0 &&
        last.groundSpeedKt < kReportedMovingKt) {
        const StreamPoint& before = s[first - 1];
        const double offTrack = std::remainder(
            gf_bearing(lf_position(last), lf_position(p)) - last.trackDeg * degreesToRadians, fullCircle);
        const bool alongCreep = std::fabs(offTrack) <= pi / 2.0;
        return before.airborne == 0 && before.stationary == 0 && before.groundSpeedKt <= kMostGroundKt &&
               lf_brakedFromKt(s, first - 1) >= kBrakedIntoCreepKt && (lf_liesOnwardOf(ac, first, p) || alongCreep);
    }
    const auto atRest = [](const StreamPoint& q) { return q.stationary != 0 || q.groundSpeedKt == 0.0; };
    if (!atRest(last)) return false;
    while (first > 0 && atRest(s[first - 1]) && lf_samePlace(s[first - 1], s[first])) --first;
    if (first == 0) return false;
    return lf_movesOnGround(s[first - 1]) && lf_liesOnwardOf(ac, first, p);
}

// A landing roll come to rest whose stream is a hold where it stands (the
// reports at no speed there, the feed repeating its last position while
// the aircraft rolled on, or its dead reckoning braking it to rest while
// the reports paused): a report moving at a ground pace that standing
// there until the hold's time leaves no time to reach tells that the
// aircraft did not stand there that long. Held, it stood until the last
// copy and then fell 40 s behind the report 200 m on and every one after
// it; held on its dead-reckoned stop, a CRJ9 stood out the 3 s copy after
// the report 680 m on came and passed that report 12.9 s late. The hold
// ends now, and the leg to the report takes its time; a hold the report
// leaves time for stays (the taxi judges its holds the same way).
void lf_leaveStaleRollHold(LiveAc& ac, const StreamPoint& p) {
    auto& s = ac.stream;
    const double kt = p.groundSpeedKt;
    if (ac.phase != AcPhase::landing_roll || !lf_active(ac) || ac.onGround == 0 || p.airborne != 0 ||
        !(kt >= kReportedMovingKt) || !(kt <= kMostGroundKt))
        return;
    const StreamPoint& hold = s.front();
    const bool allHold = std::all_of(s.begin(), s.end(), [&](const StreamPoint& q) {
        return q.airborne == 0 && (q.stationary != 0 || q.groundSpeedKt == 0.0) && lf_samePlace(q, hold);
    });
    if (!allHold || lf_metres(lf_pose(ac), lf_position(hold)) > kRepeatHoldAtM) return;
    if (gf_mustLeaveBy(hold, p) >= std::int64_t{hold.playTick}) return;
    s.erase(s.begin() + 1, s.end());
    lf_frontDueNow(ac);
}

// Reports this far apart (ticks) tell a pace of their own: the play ticks
// of reports a few seconds apart may lie a second further apart or closer
// than their reported times, a share of the time between them that makes
// the pace (and the end speed read from it) a guess.
constexpr std::int32_t kRollPaceLeastTicks = 1000;

// A report on the landing (or its roll) whose ground speed no roll goes (a
// bad report: 1e6 kt) takes the speed its position tells: where an even
// change from the last point's speed over the distance between them, in the
// time between them, ends (between half and all of that pace, or the last
// speed when the roll is faster); from reports closer in time, the last
// point's speed, as the touchdown keeps it. Kept at the last point's speed
// over a pause of 19 s, a roll from 80 kt ran the 500 m to it at 80 kt where
// the positions slowed to 50, 8 s early, and then stopped at 28 kt/s for the
// report 77 m on at 10 kt; kept as it came, the roll set off from the point
// at 176 kt.
void lf_believableRollSpeed(const LiveAc& ac, StreamPoint& p) {
    if (std::isfinite(p.groundSpeedKt) && p.groundSpeedKt <= kFastestRollKt) return;
    const StreamPoint& last = ac.stream.back();
    const double lastKt = last.groundSpeedKt;
    const bool lastBelieved = std::isfinite(lastKt) && lastKt >= 0.0 && lastKt <= kFastestRollKt;
    const std::int32_t ticks = gf_ticksBetween(last.playTick, p.playTick);
    const double paceKt = ticks >= kRollPaceLeastTicks
                              ? gf_speedKtOver(gf_distanceNm(lf_position(last), lf_position(p)), ticks)
                              : MotionState::unknown;
    if (!std::isfinite(paceKt) || !(paceKt > 0.0) || paceKt > kFastestRollKt) {
        if (lastBelieved) p.groundSpeedKt = lastKt;
        return;
    }
    p.groundSpeedKt = lastBelieved ? std::clamp(2.0 * paceKt - lastKt, paceKt / 2.0, std::max(paceKt, lastKt)) : paceKt;
}

}  // namespace

bool gf_isNearCopy(const StreamPoint& point, const StreamPoint& place) {
    return std::fabs(point.lat - place.lat) < kNearDuplicateDeg &&
           std::fabs(gf_wrapLongitudeDifference(point.lon - place.lon)) < kNearDuplicateDeg;
}

LaLo gf_reportedPosition(const StreamPoint& point) {
    return point.heldCopy != 0 ? LaLo{point.reportedLat, point.reportedLon} : lf_position(point);
}

bool lf_acceptNewStreamPoint(LiveAc& ac, StreamPoint& p) {
    if (ac.stream.empty()) return true;
    if (ac.category != Rotorcraft) lf_dropStaleRepeatHold(ac, p);
    const StreamPoint& last = ac.stream.back();
    // A hold made of this report alone, after a moving one.
    const bool afterMoving = ac.phase == AcPhase::taxi && lf_movesOnGround(last);
    if (lf_samePlace(p, last)) p.stationary = 1;
    if (ac.category == Rotorcraft) {
        // In the air a report where a helicopter was is a hover; on the
        // ground it stands as any aircraft does.
        const bool flying = p.airborne != 0 || (lf_active(ac) && ac.onGround == 0);
        if (p.stationary == 0 && !flying && lf_scatterOfStanding(p, last)) lf_holdAtLast(p, last);
        return true;
    }
    const bool airborne = p.airborne != 0 || (lf_active(ac) && ac.onGround == 0);
    if (airborne && lf_repeatsFlyingReport(ac, p)) return false;
    const bool takeoffRoll = ac.phase == AcPhase::takeoff_roll;
    if (p.stationary != 0) {
        if (airborne) return false;
        if (takeoffRoll && p.groundSpeedKt > 0.0 && last.groundSpeedKt >= 30.0) return false;
        if (afterMoving) ac.motion.repeatHold = 1;
        p.groundSpeedKt = 0.0;
        return true;
    }
    // Onward only: a slow report behind the way the aircraft goes (its last
    // leg, or its nose when it has none) is scatter or a push, not a move.
    const auto onward = [&] { return lf_liesOnwardOf(ac, ac.stream.size() - 1, p); };
    // Standing, with a report that says so but lies a stand's size away:
    // the scatter of a stationary position, not a move. Not where dead
    // reckoning brought a taxi last heard moving to rest while its reports
    // paused: that rest is a guess, and a report at rest onward of it, past
    // a near copy, is where the aircraft stopped (taken for scatter of the
    // guess, a tow stayed on its lane 23 m short of its stand for good, each
    // report of it on the stand copied onto the guess).
    const MotionState& heard = ac.motion;
    const bool guessedRest = ac.phase == AcPhase::taxi && lf_extrapolating(ac) && heard.heardBeforeSet != 0 &&
                             heard.heardBeforeKt >= kReportedMovingKt && heard.heardBeforeKt <= kMostGroundKt;
    const bool scatterOfStanding = !airborne && lf_scatterOfStanding(p, last) &&
                                   !(guessedRest && !gf_isNearCopy(p, last) && onward());
    const bool saysMoving = std::isfinite(p.groundSpeedKt) && p.groundSpeedKt >= kReportedMovingKt;
    // While the aircraft is not yet shown its reports are kept as they came:
    // the stand watch it is created with reads its pushback or pull-out from
    // them, and copied onto the first report as holds, the reports of a
    // pushback that has begun would show it standing at its stand (seen late,
    // or never when the stream ends during the pushback). Reports at no speed
    // still stand where it stands.
    const bool buffered = ac.phase == AcPhase::birth;
    const bool reportsMoving =
        !airborne && !takeoffRoll && saysMoving &&
        (buffered || (last.stationary == 0 && last.groundSpeedKt >= kReportedMovingKt && onward()) ||
         lf_setsOffFromStop(ac, p));
    // A moving aircraft reported at no speed, or creeping to a stop, further
    // on where it goes has stopped there: a copy of the last point would stop
    // it metres short (up to the near-duplicate's 11-17 m), and every report
    // of it standing or setting off again near there would be copied too, so
    // that it sat until its reports left that box and ran tens of seconds
    // behind them.
    const bool stopsOnward = !airborne && !takeoffRoll && last.stationary == 0 &&
                             last.groundSpeedKt >= kReportedMovingKt && p.groundSpeedKt < kReportedMovingKt && onward();
    if (stopsOnward) return true;
    if (scatterOfStanding || (!reportsMoving && gf_isNearCopy(p, last))) {
        if (airborne || (takeoffRoll && p.groundSpeedKt > 0.0 && last.groundSpeedKt >= 50.0)) return false;
        lf_holdAtLast(p, last);
        if (afterMoving) ac.motion.repeatHold = 1;
        return true;
    }
    return !(p.groundSpeedKt == 0.0 && (takeoffRoll || p.airborne != 0) && last.groundSpeedKt >= 50.0);
}

void gf_judgeBufferedRepeatHolds(LiveAc& ac) {
    auto& s = ac.stream;
    for (std::size_t first = 1; first < s.size(); ++first) {
        const StreamPoint& before = s[first - 1];
        if (!lf_movesOnGround(before) || s[first].stationary == 0 || !lf_samePlace(s[first], before)) continue;
        std::size_t end = first;
        while (end < s.size() && s[end].stationary != 0 && lf_samePlace(s[end], s[first])) ++end;
        // The stream ends in it: the next report to come tells.
        if (end == s.size()) {
            ac.motion.repeatHold = 1;
            return;
        }
        // The report after it came with it, both as late as the stream.
        if (lf_repeatHoldIsStale(ac, first, s[end], 0))
            s.erase(s.begin() + static_cast<std::ptrdiff_t>(first), s.begin() + static_cast<std::ptrdiff_t>(end));
    }
}

namespace {
// A report further off to the side of the dead-reckoned course than behind
// the aircraft on it: the aircraft turned while its reports paused.
bool lf_turnedWhileReckoned(const RelativePosition& rel) { return std::fabs(rel.across) > -rel.along; }
}  // namespace

bool checkExtendingSituations(LiveAc& ac, StreamPoint& p) {
    switch (ac.phase) {
        // Before its object exists the stand watch sees the report too (a
        // pushback that has begun keeps it), but the stream takes none.
        case AcPhase::parked: return checkAtStandSituations(ac, p) && lf_active(ac);
        case AcPhase::parking:
            if (!lf_active(ac) || !(gf_distanceNm(lf_position(p), ac.standPos) > kParkingGiveUpNm)) return false;
            setFlightPhase(ac, AcPhase::taxi);
            p.stationary = 0;
            return true;
        case AcPhase::pushing_back:
            // The pushback follows its reports: each report plans its leg
            // afresh toward the next one; the reports after it wait for its
            // end.
            gf_keepLeavingReport(ac, p);
            gf_followPushback(ac);
            return false;
        case AcPhase::pushed_back: return checkPushedBackPoint(ac, p);
        case AcPhase::landing:
        case AcPhase::landing_roll: return checkNewPosDuringLanding(ac, p);
        case AcPhase::takeoff_roll:
        case AcPhase::takeoff: return checkNewPosDuringTakeoff(ac, p);
        default: break;
    }
    if (lf_extrapolating(ac) && ac.onGround != 0 && lf_repeatsMovingReport(ac, p) && !lf_heldAtRestThere(ac, p))
        return false;
    if (!lf_acceptNewStreamPoint(ac, p)) return false;
    if (!lf_extrapolating(ac)) return true;
    if (lf_emptyStream(ac, "checkExtendingSituations")) return false;
    if (ac.onGround == 0) {
        // The dead reckoning ran ahead of the reports along its course: a
        // report it has flown past would turn the aircraft round in the air.
        // One further off to the side of that course than behind it shows
        // that the aircraft turned while its reports paused (a holding turn):
        // refused, every later report of the turn lay behind too and the dead
        // reckoning flew on away from them until it ran out.
        const RelativePosition rel = gf_relativePosition(lf_pose(ac), ac.pose.heading, lf_position(p));
        const bool flownPast = rel.along < -kFlyingBehindM && !lf_turnedWhileReckoned(rel);
        if (rel.distanceM > 0.1 && flownPast) return false;
    } else {
        lf_stopOnInsteadOfBack(ac, p);
    }
    lf_endExtrapolation(ac);
    ac.motion.takeoffSpeedUp = 0;
    // Braking to rest after the stream ran dry: the report takes over from
    // where and how fast the aircraft is (one that it stands there brakes it
    // to rest from there).
    gf_cutBrakeToRest(ac);
    lf_frontDueNow(ac);
    return true;
}

bool checkNewPosDuringLanding(LiveAc& ac, StreamPoint& p) {
    if (lf_emptyStream(ac, "checkNewPosDuringLanding")) return false;
    MotionState& m = ac.motion;
    if (m.touchAndGoResult != 0) {
        if (p.airborne != 0) {
            const bool climbing = p.altitudeFt >= m.touchAndGoAltitudeFt + kGoAroundClimbFt &&
                                  m.touchAndGoVerticalSpeed >= kGoAroundVerticalSpeed &&
                                  p.verticalSpeed >= kGoAroundVerticalSpeed;
            if (climbing) m.touchAndGoResult = 0;
            m.touchAndGoAltitudeFt = p.altitudeFt;
            m.touchAndGoVerticalSpeed = p.verticalSpeed;
            // Until the climb shows, an airborne report after the touchdown
            // is taken as the roll going on.
            if (!climbing) p.airborne = 0;
        } else {
            m.touchAndGoResult = 0;
        }
    }
    auto& s = ac.stream;
    const bool reckoned = lf_extrapolating(ac);
    // Come to rest (on the runway, or a helicopter on its pad): the reports
    // of it standing there hold it there and keep it alive. Dropped as
    // repeats, they would leave a standing point behind the braking point
    // to turn round for, and the stream to run dry.
    if (ac.onGround != 0 && lf_scatterOfStanding(p, s.back())) {
        lf_endExtrapolation(ac);
        lf_holdAtLast(p, s.back());
        return true;
    }
    if (lf_samePlace(p, s.back())) return false;
    // Still in the air, a report at no speed on the ground where the report
    // before it was flying is the receiver repeating that position, not a
    // touchdown. The stream's last point need not lie on that position any
    // more, so the test above misses it; taken as a touchdown, it slowed the
    // aircraft in the air towards a stop a few hundred feet up.
    if (ac.onGround == 0 && (lf_repeatsMovingReport(ac, p) || lf_repeatsFlyingReport(ac, p))) return false;
    lf_leaveStaleRollHold(ac, p);
    if (s.size() == 1) {
        const double along = lf_along(ac, lf_position(s.front()), p);
        // Dead-reckoned, a report behind but further off to the side turned
        // the aircraft while its reports paused: in the air from base onto
        // final, on the ground off the runway after the roll stopped.
        // Refused, an A333 whose reports paused for 55 s on base flew on
        // straight across the final, away from every report on it, until its
        // dead reckoning ran out and it was taken away 1,000 ft up; a C56X
        // stood on the runway for good while each report of its taxi came
        // from beside it.
        const bool turned =
            reckoned && lf_turnedWhileReckoned(gf_relativePosition(lf_pose(ac), ac.pose.heading, lf_position(p)));
        if (ac.phase == AcPhase::landing) {
            if (along < -kLandingBehindM && !(turned && ac.onGround == 0)) return false;
        } else if (along < -kLandingRollBehindM && !turned) {
            if (lf_extrapolating(ac)) return false;
            // The aircraft rolled past the report: it goes on from where it is.
            StreamPoint here = s.front();
            here.lat = ac.pose.latitude;
            here.lon = ac.pose.longitude;
            here.playTick = gf_tickPlus(lf_now(), 1);
            s.front() = here;
        }
    } else {
        lf_dropPointsBehind(ac, p, kLandingBehindM);
    }
    lf_endExtrapolation(ac);
    // Braking to rest on the runway after the stream ran dry: a report
    // further on takes over from where and how fast the roll is, as a taxi's
    // does. Left to come to rest and stand first, a P28A whose reports paused
    // after its touchdown, found 1 km on as it braked through 6 kt, stopped,
    // stood and set off again from rest 2.7 s later.
    if (reckoned && ac.onGround != 0 && ac.phase == AcPhase::landing_roll && lf_along(ac, lf_pose(ac), p) > 0.0)
        gf_cutBrakeToRest(ac);
    const StreamPoint& last = s.back();
    if (lf_samePlace(p, last)) {
        p.stationary = 1;
        return true;
    }
    p.stationary = 0;
    lf_believableRollSpeed(ac, p);
    // On the approach a report on the ground faster than the last point
    // keeps the last point's speed: the touchdown does not speed the
    // aircraft up. Not a dead-reckoned last point: it slowed on a guess
    // while the reports paused, and held to it the touchdown and the roll
    // after it would run late by what the guess took off.
    if (!reckoned && ac.phase == AcPhase::landing && p.airborne == 0 && p.groundSpeedKt > last.groundSpeedKt &&
        p.groundSpeedKt > kSpeedKeptAboveKt)
        p.groundSpeedKt = last.groundSpeedKt;
    return true;
}

bool checkNewPosDuringTakeoff(LiveAc& ac, StreamPoint& p) {
    if (lf_emptyStream(ac, "checkNewPosDuringTakeoff")) return false;
    const double tolerance = ac.phase == AcPhase::takeoff_roll ? kTakeoffRollToleranceM : kTakeoffToleranceM;
    auto& s = ac.stream;
    if (lf_samePlace(p, s.back()) || !lf_dropPointsBehind(ac, p, tolerance)) return false;
    if (!isTakeoffPointPlausible(ac, p, tolerance)) return false;
    lf_endExtrapolation(ac);
    ac.motion.takeoffSpeedUp = 0;
    const StreamPoint& last = s.back();
    if (lf_samePlace(p, last)) {
        p.stationary = 1;
        return true;
    }
    if (last.groundSpeedKt > kSpeedKeptAboveKt && p.groundSpeedKt < last.groundSpeedKt)
        p.groundSpeedKt = last.groundSpeedKt;
    return true;
}

bool isTakeoffPointPlausible(const LiveAc& ac, const StreamPoint& p, double toleranceM) {
    const bool flyingAfterTakeoff = gf_isFlyingAfterTakeoff(ac);
    if (ac.motion.takeoffSpeedUp == 0 || !lf_extrapolating(ac) || ac.onGround != 0 ||
        !(ac.phase == AcPhase::takeoff || flyingAfterTakeoff))
        return true;
    const std::int32_t now = lf_now();
    if (p.playTick <= gf_tickPlus(now, 1)) return false;
    const RelativePosition rel = gf_relativePosition(lf_pose(ac), ac.pose.heading, lf_position(p));
    if (!(rel.distanceM > 0.1) || rel.along < -toleranceM) return false;
    const double t = double(gf_ticksBetween(now, p.playTick)) / kTicksPerSecond;
    if (t < 1.0) return true;
    const double last = ac.stream.empty() ? 0.0 : ac.stream.back().groundSpeedKt;
    const double g = last > 1.0 ? last : p.groundSpeedKt;
    const bool light = ac.category == Light;
    const double d = rel.distanceM;
    if (!std::isfinite(d) || !std::isfinite(t) || !std::isfinite(g) || d <= 1.0 || t < 5.0 ||
        g < (light ? 55.0 : 120.0))
        return true;
    const double needed = d / t * kKnotsPerMps;
    if (needed >= (light ? 35.0 : 100.0)) return true;
    return !(0.65 * g > needed);
}

bool checkPushedBackPoint(LiveAc& ac, StreamPoint& p) {
    // Reports of the pushback beyond where it ended (its leg ended before
    // the next report came): the aircraft is pushed on.
    gf_keepLeavingReport(ac, p);
    if (gf_pushbackGoesOn(ac)) {
        gf_resumePushback(ac);
        return false;
    }
    // The taxi starts from the reports kept since the pushback ended, the
    // first of them falling due as reported.
    if (gf_taxiBegunAfterPushback(ac)) {
        p.stationary = 0;
        gf_startTaxiAfterPushback(ac, true);
        return true;
    }
    // Still waiting for the taxi: the reports keep the held aircraft alive.
    if (ac.motion.holding != 0) lf_endExtrapolation(ac);
    return false;
}

bool checkAtStandSituations(LiveAc& ac, StreamPoint& p) {
    MotionState& m = ac.motion;
    m.atStandCheck = 1;
    // Leaving already: the reports are kept for the pushback, which begins
    // when the last one at the stand falls due.
    const double d = lf_metres(ac.standPos, lf_position(p));
    if (m.departurePending != 0) {
        // Before the pushback of a single report began, a report that stands
        // at the stand says that one was none.
        const bool undone = m.leaving.pushback.size() == 1 && lf_standsAtStand(ac, p, d);
        if (!undone) {
            gf_keepLeavingReport(ac, p);
            return false;
        }
        m.departurePending = 0;
    }
    // A report at no speed to speak of within a stand's scatter: the aircraft
    // still stands there, wherever the report puts it, and the moves counted
    // before it were scatter too. Not where the kept pushback took it: there
    // it stopped at the end of its pushback.
    if (lf_standsAtStand(ac, p, d)) {
        const AtStand said = lf_standingReport(ac, p, d);
        if (said == AtStand::pushedBack) {
            m.departureWatch = 0;
            markDeparture(ac, p, false);
            return true;
        }
        if (said == AtStand::setAside) return false;
        gf_keepStandingReport(ac, p);
        ac.phaseStartClock = gf_systemClock100ns();
        m.departureWatch = 0;
        m.standRefDistanceM = d;
        m.standLastDistanceM = d;
        m.standDistancesSet = 1;
        m.standMoveCount = 0;
        return false;
    }
    // Reports that push it back tail first at a walking pace, report after
    // report, away off its stand (three, or two that each tell the pace):
    // its pushback has begun, whatever the watches below would still wait
    // for (the stream may end before).
    const bool pushedOn = gf_keepLeavingReport(ac, p);
    const StandLeaving& l = m.leaving;
    const bool pushedAway = (l.pushback.size() >= kPushbackReportsLeast && d >= kMovedM) ||
                            (lf_walkingPushback(l) && d >= kStepM);
    if ((pushedOn && pushedAway) || lf_standsPushedBack(ac, p) || lf_drivesOffAfterPushback(ac)) {
        m.departureWatch = 0;
        markDeparture(ac, p, false);
        return true;
    }
    const bool moved = d >= kMovedM;
    bool aligned = false;
    if (moved) {
        // The bearing off the stand is compared the short way round: a stand
        // facing 355 degrees is left straight ahead at a bearing of 5.
        const double off = std::remainder(gf_bearing(ac.standPos, lf_position(p)) - ac.standHeadingRad, fullCircle);
        aligned = std::fabs(off) <= (ac.isGate != 0 ? kGateAlignedDeg : kOtherAlignedDeg) * degreesToRadians;
    }
    if (m.departureWatch != 0) return lf_watchDeparture(ac, p, d, moved, aligned);
    const double nearM = ac.prevPhase == AcPhase::parking ? kWatchNearStandAfterParkingM : kWatchNearStandM;
    if (d <= nearM) {
        return lf_watchNearStand(ac, p, d, moved, aligned);
    }
    if (moved) {
        if (aligned && d >= lf_departureDistanceM(ac) && d <= kPullOutFarthestM) {
            markDeparture(ac, p, true);
            return true;
        }
        if (aligned && d < lf_departureDistanceM(ac)) return false;
        if (!aligned && d <= kDepartureFarthestM) {
            markDeparture(ac, p, false);
            return true;
        }
    }
    // A lone position far off is a bad report of the feed, not the aircraft
    // gone: the next report tells (one near it bears it out).
    if (lf_loneFarReport(ac, p)) return false;
    // An aircraft whose object does not exist yet is not removed for it.
    if (lf_active(ac)) lf_removeFarFromStand(ac);
    return false;
}

void markDeparture(LiveAc& ac, StreamPoint& p, bool pullOut) {
    MotionState& m = ac.motion;
    p.stationary = 0;
    m.departurePending = 1;
    if (ac.prevPhase == AcPhase::parked) return;
    m.pullOut = pullOut ? 1 : 0;
    if (lf_extrapolating(ac)) {
        // An aircraft that drove onto its stand and moves off again soon
        // after is being towed away, not departing.
        if (ac.phase == AcPhase::parked && ac.prevPhase == AcPhase::parking && !ac.stream.empty()) {
            const std::int64_t parkedSince = std::int64_t(ac.stream.front().playTick) - kParkedStepTicks;
            const std::int64_t stood = std::int64_t(lf_now()) - parkedSince;
            if (stood < lf_towWindowTicks(ac.category)) m.towed = 1;
        }
        ac.prevPrevPhase = AcPhase::birth;
        lf_frontDueNow(ac);
        lf_endExtrapolation(ac);
    }
    gf_addRealStandOption(ac.standId, ac, kDepartureStandOption);
    ac.arrivingHere = 0;
    if (ac.phase != AcPhase::parked) setFlightPhase(ac, AcPhase::parked);
}
