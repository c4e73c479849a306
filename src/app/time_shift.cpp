#include "app/time_shift.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <string_view>

#include <fmt/format.h>

#include "feed/rtdirect/traffic_reader.h"
#include "feed/rtdirect/weather_reader.h"
#include "foundation/log.h"
#include "foundation/time.h"
#include "platform/window/window.h"
#include "services/gui.h"
#include "services/shell.h"
#include "services/stop.h"
#include "settings/parameters.h"
#include "settings/snapshot.h"
#include "simlink/sim_link.h"

namespace {

// Set at the start of every run; cleared once the first check of the
// simulator clock has applied its shift.
std::atomic<bool> l_firstSimTimeCheck{true};
// Seconds since 1970 of the simulator time seen at the last check, 0 for none.
std::atomic<std::int64_t> l_lastSeenSimTime{0};

void lf_setActiveTimeShift(std::int32_t minutes) {
    const auto active = static_cast<std::uint32_t>(std::clamp(minutes, 0, kMaxTimeShiftMinutes));
    gf_rtApiTrafficReader().timeOffset.store(active);
    gf_rtApiWeatherReader().timeOffset.store(active);
}

// |a - b| without overflow for any two times.
std::uint64_t lf_distanceSeconds(std::int64_t a, std::int64_t b) {
    return a >= b ? static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b)
                  : static_cast<std::uint64_t>(b) - static_cast<std::uint64_t>(a);
}

std::string_view lf_minuteSuffix(std::int32_t minutes) { return minutes == 1 ? "" : "s"; }

void lf_announceTimeShift(std::int32_t minutes) {
    Gui::addStatusLine(fmt::format("Time shifted {} minute{}", minutes, lf_minuteSuffix(minutes)), true);
}

// The simulator's clock is more than two weeks behind: say so and cap.
std::int32_t lf_capSimTimeShift(std::int32_t minutes) {
    if (minutes <= kMaxTimeShiftMinutes) return minutes;
    gf_logError("time shift is limited to 2 weeks !");
    return kMaxTimeShiftMinutes;
}

// The end of a check on the simulator clock that is not the run's first: the
// clock jumped, so the next run measures the shift anew.
void lf_restartForSimClockJump() {
    l_lastSeenSimTime.store(0);
    g_timeShiftActive.store(false);
    requestStop(StopReason::NewSettings, 0);
}

void lf_showPart(NumericListOption& parameter, std::int32_t value) {
    parameter.set(value);
    parameter.save();
    parameter.selectCurrent();
}

}  // namespace

std::int32_t lf_currentTimeShiftMinutes() {
    const auto settings = settingsSnapshot.load();
    return (settings->TIME_SHIFT_DAYS * 24 + settings->TIME_SHIFT_HOURS) * 60 + settings->TIME_SHIFT_MINS;
}

void lf_showTimeShift(std::int32_t minutes) {
    const std::int32_t days = minutes / 1440;
    const std::int32_t rest = minutes - days * 1440;
    const std::int32_t hours = rest / 60;
    lf_showPart(TIME_SHIFT_DAYS, days);
    lf_showPart(TIME_SHIFT_HOURS, hours);
    lf_showPart(TIME_SHIFT_MINS, rest - hours * 60);
    gf_publishParameter(TIME_SHIFT_DAYS);
}

void lf_timeShift(std::int32_t minutes, bool noRestart, bool controlsAlreadySet) {
    const bool wasShifted = g_timeShiftActive.exchange(minutes > 0);
    if (!controlsAlreadySet) lf_showTimeShift(minutes);
    lf_setActiveTimeShift(minutes);
    if (minutes == 0 && !wasShifted) {
        Gui::addStatusLine("Time shift = 0", true);
        return;
    }
    lf_announceTimeShift(minutes);
    if (!noRestart) requestStop(StopReason::NewSettings, 0);
}

void gf_setButtonPressed() {
    lf_timeShift(lf_currentTimeShiftMinutes(), false, true);
    gf_enableControl(SetButton.controlId, false);
}

void lf_checkSimTimeShift() {
    const auto simTime = gf_simTime();
    if (!simTime) {
        l_lastSeenSimTime.store(0);
        return;
    }
    if (lf_distanceSeconds(*simTime, l_lastSeenSimTime.load()) >= static_cast<std::uint64_t>(kSimTimeJumpSeconds)) {
        const std::int64_t now = gf_systemSeconds();
        // A simulator clock ahead of real time gives no shift; one thousands
        // of years behind still gives a shift that the two-week cap catches.
        const std::int32_t minutes =
            now > *simTime ? static_cast<std::int32_t>(std::min<std::uint64_t>(
                                 lf_distanceSeconds(now, *simTime) / 60, std::numeric_limits<std::int32_t>::max()))
                           : 0;
        if (isRTDirect()) {
            lf_simTimeShiftRTDirect(minutes);
        } else {
            lf_simTimeShiftRTApp(minutes);
        }
    }
    l_lastSeenSimTime.store(*simTime);
}

void lf_simTimeShiftRTDirect(std::int32_t minutes) {
    if (minutes == 0 && l_firstSimTimeCheck.load()) return;
    g_timeShiftActive.store(minutes > 0);
    minutes = lf_capSimTimeShift(minutes);
    lf_showTimeShift(minutes);
    lf_announceTimeShift(minutes);
    if (l_firstSimTimeCheck.exchange(false)) {
        lf_setActiveTimeShift(minutes);
    } else {
        lf_restartForSimClockJump();
    }
}

void lf_simTimeShiftRTApp(std::int32_t minutes) {
    if (minutes == 0 && l_firstSimTimeCheck.load()) return;
    g_timeShiftActive.store(minutes > 0);
    minutes = lf_capSimTimeShift(minutes);
    lf_announceTimeShift(minutes);
    if (!l_firstSimTimeCheck.exchange(false)) lf_restartForSimClockJump();
}

void gf_resetTimeShiftRun() {
    l_firstSimTimeCheck.store(true);
    l_lastSeenSimTime.store(0);
}

void gf_setLastSeenSimTime(std::int64_t seconds) { l_lastSeenSimTime.store(seconds); }

std::int64_t gf_lastSeenSimTime() { return l_lastSeenSimTime.load(); }
