#pragma once
// The traffic engine end to end on one thread: the engine tick, the simulator
// link's frames and the simulator model, on fake clocks, fed with scripted
// traffic reports. No test framework is used here: the harness runs and
// records; the tests assert.
//
// What one harness tick does, in this order:
//   1. scripted batches due at the current engine tick are posted to the
//      mailbox (gf_postTrafficBatch, as the feed would);
//   2. one engine tick (lf_handleAddingStack);
//   3. the fake clock advances by 10 ms;
//   4. every `ticksPerFrame` ticks one simulator frame: the model sends
//      "Frame", the link (driven here in place of the SimClient thread) sends
//      poses and issues the queued commands, and what the model answered is
//      dispatched at once, so results reach the next engine tick;
//   5. every `ticksPerSecond` ticks one simulator second (Zulu time,
//      once-a-second data), dispatched likewise.
//
// One fake clock drives the pose stream (sample stamps and interpolation),
// the mailbox's stall watch and the model's journal stamps, so a journal
// entry's timeNs says at which engine time the simulator received it.
//
// Typical test (inside a fixture that gives a fresh working folder and an
// open Log.txt, e.g. LogFileTest):
//     EngineHarness h;                         // clean engine, link and model
//     h.installLiveries(EngineHarness::defaultLiveries());
//     h.connect();                             // MSFS 2020 running, "TAVO" set up
//     h.scheduleTrack(Track::flying(0xABCDEF, {50.0, 8.0}, 90.0, 250.0, 5000.0),
//                     /*fromTick*/ 0, /*everyTicks*/ 10, /*count*/ 600);
//     h.tickUntil([&] { return h.live(0xABCDEF) && h.live(0xABCDEF)->simState == AcSimState::active; }, 5000);
//     auto journal = h.journal(h.live(0xABCDEF)->objectId);
//
// The destructor leaves the engine, the link, the model, the clocks and the
// engine's call seams as a fresh process has them, and puts back the settings
// snapshot and the simulator choice it found. Only one harness may exist at
// a time (everything it drives is process-wide).
//
// The engine is cleaned by its own reset and set-up (clearEngine), plus what
// a fresh process has besides: no livery remembered per hexid, no failed
// livery, the real engine calls, no user position and the engine clock at 0.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/records.h"
#include "feed/records.h"
#include "foundation/lalo.h"
#include "platform/simconnect/sim_model.h"
#include "settings/snapshot.h"
#include "simlink/sim_link.h"
#include "support/scanned_liveries_builder.h"

namespace tavo::test {

// A straight track at constant speed, altitude and vertical speed: what one
// aircraft reports while it flies or taxis it.
struct Track {
    std::uint32_t hexid = 0;
    std::string callsign = "KLM1234";
    std::string registration = "PH-BXA";
    std::string type = "B738";  // model code
    std::string airline = "KLM";
    LaLo start{};
    double trackDeg = 0.0;
    double groundSpeedKt = 0.0;
    double altitudeFt = 0.0;
    double verticalSpeedFpm = 0.0;
    bool airborne = false;
    double startTime = 1.7e9;  // record time of the first report, seconds since 1970

    static Track flying(std::uint32_t hexid, LaLo start, double trackDeg, double speedKt, double altitudeFt);
    static Track taxiing(std::uint32_t hexid, LaLo start, double trackDeg, double speedKt);

    // Where the aircraft is `seconds` after its first report.
    LaLo positionAt(double seconds) const;
    // Its report `seconds` after its first one (record time startTime + seconds).
    TrafficRecord reportAt(double seconds) const;
};

class EngineHarness {
public:
    struct Options {
        SimVersion simulator = SimVersion::MSFS2020;
        int ticksPerFrame = 3;     // about 33 ms frames against 10 ms engine ticks
        int ticksPerSecond = 100;  // one simulator second per 100 engine ticks
        bool acceptAnyTitle = true;  // the model creates any livery title
        // Where the user aircraft is (on the ground at the traffic's airport
        // by default).
        LaLo userPosition{50.0, 8.0};
        double userAltitudeFt = 0.0;
        bool userOnGround = true;
        // The traffic source of the start: the RT App (true) or RT Direct.
        bool rtApp = false;
    };

    EngineHarness();
    explicit EngineHarness(Options options);
    ~EngineHarness();
    EngineHarness(const EngineHarness&) = delete;
    EngineHarness& operator=(const EngineHarness&) = delete;

    // ---- world

    // The aircraft database (the small profile) and livery tables built from
    // the scanned-liveries file, through the program's own processing.
    // Throws std::runtime_error when a file cannot be read.
    void installLiveries(const ScannedLiveriesBuilder& liveries);
    // A few liveries of the small profile's airlines and models, among them
    // "KLM B738" (KLM, B738) and "Lufthansa A320" (DLH, A320).
    static ScannedLiveriesBuilder defaultLiveries();

    // The simulator runs; the link opens "TAVO", sets it up and handles what
    // the simulator answered.
    void connect();
    // The connection is lost and a new one replaces it, as the SimClient
    // thread does after a failed dispatch: the old handle is closed (the
    // simulator removes its objects), a new one is opened and set up.
    void reconnect();
    // Changes the settings snapshot (restored when the harness goes).
    void settings(const std::function<void(SettingsSnapshot&)>& change);
    // The link receives this user position reply now (as from the
    // simulator), and the simulator's on-ground flag of the user.
    static void setUserState(const UserAircraftState& state, bool onGround);

    // ---- traffic

    // Posts a batch now, as the feed would (delay 30 s: a live batch).
    void post(std::vector<TrafficRecord> batch, std::uint32_t delaySeconds = 30);
    // Posts the batch when the engine clock reaches `tick`.
    void schedule(std::int32_t tick, std::vector<TrafficRecord> batch, std::uint32_t delaySeconds = 30);
    // `count` reports of the track, one batch each, the first at `fromTick`
    // and then every `everyTicks` ticks; each report's time follows the
    // engine clock (everyTicks / 100 s apart).
    void scheduleTrack(const Track& track, std::int32_t fromTick, std::int32_t everyTicks, int count);

    // ---- time

    void tick(int count = 1);
    // Ticks until `done` holds (checked before each tick); false when it
    // still does not after `maxTicks`.
    bool tickUntil(const std::function<bool()>& done, int maxTicks);
    // One simulator frame on its own (also run by tick()).
    void frame();
    std::int32_t engineTick() const;
    // The fake steady clock, nanoseconds.
    static std::int64_t nowNs();

    // ---- inspection

    // The live record of the hexid, or nullptr.
    LiveAc* live(std::uint32_t hexid) const;
    // What the simulator did to the object, time-stamped.
    std::vector<SimJournalEntry> journal(std::uint32_t objectId) const;
    // The journal entries of that kind.
    std::vector<SimJournalEntry> journal(std::uint32_t objectId, SimJournalKind kind) const;
    // The client events the object received, in order ({event id, data}).
    std::vector<std::pair<std::uint32_t, std::uint32_t>> clientEvents(std::uint32_t objectId) const;
    // Whether the object received the `wanted` events in this order (others
    // may lie between).
    bool eventsInOrder(std::uint32_t objectId,
                       const std::vector<std::pair<std::uint32_t, std::uint32_t>>& wanted) const;
    // The calls the connection "TAVO" made.
    std::vector<SimCallRecord> calls() const;

    // The engine's reset and set-up, and the rest of a fresh process's state.
    static void clearEngine();

private:
    void lf_dispatch();
    void lf_resetLink();
    void lf_open();

    Options options_;
    std::map<std::int32_t, std::vector<std::pair<std::vector<TrafficRecord>, std::uint32_t>>> scheduled_;
    std::shared_ptr<const SettingsSnapshot> savedSettings_;
    std::shared_ptr<const StartupChoice> savedChoice_;
    int frameCountdown_ = 0;
    int secondCountdown_ = 0;
};

}  // namespace tavo::test
