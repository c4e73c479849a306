#pragma once
// The program's start: one copy per user, the command line, the data folder,
// the main window at its remembered place, the first MSG_START and the
// message loop; and the main window's procedure, which starts and joins the
// main thread, drains the GUI updates, switches the simulator and ends the
// program through MSG_EXIT. GUI thread unless said otherwise.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/window/window.h"

// The program's exit code, set by the main thread; MSG_EXIT quits with it.
extern std::atomic<int> g_exitCode;
// True when "--production" was given: the main thread then runs the data-file
// step only and ends. Published once, before the window is shown.
extern std::atomic<bool> g_production;

inline constexpr std::string_view kProgramTitle = "TAVO";
// The window's remembered place when there is none (or it is implausible).
inline constexpr int kDefaultWindowX = 400;
inline constexpr int kDefaultWindowY = 20;

// True when any argument after the program's own name is "--production" in
// any letter case; the name itself is never compared.
bool gf_productionRequested(const std::vector<std::string>& args);

// What a run of the main thread executes: the program's own is lf_main.
// Tests set their own; an empty function restores the program's.
using MainThreadFunction = std::function<void()>;
void gf_setMainThreadFunction(MainThreadFunction function);
// True from MSG_START starting a run until that run's function returned.
bool gf_mainRunUnderWay() noexcept;

// What the user must read before a run goes on with it (the settings were
// reset to their defaults): kept by MSG_START for the run it starts, whose
// start-up shows it in a box, once. Status lines are no place for it: the
// start-up's own replace them before the user could read them. Any thread.
std::optional<std::string> gf_takeStartNotice();

// Replaces the command handlers (lf_HandleWMCOMMAND) for WM_COMMAND of the
// controls (wParam); false when not handled. Tests set their own; an empty
// function restores the program's.
using CommandHandler = std::function<bool(WindowHandle, std::uint64_t)>;
void gf_setCommandHandler(CommandHandler handler);

// Where the start-up looks; empty members take the program's own places.
struct ProgramSetup {
    std::filesystem::path dataFolder;  // programDataFolder()
    std::filesystem::path lockFolder;  // gf_osSingleInstanceFolder()
    // Runs once this copy holds the lock, before the start-up: the entry
    // chooses its window layer there and tells the user that TAVO runs (a
    // second copy says nothing).
    std::function<void()> started;
};

// The process entry behind main: -1 at once (silently) when another copy
// holds the lock; 1 after a start-up failure, whose line goes to the log and
// to stderr (the log is not open yet), a lock file that cannot be used among
// them; else the quit code of the message loop.
int gf_programMain(const std::vector<std::string>& args, const ProgramSetup& setup = {});

// Creates and shows the main window at its remembered place; false when it
// could not be made.
bool initInstance(std::string_view title);

// Moves the main window so that at least 48 x 48 pixels of it lie on the
// nearest monitor's work area, with a window wider (taller) than the work area
// at its left (top) edge; a remembered coordinate at a limit of its parameter
// is replaced by the fallback first. Stores and saves the result.
void lf_keepWindowOnScreen(int fallbackX, int fallbackY);

// Posts WM_CLOSE to the main window for a termination signal kept, once the
// window exists; nothing when no signal waits. The watcher calls it when a
// signal comes, the start-up once the window exists.
void gf_deliverTermination();

// The main window's procedure.
std::int64_t lf_WndProc(WindowHandle window, std::uint32_t message, std::uint64_t wParam, std::int64_t lParam);

// Turns SIGINT and SIGTERM into WM_CLOSE for the main window (the close
// button where there is none to click). start() blocks both signals in the
// calling thread, so it must run before any other thread starts (they inherit
// the mask); a thread of its own then waits for them. A signal that comes
// before the main window exists is kept until the start-up has made it, so
// the program ends on the first one whenever it comes.
class TerminationSignalWatcher {
public:
    TerminationSignalWatcher();
    ~TerminationSignalWatcher();
    TerminationSignalWatcher(const TerminationSignalWatcher&) = delete;
    TerminationSignalWatcher& operator=(const TerminationSignalWatcher&) = delete;
    // Also forgets a signal kept from an earlier watcher.
    void start();
    void stop();
    // The signals taken so far.
    std::uint64_t taken() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};
