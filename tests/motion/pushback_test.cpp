// Leaving a stand: the pushback leg along the reversed stand heading with its
// two points on one tick, the pushbacks that cannot start, the pull-out one
// wing span ahead of the stand, and the end of the pushback with the engines.

#include <gmock/gmock.h>

#include <cmath>
#include <limits>

#include "engine/stands.h"
#include "motion/ground_movement.h"
#include "motion/pushback.h"
#include "support/stand_table.h"

#include "air_fixture.h"

using namespace tavo::test;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Pair;

namespace {

class Pushback : public AirTest {
protected:
    void TearDown() override {
        clearStandTable();
        AirTest::TearDown();
    }
    // Parked at a stand of radius 0.02 NM facing `standHeadingDeg`, the
    // aircraft facing it too, taxi speed reference 10 kt.
    LiveAc& parked(double standHeadingDeg, std::int32_t standId = 1) {
        const LaLo at{50.0, 8.0};
        setStandTable({{"GATE A1", at}});
        g_standTable[0].radius = 0.02;
        LiveAc& ac = aircraft({point(at.lat, at.lon, 0.0, false, 10000), point(at.lat + 1e-4, at.lon, 0.0, false, 10200)},
                              Large, AcPhase::parked);
        ac.objectId = 30;
        ac.standId = standId;
        ac.standPos = at;
        ac.standHeadingRad = standHeadingDeg * kDeg;
        ac.pose.heading = std::isfinite(standHeadingDeg) ? standHeadingDeg * kDeg : 0.0;
        ac.taxiSpeedRef = 10.0;
        ac.wingRadiusNm = 0.01;
        ac.motion.departurePending = 1;
        ac.arrivingHere = 1;
        return ac;
    }
    static std::vector<std::pair<std::uint32_t, std::uint32_t>> lights(
        const std::vector<std::pair<std::uint32_t, std::uint32_t>>& events) {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
        for (const auto& e : events)
            if (e.first != THROTTLE_SET && e.first != FLAPS_SET && e.first != ENGINE_AUTO_START) out.push_back(e);
        return out;
    }
};

const auto kDepartureLightEvents =
    ElementsAre(Pair(NAV_LIGHTS_SET, 1u), Pair(BEACON_LIGHTS_SET, 1u), Pair(LANDING_LIGHTS_SET, 0u),
                Pair(TAXI_LIGHTS_SET, 1u), Pair(STROBES_SET, 0u), Pair(LOGO_LIGHTS_SET, 1u), Pair(CABIN_LIGHTS_SET, 0u));

}  // namespace

TEST_F(Pushback, BacksOutTwoAndAHalfStandRadiiStraightBackFromItsNose) {
    struct Case {
        double standHeadingDeg;
        double noseDeg;
        double pushBearingDeg;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // Parked 40 degrees across its stand it still goes tail first; with
    // neither heading known it goes north.
    for (const Case c : {Case{350.0, 350.0, 170.0}, Case{90.0, 90.0, 270.0}, Case{90.0, 130.0, 310.0},
                         Case{nan, 0.0, 180.0}, Case{90.0, nan, 270.0}, Case{nan, nan, 0.0}}) {
        SCOPED_TRACE(c.noseDeg);
        g_liveAircraft.clear();
        LiveAc& ac = parked(c.standHeadingDeg);
        ac.pose.heading = c.noseDeg * kDeg;
        const double heading = ac.pose.heading;
        ac.motion.headingPerTick = 0.01;  // left by an airborne leg
        ac.motion.bankPerTick = 0.001;
        (void)events();
        initiatePushBack(ac);
        ASSERT_EQ(ac.stream.size(), 3u);
        const LaLo pose{ac.pose.latitude, ac.pose.longitude};
        const LaLo target{ac.stream[1].lat, ac.stream[1].lon};
        EXPECT_NEAR(gf_distanceNm(pose, target), 0.05, 1e-9);  // about 92.6 m
        EXPECT_NEAR(std::remainder(gf_bearing(pose, target) * radiansToDegrees - c.pushBearingDeg, 360.0), 0.0, 1e-6);
        EXPECT_EQ(ac.stream[1].playTick, 10000 + 1800);
        EXPECT_EQ(ac.stream[1].stationary, 0);
        EXPECT_EQ(ac.stream[2].stationary, 1);
        EXPECT_EQ(ac.stream[2].playTick, ac.stream[1].playTick);
        EXPECT_EQ(ac.stream[2].lat, ac.stream[1].lat);
        EXPECT_EQ(ac.stream[0].groundSpeedKt, 0.0);
        if (std::isfinite(heading)) EXPECT_EQ(ac.motion.legBearing, heading);  // tail first
        EXPECT_EQ(ac.motion.headingPerTick, 0.0);
        EXPECT_EQ(ac.motion.bankPerTick, 0.0);
        EXPECT_EQ(ac.phase, AcPhase::pushing_back);
        EXPECT_EQ(ac.arrivingHere, 0);
        EXPECT_THAT(lights(events()), kDepartureLightEvents);
    }
    // A taxi speed of 0 gives the longest leg the tick count holds.
    g_liveAircraft.clear();
    LiveAc& still = parked(0.0);
    still.taxiSpeedRef = 0.0;
    initiatePushBack(still);
    EXPECT_EQ(still.stream[1].playTick, std::numeric_limits<std::int32_t>::max());
}

TEST_F(Pushback, WithoutAUsableStandThePushbackIsCancelledAndTheAircraftStaysParked) {
    struct Case {
        std::int32_t standId;
        double radiusNm;
        const char* name;
    };
    for (const Case c : {Case{0, 0.02, "sid==0?"}, Case{7, 0.02, "sid==?"}, Case{-1, 0.02, "sid==?"},
                         Case{1, 0.0, "GATE A1"}}) {
        SCOPED_TRACE(c.name);
        g_liveAircraft.clear();
        LiveAc& ac = parked(0.0, c.standId);
        g_standTable[0].radius = c.radiusNm;
        initiatePushBack(ac);
        EXPECT_THAT(logText(), HasSubstr(fmt::format(
                                   "initiatePushBack cancelled pushback, invalid stand radius for stand {}, callsign KLM1234",
                                   c.name)));
        EXPECT_EQ(ac.phase, AcPhase::parked);
        EXPECT_EQ(ac.motion.departurePending, 0);
        EXPECT_EQ(ac.stream.size(), 2u);
    }
}

TEST_F(Pushback, PullsOutOneWingSpanAheadOfTheStandWhateverThePose) {
    LiveAc& ac = parked(90.0);
    ac.motion.pullOut = 1;
    ac.pose.latitude += 5e-5;  // a few metres off the stand
    (void)events();
    nextPosGround(ac);
    ASSERT_EQ(ac.stream.size(), 2u);
    const LaLo target{ac.stream[1].lat, ac.stream[1].lon};
    EXPECT_NEAR(gf_distanceNm(ac.standPos, target), 0.02, 1e-9);
    EXPECT_NEAR(gf_bearing(ac.standPos, target) * radiansToDegrees, 90.0, 1e-6);
    EXPECT_EQ(ac.stream[1].groundSpeedKt, 10.0);
    EXPECT_EQ(ac.phase, AcPhase::taxi);
    EXPECT_EQ(ac.motion.departurePending, 0);
    EXPECT_EQ(ac.motion.speedChangeKind, 0u);
    EXPECT_EQ(ac.throttleStep, 0u);
    EXPECT_EQ(ac.flapsIndex, 1u);
    const auto sent = events();
    EXPECT_THAT(lights(sent), kDepartureLightEvents);
    EXPECT_THAT(sent, ::testing::Contains(Pair(ENGINE_AUTO_START, 0u)));
    EXPECT_THAT(logText(), HasSubstr("GATE A1       : KLM1234  pulling out"));
}

TEST_F(Pushback, TheEndOfThePushbackStartsTheEnginesReadyToTaxi) {
    LiveAc& ac = parked(0.0);
    nextPosGround(ac);
    ASSERT_EQ(ac.phase, AcPhase::pushing_back);
    EXPECT_EQ(ac.motion.speedChangeKind, 3u);
    ac.stream.pop_front();  // the pushback point is reached
    tickCount.store(ac.stream.front().playTick);
    ac.throttleStep = 2;
    (void)events();
    nextPosGround(ac);
    EXPECT_EQ(ac.phase, AcPhase::pushed_back);
    EXPECT_EQ(ac.throttleStep, 0u);
    EXPECT_EQ(ac.flapsIndex, 1u);
    EXPECT_EQ(ac.motion.departurePending, 0);
    EXPECT_EQ(ac.motion.holdingStartTick, tickCount.load());
    EXPECT_THAT(events(), ::testing::Contains(Pair(ENGINE_AUTO_START, 0u)));
}
