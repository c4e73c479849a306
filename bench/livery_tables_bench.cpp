// Building the livery tables at start-up from the scanned liveries of a
// collection of AI packages over 600 models and 800 airlines (every fourth
// livery with an operator), the large aircraft database and the AIG regcodes
// file of 36,000 regcodes. The collection grows with every package the user
// adds: rows at 30,000 liveries (a full collection today), 60,000 and 120,000
// (500, 1,000 and 2,000 on small inputs).
//
// Budget: the whole build of 30,000 under 1 s, shown beside a baseline in the
// same run that only reads the same scanned-liveries file, at every size.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include <fmt/format.h>

#include "bench_size.h"
#include "foundation/files.h"
#include "liveries/livery_tables.h"
#include "liveries/scanned_liveries.h"
#include "support/dbase_builder.h"
#include "support/regcodes_builder.h"
#include "support/scanned_liveries_builder.h"
#include "support/scoped_temp_dir.h"

namespace {

const int kLiveries = gf_benchSize(30000, 500);

std::string lf_airline(int i) {
    return fmt::format("{}{}{}", static_cast<char>('A' + i / 676 % 26), static_cast<char>('A' + i / 26 % 26),
                       static_cast<char>('A' + i % 26));
}

// The scanned-liveries file of `count` liveries and the AIG regcodes file in a
// working folder of their own, over the large aircraft database.
class TablesFolder {
public:
    explicit TablesFolder(int count) {
        static const auto dbase = tavo::test::DbaseBuilder::largeProfile(gf_benchSize<std::size_t>(80000, 2000));
        static const auto regcodes = [] {
            auto builder = tavo::test::RegcodesBuilder::largeProfile();
            builder.liveries.resize(std::min(builder.liveries.size(), static_cast<std::size_t>(kLiveries)));
            return builder;
        }();
        tavo::test::loadDbase(dbase);
        tavo::test::ScannedLiveriesBuilder scanned;
        scanned.records.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            // The regcodes file's titles, so that its records merge.
            scanned.livery(lf_airline(i % 800), fmt::format("M{:03}", i % 600),
                           fmt::format("AIG Livery {:05} - Airline {} Boeing 737-800", i, i % 300),
                           i % 3 == 0 ? fmt::format("X-{:05}", i) : std::string(),
                           i % 4 == 0 ? lf_airline(800 + i % 200) : std::string(), i % 7 == 0);
        }
        scanned.writeToOutput();
        regcodes.writeToInput();
    }

private:
    tavo::test::ScopedWorkDir dir_;
};

void BM_ProcessScannedLiveries(benchmark::State& state) {
    TablesFolder folder(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        gf_processScannedLiveries();
        benchmark::DoNotOptimize(liveryIndex.size());
    }
    state.SetComplexityN(state.range(0));
    state.counters["titles"] = static_cast<double>(liveryTitles.size());
    state.counters["regcodes"] = static_cast<double>(regcodeTitles.size());
    state.counters["airlines"] = static_cast<double>(liveryIndex.size());
}
BENCHMARK(BM_ProcessScannedLiveries)
    ->Arg(kLiveries)->Arg(2 * kLiveries)->Arg(4 * kLiveries)->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

// Reading the same file alone, nothing built.
void BM_ReadScannedLiveriesBaseline(benchmark::State& state) {
    TablesFolder folder(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        if (!gf_readScannedLiveries()) state.SkipWithError("not read");
        benchmark::DoNotOptimize(liveryTable.data());
        liveryTable.clear();
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ReadScannedLiveriesBaseline)
    ->Arg(kLiveries)->Arg(2 * kLiveries)->Arg(4 * kLiveries)->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

}  // namespace
