// Air movement leg by leg: descent rates with the QNH, the level-off limit of
// a Light aircraft, a reported touchdown moved into the first part of the
// runway (and the landing runway it leaves behind), a takeoff climb that
// passes over ground points, turn limits by category and in the flare, and
// the high-altitude configuration set once.

#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>

#include "motion/air_movement.h"
#include "motion/next_position.h"
#include "motion/pose_attitude.h"

#include "air_fixture.h"

using namespace tavo::test;
using ::testing::ElementsAre;
using ::testing::Pair;

namespace {

class AirMovement : public AirTest {};

}  // namespace

TEST_F(AirMovement, DescentRatesAndTheLevelOffLimit) {
    struct DescentRow {
        std::uint32_t qnh;
        double frontVs, nextVs, aboveGroundFt, expected;
    };
    for (const DescentRow& row : {DescentRow{1023, -700, -800, 2500, -808.5}, DescentRow{1023, -400, -500, 2500, -601},
                                  DescentRow{1013, -700, -800, 2500, -748.5}, DescentRow{1023, -700, -800, 100, -600},
                                  DescentRow{1023, -700, -800, 101, -808.5}}) {
        SCOPED_TRACE(::testing::Message() << row.qnh << " " << row.frontVs << " " << row.aboveGroundFt);
        g_liveAircraft.clear();
        LiveAc& ac = aircraft({at({50.0, 7.9}, 3000, true, 10000, row.frontVs), at({50.0, 7.95}, 2900, true, 12000, row.nextVs)},
                              Large, AcPhase::landing);
        ac.motion.heightAboveGroundFt = row.aboveGroundFt;
        g_qnh.store(row.qnh);
        EXPECT_DOUBLE_EQ(airDescentRate(ac), row.expected);
    }

    struct LevelOffRow {
        std::uint32_t category;
        AcPhase phase;
        bool levelOffSet;
        double aboveFt, verticalSpeed, expected;
    };
    for (const LevelOffRow& row : {LevelOffRow{Light, AcPhase::flying, true, 700, 300, -600},
                                   LevelOffRow{Light, AcPhase::flying, true, 650, 300, 0},
                                   LevelOffRow{Light, AcPhase::flying, true, 550, 0, 0},
                                   LevelOffRow{Light, AcPhase::flying, true, 500, 300, 300},
                                   LevelOffRow{Light, AcPhase::flying, true, 400, 300, 300},
                                   LevelOffRow{Light, AcPhase::flying, true, 0, -1500, -1200},
                                   LevelOffRow{Light, AcPhase::flying, false, 700, 300, 300},
                                   LevelOffRow{Light, AcPhase::landing, true, 700, 300, 300},
                                   LevelOffRow{Large, AcPhase::flying, true, 700, 300, 300}}) {
        SCOPED_TRACE(::testing::Message() << row.category << " " << row.aboveFt << " " << row.verticalSpeed);
        g_liveAircraft.clear();
        LiveAc& ac = aircraft({at({50.0, 7.9}, 1000, true, 10000)}, row.category, row.phase);
        ac.motion.lastAirborneAltitudeFt = 1000.0;
        ac.motion.lastAirborneAltitudeValid = row.levelOffSet ? 1 : 0;
        ac.pose.altitude = 1000.0 + row.aboveFt;
        EXPECT_DOUBLE_EQ(limitFlyingVs(ac, row.verticalSpeed), row.expected);
    }
}

TEST_F(AirMovement, AReportedTouchdownIsMovedIntoTheFirstPartOfTheRunway) {
    struct Row {
        double lengthM, reportedM, expectedM;
    };
    for (const Row& row : {Row{3000, 1800, 1000}, Row{1500, 1800, 500}, Row{3000, 900, 900}}) {
        SCOPED_TRACE(::testing::Message() << row.lengthM << " " << row.reportedM);
        g_liveAircraft.clear();
        gf_clearRunwayTable();
        airport(row.lengthM);
        // 100 ft above the touchdown: a 600 ft/min descent needs 10 s.
        LiveAc& ac = aircraft({at(past(-600), 408, true, 10000, -700), at(past(row.reportedM), 0, false, 10500)}, Large,
                              AcPhase::landing);
        ac.pose.altitude = 408.0;
        retimeFinalApproach(ac);
        const StreamPoint& next = ac.stream[1];
        const auto moved = findLandingRunway({next.lat, next.lon}, ac.pose.heading);
        ASSERT_TRUE(moved.has_value());
        EXPECT_NEAR(*moved->pastThresholdM, row.expectedM, 0.5);
        if (row.expectedM == row.reportedM) {
            EXPECT_EQ(next.playTick, 10500);
            EXPECT_FALSE(ac.landingRunway.has_value());
            continue;
        }
        EXPECT_EQ(next.playTick, 11000);
        // The runway it remembers, carried along from where the point now
        // lies, still knows how far past the threshold the aircraft is when
        // no lookup finds the runway any more.
        ASSERT_TRUE(ac.landingRunway.has_value());
        gf_clearRunwayTable();
        const auto remembered = landingRunwayForPose(ac);
        ASSERT_TRUE(remembered.has_value());
        EXPECT_NEAR(*remembered->pastThresholdM, -600.0, 2.0);
    }
}

TEST_F(AirMovement, ATakeoffClimbPassesOverGroundPointsToItsFirstAirbornePoint) {
    airport();
    // Lifted off; the stream still shows two ground points before the climb.
    LiveAc& ac = aircraft({at(past(800), 0, false, 10000, 0, 150), at(past(1000), 0, false, 10300, 0, 150),
                           at(past(1200), 0, false, 10600, 0, 150), at(past(1800), 300, true, 10900, 1500, 160)},
                          Large, AcPhase::takeoff);
    ac.onGround = 0;
    ac.pose.altitude = 320.0;
    advanceToNextPoint(ac);
    ASSERT_EQ(ac.stream.size(), 1u);
    const StreamPoint& climb = ac.stream.front();
    EXPECT_EQ(climb.altitudeFt, 300.0);
    // The leg leads to the airborne point and reaches it when it is due.
    const double ticks = climb.playTick - tickCount.load();
    EXPECT_NEAR(ac.pose.latitude + ac.motion.stepLat * ticks, climb.lat, 1e-9);
    EXPECT_NEAR(ac.pose.longitude + ac.motion.stepLon * ticks, climb.lon, 1e-9);
    EXPECT_THAT(events(), ::testing::Contains(Pair(GEAR_SET, 1u)));
}

TEST_F(AirMovement, TurnsStayWithinTheCategorysRateAndBank) {
    // A Heavy aircraft slow enough that its turn rate, not its bank, limits
    // the turn, asked to turn round; its reported roll beyond its bank limit.
    StreamPoint next = at({50.0, 7.99}, 3000, true, 10500, 0, 40);
    next.roll = 40.0 * kDeg;
    next.hasRoll = 1;
    LiveAc& ac = aircraft({at({50.0, 8.0}, 3000, true, 10000, 0, 40), next}, Heavy, AcPhase::flying);
    ac.pose.altitude = 3000.0;
    stepAir(ac);
    EXPECT_NEAR(std::fabs(ac.motion.headingPerTick), 8.0 * kDeg / 100.0, 1e-12);
    for (int i = 0; i < 3000; ++i) stepPitchBankAltitude(ac);
    EXPECT_NEAR(std::fabs(ac.pose.bank), 20.0 * kDeg, 1e-12);

    // In the flare the bank is held within 5 degrees.
    ac.phase = AcPhase::landing;
    ac.motion.flareStage = 2;
    ac.motion.heightAboveGroundFt = 20.0;
    stepPitchBankAltitude(ac);
    EXPECT_NEAR(std::fabs(ac.pose.bank), 5.0 * kDeg, 1e-12);
}

TEST_F(AirMovement, TheHighAltitudeConfigurationIsSetOnceAndTheLowOneAfterIt) {
    std::deque<StreamPoint> stream;
    for (int i = 0; i < 5; ++i) stream.push_back(at({50.0, 8.0 + 0.02 * i}, 12000, true, 10000 + 300 * i, 0, 250));
    stream.push_back(at({50.0, 8.1}, 9000, true, 11500, -1500, 250));
    stream.push_back(at({50.0, 8.12}, 8900, true, 11800, -1500, 250));
    LiveAc& ac = aircraft(std::move(stream), Large, AcPhase::flying);
    ac.pose.altitude = 12000.0;
    for (int leg = 0; leg < 4; ++leg) {
        tickCount.store(ac.stream.front().playTick);
        advanceToNextPoint(ac);
    }
    EXPECT_THAT(events(), ElementsAre(Pair(NAV_LIGHTS_SET, 1u), Pair(BEACON_LIGHTS_SET, 1u),
                                      Pair(LANDING_LIGHTS_SET, 0u), Pair(TAXI_LIGHTS_SET, 0u), Pair(STROBES_SET, 1u),
                                      Pair(LOGO_LIGHTS_SET, 0u), Pair(CABIN_LIGHTS_SET, 1u), Pair(THROTTLE_SET, 11468u),
                                      Pair(GEAR_SET, 0u), Pair(FLAPS_SET, 0u)));
    // Below 10000 ft: every light on, once.
    for (int leg = 0; leg < 2; ++leg) {
        tickCount.store(ac.stream.front().playTick);
        advanceToNextPoint(ac);
    }
    const auto low = events();
    EXPECT_EQ(std::count(low.begin(), low.end(), std::pair<std::uint32_t, std::uint32_t>{LANDING_LIGHTS_SET, 1}), 1);
    EXPECT_EQ(std::count_if(low.begin(), low.end(), [](const auto& e) { return e.first == NAV_LIGHTS_SET; }), 1);
}
