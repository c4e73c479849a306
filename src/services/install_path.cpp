#include "services/install_path.h"

#include <system_error>

#include <fmt/format.h>

#include "foundation/log.h"
#include "foundation/text.h"
#include "settings/parameters.h"
#include "settings/snapshot.h"

std::optional<std::filesystem::path> gf_checkInstallPath(const std::filesystem::path& subfolder) {
    const std::filesystem::path installPath = isMSFS2020() ? MSFS_INSTALL_PATH.value() : MSFS_2024_INSTALL_PATH.value();
    if (installPath.empty()) {
        gf_logError("Install path is empty?");
        return std::nullopt;
    }
    std::filesystem::path full = installPath / subfolder;
    std::error_code ec;
    if (!std::filesystem::is_directory(full, ec) || ec) {
        gf_logError(fmt::format("'{}' does not exist or is not a directory.", gf_pathToUtf8(full)));
        return std::nullopt;
    }
    return full;
}
