#include "airports/airport_file_settings.h"

#include <cmath>
#include <exception>
#include <fstream>
#include <limits>
#include <mutex>
#include <unordered_set>
#include <utility>

#include <fmt/format.h>

#include "airports/airport.h"
#include "airports/airport_file_format.h"
#include "airports/airport_files.h"
#include "airports/current_airport.h"
#include "airports/loaded_airport.h"
#include "airports/park_airports.h"
#include "airports/parking_state.h"
#include "feed/rtapp/traffic_reader.h"
#include "feed/rtdirect/traffic_reader.h"
#include "foundation/geodesy.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/xml.h"
#include "platform/window/window.h"
#include "services/gui.h"
#include "services/parking_controls.h"
#include "settings/option_lists.h"
#include "settings/parameters.h"
#include "settings/parameters_file.h"
#include "settings/snapshot.h"

namespace fs = std::filesystem;

namespace {

std::mutex l_savedMutex;
std::optional<ParkingValues> l_savedUserSettings;  // under l_savedMutex

constexpr std::int32_t kQualityFactorVeryLow = 15;
constexpr std::size_t kTinyAirportStands = 2;

// The value and the check state of its check box, without saving: the
// airport's values apply to this visit only.
void lf_setChecked(GuiBoolParameter& parameter, bool value) {
    parameter.setValue(value);
    gf_setControlCheck(parameter.controlId, value);
}

void lf_logDetail(std::string_view name, std::string_view value) {
    gf_logContinuation(fmt::format("{:24}: {}", name, value));
}

// RT_PARKTRAFFIC_ONLY off and AUTO_PARK on: the planner takes the file's
// options and the hours of the fit do not matter.
void lf_enableMaxFitCombo() {
    gf_enableControl(MAX_FIT_FL.controlId, !(!RT_PARKTRAFFIC_ONLY.value() && AUTO_PARK.value()));
}

// Without a learned file: poor real-traffic data and tiny airports park by
// the file's options and fill their few stands.
void lf_applyRules(const AirportReadResult& result) {
    gf_log("learned airport file not available");
    if (result.qfReal <= kQualityFactorVeryLow) {
        if (RT_PARKTRAFFIC_ONLY.value()) lf_setChecked(RT_PARKTRAFFIC_ONLY, false);
        if (!AUTO_PARK.value()) {
            lf_setChecked(AUTO_PARK, true);
            gf_log(fmt::format("auto park set because Qf is very low: {}",
                               gf_formatQualityFactors(result.qfReal, result.qfSoft)));
        }
    }
    const std::size_t stands = result.stands.size();
    const std::int32_t percentage = parking_percentage.value();
    if (stands <= kTinyAirportStands && percentage != 100 && percentage != 65) {
        parking_percentage.set(stands == 1 ? 100 : 65);
        gf_logError(fmt::format("target parking % set at {}, because this airport has just {} stand{}",
                                parking_percentage.value(), stands, stands == 1 ? "" : "s"));
        if (RT_PARKTRAFFIC_ONLY.value()) lf_setChecked(RT_PARKTRAFFIC_ONLY, false);
        if (!AUTO_PARK.value()) {
            lf_setChecked(AUTO_PARK, true);
            gf_log("auto park set");
        }
    }
    gf_publishParkingSettings();
    lf_logDetail("parking_percentage", fmt::format("{}", parking_percentage.value()));
    parking_percentage.selectCurrent();
    gf_enableControl(parking_percentage.controlId, true);
}

// With a learned (or handmade) file: the settings it was saved with.
void lf_applyLearnedSettings(const AirportReadResult& result) {
    parking_percentage.set(result.parkingPercentage.value_or(parking_percentage.defaultValue()));
    parking_percentage.selectCurrent();
    if (result.week) lf_setChecked(WEEK, *result.week);
    if (result.parkSoft) lf_setChecked(PARK_SOFT, *result.parkSoft);
    if (result.rtParkTrafficOnly) lf_setChecked(RT_PARKTRAFFIC_ONLY, *result.rtParkTrafficOnly);
    lf_setChecked(AUTO_PARK, result.autoPark);
    if (result.maxFit) {
        MAX_FIT.set(*result.maxFit);
        gf_syncMaxFitCombo();
    }
    gf_publishParkingSettings();
    gf_applyParkingOptions();
    if (result.handmade) gf_log("A handmade airport file overruled the archived file!");
}

void lf_restoreFlag(GuiBoolParameter& parameter, std::uint8_t remembered) {
    const bool value = remembered != 0;
    if (parameter.value() == value) return;
    parameter.setValue(value);
    parameter.save();
    gf_setControlCheck(parameter.controlId, value);
}

// What the destination reads share: the prepared file, its plaintext and the
// document with its stands section.
struct DestinationFile {
    PreparedFile prepared;
    SecureBuffer buffer;
    pugi::xml_document document;
    pugi::xml_node parkpositions;
};

// Opens the airport's file for a destination read; nothing on success, else
// the error text (a missing section names the file when namePath is set).
std::optional<std::string> lf_openDestinationFile(const IcaoCode& icao, DestinationFile& file, bool namePath) {
    const std::optional<fs::path> source = gf_findAirportSourcePath(icao);
    if (!source) return std::string("airport source path not found");
    auto prepared = lf_prepareArchiveFile(lf_portableAirportPath(*source), false);
    if (auto* error = std::get_if<std::string>(&prepared)) return std::move(*error);
    file.prepared = std::move(std::get<PreparedFile>(prepared));
    if (auto error = lf_loadAirportDocument(file.prepared.path, file.prepared.isEncrypted, file.buffer, file.document))
        return error;
    if (!lf_metaFitsRunningSimulator(file.document)) return std::string("airport file has invalid metadata");
    const pugi::xml_node root = file.document.child("root");
    file.parkpositions = (root ? root : file.document.root()).child("parkpositions");
    if (!file.parkpositions) {
        if (namePath)
            return fmt::format("airport file {} has no '{}' section", gf_pathToUtf8(*source), "parkpositions");
        return fmt::format("airport file has no '{}' section", "parkpositions");
    }
    return std::nullopt;
}

ClosestStandRead lf_readClosestStand(const IcaoCode& icao, LaLo reference) {
    if (!gf_isValidLaLo(reference)) return std::string("invalid reference position");
    DestinationFile file;
    if (auto error = lf_openDestinationFile(icao, file, true)) return std::move(*error);
    const double cosLat = std::cos(reference.lat * degreesToRadians);
    double best = std::numeric_limits<double>::infinity();
    std::string bestName;
    for (const pugi::xml_node parkpos : file.parkpositions.children("parkpos")) {
        const double latitude = parkpos.attribute("latitude").as_double(0.0);
        const double longitude = parkpos.attribute("longitude").as_double(0.0);
        std::string name = gf_trim(std::string_view(parkpos.attribute("id").value()));
        if (name.empty() || !lf_isReadablePosition(latitude, longitude)) continue;
        const double north = (reference.lat - latitude) * 60.0;
        const double east = gf_wrapLongitudeDifference(reference.lon - longitude) * cosLat * 60.0;
        const double squared = north * north + east * east;
        if (squared < best) {
            best = squared;
            bestName = std::move(name);
        }
    }
    if (bestName.empty()) return std::string("airport file has no valid stands");
    return ClosestStand{std::move(bestName), std::sqrt(best)};
}

StandNamesRead lf_readStandNames(const IcaoCode& icao) {
    DestinationFile file;
    if (auto error = lf_openDestinationFile(icao, file, false)) return std::move(*error);
    std::vector<std::string> names;
    std::unordered_set<std::string> seen;
    for (const pugi::xml_node parkpos : file.parkpositions.children("parkpos")) {
        const pugi::xml_attribute id = parkpos.attribute("id");
        if (!id) continue;
        std::string name = gf_trim(std::string_view(id.value()));
        if (name.empty()) continue;
        for (char& c : name) c = gf_toUpperChar(c);
        if (seen.insert(name).second) names.push_back(std::move(name));
    }
    return names;
}

}  // namespace

void gf_copyParkingSettings() {
    const auto settings = settingsSnapshot.load();
    const ParkingValues values{settings->parking_percentage, settings->MAX_PARK_SEL, settings->MAX_LIVE_SEL,
                               settings->MAX_FIT,            settings->RT_PARKTRAFFIC_ONLY, settings->AUTO_PARK,
                               settings->WEEK,               settings->PARK_SOFT};
    std::lock_guard lock(l_savedMutex);
    l_savedUserSettings = values;
}

std::optional<ParkingValues> gf_savedUserParkingSettings() {
    std::lock_guard lock(l_savedMutex);
    return l_savedUserSettings;
}

void lf_applyAirportFileSettings(const AirportReadResult& result) {
    // The user's own values, before the airport's replace them: they are what
    // the set-back restores when the airport's parked traffic ends.
    gf_copyParkingSettings();
    g_airportDataWeek.store(result.rtTrafficWeek);
    gf_setCurrentAirportAltitude(result.altitude);
    if (result.learnedRead)
        lf_applyLearnedSettings(result);
    else
        lf_applyRules(result);

    Gui::enqueueUpdate(GuiUpdate::standCount(result.stands.size()));
    gf_log(fmt::format("Airport file read from '{}'",
                       gf_pathToUtf8(result.sourceKind == kAirportSourceCache ? result.readPath : result.requestedPath)));
    Gui::showParkAirport(result.version ? fmt::format("{} ({})", result.publisher, *result.version) : result.publisher,
                         result.handmade);
    const std::string quality = gf_formatQualityFactors(result.qfReal, result.qfSoft);
    lf_logDetail("publisher", result.publisher);
    if (result.version) lf_logDetail("version", *result.version);
    gf_logContinuation(fmt::format("{:24}: {} ft", "altitude", result.altitude));
    lf_logDetail("num_parkpos", fmt::format("{}", result.stands.size()));
    lf_logDetail("quality factor", quality);
    lf_logDetail("RT traffic week", fmt::format("{}", result.rtTrafficWeek));
    Gui::enqueueUpdate(GuiUpdate::airportQuality(quality));

    LoadedAirport loaded = gf_loadedAirport();
    loaded.fileLoaded = true;
    loaded.handmade = result.handmade;
    loaded.name = result.name;
    loaded.publisher = result.publisher;
    loaded.altitude = result.altitude;
    gf_setLoadedAirport(loaded);

    const std::optional<double> elevation = gf_getCurrentAirportAltitude();
    if (isRTDirect())
        gf_rtApiTrafficReader().setAirportElevation(elevation);
    else
        g_trafficReader.setAirportElevation(elevation);
    Gui::repaintLowerBand();
}

void gf_publishParkingSettings() {
    const std::int32_t percentage = parking_percentage.value();
    const std::int32_t maxParkSel = MAX_PARK_SEL.value();
    const std::int32_t maxFit = MAX_FIT.value();
    const std::uint8_t rtOnly = RT_PARKTRAFFIC_ONLY.value() ? 1 : 0;
    const std::uint8_t autoPark = AUTO_PARK.value() ? 1 : 0;
    const std::uint8_t week = WEEK.value() ? 1 : 0;
    const std::uint8_t parkSoft = PARK_SOFT.value() ? 1 : 0;
    gf_updateSettings([&](SettingsSnapshot& record) {
        record.parking_percentage = percentage;
        record.MAX_PARK_SEL = maxParkSel;
        record.MAX_FIT = maxFit;
        record.RT_PARKTRAFFIC_ONLY = rtOnly;
        record.AUTO_PARK = autoPark;
        record.WEEK = week;
        record.PARK_SOFT = parkSoft;
    });
}

void gf_restoreUserParkingSettings() {
    std::optional<ParkingValues> saved;
    {
        std::lock_guard lock(l_savedMutex);
        saved = std::exchange(l_savedUserSettings, std::nullopt);
    }
    if (!saved) return;
    if (MAX_FIT.value() != saved->maxFit) {
        MAX_FIT.set(saved->maxFit);
        MAX_FIT.save();
        gf_syncMaxFitCombo();
    }
    if (parking_percentage.value() != saved->parkingPercentage) {
        parking_percentage.set(saved->parkingPercentage);
        parking_percentage.save();
        parking_percentage.selectCurrent();
        gf_publishParameter(parking_percentage);
    }
    lf_restoreFlag(RT_PARKTRAFFIC_ONLY, saved->rtParkTrafficOnly);
    lf_restoreFlag(AUTO_PARK, saved->autoPark);
    lf_restoreFlag(PARK_SOFT, saved->parkSoft);
    lf_restoreFlag(WEEK, saved->week);
    gf_publishParkingSettings();
    gf_applyRtParkTrafficOnly();
    gf_applyAutoPark();
    lf_enableMaxFitCombo();
}

std::optional<AirportCacheInfo> lf_readAirportCacheInfo() {
    const std::string shown = gf_pathToUtf8(parkAirportFile);
    std::ifstream in(parkAirportFile, std::ios::binary);
    if (!in) {
        gf_log(fmt::format("{} could not be opened", shown));
        return std::nullopt;
    }
    pugi::xml_document document;
    if (const pugi::xml_parse_result parsed = document.load(in); !parsed) {
        gf_log(fmt::format("{} not loaded: {}", shown, parsed.description()));
        return std::nullopt;
    }
    const std::optional<std::string> code = gf_readStringXmlParameter(document, "icao");
    const std::optional<IcaoCode> icao = code ? lf_parseIcao(*code) : std::nullopt;
    if (!icao) return std::nullopt;
    AirportCacheInfo info;
    info.icao = *icao;
    info.publisher = gf_readStringXmlParameter(document, "publisher").value_or("");
    for (const char c : gf_readStringXmlParameter(document, "version").value_or(""))
        if (c >= '0' && c <= '9') info.version.push_back(c);
    return info;
}

ClosestStandRead gf_readDestApfForClosestStand(const IcaoCode& icao, LaLo reference) {
    try {
        return lf_readClosestStand(icao, reference);
    } catch (const std::exception& e) {
        return fmt::format("{}: {}", "gf_readDestApfForClosestStand", e.what());
    } catch (...) {
        return fmt::format("{}: unknown exception", "gf_readDestApfForClosestStand");
    }
}

StandNamesRead gf_readApfForStands(const IcaoCode& icao) {
    try {
        return lf_readStandNames(icao);
    } catch (const std::exception& e) {
        return fmt::format("{}: {}", "gf_readApfForStands", e.what());
    } catch (...) {
        return fmt::format("{}: unknown exception", "gf_readApfForStands");
    }
}

bool lf_metaFitsRunningSimulator(const pugi::xml_document& document) {
    const std::optional<DataFileMeta> meta = gf_readDataFileMeta(document, false);
    if (!meta) return false;
    const std::uint32_t running = isMSFS2020() ? 1u : 2u;
    if (meta->sim != kNoSimValue) return (meta->sim & running) != 0;
    if (meta->msfs == "2020") return running == 1;
    if (meta->msfs == "2024") return running == 2;
    return false;
}
