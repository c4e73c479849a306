#include "app/program.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <exception>
#include <mutex>
#include <system_error>

#include <fmt/format.h>

#include "app/control_states.h"
#include "app/window_controls.h"
#include "app/window_paint.h"
#include "foundation/log.h"
#include "platform/os/os.h"
#include "services/gui.h"
#include "services/seams.h"
#include "services/shell.h"
#include "services/stop.h"
#include "settings/parameters.h"
#include "settings/parameters_file.h"

std::atomic<int> g_exitCode{0};
std::atomic<bool> g_production{false};

namespace {

bool lf_equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// A start-up failure: the log is not open yet, so its line also goes to
// stderr, where whoever started the program sees it.
int lf_startupFailed(const std::string& line) {
    gf_logError(line);
    std::fprintf(stderr, "TAVO: %s\n", line.c_str());
    std::fflush(stderr);
    return 1;
}

int lf_windowsStartup(const std::vector<std::string>& args, const ProgramSetup& setup) {
    const bool production = gf_productionRequested(args);

    const std::filesystem::path folder = setup.dataFolder.empty() ? programDataFolder() : setup.dataFolder;
    std::error_code ec;
    const bool exists = std::filesystem::exists(folder, ec);
    if (!ec && !exists) std::filesystem::create_directories(folder, ec);
    if (ec) return lf_startupFailed(fmt::format("Failed to create directory: {}", ec.message()));

    if (!initInstance(kProgramTitle)) return lf_startupFailed("initInstance failed");

    g_production.store(production);
    const WindowHandle window = g_mainWindow.load();
    if (gf_isWindow(window)) gf_postMessage(window, MSG_START);
    // A termination signal that came while there was no window to close
    // closes it now.
    gf_deliverTermination();
    return gf_runMessageLoop();
}

}  // namespace

bool gf_productionRequested(const std::vector<std::string>& args) {
    return std::any_of(args.begin() + std::min<std::size_t>(1, args.size()), args.end(),
                       [](const std::string& a) { return lf_equalsIgnoringCase(a, "--production"); });
}

int gf_programMain(const std::vector<std::string>& args, const ProgramSetup& setup) {
    gf_setFoundationSeams();
    gf_installShellSeams();
    // Held until the program returns from here, which is its end.
    SingleInstanceLock lock;
    switch (lock.acquire(setup.lockFolder)) {
        case SingleInstanceLock::Outcome::Held:
            break;
        case SingleInstanceLock::Outcome::HeldByAnother:
            return -1;
        case SingleInstanceLock::Outcome::Refused:
            return lf_startupFailed(fmt::format("Cannot start: {}", lock.error()));
    }
    if (setup.started) setup.started();

    int code = 1;
    try {
        code = lf_windowsStartup(args, setup);
    } catch (const std::exception& e) {
        code = lf_startupFailed(fmt::format("Windows startup failed: {}", e.what()));
    } catch (...) {
        code = lf_startupFailed("Windows startup failed with an unknown exception");
    }
    // A run still under way (the window went without MSG_EXIT) is asked to
    // stop and joined, so nothing outlives the window.
    if (g_mainThread.joinable()) {
        requestStop(StopReason::UserClosedSim, 0);
        gf_stopAndJoin(g_mainThread);
    }
    return code;
}

bool initInstance(std::string_view title) {
    Gui& gui = gf_gui();
    gui.attachGuiThread();
    gui.dpi = gf_systemDpi();
    if (!gf_makeGuiFont(false, 96) || !gf_makeGuiFont(true, 96) || !gf_makeGuiFont(false, gui.dpi)) {
        gf_logError("Creating GUI fonts failed");
        return false;
    }
    gf_readWindowPosition();

    const auto size = gui.windowSizeForClient(gui.clientLayoutHeight());
    MainWindowSpec spec;
    spec.title = std::string(title);
    spec.x = MAIN_WINDOW_X.value();
    spec.y = MAIN_WINDOW_Y.value();
    spec.width = size.first;
    spec.height = size.second;
    spec.proc = &lf_WndProc;
    spec.paint = [](WindowHandle, Painter& painter) { lf_paintMainWindow(painter, gf_gui()); };
    const WindowHandle window = gf_createMainWindow(spec);
    if (window == WindowHandle::None) return false;
    gui.attachWindow(window);

    const unsigned dpi = gf_windowDpi(window);
    gf_rescaleChildren(96, dpi, gui);
    gf_setControlsFont(dpi, gui);
    gui.dpi = dpi;
    gui.repaint(kRepaintResize);

    lf_keepWindowOnScreen(kDefaultWindowX, kDefaultWindowY);
    gf_showWindow(window, ShowCommand::Normal);
    gf_updateWindow(window);
    return true;
}

void lf_keepWindowOnScreen(int fallbackX, int fallbackY) {
    constexpr int kVisible = 48;
    for (auto [parameter, fallback] : {std::pair{&MAIN_WINDOW_X, fallbackX}, std::pair{&MAIN_WINDOW_Y, fallbackY}}) {
        const int v = parameter->value();
        if (v == parameter->minimum() || v == parameter->maximum()) {
            parameter->set(fallback);
            parameter->save();
        }
    }
    const WindowHandle window = g_mainWindow.load();
    const std::optional<PixelRect> outer = gf_windowRect(window);
    if (!outer) return;
    const int x = MAIN_WINDOW_X.value();
    const int y = MAIN_WINDOW_Y.value();
    const PixelRect rect{x, y, x + outer->width(), y + outer->height()};
    const PixelRect work = gf_nearestWorkArea(rect);

    // One axis: start at the work area's edge when too long for it; keep at
    // least 48 pixels inside on either side.
    auto place = [](int start, int length, int workStart, int workEnd) {
        if (length > workEnd - workStart) start = workStart;
        if (start + length < workStart + kVisible) start = workStart + kVisible - length;
        return std::min(start, workEnd - kVisible);
    };
    const int left = place(rect.left, rect.width(), work.left, work.right);
    const int top = place(rect.top, rect.height(), work.top, work.bottom);
    // A window that still stands where an implausible value put it is moved
    // too, although the replaced value itself needs no correction.
    if (left == rect.left && top == rect.top && outer->left == left && outer->top == top) return;
    MAIN_WINDOW_X.set(left);
    MAIN_WINDOW_Y.set(top);
    MAIN_WINDOW_X.save();
    MAIN_WINDOW_Y.save();
    gf_setWindowPos(window, std::pair{MAIN_WINDOW_X.value(), MAIN_WINDOW_Y.value()}, std::nullopt);
}
