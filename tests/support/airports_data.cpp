#include "support/airports_data.h"

#include <fmt/format.h>

#include "foundation/files.h"
#include "support/xml_text.h"

namespace tavo::test {

namespace {

// The document around the elements, with the fault asked for.
std::string lf_document(std::string_view section, const std::string& elements, DataFileFault fault) {
    const std::string_view rootName = fault == DataFileFault::noRoot ? "base" : "root";
    const std::string_view sectionName = fault == DataFileFault::noSection ? "other" : section;
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += fmt::format("<{}>\n  <{}>\n{}  </{}>\n", rootName, sectionName, elements, sectionName);
    // A malformed file loses its closing root tag.
    if (fault != DataFileFault::malformed) out += fmt::format("</{}>\n", rootName);
    return out;
}

void lf_writeInputFile(const std::filesystem::path& folder, const std::filesystem::path& file,
                       const std::string& plaintext, const EncWriterOptions& options) {
    const std::filesystem::path path = folder / file;
    std::filesystem::create_directories(path.parent_path());
    writeEncryptedFile(path, plaintext, options);
}

}  // namespace

AirportDataEntry airportEntry(std::string_view icao, double lat, double lon, std::int32_t altitudeFt,
                              std::string_view iata) {
    AirportDataEntry entry;
    entry.c = std::string(icao);
    if (!iata.empty()) entry.i = std::string(iata);
    entry.la = fmt::format("{:.6f}", lat);
    entry.lo = fmt::format("{:.6f}", lon);
    entry.a = fmt::format("{}", altitudeFt);
    return entry;
}

std::string airportsXml(const std::vector<AirportDataEntry>& entries, DataFileFault fault) {
    std::string elements;
    elements.reserve(entries.size() * 72);
    for (const AirportDataEntry& entry : entries) {
        elements += "    <ap";
        appendXmlAttribute(elements, "c", entry.c);
        appendXmlAttribute(elements, "i", entry.i);
        appendXmlAttribute(elements, "la", entry.la);
        appendXmlAttribute(elements, "lo", entry.lo);
        appendXmlAttribute(elements, "a", entry.a);
        elements += "/>\n";
    }
    return lf_document("airports", elements, fault);
}

void writeAirportsEnc(const std::filesystem::path& folder, const std::vector<AirportDataEntry>& entries,
                      DataFileFault fault, const EncWriterOptions& options) {
    lf_writeInputFile(folder, airportsEncFile, airportsXml(entries, fault), options);
}

std::string profileIcao(std::size_t n) {
    // 7919 is prime to 26^4, so the codes are distinct and far from sorted.
    std::size_t index = (n * 7919) % (26 * 26 * 26 * 26);
    std::string code(4, 'A');
    for (int k = 3; k >= 0; --k) {
        code[static_cast<std::size_t>(k)] = static_cast<char>('A' + index % 26);
        index /= 26;
    }
    return code;
}

std::vector<AirportDataEntry> airportsProfile(std::size_t count) {
    std::vector<AirportDataEntry> entries;
    entries.reserve(count);
    for (std::size_t n = 0; n < count; ++n) {
        const double lat = -60.0 + static_cast<double>((n * 104729) % 13000) / 100.0;
        const double lon = -179.5 + static_cast<double>((n * 7907) % 35900) / 100.0;
        const auto altitude = static_cast<std::int32_t>((n * 37) % 9000) - 100;
        std::string iata;
        if (n % 3 != 2) iata = profileIcao(n * 31 + 5).substr(1);
        entries.push_back(airportEntry(profileIcao(n), lat, lon, altitude, iata));
    }
    return entries;
}

std::string wktrafficXml(const std::vector<std::optional<std::string>>& codeLists, DataFileFault fault) {
    std::string elements;
    for (const auto& codes : codeLists) {
        elements += "    <arp";
        appendXmlAttribute(elements, "c", codes);
        elements += "/>\n";
    }
    return lf_document("traffic_airports", elements, fault);
}

void writeWktrafficEnc(const std::filesystem::path& folder, const std::vector<std::optional<std::string>>& codeLists,
                       DataFileFault fault, const EncWriterOptions& options) {
    lf_writeInputFile(folder, wktrafficEncFile, wktrafficXml(codeLists, fault), options);
}

}  // namespace tavo::test
