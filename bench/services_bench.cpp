#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "bench_size.h"
#include "platform/window/headless.h"
#include "services/gui.h"
#include "services/stop.h"

namespace {

void BM_KeepRunning(benchmark::State& state) {
    gf_clearStopMailbox();
    for (auto _ : state) benchmark::DoNotOptimize(keepRunning());
}
BENCHMARK(BM_KeepRunning)->Threads(1)->Threads(4);

// The GUI of one benchmark run: a headless window whose procedure drains.
struct BenchGui {
    BenchGui() {
        gf_installWindowBackend(backend);
        gui.attachGuiThread();
        MainWindowSpec setup;
        setup.width = 916;
        setup.height = 807;
        setup.proc = [this](WindowHandle w, std::uint32_t msg, std::uint64_t wp, std::int64_t lp) -> std::int64_t {
            if (msg == MSG_GUI_UPDATE) {
                gui.drain();
                return 0;
            }
            return gf_defaultWindowProc(w, msg, wp, lp);
        };
        window = gf_createMainWindow(setup);
        gui.attachWindow(window);
    }
    ~BenchGui() {
        gui.close();
        backend->destroyWindow(window);
        gui.window.store(WindowHandle::None);
        gf_installWindowBackend(nullptr);
    }
    std::shared_ptr<HeadlessBackend> backend = std::make_shared<HeadlessBackend>();
    Gui gui;
    WindowHandle window = WindowHandle::None;
};

void lf_post(Gui& gui, int thread, std::uint64_t i) {
    switch (thread) {
        case 0: gui.enqueue(GuiUpdate::liveAircraftCount(i)); break;
        case 1: gui.enqueue(GuiUpdate::parkedCounts(i, i + 1)); break;
        case 2: gui.enqueue(GuiUpdate::statusLine("status line of a worker thread", false)); break;
        default: gui.enqueue(GuiUpdate::qnh(static_cast<std::int32_t>(1000 + i % 30))); break;
    }
}

// 4 threads x 10,000 updates posted while the GUI thread is busy, then applied
// by one drain: the time from the first post to the last item applied.
void BM_FourThreadsTenThousandUpdatesBurst(benchmark::State& state) {
    const int perThread = gf_benchSize(10000, 500);
    for (auto _ : state) {
        BenchGui g;
        {
            std::vector<std::jthread> workers;
            for (int t = 0; t < 4; ++t) {
                workers.emplace_back([&g, t, perThread] {
                    for (int i = 0; i < perThread; ++i) lf_post(g.gui, t, static_cast<std::uint64_t>(i));
                });
            }
        }
        g.backend->pump();
        if (g.gui.queuedCount() != 0) state.SkipWithError("items left in the queue");
    }
    state.SetItemsProcessed(state.iterations() * 4 * perThread);
}
BENCHMARK(BM_FourThreadsTenThousandUpdatesBurst)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same with the GUI thread running its message loop while the workers
// post, so drains and posts interleave.
void BM_FourThreadsTenThousandUpdatesLive(benchmark::State& state) {
    const int perThread = gf_benchSize(10000, 500);
    for (auto _ : state) {
        state.PauseTiming();
        auto g = std::make_unique<BenchGui>();
        std::jthread guiThread([&g] {
            g->gui.attachGuiThread();
            gf_runMessageLoop();
        });
        // Posts go to the queue once the GUI thread has taken over.
        while (g->gui.guiThread.load() == std::this_thread::get_id()) std::this_thread::yield();
        state.ResumeTiming();
        {
            std::vector<std::jthread> workers;
            for (int t = 0; t < 4; ++t) {
                workers.emplace_back([&g, t, perThread] {
                    for (int i = 0; i < perThread; ++i) lf_post(g->gui, t, static_cast<std::uint64_t>(i));
                });
            }
        }
        // Every post has returned; wait until the GUI thread took the rest.
        while (g->gui.queuedCount() != 0) std::this_thread::yield();
        gf_postQuitMessage(0);
        guiThread.join();
        state.PauseTiming();
        g.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 4 * perThread);
}
BENCHMARK(BM_FourThreadsTenThousandUpdatesLive)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
