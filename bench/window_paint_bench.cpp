#include <benchmark/benchmark.h>

#include "airports/current_airport.h"
#include "airports/parking_state.h"
#include "app/window_paint.h"
#include "feed/feed_state.h"
#include "platform/window/headless.h"
#include "simlink/sim_link.h"

namespace {

// A full paint of the expanded window with everything shown: both lamps lit,
// a park airport with its parking rows and a status line. Budget: under 1 ms.
void BM_PaintExpandedWindow(benchmark::State& state) {
    Gui gui;
    gui.compact = false;
    gui.simulatorName = "MSFS 2024";
    gui.simulatorReady = true;
    gui.userStand = "A12";
    gui.trafficSourceNotStarted = false;
    gui.trafficReaderState = kReaderRunning;
    gui.weatherReaderState = kReaderRunning;
    gui.trafficServiceInfo = "RT Direct";
    gui.qnhHpa = 1013;
    gui.liveAircraftCount = 123;
    gui.simaddonCount = 12;
    gui.thirdpartyCount = 34;
    gui.liveriesCount = 5678;
    gui.parkAirport = IcaoCode("EDDF");
    gui.parkedTrafficTextFlag = true;
    gui.parkedTrafficText = "RT parked 12";
    gui.parkAirportText = "stock";
    gui.airportQualityText = "0.8";
    gui.standCount = 120;
    gui.liveParkedCount = 5;
    gui.liveFit = 2.5f;
    gui.parkingTargetCount = 40;
    gui.parkingTargetPercent = 30;
    gui.staticCount = 33;
    gui.staticsWaiting = 4;
    gui.staticFit = 3.0f;
    gui.parkingIntervalMinutes = 20;
    gui.statusLine = "Scanning liveries ...";
    g_simState.store(SIM_RUNNING);
    g_rtConnected.store(true);
    g_parkingActive.store(true);
    gf_makeCurrentParkAirport(IcaoCode("EDDF"), LaLo{50.03, 8.57});
    gf_setParkAirportUserStand(IcaoCode("EDDF"), "A12");

    std::size_t ops = 0;
    for (auto _ : state) {
        RecordingPainter painter;
        painter.ops.reserve(160);
        lf_paintMainWindow(painter, gui);
        ops = painter.ops.size();
        benchmark::DoNotOptimize(painter.ops.data());
    }
    state.counters["ops"] = static_cast<double>(ops);
    g_simState.store(SIM_NOT_CONNECTED);
    g_rtConnected.store(false);
    g_parkingActive.store(false);
    gf_clearParkAirports();
}
BENCHMARK(BM_PaintExpandedWindow)->Unit(benchmark::kMicrosecond);

}  // namespace
