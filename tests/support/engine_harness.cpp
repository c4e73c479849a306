#include "support/engine_harness.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <utility>

#include "airports/current_airport.h"
#include "airports/static_placement.h"
#include "engine/collisions.h"
#include "engine/decode.h"
#include "engine/engine_setup.h"
#include "engine/engine_lists.h"
#include "engine/engine_state.h"
#include "engine/mailbox.h"
#include "engine/removal_policies.h"
#include "engine/reports.h"
#include "engine/sim_commands.h"
#include "engine/shown_places.h"
#include "engine/sim_results.h"
#include "engine/stands.h"
#include "engine/tick.h"
#include "engine/user_position.h"
#include "foundation/geodesy.h"
#include "liveries/code_tables.h"
#include "liveries/dbase.h"
#include "liveries/failed_liveries.h"
#include "liveries/livery_matching.h"
#include "liveries/livery_tables.h"
#include "services/gui.h"
#include "services/stop.h"
#include "simlink/sim_link_internal.h"
#include "support/dbase_builder.h"

// The reply record is laid out by offsetof on the derived record type, which
// g++ lays out plainly (see simconnect.h).
#pragma GCC diagnostic ignored "-Winvalid-offsetof"

namespace tavo::test {

namespace {

constexpr std::int64_t kTickNs = 10'000'000;
// Far from 0, so that no stamp of the fake clock looks like "no time".
constexpr std::int64_t kClockStartNs = 1'000'000'000'000;

std::atomic<std::int64_t> l_nowNs{kClockStartNs};
std::int64_t lf_fakeNow() { return l_nowNs.load(); }

SimDispatchContext l_context;

}  // namespace

// ---------------------------------------------------------------------------
// Track

namespace {

Track lf_track(std::uint32_t hexid, LaLo start, double trackDeg, double speedKt, double altitudeFt, bool airborne) {
    Track t;
    t.hexid = hexid;
    t.start = start;
    t.trackDeg = trackDeg;
    t.groundSpeedKt = speedKt;
    t.altitudeFt = altitudeFt;
    t.airborne = airborne;
    return t;
}

}  // namespace

Track Track::flying(std::uint32_t hexid, LaLo start, double trackDeg, double speedKt, double altitudeFt) {
    return lf_track(hexid, start, trackDeg, speedKt, altitudeFt, true);
}

Track Track::taxiing(std::uint32_t hexid, LaLo start, double trackDeg, double speedKt) {
    return lf_track(hexid, start, trackDeg, speedKt, 0.0, false);
}

LaLo Track::positionAt(double seconds) const {
    const double nm = groundSpeedKt * seconds / 3600.0;
    return gf_destinationPoint(start, {trackDeg * degreesToRadians, nm * metresPerNm * feetPerMetre});
}

TrafficRecord Track::reportAt(double seconds) const {
    TrafficRecord r;
    r.hexid = hexid;
    r.identity.callsign = callsign;
    r.identity.registration = registration;
    r.identity.key.airline = gf_internAirlineCode(airline);
    r.identity.key.model = gf_internModelCode(type);
    const LaLo at = positionAt(seconds);
    r.point.lat = at.lat;
    r.point.lon = at.lon;
    r.point.altitudeFt = altitudeFt + verticalSpeedFpm * seconds / 60.0;
    r.point.groundSpeedKt = groundSpeedKt;
    r.point.trackDeg = trackDeg;
    r.point.verticalSpeed = verticalSpeedFpm;
    r.point.tasKt = airborne ? groundSpeedKt : 0.0;
    r.point.airborne = airborne ? 1 : 0;
    r.time = startTime + seconds;
    return r;
}

// ---------------------------------------------------------------------------
// Set-up and tear-down

EngineHarness::EngineHarness() : EngineHarness(Options{}) {}

EngineHarness::EngineHarness(Options options) : options_(options) {
    savedSettings_ = settingsSnapshot.load();
    savedChoice_ = startupChoice.load();
    startupChoice.store(std::make_shared<const StartupChoice>(
        StartupChoice{options_.simulator == SimVersion::MSFS2020 ? 1u : 2u,
                      static_cast<std::uint8_t>(options_.rtApp ? 1 : 0)}));

    l_nowNs.store(kClockStartNs);
    gf_setPoseClock(&lf_fakeNow);
    gf_setMailboxClock(&lf_fakeNow);

    gf_simModelReset();
    gf_simModelSetClock(&lf_fakeNow);
    gf_simModelSetAcceptAnyTitle(options_.acceptAnyTitle);
    SimUserAircraft user;
    user.pose.latitudeDeg = options_.userPosition.lat;
    user.pose.longitudeDeg = options_.userPosition.lon;
    user.pose.altitudeFt = options_.userAltitudeFt;
    user.onGround = options_.userOnGround;
    gf_simModelSetUserAircraft(user);

    gf_clearStopMailbox();
    g_exiting.store(false);
    gf_gui().attachGuiThread();  // GUI updates of this thread apply at once
    gf_gui().reset();
    lf_resetLink();
    gf_setFlightPlanBaseFolder(std::filesystem::current_path());
    clearEngine();
    gf_setTrafficDelivery(true);
}

EngineHarness::~EngineHarness() {
    if (gf_simHandle() != nullptr) SimConnect_Close(gf_simHandle());
    lf_resetLink();
    clearEngine();
    gf_setTrafficDelivery(false);
    gf_simModelReset();
    gf_setPoseClock(nullptr);
    gf_setMailboxClock({});
    gf_setFlightPlanBaseFolder({});
    gf_clearStopMailbox();
    gf_gui().reset();
    settingsSnapshot.store(savedSettings_);
    startupChoice.store(savedChoice_);
}

void EngineHarness::lf_resetLink() {
    gf_resetSimClient();
    gf_initSimClient();
    gf_clearSimCommands();
    auto& link = gf_simLink();
    link.ownedObjects.clear();
    link.staticObjects.clear();
    link.shutdownRemovals.clear();
    link.poseHistory.clear();
    link.shutdownInProgress = false;
    g_userOnGround.store(false);
    l_context = SimDispatchContext{};
}

void EngineHarness::clearEngine() {
    gf_resetTrafficEngine();
    gf_initTrafficEngine();
    gf_forgetShownPlaces();
    liveryByHexid.clear();
    g_promotionsCount.store(0);
    g_parkedStaticsCount.store(0);
    parkedTarget = -1;
    gf_clearAiPoseStream();
    gf_forgetFailedLiveries();
    gf_setEngineCalls({});
    gf_setDecodeCalls({});
    gf_setCollisionCalls({});
    gf_publishUserAircraftState(UserAircraftState{});
    tickCount.store(0);
}

// ---------------------------------------------------------------------------
// World

ScannedLiveriesBuilder EngineHarness::defaultLiveries() {
    ScannedLiveriesBuilder b;
    b.livery("KLM", "B738", "KLM B738");
    b.livery("DLH", "A320", "Lufthansa A320");
    b.livery("BAW", "A319", "BA A319");
    b.livery("DAL", "B738", "Delta B738");
    return b;
}

void EngineHarness::installLiveries(const ScannedLiveriesBuilder& liveries) {
    resetToSmallDbase();
    ScannedLiveriesBuilder scanned = liveries;
    scanned.sim = options_.simulator == SimVersion::MSFS2020 ? "1" : "2";
    scanned.writeToOutput();
    gf_processScannedLiveries();
    gf_resetLiveryMatchingForTest();
}

void EngineHarness::connect() {
    gf_simModelStart(options_.simulator);
    lf_open();
    // What the program asks at the start of a run: the user aircraft's title
    // and model, and its on-ground state every second.
    gf_queueSimRequest(SIM_REQUEST_USER_TITLE_AND_MODEL);
    gf_queueSimRequest(SIM_REQUEST_USER_ON_GROUND);
}

void EngineHarness::reconnect() {
    if (const HANDLE old = gf_simHandle(); old != nullptr) SimConnect_Close(old);
    gf_simLink().handle.store(nullptr);
    g_simState.store(SIM_NOT_CONNECTED);
    lf_open();
}

void EngineHarness::lf_open() {
    HANDLE h = nullptr;
    if (FAILED(SimConnect_Open(&h, "TAVO", nullptr, 0, nullptr, 0)))
        throw std::runtime_error("engine harness: the simulator model refused the connection");
    gf_simLink().handle.store(h);
    gf_forgetConnectionObjects();
    if (!gf_setupSimConnect()) throw std::runtime_error("engine harness: the connection's set-up failed");
    l_context = SimDispatchContext{};
    lf_dispatch();
}

void EngineHarness::settings(const std::function<void(SettingsSnapshot&)>& change) { gf_updateSettings(change); }

void EngineHarness::setUserState(const UserAircraftState& state, bool onGround) {
    g_userOnGround.store(onGround);
    constexpr std::size_t dataOffset = offsetof(SIMCONNECT_RECV_SIMOBJECT_DATA, dwData);
    std::vector<std::byte> record(dataOffset + sizeof(UserAircraftState));
    auto* header = reinterpret_cast<SIMCONNECT_RECV_SIMOBJECT_DATA*>(record.data());
    header->dwSize = static_cast<DWORD>(record.size());
    header->dwID = SIMCONNECT_RECV_ID_SIMOBJECT_DATA;
    header->dwRequestID = REQUEST_USER_AC_POSITION;
    std::memcpy(record.data() + dataOffset, &state, sizeof(state));
    gf_onUserPosition(header, static_cast<DWORD>(record.size()));
}

// ---------------------------------------------------------------------------
// Traffic

void EngineHarness::post(std::vector<TrafficRecord> batch, std::uint32_t delaySeconds) {
    gf_postTrafficBatch(batch, delaySeconds, true);
}

void EngineHarness::schedule(std::int32_t tick, std::vector<TrafficRecord> batch, std::uint32_t delaySeconds) {
    scheduled_[tick].emplace_back(std::move(batch), delaySeconds);
}

void EngineHarness::scheduleTrack(const Track& track, std::int32_t fromTick, std::int32_t everyTicks, int count) {
    for (int i = 0; i < count; ++i) {
        const std::int32_t at = fromTick + i * everyTicks;
        schedule(at, {track.reportAt(static_cast<double>(at - fromTick) / 100.0)});
    }
}

// ---------------------------------------------------------------------------
// Time

void EngineHarness::lf_dispatch() {
    const HANDLE h = gf_simHandle();
    if (h == nullptr) return;
    SimConnect_CallDispatch(h, &gf_simDispatch, &l_context);
}

void EngineHarness::frame() {
    gf_simModelFrames(1);
    // The frame's own work first; then what the simulator answered to it.
    lf_dispatch();
    lf_dispatch();
}

void EngineHarness::tick(int count) {
    for (int i = 0; i < count; ++i) {
        if (const auto due = scheduled_.find(tickCount.load()); due != scheduled_.end()) {
            for (auto& [batch, delay] : due->second) post(std::move(batch), delay);
            scheduled_.erase(due);
        }
        lf_handleAddingStack();
        l_nowNs.fetch_add(kTickNs);
        if (++frameCountdown_ >= options_.ticksPerFrame) {
            frameCountdown_ = 0;
            frame();
        }
        if (++secondCountdown_ >= options_.ticksPerSecond) {
            secondCountdown_ = 0;
            gf_simModelSeconds(1);
            lf_dispatch();
        }
    }
}

bool EngineHarness::tickUntil(const std::function<bool()>& done, int maxTicks) {
    for (int i = 0; i < maxTicks; ++i) {
        if (done()) return true;
        tick();
    }
    return done();
}

std::int32_t EngineHarness::engineTick() const { return tickCount.load(); }

std::int64_t EngineHarness::nowNs() { return l_nowNs.load(); }

// ---------------------------------------------------------------------------
// Inspection

LiveAc* EngineHarness::live(std::uint32_t hexid) const {
    for (LiveAc& ac : g_liveAircraft)
        if (ac.hexid == hexid) return &ac;
    return nullptr;
}

std::vector<SimJournalEntry> EngineHarness::journal(std::uint32_t objectId) const {
    return gf_simModelJournal(objectId);
}

std::vector<SimJournalEntry> EngineHarness::journal(std::uint32_t objectId, SimJournalKind kind) const {
    std::vector<SimJournalEntry> out;
    for (auto& e : gf_simModelJournal(objectId))
        if (e.kind == kind) out.push_back(std::move(e));
    return out;
}

std::vector<std::pair<std::uint32_t, std::uint32_t>> EngineHarness::clientEvents(std::uint32_t objectId) const {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
    for (const auto& e : gf_simModelJournal(objectId))
        if (e.kind == SimJournalKind::ClientEvent) out.emplace_back(e.id, e.data);
    return out;
}

bool EngineHarness::eventsInOrder(std::uint32_t objectId,
                                  const std::vector<std::pair<std::uint32_t, std::uint32_t>>& wanted) const {
    const auto events = clientEvents(objectId);
    auto at = events.begin();
    for (const auto& w : wanted) {
        at = std::find(at, events.end(), w);
        if (at == events.end()) return false;
        ++at;
    }
    return true;
}

std::vector<SimCallRecord> EngineHarness::calls() const { return gf_simModelConnection("TAVO").calls; }

}  // namespace tavo::test
