#include "engine/decode.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <limits>
#include <stdexcept>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "airports/current_airport.h"
#include "engine/engine_lists.h"
#include "engine/engine_state.h"
#include "engine/geometry.h"
#include "engine/identity.h"
#include "engine/mailbox.h"
#include "engine/removal.h"
#include "engine/reports.h"
#include "engine/services.h"
#include "engine/spawn.h"
#include "foundation/geodesy.h"
#include "foundation/log.h"
#include "liveries/code_tables.h"
#include "liveries/dbase.h"
#include "motion/air_movement.h"
#include "motion/flight_phases.h"
#include "motion/ground_movement.h"
#include "motion/ground_roll.h"
#include "motion/motion_math.h"
#include "motion/next_position.h"
#include "motion/pushback.h"
#include "motion/runway_lineup.h"
#include "motion/runways.h"
#include "motion/stream_checks.h"
#include "motion/takeoff_start.h"
#include "motion/tick_math.h"
#include "settings/snapshot.h"

std::unordered_map<std::uint32_t, QuarantineEntry> quarantine;
std::unordered_set<std::uint32_t> toldLowNewcomers;

namespace {

constexpr double kKnotsPerMps = 1.9438444924406046;
constexpr double kTwentyMetresNm = 0.010799136069114472;
constexpr double kFourHundredFiftyMetresNm = 0.2429805615550756;
constexpr double kStableReportM = 150.0;
// The report an aircraft was taken out for having flown on far past it
// starts it again when the next report comes within this long (s) after it.
constexpr double kMadeAgainWithinS = 60.0;
constexpr double kQuarantineGapS = 60.0;
constexpr std::uint32_t kReleasingCount = 3;
constexpr std::size_t kMaxStreamPoints = 200;
constexpr std::int32_t kSlowestPointRenewTicks = 2001;
// Below this speed (kt) an aircraft creeps (a tow, a taxi easing into its
// stand).
constexpr double kCreepingKt = 5.0;
// Reports this close (m) to where the aircraft stands are that spot: a
// standing aircraft's reports wander by a few decimetres.
constexpr double kStandingSpotM = 1.0;
// A ground report slower than this (kt) tells no motion: a receiver gives a
// standing aircraft a few tenths of a knot as readily as none.
constexpr double kNoSpeedKt = 1.0;
// The most a pace from where the reports last had the aircraft standing may
// exceed the speed reported at the end of it (a share of that speed) to be
// one the aircraft went: rolling off at once and speeding up to that speed
// it goes slower on the whole, and a quarter more allows for the speeds
// reported along the way.
constexpr double kStandPaceShare = 1.25;
// No aircraft on the ground goes this fast (kt) between two reports unless
// they report it going a third as fast.
constexpr double kLeastGroundJumpKt = 60.0;
// A held ground report lies on the way from the stream's last point to the
// next report when going by it is at most this much longer than going straight.
constexpr double kMostWayRoundHeldReport = 1.2;
// A thinned-out ground report goes into the stream after all when no report
// came for this many ticks after it (a steady stream reports at least every
// 10 s) and the stream's last point falls due within this many: the reports
// have paused, and without it the aircraft would stop where the last kept
// report has it.
constexpr std::int64_t kThinnedReportSilenceTicks = 1000;
constexpr std::int64_t kThinnedReportPlayTicks = 500;
// An aircraft whose first report was a bad position starts from the report
// after it, taken back along its track to the first report's time when they
// lie at most this far apart (ticks) and the report's speed is below this (kt).
constexpr std::int64_t kMostStartBackTicks = 3000;
constexpr double kFastestReportedKt = 2000.0;

constexpr std::array<CategoryLimits, 7> kCategoryLimits{{
    {0.5, 4.0},   // Light
    {0.6, 3.5},   // TwoProps
    {0.75, 3.5},  // Bizjet
    {0.6, 3.0},   // Large
    {0.5, 2.0},   // Heavy
    {1.0, 4.5},   // HighPerf
    {0.75, 5.0},  // Rotorcraft
}};

DecodeCalls l_calls;
// The history records of one tick; kept between ticks so that its capacity
// travels back and forth with the mailbox's list instead of being allocated.
std::vector<TrafficRecord> l_history;

LaLo lf_position(const StreamPoint& point) { return LaLo{point.lat, point.lon}; }

std::int32_t lf_saturatedTick(std::int64_t tick) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(tick, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

bool lf_identityAllows(LiveAc& ac, const AcInfo& identity) {
    return l_calls.checkIdentityChange ? l_calls.checkIdentityChange(ac, identity) : lf_checkIdentityChange(ac, identity);
}
bool lf_acceptPoint(LiveAc& ac, StreamPoint& point) {
    return l_calls.acceptNewStreamPoint ? l_calls.acceptNewStreamPoint(ac, point) : lf_acceptNewStreamPoint(ac, point);
}
bool lf_checkExtending(LiveAc& ac, StreamPoint& point) {
    return l_calls.checkExtendingSituations ? l_calls.checkExtendingSituations(ac, point)
                                            : checkExtendingSituations(ac, point);
}
bool lf_isHeldOnRunway(LiveAc& ac, const StreamPoint& point) {
    return l_calls.isTaxiPointOnRunway ? l_calls.isTaxiPointOnRunway(ac, point) : isTaxiPointOnRunway(ac, point);
}
double lf_refSpeed(const LiveAc& ac, std::uint8_t mode) {
    return l_calls.refSpeedKt ? l_calls.refSpeedKt(ac, mode) : refSpeedKt(ac, mode);
}
void lf_startTakeoffRoll(LiveAc& ac, std::uint8_t flag) {
    if (l_calls.startTakeoffRoll)
        l_calls.startTakeoffRoll(ac, flag);
    else
        startTakeoffRoll(ac, flag);
}
void lf_startTowedTakeoffRoll(LiveAc& ac) {
    if (l_calls.startTowedTakeoffRoll)
        l_calls.startTowedTakeoffRoll(ac);
    else
        startTowedTakeoffRoll(ac);
}

// The same flight already shown under another hexid.
bool lf_isShownUnderOtherHexid(const FlightIdentity& identity) {
    for (const LiveAc& ac : g_liveAircraft)
        if (ac.key.model == identity.key.model && ac.callsign == identity.callsign) return true;
    return false;
}

double lf_positiveSpeed(double speedKt) { return std::isfinite(speedKt) && speedKt > 0.0 ? speedKt : 0.0; }

// A reported ground speed as a measure of how far a ground aircraft may have
// gone: one no roll goes (the feed's 1e6 kt) vouches for no move at all, else
// a position miles off that came with it was taken as reachable.
double lf_believedKt(double speedKt) { return gf_believedGroundKt(lf_positiveSpeed(speedKt)); }

// Whether both points lie on the same runway, looked up in the direction of
// travel from the last point to the new one.
bool lf_onSameRunway(const StreamPoint& last, const StreamPoint& point, double distanceNm) {
    if (!(distanceNm * metresPerNm > 1.0)) return false;
    const double bearing = gf_bearing(lf_position(last), lf_position(point));
    const auto first = findLandingRunway(lf_position(last), bearing);
    if (!first) return false;
    const auto second = findLandingRunway(lf_position(point), bearing);
    return second && first->key == second->key && first->endName == second->endName;
}

// A taxiing aircraft that moved farther than it plausibly could: most often
// the feed mixed up two aircraft. Reports near runways are judged against
// runway speeds unless they lie along one runway.
bool lf_isJump(const LiveAc& ac, const StreamPoint& last, const StreamPoint& point, double distanceNm, double dt) {
    if (ac.phase != AcPhase::taxi || last.airborne != 0 || point.airborne != 0) return false;
    if (!std::isfinite(distanceNm) || !std::isfinite(dt) || distanceNm < 0.0 || dt <= 0.0) return false;
    const double speed = distanceNm * metresPerNm / dt * kKnotsPerMps;
    const double ref = std::max(lf_believedKt(point.groundSpeedKt), lf_believedKt(last.groundSpeedKt));
    if (speed > 80.0 && (isNearRunway(lf_position(last)) || isNearRunway(lf_position(point))) &&
        !lf_onSameRunway(last, point, distanceNm))
        return true;
    return (ref <= 5.0 && speed > 30.0) || speed > std::max(3.0 * ref, 60.0);
}

// Takes an aircraft whose reports jumped out of the simulator; it is made
// again once its reports settle where the report puts it (at once in the
// air).
void lf_takeOutAt(LiveAc& ac, const StreamPoint& point, double time) {
    if (ac.hexid != 0 && gf_isValidLaLo(lf_position(point)) && std::isfinite(time))
        quarantine[ac.hexid] = QuarantineEntry{lf_position(point), time, 1, 0};
    removeAircraftFromSim(ac);
}

// A taxiing aircraft's report that jumped is held for the next report, as a
// flying aircraft's is (lf_holdsLoneJump): most often it is the feed's lone
// bad position, and taken out at once, a tow whose feed gave one position
// 5 NM off was gone for up to a minute until its reports had settled again.
// The next report within reach of the stream drops the held one (the normal
// path, which finds no jump); one within reach of the held report (timed by
// the ticks both came with) bears the jump out, and only then is the aircraft
// taken out, to be made again where the reports are. One out of reach of
// both waits in its place. False when the aircraft is to be taken out now:
// while dead reckoning rolls it on over a pause there is no report to judge
// the jump by.
bool lf_holdsTaxiJump(LiveAc& ac, const StreamPoint& point, double time) {
    MotionState& m = ac.motion;
    if (ac.phase != AcPhase::taxi || ac.extrapolationCount > 0 || point.airborne != 0) return false;
    if (m.heldJumpSet != 0 && m.heldJump.airborne == 0 && m.heldJump.playTick < point.playTick) {
        const StreamPoint& held = m.heldJump;
        const double dt = double(std::int64_t(point.playTick) - held.playTick) / 100.0;
        if (!lf_isJump(ac, held, point, gf_distanceNm(lf_position(held), lf_position(point)), dt)) {
            m.heldJumpSet = 0;
            ac.lastReportTime = time;
            return false;
        }
    }
    m.heldJump = point;
    m.heldJumpSet = 1;
    return true;
}

const StreamPoint* lf_lastReport(const LiveAc& ac);

// The latest airborne report the stream took, as it came (none: none yet).
const StreamPoint* lf_lastAirReport(const LiveAc& ac) {
    const MotionState& m = ac.motion;
    return m.lastAirReportSet != 0 && m.lastAirReport.airborne != 0 ? &m.lastAirReport : nullptr;
}
using AppendPoint = void (*)(LiveAc&, StreamPoint);
void lf_replaceOddFirstPoint(LiveAc& ac, const StreamPoint& held, AppendPoint append);
void lf_appendBirthPoint(LiveAc& ac, StreamPoint point);
bool lf_isLoneJump(const LiveAc& ac, const StreamPoint& last, const StreamPoint& point);

// Two reports of a flying aircraft whose tracks agree (within this, degrees)
// say it flew straight between them, unless the time between them lets it
// turn a whole circle at the standard rate (3 degrees a second).
constexpr double kTracksAgreeDeg = 10.0;
constexpr double kMostStraightGapS = 100.0;

// A flying aircraft goes where its track points: between two reports that
// agree on the track, the line from one to the other lies along that track,
// covered at about the reported speed. A new report more than 30 degrees off
// that line, and farther than a mile, at a pace far from the reported one
// (or more than 60 degrees off at any pace), puts one of the two reports
// miles from where the aircraft is: a bad position of the feed, most often
// the first report of an aircraft that came into range with it, so that
// nothing before it gives it away. Flown from one to the other, the aircraft
// made a detour no aircraft flies (backwards over its own nose, at twice its
// speed or at a crawl); like a taxi jump, it is taken out of the simulator
// and made again from the reports that follow.
bool lf_isOffTheTrackLine(const LiveAc& ac, const StreamPoint& last, const StreamPoint& point, double dt) {
    if (ac.onGround != 0 || last.airborne == 0 || point.airborne == 0) return false;
    if (!(dt > 0.0 && dt <= kMostStraightGapS) || !std::isfinite(last.trackDeg) || !std::isfinite(point.trackDeg))
        return false;
    if (std::fabs(std::remainder(point.trackDeg - last.trackDeg, 360.0)) > kTracksAgreeDeg) return false;
    const double distanceM = gf_distanceNm(lf_position(last), lf_position(point)) * metresPerNm;
    if (!std::isfinite(distanceM) || !(distanceM > metresPerNm)) return false;
    const double chordDeg = gf_bearing(lf_position(last), lf_position(point)) / degreesToRadians;
    const double offDeg = std::min(std::fabs(std::remainder(chordDeg - last.trackDeg, 360.0)),
                                   std::fabs(std::remainder(chordDeg - point.trackDeg, 360.0)));
    if (offDeg <= 30.0) return false;
    if (offDeg > 60.0) return true;
    const double fliesKt = std::max(lf_positiveSpeed(point.groundSpeedKt), lf_positiveSpeed(last.groundSpeedKt));
    if (!(fliesKt > 0.0) || fliesKt >= kFastestReportedKt) return false;
    const double paceKt = distanceM / dt * kKnotsPerMps;
    return paceKt < 0.7 * fliesKt || paceKt > 1.4 * fliesKt;
}

// A report that adds nothing to the stream: the aircraft goes straight on and
// has not yet covered 20 m on the ground (450 m in the air) since the last.
// The time that takes comes from the reported speed; a moving report that
// lies beyond that distance from the last point, and more than twice as far
// as the faster of its speed and the last point's goes in the time (an
// aircraft braking to a stop reports less than it covered), shows that the
// speeds understate the motion (a tow reported at 1.5 kt 45 m on from where
// its reports had stood), and it is kept. A report at no speed is judged by
// time alone: a receiver repeats a position it gave earlier, at no speed,
// while the aircraft moves on.
bool lf_isThinnedOut(const StreamPoint& point, const StreamPoint& last, double dt) {
    const double distanceNm = gf_distanceNm(lf_position(last), lf_position(point));
    // Wrapped, so that tracks either side of north (359.5 and 0.5) count as
    // the straight line they are.
    const double dtrack = std::fabs(std::remainder(point.trackDeg - last.trackDeg, 360.0));
    const double gs = point.groundSpeedKt;
    double window = 0.0;
    double reachNm = 0.0;
    if (point.airborne == 0) {
        if (!(gs <= 30.0 && dtrack <= 2.0)) return false;
        window = gs == 0.0 ? 15.0 : std::min(kTwentyMetresNm / (gs / 3600.0), 15.0);
        reachNm = kTwentyMetresNm;
    } else {
        if (!(gs > 120.0 && dtrack <= 1.0)) return false;
        window = kFourHundredFiftyMetresNm / (gs / 3600.0);
        reachNm = kFourHundredFiftyMetresNm;
    }
    const double fasterKt = std::max(gs, last.groundSpeedKt);
    if (gs > 0.0 && distanceNm > std::max(reachNm, 2.0 * fasterKt / 3600.0 * dt)) return false;
    return dt <= window;
}

// A ground report at no speed after a last point that creeps, further on: the
// aircraft has come to rest there, and the report tells where and when.
// Thinned out, the stream would have it creep the last metres until the next
// report it keeps, up to 15 s later (a tow easing into its stand fell 20 s
// behind). Not a stop: a receiver repeating the position it last gave, at no
// speed, while the aircraft moves on (the report it repeats may itself have
// been dropped). From taxi speed (or a landing roll's) the stop follows the
// last kept report within seconds, and the leg into it is timed by the
// braking of the ground step. Nor is one after a last point that stands,
// beyond the 20 m a thinned report may lie from it, for an aircraft that
// drives on its own (taxiing, or driving onto its stand), when the report
// heard before it lies elsewhere (it repeats no position just given): the
// aircraft moved on while its reports paused and came to rest there.
// Thinned out by time, a tow's report at rest on its stand 59 m on waited
// for the next report kept, and the tow drove onto the stand 10 s after its
// reports stood there.
bool lf_reportsStop(const LiveAc& ac, const StreamPoint& last, const StreamPoint& point) {
    if (point.airborne != 0 || last.airborne != 0 || point.groundSpeedKt != 0.0 ||
        gf_isSamePlace(lf_position(last), lf_position(point)))
        return false;
    const MotionState& m = ac.motion;
    if (m.lastHeardSet != 0 && gf_isSamePlace(m.lastHeardPosition, lf_position(point))) return false;
    if (last.stationary != 0 || !(last.groundSpeedKt > 0.0))
        return m.lastHeardSet != 0 && (ac.phase == AcPhase::taxi || ac.phase == AcPhase::parking) &&
               gf_distanceNm(lf_position(last), lf_position(point)) > kTwentyMetresNm;
    return last.groundSpeedKt < kCreepingKt;
}

// A report at the altitude of the current airport (or of none) is a ground
// target the feed did not mark as such.
bool lf_isAtAirportAltitude(double altitudeFt) {
    if (!(altitudeFt > 0.0 && altitudeFt < 10000.0)) return false;
    const double airportFt = gf_getCurrentAirportAltitude().value_or(-1000.0);
    return std::fabs(altitudeFt - airportFt) <= 120.0;
}

// Gives the report the pace its position moved at since the report kept
// before it, and keeps it as that report for the next. `time` is its own. A
// report at the place of the one before keeps that one's time: the feed
// gives a place again while the aircraft moves on, and paced from the last
// copy, a taxi whose position was given again for 35 s showed 46 kt to the
// next report. The pace runs on the straight line between the two, even
// where dead reckoning rolled the aircraft on into a corner the reports
// turned in a pause: the reports kept that pace, and a catch-up from the
// longer way round went faster than a pilot's eye lets a late taxi go
// (23.7 kt where the reports kept 10.2 across a 38 s pause).
void lf_rememberReport(LiveAc& ac, StreamPoint& point, double time) {
    MotionState& m = ac.motion;
    // A report held as a copy of the point before it stands where the engine
    // brought the aircraft to rest, not where it was reported, and its time
    // belongs to the place reported: paced from the copy (9 m past a place
    // given again at no speed 45 s after it was passed), the report 231 m
    // on 10 s later showed 45 kt for an arrival whose reports kept 8.5.
    // A copy standing on the report kept before it leaves that report as it
    // is: the aircraft leaves from there, and the reports had it there then.
    // Paced from the places of reports creeping on from a stop, each held as
    // a copy of it, the report beyond them, 1.5 s after the last, showed no
    // pace at all: an arrival drove the 18 m its reports crept on from the
    // stop at no more than its own 2.5 kt and came to that report 10.5 s
    // late.
    const LaLo at = gf_reportedPosition(point);
    if (m.lastKeptSet != 0 &&
        (gf_isSamePlace(m.lastKeptPosition, at) || gf_isSamePlace(m.lastKeptPosition, lf_position(point)))) {
        if (gf_isSamePlace(m.lastKeptPosition, at) && point.groundSpeedKt < kNoSpeedKt) m.lastStoodTime = time;
        return;
    }
    const double dt = time - m.lastKeptTime;
    if (m.lastKeptSet != 0 && dt >= kPaceLeastS) {
        double kt = gf_distanceNm(m.lastKeptPosition, at) / (dt / 3600.0);
        // An aircraft the reports had standing at that place until a pause
        // went across the pause from its last report there, when that pace
        // is the one the report gives: a stale repeat of a place the
        // aircraft had left makes the pace from it far faster than the
        // speed reported. Paced from the first report at the place, a
        // departure that stood 22 s after its pushback, its reports then
        // pausing 37 s and giving 21 kt 467 m on (25 kt from its last
        // report at rest), showed 11 kt, was held to catching up at 36 kt
        // after turning on the spot, and came 6 s late.
        const double stoodS = time - m.lastStoodTime;
        if (m.lastStoodTime > m.lastKeptTime && stoodS >= kPaceLeastS) {
            const double fromStandKt = gf_distanceNm(m.lastKeptPosition, at) / (stoodS / 3600.0);
            if (fromStandKt > kt && fromStandKt <= kStandPaceShare * point.groundSpeedKt) kt = fromStandKt;
        }
        if (std::isfinite(kt)) point.pacedKt = kt;
    }
    m.lastKeptPosition = at;
    m.lastKeptTime = time;
    m.lastKeptSet = 1;
    m.lastStoodTime = 0.0;
}

// The latest airborne report the stream took, as it went in.
void lf_rememberAirReport(LiveAc& ac, const StreamPoint& point) {
    if (point.airborne == 0) return;
    ac.motion.airReportBefore = ac.motion.lastAirReport;
    ac.motion.airReportBeforeSet = ac.motion.lastAirReportSet;
    ac.motion.airReportBeforeTime = ac.motion.lastAirReportTime;
    ac.motion.lastAirReport = point;
    ac.motion.lastAirReportSet = 1;
    ac.motion.lastAirReportTime = ac.lastReportTime;
}

// The report each aircraft flying on past its reports was taken out for,
// with its time: where its reports are again.
struct TakenOutReport {
    StreamPoint point;
    double time = 0.0;
};
std::unordered_map<std::uint32_t, TakenOutReport> l_madeAgainFrom;

void lf_decodeMessage(const TrafficRecord& record);

void lf_addLiveAcFromMessage(const TrafficRecord& record, const AcKey& key) {
    FlightIdentity identity = record.identity;
    identity.key = key;
    identity.identity2 = identity.callsign;
    identity.identity3.clear();
    identity.value = 0;

    AcInfo info = gf_makeAcInfo(identity);
    info.hexid = record.hexid;
    const CategoryLimits& limits = gf_categoryLimits(info.category);
    info.turnRateLimit = info.turnRateRad;
    info.climbRateLimit = limits.climbRateLimit;
    info.taxiSpeedRef = limits.taxiSpeedRef;
    g_liveAircraft.emplace_back(std::deque<StreamPoint>{record.point}, info, record.time);
    if (toldLowNewcomers.erase(record.hexid) != 0) g_liveAircraft.back().toldLowOverAirport = 1;
    LiveAc& ac = g_liveAircraft.back();
    lf_rememberAirReport(ac, record.point);
    lf_rememberReport(ac, ac.stream.back(), record.time);
}

void lf_decodeNewAircraft(const TrafficRecord& record) {
    AcKey key = record.identity.key;
    if (const auto found = gf_findRegistration(record.identity.registration)) key = *found;
    const std::string_view code = gf_modelCodeAt(key.model);
    if (!gf_isKnownModelCode(code)) return;
    // Hexids up to the last static number belong to the parked aircraft: a
    // live aircraft with one would be taken for a static.
    if (record.hexid <= kLastStaticHexid) return;
    if (!gf_passQuarantine(record.hexid, record.point, record.time)) return;
    if (!gf_isCategoryIncluded(gf_getModelCategory(gf_internModelCode(code)))) return;
    if (lf_isAtAirportAltitude(record.point.altitudeFt)) {
        // Dropped as the spawn gate drops traffic low over the airport, and
        // said once as it says it: an arrival whose reports before its
        // landing roll all came this low was never shown, and nothing told
        // why.
        if (record.point.airborne != 0 && toldLowNewcomers.insert(record.hexid).second)
            gf_logLowOverAirport(record.identity.callsign, record.identity.registration);
        return;
    }
    // Taken out for having flown on far past a report, it starts again from
    // that report, followed by this one: started from this one, a holding
    // A21N whose reports had turned back while it flew on came back 9 s
    // after they had it there.
    if (const auto taken = l_madeAgainFrom.find(record.hexid); taken != l_madeAgainFrom.end()) {
        const TakenOutReport from = taken->second;
        l_madeAgainFrom.erase(taken);
        if (record.point.airborne != 0 && from.time < record.time && record.time - from.time <= kMadeAgainWithinS &&
            gf_ticksBetween(from.point.playTick, record.point.playTick) > 0) {
            TrafficRecord first = record;
            first.point = from.point;
            first.time = from.time;
            lf_addLiveAcFromMessage(first, key);
            lf_decodeMessage(record);
            return;
        }
    }
    lf_addLiveAcFromMessage(record, key);
}

// The mark of a report set aside on the landing roll (1: by a taxi).
constexpr std::uint8_t kSetAsideOnTheRoll = 2;

bool lf_rollsOnItsWheels(const LiveAc& ac) { return ac.phase == AcPhase::landing_roll && ac.onGround != 0; }

// The ground report set aside as thinned out since the last one kept, when
// the new ground report comes after it and the stream ends on the ground
// (null otherwise): the reports that may go into the stream before the new
// one.
const StreamPoint* lf_setAsideBefore(const LiveAc& ac, const TrafficRecord& record) {
    const MotionState& m = ac.motion;
    if (m.thinnedReportSet == 0 || ac.stream.empty() || record.point.airborne != 0 || m.thinnedReport.airborne != 0 ||
        ac.stream.back().airborne != 0 || !(m.thinnedReportTime > ac.lastReportTime) ||
        !(record.time > m.thinnedReportTime))
        return nullptr;
    return &m.thinnedReport;
}

// The set-aside report goes into the stream, with its own time.
void lf_playSetAside(LiveAc& ac) {
    MotionState& m = ac.motion;
    m.thinnedReportSet = 0;
    ac.lastReportTime = m.thinnedReportTime;
    decodeExisting(ac, m.thinnedReport);
}

// A ground report that moves off the spot where the kept reports stood, after
// a report there at no speed was thinned out: that report says the aircraft
// still stood then. Dropped, the aircraft set off from the last kept report,
// up to 15 s before its reports left the spot (one created as it drove off a
// stand that was not free for it left while its reports still stood). The
// spot is where the last kept report stands, give or take the decimetres a
// standing aircraft's reports wander by: a tow whose reports stood on 0.2 m
// from it for 13 s drove off at once, 23 m ahead of them.
void lf_keepLastStandingReport(LiveAc& ac, const TrafficRecord& record) {
    const StreamPoint* stood = lf_setAsideBefore(ac, record);
    if (stood == nullptr) return;
    const StreamPoint& last = ac.stream.back();
    if (!(stood->groundSpeedKt < kNoSpeedKt) || !(last.groundSpeedKt <= 0.0) ||
        !(gf_distanceNm(lf_position(last), lf_position(*stood)) * metresPerNm <= kStandingSpotM) ||
        gf_isSamePlace(lf_position(*stood), lf_position(record.point)))
        return;
    lf_playSetAside(ac);
}

// A moving ground report set aside as thinned out, then a pause in the
// reports, and a report that lies off the line on from the last kept report
// by way of the set-aside one: the aircraft turned where that one has it
// (a pushback that ended and turned onto the taxi while the reports paused).
// Dropped, the aircraft cut the corner from the last kept report, and one
// not yet shown was created on that chord, metres off the reports of the
// end of its pushback, and never passed them. So does one after a last kept
// report at rest, on the way or not: it is the one that has the aircraft
// moving off where it stood, and tells when it did. Dropped, the aircraft
// stood there until it had to leave for the report after the pause (a tow
// not yet shown, whose reports crept off its spot and paused, was created
// 23 m on and stood there while they had it 4 m from the spot). Not when the
// report after the pause stands at the set-aside one's very place: the feed
// repeating that position at no speed (or the aircraft standing there), it
// is no place the aircraft set off for, and the creep into it tells nothing
// the aircraft would be late for. Taken, a tow's reports crept 2 m, stood
// there 10 s by the repeat, and jumped 37 m on: the tow held on the creep's
// place and fell 14 s behind catching up. It goes into the stream first,
// with its own time.
void lf_keepSetAsideCorner(LiveAc& ac, const TrafficRecord& record) {
    constexpr double kPauseS = 10.0;
    const StreamPoint* aside = lf_setAsideBefore(ac, record);
    if (aside == nullptr || !(aside->groundSpeedKt > 0.0) ||
        !(record.time - ac.motion.thinnedReportTime >= kPauseS))
        return;
    const StreamPoint& last = ac.stream.back();
    const bool setOff = (last.stationary != 0 || !(last.groundSpeedKt > 0.0)) &&
                        !gf_isSamePlace(lf_position(*aside), lf_position(record.point));
    const double viaNm = gf_distanceNm(lf_position(last), lf_position(*aside)) +
                         gf_distanceNm(lf_position(*aside), lf_position(record.point));
    // A set-aside report that still pushes the aircraft back, then one that
    // taxis it: the push ended there, however short the way round by it
    // (a taxi back along the push's own line). Dropped, a pushback not yet
    // shown ended 6 m short of its reports and never reached them.
    const bool pushEnded = gf_reportedTailFirst(*aside) && !gf_reportedTailFirst(record.point);
    if (!setOff && !pushEnded &&
        !(viaNm > kMostWayRoundHeldReport * gf_distanceNm(lf_position(last), lf_position(record.point))))
        return;
    lf_playSetAside(ac);
}

// A moving ground report off the spot where the stream's last point `last`
// has the aircraft at rest: it has the aircraft setting off from there.
bool lf_setsOffFromRest(const StreamPoint& last, const StreamPoint& aside) {
    const bool lastAtRest = last.stationary != 0 || !(last.groundSpeedKt > 0.0);
    return lastAtRest && aside.groundSpeedKt >= kNoSpeedKt &&
           gf_distanceNm(lf_position(last), lf_position(aside)) * metresPerNm > kStandingSpotM;
}

// A taxi's report set aside as thinned out that has the aircraft moving off
// the spot where the stream's last point has it at rest, and a new report
// thinned out against that point in turn: the set-aside one goes into the
// stream first, with its own time, and the new one is judged against it.
// It tells when the aircraft set off, which no later report does; put aside
// in its place, the reports of a tow easing 14 m on from a pause on its lane
// onto its stand each took the place of the one before as they came within
// 20 m of the pause, up to one at rest on the stand, which was then taken
// for the scatter of the pause: the tow stood on its lane for good.
void lf_keepSetOffAside(LiveAc& ac, const TrafficRecord& record) {
    const StreamPoint* aside = lf_setAsideBefore(ac, record);
    if (aside == nullptr || ac.phase != AcPhase::taxi || ac.extrapolationCount > 0) return;
    const StreamPoint& last = ac.stream.back();
    if (!lf_setsOffFromRest(last, *aside)) return;
    if (lf_reportsStop(ac, last, record.point) ||
        !lf_isThinnedOut(record.point, last, record.time - ac.lastReportTime))
        return;
    lf_playSetAside(ac);
}

// A set-aside ground report at no speed at the very place of the stream's
// last point, a report of the aircraft passing there at a pace: the feed
// repeating the last position it gave while the aircraft went on. No
// aircraft comes to rest on the spot it passed at a pace (braking from it
// takes metres). Played when the reports paused, it ended the stream in a
// stop there: a tow stood 15 s on its lane while its reports went on round
// the lane's corner, and fell 7 s behind them. Left out, the aircraft goes on
// as its reports went until the next one says where it went.
bool lf_repeatsPlacePassedAtAPace(const StreamPoint& last, const StreamPoint& aside) {
    return aside.airborne == 0 && last.airborne == 0 && aside.groundSpeedKt == 0.0 && last.stationary == 0 &&
           last.groundSpeedKt >= kCreepingKt && last.groundSpeedKt <= kLeastGroundJumpKt &&
           gf_isSamePlace(lf_position(last), lf_position(aside));
}

// The stream's last point when it is the last report kept (null otherwise:
// a dead-reckoned end of the stream is no report). A report the engine
// moved, such as a copy held where the aircraft stands, is known by where it
// was reported.
const StreamPoint* lf_lastKeptReportPoint(const LiveAc& ac) {
    const MotionState& m = ac.motion;
    if (m.lastKeptSet == 0 || ac.stream.empty()) return nullptr;
    const StreamPoint& last = ac.stream.back();
    return gf_isSamePlace(gf_reportedPosition(last), m.lastKeptPosition) ? &last : nullptr;
}

// A ground report at no speed at the very place of the last report kept,
// which had the aircraft passing there at a pace: the feed repeating that
// position while the aircraft went on, however it came (set aside as thinned
// out or as a report of its own some seconds later), shown or not yet. Taken
// as a stop, a taxi whose reports rolled through a corner at 13 kt braked to
// rest on the corner and turned on the spot there when the report 77 m on
// came. Left out, the aircraft goes on as its reports went until the next
// one says where it went (and when they end in such copies, it goes on as
// it does when its reports end).
bool lf_repeatsLastReportPassedAtAPace(const LiveAc& ac, const StreamPoint& point) {
    const StreamPoint* kept = lf_lastKeptReportPoint(ac);
    return kept != nullptr && lf_repeatsPlacePassedAtAPace(*kept, point);
}

// A moving ground report of an aircraft at its stand or pushing back from it:
// the stand's watch judges each one as it comes, and nothing plays it later
// if it is thinned out (set aside only while taxiing). Thinned out, the last
// report of a pushback 5 m on from the one before was lost when the reports
// ended there, and the aircraft stood for good 5 m short of it.
bool lf_movesOffItsStand(const LiveAc& ac, const StreamPoint& point) {
    return (ac.phase == AcPhase::parked || ac.phase == AcPhase::pushing_back) && point.airborne == 0 &&
           point.groundSpeedKt >= kNoSpeedKt;
}

// Where and how fast the latest two reports put the aircraft, whatever
// becomes of them. A report at no speed at the very place of the latest one,
// itself at no speed, leaves the two as they are: a receiver repeating a
// position it gave at a pace goes on repeating it, and only the report before
// the first repeat tells that the place was passed at a pace. Shifted along,
// the second repeat of a report on short final went into the stream as a
// stop on the runway there: the next report, rolling at 100 kt 1.2 km on,
// was held as out of reach of it and lost, and the roll braked to rest 400 m
// short of that report and passed it 19 s late.
void lf_rememberHeard(MotionState& heard, const StreamPoint& point) {
    if (heard.lastHeardSet != 0 && point.airborne == 0 && point.groundSpeedKt == 0.0 && heard.lastHeardKt == 0.0 &&
        gf_isSamePlace(heard.lastHeardPosition, lf_position(point)))
        return;
    heard.heardBeforePosition = heard.lastHeardPosition;
    heard.heardBeforeKt = heard.lastHeardKt;
    heard.heardBeforeSet = heard.lastHeardSet;
    heard.lastHeardPosition = lf_position(point);
    heard.lastHeardKt = point.groundSpeedKt;
    heard.lastHeardSet = 1;
}

// A spacing of reported times (s) in ticks.
std::int64_t lf_ownSpacingTicks(double sinceS) { return std::llround(std::min(sinceS, 4.0e7) * 100.0); }

// Whether the stream ends in the latest flying report it took, as it went in.
bool lf_endsInLastAirReport(const LiveAc& ac) {
    const StreamPoint& report = ac.motion.lastAirReport;
    return !ac.stream.empty() && ac.stream.back().playTick == report.playTick &&
           gf_isSamePlace(lf_position(ac.stream.back()), lf_position(report));
}

// The stream's last flying report, not yet shown, timed later than its own
// time lies after the report before it: it falls due at that spacing.
void lf_pullBackLateLastAirReport(LiveAc& ac) {
    MotionState& m = ac.motion;
    const double gapS = m.lastAirReportTime - m.airReportBeforeTime;
    if (m.airReportBeforeSet == 0 || m.airReportBefore.airborne == 0 || ac.stream.size() < 2 || !(gapS > 0.0) ||
        !std::isfinite(gapS))
        return;
    if (!lf_endsInLastAirReport(ac)) return;
    StreamPoint& last = ac.stream.back();
    const std::int64_t spaced = std::max(std::int64_t(m.airReportBefore.playTick) + lf_ownSpacingTicks(gapS),
                                         std::int64_t(ac.stream[ac.stream.size() - 2].playTick) + 1);
    if (spaced >= last.playTick) return;
    last.playTick = lf_saturatedTick(spaced);
    m.lastAirReport.playTick = last.playTick;
}

// The stream's last flying report, not yet shown, made to wait for its own
// spacing after the report before it, and the new report timed short of it
// too: the new one agrees with the batch that timed the last one, and the
// report the last one waited for is the one that came late. Nothing before
// a lone first report tells that it came late, and every report after it
// waits for it. The stream's flying points fall due that much sooner, no
// sooner than the last one's own batch had it nor than a point before them
// on the ground (nothing of it is shown yet). Kept, an A320 whose first
// report came 5.4 s late, alone in its batch, had the next half minute of
// reports, their batches agreeing on the time, fall due as late, and came to
// them up to 5.1 s after they fell due.
void lf_pullBackBeforeWaitedAirReport(LiveAc& ac, std::int64_t shortTicks) {
    MotionState& m = ac.motion;
    auto& stream = ac.stream;
    if (m.waitedTicks <= 0 || m.waitedReportTime != m.lastAirReportTime || !lf_endsInLastAirReport(ac)) return;
    std::size_t from = stream.size() - 1;
    while (from > 0 && stream[from - 1].airborne != 0) --from;
    std::int64_t back = std::min<std::int64_t>(shortTicks, m.waitedTicks);
    if (from > 0)
        back = std::min<std::int64_t>(back, std::int64_t(stream[from].playTick) - stream[from - 1].playTick - 1);
    if (back <= 0) return;
    for (std::size_t i = from; i < stream.size(); ++i)
        stream[i].playTick = lf_saturatedTick(std::int64_t(stream[i].playTick) - back);
    m.lastAirReport.playTick = stream.back().playTick;
    if (m.airReportBeforeSet != 0)
        m.airReportBefore.playTick = lf_saturatedTick(std::int64_t(m.airReportBefore.playTick) - back);
    m.waitedTicks -= std::int32_t(back);
}

// Reports of an aircraft not yet shown may come in batches timed apart: a
// live batch is timed by when it came, the buffer's segments by their own
// reports, and one report that came in both fell due 3.7 s apart. A flying
// report falls due no sooner after the last flying report the stream took
// than its own time lies after that report's (the own time kept is that of
// the latest report taken, never before it, so the spacing asked never runs
// longer than the reports'). Timed by the other batch, a report
// 560 m on 5.5 s later fell due 1.9 s after the last, was held as out of
// reach, and while it was held the lone report was not flown on: the
// aircraft appeared only with its reports after a pause, 57 s late.
//
// Timed sooner than that, the new report disagrees with the last one, and
// the report before the last tells which of the two came late: a batch is
// timed by when it came, and a datagram that came seconds after its time
// alone in its batch falls due that much late. When the last one falls due
// later than its own time lies after the report before it, it is the late
// one, and falls due at that spacing instead (nothing of it is shown yet).
// Kept, an A21N's one report that came 4.7 s late had every report after it
// fall due as late, and the aircraft flew 5.8 s behind its reports for good.
// `time` is the new report's own.
void lf_keepOwnSpacingBeforeShown(LiveAc& ac, StreamPoint& point, double time) {
    MotionState& m = ac.motion;
    const double sinceLastS = time - ac.lastReportTime;
    if (ac.phase != AcPhase::birth || point.airborne == 0 || m.lastAirReportSet == 0 || !(sinceLastS > 0.0) ||
        !std::isfinite(sinceLastS))
        return;
    const std::int64_t spacing = lf_ownSpacingTicks(sinceLastS);
    if (std::int64_t(point.playTick) < std::int64_t(m.lastAirReport.playTick) + spacing) {
        lf_pullBackLateLastAirReport(ac);
        lf_pullBackBeforeWaitedAirReport(
            ac, std::int64_t(m.lastAirReport.playTick) + spacing - std::int64_t(point.playTick));
    }
    const std::int64_t due = std::int64_t(m.lastAirReport.playTick) + spacing;
    m.waitedTicks = 0;
    if (std::int64_t(point.playTick) >= due) return;
    m.waitedTicks = std::int32_t(std::min<std::int64_t>(due - std::int64_t(point.playTick), 2'000'000'000));
    m.waitedReportTime = time;
    point.playTick = lf_saturatedTick(due);
}

void lf_decodeMessage(const TrafficRecord& record) {
    LiveAc* found = gf_findLiveByHexid(record.hexid);
    if (found == nullptr) {
        if (!record.identity.callsign.empty() && lf_isShownUnderOtherHexid(record.identity)) return;
        lf_decodeNewAircraft(record);
        return;
    }
    LiveAc& ac = *found;
    if (ac.simState == AcSimState::liveryrespawn) return;
    if (ac.simState == AcSimState::removingfromsim && quarantine.contains(record.hexid)) {
        gf_passQuarantine(record.hexid, record.point, record.time);
        return;
    }

    lf_keepSetOffAside(ac, record);
    const bool stops =
        !ac.stream.empty() && lf_reportsStop(ac, ac.stream.back(), record.point);
    lf_rememberHeard(ac.motion, record.point);
    if (!ac.stream.empty()) {
        const StreamPoint& last = ac.stream.back();
        const StreamPoint& point = record.point;
        const double dt = record.time - ac.lastReportTime;
        const double distanceNm = gf_distanceNm(lf_position(last), lf_position(point));
        // Judged against the last report itself: the stream's last point
        // may be one the engine put in (where an aircraft created late was
        // placed, on a course its reports have since left). A report out of
        // reach waits for the next one, which tells which of the two was
        // wrong; one within reach is judged now. The cheap geometry first:
        // nearly every report lies on its line.
        const StreamPoint* lastReport = lf_lastAirReport(ac);
        const bool offTheTrackLine = lastReport != nullptr && lf_isOffTheTrackLine(ac, *lastReport, point, dt) &&
                                     !lf_isLoneJump(ac, *lastReport, point);
        // Not yet shown, with its first report alone: that report was the
        // odd one (the reports after it agree with the new one, or the new
        // one is judged with them in turn), and the aircraft starts where the
        // new one's track and speed put it at the first report's time. With
        // more points nothing yet tells which was wrong. A report held
        // before this one as out of the first one's reach, and within this
        // one's, is where the aircraft was then: it takes the first one's
        // place, and this one follows it. Dropped, a B738 whose first report
        // lay 5 NM off and whose second came 23 s later waited for a third
        // report 10 s on before it could be shown.
        if (offTheTrackLine && ac.phase == AcPhase::birth && ac.stream.size() == 1) {
            ac.lastReportTime = record.time;
            MotionState& m = ac.motion;
            const bool heldAgrees = m.heldJumpSet != 0 && m.heldJump.airborne == point.airborne &&
                                    m.heldJump.playTick < point.playTick && !lf_isLoneJump(ac, m.heldJump, point);
            m.heldJumpSet = 0;
            lf_replaceOddFirstPoint(ac, heldAgrees ? m.heldJump : point, lf_appendBirthPoint);
            if (heldAgrees) lf_appendBirthPoint(ac, point);
            return;
        }
        // A taxi's reach is timed from the first report at the last point's
        // place: the feed gives a place again, at no speed, while the
        // aircraft moves on, and timed from the last copy, a departure's
        // report 262 m on, 28 s after its reports had it there at 17 kt,
        // read as 85 kt and was taken for a jump.
        const MotionState& kept = ac.motion;
        const double sinceKeptS = kept.lastKeptSet != 0 && gf_isSamePlace(lf_position(last), kept.lastKeptPosition)
                                      ? record.time - kept.lastKeptTime
                                      : dt;
        const double jumpDt = std::isfinite(sinceKeptS) ? std::max(dt, sinceKeptS) : dt;
        const bool jump =
            lf_isJump(ac, last, point, distanceNm, jumpDt) || (offTheTrackLine && ac.phase != AcPhase::birth);

        // Also drops a report whose time cannot be compared (not a number).
        if (record.time == ac.lastReportTime || !(dt > 1.0)) return;
        if (jump) {
            if (!lf_holdsTaxiJump(ac, point, record.time)) lf_takeOutAt(ac, point, record.time);
            return;
        }
        // An aircraft not yet shown that holds a single point keeps the report
        // that gives it a second one: the spawn gate drops a lone point once
        // it is due, and a standing aircraft whose next kept report came only
        // 15 s later would wait for a calm stream, or vanish in a report gap,
        // instead of appearing where it stands.
        const bool needsSecondPoint = ac.simState == AcSimState::buffer && ac.stream.size() == 1;
        if (ac.extrapolationCount <= 0 && !needsSecondPoint && !stops && !lf_movesOffItsStand(ac, point) &&
            lf_isThinnedOut(point, last, dt)) {
            // Kept aside: it adds nothing while later reports come, but the
            // last of a run of thinned reports may be the last report for a
            // while (a tow creeping into its stand, a taxi before a gap).
            // Played only while taxiing (also when it came before the
            // aircraft was shown): a parked or pushing aircraft's reports go
            // to the stand's watch, which judges them as they come.
            // Not in place of a later report set aside before it (a datagram
            // that came late): the later one tells where the aircraft went
            // since. Put in its place, a repeat at no speed of a place the
            // aircraft had left was played when the reports paused, and
            // stopped it there, while the later report 13 m on never went in.
            // Nor in place of itself, come again: a repeated datagram may come
            // in a batch timed apart from the first (each batch is timed by
            // its own reports), and a departure created from reports that
            // came twice so left its stand 3.7 s before its reports did.
            // A landing roll on its wheels keeps its last one aside too, to
            // play while it still rolls (a roll whose reports end short of
            // rest stopped short of its last report); marked as the roll's,
            // it is dropped once the roll has turned off into a taxi, whose
            // own legs already lead on from there (unless they end at rest
            // short of it: gf_playThinnedReports).
            MotionState& m = ac.motion;
            if (m.thinnedReportSet != 0 && record.time <= m.thinnedReportTime) return;
            const bool rolling = lf_rollsOnItsWheels(ac);
            const bool taxiing = ac.phase == AcPhase::taxi || ac.phase == AcPhase::birth || rolling;
            m.thinnedReportSet = point.airborne == 0 && taxiing ? (rolling ? kSetAsideOnTheRoll : 1) : 0;
            m.thinnedReport = point;
            m.thinnedReportTime = record.time;
            m.thinnedReportTick = tickCount.load();
            return;
        }
    }
    lf_keepLastStandingReport(ac, record);
    lf_keepSetAsideCorner(ac, record);
    ac.motion.thinnedReportSet = 0;

    if (ac.simState == AcSimState::buffer && lf_isAtAirportAltitude(record.point.altitudeFt)) {
        if (record.point.airborne != 0 && ac.toldLowOverAirport == 0) {
            ac.toldLowOverAirport = 1;
            gf_logLowOverAirport(ac.callsign, ac.registration);
        }
        return;
    }

    AcInfo identity;
    static_cast<FlightIdentity&>(identity) = record.identity;
    identity.hexid = record.hexid;
    if (!lf_identityAllows(ac, identity)) return;

    StreamPoint point = record.point;
    lf_keepOwnSpacingBeforeShown(ac, point, record.time);
    ac.lastReportTime = record.time;
    decodeExisting(ac, point);
}

void lf_removeReported(LiveAc& ac) {
    try {
        removeAircraftFromSim(ac);
    } catch (...) {
        gf_reportTrafficException("decodeExisting");
    }
}

// A ground point after a stationary last point: an aircraft that only stood
// keeps one stationary point; one that moves on soon after its last movement
// drops the stationary points in between, so that it does not stop and start.
void lf_trimStationaryRun(LiveAc& ac, const StreamPoint& point) {
    auto& stream = ac.stream;
    if (point.stationary != 0) {
        const bool allStationary =
            std::all_of(stream.begin(), stream.end(), [](const StreamPoint& p) { return p.stationary != 0; });
        if (allStationary && stream.size() > 1) stream.resize(1);
        return;
    }
    if (stream.size() < 3) return;
    // Only the last seven points are searched, never the first.
    const std::size_t lowest = stream.size() > 8 ? stream.size() - 7 : 1;
    for (std::size_t i = stream.size() - 1; i-- > lowest;) {
        if (stream[i].stationary != 0) continue;
        const StreamPoint& moving = stream[i];
        const std::int64_t ticks = std::int64_t(point.playTick) - moving.playTick;
        if (ticks > 0 && ticks <= 2200 &&
            gf_distanceNm(lf_position(moving), lf_position(point)) * 360000.0 / double(ticks) <= 35.0)
            stream.resize(i + 1);
        return;
    }
}

// The point is played after the last one, and an airborne leg no faster than
// the aircraft can fly it.
void lf_retime(const LiveAc& ac, StreamPoint& point) {
    const StreamPoint& last = ac.stream.back();
    if (point.playTick <= last.playTick) point.playTick = lf_saturatedTick(std::int64_t(last.playTick) + 1);
    if (last.airborne == 0 || point.airborne == 0) return;
    const double distanceM = gf_distanceNm(lf_position(last), lf_position(point)) * metresPerNm;
    const double timeS = double(std::int64_t(point.playTick) - last.playTick) / 100.0;
    const GroundLegTime leg = minGroundLegTime(distanceM, timeS, last.groundSpeedKt, point.groundSpeedKt,
                                               static_cast<ModelCategory>(ac.category));
    if (!leg.tooFast) return;
    const double ticks = std::max(std::ceil(leg.leastTimeS * 100.0), 25.0);
    point.playTick = lf_saturatedTick(std::int64_t(last.playTick) + std::int64_t(std::min(ticks, 4.0e9)));
}

bool lf_bothAtSpeed(const StreamPoint& last, const StreamPoint& point, double leastKt) {
    return std::isfinite(last.groundSpeedKt) && std::isfinite(point.groundSpeedKt) &&
           last.groundSpeedKt >= leastKt && point.groundSpeedKt >= leastKt;
}

bool lf_isClimbing(const StreamPoint& last, const StreamPoint& point) {
    return last.airborne != 0 && point.airborne != 0 && point.altitudeFt >= last.altitudeFt + 50.0 &&
           std::isfinite(last.verticalSpeed) && std::isfinite(point.verticalSpeed) && last.verticalSpeed >= 400.0 &&
           point.verticalSpeed >= 400.0;
}

// A Light aircraft's touch-and-go often shows no airborne report: remember
// the slowest point of its landing roll and look for a climb from there.
void lf_watchLightTouchAndGo(LiveAc& ac, const StreamPoint& last, const StreamPoint& point) {
    MotionState& m = ac.motion;
    if (m.hasRollSlowestPoint == 0 ||
        std::int64_t(point.playTick) - m.rollSlowestPoint.playTick >= kSlowestPointRenewTicks ||
        last.groundSpeedKt < m.rollSlowestPoint.groundSpeedKt) {
        m.rollSlowestPoint = last;
        m.hasRollSlowestPoint = 1;
    }
    const auto runway = findTakeoffRunway(LaLo{ac.pose.latitude, ac.pose.longitude}, ac.pose.heading);
    if (!runway) return;
    const std::array<AltitudeSample, 2> samples{
        AltitudeSample{m.rollSlowestPoint.altitudeFt, m.rollSlowestPoint.playTick},
        AltitudeSample{point.altitudeFt, point.playTick}};
    // The climb is measured from the runway, not from a speed.
    if (findClimbStart(samples, runway->altitudeFt).found) lf_startTakeoffRoll(ac, 1);
}

void lf_detectTakeoff(LiveAc& ac, const StreamPoint& point) {
    if (ac.simState != AcSimState::active || ac.onGround == 0 || ac.phase == AcPhase::takeoff_roll) return;
    const StreamPoint& last = ac.stream.back();
    if (ac.phase == AcPhase::landing_roll) {
        if (last.airborne != 0 && point.airborne != 0) {
            lf_startTakeoffRoll(ac, 1);
        } else if (ac.category == Light) {
            lf_watchLightTouchAndGo(ac, last, point);
        }
        return;
    }
    if (ac.phase != AcPhase::taxi) return;
    if (ac.prevPhase == AcPhase::landing_roll && ac.motion.taxiStarted != 0) {
        if (lf_isClimbing(last, point)) lf_startTakeoffRoll(ac, 0);
        return;
    }
    if (ac.motion.taxiStarted != 0) return;
    // Rolling fast on a runway without a taxi start: a towed aircraft (or one
    // first seen on the runway) that takes off.
    bool start = point.airborne != 0;
    if (!start) {
        const double ref = lf_refSpeed(ac, 1);
        start = std::isfinite(ref) && ref > 0.0 && lf_bothAtSpeed(last, point, std::max(0.5 * ref, 43.0)) &&
                findTakeoffRunway(LaLo{ac.pose.latitude, ac.pose.longitude}, ac.pose.heading).has_value();
    }
    if (start) lf_startTowedTakeoffRoll(ac);
}

// Whether a point lies more than a thousand feet above or below the one
// before, beyond what the aircraft's category climbs or descends in the time
// between them (a point on the ground at the airport's altitude). After a
// pause in the reports, the steepest rate of any aircraft lets a bad
// altitude through: a light aircraft climbed toward a report 5,000 ft too
// high that came 40 s after the one before, and stopped its climb dead when
// the next report showed it. So did a touchdown 50 s after a light
// aircraft's first report, 5,300 ft over the runway: judged against the
// touchdown, the low report held between the two was dropped, and the
// aircraft was created up there and came down at its steepest, still 550 ft
// up where its reports had it turn off the runway.
bool lf_climbsBeyondCategory(const LiveAc& ac, const StreamPoint& from, const StreamPoint& dueAt) {
    constexpr double kTicksPerSecond = 100.0;
    return ac.climbRateLimit > 0.0 && gf_altitudesContradict(from, dueAt, ac.climbRateLimit * kTicksPerSecond);
}

// Whether a point reported while the aircraft flies (a touchdown point of
// its approach too; before it is shown, while its last point is airborne)
// lies farther from the point before it than the aircraft could fly in the
// time between them, or thousands of feet above or below it (a bad
// altitude: taken in, it had a light aircraft held back low over the
// airport created 5,000 ft up and dive to the runway).
bool lf_isAirborneJump(const LiveAc& ac, const StreamPoint& from, const StreamPoint& point) {
    const bool flying = ac.phase == AcPhase::birth ? from.airborne != 0 : ac.onGround == 0;
    if (!flying) return false;
    const std::int64_t due = std::int64_t(point.playTick) + std::max(0, ac.motion.streamLagTicks);
    const double distanceM = gf_distanceNm(lf_position(from), lf_position(point)) * metresPerNm;
    const double timeS = double(due - from.playTick) / 100.0;
    StreamPoint dueAt = point;
    dueAt.playTick = lf_saturatedTick(due);
    return minGroundLegTime(distanceM, timeS, from.groundSpeedKt, point.groundSpeedKt,
                            static_cast<ModelCategory>(ac.category))
               .tooFast ||
           gf_altitudesContradict(from, dueAt) || lf_climbsBeyondCategory(ac, from, dueAt);
}

// Whether a ground point due at the given tick lies farther from the ground
// point before it than the aircraft could go in the time between them. Out
// of reach means faster than three times the reported speed and 60 kt, not
// the jump test's 30 kt for a standing aircraft: the point before may be a
// stale position the receiver repeated after a pause, and a tow's real move
// from it then reads as 31 kt.
bool lf_isGroundOutOfReach(const StreamPoint& last, const StreamPoint& point, std::int64_t dueTick) {
    const double timeS = double(dueTick - last.playTick) / 100.0;
    const double distanceNm = gf_distanceNm(lf_position(last), lf_position(point));
    if (!(timeS > 0.0) || !std::isfinite(distanceNm)) return false;
    const double speed = distanceNm * metresPerNm / timeS * kKnotsPerMps;
    const double ref = std::max(lf_believedKt(point.groundSpeedKt), lf_believedKt(last.groundSpeedKt));
    return speed > std::max(3.0 * ref, kLeastGroundJumpKt);
}

// The tick a ground point falls due at, judged for reach from the last one:
// as late as the stream runs, and never sooner after the last report kept
// than its own time lies after that report's. The leg planning may have put
// the last report later than it came (a roll braking into it over a pause
// takes longer than the reports gave it) without carrying the delay on: timed
// from there, an arrival's report 31 m on in its exit turn 3.3 s after the
// last fell due 1 s after it, was held as out of reach, and with the stream
// ending there the aircraft never went where its reports last had it.
std::int64_t lf_groundDueTick(const LiveAc& ac, const StreamPoint& last, const StreamPoint& point) {
    const MotionState& m = ac.motion;
    const std::int64_t due = std::int64_t(point.playTick) + std::max(0, m.streamLagTicks);
    if (m.lastKeptSet == 0 || !gf_isSamePlace(lf_position(last), m.lastKeptPosition)) return due;
    const double ownS = ac.lastReportTime - m.lastKeptTime;
    if (!(ownS > 0.0) || !std::isfinite(ownS)) return due;
    return std::max<std::int64_t>(due, std::int64_t(last.playTick) + lf_ownSpacingTicks(ownS));
}

// A ground point out of reach of an aircraft not yet shown (a lone bad
// position of a standing or towed aircraft, miles off): shown with it in its
// stream, the aircraft raced out to it. Such a point is held for the next
// report as a flying one is; once the aircraft taxis, the jump test of the
// ground rules judges such a report. Its reach is timed from the report kept
// at the last point's place: timed from the feed's stale repeats of that
// place at 0 kt, an arrival's report 124 m on in its exit turn, 10 s after
// the aircraft was there, read as 73 kt, was held, and with the stream
// ending there the aircraft stood at the repeated place for good.
bool lf_isGroundJumpBeforeShown(const LiveAc& ac, const StreamPoint& last, const StreamPoint& point) {
    if (ac.phase != AcPhase::birth || last.airborne != 0 || point.airborne != 0) return false;
    return lf_isGroundOutOfReach(last, point, lf_groundDueTick(ac, last, point));
}

// The same for a ground point of a landing or takeoff roll: the jump test of
// the ground rules judges taxiing aircraft only, and a position miles off
// taken into a roll had the aircraft race out to it at hundreds of knots and
// come back tail first.
bool lf_isGroundJumpOnRoll(const LiveAc& ac, const StreamPoint& last, const StreamPoint& point) {
    if (ac.phase != AcPhase::landing_roll && ac.phase != AcPhase::takeoff_roll) return false;
    if (ac.extrapolationCount > 0 || last.airborne != 0 || point.airborne != 0) return false;
    return lf_isGroundOutOfReach(last, point, lf_groundDueTick(ac, last, point));
}

// So is one of an aircraft driving or towed onto its stand: taken, a report
// miles off made a tow on its stand give up parking, and it taxied off
// toward that place at its most pace, away from every report after it.
bool lf_isGroundJumpWhileParking(const LiveAc& ac, const StreamPoint& last, const StreamPoint& point) {
    if (ac.phase != AcPhase::parking || ac.extrapolationCount > 0 || last.airborne != 0 || point.airborne != 0)
        return false;
    return lf_isGroundOutOfReach(last, point, std::int64_t(point.playTick) + std::max(0, ac.motion.streamLagTicks));
}

bool lf_isLoneJump(const LiveAc& ac, const StreamPoint& last, const StreamPoint& point) {
    return lf_isAirborneJump(ac, last, point) || lf_isGroundJumpBeforeShown(ac, last, point) ||
           lf_isGroundJumpOnRoll(ac, last, point) || lf_isGroundJumpWhileParking(ac, last, point);
}

// The point a new report is judged against: the stream's last. A
// dead-reckoned tail is no report to judge by: while dead reckoning runs, the
// last airborne report the stream took (none: nothing to judge by). Let
// through, a position miles off that came after a pause in the reports had
// the aircraft fly out to it and all the way back.
const StreamPoint* lf_lastReport(const LiveAc& ac) {
    return ac.extrapolationCount <= 0 ? &ac.stream.back() : lf_lastAirReport(ac);
}

// The first report of a flying aircraft not yet shown lay out of reach of
// the two after it, which agree: it was a bad position, and the held report
// takes its place. The aircraft was reported in range from the first
// report's time: it starts then, where the held report's track and speed put
// it, so that it is not shown late by the seconds between them.
void lf_replaceOddFirstPoint(LiveAc& ac, const StreamPoint& held, AppendPoint append) {
    StreamPoint& front = ac.stream.front();
    const std::int64_t backTicks = std::int64_t(held.playTick) - front.playTick;
    if (std::isfinite(held.trackDeg) && held.groundSpeedKt > 0.0 && held.groundSpeedKt < kFastestReportedKt &&
        backTicks > 0 && backTicks <= kMostStartBackTicks) {
        const double runFt = held.groundSpeedKt * double(backTicks) / 360000.0 * feetPerNm;
        LaLo at = gf_destinationPoint(lf_position(held), {(held.trackDeg + 180.0) * degreesToRadians, runFt});
        gf_normalizeLaLo(at);
        if (gf_isValidLaLo(at)) {
            front = held;
            front.lat = at.lat;
            front.lon = at.lon;
            front.playTick = lf_saturatedTick(std::int64_t(held.playTick) - backTicks);
            append(ac, held);
            return;
        }
    }
    front = held;
}

// The first report of an aircraft on the ground not yet shown lay out of
// reach of the two after it, which agree: the held report takes its place.
// Kept, the reports after it were judged against a position miles off: those
// of a parked aircraft, scattered by metres around its stand, went in as
// moves, and it was created taxiing 40 m from one to the next.
// Reported at no speed, the aircraft stood where the held report has it
// from the first report's time on, and starts then.
void lf_replaceOddFirstGroundPoint(LiveAc& ac, const StreamPoint& held) {
    StreamPoint& front = ac.stream.front();
    const std::int32_t firstTick = front.playTick;
    front = held;
    if (!(held.groundSpeedKt > 0.0)) front.playTick = firstTick;
}

// A ground report held as out of reach of the stream's last point, which is
// a position at no speed, when the next report lies in reach of both and the
// held one lies on the way to it: the last point was a stale position the
// receiver repeated while the aircraft moved on, and the held report is
// where it went. Dropped, it left the aircraft to be created at the stale
// position, drive past the next report and turn back on the spot.
bool lf_heldReportOnTheWay(const StreamPoint& last, const StreamPoint& held, const StreamPoint& point) {
    if (last.airborne != 0 || held.airborne != 0 || point.airborne != 0 || last.groundSpeedKt > 0.0) return false;
    if (lf_isGroundOutOfReach(held, point, point.playTick)) return false;
    const double viaHeldNm =
        gf_distanceNm(lf_position(last), lf_position(held)) + gf_distanceNm(lf_position(held), lf_position(point));
    return viaHeldNm <= kMostWayRoundHeldReport * gf_distanceNm(lf_position(last), lf_position(point));
}

// Whether `b`, reported after `a`, lies farther from it than the aircraft
// flies in the time between them, by the times both came with. (The stream's
// last point may since have been retimed later: a report due before it is
// out of its reach by time alone, not by where it lies.)
bool lf_outOfReachAsReported(const LiveAc& ac, const StreamPoint& a, const StreamPoint& b) {
    if (b.playTick <= a.playTick) return false;
    const double distanceM = gf_distanceNm(lf_position(a), lf_position(b)) * metresPerNm;
    return minGroundLegTime(distanceM, double(b.playTick - a.playTick) / 100.0, a.groundSpeedKt, b.groundSpeedKt,
                            static_cast<ModelCategory>(ac.category))
        .tooFast;
}

// Whether the stream's last point, a flying aircraft's latest report, was
// the lone bad position rather than the held report out of its reach that
// the report after it bears out: by the times they came with, the held one
// lies out of the last one's reach and within reach of the report before
// it. (A bad position within reach of the report before it is only found out
// by the reports after it.)
bool lf_lastAirReportWasTheLoneOne(const LiveAc& ac, const StreamPoint& held) {
    const MotionState& m = ac.motion;
    const auto& s = ac.stream;
    if (ac.phase == AcPhase::birth || ac.onGround != 0 || held.airborne == 0 || s.empty()) return false;
    if (m.lastAirReportSet == 0 || m.airReportBeforeSet == 0 || m.airReportBefore.airborne == 0) return false;
    const StreamPoint& last = s.back();
    return last.airborne != 0 && last.turnPoint == 0 &&
           gf_isSamePlace(lf_position(last), lf_position(m.lastAirReport)) &&
           lf_outOfReachAsReported(ac, m.lastAirReport, held) && held.playTick > m.airReportBefore.playTick &&
           !lf_outOfReachAsReported(ac, m.airReportBefore, held);
}

// A lone position miles off the others (a bad report) reported while the
// aircraft flies would have it race out to it and back, or be created on
// the way to it. Such a point waits for the next report: when that one lies
// within reach of the stream again, the held one was wrong and is dropped;
// otherwise the aircraft is where the held one says, and it goes into the
// stream first. True when the point was held (or went in here).
bool lf_holdsLoneJump(LiveAc& ac, const StreamPoint& point, AppendPoint append) {
    MotionState& m = ac.motion;
    if (ac.stream.empty()) return false;
    const StreamPoint* last = lf_lastReport(ac);
    const bool jump = last != nullptr && lf_isLoneJump(ac, *last, point);
    if (m.heldJumpSet != 0) {
        m.heldJumpSet = 0;
        if (!jump) {
            if (last != nullptr && lf_heldReportOnTheWay(*last, m.heldJump, point)) append(ac, m.heldJump);
            return false;
        }
        // Judged against the held report as it came (the stream may have
        // retimed it when it went in).
        const StreamPoint held = m.heldJump;
        if (!lf_isLoneJump(ac, held, point)) {
            // The aircraft is where the held report says. A flying aircraft
            // not yet shown whose stream is its first report alone: that
            // report was the odd one, and kept, the aircraft would be shown
            // there and race out to the others.
            if (ac.phase == AcPhase::birth && ac.stream.size() == 1 && ac.stream.front().airborne != 0 &&
                held.airborne != 0) {
                lf_replaceOddFirstPoint(ac, held, append);
                return false;
            }
            // The same on the ground: the new report was judged against the
            // odd first one and is judged again against the held report that
            // takes its place.
            if (ac.phase == AcPhase::birth && ac.stream.size() == 1 && ac.stream.front().airborne == 0 &&
                held.airborne == 0) {
                lf_replaceOddFirstGroundPoint(ac, held);
                StreamPoint again = point;
                if (lf_acceptPoint(ac, again)) append(ac, again);
                return true;
            }
            // Shown, its last report the bad one: not yet on the way there,
            // the aircraft drops it with the points put in along the turn
            // toward it, and the report before it counts as the last again.
            // Already flying its leg to it, the aircraft is made again where
            // the reports are. Kept, a holding A359 flew out to a position
            // 5 NM off its pattern and came back a minute behind its reports.
            // Parking, it is no longer on its way to the stand but miles off:
            // made again where the reports are, not driven there.
            if (ac.phase == AcPhase::parking && held.airborne == 0) {
                lf_takeOutAt(ac, point, ac.lastReportTime);
                return true;
            }
            if (lf_lastAirReportWasTheLoneOne(ac, held)) {
                if (ac.stream.size() == 1) {
                    lf_takeOutAt(ac, point, ac.lastReportTime);
                    return true;
                }
                ac.stream.pop_back();
                while (ac.stream.size() > 1 && ac.stream.back().turnPoint != 0) ac.stream.pop_back();
                m.lastAirReport = m.airReportBefore;
                m.lastAirReportTime = m.airReportBeforeTime;
                append(ac, held);
                return false;
            }
            // Shown, and the way there a detour off the line its track and
            // the last report's agree on: the last report was the wrong one,
            // and the aircraft is made again where the reports are.
            const StreamPoint* lastReport = lf_lastAirReport(ac);
            if (ac.phase != AcPhase::birth && lastReport != nullptr &&
                lf_isOffTheTrackLine(ac, *lastReport, held, double(held.playTick - lastReport->playTick) / 100.0)) {
                lf_takeOutAt(ac, point, ac.lastReportTime);
                return true;
            }
            append(ac, held);
            return false;
        }
        // Out of reach of both: nothing bears the held report out (it keeps
        // the time it came with, so a report out of its reach is no
        // retiming's doing, as it may be for the stream's last point), and
        // this one waits for the next report in its place. Taken in because
        // this one lay nearer it than the stream, two bad positions in a row
        // had a flying aircraft race miles out to the first and back.
    } else if (!jump) {
        return false;
    }
    m.heldJump = point;
    m.heldJumpSet = 1;
    return true;
}

// A point of an aircraft not yet shown: after the last one.
void lf_appendBirthPoint(LiveAc& ac, StreamPoint point) {
    const std::int32_t lastTick = ac.stream.back().playTick;
    if (point.playTick <= lastTick) point.playTick = lf_saturatedTick(std::int64_t(lastTick) + 1);
    ac.stream.push_back(point);
    lf_rememberAirReport(ac, point);
    // The report kept before the next one, shown or not: paced from the
    // first report instead, an arrival shown only once it had landed and
    // slowed to a taxi took the 77 kt from its report on final to its first
    // taxi report, 140 s on, as the pace its reports kept.
    lf_rememberReport(ac, ac.stream.back(), ac.lastReportTime);
}

void lf_appendPoint(LiveAc& ac, StreamPoint point);

void lf_decodeExisting(LiveAc& ac, StreamPoint point) {
    if (ac.stream.size() > kMaxStreamPoints) {
        lf_removeReported(ac);
        return;
    }
    if (ac.motion.holding != 0 && ac.phase == AcPhase::taxi && !ac.stream.empty()) {
        const double limitM = settingsSnapshot.load()->HOLDING_THRESHOLD_METERS;
        if (gf_distanceNm(lf_position(ac.stream.front()), lf_position(point)) * metresPerNm > limitM) {
            gf_endHolding(ac);
            lf_removeReported(ac);
            return;
        }
    }
    if (lf_repeatsLastReportPassedAtAPace(ac, point)) return;
    if (ac.phase == AcPhase::birth) {
        if (ac.stream.empty() || !lf_acceptPoint(ac, point)) return;
        if (!lf_holdsLoneJump(ac, point, lf_appendBirthPoint)) lf_appendBirthPoint(ac, point);
        return;
    }
    if (!lf_holdsLoneJump(ac, point, lf_appendPoint)) lf_appendPoint(ac, point);
}

// A flying aircraft's dead reckoning ran on far ahead of its reports: the
// report lies behind it along its course, further than it flies in the lag
// its reports allow. The stream refuses a report flown past (it would turn
// the aircraft round in the air), and every report after it lay behind too:
// an A333 shown on a first report 5 NM ahead of the others flew on away from
// them, slowing, for 40 s, until its dead reckoning ran out.
bool lf_flownFarPast(const LiveAc& ac, const StreamPoint& point) {
    constexpr double kLeastFarM = 1852.0;
    constexpr double kLagS = 10.0;
    if (ac.simState != AcSimState::active || ac.onGround != 0 || point.airborne == 0 || ac.extrapolationCount <= 0)
        return false;
    const double kt = std::isfinite(point.groundSpeedKt) ? std::max(point.groundSpeedKt, 0.0) : 0.0;
    const double farM = std::max(kLeastFarM, kt * kKnotsToMps * kLagS);
    const RelativePosition rel =
        gf_relativePosition({ac.pose.latitude, ac.pose.longitude}, ac.pose.heading, lf_position(point));
    if (!(std::fabs(rel.across) <= -rel.along)) return false;
    // Judged where the aircraft is when the report falls due: it flies on
    // meanwhile, no slower than it can fly. Judged where it is when the report
    // comes in, half a minute before its time, a B772 dead-reckoned on from a
    // first report 5 NM ahead of the others was only 2.1 km past the next one,
    // short of 10 s at its 439 kt, and refused each report after it as flown
    // past, slowing to its floor, until they came out ahead of it.
    const double untilDueS = std::max(0.0, gf_ticksBetween(tickCount.load(), point.playTick) / 100.0);
    const double floorKt = gf_airborneSpeedFloorKt(ac);
    const double onM = std::isfinite(floorKt) ? std::max(floorKt, 0.0) * kKnotsToMps * untilDueS : 0.0;
    return -rel.along + onM > farM;
}

void lf_appendPoint(LiveAc& ac, StreamPoint point) {
    // Made again where the reports are.
    if (lf_flownFarPast(ac, point)) {
        lf_takeOutAt(ac, point, ac.lastReportTime);
        gf_makeAgainFromReport(ac.hexid, point, ac.lastReportTime);
        return;
    }
    const bool pushback = ac.phase == AcPhase::pushing_back || ac.phase == AcPhase::pushed_back;
    const bool extends = lf_checkExtending(ac, point);
    // The reports taking over from dead reckoning widen the retiming limits
    // again: a landing roll stays near its reports' times all the same.
    gf_keepLandingRollOnTime(ac);
    // The reports a pushback follows, and those of the aircraft standing
    // where it ended, are where the reports had it all the same: the pace
    // of the first report the taxi takes runs from them.
    if (!extends && pushback && point.airborne == 0) lf_rememberReport(ac, point, ac.lastReportTime);
    if (!extends) return;
    if (point.airborne != 0 && std::isfinite(point.altitudeFt) && point.altitudeFt > 0.0) {
        ac.motion.lastAirborneAltitudeFt = point.altitudeFt;
        ac.motion.lastAirborneAltitudeValid = 1;
    }
    if (lf_isHeldOnRunway(ac, point)) return;
    if (!ac.stream.empty()) {
        // The stream runs as late as the leg planning made it: a report falls
        // due that much after its own time, keeping its spacing from the one
        // before, so that the legs give back the delay toward the reports'
        // own times instead of squeezing it into the reports that follow.
        point.playTick = lf_saturatedTick(std::int64_t(point.playTick) + std::max(0, ac.motion.streamLagTicks));
        if (point.airborne == 0 && ac.stream.back().stationary != 0) lf_trimStationaryRun(ac, point);
        lf_retime(ac, point);
        lf_detectTakeoff(ac, point);
    }
    lf_rememberReport(ac, point, ac.lastReportTime);
    ac.stream.push_back(point);
    lf_rememberAirReport(ac, point);
    gf_replanLegForNewCorner(ac);
    if (ac.stream.size() == 2 && ac.stream[0].stationary != 0 && ac.stream[1].stationary != 0) {
        // An aircraft that only stands: play its position at once.
        ac.stream[0].playTick = lf_saturatedTick(std::int64_t(tickCount.load()) + 1);
        ac.stream[0].groundSpeedKt = ac.stream[1].groundSpeedKt;
    }
}

}  // namespace

const CategoryLimits& gf_categoryLimits(std::uint32_t category) {
    if (category >= kCategoryLimits.size()) throw std::out_of_range("invalid unordered_map<K, T> key");
    return kCategoryLimits[category];
}

void gf_setDecodeCalls(DecodeCalls calls) { l_calls = std::move(calls); }

void gf_makeAgainFromReport(std::uint32_t hexid, const StreamPoint& report, double time) {
    if (hexid == 0 || report.airborne == 0 || !std::isfinite(time)) return;
    l_madeAgainFrom[hexid] = TakenOutReport{report, time};
}

std::optional<StreamPoint> gf_reportToMakeAgainFrom(std::uint32_t hexid) {
    const auto taken = l_madeAgainFrom.find(hexid);
    if (taken == l_madeAgainFrom.end()) return std::nullopt;
    return taken->second.point;
}

void gf_forgetReportsToMakeAgainFrom() { l_madeAgainFrom.clear(); }

bool gf_passQuarantine(std::uint32_t hexid, const StreamPoint& point, double time) {
    const auto it = quarantine.find(hexid);
    if (it == quarantine.end()) return true;
    QuarantineEntry& e = it->second;
    const double distanceM = gf_distanceNm(e.position, lf_position(point)) * metresPerNm;
    std::uint32_t count = e.count;
    bool released = false;
    if (point.airborne != 0) {
        count = 0;
        released = true;
    } else {
        const double dt = time - e.time;
        if (!std::isfinite(dt) || dt > kQuarantineGapS) {
            count = 1;
        } else if (dt <= 0.0) {
            // An older report: neither counts nor restarts.
        } else if (std::isfinite(distanceM) && distanceM <= kStableReportM) {
            ++count;
            released = count >= kReleasingCount;
        } else {
            count = 1;
        }
    }
    if (released) {
        quarantine.erase(it);
        return true;
    }
    e.position = lf_position(point);
    e.time = time;
    e.count = count;
    return false;
}

void decodeMessage(const TrafficRecord& record) {
    try {
        lf_decodeMessage(record);
    } catch (...) {
        // One aircraft's failure never stops decoding; its report is dropped.
        gf_reportTrafficException("decodeMessage");
    }
}

void decodeExisting(LiveAc& ac, StreamPoint point) {
    try {
        lf_decodeExisting(ac, point);
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{} exception {}", "decodeExisting", e.what()));
        throw;
    } catch (...) {
        gf_logError(fmt::format("{} exception {}", "decodeExisting", "non-standard exception"));
        throw;
    }
}

void gf_playThinnedReports() {
    const std::int64_t now = tickCount.load();
    for (LiveAc& ac : g_liveAircraft) {
        MotionState& m = ac.motion;
        if (m.thinnedReportSet == 0) continue;
        // The roll's own, once the roll has turned off into a taxi whose
        // stream ends at rest short of it, is the taxi's to play: no leg of
        // the taxi leads on to it. Dropped, an arrival whose reports in its
        // exit turn repeated a place at no speed, then had it 15 m on at
        // 10 kt as they ended, held at the repeat for good, 60 s behind.
        if (m.thinnedReportSet == kSetAsideOnTheRoll && ac.phase == AcPhase::taxi && !ac.stream.empty() &&
            lf_setsOffFromRest(ac.stream.back(), m.thinnedReport))
            m.thinnedReportSet = 1;
        // Not yet shown, it waits to be shown taxiing; the roll's own is
        // played on the roll only.
        const bool onRoll = m.thinnedReportSet == kSetAsideOnTheRoll;
        const bool taxiing = onRoll ? lf_rollsOnItsWheels(ac) : ac.phase == AcPhase::taxi;
        if (ac.stream.empty() || !(taxiing || (!onRoll && ac.phase == AcPhase::birth)) ||
            ac.simState == AcSimState::liveryrespawn || ac.simState == AcSimState::removingfromsim ||
            !(m.thinnedReportTime > ac.lastReportTime)) {
            m.thinnedReportSet = 0;
            continue;
        }
        if (!taxiing || now - m.thinnedReportTick < kThinnedReportSilenceTicks ||
            std::int64_t{ac.stream.back().playTick} - now > kThinnedReportPlayTicks)
            continue;
        m.thinnedReportSet = 0;
        if (lf_repeatsPlacePassedAtAPace(ac.stream.back(), m.thinnedReport)) continue;
        ac.lastReportTime = m.thinnedReportTime;
        try {
            decodeExisting(ac, m.thinnedReport);
        } catch (...) {
            gf_reportTrafficException("decodeMessage");
        }
    }
}

void gf_decodeMailboxRecords() {
    l_history.clear();
    gf_takeHistoryRecords(l_history);
    // Decoded in the order of their reports' times: a live batch kept while
    // the start path waits may come before the buffer that holds the minute
    // leading up to it (the application sends its traffic on while the
    // buffer is asked for). Decoded as posted, each aircraft of such a batch
    // dropped every buffered report as older than the one it had, and was
    // first shown half a minute later, when that report fell due: after a
    // restart, long after the user had seen it last. A time that is not a
    // number sorts first; the decode drops it.
    std::stable_sort(l_history.begin(), l_history.end(), [](const TrafficRecord& a, const TrafficRecord& b) {
        const auto key = [](double t) { return std::isnan(t) ? -std::numeric_limits<double>::infinity() : t; };
        return key(a.time) < key(b.time);
    });
    for (const TrafficRecord& record : l_history) decodeMessage(record);
    gf_keepReportsNotYetDue(l_history);
    l_history.clear();
    static const std::function<void(const TrafficRecord&)> decode = [](const TrafficRecord& record) {
        decodeMessage(record);
        gf_keepReportsNotYetDue({&record, 1});
    };
    gf_takeMailboxRecords(decode);
    gf_playThinnedReports();
}
