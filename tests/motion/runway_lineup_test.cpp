// The line-up of departing aircraft on runway 09 of the test airport: a lone
// stop report held back, the line-up state made on arrival at a point and by
// the holding watch, the turn to the runway heading while waiting, the point
// behind dropped once, the takeoff start, the start turn onto the runway and
// the ground turn that ends on the runway heading.

#include <gmock/gmock.h>

#include <cmath>
#include <string>
#include <vector>

#include "motion/runway_lineup.h"
#include "motion/straight_legs.h"
#include "motion/taxi_smoothing.h"

#include "taxi_fixture.h"

using namespace tavo::test;

namespace {

class LineUp : public TaxiTest {
protected:
    void SetUp() override {
        TaxiTest::SetUp();
        airport();
    }

    // `pastM` metres past the 09 threshold, `rightM` to the right of the
    // centre line.
    LaLo onRunway(double pastM, double rightM = 0.0) const {
        return placeOn(runway, -spec.lengthM / 2.0 + pastM, rightM);
    }

    // A departure from FRA taxiing after its pushback, on the ground.
    static LiveAc& departing(std::deque<StreamPoint> stream, double headingDeg, const char* origin = "FRA") {
        LiveAc& ac = taxiing(std::move(stream), AcPhase::taxi, headingDeg);
        ac.origin = IataCode(origin);
        return ac;
    }

    // One tick on: the clock and the per-tick watch.
    static void tick(LiveAc& ac) {
        tickCount.store(tickCount.load() + 1);
        handleNoFutureOnRunway(ac);
    }

    static StreamPoint stop(LaLo where, std::int32_t playTick) {
        StreamPoint p = ground(where, playTick, 0.0);
        p.stationary = 1;
        return p;
    }
};

}  // namespace

TEST_F(LineUp, AStartPositionIsUnambiguousNearTheCentreLineAtTheStartOfTheRunway) {
    struct Row {
        const char* name;
        double runnerUpScore;
        bool runnerUp;
        double crossM;
        double fromThresholdM;
        bool start;
    };
    const std::vector<Row> rows{
        {"clear", 200.0, true, 0.0, 100.0, true},
        {"no runner-up", 0.0, false, 0.0, 100.0, true},
        {"runner-up 20 behind", 25.0, true, 0.0, 100.0, false},
        {"runner-up just over 20 behind", 25.000001, true, 0.0, 100.0, true},
        {"7.5 m off the centre line", 200.0, true, -7.5, 100.0, true},
        {"7.51 m off", 200.0, true, 7.51, 100.0, false},
        {"700 m before the threshold", 200.0, true, 0.0, -700.0, true},
        {"700.1 m before", 200.0, true, 0.0, -700.1, false},
        {"at the end of the start window", 200.0, true, 0.0, 1200.0, true},
        {"beyond it", 200.0, true, 0.0, 1200.1, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RunwayMatch m;
        m.score = 5.0;
        m.runnerUpScore = row.runnerUpScore;
        if (row.runnerUp) m.runnerUp = RunwayRunnerUp("09-27:27");
        m.crossTrackM = row.crossM;
        m.fromThresholdM = row.fromThresholdM;
        m.startWindowM = 1200.0;
        EXPECT_EQ(isRunwayStartPosition(m), row.start);
    }
}

TEST_F(LineUp, ALoneStopReportOnTheRunwayStartIsHeldBackUntilTheNextReport) {
    // Rolling at 20 kt on a last leg 10 degrees off the runway heading.
    const LaLo stopAt = onRunway(150.0);
    const LaLo before = ahead(stopAt, 280.0, 60.0);
    const auto rolling = [&] {
        return std::deque<StreamPoint>{ground(ahead(before, 280.0, 60.0), 10000, 20.0), ground(before, 10600, 20.0)};
    };
    struct Row {
        const char* name;
        bool confirmed;  // the next report is a stop within 0.8 m
    };
    for (const Row& row : std::vector<Row>{{"confirmed", true}, {"moved on", false}}) {
        SCOPED_TRACE(row.name);
        LiveAc& ac = departing(rolling(), 100.0);
        ASSERT_TRUE(isTaxiPointOnRunway(ac, stop(stopAt, 10500)));
        EXPECT_EQ(ac.stream.size(), 2u);
        StreamPoint next = row.confirmed ? stop(ahead(stopAt, 0.0, 0.8), 11500) : ground(onRunway(300.0), 11500, 15.0);
        EXPECT_FALSE(isTaxiPointOnRunway(ac, next));
        ASSERT_EQ(ac.stream.size(), row.confirmed ? 3u : 2u);
        if (row.confirmed) {
            // Played after the last point, where it was reported.
            EXPECT_EQ(ac.stream[2].lat, stopAt.lat);
            EXPECT_EQ(ac.stream[2].playTick, 10601);
        }
        // Released either way: the same report again is not appended twice.
        EXPECT_FALSE(isTaxiPointOnRunway(ac, next));
        EXPECT_EQ(ac.stream.size(), row.confirmed ? 3u : 2u);
    }

    // Never held back: another origin, too slow or too fast, at an angle, off
    // the centre line, not active.
    struct Other {
        const char* name;
        const char* origin;
        double speedKt;
        double lastLegDeg;
        double rightM;
        AcSimState state;
    };
    const std::vector<Other> others{
        {"arrival", "AMS", 20.0, 280.0, 0.0, AcSimState::active},
        {"1.9 kt", "FRA", 1.9, 280.0, 0.0, AcSimState::active},
        {"35.1 kt", "FRA", 35.1, 280.0, 0.0, AcSimState::active},
        {"16 degrees off", "FRA", 20.0, 286.0, 0.0, AcSimState::active},
        {"being created", "FRA", 20.0, 280.0, 0.0, AcSimState::adding2sim},
    };
    for (const Other& o : others) {
        SCOPED_TRACE(o.name);
        const LaLo at = onRunway(150.0, o.rightM);
        const LaLo last = ahead(at, o.lastLegDeg, 60.0);
        LiveAc& ac = departing({ground(ahead(last, o.lastLegDeg, 60.0), 10000, o.speedKt), ground(last, 10600, o.speedKt)},
                               100.0, o.origin);
        ac.simState = o.state;
        EXPECT_FALSE(isTaxiPointOnRunway(ac, stop(at, 10500)));
    }
}

TEST_F(LineUp, AnAircraftStandingOnTheRunwayTurnsToItsHeadingAfterThreeSeconds) {
    LiveAc& ac = departing({ground(onRunway(100.0), 10000, 0.0)}, 110.0);
    std::vector<double> headings;
    for (int i = 0; i < 700; ++i) {
        tick(ac);
        headings.push_back(ac.pose.heading);
    }
    // The movement is measured over 2 s, then the aircraft stands 3 s: it
    // turns from the 500th tick on, every tick, by its turn rate.
    EXPECT_EQ(headings[498], 110.0 * kDeg);
    for (int i = 499; i < 690; ++i) EXPECT_NEAR(headings[i] - headings[i + 1], ac.turnRateRad, 1e-12) << i;
    ASSERT_TRUE(ac.motion.lineUp.key.has_value());
    EXPECT_EQ(ac.motion.lineUp.key->view(), "09-27:09");
    EXPECT_EQ(ac.motion.lineUp.noFuture, 1);
    // Within 3 degrees it goes on turning until it faces the runway.
    for (int i = 0; i < 300; ++i) tick(ac);
    EXPECT_NEAR(ac.pose.heading, 90.0 * kDeg, 1e-9);

    // 2 degrees off with a line-up state not made by the holding watch: it
    // stays as it is.
    LiveAc& other = departing({ground(onRunway(100.0), 10000, 0.0)}, 92.0);
    other.motion.lineUp.key = RunwayEndKey("09-27:09");
    other.motion.lineUp.heading = 90.0 * kDeg;
    for (int i = 0; i < 700; ++i) tick(other);
    EXPECT_EQ(other.pose.heading, 92.0 * kDeg);
    EXPECT_TRUE(other.motion.lineUp.key.has_value());
}

TEST_F(LineUp, AStopOnTheRunwayLinesUpUnlessTheAircraftCrossesIt) {
    // Stopping on the runway start 20 degrees off its heading; the point
    // after the stop shows where it goes.
    struct Row {
        const char* name;
        double onwardDeg;  // bearing from the stop to the next moving point
        bool linedUp;
    };
    const std::vector<Row> rows{
        {"along", 100.0, true},
        {"backtracking", 270.0, true},
        {"crossing at 45 degrees", 135.0, false},
    };
    const LaLo stopAt = onRunway(200.0);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LiveAc& ac = departing({ground(ahead(stopAt, 290.0, 40.0), 10000, 10.0), stop(stopAt, 10500),
                                ground(ahead(stopAt, row.onwardDeg, 50.0), 11500, 10.0)},
                               110.0);
        checkRunwayOccupancy(ac);
        EXPECT_EQ(ac.motion.lineUp.key.has_value(), row.linedUp);
        if (row.linedUp) EXPECT_NEAR(*ac.motion.lineUp.heading, 90.0 * kDeg, 1e-9);
    }

    // A stop with nothing after it lines up once the aircraft has stood
    // there for 3 s.
    LiveAc& ac = departing({ground(ahead(stopAt, 290.0, 40.0), 10000, 10.0), stop(stopAt, 10500)}, 110.0);
    checkRunwayOccupancy(ac);
    EXPECT_FALSE(ac.motion.lineUp.key.has_value());
    tickCount.store(tickCount.load() + 299);
    checkRunwayOccupancy(ac);
    EXPECT_FALSE(ac.motion.lineUp.key.has_value());
    tickCount.store(tickCount.load() + 1);
    checkRunwayOccupancy(ac);
    EXPECT_TRUE(ac.motion.lineUp.key.has_value());
    // Once it no longer rolls toward a takeoff the state goes.
    ac.phase = AcPhase::parking;
    checkRunwayOccupancy(ac);
    EXPECT_FALSE(ac.motion.lineUp.key.has_value());
}

TEST_F(LineUp, APointBehindALinedUpAircraftIsDroppedOnce) {
    const LaLo here = onRunway(200.0);
    LiveAc& ac = departing({ground(here, 10000, 0.0), ground(ahead(here, 270.0, 100.0), 10500, 5.0),
                            ground(ahead(here, 270.0, 100.0), 11000, 5.0), ground(onRunway(600.0), 12000, 20.0)},
                           90.0);
    ac.motion.lineUp.key = RunwayEndKey("09-27:09");
    ac.motion.lineUp.heading = 90.0 * kDeg;
    EXPECT_TRUE(checkTowedAircraft(ac));
    EXPECT_EQ(ac.stream.size(), 3u);
    EXPECT_EQ(ac.motion.lineUp.pointDropped, 1);
    // The second is kept, and the line-up ends.
    EXPECT_FALSE(checkTowedAircraft(ac));
    EXPECT_EQ(ac.stream.size(), 3u);
    EXPECT_FALSE(ac.motion.lineUp.key.has_value());
    EXPECT_EQ(ac.phase, AcPhase::taxi);
}

TEST_F(LineUp, TheTakeoffRollStartsWhenALinedUpDepartureMovesOffAlongTheRunway) {
    struct Row {
        const char* name;
        bool arrivingHere;
        AcPhase prevPhase;
        double nextPastM;
        bool starts;
    };
    const std::vector<Row> rows{
        {"departure", false, AcPhase::pushed_back, 600.0, true},
        // Arriving here but not from a stand: a runway crossing after landing.
        {"arriving", true, AcPhase::taxi, 600.0, false},
        {"arriving from a stand", true, AcPhase::pushed_back, 600.0, true},
        {"next point 4 m ahead", false, AcPhase::pushed_back, 204.0, false},
        // A stop report where it stands, not yet marked as one: no point
        // behind, and no start test used up on it.
        {"a stop still to be marked", false, AcPhase::pushed_back, 200.0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LiveAc& ac = departing({ground(onRunway(200.0), 10000, 0.0), ground(onRunway(row.nextPastM), 11000, 30.0)}, 90.0);
        ac.arrivingHere = row.arrivingHere ? 1 : 0;
        ac.prevPhase = row.prevPhase;
        ac.motion.lineUp.key = RunwayEndKey("09-27:09");
        ac.motion.lineUp.heading = 90.0 * kDeg;
        EXPECT_FALSE(checkTowedAircraft(ac));
        EXPECT_EQ(ac.stream.size(), 2u);
        EXPECT_EQ(ac.phase == AcPhase::takeoff_roll, row.starts);
        EXPECT_EQ(ac.takeoffRunway.has_value(), row.starts);
        if (row.starts) EXPECT_EQ(ac.takeoffRunway->endName.view(), "09");
        EXPECT_EQ(ac.motion.lineUp.key.has_value(), row.nextPastM == 200.0);
    }
}

TEST_F(LineUp, AStartTurnOntoTheRunwayBecomesTheTurnToItsHeading) {
    // Standing on the runway start at 150 degrees; the leg's bearing decides
    // whether the runway heading (90) lies on the way.
    struct Row {
        double legDeg;
        bool linedUp;
    };
    for (const Row& row : std::vector<Row>{{80.0, true}, {100.0, false}, {200.0, false}}) {
        SCOPED_TRACE(row.legDeg);
        LiveAc& ac = departing({ground(onRunway(100.0), 10000, 0.0), ground(onRunway(500.0), 11000, 10.0)}, 150.0);
        ac.motion.legBearing = row.legDeg * kDeg;
        ac.motion.startTurnAngleDeg = std::fabs(150.0 - row.legDeg);
        ac.motion.startTurn = 1;
        noteRunwayEntry(ac);
        EXPECT_EQ(ac.motion.lineUp.key.has_value(), row.linedUp);
        EXPECT_NEAR(ac.motion.startTurnAngleDeg, row.linedUp ? 60.0 : std::fabs(150.0 - row.legDeg), 1e-6);
    }
}

TEST_F(LineUp, AGroundTurnIntoALineUpStopEndsOnTheRunwayHeading) {
    // From the taxiway heading south-east onto the runway start, stopping
    // there: with a line-up state the turn ends facing 090, without one along
    // its last leg.
    const LaLo stopAt = onRunway(150.0);
    const LaLo corner = ahead(stopAt, 300.0, 50.0);
    for (const bool lineUp : {true, false}) {
        SCOPED_TRACE(lineUp);
        LiveAc& ac = departing({ground(ahead(corner, 0.0, 40.0), 10000, 10.0), ground(corner, 10500, 10.0),
                                ground(stopAt, 11000, 5.0), stop(stopAt, 11500)},
                               180.0);
        if (lineUp) {
            ac.motion.lineUp.key = RunwayEndKey("09-27:09");
            ac.motion.lineUp.heading = 90.0 * kDeg;
        }
        ASSERT_TRUE(makeTurnGnd(ac, 60.0));
        const CurvePoint end = sampleGroundTurn(ac.motion.path.turn, 1.0);
        ASSERT_TRUE(end.valid);
        EXPECT_NEAR(end.heading / kDeg, lineUp ? 90.0 : 120.0, 0.5);
    }
}
