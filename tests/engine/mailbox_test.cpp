#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "app/stop.h"
#include "engine/engine_state.h"
#include "engine/mailbox.h"

namespace {

std::vector<TrafficRecord> lf_batch(std::size_t count, std::uint32_t firstHexid = 1) {
    std::vector<TrafficRecord> batch(count);
    for (std::size_t i = 0; i < count; ++i) {
        batch[i].hexid = firstHexid + static_cast<std::uint32_t>(i);
        batch[i].time = 1000.0;
    }
    return batch;
}

std::atomic<std::int64_t> l_nowNs{0};

class Mailbox : public ::testing::Test {
protected:
    void SetUp() override {
        gf_clearStopMailbox();
        l_nowNs = 0;
        gf_setMailboxClock([] { return l_nowNs.load(); });
        gf_resetTrafficMailbox();
        gf_setTrafficDelivery(true);
        tickCount = 0;
    }
    void TearDown() override {
        gf_setTrafficDelivery(false);
        gf_resetTrafficMailbox();
        gf_setMailboxClock({});
        gf_clearStopMailbox();
        tickCount = 0;
    }
    static void atSeconds(std::int64_t s) { l_nowNs = s * 1'000'000'000; }
    static std::vector<std::uint32_t> takeTick() {
        std::vector<std::uint32_t> taken;
        gf_takeMailboxRecords([&](const TrafficRecord& r) { taken.push_back(r.hexid); });
        return taken;
    }
};

}  // namespace

TEST_F(Mailbox, SecondLiveBatchReplacesTheFirst) {
    auto first = lf_batch(3, 100);
    gf_postTrafficBatch(first, 30, true);
    EXPECT_TRUE(first.empty());
    auto second = lf_batch(2, 200);
    gf_postTrafficBatch(second, 30, true);
    EXPECT_TRUE(second.empty());
    const auto c = gf_mailboxCounters();
    EXPECT_EQ(c.pending, 2u);
    EXPECT_EQ(c.batchesReplaced, 1u);
    EXPECT_TRUE(c.watchStarted);
    EXPECT_EQ(takeTick(), (std::vector<std::uint32_t>{201, 200}));
}

TEST_F(Mailbox, TakesTwoPerTickFromTheEnd) {
    auto batch = lf_batch(5, 1);
    gf_postTrafficBatch(batch, 30, true);
    EXPECT_EQ(takeTick(), (std::vector<std::uint32_t>{5, 4}));
    EXPECT_EQ(takeTick(), (std::vector<std::uint32_t>{3, 2}));
    EXPECT_EQ(takeTick(), (std::vector<std::uint32_t>{1}));
    EXPECT_TRUE(takeTick().empty());
}

TEST_F(Mailbox, LiveBatchesAreStampedFromTheTickCount) {
    tickCount = 500;
    auto batch = lf_batch(3);
    batch[0].time = 99.0;
    batch[1].time = 100.0;
    batch[2].time = 100.25;
    gf_postTrafficBatch(batch, 30, false);
    auto last = gf_takeMailboxRecord();
    ASSERT_TRUE(last);
    EXPECT_EQ(last->point.playTick, 3500 + 25);
    EXPECT_EQ(gf_takeMailboxRecord()->point.playTick, 3500);
    EXPECT_EQ(gf_takeMailboxRecord()->point.playTick, 3500 - 100);
}

TEST_F(Mailbox, DisabledDeliveryDropsLiveBatches) {
    auto kept = lf_batch(2, 10);
    gf_postTrafficBatch(kept, 30, true);
    gf_setTrafficDelivery(false);
    EXPECT_FALSE(gf_isTrafficDeliveryEnabled());
    auto dropped = lf_batch(4, 20);
    gf_postTrafficBatch(dropped, 30, true);
    EXPECT_TRUE(dropped.empty());
    const auto c = gf_mailboxCounters();
    EXPECT_EQ(c.pending, 2u);
    EXPECT_EQ(c.batchesReplaced, 0u);
}

TEST_F(Mailbox, HistoryIsNeverPendingAndComesOutInOrder) {
    tickCount = 100;
    auto live = lf_batch(1, 900);
    gf_postTrafficBatch(live, 30, true);
    for (std::uint32_t n = 0; n < 3; ++n) {
        auto history = lf_batch(2, 10 * (n + 1));
        gf_postTrafficBatch(history, 6 * n, true);
        EXPECT_TRUE(history.empty());
    }
    // History arrives even while live delivery is off.
    gf_setTrafficDelivery(false);
    auto late = lf_batch(1, 50);
    gf_postTrafficBatch(late, 24, false);

    auto c = gf_mailboxCounters();
    EXPECT_EQ(c.pending, 1u);
    EXPECT_EQ(c.history, 7u);
    EXPECT_EQ(c.batchesReplaced, 0u);
    EXPECT_FALSE(c.watchStarted);

    std::vector<TrafficRecord> out;
    gf_takeHistoryRecords(out);
    ASSERT_EQ(out.size(), 7u);
    const std::uint32_t expected[] = {10, 11, 20, 21, 30, 31, 50};
    for (std::size_t i = 0; i < out.size(); ++i) EXPECT_EQ(out[i].hexid, expected[i]);
    EXPECT_EQ(out[0].point.playTick, 100);
    EXPECT_EQ(out[2].point.playTick, 700);
    EXPECT_EQ(out[4].point.playTick, 1300);
    EXPECT_EQ(out[6].point.playTick, 2500);
    EXPECT_EQ(gf_mailboxCounters().history, 0u);
    EXPECT_EQ(gf_mailboxCounters().pending, 1u);
}

TEST_F(Mailbox, StallWatchFiresOnceAfter60SecondsWithoutATake) {
    for (std::int64_t s = 0; s <= 60; ++s) {
        atSeconds(s);
        auto batch = lf_batch(3);
        gf_postTrafficBatch(batch, 30, true);
        EXPECT_TRUE(batch.empty());
        // The watch starts with the second batch (t = 1) and fires at t = 61.
        EXPECT_EQ(gf_pendingStopRequest(), nullptr) << s;
    }
    atSeconds(61);
    auto firing = lf_batch(4);
    gf_postTrafficBatch(firing, 30, true);
    auto request = gf_pendingStopRequest();
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(request->reason, static_cast<std::uint32_t>(StopReason::TrafficMailboxStalled));
    EXPECT_EQ(request->countdown, 0u);
    auto c = gf_mailboxCounters();
    EXPECT_TRUE(c.stalled);
    EXPECT_TRUE(c.shutdownRequested);
    EXPECT_EQ(c.pending, 0u);
    EXPECT_EQ(c.batchesReplaced, 61u);
    EXPECT_FALSE(gf_isTrafficDeliveryEnabled());

    // Later batches are dropped; enabling delivery does not help until the reset.
    gf_clearStopMailbox();
    auto later = lf_batch(2);
    gf_postTrafficBatch(later, 30, true);
    EXPECT_TRUE(later.empty());
    EXPECT_EQ(gf_mailboxCounters().pending, 0u);
    gf_setTrafficDelivery(true);
    EXPECT_FALSE(gf_isTrafficDeliveryEnabled());
    EXPECT_EQ(gf_pendingStopRequest(), nullptr);

    gf_resetTrafficMailbox();
    gf_setTrafficDelivery(true);
    EXPECT_TRUE(gf_isTrafficDeliveryEnabled());
    EXPECT_FALSE(gf_mailboxCounters().shutdownRequested);
}

TEST_F(Mailbox, TakesKeepASlowEngineFromStalling) {
    for (std::int64_t s = 0; s <= 300; ++s) {
        atSeconds(s);
        auto batch = lf_batch(50);
        gf_postTrafficBatch(batch, 30, true);
        if (s % 30 == 29) takeTick();  // one tick every 30 s
    }
    EXPECT_EQ(gf_pendingStopRequest(), nullptr);
    EXPECT_FALSE(gf_mailboxCounters().stalled);
    EXPECT_TRUE(gf_isTrafficDeliveryEnabled());
}

TEST_F(Mailbox, DeliverySwitchAndEmptyPendingResetTheWatch) {
    auto a = lf_batch(2);
    gf_postTrafficBatch(a, 30, true);
    atSeconds(1);
    auto b = lf_batch(2);
    gf_postTrafficBatch(b, 30, true);
    EXPECT_TRUE(gf_mailboxCounters().watchStarted);
    gf_setTrafficDelivery(true);
    auto c = gf_mailboxCounters();
    EXPECT_FALSE(c.watchStarted);
    EXPECT_EQ(c.batchesReplaced, 0u);

    atSeconds(2);
    auto d = lf_batch(1);
    gf_postTrafficBatch(d, 30, true);
    EXPECT_TRUE(gf_mailboxCounters().watchStarted);
    takeTick();
    takeTick();
    atSeconds(100);
    auto e = lf_batch(1);
    gf_postTrafficBatch(e, 30, true);  // finds pending empty
    c = gf_mailboxCounters();
    EXPECT_FALSE(c.watchStarted);
    EXPECT_EQ(c.pending, 1u);
}

TEST_F(Mailbox, EmptyBatchChangesNothing) {
    std::vector<TrafficRecord> empty;
    gf_postTrafficBatch(empty, 30, true);
    gf_postTrafficBatch(empty, 12, true);
    const auto c = gf_mailboxCounters();
    EXPECT_EQ(c.pending, 0u);
    EXPECT_EQ(c.history, 0u);
}
