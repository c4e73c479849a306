// Writing the scanned-liveries file at the end of a liveries scan and reading
// it back at start-up. The file grows with every package the user adds: rows
// at 30,000 records (a full collection today), 60,000 and 120,000 (500, 1,000
// and 2,000 on small inputs).
//
// Budget: the writer (build the document, save it to the temporary file,
// validate it, replace the file with write-through) and the reader (parse,
// intern the codes, sort) together under 0.5 s for 30,000 records; shown
// beside a baseline in the same run that saves and parses the same document
// with pugixml alone, at every size.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include <pugixml.hpp>

#include "bench_size.h"
#include "foundation/files.h"
#include "foundation/xml.h"
#include "liveries/code_tables.h"
#include "liveries/scanned_liveries.h"
#include "settings/snapshot.h"
#include "support/scanned_liveries_builder.h"
#include "support/scoped_temp_dir.h"

namespace fs = std::filesystem;

namespace {

const int kRecords = gf_benchSize(30000, 500);

// The records as a scan leaves them, with the code indexes of the tables as
// they are now (other benchmarks may have rebuilt the tables).
void lf_fillScanResult(const tavo::test::ScannedLiveriesBuilder& builder) {
    scannedLiveries.clear();
    scannedLiveries.reserve(builder.records.size());
    for (const auto& r : builder.records) {
        AcKey key;
        key.airline = gf_internAirlineCode(*r.a);
        key.operatorIndex = r.o ? gf_internAirlineCode(*r.o) : 0;
        key.model = gf_internModelCode(*r.m);
        key.cargo = r.c ? 1 : 0;
        scannedLiveries.push_back(ScannedLivery{*r.t, r.r.value_or(""), key, 1});
    }
}

// A temporary working folder with output/ in it for the length of one
// benchmark (the program's paths are relative), and the benchmark's records.
struct WorkingFolder {
    explicit WorkingFolder(const benchmark::State& state)
        : builder(tavo::test::ScannedLiveriesBuilder::generated(static_cast<std::size_t>(state.range(0)))) {
        fs::create_directories(outputDir);
    }

    tavo::test::ScopedWorkDir dir;
    const tavo::test::ScannedLiveriesBuilder builder;
};

void BM_WriteAndReadScannedLiveries(benchmark::State& state) {
    WorkingFolder folder(state);
    lf_fillScanResult(folder.builder);
    for (auto _ : state) {
        if (!gf_writeScannedLiveries()) state.SkipWithError("not written");
        if (!gf_readScannedLiveries()) state.SkipWithError("not read");
        benchmark::DoNotOptimize(liveryTable.data());
    }
    if (liveryTable.size() != folder.builder.records.size()) state.SkipWithError("records lost on the way");
    state.SetComplexityN(state.range(0));
    state.counters["records"] = static_cast<double>(liveryTable.size());
    state.counters["bytes"] = static_cast<double>(fs::file_size(gf_liveriesScannedFilePath()));
    scannedLiveries.clear();
    liveryTable.clear();
}
BENCHMARK(BM_WriteAndReadScannedLiveries)
    ->Arg(kRecords)->Arg(2 * kRecords)->Arg(4 * kRecords)->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

// pugixml alone: save the same document and parse it again, nothing else.
void BM_SaveAndParseScannedLiveriesBaseline(benchmark::State& state) {
    WorkingFolder folder(state);
    const fs::path path = gf_liveriesScannedFilePath();
    folder.builder.write(path);
    pugi::xml_document document;
    if (!document.load_file(path.c_str())) state.SkipWithError("not parsed");
    for (auto _ : state) {
        if (!document.save_file(path.c_str(), "  ", pugi::format_indent, pugi::encoding_utf8))
            state.SkipWithError("not saved");
        pugi::xml_document parsed;
        if (!parsed.load_file(path.c_str())) state.SkipWithError("not parsed");
        benchmark::DoNotOptimize(parsed.first_child());
    }
    state.SetComplexityN(state.range(0));
    state.counters["bytes"] = static_cast<double>(fs::file_size(path));
}
BENCHMARK(BM_SaveAndParseScannedLiveriesBaseline)
    ->Arg(kRecords)->Arg(2 * kRecords)->Arg(4 * kRecords)->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

}  // namespace
