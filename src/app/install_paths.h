#pragma once
// Finding the simulator's packages root (the folder that holds Community and
// Official, or Official2024 for MSFS 2024) without asking the user: first the
// simulator's own Packages folder under roaming AppData, then the folder that
// the simulator's UserCfg.opt names in its "InstalledPackagesPath" line.
// Every choice follows the simulator chosen at start (isMSFS2020). No
// exception leaves these functions: a file-system test that fails counts as
// "not a folder".

#include <array>
#include <filesystem>

// The packages root of the chosen simulator, or an empty path when none is
// found. The caller stores a found root in the install path parameter.
std::filesystem::path gf_findSimulatorPaths();

// The four places UserCfg.opt may be, in search order.
std::array<std::filesystem::path, 4> lf_userCfgCandidates();
// The first candidate that exists (as anything), or an empty path.
std::filesystem::path lf_findUserCfg();
// The folder named by the first line of UserCfg.opt that contains
// "InstalledPackagesPath", when it exists as a folder; else an empty path.
// The file may be UTF-8 (with or without a byte order mark), UTF-16 or ANSI.
std::filesystem::path lf_readInstalledPackagesPath();
// The path, its "Community" and its official subfolder all exist as folders.
bool lf_isPackagesRoot(const std::filesystem::path& path);
