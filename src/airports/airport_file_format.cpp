#include "airports/airport_file_format.h"

#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>
#include <system_error>
#include <unordered_set>

#include <fmt/format.h>

#include "engine/reports.h"
#include "foundation/lalo.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/time.h"
#include "foundation/version.h"
#include "foundation/xml.h"
#include "liveries/code_tables.h"
#include "liveries/dbase.h"

namespace fs = std::filesystem;

namespace {

constexpr double kDegreesToRadians = 0.017453292519943295;
constexpr double kRadiansToDegrees = 57.29577951308232;
constexpr double kTwoPi = 6.283185307179586;

std::atomic<std::uint64_t> l_tempFileCounter{0};

bool appendParameter(pugi::xml_node parent, std::string_view name, std::string_view value) {
    pugi::xml_node parameter = parent.append_child("parameter");
    return parameter && gf_appendXmlAttribute(parameter, "name", name) &&
           gf_appendXmlAttribute(parameter, "value", value);
}

bool appendBoolParameter(pugi::xml_node parent, std::string_view name, bool value) {
    return appendParameter(parent, name, value ? "true" : "false");
}

bool isWritablePosition(double latitude, double longitude) {
    return gf_isValidLaLo(LaLo{latitude, longitude});
}

// The value a reader takes from a written number.
double readBack(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

// Six decimals, as airport files carry positions. A position that six
// decimals would move into the refused corner around (0, 0) is written in
// the shortest form that gives it back exactly, so the stand is not lost on
// the next read.
std::pair<std::string, std::string> positionTexts(double latitude, double longitude) {
    std::string lat = fmt::format("{:.6f}", latitude);
    std::string lon = fmt::format("{:.6f}", longitude);
    if (lf_isReadablePosition(latitude, longitude) && !lf_isReadablePosition(readBack(lat), readBack(lon))) {
        lat = fmt::format("{}", latitude);
        lon = fmt::format("{}", longitude);
    }
    return {lat, lon};
}

// Metres with one decimal, as airport files carry radii. A radius that one
// decimal would round to 0 (a stand below 5 cm) is written in the shortest
// form that gives it back exactly.
std::string radiusText(double radiusNm) {
    double metres = radiusNm * 1852.0;
    if (!std::isfinite(metres)) metres = std::numeric_limits<double>::max();
    std::string text = fmt::format("{:.1f}", metres);
    if (!lf_isReadableRadius(readBack(text))) text = fmt::format("{}", metres);
    return text;
}

// Appends the stand's geometry and type attributes; false when the stand's
// geometry cannot be written (logged) or an attribute cannot be appended.
bool appendStandGeometry(pugi::xml_node parkpos, const Stand& stand, bool& attributesOk) {
    if (!isWritablePosition(stand.latitude, stand.longitude) || !std::isfinite(stand.radius) ||
        !(stand.radius > 0.0) || !std::isfinite(stand.heading)) {
        gf_logError(fmt::format("gf_writeApf: stand '{}' has invalid geometry", stand.name));
        return false;
    }
    std::string_view typeName = gf_parkingTypeName(stand.type);
    if (typeName.empty()) {
        typeName = "NONE";
    }
    const auto [latitude, longitude] = positionTexts(stand.latitude, stand.longitude);
    bool ok = gf_appendXmlAttribute(parkpos, "typestr", typeName);
    ok = gf_appendXmlAttribute(parkpos, "latitude", latitude) && ok;
    ok = gf_appendXmlAttribute(parkpos, "longitude", longitude) && ok;
    ok = gf_appendXmlAttribute(parkpos, "heading", fmt::format("{:.1f}", stand.heading * kRadiansToDegrees)) && ok;
    ok = gf_appendXmlAttribute(parkpos, "radius", radiusText(stand.radius)) && ok;
    if (stand.type == ParkingType::NONE && !stand.heli) {
        ok = gf_appendXmlAttribute(parkpos, "type", "0") && ok;
        ok = gf_appendBoolAttribute(parkpos, "cargo", stand.cargo) && ok;
        ok = gf_appendBoolAttribute(parkpos, "ramp", stand.ramp) && ok;
    }
    if (stand.heli) {
        ok = gf_appendXmlAttribute(parkpos, "heli", "true") && ok;
    }
    if (stand.manual) {
        ok = gf_appendXmlAttribute(parkpos, "manual", "true") && ok;
    }
    attributesOk = attributesOk && ok;
    return true;
}

// Appends the stand's options; false when one of them cannot be written
// (logged). Options without a number or registration are left out.
bool appendStandOptions(pugi::xml_node parkpos, const Stand& stand, bool& attributesOk) {
    for (const StandOption& option : stand.options) {
        if (option.number == 0 || option.registration.empty()) {
            continue;
        }
        const std::optional<std::string> hours = gf_bitset2hours(option.hours);
        if (!hours || option.day < 1 || option.day > 7) {
            gf_logError(gf_formatWithAcKey("invalid flight option: {} {} {}", option.registration, option.callsign1,
                                           option.key));
            return false;
        }
        pugi::xml_node opt = parkpos.append_child("opt");
        bool ok = static_cast<bool>(opt) && gf_appendStringAttribute(opt, "reg", option.registration);
        if (option.key.flag == 0) {
            ok = gf_appendXmlAttribute(opt, "airl", gf_airlineCodeAt(option.key.airline)) && ok;
            ok = gf_appendXmlAttribute(opt, "type", gf_modelCodeAt(option.key.model)) && ok;
        }
        if (option.real == 0) {
            ok = gf_appendXmlAttribute(opt, "soft", "true") && ok;
        }
        ok = gf_appendXmlAttribute(opt, "day", fmt::format("{}", option.day)) && ok;
        ok = gf_appendStringAttribute(opt, "hh", *hours) && ok;
        // A second callsign without a first is written after an empty first
        // (":X"), which the reader gives back as it was.
        if (!option.callsign1.empty() || !option.callsign2.empty()) {
            const std::string cs = option.callsign2.empty()
                                       ? option.callsign1
                                       : fmt::format("{}:{}", option.callsign1, option.callsign2);
            ok = gf_appendStringAttribute(opt, "cs", cs) && ok;
        }
        if (option.cpl) {
            ok = gf_appendXmlAttribute(opt, "cpl", "true") && ok;
        }
        attributesOk = attributesOk && ok;
    }
    return true;
}

double normalizedHeading(double degrees) {
    double heading = degrees * kDegreesToRadians;
    if (std::isfinite(heading)) {
        heading = std::fmod(heading, kTwoPi);
        if (heading < 0.0) {
            heading += kTwoPi;
        }
        if (heading >= kTwoPi) {
            heading = 0.0;
        }
    }
    return heading;
}

ParkingType typeFromCode(long long code) {
    if (code >= 0 && code < static_cast<long long>(kParkingTypeNames.size())) {
        return static_cast<ParkingType>(code);
    }
    return ParkingType::NONE;
}

}  // namespace

bool lf_appendDoubleParameter(pugi::xml_node parent, std::string_view name, double value) {
    return appendParameter(parent, name, fmt::format("{:.{}f}", value, 4));
}

bool lf_writeAirportParameters(pugi::xml_node root, const Airport& airport, int mode, bool handmade,
                               const std::optional<AirportParkingSettings>& settings) {
    const bool generated = mode == kApfModeGenerated;
    if (!generated && !settings) {
        return false;
    }
    pugi::xml_node parameters = root.append_child("parameters");
    if (!parameters) {
        return false;
    }
    bool ok = appendParameter(parameters, "icao", airport.icao.text());
    const std::string iata = airport.iata.text();
    if (airport.iata.isSet() && iata != "XXX") {
        ok = appendParameter(parameters, "iata", iata) && ok;
    }
    ok = appendParameter(parameters, "airport_name", airport.name) && ok;
    if (!(airport.latitude == 0.0 && airport.longitude == 0.0)) {
        ok = lf_appendDoubleParameter(parameters, "latitude", airport.latitude) && ok;
        ok = lf_appendDoubleParameter(parameters, "longitude", airport.longitude) && ok;
    }
    ok = appendParameter(parameters, "publisher", airport.publisher) && ok;
    if (airport.manifest && !airport.manifest->version.empty() && airport.publisher != "stock") {
        ok = appendParameter(parameters, "version", airport.manifest->version) && ok;
    }
    if (handmade) {
        ok = appendParameter(parameters, "handmade", "true") && ok;
    }
    if (handmade || generated) {
        ok = appendParameter(parameters, "altitude", fmt::format("{}", airport.altitude)) && ok;
    }
    if (generated) {
        ok = appendParameter(parameters, "num_parkpos", fmt::format("{}", airport.stands.size())) && ok;
    }
    if (handmade && (airport.qfReal > 0 || airport.qfSoft > 0)) {
        if (airport.qfReal >= 0) {
            ok = appendParameter(parameters, "Qf_real", fmt::format("{}", airport.qfReal)) && ok;
        }
        if (airport.qfSoft > 0 || airport.qfReal == 0) {
            ok = appendParameter(parameters, "Qf_soft", fmt::format("{}", airport.qfSoft)) && ok;
        }
    }
    if (airport.publisher.empty()) {
        ok = appendParameter(parameters, "BGLpath", airport.bglPath) && ok;
        if (airport.manifest) {
            ok = appendParameter(parameters, "manufacturer", airport.manifest->manufacturer) && ok;
            ok = appendParameter(parameters, "creator", airport.manifest->creator) && ok;
        }
    }
    if (!generated) {
        ok = appendBoolParameter(parameters, "RT_PARKTRAFFIC_ONLY", settings->rtParkTrafficOnly != 0) && ok;
        ok = appendBoolParameter(parameters, "AUTO_PARK", settings->autoPark != 0) && ok;
        ok = appendParameter(parameters, "parking_percentage", fmt::format("{}", settings->parkingPercentage)) && ok;
        ok = appendParameter(parameters, "MAX_FIT", fmt::format("{}", settings->maxFit)) && ok;
        ok = appendBoolParameter(parameters, "WEEK", settings->week != 0) && ok;
        ok = appendBoolParameter(parameters, "PARK_SOFT", settings->parkSoft != 0) && ok;
    }
    return ok;
}

bool gf_writeApf(const Airport& airport, const fs::path& path, int mode, std::uint32_t simulator, bool handmade,
                 const std::optional<AirportParkingSettings>& settings) {
    pugi::xml_document document;
    DataFileMeta meta;
    meta.version = fmt::format("{}.{}.{}", g_programVersion.major, g_programVersion.minor, g_programVersion.patch);
    meta.sim = simulator;
    if (!gf_writeDataFileMeta(document, meta)) {
        return false;
    }
    pugi::xml_node root = document.child("root");
    if (!root) {
        root = document.append_child("root");
    }
    if (!lf_writeAirportParameters(root, airport, mode, handmade, settings)) {
        return false;
    }

    const bool generated = mode == kApfModeGenerated;
    if (!airport.stands.empty()) {
        pugi::xml_node parkpositions = root.append_child("parkpositions");
        bool attributesOk = static_cast<bool>(parkpositions);
        std::unordered_set<std::string> ids;
        ids.reserve(airport.stands.size());
        for (const Stand& stand : airport.stands) {
            if (stand.name.empty() || !ids.insert(stand.name).second) {
                gf_logError(fmt::format("gf_writeApf: empty or duplicate stand id '{}'", stand.name));
                return false;
            }
            pugi::xml_node parkpos = parkpositions.append_child("parkpos");
            attributesOk = gf_appendStringAttribute(parkpos, "id", stand.name) && attributesOk;
            if ((generated || stand.manual || handmade) && !appendStandGeometry(parkpos, stand, attributesOk)) {
                return false;
            }
            if (!generated && !appendStandOptions(parkpos, stand, attributesOk)) {
                return false;
            }
        }
        if (!attributesOk) {
            return false;
        }
    }

    if (path.empty()) {
        gf_logError("gf_writeApf: empty output filename");
        return false;
    }
    if (path.has_parent_path()) {
        std::error_code ec;
        fs::create_directories(path.parent_path(), ec);
        if (ec) {
            gf_logError(fmt::format("gf_writeApf: could not create directory '{}': {}",
                                    gf_pathToUtf8(path.parent_path()), ec.message()));
            return false;
        }
    }
    fs::path temporary = path;
    temporary += fmt::format(".{}.{}.tmp", static_cast<long>(::getpid()), l_tempFileCounter.fetch_add(1));
    TempFileGuard guard(temporary);
    if (!document.save_file(temporary.c_str(), "  ", pugi::format_default, pugi::encoding_auto)) {
        return false;
    }
    return gf_moveFile(temporary, path);
}

OptIdentity lf_readOptIdentity(const pugi::xml_node& opt) {
    OptIdentity identity;
    const std::string_view cs = opt.attribute("cs").as_string();
    if (const std::size_t colon = cs.find(':'); colon != std::string_view::npos) {
        identity.callsign1 = std::string(cs.substr(0, colon));
        identity.callsign2 = std::string(cs.substr(colon + 1));
    } else {
        identity.callsign1 = std::string(cs);
    }
    const std::string_view registration = opt.attribute("reg").as_string();
    if (!registration.empty()) {
        if (const std::optional<AcKey> key = gf_findRegistration(registration)) {
            identity.key = *key;
            return identity;
        }
    }
    identity.key = lf_readOptAircraftKey(opt);
    return identity;
}

AcKey lf_readOptAircraftKey(const pugi::xml_node& opt) {
    AcKey key{};
    key.airline = gf_internAirlineCode(opt.attribute("airl").as_string());
    key.model = gf_internModelCode(opt.attribute("type").as_string());
    return key;
}

StandOption lf_optionFromElement(const pugi::xml_node& opt, const HoursBitset& hours, std::uint32_t number,
                                 std::uint32_t mark) {
    OptIdentity identity = lf_readOptIdentity(opt);
    StandOption option;
    option.key = identity.key;
    option.registration = opt.attribute("reg").as_string();
    option.callsign1 = std::move(identity.callsign1);
    option.callsign2 = std::move(identity.callsign2);
    option.hours = hours;
    option.number = number;
    option.day = opt.attribute("day").as_uint(0);
    option.mark = mark;
    option.real = opt.attribute("soft").as_bool(false) ? 0 : 1;
    option.cpl = opt.attribute("cpl").as_bool(false);
    return option;
}

bool lf_isReadablePosition(double latitude, double longitude) {
    return latitude >= -90.0 && latitude <= 90.0 && longitude >= -180.0 && longitude <= 180.0 &&
           !(std::fabs(latitude) <= 0.0001 && std::fabs(longitude) <= 0.0001);
}

bool lf_isReadableRadius(double metres) {
    // A radius so small that it vanishes in nautical miles would be a stand of
    // radius 0, which no file may carry.
    return std::isfinite(metres) && metres > 0.0 && metres * metresToNm > 0.0;
}

bool lf_readParkpos(const pugi::xml_node& parkpos, const std::string& name, std::uint32_t mark,
                    std::vector<Stand>& stands) {
    const double latitude = parkpos.attribute("latitude").as_double(0.0);
    const double longitude = parkpos.attribute("longitude").as_double(0.0);
    if (!lf_isReadablePosition(latitude, longitude)) {
        gf_logError(fmt::format("stand {} has no valid lat/lon", name));
        return false;
    }
    const std::string_view typeText = parkpos.attribute("typestr").as_string();
    const double radius = parkpos.attribute("radius").as_double(0.0);
    const double headingDegrees = parkpos.attribute("heading").as_double(0.0);
    const bool heli = parkpos.attribute("heli").as_bool(false);

    ParkingType type = ParkingType::NONE;
    if (!typeText.empty()) {
        type = gf_parkingTypeFromName(typeText).value_or(ParkingType::NONE);
    } else {
        type = typeFromCode(parkpos.attribute("type").as_llong(0));
    }
    bool cargo = false;
    bool ramp = false;
    if (type != ParkingType::NONE) {
        cargo = type == ParkingType::RAMP_CARGO || type == ParkingType::RAMP_MIL_CARGO;
        ramp = type == ParkingType::RAMP_GA || type == ParkingType::RAMP_GA_SMALL ||
               type == ParkingType::RAMP_GA_MEDIUM || type == ParkingType::RAMP_GA_LARGE ||
               type == ParkingType::RAMP_GA_EXTRA;
    } else if (!heli) {
        const pugi::xml_attribute cargoAttribute = parkpos.attribute("cargo");
        const pugi::xml_attribute rampAttribute = parkpos.attribute("ramp");
        if (!cargoAttribute || !rampAttribute) {
            gf_logError(fmt::format("stand {} has no valid type, and no valid cargo/ramp fallback info", name));
            return false;
        }
        if (!(radius > 0.0)) {
            gf_logError(fmt::format("stand {} has no valid type and no usable radius", name));
            return false;
        }
        cargo = cargoAttribute.as_bool(false);
        ramp = rampAttribute.as_bool(false);
        if (cargo) {
            type = ParkingType::RAMP_CARGO;
        } else if (ramp) {
            type = radius >= 30.0   ? ParkingType::RAMP_GA_LARGE
                   : radius >= 16.0 ? ParkingType::RAMP_GA_MEDIUM
                                    : ParkingType::RAMP_GA_SMALL;
        } else {
            type = radius >= 30.0   ? ParkingType::GATE_HEAVY
                   : radius >= 16.0 ? ParkingType::GATE_MEDIUM
                                    : ParkingType::GATE_SMALL;
        }
    } else {
        cargo = parkpos.attribute("cargo").as_bool(false);
        ramp = parkpos.attribute("ramp").as_bool(false);
    }
    if (!lf_isReadableRadius(radius) || !std::isfinite(headingDegrees)) {
        gf_logError(fmt::format("stand {} has invalid radius or heading", name));
        return false;
    }

    std::vector<StandOption> options;
    options.reserve(static_cast<std::size_t>(std::distance(parkpos.children("opt").begin(),
                                                           parkpos.children("opt").end())));
    std::uint32_t number = 1;
    for (const pugi::xml_node opt : parkpos.children("opt")) {
        const std::string_view hh = opt.attribute("hh").as_string();
        const unsigned day = opt.attribute("day").as_uint(0);
        if (hh.empty() || day < 1 || day > 7) {
            continue;
        }
        const HoursBitset hours = gf_hours2bitset(hh);
        if (hours.none()) {
            continue;
        }
        StandOption option = lf_optionFromElement(opt, hours, number++, mark);
        options.push_back(std::move(option));
    }
    stands.emplace_back(name, std::move(options), latitude, longitude, normalizedHeading(headingDegrees), radius, type,
                        cargo, ramp, heli);
    return true;
}

void lf_readParkPositions(const pugi::xml_document& document, std::vector<Stand>& stands) {
    pugi::xml_node root = document.child("root");
    const pugi::xml_node container = root ? root : static_cast<pugi::xml_node>(document);
    const pugi::xml_node parkpositions = container.child("parkpositions");
    if (!parkpositions) {
        gf_log(fmt::format("airport file has no '{}' section", "parkpositions"));
        return;
    }
    std::unordered_set<std::string> ids;
    ids.reserve(kMaxStandsPerFile);
    std::size_t count = 0;
    for (const pugi::xml_node parkpos : parkpositions.children("parkpos")) {
        ++count;
        if (count > kMaxStandsPerFile) {
            gf_logError(fmt::format("airport file contains more than {} stands; remaining stands skipped",
                                    kMaxStandsPerFile));
            return;
        }
        const pugi::xml_attribute idAttribute = parkpos.attribute("id");
        if (!idAttribute) {
            gf_logError(fmt::format("Parking position #{} has no '{}' attribute, skipped.", count, "id"));
            continue;
        }
        std::string id(gf_trimView(idAttribute.as_string()));
        if (id.empty()) {
            gf_logError(fmt::format("Stand #{} has empty '{}' attribute, skipped.", count, "id"));
            continue;
        }
        if (!ids.insert(id).second) {
            gf_logError(fmt::format("Stand '{}' appears more than once, last one skipped!", id));
            continue;
        }
        lf_readParkpos(parkpos, id, 1, stands);
    }
}

fs::path gf_canonicalAirportFilePath(const fs::path& path) {
    const std::string stem = path.stem().string();
    if (stem.size() < 5) {
        return path;
    }
    fs::path canonical = path.parent_path() / stem.substr(0, 4);
    canonical += path.extension();
    return canonical;
}
