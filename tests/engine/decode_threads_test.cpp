// History posted by a reader thread while the engine decodes: it waits for
// the engine's next tick and is decoded there, whole and in posting order.
// Run under ThreadSanitizer too.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "decode_fixture.h"

using namespace tavo::test;

TEST_F(DecodeTest, HistoryPostedDuringATickIsDecodedInTheNextInOrder) {
    constexpr int kBatches = 30;
    constexpr std::uint32_t kHex = 0x4840D6;
    const std::thread::id engine = std::this_thread::get_id();
    constexpr auto kPatience = std::chrono::seconds(10);

    // Two records a batch, 10 s apart; the altitude numbers them.
    auto batchOf = [](int n) {
        std::vector<TrafficRecord> batch;
        for (int index : {2 * n, 2 * n + 1})
            batch.push_back(report(kHex, streamPoint(LaLo{51.0, 9.0}, 250, true, 0, index), 1000.0 + 10.0 * index));
        return batch;
    };

    std::mutex m;
    std::condition_variable cv;
    int wanted = 0, posted = 0;
    bool offEngine = false;
    // Inside the decode of batch n's last record, the reader posts batch n + 1
    // and the engine goes on only once it has.
    rec.onAccept = [&](const StreamPoint& p) {
        const int index = static_cast<int>(p.altitudeFt);
        if (std::this_thread::get_id() != engine) {
            offEngine = true;
            return;
        }
        if (index % 2 == 0 || index / 2 + 1 >= kBatches) return;
        std::unique_lock lock(m);
        wanted = index / 2 + 1;
        cv.notify_all();
        cv.wait_for(lock, kPatience, [&] { return posted >= wanted; });
    };
    std::thread reader([&] {
        for (int n = 1; n < kBatches; ++n) {
            {
                std::unique_lock lock(m);
                if (!cv.wait_for(lock, kPatience, [&] { return wanted >= n; })) return;
            }
            auto batch = batchOf(n);
            gf_postTrafficBatch(batch, 6 * (n % 5), false);  // 30 would be live
            std::lock_guard lock(m);
            posted = n;
            cv.notify_all();
        }
    });

    auto first = batchOf(0);
    gf_postTrafficBatch(first, 0, false);
    for (int tick = 1; tick <= kBatches; ++tick) {
        gf_decodeMailboxRecords();
        ASSERT_EQ(g_liveAircraft.size(), 1u);
        // One batch a tick: the one posted during this tick waits for the next.
        EXPECT_EQ(g_liveAircraft.front().stream.size(), std::size_t(2 * tick));
    }
    reader.join();

    EXPECT_FALSE(offEngine);
    const auto& stream = g_liveAircraft.front().stream;
    ASSERT_EQ(stream.size(), std::size_t(2 * kBatches));
    for (std::size_t i = 0; i < stream.size(); ++i) EXPECT_EQ(stream[i].altitudeFt, double(i)) << i;
}
