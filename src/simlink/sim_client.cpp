// The SimClient thread: owns the program's one connection to the simulator,
// waits for the selected simulator, sets the connection up, polls it every
// millisecond, reconnects after failures, switches the selection when the
// other simulator answers, and removes every AI object it created before it
// lets the connection go.

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <thread>

#include <fmt/format.h>

#include "engine/sim_commands.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "services/gui.h"
#include "services/shell.h"
#include "services/stop.h"
#include "settings/snapshot.h"
#include "simlink/sim_client_seams.h"
#include "simlink/sim_link_internal.h"

std::atomic<bool> g_userSwitchedSim{false};

namespace {

SimLinkState l_link;

std::mutex l_waitMutex;
SimClientWait l_wait;  // empty: the real wait

std::atomic<SimClientPollPause> l_pollPause{nullptr};

void lf_pollPause() {
    constexpr auto kPollEvery = std::chrono::milliseconds(1);
    if (const SimClientPollPause pause = l_pollPause.load(std::memory_order_relaxed)) {
        pause(kPollEvery);
    } else {
        std::this_thread::sleep_for(kPollEvery);
    }
}

// The standing once-a-second on-ground request was issued in this run; a new
// connection must issue it again, since the simulator forgets it with the old one.
std::atomic<bool> l_onGroundStanding{false};

bool lf_defaultWait(std::stop_token stop, std::chrono::milliseconds duration) {
    std::mutex m;
    std::condition_variable_any cv;
    std::unique_lock lock(m);
    // The predicate never holds, so the wait ends by time-out or by the stop
    // request; only the token tells which.
    cv.wait_for(lock, stop, duration, [] { return false; });
    return !stop.stop_requested();
}

// Waits the duration or until stop is requested; false when stopped.
bool lf_wait(std::stop_token stop, std::chrono::milliseconds duration) {
    SimClientWait wait;
    {
        std::lock_guard lock(l_waitMutex);
        wait = l_wait;
    }
    if (wait) return wait(stop, duration);
    return lf_defaultWait(stop, duration);
}

void lf_closeSimConnect(HANDLE& handle) {
    if (handle == nullptr) return;
    if (SUCCEEDED(SimConnect_Close(handle)))
        gf_log("SimConnect closed ok");
    else
        gf_logError("Closing SimConnect failed?!");
    handle = nullptr;
}

std::string lf_hresultText(HRESULT hr) {
    switch (hr) {
        case E_FAIL: return "Unspecified error";
        case E_INVALIDARG: return "The parameter is incorrect.";
        case E_HANDLE: return "The handle is invalid.";
        default: return "no system description";
    }
}

std::string_view lf_simName(bool msfs2020) { return msfs2020 ? "MSFS 2020" : "MSFS 2024"; }

}  // namespace

void gf_forgetConnectionObjects() {
    // The objects of a lost connection are gone from the simulator; the engine
    // learns of each as a removal, or it would keep moving ghosts.
    for (const auto id : l_link.ownedObjects) {
        SimCommand removed;
        removed.objectId = id;
        removed.kind = SIM_RESULT_REMOVED;
        gf_queueSimCommand(removed);
    }
    // Creates the old connection sent but the simulator never answered will
    // not be answered now: the engine must hear of each, or their aircraft
    // would wait for an object for good. Oldest request first.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> lost;  // request id, hexid
    lost.reserve(l_link.pendingCreates.size());
    for (const auto& [requestId, create] : l_link.pendingCreates) lost.emplace_back(requestId, create.hexid);
    std::sort(lost.begin(), lost.end());
    for (const auto& [requestId, hexid] : lost) {
        SimCommand command;
        command.hexid = hexid;
        command.kind = SIM_RESULT_CREATE_LOST;
        command.payload[0] = static_cast<double>(requestId);
        gf_queueSimCommand(command);
    }
    l_link.ownedObjects.clear();
    l_link.staticObjects.clear();
    l_link.objectTailNumbers.clear();
    l_link.lastAiPoseUpdate = LastAiPoseUpdate{};
    l_link.shutdownRemovals.clear();
    l_link.shutdownInProgress = false;
    l_link.pendingCreates.clear();
    l_link.createRequestByPacket.clear();
    // Tracks of the old objects would be sent to ids the new connection does
    // not know.
    l_link.poseHistory.clear();
}

namespace {

void lf_shutdownCleanup(SimDispatchContext& context) {
    if (gf_simHandle() == nullptr) return;
    l_link.shutdownInProgress = true;
    l_link.shutdownRemovals.clear();
    l_link.shutdownRemoveRequested = 0;
    l_link.shutdownConfirmed = 0;
    gf_clearCommandBuffersLocked();
    gf_clearPublishedAiPoses();

    const std::vector<std::uint32_t> ids(l_link.ownedObjects.begin(), l_link.ownedObjects.end());
    const std::size_t initiallyOwned = ids.size();
    for (const auto id : ids) {
        l_link.shutdownRemovals.insert(id);
        if (FAILED(SimConnect_AIRemoveObject(gf_simHandle(), id, REQUEST_AI_REMOVE))) {
            l_link.shutdownRemovals.erase(id);
            gf_logError(fmt::format("SimConnect shutdown remove failed for object {}", gf_objectIdText(id)));
        } else {
            ++l_link.shutdownRemoveRequested;
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while ((!l_link.shutdownRemovals.empty() || !l_link.pendingCreates.empty()) && !context.quit &&
           std::chrono::steady_clock::now() < deadline) {
        const HRESULT hr = SimConnect_CallDispatch(gf_simHandle(), &gf_simDispatch, &context);
        if (FAILED(hr)) {
            gf_logError(fmt::format("SimConnect shutdown dispatch failed; hr=0x{:08X} ({})",
                                    static_cast<std::uint32_t>(hr), lf_hresultText(hr)));
            gf_logAiPositionDiagnostics();
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    gf_log(fmt::format("SimConnect shutdown cleanup: initially owned {}, remove requested {}, confirmed {}, pending "
                       "removals {}, pending creates {}",
                       initiallyOwned, l_link.shutdownRemoveRequested, l_link.shutdownConfirmed,
                       l_link.shutdownRemovals.size(), l_link.pendingCreates.size()));
    gf_clearCommandBuffersLocked();
    l_link.ownedObjects.clear();
    l_link.staticObjects.clear();
    l_link.shutdownRemovals.clear();
    l_link.pendingCreates.clear();
    l_link.createRequestByPacket.clear();
}

// Steps 2 to 8 of the thread; returns when the thread should end.
void lf_run(std::stop_token stop, HANDLE& handle) {
    bool waitingShown = false;
    bool everConnected = false;
    bool switchLinesShown = false;
    for (;;) {
        if (!keepRunning() || stop.stop_requested()) return;
        if (!waitingShown) {
            waitingShown = true;
            gf_log(" ");
            Gui::addStatusLine(fmt::format("Waiting for MSFS 20{} ...", isMSFS2020() ? "20" : "24"), true);
            gf_flushLog();
        }
        lf_closeSimConnect(handle);
        if (FAILED(SimConnect_Open(&handle, "TAVO", nullptr, 0, nullptr, 0))) {
            handle = nullptr;
            if (!lf_wait(stop, std::chrono::milliseconds(100))) return;
            continue;
        }
        l_link.handle.store(handle);
        gf_forgetConnectionObjects();
        if (!gf_setupSimConnect()) {
            l_link.handle.store(nullptr);
            g_simState.store(SIM_NOT_CONNECTED);
            lf_closeSimConnect(handle);
            if (!lf_wait(stop, std::chrono::milliseconds(100))) return;
            continue;
        }
        if (everConnected && l_onGroundStanding.load()) gf_requestData({SIM_REQUEST_USER_ON_GROUND, 0});
        everConnected = true;

        SimDispatchContext context;
        while (!stop.stop_requested() && !context.quit) {
            const HRESULT hr = SimConnect_CallDispatch(handle, &gf_simDispatch, &context);
            if (FAILED(hr)) {
                gf_logError(fmt::format("SimConnect dispatch failed; hr=0x{:08X} ({}); reconnecting ...",
                                        static_cast<std::uint32_t>(hr), lf_hresultText(hr)));
                gf_logAiPositionDiagnostics();
                context.quit = true;
                break;
            }
            lf_pollPause();
        }
        if (stop.stop_requested() || !keepRunning()) {
            if (!context.quit && g_simState.load() != SIM_QUITTING) lf_shutdownCleanup(context);
            return;
        }
        g_simState.store(SIM_NOT_CONNECTED);
        Gui::enqueueUpdate(GuiUpdate::simulatorReady(false));
        l_link.handle.store(nullptr);
        lf_closeSimConnect(handle);
        if (!context.simulatorMismatch) {
            waitingShown = false;
            continue;
        }
        const bool selected2020 = isMSFS2020();
        if (!g_userSwitchedSim.load()) {
            gf_logAndFlush("MSFS and TAVO do not match, restarting ...");
            const WindowHandle window = g_mainWindow.load();
            if (window != WindowHandle::None) gf_postMessage(window, MSG_SWITCH_SIM, 0, 0);
            return;
        }
        if (!switchLinesShown) {
            switchLinesShown = true;
            gf_log(fmt::format("{} is running, but TAVO is selected; waiting for {} ...", lf_simName(!selected2020),
                               lf_simName(selected2020)));
            Gui::addStatusLine(fmt::format("{} is running; waiting for {} ...", lf_simName(!selected2020),
                                           lf_simName(selected2020)),
                               true);
            gf_flushLog();
        }
        if (!lf_wait(stop, std::chrono::seconds(1))) return;
    }
}

}  // namespace

SimLinkState& gf_simLink() { return l_link; }
HANDLE gf_simHandle() { return l_link.handle.load(std::memory_order_relaxed); }
std::uint32_t gf_userObjectId() { return l_link.userObjectId.load(); }

void gf_setSimClientWait(SimClientWait wait) {
    std::lock_guard lock(l_waitMutex);
    l_wait = std::move(wait);
}

void gf_setSimClientPollPause(SimClientPollPause pause) { l_pollPause.store(pause); }

void gf_noteOnGroundStanding() { l_onGroundStanding.store(true); }

void gf_logAiPositionDiagnostics() {
    const auto& u = l_link.lastAiPoseUpdate;
    if (!u.valid) {
        gf_log("SimConnect diagnostic: no AI position update recorded");
        return;
    }
    const auto tail = l_link.objectTailNumbers.find(u.objectId);
    gf_log(fmt::format("SimConnect diagnostic: last AI position update tailnumber='{}', objectid={}, result=0x{:08X}, "
                       "position={:.6f},{:.6f}, altitude={:.1f} ft, pitch={:.3f} rad, bank={:.3f} rad, heading={:.3f} "
                       "rad, VS={:.1f} fpm, TAS={:.1f} kt",
                       tail != l_link.objectTailNumbers.end() ? tail->second : std::string("unknown"),
                       gf_objectIdText(u.objectId), static_cast<std::uint32_t>(u.result), u.pose.latitude,
                       u.pose.longitude, u.pose.altitude, u.pose.pitch, u.pose.bank, u.pose.heading,
                       u.pose.verticalSpeed, u.pose.trueAirspeed));
}

void gf_initSimClient() {
    gf_reserveAiPoseContainers();
    l_link.poseFrontBatch.reserve(512);
    l_link.poseHistory.reserve(512);
    gf_clearAiPoseStream();
    {
        auto& b = g_simCommandBuffers;
        std::lock_guard lock(b.mutex);
        b.clientEvents.reserve(512);
        b.creates.reserve(256);
        b.removals.reserve(256);
        b.requests.reserve(64);
        b.reverseThrust.reserve(128);
        b.flightPlans.reserve(64);
        gf_clearCommandBuffers();
    }
    g_simState.store(SIM_NOT_CONNECTED);
}

void gf_resetSimClient() {
    gf_clearAiPoseStream();
    l_link.poseFrontBatch.clear();
    gf_clearCommandBuffersLocked();
    l_link.pendingCreates.clear();
    l_link.createRequestByPacket.clear();
    l_link.staticObjects.clear();
    l_link.objectTailNumbers.clear();
    l_link.handle.store(nullptr);
    l_link.userObjectId.store(2);
    l_link.lastAiPoseUpdate = LastAiPoseUpdate{};
    l_onGroundStanding.store(false);
    g_simState.store(SIM_NOT_CONNECTED);
    gf_resetUserAircraft();
}

void gf_simClientThread(std::stop_token stop) {
    pthread_setname_np(pthread_self(), "SimClient");
    HANDLE handle = nullptr;
    l_link.handle.store(nullptr);
    struct EndGuard {
        HANDLE& handle;
        ~EndGuard() {
            try {
                gf_onFlightLoaded();
            } catch (...) {
            }
            g_simState.store(SIM_NOT_CONNECTED);
            l_link.handle.store(nullptr);
            try {
                lf_closeSimConnect(handle);
            } catch (...) {
            }
        }
    } endGuard{handle};
    try {
        lf_run(stop, handle);
    } catch (const tavo::UserRelatedException& e) {
        Gui::showError(e.what());
    } catch (const std::exception& e) {
        Gui::showError(e.what());
        g_simState.store(SIM_NOT_CONNECTED);
        gf_simNoLongerConnected();
    } catch (...) {
        Gui::showError("Exception in SimClient");
        g_simState.store(SIM_NOT_CONNECTED);
        gf_simNoLongerConnected();
    }
}
