#pragma once
// The RT App traffic reader: every datagram on the traffic port holds one
// comma-separated line whose first field is its tag.
//   RTTFC / RTBUF   one live or buffered aircraft, collected into the batch
//   RTTFC_EOT       the live batch goes to the engine (delay 30)
//   RTBUF_SEP       a buffer segment goes to the engine (delay segment x 6)
//   RTBUF_EOT       the buffer has been sent (the batch is kept)
//   RTPARK          one parked aircraft, collected into the back list
//   RTPARK_EOT      the back list becomes the front list
// The thread function gf_trafficReader runs the reader on the global
// instance g_trafficReader.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "feed/handover.h"
#include "feed/reader_qnh.h"
#include "feed/records.h"
#include "feed/rtapp/udp_reader.h"

struct SettingsSnapshot;

inline constexpr std::string_view kTrafficReaderName = "Traffic Reader";

// A batch whose end tag does not come is posted as live traffic once it holds
// this many records or has been open this long, so it cannot grow for ever
// and its positions do not wait when the App falls silent.
inline constexpr std::size_t kOpenBatchMaxRecords = 5000;
inline constexpr std::chrono::seconds kOpenBatchMaxAge{10};

// The most parked aircraft one set may hold: far above the parked traffic of
// the largest airport, so that RTPARK lines without their end tag cannot make
// the set being received grow without end. Lines past it are dropped.
inline constexpr std::size_t kRTAppParkedListCap = 5000;

class TrafficReader final : public UdpReader {
public:
    // Where finished batches go: gf_postTrafficBatch(batch, delay, RT App)
    // unless a test or benchmark sets its own. Must leave the batch empty.
    using BatchPoster = std::function<void(std::vector<TrafficRecord>& batch, std::uint32_t delaySeconds)>;

    TrafficReader();

    // Handles one line as a received datagram would be handled (reader
    // thread). The text must stay valid during the call.
    void handleLine(std::string_view line);

    // Clears the whole reader: datagram state, stop flag, counts, last record
    // time, QNH copy, both received flags, buffer segment, batch, per-batch
    // copies, hand-over maps (inactive), parked lists, own position. Only
    // while the reader's thread does not run (before it starts, after join).
    void reset();

    // The user aircraft's position (degrees); any thread.
    void setOwnPosition(double latitude, double longitude);
    // The user's airport elevation (feet), or none; any thread.
    void setAirportElevation(std::optional<double> elevationFt);

    // Clears parked received and empties both parked lists; any thread.
    void clearParkedTraffic();
    // Empties the hand-over maps and lets them collect; any thread.
    void clearTrafficMaps();
    // Start of a buffer request: segment 0, no per-batch copies, buffer not
    // received (reader thread, or while it does not run).
    void beginBufferTraffic();

    void setBatchPoster(BatchPoster poster);

    // Posts the open batch as live traffic when it has been open for
    // kOpenBatchMaxAge or longer (reader thread). Every line but the two that
    // post the batch themselves asks first, and the receive loop asks
    // whenever no line came, so the limit holds when no line follows.
    void postAgedBatch();

    // An RTBUF_EOT arrived / an RTPARK_EOT arrived (the parked set is complete).
    std::atomic<bool> bufferReceived{false};
    std::atomic<bool> parkedReceived{false};
    // The QNH the records are corrected with; 0 until the reader starts, then
    // 1013 until the QNH reader publishes one.
    ReaderQnh qnh;

    std::mutex handOverMutex;
    HandOverMaps maps;  // guarded by handOverMutex, active flag included
    std::mutex parkedListMutex;
    std::vector<ParkedRecord> parkedFront;  // the last complete parked set
    std::vector<ParkedRecord> parkedBack;   // the set being received

    // Reader-thread state, for tests.
    const std::vector<TrafficRecord>& batch() const { return batch_; }
    std::uint32_t bufferSegment() const { return bufferSegment_; }

protected:
    void onDatagram() override;
    void onIdle() override;
    void onDisconnect() override;

private:
    struct OwnPosition {
        double latitude = 0.0;
        double longitude = 0.0;
        double cosLatitude = 1.0;
        std::optional<double> airportElevationFt;
    };

    void splitFields(std::string_view line);
    void processRTAppLine(std::string_view line);
    bool checkFieldCount(std::size_t required, std::string_view line);
    void processTrafficLine();
    void processLine();
    void processParkLine();
    void post(std::uint32_t delaySeconds);
    void dropPerBatchCopies();
    // Posts an open batch that ran past its limits as live traffic.
    void capOpenBatch();

    std::vector<TrafficRecord> batch_;
    OwnPosition perBatchPosition_;
    std::shared_ptr<const SettingsSnapshot> perBatchSettings_;
    bool perBatchTaken_ = false;
    // When the open batch began (its first line, or the last buffer separator).
    std::chrono::steady_clock::time_point batchOpenedAt_{};
    // The cap was logged in this run.
    bool capLogged_ = false;
    // The parked set's cap was logged in this run.
    bool parkedCapLogged_ = false;
    std::vector<std::string_view> fields_;
    std::uint32_t bufferSegment_ = 0;
    BatchPoster poster_;

    std::mutex ownPositionMutex_;
    OwnPosition ownPosition_;  // guarded by ownPositionMutex_
};

extern TrafficReader g_trafficReader;

// Empties the active source's hand-over maps and lets them collect: the RT
// App reader's, or with RT Direct the maps of its registered clearer.
void gf_clearTrafficMaps();
// The RT Direct traffic reader registers how its maps are cleared.
void gf_setRTDirectTrafficMapsClearer(void (*clearer)());

// Registers what the link and the parked hand-over need of the RT App readers
// (reader reset, parked clearing, the parked source). Idempotent; the traffic
// reader thread calls it at its start, the shell may call it earlier.
void gf_registerRTAppReaders();
// Resets both readers, stop flags included (before a new connection is
// waited for, and by the close-down after joining the threads).
void gf_resetRTAppReaders();
// The close-down: sets both readers' stop flags; each loop ends within its
// receive time-out.
void gf_stopRTAppReaders();

// The thread function of the traffic reader ("Traffic Reader").
void gf_trafficReader();
