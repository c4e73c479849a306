// The RT App UDP readers over loopback: datagram sizes and repeats, how fast a
// stop is seen, the QNH reader binding anew while its port is taken, and the
// traffic reader's whole road from the buffer request to the engine.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <netinet/in.h>

#include "engine/mailbox.h"
#include "feed/feed_state.h"
#include "feed/hang_guard.h"
#include "feed/rtapp/rtapp_server.h"
#include "feed/rtapp_udp_fixture.h"

using namespace tavo::test;
using Clock = std::chrono::steady_clock;

namespace {

std::size_t lf_count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + 1)) ++n;
    return n;
}

// A reader that keeps every datagram handed to it.
class RecordingReader final : public UdpReader {
public:
    RecordingReader() : UdpReader("Test Reader") {}
    std::vector<std::string> handled() {
        std::lock_guard lock(mutex_);
        return handled_;
    }
    std::atomic<int> disconnects{0};

protected:
    void onDatagram() override {
        std::lock_guard lock(mutex_);
        handled_.emplace_back(datagram_);
    }
    void onDisconnect() override { ++disconnects; }

private:
    std::mutex mutex_;
    std::vector<std::string> handled_;
};

// A UDP socket holding a port on every local address, so a reader cannot bind it.
struct PortBlocker {
    PortBlocker() {
        socket = gf_openSocket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        if (gf_bindIPv4(socket, 0)) port = gf_localPort(socket);
    }
    ~PortBlocker() { release(); }
    void release() { gf_closeSocket(socket); }
    Socket socket;
    std::uint16_t port = 0;
};

}  // namespace

class RTAppUdpThreads : public RTAppUdpTest {
protected:
    void SetUp() override {
        RTAppUdpTest::SetUp();
        gf_setRTAppUdpTiming({std::chrono::milliseconds(100), std::chrono::milliseconds(150),
                              std::chrono::milliseconds(10)});
        gf_setRTAppUdpPorts({0, 0});
    }
    void TearDown() override {
        gf_stopRTAppReaders();
        if (thread_.joinable()) thread_.join();
        g_rtAppServer.closeAll();
        gf_resetTrafficMailbox();
        gf_setTrafficDelivery(false);
        RTAppUdpTest::TearDown();
    }

    void start(std::function<void()> run) {
        finished_.store(false);
        thread_ = std::thread([this, run = std::move(run)] {
            run();
            finished_.store(true);
        });
    }

    // True when the thread ended within the limit. A thread that did not is
    // stopped again (so a lost stop fails the test instead of hanging it) and
    // joined either way.
    bool endsWithin(std::chrono::milliseconds limit, const std::function<void()>& stopAgain) {
        const bool ended = eventually([this] { return finished_.load(); }, limit);
        if (!ended) stopAgain();
        thread_.join();
        return ended;
    }

    std::thread thread_;
    std::atomic<bool> finished_{false};
    RTAppPeer peer_;
};

TEST_F(RTAppUdpThreads, DatagramSizesRepeatsAndEmptyDatagrams) {
    RecordingReader reader;
    reader.createSocket();
    reader.bindToPort(0);
    const std::uint16_t port = reader.boundPort();
    ASSERT_NE(port, 0);
    thread_ = std::thread([&] { reader.receive(); });

    const std::string largest(16384, 'x');
    ASSERT_TRUE(peer_.sendLines(port, {largest, std::string(16385, 'y'), "", "A", "A", "B", "A"}));
    ASSERT_TRUE(eventually([&] { return reader.datagramCount() == 6; })) << reader.datagramCount();
    reader.requestStop();
    thread_.join();

    // An exact repeat is counted but not handled again.
    EXPECT_EQ(reader.handled(), (std::vector<std::string>{largest, "A", "B", "A"}));
    EXPECT_EQ(lf_count(logText(), "UDP datagram exceeds 16384 bytes; discarded\n"), 1u);
}

// No datagram follows the stop: the loop sees it at a receive time-out. A
// loop that lost the stop ends only when the test stops it again after its
// hang guard, and fails.
TEST_F(RTAppUdpThreads, StopIsSeenWithinTheReceiveTimeout) {
    for (const bool stopFirst : {true, false}) {
        RecordingReader reader;
        reader.createSocket();
        reader.bindToPort(0);
        // A stop asked for before the loop runs must not be lost.
        if (stopFirst) reader.requestStop();
        start([&] { reader.receive(); });
        if (!stopFirst) {
            // The loop runs once it has handled a datagram.
            ASSERT_TRUE(peer_.sendDatagram(reader.boundPort(), "A"));
            ASSERT_TRUE(eventually([&] { return reader.handled().size() == 1; }));
            reader.requestStop();
        }
        EXPECT_TRUE(endsWithin(kHangGuard, [&] { reader.requestStop(); })) << "stop first: " << stopFirst;
        EXPECT_EQ(reader.disconnects.load(), 1);
    }
}

TEST_F(RTAppUdpThreads, QnhReaderBindsAnewWhileItsPortIsBusy) {
    PortBlocker blocker;
    ASSERT_NE(blocker.port, 0);
    gf_setRTAppUdpPorts({0, blocker.port});
    start(gf_weatherReader);

    const std::string retry = "==> gf_weatherReader exception: bind failed, error: 10048 ";
    ASSERT_TRUE(eventually([&] { return lf_count(logText(), retry) >= 2; })) << logText();
    blocker.release();
    ASSERT_TRUE(eventually([&] { return g_qnhReader.boundPort() == blocker.port; }));

    // Datagrams sent before the port was ours are lost; keep sending until one lands.
    ASSERT_TRUE(eventually([&] {
        peer_.sendDatagram(blocker.port, rtWeatherDatagram("EDDF 051250Z Q0998 NOSIG="));
        return g_qnh.load() == 998;
    }));
    EXPECT_EQ(g_trafficReader.qnh.load(), 998u);
    g_qnhReader.requestStop();
    EXPECT_TRUE(endsWithin(kHangGuard, [] { g_qnhReader.requestStop(); }));
    EXPECT_EQ(gf_pendingStopRequest(), nullptr);  // the QNH reader reconnects rather than stopping the program
}

// A stop of the reader or of the whole program ends the re-bind wait.
TEST_F(RTAppUdpThreads, QnhReaderEndsWhenStoppedDuringItsRebindWait) {
    PortBlocker blocker;
    gf_setRTAppUdpPorts({0, blocker.port});
    gf_setRTAppUdpTiming({std::chrono::milliseconds(100), std::chrono::seconds(30), std::chrono::milliseconds(100)});
    for (const bool byProgramStop : {true, false}) {
        const std::size_t waitsBefore = lf_count(logText(), "; reconnecting ...");
        start(gf_weatherReader);
        ASSERT_TRUE(eventually([&] { return lf_count(logText(), "; reconnecting ...") > waitsBefore; }));
        if (byProgramStop)
            requestStop(StopReason::NewSettings, 0);
        else
            g_qnhReader.requestStop();
        EXPECT_TRUE(endsWithin(kHangGuard, [] { g_qnhReader.requestStop(); }))
            << "program stop: " << byProgramStop;
        EXPECT_EQ(lf_count(logText(), "; reconnecting ..."), waitsBefore + 1);
        gf_clearStopMailbox();
        g_qnhReader.clearState(true);
    }
}

TEST_F(RTAppUdpThreads, TrafficReaderStoppedBeforeItStarts) {
    gf_setRTAppUdpTiming({});
    g_trafficReader.requestStop();
    start(gf_trafficReader);
    EXPECT_TRUE(endsWithin(kHangGuard, [] { g_trafficReader.requestStop(); }));
    EXPECT_FALSE(g_bufferRequestPending.load());
    EXPECT_NE(logText().find("Traffic Reader disconnected\n"), std::string::npos);
    EXPECT_EQ(gf_pendingStopRequest(), nullptr);
}

TEST_F(RTAppUdpThreads, BufferLiveAndParkedTrafficFromThePeer) {
    g_trafficReader.setBatchPoster(nullptr);  // the engine's real mailbox
    gf_resetTrafficMailbox();
    // The engine's clock stands (no tick runs), so history is played as if
    // it had run since each batch was posted: on the real clock two batches
    // posted either side of a tick boundary lie a tick further apart than
    // their delays. A clock that stands too keeps the delays exact.
    gf_setMailboxClock([] { return std::int64_t{0}; });
    struct RealClock {
        ~RealClock() { gf_setMailboxClock({}); }
    } realClock;
    gf_setTrafficDelivery(true);
    UserAircraftState user;
    user.latitude = 52.0;
    user.longitude = 4.0;
    gf_publishUserAircraftState(user);

    const std::uint16_t tcpPort = freeTcpPort();
    g_rtAppServer.listen(std::to_string(tcpPort));
    ASSERT_TRUE(peer_.connect(tcpPort));
    ASSERT_TRUE(g_rtAppServer.waitForClient());

    thread_ = std::thread(gf_trafficReader);
    ASSERT_TRUE(peer_.waitForLine("Qs999=sendbuffer=5,6,"));
    ASSERT_TRUE(eventually([] { return g_trafficReader.boundPort() != 0; }));
    const std::vector<std::string> lines{rtTrafficLine(100001, "RTBUF", 1704067100), "RTBUF_SEP",
                                         rtTrafficLine(100002, "RTBUF", 1704067106), "RTBUF_SEP",
                                         rtTrafficLine(100003, "RTBUF", 1704067112), "RTBUF_EOT",
                                         rtTrafficLine(100004, "RTTFC", 1704067200), "RTTFC_EOT",
                                         rtJoin(rtParkedFields("4840D6")),            "RTPARK_EOT"};
    ASSERT_TRUE(peer_.sendLines(g_trafficReader.boundPort(), lines));
    ASSERT_TRUE(eventually([] { return g_trafficReader.datagramCount() == 10; }));
    g_trafficReader.requestStop();
    thread_.join();

    EXPECT_TRUE(g_trafficReader.bufferReceived.load());
    EXPECT_FALSE(g_bufferRequestPending.load());
    EXPECT_EQ(g_rtAppLastRecordTime.load(), 1704067200);
    std::vector<TrafficRecord> history;
    gf_takeHistoryRecords(history);
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(history[0].hexid, 100001u);
    EXPECT_EQ(history[1].point.playTick - history[0].point.playTick, 600);  // delays 0 and 6 s
    // The record after the last separator went with the live batch.
    EXPECT_EQ(gf_mailboxCounters().pending, 2u);
    std::lock_guard lock(g_trafficReader.parkedListMutex);
    ASSERT_EQ(g_trafficReader.parkedFront.size(), 1u);
    EXPECT_EQ(g_trafficReader.parkedFront[0].hexid, 0x4840D6u);
}

namespace {
// The feed clock of the test below: moved only by the test.
std::atomic<std::int64_t> g_silentFeedNowNs{0};
std::chrono::steady_clock::time_point lf_silentFeedNow() {
    return std::chrono::steady_clock::time_point(std::chrono::nanoseconds(g_silentFeedNowNs.load()));
}
}  // namespace

// One traffic line and then silence: the receive loop posts the open batch
// once the feed clock has passed its age limit, with no further datagram.
TEST_F(RTAppUdpThreads, AnOpenBatchIsPostedWhenTheAppFallsSilent) {
    g_silentFeedNowNs.store(std::chrono::nanoseconds(std::chrono::hours(1000)).count());
    gf_setFeedSteadyClock(&lf_silentFeedNow);
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<std::uint32_t> posted;
    g_trafficReader.setBatchPoster([&](std::vector<TrafficRecord>& batch, std::uint32_t delay) {
        std::lock_guard lock(mutex);
        for (const auto& r : batch) posted.push_back(delay == 30 ? r.hexid : 0);
        batch.clear();
        cv.notify_all();
    });
    // However the test ends, the reader stops before the poster's state goes.
    struct Stop {
        std::thread& thread;
        ~Stop() {
            g_trafficReader.requestStop();
            if (thread.joinable()) thread.join();
            g_trafficReader.closeSocket();
            gf_setFeedSteadyClock(nullptr);
        }
    } stop{thread_};
    g_trafficReader.createSocket();
    g_trafficReader.bindToPort(0);
    thread_ = std::thread([] { g_trafficReader.receive(); });

    ASSERT_TRUE(peer_.sendDatagram(g_trafficReader.boundPort(), rtTrafficLine(100001)));
    // The line has been read once its time is the reader's last record time;
    // its batch opened on the feed clock before that.
    ASSERT_TRUE(eventually([] { return g_rtAppLastRecordTime.load() != 0; }));
    g_silentFeedNowNs.fetch_add(std::chrono::nanoseconds(kOpenBatchMaxAge).count());
    bool arrived = false;
    {
        std::unique_lock lock(mutex);
        arrived = cv.wait_for(lock, kHangGuard, [&] { return !posted.empty(); });
    }
    ASSERT_TRUE(arrived) << "the open batch waited for a line";
    EXPECT_EQ(posted, (std::vector<std::uint32_t>{100001}));
    EXPECT_EQ(g_trafficReader.datagramCount(), 1u);
}

// The engine takes the hand-over maps (and a new start lets them collect
// again) while the reader thread inserts the entries of its lines: every
// hexid the engine finds is one a line carried, and none is found twice.
// The reader waits half-way until the engine has taken what the first half
// inserted and let the maps collect again, so at least one take meets
// entries and the second half runs against takes, whatever the scheduler does.
TEST_F(RTAppUdpTest, HandOverInsertsMeetTheEnginesTakesUnderTheLock) {
    gf_registerRTAppReaders();
    constexpr std::uint32_t kLines = 4000;
    constexpr std::uint32_t kHalf = kLines / 2;
    constexpr std::uint32_t kFirst = 100001;
    std::vector<std::string> lines;
    for (std::uint32_t i = 0; i < kLines; ++i) lines.push_back(rtTrafficLine(kFirst + i));

    std::promise<void> firstHalfInserted;
    std::promise<void> firstHalfTaken;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        for (std::uint32_t i = 0; i < kHalf; ++i) g_trafficReader.handleLine(lines[i]);
        firstHalfInserted.set_value();
        firstHalfTaken.get_future().wait();
        for (std::uint32_t i = kHalf; i < kLines; ++i) g_trafficReader.handleLine(lines[i]);
        done.store(true);
    });
    std::vector<std::uint32_t> taken;
    const auto take = [&] {
        gf_takeParkedHandOverMaps();
        taken.insert(taken.end(), g_engineHandOverMaps.hexids.begin(), g_engineHandOverMaps.hexids.end());
    };
    firstHalfInserted.get_future().wait();
    take();
    const std::size_t firstTake = taken.size();
    gf_clearTrafficMaps();
    firstHalfTaken.set_value();
    while (!done.load()) {
        take();
        gf_clearTrafficMaps();
    }
    reader.join();
    take();
    gf_clearParkedTrafficSources();

    EXPECT_EQ(firstTake, kHalf);
    std::sort(taken.begin(), taken.end());
    EXPECT_EQ(std::adjacent_find(taken.begin(), taken.end()), taken.end()) << "a hexid was taken twice";
    EXPECT_GE(taken.front(), kFirst);
    EXPECT_LT(taken.back(), kFirst + kLines);
}
