#include "app/main_thread.h"

#include <atomic>
#include <chrono>
#include <exception>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <thread>

#include <fmt/format.h>

#include "airports/current_airport.h"
#include "app/closing_down.h"
#include "app/command_handlers.h"
#include "app/control_states.h"
#include "app/destination.h"
#include "app/install_path_check.h"
#include "app/install_paths.h"
#include "app/main_loop.h"
#include "app/neighbour_services.h"
#include "app/program.h"
#include "app/start_paths.h"
#include "app/updater.h"
#include "app/window_controls.h"
#include "engine/user_position.h"
#include "feed/credential.h"
#include "feed/feed_state.h"
#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/winsock.h"
#include "platform/window/window.h"
#include "services/gui.h"
#include "services/shell.h"
#include "services/stop.h"
#include "settings/parameters.h"
#include "settings/snapshot.h"
#include "settings/validation.h"
#include "simlink/sim_link.h"

namespace fs = std::filesystem;

namespace {

using namespace std::chrono_literals;

constexpr std::uint16_t kWinsockVersion = 0x0202;
constexpr int kNotInstalledHereCode = 41;

// Set once the first run of the process has read the aircraft database
// (also when the read failed): restarts do not read the data files again.
std::atomic<bool> l_dataFilesLoaded{false};

void lf_shellSleepFor(std::chrono::steady_clock::duration duration) {
    const ShellWaitClock clock = gf_shellWaitClock();
    clock.sleepUntil(clock.now() + duration);
}

bool lf_userPositionValid() {
    const UserAircraftState user = gf_getUserAircraftState();
    return !gf_isUnknownPosition(user.latitude, user.longitude);
}

// The simulator link answers the request with its next user-position reply;
// the engine side sees what is known so far.
void lf_askAndPublishUserPosition() {
    gf_queueSimRequest(SIM_REQUEST_USER_POSITION);
    gf_publishUserAircraftState(gf_getUserAircraftState());
}

PathParameter& lf_chosenInstallPath() { return isMSFS2020() ? MSFS_INSTALL_PATH : MSFS_2024_INSTALL_PATH; }

// The text after the last separator of either kind; empty when the path ends
// in one.
std::string lf_lastPathPart(const std::string& path) {
    const auto at = path.find_last_of("\\/");
    return at == std::string::npos ? path : path.substr(at + 1);
}

// A Community folder chosen in place of the packages root means its parent.
void lf_replaceCommunityInstallPath() {
    PathParameter& installPath = lf_chosenInstallPath();
    const std::string text = gf_pathToUtf8(installPath.value());
    if (lf_lastPathPart(text) != "Community") return;
    const auto at = text.find_last_of("\\/");
    installPath.setAndSave(fs::path(at == std::string::npos ? std::string() : text.substr(0, at)));
}

// The regular files directly in a folder; 0 when the folder is missing.
std::uint64_t lf_countRegularFiles(const fs::path& folder) {
    if (!fs::exists(folder)) return 0;
    std::uint64_t count = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        if (entry.is_regular_file()) ++count;
    }
    return count;
}

// A stored destination is applied at start; one that is no airport code (an
// older version or a hand-edited file) must not stop every start, so it is
// forgotten instead.
void lf_applyStoredDestination(const NeighbourServices& services) {
    const std::string text = DESTINATION.value();
    if (text.empty()) return;
    IcaoCode code;
    try {
        code = IcaoCode(text);
    } catch (const std::invalid_argument& e) {
        gf_logError(fmt::format("The stored destination is no airport code ({}), it is cleared", e.what()));
        DESTINATION.setAndSave("");
        gf_publishParameter(DESTINATION);
        gf_setControlText(DESTINATION.controlId, "");
        return;
    }
    if (const auto airport = services.findAirport(code)) lf_setDestinationStand(text, *airport);
}

// The airport the user aircraft stands at becomes the park airport of the run.
void lf_takeParkAirport(const NeighbourServices& services) {
    if (!g_userOnGround.load()) return;
    const UserAircraftState user = gf_getUserAircraftState();
    const auto airport = services.findNearestAirport(LaLo{user.latitude, user.longitude});
    if (!airport) return;
    gf_setCurrentAirport(*airport);
    Gui::enqueueUpdate(GuiUpdate::parkAirportCode(airport->icao));
    gf_log(fmt::format("User aircraft on the ground at {}", airport->icao));
    gf_log(fmt::format("The park airport is {}", airport->icao));
}

void lf_disableScanControls() {
    gf_enableControl(LIG_AUTOMATIC.controlId, false);
    gf_enableControl(AI_PACKAGE_SELECTOR.controlId, false);
    gf_enableControl(LIG_PRIORITIZE.controlId, false);
}

// The livery tables from the scanned file; the scan runs unless the user
// chose to skip it and a scanned file is there to build from.
void lf_prepareLiveries(const NeighbourServices& services) {
    lf_disableScanControls();
    struct EnableScanControls {
        ~EnableScanControls() {
            try {
                lf_enableScanControls();
            } catch (...) {
                // Enabling controls never stops the run.
            }
        }
    } guard;
    if (!keepRunning()) return;
    const auto settings = settingsSnapshot.load();
    if (!(settings->SKIP_LIVERIES_SCAN && fs::exists(gf_liveriesScannedFilePath()))) services.scanLiveries();
    services.processScannedLiveries();
}

// The window shows the settings the run starts with; the user reads why
// they are the defaults before it goes on. A command-line job has nobody to
// answer a box: the notice stays in Log.txt.
void lf_showStartNotice() {
    const std::optional<std::string> notice = gf_takeStartNotice();
    if (!notice || g_production.load()) return;
    gf_messageBox(g_mainWindow.load(), *notice, kProgramTitle, MessageBoxIcon::Warning, MessageBoxButtons::Ok);
}

// A "--production" run is a command-line job: whoever started it learns from
// the exit code that it failed, also when the failure came before the job
// itself (data files that cannot be read).
void lf_runFailed() {
    if (g_production.load()) g_exitCode.store(1);
}

// Steps 1 to 21 of a run; returning early ends the run (closing down follows).
void lf_run() {
    WsaData data{};
    if (const int result = gf_wsaStartup(kWinsockVersion, data); result != 0) {
        throw std::runtime_error(fmt::format("WSAStartup failed, error: {}", result));
    }
    gf_winsockGuard().hold(data);

    if (!fs::is_directory(fs::status(docsDir))) {
        throw tavo::UserRelatedException(kNotInstalledHereCode, lf_programName("{} must be run from the {} folder!"));
    }
    if (!lf_startUp()) return;

    std::shared_ptr<const NeighbourServices> holder = gf_neighbourServices();
    const NeighbourServices& services = *holder;
    lf_prepareLiveries(services);

    if (!keepRunning()) return;
    Gui::enqueueUpdate(GuiUpdate::simaddonCount(lf_countRegularFiles(mySimaddonDir)));
    Gui::enqueueUpdate(GuiUpdate::thirdpartyCount(lf_countRegularFiles(myThirdpartyDir)));

    if (!keepRunning()) return;
    if (const auto folder = gf_flightPlanFolder(); folder && !gf_prepareFlightPlanFolder(*folder)) {
        // Without the folder the simulator cannot be given flight plans; the
        // run ends with a reason the user can see, not silently.
        Gui::showError(fmt::format("The flight plan folder '{}' cannot be used", gf_pathToUtf8(*folder)));
        requestStop(StopReason::SystemError, 0);
        return;
    }
    services.readMyParkAirportsFile();
    lf_applyStoredDestination(services);
    Gui::enqueueUpdate(GuiUpdate::stayOnTop(ALWAYS_ON_TOP.value()));
    g_rtConnected.store(false);
    services.initTrafficEngine();
    gf_enableControl(RT_CHOISE.controlId, true);
    gf_flushLog();

    if (!lf_startSimClient()) return;
    lf_takeParkAirport(services);
    if (isRTDirect()) {
        if (!lf_startRTDirect()) return;
    } else {
        if (!lf_startRTApp()) return;
    }
    gf_storeCurrentWeekTime();
    lf_mainLoop();
}

}  // namespace

std::string lf_programName(std::string_view format) {
    return fmt::format(fmt::runtime(format), kProgramTitle, kProgramTitle);
}

void lf_main() {
    // Only what the user chooses from now on may turn this run's end into a restart.
    g_startChoiceChanged.store(false);
    try {
        lf_run();
    } catch (const tavo::UserRelatedException& e) {
        lf_runFailed();
        const std::string_view text = e.what();
        Gui::showError(text.empty() ? std::string_view("Unknown exception") : text);
        requestStop(StopReason::SystemError, 0);
    } catch (const fmt::format_error& e) {
        lf_runFailed();
        Gui::showError(std::string("std::format error: ") + e.what());
        gf_reportSystemError(e.what());
    } catch (const std::exception& e) {
        lf_runFailed();
        gf_reportSystemError(e.what());
    } catch (...) {
        lf_runFailed();
        Gui::showError("Unknown exception");
        requestStop(StopReason::SystemError, 0);
    }
    try {
        lf_closingDown();
    } catch (...) {
        // Closing down reports its own failures; nothing may end the thread.
    }
}

bool lf_startUp() {
    gf_validateRadiusParameters();
    gf_validateStartupChoices();
    gf_publishAllParameters();
    Gui::enqueueUpdate(GuiUpdate::repaint(kRepaintHeader));
    lf_initControls();
    Gui::enqueueUpdate(GuiUpdate::setCompact(COLLAPSED.value()));
    lf_showStartNotice();
    lf_replaceCommunityInstallPath();
    lf_createFolders();
    if (isRTDirect()) gf_getRTLicense();
    if (!g_restartUnderWay.load() && !gf_checkForUpdates()) return false;
    lf_initTimeShiftControls();
    gf_storeCurrentWeekTime();

    const std::shared_ptr<const NeighbourServices> services = gf_neighbourServices();
    if (!l_dataFilesLoaded.load()) {
        const bool read = services->readDbase();
        l_dataFilesLoaded.store(true);
        if (!read) throw std::runtime_error("reading data files failed!");
    }
    const AirportsLoadResult airports = services->loadAirports();
    if (const auto* error = std::get_if<std::string>(&airports)) throw std::runtime_error(*error);

    if (lf_chosenInstallPath().value().empty() && !lf_checkInstallPaths()) {
        // The window stays a while with the reason on its error line: the user
        // may choose the other simulator meanwhile.
        const std::string_view simulator = isMSFS2020() ? "MSFS" : "MSFS2024";
        Gui::showError(fmt::format("{} cannot find the {} install path: no {} Community folder was selected",
                                   kProgramTitle, simulator, simulator));
        requestStop(StopReason::InstallPathMissing, 0);
        return false;
    }
    Gui::enqueueUpdate(GuiUpdate::repaint(kRepaintSettings));
    if (g_production.load()) {
        lf_commandLineJob();
        return false;
    }
    gf_flushLog();
    return true;
}

void lf_createFolders() {
    for (const fs::path& folder : {outputDir, outputInfoDir, outputErrorsDir, airportsDir, learnedAirportsDir,
                                   learnedStockDir, learnedSimaddonDir, learnedThirdpartyDir, mySimaddonDir,
                                   myThirdpartyDir, myRegcodesPath}) {
        if (!fs::is_directory(fs::status(folder))) fs::create_directories(folder);
    }
    if (fs::exists(objectIdListFile)) fs::remove(objectIdListFile);
}

bool lf_checkInstallPaths() {
    PathParameter& installPath = lf_chosenInstallPath();
    if (const fs::path found = gf_findSimulatorPaths(); !found.empty()) {
        installPath.setAndSave(found);
        return true;
    }
    const bool msfs2020 = isMSFS2020();
    Gui::addStatusLine(msfs2020 ? "TAVO cannot find the MSFS install path, please select the MSFS Community folder"
                                : "TAVO cannot find the MSFS2024 install path, please select the MSFS2024 Community "
                                  "folder",
                       true);
    const WindowHandle window = g_mainWindow.load();
    gf_messageBox(window,
                  msfs2020 ? "TAVO cannot find the MSFS install path.\n\nPlease select the MSFS Community folder."
                           : "TAVO cannot find the MSFS2024 install path.\n\nPlease select the MSFS2024 Community "
                             "folder.",
                  kProgramTitle, MessageBoxIcon::Exclamation, MessageBoxButtons::Ok);
    const auto picked = gf_pickFolder(window, installPath.value());
    if (!picked) return false;
    return lf_checkInstallPathDialog(installPath, *picked);
}

void lf_commandLineJob() {
    try {
        gf_log("Command line job:");
        if (g_production.load()) gf_log("production");
        g_exitCode.store(0);
    } catch (const std::exception& e) {
        g_exitCode.store(1);
        gf_logError(fmt::format("exception {}", e.what()));
    }
}

bool lf_startSimClient() {
    gf_initSimClient();
    Gui::enqueueUpdate(GuiUpdate::repaint(kRepaintHeader));
    g_simClientThread = std::jthread([](std::stop_token stop) { gf_simClientThread(stop); });
    return lf_waitForSimulator();
}

bool lf_waitForSimulator() {
    while (g_simState.load() != SIM_RUNNING) {
        if (!keepRunning()) return false;
        lf_shellSleepFor(100ms);
    }
    if (!keepRunning()) return false;

    gf_queueSimRequest(SIM_REQUEST_USER_ON_GROUND);
    while (g_userOnGroundState.load() == -1 || !lf_userPositionValid()) {
        lf_askAndPublishUserPosition();
        if (!keepRunning()) return false;
        lf_shellSleepFor(500ms);
    }

    g_userInfoFlags.store(0);
    gf_queueSimRequest(SIM_REQUEST_USER_TITLE_AND_MODEL);
    while (g_userInfoFlags.load() != 3) {
        const std::uint8_t state = g_simState.load();
        if (!keepRunning() || (state != SIM_STOPPED && state != SIM_RUNNING)) return false;
        lf_shellSleepFor(10ms);
    }

    while (!lf_userPositionValid()) {
        lf_askAndPublishUserPosition();
        if (!keepRunning()) return false;
        lf_shellSleepFor(200ms);
    }
    return true;
}

void lf_enableScanControls() {
    gf_enableControl(LIG_AUTOMATIC.controlId, true);
    gf_enableControl(AI_PACKAGE_SELECTOR.controlId, LIG_AUTOMATIC.value());
    gf_enableControl(LIG_PRIORITIZE.controlId, true);
    gf_enableControl(SKIP_LIVERIES_SCAN.controlId, true);
    Gui::enqueueUpdate(GuiUpdate::repaint(kRepaintHeader));
}

void gf_forgetDataFilesLoaded() { l_dataFilesLoaded.store(false); }
