// The points of a takeoff and of the climb after it, when the aircraft runs
// ahead of its reports: the takeoff roll may reach its points up to the
// advance limit early, and a climb point that is only as slow as the reports
// are must be flown to, not dropped for dead reckoning. And the climb where
// the initial climb hands over to flying in the middle of a leg.

#include <gmock/gmock.h>

#include "engine/engine_state.h"
#include "foundation/geodesy.h"
#include "motion/next_position.h"
#include "motion/pose_path.h"

#include "engine/engine_fixture.h"

using namespace tavo::test;

namespace {

class TakeoffPoints : public EngineTest {
protected:
    // Reports of a climb at 140 kt every 6 s (72 m/s: 432 m apart), due at
    // `firstTick` + 600 i.
    static StreamPoint climbPoint(int i, std::int32_t firstTick) {
        const LaLo at = gf_destinationPoint({50.0, 8.0}, {0.0, 432.0 * i * feetPerMetre});
        StreamPoint p = point(at.lat, at.lon, 1000.0 + 60.0 * i, true, firstTick + 600 * i);
        p.groundSpeedKt = 140.0;
        p.tasKt = 140.0;
        p.verticalSpeed = 600.0;
        return p;
    }
};

TEST_F(TakeoffPoints, AClimbPointAsSlowAsTheReportsIsFlownToEvenWhenTheAircraftRunsAhead) {
    struct Row {
        const char* name;
        std::int32_t reachedEarly;  // ticks before its report the front point is reached
        std::int32_t nextDueAfter;  // the next point's report, ticks after the front's
        bool dropped;
    };
    const Row rows[] = {
        // 432 m in 6 s at 140 kt, the aircraft 16 s ahead: its next point is
        // 22 s away but no slower than the reports.
        {"ahead of the reports", 1600, 600, false},
        {"on time", 0, 600, false},
        // Reports 22 s apart for 432 m (38 kt) while 140 kt are reported:
        // dropped, the aircraft dead-reckons ahead.
        {"slow reports, on time", 0, 2200, true},
        {"slow reports, ahead", 1600, 2200, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        g_liveAircraft.clear();
        const std::int32_t start = 10000;
        tickCount.store(start);
        // Points 0 (the pose), 1 (the front to come) and 2 (the next after it).
        StreamPoint p0 = climbPoint(0, start);
        StreamPoint p1 = climbPoint(1, start + r.reachedEarly);
        StreamPoint p2 = climbPoint(2, start + r.reachedEarly);
        p2.playTick = p1.playTick + r.nextDueAfter;
        LiveAc& ac = addLive(0x720001, AcSimState::active, 20, {p0, p1, p2});
        ac.category = Large;
        // The leg to point 1 is planned where no takeoff check applies, as on
        // the takeoff roll; the climb is judged from point 1 on.
        ac.phase = AcPhase::flying;
        ac.prevPhase = AcPhase::birth;
        ac.onGround = 0;
        ac.pose.latitude = p0.lat;
        ac.pose.longitude = p0.lon;
        ac.pose.altitude = p0.altitudeFt;
        ac.pose.heading = 0.0;
        ac.pose.trueAirspeed = 140.0;
        // The takeoff roll's retiming limits, the climb configured already.
        ac.motion.advanceLimit = 2700;
        ac.motion.delayLimit = 4500;
        ac.motion.lowAltitudeConfig = 1;

        // The first leg is planned at the reported pace: point 1 comes due
        // `reachedEarly` ticks before its report.
        nextPosMain(ac);
        ASSERT_EQ(ac.stream.front().lat, p1.lat);
        ASSERT_EQ(ac.stream.front().playTick, start + 600);
        // Arrived: the aircraft is there at that tick, in its takeoff.
        tickCount.store(ac.stream.front().playTick);
        ac.phase = AcPhase::takeoff;
        ac.pose.latitude = p1.lat;
        ac.pose.longitude = p1.lon;
        nextPosMain(ac);

        EXPECT_EQ(ac.motion.takeoffSpeedUp, r.dropped ? 1 : 0);
        EXPECT_EQ(ac.extrapolationCount > 0, r.dropped);
        if (!r.dropped) {
            // Flown to at the reported pace: due 6 s on, not 22 s.
            ASSERT_EQ(ac.stream.front().lat, p2.lat);
            EXPECT_EQ(ac.stream.front().playTick, tickCount.load() + 600);
        }
    }
}

TEST_F(TakeoffPoints, TheClimbJoinsTheLegsGraduallyWhenTheInitialClimbEndsMidLeg) {
    struct Row {
        const char* name;
        double easedClimb;  // ft per tick the initial climb has reached
        double legClimb;    // ft per tick the leg plans
    };
    const Row rows[] = {{"leg climbs faster", 0.2, 0.3}, {"leg climbs slower", 0.3, 0.2}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        g_liveAircraft.clear();
        tickCount.store(20000);
        StreamPoint p0 = climbPoint(0, 20000);
        StreamPoint p1 = climbPoint(1, 20600);
        LiveAc& ac = addLive(0x720002, AcSimState::active, 20, {p0, p1});
        ac.category = Large;
        ac.phase = AcPhase::takeoff;
        ac.onGround = 0;
        ac.climbPitchRad = 0.1;
        ac.climbRateLimit = 0.5;
        ac.pose.latitude = p0.lat;
        ac.pose.longitude = p0.lon;
        ac.pose.altitude = 1500.0;
        ac.pose.pitch = ac.climbPitchRad;
        ac.pose.heading = 0.0;
        MotionState& m = ac.motion;
        m.heightAboveGroundFt = 1000.0;  // high enough to fly on
        m.takeoffCountdown = -400;       // eased in, climb pitch reached
        m.climbPerTick = r.easedClimb;
        m.verticalPerTick = r.legClimb;
        m.stepLat = (p1.lat - p0.lat) / 600.0;

        double before = ac.pose.altitude;
        double climb = r.easedClimb;
        double largestChange = 0.0;
        for (int i = 0; i < 150; ++i) {
            gf_interpolatePoseOnCurve(ac);
            tickCount.store(tickCount.load() + 1);
            const double now = ac.pose.altitude - before;
            largestChange = std::max(largestChange, std::fabs(now - climb));
            climb = now;
            before = ac.pose.altitude;
        }
        EXPECT_EQ(ac.phase, AcPhase::flying);
        EXPECT_LE(largestChange, 0.001 + 1e-9);
        EXPECT_NEAR(climb, r.legClimb, 1e-6) << "joined the leg's climb";
    }
}

}  // namespace
