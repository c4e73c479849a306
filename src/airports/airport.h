#pragma once
// The plain records of one airport with its parking positions: Airport (one
// airport file in memory), Stand (one parking position), StandOption (one
// flight seen at, or planned for, a stand) and ParkingType. Airport files,
// the learned files, the park-airport loader, the parked-traffic planner, the
// airport scan and the facility reader all work on these records.
//
// Units: positions in degrees, stand headings in radians in [0, 2 pi), stand
// radii in nautical miles. Only code that reads metres from outside (airport
// files, BGL files, the simulator's facility data) converts, once, through
// the Stand constructor.

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "feed/records.h"
#include "foundation/files.h"
#include "foundation/time.h"
#include "liveries/ac_key.h"

// Metres to nautical miles (1 / 1852).
inline constexpr double metresToNm = 0.0005399568034557236;

// The kind of a parking position; the numbers are the simulator's and are
// stored in airport files (`type`), the names are the files' `typestr`.
// NONE marks a stand that no aircraft may use. Codes outside 0..15 can occur
// in foreign data; they have no name.
enum class ParkingType : std::uint32_t {
    NONE = 0,
    RAMP_GA = 1,
    RAMP_GA_SMALL = 2,
    RAMP_GA_MEDIUM = 3,
    RAMP_GA_LARGE = 4,
    RAMP_CARGO = 5,
    RAMP_MIL_CARGO = 6,
    RAMP_MIL_COMBAT = 7,
    GATE_SMALL = 8,
    GATE_MEDIUM = 9,
    GATE_HEAVY = 10,
    DOCK_GA = 11,
    FUEL = 12,
    VEHICLE = 13,
    RAMP_GA_EXTRA = 14,
    GATE_EXTRA = 15,
};

struct ParkingTypeName {
    ParkingType code;
    std::string_view name;
};

// The sixteen codes with their names, in code order.
inline constexpr std::array<ParkingTypeName, 16> kParkingTypeNames{{
    {ParkingType::NONE, "NONE"},
    {ParkingType::RAMP_GA, "RAMP_GA"},
    {ParkingType::RAMP_GA_SMALL, "RAMP_GA_SMALL"},
    {ParkingType::RAMP_GA_MEDIUM, "RAMP_GA_MEDIUM"},
    {ParkingType::RAMP_GA_LARGE, "RAMP_GA_LARGE"},
    {ParkingType::RAMP_CARGO, "RAMP_CARGO"},
    {ParkingType::RAMP_MIL_CARGO, "RAMP_MIL_CARGO"},
    {ParkingType::RAMP_MIL_COMBAT, "RAMP_MIL_COMBAT"},
    {ParkingType::GATE_SMALL, "GATE_SMALL"},
    {ParkingType::GATE_MEDIUM, "GATE_MEDIUM"},
    {ParkingType::GATE_HEAVY, "GATE_HEAVY"},
    {ParkingType::DOCK_GA, "DOCK_GA"},
    {ParkingType::FUEL, "FUEL"},
    {ParkingType::VEHICLE, "VEHICLE"},
    {ParkingType::RAMP_GA_EXTRA, "RAMP_GA_EXTRA"},
    {ParkingType::GATE_EXTRA, "GATE_EXTRA"},
}};

// The code of a name (exact, case-sensitive); nothing for any other text.
std::optional<ParkingType> gf_parkingTypeFromName(std::string_view name);
// The name of a code 0..15; an empty text for any other code.
std::string_view gf_parkingTypeName(ParkingType type);

// One flight seen at, or planned for, a stand.
struct StandOption {
    AcKey key{};
    std::string registration;
    std::string callsign1;  // without a trailing '_'
    std::string callsign2;  // a second callsign seen for the same option
    HoursBitset hours;      // half-hour slots of the day it stands there
    std::uint32_t number = 0;  // 1-based within its stand
    std::uint32_t day = 0;     // day of the week 1..7
    std::uint32_t mark = 0;    // 1 read from a source or handmade file, 0 learned or live
    std::uint32_t real = 0;    // 1 learned from real traffic, 0 soft (generated)
    bool cpl = false;
};

// One parking position of an airport.
struct Stand {
    // radiusMetres is converted to nautical miles here, once.
    Stand(std::string name_, std::vector<StandOption> options_, double latitude_, double longitude_,
          double heading_, double radiusMetres, ParkingType type_, bool cargo_, bool ramp_, bool heli_)
        : options(std::move(options_)),
          name(std::move(name_)),
          latitude(latitude_),
          longitude(longitude_),
          heading(heading_),
          radius(radiusMetres * metresToNm),
          type(type_),
          cargo(cargo_),
          ramp(ramp_),
          heli(heli_) {}

    std::vector<StandOption> options;
    std::string name;  // unique within one airport
    // Ids of stands of the same airport that must stay empty while this one
    // is occupied (overlapping positions).
    std::vector<std::uint32_t> excludes;
    double latitude = 0.0;   // degrees
    double longitude = 0.0;  // degrees
    double heading = 0.0;    // radians, [0, 2 pi)
    double radius = 0.0;     // nautical miles: the largest aircraft that fits
    // 1-based position in a stand table in use; 0 until the table numbers it.
    std::uint32_t id = 0;
    ParkingType type = ParkingType::NONE;
    bool manual = false;    // created by hand
    bool occupied = false;  // a parked or arriving aircraft holds it
    bool blocked = false;   // may not be used now
    bool cargo = false;
    bool ramp = false;  // ramp (general aviation), not gate
    bool heli = false;  // helipad: rotorcraft only, and rotorcraft use nothing else
};

// How many stands of the table are marked occupied: what a plan has taken.
std::int64_t gf_countOccupiedStands(const std::vector<Stand>& stands);

// Package information of the scenery package that holds an airport.
struct ManifestInfo {
    std::string title;
    std::string version;
    std::string manufacturer;
    std::string creator;
};

// One airport with its stands (one airport file in memory).
struct Airport {
    IcaoCode icao;  // none at construction
    IataCode iata;  // gf_noIataCode() for an airport without one
    // Reference point, degrees; a pair of exact zeros means "not set".
    double latitude = 0.0;
    double longitude = 0.0;
    std::string name;
    std::int32_t altitude = 0;  // feet
    std::int32_t qfReal = 0;    // quality factor of the real-traffic options
    std::int32_t qfSoft = 0;    // quality factor of the generated options
    std::filesystem::path path;  // the airport file
    std::string bglPath;         // scenery file the scan generated it from
    std::string publisher;       // "stock", "simaddon" or a publisher's name
    std::optional<ManifestInfo> manifest;
    std::vector<Stand> stands;  // in file order
};

// "XXX": the code that stands for an airport without an IATA code.
const IataCode& gf_noIataCode();

// The display text of an airport's two quality factors: qfReal alone ("{:2}")
// when it is 35 or more; two blanks when qfReal <= 0 and qfSoft < 1;
// otherwise "{:2}/{:2}".
std::string gf_formatQualityFactors(std::int32_t qfReal, std::int32_t qfSoft);
