#include "scan/airport_generation.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <system_error>
#include <unordered_set>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "airports/airport_file_format.h"
#include "airports/airport_files.h"
#include "airports/airports_list.h"
#include "airports/weekly_traffic.h"
#include "foundation/lalo.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/textfile.h"
#include "platform/os/sorted_walk.h"
#include "scan/bgl_reader.h"
#include "scan/manifests.h"
#include "scan/publishers.h"
#include "services/gui.h"
#include "settings/snapshot.h"
#include "simlink/facility_reader.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSimaddon = "simaddon";

const char* lf_plural(std::uint64_t count) { return count == 1 ? "" : "s"; }

// Writes a link file: the archive path and "\n", replacing an older one.
bool lf_writeLinkFile(const fs::path& folder, const IcaoCode& icao, const std::string& archivePath) {
    const fs::path file = folder / gf_icaoTxtFileName(icao);
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!ec && gf_writeTextFile(archivePath, file, true)) return true;
    gf_appendScanLogLine(fmt::format("===> Writing {} did not succeed", gf_pathToUtf8(file)));
    return false;
}

// The archive check the facility path made for the file it took last and
// could not link. When the simulator gives no stands, the BGL reader takes
// the same file over: it takes the publisher and manifest from here instead
// of asking the archive again, whose answer (warnings in the window among
// it) would come twice.
struct ArchiveChecked {
    fs::path bglPath;
    IcaoCode icao;
    std::string publisher;
    std::optional<ManifestInfo> manifest;
    bool accepted = true;  // by its manifest publisher (a refusal is logged)
};
std::optional<ArchiveChecked> l_archiveChecked;

// True when the airport has no manifest or one that names a publisher it may
// come from; an airport left out says why in the scan log.
bool lf_manifestAccepted(const Airport& airport) {
    if (!airport.manifest || lf_hasAcceptedManifestPublisher(*airport.manifest)) return true;
    lf_logRefusedManifestPublisher(airport.icao, *airport.manifest);
    return false;
}

enum class FacilityOutcome { generated, failed, threw };

// Reads the airport's stands through the simulator's facility data and
// writes them. An exception from the reader or the writer is logged (with
// the message's own spelling of the path it belongs to) and closes the
// reader.
FacilityOutcome lf_generateFromFacilities(Airport& airport, std::string_view exceptionFormat) {
    try {
        std::uint32_t helipads = 0;
        if (!gf_readFacilityStands(airport.icao.text(), airport, helipads)) return FacilityOutcome::failed;
        lf_makeFacilityStandsWritable(airport, helipads);
        lf_writeGeneratedAirportFile(airport, static_cast<int>(helipads));
        lf_postAirportFileCounts(false, true);
        return FacilityOutcome::generated;
    } catch (const std::exception& e) {
        gf_appendScanLogLine(fmt::format(fmt::runtime(exceptionFormat), airport.icao, e.what()));
        gf_closeFacilityReader();
    }
    return FacilityOutcome::threw;
}

// The failure line of a facility read, in the program log and the scan log;
// the scan log so far is written, so that it shows where the scan was.
void lf_facilityReadFailed(std::string_view format, const IcaoCode& icao) {
    const std::string line = fmt::format(fmt::runtime(format), icao);
    gf_log(line);
    gf_appendScanLogLine(line);
    gf_writeAirportsScanLog();
}

}  // namespace

IcaoFilters gf_scanCodeFilters() { return {&gf_isKnownAirport, &gf_hasWeeklyTraffic}; }

std::uint64_t gf_countAirportFiles(const fs::path& folder) {
    std::vector<OsDirEntry> entries;
    if (gf_osListFolder(folder, entries).failed()) return 0;
    return static_cast<std::uint64_t>(
        std::count_if(entries.begin(), entries.end(), [](const OsDirEntry& e) { return e.isRegularFile(); }));
}

void lf_postAirportFileCounts(bool simaddon, bool thirdparty) {
    if (simaddon) Gui::enqueueUpdate(GuiUpdate::simaddonCount(gf_countAirportFiles(mySimaddonDir)));
    if (thirdparty) Gui::enqueueUpdate(GuiUpdate::thirdpartyCount(gf_countAirportFiles(myThirdpartyDir)));
}

std::string lf_archivePublisherPath(std::string_view publisher) {
    std::string text;
    text.reserve(publisher.size());
    for (const char c : publisher) {
        if (c == ' ') {
            text += "%20";
        } else {
            text += c;
        }
    }
    return text;
}

std::optional<std::string> lf_findSimaddonArchiveFile(const IcaoCode& icao) {
    if (g_simaddonAirports.contains(std::string(icao.text()))) {
        return fmt::format("archive/{}/{}.enc", kSimaddon, icao);
    }
    gf_appendScanLogLine(fmt::format("{} does not exist as simaddon", icao));
    return std::nullopt;
}

std::optional<std::string> lf_findThirdpartyArchiveFile(const Airport& airport) {
    const std::string version = airport.manifest ? airport.manifest->version : std::string();
    const ArchiveMatch match = gf_findPackagePublisher(airport.publisher, airport.icao, version);
    const auto archivePath = [&] {
        return fmt::format("archive/thirdparty/{}/{}.enc", lf_archivePublisherPath(airport.publisher), match.entry);
    };
    const auto warn = [](const std::string& line) {
        gf_appendScanLogLine(line);
        Gui::addStatusLine(line, true);
    };
    const auto missing = [&] {
        gf_appendScanLogLine(fmt::format("thirdparty {} {}{} does not exist", airport.publisher, airport.icao,
                                         version.empty() ? std::string() : fmt::format(" version {}", version)));
    };
    switch (match.status) {
        case 1: return archivePath();
        case 2:
            warn(fmt::format("Warning: {} {} version {} is used; higher version {} is present in the archive",
                             airport.publisher, airport.icao, version, match.higherVersion));
            return archivePath();
        case 3:
            warn(fmt::format("Warning: {} {} version {} is not in the archive; higher version {} is present. The "
                             "airport is sent to TBLO",
                             airport.publisher, airport.icao, version, match.higherVersion));
            missing();
            return std::nullopt;
        default: missing(); return std::nullopt;
    }
}

bool lf_linkToArchive(Airport& airport) {
    if (airport.publisher.empty()) lf_classifyPublisher(airport);
    if (airport.publisher.empty()) return false;
    if (airport.publisher == kSimaddon) {
        const auto path = lf_findSimaddonArchiveFile(airport.icao);
        if (!path || !lf_writeLinkFile(mySimaddonDir, airport.icao, *path)) return false;
        gf_appendScanLogLine(fmt::format("{} airport {} linked to {}\n", kSimaddon, airport.icao, *path));
        return true;
    }
    const auto path = lf_findThirdpartyArchiveFile(airport);
    if (!path || !lf_writeLinkFile(myThirdpartyDir, airport.icao, *path)) return false;
    gf_appendScanLogLine(fmt::format("thirdparty airport {} linked to {}\n", airport.icao, *path));
    return true;
}

void lf_makeFacilityStandsWritable(Airport& airport, std::uint32_t& helipadCount) {
    std::unordered_set<std::string> usedNames;
    for (const Stand& stand : airport.stands) {
        if (stand.heli) usedNames.insert(stand.name);
    }
    std::vector<Stand> kept;
    kept.reserve(airport.stands.size());
    for (Stand& stand : airport.stands) {
        const LaLo position{stand.latitude, stand.longitude};
        if (!gf_isValidLaLo(position) || !std::isfinite(stand.heading) || !std::isfinite(stand.radius) ||
            !(stand.radius > 0.0)) {
            gf_appendScanLogLine(fmt::format("{:14} radius {} invalid (skipped) {}", stand.name,
                                             stand.radius / metresToNm, position));
            if (stand.heli && helipadCount > 0) --helipadCount;
            continue;
        }
        if (!stand.heli) {
            const auto name = lf_makeUniqueStandName(stand.name, usedNames);
            if (!name) continue;
            stand.name = *name;
        }
        kept.push_back(std::move(stand));
    }
    airport.stands = std::move(kept);
}

void lf_writeGeneratedAirportFile(Airport& airport, int helipadCount) {
    const fs::path& folder = airport.publisher == kSimaddon ? mySimaddonDir : myThirdpartyDir;
    const std::string fileName = gf_icaoXmlFileName(airport.icao);
    const std::size_t count = airport.stands.size();
    gf_appendScanLogLine(fmt::format(
        "Generated {}: {} position{}{}", fileName, count, lf_plural(count),
        helipadCount >= 1 ? fmt::format(" of which {} helipad{}", helipadCount, helipadCount > 1 ? "s" : "")
                          : std::string()));
    std::stable_sort(airport.stands.begin(), airport.stands.end(),
                     [](const Stand& a, const Stand& b) { return a.name < b.name; });
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        fs::create_directories(folder, ec);
        if (ec) throw fs::filesystem_error("create_directory", folder, ec);
    }
    const fs::path file = folder / fileName;
    if (!gf_writeApf(airport, file, kApfModeGenerated, startupChoice.load()->simulator, false, std::nullopt)) {
        gf_appendScanLogLine(fmt::format("===> Writing {} did not succeed", gf_pathToUtf8(file)));
    }
}

bool lf_readAirportFacilities(const fs::path& bglPath) {
    l_archiveChecked.reset();
    gf_appendScanLogLine(fmt::format("\nFac: {}", gf_pathToUtf8(bglPath)));
    Airport airport;
    airport.path = bglPath;
    airport.bglPath = gf_pathToUtf8(bglPath);
    if (auto manifest = gf_searchManifest(bglPath)) airport.manifest = std::move(manifest);
    const std::optional<IcaoCode> code = gf_icaoCodesForBgl(airport, gf_scanCodeFilters());
    if (!code) return false;
    if (!gf_hasWeeklyTraffic(*code)) {
        gf_appendScanLogLine(fmt::format("facilities reader: {} has no Real Traffic traffic file (this week)", *code));
        return true;
    }
    airport.icao = *code;
    if (lf_linkToArchive(airport)) {
        lf_postAirportFileCounts(true, true);
        return true;
    }
    const bool accepted = lf_manifestAccepted(airport);
    l_archiveChecked = ArchiveChecked{bglPath, airport.icao, airport.publisher, airport.manifest, accepted};
    if (!accepted) return false;
    if (lf_generateFromFacilities(airport, "Reading Facilites data for {} via SimConnect failed: {}") ==
        FacilityOutcome::generated) {
        return true;
    }
    lf_facilityReadFailed("Reading Facilites data for {} via SimConnect failed, is MSFS connected?", airport.icao);
    return false;
}

void lf_readPackageAirportFacilities(Airport& airport) {
    if (lf_linkToArchive(airport)) {
        lf_postAirportFileCounts(true, true);
        return;
    }
    switch (lf_generateFromFacilities(airport, "Reading Facilities data for {} via SimConnect failed: {}")) {
        case FacilityOutcome::generated: return;
        case FacilityOutcome::failed:
            lf_facilityReadFailed("Reading Facilities data for {} via SimConnect failed, is MSFS connected?",
                                  airport.icao);
            return;
        case FacilityOutcome::threw: gf_writeAirportsScanLog(); return;
    }
}

bool lf_startBglAirport(Airport& airport) {
    if (l_archiveChecked && l_archiveChecked->bglPath == airport.path && l_archiveChecked->icao == airport.icao) {
        airport.publisher = l_archiveChecked->publisher;
        airport.manifest = l_archiveChecked->manifest;
        return l_archiveChecked->accepted;
    }
    if (auto manifest = gf_searchManifest(airport.path)) airport.manifest = std::move(manifest);
    if (lf_linkToArchive(airport)) {
        lf_postAirportFileCounts(true, true);
        return false;
    }
    return lf_manifestAccepted(airport);
}

void lf_finishBglAirport(Airport& airport, int helipadCount) {
    lf_writeGeneratedAirportFile(airport, helipadCount);
    lf_postAirportFileCounts(false, true);
}
