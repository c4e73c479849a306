#include "scan/manifests.h"

#include <exception>
#include <system_error>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "foundation/text.h"
#include "foundation/textfile.h"
#include "platform/os/sorted_walk.h"
#include "scan/publishers.h"

namespace {

std::string lf_jsonString(const nlohmann::json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end() || !it->is_string()) return {};
    return it->get<std::string>();
}

bool isRegularFile(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

bool namesOfficialPublisher(std::string_view text) {
    return gf_containsNoCase(text, "Microsoft") || gf_containsNoCase(text, "Asobo");
}

// Why a manifest value names no publisher an airport may come from; empty
// when it does. Shorter names say nothing about a maker.
std::string_view lf_refusedPublisherValue(std::string_view value) {
    const std::string_view trimmed = gf_trimView(value);
    if (trimmed.empty()) return "is empty";
    if (trimmed.size() < 4) return "has fewer than 4 characters";
    if (gf_isRejectedPublisher(trimmed)) return "is rejected by archives data";
    return {};
}

}  // namespace

std::optional<ManifestInfo> lf_readManifest(const std::filesystem::path& path) {
    std::error_code ec;
    std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (!ec && size > manifestSizeLimit) {
        gf_appendScanLogLine(
            fmt::format("Ignoring manifest larger than {} bytes: '{}'", manifestSizeLimit, gf_pathToUtf8(path)));
        return std::nullopt;
    }
    LineReader reader(path);
    LineReadResult read = reader.readLines(256);
    if (!read || read.lines->empty()) return std::nullopt;
    std::string text;
    text.reserve(16384);
    for (const std::string& line : *read.lines) text += line;

    nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
    if (!json.is_object()) return std::nullopt;
    ManifestInfo info;
    info.version = lf_jsonString(json, "package_version");
    if (info.version.empty()) info.version = lf_jsonString(json, "version");
    info.title = lf_jsonString(json, "title");
    info.manufacturer = lf_jsonString(json, "manufacturer");
    info.creator = lf_jsonString(json, "creator");
    return info;
}

std::optional<ManifestInfo> gf_searchManifest(const std::filesystem::path& sceneryFile) {
    try {
        std::filesystem::path folder = sceneryFile.parent_path();
        for (int level = 0; level < manifestSearchLevels; ++level) {
            if (folder.empty()) return std::nullopt;
            std::filesystem::path manifest = folder / "manifest.json";
            if (isRegularFile(manifest)) return lf_readManifest(manifest);
            // "a/b/" has the parent "a/b": going up ignores a trailing separator.
            if (!folder.has_filename()) folder = folder.parent_path();
            std::filesystem::path parent = folder.parent_path();
            if (parent == folder) return std::nullopt;
            folder = std::move(parent);
        }
    } catch (const std::exception& e) {
        gf_appendScanLogLine(
            fmt::format("Exception in gf_searchManifest for '{}': {}", gf_pathToUtf8(sceneryFile), e.what()));
    }
    return std::nullopt;
}

std::optional<ManifestInfo> lf_manifestPath(const std::vector<std::string>& names, const std::filesystem::path& root) {
    for (const std::string& name : names) {
        std::filesystem::path manifest = root / std::filesystem::path(std::u8string(name.begin(), name.end())) /
                                         "manifest.json";
        if (isRegularFile(manifest)) return lf_readManifest(manifest);
    }
    return std::nullopt;
}

std::optional<ManifestInfo> lf_findStreamedManifest(const std::filesystem::path& package,
                                                    const std::filesystem::path& root) {
    std::filesystem::path trimmed = package.has_filename() ? package : package.parent_path();
    std::string name = gf_pathToUtf8(trimmed.filename());
    if (name.empty() || root.empty()) return std::nullopt;
    std::vector<std::string> candidates;
    if (name.starts_with("fs24-") && name.size() > 5) candidates.push_back(name.substr(5));
    candidates.push_back(name);
    if (auto found = lf_manifestPath(candidates, root)) return found;

    // The first folder that holds the package gives its manifest: in the
    // listing order the other scans follow, not the disk's.
    std::vector<OsDirEntry> entries;
    if (gf_osListFolder(root, entries).failed()) return std::nullopt;
    for (const OsDirEntry& entry : entries) {
        if (!entry.isFolder()) continue;
        if (auto found = lf_manifestPath(candidates, entry.path)) return found;
    }
    return std::nullopt;
}

void lf_setOfficialPublisher(Airport& airport, std::string_view publisher) {
    airport.publisher = namesOfficialPublisher(publisher) ? std::string("simaddon") : std::string(publisher);
    gf_appendScanLogLine(fmt::format("publisher '{}'", airport.publisher));
}

bool lf_checkManifestPublisher(Airport& airport, std::string& value) {
    value = gf_trim(std::string_view(value));
    if (value.size() < 3) {
        value.clear();
        return false;
    }
    if (gf_isRejectedPublisher(value)) {
        gf_appendScanLogLine(fmt::format("manifest publisher value '{}' rejected by archives data", value));
        value.clear();
        return false;
    }
    if (namesOfficialPublisher(value)) {
        lf_setOfficialPublisher(airport, value);
        return true;
    }
    PackageClass listed = gf_classifyPackage(std::string_view(value));
    if (listed.kind == 0) {
        lf_setOfficialPublisher(airport, listed.name);
        return true;
    }
    return false;
}

void lf_classifyPublisher(Airport& airport) {
    try {
        airport.publisher.clear();
        if (gf_containsNoCase(airport.path, "microsoft-airport") || gf_containsNoCase(airport.path, "asobo-airport")) {
            airport.publisher = "simaddon";
            gf_appendScanLogLine(fmt::format("publisher: {}", airport.publisher));
            return;
        }
        PackageClass listed = gf_classifyPackage(std::string_view(airport.bglPath));
        if (listed.kind == 0) {
            lf_setOfficialPublisher(airport, listed.name);
            return;
        }
        if (!airport.manifest) airport.manifest = gf_searchManifest(airport.path);
        if (!airport.manifest) return;
        if (lf_checkManifestPublisher(airport, airport.manifest->manufacturer)) return;
        lf_checkManifestPublisher(airport, airport.manifest->creator);
    } catch (const std::exception& e) {
        gf_appendScanLogLine(fmt::format("Publisher detection failed: {}", e.what()));
    }
}

bool lf_hasAcceptedManifestPublisher(const ManifestInfo& manifest) {
    return lf_refusedPublisherValue(manifest.manufacturer).empty() ||
           lf_refusedPublisherValue(manifest.creator).empty();
}

void lf_logRefusedManifestPublisher(const IcaoCode& icao, const ManifestInfo& manifest) {
    gf_appendScanLogLine(fmt::format(
        "===> {} not generated: the manifest names no accepted publisher (manufacturer '{}' {}, creator '{}' {})", icao,
        gf_trimView(manifest.manufacturer), lf_refusedPublisherValue(manifest.manufacturer),
        gf_trimView(manifest.creator), lf_refusedPublisherValue(manifest.creator)));
}

std::optional<IcaoCode> gf_icaoCodesForBgl(Airport& airport, const IcaoFilters& filters) {
    try {
        if (auto code = gf_icaoCandidatesInPath(airport.bglPath, filters)) {
            gf_appendScanLogLine(fmt::format("airport has code '{}' in BGL path", *code));
            return code;
        }
        // Any four letters make a file name ("OBJS.bgl"), and the traffic
        // test lets every code pass while its list is missing: a stem is a
        // code only when the airports list knows it as well.
        std::string stem = gf_pathToUtf8(airport.path.stem());
        if (gf_isAirportCode(stem)) {
            IcaoCode code(stem);
            if (filters.first && filters.second && filters.first(code) && filters.second(code)) {
                gf_appendScanLogLine(fmt::format("airport has code '{}' in stem", code));
                return code;
            }
        }
        if (!airport.manifest) airport.manifest = gf_searchManifest(airport.path);
        if (airport.manifest) {
            if (auto code = gf_icaoCandidatesInPath(airport.manifest->title, filters)) {
                gf_appendScanLogLine(fmt::format("airport has code '{}' in title of manifest", *code));
                return code;
            }
        }
    } catch (const std::exception& e) {
        gf_appendScanLogLine(fmt::format("Exception {}", e.what()));
    }
    return std::nullopt;
}
