#include <functional>
#include <set>

#include <gtest/gtest.h>

#include "services/gui.h"
#include "services/stop.h"
#include "support/temp_dir.h"

namespace {

int g_closerCalls = 0;
void lf_countingCloser() { ++g_closerCalls; }

class StopTest : public tavo::test::LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        clear();
        g_closerCalls = 0;
        gf_gui().attachGuiThread();  // the report lines are applied at once
    }
    void TearDown() override {
        clear();
        LogFileTest::TearDown();
    }
    static void clear() {
        gf_setRTAppServerCloser(nullptr);
        gf_clearStopMailbox();
        g_exiting.store(false);
        gf_gui().reset();
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
    EXPECT_EQ(pending(), std::make_pair(6u, 9u));
    gf_clearStopMailbox();
    EXPECT_TRUE(keepRunning());
    // A request stored directly follows the same rule.
    std::shared_ptr<StopRequest> expected;
    EXPECT_TRUE(g_stopMailbox.compare_exchange_strong(expected, std::make_shared<StopRequest>(StopRequest{10, 0})));
    requestStop(StopReason::NewFlight, 60);
    EXPECT_EQ(pending(), std::make_pair(10u, 0u));
}

TEST_F(StopTest, OnlyClosingTheWindowSetsExitingAndClosesTheRTAppServer) {
    gf_setRTAppServerCloser(&lf_countingCloser);
    for (std::uint32_t reason = 0; reason <= 10; ++reason) {
        if (reason != 4) requestStop(reason, 0);
    }
    EXPECT_EQ(g_closerCalls, 0);
    EXPECT_FALSE(g_exiting.load());

    gf_clearStopMailbox();
    gf_requestNewFlight();
    EXPECT_EQ(pending(), std::make_pair(2u, 60u));
    requestStop(StopReason::UserClosedSim, 0);
    // The restart request stays, but the program is exiting and the server is
    // closed at once although a request was already pending.
    EXPECT_EQ(pending(), std::make_pair(2u, 60u));
    EXPECT_TRUE(g_exiting.load());
    EXPECT_EQ(g_closerCalls, 1);
    gf_clearStopMailbox();
    EXPECT_FALSE(keepRunning());

    gf_setRTAppServerCloser(nullptr);
    requestStop(StopReason::UserClosedSim, 0);
    EXPECT_EQ(g_closerCalls, 1);
}

TEST_F(StopTest, ReportsMapReaderStatusesToTheirStops) {
    struct Case {
        std::function<void()> report;
        std::string statusLine;
        std::pair<std::uint32_t, std::uint32_t> stop;
    };
    const Case cases[] = {
        {[] { gf_reportReaderStopped("Traffic RTAPIreader", false, 402); },
         "Your RealTraffic license has expired (error 402). Check your license and API token.", {8, 15}},
        {[] { gf_reportReaderStopped("Traffic RTAPIreader", true, 401); },
         "The Traffic RTAPIreader has stopped with an error", {7, 15}},
        {[] { gf_reportReaderStopped("Weather RTAPIreader", false, 0); },
         "The Weather RTAPIreader has stopped with an error", {8, 15}},
        {[] { gf_reportReaderError("QNH Reader", "Unknown exception"); },
         "The QNH Reader has stopped with error: Unknown exception", {7, 15}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.statusLine);
        gf_clearStopMailbox();
        c.report();
        EXPECT_EQ(gf_gui().statusLine, c.statusLine);
        EXPECT_EQ(pending(), c.stop);
        EXPECT_NE(newLogLines().find(c.statusLine + "\n"), std::string::npos);
    }
    gf_clearStopMailbox();
    gf_reportSystemError("reading data files failed!");
    EXPECT_EQ(gf_gui().errorText, "reading data files failed!");
    EXPECT_EQ(pending(), std::make_pair(8u, 0u));
}

TEST_F(StopTest, LostSimulatorIsReportedOnlyWhileRunning) {
    gf_simNoLongerConnected();
    EXPECT_EQ(pending(), std::make_pair(1u, 0u));
    const std::string log = newLogLines();
    const auto pos = log.find(" Flight Simulator no longer connected, TAVO will stop ...\n");
    ASSERT_NE(pos, std::string::npos);
    EXPECT_EQ(log[pos - 3], ':');  // "hh:mm:ss" before it

    gf_clearStopMailbox();
    requestStop(StopReason::NewSettings, 0);
    gf_simNoLongerConnected();
    EXPECT_EQ(pending(), std::make_pair(3u, 0u));
    EXPECT_EQ(newLogLines().find("no longer connected"), std::string::npos);
}

}  // namespace
