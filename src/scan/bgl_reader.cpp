#include "scan/bgl_reader.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>
#include <exception>
#include <fstream>
#include <string_view>
#include <system_error>
#include <utility>

#include <fmt/format.h>

#include "airports/airports_list.h"
#include "airports/weekly_traffic.h"
#include "foundation/geodesy.h"
#include "foundation/lalo.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "scan/airport_generation.h"
#include "scan/parking_names.h"
#include "scan/scan_log.h"

static_assert(std::endian::native == std::endian::little, "BGL images are read in place as little-endian words");

namespace {

std::atomic<BglAirportHandover> l_handover{nullptr};
std::atomic<BglSteadyNow> l_steadyNow{nullptr};

std::chrono::steady_clock::time_point lf_now() {
    const BglSteadyNow now = l_steadyNow.load();
    return now ? now() : std::chrono::steady_clock::now();
}

BglError lf_error(std::uint8_t code, std::uint64_t offset, std::string_view message) {
    return BglError{code, offset, std::string(message)};
}

float lf_readF32(std::span<const std::uint8_t> bytes, std::uint64_t offset) {
    return std::bit_cast<float>(lf_readBglU32(bytes, offset).value_or(0));
}

// Packed positions: longitude degrees = value * 360 / (3 * 2^28) - 180,
// latitude degrees = 90 - value * 180 / 2^29.
LaLo lf_unpackPosition(std::uint32_t packedLon, std::uint32_t packedLat) {
    return LaLo{90.0 - packedLat * 180.0 / 536870912.0, packedLon * 360.0 / 805306368.0 - 180.0};
}

// Times one file's processing (or probe) and logs it when it took a second or
// more, with the phase it was in when it ended.
class SlowPhaseGuard {
public:
    SlowPhaseGuard(const std::filesystem::path& path, const char* phase)
        : path_(path), phase_(phase), start_(lf_now()) {}
    ~SlowPhaseGuard() {
        try {
            const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(lf_now() - start_);
            if (elapsed.count() < 1000000000) return;
            std::error_code ec;
            const auto size = std::filesystem::file_size(path_, ec);
            const std::string sizeText = ec ? std::string("unknown size") : fmt::format("{} bytes", size);
            gf_logError(fmt::format("Slow BGL processing: {:.2f} s, {}, phase {}, file '{}'",
                                    static_cast<double>(elapsed.count()) / 1e9, sizeText, phase_,
                                    gf_pathToUtf8(path_)));
        } catch (...) {
        }
    }
    SlowPhaseGuard(const SlowPhaseGuard&) = delete;
    SlowPhaseGuard& operator=(const SlowPhaseGuard&) = delete;

    void phase(const char* name) { phase_ = name; }

private:
    const std::filesystem::path& path_;
    const char* phase_;
    std::chrono::steady_clock::time_point start_;
};

// Walks the records of one data block [o, o + z) holding n records.
std::optional<BglError> lf_walkRecords(std::span<const std::uint8_t> image, std::uint64_t o, std::uint64_t z,
                                       std::uint32_t n, std::vector<BglRecordRef>& refs) {
    std::uint64_t p = o;
    const std::uint64_t end = o + z;
    for (std::uint32_t k = 0; k < n; ++k) {
        if (!lf_fitsBelow(p, 6, end)) return lf_error(7, p, "Airport section record header exceeds its subsection");
        const auto id = lf_readBglU16(image, p);
        const auto size = lf_readBglU32(image, p + 2);
        if (!id || !size) return lf_error(7, p, "Cannot read airport section record header");
        if (*size < 6 || *size % 4 != 0) return lf_error(8, p, "Airport section record has an invalid size");
        if (!lf_fitsBelow(p, *size, end)) return lf_error(9, p, "Airport section record exceeds its subsection");
        refs.push_back(BglRecordRef{*id, p, *size});
        p += *size;
    }
    if (p != end) return lf_error(10, p, "Airport subsection record count does not consume its complete data block");
    return std::nullopt;
}

// Walks the subsections of one airport section whose table is at t.
std::optional<BglError> lf_walkSubsections(std::span<const std::uint8_t> image, std::uint64_t t, std::uint32_t s,
                                           std::uint32_t d, BglIntervalSet& dataBlocks,
                                           std::vector<BglRecordRef>& refs) {
    const std::uint64_t size = image.size();
    for (std::uint32_t j = 0; j < s; ++j) {
        const std::uint64_t q = t + static_cast<std::uint64_t>(j) * d;
        const auto n = lf_readBglU32(image, q + 4);
        const auto o = lf_readBglU32(image, q + 8);
        const auto z = lf_readBglU32(image, q + 12);
        if (!n || !o || !z) return lf_error(3, q, "Incomplete airport subsection descriptor");
        if (!lf_fitsBelow(*o, *z, size)) return lf_error(4, *o, "Airport subsection data exceeds the file");
        // The smallest legal record is 8 bytes.
        if (*n > *z / 8) return lf_error(6, q, "Airport subsection record count cannot fit in its data block");
        const int inserted = lf_insertInterval(dataBlocks, *o, *z);
        if (inserted == 2) return lf_error(5, *o, "Airport subsection data blocks overlap");
        if (inserted == 1) continue;  // the same block named twice is walked once
        if (auto error = lf_walkRecords(image, *o, *z, *n, refs)) return error;
    }
    return std::nullopt;
}

bool lf_isInvalidPosition(LaLo position) { return !gf_isValidLaLo(position); }

}  // namespace

std::optional<std::uint16_t> lf_readBglU16(std::span<const std::uint8_t> image, std::uint64_t offset) {
    if (offset > image.size() || image.size() - offset < 2) return std::nullopt;
    std::uint16_t value;
    std::memcpy(&value, image.data() + offset, sizeof value);
    return value;
}

std::optional<std::uint32_t> lf_readBglU32(std::span<const std::uint8_t> image, std::uint64_t offset) {
    if (offset > image.size() || image.size() - offset < 4) return std::nullopt;
    std::uint32_t value;
    std::memcpy(&value, image.data() + offset, sizeof value);
    return value;
}

int lf_insertInterval(BglIntervalSet& set, std::uint64_t start, std::uint64_t length) {
    if (length == 0) return 0;
    const std::uint64_t end = start + length;
    auto next = set.upper_bound(start);  // first range starting after `start`
    if (next != set.begin()) {
        const auto previous = std::prev(next);  // starts at or before `start`
        if (previous->first == start && previous->second == end) return 1;
        if (previous->second > start) return 2;
    }
    if (next != set.end() && next->first < end) return 2;
    set.emplace_hint(next, start, end);
    return 0;
}

BglWalkResult lf_walkBglAirportSections(std::span<const std::uint8_t> image) {
    const std::uint64_t size = image.size();
    if (size < kBglHeaderSize) return lf_error(0, 0, "BGL file is smaller than its header");
    if (lf_readBglU32(image, 4) != kBglHeaderSize) return lf_error(1, 4, "Unexpected BGL header size");
    const auto count = lf_readBglU32(image, 20);
    if (!count) return lf_error(2, 20, "Cannot read BGL section count");
    if (static_cast<std::uint64_t>(*count) * kBglSectionEntrySize > size - kBglHeaderSize)
        return lf_error(2, kBglHeaderSize, "BGL section table exceeds the file");

    std::vector<BglRecordRef> refs;
    BglIntervalSet tables;
    BglIntervalSet dataBlocks;
    for (std::uint32_t i = 0; i < *count; ++i) {
        const std::uint64_t e = kBglHeaderSize + static_cast<std::uint64_t>(i) * kBglSectionEntrySize;
        if (lf_readBglU32(image, e) != kBglAirportSectionType) continue;
        const auto flags = lf_readBglU32(image, e + 4);
        const auto s = lf_readBglU32(image, e + 8);
        const auto t = lf_readBglU32(image, e + 12);
        if (!flags || !s || !t) return lf_error(3, e, "Incomplete airport section descriptor");
        // Only the wide-descriptor bit chooses the size: 16 or 20 bytes.
        const std::uint32_t d = ((*flags & kBglWideDescriptorFlag) | 0x40000) >> 14;
        if (*t > size || static_cast<std::uint64_t>(d) * *s > size - *t)
            return lf_error(3, *t, "Airport subsection table exceeds the file");
        const int inserted = lf_insertInterval(tables, *t, static_cast<std::uint64_t>(d) * *s);
        if (inserted == 2) return lf_error(5, *t, "Airport subsection tables overlap");
        if (inserted == 1) continue;  // two sections sharing one table are walked once
        if (auto error = lf_walkSubsections(image, *t, *s, d, dataBlocks, refs)) return std::move(*error);
    }
    return refs;
}

bool lf_probeBglHeader(const std::filesystem::path& path) {
    SlowPhaseGuard guard(path, "probing header");
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    const std::streamoff end = in.tellg();
    if (end < 0) return false;
    const auto size = static_cast<std::uint64_t>(end);
    if (size < kBglHeaderSize + 1) return false;
    std::uint8_t header[24];
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(header), sizeof header)) return false;
    const std::uint32_t count = *lf_readBglU32(header, 20);
    if (count == 0 || count > (size - kBglHeaderSize) / kBglSectionEntrySize) return false;
    // Only the entries the count names, read in chunks: whatever follows the
    // table is no section entry.
    constexpr std::uint32_t kChunkEntries = 1024;
    std::vector<std::uint8_t> chunk(static_cast<std::size_t>(kChunkEntries) * kBglSectionEntrySize);
    in.seekg(kBglHeaderSize);
    for (std::uint32_t first = 0; first < count; first += kChunkEntries) {
        const std::uint32_t entries = std::min(kChunkEntries, count - first);
        const std::size_t bytes = static_cast<std::size_t>(entries) * kBglSectionEntrySize;
        if (!in.read(reinterpret_cast<char*>(chunk.data()), static_cast<std::streamsize>(bytes))) return false;
        for (std::uint32_t i = 0; i < entries; ++i)
            if (lf_readBglU32(chunk, static_cast<std::uint64_t>(i) * kBglSectionEntrySize) == kBglAirportSectionType)
                return true;
    }
    return false;
}

std::vector<std::uint32_t> lf_readFileWords(std::istream& in) {
    in.seekg(0, std::ios::end);
    const std::streamoff end = in.tellg();
    if (!in || end < 4) return {};
    // A stream that cannot be read (a folder reports the largest size there
    // is) fails on its first word, before anything is allocated for it.
    in.seekg(0);
    std::uint32_t first = 0;
    if (!in.read(reinterpret_cast<char*>(&first), 4)) return {};
    std::vector<std::uint32_t> words(static_cast<std::size_t>(end / 4));
    words[0] = first;
    if (!in.read(reinterpret_cast<char*>(words.data() + 1), static_cast<std::streamsize>((words.size() - 1) * 4)))
        return {};
    return words;
}

BglIcao lf_decodeBglIcao(std::uint32_t packed) {
    BglIcao result;
    std::uint32_t value = packed >> 5;
    do {
        const std::uint32_t digit = value % 38;
        value /= 38;
        if (digit < 2 || result.text.size() == 10) {
            result.status = BglIcaoStatus::badDigit;
            return result;
        }
        result.text += digit < 12 ? static_cast<char>('0' + (digit - 2)) : static_cast<char>('A' + (digit - 12));
    } while (value != 0);
    std::reverse(result.text.begin(), result.text.end());
    if (result.text.size() != 4) {
        result.status = BglIcaoStatus::notFour;
        return result;
    }
    if (!gf_isKnownAirport(IcaoCode(result.text))) {
        gf_appendScanLogLine(fmt::format("{} is not known", result.text));
        result.status = BglIcaoStatus::unknown;
        return result;
    }
    result.status = BglIcaoStatus::valid;
    return result;
}

std::int32_t lf_initBglAirport(std::span<const std::uint8_t> record) {
    const auto raw = lf_readBglU32(record, kBglAirportAltitudeOffset);
    if (!raw) return 0;
    // Airports below sea level have negative altitudes: the millimetres are signed.
    const auto millimetres = static_cast<std::int32_t>(*raw);
    const auto feet = static_cast<std::int32_t>(std::lround(millimetres * feetPerMetre / 1000.0));
    if (static_cast<std::uint32_t>(feet + 20) > 10020u) return 0;
    return feet;
}

std::optional<std::string> lf_makeUniqueStandName(const std::string& name, std::unordered_set<std::string>& usedNames) {
    if (usedNames.insert(name).second) return name;
    for (const char letter : std::string_view("abcdefghij")) {
        std::string candidate = name + letter;
        if (usedNames.insert(candidate).second) return candidate;
    }
    gf_appendScanLogLine(fmt::format("===> {}Warning: more than 10 duplicate IDs {}", "", name));
    return std::nullopt;
}

void lf_readBglHelipad(std::span<const std::uint8_t> subrecord, BglAirportStands& into) {
    const LaLo position =
        lf_unpackPosition(lf_readBglU32(subrecord, 12).value_or(0), lf_readBglU32(subrecord, 16).value_or(0));
    const float size = lf_readF32(subrecord, 28);
    if (lf_isInvalidPosition(position)) {
        gf_appendScanLogLine(fmt::format("lat/lon helipad incorrect (skipped): {}", position));
        return;
    }
    for (const LaLo& taken : into.helipads) {
        if (gf_isSamePlace(taken, position)) {
            gf_appendScanLogLine(fmt::format("double helipad {} (skipped) {}", into.airport.name, position));
            return;
        }
    }
    std::string name = fmt::format("helipad{}", into.helipadCounter);
    // A stand without a usable size cannot be written to an airport file.
    if (!std::isfinite(size) || !(size > 0.0f)) {
        gf_appendScanLogLine(fmt::format("{:14} size {} invalid (skipped) {}", name, size, position));
        return;
    }
    into.helipads.push_back(position);
    into.airport.stands.emplace_back(std::move(name), std::vector<StandOption>{}, position.lat, position.lon, 0.0,
                                     static_cast<double>(size) * 0.5, ParkingType::NONE, false, false, true);
    ++into.helipadCounter;
}

void lf_readBglTaxiwayParkings(std::span<const std::uint8_t> subrecord, std::uint64_t subrecordOffset,
                               BglAirportStands& into) {
    const auto count = lf_readBglU16(subrecord, 6);
    if (!count) {
        gf_log(fmt::format("   Warning: parking subrecord at byte {} has no parking count, aborting.",
                           subrecordOffset));
        return;
    }
    // Room for the entries the subrecord can hold, whatever the count says.
    const std::size_t fitting =
        std::min<std::size_t>(*count, (subrecord.size() - 8) / (kBglParkingEntryWords * 4));
    into.airport.stands.reserve(into.airport.stands.size() + fitting);
    into.usedNames.reserve(into.usedNames.size() + fitting);
    std::uint64_t at = 8;
    for (std::uint32_t i = 0; i < *count; ++i) {
        const auto word0 = lf_readBglU32(subrecord, at);
        const std::uint64_t bytes = word0 ? (kBglParkingEntryWords + (*word0 >> 24)) * 4ull : 0;
        if (!word0 || !lf_fitsBelow(at, bytes, subrecord.size())) {
            gf_log(fmt::format("   Warning: parking {} of {} at byte {} exceeds its subrecord, aborting.", i + 1,
                               *count, subrecordOffset + at));
            return;
        }
        const std::span<const std::uint8_t> entry = subrecord.subspan(at, bytes);
        at += bytes;

        const auto type = static_cast<ParkingType>((*word0 >> 8) & 0xF);
        if (type == ParkingType::NONE || type == ParkingType::VEHICLE) continue;
        const std::uint32_t number = (*word0 >> 12) & 0xFFF;
        const auto name =
            lf_makeUniqueStandName(fmt::format("{}{}", gf_parkingNamePrefix(*word0 & 0x3F), number), into.usedNames);
        if (!name) continue;
        const LaLo position = lf_unpackPosition(*lf_readBglU32(entry, 28), *lf_readBglU32(entry, 32));
        if (lf_isInvalidPosition(position)) {
            gf_appendScanLogLine(fmt::format("LatLon {} invalid (skipped)", position));
            continue;
        }
        // A stand without a usable radius or heading cannot be written to an
        // airport file, and one such stand would cost the whole airport.
        const float radius = lf_readF32(entry, 4);
        const float degrees = lf_readF32(entry, 8);
        if (!std::isfinite(radius) || !(radius > 0.0f)) {
            gf_appendScanLogLine(fmt::format("{:14} radius {} invalid (skipped) {}", *name, radius, position));
            continue;
        }
        if (!std::isfinite(degrees)) {
            gf_appendScanLogLine(fmt::format("{:14} heading {} invalid (skipped) {}", *name, degrees, position));
            continue;
        }
        const double heading = degrees == 0.0f ? fullCircle : static_cast<double>(degrees) * degreesToRadians;
        const auto code = static_cast<std::uint32_t>(type);
        const bool ramp = (code >= 1 && code <= 4) || code == 14;
        const bool cargo = code == 5 || code == 6;
        into.airport.stands.emplace_back(std::move(*name), std::vector<StandOption>{}, position.lat, position.lon, heading,
                                         static_cast<double>(radius), type, cargo, ramp, false);
    }
}

void lf_walkBglSubrecords(std::span<const std::uint8_t> record, std::uint64_t recordOffset, BglAirportStands& into) {
    const std::uint64_t end = record.size();
    std::uint64_t at = kBglAirportFirstSubrecord;
    for (int step = 0; at < end; ++step) {
        if (step == kBglMaxSubrecordSteps) {
            gf_logError("Error: Maximum loop iterations reached (1) \u2014 possible corrupt SIA or malformed input");
            return;
        }
        const std::uint64_t o3 = (recordOffset + at) / 4;  // in words, as the file addresses them
        const auto id = lf_readBglU16(record, at);
        const auto size = lf_readBglU32(record, at + 2);
        if (!id || !size || *size < 4) {
            const std::string line = fmt::format("   Warning: invalid record boundary at o3 = {}", o3);
            if (id == kBglHelipadId) {
                gf_logError(line);
            } else {
                gf_log(line);
            }
            return;
        }
        // A subrecord never reaches into the next record.
        if (!lf_fitsBelow(at, *size, end)) {
            gf_log(fmt::format("   Error: subrecord at o3 = {} with size {} exceeds its airport record ({} bytes), "
                               "aborting.",
                               o3, *size, end));
            return;
        }
        const std::span<const std::uint8_t> subrecord = record.subspan(at, *size);
        if (*id == kBglHelipadId) {
            // A helipad too short for its fields is stepped over, never read
            // from the subrecord behind it.
            if (*size < kBglHelipadMinSize) {
                gf_log(fmt::format("   Warning: helipad at o3 = {} is smaller than its fields ({} bytes), skipped.",
                                   o3, *size));
            } else {
                lf_readBglHelipad(subrecord, into);
            }
        } else if (*id == kBglTaxiwayParkingId) {
            // One parking subrecord per airport record.
            lf_readBglTaxiwayParkings(subrecord, recordOffset + at, into);
            return;
        }
        at += *size / 4 * 4;
    }
}

void gf_setBglAirportHandover(BglAirportHandover handover) { l_handover.store(handover); }

void gf_setBglSteadyClock(BglSteadyNow now) { l_steadyNow.store(now); }

void lf_readBglAirportSubrecords(std::span<const std::uint8_t> record, std::uint64_t recordOffset,
                                 const IcaoCode& icao, const std::filesystem::path& bglPath) {
    BglAirportStands stands;
    stands.airport.path = bglPath;
    stands.airport.bglPath = gf_pathToUtf8(bglPath);
    stands.airport.icao = icao;
    const BglAirportHandover handover = l_handover.load();
    // An airport the archive links, or whose manifest names no publisher it
    // may come from, needs no stands read.
    if (!handover && !lf_startBglAirport(stands.airport)) return;
    stands.airport.altitude = lf_initBglAirport(record);
    lf_walkBglSubrecords(record, recordOffset, stands);
    if (stands.airport.stands.empty()) return;
    if (handover) {
        handover(stands.airport, stands.helipadCount());
    } else {
        lf_finishBglAirport(stands.airport, stands.helipadCount());
    }
}

void lf_processBGLfile(const std::filesystem::path& path) {
    SlowPhaseGuard guard(path, "opening");
    try {
        std::ifstream in(path, std::ios::binary);
        if (!in) return;
        guard.phase("reading");
        const std::vector<std::uint32_t> words = lf_readFileWords(in);
        if (words.empty()) {
            guard.phase("empty");
            return;
        }
        guard.phase("enumerating");
        const auto image = std::as_bytes(std::span(words));
        const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(image.data()), image.size());
        BglWalkResult walked = lf_walkBglAirportSections(bytes);
        if (const BglError* error = std::get_if<BglError>(&walked)) {
            guard.phase("parse error");
            // Codes 0 and 1: not a file of this layout at all.
            if (error->code > 1)
                gf_logError(fmt::format("BGL airport section parse error at byte {} in '{}': {}", error->offset,
                                        gf_pathToUtf8(path), error->message));
            return;
        }
        guard.phase("processing records");
        for (const BglRecordRef& ref : std::get<std::vector<BglRecordRef>>(walked)) {
            if (ref.id != kBglAirportRecordId) continue;
            const auto record = bytes.subspan(ref.offset, ref.size);
            const auto packed = lf_readBglU32(record, kBglAirportIcaoOffset);
            if (!packed) {
                gf_logError(fmt::format("Airport record at byte {} is too small to contain an ICAO", ref.offset));
                continue;
            }
            const BglIcao decoded = lf_decodeBglIcao(*packed);
            if (decoded.status != BglIcaoStatus::valid) continue;
            const IcaoCode icao(decoded.text);
            if (!gf_hasWeeklyTraffic(icao)) continue;
            lf_readBglAirportSubrecords(record, ref.offset, icao, path);
        }
        guard.phase("complete");
    } catch (const std::exception& e) {
        gf_logError(
            fmt::format("Exception in lf_processBGLfile (std::ex): {} \u2014 {}", gf_pathToUtf8(path), e.what()));
        throw;
    } catch (...) {
        gf_logError(fmt::format("Exception in lf_processBGLfile: {}", gf_pathToUtf8(path)));
        throw;
    }
}
