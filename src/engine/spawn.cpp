#include "engine/spawn.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include <fmt/format.h>

#include "airports/current_airport.h"
#include "engine/aircraft_ids.h"
#include "engine/collisions.h"
#include "engine/engine_lists.h"
#include "engine/engine_state.h"
#include "engine/geometry.h"
#include "engine/removal_policies.h"
#include "engine/services.h"
#include "engine/shown_places.h"
#include "engine/spawn_stands.h"
#include "engine/stands.h"
#include "engine/user_position.h"
#include "foundation/geodesy.h"
#include "foundation/log.h"
#include "liveries/code_tables.h"
#include "liveries/dbase.h"
#include "liveries/failed_liveries.h"
#include "liveries/livery_matching.h"
#include "motion/air_movement.h"
#include "motion/flight_phases.h"
#include "motion/ground_roll.h"
#include "motion/motion_math.h"
#include "motion/pushback.h"
#include "motion/stream_checks.h"
#include "motion/tick_math.h"
#include "settings/snapshot.h"
#include "simlink/sim_link.h"

namespace {

constexpr double kLowAirborneAboveAirportFt = 700.0;
constexpr std::size_t kMaxQueuedCreates = 10;
constexpr std::int32_t kNoLiveLimit = 500;
constexpr double kUserLowFt = 500.0;
constexpr double kUserHoldSpeedKt = 8.0;
constexpr double kUserHoldDistanceM = 500.0;
constexpr double kFastTaxiKt = 30.0;
// Reports that move an aircraft off the spot it stood on at no more than
// this (kt) push it back or tow it out, not taxi it.
constexpr double kWalkingPaceKt = 6.0;
constexpr double kWalkingPaceBaseTicks = 300.0;
constexpr double kGroundPitchRad = 0.010471975511965976;  // 0.6 degree
// An aircraft placed beyond its last report flies on from it for at most the
// time dead reckoning would carry it (20 points of 3 s).
constexpr std::int32_t kMostProjectedTicks = 6000;
constexpr std::int32_t kProjectedStepTicks = 300;
// How long after it falls due a lone report waits for the next.
constexpr std::int32_t kLoneReportWaitTicks = 3000;
// How long after it falls due a lone report of a flying aircraft waits
// before the aircraft is shown flying on from it: any report sent within the
// feed's delay after it is here by then, and a few seconds more cover a
// datagram that came late.
constexpr std::int32_t kLoneFlyingWaitTicks = 300;
// No aircraft flies this fast (kt): a lone report saying so is not flown on.
constexpr double kFastestFlyingKt = 1000.0;
// A later report bears out flying on from a lone one when it lies within
// this share of the run between them (at least this many metres) of where
// flying on puts the aircraft then.
constexpr double kFlyOnMissShare = 0.25;
constexpr double kLeastFlyOnMissM = 150.0;
// A reported speed above this many times the reports' own distance over
// time, plus this much (kt), is not believed.
constexpr double kMostOverOwnFactor = 3.0;
constexpr double kMostOverOwnKt = 50.0;
constexpr double kAtRestKt = 1.0;
// A report at this speed or less stands (kt), as the stand search takes it.
constexpr double kStandingKt = 0.5;
// Reports at rest lying no farther apart than this (m) are one standing
// aircraft's scatter.
constexpr double kStandingScatterM = 35.0;
// A pushback goes on at no less than this (m/s) after its last report.
constexpr double kLeastPushMps = 0.5;
// A place flown on along a turn is stepped this often (ticks).
constexpr double kProjectedArcStepTicks = 100.0;
constexpr double kTicksPerSecond = 100.0;


LaLo lf_position(const StreamPoint& p) { return {p.lat, p.lon}; }


// Where flying on from the report at its speed and track has the aircraft
// the given number of ticks after it (invalid when it cannot be told).
LaLo lf_flownOnFrom(const StreamPoint& from, std::int64_t ticks) {
    const double runFt = from.groundSpeedKt * double(ticks) / 360000.0 * feetPerNm;
    LaLo ahead = gf_destinationPoint(lf_position(from), {from.trackDeg * degreesToRadians, runFt});
    gf_normalizeLaLo(ahead);
    return ahead;
}

// A later report is where flying on from the lone one puts it, at an
// altitude that does not contradict it: the two agree, however the later one
// came to be held (an aircraft faster than its type's book speed).
bool lf_bearsOutFlyingOn(const StreamPoint& lone, const StreamPoint& later) {
    const std::int64_t ticks = std::int64_t(later.playTick) - lone.playTick;
    if (ticks <= 0 || gf_altitudesContradict(lone, later)) return false;
    const LaLo there = lf_flownOnFrom(lone, ticks);
    if (!gf_isValidLaLo(there)) return false;
    const double runM = lone.groundSpeedKt * kKnotsToMps * double(ticks) / 100.0;
    const double missM = gf_distanceNm(there, lf_position(later)) * metresPerNm;
    return missM <= std::max(kLeastFlyOnMissM, kFlyOnMissShare * runM);
}

// A flying aircraft whose lone report is due, and whose next report is
// more than the feed's delay away (a report gap), is shown as it flies on
// from that report at its reported speed and track, as dead reckoning takes
// it on later: waiting for the next report, it appeared up to 40 s after it
// was reported. Not while a later report out of its reach that does not bear
// it out is held: one of the two is a bad position and only the next report
// tells which (flown on from, a first report 5,000 ft too high had a light
// aircraft shown up there and dive to the runway). True when the point 3 s
// on was added.
bool lf_flyOnFromLoneReport(LiveAc& ac) {
    const StreamPoint& front = ac.stream.front();
    if (front.airborne == 0 || front.stationary != 0 || !std::isfinite(front.trackDeg) ||
        !(front.groundSpeedKt > 0.0) || !(front.groundSpeedKt < kFastestFlyingKt) ||
        gf_ticksBetween(front.playTick, tickCount.load()) < kLoneFlyingWaitTicks)
        return false;
    if (ac.motion.heldJumpSet != 0 && !lf_bearsOutFlyingOn(front, ac.motion.heldJump)) return false;
    const LaLo ahead = lf_flownOnFrom(front, kProjectedStepTicks);
    if (!gf_isValidLaLo(ahead)) return false;
    StreamPoint p = front;
    p.lat = ahead.lat;
    p.lon = ahead.lon;
    p.playTick = gf_tickPlus(front.playTick, kProjectedStepTicks);
    ac.stream.push_back(p);
    return true;
}

// An aircraft on the ground whose lone report has it at rest, due this long
// (the same wait as a flying one's) and not yet told to have no free stand,
// is shown standing there, as two reports at rest show it: waiting for the
// next report, a departure reported once at its stand before a report gap
// appeared as its pushback began, seconds after its reports said it was
// there. Where no stand is free for it, the spawn says so once; the lone
// report then waits for the next as before. True when the point at rest 3 s
// on was added.
bool lf_standOnFromLoneReport(LiveAc& ac) {
    const StreamPoint& front = ac.stream.front();
    if (front.airborne != 0 || front.groundSpeedKt != 0.0 || ac.toldNoStand != 0 ||
        gf_ticksBetween(front.playTick, tickCount.load()) < kLoneFlyingWaitTicks)
        return false;
    StreamPoint p = front;
    p.stationary = 1;
    p.playTick = gf_tickPlus(front.playTick, kProjectedStepTicks);
    ac.stream.push_back(p);
    return true;
}

// A later report of the very spot the front reports the aircraft moving on
// from at more than a walking pace (it stands there, at no speed), with a
// report after it that moves on: a receiver repeating the position it last
// gave while the aircraft went on. No aircraft comes to rest on the spot it
// passed at taxi pace. Taken for a stop, it had an arrival leaving its
// runway wait as one standing where no stand is free for it, and appear at
// the repeated spot at rest only once its reports moved on, seconds behind
// them. Only the reports of an aircraft not yet shown are judged so: in the
// stream of one shown before, such a point is a hold its motion made.
bool lf_secondRepeatsMovingFront(const LiveAc& ac) {
    const auto& s = ac.stream;
    if (s.size() < 3) return false;
    return s[0].groundSpeedKt > kWalkingPaceKt && gf_isSamePlace(lf_position(s[0]), lf_position(s[1])) &&
           !gf_isSamePlace(lf_position(s[1]), lf_position(s[2]));
}

// The front is the last report of an aircraft at rest on the ground, and
// the next one moves off at no more than a walking pace: where it stood (its
// stand, when it is pushed back or towed off one). Kept, the aircraft is
// found on that stand when its turn comes, and its reports of leaving it are
// played from there. Consumed while the creates queued, an aircraft whose
// pushback had begun was created halfway along it as a taxi, driven nose
// first the way it was pushed, and turned on the spot at its end.
bool lf_lastAtRestBeforeMovingOff(const LiveAc& ac) {
    const auto& s = ac.stream;
    return s.size() >= 2 && s[0].airborne == 0 && s[1].airborne == 0 && s[0].groundSpeedKt <= kStandingKt &&
           s[1].groundSpeedKt > kStandingKt && s[1].groundSpeedKt <= kWalkingPaceKt;
}

void lf_consumeFront(LiveAc& ac) {
    if (!ac.stream.empty()) ac.stream.pop_front();
}

// Both reports say the aircraft is at rest, and they lie within a standing
// aircraft's scatter of each other.
bool lf_scatterOfStanding(const StreamPoint& a, const StreamPoint& b) {
    return a.airborne == 0 && b.airborne == 0 && a.groundSpeedKt == 0.0 && b.groundSpeedKt == 0.0 &&
           gf_distanceNm(lf_position(a), lf_position(b)) * metresPerNm <= kStandingScatterM;
}

// The user on the ground or low above it: a finite height above 500 ft is not.
bool lf_userIsLow(const UserAircraftState& user) {
    return !(std::isfinite(user.altitudeAboveGround) && user.altitudeAboveGround > kUserLowFt);
}

// The altitude of the current airport when a valid one is set, else 0.
double lf_airportAltitudeFt() {
    const auto airport = gf_currentAirport();
    if (!airport || !gf_isValidLaLo(airport->position)) return 0.0;
    return static_cast<double>(airport->altitudeFt);
}

// The front point is a lone altitude spike: the next point contradicts it,
// while the one after that agrees with the next.
bool lf_frontIsAltitudeSpike(const LiveAc& ac) {
    const auto& s = ac.stream;
    return s.size() >= 3 && gf_altitudesContradict(s[0], s[1]) && !gf_altitudesContradict(s[1], s[2]);
}

bool lf_anyAirborne(const LiveAc& ac) {
    return std::any_of(ac.stream.begin(), ac.stream.end(), [](const StreamPoint& p) { return p.airborne != 0; });
}

std::size_t lf_countLiveInSim() {
    return static_cast<std::size_t>(std::count_if(g_liveAircraft.begin(), g_liveAircraft.end(), [](const LiveAc& a) {
        return a.simState == AcSimState::adding2sim || a.simState == AcSimState::active;
    }));
}

// A live aircraft, not on its way out, carries the callsign.
bool lf_hasLiveTwin(std::string_view callsign) {
    return std::any_of(g_liveAircraft.begin(), g_liveAircraft.end(), [callsign](const LiveAc& a) {
        return a.simState != AcSimState::removingfromsim && a.callsign == callsign;
    });
}

// The way a ground report's nose points: its true heading when it carries
// one, else its track.
double lf_nose(const StreamPoint& p) {
    return p.hasTrueHeading != 0 && std::isfinite(p.trueHeading) ? p.trueHeading : p.trackDeg * degreesToRadians;
}

// Where an aircraft whose last report `pushed` pushes it back and whose
// next report `taxi` taxis it appears as its taxi begins: on the taxi
// report's line, behind it by the distance between the two reports, or by
// `mostNm` where that is less.
LaLo lf_taxiBeginsAt(const StreamPoint& pushed, const StreamPoint& taxi,
                     double mostNm = std::numeric_limits<double>::infinity()) {
    const double behindNm = std::min(gf_distanceNm(lf_position(pushed), lf_position(taxi)), mostNm);
    LaLo at = gf_destinationPoint(lf_position(taxi), {lf_nose(taxi) + pi, behindNm * feetPerNm});
    gf_normalizeLaLo(at);
    return at;
}

// The aircraft stands at the place: its front and the reports at rest after
// it within a standing aircraft's scatter of it stand there, nose the
// place's way.
void lf_standAt(LiveAc& ac, const StandingPlace& place) {
    const LaLo first = lf_position(ac.stream.front());
    for (StreamPoint& p : ac.stream) {
        const bool atRest = p.stationary != 0 || p.groundSpeedKt == 0.0;
        if (&p != &ac.stream.front() &&
            (!atRest || gf_distanceNm(first, lf_position(p)) * metresPerNm > kStandingScatterM))
            break;
        p.lat = place.at.lat;
        p.lon = place.at.lon;
        p.stationary = 1;
        p.groundSpeedKt = 0.0;
        p.trackDeg = place.headingRad * radiansToDegrees;
        p.trueHeading = place.headingRad;
        p.hasTrueHeading = 1;
    }
}

}  // namespace

void gf_logLowOverAirport(std::string_view callsign, std::string_view registration) {
    gf_log(fmt::format("{} {} flies {:.0f} ft or less above the airport: not shown while it does", callsign,
                       registration.empty() ? callsign : registration, kLowAirborneAboveAirportFt));
}

void checkSpawnLiveAc(LiveAc& ac) {
    if (ac.stream.empty()) {
        ac.removeRecord = 1;
        return;
    }
    if (tickCount.load() < ac.stream.front().playTick) return;
    if (ac.stream.size() == 1 && !lf_flyOnFromLoneReport(ac) && !lf_standOnFromLoneReport(ac)) {
        // A lone report waits a while for the next one. A flying aircraft's
        // reports pause for up to a minute, and so do a parked one's, half
        // of which the feed's delay covers; dropped, the lone report took
        // the aircraft with it, and it was first shown with the report after
        // the pause, up to 48 s after it was reported in range.
        if (gf_ticksBetween(ac.stream.front().playTick, tickCount.load()) < kLoneReportWaitTicks) return;
        lf_consumeFront(ac);
        ac.removeRecord = 1;
        return;
    }
    if (gf_endsWithUnderscore(ac.callsign) &&
        std::find(removedGhosts.begin(), removedGhosts.end(), ac.callsign) != removedGhosts.end()) {
        ac.removeRecord = 1;
        return;
    }
    // A lone report thousands of feet off the ones after it (a bad
    // altitude) is passed over: created there, the aircraft would come down
    // from it for minutes, or appear high over the airport while its reports
    // have it low on its approach.
    if (lf_frontIsAltitudeSpike(ac)) {
        lf_consumeFront(ac);
        return;
    }
    // Traffic low over the airport is on its final approach or just took
    // off: shown there it would appear out of nowhere close to the user.
    if (ac.category != Rotorcraft && lf_anyAirborne(ac) &&
        ac.stream.front().altitudeFt <= lf_airportAltitudeFt() + kLowAirborneAboveAirportFt) {
        // Named once, so that an aircraft on its approach that is not shown
        // before it lands is not simply missing.
        if (ac.toldLowOverAirport == 0) {
            ac.toldLowOverAirport = 1;
            gf_logLowOverAirport(ac.callsign, ac.registration);
        }
        lf_consumeFront(ac);
        return;
    }
    if (checkSpawnUserConflict(ac)) return;
    if (liveCreateQueue.size() > kMaxQueuedCreates && ac.phase == AcPhase::birth) {
        // Held back while the creates queue up: the points it has flown past
        // are consumed, so that it appears where its reports are when its
        // turn comes, but never its last two. Consumed down to a lone point,
        // it would be dropped and wait half a minute for a new report, losing
        // its place to every aircraft that came meanwhile.
        if (ac.stream.size() > 2 && tickCount.load() >= ac.stream[1].playTick && !lf_lastAtRestBeforeMovingOff(ac))
            lf_consumeFront(ac);
        return;
    }
    const auto settings = settingsSnapshot.load();
    if (settings->MAX_LIVE_SEL == 0) {
        ac.removeRecord = 1;
        return;
    }
    if (settings->MAX_LIVE_SEL != kNoLiveLimit &&
        lf_countLiveInSim() >= static_cast<std::size_t>(std::max(settings->MAX_LIVE_SEL, 0))) {
        const UserAircraftState user = gf_userPosition();
        const double distance = gf_distanceNm({user.latitude, user.longitude}, lf_position(ac.stream.front()));
        if (lf_isThisTheFurthestLive(distance)) {
            ac.removeRecord = 1;
            return;
        }
    }
    completeAcKeyAtSpawn(ac);
    if (ac.callsign.empty()) {
        if (ac.registration.empty()) {
            ac.removeRecord = 1;
            return;
        }
        ac.callsign = ac.registration;
    }
    if (ac.stream.front().altitudeFt <= settings->TCAS_FL * 100.0 && gf_isNoMatch(gf_acKeyRegistrationText(ac))) {
        ac.removeRecord = 1;
        return;
    }
    if (gf_endsWithUnderscore(ac.callsign) &&
        lf_hasLiveTwin(std::string_view(ac.callsign).substr(0, ac.callsign.size() - 1))) {
        ac.removeRecord = 1;
        return;
    }
    spawnLiveAc(ac);
}

bool checkSpawnUserConflict(LiveAc& ac) {
    const UserAircraftState user = gf_userPosition();
    const auto settings = settingsSnapshot.load();
    const StreamPoint& front = ac.stream.front();
    const bool frontOnGround = front.airborne == 0;
    bool hold = false;
    if (g_userOnGround.load() && lf_userIsLow(user)) {
        const LaLo userPos{user.latitude, user.longitude};
        if (ac.userConflictHold != 0 &&
            (user.groundVelocity > kUserHoldSpeedKt ||
             (frontOnGround && (front.groundSpeedKt > kUserHoldSpeedKt ||
                                gf_distanceNm(userPos, lf_position(front)) * metresPerNm < kUserHoldDistanceM)))) {
            hold = true;
        } else if (!frontOnGround) {
            return false;
        } else {
            if (settings->COLLISION_USER_GND == 0) return false;
            // The user's circle is the first, so the flat distance takes the
            // user's latitude.
            if (!gf_circlesOverlap(userPos, lf_userGroundCollisionTermNm(), lf_position(front), ac.collisionRadiusNm))
                return false;
            hold = true;
        }
    } else {
        if (settings->COLLISION_USER_AIR == 0) return false;
        if (!frontOnGround) {
            ac.pose.latitude = front.lat;
            ac.pose.longitude = front.lon;
            ac.pose.altitude = front.altitudeFt;
            if (!checkUserAirCollision(ac, std::cos(user.latitude * degreesToRadians))) return false;
        } else {
            if (!(user.altitudeAboveGround <= kUserLowFt)) return false;
            ac.pose.latitude = front.lat;
            ac.pose.longitude = front.lon;
            ac.pose.altitude = front.altitudeFt;
            ac.onGround = 1;
            if (!checkUserAirGndCollision(ac)) return false;
        }
        ac.userConflictHold = 1;
        hold = true;
    }
    if (hold) lf_consumeFront(ac);
    return hold;
}

void completeAcKeyAtSpawn(LiveAc& ac) {
    if (ac.key.flag != 0) return;
    if (!ac.registration.empty()) {
        if (const auto key = gf_findRegistration(ac.registration)) ac.key = *key;
    }
    if (ac.key.airline == 0 && !gf_setAirlineFromCallsign(ac)) ac.key.airline = gf_internAirlineCode("PVT");
    if (gf_modelCodeAt(ac.key.model) == "B777" && gf_isCargo(ac.key)) {
        ac.key.model = gf_internModelCode("B77F");
        ac.key.cargo = 1;
    }
}

void spawnLiveAc(LiveAc& ac) {
    ac.promoteStaticId = 0;
    if (ac.stream.size() < 2) {
        gf_logError(fmt::format("{} sz:{}", "spawnLiveAc", ac.stream.size()));
        return;
    }
    if (ac.registration.empty()) ac.registration = ac.callsign;
    if (ac.phase == AcPhase::birth && lf_secondRepeatsMovingFront(ac)) ac.stream.erase(ac.stream.begin() + 1);
    StreamPoint& front = ac.stream[0];
    StreamPoint& second = ac.stream[1];
    if (second.stationary != 0) {
        front.stationary = 1;
        front.groundSpeedKt = 0.0;
        second.groundSpeedKt = 0.0;
        if (ac.stream.size() > 2 && ac.stream[2].stationary != 0) ac.stream[2].groundSpeedKt = 0.0;
    } else {
        front.stationary = 0;
    }
    if (ac.phase == AcPhase::birth) {
        if (!chooseLiveLivery(ac, front.altitudeFt)) {
            // A weak match may find a livery another time; an aircraft without
            // a registration has no entry of its own to remember.
            if (ac.weakLiveryMatch == 0 && !ac.registration.empty()) gf_addNoMatch(gf_acKeyRegistrationText(ac));
            ac.removeRecord = 1;
            return;
        }
        // Taken off its stand to keep the parked traffic in bounds, it stays
        // away while its reports have it standing: put back there, it took
        // another aircraft's place in the bounds, and came and went.
        if (front.airborne == 0 && gf_isParkedOut(ac.hexid) &&
            (second.stationary != 0 || lf_scatterOfStanding(front, second))) {
            lf_consumeFront(ac);
            return;
        }
        if (front.airborne == 0) {
            if (const auto stand = chooseSpawnStand(ac)) {
                parkAtSpawnStand(ac, *stand);
            } else {
                // A next position no aircraft reaches on the ground in its time
                // (a report miles off) is no move: created taxiing toward it,
                // the aircraft crossed the airport at a thousand knots.
                const double toNextTicks = static_cast<double>(std::int64_t{second.playTick} - front.playTick);
                const double toNextNm = gf_distanceNm(lf_position(front), lf_position(second));
                // The reports' own pace to the next one, taken over this long
                // at least; none when they give no time between them.
                const auto ownPaceKt = [&](double leastTicks) {
                    return toNextTicks > 0.0 ? gf_speedKtOver(toNextNm, std::max(toNextTicks, leastTicks)) : 0.0;
                };
                const bool outOfReach = ownPaceKt(0.0) > kMostGroundKt;
                // A speed no roll goes (the feed's 1e6 kt) is none: taken for
                // one, a departure whose taxi began with it was not shown
                // until its reports went on past it.
                const bool rolling = std::any_of(ac.stream.begin(), ac.stream.end(), [](const StreamPoint& p) {
                    return gf_believedGroundKt(p.groundSpeedKt) > kFastTaxiKt;
                });
                const bool fast = outOfReach || rolling;
                // One that stood on a stand not free for it and now walks off
                // it is pushed back: created then, it followed the push nose
                // first and turned on the spot at its end before it could
                // taxi, seconds behind its reports. It appears where the
                // pushback ends, as its taxi begins. One towed from a spot
                // off the stands is shown as the tow begins.
                // The reports' own pace is taken over a few seconds at least:
                // two reports half a second apart make a metre of scatter a
                // taxi.
                // A speed no roll goes tells nothing of the pace: its position
                // does (a pushback with one such report was taken for a taxi
                // and driven nose first).
                const bool walking = gf_believedGroundKt(second.groundSpeedKt) <= kWalkingPaceKt &&
                                     ownPaceKt(kWalkingPaceBaseTicks) <= kWalkingPaceKt;
                // Two reports at rest a few metres apart are the scatter of a
                // standing aircraft's positions, not a move: shown, it taxied
                // from one to the other at walking pace and back.
                const bool standing = second.stationary != 0 || lf_scatterOfStanding(front, second);
                // Its front at rest on a stand, the reports after it walking
                // off: it stood there as much as one seen standing, its turn
                // to be created having come only once they moved (the creates
                // queued). Created there, it was driven nose first along its
                // push and turned on the spot at its end, 18 s behind.
                const auto tellNoStand = [&ac] {
                    if (ac.toldNoStand != 0) return;
                    ac.toldNoStand = 1;
                    gf_log(fmt::format("{} {} stands where no stand is free for it: not shown until it moves",
                                       ac.callsign, ac.registration));
                };
                if (!standing && walking && front.groundSpeedKt <= kStandingKt && gf_isOnAStand(lf_position(front)))
                    tellNoStand();
                if (ac.toldNoStand != 0 && ac.pushedOffStand == 0 && !standing)
                    ac.pushedOffStand = walking && gf_isOnAStand(lf_position(front)) ? 1 : 2;
                // So is one first heard already off the stand, its reports
                // pushing it tail first (their nose against their track): taken
                // for a tow, it was driven nose first along its push and turned
                // 164 degrees on the spot at its end, 20 s behind.
                if (ac.pushedOffStand == 0 && !standing && walking &&
                    (gf_reportedTailFirst(front) || gf_reportedTailFirst(second)))
                    ac.pushedOffStand = 1;
                const bool pushedBack = ac.pushedOffStand == 1 && walking;
                // Standing where it was shown when the last run ended, or a
                // helicopter standing on a helipad (its stand), it is shown
                // standing there: after a restart such an aircraft was not
                // shown until it moved, though the user had just seen it
                // there, and a helicopter on its pad was never shown at all.
                const std::optional<StandingPlace> standsAt =
                    standing && !fast && !pushedBack && ac.removeRecord == 0
                        ? gf_placeToStandWithoutStand(ac, gf_standingCentre(ac), lf_nose(front))
                        : std::nullopt;
                // Standing or moving fast without a stand: wait for a calm
                // stream rather than appear at a spot it will leave in a jump.
                if (standsAt) {
                    lf_standAt(ac, *standsAt);
                } else if (standing || fast || pushedBack) {
                    // Pushed back off a stand not free for it, it is held
                    // until its taxi begins, and said so as a standing one is:
                    // first heard already in its push, it was never named, and
                    // where its reports ended before its taxi it was simply
                    // missing.
                    if (standing || pushedBack) tellNoStand();
                    // Named once, so that an arrival first heard on its landing
                    // roll, shown only once it slows to a taxi, is not simply
                    // missing meanwhile.
                    if (rolling && ac.toldFastOnGround == 0) {
                        ac.toldFastOnGround = 1;
                        gf_log(fmt::format("{} {} rolls faster than a taxi where no stand is free for it: not shown "
                                           "until it slows",
                                           ac.callsign, ac.registration));
                    }
                    lf_consumeFront(ac);
                    return;
                }
                // Pushed off a stand not free for it, the reports of its push
                // going on straight set aside (they add nothing to the
                // stream): the last of them and the taxi's first. It appears
                // where its taxi begins once the push, at its pace, would be
                // there: shown at once, it stood there 20 s while its reports
                // still pushed it back toward that place, and each of them
                // found it far off their way.
                if (ac.pushedOffStand == 1 && gf_reportedTailFirst(front) && !gf_reportedTailFirst(second)) {
                    const double mps = std::max(front.groundSpeedKt * kKnotsToMps, kLeastPushMps);
                    const double seconds = gf_distanceNm(lf_position(front), lf_taxiBeginsAt(front, second)) *
                                           metresPerNm / mps;
                    const std::int32_t there =
                        gf_tickPlus(front.playTick, static_cast<std::int32_t>(std::lround(seconds * kTicksPerSecond)));
                    if (std::isfinite(seconds) && gf_ticksBetween(tickCount.load(), there) > 0 &&
                        gf_ticksBetween(there, second.playTick) > 0)
                        return;
                }
                setFlightPhase(ac, AcPhase::taxi);
                gf_judgeBufferedRepeatHolds(ac);
                const auto airport = gf_currentAirport();
                ac.arrivingHere = airport && !airport->icao.isNone() && ac.destination == airport->iata &&
                                          ac.origin != airport->iata
                                      ? 1
                                      : 0;
            }
        } else {
            setFlightPhase(ac, AcPhase::flying);
        }
    }
    if (ac.removeRecord != 0) return;
    gf_forgetShownPlace(ac.hexid);
    gf_forgetParkedOut(ac.hexid);
    initPoseFromFront(ac);
    if (ac.promoteStaticId != 0 && promoteStaticToLive(ac)) return;
    ac.simState = AcSimState::adding2sim;
    addingStack.push_back(ac.hexid);
    if (!gf_endsWithUnderscore(ac.callsign)) lf_removeGhostWithUnderscoreIfPresent(ac.callsign);
}

namespace {

// The most the tracks of two airborne reports lie off their chord where an
// aircraft created between them starts on the curve they fly.
constexpr double kCreatedOnTurnMostOff = 60.0 * degreesToRadians;

// The turn per tick two airborne reports flew, as dead reckoning takes it:
// the turn their tracks tell, no faster than the category turns; none under
// half a degree a second.
double lf_reportedTurnPerTick(const StreamPoint& from, const StreamPoint& to, double chordCourse, double ticks,
                              std::uint32_t category) {
    const double most = gf_airTurnRateRad(category) / kTicksPerSecond;
    const double turn = std::clamp(gf_reportedTrackTurnPerTick(from, to, chordCourse, ticks), -most, most);
    return std::isfinite(turn) && std::abs(turn) >= kLeastDeadReckonedTurnPerTick ? turn : 0.0;
}

}  // namespace

void gf_placeLateCreateNow(AiCreateRequest& request) {
    LiveAc* found = gf_findLiveByHexid(request.hexid);
    if (found == nullptr) return;
    LiveAc& ac = *found;
    if (gf_placeAtLatePushback(ac, request)) return;
    // One shown before (a livery respawn) comes back where it was seen; one
    // parked at a stand or standing stays where it stands.
    if (ac.simState != AcSimState::adding2sim || (ac.phase != AcPhase::flying && ac.phase != AcPhase::taxi) ||
        ac.promoted != 0 || ac.activationTick != 0)
        return;
    auto& stream = ac.stream;
    const std::int32_t now = tickCount.load();
    const bool airborne = ac.phase == AcPhase::flying;
    const auto movedOn = [airborne](const StreamPoint& p) {
        return (p.airborne != 0) == airborne && p.stationary == 0;
    };
    if (stream.size() < 2 || (stream.front().airborne != 0) != airborne || !movedOn(stream[1])) return;
    // Points the aircraft would already have moved past are dropped, so that
    // it starts between the last one due and the next; a stop among them
    // that is over by now too (the create waited its turn in a crowd). Kept,
    // a tow created 24 s late started at an old point, left for the next one
    // due long before in a single tick and slid 140 m off its lane.
    const auto due = [now](const StreamPoint& p) { return gf_ticksBetween(p.playTick, now) >= 0; };
    while (stream.size() >= 3 && (movedOn(stream[2]) || due(stream[2])) && due(stream[1])) stream.pop_front();
    StreamPoint& front = stream[0];
    const StreamPoint& next = stream[1];
    const std::int32_t span = gf_ticksBetween(front.playTick, next.playTick);
    const std::int32_t gone = gf_ticksBetween(front.playTick, now);
    // A front that falls due right now is where the aircraft starts (the
    // pose placed when it was spawned may stand at an older point, from which
    // its first leg would race after the reports).
    if (span <= 0 || gone < 0) return;
    double heading = gf_bearing(lf_position(front), lf_position(next));
    if (!airborne && gone < span && gf_reportedTailFirst(front) && !gf_reportedTailFirst(next)) {
        // Its last report pushes it back and the next one taxis it: the push
        // ends somewhere between the two, which they do not tell. Driven
        // nose first along their chord it went the push's way and looped
        // round onto its taxi. It appears as its taxi begins instead: on the
        // next report's line, behind it by the distance between the two
        // reports, with that report's nose, and sets off from rest. Created
        // late in a long pause (its turn came only with the taxi's report),
        // it is no further behind than speeding up from rest at the taxi
        // rate meets that report on time: a whole chord back it raced there
        // at four times its pace, from a spot off both reports' way.
        heading = lf_nose(next);
        const double reachNm = gf_reachFromRestM(next.groundSpeedKt, span - gone) / metresPerNm;
        const LaLo at = lf_taxiBeginsAt(front, next, std::isfinite(reachNm) && reachNm > 0.0
                                                         ? reachNm
                                                         : std::numeric_limits<double>::infinity());
        if (!gf_isValidLaLo(at)) return;
        front.lat = at.lat;
        front.lon = at.lon;
        front.altitudeFt = next.altitudeFt;
        front.playTick = now;
        front.groundSpeedKt = 0.0;
        front.trackDeg = normalizeHeading(heading) * radiansToDegrees;
        front.trueHeading = normalizeHeading(heading);
    } else if (gone < span) {
        const bool frontAtRest = front.groundSpeedKt < kAtRestKt;
        const double f = static_cast<double>(gone) / span;
        // In the air between two reports whose tracks turn, it starts on
        // the curve from the one's track onto the other's, along its course
        // there: on their chord, created late in a pause over a turn, it
        // met the next report 55 degrees off its track and bent round onto
        // it faster than the nose turns, 36 degrees sideways.
        // Tracks further off their chord than a turn between them flies
        // tell no such curve.
        const double chord = gf_bearing(lf_position(front), lf_position(next));
        const auto nearChord = [chord](const StreamPoint& p) {
            const double off = std::remainder(p.trackDeg * degreesToRadians - chord, fullCircle);
            return std::isfinite(off) && std::fabs(off) <= kCreatedOnTurnMostOff;
        };
        const HermiteTransition onTurn =
            airborne && nearChord(front) && nearChord(next)
                ? hermiteTransitionPoint(lf_position(front), lf_position(next), next.trackDeg * degreesToRadians,
                                         kCreatedOnTurnMostOff, f, front.trackDeg * degreesToRadians)
                : HermiteTransition{};
        front.lat += (next.lat - front.lat) * f;
        front.lon = gf_wrapLongitudeDifference(front.lon + gf_wrapLongitudeDifference(next.lon - front.lon) * f);
        front.altitudeFt += (next.altitudeFt - front.altitudeFt) * f;
        front.playTick = now;
        if (onTurn.valid && gf_isValidLaLo(onTurn.position) && std::isfinite(onTurn.heading)) {
            front.lat = onTurn.position.lat;
            front.lon = onTurn.position.lon;
            heading = onTurn.heading;
        }
        // On the ground a report at rest followed by one further on than the
        // aircraft goes at its reported pace in the time between repeats
        // where it stood: it left that spot earlier, as the next report
        // shows. Created now, it starts from rest where speeding up to that
        // pace at the taxi rate meets the next report on time, not at the
        // old spot, from which it chased its reports at several times its
        // speed, nor where only twice the pace from the first tick on would
        // meet it (speeding up, it came seconds late).
        const double reachNm = gf_reachFromRestM(next.groundSpeedKt, span - gone) / metresPerNm;
        if (!airborne && frontAtRest && std::isfinite(reachNm) && reachNm > 0.0 &&
            gf_distanceNm(lf_position(front), lf_position(next)) > reachNm) {
            LaLo at = gf_destinationPoint(lf_position(next),
                                          {gf_bearing(lf_position(next), lf_position(front)), reachNm * feetPerNm});
            gf_normalizeLaLo(at);
            if (gf_isValidLaLo(at)) {
                front.lat = at.lat;
                front.lon = at.lon;
            }
        }
    } else if (!airborne) {
        // On the ground, past its last report that moves on (none after it
        // yet, or a stop that repeats it): the time since puts it at that
        // report, where the end of its stream holds it. Left at the report
        // before, its first leg ran to a point overdue, which the retiming
        // let fall due no later than its delay limit allows: a tow created
        // 14 s after it left a report covered the 23.5 m to the next, due 7 s
        // before, in 2 s at 22 kt where its reports gave 6.7. Its nose is the
        // one that report gives, along which it rolls on, not the chord's
        // from the report before.
        if (std::isfinite(lf_nose(next))) heading = lf_nose(next);
        stream.pop_front();
        stream.front().playTick = now;
    } else if (std::isfinite(heading)) {
        // Its last report is due already and none follows yet (it waited its
        // turn through a report gap): it starts where flying on from that
        // report as it came puts it now, and flies on from there, as dead
        // reckoning would have it, not from an old point it would race to
        // on its first leg.
        const double ownKt = gf_speedKtOver(gf_distanceNm(lf_position(front), lf_position(next)), span);
        // Its reported speed, unless the reports' own distance over time
        // rules it out (an absurd one would place it miles away).
        const double reportedKt = next.groundSpeedKt;
        const bool believed = std::isfinite(reportedKt) && reportedKt > 0.0 &&
                              !(std::isfinite(ownKt) && reportedKt > kMostOverOwnFactor * ownKt + kMostOverOwnKt);
        const double kt = believed ? reportedKt : ownKt;
        // A turn its last two reports flew goes on as dead reckoning flies
        // it: flown on straight along their chord, the aircraft left the turn
        // and raced round after the reports that came next.
        const double turnPerTick = lf_reportedTurnPerTick(front, next, heading, span, ac.category);
        const auto flownOnTo = [&](double ticks, std::int32_t tick) -> std::optional<StreamPoint> {
            LaLo at = lf_position(next);
            double course = heading + turnPerTick * span / 2.0;
            // Straight on it is one step.
            const double most = turnPerTick != 0.0 ? kProjectedArcStepTicks : ticks;
            for (double left = ticks; left > 0.0; left -= most) {
                const double step = std::min(left, most);
                at = gf_destinationPoint(at, {course + turnPerTick * step / 2.0, kt * step / 360000.0 * feetPerNm});
                gf_normalizeLaLo(at);
                course += turnPerTick * step;
            }
            if (!gf_isValidLaLo(at)) return std::nullopt;
            StreamPoint p = next;
            p.lat = at.lat;
            p.lon = at.lon;
            p.playTick = tick;
            if (turnPerTick != 0.0) p.trackDeg = normalizeHeading(course) * radiansToDegrees;
            return p;
        };
        const double ticks = std::min(gf_ticksBetween(next.playTick, now), kMostProjectedTicks);
        const auto here = flownOnTo(ticks, now);
        const auto ahead = flownOnTo(ticks + kProjectedStepTicks, gf_tickPlus(now, kProjectedStepTicks));
        if (!here || !ahead) return;
        if (turnPerTick != 0.0) heading = here->trackDeg * degreesToRadians;
        stream.front() = *here;
        stream[1] = *ahead;
    }
    const StreamPoint& start = stream.front();
    ac.pose.latitude = start.lat;
    ac.pose.longitude = start.lon;
    ac.pose.altitude = start.altitudeFt;
    if (std::isfinite(heading)) {
        ac.pose.heading = normalizeHeading(heading);
        if (!airborne) ac.motion.groundHeading = ac.pose.heading;
    }
    request.position.Latitude = ac.pose.latitude;
    request.position.Longitude = ac.pose.longitude;
    request.position.Altitude = ac.pose.altitude;
    request.position.Heading = ac.pose.heading * radiansToDegrees;
}

bool chooseLiveLivery(LiveAc& ac, double altitudeFt) {
    if (!ac.liveryTitle.empty()) return true;
    if (const auto known = liveryByHexid.find(ac.hexid); known != liveryByHexid.end()) {
        if (!gf_isLiveryKnownToFail(known->second)) {
            ac.liveryTitle = known->second;
            return true;
        }
        liveryByHexid.erase(known);
    }
    gf_matchLiveryLive(ac, altitudeFt);
    if (ac.liveryTitle.empty()) return false;
    liveryByHexid[ac.hexid] = ac.liveryTitle;
    return true;
}

void initPoseFromFront(LiveAc& ac) {
    newLiveCheckQueue.push_back(ac.hexid);
    const StreamPoint& front = ac.stream.front();
    const bool airborne = front.airborne != 0;
    ac.onGround = airborne ? 0 : 1;
    ac.pose.latitude = front.lat;
    ac.pose.longitude = front.lon;
    ac.pose.altitude = front.altitudeFt;
    ac.pose.verticalSpeed = front.verticalSpeed;
    ac.pose.trueAirspeed = front.tasKt;
    ac.pose.pitch = airborne ? gf_pitchForVerticalSpeed(front, ac.phase) : kGroundPitchRad;
    ac.pose.bank = 0.0;
    if (front.hasRoll != 0 && std::isfinite(front.roll)) {
        const double limit = maxBankAngle(gf_bankLimitRad(ac.category), ac.phase == AcPhase::landing,
                                          ac.motion.heightAboveGroundFt, false);
        ac.pose.bank = std::clamp(front.roll, -limit, limit);
    }
    double heading = 0.0;
    if (ac.motion.hasForcedHeading != 0) {
        heading = ac.motion.forcedHeading;
    } else if (ac.phase == AcPhase::parked) {
        heading = ac.standHeadingRad;
    } else if (ac.stream.size() < 2 || ac.stream[1].stationary != 0) {
        heading = front.trackDeg * degreesToRadians;
    } else {
        heading = gf_bearing(lf_position(front), lf_position(ac.stream[1]));
    }
    if (!std::isfinite(heading)) {
        ac.pose.heading = 0.0;
        ac.motion.groundHeading = 0.0;
    } else {
        ac.pose.heading = normalizeHeading(heading);
        ac.motion.groundHeading = airborne ? 0.0 : ac.pose.heading;
    }
    ac.userConflictHold = 0;
}

std::string gf_acKeyRegistrationText(const AcInfo& ac) { return gf_acKeyText(ac.key) + " " + ac.registration; }

int gf_liveStandUse(std::int32_t standId, std::uint32_t hexid) {
    if (standId < 1) return 0;
    int use = 0;
    for (const LiveAc& a : g_liveAircraft) {
        if (a.hexid == hexid || a.standId != standId) continue;
        if (a.phase == AcPhase::parked && a.objectId > 2) return 2;
        if (gf_isStandHoldingPhase(a.phase)) use = 1;
    }
    return use;
}

bool gf_isStandFreeForLive(std::int32_t standId, std::uint32_t hexid) {
    return standId >= 1 && hexid != 0 && gf_liveStandUse(standId, hexid) == 0 && gf_standById(standId) != nullptr;
}

bool gf_liveAcHoldsStand(std::int32_t standId, std::uint32_t hexid) {
    const LiveAc* ac = gf_findLiveByHexid(hexid);
    return ac != nullptr && ac->standId == standId && gf_isStandHoldingPhase(ac->phase);
}

bool gf_isStandHoldingPhase(AcPhase phase) {
    return phase == AcPhase::pushing_back || phase == AcPhase::pushed_back || phase == AcPhase::parking ||
           phase == AcPhase::parked;
}

bool gf_forgetLiveryOfHexid(std::uint32_t hexid) { return liveryByHexid.erase(hexid) > 0; }
