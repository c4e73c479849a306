#pragma once
// The airport scan: once per start, after the traffic source is chosen, the
// simulator's package folders are searched for add-on airports with weekly
// traffic; each is linked to the program's archive or gets a generated
// airport file in airports/my_simaddon or airports/my_thirdparty. Both
// folders are rebuilt inside one AirportScanTransaction, so a failed, empty
// or stopped scan leaves the previous ones in place. Runs on the calling
// (start) thread; the window hears of it only through posted GUI updates.

#include <filesystem>
#include <string_view>
#include <vector>

// The entry the start functions of both traffic sources call. Never throws.
void gf_scanAirports();

// The roots of the selected simulator that the install path resolves:
// MSFS 2020 "Official", "Community"; MSFS 2024 "Community",
// "StreamedPackages", "Official2024", "Community2024".
std::vector<std::filesystem::path> lf_scanRoots();
// Runs the scan of the roots (with its TBLO archive); false (with the warning
// line) when the output folders hold no file afterwards.
bool lf_scanAndWarn(const std::vector<std::filesystem::path>& roots);
bool lf_runAirportsScan(const std::vector<std::filesystem::path>& roots);
void lf_scanRootFolder(const std::vector<std::filesystem::path>& roots);
// The walk of an ordinary root, following links to folders once each.
void lf_scanFolderTree(const std::filesystem::path& root);
// The package-by-package scan of a StreamedPackages root.
void lf_scanPackageFolder(const std::filesystem::path& root);
// A folder the walk does not enter: a path of 250 characters or more, or
// one that holds a skip word in any letter case.
bool lf_isSkippedPackage(const std::filesystem::path& path);
// True when the last scan's walk ended on a stop request.
bool gf_airportScanWalkStopped();
