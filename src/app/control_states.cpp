#include "app/control_states.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "airports/parked_traffic_status.h"
#include "airports/parking_state.h"
#include "app/time_shift.h"
#include "engine/engine_lists.h"
#include "engine/removal_policies.h"
#include "engine/user_position.h"
#include "feed/rtdirect/traffic_reader.h"
#include "feed/traffic_clock.h"
#include "foundation/files.h"
#include "foundation/log.h"
#include "platform/window/window.h"
#include "scan/tblo_pending.h"
#include "services/gui.h"
#include "services/parking_controls.h"
#include "services/shell.h"
#include "services/stop.h"
#include "settings/option_lists.h"
#include "settings/parameters.h"
#include "settings/snapshot.h"
#include "simlink/sim_link.h"

namespace {

namespace fs = std::filesystem;

std::mutex l_clockMutex;
ShellWaitClock l_clock;

}  // namespace

ShellWaitClock gf_shellWaitClock() {
    ShellWaitClock clock;
    {
        std::lock_guard lock(l_clockMutex);
        clock = l_clock;
    }
    if (!clock.now) clock.now = [] { return std::chrono::steady_clock::now(); };
    if (!clock.sleepUntil) clock.sleepUntil = [](auto t) { std::this_thread::sleep_until(t); };
    return clock;
}

namespace {

void lf_enable(const GuiControl& control, bool enable) { gf_enableControl(control.controlId, enable); }

void lf_enableAll(std::initializer_list<const GuiControl*> controls, bool enable) {
    for (const GuiControl* control : controls) lf_enable(*control, enable);
}

// A list option's combo box filled with its allowed values, the current one
// selected, and enabled as asked.
void lf_showList(const NumericListOption& option, std::optional<bool> enable) {
    option.fillCombo();
    option.showValue();
    if (enable) lf_enable(option, *enable);
}

bool lf_exists(const fs::path& path) {
    std::error_code ec;
    const bool exists = fs::exists(path, ec);
    if (ec) throw fs::filesystem_error("exists", path, ec);
    return exists;
}

// A tblo.zip left from an earlier run still waits to be sent.
bool lf_archiveWaits() {
    if (!g_tbloPending.load() && lf_exists(tbloDir) && lf_exists(tbloDir / tbloZipFile)) {
        g_tbloPending.store(true);
        gf_showTbloHint();
    }
    return g_tbloPending.load();
}

void lf_showTimeShiftValues() {
    for (const NumericListOption* option : {&TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS}) {
        lf_showList(*option, std::nullopt);
    }
}

void lf_fillMaxFitCombo() {
    if (!gf_isWindow(g_mainWindow.load())) return;
    std::vector<std::string> texts;
    texts.reserve(MAX_FIT_FL.allowedValues().size());
    for (const float hours : MAX_FIT_FL.allowedValues()) texts.push_back(fmt::format("{:.1f}", hours));
    gf_setComboItems(MAX_FIT_FL.controlId, texts);
    if (const auto position = MAX_FIT_FL.positionOfValue()) {
        gf_setComboSelection(MAX_FIT_FL.controlId, static_cast<int>(*position));
    }
    gf_syncMaxFitCombo();
}

}  // namespace

void lf_initControls() {
    lf_enable(OBJECTID_LIST, true);
    RT_CHOISE.fillCombo();
    lf_enable(RT_CHOISE, false);
    QNH_UNIT.fillCombo();
    lf_enable(QNH_UNIT, true);
    Gui::enqueueUpdate(GuiUpdate::qnhInHg(QNH_UNIT.value() == "QNH inHg"));
    lf_enableAll({&GUID_CHANGES, &RANDOM, &ALWAYS_ON_TOP, &NAV_LIGHTS_WHILE_PARKED, &LIG_AUTOMATIC, &LIG_PRIORITIZE,
                  &SKIP_AIRPORT_SCAN, &SKIP_LIVERIES_SCAN},
                 true);
    lf_enable(TbloButton, lf_archiveWaits());
    lf_enableAll({&TWO_PROPS, &LIGHT_AIRCRAFT, &HELICOPTERS, &HIGH_PERF_AIRCRAFT}, true);
    lf_showList(RANGE, !AUTO_RANGE.value());
    lf_enable(AUTO_RANGE, true);
    for (const NumericListOption* option : {&HOLDING_THRESHOLD_METERS, &MAX_HOLDING_MINUTES, &MATCHING_DEPTH}) {
        lf_showList(*option, true);
    }
    lf_showList(TCAS_FL, std::nullopt);
    lf_enable(BlockButton, false);
    lf_enable(UnblockButton, !BLOCK_AIRCRAFT.value().empty());
    lf_enableAll({&COLLISION_USER_GND, &COLLISION_USER_AIR}, true);
    lf_enable(ParkButton, false);
    lf_showList(MAX_PARK_SEL, true);
    lf_showList(MAX_LIVE_SEL, true);
    ALL_AIR_GND_SELECTOR.fillCombo();
    lf_enable(ALL_AIR_GND_SELECTOR, true);
    // The main loop enables it once it runs and has aircraft to list.
    lf_enable(AircraftButton, false);
    AIRCRAFT_SELECTOR.fillCombo();
    STAND_SELECTOR.fillCombo();
    lf_enableAll({&AIRCRAFT_SELECTOR, &STAND_SELECTOR}, false);
    lf_enable(AEROWINX, !isRTDirect());
    AI_PACKAGE_SELECTOR.fillCombo();
    lf_enable(AI_PACKAGE_SELECTOR, LIG_AUTOMATIC.value());
    SIM_CHOICE.fillCombo();
    lf_enable(SIM_CHOICE, true);
    lf_enable(DESTINATION, true);
    for (const NumericListOption* option : {&AIRP_RANGE, &AIRP_HEIGHT, &PARKING_INTERVAL_MINUTES, &parking_percentage}) {
        lf_showList(*option, true);
    }
    lf_fillMaxFitCombo();
    lf_enable(MAX_FIT_FL, true);
    lf_enableAll({&WEEK, &PARK_SOFT}, true);
    lf_enable(FlushButton, false);
    lf_enableAll({&AUTO_PARK, &RT_PARKTRAFFIC_ONLY}, true);
    // The time shift in force shows from the start of the run, and there is
    // no new one to set yet: a start that stops before its time-shift step
    // (no licence, no install path) must not leave the boxes empty and "Set"
    // offered.
    lf_showTimeShiftValues();
    lf_enable(SetButton, false);

    gf_applyRtParkTrafficOnly();
    gf_applyAutoPark();
    lf_enable(MAX_FIT_FL, RT_PARKTRAFFIC_ONLY.value() || !AUTO_PARK.value());
}

void lf_enableTimeShiftControls(bool enable) {
    lf_enableAll({&TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS, &SIM_TIME}, enable);
    if (!enable) Gui::enqueueUpdate(GuiUpdate::dimSettingsLabels());
    lf_enable(SetButton, false);
}

void lf_initTimeShiftControls() {
    lf_showTimeShiftValues();
    if (!isRTDirect()) {
        // The RT App keeps its own time: the program shifts nothing.
        lf_enable(KEEP_SIM_TIME_PAR, false);
        lf_enableTimeShiftControls(false);
        return;
    }
    lf_enable(KEEP_SIM_TIME_PAR, true);
    if (!SIM_TIME.value()) {
        if (TIME_SHIFT_DAYS.value() != TIME_SHIFT_DAYS.defaultValue() ||
            TIME_SHIFT_HOURS.value() != TIME_SHIFT_HOURS.defaultValue() ||
            TIME_SHIFT_MINS.value() != TIME_SHIFT_MINS.defaultValue()) {
            lf_timeShift(lf_currentTimeShiftMinutes(), true, false);
        }
    } else {
        gf_setLastSeenSimTime(gf_simTime().value_or(0));
        if (!settingsSnapshot.load()->SIM_TIME) {
            lf_showTimeShift(0);
            lf_timeShift(0, false, false);
        } else {
            // Nothing seen yet: the main loop measures the shift at its next second.
            gf_setLastSeenSimTime(0);
        }
    }
    lf_enableAll({&TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS, &SIM_TIME}, true);
    lf_enable(SetButton, false);
}

void gf_showLiveAircraftCounts() {
    const auto moving = std::count_if(g_liveAircraft.begin(), g_liveAircraft.end(), [](const LiveAc& ac) {
        return ac.simState == AcSimState::active && ac.phase != AcPhase::parked;
    });
    Gui::enqueueUpdate(GuiUpdate::liveAircraftCount(static_cast<std::uint64_t>(moving)));
    const ParkedTrafficServices services = gf_parkedTrafficServices();
    const std::uint32_t liveParked = services.countLiveParked(true);
    const std::int64_t statics = services.countStaticAircraft(true);
    Gui::enqueueUpdate(GuiUpdate::parkedCounts(liveParked, static_cast<std::uint64_t>(std::max<std::int64_t>(statics, 0))));
}

void lf_waitForFirstTraffic() {
    using namespace std::chrono_literals;
    const ShellWaitClock clock = gf_shellWaitClock();
    const auto deadline = clock.now() + 15s;
    for (;;) {
        const std::int64_t trafficTime =
            isRTDirect() ? g_rtDirectTrafficTime.load() : g_rtAppLastRecordTime.load();
        if (trafficTime != 0 || !keepRunning()) return;
        const auto now = clock.now();
        if (now >= deadline) break;
        clock.sleepUntil(std::min(now + 100ms, deadline));
    }
    gf_log("No traffic in this region");
}

void gf_applyRangeMode() {
    const auto settings = settingsSnapshot.load();
    if (settings->AUTO_RANGE) {
        gf_autoRange();
    } else {
        gf_setRange(settings->MANUAL_RANGE);
    }
    lf_enable(RANGE, !settings->AUTO_RANGE);
}

double lf_autoRangeFor(bool onGround, double altitudeFt, const AutoRangeLevels& l) {
    if (onGround) return l.ground;
    // Flight below sea level counts as at sea level: the first band would
    // otherwise reach below the ground range, down to a negative range.
    const double fl = std::max(altitudeFt / 100.0, 0.0);
    if (l.level1 >= fl) return l.level1 == 0 ? l.range1 : l.ground + (fl - 0) / (l.level1 - 0) * (l.range1 - l.ground);
    if (l.level2 >= fl) {
        return l.level2 == l.level1 ? l.range2 : l.range1 + (fl - l.level1) / (l.level2 - l.level1) * (l.range2 - l.range1);
    }
    if (l.level3 >= fl) {
        return l.level3 == l.level2 ? l.range3 : l.range2 + (fl - l.level2) / (l.level3 - l.level2) * (l.range3 - l.range2);
    }
    return l.above;
}

void gf_autoRange() {
    const std::int32_t kept = RANGE.value();
    const AutoRangeLevels levels{
        static_cast<double>(FLIGHT_LEVEL_1.value()), static_cast<double>(FLIGHT_LEVEL_2.value()),
        static_cast<double>(FLIGHT_LEVEL_3.value()), static_cast<double>(RANGE_GROUND.value()),
        static_cast<double>(RANGE_1.value()),        static_cast<double>(RANGE_2.value()),
        static_cast<double>(RANGE_3.value()),        static_cast<double>(RANGE_ABOVE.value())};
    const double range = lf_autoRangeFor(g_userOnGround.load(), g_userAltitudeFt.load(), levels);
    gf_setRange(static_cast<std::int32_t>(std::lround(range)));
    if (isRTDirect() && RANGE.value() != kept) gf_rtApiTrafficReader().updateQueryBox();
}

void gf_installShellSeams() {
    gf_setParkedTrafficServices(ParkedTrafficServices{
        &gf_parkedTrafficSetUp, &gf_loadedAirportHasStands, &gf_countLiveParked, &gf_countStaticAircraft,
        [] { g_generatingParking.store(false); }});
    gf_setTbloPendingQuery([] { return g_tbloPending.load(); });
    // A stopping program asks no one and waits for no answer: a dialog open
    // when the window is closed (or a signal stands for that) ends with its
    // cancel answer, as a pending stop ends every other wait of the program.
    gf_setModalDialogRefusal([] { return !keepRunning(); });
}

void gf_setShellWaitClock(ShellWaitClock clock) {
    std::lock_guard lock(l_clockMutex);
    l_clock = std::move(clock);
}
