// The engine tick with 512 active aircraft, beside only staging and
// publishing their poses; and the holding-conflict pass over 512 holding
// aircraft, beside as many plain flat distances.
//
// The tick benchmarks time each tick on its own and report the median and
// the 99th percentile over all ticks of the run (counters median_us, p99_us).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <vector>

#include "airports/static_placement.h"
#include "engine/engine_lists.h"
#include "engine/engine_state.h"
#include "engine/geometry.h"
#include "engine/sim_commands.h"
#include "engine/sim_results.h"
#include "engine/tick.h"
#include "liveries/code_tables.h"
#include "simlink/sim_link.h"
#include "support/dbase_builder.h"

namespace {

constexpr std::size_t kAircraft = 512;
constexpr std::int32_t kLegTicks = 300;  // a stream point every 3 s

void lf_clearEngine() {
    g_liveAircraft.clear();
    removeQueue.clear();
    liveCreateQueue.clear();
    staticCreateQueue.clear();
    addingStack.clear();
    newLiveCheckQueue.clear();
    staticsToPlace.clear();
    gf_clearSimResults();
    gf_clearSimCommands();
    gf_resetEngineTick();
    gf_clearAiPoseStream();
    {
        std::lock_guard lock(g_simCommandBuffers.mutex);
        g_simCommandBuffers.requests.clear();
    }
    tickCount.store(0);
}

StreamPoint lf_point(std::size_t i, std::int32_t playTick, bool airborne) {
    StreamPoint p;
    // The aircraft spread over about 30 x 16 NM, each moving north.
    p.lat = 50.0 + double(i % 32) * 0.01 + double(playTick) * (airborne ? 2e-6 : 1e-7);
    p.lon = 8.0 + double(i / 32) * 0.02;
    p.airborne = airborne ? 1 : 0;
    p.altitudeFt = airborne ? 3000.0 + double(i) * 10.0 : 0.0;
    p.groundSpeedKt = airborne ? 250.0 : 12.0;
    p.tasKt = p.groundSpeedKt;
    p.playTick = playTick;
    return p;
}

// 512 active aircraft, half flying and half taxiing, each on a leg.
void lf_activeTraffic() {
    static const bool loaded = [] {
        tavo::test::resetToSmallDbase();
        return true;
    }();
    (void)loaded;
    lf_clearEngine();
    g_liveAircraft.reserve(kAircraft);
    for (std::size_t i = 0; i < kAircraft; ++i) {
        const bool airborne = i % 2 == 0;
        FlightIdentity id;
        id.key.model = gf_internModelCode("B738");
        id.callsign = "KLM" + std::to_string(1000 + i);
        id.registration = "PH-" + std::to_string(i);
        AcInfo info = gf_makeAcInfo(id);
        info.hexid = 0x400000 + static_cast<std::uint32_t>(i);
        std::deque<StreamPoint> stream;
        for (int k = 0; k < 4; ++k) stream.push_back(lf_point(i, k * kLegTicks, airborne));
        LiveAc& ac = g_liveAircraft.emplace_back(std::move(stream), info, 1.7e9);
        ac.simState = AcSimState::active;
        ac.objectId = 1000 + static_cast<std::uint32_t>(i);
        ac.phase = airborne ? AcPhase::flying : AcPhase::taxi;
        ac.onGround = airborne ? 0 : 1;
        ac.pose.latitude = ac.stream.front().lat;
        ac.pose.longitude = ac.stream.front().lon;
        ac.pose.altitude = ac.stream.front().altitudeFt;
    }
}

// Keeps every stream three points ahead, as arriving reports would.
void lf_feedStreams() {
    for (std::size_t i = 0; i < g_liveAircraft.size(); ++i) {
        LiveAc& ac = g_liveAircraft[i];
        while (ac.stream.size() < 4)
            ac.stream.push_back(lf_point(i, ac.stream.back().playTick + kLegTicks, ac.onGround == 0));
    }
}

// The link's frame takes the published poses about every third tick.
void lf_takePublished() { gf_clearAiPoseStream(); }

void lf_report(benchmark::State& state, std::vector<double>& micros) {
    if (micros.empty()) return;
    std::sort(micros.begin(), micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
    state.counters["aircraft"] = double(g_liveAircraft.size());
}

// Times each call of `tick` on its own; every third tick the link's frame
// takes what was published, outside the timing.
template <typename Tick>
void lf_timeTicks(benchmark::State& state, Tick tick) {
    lf_activeTraffic();
    std::vector<double> micros;
    micros.reserve(1 << 20);
    std::size_t n = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        tick();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(took.count());
        micros.push_back(took.count() * 1e6);
        if (++n % 3 == 0) lf_takePublished();
        lf_feedStreams();
        std::lock_guard lock(g_simCommandBuffers.mutex);
        g_simCommandBuffers.requests.clear();
    }
    lf_report(state, micros);
    lf_clearEngine();
}

// One engine tick with 512 active aircraft. Budget: median under 150 us, p99
// under 500 us.
void BM_EngineTick512Active(benchmark::State& state) { lf_timeTicks(state, [] { lf_handleAddingStack(); }); }
BENCHMARK(BM_EngineTick512Active)->UseManualTime();

// Baseline: only staging and publishing the same 512 poses.
void BM_StageAndPublish512Poses(benchmark::State& state) {
    lf_timeTicks(state, [] {
        for (const LiveAc& ac : g_liveAircraft) gf_stageAiPose(ac.objectId, ac.pose);
        gf_publishStagedAiPoses(gf_poseClockNow());
    });
}
BENCHMARK(BM_StageAndPublish512Poses)->UseManualTime();

// 512 holding aircraft on the ground, 200 m apart, none in another's way:
// every one is checked against every other. Budget: under 3 ms.
void lf_holdingTraffic() {
    lf_activeTraffic();
    for (std::size_t i = 0; i < g_liveAircraft.size(); ++i) {
        LiveAc& ac = g_liveAircraft[i];
        ac.onGround = 1;
        ac.phase = AcPhase::taxi;
        ac.motion.holding = 1;
        ac.collisionRadiusNm = 0.02;
        ac.pose.latitude = 50.0 + double(i % 32) * 0.002;
        ac.pose.longitude = 8.0 + double(i / 32) * 0.003;
    }
}

void BM_HoldingConflicts512(benchmark::State& state) {
    lf_holdingTraffic();
    for (auto _ : state) lf_checkHoldingConflicts();
    state.counters["removed"] = double(removeQueue.size());
    lf_clearEngine();
}
BENCHMARK(BM_HoldingConflicts512)->Unit(benchmark::kMicrosecond);

// Baseline: as many flat distances (512 x 512) in a plain loop.
void BM_FlatDistances512x512(benchmark::State& state) {
    lf_holdingTraffic();
    for (auto _ : state) {
        double sum = 0.0;
        for (const LiveAc& a : g_liveAircraft)
            for (const LiveAc& b : g_liveAircraft)
                sum += gf_flatDistanceSquaredNm({a.pose.latitude, a.pose.longitude}, {b.pose.latitude, b.pose.longitude});
        benchmark::DoNotOptimize(sum);
    }
    lf_clearEngine();
}
BENCHMARK(BM_FlatDistances512x512)->Unit(benchmark::kMicrosecond);

}  // namespace
