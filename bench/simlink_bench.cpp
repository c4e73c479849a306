// The simulator link's per-frame pose work and the engine's publication.

#include <benchmark/benchmark.h>

#include "platform/simconnect/sim_model.h"
#include "settings/snapshot.h"
#include "simlink/sim_link.h"
#include "simlink/sim_link_internal.h"

namespace {

constexpr std::int64_t kMs = 1'000'000;
constexpr std::int64_t kT0 = 1'000'000 * kMs;
std::int64_t g_benchNow = kT0;
std::int64_t lf_benchClock() { return g_benchNow; }

AiPositionSample lf_sample(int object, int i) {
    AiPose p;
    p.latitude = 50.0 + 0.01 * object + 0.00001 * i;
    p.longitude = 8.0 + 0.00001 * i;
    p.altitude = 3000 + i;
    p.heading = 1.0;
    p.trueAirspeed = 200;
    return {p, kT0 + i * 10 * kMs};
}

AiPoseTrack lf_track(int object) {
    AiPoseTrack t;
    for (int i = 0; i < 16; ++i) t.samples.push_back(lf_sample(object, i));
    return t;
}

// One frame's poses for 512 objects with 16 samples each, sent to the model.
void BM_SendPoses512Tracks(benchmark::State& state) {
    gf_simModelReset();
    startupChoice.store(std::make_shared<const StartupChoice>(StartupChoice{1, 0}));
    gf_simModelStart(SimVersion::MSFS2020);
    gf_simModelSetAcceptAnyTitle(true);
    gf_simModelSetJournalLimit(4);
    gf_resetSimClient();
    gf_initSimClient();
    HANDLE h = nullptr;
    SimConnect_Open(&h, "TAVO", nullptr, 0, nullptr, 0);
    gf_simLink().handle.store(h);
    gf_setupSimConnect();
    SimDispatchContext context;
    SimConnect_CallDispatch(h, &gf_simDispatch, &context);
    std::vector<std::uint32_t> ids;
    for (int i = 0; i < 512; ++i) {
        SimCreateCommand c;
        c.title = "Bench";
        c.tailNumber = "BENCH";
        c.hexid = 0x100000 + static_cast<std::uint32_t>(i);
        gf_createAiAircraft(c);
    }
    SimConnect_CallDispatch(h, &gf_simDispatch, &context);
    auto& link = gf_simLink();
    gf_sendAiPositions();  // takes note of the pose generation the init set
    link.poseHistory.clear();
    int n = 0;
    for (const auto id : link.ownedObjects) link.poseHistory[id] = lf_track(n++);
    gf_setPoseClock(&lf_benchClock);
    // Playback time in the middle of the 16 samples; nothing is dropped, so
    // every frame searches and blends a full track.
    g_benchNow = kT0 + 75 * kMs + 20 * kMs;
    for (auto _ : state) {
        gf_sendAiPositions();
        benchmark::ClobberMemory();
    }
    state.counters["objects"] = static_cast<double>(link.poseHistory.size());
    state.counters["pending"] = static_cast<double>(link.pendingCreates.size());
    state.counters["aiInModel"] = static_cast<double>(gf_simModelObjects().size());
    state.counters["quitting"] = g_simState.load() == SIM_QUITTING ? 1 : 0;
    SimConnect_Close(h);
    gf_resetSimClient();
    gf_setPoseClock(nullptr);
    gf_simModelReset();
}
BENCHMARK(BM_SendPoses512Tracks)->Unit(benchmark::kMicrosecond);

// One interpolation on a full track of 16 samples (playback time between
// the first two, so nothing is dropped and the track stays as it is).
void BM_InterpolateOnePoseInPlace(benchmark::State& state) {
    AiPoseTrack track = lf_track(0);
    const std::int64_t now = kT0 + 5 * kMs + 20 * kMs;  // between the first two samples
    for (auto _ : state) {
        auto pose = gf_interpolateAiPosition(track, now);
        benchmark::DoNotOptimize(pose);
    }
}
BENCHMARK(BM_InterpolateOnePoseInPlace);

// The engine's end-of-tick publication of 512 staged poses: the time it
// holds the pose lock (staging is outside the measurement).
void BM_Publish512StagedPoses(benchmark::State& state) {
    gf_clearAiPoseStream();
    gf_reserveAiPoseContainers();
    std::int64_t tick = kT0;
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < 512; ++i) gf_stageAiPose(static_cast<std::uint32_t>(1000 + i), lf_sample(i, 0).pose);
        tick += 10 * kMs;
        state.ResumeTiming();
        gf_publishStagedAiPoses(tick);
    }
    gf_clearAiPoseStream();
}
BENCHMARK(BM_Publish512StagedPoses)->Unit(benchmark::kMicrosecond);

}  // namespace
