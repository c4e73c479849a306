#include <cstdint>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/random.h"

namespace {

// Threads started together get engines of their own, seeded apart.
TEST(RandomThreadsTest, EachThreadHasItsOwnEngine) {
    constexpr int kThreads = 4;
    std::vector<std::vector<std::uint32_t>> draws(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &draws] {
            for (int i = 0; i < 8; ++i) {
                draws[static_cast<std::size_t>(t)].push_back(threadRandomEngine().next());
            }
            (void)gf_randomBelow(10);
        });
    }
    for (auto& th : threads) th.join();
    for (int a = 0; a < kThreads; ++a) {
        for (int b = a + 1; b < kThreads; ++b) {
            EXPECT_NE(draws[static_cast<std::size_t>(a)], draws[static_cast<std::size_t>(b)]);
        }
    }
}

}  // namespace
