// Curves and speed profiles are built once per leg and sampled on every tick
// for every aircraft, so they must be cheap and allocate nothing. Each is
// measured beside the work it cannot avoid: the 128 Hermite evaluations of a
// ground turn, a plain linear interpolation for a sample, the unbounded
// profile for the bounded one.
#include <cmath>

#include <benchmark/benchmark.h>

#include "allocation_counter.h"
#include "foundation/geodesy.h"
#include "motion/curves.h"
#include "motion/speed_profile.h"

namespace {

constexpr double kM = 111132.95;

LaLo lf_at(double lat, double lon, double east, double north) {
    return {lat + north / kM, lon + east / (std::cos(lat * degreesToRadians) * kM)};
}

// A usable turn in heading mode: every one of the 128 samples is walked and
// every check of that mode runs.
GroundTurnInput lf_turnInput() {
    const double lat = 47.0, lon = 8.0;
    const LaLo corner = lf_at(lat, lon, 0, 60);
    const LaLo exit = lf_at(lat, lon, 60 * std::sin(45 * degreesToRadians), 60 + 60 * std::cos(45 * degreesToRadians));
    GroundTurnInput in;
    in.entryLat = lat;
    in.entryLon = lon;
    in.cornerLat = corner.lat;
    in.cornerLon = corner.lon;
    in.exitLat = exit.lat;
    in.exitLon = exit.lon;
    in.startHeading = 25 * degreesToRadians;
    return in;
}

CurvedLegInput lf_legInput() {
    const LaLo c = lf_at(47.0, 8.0, 0, 300);
    const LaLo e = lf_at(47.0, 8.0, 400, 320);
    return {{47.0, 8.0, 1000}, {c.lat, c.lon, 0}, {e.lat, e.lon, 1500}};
}

void BM_HermitePointAt128(benchmark::State& state) {
    GroundTurn turn;
    buildGroundTurn(turn, lf_turnInput());
    gf_runCountingAllocations(state, [&](benchmark::State& s) {
        for (auto _ : s) {
            benchmark::DoNotOptimize(&turn);
            double sum = 0.0;
            for (int k = 1; k <= 128; ++k) sum += hermitePointAt(turn, k / 128.0).east;
            benchmark::DoNotOptimize(sum);
        }
    });
}
BENCHMARK(BM_HermitePointAt128);

void BM_BuildGroundTurn(benchmark::State& state) {
    const GroundTurnInput in = lf_turnInput();
    GroundTurn turn;
    if (!buildGroundTurn(turn, in)) {
        state.SkipWithError("the benchmark's turn is not usable");
        return;
    }
    gf_runCountingAllocations(state, [&](benchmark::State& s) {
        for (auto _ : s) {
            benchmark::DoNotOptimize(buildGroundTurn(turn, in));
            benchmark::ClobberMemory();
        }
    });
}
BENCHMARK(BM_BuildGroundTurn);

void BM_BuildCurvedLeg(benchmark::State& state) {
    const CurvedLegInput in = lf_legInput();
    CurvedLeg leg;
    gf_runCountingAllocations(state, [&](benchmark::State& s) {
        for (auto _ : s) {
            buildCurvedLeg(leg, in);
            benchmark::ClobberMemory();
        }
    });
}
BENCHMARK(BM_BuildCurvedLeg);

// Baseline of a sample: a position interpolated linearly between two points.
void BM_LinearInterpolation(benchmark::State& state) {
    LaLo a{47.0, 8.0};
    LaLo b{47.001, 8.002};
    double f = 0.0;
    gf_runCountingAllocations(state, [&](benchmark::State& s) {
        for (auto _ : s) {
            benchmark::DoNotOptimize(a);
            benchmark::DoNotOptimize(b);
            f = f > 0.99 ? 0.0 : f + 0.0137;
            LaLo p{a.lat + (b.lat - a.lat) * f, a.lon + (b.lon - a.lon) * f};
            benchmark::DoNotOptimize(p);
        }
    });
}
BENCHMARK(BM_LinearInterpolation);

void BM_SampleGroundTurn(benchmark::State& state) {
    GroundTurn turn;
    if (!buildGroundTurn(turn, lf_turnInput())) {
        state.SkipWithError("the benchmark's turn is not usable");
        return;
    }
    double f = 0.0;
    gf_runCountingAllocations(state, [&](benchmark::State& s) {
        for (auto _ : s) {
            f = f > 0.99 ? 0.0 : f + 0.0137;
            benchmark::DoNotOptimize(sampleGroundTurn(turn, f));
        }
    });
}
BENCHMARK(BM_SampleGroundTurn);

void BM_SampleCurvedLeg(benchmark::State& state) {
    CurvedLeg leg;
    buildCurvedLeg(leg, lf_legInput());
    double t = 1000.0;
    gf_runCountingAllocations(state, [&](benchmark::State& s) {
        for (auto _ : s) {
            t = t > 1495.0 ? 1000.0 : t + 6.85;
            benchmark::DoNotOptimize(sampleCurvedLeg(leg, t));
        }
    });
}
BENCHMARK(BM_SampleCurvedLeg);

void BM_SpeedProfileSpeedAt(benchmark::State& state) {
    SpeedProfile p;
    gf_makeSpeedProfile(p, 100, 10, 4, 12);
    double t = 0.0;
    gf_runCountingAllocations(state, [&](benchmark::State& s) {
        for (auto _ : s) {
            t = t > 9.9 ? 0.0 : t + 0.137;
            benchmark::DoNotOptimize(gf_speedProfileSpeedAt(p, t));
        }
    });
}
BENCHMARK(BM_SpeedProfileSpeedAt);

void BM_MakeSpeedProfile(benchmark::State& state) {
    SpeedProfile p;
    double va = 0.0;
    gf_runCountingAllocations(state, [&](benchmark::State& s) {
        for (auto _ : s) {
            va = va > 9.0 ? 0.0 : va + 0.37;
            benchmark::DoNotOptimize(gf_makeSpeedProfile(p, 100, 10, va, 25));
            benchmark::ClobberMemory();
        }
    });
}
BENCHMARK(BM_MakeSpeedProfile);

// Worst case: the first try fails (the wanted end speed would pass vmax) and
// the fallback runs.
void BM_MakeBoundedSpeedProfile(benchmark::State& state) {
    SpeedProfile p;
    double va = 0.0;
    gf_runCountingAllocations(state, [&](benchmark::State& s) {
        for (auto _ : s) {
            va = va > 9.0 ? 0.0 : va + 0.37;
            benchmark::DoNotOptimize(gf_makeBoundedSpeedProfile(p, 100, 10, va, 25, 20));
            benchmark::ClobberMemory();
        }
    });
}
BENCHMARK(BM_MakeBoundedSpeedProfile);

}  // namespace
