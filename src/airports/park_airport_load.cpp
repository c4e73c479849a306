#include "airports/park_airport_load.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <fstream>
#include <system_error>
#include <utility>

#include <fmt/format.h>
#include <unistd.h>

#include "airports/airport_file_format.h"
#include "airports/airport_file_settings.h"
#include "airports/airport_files.h"
#include "airports/current_airport.h"
#include "airports/learned_airport_file.h"
#include "airports/loaded_airport.h"
#include "airports/park_airports.h"
#include "airports/stand_options.h"
#include "engine/stands.h"
#include "foundation/download.h"
#include "foundation/geodesy.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/xml.h"
#include "motion/runways.h"
#include "platform/window/window.h"
#include "services/gui.h"
#include "services/shell.h"
#include "settings/parameters.h"
#include "settings/parameters_file.h"
#include "settings/snapshot.h"
#include "simlink/sim_link.h"

namespace fs = std::filesystem;

namespace {

// Two loads never share a temporary file: every name takes the next number.
std::atomic<std::uint64_t> l_temporaryNameCounter{0};

constexpr std::size_t kStandTableReserve = 512;
// Stands overlap when 1.1 times their distance is below the sum of their
// radii; compared squared.
constexpr double kExclusionFactorSquared = 1.21;

bool lf_hasArchiveComponent(const fs::path& path) {
    return std::any_of(path.begin(), path.end(), [](const fs::path& part) { return part == "archive"; });
}

// The plain copy of the last load is the requested archive file when both
// name the same airport, publisher and version.
bool lf_cacheHolds(const fs::path& requested) {
    std::error_code ec;
    if (!fs::exists(parkAirportFile, ec)) return false;
    const std::optional<AirportCacheInfo> cache = lf_readAirportCacheInfo();
    const std::optional<ArchivePathInfo> archive = lf_parseArchivePath(requested);
    if (!cache || !archive) return false;
    return cache->icao == archive->icao && cache->publisher == archive->publisher &&
           cache->version == archive->version;
}

// The next load of the same archive file reads this plain copy instead of
// downloading and decrypting it again.
void lf_updateCache(const AirportReadResult& result, bool encrypted, pugi::xml_document& document) {
    const std::string cache = gf_pathToUtf8(parkAirportFile);
    if (!encrypted) {
        if (const OsResult copied = gf_osCopyFile(result.readPath, parkAirportFile); copied.failed())
            gf_logError(fmt::format("could not update airport cache '{}': {}", cache, copied.message()));
    } else if (!gf_saveXmlDocument(document, parkAirportFile)) {
        gf_logError(fmt::format("could not update airport cache '{}'", cache));
    }
}

AirportRead lf_readAirportFile(const fs::path& requested) {
    AirportReadResult result;
    result.requestedPath = lf_portableAirportPath(requested);
    PreparedFile prepared;  // keeps a downloaded file until the load ends
    if (lf_cacheHolds(result.requestedPath)) {
        gf_log(fmt::format("cached: '{}' is taken instead of '{}'", gf_pathToUtf8(parkAirportFile),
                           gf_pathToUtf8(result.requestedPath)));
        prepared.path = parkAirportFile;
        result.sourceKind = kAirportSourceCache;
    } else {
        auto outcome = lf_prepareArchiveFile(result.requestedPath, true);
        if (auto* error = std::get_if<std::string>(&outcome)) return std::move(*error);
        prepared = std::move(std::get<PreparedFile>(outcome));
        result.sourceKind = prepared.isArchive ? kAirportSourceArchive : kAirportSourceLocal;
    }
    result.readPath = prepared.path;

    SecureBuffer buffer;
    pugi::xml_document document;
    if (auto error = lf_loadAirportDocument(result.readPath, prepared.isEncrypted, buffer, document))
        return std::move(*error);
    if (auto error = lf_readAirportContent(document, result)) return std::move(*error);

    if (result.stands.empty()) gf_log("no stands found in the airport file");
    gf_enableControl(FlushButton.controlId, !result.stands.empty());
    if (result.sourceKind != kAirportSourceCache) lf_updateCache(result, prepared.isEncrypted, document);
    return result;
}

// The user aircraft's stand becomes the user stand of this park airport.
void lf_recordUserStand(const IcaoCode& icao, const LaLo& airportPosition) {
    const UserAircraftState state = gf_getUserAircraftState();
    const std::optional<std::string> stand = gf_standNameAtPosition(LaLo{state.latitude, state.longitude});
    gf_log(stand ? fmt::format("\nUser aircraft at stand: {}", *stand) : std::string("\nUser aircraft is not at a stand"));
    std::optional<ParkAirport> front;
    {
        std::lock_guard lock(g_parkAirportsMutex);
        if (!g_parkAirports.empty()) front = g_parkAirports.front();
    }
    if (front && front->icao == icao) {
        if (stand && *stand != front->userStand) gf_setParkAirportUserStand(icao, *stand);
        return;
    }
    gf_makeCurrentParkAirportWithStand(icao, airportPosition, stand.value_or(std::string()));
}

}  // namespace

std::optional<std::string> lf_readAirportContent(const pugi::xml_document& document, AirportReadResult& result) {
    if (!gf_readDataFileMeta(document, false))
        return fmt::format("{}: refused to load", gf_pathToUtf8(result.requestedPath));
    // An airport file without its elevation is one bad data file: its load
    // fails like any other, and the program goes on.
    const std::optional<std::int32_t> altitude = gf_readIntXmlParameter(document, "altitude");
    if (!altitude) return fmt::format("{}: Parameter {} not found", 65, "altitude");
    result.altitude = *altitude;
    result.rtTrafficWeek = gf_readIntXmlParameter(document, "RT_traffic_week").value_or(0);
    result.publisher = gf_readStringXmlParameter(document, "publisher").value_or("");
    result.version = gf_readStringXmlParameter(document, "version");
    result.name = gf_readStringXmlParameter(document, "airport_name").value_or("");
    lf_readParkPositions(document, result.stands);
    const std::optional<std::int32_t> qfReal = gf_readIntXmlParameter(document, "Qf_real");
    const std::optional<std::int32_t> qfSoft = gf_readIntXmlParameter(document, "Qf_soft");
    if (qfReal || qfSoft) {
        result.qfReal = qfReal.value_or(0);
        result.qfSoft = qfSoft.value_or(0);
    }

    result.learnedPath =
        lf_locateAirportFile(gf_canonicalAirportFilePath(result.requestedPath), result.publisher);
    std::error_code ec;
    if (result.learnedPath && fs::exists(*result.learnedPath, ec)) {
        auto learned = gf_readLearnedAirportFile(*result.learnedPath, result.name, result.stands);
        if (const auto* error = std::get_if<std::string>(&learned)) {
            gf_logError(*error);
        } else {
            LearnedAirportData& data = std::get<LearnedAirportData>(learned);
            result.stands = std::move(data.stands);
            result.learnedRead = true;
            result.handmade = data.handmade;
            result.parkingPercentage = data.parkingPercentage;
            result.maxFit = data.maxFit;
            result.rtParkTrafficOnly = data.rtParkTrafficOnly;
            result.autoPark = data.autoPark;
            result.week = data.week;
            result.parkSoft = data.parkSoft;
            const std::uint64_t ratings = gf_rateAirportStands(result.stands);
            result.qfReal = static_cast<std::int32_t>(static_cast<std::uint32_t>(ratings & 0xFFFFFFFFu));
            result.qfSoft = static_cast<std::int32_t>(static_cast<std::uint32_t>(ratings >> 32));
        }
    }
    lf_computeStandExclusions(result.stands);
    return std::nullopt;
}

fs::path lf_portableAirportPath(const fs::path& path) {
    std::string text = path.string();
    std::replace(text.begin(), text.end(), '\\', '/');
    return fs::path(text);
}

AirportRead gf_readAirportFile(const fs::path& path) {
    try {
        return lf_readAirportFile(path);
    } catch (const tavo::UserRelatedException&) {
        throw;
    } catch (const std::exception& e) {
        return fmt::format("{}: {}", "gf_readAirportFile", e.what());
    } catch (...) {
        return fmt::format("{}: unknown exception", "gf_readAirportFile");
    }
}

std::variant<PreparedFile, std::string> lf_prepareArchiveFile(const fs::path& path, bool forParkAirport) {
    if (g_webServerMaintenance.load()) return std::string("Web server temporarily unavailable due to maintenance.");
    PreparedFile prepared;
    prepared.path = path;
    if (!lf_hasArchiveComponent(path)) return prepared;
    prepared.isEncrypted = lf_hasExtension(path, ".enc");
    const std::uint64_t number = l_temporaryNameCounter.fetch_add(1) + 1;
    const fs::path target = airportsDir / fmt::format("{}{}{}", forParkAirport ? "park_airport" : "airport",
                                                      fmt::format(".{}.{}", number, ::getpid()),
                                                      prepared.isEncrypted ? ".enc" : ".xml");
    std::error_code ec;
    fs::create_directories(airportsDir, ec);  // a failure shows as the download's
    if (std::string error = lf_downloadArchiveFile(path, target, prepared.isEncrypted); !error.empty())
        return error;
    prepared.path = target;
    prepared.isArchive = true;
    prepared.download = std::make_unique<TempFileGuard>(target);
    return prepared;
}

std::string lf_downloadArchiveFile(const fs::path& archivePath, const fs::path& target, bool encrypted) {
    std::string archive = gf_pathToUtf8(archivePath);
    std::replace(archive.begin(), archive.end(), '\\', '/');
    const std::string url = fmt::format("{}{}{}", gf_downloadBaseUrl(), isMSFS2020() ? "MSFS/" : "MSFS2024/", archive);
    bool ok = false;
    {
        Downloader downloader;
        // An encrypted file must arrive byte for byte; a plain one is text.
        ok = downloader.download(url, target, encrypted);
    }
    if (ok) return {};
    gf_osRemoveFile(target);
    std::string text = fmt::format("failed to download: '{}'", url);
    Gui::addStatusLine(text, true);
    return text;
}

std::optional<std::string> lf_loadAirportDocument(const fs::path& path, bool encrypted, SecureBuffer& buffer,
                                                  pugi::xml_document& document) {
    const std::string shown = gf_pathToUtf8(path);
    pugi::xml_parse_result parsed;
    if (encrypted) {
        DecryptResult plain = gf_readEncryptedFile(path, kAirportFileEncLimit);
        if (!plain.ok) return std::move(plain.error);
        buffer = std::move(plain.buffer);
        parsed = document.load_buffer_inplace(buffer.data(), buffer.size());
    } else {
        std::ifstream in(path, std::ios::binary);
        if (!in) return fmt::format("{} could not be opened", shown);
        parsed = document.load(in);
    }
    if (!parsed) return fmt::format("{} not loaded: {}", shown, parsed.description());
    return std::nullopt;
}

void lf_computeStandExclusions(std::vector<Stand>& stands) {
    for (std::size_t i = 0; i < stands.size(); ++i) {
        stands[i].id = static_cast<std::uint32_t>(i + 1);
        stands[i].excludes.clear();
    }
    for (std::size_t i = 0; i < stands.size(); ++i) {
        Stand& a = stands[i];
        for (std::size_t j = i + 1; j < stands.size(); ++j) {
            Stand& b = stands[j];
            const double north = (a.latitude - b.latitude) * 60.0;
            const double east = gf_wrapLongitudeDifference(a.longitude - b.longitude) *
                                std::cos((a.latitude + b.latitude) / 2.0 * degreesToRadians) * 60.0;
            const double reach = a.radius + b.radius;
            if ((north * north + east * east) * kExclusionFactorSquared < reach * reach) {
                a.excludes.push_back(b.id);
                b.excludes.push_back(a.id);
            }
        }
    }
}

ParkedFileResult lf_readParkedFile() {
    const std::optional<AirportListEntry> current = gf_currentAirport();
    const IcaoCode icao = current ? current->icao : IcaoCode{};
    const std::optional<fs::path> source = icao.isNone() ? std::nullopt : gf_findAirportSourcePath(icao);
    if (!source) return {false, fmt::format("{} {} not found", "lf_readParkedFile", icao)};
    AirportRead read = gf_readAirportFile(*source);
    if (auto* error = std::get_if<std::string>(&read)) return {false, std::move(*error)};
    AirportReadResult& airport = std::get<AirportReadResult>(read);

    LoadedAirport loaded;
    loaded.handmade = airport.handmade;
    loaded.name = airport.name;
    loaded.publisher = airport.publisher;
    loaded.altitude = airport.altitude;
    loaded.learnedPath = airport.learnedPath;
    loaded.displayText = airport.name;
    loaded.qfReal = airport.qfReal;
    loaded.qfSoft = airport.qfSoft;
    loaded.standCount = airport.stands.size();
    gf_setLoadedAirport(loaded);
    lf_applyAirportFileSettings(airport);

    g_standTable = std::move(airport.stands);
    g_standTable.reserve(kStandTableReserve);
    g_standNameIndex.clear();
    g_standNameIndex.reserve(g_standTable.size());
    for (const Stand& stand : g_standTable) g_standNameIndex.emplace(stand.name, stand.id);
    gf_publishStandSnapshot();
    loadAirportRunways(icao, airport.publisher);
    for (const Stand& stand : g_standTable)
        if (!stand.excludes.empty())
            gf_log(gf_formatStandExcludes(stand.excludes, static_cast<std::int32_t>(stand.id)));

    if (g_userOnGround.load()) lf_recordUserStand(icao, current->position);
    Gui::showParkedTrafficText(true, loaded.displayText);
    return {true, {}};
}
