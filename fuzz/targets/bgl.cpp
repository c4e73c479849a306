// BGL scenery files from the simulator's packages: the probe, the walk of the
// airport sections, the subrecords of every airport record and the whole
// per-file processing. The walk's result must be references inside the file
// or one error 0..10, and every stand must have a valid position and a finite
// heading and radius.
//
// Mutation knows the layout: besides bit flips, truncations and the driver's
// own kinds, it writes chosen values into the fields of the header, the
// section table, the subsection descriptors, the records and the subrecords.

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <set>
#include <stdexcept>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include <fmt/format.h>

#include "airports/airports_list.h"
#include "foundation/lalo.h"
#include "fuzz_support.h"
#include "scan/bgl_reader.h"
#include "scan/scan_log.h"
#include "support/airports_data.h"

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

namespace {

// Thrown out of the target, so the driver (or libFuzzer) reports the input.
[[noreturn]] void broken(const char* what, std::uint64_t value = 0) {
    throw std::logic_error(fmt::format("BGL reader broke a promise: {} ({})", what, value));
}

void checkStands(const Airport& airport, int helipads) {
    std::set<std::string> names;
    int heli = 0;
    for (const Stand& s : airport.stands) {
        if (!gf_isValidLaLo(LaLo{s.latitude, s.longitude})) broken("a stand without a valid position");
        if (!std::isfinite(s.heading)) broken("a stand without a finite heading");
        if (!std::isfinite(s.radius) || !(s.radius > 0.0)) broken("a stand without a usable radius");
        if (!names.insert(s.name).second) broken("two stands of one name");
        heli += s.heli ? 1 : 0;
    }
    if (helipads >= 0 && heli != helipads) broken("the helipad count differs from the helipads", heli);
}

void checkHandedAirport(Airport& airport, int helipads) {
    if (airport.stands.empty()) broken("an airport without stands was handed on");
    checkStands(airport, helipads);
}

// --- structure-aware mutation -----------------------------------------------

enum class FieldKind : std::uint8_t { u16, u32, f32 };
struct Field {
    std::uint64_t offset;
    FieldKind kind;
};

std::uint32_t readU32(std::span<const std::uint8_t> bytes, std::uint64_t offset) {
    return lf_readBglU32(bytes, offset).value_or(0);
}

// The fields of the subrecords of one airport record, as far as they lie in
// the bytes.
void subrecordFields(std::span<const std::uint8_t> bytes, std::uint64_t record, std::uint64_t end,
                     std::vector<Field>& out) {
    std::uint64_t at = record + kBglAirportFirstSubrecord;
    for (int n = 0; n < 64 && at + 6 <= end; ++n) {
        const std::uint16_t id = lf_readBglU16(bytes, at).value_or(0);
        const std::uint32_t size = readU32(bytes, at + 2);
        out.push_back({at, FieldKind::u16});
        out.push_back({at + 2, FieldKind::u32});
        if (id == kBglHelipadId) {
            for (const std::uint64_t f : {12, 16}) out.push_back({at + f, FieldKind::u32});
            out.push_back({at + 28, FieldKind::f32});
        } else if (id == kBglTaxiwayParkingId) {
            out.push_back({at + 6, FieldKind::u16});
            std::uint64_t entry = at + 8;
            for (int k = 0; k < 16 && entry + 56 <= end; ++k) {
                out.push_back({entry, FieldKind::u32});
                out.push_back({entry + 4, FieldKind::f32});
                out.push_back({entry + 8, FieldKind::f32});
                out.push_back({entry + 28, FieldKind::u32});
                out.push_back({entry + 32, FieldKind::u32});
                entry += (14 + (readU32(bytes, entry) >> 24)) * 4ull;
            }
        }
        if (size < 4) break;
        at += size / 4 * 4;
    }
}

// Every field of the layout that lies inside the bytes, found leniently.
std::vector<Field> fieldsOf(std::span<const std::uint8_t> bytes) {
    std::vector<Field> out;
    const std::uint64_t size = bytes.size();
    for (const std::uint64_t f : {0, 4, 20}) out.push_back({f, FieldKind::u32});
    const std::uint32_t count = std::min<std::uint32_t>(readU32(bytes, 20), 32);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t e = 56 + 20ull * i;
        if (e + 20 > size) break;
        for (const std::uint64_t f : {0, 4, 8, 12, 16}) out.push_back({e + f, FieldKind::u32});
        if (readU32(bytes, e) != kBglAirportSectionType) continue;
        const std::uint32_t d = (readU32(bytes, e + 4) & kBglWideDescriptorFlag) ? 20 : 16;
        const std::uint32_t s = std::min<std::uint32_t>(readU32(bytes, e + 8), 32);
        const std::uint64_t t = readU32(bytes, e + 12);
        for (std::uint32_t j = 0; j < s; ++j) {
            const std::uint64_t q = t + static_cast<std::uint64_t>(j) * d;
            if (q + 16 > size) break;
            for (const std::uint64_t f : {4, 8, 12}) out.push_back({q + f, FieldKind::u32});
            const std::uint64_t o = readU32(bytes, q + 8);
            const std::uint64_t end = std::min<std::uint64_t>(o + readU32(bytes, q + 12), size);
            std::uint64_t p = o;
            for (int k = 0; k < 256 && p + 6 <= end; ++k) {
                out.push_back({p, FieldKind::u16});
                out.push_back({p + 2, FieldKind::u32});
                const std::uint32_t recordSize = readU32(bytes, p + 2);
                if (lf_readBglU16(bytes, p) == kBglAirportRecordId) {
                    out.push_back({p + kBglAirportAltitudeOffset, FieldKind::u32});
                    out.push_back({p + kBglAirportIcaoOffset, FieldKind::u32});
                    subrecordFields(bytes, p, std::min<std::uint64_t>(p + recordSize, end), out);
                }
                if (recordSize < 6) break;
                p += recordSize;
            }
        }
    }
    std::erase_if(out, [&](const Field& f) { return f.offset + (f.kind == FieldKind::u16 ? 2 : 4) > size; });
    return out;
}

// splitmix64, seeded by the mutator's seed.
struct Rng {
    std::uint64_t state;
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint64_t below(std::uint64_t n) { return n == 0 ? 0 : next() % n; }
};

std::uint32_t integerValue(Rng& rng, std::uint32_t old, std::uint64_t size) {
    const std::uint32_t fileSize = static_cast<std::uint32_t>(size);
    switch (rng.below(12)) {
        case 0: return 0;
        case 1: return static_cast<std::uint32_t>(rng.below(16));
        case 2: return 0xFFFFFFFFu - static_cast<std::uint32_t>(rng.below(8));
        case 3: return 0x80000000u;
        case 4: return 0x7FFFFFFFu;
        case 5: return fileSize - static_cast<std::uint32_t>(rng.below(9)) + 4;
        case 6: return old + static_cast<std::uint32_t>(rng.below(17)) - 8;
        case 7: return old * 2;
        case 8: return old ^ (1u << rng.below(32));
        case 9: return static_cast<std::uint32_t>(rng.below(size + 1));
        case 10: return 0x10000u | static_cast<std::uint32_t>(rng.below(4));
        default: return static_cast<std::uint32_t>(rng.next());
    }
}

float floatValue(Rng& rng, float old) {
    switch (rng.below(10)) {
        case 0: return std::numeric_limits<float>::quiet_NaN();
        case 1: return std::numeric_limits<float>::infinity();
        case 2: return -std::numeric_limits<float>::infinity();
        case 3: return 0.0f;
        case 4: return -old;
        case 5: return std::numeric_limits<float>::denorm_min();
        case 6: return std::numeric_limits<float>::max();
        case 7: return old * 1e30f;
        case 8: return static_cast<float>(rng.below(720)) - 360.0f;
        default: return std::bit_cast<float>(static_cast<std::uint32_t>(rng.next()));
    }
}

void writeField(std::uint8_t* data, std::size_t size, const Field& f, Rng& rng) {
    const std::span<const std::uint8_t> bytes(data, size);
    if (f.kind == FieldKind::u16) {
        const std::uint16_t value = static_cast<std::uint16_t>(integerValue(rng, lf_readBglU16(bytes, f.offset).value_or(0), size));
        std::memcpy(data + f.offset, &value, 2);
    } else if (f.kind == FieldKind::u32) {
        const std::uint32_t value = integerValue(rng, readU32(bytes, f.offset), size);
        std::memcpy(data + f.offset, &value, 4);
    } else {
        const float value = floatValue(rng, std::bit_cast<float>(readU32(bytes, f.offset)));
        std::memcpy(data + f.offset, &value, 4);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The airports the seeds name, as the airports list the reader checks codes against.
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(tavo::fuzz::scratchFolder());
    tavo::test::writeAirportsEnc(".", {tavo::test::airportEntry("EGLL", 51.47, -0.46, 83),
                                       tavo::test::airportEntry("KJFK", 40.64, -73.78, 13),
                                       tavo::test::airportEntry("EHAM", 52.31, 4.76, -11),
                                       tavo::test::airportEntry("LOWI", 47.26, 11.34, 1906)});
    const bool loaded = std::holds_alternative<std::size_t>(gf_loadAirports());
    std::filesystem::current_path(previous);
    if (!loaded) broken("the airports list of the BGL target did not load");
    gf_setBglAirportHandover(&checkHandedAirport);
    return 0;
}

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size, std::size_t maxSize,
                                               unsigned int seed) {
    Rng rng{seed};
    switch (rng.below(8)) {
        case 0:  // flip bits
            for (std::uint64_t n = 1 + rng.below(4); n > 0 && size > 0; --n)
                data[rng.below(size)] ^= static_cast<std::uint8_t>(1u << rng.below(8));
            return size;
        case 1:  // cut the end off, often at a word boundary
            if (size == 0) return 0;
            return rng.below(2) == 0 ? rng.below(size) : rng.below(size) / 4 * 4;
        case 2:
        case 3:
            return LLVMFuzzerMutate(data, size, maxSize);
        default: {  // chosen values in fields of the layout
            const std::vector<Field> fields = fieldsOf({data, size});
            if (fields.empty()) return LLVMFuzzerMutate(data, size, maxSize);
            for (std::uint64_t n = 1 + rng.below(3); n > 0; --n) writeField(data, size, fields[rng.below(fields.size())], rng);
            return size;
        }
    }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const BglWalkResult walked = lf_walkBglAirportSections(bytes);
    if (const auto* error = std::get_if<BglError>(&walked)) {
        if (error->code > 10) broken("an error code above 10", error->code);
        if (error->message.empty()) broken("an error without its message", error->code);
    } else {
        for (const BglRecordRef& ref : std::get<std::vector<BglRecordRef>>(walked)) {
            if (!lf_fitsBelow(ref.offset, ref.size, size)) broken("a record outside the file", ref.offset);
            if (ref.size < 8 || ref.size % 4 != 0) broken("a record of an invalid size", ref.size);
            if (ref.id != kBglAirportRecordId) continue;
            // Every airport record's subrecords, whatever its code says, from
            // a copy of exactly the record: a read outside it is caught.
            const auto record = std::make_unique<std::uint8_t[]>(ref.size);
            std::memcpy(record.get(), data + ref.offset, ref.size);
            BglAirportStands stands;
            lf_walkBglSubrecords({record.get(), ref.size}, ref.offset, stands);
            checkStands(stands.airport, stands.helipadCount());
        }
    }
    const auto path = tavo::fuzz::writeScratchFile("scenery.bgl", data, size);
    lf_probeBglHeader(path);
    lf_processBGLfile(path);
    g_airportScanLog.clear();
    tavo::fuzz::settle();
    return 0;
}
