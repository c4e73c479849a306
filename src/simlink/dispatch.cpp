// The dispatch procedure of the SimClient connection: checks every received
// record, recognises the simulator, follows its running state, drives the
// per-frame work, settles creates and turns answers into results for the
// engine.

#include <cctype>
#include <cstring>

#include <fmt/format.h>

#include "engine/sim_commands.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "services/gui.h"
#include "services/stop.h"
#include "settings/snapshot.h"
#include "simlink/sim_link_internal.h"

// Record fields are read by offsetof on the derived record types, which g++
// lays out plainly (see simconnect.h).
#pragma GCC diagnostic ignored "-Winvalid-offsetof"

namespace {

template <typename T>
T lf_read(const void* record, std::size_t offset) {
    T value{};
    std::memcpy(&value, static_cast<const std::byte*>(record) + offset, sizeof(T));
    return value;
}

void lf_post(std::uint32_t kind, std::uint32_t objectId, std::uint32_t hexid, std::array<double, 10> payload = {}) {
    SimCommand c;
    c.objectId = objectId;
    c.hexid = hexid;
    c.tick = 0;
    c.kind = kind;
    c.payload = payload;
    gf_queueSimCommand(c);
}

void lf_onOpen(const SIMCONNECT_RECV* data) {
    const auto* open = static_cast<const SIMCONNECT_RECV_OPEN*>(data);
    const std::string name(open->szApplicationName, strnlen(open->szApplicationName, sizeof(open->szApplicationName)));
    if (name.empty()) {
        gf_log("! Simulator name empty?");
        return;
    }
    std::string key;
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u) || std::isspace(u)) key.push_back(c);
    }
    std::string simName;
    if (key == "KittyHawk") {
        if (!isMSFS2020()) throw tavo::UserRelatedException(2024, name);
        simName = "MSFS 2020";
    } else if (key == "SunRise") {
        if (isMSFS2020()) throw tavo::UserRelatedException(2024, name);
        simName = "MSFS 2024";
    } else {
        throw tavo::UserRelatedException(77, fmt::format("'{}' not being MSFS 2020 or MSFS 2024 connects ... ?", key));
    }
    gf_log(fmt::format("{} connected",
                       fmt::format("{} ({}.{}.{}.{})", simName, open->dwApplicationVersionMajor,
                                   open->dwApplicationVersionMinor, open->dwApplicationBuildMajor,
                                   open->dwApplicationBuildMinor)));
    Gui::enqueueUpdate(GuiUpdate::simulatorName(simName));
    Gui::showTbloHintOrClear();
    g_simState.store(SIM_STOPPED);
}

void lf_onCreateObjectFailed(DWORD packetId) {
    auto& link = gf_simLink();
    const auto byPacket = link.createRequestByPacket.find(packetId);
    if (byPacket == link.createRequestByPacket.end()) {
        gf_log(fmt::format("CREATE_OBJECT_FAILED packetId:{} (no pending request)", packetId));
        return;
    }
    const std::uint32_t requestId = byPacket->second;
    link.createRequestByPacket.erase(byPacket);
    const auto pending = link.pendingCreates.find(requestId);
    if (pending == link.pendingCreates.end()) {
        gf_log(fmt::format("CREATE_OBJECT_FAILED requestId:{} (no pending create)", requestId));
        return;
    }
    const PendingCreate create = std::move(pending->second);
    link.pendingCreates.erase(pending);
    gf_log(fmt::format("CREATE_OBJECT_FAILED packetId:{} requestId:{} hexid:{:x} tailnumber:{}", packetId, requestId,
                       create.hexid, create.tailNumber));
    lf_post(SIM_RESULT_CREATE_FAILED, 0, create.hexid, {static_cast<double>(requestId)});
}

void lf_onSimException(const SIMCONNECT_RECV* data) {
    const auto* e = static_cast<const SIMCONNECT_RECV_EXCEPTION*>(data);
    switch (e->dwException) {
        case SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID: break;
        case SIMCONNECT_EXCEPTION_VERSION_MISMATCH:
            throw tavo::UserRelatedException(95, fmt::format("SimConnect Version Mismatch, dwIndex: {}", e->dwIndex));
        case SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS:
            Gui::addStatusLine("SimConnect: too many objects (max 1000)", true);
            break;
        case SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE: gf_log("SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE"); break;
        case SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED: lf_onCreateObjectFailed(e->dwSendID); break;
        case SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED:
            gf_logError("SimConnect exception: load flight plan failed");
            break;
        case SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE:
            gf_log("SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE");
            break;
        default: gf_logError(fmt::format("SIMCONNECT_EXCEPTION #{}", e->dwException)); break;
    }
}

void lf_onObjectAddRemove(const SIMCONNECT_RECV* data) {
    const auto* e = static_cast<const SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE*>(data);
    if (e->eObjType != SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT || e->uEventID != EVENT_OBJECT_REMOVED) return;
    auto& link = gf_simLink();
    const std::uint32_t objectId = e->dwData;
    link.ownedObjects.erase(objectId);
    link.staticObjects.erase(objectId);
    // A removed object's track and what the engine published for it go too:
    // the engine learns of the removal only at its next tick, and a pose it
    // publishes until then must not bring the track back.
    link.poseHistory.erase(objectId);
    gf_forgetAiPoses(objectId);
    if (link.shutdownRemovals.erase(objectId) > 0) ++link.shutdownConfirmed;
    lf_post(SIM_RESULT_REMOVED, objectId, 0);
}

void lf_onSimObjectData(const SIMCONNECT_RECV* data, DWORD size) {
    const auto* d = static_cast<const SIMCONNECT_RECV_SIMOBJECT_DATA*>(data);
    constexpr std::size_t base = offsetof(SIMCONNECT_RECV_SIMOBJECT_DATA, dwData);
    switch (d->dwRequestID) {
        case REQUEST_AI_STATIC_CG: {
            if (!gf_checkPayloadSize(size, 56, "AI_STATIC_CG_AND_PITCH")) return;
            lf_post(SIM_RESULT_STATIC_CG, d->dwObjectID, 0,
                    {lf_read<double>(data, base), lf_read<double>(data, base + 8)});
            break;
        }
        case REQUEST_AI_INITIAL_POSE: {
            if (!gf_checkPayloadSize(size, 104, "AI_INITIAL_POSE")) return;
            std::array<double, 10> payload{};
            for (std::size_t i = 0; i < 8; ++i) payload[2 + i] = lf_read<double>(data, base + 8 * i);
            lf_post(SIM_RESULT_INITIAL_POSE, d->dwObjectID, 0, payload);
            break;
        }
        case REQUEST_USER_AC_TITLE: gf_onUserAircraftTitle(d, size); break;
        case REQUEST_USER_AC_MODEL: gf_onUserAircraftModel(d, size); break;
        case REQUEST_USER_AC_ON_GROUND: gf_onUserOnGround(d, size); break;
        case REQUEST_USER_AC_POSITION: gf_onUserPosition(d, size); break;
        default: break;
    }
}

void lf_onAiPositionByType(const SIMCONNECT_RECV* data, DWORD size) {
    const auto* d = static_cast<const SIMCONNECT_RECV_SIMOBJECT_DATA*>(data);
    if (d->dwRequestID != REQUEST_AC_WITHIN_RANGE) return;
    if (!gf_checkPayloadSize(size, 96, "AI_POSITION")) return;
    constexpr std::size_t base = offsetof(SIMCONNECT_RECV_SIMOBJECT_DATA, dwData);
    auto& link = gf_simLink();
    const std::uint32_t objectId = d->dwObjectID;
    const double aboveGround = lf_read<double>(data, base);
    const double groundAltitude = lf_read<double>(data, base + 8);
    const auto onGround = lf_read<std::int64_t>(data, base + 16);
    const char* atcId = reinterpret_cast<const char*>(data) + base + 24;
    if (objectId == link.userObjectId.load() || atcId[0] == '\0' || link.staticObjects.contains(objectId) ||
        aboveGround > 2500.0)
        return;
    lf_post(SIM_RESULT_GROUND_DATA, objectId, onGround != 0 ? 1u : 0u, {groundAltitude, aboveGround});
}

void lf_dispatch(SIMCONNECT_RECV* data, DWORD size, SimDispatchContext& context) {
    auto& link = gf_simLink();
    switch (data->dwID) {
        case SIMCONNECT_RECV_ID_EXCEPTION:
            if (gf_checkPayloadSize(size, 24, "EXCEPTION")) lf_onSimException(data);
            break;
        case SIMCONNECT_RECV_ID_OPEN:
            if (!gf_checkPayloadSize(size, 308, "OPEN")) break;
            try {
                lf_onOpen(data);
            } catch (const tavo::UserRelatedException& e) {
                if (!std::string_view(e.what()).starts_with("2024")) throw;
                context.quit = true;
                context.simulatorMismatch = true;
                break;
            }
            g_userSwitchedSim.store(false);
            break;
        case SIMCONNECT_RECV_ID_QUIT:
            if (g_simState.load() != SIM_QUITTING) {
                g_simState.store(SIM_NOT_CONNECTED);
                Gui::enqueueUpdate(GuiUpdate::simulatorReady(false));
            }
            context.quit = true;
            break;
        case SIMCONNECT_RECV_ID_EVENT: {
            if (!gf_checkPayloadSize(size, 24, "EVENT")) break;
            const auto* e = static_cast<const SIMCONNECT_RECV_EVENT*>(data);
            if (e->uEventID == EVENT_SIM) {
                if (g_simState.load() != SIM_QUITTING) {
                    const bool running = e->dwData == 1;
                    g_simState.store(running ? SIM_RUNNING : SIM_STOPPED);
                    Gui::enqueueUpdate(GuiUpdate::simulatorReady(running));
                }
            } else if (e->uEventID == EVENT_FLIGHT_LOADED) {
                gf_log("SimConnect: flight loaded event");
                gf_onFlightLoaded();
                gf_requestNewFlight();
            }
            break;
        }
        case SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE:
            if (gf_checkPayloadSize(size, 28, "EVENT_OBJECT_ADDREMOVE")) lf_onObjectAddRemove(data);
            break;
        case SIMCONNECT_RECV_ID_EVENT_FILENAME:
            gf_logError("SimConnect: New file event");
            gf_onFlightLoaded();
            gf_requestNewFlight();
            break;
        case SIMCONNECT_RECV_ID_EVENT_FRAME:
            if (gf_simHandle() == nullptr || link.shutdownInProgress) break;
            gf_sendAiPositions();
            gf_processFrameCommands();
            break;
        case SIMCONNECT_RECV_ID_SIMOBJECT_DATA:
            if (gf_checkPayloadSize(size, 40, "SIMOBJECT_DATA")) lf_onSimObjectData(data, size);
            break;
        case SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE:
            if (gf_checkPayloadSize(size, 40, "SIMOBJECT_DATA_BYTYPE")) lf_onAiPositionByType(data, size);
            break;
        case SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID: {
            if (!gf_checkPayloadSize(size, 20, "ASSIGNED_OBJECT_ID")) break;
            const auto* a = static_cast<const SIMCONNECT_RECV_ASSIGNED_OBJECT_ID*>(data);
            gf_onAssignedObjectId(a->dwRequestID, a->dwObjectID);
            break;
        }
        case SIMCONNECT_RECV_ID_CLIENT_DATA:
        case SIMCONNECT_RECV_ID_EVENT_EX1: break;
        default: gf_log(fmt::format("! Unknown Dispatch dwID {}", data->dwID)); break;
    }
}

}  // namespace

bool gf_checkPayloadSize(DWORD size, DWORD minimum, std::string_view name) {
    if (size >= minimum) return true;
    gf_logError(fmt::format("SimConnect {} payload too small: {} < {} bytes", name, size, minimum));
    return false;
}

void gf_onAssignedObjectId(std::uint32_t requestId, std::uint32_t objectId) {
    auto& link = gf_simLink();
    const auto pending = link.pendingCreates.find(requestId);
    if (pending == link.pendingCreates.end()) {
        gf_log(fmt::format("ASSIGNED_OBJECT_ID: requestId:{} oid:{} (no pending)", requestId, gf_objectIdText(objectId)));
        return;
    }
    const PendingCreate create = std::move(pending->second);
    link.pendingCreates.erase(pending);
    link.createRequestByPacket.erase(create.packetId);
    link.ownedObjects.insert(objectId);
    if (!create.live) link.staticObjects.insert(objectId);
    link.objectTailNumbers[objectId] = create.tailNumber;
    const HANDLE h = gf_simHandle();
    if (link.shutdownInProgress) {
        // The program is leaving: an object that arrives now goes at once.
        link.shutdownRemovals.insert(objectId);
        if (FAILED(SimConnect_AIRemoveObject(h, objectId, REQUEST_AI_REMOVE))) {
            link.shutdownRemovals.erase(objectId);
            gf_logError(fmt::format("SimConnect shutdown remove failed for newly assigned object {}",
                                    gf_objectIdText(objectId)));
        } else {
            ++link.shutdownRemoveRequested;
        }
        return;
    }
    // The simulator's own AI must not fly the object: it moves only by the
    // poses this program sends.
    SimConnect_AIReleaseControl(h, objectId, REQUEST_AI_RELEASE);
    for (const DWORD freeze : {FREEZE_LATITUDE_LONGITUDE_SET, FREEZE_ALTITUDE_SET, FREEZE_ATTITUDE_SET})
        SimConnect_TransmitClientEvent(h, objectId, freeze, 1, TRAFFIC_APP, SIMCONNECT_EVENT_FLAG_DEFAULT);
    lf_post(create.live ? SIM_RESULT_LIVE_ASSIGNED : SIM_RESULT_STATIC_ASSIGNED, objectId, create.hexid);
}

void gf_simDispatch(SIMCONNECT_RECV* data, DWORD size, void* context) {
    if (data == nullptr || context == nullptr) return;
    if (!gf_checkPayloadSize(size, 12, "RECV")) return;
    lf_dispatch(data, size, *static_cast<SimDispatchContext*>(context));
}
