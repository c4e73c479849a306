// Air configuration and phase changes: flaps, gear and throttle by height
// and category, the phase decision below the configuration height (approach,
// go-around, climb configuration), and the start of a takeoff roll.

#include <gmock/gmock.h>

#include <algorithm>

#include "engine/engine_lists.h"
#include "motion/air_config.h"
#include "motion/takeoff_start.h"

#include "air_fixture.h"

using namespace tavo::test;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Pair;

namespace {

using Events = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

class AirConfig : public AirTest {
protected:
    // A flying aircraft whose front point descends (or climbs) at the rate,
    // its low-altitude lights set already, flaps at the index.
    static LiveAc& configured(std::uint32_t category, double frontVs, std::uint32_t flaps) {
        LiveAc& ac = aircraft({at({50.0, 7.9}, 2000, true, 10000, frontVs), at({50.0, 7.95}, 1950, true, 10500, frontVs)},
                              category, AcPhase::flying);
        ac.motion.lowAltitudeConfig = 1;
        ac.flapsIndex = flaps;
        ac.throttleStep = 2;
        return ac;
    }
};

}  // namespace

TEST_F(AirConfig, FlapsGearAndThrottleFollowTheHeightByCategory) {
    struct Row {
        const char* name;
        std::uint32_t category;
        double heightFt, frontVs;
        std::uint32_t flaps;
        Events expected;
    };
    const Row rows[] = {
        {"TwoProps descending at 1800 ft", TwoProps, 1800, -300, 0, {{CABIN_LIGHTS_SET, 1}, {FLAPS_SET, 3072}}},
        {"its next leg", TwoProps, 1800, -300, 1, {{CABIN_LIGHTS_SET, 1}, {FLAPS_SET, 10240}}},
        {"TwoProps climbing at 1800 ft", TwoProps, 1800, 500, 0, {{CABIN_LIGHTS_SET, 1}}},
        {"TwoProps at 2500 ft", TwoProps, 2500, -300, 2, {{CABIN_LIGHTS_SET, 1}, {GEAR_SET, 0}, {FLAPS_SET, 0}}},
        {"Large at 1800 ft decides its phase", Large, 1800, 0, 0, {{CABIN_LIGHTS_SET, 0}}},
        {"Large at 2200 ft", Large, 2200, -300, 0, {{CABIN_LIGHTS_SET, 1}, {FLAPS_SET, 3072}}},
        {"Large at 2200 ft with flaps 1", Large, 2200, -300, 1, {{CABIN_LIGHTS_SET, 1}}},
        {"Light at 700 ft", Light, 700, 0, 0, {{CABIN_LIGHTS_SET, 1}, {FLAPS_SET, 3072}}},
        {"Light at 600 ft decides its phase", Light, 600, 0, 0, {{CABIN_LIGHTS_SET, 0}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        LiveAc& ac = configured(row.category, row.frontVs, row.flaps);
        updateAirConfig(ac, row.heightFt);
        EXPECT_EQ(events(), row.expected);
        EXPECT_EQ(ac.phase, AcPhase::flying);
    }

    // The throttle comes back for the descent and forward for the climb.
    g_liveAircraft.clear();
    LiveAc& ac = configured(Large, -300, 0);
    ac.throttleStep = 3;
    updateAirConfig(ac, 5000.0);
    EXPECT_THAT(events(), ::testing::Contains(Pair(THROTTLE_SET, 8191u)));
    ac.throttleStep = 4;
    ac.stream[0].verticalSpeed = 500.0;
    updateAirConfig(ac, 5000.0);
    EXPECT_THAT(events(), ::testing::Contains(Pair(THROTTLE_SET, 11468u)));
}

TEST_F(AirConfig, ApproachGoAroundAndClimbConfiguration) {
    airport();
    // A descending aircraft 5 NM out starts its approach.
    LiveAc& near = aircraft({at(past(-9000), 1300, true, 10000, -700), at(past(-8500), 1250, true, 10500, -700)}, Large,
                            AcPhase::flying);
    near.standId = 7;
    near.standPos = {50.0, 8.0};
    near.isGate = 1;
    newLiveCheckQueue.clear();
    updateAirPhase(near);
    EXPECT_EQ(near.phase, AcPhase::landing);
    EXPECT_THAT(events(), ElementsAre(Pair(CABIN_LIGHTS_SET, 0u), Pair(THROTTLE_SET, 4914u), Pair(FLAPS_SET, 16383u),
                                      Pair(GEAR_SET, 1u)));
    EXPECT_EQ(near.standId, 0);
    EXPECT_EQ(near.isGate, 0);
    EXPECT_THAT(newLiveCheckQueue, ElementsAre(near.hexid));
    EXPECT_EQ(near.motion.advanceLimit, 2700);
    EXPECT_EQ(near.motion.delayLimit, 2700);

    // Its stream climbs away again: 60 ft at 500 ft/min.
    near.stream = {at(past(-8500), 1250, true, 10000, 500), at(past(-8000), 1310, true, 10500, 500)};
    near.motion.flareStage = 1;
    updateAirPhase(near);
    EXPECT_EQ(near.phase, AcPhase::flying);
    EXPECT_EQ(near.prevPhase, AcPhase::landing);
    EXPECT_EQ(near.motion.flareStage, 0u);
    EXPECT_EQ(near.motion.climbConfig, 1);
    EXPECT_THAT(events(),
                ElementsAre(Pair(CABIN_LIGHTS_SET, 0u), Pair(THROTTLE_SET, 16383u), Pair(GEAR_SET, 0u), Pair(FLAPS_SET, 0u)));

    // 12 NM out the descent goes on in flying.
    LiveAc& far = aircraft({at(past(-22224), 3000, true, 10000, -700), at(past(-21700), 2950, true, 10500, -700)}, Large,
                           AcPhase::flying);
    updateAirPhase(far);
    EXPECT_EQ(far.phase, AcPhase::flying);

    // Climbing out: the climb configuration, once.
    LiveAc& climbing =
        aircraft({at(past(3000), 800, true, 10000, 900), at(past(3500), 880, true, 10500, 900)}, Large, AcPhase::flying);
    takeEvents();
    updateAirPhase(climbing);
    EXPECT_THAT(events(),
                ElementsAre(Pair(CABIN_LIGHTS_SET, 0u), Pair(THROTTLE_SET, 16383u), Pair(GEAR_SET, 0u), Pair(FLAPS_SET, 0u)));
    updateAirPhase(climbing);
    EXPECT_THAT(events(), ElementsAre(Pair(CABIN_LIGHTS_SET, 0u)));
}

TEST_F(AirConfig, ATakeoffRollStartsWithItsConfiguration) {
    LiveAc& ac = aircraft({at({50.0, 8.0}, 0, false, 10000)}, Large, AcPhase::landing_roll);
    ac.onGround = 1;
    ac.motion.takeoffRoll.takeoffWait = 1;
    ac.motion.touchAndGoResult = 1;
    ac.motion.climbConfig = 1;
    ac.takeoffRunway = RunwayMatch{};
    startTakeoffRoll(ac, 1);
    EXPECT_EQ(ac.phase, AcPhase::takeoff_roll);
    EXPECT_EQ(ac.prevPhase, AcPhase::landing_roll);
    EXPECT_EQ(ac.motion.takeoffRoll.forcedTakeoff, 1);
    EXPECT_EQ(ac.motion.takeoffRoll.takeoffWait, 0);
    EXPECT_EQ(ac.motion.touchAndGoResult, 0);
    EXPECT_EQ(ac.motion.climbConfig, 0);
    EXPECT_FALSE(ac.takeoffRunway.has_value());
    EXPECT_EQ(ac.motion.advanceLimit, 2700);
    EXPECT_EQ(ac.motion.delayLimit, 4500);
    EXPECT_EQ(events(), (Events{{THROTTLE_SET, 11468}, {SPOILERS_SET, 16383}, {FLAPS_SET, 3072},
                                {NAV_LIGHTS_SET, 1}, {BEACON_LIGHTS_SET, 1}, {LANDING_LIGHTS_SET, 1},
                                {TAXI_LIGHTS_SET, 1}, {STROBES_SET, 1}, {LOGO_LIGHTS_SET, 1}, {CABIN_LIGHTS_SET, 0}}));
    EXPECT_THAT(newLogLines(), ::testing::Not(HasSubstr("towed")));

    // A towed aircraft that rolls: idle, spoilers off, and reported.
    LiveAc& towed = aircraft({at({50.0, 8.0}, 0, false, 10000)}, Large, AcPhase::taxi);
    towed.onGround = 1;
    towed.motion.towed = 1;
    startTowedTakeoffRoll(towed);
    EXPECT_EQ(towed.phase, AcPhase::takeoff_roll);
    const Events e = events();
    ASSERT_GE(e.size(), 3u);
    EXPECT_THAT(std::vector(e.begin(), e.begin() + 3),
                ElementsAre(Pair(THROTTLE_SET, 0u), Pair(SPOILERS_SET, 0u), Pair(FLAPS_SET, 3072u)));
    EXPECT_THAT(newLogLines(), HasSubstr("towed aircraft takes-off? " + towed.callsign));
}
