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

#include "feed/rtapp/udp_reader.h"
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

TEST(WorldRunner, ReportsFallDueAsFarApartAsTheyWereMadeAcrossARestartsPause) {
    // The engine ran from tick 0 at second 0 to tick 10000 at second 100,
    // then stood still for 12 s while the program restarted its run. The
    // buffer then hands over reports made at 95 s and 110 s (at second 112,
    // tick 10000); live ones follow at their own time (120 s, tick 10800).
    struct Report {
        double madeS, handedS, handedTick;
    };
    const std::vector<Report> reports{{95.0, 112.0, 10000.0}, {110.0, 112.0, 10000.0}, {120.0, 120.0, 10800.0}};
    std::vector<double> due;
    for (const Report& r : reports) due.push_back(gf_reportDueTick(r.madeS, r.handedS, r.handedTick));
    // Played 30 s after they were made on the clock that goes on after the
    // pause: the first one 13 s after the hand-over, never before it.
    EXPECT_DOUBLE_EQ(due[0], 10000.0 + 1300.0);
    for (std::size_t k = 1; k < reports.size(); ++k)
        EXPECT_DOUBLE_EQ(due[k] - due[k - 1], (reports[k].madeS - reports[k - 1].madeS) * 100.0) << k;
}

}  // namespace
}  // namespace tavo::test
