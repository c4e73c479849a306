#include "app/install_path_check.h"

#include <exception>
#include <string>
#include <string_view>
#include <system_error>

#include <fmt/format.h>

#include "foundation/log.h"
#include "foundation/text.h"
#include "platform/os/nocase_lookup.h"
#include "platform/window/window.h"
#include "services/gui.h"
#include "services/shell.h"
#include "settings/parameters.h"
#include "settings/snapshot.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kCaption = "TAVO";

void lf_box(std::string_view text, MessageBoxIcon icon) {
    gf_messageBox(g_mainWindow.load(), text, kCaption, icon, MessageBoxButtons::Ok);
}

void lf_status(const std::string& text) { Gui::addStatusLine(text, true); }

// The text after the last '\' or '/'; empty when the path ends in one.
std::string_view lf_lastComponent(std::string_view path) {
    const std::size_t separator = path.find_last_of("\\/");
    return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

enum class FolderState { present, missing, failed };

// Whether the path exists. The file system reports a missing path both by
// its type and by an error code; only other errors are failed queries.
FolderState lf_state(const fs::path& path, std::error_code& ec) {
    const fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found) {
        ec.clear();
        return FolderState::missing;
    }
    return ec ? FolderState::failed : FolderState::present;
}

// As lf_state; a failed query shows "Error {} accessing '{}': {}". A folder
// missing in the exact case is present in another one ("official"), as the
// scans find it through gf_checkInstallPath.
FolderState lf_reportedState(const fs::path& folder) {
    std::error_code ec;
    const FolderState state = lf_state(folder, ec);
    if (state == FolderState::failed) {
        lf_status(fmt::format("Error {} accessing '{}': {}", ec.value(), gf_pathToUtf8(folder), ec.message()));
    }
    if (state == FolderState::missing) {
        try {
            if (gf_osFindSubfolderNoCase(folder.parent_path(), gf_pathToUtf8(folder.filename()))) {
                return FolderState::present;
            }
        } catch (const std::exception&) {
            // Not found in another case either.
        }
    }
    return state;
}

}  // namespace

bool lf_checkInstallPathDialog(PathParameter& installPath, const fs::path& pickedFolder) {
    const std::string picked = gf_pathToUtf8(pickedFolder);

    std::error_code ec;
    const FolderState picking = lf_state(pickedFolder, ec);
    if (picking == FolderState::failed) {
        lf_status(fmt::format("Error {} accessing install path '{}': {}", ec.value(), picked, ec.message()));
        lf_box("Error in accessing install path.", MessageBoxIcon::Error);
        return false;
    }
    if (picking == FolderState::missing) {
        lf_status(fmt::format("This install path does not exist: '{}'", picked));
        lf_box("This install path does not exist.", MessageBoxIcon::Error);
        return false;
    }

    if (gf_toLowerAscii(lf_lastComponent(picked)) != "community") {
        lf_box("This path is not a valid Community folder.", MessageBoxIcon::Error);
        return false;
    }

    const fs::path root = pickedFolder.parent_path();
    constexpr std::string_view kNoRoot = "There is no root for the Community folder.";
    if (root.empty()) {
        lf_box(kNoRoot, MessageBoxIcon::Error);
        return false;
    }
    // The Community folder as seen from its root. Where the file system tells
    // letter case apart, that is the folder in the case the user picked it.
    const fs::path community = root / std::string(lf_lastComponent(picked));
    if (lf_reportedState(community) != FolderState::present) {
        lf_box(kNoRoot, MessageBoxIcon::Error);
        return false;
    }

    if (isMSFS2020()) {
        const fs::path official = root / "Official";
        if (lf_reportedState(official) != FolderState::present) {
            gf_log(gf_pathToUtf8(official));
            lf_status("Warning: No Official folder?");
            lf_box("Warning: There is no Official folder parallel to the Community folder.", MessageBoxIcon::Warning);
        }
    } else {
        if (lf_reportedState(root / "StreamedPackages") != FolderState::present) {
            lf_status("Warning: No StreamedPackages folder?");
            lf_box("Warning: There is no StreamedPackages folder parallel to the Community folder.",
                   MessageBoxIcon::Warning);
        }
        if (lf_reportedState(root / "Community2024") != FolderState::present) {
            lf_status("Warning: No Community2024 folder?");
            lf_box("Warning: There is no Community2024 folder parallel to the Community folder.",
                   MessageBoxIcon::Warning);
        }
    }

    installPath.setAndSave(root);
    lf_status(fmt::format("Okay: {}", picked));
    lf_box("Okay!", MessageBoxIcon::None);
    return true;
}
