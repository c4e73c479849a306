// Air configuration and phase changes: flaps, gear and throttle by height
// and category, the approach, the go-around, the climb configuration, and
// the start of a takeoff roll.

#include <gmock/gmock.h>

#include "engine/engine_lists.h"
#include "motion/air_config.h"
#include "motion/takeoff_start.h"

#include "air_fixture.h"

using namespace tavo::test;
using ::testing::ElementsAre;
using ::testing::Pair;

namespace {

using Events = std::vector<std::pair<std::uint32_t, std::uint32_t>>;
const Events kClimbConfiguration{{CABIN_LIGHTS_SET, 0}, {THROTTLE_SET, 16383}, {GEAR_SET, 0}, {FLAPS_SET, 0}};

class AirConfig : public AirTest {};

}  // namespace

TEST_F(AirConfig, FlapsGearAndThrottleFollowTheHeightByCategory) {
    struct Row {
        std::uint32_t category;
        double heightFt, frontVs;
        std::uint32_t flaps, throttle;
        Events expected;
    };
    for (const Row& row : {
             Row{TwoProps, 1800, -300, 0, 2, {{CABIN_LIGHTS_SET, 1}, {FLAPS_SET, 3072}}},
             Row{TwoProps, 1800, -300, 1, 2, {{CABIN_LIGHTS_SET, 1}, {FLAPS_SET, 10240}}},  // its next leg
             Row{TwoProps, 2500, -300, 2, 2, {{CABIN_LIGHTS_SET, 1}, {GEAR_SET, 0}, {FLAPS_SET, 0}}},
             // No flaps while climbing: level flight at most.
             Row{TwoProps, 1800, 100, 0, 2, {{CABIN_LIGHTS_SET, 1}, {FLAPS_SET, 3072}}},
             Row{TwoProps, 1800, 101, 0, 2, {{CABIN_LIGHTS_SET, 1}}},
             Row{TwoProps, 2200, 300, 0, 2, {{CABIN_LIGHTS_SET, 1}}},
             Row{Large, 1800, 0, 0, 2, {{CABIN_LIGHTS_SET, 0}}},  // the phase decision
             Row{Large, 2200, -300, 0, 2, {{CABIN_LIGHTS_SET, 1}, {FLAPS_SET, 3072}}},
             Row{Light, 700, 0, 0, 2, {{CABIN_LIGHTS_SET, 1}, {FLAPS_SET, 3072}}},
             Row{Light, 600, 0, 0, 2, {{CABIN_LIGHTS_SET, 0}}},
             Row{Large, 5000, -300, 0, 3, {{CABIN_LIGHTS_SET, 1}, {THROTTLE_SET, 8191}, {GEAR_SET, 0}}},
             Row{Large, 5000, 500, 0, 4, {{CABIN_LIGHTS_SET, 1}, {THROTTLE_SET, 11468}, {GEAR_SET, 0}}},
         }) {
        LiveAc& ac = aircraft({at({50.0, 7.9}, 2000, true, 10000, row.frontVs), at({50.0, 7.95}, 1950, true, 10500)},
                              row.category, AcPhase::flying);
        ac.motion.lowAltitudeConfig = 1;
        ac.flapsIndex = row.flaps;
        ac.throttleStep = row.throttle;
        updateAirConfig(ac, row.heightFt);
        EXPECT_EQ(events(), row.expected) << row.category << " at " << row.heightFt << " flaps " << row.flaps;
    }
}

TEST_F(AirConfig, ApproachGoAroundAndClimbConfiguration) {
    airport();
    // Descending 5 NM out: the approach.
    LiveAc& ac = aircraft({at(past(-9000), 1300, true, 10000, -700), at(past(-8500), 1250, true, 10500, -700)}, Large,
                          AcPhase::flying);
    ac.standId = 7;
    newLiveCheckQueue.clear();
    updateAirPhase(ac);
    EXPECT_EQ(ac.phase, AcPhase::landing);
    EXPECT_EQ(events(), (Events{{CABIN_LIGHTS_SET, 0}, {THROTTLE_SET, 4914}, {FLAPS_SET, 16383}, {GEAR_SET, 1}}));
    EXPECT_EQ(ac.standId, 0);
    EXPECT_THAT(newLiveCheckQueue, ElementsAre(ac.hexid));
    EXPECT_EQ(ac.motion.delayLimit, 2700);
    // Climbing away 60 ft at 500 ft/min: the go-around.
    ac.stream = {at(past(-8500), 1250, true, 10000, 500), at(past(-8000), 1310, true, 10500, 500)};
    ac.motion.flareStage = 1;
    updateAirPhase(ac);
    EXPECT_EQ(ac.phase, AcPhase::flying);
    EXPECT_EQ(ac.motion.flareStage, 0u);
    EXPECT_EQ(events(), kClimbConfiguration);
    // Climbing on faster: the climb configuration is set already.
    ac.stream[0].verticalSpeed = 700.0;
    updateAirPhase(ac);
    EXPECT_EQ(events(), (Events{{CABIN_LIGHTS_SET, 0}}));

    // The first report to climb away, 100 ft at 1,300 ft/min after one
    // descending: the last of the stream goes around; one with a report after
    // it waits for that report to confirm the climb; a rise of 40 ft does not,
    // nor a bad altitude 5,000 ft up.
    struct Row {
        double gainFt;
        std::size_t after;
        AcPhase expected;
    };
    for (const Row& row : {Row{100, 0, AcPhase::flying}, Row{100, 1, AcPhase::landing}, Row{40, 0, AcPhase::landing},
                          Row{5000, 0, AcPhase::landing}}) {
        LiveAc& climb = aircraft(
            {at(past(-2000), 650, true, 10000, -770), at(past(-1700), 650 + row.gainFt, true, 10700, 1300)}, Large,
            AcPhase::landing);
        if (row.after != 0) climb.stream.push_back(at(past(-1400), 650 + 2 * row.gainFt, true, 11400, 1300));
        updateAirPhase(climb);
        EXPECT_EQ(climb.phase, row.expected) << row.gainFt << " ft, " << row.after << " after";
    }

    // Landing but 12 NM out: it goes around.
    LiveAc& away = aircraft({at(past(-22224), 3000, true, 10000, -700), at(past(-21700), 2950, true, 10500, -700)},
                            Large, AcPhase::landing);
    events();
    updateAirPhase(away);
    EXPECT_EQ(away.phase, AcPhase::flying);
    EXPECT_EQ(events(), kClimbConfiguration);
    // Past the end of the runway by more than 100 m and more than 250 ft
    // above it: it goes around; 240 ft above it lands on.
    for (const auto& [aboveFt, around] : {std::pair{260.0, true}, {240.0, false}}) {
        LiveAc& over = aircraft({at(past(3150), 300 + aboveFt, true, 10000), at(past(3400), 300 + aboveFt, true, 10500)},
                                Large, AcPhase::landing);
        over.landingRunway = findLandingRunway(past(2000), over.pose.heading);
        ASSERT_TRUE(over.landingRunway.has_value());
        over.motion.landingRunwayRefPos = past(2000);
        over.motion.landingRunwayRefValid = 1;
        over.pose.latitude = past(3150).lat;
        over.pose.longitude = past(3150).lon;
        over.pose.altitude = 300.0 + aboveFt;
        updateAirPhase(over);
        EXPECT_EQ(over.phase, around ? AcPhase::flying : AcPhase::landing) << aboveFt;
    }

    // Descending 12 NM out: still flying.
    LiveAc& far = aircraft({at(past(-22224), 3000, true, 10000, -700), at(past(-21700), 2950, true, 10500, -700)},
                           Large, AcPhase::flying);
    updateAirPhase(far);
    EXPECT_EQ(far.phase, AcPhase::flying);
}

TEST_F(AirConfig, ATakeoffRollStartsWithItsConfiguration) {
    LiveAc& ac = aircraft({at({50.0, 8.0}, 0, false, 10000)}, Large, AcPhase::landing_roll);
    ac.motion.takeoffRoll.takeoffWait = 1;
    ac.takeoffRunway = RunwayMatch{};
    startTakeoffRoll(ac, 1);
    EXPECT_EQ(ac.phase, AcPhase::takeoff_roll);
    EXPECT_EQ(ac.motion.takeoffRoll.forcedTakeoff, 1);
    EXPECT_EQ(ac.motion.takeoffRoll.takeoffWait, 0);
    EXPECT_FALSE(ac.takeoffRunway.has_value());
    EXPECT_EQ(ac.motion.advanceLimit, 2700);
    EXPECT_EQ(ac.motion.delayLimit, 4500);
    EXPECT_EQ(events(), (Events{{THROTTLE_SET, 11468}, {SPOILERS_SET, 16383}, {FLAPS_SET, 3072}, {NAV_LIGHTS_SET, 1},
                                {BEACON_LIGHTS_SET, 1}, {LANDING_LIGHTS_SET, 1}, {TAXI_LIGHTS_SET, 1},
                                {STROBES_SET, 1}, {LOGO_LIGHTS_SET, 1}, {CABIN_LIGHTS_SET, 0}}));
    // A towed aircraft rolls idle with its spoilers off, and is reported.
    LiveAc& towed = aircraft({at({50.0, 8.0}, 0, false, 10000)}, Large, AcPhase::taxi);
    towed.motion.towed = 1;
    startTowedTakeoffRoll(towed);
    const Events e = events();
    EXPECT_EQ(Events(e.begin(), e.begin() + 3), (Events{{THROTTLE_SET, 0}, {SPOILERS_SET, 0}, {FLAPS_SET, 3072}}));
    EXPECT_THAT(newLogLines(), ::testing::HasSubstr("towed aircraft takes-off? " + towed.callsign));
}
