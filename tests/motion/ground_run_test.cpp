// Aircraft on the ground end to end, on the motion harness: from a stand
// through pushback, taxi, the runway and the takeoff roll into the air, and
// from a landing roll off the runway into taxi; judged tick by tick by the
// smoothness checker and plotted, their control and light events in order.

#include <gmock/gmock.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "airports/current_airport.h"
#include "airports/loaded_airport.h"
#include "engine/stands.h"
#include "foundation/geodesy.h"
#include "motion/runways.h"
#include "platform/simconnect/sim_model.h"
#include "simlink/sim_ids.h"
#include "support/motion_harness.h"
#include "support/stand_table.h"
#include "support/temp_dir.h"

#include "runway_fixture.h"

using namespace tavo::test;

namespace {

constexpr double kFieldFt = 300.0;
constexpr double kDeg = degreesToRadians;
// At 8 kt a quarter turn over 10 s has a radius of 26.2 m: the Light
// aircraft 60 m north of the centre line goes straight for this long first.
constexpr double kTaxiToTurnS = (60.0 - 26.2) / (8.0 * 0.5144444444444445);

class GroundRun : public LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        // The user's aircraft stands off the runway and the taxiways: an
        // aircraft rolling through it would be removed as a collision.
        EngineHarness::Options options;
        options.userPosition = LaLo{50.01, 7.97};
        harness = std::make_unique<MotionHarness>(options);
        harness->engine().settings([](SettingsSnapshot& s) { s.MAX_HOLDING_MINUTES = 2; });
        gf_simModelSetTerrain([](double, double) { return kFieldFt; });
        gf_simModelSetJournalLimit(100000);
        runway = addAirportRunway(spec);
    }
    void TearDown() override {
        gf_clearRunwayTable();
        clearStandTable();
        gf_clearLoadedAirport();
        harness.reset();
        LogFileTest::TearDown();
    }

    // The phases of the recording in the order they were first entered.
    static std::vector<AcPhase> phases(const AircraftRecord& r) {
        std::vector<AcPhase> out;
        for (const MotionSample& s : r.samples)
            if (out.empty() || out.back() != s.phase) out.push_back(s.phase);
        return out;
    }

    RunwaySpec spec;
    FacilityRunway runway;
    std::unique_ptr<MotionHarness> harness;
};

}  // namespace

TEST_F(GroundRun, FromTheStandThroughPushbackTaxiAndTheRollIntoTheAirPassesTheChecker) {
    // A stand 300 m north of the 09 threshold facing north; the pushback ends
    // 75 m south of it, facing north still.
    const LaLo stand = placeOn(runway, -1400.0, -300.0);
    const LaLo pushed = placeOn(runway, -1400.0, -225.0);
    setStandTable({{"GATE A1", stand, ParkingType::GATE_MEDIUM, 30.0}});
    g_standTable[0].heading = 0.0;
    LoadedAirport loaded;
    loaded.fileLoaded = true;
    gf_setLoadedAirport(loaded);
    // Whatever an airborne leg left in the motion state before the aircraft
    // parked: the pushback must not turn with it.
    harness->afterTick([](LiveAc& ac) {
        if (ac.phase == AcPhase::parked) {
            ac.motion.headingPerTick = 0.01;
            ac.motion.bankPerTick = 0.001;
        }
    });

    Route atStand(0xD00001, stand, 0.0, 0.0, kFieldFt, true);
    atStand.land().straight(20);
    harness->add(atStand, 2.0);
    // Standing where the pushback ends, then west, south onto the runway's
    // threshold, a stop lined up, the roll and the climb-out.
    Route out(0xD00001, pushed, 270.0, 0.0, kFieldFt, true);
    out.land().straight(70).speedTo(10.0, 8).straight(14).turn(-90, 16).straight(23.4).turn(-90, 16);
    out.speedTo(0.0, 6).straight(10).speedTo(150.0, 45).takeOff().climb(2500).straight(40);
    harness->add(out, 2.0, 4000);

    const bool gone = harness->runUntilGone(0xD00001, 60000);
    ASSERT_TRUE(gone);
    harness->writePlot("stand_pushback_taxi_takeoff");
    const AircraftRecord* r = harness->record(0xD00001);
    ASSERT_NE(r, nullptr);
    // Held to the earlier limits until the motion meets a pilot's here too.
    const MotionCheckResult result = SmoothnessChecker{MotionLimits::earlier()}.checkAll(*r);
    EXPECT_TRUE(result.findings.empty()) << result.summary();
    EXPECT_GT(result.judged.at(MotionCheck::PushbackHeading), 1000u);
    EXPECT_GT(result.judged.at(MotionCheck::ProfileJoin), 5u);

    const std::vector<AcPhase> seen = phases(*r);
    EXPECT_THAT(seen, ::testing::IsSupersetOf({AcPhase::parked, AcPhase::pushing_back, AcPhase::pushed_back,
                                               AcPhase::taxi, AcPhase::takeoff_roll, AcPhase::takeoff,
                                               AcPhase::flying}));
    EXPECT_EQ(seen.front(), AcPhase::parked);
    EXPECT_EQ(seen.back(), AcPhase::flying);
    EXPECT_THAT(logText(), ::testing::ContainsRegex(" KLM1234 PH-BXA KLM B738 take off from FRA runway 09 \\.\\.\\.\n"));

    EXPECT_TRUE(harness->engine().eventsInOrder(r->objectId, {// the departure lights as the pushback starts
                                 {NAV_LIGHTS_SET, 1}, {BEACON_LIGHTS_SET, 1}, {LANDING_LIGHTS_SET, 0},
                                 {TAXI_LIGHTS_SET, 1}, {STROBES_SET, 0}, {LOGO_LIGHTS_SET, 1},
                                 {CABIN_LIGHTS_SET, 0},
                                 // the pushback's end: engines, flaps 1
                                 {ENGINE_AUTO_START, 0}, {FLAPS_SET, 3072},
                                 // the roll's throttle, then the climb
                                 {THROTTLE_SET, 16383}, {GEAR_SET, 0}}));
}

TEST_F(GroundRun, ALandingRollTurningOffTheRunwayBecomesTaxi) {
    // 1500 ft above the field on a 700 ft/min descent onto the runway, then
    // the roll slowing to 18 kt and a right turn off it.
    Route route(0xD00002, {50.0, 7.7}, 90.0, 140.0, kFieldFt + 1500.0, true);
    route.climb(-700).straight(1500.0 * 60.0 / 700.0);
    const double touchdownS = route.duration();
    route.land().speedTo(18.0, 35).turn(90, 12).straight(20);
    const Route::State touchdown = route.at(touchdownS);
    gf_clearRunwayTable();
    spec.centre = gf_destinationPoint(touchdown.position, {90.0 * kDeg, 1200.0 * feetPerMetre});
    runway = addAirportRunway(spec);
    harness->add(route, 2.0);
    ASSERT_TRUE(harness->runUntilGone(route.hexid(), 40000));
    harness->writePlot("landing_roll_to_taxi");

    const AircraftRecord* r = harness->record(route.hexid());
    ASSERT_NE(r, nullptr);
    const MotionCheckResult result = SmoothnessChecker{}.checkAll(*r);
    EXPECT_TRUE(result.findings.empty()) << result.summary();
    EXPECT_GT(result.judged.at(MotionCheck::ProfileJoin), 3u);
    EXPECT_THAT(phases(*r), ::testing::ElementsAre(AcPhase::landing, AcPhase::landing_roll, AcPhase::taxi));
    EXPECT_TRUE(harness->engine().eventsInOrder(r->objectId, {{SPOILERS_SET, 16383},
                                 // turning off: flaps up, spoilers and reverse off, the taxi lights
                                 {FLAPS_SET, 0}, {SPOILERS_SET, 0}, {NAV_LIGHTS_SET, 1}, {BEACON_LIGHTS_SET, 1},
                                 {LANDING_LIGHTS_SET, 0}, {TAXI_LIGHTS_SET, 1}, {STROBES_SET, 0},
                                 {LOGO_LIGHTS_SET, 1}, {CABIN_LIGHTS_SET, 1}}));
}

TEST_F(GroundRun, ALightAircraftLinesUpRollsAndTakesOffNeverBackwards) {
    // Waiting 60 m north of the runway facing south, then a left turn onto
    // the centre line, a stop lined up, the roll and the climb-out.
    Route route(0xD00003, placeOn(runway, -1400.0, -60.0), 180.0, 0.0, kFieldFt, true);
    route.identity("DEABC", "D-EABC", "C172", "");
    route.land().straight(40).speedTo(8.0, 4).straight(kTaxiToTurnS).turn(-90, 10);
    route.speedTo(0.0, 4).straight(10).speedTo(65.0, 25).takeOff().climb(700).straight(40);
    harness->add(route, 2.0);
    ASSERT_TRUE(harness->runUntilGone(route.hexid(), 40000));
    harness->writePlot("light_lineup_takeoff");

    const AircraftRecord* r = harness->record(route.hexid());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->category, Light);
    // Held to the earlier limits until the motion meets a pilot's here too.
    const MotionCheckResult result = SmoothnessChecker{MotionLimits::earlier()}.checkAll(*r);
    EXPECT_TRUE(result.findings.empty()) << result.summary();
    EXPECT_GT(result.judged.at(MotionCheck::TakeoffRollBackwards), 500u);
    EXPECT_THAT(phases(*r), ::testing::IsSupersetOf({AcPhase::taxi, AcPhase::takeoff_roll, AcPhase::takeoff}));
}
