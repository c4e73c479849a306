// The pace of airborne legs: the speed seen from the poses changes evenly
// across the joins of legs on reports that slow, and a leg whose first point
// was brought forward is judged against its reports' own times.

#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <vector>

#include "engine/engine_state.h"
#include "foundation/geodesy.h"
#include "motion/motion_math.h"
#include "motion/next_position.h"
#include "motion/pose_path.h"
#include "motion/touchdown.h"
#include "motion/tick_math.h"
#include "support/motion_harness.h"

#include "air_run_fixture.h"
#include "engine/engine_fixture.h"

using namespace tavo::test;

namespace {

constexpr double kNmPerDegree = 60.0;

// The largest change (kt a second) of the speed over one-second windows of
// the airborne poses against the window a second before, sampled every
// quarter second: the measure a watching pilot applies.
double lf_largestSpeedChangeKtPerS(const AircraftRecord& r) {
    const auto& s = r.samples;
    constexpr std::size_t kWindow = 100;
    std::vector<double> kt(s.size(), std::nan(""));
    double largest = 0.0;
    for (std::size_t i = kWindow; i < s.size(); i += 25) {
        const MotionSample& a = s[i - kWindow];
        const MotionSample& b = s[i];
        if (b.tick - a.tick != kWindow || a.onGround || b.onGround) continue;
        const double nm = gf_distanceNm({a.pose.latitude, a.pose.longitude}, {b.pose.latitude, b.pose.longitude});
        kt[i] = nm * 3600.0;
        if (std::isfinite(kt[i - kWindow])) largest = std::max(largest, std::fabs(kt[i] - kt[i - kWindow]));
    }
    return largest;
}

class AirPaceRun : public AirRunTest {};

class AirLegSpeed : public EngineTest {
protected:
    // An aircraft in the air at tick 10000 at its report (50 N, 8 E), its
    // next report `legNm` due north falling due `dueTicks` on, both reports
    // giving `reportedKt`.
    LiveAc& northLeg(std::uint32_t hexid, AcPhase phase, double altitudeFt, double legNm, std::int32_t dueTicks,
                     double reportedKt) {
        g_liveAircraft.clear();
        tickCount.store(10000);
        StreamPoint front = point(50.0, 8.0, altitudeFt, true, 10000);
        StreamPoint next = point(50.0 + legNm / kNmPerDegree, 8.0, altitudeFt, true, 10000 + dueTicks);
        front.groundSpeedKt = front.tasKt = next.groundSpeedKt = next.tasKt = reportedKt;
        LiveAc& ac = addLive(hexid, AcSimState::active, 20, std::deque<StreamPoint>{front, next});
        ac.category = Large;
        ac.phase = phase;
        ac.onGround = 0;
        return ac;
    }
};

}  // namespace

TEST_F(AirPaceRun, LegJoinsOnReportsThatSlowChangeSpeedGently) {
    // Level at 250 kt, slowing to 170 kt over 64 s (1.25 kt a second), then
    // on at 170, reported every 8 s: each leg's mean is 10 kt below the one
    // before. Flown at its mean, every join was a step of 10 kt within a
    // second; the poses now slow as the reports do.
    std::vector<Route> routes;
    for (const double everyS : {8.0, 2.0}) {
        const std::uint32_t hexid = everyS > 4.0 ? 0xC30001 : 0xC30002;
        Route route(hexid, {50.2, 8.0 + (hexid & 1) * 0.5}, 90.0, 250.0, kAirRunFieldFt + 4000.0, true);
        route.identity(everyS > 4.0 ? "DLH601" : "DLH602", everyS > 4.0 ? "D-AIPA" : "D-AIPB", "A320", "DLH");
        route.straight(24).speedTo(170.0, 64).straight(40);
        harness->add(route, everyS);
        routes.push_back(route);
    }
    harness->run(static_cast<std::int32_t>(routes.front().duration() * 100.0) + 1000);
    for (const Route& route : routes) {
        SCOPED_TRACE(::testing::Message() << std::hex << route.hexid());
        const AircraftRecord* r = harness->record(route.hexid());
        ASSERT_NE(r, nullptr);
        ASSERT_GT(r->samples.size(), 8000u);
        EXPECT_LE(lf_largestSpeedChangeKtPerS(*r), 5.0);
        const MotionCheckResult result = SmoothnessChecker{}.checkAll(*r);
        EXPECT_FALSE(result.has(MotionCheck::SpeedChange)) << result.summary();
        EXPECT_GT(result.judged.at(MotionCheck::SpeedChange), 200u);
    }
}

TEST_F(AirLegSpeed, AFirstPointBroughtForwardIsJudgedFromItsReportedTick) {
    // Reports 102 m apart and 1.5 s apart say 160 kt, and the aircraft,
    // flying its legs at their reported speeds, reached the first of them 5 s
    // before it fell due. Judged from the tick it got there, the next report
    // lay 6.5 s away (30 kt): its 160 kt were taken for a bad speed and the
    // leg was flown at 30 kt (at the floor, on the approach), a drop and a
    // climb of 100 kt within two seconds.
    const double eastDeg = 0.055 / kNmPerDegree / std::cos(50.0 * degreesToRadians);
    for (const AcPhase phase : {AcPhase::flying, AcPhase::landing}) {
        SCOPED_TRACE(gf_acPhaseName(phase));
        g_liveAircraft.clear();
        tickCount.store(10000);
        StreamPoint front = point(50.0, 8.0, 3000.0, true, 10000);
        StreamPoint next = point(50.0, 8.0 + eastDeg, 2990.0, true, 10650);
        front.groundSpeedKt = front.tasKt = next.groundSpeedKt = next.tasKt = 160.0;
        LiveAc& ac = addLive(0x720001, AcSimState::active, 20, std::deque<StreamPoint>{front, next});
        ac.category = Large;
        ac.phase = phase;
        ac.onGround = 0;
        ac.pose.trueAirspeed = 160.0;
        ac.pose.heading = 90.0 * degreesToRadians;
        ac.motion.frontAheadTicks = 500;
        if (phase == AcPhase::flying) EXPECT_NEAR(groundSpeedForNextLeg(ac), 160.0, 0.01);
        nextPosMain(ac);
        ASSERT_FALSE(ac.stream.empty());
        // Flown at about its 160 kt: 124 ticks, not the 650 its reports' tick
        // left.
        EXPECT_NEAR(gf_ticksBetween(10000, ac.stream.front().playTick), 124, 15);
    }
}

TEST_F(AirLegSpeed, ACatchUpEndsAStepALegWhenTheDelayIsGone) {
    // Flying 15 kt faster than its 150 kt reports to give back a delay, the
    // aircraft has none left: the next 2 s leg at 150 kt falls due in time.
    // It comes down a step (4 kt on a 2 s leg) to 161 kt, not back to 150 at
    // once: from 165 evenly to 161, 184 ticks. An aircraft far faster than
    // any catch-up (a way round flown at a pace of its own) is no catch-up:
    // its leg is flown at the reports' speed, in 200 ticks.
    struct Row {
        double flownKt, ticks;
    };
    for (const Row row : {Row{165.0, 184.0}, Row{150.2, 200.0}, Row{250.0, 200.0}}) {
        SCOPED_TRACE(::testing::Message() << "flown at " << row.flownKt << " kt");
        LiveAc& ac = northLeg(0x720011, AcPhase::flying, 9000.0, 150.0 * 2.0 / 3600.0, 250, 150.0);
        ac.pose.trueAirspeed = row.flownKt;
        ac.motion.stepLat = row.flownKt / 360000.0 / kNmPerDegree;
        ac.motion.lastStepKt = row.flownKt;
        ac.motion.lastStepTick = 9999;
        nextPosMain(ac);
        ASSERT_FALSE(ac.stream.empty());
        EXPECT_NEAR(gf_ticksBetween(10000, ac.stream.front().playTick), row.ticks, 2.0);
    }
}

TEST_F(AirLegSpeed, ATouchdownOnAPacedLegRollsOnToItsPointOnTime) {
    // A leg begun at 140 kt toward a point its reports make 160 kt away
    // speeds up evenly on its way. Touching down half-way, the roll steps on
    // from where the pace has brought it to the point over the ticks left:
    // on the step set for the whole leg it came to its point's tick metres
    // short of it.
    const double northDeg = 160.0 * 4.0 / 3600.0 / kNmPerDegree;
    LiveAc& ac = northLeg(0x720021, AcPhase::landing, 1500.0, northDeg * kNmPerDegree, 400, 160.0);
    ac.motion.lastStepKt = 140.0;
    ac.motion.lastStepTick = 9999;
    ac.motion.stepLat = northDeg / 400.0;
    gf_planAirPace(ac);
    ASSERT_NE(ac.motion.airPace.profile.valid, 0);
    ac.stream.pop_front();
    const std::int32_t due = ac.stream.front().playTick;
    for (int k = 0; k < 200; ++k) {
        tickCount.store(tickCount.load() + 1);
        gf_interpolatePoseOnCurve(ac);
    }
    handleTouchdown(ac);
    ASSERT_NE(ac.onGround, 0);
    const double left = gf_ticksBetween(tickCount.load(), due);
    const LaLo reached{ac.pose.latitude + ac.motion.stepLat * left, ac.pose.longitude + ac.motion.stepLon * left};
    EXPECT_LT(gf_distanceNm(reached, {ac.stream.front().lat, ac.stream.front().lon}) * metresPerNm, 0.5);
}

TEST_F(AirLegSpeed, AnAircraftJustCreatedStartsItsFirstLegAtItsReportedSpeed) {
    // Created this tick at a report of 150 kt whose leg on is 160 kt long a
    // second: it has flown no speed yet, and starts at the reported one, not
    // the leg's mean (a step of 10 kt in its first second). Having flown,
    // it starts at the speed it flies.
    for (const bool flown : {false, true}) {
        SCOPED_TRACE(flown ? "flying at 155 kt" : "just created");
        LiveAc& ac = northLeg(0x720031, AcPhase::flying, 5000.0, 160.0 * 2.0 / 3600.0, 200, 150.0);
        if (flown) {
            ac.motion.lastStepKt = 155.0;
            ac.motion.lastStepTick = 9999;
        }
        gf_planAirPace(ac);
        ASSERT_NE(ac.motion.airPace.profile.valid, 0);
        EXPECT_NEAR(ac.motion.airPace.profile.startSpeed * kMpsToKnots, flown ? 155.0 : 150.0, 0.01);
    }
}

TEST_F(AirLegSpeed, ACurvedLegIsFlownAtThePaceItJoinedAt) {
    // Flying north at 222 kt off a straight leg, the aircraft's next report
    // lies 40 degrees to the right and the one after it turns on to 80: the
    // leg curves from north round onto the course beyond, a good deal longer
    // than its chord, and its reports say 222 kt. Reckoned on the chord, its
    // pace flew the curve 8 % faster than the aircraft joined it. A straight
    // leg (the same points in a line) is flown at 222 too.
    constexpr double kKt = 222.0;
    const double cosLat = std::cos(50.0 * degreesToRadians);
    const auto ahead = [&](LaLo from, double bearingDeg, double nm) {
        return LaLo{from.lat + nm * std::cos(bearingDeg * degreesToRadians) / kNmPerDegree,
                    from.lon + nm * std::sin(bearingDeg * degreesToRadians) / kNmPerDegree / cosLat};
    };
    for (const bool curved : {true, false}) {
        SCOPED_TRACE(curved ? "curved" : "straight");
        g_liveAircraft.clear();
        tickCount.store(10000);
        const LaLo at{50.0, 8.0};
        // The arc of 80 degrees is 1.086 times its chord: 10 s at 222 kt.
        const double chordNm = kKt * 10.0 / 3600.0 / (curved ? 1.0857 : 1.0);
        const double legDeg = curved ? 40.0 : 0.0;
        const LaLo next = ahead(at, legDeg, chordNm);
        const LaLo after = ahead(next, 2.0 * legDeg, chordNm);
        StreamPoint front = point(at.lat, at.lon, 9000.0, true, 10000);
        StreamPoint p1 = point(next.lat, next.lon, 9000.0, true, 11000);
        StreamPoint p2 = point(after.lat, after.lon, 9000.0, true, 12000);
        for (StreamPoint* p : {&front, &p1, &p2}) p->groundSpeedKt = p->tasKt = kKt;
        LiveAc& ac = addLive(0x720041, AcSimState::active, 20, std::deque<StreamPoint>{front, p1, p2});
        ac.category = Large;
        ac.phase = AcPhase::flying;
        ac.onGround = 0;
        ac.pose.heading = 0.0;
        ac.pose.trueAirspeed = kKt;
        // The leg before ran straight north into this point.
        AirTransition& before = ac.motion.transition;
        before.start = ahead(at, 180.0, kKt * 10.0 / 3600.0);
        before.end = at;
        before.arrivalHeading = 0.0;
        ac.motion.lastStepKt = kKt;
        ac.motion.lastStepTick = 9999;
        ac.motion.stepLat = kKt / 360000.0 / kNmPerDegree;
        nextPosMain(ac);
        ASSERT_GE(ac.stream.size(), 2u);
        if (curved) ASSERT_NE(ac.motion.transition.active, 0);
        ASSERT_NE(ac.motion.airPace.profile.valid, 0);
        // Each second of the leg, from the poses.
        std::vector<double> kt;
        LaLo last{ac.pose.latitude, ac.pose.longitude};
        for (int k = 1; k <= 900; ++k) {
            tickCount.store(tickCount.load() + 1);
            gf_interpolatePoseOnCurve(ac);
            if (k % 100 != 0) continue;
            const LaLo now{ac.pose.latitude, ac.pose.longitude};
            kt.push_back(gf_distanceNm(last, now) * 3600.0);
            last = now;
        }
        for (std::size_t s = 0; s < kt.size(); ++s) EXPECT_NEAR(kt[s], kKt, 2.0) << "second " << s + 1;
    }
}

TEST_F(AirLegSpeed, APaceChangesNoFasterThanAnAirlinerCan) {
    // Flying 229 kt, the aircraft comes to a 2 s leg of a way round flown at
    // 254 kt. Its pace takes the leg at no more than 4 kt a second, its point
    // falling due when that brings the aircraft there: up to 254 on the leg,
    // it changed speed by 12 kt a second. A leg the same 2 s at 231 kt is
    // flown up to its mean as before.
    for (const double legKt : {254.0, 231.0}) {
        SCOPED_TRACE(::testing::Message() << legKt << " kt");
        LiveAc& ac = northLeg(0x720051, AcPhase::flying, 12000.0, legKt * 2.0 / 3600.0, 200, legKt);
        ac.motion.lastStepKt = 229.0;
        ac.motion.lastStepTick = 9999;
        gf_planAirPace(ac);
        const SpeedProfile& p = ac.motion.airPace.profile;
        ASSERT_NE(p.valid, 0);
        const double startKt = p.startSpeed * kMpsToKnots, endKt = p.endSpeed * kMpsToKnots;
        EXPECT_NEAR(startKt, 229.0, 0.01);
        EXPECT_LE(std::fabs(endKt - startKt) / p.duration, 4.0 + 1e-6);
        // Whatever its ends, the leg is covered in the time it is given.
        EXPECT_NEAR(gf_ticksBetween(10000, ac.stream[1].playTick) / 100.0, p.duration, 0.011);
        if (legKt < 240.0) EXPECT_GT(endKt, 230.5);
    }
}

TEST_F(AirLegSpeed, AWayRoundsLegEndsWhereGatheringItsPaceTakesIt) {
    // A leg of a way round, flown from 216 kt, whose point falls due where
    // gathering the way's pace evenly brings the aircraft: 218 kt on the
    // mean over 2 s. It ends at 220 kt and keeps its time; ended at its mean
    // (a report's leg with no change), it came late, and the legs after it
    // made that up beyond the way's pace.
    LiveAc& ac = northLeg(0x720041, AcPhase::flying, 9000.0, 218.0 * 2.0 / 3600.0, 200, 231.0);
    ac.stream[1].turnPoint = 1;
    ac.motion.lastStepKt = 216.0;
    ac.motion.lastStepTick = 9999;
    const std::int32_t due = ac.stream[1].playTick;
    gf_planAirPace(ac);
    ASSERT_NE(ac.motion.airPace.profile.valid, 0);
    EXPECT_NEAR(ac.motion.airPace.profile.endSpeed * kMpsToKnots, 220.0, 0.1);
    EXPECT_EQ(ac.stream[1].playTick, due);
}

TEST_F(AirLegSpeed, ARetimedCurvedLegFlownWithoutAPaceEndsOnItsPointWhenItFallsDue) {
    // The last leg of a way round onto its report, 0.56 s at 227 kt, flown
    // in from 230.6 kt and handed on slower: the even change brings the
    // point a tick sooner, and the pace itself would swing past the speeds
    // it joins, so the leg is flown along its curve by its share of time.
    // That share is of the leg's new time: the aircraft is on the point when
    // it falls due (it was 1.2 m short, a tick of travel).
    const double legNm = 227.1 * 0.56 / 3600.0;
    LiveAc& ac = northLeg(0x720051, AcPhase::flying, 9100.0, legNm, 56, 213.6);
    ac.stream[0].turnPoint = 1;
    ac.stream[0].groundSpeedKt = ac.stream[0].tasKt = 228.6;
    ac.motion.lastStepKt = 230.6;
    ac.motion.lastStepTick = 9999;
    AirTransition& tr = ac.motion.transition;
    tr.start = {ac.pose.latitude, ac.pose.longitude};
    tr.end = {ac.stream[1].lat, ac.stream[1].lon};
    tr.arrivalHeading = 0.0;
    tr.angleLimit = 0.0;
    tr.duration = 56;
    tr.elapsed = 0;
    tr.active = 1;
    gf_planAirPace(ac);
    ASSERT_EQ(ac.motion.airPace.profile.valid, 0);
    ac.stream.pop_front();
    const std::int32_t due = ac.stream.front().playTick;
    ASSERT_LT(gf_ticksBetween(10000, due), 56);
    while (gf_ticksBetween(tickCount.load(), due) > 0) {
        tickCount.store(tickCount.load() + 1);
        gf_interpolatePoseOnCurve(ac);
    }
    EXPECT_LT(gf_distanceNm({ac.pose.latitude, ac.pose.longitude}, {ac.stream.front().lat, ac.stream.front().lon}) *
                  metresPerNm,
              0.5);
}
