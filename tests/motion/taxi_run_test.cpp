// Taxi routes through engine, link and simulator model on the motion
// harness: sharp corners from 15 to 120 degrees, a zig-zag, and a departure
// that stops on the runway at an angle, lines up and rolls. The checker
// judges every tick (ground heading rate, position steps, points reached) and
// the plots show the turns.

#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include <fmt/format.h>

#include "airports/current_airport.h"
#include "engine/engine_state.h"
#include "foundation/geodesy.h"
#include "motion/runways.h"
#include "support/motion_harness.h"
#include "support/temp_dir.h"

#include "runway_fixture.h"
#include "taxi_route.h"

using namespace tavo::test;

namespace {

constexpr double kDeg = degreesToRadians;

class TaxiRun : public LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        harness = std::make_unique<MotionHarness>();
        harness->engine().settings([](SettingsSnapshot& s) { s.MAX_HOLDING_MINUTES = 1; });
        // What the motion path held on each tick, per aircraft.
        harness->afterTick([this](LiveAc& ac) {
            PathTicks& t = paths[ac.hexid];
            const GroundTurn& turn = ac.motion.path.turn;
            if (turn.status == GroundTurnStatus::None && turn.totalLength > 0.0) ++t.groundTurn;
            if (departures.count(ac.hexid) != 0) ac.origin = IataCode("FRA");
            if (ac.motion.lineUp.key) t.linedUp = true;
        });
    }
    void TearDown() override {
        harness.reset();
        gf_clearRunwayTable();
        gf_clearCurrentAirport();
        LogFileTest::TearDown();
    }

    void runAll(const std::vector<Route>& routes, int maxTicks) {
        for (const Route& r : routes) ASSERT_TRUE(harness->runUntilGone(r.hexid(), maxTicks)) << std::hex << r.hexid();
    }

    // What expectSmooth holds the motion to: a pilot's limits, or the earlier
    // ones where the motion does not yet meet a pilot's.
    MotionLimits limits;

    // The checker's verdict on the aircraft's engine and received poses.
    void expectSmooth(std::uint32_t hexid) {
        const AircraftRecord* r = harness->record(hexid);
        ASSERT_NE(r, nullptr);
        const MotionCheckResult result = SmoothnessChecker{limits}.checkAll(*r);
        EXPECT_TRUE(result.findings.empty()) << result.summary();
        EXPECT_GT(result.judged.at(MotionCheck::GroundTurnRate), 1000u);
        EXPECT_GT(result.judged.at(MotionCheck::PointReached), 3u);
    }

    struct PathTicks {
        int groundTurn = 0;
        bool linedUp = false;
    };
    std::unique_ptr<MotionHarness> harness;
    std::map<std::uint32_t, PathTicks> paths;
    std::set<std::uint32_t> departures;
};

}  // namespace

TEST_F(TaxiRun, SharpCornersFrom15To120DegreesAreTakenAsGroundTurns) {
    limits = MotionLimits::earlier();  // until the motion meets a pilot's limits here too
    // At 15 kt with a report every 4 s (31 m), each route turns once on the
    // spot between two reports, left and right alternately.
    const std::vector<double> corners{15.0, 30.0, 45.0, 60.0, 90.0, 120.0};
    std::vector<Route> routes;
    for (std::size_t i = 0; i < corners.size(); ++i) {
        const double by = i % 2 == 0 ? corners[i] : -corners[i];
        routes.push_back(taxiRoute(0xD00001 + static_cast<std::uint32_t>(i), {50.01 + 0.004 * i, 8.02}, 90.0, 15.0));
        routes.back().straight(20).turn(by, 0.2).straight(23.8);
        harness->add(routes.back(), 4.0);
    }
    runAll(routes, 30000);
    harness->writePlot("taxi_corners_15_to_120");
    for (std::size_t i = 0; i < routes.size(); ++i) {
        SCOPED_TRACE(corners[i]);
        const std::uint32_t hexid = routes[i].hexid();
        expectSmooth(hexid);
        // The corner was rounded by a ground turn, and the
        // heading came round to the new leg.
        const PathTicks& t = paths[hexid];
        EXPECT_GT(t.groundTurn, 100);
        const AircraftRecord* r = harness->record(hexid);
        const double wanted = (90.0 + (i % 2 == 0 ? corners[i] : -corners[i])) * kDeg;
        EXPECT_LT(std::fabs(std::remainder(r->samples.back().pose.heading - wanted, fullCircle)), 2.0 * kDeg);
    }
}

TEST_F(TaxiRun, AZigZagIsTaxiedStraightThrough) {
    // Reports every 3 s at 12 kt swinging 8 and 9 degrees either side.
    Route route = taxiRoute(0xD00011, {50.03, 8.03}, 90.0, 12.0);
    route.straight(9).turn(4, 0.2).straight(3).turn(-8, 0.2).straight(2.8).turn(8, 0.2).straight(2.8)
        .turn(-4, 0.2).straight(15);
    harness->add(route, 3.0);
    runAll({route}, 30000);
    harness->writePlot("taxi_zig_zag");
    expectSmooth(route.hexid());
    // Merged: the heading never strays far from the straight line.
    const AircraftRecord* r = harness->record(route.hexid());
    for (const MotionSample& s : r->samples)
        EXPECT_LT(std::fabs(std::remainder(s.pose.heading - 90.0 * kDeg, fullCircle)), 6.0 * kDeg);
}

TEST_F(TaxiRun, ADepartureStopsOnTheRunwayAtAnAngleLinesUpAndRolls) {
    // Runway 09/27 of FRA; the departure comes down a taxiway heading 150,
    // turns onto the runway start 30 degrees off its heading, stops, stands
    // 20 s, turns onto the runway heading and rolls along it.
    RunwaySpec spec;
    const FacilityRunway runway = makeRunway(spec);
    g_runwayTable.emplace_back(runway);
    gf_setCurrentAirport(AirportListEntry{IcaoCode("EDDF"), IataCode("FRA"), spec.centre, 300});
    const LaLo stopAt = placeOn(runway, -spec.lengthM / 2.0 + 150.0, 0.0);
    const LaLo start = gf_destinationPoint(stopAt, {300.0 * kDeg, 200.0 * feetPerMetre});

    Route route = taxiRoute(0xD00021, start, 120.0, 10.0);
    route.straight(36.9).speedTo(0.0, 4).straight(20).turn(-30, 6).speedTo(20.0, 1).straight(17);
    departures.insert(route.hexid());
    harness->add(route, 2.0);
    runAll({route}, 40000);
    harness->writePlot("taxi_line_up_and_roll");
    expectSmooth(route.hexid());
    EXPECT_TRUE(paths[route.hexid()].linedUp);

    // It rolled off taxi into its takeoff roll, which ended facing the runway
    // on its centre line.
    const AircraftRecord* r = harness->record(route.hexid());
    const auto lastRoll = std::find_if(r->samples.rbegin(), r->samples.rend(),
                                       [](const MotionSample& s) { return s.phase == AcPhase::takeoff_roll; });
    ASSERT_NE(lastRoll, r->samples.rend());
    EXPECT_LT(std::fabs(std::remainder(lastRoll->pose.heading - 90.0 * kDeg, fullCircle)), 2.0 * kDeg);
    const auto match = findRunwayMatch({lastRoll->pose.latitude, lastRoll->pose.longitude}, lastRoll->pose.heading,
                                       false, runwayCrossFloorM);
    ASSERT_TRUE(match.has_value());
    EXPECT_EQ(match->endName.view(), "09");
    EXPECT_LT(std::fabs(match->crossTrackM), 2.0);
}
