// The client calls of simconnect.h, answered by the simulator model. Each call
// takes the model's lock, checks the handle and the fault knobs, counts a
// packet when it is sent, and queues whatever the simulator answers; answers
// that the real simulator gives after the fact (a failed create, an unknown
// object) come as EXCEPTION records carrying the call's packet id.

// Record fields are placed by offsetof on the derived record types, which
// g++ lays out plainly (see simconnect.h).
#pragma GCC diagnostic ignored "-Winvalid-offsetof"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <stdexcept>

#include <fmt/format.h>

#include "foundation/log.h"
#include "platform/simconnect/sim_model_internal.h"
#include "platform/simconnect/simconnect.h"
#include "foundation/geodesy.h"

namespace {

constexpr std::size_t kCallLogKept = 20000;

HANDLE lf_handle(std::uint32_t id) { return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(id)); }

std::uint32_t lf_handleId(HANDLE h) {
    const auto v = reinterpret_cast<std::uintptr_t>(h);
    return v > 0xFFFFFFFFu ? 0 : static_cast<std::uint32_t>(v);
}

std::shared_ptr<SimConnection> lf_find(SimWorld& w, HANDLE h) {
    auto it = w.connections.find(lf_handleId(h));
    return it == w.connections.end() ? nullptr : it->second;
}

// Counts the call against every matching fault and returns the result of
// the first one that fires (S_OK when none does).
HRESULT lf_fault(SimWorld& w, SimCall call, std::string_view text, std::uint32_t id, const std::string& connection) {
    HRESULT result = S_OK;
    for (auto& f : w.callFaults) {
        if (f.fault.call != call || f.fault.times == 0) continue;
        if (!f.fault.text.empty() && f.fault.text != text) continue;
        if (f.fault.id && *f.fault.id != id) continue;
        if (!f.fault.connection.empty() && f.fault.connection != connection) continue;
        ++f.seen;
        if (f.fault.nth != 0 && f.seen != f.fault.nth) continue;
        if (result != S_OK) continue;
        if (f.fault.times > 0) --f.fault.times;
        result = f.fault.result;
    }
    return result;
}

void lf_logCall(SimConnection& c, SimCall call, std::string_view text, std::uint32_t id, std::uint32_t id2,
                HRESULT hr) {
    SimCallRecord r;
    r.call = call;
    r.text.assign(text);
    r.id = id;
    r.id2 = id2;
    r.result = hr;
    r.packetId = SUCCEEDED(hr) ? c.lastPacket : 0;
    c.calls.push_back(std::move(r));
    if (c.calls.size() > kCallLogKept) c.calls.pop_front();
}

// The common head of every sending call: refuses calls on a connection whose
// simulator quit, with bad arguments or hit by a fault; otherwise counts the
// packet. Every call is logged with its result.
HRESULT lf_admit(SimWorld& w, SimConnection& c, SimCall call, std::string_view text, std::uint32_t id,
                 std::uint32_t id2, bool argsOk = true) {
    HRESULT hr = S_OK;
    if (c.quit || !w.running)
        hr = E_FAIL;
    else if (!argsOk)
        hr = E_INVALIDARG;
    else
        hr = lf_fault(w, call, text, id, c.name);
    if (SUCCEEDED(hr)) ++c.lastPacket;
    lf_logCall(c, call, text, id, id2, hr);
    return hr;
}

SimRecord lf_exceptionRecord(const SimConnection& c, DWORD exception, DWORD index) {
    SimRecord r = gf_simNewRecord(sizeof(SIMCONNECT_RECV_EXCEPTION), SIMCONNECT_RECV_ID_EXCEPTION);
    gf_simPut(r, offsetof(SIMCONNECT_RECV_EXCEPTION, dwException), exception);
    gf_simPut(r, offsetof(SIMCONNECT_RECV_EXCEPTION, dwSendID), c.lastPacket);
    gf_simPut(r, offsetof(SIMCONNECT_RECV_EXCEPTION, dwIndex), index);
    return r;
}

void lf_exception(SimWorld& w, SimConnection& c, DWORD exception, DWORD index) {
    gf_simQueue(w, c, lf_exceptionRecord(c, exception, index));
}

SimObject* lf_object(SimWorld& w, SIMCONNECT_OBJECT_ID id) {
    if (id == SIMCONNECT_OBJECT_ID_USER) id = w.userId;
    auto it = w.objects.find(id);
    return it == w.objects.end() ? nullptr : &it->second;
}

// The object a call names; an unknown id is answered with an exception that
// points at the call's argument number `index`, and gives nullptr.
SimObject* lf_knownObject(SimWorld& w, SimConnection& c, SIMCONNECT_OBJECT_ID id, DWORD index) {
    SimObject* o = lf_object(w, id);
    if (!o) lf_exception(w, c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, index);
    return o;
}

// The client's data definition a call names, answered like an unknown object.
SimDataDefinition* lf_knownDefinition(SimWorld& w, SimConnection& c, SIMCONNECT_DATA_DEFINITION_ID id,
                                      DWORD index) {
    auto it = c.definitions.find(id);
    if (it != c.definitions.end()) return &it->second;
    lf_exception(w, c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, index);
    return nullptr;
}

// The object an AI call acts on. An unknown id, or the user's aircraft, which
// no AI call may touch, is answered with an exception and gives nullptr.
SimObject* lf_aiTarget(SimWorld& w, SimConnection& c, SIMCONNECT_OBJECT_ID id) {
    SimObject* o = lf_knownObject(w, c, id, 1);
    if (!o) return nullptr;
    if (o->kind == SimObjectKind::User) {
        lf_exception(w, c, SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE, 1);
        return nullptr;
    }
    return o;
}

bool lf_knownSystemEvent(std::string_view upper) {
    return upper == "SIM" || upper == "FRAME" || upper == "OBJECTADDED" || upper == "OBJECTREMOVED" ||
           upper == "FLIGHTLOADED" || upper == "1SEC";
}

// What a client event does to an object: lights and freezes; other events
// are only journalled.
void lf_applyClientEvent(SimObject& o, std::string_view event, DWORD data) {
    struct Light {
        const char* name;
        std::int64_t bit;
    };
    static constexpr Light lights[] = {
        {"NAV_LIGHTS_SET", 0x1},   {"BEACON_LIGHTS_SET", 0x2}, {"LANDING_LIGHTS_SET", 0x4},
        {"TAXI_LIGHTS_SET", 0x8},  {"STROBES_SET", 0x10},      {"LOGO_LIGHTS_SET", 0x100},
        {"CABIN_LIGHTS_SET", 0x200},
    };
    for (const auto& l : lights) {
        if (event == l.name) {
            o.lights = data != 0 ? (o.lights | l.bit) : (o.lights & ~l.bit);
            return;
        }
    }
    if (event == "ALL_LIGHTS_TOGGLE")
        o.lights ^= 0x3FF;
    else if (event == "FREEZE_LATITUDE_LONGITUDE_SET")
        o.freezeLatLon = data != 0;
    else if (event == "FREEZE_ALTITUDE_SET")
        o.freezeAltitude = data != 0;
    else if (event == "FREEZE_ATTITUDE_SET")
        o.freezeAttitude = data != 0;
}

// The first SimConnect_Open of a program that never touched the control API
// brings up the scenario named in the environment, as a simulator started
// beside the program would be.
void lf_autoload() {
    auto& w = gf_simWorld();
    {
        std::lock_guard lock(w.mutex);
        if (w.autoloadDisabled || w.autoloadDone) return;
        w.autoloadDone = true;
    }
    try {
        gf_simModelStartFromEnvironment();
    } catch (const std::exception& e) {
        gf_logError(fmt::format("Simulator scenario not loaded: {}", e.what()));
    }
}

}  // namespace

HRESULT SimConnect_Open(HANDLE* phSimConnect, const char* szName, HWND, DWORD, HANDLE, DWORD) {
    lf_autoload();
    if (!phSimConnect) return E_INVALIDARG;
    *phSimConnect = nullptr;
    if (!szName) return E_INVALIDARG;
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    if (const HRESULT hr = lf_fault(w, SimCall::Open, szName, 0, szName); FAILED(hr)) return hr;
    if (!w.running) return E_FAIL;
    auto c = std::make_shared<SimConnection>();
    c->handleId = w.nextHandleId++;
    c->serial = w.nextSerial++;
    c->name = szName;
    lf_logCall(*c, SimCall::Open, szName, 0, 0, S_OK);

    SimRecord r = gf_simNewRecord(sizeof(SIMCONNECT_RECV_OPEN), SIMCONNECT_RECV_ID_OPEN);
    const std::string app = gf_simApplicationName(w);
    std::memcpy(r.data() + offsetof(SIMCONNECT_RECV_OPEN, szApplicationName), app.data(),
                std::min<std::size_t>(app.size(), 255));
    const DWORD major = w.version == SimVersion::MSFS2020 ? 11 : 12;
    gf_simPut(r, offsetof(SIMCONNECT_RECV_OPEN, dwApplicationVersionMajor), major);
    gf_simPut(r, offsetof(SIMCONNECT_RECV_OPEN, dwSimConnectVersionMajor), major);
    gf_simQueue(w, *c, std::move(r));

    w.connections.emplace(c->handleId, c);
    *phSimConnect = lf_handle(c->handleId);
    // A wait for this connection to appear sees it (with its OPEN queued).
    w.drained.notify_all();
    return S_OK;
}

HRESULT SimConnect_Close(HANDLE hSimConnect) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    auto c = lf_find(w, hSimConnect);
    if (!c) return E_HANDLE;
    if (const HRESULT hr = lf_fault(w, SimCall::Close, "", 0, c->name); FAILED(hr)) {
        lf_logCall(*c, SimCall::Close, "", 0, 0, hr);
        return hr;
    }
    lf_logCall(*c, SimCall::Close, "", 0, 0, S_OK);
    w.connections.erase(c->handleId);
    // A client's AI objects leave the simulator with it.
    std::vector<std::uint32_t> owned;
    for (const auto& [id, o] : w.objects)
        if (o.kind == SimObjectKind::Ai && o.ownerSerial == c->serial) owned.push_back(id);
    std::sort(owned.begin(), owned.end());
    for (auto id : owned) gf_simRemoveObject(w, id, 0, "client closed", true);
    gf_simRememberClosed(w, c);
    w.drained.notify_all();
    return S_OK;
}

HRESULT SimConnect_CallDispatch(HANDLE hSimConnect, DispatchProc pfcnDispatch, void* pContext) {
    auto& w = gf_simWorld();
    std::shared_ptr<SimConnection> c;
    std::size_t count = 0;
    {
        std::lock_guard lock(w.mutex);
        c = lf_find(w, hSimConnect);
        if (!c) return E_HANDLE;
        if (!pfcnDispatch) return E_INVALIDARG;
        if (const HRESULT hr = lf_fault(w, SimCall::CallDispatch, "", 0, c->name); FAILED(hr)) return hr;
        if (c->quit && c->queue.empty()) return E_FAIL;  // the simulator is gone
        count = c->queue.size();
        ++c->dispatching;
    }
    // The dispatching mark goes when this call ends, also by an exception.
    struct Done {
        SimWorld& w;
        SimConnection& c;
        ~Done() {
            std::lock_guard lock(w.mutex);
            --c.dispatching;
            w.drained.notify_all();
        }
    } done{w, *c};
    for (std::size_t i = 0; i < count; ++i) {
        SimRecord record;
        {
            std::lock_guard lock(w.mutex);
            if (c->queue.empty() || !c->open) break;
            record = std::move(c->queue.front());
            c->queue.pop_front();
        }
        // Records are handed out without the lock: the procedure calls back in.
        pfcnDispatch(reinterpret_cast<SIMCONNECT_RECV*>(record.data()), static_cast<DWORD>(record.size()), pContext);
    }
    return S_OK;
}

HRESULT SimConnect_SubscribeToSystemEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                          const char* SystemEventName) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    auto c = lf_find(w, hSimConnect);
    if (!c) return E_HANDLE;
    const std::string_view name = SystemEventName ? SystemEventName : "";
    if (const HRESULT hr = lf_admit(w, *c, SimCall::SubscribeToSystemEvent, name, EventID, 0, SystemEventName);
        FAILED(hr))
        return hr;
    const std::string upper = gf_toUpperAscii(name);
    if (!lf_knownSystemEvent(upper)) {
        lf_exception(w, *c, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, 2);
        return S_OK;
    }
    std::erase_if(c->subscriptions, [&](const auto& s) { return s.first == EventID; });
    c->subscriptions.emplace_back(EventID, upper);
    if (upper == "SIM") {
        SimRecord r = gf_simNewRecord(sizeof(SIMCONNECT_RECV_EVENT), SIMCONNECT_RECV_ID_EVENT);
        gf_simPut(r, offsetof(SIMCONNECT_RECV_EVENT, uGroupID), SIMCONNECT_UNUSED);
        gf_simPut(r, offsetof(SIMCONNECT_RECV_EVENT, uEventID), EventID);
        gf_simPut(r, offsetof(SIMCONNECT_RECV_EVENT, dwData), static_cast<DWORD>(w.flightRunning ? 1 : 0));
        gf_simQueue(w, *c, std::move(r));
    }
    return S_OK;
}

HRESULT SimConnect_AddToDataDefinition(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                       const char* DatumName, const char* UnitsName, SIMCONNECT_DATATYPE DatumType,
                                       float, DWORD) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    auto c = lf_find(w, hSimConnect);
    if (!c) return E_HANDLE;
    const bool typeOk = DatumType >= SIMCONNECT_DATATYPE_INT32 && DatumType <= SIMCONNECT_DATATYPE_STRINGV;
    if (const HRESULT hr = lf_admit(w, *c, SimCall::AddToDataDefinition, DatumName ? DatumName : "", DefineID, 0,
                                    DatumName && typeOk);
        FAILED(hr))
        return hr;
    if (!c->definitions.contains(DefineID)) c->definitionOrder.push_back(DefineID);
    auto& def = c->definitions[DefineID];
    SimDatum d = gf_simMakeDatum(DatumName, UnitsName, DatumType);
    const bool unknown = d.var == SimVar::Unknown;
    def.fixedSize += d.width;
    def.variable = def.variable || DatumType == SIMCONNECT_DATATYPE_STRINGV;
    def.datums.push_back(std::move(d));
    if (unknown)
        lf_exception(w, *c, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, static_cast<DWORD>(def.datums.size() - 1));
    return S_OK;
}

HRESULT SimConnect_RequestDataOnSimObject(HANDLE hSimConnect, SIMCONNECT_DATA_REQUEST_ID RequestID,
                                          SIMCONNECT_DATA_DEFINITION_ID DefineID, SIMCONNECT_OBJECT_ID ObjectID,
                                          SIMCONNECT_PERIOD Period, SIMCONNECT_DATA_REQUEST_FLAG, DWORD, DWORD,
                                          DWORD) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    auto c = lf_find(w, hSimConnect);
    if (!c) return E_HANDLE;
    if (const HRESULT hr = lf_admit(w, *c, SimCall::RequestDataOnSimObject, "", RequestID, DefineID); FAILED(hr))
        return hr;
    std::erase_if(c->periodic, [&](const auto& r) { return r.requestId == RequestID; });
    if (Period == SIMCONNECT_PERIOD_NEVER) return S_OK;
    const SimDataDefinition* def = lf_knownDefinition(w, *c, DefineID, 2);
    if (!def) return S_OK;
    SimObject* o = lf_knownObject(w, *c, ObjectID, 3);
    if (!o) return S_OK;
    SimJournalEntry e;
    e.kind = SimJournalKind::RequestData;
    e.id = RequestID;
    e.data = DefineID;
    e.group = Period;
    e.text = c->name;
    gf_simJournal(w, o->id, std::move(e));
    if (Period == SIMCONNECT_PERIOD_ONCE) {
        gf_simQueueAnswer(
            w, *c, gf_simObjectData(w, *def, *o, SIMCONNECT_RECV_ID_SIMOBJECT_DATA, RequestID, DefineID, 1, 1));
    } else {
        c->periodic.push_back({RequestID, DefineID, o->id, Period});
    }
    return S_OK;
}

HRESULT SimConnect_RequestDataOnSimObjectType(HANDLE hSimConnect, SIMCONNECT_DATA_REQUEST_ID RequestID,
                                              SIMCONNECT_DATA_DEFINITION_ID DefineID, DWORD dwRadiusMeters,
                                              SIMCONNECT_SIMOBJECT_TYPE type) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    auto c = lf_find(w, hSimConnect);
    if (!c) return E_HANDLE;
    if (const HRESULT hr = lf_admit(w, *c, SimCall::RequestDataOnSimObjectType, "", RequestID, DefineID); FAILED(hr))
        return hr;
    const SimDataDefinition* def = lf_knownDefinition(w, *c, DefineID, 2);
    if (!def) return S_OK;
    const auto ids = gf_simObjectsWithin(w, static_cast<double>(dwRadiusMeters), type);
    const auto n = static_cast<std::uint32_t>(ids.size());
    for (std::uint32_t i = 0; i < n; ++i) {
        gf_simQueue(w, *c,
                    gf_simObjectData(w, *def, w.objects.at(ids[i]), SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE,
                                     RequestID, DefineID, i + 1, n));
    }
    return S_OK;
}

HRESULT SimConnect_SetDataOnSimObject(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                      SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_DATA_SET_FLAG, DWORD ArrayCount,
                                      DWORD cbUnitSize, void* pDataSet) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    auto c = lf_find(w, hSimConnect);
    if (!c) return E_HANDLE;
    if (const HRESULT hr = lf_admit(w, *c, SimCall::SetDataOnSimObject, "", DefineID, ObjectID, pDataSet != nullptr);
        FAILED(hr))
        return hr;
    const SimDataDefinition* def = lf_knownDefinition(w, *c, DefineID, 1);
    if (!def) return S_OK;
    SimObject* o = lf_knownObject(w, *c, ObjectID, 2);
    if (!o) return S_OK;
    // Only whole units of the definition's packed size are accepted; a
    // definition holding a variable-length text cannot be set.
    if (def->variable || cbUnitSize != def->fixedSize || ArrayCount > 1) {
        lf_exception(w, *c, SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE, 5);
        return S_OK;
    }
    SimJournalEntry& e = gf_simJournalNext(w, o->id, SimJournalKind::SetData);
    e.id = DefineID;
    gf_simApplyData(w, *def, *o, static_cast<const std::byte*>(pDataSet), e.values);
    if (o->kind == SimObjectKind::User) {
        w.user.pose = o->pose;
        w.user.onGround = o->onGround;
    }
    return S_OK;
}

HRESULT SimConnect_AICreateNonATCAircraft(HANDLE hSimConnect, const char* szContainerTitle, const char* szTailNumber,
                                          SIMCONNECT_DATA_INITPOSITION InitPos, SIMCONNECT_DATA_REQUEST_ID RequestID) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    auto c = lf_find(w, hSimConnect);
    if (!c) return E_HANDLE;
    if (const HRESULT hr = lf_admit(w, *c, SimCall::AICreateNonATCAircraft, szContainerTitle ? szContainerTitle : "",
                                    RequestID, 0, szContainerTitle && szTailNumber);
        FAILED(hr))
        return hr;
    auto info = w.titles.find(gf_toUpperAscii(szContainerTitle));
    if (info == w.titles.end() && !w.acceptAnyTitle) {
        gf_simQueueAnswer(w, *c, lf_exceptionRecord(*c, SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED, 1));
        return S_OK;
    }
    if (w.aiCount >= w.maxAi) {
        gf_simQueueAnswer(w, *c, lf_exceptionRecord(*c, SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS, 1));
        return S_OK;
    }
    SimObject o;
    o.id = w.nextAiId++;
    o.kind = SimObjectKind::Ai;
    o.title = szContainerTitle;
    o.atcId = szTailNumber;
    if (info != w.titles.end()) {
        o.atcModel = info->second.atcModel;
        o.staticCgFt = info->second.staticCgFt;
        o.staticPitchRad = info->second.staticPitchRad;
    }
    o.owner = c->name;
    o.ownerSerial = c->serial;
    o.pose.latitudeDeg = InitPos.Latitude;
    o.pose.longitudeDeg = InitPos.Longitude;
    o.pose.altitudeFt = InitPos.Altitude;
    o.pose.pitchRad = InitPos.Pitch * degreesToRadians;
    o.pose.bankRad = InitPos.Bank * degreesToRadians;
    o.pose.headingRad = InitPos.Heading * degreesToRadians;
    o.pose.trueAirspeedKt = InitPos.Airspeed;
    o.pose.groundVelocityKt = InitPos.Airspeed;
    o.onGround = InitPos.OnGround != 0;
    // The simulator puts an aircraft created on or into the ground on its
    // wheels: its reference point at the title's static CG above the terrain.
    const double standingFt = gf_simTerrainFt(w, o.pose.latitudeDeg, o.pose.longitudeDeg) + o.staticCgFt;
    if (o.onGround || !(o.pose.altitudeFt > standingFt)) {
        o.pose.altitudeFt = standingFt;
        o.onGround = true;
    }

    SimRecord r = gf_simNewRecord(sizeof(SIMCONNECT_RECV_ASSIGNED_OBJECT_ID), SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID);
    gf_simPut(r, offsetof(SIMCONNECT_RECV_ASSIGNED_OBJECT_ID, dwRequestID), RequestID);
    gf_simPut(r, offsetof(SIMCONNECT_RECV_ASSIGNED_OBJECT_ID, dwObjectID), o.id);
    gf_simQueueAnswer(w, *c, std::move(r));

    SimJournalEntry e;
    e.kind = SimJournalKind::Created;
    e.id = RequestID;
    e.text = szContainerTitle;
    e.text2 = szTailNumber;
    e.values = {InitPos.Latitude, InitPos.Longitude, InitPos.Altitude, InitPos.Pitch, InitPos.Bank, InitPos.Heading,
                static_cast<double>(InitPos.OnGround), static_cast<double>(InitPos.Airspeed)};
    const auto id = gf_simAddObject(w, std::move(o));
    gf_simJournal(w, id, std::move(e));
    return S_OK;
}

HRESULT SimConnect_AIRemoveObject(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                  SIMCONNECT_DATA_REQUEST_ID RequestID) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    auto c = lf_find(w, hSimConnect);
    if (!c) return E_HANDLE;
    if (const HRESULT hr = lf_admit(w, *c, SimCall::AIRemoveObject, "", ObjectID, RequestID); FAILED(hr)) return hr;
    SimObject* o = lf_aiTarget(w, *c, ObjectID);
    if (!o) return S_OK;
    // A client removes only the AI objects it created.
    if (ObjectID == SIMCONNECT_OBJECT_ID_USER || o->kind != SimObjectKind::Ai || o->ownerSerial != c->serial) {
        lf_exception(w, *c, SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE, 1);
        return S_OK;
    }
    gf_simRemoveObject(w, o->id, RequestID, "AIRemoveObject", true);
    return S_OK;
}

HRESULT SimConnect_AIReleaseControl(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                    SIMCONNECT_DATA_REQUEST_ID RequestID) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    auto c = lf_find(w, hSimConnect);
    if (!c) return E_HANDLE;
    if (const HRESULT hr = lf_admit(w, *c, SimCall::AIReleaseControl, "", ObjectID, RequestID); FAILED(hr)) return hr;
    SimObject* o = lf_aiTarget(w, *c, ObjectID);
    if (!o) return S_OK;
    o->released = true;
    SimJournalEntry e;
    e.kind = SimJournalKind::ReleaseControl;
    e.id = RequestID;
    gf_simJournal(w, o->id, std::move(e));
    return S_OK;
}

HRESULT SimConnect_AISetAircraftFlightPlan(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                           const char* szFlightPlanPath, SIMCONNECT_DATA_REQUEST_ID RequestID) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    auto c = lf_find(w, hSimConnect);
    if (!c) return E_HANDLE;
    if (const HRESULT hr = lf_admit(w, *c, SimCall::AISetAircraftFlightPlan, szFlightPlanPath ? szFlightPlanPath : "",
                                    ObjectID, RequestID, szFlightPlanPath != nullptr);
        FAILED(hr))
        return hr;
    SimObject* o = lf_aiTarget(w, *c, ObjectID);
    if (!o) return S_OK;
    SimJournalEntry e;
    e.kind = SimJournalKind::FlightPlan;
    e.id = RequestID;
    e.text = szFlightPlanPath;
    const bool readable = std::ifstream(szFlightPlanPath, std::ios::binary).good();
    if (readable) {
        o->flightPlan = szFlightPlanPath;
    } else {
        e.data = SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED;
        lf_exception(w, *c, SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED, 2);
    }
    gf_simJournal(w, o->id, std::move(e));
    return S_OK;
}

HRESULT SimConnect_MapClientEventToSimEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                            const char* EventName) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    auto c = lf_find(w, hSimConnect);
    if (!c) return E_HANDLE;
    if (const HRESULT hr = lf_admit(w, *c, SimCall::MapClientEventToSimEvent, EventName ? EventName : "", EventID, 0,
                                    EventName != nullptr);
        FAILED(hr))
        return hr;
    std::erase_if(c->mapped, [&](const auto& m) { return m.first == EventID; });
    c->mapped.emplace_back(EventID, gf_toUpperAscii(EventName));
    return S_OK;
}

HRESULT SimConnect_TransmitClientEvent(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                       SIMCONNECT_CLIENT_EVENT_ID EventID, DWORD dwData,
                                       SIMCONNECT_NOTIFICATION_GROUP_ID GroupID, SIMCONNECT_EVENT_FLAG) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    auto c = lf_find(w, hSimConnect);
    if (!c) return E_HANDLE;
    if (const HRESULT hr = lf_admit(w, *c, SimCall::TransmitClientEvent, "", ObjectID, EventID); FAILED(hr))
        return hr;
    SimObject* o = lf_knownObject(w, *c, ObjectID, 1);
    if (!o) return S_OK;
    auto m = std::find_if(c->mapped.begin(), c->mapped.end(), [&](const auto& e) { return e.first == EventID; });
    if (m == c->mapped.end()) {
        lf_exception(w, *c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 2);
        return S_OK;
    }
    lf_applyClientEvent(*o, m->second, dwData);
    SimJournalEntry e;
    e.kind = SimJournalKind::ClientEvent;
    e.id = EventID;
    e.text = m->second;
    e.data = dwData;
    e.group = GroupID;
    gf_simJournal(w, o->id, std::move(e));
    return S_OK;
}

HRESULT SimConnect_AddClientEventToNotificationGroup(HANDLE hSimConnect, SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                                     SIMCONNECT_CLIENT_EVENT_ID EventID, BOOL) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    auto c = lf_find(w, hSimConnect);
    if (!c) return E_HANDLE;
    if (const HRESULT hr = lf_admit(w, *c, SimCall::AddClientEventToNotificationGroup, "", GroupID, EventID);
        FAILED(hr))
        return hr;
    auto g = std::find_if(c->groups.begin(), c->groups.end(), [&](const auto& e) { return e.first == GroupID; });
    if (g == c->groups.end()) {
        c->groups.emplace_back(GroupID, std::vector<std::uint32_t>{});
        g = c->groups.end() - 1;
    }
    if (std::find(g->second.begin(), g->second.end(), EventID) == g->second.end()) g->second.push_back(EventID);
    return S_OK;
}

HRESULT SimConnect_SetNotificationGroupPriority(HANDLE hSimConnect, SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                                DWORD uPriority) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    auto c = lf_find(w, hSimConnect);
    if (!c) return E_HANDLE;
    if (const HRESULT hr = lf_admit(w, *c, SimCall::SetNotificationGroupPriority, "", GroupID, uPriority); FAILED(hr))
        return hr;
    std::erase_if(c->priorities, [&](const auto& p) { return p.first == GroupID; });
    c->priorities.emplace_back(GroupID, uPriority);
    return S_OK;
}

HRESULT SimConnect_GetLastSentPacketID(HANDLE hSimConnect, DWORD* pdwError) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    auto c = lf_find(w, hSimConnect);
    if (!c) return E_HANDLE;
    if (!pdwError) return E_INVALIDARG;
    if (const HRESULT hr = lf_fault(w, SimCall::GetLastSentPacketID, "", 0, c->name); FAILED(hr)) return hr;
    *pdwError = c->lastPacket;
    return S_OK;
}

HRESULT SimConnect_AddToFacilityDefinition(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                           const char* FieldName) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    auto c = lf_find(w, hSimConnect);
    if (!c) return E_HANDLE;
    bool valid = FieldName != nullptr;
    if (valid) {
        auto it = c->facilityDefinitions.find(DefineID);
        static const std::vector<std::string> none;
        valid = !gf_simFacilityCheck(it == c->facilityDefinitions.end() ? none : it->second, FieldName).has_value();
    }
    if (const HRESULT hr = lf_admit(w, *c, SimCall::AddToFacilityDefinition, FieldName ? FieldName : "", DefineID, 0,
                                    valid);
        FAILED(hr))
        return hr;
    c->facilityDefinitions[DefineID].push_back(gf_toUpperAscii(FieldName));
    return S_OK;
}

HRESULT SimConnect_RequestFacilityData(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                       SIMCONNECT_DATA_REQUEST_ID RequestID, const char* ICAO, const char*) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    auto c = lf_find(w, hSimConnect);
    if (!c) return E_HANDLE;
    if (const HRESULT hr =
            lf_admit(w, *c, SimCall::RequestFacilityData, ICAO ? ICAO : "", DefineID, RequestID, ICAO != nullptr);
        FAILED(hr))
        return hr;
    auto def = c->facilityDefinitions.find(DefineID);
    const std::string key = gf_toUpperAscii(ICAO);
    auto airport = std::find_if(w.airports.begin(), w.airports.end(),
                                [&](const SimAirport& a) { return gf_toUpperAscii(a.icao) == key; });
    if (def == c->facilityDefinitions.end() || airport == w.airports.end()) {
        lf_exception(w, *c, SIMCONNECT_EXCEPTION_DATA_ERROR, def == c->facilityDefinitions.end() ? 1 : 3);
        return S_OK;
    }
    std::vector<SimRecord> records;
    try {
        records = gf_simFacilityAnswer(def->second, *airport, RequestID, c->nextUniqueRequestId);
    } catch (const std::invalid_argument&) {  // a definition whose blocks are not all closed
        lf_exception(w, *c, SIMCONNECT_EXCEPTION_DATA_ERROR, 1);
        return S_OK;
    }
    for (auto& r : records) gf_simQueue(w, *c, std::move(r));
    if (!w.withholdFacilityEnd) {
        SimRecord end = gf_simNewRecord(sizeof(SIMCONNECT_RECV_FACILITY_DATA_END), SIMCONNECT_RECV_ID_FACILITY_DATA_END);
        gf_simPut(end, offsetof(SIMCONNECT_RECV_FACILITY_DATA_END, RequestId), RequestID);
        gf_simQueue(w, *c, std::move(end));
    }
    return S_OK;
}
