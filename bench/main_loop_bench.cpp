// The main loop's schedule on the real clock with an engine tick that works
// for 2 ms, beside a plain sleep-until loop doing the same; and one tick of
// the loop's own work (the once-a-second housekeeping every time) with the
// engine faked, beside the faked engine call alone.
//
// The schedule benchmarks report the mean period and its 99th percentile in
// milliseconds (counters mean_ms, p99_ms); the budget is 10.0 +/- 0.1 ms and
// below 12 ms.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <numeric>
#include <thread>
#include <vector>

#include "app/control_states.h"
#include "app/main_loop.h"
#include "app/neighbour_services.h"
#include "bench_size.h"
#include "services/gui.h"
#include "services/stop.h"
#include "simlink/sim_link.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

void lf_busyFor(Clock::duration work) {
    const auto until = Clock::now() + work;
    while (Clock::now() < until) {
    }
}

void lf_reportPeriods(benchmark::State& state, const std::vector<Clock::time_point>& starts) {
    std::vector<double> periods;
    for (std::size_t i = 1; i < starts.size(); ++i) {
        periods.push_back(std::chrono::duration<double, std::milli>(starts[i] - starts[i - 1]).count());
    }
    if (periods.empty()) {
        state.SkipWithError("no tick ran");
        return;
    }
    std::sort(periods.begin(), periods.end());
    state.counters["mean_ms"] = std::accumulate(periods.begin(), periods.end(), 0.0) / double(periods.size());
    state.counters["p99_ms"] = periods[std::min(periods.size() - 1, periods.size() * 99 / 100)];
    state.counters["ticks"] = double(starts.size());
}

Clock::duration lf_runLength() { return gf_benchSize<Clock::duration>(10s, 300ms); }

void BM_MainLoopSchedule(benchmark::State& state) {
    std::vector<Clock::time_point> starts;
    NeighbourServices services = gf_realNeighbourServices();
    services.handleAddingStack = [&starts] {
        starts.push_back(Clock::now());
        lf_busyFor(2ms);
    };
    gf_setNeighbourServices(services);
    gf_setShellWaitClock({});
    g_simState.store(SIM_RUNNING);
    for (auto _ : state) {
        starts.clear();
        starts.reserve(1100);
        gf_clearStopMailbox();
        gf_resetMainLoopState();
        // The simulator's second, and at the end the stop it ends on.
        std::jthread simulator([](std::stop_token stop) {
            const auto end = Clock::now() + lf_runLength();
            while (!stop.stop_requested() && Clock::now() < end) {
                std::this_thread::sleep_for(std::min<Clock::duration>(1s, end - Clock::now()));
                g_userGroundDataSeen.store(true);
            }
            requestStop(StopReason::NewSettings, 0);
            g_userGroundDataSeen.store(true);
        });
        lf_mainLoop();
    }
    lf_reportPeriods(state, starts);
    g_simState.store(SIM_NOT_CONNECTED);
    gf_clearStopMailbox();
    gf_setNeighbourServices(std::nullopt);
}
BENCHMARK(BM_MainLoopSchedule)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlainSleepUntilSchedule(benchmark::State& state) {
    std::vector<Clock::time_point> starts;
    for (auto _ : state) {
        starts.clear();
        const auto end = Clock::now() + lf_runLength();
        auto deadline = Clock::now() + 10ms;
        while (Clock::now() < end) {
            starts.push_back(Clock::now());
            lf_busyFor(2ms);
            std::this_thread::sleep_until(deadline);
            deadline += 10ms;
        }
    }
    lf_reportPeriods(state, starts);
}
BENCHMARK(BM_PlainSleepUntilSchedule)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MainLoopOneSecondTick(benchmark::State& state) {
    // The window's updates are applied at once, as on the GUI thread, so
    // none piles up in the queue.
    gf_gui().attachGuiThread();
    NeighbourServices services = gf_realNeighbourServices();
    services.handleAddingStack = [] {};
    gf_setNeighbourServices(services);
    gf_setShellWaitClock({});
    gf_clearStopMailbox();
    gf_resetMainLoopState();
    g_simState.store(SIM_RUNNING);
    for (auto _ : state) {
        g_userGroundDataSeen.store(true);
        benchmark::DoNotOptimize(lf_tick());
    }
    g_simState.store(SIM_NOT_CONNECTED);
    gf_setNeighbourServices(std::nullopt);
}
BENCHMARK(BM_MainLoopOneSecondTick)->Unit(benchmark::kMicrosecond);

void BM_FakedEngineCallOnly(benchmark::State& state) {
    NeighbourServices services = gf_realNeighbourServices();
    services.handleAddingStack = [] {};
    gf_setNeighbourServices(services);
    for (auto _ : state) {
        g_userGroundDataSeen.store(true);
        benchmark::DoNotOptimize(g_userGroundDataSeen.exchange(false));
        gf_neighbourServices()->handleAddingStack();
    }
    gf_setNeighbourServices(std::nullopt);
}
BENCHMARK(BM_FakedEngineCallOnly)->Unit(benchmark::kMicrosecond);

}  // namespace
