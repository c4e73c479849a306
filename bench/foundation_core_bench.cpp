// Geodesy runs in the per-tick paths; the log is written from every thread.
#include <array>
#include <string>

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include "allocation_counter.h"
#include "foundation/geodesy.h"
#include "foundation/log.h"
#include "support/scoped_temp_dir.h"

namespace {

// A spread of positions so that no call sees the same arguments twice in a row.
std::array<LaLo, 64> lf_positions() {
    std::array<LaLo, 64> points{};
    for (std::size_t i = 0; i < points.size(); ++i) {
        points[i] = LaLo{-70.0 + 2.2 * static_cast<double>(i), -179.0 + 5.6 * static_cast<double>(i)};
    }
    return points;
}

template <typename Call>
void lf_runGeodesy(benchmark::State& state, Call call) {
    const auto points = lf_positions();
    gf_runCountingAllocations(state, [&](benchmark::State& st) {
        std::size_t i = 0;
        for (auto _ : st) {
            const LaLo& a = points[i & 63];
            const LaLo& b = points[(i + 17) & 63];
            benchmark::DoNotOptimize(call(a, b, i));
            ++i;
        }
    });
}

void BM_DistanceNm(benchmark::State& state) {
    lf_runGeodesy(state, [](const LaLo& a, const LaLo& b, std::size_t) { return gf_distanceNm(a, b); });
}
BENCHMARK(BM_DistanceNm);

void BM_Bearing(benchmark::State& state) {
    lf_runGeodesy(state, [](const LaLo& a, const LaLo& b, std::size_t) { return gf_bearing(a, b); });
}
BENCHMARK(BM_Bearing);

void BM_DestinationPoint(benchmark::State& state) {
    lf_runGeodesy(state, [](const LaLo& a, const LaLo&, std::size_t i) {
        return gf_destinationPoint(a, {static_cast<double>(i & 7) * 0.785, 60000.0 + static_cast<double>(i & 15)});
    });
}
BENCHMARK(BM_DestinationPoint);

// The log is opened in a temporary folder (it is always "Log.txt" in the
// working folder); the working folder is put back afterwards.
tavo::test::ScopedWorkDir* l_logFolder = nullptr;

void lf_openBenchLog(const benchmark::State&) {
    l_logFolder = new tavo::test::ScopedWorkDir;
    gf_openLogFile();
}

void lf_closeBenchLog(const benchmark::State&) {
    gf_logger().close();
    delete l_logFolder;
    l_logFolder = nullptr;
}

// Buffered plain lines of a typical length (about 70 bytes), pre-formatted so
// that the figure is the log's, not fmt's.
void BM_LogBufferedLine(benchmark::State& state) {
    const std::string line =
        fmt::format("Thread {} aircraft 4CA1FB at 53.421360,-6.270070 alt 2500 ft gs 142 kt", state.thread_index());
    for (auto _ : state) {
        gf_log(line);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel("lines");
}
BENCHMARK(BM_LogBufferedLine)->Setup(lf_openBenchLog)->Teardown(lf_closeBenchLog)->Threads(1)->Threads(4)->UseRealTime();

}  // namespace
