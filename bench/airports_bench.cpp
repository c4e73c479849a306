#include <filesystem>
#include <variant>
#include <vector>

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include "airports/airports_list.h"
#include "foundation/encrypted.h"
#include "support/airports_data.h"
#include "support/temp_dir.h"

namespace {

// A working folder holding input/airports.enc with the full-size list, for
// as long as a benchmark runs; the list is unloaded on the way out.
class AirportsWorkFolder {
public:
    explicit AirportsWorkFolder(std::vector<tavo::test::AirportDataEntry> entries) {
        tavo::test::writeAirportsEnc(dir_.path(), entries);
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_.path());
        gf_unloadAirportsForTests();
    }
    ~AirportsWorkFolder() {
        gf_unloadAirportsForTests();
        gf_setClosestStandReader(nullptr);
        std::filesystem::current_path(previous_);
    }

private:
    tavo::test::ScopedTempDir dir_;
    std::filesystem::path previous_;
};

// Loading the full list of 24,000 airports. Budget: under 200 ms.
void BM_LoadAirports24000(benchmark::State& state) {
    AirportsWorkFolder folder(tavo::test::airportsProfile(24000));
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
    AirportsWorkFolder folder(tavo::test::airportsProfile(24000));
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

// The airport at a position among 24,000, three candidates whose stands are
// asked for (the stand reader answers at once). Budget: under 2 ms.
void BM_FindNearestAirport(benchmark::State& state) {
    auto entries = tavo::test::airportsProfile(24000);
    entries.push_back(tavo::test::airportEntry("ZZZA", 30.0, 10.0, 1));
    entries.push_back(tavo::test::airportEntry("ZZZB", 30.02, 10.0, 2));
    entries.push_back(tavo::test::airportEntry("ZZZZ", 30.04, 10.0, 3));
    AirportsWorkFolder folder(std::move(entries));
    if (!std::holds_alternative<std::size_t>(gf_loadAirports())) {
        state.SkipWithError("the list did not load");
        return;
    }
    gf_setClosestStandReader(&lf_standAtOnce);
    for (auto _ : state) {
        const auto found = gf_findNearestAirport(LaLo{30.01, 10.0});
        if (!found || found->icao.chars[3] != 'Z') {
            state.SkipWithError("the closest stand did not decide");
            break;
        }
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(BM_FindNearestAirport)->Unit(benchmark::kMicrosecond);

// Baseline: copying a list of 24,000 entries alone.
void BM_CopyAirportsList(benchmark::State& state) {
    const std::vector<AirportListEntry> list(24000, AirportListEntry{IcaoCode("EGLL"), IataCode("LHR"), {51.5, -0.46}, 83});
    for (auto _ : state) {
        std::vector<AirportListEntry> copy = list;
        benchmark::DoNotOptimize(copy.data());
    }
}
BENCHMARK(BM_CopyAirportsList)->Unit(benchmark::kMicrosecond);

}  // namespace
