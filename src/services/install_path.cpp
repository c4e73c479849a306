#include "services/install_path.h"

#include <exception>
#include <system_error>

#include <fmt/format.h>

#include "foundation/log.h"
#include "foundation/text.h"
#include "platform/os/nocase_lookup.h"
#include "settings/parameters.h"
#include "settings/snapshot.h"

std::optional<std::filesystem::path> gf_checkInstallPath(const std::filesystem::path& subfolder) {
    const std::filesystem::path installPath = isMSFS2020() ? MSFS_INSTALL_PATH.value() : MSFS_2024_INSTALL_PATH.value();
    if (installPath.empty()) {
        gf_logError("Install path is empty?");
        return std::nullopt;
    }
    const std::filesystem::path full = installPath / subfolder;
    // The user may have picked the folder as "community": folders made on
    // Windows take any letter case, so the folder is found in its real case.
    try {
        if (auto found = gf_osFindSubfolderNoCase(installPath, gf_pathToUtf8(subfolder))) {
            return found;
        }
    } catch (const std::exception&) {
        // A failed query counts as missing.
    }
    gf_logError(fmt::format("'{}' does not exist or is not a directory.", gf_pathToUtf8(full)));
    return std::nullopt;
}
