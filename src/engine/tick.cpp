#include "engine/tick.h"

#include <cmath>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "airports/static_placement.h"
#include "engine/collisions.h"
#include "engine/decode.h"
#include "engine/engine_lists.h"
#include "engine/engine_state.h"
#include "engine/geometry.h"
#include "engine/life_cycle.h"
#include "engine/removal.h"
#include "engine/reports.h"
#include "engine/sim_results.h"
#include "engine/spawn.h"
#include "engine/update.h"
#include "engine/user_position.h"
#include "feed/rtapp/rtapp_link.h"
#include "foundation/geodesy.h"
#include "foundation/log.h"
#include "settings/snapshot.h"
#include "simlink/sim_link.h"

namespace {

constexpr int kRemovalEvery = 10;      // ticks
constexpr int kCreationEvery = 2;      // removal slots
constexpr int kRequestsEvery = 20;     // ticks
constexpr int kHoldingCheckEvery = 20;  // ticks
constexpr double kRadiansToDegrees = 57.29577951308232;
constexpr double kUserLowFt = 500.0;
constexpr std::int32_t kRetimeLimitTicks = 2700;
constexpr std::int32_t kTakeoffDelayLimitTicks = 4500;

EngineCalls l_calls;

int l_removalCounter = 0;
int l_creationCounter = 0;
int l_rangeRequestCounter = 0;
int l_userRequestCounter = 0;
int l_holdingCounter = 0;

// An aircraft moving on the ground that a holding one may stand in the way of.
struct MovingOnGround {
    std::size_t index;
    LaLo position;
    double radiusNm;
    std::uint32_t objectId;
};
// Kept between passes so that a pass allocates nothing once it has grown.
std::vector<MovingOnGround> l_moving;

bool lf_erasedByCompaction(const AcBase& ac) { return ac.removeRecord != 0 || ac.createDropped != 0; }

void lf_compactLiveList() {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < g_liveAircraft.size(); ++i) {
        LiveAc& ac = g_liveAircraft[i];
        if (lf_erasedByCompaction(ac)) {
            lf_cleanupLiveAircraft(ac);
            continue;
        }
        if (kept != i) g_liveAircraft[kept] = std::move(ac);
        ++kept;
    }
    // LiveAc has no default constructor: shrink by erasing the moved-from tail.
    g_liveAircraft.erase(g_liveAircraft.begin() + static_cast<std::ptrdiff_t>(kept), g_liveAircraft.end());
}

void lf_compactStaticList() {
    std::erase_if(g_staticAircraft, [](const AcBase& s) {
        if (s.removeRecord == 0) return false;
        gf_dropPendingSimObject(s.hexid, s.objectId);
        return true;
    });
}

void lf_pacedRemovalAndCreation() {
    if (++l_removalCounter < kRemovalEvery) return;
    l_removalCounter = 0;
    if (!removeQueue.empty()) {
        const std::uint32_t objectId = removeQueue.front();
        removeQueue.pop_front();
        gf_removeAiAircraft(objectId);
    }
    if (++l_creationCounter < kCreationEvery) return;
    l_creationCounter = 0;
    if (!liveCreateQueue.empty()) {
        gf_placeLateCreateNow(liveCreateQueue.front());
        gf_queueAiCreate(liveCreateQueue.front());
        liveCreateQueue.pop_front();
        return;
    }
    if (!staticCreateQueue.empty()) {
        gf_queueAiCreate(staticCreateQueue.front());
        staticCreateQueue.pop_front();
    }
    if (!staticsToPlace.empty()) gf_placeNextStaticAircraft();
}

void lf_serveAddingStack() {
    if (addingStack.empty()) return;
    const std::uint32_t hexid = addingStack.back();
    addingStack.pop_back();
    const LiveAc* found = gf_findLiveByHexid(hexid);
    if (found == nullptr) return;
    const LiveAc& ac = *found;
    if (ac.callsign.empty()) {
        const AcBase& described = ac;
        gf_logError(fmt::format("{} {} callsign empty", "lf_handleAddingStack", described));
        return;
    }
    AiCreateRequest request;
    request.position.Latitude = ac.pose.latitude;
    request.position.Longitude = ac.pose.longitude;
    request.position.Altitude = ac.pose.altitude;
    request.position.Pitch = ac.pose.pitch * kRadiansToDegrees;
    request.position.Bank = ac.pose.bank * kRadiansToDegrees;
    request.position.Heading = ac.pose.heading * kRadiansToDegrees;
    request.position.OnGround = 0;
    request.position.Airspeed = 0;
    request.tailNumber = ac.registration;
    request.title = std::string(ac.liveryTitle);
    request.hexid = ac.hexid;
    liveCreateQueue.push_back(std::move(request));
}

void lf_periodicRequests() {
    if (++l_rangeRequestCounter >= kRequestsEvery) {
        l_rangeRequestCounter = 0;
        gf_queueSimRequest(SIM_REQUEST_AC_WITHIN_RANGE);
    }
    if (++l_userRequestCounter < kRequestsEvery) return;
    l_userRequestCounter = 0;
    gf_queueSimRequest(SIM_REQUEST_USER_POSITION);
    const UserAircraftState user = gf_getUserAircraftState();
    gf_publishUserAircraftState(user);
    const bool low = !(std::isfinite(user.altitudeAboveGround) && user.altitudeAboveGround > kUserLowFt);
    if (g_userOnGround.load() && low && settingsSnapshot.load()->COLLISION_USER_GND != 0) {
        if (l_calls.checkUserAcGndCollisions)
            l_calls.checkUserAcGndCollisions();
        else
            gf_checkUserAcGndCollisions();
    }
    if (!isRTDirect()) {
        if (l_calls.sendUserPosition)
            l_calls.sendUserPosition();
        else
            gf_sendUserPosition();
    }
}

bool lf_isMovingPhase(AcPhase phase) {
    return phase == AcPhase::taxi || phase == AcPhase::takeoff_roll || phase == AcPhase::landing_roll;
}

}  // namespace

void lf_checkHoldingConflicts() {
    // The aircraft that may be in the way, gathered once per pass: only the
    // holding aircraft's own state changes during the pass.
    l_moving.clear();
    for (std::size_t i = 0; i < g_liveAircraft.size(); ++i) {
        const LiveAc& b = g_liveAircraft[i];
        if (b.simState == AcSimState::active && b.onGround != 0 && lf_isMovingPhase(b.phase))
            l_moving.push_back({i, {b.pose.latitude, b.pose.longitude}, b.collisionRadiusNm, b.objectId});
    }
    if (l_moving.empty()) return;
    for (LiveAc& a : g_liveAircraft) {
        if (a.motion.holding == 0) continue;
        const LaLo position{a.pose.latitude, a.pose.longitude};
        const double cosLat = std::cos(position.lat * degreesToRadians);
        for (const MovingOnGround& b : l_moving) {
            if (b.objectId == a.objectId) continue;
            const double sum = a.collisionRadiusNm + b.radiusNm;
            if (!(sum > 0.0)) continue;
            if (gf_flatDistanceSquaredNm(position, b.position, cosLat) > sum * sum) continue;
            // A holding aircraft removed earlier in this pass is no longer active.
            if (g_liveAircraft[b.index].simState != AcSimState::active) continue;
            a.extrapolationCount = 0;
            a.motion.holding = 0;
            a.motion.holdingStartTick = 0;
            a.motion.advanceLimit = kRetimeLimitTicks;
            a.motion.delayLimit = a.phase == AcPhase::takeoff_roll ? kTakeoffDelayLimitTicks : kRetimeLimitTicks;
            removeAircraftFromSim(a);
            break;
        }
    }
}

void lf_handleAddingStack() {
    gf_processSimCommands();

    bool anyErased = false;
    for (std::size_t i = 0; i < g_liveAircraft.size(); ++i) anyErased = updateLiveAc(g_liveAircraft[i]) || anyErased;
    if (anyErased) lf_compactLiveList();
    if (g_staticsChanged) {
        g_staticsChanged = false;
        lf_compactStaticList();
    }
    gf_publishStagedAiPoses(gf_poseClockNow());

    lf_pacedRemovalAndCreation();
    gf_decodeMailboxRecords();
    lf_serveAddingStack();
    lf_periodicRequests();
    if (++l_holdingCounter >= kHoldingCheckEvery) {
        l_holdingCounter = 0;
        lf_checkHoldingConflicts();
    }
    gf_advanceTickCount();
}

void gf_resetEngineTick() {
    l_removalCounter = 0;
    l_creationCounter = 0;
    l_rangeRequestCounter = 0;
    l_userRequestCounter = 0;
    l_holdingCounter = 0;
}

void gf_setEngineCalls(EngineCalls calls) { l_calls = std::move(calls); }
const EngineCalls& gf_engineCalls() { return l_calls; }
