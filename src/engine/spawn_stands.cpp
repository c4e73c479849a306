#include "engine/spawn_stands.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

#include <fmt/format.h>

#include "airports/current_airport.h"
#include "airports/loaded_airport.h"
#include "airports/stand_options.h"
#include "engine/aircraft_ids.h"
#include "engine/engine_lists.h"
#include "engine/engine_state.h"
#include "engine/geometry.h"
#include "engine/life_cycle.h"
#include "engine/removal_policies.h"
#include "engine/spawn.h"
#include "engine/stands.h"
#include "foundation/geodesy.h"
#include "foundation/log.h"
#include "foundation/time.h"
#include "motion/flight_phases.h"
#include "motion/ground_roll.h"
#include "motion/motion_math.h"
#include "motion/pushback.h"
#include "motion/stand_parking.h"
#include "motion/stream_checks.h"
#include "motion/tick_math.h"
#include "simlink/sim_link.h"

namespace {

constexpr double kNearAirportSquaredNm = 25.0;                  // 5 NM
constexpr double kCalmSpeedKt = 6.0;
// A first report at this speed or less stands (kt).
constexpr double kStandingKt = 0.5;
constexpr double kCalmSpreadSquaredNm = 0.0003571528532577005;  // 35 m
// A report says the aircraft moves from this speed (kt): one the decoder set
// aside, or the first it was created with.
constexpr double kMovingSetAsideKt = 1.0;
// A pushback report this far (m) from the one before tells the way the
// aircraft was pushed.
constexpr double kLeastPushedOnM = 1.0;
// A taken-over object's create result is due at once: the delayed handling
// only waits for the data still missing.
constexpr std::int32_t kPromotedResultAge = 200;
// The kind of a stand flight option recorded when a live aircraft spawns at
// a stand.
constexpr std::int32_t kSpawnStandOption = 1;

PromotionCreatedHandler l_createdHandler = nullptr;

LaLo lf_position(const StreamPoint& p) { return {p.lat, p.lon}; }


// The stands are loaded and a valid current airport lies within 5 NM of the
// front point.
bool lf_nearLoadedAirport(const StreamPoint& front) {
    const auto airport = gf_currentAirport();
    if (!airport || airport->icao.isNone() || !gf_isValidLaLo(airport->position)) return false;
    if (!gf_loadedAirport().fileLoaded) return false;
    const double cosLat = std::cos(airport->position.lat * degreesToRadians);
    return gf_flatDistanceSquaredNm(lf_position(front), airport->position, cosLat) <= kNearAirportSquaredNm;
}

// A speed no roll goes is none here too: taken as told, a departure whose
// report on its stand said 1e6 kt was not found standing there; its
// pushback reports after it were held for a taxi that never came.
bool lf_isSlow(const LiveAc& ac) {
    return std::all_of(ac.stream.begin(), ac.stream.end(),
                       [](const StreamPoint& p) { return gf_believedGroundKt(p.groundSpeedKt) <= kCalmSpeedKt; });
}

// A moving front point qualifies only when the whole stream is slow and the
// last point lies within 35 m of the front one.
bool lf_isCalm(const LiveAc& ac) {
    return lf_isSlow(ac) && gf_flatDistanceSquaredNm(lf_position(ac.stream.front()), lf_position(ac.stream.back())) <=
                                kCalmSpreadSquaredNm;
}

// The place lies off the stand found and on another, nearer one (a stand of
// a kind the aircraft does not take): the aircraft stands there. Put on the
// neighbour, it stood tens of metres off every report it was then given; it
// waits instead, as one whose stand is not free does.
bool lf_standsOnAnotherStand(LaLo at, const Stand& found) {
    const double foundNm = gf_distanceNm(at, {found.latitude, found.longitude});
    if (foundNm <= found.radius) return false;
    return std::any_of(g_standTable.begin(), g_standTable.end(), [&](const Stand& other) {
        if (other.id == found.id || other.type == ParkingType::NONE || other.heli != found.heli) return false;
        const double nm = gf_distanceNm(at, {other.latitude, other.longitude});
        return nm < foundNm && nm <= other.radius;
    });
}

// The place lies off the stand found (beyond its radius), and another live
// aircraft stands on that stand: the scatter of a parked aircraft's reports
// put this one nearer a neighbour's stand than its own. Taking it, it
// removed the aircraft standing there (created again seconds later, late)
// and was not shown there either, the removal still on its way; it waits
// for a report that tells its stand, as one whose stand is not free does.
bool lf_offAStandAnotherStandsOn(const LiveAc& ac, LaLo at, const Stand& found) {
    if (!(gf_distanceNm(at, {found.latitude, found.longitude}) > found.radius)) return false;
    const auto id = static_cast<std::int32_t>(found.id);
    return std::any_of(g_liveAircraft.begin(), g_liveAircraft.end(), [&](const LiveAc& other) {
        return other.hexid != ac.hexid && other.standId == id && gf_isStandHoldingPhase(other.phase) &&
               other.callsign != ac.callsign &&
               (other.registration.empty() || other.registration != ac.registration);
    });
}

// A live aircraft on a colliding stand reaches into the chosen one.
bool lf_wingsOverlapAtExcludedStands(const LiveAc& ac, const Stand& stand) {
    for (const std::uint32_t excluded : stand.excludes) {
        for (const LiveAc& other : g_liveAircraft)
            if (isLiveWingOverlapAtStand(other, excluded, ac, stand)) return true;
    }
    return false;
}

std::vector<AcBase>::iterator lf_promotableStatic(const LiveAc& ac) {
    return std::find_if(g_staticAircraft.begin(), g_staticAircraft.end(), [&ac](const AcBase& s) {
        return s.hexid == ac.promoteStaticId && s.simState == AcSimState::active && s.standId == ac.standId &&
               s.objectId >= kFirstObjectId;
    });
}

// A refused take-over leaves the object with nobody: it is removed from the
// simulator, and the aircraft goes on as it would without a static there.
void lf_undoPromotion(LiveAc& ac, std::uint32_t objectId) {
    removeQueue.push_back(objectId);
    ac.objectId = 0;
    ac.promoted = 0;
    ac.hasSimPose = 0;
    ac.hasStaticCg = 0;
}

// Whether the aircraft created at its stand from a first report that moves
// (`first`, where it was reported) moves off the stand (`standAt`): its next
// report a metre or more on lies farther from the stand, or without one its
// own track leads away from the stand. A tow along the lane into its stand,
// first reported 56 m short of it and going in, was taken for a pushback
// begun there: it stood at the stand for good, its reports 60 s ahead.
bool lf_movesOffStand(LaLo standAt, LaLo first, double firstTrackDeg, const std::vector<StreamPoint>& later) {
    const double firstNm = gf_distanceNm(standAt, first);
    for (const StreamPoint& p : later) {
        const LaLo at = gf_reportedPosition(p);
        if (gf_distanceNm(first, at) * metresPerNm >= kLeastPushedOnM) return gf_distanceNm(standAt, at) > firstNm;
    }
    return gf_relativePosition(standAt, firstTrackDeg * degreesToRadians, first).along > 0.0;
}

// The reports the aircraft was created with after its first go through the
// stand watch as if they came now, from the stand it stands on facing the
// stand's way: a pushback that has begun is kept for it, and the watch goes
// on from them.
void lf_watchReportsAtSpawn(LiveAc& ac, const StreamPoint& first, const std::vector<StreamPoint>& later) {
    gf_forgetLeavingReports(ac);
    MotionState& m = ac.motion;
    m.standDistancesSet = 0;
    m.standMoveCount = 0;
    m.departureWatch = 0;
    ac.pose.latitude = ac.standPos.lat;
    ac.pose.longitude = ac.standPos.lon;
    ac.pose.heading = ac.standHeadingRad;
    StreamPoint at = ac.stream.front();
    // A first report that moves off the stand (its pushback or tow begun,
    // the stream calm all the same) tells where the aircraft was when it fell
    // due, not that it stood at its stand then: it stood there until its pace
    // from rest gets it there in time, and the report goes to the watch as it
    // came. Taken for its last report at the stand, a B739 removed from its
    // stand while its reports paused was created again there with its
    // pushback 12 m on: the pushback waited until that report fell due and
    // trailed its reports by 6 s. One coming toward the stand never left it.
    const bool moved = gf_believedGroundKt(first.groundSpeedKt) >= kMovingSetAsideKt &&
                       lf_movesOffStand(lf_position(at), gf_reportedPosition(first), first.trackDeg, later);
    if (moved) {
        const std::int32_t left = gf_tickPlus(0, gf_mustLeaveBy(at, first));
        if (gf_ticksBetween(left, at.playTick) > 0) at.playTick = left;
    }
    checkAtStandSituations(ac, at);
    if (moved) {
        StreamPoint p = first;
        const LaLo reported = gf_reportedPosition(p);
        p.lat = reported.lat;
        p.lon = reported.lon;
        p.stationary = 0;
        checkAtStandSituations(ac, p);
    }
    // Each where it was reported: the stream checks moved the scatter of a
    // standing aircraft onto the point before it, and copies show none.
    // Taken as copies, the reports of a parked C172 that had scattered by
    // 20 m showed it standing to the metre, and the next two that happened
    // to fall together 18 m behind it read as a pushback hidden in a pause:
    // it was pushed there.
    for (StreamPoint p : later) {
        const LaLo at = gf_reportedPosition(p);
        p.lat = at.lat;
        p.lon = at.lon;
        checkAtStandSituations(ac, p);
    }
    // The last report the decoder set aside as adding nothing to the stream
    // while it moves (a pushback going straight on at a walking pace) is the
    // watch's too: after its creation the aircraft's reports go to the watch,
    // which plays no report set aside, and without it the pushback would stop
    // where the last kept report has it (for good when the stream ends
    // there). One at no speed to speak of tells nothing the watch needs: the
    // aircraft stood, and its pushback, however late it is seen, would be
    // held back until then.
    MotionState& held = ac.motion;
    if (held.thinnedReportSet != 0 && held.thinnedReportTime > ac.lastReportTime &&
        held.thinnedReport.groundSpeedKt >= kMovingSetAsideKt) {
        held.thinnedReportSet = 0;
        ac.lastReportTime = held.thinnedReportTime;
        StreamPoint p = held.thinnedReport;
        const std::int32_t after = !later.empty() ? later.back().playTick : moved ? first.playTick : at.playTick;
        if (gf_ticksBetween(after, p.playTick) <= 0) p.playTick = gf_tickPlus(after, 1);
        checkAtStandSituations(ac, p);
    }
}

}  // namespace

// Where a standing aircraft's reports centre: the front and the reports at
// rest after it within a standing aircraft's scatter of it, each where it was
// reported (the stream checks moved their scatter onto the front). A parked
// C56X whose reports scattered by 20 m about its stand was put on the
// neighbouring stand its first report lay nearer, and made to leave it (and
// wait 36 s to be shown again) when that stand's own aircraft came.
LaLo gf_standingCentre(const LiveAc& ac) {
    double lat = 0.0;
    double lon = 0.0;
    int count = 0;
    constexpr double kScatterNm = 50.0 / metresPerNm;  // what a standing aircraft's reports scatter by
    for (const StreamPoint& p : ac.stream) {
        if (count > 0 && p.stationary == 0 && p.groundSpeedKt != 0.0) break;
        const LaLo at = gf_reportedPosition(p);
        if (gf_distanceNm(at, lf_position(ac.stream.front())) > kScatterNm) break;
        lat += at.lat;
        lon += gf_wrapLongitudeDifference(at.lon - ac.stream.front().lon);
        ++count;
    }
    return {lat / count, ac.stream.front().lon + lon / count};
}

Stand* chooseSpawnStand(LiveAc& ac) {
    if (ac.stream.empty() || !lf_nearLoadedAirport(ac.stream.front())) return nullptr;
    StreamPoint& front = ac.stream.front();
    // An aircraft first reported standing, whose later reports already move
    // off slowly beyond the stand (its pushback or tow has begun), stands at
    // its stand: it appears there and leaves it as a parked aircraft does.
    const bool calm = front.stationary != 0 || lf_isCalm(ac);
    const bool leaving = !calm && gf_believedGroundKt(front.groundSpeedKt) <= kStandingKt && lf_isSlow(ac);
    if (!calm && !leaving) return nullptr;
    const LaLo searchAt = front.stationary != 0 ? gf_standingCentre(ac)
                          : leaving              ? lf_position(front)
                                                 : lf_position(ac.stream.back());
    if (ac.standSearchHit == 0 && gf_isSamePlace(searchAt, ac.lastStandSearchPos)) return nullptr;
    ac.lastStandSearchPos = searchAt;

    // The wider radius admits only stands this flight is known to use: an
    // aircraft standing a little off its usual stand still gets it.
    double distanceMetres = 0.0;
    Stand* stand = gf_findNearestStand(g_standTable, searchAt, ac, distanceMetres, true);
    if (stand == nullptr || lf_standsOnAnotherStand(searchAt, *stand)) {
        ac.standSearchHit = 0;
        return nullptr;
    }
    ac.standSearchHit = 1;
    if (gf_isUserStand(*stand)) return nullptr;
    const auto id = static_cast<std::int32_t>(stand->id);
    if (lf_offAStandAnotherStandsOn(ac, searchAt, *stand) || !lf_checkStandIsNotUsedByOtherLiveAircraftSub(id, ac) ||
        lf_wingsOverlapAtExcludedStands(ac, *stand) || !gf_isStandFreeForLive(id, ac.hexid)) {
        ac.removeRecord = 1;
        return nullptr;
    }
    if (const MakeWayResult way = makeWayAtStand(ac, *stand, true); way.found) ac.promoteStaticId = way.promoteHexid;
    return stand;
}

void parkAtSpawnStand(LiveAc& ac, const Stand& stand) {
    gf_assignStandToAircraft(ac, stand);
    ac.arrivingHere = 0;
    setFlightPhase(ac, AcPhase::parked);
    ac.parkTime = gf_currentParkTime();
    ac.phaseStartClock = gf_systemClock100ns();
    ac.motion.engineOffScheduled = 0;
    ac.motion.lightsScheduled = 0;
    ac.motion.departurePending = 0;
    const std::vector<StreamPoint> later(ac.stream.begin() + 1, ac.stream.end());
    if (ac.stream.size() > 1) ac.stream.resize(1);
    StreamPoint& front = ac.stream.front();
    const StreamPoint first = front;
    front.stationary = 1;
    front.groundSpeedKt = 0.0;
    front.lat = stand.latitude;
    front.lon = stand.longitude;
    front.trackDeg = stand.heading * radiansToDegrees;
    gf_addRealStandOption(stand.id, ac, kSpawnStandOption);
    if (ac.promoteStaticId == 0) gf_trimParkedToTarget(1);
    lf_watchReportsAtSpawn(ac, first, later);
}

bool promoteStaticToLive(LiveAc& ac) {
    const auto it = lf_promotableStatic(ac);
    if (it == g_staticAircraft.end() || !gf_liveAcHoldsStand(ac.standId, ac.hexid) ||
        gf_liveStandUse(ac.standId, ac.hexid) != 0)
        return false;

    const AcBase stat = *it;
    gf_dropPendingSimObject(stat.hexid, 0);
    g_staticAircraft.erase(it);
    g_promotionsCount.fetch_add(1);

    ac.liveryTitle = stat.liveryTitle;
    ac.simPose = stat.simPose;
    ac.hasSimPose = stat.hasSimPose;
    ac.hasStaticCg = stat.hasStaticCg;
    ac.groundOffsetFt = stat.groundOffsetFt;
    ac.staticPitchRad = stat.staticPitchRad;
    ac.groundOffsetFromSim = stat.groundOffsetFromSim;
    ac.promoted = 1;
    applySimPoseAtStand(ac);

    gf_releaseStaticObjectId(stat.objectId);
    SimCommand created;
    created.objectId = stat.objectId;
    created.hexid = ac.hexid;
    created.kind = SIM_RESULT_LIVE_ASSIGNED;
    const bool accepted =
        l_createdHandler != nullptr ? l_createdHandler(ac, created, true) : onLiveObjectCreated(ac, created, true);
    if (!accepted) {
        gf_logError(fmt::format("Promotion failed for {} object {}", ac.callsign, gf_objectIdText(stat.objectId)));
        lf_undoPromotion(ac, stat.objectId);
        return false;
    }
    if (ac.hasSimPose == 0 || ac.hasStaticCg == 0) {
        ac.simState = AcSimState::adding2sim;
        created.tick = kPromotedResultAge;
        delayedSimCommands.push_back(created);
    } else {
        activateLiveAc(ac);
    }
    gf_log(fmt::format("{:14}: {:8} {} promoted to live {} {}", gf_standNameById(ac.standId), stat.callsign,
                       stat.registration, ac.callsign, ac.registration));
    return true;
}

bool gf_placeAtLatePushback(LiveAc& ac, AiCreateRequest& request) {
    if (ac.simState != AcSimState::adding2sim || ac.phase != AcPhase::parked || ac.promoted != 0 ||
        ac.activationTick != 0 || ac.stream.empty())
        return false;
    const std::vector<StreamPoint>& push = ac.motion.leaving.pushback;
    if (push.empty()) return false;
    const std::int32_t now = tickCount.load();
    // Asked for between one place of the pushback and the next, it starts as
    // far on toward the next as the time between them has gone: placed at the
    // report due, it trailed its reports by that time from its first tick
    // (9 s of a 16 s gap in the reports), and at a pushback's pace it caught
    // up too late.
    const auto partWay = [now](LaLo from, std::int32_t fromTick, LaLo to, std::int32_t toTick) -> std::optional<LaLo> {
        const std::int32_t span = gf_ticksBetween(fromTick, toTick);
        const std::int32_t gone = gf_ticksBetween(fromTick, now);
        if (!(gone > 0 && gone < span) || !(gf_distanceNm(from, to) * metresPerNm >= kLeastPushedOnM))
            return std::nullopt;
        return gf_between(from, to, static_cast<double>(gone) / span);
    };
    std::size_t due = push.size();
    for (std::size_t k = 0; k < push.size(); ++k)
        if (gf_ticksBetween(push[k].playTick, now) >= 0) due = k;
    LaLo at{};
    LaLo before = ac.standPos;
    if (due >= push.size()) {
        // None of its reports due yet, but by them the pushback has begun: it
        // set off from its stand when they say. Shown at its stand, an A320
        // asked for 1.2 s before its first report fell due 26 m out trailed
        // its reports by 12 s, and at a pushback's pace caught up with them
        // only 20 s later.
        const std::optional<LaLo> on =
            partWay(ac.standPos, gf_pushbackBegins(ac), lf_position(push.front()), push.front().playTick);
        if (!on || !(gf_distanceNm(before, *on) * metresPerNm >= kLeastPushedOnM)) return false;
        at = *on;
    } else {
        at = lf_position(push[due]);
        if (due > 0) before = lf_position(push[due - 1]);
        if (!(gf_distanceNm(before, at) * metresPerNm >= kLeastPushedOnM)) return false;
        if (due + 1 < push.size())
            if (const std::optional<LaLo> on =
                    partWay(at, push[due].playTick, lf_position(push[due + 1]), push[due + 1].playTick)) {
                before = at;
                at = *on;
            }
    }
    // Tail first along the way its reports went.
    ac.pose.latitude = at.lat;
    ac.pose.longitude = at.lon;
    ac.pose.heading = normalizeHeading(gf_bearing(before, at) + pi);
    ac.motion.groundHeading = ac.pose.heading;
    StreamPoint& front = ac.stream.front();
    front.lat = at.lat;
    front.lon = at.lon;
    front.trackDeg = ac.pose.heading * radiansToDegrees;
    request.position.Latitude = ac.pose.latitude;
    request.position.Longitude = ac.pose.longitude;
    request.position.Heading = ac.pose.heading * radiansToDegrees;
    return true;
}

void applySimPoseAtStand(LiveAc& ac) {
    if (ac.phase != AcPhase::parked || ac.hasSimPose == 0) return;
    ac.pose = ac.simPose;
    ac.pose.verticalSpeed = 0.0;
    ac.pose.trueAirspeed = 0.0;
    if (!ac.stream.empty()) {
        StreamPoint& front = ac.stream.front();
        front.lat = ac.pose.latitude;
        front.lon = ac.pose.longitude;
        front.altitudeFt = ac.pose.altitude;
        front.trackDeg = ac.pose.heading * radiansToDegrees;
    }
    ac.motion.groundHeading = ac.pose.heading;
    fixStandAltitude(ac);
}

void fixStandAltitude(LiveAc& ac) {
    if (ac.phase != AcPhase::parked || ac.promoted != 0 || ac.hasSimPose == 0 || ac.hasStaticCg == 0 ||
        ac.motion.standGroundElevationKnown == 0)
        return;
    const double altitude = ac.motion.standGroundElevationFt + ac.groundOffsetFt;
    ac.pose.altitude = altitude;
    if (!ac.stream.empty()) ac.stream.front().altitudeFt = altitude;
}

void gf_setPromotionCreatedHandler(PromotionCreatedHandler handler) { l_createdHandler = handler; }
