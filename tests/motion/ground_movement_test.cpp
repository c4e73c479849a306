// Planning ground legs: a parked aircraft's stationary point, the slow stream
// that looks for a stand, the splits of a sharply turning last leg and of a
// leg whose speed changes, the turn fitted to the leg, the turn in place, the
// Light aircraft's backtrack, and the taxi-in points onto a stand.

#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "airports/loaded_airport.h"
#include "engine/stands.h"
#include "motion/ground_movement.h"
#include "support/stand_table.h"

#include "air_fixture.h"

using namespace tavo::test;

namespace {

constexpr double kNmPerM = 1.0 / 1852.0;
constexpr double kKtPerMps = 1.0 / 0.5144444444444445;

class GroundMovement : public AirTest {
protected:
    void TearDown() override {
        clearStandTable();
        gf_clearLoadedAirport();
        AirTest::TearDown();
    }
    // Taxiing from (50, 8) toward a point `metres` away at `bearingDeg`, at
    // `frontKt` and `nextKt`, heading north, the next point due later than any
    // plan here.
    LiveAc& taxiing(double metres, double bearingDeg, double frontKt, double nextKt) {
        const LaLo from{50.0, 8.0};
        const LaLo to = gf_destinationPoint(from, {bearingDeg * kDeg, metres * feetPerMetre});
        StreamPoint a = point(from.lat, from.lon, 0.0, false, 10000);
        StreamPoint b = point(to.lat, to.lon, 0.0, false, 15000);
        a.groundSpeedKt = frontKt;
        b.groundSpeedKt = nextKt;
        LiveAc& ac = aircraft({a, b}, Large, AcPhase::taxi);
        ac.pose.heading = 0.0;
        ac.prevPhase = AcPhase::taxi;
        ac.taxiSpeedRef = 10.0;
        ac.motion.advanceLimit = 100000;
        ac.motion.delayLimit = 100000;
        ac.motion.legBearing = bearingDeg * kDeg;
        return ac;
    }
    static std::int32_t dueIn(const LiveAc& ac) { return ac.stream[1].playTick - tickCount.load(); }
    // The only aircraft, taxiing north as above from a point just reached to
    // one due in `dueInTicks`.
    LiveAc& onlyTaxiing(double metres, double frontKt, double nextKt, std::int32_t dueInTicks) {
        g_liveAircraft.clear();
        LiveAc& ac = taxiing(metres, 0.0, frontKt, nextKt);
        ac.stream[0].playTick = tickCount.load();
        ac.stream[1].playTick = tickCount.load() + dueInTicks;
        return ac;
    }
    // Rolling at `rollingKt` now while the stream runs `lagTicks` late.
    static void rollingLate(LiveAc& ac, std::int32_t lagTicks, double rollingKt) {
        ac.motion.streamLagTicks = lagTicks;
        ac.motion.lastStepTick = tickCount.load();
        ac.motion.lastStepM = rollingKt / kKtPerMps / 100.0;
    }
    // Standing with its nose north through copies of where it stands, due
    // `copiesDue` ticks from now (the latest first), before the leg 50 m west
    // at 10 kt due `legDue` ticks from now; it turns on the spot at 0.5
    // degrees a tick.
    LiveAc& standingBeforeATurn(std::int32_t legDue, std::initializer_list<std::int32_t> copiesDue) {
        LiveAc& ac = taxiing(50.0, 270.0, 0.0, 10.0);
        const std::int32_t now = tickCount.load();
        ac.stream[0].playTick = now;
        ac.stream[1].playTick = now + legDue;
        for (const std::int32_t due : copiesDue) {
            StreamPoint copy = ac.stream[0];
            copy.stationary = 1;
            copy.playTick = now + due;
            ac.stream.insert(ac.stream.begin() + 1, copy);
        }
        ac.pose.heading = 0.0;
        ac.turnRateRad = 0.5 / 1.2 * kDeg;
        return ac;
    }
};

}  // namespace

TEST_F(GroundMovement, AParkedAircraftsNextPointOnTheSamePlaceBecomesStationary) {
    for (const double apart : {5e-9, 2e-8}) {
        g_liveAircraft.clear();
        LiveAc& ac = taxiing(0.0, 0.0, 0.0, 0.0);
        ac.phase = AcPhase::parked;
        ac.stream[1].lat = ac.stream[0].lat + apart;
        nextPosGround(ac);
        EXPECT_EQ(ac.stream[1].stationary, apart < 1e-8 ? 1 : 0) << apart;
        EXPECT_EQ(ac.phase, AcPhase::parked);
    }
}

TEST_F(GroundMovement, OnlyASlowStreamComingToRestLooksForAStand) {
    struct Case {
        double beforeLastKt, lastKt;
        AcPhase previous;
        bool looks;
    };
    LoadedAirport loaded;
    loaded.fileLoaded = true;
    gf_setLoadedAirport(loaded);
    for (const Case c : {Case{6.0, 0.5, AcPhase::taxi, true}, Case{6.0, 0.6, AcPhase::taxi, false},
                         Case{6.1, 0.5, AcPhase::taxi, false}, Case{6.0, 0.5, AcPhase::pushed_back, false}}) {
        g_liveAircraft.clear();
        LiveAc& ac = taxiing(30.0, 0.0, 6.0, c.beforeLastKt);
        ac.stream.push_back(ac.stream.back());
        ac.stream.back().lat += 2e-4;
        ac.stream.back().groundSpeedKt = c.lastKt;
        ac.prevPhase = c.previous;
        setStandTable({{"GATE B2", {ac.stream.back().lat, ac.stream.back().lon}}});
        const bool slow = isSlowTaxiStream(ac);
        EXPECT_EQ(try2Park(ac, slow) != nullptr, c.looks) << c.beforeLastKt << " " << c.lastKt;
    }
}

TEST_F(GroundMovement, ASlowStreamLooksForItsStandOnItsLastLegWithNoBendLeftFromTheReports) {
    // Rolling north at 6 kt toward a stand where the reports come to rest.
    // With a reported corner still ahead the reports are taxied (a drive
    // planned from here would go its own way round); on the last leg, which
    // turns 40 degrees and is split and smoothed first, the drive onto the
    // stand takes over from the bend smoothing built toward the reports.
    struct Case {
        const char* name;
        bool cornerAhead;
        AcPhase phase;
    };
    LoadedAirport loaded;
    loaded.fileLoaded = true;
    gf_setLoadedAirport(loaded);
    for (const Case c : {Case{"a reported corner ahead", true, AcPhase::taxi},
                         Case{"the last leg", false, AcPhase::parking}}) {
        SCOPED_TRACE(c.name);
        g_liveAircraft.clear();
        LiveAc& ac = taxiing(c.cornerAhead ? 30.0 : 60.0, c.cornerAhead ? 0.0 : 40.0, 6.0, c.cornerAhead ? 5.0 : 0.0);
        if (c.cornerAhead) {
            StreamPoint last = ac.stream.back();
            const LaLo to = gf_destinationPoint({last.lat, last.lon}, {90.0 * kDeg, 30.0 * feetPerMetre});
            last.lat = to.lat;
            last.lon = to.lon;
            last.groundSpeedKt = 0.0;
            last.playTick += 5000;
            ac.stream.push_back(last);
        }
        ac.motion.lastStepTick = tickCount.load();
        ac.motion.lastStepM = 0.03;
        const StreamPoint last = ac.stream.back();
        setStandTable({{"GATE B2", {last.lat, last.lon}}});
        nextPosGround(ac);
        EXPECT_EQ(ac.phase, c.phase);
        const MotionState& m = ac.motion;
        const bool bend = (m.path.turn.status == GroundTurnStatus::None && m.path.turn.totalLength > 0.0) ||
                          (std::isfinite(m.path.curve.startTime) && std::isfinite(m.path.curve.endTime));
        if (c.phase == AcPhase::parking) {
            EXPECT_FALSE(bend) << "no bend toward the reports on the drive";
        } else {
            ASSERT_GE(ac.stream.size(), 2u);
            EXPECT_EQ(ac.stream.back().lat, last.lat) << "the reports stay";
        }
    }
}

TEST_F(GroundMovement, ASharplyTurningLastLegIsSplitWhenLongEnough) {
    // At 50 degrees the leg must be 45 - 35 x (35/75)^2, about 37.4 m, long,
    // and the aircraft rolling: one standing turns on the spot first, and
    // the first half of a split leg would be crawled at half its speed.
    // Rolling into a shorter last leg, it turns onto it from the nose
    // rolling: left to a start turn, it stopped and turned on the spot
    // where its reports rolled on.
    for (const bool rolling : {true, false}) {
        for (const double metres : {30.0, 37.0, 38.0, 40.0}) {
            SCOPED_TRACE(testing::Message() << metres << " m, rolling " << rolling);
            g_liveAircraft.clear();
            LiveAc& ac = taxiing(metres, 50.0, 10.0, 10.0);
            if (rolling) {
                ac.motion.lastStepTick = tickCount.load();
                ac.motion.lastStepM = 0.05;
            }
            nextPosGround(ac);
            const bool split = rolling && metres >= 37.4;
            ASSERT_GE(ac.stream.size(), 2u);
            EXPECT_EQ(ac.stream.size() == 3u && ac.stream[1].midpoint == 1, split);
            if (!rolling) {
                EXPECT_EQ(ac.stream.size(), 2u);
                EXPECT_NE(ac.motion.startTurn, 0);
            } else if (!split) {
                EXPECT_EQ(ac.motion.startTurn, 0);
                EXPECT_EQ(ac.motion.path.turn.status, GroundTurnStatus::None);
                EXPECT_GT(ac.motion.path.turn.totalLength, 0.0);
            }
        }
    }
}

TEST_F(GroundMovement, ALegWhoseSpeedChangesIsSplitAtItsThreshold) {
    struct Case {
        double frontKt, nextKt, metres;
        bool slow;
        AcPhase previous;
        bool split;
    };
    // 10 to 18 kt: lerp(60, 120, 18 / 25) = 103.2 m; 10 to 14 kt differs by
    // no more than 5 kt; a slow stream splits at 50 m, after a landing roll 40.
    for (const Case c : {Case{10, 18, 103.1, false, AcPhase::taxi, false}, Case{10, 18, 103.3, false, AcPhase::taxi, true},
                         Case{10, 14, 300.0, false, AcPhase::taxi, false}, Case{0, 0, 300.0, true, AcPhase::taxi, false},
                         Case{5, 1, 49.9, true, AcPhase::taxi, false}, Case{5, 1, 50.1, true, AcPhase::taxi, true},
                         Case{5, 1, 40.1, true, AcPhase::landing_roll, true}}) {
        g_liveAircraft.clear();
        LiveAc& ac = taxiing(c.metres, 0.0, c.frontKt, c.nextKt);
        ac.prevPhase = c.previous;
        ac.stream[1].pacedKt = 9.0;
        splitLegForSpeedChange(ac, c.slow);
        EXPECT_EQ(ac.stream.size(), c.split ? 3u : 2u) << c.frontKt << " " << c.nextKt << " " << c.metres;
        // The point put in is timed by the engine, not by a report, and
        // keeps the pace the point after it carried.
        if (ac.stream.size() == 3u) {
            EXPECT_EQ(ac.stream[1].midpoint, 1) << c.frontKt << " " << c.nextKt;
            EXPECT_EQ(ac.stream[1].splitPacedKt, 9.0) << c.frontKt << " " << c.nextKt;
        }
    }
}

TEST_F(GroundMovement, ASmallStartTurnIsSpreadOverTheLeg) {
    struct Case {
        double metres, legTicks, angleDeg, divisor;
    };
    // The turn alone takes angle / 0.2 degrees per tick; r = leg / turn time.
    // At most 45 degrees with r >= 1.2 the rate is divided by min(r, 10 r / A,
    // 30 r / D), below 1.2 by r.
    for (const Case c : {Case{40, 300, 20, 1.5}, Case{80, 300, 20, 1.125}, Case{40, 300, 8, 5.625},
                         Case{40, 110, 20, 1.1}}) {
        g_liveAircraft.clear();
        LiveAc& ac = taxiing(c.metres, 0.0, 0.0, c.metres / (c.legTicks / 100.0) * kKtPerMps);
        ac.turnRateRad = 0.2 / 1.2 * kDeg;  // 0.2 degrees per tick at rest
        ac.motion.startTurn = 1;
        ac.motion.startTurnAngleDeg = c.angleDeg;
        planTaxiSpeed(ac);
        EXPECT_NEAR(ac.turnRateLimit * c.divisor / (0.2 * kDeg), 1.0, 1e-6) << c.metres << " " << c.angleDeg;
        EXPECT_EQ(dueIn(ac), c.legTicks);
    }
}

TEST_F(GroundMovement, ALegGivesBackOnlyALeadItReallyHasOnItsReports) {
    // 100 m at 10 kt takes 1944 ticks; the point falls due 2400 ticks on.
    // Reached its last point 600 ticks before that point's time, the aircraft
    // gives back the lead (at most to the next point's reported time). But a
    // point moved earlier by a catch-up was reached early only on the delay
    // its time carried: while the stream still runs late the aircraft has no
    // lead, and slowing to the next point's time put a tow towed into its gate
    // 6.3 s behind the corner reported just before the stand.
    struct Case {
        const char* name;
        std::int32_t aheadTicks, lagTicks, dueIn;
    };
    for (const Case c : {Case{"ahead of the reports", 600, 0, 2400}, Case{"a smaller lead", 200, 0, 2144},
                         Case{"still behind them", 600, 300, 1944}, Case{"reached on time", 0, 0, 1944}}) {
        SCOPED_TRACE(c.name);
        g_liveAircraft.clear();
        LiveAc& ac = taxiing(100.0, 0.0, 10.0, 10.0);
        ac.stream[0].playTick = tickCount.load();
        ac.stream[1].playTick = tickCount.load() + 2400;
        ac.motion.frontAheadTicks = c.aheadTicks;
        ac.motion.streamLagTicks = c.lagTicks;
        planTaxiSpeed(ac);
        EXPECT_NEAR(dueIn(ac), c.dueIn, 2);
    }
}

TEST_F(GroundMovement, ALateLegCatchesUpNoFasterThanItsCatchUpSpeedWhileSpeedingUpToIt) {
    // 30 m reported at 12 kt (486 ticks), due in 250 while the stream runs
    // 300 ticks late: caught up at most at 20 kt (1.25 times 12 and 5 kt
    // on). Rolling at 20 kt already it takes 292 ticks. Rolling at 11 kt it
    // speeds up at 2.5 m/s^2 to 20 kt (185 ticks, 14.8 m) and covers the
    // last 15.2 m at 20 kt (148 more): 334 ticks. Timed at 292 it could only
    // be played by going well past 20 kt on the way. Standing, the leg is one from rest, whose
    // speed-up its own schedule takes; so is one from a point reported at
    // rest, whatever moved the aircraft into it (a pushback's last metres).
    // A point reported slower, not at rest, that it rolls through at 11 kt
    // is rolled on from as any other; so is a point the engine put in,
    // which has no reported speed to tell a stop.
    struct Case {
        const char* name;
        double frontKt, rollingKt;
        std::int32_t dueIn;
        bool putIn = false;
    };
    for (const Case c : {Case{"at the catch-up speed", 12.0, 20.0, 292}, Case{"at 11 kt", 12.0, 11.0, 334},
                         Case{"standing", 12.0, 0.0, 292}, Case{"from a point at rest", 0.0, 11.0, 292},
                         Case{"through a point reported at 0.8 kt", 0.8, 11.0, 334},
                         Case{"through a point put in at no speed", 0.0, 11.0, 334, true}}) {
        SCOPED_TRACE(c.name);
        g_liveAircraft.clear();
        LiveAc& ac = taxiing(30.0, 0.0, c.frontKt, 12.0);
        ac.stream[0].synthetic = c.putIn ? 1 : 0;
        ac.stream[0].playTick = tickCount.load();
        ac.stream[1].playTick = tickCount.load() + 250;
        ac.motion.streamLagTicks = 300;
        if (c.rollingKt > 0.0) {
            ac.motion.lastStepTick = tickCount.load();
            ac.motion.lastStepM = c.rollingKt / kKtPerMps / 100.0;
        }
        planTaxiSpeed(ac);
        EXPECT_NEAR(dueIn(ac), c.dueIn, 1);
    }
}

TEST_F(GroundMovement, ALegOnTimeFromACrawlSpeedsUpNoFasterThanACatchUpFromThePaceItsReportsKept) {
    // 60 m reported at 16 kt (729 ticks), where the reports' positions kept
    // 10 kt: it goes at most 17.5 kt (1.25 times 10 and 5 kt on). Rolling at
    // 6 kt it speeds up at 2.5 m/s^2 to 17.5 kt (237 ticks, 14.3 m) and
    // covers the last 45.7 m at 17.5 kt (508 more): 745 ticks, though its
    // point falls due sooner. Timed at 729, or at its point's time, it could
    // only be played by cruising past 17.5 kt. The retiming lets the longer
    // leg through; the legs after it give the moment back.
    // Reached its point a moment ahead of the reports (5 ticks, given back
    // on this leg: 734), it still takes the time the speed-up needs. Holding
    // at its point, it brakes to rest from 17.5 kt at the taxi rate too (360
    // ticks, 16.2 m): 925 ticks.
    struct Case {
        const char* name;
        double rollingKt;
        std::int32_t dueIn, expected;
        std::int32_t aheadTicks = 0;
        bool holds = false;
    };
    for (const Case c : {Case{"due later", 6.0, 800, 745}, Case{"due sooner", 6.0, 735, 745},
                         Case{"rolling at its catch-up speed", 17.5, 800, 729},
                         Case{"a moment ahead", 6.0, 1029, 745, 5}, Case{"a moment ahead at speed", 17.5, 1029, 734, 5},
                         Case{"holding at its point", 6.0, 800, 925, 0, true}}) {
        SCOPED_TRACE(c.name);
        LiveAc& ac = onlyTaxiing(60.0, 16.0, 16.0, c.dueIn);
        if (c.holds) {
            StreamPoint hold = ac.stream[1];
            hold.stationary = 1;
            hold.playTick += 3000;
            ac.stream.push_back(hold);
        }
        ac.stream[1].pacedKt = 10.0;
        ac.motion.delayLimit = 0;
        ac.motion.frontAheadTicks = c.aheadTicks;
        rollingLate(ac, 0, c.rollingKt);
        planTaxiSpeed(ac);
        EXPECT_NEAR(dueIn(ac), c.expected, 1);
    }
}

TEST_F(GroundMovement, ALateLegFromAPointPutInOnTheWayIsNotSlowedBelowTheSpeedItRollsAt) {
    // Rolling at 12.7 kt, 10 s behind its reports, into a turn's entry point
    // the engine put in (no speed of its own); the leg goes on 12 m to the
    // leg's midpoint (0.8 kt, half the 1.7 kt of the report 95 m further).
    // The reports' speeds allow a catch-up of 3.4 kt: held to it, the 12 m
    // took 686 ticks, the aircraft braked to a crawl while late and raced
    // the rest at 34 kt. It goes on at the speed it rolls at: 184 ticks.
    // From a report the leg keeps the catch-up its reports give. Where the
    // reports keep a pace of their own (3 kt), the speed it rolls at counts
    // no further than a catch-up from that pace (6 kt, twice it): 389 ticks.
    struct Case {
        const char* name;
        std::uint8_t synthetic;
        std::int32_t dueIn;
        double pacedKt = 0.0;
    };
    for (const Case c : {Case{"from a point put in", 1, 184}, Case{"from a report", 0, 686},
                         Case{"from a point put in, its reports keeping 3 kt", 1, 389, 3.0}}) {
        SCOPED_TRACE(c.name);
        g_liveAircraft.clear();
        LiveAc& ac = taxiing(12.0, 0.0, 0.0, 0.8);
        ac.stream[0].synthetic = c.synthetic;
        ac.stream[1].pacedKt = c.pacedKt;
        StreamPoint report = ac.stream[1];
        const LaLo at = gf_destinationPoint({report.lat, report.lon}, {0.0, 95.0 * feetPerMetre});
        report.lat = at.lat;
        report.lon = at.lon;
        report.groundSpeedKt = 1.7;
        ac.stream.push_back(report);
        const std::int32_t now = tickCount.load();
        ac.stream[0].playTick = now;
        ac.stream[1].playTick = now + 100;
        ac.stream[2].playTick = now + 1500;
        rollingLate(ac, 1000, 12.7);
        planTaxiSpeed(ac);
        EXPECT_NEAR(dueIn(ac), c.dueIn, 2);
    }
}

TEST_F(GroundMovement, ALegFromThePointALandingRollTurnsOffAtKeepsThePaceOfItsReports) {
    // A landing roll whose reports paused 36 s, dead-reckoned down to 7 kt:
    // the report after the pause lies 370 m on off the runway at 4.5 kt, due
    // in 26 s, and the leg there starts from the point the smoothing put in
    // where the roll turns off (timed between the roll and that report). The
    // reports moved at 27.7 kt; held to twice their speeds a B772 took 51 s
    // and ran 27 s behind for the rest of its taxi. A point the taxi's own
    // smoothing put in is no pace of the reports'.
    struct Case {
        const char* name;
        std::uint8_t rollSynthetic;
        bool paced;
    };
    for (const Case c : {Case{"from where the roll turns off", 1, true}, Case{"from a taxi's turn entry", 0, false}}) {
        SCOPED_TRACE(c.name);
        g_liveAircraft.clear();
        LiveAc& ac = taxiing(370.0, 0.0, 7.1, 4.5);
        ac.stream[0].synthetic = 1;
        ac.stream[0].rollSynthetic = c.rollSynthetic;
        ac.stream[0].playTick = tickCount.load();
        ac.stream[1].playTick = tickCount.load() + 2600;
        planTaxiSpeed(ac);
        if (c.paced)
            EXPECT_NEAR(dueIn(ac), 2600, 2);
        else
            EXPECT_GT(dueIn(ac), 4000);
    }
}

TEST_F(GroundMovement, ALegLeavingAHoldKeepsThePaceOfTheReportPastATurnsEntryPutInOnTheWay) {
    // Standing where its place was given again at no speed, the report
    // after the pause 88 m on at 4.1 kt, due in 8.3 s (its positions moved
    // at 20.6 kt). Whether or not a turn's entry point was put in 12 m short
    // of the report, the leg keeps to the report's time; held to the speed
    // reported, the leg to the entry point took 36 s.
    for (const bool putIn : {false, true}) {
        SCOPED_TRACE(putIn ? "past a turn's entry" : "straight to the report");
        g_liveAircraft.clear();
        LiveAc& ac = taxiing(88.0, 0.0, 0.0, 4.1);
        const std::int32_t now = tickCount.load();
        ac.stream[0].stationary = 1;
        ac.stream[0].playTick = now;
        ac.stream[1].playTick = now + 830;
        ac.motion.speedChangeKind = 1;
        if (putIn) {
            StreamPoint entry = ac.stream[0];
            const LaLo at = gf_destinationPoint({entry.lat, entry.lon}, {0.0, 76.0 * feetPerMetre});
            entry.lat = at.lat;
            entry.lon = at.lon;
            entry.stationary = 0;
            entry.synthetic = 1;
            entry.playTick = now + 717;
            ac.stream.insert(ac.stream.begin() + 1, entry);
        }
        planTaxiSpeed(ac);
        EXPECT_NEAR(dueIn(ac), putIn ? 717 : 830, 2);
    }
}

TEST_F(GroundMovement, ALegLeavingAHoldGoesNoFasterThanItsReportsAllowWherePositionsOutrunThem) {
    // Standing where its place was given again at no speed, the report after
    // the pause due in 5.1 s at 5.8 kt. 60 m on (22.9 kt by the positions)
    // the leg keeps the report's time; 92 m on (35.3 kt, more than twice the
    // speed reported and 20 kt on) the copies kept a place the tow had left,
    // and the leg goes no faster than 26.6 kt (twice 5.8 and 15 on): timed
    // by the positions' pace a tow raced there at 35 kt.
    struct Case {
        const char* name;
        double metres;
        bool onTime;
    };
    for (const Case c : {Case{"a pace within reach", 60.0, true}, Case{"a pace out of reach", 92.0, false}}) {
        SCOPED_TRACE(c.name);
        g_liveAircraft.clear();
        LiveAc& ac = taxiing(c.metres, 0.0, 0.0, 5.8);
        const std::int32_t now = tickCount.load();
        ac.stream[0].stationary = 1;
        ac.stream[0].playTick = now;
        ac.stream[1].playTick = now + 510;
        ac.motion.speedChangeKind = 1;
        planTaxiSpeed(ac);
        if (c.onTime)
            EXPECT_NEAR(dueIn(ac), 510, 2);
        else
            EXPECT_GE(dueIn(ac), c.metres / (26.6 / kKtPerMps) * 100.0 - 2.0);
    }
}

TEST_F(GroundMovement, ALateLegFromASpeedChangesMidpointCatchesUpAtThePaceOfItsReports) {
    // Rolling at 16 kt, 11 s behind its reports, from the midpoint put in on
    // a leg that set off from rest toward a report 123 m on at 8.3 kt. The
    // midpoint's time is the mean of its ends', the rest point's an engine
    // time: 15 s for the 123 m, a pace of 15.9 kt its reports never kept
    // (10.6 kt across their pause). Caught up from that, a CRJ9 raced at
    // 31 kt; caught up from its reports' pace (18.25 kt, 1.25 times it and
    // 5 kt on, speeding up to it from 16) the leg takes 13.1 s. So it does
    // when the point it runs to is a later, slower report (1.7 kt into a
    // stand, the report the midpoint split the leg at since taken out): a
    // tow held to the speeds reported came 10 s late. Without a pace the leg
    // keeps to a catch-up from the speed reported at its end (15.4 kt, from
    // 8.3: 15.5 s). From a report it keeps the pace the report after it kept
    // by their own times (10.6 kt) as well, not the one their play ticks give
    // (15.9 kt): those were squeezed since, as a buffered report's are
    // against the live ones after it, and caught up from them at 24.9 kt a
    // taxi created late after a restart ran past what a late taxi goes.
    struct Case {
        const char* name;
        std::uint8_t midpoint;
        double splitPacedKt, reportPacedKt;
        std::int32_t dueIn;
    };
    for (const Case c : {Case{"from a midpoint", 1, 10.6, 10.6, 1313}, Case{"to a later report", 1, 10.6, 1.7, 1313},
                         Case{"from a midpoint, no pace reported", 1, 0.0, 0.0, 1555},
                         Case{"from a report", 0, 0.0, 10.6, 1313}}) {
        SCOPED_TRACE(c.name);
        g_liveAircraft.clear();
        LiveAc& ac = taxiing(123.0, 0.0, 4.2, 8.3);
        ac.stream[0].midpoint = c.midpoint;
        ac.stream[0].splitPacedKt = c.splitPacedKt;
        ac.stream[1].pacedKt = c.reportPacedKt;
        const std::int32_t now = tickCount.load();
        ac.stream[0].playTick = now;
        ac.stream[1].playTick = now + 1500;
        rollingLate(ac, 1100, 16.0);
        planTaxiSpeed(ac);
        EXPECT_NEAR(dueIn(ac), c.dueIn, 2);
    }
}

TEST_F(GroundMovement, ALateLegKeepsItsCatchUpTimeWhateverRetimingTheRollBeforeItLeft) {
    // 100 m reported at 12 kt, its point due in 3 ticks while the stream
    // runs late (the landing roll before it ran 9 s late, and a roll's
    // points are not carried along): caught up at 20 kt it takes 972 ticks.
    // The 3 s of retiming a landing roll allows would squeeze it into 303,
    // at 64 kt.
    for (const std::int32_t delayLimit : {300, 100000}) {
        SCOPED_TRACE(delayLimit);
        g_liveAircraft.clear();
        LiveAc& ac = taxiing(100.0, 0.0, 12.0, 12.0);
        ac.stream[0].playTick = tickCount.load();
        ac.stream[1].playTick = tickCount.load() + 3;
        ac.motion.delayLimit = delayLimit;
        rollingLate(ac, 50, 24.0);
        planTaxiSpeed(ac);
        EXPECT_NEAR(dueIn(ac), 972, 2);
    }
}

TEST_F(GroundMovement, AnAircraftStandingWhereItWasReportedAtRestWaitsThereUntilItMustLeave) {
    struct Case {
        const char* name;
        double frontKt, bearingDeg;
        bool rolling;
        std::int32_t dueInTicks;
        bool waits;
    };
    // 100 m to a point reported at 10 kt: at least 1944 ticks on the way,
    // and 206 more speeding up from rest at 2.5 m/s^2.
    for (const Case c : {Case{"due in a minute", 0.0, 0.0, false, 6000, true},
                         Case{"due as soon as it can be there", 0.0, 0.0, false, 1944 + 206, false},
                         Case{"due just after that", 0.0, 0.0, false, 1944 + 206 + 30, true},
                         Case{"reported moving", 5.0, 0.0, false, 6000, false},
                         Case{"still rolling", 0.0, 0.0, true, 6000, false},
                         Case{"the nose 29 degrees off", 0.0, 29.0, false, 6000, true},
                         Case{"to turn on the spot first", 0.0, 31.0, false, 6000, false}}) {
        SCOPED_TRACE(c.name);
        g_liveAircraft.clear();
        LiveAc& ac = taxiing(100.0, c.bearingDeg, c.frontKt, 10.0);
        ac.stream[0].playTick = tickCount.load();
        ac.stream[1].playTick = tickCount.load() + c.dueInTicks;
        if (c.rolling) {
            ac.motion.lastStepTick = tickCount.load();
            ac.motion.lastStepM = 0.05;
        }
        const StreamPoint front = ac.stream[0];
        EXPECT_EQ(gf_waitAtRestForReports(ac), c.waits);
        ASSERT_EQ(ac.stream.size(), c.waits ? 3u : 2u);
        EXPECT_EQ(ac.stream.back().playTick, tickCount.load() + c.dueInTicks) << "the point after keeps its time";
        if (!c.waits) continue;
        const StreamPoint& hold = ac.stream[1];
        EXPECT_EQ(hold.stationary, 1);
        EXPECT_EQ(hold.lat, front.lat);
        EXPECT_EQ(hold.lon, front.lon);
        // It leaves in time to be there at no more than the reported speed.
        EXPECT_GT(hold.playTick, tickCount.load() + 25);
        EXPECT_LE(hold.playTick, tickCount.load() + c.dueInTicks - 1944 - 206);
    }
}

TEST_F(GroundMovement, CopiesOfWhereItStandsThatTheNextReportContradictsAreNoWait) {
    // Standing where it was reported at rest, through copies of that place
    // (`copiesOffM` north of it) due 10 s and 20 s on, before a point
    // reported at `kt` `metres` north due `afterS` after the last copy. A pace
    // beyond twice the reported speed and 25 kt (below 100 kt) from the last
    // copy tells the copies stale: the aircraft leaves when it must instead.
    // Beyond 100 kt, only when the whole way from the stop is a taxi's pace.
    struct Case {
        const char* name;
        double metres, afterS, kt, copiesOffM;
        bool dropped;
    };
    for (const Case c : {Case{"100 m on 2 s after them", 100, 2, 10, 0, true},
                         Case{"100 m on 10 s after them", 100, 10, 10, 0, false},
                         Case{"a position miles off", 9000, 2, 10, 0, false},
                         Case{"200 m on half a second after them", 200, 0.5, 10, 0, true},
                         Case{"at a speed no taxi goes", 100, 2, 1e6, 0, false},
                         Case{"copies of another place", 100, 2, 10, 30, false}}) {
        SCOPED_TRACE(c.name);
        g_liveAircraft.clear();
        LiveAc& ac = taxiing(c.metres, 0.0, 0.0, c.kt);
        const std::int32_t now = tickCount.load();
        ac.stream[0].playTick = now;
        ac.stream[1].playTick = now + 2000 + static_cast<std::int32_t>(c.afterS * 100.0);
        for (const std::int32_t due : {now + 2000, now + 1000}) {
            StreamPoint copy = ac.stream[0];
            copy.stationary = 1;
            copy.playTick = due;
            copy.lat += c.copiesOffM / 111320.0;
            ac.stream.insert(ac.stream.begin() + 1, copy);
        }
        gf_waitAtRestForReports(ac);
        const auto copies = std::count_if(ac.stream.begin(), ac.stream.end(), [&](const StreamPoint& p) {
            return p.playTick == now + 1000 || p.playTick == now + 2000;
        });
        EXPECT_EQ(copies, c.dropped ? 0 : 2);
    }
}

TEST_F(GroundMovement, CopiesOfAMovingPointItCouldNotHaveStoodToAreDropped) {
    // Reaching a point reported at `frontKt`, followed by copies of it due
    // 7.97 s and 13.92 s on, then a point `metres` north at 8.6 kt due 24.24 s
    // on. From rest, at the most a late taxi catches up at (twice 23.9 kt:
    // 38.9 kt), it gets 247 m in the 16.27 s after the first copy and 128 m in
    // the 10.32 s after the second: 198 m on, it may have stopped, but not
    // stood to the second copy; 100 m on, it may have stood to both. A
    // point reported at rest is a stop of its own, and a position miles off
    // is no move.
    struct Case {
        const char* name;
        double metres, frontKt;
        std::vector<std::int32_t> kept;
    };
    for (const Case& c : {Case{"198 m on", 198.0, 23.9, {797}}, Case{"100 m on", 100.0, 23.9, {797, 1392}},
                          Case{"reported at rest", 198.0, 0.0, {797, 1392}},
                          Case{"a position miles off", 9000.0, 23.9, {797, 1392}}}) {
        SCOPED_TRACE(c.name);
        g_liveAircraft.clear();
        LiveAc& ac = taxiing(c.metres, 0.0, c.frontKt, 8.6);
        const std::int32_t now = tickCount.load();
        ac.stream[0].playTick = now;
        ac.stream[1].playTick = now + 2424;
        for (const std::int32_t due : {1392, 797}) {
            StreamPoint copy = ac.stream[0];
            copy.stationary = 1;
            copy.groundSpeedKt = 0.0;
            copy.playTick = now + due;
            ac.stream.insert(ac.stream.begin() + 1, copy);
        }
        EXPECT_EQ(gf_dropCopiesStoodTooLong(ac), c.kept.size() < 2);
        std::vector<std::int32_t> kept;
        for (const StreamPoint& p : ac.stream)
            if (p.stationary != 0) kept.push_back(p.playTick - now);
        EXPECT_EQ(kept, c.kept);
        EXPECT_EQ(ac.stream.back().playTick, now + 2424) << "the point after keeps its time";
    }
}

TEST_F(GroundMovement, ALargeStartTurnWhileTaxiingIsMadeInPlaceAtThePlayableRate) {
    struct Case {
        double angleDeg, nextKt;
        bool inPlace;
        std::int32_t due;
        std::int32_t reportedIn = 0;  // the point's reported time, when not `due`
    };
    // 0.01 NM: 1000 ticks at 3.6 kt, 60 at 60 kt. The turn of 60 - 5 degrees
    // at 0.5 degrees a tick takes 110 ticks, however fast the fitting would
    // have it for a short leg, and one of 31 - 5 degrees 52 ticks, however
    // slowly the fitting would spread it along a long one. Up to 30 degrees
    // the nose turns while the aircraft moves. Standing, it does not brake
    // first; the leg, from rest, takes half its speed-up at 2.5 m/s^2 longer
    // (38 ticks to 3.6 kt, 618 to 60 kt), but the reports' time went on
    // turning too: the point is due when the leg alone would have made it,
    // the leg after the turn taken faster, up to twice its speed (60 kt: 568
    // of its 678 ticks are left after the turn, more than half). Reports
    // that leave the leg its own time after the turn as well (they turned on
    // the spot as slowly) owe it nothing to catch up, nor does it leave
    // before them: the point falls due as reported, the aircraft standing
    // after its turn until it must set off.
    for (const Case c : {Case{60, 3.6, true, 1000 + 38}, Case{60, 60, true, 60 + 618},
                         Case{31, 3.6, true, 1000 + 38}, Case{30, 3.6, false, 1000},
                         Case{60, 3.6, true, 5000, 5000}, Case{60, 60, true, 5000, 5000}}) {
        g_liveAircraft.clear();
        LiveAc& ac = taxiing(0.01 / kNmPerM, 0.0, 0.0, c.nextKt);
        ac.stream[1].playTick = tickCount.load() + (c.reportedIn > 0 ? c.reportedIn : c.due);
        ac.turnRateRad = 0.5 / 1.2 * kDeg;
        ac.motion.startTurn = 1;
        ac.motion.startTurnAngleDeg = c.angleDeg;
        planTaxiSpeed(ac);
        EXPECT_EQ(ac.motion.legTimeOverride, c.inPlace ? 1 : 0) << c.angleDeg << " " << c.nextKt;
        EXPECT_EQ(dueIn(ac), c.due) << c.angleDeg << " " << c.nextKt;
    }
}

TEST_F(GroundMovement, AfterATurnOnTheSpotALegWhoseReportsOutrunTheirSpeedTakesNoLongerThanTheyLeaveIt) {
    // 41 m reported at 1.1 kt (72 s) but due in 13.6 s (a tow whose
    // positions move 6 kt): after the turn of 60 - 5 degrees (110 ticks) it
    // is there about when due, at most twice as fast as the reports move,
    // not a minute behind. Due later than its speed would have it, it keeps
    // the time reported: it stands after its turn until it must set off.
    struct Case {
        std::int32_t dueInTicks;
        std::int32_t fromTicks, toTicks;
    };
    for (const Case c : {Case{1360, 1360, 1560}, Case{9000, 9000, 9000}}) {
        g_liveAircraft.clear();
        LiveAc& ac = taxiing(41.0, 0.0, 0.0, 1.1);
        ac.stream[0].playTick = tickCount.load();
        ac.stream[1].playTick = tickCount.load() + c.dueInTicks;
        ac.turnRateRad = 0.5 / 1.2 * kDeg;
        ac.motion.startTurn = 1;
        ac.motion.startTurnAngleDeg = 60.0;
        planTaxiSpeed(ac);
        EXPECT_EQ(ac.motion.legTimeOverride, 1);
        EXPECT_GE(dueIn(ac), c.fromTicks) << c.dueInTicks;
        EXPECT_LE(dueIn(ac), c.toTicks) << c.dueInTicks;
    }
}

TEST_F(GroundMovement, AfterATurnOnTheSpotALateLegCatchesUpFromThePaceItsReportsKeptNotTheSpeedTheyGive) {
    // 75 m reported at 6.2 kt, the reports' positions keeping 5.4, the leg
    // 20 s late: after its turn on the spot it speeds up from rest to no
    // more than a catch-up from 5.4 kt (10.8 kt, twice it), 1461 ticks in
    // all. From the 6.2 kt the reports give it allowed 12.4, and a tow so
    // set off at 12.3 where a pilot's eye allows 11.8. From a report at
    // rest the pace counts a wait: the aircraft sets off at the speed
    // reported after it, and catches up from that (12.4 kt).
    struct Case {
        const char* name;
        double frontKt;
        std::int32_t expected;
    };
    for (const Case c : {Case{"rolling", 6.2, 1461}, Case{"from rest", 0.0, 1382}}) {
        SCOPED_TRACE(c.name);
        LiveAc& ac = onlyTaxiing(75.0, c.frontKt, 6.2, 2400);
        ac.stream[1].pacedKt = 5.4;
        ac.motion.streamLagTicks = 2000;
        ac.turnRateRad = 0.5 / 1.2 * kDeg;
        ac.motion.startTurn = 1;
        ac.motion.startTurnAngleDeg = 60.0;
        planTaxiSpeed(ac);
        ASSERT_EQ(ac.motion.legTimeOverride, 1);
        EXPECT_NEAR(ac.motion.legTimeOverrideTicks, c.expected, 3);
    }
}

TEST_F(GroundMovement, ADriveOntoAStandRolledIntoSlowerSpeedsUpToItsSpeedAndComesThatMuchLater) {
    // 14.8 m of a drive at 10 kt (288 ticks), rolled into at 5 kt: it speeds
    // up at 2.5 m/s^2 to 10 kt (103 ticks, 4 m) and goes on at it (211
    // more), 314 ticks, though the drive had it due in 288: held to that, it
    // cruised at 11.5 kt. Rolling at 10 kt already it keeps the drive's time.
    struct Case {
        const char* name;
        double rollingKt;
        std::int32_t expected;
    };
    for (const Case c : {Case{"rolling at 5 kt", 5.0, 314}, Case{"rolling at 10 kt", 10.0, 288}}) {
        SCOPED_TRACE(c.name);
        LiveAc& ac = onlyTaxiing(14.8, 5.0, 10.0, 288);
        ac.phase = AcPhase::parking;
        ac.motion.delayLimit = 0;
        rollingLate(ac, 0, c.rollingKt);
        planTaxiSpeed(ac);
        EXPECT_NEAR(dueIn(ac), c.expected, 1);
    }
}

TEST_F(GroundMovement, ALightAircraftTurningBackOnItsLandingRunwayTaxis) {
    airport();
    struct Case {
        std::uint32_t category;
        double speedKt;
        bool taxis;
    };
    for (const Case c : {Case{Light, 20, true}, Case{Light, 31, false}, Case{Large, 20, false}}) {
        g_liveAircraft.clear();
        StreamPoint a = at(past(900), 0, false, 10000, 0, c.speedKt);
        StreamPoint b = at(past(850), 0, false, 10500, 0, c.speedKt);
        LiveAc& ac = aircraft({a, b}, c.category, AcPhase::landing_roll);
        ac.pose.trueAirspeed = c.speedKt;
        ac.motion.touchdownHeading = 90.0 * kDeg;
        ac.motion.startTurn = 1;
        ac.motion.startTurnAngleDeg = 180.0;
        planTaxiSpeed(ac);
        EXPECT_EQ(ac.phase, c.taxis ? AcPhase::taxi : AcPhase::landing_roll) << c.category << " " << c.speedKt;
    }
}

TEST_F(GroundMovement, TheTaxiInToAStandEndsWithTheStandAndAStop) {
    struct Case {
        double alongM, headingOffDeg;
        std::size_t points;  // appended to the front point
        std::int32_t firstLegTicks;
    };
    // At 8 kt (0.8 x 10): 12 m take 292 ticks; from 20 m behind the approach
    // point 10 m out comes first (243 ticks, and 243 more to the stand); 5 m
    // beyond and 6 degrees off (within lerp(4, 10, 7 / 8.5)) it only stops,
    // 10 degrees off it drives onto the stand (5 m: 121 ticks). Run 14 m past
    // it facing its way it stops too (as far as it counts as arrived: 18 m),
    // 6 degrees off or 20 m past it drives back.
    for (const Case c : {Case{-12, 0, 2, 292}, Case{-20, 0, 3, 243}, Case{5, 6, 1, 50}, Case{5, 10, 2, 121},
                         Case{14, 0, 1, 50}, Case{14, 6, 2, 340}, Case{20, 0, 2, 486}}) {
        g_liveAircraft.clear();
        const LaLo stand{50.0, 8.0};
        const LaLo pose = gf_destinationPoint(stand, {c.alongM < 0 ? pi : 0.0, std::fabs(c.alongM) * feetPerMetre});
        LiveAc& ac = taxiing(0.0, 0.0, 5.0, 5.0);
        ac.stream.resize(1);
        ac.stream[0].playTick = tickCount.load();
        ac.pose.latitude = pose.lat;
        ac.pose.longitude = pose.lon;
        ac.pose.heading = c.headingOffDeg * kDeg;
        drive2Stand(ac, stand, 0.0, false);
        ASSERT_EQ(ac.stream.size(), 1 + c.points) << c.alongM;
        EXPECT_EQ(ac.stream[1].playTick - ac.stream[0].playTick, c.firstLegTicks) << c.alongM;
        const StreamPoint& last = ac.stream.back();
        EXPECT_EQ(last.stationary, 1);
        EXPECT_EQ(last.playTick - ac.stream[ac.stream.size() - 2].playTick, 50);
        if (c.points >= 2) {
            const StreamPoint& onStand = ac.stream[ac.stream.size() - 2];
            EXPECT_NEAR(gf_distanceNm(stand, {onStand.lat, onStand.lon}), 0.0, 1e-12);
            EXPECT_EQ(onStand.groundSpeedKt, 0.0);
        }
        if (c.points == 3)
            EXPECT_NEAR(gf_distanceNm(stand, {ac.stream[1].lat, ac.stream[1].lon}) * 1852.0, 10.0, 1e-6);
        EXPECT_EQ(ac.motion.legBearing, 0.0);
    }
}

TEST_F(GroundMovement, AnAircraftStillRollingWhereItStopsAtItsStandBrakesToRestStraightOn) {
    // 5 m past the stand and 6 degrees off, where the drive only stops (a tow
    // dead-reckoned on past it while its reports paused): rolling, it brakes
    // to rest along its nose within the firmest braking; at rest it stays.
    for (const double kt : {0.0, 4.6, 8.0}) {
        g_liveAircraft.clear();
        const LaLo pose = gf_destinationPoint({50.0, 8.0}, {0.0, 5.0 * feetPerMetre});
        LiveAc& ac = taxiing(0.0, 0.0, 5.0, 5.0);
        ac.stream.resize(1);
        ac.stream[0] = point(pose.lat, pose.lon, 0.0, false, tickCount.load());
        ac.pose.latitude = pose.lat;
        ac.pose.longitude = pose.lon;
        ac.pose.heading = 6.0 * kDeg;
        ac.motion.lastStepTick = tickCount.load();
        ac.motion.lastStepM = kt / kKtPerMps * 0.01;
        drive2Stand(ac, {50.0, 8.0}, 0.0, false);
        const StreamPoint& rest = ac.stream[ac.stream.size() - 2];
        const double runM = gf_distanceNm(pose, {rest.lat, rest.lon}) * 1852.0;
        const double seconds = (rest.playTick - tickCount.load()) / 100.0;
        ASSERT_EQ(ac.stream.size(), kt > 0.0 ? 3u : 2u) << kt;
        if (kt == 0.0) continue;
        EXPECT_NEAR(gf_bearing(pose, {rest.lat, rest.lon}), 6.0 * kDeg, 1e-6) << kt;
        EXPECT_NEAR(runM, kt / kKtPerMps * seconds / 2.0, 0.1) << kt;  // v to rest evenly
        EXPECT_LE(kt / seconds, 16.0) << kt << " kt braked in " << seconds << " s";
    }
}

TEST_F(GroundMovement, ALandingRollLegBetweenPointsWithoutASpeedIsRolledNoFasterThanTheAircraftRolls) {
    // After a late approach the roll's points can fall due a tick apart, and
    // neither end of the leg carries a speed: 300 m in a tick would be
    // crossed at 5800 kt. The roll only slows, so the leg takes at least the
    // time the aircraft's own speed needs, or a faster speed reported ahead.
    airport();
    struct Row {
        double rollingKt, aheadKt;
    };
    for (const Row row : {Row{40.0, 25.0}, Row{20.0, 39.7}}) {
        SCOPED_TRACE(row.rollingKt);
        g_liveAircraft.clear();
        const std::int32_t now = tickCount.load();
        StreamPoint a = at(past(600), 300, false, now, 0, 0.0);
        StreamPoint b = at(past(900), 300, false, now + 1, 0, 0.0);
        StreamPoint c = at(past(1000), 300, false, now + 2, 0, 0.0);
        StreamPoint d = at(past(1100), 300, false, now + 300, 0, row.aheadKt);
        LiveAc& ac = aircraft({a, b, c, d}, Large, AcPhase::landing_roll);
        ac.motion.touchdownHeading = 90.0 * kDeg;
        ac.motion.lastStepM = row.rollingKt / kKtPerMps / 100.0;
        ac.motion.lastStepTick = now;
        ac.motion.advanceLimit = 100000;
        ac.motion.delayLimit = 100000;
        planTaxiSpeed(ac);
        const double fasterKt = std::max(row.rollingKt, row.aheadKt);
        EXPECT_NEAR(dueIn(ac), 300.0 / (fasterKt / kKtPerMps) * 100.0, 30.0);
    }
}

TEST_F(GroundMovement, AHoldGivesBackTheTaxisDelayAndEndsSoonerByATurnOnTheSpot) {
    // Standing in a hold reported until 20 s from now, then 50 m west at
    // 10 kt, due 25 s from now (as late as the stream runs: its delay is on
    // both). Running behind, it leaves when the reports have it leave, not
    // the delay later, but only a hold the reports gave it: one it stands in
    // because its stream ran dry keeps its time. With its nose far off the
    // leg it turns on the spot while it stands: the hold ends the turn's
    // time sooner, (90 - 5) degrees at 0.5 a tick, 170 ticks (the leg, 972
    // and 206 more to speed up from rest, has time enough after it).
    struct Case {
        const char* name;
        std::int32_t lagTicks;
        bool extrapolating;
        double headingDeg;
        std::int32_t holdEnds, nextDue, lagLeft;
    };
    for (const Case c : {Case{"on time", 0, false, 270.0, 2000, 2500, 0},
                         Case{"5 s behind", 500, false, 270.0, 1500, 2000, 0},
                         Case{"more behind than it holds", 3000, false, 270.0, 25, 525, 3000 - 1975},
                         Case{"behind, its stream dry", 500, true, 270.0, 2000, 2500, 500},
                         Case{"the nose 29 degrees off", 0, false, 241.0, 2000, 2500, 0},
                         Case{"the nose 90 degrees off", 0, false, 0.0, 2000 - 170, 2500, 0},
                         Case{"the nose off, 5 s behind", 500, false, 0.0, 1500 - 170, 2000, 0}}) {
        SCOPED_TRACE(c.name);
        g_liveAircraft.clear();
        LiveAc& ac = taxiing(50.0, 270.0, 0.0, 10.0);
        const std::int32_t now = tickCount.load();
        StreamPoint hold = ac.stream[0];
        hold.stationary = 1;
        hold.playTick = now + 2000;
        ac.stream[0].playTick = now;
        ac.stream[1].playTick = now + 2500;
        ac.stream.insert(ac.stream.begin() + 1, hold);
        ac.pose.heading = c.headingDeg * kDeg;
        ac.turnRateRad = 0.5 / 1.2 * kDeg;
        ac.motion.streamLagTicks = c.lagTicks;
        ac.extrapolationCount = c.extrapolating ? 1 : 0;
        hoverRetime(ac);
        ASSERT_EQ(ac.stream.size(), 3u);
        EXPECT_NEAR(ac.stream[1].playTick - now, c.holdEnds, 2);
        EXPECT_EQ(ac.stream[2].playTick - now, c.nextDue);
        EXPECT_EQ(ac.motion.streamLagTicks, c.lagLeft);
    }
    // Standing through copies 2 s apart, the turn longer than the last of
    // them: the copies fall due no later than the hold's new end, in order,
    // and the leg after them keeps its time.
    g_liveAircraft.clear();
    const std::int32_t now = tickCount.load();
    LiveAc& ac = standingBeforeATurn(1500, {1300, 1100, 900});
    hoverRetime(ac);
    ASSERT_EQ(ac.stream.size(), 5u);
    for (std::size_t i = 1; i <= 3; ++i) {
        EXPECT_NEAR(ac.stream[i].playTick - now, std::min(900 + 200 * static_cast<int>(i - 1), 1300 - 170), 2) << i;
        EXPECT_LE(ac.stream[i - 1].playTick, ac.stream[i].playTick) << i;
    }
    EXPECT_EQ(ac.stream[4].playTick - now, 1500);
    // Late for the leg, before copies a tick apart: it stands a least leg on
    // each copy it steps through, so only as many are kept as fit before it
    // leaves (one once that has passed), and it turns after a least leg, not
    // after one a copy. A hold the turn leaves time for keeps its copies. The
    // leg keeps its time (but for the least leg the first copy takes).
    struct Late {
        const char* name;
        std::int32_t legDue;
        std::size_t copiesKept;
    };
    // The turn 170 ticks, the leg 1178: it leaves 1348 before the leg's due.
    for (const Late c : {Late{"already late", 1200, 1}, Late{"leaving in 0.6 s", 1348 + 60, 2},
                         Late{"the turn has time", 3000, 6}}) {
        SCOPED_TRACE(c.name);
        g_liveAircraft.clear();
        LiveAc& late = standingBeforeATurn(c.legDue, {6, 5, 4, 3, 2, 1});
        hoverRetime(late);
        ASSERT_EQ(late.stream.size(), c.copiesKept + 2);
        EXPECT_NEAR(late.stream.back().playTick - now, c.legDue, 25);
    }
}

TEST_F(GroundMovement, AHoldEndsSoonerByATurnOnTheSpotOnceHoweverManyCopiesItReaches) {
    // Standing through copies due 5, 10 and 15 s from now, then 50 m west at
    // 10 kt due 20 s from now, the nose north: the hold ends the turn's time
    // (170 ticks) before its last copy. Each copy reached plans the hold
    // again and it keeps that end, rather than losing the turn's time once
    // more at every copy (it drove off long before its reports did).
    const std::int32_t now = tickCount.load();
    LiveAc& ac = standingBeforeATurn(2000, {1500, 1000, 500});
    for (int reached = 0; reached < 3; ++reached) {
        SCOPED_TRACE(reached);
        hoverRetime(ac);
        ASSERT_GE(ac.stream.size(), 3u);
        EXPECT_NEAR(ac.stream[ac.stream.size() - 2].playTick - now, 1500 - 170, 2);
        EXPECT_EQ(ac.stream.back().playTick - now, 2000);
        // On to the next copy, as the aircraft reaches it.
        ac.stream.pop_front();
    }
}
