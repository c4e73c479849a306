// Livery matching of live traffic: 100,000 aircraft of a mixed traffic set
// (registrations, airlines with and without operator, similar models of the
// airline, private and generic aircraft, models of other airlines, similar
// models and category fallbacks) against 25,000 installed liveries, with every
// accepted match logged as the program logs it.
//
// Budget: the 100,000 matches under 1 s, shown beside a baseline in the same
// run that does one airline -> model look-up per aircraft in the same tables.

#include <benchmark/benchmark.h>

#include "bench_size.h"

#include <array>
#include <filesystem>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "engine/records.h"
#include "foundation/log.h"
#include "foundation/random.h"
#include "liveries/code_tables.h"
#include "liveries/livery_matching.h"
#include "liveries/livery_tables.h"
#include "settings/snapshot.h"
#include "support/dbase_builder.h"
#include "support/regcodes_builder.h"
#include "support/scanned_liveries_builder.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

constexpr int kLiveries = 25000;
// The traffic matched per pass (a few thousand in the test build's short run).
const int kTraffic = gf_benchSize(100000, 5000);
constexpr int kAirlinesWithLiveries = 800;  // AAA.. ; the next 400 codes of the database have none
constexpr int kModelsWithLiveries = 600;    // M000..M599; M600..M1199 are similar to them, M1200.. are not

std::string lf_airline(int i) {
    return fmt::format("{}{}{}", static_cast<char>('A' + i / 676 % 26), static_cast<char>('A' + i / 26 % 26),
                       static_cast<char>('A' + i % 26));
}
std::string lf_model(int i) { return fmt::format("M{:03}", i); }

AcInfo lf_aircraft(std::string_view airline, std::string_view model, std::string registration = {},
                   std::string_view operatorCode = {}) {
    AcInfo ac;
    ac.key.airline = gf_internAirlineCode(airline);
    ac.key.operatorIndex = operatorCode.empty() ? 0 : gf_internAirlineCode(operatorCode);
    ac.key.model = gf_internModelCode(model);
    ac.callsign = fmt::format("{}{}", airline.substr(0, 3), 100 + registration.size());
    ac.registration = std::move(registration);
    ac.category = gf_getModelCategory(ac.key.model);
    return ac;
}

// The tables and the traffic, in a working folder of their own with the log
// open in it.
class MatchingWorld {
public:
    MatchingWorld() : previous_(fs::current_path()) {
        tavo::test::DbaseBuilder database = tavo::test::DbaseBuilder::largeProfile();
        for (int j = 0; j < kModelsWithLiveries; ++j) database.similar.push_back({lf_model(j), lf_model(600 + j)});
        tavo::test::loadDbase(database);
        fs::current_path(dir_.path());

        tavo::test::ScannedLiveriesBuilder scanned;
        tavo::test::RegcodesBuilder aig;
        scanned.records.reserve(kLiveries + 16);
        std::vector<std::pair<std::string, int>> plain;  // airline, model of liveries without operator
        std::vector<std::array<std::string, 3>> operated;
        std::vector<std::string> registrations, uniqueRegistrations;
        std::set<int> genericModels;
        for (int i = 0; i < kLiveries; ++i) {
            const int model = (i * 7 + i / kAirlinesWithLiveries) % kModelsWithLiveries;
            const std::string title = fmt::format("AI Livery {:05} - {} {}", i, lf_airline(i % kAirlinesWithLiveries),
                                                  lf_model(model));
            if (i % 40 == 0) {  // a generic livery of the model
                scanned.livery("ZZZ", lf_model(model), title, {}, {}, false);
                genericModels.insert(model);
                continue;
            }
            const std::string airline = lf_airline(i % kAirlinesWithLiveries);
            const std::string operatorCode = i % 4 == 0 ? lf_airline(kAirlinesWithLiveries + i % 200) : std::string();
            std::string registration = i % 3 == 0 ? fmt::format("X-{:05}", i) : std::string();
            if (!registration.empty()) {
                if (i % 30 == 0) {
                    aig.livery(title, registration, "true");
                    uniqueRegistrations.push_back(registration);
                } else {
                    registrations.push_back(registration);
                }
            }
            scanned.livery(airline, lf_model(model), title, registration, operatorCode, i % 7 == 0);
            if (operatorCode.empty()) plain.emplace_back(airline, model);
            else operated.push_back({airline, operatorCode, lf_model(model)});
        }
        // Every category has liveries, so the build switches no option off.
        for (const char* model : {"C172", "F16", "EC35", "C56X"})
            scanned.livery("DLH", model, fmt::format("AI Livery {}", model), {}, {}, false);
        scanned.writeToOutput();
        aig.writeToInput();
        gf_openLogFile();
        gf_processScannedLiveries();

        // Airlines with no livery at all.
        const auto stranger = [](int n) { return lf_airline(kAirlinesWithLiveries + 200 + n % 400); };
        std::vector<int> modelsWithoutGeneric;
        for (int j = 0; j < kModelsWithLiveries; ++j)
            if (!genericModels.contains(j)) modelsWithoutGeneric.push_back(j);
        traffic.reserve(kTraffic);
        for (int n = 0; n < kTraffic; ++n) {
            const std::size_t pick = static_cast<std::size_t>(n) * 7919u;
            switch (n % 9) {
                case 0:  // step 0
                    traffic.push_back(lf_aircraft("DLH", "M000", uniqueRegistrations[pick % uniqueRegistrations.size()]));
                    break;
                case 1:  // step 1
                    traffic.push_back(lf_aircraft("DLH", "M000", registrations[pick % registrations.size()]));
                    break;
                case 2: {  // step 2
                    const auto& [airline, model] = plain[pick % plain.size()];
                    traffic.push_back(lf_aircraft(airline, lf_model(model)));
                    break;
                }
                case 3: {  // step 2, operator-aware
                    const auto& [airline, operatorCode, model] = operated[pick % operated.size()];
                    traffic.push_back(lf_aircraft(airline, model, {}, operatorCode));
                    break;
                }
                case 4: {  // step 3
                    const auto& [airline, model] = plain[pick % plain.size()];
                    traffic.push_back(lf_aircraft(airline, lf_model(600 + model)));
                    break;
                }
                case 5: {  // step 4
                    const int model = *std::next(genericModels.begin(), static_cast<long>(pick % genericModels.size()));
                    traffic.push_back(lf_aircraft(n % 2 == 0 ? "PVT" : stranger(n), lf_model(model)));
                    break;
                }
                case 6:  // step 5
                    traffic.push_back(lf_aircraft(stranger(n), lf_model(modelsWithoutGeneric[pick % modelsWithoutGeneric.size()])));
                    break;
                case 7:  // step 6
                    traffic.push_back(lf_aircraft(stranger(n), lf_model(600 + static_cast<int>(pick % 600))));
                    break;
                default:  // step 7
                    traffic.push_back(lf_aircraft(stranger(n), lf_model(1200 + static_cast<int>(pick % 800))));
                    break;
            }
        }
        gf_updateSettings([](SettingsSnapshot& s) {
            s.MATCHING_DEPTH = 7;
            s.RANDOM = 1;
        });
    }
    ~MatchingWorld() {
        gf_logger().close();
        fs::current_path(previous_);
    }

    std::vector<AcInfo> traffic;

private:
    tavo::test::ScopedTempDir dir_;
    fs::path previous_;
};

std::array<std::int32_t, 9> lf_counts() {
    std::array<std::int32_t, 9> values{};
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = matchStepCounts[i].load();
    return values;
}

void BM_MatchLiveryLive(benchmark::State& state) {
    MatchingWorld world;
    threadRandomEngine().engine.seed(151);
    const auto before = lf_counts();
    std::size_t unmatched = 0;
    for (auto _ : state) {
        for (AcInfo& ac : world.traffic) {
            gf_matchLiveryLive(ac, 5000.0);
            unmatched += ac.liveryTitle.empty() ? 1 : 0;
        }
    }
    const auto after = lf_counts();
    const double rounds = static_cast<double>(state.iterations());
    for (std::size_t i = 0; i < after.size(); ++i)
        state.counters[fmt::format("step{}", i)] = (after[i] - before[i]) / rounds;
    state.counters["unmatched"] = static_cast<double>(unmatched) / rounds;
}
BENCHMARK(BM_MatchLiveryLive)->Unit(benchmark::kMillisecond);

// One airline -> model look-up per aircraft, the first title when there is one.
void BM_AirlineModelLookupBaseline(benchmark::State& state) {
    MatchingWorld world;
    std::size_t found = 0;
    for (auto _ : state) {
        for (AcInfo& ac : world.traffic) {
            const auto& byAirline = airlineModelTitles[ac.key.cargo != 0 ? Cargo : Pax];
            const auto models = byAirline.find(ac.key.airline);
            if (models == byAirline.end()) continue;
            const auto titles = models->second.find(ac.key.model);
            if (titles == models->second.end()) continue;
            ac.liveryTitle = titles->second.front();
            ++found;
        }
        benchmark::DoNotOptimize(found);
    }
    state.counters["found"] = static_cast<double>(found) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_AirlineModelLookupBaseline)->Unit(benchmark::kMillisecond);

}  // namespace
