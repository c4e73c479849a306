#pragma once
// The in-process simulator model behind simconnect.h, and its control API.
//
// The model is one process-wide simulator. It runs or does not (SimConnect_Open
// fails while it does not), answers as MSFS 2020 ("KittyHawk") or MSFS 2024
// ("SunRise"), and holds a world: the user aircraft, the AI objects that
// connections created, foreign traffic, known aircraft titles, model airports
// and a terrain height. Any number of connections may be open at once, from
// any threads; each has its own FIFO of records and its own rising packet ids.
//
// Time does not pass by itself: a test calls gf_simModelFrames (each frame
// sends "Frame" to its subscribers and per-frame data) and gf_simModelSeconds
// (each second moves the Zulu clock and sends per-second data). The program,
// which uses the model as its simulator on Linux, gets a ticker thread that
// does both on its own (gf_simModelStartTicker, started by the scenario loader).
//
// Typical test:
//     gf_simModelReset();                       // clean world, not running
//     gf_simModelAddTitle({"Airbus A320 Neo Asobo", "A20N", 6.2, 0.01});
//     gf_simModelStart(SimVersion::MSFS2020);
//     HANDLE h{}; SimConnect_Open(&h, "TAVO", nullptr, 0, nullptr, 0);
//     ... calls ...
//     gf_simModelFrames(1);
//     SimConnect_CallDispatch(h, proc, &ctx);
//     auto j = gf_simModelJournal(objectId);    // what the object went through
//     gf_simModelReset();
//
// Everything here is thread-safe (one lock inside the model); no call blocks
// except gf_simModelWaitDrained, gf_simModelWaitQueued and
// gf_simModelStopTicker.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/simconnect/simconnect.h"

enum class SimVersion : std::uint8_t { MSFS2020 = 1, MSFS2024 = 2 };

// ---- world description ----

// An aircraft title the simulator has installed. Creates of other titles fail
// with EXCEPTION 22 unless gf_simModelSetAcceptAnyTitle(true).
struct SimTitleInfo {
    std::string title;
    std::string atcModel;       // "ATC MODEL" of objects of this title
    double staticCgFt = 5.0;    // "Static CG to Ground"
    double staticPitchRad = 0;  // "Static Pitch"
};

// Position and motion of an aircraft, in the simulator's own units.
struct SimPose {
    double latitudeDeg = 0;
    double longitudeDeg = 0;
    double altitudeFt = 0;
    double pitchRad = 0;
    double bankRad = 0;
    double headingRad = 0;       // true
    double verticalSpeedFpm = 0;
    double trueAirspeedKt = 0;
    double groundVelocityKt = 0;
};

struct SimUserAircraft {
    std::string title = "TAVO Test User Aircraft";
    std::string atcModel = "ATCCOM.AC_MODEL B738.0.text";  // as the simulator reports it
    std::string atcId = "TAVO1";
    SimPose pose;
    bool onGround = true;
    std::int64_t lightStates = 0;  // "LIGHT STATES" mask
};

// Aircraft that another program put into the simulator (seen by radius
// requests and ObjectAdded/ObjectRemoved, owned by no connection).
struct SimTrafficAircraft {
    std::string title = "Foreign Traffic";
    std::string atcId = "FRGN1";
    std::string atcModel = "A320";
    SimPose pose;
    bool onGround = false;
};

// Facility blocks of a model airport, with the simulator's field units
// (metres, degrees). Field numbers as the simulator encodes them.
struct SimTaxiParking {
    std::int32_t type = 8;  // ParkingType number (8 GATE_SMALL)
    std::int32_t taxiPointType = 0;
    std::int32_t name = 0;  // name index (prefix "GATE ", "PARKING ", ...)
    std::int32_t suffix = 0;
    std::uint32_t number = 1;
    std::int32_t orientation = 0;
    float headingDeg = 0;
    float radiusM = 20;
    float biasXM = 0;  // metres east of the airport reference
    float biasZM = 0;  // metres north of the airport reference
};

struct SimHelipad {
    double latitudeDeg = 0;
    double longitudeDeg = 0;
    double altitudeM = 0;
    float headingDeg = 0;
    float lengthM = 20;
    float widthM = 20;
    std::int32_t surface = 0;
    std::int32_t type = 1;
};

struct SimThreshold {
    float lengthM = 0;
    float widthM = 0;
    std::int32_t enable = 0;
};

struct SimRunway {
    double latitudeDeg = 0;  // centre
    double longitudeDeg = 0;
    double altitudeM = 0;
    float headingDeg = 0;  // true heading of the primary end
    float lengthM = 2000;
    float widthM = 45;
    std::int32_t primaryNumber = 9;
    std::int32_t primaryDesignator = 0;
    std::int32_t secondaryNumber = 27;
    std::int32_t secondaryDesignator = 0;
    std::int32_t surface = 0;
    SimThreshold primaryThreshold;
    SimThreshold secondaryThreshold;
};

struct SimStart {
    double latitudeDeg = 0;
    double longitudeDeg = 0;
    double altitudeM = 0;
    float headingDeg = 0;
    std::int32_t number = 9;
    std::int32_t designator = 0;
    std::int32_t type = 1;  // 1 runway start
};

struct SimAirport {
    std::string icao;    // matched without case
    std::string region;  // not checked by requests
    std::string name;
    double latitudeDeg = 0;
    double longitudeDeg = 0;
    double altitudeM = 0;
    std::vector<SimTaxiParking> parkings;
    std::vector<SimHelipad> helipads;
    std::vector<SimRunway> runways;
    std::vector<SimStart> starts;
    // Counts the airport block advertises (N_RUNWAYS, N_STARTS, N_HELIPADS,
    // N_TAXI_PARKINGS); unset = the real number. Set to test incomplete data.
    std::optional<std::int32_t> advertisedRunways, advertisedStarts, advertisedHelipads,
        advertisedParkings;
};

// ---- life cycle ----

// Back to a clean, stopped model: ticker stopped, every connection dropped
// (their handles fail from now on), world, titles, airports, terrain, faults,
// journals and logs emptied, version 2020, default ids and names. Also turns
// off the automatic scenario loading of SimConnect_Open (tests call this
// first so that TAVO_SIM_SCENARIO in the environment cannot interfere).
void gf_simModelReset();
// The simulator starts (or keeps running) as the given version; the user
// aircraft exists with its object id from then on. Object ids of this version
// apply unless set by gf_simModelSetObjectIds.
void gf_simModelStart(SimVersion version);
// The simulator quits: every open connection gets QUIT, every object except
// the world's description is gone, and Open fails until the next start.
// Calls on old handles fail with E_FAIL (CallDispatch first delivers what is
// queued, QUIT last, and fails afterwards).
void gf_simModelStop();
// The simulator quits and the other version starts (what a user does when
// switching simulators).
void gf_simModelSwitchVersion();
bool gf_simModelIsRunning();
SimVersion gf_simModelVersion();

// Object ids: the user aircraft's id and the first AI id; later AI ids count
// up from there. Defaults: 2020 user 1, AI from 100 (small decimal ids);
// 2024 user 0x0A000001, AI from 0x0A000100 (large ids). Applies from the next
// object created; the user id from the next start.
void gf_simModelSetObjectIds(std::uint32_t userObjectId, std::uint32_t firstAiObjectId);
// The application name and version in OPEN; unset = "KittyHawk" 11.0.0.0 or
// "SunRise" 12.0.0.0 by version. For tests of unknown or misspelt names.
void gf_simModelSetApplicationName(std::optional<std::string> name);

// ---- world ----

void gf_simModelSetUserAircraft(const SimUserAircraft& user);
SimUserAircraft gf_simModelUserAircraft();
std::uint32_t gf_simModelUserObjectId();
void gf_simModelAddTitle(const SimTitleInfo& info);
// Every title counts as installed (default static CG 5 ft, pitch 0).
void gf_simModelSetAcceptAnyTitle(bool accept);
void gf_simModelAddAirport(const SimAirport& airport);
// Ground elevation in feet at a position ("Ground Altitude", and "Plane Alt
// Above Ground" = altitude minus it). Default: 0 everywhere.
void gf_simModelSetTerrain(std::function<double(double latDeg, double lonDeg)> heightFt);
double gf_simModelTerrainHeightFt(double latDeg, double lonDeg);
// Zulu time as seconds since 1970-01-01 UTC; each simulated second adds one.
void gf_simModelSetZuluTime(std::int64_t epochSeconds);
// Raw Zulu fields as reported, unchecked (year, day of year, seconds of day),
// until the next gf_simModelSetZuluTime; for tests of invalid times.
void gf_simModelSetZuluFields(std::int64_t year, std::int64_t dayOfYear, std::int64_t secondsOfDay);
// Whether a flight runs ("Sim" event data 1); subscribers get the change.
void gf_simModelSetFlightRunning(bool running);
// A new flight was loaded: "FlightLoaded" subscribers get EVENT_FILENAME with
// the file name (or, with asPlainEvent, an EVENT record).
void gf_simModelLoadFlight(const std::string& fileName, bool asPlainEvent = false);
// At most this many AI objects at once (default 1000); a create beyond it
// gets EXCEPTION 11.
void gf_simModelSetMaxAiObjects(std::size_t count);

// Answers to creates (ASSIGNED_OBJECT_ID, or the exception of a failed
// create) and to one-time data requests reach the client this many frames
// late; 0 (the default) answers at once. What is due is queued at the start
// of a frame, before its "Frame" event. Answers held for a connection that
// closes or whose simulator quits are dropped with it.
void gf_simModelSetAnswerDelay(std::uint32_t frames);

// The simulator itself removes an AI object that a connection created (as
// after a crash of the object): journal Removed with id 0, ObjectRemoved to
// every subscriber, the owner included. False when no such AI object exists.
bool gf_simModelRemoveAiObject(std::uint32_t objectId);

// The clock (nanoseconds) that stamps journal entries; an empty function
// restores the steady clock. Called under the model's lock: it must not call
// back into the model.
void gf_simModelSetClock(std::function<std::int64_t()> nowNs);

// Foreign traffic: returns its object id; ObjectAdded/ObjectRemoved go to
// every subscriber.
std::uint32_t gf_simModelAddTraffic(const SimTrafficAircraft& aircraft);
bool gf_simModelRemoveTraffic(std::uint32_t objectId);
// Moves any object (user, own AI or traffic); false when it does not exist.
bool gf_simModelSetObjectPose(std::uint32_t objectId, const SimPose& pose, std::optional<bool> onGround = {});

// ---- time ----

// n simulated frames: "Frame" to subscribers, per-frame data requests.
void gf_simModelFrames(int count = 1);
// n simulated seconds: Zulu +1 s each, "1sec" events, per-second data requests.
void gf_simModelSeconds(int count = 1);
// Frames and seconds on a background thread, for the program (and tests of
// it). Starting it again restarts it with the new intervals.
void gf_simModelStartTicker(std::chrono::milliseconds frameInterval = std::chrono::milliseconds(33),
                            std::chrono::milliseconds secondInterval = std::chrono::milliseconds(1000));
void gf_simModelStopTicker();
bool gf_simModelTickerRunning();
// Waits until every open connection has no queued record and no dispatch
// procedure is running; false on time-out.
bool gf_simModelWaitDrained(std::chrono::milliseconds timeout);
// The same, and also until a connection of that name is open: a client
// whose thread is still on its way to SimConnect_Open has nothing queued
// yet, but it is not done.
bool gf_simModelWaitDrained(std::chrono::milliseconds timeout, std::string_view connection);
// Waits until an open connection has a record queued for its next dispatch;
// false on time-out. A client that polls can pause on it instead of sleeping,
// so that a world faster than real time does not wait for its polls.
bool gf_simModelWaitQueued(std::chrono::milliseconds timeout);
std::uint64_t gf_simModelFrameCount();

// ---- inspection ----

enum class SimObjectKind : std::uint8_t { User, Ai, Traffic };

struct SimObjectInfo {
    std::uint32_t objectId = 0;
    SimObjectKind kind = SimObjectKind::Ai;
    std::string title;
    std::string atcId;   // tail number of an AI create
    std::string owner;   // connection name of an AI object
    SimPose pose;
    bool onGround = false;
    bool released = false;  // AIReleaseControl was called
    bool freezeLatLon = false, freezeAltitude = false, freezeAttitude = false;
    std::int64_t lightStates = 0;
    double spoilersPct = 0, throttle1Pct = 0, throttle2Pct = 0;
    std::string flightPlan;
};

enum class SimJournalKind : std::uint8_t {
    Created,        // text: title; text2: tail number; values: init position (8)
    SetData,        // id: definition; values: every value in definition order (strings as 0)
    ClientEvent,    // id: client event id; text: simulator event name; data; group
    ReleaseControl, // id: request id
    FlightPlan,     // id: request id; text: path
    RequestData,    // id: request id; data: definition; group: period
    Removed,        // id: request id (0 when the simulator removed it); text: why
};

struct SimJournalEntry {
    SimJournalKind kind = SimJournalKind::SetData;
    std::uint64_t frame = 0;  // gf_simModelFrameCount() when it happened
    std::int64_t timeNs = 0;  // the model's clock when it happened (gf_simModelSetClock)
    std::uint32_t id = 0;
    std::uint32_t data = 0;
    std::uint32_t group = 0;
    std::string text;
    std::string text2;
    std::vector<double> values;
};

// Every call and value an object went through, in order (also after its
// removal). At most gf_simModelSetJournalLimit entries per object are kept
// (the oldest go); journals of the 4096 most recently removed objects stay.
std::vector<SimJournalEntry> gf_simModelJournal(std::uint32_t objectId);
void gf_simModelSetJournalLimit(std::size_t entriesPerObject);
std::vector<SimObjectInfo> gf_simModelObjects();
std::optional<SimObjectInfo> gf_simModelObject(std::uint32_t objectId);

enum class SimCall : std::uint8_t {
    Open, Close, CallDispatch, SubscribeToSystemEvent, AddToDataDefinition, RequestDataOnSimObject,
    RequestDataOnSimObjectType, SetDataOnSimObject, AICreateNonATCAircraft, AIRemoveObject,
    AIReleaseControl, AISetAircraftFlightPlan, MapClientEventToSimEvent, TransmitClientEvent,
    AddClientEventToNotificationGroup, SetNotificationGroupPriority, GetLastSentPacketID,
    AddToFacilityDefinition, RequestFacilityData,
};
const char* gf_simCallName(SimCall call);

// One call a connection made (CallDispatch and GetLastSentPacketID are not
// logged). text: the call's text argument (name, title, path, field, ICAO);
// id: its first id argument; packetId 0 when the call failed.
struct SimCallRecord {
    SimCall call = SimCall::Open;
    std::string text;
    std::uint32_t id = 0;
    std::uint32_t id2 = 0;  // second id (event of a group addition, object of a request, ...)
    HRESULT result = S_OK;
    std::uint32_t packetId = 0;
};

struct SimConnectionInfo {
    bool found = false;
    bool open = false;
    std::string name;
    std::uint64_t serial = 0;  // rising per Open, process-wide
    std::vector<std::pair<std::uint32_t, std::string>> subscriptions;  // event id, system event
    std::vector<std::pair<std::uint32_t, std::string>> mappedEvents;   // event id, sim event
    std::vector<std::pair<std::uint32_t, std::vector<std::uint32_t>>> groups;  // members in order
    std::vector<std::pair<std::uint32_t, std::uint32_t>> groupPriorities;
    std::vector<std::pair<std::uint32_t, std::vector<std::string>>> dataDefinitions;      // names
    std::vector<std::pair<std::uint32_t, std::vector<std::string>>> facilityDefinitions;  // entries
    std::uint32_t lastPacketId = 0;
    std::size_t queuedRecords = 0;
    std::vector<SimCallRecord> calls;  // at most the last 20000
};
// The most recently opened connection of that name (open or closed; the last
// 64 closed ones are remembered). found is false when there is none.
SimConnectionInfo gf_simModelConnection(const std::string& name);
int gf_simModelOpenConnectionCount();

// ---- faults ----

// Makes calls fail with `result` (nothing is sent, no packet id is used).
// A fault matches a call of `call` when every given filter matches:
// - nth: only the n-th call of that function counted from when the fault was
//   added (1-based); 0 = every call;
// - text: the call's text argument equals it (variable, event, title, field,
//   ICAO, connection name of Open); empty = any;
// - id: the call's first id argument (definition, request, object, event,
//   group) equals it;
// - connection: the connection's name equals it; empty = any.
// times: how often it fires before it is spent; -1 = unlimited.
struct SimCallFault {
    SimCall call = SimCall::Open;
    std::uint64_t nth = 0;
    std::string text{};
    std::optional<std::uint32_t> id{};
    std::string connection{};
    HRESULT result = E_FAIL;
    int times = -1;
};
void gf_simModelAddCallFault(const SimCallFault& fault);
// Records of kind `recvId` (and, when given, of that request id: dwRequestID
// of data, UserRequestId of facility data, RequestId of END) are delivered cut
// to `truncateTo` bytes (dwSize says so too). times as above.
struct SimRecordFault {
    SIMCONNECT_RECV_ID recvId = SIMCONNECT_RECV_ID_NULL;
    std::optional<std::uint32_t> requestId{};
    std::uint32_t truncateTo = 12;
    int times = -1;
};
void gf_simModelAddRecordFault(const SimRecordFault& fault);
// Facility requests get their blocks but no FACILITY_DATA_END.
void gf_simModelSetWithholdFacilityEnd(bool withhold);
// Queues an EXCEPTION record (5 version mismatch, 19 invalid data size, 24
// operation invalid for object type, or any other) to the connections of that
// name (empty = all open ones).
void gf_simModelSendException(const std::string& connection, DWORD exception, DWORD sendId, DWORD index);
// Queues any record as it is (dwSize is not corrected) to the connections of
// that name (empty = all open ones).
void gf_simModelQueueRawRecord(const std::string& connection, const std::vector<std::byte>& record);
// Drops every fault knob (call faults, record faults, withheld END).
void gf_simModelClearFaults();

// ---- scenario ----

// Loads a scenario file (XML, see data/scenarios/sample.xml for every element),
// resets the model to it, starts the simulator and the ticker. Throws
// std::runtime_error naming the file on any error; the model is then reset.
void gf_simModelLoadScenario(const std::string& path);
// The program's start: loads the scenario named by TAVO_SIM_SCENARIO when it
// is set and not empty; returns whether one was loaded. Without it the
// simulator does not run. SimConnect_Open calls this once by itself, unless
// gf_simModelReset was called before.
bool gf_simModelStartFromEnvironment();
