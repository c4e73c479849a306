// The takeoff rotation and initial climb, the flare stages, and the
// touchdown on the simulator's ground data: the fallback touchdown while
// flaring, the hold short of the touchdown zone, the height of the landing
// roll, the touch-and-go found in the stream (for a Light aircraft measured
// from the runway), and the touchdown line with its controls.

#include <gmock/gmock.h>

#include <cmath>
#include <limits>

#include "engine/sim_commands.h"
#include "motion/flight_phases.h"
#include "motion/pose_attitude.h"
#include "motion/touchdown.h"

#include "air_fixture.h"

using namespace tavo::test;
using ::testing::HasSubstr;
using ::testing::Pair;

namespace {

constexpr double kFieldFt = 300.0;

class Touchdown : public AirTest {
protected:
    // The simulator's ground data: ground altitude and height above it.
    static void ground(LiveAc& ac, double groundFt, double aboveFt, bool onGround = false) {
        SimCommand c = result(SIM_RESULT_GROUND_DATA, ac.objectId, onGround ? 1 : 0);
        c.payload[0] = groundFt;
        c.payload[1] = aboveFt;
        if (onGround && ac.onGround == 0 && ac.motion.takeoffCountdown < 2) handleTouchdown(ac);
        applySimGroundInfo(ac, c, "");
    }
    // A Large aircraft flaring over the runway `pastM` past the threshold, its
    // stream on the ground from here on.
    LiveAc& flaring(double pastM, std::uint32_t category = Large) {
        LiveAc& ac = aircraft({at(past(pastM + 100), 0, false, 10100, 0, 130), at(past(pastM + 400), 0, false, 10400, 0, 120)},
                              category, AcPhase::landing);
        ac.onGround = 0;
        ac.pose.latitude = past(pastM).lat;
        ac.pose.longitude = past(pastM).lon;
        ac.pose.altitude = kFieldFt + ac.groundOffsetFt + 2.0;
        ac.pose.pitch = -4.0 * kDeg;
        ac.staticPitchRad = 0.7 * kDeg;
        ac.motion.flareStage = 4;
        ac.approachLimit = 350;
        return ac;
    }
};

}  // namespace

TEST_F(Touchdown, ALargeAircraftRotatesClimbsAndFliesOnAbove800Ft) {
    airport();
    LiveAc& ac = aircraft({at(past(1500), 0, false, 10000, 0, 150), at(past(4000), 500, true, 12000, 1500, 160)}, Large,
                          AcPhase::takeoff);
    ac.onGround = 1;
    ac.pose.altitude = kFieldFt + 8.0;
    ac.rotationPitchRad = -6.0 * kDeg;
    ac.climbPitchRad = -16.5 * kDeg;
    ac.climbPitchTicks = 300;
    ac.motion.takeoffCountdown = 200;
    ac.motion.pitchPerTick = ac.rotationPitchRad / 200.0;
    ac.motion.verticalPerTick = 0.25;  // 1500 ft/min
    int gearUpTick = -1;
    int flyingTick = -1;
    double heightWhenFlying = 0.0;
    for (int t = 1; t <= 4000 && flyingTick < 0; ++t) {
        ac.motion.heightAboveGroundFt = ac.pose.altitude - kFieldFt - ac.groundOffsetFt;
        stepPitchBankAltitude(ac);
        if (t == 1) EXPECT_EQ(ac.onGround, 0);
        for (const auto& e : events())
            if (e == std::pair<std::uint32_t, std::uint32_t>{GEAR_SET, 0}) gearUpTick = t;
        if (ac.phase == AcPhase::flying) {
            flyingTick = t;
            heightWhenFlying = ac.motion.heightAboveGroundFt;
        }
    }
    // 200 ticks of rotation, then 3 s to the gear.
    EXPECT_EQ(gearUpTick, 200 + 299);
    ASSERT_GT(flyingTick, 0);
    EXPECT_GE(heightWhenFlying, 800.0);
    EXPECT_LT(heightWhenFlying, 802.0);
    EXPECT_EQ(ac.motion.takeoffFlagFirst, 1);
    EXPECT_EQ(ac.motion.takeoffCountdown, 1);
    EXPECT_DOUBLE_EQ(ac.pose.pitch, ac.climbPitchRad);
}

TEST_F(Touchdown, TheFlareStagesByHeight) {
    LiveAc& ac = aircraft({at({50.0, 8.0}, 0, false, 10500)}, Large, AcPhase::landing);
    ac.groundOffsetFt = 8.0;
    // No runway or airport is known: the height above ground decides.
    struct Row {
        double aboveFt;
        std::uint32_t stage;
    };
    for (const Row& row : {Row{39, 0}, Row{38, 1}, Row{29, 1}, Row{28, 2}, Row{19, 2}, Row{18, 3}, Row{12, 3}, Row{11, 4}}) {
        ac.motion.heightAboveGroundFt = row.aboveFt;
        stepFlare(ac);
        EXPECT_EQ(ac.motion.flareStage, row.stage) << row.aboveFt;
    }
    EXPECT_DOUBLE_EQ(ac.motion.verticalPerTick, -0.025);
    EXPECT_DOUBLE_EQ(ac.stream.front().verticalSpeed, -150.0);
    EXPECT_THAT(events(), ::testing::ElementsAre(Pair(THROTTLE_SET, 0u)));
}

TEST_F(Touchdown, GroundDataWhileFlaringRotatingAndRolling) {
    airport(3000.0, kFieldFt);
    struct Row {
        const char* name;
        double aboveFt, altitudeAboveGroundFt;
        bool touchedDown;
    };
    for (const Row& row : {Row{"9 ft reported, 8.5 ft flown", 9.0, 8.5, true}, Row{"9.5 ft reported", 9.5, 8.5, false},
                           Row{"8.5 ft flown 9.5", 8.5, 9.5, false}}) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        LiveAc& ac = flaring(400);
        ac.pose.altitude = kFieldFt + row.altitudeAboveGroundFt;
        ground(ac, kFieldFt, row.aboveFt);
        EXPECT_EQ(ac.onGround != 0, row.touchedDown);
        EXPECT_EQ(ac.phase, row.touchedDown ? AcPhase::landing_roll : AcPhase::landing);
        if (row.touchedDown) EXPECT_DOUBLE_EQ(ac.pose.altitude, kFieldFt + 8.0);
    }

    // Touching down 40 m past the threshold: held 1 ft above the runway; 70 m:
    // the landing roll.
    g_liveAircraft.clear();
    LiveAc& early = flaring(40);
    early.pose.altitude = kFieldFt + 5.0;
    ground(early, kFieldFt, 5.0, true);
    EXPECT_EQ(early.phase, AcPhase::landing);
    EXPECT_EQ(early.onGround, 0);
    EXPECT_DOUBLE_EQ(early.pose.altitude, kFieldFt + 8.0 + 1.0);
    EXPECT_DOUBLE_EQ(early.pose.verticalSpeed, 0.0);
    g_liveAircraft.clear();
    LiveAc& rolling = flaring(70);
    ground(rolling, kFieldFt, 12.0, true);
    EXPECT_EQ(rolling.phase, AcPhase::landing_roll);
    EXPECT_EQ(rolling.onGround, 1);
    EXPECT_EQ(rolling.motion.pitchSettle, 1);

    // The roll stands lower as the nose comes down: 12 ft at touchdown, the
    // pitch half way to the standing pitch.
    EXPECT_DOUBLE_EQ(rolling.motion.touchdownHeightFt, 12.0);
    rolling.pose.pitch = (rolling.motion.touchdownPitch + rolling.staticPitchRad) / 2.0;
    ground(rolling, kFieldFt, 11.0, true);
    EXPECT_NEAR(rolling.pose.altitude, kFieldFt + 10.0, 1e-9);
    // A ground altitude the simulator could not give leaves the altitude.
    ground(rolling, std::numeric_limits<double>::quiet_NaN(), 11.0, true);
    EXPECT_NEAR(rolling.pose.altitude, kFieldFt + 10.0, 1e-9);
    // Its next landing rolls on the height of its own touchdown.
    setFlightPhase(rolling, AcPhase::landing);
    rolling.onGround = 0;
    rolling.motion.flareStage = 4;
    rolling.motion.pitchSettle = 0;
    rolling.pose.pitch = -4.0 * kDeg;
    ground(rolling, kFieldFt, 9.0, true);
    EXPECT_EQ(rolling.phase, AcPhase::landing_roll);
    EXPECT_NEAR(rolling.pose.altitude, kFieldFt + 9.0, 1e-9);

    // Rotating on the runway, 10 degrees nose up, wing radius 0.01 NM: the
    // reference point stands sin(10 deg) x 13.4 ft higher.
    g_liveAircraft.clear();
    LiveAc& rotating = aircraft({at(past(900), 0, false, 10500, 0, 150)}, Large, AcPhase::takeoff);
    rotating.onGround = 0;
    rotating.motion.takeoffCountdown = 150;
    rotating.wingRadiusNm = 0.01;
    rotating.staticPitchRad = 0.0;
    rotating.pose.pitch = -10.0 * kDeg;
    ground(rotating, kFieldFt, 8.0, true);
    EXPECT_NEAR(rotating.pose.altitude, kFieldFt + 8.0 + std::sin(10.0 * kDeg) * 0.01 * feetPerNm * 0.22, 1e-9);
    EXPECT_NEAR(rotating.pose.altitude - kFieldFt - 8.0, 2.3, 0.05);
}

TEST_F(Touchdown, ATouchAndGoIsFoundInTheStream) {
    airport(3000.0, kFieldFt);
    for (const double gain : {60.0, 40.0}) {
        SCOPED_TRACE(gain);
        g_liveAircraft.clear();
        LiveAc& ac = flaring(400);
        ac.motion.touchAndGoWatch = 1;
        ac.stream = {at(past(500), 0, false, 10100, 0, 120), at(past(900), kFieldFt, true, 10400, 500, 120),
                     at(past(1400), kFieldFt + gain, true, 10700, 500, 130)};
        ground(ac, kFieldFt, 8.0, true);
        EXPECT_EQ(ac.phase, gain > 50.0 ? AcPhase::takeoff_roll : AcPhase::landing_roll);
        EXPECT_EQ(ac.prevPhase, gain > 50.0 ? AcPhase::landing_roll : AcPhase::landing);
        // The points before the climb are on the ground now.
        EXPECT_EQ(ac.stream[1].airborne, gain > 50.0 ? 0 : 1);
        EXPECT_EQ(ac.motion.touchAndGoResult, gain > 50.0 ? 0 : 1);
        EXPECT_DOUBLE_EQ(ac.motion.touchAndGoAltitudeFt, kFieldFt + gain);
    }
}

TEST_F(Touchdown, ALightAircraftsTouchAndGoClimbIsMeasuredFromTheRunway) {
    // Reported vertical speeds too low to show the climb: only the altitudes
    // above the runway tell it. At a runway 30 ft high a climb to 75 ft is a
    // touch-and-go; at one 1500 ft high a 20 ft wobble of the roll is not.
    struct Row {
        double fieldFt;
        double altitudes[4];
        bool touchAndGo;
    };
    for (const Row& row : {Row{30.0, {30, 30, 50, 75}, true}, Row{1500.0, {1500, 1480, 1500, 1500}, false}}) {
        SCOPED_TRACE(row.fieldFt);
        g_liveAircraft.clear();
        gf_clearRunwayTable();
        airport(3000.0, row.fieldFt);
        LiveAc& ac = aircraft({}, Light, AcPhase::landing);
        ac.stream.clear();
        for (int i = 0; i < 4; ++i)
            ac.stream.push_back(at(past(500 + 200 * i), row.altitudes[i], row.altitudes[i] > row.fieldFt + 10.0,
                                   10100 + 300 * i, 200, 60));
        ac.pose.latitude = past(400).lat;
        ac.pose.longitude = past(400).lon;
        ac.pose.altitude = row.fieldFt + 3.0;
        ac.motion.flareStage = 4;
        ac.motion.touchAndGoWatch = 1;
        handleTouchdown(ac);
        EXPECT_EQ(ac.phase, row.touchAndGo ? AcPhase::takeoff_roll : AcPhase::landing_roll);
    }
}

TEST_F(Touchdown, TheTouchdownLineAndItsControls) {
    airport(3000.0, kFieldFt);
    LiveAc& large = flaring(400);
    large.origin = IataCode("MUC");
    large.isFsltlLivery = 1;
    large.pose.bank = 2.0 * kDeg;
    ground(large, kFieldFt, 9.0, true);
    EXPECT_THAT(newLogLines(), ::testing::ContainsRegex("[0-9?]{2}:[0-9?]{2} KLM1234 PH-BXA KLM +B738 touch down at FRA "
                                                        "from MUC runway 09 \\.\\.\\.\n"));
    EXPECT_THAT(events(), ::testing::ElementsAre(Pair(SPOILERS_SET, 16383u)));
    {
        std::lock_guard lock(g_simCommandBuffers.mutex);
        ASSERT_EQ(g_simCommandBuffers.reverseThrust.size(), 1u);
        EXPECT_EQ(g_simCommandBuffers.reverseThrust[0].on, 1);
        EXPECT_EQ(g_simCommandBuffers.reverseThrust[0].reverse, 1);
        g_simCommandBuffers.reverseThrust.clear();
    }
    EXPECT_DOUBLE_EQ(large.motion.bankPerTick, -2.0 * kDeg / 350.0);
    EXPECT_DOUBLE_EQ(large.motion.pitchPerTick, (large.staticPitchRad + 4.0 * kDeg) / 350.0);
    EXPECT_DOUBLE_EQ(large.motion.touchdownHeading, 90.0 * kDeg);
    EXPECT_FALSE(large.landingRunway.has_value());

    // Far from the airport, off any runway, no origin; a Light aircraft gets
    // no reverse thrust; an aircraft without settling time settles at once.
    g_liveAircraft.clear();
    LiveAc& light = flaring(400, Light);
    light.pose.latitude += 0.2;
    light.approachLimit = 0;
    handleTouchdown(light);
    EXPECT_THAT(newLogLines(), ::testing::AllOf(HasSubstr(" touch down at ? ...\n"),
                                                HasSubstr("KLM1234 ! onGround slots 0.0")));
    std::lock_guard lock(g_simCommandBuffers.mutex);
    EXPECT_TRUE(g_simCommandBuffers.reverseThrust.empty());
}
