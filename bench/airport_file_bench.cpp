// Reading airport files' stands: a full source file of 512 stands with
// 20,000 flight options, beside a plain parse of the same text; and reading
// a learned airport file over its source stands, which grows with every
// option the program learns: rows at 10,000 learned options over 32 stands,
// 20,000 and 40,000, each beside the same reading done the plainest way.
// Small inputs (the test build): 64 stands with 500 options, and 200, 400
// and 800 learned options.

#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <pugixml.hpp>

#include "airports/airport_file_format.h"
#include "airports/learned_airport_file.h"
#include "bench_size.h"
#include "foundation/time.h"
#include "support/airport_file_builder.h"
#include "support/scoped_temp_dir.h"

namespace {

const int kStands = gf_benchSize(512, 64);
const int kOptions = gf_benchSize(20000, 500);

std::string fullAirportFile() {
    tavo::test::ApfFile file;
    file.parameters = {{"icao", "EGLL"}, {"airport_name", "Heathrow"}};
    int option = 0;
    for (int i = 0; i < kStands; ++i) {
        tavo::test::ApfStand stand =
            tavo::test::apfStand(fmt::format("Stand {}", i), "GATE_HEAVY", 51.47 + i * 1e-4, -0.46, 90.0, 40.0);
        const int count = kOptions / kStands + (i < kOptions % kStands ? 1 : 0);
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
    if (options != static_cast<std::size_t>(kOptions)) state.SkipWithError("not every option was read");
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

const int kLearnedOptions = gf_benchSize(10000, 200);
constexpr int kLearnedStands = 32;

// A learned file of `options` options spread over 32 stands, every one new to
// its stand (a registration of its own), and the source stands it is read
// over.
struct LearnedFile {
    explicit LearnedFile(int options) {
        tavo::test::ApfFile file;
        file.parameters = {{"airport_name", "Heathrow"}, {"parking_percentage", "40"}};
        for (int s = 0; s < kLearnedStands; ++s) {
            file.stands.push_back(tavo::test::ApfStand{{{"id", fmt::format("S{}", s)}}, {}});
            sourceStands.emplace_back(fmt::format("S{}", s), std::vector<StandOption>{}, 51.47 + s * 1e-4, -0.46, 0.0,
                                      40.0, ParkingType::GATE_HEAVY, false, false, false);
        }
        for (int k = 0; k < options; ++k) {
            auto opt = tavo::test::apfOption(fmt::format("G-{:05}", k), fmt::format("{}", 1 + k % 7),
                                             fmt::format("{}:{}", k % 20, k % 20 + 3), fmt::format("BAW{}", k % 900));
            opt.emplace_back("airl", "BAW");
            opt.emplace_back("type", "A320");
            file.stands[static_cast<std::size_t>(k % kLearnedStands)].options.push_back(std::move(opt));
        }
        file.write(path);
    }

    tavo::test::ScopedTempDir dir;
    const std::filesystem::path path = dir.path() / "EGLL.xml";
    std::vector<Stand> sourceStands;
};

void BM_ReadLearnedAirportFile(benchmark::State& state) {
    const LearnedFile file(static_cast<int>(state.range(0)));
    std::size_t options = 0;
    for (auto _ : state) {
        auto read = gf_readLearnedAirportFile(file.path, "Heathrow", file.sourceStands);
        const auto* data = std::get_if<LearnedAirportData>(&read);
        if (data == nullptr) {
            state.SkipWithError(std::get<std::string>(read).c_str());
            break;
        }
        options = 0;
        for (const Stand& stand : data->stands) options += stand.options.size();
        benchmark::DoNotOptimize(data->stands.data());
    }
    if (options != static_cast<std::size_t>(state.range(0))) state.SkipWithError("not every option was merged");
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ReadLearnedAirportFile)
    ->Arg(kLearnedOptions)->Arg(2 * kLearnedOptions)->Arg(4 * kLearnedOptions)->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

// Baseline: the same reading the plainest way: parse the file, find each
// learned stand among the source stands by name (a hash map), and keep each
// option unless one of the same day, kind, registration and aircraft already
// on that stand shares an hour (one map per stand from that identity to the
// hours taken so far).
void BM_ReadLearnedAirportFilePlainBaseline(benchmark::State& state) {
    const LearnedFile file(static_cast<int>(state.range(0)));
    struct PlainOption {
        std::string registration, airline, type, callsign;
        unsigned day = 0;
        bool soft = false;
        HoursBitset hours;
    };
    std::size_t options = 0;
    for (auto _ : state) {
        pugi::xml_document document;
        if (!document.load_file(file.path.c_str())) {
            state.SkipWithError("not parsed");
            break;
        }
        std::unordered_map<std::string, std::size_t> byName;
        for (std::size_t i = 0; i < file.sourceStands.size(); ++i) byName.emplace(file.sourceStands[i].name, i);
        std::vector<std::vector<PlainOption>> stands(file.sourceStands.size());
        std::vector<std::unordered_map<std::string, HoursBitset>> taken(file.sourceStands.size());
        for (const pugi::xml_node parkpos : document.child("root").child("parkpositions").children("parkpos")) {
            const auto named = byName.find(parkpos.attribute("id").as_string());
            if (named == byName.end()) continue;
            for (const pugi::xml_node opt : parkpos.children("opt")) {
                PlainOption option{opt.attribute("reg").as_string(), opt.attribute("airl").as_string(),
                                   opt.attribute("type").as_string(), opt.attribute("cs").as_string(),
                                   opt.attribute("day").as_uint(0), opt.attribute("soft").as_bool(false),
                                   gf_hours2bitset(opt.attribute("hh").as_string())};
                if (option.hours.none() || option.day < 1 || option.day > 7) continue;
                HoursBitset& hours = taken[named->second][fmt::format("{}|{}|{}|{}|{}", option.day, option.soft,
                                                                       option.registration, option.airline,
                                                                       option.type)];
                if ((hours & option.hours).any()) continue;
                hours |= option.hours;
                stands[named->second].push_back(std::move(option));
            }
        }
        options = 0;
        for (const auto& stand : stands) options += stand.size();
        benchmark::DoNotOptimize(stands.data());
    }
    if (options != static_cast<std::size_t>(state.range(0))) state.SkipWithError("not every option was kept");
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ReadLearnedAirportFilePlainBaseline)
    ->Arg(kLearnedOptions)->Arg(2 * kLearnedOptions)->Arg(4 * kLearnedOptions)->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

}  // namespace
