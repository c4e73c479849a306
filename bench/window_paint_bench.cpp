#include <benchmark/benchmark.h>

#include "app/window_paint.h"
#include "platform/window/headless.h"
#include "support/window_scene.h"

namespace {

// A full paint of the expanded window with everything shown: both lamps lit,
// a park airport with its parking rows and a status line. Budget: under 1 ms.
void BM_PaintExpandedWindow(benchmark::State& state) {
    Gui gui;
    tavo::test::gf_showWindowScene(gui);

    std::size_t ops = 0;
    for (auto _ : state) {
        RecordingPainter painter;
        painter.ops.reserve(160);
        lf_paintMainWindow(painter, gui);
        ops = painter.ops.size();
        benchmark::DoNotOptimize(painter.ops.data());
    }
    state.counters["ops"] = static_cast<double>(ops);
    tavo::test::gf_clearWindowScene();
}
BENCHMARK(BM_PaintExpandedWindow)->Unit(benchmark::kMicrosecond);

}  // namespace
