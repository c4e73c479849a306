#include "feed/rtdirect/reader.h"

#include <algorithm>
#include <exception>
#include <utility>

#include <fmt/format.h>

#include "foundation/log.h"
#include "services/stop.h"

namespace {

using namespace std::chrono_literals;
using TimePoint = RTDirectClock::TimePoint;

class SteadyRTDirectClock final : public RTDirectClock {
public:
    TimePoint now() override { return std::chrono::steady_clock::now(); }
    bool waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, TimePoint deadline,
                   const std::function<bool()>& ready) override {
        return cv.wait_until(lock, deadline, ready);
    }
};

SteadyRTDirectClock l_steadyClock;
std::atomic<RTDirectClock*> l_clock{nullptr};

void lf_logReaderConnected(std::string_view name) { gf_logContinuation(fmt::format("{} connected", name)); }

// The error line of a reader that ended with `status` (not 9999).
void lf_logReaderEnd(std::string_view shortName, std::uint32_t status) {
    switch (status) {
        case 401:
            gf_logError(fmt::format("re-authentication to RT API is needed, restart {}", kRTAPIProgramName));
            break;
        case 400:
            gf_logError(fmt::format("{} RT API: parameter fault", shortName));
            break;
        case 403:
            gf_logError(fmt::format("{} RT API: No data for this license type", shortName));
            break;
        default:
            gf_logError(fmt::format("{} RT API error: {}", shortName, status));
            break;
    }
}

// The end of a reader thread: its lamp goes out; unless it was told to stop,
// the other reader is stopped and, unless already done, the end reported.
void lf_endReader(std::string_view name, GuiUpdate lampOff, RTAPIReader& other, std::uint32_t status,
                  bool reported) {
    Gui::enqueueUpdate(std::move(lampOff));
    if (status == kRTAPIStatusStopped) return;
    other.requestStop();
    if (reported) return;
    try {
        gf_reportReaderStopped(name, status == 401, static_cast<std::int32_t>(status));
    } catch (...) {
        // The report may fail (no memory); the thread ends anyway.
    }
}

void lf_reportException(std::string_view name, bool& reported) {
    try {
        gf_reportReaderStopped(name, false, 0);
    } catch (...) {
    }
    reported = true;
}

}  // namespace

// ---------------------------------------------------------------------------

TimePoint gf_rtDirectDeadline(TimePoint now, std::chrono::milliseconds ms) {
    if (now > TimePoint::max() - ms) return TimePoint::max();
    return now + ms;
}

RTDirectClock& gf_rtDirectClock() {
    RTDirectClock* clock = l_clock.load();
    return clock ? *clock : l_steadyClock;
}

void gf_setRTDirectClock(RTDirectClock* clock) { l_clock.store(clock); }

void gf_rtDirectWaitWhile(std::chrono::milliseconds duration, const std::function<bool()>& stop) {
    RTDirectClock& clock = gf_rtDirectClock();
    std::mutex mutex;
    std::condition_variable cv;
    std::unique_lock lock(mutex);
    const TimePoint deadline = gf_rtDirectDeadline(clock.now(), duration);
    while (!stop()) {
        const TimePoint now = clock.now();
        if (now >= deadline) return;
        clock.waitUntil(lock, cv, std::min(deadline, gf_rtDirectDeadline(now, 100ms)), stop);
    }
}

// ---------------------------------------------------------------------------

RTAPIReader::RTAPIReader(RTAPIConnection& c) : connection(c) {}
RTAPIReader::~RTAPIReader() = default;

void RTAPIReader::waitInterval(std::uint32_t ms) {
    if (ms < 1) return;
    const std::uint32_t quarter = ms / 4;
    const std::uint32_t slices[5] = {quarter, quarter, quarter, quarter, ms % 4};
    RTDirectClock& clock = gf_rtDirectClock();
    for (const std::uint32_t slice : slices) {
        if (slice == 0) continue;
        if (stop.load()) return;
        std::unique_lock lock(waitMutex_);
        const TimePoint deadline = gf_rtDirectDeadline(clock.now(), std::chrono::milliseconds(slice));
        if (clock.waitUntil(lock, waitCv_, deadline, [this] { return stop.load(); })) return;
    }
}

void RTAPIReader::requestStop() {
    stop.store(true);
    wake();
}

void RTAPIReader::wake() {
    // Taking the mutex orders the flag before a waiter's next test of it, so
    // the notification cannot fall between its test and its sleep.
    { std::lock_guard lock(waitMutex_); }
    waitCv_.notify_all();
}

void RTAPIReader::reset() {
    connection.clearSession();
    connection.transport().resetHandle();
    stop.store(false);
    timeOffset.store(0);
}

// ---------------------------------------------------------------------------

// The error line "{where}: {what}"; a failing log is no reason to fail more.
void gf_logRTAPIErrorNoThrow(std::string_view where, std::string_view what) noexcept {
    try {
        gf_logError(fmt::format("{}: {}", where, what));
    } catch (...) {
    }
}

// The frame of a reader thread: its lamp is lit while `run` sets the status;
// an end other than a stop is logged, an exception logged and reported, and
// at the end the lamp goes out and the other reader is stopped.
void gf_runRTAPIReaderThread(const RTAPIReaderThread& thread, const std::function<void(std::uint32_t&)>& run) {
    std::uint32_t status = 0;
    bool reported = false;
    try {
        lf_logReaderConnected(thread.name);
        Gui::enqueueUpdate(thread.lamp(kReaderRunning));
        run(status);
        Gui::enqueueUpdate(thread.lamp(kReaderStopped));
        if (status != kRTAPIStatusStopped) lf_logReaderEnd(thread.shortName, status);
    } catch (const std::exception& e) {
        gf_logRTAPIErrorNoThrow(thread.function, e.what());
        lf_reportException(thread.name, reported);
    } catch (...) {
        lf_reportException(thread.name, reported);
    }
    try {
        lf_endReader(thread.name, thread.lamp(kReaderStopped), thread.other(), status, reported);
    } catch (...) {
    }
}
