// Finding a database registration in a livery title, as the liveries scan
// does for every livery without an airline: the search by the title's own
// pieces beside the plain walk of every record in registration order, on the
// same titles and the same database in the same run.
//
// Two databases of 80,000 records: the large profile, whose registrations all
// have six characters or more, and the same with 8,000 of its N registrations
// of five characters ("N100A"), as a real database holds them.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>

#include "bench_size.h"
#include "liveries/dbase.h"
#include "support/dbase_builder.h"
#include "support/temp_dir.h"

namespace {

constexpr std::size_t kShortRegistrations = 8000;

std::string lf_shortRegistration(std::size_t i) {
    return fmt::format("N{}{}", 100 + i / 26, static_cast<char>('A' + i % 26));
}

// Reads the database of the profile asked for, unless it is the one read last.
bool lf_readProfile(bool withShortRegistrations) {
    static tavo::test::ScopedTempDir dir;
    static int loaded = -1;
    if (loaded == static_cast<int>(withShortRegistrations)) return true;
    tavo::test::DbaseBuilder builder = tavo::test::DbaseBuilder::largeProfile(gf_benchSize<std::size_t>(80000, 20000));
    if (withShortRegistrations) {
        std::size_t shortened = 0;
        for (auto& record : builder.records) {
            if (shortened == kShortRegistrations) break;
            if (record.r && record.r->size() == 6 && record.r->front() == 'N')
                record.r = lf_shortRegistration(shortened++);
        }
    }
    const std::filesystem::path file = dir.path() / "dbase.enc";
    builder.write(file);
    gf_resetAircraftDatabaseForTest();
    if (!gf_readDbase(file)) return false;
    loaded = static_cast<int>(withShortRegistrations);
    return true;
}

// 1,000 titles as packages name their liveries: one in ten holds a short
// registration of the database, one in ten a long one, the rest none.
const std::vector<std::string>& lf_titles() {
    static const std::vector<std::string> titles = [] {
        static const char* makers[] = {"Airbus A320-214", "Boeing 737-800", "Embraer E190", "Cessna 172 Skyhawk",
                                       "Bombardier Dash 8 Q400"};
        static const char* liveries[] = {"Lufthansa", "American Airlines", "private", "KLM Cityhopper 2021",
                                         "Air Canada Express (new colours)"};
        std::vector<std::string> out;
        const std::size_t count = gf_benchSize<std::size_t>(1000, 50);
        for (std::size_t i = 0; i < count; ++i) {
            std::string title = fmt::format("{} {}", makers[i % 5], liveries[i / 5 % 5]);
            if (i % 10 == 3) title += " " + lf_shortRegistration(i * 7 % kShortRegistrations);
            if (i % 10 == 7) title += fmt::format(" D-A{}{}", static_cast<char>('A' + i % 26), "BCD");
            out.push_back(std::move(title));
        }
        return out;
    }();
    return titles;
}

// What the search did before: every record, in registration order.
std::optional<std::string> lf_walkEveryRecord(std::string_view text) {
    for (const DbaseRecord& record : gf_dbaseRecords())
        if (record.registration.size() < 6 && text.find(record.registration) != std::string_view::npos)
            return record.registration;
    return std::nullopt;
}

template <class Find>
void lf_run(benchmark::State& state, Find find) {
    if (!lf_readProfile(state.range(0) != 0)) {
        state.SkipWithError("database not read");
        return;
    }
    const auto& titles = lf_titles();
    std::size_t found = 0;
    for (auto _ : state) {
        found = 0;
        for (const std::string& title : titles) found += find(title).has_value();
        benchmark::DoNotOptimize(found);
    }
    state.counters["found"] = static_cast<double>(found);
    state.counters["per_title"] = benchmark::Counter(
        static_cast<double>(titles.size()),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_RegistrationInText(benchmark::State& state) { lf_run(state, gf_findRegistrationInText); }
BENCHMARK(BM_RegistrationInText)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_RegistrationInTextWalkBaseline(benchmark::State& state) { lf_run(state, lf_walkEveryRecord); }
BENCHMARK(BM_RegistrationInTextWalkBaseline)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
