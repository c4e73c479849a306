#pragma once
// The airports list: every airport the traffic service knows, with its codes,
// reference position and elevation. Loaded once from input/airports.enc and
// then read by every thread (is a code known, which airport lies at a
// position, which airport file belongs to a code).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "feed/records.h"
#include "foundation/files.h"
#include "foundation/lalo.h"

// One entry of the airports list; also the type of the current airport.
struct AirportListEntry {
    IcaoCode icao;  // none when default
    IataCode iata;  // "XXX" when the data file gives none
    LaLo position{};  // reference position, degrees
    std::int32_t altitudeFt = 0;  // elevation
};

// The number of entries of a successful load, or the error text of a failed one.
using AirportsLoadResult = std::variant<std::size_t, std::string>;

// Loads input/airports.enc once. When the list is loaded already, its count
// comes back at once and no file is read. A failed load leaves the list empty
// and not loaded, so that a later call tries again. Racing callers read the
// file once: the check and the load run under one mutex.
AirportsLoadResult gf_loadAirports();

// The entry of a code (binary search under the shared lock), or nothing.
std::optional<AirportListEntry> gf_findAirport(const IcaoCode& icao);
bool gf_isKnownAirport(const IcaoCode& icao);

// An airport of the list near a position, with its squared flat distance
// (NM^2, longitude difference wrapped, cos of the position's latitude).
struct NearbyAirport {
    double squaredNm = 0.0;
    AirportListEntry entry;
};
// The airports whose latitude and longitude differences are each at most the
// radius and whose flat distance is at most the radius, in list order.
std::vector<NearbyAirport> gf_airportsWithin(LaLo position, double radiusNm);

// The airport at a position: the airports within 5 NM (flat earth) are the
// candidates; among several, the one whose airport file has a stand strictly
// closer to the position than every earlier (nearer-centred) candidate's wins,
// else the nearest centre. Nothing when no airport is within 5 NM.
std::optional<AirportListEntry> gf_findNearestAirport(LaLo position);

// The stand of an airport's file nearest to a reference position: its name
// and distance in nautical miles.
struct ClosestStand {
    std::string name;
    double distanceNm = 0.0;
};
// The closest stand, or the error text of a read that found none.
using ClosestStandRead = std::variant<ClosestStand, std::string>;
using ClosestStandReader = ClosestStandRead (*)(const IcaoCode& icao, LaLo reference);

// The reader gf_findNearestAirport asks for each candidate's closest stand:
// gf_readDestApfForClosestStand, which reads the candidate's airport file.
// Tests install their own; nullptr restores the airport-file reader.
void gf_setClosestStandReader(ClosestStandReader reader);

// Tests: empties the list and marks it not loaded, as before the first load.
void gf_unloadAirportsForTests();
