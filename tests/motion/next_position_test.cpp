// The next-position step on single aircraft, one leg at a time: points
// dropped, dry streams extrapolated until the allowance is used up, legs
// retimed within their limits, the leg speed an airborne aircraft needs, the
// guard of the loop and the texts of what it throws.

#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <utility>
#include <vector>

#include "engine/engine_state.h"
#include "engine/user_position.h"
#include "foundation/geodesy.h"
#include "motion/flight_phases.h"
#include "motion/next_position.h"
#include "motion/pose_path.h"

#include "engine/engine_fixture.h"

using namespace tavo::test;
using ::testing::HasSubstr;

namespace {

constexpr double kNmPerDegree = 60.0;

class NextPosition : public EngineTest {
protected:
    // An active aircraft of the category at the front point of its stream.
    static LiveAc& aircraft(std::deque<StreamPoint> stream, std::uint32_t category = Large,
                            AcPhase phase = AcPhase::birth) {
        LiveAc& ac = addLive(0x710000 + static_cast<std::uint32_t>(g_liveAircraft.size()), AcSimState::active, 20,
                             std::move(stream));
        ac.category = category;
        if (phase != AcPhase::birth) ac.phase = phase;
        ac.turnRateLimit = ac.turnRateRad = 0.07 * degreesToRadians;
        return ac;
    }
    static StreamPoint at(double lat, double lon, std::int32_t tick, double speedKt, bool airborne,
                          double altitudeFt = 0.0) {
        StreamPoint p = point(lat, lon, airborne ? std::max(altitudeFt, 1000.0) : 0.0, airborne, tick);
        p.groundSpeedKt = speedKt;
        p.tasKt = airborne ? speedKt : 0.0;
        return p;
    }
    // Plays the aircraft's points at their ticks until it is removed; the
    // extrapolation counter after each step.
    static std::vector<int> playUntilRemoved(LiveAc& ac, int maxSteps = 200) {
        std::vector<int> counters;
        for (int i = 0; i < maxSteps && ac.simState == AcSimState::active && !ac.stream.empty(); ++i) {
            tickCount.store(std::max(tickCount.load(), ac.stream.front().playTick));
            nextPosMain(ac);
            counters.push_back(ac.extrapolationCount);
        }
        return counters;
    }
    static std::vector<int> countdown(int from) {
        std::vector<int> out;
        for (int i = from; i >= 1; --i) out.push_back(i);
        out.push_back(-1);
        return out;
    }
};

}  // namespace

TEST_F(NextPosition, ATaxiPointHoldsForTheHoldingMinutesInThreeSecondSteps) {
    harness->settings([](SettingsSnapshot& s) { s.MAX_HOLDING_MINUTES = 2; });
    LiveAc& ac = aircraft({at(50.0, 8.0, 0, 12.0, false)}, Large, AcPhase::taxi);
    tickCount.store(70);
    EXPECT_EQ(playUntilRemoved(ac), countdown(40));
    // Stationary points 3 s apart, the last of them the 40th.
    EXPECT_EQ(ac.stream.front().playTick, 40 * 300);
    EXPECT_EQ(ac.stream.front().stationary, 1);
    EXPECT_EQ(ac.simState, AcSimState::removingfromsim);
    EXPECT_EQ(ac.motion.holding, 1);
    EXPECT_EQ(ac.motion.holdingStartTick, 70);
}

TEST_F(NextPosition, AnAirborneStationaryNextPointRemovesAllButARotorcraft) {
    for (const std::uint32_t category : {Large, Light, Rotorcraft}) {
        // Within 1e-8 degrees counts as the same place.
        LiveAc& ac = aircraft({at(50.0, 8.0, 0, 250.0, true), at(50.0 + 5e-9, 8.0, 500, 250.0, true)}, category,
                              AcPhase::flying);
        tickCount.store(100);
        nextPosMain(ac);
        if (category == Rotorcraft) {
            EXPECT_EQ(ac.simState, AcSimState::active);
            ASSERT_EQ(ac.stream.size(), 1u);
            EXPECT_EQ(ac.stream.front().stationary, 1);
            EXPECT_EQ(ac.stream.front().playTick, 500);  // hovers until the point is due
            EXPECT_EQ(ac.motion.stepLat + ac.motion.stepLon, 0.0);
        } else {
            EXPECT_EQ(ac.simState, AcSimState::removingfromsim) << category;
        }
    }
    // A hover whose point is overdue still lasts the shortest leg.
    LiveAc& late = aircraft({at(50.0, 8.0, 0, 0.0, true), at(50.0, 8.0, 10, 0.0, true)}, Rotorcraft, AcPhase::flying);
    tickCount.store(100);
    nextPosMain(late);
    EXPECT_EQ(late.stream.front().playTick, 125);
}

TEST_F(NextPosition, AnAirborneLegSlowerThanTwoKnotsRemovesTheAircraft) {
    struct Row {
        double nm;
        std::int32_t ticks;
        bool flies;
    };
    // 1.99 kt, 2.01 kt, 18 kt, 90 kt; a Rotorcraft may go as slowly as it likes.
    const Row rows[] = {{0.01, 1810, false}, {0.01, 1790, true}, {0.01, 200, true}, {0.05, 200, true}};
    for (const Row& r : rows) {
        tickCount.store(0);
        LiveAc& ac = aircraft({at(50.0, 8.0, 0, 250.0, true), at(50.0 + r.nm / kNmPerDegree, 8.0, r.ticks, 250.0, true)},
                              Large, AcPhase::flying);
        // Shown for a while: one created this tick takes a point this close
        // for where it is.
        ac.activationTick = -100;
        nextPosMain(ac);
        EXPECT_EQ(ac.simState == AcSimState::active, r.flies) << r.nm << " NM in " << r.ticks;
    }
    LiveAc& heli = aircraft({at(50.0, 8.0, 0, 1.0, true), at(50.0 + 0.001 / kNmPerDegree, 8.0, 2000, 1.0, true)},
                            Rotorcraft, AcPhase::flying);
    nextPosMain(heli);
    EXPECT_EQ(heli.simState, AcSimState::active);
}

TEST_F(NextPosition, TakeoffPointsThatWouldForceAFarTooSlowLegAreDropped) {
    struct Row {
        std::uint32_t category;
        AcPhase phase;
        std::int32_t phaseAge;  // ticks since the phase began
        double frontKt;
        bool dropped;
    };
    const Row rows[] = {
        {Large, AcPhase::takeoff, 100, 150.0, true},   // needs 29 kt
        {Large, AcPhase::takeoff, 100, 100.0, false},  // front below 120 kt: trusted
        {Light, AcPhase::takeoff, 100, 60.0, true},
        {Large, AcPhase::flying, 2000, 150.0, true},   // just after the takeoff
        {Large, AcPhase::flying, 3500, 150.0, false},  // long after it
    };
    for (const Row& r : rows) {
        tickCount.store(10000);
        const LaLo ahead = gf_destinationPoint({50.0, 8.0}, {0.0, 300.0 * feetPerMetre});
        LiveAc& ac = aircraft({at(50.0, 8.0, 10000, r.frontKt, true), at(ahead.lat, ahead.lon, 12000, r.frontKt, true),
                               at(ahead.lat + 0.1, ahead.lon, 15000, r.frontKt, true)},
                              r.category, r.phase);
        ac.prevPhase = AcPhase::takeoff;
        ac.phaseStartTick = static_cast<std::uint32_t>(10000 - r.phaseAge);
        nextPosMain(ac);
        SCOPED_TRACE(::testing::Message() << gf_acPhaseName(r.phase) << " " << r.frontKt);
        EXPECT_EQ(ac.motion.takeoffSpeedUp, r.dropped ? 1 : 0);
        EXPECT_EQ(ac.stream.front().lat == ahead.lat, !r.dropped);
    }
}

TEST_F(NextPosition, ExtrapolationBudgetByPhaseSpeedAndRange) {
    harness->settings([](SettingsSnapshot& s) {
        s.RANGE = 40.0;
        s.LIGHT_AIRCRAFT = 1;
        s.TWO_PROPS = 0;
        s.HELICOPTERS = 0;
    });
    struct Row {
        std::uint32_t category;
        AcPhase phase;
        double speedKt;
        double userNm;  // north of the aircraft; NaN: the user's position is not known
        int budget;
    };
    const double unknown = std::numeric_limits<double>::quiet_NaN();
    const Row rows[] = {
        {Light, AcPhase::flying, 20.0, unknown, 0},  {Light, AcPhase::flying, 30.0, unknown, 20},
        {Light, AcPhase::flying, 30.0, 39.4, 20},    {Light, AcPhase::flying, 30.0, 39.6, 0},
        {Large, AcPhase::flying, 69.0, 10.0, 0},     {Large, AcPhase::flying, 70.0, 10.0, 20},
        {Rotorcraft, AcPhase::flying, 0.0, 10.0, 0},  // helicopters are off
        {TwoProps, AcPhase::landing, 100.0, 10.0, 0},  // two-props are off
        {Large, AcPhase::landing_roll, 5.0, 100.0, 20}, {Large, AcPhase::parked, 0.0, 100.0, 1},
        {Large, AcPhase::pushing_back, 5.0, 1.0, 0},  {Large, AcPhase::pushed_back, 0.0, 1.0, 60},
    };
    for (const Row& r : rows) {
        LiveAc& ac = aircraft({at(50.0, 8.0, 0, r.speedKt, r.phase == AcPhase::flying)}, r.category, r.phase);
        UserAircraftState user;
        if (!std::isnan(r.userNm)) {
            user.latitude = 50.0 + r.userNm / kNmPerDegree;
            user.longitude = 8.0;
        }
        gf_publishUserAircraftState(user);
        EXPECT_EQ(extrapolationBudget(ac), r.budget) << r.category << " " << gf_acPhaseName(r.phase) << " " << r.speedKt
                                                     << " kt, user " << r.userNm;
    }
    harness->settings([](SettingsSnapshot& s) { s.HELICOPTERS = 1; });
    EXPECT_EQ(extrapolationBudget(aircraft({at(50.0, 8.0, 0, 0.0, true)}, Rotorcraft, AcPhase::flying)), 20);
    // The user just across the 180th meridian is 6 NM away, not most of the
    // globe.
    UserAircraftState user;
    user.latitude = 0.0;
    user.longitude = -179.95;
    gf_publishUserAircraftState(user);
    EXPECT_EQ(extrapolationBudget(aircraft({at(0.0, 179.95, 0, 250.0, true)}, Large, AcPhase::flying)), 20);
}

TEST_F(NextPosition, ExtrapolatedPointsBySpeedAndPhase) {
    // The landing roll slows by a rate taken from the speed before each step;
    // once the latest report heard has it at no speed (the feed giving its
    // touchdown place again at 0 kt), below 80 kt at a taxi's firm braking
    // of 4.86 kt a second instead.
    struct RollRow {
        double lastHeardKt;
        std::vector<double> speeds;
        std::int32_t restTick;
    };
    const RollRow rolls[] = {
        {70.0, {85, 70, 58, 46, 34, 26.5, 19, 11.5, 4, 0, 0}, 3000},
        {0.0, {85, 70, 55.421, 40.842, 26.263, 11.685, 0, 0, 0, 0, 0}, 2100},
    };
    for (const RollRow& r : rolls) {
        LiveAc& roll = aircraft({at(50.0, 8.0, 0, 100.0, false)}, Large, AcPhase::landing_roll);
        roll.motion.lastHeardPosition = {50.0, 8.0};
        roll.motion.lastHeardKt = r.lastHeardKt;
        roll.motion.lastHeardSet = 1;
        SCOPED_TRACE(::testing::Message() << "last heard at " << r.lastHeardKt << " kt");
        for (std::size_t i = 0; i < r.speeds.size(); ++i) {
            extrapolateStreamPoint(roll, 20);
            EXPECT_NEAR(roll.stream.back().groundSpeedKt, r.speeds[i], 1e-3) << "point " << i;
        }
        EXPECT_EQ(roll.stream.back().stationary, 1);
        // The first point at rest, where the roll stopped.
        const auto rest = std::find_if(roll.stream.begin(), roll.stream.end(),
                                       [](const StreamPoint& p) { return p.stationary != 0; });
        ASSERT_NE(rest, roll.stream.end());
        EXPECT_EQ(rest->playTick, r.restTick);
        // Each step runs its mean speed over the 3 s, as even braking from one
        // point's speed to the next covers; the point at rest stays where the
        // roll stopped.
        for (std::size_t i = 1; i < roll.stream.size(); ++i) {
            const StreamPoint& a = roll.stream[i - 1];
            const StreamPoint& b = roll.stream[i];
            const double runKt = b.groundSpeedKt > 0.0 ? (a.groundSpeedKt + b.groundSpeedKt) / 2.0 : 0.0;
            SCOPED_TRACE(::testing::Message() << "roll step " << i);
            EXPECT_NEAR(gf_distanceNm({a.lat, a.lon}, {b.lat, b.lon}), runKt * 3.0 / 3600.0, 1e-9);
        }
    }

    struct Row {
        AcPhase phase;
        bool airborne;
        double speedKt;
        int budget;
        double newSpeedKt;
        double verticalSpeed;
        double climbFt;
    };
    const Row rows[] = {
        {AcPhase::takeoff_roll, false, 134.0, 20, 140.0, 600.0, 0.0},
        {AcPhase::takeoff_roll, false, 178.0, 20, 180.0, 2400.0, 0.0},
        // On the approach it keeps its speed, as in all flight, whatever the
        // points left: reports that go on find it where they are.
        {AcPhase::landing, true, 200.0, 4, 200.0, -633.65, -31.6825},
        {AcPhase::landing, true, 200.0, 3, 200.0, -633.65, -31.6825},
        {AcPhase::landing, true, 140.0, 4, 140.0, -633.65, -31.6825},
        {AcPhase::landing, true, 120.0, 4, 120.0, -633.65, -31.6825},
        // Climbing away it keeps its speed.
        {AcPhase::takeoff, true, 200.0, 20, 200.0, 1500.0, 75.0},
    };
    for (const Row& r : rows) {
        LiveAc& ac = aircraft({at(50.0, 8.0, 1000, r.speedKt, r.airborne, 2000.0)}, Large, r.phase);
        ac.onGround = r.airborne ? 0 : 1;
        ac.pose.heading = pi / 2.0;
        extrapolateStreamPoint(ac, r.budget);
        const StreamPoint& p = ac.stream.back();
        SCOPED_TRACE(::testing::Message() << gf_acPhaseName(r.phase) << " " << r.speedKt);
        EXPECT_DOUBLE_EQ(p.groundSpeedKt, r.newSpeedKt);
        EXPECT_EQ(p.verticalSpeed, r.verticalSpeed);
        EXPECT_NEAR(p.altitudeFt - ac.stream.front().altitudeFt, r.climbFt, 1e-9);
        EXPECT_EQ(p.playTick, 1300);
        EXPECT_EQ(p.stationary, 0);
        // Three seconds along the heading at the new speed.
        EXPECT_NEAR(gf_distanceNm({50.0, 8.0}, {p.lat, p.lon}), r.newSpeedKt * 3.0 / 3600.0, 1e-9);
        EXPECT_NEAR(gf_bearing({50.0, 8.0}, {p.lat, p.lon}), pi / 2.0, 1e-4);
        EXPECT_EQ(ac.extrapolationCount, r.budget);
    }
    // A parked aircraft gets one point a week ahead and is checked at its stand again.
    LiveAc& parked = aircraft({at(50.0, 8.0, 1000, 0.0, false)}, Large, AcPhase::parked);
    parked.motion.atStandCheck = 1;
    extrapolateStreamPoint(parked, 1);
    EXPECT_EQ(parked.stream.back().playTick, 1000 + 60480000);
    EXPECT_EQ(parked.stream.back().stationary, 1);
    EXPECT_EQ(parked.motion.atStandCheck, 0);
}

TEST_F(NextPosition, ADryTaxiStreamGoesOnAsItsReportsWentForFourPointsThenStands) {
    harness->settings([](SettingsSnapshot& s) { s.MAX_HOLDING_MINUTES = 2; });
    constexpr int kAllowance = 40;
    struct Row {
        const char* name;
        AcPhase phase;
        double beforeKt;  // the point 2 s before the last (below 0: none)
        double lastKt;
        int pointsBefore;  // dead-reckoned points already made
        double newKt;      // 0: it stands
    };
    const Row rows[] = {
        {"the first point keeps the speed", AcPhase::taxi, -1.0, 12.0, 0, 12.0},
        {"the fourth point keeps it too", AcPhase::taxi, -1.0, 12.0, 3, 12.0},
        {"the fifth stands", AcPhase::taxi, -1.0, 12.0, 4, 0.0},
        {"slowing 1 kt a second goes on slowing", AcPhase::taxi, 8.0, 6.0, 0, 3.0},
        {"speeding up is not carried on", AcPhase::taxi, 4.0, 6.0, 0, 6.0},
        {"slowing to a stop within the step stands", AcPhase::taxi, 10.0, 6.0, 0, 0.0},
        {"a speed no taxi goes stands", AcPhase::taxi, -1.0, 1e6, 0, 0.0},
        {"a creep of less than a knot stands", AcPhase::taxi, -1.0, 0.99, 0, 0.0},
        {"a knot goes on", AcPhase::taxi, -1.0, 1.0, 0, 1.0},
        {"a pushed-back aircraft stands", AcPhase::pushed_back, -1.0, 12.0, 0, 0.0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        std::deque<StreamPoint> s;
        if (r.beforeKt >= 0.0) s.push_back(at(50.0, 7.999, 800, r.beforeKt, false));
        s.push_back(at(50.0, 8.0, 1000, r.lastKt, false));
        LiveAc& ac = aircraft(std::move(s), Large, r.phase);
        ac.onGround = 1;
        ac.pose.heading = pi / 2.0;
        extrapolateStreamPoint(ac, kAllowance - r.pointsBefore);
        const StreamPoint& p = ac.stream.back();
        EXPECT_EQ(p.playTick, 1300);
        EXPECT_EQ(ac.extrapolationCount, kAllowance - r.pointsBefore);
        EXPECT_DOUBLE_EQ(p.groundSpeedKt, r.newKt);
        EXPECT_EQ(p.stationary, r.newKt > 0.0 ? 0 : 1);
        // Along the heading, its mean speed over the 3 s.
        const double runKt = r.newKt > 0.0 ? (r.lastKt + r.newKt) / 2.0 : 0.0;
        EXPECT_NEAR(gf_distanceNm({50.0, 8.0}, {p.lat, p.lon}), runKt * 3.0 / 3600.0, 1e-9);
        if (r.newKt > 0.0) EXPECT_NEAR(gf_bearing({50.0, 8.0}, {p.lat, p.lon}), pi / 2.0, 1e-4);
    }
}

TEST_F(NextPosition, ADryTaxiStreamGoesOnAlongItsLastReportedTrackNotANoseStillInTheBend) {
    // The nose at 082 (still coming round the bend into the last report),
    // the report's track `trackDeg`: that way the taxi goes on; a track far
    // off the nose (none reported, or a bad one) gives way to the nose.
    harness->settings([](SettingsSnapshot& s) { s.MAX_HOLDING_MINUTES = 2; });
    for (const auto& [trackDeg, goesDeg] : {std::pair{90.0, 90.0}, std::pair{82.0, 82.0}, std::pair{110.0, 110.0},
                                            std::pair{0.0, 82.0}, std::pair{std::nan(""), 82.0}}) {
        StreamPoint last = at(50.0, 8.0, 1000, 8.0, false);
        last.trackDeg = trackDeg;
        LiveAc& ac = aircraft({last}, Large, AcPhase::taxi);
        ac.onGround = 1;
        ac.pose.heading = 82.0 * degreesToRadians;
        extrapolateStreamPoint(ac, 40);
        const StreamPoint& p = ac.stream.back();
        ASSERT_EQ(p.stationary, 0) << trackDeg;
        EXPECT_NEAR(gf_bearing({50.0, 8.0}, {p.lat, p.lon}) * radiansToDegrees, goesDeg, 0.01) << trackDeg;
    }
}

TEST_F(NextPosition, ASlowLightAircraftFliesAllTwentyExtrapolatedPoints) {
    LiveAc& ac = aircraft({at(50.0, 8.0, 0, 25.0, true)}, Light, AcPhase::flying);
    ac.pose.heading = 0.0;
    const std::vector<int> counters = playUntilRemoved(ac);
    EXPECT_EQ(counters, countdown(20));
    // Reported slower than it can fly, it is carried on at its floor.
    EXPECT_DOUBLE_EQ(ac.stream.back().groundSpeedKt, gf_airborneSpeedFloorKt(ac));
    // A fast one flies all twenty at its last reported speed.
    LiveAc& fast = aircraft({at(50.0, 8.0, 0, 200.0, true)}, Large, AcPhase::flying);
    fast.pose.heading = 0.0;
    EXPECT_EQ(playUntilRemoved(fast), countdown(20));
    ASSERT_FALSE(fast.stream.empty());
    for (const StreamPoint& p : fast.stream) EXPECT_DOUBLE_EQ(p.groundSpeedKt, 200.0);
}

TEST_F(NextPosition, RetimingStaysWithinItsLimitsAndMovesLaterPointsOnlyWhenReached) {
    struct Row {
        int ticks;
        std::int32_t expected;
        std::int32_t secondAfter;  // the point after it
    };
    // now 1000; the next point reported for 1500, the one after it 1600.
    const Row rows[] = {
        {100, 1100, 1600}, {-5000, 1001, 1600}, {550, 1550, 1600},
        {600, 1600, 1700},  // reaches the point after it: both move 100 later
        {10000, 2400, 2500},
    };
    for (const Row& r : rows) {
        LiveAc& ac = aircraft({at(50.0, 8.0, 900, 250.0, true), at(50.1, 8.0, 1500, 250.0, true),
                               at(50.2, 8.0, 1600, 250.0, true)});
        tickCount.store(1000);
        retimeNextPoint(ac, r.ticks);
        EXPECT_EQ(ac.stream[1].playTick, r.expected) << r.ticks;
        EXPECT_EQ(ac.stream[2].playTick, r.secondAfter) << r.ticks;
    }
    // Tight limits still never put the point before now + 1.
    LiveAc& tight = aircraft({at(50.0, 8.0, 0, 250.0, true), at(50.1, 8.0, 10, 250.0, true)});
    tickCount.store(1000);
    retimeNextPoint(tight, 100);
    EXPECT_EQ(tight.stream[1].playTick, 1001);
    // While extrapolating the 3 s spacing stays.
    tight.extrapolationCount = 5;
    retimeNextPoint(tight, 100);
    EXPECT_EQ(tight.stream[1].playTick, 1001);
}

TEST_F(NextPosition, AFarNextPointSaturatesItsTicksAndKeepsTheLimits) {
    // Half the globe at just over 1 kt is about 3.9e9 ticks: saturated, the
    // point moves as late as its limit allows (not wrapped to a negative
    // count that would pull it forward).
    const std::int32_t last = std::numeric_limits<std::int32_t>::max();
    for (const auto& [reported, expected] : {std::pair{3000, 3900}, std::pair{last - 100, last}}) {
        const std::int32_t now = reported - 2000;
        LiveAc& ac = aircraft({at(50.0, 8.0, now, 1.001, true), at(-50.0, -172.0, reported, 0.0, true)}, Large,
                              AcPhase::flying);
        tickCount.store(now);
        nextPosMain(ac);
        ASSERT_EQ(ac.simState, AcSimState::active);
        EXPECT_EQ(ac.stream.front().playTick, expected) << reported;
    }
}

TEST_F(NextPosition, TheGuardEndsALoopThatKeepsErasingPoints) {
    std::deque<StreamPoint> stream{at(50.0, 8.0, 0, 250.0, true)};
    for (int i = 1; i <= 40; ++i) {
        StreamPoint p = at(50.0 + i * 0.01, 8.0, i * 100, 250.0, true);
        p.stationary = 1;
        stream.push_back(p);
    }
    LiveAc& ac = aircraft(std::move(stream), Large, AcPhase::flying);
    nextPosMain(ac);
    EXPECT_EQ(ac.simState, AcSimState::removingfromsim);
    const std::string log = newLogLines();
    EXPECT_THAT(log, HasSubstr("==> nextPosMain: guard exceeded KLM1234  PH-BXA"));
    EXPECT_THAT(log, HasSubstr(", sz:9, fs:flying, st:active\n"));
}

TEST_F(NextPosition, WhatGoesWrongInsideIsRethrownWithTheAircraft) {
    LiveAc& ac = aircraft({at(50.0, 8.0, 0, 250.0, true), at(50.1, 8.0, 2000, 250.0, true)}, 7, AcPhase::flying);
    try {
        nextPosMain(ac);
        FAIL() << "nothing thrown";
    } catch (const std::runtime_error& e) {
        EXPECT_THAT(e.what(), ::testing::StartsWith("nextPosMain: invalid unordered_map<K, T> key KLM1234  PH-BXA"));
        EXPECT_THAT(e.what(), ::testing::EndsWith(", sz:2, fs:flying, st:active"));
    }
}

TEST_F(NextPosition, ALegFasterThanItsPositionsBearOutIsBelievedOnlyAsFarAsTheyDo) {
    // Points 30.9 m apart 4 s apart (15 kt of their own); the leg speed is
    // the mean of the two ends' reports. Above 100 kt it is held to three
    // times the own speed plus 50 kt (95 kt): the believable end is taken.
    // A landing roll's is held so above 250 kt, faster than any roll, and a
    // flying leg's at any speed. A flying leg whose first point was reached
    // late and retimed past its second's due tick (`frontTick`) has no time
    // of its own: three times the slower end's speed plus 50 kt bounds it.
    // Just after a takeoff, when the points are timed anew, three times the
    // pace flown (150 kt) plus 50 kt does.
    struct Row {
        AcPhase phase;
        std::uint8_t onGround;
        double nextKt, legKt;
        std::int32_t frontTick = 10000;
        bool afterTakeoff = false;
    };
    const double eastDeg = 30.866 / 1852.0 / kNmPerDegree / std::cos(50.0 * degreesToRadians);
    for (const Row row : {Row{AcPhase::taxi, 1, 185.0, 100.0}, Row{AcPhase::taxi, 1, 187.0, 15.0},
                          Row{AcPhase::taxi, 1, 1e6, 15.0}, Row{AcPhase::landing_roll, 1, 200.0, 107.5},
                          Row{AcPhase::landing_roll, 1, 1e6, 15.0}, Row{AcPhase::flying, 0, 1e6, 15.0},
                          Row{AcPhase::flying, 0, 1e6, 15.0, 10500}, Row{AcPhase::flying, 0, 174.0, 94.5, 10500},
                          Row{AcPhase::flying, 0, 176.0, 15.0, 10500}, Row{AcPhase::flying, 0, 1e6, 15.0, 10000, true},
                          Row{AcPhase::flying, 0, 600.0, 307.5, 10000, true}}) {
        SCOPED_TRACE(::testing::Message() << row.nextKt << " kt, front due at " << row.frontTick);
        g_liveAircraft.clear();
        LiveAc& ac = aircraft({at(50.0, 8.0, row.frontTick, 15.0, row.onGround == 0),
                               at(50.0, 8.0 + eastDeg, 10400, row.nextKt, row.onGround == 0)},
                              Large, row.phase);
        ac.onGround = row.onGround;
        if (row.afterTakeoff) {
            ac.prevPhase = AcPhase::takeoff;
            ac.phaseStartTick = static_cast<std::uint32_t>(tickCount.load());
            ac.motion.stepLat = 150.0 / 360000.0 / kNmPerDegree;
        }
        EXPECT_NEAR(groundSpeedForNextLeg(ac), row.legKt, 0.01);
    }
}
