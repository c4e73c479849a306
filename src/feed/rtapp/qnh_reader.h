#pragma once
// The RT App QNH reader: weather datagrams {"METAR": "..."} on the weather
// port give the QNH for g_qnh, the traffic reader's copy and the window.
// The thread function gf_weatherReader runs it on g_qnhReader and binds anew
// after an error.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "feed/rtapp/udp_reader.h"

inline constexpr std::string_view kQnhReaderName = "QNH Reader";

class QnhReader final : public UdpReader {
public:
    QnhReader();

    // Handles one weather datagram (reader thread; tests).
    void handleWeather(std::string_view datagram);

    // Clears the datagram state, the METAR text, the stored QNH and the METAR
    // time; the stop flag only when asked. Only while the thread does not run
    // or from the thread itself.
    void clearState(bool clearStop);

    // True when a METAR was seen at most 90 s before `now` (the main loop
    // shows the reader receiving then). Any thread.
    bool metarIsRecent(std::chrono::steady_clock::time_point now) const;

    // The QNH taken last (hPa), 0 = none yet. Any thread.
    std::uint32_t storedQnh() const { return storedQnh_.load(); }
    // The last METAR a QNH was taken from (reader thread).
    const std::string& metarText() const { return metarText_; }
    // Steady-clock time (ns since its epoch) the METAR was last seen; 0 = none.
    std::int64_t metarTimeNs() const { return metarTimeNs_.load(); }

protected:
    void onDatagram() override;
    void onDisconnect() override {}

private:
    std::string metarText_;
    std::atomic<std::uint32_t> storedQnh_{0};
    std::atomic<std::int64_t> metarTimeNs_{0};
};

extern QnhReader g_qnhReader;

// The thread function of the QNH reader ("QNH Reader").
void gf_weatherReader();
