// The takeoff roll of a departure that never had a normal taxi start (off a
// stand, or towed): on the motion harness, departures entering runway 09 from
// a taxiway and rolling with or without a stop, and ones that enter at an
// intersection, backtrack toward the threshold and turn round before they
// roll. The roll starts once the aircraft faces along it, on the runway it
// rolls along, from where the aircraft is; nothing slides or rolls backwards.
// And the start itself, row by row.

#include <gmock/gmock.h>

#include "motion/straight_legs.h"
#include "motion/takeoff_start.h"

#include "stand_run_fixture.h"
#include "taxi_fixture.h"

using namespace tavo::test;

namespace {

class TowedTakeoff : public StandRunTest {};

}  // namespace

TEST_F(TowedTakeoff, TheRollStartsFacingAlongItFromWhereTheAircraftIs) {
    struct Row {
        const char* name;
        double everyS;
        double backtrackKt;  // 0: turns straight onto 09
        double stopS;        // standing lined up before the roll
    };
    const Row rows[] = {
        {"rolling line-up, a report every 3 s", 3.0, 0.0, 0.0},
        {"backtrack and a stop, every 2 s", 2.0, 15.0, 15.0},
        // Still backtracking 30 s behind its reports as they roll fast: the
        // roll waits until it has turned round.
        {"backtrack, rolling, every 1 s", 1.0, 15.0, 0.0},
        {"fast backtrack, rolling, every 3 s", 3.0, 30.0, 0.0},
    };
    std::uint32_t hexid = 0xE40000;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ++hexid;
        const double kt = row.backtrackKt > 0.0 ? row.backtrackKt : 10.0;
        const double mps = kt * 0.5144444444444445;
        // A quarter turn in 10 s at this speed has this radius (m); the
        // backtrack's U-turn (10 s at 6 kt) this one: it backtracks that far
        // right of the centre line and rolls that far left of it.
        const double radius = mps * 10.0 / (pi / 2.0);
        const double uTurn = 6.0 * 0.5144444444444445 * 10.0 / pi;
        const bool backtrack = row.backtrackKt > 0.0;
        // From 200 m north of the runway, entering it 800 m past the 09
        // threshold (or 100 m past it) with a quarter turn.
        const double entryM = backtrack ? 800.0 : 100.0;
        Route r = ground(hexid, onField(entryM + (backtrack ? radius : -radius), -200.0), 180.0, kt);
        r.straight((200.0 - radius + (backtrack ? uTurn : 0.0)) / mps);
        if (backtrack) {
            r.turn(90, 10).straight((entryM - 2.0 * radius - 100.0) / mps).speedTo(6.0, 4).turn(180, 10);
        } else {
            r.turn(-90, 10);
        }
        if (row.stopS > 0.0) r.speedTo(0.0, 3).straight(row.stopS);
        r.speedTo(150.0, 40).takeOff().climb(2000).straight(20);
        const TrackVerdict v = run(hexid, schedule({{r, std::nullopt}}, row.everyS) + 4000, AcPhase::flying);

        EXPECT_THAT(v.phases, ::testing::IsSupersetOf({AcPhase::taxi, AcPhase::takeoff_roll, AcPhase::takeoff}));
        EXPECT_THAT(newLogLines(), ::testing::HasSubstr("KLM B738 take off from FRA runway 09 ..."));
        // The turn round at the runway's end is the taxi's (its rolling
        // U-turn is not judged here).
        if (!backtrack || row.stopS > 0.0) EXPECT_LE(v.worstNoseDeg, 30.0) << "at tick " << v.worstTick;
        EXPECT_LE(v.worstNoseDegIn(AcPhase::takeoff_roll), 30.0);
        EXPECT_LE(v.worstNoseDegIn(AcPhase::takeoff), 30.0);
        EXPECT_EQ(v.fastestBackwardsKt, 0.0);
    }
    harness->writePlot("towed_takeoffs");
}

namespace {

class TowedRollStart : public TaxiTest {
protected:
    void SetUp() override {
        TaxiTest::SetUp();
        airport();
    }
    LaLo onRunway(double pastM) const { return placeOn(runway, -spec.lengthM / 2.0 + pastM, 0.0); }
};

}  // namespace

TEST_F(TowedRollStart, ItWaitsUntilTheAircraftFacesAlongTheRollAndDropsThePointsItPassed) {
    struct Row {
        const char* name;
        double offDeg;  // the aircraft's heading off the way the reports roll
        bool turning;   // turning on the spot
        bool starts;
    };
    const Row rows[] = {
        {"facing along", 0.0, false, true},
        {"just within 30 degrees off", 29.99, false, true},
        {"just beyond 30 degrees off", 30.01, false, false},
        {"facing back along the runway", 180.0, false, false},
        {"along, still turning on the spot", 0.0, true, false},
    };
    const double rolls = gf_bearing(onRunway(360.0), onRunway(500.0)) / kDeg;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        // At 300 m along 09; a point it passed 40 m back (at 10 kt), one
        // 60 m ahead and the reports rolling fast along 090 after it.
        LiveAc& ac = taxiing({ground(onRunway(300.0), 10000, 20.0), ground(onRunway(260.0), 10100, 10.0),
                              ground(onRunway(360.0), 10300, 30.0), ground(onRunway(500.0), 10600, 60.0)},
                             AcPhase::taxi, rolls + row.offDeg);
        ac.motion.legTimeOverride = row.turning ? 1 : 0;
        EXPECT_EQ(startTowedTakeoffRoll(ac), row.starts);
        EXPECT_EQ(ac.phase, row.starts ? AcPhase::takeoff_roll : AcPhase::taxi);
        EXPECT_EQ(ac.motion.towedRollPending, row.starts ? 0 : 1);
        if (!row.starts) continue;
        // The roll runs along 09 from here: the point behind is gone.
        ASSERT_TRUE(ac.takeoffRunway.has_value());
        EXPECT_EQ(ac.takeoffRunway->endName.view(), "09");
        EXPECT_EQ(ac.motion.takeoffRunwayMatched, 1);
        ASSERT_EQ(ac.stream.size(), 3u);
        EXPECT_EQ(ac.stream[1].groundSpeedKt, 30.0);
    }

    // A roll left waiting starts at the next point reached facing along it.
    LiveAc& ac = taxiing({ground(onRunway(300.0), 10000, 20.0), ground(onRunway(400.0), 10400, 40.0),
                          ground(onRunway(600.0), 10800, 60.0)},
                         AcPhase::taxi, 270.0);
    EXPECT_FALSE(startTowedTakeoffRoll(ac));
    EXPECT_FALSE(checkTowedAircraft(ac));
    EXPECT_EQ(ac.phase, AcPhase::taxi);
    ac.pose.heading = 85.0 * kDeg;
    EXPECT_FALSE(checkTowedAircraft(ac));
    EXPECT_EQ(ac.phase, AcPhase::takeoff_roll);
    EXPECT_EQ(ac.motion.towedRollPending, 0);

    // A lined-up departure still turning onto the runway keeps its line-up
    // until it faces along it.
    LiveAc& lined = taxiing({ground(onRunway(300.0), 10000, 0.0), ground(onRunway(600.0), 11000, 30.0)},
                            AcPhase::taxi, 150.0);
    lined.motion.lineUp.key = RunwayEndKey("09-27:09");
    lined.motion.lineUp.heading = 90.0 * kDeg;
    EXPECT_FALSE(checkTowedAircraft(lined));
    EXPECT_EQ(lined.phase, AcPhase::taxi);
    EXPECT_TRUE(lined.motion.lineUp.key.has_value());
    lined.pose.heading = 100.0 * kDeg;
    EXPECT_FALSE(checkTowedAircraft(lined));
    EXPECT_EQ(lined.phase, AcPhase::takeoff_roll);
    EXPECT_FALSE(lined.motion.lineUp.key.has_value());
}
