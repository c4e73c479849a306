#pragma once
// The RT Direct weather reader: the METARs nearest to the user aircraft at
// the interval the service grants (wrrl), the QNH of the first that has one,
// published into the traffic reader's copy, g_qnh and the window. A small
// cache saves a request while the aircraft stays within 10 NM for a minute.

#include <atomic>
#include <cstdint>
#include <optional>

#include "feed/rtdirect/reader.h"
#include "feed/rtdirect/transport.h"

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

// The program's weather reader, built on first use (after gf_initCurlGlobal);
// it uses gf_rtApiConnection().
RTAPIWeatherReader& gf_rtApiWeatherReader();

// The reader thread's function.
void gf_RTAPIWeatherReader();
// The polling loop of the weather thread; returns false whenever it ends.
bool gf_nearestMetarWithRetry(std::uint32_t& status);
