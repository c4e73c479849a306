// Benchmarks that fail on purpose, for the checks of the benchmark program's
// entry point (bench_main.cpp): a throw and a SkipWithError must each fail
// the run, with the benchmark's name and reason on stderr.

#include <stdexcept>

#include <benchmark/benchmark.h>

namespace {

void BM_Throws(benchmark::State& state) {
    for (auto _ : state) throw std::runtime_error("input file missing");
}
BENCHMARK(BM_Throws);

void BM_SkipsWithError(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(state.iterations());
    state.SkipWithError("records lost");
}
BENCHMARK(BM_SkipsWithError);

void BM_Passes(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(state.iterations());
}
BENCHMARK(BM_Passes);

}  // namespace
