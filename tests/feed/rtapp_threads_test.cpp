// The RT App link against the application peer over loopback: the version
// handshake in all its forms, stale connections, closing from another
// thread, the exact Qs lines, and the application going away.

#include <atomic>
#include <csignal>
#include <future>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "feed/feed_state.h"
#include "rtapp_fixture.h"

namespace tavo::test {
namespace {

using namespace std::chrono_literals;

class RTAppHandshakeTest : public RTAppLinkTest {
protected:
    // Listens, runs the handshake on a thread of its own and lets the peer
    // connect; true when the handshake ended within the limit. A handshake
    // that overruns is ended (stop request, sockets closed) so the test stops.
    bool handshake(RTAppPeer& peer, std::chrono::milliseconds limit = kHangGuard) {
        g_rtAppServer.listen(std::to_string(port_));
        auto done = std::async(std::launch::async, [] { gf_waitForRTApp(); });
        const bool connected = peer.connect(port_);
        if (done.wait_for(limit) != std::future_status::ready) {
            requestStop(StopReason::NewSettings, 0);
            g_rtAppServer.closeAll();
            done.wait();
            return false;
        }
        return connected;
    }

    // Sends a marker line and waits for it: every line sent before it has
    // arrived by then, so "nothing else came" can be checked without sleeping.
    void waitForMarker(RTAppPeer& peer) {
        const std::string marker = "MARK" + std::to_string(++markers_) + "\n";
        ASSERT_TRUE(g_rtAppServer.sendDataPacket(marker));
        ASSERT_TRUE(peer.waitForLine(marker, kHangGuard).has_value());
    }

    // Every line after the version request, the markers left out.
    static std::vector<std::string> qsLines(const RTAppPeer& peer) {
        std::vector<std::string> result;
        for (const std::string& line : peer.lines()) {
            if (line != "Qs999=version\r\n" && line.rfind("MARK", 0) != 0) result.push_back(line);
        }
        return result;
    }

    int markers_ = 0;
};

TEST_F(RTAppHandshakeTest, EveryReplyFormGivesItsEdition) {
    const struct {
        VersionReply reply;
        bool professional;
        std::string serviceLine;
        bool parseFailure;
    } cases[] = {{VersionReply::Professional, true, "RT App prof edition: 9.9", false},
                 {VersionReply::Standard, false, "RT App stnd edition: 9.9", false},
                 {VersionReply::NotJson, false, "", true},
                 {VersionReply::EmptyObject, false, "RT App stnd edition: ", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.serviceLine);
        g_rtProfessional.store(!c.professional);
        g_rtConnected.store(false);
        gf_gui().trafficServiceInfo = "old";
        newLogLines();
        g_readerResets.store(0);
        RTAppPeer peer(c.reply, "9.9");
        ASSERT_TRUE(handshake(peer));
        EXPECT_TRUE(g_rtConnected.load());
        EXPECT_TRUE(g_rtAppServer.connected());
        EXPECT_FALSE(g_waitingForRTApp.load());
        EXPECT_EQ(g_rtProfessional.load(), c.professional);
        EXPECT_EQ(peer.versionRequests(), 1);
        EXPECT_EQ(g_readerResets.load(), 1);
        logText();
        const std::string log = newLogLines();
        EXPECT_NE(log.find("Waiting for the RealTraffic App to run ... (did you start it?)"), std::string::npos);
        EXPECT_NE(log.find("RealTraffic connected"), std::string::npos);
        EXPECT_EQ(gf_gui().trafficServiceInfo, c.serviceLine);
        EXPECT_EQ(log.find("lf_processRTVersion: JSON parse failed: ") != std::string::npos, c.parseFailure);
        g_rtAppServer.closeAll();
        peer.close();
    }
}

// The reply used to be read with a blocking read: a silent application held
// the main thread for ever. The read now gives up after its time-out (about
// 2 seconds in the program; shortened here) and the silence counts as an
// empty reply.
TEST_F(RTAppHandshakeTest, SilentApplicationIsWaitedForTheReplyTimeOut) {
    gf_setRTAppHandshakeTiming({std::chrono::milliseconds(300), std::chrono::milliseconds(50)});
    RTAppPeer peer(VersionReply::Silent);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(handshake(peer));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms);
    EXPECT_TRUE(g_rtConnected.load());
    EXPECT_FALSE(g_rtProfessional.load());
    EXPECT_NE(logText().find("No RealTraffic version received?"), std::string::npos);
}

TEST_F(RTAppHandshakeTest, ReplyFillingTheWholeBufferIsDropped) {
    // A professional reply padded to 16384 bytes and one well beyond: both are
    // refused as overruns, never read as professional.
    for (const std::size_t size : {std::size_t{16384}, std::size_t{40000}}) {
        const std::string head = R"({"level":2,"version":"10.0","pad":")";
        std::string reply = head + std::string(size - head.size() - 2, 'x') + "\"}";
        ASSERT_EQ(reply.size(), size);
        RTAppPeer peer(VersionReply::Custom, "", reply);
        g_rtProfessional.store(true);
        ASSERT_TRUE(handshake(peer));
        EXPECT_TRUE(g_rtConnected.load());
        EXPECT_FALSE(g_rtProfessional.load());
        const std::string log = logText();
        EXPECT_NE(log.find("receive: buffer overrun: 16384"), std::string::npos);
        EXPECT_NE(log.find("No RealTraffic version received?"), std::string::npos);
        // The rest of the reply was drained: the connection is still usable.
        EXPECT_TRUE(g_rtAppServer.connected());
        g_rtAppServer.closeAll();
        peer.close();
    }
}

TEST_F(RTAppHandshakeTest, StaleConnectionIsDroppedAndTheSamePortListenedOnAgain) {
    RTAppPeer stale(VersionReply::Close);
    g_rtAppServer.listen(std::to_string(port_));
    const Socket firstListen = g_rtAppServer.listenSocket();
    auto done = std::async(std::launch::async, [] { gf_waitForRTApp(); });
    ASSERT_TRUE(stale.connect(port_));
    ASSERT_TRUE(stale.waitForServerClose(kHangGuard));

    // The stale one is noticed after the settle delay and the port is
    // listened on anew (a new socket); then a new application comes.
    Socket current = firstListen;
    ASSERT_TRUE(eventually([&] {
        current = g_rtAppServer.listenSocket();
        return current.valid() && !(current == firstListen);
    }));
    RTAppPeer fresh(VersionReply::Professional, "10.1");
    ASSERT_TRUE(fresh.connect(port_, kHangGuard));
    if (done.wait_for(kHangGuard) != std::future_status::ready) {
        requestStop(StopReason::NewSettings, 0);
        g_rtAppServer.closeAll();
        done.wait();
        FAIL() << "the handshake did not end";
    }
    EXPECT_EQ(stale.versionRequests(), 1);
    EXPECT_EQ(fresh.versionRequests(), 1);
    EXPECT_TRUE(g_rtConnected.load());
    EXPECT_TRUE(g_rtProfessional.load());
    EXPECT_EQ(g_rtAppServer.listenPort(), port_);
    const std::string log = logText();
    EXPECT_NE(log.find("RT App connection was stale, waiting for a new one ..."), std::string::npos);
    EXPECT_NE(log.find("RealTraffic connected"), std::string::npos);
}

TEST_F(RTAppHandshakeTest, CloseAllFromAnotherThreadEndsTheWaitForAClient) {
    g_rtAppServer.listen(std::to_string(port_));
    auto waiting = std::async(std::launch::async, [] { return g_rtAppServer.waitForClient(); });
    EXPECT_EQ(waiting.wait_for(50ms), std::future_status::timeout);
    g_rtAppServer.closeAll();
    // No application ever connects: only the close ends the wait.
    ASSERT_EQ(waiting.wait_for(kHangGuard), std::future_status::ready);
    EXPECT_FALSE(waiting.get());
    EXPECT_FALSE(g_rtAppServer.connected());
}

// A stop posted while a stale connection is being dropped must not leave the
// thread listening and blocked again. The settle delay after the version
// request outlasts the test, so the stop surely comes while it runs (the
// settling ends early on a stop).
TEST_F(RTAppHandshakeTest, StaleConnectionDuringAStopDoesNotListenAgain) {
    RTAppPeer stale(VersionReply::Close);
    gf_setRTAppHandshakeTiming({kHangGuard, 2 * kHangGuard});
    g_rtAppServer.listen(std::to_string(port_));
    auto done = std::async(std::launch::async, [] { gf_waitForRTApp(); });
    ASSERT_TRUE(stale.connect(port_));
    ASSERT_TRUE(stale.waitForServerClose(kHangGuard));
    requestStop(StopReason::NewSettings, 0);
    ASSERT_EQ(done.wait_for(kHangGuard), std::future_status::ready);
    EXPECT_FALSE(g_rtConnected.load());
    EXPECT_FALSE(g_rtAppServer.listenSocket().valid());
}

// The port is listened on anew after a stale connection; when that fails the
// error ends the wait, and the wait must not be left marked as running (the
// window's combo box would keep closing sockets for a wait that is over).
TEST_F(RTAppHandshakeTest, FailedListenAfterAStaleConnectionEndsTheWait) {
    RTAppPeer stale(VersionReply::Close);
    g_rtAppServer.listen(std::to_string(port_));
    PORT_NUMBER.setValue("no-such-port");
    auto done = std::async(std::launch::async, [] { gf_waitForRTApp(); });
    ASSERT_TRUE(stale.connect(port_));
    if (done.wait_for(kHangGuard) != std::future_status::ready) {
        requestStop(StopReason::NewSettings, 0);
        g_rtAppServer.closeAll();
        done.wait();
        FAIL() << "the handshake did not end";
    }
    EXPECT_THROW(done.get(), std::runtime_error);
    EXPECT_FALSE(g_waitingForRTApp.load());
    EXPECT_FALSE(g_rtConnected.load());
}

class RTAppQsLinesTest : public RTAppHandshakeTest {
protected:
    void SetUp() override {
        RTAppHandshakeTest::SetUp();
        ASSERT_TRUE(handshake(peer_));
        ASSERT_TRUE(g_rtConnected.load());
    }
    void TearDown() override {
        peer_.close();
        RTAppHandshakeTest::TearDown();
    }
    RTAppPeer peer_{VersionReply::Professional, "10.0.280"};
};

TEST_F(RTAppQsLinesTest, UserPositionIsSentOnlyOnceAPositionIsKnown) {
    gf_sendUserPosition();  // all-zero state: no position yet
    waitForMarker(peer_);
    EXPECT_TRUE(qsLines(peer_).empty());

    gf_publishUserAircraftState(goldenState());
    gf_sendUserPosition();
    waitForMarker(peer_);
    const std::vector<std::string> expected{"Qs121=-1000;-2000;1.500000;1000000;150000;0.872665;0.139626\r\n"};
    EXPECT_EQ(qsLines(peer_), expected);
    EXPECT_EQ(gf_pendingStopRequest(), nullptr);
    EXPECT_TRUE(g_rtConnected.load());
}

TEST_F(RTAppQsLinesTest, TimeOffsetIsSentInMillisecondsAndOnlyFromOne) {
    gf_sendTimeOffset(0);
    gf_sendTimeOffset(-5);
    gf_sendTimeOffset(2);
    gf_sendTimeOffset(1767225600);  // an epoch time in seconds, as the shell passes it
    waitForMarker(peer_);
    const std::vector<std::string> expected{"Qs123=2000\r\n", "Qs123=1767225600000\r\n"};
    EXPECT_EQ(qsLines(peer_), expected);
}

TEST_F(RTAppQsLinesTest, BufferRequestWithoutAndWithAPositionOneAtATime) {
    EXPECT_TRUE(gf_requestBufferTraffic());
    EXPECT_TRUE(g_bufferRequestPending.load());
    // While one waits for its end, a second is refused without sending.
    gf_publishUserAircraftState(goldenState());
    EXPECT_FALSE(gf_requestBufferTraffic());
    waitForMarker(peer_);
    EXPECT_EQ(qsLines(peer_), std::vector<std::string>{"Qs999=sendbuffer=5,6\n"});

    gf_clearBufferRequestPending();
    EXPECT_FALSE(g_bufferRequestPending.load());
    // The box spans the traffic radius (40 NM by default) around 50 N 8 E.
    ASSERT_EQ(settingsSnapshot.load()->RANGE, 40.0);
    EXPECT_TRUE(gf_requestBufferTraffic());
    waitForMarker(peer_);
    const std::vector<std::string> expected{"Qs999=sendbuffer=5,6\n",
                                            "Qs999=sendbuffer=5,6,49.333813,6.962917,50.666187,9.037083\n"};
    EXPECT_EQ(qsLines(peer_), expected);
}

std::atomic<std::int64_t> g_linkNowNs{0};
std::chrono::steady_clock::time_point lf_linkNow() {
    return std::chrono::steady_clock::time_point(std::chrono::nanoseconds(g_linkNowNs.load()));
}

// A buffer request whose end never comes is given up no later than the start
// path gives up waiting for the buffer (30 s): the position sender drains the
// link again and a new request may go out.
TEST_F(RTAppQsLinesTest, BufferRequestWithoutItsEndTimesOut) {
    g_linkNowNs.store(std::chrono::nanoseconds(std::chrono::hours(1000)).count());
    gf_setFeedSteadyClock(&lf_linkNow);
    gf_publishUserAircraftState(goldenState());
    EXPECT_TRUE(gf_requestBufferTraffic());
    g_linkNowNs.fetch_add(std::chrono::nanoseconds(30s - 1ms).count());
    gf_sendUserPosition();
    EXPECT_TRUE(g_bufferRequestPending.load());
    EXPECT_FALSE(gf_requestBufferTraffic());

    g_linkNowNs.fetch_add(std::chrono::nanoseconds(1ms).count());
    gf_sendUserPosition();
    EXPECT_FALSE(g_bufferRequestPending.load());
    EXPECT_NE(logText().find("Buffer traffic request timed out after 30 seconds"), std::string::npos);
    EXPECT_TRUE(gf_requestBufferTraffic());
    // The request sender gives up an overdue request by itself as well.
    g_linkNowNs.fetch_add(std::chrono::nanoseconds(kBufferRequestTimeout).count());
    EXPECT_TRUE(gf_requestBufferTraffic());
    gf_setFeedSteadyClock(nullptr);
    waitForMarker(peer_);
    std::size_t requests = 0;
    for (const auto& line : qsLines(peer_)) requests += line.rfind("Qs999=sendbuffer=", 0) == 0 ? 1 : 0;
    EXPECT_EQ(requests, 3u);
}

TEST_F(RTAppQsLinesTest, ParkedRequestCentresOnTheParkAirportElseTheUserOnTheGround) {
    gf_setCurrentAirport(AirportListEntry{IcaoCode("EDDF"), {}, LaLo{50.033333, 8.570556}, 364});
    gf_requestParkedTraffic();
    waitForMarker(peer_);
    EXPECT_EQ(qsLines(peer_), std::vector<std::string>{"Qs999=sendparked,49.983369,8.492716,50.083297,8.648396\r\n"});
    EXPECT_EQ(g_parkedClears.load(), 1);

    // No park airport, the user aircraft on the ground at 50 N 8 E.
    gf_clearCurrentAirport();
    gf_publishUserAircraftState(goldenState());
    gf_setUserOnGroundQuery([] { return true; });
    gf_requestParkedTraffic();
    waitForMarker(peer_);
    const auto lines = qsLines(peer_);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].substr(0, 27), "Qs999=sendparked,49.950036,");
    EXPECT_EQ(lines[1].substr(lines[1].size() - 2), "\r\n");
    EXPECT_EQ(g_parkedClears.load(), 2);
}

TEST_F(RTAppQsLinesTest, ParkedRequestWithoutACentreOnlyEmptiesTheLists) {
    gf_publishUserAircraftState(goldenState());
    gf_setUserOnGroundQuery([] { return false; });  // in the air
    gf_requestParkedTraffic();
    gf_setCurrentAirport(AirportListEntry{IcaoCode("EDDF"), {}, LaLo{0.0, 0.0}, 364});  // no valid position
    gf_requestParkedTraffic();
    waitForMarker(peer_);
    EXPECT_TRUE(qsLines(peer_).empty());
    EXPECT_EQ(g_parkedClears.load(), 2);
}

TEST_F(RTAppQsLinesTest, ApplicationGoneRestartsWithNewSettingsAndNoSigpipe) {
    // With the default action a SIGPIPE would end this test program.
    const auto previous = std::signal(SIGPIPE, SIG_DFL);
    gf_publishUserAircraftState(goldenState());
    peer_.close();
    eventually([] {
        gf_sendUserPosition();
        return gf_pendingStopRequest() != nullptr;
    });
    const auto request = gf_pendingStopRequest();
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(request->reason, 3u);
    EXPECT_EQ(request->countdown, 0u);
    EXPECT_FALSE(g_rtConnected.load());
    EXPECT_FALSE(g_rtAppServer.connected());
    EXPECT_NE(logText().find("RealTraffic App gone"), std::string::npos);
    std::signal(SIGPIPE, previous);
}

}  // namespace
}  // namespace tavo::test
