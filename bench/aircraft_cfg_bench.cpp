// Reading the [fltsim] sections of one aircraft.cfg, as the liveries scan
// does for every file of every AI package: a generated file of 40 sections
// and 600 lines, read from disk each time with the scan's own per-file call
// (charset detection, the read, section numbers checked, model code fixed,
// every section read into its record).
//
// Budget: under 0.4 ms a file, shown beside a baseline in the same run that
// reads the same file the plainest way and collects each section's
// key=value pairs as text.

#include <benchmark/benchmark.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "liveries/aircraft_cfg.h"
#include "liveries/scan_report.h"
#include "support/aircraft_cfg_builder.h"
#include "support/dbase_builder.h"
#include "support/scoped_temp_dir.h"

namespace {

// The file, written once into a folder that lives for the run.
const std::filesystem::path& lf_cfgFile() {
    static const tavo::test::ScopedTempDir dir;
    static const std::filesystem::path file = [] {
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
        const auto path = dir.path() / "Community/pkg/SimObjects/Airplanes/A320/aircraft.cfg";
        std::filesystem::create_directories(path.parent_path());
        cfg.write(path);
        return path;
    }();
    return file;
}

void BM_AircraftCfgSections(benchmark::State& state) {
    tavo::test::resetToSmallDbase();
    const auto& file = lf_cfgFile();
    std::size_t records = 0;
    for (auto _ : state) {
        lf_clearScanMessages();
        const auto liveries = lf_searchLiveriesinFile(1, file);
        records = liveries.size();
        benchmark::DoNotOptimize(liveries.data());
    }
    lf_clearScanMessages();
    if (records != 40) state.SkipWithError("not every section gave its record");
    state.counters["records"] = static_cast<double>(records);
}
BENCHMARK(BM_AircraftCfgSections)->Unit(benchmark::kMicrosecond);

bool lf_startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    return true;
}

std::string_view lf_trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

void BM_AircraftCfgPlainReadBaseline(benchmark::State& state) {
    const auto& file = lf_cfgFile();
    std::size_t sections = 0;
    for (auto _ : state) {
        std::ifstream in(file, std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::vector<std::vector<std::pair<std::string, std::string>>> fltsims;
        bool inFltsim = false;
        for (std::size_t at = 0; at < text.size();) {
            std::size_t end = text.find('\n', at);
            if (end == std::string::npos) end = text.size();
            std::string_view line = lf_trim(std::string_view(text).substr(at, end - at));
            at = end + 1;
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            if (!line.empty() && line.front() == '[') {
                inFltsim = lf_startsWithNoCase(line, "[fltsim.");
                if (inFltsim) fltsims.emplace_back();
                continue;
            }
            const auto equals = line.find('=');
            if (!inFltsim || equals == std::string_view::npos) continue;
            fltsims.back().emplace_back(lf_trim(line.substr(0, equals)), lf_trim(line.substr(equals + 1)));
        }
        sections = fltsims.size();
        benchmark::DoNotOptimize(fltsims.data());
    }
    if (sections != 40) state.SkipWithError("not every section was read");
}
BENCHMARK(BM_AircraftCfgPlainReadBaseline)->Unit(benchmark::kMicrosecond);

}  // namespace
