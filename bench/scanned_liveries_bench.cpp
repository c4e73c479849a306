// Writing the scanned-liveries file at the end of a liveries scan and reading
// it back at start-up, with a full collection of AI packages: 30,000 records.
//
// Budget: the writer (build the document, save it to the temporary file,
// validate it, replace the file with write-through) and the reader (parse,
// intern the codes, sort) together under 0.5 s; shown beside a baseline in
// the same run that saves and parses the same document with pugixml alone.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include <pugixml.hpp>

#include "foundation/files.h"
#include "foundation/xml.h"
#include "liveries/code_tables.h"
#include "liveries/scanned_liveries.h"
#include "settings/snapshot.h"
#include "support/scanned_liveries_builder.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kRecords = 30000;

const tavo::test::ScannedLiveriesBuilder& lf_builder() {
    static const auto builder = tavo::test::ScannedLiveriesBuilder::generated(kRecords);
    return builder;
}

// The records as a scan leaves them, with the code indexes of the tables as
// they are now (other benchmarks may have rebuilt the tables).
void lf_fillScanResult() {
    scannedLiveries.clear();
    scannedLiveries.reserve(kRecords);
    for (const auto& r : lf_builder().records) {
        AcKey key;
        key.airline = gf_internAirlineCode(*r.a);
        key.operatorIndex = r.o ? gf_internAirlineCode(*r.o) : 0;
        key.model = gf_internModelCode(*r.m);
        key.cargo = r.c ? 1 : 0;
        scannedLiveries.push_back(ScannedLivery{*r.t, r.r.value_or(""), key, 1});
    }
}

// A temporary working folder with output/ in it for the length of one
// benchmark: the program's paths are relative.
class WorkingFolder {
public:
    WorkingFolder() : previous_(fs::current_path()) {
        fs::current_path(dir_.path());
        fs::create_directories(outputDir);
    }
    ~WorkingFolder() { fs::current_path(previous_); }

private:
    tavo::test::ScopedTempDir dir_;
    fs::path previous_;
};

void BM_WriteAndReadScannedLiveries(benchmark::State& state) {
    WorkingFolder folder;
    lf_fillScanResult();
    for (auto _ : state) {
        if (!gf_writeScannedLiveries()) state.SkipWithError("not written");
        if (!gf_readScannedLiveries()) state.SkipWithError("not read");
        benchmark::DoNotOptimize(liveryTable.data());
    }
    state.counters["records"] = static_cast<double>(liveryTable.size());
    state.counters["bytes"] = static_cast<double>(fs::file_size(gf_liveriesScannedFilePath()));
    scannedLiveries.clear();
    liveryTable.clear();
}
BENCHMARK(BM_WriteAndReadScannedLiveries)->Unit(benchmark::kMillisecond);

// pugixml alone: save the same document and parse it again, nothing else.
void BM_SaveAndParseScannedLiveriesBaseline(benchmark::State& state) {
    WorkingFolder folder;
    const fs::path path = gf_liveriesScannedFilePath();
    lf_builder().write(path);
    pugi::xml_document document;
    if (!document.load_file(path.c_str())) state.SkipWithError("not parsed");
    for (auto _ : state) {
        if (!document.save_file(path.c_str(), "  ", pugi::format_indent, pugi::encoding_utf8))
            state.SkipWithError("not saved");
        pugi::xml_document parsed;
        if (!parsed.load_file(path.c_str())) state.SkipWithError("not parsed");
        benchmark::DoNotOptimize(parsed.first_child());
    }
    state.counters["bytes"] = static_cast<double>(fs::file_size(path));
}
BENCHMARK(BM_SaveAndParseScannedLiveriesBaseline)->Unit(benchmark::kMillisecond);

}  // namespace
