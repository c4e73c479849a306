// One simulator frame with 512 AI objects receiving a pose each, as the
// simulator link sends them: the frame event is dispatched and the dispatch
// procedure sets the pose of every object. Budget: well under 0.3 ms.

#include <benchmark/benchmark.h>

#include <vector>

#include "platform/simconnect/sim_model.h"
#include "platform/simconnect/simconnect.h"

namespace {

struct FrameContext {
    HANDLE h = nullptr;
    std::vector<DWORD> objects;
    double step = 0;
    int frames = 0;
};

void lf_frameProc(SIMCONNECT_RECV* data, DWORD size, void* ctx) {
    auto* c = static_cast<FrameContext*>(ctx);
    if (size < sizeof(SIMCONNECT_RECV) || data->dwID != SIMCONNECT_RECV_ID_EVENT_FRAME) return;
    ++c->frames;
    c->step += 1e-6;
    for (std::size_t i = 0; i < c->objects.size(); ++i) {
        double pose[8] = {47.0 + static_cast<double>(i) * 1e-4 + c->step, 8.0 + c->step, 0.01, 0.0, 1.2, 2000.0,
                          -300.0, 140.0};
        if (SimConnect_SetDataOnSimObject(c->h, 402, c->objects[i], 0, 0, sizeof pose, pose) < 0) std::abort();
    }
}

void BM_SimFrame512Poses(benchmark::State& state) {
    gf_simModelReset();
    gf_simModelSetAcceptAnyTitle(true);
    gf_simModelSetJournalLimit(64);  // a long run keeps its memory bounded
    gf_simModelStart(SimVersion::MSFS2020);
    FrameContext ctx;
    SimConnect_Open(&ctx.h, "TAVO", nullptr, 0, nullptr, 0);
    SimConnect_SubscribeToSystemEvent(ctx.h, 204, "Frame");
    const char* names[] = {"Plane Latitude", "Plane Longitude", "Plane Pitch degrees", "Plane Bank degrees",
                           "Plane Heading degrees true", "Plane Altitude", "Vertical Speed", "Airspeed True"};
    const char* units[] = {"degree", "degree", "radian", "radian", "radian", "feet", "feet per minute", "knots"};
    for (int i = 0; i < 8; ++i) SimConnect_AddToDataDefinition(ctx.h, 402, names[i], units[i]);
    for (DWORD i = 0; i < 512; ++i)
        SimConnect_AICreateNonATCAircraft(ctx.h, "Any", "N", {47.0, 8.0, 2000, 0, 0, 0, 0, 140}, 10000 + i);
    // Collect the assigned ids (and drop OPEN, Sim and ObjectAdded).
    auto collect = [](SIMCONNECT_RECV* d, DWORD, void* c) {
        if (d->dwID == SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID)
            static_cast<FrameContext*>(c)->objects.push_back(
                reinterpret_cast<SIMCONNECT_RECV_ASSIGNED_OBJECT_ID*>(d)->dwObjectID);
    };
    SimConnect_CallDispatch(ctx.h, collect, &ctx);
    if (ctx.objects.size() != 512) {
        state.SkipWithError("creates failed");
        return;
    }
    for (auto _ : state) {
        gf_simModelFrames(1);
        SimConnect_CallDispatch(ctx.h, lf_frameProc, &ctx);
    }
    if (ctx.frames != static_cast<int>(state.iterations())) state.SkipWithError("frames lost");
    state.counters["poses"] = benchmark::Counter(512.0 * static_cast<double>(state.iterations()),
                                                 benchmark::Counter::kIsRate);
    SimConnect_Close(ctx.h);
    gf_simModelReset();
}

}  // namespace

BENCHMARK(BM_SimFrame512Poses)->Unit(benchmark::kMicrosecond);
