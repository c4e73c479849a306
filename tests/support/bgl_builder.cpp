#include "support/bgl_builder.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace tavo::test {

namespace {

void appendU16(BglBytes& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void appendU32(BglBytes& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void setU32(BglBytes& out, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void setU16(BglBytes& out, std::size_t offset, std::uint16_t value) {
    out[offset] = static_cast<std::uint8_t>(value);
    out[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

std::uint32_t fieldOr(std::int64_t field, std::uint64_t fallback) {
    return static_cast<std::uint32_t>(field < 0 ? fallback : static_cast<std::uint64_t>(field));
}

}  // namespace

std::uint32_t bglPackIcao(std::string_view text) {
    std::uint32_t value = 0;
    for (const char c : text) {
        std::uint32_t digit = 0;
        if (c >= '0' && c <= '9') digit = 2 + static_cast<std::uint32_t>(c - '0');
        else if (c >= 'A' && c <= 'Z') digit = 12 + static_cast<std::uint32_t>(c - 'A');
        else throw std::invalid_argument("BGL ICAO texts hold digits and capital letters only");
        value = value * 38 + digit;
    }
    return value << 5;
}

std::uint32_t bglPackLongitude(double degrees) {
    return static_cast<std::uint32_t>(std::llround((degrees + 180.0) * 805306368.0 / 360.0));
}

std::uint32_t bglPackLatitude(double degrees) {
    return static_cast<std::uint32_t>(std::llround((90.0 - degrees) * 536870912.0 / 180.0));
}

BglBytes bglPlainRecord(std::uint16_t id, std::uint32_t bytes, std::int64_t sizeField) {
    if (bytes < 6) throw std::invalid_argument("a record holds at least its 6-byte header");
    BglBytes out;
    appendU16(out, id);
    appendU32(out, fieldOr(sizeField, bytes));
    out.resize(bytes, 0);
    return out;
}

BglBytes bglHelipad(const BglHelipad& helipad) {
    // Laid out at full size, then cut to the chosen length.
    const std::int64_t sizeField = helipad.sizeField < 0 ? helipad.bytes : helipad.sizeField;
    BglBytes out = bglPlainRecord(0x26, std::max<std::uint32_t>(helipad.bytes, 32), sizeField);
    setU32(out, 12, bglPackLongitude(helipad.lon));
    setU32(out, 16, bglPackLatitude(helipad.lat));
    setU32(out, 28, std::bit_cast<std::uint32_t>(helipad.sizeMetres));
    out.resize(helipad.bytes);
    return out;
}

BglBytes bglParkings(const std::vector<BglParking>& parkings, std::int64_t countField, std::int64_t sizeField) {
    BglBytes out;
    appendU16(out, 0xE7);
    appendU32(out, 0);
    appendU16(out, static_cast<std::uint16_t>(fieldOr(countField, parkings.size())));
    for (const BglParking& p : parkings) {
        const auto n = static_cast<std::uint32_t>(p.airlineCodes.size());
        appendU32(out, (p.nameIndex & 0x3F) | ((p.type & 0xF) << 8) | ((p.number & 0xFFF) << 12) | (n << 24));
        appendU32(out, std::bit_cast<std::uint32_t>(p.radiusMetres));
        appendU32(out, std::bit_cast<std::uint32_t>(p.headingDegrees));
        for (int word = 3; word < 7; ++word) appendU32(out, 0);
        appendU32(out, bglPackLongitude(p.lon));
        appendU32(out, bglPackLatitude(p.lat));
        for (int word = 9; word < 14; ++word) appendU32(out, 0);
        for (const std::uint32_t code : p.airlineCodes) appendU32(out, code);
    }
    setU32(out, 2, fieldOr(sizeField, out.size()));
    return out;
}

BglBytes bglAirportRecord(const BglAirport& airport) {
    BglBytes out;
    appendU16(out, 0x56);
    appendU32(out, 0);
    out.resize(68, 0);
    setU32(out, 20, static_cast<std::uint32_t>(airport.altitudeMm));
    setU32(out, 40, airport.packedIcao < 0 ? bglPackIcao(airport.icao) : static_cast<std::uint32_t>(airport.packedIcao));
    for (const BglBytes& sub : airport.subrecords) out.insert(out.end(), sub.begin(), sub.end());
    if (airport.recordBytes >= 0) out.resize(static_cast<std::size_t>(airport.recordBytes), 0);
    if (out.size() >= 6) setU32(out, 2, static_cast<std::uint32_t>(out.size()));
    return out;
}

void BglFile::putU16(std::uint64_t offset, std::uint16_t value) { setU16(bytes, offset, value); }
void BglFile::putU32(std::uint64_t offset, std::uint32_t value) { setU32(bytes, offset, value); }
std::uint32_t BglFile::u32(std::uint64_t offset) const {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | bytes[offset + i];
    return value;
}

BglFile bglBuild(const std::vector<BglSection>& sections) {
    BglFile file;
    file.bytes = BglBytes(56, 0);
    BglBytes& out = file.bytes;
    setU32(out, 0, 0x19920201);
    setU32(out, 4, 56);
    setU32(out, 20, static_cast<std::uint32_t>(sections.size()));
    for (std::size_t i = 0; i < sections.size(); ++i) {
        file.sectionEntries.push_back(out.size());
        appendU32(out, sections[i].type);
        appendU32(out, sections[i].flags);
        appendU32(out, static_cast<std::uint32_t>(sections[i].subsections.size()));
        appendU32(out, 0);  // table offset, set below
        appendU32(out, 0);  // total size, set below
    }
    // Subsection tables, then data blocks; descriptors are filled once the
    // data offsets are known.
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const std::uint32_t d = (sections[i].flags & 0x10000) ? 20 : 16;
        file.subsectionTables.push_back(out.size());
        setU32(out, file.sectionEntries[i] + 12, static_cast<std::uint32_t>(out.size()));
        for (std::size_t j = 0; j < sections[i].subsections.size(); ++j) {
            file.descriptors.push_back(out.size());
            out.resize(out.size() + d, 0);
        }
    }
    std::size_t descriptor = 0;
    for (std::size_t i = 0; i < sections.size(); ++i) {
        std::uint64_t sectionBytes = 0;
        for (std::size_t j = 0; j < sections[i].subsections.size(); ++j, ++descriptor) {
            const BglSubsection& sub = sections[i].subsections[j];
            const std::uint64_t q = file.descriptors[descriptor];
            const std::uint64_t start = out.size();
            file.dataBlocks.push_back(start);
            for (const BglBytes& record : sub.records) {
                file.records.push_back(out.size());
                out.insert(out.end(), record.begin(), record.end());
            }
            const std::uint64_t size = out.size() - start;
            sectionBytes += size;
            setU32(out, q, 0x00030000 + static_cast<std::uint32_t>(j));
            setU32(out, q + 4, fieldOr(sub.recordCount, sub.records.size()));
            setU32(out, q + 8, static_cast<std::uint32_t>(start));
            setU32(out, q + 12, static_cast<std::uint32_t>(size));
        }
        setU32(out, file.sectionEntries[i] + 16, static_cast<std::uint32_t>(sectionBytes));
    }
    return file;
}

BglFile bglFileOf(const std::vector<BglAirport>& airports) {
    BglSubsection sub;
    for (const BglAirport& a : airports) sub.records.push_back(bglAirportRecord(a));
    return bglBuild({BglSection{3, 0, {sub}}});
}

BglCorruption bglCorruption(int code) {
    const BglAirport plain{"EGLL", -1, 25000, {bglHelipad({51.47, -0.45, 20.0f})}, -1};
    BglCorruption c;
    c.code = code;
    c.file = bglFileOf({plain});
    BglFile& f = c.file;
    switch (code) {
        case 0:
            f.bytes.resize(52);
            c.offset = 0;
            c.message = "BGL file is smaller than its header";
            break;
        case 1:
            f.putU32(4, 60);
            c.offset = 4;
            c.message = "Unexpected BGL header size";
            break;
        case 2:
            f.putU32(20, static_cast<std::uint32_t>((f.bytes.size() - 56) / 20 + 1));
            c.offset = 56;
            c.message = "BGL section table exceeds the file";
            break;
        case 3:
            f.putU32(f.sectionEntries[0] + 12, static_cast<std::uint32_t>(f.bytes.size() - 8));
            c.offset = f.bytes.size() - 8;
            c.message = "Airport subsection table exceeds the file";
            break;
        case 4:
            f.putU32(f.descriptors[0] + 8, static_cast<std::uint32_t>(f.bytes.size() + 4));
            c.offset = f.bytes.size() + 4;
            c.message = "Airport subsection data exceeds the file";
            break;
        case 5: {
            // A second airport section whose table starts inside the first one's.
            BglSubsection sub{{bglAirportRecord(plain)}, -1};
            f = bglBuild({BglSection{3, 0, {sub, sub}}, BglSection{3, 0, {sub}}});
            f.putU32(f.sectionEntries[1] + 12, static_cast<std::uint32_t>(f.subsectionTables[0] + 16));
            c.offset = f.subsectionTables[0] + 16;
            c.message = "Airport subsection tables overlap";
            break;
        }
        case 6:
            f.putU32(f.descriptors[0] + 4, f.u32(f.descriptors[0] + 12) / 8 + 1);
            c.offset = f.descriptors[0];
            c.message = "Airport subsection record count cannot fit in its data block";
            break;
        case 7: {
            // Two records counted, the first leaves 4 bytes: no room for a header.
            BglSubsection sub{{bglPlainRecord(0x11, 12), bglPlainRecord(0x11, 4 + 2, 4)}, 2};
            sub.records[1].resize(4);
            f = bglBuild({BglSection{3, 0, {sub}}});
            c.offset = f.dataBlocks[0] + 12;
            c.message = "Airport section record header exceeds its subsection";
            break;
        }
        case 8:
            f.putU32(f.records[0] + 2, 10);
            c.offset = f.records[0];
            c.message = "Airport section record has an invalid size";
            break;
        case 9:
            f.putU32(f.records[0] + 2, f.u32(f.records[0] + 2) + 4);
            c.offset = f.records[0];
            c.message = "Airport section record exceeds its subsection";
            break;
        case 10:
            f.putU32(f.descriptors[0] + 4, 0);
            c.offset = f.dataBlocks[0];
            c.message = "Airport subsection record count does not consume its complete data block";
            break;
        default:
            throw std::invalid_argument("BGL error codes are 0..10");
    }
    return c;
}

void writeBglFile(const std::filesystem::path& path, const BglBytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace tavo::test
