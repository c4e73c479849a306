// The main window's procedure, the start of each run of the main thread, and
// the termination signals that stand for the close button.
#include <pthread.h>
#include <signal.h>
#include <time.h>

#include <chrono>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

#include <fmt/format.h>

#include "app/command_handlers.h"
#include "app/destination.h"
#include "app/main_thread.h"
#include "app/program.h"
#include "app/window_controls.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/time.h"
#include "services/gui.h"
#include "services/shell.h"
#include "services/stop.h"
#include "settings/parameters.h"
#include "settings/parameters_file.h"
#include "settings/snapshot.h"

namespace {

std::mutex g_hooksMutex;
MainThreadFunction g_mainThreadFunction;
CommandHandler g_commandHandler;
std::atomic<bool> g_runUnderWay{false};
std::mutex g_noticeMutex;
std::optional<std::string> g_startNotice;

void lf_startMainThread() {
    MainThreadFunction function;
    {
        std::lock_guard lock(g_hooksMutex);
        function = g_mainThreadFunction;
    }
    if (!function) function = &lf_main;
    g_runUnderWay.store(true);
    try {
        g_mainThread = std::jthread([function = std::move(function)] {
            try {
                function();
            } catch (...) {
                // The run's own top level reports what it can; nothing escapes a thread.
            }
            g_runUnderWay.store(false);
        });
    } catch (...) {
        g_runUnderWay.store(false);
        throw;
    }
}

// What the read of the window position found before Log.txt was open: its
// lines reach the first Log.txt, and a user whose settings file was damaged
// learns that the settings start from their defaults and where the old
// ones are.
void lf_reportWindowPositionNotes() {
    const WindowPositionNotes notes = gf_takeWindowPositionNotes();
    for (const std::string& line : notes.errorLines) gf_logError(line);
    if (notes.keptAs) {
        const std::string notice = fmt::format(
            "The settings could not be read and were reset to their defaults; the old file is kept as '{}'",
            gf_pathToUtf8(*notes.keptAs));
        Gui::addStatusLine(notice, true);
        std::lock_guard lock(g_noticeMutex);
        g_startNotice = notice;
    }
}

void lf_onStart() {
    try {
        if (g_mainThread.joinable()) g_mainThread.join();
        gf_openLogFile();
        lf_reportWindowPositionNotes();
        lf_startMainThread();
    } catch (const std::exception& e) {
        gf_logError(fmt::format("Restart failed before main thread start: {}", e.what()));
        gf_flushLog();
        Gui::showError(fmt::format("Restart failed: {}", e.what()));
    } catch (...) {
        gf_logError("Restart failed before main thread start: unknown exception");
        gf_flushLog();
        Gui::showError("Restart failed: unknown exception");
    }
}

void lf_onExit(WindowHandle window) {
    if (g_mainThread.joinable()) g_mainThread.join();
    std::optional<PixelRect> rect;
    if (const auto placement = gf_windowPlacement(window);
        placement && (placement->show == ShowCommand::Minimized || placement->show == ShowCommand::Maximized)) {
        rect = placement->normalRect;
    } else {
        rect = gf_windowRect(window);
    }
    const int oldX = MAIN_WINDOW_X.value();
    const int oldY = MAIN_WINDOW_Y.value();
    if (rect) {
        MAIN_WINDOW_X.set(rect->left);
        MAIN_WINDOW_X.save();
        MAIN_WINDOW_Y.set(rect->top);
        MAIN_WINDOW_Y.save();
    }
    lf_keepWindowOnScreen(oldX, oldY);
    gf_log(gf_utcDateTimeText());
    gf_gui().close();
    gf_postQuitMessage(g_exitCode.load());
}

void lf_onSwitchSim() {
    const std::string target = isMSFS2020() ? "MSFS 2024" : "MSFS 2020";
    SIM_CHOICE.setAndSave(target);
    if (const auto index = SIM_CHOICE.indexOfValue()) {
        gf_setComboSelection(SIM_CHOICE.controlId, static_cast<int>(*index));
    }
    Gui::addStatusLine(fmt::format("Switching MSFS version in {}", kProgramTitle), true);
    requestStop(StopReason::NewSettings, 0);
}

void lf_onClick(WindowHandle window, std::int64_t lParam) {
    const int x = static_cast<std::int16_t>(lParam & 0xFFFF);
    const int y = static_cast<std::int16_t>((lParam >> 16) & 0xFFFF);
    Gui& gui = gf_gui();
    if (!gui.expandBox.contains(x, y)) return;
    Gui::enqueueUpdate(GuiUpdate::toggleCompact());
    gf_invalidate(window, std::nullopt, true);
    gf_updateWindow(window);
    COLLAPSED.setValue(gui.compact);
    COLLAPSED.save();
}

void lf_onDpiChanged(WindowHandle window, std::uint64_t wParam, std::int64_t lParam) {
    const unsigned dpi = static_cast<unsigned>(wParam & 0xFFFF);
    if (dpi == 0 || lParam == 0) return;
    const PixelRect suggested = *reinterpret_cast<const PixelRect*>(static_cast<std::intptr_t>(lParam));
    Gui& gui = gf_gui();
    gf_rescaleChildren(gui.dpi, dpi, gui);
    gf_setControlsFont(dpi, gui);
    gui.dpi = dpi;
    const auto size = gui.windowSizeForClient(gui.clientLayoutHeight());
    gf_setWindowPos(window, std::pair{suggested.left, suggested.top}, size);
    gf_invalidate(window, std::nullopt, true);
}

// Enter in the destination field is no command of the handlers: it is
// consumed here, as the field's own procedure would consume the key.
bool lf_handleDestinationReturn(std::uint64_t wParam) {
    if ((wParam & 0xFFFF) != DESTINATION.controlId || ((wParam >> 16) & 0xFFFF) != EN_RETURN) return false;
    try {
        lf_destinationReturnPressed();
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{} exception {}", "lf_destinationEditProc", e.what()));
    }
    return true;
}

}  // namespace

void gf_setMainThreadFunction(MainThreadFunction function) {
    std::lock_guard lock(g_hooksMutex);
    g_mainThreadFunction = std::move(function);
}

bool gf_mainRunUnderWay() noexcept { return g_runUnderWay.load(); }

std::optional<std::string> gf_takeStartNotice() {
    std::lock_guard lock(g_noticeMutex);
    return std::exchange(g_startNotice, std::nullopt);
}

void gf_setCommandHandler(CommandHandler handler) {
    std::lock_guard lock(g_hooksMutex);
    g_commandHandler = std::move(handler);
}

std::int64_t lf_WndProc(WindowHandle window, std::uint32_t message, std::uint64_t wParam, std::int64_t lParam) {
    switch (message) {
        case WM_CREATE:
            g_mainWindow.store(window);
            lf_createControls(window, gf_gui());
            return 0;
        case WM_DESTROY:
            gf_gui().close();
            gf_postQuitMessage(0);
            return 0;
        case WM_CLOSE:
            Gui::addStatusLine(
                fmt::format("{} close window button clicked, closing {} ...", gf_utcTimeText(), kProgramTitle),
                false);
            requestStop(StopReason::UserClosedSim, 0);
            // With no run under way nobody would close down and post MSG_EXIT
            // (a start failed, or the last run has ended): end here.
            if (!gf_mainRunUnderWay()) lf_onExit(window);
            return 0;
        case WM_COMMAND: {
            if (lf_handleDestinationReturn(wParam)) return 0;
            CommandHandler handler;
            {
                std::lock_guard lock(g_hooksMutex);
                handler = g_commandHandler;
            }
            const bool handled = handler ? handler(window, wParam) : lf_HandleWMCOMMAND(window, wParam);
            if (handled) return 0;
            return gf_defaultWindowProc(window, message, wParam, lParam);
        }
        case WM_LBUTTONDOWN:
            lf_onClick(window, lParam);
            return 0;
        case WM_DPICHANGED:
            lf_onDpiChanged(window, wParam, lParam);
            return 0;
        case MSG_START:
            lf_onStart();
            return 0;
        case MSG_EXIT:
            lf_onExit(window);
            return 0;
        case MSG_GUI_UPDATE:
            gf_gui().drain();
            return 0;
        case MSG_SWITCH_SIM:
            lf_onSwitchSim();
            return 0;
        default:
            return gf_defaultWindowProc(window, message, wParam, lParam);
    }
}

// --- termination signals -------------------------------------------------------

namespace {

// A termination signal taken and not yet delivered to a window.
std::atomic<bool> g_terminationPending{false};

}  // namespace

void gf_deliverTermination() {
    if (!g_terminationPending.load()) return;
    const WindowHandle window = g_mainWindow.load();
    if (window == WindowHandle::None || !gf_isWindow(window)) return;
    // The watcher and the start-up may both get here for one signal: one
    // posts.
    if (!g_terminationPending.exchange(false)) return;
    if (!gf_postMessage(window, WM_CLOSE)) g_terminationPending.store(true);
}

struct TerminationSignalWatcher::State {
    std::atomic<bool> stop{false};
    std::atomic<std::uint64_t> taken{0};
    std::thread thread;
};

TerminationSignalWatcher::TerminationSignalWatcher() = default;
TerminationSignalWatcher::~TerminationSignalWatcher() { stop(); }

void TerminationSignalWatcher::start() {
    if (m_state) return;
    g_terminationPending.store(false);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    m_state = std::make_unique<State>();
    State* state = m_state.get();
    state->thread = std::thread([state, set] {
        // Waits in short steps so that stop() is answered promptly.
        const timespec step{0, 100'000'000};
        while (!state->stop.load()) {
            if (sigtimedwait(&set, nullptr, &step) > 0) {
                // Counted before it is delivered: the close it posts may end
                // the program before this thread runs again.
                state->taken.fetch_add(1);
                // Kept first, so that a start-up making the window right now
                // finds it if this finds no window yet.
                g_terminationPending.store(true);
                gf_deliverTermination();
            }
        }
    });
}

void TerminationSignalWatcher::stop() {
    if (!m_state) return;
    m_state->stop.store(true);
    if (m_state->thread.joinable()) m_state->thread.join();
    m_state.reset();
}

std::uint64_t TerminationSignalWatcher::taken() const { return m_state ? m_state->taken.load() : 0; }
