#pragma once
// The main window's content on a headless window with a Gui of its own: the
// settings at their defaults, the flags painting reads cleared, Log.txt open
// in a temporary folder, and helpers that turn recorded drawing into texts a
// test can compare.

#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "airports/current_airport.h"
#include "airports/parking_state.h"
#include "app/window_controls.h"
#include "app/window_paint.h"
#include "feed/feed_state.h"
#include "services/gui_harness.h"
#include "settings/settings_test_support.h"
#include "simlink/sim_link.h"
#include "support/temp_dir.h"

namespace tavo::test {

inline void resetWindowContentState() {
    resetSettingsToDefaults();
    for (Parameter* p : allTableParameters) {
        if (auto* control = dynamic_cast<GuiControl*>(p)) control->windowHandle.store(WindowHandle::None);
    }
    g_simState.store(SIM_NOT_CONNECTED);
    g_rtConnected.store(false);
    g_parkingActive.store(false);
    g_generatingParking.store(false);
    g_airportDataWeek.store(0);
    gf_clearParkAirports();
    gf_clearCurrentAirport();
}

class WindowContentTest : public LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        resetWindowContentState();
    }
    void TearDown() override {
        resetWindowContentState();
        LogFileTest::TearDown();
    }
    GuiHarness harness;
};

inline std::string gf_rgbText(Rgb c) { return fmt::format("{:02x}{:02x}{:02x}", c.r, c.g, c.b); }

// "text@x,y#rrggbb" with "!" after it for bold; y as drawn (3 above the y asked for).
inline std::vector<std::string> gf_textsOf(const std::vector<PaintOp>& ops) {
    std::vector<std::string> out;
    for (const PaintOp& op : ops) {
        if (op.kind != PaintOp::Kind::Text) continue;
        out.push_back(fmt::format("{}@{},{}#{}{}", op.text, op.rect.left, op.rect.top, gf_rgbText(op.colour),
                                  op.bold ? "!" : ""));
    }
    return out;
}

// Every operation but texts: "fill l,t,r,b#rrggbb", "outline ...", "line x1,y1,x2,y2#...",
// "layout w,h", "width n".
inline std::vector<std::string> gf_shapesOf(const std::vector<PaintOp>& ops) {
    std::vector<std::string> out;
    for (const PaintOp& op : ops) {
        const auto& r = op.rect;
        switch (op.kind) {
            case PaintOp::Kind::SetLayout:
                out.push_back(fmt::format("layout {},{}", r.right, r.bottom));
                break;
            case PaintOp::Kind::LineWidth:
                out.push_back(fmt::format("width {}", r.left));
                break;
            case PaintOp::Kind::FillRect:
                out.push_back(fmt::format("fill {},{},{},{}#{}", r.left, r.top, r.right, r.bottom, gf_rgbText(op.colour)));
                break;
            case PaintOp::Kind::OutlineRect:
                out.push_back(
                    fmt::format("outline {},{},{},{}#{}", r.left, r.top, r.right, r.bottom, gf_rgbText(op.colour)));
                break;
            case PaintOp::Kind::Line:
                out.push_back(fmt::format("line {},{},{},{}#{}", r.left, r.top, r.right, r.bottom, gf_rgbText(op.colour)));
                break;
            case PaintOp::Kind::Text:
                break;
        }
    }
    return out;
}

inline bool gf_has(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

}  // namespace tavo::test
