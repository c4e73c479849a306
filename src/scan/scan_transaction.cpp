#include "scan/scan_transaction.h"

#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>

#include <fmt/format.h>

#include "foundation/files.h"
#include "foundation/text.h"
#include "platform/os/os.h"

namespace fs = std::filesystem;

namespace {

std::mutex l_hookMutex;
ScanFailPointHook l_hook;  // guarded by l_hookMutex

const fs::path& outputFolder(int index) { return index == 0 ? mySimaddonDir : myThirdpartyDir; }

// The marker's two flags; nothing when the marker cannot be read or does not
// hold exactly two flags of 0 or 1.
std::optional<std::pair<bool, bool>> lf_readMarker() {
    const std::optional<std::string> text = gf_readWholeFile(scanMarkerFile);
    if (!text) return std::nullopt;
    return gf_parseScanMarker(*text);
}

// Whether the path exists; a status error is a failure.
bool lf_exists(const fs::path& path, std::error_code& ec) {
    const fs::file_status status = fs::symlink_status(path, ec);
    if (status.type() == fs::file_type::not_found) ec.clear();
    return !ec && fs::exists(status);
}

// Puts one output folder back into its state before the scan: its backup
// renamed back when there is one, the folder removed when it did not exist
// before. A folder that existed and has no backup was never moved and is kept.
bool lf_restoreFolder(int index, bool existed, ScanFailPoint afterRemove, ScanFailPoint afterRestore) {
    const fs::path& folder = outputFolder(index);
    const fs::path backup = lf_backupPath(folder);
    std::error_code ec;
    const bool hasBackup = lf_exists(backup, ec);
    if (ec) return false;
    if (!hasBackup && existed) return true;
    if (gf_osRemoveTree(folder).failed()) return false;
    gf_scanFailPoint(afterRemove, index);
    if (!hasBackup) return true;
    if (gf_osRenameFolder(backup, folder).failed()) return false;
    gf_scanFailPoint(afterRestore, index);
    return true;
}

}  // namespace

void gf_setScanFailPointHook(ScanFailPointHook hook) {
    std::lock_guard lock(l_hookMutex);
    l_hook = std::move(hook);
}

void gf_scanFailPoint(ScanFailPoint point, int folderIndex) {
    ScanFailPointHook hook;
    {
        std::lock_guard lock(l_hookMutex);
        hook = l_hook;
    }
    if (hook) hook(point, folderIndex);
}

std::string gf_scanMarkerText(bool simaddonExisted, bool thirdpartyExisted) {
    return fmt::format("{} {}\n", simaddonExisted ? 1 : 0, thirdpartyExisted ? 1 : 0);
}

std::optional<std::pair<bool, bool>> gf_parseScanMarker(std::string_view text) {
    if (text.ends_with('\n')) text.remove_suffix(1);
    if (text.size() != 3 || text[1] != ' ') return std::nullopt;
    auto flag = [](char c) { return c == '0' || c == '1'; };
    if (!flag(text[0]) || !flag(text[2])) return std::nullopt;
    return std::pair{text[0] == '1', text[2] == '1'};
}

fs::path lf_backupPath(const fs::path& folder) {
    fs::path backup = folder;
    backup += ".scan_backup";
    return backup;
}

bool lf_recoverAirportScan() {
    std::error_code ec;
    const bool markerPresent = lf_exists(scanMarkerFile, ec);
    if (ec) return false;
    if (markerPresent) {
        const auto flags = lf_readMarker();
        if (!flags) return false;
        const bool existed[2] = {flags->first, flags->second};
        for (int i = 0; i < 2; ++i) {
            if (!lf_restoreFolder(i, existed[i], ScanFailPoint::recoveryAfterRemove,
                                  ScanFailPoint::recoveryAfterRestore)) {
                return false;
            }
        }
        if (gf_osRemoveFile(scanMarkerFile).failed() || gf_osSyncFolder(airportsDir).failed()) return false;
        return true;
    }
    for (int i = 0; i < 2; ++i) {
        const fs::path backup = lf_backupPath(outputFolder(i));
        const bool hasBackup = lf_exists(backup, ec);
        if (ec) return false;
        if (!hasBackup) continue;
        if (gf_osRemoveTree(backup).failed()) return false;
        gf_scanFailPoint(ScanFailPoint::recoveryAfterBackupRemove, i);
    }
    return true;
}

AirportScanTransaction::AirportScanTransaction() {
    if (!lf_recoverAirportScan()) throw std::runtime_error("could not recover airport data from an interrupted scan");
    try {
        begin();
    } catch (...) {
        if (active_) rollback();
        throw;
    }
}

AirportScanTransaction::~AirportScanTransaction() {
    if (active_) rollback();
}

void AirportScanTransaction::begin() {
    if (const OsResult ec = gf_osCreateFolder(airportsDir); ec.failed()) {
        throw std::runtime_error(fmt::format("could not create airports folder: {}", ec.message()));
    }
    for (int i = 0; i < 2; ++i) {
        std::error_code ec;
        existed_[i] = lf_exists(outputFolder(i), ec);
        if (ec) throw fs::filesystem_error("status", outputFolder(i), ec);
    }
    const std::string marker = gf_scanMarkerText(existed_[0], existed_[1]);
    if (gf_osReplaceFileContent(scanMarkerFile, marker).failed()) {
        throw std::runtime_error("could not create airport scan transaction marker");
    }
    active_ = true;
    gf_scanFailPoint(ScanFailPoint::afterMarker);
    for (int i = 0; i < 2; ++i) {
        const fs::path& folder = outputFolder(i);
        if (existed_[i]) {
            if (const OsResult ec = gf_osRenameFolder(folder, lf_backupPath(folder)); ec.failed()) {
                throw std::runtime_error(fmt::format("could not preserve {} before airport scan: {}",
                                                     gf_pathToUtf8(folder), ec.message()));
            }
            gf_scanFailPoint(ScanFailPoint::afterPreserve, i);
        }
        if (const OsResult ec = gf_osCreateFolder(folder); ec.failed()) {
            throw std::runtime_error(
                fmt::format("could not create airport scan folder {}: {}", gf_pathToUtf8(folder), ec.message()));
        }
        gf_scanFailPoint(ScanFailPoint::afterCreate, i);
    }
}

void AirportScanTransaction::commit() {
    std::error_code ec;
    const bool markerPresent = lf_exists(scanMarkerFile, ec);
    if (!ec && !markerPresent) ec = std::make_error_code(std::errc::no_such_file_or_directory);
    if (!ec) ec = gf_osRemoveFile(scanMarkerFile).error();
    if (!ec) ec = gf_osSyncFolder(airportsDir).error();
    if (ec) throw std::runtime_error(fmt::format("could not commit airport scan transaction: {}", ec.message()));
    active_ = false;
    gf_scanFailPoint(ScanFailPoint::afterCommitMarkerDelete);
    for (int i = 0; i < 2; ++i) {
        // A backup left here is removed by the next recovery.
        gf_osRemoveTree(lf_backupPath(outputFolder(i)));
    }
}

void AirportScanTransaction::rollback() noexcept {
    bool allGood = true;
    try {
        for (int i = 0; i < 2; ++i) {
            if (!lf_restoreFolder(i, existed_[i], ScanFailPoint::rollbackAfterRemove,
                                  ScanFailPoint::rollbackAfterRestore)) {
                allGood = false;
            }
        }
        if (allGood) gf_osRemoveFile(scanMarkerFile);
    } catch (...) {
        // Left for the next start's recovery: the marker stays.
    }
    active_ = false;
}
