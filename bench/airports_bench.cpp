// Loading the airports list and finding the airport at a position, each
// beside a baseline in the same run doing the same work the plainest way.

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <utility>
#include <variant>
#include <vector>

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include "airports/airports_list.h"
#include "bench_size.h"
#include "foundation/encrypted.h"
#include "foundation/geodesy.h"
#include "support/airports_data.h"
#include "support/scoped_temp_dir.h"

namespace {

// A working folder holding input/airports.enc with the full-size list, for
// as long as a benchmark runs; the list is unloaded on the way out.
class AirportsWorkFolder {
public:
    explicit AirportsWorkFolder(std::vector<tavo::test::AirportDataEntry> entries) {
        tavo::test::writeAirportsEnc(dir_.path(), entries);
        gf_unloadAirportsForTests();
    }
    ~AirportsWorkFolder() {
        gf_unloadAirportsForTests();
        gf_setClosestStandReader(nullptr);
    }

private:
    tavo::test::ScopedWorkDir dir_;
};

// The full list of 24,000 airports (2,000 on small inputs).
std::vector<tavo::test::AirportDataEntry> lf_profile() {
    return tavo::test::airportsProfile(gf_benchSize<std::size_t>(24000, 2000));
}

// Loading the full list of 24,000 airports. Budget: under 200 ms.
void BM_LoadAirports24000(benchmark::State& state) {
    AirportsWorkFolder folder(lf_profile());
    for (auto _ : state) {
        gf_unloadAirportsForTests();
        const AirportsLoadResult result = gf_loadAirports();
        if (!std::holds_alternative<std::size_t>(result)) {
            state.SkipWithError(std::get<std::string>(result).c_str());
            break;
        }
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_LoadAirports24000)->Unit(benchmark::kMillisecond);

// Baseline: decrypting and parsing the same file alone, without building the list.
void BM_DecryptAndParseAirports24000(benchmark::State& state) {
    AirportsWorkFolder folder(lf_profile());
    for (auto _ : state) {
        DecryptResult plain = gf_readEncryptedFile(airportsEncFile, kAirportsEncLimit);
        pugi::xml_document document;
        const auto parsed = document.load_buffer_inplace(plain.buffer.data(), plain.buffer.size());
        if (!plain.ok || !parsed) {
            state.SkipWithError("the file did not decrypt or parse");
            break;
        }
        benchmark::DoNotOptimize(document.first_child());
    }
}
BENCHMARK(BM_DecryptAndParseAirports24000)->Unit(benchmark::kMillisecond);

ClosestStandRead lf_standAtOnce(const IcaoCode& icao, LaLo) {
    return ClosestStand{"A1", icao.chars[3] == 'Z' ? 0.1 : 0.2};
}

constexpr LaLo kSearchedPosition{30.01, 10.0};

// The list with three airports near the searched position whose stands
// decide, loaded, and the stand reader answering at once.
class NearestAirportFolder {
public:
    NearestAirportFolder() : folder_(lf_entries()) {
        loaded_ = std::holds_alternative<std::size_t>(gf_loadAirports());
        gf_setClosestStandReader(&lf_standAtOnce);
    }
    bool loaded() const { return loaded_; }

private:
    static std::vector<tavo::test::AirportDataEntry> lf_entries() {
        auto entries = lf_profile();
        entries.push_back(tavo::test::airportEntry("ZZZA", 30.0, 10.0, 1));
        entries.push_back(tavo::test::airportEntry("ZZZB", 30.02, 10.0, 2));
        entries.push_back(tavo::test::airportEntry("ZZZZ", 30.04, 10.0, 3));
        return entries;
    }
    AirportsWorkFolder folder_;
    bool loaded_ = false;
};

// The airport at a position among 24,000, three candidates whose stands are
// asked for (the stand reader answers at once). Budget: under 2 ms.
void BM_FindNearestAirport(benchmark::State& state) {
    NearestAirportFolder folder;
    if (!folder.loaded()) {
        state.SkipWithError("the list did not load");
        return;
    }
    for (auto _ : state) {
        const auto found = gf_findNearestAirport(kSearchedPosition);
        if (!found || found->icao.chars[3] != 'Z') {
            state.SkipWithError("the closest stand did not decide");
            break;
        }
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(BM_FindNearestAirport)->Unit(benchmark::kMicrosecond);

// Baseline: the same search the plainest way, over a plain copy of the same
// list taken before the loop: one pass for the airports within 5 NM (flat
// earth, the latitude tested first), nearest centre first, and among several the one whose stand is
// strictly closest.
void BM_FindNearestAirportPlainBaseline(benchmark::State& state) {
    NearestAirportFolder folder;
    std::vector<AirportListEntry> list;
    for (const NearbyAirport& airport : gf_airportsWithin(LaLo{0.0, 0.0}, 1e6)) list.push_back(airport.entry);
    if (!folder.loaded() || list.empty()) {
        state.SkipWithError("the list did not load");
        return;
    }
    constexpr double radiusNm = 5.0;
    const LaLo at = kSearchedPosition;
    const double cosLat = std::cos(at.lat * degreesToRadians);
    std::vector<std::pair<double, const AirportListEntry*>> candidates;
    for (auto _ : state) {
        candidates.clear();
        for (const AirportListEntry& airport : list) {
            const double north = (airport.position.lat - at.lat) * 60.0;
            if (std::abs(north) > radiusNm) continue;
            double east = airport.position.lon - at.lon;
            if (east > 180.0) east -= 360.0;
            if (east < -180.0) east += 360.0;
            east *= 60.0 * cosLat;
            const double squared = north * north + east * east;
            if (squared <= radiusNm * radiusNm) candidates.emplace_back(squared, &airport);
        }
        std::sort(candidates.begin(), candidates.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        const AirportListEntry* best = candidates.empty() ? nullptr : candidates.front().second;
        double bestNm = 100.0;
        for (std::size_t i = 0; candidates.size() > 1 && i < candidates.size(); ++i) {
            const ClosestStandRead read = lf_standAtOnce(candidates[i].second->icao, at);
            const auto* stand = std::get_if<ClosestStand>(&read);
            if (stand != nullptr && stand->distanceNm < bestNm) {
                best = candidates[i].second;
                bestNm = stand->distanceNm;
            }
        }
        if (best == nullptr || best->icao.chars[3] != 'Z') {
            state.SkipWithError("the closest stand did not decide");
            break;
        }
        benchmark::DoNotOptimize(best);
    }
}
BENCHMARK(BM_FindNearestAirportPlainBaseline)->Unit(benchmark::kMicrosecond);

}  // namespace
