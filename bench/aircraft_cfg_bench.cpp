// Reading the [fltsim] sections of one aircraft.cfg, as the liveries scan
// does for every file of every AI package: a generated file of 40 sections
// and 600 lines, already in memory.
//
// Budget: under 0.4 ms for the sections (lines split, section numbers
// checked, model code fixed, every section read into its record), shown
// beside a baseline in the same run that only splits the same text into
// lines.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "foundation/textfile.h"
#include "liveries/aircraft_cfg.h"
#include "liveries/dbase.h"
#include "liveries/scan_report.h"
#include "support/aircraft_cfg_builder.h"
#include "support/dbase_builder.h"
#include "support/temp_dir.h"

namespace {

const std::string& lf_cfgText() {
    static const std::string text = [] {
        tavo::test::AircraftCfgBuilder cfg;
        cfg.version().general({{"icao_type_designator", "A320"}, {"editable", "1"}, {"performance", "none"}});
        const char* airlines[] = {"DLH", "KLM", "BAW", "AFR", "RYR"};
        for (int i = 0; i < 40; ++i) {
            cfg.fltsim(i, {{"title", "\"Airbus A320 " + std::string(airlines[i % 5]) + " livery " + std::to_string(i) + "\""},
                           {"model", ""},
                           {"panel", ""},
                           {"sound", ""},
                           {"texture", airlines[i % 5]},
                           {"kb_checklists", ""},
                           {"kb_reference", ""},
                           {"atc_id", "D-A" + std::to_string(1000 + i)},
                           {"atc_airline", "Lufthansa"},
                           {"atc_flight_number", std::to_string(400 + i)},
                           {"icao_airline", airlines[i % 5]},
                           {"atc_parking_types", "GATE,RAMP"},
                           {"ui_variation", "\"livery " + std::to_string(i) + "\""}});
        }
        while (cfg.lines.size() < 600) cfg.line("; padding comment line of the package's own notes");
        return cfg.text();
    }();
    return text;
}

void lf_loadDbaseOnce() {
    static const bool loaded = [] {
        const tavo::test::ScopedTempDir dir;
        const auto path = dir.path() / "dbase.enc";
        tavo::test::DbaseBuilder::smallProfile().write(path);
        return gf_readDbase(path);
    }();
    (void)loaded;
}

void BM_AircraftCfgSections(benchmark::State& state) {
    lf_loadDbaseOnce();
    const std::filesystem::path file = "Community/pkg/SimObjects/Airplanes/A320/aircraft.cfg";
    std::size_t records = 0;
    for (auto _ : state) {
        lf_clearScanMessages();
        std::vector<std::string> lines;
        lines.reserve(4096);
        gf_splitLines(lf_cfgText(), lines);
        if (!lf_collectFltSimSections(lines, file)) state.SkipWithError("sections refused");
        const std::string model = lf_fixModelCode(file, lines);
        const auto liveries = lf_processFltSimSections(1, lines, model, file, file.parent_path());
        records = liveries.size();
        benchmark::DoNotOptimize(liveries.data());
    }
    lf_clearScanMessages();
    if (records != 40) state.SkipWithError("not every section gave its record");
    state.counters["records"] = static_cast<double>(records);
}
BENCHMARK(BM_AircraftCfgSections)->Unit(benchmark::kMicrosecond);

void BM_AircraftCfgSplitLinesBaseline(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<std::string> lines;
        lines.reserve(4096);
        gf_splitLines(lf_cfgText(), lines);
        benchmark::DoNotOptimize(lines.data());
    }
}
BENCHMARK(BM_AircraftCfgSplitLinesBaseline)->Unit(benchmark::kMicrosecond);

}  // namespace
