// Reading the settings snapshot is on the hot path of every thread (each
// traffic batch, each engine tick, each random choice). Budget for an
// uncontended read: under 100 ns.

#include <thread>

#include <benchmark/benchmark.h>

#include "settings/parameters.h"
#include "settings/snapshot.h"

namespace {

// Take the current record, read a few fields, let go of it.
void BM_SettingsSnapshotRead(benchmark::State& state) {
    for (auto _ : state) {
        const SettingsSnapshotPtr settings = settingsSnapshot.load();
        benchmark::DoNotOptimize(settings->RANGE_SQUARED);
        benchmark::DoNotOptimize(settings->RANDOM);
        benchmark::DoNotOptimize(settings->MAX_LIVE_SEL);
    }
}
BENCHMARK(BM_SettingsSnapshotRead);

// The same read while three other threads read too.
void BM_SettingsSnapshotReadFourReaders(benchmark::State& state) {
    for (auto _ : state) {
        const SettingsSnapshotPtr settings = settingsSnapshot.load();
        benchmark::DoNotOptimize(settings->RANGE_SQUARED);
    }
}
BENCHMARK(BM_SettingsSnapshotReadFourReaders)->Threads(4);

// One publication of a changed flag (copy, change, compare-exchange).
void BM_SettingsPublishParameter(benchmark::State& state) {
    bool value = false;
    for (auto _ : state) {
        value = !value;
        WEEK.setValue(value);
        gf_publishParameter(WEEK);
    }
    WEEK.setValue(WEEK.defaultValue());
    gf_publishParameter(WEEK);
}
BENCHMARK(BM_SettingsPublishParameter);

}  // namespace
