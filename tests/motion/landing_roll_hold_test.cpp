// Aircraft that come to rest after touching down and stand there: a
// helicopter running on onto its pad, standing and lifting off again, judged
// tick by tick by the smoothness checker; the reports of an aircraft
// standing on its landing roll, taken as where it stands, and a hold there
// (theirs or dead reckoning's) that a report moving on could not have
// followed; and the speed of the touchdown report after the reports paused
// on the approach.

#include <gmock/gmock.h>

#include <memory>

#include "engine/engine_state.h"
#include "foundation/geodesy.h"
#include "motion/stream_checks.h"
#include "platform/simconnect/sim_model.h"
#include "support/motion_harness.h"
#include "support/temp_dir.h"

#include "parking_fixture.h"
#include "runway_fixture.h"

using namespace tavo::test;

namespace {

constexpr double kFieldFt = 300.0;
constexpr std::uint32_t kHexStanding = 0x484B41;

class LandingRollHold : public LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        EngineHarness::Options options;
        options.userPosition = LaLo{50.05, 8.05};
        harness = std::make_unique<MotionHarness>(options);
        gf_simModelSetTerrain([](double, double) { return kFieldFt; });
        gf_simModelSetJournalLimit(100000);
        runway = addAirportRunway(RunwaySpec{});
    }
    void TearDown() override {
        gf_clearRunwayTable();
        harness.reset();
        LogFileTest::TearDown();
    }

    FacilityRunway runway;
    std::unique_ptr<MotionHarness> harness;
};

class StandingReports : public ParkingTest {};

}  // namespace

TEST_F(LandingRollHold, AHelicopterRunsOnOntoItsPadStandsThereAndLiftsOffAgain) {
    // Slowing from 45 to 25 kt on a 600 ft/min descent, touching down at
    // 25 kt and running on to rest, 100 s on the pad, then away again,
    // 400 m north of the airport's runway.
    Route route(0xD00041, placeOn(runway, 1000.0, -400.0), 270.0, 45.0, kFieldFt + 300.0, true);
    route.identity("N135LF", "N135LF", "EC35", "");
    route.climb(-600).speedTo(25.0, 30).land().speedTo(0.0, 10).straight(100);
    route.speedTo(20.0, 8).takeOff().climb(700).speedTo(60.0, 10).straight(5);
    harness->add(route, 2.0);
    // Until its last report is due: the dead reckoning after it is no part
    // of this.
    harness->run(static_cast<int>(route.duration() * 100.0) + 3000);
    harness->writePlot("helicopter_pad");

    const AircraftRecord* r = harness->record(route.hexid());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->category, Rotorcraft);
    const MotionCheckResult result = SmoothnessChecker{}.checkAll(*r);
    EXPECT_TRUE(result.findings.empty()) << result.summary();
    EXPECT_GT(result.judged.at(MotionCheck::StandingStill), 0u);
    // It stands where its reports have it stand (once it has had the time
    // to settle that the checker gives it), not where braking from a run-on
    // at an even speed would have carried it past them.
    std::size_t standing = 0;
    double settledBy = -1.0;
    for (const ReportedPosition& p : r->reports) {
        if (p.airborne || p.groundSpeedKt > 0.0) continue;
        if (settledBy < 0.0) settledBy = p.dueTick + 1000.0;
        if (p.dueTick < settledBy) continue;
        for (const MotionSample& s : r->samples)
            if (s.tick == static_cast<std::int32_t>(p.dueTick)) {
                ++standing;
                EXPECT_LT(gf_distanceNm({s.pose.latitude, s.pose.longitude}, p.position) * metresPerNm, 0.2)
                    << "at tick " << s.tick;
            }
    }
    EXPECT_GT(standing, 20u);
}

TEST_F(StandingReports, AReportOfStandingNearWhereItStandsIsWhereItStands) {
    // The last point stands (or moves) at kA1; the report lies `northM` on.
    struct Row {
        const char* what;
        AcPhase phase;
        bool helicopter, flying, extrapolating;
        double lastKt, northM, pointKt;
        bool accepted, copyOfLast;
    };
    using P = AcPhase;
    const Row rows[] = {
        // A helicopter on the ground stands like any aircraft: a report of
        // it standing a little off (scatter, or where braking took it past
        // the report) is where it stands; in the air it hovers there.
        {"helicopter taxiing, standing 3 m off", P::taxi, true, false, false, 0, 3.0, 0, true, true},
        {"helicopter taxiing, standing 49 m off", P::taxi, true, false, false, 0, 49.0, 0, true, true},
        {"helicopter taxiing, standing 51 m off", P::taxi, true, false, false, 0, 51.0, 0, true, false},
        {"helicopter taxiing, moving 3 m off", P::taxi, true, false, false, 0, 3.0, 2, true, false},
        {"helicopter taxiing into it, standing 3 m off", P::taxi, true, false, false, 5, 3.0, 0, true, false},
        {"helicopter hovering, still 3 m off", P::flying, true, true, false, 0, 3.0, 0, true, false},
        // At rest on the landing roll the reports of it standing there hold
        // it there, a repeat of a rolling point's position is dropped.
        {"landing roll at rest, standing there", P::landing_roll, false, false, false, 0, 0.0, 0, true, true},
        {"landing roll at rest, standing 3 m off", P::landing_roll, false, false, false, 0, 3.0, 0, true, true},
        {"landing roll at rest, held by dead reckoning", P::landing_roll, false, false, true, 0, 0.0, 0, true, true},
        {"landing roll at rest, moving off", P::landing_roll, false, false, false, 0, 10.0, 5, true, false},
        {"landing roll at 40 kt, its position repeated", P::landing_roll, false, false, false, 40, 0.0, 0, false, false},
        {"helicopter on its run-on at rest, standing 1 m off", P::landing_roll, true, false, false, 0, 1.0, 0, true,
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        g_liveAircraft.clear();
        LiveAc& ac = onGround(kHexStanding, kA1, 0.0, row.phase);
        if (row.helicopter) ac.category = Rotorcraft;
        ac.onGround = row.flying ? 0 : 1;
        StreamPoint& last = ac.stream.back();
        last.groundSpeedKt = row.lastKt;
        last.airborne = row.flying ? 1 : 0;
        last.playTick = 10100;
        if (row.extrapolating) {
            last.stationary = 1;
            ac.extrapolationCount = 12;
        }
        StreamPoint p = groundPoint(from(kA1, 0.0, row.northM), 10300, row.pointKt);
        p.airborne = row.flying ? 1 : 0;
        ASSERT_EQ(checkExtendingSituations(ac, p), row.accepted);
        if (!row.accepted) continue;
        EXPECT_EQ(p.stationary != 0 && p.lat == kA1.lat && p.lon == kA1.lon, row.copyOfLast);
        // A copy holds it as long as the report says.
        if (row.copyOfLast) EXPECT_EQ(p.playTick, 10300);
        if (row.extrapolating) EXPECT_EQ(ac.extrapolationCount, 0);
    }
}

TEST_F(StandingReports, TheTouchdownReportKeepsItsSpeedOnlyOverADeadReckonedApproach) {
    // The approach's last point at 108 kt; the report on the ground 500 m
    // on, at `pointKt`.
    struct Row {
        const char* what;
        bool reckoned;  // the last point was dead reckoning's
        double pointKt, speedAfter;
    };
    const Row rows[] = {
        {"reported, faster", false, 125, 108},
        {"reported, slower", false, 100, 100},
        {"dead reckoned, faster", true, 125, 125},
        {"dead reckoned, slower", true, 100, 100},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        g_liveAircraft.clear();
        LiveAc& ac = onGround(kHexStanding, kA1, 0.0, AcPhase::landing);
        ac.onGround = 0;
        StreamPoint& last = ac.stream.back();
        last.airborne = 1;
        last.altitudeFt = 600.0;
        last.groundSpeedKt = 108.0;
        if (row.reckoned) ac.extrapolationCount = 17;
        StreamPoint p = groundPoint(from(kA1, 0.0, 500.0), 12000, row.pointKt);
        ASSERT_TRUE(checkExtendingSituations(ac, p));
        EXPECT_EQ(p.groundSpeedKt, row.speedAfter);
        EXPECT_EQ(ac.extrapolationCount, 0);
    }
}

TEST_F(StandingReports, AHoldOnTheLandingRollEndsWhenTheReportAfterItCouldNotBeReachedFromIt) {
    // At rest on the landing roll at kA1, nose 340, the stream a hold there
    // (due `holdDue`, and a copy of it 300 ticks later); a report moving on
    // comes, `metres` off to the north-east.
    struct Row {
        const char* what;
        double standsOffM;  // from the hold, short of it along its nose
        std::int32_t holdDue, reportDue;
        double metres, reportKt;
        bool endsNow;
        bool reckoned;  // the hold is where dead reckoning stopped it
    };
    const Row rows[] = {
        // The feed repeated the position while the aircraft went on: 200 m
        // at 6.4 kt from the last copy is a minute, there is 1 s.
        {"copies, the report 200 m on 1 s after them", 0.0, 12965, 13365, 200.0, 6.4, true, false},
        // It stood there, and set off in time for the report.
        {"a stop, the report 5 m on 5 s after it", 0.0, 12700, 13500, 5.0, 5.0, false, false},
        // Still rolling into the hold: the roll brakes to it first.
        {"rolling into the hold 30 m short", 30.0, 12965, 13365, 200.0, 6.4, false, false},
        // Its dead reckoning braked it to rest while the reports paused: 680 m
        // at 9.9 kt is over two minutes, there are 29 s.
        {"dead-reckoned to rest, the report 680 m on 29 s after", 0.0, 12259, 15177, 680.0, 9.9, true, true},
        // A guessed stop the report leaves time to stand at stays too.
        {"dead-reckoned to rest, the report 5 m on 5 s after", 0.0, 12700, 13500, 5.0, 5.0, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        g_liveAircraft.clear();
        LiveAc& ac = onGround(kHexStanding, from(kA1, 160.0, row.standsOffM), 340.0, AcPhase::landing_roll);
        StreamPoint hold = groundPoint(kA1, row.holdDue, 0.0);
        hold.stationary = 1;
        ac.stream = {hold, hold};
        ac.stream.back().playTick = row.holdDue + 300;
        ac.extrapolationCount = row.reckoned ? 1 : 0;
        StreamPoint p = groundPoint(from(kA1, 40.0, row.metres), row.reportDue, row.reportKt);
        ASSERT_TRUE(checkExtendingSituations(ac, p));
        ac.stream.push_back(p);
        if (row.endsNow) {
            ASSERT_EQ(ac.stream.size(), 2u);
            EXPECT_EQ(ac.stream.front().playTick, tickCount.load() + 1);
        } else {
            ASSERT_EQ(ac.stream.size(), 3u);
            EXPECT_EQ(ac.stream.front().playTick, row.holdDue);
        }
    }
}

TEST_F(StandingReports, AReportOfASpeedNoRollGoesTakesTheSpeedItsPositionTells) {
    // The last point on the runway at `lastKt`; the next report `metres`
    // further on, `ticks` later, at `pointKt`.
    struct Row {
        const char* what;
        AcPhase phase;
        double lastKt, metres;
        std::int32_t ticks;
        double pointKt, speedAfter;
    };
    using P = AcPhase;
    const Row rows[] = {
        // 500 m in 19.4 s is 50.1 kt: slowing evenly from 60 it ends at 40.2.
        {"rolling, 1e6 kt", P::landing_roll, 60, 500.0, 1940, 1e6, 40.2},
        // Slowing evenly from 80 it would end at 20.2, below half the pace.
        {"rolling fast, 1e6 kt", P::landing_roll, 80, 500.0, 1940, 1e6, 25.05},
        // The touchdown does not speed it up: no more than the last point.
        {"touching down, 1e6 kt", P::landing, 65, 355.0, 1055, 1e6, 65.0},
        // Reports a few seconds apart tell no pace to read an end speed from.
        {"rolling, reports 5 s apart", P::landing_roll, 60, 40.0, 500, 1e6, 60.0},
        {"rolling, no speed given", P::landing_roll, 60, 500.0, 1940, std::nan(""), 40.2},
        {"rolling, a speed a roll goes", P::landing_roll, 60, 500.0, 1940, 30, 30.0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        g_liveAircraft.clear();
        LiveAc& ac = onGround(kHexStanding, kA1, 0.0, row.phase);
        StreamPoint& last = ac.stream.back();
        last.groundSpeedKt = row.lastKt;
        last.playTick = 10100;
        StreamPoint p = groundPoint(from(kA1, 0.0, row.metres), 10100 + row.ticks, row.pointKt);
        ASSERT_TRUE(checkExtendingSituations(ac, p));
        EXPECT_NEAR(p.groundSpeedKt, row.speedAfter, 0.1);
    }
}

TEST_F(StandingReports, AReportFarOffToTheSideOfARollStoppedByDeadReckoningIsTheTurnOffItMadeMeanwhile) {
    // At rest on the landing roll at kA1, nose 340, held there by dead
    // reckoning after its reports paused; the next report lies `metres` off
    // on `bearing`.
    struct Row {
        const char* what;
        double bearing, metres;
        bool accepted;
    };
    const Row rows[] = {
        // Off the runway to the east and a little behind: the aircraft
        // turned off while its reports paused. Refused, it stood on the
        // runway until its world ended while every report of its taxi came.
        {"200 m off to the side, 17 m behind", 75.0, 200.0, true},
        {"60 m off to the side, 40 m behind", 104.0, 72.0, true},
        // Behind along the runway: the roll ran past it, and goes on.
        {"40 m straight behind", 160.0, 40.0, false},
        {"100 m behind, 50 m to the side", 133.0, 112.0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        g_liveAircraft.clear();
        LiveAc& ac = onGround(kHexStanding, kA1, 340.0, AcPhase::landing_roll);
        StreamPoint& last = ac.stream.back();
        last.groundSpeedKt = 0.0;
        last.stationary = 1;
        last.playTick = 14347;
        ac.extrapolationCount = 12;
        StreamPoint p = groundPoint(from(kA1, row.bearing, row.metres), 17307, 11.6);
        ASSERT_EQ(checkExtendingSituations(ac, p), row.accepted);
        if (row.accepted) EXPECT_EQ(ac.extrapolationCount, 0);
    }
}
