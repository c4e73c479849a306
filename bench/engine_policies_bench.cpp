// A full live-vs-parked pass (512 live aircraft on the ground against 256
// parked ones), beside as many plain circle-overlap tests; and the search for
// the farthest live aircraft at the live limit over 512 aircraft, beside as
// many great-circle distances.

#include <benchmark/benchmark.h>

#include <deque>

#include "engine/engine_lists.h"
#include "engine/geometry.h"
#include "engine/removal_policies.h"
#include "engine/user_position.h"
#include "foundation/geodesy.h"
#include "liveries/code_tables.h"
#include "support/dbase_builder.h"

#include "bench_size.h"

namespace {

constexpr LaLo kUser{50.0, 8.0};

std::size_t lf_liveCount() { return gf_benchSize<std::size_t>(512, 32); }
std::size_t lf_staticCount() { return gf_benchSize<std::size_t>(256, 16); }

LaLo lf_grid(std::size_t i, double spacingDeg, double offset) {
    return {kUser.lat + offset + double(i % 32) * spacingDeg, kUser.lon + double(i / 32) * spacingDeg};
}

// Live aircraft taxiing on a grid, parked ones on another grid in between:
// every pair is tested and none overlaps, so each pass does the same work.
void lf_groundScene() {
    static const bool loaded = [] {
        tavo::test::resetToSmallDbase();
        return true;
    }();
    (void)loaded;
    g_liveAircraft.clear();
    g_staticAircraft.clear();
    removeQueue.clear();
    FlightIdentity id;
    id.key.model = gf_internModelCode("B738");
    id.callsign = "KLM1234";
    const AcInfo info = gf_makeAcInfo(id);
    for (std::size_t i = 0; i < lf_liveCount(); ++i) {
        const LaLo at = lf_grid(i, 0.002, 0.0);
        StreamPoint p;
        p.lat = at.lat;
        p.lon = at.lon;
        LiveAc& ac = g_liveAircraft.emplace_back(std::deque<StreamPoint>{p, p}, info, 1.7e9);
        ac.hexid = 0x400000 + std::uint32_t(i);
        ac.objectId = 1000 + std::uint32_t(i);
        ac.simState = AcSimState::active;
        ac.phase = AcPhase::taxi;
        ac.onGround = 1;
        ac.pose.latitude = at.lat;
        ac.pose.longitude = at.lon;
    }
    for (std::size_t i = 0; i < lf_staticCount(); ++i) {
        AcBase s;
        static_cast<AcInfo&>(s) = info;
        s.hexid = std::uint32_t(i + 1);
        s.objectId = 5000 + std::uint32_t(i);
        s.simState = AcSimState::active;
        s.standPos = lf_grid(i, 0.002, 0.001);
        g_staticAircraft.push_back(s);
    }
}

void BM_LiveVsParkedFullPass(benchmark::State& state) {
    lf_groundScene();
    for (auto _ : state) lf_checkLiveVsParked(true);
    if (!removeQueue.empty()) state.SkipWithError("a parked aircraft was removed: the passes differ");
    state.counters["pairs"] = double(g_liveAircraft.size() * g_staticAircraft.size());
}
BENCHMARK(BM_LiveVsParkedFullPass)->Unit(benchmark::kMicrosecond);

void BM_LiveVsParkedBaselineOverlaps(benchmark::State& state) {
    lf_groundScene();
    for (auto _ : state) {
        std::size_t overlaps = 0;
        for (const LiveAc& ac : g_liveAircraft)
            for (const AcBase& s : g_staticAircraft)
                overlaps += gf_circlesOverlap({ac.pose.latitude, ac.pose.longitude}, ac.collisionRadiusNm, s.standPos,
                                              s.collisionRadiusNm);
        benchmark::DoNotOptimize(overlaps);
    }
}
BENCHMARK(BM_LiveVsParkedBaselineOverlaps)->Unit(benchmark::kMicrosecond);

// Aircraft ever farther from the user: each becomes the candidate in turn, so
// every distance is a great circle; the farthest is removed and put back.
void lf_airScene() {
    lf_groundScene();
    UserAircraftState user;
    user.latitude = kUser.lat;
    user.longitude = kUser.lon;
    gf_publishUserAircraftState(user);
    for (std::size_t i = 0; i < g_liveAircraft.size(); ++i) {
        const LaLo at = gf_destinationPoint(kUser, {1.0, (1.0 + double(i) * 0.2) * feetPerNm});
        g_liveAircraft[i].pose.latitude = at.lat;
        g_liveAircraft[i].pose.longitude = at.lon;
    }
}

void BM_FurthestLive(benchmark::State& state) {
    lf_airScene();
    for (auto _ : state) {
        benchmark::DoNotOptimize(lf_isThisTheFurthestLive(0.0));
        g_liveAircraft.back().simState = AcSimState::active;
        removeQueue.clear();
    }
    state.counters["aircraft"] = double(g_liveAircraft.size());
}
BENCHMARK(BM_FurthestLive)->Unit(benchmark::kMicrosecond);

void BM_FurthestLiveBaselineDistances(benchmark::State& state) {
    lf_airScene();
    for (auto _ : state) {
        double sum = 0.0;
        for (const LiveAc& ac : g_liveAircraft) sum += gf_distanceNm(kUser, {ac.pose.latitude, ac.pose.longitude});
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_FurthestLiveBaselineDistances)->Unit(benchmark::kMicrosecond);

}  // namespace
