// The special codes of livery matching are interned once, whichever thread
// asks first.

#include <gtest/gtest.h>

#include <latch>
#include <thread>
#include <vector>

#include "livery_matching_test_support.h"

namespace {

class LiveryMatchingThreads : public tavo::test::LiveryMatchingTest {};

TEST_F(LiveryMatchingThreads, FirstUsesOnSeveralThreadsAgreeOnTheSpecialCodes) {
    tavo::test::ScannedLiveriesBuilder b;
    b.livery("ZZZ", "B738", "Generic B738");
    build(b);
    setMatching(2, true);
    gf_resetLiveryMatchingForTest();  // the next match is the first use

    constexpr int kThreads = 4;
    std::latch start(kThreads);
    std::vector<std::string_view> titles(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            AcInfo ac = aircraft("PVT", "B738");
            start.arrive_and_wait();
            gf_matchLiveryParked(ac, stand("A1", false));
            titles[static_cast<std::size_t>(i)] = ac.liveryTitle;
        });
    }
    for (std::thread& t : threads) t.join();
    for (const std::string_view title : titles) EXPECT_EQ(title, "Generic B738");
}

}  // namespace
