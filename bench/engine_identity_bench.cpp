// The identity check every accepted report of a shown aircraft goes through,
// for the common case of a report that changes nothing (callsign, route and
// registration as shown), over 512 flying aircraft in turn; beside a
// baseline that only compares the four identity texts of each report.

#include <benchmark/benchmark.h>

#include <deque>
#include <vector>

#include <fmt/format.h>

#include "engine/engine_lists.h"
#include "engine/identity.h"

#include "bench_size.h"

namespace {

std::size_t lf_count() { return gf_benchSize<std::size_t>(512, 16); }

// The shown aircraft and one unchanged report of each.
std::vector<AcInfo> lf_scene() {
    g_liveAircraft.clear();
    removeQueue.clear();
    std::vector<AcInfo> reports;
    for (std::size_t i = 0; i < lf_count(); ++i) {
        AcInfo info;
        info.hexid = 0x400000 + static_cast<std::uint32_t>(i);
        info.callsign = fmt::format("KLM{}", 1000 + i);
        info.identity2 = info.callsign;
        info.registration = fmt::format("PH-B{:02}", i % 100);
        info.origin = IataCode("AMS");
        info.destination = IataCode("JFK");
        StreamPoint p;
        p.airborne = 1;
        LiveAc& ac = g_liveAircraft.emplace_back(std::deque<StreamPoint>{p, p}, info, 1.7e9);
        ac.simState = AcSimState::active;
        ac.phase = AcPhase::flying;
        ac.objectId = 1000 + static_cast<std::uint32_t>(i);
        reports.push_back(info);
    }
    return reports;
}

void BM_IdentityCheckUnchanged(benchmark::State& state) {
    const std::vector<AcInfo> reports = lf_scene();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(lf_checkIdentityChange(g_liveAircraft[i], reports[i]));
        if (++i == reports.size()) i = 0;
    }
    for (const LiveAc& ac : g_liveAircraft) {
        if (ac.simState != AcSimState::active || !removeQueue.empty()) {
            state.SkipWithError("an unchanged report changed the aircraft");
            break;
        }
    }
    g_liveAircraft.clear();
}
BENCHMARK(BM_IdentityCheckUnchanged);

void BM_IdentityCompareTextsBaseline(benchmark::State& state) {
    const std::vector<AcInfo> reports = lf_scene();
    std::size_t i = 0;
    for (auto _ : state) {
        const LiveAc& ac = g_liveAircraft[i];
        const AcInfo& r = reports[i];
        benchmark::DoNotOptimize(ac.callsign == r.callsign && ac.identity2 == r.identity2 &&
                                 ac.identity3 == r.identity3 && ac.registration == r.registration);
        if (++i == reports.size()) i = 0;
    }
    g_liveAircraft.clear();
}
BENCHMARK(BM_IdentityCompareTextsBaseline);

}  // namespace
