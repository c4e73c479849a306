#pragma once
// What the two RT Direct readers share: the clock of every wait, the
// RTAPIReader head (the connection that holds the session, the intervals the
// service grants, the time offset the user chose, and a stop flag that every
// wait and every request in progress watches) and the frame of their threads.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string_view>

#include "feed/rtdirect/session.h"
#include "services/gui.h"

// ---------------------------------------------------------------------------
// The clock of every RT Direct wait. Tests put a clock of their own in place
// so that no test waits the seconds the service asks for.

class RTDirectClock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    virtual ~RTDirectClock() = default;
    virtual TimePoint now() = 0;
    // Waits on `cv` (with `lock` held on its mutex) until `ready()` holds or the
    // deadline has passed; returns ready(). Wake-ups before the deadline with
    // ready() false go back to waiting.
    virtual bool waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, TimePoint deadline,
                           const std::function<bool()>& ready) = 0;
};

// now + ms, saturating at the largest time point.
RTDirectClock::TimePoint gf_rtDirectDeadline(RTDirectClock::TimePoint now, std::chrono::milliseconds ms);

// The clock in use: the steady clock unless a test set one.
RTDirectClock& gf_rtDirectClock();
// nullptr restores the steady clock. Set it only while no reader runs.
void gf_setRTDirectClock(RTDirectClock* clock);

// A wait of `duration` on the RT Direct clock that ends early when `stop()`
// turns true; `stop` is asked at least every 100 ms. For waits whose end
// condition (such as keepRunning) has no condition variable of its own.
void gf_rtDirectWaitWhile(std::chrono::milliseconds duration, const std::function<bool()>& stop);

// ---------------------------------------------------------------------------

inline constexpr std::string_view kTrafficRTAPIReaderName = "Traffic RTAPIreader";
inline constexpr std::string_view kWeatherRTAPIReaderName = "Weather RTAPIreader";
inline constexpr std::string_view kAuthenticaterName = "Authenticater";

// The status a reader ends with when it was told to stop.
inline constexpr std::uint32_t kRTAPIStatusStopped = 9999;

// The program's name in the readers' messages.
inline constexpr std::string_view kRTAPIProgramName = "TAVO";

// What both readers share.
class RTAPIReader {
public:
    explicit RTAPIReader(RTAPIConnection& connection);
    virtual ~RTAPIReader();
    RTAPIReader(const RTAPIReader&) = delete;
    RTAPIReader& operator=(const RTAPIReader&) = delete;

    // Waits `ms` milliseconds in four slices of ms / 4 and one of ms % 4 (when
    // not 0), unless the stop flag is or becomes set.
    void waitInterval(std::uint32_t ms);
    // Sets the stop flag and wakes every wait of this reader.
    void requestStop();
    // Wakes the waits without stopping them (they go back to waiting).
    void wake();
    // Before a restart: drops the connection's session, gives the connection's
    // transport a new handle, clears the stop flag and the time offset.
    // Throws std::runtime_error when no new handle can be had.
    void reset();

    RTAPIConnection& connection;
    // Seconds since 1970 of the latest delivered traffic; 0 = none.
    std::atomic<std::int64_t> trafficTime{0};
    // The user's time shift in minutes (0 = live traffic), sent as toffset.
    std::atomic<std::uint32_t> timeOffset{0};
    // Milliseconds between traffic requests and between weather requests.
    std::atomic<std::uint32_t> rrl{rtApiIntervalDefaultMs};
    std::atomic<std::uint32_t> wrrl{rtApiIntervalDefaultMs};
    // Set to stop the reader's thread; also the abort flag of its requests.
    std::atomic<bool> stop{false};

private:
    std::mutex waitMutex_;
    std::condition_variable waitCv_;
};

// ---------------------------------------------------------------------------
// The frame of a reader thread.

// What tells the two reader threads apart.
struct RTAPIReaderThread {
    std::string_view name;       // in the log and in reports
    std::string_view function;   // the thread's function, in exception lines
    std::string_view shortName;  // the start of its end-of-run error lines
    GuiUpdate (*lamp)(std::uint32_t);
    RTAPIReader& (*other)();  // stopped when this one ends unasked
};

// Runs a reader thread: its lamp is lit while `run` sets the status; an end
// other than a stop is logged, an exception logged and reported, and at the
// end the lamp goes out and, unless the thread was told to stop, the other
// reader is stopped and the end reported. Never throws.
void gf_runRTAPIReaderThread(const RTAPIReaderThread& thread, const std::function<void(std::uint32_t&)>& run);

// The error line "{where}: {what}"; a failing log is no reason to fail more.
void gf_logRTAPIErrorNoThrow(std::string_view where, std::string_view what) noexcept;
