#pragma once
// The main window open on a headless backend for the command handlers and the
// control states: every command goes through the window procedure, which
// records whether the handlers took it; the parked-traffic answers are fakes;
// the file manager is recorded; the request flags start cleared.

#include <optional>
#include <string>
#include <vector>

#include "airports/current_airport.h"
#include "app/command_handlers.h"
#include "app/control_states.h"
#include "app/time_shift.h"
#include "feed/rtapp/rtapp_link.h"
#include "feed/rtapp/rtapp_server.h"
#include "engine/user_position.h"
#include "feed/rtdirect/traffic_reader.h"
#include "feed/rtdirect/transport.h"
#include "feed/rtdirect/weather_reader.h"
#include "feed/traffic_clock.h"
#include "platform/os/os.h"
#include "program_fixture.h"
#include "scan/tblo_pending.h"
#include "services/parking_controls.h"
#include "simlink/sim_link.h"

namespace tavo::test {

class CommandTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        gf_initCurlGlobal();
        putBack();
        window = open();
        gf_setCommandHandler([this](WindowHandle w, std::uint64_t wParam) {
            return handled = lf_HandleWMCOMMAND(w, wParam);
        });
        gf_setParkedTrafficServices(ParkedTrafficServices{
            [this] { return setUp; }, [this] { return hasStands; }, [](bool) { return std::uint32_t{3}; },
            [](bool) { return std::int64_t{4}; }, [this] { generatingEnded = true; }});
        gf_setTbloPendingQuery([] { return g_tbloPending.load(); });
        gf_osSetLauncher([this](const std::vector<std::string>& argv) {
            opened.push_back(argv.back());
            return fileManagerWorks;
        });
    }
    void TearDown() override {
        putBack();
        ProgramTest::TearDown();
    }
    static void putBack() {
        for (auto* flag : {&g_aircraftListRefreshRequested, &g_removeAllStaticsRequested, &g_parkingPercentageChanged,
                           &g_liveMaximumChanged, &g_forgetFailedLiveriesRequested, &g_categoryOffTwoProps,
                           &g_categoryOffLight, &g_categoryOffRotorcraft, &g_categoryOffHighPerf, &g_tbloPending,
                           &g_userSwitchedSim, &g_waitingForRTApp, &g_rtConnected, &g_timeShiftActive,
                           &g_userOnGround}) {
            flag->store(false);
        }
        g_pendingNavLights.store(-1);
        g_pendingParkingInterval.store(-1);
        g_parkingRequest = ParkingRequest{};
        gf_publishUserAircraftState(UserAircraftState{});
        g_simTimeEpoch.store(kSimTimeInvalid);
        g_rtDirectTrafficTime.store(0);
        gf_rtApiTrafficReader().timeOffset.store(0);
        gf_rtApiWeatherReader().timeOffset.store(0);
        gf_resetTimeShiftRun();
        gf_setParkedTrafficServices(std::nullopt);
        gf_setTbloPendingQuery(nullptr);
        gf_osSetLauncher({});
        gf_setShellWaitClock({});
        gf_clearParkAirports();
        g_rtAppServer.closeAll();
    }
    static void useRTApp(bool rtApp) {
        startupChoice.store(std::make_shared<const StartupChoice>(StartupChoice{2, rtApp ? std::uint8_t{1} : std::uint8_t{0}}));
    }

    // A click (or any notification) through the window procedure; true when handled.
    bool command(ControlId id, std::uint16_t code = BN_CLICKED) {
        handled = false;
        backend->send(window, WM_COMMAND, gf_commandWParam(id, code));
        return handled;
    }
    bool choose(ControlId id, int index) {
        gf_setComboSelection(id, index);
        return command(id, CBN_SELCHANGE);
    }
    bool enabled(ControlId id) { return gf_isControlEnabled(id).value_or(false); }
    bool checked(ControlId id) { return gf_controlCheck(id).value_or(false); }
    // The bottom line, marked when it did not reach the log (not highlighted).
    std::string status() {
        const std::string line = gf_gui().statusLine;
        return line.empty() || logHas(line + "\n") ? line : line + " (plain)";
    }
    std::size_t logCount(const std::string& piece) {
        const std::string text = logText();
        std::size_t n = 0;
        for (auto at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
        return n;
    }
    std::size_t settingsRepaints() {
        std::size_t n = 0;
        for (const auto& r : backend->invalidations()) n += r.rect == std::optional<PixelRect>(kSettingsBand);
        return n;
    }
    static std::string pendingStop() {
        const auto request = gf_pendingStopRequest();
        return request ? fmt::format("{}/{}", request->reason, request->countdown) : "none";
    }

    WindowHandle window = WindowHandle::None;
    bool handled = false;
    bool setUp = false;
    bool hasStands = false;
    bool generatingEnded = false;
    bool fileManagerWorks = true;
    std::vector<std::string> opened;
};

}  // namespace tavo::test
