#pragma once
// The liveries scan: finds the AI liveries the simulator can create and
// writes them to the scanned-liveries file. Its roots are the folders of AI
// packages, in order of preference: found in the simulator's Community folder
// (automatic scan: AIG, FSLTL, Just Flight and IVAO MTL in the order the user
// chose, then one user-aitraffic folder) or named by the user in lfolder0 to
// lfolder9 (manual scan). Each root is walked for aircraft.cfg files; their
// records are merged by preference, reported and written.
//
// Runs once per start on the main thread, before traffic runs: the scan's
// lists are touched without locks, and the main window is changed only
// through the GUI update queue and the controls' enable operation, so the
// window stays live while the scan walks.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

enum class AIPackageKind : std::uint8_t { AIG = 0, FSLTL = 1, JF = 2, MTL = 3 };

// "AIG", "FSLTL", "JF", "IVAO_MTL"; "unknown" for any other value.
std::string_view gf_aiPackageKindName(AIPackageKind kind);

// Result of a search.
inline constexpr int kLiveriesScanDone = 0;        // liveries found, the file written
inline constexpr int kLiveriesScanStopped = 1;     // the program is stopping
inline constexpr int kLiveriesScanNoLivery = 2;    // no livery in any root
inline constexpr int kLiveriesScanNotWritten = 3;  // the file could not be written

// Roots from the tenth on share the lowest preference.
inline constexpr std::int16_t kLowestRootPriority = 10;
// A folder whose full path (UTF-8) is this long or longer is not entered.
inline constexpr std::size_t kMaxFolderPathBytes = 250;

// The scan. Failures leave as exceptions, logged "Liveries scan failed: ..."
// first; the previous scanned-liveries file then stays as it was. On every way
// out the scan's lists are emptied, the hint line is restored and the end
// banner is logged.
void gf_scanLiveries();

// Automatic roots: the package folders of the current AI_PACKAGE_SELECTOR
// choice, then one user-aitraffic folder. std::runtime_error
// "AI_PACKAGE_SELECTOR not set" when the choice is none of its texts.
void lf_selectAIPackages(const std::filesystem::path& community, std::vector<std::filesystem::path>& roots);
// The package kinds of choice `index` of AI_PACKAGE_SELECTOR, in the order the
// choice names them; empty for an index past the 64 choices.
std::span<const AIPackageKind> lf_aiPackageKinds(std::size_t index);
// Appends, in the order of `kinds`, the first folder of Community (in listing
// order) that each kind takes; a kind with no folder adds nothing.
void lf_findAIPackageFolders(const std::filesystem::path& community, std::span<const AIPackageKind> kinds,
                             std::vector<std::filesystem::path>& roots);
bool lf_isAIPackageFolder(AIPackageKind kind, std::string_view folderName);
// Appends the first folder of Community whose name holds "user-aitraffic".
void lf_findUserAITrafficFolders(const std::filesystem::path& community, std::vector<std::filesystem::path>& roots);
// Manual roots: the set lfolder parameters in order. A path that does not
// exist fails the scan (code 243).
void lf_checkLfolderPaths(std::vector<std::filesystem::path>& roots);

// The search, then the window's livery count; codes 553 / 53 when no livery
// was found.
int lf_runLiveriesScan(const std::vector<std::filesystem::path>& roots, bool prioritize, bool automatic);
// Walks the roots into scannedLiveries, merges, reports and writes the file.
int lf_searchLiveries(const std::vector<std::filesystem::path>& roots, bool prioritize);
// Appends the records of one root to scannedLiveries; never throws for what
// it finds in the tree (logged instead).
void lf_searchLiveriesInFolder(std::int16_t priority, const std::filesystem::path& root);
// Whether the walk enters a folder with this full path.
bool lf_entersLiveryFolder(std::string_view folderPath);
// Whether an entry of this name is an aircraft.cfg (ASCII letters folded).
bool lf_isAircraftCfgName(std::string_view name);
// Loads dontUseTitles from the AIG regcodes file and input/my_regcodes and
// writes them to the report; problems are logged, never thrown.
void lf_readDontUseLiveries();
// The closing step of every scan; never throws.
void lf_logLiveriesScanEnd() noexcept;

// --- seam for tests ----------------------------------------------------------

// Called with each existing folder root just before the scan asks whether the
// program keeps running and walks it, on the scan's thread. Empty: none.
using LiveriesScanRootHook = std::function<void(const std::filesystem::path& root)>;
void gf_setLiveriesScanRootHookForTest(LiveriesScanRootHook hook);
