#include "airports/airport_files.h"

#include <exception>
#include <system_error>
#include <vector>

#include <fmt/format.h>

#include "airports/airports_list.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/textfile.h"

namespace fs = std::filesystem;

namespace {

bool lf_exists(const fs::path& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

bool lf_equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (gf_toLowerChar(a[i]) != gf_toLowerChar(b[i])) return false;
    return true;
}

int lf_hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// White space at both ends goes.
std::string lf_trimBlanks(std::string_view text) { return gf_trim(std::string_view(text)); }

std::string lf_icaoFileName(const IcaoCode& icao, std::string_view extension) {
    return fmt::format("{}{}", icao.text(), extension);
}

std::vector<std::string> lf_components(const fs::path& path) {
    std::vector<std::string> parts;
    for (const fs::path& part : path) parts.push_back(part.string());
    return parts;
}

}  // namespace

std::string gf_icaoXmlFileName(const IcaoCode& icao) { return lf_icaoFileName(icao, ".xml"); }
std::string gf_icaoEncFileName(const IcaoCode& icao) { return lf_icaoFileName(icao, ".enc"); }
std::string gf_icaoTxtFileName(const IcaoCode& icao) { return lf_icaoFileName(icao, ".txt"); }

bool gf_hasAirportFile(const IcaoCode& icao) {
    for (const fs::path* folder : {&myThirdpartyDir, &mySimaddonDir}) {
        if (lf_exists(*folder / gf_icaoXmlFileName(icao))) return true;
        if (lf_exists(*folder / gf_icaoTxtFileName(icao))) return true;
    }
    return gf_isKnownAirport(icao);
}

std::optional<fs::path> gf_findAirportSourcePath(const IcaoCode& icao) {
    if (auto path = lf_findHandmadeAirportFile(icao, myThirdpartyDir)) return path;
    if (auto path = lf_findHandmadeAirportFile(icao, mySimaddonDir)) return path;
    if (gf_isKnownAirport(icao)) return archiveDir / stockDir / gf_icaoEncFileName(icao);
    return std::nullopt;
}

std::optional<fs::path> lf_findHandmadeAirportFile(const IcaoCode& icao, const fs::path& folder) {
    if (auto target = lf_readAirportPointerFile(folder / gf_icaoTxtFileName(icao))) return target;
    fs::path xml = folder / gf_icaoXmlFileName(icao);
    if (lf_exists(xml)) return xml;
    return std::nullopt;
}

std::optional<fs::path> lf_readAirportPointerFile(const fs::path& path) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return std::nullopt;
    std::vector<std::string> lines;
    try {
        if (!gf_readTextFileLines(gf_detectCharset(path), path, lines) || lines.empty()) return std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
    const std::string target = lf_trimBlanks(lines.front());
    if (target.size() < 4) return std::nullopt;
    const std::string_view ending = std::string_view(target).substr(target.size() - 4);
    if (!lf_equalsIgnoringCase(ending, ".xml") && !lf_equalsIgnoringCase(ending, ".enc")) return std::nullopt;
    return fs::path(target);
}

std::optional<ArchivePathInfo> lf_parseArchivePath(const fs::path& path) {
    const std::vector<std::string> parts = lf_components(path);
    if (parts.size() < 3 || !lf_equalsIgnoringCase(parts[0], "archive")) return std::nullopt;
    ArchivePathInfo info;
    std::size_t fileIndex = 2;
    if (lf_equalsIgnoringCase(parts[1], "stock")) {
        info.publisher = "stock";
    } else if (lf_equalsIgnoringCase(parts[1], "simaddon")) {
        info.publisher = "simaddon";
    } else if (lf_equalsIgnoringCase(parts[1], "thirdparty")) {
        info.publisher = lf_percentDecode(parts[2]);
        fileIndex = 3;
    } else {
        return std::nullopt;
    }
    if (parts.size() != fileIndex + 1) return std::nullopt;
    const fs::path file(parts[fileIndex]);
    if (!lf_hasExtension(file, ".xml") && !lf_hasExtension(file, ".enc")) return std::nullopt;
    const std::string stem = file.stem().string();
    if (stem.size() < 4 || !gf_isAirportCode(std::string_view(stem).substr(0, 4))) return std::nullopt;
    for (std::size_t i = 4; i < stem.size(); ++i)
        if (stem[i] < '0' || stem[i] > '9') return std::nullopt;
    info.icao = IcaoCode(std::string_view(stem).substr(0, 4));
    info.version = stem.substr(4);
    return info;
}

std::optional<fs::path> lf_locateAirportFile(const fs::path& source, std::string_view publisher) {
    if (source.empty()) return std::nullopt;
    if (!publisher.empty()) {
        try {
            // Paths are UTF-8 here; the check keeps a broken name out of them.
            (void)utf8_to_wide(publisher);
        } catch (const std::exception& e) {
            gf_logError(fmt::format("Invalid UTF-8 publisher '{}': {}", publisher, e.what()));
            return std::nullopt;
        }
    }
    fs::path fileName = source.filename();
    if (lf_hasExtension(source, ".enc"))
        fileName.replace_extension(".xml");
    else if (!lf_hasExtension(source, ".xml"))
        return std::nullopt;

    const std::vector<std::string> parts = lf_components(source);
    const auto folderOf = [](std::string_view name) -> std::optional<fs::path> {
        std::string folder = lf_publisherFolderName(name);
        if (folder.empty()) return std::nullopt;
        return learnedAirportsDir / thirdpartyDir / folder;
    };
    std::optional<fs::path> folder;
    if (parts.size() == 3 && parts[0] == "archive") {
        if (parts[1] == "stock") folder = learnedAirportsDir / stockDir;
        if (parts[1] == "simaddon") folder = learnedAirportsDir / simaddonDir;
    } else if (parts.size() == 4 && parts[0] == "archive" && parts[1] == "thirdparty") {
        folder = folderOf(lf_percentDecode(parts[2]));
    } else if (parts.size() == 3 && parts[0] == "airports") {
        if (parts[1] == "stock") folder = learnedAirportsDir / stockDir;
        if (parts[1] == "my_simaddon") folder = learnedAirportsDir / "my_simaddon";
        if (parts[1] == "my_thirdparty2024" || parts[1] == "my_thirdparty") folder = folderOf(publisher);
    }
    if (!folder) return std::nullopt;
    return *folder / fileName;
}

bool lf_hasExtension(const fs::path& path, std::string_view extension) {
    return lf_equalsIgnoringCase(path.extension().string(), extension);
}

std::string lf_percentDecode(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = lf_hexValue(text[i + 1]);
            const int low = lf_hexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                decoded.push_back(static_cast<char>(high * 16 + low));
                i += 2;
                continue;
            }
        }
        decoded.push_back(text[i]);
    }
    return decoded;
}

std::string lf_publisherFolderName(std::string_view name) {
    std::string folder(name);
    for (char& c : folder) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 32 || std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos) c = ' ';
    }
    folder = lf_trimBlanks(folder);
    if (folder == "." || folder == "..") return {};
    return folder;
}
