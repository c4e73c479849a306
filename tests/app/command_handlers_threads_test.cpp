// The window raises requests while the main loop takes them: both threads
// meet on the same flags after a latch.

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

}  // namespace
}  // namespace tavo::test
