#pragma once
// Package manifests (manifest.json) of simulator packages: the installed
// version, who published a scenery and, when its paths give no code, which
// airport a scenery file holds. Log lines go to the airport scan's log.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "airports/airport.h"
#include "scan/scan_log.h"

// Manifests larger than this are not read.
inline constexpr std::uintmax_t manifestSizeLimit = 4194304;
// Folders tried from a scenery file's folder upwards.
inline constexpr int manifestSearchLevels = 12;

std::optional<ManifestInfo> lf_readManifest(const std::filesystem::path& path);
// The manifest of the package that holds the scenery file.
std::optional<ManifestInfo> gf_searchManifest(const std::filesystem::path& sceneryFile);
std::optional<ManifestInfo> lf_manifestPath(const std::vector<std::string>& names, const std::filesystem::path& root);
// The manifest of a streamed package, looked up by its folder name under the
// root and one level deeper.
std::optional<ManifestInfo> lf_findStreamedManifest(const std::filesystem::path& package,
                                                    const std::filesystem::path& root);

void lf_classifyPublisher(Airport& airport);
void lf_setOfficialPublisher(Airport& airport, std::string_view publisher);
bool lf_checkManifestPublisher(Airport& airport, std::string& value);
bool lf_hasAcceptedManifestPublisher(const ManifestInfo& manifest);
// Says in the scan log why an airport whose manifest is not accepted is
// left out: each value and what it lacks.
void lf_logRefusedManifestPublisher(const IcaoCode& icao, const ManifestInfo& manifest);
// The airport code of a scenery file: from its path, else from its file
// name (only when both filters are given and pass it), else from its
// manifest's title.
std::optional<IcaoCode> gf_icaoCodesForBgl(Airport& airport, const IcaoFilters& filters);
