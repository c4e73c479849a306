#pragma once
// Makes BGL scenery files as the simulator's packages carry them: the header,
// a section table with any flags and types, subsection tables of 16- or
// 20-byte descriptors, data blocks of records, and airport records (packed
// ICAO, altitude in millimetres) with helipad, taxiway-parking and other
// subrecords of chosen sizes. The built file comes with the offsets of each
// of its parts so that a test can break any field, and one ready-made
// corruption per error code of the reader.
//
// No test framework is used here: the fuzz targets and benchmarks build it too.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tavo::test {

using BglBytes = std::vector<std::uint8_t>;

// The packed airport code: base-38 digits ('0'-'9' are 2-11, 'A'-'Z' 12-37),
// most significant first, shifted left by 5.
std::uint32_t bglPackIcao(std::string_view text);

// The packed position fields of the simulator's files.
std::uint32_t bglPackLongitude(double degrees);
std::uint32_t bglPackLatitude(double degrees);

// A helipad subrecord of `bytes` bytes (32 is the plain form; more is padding
// the reader must step over). The size field says `bytes` unless sizeField is
// set (to break it).
struct BglHelipad {
    double lat = 0.0;
    double lon = 0.0;
    float sizeMetres = 20.0f;
    std::uint32_t bytes = 32;
    std::int64_t sizeField = -1;  // -1: bytes
};
BglBytes bglHelipad(const BglHelipad& helipad);

// One taxiway-parking entry.
struct BglParking {
    std::uint32_t nameIndex = 10;  // "GATE "
    std::uint32_t type = 9;        // GATE_MEDIUM
    std::uint32_t number = 1;
    float radiusMetres = 20.0f;
    float headingDegrees = 90.0f;
    double lat = 0.0;
    double lon = 0.0;
    std::vector<std::uint32_t> airlineCodes;
};
// A taxiway-parking subrecord holding the entries; countField overrides the
// parking count (-1: the number of entries), sizeField the size (-1: exact).
BglBytes bglParkings(const std::vector<BglParking>& parkings, std::int64_t countField = -1,
                     std::int64_t sizeField = -1);

// Any subrecord or record: the id, the size field and `bytes` bytes in all
// (at least 6; the rest zeros).
BglBytes bglPlainRecord(std::uint16_t id, std::uint32_t bytes, std::int64_t sizeField = -1);

// An airport record (id 0x56, 68 bytes before its subrecords). The ICAO is
// packed from the text unless packedIcao is set. recordBytes cuts or pads
// the record to a chosen length (-1: header and subrecords); the size field
// says that length.
struct BglAirport {
    std::string icao = "EGLL";
    std::int64_t packedIcao = -1;
    std::int32_t altitudeMm = 25000;
    std::vector<BglBytes> subrecords;
    std::int64_t recordBytes = -1;
};
BglBytes bglAirportRecord(const BglAirport& airport);

// One subsection: its records back to back; the descriptor's record count is
// the number of records unless recordCount is set.
struct BglSubsection {
    std::vector<BglBytes> records;
    std::int64_t recordCount = -1;
};

// One section: type 3 is the airport section; flags choose the descriptor
// size through bit 0x10000.
struct BglSection {
    std::uint32_t type = 3;
    std::uint32_t flags = 0;
    std::vector<BglSubsection> subsections;
};

// A built file and where its parts lie.
struct BglFile {
    BglBytes bytes;
    std::vector<std::uint64_t> sectionEntries;    // one per section
    std::vector<std::uint64_t> subsectionTables;  // one per section
    std::vector<std::uint64_t> descriptors;       // every subsection, in order
    std::vector<std::uint64_t> dataBlocks;        // every subsection, in order
    std::vector<std::uint64_t> records;           // every record, in order

    void putU16(std::uint64_t offset, std::uint16_t value);
    void putU32(std::uint64_t offset, std::uint32_t value);
    std::uint32_t u32(std::uint64_t offset) const;
    std::string_view view() const { return {reinterpret_cast<const char*>(bytes.data()), bytes.size()}; }
};

// Header, section table, then each section's subsection table, then the data
// blocks, in section order.
BglFile bglBuild(const std::vector<BglSection>& sections);

// A small, well-formed file: one airport section holding the airports.
BglFile bglFileOf(const std::vector<BglAirport>& airports);

// A file the walk refuses with the given error code (0..10), with the offset
// and message the reader gives.
struct BglCorruption {
    int code = 0;
    std::uint64_t offset = 0;  // where the reader finds the fault
    std::string message;
    BglFile file;
};
BglCorruption bglCorruption(int code);

// Writes the bytes as the whole file.
void writeBglFile(const std::filesystem::path& path, const BglBytes& bytes);

}  // namespace tavo::test
