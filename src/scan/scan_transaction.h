#pragma once
// Replacing airports/my_simaddon and airports/my_thirdparty all or nothing:
// before a scan the existing folders are moved aside and a marker file is
// written; commit makes the new folders final; a rollback, or after a crash
// the recovery at the next start, puts the old folders back.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

// Places where a crash leaves a state the recovery must handle. In the
// program nothing happens there; tests make a child process end at one.
enum class ScanFailPoint {
    afterMarker,              // begin: marker written, nothing moved yet
    afterPreserve,            // begin: folder moved to its backup
    afterCreate,              // begin: new empty folder created
    duringScan,               // the scan has written part of the new folders
    afterCommitMarkerDelete,  // commit: marker gone, backups still there
    rollbackAfterRemove,      // rollback: new folder removed
    rollbackAfterRestore,     // rollback: backup renamed back
    recoveryAfterRemove,      // recovery: folder removed
    recoveryAfterRestore,     // recovery: backup renamed back
    recoveryAfterBackupRemove,  // recovery without marker: a leftover backup removed
};

// Called at each fail point with the output folder's index (0 my_simaddon,
// 1 my_thirdparty; 0 where no folder is meant). Empty by default.
using ScanFailPointHook = std::function<void(ScanFailPoint, int folderIndex)>;
void gf_setScanFailPointHook(ScanFailPointHook hook);
// Runs the hook, when one is set.
void gf_scanFailPoint(ScanFailPoint point, int folderIndex = 0);

inline const std::filesystem::path scanMarkerFile{"airports/.airport_scan_in_progress"};

// The marker's text: whether my_simaddon and my_thirdparty existed before the
// scan, as "1" or "0" apart by one blank, and a line feed.
std::string gf_scanMarkerText(bool simaddonExisted, bool thirdpartyExisted);
// The two flags of a marker's text; nothing unless it holds exactly two flags
// of 0 or 1 apart by one blank, with or without a final line feed.
std::optional<std::pair<bool, bool>> gf_parseScanMarker(std::string_view text);

std::filesystem::path lf_backupPath(const std::filesystem::path& folder);
// Repairs the output folders after an interrupted scan, commit or rollback;
// false when that failed (the marker then stays for the next attempt).
bool lf_recoverAirportScan();

class AirportScanTransaction {
public:
    // Recovers, then begins; throws std::runtime_error when either fails,
    // after undoing what begin did.
    AirportScanTransaction();
    // Rolls back while active; never throws.
    ~AirportScanTransaction();
    AirportScanTransaction(const AirportScanTransaction&) = delete;
    AirportScanTransaction& operator=(const AirportScanTransaction&) = delete;

    // Makes the new folders final; throws std::runtime_error when the marker
    // cannot be deleted (the transaction then stays active and rolls back).
    void commit();

private:
    void begin();
    void rollback() noexcept;

    bool existed_[2] = {false, false};
    bool active_ = false;
};
