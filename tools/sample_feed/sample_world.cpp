#include "tools/sample_feed/sample_world.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string_view>

#include <pugixml.hpp>

namespace tavo::sample {

namespace {

class ScenarioError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

double lf_number(const pugi::xml_node& node, const char* name, std::optional<double> fallback) {
    const pugi::xml_attribute attr = node.attribute(name);
    if (!attr) {
        if (fallback) return *fallback;
        throw ScenarioError("<" + std::string(node.name()) + "> has no " + name);
    }
    const std::string text = attr.value();
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(value))
        throw ScenarioError("<" + std::string(node.name()) + "> " + name + "=\"" + text + "\" is not a number");
    return value;
}

std::uint32_t lf_whole(const pugi::xml_node& node, const char* name, std::optional<double> fallback) {
    const double value = lf_number(node, name, fallback);
    if (value < 0 || value > 4095 || value != std::floor(value))
        throw ScenarioError("<" + std::string(node.name()) + "> " + name + " is no whole number from 0 to 4095");
    return static_cast<std::uint32_t>(value);
}

LatLon lf_position(const pugi::xml_node& node) {
    const LatLon p{lf_number(node, "lat", std::nullopt), lf_number(node, "lon", std::nullopt)};
    if (std::abs(p.lat) > 90 || std::abs(p.lon) > 180)
        throw ScenarioError("<" + std::string(node.name()) + "> lies outside the earth");
    return p;
}

std::string lf_runwayName(const pugi::xml_node& node, const char* number, const char* designator) {
    const std::uint32_t n = lf_whole(node, number, std::nullopt);
    if (n < 1 || n > 36) throw ScenarioError("<runway> " + std::string(number) + " must lie from 1 to 36");
    static constexpr std::array<std::string_view, 4> kDesignators{"", "L", "R", "C"};
    const std::uint32_t d = lf_whole(node, designator, 0);
    std::string name = (n < 10 ? "0" : "") + std::to_string(n);
    if (d < kDesignators.size()) name += kDesignators[d];
    return name;
}

// Parking types the simulator does not park aircraft at: none and vehicles.
bool lf_isAircraftStand(int type) { return type >= 1 && type <= 15 && type != 13; }

}  // namespace

std::string gf_sampleParkingName(std::uint32_t nameIndex, std::uint32_t number, int suffix) {
    static constexpr std::array<std::string_view, 12> kPrefixes{
        "",           "PARKING ",    "N_PARKING ", "NE_PARKING ", "E_PARKING ", "SE_PARKING ",
        "S_PARKING ", "SW_PARKING ", "W_PARKING ", "NW_PARKING ", "GATE ",      "DOCK ",
    };
    std::string name;
    if (nameIndex < kPrefixes.size()) {
        name = kPrefixes[nameIndex];
    } else if (nameIndex <= 37) {
        name = "GATE ";
        name += static_cast<char>('A' + (nameIndex - 12));
    }
    name += std::to_string(number);
    if (suffix >= 12 && suffix <= 37) name += static_cast<char>('A' + (suffix - 12));
    return name;
}

const SampleStand& SampleWorld::stand(const std::string& name) const {
    for (const SampleStand& s : stands)
        if (s.name == name) return s;
    throw std::runtime_error("the sample airport " + icao + " has no stand " + name);
}

std::string SampleWorld::runwayEndName(RunwayEnd end) const {
    const SampleRunway& r = runways.at(end.runway);
    return end.primary ? r.primaryName : r.secondaryName;
}

RunwayEnd SampleWorld::runwayEnd(const std::string& name) const {
    for (std::size_t i = 0; i < runways.size(); ++i) {
        if (runways[i].primaryName == name) return {i, true};
        if (runways[i].secondaryName == name) return {i, false};
    }
    throw std::runtime_error("the sample airport " + icao + " has no runway " + name);
}

SampleWorld gf_loadSampleWorld(const std::filesystem::path& scenario) {
    pugi::xml_document document;
    const pugi::xml_parse_result parsed = document.load_file(scenario.c_str());
    if (!parsed)
        throw std::runtime_error("cannot read the scenario " + scenario.string() + ": " + parsed.description());
    try {
        const pugi::xml_node root = document.child("scenario");
        if (!root) throw ScenarioError("no <scenario> element");
        const pugi::xml_node userNode = root.child("user");
        if (!userNode) throw ScenarioError("no <user> aircraft");
        const LatLon user = lf_position(userNode);

        // The airport whose reference point lies nearest the user aircraft.
        pugi::xml_node airport;
        double nearest = std::numeric_limits<double>::infinity();
        for (const pugi::xml_node a : root.children("airport")) {
            const LatLon p = lf_position(a);
            const double d = length(LocalFrame(p.lat, p.lon).toLocal(user));
            if (d < nearest) {
                nearest = d;
                airport = a;
            }
        }
        if (!airport) throw ScenarioError("no <airport>");

        SampleWorld world;
        world.icao = airport.attribute("icao").value();
        if (world.icao.size() != 4) throw ScenarioError("the airport has no four-character icao");
        world.reference = lf_position(airport);
        world.elevationFt = lf_number(airport, "alt_m", 0.0) * kFeetPerMetre;
        world.frame = LocalFrame(world.reference.lat, world.reference.lon);
        world.user = world.frame.toLocal(user);
        world.userHeadingDeg = normalHeading(lf_number(userNode, "heading_deg", 0.0));
        world.userOnGround = userNode.attribute("on_ground").as_bool(true);
        world.userAltitudeFt = lf_number(userNode, "alt_ft", 0.0);

        for (const pugi::xml_node p : airport.children("parking")) {
            SampleStand s;
            s.type = static_cast<int>(lf_whole(p, "type", 0));
            s.nameIndex = lf_whole(p, "name", 0);
            s.number = lf_whole(p, "number", 0);
            s.suffix = static_cast<int>(lf_whole(p, "suffix", 0));
            s.name = gf_sampleParkingName(s.nameIndex, s.number, s.suffix);
            s.headingDeg = normalHeading(lf_number(p, "heading_deg", 0.0));
            s.radiusM = lf_number(p, "radius_m", std::nullopt);
            s.at = {lf_number(p, "bias_x_m", 0.0), lf_number(p, "bias_z_m", 0.0)};
            s.position = world.frame.toLatLon(s.at);
            (lf_isAircraftStand(s.type) ? world.stands : world.vehicleParkings).push_back(std::move(s));
        }
        for (const pugi::xml_node h : airport.children("helipad")) {
            SampleHelipad pad;
            pad.position = lf_position(h);
            pad.at = world.frame.toLocal(pad.position);
            pad.headingDeg = normalHeading(lf_number(h, "heading_deg", 0.0));
            pad.lengthM = lf_number(h, "length_m", 20.0);
            pad.widthM = lf_number(h, "width_m", 20.0);
            world.helipads.push_back(pad);
        }
        for (const pugi::xml_node r : airport.children("runway")) {
            SampleRunway runway;
            runway.primaryName = lf_runwayName(r, "primary_number", "primary_designator");
            runway.secondaryName = lf_runwayName(r, "secondary_number", "secondary_designator");
            runway.centre = world.frame.toLocal(lf_position(r));
            runway.headingDeg = normalHeading(lf_number(r, "heading_deg", std::nullopt));
            runway.lengthM = lf_number(r, "length_m", std::nullopt);
            runway.widthM = lf_number(r, "width_m", std::nullopt);
            if (!(runway.lengthM > 0) || !(runway.widthM > 0)) throw ScenarioError("a runway without size");
            world.runways.push_back(std::move(runway));
        }
        if (world.runways.empty()) throw ScenarioError("the airport " + world.icao + " has no runway");
        return world;
    } catch (const ScenarioError& e) {
        throw std::runtime_error("the scenario " + scenario.string() + " does not describe a sample airport: " +
                                 e.what());
    }
}

}  // namespace tavo::sample
