// The whole program on the sample world at full speed: TAVO's own entry with
// the headless window, the simulator model and the sample RealTraffic
// traffic over loopback, ten simulated minutes on the run's fake clock
// (nothing waits for real time). Budget: the ten minutes in under 10 s, and
// the main loop's tick (the engine tick with everything the loop does) at a
// p99 under 1 ms, with the sample traffic copied until about 200 aircraft
// fly (one run per process: the program's start and end are process-wide).
// Beside it, the plainest part of the same work: producing the same ten
// minutes of traffic lines, which the program has to read.
//
// Counters: simulated_s, start_s (real time until the traffic began), ticks, median_us and p99_us of the main loop's
// ticks, main_loop_s (their sum), aircraft (the most live aircraft at once).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <vector>

#include "bench_size.h"
#include "engine/engine_lists.h"
#include "support/sample_world_run.h"
#include "support/source_paths.h"
#include "tools/sample_feed/sample_lines.h"

namespace {

using namespace tavo::test;

double lf_percentile(std::vector<double> values, double share) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(static_cast<double>(values.size()) * share))];
}

void lf_runWorld(benchmark::State& state, int copies) {
    const double seconds = gf_benchSize(600.0, 30.0);
    for (auto _ : state) {
        SampleWorldOptions options;
        options.folder = std::filesystem::current_path() / "world_bench";
        options.durationS = seconds;
        options.recordMotion = false;
        options.trafficCopies = copies;
        // Each simulator frame is dispatched before the clock goes on, as the
        // simulator's own core would do it beside the main loop: on one core
        // a frame left to the SimClient thread would be taken in the middle
        // of whichever ticks it interrupts, and counted as theirs. A range
        // that stays where it is however many aircraft fly.
        options.lockStepFrames = true;
        options.parameters = {{"AUTO_RANGE", "false"}};
        SampleWorldRun run(options);
        run.timeTicks(true);
        std::size_t most = 0;
        run.onTick([&most] {
            const auto active = std::count_if(g_liveAircraft.begin(), g_liveAircraft.end(),
                                              [](const LiveAc& ac) { return ac.simState == AcSimState::active; });
            most = std::max(most, static_cast<std::size_t>(active));
        });
        if (run.run() != 0) {
            state.SkipWithError("the program ended with an error");
            return;
        }
        const SampleWorldFigures& f = run.figures();
        std::vector<double> micros;
        micros.reserve(f.tickNs.size());
        for (double ns : f.tickNs) micros.push_back(ns / 1000.0);
        state.counters["simulated_s"] = f.simulatedS;
        state.counters["start_s"] = f.startS;
        state.counters["ticks"] = static_cast<double>(f.ticks);
        state.counters["median_us"] = lf_percentile(micros, 0.5);
        state.counters["p99_us"] = lf_percentile(micros, 0.99);
        state.counters["aircraft"] = static_cast<double>(most);
        double mainLoopNs = 0.0;
        for (double ns : f.tickNs) mainLoopNs += ns;
        // The program's main loop alone; the rest of the real time is its
        // other threads, the simulator model and the sample feed.
        state.counters["main_loop_s"] = mainLoopNs / 1e9;
        if (f.simulatedS < seconds) state.SkipWithError("the run ended before its time");
    }
}

// The sample world with its traffic copied 30 times: over 200 aircraft. One
// run per process: the program's start and end are process-wide.
void BM_SampleWorldTenMinutes(benchmark::State& state) { lf_runWorld(state, gf_benchSize(30, 2)); }
BENCHMARK(BM_SampleWorldTenMinutes)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

// Baseline: the ten minutes of traffic lines alone, as the sample
// application makes them.
void BM_SampleTrafficLinesTenMinutes(benchmark::State& state) {
    const auto traffic = tavo::sample::gf_loadSampleTraffic(installDir() / "scenarios" / "sample.xml");
    const auto seconds = static_cast<std::int64_t>(gf_benchSize(600.0, 30.0));
    for (auto _ : state) {
        std::size_t lines = 0;
        for (std::int64_t s = 1200; s < 1200 + seconds; ++s)
            lines += tavo::sample::gf_sampleFlightsAt(*traffic, s, 1.7e9).size();
        benchmark::DoNotOptimize(lines);
    }
}
BENCHMARK(BM_SampleTrafficLinesTenMinutes)->Unit(benchmark::kMillisecond);

}  // namespace
