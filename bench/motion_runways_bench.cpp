// Runway lookups run for every aircraft report near an airport and on every
// planned leg on the ground, so they must be cheap and allocate nothing. Each
// is measured beside a baseline of the geometry it cannot avoid: the flat
// projection onto each of the 20 runways, the distance to each centre.
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include <benchmark/benchmark.h>

#include "allocation_counter.h"
#include "foundation/geodesy.h"
#include "motion/runways.h"

namespace {

constexpr std::size_t kRunways = 20;
constexpr LaLo kAirport{50.0, 8.0};

// 20 runways of 3000 m on a 4 x 5 grid 600 m apart, headings every 20
// degrees, so that a position near the middle is within reach of several.
void lf_fillTable() {
    gf_clearRunwayTable();
    for (std::size_t i = 0; i < kRunways; ++i) {
        FacilityRunway r;
        const double northM = 600.0 * static_cast<double>(i / 5) - 900.0;
        const double eastM = 600.0 * static_cast<double>(i % 5) - 1200.0;
        r.centre = LaLo{kAirport.lat + northM / metresPerNm / 60.0,
                        kAirport.lon + eastM / metresPerNm / 60.0 / std::cos(kAirport.lat * degreesToRadians)};
        r.headingDeg = static_cast<double>((i * 20) % 180);
        r.lengthM = 3000.0;
        r.widthM = 45.0;
        r.altitudeFt = 300.0;
        const double halfFt = 1500.0 * feetPerMetre;
        r.end1 = gf_destinationPoint(r.centre, {(r.headingDeg + 180.0) * degreesToRadians, halfFt});
        r.end2 = gf_destinationPoint(r.centre, {r.headingDeg * degreesToRadians, halfFt});
        r.primaryNumber = static_cast<std::int32_t>(i % 18) + 1;
        r.secondaryNumber = r.primaryNumber + 18;
        r.primaryDesignator = static_cast<std::int32_t>(i / 18) + 1;
        r.secondaryDesignator = r.primaryDesignator;
        r.primaryStart = FacilityStart{.altitudeFt = 310.0};
        r.secondaryStart = FacilityStart{.altitudeFt = 290.0};
        g_runwayTable.emplace_back(r);
    }
}

struct Probe {
    LaLo position;
    double headingRad;
};

// Positions spread over the airport (most within reach of some runway, a few
// beyond every one), with headings all round.
std::array<Probe, 64> lf_airportProbes() {
    std::array<Probe, 64> probes{};
    for (std::size_t i = 0; i < probes.size(); ++i) {
        const double bearing = static_cast<double>(i) * 0.7;
        const double distanceFt = 250.0 * static_cast<double>(i % 16) * feetPerMetre;
        probes[i] = Probe{gf_destinationPoint(kAirport, {bearing, distanceFt}),
                          static_cast<double>((i * 37) % 360) * degreesToRadians};
    }
    return probes;
}

// Positions 20 km out, near no runway: isNearRunway has to look at all 20.
std::array<Probe, 64> lf_farProbes() {
    std::array<Probe, 64> probes{};
    for (std::size_t i = 0; i < probes.size(); ++i) {
        probes[i] = Probe{gf_destinationPoint(kAirport, {static_cast<double>(i) * 0.098, 20000.0 * feetPerMetre}), 0.0};
    }
    return probes;
}

template <typename Call>
void lf_runOverProbes(benchmark::State& state, const std::array<Probe, 64>& probes, Call call) {
    lf_fillTable();
    gf_runCountingAllocations(state, [&](benchmark::State& st) {
        std::size_t i = 0;
        for (auto _ : st) {
            benchmark::DoNotOptimize(call(probes[i & 63]));
            ++i;
        }
    });
    gf_clearRunwayTable();
}

void BM_FindRunwayMatch20(benchmark::State& state) {
    std::size_t matched = 0;
    std::size_t calls = 0;
    lf_runOverProbes(state, lf_airportProbes(), [&](const Probe& p) {
        const auto m = findRunwayMatch(p.position, p.headingRad, false, runwayCrossFloorM);
        matched += m.has_value();
        ++calls;
        return m;
    });
    if (calls > 0) state.counters["matched"] = static_cast<double>(matched) / static_cast<double>(calls);
}
BENCHMARK(BM_FindRunwayMatch20);

// Baseline: the 20 flat projections alone.
void BM_FlatProjection20(benchmark::State& state) {
    lf_runOverProbes(state, lf_airportProbes(), [](const Probe& p) {
        double sum = 0.0;
        for (const TableRunway& r : g_runwayTable) {
            const RunwayFrame f = gf_runwayFrame(p.position, r);
            sum += f.alongM + f.crossM;
        }
        return sum;
    });
}
BENCHMARK(BM_FlatProjection20);

void BM_IsNearRunway20(benchmark::State& state) {
    lf_runOverProbes(state, lf_farProbes(), [](const Probe& p) { return isNearRunway(p.position); });
}
BENCHMARK(BM_IsNearRunway20);

// Baseline: 20 great-circle distances.
void BM_DistanceNm20(benchmark::State& state) {
    lf_runOverProbes(state, lf_farProbes(), [](const Probe& p) {
        double sum = 0.0;
        for (const TableRunway& r : g_runwayTable) sum += gf_distanceNm(p.position, r.centre);
        return sum;
    });
}
BENCHMARK(BM_DistanceNm20);

}  // namespace
