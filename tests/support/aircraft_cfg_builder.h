#pragma once
// aircraft.cfg files as AI packages ship them: [VERSION], [GENERAL] and
// [fltsim.N] sections from key/value lines (any order and case, duplicates,
// comments, malformed headers), CRLF or LF, in UTF-8 with or without a BOM,
// UTF-16 LE/BE with a BOM or Windows-1252; and the folder layout of IVAO
// packages with their texture folders.

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavo::test {

enum class CfgEncoding { utf8, utf8Bom, utf16le, utf16be, ansi };

// All five, for tests that write one file in each.
inline constexpr CfgEncoding allCfgEncodings[] = {CfgEncoding::utf8, CfgEncoding::utf8Bom, CfgEncoding::utf16le,
                                                  CfgEncoding::utf16be, CfgEncoding::ansi};
std::string_view cfgEncodingName(CfgEncoding encoding);

struct AircraftCfgBuilder {
    using Keys = std::vector<std::pair<std::string, std::string>>;

    // The file's lines in UTF-8, without line ends.
    std::vector<std::string> lines;
    bool crlf = true;

    // One line as it stands (comments, malformed headers, stray text).
    AircraftCfgBuilder& line(std::string text);
    // "[VERSION]" with major and minor.
    AircraftCfgBuilder& version();
    // "[GENERAL]" with its keys ("icao_type_designator", "base_container", ...).
    AircraftCfgBuilder& general(const Keys& keys);
    // The header "[fltsim.<number>]" and "key=value" lines in the given order.
    AircraftCfgBuilder& fltsim(int number, const Keys& keys);
    // The same with a header written as given ("[FLTSIM.3]", "[fltsim.x]").
    AircraftCfgBuilder& section(std::string header, const Keys& keys);

    // The text in UTF-8 with the chosen line ends.
    std::string text() const;
    // The file's bytes in an encoding. Windows-1252 takes only characters it
    // has (std::invalid_argument otherwise).
    std::string bytes(CfgEncoding encoding) const;
    // Writes bytes(encoding) to the path (folders made).
    void write(const std::filesystem::path& path, CfgEncoding encoding = CfgEncoding::utf8) const;
};

// <root>/IVAO_MTL/SimObjects/Airplanes/IVAO_<folder>/aircraft.cfg (with
// "ivao_x-csl" in place of IVAO_MTL when asked).
std::filesystem::path ivaoCfgPath(const std::filesystem::path& root, std::string_view folder,
                                  std::string_view package = "IVAO_MTL");
// Makes "texture.<value>" folders (or "texture" for an empty value) beside
// the aircraft.cfg.
void makeTextureFolders(const std::filesystem::path& cfgPath, const std::vector<std::string>& values);

}  // namespace tavo::test
