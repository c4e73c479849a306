#include "liveries/liveries_scan.h"

#include <array>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>

#include <fmt/format.h>

#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "liveries/aircraft_cfg.h"
#include "liveries/livery_tables.h"
#include "liveries/scan_report.h"
#include "liveries/scanned_liveries.h"
#include "platform/os/sorted_walk.h"
#include "platform/window/window.h"
#include "services/gui.h"
#include "services/install_path.h"
#include "services/stop.h"
#include "settings/parameters.h"
#include "settings/snapshot.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kProgramName = "TAVO";
constexpr std::size_t kReservedLiveries = 30000;
constexpr std::size_t kReservedDontUse = 5000;

LiveriesScanRootHook l_rootHook;

// One choice of AI_PACKAGE_SELECTOR as its kinds.
struct PackageOrder {
    std::array<AIPackageKind, 4> kinds{};
    std::size_t count = 0;
};

// "AFJM" -> AIG, FSLTL, JF, MTL.
constexpr PackageOrder lf_order(std::string_view letters) {
    PackageOrder order;
    for (const char c : letters) {
        order.kinds[order.count++] = c == 'A'   ? AIPackageKind::AIG
                                     : c == 'F' ? AIPackageKind::FSLTL
                                     : c == 'J' ? AIPackageKind::JF
                                                : AIPackageKind::MTL;
    }
    return order;
}

// The choices in the option's list order, each by the initials of the kinds
// it names: every order of four, of three and of two kinds, then each alone.
constexpr std::array<std::string_view, 64> kChoiceInitials = {
    "AFJM", "AFMJ", "AJFM", "AJMF", "AMFJ", "AMJF", "FAJM", "FAMJ",  //
    "FJAM", "FJMA", "FMAJ", "FMJA", "JAFM", "JAMF", "JFAM", "JFMA",  //
    "JMAF", "JMFA", "MAFJ", "MAJF", "MFAJ", "MFJA", "MJAF", "MJFA",  //
    "AFJ",  "AJF",  "FAJ",  "FJA",  "JAF",  "JFA",  "AFM",  "AMF",   //
    "FAM",  "FMA",  "MAF",  "MFA",  "AJM",  "AMJ",  "JAM",  "JMA",   //
    "MAJ",  "MJA",  "FJM",  "FMJ",  "JFM",  "JMF",  "MFJ",  "MJF",   //
    "AF",   "FA",   "AJ",   "JA",   "AM",   "MA",   "FJ",   "JF",    //
    "FM",   "MF",   "JM",   "MJ",   "A",    "F",    "J",    "M",
};

constexpr std::array<PackageOrder, 64> kPackageOrders = [] {
    std::array<PackageOrder, 64> table{};
    for (std::size_t i = 0; i < table.size(); ++i) table[i] = lf_order(kChoiceInitials[i]);
    return table;
}();

// Folders of scenery and aircraft makers that hold no AI liveries, tested in
// this order on a folder's full path.
constexpr std::array<std::string_view, 9> kSkipWords = {"airport",   "lvfr",     "mkstudios", "simwings", "fsdreamteam",
                                                        "navigraph", "flytampa", "inibuilds", "_CVT_"};

bool lf_has(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

std::string_view lf_plural(std::size_t count) { return count == 1 ? "" : "s"; }

// The entries of the Community folder in listing order; each error met is
// logged with `log` as `warning` (folder, system error text). Nothing when
// the folder itself cannot be listed.
std::optional<std::vector<OsDirEntry>> lf_listCommunity(const fs::path& community, std::string_view warning,
                                                        void (*log)(std::string_view)) {
    const std::string communityText = gf_pathToUtf8(community);
    const auto warn = [&](const fs::path&, const std::error_code& ec) {
        log(fmt::format(fmt::runtime(warning), communityText, ec.message()));
    };
    std::vector<OsDirEntry> entries;
    if (const OsResult listed = gf_osListFolder(community, entries, warn); listed.failed()) {
        warn(community, listed.error());
        return std::nullopt;
    }
    return entries;
}

// An automatic scan that found nothing gives the user the choice back.
void lf_enableAutomaticChoice() {
    gf_enableControl(LIG_AUTOMATIC.controlId, true);
    gf_enableControl(AI_PACKAGE_SELECTOR.controlId, true);
}

}  // namespace

std::string_view gf_aiPackageKindName(AIPackageKind kind) {
    switch (kind) {
        case AIPackageKind::AIG: return "AIG";
        case AIPackageKind::FSLTL: return "FSLTL";
        case AIPackageKind::JF: return "JF";
        case AIPackageKind::MTL: return "IVAO_MTL";
    }
    return "unknown";
}

void gf_setLiveriesScanRootHookForTest(LiveriesScanRootHook hook) { l_rootHook = std::move(hook); }

// --- roots ---------------------------------------------------------------------

std::span<const AIPackageKind> lf_aiPackageKinds(std::size_t index) {
    if (index >= kPackageOrders.size()) return {};
    const PackageOrder& order = kPackageOrders[index];
    return std::span<const AIPackageKind>(order.kinds.data(), order.count);
}

bool lf_isAIPackageFolder(AIPackageKind kind, std::string_view folderName) {
    if (lf_has(folderName, "_CVT_")) return false;
    switch (kind) {
        case AIPackageKind::AIG:
            // The beta channel is published for the 2020 simulator only.
            if (lf_has(folderName, "aig-aitraffic-oci-beta")) return isMSFS2020();
            return lf_has(folderName, "aig-aitraffic-oci");
        case AIPackageKind::FSLTL: return lf_has(folderName, "fsltl-traffic-base");
        case AIPackageKind::JF:
            return lf_has(folderName, "justflight-aircraft-traffic-fleet") ||
                   lf_has(folderName, "justflight-fstraffic-module");
        case AIPackageKind::MTL: return lf_has(folderName, "IVAO_MTL");
    }
    return false;
}

void lf_findAIPackageFolders(const fs::path& community, std::span<const AIPackageKind> kinds,
                             std::vector<fs::path>& roots) {
    // A Community folder that cannot be listed gives no package folder.
    const std::vector<OsDirEntry> entries =
        lf_listCommunity(community, "Automatic AI package scan warning in '{}': {}", &gf_log)
            .value_or(std::vector<OsDirEntry>{});
    std::vector<std::optional<fs::path>> found(kinds.size());
    std::size_t missing = kinds.size();
    for (const OsDirEntry& entry : entries) {
        if (missing == 0) break;
        if (!entry.isFolder()) continue;
        for (std::size_t i = 0; i < kinds.size(); ++i) {
            if (found[i] || !lf_isAIPackageFolder(kinds[i], entry.name)) continue;
            found[i] = entry.path;
            --missing;
            gf_log(fmt::format("Automatic {} scan found folder: '{}'", gf_aiPackageKindName(kinds[i]),
                               gf_pathToUtf8(entry.path)));
            break;
        }
    }
    for (const auto& folder : found) {
        if (folder) roots.push_back(*folder);
    }
}

void lf_findUserAITrafficFolders(const fs::path& community, std::vector<fs::path>& roots) {
    const std::optional<std::vector<OsDirEntry>> entries =
        lf_listCommunity(community, "Automatic user-aitraffic scan warning in '{}': {}", &gf_logError);
    if (!entries) return;
    for (const OsDirEntry& entry : *entries) {
        // Only a folder can be walked: an archive of the package kept beside
        // it ("user-aitraffic-old.zip") must not take the folder's place.
        if (!entry.isFolder() || !lf_has(entry.name, "user-aitraffic") || lf_has(entry.name, "_CVT_")) {
            continue;
        }
        roots.push_back(entry.path);
        gf_log(fmt::format("Automatic user-aitraffic scan found folder: '{}'", gf_pathToUtf8(entry.path)));
        return;
    }
}

void lf_selectAIPackages(const fs::path& community, std::vector<fs::path>& roots) {
    const std::optional<std::size_t> index = AI_PACKAGE_SELECTOR.indexOfValue();
    const std::span<const AIPackageKind> kinds = index ? lf_aiPackageKinds(*index) : std::span<const AIPackageKind>{};
    if (kinds.empty()) throw std::runtime_error(fmt::format("{} not set", AI_PACKAGE_SELECTOR.name));
    lf_findAIPackageFolders(community, kinds, roots);
    lf_findUserAITrafficFolders(community, roots);
}

void lf_checkLfolderPaths(std::vector<fs::path>& roots) {
    const StringParameter* const parameters[] = {&lfolder0, &lfolder1, &lfolder2, &lfolder3, &lfolder4,
                                                 &lfolder5, &lfolder6, &lfolder7, &lfolder8, &lfolder9};
    for (const StringParameter* parameter : parameters) {
        const std::string value = parameter->value();
        if (value.empty()) continue;
        const fs::path path(value);
        std::error_code ec;
        const bool exists = fs::exists(path, ec);
        if (ec || !exists) {
            gf_logError(fmt::format("{}: '{}' does not exist", parameter->name, value));
            throw tavo::UserRelatedException(
                243,
                fmt::format("the path pointed to by parameter '{}' does not exist, see Log.txt!", parameter->name));
        }
        roots.push_back(path);
    }
}

// --- walking one root ------------------------------------------------------------

bool lf_entersLiveryFolder(std::string_view folderPath) {
    if (folderPath.size() >= kMaxFolderPathBytes) return false;
    for (const std::string_view word : kSkipWords) {
        if (lf_has(folderPath, word)) return false;
    }
    return true;
}

bool lf_isAircraftCfgName(std::string_view name) {
    constexpr std::string_view cfg = "aircraft.cfg";
    if (name.size() != cfg.size()) return false;
    for (std::size_t i = 0; i < cfg.size(); ++i) {
        if (gf_toLowerChar(name[i]) != cfg[i]) return false;
    }
    return true;
}

void lf_searchLiveriesInFolder(std::int16_t priority, const fs::path& root) {
    const std::string rootText = gf_pathToUtf8(root);
    const auto filePriority = static_cast<std::uint32_t>(priority);
    const auto visit = [&](const OsDirEntry& entry) {
        if (entry.isFolder()) return lf_entersLiveryFolder(gf_pathToUtf8(entry.path));
        if (!entry.isRegularFile() || !lf_isAircraftCfgName(entry.name)) return false;
        const std::string pathText = gf_pathToUtf8(entry.path);
        std::vector<ScannedLivery> records = lf_has(pathText, "ivao_x-csl") || lf_has(pathText, "IVAO_MTL")
                                                 ? lf_searchLiveriesinIVAOFile(filePriority, entry.path)
                                                 : lf_searchLiveriesinFile(filePriority, entry.path);
        scannedLiveries.insert(scannedLiveries.end(), std::make_move_iterator(records.begin()),
                               std::make_move_iterator(records.end()));
        return false;
    };
    // A folder of the tree that cannot be read is passed over; the rest of
    // the root is still scanned.
    const auto passOver = [&rootText](const fs::path& path, const std::error_code& ec) {
        gf_logError(fmt::format("liveries search in {}: {} passed over, cause: {}", rootText, gf_pathToUtf8(path),
                                ec.message()));
    };
    try {
        if (const OsResult walked = gf_osWalkSorted(root, visit, passOver); walked.failed()) {
            gf_logError(fmt::format("Could not start liveries search in {}, cause: {}", rootText, walked.message()));
        }
    } catch (const std::exception& e) {
        gf_logError(fmt::format("liveries search in {} aborted, cause: {}", rootText, e.what()));
    } catch (...) {
        gf_logError(fmt::format("liveries search in {} aborted, cause: unknown", rootText));
    }
}

// --- the search ------------------------------------------------------------------

void lf_readDontUseLiveries() {
    dontUseTitles.clear();
    try {
        if (fs::exists(regcodesEncFile)) {
            gf_readDontUseTitlesFile(regcodesEncFile);
            if (fs::is_directory(myRegcodesPath)) gf_readDontUseTitlesFolder(myRegcodesPath);
            gf_log(fmt::format("{:5} don't use liveries", dontUseTitles.size()));
            lf_writeScanListFile(dontUseTitles, lf_scanListFileName()[dontUseTitlesList]);
        } else {
            gf_logError(fmt::format("{} not available", gf_pathToUtf8(regcodesEncFile)));
        }
    } catch (const std::exception& e) {
        gf_logError(fmt::format("exception: {}", e.what()));
    }
}

int lf_searchLiveries(const std::vector<fs::path>& roots, bool prioritize) {
    scannedLiveries.clear();
    scannedLiveries.reserve(kReservedLiveries);
    gf_removeFilesFromDirectory(outputInfoDir);
    gf_removeFilesFromDirectory(outputErrorsDir);
    lf_readDontUseLiveries();

    std::int16_t priority = 0;
    for (const fs::path& root : roots) {
        if (root.empty()) continue;
        const std::string rootText = gf_pathToUtf8(root);
        std::error_code ec;
        const fs::file_status status = fs::status(root, ec);
        if (ec || !fs::exists(status)) {
            gf_log(rootText + " does not exist, skipped!");
            continue;
        }
        if (!fs::is_directory(status)) {
            gf_log(rootText + " is not a folder name, skipped!");
            continue;
        }
        if (priority < kLowestRootPriority) ++priority;
        if (l_rootHook) l_rootHook(root);
        if (!keepRunning()) return kLiveriesScanStopped;
        const std::size_t before = scannedLiveries.size();
        lf_searchLiveriesInFolder(priority, root);
        const std::size_t added = scannedLiveries.size() - before;
        const std::string foundIn = fmt::format("found in {}", rootText);
        if (added == 0) {
            gf_log(fmt::format("No liveries {}", foundIn));
        } else {
            gf_log(fmt::format("{:5} liverie{} {}", added, lf_plural(added), foundIn));
        }
    }
    if (!keepRunning()) return kLiveriesScanStopped;
    if (scannedLiveries.empty()) return kLiveriesScanNoLivery;

    if (roots.size() > 1) {
        if (prioritize) {
            gf_log("\nPrioritizing the scanned liveries ...");
            const std::size_t removed = lf_prioritizeLiveries();
            gf_log(fmt::format("{:5} same airl+model liverie{} removed because from lower ai-package", removed,
                               lf_plural(removed)));
        }
        gf_log(fmt::format("{:5} in total", scannedLiveries.size()));
    }
    if (const std::size_t duplicates = lf_sortAndRemoveDuplicateLiveries(); duplicates > 0) {
        gf_logError(fmt::format("{} duplicates removed ?", duplicates));
    }
    lf_writeScanReport();
    gf_flushLog();
    if (!gf_writeScannedLiveries()) return kLiveriesScanNotWritten;
    gf_flushLog();
    return kLiveriesScanDone;
}

int lf_runLiveriesScan(const std::vector<fs::path>& roots, bool prioritize, bool automatic) {
    const int result = lf_searchLiveries(roots, prioritize);
    if (result == kLiveriesScanDone) {
        Gui::enqueueUpdate(GuiUpdate::liveriesCount(scannedLiveries.size()));
        Gui::enqueueUpdate(GuiUpdate::repaint(kRepaintSettings));
    } else if (result == kLiveriesScanNoLivery) {
        if (automatic) {
            lf_enableAutomaticChoice();
            throw tavo::UserRelatedException(553,
                                             "Automatic scan has not found any liveries in your packages, choose a "
                                             "different selection, or de-select automatic");
        }
        throw tavo::UserRelatedException(53, "no liveries found, did you set lfolderx parameter(s)?");
    }
    return result;
}

void lf_logLiveriesScanEnd() noexcept {
    try {
        lf_clearScanMessages();
        Gui::showTbloHintOrClear();
        Gui::enqueueUpdate(GuiUpdate::repaint(kRepaintHeader));
        gf_logAndFlush("\n++++++++++++++++++++++++ liveries scan ends ++++++++++++++++++++++++++++++++\n");
    } catch (...) {
        // The closing step runs while an exception may be leaving the scan:
        // it must not replace that one.
    }
}

void gf_scanLiveries() {
    scanTitles.reserve(kReservedLiveries);
    dontUseTitles.reserve(kReservedDontUse);
    struct EndOfScan {
        ~EndOfScan() { lf_logLiveriesScanEnd(); }
    } endOfScan;
    try {
        const auto snapshot = settingsSnapshot.load();
        const bool prioritize = snapshot->LIG_PRIORITIZE != 0;
        const bool automatic = snapshot->LIG_AUTOMATIC != 0;
        gf_enableControl(AI_PACKAGE_SELECTOR.controlId, false);
        gf_enableControl(SKIP_LIVERIES_SCAN.controlId, false);
        Gui::addStatusLine("Scanning for liveries ...", false);
        gf_logAndFlush(
            fmt::format("\n++++++++++++++++++++++++ liveries scan {} starts ++++++++++++++++++++++++++++++++",
                        automatic ? "automatic" : "manual"));

        std::vector<fs::path> roots;
        roots.reserve(10);
        if (automatic) {
            if (const std::optional<fs::path> community = gf_checkInstallPath("Community")) {
                lf_selectAIPackages(*community, roots);
            }
        } else {
            lf_checkLfolderPaths(roots);
        }

        if (!roots.empty()) {
            const int result = lf_runLiveriesScan(roots, prioritize, automatic);
            gf_enableControl(SKIP_LIVERIES_SCAN.controlId, true);
            if (result == kLiveriesScanStopped) {
                gf_log("Liveries scan cancelled");
            } else if (result == kLiveriesScanNotWritten) {
                throw std::runtime_error(fmt::format("the new {} could not be committed safely",
                                                     gf_pathToUtf8(gf_liveriesScannedFilePath())));
            }
            return;
        }
        if (automatic) {
            lf_enableAutomaticChoice();
            throw tavo::UserRelatedException(148,
                                             "Automatic scan has not found any AI packages, choose a different "
                                             "selection, or de-select automatic");
        }
        throw tavo::UserRelatedException(
            48, fmt::format("Exit {}, and then set one or more lfolderx parameters to your liveries in the file "
                            "parameters.xml",
                            kProgramName));
    } catch (const std::exception& e) {
        gf_logError(fmt::format("Liveries scan failed: {}", e.what()));
        throw;
    }
}
