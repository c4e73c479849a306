#pragma once
// The two RT Direct readers: the traffic reader (buffered, live and parked
// traffic) and the weather reader (nearest METAR and QNH), each on its own
// worker thread, plus the login and logout around them.
//
// Both readers share the RTAPIReader head: the connection that holds the
// session, the intervals the service grants, the time offset the user chose,
// and a stop flag that every wait and every request in progress watches.
// Both are single instances for the process, reset (not rebuilt) before a
// restart. The traffic reader's position fields are written by the main
// thread and read by the reader thread under its position mutex; its parked
// list and hand-over maps are shared with the planner and the engine under
// their own mutexes. No two of the reader's mutexes are held at once.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "feed/handover.h"
#include "feed/records.h"
#include "feed/rtdirect/replies.h"
#include "feed/rtdirect/session.h"
#include "feed/rtdirect/transport.h"
#include "foundation/lalo.h"

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

// A query box in degrees.
struct RTAPIBox {
    double top = 52.44;
    double bottom = 52.17;
    double left = 4.54;
    double right = 4.98;
    friend bool operator==(const RTAPIBox&, const RTAPIBox&) = default;
};

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

class RTAPITrafficReader final : public RTAPIReader {
public:
    // Where finished batches go: gf_postTrafficBatch(records, delay, RT
    // Direct) unless a test sets its own. Must leave the records empty.
    using BatchPoster = std::function<void(std::vector<TrafficRecord>& records, std::uint32_t delaySeconds)>;

    explicit RTAPITrafficReader(RTAPIConnection& connection);

    // --- main thread (and the airport code) ---
    void setUserPosition(const LaLo& position);
    void setAirportElevation(std::optional<double> elevationFt);
    // Recomputes the query box from the published user position and the
    // range of the settings; nothing without a position.
    void updateQueryBox();
    // Empties the hand-over maps and lets them collect.
    void clearTrafficMaps();
    // Forgets the parked-traffic airport: the parked box returns to its
    // initial value and the parked list is emptied.
    void clearParkedTraffic();
    // Before a restart, while the thread does not run.
    void reset();

    // --- reader thread ---
    // Hands one parsed batch on with the delay: traffic time, hand-over maps,
    // delivered count, then the poster.
    void deliverTraffic(TrafficBatch& batch, std::uint32_t delaySeconds);
    // The buffer request, then the live loop; `status` tells why it ended.
    void receive(std::uint32_t& status);
    // One buffer request; true when the buffered segments were delivered.
    bool buffer(std::uint32_t& status);
    // One parked request; its outcome goes to parkedStatus.
    void parkedtraffic();
    // Sets the QNH to 1013 (reader, g_qnh, window) when none is known yet.
    void setInitialQnh();
    // A new QNH: the reader's copy, g_qnh and the window.
    void publishQnh(std::int32_t hectopascal);

    // Asks the reader thread for parked traffic (see gf_requestRTParkedTraffic).
    void askForParkedTraffic();
    // Waits until the parked status is no longer -1 or `timeout` has passed on
    // the RT Direct clock; the status then.
    std::int32_t waitForParkedStatus(std::chrono::milliseconds timeout);

    void setBatchPoster(BatchPoster poster);

    // --- for the shell's status, the hand-over and tests ---
    RTAPIBox queryBox();
    RTAPIBox parkedBox();
    void setParkedBox(const RTAPIBox& box);

    std::atomic<std::int32_t> qnh{0};  // hPa; 0 until the thread starts or a METAR arrives
    // -1 pending, 0 done, 1 failed, else the API status of the last parked request.
    std::atomic<std::int32_t> parkedStatus{-1};
    std::atomic<bool> parkedRequested{false};
    std::atomic<bool> loopRunning{false};
    // Records delivered since the shell's status last took the count.
    std::atomic<std::uint64_t> deliveredCount{0};

    std::mutex parkedMutex;
    std::vector<ParkedRecord> parkedList;  // guarded by parkedMutex
    std::mutex mapsMutex;
    HandOverMaps maps;  // guarded by mapsMutex, the active flag included

private:
    struct Position {
        double userLatitude = 0.0;
        double userLongitude = 0.0;
        double boxLatitude = 0.0;
        double boxLongitude = 0.0;
        double cosLatitude = 0.0;
        double boxRange = -1.0;
        std::optional<double> airportElevationFt;
        RTAPIBox query;
        RTAPIBox parked;
    };
    // The own position for one batch, copied under the position mutex.
    OwnPositionSnapshot ownPosition(bool collectHandOver, RTAPIBox* box);
    void setParkedStatus(std::int32_t status);
    void post(std::vector<TrafficRecord>& records, std::uint32_t delaySeconds);

    RTAPITransport trafficTransport_{16384};
    RTAPITransport parkedTransport_{16384};
    TrafficBatch batch_;  // reader thread only

    std::mutex positionMutex_;
    Position position_;  // guarded by positionMutex_

    std::mutex parkedStatusMutex_;
    std::condition_variable parkedStatusCv_;

    // Orders the two writers of the QNH (the thread's start and the weather
    // reader), so the 1013 default never lands after a real value.
    std::mutex qnhMutex_;

    std::mutex posterMutex_;
    BatchPoster poster_;  // guarded by posterMutex_
};

class RTAPIWeatherReader final : public RTAPIReader {
public:
    explicit RTAPIWeatherReader(RTAPIConnection& connection);

    // One cache test or request; true when a QNH is current.
    bool nearestmetar(std::uint32_t& status);
    // Before a restart, while the thread does not run: the head's reset, a
    // new transport handle, an empty cache. The next QNH found is published
    // even when it equals the last one, since the traffic reader starts
    // again from 1013.
    void reset();

    // When the last QNH was obtained; empty when never.
    std::optional<RTDirectClock::TimePoint> lastSuccessTime() const;

    RTAPITransport& transport() { return transport_; }

private:
    RTAPITransport transport_{16384};
    // Weather thread only.
    double cachedLatitude_ = 0.0;
    double cachedLongitude_ = 0.0;
    RTDirectClock::TimePoint cachedTime_{};
    std::uint32_t cachedTimeOffset_ = 0;
    std::int32_t lastQnh_ = 1013;
    bool publishedThisRun_ = false;
    // Read by the shell's status.
    std::atomic<std::int64_t> lastSuccessNs_{0};  // steady-clock ns since its epoch; 0 = never
};

// The program's readers, built on first use (after gf_initCurlGlobal); both
// use gf_rtApiConnection().
RTAPITrafficReader& gf_rtApiTrafficReader();
RTAPIWeatherReader& gf_rtApiWeatherReader();

// ---------------------------------------------------------------------------
// Threads, login and logout.

// The reader threads' functions.
void gf_RTAPITrafficReader();
void gf_RTAPIWeatherReader();
// The polling loop of the weather thread; returns false whenever it ends.
bool gf_nearestMetarWithRetry(std::uint32_t& status);

// Main thread, on the parked hand-over's request: asks the reader thread for
// the parked traffic around the current airport and waits (at most 10 s) for
// it. False without a valid current airport, on failure and on time-out;
// throws std::runtime_error for a parameter fault (400) and for a licence
// without parked data (403).
bool gf_requestRTParkedTraffic();

// Registers the traffic reader's parked list and hand-over maps with the
// hand-over and its map clearing with gf_clearTrafficMaps.
void gf_registerRTDirectReaders();

// The login step on the main thread: returns after a login, or after a
// failure that has been reported with a stop request; throws
// tavo::UserRelatedException for 402, 404 and 405 (after showing the message
// for ten seconds) and std::runtime_error "No RT database connection" for 500.
void gf_authenticateAtRTServer();
// "{}_{}" of the program name and version.
std::string gf_rtApiSoftwareText();
// "RT Direct {} license, {} day{} left" for an account type and expiry at `now`
// (seconds since 1970); the days are whole days, truncated toward zero.
std::string gf_rtDirectServiceInfo(std::uint32_t type, std::int64_t expiry, std::int64_t now);
// The logout after both readers have been joined; never throws.
void gf_RTAPIDeauthenticate();

// Starts the weather reader, then the traffic reader, in their thread slots.
void gf_startRTDirectReaders();
// The RT Direct part of closing down: stops and wakes both readers, joins the
// weather reader, then the traffic reader, logs out, and before a restart
// resets both readers.
void gf_closeRTDirect(bool restart);

// Forgets the parked-traffic airport of the active traffic source (the parked
// box and list of RT Direct, the parked lists of the RT App reader); called
// when the parked traffic of the current airport ends.
void gf_clearParkedTrafficAirport();
