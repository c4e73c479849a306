#include "app/install_paths.h"

#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "foundation/files.h"
#include "foundation/text.h"
#include "foundation/textfile.h"
#include "settings/snapshot.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kInstalledPackagesKey = "InstalledPackagesPath";

// The simulator's app package under the user's local AppData packages.
std::string_view lf_storePackageFolder() {
    return isMSFS2020() ? "Microsoft.FlightSimulator_8wekyb3d8bbwe" : "Microsoft.Limitless_8wekyb3d8bbwe";
}

// The simulator's folder under roaming AppData.
std::string_view lf_appDataFolderName() {
    return isMSFS2020() ? "Microsoft Flight Simulator" : "Microsoft Flight Simulator 2024";
}

std::string_view lf_officialFolderName() { return isMSFS2020() ? "Official" : "Official2024"; }

bool lf_isFolder(const fs::path& path) {
    std::error_code ec;
    return fs::is_directory(path, ec) && !ec;
}

bool lf_existsNoThrow(const fs::path& path) {
    std::error_code ec;
    return fs::exists(path, ec) && !ec;
}

}  // namespace

std::array<fs::path, 4> lf_userCfgCandidates() {
    const fs::path local = gf_getLocalAppDataPath();
    const fs::path roaming = gf_getAppDataPath();
    return {
        local / "Packages" / lf_storePackageFolder() / "LocalCache" / "UserCfg.opt",
        roaming / lf_appDataFolderName() / "UserCfg.opt",
        local / "Packages" / "Microsoft.FlightDashboard_8wekyb3d8bbwe" / "LocalCache" / "UserCfg.opt",
        local / "MSFSPackages" / "UserCfg.opt",
    };
}

fs::path lf_findUserCfg() {
    for (const fs::path& candidate : lf_userCfgCandidates()) {
        if (lf_existsNoThrow(candidate)) {
            return candidate;
        }
    }
    return {};
}

fs::path lf_readInstalledPackagesPath() {
    const fs::path userCfg = lf_findUserCfg();
    if (userCfg.empty() || !lf_existsNoThrow(userCfg)) {
        return {};
    }
    const Charset charset = gf_detectCharset(userCfg);
    if (charset == Charset::noneFound) {
        return {};
    }
    std::vector<std::string> lines;
    if (!gf_readTextFileLines(charset, userCfg, lines) || lines.empty()) {
        return {};
    }
    for (const std::string& line : lines) {
        if (line.find(kInstalledPackagesKey) == std::string::npos) {
            continue;
        }
        // Only the first line that names the key counts, whatever it holds.
        const fs::path value(gf_unquote(line));
        return lf_isFolder(value) ? value : fs::path{};
    }
    return {};
}

bool lf_isPackagesRoot(const fs::path& path) {
    if (path.empty()) {
        return false;
    }
    return lf_isFolder(path) && lf_isFolder(path / "Community") && lf_isFolder(path / lf_officialFolderName());
}

fs::path gf_findSimulatorPaths() {
    const fs::path packages = gf_getAppDataPath() / lf_appDataFolderName() / "Packages";
    if (lf_isPackagesRoot(packages)) {
        return packages;
    }
    const fs::path named = lf_readInstalledPackagesPath();
    if (lf_isPackagesRoot(named)) {
        return named;
    }
    return {};
}
