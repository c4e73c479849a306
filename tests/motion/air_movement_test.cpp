// Air movement leg by leg: descent rates with the QNH, a Light aircraft's
// level-off limit, a touchdown put into the first part of the runway before
// a report far down it, a takeoff climb over ground points, turn limits, and the
// high-altitude configuration set once.

#include <gmock/gmock.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "engine/decode.h"
#include "motion/air_movement.h"
#include "motion/flight_phases.h"
#include "motion/motion_math.h"
#include "motion/next_position.h"
#include "motion/pose_attitude.h"
#include "motion/pose_path.h"
#include "motion/tick_math.h"

#include "air_fixture.h"

using namespace tavo::test;
using ::testing::Pair;

namespace {

class AirMovement : public AirTest {
protected:
    // The points a flying aircraft's legs start from, leg by leg: each leg is
    // planned with the pose at its first point, then that point is passed;
    // past the last report the stream is dead-reckoned.
    static std::vector<LaLo> flyLegs(LiveAc& ac, int legs) {
        std::vector<LaLo> track;
        for (int leg = 0; leg < legs; ++leg) {
            if (ac.stream.size() < 2) extrapolateStreamPoint(ac, 20);
            const StreamPoint& front = ac.stream[0];
            track.push_back({front.lat, front.lon});
            ac.pose.latitude = front.lat;
            ac.pose.longitude = front.lon;
            tickCount.store(front.playTick);
            stepAir(ac);
            ac.stream.pop_front();
        }
        return track;
    }

    // A Large aircraft `behindNm` west of the front point (dead reckoning
    // slowed it in a report gap) on its leg to the next one, which may be
    // retimed as late as the leg needs.
    static LiveAc& behindOnLeg(const StreamPoint& front, const StreamPoint& next, AcPhase phase, double behindNm) {
        LiveAc& ac = aircraft({front, next}, Large, phase);
        ac.motion.delayLimit = 100000;
        const LaLo pose = gf_destinationPoint({front.lat, front.lon}, {270.0 * kDeg, behindNm * feetPerNm});
        ac.pose.latitude = pose.lat;
        ac.pose.longitude = pose.lon;
        return ac;
    }

    // Flying north from `from` at `kt` when the next report (due in
    // `dueTicks`, along `trackDeg`) lies at `to`: the leg is planned as it
    // comes due. `flownKt`, where given, is the speed flown in the last tick.
    static LiveAc& flyToReport(LaLo from, LaLo to, double kt, double trackDeg, AcPhase phase,
                               double flownKt = std::nan(""), std::int32_t dueTicks = 2900) {
        const std::int32_t now = tickCount.load();
        StreamPoint report = at(to, 8000, true, now + dueTicks, 0, kt);
        report.trackDeg = trackDeg;
        LiveAc& ac = aircraft({at(from, 8000, true, now, 0, kt), report}, Large, phase);
        ac.pose.heading = 0.0;
        ac.motion.heightAboveGroundFt = 7500.0;
        ac.motion.delayLimit = 100000;
        if (std::isfinite(flownKt)) {
            ac.motion.lastStepKt = flownKt;
            ac.motion.lastStepTick = now - 1;
        }
        nextPosAir(ac);
        return ac;
    }
};

}  // namespace

TEST_F(AirMovement, DescentRatesAndTheLevelOffLimit) {
    for (const auto& [qnh, frontVs, nextVs, above, rate] :
         {std::tuple{1023u, -700.0, -800.0, 2500.0, -808.5}, {1023u, -400.0, -500.0, 2500.0, -601.0},
          {1013u, -700.0, -800.0, 2500.0, -748.5}, {1023u, -700.0, -800.0, 100.0, -600.0}}) {
        LiveAc& ac = aircraft({at({50.0, 7.9}, 3000, true, 10000, frontVs), at({50.0, 7.95}, 2900, true, 12000, nextVs)},
                              Large, AcPhase::landing);
        ac.motion.heightAboveGroundFt = above;
        g_qnh.store(qnh);
        EXPECT_DOUBLE_EQ(airDescentRate(ac), rate) << qnh << " " << frontVs << " " << above;
    }
    // A Light aircraft 700, 550 and 400 ft above its level-off altitude; its
    // descent is limited before a level-off altitude is known too.
    for (const auto& [category, phase, above, vs, limited, levelOffKnown] :
         {std::tuple{Light, AcPhase::flying, 700.0, 300.0, -600.0, true}, {Light, AcPhase::flying, 550.0, 300.0, 0.0, true},
          {Light, AcPhase::flying, 400.0, 300.0, 300.0, true}, {Light, AcPhase::flying, 0.0, -1500.0, -1200.0, true},
          {Light, AcPhase::landing, 700.0, 300.0, 300.0, true}, {Large, AcPhase::flying, 700.0, 300.0, 300.0, true},
          {Light, AcPhase::flying, 0.0, -1500.0, -1200.0, false}, {Light, AcPhase::flying, 700.0, 300.0, 300.0, false}}) {
        LiveAc& ac = aircraft({at({50.0, 7.9}, 1000, true, 10000)}, category, phase);
        ac.motion.lastAirborneAltitudeFt = 1000.0;
        ac.motion.lastAirborneAltitudeValid = levelOffKnown ? 1 : 0;
        ac.pose.altitude = 1000.0 + above;
        EXPECT_DOUBLE_EQ(limitFlyingVs(ac, vs), limited) << category << " " << above;
    }
}

TEST_F(AirMovement, AReportedTouchdownFarDownTheRunwayGetsATouchdownInTheFirstPartBeforeIt) {
    // The touchdown falls due before the report by the roll between them
    // (from the 140 kt the aircraft arrives with, slowing evenly to the
    // report's speed), and no earlier than the time the height takes at the
    // stream's descent (600 ft/min at the least), unless the shortened leg
    // would then be flown below the floor (1600 m at an airliner's
    // 101.25 kt: 30.7 s). The report keeps its place and speed, and its time
    // unless the touchdown reaches it (then it moves along with it).
    struct Row {
        double lengthM, reportedM, movedM, aboveFt, frontFpm, reportKt;
        std::int32_t reportTick, dueTick, reportDueTick;
    };
    for (const Row& row : {Row{3000.0, 1800.0, 1000.0, 100.0, -700.0, 140.0, 10500, 10858, 11357},
                           Row{1500.0, 1800.0, 500.0, 100.0, -700.0, 140.0, 10500, 10858, 11357},
                           Row{3000.0, 1800.0, 1000.0, 100.0, -400.0, 140.0, 10500, 11000, 11499},
                           Row{3000.0, 1800.0, 1000.0, 20.0, -700.0, 140.0, 10500, 10200, 10500},
                           Row{3000.0, 1800.0, 1000.0, 1000.0, -700.0, 140.0, 10500, 13070, 13569},
                           // 800 m of roll from 140 kt down to 43 kt: 17 s.
                           Row{3000.0, 1800.0, 1000.0, 20.0, -700.0, 43.0, 12000, 10300, 12000},
                           Row{3000.0, 900.0, 900.0, 100.0, -700.0, 140.0, 10500, 10500, 10500},
                           // 10 m past the aim, less than a quarter second's roll at
                           // 140 kt: the report is the touchdown, retimed by height.
                           Row{3000.0, 1010.0, 1010.0, 100.0, -700.0, 140.0, 10500, 10858, 10858}}) {
        SCOPED_TRACE(::testing::Message() << row.lengthM << " " << row.reportedM << " " << row.aboveFt << " "
                                          << row.frontFpm << " " << row.reportKt);
        gf_clearRunwayTable();
        airport(row.lengthM);
        const double altitude = 308.0 + row.aboveFt;
        LiveAc& ac = aircraft({at(past(-600), altitude, true, 10000, row.frontFpm),
                               at(past(row.reportedM), 0, false, row.reportTick, 0.0, row.reportKt)},
                              Large, AcPhase::landing);
        ac.pose.altitude = altitude;
        ac.motion.delayLimit = 9000;  // out of the way
        retimeFinalApproach(ac);
        const bool moved = row.movedM != row.reportedM;
        ASSERT_EQ(ac.stream.size(), moved ? 3u : 2u);
        const auto there = findLandingRunway({ac.stream[1].lat, ac.stream[1].lon}, ac.pose.heading);
        ASSERT_TRUE(there.has_value());
        EXPECT_NEAR(*there->pastThresholdM, row.movedM, 0.5);
        EXPECT_NEAR(ac.stream[1].playTick, row.dueTick, 5);  // the runway frame is flat
        if (!moved) continue;
        EXPECT_DOUBLE_EQ(ac.stream[1].groundSpeedKt, 140.0);
        const StreamPoint& report = ac.stream[2];
        const auto reported = findLandingRunway({report.lat, report.lon}, ac.pose.heading);
        ASSERT_TRUE(reported.has_value());
        EXPECT_NEAR(*reported->pastThresholdM, row.reportedM, 0.5);
        EXPECT_DOUBLE_EQ(report.groundSpeedKt, row.reportKt);
        EXPECT_NEAR(report.playTick, row.reportDueTick, 5);
        // Without a lookup, the runway it remembers still knows how far
        // past the threshold the aircraft is.
        gf_clearRunwayTable();
        const auto remembered = landingRunwayForPose(ac);
        ASSERT_TRUE(remembered.has_value());
        EXPECT_NEAR(*remembered->pastThresholdM, -600.0, 2.0);
    }
}

TEST_F(AirMovement, ATakeoffClimbPassesOverGroundPointsToItsFirstAirbornePoint) {
    airport();
    LiveAc& ac = aircraft({at(past(800), 0, false, 10000, 0, 150), at(past(1000), 0, false, 10300, 0, 150),
                           at(past(1200), 0, false, 10600, 0, 150), at(past(1800), 300, true, 10900, 1500, 160)},
                          Large, AcPhase::takeoff);
    ac.onGround = 0;
    ac.pose.altitude = 320.0;
    advanceToNextPoint(ac);
    ASSERT_EQ(ac.stream.size(), 1u);
    // The leg leads to the airborne point and reaches it when it is due.
    const StreamPoint& climb = ac.stream.front();
    const double ticks = climb.playTick - tickCount.load();
    EXPECT_EQ(climb.altitudeFt, 300.0);
    EXPECT_NEAR(ac.pose.latitude + ac.motion.stepLat * ticks, climb.lat, 1e-9);
    EXPECT_NEAR(ac.pose.longitude + ac.motion.stepLon * ticks, climb.lon, 1e-9);
    EXPECT_THAT(events(), ::testing::Contains(Pair(GEAR_SET, 1u)));
}

TEST_F(AirMovement, TurnsStayWithinTheCategorysRateAndBank) {
    // A slow Heavy aircraft asked to turn round, its reported roll 40 degrees.
    StreamPoint next = at({50.0, 7.99}, 3000, true, 10500, 0, 40);
    next.roll = 40.0 * kDeg;
    next.hasRoll = 1;
    LiveAc& ac = aircraft({at({50.0, 8.0}, 3000, true, 10000, 0, 40), next}, Heavy, AcPhase::flying);
    stepAir(ac);
    EXPECT_NEAR(std::fabs(ac.motion.headingPerTick), 8.0 * kDeg / 100.0, 1e-12);
    for (int i = 0; i < 3000; ++i) stepPitchBankAltitude(ac);
    EXPECT_NEAR(std::fabs(ac.pose.bank), 20.0 * kDeg, 1e-12);
    // In the flare: 5 degrees.
    ac.phase = AcPhase::landing;
    ac.motion.flareStage = 2;
    ac.motion.heightAboveGroundFt = 20.0;
    stepPitchBankAltitude(ac);
    EXPECT_NEAR(std::fabs(ac.pose.bank), 5.0 * kDeg, 1e-12);
}

TEST_F(AirMovement, InFlightTheNoseTurnsWithTheReportsWhereTheyTurnTighterThanTheBankCarriesIt) {
    // A Heavy aircraft at 226 kt heading east, its next point 10 s ahead and
    // the reports turning right from there. Held to its 20 degrees of bank
    // it turns 1.76 degrees a second; in flight the nose turns as far as the
    // leg needs, up to the category's 8 degrees a second. On the approach
    // the bank still rules, but on a way round onto a report far off the
    // nose (its next point one of the way's). A leg the bank curves onto
    // the course on (within a right angle) turns the nose with the way it
    // flies, which ends as far round as the bank carries it; the next leg
    // sets off along that course and turns the rest.
    struct Row {
        AcPhase phase;
        double turnDeg;
        double degPerS;  // 0: what the bank carries
        bool wayRound = false;
    };
    const double bankCarriesDegPerS = 9.80665 * std::tan(20.0 * kDeg) / (226.0 * 1852.0 / 3600.0) / kDeg;
    for (const Row row : {Row{AcPhase::flying, 60.0, 0.0}, Row{AcPhase::flying, 10.0, 1.0},
                          Row{AcPhase::flying, 120.0, 8.0}, Row{AcPhase::landing, 60.0, 0.0},
                          Row{AcPhase::landing, 60.0, 6.0, true}, Row{AcPhase::landing, 120.0, 8.0, true}}) {
        SCOPED_TRACE(::testing::Message() << static_cast<int>(row.phase) << " " << row.turnDeg);
        g_liveAircraft.clear();
        const LaLo front{50.0, 8.0};
        const LaLo next = gf_destinationPoint(front, {90.0 * kDeg, 226.0 * 10.0 / 3600.0 * feetPerNm});
        const LaLo after = gf_destinationPoint(next, {(90.0 + row.turnDeg) * kDeg, 226.0 * 10.0 / 3600.0 * feetPerNm});
        StreamPoint nextPoint = at(next, 9000, true, 11000, 0, 226);
        nextPoint.turnPoint = row.wayRound ? 1 : 0;
        LiveAc& ac = aircraft({at(front, 9000, true, 10000, 0, 226), nextPoint, at(after, 9000, true, 12000, 0, 226)},
                              Heavy, row.phase);
        ac.pose.heading = gf_bearing(front, next);
        ac.motion.heightAboveGroundFt = 8700.0;
        stepAir(ac);
        const double turn = std::remainder(gf_bearing(next, after) - ac.pose.heading, fullCircle) / kDeg;
        const double degPerS = row.degPerS > 0.0 ? std::min(turn / 10.0, 8.0) : bankCarriesDegPerS;
        EXPECT_NEAR(ac.motion.headingPerTick / kDeg * 100.0, degPerS, 1e-6);
    }
}

TEST_F(AirMovement, TheHighAltitudeConfigurationIsSetOnce) {
    std::deque<StreamPoint> stream;
    for (int i = 0; i < 7; ++i)
        stream.push_back(at({50.0, 8.0 + 0.02 * i}, i < 5 ? 12000 : 9000, true, 10000 + 300 * i, -1500, 250));
    LiveAc& ac = aircraft(std::move(stream), Large, AcPhase::flying);
    for (int leg = 0; leg < 4; ++leg) {
        tickCount.store(ac.stream.front().playTick);
        advanceToNextPoint(ac);
    }
    EXPECT_THAT(events(), ::testing::ElementsAre(Pair(NAV_LIGHTS_SET, 1u), Pair(BEACON_LIGHTS_SET, 1u),
                                                 Pair(LANDING_LIGHTS_SET, 0u), Pair(TAXI_LIGHTS_SET, 0u),
                                                 Pair(STROBES_SET, 1u), Pair(LOGO_LIGHTS_SET, 0u),
                                                 Pair(CABIN_LIGHTS_SET, 1u), Pair(THROTTLE_SET, 11468u),
                                                 Pair(GEAR_SET, 0u), Pair(FLAPS_SET, 0u)));
    // Below 10000 ft every light comes on.
    for (int leg = 0; leg < 2; ++leg) {
        tickCount.store(ac.stream.front().playTick);
        advanceToNextPoint(ac);
    }
    EXPECT_THAT(events(), ::testing::Contains(Pair(LANDING_LIGHTS_SET, 1u)));
}

TEST_F(AirMovement, ALegIntoATurnCurvesOntoTheNextLeg) {
    // Flying east toward a point after which the stream turns 60 degrees
    // left: the leg is a curve arriving on the new course; straight on, it
    // stays a line.
    for (const double turnDeg : {-60.0, 0.0}) {
        const LaLo next{50.0, 8.03};
        const LaLo after = gf_destinationPoint(next, {(90.0 + turnDeg) * kDeg, 1.0 * feetPerNm});
        LiveAc& ac = aircraft({at({50.0, 8.0}, 5000, true, 10000, 0, 200), at(next, 5000, true, 10700, 0, 200),
                               at(after, 5000, true, 11600, 0, 200)},
                              Large, AcPhase::flying);
        stepAir(ac);
        const AirTransition& tr = ac.motion.transition;
        EXPECT_EQ(tr.active, turnDeg != 0.0 ? 1 : 0) << turnDeg;
        if (turnDeg == 0.0) continue;
        EXPECT_NEAR(tr.arrivalHeading, gf_bearing(next, after), 1e-9);
        EXPECT_EQ(tr.duration, 700);
        EXPECT_GT(tr.angleLimit, 0.0);
    }
}

TEST_F(AirMovement, TheTouchdownLegDescendsToTheRunwayOrAtTheStreamsRateAboveStandardPressure) {
    airport();
    for (const std::uint32_t qnh : {1013u, 1023u}) {
        g_qnh.store(qnh);
        LiveAc& ac = aircraft({at(past(-400), 400, true, 10000, -1500, 140), at(past(400), 0, false, 10800, 0, 140)},
                              Large, AcPhase::landing);
        ac.pose.altitude = 400.0;
        stepAir(ac);
        const double t = ac.stream[1].playTick - tickCount.load();
        if (qnh == 1013) {
            // Down to the runway and the standing height by the point.
            EXPECT_NEAR(ac.motion.verticalPerTick, (300.0 + ac.groundOffsetFt - 400.0) / t, 1e-9);
            EXPECT_EQ(ac.stream[1].verticalSpeed, 0.0);
        } else {
            // -750 ft/min steepened by 58.5 for 1023 hPa.
            EXPECT_DOUBLE_EQ(ac.stream[1].verticalSpeed, -808.5);
            EXPECT_DOUBLE_EQ(ac.motion.legVerticalSpeed, -808.5);
            EXPECT_DOUBLE_EQ(ac.motion.verticalPerTick, -808.5 / 6000.0);
        }
    }
}

TEST_F(AirMovement, ALegTheFloorBringsForwardDescendsToItsPointByTheTimeItIsNowFlownIn) {
    // 800 m to the next point from 150 ft above the field: due in 60 s the
    // leg is too slow to fly and comes due sooner; due in 15 s it keeps its
    // time. Either way the aircraft reaches the point at its altitude: on
    // the runway at the standing height, or 50 ft over the field.
    airport();
    struct Row {
        const char* what;
        std::int32_t dueIn;
        bool airborne;
        bool broughtForward;
    };
    for (const Row& row : {Row{"touchdown, too slow", 6000, false, true}, Row{"touchdown, on time", 1500, false, false},
                           Row{"airborne, too slow", 6000, true, true}}) {
        SCOPED_TRACE(row.what);
        g_liveAircraft.clear();
        const std::int32_t now = tickCount.load();
        LiveAc& ac = aircraft({at(past(-400), 450, true, now, -500, 110),
                               at(past(400), row.airborne ? 350 : 0, row.airborne, now + row.dueIn, -500, 60)},
                              Large, AcPhase::landing);
        ac.pose.altitude = 450.0;
        ac.motion.heightAboveGroundFt = 150.0;
        stepAir(ac);
        const double t = ac.stream[1].playTick - now;
        EXPECT_EQ(t < row.dueIn, row.broughtForward);
        const double target = row.airborne ? 350.0 : 300.0 + ac.groundOffsetFt;
        EXPECT_NEAR(ac.pose.altitude + ac.motion.verticalPerTick * t, target, 1.0);
    }
}

TEST_F(AirMovement, AReportOnTheGroundShortOfTheRunwayIsFlownAsAirborne) {
    airport();
    struct Row {
        double pastM, heightFt;
        AcPhase phase;
        bool pointAirborne, shortPoint;
    };
    for (const Row& row : {Row{-60, 100, AcPhase::landing, false, true}, Row{-40, 100, AcPhase::landing, false, false},
                           Row{-50.5, 100, AcPhase::landing, false, true}, Row{-49.5, 100, AcPhase::landing, false, false},
                           Row{-60, 9, AcPhase::landing, false, false}, Row{-60, 9.5, AcPhase::landing, false, true},
                           Row{-60, 100, AcPhase::landing, true, false}, Row{-60, 100, AcPhase::flying, false, false}}) {
        LiveAc& ac = aircraft({at(past(-300), 400, true, 10000)}, Large, row.phase);
        ac.motion.heightAboveGroundFt = row.heightFt;  // the standing height is 8 ft
        const StreamPoint p = at(past(row.pastM), 0, row.pointAirborne, 10500);
        EXPECT_EQ(isShortLandingPoint(ac, p), row.shortPoint) << row.pastM << " " << row.heightFt;
    }
}

TEST_F(AirMovement, NotOntoTheRunwayBeforeSixtyMetresPastTheThreshold) {
    airport();
    // At 600 ft/min and 140 kt (72 m/s), the standing height 8 ft and the
    // floor a foot above it. 20 m past the threshold 3 ft above the floor:
    // it would be down at 49 m; the descent that reaches the floor at 60 m
    // is 324 ft/min. 55 m past, half a foot above the floor: that descent
    // (432 ft/min) could not stop in the height left at the rate a descent
    // may change (0.001 ft a tick each tick): it eases onto the floor at
    // 187 ft/min, the step u whose slowing steps u, u - 0.001, ... cover the
    // half foot, u (u + 0.001) / 0.002 = 0.5. From 60 m on the descent is
    // its own.
    const double mps = 140.0 * 0.5144444444444445;
    const double easedFpm = (std::sqrt(0.001 * 0.001 + 8.0 * 0.001 * 0.5) - 0.001) / 2.0 * 6000.0;
    const struct {
        double pastM, heightFt, fpm;
    } rows[] = {{20.0, 12.0, -3.0 * 60.0 / (40.0 / mps)}, {55.0, 9.5, -easedFpm}, {70.0, 12.0, -600.0}};
    for (const auto& r : rows) {
        LiveAc& ac = aircraft({at(past(300), 0, false, 10100, 0, 140), at(past(600), 0, false, 10400, 0, 140)}, Large,
                              AcPhase::landing);
        ac.onGround = 0;
        ac.pose.latitude = past(r.pastM).lat;
        ac.pose.longitude = past(r.pastM).lon;
        ac.pose.altitude = 300.0 + r.heightFt;
        EXPECT_NEAR(landingDescentStep(ac, -600.0 / 6000.0) * 6000.0, r.fpm, 2.0) << r.pastM;
    }
    // Half a foot below the floor (a descent that could not stop on it), it
    // climbs back as it would have eased down onto it; down at its standing
    // height, it is raised onto the floor.
    for (const auto& [heightFt, fpm, heldFt] : {std::tuple{8.5, easedFpm, 8.5}, {7.5, 0.0, 9.0}}) {
        LiveAc& low = aircraft({at(past(300), 0, false, 10100, 0, 140), at(past(600), 0, false, 10400, 0, 140)},
                               Large, AcPhase::landing);
        low.onGround = 0;
        low.pose.latitude = past(20).lat;
        low.pose.longitude = past(20).lon;
        low.pose.altitude = 300.0 + heightFt;
        EXPECT_NEAR(landingDescentStep(low, -600.0 / 6000.0) * 6000.0, fpm, 1e-9) << heightFt;
        EXPECT_DOUBLE_EQ(low.pose.altitude, 300.0 + heldFt) << heightFt;
    }
}

TEST_F(AirMovement, AnAbsurdSpeedOnASqueezedApproachLegGivesWayToTheOtherEnds) {
    // Two approach reports 200 m apart whose first was reached late: their
    // ticks are squeezed to 1.43 s, so their own distance over time says
    // 272 kt. One end's absurd speed (a bad report) gives way to the other
    // end's 130 kt, not to that squeezed measure; with both ends absurd the
    // measure is all there is. Believable ends are flown at their mean.
    airport();
    const double nm = gf_distanceNm(past(-600), past(-400));
    const double ownKt = nm * 360000.0 / 143.0;
    const struct {
        double frontKt, nextKt, legKt;
    } rows[] = {{130.0, 1e6, 130.0}, {1e6, 130.0, 130.0}, {1e6, 1e6, ownKt}, {130.0, 140.0, 135.0}};
    for (const auto& r : rows) {
        LiveAc& ac = aircraft({at(past(-600), 500, true, 10000, -700, r.frontKt),
                               at(past(-400), 480, true, 10143, -700, r.nextKt)},
                              Large, AcPhase::landing);
        tickCount.store(10000);
        ac.pose.latitude = past(-600).lat;
        ac.pose.longitude = past(-600).lon;
        nextPosAir(ac);
        EXPECT_NEAR(ac.stream[1].playTick, 10000 + std::lround(nm * 360000.0 / r.legKt), 1) << r.frontKt << " " << r.nextKt;
    }
}

TEST_F(AirMovement, TheLegToATouchdownIsTimedByTheSpeedBeforeIt) {
    // The touchdown point comes due at the last airborne report's ground
    // speed (100 kt without one), not the mean with the slower roll; an
    // absurd one (a bad report) gives way to the reports' own 800 m in 20 s.
    // A touchdown reported faster than the point before it (dead reckoning
    // slowed that point while the reports paused) comes due at its own. (At
    // each of these speeds the aircraft is down before the report's time:
    // one that would be late catches up.)
    airport();
    const double nm = gf_distanceNm(past(-400), past(400));
    const double ownKt = nm * 360000.0 / 2000.0;
    const struct {
        double frontKt, touchdownKt, legKt;
    } rows[] = {{140.0, 60.0, 140.0}, {0.0, 60.0, 100.0}, {1e6, 60.0, ownKt}, {108.0, 125.0, 125.0}};
    for (const auto& r : rows) {
        LiveAc& ac = aircraft(
            {at(past(-400), 400, true, 10000, -700, r.frontKt), at(past(400), 0, false, 12000, 0, r.touchdownKt)},
            Large, AcPhase::landing);
        ac.pose.latitude = past(-400).lat;
        ac.pose.longitude = past(-400).lon;
        nextPosAir(ac);
        EXPECT_NEAR(ac.stream[1].playTick, tickCount.load() + std::lround(nm * 360000.0 / r.legKt), 1) << r.frontKt;
    }
}

TEST_F(AirMovement, ALightAircraftNeverGoesBackwardsWhileItTakesOff) {
    // A tick whose step would put it 5 m behind where it was: a Light
    // aircraft taking off (on its roll, rotating, or in its first 30 s of
    // flying) goes one tick of travel ahead instead; others go as told.
    struct Row {
        std::uint32_t category;
        AcPhase phase;
        bool onGround;
        std::int32_t flyingTicks;  // since the takeoff ended
        bool forward;
    };
    for (const Row& row : {Row{Light, AcPhase::takeoff_roll, true, 0, true}, Row{Light, AcPhase::takeoff, false, 0, true},
                           Row{Light, AcPhase::flying, false, 3000, true}, Row{Light, AcPhase::flying, false, 3001, false},
                           Row{Light, AcPhase::taxi, true, 0, false}, Row{Large, AcPhase::takeoff_roll, true, 0, false}}) {
        SCOPED_TRACE(::testing::Message() << row.category << " " << gf_acPhaseName(row.phase) << " " << row.flyingTicks);
        LiveAc& ac = aircraft({at({50.0, 8.01}, 0, !row.onGround, 10500, 0, 60)}, row.category, row.phase);
        ac.onGround = row.onGround ? 1 : 0;
        ac.prevPhase = AcPhase::takeoff;
        ac.phaseStartTick = tickCount.load() - row.flyingTicks;
        ac.pose.latitude = 50.0;
        ac.pose.longitude = 8.0;
        ac.pose.trueAirspeed = 60.0;
        ac.motion.legBearing = 90.0 * kDeg;
        ac.motion.stepLon = -5.0 / (metresPerNm * 60.0 * std::cos(50.0 * kDeg));
        ac.motion.takeoffCountdown = 1;
        gf_interpolatePoseOnCurve(ac);
        const double movedM = gf_distanceNm({50.0, 8.0}, {ac.pose.latitude, ac.pose.longitude}) * metresPerNm;
        if (row.forward) {
            EXPECT_GT(ac.pose.longitude, 8.0);
            EXPECT_NEAR(movedM, 60.0 * metresPerNm / 360000.0, 1e-4);
        } else {
            EXPECT_LT(ac.pose.longitude, 8.0);
        }
    }
}

TEST_F(AirMovement, ALateFlyingLegTakesItsDelayBackAtMostATenthOr15KtFaster) {
    // The next point lies 2 NM ahead of the front one, reported 36 s later
    // at 200 kt; the aircraft is behind the front point (it flew straight
    // while its reports turned). Flying, and on the approach down to the
    // touchdown, it makes up a delay of more than 2 s, never faster than 15
    // kt over its reported speed (10 % of 200 kt is more; on the touchdown leg
    // the speed before it: the point's own is the roll's), and stepping up
    // from the speed it flies by 4 kt a leg at most. A leg begun after its
    // front point fell due gives that back however little. Not to a place
    // flown on from the last report (the aircraft shown after a report gap):
    // a guess has no time to be late for, and the leg goes at its speed.
    // Half as fast again, 36 s behind, it flew 300 kt where its reports said
    // 200.
    enum class LastReport { unheard, next, flownOnFrom };
    struct Row {
        const char* name;
        double behindNm;
        AcPhase phase;
        bool nextAirborne;
        // The speed the leg is flown at (kt): 36 s from the front point, 2 NM
        // and the distance behind it away.
        double legKt;
        double flownKt = 200.0;  // the speed it flies when the leg begins
        double frontKt = 200.0;
        double nextKt = 200.0;
        std::int32_t frontDueAgoTicks = 0;
        LastReport lastReport = LastReport::unheard;
    };
    const Row rows[] = {
        {"on time", 0.0, AcPhase::flying, true, 200.0},
        {"1.8 s behind: no delay to give back", 0.1, AcPhase::flying, true, 200.0},
        {"2.25 s behind, flown at its reports' speed: a step up", 0.125, AcPhase::flying, true, 204.0},
        {"2.25 s behind, just created: a step up", 0.125, AcPhase::flying, true, 204.0, std::nan("")},
        {"9 s behind, 13 kt over already: to the most", 0.5, AcPhase::flying, true, 215.0, 213.0},
        {"36 s behind, at the most already", 2.0, AcPhase::flying, true, 215.0, 215.0},
        {"36 s behind, faster still: back to the most", 2.0, AcPhase::flying, true, 215.0, 300.0},
        // The leg averages 250 kt: faster than the catch-up, and flown so.
        {"36 s behind from a faster point", 2.0, AcPhase::flying, true, 250.0, 215.0, 300.0},
        {"9 s behind on the approach", 0.5, AcPhase::landing, true, 215.0, 215.0},
        {"9 s behind on the touchdown leg", 0.5, AcPhase::landing, false, 215.0, 215.0},
        // 15 kt over the 200 kt before it, not over the 60 kt of the roll it
        // reports.
        {"36 s behind on the touchdown leg", 2.0, AcPhase::landing, false, 215.0, 215.0, 200.0, 60.0},
        {"begun 2 s after the front point fell due", 0.0, AcPhase::flying, true, 204.0, 200.0, 200.0, 200.0, 200},
        // The 0.9 s it is behind the front point stays: the step up reaches
        // the point after it falls due.
        {"begun 1 s late and 0.9 s behind", 0.05, AcPhase::flying, true, 204.0, 200.0, 200.0, 200.0, 100},
        {"begun 2 s late to the last report", 0.0, AcPhase::flying, true, 204.0, 200.0, 200.0, 200.0, 200,
         LastReport::next},
        {"begun 2 s late to a guess", 0.0, AcPhase::flying, true, 200.0, 200.0, 200.0, 200.0, 200,
         LastReport::flownOnFrom},
        {"9 s behind a guess", 0.5, AcPhase::flying, true, 200.0, 215.0, 200.0, 200.0, 0, LastReport::flownOnFrom},
        // The runway ahead is no guess: the delay is given back.
        {"9 s behind on the touchdown leg after a guess", 0.5, AcPhase::landing, false, 215.0, 215.0, 200.0, 200.0, 0,
         LastReport::flownOnFrom},
    };
    const LaLo from{50.0, 8.0};
    const LaLo to = gf_destinationPoint(from, {90.0 * kDeg, 2.0 * feetPerNm});
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        const std::int32_t now = tickCount.load();
        const std::int32_t frontDue = now - row.frontDueAgoTicks;
        LiveAc& ac = behindOnLeg(at(from, 5000, true, frontDue, 0, row.frontKt),
                                 at(to, 5000, row.nextAirborne, frontDue + 3600, 0, row.nextKt), row.phase,
                                 row.behindNm);
        // Eastward at the speed it flies.
        ac.motion.stepLon = std::isfinite(row.flownKt)
                                ? row.flownKt / 360000.0 / (60.0 * std::cos(ac.pose.latitude * kDeg))
                                : 0.0;
        if (row.lastReport != LastReport::unheard) {
            const LaLo back = gf_destinationPoint(from, {270.0 * kDeg, 1.0 * feetPerNm});
            ac.motion.lastAirReport =
                row.lastReport == LastReport::next ? ac.stream[1] : at(back, 5000, true, frontDue - 1800, 0, 200.0);
            ac.motion.lastAirReportSet = 1;
        }
        nextPosAir(ac);
        EXPECT_NEAR(ac.stream[1].playTick - now, (2.0 + row.behindNm) / row.legKt * 360000.0, 2);
    }
}

TEST_F(AirMovement, ADeadReckonedGapInATurnKeepsTurningAtTheTracksRate) {
    // Four reports 3 s apart on a right-hand (or left-hand) circle at the
    // row's turn rate and speed, flown leg by leg, then the stream runs dry:
    // each dead-reckoned leg turns on from the one before by the track's turn
    // over 3 s, or not at all where the track runs straight; no faster than
    // the category's bank carries it round at its speed (30 degrees at
    // 220 kt: 2.86 deg/s, so a rate-one turn's 3; a business jet's 35 at
    // 150 kt: 5.1 deg/s), whatever turn the reports' tracks tell.
    struct Row {
        double trackDegPerS;
        ModelCategory category;
        double knots;
        double legTurnDeg;
    };
    for (const Row r : {Row{3.0, Large, 220.0, 9.0}, Row{-2.0, Large, 220.0, -6.0}, Row{20.0, Large, 220.0, 9.0},
                        Row{-20.0, Bizjet, 150.0, -15.3}, Row{0.2, Large, 220.0, 0.0}}) {
        SCOPED_TRACE(::testing::Message() << r.trackDegPerS << " deg/s, category " << int{r.category});
        g_liveAircraft.clear();
        const double knots = r.knots;
        const double radiusNm = knots / 3600.0 / (std::fabs(r.trackDegPerS) * kDeg);
        const LaLo centre{47.0, 11.0};
        const double side = r.trackDegPerS > 0.0 ? -90.0 : 90.0;
        std::deque<StreamPoint> stream;
        for (int k = 0; k < 4; ++k) {
            const double heading = (30.0 + r.trackDegPerS * 3.0 * k) * kDeg;
            const LaLo where = gf_destinationPoint(centre, {heading + side * kDeg, radiusNm * feetPerNm});
            stream.push_back(at(where, 15000.0, true, 10000 + 300 * k, 0.0, knots));
        }
        LiveAc& ac = aircraft(std::move(stream), r.category, AcPhase::flying);
        ac.onGround = 0;
        ac.pose.altitude = 15000.0;
        ac.pose.heading = (30.0 + r.trackDegPerS * 7.5) * kDeg;
        const std::vector<LaLo> track = flyLegs(ac, 12);
        for (std::size_t i = 3; i + 1 < track.size(); ++i) {
            const double before = gf_bearing(track[i - 1], track[i]);
            const double after = gf_bearing(track[i], track[i + 1]);
            EXPECT_NEAR(std::remainder(after - before, fullCircle) / kDeg, r.legTurnDeg, 0.3) << "leg " << i;
        }
    }
}

TEST_F(AirMovement, AGapAfterTheFirstLegTurnsAsItsReportedTracksDo) {
    // Only two reports, 18 s apart on a 3 deg/s right-hand circle at 220 kt,
    // before the stream runs dry: with no leg before to compare with, the
    // dead-reckoned legs turn by the tracks' change over the leg (9 degrees
    // a 3 s leg). Tracks that do not turn, or that disagree with the leg
    // between them (one not reported: 0), leave it straight.
    struct Row {
        double firstTrackOffDeg, secondTrackOffDeg, legTurnDeg;
    };
    for (const Row r : {Row{0.0, 0.0, 9.0}, Row{0.0, -54.0, 0.0}, Row{-30.0, 0.0, 0.0}}) {
        SCOPED_TRACE(::testing::Message() << r.firstTrackOffDeg << " " << r.secondTrackOffDeg);
        const double knots = 220.0;
        const double rate = 3.0;
        const double radiusNm = knots / 3600.0 / (rate * kDeg);
        const LaLo centre{47.0, 11.0};
        std::deque<StreamPoint> stream;
        for (int k = 0; k < 2; ++k) {
            const double heading = 30.0 + rate * 18.0 * k;
            const LaLo where = gf_destinationPoint(centre, {(heading - 90.0) * kDeg, radiusNm * feetPerNm});
            stream.push_back(at(where, 15000.0, true, 10000 + 1800 * k, 0.0, knots));
            stream.back().trackDeg = heading + (k == 0 ? r.firstTrackOffDeg : r.secondTrackOffDeg);
        }
        LiveAc& ac = aircraft(std::move(stream), Large, AcPhase::flying);
        ac.onGround = 0;
        ac.pose.altitude = 15000.0;
        // Flown along the leg, the nose on its course at its end.
        ac.pose.heading = gf_bearing({ac.stream[0].lat, ac.stream[0].lon}, {ac.stream[1].lat, ac.stream[1].lon});
        const std::vector<LaLo> track = flyLegs(ac, 6);
        // The first 3 s step turns on from the 18 s chord by the turn between
        // their middles (10.5 s, 31.5 degrees).
        for (std::size_t i = 1; i + 1 < track.size(); ++i) {
            const double before = gf_bearing(track[i - 1], track[i]);
            const double after = gf_bearing(track[i], track[i + 1]);
            const double expected = i == 1 ? r.legTurnDeg * 3.5 : r.legTurnDeg;
            EXPECT_NEAR(std::remainder(after - before, fullCircle) / kDeg, expected, 0.3) << "leg " << i;
        }
    }
}

TEST_F(AirMovement, AGapAfterATurnThatEndsGoesOnAsTheLastLegsTracksTurn) {
    // Four reports 3 s apart at 220 kt, the track turning at one rate over
    // the first two legs and at another over the last, then the stream runs
    // dry. Where the last leg's tracks turn slower than the change of course
    // from the leg before tells (the turn ends), dead reckoning turns on as
    // the tracks do; where they turn as fast or faster, at that change of
    // course as before (the mean over the two legs).
    struct Row {
        const char* name;
        double firstDegPerS, lastDegPerS;
        double legTurnDeg;
    };
    const Row rows[] = {
        {"the turn ends at the third report", 3.0, 0.0, 0.0},
        {"the turn slows to 1 deg/s", 3.0, 1.0, 3.0},
        {"a steady turn", 3.0, 3.0, 9.0},
        {"the turn tightens: the mean over both legs", 1.0, 3.0, 6.0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        g_liveAircraft.clear();
        const double knots = 220.0;
        // The track flown a tenth of a second at a time.
        LaLo where{47.0, 11.0};
        double track = 30.0;
        std::deque<StreamPoint> stream;
        for (int tenth = 0; tenth <= 90; ++tenth) {
            if (tenth % 30 == 0) {
                stream.push_back(at(where, 15000.0, true, 10000 + 10 * tenth, 0.0, knots));
                stream.back().trackDeg = track;
            }
            const double rate = tenth < 60 ? r.firstDegPerS : r.lastDegPerS;
            const double step = rate * 0.1;
            where = gf_destinationPoint(where, {(track + step / 2.0) * kDeg, knots * 0.1 / 3600.0 * feetPerNm});
            track += step;
        }
        LiveAc& ac = aircraft(std::move(stream), Large, AcPhase::flying);
        ac.onGround = 0;
        ac.pose.altitude = 15000.0;
        // The nose on the last report's track (dead reckoning that runs
        // straight keeps the heading).
        ac.pose.heading = ac.stream.back().trackDeg * kDeg;
        const std::vector<LaLo> flown = flyLegs(ac, 9);
        for (std::size_t i = 3; i + 1 < flown.size(); ++i) {
            const double before = gf_bearing(flown[i - 1], flown[i]);
            const double after = gf_bearing(flown[i], flown[i + 1]);
            EXPECT_NEAR(std::remainder(after - before, fullCircle) / kDeg, r.legTurnDeg, 0.3) << "leg " << i;
        }
    }
}

TEST_F(AirMovement, AGapAfterAReportThatTellsItsBankTurnsAsThatBankDoes) {
    // Three reports 3 s apart along 30 degrees at 187 kt (the chords tell no
    // turn), the last banked at the start of a holding turn, then the stream
    // runs dry: dead reckoning sets off along the report's track turned on by
    // half a leg, and each 3 s leg turns by what the bank carries at the
    // report's airspeed (25 degrees: 2.72 deg/s), no faster than the
    // category's 8 deg/s; a bank that turns under half a degree a second
    // leaves it straight.
    struct Row {
        double bankDeg;  // the simulator's: below 0 to the right
        double legTurnDeg;
    };
    for (const Row r : {Row{-25.0, 8.17}, Row{25.0, -8.17}, Row{-60.0, 24.0}, Row{-2.0, 0.0}}) {
        SCOPED_TRACE(::testing::Message() << r.bankDeg << " deg of bank");
        g_liveAircraft.clear();
        const double knots = 187.0;
        const LaLo start{47.0, 11.0};
        std::deque<StreamPoint> stream;
        for (int k = 0; k < 3; ++k) {
            const LaLo where = gf_destinationPoint(start, {30.0 * kDeg, knots * 3.0 * k / 3600.0 * feetPerNm});
            stream.push_back(at(where, 12000.0, true, 10000 + 300 * k, 0.0, knots));
            stream.back().trackDeg = 30.0;
        }
        stream.back().roll = r.bankDeg * kDeg;
        stream.back().hasRoll = 1;
        LiveAc& ac = aircraft(std::move(stream), Large, AcPhase::flying);
        ac.onGround = 0;
        ac.pose.altitude = 12000.0;
        ac.pose.heading = 30.0 * kDeg;
        const std::vector<LaLo> track = flyLegs(ac, 7);
        EXPECT_NEAR(gf_bearing(track[2], track[3]) / kDeg, 30.0 + r.legTurnDeg / 2.0, 0.3);
        for (std::size_t i = 3; i + 1 < track.size(); ++i) {
            const double before = gf_bearing(track[i - 1], track[i]);
            const double after = gf_bearing(track[i], track[i + 1]);
            EXPECT_NEAR(std::remainder(after - before, fullCircle) / kDeg, r.legTurnDeg, 0.3) << "leg " << i;
        }
    }
}

TEST_F(AirMovement, AFirstLegFromAPointPutBetweenReportsTellsNoTurn) {
    // Reports on a 3 deg/s circle at 300 kt. Created late, the aircraft
    // starts on the chord from the report 10 s before (track 0) to the next
    // (track 30), 5 % of it short but 1.25 s before (120 kt); a report 5.4 s
    // on follows, then the stream runs dry. The dead-reckoned 3 s legs turn
    // at the circle's 9 degrees a leg, as after a 1.5 s first leg between two
    // reports on the circle.
    for (const bool created : {true, false}) {
        SCOPED_TRACE(created ? "created late on the chord" : "a report 1.5 s before");
        g_liveAircraft.clear();
        const double knots = 300.0;
        const double rate = 3.0;
        const double radiusNm = knots / 3600.0 / (rate * kDeg);
        const LaLo centre{47.0, 11.0};
        auto onCircle = [&](double heading) {
            return gf_destinationPoint(centre, {(heading - 90.0) * kDeg, radiusNm * feetPerNm});
        };
        const LaLo before = onCircle(0.0);
        const LaLo report = onCircle(30.0);
        const LaLo start = created ? LaLo{report.lat + (before.lat - report.lat) * 0.05,
                                          report.lon + (before.lon - report.lon) * 0.05}
                                   : onCircle(30.0 - rate * 1.5);
        std::deque<StreamPoint> stream;
        stream.push_back(at(start, 15000.0, true, 10000, 0.0, knots));
        stream.back().trackDeg = created ? 0.0 : 30.0 - rate * 1.5;
        stream.push_back(at(report, 15000.0, true, 10000 + (created ? 125 : 150), 0.0, knots));
        stream.back().trackDeg = 30.0;
        stream.push_back(at(onCircle(46.2), 15000.0, true, stream.back().playTick + 540, 0.0, knots));
        stream.back().trackDeg = 46.2;
        LiveAc& ac = aircraft(std::move(stream), Large, AcPhase::flying);
        ac.onGround = 0;
        ac.pose.altitude = 15000.0;
        ac.pose.heading = gf_bearing(start, report);
        const std::vector<LaLo> track = flyLegs(ac, 6);
        for (std::size_t i = 3; i + 1 < track.size(); ++i) {
            const double a = gf_bearing(track[i - 1], track[i]);
            const double b = gf_bearing(track[i], track[i + 1]);
            EXPECT_NEAR(std::remainder(b - a, fullCircle) / kDeg, 9.0, 0.5) << "leg " << i;
        }
    }
}

TEST_F(AirMovement, DeadReckoningInTheAirKeepsTheLastReportedSpeedAboveTheFloor) {
    // Where the reports end in flight the aircraft goes on as last seen:
    // flying, climbing away or on the approach, at its last reported speed
    // point after point (slowed a tenth a point, an airliner whose reports
    // ended at 234 kt in its climb crawled on at 101 kt until removed);
    // slower than it can fly, at its floor.
    struct Row {
        AcPhase phase;
        double kt;
        // The speeds of the six points made, or (empty) the floor throughout.
        std::vector<double> speeds;
    };
    const Row rows[] = {
        {AcPhase::flying, 300.0, {300, 300, 300, 300, 300, 300}},
        {AcPhase::takeoff, 300.0, {300, 300, 300, 300, 300, 300}},
        {AcPhase::flying, 40.0, {}},
        {AcPhase::landing, 160.0, {160, 160, 160, 160, 160, 160}},
        {AcPhase::landing, 40.0, {}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(::testing::Message() << gf_acPhaseName(r.phase) << " at " << r.kt);
        LiveAc& ac = aircraft({at({47.0, 11.0}, 15000.0, true, 10000, 0.0, r.kt)}, Large, r.phase);
        ac.onGround = 0;
        const double floorKt = gf_airborneSpeedFloorKt(ac);
        ASSERT_GT(floorKt, 40.0);
        ASSERT_LT(floorKt, 200.0);
        std::vector<double> speeds;
        for (int budget = 20; budget > 14; --budget) {
            extrapolateStreamPoint(ac, budget);
            speeds.push_back(ac.stream.back().groundSpeedKt);
        }
        const std::vector<double> wanted = r.speeds.empty() ? std::vector<double>(6, floorKt) : r.speeds;
        ASSERT_EQ(speeds.size(), wanted.size());
        for (std::size_t i = 0; i < speeds.size(); ++i) EXPECT_NEAR(speeds[i], wanted[i], 1e-6) << "point " << i;
    }
}

TEST_F(AirMovement, AReportFarOffTheNoseIsFlownRoundATurn) {
    // Flying north at 225 kt when the next report (due in 29 s) lies off to
    // the right: far off the nose, points are put in along a turn toward it,
    // so that no leg runs more than 15 degrees off the heading the aircraft
    // has at its start, flown at one pace (up to 15 kt faster than the
    // report, as a late aircraft takes back a delay) with the report's own
    // due time kept, unless the way is longer than that pace covers by then. Near the nose, on the
    // approach with no report before it to tell the reports' pace across the
    // pause, or too close to be reached by a turn of 6 degrees a second, the
    // leg stays straight.
    struct Row {
        const char* name;
        double offDeg;
        double distanceM;
        AcPhase phase;
        bool turns;
        int lateBy = 0;  // 1: the report is reached after its due time
    };
    const Row rows[] = {
        {"96 degrees off, 2.2 km away: reached late", 96.0, 2200.0, AcPhase::flying, true, 1},
        {"96 degrees off, 3.5 km away: reached late", 96.0, 3500.0, AcPhase::flying, true, 1},
        {"150 degrees off to the left: reached late", -150.0, 5000.0, AcPhase::flying, true, 1},
        {"61 degrees off", 61.0, 3300.0, AcPhase::flying, true},
        {"59 degrees off", 59.0, 4000.0, AcPhase::flying, false},
        {"within the tightest turn", 96.0, 1500.0, AcPhase::flying, false},
        {"farther than 20 NM: a jump", 96.0, 38000.0, AcPhase::flying, false},
        {"on the approach", 96.0, 4150.0, AcPhase::landing, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        const std::int32_t now = tickCount.load();
        const LaLo from{47.5, -122.3};
        const LaLo to = gf_destinationPoint(from, {row.offDeg * kDeg, row.distanceM * feetPerMetre});
        LiveAc& ac = flyToReport(from, to, 225.0, 0.0, row.phase);
        const auto& s = ac.stream;
        ASSERT_GE(s.size(), 2u);
        EXPECT_EQ(s.size() > 2, row.turns);
        // The report is the last point, due when it was.
        EXPECT_NEAR(s.back().lat, to.lat, 1e-12);
        EXPECT_NEAR(s.back().lon, to.lon, 1e-12);
        if (!row.turns) continue;
        // Due when it was, unless the way round takes longer at that pace.
        EXPECT_EQ(s.back().playTick, row.lateBy > 0 ? s.back().playTick : now + 2900);
        EXPECT_EQ(s.back().playTick > now + 2900, row.lateBy > 0);
        double course = ac.pose.heading;
        LaLo at{ac.pose.latitude, ac.pose.longitude};
        std::int32_t due = now;
        for (std::size_t i = 1; i < s.size(); ++i) {
            const LaLo next{s[i].lat, s[i].lon};
            const double bearing = gf_bearing(at, next);
            EXPECT_LE(std::fabs(std::remainder(bearing - course, fullCircle)), 15.0 * kDeg + 1e-9) << "leg " << i;
            EXPECT_GT(s[i].playTick, due) << "leg " << i;
            if (i + 1 < s.size()) {
                // The turn's legs: one pace, from the report's own to the
                // fastest a late aircraft flies, that one where it is late.
                const double kt = gf_distanceNm(at, next) / ((s[i].playTick - due) / 360000.0);
                EXPECT_NEAR(kt, s[i].groundSpeedKt, s[i].groundSpeedKt * 0.02) << "leg " << i;
                EXPECT_GE(s[i].groundSpeedKt, 225.0 - 1e-9);
                if (row.lateBy > 0)
                    EXPECT_NEAR(s[i].groundSpeedKt, 240.0, 1e-9);
                else
                    EXPECT_LE(s[i].groundSpeedKt, 240.0 + 1e-9);
                EXPECT_EQ(s[i].turnPoint, 1);
                course = normalizeHeading(course + 2.0 * std::remainder(bearing - course, fullCircle));
            }
            at = next;
            due = s[i].playTick;
        }
    }
}

TEST_F(AirMovement, AWayRoundComesOntoTheReportAlongItsCourse) {
    // The next report lies far off the nose: the way round turns, flies
    // straight and turns again onto the report's track (a holding whose
    // reports paused is met again), unless that way would reach the report
    // much later than one ending straight at it (a loop onto a report behind).
    struct Row {
        double offDeg, distanceM, trackDeg;
        bool onCourse;
    };
    for (const Row& row : {Row{100.0, 3000.0, 190.0, true}, Row{-75.0, 4000.0, 300.0, true},
                           Row{70.0, 5000.0, 140.0, true}, Row{-80.0, 3650.0, 352.0, false},
                           Row{70.0, 4000.0, 250.0, false}, Row{-150.0, 5000.0, 0.0, false}}) {
        SCOPED_TRACE(::testing::Message() << row.offDeg << " degrees off, track " << row.trackDeg);
        g_liveAircraft.clear();
        const LaLo from{47.5, -122.3};
        const LaLo to = gf_destinationPoint(from, {row.offDeg * kDeg, row.distanceM * feetPerMetre});
        const auto& s = flyToReport(from, to, 213.0, row.trackDeg, AcPhase::flying).stream;
        ASSERT_GE(s.size(), 3u);
        // The last leg is a chord of the turn onto the report (or the
        // straight): the course there turns on as far again as the chord.
        const std::size_t n = s.size();
        const double chord = gf_bearing({s[n - 2].lat, s[n - 2].lon}, to);
        const double before = s[n - 2].trackDeg * kDeg;
        const double arrival = before + 2.0 * std::remainder(chord - before, fullCircle);
        const double offTrack = std::fabs(std::remainder(arrival - row.trackDeg * kDeg, fullCircle));
        EXPECT_EQ(offTrack < 1.0 * kDeg, row.onCourse) << offTrack / kDeg << " degrees";
    }
}

TEST_F(AirMovement, TheLegThatEndsAWayRoundTurnsTheNoseNoMoreThanSixtyDegreesOffItsCourse) {
    // A Heavy aircraft at 220 kt on the last leg of a way round (20 s, from
    // its last point to the report), the nose along the leg, the course on
    // from the report `cornerDeg` off it. The nose ends the leg on that
    // course where it is near, else 60 degrees off the leg's course, or half
    // the corner where that is sharper. A leg between two reports turns the
    // nose through the whole corner. So on the approach. Where the report
    // after it has not come in yet, the report's own track tells the course
    // on from it; a leg between two reports with none after keeps the nose
    // along the leg. A corner the leg's curve takes (within a right angle)
    // ends the nose on the curve's end, as far round as the bank carries it
    // over the leg.
    struct Row {
        double cornerDeg;
        bool fromWayRound;
        double endsOffDeg;
        AcPhase phase = AcPhase::flying;
        bool afterCame = true;
    };
    for (const Row row : {Row{40.0, true, 40.0}, Row{-100.0, true, -60.0}, Row{160.0, true, 80.0},
                          Row{100.0, false, 100.0}, Row{-100.0, true, -60.0, AcPhase::landing},
                          Row{-100.0, true, -60.0, AcPhase::flying, false},
                          Row{40.0, true, 40.0, AcPhase::flying, false},
                          Row{-100.0, false, 0.0, AcPhase::flying, false}}) {
        SCOPED_TRACE(::testing::Message() << row.cornerDeg << (row.fromWayRound ? " from a way round" : "")
                                          << (row.afterCame ? "" : ", no report after"));
        g_liveAircraft.clear();
        const LaLo front{50.0, 8.0};
        const double legNm = 220.0 * 20.0 / 3600.0;
        const LaLo report = gf_destinationPoint(front, {90.0 * kDeg, legNm * feetPerNm});
        const LaLo after = gf_destinationPoint(report, {(90.0 + row.cornerDeg) * kDeg, legNm * feetPerNm});
        StreamPoint first = at(front, 9000, true, 10000, 0, 220);
        first.turnPoint = row.fromWayRound ? 1 : 0;
        StreamPoint reported = at(report, 9000, true, 12000, 0, 220);
        reported.trackDeg = normalizeHeading((90.0 + row.cornerDeg) * kDeg) / kDeg;
        std::deque<StreamPoint> stream{first, reported};
        if (row.afterCame) stream.push_back(at(after, 9000, true, 14000, 0, 220));
        LiveAc& ac = aircraft(std::move(stream), Heavy, row.phase);
        ac.pose.heading = gf_bearing(front, report);
        ac.motion.heightAboveGroundFt = 8700.0;
        stepAir(ac);
        const double endsOff = ac.motion.headingPerTick * 2000.0 / kDeg;
        const double bankCarriesDeg = 9.80665 * std::tan(20.0 * kDeg) / (220.0 * 1852.0 / 3600.0) / kDeg * 20.0;
        const double expected = std::fabs(row.cornerDeg) <= 90.0 && row.fromWayRound
                                    ? std::copysign(std::min(std::fabs(row.endsOffDeg), bankCarriesDeg), row.endsOffDeg)
                                    : row.endsOffDeg;
        EXPECT_NEAR(endsOff, expected, 0.5);
    }
}

TEST_F(AirMovement, AWayRoundTooLateForItsReportsIsMadeAgainWhereTheyAre) {
    // Flying north at 225 kt when the next report (due in 29 s) lies 96
    // degrees off to the right: the way round is flown at most 15 kt faster
    // than the report, as any late aircraft takes back a delay, and reaches
    // the report late. The report before it, 60 s earlier, tells the
    // reports' own pace across the pause. Where that is known and the way
    // reaches the report more than 10 s after it falls due, the aircraft is
    // too far behind its reports: it is made again where they are. A later
    // report than this one went in meanwhile: the pair tells nothing of this
    // pause, and the way round is flown late. On the approach (the reports
    // paused while the aircraft turned onto final) the way round is flown
    // only where that pace is known: with none the leg stays straight.
    struct Row {
        const char* name;
        double distanceM;
        double ownKt;
        bool latest;
        double wayKt;  // < 0: no way round
        bool madeAgain = false;
        AcPhase phase = AcPhase::flying;
    };
    const Row rows[] = {
        {"4.6 km: 12 s late", 4600.0, 200.0, true, 240.0, true},
        {"4.6 km, reports keep 50 kt", 4600.0, 50.0, true, 240.0, true},
        {"3.5 km: 8 s late", 3500.0, 200.0, true, 240.0},
        {"4.6 km, a later report went in", 4600.0, 120.0, false, 240.0},
        {"approach, 4.6 km", 4600.0, 200.0, true, 240.0, true, AcPhase::landing},
        {"approach, 3.5 km", 3500.0, 200.0, true, 240.0, false, AcPhase::landing},
        {"approach, a later report went in", 4600.0, 120.0, false, -1.0, false, AcPhase::landing},
    };
    constexpr double kReportKt = 225.0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        quarantine.clear();
        gf_forgetReportsToMakeAgainFrom();
        const std::int32_t now = tickCount.load();
        const LaLo from{47.5, -122.3};
        const LaLo to = gf_destinationPoint(from, {96.0 * kDeg, row.distanceM * feetPerMetre});
        StreamPoint report = at(to, 8000, true, now + 2900, 0, kReportKt);
        report.trackDeg = 0.0;
        LiveAc& ac = aircraft({at(from, 8000, true, now, 0, kReportKt), report}, Large, row.phase);
        ac.pose.heading = 0.0;
        ac.motion.heightAboveGroundFt = 7500.0;
        ac.motion.delayLimit = 100000;
        // The report before, 60 s before this one, due south-west of it.
        const LaLo beforeAt = gf_destinationPoint(to, {225.0 * kDeg, row.ownKt / 60.0 * feetPerNm});
        ac.motion.airReportBefore = at(beforeAt, 8000, true, report.playTick - 6000, 0, kReportKt);
        ac.motion.airReportBeforeSet = 1;
        ac.motion.airReportBeforeTime = 1000.0;
        ac.motion.lastAirReport = row.latest ? report : at(from, 8000, true, report.playTick + 300, 0, kReportKt);
        ac.motion.lastAirReportSet = 1;
        ac.motion.lastAirReportTime = row.latest ? 1060.0 : 1063.0;
        nextPosAir(ac);
        EXPECT_EQ(ac.simState == AcSimState::removingfromsim, row.madeAgain);
        EXPECT_EQ(quarantine.contains(ac.hexid), row.madeAgain);
        EXPECT_EQ(gf_reportToMakeAgainFrom(ac.hexid).has_value(), row.madeAgain);
        if (row.madeAgain) {
            EXPECT_NEAR(quarantine[ac.hexid].position.lat, to.lat, 1e-12);
            EXPECT_NEAR(quarantine[ac.hexid].position.lon, to.lon, 1e-12);
            // Made again from this report first when its next one comes:
            // made from that one alone, it came back later than its reports
            // had it here.
            const std::optional<StreamPoint> from = gf_reportToMakeAgainFrom(ac.hexid);
            ASSERT_TRUE(from.has_value());
            EXPECT_NEAR(from->lat, to.lat, 1e-12);
            EXPECT_EQ(from->playTick, report.playTick);
            continue;
        }
        const auto& s = ac.stream;
        if (row.wayKt < 0.0) {
            EXPECT_EQ(s.size(), 2u);
            continue;
        }
        ASSERT_GT(s.size(), 3u);
        for (std::size_t i = 1; i + 1 < s.size(); ++i) EXPECT_NEAR(s[i].groundSpeedKt, row.wayKt, 0.01) << "leg " << i;
        // Reached late; within 10 s where the reports' pace is known.
        EXPECT_GT(s.back().playTick, now + 2900);
        if (row.latest) {
            EXPECT_LE(s.back().playTick, now + 2900 + 1000);
        }
    }
}

TEST_F(AirMovement, AWayRoundsPointsFallDueAsTheAircraftGathersItsPace) {
    // Flying north at 225 kt (its last tick flown at 225 or 233) when the
    // next report lies 96 degrees off to the right, 3.5 km away: the way is
    // flown at 240 kt, the fastest a late aircraft takes back a delay at.
    // Its points fall due as the aircraft gathers that pace from the speed
    // it flies, no faster than 4 kt a second, and keeps it: timed at the
    // pace from the start, the first leg needed 15 kt more at once, came
    // late, and the legs after it made that up beyond the pace.
    for (const double flownKt : {225.0, 233.0}) {
        SCOPED_TRACE(::testing::Message() << "flown at " << flownKt);
        g_liveAircraft.clear();
        const std::int32_t now = tickCount.load();
        const LaLo from{47.5, -122.3};
        const LaLo to = gf_destinationPoint(from, {96.0 * kDeg, 3500.0 * feetPerMetre});
        const auto& s = flyToReport(from, to, 225.0, 0.0, AcPhase::flying, flownKt).stream;
        ASSERT_GT(s.size(), 3u);
        LaLo before = from;
        for (std::size_t i = 1; i < s.size(); ++i) {
            const double seconds = (s[i].playTick - now) / 100.0;
            const double legS = (s[i].playTick - s[i - 1].playTick) / 100.0;
            const double legKt = gf_distanceNm(before, {s[i].lat, s[i].lon}) / (legS / 3600.0);
            // The leg's mean speed lies on the even change from the speed
            // flown toward the pace, never beyond the pace (within a tick
            // of rounding on a leg of two seconds).
            EXPECT_LE(legKt, std::min(240.0, flownKt + 4.0 * seconds) + 1.5) << "leg " << i;
            EXPECT_GE(legKt, std::min(240.0, flownKt + 4.0 * (seconds - legS)) - 1.5) << "leg " << i;
            before = {s[i].lat, s[i].lon};
        }
    }
}

TEST_F(AirMovement, AWayRoundComeIntoFasterThanItsPaceSlowsOntoItAndKeepsTheReportsTime) {
    // Flown at 280 kt into a way round whose report (100 degrees off, 3 km,
    // due in 40 s at 225 kt, on track 190) needs less: the aircraft slows
    // evenly onto a pace that brings it to the report on time. Timed at the
    // way's pace from the start, it came to the way's last point early and
    // crawled the last leg to the report at 101 kt.
    g_liveAircraft.clear();
    const std::int32_t now = tickCount.load();
    const LaLo from{47.5, -122.3};
    const LaLo to = gf_destinationPoint(from, {100.0 * kDeg, 3000.0 * feetPerMetre});
    const LiveAc& ac = flyToReport(from, to, 225.0, 190.0, AcPhase::flying, 280.0, 4000);
    const auto& s = ac.stream;
    ASSERT_GT(s.size(), 3u);
    EXPECT_EQ(s.back().playTick, now + 4000);
    LaLo before{ac.pose.latitude, ac.pose.longitude};
    double lastKt = 280.0, lastLegS = 0.0;
    for (std::size_t i = 1; i < s.size(); ++i) {
        const double legS = (s[i].playTick - s[i - 1].playTick) / 100.0;
        const double legKt = gf_distanceNm(before, {s[i].lat, s[i].lon}) / (legS / 3600.0);
        // Slowing evenly, never by more than a few knots a second, and never
        // faster again (within a tick of rounding).
        EXPECT_LE(legKt, lastKt + 1.5) << "leg " << i;
        EXPECT_GE(legKt, lastKt - 4.0 * (lastLegS + legS) / 2.0 - 1.5) << "leg " << i;
        lastKt = legKt;
        lastLegS = legS;
        before = {s[i].lat, s[i].lon};
    }
}

TEST_F(AirMovement, NoLegOfAWayRoundIsTooShortForItsPace) {
    // Flying north at 225 kt (last flown at 225), the next report 96 degrees
    // off to the right at distances from 2.2 to 4.6 km: wherever the way's
    // last point falls, the leg on from it to the report is flown at the
    // way's pace. A point a few metres short of the report made a leg of
    // the shortest time, flown at two thirds of the pace.
    int ways = 0;
    for (double distanceM = 2200.0; distanceM <= 4600.0; distanceM += 20.0) {
        for (const double trackDeg : {150.0, 170.0, 190.0}) {
            SCOPED_TRACE(::testing::Message() << distanceM << " m, track " << trackDeg);
            g_liveAircraft.clear();
            const LaLo from{47.5, -122.3};
            const LaLo to = gf_destinationPoint(from, {96.0 * kDeg, distanceM * feetPerMetre});
            const auto& s = flyToReport(from, to, 225.0, trackDeg, AcPhase::flying, 225.0).stream;
            if (s.size() < 3) continue;
            ++ways;
            const std::size_t n = s.size();
            // A leg is flown in the shortest leg's time at least.
            const auto kt = [&](std::size_t i) {
                return gf_distanceNm({s[i - 1].lat, s[i - 1].lon}, {s[i].lat, s[i].lon}) /
                       (std::max(kMinLegTicks, s[i].playTick - s[i - 1].playTick) / 360000.0);
            };
            EXPECT_GT(kt(n - 1), 0.95 * kt(n - 2));
        }
    }
    EXPECT_GT(ways, 100);
}

TEST_F(AirMovement, TheLegThatEndsAWayRoundIsFlownAtTheWaysPace) {
    // Flying north at 225 kt when the next report (due in 29 s) lies far off
    // to the side: the way round is flown at one pace, faster than the
    // report's own speed, and the report falls due as that pace reaches it.
    // Planned from the way's last point, the leg onto the report keeps that
    // time, whether the way reaches the report on time or late: flown at the
    // mean of the way's pace and the report's speed, it came up to 1.3 s
    // later than the way had it.
    struct Row {
        const char* name;
        double offDeg, distanceM;
    };
    for (const Row& row : {Row{"on time", 61.0, 3300.0}, Row{"reached late", 96.0, 4600.0},
                           Row{"to the left, reached late", -150.0, 5000.0}}) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        tickCount.store(10000);
        const LaLo from{47.5, -122.3};
        const LaLo to = gf_destinationPoint(from, {row.offDeg * kDeg, row.distanceM * feetPerMetre});
        LiveAc& ac = flyToReport(from, to, 225.0, 0.0, AcPhase::flying);
        auto& s = ac.stream;
        ASSERT_GT(s.size(), 2u);
        const std::int32_t planned = s.back().playTick;
        while (s.size() > 2) s.pop_front();
        const StreamPoint last = s[0];
        ASSERT_EQ(last.turnPoint, 1);
        ASSERT_GT(last.groundSpeedKt, 225.0);
        ac.pose.latitude = last.lat;
        ac.pose.longitude = last.lon;
        ac.pose.heading = last.trackDeg * kDeg;
        tickCount.store(last.playTick);
        nextPosAir(ac);
        ASSERT_EQ(s.size(), 2u);
        EXPECT_NEAR(s[1].lat, to.lat, 1e-12);
        EXPECT_NEAR(s[1].playTick, planned, 1);
    }
}

TEST_F(AirMovement, AFlyingLegToALoneAltitudeSpikeKeepsToThePointsAroundIt) {
    // Points 3 s apart; the next one (or a run of them) thousands of feet off
    // where the aircraft is and off a point after it that agrees with that,
    // is a bad altitude: the leg climbs toward that point. A climb the points
    // go on with is flown toward the next.
    struct Row {
        const char* name;
        std::array<double, 4> altitudesFt;
        double poseFt;
        double perTick;  // ft
    };
    const Row rows[] = {
        {"a spike 5000 ft up", {3000.0, 8000.0, 3000.0, 3000.0}, 3000.0, 0.0},
        {"a spike 5000 ft down", {8000.0, 3000.0, 8060.0, 8120.0}, 8000.0, 0.1},
        {"a steady climb", {3000.0, 3060.0, 3120.0, 3180.0}, 3000.0, 0.2},
        {"the climb goes on up there", {3000.0, 8000.0, 8000.0, 8000.0}, 3000.0, 0.5},
        {"two spikes 5000 ft up in a row", {3090.0, 8000.0, 7980.0, 3000.0}, 3090.0, -0.1},
        {"on from the first of two spikes, kept low", {8000.0, 7980.0, 3000.0, 2940.0}, 3090.0, -0.15},
        {"two spikes down, then up there again", {8000.0, 3000.0, 3000.0, 7910.0}, 8000.0, -0.1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        const std::int32_t now = tickCount.load();
        std::deque<StreamPoint> stream;
        for (int i = 0; i < 4; ++i)
            stream.push_back(at({50.0, 8.0 + 0.01 * i}, row.altitudesFt[i], true, now + 300 * i, 0, 200));
        LiveAc& ac = aircraft(std::move(stream), Large, AcPhase::flying);
        ac.pose.altitude = row.poseFt;
        ac.motion.heightAboveGroundFt = 3000.0;
        stepAir(ac);
        EXPECT_NEAR(ac.motion.verticalPerTick, row.perTick, 1e-9);
    }
}

TEST_F(AirMovement, APointOnTheGroundIsJudgedForABadAltitudeAtTheAirportsAltitude) {
    // Against a point on the ground (the field at 300 ft), an airborne one is
    // a bad altitude when it lies further above the field than 1000 ft and
    // 100 ft a second; with no airport known nothing is told.
    struct Row {
        const char* name;
        bool airportKnown;
        double firstFt;  // below 0: on the ground
        double secondFt;
        std::int32_t ticks;
        bool contradict;
    };
    const Row rows[] = {
        {"5000 ft up, on the runway 1.3 s on", true, 5300.0, -1.0, 130, true},
        {"on the runway, 3000 ft up 10 s on", true, -1.0, 3300.0, 1000, true},
        {"a short final, on the runway 10 s on", true, 800.0, -1.0, 1000, false},
        {"2000 ft up, on the runway 9.9 s on", true, 2300.0, -1.0, 990, true},
        {"5000 ft up, no airport known", false, 5300.0, -1.0, 130, false},
        {"both on the ground", true, -1.0, -1.0, 130, false},
        {"both airborne 5000 ft apart", false, 5300.0, 300.0, 130, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.airportKnown)
            airport();
        else
            gf_clearCurrentAirport();
        const auto make = [](double ft, std::int32_t tick) {
            return ft < 0.0 ? at({50.0, 8.0}, 0.0, false, tick, 0, 60) : at({50.0, 8.0}, ft, true, tick, 0, 60);
        };
        const std::int32_t now = tickCount.load();
        EXPECT_EQ(gf_altitudesContradict(make(row.firstFt, now), make(row.secondFt, now + row.ticks)), row.contradict);
    }
}

TEST_F(AirMovement, AFlyingGapIsDeadReckonedAtNoMoreThanThreeTimesThePaceFlownAndFiftyKnots) {
    // The last report before a gap says `reportedKt`; the leg to it was flown
    // at `flownKt`. Beyond three times that and 50 kt (a bad report) the
    // dead-reckoned point lies where the pace flown takes the aircraft in 3 s.
    // A leg flown slower than the category's floor (a short first leg after
    // a late create) is judged at the floor.
    struct Row {
        double reportedKt;
        double flownKt;  // 0: the pose stood
        double pointKt;
    };
    for (const Row row : {Row{1e6, 300.0, 300.0}, Row{949.0, 300.0, 949.0}, Row{951.0, 300.0, 300.0},
                          Row{300.0, 250.0, 300.0}, Row{1e6, 0.0, 1e6}, Row{221.0, 35.0, 221.0}}) {
        SCOPED_TRACE(::testing::Message() << row.reportedKt << " kt reported, " << row.flownKt << " kt flown");
        g_liveAircraft.clear();
        LiveAc& ac = aircraft({at({47.0, 11.0}, 15000.0, true, 10000, 0.0, row.reportedKt)}, Large, AcPhase::flying);
        ac.onGround = 0;
        ac.pose.latitude = 47.0;
        ac.pose.longitude = 11.0;
        // A tick's step east at the pace flown.
        const LaLo step = gf_destinationPoint({47.0, 11.0}, {90.0 * kDeg, row.flownKt / 360000.0 * feetPerNm});
        ac.motion.stepLat = step.lat - 47.0;
        ac.motion.stepLon = step.lon - 11.0;
        extrapolateStreamPoint(ac, 20);
        ASSERT_EQ(ac.stream.size(), 2u);
        EXPECT_NEAR(ac.stream.back().groundSpeedKt, row.pointKt, row.pointKt * 1e-6);
    }
}
