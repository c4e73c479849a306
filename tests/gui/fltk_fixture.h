#pragma once
// The program's main window on the FLTK backend, on a virtual X server of the
// test executable's own: Xvfb picks a free display number itself and reports
// it (so parallel runs never meet), with a screen of 24-bit colour and no
// window manager. The tests run on the FLTK thread (the test's main thread).

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
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
#include <FL/Fl_Input.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>
#undef None

namespace tavo::test {

class XvfbEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        m_pid = ::fork();
        ASSERT_GE(m_pid, 0);
        if (m_pid == 0) {
            ::close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            // Its notices are not the test's output.
            const int quiet = ::open("/dev/null", O_WRONLY);
            if (quiet >= 0) ::dup2(quiet, 2);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1920x1200x24", "-nolisten", "tcp",
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        std::string number;
        char c = 0;
        while (::read(fds[0], &c, 1) == 1 && c != '\n') number.push_back(c);
        ::close(fds[0]);
        ASSERT_FALSE(number.empty()) << "Xvfb did not start (is the xvfb package installed?)";
        ::setenv("DISPLAY", (":" + number).c_str(), 1);
        // The scale is set by each test.
        ::unsetenv("TAVO_DPI");
    }
    void TearDown() override {
        if (m_pid <= 0) return;
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }

private:
    pid_t m_pid = -1;
};

inline const bool g_xvfbRegistered = (::testing::AddGlobalTestEnvironment(new XvfbEnvironment), true);

// The program's window as the start-up opens it, on the FLTK backend at a
// DPI the test chooses.
class FltkProgramTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        fltk = FltkBackend::open(FltkOptions{dpi()});
        ASSERT_TRUE(fltk) << "no display";
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

inline Pixels gf_readWindow(FltkBackend& fltk) {
    Pixels p;
    p.width = fltk.fltkWindow()->w();
    p.data = fltk.readClientPixels();
    return p;
}

}  // namespace tavo::test
