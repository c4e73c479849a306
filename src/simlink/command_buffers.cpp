// The command lists other threads fill, and their issuing once per simulator
// frame on the SimClient thread. Producers hold the command mutex only to
// append; the frame swaps all lists out and calls the simulator after the
// mutex is released, so no producer ever waits on a simulator call.

#include <utility>

#include <fmt/format.h>

#include "engine/sim_commands.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "services/gui.h"
#include "services/stop.h"
#include "settings/snapshot.h"
#include "simlink/sim_client_seams.h"
#include "simlink/sim_link_internal.h"

SimCommandBuffers g_simCommandBuffers;
std::atomic<std::uint8_t> g_simState{SIM_NOT_CONNECTED};

namespace {

// Request ids of creates rise for the whole process, across reconnections and
// restarts, so a late answer can never be taken for a newer create.
std::atomic<std::uint32_t> l_nextCreateRequestId{kFirstCreateRequestId};

bool lf_quitting() { return g_simState.load() == SIM_QUITTING; }

void lf_appendEvent(std::uint32_t objectId, std::uint32_t eventId, std::uint32_t data) {
    std::lock_guard lock(g_simCommandBuffers.mutex);
    g_simCommandBuffers.clientEvents.push_back({objectId, eventId, data});
}

void lf_appendRequest(std::uint32_t kind, std::uint32_t objectId) {
    std::lock_guard lock(g_simCommandBuffers.mutex);
    g_simCommandBuffers.requests.push_back({kind, objectId});
}

// The lists of one frame, moved out of the shared buffers.
struct FrameLists {
    std::vector<SimClientEventCommand> clientEvents;
    std::vector<SimCreateCommand> creates;
    std::vector<std::uint32_t> removals;
    std::vector<std::uint32_t> releasedIds;
    std::vector<SimRequestCommand> requests;
    std::vector<SimReverseThrustCommand> reverseThrust;
    std::vector<SimFlightPlanCommand> flightPlans;
};

}  // namespace

// ---------------------------------------------------------------------------
// Entry points

void gf_queueAiCreate(const SimCreateCommand& create) {
    std::lock_guard lock(g_simCommandBuffers.mutex);
    g_simCommandBuffers.creates.push_back(create);
}

void gf_removeAiAircraft(std::uint32_t objectId) {
    // The pose locks first and released again: no code holds them together
    // with the command mutex.
    gf_forgetAiPoses(objectId);
    std::lock_guard lock(g_simCommandBuffers.mutex);
    g_simCommandBuffers.removals.push_back(objectId);
}

void gf_requestAiStaticCg(std::uint32_t objectId) { lf_appendRequest(SIM_REQUEST_AI_STATIC_CG, objectId); }
void gf_requestAiInitialPose(std::uint32_t objectId) { lf_appendRequest(SIM_REQUEST_AI_INITIAL_POSE, objectId); }
void gf_startAiEngines(std::uint32_t objectId) { lf_appendEvent(objectId, ENGINE_AUTO_START, 0); }
void gf_stopAiEngines(std::uint32_t objectId) { lf_appendEvent(objectId, ENGINE_AUTO_SHUTDOWN, 0); }
void gf_setAiNavLights(std::uint32_t objectId, std::uint32_t value) { lf_appendEvent(objectId, NAV_LIGHTS_SET, value); }
void gf_setAiCabinLights(std::uint32_t objectId, std::uint32_t value) {
    lf_appendEvent(objectId, CABIN_LIGHTS_SET, value);
}

void gf_setAiLights(std::uint32_t objectId, const std::array<std::uint32_t, 7>& values) {
    static constexpr std::uint32_t kOrder[7] = {NAV_LIGHTS_SET, BEACON_LIGHTS_SET, LANDING_LIGHTS_SET, TAXI_LIGHTS_SET,
                                                STROBES_SET,    LOGO_LIGHTS_SET,   CABIN_LIGHTS_SET};
    std::lock_guard lock(g_simCommandBuffers.mutex);
    for (std::size_t i = 0; i < 7; ++i) g_simCommandBuffers.clientEvents.push_back({objectId, kOrder[i], values[i]});
}

void gf_setAiReverseThrust(std::uint32_t objectId, bool on, bool reverse) {
    std::lock_guard lock(g_simCommandBuffers.mutex);
    g_simCommandBuffers.reverseThrust.push_back(
        {objectId, static_cast<std::uint8_t>(on ? 1 : 0), static_cast<std::uint8_t>(reverse ? 1 : 0)});
}

void gf_queueSimRequest(std::uint32_t kind, std::uint32_t objectId) { lf_appendRequest(kind, objectId); }
void gf_queueClientEvent(std::uint32_t objectId, std::uint32_t eventId, std::uint32_t data) {
    lf_appendEvent(objectId, eventId, data);
}

void gf_releaseStaticObjectId(std::uint32_t objectId) {
    std::lock_guard lock(g_simCommandBuffers.mutex);
    g_simCommandBuffers.releasedIds.push_back(objectId);
}

void gf_queueFlightPlan(std::uint32_t objectId, const std::filesystem::path& planFile) {
    SimFlightPlanCommand command{objectId, planFile.u16string()};
    std::lock_guard lock(g_simCommandBuffers.mutex);
    g_simCommandBuffers.flightPlans.push_back(std::move(command));
}

std::uint32_t gf_peekNextCreateRequestId() { return l_nextCreateRequestId.load(); }

void gf_clearCommandBuffers() {
    auto& b = g_simCommandBuffers;
    b.clientEvents.clear();
    b.creates.clear();
    b.removals.clear();
    b.releasedIds.clear();
    b.requests.clear();
    b.reverseThrust.clear();
    b.flightPlans.clear();
}

void gf_clearCommandBuffersLocked() {
    std::lock_guard lock(g_simCommandBuffers.mutex);
    gf_clearCommandBuffers();
}

// ---------------------------------------------------------------------------
// Issuing

void gf_logRequestError() {
    Gui::addStatusLine("SimConnect request error", true);
    Gui::enqueueUpdate(GuiUpdate::simulatorReady(false));
    g_simState.store(SIM_QUITTING);
    requestStop(StopReason::SimConnectError, 9);
}

void gf_requestData(const SimRequestCommand& request) {
    const HANDLE h = gf_simHandle();
    if (h == nullptr || lf_quitting() || request.kind > SIM_REQUEST_AI_INITIAL_POSE) return;
    auto fail = [](std::string_view line) {
        gf_logError(line);
        gf_logRequestError();
    };
    switch (request.kind) {
        case SIM_REQUEST_AC_WITHIN_RANGE: {
            const auto radius = static_cast<DWORD>(settingsSnapshot.load()->RANGE_METERS);
            if (FAILED(SimConnect_RequestDataOnSimObjectType(h, REQUEST_AC_WITHIN_RANGE, DEFINITION_AI_GET_POSITION,
                                                             radius, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT)))
                fail("SimConnect request ac within range fails");
            break;
        }
        case SIM_REQUEST_USER_TITLE_AND_MODEL:
            // A failed title request still asks for the model.
            if (FAILED(SimConnect_RequestDataOnSimObject(h, REQUEST_USER_AC_TITLE, DEFINITION_USER_AC_GET_TITLE,
                                                         SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_ONCE)))
                fail("SimConnect request user ac title fails");
            if (FAILED(SimConnect_RequestDataOnSimObject(h, REQUEST_USER_AC_MODEL, DEFINITION_USER_AC_GET_MODEL,
                                                         SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_ONCE)))
                fail("SimConnect request user ac model fails");
            break;
        case SIM_REQUEST_USER_ON_GROUND:
            if (FAILED(SimConnect_RequestDataOnSimObject(h, REQUEST_USER_AC_ON_GROUND, DEFINITION_USER_AC_GET_ONGROUND,
                                                         SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_SECOND)))
                fail("SimConnect request ac gnd/air fails");
            else
                gf_noteOnGroundStanding();
            break;
        case SIM_REQUEST_USER_POSITION:
            if (FAILED(SimConnect_RequestDataOnSimObject(h, REQUEST_USER_AC_POSITION,
                                                         DEFINITION_LATLONPIBAVSHETRALTGSZULI,
                                                         SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_ONCE)))
                fail("SimConnect request user ac position fails");
            break;
        case SIM_REQUEST_AI_STATIC_CG:
            if (FAILED(SimConnect_RequestDataOnSimObject(h, REQUEST_AI_STATIC_CG, DEFINITION_AI_GET_STATIC_CG_AND_PITCH,
                                                         request.objectId, SIMCONNECT_PERIOD_ONCE, 0, 0, 0, 0)))
                fail("SimConnect request StaticCG fails");
            break;
        case SIM_REQUEST_AI_INITIAL_POSE:
            if (FAILED(SimConnect_RequestDataOnSimObject(h, REQUEST_AI_INITIAL_POSE, DEFINITION_LATLONPIBAHEALVSTAS,
                                                         request.objectId, SIMCONNECT_PERIOD_ONCE, 0, 0, 0, 0)))
                fail("SimConnect request initial AI pose fails");
            break;
        default: break;
    }
}

void gf_createAiAircraft(const SimCreateCommand& create) {
    auto& link = gf_simLink();
    const HANDLE h = gf_simHandle();
    const std::uint32_t requestId = l_nextCreateRequestId.fetch_add(1);
    link.pendingCreates[requestId] =
        PendingCreate{create.hexid, create.hexid > kMaxStaticCreateId, 0, create.tailNumber, create.title};
    const HRESULT hr =
        SimConnect_AICreateNonATCAircraft(h, create.title.c_str(), create.tailNumber.c_str(), create.position, requestId);
    if (FAILED(hr)) {
        link.pendingCreates.erase(requestId);
        gf_logError(fmt::format("! create failed hr=0x{:08X}, requestId:{}, tailnumber:{}",
                                static_cast<std::uint32_t>(hr), requestId, create.tailNumber));
        gf_logRequestError();
        return;
    }
    DWORD packetId = 0;
    if (FAILED(SimConnect_GetLastSentPacketID(h, &packetId))) {
        link.pendingCreates.erase(requestId);
        gf_logError(fmt::format("! cannot retrieve packetId for create requestId:{}", requestId));
        gf_logRequestError();
        return;
    }
    link.pendingCreates[requestId].packetId = packetId;
    link.createRequestByPacket[packetId] = requestId;
}

void gf_aiRemoveObject(std::uint32_t objectId) {
    auto& link = gf_simLink();
    link.poseHistory.erase(objectId);
    if (objectId == link.userObjectId.load()) {
        gf_logError(fmt::format("SimConnect call to remove ac with objectid {}", gf_objectIdText(objectId)));
        return;
    }
    if (SUCCEEDED(SimConnect_AIRemoveObject(gf_simHandle(), objectId, REQUEST_AI_REMOVE))) {
        link.ownedObjects.erase(objectId);
    } else {
        gf_logError(fmt::format("!SimConnect call to remove AI ac from sim failed, id {}?", gf_objectIdText(objectId)));
        gf_logRequestError();
    }
}

void gf_processFrameCommands() {
    if (lf_quitting()) {
        gf_clearCommandBuffersLocked();
        return;
    }
    FrameLists f;
    {
        auto& b = g_simCommandBuffers;
        std::lock_guard lock(b.mutex);
        f.clientEvents.swap(b.clientEvents);
        f.creates.swap(b.creates);
        f.removals.swap(b.removals);
        f.releasedIds.swap(b.releasedIds);
        f.requests.swap(b.requests);
        f.reverseThrust.swap(b.reverseThrust);
        f.flightPlans.swap(b.flightPlans);
    }
    auto& link = gf_simLink();
    const HANDLE h = gf_simHandle();

    for (const auto id : f.releasedIds) link.staticObjects.erase(id);

    for (const auto& request : f.requests) {
        gf_requestData(request);
        if (lf_quitting()) return;
    }
    for (const auto& e : f.clientEvents) {
        // Flaps move only while the simulator's own AI does not hold the
        // aircraft; control is taken back right after.
        if (e.eventId == FLAPS_SET) SimConnect_AIReleaseControl(h, e.objectId, REQUEST_AI_RELEASE);
        const HRESULT hr =
            SimConnect_TransmitClientEvent(h, e.objectId, e.eventId, e.data, TRAFFIC_APP, SIMCONNECT_EVENT_FLAG_DEFAULT);
        if (SUCCEEDED(hr) && e.eventId == FLAPS_SET) SimConnect_AIReleaseControl(h, e.objectId, REQUEST_AI_RELEASE);
        if (lf_quitting()) return;
    }
    // Flight plans are a feature of MSFS 2020 only; with MSFS 2024 they are dropped.
    if (isMSFS2020()) {
        for (const auto& plan : f.flightPlans) {
            if (gf_simHandle() == nullptr) break;
            const std::string path = wide_to_utf8(plan.path);
            SimConnect_AISetAircraftFlightPlan(h, plan.objectId, path.c_str(), REQUEST_AI_FLIGHT_PLAN);
            if (lf_quitting()) return;
        }
    }
    for (const auto& create : f.creates) {
        gf_createAiAircraft(create);
        if (lf_quitting()) return;
    }
    for (const auto id : f.removals) {
        gf_aiRemoveObject(id);
        if (lf_quitting()) return;
    }
    for (const auto& r : f.reverseThrust) {
        if (gf_simHandle() == nullptr) break;
        double values[3] = {0, 0, 0};
        if (r.on != 0) {
            const double throttle = r.reverse != 0 ? -100.0 : 100.0;
            values[0] = 100.0;
            values[1] = throttle;
            values[2] = throttle;
        }
        SimConnect_SetDataOnSimObject(h, DEFINITION_REVERSE_THRUST, r.objectId, 0, 0, sizeof(values), values);
        if (lf_quitting()) return;
    }
}
