#pragma once
// The sample world as the sample traffic sees it: the airport of the
// simulator model's scenario file (the one the user aircraft stands at), its
// stands, helipads and runways, and the user aircraft. Read with pugixml from
// the same file the simulator model loads, so that the traffic flies to the
// runways and stands the simulator reports.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/sample_feed/sample_geometry.h"

namespace tavo::sample {

// A parking position as the scenario gives it, with the name the simulator's
// facility data makes of it ("GATE 4A", "PARKING 20").
struct SampleStand {
    std::string name;
    int type = 0;  // the simulator's parking type (8-10 gates, 5 cargo, 1-4 ramps)
    std::uint32_t nameIndex = 0;
    std::uint32_t number = 0;
    int suffix = 0;
    double headingDeg = 0.0;
    double radiusM = 0.0;
    Vec at;
    LatLon position;
};

struct SampleHelipad {
    Vec at;
    LatLon position;
    double headingDeg = 0.0;
    double lengthM = 0.0;
    double widthM = 0.0;
};

// One runway; the primary end is the one its heading leads away from.
struct SampleRunway {
    std::string primaryName;    // "16L"
    std::string secondaryName;  // "34R"
    Vec centre;
    double headingDeg = 0.0;  // of the primary end
    double lengthM = 0.0;
    double widthM = 0.0;

    Vec along() const { return unitVector(headingDeg); }
    // The threshold a landing on the named end crosses first.
    Vec threshold(bool primary) const { return centre + along() * (primary ? -lengthM / 2 : lengthM / 2); }
    double directionDeg(bool primary) const { return normalHeading(headingDeg + (primary ? 0.0 : 180.0)); }
};

// One usable direction of a runway.
struct RunwayEnd {
    std::size_t runway = 0;
    bool primary = true;
};

struct SampleWorld {
    std::string icao;
    LatLon reference;
    double elevationFt = 0.0;
    LocalFrame frame;
    std::vector<SampleStand> stands;  // aircraft stands only
    std::vector<SampleStand> vehicleParkings;
    std::vector<SampleHelipad> helipads;
    std::vector<SampleRunway> runways;
    Vec user;
    double userHeadingDeg = 0.0;
    // Whether the user aircraft stands on the ground, and its altitude (ft
    // above sea level; 0 when the scenario leaves it to the terrain): the
    // traffic range around it depends on both.
    bool userOnGround = true;
    double userAltitudeFt = 0.0;

    const SampleStand& stand(const std::string& name) const;
    std::string runwayEndName(RunwayEnd end) const;
    RunwayEnd runwayEnd(const std::string& name) const;
};

// Reads the scenario file. Throws std::runtime_error naming the file and what
// is wrong when it cannot be read or holds no airport with runways.
SampleWorld gf_loadSampleWorld(const std::filesystem::path& scenario);

// The name the simulator gives a parking: the prefix of its name index, its
// number and its suffix letter.
std::string gf_sampleParkingName(std::uint32_t nameIndex, std::uint32_t number, int suffix);

}  // namespace tavo::sample
