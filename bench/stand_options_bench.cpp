// The stand an aircraft stands on, searched over a full airport of 512 stands.

#include <vector>

#include <benchmark/benchmark.h>

#include "airports/stand_options.h"
#include "engine/records.h"

namespace {

// Budget: under 20 microseconds.
void BM_FindNearestStand512(benchmark::State& state) {
    std::vector<Stand> stands;
    stands.reserve(512);
    for (int i = 0; i < 512; ++i) {
        stands.emplace_back("S", std::vector<StandOption>{}, 51.47 + (i / 32) * 5e-4, -0.46 + (i % 32) * 8e-4, 0.0,
                            40.0, ParkingType::GATE_HEAVY, false, false, false);
    }
    AcInfo aircraft;
    aircraft.category = Large;
    aircraft.wingRadiusNm = 18.0 / 1852.0;
    aircraft.standSearchRadiusNm = 18.0 / 1852.0;
    aircraft.standSearchRadiusWideNm = 65.0 / 1852.0;
    const LaLo position{51.47 + 8 * 5e-4 + 1e-5, -0.46 + 16 * 8e-4};
    double metres = 0.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(gf_findNearestStand(stands, position, aircraft, metres, true));
    }
    if (gf_findNearestStand(stands, position, aircraft, metres, true) == nullptr) state.SkipWithError("no stand found");
}
BENCHMARK(BM_FindNearestStand512)->Unit(benchmark::kMicrosecond);

}  // namespace
