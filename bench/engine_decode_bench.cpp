// Message decoding at the rates the engine meets: a live batch of 512 known
// aircraft two records a tick, and the history of a buffer request (five
// batches of 1,000 records) at once in one tick.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include <fmt/format.h>

#include "engine/decode.h"
#include "engine/engine_lists.h"
#include "engine/engine_state.h"
#include "engine/mailbox.h"
#include "foundation/geodesy.h"
#include "liveries/code_tables.h"
#include "settings/snapshot.h"
#include "support/dbase_builder.h"

namespace {

constexpr std::size_t kLive = 512;
const char* const kTypes[] = {"B738", "A320", "B77W", "E190", "C56X"};

void lf_clearEngine() {
    g_liveAircraft.clear();
    quarantine.clear();
    removeQueue.clear();
    gf_resetTrafficMailbox();
}

TrafficRecord lf_record(std::size_t i, bool airborne) {
    TrafficRecord r;
    r.hexid = 0x400000 + static_cast<std::uint32_t>(i);
    r.identity.callsign = fmt::format("KLM{}", 100 + i);
    r.identity.registration = fmt::format("PH-{:04}", i);
    r.identity.key.model = gf_internModelCode(kTypes[i % 5]);
    r.point.lat = 50.0 + double(i % 32) * 0.05;
    r.point.lon = 8.0 + double(i / 32) * 0.05;
    r.point.airborne = airborne ? 1 : 0;
    r.point.altitudeFt = airborne ? 5000.0 + double(i) * 20.0 : 0.0;
    r.point.groundSpeedKt = airborne ? 300.0 : 15.0;
    r.point.trackDeg = 0.0;
    r.time = 1.7e9;
    return r;
}

// 512 live aircraft in the simulator, half of them flying and half taxiing,
// each with one point; and one report per aircraft 5 s after its last.
std::vector<TrafficRecord> lf_liveTraffic() {
    lf_clearEngine();
    g_liveAircraft.reserve(kLive);
    std::vector<TrafficRecord> records;
    for (std::size_t i = 0; i < kLive; ++i) {
        const bool airborne = i % 2 == 0;
        TrafficRecord r = lf_record(i, airborne);
        AcInfo info = gf_makeAcInfo(r.identity);
        info.hexid = r.hexid;
        LiveAc& ac = g_liveAircraft.emplace_back(std::deque<StreamPoint>{r.point}, info, r.time);
        ac.simState = AcSimState::active;
        ac.objectId = 100 + static_cast<std::uint32_t>(i);
        ac.phase = airborne ? AcPhase::flying : AcPhase::taxi;
        ac.onGround = airborne ? 0 : 1;
        records.push_back(r);
    }
    return records;
}

// The next report of the aircraft: 5 s later, moved on along its track.
void lf_advance(TrafficRecord& r) {
    r.time += 5.0;
    r.point.playTick += 500;
    r.point.lat += r.point.airborne != 0 ? 0.0069 : 0.00035;  // about 300 kt and 15 kt
}

void lf_loadTables() {
    static const bool loaded = [] {
        tavo::test::resetToSmallDbase();
        return true;
    }();
    (void)loaded;
}

// One known aircraft's report decoded and appended. Budget: under 5 us.
void BM_DecodeKnownAircraftAt512(benchmark::State& state) {
    lf_loadTables();
    auto records = lf_liveTraffic();
    std::size_t i = 0;
    for (auto _ : state) {
        TrafficRecord& r = records[i++ % kLive];
        lf_advance(r);
        decodeMessage(r);
        LiveAc& ac = g_liveAircraft[r.hexid - 0x400000];
        if (ac.stream.size() > 32) ac.stream.pop_front();
    }
    // Every report kept: each stream holds its last 33 points, nothing removed.
    double points = 0;
    for (const LiveAc& ac : g_liveAircraft) points += double(ac.stream.size());
    state.counters["points"] = points / double(kLive);
    state.counters["removed"] = double(removeQueue.size());
    lf_clearEngine();
}
BENCHMARK(BM_DecodeKnownAircraftAt512);

// Baseline: only the scans every report needs, for its hexid and for its
// callsign and type.
void BM_FindHexidAndScanCallsignAt512(benchmark::State& state) {
    lf_loadTables();
    auto records = lf_liveTraffic();
    std::size_t i = 0;
    for (auto _ : state) {
        const TrafficRecord& r = records[i++ % kLive];
        const LiveAc* found = nullptr;
        for (const LiveAc& ac : g_liveAircraft)
            if (ac.hexid == r.hexid) {
                found = &ac;
                break;
            }
        bool same = false;
        for (const LiveAc& ac : g_liveAircraft)
            if (ac.key.model == r.identity.key.model && ac.callsign == r.identity.callsign) same = true;
        benchmark::DoNotOptimize(found);
        benchmark::DoNotOptimize(same);
    }
    lf_clearEngine();
}
BENCHMARK(BM_FindHexidAndScanCallsignAt512);

// Five history batches of 1,000 aircraft (a buffer request), 10 s apart.
std::vector<std::vector<TrafficRecord>> lf_historyBatches() {
    std::vector<std::vector<TrafficRecord>> batches(5);
    for (std::size_t n = 0; n < 5; ++n)
        for (std::size_t i = 0; i < 1000; ++i) {
            TrafficRecord r = lf_record(i, true);
            r.time += 10.0 * double(n);
            r.point.lat += 0.014 * double(n);
            batches[n].push_back(r);
        }
    return batches;
}

void lf_postHistory(std::vector<std::vector<TrafficRecord>> batches) {
    for (std::uint32_t n = 0; n < 5; ++n) gf_postTrafficBatch(batches[n], 6 * n, true);
}

// Posted and decoded in one tick: 1,000 aircraft created, then extended four
// times. Budget: under 10 ms.
void BM_PostAndDecodeHistory5x1000(benchmark::State& state) {
    lf_loadTables();
    const auto batches = lf_historyBatches();
    for (auto _ : state) {
        state.PauseTiming();
        lf_clearEngine();
        auto copy = batches;
        state.ResumeTiming();
        lf_postHistory(std::move(copy));
        gf_decodeMailboxRecords();
    }
    state.counters["aircraft"] = double(g_liveAircraft.size());
    state.counters["points"] = double(g_liveAircraft.empty() ? 0 : g_liveAircraft.front().stream.size());
    lf_clearEngine();
}
BENCHMARK(BM_PostAndDecodeHistory5x1000)->Unit(benchmark::kMillisecond);

// Baseline: the same records posted and taken, not decoded.
void BM_PostAndMoveHistory5x1000(benchmark::State& state) {
    const auto batches = lf_historyBatches();
    std::vector<TrafficRecord> taken;
    for (auto _ : state) {
        state.PauseTiming();
        gf_resetTrafficMailbox();
        taken.clear();
        auto copy = batches;
        state.ResumeTiming();
        lf_postHistory(std::move(copy));
        gf_takeHistoryRecords(taken);
        benchmark::DoNotOptimize(taken.data());
    }
    state.counters["records"] = double(taken.size());
}
BENCHMARK(BM_PostAndMoveHistory5x1000)->Unit(benchmark::kMillisecond);

// A live batch of all 512 aircraft every N seconds, taken two records a
// tick: how many are decoded before the next batch replaces the rest.
void BM_LiveBatchDecodedBeforeTheNext(benchmark::State& state) {
    lf_loadTables();
    const int ticks = static_cast<int>(state.range(0)) * 100;
    auto records = lf_liveTraffic();
    gf_setTrafficDelivery(true);
    std::size_t decoded = 0, batches = 0;
    for (auto _ : state) {
        for (TrafficRecord& r : records) lf_advance(r);
        auto batch = records;
        gf_postTrafficBatch(batch, 30, true);
        for (int t = 0; t < ticks; ++t) {
            gf_decodeMailboxRecords();
            gf_advanceTickCount();
        }
        decoded += kLive - gf_mailboxCounters().pending;
        ++batches;
        for (LiveAc& ac : g_liveAircraft)
            while (ac.stream.size() > 32) ac.stream.pop_front();
    }
    state.counters["decoded"] = double(decoded) / double(batches);
    state.counters["of"] = double(kLive);
    gf_setTrafficDelivery(false);
    lf_clearEngine();
}
BENCHMARK(BM_LiveBatchDecodedBeforeTheNext)->Arg(2)->Arg(3)->Arg(5)->Unit(benchmark::kMillisecond);

}  // namespace
