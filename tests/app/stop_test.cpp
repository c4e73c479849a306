#include <fstream>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "app/gui/gui.h"
#include "app/stop.h"
#include "foundation/log.h"
#include "support/temp_dir.h"

namespace {

std::string readLog() {
    gf_flushLog();
    std::ifstream in("Log.txt", std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

int g_closerCalls = 0;
void lf_countingCloser() { ++g_closerCalls; }

class StopTest : public tavo::test::TempWorkDirTest {
protected:
    void SetUp() override {
        TempWorkDirTest::SetUp();
        gf_openLogFile();
        gf_clearStopMailbox();
        g_exiting.store(false);
        g_closerCalls = 0;
        gf_setRTAppServerCloser(nullptr);
        gf_gui().attachGuiThread();  // the report lines are applied at once
        gf_gui().reset();
    }
    void TearDown() override {
        gf_setRTAppServerCloser(nullptr);
        gf_clearStopMailbox();
        g_exiting.store(false);
        gf_gui().reset();
        gf_logger().close();
        TempWorkDirTest::TearDown();
    }
    static std::pair<std::uint32_t, std::uint32_t> pending() {
        auto r = gf_pendingStopRequest();
        if (!r) return {0xFFFFFFFF, 0xFFFFFFFF};
        return {r->reason, r->countdown};
    }
};

TEST(StopReasonTest, ElevenNamedReasonsInOrderAndWhichOfThemRestart) {
    ASSERT_EQ(kStopReasonNames.size(), 11u);
    for (std::uint32_t i = 0; i < kStopReasonNames.size(); ++i) EXPECT_EQ(kStopReasonNames[i].value, i);
    EXPECT_EQ(gf_stopReasonName(0), "NOT YET SET");
    EXPECT_EQ(gf_stopReasonName(static_cast<std::uint32_t>(StopReason::UserClosedSim)), "USER CLOSED SIM");
    EXPECT_EQ(gf_stopReasonName(10), "TRAFFIC MAILBOX STALLED");
    EXPECT_THROW(gf_stopReasonName(11), std::out_of_range);
    std::set<std::uint32_t> restarting;
    for (std::uint32_t i = 0; i < 12; ++i) {
        if (gf_stopReasonRestarts(i)) restarting.insert(i);
    }
    EXPECT_EQ(restarting, (std::set<std::uint32_t>{2, 3, 6, 7}));
}

TEST_F(StopTest, FirstRequestOfARunWinsUntilTheMailboxIsEmptied) {
    EXPECT_TRUE(keepRunning());
    requestStop(StopReason::SimConnectError, 9);
    EXPECT_FALSE(keepRunning());
    requestStop(StopReason::NewSettings, 0);
    requestStop(8, 15);
    EXPECT_EQ(pending(), std::make_pair(6u, 9u));
    gf_clearStopMailbox();
    EXPECT_TRUE(keepRunning());
    requestStop(3, 0);
    EXPECT_EQ(pending(), std::make_pair(3u, 0u));
}

TEST_F(StopTest, DirectStoreFollowsTheSameFirstWinsRule) {
    std::shared_ptr<StopRequest> expected;
    EXPECT_TRUE(g_stopMailbox.compare_exchange_strong(expected, std::make_shared<StopRequest>(StopRequest{10, 0})));
    EXPECT_FALSE(keepRunning());
    requestStop(StopReason::NewFlight, 60);
    EXPECT_EQ(pending(), std::make_pair(10u, 0u));
}

TEST_F(StopTest, ClosingTheWindowOverridesAPendingRestart) {
    gf_setRTAppServerCloser(&lf_countingCloser);
    gf_requestNewFlight();
    EXPECT_EQ(pending(), std::make_pair(2u, 60u));
    EXPECT_EQ(g_closerCalls, 0);
    requestStop(StopReason::UserClosedSim, 0);
    // The restart request stays, but the program is exiting and the RT App
    // server was closed at once although a request was already pending.
    EXPECT_EQ(pending(), std::make_pair(2u, 60u));
    EXPECT_TRUE(g_exiting.load());
    EXPECT_EQ(g_closerCalls, 1);
    gf_clearStopMailbox();
    EXPECT_FALSE(keepRunning());
}

TEST_F(StopTest, OnlyTheCloseRequestClosesTheRTAppServerAndOnlyWhenRegistered) {
    gf_setRTAppServerCloser(&lf_countingCloser);
    for (std::uint32_t reason = 0; reason <= 10; ++reason) {
        if (reason == 4) continue;
        requestStop(reason, 0);
    }
    EXPECT_EQ(g_closerCalls, 0);
    EXPECT_FALSE(g_exiting.load());
    gf_setRTAppServerCloser(nullptr);
    requestStop(StopReason::UserClosedSim, 0);
    EXPECT_EQ(g_closerCalls, 0);
    EXPECT_TRUE(g_exiting.load());
}

TEST_F(StopTest, ReaderStoppedMapsLicenceExpiryAndRefusedSessions) {
    gf_reportReaderStopped("Traffic RTAPIreader", false, 402);
    EXPECT_EQ(gf_gui().statusLine,
              "Your RealTraffic license has expired (error 402). Check your license and API token.");
    EXPECT_EQ(pending(), std::make_pair(8u, 15u));  // SYSTEM ERROR: the program ends
    EXPECT_NE(readLog().find("license has expired (error 402)"), std::string::npos);

    gf_clearStopMailbox();
    gf_reportReaderStopped("Traffic RTAPIreader", true, 401);
    EXPECT_EQ(gf_gui().statusLine, "The Traffic RTAPIreader has stopped with an error");
    EXPECT_EQ(pending(), std::make_pair(7u, 15u));  // READER ERROR: restart after 15 s

    gf_clearStopMailbox();
    gf_reportReaderStopped("Weather RTAPIreader", false, 0);
    EXPECT_EQ(gf_gui().statusLine, "The Weather RTAPIreader has stopped with an error");
    EXPECT_EQ(pending(), std::make_pair(8u, 15u));
}

TEST_F(StopTest, ReaderErrorAndSystemErrorReports) {
    gf_reportReaderError("QNH Reader", "Unknown exception");
    EXPECT_EQ(gf_gui().statusLine, "The QNH Reader has stopped with error: Unknown exception");
    EXPECT_EQ(pending(), std::make_pair(7u, 15u));
    EXPECT_NE(readLog().find("The QNH Reader has stopped with error: Unknown exception\n"), std::string::npos);

    gf_clearStopMailbox();
    gf_reportSystemError("reading data files failed!");
    EXPECT_EQ(gf_gui().errorText, "reading data files failed!");
    EXPECT_EQ(pending(), std::make_pair(8u, 0u));
}

TEST_F(StopTest, LostSimulatorIsReportedOnlyWhileRunning) {
    gf_simNoLongerConnected();
    EXPECT_EQ(pending(), std::make_pair(1u, 0u));
    const std::string log = readLog();
    const auto pos = log.find(" Flight Simulator no longer connected, TAVO will stop ...\n");
    ASSERT_NE(pos, std::string::npos);
    EXPECT_EQ(log[pos - 3], ':');  // "hh:mm:ss" before it

    gf_clearStopMailbox();
    requestStop(StopReason::NewSettings, 0);
    gf_simNoLongerConnected();
    EXPECT_EQ(pending(), std::make_pair(3u, 0u));
    const std::string after = readLog();
    EXPECT_EQ(after.find("no longer connected"), after.rfind("no longer connected"));
}

}  // namespace
