#include "app/program_update.h"

#include <fstream>
#include <system_error>

#include <fmt/format.h>

#include "foundation/download.h"
#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/textfile.h"
#include "foundation/zip_archive.h"
#include "platform/os/installer.h"
#include "platform/os/os.h"
#include "platform/window/window.h"
#include "services/gui.h"
#include "services/stop.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kProgramName = "TAVO";

std::string lf_text(const fs::path& path) { return gf_pathToUtf8(path); }

// Unpacks the archive's single installer into installerFile. True when the
// installer was written whole; every failure is logged here.
bool lf_unpackInstaller() {
    ZipArchive archive;
    if (!archive.openForReading(updateArchiveFile)) {
        gf_logError(fmt::format("Could not open {}", lf_text(updateArchiveFile)));
        return false;
    }
    const auto entries = archive.entries();
    if (!entries) {
        gf_logError(fmt::format("Could not open {}", lf_text(updateArchiveFile)));
        return false;
    }
    const ZipEntry* installer = nullptr;
    std::size_t files = 0;
    for (const ZipEntry& entry : *entries) {
        if (!entry.isFolder()) {
            ++files;
            installer = &entry;
        }
    }
    if (files != 1) {
        gf_logError(fmt::format("Update archive contains {} files instead of exactly one", files));
        return false;
    }
    if (installer->size < 1 || installer->size > kMaxInstallerBytes) {
        gf_logError(fmt::format("Invalid installer size in update archive: {} bytes", installer->size));
        return false;
    }
    std::ofstream out(installerFile, std::ios::binary | std::ios::trunc);
    if (!out.is_open()) {
        gf_logError(fmt::format("Could not create output file {}", lf_text(installerFile)));
        return false;
    }
    const int result = archive.copyEntry(installer->index, out, kUnzipChunkBytes);
    out.flush();
    out.close();
    std::error_code ec;
    const std::uintmax_t written = fs::file_size(installerFile, ec);
    const std::uintmax_t actual = ec ? 0 : written;
    if (result == 0 && out.good() && !ec && actual == installer->size) {
        gf_log(fmt::format("{} unzipped to {}", lf_text(updateArchiveFile), lf_text(installerFile)));
        return true;
    }
    gf_logError(fmt::format("Unzipping failed or produced an incomplete installer (result {}, expected {}, actual {})",
                            result, installer->size, actual));
    gf_osRemoveFile(installerFile);
    return false;
}

fs::path lf_placedInstaller() { return newVersionDir / installerFile.filename(); }

fs::path lf_partInstaller() {
    fs::path temporary = lf_placedInstaller();
    temporary += ".part";
    return temporary;
}

// Moves the verified installer into new_version/ through a temporary name, so
// that the folder never shows a half-moved installer under its real name.
bool lf_moveInstallerIntoPlace() {
    const fs::path target = lf_placedInstaller();
    const fs::path temporary = lf_partInstaller();
    gf_osRemoveFile(target);
    gf_osRemoveFile(temporary);

    std::error_code ec;
    const std::uintmax_t size = fs::file_size(installerFile, ec);
    if (ec) {
        gf_log(fmt::format("file_size({}) failed: {}", lf_text(installerFile), ec.message()));
        return false;
    }
    if (const OsResult moved = gf_osMoveFile(installerFile, temporary, true); moved.failed()) {
        gf_log(fmt::format("could not rename {} => {}: {}", lf_text(installerFile), lf_text(temporary), moved.message()));
        return false;
    }
    const std::uintmax_t movedSize = fs::file_size(temporary, ec);
    if (ec) {
        gf_log(fmt::format("file_size({}) failed: {}", lf_text(temporary), ec.message()));
        return false;
    }
    if (movedSize != size) {
        gf_log(fmt::format("rename {} => {} suspicious: size {} != {}", lf_text(installerFile), lf_text(temporary),
                           movedSize, size));
        return false;
    }
    if (const OsResult finished = gf_osMoveFile(temporary, target, true); finished.failed()) {
        gf_log(fmt::format("could not finalize rename {} => {}: {}", lf_text(temporary), lf_text(target),
                           finished.message()));
        return false;
    }
    return true;
}

}  // namespace

bool lf_startsWith(const fs::path& path, std::string_view text) {
    return std::string_view(path.native()).starts_with(text);
}

std::string lf_installerAdvice(const fs::path& installationFolder) {
    const ProgramFilesFolders folders = gf_osProgramFilesFolders();
    // A folder the system could not name is no prefix of anything.
    const auto below = [&](const fs::path& folder) {
        return !folder.empty() && lf_startsWith(installationFolder, folder.native());
    };
    const bool inProgramFiles = below(folders.programFiles) || below(folders.programFilesX86);
    if (inProgramFiles && gf_osProbeWritable(installationFolder).failed() && !gf_osIsElevated()) {
        return "A new version is available. Run the installer as Administrator";
    }
    return "A new version is available.\nThe installer can be executed normally (no Administrator rights required).";
}

bool lf_prepareNewVersionDir() {
    std::error_code ec;
    fs::remove(newVersionDir, ec);
    if (ec == std::errc::directory_not_empty) {
        ec.clear();
        fs::remove_all(newVersionDir, ec);
    }
    if (ec) {
        gf_logError(fmt::format("Could not empty new-version folder: {}", ec.message()));
        return false;
    }
    fs::create_directory(newVersionDir, ec);
    if (ec) {
        gf_logError(fmt::format("Could not create new-version folder: {}", ec.message()));
        return false;
    }
    return true;
}

std::optional<VersionData> lf_readInstallerVersion() {
    const ProductVersionResult read = gf_osReadProductVersion(installerFile);
    switch (read.status) {
        case ProductVersionStatus::ok:
            return VersionData{read.version.major, read.version.minor, read.version.patch};
        case ProductVersionStatus::sizeQueryFailed:
            gf_logError(fmt::format("Could not read ProductVersion size from '{}': error {}", lf_text(installerFile),
                                    read.systemError));
            break;
        case ProductVersionStatus::readFailed:
            gf_logError(fmt::format("Could not read ProductVersion from '{}': error {}", lf_text(installerFile),
                                    read.systemError));
            break;
        case ProductVersionStatus::invalidData:
            gf_logError(fmt::format("Invalid ProductVersion data in '{}'", lf_text(installerFile)));
            break;
    }
    return std::nullopt;
}

bool lf_installNewVersion(const VersionData& webVersion) {
    if (!lf_prepareNewVersionDir()) {
        return false;
    }
    if (const OsResult ec = gf_osRemoveFile(installerFile); ec.failed()) {
        gf_logError(fmt::format("Could not remove stale installer '{}': {}", lf_text(installerFile), ec.message()));
        return false;
    }

    bool unpacked = false;
    const std::string url = fmt::format("{}{}_{}", gf_downloadBaseUrl() + "release/", kProgramName, lf_text(updateArchiveFile));
    bool downloaded = false;
    {
        Downloader downloader;
        downloaded = downloader.download(url, updateArchiveFile, true);
    }
    if (!downloaded) {
        Gui::addStatusLine(fmt::format("Downloading program installer file version {} failed", webVersion), true);
    } else {
        gf_log(fmt::format("Downloaded {} => {}", url, lf_text(updateArchiveFile)));
        unpacked = lf_unpackInstaller();
    }
    if (const OsResult ec = gf_osRemoveFile(updateArchiveFile); ec.failed()) {
        gf_logError(fmt::format("Warning: could not remove downloaded zip: {}", ec.message()));
    }

    std::error_code ec;
    if (!unpacked || !fs::exists(installerFile, ec)) {
        gf_logError(fmt::format("{} does not exists?", lf_text(installerFile)));
        return false;
    }
    const auto installerVersion = lf_readInstallerVersion();
    if (!installerVersion) {
        gf_logError("Downloaded installer has no readable ProductVersion");
        gf_osRemoveFile(installerFile);
        return false;
    }
    if (*installerVersion != webVersion) {
        gf_logError(fmt::format("Downloaded installer ProductVersion {} does not match web version {}", *installerVersion,
                                webVersion));
        gf_osRemoveFile(installerFile);
        return false;
    }
    gf_log(fmt::format("Downloaded installer ProductVersion {} verified", *installerVersion));

    if (!lf_moveInstallerIntoPlace()) {
        // The installer may be up to 1 GiB, in the program's folder or as
        // the .part copy: a failed update takes back what it wrote.
        gf_osRemoveFile(installerFile);
        gf_osRemoveFile(lf_partInstaller());
        return false;
    }
    if (const OsResult removed = gf_osRemoveFile(installerFile); removed.failed()) {
        gf_logError(fmt::format("Warning: could not remove extracted: {}", removed.message()));
    }
    return true;
}

void lf_handOverNewVersion(const VersionData& webVersion) {
    const fs::path notesTarget = newVersionDir / releaseNotesFile;
    {
        Downloader downloader;
        if (!downloader.download(gf_downloadBaseUrl() + "docs/" + lf_text(releaseNotesFile), notesTarget, true)) {
            gf_logError(fmt::format("could not download {} to {}", lf_text(releaseNotesFile), lf_text(notesTarget)));
        }
    }

    std::error_code ec;
    const fs::path currentFolder = fs::current_path(ec);
    const std::string readme = fmt::format("Deze installer installeert {} {}.\n\n{}", kProgramName, webVersion,
                                           lf_installerAdvice(ec ? fs::path(".") : currentFolder));
    gf_log(readme);
    if (!gf_writeTextFile(readme, newVersionDir / readmeFile, true)) {
        gf_logError(fmt::format("Could not write {}", lf_text(newVersionDir / readmeFile)));
    }

    bool opened = false;
    if (ec) {
        gf_logError(fmt::format("Could not determine current folder: {}", ec.message()));
    } else {
        try {
            opened = gf_openInShell(currentFolder / newVersionDir / installerFile);
        } catch (const std::exception& e) {
            gf_logError(fmt::format("Could not open {}: {}", lf_text(newVersionDir), e.what()));
        }
        if (!opened) {
            gf_messageBox(WindowHandle::None, "Could not open File Explorer at new version", kProgramName,
                          MessageBoxIcon::Exclamation, MessageBoxButtons::Ok);
        }
    }
    if (!opened) {
        Gui::addStatusLine("Opening file explorer at the new version failed? Try manually via the Ombrevale website.",
                           true);
    }
    requestStop(StopReason::NewVersion, 0);
}
