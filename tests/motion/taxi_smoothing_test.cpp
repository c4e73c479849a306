// Taxi path smoothing: which corners are smoothed and how (merged zig-zags,
// turn-entry points, ground turns, curved legs), the four ways a ground turn
// is built, the kind of turn the ground step is given, and the permission to
// turn in place.

#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "foundation/geodesy.h"
#include "motion/curves.h"
#include "motion/ground_movement.h"
#include "motion/motion_math.h"
#include "motion/next_position.h"
#include "motion/pose_path.h"
#include "motion/taxi_smoothing.h"

#include "taxi_fixture.h"

using namespace tavo::test;

namespace {

using Smoothing = TaxiTest;

const LaLo kStart{50.01, 8.0};

bool lf_turnUsable(const LiveAc& ac) {
    return ac.motion.path.turn.status == GroundTurnStatus::None && ac.motion.path.turn.totalLength > 0.0;
}
bool lf_curveUsable(const LiveAc& ac) { return std::isfinite(ac.motion.path.curve.startTime); }

// The sharpest the ground turn bends anywhere along it (degrees a metre).
double lf_sharpestDegPerM(const LiveAc& ac) {
    double sharpest = 0.0;
    CurvePoint before = sampleGroundTurn(ac.motion.path.turn, 0.0);
    for (int k = 1; k <= 200; ++k) {
        const CurvePoint p = sampleGroundTurn(ac.motion.path.turn, k / 200.0);
        const double turnDeg = std::fabs(std::remainder(p.heading - before.heading, fullCircle)) / kDeg;
        sharpest = std::max(sharpest, turnDeg / (gf_distanceNm({before.lat, before.lon}, {p.lat, p.lon}) * metresPerNm));
        before = p;
    }
    return sharpest;
}

double lf_legBearing(const LiveAc& ac) {
    return gf_bearing({ac.stream[1].lat, ac.stream[1].lon}, {ac.stream[2].lat, ac.stream[2].lon});
}
// The corner at the next point in degrees, as the smoothing measures it.
double lf_cornerDeg(const LiveAc& ac, double heading) {
    return std::fabs(std::remainder(lf_legBearing(ac) - heading, fullCircle)) * 57.29577951308232;
}
double lf_cornerDeg(const LiveAc& ac) { return lf_cornerDeg(ac, ac.pose.heading); }

// The heading (radians) from which the corner measures `cornerDeg` or the
// nearest value below it.
double lf_headingForCorner(const LiveAc& ac, double cornerDeg) {
    const double b = lf_legBearing(ac);
    double h = b - cornerDeg * kDeg;
    while (lf_cornerDeg(ac, h) < cornerDeg) h = std::nextafter(h, b - 1.0);
    while (lf_cornerDeg(ac, h) > cornerDeg) h = std::nextafter(h, b);
    return normalizeHeading(h);
}

// A heading near the found one from which the corner measures exactly
// `cornerDeg`, taken when there is one.
bool lf_exactCorner(LiveAc& ac, double cornerDeg) {
    double h = lf_headingForCorner(ac, cornerDeg);
    for (int k = 0; k < 1000; ++k, h = std::nextafter(h, 0.0)) {
        if (lf_cornerDeg(ac, h) == cornerDeg) {
            ac.pose.heading = h;
            return true;
        }
    }
    return false;
}

}  // namespace

TEST_F(Smoothing, CornersOfThreeDegreesAndLessAreLeftAlone) {
    struct Row {
        double cornerDeg;
        bool smoothed;
    };
    for (const Row& row : std::vector<Row>{{3.0, false}, {3.1, true}}) {
        SCOPED_TRACE(row.cornerDeg);
        // Headings just east of north, where doubles lie close enough to
        // meet the limit exactly.
        LiveAc& ac = taxiing(route(kStart, {{1.0, 100.0}, {1.0 + row.cornerDeg, 100.0}}, 15.0), AcPhase::taxi, 1.0);
        ASSERT_TRUE(lf_exactCorner(ac, row.cornerDeg));
        EXPECT_EQ(smoothTaxiPath(ac), row.smoothed);
        EXPECT_EQ(ac.stream.size(), row.smoothed ? 4u : 3u);
    }
}

TEST_F(Smoothing, ATaxiCornerGetsAnEntryPointOnALongLegAndATurnOnAShortOne) {
    // 40 degrees at 15 kt turning 10 degrees a second: 4 s of turning cover
    // 15 x 0.5144 x 4 = 30.9 m.
    {
        LiveAc& ac = taxiing(route(kStart, {{90.0, 100.0}, {130.0, 80.0}}, 15.0), AcPhase::taxi, 90.0);
        const StreamPoint corner = ac.stream[1];
        ASSERT_TRUE(smoothTaxiPath(ac));
        ASSERT_EQ(ac.stream.size(), 4u);
        const StreamPoint& entry = ac.stream[1];
        EXPECT_EQ(entry.synthetic, 1);
        EXPECT_EQ(entry.rollSynthetic, 0);
        EXPECT_NEAR(metres(at(entry), at(corner)), 15.0 * 0.5144444444444445 * 4.0, 0.01);
        // Timed on the way: 69.1 of 100 m into the leg's 500 ticks.
        EXPECT_EQ(entry.playTick, ac.stream[0].playTick + 345);
        EXPECT_FALSE(lf_turnUsable(ac));
    }
    {
        LiveAc& ac = taxiing(route(kStart, {{90.0, 40.0}, {130.0, 80.0}}, 15.0), AcPhase::taxi, 90.0);
        const StreamPoint exit = ac.stream[2];
        ASSERT_TRUE(smoothTaxiPath(ac));
        EXPECT_TRUE(lf_turnUsable(ac));
        EXPECT_EQ(ac.motion.groundTurnMode, 1);
        EXPECT_NEAR(ac.motion.smoothingTurnAngleDeg, 40.0, 1e-6);
        // The corner point left the stream: the turn runs to the exit.
        ASSERT_EQ(ac.stream.size(), 2u);
        EXPECT_EQ(ac.stream[1].lat, exit.lat);
    }
}

TEST_F(Smoothing, ALandingRollsExitTurnBeginsWhereTheSpeedHasFallen) {
    // Toward a 60-degree exit. Far from the corner the entry point goes on
    // the runway leg (80 - 40 kt over 600 m: the 65-kt point lies 375 m
    // before the corner, beyond the 90 m a turn takes at most); close to it
    // (30 m at 40 kt), on the exit leg.
    struct Row {
        double fromKt, toKt, legM, entryM;
        bool onExitLeg;
    };
    for (const Row& row : std::vector<Row>{{80.0, 40.0, 600.0, 90.0, false}, {100.0, 60.0, 200.0, 25.0, false},
                                           {40.0, 40.0, 30.0, 90.0, true}}) {
        SCOPED_TRACE(row.fromKt);
        auto s = route(kStart, {{90.0, row.legM}, {150.0, 300.0}}, row.fromKt, 2000);
        s[1].groundSpeedKt = row.toKt;
        s[2].groundSpeedKt = row.toKt;
        LiveAc& ac = taxiing(s, AcPhase::landing_roll, 90.0);
        const StreamPoint corner = ac.stream[1];
        ASSERT_TRUE(smoothTaxiPath(ac));
        // On the exit leg the turn off the runway is built at once, through
        // the corner to that point: the corner leaves the stream. Left for
        // later, no turn was ever built (the corner is reached with the
        // point put in next, and a point put in is not smoothed again), and
        // the roll ran straight to the corner and braked there to turn on
        // the spot.
        ASSERT_EQ(ac.stream.size(), row.onExitLeg ? 3u : 4u);
        const StreamPoint& entry = ac.stream[1];
        EXPECT_NEAR(metres(at(entry), at(corner)), row.entryM, 0.01);
        EXPECT_EQ(entry.rollSynthetic, 1);
        EXPECT_EQ(lf_turnUsable(ac), row.onExitLeg);
        if (row.onExitLeg) {
            EXPECT_EQ(ac.motion.groundTurnMode, 2);
            EXPECT_NEAR(entry.playTick, corner.playTick + 600, 1);
        } else {
            const double f = (row.legM - row.entryM) / row.legM;
            EXPECT_NEAR(entry.groundSpeedKt, row.fromKt + (row.toKt - row.fromKt) * f, 1e-6);
        }
    }
}

TEST_F(Smoothing, ASmallZigZagIsMergedIntoOneLeg) {
    // Legs 40, 25 and 40.9 m at -1.5, +6.5 and -2.5 degrees off the straight
    // line (turns of +8 and -9 degrees), 2.8 m wide over 106 m; the same
    // with the last leg turning the other way is no zig-zag, nor is a gentle
    // bend turning the same way twice (-3, +1, +2.5 degrees off the line).
    struct Row {
        const char* name;
        double firstDeg, secondDeg, lastDeg, firstM, secondM, lastM;
        bool merged;
    };
    const std::vector<Row> rows{
        {"+8 and -9", 88.5, 96.5, 87.5, 40.0, 25.0, 40.9, true},
        {"+8 and +9", 88.5, 96.5, 105.5, 40.0, 25.0, 40.9, false},
        {"+4 and +1.5", 87.0, 91.0, 92.5, 40.0, 20.0, 40.0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto s = route(kStart, {{row.firstDeg, row.firstM}, {row.secondDeg, row.secondM}, {row.lastDeg, row.lastM},
                                {90.0, 100.0}},
                       12.0);
        LiveAc& ac = taxiing(s, AcPhase::taxi, row.firstDeg);
        const StreamPoint last = ac.stream[3];
        EXPECT_EQ(mergeZigZag(ac, 3), row.merged);
        if (row.merged) {
            ASSERT_EQ(ac.stream.size(), 3u);
            EXPECT_EQ(ac.stream[1].lat, last.lat);
            EXPECT_NEAR(ac.motion.legBearing, gf_bearing(kStart, at(last)), 1e-12);
        } else {
            EXPECT_EQ(ac.stream.size(), 5u);
        }
    }
    // Through the smoothing: the corner of 8 degrees merges the zig-zag.
    LiveAc& ac = taxiing(route(kStart, {{88.5, 40.0}, {96.5, 25.0}, {87.5, 40.9}, {90.0, 100.0}}, 12.0),
                         AcPhase::taxi, 88.5);
    EXPECT_TRUE(smoothTaxiPath(ac));
    EXPECT_EQ(ac.stream.size(), 3u);
    // Where the merged leg ends at a corner (30 degrees, then 47 more), that
    // corner gets its entry point on the merged leg, as it would have had
    // from the report before it.
    g_liveAircraft.clear();
    LiveAc& bent = taxiing(
        route(kStart, {{340.7, 18.1}, {340.1, 46.9}, {340.4, 32.3}, {10.4, 26.6}, {57.7, 26.0}}, 6.4), AcPhase::taxi,
        350.5);
    const StreamPoint corner = bent.stream[3];
    EXPECT_TRUE(smoothTaxiPath(bent));
    ASSERT_EQ(bent.stream.size(), 5u);
    EXPECT_EQ(bent.stream[1].synthetic, 1);
    EXPECT_EQ(bent.stream[2].lat, corner.lat);
    EXPECT_NEAR(metres(at(bent.stream[1]), at(corner)), 12.0, 0.1);
}

TEST_F(Smoothing, ACrawlWanderingToOneSideAndBackGoesStraightOn) {
    // Reports at a crawl 10-15 m apart swing off the way by 50-80 degrees
    // and back (an S a few metres wide): the leg goes straight to the point
    // after them. Not a crawl turning one way (a U-turn), nor the same S at
    // taxi pace, nor one that wanders 18 m off the way, nor one whose way
    // turns off sharply at the point the leg would go to, nor one whose
    // reports the straight leg would pass long after their time.
    struct Row {
        const char* name;
        double headingDeg;
        std::vector<std::pair<double, double>> legs;
        std::int32_t ticksPerLeg;
        bool merged;
    };
    const std::vector<Row> rows{
        {"S left then right", 65.5, {{347.5, 11.2}, {62.5, 10.1}, {70.0, 23.7}, {70.0, 60.0}}, 500, true},
        {"S along then left, right", 42.0, {{42.0, 14.5}, {355.0, 9.0}, {69.0, 37.0}, {70.0, 60.0}}, 800, true},
        {"U-turn", 25.0, {{350.0, 3.7}, {300.0, 2.6}, {250.0, 9.9}, {250.0, 60.0}}, 500, false},
        {"S at taxi pace", 65.5, {{347.5, 11.2}, {62.5, 10.1}, {70.0, 23.7}, {70.0, 60.0}}, 150, false},
        {"S 18 m wide", 65.5, {{345.0, 25.0}, {75.0, 25.0}, {70.0, 30.0}, {70.0, 60.0}}, 1200, false},
        // The way turns off 94 degrees after the S: its last turn is the
        // start of a corner, crept round point by point.
        {"S into a corner", 24.4, {{342.0, 16.9}, {351.6, 6.2}, {38.4, 3.0}, {83.9, 8.4}}, 700, false},
        // Its reports run across the straight leg, which would pass the
        // first of them only at its end, 12 s after that report's time.
        {"S off the way and on", 60.4, {{341.0, 11.8}, {359.0, 3.7}, {85.0, 22.0}}, 600, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::deque<StreamPoint> s{ground(kStart, tickCount.load(), 3.0)};
        for (const auto& [bearing, metres] : row.legs)
            s.push_back(ground(ahead(at(s.back()), bearing, metres), s.back().playTick + row.ticksPerLeg, 3.0));
        const StreamPoint wander = s[1];
        const StreamPoint far = s[3];
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, row.headingDeg);
        smoothTaxiPath(ac);
        const bool kept = std::any_of(ac.stream.begin(), ac.stream.end(),
                                      [&](const StreamPoint& p) { return p.lat == wander.lat && p.lon == wander.lon; });
        EXPECT_EQ(!kept, row.merged);
        if (row.merged) {
            EXPECT_EQ(ac.stream[1].lat, far.lat);
            EXPECT_NEAR(ac.motion.legBearing, gf_bearing(kStart, at(far)), 1e-12);
        }
    }
}

TEST_F(Smoothing, SmallAircraftTurnOnShorterLegs) {
    // Heading north, a leg of 20 m to the north-east and one of 25 m on:
    // too short together for a Large aircraft's turn (50 m), long enough for
    // a Light one (35 m) and a TwoProps one (40 m).
    struct Row {
        std::uint32_t category;
        bool turned;
    };
    for (const Row& row : std::vector<Row>{{Large, false}, {Light, true}, {TwoProps, true}}) {
        SCOPED_TRACE(static_cast<int>(row.category));
        LiveAc& ac = taxiing(route(kStart, {{30.0, 20.0}, {50.0, 25.0}}, 8.0), AcPhase::taxi, 0.0, row.category);
        makeTurnGnd(ac, 50.0);
        EXPECT_EQ(lf_turnUsable(ac), row.turned);
    }
}

TEST_F(Smoothing, AStationaryPointAfterTheCornerIsOnlyLogged) {
    auto s = route(kStart, {{90.0, 40.0}, {130.0, 80.0}}, 15.0);
    s[2].stationary = 1;
    LiveAc& ac = taxiing(s, AcPhase::taxi, 90.0);
    ac.motion.path.turn.status = GroundTurnStatus::None;
    ac.motion.path.turn.totalLength = 12.0;
    const auto before = ac.stream;
    newLogLines();
    EXPECT_FALSE(makeTurnGnd(ac, 40.0));
    EXPECT_THAT(newLogLines(), ::testing::HasSubstr("makeTurnGnd: unexpected same at stream[2], KLM1234"));
    ASSERT_EQ(ac.stream.size(), before.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(ac.stream[i].lat, before[i].lat);
        EXPECT_EQ(ac.stream[i].groundSpeedKt, before[i].groundSpeedKt);
    }
    EXPECT_EQ(ac.motion.path.turn.totalLength, 12.0);
}

TEST_F(Smoothing, EachWayOfBuildingTheTurn) {
    struct Row {
        const char* name;
        std::deque<StreamPoint> stream;
        double headingDeg;
        std::uint32_t category;
        bool result;
        bool turn;           // a usable ground turn
        bool cornerEnd;      // ending at the corner
        std::size_t remain;  // stream size afterwards
    };
    const std::vector<Row> rows{
        {"first attempt", route(kStart, {{90.0, 40.0}, {130.0, 80.0}}, 15.0), 90.0, Large, true, true, false, 2},
        // Turned 90 degrees away from a straight run of points: the turn aims
        // 135 m on, past two of them.
        {"far exit", route(kStart, {{90.0, 30.0}, {90.0, 50.0}, {90.0, 50.0}, {90.0, 50.0}, {90.0, 50.0}}, 10.0),
         0.0, Large, true, true, false, 3},
        // Two legs of 20 m, 80 degrees off: a tight turn close to its chord;
        // from 90 degrees off it strays more than 5 m from it.
        {"short legs", route(kStart, {{90.0, 20.0}, {90.0, 20.0}}, 10.0), 10.0, Large, true, true, false, 2},
        {"short legs too wide", route(kStart, {{90.0, 20.0}, {90.0, 20.0}}, 10.0), 0.0, Large, false, false, false, 3},
        // A right angle before a leg five times as long: the turn ends at the
        // corner, which stays.
        {"corner kept", route(kStart, {{90.0, 30.0}, {0.0, 150.0}}, 10.0), 90.0, Large, true, true, true, 3},
        {"curved leg", route(kStart, {{90.0, 40.0}, {130.0, 80.0}}, 15.0), 90.0, Rotorcraft, true, false, false, 2},
        // A Rotorcraft's corner above 120 degrees: nothing.
        {"too sharp", route(kStart, {{90.0, 40.0}, {230.0, 80.0}}, 15.0), 90.0, Rotorcraft, false, false, false, 3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LiveAc& ac = taxiing(row.stream, AcPhase::taxi, row.headingDeg, row.category);
        const double corner = lf_cornerDeg(ac);
        EXPECT_EQ(makeTurnGnd(ac, corner), row.result);
        EXPECT_EQ(lf_turnUsable(ac), row.turn) << groundTurnStatusName(ac.motion.path.turn.status);
        EXPECT_EQ(ac.motion.path.turn.cornerEnd != 0, row.cornerEnd);
        EXPECT_EQ(lf_curveUsable(ac), row.result && !row.turn);
        EXPECT_EQ(ac.stream.size(), row.remain);
    }
}

TEST_F(Smoothing, ATurnBegunFarBeforeItsCornerEndsAsFarPastItOnTheStraightAfterIt) {
    // From a turn-entry point 42 m before a 78 degree corner, reports every
    // few metres straight on past it: the turn ends on the first report at
    // least 42 m past the corner, bending no tighter than the aircraft turns
    // (ended 4 m past it, it bent its whole angle in its last metres). Where
    // the reports turn off again, it ends on the report past the corner.
    for (const double thirdLegDeg : {270.0, 310.0}) {
        SCOPED_TRACE(thirdLegDeg);
        g_liveAircraft.clear();
        auto s = route(kStart, {{188.8, 42.0}, {270.0, 4.4}, {thirdLegDeg, 5.0}, {270.0, 5.5}, {270.0, 6.9},
                                {270.0, 6.5}, {270.0, 7.1}, {270.0, 10.8}, {270.0, 9.0}}, 10.0, 100);
        s[0].synthetic = 1;
        const StreamPoint corner = s[1];
        const StreamPoint past = s[2];
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 188.7);
        ASSERT_TRUE(smoothTaxiPath(ac));
        ASSERT_TRUE(lf_turnUsable(ac)) << groundTurnStatusName(ac.motion.path.turn.status);
        if (thirdLegDeg != 270.0) {
            EXPECT_EQ(ac.stream[1].lat, past.lat);
            continue;
        }
        EXPECT_EQ(ac.stream.size(), 3u);
        EXPECT_GE(metres(at(corner), at(ac.stream[1])), 42.0);
        EXPECT_LT(lf_sharpestDegPerM(ac), groundTurnOptions(GroundTurnInput{}).maxCurvatureDegPerM);
    }
}

TEST_F(Smoothing, ATurnBegunJustBeforeItsCornerOntoALongLegEndsAsFarPastIt) {
    // From the pose 24 m before a 78 degree corner. With the next report
    // 171 m on, the turn ended on it bent 9 degrees a metre in its first
    // metres: it ends on a point put on the exit leg 24 m past the corner,
    // bending no tighter than the aircraft turns, due on the way to the
    // report, which stays. With the report 40 m on the turn ends on it.
    struct Row {
        double exitM;
        std::size_t remain;  // stream size afterwards
    };
    for (const Row row : {Row{171.0, 3}, Row{40.0, 2}}) {
        SCOPED_TRACE(row.exitM);
        g_liveAircraft.clear();
        auto s = route(kStart, {{194.3, 23.8}, {265.4, row.exitM}}, 9.0, 1000);
        s[0].synthetic = 1;
        s[0].rollSynthetic = 1;
        const StreamPoint corner = s[1];
        const StreamPoint report = s[2];
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 187.2);
        ASSERT_TRUE(makeTurnGnd(ac, lf_cornerDeg(ac)));
        ASSERT_TRUE(lf_turnUsable(ac)) << groundTurnStatusName(ac.motion.path.turn.status);
        EXPECT_EQ(ac.motion.path.turn.cornerEnd, 0);
        ASSERT_EQ(ac.stream.size(), row.remain);
        const CurvePoint end = sampleGroundTurn(ac.motion.path.turn, 1.0);
        ASSERT_TRUE(end.valid);
        EXPECT_LT(metres({end.lat, end.lon}, at(ac.stream[1])), 0.01);
        EXPECT_EQ(ac.stream.back().lat, report.lat);
        if (row.remain == 2) continue;
        EXPECT_NEAR(metres(at(corner), at(ac.stream[1])), 23.8, 0.1);
        EXPECT_NEAR(metres(at(ac.stream[1]), at(report)), 171.0 - 23.8, 0.1);
        EXPECT_GT(ac.stream[1].playTick, corner.playTick);
        EXPECT_LT(ac.stream[1].playTick, report.playTick);
        EXPECT_LT(lf_sharpestDegPerM(ac), groundTurnOptions(GroundTurnInput{}).maxCurvatureDegPerM);
    }
}

TEST_F(Smoothing, ASharpCornerReportedAtACrawlIsTurnedOnTheSpot) {
    // 116 degrees 32.5 m on, reported there at 1.3 kt: the aircraft pivoted,
    // and the leg runs straight to the corner. Reported at 6 kt, or turning
    // 60 degrees, the corner gets its turn as before; so does one whose
    // turn-entry point the aircraft has reached, the corner grown past a
    // pivot's only as the nose came onto the leg into it.
    struct Row {
        const char* name;
        double exitDeg;
        double cornerKt;
        bool fromEntryPoint;
        bool pivot;
    };
    for (const Row& row : std::vector<Row>{{"pivot", 246.0, 1.3, false, true},
                                           {"at a walk", 246.0, 6.0, false, false},
                                           {"60 degrees", 190.0, 1.3, false, false},
                                           {"from its entry point", 246.0, 1.3, true, false}}) {
        SCOPED_TRACE(row.name);
        auto s = route(kStart, {{130.0, 32.5}, {row.exitDeg, 19.0}, {row.exitDeg, 38.0}}, 13.7, 600);
        s[1].groundSpeedKt = row.cornerKt;
        s[0].synthetic = row.fromEntryPoint ? 1 : 0;
        const StreamPoint corner = s[1];
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 130.0, TwoProps);
        EXPECT_EQ(smoothTaxiPath(ac), !row.pivot);
        EXPECT_EQ(lf_turnUsable(ac) || lf_curveUsable(ac) || ac.stream[1].synthetic != 0, !row.pivot);
        EXPECT_EQ(ac.stream[1].lat == corner.lat && ac.stream[1].lon == corner.lon, row.pivot);
    }
}

TEST_F(Smoothing, ARollingTaxiFarOffTheWayToItsNextPointTurnsFromTheNoseOntoIt) {
    // Rolling with the nose more than 40 degrees off the way to the next
    // report (a bend ended along its exit leg; a 90 degree exit taken late):
    // the turn runs from the nose to that report and ends there along the
    // middle of its bend, not a straight leg whose start turn is braked for
    // and taken on the spot. 35 degrees off, which the nose may still come
    // round on the way in, is smoothed as before.
    struct Row {
        const char* name;
        double headingDeg, kt, leg1Deg, leg1M, leg2Deg, leg2M;
        std::uint32_t category;
        double endDeg;  // NaN: no turn from the nose
    };
    for (const Row& row : {Row{"exit rounded late", 151.5, 17.8, 103.0, 68.7, 70.0, 24.3, Light, 86.5},
                           Row{"off a straight way", 21.6, 14.6, 70.0, 63.0, 70.0, 50.0, Large, 70.0},
                           Row{"35 degrees off", 335.6, 10.7, 10.6, 26.6, 57.8, 26.0, Large, std::nan("")}}) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        auto s = route(kStart, {{row.leg1Deg, row.leg1M}, {row.leg2Deg, row.leg2M}, {row.leg2Deg, 60.0}}, row.kt, 700);
        const StreamPoint next = s[1];
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, row.headingDeg, row.category);
        ac.motion.lastStepTick = tickCount.load();
        ac.motion.lastStepM = row.kt * kKnotsToMps / 100.0;
        smoothTaxiPath(ac);
        const bool fromNose = lf_turnUsable(ac) && ac.motion.path.turn.cornerEnd != 0;
        EXPECT_EQ(fromNose, !std::isnan(row.endDeg)) << groundTurnStatusName(ac.motion.path.turn.status);
        if (!fromNose || std::isnan(row.endDeg)) continue;
        EXPECT_EQ(ac.stream[1].lat, next.lat);
        const CurvePoint last = sampleGroundTurn(ac.motion.path.turn, 1.0);
        ASSERT_TRUE(last.valid);
        EXPECT_NEAR(std::remainder(last.heading - row.endDeg * kDeg, fullCircle) / kDeg, 0.0, 0.5);
        EXPECT_LT(metres({last.lat, last.lon}, at(next)), 0.01);
    }
}

TEST_F(Smoothing, TheKindOfTurnFollowsThePhase) {
    struct Row {
        const char* name;
        AcPhase phase;
        std::deque<StreamPoint> stream;
        bool result;
        std::uint8_t kind;
    };
    const std::vector<Row> rows{
        {"taxi", AcPhase::taxi, route(kStart, {{90.0, 40.0}, {130.0, 80.0}}, 15.0), true, 1},
        {"landing exit", AcPhase::landing_roll, route(kStart, {{90.0, 60.0}, {135.0, 80.0}}, 30.0), true, 2},
        // The exit leg runs beyond the look-ahead of 108 m at 30 kt.
        {"landing exit too far", AcPhase::landing_roll, route(kStart, {{90.0, 60.0}, {135.0, 140.0}}, 30.0), false, 0},
        {"line-up", AcPhase::takeoff_roll, route(kStart, {{90.0, 40.0}, {120.0, 60.0}}, 10.0), true, 3},
        // Faster than 30 kt no line-up turn is made.
        {"takeoff roll too fast", AcPhase::takeoff_roll, route(kStart, {{90.0, 40.0}, {120.0, 60.0}}, 31.0), false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LiveAc& ac = taxiing(row.stream, row.phase, 90.0);
        const double corner = lf_cornerDeg(ac);
        EXPECT_EQ(makeTurnGnd(ac, corner), row.result);
        EXPECT_EQ(ac.motion.groundTurnMode, row.kind);
        EXPECT_EQ(lf_turnUsable(ac), row.result);
        EXPECT_FALSE(lf_curveUsable(ac));
    }
}

TEST_F(Smoothing, ATurnInPlaceIsAllowedWhereTheTurnCannotBeBuilt) {
    // Heading north, the corner 30 m to the north-east, then on to 95
    // degrees: 95 degrees from the heading, 50 at the corner, 45 off at the
    // start.
    struct Row {
        AcPhase phase;
        double exitDeg;
        std::uint8_t allowed;
    };
    for (const Row& row : std::vector<Row>{{AcPhase::taxi, 95.0, 1}, {AcPhase::taxi, 80.0, 0}, {AcPhase::parking, 95.0, 0}}) {
        SCOPED_TRACE(row.exitDeg);
        LiveAc& ac = taxiing(route(kStart, {{45.0, 30.0}, {row.exitDeg, 60.0}}, 10.0), row.phase, 0.0);
        ac.motion.turnInPlaceAllowed = 1 - row.allowed;
        makeTurnGnd(ac, row.exitDeg);
        EXPECT_EQ(ac.motion.turnInPlaceAllowed, row.allowed);
    }
}

TEST_F(Smoothing, AnEntryPointAcrossTheDateLineLiesBetweenItsNeighbours) {
    const LaLo west{-16.5, 179.9995};
    LiveAc& ac = taxiing(route(west, {{90.0, 120.0}, {130.0, 80.0}}, 15.0), AcPhase::taxi, 90.0);
    ASSERT_LT(ac.stream[1].lon, 0.0);
    ASSERT_TRUE(insertPointBeforeCorner(ac, 30.0, false));
    EXPECT_NEAR(metres(at(ac.stream[1]), at(ac.stream[2])), 30.0, 0.01);
    EXPECT_NEAR(metres(west, at(ac.stream[1])), 90.0, 0.01);
    // Refused: as long as the leg, or no tick between.
    EXPECT_FALSE(insertPointBeforeCorner(ac, 95.0, false));
    ac.stream[1].playTick = ac.stream[0].playTick + 1;
    EXPECT_FALSE(insertPointBeforeCorner(ac, 10.0, false));
}

TEST_F(Smoothing, TheTurnThroughACornerBeginsAtItsEntryPoint) {
    // 40 degrees at 15 kt on a 100 m leg: an entry point 30.9 m before the
    // corner; arrived there, the turn through the corner is built, and no
    // second entry point goes in.
    LiveAc& ac = taxiing(route(kStart, {{90.0, 100.0}, {130.0, 80.0}}, 15.0), AcPhase::taxi, 90.0);
    ASSERT_TRUE(smoothTaxiPath(ac));
    ac.stream.pop_front();
    ac.pose.latitude = ac.stream[0].lat;
    ac.pose.longitude = ac.stream[0].lon;
    const StreamPoint exit = ac.stream[2];
    ASSERT_EQ(ac.stream[0].synthetic, 1);
    ASSERT_TRUE(smoothTaxiPath(ac));
    EXPECT_TRUE(lf_turnUsable(ac) || lf_curveUsable(ac));
    ASSERT_EQ(ac.stream.size(), 2u);
    EXPECT_EQ(ac.stream[1].lat, exit.lat);
}

TEST_F(Smoothing, ALandingRollArrivedAtItsEntryPointTurnsOffThroughTheCorner) {
    // An exit 80 m ahead at 19 kt, inside the look-ahead: the corner gets an
    // entry point of the kind a taxi corner gets. Arrived there still on the
    // roll, a 33-degree exit is turned off through the corner from it;
    // without that the roll ran straight to the corner, and the taxi after it
    // found the next report 33 degrees off the nose, braked past the corner
    // and turned on the spot (a seed's arrival fell 21 s behind). A 10-degree
    // bend is no exit and is left to the roll.
    struct Row {
        double bendDeg;
        bool turned;
    };
    for (const Row& row : std::vector<Row>{{33.0, true}, {10.0, false}}) {
        SCOPED_TRACE(row.bendDeg);
        LiveAc& ac = taxiing(route(kStart, {{90.0, 80.0}, {90.0 + row.bendDeg, 65.0}, {150.0, 60.0}}, 19.0),
                             AcPhase::landing_roll, 90.0);
        const StreamPoint corner = ac.stream[1];
        ASSERT_TRUE(smoothTaxiPath(ac));
        ASSERT_EQ(ac.stream[1].synthetic, 1);
        ASSERT_EQ(ac.stream[1].rollSynthetic, 0);
        ac.stream.pop_front();
        ac.pose.latitude = ac.stream[0].lat;
        ac.pose.longitude = ac.stream[0].lon;
        EXPECT_EQ(smoothTaxiPath(ac), row.turned);
        EXPECT_EQ(lf_turnUsable(ac), row.turned);
        EXPECT_EQ(ac.motion.groundTurnMode, row.turned ? 2 : 0);
        // Turned, the path runs through the corner to the point after it.
        ASSERT_GE(ac.stream.size(), 2u);
        EXPECT_EQ(metres(at(ac.stream[1]), at(corner)) > 60.0, row.turned);
    }
}

TEST_F(Smoothing, AGroundTurnIsGivenTheTimeItsBendTakesAtThePlayableRate) {
    // Sharp corners on short legs at taxi speeds: timed by distance over
    // speed alone the bend would need the nose to turn faster than the pose
    // step lets it (16 to 33 degrees behind the path), the aircraft sliding
    // sideways. Played tick by tick as the pose step plays it (slowed where
    // the path bends fastest), the nose keeps close to the path.
    struct Row {
        double cornerDeg, legM, speedKt;
    };
    const std::vector<Row> rows{{80.0, 15.0, 10.0}, {-80.0, 18.0, 12.0}, {60.0, 20.0, 15.0}, {45.0, 12.0, 15.0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.cornerDeg);
        g_liveAircraft.clear();
        LiveAc& ac = taxiing(route(kStart, {{90.0, row.legM}, {90.0 + row.cornerDeg, 40.0}}, row.speedKt),
                             AcPhase::taxi, 90.0, Large, 7.0);
        ASSERT_TRUE(smoothTaxiPath(ac));
        ASSERT_TRUE(lf_turnUsable(ac));
        planTaxiSpeed(ac);
        const std::int32_t ticks = ac.stream[1].playTick - tickCount.load();
        ASSERT_GT(ticks, 0);
        ac.motion.path.progressStep = 1.0 / ticks;
        double worst = 0.0;
        for (std::int32_t i = 0; i < ticks; ++i) {
            tickCount.store(tickCount.load() + 1);
            gf_interpolatePoseOnCurve(ac);
            const CurvePoint p = sampleGroundTurn(ac.motion.path.turn, ac.motion.path.progress);
            ASSERT_TRUE(p.valid);
            worst = std::max(worst, std::fabs(std::remainder(ac.pose.heading - p.heading, fullCircle)) / kDeg);
        }
        EXPECT_LT(worst, 10.0);
    }
}

TEST_F(Smoothing, AnEntryPointAfterAHeldPositionKeepsTheLegToItAtTaxiSpeed) {
    // A slow taxi's near-duplicate reports are kept as stationary copies of
    // the point before (0 kt, a tick after it); retiming around them can
    // leave the next report due a few ticks after the copy. The corner there
    // gets its entry point 11.4 m on: timed from those ticks alone the leg
    // took 25 ticks (about 88 kt). With the nose along the leg, and 60
    // degrees off it (turned in place first).
    for (const double headingDeg : {90.0, 30.0}) {
        SCOPED_TRACE(headingDeg);
        g_liveAircraft.clear();
        std::deque<StreamPoint> s = route(kStart, {{90.0, 23.4}, {140.0, 40.0}}, 7.6);
        s[0].stationary = 1;
        s[0].groundSpeedKt = 0.0;
        s[1].playTick = s[0].playTick + 17;
        s[2].playTick = s[1].playTick + 400;
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, headingDeg);
        const std::int32_t now = tickCount.load();
        advanceToNextPoint(ac);
        EXPECT_EQ(ac.motion.legTimeOverride != 0, headingDeg != 90.0);
        ASSERT_GE(ac.stream.size(), 2u);
        ASSERT_EQ(ac.stream[0].synthetic, 1);
        const double legM = metres({ac.pose.latitude, ac.pose.longitude}, at(ac.stream[0]));
        ASSERT_NEAR(legM, 11.4, 0.5);
        const double stepM = metres({ac.pose.latitude, ac.pose.longitude},
                                    {ac.pose.latitude + ac.motion.stepLat, ac.pose.longitude + ac.motion.stepLon});
        // Timed at the speed reported ahead (played from rest, accelerating);
        // after a turn in place in what the turn left of that time, but
        // never less than speeding up from rest at the taxi rate takes; the
        // point stays due no sooner than the leg takes.
        const double fromRestS = std::ceil(std::sqrt(2.0 * legM / 2.5e-4)) / 100.0;
        EXPECT_NEAR(stepM * 100.0 * kMpsToKnots, headingDeg != 90.0 ? legM / fromRestS * kMpsToKnots : 7.6, 0.1);
        EXPECT_GE(ac.stream[0].playTick - now, static_cast<std::int32_t>(std::lround(legM / stepM)));
    }
}

TEST_F(Smoothing, AStandingTaxiFarOffItsFirstLegTurnsOnTheSpotInsteadOfSwingingRoundAGroundTurn) {
    // Standing at a stationary copy (a pushback's end) with the reports going
    // straight on west: a nose more than 30 degrees off that leg turns on the
    // spot first; a ground turn from the nose would swing out and crawl round.
    // Rolling, the same geometry is still a ground turn.
    struct Row {
        double headingDeg;
        bool rolling;
        bool groundTurn;
    };
    for (const Row& row : std::vector<Row>{{0.0, false, false}, {120.0, false, false}, {235.0, false, false},
                                           {0.0, true, true}}) {
        SCOPED_TRACE(::testing::Message() << row.headingDeg << (row.rolling ? " rolling" : " standing"));
        g_liveAircraft.clear();
        std::deque<StreamPoint> s = route(kStart, {{270.0, 11.6}, {270.0, 14.4}, {270.0, 20.6}}, 10.0, 200);
        s[0].stationary = 1;
        s[0].groundSpeedKt = 0.0;
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, row.headingDeg);
        if (row.rolling) {
            ac.motion.lastStepTick = tickCount.load();
            ac.motion.lastStepM = 0.05;
        }
        EXPECT_EQ(smoothTaxiPath(ac), row.groundTurn);
        EXPECT_EQ(lf_turnUsable(ac) || lf_curveUsable(ac), row.groundTurn);
        if (row.groundTurn || row.rolling) continue;
        // Planned: turned on the spot, then the straight leg, due in about
        // the turn's time and the leg's from rest, not half a minute later.
        const std::int32_t now = tickCount.load();
        advanceToNextPoint(ac);
        EXPECT_NE(ac.motion.legTimeOverride, 0);
        const double turnS = std::fabs(std::remainder(270.0 - row.headingDeg, 360.0)) / 12.0;
        EXPECT_LE(ac.stream[0].playTick - now, std::lround((turnS + 8.0) * 100.0));
    }
}

TEST_F(Smoothing, AGroundTurnIntoAHoldLeavesItsEndReportedAtNoSpeed) {
    // Rolling at 8 kt round a corner into a point reported at 0 kt: where a
    // hold follows or the stream ends there, the point keeps its 0 kt so
    // that the leg into it brakes to rest; where the reports move on, the
    // turn's speed carries through it.
    enum class After { hold, end, movesOn };
    for (const After after : {After::hold, After::end, After::movesOn}) {
        SCOPED_TRACE(static_cast<int>(after));
        g_liveAircraft.clear();
        std::deque<StreamPoint> s = route(kStart, {{90.0, 8.0}, {180.0, 8.0}, {180.0, 8.0}}, 8.0, 200);
        s[2].groundSpeedKt = 0.0;
        if (after == After::hold) {
            s[3] = s[2];
            s[3].stationary = 1;
            s[3].playTick = s[2].playTick + 1000;
        } else if (after == After::end) {
            s.pop_back();
        }
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 90.0);
        ac.motion.lastStepTick = tickCount.load();
        ac.motion.lastStepM = 0.04;
        const StreamPoint end = ac.stream[2];
        ASSERT_TRUE(smoothTaxiPath(ac));
        ASSERT_TRUE(lf_turnUsable(ac));
        const auto at = std::find_if(ac.stream.begin(), ac.stream.end(), [&](const StreamPoint& p) {
            return p.stationary == 0 && p.lat == end.lat && p.lon == end.lon;
        });
        ASSERT_NE(at, ac.stream.end());
        EXPECT_EQ(at->groundSpeedKt == 0.0, after != After::movesOn);
    }
}

TEST_F(Smoothing, ALegIsPlannedAgainForACornerReportedAfterItsBendWasTurned) {
    // The leg to the last point known, begun with a turn through the point
    // before it, gets a report turning 52 degrees at its end while the
    // aircraft rolls along it: planned again from the pose once the bend lies
    // behind and the rest runs straight on, not in the bend. A last leg alone
    // whose start turn of 22 degrees was smoothed into an S-curve (through a
    // point put in halfway) is planned again while still in it: the bend
    // carries no corner of the reports, only the start turn, which the leg
    // from the pose takes rolling. So is one whose bend rounds the report it
    // set off from, 4 m on its nose (the last before a pause, the next 58 m
    // on turned 32 degrees): the bend is that leg's start turn. So is a leg
    // whose nose still comes round out of a 7 degree start turn when a report
    // turns 31.5 degrees off its bearing: the aircraft arrives on the leg's
    // bearing, where the corner is a turn on the spot, not on its nose's.
    struct Row {
        const char* name;
        double headingDeg;    // the nose at the start; the leg runs at 342
        double reportAfterM;  // rolled when the report comes
        bool bent, replanned;
        bool oneLeg = false;  // the last point 80 m on as one reported leg
        double setOffM = 0.0;  // the report set off from, this far on the nose, the last 58 m on at 4.5 kt
        double afterDeg = 34.0;  // the bearing of the report that comes
    };
    for (const Row row : {Row{"bend turned", 3.0, 80.0, true, true}, Row{"still in the bend", 3.0, 4.0, true, false},
                          Row{"a straight leg", 342.0, 80.0, false, true},
                          Row{"still in the S-curve of its start turn", 4.0, 10.0, true, true, true},
                          Row{"rounding the report it set off from", 14.0, 2.0, true, true, false, 3.9},
                          Row{"the nose still coming round onto it", 349.0, 3.0, false, true, true, 0.0, 13.5}}) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        const double kt = row.setOffM > 0.0 ? 4.5 : 8.0;
        auto s = row.oneLeg ? route(kStart, {{342.0, 80.0}}, kt, 1200)
                 : row.setOffM > 0.0 ? route(kStart, {{row.headingDeg, row.setOffM}}, kt, 168)
                                     : route(kStart, {{345.0, 37.0}, {342.0, 161.0}}, kt, 1200);
        if (row.setOffM > 0.0) s.push_back(ground(ahead(at(s.back()), 342.0, 58.0), s.back().playTick + 2505, kt));
        const StreamPoint after = ground(ahead(at(s.back()), row.afterDeg, 21.0), s.back().playTick + 500, 8.3);
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, row.headingDeg, Large, 10.0);
        ac.prevPhase = AcPhase::taxi;
        ac.motion.lastStepM = kt * kKnotsToMps / 100.0;
        ac.motion.lastStepTick = tickCount.load() - 1;
        double rolledM = 0.0;
        bool bent = false;
        for (int n = 0; n < 6000 && rolledM < row.reportAfterM; ++n, tickCount.store(tickCount.load() + 1)) {
            const std::optional<double> stepM = playTick(ac);
            ASSERT_TRUE(stepM.has_value());
            rolledM += *stepM;
            bent = bent || gf_bendLengthM(ac) > 0.0;
        }
        ASSERT_EQ(ac.stream.size(), 1u);
        EXPECT_EQ(bent, row.bent);
        ac.stream.push_back(after);
        if (row.afterDeg != 34.0) {  // a corner the nose alone reads as under a turn on the spot
            EXPECT_LT(std::fabs(std::remainder(row.afterDeg - ac.pose.heading * radiansToDegrees, 360.0)), 30.0);
        }
        EXPECT_EQ(gf_replanLegForNewCorner(ac), row.replanned);
        // Replanned: the leg runs on from the pose, due at once.
        if (row.replanned && ac.stream.size() == 3) {
            EXPECT_EQ(ac.stream[0].playTick, tickCount.load() + 1);
        }
    }
}

TEST_F(Smoothing, ALegIsPlannedAgainForACornerAtItsEndOnceItsOwnSpeedChangeOrBendIsBehindIt) {
    // Reports turning off at the end of the leg to the last point known come
    // while the aircraft drives it. Set off from rest at 5 kt on 180 m, it is
    // planned again from the pose once the aircraft rolls on evenly (a leg at
    // speed), not while it still speeds up. Rolling at 15 kt into a long
    // gentle bend (22 degrees through a report 48 m on, to the last point
    // 88 m further), it is planned again once the bend's corner is passed,
    // however many reports came: the rest of the bend only brings the nose
    // round onto the leg. Not short of the bend's corner, nor where the leg
    // after the end turns off by no more than a turn rolled on the way, nor
    // where the reports after it come to rest.
    struct Row {
        const char* name;
        bool fromRest;
        double rolledM, afterDeg;
        bool restsAfter, replanned;
    };
    for (const Row row : {Row{"from rest, still speeding up", true, 0.5, 220.0, false, false},
                          Row{"from rest, sped up", true, 30.0, 220.0, false, true},
                          Row{"bend's corner passed", false, 54.0, 270.0, false, true},
                          Row{"short of the bend's corner", false, 30.0, 270.0, false, false},
                          Row{"a slight corner after the bend", false, 54.0, 230.0, false, false},
                          Row{"coming to rest after the bend", false, 54.0, 270.0, true, false}}) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        const double kt = row.fromRest ? 5.0 : 15.0;
        const auto ticksFor = [kt](double m) {
            return static_cast<std::int32_t>(std::lround(m / (kt * kKnotsToMps) * 100.0));
        };
        auto s = row.fromRest ? route(kStart, {{180.0, 180.0}}, kt, 7000)
                              : route(kStart, {{180.0, 47.7}, {202.0, 87.7}}, kt, 600);
        s[0].groundSpeedKt = row.fromRest ? 0.0 : kt;
        const StreamPoint& end = s.back();
        std::vector<StreamPoint> after{ground(ahead(at(end), row.afterDeg, 42.0), end.playTick + ticksFor(42.0), kt)};
        if (!row.fromRest) {
            after.push_back(ground(ahead(at(after[0]), row.afterDeg, 47.0), after[0].playTick + ticksFor(47.0), kt));
            if (row.restsAfter) {
                after[1] = after[0];
                after[1].groundSpeedKt = 0.0;
                after[1].stationary = 1;
                after[1].playTick = after[0].playTick + 600;
            }
        }
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 180.0);
        ac.prevPhase = AcPhase::taxi;
        ac.motion.lastStepM = row.fromRest ? 0.0 : kt * kKnotsToMps / 100.0;
        ac.motion.lastStepTick = tickCount.load() - 1;
        double rolledM = 0.0;
        for (int n = 0; n < 6000 && rolledM < row.rolledM; ++n, tickCount.store(tickCount.load() + 1)) {
            const std::optional<double> stepM = playTick(ac);
            ASSERT_TRUE(stepM.has_value());
            rolledM += *stepM;
        }
        ASSERT_EQ(ac.stream.size(), 1u);
        if (row.fromRest)
            ASSERT_EQ(ac.motion.speedChangeKind, 1u);
        else
            ASSERT_GT(gf_bendLengthM(ac), 0.0);
        ac.stream.insert(ac.stream.end(), after.begin(), after.end());
        EXPECT_EQ(gf_replanLegForNewCorner(ac), row.replanned);
    }
}

TEST_F(Smoothing, ARollingTaxiTakesACornerReportedPastItsBendRollingOnceTheBendIsStraight) {
    // A tow rolls south at 7 kt along a bend that eases it 10.6 degrees
    // round through a report 39.6 m on to the last report known, 33 m
    // further. Two reports come that turn 48 and then 31 degrees on from
    // that end while the rest of the bend already runs straight to it, its
    // corner still ahead: the leg is planned again from the pose, and the
    // corner is rolled round. Left as it was, the tow braked to rest on the
    // end and turned 51 degrees on the spot there. Still in the bend, the
    // leg is kept.
    struct Row {
        const char* name;
        double rolledM;
        bool replanned;
    };
    for (const Row row : {Row{"the rest of the bend straight", 24.0, true}, Row{"still in the bend", 2.0, false}}) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        const double kt = 7.1;
        const auto ticksFor = [kt](double m) {
            return static_cast<std::int32_t>(std::lround(m / (kt * kKnotsToMps) * 100.0));
        };
        auto s = route(kStart, {{180.0, 39.6}, {190.6, 33.1}}, kt, ticksFor(36.0));
        const StreamPoint& end = s.back();
        std::vector<StreamPoint> after{ground(ahead(at(end), 238.5, 28.4), end.playTick + ticksFor(28.4), kt)};
        after.push_back(ground(ahead(at(after[0]), 269.4, 27.9), after[0].playTick + ticksFor(27.9), kt));
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 180.0);
        ac.prevPhase = AcPhase::taxi;
        ac.motion.lastStepM = kt * kKnotsToMps / 100.0;
        ac.motion.lastStepTick = tickCount.load() - 1;
        double rolledM = 0.0;
        bool bent = false;
        for (int n = 0; n < 6000 && rolledM < row.rolledM; ++n, tickCount.store(tickCount.load() + 1)) {
            const std::optional<double> stepM = playTick(ac);
            ASSERT_TRUE(stepM.has_value());
            rolledM += *stepM;
            bent = bent || gf_bendLengthM(ac) > 0.0;
        }
        ASSERT_TRUE(bent);
        ASSERT_EQ(ac.stream.size(), 1u);
        ac.stream.insert(ac.stream.end(), after.begin(), after.end());
        EXPECT_EQ(gf_replanLegForNewCorner(ac), row.replanned);
        if (!row.replanned) continue;
        // Rolled on through the corner to the last report: nowhere does the
        // nose turn 20 degrees within a metre of travel, nor stand still.
        std::vector<std::pair<double, double>> track;  // metres travelled, heading (degrees, unwound)
        double travelled = 0.0;
        double heading = ac.pose.heading / kDeg;
        double slowestKt = 1e9;
        const LaLo last = at(after.back());
        for (int n = 0; n < 8000; ++n, tickCount.store(tickCount.load() + 1)) {
            const double before = ac.pose.heading / kDeg;
            const std::optional<double> stepM = playTick(ac);
            if (!stepM) break;
            travelled += *stepM;
            heading += std::remainder(ac.pose.heading / kDeg - before, 360.0);
            track.emplace_back(travelled, heading);
            if (metres({ac.pose.latitude, ac.pose.longitude}, last) > 5.0)
                slowestKt = std::min(slowestKt, *stepM * 100.0 * kMpsToKnots);
        }
        ASSERT_GT(travelled, 80.0);
        double mostDeg = 0.0;
        for (std::size_t i = 0, j = 0; i < track.size(); ++i) {
            while (j < i && track[i].first - track[j].first > 1.0) ++j;
            for (std::size_t k = j; k < i; ++k) mostDeg = std::max(mostDeg, std::fabs(track[i].second - track[k].second));
        }
        EXPECT_LT(mostDeg, 20.0);
        EXPECT_GT(slowestKt, 2.0);
        EXPECT_NEAR(heading, 269.4, 5.0);
    }
}

TEST_F(Smoothing, ALegIntoAReportOfNoSpeedBrakesToRestThereOnceARestIsReportedJustPastIt) {
    // A tow rolls west at 5.3 kt on 53 m to the last report known, whose
    // speed is the feed's placeholder for none; 14 m short of it a report at
    // rest comes, a tenth of a metre further on. The aircraft comes to rest
    // there braking as a tow does, not from taxi pace within a tick.
    g_liveAircraft.clear();
    constexpr double kt = 5.3;
    const auto legTicks = static_cast<std::int32_t>(std::lround(53.0 / (kt * kKnotsToMps) * 100.0));
    auto s = route(kStart, {{270.0, 53.0}}, kt, legTicks);
    s[1].groundSpeedKt = 1e6;
    const LaLo end = at(s[1]);
    const StreamPoint rest = ground(ahead(end, 270.0, 0.1), s[1].playTick + 1000, 0.0);
    LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 270.0);
    ac.prevPhase = AcPhase::taxi;
    ac.motion.lastStepM = kt * kKnotsToMps / 100.0;
    ac.motion.lastStepTick = tickCount.load() - 1;
    std::vector<double> steps;
    bool reported = false;
    for (int n = 0; n < 20000; ++n, tickCount.store(tickCount.load() + 1)) {
        if (!reported && ac.stream.size() == 1 && metres({ac.pose.latitude, ac.pose.longitude}, end) < 14.0) {
            ac.stream.push_back(rest);
            EXPECT_TRUE(gf_replanLegForNewCorner(ac));
            reported = true;
        }
        const std::optional<double> stepM = playTick(ac);
        ASSERT_TRUE(stepM.has_value());
        steps.push_back(*stepM);
        if (metres({ac.pose.latitude, ac.pose.longitude}, end) < 0.05) break;
    }
    ASSERT_TRUE(reported);
    ASSERT_GE(steps.size(), 50u);
    // Within 5 cm of the report it all but stands: the rate that takes it
    // from its mean speed over the half second before to rest, evenly, is
    // well under the 16 kt/s beyond a tow's hardest braking.
    double lastHalfSecondM = 0.0;
    for (std::size_t i = steps.size() - 50; i < steps.size(); ++i) lastHalfSecondM += steps[i];
    const double meanKt = lastHalfSecondM / 0.5 / kKnotsToMps;
    EXPECT_LT(2.0 * meanKt / 0.5, 16.0);
}

TEST_F(Smoothing, ATurnOntoAReportItsCopiesFollowLeavesAlongTheBendPastThem) {
    // A Light arrival's taxi at 25 kt through a slight corner onto a report
    // at 19 kt, from which the way bends 32 degrees left to the next report
    // at 14 kt, 57 m on. Between them come copies of that report at no
    // speed: the feed repeating it 3.3 s on while the aircraft moves on, or
    // a hold of no length; both leave the stream when the report is reached,
    // so the turn ends along the middle of the bend there, as with no copy
    // (ended along its own leg, the bend was left to a turn on the spot at
    // 19 kt). A hold the aircraft keeps for 20 s leaves the turn ending along
    // its leg: the bend is turned where it stands.
    struct Row {
        const char* name;
        std::int32_t copyAfterTicks, nextAfterCopyTicks;  // no copy when negative
        double endDeg;
    };
    constexpr double kLegDeg = 20.8;
    constexpr double kNextDeg = 349.0;
    const double bisectorDeg = kLegDeg - (kLegDeg - kNextDeg + 360.0) / 2.0;
    const Row rows[] = {
        {"no copy", -1, 0, bisectorDeg},
        {"repeated while it moves on", 330, 305, bisectorDeg},
        {"a hold of no length", 10, 625, bisectorDeg},
        {"a hold of 20 s", 2000, 2000, kLegDeg},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        auto s = route(kStart, {{25.0, 22.5}, {kLegDeg, 30.9}, {kNextDeg, 56.7}}, 24.6, 200);
        s[1].groundSpeedKt = 21.7;
        s[2].groundSpeedKt = 19.2;
        s[2].playTick = s[1].playTick + 300;
        s[3].groundSpeedKt = 13.6;
        s[3].playTick = s[2].playTick + 635;
        if (row.copyAfterTicks >= 0) {
            StreamPoint copy = s[2];
            copy.groundSpeedKt = 0.0;
            copy.stationary = 1;
            copy.playTick = s[2].playTick + row.copyAfterTicks;
            s[3].playTick = copy.playTick + row.nextAfterCopyTicks;
            s.insert(s.begin() + 3, copy);
        }
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 25.0, Light);
        ASSERT_TRUE(smoothTaxiPath(ac));
        ASSERT_TRUE(lf_turnUsable(ac)) << groundTurnStatusName(ac.motion.path.turn.status);
        const double endDeg = sampleGroundTurn(ac.motion.path.turn, 1.0).heading / kDeg;
        EXPECT_NEAR(std::remainder(endDeg - row.endDeg, 360.0), 0.0, 2.0) << endDeg;
    }
}

TEST_F(Smoothing, ALandingRollAtRestOnAReportOfNoSpeedTakesItsBendAtThePaceReportedAfterIt) {
    // A landing roll at rest on the runway at a report of no speed (the feed
    // repeating where it rolled at 11 kt), a report 27 m on a little off its
    // nose at 9.5 kt, and there the way bends onto the exit, reported at 10
    // kt 41 m on and at 10.9 kt after. The turn's entry point on the way to
    // the corner is no rest: from it the bend goes at the pace reported after
    // the rest and reaches the exit's report on time (timed from the rest's
    // no speed, it went at 5 kt and came 7 s late).
    struct Row {
        double offDeg, cornerDeg;
    };
    for (const Row row : {Row{10.0, 39.0}, Row{-10.0, -39.0}, Row{5.0, 45.0}}) {
        SCOPED_TRACE(row.cornerDeg);
        g_liveAircraft.clear();
        gf_clearRunwayTable();
        airport();
        const double legDeg = 90.0 + row.offDeg;
        const double exitDeg = legDeg + row.cornerDeg;
        auto s = route(past(1500.0), {{legDeg, 27.0}, {exitDeg, 41.0}, {exitDeg, 40.0}}, 0.0, 1000);
        s[1].groundSpeedKt = 9.5;
        s[2].groundSpeedKt = 10.0;
        s[2].playTick = s[1].playTick + 800;
        s[3].groundSpeedKt = 10.9;
        s[3].playTick = s[2].playTick + 710;
        const StreamPoint exit = s[2];
        LiveAc& ac = taxiing(std::move(s), AcPhase::landing_roll, 90.0, TwoProps, 10.0);
        ac.prevPhase = AcPhase::flying;
        ac.motion.touchdownHeading = 90.0 * kDeg;
        std::int32_t reached = -1;
        for (int n = 0; n < 6000 && reached < 0; ++n, tickCount.store(tickCount.load() + 1)) {
            if (!playTick(ac)) break;
            if (metres({ac.pose.latitude, ac.pose.longitude}, at(exit)) < 1.0) reached = tickCount.load();
        }
        ASSERT_GE(reached, 0);
        EXPECT_LE(reached - exit.playTick, 300) << "ticks late at the exit's report";
    }
}

TEST_F(Smoothing, ACornerTheReportsComeIntoFarFasterThanTheyLeaveItKeepsItsTime) {
    // Rolling at 26 kt, 50 m short of a corner of 20 to 45 degrees reported
    // at 14.6 kt and due as the mean of the two takes; then the reports
    // pause, the next one 100 m along the exit leg at 9.6 kt, 26 s on. A turn
    // through the corner, played at one pace toward that report's time (as
    // early as its retiming allows), passed the corner 2.6 to 3.2 s after it
    // fell due. The turn ends at the corner instead, and the aircraft is
    // there (over the line across its way in, or within 5 m) about when its
    // report has it there.
    for (const double turnDeg : {30.0, -30.0, 45.0, 20.0}) {
        SCOPED_TRACE(turnDeg);
        g_liveAircraft.clear();
        const double inKt = 26.0;
        const double cornerKt = 14.6;
        auto s = route(kStart, {{90.0, 50.0}, {90.0 + turnDeg, 100.0}}, cornerKt);
        s[0].groundSpeedKt = inKt;
        s[1].playTick = s[0].playTick + static_cast<std::int32_t>(
                                            std::lround(50.0 / ((inKt + cornerKt) / 2.0 * kKnotsToMps) * 100.0));
        s[2].groundSpeedKt = 9.6;
        s[2].playTick = s[1].playTick + 2600;
        const StreamPoint corner = s[1];
        const StreamPoint exit = s[2];
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 90.0, Heavy, 8.0);
        ac.motion.lastStepM = inKt * kKnotsToMps / 100.0;
        ac.motion.lastStepTick = tickCount.load() - 1;
        std::int32_t there = -1;
        bool arrived = false;
        for (int n = 0; n < 6000 && !arrived; ++n, tickCount.store(tickCount.load() + 1)) {
            if (!playTick(ac)) break;
            const LaLo pose{ac.pose.latitude, ac.pose.longitude};
            const double along = metres(at(corner), pose) * std::cos(gf_bearing(at(corner), pose) - 90.0 * kDeg);
            if (there < 0 && (along >= 0.0 || metres(pose, at(corner)) <= 5.0)) there = tickCount.load();
            arrived = metres(pose, at(exit)) < 5.0;
        }
        ASSERT_GE(there, 0);
        EXPECT_TRUE(arrived);
        EXPECT_LE(there - corner.playTick, 150) << "ticks late at the corner";
    }
}

TEST_F(Smoothing, ACornerBeforeThePointTheTaxiComesToRestAtIsTurnedThroughToThatPoint) {
    // A tow at 5 kt, 20 m short of a 54 degree corner, the next report 17 m
    // on 15 s later: its reports come into the corner more than twice as
    // fast as they leave it. Where that report is at no speed and the stream
    // ends there, the tow eases to rest over that leg (its braking plans the
    // slowing) and the turn runs on to the point it rests at; where the
    // reports go on, they paused, and the turn ends at the corner.
    for (const bool rests : {true, false}) {
        SCOPED_TRACE(rests);
        g_liveAircraft.clear();
        auto s = route(kStart, {{216.0, 20.5}, {270.0, 16.6}, {270.0, 20.0}}, 5.0, 850);
        s[2].playTick = s[1].playTick + 1550;
        s[3].playTick = s[2].playTick + 850;
        if (rests) {
            s[2].groundSpeedKt = 0.0;
            s.pop_back();
        }
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 216.0, Large, 8.0);
        ASSERT_TRUE(makeTurnGnd(ac, lf_cornerDeg(ac)));
        ASSERT_TRUE(lf_turnUsable(ac));
        EXPECT_EQ(ac.motion.path.turn.cornerEnd != 0, !rests);
    }
}

TEST_F(Smoothing, ACornerTheTaxiStopsAtAFewMetresShortOfItsRestKeepsItsTime) {
    // A tow at 7 kt, 47 m short of a 17 degree corner due 13 s on, its
    // stream ending on a report at no speed 3.3 m past the corner 14.9 s
    // later: it stopped about at the corner and stood, no slowing over that
    // leg to plan. Turned through to the rest at one pace, it crawled into
    // the corner and passed it 4 s late, whether the corner's report gave a
    // tow's speed or none at all (1e6 kt). It passes the corner about when
    // its report has it there and comes to rest on the last report.
    for (const double cornerKt : {7.0, 1.0e6}) {
        SCOPED_TRACE(cornerKt);
        g_liveAircraft.clear();
        auto s = route(kStart, {{253.4, 47.0}, {270.0, 3.3}}, 7.0);
        s[1].playTick = s[0].playTick + 1300;
        s[1].groundSpeedKt = cornerKt;
        s[2].playTick = s[1].playTick + 1486;
        s[2].groundSpeedKt = 0.0;
        const StreamPoint corner = s[1];
        const StreamPoint rest = s[2];
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 253.4, Large, 8.0);
        ac.motion.lastStepM = 7.0 * kKnotsToMps / 100.0;
        ac.motion.lastStepTick = tickCount.load() - 1;
        std::int32_t there = -1;
        for (int n = 0; n < 6000; ++n, tickCount.store(tickCount.load() + 1)) {
            if (!playTick(ac)) break;
            const LaLo pose{ac.pose.latitude, ac.pose.longitude};
            const double along = metres(at(corner), pose) * std::cos(gf_bearing(at(corner), pose) - 253.4 * kDeg);
            if (there < 0 && (along >= 0.0 || metres(pose, at(corner)) <= 0.5)) there = tickCount.load();
        }
        ASSERT_GE(there, 0);
        EXPECT_LE(there - corner.playTick, 150) << "ticks late at the corner";
        EXPECT_LT(metres({ac.pose.latitude, ac.pose.longitude}, at(rest)), 1.0);
    }
}

TEST_F(Smoothing, ATurnThatWouldCutACornerReportFarEndsOnItAlongTheWayTheReportsWent) {
    // A light taxi at 16 kt, nose 84 degrees, 53 m short of a report whose
    // own track (159 degrees) is already that of the 77 m leg after it: the
    // aircraft turned short of it and rolled through it straight on. Turned
    // round it toward the report after, the taxi passed it 13 m inside. The
    // turn ends on it instead, along its track. Reported along the way in
    // (90 degrees) at a right angle, the report is no way through it, and
    // ending there left the whole right angle to the leg after it: the turn
    // round the corner stays.
    struct Row {
        double trackDeg;
        bool endsOnIt;
    };
    for (const Row& row : {Row{158.8, true}, Row{90.0, false}}) {
        SCOPED_TRACE(row.trackDeg);
        const LaLo from{47.449003, -122.316527};
        const LaLo corner = row.endsOnIt ? LaLo{47.448928, -122.315829} : ahead(from, 90.0, 53.0);
        const LaLo exit = row.endsOnIt ? LaLo{47.448276, -122.315478} : ahead(corner, 180.0, 53.0);
        std::deque<StreamPoint> s{ground(from, tickCount.load(), 16.0), ground(corner, tickCount.load() + 1000, 11.3),
                                  ground(exit, tickCount.load() + 2000, 16.3),
                                  ground(ahead(exit, row.endsOnIt ? 160.0 : 180.0, 70.0), tickCount.load() + 2900, 16.3)};
        s[1].trackDeg = row.trackDeg;
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, row.endsOnIt ? 84.0 : 90.0, Light);
        ASSERT_TRUE(smoothTaxiPath(ac));
        ASSERT_TRUE(lf_turnUsable(ac));
        double nearestM = 1e9;
        for (int k = 0; k <= 200; ++k) {
            const CurvePoint p = sampleGroundTurn(ac.motion.path.turn, k / 200.0);
            nearestM = std::min(nearestM, metres({p.lat, p.lon}, corner));
        }
        EXPECT_EQ(ac.motion.path.turn.cornerEnd != 0, row.endsOnIt);
        if (row.endsOnIt) {
            EXPECT_LT(nearestM, 0.5);
            EXPECT_EQ(at(ac.stream[1]).lat, corner.lat);  // the report stays: the leg on starts there
            const CurvePoint end = sampleGroundTurn(ac.motion.path.turn, 1.0);
            EXPECT_NEAR(end.heading / kDeg, row.trackDeg, 0.5);
        }
    }
}
