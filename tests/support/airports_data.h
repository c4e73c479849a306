#pragma once
// Makes the airports data files the program reads: input/airports.enc (the
// airports list) and input/wktraffic.enc (the weekly-traffic airports), from
// entries given as text, so that a test can write any good or bad entry, and
// with whole-file faults on request. Also the profile of the real airports
// list (24,000 airports) for load and scan tests and benchmarks.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/enc_writer.h"

namespace tavo::test {

// One `ap` element. Every attribute is written as given; a missing one
// (nullopt) is left out.
struct AirportDataEntry {
    std::optional<std::string> c;   // ICAO code
    std::optional<std::string> i;   // IATA code
    std::optional<std::string> la;  // latitude, degrees
    std::optional<std::string> lo;  // longitude, degrees
    std::optional<std::string> a;   // elevation, whole feet
};

// A well-formed entry; the IATA code is left out when empty.
AirportDataEntry airportEntry(std::string_view icao, double lat, double lon, std::int32_t altitudeFt,
                              std::string_view iata = {});

// What may be wrong with a whole data file.
enum class DataFileFault {
    none,
    noRoot,     // the document element is not "root"
    noSection,  // "root" holds no section of the expected name
    malformed,  // not well-formed XML
};

// The plaintext of airports.enc: root/airports/ap...
std::string airportsXml(const std::vector<AirportDataEntry>& entries, DataFileFault fault = DataFileFault::none);

// Writes <folder>/input/airports.enc (the folder and input/ are created).
void writeAirportsEnc(const std::filesystem::path& folder, const std::vector<AirportDataEntry>& entries,
                      DataFileFault fault = DataFileFault::none, const EncWriterOptions& options = {});

// `count` airports with distinct valid codes in no particular order, spread
// over the earth, two in three with an IATA code: the shape of the real list.
std::vector<AirportDataEntry> airportsProfile(std::size_t count = 24000);

// The code of the n-th airport of airportsProfile.
std::string profileIcao(std::size_t n);

// The plaintext of wktraffic.enc: root/traffic_airports/arp..., one element
// per value, the value being its `c` attribute (nullopt: no attribute).
std::string wktrafficXml(const std::vector<std::optional<std::string>>& codeLists,
                         DataFileFault fault = DataFileFault::none);

// Writes <folder>/input/wktraffic.enc (the folder and input/ are created).
void writeWktrafficEnc(const std::filesystem::path& folder, const std::vector<std::optional<std::string>>& codeLists,
                       DataFileFault fault = DataFileFault::none, const EncWriterOptions& options = {});

}  // namespace tavo::test
