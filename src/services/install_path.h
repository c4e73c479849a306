#pragma once
// The simulator's package folders as the scans reach them: a subfolder of the
// install path stored for the simulator chosen at start (MSFS_INSTALL_PATH or
// MSFS_2024_INSTALL_PATH).

#include <filesystem>
#include <optional>

// install path / subfolder when that is an existing folder; else the folder
// of that name in another letter case (as the user may have picked it:
// "community"), in its real case, so that every lookup below it finds it.
// Otherwise nothing, with the error line "Install path is empty?" or
// "'<full path>' does not exist or is not a directory.". Reads the settings
// and the file system anew at every call; never throws for a file-system
// failure (it counts as missing).
std::optional<std::filesystem::path> gf_checkInstallPath(const std::filesystem::path& subfolder);
