#include "liveries/aircraft_cfg.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <exception>
#include <optional>
#include <system_error>
#include <unordered_map>

#include <fmt/format.h>

#include "foundation/hash.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/textfile.h"
#include "liveries/cfg_match.h"
#include "liveries/code_tables.h"
#include "liveries/dbase.h"
#include "liveries/scan_report.h"
#include "platform/os/nocase_lookup.h"

namespace fs = std::filesystem;

namespace {

// The stock aircraft of the simulator: folder name -> model code.
const std::unordered_map<std::string, std::string, Fnv1aTextHash, std::equal_to<>> baseContainerTypes = {
    {"Asobo_FlightDesignCT", "FDCT"},
    {"Asobo_DA40_NG", "DA40"},
    {"Asobo_Longitude", "C700"},
    {"Asobo_Cap10C", "CP10"},
    {"Asobo_VL3", "VL3"},
    {"Asobo_CJ4", "C25C"},
    {"Asobo_Savage_Cub", "SAVG"},
    {"Asobo_C152", "C152"},
    {"Asobo_Savage_ShockUltra", "SAVG"},
    {"Asobo_C152_Aerobat", "C152"},
    {"Asobo_XCub", "CC19"},
    {"Asobo_C172sp_AS1000", "C172"},
    {"Asobo_Pitts", "PTS2"},
    {"Asobo_C172sp_classic", "C172"},
    {"Asobo_SR22", "SR22"},
    {"Asobo_Bonanza_G36", "BE36"},
    {"Asobo_Icon", "A5"},
    {"Asobo_Baron_G58", "B58T"},
    {"Asobo_TBM930", "TBM9"},
    {"Asobo_B747_8i", "B748"},
    {"Asobo_KingAir350", "B350"},
    {"Asobo_B787_10", "B78X"},
    {"Asobo_E330", "E300"},
    {"Asobo_208B_GRAND_CARAVAN_EX", "C208"},
    {"Asobo_DV20", "DV20"},
    {"Asobo_A320_NEO", "A20N"},
    {"Asobo_DR400", "DR40"},
    {"FlyByWire_A320_NEO", "A20N"},
    {"Asobo_DA62", "DA62"},
    {"Asobo_DA40_TDI", "DA40"},
};

constexpr std::string_view maxSectionText = "10000";
constexpr std::uint32_t maxSectionNumber = 10000;

// The five IVAO folders whose titles put a "W" after the model code.
constexpr std::string_view ivaoWingletFolders[] = {"IVAO_B738WLfa", "IVAO_B739WLfa", "IVAO_A320wCFM",
                                                  "IVAO_A320wIAE", "IVAO_A319fIAEw"};

unsigned char lf_fold(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u + 32) : u;
}

// Whether the line holds the word (ASCII letters without case).
bool lf_containsNoCase(std::string_view line, std::string_view word) {
    if (line.size() < word.size()) return false;
    const auto it = std::search(line.begin(), line.end(), word.begin(), word.end(),
                                [](char a, char b) { return lf_fold(a) == lf_fold(b); });
    return it != line.end();
}

bool lf_contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

// The cheap test, then the match, then the quotes: the unquoted value, or
// none when the line is no line of the key.
std::optional<std::string> lf_readKey(std::string_view line, std::string_view key) {
    if (!lf_containsNoCase(line, key)) return std::nullopt;
    const std::string value = lf_matchCfgLine(line, key);
    if (value.empty()) return std::nullopt;
    return gf_unquote(value);
}

bool lf_readNonEmpty(std::string_view line, std::string_view key, std::string& value) {
    auto read = lf_readKey(line, key);
    if (!read || read->empty()) return false;
    value = std::move(*read);
    return true;
}

// A model code found in a file, checked against the database: known, fixed
// (reported in the fixes list) or unknown (reported, kept).
std::string lf_checkModelCode(const std::string& code, const fs::path& file) {
    if (gf_isKnownModelCode(code)) return code;
    if (const auto fix = gf_findTypeFix(code)) {
        scanFixes.push_back(fmt::format("Model fix: {} found in {} changed into {}", code, gf_pathToUtf8(file), *fix));
        return std::string(*fix);
    }
    lf_addModelFixMessage(code, file);
    return code;
}

// A registration holds at least one ASCII letter or digit: a value of blanks
// and invisible marks (real liveries carry them) is no registration.
bool lf_holdsLetterOrDigit(std::string_view piece) {
    return std::any_of(piece.begin(), piece.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    });
}

// The registration of an atc_id value (both variants): one valid piece gives
// it, several give none; an invalid value is reported and gives none.
std::string lf_registrationFromAtcId(const std::string& value, const std::string& title, bool ivao) {
    const std::vector<std::string> pieces = gf_split(value, ',');
    bool valid = !pieces.empty();
    for (const auto& piece : pieces)
        if (piece.size() > 12 || lf_contains(piece, "*") || !lf_holdsLetterOrDigit(piece)) valid = false;
    if (!valid) {
        scanIncompleteSections.push_back(ivao ? fmt::format("invalid atc_id={} in {}", value, title)
                                              : fmt::format("invalid atc_id={} in: {}", value, title));
        return {};
    }
    return pieces.size() == 1 ? pieces.front() : std::string();
}

// The key of a registration the database knows (airline index not 0).
std::optional<AcKey> lf_databaseKey(std::string_view registration) {
    if (registration.empty()) return std::nullopt;
    auto key = gf_findRegistration(registration);
    if (!key || key->airline == 0) return std::nullopt;
    key->flag = 0;  // a scanned record never carries the flag
    return key;
}

// A section loop shared by both variants: `closesSection` tells the lines
// other than fltsim headers that end the current section.
template <typename ClosesSection, typename Process>
void lf_forEachSection(const std::vector<std::string>& lines, ClosesSection closesSection, Process process) {
    std::vector<std::string> section;
    section.reserve(48);
    bool inSection = false;
    auto flush = [&] {
        if (!section.empty()) process(section);
        section.clear();
    };
    for (const auto& line : lines) {
        if (!lf_getFltSimNumber(line).empty()) {
            flush();
            inSection = true;
            section.push_back(line);
        } else if (closesSection(line)) {
            flush();
            inSection = false;
        } else if (inSection) {
            section.push_back(line);
        }
    }
    if (inSection) flush();
}

// Reads a file's lines in its own encoding; false (logged) when it cannot.
bool lf_readCfgLines(const fs::path& file, std::vector<std::string>& lines, bool errorLine) {
    const Charset charset = gf_detectCharset(file);
    if (charset == Charset::noneFound) {
        const std::string text = fmt::format("! No text encoding detected for {}", gf_pathToUtf8(file));
        if (errorLine)
            gf_logError(text);
        else
            gf_log(text);
        return false;
    }
    lines.reserve(4096);
    if (!gf_readTextFileLines(charset, file, lines)) {
        gf_log(fmt::format("! Failed reading {}", gf_pathToUtf8(file)));
        return false;
    }
    return true;
}

}  // namespace

std::string lf_matchCfgLine(std::string_view line, std::string_view key) {
    const auto value = gf_matchCfgKeyLine(line, key);
    return value ? std::string(*value) : std::string();
}

bool lf_getCfgTitle(std::string_view line, std::string& value) { return lf_readNonEmpty(line, "title", value); }

bool lf_getCfgTexture(std::string_view line, std::string& value) { return lf_readNonEmpty(line, "texture", value); }

bool lf_getCfgAtcId(std::string_view line, std::string& value) {
    auto read = lf_readKey(line, "atc_id");
    if (!read || read->size() < 5) return false;
    value = std::move(*read);
    return true;
}

bool lf_getCfgIcaoAirline(std::string_view line, std::string& value) {
    auto read = lf_readKey(line, "icao_airline");
    if (!read) return false;
    value = (read->empty() || *read == "ZZZZ") ? std::string("ZZZ") : gf_toUpperAscii(*read);
    return true;
}

bool lf_getCfgAtcParkingTypes(std::string_view line, std::string& value) {
    return lf_readNonEmpty(line, "atc_parking_types", value);
}

std::string lf_getCfgIcaoTypeDesignator(std::string_view line) {
    auto read = lf_readKey(line, "icao_type_designator");
    if (!read) return {};
    if (read->size() >= 5) read->resize(4);
    return gf_toUpperAscii(*read);
}

std::string lf_getCfgBaseContainer(std::string_view line) {
    const auto read = lf_readKey(line, "base_container");
    if (!read || read->size() < 4) return {};
    const auto it = baseContainerTypes.find(std::string_view(*read).substr(3));
    if (it == baseContainerTypes.end()) return {};
    return gf_toUpperAscii(it->second);
}

std::string lf_getFltSimNumber(std::string_view line) {
    if (line.starts_with(';') || line.starts_with("//")) return {};
    if (!lf_containsNoCase(line, "[fltsim.")) return {};
    if (const auto digits = gf_matchFltSimHeader(line)) return std::string(*digits);
    // A negative section number is a header too: the check refuses it. Read
    // as a malformed header it would pass as section 10000.
    if (const auto negative = gf_matchNegativeFltSimHeader(line)) return std::string(*negative);
    return std::string(maxSectionText);
}

bool lf_isAtcIdLine(std::string_view line) { return lf_containsNoCase(line, "atc_id="); }
bool lf_hasIcaoAirlineKey(std::string_view line) { return lf_containsNoCase(line, "icao_airline"); }
bool lf_hasAtcParkingTypesKey(std::string_view line) { return lf_containsNoCase(line, "atc_parking_types"); }

bool lf_collectFltSimSections(const std::vector<std::string>& lines, const fs::path& file) {
    std::vector<std::int32_t> numbers;
    for (const auto& line : lines) {
        const std::string text = lf_getFltSimNumber(line);
        if (text.empty()) continue;
        std::int32_t number = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
        if (ec != std::errc() || end == text.data()) {
            gf_logError(fmt::format("fltsim num {} incorrect", line));
            return false;
        }
        numbers.push_back(number);
    }
    if (numbers.empty()) {
        scanNoSectionFiles.push_back(gf_pathToUtf8(file));
        return true;
    }
    std::sort(numbers.begin(), numbers.end());
    for (const std::int32_t number : numbers) {
        if (static_cast<std::uint32_t>(number) > maxSectionNumber) {
            scanInvalidCfgFiles.push_back(gf_pathToUtf8(file) +
                                          " contains a [fltsim.x] section with a number < 0 or > " +
                                          std::string(maxSectionText));
            return false;
        }
    }
    return true;
}

std::string lf_fixModelCode(const fs::path& file, const std::vector<std::string>& lines) {
    for (const auto& line : lines) {
        const std::string code = lf_getCfgIcaoTypeDesignator(line);
        if (!code.empty()) return lf_checkModelCode(code, file);
    }
    return lf_fixModelFromContainer(file, lines);
}

std::string lf_fixModelFromContainer(const fs::path& file, const std::vector<std::string>& lines) {
    for (const auto& line : lines) {
        const std::string code = lf_getCfgBaseContainer(line);
        if (!code.empty()) return lf_checkModelCode(code, file);
    }
    const std::string path = gf_pathToUtf8(file);
    // These two aircraft name their model elsewhere; they are no fault.
    if (lf_contains(path, "pmdg-aircraft-7") || lf_contains(path, "fnx-aircraft-3")) return {};
    scanInvalidCfgFiles.push_back("Line icao_type_designator= is missing in [General] section of " + path);
    return {};
}

std::string lf_fixIVAOModel(const fs::path& file) {
    std::string path = gf_pathToUtf8(file);
    std::replace(path.begin(), path.end(), '\\', '/');
    auto folder = gf_matchIvaoCfgPath(path, "IVAO_MTL");
    if (!folder) folder = gf_matchIvaoCfgPath(path, "ivao_x-csl");
    if (!folder) {
        lf_addModelFixMessage("  ", file);
        return {};
    }
    const std::string code(folder->substr(0, 4));
    if (code.empty()) return {};
    return lf_checkModelCode(code, file);
}

int lf_findSemicolon(std::string_view text) {
    const auto pos = text.find(';');
    return pos == std::string_view::npos ? -1 : static_cast<int>(pos);
}

std::vector<ScannedLivery> lf_searchLiveriesinFile(std::uint32_t priority, const fs::path& file) {
    try {
        std::error_code ec;
        const fs::file_status status = fs::status(file, ec);
        if (status.type() == fs::file_type::none || status.type() == fs::file_type::not_found) return {};
        std::vector<std::string> lines;
        if (!lf_readCfgLines(file, lines, false)) return {};
        if (!lf_collectFltSimSections(lines, file)) return {};
        const std::string model = lf_fixModelCode(file, lines);
        if (model.empty()) return {};
        return lf_processFltSimSections(priority, lines, model, file, file.parent_path());
    } catch (const std::exception& e) {
        gf_log(fmt::format("! Exception in lf_searchLiveriesinFile {}: {}", gf_pathToUtf8(file), e.what()));
        throw;
    }
}

std::vector<ScannedLivery> lf_searchLiveriesinIVAOFile(std::uint32_t priority, const fs::path& file) {
    try {
        const std::string model = lf_fixIVAOModel(file);
        if (model.empty()) return {};
        std::vector<std::string> lines;
        if (!lf_readCfgLines(file, lines, true)) return {};
        if (!lf_collectFltSimSections(lines, file)) return {};
        return lf_processIVAOFltSimSections(priority, lines, model, file);
    } catch (const std::exception& e) {
        gf_log(fmt::format("! Exception in lf_searchLiveriesinIVAOFile {}: {}", gf_pathToUtf8(file), e.what()));
        throw;
    } catch (...) {
        gf_log(fmt::format("! Unknown exception in lf_searchLiveriesinIVAOFile {}", gf_pathToUtf8(file)));
        throw;
    }
}

std::vector<ScannedLivery> lf_processFltSimSections(std::uint32_t priority, const std::vector<std::string>& lines,
                                                    const std::string& model, const fs::path& file,
                                                    const fs::path& folder) {
    std::vector<ScannedLivery> result;
    lf_forEachSection(
        lines,
        [](const std::string& line) {
            const auto first = line.find_first_not_of(" \t");
            return first != std::string::npos && line[first] == '[';
        },
        [&](const std::vector<std::string>& section) {
            auto records = lf_procesFltSimSection(priority, section, model, file, folder);
            for (auto& record : records) result.push_back(std::move(record));
        });
    return result;
}

std::vector<ScannedLivery> lf_processIVAOFltSimSections(std::uint32_t priority,
                                                        const std::vector<std::string>& lines,
                                                        const std::string& model, const fs::path& file) {
    std::vector<ScannedLivery> result;
    lf_forEachSection(
        lines, [](const std::string& line) { return lf_contains(line, "["); },
        [&](const std::vector<std::string>& section) {
            ScannedLivery record = lf_procesIVAOFltSimSection(priority, section, model, file);
            if (record.key.airline != 0 && record.key.model != 0) result.push_back(std::move(record));
        });
    return result;
}

std::vector<ScannedLivery> lf_procesFltSimSection(std::uint32_t priority, const std::vector<std::string>& section,
                                                  const std::string& model, const fs::path& file,
                                                  const fs::path& folder) {
    try {
        const std::string folderText = gf_pathToUtf8(folder);
        const std::string& header = section.front();
        std::string title, airline, registration, parkingTypes;
        bool accepted = true;
        auto refuse = [&](std::string message) {
            if (!message.empty()) scanIncompleteSections.push_back(std::move(message));
            accepted = false;
        };
        std::string value;
        for (const auto& line : section) {
            if (title.empty()) {
                if (lf_getCfgTitle(line, value)) {
                    title = gf_trim(std::string_view(value));
                    if (lf_contains(title, "FenixA320") || lf_contains(title, "PMDG 737")) refuse({});
                    if (!accepted) break;
                    continue;
                }
            } else if (lf_getCfgTitle(line, value)) {
                refuse(fmt::format("{} {} has more than one title key", folderText, header));
                break;
            }
            if (airline.empty()) {
                if (lf_getCfgIcaoAirline(line, value)) {
                    gf_normalizeCommaList(value);
                    if (value.size() == 4 && (value.back() == 'X' || value.back() == 'C')) value.pop_back();
                    if (gf_isKnownAirlineCode(value)) {
                        airline = value;
                    } else if (value == "RFO") {
                        refuse({});
                        break;
                    } else {
                        lf_addScanMessage(value, file, header);
                    }
                    continue;
                }
            } else if (lf_hasIcaoAirlineKey(line)) {
                refuse(fmt::format("{} {} has more than one atc_parking_codes key", folderText, header));
                break;
            }
            if (parkingTypes.empty()) {
                if (lf_getCfgAtcParkingTypes(line, value)) {
                    gf_normalizeCommaList(value);
                    parkingTypes = gf_toUpperAscii(value);
                    continue;
                }
            } else if (lf_hasAtcParkingTypesKey(line)) {
                refuse(fmt::format("{} {} has more than one atc_parking_types key", folderText, header));
                break;
            }
            if (registration.empty()) {
                if (lf_getCfgAtcId(line, value)) {
                    const int semicolon = lf_findSemicolon(value);
                    if (semicolon >= 0) value.resize(static_cast<std::size_t>(semicolon));
                    registration = lf_registrationFromAtcId(value, title, false);
                    continue;
                }
            } else if (lf_isAtcIdLine(line)) {
                refuse(fmt::format("{}, {}, has more than one atc_id key", folderText, header));
                break;
            }
        }
        if (airline.empty())
            scanIncompleteSections.push_back(fmt::format("{} {} icao_airline is missing, or it has invalid info ",
                                                         gf_pathToUtf8(file), header));
        if (!accepted) return {};
        if (title.empty()) {
            scanIncompleteSections.push_back(fmt::format("{} {} misses title", folderText, header));
            return {};
        }
        if (lf_contains(title, "Fictional")) return {};
        if (title.ends_with("-STUB")) airline = "ZZZ";
        if (dontUseTitles.contains(title)) return {};
        if (airline == "ZZZ") registration.clear();

        std::optional<AcKey> databaseKey = lf_databaseKey(registration);
        if (airline.empty()) {
            const bool heavy = gf_getModelCodeCategory(model) == Heavy;
            if (registration.empty()) {
                if (heavy) {
                    scanIncompleteSections.push_back(
                        fmt::format("'{}' '{}' has no airline and no regcode info", folderText, header));
                    return {};
                }
                airline = "PVT";
                registration = gf_findRegistrationInText(title).value_or(std::string());
                databaseKey = lf_databaseKey(registration);
            } else if (!databaseKey) {
                if (heavy) {
                    scanIncompleteSections.push_back(
                        fmt::format("'{}' '{}' has no airline and regcode not in dbase", folderText, header));
                    return {};
                }
                airline = "PVT";
            }
        }
        const bool cargo = parkingTypes.size() >= 5 && lf_contains(parkingTypes, "CARGO") &&
                           !lf_contains(parkingTypes, "GATE");
        AcKey key;
        if (databaseKey) {
            key = *databaseKey;
        } else {
            key.airline = gf_internAirlineCode(airline);
            key.model = gf_getModelIndex(model);
            key.cargo = cargo ? 1 : 0;
        }
        ScannedLivery record;
        if (scanTitles.insert(title).second)
            record = ScannedLivery{title, registration, key, static_cast<std::int16_t>(priority)};
        if (lf_isInvalidScannedLivery(record)) {
            scanIncompleteSections.push_back(
                fmt::format("{} {} title '{}' already exists", folderText, header, title));
            return {};
        }
        return {std::move(record)};
    } catch (const std::exception& e) {
        gf_log(fmt::format("Exception in lf_procesFltSimSection: {}, file: {}", e.what(), gf_pathToUtf8(file)));
        throw;
    }
}

ScannedLivery lf_procesIVAOFltSimSection(std::uint32_t priority, const std::vector<std::string>& section,
                                         const std::string& model, const fs::path& file) {
    const fs::path folder = file.parent_path();
    const std::string folderText = gf_pathToUtf8(folder);
    const std::string& header = section.front();
    bool wingletFolder = false;
    for (const auto name : ivaoWingletFolders)
        if (lf_contains(folderText, name)) wingletFolder = true;

    std::string title, registration, parkingTypes, texture;
    std::string value;
    for (const auto& line : section) {
        if (title.empty()) {
            if (lf_getCfgTitle(line, value)) {
                title = gf_trim(std::string_view(value));
                if (title.size() != value.size())
                    gf_log(fmt::format("removed spaces around title '{}' --> '{}'", value, title));
                continue;
            }
        } else if (lf_getCfgTitle(line, value)) {
            scanIncompleteSections.push_back(folderText + " " + header + " has more than one title key");
            return {};
        }
        if (parkingTypes.empty()) {
            if (lf_getCfgAtcParkingTypes(line, value)) {
                parkingTypes = gf_toUpperAscii(value);
                continue;
            }
        } else if (lf_hasAtcParkingTypesKey(line)) {
            scanIncompleteSections.push_back(folderText + " " + header + " has more than one atc_parking_types key");
            return {};
        }
        if (registration.empty()) {
            if (lf_getCfgAtcId(line, value)) {
                registration = lf_registrationFromAtcId(value, title, true);
                continue;
            }
        } else if (lf_isAtcIdLine(line)) {
            scanIncompleteSections.push_back(fmt::format("{}, {}, has more than one atc_id key", folderText, header));
            return {};
        }
        if (texture.empty() && lf_getCfgTexture(line, value)) texture = value;
    }

    // Packages made on Windows name texture folders in any letter case.
    const std::string textureName = texture.empty() ? std::string("texture") : "texture." + texture;
    if (!gf_osFindSubfolderNoCase(folder, textureName)) {
        scanIncompleteSections.push_back(gf_pathToUtf8(folder / textureName) + " " + header + " does not exist");
        return {};
    }
    if (title.empty()) {
        scanIncompleteSections.push_back(folderText + " " + header + " misses title");
        return {};
    }
    if (dontUseTitles.contains(title)) return {};

    AcKey key;
    if (const auto code = gf_matchIvaoTitle(title, model, wingletFolder)) {
        const std::string airline(*code);
        if (!gf_isKnownAirlineCode(airline)) {
            lf_addScanMessage(airline, file, header);
            return {};
        }
        if (airline == "ZZZ") registration.clear();
        key.airline = gf_internAirlineCode(airline);
        key.model = gf_getModelIndex(model);
    } else if (registration.empty()) {
        scanIncompleteSections.push_back(folderText + " " + header + " misses airlinecode in title: " + title +
                                         ", and no regcode");
        return {};
    } else if (const auto databaseKey = lf_databaseKey(registration)) {
        key = *databaseKey;
    } else {
        scanIncompleteSections.push_back(folderText + " " + header + " misses airlinecode in title: " + title +
                                         ", and regcode unknown " + registration);
        return {};
    }
    ScannedLivery record =
        lf_makeIVAOLivery(static_cast<std::int16_t>(priority), key, title, std::move(registration));
    if (lf_isInvalidScannedLivery(record))
        scanIncompleteSections.push_back(folderText + " " + header + " title already exists: " + title);
    return record;
}
