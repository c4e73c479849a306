// Building the livery tables at start-up from a full collection of AI
// packages: 30,000 scanned liveries over 600 models and 800 airlines (every
// fourth with an operator), with the AIG regcodes file of 36,000 regcodes.
//
// Budget: the whole build under 1 s, shown beside a baseline in the same run
// that only reads the same scanned-liveries file.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include <fmt/format.h>

#include "foundation/files.h"
#include "liveries/livery_tables.h"
#include "liveries/scanned_liveries.h"
#include "support/dbase_builder.h"
#include "support/regcodes_builder.h"
#include "support/scanned_liveries_builder.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

constexpr int kLiveries = 30000;

std::string lf_airline(int i) {
    return fmt::format("{}{}{}", static_cast<char>('A' + i / 676 % 26), static_cast<char>('A' + i / 26 % 26),
                       static_cast<char>('A' + i % 26));
}

// The scanned-liveries file and the AIG regcodes file in a working folder of
// their own, over the large aircraft database.
class TablesFolder {
public:
    TablesFolder() : previous_(fs::current_path()) {
        tavo::test::loadDbase(tavo::test::DbaseBuilder::largeProfile());
        fs::current_path(dir_.path());
        tavo::test::ScannedLiveriesBuilder scanned;
        scanned.records.reserve(kLiveries);
        for (int i = 0; i < kLiveries; ++i) {
            // The regcodes file's titles, so that its records merge.
            scanned.livery(lf_airline(i % 800), fmt::format("M{:03}", i % 600),
                           fmt::format("AIG Livery {:05} - Airline {} Boeing 737-800", i, i % 300),
                           i % 3 == 0 ? fmt::format("X-{:05}", i) : std::string(),
                           i % 4 == 0 ? lf_airline(800 + i % 200) : std::string(), i % 7 == 0);
        }
        scanned.writeToOutput();
        tavo::test::RegcodesBuilder::largeProfile().writeToInput();
    }
    ~TablesFolder() { fs::current_path(previous_); }

private:
    tavo::test::ScopedTempDir dir_;
    fs::path previous_;
};

void BM_ProcessScannedLiveries(benchmark::State& state) {
    TablesFolder folder;
    for (auto _ : state) {
        gf_processScannedLiveries();
        benchmark::DoNotOptimize(liveryIndex.size());
    }
    state.counters["titles"] = static_cast<double>(liveryTitles.size());
    state.counters["regcodes"] = static_cast<double>(regcodeTitles.size());
    state.counters["airlines"] = static_cast<double>(liveryIndex.size());
}
BENCHMARK(BM_ProcessScannedLiveries)->Unit(benchmark::kMillisecond);

// Reading the same file alone, nothing built.
void BM_ReadScannedLiveriesBaseline(benchmark::State& state) {
    TablesFolder folder;
    for (auto _ : state) {
        if (!gf_readScannedLiveries()) state.SkipWithError("not read");
        benchmark::DoNotOptimize(liveryTable.data());
        liveryTable.clear();
    }
}
BENCHMARK(BM_ReadScannedLiveriesBaseline)->Unit(benchmark::kMillisecond);

}  // namespace
