// Reading an airport file's stands: a full file of 512 stands with 20,000
// flight options, beside a plain parse of the same text.

#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <pugixml.hpp>

#include "airports/airport_file_format.h"
#include "support/airport_file_builder.h"

namespace {

std::string fullAirportFile() {
    tavo::test::ApfFile file;
    file.parameters = {{"icao", "EGLL"}, {"airport_name", "Heathrow"}};
    int option = 0;
    for (int i = 0; i < 512; ++i) {
        tavo::test::ApfStand stand =
            tavo::test::apfStand(fmt::format("Stand {}", i), "GATE_HEAVY", 51.47 + i * 1e-4, -0.46, 90.0, 40.0);
        const int count = 20000 / 512 + (i < 20000 % 512 ? 1 : 0);
        for (int j = 0; j < count; ++j, ++option) {
            auto opt = tavo::test::apfOption(fmt::format("G-{:04}", option % 3000), fmt::format("{}", 1 + j % 7),
                                             fmt::format("{}:{}", j % 40, j % 40 + 5), fmt::format("BAW{}", option));
            opt.emplace_back("airl", "BAW");
            opt.emplace_back("type", "A320");
            stand.options.push_back(std::move(opt));
        }
        file.stands.push_back(std::move(stand));
    }
    return file.text();
}

// Parse and read into stands. Budget: under 30 ms.
void BM_ReadAirportFile512Stands20000Options(benchmark::State& state) {
    const std::string text = fullAirportFile();
    std::size_t options = 0;
    for (auto _ : state) {
        pugi::xml_document document;
        document.load_buffer(text.data(), text.size());
        std::vector<Stand> stands;
        lf_readParkPositions(document, stands);
        options = 0;
        for (const Stand& stand : stands) options += stand.options.size();
        benchmark::DoNotOptimize(stands.data());
    }
    if (options != 20000) state.SkipWithError("not every option was read");
}
BENCHMARK(BM_ReadAirportFile512Stands20000Options)->Unit(benchmark::kMillisecond);

// Baseline: the pugixml parse of the same text alone.
void BM_ParseAirportFile512Stands20000Options(benchmark::State& state) {
    const std::string text = fullAirportFile();
    for (auto _ : state) {
        pugi::xml_document document;
        benchmark::DoNotOptimize(document.load_buffer(text.data(), text.size()));
    }
}
BENCHMARK(BM_ParseAirportFile512Stands20000Options)->Unit(benchmark::kMillisecond);

}  // namespace
