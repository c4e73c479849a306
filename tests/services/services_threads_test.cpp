#include <atomic>
#include <barrier>
#include <chrono>
#include <sstream>
#include <thread>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "gui_harness.h"
#include "services/gui.h"
#include "services/stop.h"
#include "support/temp_dir.h"

namespace {

using namespace std::chrono_literals;
using tavo::test::GuiHarness;

class StopThreadsTest : public ::testing::Test {
protected:
    void SetUp() override {
        gf_clearStopMailbox();
        g_exiting.store(false);
    }
    void TearDown() override { SetUp(); }
};

TEST_F(StopThreadsTest, FirstOfEightRacingRequestsIsKept) {
    for (int round = 0; round < 50; ++round) {
        gf_clearStopMailbox();
        std::barrier start(9);
        std::atomic<StopRequest*> firstSeen{nullptr};
        std::vector<std::jthread> posters;
        for (std::uint32_t reason = 1; reason <= 8; ++reason) {
            posters.emplace_back([&, reason] {
                start.arrive_and_wait();
                requestStop(reason == 4 ? 9 : reason, reason);  // 4 would set the exiting flag
                // Whatever this thread sees now must be the one request kept.
                StopRequest* seen = g_stopMailbox.load().get();
                StopRequest* expected = nullptr;
                if (!firstSeen.compare_exchange_strong(expected, seen)) {
                    EXPECT_EQ(expected, seen);
                }
            });
        }
        start.arrive_and_wait();
        posters.clear();
        auto kept = gf_pendingStopRequest();
        ASSERT_NE(kept, nullptr);
        EXPECT_EQ(kept.get(), firstSeen.load());
        EXPECT_EQ(kept->countdown, kept->reason == 9 ? 4u : kept->reason);
        EXPECT_FALSE(keepRunning());
    }
}

TEST_F(StopThreadsTest, WorkingLoopsLeaveOnARequestFromAnotherThread) {
    std::atomic<int> running{0};
    {
        std::vector<std::jthread> workers;
        for (int i = 0; i < 4; ++i) {
            workers.emplace_back([&] {
                ++running;
                while (keepRunning()) std::this_thread::sleep_for(1ms);
                --running;
            });
        }
        while (running.load() < 4) std::this_thread::sleep_for(1ms);
        std::jthread([] { requestStop(StopReason::TrafficMailboxStalled, 0); }).join();
    }
    EXPECT_EQ(running.load(), 0);
}

TEST_F(StopThreadsTest, SlotAssignmentStopsAndJoinsTheOldThread) {
    std::atomic<bool> firstStarted{false};
    std::atomic<bool> firstEnded{false};
    std::jthread slot([&](std::stop_token token) {
        firstStarted = true;
        while (!token.stop_requested()) std::this_thread::sleep_for(1ms);
        firstEnded = true;
    });
    while (!firstStarted) std::this_thread::sleep_for(1ms);
    slot = std::jthread([] {});
    EXPECT_TRUE(firstEnded.load());  // stopped and joined before the slot took the new thread
    gf_stopAndJoin(slot);
    EXPECT_FALSE(slot.joinable());
    gf_stopAndJoin(slot);  // an empty slot is left alone
}

using GuiThreadsTest = tavo::test::LogFileTest;

TEST_F(GuiThreadsTest, BurstFromFourThreadsGivesOneMessageOneRepaintInOrder) {
    GuiHarness h;
    h.open();  // this thread is the GUI thread; it is busy while the workers post
    h.backend->clearRecords();
    constexpr int kPerThread = 200;
    {
        std::vector<std::jthread> workers;
        for (int t = 0; t < 4; ++t) {
            workers.emplace_back([&h, t] {
                for (int i = 0; i < kPerThread; ++i) {
                    h.gui.enqueue(GuiUpdate::statusLine(fmt::format("w{} {}", t, i), true));
                }
                h.gui.enqueue(GuiUpdate::standCount(static_cast<std::uint64_t>(t)));  // mask 4
                if (t == 2) h.gui.enqueue(GuiUpdate::simulatorReady(true));        // mask 1
            });
        }
    }
    EXPECT_EQ(tavo::test::gf_countMessages(h.backend->postedMessages(), MSG_GUI_UPDATE), 1u);
    EXPECT_EQ(h.gui.queuedCount(), 4u * kPerThread + 5u);
    h.backend->pump();
    EXPECT_EQ(h.drains, 1);
    EXPECT_EQ(h.gui.repaintCount, 1u);
    const auto inv = h.backend->invalidations();
    ASSERT_EQ(inv.size(), 3u);  // header, parking band, bottom line
    EXPECT_EQ(inv[0].rect->top, 32);
    EXPECT_EQ(inv[1].rect->top, 640);
    EXPECT_EQ(inv[2].rect->top, 736);
    EXPECT_EQ(h.backend->paintedFrames().size(), 1u);

    // Every line reached the log once, and each thread's lines in its order.
    std::vector<int> next(4, 0);
    int total = 0;
    std::istringstream log(logText());
    for (std::string line; std::getline(log, line);) {
        int t = 0;
        int i = 0;
        if (std::sscanf(line.c_str(), "w%d %d", &t, &i) != 2) continue;
        ASSERT_GE(t, 0);
        ASSERT_LT(t, 4);
        EXPECT_EQ(i, next[t]) << line;
        next[t] = i + 1;
        ++total;
    }
    EXPECT_EQ(total, 4 * kPerThread);
}

TEST_F(GuiThreadsTest, RunningGuiThreadAppliesEverythingWhileWorkersPost) {
    GuiHarness h;
    std::atomic<bool> opened{false};
    std::jthread guiThread([&] {
        h.open();
        opened = true;
        gf_runMessageLoop();
    });
    while (!opened) std::this_thread::sleep_for(1ms);
    constexpr std::uint64_t kPerThread = 2000;
    // Each thread owns one counter; its last value must win.
    GuiUpdate (*const makers[4])(std::uint64_t) = {&GuiUpdate::liveriesCount, &GuiUpdate::simaddonCount,
                                                   &GuiUpdate::thirdpartyCount, &GuiUpdate::staticsWaiting};
    {
        std::vector<std::jthread> workers;
        for (auto make : makers) {
            workers.emplace_back([&h, make] {
                for (std::uint64_t i = 1; i <= kPerThread; ++i) h.gui.enqueue(make(i));
            });
        }
    }
    // Every item is now queued or applied; wait until the GUI thread has taken them all.
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (h.gui.queuedCount() != 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
    gf_postQuitMessage(0);
    guiThread.join();
    EXPECT_EQ(h.gui.queuedCount(), 0u);
    for (std::uint64_t count : {h.gui.liveriesCount, h.gui.simaddonCount, h.gui.thirdpartyCount, h.gui.staticsWaiting})
        EXPECT_EQ(count, kPerThread);
}

TEST_F(GuiThreadsTest, CloseWhileWorkersPostLeavesNothingQueued) {
    GuiHarness h;
    h.open();
    std::atomic<bool> stop{false};
    std::vector<std::jthread> workers;
    for (int t = 0; t < 4; ++t) {
        workers.emplace_back([&] {
            while (!stop) h.gui.enqueue(GuiUpdate::liveAircraftCount(1));
        });
    }
    std::this_thread::sleep_for(5ms);
    h.gui.close();
    EXPECT_EQ(h.gui.queuedCount(), 0u);
    std::this_thread::sleep_for(5ms);
    EXPECT_EQ(h.gui.queuedCount(), 0u);  // later items were dropped
    stop = true;
    workers.clear();
    EXPECT_FALSE(h.gui.drainPosted.load());
}

}  // namespace
