// A full paint of the expanded window through the FLTK painter, into an
// offscreen pixmap of the client's size on the display that DISPLAY names,
// until the X server has drawn it. Beside it the plainest way to the same
// pixels: the same operations, recorded once, drawn with FLTK's own calls in
// pixels. Budget: under 10 ms. Without a display both are skipped (labelled
// so, nothing measured); scripts/with-xvfb gives them one.
#include <benchmark/benchmark.h>

#include "app/window_paint.h"
#include "platform/window/fltk_painter.h"
#include "platform/window/fltk_x11.h"
#include "platform/window/headless.h"
#include "support/window_scene.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>
#undef None

namespace {

constexpr int kWidth = 900;
constexpr int kHeight = 768;

bool lf_displayOpen(benchmark::State& state) {
    static const bool open = [] {
        if (!gf_fltkOpenDisplay()) return false;
        gf_fltkRegisterFonts();
        return true;
    }();
    if (!open) {
        state.SetLabel("skipped: no display to draw on (run under scripts/with-xvfb)");
        for (auto _ : state) {
        }
    }
    return open;
}

void BM_FltkPaintExpandedWindow(benchmark::State& state) {
    if (!lf_displayOpen(state)) return;
    Gui gui;
    tavo::test::gf_showWindowScene(gui);
    FltkOffscreen offscreen(kWidth, kHeight);
    for (auto _ : state) {
        offscreen.draw([&] {
            FltkPainter painter(kWidth, kHeight);
            lf_paintMainWindow(painter, gui);
        });
        gf_fltkSync();
    }
    tavo::test::gf_clearWindowScene();
}
BENCHMARK(BM_FltkPaintExpandedWindow)->Unit(benchmark::kMillisecond);

void BM_FltkReplayRecordedPaint(benchmark::State& state) {
    if (!lf_displayOpen(state)) return;
    Gui gui;
    tavo::test::gf_showWindowScene(gui);
    RecordingPainter recorded;
    lf_paintMainWindow(recorded, gui);
    tavo::test::gf_clearWindowScene();
    FltkOffscreen offscreen(kWidth, kHeight);
    for (auto _ : state) {
        offscreen.draw([&] {
            for (const PaintOp& op : recorded.ops) {
                const LayoutRect& r = op.rect;
                fl_color(op.colour.r, op.colour.g, op.colour.b);
                switch (op.kind) {
                    case PaintOp::Kind::FillRect:
                        fl_rectf(r.left, r.top, r.width(), r.height());
                        break;
                    case PaintOp::Kind::OutlineRect:
                        fl_rect(r.left, r.top, r.width(), r.height());
                        break;
                    case PaintOp::Kind::Line:
                        fl_line(r.left, r.top, r.right, r.bottom);
                        break;
                    case PaintOp::Kind::Text:
                        fl_font(gf_fltkFont(op.bold), kFltkTextPixels96);
                        fl_draw(op.text.c_str(), static_cast<int>(op.text.size()), r.left,
                                r.top + fl_height() - fl_descent());
                        break;
                    case PaintOp::Kind::SetLayout:
                    case PaintOp::Kind::LineWidth:
                        break;
                }
            }
        });
        gf_fltkSync();
    }
}
BENCHMARK(BM_FltkReplayRecordedPaint)->Unit(benchmark::kMillisecond);

}  // namespace
