// The window raises requests while the main loop takes them: both threads
// meet on the same flags and on the parking request record after a latch.

#include <latch>
#include <thread>

#include "command_fixture.h"

namespace tavo::test {
namespace {

using CommandThreadsTest = CommandTest;

TEST_F(CommandThreadsTest, EachRequestOfTheWindowIsTakenOnceByTheMainLoop) {
    std::atomic<bool>* const flags[] = {&g_removeAllStaticsRequested, &g_aircraftListRefreshRequested,
                                        &g_categoryOffLight, &g_liveMaximumChanged, &g_parkingPercentageChanged,
                                        &g_forgetFailedLiveriesRequested};
    int taken[std::size(flags)] = {};
    std::latch start(2);
    std::thread mainLoop([&] {
        start.arrive_and_wait();
        // Taken as the main loop takes them, until each came once (bounded).
        for (long round = 0; round < 50'000'000; ++round) {
            bool all = true;
            for (std::size_t i = 0; i < std::size(flags); ++i) {
                if (flags[i]->exchange(false)) ++taken[i];
                all = all && taken[i] > 0;
            }
            if (all) return;
            std::this_thread::yield();
        }
    });
    MAX_LIVE_SEL.fillCombo();
    MAX_PARK_SEL.fillCombo();
    MATCHING_DEPTH.fillCombo();
    start.arrive_and_wait();
    command(FlushButton.controlId);
    command(AircraftButton.controlId);
    command(LIGHT_AIRCRAFT.controlId);  // on -> off
    choose(MAX_LIVE_SEL.controlId, 3);
    choose(MAX_PARK_SEL.controlId, 3);
    choose(MATCHING_DEPTH.controlId, 6);
    mainLoop.join();
    for (std::size_t i = 0; i < std::size(flags); ++i) EXPECT_EQ(taken[i], 1) << i;
}

TEST_F(CommandThreadsTest, ParkRequestsMadeWhileTheMainLoopReplansAreAllCounted) {
    setUp = true;
    constexpr std::uint64_t kPresses = 200;
    std::latch start(2);
    std::atomic<bool> pressing{true};
    std::uint64_t replans = 0;
    std::thread mainLoop([&] {
        start.arrive_and_wait();
        // The fifteen-second step: copy the count, re-plan, raise the done count to the copy.
        for (;;) {
            const bool last = !pressing.load();
            std::uint64_t copied = 0;
            {
                std::lock_guard lock(g_parkingRequestMutex);
                if (g_parkingRequest.requestCount == g_parkingRequest.doneCount) {
                    if (last) return;
                    std::this_thread::yield();
                    continue;
                }
                copied = g_parkingRequest.requestCount;
            }
            ++replans;
            std::lock_guard lock(g_parkingRequestMutex);
            g_parkingRequest.doneCount = std::max(g_parkingRequest.doneCount, copied);
        }
    });
    start.arrive_and_wait();
    for (std::uint64_t i = 0; i < kPresses; ++i) command(ParkButton.controlId);
    pressing.store(false);
    mainLoop.join();
    EXPECT_EQ(g_parkingRequest.requestCount, kPresses);
    EXPECT_EQ(g_parkingRequest.doneCount, kPresses);
    EXPECT_GE(replans, 1u);
}

}  // namespace
}  // namespace tavo::test
