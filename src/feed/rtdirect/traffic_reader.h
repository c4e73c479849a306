#pragma once
// The RT Direct traffic reader: buffered traffic at its start, then live
// traffic in the query box around the user at the interval the service
// grants, and parked traffic around the current airport when the parked
// hand-over asks for it.
//
// One instance for the process, reset (not rebuilt) before a restart. Its
// position fields are written by the main thread and read by the reader
// thread under its position mutex; its parked list and hand-over maps are
// shared with the planner and the engine under their own mutexes. No two of
// the reader's mutexes are held at once.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "feed/handover.h"
#include "feed/query_box.h"
#include "feed/reader_qnh.h"
#include "feed/records.h"
#include "feed/rtdirect/reader.h"
#include "feed/rtdirect/replies.h"
#include "feed/rtdirect/transport.h"
#include "foundation/lalo.h"

// A query box in degrees.
using RTAPIBox = TrafficBox;
// Where both boxes stand before the first position is known.
inline constexpr RTAPIBox kInitialRTAPIBox{52.44, 52.17, 4.54, 4.98};

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

    // The QNH the records are corrected with; 0 until the thread starts (then
    // 1013) or a METAR arrives.
    ReaderQnh qnh;
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
        RTAPIBox query = kInitialRTAPIBox;
        RTAPIBox parked = kInitialRTAPIBox;
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

    std::mutex posterMutex_;
    BatchPoster poster_;  // guarded by posterMutex_
};

// The program's traffic reader, built on first use (after gf_initCurlGlobal);
// it uses gf_rtApiConnection().
RTAPITrafficReader& gf_rtApiTrafficReader();

// The reader thread's function.
void gf_RTAPITrafficReader();

// Main thread, on the parked hand-over's request: asks the reader thread for
// the parked traffic around the current airport and waits (at most 10 s) for
// it. False without a valid current airport, on failure and on time-out;
// throws std::runtime_error for a parameter fault (400) and for a licence
// without parked data (403).
bool gf_requestRTParkedTraffic();

// Registers the traffic reader's parked list and hand-over maps with the
// hand-over and its map clearing with gf_clearTrafficMaps.
void gf_registerRTDirectReaders();

// Forgets the parked-traffic airport of the active traffic source (the parked
// box and list of RT Direct, the parked lists of the RT App reader); called
// when the parked traffic of the current airport ends.
void gf_clearParkedTrafficAirport();
