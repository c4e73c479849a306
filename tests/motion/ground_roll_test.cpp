// The ground step and the takeoff: the throttle ladder of a takeoff roll, a
// landing roll turning off into taxi, the takeoff start by the airborne
// point ahead, the takeoff climb, the roll removed without takeoff evidence
// or as implausible, the abort to taxi, and the speed profiles dropped when
// they stray from their ends.

#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>

#include "engine/decode.h"
#include "motion/flight_phases.h"
#include "motion/ground_movement.h"
#include "motion/ground_roll.h"
#include "motion/next_position.h"
#include "motion/speed_profile.h"

#include "air_fixture.h"

using namespace tavo::test;
using ::testing::HasSubstr;

namespace {

constexpr double kMps = 0.5144444444444445;

class GroundRoll : public AirTest {
protected:
    // On the centre line `pastM` past the 09 threshold heading east at
    // `frontKt`, the next point `legM` further on due in `legTicks` at
    // `nextKt`.
    LiveAc& rolling(AcPhase phase, std::uint32_t category, double pastM, double frontKt, double nextKt,
                    double legM = 100.0, std::int32_t legTicks = 500) {
        StreamPoint a = at(past(pastM), 0, false, 10000, 0, frontKt);
        StreamPoint b = at(past(pastM + legM), 0, false, 10000 + legTicks, 0, nextKt);
        LiveAc& ac = aircraft({a, b}, category, phase);
        ac.pose.trueAirspeed = frontKt;
        ac.phaseStartTick = 10000;
        ac.rotationTicks = 200;
        ac.throttleStep = 9;
        return ac;
    }
    static bool removed(const LiveAc& ac) { return ac.simState == AcSimState::removingfromsim; }
};

}  // namespace

TEST_F(GroundRoll, TheTakeoffRollsThrottleFollowsTheFrontAndNextSpeeds) {
    struct Case {
        double a, b;
        std::uint32_t category;
        std::uint32_t step;
    };
    for (const Case c : {Case{20, 22, Large, 2}, Case{19, 22, Large, 1}, Case{19, 25, Large, 2}, Case{25, 0, Large, 4}, Case{10, 30, Large, 4},
                         Case{15, 0, Large, 1}, Case{14, 19.9, Large, 0}, Case{5, 5, Rotorcraft, 4}}) {
        g_liveAircraft.clear();
        LiveAc& ac = rolling(AcPhase::takeoff_roll, c.category, 200, c.a, c.b);
        stepGround(ac);
        EXPECT_EQ(ac.throttleStep, c.step) << c.a << " " << c.b;
    }
}

TEST_F(GroundRoll, ALandingRollTurningOffTheRunwayBecomesTaxi) {
    struct Case {
        std::uint32_t category;
        double turnDeg;
        bool taxis;
    };
    for (const Case c : {Case{Large, 16, true}, Case{Light, 16, true}, Case{Large, 14, false}}) {
        g_liveAircraft.clear();
        (void)events();
        g_simCommandBuffers.reverseThrust.clear();
        LiveAc& ac = rolling(AcPhase::landing_roll, c.category, 1500, 20, 18);
        ac.motion.touchdownHeading = (90.0 - c.turnDeg) * kDeg;
        stepGround(ac);
        EXPECT_EQ(ac.phase, c.taxis ? AcPhase::taxi : AcPhase::landing_roll) << c.category << " " << c.turnDeg;
        if (!c.taxis) continue;
        EXPECT_EQ(ac.arrivingHere, 1);
        EXPECT_TRUE(std::isnan(ac.motion.touchdownHeading));
        std::vector<std::uint32_t> lights;
        for (const auto& [id, data] : events())
            if (id != FLAPS_SET && id != SPOILERS_SET && id != THROTTLE_SET) lights.push_back(data);
        EXPECT_THAT(lights, ::testing::ElementsAre(1, 1, 0, 1, 0, 1, 1));
        EXPECT_EQ(g_simCommandBuffers.reverseThrust.size(), c.category == Light ? 0u : 1u);
    }
}

TEST_F(GroundRoll, AnAirbornePointCloseAheadAtTheModeOneSpeedStartsTheTakeoff) {
    struct Case {
        double speedBelowKt, aheadM;
        std::int32_t dueTicks;
        bool starts;
    };
    for (const Case c : {Case{0, 500, 200, true}, Case{1, 500, 200, false}, Case{0, 601, 200, false},
                         Case{0, 500, 501, false}}) {
        g_liveAircraft.clear();
        LiveAc& ac = rolling(AcPhase::takeoff_roll, Large, 1000, 100, 100);
        const double r1 = refSpeedKt(ac, 1);
        ac.pose.trueAirspeed = r1 - c.speedBelowKt;
        ac.stream[1] = at(past(1000 + c.aheadM), 50, true, 10000 + c.dueTicks, 1500, r1);
        EXPECT_EQ(takeoffStartState(ac) == 1, c.starts) << c.speedBelowKt << " " << c.aheadM << " " << c.dueTicks;
    }
}

TEST_F(GroundRoll, TheTakeoffClimbsTowardTheNextPointOrByRate) {
    airport();
    struct Case {
        std::uint32_t category;
        std::uint8_t outlook;
        double nextAboveFt, perTick;
    };
    // 1000 ticks to the next point: 500 ft give 0.5, 50 ft the least 0.1; by
    // rate the limit (0.5), a Light aircraft's at most 0.2.
    for (const Case c : {Case{Large, 1, 500, 0.5}, Case{Large, 1, 50, 0.1}, Case{Large, 2, 0, 0.5},
                         Case{Light, 2, 0, 0.2}}) {
        g_liveAircraft.clear();
        LiveAc& ac = rolling(AcPhase::takeoff_roll, c.category, 1000, 140, 150, 2000, 1000);
        ac.stream[1].altitudeFt = ac.pose.altitude + c.nextAboveFt;
        beginTakeoff(ac, c.outlook);
        EXPECT_NEAR(ac.motion.verticalPerTick, c.perTick, 1e-12) << c.category << " " << int{c.outlook};
        EXPECT_EQ(ac.motion.initialTakeoffClimb, c.outlook == 2 ? c.perTick : 0.0);
        EXPECT_EQ(ac.phase, AcPhase::takeoff);
        EXPECT_EQ(ac.motion.takeoffCountdown, 200);
    }
    EXPECT_THAT(logText(), HasSubstr(" KLM1234 PH-BXA KLM B738 take off from FRA runway 09 ...\n"));
}

TEST_F(GroundRoll, ATouchAndGoTakesOffWithTheLandingConfiguration) {
    struct Case {
        AcPhase phase, previous;
        bool configured;
    };
    for (const Case c : {Case{AcPhase::landing_roll, AcPhase::landing, true},
                         Case{AcPhase::taxi, AcPhase::landing_roll, true},
                         Case{AcPhase::takeoff_roll, AcPhase::taxi, false}}) {
        g_liveAircraft.clear();
        LiveAc& ac = rolling(c.phase, Large, 1000, 140, 150);
        ac.prevPhase = c.previous;
        ac.flapsIndex = 3;
        enterTakeoff(ac, 2);
        EXPECT_EQ(ac.throttleStep, c.configured ? 4u : 9u) << gf_acPhaseName(c.phase);
        EXPECT_EQ(ac.flapsIndex, c.configured ? 1u : 3u) << gf_acPhaseName(c.phase);
    }
}

TEST_F(GroundRoll, ARollWithoutTakeoffEvidenceIsRemovedAfter120Seconds) {
    for (const std::int32_t rolled : {11999, 12000}) {
        g_liveAircraft.clear();
        LiveAc& ac = rolling(AcPhase::takeoff_roll, Large, 1000, 45, 45);
        ac.phaseStartTick = 10000 - rolled;
        stepGround(ac);
        EXPECT_EQ(removed(ac), rolled >= 12000) << rolled;
    }
}

TEST_F(GroundRoll, ATakeoffRollRunningOutOfRunwayAbortsOrIsRemovedAsImplausible) {
    airport();
    struct Case {
        double leftM, nextLeftM, speedKt;
        AcPhase phase;
        bool quarantined;
    };
    // At taxi speed 200 m before the end, the next point within 50 m of it:
    // no takeoff after all; 60 m before at takeoff speed with nothing
    // airborne: implausible.
    for (const Case c : {Case{200, 40, 30, AcPhase::taxi, false}, Case{200, 60, 30, AcPhase::takeoff_roll, false},
                         Case{60, 30, 140, AcPhase::takeoff_roll, true}}) {
        g_liveAircraft.clear();
        quarantine.clear();
        LiveAc& ac =
            rolling(AcPhase::takeoff_roll, Large, 3000 - c.leftM, c.speedKt, c.speedKt, c.leftM - c.nextLeftM);
        ac.lastReportTime = 1.7e9;
        const bool gone = stepTakeoffRoll(ac);
        EXPECT_EQ(gone, c.quarantined) << c.leftM;
        EXPECT_EQ(removed(ac), c.quarantined);
        EXPECT_EQ(quarantine.count(ac.hexid), c.quarantined ? 1u : 0u);
        EXPECT_EQ(ac.phase, c.phase);
        if (c.phase == AcPhase::taxi) EXPECT_FALSE(ac.takeoffRunway.has_value());
    }
}

TEST_F(GroundRoll, ARollProfileThatStraysFromItsEndsIsNotPlayed) {
    airport();
    struct Case {
        AcPhase phase;
        double startKt, endKt, legM, poseKt;
        bool played;
    };
    // Legs of 10 s, each profile built (bounded on a takeoff roll toward a
    // faster point, else plain): a takeoff-roll profile is dropped 5 kt above
    // its end or below its start, a landing-roll one 0.5 kt below its end or
    // above its start, or starting 0.5 kt above the aircraft's speed.
    for (const Case c : {Case{AcPhase::landing_roll, 60, 20, 206, 60, true},
                         Case{AcPhase::landing_roll, 60, 20, 120, 60, false},
                         Case{AcPhase::landing_roll, 60, 20, 206, 59, false},
                         Case{AcPhase::takeoff_roll, 20, 60, 400, 20, true},
                         Case{AcPhase::takeoff_roll, 60, 60.5, 309, 60, true},
                         Case{AcPhase::takeoff_roll, 60, 60.5, 206, 60, false}}) {
        g_liveAircraft.clear();
        LiveAc& ac = rolling(c.phase, Large, 500, c.startKt, c.endKt, c.legM, 1000);
        ac.pose.trueAirspeed = c.poseKt;
        ac.motion.touchdownHeading = 90.0 * kDeg;
        stepGround(ac);
        EXPECT_EQ(ac.motion.profileLeg.profile.valid != 0, c.played)
            << gf_acPhaseName(c.phase) << " " << c.legM << " " << c.poseKt;
        // Dropped by the rule, not for want of a profile.
        SpeedProfile own;
        const double legM =
            gf_distanceNm({ac.pose.latitude, ac.pose.longitude}, {ac.stream[1].lat, ac.stream[1].lon}) * 1852.0;
        const bool bounded = c.phase == AcPhase::takeoff_roll && c.endKt > c.poseKt + 1.0;
        EXPECT_TRUE(bounded ? gf_makeBoundedSpeedProfile(own, legM, 10.0, c.poseKt * kMps, c.endKt * kMps,
                                                         (refSpeedKt(ac, 1) + 30.0) * kMps)
                            : gf_makeSpeedProfile(own, legM, 10.0, c.startKt * kMps, c.endKt * kMps));
    }
}

TEST_F(GroundRoll, ALandingRollLegIntoASlowerReportItsCurveCannotFitKeepsItsSpeedAndBrakesIntoIt) {
    airport();
    // 565 m in 30 s from 43 kt to a report at 9.7 kt (a roll dead-reckoned
    // while the reports paused, braking harder than the aircraft did): no
    // one curve between the two speeds covers it without rising above the
    // start. The roll holds its speed and brakes into the report at the
    // taxi rate, reaching it at the report's speed, not at the leg's mean
    // of 36 kt. A report no slower than the start is no braking leg.
    struct Case {
        const char* name;
        double startKt, endKt, legM;
        bool braked;
    };
    for (const Case c : {Case{"into a slower report", 43.3, 9.7, 565.0, true},
                         Case{"into a faster report", 20.0, 25.0, 800.0, false}}) {
        SCOPED_TRACE(c.name);
        g_liveAircraft.clear();
        LiveAc& ac = rolling(AcPhase::landing_roll, Large, 500, c.startKt, c.endKt, c.legM, 3000);
        ac.motion.touchdownHeading = 90.0 * kDeg;
        stepGround(ac);
        const MotionState& m = ac.motion;
        EXPECT_EQ(m.profileLeg.profile.valid, 0);
        ASSERT_EQ(m.scheduleCount != 0, c.braked);
        if (!c.braked) continue;
        ASSERT_EQ(m.scheduleCount, 3000u);
        const double legM =
            gf_distanceNm({ac.pose.latitude, ac.pose.longitude}, {ac.stream[1].lat, ac.stream[1].lon}) * 1852.0;
        const auto kt = [&](std::size_t i) { return m.schedule[i] * legM * 100.0 / kMps; };
        double fastest = 0.0;
        for (std::size_t i = 0; i < m.scheduleCount; ++i) fastest = std::max(fastest, kt(i));
        EXPECT_LE(fastest, c.startKt + 0.1);
        EXPECT_NEAR(kt(0), c.startKt, 0.5);
        EXPECT_NEAR(kt(m.scheduleCount - 1), c.endKt, 0.5);
    }
}

TEST_F(GroundRoll, ALandingRollLegIntoARestTooNearToStopAtBrakesAtTheTaxiRateAndPassesIt) {
    airport();
    // From 42.3 kt a report at rest 20.5 m on asks for 11.6 m/s^2 of braking
    // (more than the firm 5 the roll allows); 100 m on 2.4 will do, and a
    // report still moving is no stop at all.
    struct Case {
        const char* name;
        double legM, nextKt;
        bool passes;
    };
    for (const Case c : {Case{"rest too near", 20.5, 0.0, true}, Case{"rest far enough", 100.0, 0.0, false},
                         Case{"still moving", 20.5, 10.0, false}}) {
        SCOPED_TRACE(c.name);
        g_liveAircraft.clear();
        LiveAc& ac = rolling(AcPhase::landing_roll, Large, 1500, 42.3, c.nextKt, c.legM, 193);
        ac.motion.touchdownHeading = 90.0 * kDeg;
        stepGround(ac);
        const double legM =
            gf_distanceNm({ac.pose.latitude, ac.pose.longitude}, {ac.stream[1].lat, ac.stream[1].lon}) * 1852.0;
        if (!c.passes) {
            EXPECT_EQ(ac.stream[1].groundSpeedKt, c.nextKt);
            continue;
        }
        // Braked at 2.5 m/s^2 along the leg: what is left of the speed, and
        // the time that takes at the mean of the two ends.
        const double v0 = 42.3 * kMps;
        const double v1 = std::sqrt(v0 * v0 - 2.0 * 2.5 * legM);
        const ProfileLeg& leg = ac.motion.profileLeg;
        ASSERT_NE(leg.profile.valid, 0);
        EXPECT_NEAR(ac.stream[1].groundSpeedKt, v1 / kMps, 0.1);
        EXPECT_NEAR(gf_speedProfileMinSpeed(leg.profile), v1, 0.05);
        EXPECT_NEAR(gf_speedProfileMaxSpeed(leg.profile), v0, 0.05);
        EXPECT_NEAR(ac.stream[1].playTick - 10000, 2.0 * legM / (v0 + v1) * 100.0, 1.0);
    }
}

TEST_F(GroundRoll, ALandingRollThatCameToRestRollsOnFromRestAtTheTaxiRate) {
    airport();
    // Stopped in its exit turn by a report at no speed, 12 m from the next
    // point due in 3.4 s at 10 kt: it sets off from rest, not at the leg's
    // mean speed within a tick. Rolling still, the leg is no start.
    struct Case {
        const char* name;
        double rollingMps;
        bool fromRest;
    };
    for (const Case c : {Case{"at rest", 0.0, true}, Case{"rolling", 3.5, false}}) {
        SCOPED_TRACE(c.name);
        g_liveAircraft.clear();
        LiveAc& ac = rolling(AcPhase::landing_roll, Large, 1500, 0.0, 10.0, 12.0, 340);
        ac.pose.trueAirspeed = c.rollingMps / kMps;
        ac.motion.touchdownHeading = 90.0 * kDeg;
        ac.motion.lastStepTick = tickCount.load();
        ac.motion.lastStepM = c.rollingMps / 100.0;
        stepGround(ac);
        const MotionState& m = ac.motion;
        EXPECT_EQ(m.profileLeg.profile.valid, 0);
        ASSERT_EQ(m.scheduleCount != 0, c.fromRest);
        if (!c.fromRest) continue;
        const double legM =
            gf_distanceNm({ac.pose.latitude, ac.pose.longitude}, {ac.stream[1].lat, ac.stream[1].lon}) * 1852.0;
        // Each tick at most 2.5 m/s^2 faster than the one before, from rest.
        double before = 0.0;
        for (std::size_t i = 0; i < m.scheduleCount; ++i) {
            const double step = m.schedule[i] * legM;
            EXPECT_LE(step - before, 2.5e-4 + 1e-9) << i;
            before = step;
        }
    }
}

TEST_F(GroundRoll, ALandingRollAtRestSetsOffForAReportFarOnAsFastAsItsTimeNeeds) {
    airport();
    // Dead-reckoned to rest while the reports paused (or braking to rest when
    // a report cut that short), the roll is found much further on at 18 kt:
    // it speeds up at the taxi rate and brakes into the report's speed, at
    // the taxi rate where the reports leave time for that, else as firmly as
    // their time needs up to firm braking (5 m/s^2) and in the least time
    // that takes when even that is too slow (27.3 s from rest to a report
    // 700 m on due in 26.7 s), not at the report's 18 kt (75 s, 50 s behind
    // its reports). A report its own speed reaches in time keeps the time
    // the reports give.
    struct Case {
        const char* name;
        double legM;
        std::int32_t legTicks;
        double rollingKt;  // braking to rest, cut short at this speed
        bool catchesUp, taxiBraking;
    };
    for (const Case c : {Case{"far on, from rest", 700.0, 2668, 0.0, true, false},
                         Case{"far on, braking cut short at 6 kt", 700.0, 2668, 6.0, true, false},
                         Case{"far on, time for the taxi rate", 700.0, 3100, 0.0, true, true},
                         Case{"near", 60.0, 1000, 0.0, false, false}}) {
        SCOPED_TRACE(c.name);
        g_liveAircraft.clear();
        LiveAc& ac = rolling(AcPhase::landing_roll, Large, 300, c.rollingKt, 18.0, c.legM, c.legTicks);
        const double s0 = c.rollingKt * kMps;
        ac.pose.trueAirspeed = c.rollingKt;
        ac.motion.touchdownHeading = 90.0 * kDeg;
        ac.motion.lastStepTick = tickCount.load();
        ac.motion.lastStepM = s0 / 100.0;
        if (s0 > 0.0) ac.motion.brakeToRest = kBrakeCutShort;
        stepGround(ac);
        const MotionState& m = ac.motion;
        ASSERT_NE(m.scheduleCount, 0u);
        const double legM =
            gf_distanceNm({ac.pose.latitude, ac.pose.longitude}, {ac.stream[1].lat, ac.stream[1].lon}) * 1852.0;
        if (!c.catchesUp) {
            EXPECT_EQ(ac.stream[1].playTick, 10000 + c.legTicks);
            continue;
        }
        // The least time, speeding up at 2.5 m/s^2 straight into braking to
        // 18 kt at 5 m/s^2; the point falls due when the leg ends.
        const double end = 18.0 * kMps;
        const double peak = std::sqrt((2.0 * 2.5 * 5.0 * legM + 5.0 * s0 * s0 + 2.5 * end * end) / 7.5);
        const double leastS = (peak - s0) / 2.5 + (peak - end) / 5.0;
        EXPECT_NEAR(m.scheduleCount / 100.0, std::max(leastS, c.legTicks / 100.0), 0.1);
        EXPECT_EQ(ac.stream[1].playTick, 10000 + static_cast<std::int32_t>(m.scheduleCount));
        double before = s0 / 100.0, fastest = 0.0;
        for (std::size_t i = 0; i < m.scheduleCount; ++i) {
            const double step = m.schedule[i] * legM;
            EXPECT_LE(step - before, 2.5e-4 + 1e-9) << i;
            EXPECT_LE(before - step, (c.taxiBraking ? 2.5e-4 : 5e-4) + 1e-9) << i;
            fastest = std::max(fastest, step);
            before = step;
        }
        if (leastS > c.legTicks / 100.0) EXPECT_GE(fastest * 100.0, 0.95 * peak);
        EXPECT_LE(fastest * 100.0, peak + 0.01);
        EXPECT_NEAR(before * 100.0 / kMps, 18.0, 0.5);
    }
}

TEST_F(GroundRoll, AForcedTakeoffFarShortOfItsFirstReportInTheAirLiftsOffOnTheWayAndFliesTheRest) {
    airport();
    // A go-around dead-reckoned onto the runway, rolling at 70 kt, is found
    // climbing 2,400 m on, due in 24.5 s: a point is put in where the taxi
    // rate brings it to its lift-off speed, due then, and the leg on from it
    // is flown up to half as fast again to catch up; only a second late, it
    // keeps the leg's own time. A report it reaches on its wheels gets none.
    struct Case {
        const char* name;
        double legM;
        std::int32_t dueTicks;
        bool putIn, littleLate;
    };
    for (const Case c : {Case{"far on", 2400.0, 2450, true, false}, Case{"a second late", 2400.0, 2450, true, true},
                         Case{"near", 150.0, 600, false, false}}) {
        SCOPED_TRACE(c.name);
        g_liveAircraft.clear();
        tickCount.store(10000);
        LiveAc& ac = rolling(AcPhase::takeoff_roll, Large, 300, 70.0, 160.0, c.legM, c.dueTicks);
        const double v0 = 70.0 * kMps, r1 = refSpeedKt(ac, 1), v1 = r1 * kMps;
        ac.motion.takeoffRoll.forcedTakeoff = 1;
        ac.onGround = 1;
        ac.stream[1].airborne = 1;
        ac.stream[1].altitudeFt = ac.pose.altitude + 1100.0;
        ac.motion.lastStepTick = tickCount.load();
        ac.motion.lastStepM = v0 / 100.0;
        const StreamPoint report = ac.stream[1];
        nextPosGround(ac);
        ASSERT_GE(ac.stream.size(), 2u);
        ASSERT_EQ(ac.stream[1].airborne == 0, c.putIn);
        if (!c.putIn) continue;
        const StreamPoint lift = ac.stream[1];
        EXPECT_NEAR(gf_distanceNm(past(300), {lift.lat, lift.lon}) * 1852.0, (v1 * v1 - v0 * v0) / 5.0, 2.0);
        EXPECT_NEAR(lift.playTick - 10000, (v1 - v0) / 2.5 * 100.0, 2.0);
        // Come to it at that speed, it lifts off on the leg on.
        ac.stream.pop_front();
        ac.pose.latitude = lift.lat;
        ac.pose.longitude = lift.lon;
        ac.pose.trueAirspeed = r1;
        tickCount.store(lift.playTick);
        ac.motion.lastStepTick = tickCount.load();
        ac.motion.lastStepM = v1 / 100.0;
        EXPECT_EQ(takeoffStartState(ac), 1);
        const double restM = gf_distanceNm({lift.lat, lift.lon}, {report.lat, report.lon}) * 1852.0;
        const double meanTicks = restM / ((v1 + 160.0 * kMps) / 2.0) * 100.0;
        if (c.littleLate) ac.stream[1].playTick = lift.playTick + static_cast<std::int32_t>(meanTicks) - 100;
        nextPosGround(ac);
        ASSERT_GE(ac.stream.size(), 2u);
        const double legTicks = ac.stream[1].playTick - lift.playTick;
        if (c.littleLate) {
            EXPECT_NEAR(legTicks, meanTicks, 2.0);
        } else {
            EXPECT_LT(legTicks, meanTicks - 200.0);
            EXPECT_GE(legTicks, meanTicks / 1.5 - 2.0);
        }
    }
}
