#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "engine/engine_state.h"
#include "engine/mailbox.h"
#include "services/stop.h"

namespace {

std::vector<TrafficRecord> lf_batch(std::size_t count, std::uint32_t firstHexid = 1) {
    std::vector<TrafficRecord> batch(count);
    for (std::size_t i = 0; i < count; ++i) {
        batch[i].hexid = firstHexid + static_cast<std::uint32_t>(i);
        batch[i].time = 1000.0;
    }
    return batch;
}

void lf_post(std::size_t count, std::uint32_t firstHexid = 1, std::uint32_t delay = 30) {
    auto batch = lf_batch(count, firstHexid);
    gf_postTrafficBatch(batch, delay, true);
    EXPECT_TRUE(batch.empty()) << "the mailbox takes every batch it is given";
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

TEST_F(Mailbox, NewLiveBatchReplacesThePendingOneAndTakesAreTwoPerTickFromTheEnd) {
    lf_post(3, 100);
    lf_post(5, 1);
    const auto c = gf_mailboxCounters();
    EXPECT_EQ(c.pending, 5u);
    EXPECT_EQ(c.batchesReplaced, 1u);
    EXPECT_TRUE(c.watchStarted);
    EXPECT_EQ(takeTick(), (std::vector<std::uint32_t>{5, 4}));
    EXPECT_EQ(takeTick(), (std::vector<std::uint32_t>{3, 2}));
    EXPECT_EQ(takeTick(), (std::vector<std::uint32_t>{1}));
    EXPECT_TRUE(takeTick().empty());
    std::vector<TrafficRecord> empty;
    gf_postTrafficBatch(empty, 30, true);
    EXPECT_EQ(gf_mailboxCounters().pending, 0u);
}

TEST_F(Mailbox, LiveBatchesAreStampedFromTheTickCount) {
    tickCount = 500;
    auto batch = lf_batch(3);
    batch[0].time = 99.0;
    batch[1].time = 100.0;
    batch[2].time = 100.25;
    gf_postTrafficBatch(batch, 30, false);
    EXPECT_EQ(gf_takeMailboxRecord()->point.playTick, 3500 + 25);
    EXPECT_EQ(gf_takeMailboxRecord()->point.playTick, 3500);
    EXPECT_EQ(gf_takeMailboxRecord()->point.playTick, 3500 - 100);
}

TEST_F(Mailbox, HistoryIsNeverPendingAndComesOutInOrderEvenWithDeliveryOff) {
    tickCount = 100;
    lf_post(1, 900);
    for (std::uint32_t n = 0; n < 3; ++n) lf_post(2, 10 * (n + 1), 6 * n);
    gf_setTrafficDelivery(false);
    lf_post(1, 50, 24);
    lf_post(4, 60);  // live while switched off: dropped

    auto c = gf_mailboxCounters();
    EXPECT_EQ(c.pending, 1u);
    EXPECT_EQ(c.history, 7u);
    EXPECT_EQ(c.batchesReplaced, 0u);
    EXPECT_FALSE(c.watchStarted);

    std::vector<TrafficRecord> out;
    gf_takeHistoryRecords(out);
    std::vector<std::uint32_t> hexids;
    for (const auto& r : out) hexids.push_back(r.hexid);
    EXPECT_EQ(hexids, (std::vector<std::uint32_t>{10, 11, 20, 21, 30, 31, 50}));
    ASSERT_EQ(out.size(), 7u);
    EXPECT_EQ(out[0].point.playTick, 100);
    EXPECT_EQ(out[2].point.playTick, 700);
    EXPECT_EQ(out[6].point.playTick, 2500);
    EXPECT_EQ(gf_mailboxCounters().history, 0u);
}

TEST_F(Mailbox, HistoryStampedWhileTheEngineStoodStillPlaysAsIfItsClockHadRun) {
    // Two buffers at tick 100: the first taken 12.34 s later with the engine
    // standing (the start path's waits), the second after the engine ticked.
    tickCount = 100;
    atSeconds(5);
    lf_post(2, 10, 6);
    l_nowNs = 17'340'000'000;
    std::vector<TrafficRecord> out;
    gf_takeHistoryRecords(out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].point.playTick, 100 + 600 - 1234);
    EXPECT_EQ(out[1].point.playTick, 100 + 600 - 1234);

    lf_post(1, 20, 12);
    ++tickCount;
    atSeconds(30);
    out.clear();
    gf_takeHistoryRecords(out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].point.playTick, 100 + 1200);
}

TEST_F(Mailbox, LiveBatchesWhileTheStartPathWaitsAreKeptInOrderAndPlayAtTheirOwnTime) {
    // Delivery off: dropped unless the start path asked to keep them; kept,
    // they join the history in order, stamped as live ones (30 s on), up to
    // about two minutes of them; the delivery switch ends the keeping.
    tickCount = 100;
    gf_setTrafficDelivery(false);
    lf_post(1, 10);  // not asked for: dropped
    gf_keepLiveTrafficWhileStarting();
    lf_post(2, 20);
    lf_post(1, 30, 24);  // the buffer
    lf_post(1, 40);
    std::vector<TrafficRecord> out;
    gf_takeHistoryRecords(out);
    std::vector<std::uint32_t> hexids;
    for (const auto& r : out) hexids.push_back(r.hexid);
    EXPECT_EQ(hexids, (std::vector<std::uint32_t>{20, 21, 30, 40}));
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0].point.playTick, 100 + 3000);
    EXPECT_EQ(out[2].point.playTick, 100 + 2400);
    EXPECT_EQ(gf_mailboxCounters().pending, 0u);

    for (std::uint32_t n = 0; n < 130; ++n) lf_post(1, 1000 + n);
    out.clear();
    gf_takeHistoryRecords(out);
    ASSERT_EQ(out.size(), 120u - 2u);
    EXPECT_EQ(out.back().hexid, 1000u + 117u);

    gf_setTrafficDelivery(true);
    gf_setTrafficDelivery(false);
    lf_post(1, 50);
    out.clear();
    gf_takeHistoryRecords(out);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(gf_mailboxCounters().pending, 0u);
}

TEST_F(Mailbox, StallWatchFiresOnceAfter60SecondsWithoutATake) {
    for (std::int64_t s = 0; s <= 60; ++s) {
        atSeconds(s);
        lf_post(3);
        // The watch starts with the second batch (t = 1) and fires at t = 61.
        EXPECT_EQ(gf_pendingStopRequest(), nullptr) << s;
    }
    atSeconds(61);
    lf_post(4);
    auto request = gf_pendingStopRequest();
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(request->reason, static_cast<std::uint32_t>(StopReason::TrafficMailboxStalled));
    EXPECT_EQ(request->countdown, 0u);
    auto c = gf_mailboxCounters();
    EXPECT_TRUE(c.stalled);
    EXPECT_EQ(c.pending, 0u);
    EXPECT_EQ(c.batchesReplaced, 61u);
    EXPECT_FALSE(gf_isTrafficDeliveryEnabled());

    // Later batches are dropped and no second stop is asked for; enabling
    // delivery does not help until the reset.
    gf_clearStopMailbox();
    lf_post(2);
    EXPECT_EQ(gf_mailboxCounters().pending, 0u);
    gf_setTrafficDelivery(true);
    EXPECT_FALSE(gf_isTrafficDeliveryEnabled());
    EXPECT_EQ(gf_pendingStopRequest(), nullptr);

    gf_resetTrafficMailbox();
    gf_setTrafficDelivery(true);
    EXPECT_TRUE(gf_isTrafficDeliveryEnabled());
}

TEST_F(Mailbox, TakesKeepASlowEngineFromStalling) {
    for (std::int64_t s = 0; s <= 300; ++s) {
        atSeconds(s);
        lf_post(50);
        if (s % 30 == 29) takeTick();  // one tick every 30 s
    }
    EXPECT_EQ(gf_pendingStopRequest(), nullptr);
    EXPECT_FALSE(gf_mailboxCounters().stalled);
}

TEST_F(Mailbox, DeliverySwitchAndEmptyPendingResetTheWatch) {
    lf_post(2);
    atSeconds(1);
    lf_post(2);
    EXPECT_TRUE(gf_mailboxCounters().watchStarted);
    gf_setTrafficDelivery(true);
    auto c = gf_mailboxCounters();
    EXPECT_FALSE(c.watchStarted);
    EXPECT_EQ(c.batchesReplaced, 0u);

    atSeconds(2);
    lf_post(1);
    EXPECT_TRUE(gf_mailboxCounters().watchStarted);
    takeTick();
    atSeconds(100);
    lf_post(1);  // finds pending empty
    c = gf_mailboxCounters();
    EXPECT_FALSE(c.watchStarted);
    EXPECT_EQ(c.pending, 1u);
}
