// The world runner's hand-over of lines to a reader: what it sends must all
// arrive however slowly the reader reads, or a run's feed (and with it every
// verdict) depends on the machine's load.

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "feed/records.h"
#include "feed/rtapp/udp_reader.h"
#include "support/motion_harness.h"
#include "support/rtapp_peer.h"
#include "support/sample_world_run.h"

namespace tavo::test {
namespace {

using namespace std::chrono_literals;

// A reader that takes its time over each datagram, as a sanitizer build on a
// busy machine does.
class SlowReader final : public UdpReader {
public:
    SlowReader() : UdpReader("Slow Reader") {}
    std::atomic<int> handled{0};

protected:
    void onDatagram() override {
        std::this_thread::sleep_for(20us);
        ++handled;
    }
    void onDisconnect() override {}
};

TEST(WorldRunner, EveryLineOfABurstReachesASlowReader) {
    // The reader looks at its stop flag often, so that the test ends at once.
    const RTAppUdpTiming saved = gf_rtAppUdpTiming();
    gf_setRTAppUdpTiming({20ms, saved.reconnectWait, saved.reconnectStep});
    SlowReader reader;
    reader.createSocket();
    reader.bindToPort(0);
    std::thread reading([&] { reader.receive(); });

    // A buffer's worth of traffic lines, each one different (a repeat is
    // passed over by the reader), far more than the socket's receive queue
    // holds.
    std::vector<std::string> lines;
    for (int i = 0; i < 2000; ++i)
        lines.push_back(fmt::format("RTTFC,{},47.{:06d},-122.300000,{}", 11000000 + i, i, std::string(260, 'x')));
    RTAppPeer peer;
    const bool sent = gf_sendPacedToReader(peer, reader.boundPort(), lines, reader);

    const auto end = std::chrono::steady_clock::now() + 5s;
    while (reader.handled.load() < 2000 && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(1ms);
    reader.requestStop();
    reading.join();
    gf_setRTAppUdpTiming(saved);
    EXPECT_TRUE(sent);
    EXPECT_EQ(reader.handled.load(), 2000);
}

TEST(WorldRunner, ReportsFallDueThirtySecondsOnAsTheEngineTicksAcrossARestartsPause) {
    // The engine ran from tick 0 at second 0 to tick 10000 at second 100,
    // then stood still for 12 s while the program restarted its run, and
    // went on from tick 10000 at second 112.
    constexpr std::int64_t kS = 1'000'000'000;
    const std::vector<std::pair<std::int64_t, std::int64_t>> starts{{0, 0}, {112 * kS, 12 * kS}};
    const auto due = [&](double madeS) {
        return gf_engineTickAt(static_cast<std::int64_t>((madeS + 30.0) * kS), starts, 0);
    };
    // Made before the pause, due after it: 30 s on as the engine ticks, the
    // pause not counted twice.
    EXPECT_DOUBLE_EQ(due(95.0), 11300.0);
    // Due while the engine stood still: due when it goes on.
    EXPECT_DOUBLE_EQ(due(75.0), 10000.0);
    // Made during the pause or after it: as far apart as they were made.
    EXPECT_DOUBLE_EQ(due(110.0) - due(95.0), 1500.0);
    EXPECT_DOUBLE_EQ(due(120.0) - due(110.0), 1000.0);
    // Before the engine's first tick, the clock of its first start.
    EXPECT_DOUBLE_EQ(gf_engineTickAt(-5 * kS, starts, 0), -500.0);
}

TEST(WorldRunner, AfterARestartTheReportsAreTheNewRunsOwn) {
    // The old run was handed reports due at ticks 1000 and 2000, and one due
    // at 2100 that the new run (begun at tick 1500) was handed again in its
    // buffer, due at 1700 there; a datagram of the new run came twice.
    MotionRecorder recorder;
    const auto hand = [&](double time, double due, int run) {
        TrafficRecord r;
        r.hexid = 0xABC040;
        r.time = time;
        recorder.report(r, due, run);
    };
    hand(100.0, 1000.0, 0);
    hand(110.0, 2000.0, 0);
    hand(120.0, 2100.0, 0);
    recorder.runBegan(1, 1500.0);
    hand(120.0, 1700.0, 1);
    hand(130.0, 1800.0, 1);
    hand(130.0, 1900.0, 1);
    const std::vector<const AircraftRecord*> all = recorder.allRecords(0);
    ASSERT_EQ(all.size(), 1u);
    std::vector<std::pair<double, double>> kept;
    for (const ReportedPosition& p : all.front()->reports) kept.emplace_back(p.time, p.dueTick);
    // The old run's report due after the restart went with it; the one
    // handed again plays on the new run's schedule; a repeat is the same
    // report at its first due tick.
    const std::vector<std::pair<double, double>> expected{{100.0, 1000.0}, {120.0, 1700.0}, {130.0, 1800.0}};
    EXPECT_EQ(kept, expected);
}

}  // namespace
}  // namespace tavo::test
