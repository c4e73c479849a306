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

}  // namespace
}  // namespace tavo::test
