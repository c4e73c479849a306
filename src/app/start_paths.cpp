#include "app/start_paths.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <thread>

#include <fmt/format.h>

#include "app/control_states.h"
#include "app/neighbour_services.h"
#include "app/time_shift.h"
#include "engine/mailbox.h"
#include "engine/user_position.h"
#include "feed/feed_state.h"
#include "feed/rtapp/qnh_reader.h"
#include "feed/rtapp/rtapp_link.h"
#include "feed/rtapp/rtapp_server.h"
#include "feed/rtapp/traffic_reader.h"
#include "feed/rtdirect/readers.h"
#include "feed/rtdirect/session.h"
#include "foundation/log.h"
#include "foundation/time.h"
#include "platform/window/window.h"
#include "services/gui.h"
#include "services/stop.h"
#include "settings/parameters.h"
#include "settings/snapshot.h"
#include "simlink/sim_link.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// No wait sleeps longer than this before it asks for stop requests again.
constexpr auto kLongestSleep = 100ms;
constexpr auto kUserPositionPoll = 500ms;
constexpr auto kUserPositionPatience = 60s;

// The cooldown deadline in nanoseconds of the shell wait clock; kNone = none.
constexpr std::int64_t kNone = std::numeric_limits<std::int64_t>::min();
std::atomic<std::int64_t> l_cooldownDeadlineNs{kNone};

// Sleeps for the duration in short steps; false as soon as a stop request is
// pending (also before the first step).
bool lf_sleepWhileRunning(const ShellWaitClock& clock, Clock::duration duration) {
    const auto deadline = clock.now() + duration;
    while (keepRunning()) {
        const auto now = clock.now();
        if (now >= deadline) return true;
        clock.sleepUntil(std::min(deadline, now + kLongestSleep));
    }
    return false;
}

// Asks `done` before each of at most `steps` sleeps of `step`; true as soon as
// it holds, false when the steps ran out or a stop request came.
bool lf_waitFor(const ShellWaitClock& clock, const std::function<bool()>& done, Clock::duration step, int steps) {
    for (int i = 0;; ++i) {
        if (done()) return true;
        if (i == steps || !lf_sleepWhileRunning(clock, step)) return false;
    }
}

void lf_postNoAirportFiles() {
    Gui::enqueueUpdate(GuiUpdate::simaddonCount(0));
    Gui::enqueueUpdate(GuiUpdate::thirdpartyCount(0));
}

LaLo lf_userPosition() {
    const UserAircraftState user = gf_getUserAircraftState();
    return LaLo{user.latitude, user.longitude};
}

bool lf_userOnGround() { return g_userOnGround.load(); }

// The web API's query box follows the published user position, so a position
// that became known while waiting is published first.
void lf_waitForUserPosition(const ShellWaitClock& clock) {
    gf_log(fmt::format("{} waiting for the user aircraft position ...", gf_utcTimeText()));
    const auto started = clock.now();
    for (;;) {
        const UserAircraftState user = gf_getUserAircraftState();
        if (!gf_isUnknownPosition(user.latitude, user.longitude)) {
            gf_publishUserAircraftState(user);
            return;
        }
        if (clock.now() - started > kUserPositionPatience) {
            gf_log(fmt::format("{} user aircraft position still not valid after 60 seconds, continuing aborted",
                               gf_utcTimeText()));
            return;
        }
        if (!lf_sleepWhileRunning(clock, kUserPositionPoll)) {
            gf_log(fmt::format("{} waiting for user aircraft position interrupted, program is stopping",
                               gf_utcTimeText()));
            return;
        }
    }
}

// Without a time-sync the traffic cannot be shifted: the shift goes back to
// none and the simulator time is no longer kept.
void lf_dropTimeShift() {
    lf_timeShift(0, true, false);
    if (KEEP_SIM_TIME_PAR.value()) {
        KEEP_SIM_TIME_PAR.setValue(false);
        KEEP_SIM_TIME_PAR.save();
        gf_setControlCheck(KEEP_SIM_TIME_PAR.controlId, false);
        gf_publishParameter(KEEP_SIM_TIME_PAR);
    }
    Gui::enqueueUpdate(GuiUpdate::dimSettingsLabels());
}

}  // namespace

void gf_setRTAPICooldownDeadline(std::optional<Clock::time_point> deadline) {
    l_cooldownDeadlineNs.store(deadline ? std::chrono::duration_cast<std::chrono::nanoseconds>(
                                              deadline->time_since_epoch())
                                              .count()
                                        : kNone);
}

std::optional<Clock::time_point> gf_rtApiCooldownDeadline() {
    const std::int64_t ns = l_cooldownDeadlineNs.load();
    if (ns == kNone) return std::nullopt;
    return Clock::time_point(std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(ns)));
}

void lf_waitRTAPICooldown() {
    const ShellWaitClock clock = gf_shellWaitClock();
    const auto now = clock.now();
    auto deadline = gf_rtApiCooldownDeadline();
    if (!deadline) {
        // No session closed in this process: the last close of any run.
        const std::int64_t lastClose = LAST_EPOCH_TIME.value();
        if (lastClose < 1) return;
        const std::int64_t elapsed = std::max<std::int64_t>(0, gf_systemSeconds() - lastClose);
        const std::int64_t left = kRTAPICooldownAcrossRuns.count() - elapsed;
        if (left < 1) return;
        deadline = now + std::chrono::seconds(left);
    }
    const auto remaining = *deadline - now;
    if (remaining < 1ns) return;
    const auto seconds = std::chrono::ceil<std::chrono::seconds>(remaining).count();
    Gui::addStatusLine(fmt::format("Holding for {} second{}... (RT API cooldown)", seconds, seconds == 1 ? "" : "s"),
                       true);
    while (keepRunning()) {
        const auto current = clock.now();
        if (current >= *deadline) break;
        clock.sleepUntil(std::min(*deadline, current + kLongestSleep));
    }
    gf_setRTAPICooldownDeadline(std::nullopt);
}

bool lf_startRTApp() {
    const auto services = gf_neighbourServices();
    const ShellWaitClock clock = gf_shellWaitClock();
    Gui::enqueueUpdate(GuiUpdate::dimSettingsLabels());
    if (!keepRunning()) return false;
    lf_postNoAirportFiles();
    services->scanAirports();
    gf_applyRangeMode();

    const bool serverHere = PSX_SERVER_HERE.value();
    const bool aerowinx = AEROWINX.value();
    if (!serverHere) {
        // The application runs elsewhere and is taken as connected.
        g_rtConnected.store(true);
    } else if (!aerowinx) {
        g_rtAppServer.listen(PORT_NUMBER.value());
    }
    if (!keepRunning()) return false;
    Gui::enqueueUpdate(GuiUpdate::trafficSourceStarted());
    if (serverHere) {
        if (aerowinx) {
            // No link at all: the source is there, in its standard edition.
            g_rtProfessional.store(false);
            g_rtConnected.store(true);
        } else {
            gf_waitForRTApp();
        }
        if (g_rtProfessional.load()) {
            if (const auto simTime = gf_simTime()) gf_sendTimeOffset(*simTime);
        }
    }

    if (!keepRunning()) return false;
    gf_setTrafficDelivery(false);
    gf_keepLiveTrafficWhileStarting();
    gf_sendUserPosition();
    // The link's parked request and the readers' reset go through the readers
    // from now on; the parked request centres on the user on the ground.
    gf_registerRTAppReaders();
    gf_setUserOnGroundQuery(&lf_userOnGround);
    g_weatherReaderThread = std::jthread([] { gf_weatherReader(); });
    if (!keepRunning()) return false;
    const LaLo user = lf_userPosition();
    g_trafficReader.setOwnPosition(user.lat, user.lon);
    g_trafficReaderThread = std::jthread([] { gf_trafficReader(); });

    const bool buffered = lf_waitFor(clock, [] { return g_trafficReader.bufferReceived.load(); }, 50ms, 600);
    if (!buffered && keepRunning()) gf_logError("Time out: no buffer traffic received?");
    if (!keepRunning()) return false;

    // Parked traffic only where the user stands at a park airport.
    const auto park = services->currentParkAirport();
    if (g_userOnGround.load() && park && gf_isValidLaLo(park->position)) {
        Gui::addStatusLine(fmt::format("{} Requesting RT parked traffic ...", gf_utcTimeText()), true);
        gf_requestParkedTraffic();
        const bool parked = lf_waitFor(clock, [] { return g_trafficReader.parkedReceived.load(); }, 50ms, 200);
        if (!parked && keepRunning()) gf_logError("Time out: no parked traffic received?");
    } else {
        gf_log("user not at an airport, no RT parked Traffic needed");
    }

    if (!keepRunning() || !lf_sleepWhileRunning(clock, 100ms)) return false;
    lf_waitForFirstTraffic();
    gf_flushLog();
    return keepRunning();
}

bool lf_startRTDirect() {
    const auto services = gf_neighbourServices();
    const ShellWaitClock clock = gf_shellWaitClock();
    if (!keepRunning()) return false;
    lf_postNoAirportFiles();
    services->scanAirports();
    gf_applyRangeMode();
    Gui::enqueueUpdate(GuiUpdate::trafficSourceStarted());
    if (!keepRunning()) return false;
    gf_setTrafficDelivery(false);
    gf_keepLiveTrafficWhileStarting();
    gf_flushLog();

    lf_waitForUserPosition(clock);
    if (!keepRunning()) return false;
    RTAPITrafficReader& traffic = gf_rtApiTrafficReader();
    traffic.updateQueryBox();
    lf_waitRTAPICooldown();
    if (!keepRunning()) return false;

    gf_authenticateAtRTServer();
    Gui::enqueueUpdate(GuiUpdate::trafficReaderState(kReaderTrouble));
    Gui::enqueueUpdate(GuiUpdate::weatherReaderState(kReaderTrouble));
    const bool timeSync = g_rtProfessional.load();
    lf_enableTimeShiftControls(timeSync);
    if (!timeSync) lf_dropTimeShift();

    lf_waitFor(clock, [] { return gf_rtApiConnection().isAuthenticated(); }, 200ms, 20);
    if (!keepRunning()) return false;
    gf_registerRTDirectReaders();
    g_weatherReaderThread = std::jthread([] { gf_RTAPIWeatherReader(); });
    if (!keepRunning()) return false;
    g_trafficReaderThread = std::jthread([] { gf_RTAPITrafficReader(); });

    if (!lf_sleepWhileRunning(clock, 300ms)) return false;
    traffic.setUserPosition(lf_userPosition());
    lf_waitForFirstTraffic();
    // The reader's loop running is what counts: a region without traffic is
    // no reader fault, and restarting for it would repeat for ever.
    if (!lf_waitFor(clock, [&traffic] { return traffic.loopRunning.load(); }, 100ms, 100)) {
        if (!keepRunning()) return false;
        gf_log("RTAPI TrafficReader receiving timed out after 10 seconds?");
        requestStop(StopReason::ReaderError, 15);
    }
    gf_flushLog();
    return true;
}
