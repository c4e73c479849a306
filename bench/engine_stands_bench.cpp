// The stand decision of a spawning aircraft over 512 live aircraft and 512
// stands of four colliding stands each, beside one plain pass over the live
// list; and the aircraft selector's list of 512 active aircraft, beside the
// same texts made and left unsorted.

#include <benchmark/benchmark.h>

#include <deque>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "airports/current_airport.h"
#include "airports/loaded_airport.h"
#include "engine/engine_lists.h"
#include "engine/live_lists.h"
#include "engine/spawn_stands.h"
#include "engine/stands.h"
#include "engine/user_position.h"
#include "liveries/code_tables.h"
#include "simlink/sim_link.h"
#include "support/dbase_builder.h"
#include "support/stand_table.h"

#include "bench_size.h"

namespace {

constexpr LaLo kOrigin{50.03, 8.56};
constexpr std::size_t kColumns = 32;
constexpr double kRowDeg = 40.0 / 111195.0;    // 40 m north
constexpr double kColumnDeg = 40.0 / 71480.0;  // 40 m east at 50 degrees

std::size_t lf_count() { return gf_benchSize<std::size_t>(512, 32); }

LaLo lf_standAt(std::size_t i) {
    return {kOrigin.lat + double(i / kColumns) * kRowDeg, kOrigin.lon + double(i % kColumns) * kColumnDeg};
}

AcInfo lf_info(const std::string& callsign) {
    static const bool loaded = [] {
        tavo::test::resetToSmallDbase();
        return true;
    }();
    (void)loaded;
    FlightIdentity id;
    id.key.airline = gf_internAirlineCode("KLM");
    id.key.model = gf_internModelCode("B738");
    id.callsign = callsign;
    id.registration = "PH-BXA";
    return gf_makeAcInfo(id);
}

LiveAc& lf_addLive(std::size_t i, LaLo at) {
    StreamPoint p;
    p.lat = at.lat;
    p.lon = at.lon;
    AcInfo info = lf_info(fmt::format("KLM{}", 1000 + i));
    info.hexid = 0x400000 + std::uint32_t(i);
    LiveAc& ac = g_liveAircraft.emplace_back(std::deque<StreamPoint>{p, p, p}, info, 1.7e9);
    ac.objectId = 1000 + std::uint32_t(i);
    ac.simState = AcSimState::active;
    ac.onGround = i % 2;
    return ac;
}

// A grid of stands 40 m apart, each colliding with its four neighbours; a live
// aircraft parked on every stand but the middle one, whose neighbours lie
// beyond wing reach; the user far away.
void lf_standScene() {
    std::vector<tavo::test::StandSpec> stands;
    const std::size_t n = lf_count();
    for (std::size_t i = 0; i < n; ++i) {
        std::vector<std::uint32_t> excludes;
        for (const long step : {-1L, 1L, -long(kColumns), long(kColumns)}) {
            const long j = long(i) + step;
            excludes.push_back(std::uint32_t((j + long(n)) % long(n)) + 1);
        }
        stands.emplace_back(fmt::format("GATE {}", i + 1), lf_standAt(i), ParkingType::GATE_MEDIUM, 30.0,
                            std::move(excludes));
    }
    tavo::test::setStandTable(stands);
    gf_setCurrentAirport({IcaoCode("EDDF"), IataCode("FRA"), kOrigin, 364});
    LoadedAirport loaded;
    loaded.fileLoaded = true;
    gf_setLoadedAirport(loaded);
    UserAircraftState user;
    user.latitude = kOrigin.lat - 0.02;
    user.longitude = kOrigin.lon;
    gf_publishUserAircraftState(user);
    g_liveAircraft.clear();
    g_staticAircraft.clear();
    g_liveAircraft.reserve(n + 1);
    for (std::size_t i = 0; i < n; ++i) {
        if (i == n / 2) continue;
        LiveAc& ac = lf_addLive(i, lf_standAt(i));
        gf_assignStandToAircraft(ac, g_standTable[i]);
        ac.phase = AcPhase::parked;
    }
}

void BM_SpawnStandDecision(benchmark::State& state) {
    lf_standScene();
    const std::size_t wanted = lf_count() / 2;
    LiveAc& ac = lf_addLive(wanted, lf_standAt(wanted));
    ac.phase = AcPhase::birth;
    ac.simState = AcSimState::buffer;
    for (auto _ : state) {
        for (StreamPoint& p : ac.stream) p.stationary = 0;
        const Stand* stand = chooseSpawnStand(ac);
        if (stand == nullptr || stand->id != wanted + 1 || ac.removeRecord != 0) {
            state.SkipWithError("the decision did not give the free stand");
            break;
        }
        benchmark::DoNotOptimize(stand);
    }
    state.counters["live"] = double(g_liveAircraft.size());
}
BENCHMARK(BM_SpawnStandDecision)->Unit(benchmark::kMicrosecond);

void BM_SpawnStandBaselineLivePass(benchmark::State& state) {
    lf_standScene();
    const auto wanted = std::int32_t(lf_count() / 2 + 1);
    for (auto _ : state) {
        int holders = 0;
        for (const LiveAc& a : g_liveAircraft) holders += a.standId == wanted && a.phase == AcPhase::parked ? 1 : 0;
        benchmark::DoNotOptimize(holders);
    }
}
BENCHMARK(BM_SpawnStandBaselineLivePass)->Unit(benchmark::kMicrosecond);

void lf_listScene() {
    g_liveAircraft.clear();
    g_liveAircraft.reserve(lf_count());
    // Callsigns in an order unlike their sorted one.
    for (std::size_t i = 0; i < lf_count(); ++i) lf_addLive((i * 7919) % 100000, lf_standAt(i));
}

void BM_ListActiveLiveAc(benchmark::State& state) {
    lf_listScene();
    for (auto _ : state) {
        const auto texts = gf_listActiveLiveAc();
        if (texts.size() != g_liveAircraft.size()) {
            state.SkipWithError("an active aircraft is missing from the list");
            break;
        }
        benchmark::DoNotOptimize(texts.data());
    }
}
BENCHMARK(BM_ListActiveLiveAc)->Unit(benchmark::kMicrosecond);

void BM_ListActiveLiveAcBaselineUnsorted(benchmark::State& state) {
    lf_listScene();
    for (auto _ : state) {
        std::vector<std::string> texts;
        for (const LiveAc& ac : g_liveAircraft)
            texts.push_back(fmt::format("{}, {}, {:x}, oid={}", ac.callsign, ac.registration, ac.hexid,
                                        gf_objectIdText(ac.objectId)));
        benchmark::DoNotOptimize(texts.data());
    }
}
BENCHMARK(BM_ListActiveLiveAcBaselineUnsorted)->Unit(benchmark::kMicrosecond);

}  // namespace
