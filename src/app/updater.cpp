#include "app/updater.h"

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <system_error>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "app/program_update.h"
#include "foundation/download.h"
#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "services/shell.h"
#include "settings/parameters.h"

namespace fs = std::filesystem;

namespace {

const fs::path kManifestFile{"versions.json"};
constexpr std::uintmax_t kMaxManifestBytes = 1048576;

// A whole number within signed 32 bits, whether JSON wrote it as an integer
// or with a fraction of zero.
std::optional<std::int32_t> lf_versionNumber(const nlohmann::json& object, const char* member) {
    const auto it = object.find(member);
    if (it == object.end() || !it->is_number()) {
        return std::nullopt;
    }
    constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
    constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
    if (it->is_number_unsigned()) {
        const auto value = it->get<std::uint64_t>();
        return value <= static_cast<std::uint64_t>(kMax) ? std::optional<std::int32_t>(static_cast<std::int32_t>(value))
                                                         : std::nullopt;
    }
    if (it->is_number_integer()) {
        const auto value = it->get<std::int64_t>();
        return value >= kMin && value <= kMax ? std::optional<std::int32_t>(static_cast<std::int32_t>(value))
                                              : std::nullopt;
    }
    const double value = it->get<double>();
    if (!std::isfinite(value) || std::trunc(value) != value || value < kMin || value > kMax) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

void lf_removeManifest() {
    if (const OsResult ec = gf_osRemoveFile(kManifestFile); ec.failed()) {
        gf_logError(fmt::format("Could not remove versions.json: {}", ec.message()));
    }
}

const std::array<DataFileUpdate, 5>& lf_dataFiles() {
    static const std::array<DataFileUpdate, 5> files{{
        {"airports", airportsEncName, airportsEncFile, &AIRPORTS_VERSION},
        {"aig", regcodesEncName, regcodesEncFile, &AIG_VERSION},
        {"archives", archivesEncName, archivesEncFile, &ARCHIVES_VERSION},
        {"dbase", dbaseEncName, dbaseEncFile, &DBASE_VERSION},
        {"weekly", wktrafficEncName, wktrafficEncFile, &WEEKLY_TRAFFIC_AIRPORTS_VERSION},
    }};
    return files;
}

}  // namespace

void lf_logUpToDate(std::string_view name) { gf_log(fmt::format("{} version up-to-date", name)); }

void lf_throwMaintenance() {
    g_webServerMaintenance.store(true);
    throw tavo::UserRelatedException(2026, "Web server temporarily unavailable due to maintenance. Please try again later.");
}

std::optional<VersionData> lf_readWebVersion(const nlohmann::json& manifest, std::string_view key) {
    const auto it = manifest.find(std::string(key));
    if (it == manifest.end()) {
        gf_logError(fmt::format("{} version not found", key));
        return std::nullopt;
    }
    if (!it->is_object()) {
        gf_logError(fmt::format("Invalid web version data for '{}'", key));
        return std::nullopt;
    }
    const auto major = lf_versionNumber(*it, "major");
    const auto minor = lf_versionNumber(*it, "minor");
    const auto patch = lf_versionNumber(*it, "patch");
    if (!major || !minor || !patch) {
        gf_logError(fmt::format("Invalid web version numbers for '{}'", key));
        return std::nullopt;
    }
    return VersionData{*major, *minor, *patch};
}

void lf_updateDataFile(const nlohmann::json& manifest, const DataFileUpdate& file, const VersionData& localVersion,
                       bool force) {
    const auto webVersion = lf_readWebVersion(manifest, file.key);
    if (!webVersion) {
        return;
    }
    if (*webVersion <= localVersion && !force) {
        lf_logUpToDate(file.key);
        return;
    }
    if (!gf_downloadDataFile(fs::path(file.fileName), file.localPath)) {
        return;  // logged by the download; file and version stay for the next start
    }
    file.versionParameter->setValue(webVersion->toString());
    file.versionParameter->save();
    gf_log(fmt::format("{} updated to {}", file.key, *webVersion));
}

std::optional<nlohmann::json> lf_readManifest() {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(kManifestFile, ec);
    if (ec) {
        gf_logError(fmt::format("Could not inspect versions.json: {}", ec.message()));
        lf_removeManifest();
        return std::nullopt;
    }
    if (size > kMaxManifestBytes) {
        gf_logError(fmt::format("versions.json is unexpectedly large: {} bytes", size));
        lf_removeManifest();
        return std::nullopt;
    }
    nlohmann::json manifest;
    {
        std::ifstream in(kManifestFile);
        if (!in.is_open()) {
            gf_logError("Cannot open versions.json");
            lf_removeManifest();
            return std::nullopt;
        }
        // A text that does not parse is a bad manifest like any other: the
        // check is skipped and the start goes on.
        manifest = nlohmann::json::parse(in, nullptr, false);
    }
    lf_removeManifest();
    if (manifest.is_discarded() || !manifest.is_object()) {
        gf_logError("Invalid versions.json received; update check skipped");
        return std::nullopt;
    }
    return manifest;
}

bool gf_checkForUpdates(const VersionData& runningVersion) {
    {
        Downloader downloader;
        if (!downloader.download(gf_downloadBaseUrl() + "versions.json", kManifestFile, false)) {
            gf_logError("Downloading version info from my web site failed!");
            return true;
        }
    }
    const std::optional<nlohmann::json> read = lf_readManifest();
    if (!read) {
        return true;
    }
    const nlohmann::json& manifest = *read;

    if (const auto webVersion = lf_readWebVersion(manifest, "msfs")) {
        gf_log(fmt::format("{} program version at web = {}", "msfs", *webVersion));
        if (*webVersion > runningVersion) {
            if (!lf_installNewVersion(*webVersion)) {
                throw tavo::UserRelatedException(
                    112, "The downloading/unzipping of the new version failed? Try manually via the Ombrevale website");
            }
            lf_handOverNewVersion(*webVersion);
            return false;
        }
        lf_logUpToDate("msfs");
    }

    if (const auto maintenance = lf_readWebVersion(manifest, "maintenance")) {
        if (*maintenance > VersionData{}) {
            lf_throwMaintenance();
        }
        lf_logUpToDate("maintenance");
    }

    for (const DataFileUpdate& file : lf_dataFiles()) {
        // A failed query of the local file is a file-system error of the start.
        const bool force = !fs::exists(file.localPath);
        lf_updateDataFile(manifest, file, VersionData(file.versionParameter->value()), force);
    }
    return true;
}
