#pragma once
// State of the simulator model, shared by its source files only. Every field
// of SimWorld is guarded by SimWorld::mutex.

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/simconnect/sim_model.h"
#include "platform/simconnect/simconnect.h"
#include "foundation/text.h"

using SimRecord = std::vector<std::byte>;

// The simulation variables the model knows, resolved once when a datum is
// added so that packing a record compares no names.
enum class SimVar : std::uint8_t {
    Unknown, Latitude, Longitude, Pitch, Bank, Heading, Altitude, IndicatedAltitude, AltAboveGround,
    GroundAltitude, OnGround, VerticalSpeed, AirspeedTrue, GroundVelocity, GpsTrack, ZuluTime,
    ZuluDay, ZuluYear, LightStates, LightOnStates, StaticCg, StaticPitch, AtcId, AtcModel, Title,
    Spoilers, Throttle1, Throttle2,
};

struct SimDatum {
    std::string name;
    SimVar var = SimVar::Unknown;
    SIMCONNECT_DATATYPE type = SIMCONNECT_DATATYPE_FLOAT64;
    double scale = 1.0;  // value in the requested unit = value in the model's unit * scale
    std::size_t width = 8;  // bytes; 0 for STRINGV
};

struct SimDataDefinition {
    std::vector<SimDatum> datums;
    std::size_t fixedSize = 0;  // sum of widths (STRINGV counted as 0)
    bool variable = false;      // holds a STRINGV
};

struct SimPeriodicRequest {
    std::uint32_t requestId = 0;
    std::uint32_t defineId = 0;
    std::uint32_t objectId = 0;
    SIMCONNECT_PERIOD period = SIMCONNECT_PERIOD_NEVER;
};

struct SimConnection {
    std::uint32_t handleId = 0;
    std::uint64_t serial = 0;
    std::string name;
    bool open = true;
    bool quit = false;  // the simulator quit; QUIT is queued
    std::deque<SimRecord> queue;
    // Answers held back by the answer delay, with the frame they are due at.
    std::deque<std::pair<std::uint64_t, SimRecord>> heldAnswers;
    int dispatching = 0;
    std::uint32_t lastPacket = 0;
    std::vector<std::pair<std::uint32_t, std::string>> subscriptions;  // client id, upper-case name
    std::vector<std::pair<std::uint32_t, std::string>> mapped;         // client id, upper-case name
    std::vector<std::pair<std::uint32_t, std::vector<std::uint32_t>>> groups;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> priorities;
    std::unordered_map<std::uint32_t, SimDataDefinition> definitions;
    std::vector<std::uint32_t> definitionOrder;
    std::map<std::uint32_t, std::vector<std::string>> facilityDefinitions;
    std::vector<SimPeriodicRequest> periodic;
    std::deque<SimCallRecord> calls;
    std::uint32_t nextUniqueRequestId = 1;
};

struct SimObject {
    std::uint32_t id = 0;
    SimObjectKind kind = SimObjectKind::Ai;
    std::string title, atcId, atcModel;
    std::string owner;
    std::uint64_t ownerSerial = 0;
    SimPose pose;
    bool onGround = false;
    bool released = false;
    bool freezeLatLon = false, freezeAltitude = false, freezeAttitude = false;
    std::int64_t lights = 0;
    double staticCgFt = 5.0, staticPitchRad = 0;
    double spoilersPct = 0, throttle1Pct = 0, throttle2Pct = 0;
    std::string flightPlan;
};

struct SimCallFaultState {
    SimCallFault fault;
    std::uint64_t seen = 0;
};

struct SimRecordFaultState {
    SimRecordFault fault;
};

// One object's journal: a ring of at most the world's limit entries. Once
// full, a new entry takes the oldest one's place and keeps its buffers, so
// that an aircraft moved every frame for hours costs no allocation per pose.
struct SimJournal {
    std::vector<SimJournalEntry> entries;
    std::size_t oldest = 0;  // where the oldest entry is; not 0 only when full
};

struct SimWorld {
    std::mutex mutex;
    std::condition_variable drained;
    std::condition_variable queued;  // a record was queued (gf_simModelWaitQueued)

    bool running = false;
    SimVersion version = SimVersion::MSFS2020;
    bool autoloadDisabled = false;
    bool autoloadDone = false;

    std::optional<std::pair<std::uint32_t, std::uint32_t>> idOverride;
    std::uint32_t userId = 1;
    std::uint32_t nextAiId = 100;
    std::optional<std::string> appName;

    SimUserAircraft user;
    std::unordered_map<std::uint32_t, SimObject> objects;
    std::size_t aiCount = 0;
    std::unordered_map<std::uint32_t, SimJournal> journals;
    std::deque<std::uint32_t> removedOrder;
    std::size_t journalLimit = 10000;

    std::unordered_map<std::string, SimTitleInfo> titles;  // by upper-case title
    bool acceptAnyTitle = false;
    std::vector<SimAirport> airports;
    std::function<double(double, double)> terrain;
    std::int64_t zuluEpoch = 1704067200;  // 2024-01-01 00:00:00 UTC
    std::optional<std::array<std::int64_t, 3>> zuluRaw;
    bool flightRunning = true;
    std::size_t maxAi = 1000;
    std::uint64_t frameCount = 0;
    std::uint32_t answerDelayFrames = 0;
    std::function<std::int64_t()> clock;  // empty: the steady clock

    std::unordered_map<std::uint32_t, std::shared_ptr<SimConnection>> connections;
    std::deque<std::shared_ptr<SimConnection>> closed;
    std::uint32_t nextHandleId = 1;
    std::uint64_t nextSerial = 1;

    std::vector<SimCallFaultState> callFaults;
    std::vector<SimRecordFaultState> recordFaults;
    bool withholdFacilityEnd = false;
};

SimWorld& gf_simWorld();

// ---- record helpers (sim_records.cpp) ----

template <typename T>
void gf_simPut(SimRecord& record, std::size_t offset, const T& value) {
    std::memcpy(record.data() + offset, &value, sizeof(T));
}
SimRecord gf_simNewRecord(std::size_t size, SIMCONNECT_RECV_ID id);
// Queues to one connection, applying record faults. Caller holds the lock.
void gf_simQueue(SimWorld& w, SimConnection& c, SimRecord record);
// Queues an answer to a create or a one-time request, held back by the
// answer delay. Caller holds the lock.
void gf_simQueueAnswer(SimWorld& w, SimConnection& c, SimRecord record);
// Queues every held answer that is due by now. Caller holds the lock.
void gf_simReleaseDueAnswers(SimWorld& w, SimConnection& c);
// Cuts a record short when a record fault matches it (sim_faults.cpp).
void gf_simApplyRecordFaults(SimWorld& w, SimRecord& record);

// ---- facility data (sim_facility.cpp) ----

// Empty when the definition entries so far (with `next` appended) form a valid
// prefix of a facility definition; else the reason.
std::optional<std::string> gf_simFacilityCheck(const std::vector<std::string>& entries, const std::string& next);
// The FACILITY_DATA records answering a request of a complete definition for
// one airport, in delivery order (without FACILITY_DATA_END).
std::vector<SimRecord> gf_simFacilityAnswer(const std::vector<std::string>& entries, const SimAirport& airport,
                                            std::uint32_t requestId, std::uint32_t& nextUniqueId);

// ---- units and calendar (sim_units.cpp) ----

// Resolves a variable name (any case) and unit into a datum.
SimDatum gf_simMakeDatum(const char* name, const char* unit, SIMCONNECT_DATATYPE type);
// Variables that hold text (ATC ID, ATC MODEL, TITLE).
bool gf_simIsTextVar(SimVar v);
// STRING8 ... STRINGV.
bool gf_simIsStringType(SIMCONNECT_DATATYPE t);
// The simulator's three Zulu fields: seconds of day, day of year, year.
std::array<std::int64_t, 3> gf_simZuluFields(const SimWorld& w);

// ---- packing and world helpers (sim_records.cpp, sim_model.cpp,
// sim_inspect.cpp); the caller holds the lock ----

// SIMOBJECT_DATA or _BYTYPE record of one object packed by a definition.
SimRecord gf_simObjectData(SimWorld& w, const SimDataDefinition& def, const SimObject& object,
                           SIMCONNECT_RECV_ID kind, std::uint32_t requestId, std::uint32_t defineId,
                           std::uint32_t entry, std::uint32_t outOf);
// Applies one unit of packed values to an object; puts the values read (as
// doubles, strings as 0) into `values` for the journal, replacing what it held.
void gf_simApplyData(SimWorld& w, const SimDataDefinition& def, SimObject& object, const std::byte* data,
                     std::vector<double>& values);
void gf_simJournal(SimWorld& w, std::uint32_t objectId, SimJournalEntry entry);
// The object's next journal entry, stamped, of the kind, every other field
// empty: the caller fills it in place.
SimJournalEntry& gf_simJournalNext(SimWorld& w, std::uint32_t objectId, SimJournalKind kind);
// System event to every subscriber of `upperName` on every open connection.
void gf_simNotify(SimWorld& w, std::string_view upperName, std::uint32_t data,
                  std::optional<std::uint32_t> objectType = {});
// Takes an object out of the world, journals why and tells ObjectRemoved
// subscribers (unless the simulator is quitting).
void gf_simRemoveObject(SimWorld& w, std::uint32_t objectId, std::uint32_t requestId, std::string why,
                        bool notify);
std::uint32_t gf_simAddObject(SimWorld& w, SimObject object);
double gf_simTerrainFt(SimWorld& w, double lat, double lon);
// Keeps a closed connection for inspection (the last 64).
void gf_simRememberClosed(SimWorld& w, std::shared_ptr<SimConnection> c);
// Object ids within radiusM metres of the user aircraft (the user first).
std::vector<std::uint32_t> gf_simObjectsWithin(SimWorld& w, double radiusM, SIMCONNECT_SIMOBJECT_TYPE type);
// The application name OPEN carries.
std::string gf_simApplicationName(const SimWorld& w);
