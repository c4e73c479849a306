#include <array>
#include <cstdint>
#include <vector>

#include <benchmark/benchmark.h>

#include "airports/airport.h"
#include "engine/geometry.h"
#include "engine/stands.h"
#include "foundation/geodesy.h"

namespace {

// Pairs of nearby positions (a few hundred metres to a few miles apart), as
// the collision and ground-motion code meets them.
std::vector<std::array<LaLo, 2>> lf_positionPairs() {
    std::vector<std::array<LaLo, 2>> pairs;
    for (int i = 0; i < 256; ++i) {
        const double lat = -60.0 + i * 0.47;
        const double lon = -179.9 + i * 1.4;
        pairs.push_back({LaLo{lat, lon}, LaLo{lat + 0.001 * (i % 17), lon - 0.0013 * (i % 11)}});
    }
    return pairs;
}

// Budget: under 150 ns a call.
void BM_RelativePosition(benchmark::State& state) {
    const auto pairs = lf_positionPairs();
    std::size_t i = 0;
    for (auto _ : state) {
        const auto& p = pairs[i++ & 255];
        benchmark::DoNotOptimize(gf_relativePosition(p[0], 1.2, p[1]));
    }
}
BENCHMARK(BM_RelativePosition);

// Baseline: the great-circle distance and bearing alone.
void BM_DistanceAndBearing(benchmark::State& state) {
    const auto pairs = lf_positionPairs();
    std::size_t i = 0;
    for (auto _ : state) {
        const auto& p = pairs[i++ & 255];
        benchmark::DoNotOptimize(gf_distanceNm(p[0], p[1]));
        benchmark::DoNotOptimize(gf_bearing(p[0], p[1]));
    }
}
BENCHMARK(BM_DistanceAndBearing);

// Budget: under 20 ns a call.
void BM_CirclesOverlap(benchmark::State& state) {
    const auto pairs = lf_positionPairs();
    std::size_t i = 0;
    for (auto _ : state) {
        const auto& p = pairs[i++ & 255];
        benchmark::DoNotOptimize(gf_circlesOverlap(p[0], 0.02, p[1], 0.015));
    }
}
BENCHMARK(BM_CirclesOverlap);

// A full airport: 512 stands of every type and size.
std::vector<Stand> lf_stands() {
    std::vector<Stand> stands;
    for (std::uint32_t i = 0; i < 512; ++i) {
        stands.emplace_back("S", std::vector<StandOption>{}, 52.0, 4.0, 0.0, 8.0 + (i % 40) * 1.2,
                            static_cast<ParkingType>(i % 16), false, false, false);
    }
    return stands;
}

// Every stand of the airport against the seven categories. Budget: under 20 us.
void BM_StandFitsAircraft512x7(benchmark::State& state) {
    const auto stands = lf_stands();
    const double radii[7] = {0.003, 0.005, 0.008, 0.016, 0.03, 0.006, 0.006};
    for (auto _ : state) {
        int fits = 0;
        for (const Stand& stand : stands)
            for (int category = 0; category < 7; ++category)
                fits += gf_standFitsAircraft(stand, category, radii[category]);
        benchmark::DoNotOptimize(fits);
    }
}
BENCHMARK(BM_StandFitsAircraft512x7)->Unit(benchmark::kMicrosecond);

// Baseline: reading the same fields (radius and type) of every stand seven times.
void BM_ReadStandFields512x7(benchmark::State& state) {
    const auto stands = lf_stands();
    const double radii[7] = {0.003, 0.005, 0.008, 0.016, 0.03, 0.006, 0.006};
    for (auto _ : state) {
        double sum = 0.0;
        for (const Stand& stand : stands)
            for (int category = 0; category < 7; ++category) {
                benchmark::DoNotOptimize(stand.type);
                sum += radii[category] - stand.radius;
            }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_ReadStandFields512x7)->Unit(benchmark::kMicrosecond);

}  // namespace
