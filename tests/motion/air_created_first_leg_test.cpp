// The first leg of an aircraft created in the air: a point it is created a
// few metres short of is one it is already at, not one to crawl to.

#include <gmock/gmock.h>

#include <cmath>
#include <deque>

#include "engine/engine_state.h"
#include "foundation/geodesy.h"
#include "motion/motion_math.h"
#include "motion/next_position.h"

#include "engine/engine_fixture.h"

using namespace tavo::test;

namespace {

class AirCreatedFirstLeg : public EngineTest {
protected:
    static StreamPoint flying(LaLo at, std::int32_t tick, double kt) {
        StreamPoint p = point(at.lat, at.lon, 2200.0, true, tick);
        p.groundSpeedKt = kt;
        p.tasKt = kt;
        return p;
    }
};

// The speed (kt) of the leg's even step.
double lf_stepKt(const LiveAc& ac) {
    const LaLo pose{ac.pose.latitude, ac.pose.longitude};
    return gf_distanceNm(pose, {pose.lat + ac.motion.stepLat, pose.lon + ac.motion.stepLon}) * 100.0 * 3600.0;
}

}  // namespace

TEST_F(AirCreatedFirstLeg, APointJustAheadAtTheCreationIsPassedNotCrawledTo) {
    // At 160 kt an aircraft flies 20.6 m in the shortest leg. Its next point
    // 7 m ahead and already due, the one after it 2 s on: created this tick,
    // it flies to the one after at its reported speed. Not created now, or
    // with the point 30 m ahead, the point is flown to.
    constexpr double kKt = 160.0;
    struct Row {
        double nextM;
        bool createdNow;
        bool passed;
    };
    for (const Row row : {Row{7.0, true, true}, Row{7.0, false, false}, Row{30.0, true, false}}) {
        SCOPED_TRACE(::testing::Message() << row.nextM << " m, created now " << row.createdNow);
        g_liveAircraft.clear();
        constexpr std::int32_t kNow = 10010;
        tickCount.store(kNow);
        const LaLo from{50.0, 8.0};
        const LaLo next = gf_destinationPoint(from, {90.0 * degreesToRadians, row.nextM * feetPerMetre});
        const double afterM = row.nextM + kKt * 0.5144444 * 2.0;
        const LaLo after = gf_destinationPoint(from, {90.0 * degreesToRadians, afterM * feetPerMetre});
        LiveAc& ac = addLive(0x720001, AcSimState::active, 20,
                             {flying(from, 9800, kKt), flying(next, kNow - 40, kKt), flying(after, kNow + 200, kKt)});
        ac.category = Large;
        ac.activationTick = row.createdNow ? kNow : kNow - 500;
        nextPosMain(ac);
        ASSERT_FALSE(ac.stream.empty());
        const LaLo target{ac.stream.front().lat, ac.stream.front().lon};
        EXPECT_EQ(target.lat == after.lat && target.lon == after.lon, row.passed);
        if (row.passed) EXPECT_NEAR(lf_stepKt(ac), kKt, 0.1 * kKt);
    }
}

TEST_F(AirCreatedFirstLeg, ALastPointJustAheadAtTheCreationIsWhereItFliesOnFrom) {
    // Created 14 m short of the last report before a pause, due a quarter
    // second on, at 194 kt: it flies on from where it is at its reported
    // speed, dead-reckoning as from that report. Flown to, the quarter
    // second took it there at 108 kt.
    constexpr double kKt = 194.0;
    g_liveAircraft.clear();
    constexpr std::int32_t kNow = 10010;
    tickCount.store(kNow);
    const LaLo from{50.0, 8.0};
    const LaLo next = gf_destinationPoint(from, {90.0 * degreesToRadians, 14.0 * feetPerMetre});
    LiveAc& ac = addLive(0x720002, AcSimState::active, 20, {flying(from, 9800, kKt), flying(next, kNow + 25, kKt)});
    ac.category = Large;
    ac.activationTick = kNow;
    nextPosMain(ac);
    ASSERT_EQ(ac.simState, AcSimState::active);
    ASSERT_GE(ac.stream.size(), 1u);
    EXPECT_GT(ac.extrapolationCount, 0) << "dead-reckoned on";
    EXPECT_NEAR(lf_stepKt(ac), kKt, 0.1 * kKt);
}

TEST_F(AirCreatedFirstLeg, AFrontAtAnAbsurdSpeedNeitherPassesThePointNorIsFlownOn) {
    // Created between a bad report (1e6 kt) and the next one at 140 kt, the
    // last before a pause: the leg runs at 140 kt whether that point lies
    // 500 m on, due when 140 kt gets there (flown to), or 14 m on (passed,
    // and flown on from as from it).
    constexpr double kKt = 140.0;
    for (const double nextM : {500.0, 14.0}) {
        SCOPED_TRACE(::testing::Message() << nextM << " m");
        g_liveAircraft.clear();
        constexpr std::int32_t kNow = 10010;
        tickCount.store(kNow);
        const LaLo from{50.0, 8.0};
        const LaLo next = gf_destinationPoint(from, {90.0 * degreesToRadians, nextM * feetPerMetre});
        const auto dueTicks = static_cast<std::int32_t>(std::lround(nextM / (kKt * 0.5144444) * 100.0));
        StreamPoint bad = flying(from, kNow, 1e6);
        LiveAc& ac = addLive(0x720003, AcSimState::active, 20, {bad, flying(next, kNow + dueTicks, kKt)});
        ac.category = Large;
        ac.activationTick = kNow;
        nextPosMain(ac);
        ASSERT_EQ(ac.simState, AcSimState::active);
        EXPECT_EQ(ac.extrapolationCount > 0, nextM < 100.0) << "passed and flown on from";
        EXPECT_NEAR(lf_stepKt(ac), kKt, 0.1 * kKt);
    }
}

TEST_F(AirCreatedFirstLeg, TheFirstLegSetsOffAlongTheNoseItWasCreatedWith) {
    // Created on the curve between two reports that turn, nose 30 degrees
    // left of the chord to its next report 2 km on: its first leg sets off
    // along the nose, and curves onto the report. Set off along the chord,
    // it flew with the nose 30 degrees off its travel. A leg planned later
    // (not created this tick) sets off as before, along the chord.
    constexpr double kKt = 200.0;
    for (const bool createdNow : {true, false}) {
        SCOPED_TRACE(createdNow ? "created now" : "created before");
        g_liveAircraft.clear();
        constexpr std::int32_t kNow = 10010;
        tickCount.store(kNow);
        const LaLo from{50.0, 8.0};
        const LaLo next = gf_destinationPoint(from, {90.0 * degreesToRadians, 2000.0 * feetPerMetre});
        const auto dueTicks = static_cast<std::int32_t>(std::lround(2000.0 / (kKt * 0.5144444) * 100.0));
        StreamPoint to = flying(next, kNow + dueTicks, kKt);
        to.trackDeg = 120.0;
        LiveAc& ac = addLive(0x720004, AcSimState::active, 20, {flying(from, kNow, kKt), to});
        ac.category = Large;
        ac.activationTick = createdNow ? kNow : kNow - 500;
        ac.pose.heading = 60.0 * degreesToRadians;
        nextPosMain(ac);
        const AirTransition& tr = ac.motion.transition;
        ASSERT_TRUE(tr.active != 0);
        const HermiteTransition early =
            hermiteTransitionPoint(tr.start, tr.end, tr.arrivalHeading, tr.angleLimit, 0.02, tr.startCourse);
        ASSERT_TRUE(early.valid);
        const double setOffDeg = gf_bearing(from, early.position) * radiansToDegrees;
        EXPECT_NEAR(setOffDeg, createdNow ? 60.0 : 90.0, 5.0);
    }
}
