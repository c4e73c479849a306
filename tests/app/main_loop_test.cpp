// The main loop on a clock the test moves, with the engine and the planner
// faked: the 10 ms schedule, when stop requests are seen, the chain of
// periodic steps, the parking re-plan and interval, the once-a-second
// housekeeping, and the ticks without a running flight.

#include <cmath>
#include <limits>

#include "main_loop_fixture.h"
#include "simlink/sim_link_internal.h"

namespace tavo::test {
namespace {

// The user aircraft as the simulator link keeps it.
void placeUser(double agl, bool onGround) {
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

void changeSettings(const std::function<void(SettingsSnapshot&)>& change) {
    SettingsSnapshot copy = *settingsSnapshot.load();
    change(copy);
    settingsSnapshot.store(std::make_shared<const SettingsSnapshot>(copy));
}

// The calls of one second without those that every second makes.
std::vector<std::string> periodic(std::vector<std::string> calls) {
    std::erase_if(calls, [](const std::string& c) {
        return c == "tick" || c == "schedule" || c == "user collisions" || c == "parked collisions";
    });
    return calls;
}

TEST_F(MainLoopTest, ScheduleKeepsItsDeadlinesSkipsLostTicksAndFollowsTheSimulatorSecond) {
    g_simState.store(SIM_RUNNING);
    const SteadyTime start = clock.now();
    std::vector<double> starts;  // ms after the loop began
    onEngineTick = [&] {
        starts.push_back(std::chrono::duration<double, std::milli>(clock.now() - start).count());
        if (starts.size() == 2) clock.advance(250ms);    // a long tick
        if (starts.size() == 3) clock.advance(9500us);   // half a millisecond left
        if (starts.size() == 6) requestStop(StopReason::NewSettings, 0);
        if (starts.size() == 6) g_userGroundDataSeen.store(true);
    };
    clock.duringSleep = [&](SteadyTime) {
        // The simulator's second arrives while the third sleep is late by 2 ms.
        if (starts.size() == 4) {
            clock.advance(2ms);
            g_userGroundDataSeen.store(true);
        }
    };
    lf_mainLoop();
    EXPECT_EQ(starts, (std::vector<double>{0, 10, 270, 279.5, 292, 302}));
    EXPECT_EQ(clock.sleeps.load(), 4);
    EXPECT_TRUE(enabled(AircraftButton.controlId));
    EXPECT_TRUE(gf_isTrafficDeliveryEnabled());
}

TEST_F(MainLoopTest, StopRequestsAreSeenWithinATickOrASecondOrTwoSecondsWithoutASignal) {
    struct Row {
        std::uint8_t simState;
        bool signalEveryTick;
        int ticksBeforeStop;
    };
    for (const Row row : {Row{SIM_STOPPED, false, 0}, Row{SIM_RUNNING, true, 0}, Row{SIM_RUNNING, false, 200}}) {
        gf_resetMainLoopState();
        gf_clearStopMailbox();
        g_simState.store(row.simState);
        requestStop(StopReason::NewSettings, 0);
        int ticks = 0;
        while (ticks < 1000 && (row.signalEveryTick ? second() : lf_tick())) {
            clock.advance(10ms);
            ++ticks;
        }
        EXPECT_EQ(ticks, row.ticksBeforeStop) << int(row.simState) << row.signalEveryTick;
    }
}

TEST_F(MainLoopTest, EachSecondCountRunsItsStepsOfTheChain) {
    struct Row {
        std::int32_t before;
        std::vector<std::atomic<bool>*> flags;
        std::vector<std::string> calls;
    };
    const std::vector<std::string> five{"free A1"};
    const Row rows[] = {
        {13, {}, {"update"}},
        {60, {}, {"ground twins"}},
        {69, {}, five},  // 70: the 14-second step waits for another second
        {4,
         {&g_categoryOffTwoProps, &g_categoryOffLight, &g_categoryOffRotorcraft, &g_categoryOffHighPerf},
         {"category 1", "category 0", "category 6", "statics 6", "category 5", "free A1"}},
        {14, {}, five},
        {29, {}, {"free A1", "tcas"}},
        {29, {&g_forgetFailedLiveriesRequested}, {"free A1", "forget failed", "tcas", "dump"}},
        {1199, {}, {"free A1", "tcas", "no-match list"}},
        {86399, {}, {"free A1", "tcas", "no-match list", "summary", "no-match cleared"}},
    };
    g_simState.store(SIM_RUNNING);
    userStand = "A1";
    for (const Row& row : rows) {
        for (auto* flag : row.flags) flag->store(true);
        changeSettings([&](SettingsSnapshot& s) { s.OBJECTID_LIST = !row.flags.empty(); });
        gf_mainLoopState().secondsCounter = row.before;
        taken();
        ASSERT_TRUE(second());
        EXPECT_EQ(periodic(taken()), row.calls) << row.before;
    }
    EXPECT_EQ(gf_mainLoopState().secondsCounter, 0);
    // A re-plan waiting to run holds the 14-second update back.
    gf_mainLoopState().secondsCounter = 13;
    gf_mainLoopState().replanPending = true;
    ASSERT_TRUE(second());
    EXPECT_EQ(periodic(taken()), std::vector<std::string>{});
}

TEST_F(MainLoopTest, ARequestedReplanRunsAtTheNextFifteenSecondStepAndPaysItsTimeBack) {
    struct Row {
        std::chrono::milliseconds took;
        std::int32_t ticksAdded;
    };
    g_simState.store(SIM_RUNNING);
    parkAirport = ParkAirportSpot{IcaoCode("EDDF"), LaLo{50.03, 8.57}};
    setStandTable({StandSpec("A1", LaLo{50.03, 8.57})});
    for (const Row row : {Row{40ms, 4}, Row{4ms, 0}, Row{5ms, 1}}) {
        {
            std::lock_guard lock(g_parkingRequestMutex);
            g_parkingRequest = ParkingRequest{3, 2, 7, true};
        }
        gf_enableControl(parking_percentage.controlId, true);
        onAdjust = [&] {
            EXPECT_FALSE(enabled(parking_percentage.controlId));
            clock.advance(row.took);
            std::lock_guard lock(g_parkingRequestMutex);
            ++g_parkingRequest.requestCount;  // the user asks again meanwhile
        };
        gf_mainLoopState().secondsCounter = 14;
        const std::int32_t ticks = tickCount.load();
        taken();
        ASSERT_TRUE(second());
        EXPECT_EQ(periodic(taken()), std::vector<std::string>{"adjust true"}) << row.took.count();
        EXPECT_EQ(tickCount.load() - ticks, row.ticksAdded);
        std::lock_guard lock(g_parkingRequestMutex);
        // Done up to the request it took; the refresh was its own.
        EXPECT_EQ(g_parkingRequest.doneCount, 3u);
        EXPECT_FALSE(g_parkingRequest.refreshRequested);
    }
    // A count that is somehow ahead of the requests is never lowered.
    {
        std::lock_guard lock(g_parkingRequestMutex);
        g_parkingRequest = ParkingRequest{3, 5, 8, true};
    }
    onAdjust = nullptr;
    gf_mainLoopState().secondsCounter = 44;
    ASSERT_TRUE(second());
    std::lock_guard lock(g_parkingRequestMutex);
    EXPECT_EQ(g_parkingRequest.doneCount, 5u);
}

std::atomic<int> g_parkedAsked{0};

TEST_F(MainLoopTest, TheParkingIntervalAsksTheRTAppAheadAndAnnouncesTheUpdateWhenItRunsOut) {
    struct Row {
        std::int32_t minutesLeft;
        bool changed;
        std::int32_t minutesAfter;
        int parkedAsked;
        std::uint64_t requestsAfter;
    };
    const Row rows[] = {
        {3, false, 2, 0, 0},
        {2, false, 1, 1, 0},
        {1, false, 20, 0, 1},
        {2, true, 2, 0, 0},  // a new interval only counts from the next minute
    };
    gf_setRTAppReaderHooks({nullptr, [] { ++g_parkedAsked; }});
    setUp = true;
    g_simState.store(SIM_RUNNING);
    for (const Row& row : rows) {
        {
            std::lock_guard lock(g_parkingRequestMutex);
            g_parkingRequest = ParkingRequest{};
        }
        g_parkedAsked.store(0);
        gf_mainLoopState().parkingInterval = row.minutesLeft;
        gf_mainLoopState().parkingIntervalChanged = row.changed;
        gf_mainLoopState().secondsCounter = 59;
        ASSERT_TRUE(second());
        EXPECT_EQ(gf_mainLoopState().parkingInterval, row.minutesAfter) << row.minutesLeft;
        EXPECT_EQ(gf_gui().parkingIntervalMinutes, row.minutesAfter);
        EXPECT_FALSE(gf_mainLoopState().parkingIntervalChanged);
        EXPECT_EQ(g_parkedAsked.load(), row.parkedAsked) << row.minutesLeft;
        std::lock_guard lock(g_parkingRequestMutex);
        EXPECT_EQ(g_parkingRequest.requestCount, row.requestsAfter) << row.minutesLeft;
    }
    gf_setRTAppReaderHooks({});
}

TEST_F(MainLoopTest, OnceASecondTheParkingTargetTheLiveMaximumTheAircraftListAndOneArrival) {
    g_simState.store(SIM_RUNNING);
    std::vector<StandSpec> stands;
    for (int i = 0; i < 10; ++i) stands.emplace_back(fmt::format("S{}", i), LaLo{50.0 + i * 0.001, 8.5});
    setStandTable(stands);
    changeSettings([](SettingsSnapshot& s) {
        s.RT_PARKTRAFFIC_ONLY = 1;
        s.MAX_PARK_SEL = 4;
        s.MAX_LIVE_SEL = 100;
    });
    g_staticParkingTarget = 6;
    for (std::uint32_t i = 0; i < 135; ++i) addLive(1000 + i, i < 130 ? AcSimState::active : AcSimState::adding2sim);
    newLiveCheckQueue = {1000, 99, 1001, 1000};
    liveList = {"AB1, R1, 3c6444, oid=5"};
    for (auto* flag : {&g_parkingPercentageChanged, &g_liveMaximumChanged, &g_aircraftListRefreshRequested,
                       &g_removeAllStaticsRequested, &g_blockedAircraftChanged}) {
        flag->store(true);
    }
    g_generatingParking.store(true);
    staticsToPlace.resize(3);
    ASSERT_TRUE(second());
    std::vector<std::string> calls = periodic(taken());
    EXPECT_EQ(g_staticParkingTarget, 4);
    EXPECT_EQ(gf_gui().parkingTargetCount, 4);
    EXPECT_EQ(gf_gui().parkingTargetPercent, 40);
    EXPECT_EQ(gf_gui().staticsWaiting, 3u);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "furthest 0"), 30);
    std::erase(calls, "furthest 0");
    EXPECT_EQ(calls, (std::vector<std::string>{"options 1000", "static twin 1000", "trim 0", "flush", "blocked"}));
    EXPECT_EQ(*AIRCRAFT_SELECTOR.choices(), (std::vector<std::string>{"select an aircraft", "AB1, R1, 3c6444, oid=5"}));
    EXPECT_EQ(AIRCRAFT_SELECTOR.value(), "select an aircraft");
    EXPECT_TRUE(enabled(AIRCRAFT_SELECTOR.controlId));
    // One arrival a second; a hexid no aircraft has is dropped; the callsigns
    // of the stand options are given once per aircraft.
    std::vector<std::vector<std::string>> arrivals;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(second());
        arrivals.push_back(periodic(taken()));
    }
    EXPECT_EQ(arrivals, (std::vector<std::vector<std::string>>{
                            {}, {"options 1001", "static twin 1001"}, {"static twin 1000"}}));
    // An empty list leaves only the prompt, and the selector disabled.
    liveList.clear();
    g_aircraftListRefreshRequested.store(true);
    ASSERT_TRUE(second());
    EXPECT_EQ(AIRCRAFT_SELECTOR.choices()->size(), 1u);
    EXPECT_FALSE(enabled(AIRCRAFT_SELECTOR.controlId));
}

TEST_F(MainLoopTest, TheUserAircraftIsCheckedForCollisionsOnlyWhileItFlies) {
    struct Row {
        bool onGround;
        double agl;
        bool collisionAir;
        bool checked;
    };
    const Row rows[] = {{false, 0, true, true},
                        {true, 600, true, true},
                        {true, 400, true, false},
                        {true, std::numeric_limits<double>::quiet_NaN(), true, false},
                        {false, 0, false, false}};
    g_simState.store(SIM_RUNNING);
    for (const Row& row : rows) {
        placeUser(row.agl, row.onGround);
        changeSettings([&](SettingsSnapshot& s) { s.COLLISION_USER_AIR = row.collisionAir; });
        gf_mainLoopState().secondsCounter = 0;
        taken();
        ASSERT_TRUE(second());
        const auto calls = taken();
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "user collisions"), row.checked ? 1 : 0) << row.agl;
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "parked collisions"), 1);
    }
    gf_resetUserAircraft();
}

TEST_F(MainLoopTest, WithoutAFlightResultsAreAppliedEachTickAndTheUserPositionSentEachSecond) {
    placeUser(0, true);
    gf_setTrafficDelivery(true);
    g_simState.store(SIM_STOPPED);
    // The RT App link is wanted but gone: the first position sent finds it.
    for (int i = 0; i < 99; ++i) ASSERT_TRUE(lf_tick());
    EXPECT_EQ(logCount("Flight not running\n"), 1u);
    EXPECT_FALSE(gf_isTrafficDeliveryEnabled());
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "results"), 99);
    EXPECT_EQ(pendingStop(), "none");
    EXPECT_FALSE(lf_tick());
    EXPECT_EQ(pendingStop(), "3/0");
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "tick"), 0);
    gf_clearStopMailbox();
    g_simState.store(SIM_RUNNING);
    ASSERT_TRUE(second());
    EXPECT_EQ(logCount("Flight resumed\n"), 1u);
    EXPECT_TRUE(gf_isTrafficDeliveryEnabled());
    gf_resetUserAircraft();
}

}  // namespace
}  // namespace tavo::test
