#include <algorithm>
#include <array>
#include <cstdint>
#include <numeric>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/random.h"
#include "settings/snapshot.h"

namespace {

void setRandom(bool on) {
    gf_updateSettings([on](SettingsSnapshot& s) { s.RANDOM = on ? 1 : 0; });
}

// Keeps the randomness switch as the test found it.
class RandomTest : public ::testing::Test {
protected:
    void SetUp() override { was_ = gf_randomnessEnabled(); }
    void TearDown() override { setRandom(was_); }
    bool was_ = true;
};

TEST_F(RandomTest, SwitchedOffEveryChoiceIsTheFirstAndNothingIsDrawn) {
    setRandom(false);
    const std::mt19937 before = threadRandomEngine().engine;
    for (std::uint64_t n : {0ull, 1ull, 2ull, 10ull, 1000000ull}) {
        EXPECT_EQ(gf_randomIndex(n), 0);
    }
    std::vector<std::uint16_t> values{5, 4, 3, 2, 1};
    gf_shuffle(values);
    EXPECT_EQ(values, (std::vector<std::uint16_t>{5, 4, 3, 2, 1}));
    EXPECT_TRUE(threadRandomEngine().engine == before);
}

TEST_F(RandomTest, SmallRangesDoNotDraw) {
    setRandom(true);
    const std::mt19937 before = threadRandomEngine().engine;
    EXPECT_EQ(gf_randomIndex(0), 0);
    EXPECT_EQ(gf_randomIndex(1), 0);
    EXPECT_EQ(gf_randomBelow(0), 0u);
    EXPECT_EQ(gf_randomBelow(1), 0u);
    std::vector<std::uint16_t> one{9};
    gf_shuffle(one);
    EXPECT_EQ(one, std::vector<std::uint16_t>{9});
    EXPECT_TRUE(threadRandomEngine().engine == before);
}

TEST_F(RandomTest, IndicesStayInRangeAndCoverIt) {
    setRandom(true);
    std::array<int, 7> hits{};
    for (int i = 0; i < 7000; ++i) {
        const std::int64_t k = gf_randomIndex(7);
        ASSERT_GE(k, 0);
        ASSERT_LT(k, 7);
        ++hits[static_cast<std::size_t>(k)];
    }
    for (const int h : hits) {
        EXPECT_GT(h, 800);  // 1000 expected; far outside chance to fall below
        EXPECT_LT(h, 1200);
    }
    // gf_randomBelow ignores the switch.
    setRandom(false);
    bool nonZero = false;
    for (int i = 0; i < 100 && !nonZero; ++i) {
        const std::uint64_t k = gf_randomBelow(1000);
        ASSERT_LT(k, 1000u);
        nonZero = k != 0;
    }
    EXPECT_TRUE(nonZero);
}

TEST_F(RandomTest, ShuffleIsAUniformPermutation) {
    setRandom(true);
    // Each of the 6 orders of three values appears about equally often.
    std::array<int, 6> orders{};
    for (int i = 0; i < 6000; ++i) {
        std::vector<std::uint16_t> v{0, 1, 2};
        gf_shuffle(v);
        std::vector<std::uint16_t> sorted = v;
        std::sort(sorted.begin(), sorted.end());
        ASSERT_EQ(sorted, (std::vector<std::uint16_t>{0, 1, 2}));
        ++orders[static_cast<std::size_t>(v[0] * 2 + (v[1] > v[2] ? 1 : 0))];
    }
    for (const int o : orders) {
        EXPECT_GT(o, 800);
        EXPECT_LT(o, 1200);
    }
}

TEST_F(RandomTest, RandomizeByPercentAlwaysDraws) {
    setRandom(false);
    bool sawUp = false;
    bool sawDown = false;
    for (int i = 0; i < 200; ++i) {
        const double v = gf_randomizeByPercent(200.0, 10.0);
        ASSERT_TRUE(v == 180.0 || v == 220.0) << v;
        sawUp = sawUp || v == 220.0;
        sawDown = sawDown || v == 180.0;
    }
    EXPECT_TRUE(sawUp);
    EXPECT_TRUE(sawDown);
    const std::mt19937 before = threadRandomEngine().engine;
    EXPECT_EQ(gf_randomizeByPercent(200.0, 0.0), 200.0);
    EXPECT_EQ(gf_randomizeByPercent(200.0, -5.0), 200.0);
    EXPECT_FALSE(threadRandomEngine().engine == before);  // both calls drew
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
    EXPECT_EQ(&threadRandomEngine(), &random);
}

}  // namespace
