#pragma once
// Reader of the simulator's BGL scenery files, for airports whose stands the
// simulator's facility data cannot give. A file is read once, whole, into an
// image; its header and section table are checked, every airport section is
// walked down to its records with strict bounds and overlap checks, and the
// helipads and parking positions of every known airport with weekly traffic
// become stands. Nothing read from the file is trusted: every read stays
// inside the structure it belongs to (file, data block, record, subrecord),
// and a malformed structure ends the walk with a numbered BglError.
//
// All values are little-endian; offsets are byte offsets from the start of
// the file.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <istream>
#include <map>
#include <optional>
#include <unordered_set>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "airports/airport.h"
#include "foundation/files.h"

inline constexpr std::uint32_t kBglHeaderSize = 56;
inline constexpr std::uint32_t kBglSectionEntrySize = 20;
inline constexpr std::uint32_t kBglAirportSectionType = 3;
inline constexpr std::uint32_t kBglWideDescriptorFlag = 0x10000;
inline constexpr std::uint16_t kBglAirportRecordId = 0x56;
inline constexpr std::uint16_t kBglHelipadId = 0x26;
inline constexpr std::uint16_t kBglTaxiwayParkingId = 0xE7;
// Offsets inside an airport record.
inline constexpr std::uint32_t kBglAirportAltitudeOffset = 20;
inline constexpr std::uint32_t kBglAirportIcaoOffset = 40;
inline constexpr std::uint32_t kBglAirportFirstSubrecord = 68;
// A helipad's fields end with its size at offset 28.
inline constexpr std::uint32_t kBglHelipadMinSize = 32;
// A parking entry is 14 words plus one word per airline code.
inline constexpr std::uint32_t kBglParkingEntryWords = 14;
// The subrecord walk of one airport record gives up after this many steps.
inline constexpr int kBglMaxSubrecordSteps = 9000;

// One record of an airport section.
struct BglRecordRef {
    std::uint16_t id = 0;
    std::uint64_t offset = 0;  // in the file
    std::uint64_t size = 0;    // bytes, header included

    friend bool operator==(const BglRecordRef&, const BglRecordRef&) = default;
};

// Why a file was refused: code 0..10, where, and what.
struct BglError {
    std::uint8_t code = 0;
    std::uint64_t offset = 0;
    std::string message;
};

using BglWalkResult = std::variant<std::vector<BglRecordRef>, BglError>;

// Half-open byte ranges [start, end), keyed by start.
using BglIntervalSet = std::map<std::uint64_t, std::uint64_t>;

// Reads at a byte offset; nothing when fewer than 2 (4) bytes remain there.
std::optional<std::uint16_t> lf_readBglU16(std::span<const std::uint8_t> image, std::uint64_t offset);
std::optional<std::uint32_t> lf_readBglU32(std::span<const std::uint8_t> image, std::uint64_t offset);

// True when [offset, offset + length) lies within [0, limit), without overflow.
constexpr bool lf_fitsBelow(std::uint64_t offset, std::uint64_t length, std::uint64_t limit) {
    return offset <= limit && length <= limit - offset;
}

// 0: inserted (a length of 0 inserts nothing); 1: the identical range is
// present already; 2: the range overlaps another one.
int lf_insertInterval(BglIntervalSet& set, std::uint64_t start, std::uint64_t length);

// Walks every airport section of a file image down to its records; the
// references in the order section, subsection, record, or the first error.
BglWalkResult lf_walkBglAirportSections(std::span<const std::uint8_t> image);

// Cheap test before any heavy work: true when the file's section table names
// an airport section. Reads only the section count and the section types.
bool lf_probeBglHeader(const std::filesystem::path& path);

// The whole stream as little-endian 32-bit words (a trailing partial word is
// dropped); empty on any read failure or when it holds fewer than 4 bytes.
std::vector<std::uint32_t> lf_readFileWords(std::istream& in);

// A packed airport identifier: the decoded text and whether it can be used.
enum class BglIcaoStatus : std::uint8_t {
    valid = 0,
    badDigit = 1,   // a blank or unused digit, or more than 10 characters
    notFour = 2,    // valid characters, but not 4 of them
    unknown = 3,    // 4 characters that name no airport of the airports list
};
struct BglIcao {
    std::string text;
    BglIcaoStatus status = BglIcaoStatus::badDigit;
};
// Unknown codes are noted in the scan log ("{} is not known").
BglIcao lf_decodeBglIcao(std::uint32_t packed);

// The airport's elevation in feet from its record (millimetres, signed);
// 0 outside -20..10000 ft and when the record is too short to hold it.
std::int32_t lf_initBglAirport(std::span<const std::uint8_t> record);

// One airport being read: the record it becomes, the stand names taken and
// the number the next helipad gets.
struct BglAirportStands {
    Airport airport;
    std::unordered_set<std::string> usedNames;
    int helipadCounter = 1;
    // Positions of the helipads taken, to drop doubles.
    std::vector<LaLo> helipads;

    int helipadCount() const { return helipadCounter - 1; }
};

// The name itself when it is new, else the name with the first of "a".."j"
// that is new; nothing (and a scan-log warning) when all ten are taken.
std::optional<std::string> lf_makeUniqueStandName(const std::string& name, std::unordered_set<std::string>& usedNames);

// Walks the subrecords of one airport record (its bytes exactly; its offset
// in the file for log lines), appending helipads and parkings as stands.
void lf_walkBglSubrecords(std::span<const std::uint8_t> record, std::uint64_t recordOffset, BglAirportStands& into);
// One helipad subrecord (its bytes exactly, at least kBglHelipadMinSize).
void lf_readBglHelipad(std::span<const std::uint8_t> subrecord, BglAirportStands& into);
// One taxiway-parking subrecord (its bytes exactly); entries that do not fit
// in it are not read.
void lf_readBglTaxiwayParkings(std::span<const std::uint8_t> subrecord, std::uint64_t subrecordOffset,
                               BglAirportStands& into);

// Reads the stands of one airport record of a known airport with weekly
// traffic and hands the airport on when it has any (the generation first
// links it instead when the archive has it).
void lf_readBglAirportSubrecords(std::span<const std::uint8_t> record, std::uint64_t recordOffset,
                                 const IcaoCode& icao, const std::filesystem::path& bglPath);

// Where an airport read from a BGL file goes: its record (code, BGL path,
// altitude, stands) and how many of its stands are helipads. Without one
// (the program) the airport generation links or writes it; tests and
// benchmarks of the reader alone take the airports here instead.
using BglAirportHandover = void (*)(Airport& airport, int helipadCount);
void gf_setBglAirportHandover(BglAirportHandover handover);

// Reads one file and hands on every airport record of a known airport with
// weekly traffic. Malformed files are logged (except files of another
// layout); an exception is logged and passed on.
void lf_processBGLfile(const std::filesystem::path& path);

// Tests: the steady clock that times slow phases (nullptr: the real one).
using BglSteadyNow = std::chrono::steady_clock::time_point (*)();
void gf_setBglSteadyClock(BglSteadyNow now);
