#include "app/main_loop.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "airports/parking_state.h"
#include "airports/static_placement.h"
#include "app/blocking.h"
#include "app/command_handlers.h"
#include "app/control_states.h"
#include "app/neighbour_services.h"
#include "app/time_shift.h"
#include "engine/engine_lists.h"
#include "engine/engine_state.h"
#include "engine/mailbox.h"
#include "engine/stands.h"
#include "engine/user_position.h"
#include "feed/feed_state.h"
#include "feed/rtapp/qnh_reader.h"
#include "feed/rtapp/rtapp_link.h"
#include "feed/rtapp/traffic_reader.h"
#include "feed/rtdirect/traffic_reader.h"
#include "feed/rtdirect/weather_reader.h"
#include "feed/traffic_clock.h"
#include "foundation/log.h"
#include "foundation/time.h"
#include "liveries/code_tables.h"
#include "platform/os/timer_period.h"
#include "platform/window/window.h"
#include "services/gui.h"
#include "services/parking_controls.h"
#include "services/stop.h"
#include "settings/parameters.h"
#include "settings/snapshot.h"
#include "simlink/sim_link.h"

namespace {

using namespace std::chrono_literals;

// The weather lamp shows trouble once the last weather of the RT App is this
// old, or the last answer of the web API.
constexpr auto kRTAppWeatherAge = 90s;
constexpr auto kRTDirectWeatherAge = 120s;
// The user aircraft flies for the collision checks above this height even
// where the simulator says it is on the ground.
constexpr double kUserAirborneAboveGroundFt = 500.0;

MainLoopState l_state;

const NeighbourServices& lf_services(std::shared_ptr<const NeighbourServices>& holder) {
    holder = gf_neighbourServices();
    return *holder;
}

// Navigation lights of parked aircraft after NAV_LIGHTS_WHILE_PARKED changed.
void lf_applyPendingNavLights() {
    const std::int8_t value = g_pendingNavLights.exchange(-1);
    if (value != 0 && value != 1) return;
    const auto lights = static_cast<std::uint32_t>(value);
    for (const AcBase& ac : g_staticAircraft) {
        if (ac.simState == AcSimState::active) gf_setAiNavLights(ac.objectId, lights);
    }
    for (const LiveAc& ac : g_liveAircraft) {
        if (ac.simState == AcSimState::active && ac.phase == AcPhase::parked) gf_setAiNavLights(ac.objectId, lights);
    }
}

// The first live aircraft that spawned, landed or parked since the last
// second gets its stand-option callsigns (once) and loses any static twin.
void lf_checkOneArrival(const NeighbourServices& services) {
    if (newLiveCheckQueue.empty()) return;
    const std::uint32_t hexid = newLiveCheckQueue.front();
    // Dropped first: a removal below may change the queue.
    newLiveCheckQueue.pop_front();
    const auto it = std::find_if(g_liveAircraft.begin(), g_liveAircraft.end(),
                                 [hexid](const LiveAc& ac) { return ac.hexid == hexid; });
    if (it == g_liveAircraft.end()) return;
    if (it->plannerFlag == 0) {
        it->plannerFlag = 1;
        services.applyStandOptionCallsigns(g_standTable, gf_weekTimeOf(g_weekTime.load()), *it);
    }
    services.checkForStaticWithCallsignOrHexidAndRemove(*it);
}

void lf_applyParkingPercentage(const NeighbourServices& services, const SettingsSnapshot& settings) {
    if (!g_parkingPercentageChanged.exchange(false) || g_standTable.empty()) return;
    const std::int64_t previous = g_staticParkingTarget;
    std::int64_t target = 0;
    if (!settings.RT_PARKTRAFFIC_ONLY) {
        target = services.computeStaticParkingTarget(settings.parking_percentage, settings.MAX_PARK_SEL);
    } else {
        // Only the traffic service's parked aircraft: as many as it may send,
        // up to one per stand.
        const auto stands = static_cast<std::int64_t>(g_standTable.size());
        target = settings.MAX_PARK_SEL < 1 ? 0 : std::min<std::int64_t>(settings.MAX_PARK_SEL, stands);
        const auto percent = static_cast<std::int32_t>(std::llround(static_cast<double>(target) * 100.0 / stands));
        g_staticParkingTarget = target;
        Gui::enqueueUpdate(GuiUpdate::parkingTarget(static_cast<std::int32_t>(target), percent));
    }
    if (target < previous) services.trimParkedToTarget(0);
}

void lf_applyLiveMaximum(const NeighbourServices& services, const SettingsSnapshot& settings) {
    if (!g_liveMaximumChanged.exchange(false) || settings.MAX_LIVE_SEL == 500) return;
    const auto active = std::count_if(g_liveAircraft.begin(), g_liveAircraft.end(),
                                      [](const LiveAc& ac) { return ac.simState == AcSimState::active; });
    for (auto n = active; n > settings.MAX_LIVE_SEL; --n) services.isThisTheFurthestLive(0.0);
}

void lf_refreshAircraftList(const NeighbourServices& services) {
    if (!g_aircraftListRefreshRequested.exchange(false)) return;
    const std::vector<std::string> aircraft = services.listActiveLiveAc();
    std::vector<std::string> choices;
    choices.reserve(aircraft.size() + 1);
    choices.emplace_back("select an aircraft");
    choices.insert(choices.end(), aircraft.begin(), aircraft.end());
    AIRCRAFT_SELECTOR.replaceChoices(choices);
    AIRCRAFT_SELECTOR.setValue(choices.front());
    AIRCRAFT_SELECTOR.fillCombo();
    gf_enableControl(AIRCRAFT_SELECTOR.controlId, !aircraft.empty());
}

void lf_checkUserCollisions(const NeighbourServices& services, const SettingsSnapshot& settings) {
    const UserAircraftState user = gf_getUserAircraftState();
    const bool flying = !g_userOnGround.load() ||
                        (std::isfinite(user.altitudeAboveGround) && user.altitudeAboveGround > kUserAirborneAboveGroundFt);
    if (flying && settings.COLLISION_USER_AIR) services.checkUserAcCollisions();
    services.checkLiveVsParkedCollisions();
}

// The traffic source learns where the user is.
void lf_handUserPosition() {
    const UserAircraftState user = gf_userPosition();
    if (isRTDirect()) {
        RTAPITrafficReader& reader = gf_rtApiTrafficReader();
        reader.setUserPosition(LaLo{user.latitude, user.longitude});
        reader.updateQueryBox();
        return;
    }
    g_trafficReader.setOwnPosition(user.latitude, user.longitude);
    if (g_rtProfessional.load()) {
        if (const auto simTime = gf_simTime()) gf_sendTimeOffset(*simTime);
    }
}

std::uint32_t lf_weatherLamp() {
    if (isRTDirect()) {
        const auto last = gf_rtApiWeatherReader().lastSuccessTime();
        return !last || gf_rtDirectClock().now() - *last > kRTDirectWeatherAge ? kReaderTrouble : kReaderRunning;
    }
    const std::int64_t seen = g_qnhReader.metarTimeNs();
    if (seen == 0) return kReaderTrouble;
    const auto age = std::chrono::steady_clock::now().time_since_epoch() - std::chrono::nanoseconds(seen);
    return age < 0s || age > kRTAppWeatherAge ? kReaderTrouble : kReaderRunning;
}

std::uint32_t lf_trafficLamp() {
    if (isRTDirect()) return gf_rtApiTrafficReader().deliveredCount.exchange(0) != 0 ? kReaderRunning : kReaderTrouble;
    const std::uint32_t count = g_trafficReader.datagramCount();
    const bool arrived = count != l_state.lastDatagramCount;
    l_state.lastDatagramCount = count;
    return arrived ? kReaderRunning : kReaderTrouble;
}

// The parking interval counts down once a minute; when it runs out the next
// parking update is announced.
void lf_countDownParkingInterval() {
    if (l_state.parkingIntervalChanged) {
        l_state.parkingIntervalChanged = false;
    } else {
        // The RT App is asked ahead, so that its parked traffic is there when
        // the update runs.
        if (!isRTDirect() && l_state.parkingInterval == 2) gf_requestParkedTraffic();
        --l_state.parkingInterval;
        if (l_state.parkingInterval <= 0) {
            l_state.parkingInterval = settingsSnapshot.load()->PARKING_INTERVAL_MINUTES;
            if (gf_parkedTrafficServices().parkedTrafficSetUp() && staticsToPlace.empty()) {
                bool outstanding = false;
                {
                    std::lock_guard lock(g_parkingRequestMutex);
                    outstanding = g_parkingRequest.requestCount != g_parkingRequest.doneCount;
                }
                if (!outstanding) gf_announceParkingUpdate();
            }
        }
    }
    Gui::enqueueUpdate(GuiUpdate::parkingInterval(l_state.parkingInterval));
}

}  // namespace

MainLoopState& gf_mainLoopState() { return l_state; }

void gf_resetMainLoopState() { l_state = MainLoopState{}; }

void gf_storeCurrentWeekTime() { g_weekTime.store(gf_slotAndWeekday()); }

void lf_mainLoop() {
    std::shared_ptr<const NeighbourServices> holder;
    const NeighbourServices& services = lf_services(holder);
    if (const auto park = services.currentParkAirport(); park && gf_isValidLaLo(park->position)) {
        if (!services.hasAirportFile(park->icao)) {
            Gui::addStatusLine(fmt::format("User aircraft on the ground at {}", park->icao) + ", no airport file found",
                               true);
        } else {
            services.clearPlanRequest();
            services.planParkedTraffic();
        }
    }

    const ShellWaitClock clock = gf_shellWaitClock();
    l_state.secondsCounter = 0;
    auto deadline = clock.now() + kMainLoopTick;
    gf_storeCurrentWeekTime();
    gf_setTrafficDelivery(true);
    gf_enableControl(AircraftButton.controlId, true);
    const bool timerGranted = gf_osBeginTimerPeriod(1);

    while (lf_tick()) {
        const auto now = clock.now();
        // Lost ticks are skipped, never caught up in a burst.
        if (now - deadline > kMainLoopResync) deadline = now + kMainLoopTick;
        if (deadline - now >= 1ms) clock.sleepUntil(deadline);
        // The simulator's second re-phases the schedule.
        if (g_userGroundDataSeen.load()) {
            deadline = clock.now() + kMainLoopTick;
        } else {
            deadline += kMainLoopTick;
        }
    }
    if (timerGranted) gf_osEndTimerPeriod(1);
}

bool lf_tick() {
    std::shared_ptr<const NeighbourServices> holder;
    const NeighbourServices& services = lf_services(holder);
    if (g_simState.load() != SIM_RUNNING) {
        lf_flightNotRunning();
        l_state.lastStopCheck.reset();
        return keepRunning();
    }
    lf_applyPendingNavLights();
    services.handleAddingStack();

    const auto now = gf_shellWaitClock().now();
    if (g_userGroundDataSeen.exchange(false)) {
        lf_flightRunning();
        l_state.lastStopCheck = now;
        if (!keepRunning()) return false;
        const std::int32_t seconds = l_state.secondsCounter;
        if (seconds % 5 == 0) {
            lf_everyFiveSeconds();
            return true;
        }
        if (seconds % 14 == 0 && !l_state.replanPending) services.updateParkedTraffic();
        if (seconds % 61 == 0) services.checkForAllGndIfParkedVersionExistsAndRemove();
        return true;
    }
    // A link that stays in the running state but no longer signals its
    // seconds must not hide stop requests (the close button's among them).
    if (!l_state.lastStopCheck) {
        l_state.lastStopCheck = now;
    } else if (now - *l_state.lastStopCheck >= kMainLoopStopCheck) {
        l_state.lastStopCheck = now;
        if (!keepRunning()) return false;
    }
    return true;
}

void lf_flightNotRunning() {
    std::shared_ptr<const NeighbourServices> holder;
    const NeighbourServices& services = lf_services(holder);
    if (!l_state.flightNotRunning) {
        gf_setTrafficDelivery(false);
        l_state.flightNotRunning = true;
        l_state.notRunningCountdown = 100;
        gf_clearAiPoseStream();
        gf_log(fmt::format("{} Flight not running", gf_utcTimeText()));
    }
    services.processSimCommands();
    --l_state.notRunningCountdown;
    if (l_state.notRunningCountdown % 100 == 0) {
        if (isRTDirect()) {
            gf_rtApiTrafficReader().updateQueryBox();
        } else {
            gf_sendUserPosition();
        }
    }
    if (l_state.notRunningCountdown < 1) {
        l_state.notRunningCountdown = 100;
        gf_showLiveAircraftCounts();
        gf_storeCurrentWeekTime();
    }
}

void lf_flightRunning() {
    std::shared_ptr<const NeighbourServices> holder;
    const NeighbourServices& services = lf_services(holder);
    const auto settings = settingsSnapshot.load();

    const std::int32_t interval = g_pendingParkingInterval.exchange(-1);
    if (interval >= 0) {
        l_state.parkingInterval = interval;
        l_state.parkingIntervalChanged = true;
    }
    if (l_state.flightNotRunning) {
        l_state.flightNotRunning = false;
        gf_log(fmt::format("{} Flight resumed", gf_utcTimeText()));
        gf_setTrafficDelivery(true);
    }
    Gui::enqueueUpdate(GuiUpdate::statusTick());
    gf_showLiveAircraftCounts();
    services.runParkedAcSchedule();
    gf_storeCurrentWeekTime();
    // RT Direct follows the simulator's clock only when the user asked for it.
    if (g_rtProfessional.load() && !(isRTDirect() && !settings->SIM_TIME)) lf_checkSimTimeShift();
    ++l_state.secondsCounter;

    lf_checkOneArrival(services);
    lf_applyParkingPercentage(services, *settings);
    lf_applyLiveMaximum(services, *settings);
    if (g_removeAllStaticsRequested.exchange(false)) services.removeAllStatic();
    lf_refreshAircraftList(services);
    lf_checkUserCollisions(services, *settings);
    if (g_blockedAircraftChanged.exchange(false)) services.removeBlockedAc();
    if (g_generatingParking.load()) Gui::enqueueUpdate(GuiUpdate::staticsWaiting(staticsToPlace.size()));
}

void lf_everyFiveSeconds() {
    std::shared_ptr<const NeighbourServices> holder;
    const NeighbourServices& services = lf_services(holder);
    if (g_categoryOffTwoProps.exchange(false)) services.removeLiveAircraftCategory(TwoProps);
    if (g_categoryOffLight.exchange(false)) services.removeLiveAircraftCategory(Light);
    if (g_categoryOffRotorcraft.exchange(false)) {
        services.removeLiveAircraftCategory(Rotorcraft);
        services.removeStaticAircraftCategory(Rotorcraft);
    }
    if (g_categoryOffHighPerf.exchange(false)) services.removeLiveAircraftCategory(HighPerf);
    lf_handUserPosition();
    if (const auto stand = services.parkAirportUserStand()) services.clearUserDestGate(*stand);
    if (l_state.secondsCounter % 15 == 0) lf_everyFifteenSeconds();
}

void lf_everyFifteenSeconds() {
    std::shared_ptr<const NeighbourServices> holder;
    const NeighbourServices& services = lf_services(holder);
    gf_flushLog();
    if (!l_state.replanPending) {
        bool taken = false;
        {
            std::lock_guard lock(g_parkingRequestMutex);
            if (g_parkingRequest.requestCount != g_parkingRequest.doneCount) {
                l_state.replanCount = g_parkingRequest.requestCount;
                l_state.replanId = g_parkingRequest.requestId;
                l_state.replanRefresh = g_parkingRequest.refreshRequested;
                l_state.replanPending = taken = true;
            }
        }
        if (taken) {
            gf_disableParkingControls();
            gf_clearTrafficMaps();
        }
    }
    if (l_state.replanPending) {
        Gui::enqueueUpdate(GuiUpdate::clearError());
        Gui::showTbloHintOrClear();
        if (services.currentParkAirport() && !g_standTable.empty()) {
            Gui::enqueueUpdate(GuiUpdate::staticsWaiting(staticsToPlace.size()));
            Gui::enqueueUpdate(GuiUpdate::repaint(kRepaintParking));
            const ShellWaitClock clock = gf_shellWaitClock();
            const auto started = clock.now();
            services.adjustParking(l_state.replanRefresh);
            // The engine clock is paid the time the re-plan held the loop, so
            // that aircraft motion keeps real time.
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(clock.now() - started).count();
            if (ms > 4) gf_addTicks(static_cast<std::int32_t>((ms + 5) / 10));
        }
        {
            std::lock_guard lock(g_parkingRequestMutex);
            g_parkingRequest.doneCount = std::max(g_parkingRequest.doneCount, l_state.replanCount);
            if (l_state.replanRefresh && g_parkingRequest.requestId == l_state.replanId) {
                g_parkingRequest.refreshRequested = false;
            }
        }
        l_state.replanPending = false;
    }
    if (l_state.secondsCounter % 30 == 0) lf_everyThirtySeconds();
}

void lf_everyThirtySeconds() {
    std::shared_ptr<const NeighbourServices> holder;
    const NeighbourServices& services = lf_services(holder);
    const auto settings = settingsSnapshot.load();
    if (g_forgetFailedLiveriesRequested.exchange(false)) services.forgetFailedLiveries();
    if (g_rtConnected.load()) {
        Gui::enqueueUpdate(GuiUpdate::weatherReaderState(lf_weatherLamp()));
        Gui::enqueueUpdate(GuiUpdate::trafficReaderState(lf_trafficLamp()));
    }
    if (settings->AUTO_RANGE) gf_autoRange();
    services.removeTCASCoverageAcs();
    if (l_state.secondsCounter % 60 == 0) lf_countDownParkingInterval();
    if (settings->OBJECTID_LIST) services.writeTrafficDump();
    if (l_state.secondsCounter % 1200 == 0) services.logNoMatchList();
    if (l_state.secondsCounter % 86400 == 0) {
        l_state.secondsCounter = 0;
        services.logLiveryMatchingSummary();
        services.clearNoMatchList();
    }
}
