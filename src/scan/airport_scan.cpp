#include "scan/airport_scan.h"

#include <array>
#include <exception>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <unordered_set>

#include <fmt/format.h>

#include "airports/airport.h"
#include "airports/weekly_traffic.h"
#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "platform/os/os.h"
#include "platform/os/sorted_walk.h"
#include "platform/window/window.h"
#include "scan/airport_generation.h"
#include "scan/bgl_reader.h"
#include "scan/manifests.h"
#include "scan/publishers.h"
#include "scan/scan_log.h"
#include "scan/scan_transaction.h"
#include "scan/tblo_archive.h"
#include "services/gui.h"
#include "services/install_path.h"
#include "services/stop.h"
#include "settings/parameters.h"
#include "settings/snapshot.h"
#include "simlink/facility_reader.h"

namespace fs = std::filesystem;

namespace {

// Package folders that hold no airports worth a look (matched in the
// lower-cased path).
constexpr std::array<std::string_view, 14> kSkippedPackageWords{
    "fs-base",       "tutorials",         "aircraft",    "bushtrip",      "discovery",
    "point-of-interest", "simobjects",    "vcockpits",   "aig-aitraffic", "justflight-aircraft",
    "fsltl",         "gsx-pro",           "gsx-world",   "landingchallenge"};
// Scenery files that describe no airport to generate: statics, updates of
// another airport's layout, heliports and light shows (matched as written).
constexpr std::array<std::string_view, 7> kSkippedBglWords{
    "statics", "afcad updates", "_heliports", "duijffmedia-eham-remove", "immersivelights", "immersive-",
    "bksq-scenery-"};
// Streamed packages that are no airports (matched as written).
constexpr std::array<std::string_view, 40> kSkippedStreamedParts{
    "fs20-",          "-landingchallenge-",  "-cabin-services",      "-credits-override", "-devmode-streamed",
    "-livingworld",   "-fa18e-character",    "-jetways",             "-material-lib",     "-palettelib",
    "-procedural-hangar-", "-eventtriggers", "-event-rescuechallenge", "-discovery-",     "-challenges-",
    "-aircraft-",     "-ships-",             "-certification-",      "-training-",        "-activities-",
    "-passiveaircraft-", "-trainings-",      "-fs-base-",            "-runway-lights",    "-travelbook-",
    "-simobjects-",   "-airrace-",           "-procedural-",         "-palette-",         "-spotlight-",
    "-modellib-",     "-texturelib",         "-textlib",             "-scenery-",         "-surface-",
    "-vfx-",          "-coverage-",          "-point-of-interest",   "-proceduralgeneration", "-simattachmentlib-"};
constexpr std::array<std::string_view, 3> kOfficialAirportParts{"asobo-airport", "microsoft-airport",
                                                                 "microsoft-eddk"};
// Paths this long or longer are passed by.
constexpr std::size_t kLongPathCharacters = 250;

constexpr std::string_view kMark = "===>";

// What one run of the scan keeps while it walks (the scan's thread only).
struct ScanRun {
    bool stopped = false;
    std::uint64_t officialAirports = 0;
};
ScanRun l_run;

// Ends the walk of every root when a stop request is pending.
struct StopWalk {};

template <std::size_t N>
bool lf_containsAny(std::string_view text, const std::array<std::string_view, N>& words) {
    for (const std::string_view word : words) {
        if (text.find(word) != std::string_view::npos) return true;
    }
    return false;
}

std::size_t lf_componentCount(const fs::path& path) {
    return static_cast<std::size_t>(std::distance(path.begin(), path.end()));
}

// Characters of a UTF-8 text (continuation bytes not counted).
std::size_t lf_characterCount(std::string_view text) {
    std::size_t count = 0;
    for (const char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
    }
    return count;
}

bool lf_tbloPendingQuery() { return g_tbloPending.load(); }

// The walk of one root and of the folders its links lead to.
class FolderTreeWalk {
public:
    explicit FolderTreeWalk(const fs::path& root) : root_(root), rootText_(gf_pathToUtf8(root)) {}

    void run() {
        std::error_code ec;
        const fs::path canonical = fs::canonical(root_, ec);
        if (ec) {
            gf_appendScanLogLine(fmt::format(
                "{} could not resolve scan root, continuing without root cycle protection: {}", kMark, ec.message()));
        } else {
            visited_.insert(canonical.native());
            gf_appendScanLogLine(fmt::format("scan root resolved to: {}", gf_pathToUtf8(canonical)));
        }
        if (const OsResult walked = walk(root_, 0); walked.failed()) {
            gf_appendScanLogLine(fmt::format("{} recursive directory iterator failed while starting scan root {}, "
                                             "cause: {}",
                                             kMark, rootText_, walked.message()));
        }
    }

private:
    // Walks the folder whose entries lie at `depth`.
    OsResult walk(const fs::path& folder, int depth) {
        const std::size_t base = lf_componentCount(folder);
        const auto depthOf = [&](const fs::path& path) {
            return depth + static_cast<int>(lf_componentCount(path) - base) - 1;
        };
        return gf_osWalkSorted(
            folder, [&](const OsDirEntry& entry) { return visit(entry, depthOf(entry.path)); },
            [&](const fs::path& path, const std::error_code& error) {
                gf_appendScanLogLine(fmt::format("{} recursive directory iterator failed in scan root {}, depth {}, "
                                                 "cause: {}",
                                                 kMark, rootText_, depthOf(path), error.message()));
            });
    }

    bool visit(const OsDirEntry& entry, int depth) {
        if (entry.isRegularFile()) {
            scanFile(entry.path, depth);
            return false;
        }
        if (!entry.isFolder()) return false;
        const std::string folderText = gf_pathToUtf8(entry.path);
        std::error_code ec;
        const fs::path canonical = fs::canonical(entry.path, ec);
        if (ec) {
            gf_appendScanLogLine(fmt::format("{} could not resolve directory during airport scan, skipping "
                                             "recursion, depth {}, folder: {}",
                                             kMark, depth, folderText));
            return false;
        }
        if (!visited_.insert(canonical.native()).second) {
            gf_appendScanLogLine(fmt::format("{} skipping recursive directory link during airport scan, depth {}, "
                                             "folder: {}, resolved target: {}",
                                             kMark, depth, folderText, gf_pathToUtf8(canonical)));
            return false;
        }
        if (entry.isLink) {
            gf_appendScanLogLine(fmt::format("following airport scan directory link, depth {}, folder: {}, "
                                             "resolved target: {}",
                                             depth, folderText, gf_pathToUtf8(canonical)));
        }
        if (lf_isSkippedPackage(entry.path)) return false;
        if (!entry.isLink) return true;
        // The sorted walk enters no link; its content comes right here, as
        // if the walk had gone in.
        if (const OsResult walked = walk(entry.path, depth + 1); walked.failed()) {
            gf_appendScanLogLine(fmt::format("{} recursive directory iterator failed in scan root {}, depth {}, "
                                             "cause: {}",
                                             kMark, rootText_, depth + 1, walked.message()));
        }
        return false;
    }

    void scanFile(const fs::path& path, int depth) {
        try {
            if (gf_toLowerAscii(path.extension().string()) != ".bgl") return;
            const std::string text = gf_pathToUtf8(path);
            if (lf_containsAny(text, kSkippedBglWords)) return;
            if (!lf_probeBglHeader(path)) return;
            if (!keepRunning()) throw StopWalk{};
            gf_appendScanLogLine(fmt::format("Fac depth {}: {}", depth, text));
            if (!lf_readAirportFacilities(path)) {
                gf_appendScanLogLine("Facilities reader did not succeed, trying the BGL file reader ...");
                lf_processBGLfile(path);
            }
        } catch (const StopWalk&) {
            throw;
        } catch (const std::exception& e) {
            gf_appendScanLogLine(fmt::format("{} airport file skipped after an exception, depth {}, file {}, cause: {}",
                                             kMark, depth, gf_pathToUtf8(path), e.what()));
        } catch (...) {
            gf_appendScanLogLine(fmt::format("{} airport file skipped after an unknown exception, depth {}, file {}",
                                             kMark, depth, gf_pathToUtf8(path)));
        }
    }

    fs::path root_;
    std::string rootText_;
    std::unordered_set<fs::path::string_type> visited_;
};

// One streamed package folder that names an airport.
void lf_scanStreamedPackage(const OsDirEntry& entry, const std::string& text,
                            const std::optional<fs::path>& official2024) {
    const bool official = lf_containsAny(text, kOfficialAirportParts);
    const std::optional<IcaoCode> code = gf_icaoCandidatesInPath(text, gf_scanCodeFilters());
    if (!code) return;
    gf_appendScanLogLine(fmt::format("\n{}", text));
    Airport airport;
    airport.path = entry.path;
    airport.bglPath = text;
    airport.icao = *code;
    if (official) {
        gf_appendScanLogLine(fmt::format("airport has '{}' in directory path", *code));
        if (++l_run.officialAirports % 10 == 0) {
            Gui::enqueueUpdate(GuiUpdate::simaddonCount(l_run.officialAirports));
        }
        airport.publisher = "simaddon";
        airport.manifest = ManifestInfo{"", "", "microsoft", "asobo"};
        lf_readPackageAirportFacilities(airport);
        return;
    }
    gf_appendScanLogLine(fmt::format("airport has '{}' in folder path", *code));
    const PackageClass listed = gf_classifyPackage(entry.path);
    if (listed.kind == 0) {
        airport.publisher = listed.name;
        gf_appendScanLogLine(fmt::format("publisher '{}' found", listed.name));
    }
    if (official2024) {
        if (auto manifest = lf_findStreamedManifest(entry.path, *official2024)) {
            gf_appendScanLogLine(fmt::format("streamed package manifest found, version '{}'", manifest->version));
            airport.manifest = std::move(manifest);
        }
    }
    lf_readPackageAirportFacilities(airport);
}

// The end of every scan that got past its start: the scan's data dropped,
// the folders' counts shown and the controls back on.
void lf_printScanEndBanner(bool success) {
    g_airportScanLog.clear();
    if (!success) {
        gf_osRemoveTree(tbloDir);
        g_tbloPending.store(false);
        gf_enableControl(TbloButton.controlId, false);
        gf_enableControl(SKIP_AIRPORT_SCAN.controlId, true);
    }
    gf_closeFacilityReader();
    gf_clearWeeklyTrafficAirports();
    gf_clearPublisherData();
    lf_postAirportFileCounts(true, true);
    gf_enableControl(SKIP_AIRPORT_SCAN.controlId, true);
    gf_logAndFlush("-------------------------- airports scan ends -------------------------------\n");
}

class ScanEndGuard {
public:
    ScanEndGuard() = default;
    ScanEndGuard(const ScanEndGuard&) = delete;
    ScanEndGuard& operator=(const ScanEndGuard&) = delete;
    ~ScanEndGuard() {
        try {
            lf_printScanEndBanner(success);
        } catch (...) {
        }
    }
    bool success = false;
};

// An empty tblo folder for the archive of this scan.
void lf_prepareTbloFolder() {
    std::error_code ec;
    const bool present = fs::exists(tbloDir, ec);
    if (ec) throw fs::filesystem_error("exists", tbloDir, ec);
    if (!present) {
        if (const OsResult made = gf_osCreateFolder(tbloDir); made.failed()) {
            throw std::runtime_error(fmt::format("could not create the tblo folder: {}", made.message()));
        }
        return;
    }
    gf_removeFilesFromDirectory(tbloDir);
    gf_enableControl(TbloButton.controlId, false);
    g_tbloPending.store(false);
}

}  // namespace

bool lf_isSkippedPackage(const fs::path& path) {
    const std::string text = gf_pathToUtf8(path);
    if (lf_characterCount(text) >= kLongPathCharacters) return true;
    return lf_containsAny(gf_toLowerAscii(text), kSkippedPackageWords);
}

bool gf_airportScanWalkStopped() { return l_run.stopped; }

std::vector<fs::path> lf_scanRoots() {
    static constexpr std::array<std::string_view, 2> kRoots2020{"Official", "Community"};
    static constexpr std::array<std::string_view, 4> kRoots2024{"Community", "StreamedPackages", "Official2024",
                                                                "Community2024"};
    std::vector<fs::path> roots;
    const auto add = [&](std::string_view name) {
        if (auto root = gf_checkInstallPath(fs::path(name))) roots.push_back(std::move(*root));
    };
    if (isMSFS2020()) {
        for (const std::string_view name : kRoots2020) add(name);
    } else {
        for (const std::string_view name : kRoots2024) add(name);
    }
    return roots;
}

void lf_scanFolderTree(const fs::path& root) {
    gf_appendScanLogLine(fmt::format("\nScan: {}", gf_pathToUtf8(root)));
    FolderTreeWalk walk(root);
    try {
        walk.run();
    } catch (const StopWalk&) {
        l_run.stopped = true;
    }
}

void lf_scanPackageFolder(const fs::path& root) {
    const std::string rootText = gf_pathToUtf8(root);
    const std::string line = fmt::format("\nScan: {}", rootText);
    gf_appendScanLogLine(line);
    gf_log(line);
    const std::optional<fs::path> official2024 = gf_checkInstallPath("Official2024");
    std::vector<OsDirEntry> entries;
    const OsResult listed = gf_osListFolder(root, entries, [](const fs::path& path, const std::error_code& error) {
        const std::string pathText = gf_pathToUtf8(path);
        gf_log(fmt::format("Could not test directory '{}': {}", pathText, error.message()));
        gf_appendScanLogLine(fmt::format("{} could not test directory '{}': {}", kMark, pathText, error.message()));
    });
    if (listed.failed()) {
        gf_log(fmt::format("Could not start directory scan in '{}': {}", rootText, listed.message()));
        gf_appendScanLogLine(
            fmt::format("{} could not start directory scan in '{}': {}", kMark, rootText, listed.message()));
        return;
    }
    for (const OsDirEntry& entry : entries) {
        if (!entry.isFolder()) continue;
        const std::string text = gf_pathToUtf8(entry.path);
        if (lf_containsAny(text, kSkippedStreamedParts)) continue;
        if (!keepRunning()) {
            gf_writeAirportsScanLog();
            l_run.stopped = true;
            return;
        }
        try {
            lf_scanStreamedPackage(entry, text, official2024);
        } catch (const std::exception& e) {
            gf_appendScanLogLine(
                fmt::format("{} streamed package scan in folder {} failed: {}", kMark, text, e.what()));
        }
    }
}

void lf_scanRootFolder(const std::vector<fs::path>& roots) {
    for (const fs::path& root : roots) {
        if (l_run.stopped) return;
        if (root.empty()) continue;
        const std::string text = gf_pathToUtf8(root);
        std::error_code ec;
        const fs::file_status status = fs::status(root, ec);
        if (!fs::exists(status)) {
            Gui::addStatusLine(text + " does not exist, skipped!", true);
        } else if (!fs::is_directory(status)) {
            Gui::addStatusLine(text + " is not a folder name, skipped!", true);
        } else if (gf_containsNoCase(root, "StreamedPackages")) {
            // The install path gives its folders in their real letter case,
            // which the user's file system may keep as "streamedpackages".
            lf_scanPackageFolder(root);
        } else {
            lf_scanFolderTree(root);
        }
    }
}

bool lf_runAirportsScan(const std::vector<fs::path>& roots) {
    l_run = ScanRun{};
    gf_log(fmt::format("The scan will search {} folder{}", roots.size(), roots.size() == 1 ? "" : "s"));
    if (const OsResult removed = gf_osRemoveFile(gf_airportsScanLogPath()); removed.failed()) {
        gf_log("problems with removing previous files (maybe still open?): " + removed.message());
    }
    g_tbloPending.store(false);
    gf_startAirportScanLog();
    lf_scanRootFolder(roots);
    if (l_run.stopped) {
        // What the scan found so far stays readable; nothing of it is used.
        gf_writeAirportsScanLog();
        return false;
    }
    gf_appendScanLogLine("\nAirports scan finished!");
    if (gf_writeAirportsScanLog()) gf_log(gf_pathToUtf8(gf_airportsScanLogPath()) + " written");
    if (g_tbloPending.load()) {
        gf_showTbloHint();
    } else {
        Gui::enqueueUpdate(GuiUpdate::clearStatusLine());
    }
    g_airportScanLog.clear();
    lf_copySimaddonToTblo();
    lf_copyThirdpartyToTblo();
    lf_zipTblo();
    const std::uint64_t simaddon = gf_countAirportFiles(mySimaddonDir);
    const std::uint64_t thirdparty = gf_countAirportFiles(myThirdpartyDir);
    Gui::enqueueUpdate(GuiUpdate::simaddonCount(simaddon));
    Gui::enqueueUpdate(GuiUpdate::thirdpartyCount(thirdparty));
    return simaddon + thirdparty != 0;
}

bool lf_scanAndWarn(const std::vector<fs::path>& roots) {
    const bool found = lf_runAirportsScan(roots);
    if (!found && !l_run.stopped) Gui::addStatusLine("Warning: Scan has not found any add-on airports", true);
    Gui::repaintHeaderBand();
    return found;
}

void gf_scanAirports() {
    gf_setTbloPendingQuery(&lf_tbloPendingQuery);
    if (!lf_recoverAirportScan()) {
        gf_logError("Airport scan skipped: recovery of a previously interrupted scan failed");
        Gui::addStatusLine("Airport scan skipped; previous airport data could not be recovered safely", true);
        return;
    }
    if (settingsSnapshot.load()->SKIP_AIRPORT_SCAN != 0) {
        gf_log("Airport scan skipped because SKIP_AIRPORT_SCAN=true");
        Gui::addStatusLine("Airport scan suppressed by parameter SKIP_AIRPORT_SCAN", true);
        lf_postAirportFileCounts(true, true);
        return;
    }
    gf_enableControl(SKIP_AIRPORT_SCAN.controlId, false);
    ScanEndGuard guard;
    try {
        Gui::addStatusLine("Scanning for airports ...", false);
        gf_log(fmt::format("\n++++++++++++++++++++++++ airports scan {} starts +++++++++++++++++++++++++++++",
                           "automatic "));
        Gui::enqueueUpdate(GuiUpdate::simaddonCount(0));
        Gui::enqueueUpdate(GuiUpdate::thirdpartyCount(0));
        if (!gf_loadWeeklyTrafficAirports()) {
            Gui::addStatusLine("Reading RT weekly airports failed; keeping previous airport scan data", true);
            return;
        }
        if (!gf_readPublishers(isMSFS2020())) {
            Gui::addStatusLine("Reading archives failed; keeping previous airport scan data", true);
            return;
        }
        const std::vector<fs::path> roots = lf_scanRoots();
        AirportScanTransaction transaction;
        lf_prepareTbloFolder();
        const bool found = lf_scanAndWarn(roots);
        if (l_run.stopped) {
            // A scan cut short would replace complete data with part of it.
            Gui::addStatusLine("Airport scan stopped; keeping previous airport scan data", true);
            return;
        }
        if (!found) {
            Gui::addStatusLine("Airport scan produced no add-on data; keeping previous airport scan data", true);
            return;
        }
        if (!g_tbloPending.load()) gf_osRemoveTree(tbloDir);
        Gui::repaintHeaderBand();
        transaction.commit();
        guard.success = true;
    } catch (const std::exception& e) {
        gf_logError(fmt::format("Airport scan failed; previous airport scan data restored: {}", e.what()));
        Gui::addStatusLine("Airport scan failed; TAVO will continue with the previous airport data", true);
    } catch (...) {
        gf_logError("Airport scan failed with an unknown error; previous airport scan data restored");
        Gui::addStatusLine("Airport scan failed; TAVO will continue with the previous airport data", true);
    }
}
