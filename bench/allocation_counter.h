#pragma once
// Counts the heap allocations of the benchmark executable, so that a benchmark
// can show that the code it measures allocates nothing.

#include <cstdint>

#include <benchmark/benchmark.h>

// Allocations (operator new) made so far by any thread.
std::uint64_t gf_benchAllocations();

// Runs `body` as the benchmark loop and reports the allocations it made as the
// counter "allocations". Skips with an error when this executable's
// allocations cannot be counted (another replacement of operator new won), so
// that no benchmark reports a zero it did not measure.
bool gf_benchAllocationCountingWorks();

template <typename Body>
void gf_runCountingAllocations(benchmark::State& state, Body body) {
    if (!gf_benchAllocationCountingWorks()) {
        state.SkipWithError("allocation counting is not available in this executable");
        return;
    }
    const auto before = gf_benchAllocations();
    body(state);
    state.counters["allocations"] = static_cast<double>(gf_benchAllocations() - before);
}
