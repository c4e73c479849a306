#include "app/command_handlers.h"

#include <exception>
#include <filesystem>
#include <vector>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include <fmt/format.h>

#include "airports/current_airport.h"
#include "app/blocking.h"
#include "app/control_states.h"
#include "app/program.h"
#include "app/time_shift.h"
#include "feed/feed_state.h"
#include "feed/rtapp/rtapp_link.h"
#include "feed/rtapp/rtapp_server.h"
#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "scan/tblo_pending.h"
#include "services/gui.h"
#include "services/parking_controls.h"
#include "services/stop.h"
#include "settings/option_lists.h"
#include "settings/parameters.h"
#include "settings/snapshot.h"
#include "simlink/sim_link.h"

std::atomic<bool> g_aircraftListRefreshRequested{false};
std::atomic<bool> g_removeAllStaticsRequested{false};
std::atomic<bool> g_parkingPercentageChanged{false};
std::atomic<bool> g_liveMaximumChanged{false};
std::atomic<bool> g_forgetFailedLiveriesRequested{false};
std::atomic<bool> g_categoryOffTwoProps{false};
std::atomic<bool> g_categoryOffLight{false};
std::atomic<bool> g_categoryOffRotorcraft{false};
std::atomic<bool> g_categoryOffHighPerf{false};
std::atomic<std::int8_t> g_pendingNavLights{-1};
std::atomic<bool> g_startChoiceChanged{false};

namespace {

// The traffic source a control belongs to; its commands are taken only while
// that source was chosen for this run.
enum class Source : std::uint8_t { Any, RTDirect, RTApp };

bool lf_sourceMatches(Source source) {
    switch (source) {
        case Source::RTDirect:
            return isRTDirect();
        case Source::RTApp:
            return !isRTDirect();
        case Source::Any:
            break;
    }
    return true;
}

void lf_repaintSettingsBand() { Gui::repaintSettingsBand(); }

// The hint line goes back to the tblo hint while an archive waits, else it is cleared.
void lf_restoreHint() { Gui::showTbloHintOrClear(); }

// A status line when the switch went one way, the hint restored when it went the other.
void lf_warnWhen(bool warn, std::string_view text, bool highlight = false) {
    if (warn) {
        Gui::addStatusLine(text, highlight);
    } else {
        lf_restoreHint();
    }
}

// The liveries' choice is taken by the next scan. While the run is stopping
// (the automatic scan found no package and its error asks for another choice)
// that scan is the next start's: the program starts again with the choice, as
// it does with another simulator or traffic source, instead of ending.
void lf_liveriesChoiceChanged() {
    if (!keepRunning()) g_startChoiceChanged.store(true);
}

// --- buttons -----------------------------------------------------------------

bool lf_tbloPressed() {
    gf_enableControl(TbloButton.controlId, false);
    g_tbloPending.store(false);
    if (gf_openInShell(tbloDir / tbloZipFile)) return true;
    gf_messageBox(WindowHandle::None, "Could not open File Explorer at tblo.zip.", kProgramTitle,
                  MessageBoxIcon::Warning);
    return false;
}

void lf_parkPressed() {
    if (!gf_parkedTrafficServices().parkedTrafficSetUp()) return;
    if (!isRTDirect()) gf_requestParkedTraffic();
    gf_announceParkingUpdate();
    gf_showParkingInterval();
}

// --- check boxes ---------------------------------------------------------------

// Flips the box (a box that is not plainly checked becomes checked), stores
// the new state as the flag's value, saves and publishes it. The new state.
bool lf_toggle(GuiBoolParameter& flag) {
    const std::optional<bool> checked = gf_controlCheck(flag.controlId);
    const bool now = !(checked && *checked);
    gf_setControlCheck(flag.controlId, now);
    flag.setValue(now);
    flag.save();
    gf_publishParameter(flag);
    return now;
}

struct CheckboxRow {
    GuiBoolParameter* flag;
    Source source;
    void (*after)(bool on);
};

void lf_nothing(bool) {}

void lf_requestWhenOff(std::atomic<bool>& request, bool on) {
    if (!on) request.store(true);
}

const std::vector<CheckboxRow>& lf_checkboxRows() {
    static const std::vector<CheckboxRow> rows{
        {&LIG_AUTOMATIC, Source::Any,
         [](bool on) {
             lf_warnWhen(!on, "The liveries defined by your lfolder parameters will be scanned");
             gf_enableControl(AI_PACKAGE_SELECTOR.controlId, LIG_AUTOMATIC.value());
             lf_liveriesChoiceChanged();
         }},
        {&LIG_PRIORITIZE, Source::Any,
         [](bool on) {
             lf_warnWhen(on, "Liveries, for airl+model, in lower lfolders that are already available will be skipped");
         }},
        {&COLLISION_USER_GND, Source::Any,
         [](bool on) {
             lf_warnWhen(!on,
                         "Be aware, user aircraft may collide with (run through) live aircraft and static parked on the "
                         "ground");
         }},
        {&COLLISION_USER_AIR, Source::Any,
         [](bool on) {
             lf_warnWhen(!on, "Be aware, user aircraft may collide with (run through) live aircraft in the air");
         }},
        {&RT_PARKTRAFFIC_ONLY, Source::Any,
         [](bool on) {
             gf_applyRtParkTrafficOnly();
             // The parked traffic changes source: the next re-plan refreshes it
             // with the new value. A re-plan is only asked for where parked
             // traffic runs; elsewhere the controls would stay disabled with
             // nothing to re-plan, and the next plan takes the value anyway.
             if (gf_parkedTrafficServices().parkedTrafficSetUp()) {
                 gf_announceParkingRefresh(on);
             } else {
                 gf_recordParkingRefresh(on);
             }
             lf_repaintSettingsBand();
         }},
        {&AUTO_PARK, Source::Any, [](bool) { gf_applyAutoPark(); }},
        {&RANDOM, Source::Any,
         [](bool on) {
             lf_warnWhen(!on, "Be aware: no randomness in matching or parking! (This mode is meant for multi Sims)",
                         true);
             lf_repaintSettingsBand();
         }},
        {&ALWAYS_ON_TOP, Source::Any,
         [](bool on) {
             lf_warnWhen(on, fmt::format("{}'s window will remain visible", kProgramTitle));
             Gui::enqueueUpdate(GuiUpdate::stayOnTop(on));
             lf_repaintSettingsBand();
         }},
        {&FLIGHT_MESSAGES, Source::Any, &lf_nothing},
        {&GUID_CHANGES, Source::Any,
         [](bool on) {
             lf_warnWhen(!on, "Be aware, no more livery updates: you miss correct data for Learn, LittleNavMap, etc!");
             lf_repaintSettingsBand();
         }},
        {&SIM_TIME, Source::RTDirect,
         [](bool) {
             // On or off, the shift starts again from zero in a new run.
             lf_showTimeShift(0);
             gf_enableControl(SetButton.controlId, false);
             lf_repaintSettingsBand();
             requestStop(StopReason::NewSettings, 0);
         }},
        {&AEROWINX, Source::RTApp,
         [](bool on) {
             lf_warnWhen(on, fmt::format("Note: This mode is for Aerowinx PSX users only, please re-start {}",
                                         kProgramTitle));
         }},
        {&PARK_SOFT, Source::Any, &lf_nothing},
        {&WEEK, Source::Any, &lf_nothing},
        {&NAV_LIGHTS_WHILE_PARKED, Source::Any,
         [](bool on) { g_pendingNavLights.store(static_cast<std::int8_t>(on ? 1 : 0)); }},
        {&OBJECTID_LIST, Source::Any,
         [](bool on) {
             std::error_code ec;
             const std::filesystem::path path = std::filesystem::absolute(objectIdListFile, ec);
             lf_warnWhen(on,
                         fmt::format("Every minute info about all active live aircraft is written to the file {}",
                                     gf_pathToUtf8(ec ? objectIdListFile : path)),
                         true);
             lf_repaintSettingsBand();
         }},
        {&SKIP_AIRPORT_SCAN, Source::Any, &lf_nothing},
        {&SKIP_LIVERIES_SCAN, Source::Any, &lf_nothing},
        {&KEEP_SIM_TIME_PAR, Source::RTDirect, &lf_nothing},
        {&TWO_PROPS, Source::Any, [](bool on) { lf_requestWhenOff(g_categoryOffTwoProps, on); }},
        {&LIGHT_AIRCRAFT, Source::Any, [](bool on) { lf_requestWhenOff(g_categoryOffLight, on); }},
        {&HELICOPTERS, Source::Any, [](bool on) { lf_requestWhenOff(g_categoryOffRotorcraft, on); }},
        {&HIGH_PERF_AIRCRAFT, Source::Any, [](bool on) { lf_requestWhenOff(g_categoryOffHighPerf, on); }},
        {&AUTO_RANGE, Source::Any, [](bool) { gf_applyRangeMode(); }},
    };
    return rows;
}

// --- drop-down lists -----------------------------------------------------------

// The list's value at the chosen index, clamped to its limits, saved and published.
void lf_setFromList(NumericListOption& option, std::size_t index) {
    option.setAndSave(option.valueAt(index));
    gf_publishParameter(option);
}

// A choice list whose text is stored only when it changed.
bool lf_changedText(StringParameter& parameter, const std::string& text) {
    if (text == parameter.value()) return false;
    parameter.setAndSave(text);
    return true;
}

void lf_simChoice(const ComboSelection& s) {
    if (!lf_changedText(SIM_CHOICE, s.text)) return;
    // The simulator that connects next may be the old one still running: the
    // link must not ask to switch back to it.
    g_userSwitchedSim.store(true);
    g_startChoiceChanged.store(true);
    Gui::addStatusLine(fmt::format("Switching MSFS version in {}", kProgramTitle), true);
    requestStop(StopReason::NewSettings, 3);
}

void lf_rtChoice(const ComboSelection& s) {
    if (!lf_changedText(RT_CHOISE, s.text)) return;
    g_startChoiceChanged.store(true);
    gf_enableControl(RT_CHOISE.controlId, false);
    // A run still waiting for the RT App to connect sits in the wait until
    // the sockets close: closing them lets the restart go ahead.
    if (!isRTDirect() && (g_rtConnected.load() || g_waitingForRTApp.load())) g_rtAppServer.closeAll();
    requestStop(StopReason::NewSettings, 0);
}

void lf_standChoice(const ComboSelection& s) {
    if (s.text == "select a stand") return;
    STAND_SELECTOR.setValue(s.text);
    const std::string destination = DESTINATION.value();
    Gui::addStatusLine(fmt::format("selected stand '{}' at airport '{}'", s.text, destination), true);
    bool updated = false;
    try {
        updated = gf_setParkAirportUserStand(IcaoCode(destination), s.text);
    } catch (const std::invalid_argument&) {
        // A destination that is no airport code names no park airport.
    }
    if (updated) {
        Gui::repaintLowerBand();
    } else {
        gf_logError(fmt::format("could not update stand {} in airport {}", s.text, destination));
    }
}

void lf_timeShiftChoice(NumericListOption& option, const ComboSelection& s) {
    lf_setFromList(option, s.index);
    gf_enableControl(SetButton.controlId, true);
    lf_repaintSettingsBand();
}

struct ComboRow {
    GuiControl* control;
    Source source;
    void (*choose)(const ComboSelection& s);
};

const std::vector<ComboRow>& lf_comboRows() {
    static const std::vector<ComboRow> rows{
        {&SIM_CHOICE, Source::Any, &lf_simChoice},
        {&AI_PACKAGE_SELECTOR, Source::Any,
         [](const ComboSelection& s) {
             if (!lf_changedText(AI_PACKAGE_SELECTOR, s.text)) return;
             Gui::addStatusLine("If you want to make this choice effective, you must start a Scan for liveries", true);
             lf_liveriesChoiceChanged();
         }},
        {&RT_CHOISE, Source::Any, &lf_rtChoice},
        {&QNH_UNIT, Source::Any,
         [](const ComboSelection& s) {
             if (!lf_changedText(QNH_UNIT, s.text)) return;
             Gui::enqueueUpdate(GuiUpdate::qnhInHg(s.text == "QNH inHg"));
         }},
        {&AIRCRAFT_SELECTOR, Source::Any,
         [](const ComboSelection& s) {
             if (s.text == "select an aircraft") return;
             AIRCRAFT_SELECTOR.setValue(s.text);
             gf_enableControl(BlockButton.controlId, true);
         }},
        {&STAND_SELECTOR, Source::Any, &lf_standChoice},
        {&ALL_AIR_GND_SELECTOR, Source::Any,
         [](const ComboSelection& s) {
             ALL_AIR_GND_SELECTOR.setAndSave(s.text);
             gf_publishParameter(ALL_AIR_GND_SELECTOR);
         }},
        {&MATCHING_DEPTH, Source::Any,
         [](const ComboSelection& s) {
             const std::int32_t old = MATCHING_DEPTH.value();
             lf_setFromList(MATCHING_DEPTH, s.index);
             // A deeper search may find a livery for titles that failed before.
             if (MATCHING_DEPTH.value() > old) g_forgetFailedLiveriesRequested.store(true);
         }},
        {&TCAS_FL, Source::Any, [](const ComboSelection& s) { lf_setFromList(TCAS_FL, s.index); }},
        {&parking_percentage, Source::Any,
         [](const ComboSelection& s) {
             lf_setFromList(parking_percentage, s.index);
             // The static parking target follows the percentage as it follows MAX_PARK_SEL.
             g_parkingPercentageChanged.store(true);
         }},
        {&RANGE, Source::Any,
         [](const ComboSelection& s) {
             RANGE.setAndSave(RANGE.valueAt(s.index));
             const std::int32_t range = RANGE.value();
             gf_updateSettings([range](SettingsSnapshot& settings) { settings.MANUAL_RANGE = range; });
             gf_setRange(range);
         }},
        {&HOLDING_THRESHOLD_METERS, Source::Any,
         [](const ComboSelection& s) { lf_setFromList(HOLDING_THRESHOLD_METERS, s.index); }},
        {&MAX_HOLDING_MINUTES, Source::Any,
         [](const ComboSelection& s) { lf_setFromList(MAX_HOLDING_MINUTES, s.index); }},
        {&AIRP_RANGE, Source::Any, [](const ComboSelection& s) { lf_setFromList(AIRP_RANGE, s.index); }},
        {&AIRP_HEIGHT, Source::Any, [](const ComboSelection& s) { lf_setFromList(AIRP_HEIGHT, s.index); }},
        {&PARKING_INTERVAL_MINUTES, Source::Any,
         [](const ComboSelection& s) {
             lf_setFromList(PARKING_INTERVAL_MINUTES, s.index);
             gf_showParkingInterval();
         }},
        {&MAX_FIT_FL, Source::Any,
         [](const ComboSelection& s) {
             MAX_FIT_FL.set(MAX_FIT_FL.valueAt(s.index));
             MAX_FIT.setAndSave(gf_maxFitValueToIndex(MAX_FIT_FL.value()));
             gf_publishParameter(MAX_FIT);
         }},
        {&MAX_PARK_SEL, Source::Any,
         [](const ComboSelection& s) {
             lf_setFromList(MAX_PARK_SEL, s.index);
             g_parkingPercentageChanged.store(true);
         }},
        {&MAX_LIVE_SEL, Source::Any,
         [](const ComboSelection& s) {
             lf_setFromList(MAX_LIVE_SEL, s.index);
             g_liveMaximumChanged.store(true);
         }},
        {&TIME_SHIFT_DAYS, Source::RTDirect,
         [](const ComboSelection& s) { lf_timeShiftChoice(TIME_SHIFT_DAYS, s); }},
        {&TIME_SHIFT_HOURS, Source::RTDirect,
         [](const ComboSelection& s) { lf_timeShiftChoice(TIME_SHIFT_HOURS, s); }},
        {&TIME_SHIFT_MINS, Source::RTDirect,
         [](const ComboSelection& s) { lf_timeShiftChoice(TIME_SHIFT_MINS, s); }},
    };
    return rows;
}

}  // namespace

bool lf_handleButtons(WindowHandle, ControlId id) {
    if (id == BlockButton.controlId) {
        gf_blockButtonPressed();
    } else if (id == AircraftButton.controlId) {
        g_aircraftListRefreshRequested.store(true);
        gf_enableControl(BlockButton.controlId, false);
    } else if (id == UnblockButton.controlId) {
        gf_unblockButtonPressed();
    } else if (id == FlushButton.controlId) {
        Gui::addStatusLine("All static parked aircraft will be removed ...", false);
        g_removeAllStaticsRequested.store(true);
        gf_enableControl(FlushButton.controlId, false);
    } else if (id == SetButton.controlId) {
        gf_setButtonPressed();
    } else if (id == TbloButton.controlId) {
        return lf_tbloPressed();
    } else if (id == ParkButton.controlId) {
        lf_parkPressed();
    } else {
        return false;
    }
    return true;
}

bool lf_handleOptionCheckboxes(WindowHandle, ControlId id) {
    for (const CheckboxRow& row : lf_checkboxRows()) {
        if (row.flag->controlId != id || !lf_sourceMatches(row.source)) continue;
        row.after(lf_toggle(*row.flag));
        return true;
    }
    return false;
}

std::optional<ComboSelection> lf_getSelectedComboText(WindowHandle, ControlId id, std::uint64_t wParam) {
    if ((wParam & 0xFFFF) != id || ((wParam >> 16) & 0xFFFF) != CBN_SELCHANGE) return std::nullopt;
    if (!gf_controlExists(id)) return std::nullopt;
    const std::optional<int> index = gf_comboSelection(id);
    if (!index || *index < 0) return std::nullopt;
    const auto items = gf_comboItems(id);
    if (!items || static_cast<std::size_t>(*index) >= items->size()) return std::nullopt;
    return ComboSelection{static_cast<std::size_t>(*index), (*items)[static_cast<std::size_t>(*index)]};
}

bool lf_handleCombos(WindowHandle window, std::uint64_t wParam) {
    for (const ComboRow& row : lf_comboRows()) {
        if (!lf_sourceMatches(row.source)) continue;
        if (const auto selection = lf_getSelectedComboText(window, row.control->controlId, wParam)) {
            row.choose(*selection);
            return true;
        }
    }
    return false;
}

bool lf_HandleWMCOMMAND(WindowHandle window, std::uint64_t wParam) {
    try {
        const auto id = static_cast<ControlId>(wParam & 0xFFFF);
        if (lf_handleButtons(window, id)) return true;
        if (lf_handleOptionCheckboxes(window, id)) return true;
        return lf_handleCombos(window, wParam);
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{} exception {}", "lf_HandleWMCOMMAND", e.what()));
        return false;
    }
}
