#include "app/closing_down.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <limits>
#include <mutex>
#include <string>

#include <fmt/format.h>

#include "airports/current_airport.h"
#include "app/blocking.h"
#include "app/command_handlers.h"
#include "app/control_states.h"
#include "app/destination.h"
#include "app/main_loop.h"
#include "app/neighbour_services.h"
#include "app/program.h"
#include "app/start_paths.h"
#include "app/time_shift.h"
#include "engine/engine_lists.h"
#include "engine/mailbox.h"
#include "engine/user_position.h"
#include "feed/feed_state.h"
#include "feed/rtapp/rtapp_server.h"
#include "feed/rtapp/traffic_reader.h"
#include "feed/rtdirect/readers.h"
#include "feed/rtdirect/session.h"
#include "foundation/log.h"
#include "foundation/time.h"
#include "foundation/winsock.h"
#include "platform/window/window.h"
#include "scan/tblo_pending.h"
#include "services/gui.h"
#include "services/parking_controls.h"
#include "services/shell.h"
#include "services/stop.h"
#include "settings/parameters.h"
#include "settings/snapshot.h"
#include "simlink/sim_link.h"

std::atomic<bool> g_restartUnderWay{false};

namespace {

using namespace std::chrono_literals;

constexpr auto kSystemErrorWaitStep = 100ms;

void lf_sleepFor(std::chrono::steady_clock::duration duration) {
    const ShellWaitClock clock = gf_shellWaitClock();
    clock.sleepUntil(clock.now() + duration);
}

// Joins a reader's slot with its two log lines, when it holds a thread.
void lf_joinReader(std::jthread& slot, std::string_view name) {
    if (!slot.joinable()) return;
    gf_logAndFlush(fmt::format("Shutdown cleanup: waiting for {} reader", name));
    slot.join();
    gf_logAndFlush(fmt::format("Shutdown cleanup: {} reader stopped", name));
}

void lf_stopSimClient() {
    if (!g_simClientThread.joinable()) return;
    g_simClientThread.request_stop();
    if (!g_simClientThread.joinable()) return;
    gf_logAndFlush("Shutdown cleanup: waiting for SimClient");
    g_simClientThread.join();
    gf_logAndFlush("Shutdown cleanup: SimClient stopped");
}

void lf_stopReaders(bool rtDirect) {
    gf_logAndFlush("Shutdown cleanup: stopping readers");
    if (rtDirect) {
        // The stop also wakes each reader out of its wait between requests.
        gf_rtApiWeatherReader().requestStop();
        gf_rtApiTrafficReader().requestStop();
    } else {
        gf_stopRTAppReaders();
    }
    lf_joinReader(g_weatherReaderThread, "weather");
    lf_joinReader(g_trafficReaderThread, "traffic");
}

// The user may read the error line for a while before the program ends; a
// closed window ends the wait. A start that cannot go on with the simulator,
// the traffic source or the liveries chosen (no licence, no install path, no
// AI package) would stop the same way at every start: meanwhile the user may
// choose others, which ends the wait with a restart. True when the user did.
// (The simulator's box is never disabled; the traffic source's waits for a
// run's engine set-up, which such a start does not reach; the liveries' step
// enables its own again when it ends.)
bool lf_waitAfterError() {
    gf_enableControl(RT_CHOISE.controlId, true);
    const ShellWaitClock clock = gf_shellWaitClock();
    const auto deadline = clock.now() + std::chrono::seconds(kSystemErrorWaitSeconds);
    while (!g_exiting.load() && !g_startChoiceChanged.load()) {
        const auto now = clock.now();
        if (now >= deadline) break;
        clock.sleepUntil(std::min(deadline, now + kSystemErrorWaitStep));
    }
    return g_startChoiceChanged.load();
}

bool lf_waitsAfterError(std::uint32_t reason) {
    return reason == static_cast<std::uint32_t>(StopReason::SystemError) ||
           reason == static_cast<std::uint32_t>(StopReason::InstallPathMissing);
}

void lf_endParkAirport(const NeighbourServices& services) {
    if (!gf_currentAirport()) return;
    services.clearStaticsToPlace();
    services.removeAllStaticAndLiveAtAirport();
    services.resetParkedTraffic();
    gf_clearCurrentAirport();
}

void lf_resetTrafficSource(bool rtDirect) {
    if (rtDirect) {
        gf_rtApiTrafficReader().reset();
        gf_rtApiWeatherReader().reset();
    } else {
        gf_resetRTAppReaders();
    }
}

void lf_logErrorNoThrow(const std::string& line) noexcept {
    try {
        gf_logError(line);
    } catch (...) {
    }
}

void lf_restartPhase(std::string_view name) { gf_logAndFlush(fmt::format("Restart phase: {}", name)); }

void lf_restart(const NeighbourServices& services, std::int32_t countdown, bool rtDirect) {
    g_restartUnderWay.store(true);
    Gui::enqueueUpdate(GuiUpdate::clearError());
    Gui::showTbloHintOrClear();
    Gui::addStatusLine("Prepare for a restart ...", true);
    lf_resetTrafficSource(rtDirect);
    if (!lf_restartCountdown(countdown)) g_restartUnderWay.store(false);
    if (!g_restartUnderWay.load()) return;
    lf_restartPhase("reinitializing SimConnect state");
    gf_resetSimClient();
    lf_restartPhase("reinitializing traffic state");
    services.resetTrafficEngine();
    lf_restartPhase("reinitializing GUI state");
    Gui::enqueueUpdate(GuiUpdate::resetDisplay());
    lf_restartPhase("reinitializing main state");
    lf_reinitMainState();
    lf_restartPhase("state reinitialization completed");
}

// Without a restart the time shift and the blocked aircraft end with the
// program, unless the user keeps the simulator time.
void lf_endOfProgram(bool rtDirect) {
    g_restartUnderWay.store(false);
    if (rtDirect && !KEEP_SIM_TIME_PAR.value()) {
        for (NumericListOption* part : {&TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS}) {
            part->set(std::clamp(0, part->minimum(), part->maximum()));
            part->save();
        }
        gf_publishParameter(TIME_SHIFT_DAYS);
    }
    for (StringParameter* part : {&BLOCK_AIRCRAFT, &BLOCK_CALLSIGN, &BLOCK_REGCODE}) {
        if (!part->value().empty()) part->setAndSave("");
    }
    g_blockedCallsignPrefix.store(0);
    if (BLOCK_HEXIDDEC.value() > 0) BLOCK_HEXIDDEC.setAndSave(0);
    gf_publishParameter(BLOCK_AIRCRAFT);
}

void lf_closeDown() {
    const std::shared_ptr<StopRequest> request = g_stopMailbox.load();
    const std::uint32_t reason = request ? request->reason : 0;
    const std::uint32_t countdown = request ? request->countdown : 0;
    gf_logAndFlush(fmt::format("{} Exiting: {}", gf_utcTimeText(), gf_stopReasonName(reason)));
    if (g_production.load()) return;

    const std::shared_ptr<const NeighbourServices> holder = gf_neighbourServices();
    const NeighbourServices& services = *holder;
    const bool rtDirect = isRTDirect();
    gf_setTrafficDelivery(false);
    lf_stopSimClient();
    lf_stopReaders(rtDirect);
    if (rtDirect && gf_rtApiConnection().isAuthenticated()) gf_RTAPIDeauthenticate();
    gf_logAndFlush("Shutdown cleanup: closing RT App server");
    g_rtAppServer.closeAll();
    gf_logAndFlush("Shutdown cleanup: RT App server closed");
    gf_winsockGuard().reset();

    if (rtDirect || (reason == static_cast<std::uint32_t>(StopReason::NewSettings) && RT_CHOISE.value() == "RT Direct")) {
        lf_recordRTAPICooldown();
    }
    const bool choiceChanged = lf_waitsAfterError(reason) && lf_waitAfterError();

    lf_endParkAirport(services);
    gf_removeFlightPlanFolder();
    lf_clearDestination();
    g_tbloPending.store(false);
    removedGhosts.clear();
    services.logLiveryMatchingSummary();
    services.writeMyParkAirportsFile();
    // The aircraft without a livery are listed before the list is emptied:
    // emptied first, the last list of the run would never reach the log.
    services.logNoMatchList();
    services.clearNoMatchList();

    if (choiceChanged) {
        lf_restart(services, 0, rtDirect);
    } else if (gf_stopReasonRestarts(reason)) {
        lf_restart(services, static_cast<std::int32_t>(std::min<std::uint32_t>(
                                 countdown, static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()))),
                   rtDirect);
    } else {
        lf_endOfProgram(rtDirect);
    }
}

}  // namespace

void lf_closingDown() {
    g_restartUnderWay.store(false);
    struct PostStartOrExit {
        ~PostStartOrExit() { lf_postStartOrExit(); }
    } guard;
    try {
        lf_closeDown();
    } catch (const std::exception& e) {
        g_restartUnderWay.store(false);
        lf_reportClosingDownException(e.what());
    } catch (...) {
        g_restartUnderWay.store(false);
        lf_reportClosingDownException("unknown exception");
    }
}

bool lf_restartCountdown(std::int32_t seconds) {
    if (seconds <= 0) return !g_exiting.load();
    const bool unblockOffered = seconds > kUnblockOfferedAbove;
    if (unblockOffered) {
        g_unblockPressed.store(false);
        gf_enableControl(UnblockButton.controlId, true);
    }
    gf_log(fmt::format("Restarting after {} seconds", seconds));
    gf_log(std::string(48, '-'));
    for (std::int32_t i = 0; i < seconds; ++i) {
        if (g_exiting.load()) return false;
        if (unblockOffered && g_unblockPressed.load()) return true;
        const std::int32_t remaining = seconds - i;
        Gui::addStatusLine(fmt::format("Restarting after {} second{}{}", remaining, remaining == 1 ? "" : "s",
                                       unblockOffered ? "              ( or push Unblock to re-start )" : ""),
                           false);
        lf_sleepFor(1s);
    }
    gf_logAndFlush("Restart countdown finished");
    return !g_exiting.load();
}

void lf_reinitMainState() {
    gf_clearStopMailbox();
    g_userGroundDataSeen.store(false);
    gf_resetMainLoopState();
    g_pendingNavLights.store(-1);
    gf_publishUserAircraftState(UserAircraftState{});
    g_rtProfessional.store(false);
    {
        std::lock_guard lock(g_parkingRequestMutex);
        g_parkingRequest = ParkingRequest{};
    }
    g_blockedAircraftChanged.store(false);
    g_pendingParkingInterval.store(-1);
    gf_resetTimeShiftRun();
}

void lf_recordRTAPICooldown() {
    try {
        gf_setRTAPICooldownDeadline(gf_shellWaitClock().now() + kRTAPICooldownInProcess);
        const std::int64_t now = std::clamp<std::int64_t>(gf_systemSeconds(), 0, std::numeric_limits<std::int32_t>::max());
        LAST_EPOCH_TIME.setAndSave(static_cast<std::int32_t>(now));
    } catch (const std::exception& e) {
        lf_logErrorNoThrow(fmt::format("Could not persist RT API cooldown: {}", e.what()));
    } catch (...) {
        lf_logErrorNoThrow("Could not persist RT API cooldown: unknown exception");
    }
}

void lf_postStartOrExit() {
    if (g_exiting.load()) g_restartUnderWay.store(false);
    const bool restart = g_restartUnderWay.load();
    try {
        gf_logAndFlush(restart ? "Restart cleanup completed; posting MSG_START"
                               : "Shutdown cleanup completed; posting MSG_EXIT");
    } catch (...) {
        // A log that cannot be written must not keep the window open for ever.
    }
    try {
        const WindowHandle window = g_mainWindow.load();
        if (gf_isWindow(window)) gf_postMessage(window, restart ? MSG_START : MSG_EXIT);
    } catch (...) {
        // The message is the run's last act; nothing is left to report to.
    }
}

void lf_reportClosingDownException(std::string_view text) noexcept {
    try {
        const std::string line = fmt::format("lf_closingDown exception: {}", text);
        gf_logError(line);
        Gui::addStatusLine(line, true);
    } catch (...) {
    }
}
