#include "support/aircraft_cfg_builder.h"

#include <fstream>
#include <map>
#include <stdexcept>

#include "foundation/text.h"
#include "foundation/textfile.h"

namespace fs = std::filesystem;

namespace tavo::test {

namespace {

// UTF-8 character -> Windows-1252 byte, from the program's own 1252 table.
const std::map<std::string, char>& lf_ansiBytes() {
    static const std::map<std::string, char> table = [] {
        std::map<std::string, char> out;
        for (int b = 0; b < 256; ++b) out[gf_ansiToUtf8(std::string(1, static_cast<char>(b)))] = static_cast<char>(b);
        return out;
    }();
    return table;
}

std::string lf_toAnsi(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        const auto it = lf_ansiBytes().find(std::string(text.substr(i, length)));
        if (it == lf_ansiBytes().end()) throw std::invalid_argument("no Windows-1252 byte for a character");
        out += it->second;
        i += length;
    }
    return out;
}

std::string lf_toUtf16(std::string_view text, bool bigEndian) {
    std::u16string wide = u"\xFEFF";
    wide += utf8_to_wide(text);
    std::string out;
    for (const char16_t unit : wide) {
        const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
        out += bigEndian ? high : low;
        out += bigEndian ? low : high;
    }
    return out;
}

}  // namespace

std::string_view cfgEncodingName(CfgEncoding encoding) {
    switch (encoding) {
        case CfgEncoding::utf8: return "utf8";
        case CfgEncoding::utf8Bom: return "utf8Bom";
        case CfgEncoding::utf16le: return "utf16le";
        case CfgEncoding::utf16be: return "utf16be";
        case CfgEncoding::ansi: return "ansi";
    }
    return "?";
}

AircraftCfgBuilder& AircraftCfgBuilder::line(std::string text) {
    lines.push_back(std::move(text));
    return *this;
}

AircraftCfgBuilder& AircraftCfgBuilder::version() {
    return line("[VERSION]").line("major = 1").line("minor = 0").line("");
}

AircraftCfgBuilder& AircraftCfgBuilder::general(const Keys& keys) { return section("[GENERAL]", keys); }

AircraftCfgBuilder& AircraftCfgBuilder::fltsim(int number, const Keys& keys) {
    return section("[fltsim." + std::to_string(number) + "]", keys);
}

AircraftCfgBuilder& AircraftCfgBuilder::section(std::string header, const Keys& keys) {
    line(std::move(header));
    for (const auto& [key, value] : keys) line(key + "=" + value);
    return line("");
}

std::string AircraftCfgBuilder::text() const {
    std::string out;
    for (const auto& l : lines) out += l + (crlf ? "\r\n" : "\n");
    return out;
}

std::string AircraftCfgBuilder::bytes(CfgEncoding encoding) const {
    const std::string utf8 = text();
    switch (encoding) {
        case CfgEncoding::utf8: return utf8;
        case CfgEncoding::utf8Bom: return "\xEF\xBB\xBF" + utf8;
        case CfgEncoding::utf16le: return lf_toUtf16(utf8, false);
        case CfgEncoding::utf16be: return lf_toUtf16(utf8, true);
        case CfgEncoding::ansi: return lf_toAnsi(utf8);
    }
    return utf8;
}

void AircraftCfgBuilder::write(const fs::path& path, CfgEncoding encoding) const {
    if (path.has_parent_path()) fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const std::string content = bytes(encoding);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

fs::path ivaoCfgPath(const fs::path& root, std::string_view folder, std::string_view package) {
    return root / std::string(package) / "SimObjects" / "Airplanes" / ("IVAO_" + std::string(folder)) /
           "aircraft.cfg";
}

void makeTextureFolders(const fs::path& cfgPath, const std::vector<std::string>& values) {
    for (const auto& value : values)
        fs::create_directories(cfgPath.parent_path() / (value.empty() ? std::string("texture") : "texture." + value));
}

}  // namespace tavo::test
