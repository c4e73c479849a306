// Reading the web API's traffic replies at the sizes the service sends: one
// live reply of 400 aircraft (budget 5 ms) and one buffered reply of five
// segments of 400 (budget 50 ms), from the body text to the built records;
// each beside a baseline in the same run that only parses the same body
// into a JSON document. Small inputs (the test build): 40 aircraft a reply.

#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <variant>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "bench_size.h"
#include "feed/records.h"
#include "feed/rtdirect/replies.h"
#include "feed/rtdirect/session.h"
#include "settings/snapshot.h"

namespace {

using nlohmann::json;

const int kAircraft = gf_benchSize(400, 40);

// 400 airborne aircraft of varied identity within 40 NM of 52N 4E, `ageSeconds`
// before 2024-01-01 00:00:00 UTC.
json lf_trafficData(int ageSeconds) {
    static const char* types[] = {"B738", "A320", "B77W", "E190", "DH8D", "A20N", "B789", "CRJ9"};
    static const char* airlines[] = {"KLM", "DLH", "BAW", "AFR", "EZY", "RYR", "UAL", ""};
    static const char* airports[] = {"AMS", "FRA", "LHR", "CDG", "", "JFK", "MAD", "BCN"};
    json data = json::object();
    for (int i = 0; i < kAircraft; ++i) {
        json a = json::array();
        for (std::size_t e = 0; e < rtApiAircraftElements; ++e) a.push_back(nullptr);
        a[0] = fmt::format("{:06x}", 0x400000 + i);
        a[1] = 52.0 + (i % 20 - 10) * 0.03;
        a[2] = 4.0 + (i / 20 - 10) * 0.04;
        a[3] = static_cast<double>(i % 360);
        a[4] = 3000.0 + i * 80.0;
        a[5] = 200.0 + i % 250;
        a[6] = "2000";
        a[8] = types[i % 8];
        a[9] = fmt::format("PH-{:03}", i);
        a[10] = 1704067200.0 - ageSeconds + i * 0.01;
        a[11] = airports[i % 8];
        a[12] = airports[(i + 3) % 8];
        a[13] = fmt::format("{}{}", airlines[i % 8][0] ? airlines[i % 8] : "PVT", 100 + i);
        a[15] = static_cast<double>(i % 7 - 3) * 500.0;
        a[17] = i % 2 ? "adsb_icao" : "mlat";
        a[20] = i % 3 ? json(250.0 + i % 100) : json(nullptr);
        a[23] = static_cast<double>(i % 20 - 10);
        a[25] = static_cast<double>((i * 7) % 360);
        a[28] = "A3";
        a[48] = airlines[i % 8];
        data[fmt::format("{:06x}", 0x400000 + i)] = std::move(a);
    }
    return data;
}

OwnPositionSnapshot lf_own() {
    OwnPositionSnapshot own;
    own.latitude = 52.0;
    own.longitude = 4.0;
    own.cosLatitude = std::cos(52.0 * 3.14159265358979323846 / 180.0);
    own.settings = settingsSnapshot.load();
    own.collectHandOver = true;
    own.dropGround0000 = true;
    own.rtDirect = true;
    return own;
}

std::string lf_liveBody() {
    return json{{"status", 200}, {"message", "OK"}, {"rrl", 2000}, {"data", lf_trafficData(0)}}.dump();
}

std::string lf_bufferBody() {
    json data = json::object();
    for (int i = 0; i < rtApiBufferSegments; ++i) data[fmt::format("buffer_{}", i)] = lf_trafficData(6 * i);
    return json{{"status", 200}, {"message", "OK"}, {"rrl", 2000}, {"data", data}}.dump();
}

// The body text parsed into a JSON document, nothing read from it.
void lf_parseOnly(benchmark::State& state, const std::string& body) {
    for (auto _ : state) {
        json parsed = json::parse(body);
        benchmark::DoNotOptimize(parsed);
    }
    state.counters["body_kB"] = static_cast<double>(body.size()) / 1024.0;
}

void BM_RtDirectTrafficReply400(benchmark::State& state) {
    const std::string body = lf_liveBody();
    const OwnPositionSnapshot own = lf_own();
    TrafficBatch batch;
    std::size_t records = 0;
    for (auto _ : state) {
        auto checked = gf_checkRTAPIStatus(body, "traffic receive", rtApiRrlKey);
        const auto& envelope = std::get<RTAPIEnvelope>(checked);
        gf_parseTrafficResponse(envelope.data, own, batch);
        records = batch.records.size();
        benchmark::DoNotOptimize(records);
    }
    // Every aircraft is within range and airborne.
    if (records != static_cast<std::size_t>(kAircraft)) state.SkipWithError("aircraft lost");
    state.counters["records"] = static_cast<double>(records);
    state.counters["body_kB"] = static_cast<double>(body.size()) / 1024.0;
}
BENCHMARK(BM_RtDirectTrafficReply400)->Unit(benchmark::kMillisecond);

void BM_RtDirectParseReply400Baseline(benchmark::State& state) { lf_parseOnly(state, lf_liveBody()); }
BENCHMARK(BM_RtDirectParseReply400Baseline)->Unit(benchmark::kMillisecond);

void BM_RtDirectBufferReply5x400(benchmark::State& state) {
    const std::string body = lf_bufferBody();
    const OwnPositionSnapshot own = lf_own();
    TrafficBatch batch;
    std::size_t records = 0;
    for (auto _ : state) {
        records = 0;
        auto checked = gf_checkRTAPIStatus(body, "buffer traffic", rtApiRrlKey);
        const auto& envelope = std::get<RTAPIEnvelope>(checked);
        gf_deliverBufferSegments(envelope.data, own, batch, [&records](TrafficBatch& b, std::uint32_t) {
            records += b.records.size();
            b.clear();
        });
        benchmark::DoNotOptimize(records);
    }
    if (records != static_cast<std::size_t>(kAircraft * rtApiBufferSegments)) state.SkipWithError("aircraft lost");
    state.counters["records"] = static_cast<double>(records);
    state.counters["body_kB"] = static_cast<double>(body.size()) / 1024.0;
}
BENCHMARK(BM_RtDirectBufferReply5x400)->Unit(benchmark::kMillisecond);

void BM_RtDirectParseBufferReply5x400Baseline(benchmark::State& state) { lf_parseOnly(state, lf_bufferBody()); }
BENCHMARK(BM_RtDirectParseBufferReply5x400Baseline)->Unit(benchmark::kMillisecond);

}  // namespace
