#pragma once
// Shared set-up of the facility-reader tests: a clean simulator model, a
// fresh Log.txt, a fake clock, model airports and raw facility records.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/log.h"
#include "platform/simconnect/sim_model.h"
#include "services/stop.h"
#include "simlink/facility_reader.h"
#include "support/temp_dir.h"

namespace tavo::test {

// One metre in nautical miles, the unit of the facility reader's distances.
inline constexpr double kMetreNm = 1.0 / 1852.0;

inline int countOf(const std::string& text, const std::string& part) {
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
    return n;
}

// Record bytes as the simulator sends them: packed, little-endian, unaligned.
struct RawRecord {
    std::vector<std::byte> bytes;

    explicit RawRecord(std::size_t size, std::uint32_t recvId) : bytes(size) {
        put<std::uint32_t>(0, static_cast<std::uint32_t>(size));
        put<std::uint32_t>(8, recvId);
    }
    template <typename T>
    RawRecord& put(std::size_t offset, T value) {
        std::memcpy(bytes.data() + offset, &value, sizeof(T));
        return *this;
    }
};

// A FACILITY_DATA block with its 40-byte head; fields from offset 40.
inline RawRecord facilityBlock(std::size_t size, std::uint32_t requestId, std::uint32_t uid, std::uint32_t parent,
                               std::uint32_t type) {
    RawRecord r(size, SIMCONNECT_RECV_ID_FACILITY_DATA);
    r.put<std::uint32_t>(12, requestId).put<std::uint32_t>(16, uid).put<std::uint32_t>(20, parent);
    r.put<std::uint32_t>(24, type);
    return r;
}

inline RawRecord facilityEnd(std::uint32_t requestId) {
    RawRecord r(16, SIMCONNECT_RECV_ID_FACILITY_DATA_END);
    r.put<std::uint32_t>(12, requestId);
    return r;
}

inline void queueRaw(const RawRecord& record) { gf_simModelQueueRawRecord("PARKING_DATA_RDR", record.bytes); }

// An airport north of the equator with nothing on it.
inline SimAirport emptyAirport(const std::string& icao = "EDDX") {
    SimAirport a;
    a.icao = icao;
    a.region = "ED";
    a.name = "Test Field";
    a.latitudeDeg = 50.0;
    a.longitudeDeg = 8.0;
    a.altitudeM = 100.0;
    return a;
}

// The runway ends of `primary`/`secondary` with a start of TYPE 1 at each.
inline void addRunway(SimAirport& a, std::int32_t primary, std::int32_t secondary, float headingDeg,
                      std::int32_t primaryDesignator = 0, std::int32_t secondaryDesignator = 0) {
    SimRunway r;
    r.latitudeDeg = a.latitudeDeg;
    r.longitudeDeg = a.longitudeDeg;
    r.altitudeM = a.altitudeM;
    r.headingDeg = headingDeg;
    r.lengthM = 3000;
    r.widthM = 45;
    r.primaryNumber = primary;
    r.primaryDesignator = primaryDesignator;
    r.secondaryNumber = secondary;
    r.secondaryDesignator = secondaryDesignator;
    a.runways.push_back(r);
    const auto start = [&](std::int32_t number, std::int32_t designator, float heading) {
        SimStart s;
        s.latitudeDeg = a.latitudeDeg;
        s.longitudeDeg = a.longitudeDeg;
        s.altitudeM = a.altitudeM;
        s.headingDeg = heading;
        s.number = number;
        s.designator = designator;
        a.starts.push_back(s);
    };
    start(primary, primaryDesignator, headingDeg);
    start(secondary, secondaryDesignator, headingDeg >= 180 ? headingDeg - 180 : headingDeg + 180);
}

// Clean model, fresh log, closed reader and a fake clock: every sleep of the
// reader moves the fake time on by `step` at once, so a 30 s time-out passes
// in a few dozen polls without waiting.
class FacilityTest : public LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        gf_closeFacilityReader();
        gf_simModelReset();
        gf_clearStopMailbox();
        installFakeClock();
    }
    void TearDown() override {
        gf_closeFacilityReader();
        gf_simModelReset();
        gf_setFacilityReaderClock({});
        gf_clearStopMailbox();
        LogFileTest::TearDown();
    }

    bool logHas(const std::string& line) { return logText().find(line) != std::string::npos; }

    void installFakeClock() {
        FacilityReaderClock clock;
        clock.now = [this] { return fakeNow; };
        clock.sleepUntil = [this](std::chrono::steady_clock::time_point until) {
            ++sleeps;
            fakeNow = std::max(fakeNow, until) + step;
        };
        gf_setFacilityReaderClock(std::move(clock));
    }
    std::chrono::duration<double> fakeElapsed() const { return fakeNow - fakeStart; }

    static SimConnectionInfo reader() { return gf_simModelConnection("PARKING_DATA_RDR"); }
    static bool readerOpen() { return reader().open; }

    std::chrono::steady_clock::time_point fakeStart{std::chrono::hours(1)};
    std::chrono::steady_clock::time_point fakeNow{fakeStart};
    std::chrono::milliseconds step{500};
    int sleeps = 0;
};

}  // namespace tavo::test
