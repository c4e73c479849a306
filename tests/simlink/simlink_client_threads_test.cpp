// The SimClient thread against the simulator model, with the engine side
// reading results and user state at the same time.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include <gmock/gmock.h>

#include "platform/window/headless.h"
#include "services/shell.h"
#include "simlink/sim_client_seams.h"
#include "simlink_fixture.h"

using namespace tavo::test;
using namespace std::chrono_literals;
using ::testing::HasSubstr;

namespace {

std::atomic<int> l_pauses{0};
std::atomic<std::int64_t> l_longestPauseMs{0};

// A pause that only the simulator's next record ends (or half a minute).
void lf_pauseUntilQueued(std::chrono::milliseconds most) {
    ++l_pauses;
    l_longestPauseMs.store(std::max<std::int64_t>(l_longestPauseMs.load(), most.count()));
    gf_simModelWaitQueued(30s);
}

template <typename Pred>
bool waitFor(Pred pred, std::chrono::milliseconds timeout = 3000ms) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        if (pred()) return true;
        std::this_thread::sleep_for(1ms);
    }
    return pred();
}

class SimClientThreadTest : public SimLinkTest {
protected:
    void SetUp() override {
        SimLinkTest::SetUp();
        gf_setPoseClock(nullptr);
    }
    void TearDown() override {
        if (thread.joinable()) {
            thread.request_stop();
            thread.join();
        }
        gf_setSimClientWait({});
        gf_setSimClientPollPause(nullptr);
        g_mainWindow.store(WindowHandle::None);
        gf_gui().drain();  // nothing the thread posted may reach the next test
        SimLinkTest::TearDown();
    }
    void start() {
        done.store(false);
        thread = std::jthread([this](std::stop_token stop) {
            gf_simClientThread(stop);
            done.store(true);
        });
    }
    // Counts the thread's waits by length; each wait lasts 1 ms here.
    void countWaits() {
        gf_setSimClientWait([this](std::stop_token stop, std::chrono::milliseconds d) {
            if (d == 100ms) ++shortWaits;
            if (d == 1000ms) ++longWaits;
            std::this_thread::sleep_for(1ms);
            return !stop.stop_requested();
        });
    }
    // The engine's side: reads results and user state while the thread runs.
    void engineTick() {
        gf_takeSimCommands(taken);
        (void)gf_getUserAircraftState();
        (void)gf_userAircraftTitle();
        (void)g_userOnGround.load();
        (void)gf_simTime();
        (void)g_userHalfWingSpan.load();
    }
    std::size_t countTaken(std::uint32_t kind) {
        return static_cast<std::size_t>(
            std::count_if(taken.begin(), taken.end(), [&](const SimCommand& r) { return r.kind == kind; }));
    }
    std::vector<std::uint32_t> liveIds() {
        std::vector<std::uint32_t> ids;
        for (const auto& r : taken)
            if (r.kind == SIM_RESULT_LIVE_ASSIGNED) ids.push_back(r.objectId);
        return ids;
    }
    bool connected() { return g_simState.load() == SIM_RUNNING || g_simState.load() == SIM_STOPPED; }
    // Frames until `count` creates were answered.
    bool createAndWait(std::size_t count, std::uint32_t firstHexid) {
        gf_simModelSetAcceptAnyTitle(true);
        for (std::uint32_t i = 0; i < count; ++i) {
            SimCreateCommand c;
            c.title = "Thread Test";
            c.tailNumber = fmt::format("D-T{}", i);
            c.hexid = firstHexid + i;
            gf_queueAiCreate(c);
        }
        const std::size_t before = countTaken(SIM_RESULT_LIVE_ASSIGNED);
        return waitFor([&] {
            gf_simModelFrames(1);
            engineTick();
            return countTaken(SIM_RESULT_LIVE_ASSIGNED) >= before + count;
        });
    }

    std::jthread thread;
    std::atomic<bool> done{false};
    std::atomic<int> shortWaits{0};
    std::atomic<int> longWaits{0};
    std::vector<SimCommand> taken;
};

TEST_F(SimClientThreadTest, WithoutASimulatorItAnnouncesOnceAndRetriesEvery100Ms) {
    countWaits();
    start();
    ASSERT_TRUE(waitFor([&] { return shortWaits.load() >= 5; }));
    thread.request_stop();
    thread.join();
    gf_gui().drain();
    EXPECT_EQ(countOccurrences(logText(), "Waiting for MSFS 2020 ..."), 1u);
    EXPECT_EQ(gf_gui().statusLine, "Waiting for MSFS 2020 ...");
}

TEST_F(SimClientThreadTest, AStopRequestEndsTheWaitingThreadWithin100Ms) {
    selectSimulator(SimVersion::MSFS2024);
    start();
    std::this_thread::sleep_for(150ms);
    gf_gui().drain();
    EXPECT_THAT(logText(), HasSubstr("Waiting for MSFS 2024 ..."));
    const auto t0 = std::chrono::steady_clock::now();
    requestStop(StopReason::NewSettings, 0);
    ASSERT_TRUE(waitFor([&] { return done.load(); }, 1000ms));
    EXPECT_LE(std::chrono::steady_clock::now() - t0, 110ms);
    thread.join();
}

TEST_F(SimClientThreadTest, TheOtherSimulatorSwitchesTheSelectionOnce) {
    auto backend = std::make_shared<HeadlessBackend>();
    gf_installWindowBackend(backend);
    MainWindowSpec windowSpec;
    windowSpec.title = "TAVO";
    windowSpec.proc = [](WindowHandle w, std::uint32_t m, std::uint64_t wp, std::int64_t lp) {
        return gf_defaultWindowProc(w, m, wp, lp);
    };
    const WindowHandle window = gf_createMainWindow(windowSpec);
    g_mainWindow.store(window);
    gf_simModelStart(SimVersion::MSFS2024);  // MSFS 2020 is selected
    start();
    ASSERT_TRUE(waitFor([&] { return done.load(); }));
    thread.join();
    const auto posted = backend->postedMessages();
    EXPECT_EQ(std::count(posted.begin(), posted.end(), MSG_SWITCH_SIM), 1);
    EXPECT_EQ(countOccurrences(logText(), "MSFS and TAVO do not match, restarting ...\n"), 1u);
    EXPECT_EQ(g_simState.load(), SIM_NOT_CONNECTED);
    g_mainWindow.store(WindowHandle::None);
    gf_destroyWindow(window);
    gf_installWindowBackend(nullptr);
}

TEST_F(SimClientThreadTest, AfterAUserSwitchItWaitsForTheSelectedSimulator) {
    countWaits();
    g_userSwitchedSim.store(true);
    gf_simModelStart(SimVersion::MSFS2024);
    start();
    ASSERT_TRUE(waitFor([&] { return longWaits.load() >= 3; }));
    EXPECT_FALSE(done.load());
    thread.request_stop();
    thread.join();
    gf_gui().drain();
    const std::string log = logText();
    EXPECT_EQ(countOccurrences(log, "MSFS 2024 is running, but TAVO is selected; waiting for MSFS 2020 ..."), 1u);
    EXPECT_EQ(countOccurrences(log, "MSFS 2024 is running; waiting for MSFS 2020 ..."), 1u);
    EXPECT_EQ(countOccurrences(log, "Waiting for MSFS 2020 ..."), 1u);
    EXPECT_GE(gf_simModelConnection("TAVO").serial, 3u);  // it kept trying
}

// Between two polls the thread pauses through its seam, for a millisecond at
// most; a pause that lasts until the simulator queues a record still has
// creates answered at once, the answers waking the thread.
TEST_F(SimClientThreadTest, ItPausesBetweenPollsThroughTheSeamUntilTheSimulatorHasARecord) {
    l_pauses = 0;
    l_longestPauseMs = 0;
    gf_setSimClientPollPause(&lf_pauseUntilQueued);
    gf_simModelStart(SimVersion::MSFS2020);
    start();
    ASSERT_TRUE(waitFor([&] { return connected(); }));
    EXPECT_TRUE(createAndWait(3, 0x990101)) << "a pause left waiting for real time";
    EXPECT_GT(l_pauses.load(), 0);
    EXPECT_EQ(l_longestPauseMs.load(), 1);
    thread.request_stop();
    gf_simModelFrames(1);  // ends the pause under way
    thread.join();
    EXPECT_TRUE(done.load());
}

TEST_F(SimClientThreadTest, StopRemovesOwnObjectsAndWaitsForAPendingCreate) {
    gf_simModelStart(SimVersion::MSFS2020);
    start();
    ASSERT_TRUE(waitFor([&] { return connected(); }));
    gf_queueSimRequest(SIM_REQUEST_USER_TITLE_AND_MODEL);
    gf_queueSimRequest(SIM_REQUEST_USER_POSITION);
    ASSERT_TRUE(createAndWait(3, 0x990001));
    const auto ids = liveIds();
    // The fourth create's answer is lost: it stays pending.
    gf_simModelAddRecordFault({SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID, std::nullopt, 12, 1});
    SimCreateCommand c;
    c.title = "Thread Test";
    c.hexid = 0x990009;
    gf_queueAiCreate(c);
    ASSERT_TRUE(waitFor([&] {
        gf_simModelFrames(1);
        engineTick();
        return gf_simModelObjects().size() == 5;  // the user and four AI objects
    }));
    ASSERT_TRUE(gf_simModelWaitDrained(1000ms));
    const auto t0 = std::chrono::steady_clock::now();
    thread.request_stop();
    while (!done.load()) engineTick();
    thread.join();
    const auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_GE(took, 1900ms);
    EXPECT_LE(took, 3000ms);
    EXPECT_THAT(logText(), HasSubstr("SimConnect shutdown cleanup: initially owned 3, remove requested 3, "
                                         "confirmed 3, pending removals 0, pending creates 1"));
    for (const auto id : ids) {
        const auto journal = gf_simModelJournal(id);
        ASSERT_FALSE(journal.empty());
        EXPECT_EQ(journal.back().kind, SimJournalKind::Removed);
        EXPECT_EQ(journal.back().id, static_cast<std::uint32_t>(REQUEST_AI_REMOVE));
    }
}

TEST_F(SimClientThreadTest, ADispatchFailureReconnectsAndTheHeartbeatGoesOn) {
    gf_simModelStart(SimVersion::MSFS2020);
    start();
    ASSERT_TRUE(waitFor([&] { return connected(); }));
    const auto firstSerial = gf_simModelConnection("TAVO").serial;
    gf_queueSimRequest(SIM_REQUEST_USER_ON_GROUND);  // the main loop's heartbeat, queued once per run
    ASSERT_TRUE(createAndWait(1, 0x990101));
    const std::uint32_t oldObject = liveIds().back();
    gf_simModelAddCallFault({SimCall::CallDispatch, 0, "", std::nullopt, "TAVO", E_FAIL, 1});
    ASSERT_TRUE(waitFor([&] {
        engineTick();
        const auto c = gf_simModelConnection("TAVO");
        return c.serial != firstSerial && c.open;
    }));
    ASSERT_TRUE(waitFor([&] { return connected(); }));
    // The objects of the lost connection reach the engine as removals.
    ASSERT_TRUE(waitFor([&] {
        engineTick();
        return std::any_of(taken.begin(), taken.end(), [&](const SimCommand& r) {
            return r.kind == SIM_RESULT_REMOVED && r.objectId == oldObject;
        });
    }));
    const auto calls = gf_simModelConnection("TAVO").calls;
    EXPECT_TRUE(std::any_of(calls.begin(), calls.end(), [](const SimCallRecord& r) {
        return r.call == SimCall::RequestDataOnSimObject && r.id == REQUEST_USER_AC_ON_GROUND && r.result >= 0;
    }));
    g_userGroundDataSeen.store(false);
    ASSERT_TRUE(waitFor([&] {
        gf_simModelSeconds(1);
        return g_userGroundDataSeen.load();
    }));
    const std::string log = logText();
    EXPECT_THAT(log, HasSubstr("==> SimConnect dispatch failed; hr=0x80004005 (Unspecified error); reconnecting ..."));
    EXPECT_THAT(log, HasSubstr("SimConnect diagnostic: "));
    EXPECT_FALSE(done.load());
}

TEST_F(SimClientThreadTest, AStopRightAfterADispatchFailureAttemptsNoCleanup) {
    gf_simModelStart(SimVersion::MSFS2020);
    start();
    ASSERT_TRUE(waitFor([&] { return connected(); }));
    ASSERT_TRUE(createAndWait(2, 0x990201));
    requestStop(StopReason::NewSettings, 0);
    gf_simModelAddCallFault({SimCall::CallDispatch, 0, "", std::nullopt, "TAVO", E_FAIL, 1});
    ASSERT_TRUE(waitFor([&] { return done.load(); }));
    thread.join();
    const std::string log = logText();
    EXPECT_THAT(log, HasSubstr("SimConnect dispatch failed"));
    EXPECT_THAT(log, ::testing::Not(HasSubstr("SimConnect shutdown cleanup")));
    const auto calls = gf_simModelConnection("TAVO").calls;
    EXPECT_FALSE(std::any_of(calls.begin(), calls.end(),
                             [](const SimCallRecord& r) { return r.call == SimCall::AIRemoveObject; }));
}

}  // namespace
