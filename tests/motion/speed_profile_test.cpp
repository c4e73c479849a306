// Speed profiles: the worked legs, refusals with a cleared profile, the
// parameter of odd times, and seeded generated legs that never run backwards
// and cover their distance in their time.

#include <cmath>
#include <limits>
#include <random>

#include <gtest/gtest.h>

#include "motion/speed_profile.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

bool lf_cleared(const SpeedProfile& p) {
    return p.distance == 0 && p.duration == 0 && p.startSpeed == 0 && p.endSpeed == 0 && p.valid == 0;
}

// Distance covered, integrated from the speeds the profile reports.
double lf_integrated(const SpeedProfile& p, int steps) {
    double sum = 0.0;
    for (int i = 0; i < steps; ++i) {
        const double t = (i + 0.5) / steps * p.duration;
        sum += gf_speedProfileSpeedAt(p, t) * p.duration / steps;
    }
    return sum;
}

TEST(SpeedProfile, WorkedLegs) {
    struct Case {
        const char* name;
        double D, T, Va, Vb;
        bool made;
        double start, end, lowest, highest, extremum;
        bool bounded;  // with vmax 1000
    };
    const Case cases[] = {
        {"10 to 10: linear", 100, 10, 10, 10, true, 10, 10, 10, 10, -1, true},
        {"40 to 0: start limited to 30", 100, 10, 40, 0, true, 30, 0, 0, 30, 1, false},
        {"0 to 0: peaks at 15 in the middle", 100, 10, 0, 0, true, 0, 0, 0, 15, 0.5, true},
        {"negative speeds count as 0", 100, 10, -5, -5, true, 0, 0, 0, 15, 0.5, false},
    };
    for (const auto& c : cases) {
        SpeedProfile p;
        EXPECT_EQ(gf_makeSpeedProfile(p, c.D, c.T, c.Va, c.Vb), c.made) << c.name;
        EXPECT_DOUBLE_EQ(p.startSpeed, c.start) << c.name;
        EXPECT_NEAR(p.endSpeed, c.end, 1e-12) << c.name;
        EXPECT_NEAR(gf_speedProfileMinSpeed(p), c.lowest, 1e-12) << c.name;
        EXPECT_NEAR(gf_speedProfileMaxSpeed(p), c.highest, 1e-12) << c.name;
        EXPECT_NEAR(gf_speedProfileExtremum(p), c.extremum, 1e-12) << c.name;
        SpeedProfile b;
        EXPECT_EQ(gf_makeBoundedSpeedProfile(b, c.D, c.T, c.Va, c.Vb, 1000), c.bounded) << c.name;
        EXPECT_EQ(lf_cleared(b), !c.bounded) << c.name;
    }
    SpeedProfile p;
    ASSERT_TRUE(gf_makeSpeedProfile(p, 100, 10, 0, 0));
    EXPECT_DOUBLE_EQ(gf_speedProfileSpeedAt(p, 5), 15);
    EXPECT_DOUBLE_EQ(gf_speedProfileSpeedAt(p, 0), 0);
    EXPECT_DOUBLE_EQ(gf_speedProfileSpeedAt(p, 2.5), 11.25);
}

TEST(SpeedProfile, BoundedMakerLimits) {
    SpeedProfile p;
    // 0 to 0 peaks at 15 and brakes to the end: refused under 14, and the
    // fallback's even acceleration to 20 is faster still.
    EXPECT_FALSE(gf_makeBoundedSpeedProfile(p, 100, 10, 0, 0, 14));
    EXPECT_TRUE(lf_cleared(p));
    // With room for it, the even acceleration is taken.
    ASSERT_TRUE(gf_makeBoundedSpeedProfile(p, 100, 10, 0, 0, 20));
    EXPECT_DOUBLE_EQ(p.endSpeed, 20);
    EXPECT_DOUBLE_EQ(gf_speedProfileMaxSpeed(p), 20);
    EXPECT_FALSE(gf_makeBoundedSpeedProfile(p, 100, 10, 0, 0, 19.9));
    // A first try within every bound is kept as wanted.
    ASSERT_TRUE(gf_makeBoundedSpeedProfile(p, 100, 10, 8, 12, 12));
    EXPECT_DOUBLE_EQ(p.startSpeed, 8);
    EXPECT_DOUBLE_EQ(p.endSpeed, 12);
    // 5 wanting 0 at the end would brake; the fallback accelerates evenly to 15.
    ASSERT_TRUE(gf_makeBoundedSpeedProfile(p, 100, 10, 5, 0, 100));
    EXPECT_DOUBLE_EQ(p.startSpeed, 5);
    EXPECT_DOUBLE_EQ(p.endSpeed, 15);
    EXPECT_DOUBLE_EQ(gf_speedProfileMaxSpeed(p), 15);
    // A non-finite end speed goes straight to the fallback.
    ASSERT_TRUE(gf_makeBoundedSpeedProfile(p, 100, 10, 10, kNaN, 100));
    EXPECT_DOUBLE_EQ(p.endSpeed, 10);
    // 12 is above the mean of 10 and would brake to reach 0.
    EXPECT_FALSE(gf_makeBoundedSpeedProfile(p, 100, 10, 12, 0, 100));
    struct Bad {
        double D, T, Va, Vb, vmax;
    };
    const Bad bad[] = {{100, 10, 10, 10, 0},   {100, 10, 10, 10, kNaN}, {0, 10, 10, 10, 20},
                       {-1, 10, 10, 10, 20},   {kInf, 10, 10, 10, 20},  {100, 0, 10, 10, 20},
                       {100, kNaN, 10, 10, 20}, {100, 10, kNaN, 10, 20}, {100, 10, -1, 10, 20},
                       // No time or time running backwards: the fallback would run backwards.
                       {1e-12, -1, 0, 0, 1},    {100, -10, 0, 0, 20},    {100, -kInf, 0, 0, 20},
                       // Speed ratios that overflow.
                       {1e-300, 1e10, 1, 1, 1}, {1e-200, 1, 1e200, 0, 1e300}, {1e-320, 1e5, 0, 0, 1e300}};
    for (const auto& b : bad) {
        p = SpeedProfile{1, 1, 1, 1, 1};
        EXPECT_FALSE(gf_makeBoundedSpeedProfile(p, b.D, b.T, b.Va, b.Vb, b.vmax)) << b.D << " " << b.T;
        EXPECT_TRUE(lf_cleared(p));
    }
}

TEST(SpeedProfile, RefusedInputClears) {
    struct Bad {
        double D, T, Va, Vb;
    };
    const Bad bad[] = {{100, 0, 10, 10},    {-100, 10, 10, 10}, {0, 10, 10, 10},   {100, 10, kNaN, 10},
                       {100, 10, 10, kInf}, {kNaN, 10, 10, 10}, {100, kInf, 10, 10},
                       // A mean speed that underflows or a speed far above it: the
                       // ratios overflow and the speeds would be NaN.
                       {1e-300, 1e10, 1, 1}, {1e-200, 1, 1e200, 0}, {1e-320, 1e5, 0, 0}};
    for (const auto& b : bad) {
        SpeedProfile p{1, 1, 1, 1, 1};
        EXPECT_FALSE(gf_makeSpeedProfile(p, b.D, b.T, b.Va, b.Vb));
        EXPECT_TRUE(lf_cleared(p));
        EXPECT_EQ(gf_speedProfileSpeedAt(p, 0.5), 0);
        EXPECT_EQ(gf_speedProfileMinSpeed(p), 0);
        EXPECT_EQ(gf_speedProfileMaxSpeed(p), 0);
    }
}

TEST(SpeedProfile, ParameterOfOddTimes) {
    SpeedProfile p;
    ASSERT_TRUE(gf_makeSpeedProfile(p, 100, 10, 10, 10));
    struct Case {
        double t, s;
    };
    const Case cases[] = {{5, 0.5}, {-3, 0}, {12, 1}, {kInf, 1}, {-kInf, 0}, {kNaN, 0}};
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(gf_speedProfileParameter(p, c.t), c.s) << c.t;
}

// Generated legs: a valid profile never runs backwards, covers D in T, keeps
// its reported extremes, and the bounded one keeps within vmax.
TEST(SpeedProfile, GeneratedLegs) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    int bounded = 0;
    for (int i = 0; i < 4000; ++i) {
        const double D = 1 + 500 * unit(rng);
        const double T = 1 + 60 * unit(rng);
        const double mean = D / T;
        const double Va = mean * (4 * unit(rng) - 0.5);
        const double Vb = mean * (4 * unit(rng) - 0.5);
        SpeedProfile p;
        ASSERT_TRUE(gf_makeSpeedProfile(p, D, T, Va, Vb));
        const double lowest = gf_speedProfileMinSpeed(p);
        const double highest = gf_speedProfileMaxSpeed(p);
        EXPECT_GE(lowest, 0.0);
        for (int k = 0; k <= 100; ++k) {
            const double v = gf_speedProfileSpeedAt(p, T * k / 100);
            EXPECT_GE(v, lowest - 1e-9 * mean);
            EXPECT_LE(v, highest + 1e-9 * mean);
        }
        // The raw cubic never dips below 0: the profile never runs backwards.
        const double s = gf_speedProfileExtremum(p);
        if (s > 0 && s < 1) {
            const double raw = (D * (6 * s - 6 * s * s) + T * p.startSpeed * (3 * s * s - 4 * s + 1) +
                                T * p.endSpeed * (3 * s * s - 2 * s)) /
                               T;
            EXPECT_GE(raw, -1e-9 * mean) << i;
        }
        EXPECT_NEAR(lf_integrated(p, 400), D, 1e-3 * D) << i;

        const double vmax = mean * (1 + 3 * unit(rng));
        SpeedProfile b;
        if (gf_makeBoundedSpeedProfile(b, D, T, Va, Vb, vmax)) {
            ++bounded;
            EXPECT_LE(gf_speedProfileMaxSpeed(b), vmax + 1e-9);
            EXPECT_GE(b.startSpeed, Va - 1e-9);
            EXPECT_NEAR(lf_integrated(b, 400), D, 1e-3 * D);
        } else {
            EXPECT_TRUE(lf_cleared(b));
        }
    }
    EXPECT_GT(bounded, 400);
}

}  // namespace
