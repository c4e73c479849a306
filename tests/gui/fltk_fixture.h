#pragma once
// The program's main window on the FLTK backend. The tests run on a virtual
// X server of their own (ctest starts them through scripts/with-xvfb: 24-bit
// colour, no window manager), on the FLTK thread (the test's main thread).

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/program_fixture.h"
#include "platform/window/fltk_backend.h"
#include "platform/window/fltk_painter.h"

// After the program's headers: FLTK's bring Xlib's macros, whose None would
// replace the program's own name.
#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>
#undef None

namespace tavo::test {

// The program's window as the start-up opens it, on the FLTK backend at a
// DPI the test chooses.
class FltkProgramTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        fltk = FltkBackend::open(FltkOptions{dpi()});
        ASSERT_TRUE(fltk) << "no display (ctest runs these tests under scripts/with-xvfb)";
        gf_installWindowBackend(fltk);
    }
    void TearDown() override {
        if (fltk) fltk->shutdown();
        ProgramTest::TearDown();
        fltk.reset();
    }
    virtual unsigned dpi() const { return 96; }

    // Opens the window and lets it appear and paint.
    WindowHandle show() {
        const WindowHandle window = open();
        settle();
        return window;
    }
    void settle() { fltk->pump(std::chrono::milliseconds(2000)); }
    // Pumps until the predicate holds; false after the time-out.
    bool pumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!pred()) {
            if (std::chrono::steady_clock::now() > end) return false;
            fltk->pump(std::chrono::milliseconds(50));
            if (!pred()) Fl::wait(0.01);
        }
        return true;
    }
    int px(int layout) const { return gf_mulDiv(layout, static_cast<int>(dpi()), 96); }

    std::shared_ptr<FltkBackend> fltk;
};

// The client area's pixels and their size, read back from the screen.
struct Pixels {
    std::vector<Rgb> data;
    int width = 0;
    Rgb at(int x, int y) const { return data.at(static_cast<std::size_t>(y) * width + x); }
};

// The first widget of that type in the window or its groups whose label is
// the text (any label when none is given); null when there is none.
template <class T>
T* gf_findWidget(Fl_Widget& root, const char* label = nullptr) {
    if (auto* found = dynamic_cast<T*>(&root)) {
        if (label == nullptr || (root.label() != nullptr && std::string(root.label()) == label)) return found;
    }
    if (Fl_Group* group = root.as_group()) {
        for (int i = 0; i < group->children(); ++i) {
            if (T* found = gf_findWidget<T>(*group->child(i), label)) return found;
        }
    }
    return nullptr;
}

inline Pixels gf_readWindow(FltkBackend& fltk) {
    Pixels p;
    p.width = fltk.fltkWindow()->w();
    p.data = fltk.readClientPixels();
    return p;
}

}  // namespace tavo::test
