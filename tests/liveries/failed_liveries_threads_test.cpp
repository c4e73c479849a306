// The failed-livery registry and the no-match set under failures reported
// from several threads at once.

#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>

#include "foundation/text.h"
#include "liveries/failed_liveries.h"
#include "services/gui.h"
#include "services/stop.h"

namespace {

constexpr int kThreads = 4;

// Runs body(thread index) on kThreads threads released together.
template <typename Body>
void lf_runTogether(Body body) {
    std::barrier start(kThreads);
    std::vector<std::jthread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            body(t);
        });
}

TEST(FailedLiveriesThreads, ExactlyTheFailuresFromTheTwentiethOnEndTheRun) {
    // No window here: the status lines would only pile up in the queue.
    requestStop(StopReason::NewFlight, 0);
    constexpr int kPerThread = 10;
    for (int round = 0; round < 200; ++round) {
        gf_forgetFailedLiveries();
        std::atomic<int> thrown{0};
        lf_runTogether([&](int t) {
            for (int i = 0; i < kPerThread; ++i) {
                try {
                    gf_registerFailedLivery("CS", fmt::format("Title {}-{}", t, i), AcKey{});
                } catch (const tavo::UserRelatedException& e) {
                    if (e.code == 81) thrown.fetch_add(1);
                }
            }
        });
        // Forty distinct titles: the twentieth to the fortieth each end the run.
        ASSERT_EQ(thrown.load(), kThreads * kPerThread - 19) << "round " << round;
        ASSERT_EQ(gf_failedLiveryCount(), static_cast<std::size_t>(kThreads * kPerThread));
    }
    gf_forgetFailedLiveries();
    gf_clearStopMailbox();
}

TEST(FailedLiveriesThreads, EachNoMatchTextIsNewForExactlyOneAdder) {
    constexpr int kTexts = 500;
    for (int round = 0; round < 20; ++round) {
        gf_clearNoMatchList();
        std::atomic<int> added{0};
        lf_runTogether([&](int t) {
            for (int i = 0; i < kTexts; ++i) {
                // Every thread adds every text, each starting at another place.
                if (gf_addNoMatch(fmt::format("KEY REG{}", (i + t * 127) % kTexts))) added.fetch_add(1);
                if (i % 100 == 0) gf_logNoMatchList();
            }
        });
        ASSERT_EQ(added.load(), kTexts) << "round " << round;
        ASSERT_EQ(gf_noMatchCount(), static_cast<std::size_t>(kTexts));
    }
    gf_clearNoMatchList();
}

}  // namespace
