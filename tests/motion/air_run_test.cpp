// A flight through engine, link and simulator model on the motion harness:
// climb, cruise, approach, flare, touchdown and landing roll at an airport on
// raised ground, judged tick by tick by the smoothness checker and plotted,
// its control and light events in order on the simulator's journal.

#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <vector>

#include "airports/current_airport.h"
#include "foundation/geodesy.h"
#include "motion/runways.h"
#include "platform/simconnect/sim_model.h"
#include "simlink/sim_ids.h"
#include "support/motion_harness.h"
#include "support/temp_dir.h"

#include "air_run_fixture.h"
#include "runway_fixture.h"

using namespace tavo::test;

namespace {

constexpr double kFieldFt = kAirRunFieldFt;
constexpr double kDeg = degreesToRadians;

class AirRun : public AirRunTest {
protected:
    // A runway 09/27 (3000 m) whose landing direction 09 has its touchdown
    // zone at the position, and the airport there.
    static void airportAt(LaLo touchdown) {
        RunwaySpec spec;
        spec.centre = gf_destinationPoint(touchdown, {90.0 * kDeg, 1200.0 * feetPerMetre});
        spec.altitudeFt = kFieldFt;
        addAirportRunway(spec);
    }

    // An AT76 reported every 2 s down to 640 ft above the field (above the
    // 625 ft its approach is decided below), then nothing for 77 s, then on
    // the runway until its stream ends on the landing roll at 45 kt; with
    // `backAirborne` the first report after the pause is the touchdown,
    // still marked airborne and level. It must pass the checker, approach,
    // land and roll out.
    void flyPausedArrival(std::uint32_t hexid, bool backAirborne, const char* plot) {
        ScannedLiveriesBuilder liveries = EngineHarness::defaultLiveries();
        liveries.livery("KLM", "AT76", "KLM AT76");
        harness->engine().installLiveries(liveries);
        harness->engine().settings([](SettingsSnapshot& s) { s.TWO_PROPS = 1; });
        Route route(hexid, {50.2, 8.0}, 90.0, 70.0, kFieldFt + 1200.0, true);
        route.identity("KLM471", "PH-KLA", "AT76", "KLM");
        route.climb(-500).straight(67.2);
        const double pauseS = route.duration();
        route.straight(76.8);
        const double touchdownS = route.duration();
        route.land().speedTo(45.0, 10).straight(4);
        airportAt(route.at(touchdownS).position);
        ASSERT_NEAR(route.at(pauseS).altitudeFt - kFieldFt, 640.0, 1.0);
        ASSERT_NEAR(route.at(touchdownS).altitudeFt, kFieldFt, 1.0);
        std::map<std::int32_t, std::vector<TrafficRecord>> batches;
        for (double s = 0.0; s <= route.duration() + 1e-9; s += 2.0)
            if (s <= pauseS || s > touchdownS)
                batches[static_cast<std::int32_t>(std::llround(s * 100.0))].push_back(route.reportAt(s));
        if (backAirborne) {
            TrafficRecord back = route.reportAt(touchdownS);
            ASSERT_EQ(back.point.airborne, 1);
            back.point.verticalSpeed = 0.0;
            batches[static_cast<std::int32_t>(std::llround(touchdownS * 100.0))].push_back(back);
        }
        for (auto& [tick, batch] : batches) harness->engine().schedule(tick, std::move(batch));
        harness->run(30000);
        harness->writePlot(plot);

        const AircraftRecord* r = harness->record(route.hexid());
        ASSERT_NE(r, nullptr);
        const MotionCheckResult result = SmoothnessChecker{}.checkAll(*r);
        EXPECT_TRUE(result.findings.empty()) << result.summary();
        std::vector<AcPhase> phases;
        for (const MotionSample& s : r->samples)
            if (phases.empty() || phases.back() != s.phase) phases.push_back(s.phase);
        EXPECT_THAT(phases, ::testing::ElementsAre(AcPhase::flying, AcPhase::landing, AcPhase::landing_roll));
        EXPECT_TRUE(r->samples.back().onGround);
    }
};

}  // namespace

TEST_F(AirRun, ClimbCruiseApproachFlareTouchdownAndRollPassTheChecker) {
    // 2000 ft above the field: a climb of 600 ft, a cruise, a descent at 700
    // ft/min slowing to 140 kt onto the runway, and a landing roll.
    Route route(0xC00001, {50.2, 8.0}, 90.0, 160.0, kFieldFt + 2000.0, true);
    route.identity("DLH401", "D-AIBA", "A320", "DLH");
    route.climb(800).straight(45).climb(0).straight(40).climb(-700).speedTo(140.0, 20).straight(202.86);
    const double touchdownS = route.duration();
    route.land().speedTo(20.0, 40).straight(10);
    const Route::State touchdown = route.at(touchdownS);
    ASSERT_NEAR(touchdown.altitudeFt, kFieldFt, 2.0);
    airportAt(touchdown.position);
    harness->add(route, 2.0);
    ASSERT_TRUE(harness->runUntilGone(route.hexid(), 60000));
    harness->writePlot("climb_cruise_approach_touchdown_roll");

    const AircraftRecord* r = harness->record(route.hexid());
    ASSERT_NE(r, nullptr);
    const MotionCheckResult result = SmoothnessChecker{}.checkAll(*r);
    EXPECT_TRUE(result.findings.empty()) << result.summary();
    EXPECT_GT(result.judged.at(MotionCheck::ClimbChange), 20000u);

    // Every phase of the flight was flown, in this order.
    std::vector<AcPhase> phases;
    for (const MotionSample& s : r->samples)
        if (phases.empty() || phases.back() != s.phase) phases.push_back(s.phase);
    EXPECT_THAT(phases, ::testing::ElementsAre(AcPhase::flying, AcPhase::landing, AcPhase::landing_roll));
    EXPECT_TRUE(std::any_of(r->samples.begin(), r->samples.end(), [](const MotionSample& s) { return s.flareStage == 4; }));
    const auto landed = std::find_if(r->samples.begin(), r->samples.end(), [](const MotionSample& s) { return s.onGround; });
    ASSERT_NE(landed, r->samples.end());
    // On the runway, past its threshold and in its first third.
    const auto runway = findLandingRunway({landed->pose.latitude, landed->pose.longitude}, landed->pose.heading);
    ASSERT_TRUE(runway.has_value());
    EXPECT_GE(*runway->pastThresholdM, 60.0);
    EXPECT_LE(*runway->pastThresholdM, 1000.0);
    // Standing on the ground afterwards.
    EXPECT_LT(std::fabs(r->samples.back().pose.altitude - kFieldFt), 20.0);
    // The nose came down from the flare gradually onto the model's standing
    // pitch of 0.
    EXPECT_EQ(r->samples.back().flareStage, 0u);
    EXPECT_EQ(r->samples.back().pose.pitch, 0.0);
    double pitchStep = 0.0;
    for (auto s = landed + 1; s != r->samples.end(); ++s)
        pitchStep = std::max(pitchStep, std::fabs(s->pose.pitch - (s - 1)->pose.pitch));
    EXPECT_LT(pitchStep, 0.05 * kDeg);

    EXPECT_THAT(logText(), ::testing::ContainsRegex(" DLH401 D-AIBA DLH A3[0-9]+ touch down at FRA runway 09 \\.\\.\\.\n"));

    EXPECT_TRUE(harness->engine().eventsInOrder(r->objectId, {// low altitude: every light on
                                    {NAV_LIGHTS_SET, 1}, {BEACON_LIGHTS_SET, 1}, {LANDING_LIGHTS_SET, 1},
                                    {TAXI_LIGHTS_SET, 1}, {STROBES_SET, 1}, {LOGO_LIGHTS_SET, 1},
                                    {CABIN_LIGHTS_SET, 1},
                                    // 2000 ft up and climbing: the climb configuration
                                    {CABIN_LIGHTS_SET, 0}, {THROTTLE_SET, 16383}, {GEAR_SET, 0}, {FLAPS_SET, 0},
                                    // above 2050 ft: configured by height, climb throttle
                                    {CABIN_LIGHTS_SET, 1}, {THROTTLE_SET, 11468},
                                    // descending: less throttle, then flaps below 2400 ft
                                    {THROTTLE_SET, 8191}, {FLAPS_SET, 3072},
                                    // the approach
                                    {CABIN_LIGHTS_SET, 0}, {THROTTLE_SET, 4914}, {FLAPS_SET, 16383}, {GEAR_SET, 1},
                                    // the flare, the touchdown
                                    {THROTTLE_SET, 0}, {SPOILERS_SET, 16383}}));
}

TEST_F(AirRun, ReportsPausedAboveTheApproachHeightAndBackOnTheRunwayLandAndRollOut) {
    // Its one leg down to the runway is the approach: the touchdown starts a
    // landing roll that brakes to rest, not a flight on the ground that
    // stops dead.
    flyPausedArrival(0xC00002, false, "paused_above_the_approach_height");
}

TEST_F(AirRun, ReportsPausedAboveTheApproachHeightAndBackAirborneAtFieldHeightLandAndRollOut) {
    // The first report back is still marked airborne, level at the field's
    // height over the runway; the ones after it are on the ground. The leg
    // down to it is the approach just as a leg to a report on the ground is.
    flyPausedArrival(0xC00003, true, "paused_above_the_approach_height_back_airborne");
}
