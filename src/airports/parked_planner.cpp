#include "airports/parked_planner.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

#include <fmt/format.h>

#include "airports/airport_file_settings.h"
#include "airports/current_airport.h"
#include "airports/learned_airport_file.h"
#include "airports/loaded_airport.h"
#include "airports/park_airport_load.h"
#include "airports/park_airports.h"
#include "airports/parked_traffic_status.h"
#include "airports/parking_state.h"
#include "airports/stand_options.h"
#include "airports/stand_searches.h"
#include "airports/static_placement.h"
#include "engine/engine_lists.h"
#include "engine/engine_state.h"
#include "engine/removal_policies.h"
#include "engine/stands.h"
#include "feed/handover.h"
#include "feed/rtdirect/traffic_reader.h"
#include "feed/traffic_clock.h"
#include "foundation/lalo.h"
#include "foundation/log.h"
#include "motion/runways.h"
#include "platform/window/window.h"
#include "services/gui.h"
#include "services/parking_controls.h"
#include "settings/option_lists.h"
#include "settings/parameters.h"
#include "simlink/sim_link.h"

namespace {

std::function<std::int64_t()> l_plannerClock;

std::int64_t lf_nowNs() {
    if (l_plannerClock) return l_plannerClock();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void lf_sortStaticsToPlace() {
    // Items are taken from the back: the aircraft that has stood longest goes first.
    std::stable_sort(staticsToPlace.begin(), staticsToPlace.end(),
                     [](const StaticToPlace& a, const StaticToPlace& b) { return a.ageSlots < b.ageSlots; });
}

void lf_removeStaticsNotKept() {
    lf_addStaticsToRemovals([](const AcBase& s) { return s.plannerFlag == 0; });
}

std::int64_t lf_percentOf(std::int64_t part, std::size_t whole) {
    return whole == 0 ? 0 : std::llround(static_cast<double>(part) * 100.0 / static_cast<double>(whole));
}

void lf_reportPlan(const SettingsSnapshot& settings) {
    const std::int64_t taken = gf_occupiedStandCount();
    if (taken == 0) {
        gf_log("no parking positions found");
        gf_enableParkingControls();
        return;
    }
    if (settings.RT_PARKTRAFFIC_ONLY != 0) {
        gf_logAndFlush(fmt::format("{} positions with RT Parked only\n", taken));
        return;
    }
    const std::string suffix = settings.AUTO_PARK != 0
                                   ? std::string(" auto park")
                                   : fmt::format(", with Max fit={:.1F} hours", gf_maxFitIndexToValue(settings.MAX_FIT));
    gf_logAndFlush(fmt::format("{} positions ({}% vs wanted {}%){}\n", taken, lf_percentOf(taken, g_standTable.size()),
                               settings.parking_percentage, suffix));
}

}  // namespace

void gf_setPlannerClock(std::function<std::int64_t()> nowNs) { l_plannerClock = std::move(nowNs); }

std::int32_t gf_planTicksCredit(std::int64_t milliseconds) {
    if (milliseconds < 5) return 0;
    return static_cast<std::int32_t>(std::min<std::int64_t>((milliseconds + 5) / 10, INT32_MAX));
}

void gf_clearParkingPlanRequest() { g_parkingPlanRequested.store(false); }

void gf_updateParkedTraffic() {
    if (g_generatingParking.load() && staticsToPlace.empty()) {
        gf_enableParkingControls();
        gf_countStaticAircraft(true);
        gf_countLiveParked(true);
    }
    if (g_parkingPlanRequested.exchange(false)) {
        gf_planParkedTraffic();
        return;
    }
    const UserAircraftState user = gf_getUserAircraftState();
    const LaLo position{user.latitude, user.longitude};
    if (std::fabs(position.lat) < 0.0001 && std::fabs(position.lon) < 0.0001) return;
    const auto settings = settingsSnapshot.load();
    if (settings->DESTINATION.empty() && !g_userOnGround.load() && user.altitude < settings->AIRP_HEIGHT)
        lf_moveNearestParkAirportToFront(position);
    const std::optional<AirportListEntry> current = gf_currentAirport();
    if (current && gf_isValidLaLo(current->position))
        lf_checkParkAirportReach(position);
    else
        lf_selectParkAirportOnGround(position);
}

void gf_planParkedTraffic() {
    const ParkedFileResult loaded = lf_readParkedFile();
    if (!loaded.success) {
        gf_enableParkingControls();
        gf_resetParkedTraffic();
        // Shown after the reset, whose emptied parked-traffic text clears the
        // status line: the user must see why the airport has no parked traffic.
        Gui::addStatusLine(loaded.error, true);
        return;
    }
    g_parkingActive.store(true);
    gf_showParkingInterval();
    const std::int64_t started = lf_nowNs();
    lf_planParking();
    const std::int64_t ms = (lf_nowNs() - started) / 1'000'000;
    // The engine clock is paid the time the plan held the loop, so that
    // aircraft motion keeps real time.
    if (const std::int32_t ticks = gf_planTicksCredit(ms); ticks > 0) gf_addTicks(ticks);
}

void lf_planParking() {
    if (g_standTable.empty()) return;
    const WeekTime now = lf_logWeekTime();
    gf_disableParkingControls();
    g_generatingParking.store(true);
    Gui::enqueueUpdate(GuiUpdate::repaint(kRepaintParking));

    gf_clearStaticsToPlace();
    Gui::enqueueUpdate(GuiUpdate::liveFit(-1.0f));
    Gui::showParkedTrafficValue(-1.0f);
    Gui::setParkedTrafficFlag(false);
    gf_takeParkedHandOverMaps();
    gf_clearStandMarks();
    lf_blockUserStands();

    const auto settings = settingsSnapshot.load();
    const std::int64_t wanted = gf_setStaticParkingTarget(*settings);
    if (wanted > 0) gf_handOverParkedTraffic(static_cast<std::uint32_t>(wanted));
    if (settings->RT_PARKTRAFFIC_ONLY == 0 && static_cast<std::int64_t>(staticsToPlace.size()) < wanted)
        lf_searchAllStands(now, wanted);
    // A plan removes nothing: a static standing where one is planned stays.
    lf_dropPlansAStaticWouldRefuse();
    lf_sortStaticsToPlace();
    lf_reportPlan(*settings);
}

void lf_adjustParking(bool dropFileStatics) {
    const WeekTime now = lf_logWeekTime();
    const auto settings = settingsSnapshot.load();
    gf_takeParkedHandOverMaps();
    g_weekSearchUsed = false;
    Gui::setParkedTrafficFlag(false);
    staticRemovals.clear();
    stayers.clear();
    gf_clearStaticsToPlace();
    gf_clearStandMarks();
    for (Stand& stand : g_standTable) {
        // Options parked at number 0 during the last plan become usable again.
        std::uint32_t number = 0;
        for (StandOption& option : stand.options) option.number = ++number;
    }
    for (AcBase& s : g_staticAircraft) s.plannerFlag = 0;
    lf_blockUserStands();
    if (dropFileStatics) {
        lf_addStaticsToRemovals(
            [](const AcBase& s) { return s.fromAirportFile == 1 && s.simState == AcSimState::active; });
    }
    const std::int64_t wanted = gf_setStaticParkingTarget(*settings);
    lf_collectLiveStayers();
    const bool rtOnly = settings->RT_PARKTRAFFIC_ONLY != 0;
    if (!rtOnly && static_cast<std::int64_t>(stayers.size()) > wanted) {
        const std::int64_t surplus = static_cast<std::int64_t>(stayers.size()) - wanted;
        Gui::addStatusLine(fmt::format("Parking adjustments: {} more live ac than wanted", surplus), true);
        lf_removeNOldestLiveParked(surplus);
        stayers.clear();
        lf_collectLiveStayers();
    }
    for (const StayerEntry& stayer : stayers) gf_claimStand(stayer.standId, wanted);
    gf_handOverParkedTraffic(static_cast<std::uint32_t>(std::max<std::int64_t>(wanted, 0)));

    if (rtOnly) {
        if (!dropFileStatics) lf_removeStaticsNotKept();
        lf_removeRemovals();
        lf_dropPlansAStaticWouldRefuse();
        Gui::addStatusLine(fmt::format("RT Parking changes: {} to be removed, {} to be added", staticRemovals.size(),
                                       staticsToPlace.size()),
                           true);
        return;
    }
    if (gf_occupiedStandCount() < wanted) lf_searchAllStands(now, wanted);
    lf_removeStaticsNotKept();
    lf_switchStaticCallsigns(now);
    lf_cancelRemovalsAndPlacements();
    lf_sortStaticsToPlace();
    lf_removeRemovals();
    lf_dropPlansAStaticWouldRefuse();
    gf_log("");
    Gui::addStatusLine(fmt::format("Parking adjustments: {} to be removed, {} to be added\n", staticRemovals.size(),
                                   staticsToPlace.size()),
                       true);
    gf_flushLog();
}

void gf_resetParkedTraffic() {
    LoadedAirport loaded = gf_loadedAirport();
    if (loaded.fileLoaded) {
        gf_saveLearned(g_standTable, loaded.handmade);
        gf_restoreUserParkingSettings();
        loaded.fileLoaded = false;
        loaded.handmade = false;
        gf_setLoadedAirport(loaded);
    }
    gf_enableControl(ParkButton.controlId, false);
    gf_enableControl(FlushButton.controlId, false);
    g_airportDataWeek.store(0);

    gf_clearCurrentAirport();
    Gui::enqueueUpdate(GuiUpdate::parkAirportCode(IcaoCode{}));
    gf_clearParkedTrafficAirport();
    Gui::enqueueUpdate(GuiUpdate::standOptionUpdates(g_learnedOptionCount));

    staticRemovals.clear();
    gf_clearStaticsToPlace();
    g_standTable.clear();
    g_standNameIndex.clear();
    gf_clearRunwayTable();
    // Nothing is planned any more: the parked aircraft have no limit.
    parkedTarget = -1;
    g_parkingActive.store(false);

    gf_publishStandSnapshot();
    Gui::showParkedTrafficText(false, "");
    Gui::showParkAirport("", false);
}

void gf_endParkedTrafficAtAirport() {
    gf_clearStaticsToPlace();
    lf_removeAllStaticAndLiveAtAirport();
    gf_resetParkedTraffic();
}

WeekTime lf_logWeekTime() {
    const WeekTime now = gf_weekTimeOf(g_weekTime.load());
    const double hours = (std::min<std::uint32_t>(now.slot, kSlotsPerDay - 1) + 1) * 0.5;
    gf_log(fmt::format("\n{} (utc) It is day {} ({}), {:.1F} hours", gf_trafficTimeText(), now.day,
                       gf_weekdayName(static_cast<int>(now.day)), hours));
    return now;
}

std::int64_t gf_setStaticParkingTarget(const SettingsSnapshot& settings) {
    std::int64_t wanted = 0;
    if (settings.RT_PARKTRAFFIC_ONLY != 0) {
        // Only the traffic service's parked aircraft: as many as it may
        // send, up to one per stand.
        const auto stands = static_cast<std::int64_t>(g_standTable.size());
        wanted = settings.MAX_PARK_SEL < 1 ? 0 : std::min<std::int64_t>(settings.MAX_PARK_SEL, stands);
        g_staticParkingTarget = wanted;
        Gui::enqueueUpdate(GuiUpdate::parkingTarget(static_cast<std::int32_t>(wanted),
                                                    static_cast<std::int32_t>(lf_percentOf(wanted, g_standTable.size()))));
    } else {
        wanted = gf_computeStaticParkingTarget(settings.parking_percentage, settings.MAX_PARK_SEL);
    }
    parkedTarget = static_cast<std::int32_t>(wanted);
    return wanted;
}
