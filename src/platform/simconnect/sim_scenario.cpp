// The scenario file of the simulator model: the world the program meets when
// it runs on Linux with the model as its simulator (TAVO_SIM_SCENARIO).
// data/scenarios/sample.xml shows every element and attribute.

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "platform/simconnect/sim_model.h"
#include "foundation/geodesy.h"

namespace {


struct ScenarioError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

double lf_number(const pugi::xml_node& node, const char* name, std::optional<double> fallback) {
    const auto attr = node.attribute(name);
    if (!attr) {
        if (fallback) return *fallback;
        throw ScenarioError(fmt::format("<{}> needs the attribute {}", node.name(), name));
    }
    const std::string text = attr.value();
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(v))
        throw ScenarioError(fmt::format("<{}> {}=\"{}\" is not a number", node.name(), name, text));
    return v;
}

std::int32_t lf_int(const pugi::xml_node& node, const char* name, std::int32_t fallback) {
    const double v = lf_number(node, name, fallback);
    if (v != std::floor(v) || v < -2147483648.0 || v > 2147483647.0)
        throw ScenarioError(fmt::format("<{}> {} must be a whole number", node.name(), name));
    return static_cast<std::int32_t>(v);
}

bool lf_bool(const pugi::xml_node& node, const char* name, bool fallback) {
    const auto attr = node.attribute(name);
    if (!attr) return fallback;
    const std::string v = attr.value();
    if (v == "true" || v == "1" || v == "yes") return true;
    if (v == "false" || v == "0" || v == "no") return false;
    throw ScenarioError(fmt::format("<{}> {}=\"{}\" is not true or false", node.name(), name, v));
}

// "YYYY-MM-DDTHH:MM:SSZ" to seconds since 1970; "now" is the system clock.
std::int64_t lf_zulu(const std::string& text) {
    if (text == "now")
        return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    char tail = 0;
    if (text.size() != 20 || std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &tail) != 7 ||
        tail != 'Z' || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59)
        throw ScenarioError(fmt::format("zulu=\"{}\" is not YYYY-MM-DDTHH:MM:SSZ or now", text));
    const auto days = std::chrono::sys_days(std::chrono::year(y) / std::chrono::month(static_cast<unsigned>(mo)) /
                                            std::chrono::day(static_cast<unsigned>(d)));
    return days.time_since_epoch().count() * 86400LL + h * 3600 + mi * 60 + s;
}

SimPose lf_pose(const pugi::xml_node& n) {
    SimPose p;
    p.latitudeDeg = lf_number(n, "lat", std::nullopt);
    p.longitudeDeg = lf_number(n, "lon", std::nullopt);
    p.altitudeFt = lf_number(n, "alt_ft", 0.0);
    p.headingRad = lf_number(n, "heading_deg", 0.0) * degreesToRadians;
    p.pitchRad = lf_number(n, "pitch_deg", 0.0) * degreesToRadians;
    p.groundVelocityKt = lf_number(n, "ground_speed_kt", 0.0);
    p.trueAirspeedKt = lf_number(n, "airspeed_kt", p.groundVelocityKt);
    if (std::abs(p.latitudeDeg) > 90 || std::abs(p.longitudeDeg) > 180)
        throw ScenarioError(fmt::format("<{}> position out of range", n.name()));
    return p;
}

struct TerrainArea {
    double lat, lon, radiusNm, heightFt;
};

SimThreshold lf_threshold(const pugi::xml_node& t) {
    return {static_cast<float>(lf_number(t, "length_m", 0.0)), static_cast<float>(lf_number(t, "width_m", 0.0)),
            lf_int(t, "enable", 1)};
}

SimAirport lf_airport(const pugi::xml_node& n) {
    SimAirport a;
    a.icao = n.attribute("icao").value();
    if (a.icao.empty()) throw ScenarioError("<airport> needs the attribute icao");
    a.region = n.attribute("region").value();
    a.name = n.attribute("name").value();
    a.latitudeDeg = lf_number(n, "lat", std::nullopt);
    a.longitudeDeg = lf_number(n, "lon", std::nullopt);
    a.altitudeM = lf_number(n, "alt_m", 0.0);
    for (const auto& p : n.children("parking")) {
        SimTaxiParking s;
        s.type = lf_int(p, "type", 8);
        s.name = lf_int(p, "name", 0);
        s.suffix = lf_int(p, "suffix", 0);
        s.number = static_cast<std::uint32_t>(lf_int(p, "number", 0));
        s.headingDeg = static_cast<float>(lf_number(p, "heading_deg", 0.0));
        s.radiusM = static_cast<float>(lf_number(p, "radius_m", 20.0));
        s.biasXM = static_cast<float>(lf_number(p, "bias_x_m", 0.0));
        s.biasZM = static_cast<float>(lf_number(p, "bias_z_m", 0.0));
        a.parkings.push_back(s);
    }
    for (const auto& h : n.children("helipad")) {
        SimHelipad s;
        s.latitudeDeg = lf_number(h, "lat", std::nullopt);
        s.longitudeDeg = lf_number(h, "lon", std::nullopt);
        s.altitudeM = lf_number(h, "alt_m", a.altitudeM);
        s.headingDeg = static_cast<float>(lf_number(h, "heading_deg", 0.0));
        s.lengthM = static_cast<float>(lf_number(h, "length_m", 20.0));
        s.widthM = static_cast<float>(lf_number(h, "width_m", 20.0));
        s.type = lf_int(h, "type", 1);
        s.surface = lf_int(h, "surface", 0);
        a.helipads.push_back(s);
    }
    for (const auto& r : n.children("runway")) {
        SimRunway s;
        s.latitudeDeg = lf_number(r, "lat", std::nullopt);
        s.longitudeDeg = lf_number(r, "lon", std::nullopt);
        s.altitudeM = lf_number(r, "alt_m", a.altitudeM);
        s.headingDeg = static_cast<float>(lf_number(r, "heading_deg", std::nullopt));
        s.lengthM = static_cast<float>(lf_number(r, "length_m", std::nullopt));
        s.widthM = static_cast<float>(lf_number(r, "width_m", 45.0));
        s.primaryNumber = lf_int(r, "primary_number", 0);
        s.primaryDesignator = lf_int(r, "primary_designator", 0);
        s.secondaryNumber = lf_int(r, "secondary_number", 0);
        s.secondaryDesignator = lf_int(r, "secondary_designator", 0);
        s.surface = lf_int(r, "surface", 0);
        if (auto t = r.child("primary_threshold")) s.primaryThreshold = lf_threshold(t);
        if (auto t = r.child("secondary_threshold")) s.secondaryThreshold = lf_threshold(t);
        a.runways.push_back(s);
    }
    for (const auto& st : n.children("start")) {
        SimStart s;
        s.latitudeDeg = lf_number(st, "lat", std::nullopt);
        s.longitudeDeg = lf_number(st, "lon", std::nullopt);
        s.altitudeM = lf_number(st, "alt_m", a.altitudeM);
        s.headingDeg = static_cast<float>(lf_number(st, "heading_deg", 0.0));
        s.number = lf_int(st, "number", 0);
        s.designator = lf_int(st, "designator", 0);
        s.type = lf_int(st, "type", 1);
        a.starts.push_back(s);
    }
    return a;
}

void lf_load(const std::string& path) {
    pugi::xml_document doc;
    const auto parsed = doc.load_file(path.c_str());
    if (!parsed) throw ScenarioError(fmt::format("not readable XML: {} (offset {})", parsed.description(), parsed.offset));
    const auto root = doc.child("scenario");
    if (!root) throw ScenarioError("no <scenario> element");

    const std::string sim = root.attribute("simulator").as_string("2020");
    if (sim != "2020" && sim != "2024") throw ScenarioError(fmt::format("simulator=\"{}\" is not 2020 or 2024", sim));
    const auto frameMs = lf_number(root, "frame_ms", 33.0);
    const auto secondMs = lf_number(root, "second_ms", 1000.0);
    if (frameMs < 1 || secondMs < 1) throw ScenarioError("frame_ms and second_ms must be at least 1");

    // The program runs for hours against this world: keep only a short
    // journal per object.
    gf_simModelSetJournalLimit(256);
    gf_simModelSetAcceptAnyTitle(lf_bool(root, "accept_any_title", false));
    gf_simModelSetZuluTime(lf_zulu(root.attribute("zulu").as_string("now")));
    gf_simModelSetFlightRunning(lf_bool(root, "flight_running", true));

    for (const auto& t : root.children("title")) {
        SimTitleInfo info;
        info.title = t.attribute("name").value();
        if (info.title.empty()) throw ScenarioError("<title> needs the attribute name");
        info.atcModel = t.attribute("atc_model").value();
        info.staticCgFt = lf_number(t, "static_cg_ft", 5.0);
        info.staticPitchRad = lf_number(t, "static_pitch_deg", 0.0) * degreesToRadians;
        gf_simModelAddTitle(info);
    }

    const auto user = root.child("user");
    if (!user) throw ScenarioError("no <user> element");
    SimUserAircraft u;
    u.title = user.attribute("title").as_string(u.title.c_str());
    u.atcModel = user.attribute("atc_model").as_string(u.atcModel.c_str());
    u.atcId = user.attribute("atc_id").as_string(u.atcId.c_str());
    u.pose = lf_pose(user);
    u.onGround = lf_bool(user, "on_ground", true);
    u.lightStates = lf_int(user, "lights", 0);

    std::vector<TerrainArea> areas;
    double defaultHeight = 0;
    if (const auto terrain = root.child("terrain")) {
        defaultHeight = lf_number(terrain, "height_ft", 0.0);
        for (const auto& a : terrain.children("area"))
            areas.push_back({lf_number(a, "lat", std::nullopt), lf_number(a, "lon", std::nullopt),
                             lf_number(a, "radius_nm", std::nullopt), lf_number(a, "height_ft", std::nullopt)});
    }
    // The first area that holds the position gives its height.
    gf_simModelSetTerrain([areas, defaultHeight](double lat, double lon) {
        for (const auto& a : areas)
            if (gf_distanceNm({lat, lon}, {a.lat, a.lon}) <= a.radiusNm) return a.heightFt;
        return defaultHeight;
    });
    if (u.pose.altitudeFt == 0 && !user.attribute("alt_ft"))
        u.pose.altitudeFt = gf_simModelTerrainHeightFt(u.pose.latitudeDeg, u.pose.longitudeDeg);
    gf_simModelSetUserAircraft(u);

    for (const auto& a : root.children("airport")) gf_simModelAddAirport(lf_airport(a));

    std::vector<SimTrafficAircraft> traffic;
    for (const auto& t : root.children("traffic")) {
        SimTrafficAircraft ac;
        ac.title = t.attribute("title").as_string(ac.title.c_str());
        ac.atcId = t.attribute("atc_id").as_string(ac.atcId.c_str());
        ac.atcModel = t.attribute("atc_model").as_string(ac.atcModel.c_str());
        ac.pose = lf_pose(t);
        ac.onGround = lf_bool(t, "on_ground", false);
        traffic.push_back(ac);
    }

    gf_simModelStart(sim == "2020" ? SimVersion::MSFS2020 : SimVersion::MSFS2024);
    for (const auto& ac : traffic) gf_simModelAddTraffic(ac);
    gf_simModelStartTicker(std::chrono::milliseconds(static_cast<long>(frameMs)),
                           std::chrono::milliseconds(static_cast<long>(secondMs)));
}

}  // namespace

void gf_simModelLoadScenario(const std::string& path) {
    gf_simModelReset();
    try {
        lf_load(path);
    } catch (const std::exception& e) {
        gf_simModelReset();
        throw std::runtime_error(fmt::format("Simulator scenario {}: {}", path, e.what()));
    }
}

bool gf_simModelStartFromEnvironment() {
    const char* path = std::getenv("TAVO_SIM_SCENARIO");
    if (!path || !*path) return false;
    gf_simModelLoadScenario(path);
    return true;
}
