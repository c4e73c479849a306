#pragma once
// The facility-data reader: a second simulator connection, "PARKING_DATA_RDR",
// used only to read an airport's stands and helipads (for the airport scan)
// and its runways and runway starts (for the runway-heading correction).
//
// The connection is opened by the first read and stays open between reads;
// each read polls it on the calling thread until the answer is complete or a
// time-out (30 s for stands, 10 s for runways) passes. Reads never throw:
// every failure is logged once and reported as false / an empty result.
// Reads and closing are serialised by a lock of their own, so two threads
// cannot interleave on the one connection.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "airports/airport.h"
#include "foundation/lalo.h"

// ---- stands ----

// Reads the stands and helipads of one airport. airportName names the airport
// in log lines and gives the result's IcaoCode; icao and region are what the
// simulator is asked for. On success fills the airport's code, facility name,
// reference position, altitude (whole feet) and stands (in arrival order;
// helipads named "HELIPAD 1", "HELIPAD 2", ...) and sets helipadCount; other
// fields of the airport stay as they were. On failure returns false and
// leaves both arguments untouched; the connection is then closed so that the
// next read starts afresh. With no simulator running it fails at once.
bool gf_readFacilityStands(std::string_view airportName, std::string_view icao, std::string_view region,
                           Airport& airport, std::uint32_t& helipadCount);
// The airport scan's form: the code names the airport and is asked for, with
// no region.
bool gf_readFacilityStands(std::string_view icao, Airport& airport, std::uint32_t& helipadCount);

// Closes the connection when it is open ("SimConnect (PARKING_DATA_RDR)
// closed"); called at the end of the airport scan and after failures.
void gf_closeFacilityReader();

// ---- runways ----

// A runway start (the position an aircraft lines up at) of one runway end.
struct FacilityStart {
    std::int32_t number = 0;      // runway number of the end (1-36, 37-44 compass)
    std::int32_t designator = 0;  // 0 none, 1 L, 2 R, 3 C, 4 W, 5 A, 6 B
    LaLo position{};
    double altitudeFt = 0.0;
    double headingDeg = 0.0;
    std::int32_t type = 0;  // 1 runway start
};

// The displaced-threshold block of one runway end.
struct FacilityThreshold {
    double lengthM = 0.0;
    double widthM = 0.0;
    bool enabled = false;  // the facility's ENABLE is not 0
};

// One runway of an airport as the facility data gives it.
struct FacilityRunway {
    LaLo centre{};
    LaLo end1{};  // primary end: half the length from the centre against the heading
    LaLo end2{};  // secondary end: half the length along the heading
    double altitudeFt = 0.0;
    double headingDeg = 0.0;  // true heading of the primary direction
    double lengthM = 0.0;
    double widthM = 0.0;
    std::int32_t primaryNumber = 0;
    std::int32_t primaryDesignator = 0;
    std::int32_t secondaryNumber = 0;
    std::int32_t secondaryDesignator = 0;
    std::optional<FacilityStart> primaryStart;
    std::optional<FacilityStart> secondaryStart;
    FacilityThreshold primaryThreshold;
    FacilityThreshold secondaryThreshold;
};

// A complete and consistent answer for one airport.
struct FacilityRunwaySet {
    double airportAltitudeFt = 0.0;
    std::vector<FacilityRunway> runways;  // in arrival order
};

// Reads and checks the runways and starts of an airport. Empty on any failure
// (logged with the "RUNWAY_HEADING: " prefix; the data checks end in
// "correction disabled"). A failure of the connection (request, dispatch,
// time-out, an unfinished answer) closes it; a failed data check keeps it.
std::optional<FacilityRunwaySet> gf_readRunwayHeadings(std::string_view icao);

// The text of one runway end: 1..36 as "{:02}", 37..44 as N, NE, E, SE, S,
// SW, W, NW, others "#{}"; then L, R, C, W, A, B for designators 1..6,
// "({})" for another non-zero designator, nothing for 0.
std::string gf_runwayName(std::int32_t number, std::int32_t designator);

// ---- time seam ----

// The clock the reads wait on: `now` for deadlines, `sleepUntil` between two
// polls. Tests install a fake one so that time-outs pass without waiting.
// Empty functions mean the steady clock and a real sleep. Set it only while
// no read runs.
struct FacilityReaderClock {
    std::function<std::chrono::steady_clock::time_point()> now;
    std::function<void(std::chrono::steady_clock::time_point)> sleepUntil;
};
void gf_setFacilityReaderClock(FacilityReaderClock clock);
