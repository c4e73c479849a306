// Ground movement: planning a taxi leg (the ground driver with its leg
// timing, then the ground step easing a start from rest) and a takeoff-roll
// leg whose bounded speed-profile search tries 20 later points, beside a
// single plain speed profile.

#include <benchmark/benchmark.h>

#include <deque>
#include <mutex>

#include "engine/engine_state.h"
#include "foundation/geodesy.h"
#include "liveries/code_tables.h"
#include "motion/ground_movement.h"
#include "motion/ground_roll.h"
#include "motion/speed_profile.h"
#include "simlink/sim_link.h"
#include "support/dbase_builder.h"

namespace {

constexpr double kDeg = degreesToRadians;
constexpr LaLo kStart{50.0, 8.0};

StreamPoint lf_point(double eastM, double speedKt, std::int32_t playTick) {
    const LaLo at = gf_destinationPoint(kStart, {90.0 * kDeg, eastM * feetPerMetre});
    StreamPoint p;
    p.lat = at.lat;
    p.lon = at.lon;
    p.groundSpeedKt = speedKt;
    p.tasKt = 0.0;
    p.playTick = playTick;
    return p;
}

// A Large aircraft on the ground at the stream's first point, heading east.
LiveAc lf_aircraft(std::deque<StreamPoint> stream, AcPhase phase) {
    static const bool loaded = [] {
        tavo::test::resetToSmallDbase();
        return true;
    }();
    (void)loaded;
    FlightIdentity id;
    id.key.model = gf_internModelCode("B738");
    id.callsign = "BEN2";
    AcInfo info = gf_makeAcInfo(id);
    info.hexid = 0x600002;
    info.turnRateLimit = info.turnRateRad;
    info.taxiSpeedRef = 10.0;
    LiveAc ac(std::move(stream), info, 1.7e9);
    ac.simState = AcSimState::active;
    ac.objectId = 2001;
    ac.phase = phase;
    ac.prevPhase = AcPhase::taxi;
    ac.onGround = 1;
    ac.pose.latitude = ac.stream.front().lat;
    ac.pose.longitude = ac.stream.front().lon;
    ac.pose.heading = 90.0 * kDeg;
    ac.pose.trueAirspeed = ac.stream.front().groundSpeedKt;
    ac.motion.legBearing = 90.0 * kDeg;
    return ac;
}

void lf_clearEvents() {
    std::lock_guard lock(g_simCommandBuffers.mutex);
    g_simCommandBuffers.clientEvents.clear();
}

// Plans the leg from the aircraft's stream, its stream and motion state put
// back before each plan (the copy is part of what is timed).
void lf_timeLegPlans(benchmark::State& state, const LiveAc& start) {
    tickCount.store(100);
    LiveAc ac = start;
    int n = 0;
    for (auto _ : state) {
        ac.stream = start.stream;
        ac.motion = start.motion;
        nextPosGround(ac);
        stepGround(ac);
        benchmark::DoNotOptimize(ac.motion);
        if (++n == 1000) {
            n = 0;
            lf_clearEvents();
        }
    }
    lf_clearEvents();
}

// A taxi leg of 50 m starting from rest toward 10 kt, two more points on:
// the leg timed, its start turn, and the leg eased over its ticks.
// Budget: under 20 us.
void BM_PlanTaxiLeg(benchmark::State& state) {
    LiveAc ac = lf_aircraft({lf_point(0, 0, 100), lf_point(50, 10, 1300), lf_point(100, 10, 1600),
                             lf_point(150, 10, 1900)},
                            AcPhase::taxi);
    {
        LiveAc probe = ac;
        tickCount.store(100);
        nextPosGround(probe);
        stepGround(probe);
        if (probe.motion.scheduleCount == 0) state.SkipWithError("the taxi leg is not eased");
    }
    lf_timeLegPlans(state, ac);
}
BENCHMARK(BM_PlanTaxiLeg);

// A takeoff roll at 40 kt with 20 later points, each too far ahead for the
// time it is due to be reached within the speed limit (the mode-1 reference
// + 30 kt): the bounded profile search tries every one and the leg is eased
// instead. Budget: under 20 us.
void BM_PlanTakeoffRollLeg20Points(benchmark::State& state) {
    std::deque<StreamPoint> stream{lf_point(0, 40, 100)};
    for (int k = 1; k <= 20; ++k) stream.push_back(lf_point(1000.0 * k, 150, 100 + 1000 * k));
    LiveAc ac = lf_aircraft(std::move(stream), AcPhase::takeoff_roll);
    // The points keep their reported ticks (no retiming room): each is due
    // at 100 m/s, beyond the limit.
    ac.motion.advanceLimit = 0;
    ac.motion.delayLimit = 0;
    {
        LiveAc probe = ac;
        tickCount.store(100);
        nextPosGround(probe);
        stepGround(probe);
        if (probe.motion.profileLeg.profile.valid != 0 || probe.phase != AcPhase::takeoff_roll ||
            probe.simState != AcSimState::active)
            state.SkipWithError("a profile was found, or the roll ended");
    }
    lf_timeLegPlans(state, ac);
}
BENCHMARK(BM_PlanTakeoffRollLeg20Points);

// Baseline: one plain speed profile over a leg.
void BM_SingleSpeedProfile(benchmark::State& state) {
    SpeedProfile profile;
    double distance = 206.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(distance);
        benchmark::DoNotOptimize(gf_makeSpeedProfile(profile, distance, 10.0, 30.0, 10.0));
        benchmark::DoNotOptimize(profile);
    }
}
BENCHMARK(BM_SingleSpeedProfile);

}  // namespace
