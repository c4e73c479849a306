#include "scan/tblo_archive.h"

#include <string>
#include <system_error>
#include <vector>

#include <fmt/format.h>
#include <zip.h>

#include "airports/airport_files.h"
#include "airports/weekly_traffic.h"
#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/textfile.h"
#include "foundation/zip_archive.h"
#include "platform/os/os.h"
#include "platform/os/sorted_walk.h"
#include "platform/window/window.h"
#include "scan/airport_generation.h"
#include "scan/scan_log.h"
#include "services/gui.h"
#include "settings/parameters.h"

namespace fs = std::filesystem;

namespace {

// This airport is never sent, whatever the scan generated for it.
constexpr std::string_view kNeverSent = "VHHX";

// Where a thirdparty file goes when the official file of its airport is in
// the tblo folder already: both are sent, and each names its airport and
// publisher inside. The longer stem is no airport code, so it meets no other
// file; it starts with the code, as the archive's own entry names do.
fs::path lf_thirdpartyTbloTarget(const IcaoCode& code) {
    const fs::path target = tbloDir / gf_icaoXmlFileName(code);
    std::error_code ec;
    if (!fs::exists(target, ec) && !ec) return target;
    return tbloDir / fmt::format("{}_thirdparty.xml", code);
}

// Copies the generated files of one output folder; the number copied. The
// thirdparty folder, copied after the simaddon one, reports the airports it
// cannot send and never replaces a simaddon file.
std::size_t lf_copyFolderToTblo(const fs::path& folder, bool thirdparty) {
    std::size_t copied = 0;
    for (const IcaoCode& code : gf_listIcaoFiles(folder)) {
        if (code.text() == kNeverSent) continue;
        const fs::path source = folder / gf_icaoXmlFileName(code);
        if (gf_hasWeeklyTraffic(code)) {
            const fs::path target = thirdparty ? lf_thirdpartyTbloTarget(code) : tbloDir / gf_icaoXmlFileName(code);
            if (const OsResult copy = gf_osCopyFile(source, target); copy.failed()) {
                gf_logError(fmt::format("'{}' failed to copy '{}': {}", gf_pathToUtf8(source), gf_pathToUtf8(target),
                                        copy.message()));
            } else {
                ++copied;
                if (target.filename() != gf_icaoXmlFileName(code)) {
                    gf_log(fmt::format("thirdparty {} copied to tblo folder as {}, beside the simaddon file", code,
                                       gf_pathToUtf8(target.filename())));
                }
            }
        } else if (thirdparty) {
            gf_appendScanLogLine(
                fmt::format("'{}' cannot be learned, no stock version with RT Traffic available", code));
        }
        const fs::path link = folder / gf_icaoTxtFileName(code);
        std::error_code ec;
        const bool linked = fs::exists(link, ec);
        if (ec) {
            gf_logError(fmt::format("exists({}) failed: {}", gf_pathToUtf8(link), ec.message()));
        } else if (linked) {
            if (const OsResult removed = gf_osRemoveFile(source); removed.failed()) {
                gf_logError(fmt::format("remove({}) failed: {}", gf_pathToUtf8(source), removed.message()));
            }
        }
    }
    return copied;
}

const char* lf_boolText(bool value) { return value ? "true" : "false"; }

}  // namespace

void lf_copySimaddonToTblo() {
    const std::size_t copied = lf_copyFolderToTblo(mySimaddonDir, false);
    gf_log(fmt::format("{} simaddon file{} copied to tblo folder", copied, copied == 1 ? "" : "s"));
}

void lf_copyThirdpartyToTblo() { lf_copyFolderToTblo(myThirdpartyDir, true); }

bool lf_zipFolder(const fs::path& source, const fs::path& zipPath) {
    std::error_code ec;
    if (!fs::is_directory(source, ec)) {
        gf_log(fmt::format("[zip] Not a directory: {}", gf_pathToUtf8(source)));
        return false;
    }
    const fs::path target = fs::absolute(zipPath, ec);
    const fs::path folder = fs::absolute(source, ec);
    gf_log(fmt::format("[zip] Target file: {}", gf_pathToUtf8(target)));
    gf_log(fmt::format("[zip] Source dir : {}", gf_pathToUtf8(folder)));
    if (fs::exists(target, ec)) {
        gf_log(fmt::format("[zip] Removing old zip {}", gf_pathToUtf8(target)));
        gf_osRemoveFile(target);
    }
    ZipArchive archive;
    if (!archive.open(target, ZIP_CREATE | ZIP_TRUNCATE)) {
        gf_log("[zip] Could not open archive for writing");
        return false;
    }
    std::vector<OsDirEntry> entries;
    gf_osListFolder(folder, entries);
    std::size_t added = 0;
    for (const OsDirEntry& entry : entries) {
        if (!entry.isRegularFile()) continue;
        std::optional<std::string> bytes = gf_readWholeFile(entry.path);
        if (!bytes) {
            gf_log(fmt::format("[zip] READ FAIL: {}", gf_pathToUtf8(entry.path)));
            continue;
        }
        gf_log(fmt::format("[zip] Adding (data) {} -> {} ({} bytes)", gf_pathToUtf8(entry.path), entry.name,
                           bytes->size()));
        if (!archive.addData(entry.name, std::move(*bytes))) {
            gf_log(fmt::format("[zip] ERROR addData({})", entry.name));
            // What was added so far is still written; the archive counts only
            // when that write succeeds.
            break;
        }
        ++added;
    }
    const bool closed = archive.close();
    const bool exists = fs::exists(target, ec);
    const std::uintmax_t size = exists ? fs::file_size(target, ec) : 0;
    gf_log(fmt::format("[zip] Added {} files, close_result={}, ok_close={}, exists={}, size={} bytes", added,
                       closed ? 0 : -1, lf_boolText(closed), lf_boolText(exists), ec ? 0 : size));
    return closed && added > 0 && exists && !ec && size > 0;
}

void lf_zipTblo() {
    if (gf_countAirportFiles(tbloDir) == 0) {
        g_tbloPending.store(false);
        gf_log("All your simaddon and third party airports are recognised, no off line learning needed.");
        return;
    }
    if (!lf_zipFolder(tbloDir, tbloZipPath)) {
        gf_logError("Zippen TBLO folder failed");
        // There is no archive to send: the user is not asked for one, and
        // the scan removes the folder.
        g_tbloPending.store(false);
        gf_enableControl(TbloButton.controlId, false);
        return;
    }
    gf_removeXMLFilesFromDirectory();
    if (!gf_writeTextFile(kTbloContactAddress, tbloNoteFile, true)) {
        gf_logError(fmt::format("could not write {}", gf_pathToUtf8(tbloNoteFile)));
    }
    g_tbloPending.store(true);
    gf_enableControl(TbloButton.controlId, true);
    gf_showTbloHint();
    Gui::repaintHeaderBand();
}
