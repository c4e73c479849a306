#pragma once
// The simulator link as the rest of the program sees it: the commands other
// threads queue for the simulator thread, the AI pose stream the engine feeds,
// the flight-plan files, the user aircraft's state and the SimClient thread.
//
// Other threads never call the simulator. They append to the command lists
// (one mutex) and stage poses; the SimClient thread issues everything once per
// simulator frame on its own connection and hands results back through
// gf_queueSimCommand (engine/sim_commands.h).

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "simlink/sim_ids.h"
#include "simlink/user_aircraft_state.h"

// ---------------------------------------------------------------------------
// Connection state

enum SimState : std::uint8_t {
    SIM_NOT_CONNECTED = 0,
    SIM_STOPPED = 1,   // connected, no flight running
    SIM_RUNNING = 2,   // connected, flight running
    SIM_QUITTING = 3,  // a request call failed: nothing more is issued until the next connection
};
extern std::atomic<std::uint8_t> g_simState;

// Set by the window when the user switches the simulator version; cleared by
// every successful connection. While set, a connection to the other simulator
// waits instead of switching the selection back.
extern std::atomic<bool> g_userSwitchedSim;

// ---------------------------------------------------------------------------
// Command records

struct SimClientEventCommand {
    std::uint32_t objectId = 0;
    std::uint32_t eventId = 0;  // SimClientEventId
    std::uint32_t data = 0;
};

enum SimRequestKind : std::uint32_t {
    SIM_REQUEST_AC_WITHIN_RANGE = 0,
    SIM_REQUEST_USER_TITLE_AND_MODEL = 1,
    SIM_REQUEST_USER_ON_GROUND = 2,
    SIM_REQUEST_USER_POSITION = 3,
    SIM_REQUEST_AI_STATIC_CG = 4,
    SIM_REQUEST_AI_INITIAL_POSE = 5,
};

struct SimRequestCommand {
    std::uint32_t kind = 0;      // SimRequestKind
    std::uint32_t objectId = 0;  // kinds 4 and 5
};

struct SimReverseThrustCommand {
    std::uint32_t objectId = 0;
    std::uint8_t on = 0;
    std::uint8_t reverse = 0;
};

struct SimFlightPlanCommand {
    std::uint32_t objectId = 0;
    std::u16string path;  // full path of the object's .pln file
};

// The hexid of a live aircraft is its 24-bit ICAO address; a parked aircraft
// gets an id of 10000 or below, which marks the create as static.
inline constexpr std::uint32_t kMaxStaticCreateId = 10000;

struct SimCreateCommand {
    SIMCONNECT_DATA_INITPOSITION position{};  // degrees, feet, degrees, knots
    std::string tailNumber;                   // the aircraft's registration
    std::string title;                        // the livery's container title
    std::uint32_t hexid = 0;
};

// The seven lists behind the command mutex. Producers hold the mutex only to
// append; the SimClient thread swaps all of them out once per frame.
struct SimCommandBuffers {
    std::mutex mutex;
    std::vector<SimClientEventCommand> clientEvents;
    std::vector<SimCreateCommand> creates;
    std::vector<std::uint32_t> removals;
    std::vector<std::uint32_t> releasedIds;  // own parked objects that became live aircraft
    std::vector<SimRequestCommand> requests;
    std::vector<SimReverseThrustCommand> reverseThrust;
    std::vector<SimFlightPlanCommand> flightPlans;
};
extern SimCommandBuffers g_simCommandBuffers;

// Entry points; any thread.
void gf_queueAiCreate(const SimCreateCommand& create);
// Engine thread: the object's staged and published poses go at once (under the
// pose locks), then its removal is queued.
void gf_removeAiAircraft(std::uint32_t objectId);
void gf_requestAiStaticCg(std::uint32_t objectId);
void gf_requestAiInitialPose(std::uint32_t objectId);
void gf_startAiEngines(std::uint32_t objectId);
void gf_stopAiEngines(std::uint32_t objectId);
void gf_setAiNavLights(std::uint32_t objectId, std::uint32_t value);
void gf_setAiCabinLights(std::uint32_t objectId, std::uint32_t value);
// NAV, BEACON, LANDING, TAXI, STROBES, LOGO, CABIN in one lock.
void gf_setAiLights(std::uint32_t objectId, const std::array<std::uint32_t, 7>& values);
void gf_setAiReverseThrust(std::uint32_t objectId, bool on, bool reverse);
// The plain appends the engine and the main loop make.
void gf_queueSimRequest(std::uint32_t kind, std::uint32_t objectId = 0);
void gf_queueClientEvent(std::uint32_t objectId, std::uint32_t eventId, std::uint32_t data);
void gf_releaseStaticObjectId(std::uint32_t objectId);
void gf_queueFlightPlan(std::uint32_t objectId, const std::filesystem::path& planFile);

// The request id the next create takes (starts at 10000, never reset).
std::uint32_t gf_peekNextCreateRequestId();

// ---------------------------------------------------------------------------
// AI pose stream

// Eight values in the order of the pose data definition.
struct AiPose {
    double latitude = 0;       // degrees
    double longitude = 0;      // degrees
    double pitch = 0;          // radians
    double bank = 0;           // radians
    double heading = 0;        // radians, true
    double altitude = 0;       // feet
    double verticalSpeed = 0;  // feet per minute
    double trueAirspeed = 0;   // knots
};
static_assert(sizeof(AiPose) == 64);

struct AiPositionSample {
    AiPose pose;
    std::int64_t timeNs = 0;  // steady clock
};

// At most this many samples per object are kept on either side.
inline constexpr std::size_t kMaxPoseSamples = 16;

// Engine thread, during the tick: the object's pose for this tick (replaces an
// earlier one of the same tick).
void gf_stageAiPose(std::uint32_t objectId, const AiPose& pose);
// Engine thread, end of the tick: appends every staged pose, stamped with the
// tick's steady-clock time, to the published samples (newest 16 per object)
// and empties the staging. Blocks on the pose lock.
void gf_publishStagedAiPoses(std::int64_t tickTimeNs);
// Engine reset and the client's init/reset: empties staging and published
// samples and tells the SimClient thread to forget its tracks.
void gf_clearAiPoseStream();

// The steady clock in nanoseconds as the pose stream reads it; tests replace it
// (nullptr restores the real clock).
using PoseClock = std::int64_t (*)();
void gf_setPoseClock(PoseClock clock);
std::int64_t gf_poseClockNow();

// ---------------------------------------------------------------------------
// Flight plans and text rules

// "orig_dest" under the program's data folder with MSFS 2020, else none.
std::optional<std::filesystem::path> gf_flightPlanFolder();
// Tests point the folder's parent elsewhere (empty path: the data folder).
void gf_setFlightPlanBaseFolder(const std::filesystem::path& base);
bool gf_prepareFlightPlanFolder(const std::filesystem::path& folder);
std::string gf_flightPlanFileName(std::uint32_t number);
// What the plan file of an aircraft holds.
struct FlightPlanAircraft {
    std::string origin;       // up to three characters; empty when absent
    std::string destination;  // likewise
    std::int32_t category = 0;  // ModelCategory
};
std::string gf_flightPlanText(const FlightPlanAircraft& aircraft);
bool gf_writeFlightPlan(const std::filesystem::path& path, const FlightPlanAircraft& aircraft);
// Removes the plan file of that number; a missing file is no failure.
bool gf_removeFlightPlan(std::uint32_t number);
bool gf_removeFlightPlanFolder();

// Decimal with MSFS 2020, lower-case hexadecimal with MSFS 2024.
std::string gf_objectIdText(std::uint32_t objectId);
// The ATC MODEL value without its decoration.
std::string gf_extractAtcModel(std::string_view text);
// The ICAO type of the user aircraft from its ATC MODEL value and title, when
// the aircraft database knows it.
std::optional<std::string> gf_normaliseUserModel(std::string_view atcModel, std::string_view title);

// ---------------------------------------------------------------------------
// User aircraft

// A copy taken under the user-aircraft lock; any thread.
UserAircraftState gf_getUserAircraftState();
// The title (at most 48 bytes, cut at a character boundary).
std::string gf_userAircraftTitle();
// Half the user aircraft's wing span in nautical miles; NaN until known.
extern std::atomic<double> g_userHalfWingSpan;
inline double userWingRadiusNm() { return g_userHalfWingSpan.load(std::memory_order_relaxed); }
// The user aircraft's size category (ModelCategory), from its model.
extern std::atomic<std::int32_t> g_userCategory;
extern std::atomic<bool> g_userOnGround;
extern std::atomic<std::int8_t> g_userOnGroundState;  // -1 unknown, 0 airborne, 1 on ground
extern std::atomic<bool> g_userGroundDataSeen;        // raised by every on-ground reply
extern std::atomic<std::uint8_t> g_userInfoFlags;     // 1 title handled, 2 model handled
// The simulator's Zulu time in seconds since 1970, or kSimTimeInvalid; the
// value and its validity are one atomic value.
inline constexpr std::int64_t kSimTimeInvalid = INT64_MIN;
extern std::atomic<std::int64_t> g_simTimeEpoch;
inline std::optional<std::int64_t> gf_simTime() {
    const auto t = g_simTimeEpoch.load();
    if (t == kSimTimeInvalid) return std::nullopt;
    return t;
}
// The user aircraft's object id (2 before the first position reply).
std::uint32_t gf_userObjectId();

// ---------------------------------------------------------------------------
// The SimClient thread

// Before the thread starts: reserves and empties the command lists and pose
// containers; state 0.
void gf_initSimClient();
// Before a restart or exit: everything back to its initial values.
void gf_resetSimClient();
// The thread body, named "SimClient"; ends when stop is requested.
void gf_simClientThread(std::stop_token stop);
