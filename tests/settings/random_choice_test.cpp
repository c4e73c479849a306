#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "settings/random_choice.h"
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
    for (std::uint64_t n : {0ull, 1ull, 2ull, 1000000ull}) EXPECT_EQ(gf_randomIndex(n), 0);
    std::vector<std::uint16_t> values{5, 4, 3, 2, 1};
    gf_shuffle(values);
    EXPECT_EQ(values, (std::vector<std::uint16_t>{5, 4, 3, 2, 1}));
    EXPECT_TRUE(threadRandomEngine().engine == before);
    // gf_randomBelow ignores the switch.
    bool nonZero = false;
    for (int i = 0; i < 100 && !nonZero; ++i) {
        const std::uint64_t k = gf_randomBelow(1000);
        ASSERT_LT(k, 1000u);
        nonZero = k != 0;
    }
    EXPECT_TRUE(nonZero);
}

TEST_F(RandomTest, IndicesAndShufflesAreUniform) {
    setRandom(true);
    std::array<int, 7> hits{};
    for (int i = 0; i < 7000; ++i) {
        const std::int64_t k = gf_randomIndex(7);
        ASSERT_TRUE(k >= 0 && k < 7) << k;
        ++hits[static_cast<std::size_t>(k)];
    }
    for (const int h : hits) EXPECT_TRUE(h > 800 && h < 1200) << h;  // 1000 expected
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
    for (const int o : orders) EXPECT_TRUE(o > 800 && o < 1200) << o;
}

}  // namespace
