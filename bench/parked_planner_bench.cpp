// The parked-traffic planner at large airports of 250, 500 and 1,000 stands:
// 20 flight options a stand (a fifth of the stands overlapping a neighbour),
// and per 100 stands 400 parked records of the traffic service, 40 statics of
// the airport file and 60 live aircraft, a third of them parked at stands.
// Measured: the plan of the freshly loaded airport at the program's parking
// settings (30 %, auto park), the same plan wanting every stand (more than the
// airport can give, so every search runs over every offset), and an
// adjustment that keeps statics and live stayers; beside a baseline doing the
// plainest part of the same work at the same airport: copying and sorting the
// parked list and visiting every option once. The three sizes show how a plan
// grows with the airport: as the baseline does, in proportion to it. The same
// plan wanting every stand at 1,000, 2,000 and 4,000 stands, and the claims of
// such a plan beside the plainest way of answering them (every stand counted
// again after each claim), show that a claim costs the same at any size.
// Budget: a plan of 500 stands under 10 ms.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "airports/loaded_airport.h"
#include "airports/parking_state.h"
#include "airports/parked_planner.h"
#include "airports/stand_searches.h"
#include "airports/static_placement.h"
#include "engine/engine_lists.h"
#include "engine/removal_policies.h"
#include "engine/stands.h"
#include "feed/handover.h"
#include "feed/traffic_clock.h"
#include "services/gui.h"
#include "settings/snapshot.h"
#include "support/dbase_builder.h"
#include "support/synthetic_airport.h"

#include "bench_size.h"

namespace {

using tavo::test::SyntheticAirport;
using tavo::test::SyntheticAirportSpec;

// The airport of that many stands, made once; the test build's small run
// takes a twenty-fifth of it.
const SyntheticAirport& lf_airport(std::int64_t stands) {
    // The models' size categories, read once: reading the database again
    // would renumber the codes the airports made before hold.
    static std::map<std::int64_t, SyntheticAirport> airports = [] {
        tavo::test::resetToSmallDbase();
        return std::map<std::int64_t, SyntheticAirport>();
    }();
    const auto found = airports.find(stands);
    if (found != airports.end()) return found->second;
    SyntheticAirportSpec spec;
    spec.stands = gf_benchSize<std::size_t>(static_cast<std::size_t>(stands), static_cast<std::size_t>(stands) / 25);
    spec.optionsPerStand = gf_benchSize<std::size_t>(20, 4);
    spec.parkedRecords = spec.stands * 4;
    spec.statics = spec.stands * 2 / 5;
    spec.liveAircraft = spec.stands * 3 / 5;
    spec.nowSlot = gf_halfHourSlot();
    return airports.emplace(stands, tavo::test::makeSyntheticAirport(spec)).first->second;
}

// The settings and surroundings of a plan; the feed lives as long as the
// benchmark.
struct PlannerScene {
    // Registered as the source the planner asks (the start's traffic
    // source), or the parked records would never reach it.
    std::unique_ptr<tavo::test::FakeParkedFeed> feed = std::make_unique<tavo::test::FakeParkedFeed>(isRTDirect());
    std::shared_ptr<const SettingsSnapshot> savedSettings = settingsSnapshot.load();

    const SyntheticAirport& airport;

    PlannerScene(std::int32_t percentage, std::int64_t stands) : airport(lf_airport(stands)) {
        gf_updateSettings([percentage, this](SettingsSnapshot& s) {
            s.RT_PARKTRAFFIC_ONLY = 0;
            s.AUTO_PARK = 1;
            s.WEEK = 0;
            s.PARK_SOFT = 0;
            s.RANDOM = 0;
            s.HELICOPTERS = 1;
            s.MAX_FIT = 47;
            // Every stand may be wanted, also beyond the window's largest
            // choice (500), so that the sizes compare like with like.
            s.MAX_PARK_SEL = static_cast<std::int32_t>(airport.stands.size());
            s.parking_percentage = percentage;
        });
        LoadedAirport loaded;
        loaded.fileLoaded = true;
        loaded.qfReal = 60;
        loaded.qfSoft = 40;  // soft searches may run
        loaded.standCount = airport.stands.size();
        gf_setLoadedAirport(loaded);
        g_weekTime.store(gf_slotAndWeekday());
        gf_resetStandSearches();
    }
    ~PlannerScene() {
        feed.reset();
        gf_clearStaticsToPlace();
        staticRemovals.clear();
        stayers.clear();
        removeQueue.clear();
        g_staticAircraft.clear();
        g_liveAircraft.clear();
        g_standTable.clear();
        g_standNameIndex.clear();
        gf_publishStandSnapshot();
        gf_clearLoadedAirport();
        g_engineHandOverMaps.clear();
        settingsSnapshot.store(savedSettings);
        gf_gui().drain();
    }

    // Back to the airport as generated, outside the timing.
    void reset(benchmark::State& state) {
        state.PauseTiming();
        tavo::test::installSyntheticAirport(airport);
        feed->setParked(airport.parked);
        gf_clearStaticsToPlace();
        staticRemovals.clear();
        stayers.clear();
        removeQueue.clear();
        gf_gui().drain();  // the plan's window posts applied, not piling up
        state.ResumeTiming();
    }
};

void lf_reportPlan(benchmark::State& state) {
    state.counters["planned"] = static_cast<double>(staticsToPlace.size());
    state.counters["fromFeed"] = static_cast<double>(
        std::count_if(staticsToPlace.begin(), staticsToPlace.end(), [](const StaticToPlace& i) { return i.source == 0; }));
    state.counters["wanted"] = static_cast<double>(g_staticParkingTarget);
    if (staticsToPlace.empty()) state.SkipWithError("the plan found no stand");
}

// Args: the parking percentage (30, the program's setting; 100, more than the
// airport's free stands, so that every search runs to its last offset) and
// the number of stands.
void BM_ParkedPlannerPlan(benchmark::State& state) {
    PlannerScene scene(static_cast<std::int32_t>(state.range(0)), state.range(1));
    for (auto _ : state) {
        scene.reset(state);
        lf_planParking();
    }
    lf_reportPlan(state);
}
BENCHMARK(BM_ParkedPlannerPlan)
    ->ArgsProduct({{30, 100}, {250, 500, 1000}})
    ->Unit(benchmark::kMillisecond);

// The re-plan of the parking interval: the statics and live stayers that may
// stay are kept, the rest removed. Arg: the number of stands.
void BM_ParkedPlannerAdjustment(benchmark::State& state) {
    PlannerScene scene(30, state.range(0));
    for (auto _ : state) {
        scene.reset(state);
        lf_adjustParking(false);
    }
    state.counters["removed"] = static_cast<double>(staticRemovals.size());
    lf_reportPlan(state);
}
BENCHMARK(BM_ParkedPlannerAdjustment)->Arg(250)->Arg(500)->Arg(1000)->Unit(benchmark::kMillisecond);

// The plan at the largest airports, wanting every stand, so that every search
// claims as far as the airport lets it: each claim asks whether the plan has
// taken enough stands. Arg: the number of stands.
void BM_ParkedPlannerPlanLargeAirport(benchmark::State& state) {
    PlannerScene scene(100, state.range(0));
    for (auto _ : state) {
        scene.reset(state);
        lf_planParking();
    }
    lf_reportPlan(state);
}
BENCHMARK(BM_ParkedPlannerPlanLargeAirport)->Arg(1000)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);

// What the claims of a plan that takes every stand of the airport cost: each
// claim answers from the kept number of taken stands. Arg: the number of
// stands.
void BM_StandClaimsOfAPlan(benchmark::State& state) {
    const SyntheticAirport& airport = lf_airport(state.range(0));
    g_standTable = airport.stands;
    const auto wanted = static_cast<std::int64_t>(g_standTable.size());
    std::int64_t reached = 0;
    for (auto _ : state) {
        gf_clearStandMarks();
        for (std::int64_t id = 1; id <= wanted; ++id) reached += gf_claimStand(static_cast<std::int32_t>(id), wanted);
    }
    state.counters["taken"] = static_cast<double>(gf_countOccupiedStands(g_standTable));
    if (reached == 0) state.SkipWithError("no claim reached the wanted number");
    g_standTable.clear();
}
BENCHMARK(BM_StandClaimsOfAPlan)->Arg(1000)->Arg(2000)->Arg(4000)->Unit(benchmark::kMicrosecond);

// The baseline of the claims above, the plainest way: the same marks, and
// after each claim every stand of the table counted again.
void BM_StandClaimsCountingTheTable(benchmark::State& state) {
    const SyntheticAirport& airport = lf_airport(state.range(0));
    std::vector<Stand> stands = airport.stands;
    const auto wanted = static_cast<std::int64_t>(stands.size());
    std::int64_t reached = 0;
    for (auto _ : state) {
        for (Stand& stand : stands) stand.occupied = stand.blocked = false;
        for (Stand& stand : stands) {
            if (stand.occupied) continue;
            stand.occupied = true;
            for (const std::uint32_t excluded : stand.excludes)
                if (excluded >= 1 && excluded <= stands.size()) stands[excluded - 1].blocked = true;
            reached += gf_countOccupiedStands(stands) >= wanted ? 1 : 0;
        }
    }
    state.counters["taken"] = static_cast<double>(gf_countOccupiedStands(stands));
    if (reached == 0) state.SkipWithError("no claim reached the wanted number");
}
BENCHMARK(BM_StandClaimsCountingTheTable)->Arg(1000)->Arg(2000)->Arg(4000)->Unit(benchmark::kMicrosecond);

// The plainest part of a plan: the parked list copied and sorted by age, and
// every option of every stand looked at once for the current slot. Arg: the
// number of stands.
void BM_ParkedPlannerBaseline(benchmark::State& state) {
    const SyntheticAirport& airport = lf_airport(state.range(0));
    const auto slot = static_cast<std::size_t>(gf_halfHourSlot());
    for (auto _ : state) {
        std::vector<ParkedRecord> list = airport.parked;
        std::stable_sort(list.begin(), list.end(),
                         [](const ParkedRecord& a, const ParkedRecord& b) { return a.age < b.age; });
        std::size_t fitting = 0;
        for (const Stand& stand : airport.stands)
            for (const StandOption& option : stand.options) fitting += option.hours.test(slot) ? 1 : 0;
        benchmark::DoNotOptimize(list.data());
        benchmark::DoNotOptimize(fitting);
    }
}
BENCHMARK(BM_ParkedPlannerBaseline)->Arg(250)->Arg(500)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
