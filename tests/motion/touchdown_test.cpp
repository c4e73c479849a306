// Rotation and initial climb, the flare stages, and the touchdown on the
// simulator's ground data: the fallback while flaring, the hold short of
// the touchdown zone, the height of the roll and of a rotating aircraft, the
// touch-and-go in the stream (a Light aircraft's measured from the runway),
// and the touchdown line with its controls.

#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "motion/air_movement.h"
#include "motion/flight_phases.h"
#include "motion/motion_math.h"
#include "motion/pose_attitude.h"
#include "motion/pose_path.h"
#include "motion/touchdown.h"

#include "air_fixture.h"

using namespace tavo::test;
using ::testing::HasSubstr;
using ::testing::Pair;

namespace {

constexpr double kFieldFt = 300.0;

class Touchdown : public AirTest {
protected:
    void SetUp() override {
        AirTest::SetUp();
        airport(3000.0, kFieldFt);
    }
    // Ground data as the engine takes them: a touchdown first when the
    // simulator has the aircraft on the ground.
    static void ground(LiveAc& ac, double groundFt, double aboveFt, bool onGround) {
        SimCommand c = result(SIM_RESULT_GROUND_DATA, ac.objectId, onGround ? 1 : 0);
        c.payload = {groundFt, aboveFt};
        if (onGround && ac.onGround == 0 && ac.motion.takeoffCountdown < 2) handleTouchdown(ac);
        applySimGroundInfo(ac, c, "");
    }
    // Flaring (stage 4) over the runway `pastM` past the threshold, 2 ft above
    // its standing height, its stream on the ground.
    LiveAc& flaring(double pastM, std::uint32_t category = Large) {
        LiveAc& ac = aircraft({at(past(pastM + 100), 0, false, 10100), at(past(pastM + 400), 0, false, 10400)},
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
    // Flaring over the runway `pastM` past the threshold at its standing
    // height, stepping on toward its front point so as to reach it in
    // `legTicks`, the pose's airspeed `tasKt`, the front point pulled
    // `aheadTicks` ahead of its report.
    LiveAc& downOntoItsPoint(std::deque<StreamPoint> stream, std::uint32_t category, double pastM,
                             std::int32_t legTicks, double tasKt, std::int32_t aheadTicks) {
        const LaLo target{stream.front().lat, stream.front().lon};
        LiveAc& ac = aircraft(std::move(stream), category, AcPhase::landing);
        ac.onGround = 0;
        ac.pose.latitude = past(pastM).lat;
        ac.pose.longitude = past(pastM).lon;
        ac.pose.altitude = kFieldFt + ac.groundOffsetFt;
        ac.pose.trueAirspeed = tasKt;
        ac.motion.flareStage = 4;
        ac.motion.stepLat = (target.lat - ac.pose.latitude) / legTicks;
        ac.motion.stepLon = (target.lon - ac.pose.longitude) / legTicks;
        ac.motion.frontAheadTicks = aheadTicks;
        return ac;
    }
};

}  // namespace

TEST_F(Touchdown, ALargeAircraftRotatesClimbsAndFliesOnAbove800Ft) {
    LiveAc& ac = aircraft({at(past(1500), 0, false, 10000), at(past(4000), 500, true, 12000, 1500)}, Large,
                          AcPhase::takeoff);
    ac.pose.altitude = kFieldFt + 8.0;
    ac.motion.takeoffCountdown = 200;
    ac.motion.pitchPerTick = ac.rotationPitchRad / 200.0;
    ac.motion.verticalPerTick = 0.25;
    int gearUp = -1;
    int flying = -1;
    for (int t = 1; t <= 4000 && flying < 0; ++t) {
        ac.motion.heightAboveGroundFt = ac.pose.altitude - kFieldFt - 8.0;
        stepPitchBankAltitude(ac);
        EXPECT_EQ(ac.onGround, 0);
        for (const auto& e : events())
            if (e == std::pair<std::uint32_t, std::uint32_t>{GEAR_SET, 0}) gearUp = t;
        if (ac.phase == AcPhase::flying) flying = t;
    }
    EXPECT_EQ(gearUp, 200 + 299);  // 3 s after the rotation
    ASSERT_GT(flying, 0);
    EXPECT_GE(ac.motion.heightAboveGroundFt, 800.0);
    EXPECT_LT(ac.motion.heightAboveGroundFt, 801.0);
    EXPECT_EQ(ac.motion.takeoffFlagFirst, 1);
    EXPECT_DOUBLE_EQ(ac.pose.pitch, ac.climbPitchRad);
}

TEST_F(Touchdown, TheFlareStagesByHeight) {
    gf_clearCurrentAirport();
    gf_clearRunwayTable();
    LiveAc& ac = aircraft({at({50.0, 8.0}, 0, false, 10500)}, Large, AcPhase::landing);
    for (const auto& [above, stage] : {std::pair{39.0, 0u}, {38.0, 1u}, {29.0, 1u}, {28.0, 2u}, {19.0, 2u}, {18.0, 3u},
                                       {12.0, 3u}, {11.0, 4u}}) {
        ac.motion.heightAboveGroundFt = above;
        stepFlare(ac);
        EXPECT_EQ(ac.motion.flareStage, stage) << above;
    }
    EXPECT_DOUBLE_EQ(ac.motion.verticalPerTick, -0.025);
    EXPECT_DOUBLE_EQ(ac.stream.front().verticalSpeed, -150.0);
    EXPECT_THAT(events(), ::testing::ElementsAre(Pair(THROTTLE_SET, 0u)));
}

TEST_F(Touchdown, GroundDataWhileFlaringHoldingRollingAndRotating) {
    // While flaring, 9 ft reported and 8.5 ft flown is a touchdown (offset 8).
    for (const auto& [reported, flown, touched] : {std::tuple{9.0, 8.5, true}, {9.5, 8.5, false}, {8.5, 9.5, false}}) {
        LiveAc& ac = flaring(400);
        ac.pose.altitude = kFieldFt + flown;
        ground(ac, kFieldFt, reported, false);
        EXPECT_EQ(ac.phase, touched ? AcPhase::landing_roll : AcPhase::landing) << reported << " " << flown;
        if (touched) EXPECT_DOUBLE_EQ(ac.pose.altitude, kFieldFt + 8.0);
    }
    // 40 m past the threshold: held 1 ft above the runway. The approach's
    // descent is left to ease out onto that floor: stopped dead there, its
    // change in a tick was 20 times what a descent may change.
    LiveAc& early = flaring(40);
    early.pose.altitude = kFieldFt + 5.0;
    early.motion.lastApproachStep = -0.02;
    early.motion.lastApproachStepSet = 1;
    ground(early, kFieldFt, 5.0, true);
    EXPECT_EQ(early.phase, AcPhase::landing);
    EXPECT_DOUBLE_EQ(early.pose.altitude, kFieldFt + 8.0 + 1.0);
    EXPECT_DOUBLE_EQ(early.motion.lastApproachStep, -0.02);

    // 70 m: the roll, standing lower as the nose comes down from 12 ft.
    LiveAc& rolling = flaring(70);
    ground(rolling, kFieldFt, 12.0, true);
    EXPECT_EQ(rolling.phase, AcPhase::landing_roll);
    rolling.pose.pitch = (rolling.motion.touchdownPitch + rolling.staticPitchRad) / 2.0;
    ground(rolling, kFieldFt, 11.0, true);
    EXPECT_NEAR(rolling.pose.altitude, kFieldFt + 10.0, 1e-9);
    // No ground altitude: the altitude stays.
    ground(rolling, std::numeric_limits<double>::quiet_NaN(), 11.0, true);
    EXPECT_NEAR(rolling.pose.altitude, kFieldFt + 10.0, 1e-9);
    // The next landing rolls on the height of its own touchdown.
    setFlightPhase(rolling, AcPhase::landing);
    rolling.onGround = 0;
    rolling.motion.flareStage = 4;
    rolling.pose.pitch = -4.0 * kDeg;
    ground(rolling, kFieldFt, 9.0, true);
    EXPECT_NEAR(rolling.pose.altitude, kFieldFt + 9.0, 1e-9);

    // Rotating 10 degrees nose up, wing radius 0.01 NM: sin(10 deg) x 13.4 ft up.
    LiveAc& rotating = aircraft({at(past(900), 0, false, 10500)}, Large, AcPhase::takeoff);
    rotating.onGround = 0;
    rotating.motion.takeoffCountdown = 150;
    rotating.wingRadiusNm = 0.01;
    rotating.pose.pitch = rotating.staticPitchRad - 10.0 * kDeg;
    ground(rotating, kFieldFt, 8.0, true);
    EXPECT_NEAR(rotating.pose.altitude - kFieldFt - 8.0, 2.3, 0.03);
}

TEST_F(Touchdown, AnAircraftHeldShortOfTheZoneComesOntoItsFloorWithoutAJerk) {
    // A Light aircraft flaring (stage 4) short of the touchdown zone, the
    // ground data coming five times a second and counting it on the ground
    // within 2 ft of its standing height, as the simulator does. 40 m past
    // the threshold, 3 ft above its floor at 300 ft/min, the descent stops on
    // the floor. 650 m short of it, where the runway was matched only 0.77 ft
    // above the floor at 246 ft/min, it cannot stop there: it eases out below
    // the floor, never down to the standing height, and climbs back onto it.
    // Either way the climb changes by no more than 0.001 ft a tick: raised
    // onto the floor at once, it changed by six times that in a tick.
    struct Row {
        double pastM, aboveFloorFt, stepFt, lowestBelowFloorFt;
    };
    for (const Row& row : {Row{40.0, 3.0, -0.05, 0.0}, Row{-650.0, 0.77, -0.041, 0.1}}) {
        SCOPED_TRACE(row.pastM);
        LiveAc& ac = flaring(row.pastM, Light);
        const double standing = kFieldFt + ac.groundOffsetFt;
        const double floor = standing + 1.0;
        ac.pose.altitude = floor + row.aboveFloorFt;
        ac.motion.heightAboveGroundFt = ac.pose.altitude - kFieldFt;
        ac.motion.verticalPerTick = -0.025;
        ac.motion.lastApproachStep = row.stepFt;
        ac.motion.lastApproachStepSet = 1;
        double before = row.stepFt;
        double lowest = ac.pose.altitude;
        double sharpest = 0.0;
        for (int t = 1; t <= 600; ++t) {
            const double from = ac.pose.altitude;
            stepPitchBankAltitude(ac);
            if (t % 20 == 0) {
                const double above = ac.pose.altitude - kFieldFt;
                ground(ac, kFieldFt, above, above <= ac.groundOffsetFt + 2.0);
            }
            ASSERT_EQ(ac.phase, AcPhase::landing) << t;
            const double step = ac.pose.altitude - from;
            sharpest = std::max(sharpest, std::fabs(step - before));
            before = step;
            lowest = std::min(lowest, ac.pose.altitude);
        }
        EXPECT_LE(sharpest, 0.001 + 1e-9);
        EXPECT_GE(lowest, floor - row.lowestBelowFloorFt - 0.001);
        EXPECT_GT(lowest, standing);
        EXPECT_NEAR(ac.pose.altitude, floor, 1e-6);
    }
}

TEST_F(Touchdown, TheRollStandsNoHigherThanItsNoseLiftsIt) {
    // A Large aircraft of 112 ft span touches down 1.6 ft above its standing
    // height, the simulator counting it on the ground. With the nose at most
    // 0.04 degrees above standing that slack is not kept: the wheels are on
    // the runway. A nose 4.7 degrees up explains 4 ft, and the roll keeps
    // them while the nose comes down.
    struct Row {
        double noseUpDeg, reportedFt, touchdownExcessFt;
    };
    constexpr double kSpanFt = 112.0;
    for (const Row& row : {Row{0.04, 1.6, kSpanFt * std::sin(0.04 * kDeg)}, Row{0.0, 1.6, 0.0},
                           Row{4.7, 4.0, 4.0}, Row{4.7, -0.5, -0.5}}) {
        SCOPED_TRACE(::testing::Message() << row.noseUpDeg << " " << row.reportedFt);
        LiveAc& ac = flaring(400);
        ac.wingRadiusNm = kSpanFt / 2.0 / 6076.11549;
        ac.pose.pitch = ac.staticPitchRad - row.noseUpDeg * kDeg;
        const double standing = kFieldFt + ac.groundOffsetFt;
        ac.pose.altitude = standing + row.reportedFt;
        ground(ac, kFieldFt, ac.pose.altitude - kFieldFt, true);
        ASSERT_EQ(ac.phase, AcPhase::landing_roll);
        EXPECT_NEAR(ac.pose.altitude - standing, row.touchdownExcessFt, 1e-6);
        // The nose settles over the category's ticks, the ground data coming
        // once a second: the reference point is never higher than the
        // attitude lifts it, and stands on the ground once the nose is down.
        for (int t = 1; t <= 400; ++t) {
            stepPitchBankAltitude(ac);
            if (t % 100 != 0) continue;
            ground(ac, kFieldFt, ac.pose.altitude - kFieldFt, true);
            const double lift = kSpanFt * std::sin(std::fabs(ac.pose.pitch - ac.staticPitchRad));
            EXPECT_LE(ac.pose.altitude - standing, std::max(lift, 0.0) + 1e-6) << t;
        }
        EXPECT_NEAR(ac.pose.altitude, standing, 1e-6);
    }
}

TEST_F(Touchdown, TouchAndGoFoundInTheStream) {
    struct Row {
        std::uint32_t category;
        double fieldFt, altitudes[4], verticalSpeed;
        bool touchAndGo;
    };
    // Climbing 60 ft (not 40) at 500 ft/min after the touchdown. A Light
    // aircraft whose stream shows no climb rate: at a runway 30 ft high a
    // climb to 75 ft is one, at 1500 ft a 20 ft wobble of the roll is not.
    for (const Row& row : {Row{Large, 300, {0, 300, 360, 420}, 500, true}, Row{Large, 300, {0, 300, 340, 340}, 500, false},
                           Row{Light, 30, {30, 30, 50, 75}, 200, true},
                           Row{Light, 1500, {1500, 1480, 1500, 1500}, 200, false}}) {
        SCOPED_TRACE(::testing::Message() << row.fieldFt << " " << row.altitudes[3]);
        gf_clearRunwayTable();
        airport(3000.0, row.fieldFt);
        LiveAc& ac = flaring(400, row.category);
        ac.stream.clear();
        for (int i = 0; i < 4; ++i) {
            const bool airborne = row.altitudes[i] > row.fieldFt + 10.0 || (row.category == Large && i > 0);
            ac.stream.push_back(at(past(500 + 200 * i), row.altitudes[i], airborne, 10100 + 300 * i,
                                   i > 0 ? row.verticalSpeed : 0.0));
        }
        ac.motion.touchAndGoWatch = 1;
        ground(ac, row.fieldFt, ac.groundOffsetFt, true);
        EXPECT_EQ(ac.phase, row.touchAndGo ? AcPhase::takeoff_roll : AcPhase::landing_roll);
        // The points before the climb are ground points now.
        EXPECT_EQ(ac.stream[1].airborne != 0, !row.touchAndGo && row.category == Large);
    }
}

TEST_F(Touchdown, TheTouchdownLineAndItsControls) {
    LiveAc& large = flaring(400);
    large.origin = IataCode("MUC");
    large.isFsltlLivery = 1;
    large.pose.bank = 2.0 * kDeg;
    ground(large, kFieldFt, 9.0, true);
    EXPECT_THAT(newLogLines(), ::testing::ContainsRegex("[0-9?]{2}:[0-9?]{2} KLM1234 PH-BXA KLM B738 touch down at "
                                                        "FRA from MUC runway 09 \\.\\.\\.\n"));
    EXPECT_THAT(events(), ::testing::ElementsAre(Pair(SPOILERS_SET, 16383u)));
    EXPECT_DOUBLE_EQ(large.motion.bankPerTick, -2.0 * kDeg / 350.0);
    EXPECT_DOUBLE_EQ(large.motion.pitchPerTick, 4.7 * kDeg / 350.0);
    EXPECT_DOUBLE_EQ(large.motion.touchdownHeading, 90.0 * kDeg);
    {
        // Reverse thrust, reversing for its FSLTL livery.
        std::lock_guard lock(g_simCommandBuffers.mutex);
        ASSERT_EQ(g_simCommandBuffers.reverseThrust.size(), 1u);
        EXPECT_EQ(g_simCommandBuffers.reverseThrust[0].reverse, 1);
        g_simCommandBuffers.reverseThrust.clear();
    }

    // Far out, off any runway; a Light aircraft (no reverse thrust) without
    // settling time.
    LiveAc& light = flaring(400, Light);
    light.pose.latitude += 0.2;
    light.approachLimit = 0;
    handleTouchdown(light);
    EXPECT_THAT(newLogLines(),
                ::testing::AllOf(HasSubstr(" touch down at ? ...\n"), HasSubstr("KLM1234 ! onGround slots 0.0")));
    std::lock_guard lock(g_simCommandBuffers.mutex);
    EXPECT_TRUE(g_simCommandBuffers.reverseThrust.empty());
}

TEST_F(Touchdown, AnApproachSteepenedOntoTheRunwayWatchesForATouchAndGo) {
    // 100 ft above its standing height 200 m past the threshold: at 300
    // ft/min it would float past the first third, so the descent is
    // steepened, and the touchdown then looks for a climb in the stream. At
    // 1200 ft/min nothing is steepened and a stream that climbs after the
    // touchdown is only a landing roll.
    for (const auto& [fpm, watched] : {std::pair{-300.0, true}, {-1200.0, false}}) {
        LiveAc& ac = aircraft({at(past(300), 400, true, 10050, fpm), at(past(700), 0, false, 10350)}, Large,
                              AcPhase::landing);
        ac.onGround = 0;
        ac.pose.latitude = past(200).lat;
        ac.pose.longitude = past(200).lon;
        ac.pose.altitude = kFieldFt + ac.groundOffsetFt + 100.0;
        landingDescentStep(ac, fpm / 6000.0);
        EXPECT_EQ(ac.motion.touchAndGoWatch, watched ? 1 : 0) << fpm;
        // Down, the stream climbing away 60 ft at 500 ft/min.
        ac.stream.clear();
        for (int i = 0; i < 4; ++i)
            ac.stream.push_back(at(past(500 + 200 * i), kFieldFt + 60.0 * i, i > 0, 10100 + 300 * i, i > 0 ? 500.0 : 0.0));
        ac.motion.flareStage = 4;
        ac.pose.altitude = kFieldFt + ac.groundOffsetFt;
        ground(ac, kFieldFt, ac.groundOffsetFt, true);
        EXPECT_EQ(ac.phase, watched ? AcPhase::takeoff_roll : AcPhase::landing_roll) << fpm;
    }
}

TEST_F(Touchdown, AWheelsDownMidCurveRollsOnStraightOntoItsPoint) {
    // The leg to a runway point 800 m on, flown as a curve (arriving 15
    // degrees off the runway's course, onto the next leg), touches down at
    // a share of its ticks: from there the roll runs straight onto the point
    // by its due tick. Stepping on by the straight step set at the leg's
    // start, it passed beside the point by as far as the curve had carried
    // it off the line. Wheels down at the leg's start or never: no curve to
    // leave.
    for (const int downAt : {0, 150, 300, 450, 600}) {
        SCOPED_TRACE(downAt);
        tickCount.store(10000);
        const LaLo target = past(1000);
        LiveAc& ac = aircraft({at(target, 0, false, 10600, 0, 120)}, Large, AcPhase::landing);
        ac.onGround = 0;
        ac.pose.latitude = past(200).lat;
        ac.pose.longitude = past(200).lon;
        ac.pose.altitude = kFieldFt + ac.groundOffsetFt + 3.0;
        ac.motion.flareStage = 4;
        MotionState& m = ac.motion;
        m.stepLat = (target.lat - ac.pose.latitude) / 600.0;
        m.stepLon = (target.lon - ac.pose.longitude) / 600.0;
        m.transition.start = {ac.pose.latitude, ac.pose.longitude};
        m.transition.end = target;
        m.transition.arrivalHeading = 105.0 * kDeg;
        m.transition.angleLimit = 30.0 * kDeg;
        m.transition.duration = 600;
        m.transition.active = 1;
        const HermiteTransition mid = hermiteTransitionPoint(m.transition.start, target, 105.0 * kDeg, 30.0 * kDeg, 0.5);
        ASSERT_TRUE(mid.valid && mid.curved);
        for (; tickCount.load() < 10600; tickCount.store(tickCount.load() + 1)) {
            if (tickCount.load() == 10000 + downAt) ground(ac, kFieldFt, ac.groundOffsetFt, true);
            gf_interpolatePoseOnCurve(ac);
        }
        EXPECT_LT(gf_distanceNm({ac.pose.latitude, ac.pose.longitude}, target) * metresPerNm, 0.01);
        EXPECT_EQ(ac.phase, downAt < 600 ? AcPhase::landing_roll : AcPhase::landing);
    }
}

TEST_F(Touchdown, ALateTouchdownBrakesAlongTheRestOfItsLegToTheReportedTime) {
    // Wheels down 400 m short of a 20 kt runway point that the airborne leg
    // pulled 8 s ahead of its report (flying it at 130 kt): the rest of the
    // leg is a roll braking to the point's speed by its reported time, never
    // up to the point after it. Pulled no earlier, the leg stays as planned.
    struct Row {
        std::int32_t aheadTicks, afterTick, dueTick;
    };
    for (const Row& row : {Row{800, 12000, 11400}, Row{800, 11000, 10975}, Row{0, 12000, 10600}}) {
        SCOPED_TRACE(::testing::Message() << row.aheadTicks << " " << row.afterTick);
        tickCount.store(10000);
        const LaLo target = past(1100);
        LiveAc& ac = downOntoItsPoint(
            {at(target, 0, false, 10600, 0, 20), at(past(1200), 0, false, row.afterTick, 0, 20)}, Large, 700.0,
            600, 130.0, row.aheadTicks);
        ground(ac, kFieldFt, ac.groundOffsetFt, true);
        ASSERT_EQ(ac.phase, AcPhase::landing_roll);
        EXPECT_EQ(ac.stream.front().playTick, row.dueTick);
        double lastKt = 0.0;
        for (; tickCount.load() < ac.stream.front().playTick; tickCount.store(tickCount.load() + 1)) {
            gf_interpolatePoseOnCurve(ac);
            lastKt = ac.pose.trueAirspeed;
        }
        EXPECT_LT(gf_distanceNm({ac.pose.latitude, ac.pose.longitude}, target) * metresPerNm, 0.01);
        if (row.aheadTicks > 0) EXPECT_NEAR(lastKt, 20.0, 1.0);
    }
}

TEST_F(Touchdown, ATouchdownFarFasterThanItsPointBrakesInTheLongestTimeThatFits) {
    // Wheels down 500 m short of a 32 kt runway point, still at the 70 kt
    // the airborne leg flew it at (the pose's airspeed already shows the
    // point's 32), the point pulled 9.5 s ahead of its report: the report's
    // time is too long to brake in without slowing below 32 kt on the way,
    // so the roll brakes evenly or a little longer, arriving no earlier
    // than even braking takes, at the point's speed and never faster than
    // it came. Rolling at little more than the point's speed, the leg keeps
    // the time it was planned with. Pulled ahead only about as far as even
    // braking takes, it brakes along all of it; not to a point at no speed
    // (the feed may repeat there a position the aircraft passed).
    struct Row {
        std::int32_t legTicks;
        std::int32_t aheadTicks;
        bool braked;
        double pointKt = 32.0;
    };
    for (const Row& row :
         {Row{1400, 950, true}, Row{1400, 530, true}, Row{2430, 300, false}, Row{1400, 1400, false, 0.0}}) {
        SCOPED_TRACE(row.legTicks);
        SCOPED_TRACE(row.aheadTicks);
        tickCount.store(10000);
        const LaLo target = past(1200);
        LiveAc& ac = downOntoItsPoint({at(target, 0, false, 10000 + row.legTicks, 0, row.pointKt),
                                       at(past(1300), 0, false, 14500, 0, row.pointKt)},
                                      Light, 700.0, row.legTicks, 32.0, row.aheadTicks);
        const double startKt = 500.0 / row.legTicks * 100.0 * kMpsToKnots;
        ground(ac, kFieldFt, ac.groundOffsetFt, true);
        ASSERT_EQ(ac.phase, AcPhase::landing_roll);
        const std::int32_t due = ac.stream.front().playTick;
        if (!row.braked) {
            EXPECT_EQ(due, 10000 + row.legTicks);
            continue;
        }
        const double evenTicks = 2.0 * 500.0 / ((startKt + 32.0) * kKnotsToMps) * 100.0;
        EXPECT_GE(due, 10000 + static_cast<std::int32_t>(evenTicks));
        EXPECT_LE(due, 10000 + row.legTicks + row.aheadTicks);
        double fastest = 0.0, lastKt = 0.0;
        for (; tickCount.load() < due; tickCount.store(tickCount.load() + 1)) {
            gf_interpolatePoseOnCurve(ac);
            lastKt = ac.pose.trueAirspeed;
            fastest = std::max(fastest, lastKt);
        }
        EXPECT_LT(gf_distanceNm({ac.pose.latitude, ac.pose.longitude}, target) * metresPerNm, 0.01);
        EXPECT_NEAR(lastKt, 32.0, 1.0);
        EXPECT_LE(fastest, startKt + 0.5);
    }
}
