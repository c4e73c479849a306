#pragma once
// The airport file: one XML document per airport with its identity, optional
// parking settings and its stands with their flight options. The writer
// replaces a file only when the whole document could be built and saved; the
// readers never fail a file, they log and skip what they cannot use.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include <pugixml.hpp>

#include "airports/airport.h"
#include "liveries/ac_key.h"

// The parking settings an airport file may carry for its airport.
struct AirportParkingSettings {
    std::int32_t parkingPercentage = 0;
    std::int32_t maxFit = 0;
    std::uint8_t rtParkTrafficOnly = 0;
    std::uint8_t autoPark = 0;
    std::uint8_t week = 0;
    std::uint8_t parkSoft = 0;

    friend bool operator==(const AirportParkingSettings&, const AirportParkingSettings&) = default;
};

// The writer's two modes.
inline constexpr int kApfModeLearned = 0;
inline constexpr int kApfModeGenerated = 1;

// A reader looks at no more stands of one file than this.
inline constexpr std::size_t kMaxStandsPerFile = 512;

// Who an option's aircraft is, as its `opt` element gives it.
struct OptIdentity {
    std::string callsign1;
    std::string callsign2;
    AcKey key{};
};

// Writes the airport to the path through a temporary file in the same folder.
// True when the file was written and moved into place; on any failure the
// existing file stays as it was and no temporary file is left.
bool gf_writeApf(const Airport& airport, const std::filesystem::path& path, int mode, std::uint32_t simulator,
                 bool handmade, const std::optional<AirportParkingSettings>& settings);

// Appends root/parameters with the airport's values; false when an element or
// attribute cannot be appended, or in learned mode without settings.
bool lf_writeAirportParameters(pugi::xml_node root, const Airport& airport, int mode, bool handmade,
                               const std::optional<AirportParkingSettings>& settings);

// Appends one parameter with the value written with 4 decimals.
bool lf_appendDoubleParameter(pugi::xml_node parent, std::string_view name, double value);

// The stand readers' rules for a position (latitude in [-90, 90], longitude in
// [-180, 180], not both within 0.0001 of zero) and a radius in metres (finite,
// above 0, and still above 0 in nautical miles). The writer gives back every
// stand they accept in a form they accept again.
bool lf_isReadablePosition(double latitude, double longitude);
bool lf_isReadableRadius(double metres);

// Appends the stands of the document (at most the first 512 parkpos
// elements looked at) to the vector; problems are logged.
void lf_readParkPositions(const pugi::xml_document& document, std::vector<Stand>& stands);

// Reads one parkpos whose trimmed id is `name` and appends its stand; every
// option read gets `mark`. False when the stand was rejected (logged).
bool lf_readParkpos(const pugi::xml_node& parkpos, const std::string& name, std::uint32_t mark,
                    std::vector<Stand>& stands);

// The option an opt element gives with the hours already read: identity,
// registration, day as written, soft and cpl.
StandOption lf_optionFromElement(const pugi::xml_node& opt, const HoursBitset& hours, std::uint32_t number,
                                 std::uint32_t mark);

OptIdentity lf_readOptIdentity(const pugi::xml_node& opt);
// The key made of the interned `airl` and `type` codes; other fields 0.
AcKey lf_readOptAircraftKey(const pugi::xml_node& opt);

// A versioned file name (stem of 5 or more characters, EGLL3.enc) becomes the
// code's own name in the same folder (EGLL.enc); other paths stay.
std::filesystem::path gf_canonicalAirportFilePath(const std::filesystem::path& path);
