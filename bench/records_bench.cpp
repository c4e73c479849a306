// Record building and parked-list preparation at the rates the feed needs.

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "feed/handover.h"
#include "feed/records.h"
#include "settings/snapshot.h"

namespace {

struct FieldTexts {
    std::string callsign, type, registration, origin, destination, airline;
};

// 1,000 in-range aircraft of varied identity around 52N 4E, the way the RT
// App line reader hands them over (views into texts it owns).
std::vector<TrafficFields> lf_makeFields(std::vector<FieldTexts>& texts) {
    static const char* types[] = {"B738", "A320", "B77W", "E190", "DH8D", "A20N", "B789", "CRJ9"};
    static const char* airlines[] = {"KLM", "DLH", "BAW", "AFR", "EZY", "RYR", "UAL", ""};
    static const char* airports[] = {"AMS", "FRA", "LHR", "CDG", "null", "JFK", "", "MAD"};
    texts.resize(1000);
    std::vector<TrafficFields> out(1000);
    for (int i = 0; i < 1000; ++i) {
        auto& t = texts[static_cast<std::size_t>(i)];
        t.airline = airlines[i % 8];
        t.callsign = fmt::format("{}{}", t.airline.empty() ? "PVT" : t.airline, 100 + i);
        t.type = types[i % 8];
        t.registration = fmt::format("PH-{:03}", i);
        t.origin = airports[i % 8];
        t.destination = airports[(i + 3) % 8];
        auto& f = out[static_cast<std::size_t>(i)];
        f.time = 1704067200.0 + i * 0.01;
        f.hexid = 0x400000 + static_cast<std::uint32_t>(i);
        f.position = LaLo{52.0 + (i % 40) * 0.01, 4.0 + (i / 40) * 0.01};
        f.altitude = 1000.0 + i * 30.0;
        f.verticalSpeed = 0.0;
        f.track = i % 360;
        f.groundSpeed = 200.0 + i % 200;
        f.trueHeading = i % 360;
        f.roll = i % 20 - 10;
        f.trueAirspeed = i % 3 == 0 ? -1.0 : 250.0;
        f.callsign = t.callsign;
        f.aircraftType = t.type;
        f.registration = t.registration;
        f.origin = t.origin;
        f.destination = t.destination;
        f.dataSource = i % 2 ? "adsb_icao" : "mlat";
        f.emitterCategory = "A3";
        f.airline = t.airline;
    }
    return out;
}

void BM_BuildTrafficRecords(benchmark::State& state) {
    settingsSnapshot.store(std::make_shared<const SettingsSnapshot>());
    std::vector<FieldTexts> texts;
    const auto fields = lf_makeFields(texts);
    OwnPositionSnapshot own;
    own.latitude = 52.2;
    own.longitude = 4.1;
    own.cosLatitude = std::cos(52.2 * 3.14159265358979323846 / 180.0);
    own.qnh = 1020;
    own.settings = settingsSnapshot.load();
    own.collectHandOver = true;
    own.handOverBeforeFilters = true;
    std::vector<TrafficRecord> batch;
    batch.reserve(1000);
    std::size_t built = 0;
    for (auto _ : state) {
        batch.clear();
        for (const auto& f : fields) {
            auto result = gf_buildTrafficRecord(f, own);
            if (result.record) batch.push_back(std::move(*result.record));
        }
        built = batch.size();
        benchmark::DoNotOptimize(batch.data());
    }
    state.counters["records"] = static_cast<double>(built);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 1000);
}
BENCHMARK(BM_BuildTrafficRecords)->Unit(benchmark::kMicrosecond);

void BM_PrepareParkedList(benchmark::State& state) {
    auto settings = std::make_shared<SettingsSnapshot>();
    settings->AUTO_PARK = 0;
    settings->RT_PARKTRAFFIC_ONLY = 0;
    settings->MAX_FIT = 40;
    std::vector<ParkedRecord> received(1000);
    for (int i = 0; i < 1000; ++i) {
        auto& r = received[static_cast<std::size_t>(i)];
        r.identity.callsign = fmt::format("KLM{}", i % 700);   // some callsigns twice
        r.standName = fmt::format("S{}", i % 800);             // some stands twice
        r.slot = (i * 7) % 48;
        r.hexid = 0x400000 + static_cast<std::uint32_t>(i);
    }
    std::vector<ParkedRecord> list;
    for (auto _ : state) {
        state.PauseTiming();
        list = received;
        state.ResumeTiming();
        gf_prepareParkedList(list, 20, *settings);
        benchmark::DoNotOptimize(list.data());
    }
    state.counters["kept"] = static_cast<double>(list.size());
}
BENCHMARK(BM_PrepareParkedList)->Unit(benchmark::kMicrosecond);

}  // namespace
