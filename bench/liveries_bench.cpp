// The aircraft code tables under the feed's load, and reading the aircraft
// database at start-up.
//
// Budgets: mixed look-ups on 4 threads under 1 us each and under 3x the same
// look-ups in plain standard containers without any lock (same run);
// gf_readDbase of the large file (2,000 models, 80,000 records, about 5 MB)
// under 0.5 s, shown beside decrypting and parsing the same file alone.
// Small inputs (the test build): 2,000 records and 2,000 look-ups a thread.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include <pugixml.hpp>

#include "bench_size.h"
#include "foundation/encrypted.h"
#include "liveries/code_tables.h"
#include "liveries/dbase.h"
#include "support/dbase_builder.h"
#include "support/scoped_temp_dir.h"

namespace {

// The large database, encrypted once into a folder that lives for the run.
const std::filesystem::path& lf_largeDbaseFile() {
    static tavo::test::ScopedTempDir dir;
    static const std::filesystem::path file = [] {
        auto path = dir.path() / "dbase.enc";
        tavo::test::DbaseBuilder::largeProfile(gf_benchSize<std::size_t>(80000, 2000)).write(path);
        return path;
    }();
    return file;
}

enum class Op { Airline, Model, Registration, Category, Cargo };

struct Lookup {
    Op op;
    std::string text;
    AcKey key;
};

// 4,096 look-ups as the feed mixes them: codes that are already interned,
// registrations written without their dash, categories and cargo tests.
std::vector<Lookup> lf_makeLookups() {
    std::vector<Lookup> out;
    const auto& records = gf_dbaseRecords();
    const auto& models = gf_aircraftCodeSets().icaoModelCodes;
    const std::vector<std::string> modelList(models.begin(), models.end());
    for (std::size_t i = 0; i < 4096; ++i) {
        const DbaseRecord& record = records[(i * 7919) % records.size()];
        Lookup l{static_cast<Op>(i % 5), {}, record.key};
        switch (l.op) {
            case Op::Airline: l.text = gf_airlineCodeAt(record.key.airline); break;
            case Op::Model: l.text = modelList[(i * 31) % modelList.size()]; break;
            case Op::Registration:
                l.text = record.registration;
                // Half of them as the feed often reports them: without the dash.
                if (i % 2 == 0) l.text.erase(std::remove(l.text.begin(), l.text.end(), '-'), l.text.end());
                break;
            default: break;
        }
        out.push_back(std::move(l));
    }
    return out;
}

struct Fixture {
    std::vector<Lookup> lookups;
    // The baseline: the same data in standard containers, no lock anywhere.
    std::unordered_map<std::string, std::uint16_t> airlines, models;
    std::vector<DbaseRecord> records;
    std::set<std::uint16_t> large, heavy, bizjet, twoProps, rotorcraft, highPerf, cargoModels, cargoAirlines;
};

Fixture& lf_fixture() {
    static Fixture f = [] {
        gf_resetAircraftDatabaseForTest();
        gf_readDbase(lf_largeDbaseFile());
        Fixture x;
        x.lookups = lf_makeLookups();
        for (std::size_t i = 0; i < gf_airlineCodeCount(); ++i)
            x.airlines.emplace(gf_airlineCodeAt(static_cast<std::uint16_t>(i)), static_cast<std::uint16_t>(i));
        for (std::size_t i = 0; i < gf_modelCodeCount(); ++i)
            x.models.emplace(gf_modelCodeAt(static_cast<std::uint16_t>(i)), static_cast<std::uint16_t>(i));
        x.records = gf_dbaseRecords();
        const auto& s = gf_aircraftCodeSets();
        const auto fill = [](std::set<std::uint16_t>& to, const IndexSet& from) {
            for (auto v : from.values()) to.insert(v);
        };
        fill(x.large, s.largeModels);
        fill(x.heavy, s.heavyModels);
        fill(x.bizjet, s.bizjetModels);
        fill(x.twoProps, s.twoPropsModels);
        fill(x.rotorcraft, s.rotorcraftModels);
        fill(x.highPerf, s.highPerfModels);
        fill(x.cargoModels, s.cargoTypeModels);
        fill(x.cargoAirlines, s.cargoOperatorAirlines);
        return x;
    }();
    return f;
}

std::uint64_t lf_tablesLookup(const Lookup& l) {
    switch (l.op) {
        case Op::Airline: return gf_internAirlineCode(l.text);
        case Op::Model: return gf_internModelCode(l.text);
        case Op::Registration: return gf_findRegistration(l.text).has_value();
        case Op::Category: return gf_getModelCategory(l.key.model);
        case Op::Cargo: return gf_isCargo(l.key);
    }
    return 0;
}

std::optional<AcKey> lf_baselineRecord(const Fixture& f, const std::string& r) {
    auto it = std::lower_bound(f.records.begin(), f.records.end(), r,
                               [](const DbaseRecord& x, const std::string& t) { return x.registration < t; });
    if (it == f.records.end() || it->registration != r) return std::nullopt;
    return it->key;
}

std::uint64_t lf_baselineLookup(const Fixture& f, const Lookup& l) {
    switch (l.op) {
        case Op::Airline: return f.airlines.find(l.text)->second;
        case Op::Model: return f.models.find(l.text)->second;
        case Op::Registration: {
            const std::string& r = l.text;
            if (r.size() >= 5 && r.front() != 'N' && r.find('-') == std::string::npos) {
                if (lf_baselineRecord(f, r.substr(0, 2) + '-' + r.substr(2))) return 1;
                if (lf_baselineRecord(f, r.substr(0, 1) + '-' + r.substr(1))) return 1;
            }
            return lf_baselineRecord(f, r).has_value();
        }
        case Op::Category: {
            const auto m = l.key.model;
            if (f.large.contains(m)) return 3;
            if (f.heavy.contains(m)) return 4;
            if (f.bizjet.contains(m)) return 2;
            if (f.twoProps.contains(m)) return 1;
            if (f.rotorcraft.contains(m)) return 6;
            if (f.highPerf.contains(m)) return 5;
            return 0;
        }
        case Op::Cargo: return f.cargoModels.contains(l.key.model) || f.cargoAirlines.contains(l.key.airline);
    }
    return 0;
}

// 250,000 look-ups per thread, 1 million in all.
const benchmark::IterationCount kLookupsPerThread = gf_benchSize<benchmark::IterationCount>(250000, 2000);

void BM_CodeTableMixedLookups(benchmark::State& state) {
    const Fixture& f = lf_fixture();
    std::size_t i = static_cast<std::size_t>(state.thread_index()) * 977;
    for (auto _ : state) {
        benchmark::DoNotOptimize(lf_tablesLookup(f.lookups[i++ & 4095]));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CodeTableMixedLookups)->Threads(4)->Iterations(kLookupsPerThread)->UseRealTime();

void BM_CodeTableMixedLookupsBaseline(benchmark::State& state) {
    const Fixture& f = lf_fixture();
    std::size_t i = static_cast<std::size_t>(state.thread_index()) * 977;
    for (auto _ : state) {
        benchmark::DoNotOptimize(lf_baselineLookup(f, f.lookups[i++ & 4095]));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CodeTableMixedLookupsBaseline)->Threads(4)->Iterations(kLookupsPerThread)->UseRealTime();

void BM_ReadLargeDbase(benchmark::State& state) {
    const auto& file = lf_largeDbaseFile();
    for (auto _ : state) {
        state.PauseTiming();
        gf_resetAircraftDatabaseForTest();
        state.ResumeTiming();
        if (!gf_readDbase(file)) state.SkipWithError("not read");
    }
    state.counters["records"] = static_cast<double>(gf_dbaseRecords().size());
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(file));
}
BENCHMARK(BM_ReadLargeDbase)->Unit(benchmark::kMillisecond);

// Decrypting and parsing the same file, nothing else: what the reader adds
// beside this is its own work.
void BM_DecryptAndParseLargeDbase(benchmark::State& state) {
    const auto& file = lf_largeDbaseFile();
    for (auto _ : state) {
        DecryptResult plain = gf_readEncryptedFile(file, kDbaseEncLimit);
        pugi::xml_document doc;
        if (!plain.ok || !doc.load_buffer_inplace(plain.buffer.data(), plain.buffer.size()))
            state.SkipWithError("not parsed");
        benchmark::DoNotOptimize(doc.first_child());
    }
}
BENCHMARK(BM_DecryptAndParseLargeDbase)->Unit(benchmark::kMillisecond);

}  // namespace
