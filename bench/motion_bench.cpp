// Aircraft motion: the motion part of an engine tick for 512 mixed active
// aircraft beside only staging their poses; one pose step beside a plain
// per-tick step; 512 aircraft planning a leg in one tick beside as many
// distances and bearings.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <deque>
#include <vector>

#include "engine/engine_lists.h"
#include "engine/engine_state.h"
#include "engine/update.h"
#include "foundation/geodesy.h"
#include "liveries/code_tables.h"
#include "motion/next_position.h"
#include "motion/pose_path.h"
#include "simlink/sim_link.h"
#include "support/dbase_builder.h"

#include "bench_size.h"

namespace {

constexpr std::int32_t kLegTicks = 300;  // a report every 3 s

// Mixed traffic: Light, Large and Heavy types, in the air and taxiing.
constexpr const char* kTypes[] = {"C172", "B738", "B77W"};

StreamPoint lf_point(std::size_t i, std::int32_t playTick, bool airborne) {
    StreamPoint p;
    // Spread over about 30 x 16 NM; each aircraft heads north-east at its
    // own angle, so that the legs do not all bear alike.
    const double t = double(playTick);
    const double angle = double(i % 7) * 0.1;
    const double rate = airborne ? 2e-6 : 1e-7;
    p.lat = 50.0 + double(i % 32) * 0.01 + t * rate * std::cos(angle);
    p.lon = 8.0 + double(i / 32) * 0.02 + t * rate * std::sin(angle);
    p.airborne = airborne ? 1 : 0;
    p.altitudeFt = airborne ? 3000.0 + double(i) * 10.0 + t * 0.01 : 0.0;
    p.verticalSpeed = airborne ? 60.0 : 0.0;
    p.groundSpeedKt = airborne ? 250.0 : 12.0;
    p.tasKt = p.groundSpeedKt;
    p.playTick = playTick;
    return p;
}

LiveAc lf_aircraft(std::size_t i, std::int32_t now) {
    const bool airborne = i % 2 == 0;
    FlightIdentity id;
    id.key.model = gf_internModelCode(kTypes[i % 3]);
    id.callsign = "TST" + std::to_string(i);
    AcInfo info = gf_makeAcInfo(id);
    info.hexid = 0x500000 + static_cast<std::uint32_t>(i);
    info.turnRateLimit = info.turnRateRad;
    std::deque<StreamPoint> stream;
    for (int k = 0; k < 4; ++k) stream.push_back(lf_point(i, now + k * kLegTicks - 1, airborne));
    LiveAc ac(std::move(stream), info, 1.7e9);
    ac.simState = AcSimState::active;
    ac.objectId = 2000 + static_cast<std::uint32_t>(i);
    ac.phase = airborne ? AcPhase::flying : AcPhase::taxi;
    ac.onGround = airborne ? 0 : 1;
    ac.pose.latitude = ac.stream.front().lat;
    ac.pose.longitude = ac.stream.front().lon;
    ac.pose.altitude = ac.stream.front().altitudeFt;
    return ac;
}

std::size_t lf_count() { return gf_benchSize<std::size_t>(512, 64); }

void lf_traffic() {
    static const bool loaded = [] {
        tavo::test::resetToSmallDbase();
        return true;
    }();
    (void)loaded;
    g_liveAircraft.clear();
    gf_clearAiPoseStream();
    tickCount.store(1);
    for (std::size_t i = 0; i < lf_count(); ++i) g_liveAircraft.push_back(lf_aircraft(i, 1));
}

// Keeps every stream three points ahead, as arriving reports would.
void lf_feed() {
    for (std::size_t i = 0; i < g_liveAircraft.size(); ++i) {
        LiveAc& ac = g_liveAircraft[i];
        while (ac.stream.size() < 4)
            ac.stream.push_back(lf_point(i, ac.stream.back().playTick + kLegTicks, ac.onGround == 0));
    }
}

// Times each tick on its own; the streams are fed and the published poses
// taken outside the timing.
template <typename Tick>
void lf_timeTicks(benchmark::State& state, Tick tick) {
    lf_traffic();
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        tick();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(took.count());
        gf_publishStagedAiPoses(gf_poseClockNow());
        gf_clearAiPoseStream();
        tickCount.fetch_add(1);
        lf_feed();
    }
    state.counters["aircraft"] = double(g_liveAircraft.size());
    state.counters["active"] = double(std::count_if(g_liveAircraft.begin(), g_liveAircraft.end(), [](const LiveAc& a) {
        return a.simState == AcSimState::active;
    }));
    g_liveAircraft.clear();
}

// The motion part of a tick: each aircraft's update (a new leg at its points,
// the pose along the leg otherwise) and its pose staged. Budget: under 2 ms.
void BM_MotionTick512Mixed(benchmark::State& state) {
    lf_timeTicks(state, [] {
        for (LiveAc& ac : g_liveAircraft) updateLiveAc(ac);
    });
}
BENCHMARK(BM_MotionTick512Mixed)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Baseline: only staging the same poses.
void BM_Stage512Poses(benchmark::State& state) {
    lf_timeTicks(state, [] {
        for (const LiveAc& ac : g_liveAircraft) gf_stageAiPose(ac.objectId, ac.pose);
    });
}
BENCHMARK(BM_Stage512Poses)->UseManualTime()->Unit(benchmark::kMicrosecond);

// One pose step of an airborne aircraft on a straight leg. Budget: under
// 1 us.
void BM_InterpolatePoseOnCurve(benchmark::State& state) {
    lf_traffic();
    LiveAc ac = lf_aircraft(0, 1);
    nextPosMain(ac);
    const AiPose start = ac.pose;
    int n = 0;
    for (auto _ : state) {
        gf_interpolatePoseOnCurve(ac);
        benchmark::DoNotOptimize(ac.pose);
        // Back to the leg's start now and then, so that it stays on its leg.
        if (++n == 250) {
            n = 0;
            ac.pose = start;
        }
    }
    g_liveAircraft.clear();
}
BENCHMARK(BM_InterpolatePoseOnCurve);

// Baseline: the plain per-tick step alone.
void BM_PlainPerTickStep(benchmark::State& state) {
    lf_traffic();
    LiveAc ac = lf_aircraft(0, 1);
    nextPosMain(ac);
    const AiPose start = ac.pose;
    int n = 0;
    for (auto _ : state) {
        ac.pose.latitude += ac.motion.stepLat;
        ac.pose.longitude += ac.motion.stepLon;
        benchmark::DoNotOptimize(ac.pose);
        if (++n == 250) {
            n = 0;
            ac.pose = start;
        }
    }
    g_liveAircraft.clear();
}
BENCHMARK(BM_PlainPerTickStep);

// Every aircraft reaches a point in the same tick and plans its next leg.
// Budget: under 5 ms.
void BM_PlanLeg512(benchmark::State& state) {
    lf_traffic();
    const std::vector<LiveAc> arriving = g_liveAircraft;
    for (auto _ : state) {
        state.PauseTiming();
        g_liveAircraft = arriving;
        state.ResumeTiming();
        for (LiveAc& ac : g_liveAircraft) nextPosMain(ac);
    }
    g_liveAircraft.clear();
}
BENCHMARK(BM_PlanLeg512)->Unit(benchmark::kMicrosecond);

// Baseline: a distance and a bearing from each aircraft to its next point.
void BM_DistanceAndBearing512(benchmark::State& state) {
    lf_traffic();
    for (auto _ : state) {
        double sum = 0.0;
        for (const LiveAc& ac : g_liveAircraft) {
            const LaLo from{ac.pose.latitude, ac.pose.longitude};
            const LaLo to{ac.stream[1].lat, ac.stream[1].lon};
            sum += gf_distanceNm(from, to) + gf_bearing(from, to);
        }
        benchmark::DoNotOptimize(sum);
    }
    g_liveAircraft.clear();
}
BENCHMARK(BM_DistanceAndBearing512)->Unit(benchmark::kMicrosecond);

}  // namespace
