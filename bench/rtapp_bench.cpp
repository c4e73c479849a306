// RT App traffic lines into records: split, parse the fields, build the record
// and collect it into the batch, as the traffic reader does per datagram.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "bench_size.h"
#include "feed/rtapp/traffic_reader.h"
#include "settings/snapshot.h"
#include "support/dbase_builder.h"
#include "support/rtapp_peer.h"

namespace {

// 1,000 in-range airborne aircraft of varied identity around 52N 4E.
std::vector<std::string> lf_makeLines() {
    static const char* types[] = {"B738", "A320", "B77W", "E190", "DH8D", "A20N", "B789", "CRJ9"};
    static const char* airlines[] = {"KLM", "DLH", "BAW", "AFR", "EZY", "RYR", "UAL", ""};
    static const char* airports[] = {"AMS", "FRA", "LHR", "CDG", "null", "JFK", "", "MAD"};
    std::vector<std::string> lines;
    for (int i = 0; i < 1000; ++i) {
        auto f = tavo::test::rtTrafficFields(0x400000 + static_cast<std::uint32_t>(i), 52.0 + (i % 40) * 0.01,
                                             4.0 + (i / 40) * 0.01, 1704067200.0 + i * 0.01);
        f[4] = fmt::format("{}", 1000 + i * 30);
        f[7] = fmt::format("{}", i % 360);
        f[8] = fmt::format("{:.1f}", 200.0 + i % 200);
        f[9] = fmt::format("{}{}", airlines[i % 8][0] ? airlines[i % 8] : "PVT", 100 + i);
        f[10] = types[i % 8];
        f[11] = fmt::format("PH-{:03}", i);
        f[12] = airports[i % 8];
        f[13] = airports[(i + 3) % 8];
        f[17] = i % 2 ? "adsb_icao" : "mlat";
        f[23] = fmt::format("{:.1f}", i % 20 - 10.0);
        f[25] = fmt::format("{:.1f}", (i % 359) + 1.0);
        f[43] = airlines[i % 8];
        lines.push_back(tavo::test::rtJoin(f));
    }
    return lines;
}

// One line per iteration; every 1,000 lines the batch is closed with
// "RTTFC_EOT" and handed to a poster that only empties it.
// Budget: 1 million lines a second on one core.
void BM_RTAppLineToRecord(benchmark::State& state) {
    // The code tables as the program has them: an aircraft database read.
    tavo::test::resetToSmallDbase();
    settingsSnapshot.store(std::make_shared<const SettingsSnapshot>());
    const auto lines = lf_makeLines();
    auto reader = std::make_unique<TrafficReader>();
    reader->setOwnPosition(52.0, 4.0);
    reader->qnh.store(1013);
    reader->clearTrafficMaps();
    std::size_t built = 0;
    reader->setBatchPoster([&built](std::vector<TrafficRecord>& batch, std::uint32_t) {
        built += batch.size();
        batch.clear();
    });
    std::size_t i = 0;
    for (auto _ : state) {
        reader->handleLine(lines[i]);
        if (++i == lines.size()) {
            i = 0;
            reader->handleLine("RTTFC_EOT");
        }
    }
    state.SetItemsProcessed(state.iterations());
    const double records = static_cast<double>(built + reader->batch().size());
    state.counters["records_per_line"] = benchmark::Counter(records / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_RTAppLineToRecord);

// 20,000 traffic lines (2,000 on small inputs) from an application that never sends the end tag,
// per iteration. The poster keeps the latest batch as the engine's mailbox
// does; the counters show the most records and bytes the reader and the
// mailbox held at once.
void BM_RTAppTaglessLines(benchmark::State& state) {
    settingsSnapshot.store(std::make_shared<const SettingsSnapshot>());
    std::vector<std::string> lines;
    const std::uint32_t count = gf_benchSize(20000u, 2000u);
    for (std::uint32_t i = 0; i < count; ++i) lines.push_back(tavo::test::rtTrafficLine(0x400000 + i));
    std::size_t peakRecords = 0;
    std::size_t peakBytes = 0;
    for (auto _ : state) {
        auto reader = std::make_unique<TrafficReader>();
        reader->setOwnPosition(52.0, 4.0);
        reader->qnh.store(1013);
        std::vector<TrafficRecord> pending;
        reader->setBatchPoster([&pending](std::vector<TrafficRecord>& batch, std::uint32_t) {
            pending.swap(batch);
            batch.clear();
        });
        for (const auto& line : lines) {
            reader->handleLine(line);
            const std::size_t held = reader->batch().size() + pending.size();
            const std::size_t bytes = (reader->batch().capacity() + pending.capacity()) * sizeof(TrafficRecord);
            peakRecords = std::max(peakRecords, held);
            peakBytes = std::max(peakBytes, bytes);
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(lines.size()));
    state.counters["peak_records"] = benchmark::Counter(static_cast<double>(peakRecords));
    state.counters["peak_MB"] = benchmark::Counter(static_cast<double>(peakBytes) / (1024.0 * 1024.0));
}
BENCHMARK(BM_RTAppTaglessLines)->Unit(benchmark::kMillisecond);
// What every reader of such a line must do, the plainest way: split it into
// its fields with memchr and parse the numbers the record is built from
// (std::from_chars), the texts kept as views. Nothing checked or built.
struct PlainTrafficLine {
    std::uint32_t hexid = 0;
    double time = 0, lat = 0, lon = 0, altitude = 0, verticalSpeed = 0, track = 0, groundSpeed = 0, roll = 0,
           trueAirspeed = 0, trueHeading = 0;
    std::string_view callsign, type, registration, origin, destination, source, category, airline;
};

template <typename T>
T lf_plainNumber(std::string_view text) {
    T value{};
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

void BM_RTAppLineParseBaseline(benchmark::State& state) {
    const auto lines = lf_makeLines();
    std::vector<std::string_view> f;
    f.reserve(64);
    std::size_t i = 0;
    for (auto _ : state) {
        const std::string& line = lines[i];
        f.clear();
        const char* at = line.data();
        const char* const end = at + line.size();
        for (;;) {
            const auto* comma = static_cast<const char*>(std::memchr(at, ',', static_cast<std::size_t>(end - at)));
            f.emplace_back(at, static_cast<std::size_t>((comma != nullptr ? comma : end) - at));
            if (comma == nullptr) break;
            at = comma + 1;
        }
        PlainTrafficLine p;
        p.time = lf_plainNumber<double>(f[14]);
        p.lat = lf_plainNumber<double>(f[2]);
        p.lon = lf_plainNumber<double>(f[3]);
        p.hexid = lf_plainNumber<std::uint32_t>(f[1]);
        p.altitude = lf_plainNumber<double>(f[4]);
        p.verticalSpeed = lf_plainNumber<double>(f[5]);
        p.track = lf_plainNumber<double>(f[7]);
        p.groundSpeed = lf_plainNumber<double>(f[8]);
        p.source = f[17];
        if (p.source == "adsb_icao") p.trueHeading = lf_plainNumber<double>(f[25]);
        p.roll = lf_plainNumber<double>(f[23]);
        p.trueAirspeed = lf_plainNumber<double>(f[20]);
        p.callsign = f[9];
        p.type = f[10];
        p.registration = f[11];
        p.origin = f[12];
        p.destination = f[13];
        p.category = f[28];
        p.airline = f[43];
        benchmark::DoNotOptimize(p);
        if (++i == lines.size()) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RTAppLineParseBaseline);

// One parked line per iteration (hexadecimal hexid, known type, stand).
void BM_RTAppParkedLine(benchmark::State& state) {
    std::vector<std::string> lines;
    for (int i = 0; i < 1000; ++i) {
        const auto fields = tavo::test::rtParkedFields(fmt::format("{:X}", 0x400000 + i), fmt::format("S{}", i),
                                                       fmt::format("KLM{}", 100 + i));
        lines.push_back(tavo::test::rtJoin(fields));
    }
    auto reader = std::make_unique<TrafficReader>();
    std::size_t i = 0;
    for (auto _ : state) {
        reader->handleLine(lines[i]);
        if (++i == lines.size()) {
            i = 0;
            reader->handleLine("RTPARK_EOT");
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RTAppParkedLine);

}  // namespace
