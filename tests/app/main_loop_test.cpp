// The main loop on a clock the test moves, with the engine and the planner
// faked: the 10 ms schedule, when stop requests are seen, the chain of
// periodic steps, the parking re-plan and interval, the once-a-second
// housekeeping, the ticks without a flight; and the RT API cooldown.

#include <cmath>
#include <limits>

#include "app/main_thread.h"
#include "feed/rtapp/qnh_reader.h"
#include "feed/rtapp/traffic_reader.h"
#include "main_loop_fixture.h"
#include "support/rtapp_peer.h"

namespace tavo::test {
namespace {

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
        if (starts.size() == 2) clock.advance(250ms);   // a long tick
        if (starts.size() == 3) clock.advance(9500us);  // half a millisecond left
        if (starts.size() == 6) requestStop(StopReason::NewSettings, 0), g_userGroundDataSeen.store(true);
    };
    // The simulator's second arrives during the third sleep, which ends 2 ms late.
    clock.duringSleep = [&](SteadyTime) {
        if (starts.size() == 4) clock.advance(2ms), g_userGroundDataSeen.store(true);
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
        bool signals;
        int ticksBeforeStop;
    };
    for (const Row row : {Row{SIM_STOPPED, false, 0}, Row{SIM_RUNNING, true, 0}, Row{SIM_RUNNING, false, 200}}) {
        gf_resetMainLoopState();
        g_simState.store(row.simState);
        requestStop(StopReason::NewSettings, 0);
        int ticks = 0;
        for (; ticks < 1000 && (row.signals ? second() : lf_tick()); ++ticks) clock.advance(10ms);
        EXPECT_EQ(ticks, row.ticksBeforeStop) << int(row.simState) << row.signals;
    }
}

TEST_F(MainLoopTest, EachSecondCountRunsItsStepsOfTheChain) {
    struct Row {
        std::int32_t before;
        std::vector<std::atomic<bool>*> flags;
        std::vector<std::string> calls;
        bool replanPending = false;
    };
    const Row rows[] = {
        {13, {}, {"update"}},
        {60, {}, {"ground twins"}},
        {69, {}, {"free A1"}},  // 70: the 14-second step waits for another second
        {4,
         {&g_categoryOffTwoProps, &g_categoryOffLight, &g_categoryOffRotorcraft, &g_categoryOffHighPerf},
         {"category 1", "category 0", "category 6", "statics 6", "category 5", "free A1"}},
        {29, {}, {"free A1", "tcas"}},
        {29, {&g_forgetFailedLiveriesRequested}, {"free A1", "forget failed", "tcas", "dump"}},
        {1199, {}, {"free A1", "tcas", "no-match list"}},
        {86399, {}, {"free A1", "tcas", "no-match list", "summary", "no-match cleared"}},
        {13, {}, {}, true},  // a re-plan waits: no update
    };
    g_simState.store(SIM_RUNNING);
    userStand = "A1";
    for (const Row& row : rows) {
        for (auto* flag : row.flags) flag->store(true);
        changeSettings([&](SettingsSnapshot& s) { s.OBJECTID_LIST = !row.flags.empty(); });
        gf_mainLoopState().secondsCounter = row.before;
        gf_mainLoopState().replanPending = row.replanPending;
        taken();
        ASSERT_TRUE(second());
        EXPECT_EQ(periodic(taken()), row.calls) << row.before;
        if (row.before == 86399) {
            EXPECT_EQ(gf_mainLoopState().secondsCounter, 0);
        }
    }
}

TEST_F(MainLoopTest, ARequestedReplanRunsAtTheNextFifteenSecondStepAndPaysItsTimeBack) {
    g_simState.store(SIM_RUNNING);
    parkAirport = ParkAirportSpot{IcaoCode("EDDF"), LaLo{50.03, 8.57}};
    setStandTable({StandSpec("A1", LaLo{50.03, 8.57})});
    g_parkingRequest = ParkingRequest{3, 2, 7, true};
    onAdjust = [&] {
        EXPECT_FALSE(enabled(parking_percentage.controlId));
        clock.advance(40ms);
        std::lock_guard lock(g_parkingRequestMutex);
        ++g_parkingRequest.requestCount;  // the user asks again meanwhile
    };
    gf_mainLoopState().secondsCounter = 14;
    const std::int32_t ticks = tickCount.load();
    ASSERT_TRUE(second());
    EXPECT_EQ(periodic(taken()), std::vector<std::string>{"adjust true"});
    EXPECT_EQ(tickCount.load() - ticks, 4);
    EXPECT_EQ(g_parkingRequest.doneCount, 3u);  // up to the request it took, so the new one runs next
    EXPECT_FALSE(g_parkingRequest.refreshRequested);
    onAdjust = nullptr;
    g_parkingRequest.doneCount = 9;  // a done count is never lowered
    gf_mainLoopState().secondsCounter = 29;
    ASSERT_TRUE(second());
    EXPECT_EQ(periodic(taken()), (std::vector<std::string>{"adjust false", "tcas"}));
    EXPECT_EQ(g_parkingRequest.doneCount, 9u);
}

TEST_F(MainLoopTest, EveryThirtySecondsTheReaderLampsOfTheSourceAndTheAutomaticRange) {
    struct Row {
        bool rtApp, freshWeather, trafficCame;
        std::uint32_t weatherLamp, trafficLamp;
    };
    g_simState.store(SIM_RUNNING);
    g_rtConnected.store(true);
    g_userOnGround.store(true);
    for (const Row row : {Row{true, true, false, kReaderRunning, kReaderTrouble},
                          Row{true, false, true, kReaderTrouble, kReaderRunning},
                          Row{false, false, true, kReaderTrouble, kReaderRunning},
                          Row{false, false, false, kReaderTrouble, kReaderTrouble}}) {
        useRTApp(row.rtApp);
        g_qnhReader.clearState(false);
        if (row.freshWeather) g_qnhReader.handleWeather(rtWeatherDatagram("EDDF 121020Z 24008KT 9999 Q1017"));
        // RT App: the datagram count moved since the last look; RT Direct: batches were delivered.
        gf_mainLoopState().lastDatagramCount = g_trafficReader.datagramCount() + (row.trafficCame ? 1 : 0);
        gf_rtApiTrafficReader().deliveredCount.store(row.trafficCame ? 5 : 0);
        RANGE.set(40);
        gf_mainLoopState().secondsCounter = 29;
        ASSERT_TRUE(second());
        EXPECT_EQ(std::pair(gf_gui().weatherReaderState, gf_gui().trafficReaderState),
                  std::pair(row.weatherLamp, row.trafficLamp)) << row.rtApp << row.freshWeather;
        EXPECT_EQ(gf_rtApiTrafficReader().deliveredCount.load(), row.rtApp && row.trafficCame ? 5u : 0u);
        EXPECT_EQ(RANGE.value(), RANGE_GROUND.value());  // on the ground with AUTO_RANGE on
    }
    g_qnhReader.clearState(false);
}

std::atomic<int> g_parkedAsked{0};

TEST_F(MainLoopTest, TheParkingIntervalAsksTheRTAppAheadAndAnnouncesTheUpdateWhenItRunsOut) {
    struct Row {
        std::int32_t minutesLeft;
        bool changed;
        std::int32_t minutesAfter;
        int parkedAsked;
        std::uint64_t requests;
    };
    gf_setRTAppReaderHooks({nullptr, [] { ++g_parkedAsked; }});
    setUp = true;
    g_simState.store(SIM_RUNNING);
    for (const Row row : {Row{3, false, 2, 0, 0}, Row{2, false, 1, 1, 0}, Row{1, false, 20, 0, 1},
                          Row{2, true, 2, 0, 0}}) {
        g_parkingRequest = ParkingRequest{};
        g_parkedAsked.store(0);
        gf_mainLoopState().parkingInterval = row.minutesLeft;
        gf_mainLoopState().parkingIntervalChanged = row.changed;
        gf_mainLoopState().secondsCounter = 59;
        ASSERT_TRUE(second());
        EXPECT_EQ(gf_gui().parkingIntervalMinutes, row.minutesAfter) << row.minutesLeft;
        EXPECT_EQ(g_parkedAsked.load(), row.parkedAsked) << row.minutesLeft;
        EXPECT_EQ(g_parkingRequest.requestCount, row.requests) << row.minutesLeft;
    }
    gf_setRTAppReaderHooks({});
}

TEST_F(MainLoopTest, OnceASecondTheParkingTargetTheLiveMaximumTheAircraftListAndOneArrival) {
    g_simState.store(SIM_RUNNING);
    std::vector<StandSpec> stands;
    for (int i = 0; i < 10; ++i) stands.emplace_back(fmt::format("S{}", i), LaLo{50.0 + i * 0.001, 8.5});
    setStandTable(stands);
    changeSettings([](SettingsSnapshot& s) { s.RT_PARKTRAFFIC_ONLY = 1, s.MAX_PARK_SEL = 4, s.MAX_LIVE_SEL = 100; });
    g_staticParkingTarget = 6;
    for (std::uint32_t i = 0; i < 135; ++i) {
        AcInfo info;
        info.hexid = 1000 + i;
        g_liveAircraft.emplace_back(std::deque<StreamPoint>{}, info, 0.0).simState =
            i < 130 ? AcSimState::active : AcSimState::adding2sim;
    }
    newLiveCheckQueue = {1000, 99, 1001, 1000};
    liveList = {"AB1, R1, 3c6444, oid=5"};
    for (auto* flag : {&g_parkingPercentageChanged, &g_liveMaximumChanged, &g_aircraftListRefreshRequested,
                       &g_removeAllStaticsRequested, &g_blockedAircraftChanged, &g_generatingParking}) {
        flag->store(true);
    }
    staticsToPlace.resize(3);
    ASSERT_TRUE(second());
    std::vector<std::string> calls = periodic(taken());
    EXPECT_EQ(std::erase(calls, "furthest 0"), 30u);
    EXPECT_EQ(calls, (std::vector<std::string>{"options 1000", "static twin 1000", "trim 0", "flush", "blocked"}));
    EXPECT_EQ(g_staticParkingTarget, 4);
    EXPECT_EQ(std::pair(gf_gui().parkingTargetCount, gf_gui().parkingTargetPercent), std::pair(4, 40));
    EXPECT_EQ(gf_gui().staticsWaiting, 3u);
    EXPECT_EQ(*AIRCRAFT_SELECTOR.choices(), (std::vector<std::string>{"select an aircraft", liveList[0]}));
    EXPECT_EQ(AIRCRAFT_SELECTOR.value(), "select an aircraft");
    EXPECT_TRUE(enabled(AIRCRAFT_SELECTOR.controlId));
    // One arrival a second; a hexid no aircraft has is dropped; the
    // stand-option callsigns are given once per aircraft.
    std::vector<std::vector<std::string>> arrivals;
    for (int i = 0; i < 3; ++i) arrivals.push_back((second(), periodic(taken())));
    EXPECT_EQ(arrivals, (std::vector<std::vector<std::string>>{
                            {}, {"options 1001", "static twin 1001"}, {"static twin 1000"}}));
    liveList.clear();
    g_aircraftListRefreshRequested.store(true);
    ASSERT_TRUE(second());
    EXPECT_FALSE(enabled(AIRCRAFT_SELECTOR.controlId));
}

TEST_F(MainLoopTest, TheUserAircraftIsCheckedForCollisionsOnlyWhileItFlies) {
    struct Row {
        bool onGround;
        double agl;
        bool collisionAir, checked;
    };
    g_simState.store(SIM_RUNNING);
    for (const Row row : {Row{false, 0, true, true}, Row{true, 600, true, true}, Row{true, 400, true, false},
                          Row{true, std::numeric_limits<double>::quiet_NaN(), true, false},
                          Row{false, 0, false, false}}) {
        placeUser(row.onGround, row.agl);
        changeSettings([&](SettingsSnapshot& s) { s.COLLISION_USER_AIR = row.collisionAir; });
        gf_mainLoopState().secondsCounter = 0;
        taken();
        ASSERT_TRUE(second());
        const auto calls = taken();
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "user collisions"), row.checked) << row.agl;
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "parked collisions"), 1);
    }
}

TEST_F(MainLoopTest, WithoutAFlightResultsAreAppliedEachTickAndTheUserPositionSentEachSecond) {
    placeUser(true);
    g_simState.store(SIM_STOPPED);
    // The RT App link is wanted but gone: the first position sent finds it.
    for (int i = 0; i < 99; ++i) ASSERT_TRUE(lf_tick());
    EXPECT_EQ(logCount("Flight not running\n"), 1u);
    EXPECT_FALSE(gf_isTrafficDeliveryEnabled());
    EXPECT_EQ(taken(), std::vector<std::string>(99, "results"));
    EXPECT_FALSE(lf_tick());
    EXPECT_EQ(pendingStop(), "3/0");
    gf_clearStopMailbox();
    g_simState.store(SIM_RUNNING);
    ASSERT_TRUE(second());
    EXPECT_EQ(logCount("Flight resumed\n"), 1u);
    EXPECT_TRUE(gf_isTrafficDeliveryEnabled());
}

// The run's park airport is chosen by whether the user stands on the
// ground: the simulator wait goes on asking until that answer has come, also
// when the position is known first.
TEST_F(MainLoopTest, TheSimulatorWaitLastsUntilTheOnGroundAnswerHasCome) {
    g_simState.store(SIM_RUNNING);
    placeUser(true);
    g_userOnGroundState.store(-1);
    clock.duringSleep = [this](SteadyTime) {
        if (clock.sleeps.load() == 3) g_userOnGroundState.store(1);
        g_userInfoFlags.store(3);  // the title and the model answer at once
    };
    EXPECT_TRUE(lf_waitForSimulator());
    EXPECT_EQ(g_userOnGroundState.load(), 1);
    EXPECT_GE(clock.sleeps.load(), 3);
    g_userOnGroundState.store(-1);
    gf_resetSimClient();
}

std::int64_t g_epochNow = 1'700'000'000;

TEST_F(MainLoopTest, TheRTAPICooldownHoldsTheLoginForTheRestOfItsSeconds) {
    struct Row {
        std::optional<std::chrono::milliseconds> closedAgo;  // in this process
        std::optional<std::int32_t> lastEpochAgo;            // LAST_EPOCH_TIME before now; none: never
        bool stopPending;
        const char* line;
        std::chrono::milliseconds held;
    };
    const char* two = "Holding for 2 seconds... (RT API cooldown)";
    gf_setSecondsClock([] { return g_epochNow; });
    for (const Row row : {Row{1200ms, std::nullopt, false, two, 1800ms},
                          Row{2500ms, 0, false, "Holding for 1 second... (RT API cooldown)", 500ms},
                          Row{3000ms, std::nullopt, false, "", 0ms}, Row{std::nullopt, 2, false, two, 2000ms},
                          Row{std::nullopt, 10, false, "", 0ms}, Row{std::nullopt, std::nullopt, false, "", 0ms},
                          Row{1200ms, std::nullopt, true, two, 0ms},
                          // A last close an hour ahead (the clock was set back) holds the
                          // whole cooldown, not the hour.
                          Row{std::nullopt, -3600, false, "Holding for 4 seconds... (RT API cooldown)", 4000ms}}) {
        gf_gui().statusLine.clear();
        gf_clearStopMailbox();
        if (row.stopPending) requestStop(StopReason::NewSettings, 0);
        LAST_EPOCH_TIME.set(row.lastEpochAgo ? static_cast<std::int32_t>(g_epochNow - *row.lastEpochAgo) : 0);
        const SteadyTime start = clock.now();
        gf_setRTAPICooldownDeadline(row.closedAgo ? std::optional(start - *row.closedAgo + kRTAPICooldownInProcess)
                                                  : std::nullopt);
        lf_waitRTAPICooldown();
        EXPECT_EQ(gf_gui().statusLine, row.line);
        EXPECT_TRUE(clock.now() - start == row.held) << row.line;
    }
    gf_setSecondsClock(nullptr);
}

}  // namespace
}  // namespace tavo::test
