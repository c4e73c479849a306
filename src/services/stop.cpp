#include "services/stop.h"

#include <fmt/format.h>

#include <stdexcept>

#include "foundation/log.h"
#include "foundation/time.h"
#include "platform/window/window.h"
#include "services/gui.h"

StopMailbox g_stopMailbox;

std::shared_ptr<StopRequest> StopMailbox::load() const {
    std::lock_guard lock(m_mutex);
    return m_request;
}

void StopMailbox::store(std::shared_ptr<StopRequest> request) {
    std::shared_ptr<StopRequest> old;  // released outside the lock
    std::lock_guard lock(m_mutex);
    old = std::move(m_request);
    m_request = std::move(request);
    m_pending.store(m_request != nullptr, std::memory_order_release);
}

bool StopMailbox::compare_exchange_strong(std::shared_ptr<StopRequest>& expected,
                                          std::shared_ptr<StopRequest> desired) {
    std::lock_guard lock(m_mutex);
    if (m_request != expected) {
        expected = m_request;
        return false;
    }
    m_request = std::move(desired);
    m_pending.store(m_request != nullptr, std::memory_order_release);
    return true;
}
std::atomic<bool> g_exiting{false};

std::jthread g_mainThread;
std::jthread g_simClientThread;
std::jthread g_trafficReaderThread;
std::jthread g_weatherReaderThread;

namespace {

std::atomic<RTAppServerCloser> g_rtAppServerCloser{nullptr};

}  // namespace

std::string_view gf_stopReasonName(std::uint32_t reason) {
    for (const auto& row : kStopReasonNames) {
        if (row.value == reason) return row.name;
    }
    throw std::out_of_range(fmt::format("unknown stop reason {}", reason));
}

bool gf_stopReasonRestarts(std::uint32_t reason) noexcept {
    switch (static_cast<StopReason>(reason)) {
        case StopReason::NewFlight:
        case StopReason::NewSettings:
        case StopReason::SimConnectError:
        case StopReason::ReaderError:
            return true;
        default:
            return false;
    }
}

void requestStop(std::uint32_t reason, std::uint32_t countdown) noexcept {
    try {
        auto request = std::make_shared<StopRequest>(StopRequest{reason, countdown});
        std::shared_ptr<StopRequest> expected;
        // First request of a run wins; a later one is dropped without a word.
        g_stopMailbox.compare_exchange_strong(expected, std::move(request));
    } catch (...) {
        // Allocation failure: the request cannot be stored; the exiting flag
        // below still stops the program when the user closed the window.
    }
    if (reason == static_cast<std::uint32_t>(StopReason::UserClosedSim)) {
        g_exiting.store(true);
        // A thread blocked on the RT App's sockets must wake up now, whatever
        // request was pending before.
        if (RTAppServerCloser closer = g_rtAppServerCloser.load()) {
            try {
                closer();
            } catch (...) {
            }
        }
    }
    // A dialog waiting for the user (the licence, the install path) would
    // hold the main thread, and so the program's end, until someone answers.
    try {
        gf_wakeModalDialogs();
    } catch (...) {
    }
}

void requestStop(StopReason reason, std::uint32_t countdown) noexcept {
    requestStop(static_cast<std::uint32_t>(reason), countdown);
}

bool keepRunning() noexcept {
    return !g_stopMailbox.pending() && !g_exiting.load(std::memory_order_acquire);
}

std::shared_ptr<StopRequest> gf_pendingStopRequest() noexcept {
    return g_stopMailbox.load();
}

void gf_clearStopMailbox() noexcept {
    g_stopMailbox.store(nullptr);
}

void gf_setRTAppServerCloser(RTAppServerCloser closer) noexcept {
    g_rtAppServerCloser.store(closer);
}

void gf_reportSystemError(const std::string& text) {
    Gui::showError(text);
    requestStop(StopReason::SystemError, 0);
}

void gf_reportReaderStopped(std::string_view readerName, bool sessionRefused, std::int32_t status) {
    if (status == 402) {
        Gui::addStatusLine("Your RealTraffic license has expired (error 402). Check your license and API token.", true);
    } else {
        Gui::addStatusLine(fmt::format("The {} has stopped with an error", readerName), true);
    }
    requestStop(sessionRefused ? StopReason::ReaderError : StopReason::SystemError, 15);
}

void gf_reportReaderError(std::string_view readerName, const std::string& text) {
    Gui::addStatusLine(fmt::format("The {} has stopped with error: {}", readerName, text), true);
    requestStop(StopReason::ReaderError, 15);
}

void gf_simNoLongerConnected() {
    if (!keepRunning()) return;  // a stop is under way: the lost simulator is expected
    gf_log(fmt::format("{} Flight Simulator no longer connected, {} will stop ...", gf_utcTimeText(), "TAVO"));
    requestStop(StopReason::SimWasClosed, 0);
}

void gf_requestNewFlight() {
    requestStop(StopReason::NewFlight, 60);
}

void gf_stopAndJoin(std::jthread& slot) {
    if (!slot.joinable()) return;
    slot.request_stop();
    slot.join();
    slot = std::jthread();
}
