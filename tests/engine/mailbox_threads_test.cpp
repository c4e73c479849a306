// The mailbox between real threads; run under ThreadSanitizer too.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "engine/mailbox.h"
#include "services/stop.h"

namespace {

class MailboxThreads : public ::testing::Test {
protected:
    void SetUp() override {
        gf_setMailboxClock({});
        gf_resetTrafficMailbox();
        gf_setTrafficDelivery(true);
        gf_clearStopMailbox();
    }
    void TearDown() override {
        gf_setTrafficDelivery(false);
        gf_resetTrafficMailbox();
        gf_clearStopMailbox();
    }
};

}  // namespace

TEST_F(MailboxThreads, PosterAndTakerNeverSeeATornBatch) {
    constexpr std::uint32_t kBatches = 2000;
    constexpr std::uint32_t kPerBatch = 20;
    std::atomic<bool> posterDone{false};
    std::atomic<bool> batchLeftFull{false};

    std::thread poster([&] {
        std::vector<TrafficRecord> batch;
        for (std::uint32_t b = 1; b <= kBatches; ++b) {
            for (std::uint32_t i = 0; i < kPerBatch; ++i) {
                TrafficRecord r;
                r.hexid = b * 1000 + i;  // batch number and position in it
                r.time = static_cast<double>(b);
                batch.push_back(r);
            }
            // Every 10th batch is history, which must arrive whole and in order.
            gf_postTrafficBatch(batch, b % 10 == 0 ? 6 : 30, true);
            if (!batch.empty()) batchLeftFull = true;
        }
        posterDone = true;
    });

    std::uint32_t lastBatch = 0;
    std::uint32_t lastIndex = 0;
    bool orderBroken = false;
    std::vector<TrafficRecord> history;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        const bool done = posterDone.load();
        gf_takeHistoryRecords(history);
        gf_takeMailboxRecords([&](const TrafficRecord& r) {
            const std::uint32_t b = r.hexid / 1000;
            const std::uint32_t i = r.hexid % 1000;
            // Within one batch records come from the end; batches only move forward.
            if (b < lastBatch || (b == lastBatch && i >= lastIndex)) orderBroken = true;
            if (r.time != static_cast<double>(b)) orderBroken = true;
            lastBatch = b;
            lastIndex = i;
        });
        if (done && gf_mailboxCounters().pending == 0 && gf_mailboxCounters().history == 0) break;
    }
    poster.join();
    gf_takeHistoryRecords(history);

    EXPECT_FALSE(batchLeftFull);
    EXPECT_FALSE(orderBroken);
    ASSERT_EQ(history.size(), (kBatches / 10) * kPerBatch);
    for (std::size_t k = 0; k < history.size(); ++k) {
        const std::uint32_t b = static_cast<std::uint32_t>(k / kPerBatch + 1) * 10;
        const std::uint32_t i = static_cast<std::uint32_t>(k % kPerBatch);
        ASSERT_EQ(history[k].hexid, b * 1000 + i) << k;
    }
    EXPECT_EQ(gf_pendingStopRequest(), nullptr);
}

TEST_F(MailboxThreads, DeliverySwitchRacesWithPosting) {
    std::atomic<bool> stop{false};
    std::thread poster([&] {
        std::vector<TrafficRecord> batch;
        while (!stop) {
            batch.resize(5);
            gf_postTrafficBatch(batch, 30, false);
        }
    });
    for (int i = 0; i < 2000; ++i) {
        gf_setTrafficDelivery(i % 2 == 0);
        gf_takeMailboxRecord();
    }
    stop = true;
    poster.join();
    // Switched off last: whatever is pending stays, nothing new is taken in.
    const auto before = gf_mailboxCounters().pending;
    std::vector<TrafficRecord> batch(3);
    gf_postTrafficBatch(batch, 30, false);
    EXPECT_EQ(gf_mailboxCounters().pending, before);
}
