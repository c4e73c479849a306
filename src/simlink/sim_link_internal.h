#pragma once
// The SimClient connection's own state and the steps that the thread, the
// dispatch procedure and the per-frame work share. Only the SimClient thread
// touches what is here, except where a member says otherwise (tests drive the
// same steps on their own thread in place of it).

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "simlink/sim_link.h"

struct PendingCreate {
    std::uint32_t hexid = 0;
    bool live = false;  // hexid above 10000
    std::uint32_t packetId = 0;
    std::string tailNumber;
    std::string title;
};

struct AiPoseTrack {
    std::int64_t delayNs = 20'000'000;
    std::deque<AiPositionSample> samples;  // oldest first, at most 16
};

struct LastAiPoseUpdate {
    bool valid = false;
    std::uint32_t objectId = 0;
    AiPose pose;
    HRESULT result = 0;
};

// The two flags every dispatch call hands to the dispatch procedure.
struct SimDispatchContext {
    bool quit = false;
    bool simulatorMismatch = false;
};

struct SimLinkState {
    // The open connection, or null. Read by other threads (status), written here.
    std::atomic<HANDLE> handle{nullptr};
    std::atomic<std::uint32_t> userObjectId{2};
    bool shutdownInProgress = false;

    std::unordered_set<std::uint32_t> ownedObjects;
    std::unordered_set<std::uint32_t> staticObjects;
    std::unordered_set<std::uint32_t> shutdownRemovals;
    std::unordered_map<std::uint32_t, PendingCreate> pendingCreates;  // by request id
    std::unordered_map<std::uint32_t, std::uint32_t> createRequestByPacket;
    std::unordered_map<std::uint32_t, std::string> objectTailNumbers;
    std::uint32_t shutdownRemoveRequested = 0;
    std::uint32_t shutdownConfirmed = 0;

    std::unordered_map<std::uint32_t, AiPoseTrack> poseHistory;
    std::unordered_map<std::uint32_t, std::vector<AiPositionSample>> poseFrontBatch;
    std::uint64_t poseGenerationSeen = 0;
    LastAiPoseUpdate lastAiPoseUpdate;
};

SimLinkState& gf_simLink();
HANDLE gf_simHandle();

// A new connection replaces a lost one: the engine hears of every object the
// old one owned (removed) and of every create it sent that was never answered
// (create lost); the old connection's bookkeeping and tracks are dropped.
void gf_forgetConnectionObjects();

// Setup of a fresh connection: every identifier registered; true when every
// call succeeded (each failure is logged, the rest still made).
bool gf_setupSimConnect();
bool gf_checkSetupCall(HRESULT hr, std::string_view callText);

// Per frame: poses first, then the command lists.
void gf_sendAiPositions();
void gf_processFrameCommands();
// Interpolates the track at `nowNs`, dropping samples no longer needed.
std::optional<AiPose> gf_interpolateAiPosition(AiPoseTrack& track, std::int64_t nowNs);
// Appends a sample to a track, starting the track afresh after a gap or a jump.
void gf_mergePoseSample(AiPoseTrack& track, const AiPositionSample& sample);

void gf_requestData(const SimRequestCommand& request);
void gf_createAiAircraft(const SimCreateCommand& create);
void gf_aiRemoveObject(std::uint32_t objectId);
// A request call failed: the run ends (state 3, stop request, status line).
void gf_logRequestError();
// Empties the seven lists; the caller holds the command mutex.
void gf_clearCommandBuffers();
void gf_clearCommandBuffersLocked();

// Empties the published poses (not the staging) under the pose lock.
void gf_clearPublishedAiPoses();
// Drops an object's staged and published poses (any thread).
void gf_forgetAiPoses(std::uint32_t objectId);
std::uint64_t gf_aiPoseGeneration();
// Holds the pose lock as the engine's publication does (tests of a busy lock).
std::unique_lock<std::mutex> gf_lockAiPositions();
// Reserves room for 512 objects in the shared pose containers.
void gf_reserveAiPoseContainers();

// The dispatch procedure and what it calls.
void gf_simDispatch(SIMCONNECT_RECV* data, DWORD size, void* context);
bool gf_checkPayloadSize(DWORD size, DWORD minimum, std::string_view name);
void gf_onAssignedObjectId(std::uint32_t requestId, std::uint32_t objectId);

// User aircraft replies (SIMOBJECT_DATA of requests 106 to 109).
void gf_onUserAircraftTitle(const SIMCONNECT_RECV_SIMOBJECT_DATA* data, DWORD size);
void gf_onUserAircraftModel(const SIMCONNECT_RECV_SIMOBJECT_DATA* data, DWORD size);
void gf_onUserOnGround(const SIMCONNECT_RECV_SIMOBJECT_DATA* data, DWORD size);
void gf_onUserPosition(const SIMCONNECT_RECV_SIMOBJECT_DATA* data, DWORD size);
void gf_onFlightLoaded();
// Back to the state before any reply (reset of the client).
void gf_resetUserAircraft();

// "SimConnect diagnostic: ..." of the last pose call.
void gf_logAiPositionDiagnostics();
