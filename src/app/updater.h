#pragma once
// The update check of every fresh start: the download server's versions.json
// names the current program version, a maintenance flag and the version of
// each of the five encrypted data files. Data files newer on the server than
// the version recorded in parameters.xml (or missing here) are downloaded;
// a newer program is prepared for the user (app/program_update.h) and ends the
// run with the stop reason NEW VERSION. Runs on the main thread before any
// worker thread exists. All paths are relative to the installation folder.

#include <filesystem>
#include <optional>
#include <string_view>

#include <nlohmann/json.hpp>

#include "foundation/version.h"

class StringParameter;

// True: start-up goes on (also after every failure of the check itself).
// False: a new program version waits in new_version/ and NEW VERSION has been
// posted. Throws tavo::UserRelatedException 2026 when the server is under
// maintenance and 112 when the program update failed. The running version is
// the program's own; tests pass another.
bool gf_checkForUpdates(const VersionData& runningVersion = g_programVersion);

// Reads and removes "versions.json" of the current folder: the manifest when
// it is a JSON object of at most 1 MiB, else nothing (logged).
std::optional<nlohmann::json> lf_readManifest();

// The version object at `key` of the manifest; nothing (logged) when the key
// is missing, its value is no object, or one of "major", "minor", "patch" is
// missing or no whole number within signed 32 bits.
std::optional<VersionData> lf_readWebVersion(const nlohmann::json& manifest, std::string_view key);

// One of the five data files the manifest versions.
struct DataFileUpdate {
    std::string_view key;       // in versions.json
    std::string_view fileName;  // on the server, below "<base>input/"
    std::filesystem::path localPath;  // relative to the installation folder
    StringParameter* versionParameter;
};

// Downloads the file when the manifest's version is higher than the local one
// or `force` is set; on success stores and saves the version text.
void lf_updateDataFile(const nlohmann::json& manifest, const DataFileUpdate& file, const VersionData& localVersion,
                       bool force);

// "{} version up-to-date"
void lf_logUpToDate(std::string_view name);

// Sets g_webServerMaintenance and throws code 2026.
[[noreturn]] void lf_throwMaintenance();
