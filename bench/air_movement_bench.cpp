// Air movement: one pose step of a landing aircraft over the runway (its
// runway looked up on every tick) beside one of an aircraft flying a
// straight leg; the leg planning of an aircraft on final with a 20-point
// stream beside one coordinated turn step.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <deque>
#include <mutex>

#include "airports/current_airport.h"
#include "engine/engine_state.h"
#include "foundation/geodesy.h"
#include "liveries/code_tables.h"
#include "motion/air_movement.h"
#include "motion/motion_math.h"
#include "motion/next_position.h"
#include "motion/pose_path.h"
#include "motion/runways.h"
#include "simlink/sim_link.h"
#include "support/dbase_builder.h"

namespace {

constexpr double kFieldFt = 300.0;
constexpr double kDeg = degreesToRadians;
// The runway 09/27, 3000 m, centred here; its 09 threshold 1500 m west.
constexpr LaLo kCentre{50.0, 8.0};

// `pastM` metres past the 09 threshold.
LaLo lf_past(double pastM) {
    return gf_destinationPoint(kCentre, {90.0 * kDeg, (pastM - 1500.0) * feetPerMetre});
}

void lf_airport() {
    static const bool loaded = [] {
        tavo::test::resetToSmallDbase();
        return true;
    }();
    (void)loaded;
    gf_clearRunwayTable();
    FacilityRunway r;
    r.centre = kCentre;
    r.headingDeg = 90.0;
    r.lengthM = 3000.0;
    r.widthM = 45.0;
    r.altitudeFt = kFieldFt;
    r.end1 = lf_past(0.0);
    r.end2 = lf_past(3000.0);
    r.primaryNumber = 9;
    r.secondaryNumber = 27;
    g_runwayTable.emplace_back(r);
    gf_setCurrentAirport(AirportListEntry{IcaoCode("EDDF"), IataCode("FRA"), kCentre, static_cast<std::int32_t>(kFieldFt)});
}

void lf_clearEvents() {
    std::lock_guard lock(g_simCommandBuffers.mutex);
    g_simCommandBuffers.clientEvents.clear();
}

void lf_cleanup() {
    gf_clearRunwayTable();
    gf_clearCurrentAirport();
    lf_clearEvents();
}

StreamPoint lf_point(LaLo at, double altitudeFt, bool airborne, std::int32_t playTick, double verticalSpeed) {
    StreamPoint p;
    p.lat = at.lat;
    p.lon = at.lon;
    p.altitudeFt = altitudeFt;
    p.airborne = airborne ? 1 : 0;
    p.playTick = playTick;
    p.verticalSpeed = verticalSpeed;
    p.groundSpeedKt = 140.0;
    p.tasKt = airborne ? 140.0 : 0.0;
    return p;
}

// A Large aircraft on final, `count` points ahead of it every 3 s (the last
// four on the runway), in the phase.
LiveAc lf_aircraft(AcPhase phase, int count, double startPastM) {
    FlightIdentity id;
    id.key.model = gf_internModelCode("B738");
    id.callsign = "BEN1";
    AcInfo info = gf_makeAcInfo(id);
    info.hexid = 0x600001;
    info.turnRateLimit = info.turnRateRad;
    info.climbRateLimit = 0.5;
    std::deque<StreamPoint> stream;
    const double stepM = 216.0;  // 140 kt for 3 s
    for (int k = 0; k < count; ++k) {
        const double pastM = startPastM + stepM * k;
        const bool airborne = k < count - 4;
        // A 3 degree glide path to 50 ft over the threshold.
        const double altitude = airborne ? kFieldFt + 50.0 + std::max(0.0, -pastM) * 0.172 : 0.0;
        stream.push_back(lf_point(lf_past(pastM), altitude, airborne, 100 + 300 * k, airborne ? -700.0 : 0.0));
    }
    LiveAc ac(std::move(stream), info, 1.7e9);
    ac.simState = AcSimState::active;
    ac.objectId = 2000;
    ac.phase = phase;
    ac.onGround = 0;
    const StreamPoint& front = ac.stream.front();
    ac.pose.latitude = front.lat;
    ac.pose.longitude = front.lon;
    ac.pose.altitude = front.altitudeFt;
    ac.pose.heading = 90.0 * kDeg;
    ac.pose.trueAirspeed = 140.0;
    ac.motion.heightAboveGroundFt = front.altitudeFt - kFieldFt;
    return ac;
}

// Times pose steps of an aircraft that has planned its leg to the next
// point; back to the leg's start now and then, so that it stays on the leg.
void lf_timePoseSteps(benchmark::State& state, LiveAc ac) {
    tickCount.store(100);
    nextPosMain(ac);
    const LiveAc start = ac;
    int n = 0;
    for (auto _ : state) {
        gf_interpolatePoseOnCurve(ac);
        benchmark::DoNotOptimize(ac.pose);
        if (++n == 250) {
            n = 0;
            ac = start;
        }
    }
}

// One pose step of a landing aircraft 150 ft over the approach, 600 m
// before the threshold: the approach descent with its runway lookup, and
// the check for the flare.
// Budget: under 3 us.
void BM_LandingAircraftTick(benchmark::State& state) {
    lf_airport();
    LiveAc ac = lf_aircraft(AcPhase::landing, 8, -600.0);
    if (!landingRunwayForPose(ac)) state.SkipWithError("no runway under the approach");
    lf_timePoseSteps(state, std::move(ac));
    lf_cleanup();
}
BENCHMARK(BM_LandingAircraftTick);

// Baseline: one pose step of an aircraft flying a straight leg.
void BM_FlyingAircraftTick(benchmark::State& state) {
    lf_airport();
    LiveAc ac = lf_aircraft(AcPhase::flying, 8, -30000.0);
    for (StreamPoint& p : ac.stream) {
        p.airborne = 1;
        p.altitudeFt = 5000.0;
        p.verticalSpeed = 0.0;
    }
    ac.pose.altitude = 5000.0;
    ac.motion.heightAboveGroundFt = 4700.0;
    lf_timePoseSteps(state, std::move(ac));
    lf_cleanup();
}
BENCHMARK(BM_FlyingAircraftTick);

// The leg planning of an aircraft on final below 2000 ft with 20 points in
// its stream: vertical plan, pitch, turn with the look-ahead, the curved
// transition, the phase decision and the landing runway. Budget: under 10 us.
void BM_StepAir20Points(benchmark::State& state) {
    lf_airport();
    LiveAc ac = lf_aircraft(AcPhase::landing, 20, -4500.0);
    tickCount.store(100);
    const AiPose start = ac.pose;
    int n = 0;
    for (auto _ : state) {
        stepAir(ac);
        benchmark::DoNotOptimize(ac.motion);
        // Each plan queues a cabin-light event: emptied now and then.
        if (++n == 1000) {
            n = 0;
            state.PauseTiming();
            ac.pose = start;
            lf_clearEvents();
            state.ResumeTiming();
        }
    }
    if (ac.phase != AcPhase::landing) state.SkipWithError("the aircraft left its approach");
    lf_cleanup();
}
BENCHMARK(BM_StepAir20Points)->Unit(benchmark::kNanosecond);

// Baseline: one coordinated turn step.
void BM_CoordinatedTurnStep(benchmark::State& state) {
    TurnStepInput in;
    in.heading = 1.0;
    in.targetHeading = 1.3;
    in.bank = 0.05;
    in.speedKt = 140.0;
    in.timeConstantTicks = 300.0;
    in.ticksPerSecond = 100.0;
    in.maxTurnRate = 8.0 * kDeg;
    in.bankLimit = 30.0 * kDeg;
    in.maxBankStep = 0.02 * kDeg;
    for (auto _ : state) {
        benchmark::DoNotOptimize(in);
        benchmark::DoNotOptimize(coordinatedTurnStep(in));
    }
}
BENCHMARK(BM_CoordinatedTurnStep);

}  // namespace
