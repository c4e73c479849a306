#pragma once
// The main loop and the start paths on the open main window: a shell wait
// clock that only the test moves, the engine and the planner as recording
// fakes of the neighbour services, empty engine lists, and the simulator
// link's flags put back.

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "airports/parking_state.h"
#include "airports/static_placement.h"
#include "app/blocking.h"
#include "app/main_loop.h"
#include "app/neighbour_services.h"
#include "app/start_paths.h"
#include "command_fixture.h"
#include "engine/engine_lists.h"
#include "engine/engine_state.h"
#include "engine/mailbox.h"
#include "engine/stands.h"
#include "support/stand_table.h"

namespace tavo::test {

using SteadyTime = std::chrono::steady_clock::time_point;
using namespace std::chrono_literals;

// Waits take no time unless realSleep is set; each sleep is recorded and may
// move the clock further (oversleep) or do something while it "sleeps".
struct FakeShellClock {
    std::atomic<std::int64_t> nowNs{std::chrono::nanoseconds(1000h).count()};
    std::chrono::milliseconds realSleep{0};
    std::function<void(SteadyTime)> duringSleep;
    std::atomic<int> sleeps{0};

    SteadyTime now() const { return SteadyTime(std::chrono::nanoseconds(nowNs.load())); }
    void set(SteadyTime t) { nowNs.store(std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count()); }
    void advance(std::chrono::nanoseconds by) { nowNs.fetch_add(by.count()); }
    void install() {
        gf_setShellWaitClock({[this] { return now(); }, [this](SteadyTime until) {
                                  ++sleeps;
                                  if (now() < until) set(until);
                                  if (duringSleep) duringSleep(until);
                                  if (realSleep.count() > 0) std::this_thread::sleep_for(realSleep);
                              }});
    }
};

class MainLoopTest : public CommandTest {
protected:
    void SetUp() override {
        CommandTest::SetUp();
        clock.install();
        clearEngine();
        NeighbourServices s = gf_realNeighbourServices();
        auto note = [this](std::string name) { return [this, name] { calls.push_back(name); }; };
        s.handleAddingStack = [this] {
            calls.push_back("tick");
            if (onEngineTick) onEngineTick();
        };
        s.processSimCommands = note("results");
        s.runParkedAcSchedule = note("schedule");
        s.listActiveLiveAc = [this] { return liveList; };
        s.writeTrafficDump = note("dump");
        s.removeLiveAircraftCategory = [this](std::uint32_t c) { calls.push_back(fmt::format("category {}", c)); };
        s.removeStaticAircraftCategory = [this](std::uint32_t c) { calls.push_back(fmt::format("statics {}", c)); };
        s.checkForAllGndIfParkedVersionExistsAndRemove = note("ground twins");
        s.checkForStaticWithCallsignOrHexidAndRemove = [this](const LiveAc& ac) {
            calls.push_back(fmt::format("static twin {}", ac.hexid));
        };
        s.trimParkedToTarget = [this](std::uint8_t extra) { calls.push_back(fmt::format("trim {}", extra)); };
        s.isThisTheFurthestLive = [this](double d) {
            calls.push_back(fmt::format("furthest {}", d));
            return false;
        };
        s.removeAllStatic = note("flush");
        s.checkUserAcCollisions = note("user collisions");
        s.checkLiveVsParkedCollisions = note("parked collisions");
        s.removeBlockedAc = note("blocked");
        s.clearUserDestGate = [this](const std::string& stand) { calls.push_back("free " + stand); };
        s.removeTCASCoverageAcs = note("tcas");
        s.currentParkAirport = [this] { return parkAirport; };
        s.parkAirportUserStand = [this] { return userStand; };
        s.hasAirportFile = [this](const IcaoCode&) { return airportFile; };
        s.clearPlanRequest = note("clear plan request");
        s.planParkedTraffic = note("plan");
        s.updateParkedTraffic = note("update");
        s.adjustParking = [this](bool refresh) {
            calls.push_back(fmt::format("adjust {}", refresh));
            if (onAdjust) onAdjust();
        };
        s.applyStandOptionCallsigns = [this](const std::vector<Stand>&, WeekTime, AcInfo& ac) {
            calls.push_back(fmt::format("options {}", ac.hexid));
        };
        s.logNoMatchList = note("no-match list");
        s.logLiveryMatchingSummary = note("summary");
        s.clearNoMatchList = note("no-match cleared");
        s.forgetFailedLiveries = note("forget failed");
        s.scanAirports = note("scan");
        gf_setNeighbourServices(std::move(s));
        useRTApp(true);
    }
    void TearDown() override {
        gf_setNeighbourServices(std::nullopt);
        clearEngine();
        CommandTest::TearDown();
    }
    static void clearEngine() {
        g_liveAircraft.clear();
        g_staticAircraft.clear();
        newLiveCheckQueue.clear();
        staticsToPlace.clear();
        clearStandTable();
        g_staticParkingTarget = 0;
        g_simState.store(SIM_NOT_CONNECTED);
        g_userGroundDataSeen.store(false);
        g_generatingParking.store(false);
        g_userOnGround.store(false);
        g_blockedAircraftChanged.store(false);
        gf_resetMainLoopState();
        gf_setRTAPICooldownDeadline(std::nullopt);
        gf_resetTrafficMailbox();
    }
    static LiveAc& addLive(std::uint32_t hexid, AcSimState state = AcSimState::active) {
        AcInfo info;
        info.hexid = hexid;
        LiveAc& ac = g_liveAircraft.emplace_back(std::deque<StreamPoint>{}, info, 0.0);
        ac.simState = state;
        return ac;
    }
    // One simulator second: the second signal and one tick.
    bool second() {
        g_userGroundDataSeen.store(true);
        return lf_tick();
    }
    // The calls recorded since the last look.
    std::vector<std::string> taken() { return std::exchange(calls, {}); }

    FakeShellClock clock;
    std::vector<std::string> calls;
    std::function<void()> onEngineTick;
    std::function<void()> onAdjust;
    std::vector<std::string> liveList;
    std::optional<ParkAirportSpot> parkAirport;
    std::optional<std::string> userStand;
    bool airportFile = true;
};

}  // namespace tavo::test
