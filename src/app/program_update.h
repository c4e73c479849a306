#pragma once
// Preparing a newer program for the user: the update archive is fetched from
// the download server, its single installer unpacked and checked against the
// announced version, and left in new_version/ with a README and the release
// notes. The program never runs the installer itself; the hand-over opens the
// folder for the user and ends the run with NEW VERSION.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/version.h"

// Names in the installation folder (the current folder) and in new_version/.
inline const std::filesystem::path installerFile{"install_new_version.exe"};
inline const std::filesystem::path releaseNotesFile{"ReleaseNotes.pdf"};
inline const std::filesystem::path updateArchiveFile{"latest_version.zip"};
inline const std::filesystem::path readmeFile{"README.txt"};

// The archive holds exactly one file of 1 byte up to this size.
inline constexpr std::uint64_t kMaxInstallerBytes = 1073741824;
// The installer is unpacked in chunks of this size.
inline constexpr std::size_t kUnzipChunkBytes = 524288;

// True when the verified installer stands in new_version/. Every failure is
// logged and gives false; the caller then reports the failed update.
bool lf_installNewVersion(const VersionData& webVersion);

// After lf_installNewVersion succeeded: release notes, README.txt, the file
// manager at new_version/, and the stop request NEW VERSION. Its own failures
// are logged or shown and do not stop it.
void lf_handOverNewVersion(const VersionData& webVersion);

// Empties new_version/ (removing it with its content) and creates it anew.
bool lf_prepareNewVersionDir();
// The first three numbers of the installer's product version; nothing
// (logged) when it cannot be read.
std::optional<VersionData> lf_readInstallerVersion();
// The README's advice for an installation folder: administrator rights are
// needed only for an unwritable folder below a Program Files folder when the
// process is not elevated.
std::string lf_installerAdvice(const std::filesystem::path& installationFolder);
// The path's text begins exactly (same case) with the text.
bool lf_startsWith(const std::filesystem::path& path, std::string_view text);
