// The pose step on single aircraft: heading turns within the rate (small
// taxi turns eased in and out), legs across the 180th meridian, the straight
// position of a speed profile, the midpoint inserted into a stream.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/engine_state.h"
#include "foundation/geodesy.h"
#include "motion/next_position.h"
#include "motion/pose_path.h"
#include "motion/speed_profile.h"

#include "engine/engine_fixture.h"

using namespace tavo::test;

namespace {

constexpr double kDeg = degreesToRadians;

class PosePath : public EngineTest {
protected:
    static LiveAc& taxiing(double headingDeg, double turnRateDeg) {
        LiveAc& ac = addLive(0x720000 + static_cast<std::uint32_t>(g_liveAircraft.size()), AcSimState::active, 30,
                             {point(50.0, 8.0), point(50.001, 8.0, 0.0, false, 1000)});
        ac.pose.heading = headingDeg * kDeg;
        ac.turnRateLimit = ac.turnRateRad = turnRateDeg * kDeg;
        return ac;
    }
};

}  // namespace

TEST_F(PosePath, ASmallTaxiTurnEasesInAndOutWithinTheSmoothRate) {
    LiveAc& ac = taxiing(0.0, 0.15);
    const double target = 4.0 * kDeg;
    double rate = 0.0;
    double largest = 0.0;
    int ticks = 0;
    for (; ticks < 2000 && std::fabs(std::remainder(target - ac.pose.heading, fullCircle)) > 1e-9; ++ticks) {
        const double before = ac.pose.heading;
        gf_stepHeadingToward(ac, target, true);
        const double step = std::remainder(ac.pose.heading - before, fullCircle);
        EXPECT_LE(std::fabs(step - rate), 6.981317007977318e-6 + 1e-15) << ticks;
        EXPECT_LE(step, 0.02 * kDeg + 1e-15) << ticks;
        EXPECT_GE(step, 0.0) << ticks;  // never past the target and back
        largest = std::max(largest, step);
        rate = step;
    }
    EXPECT_LT(ticks, 2000);
    EXPECT_NEAR(largest, 0.02 * kDeg, 1e-12);  // the smooth rate was reached
    // Without smoothing the same turn takes the rate at once.
    LiveAc& plain = taxiing(0.0, 0.15);
    gf_stepHeadingToward(plain, target, false);
    EXPECT_NEAR(plain.pose.heading, 0.15 * kDeg, 1e-12);
    // Beyond 6 degrees smoothing does not apply; across north the short way.
    LiveAc& wide = taxiing(358.0, 0.15);
    gf_stepHeadingToward(wide, 10.0 * kDeg, true);
    EXPECT_NEAR(wide.pose.heading, 358.15 * kDeg, 1e-12);
}

TEST_F(PosePath, AHeadingStepAboveThreePointSixDegreesIsRefused) {
    struct Row {
        double rateDeg;
        double targetDeg;
        double expectedDeg;
    };
    const Row rows[] = {{4.0, 10.0, 0.0}, {3.6, 10.0, 3.6}, {4.0, 3.0, 3.0}, {0.0, 10.0, 0.0}, {-1.0, 10.0, 0.0}};
    for (const Row& r : rows) {
        LiveAc& ac = taxiing(0.0, r.rateDeg);
        gf_stepHeadingToward(ac, r.targetDeg * kDeg, false);
        EXPECT_NEAR(ac.pose.heading, r.expectedDeg * kDeg, 1e-12) << r.rateDeg << " " << r.targetDeg;
    }
    LiveAc& ac = taxiing(10.0, 1.0);
    gf_stepHeadingToward(ac, std::nan(""), false);
    EXPECT_EQ(ac.pose.heading, 10.0 * kDeg);
}

TEST_F(PosePath, ALegAcrossTheDateLineTakesTheShortWay) {
    // 0.002 degrees of longitude east across 180: about 143 m, retimed to
    // what 250 kt take.
    LiveAc& ac = addLive(0x720100, AcSimState::active, 31,
                         {point(50.0, 179.999, 5000.0, true, 0), point(50.0, -179.999, 5000.0, true, 100)});
    ac.phase = AcPhase::flying;
    tickCount.store(0);
    nextPosMain(ac);
    const std::int32_t legTicks = ac.stream.front().playTick;
    ASSERT_GT(legTicks, 100);
    EXPECT_NEAR(ac.motion.stepLon, 0.002 / legTicks, 1e-12);
    double largestM = 0.0;
    for (int i = 0; i < legTicks; ++i) {
        const LaLo before{ac.pose.latitude, ac.pose.longitude};
        gf_interpolatePoseOnCurve(ac);
        largestM = std::max(largestM, gf_distanceNm(before, {ac.pose.latitude, ac.pose.longitude}) * metresPerNm);
        EXPECT_GE(ac.pose.longitude, -180.0);
        EXPECT_LE(ac.pose.longitude, 180.0);
        tickCount.fetch_add(1);
    }
    EXPECT_LT(largestM, 1.5);
    EXPECT_NEAR(ac.pose.longitude, -179.999, 1e-9);
}

TEST_F(PosePath, AProfiledLegAcrossTheDateLineMovesAlongItsChord) {
    LiveAc& ac = addLive(0x720200, AcSimState::active, 32, {point(0.0, 179.9995), point(0.0, -179.9995, 0.0, false, 1000)});
    ac.phase = AcPhase::landing_roll;
    ProfileLeg& leg = ac.motion.profileLeg;
    // About 111 m in 10 s from 10 m/s to 12 m/s.
    ASSERT_TRUE(gf_makeSpeedProfile(leg.profile, 111.3, 10.0, 10.0, 12.0));
    leg.start = {0.0, 179.9995};
    leg.end = {0.0, -179.9995};
    for (int i = 0; i < 1000; ++i) {
        const double before = ac.pose.longitude;
        gf_interpolatePoseOnCurve(ac);
        ASSERT_LT(std::fabs(std::remainder(ac.pose.longitude - before, 360.0)), 2e-5) << i;
    }
    EXPECT_NEAR(ac.pose.longitude, -179.9995, 1e-9);
    EXPECT_NEAR(ac.pose.trueAirspeed, 12.0 / 0.5144444444444445, 1e-6);
}

TEST_F(PosePath, AMidpointSplitsTheFirstLeg) {
    LiveAc& ac = addLive(0x720300, AcSimState::active, 33,
                         {point(10.0, 179.99, 100.0, true, 101), point(10.02, -179.97, 300.0, true, 202)});
    ac.stream[0].groundSpeedKt = 100.0;
    ac.stream[1].groundSpeedKt = 120.0;
    ac.stream[0].stationary = 1;
    gf_insertMidpointInStream(ac);
    ASSERT_EQ(ac.stream.size(), 3u);
    const StreamPoint& mid = ac.stream[1];
    EXPECT_NEAR(mid.lat, 10.01, 1e-12);
    EXPECT_NEAR(mid.lon, -179.99, 1e-9);
    EXPECT_EQ(mid.altitudeFt, 200.0);
    EXPECT_EQ(mid.groundSpeedKt, 110.0);
    EXPECT_EQ(mid.playTick, 152);  // 151.5 rounded
    EXPECT_EQ(mid.stationary, 0);
    EXPECT_EQ(mid.airborne, 1);
    // On the ground the altitude is 0; one point alone is left as it is.
    LiveAc& ground = addLive(0x720301, AcSimState::active, 34, {point(10.0, 8.0, -20.0), point(10.0, 8.1, 10.0)});
    gf_insertMidpointInStream(ground);
    EXPECT_EQ(ground.stream[1].altitudeFt, 0.0);
    EXPECT_EQ(ground.stream[1].airborne, 0);
    ground.stream.resize(1);
    gf_insertMidpointInStream(ground);
    EXPECT_EQ(ground.stream.size(), 1u);
}
