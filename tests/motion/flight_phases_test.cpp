// Reference speeds by category and mode, the phase change with its history
// and what entering or leaving landing clears, and the stream questions.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

#include "engine/engine_state.h"
#include "motion/flight_phases.h"

#include "engine/engine_fixture.h"

using namespace tavo::test;

namespace {

class FlightPhases : public EngineTest {
protected:
    static LiveAc& aircraft(std::uint32_t category, const char* slow = nullptr) {
        LiveAc& ac = addLive(0x700001);
        ac.category = category;
        ac.isSlowLight = slow != nullptr && std::string_view(slow) == "light";
        ac.isSlowTwoProp = slow != nullptr && std::string_view(slow) == "twin";
        ac.isSlowLarge = slow != nullptr && std::string_view(slow) == "large";
        return ac;
    }
};

}  // namespace

TEST_F(FlightPhases, ReferenceSpeedsByCategoryAndMode) {
    struct Row {
        std::uint32_t category;
        const char* slow;
        double mode0, mode1, mode2, mode3;
    };
    const Row rows[] = {
        {Heavy, nullptr, 150, 150, 140, 135},   {Large, nullptr, 140, 140, 130, 120},
        {Large, "large", 130, 130, 120, 110},   {Light, nullptr, 80, 80, 70, 60},
        {Light, "light", 65, 65, 65, 65},       {TwoProps, "twin", 80, 80, 80, 80},
        {TwoProps, nullptr, 95, 95, 85, 75},    {Bizjet, nullptr, 110, 110, 100, 90},
        {HighPerf, nullptr, 220, 220, 210, 200}, {Rotorcraft, nullptr, 0, 0, 0, 0},
    };
    for (const Row& r : rows) {
        const LiveAc& ac = aircraft(r.category, r.slow);
        SCOPED_TRACE(::testing::Message() << "category " << r.category << (r.slow ? r.slow : ""));
        EXPECT_EQ(refSpeedKt(ac, 0), r.mode0);
        EXPECT_EQ(refSpeedKt(ac, 1), r.mode1);
        EXPECT_EQ(refSpeedKt(ac, 2), r.mode2);
        EXPECT_EQ(refSpeedKt(ac, 3), r.mode3);
    }
    LiveAc& unknown = aircraft(7);
    EXPECT_THROW(refSpeedKt(unknown, 0), std::out_of_range);
}

TEST_F(FlightPhases, APhaseChangeShiftsTheHistoryAndLandingClearsItsState) {
    LiveAc& ac = aircraft(Large);
    ac.phase = AcPhase::flying;
    ac.prevPhase = AcPhase::takeoff;
    ac.prevPrevPhase = AcPhase::takeoff_roll;
    ac.landingRunway = RunwayMatch{};
    MotionState& m = ac.motion;
    m.landingRunwayRefValid = m.runwayElevationKnown = m.lastApproachStepSet = m.touchAndGoWatch = 1;
    m.touchAndGoResult = 1;
    m.touchAndGoAltitudeFt = 300.0;
    m.approachText = "ILS";
    m.approachCounters = {1, 2, 3};
    m.hasRollSlowestPoint = 1;
    tickCount.store(4321);
    setFlightPhase(ac, AcPhase::landing);
    EXPECT_EQ(ac.phase, AcPhase::landing);
    EXPECT_EQ(ac.prevPhase, AcPhase::flying);
    EXPECT_EQ(ac.prevPrevPhase, AcPhase::takeoff);
    EXPECT_EQ(ac.phaseStartTick, 4321u);
    EXPECT_FALSE(ac.landingRunway.has_value());
    EXPECT_EQ(m.landingRunwayRefValid + m.runwayElevationKnown + m.lastApproachStepSet + m.touchAndGoWatch +
                  m.touchAndGoResult + m.hasRollSlowestPoint,
              0);
    EXPECT_TRUE(std::isnan(m.touchAndGoAltitudeFt));
    EXPECT_TRUE(m.approachText.empty());
    EXPECT_EQ(m.approachCounters[2], 0u);

    // Touching down keeps the touch-and-go result for the roll to judge;
    // the stored landing runway stays for the roll too.
    ac.landingRunway = RunwayMatch{};
    m.touchAndGoResult = 1;
    m.touchAndGoAltitudeFt = 12.0;
    m.lastApproachStepSet = 1;
    m.touchAndGoWatch = 1;
    tickCount.store(5000);
    setFlightPhase(ac, AcPhase::landing_roll);
    EXPECT_EQ(m.touchAndGoResult, 1);
    EXPECT_EQ(m.touchAndGoAltitudeFt, 12.0);
    EXPECT_EQ(m.lastApproachStepSet + m.touchAndGoWatch, 0);
    EXPECT_TRUE(ac.landingRunway.has_value());
    EXPECT_EQ(ac.prevPrevPhase, AcPhase::flying);

    // The same phase again changes nothing, except that parking-like phases
    // end the arrival.
    ac.arrivingHere = 1;
    setFlightPhase(ac, AcPhase::landing_roll);
    EXPECT_EQ(ac.phaseStartTick, 5000u);
    EXPECT_EQ(ac.prevPhase, AcPhase::landing);
    EXPECT_EQ(ac.arrivingHere, 1);
    ac.phase = AcPhase::parked;
    tickCount.store(6000);
    setFlightPhase(ac, AcPhase::parked);
    EXPECT_EQ(ac.arrivingHere, 0);
    EXPECT_EQ(ac.phaseStartTick, 5000u);
}

TEST_F(FlightPhases, StreamQuestions) {
    LiveAc& ac = aircraft(Large);  // mode-3 reference 120 kt
    ac.stream = {point(50.0, 8.0)};
    EXPECT_FALSE(allNextPointsAirborne(ac));
    EXPECT_TRUE(allNextPointsAtSpeed(ac));
    ac.stream.front().verticalSpeed = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(maxStreamVerticalRate(ac), -std::numeric_limits<double>::infinity());
    ac.stream = {point(50.0, 8.0), point(50.0, 8.01, 500.0, true), point(50.0, 8.02, 900.0, true)};
    ac.stream[1].groundSpeedKt = 120.0;
    ac.stream[2].groundSpeedKt = 119.9;
    ac.stream[0].verticalSpeed = 3000.0;
    ac.stream[1].verticalSpeed = 1200.0;
    EXPECT_TRUE(allNextPointsAirborne(ac));
    EXPECT_FALSE(allNextPointsAtSpeed(ac));
    ac.stream[2].groundSpeedKt = 120.0;
    EXPECT_TRUE(allNextPointsAtSpeed(ac));
    ac.stream[2].airborne = 0;
    EXPECT_FALSE(allNextPointsAirborne(ac));
    EXPECT_EQ(maxStreamVerticalRate(ac), 3000.0);
    EXPECT_EQ(maxStreamVerticalRate(LiveAc({}, AcInfo{}, 0.0)), -std::numeric_limits<double>::infinity());
}
