// Tick arithmetic saturates instead of wrapping: counts from far points and
// zero speeds, sums near the end of the range, and signed differences.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "motion/tick_math.h"

namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(TickMath, CountsAreRoundedSaturatedAndNeverBelowTheMinimum) {
    struct Row {
        double count;
        std::int32_t expected;
    };
    const Row rows[] = {{0.0, 25},       {24.4, 25},          {25.4, 25},          {25.5, 26},
                        {1e9, 1'000'000'000}, {2147483646.4, kMax - 1}, {2147483647.4, kMax}, {2147483647.5, kMax},
                        {3.6e9, kMax},   {1e300, kMax},       {kInf, kMax},        {-1e300, 25},
                        {-kInf, 25},     {kNaN, 25}};
    for (const Row& r : rows) EXPECT_EQ(gf_ticksFromCount(r.count, 25), r.expected) << r.count;
}

TEST(TickMath, LegTicksOfFarPointsAndZeroSpeedsSaturate) {
    EXPECT_EQ(gf_legTicks(0.1, 360.0, 25), 100);
    EXPECT_EQ(gf_legTicks(0.001, 360.0, 25), 25);
    // A point a million miles away: 3.6e9 ticks at 100 kt, infinity at 0 kt.
    EXPECT_EQ(gf_legTicks(1e6, 100.0, 25), kMax);
    EXPECT_EQ(gf_legTicks(1e6, 0.0, 25), kMax);
    EXPECT_EQ(gf_legTicks(1e6, -0.0, 25), 25);
    EXPECT_EQ(gf_legTicks(0.0, 0.0, 25), 25);
    EXPECT_EQ(gf_legTicks(kNaN, 100.0, 25), 25);
    EXPECT_EQ(gf_legTicks(1.0, kInf, 25), 25);
    EXPECT_EQ(gf_legTicks(kInf, 100.0, 25), 25);
}

TEST(TickMath, SumsAndDifferencesSaturate) {
    EXPECT_EQ(gf_tickPlus(100, 300), 400);
    EXPECT_EQ(gf_tickPlus(kMax - 5, 300), kMax);
    EXPECT_EQ(gf_tickPlus(kMin + 5, -300), kMin);
    EXPECT_EQ(gf_tickPlus(0, std::numeric_limits<std::int64_t>::max()), kMax);
    EXPECT_EQ(gf_tickPlus(-1, std::numeric_limits<std::int64_t>::min()), kMin);
    EXPECT_EQ(gf_ticksBetween(100, 40), -60);
    EXPECT_EQ(gf_ticksBetween(kMin, kMax), kMax);
    EXPECT_EQ(gf_ticksBetween(kMax, kMin), kMin);
    EXPECT_DOUBLE_EQ(gf_speedKtOver(0.05, 200.0), 90.0);
}

}  // namespace
