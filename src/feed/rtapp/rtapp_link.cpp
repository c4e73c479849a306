#include "feed/rtapp/rtapp_link.h"

#include <limits>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "airports/current_airport.h"
#include "engine/user_position.h"
#include "feed/feed_state.h"
#include "feed/query_box.h"
#include "feed/rtapp/rtapp_server.h"
#include "foundation/geodesy.h"
#include "foundation/log.h"
#include "foundation/time.h"
#include "services/gui.h"
#include "services/stop.h"
#include "settings/parameters.h"
#include "settings/snapshot.h"

std::atomic<bool> g_waitingForRTApp{false};
std::atomic<bool> g_bufferRequestPending{false};

namespace {

std::mutex l_bufferRequestMutex;
// When the pending buffer request was sent; guarded by l_bufferRequestMutex.
std::chrono::steady_clock::time_point l_bufferRequestSentAt{};

std::mutex l_timingMutex;
RTAppHandshakeTiming l_timing;

std::atomic<void (*)()> l_resetReaders{nullptr};
std::atomic<void (*)()> l_clearParkedTraffic{nullptr};
std::atomic<UserOnGroundQuery> l_userOnGround{nullptr};

// Sleeps until the time has passed after now, waking early once the program
// stops (a closing window must not wait for the handshake).
void lf_settle(std::chrono::milliseconds delay) {
    const auto now = std::chrono::steady_clock::now();
    const auto maxDelay = std::chrono::steady_clock::time_point::max() - now;
    const auto deadline = delay >= maxDelay ? std::chrono::steady_clock::time_point::max()
                                            : now + std::chrono::duration_cast<std::chrono::steady_clock::duration>(delay);
    constexpr auto step = std::chrono::milliseconds(50);
    while (keepRunning()) {
        const auto current = std::chrono::steady_clock::now();
        if (current >= deadline) return;
        const auto left = deadline - current;
        std::this_thread::sleep_for(left < step ? std::chrono::steady_clock::duration(left)
                                                : std::chrono::steady_clock::duration(step));
    }
}

void lf_linkGone(const std::string& statusLine) {
    g_rtConnected.store(false);
    Gui::addStatusLine(statusLine, true);
    requestStop(StopReason::NewSettings, 0);
}

// With l_bufferRequestMutex held: a pending request whose end has not come
// in time is given up, so the link is drained again and a new one may go.
void lf_expireBufferRequestLocked() {
    if (!g_bufferRequestPending.load()) return;
    if (gf_feedSteadyNow() - l_bufferRequestSentAt < kBufferRequestTimeout) return;
    g_bufferRequestPending.store(false);
    gf_log(fmt::format("Buffer traffic request timed out after {} seconds", kBufferRequestTimeout.count()));
}


}  // namespace

RTAppHandshakeTiming gf_rtAppHandshakeTiming() {
    std::lock_guard lock(l_timingMutex);
    return l_timing;
}

void gf_setRTAppHandshakeTiming(RTAppHandshakeTiming timing) {
    std::lock_guard lock(l_timingMutex);
    l_timing = timing;
}

void gf_setRTAppReaderHooks(RTAppReaderHooks hooks) {
    l_resetReaders.store(hooks.resetReaders);
    l_clearParkedTraffic.store(hooks.clearParkedTraffic);
}

void gf_setUserOnGroundQuery(UserOnGroundQuery query) { l_userOnGround.store(query); }

bool gf_rtAppTcpLinkWanted() { return PSX_SERVER_HERE.value() && !AEROWINX.value(); }

void gf_openRTAppLink() {
    if (!PSX_SERVER_HERE.value()) {
        g_rtConnected.store(true);
        return;
    }
    if (AEROWINX.value()) {
        // No server: the source is there, in its standard edition.
        g_rtProfessional.store(false);
        g_rtConnected.store(true);
        return;
    }
    g_rtAppServer.listen(PORT_NUMBER.value());
    gf_waitForRTApp();
}

void gf_waitForRTApp() {
    if (!gf_rtAppTcpLinkWanted()) return;

    Gui::addStatusLine("Waiting for the RealTraffic App to run ... (did you start it?)", true);
    gf_logAndFlush(" ");

    g_waitingForRTApp.store(true);
    // However the wait ends (a listen that throws included), it is over.
    struct WaitingFlag {
        ~WaitingFlag() { g_waitingForRTApp.store(false); }
    } waiting;
    if (auto reset = l_resetReaders.load()) reset();

    // keepRunning is asked before every wait: a window closed while the
    // handshake ran must not leave the thread blocked in a fresh accept.
    while (keepRunning() && g_rtAppServer.waitForClient()) {
        const RTAppHandshakeTiming timing = gf_rtAppHandshakeTiming();
        g_rtAppServer.sendDataPacket("Qs999=version\r\n");
        const std::string reply = g_rtAppServer.receive(timing.replyTimeout);
        lf_settle(timing.settleDelay);
        g_rtAppServer.drainReceiveBuffer();

        if (g_rtAppServer.connected()) {
            gf_processRTVersion(reply);
            g_rtConnected.store(true);
            gf_log("RealTraffic connected");
            break;
        }

        gf_log("RT App connection was stale, waiting for a new one ...");
        g_rtAppServer.closeAll();
        if (!keepRunning()) break;
        g_rtAppServer.listen(PORT_NUMBER.value());
    }
    Gui::showTbloHintOrClear();
}

void gf_processRTVersion(const std::string& reply) {
    if (reply.empty()) {
        Gui::addStatusLine("No RealTraffic version received?", true);
        g_rtProfessional.store(false);
        return;
    }
    try {
        const nlohmann::json json = nlohmann::json::parse(reply);
        if (!json.is_object()) {
            g_rtProfessional.store(false);
            Gui::showTrafficServiceInfo("");
            return;
        }
        std::int64_t level = 1;
        if (auto it = json.find("level"); it != json.end()) {
            if (!it->is_number_integer()) throw std::runtime_error("\"level\" is not a whole number");
            level = it->get<std::int64_t>();
        }
        std::string version;
        if (auto it = json.find("version"); it != json.end()) version = it->get<std::string>();
        const bool professional = level == 2;
        g_rtProfessional.store(professional);
        Gui::showTrafficServiceInfo(fmt::format("RT App {} edition: {}", professional ? "prof" : "stnd", version));
    } catch (const std::exception& e) {
        g_rtProfessional.store(false);
        Gui::showTrafficServiceInfo("");
        gf_log(fmt::format("{}: JSON parse failed: {}", "lf_processRTVersion", e.what()));
    }
}

std::string gf_userPositionLine(const UserAircraftState& state) {
    return fmt::format("Qs121={:.0f};{:.0f};{:.6f};{:.0f};{:.0f};{:.6f};{:.6f}\r\n", state.pitch * -100000.0,
                       state.bank * 100000.0, state.heading, state.indicatedAltitude * 1000.0,
                       state.groundVelocity * 1000.0, state.latitude * degreesToRadians,
                       state.longitude * degreesToRadians);
}

void gf_sendUserPosition() {
    if (!gf_rtAppTcpLinkWanted()) return;
    const auto state = userPositionSnapshot.load();
    if (!state || gf_isUnknownPosition(state->latitude, state->longitude)) return;

    if (!g_rtAppServer.connected()) {
        lf_linkGone(fmt::format("{} RealTraffic App gone", gf_utcTimeText()));
        return;
    }
    if (g_rtAppServer.sendDataPacket(gf_userPositionLine(*state))) {
        // The drain finds a peer that closed; while a buffer request waits
        // for its answer the link is left alone.
        std::lock_guard lock(l_bufferRequestMutex);
        lf_expireBufferRequestLocked();
        if (!g_bufferRequestPending.load()) g_rtAppServer.drainReceiveBuffer();
    } else {
        lf_linkGone("RealTraffic App gone");
    }
}

void gf_sendTimeOffset(std::int64_t shift) {
    if (shift < 1 || !g_rtAppServer.connected()) return;
    // A value whose milliseconds do not fit is no time at all.
    if (shift > std::numeric_limits<std::int64_t>::max() / 1000) return;
    g_rtAppServer.sendDataPacket(fmt::format("Qs123={}\r\n", shift * 1000));
}

bool gf_requestBufferTraffic() {
    std::lock_guard lock(l_bufferRequestMutex);
    lf_expireBufferRequestLocked();
    if (g_bufferRequestPending.exchange(true)) return false;
    l_bufferRequestSentAt = gf_feedSteadyNow();

    const auto state = userPositionSnapshot.load();
    std::string line;
    if (!state || gf_isUnknownPosition(state->latitude, state->longitude)) {
        line = "Qs999=sendbuffer=5,6\n";
    } else {
        const TrafficBox box =
            gf_boxAround(LaLo{state->latitude, state->longitude}, settingsSnapshot.load()->RANGE);
        line = fmt::format("Qs999=sendbuffer=5,6,{:.6f},{:.6f},{:.6f},{:.6f}\n", box.bottom, box.left, box.top,
                           box.right);
    }
    g_rtAppServer.drainReceiveBuffer();
    const bool sent = g_rtAppServer.sendDataPacket(line);
    if (!sent) g_bufferRequestPending.store(false);
    return sent;
}

void gf_clearBufferRequestPending() {
    std::lock_guard lock(l_bufferRequestMutex);
    g_bufferRequestPending.store(false);
}

void gf_requestParkedTraffic() {
    if (auto clear = l_clearParkedTraffic.load()) clear();

    std::optional<LaLo> centre;
    if (const auto airport = gf_currentAirport(); airport && !airport->icao.isNone() && gf_isValidLaLo(airport->position)) {
        centre = airport->position;
    } else if (auto onGround = l_userOnGround.load(); onGround && onGround()) {
        const auto state = userPositionSnapshot.load();
        // An aircraft whose position is not known yet gives no centre.
        if (state && gf_isValidLaLo(LaLo{state->latitude, state->longitude})) {
            centre = LaLo{state->latitude, state->longitude};
        }
    }
    if (!centre) return;

    if (!g_rtAppServer.connected()) return;
    const TrafficBox box = gf_boxAround(*centre, kParkedBoxRadiusNm);
    g_rtAppServer.sendDataPacket(fmt::format("Qs999=sendparked,{:.6f},{:.6f},{:.6f},{:.6f}\r\n", box.bottom,
                                             box.left, box.top, box.right));
}
