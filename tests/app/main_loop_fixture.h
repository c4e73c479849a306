#pragma once
// The main loop and the start paths on the open main window: a shell wait
// clock that only the test moves, the engine, the planner and the scan as
// recording fakes of the neighbour services, and empty engine lists.

#include <atomic>
#include <chrono>
#include <cstring>
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
#include "simlink/sim_link_internal.h"
#include "support/stand_table.h"

namespace tavo::test {

using SteadyTime = std::chrono::steady_clock::time_point;
using namespace std::chrono_literals;

// Sleeps move the clock to their end at once (and take realSleep of real
// time); duringSleep runs in each.
struct FakeShellClock {
    std::atomic<std::int64_t> nowNs{std::chrono::nanoseconds(1000h).count()};
    std::chrono::milliseconds realSleep{0};
    std::function<void(SteadyTime)> duringSleep;
    std::atomic<int> sleeps{0};

    SteadyTime now() const { return SteadyTime(std::chrono::nanoseconds(nowNs.load())); }
    void advance(std::chrono::nanoseconds by) { nowNs.fetch_add(by.count()); }
    void install() {
        gf_setShellWaitClock({[this] { return now(); }, [this](SteadyTime until) {
                                  ++sleeps;
                                  if (now() < until) advance(until - now());
                                  if (duringSleep) duringSleep(until);
                                  std::this_thread::sleep_for(realSleep);
                              }});
    }
};

// The user aircraft as the simulator link keeps it (through its position
// handler) and as the engine publishes it.
inline void placeUser(bool onGround, double agl = 0) {
    UserAircraftState state;
    state.latitude = 50.03;
    state.longitude = 8.57;
    state.altitudeAboveGround = agl;
    constexpr std::size_t kDataOffset = 40;  // the reply's header, then the record
    alignas(SIMCONNECT_RECV_SIMOBJECT_DATA) std::array<unsigned char, kDataOffset + sizeof(state)> reply{};
    std::memcpy(reply.data() + kDataOffset, &state, sizeof(state));
    gf_resetUserAircraft();
    gf_onUserPosition(reinterpret_cast<const SIMCONNECT_RECV_SIMOBJECT_DATA*>(reply.data()), DWORD(reply.size()));
    g_userOnGround.store(onGround);
    gf_publishUserAircraftState(state);
}

class MainLoopTest : public CommandTest {
protected:
    void SetUp() override {
        CommandTest::SetUp();
        clock.install();
        clearEngine();
        NeighbourServices s = gf_realNeighbourServices();
        auto note = [this](std::string name) { return [this, name](auto&&...) { calls.push_back(name); }; };
        auto noteArg = [this](std::string name) {
            return [this, name](auto value) { calls.push_back(fmt::format("{} {}", name, value)); };
        };
        s.handleAddingStack = [this] {
            calls.push_back("tick");
            if (onEngineTick) onEngineTick();
        };
        s.processSimCommands = note("results");
        s.runParkedAcSchedule = note("schedule");
        s.listActiveLiveAc = [this] { return liveList; };
        s.writeTrafficDump = note("dump");
        s.removeLiveAircraftCategory = noteArg("category");
        s.removeStaticAircraftCategory = noteArg("statics");
        s.checkForAllGndIfParkedVersionExistsAndRemove = note("ground twins");
        s.checkForStaticWithCallsignOrHexidAndRemove = [noteArg](const LiveAc& ac) { noteArg("static twin")(ac.hexid); };
        s.trimParkedToTarget = [noteArg](std::uint8_t extra) { noteArg("trim")(int(extra)); };
        s.isThisTheFurthestLive = [noteArg](double d) { return noteArg("furthest")(d), false; };
        s.removeAllStatic = note("flush");
        s.checkUserAcCollisions = note("user collisions");
        s.checkLiveVsParkedCollisions = note("parked collisions");
        s.removeBlockedAc = note("blocked");
        s.clearUserDestGate = noteArg("free");
        s.removeTCASCoverageAcs = note("tcas");
        s.currentParkAirport = [this] { return parkAirport; };
        s.parkAirportUserStand = [this] { return userStand; };
        s.clearPlanRequest = note("clear plan request");
        s.planParkedTraffic = note("plan");
        s.updateParkedTraffic = note("update");
        s.adjustParking = [this, noteArg](bool refresh) {
            noteArg("adjust")(refresh);
            if (onAdjust) onAdjust();
        };
        s.applyStandOptionCallsigns = [noteArg](const auto&, WeekTime, AcInfo& ac) { noteArg("options")(ac.hexid); };
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
        gf_resetUserAircraft();
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
        for (auto* flag : {&g_userGroundDataSeen, &g_generatingParking, &g_blockedAircraftChanged}) flag->store(false);
        gf_resetMainLoopState();
        gf_setRTAPICooldownDeadline(std::nullopt);
        gf_resetTrafficMailbox();
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
};

}  // namespace tavo::test
