#pragma once
// What an airport file changes beyond its stands: the parking settings of a
// learned or handmade file, or the rules for poor and tiny airports, applied
// for the airport's visit and set back to the user's own values when its
// parked traffic ends; the airport's details shown and logged. Besides, the
// identity of the cache file and two light reads of other airports' files for
// the destination: the stand closest to a position and the stand names.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "airports/airports_list.h"
#include "airports/park_airport_load.h"
#include "foundation/files.h"
#include "foundation/lalo.h"

// The parking values of the settings snapshot.
struct ParkingValues {
    std::int32_t parkingPercentage = 0;
    std::int32_t maxParkSel = 0;
    std::int32_t maxLiveSel = 0;
    std::int32_t maxFit = 0;
    std::uint8_t rtParkTrafficOnly = 0;
    std::uint8_t autoPark = 0;
    std::uint8_t week = 0;
    std::uint8_t parkSoft = 0;
};

// Remembers the parking values of the current settings snapshot as the user's
// own, to be set back when the airport's parked traffic ends.
void gf_copyParkingSettings();
// The remembered values, while a set-back is pending.
std::optional<ParkingValues> gf_savedUserParkingSettings();

// After a successful load: applies the file's settings (or the rules) to the
// parking parameters and their controls, shows and logs the airport, and
// records it as the loaded airport. The user's values are remembered first.
void lf_applyAirportFileSettings(const AirportReadResult& result);

// Copies the seven parking parameters into the settings snapshot.
void gf_publishParkingSettings();

// Sets every parking parameter that differs from the remembered value back to
// it, saves it and updates its control. Without remembered values (no airport
// settings applied since the last set-back) nothing changes.
void gf_restoreUserParkingSettings();

// The identity of airports/park_airport.xml: its code, publisher and the
// digits of its version.
struct AirportCacheInfo {
    IcaoCode icao;
    std::string publisher;
    std::string version;

    friend bool operator==(const AirportCacheInfo&, const AirportCacheInfo&) = default;
};
std::optional<AirportCacheInfo> lf_readAirportCacheInfo();

// The stand of the airport's file closest to the reference position (its
// distance in nautical miles), or an error text; never throws.
ClosestStandRead gf_readDestApfForClosestStand(const IcaoCode& icao, LaLo reference);

// The stand names of the airport's file (trimmed, upper-cased, each once, in
// file order), or an error text; never throws.
using StandNamesRead = std::variant<std::vector<std::string>, std::string>;
StandNamesRead gf_readApfForStands(const IcaoCode& icao);

// True when the document's meta block is valid and names the simulator this
// start serves (a file for both simulators fits either).
bool lf_metaFitsRunningSimulator(const pugi::xml_document& document);
