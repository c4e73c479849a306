#include <cstdint>

#include <gtest/gtest.h>

#include "foundation/random.h"

namespace {

// The randomness switch is the settings' (settings/random_choice.h): these
// draws never ask it.
TEST(RandomTest, RandomizeByPercentGoesEitherWay) {
    bool sawUp = false;
    bool sawDown = false;
    for (int i = 0; i < 200; ++i) {
        const double v = gf_randomizeByPercent(200.0, 10.0);
        ASSERT_TRUE(v == 180.0 || v == 220.0) << v;
        sawUp = sawUp || v == 220.0;
        sawDown = sawDown || v == 180.0;
    }
    EXPECT_TRUE(sawUp && sawDown);
    EXPECT_EQ(gf_randomizeByPercent(200.0, 0.0), 200.0);
}

TEST(ThreadRandomEngineTest, UpToCoversBothEnds) {
    ThreadRandomEngine& random = threadRandomEngine();
    bool low = false;
    bool high = false;
    for (int i = 0; i < 1000; ++i) {
        const std::uint64_t k = random.upTo(3);
        ASSERT_LE(k, 3u);
        low = low || k == 0;
        high = high || k == 3;
    }
    EXPECT_TRUE(low && high);
    EXPECT_EQ(random.upTo(0), 0u);
}

}  // namespace
