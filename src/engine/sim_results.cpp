#include "engine/sim_results.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "engine/aircraft_ids.h"
#include "engine/controls.h"
#include "engine/engine_lists.h"
#include "engine/life_cycle.h"
#include "engine/removal.h"
#include "engine/spawn_stands.h"
#include "engine/stands.h"
#include "foundation/geodesy.h"
#include "foundation/lalo.h"
#include "foundation/log.h"
#include "liveries/failed_liveries.h"
#include "motion/motion_math.h"
#include "motion/touchdown.h"
#include "simlink/sim_link.h"

namespace {

constexpr std::int32_t kActivationTicks = 200;
constexpr std::int32_t kLateDataTicks = 500;
constexpr std::int32_t kFirstBlinkAge = 49;
constexpr std::int32_t kSecondBlinkAge = 99;
// The payload slot of a delayed live create result that marks an aircraft
// activated when its object was created (the result carries no payload).
constexpr std::size_t kActivatedWhenCreated = 0;
// The engine's working copy of the results, swapped with the queue's list so
// that no tick allocates.
std::vector<SimCommand> l_work;

// Object ids below 3 are never a created object: a result naming one cannot
// be meant for any aircraft (a buffered one has id 0).
LiveAc* lf_liveByObjectId(std::uint32_t objectId) {
    if (objectId < kFirstObjectId) return nullptr;
    for (LiveAc& ac : g_liveAircraft)
        if (ac.objectId == objectId) return &ac;
    return nullptr;
}

std::vector<AcBase>::iterator lf_staticByHexid(std::uint32_t hexid) {
    return std::find_if(g_staticAircraft.begin(), g_staticAircraft.end(),
                        [hexid](const AcBase& s) { return s.hexid == hexid; });
}

std::vector<AcBase>::iterator lf_staticByObjectId(std::uint32_t objectId) {
    if (objectId < kFirstObjectId) return g_staticAircraft.end();
    return std::find_if(g_staticAircraft.begin(), g_staticAircraft.end(),
                        [objectId](const AcBase& s) { return s.objectId == objectId; });
}

AiPose lf_poseOf(const SimCommand& c) {
    return {c.payload[2], c.payload[3], c.payload[4], c.payload[5],
            c.payload[6], c.payload[7], c.payload[8], c.payload[9]};
}

void lf_eraseStatic(std::vector<AcBase>::iterator it) {
    gf_dropPendingSimObject(it->hexid, it->objectId);
    g_staticAircraft.erase(it);
}

// An aircraft created in the air flies from the moment its object exists:
// the object is frozen where it was placed, and held there for the wait an
// airliner hung still in the sky for 2 s and then raced after its reports at
// half as fast again. It needs no data the wait is for (a stand's pose); its
// lights still blink on the wait's schedule.
bool lf_createdInTheAir(const LiveAc& ac) {
    return ac.removeWhenCreated == 0 && ac.phase != AcPhase::parked &&
           (!ac.stream.empty() ? ac.stream.front().airborne != 0 : ac.onGround == 0);
}

void lf_onLiveCreated(const SimCommand& c) {
    const std::size_t i = gf_liveIndexByHexid(c.hexid);
    if (i >= g_liveAircraft.size() || !onLiveObjectCreated(g_liveAircraft[i], c, false)) return;
    delayedSimCommands.push_back(c);
    if (!lf_createdInTheAir(g_liveAircraft[i])) return;
    activateLiveAc(g_liveAircraft[i]);
    delayedSimCommands.back().payload[kActivatedWhenCreated] = 1.0;
}

void lf_onStaticCreated(const SimCommand& c) {
    if (const auto it = lf_staticByHexid(c.hexid); it != g_staticAircraft.end()) {
        it->objectId = c.objectId;
        gf_requestAiInitialPose(c.objectId);
        gf_requestAiStaticCg(c.objectId);
    }
    delayedSimCommands.push_back(c);
}

void lf_onRemoved(const SimCommand& c) {
    if (c.objectId < kFirstObjectId) return;
    std::size_t i = 0;
    while (i < g_liveAircraft.size() && g_liveAircraft[i].objectId != c.objectId) ++i;
    if (i == g_liveAircraft.size()) {
        if (const auto it = lf_staticByObjectId(c.objectId); it != g_staticAircraft.end()) lf_eraseStatic(it);
        return;
    }
    LiveAc& ac = g_liveAircraft[i];
    if (ac.simState == AcSimState::liveryrespawn) {
        // The old object is gone: the aircraft is created again with its new
        // livery. Its old object's flight plan goes with the object; the new
        // object gets its own when it is created.
        gf_removeLiveFlightPlan(ac, "gf_processSimCommands");
        ac.simState = AcSimState::buffer;
        ac.throttleStep = 5;
        ac.flapsIndex = 4;
        ac.objectId = 0;
        return;
    }
    gf_eraseLiveAc(i);
}

void lf_onGroundData(const SimCommand& c) {
    LiveAc* ac = lf_liveByObjectId(c.objectId);
    if (ac == nullptr) return;
    if (c.hexid == 1 && ac->onGround == 0 && ac->motion.takeoffCountdown < 2) handleTouchdown(*ac);
    applySimGroundInfo(*ac, c, ac->onGround != 0 ? "simconnect" : "");
}

void lf_onStaticCg(const SimCommand& c) {
    if (LiveAc* ac = lf_liveByObjectId(c.objectId)) {
        gf_applyStaticCg(*ac, c.payload[0], c.payload[1]);
        fixStandAltitude(*ac);
    }
    if (const auto it = lf_staticByObjectId(c.objectId); it != g_staticAircraft.end())
        gf_applyStaticCg(*it, c.payload[0], c.payload[1]);
}

void lf_onInitialPose(const SimCommand& c) {
    AiPose pose = lf_poseOf(c);
    if (!gf_isValidLaLo({pose.latitude, pose.longitude}) || !std::isfinite(pose.pitch) || !std::isfinite(pose.bank) ||
        !std::isfinite(pose.heading) || !std::isfinite(pose.altitude))
        return;
    pose.heading = normalizeHeading(pose.heading);
    if (LiveAc* ac = lf_liveByObjectId(c.objectId); ac != nullptr && ac->simState == AcSimState::adding2sim) {
        ac->simPose = pose;
        ac->hasSimPose = 1;
        applySimPoseAtStand(*ac);
    }
    if (const auto it = lf_staticByObjectId(c.objectId); it != g_staticAircraft.end()) {
        it->simPose = pose;
        it->hasSimPose = 1;
    }
}

void lf_onCreateFailed(const SimCommand& c) {
    if (c.hexid > kLastStaticHexid) {
        const std::size_t i = gf_liveIndexByHexid(c.hexid);
        if (i == g_liveAircraft.size()) return;  // gone meanwhile: nothing to blame or erase
        const LiveAc& ac = g_liveAircraft[i];
        const std::string callsign = ac.callsign;
        const std::string_view title = ac.liveryTitle;
        const AcKey key = ac.key;
        // Erased first: registering may end the run (too many failures), and
        // the record must not wait for an object meanwhile.
        gf_eraseLiveAc(i);
        gf_registerFailedLivery(callsign, title, key);
        return;
    }
    const auto it = lf_staticByHexid(c.hexid);
    if (it == g_staticAircraft.end()) return;
    const std::string callsign = it->callsign;
    const std::string_view title = it->liveryTitle;
    const AcKey key = it->key;
    lf_eraseStatic(it);
    gf_registerFailedLivery(callsign, title, key);
}

// A create the simulator never answered because the connection was lost: it
// is no fault of the livery. A live aircraft is created again (unless it was
// to go anyway); a static is dropped and the planner places it again.
void lf_onCreateLost(const SimCommand& c) {
    if (c.hexid > kLastStaticHexid) {
        const std::size_t i = gf_liveIndexByHexid(c.hexid);
        if (i == g_liveAircraft.size()) return;
        LiveAc& ac = g_liveAircraft[i];
        if (ac.simState != AcSimState::adding2sim) return;
        if (ac.removeWhenCreated != 0) {
            ac.removeRecord = 1;
            return;
        }
        ac.simState = AcSimState::buffer;
        ac.throttleStep = 5;
        ac.flapsIndex = 4;
        ac.objectId = 0;
        return;
    }
    if (const auto it = lf_staticByHexid(c.hexid); it != g_staticAircraft.end() && it->simState == AcSimState::adding2sim)
        lf_eraseStatic(it);
}

void lf_handle(const SimCommand& c) {
    switch (c.kind) {
        case SIM_RESULT_LIVE_ASSIGNED: lf_onLiveCreated(c); break;
        case SIM_RESULT_STATIC_ASSIGNED: lf_onStaticCreated(c); break;
        case SIM_RESULT_REMOVED: lf_onRemoved(c); break;
        case SIM_RESULT_GROUND_DATA: lf_onGroundData(c); break;
        case SIM_RESULT_STATIC_CG: lf_onStaticCg(c); break;
        case SIM_RESULT_INITIAL_POSE: lf_onInitialPose(c); break;
        case SIM_RESULT_CREATE_FAILED: lf_onCreateFailed(c); break;
        case SIM_RESULT_CREATE_LOST: lf_onCreateLost(c); break;
        default: break;
    }
}

}  // namespace

void gf_processSimCommands() {
    gf_takeSimCommands(l_work);
    for (const SimCommand& c : l_work) lf_handle(c);
    l_work.clear();
    std::size_t kept = 0;
    for (std::size_t i = 0; i < delayedSimCommands.size(); ++i) {
        if (lf_ageDelayedSimCommand(delayedSimCommands[i])) continue;
        if (kept != i) delayedSimCommands[kept] = delayedSimCommands[i];
        ++kept;
    }
    delayedSimCommands.resize(kept);
}

bool lf_ageDelayedSimCommand(SimCommand& command) {
    if (command.tick < kActivationTicks) {
        if (command.kind == SIM_RESULT_LIVE_ASSIGNED && (command.tick == kFirstBlinkAge || command.tick == kSecondBlinkAge))
            gf_queueClientEvent(command.objectId, ALL_LIGHTS_TOGGLE, 0);
        ++command.tick;
        return false;
    }
    bool done = true;
    switch (command.kind) {
        case SIM_RESULT_LIVE_ASSIGNED: done = lf_finishDelayedLiveCommand(command); break;
        case SIM_RESULT_STATIC_ASSIGNED: done = lf_finishDelayedStaticCommand(command); break;
        default:
            gf_logError(fmt::format("Unexpected delayed SimCommand {} for hexid:{:x}", command.kind, command.hexid));
            return true;
    }
    if (!done) ++command.tick;
    return done;
}

bool lf_finishDelayedLiveCommand(const SimCommand& command) {
    // Activated when its object was created (in the air): the wait was its
    // lights' only.
    if (command.payload[kActivatedWhenCreated] != 0.0) return true;
    const std::size_t i = gf_liveIndexByHexid(command.hexid);
    if (i == g_liveAircraft.size()) {
        gf_logError(fmt::format("Delayed live command expired: hexid:{:x}, objectid:{} no longer exists", command.hexid,
                                gf_objectIdText(command.objectId)));
        return true;
    }
    LiveAc& ac = g_liveAircraft[i];
    const bool dataComplete =
        ac.hasSimPose != 0 && ac.hasStaticCg != 0 && ac.motion.standGroundElevationKnown != 0;
    if (ac.phase == AcPhase::parked && ac.removeWhenCreated == 0 && !dataComplete) {
        if (command.tick < kLateDataTicks) return false;
    }
    if (ac.phase == AcPhase::parked && !dataComplete)
        gf_logError(fmt::format("{} initial simulator pose/CG unavailable; using fallback position", ac.callsign));
    activateLiveAc(ac);
    if (ac.removeWhenCreated != 0) removeAircraftFromSim(ac);
    return true;
}

bool lf_finishDelayedStaticCommand(const SimCommand& command) {
    const auto it = lf_staticByHexid(command.hexid);
    if (it == g_staticAircraft.end()) {
        gf_logError(fmt::format("Delayed static command expired: hexid:{:x}, objectid:{} no longer exists",
                                command.hexid, gf_objectIdText(command.objectId)));
        return true;
    }
    AcBase& ac = *it;
    const bool dataComplete = ac.hasSimPose != 0 && ac.hasStaticCg != 0;
    if (ac.removeWhenCreated == 0 && !dataComplete && command.tick < kLateDataTicks) return false;
    if (!dataComplete)
        gf_logError(fmt::format("{} static simulator pose/CG unavailable; using simulator placement", ac.callsign));
    ac.simState = AcSimState::active;
    ac.objectId = command.objectId;
    gf_setParkedControls(ac);
    gf_requestAiInitialPose(ac.objectId);
    gf_log(fmt::format("{:14}: {:8} parked", gf_standNameById(ac.standId), ac.callsign));
    g_parkedStaticsCount.fetch_add(1);
    if (ac.removeWhenCreated != 0) removeAircraftFromSim(ac);
    return true;
}

std::size_t gf_reserveSimResults(std::size_t n) {
    l_work.reserve(n);
    return l_work.capacity();
}

void gf_clearSimResults() {
    l_work.clear();
    delayedSimCommands.clear();
}
