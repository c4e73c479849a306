#include "liveries/scan_report.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <system_error>
#include <unordered_map>

#include <fmt/format.h>

#include "foundation/files.h"
#include "foundation/hash.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "platform/os/os.h"

namespace fs = std::filesystem;

std::list<std::string> scanNoSectionFiles;
std::list<std::string> scanInvalidAirlineCodes;
std::list<std::string> scanInvalidModelCodes;
std::vector<std::string> scanFixes;
std::list<std::string> scanInvalidCfgFiles;
std::list<std::string> scanIncompleteSections;

namespace {

// The part of a key that tells packages apart: the flag byte takes no part.
struct MergeKey {
    std::uint16_t airline, operatorIndex, model;
    std::uint8_t cargo;
    friend bool operator==(const MergeKey&, const MergeKey&) = default;
};

MergeKey lf_mergeKey(const AcKey& key) { return {key.airline, key.operatorIndex, key.model, key.cargo}; }

// FNV-1a over the seven bytes, each index lowest byte first.
struct MergeKeyHash {
    std::size_t operator()(const MergeKey& key) const {
        const char bytes[7] = {
            static_cast<char>(key.airline & 0xFF),       static_cast<char>(key.airline >> 8),
            static_cast<char>(key.operatorIndex & 0xFF), static_cast<char>(key.operatorIndex >> 8),
            static_cast<char>(key.model & 0xFF),         static_cast<char>(key.model >> 8),
            static_cast<char>(key.cargo)};
        return static_cast<std::size_t>(gf_fnv1a(std::string_view(bytes, sizeof bytes)));
    }
};

bool lf_isDuplicateLivery(const ScannedLivery& a, const ScannedLivery& b) {
    return a.title == b.title && lf_mergeKey(a.key) == lf_mergeKey(b.key) && a.registration == b.registration;
}

std::string_view lf_pluralSuffix(std::size_t count) { return count == 1 ? "" : "s"; }

template <typename Lines>
void lf_writeLines(const Lines& lines, const fs::path& file, bool createFolder) {
    const std::string fileText = gf_pathToUtf8(file);
    try {
        if (createFolder) {
            const fs::path folder = file.parent_path();
            std::error_code ec;
            if (!folder.empty()) fs::create_directories(folder, ec);
            if (ec) {
                gf_logNoThrow(fmt::format("Error creating directories {}: {}", gf_pathToUtf8(folder), ec.message()));
                return;
            }
        }
        std::string content;
        for (const auto& line : lines) {
            content += line;
            content += '\n';
        }
        // A report that cannot be written is said so in the log: the summary
        // line names the file all the same.
        if (const OsResult ec = gf_osReplaceFileContent(file, content); ec.failed()) {
            gf_logNoThrow(fmt::format("Error writing file {}: {}", fileText, ec.message()));
        }
    } catch (const std::exception& e) {
        gf_logNoThrow(fmt::format("Error writing file {}: {}", fileText, e.what()));
    }
}

}  // namespace

const std::array<fs::path, 7>& lf_scanListFileName() {
    static const std::array<fs::path, 7> names{
        outputInfoDir / "AircraftCfgWithNoFltsimSection.txt", outputInfoDir / "DontUseLiveries.txt",
        outputErrorsDir / "InvalidAirlineCodes.txt",         outputErrorsDir / "InvalidAircraftCodes.txt",
        outputErrorsDir / "Fixes.txt",                       outputErrorsDir / "InvalidAircraftCfgFiles.txt",
        outputErrorsDir / "IncompleFltsimSections.txt"};
    return names;
}

std::size_t lf_prioritizeLiveries() {
    std::unordered_map<MergeKey, std::int16_t, MergeKeyHash> best;
    best.max_load_factor(1.0f);
    best.reserve(scannedLiveries.size());
    for (const ScannedLivery& livery : scannedLiveries) {
        const auto [it, inserted] = best.try_emplace(lf_mergeKey(livery.key), livery.priority);
        if (!inserted && livery.priority < it->second) it->second = livery.priority;
    }
    const auto kept = std::remove_if(scannedLiveries.begin(), scannedLiveries.end(),
                                     [&best](const ScannedLivery& livery) {
                                         return livery.priority > best.find(lf_mergeKey(livery.key))->second;
                                     });
    const auto removed = static_cast<std::size_t>(scannedLiveries.end() - kept);
    scannedLiveries.erase(kept, scannedLiveries.end());
    return removed;
}

std::vector<ScannedLivery>::iterator lf_findDuplicateLivery(std::vector<ScannedLivery>::iterator first,
                                                           std::vector<ScannedLivery>::iterator last) {
    return std::unique(first, last, lf_isDuplicateLivery);
}

std::size_t lf_sortAndRemoveDuplicateLiveries() {
    std::sort(scannedLiveries.begin(), scannedLiveries.end(), [](const ScannedLivery& a, const ScannedLivery& b) {
        return lf_compareScannedLiveries(a, b) < 0;
    });
    const auto end = lf_findDuplicateLivery(scannedLiveries.begin(), scannedLiveries.end());
    const auto removed = static_cast<std::size_t>(scannedLiveries.end() - end);
    scannedLiveries.erase(end, scannedLiveries.end());
    return removed;
}

void lf_addScanMessage(std::string_view code, const fs::path& file, std::string_view extra) {
    std::string line = fmt::format("{:12} in {} ", code, gf_pathToUtf8(file));
    line += extra;
    scanInvalidAirlineCodes.push_back(std::move(line));
}

void lf_addModelFixMessage(std::string_view code, const fs::path& file) {
    scanInvalidModelCodes.push_back(fmt::format("{:16} in {}", code, gf_pathToUtf8(file)));
}

void lf_writeScanReport() {
    const auto& files = lf_scanListFileName();
    const bool noErrors = scanInvalidAirlineCodes.empty() && scanInvalidModelCodes.empty() && scanFixes.empty() &&
                          scanInvalidCfgFiles.empty() && scanIncompleteSections.empty();
    gf_log(noErrors ? "\nNo errors" : "\nErrors:");
    const auto sortedList = [&files](std::list<std::string>& lines, ScanListFile index, std::string_view format,
                                     bool plural) {
        if (lines.empty()) return;
        lines.sort();
        const fs::path& file = files[index];
        lf_writeScanListFile(lines, file);
        if (plural) {
            gf_log(fmt::format(fmt::runtime(format), lines.size(), lf_pluralSuffix(lines.size()), gf_pathToUtf8(file)));
        } else {
            gf_log(fmt::format(fmt::runtime(format), lines.size(), gf_pathToUtf8(file)));
        }
    };
    sortedList(scanInvalidAirlineCodes, invalidAirlineCodesList, "{:5} invalid airline code{}, see {}", true);
    sortedList(scanInvalidModelCodes, invalidModelCodesList, "{:5} invalid model code{}, see {}", true);
    if (!scanFixes.empty()) {
        lf_writeScanListFile(scanFixes, files[fixesList]);
        gf_log(fmt::format("{:5} fixes, see {}", scanFixes.size(), gf_pathToUtf8(files[fixesList])));
    }
    sortedList(scanInvalidCfgFiles, invalidCfgFilesList, "{:5} invalid aircraft.cfg files, see {}", false);
    scanIncompleteSections.sort();
    scanIncompleteSections.unique();
    sortedList(scanIncompleteSections, incompleteSectionsList, "{:5} incomplete [fltsim.x] sections, see {}", false);
    if (!scanNoSectionFiles.empty()) {
        gf_log("\nInformation:");
        scanNoSectionFiles.sort();
        const fs::path& file = files[noSectionFilesList];
        lf_writeScanListFile(scanNoSectionFiles, file, false);
        gf_log(fmt::format("{:5} empty aircraft.cfg files, see {}", scanNoSectionFiles.size(), gf_pathToUtf8(file)));
    }
}

void lf_writeScanListFile(const std::list<std::string>& lines, const fs::path& file, bool createFolder) {
    lf_writeLines(lines, file, createFolder);
}

void lf_writeScanListFile(const std::vector<std::string>& lines, const fs::path& file, bool createFolder) {
    lf_writeLines(lines, file, createFolder);
}

void lf_writeScanListFile(const TitleSet& titles, const fs::path& file, bool createFolder) {
    lf_writeLines(titles, file, createFolder);
}

void lf_clearScanMessages() {
    scanNoSectionFiles.clear();
    scanInvalidAirlineCodes.clear();
    scanInvalidModelCodes.clear();
    scanFixes.clear();
    scanInvalidCfgFiles.clear();
    scanIncompleteSections.clear();
    scanTitles.clear();
    dontUseTitles.clear();
}
