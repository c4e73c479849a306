#pragma once
// Traffic and parked records: what the two traffic sources build from each
// reported aircraft, and the builders that validate, filter and correct them.
//
// A source parses one aircraft into TrafficFields or ParkedFields (views into
// its line or reply, no judgement), then calls gf_buildTrafficRecord or
// gf_buildParkedRecord with an OwnPositionSnapshot taken once per batch.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/stream_point.h"
#include "foundation/lalo.h"
#include "liveries/ac_key.h"

struct SettingsSnapshot;

// Three characters A-Z or 0-9 packed into 24 bits (first character in the
// high byte); 0 means absent.
class IataCode {
public:
    IataCode() = default;
    // "null" and "" give an absent code; any other text that is not three
    // letters or digits throws std::invalid_argument
    // "'<text>' IataCode: invalid string". Lower case is folded to upper case.
    explicit IataCode(std::string_view text);

    bool isSet() const { return m_code != 0; }
    std::uint32_t packed() const { return m_code; }
    // The three characters, or "" when absent.
    std::string text() const;

    friend bool operator==(const IataCode&, const IataCode&) = default;

private:
    std::uint32_t m_code = 0;
};

// Who an aircraft is; copied whole into the engine's aircraft record.
struct FlightIdentity {
    AcKey key{};
    IataCode origin;
    IataCode destination;
    std::uint64_t value = 0;
    std::string callsign;
    // The flight pair of the aircraft (arriving and departing callsign) as a
    // stand option gives it; left empty by the feed.
    std::string identity2;
    std::string identity3;
    std::string registration;
};

// One timed position report of one real aircraft.
struct TrafficRecord {
    FlightIdentity identity;
    StreamPoint point;
    double time = 0.0;  // seconds since 1970, UTC
    std::uint32_t hexid = 0;
};

// One parked aircraft of the traffic service.
struct ParkedRecord {
    FlightIdentity identity;
    LaLo position{};
    std::uint32_t hexid = 0;
    std::int32_t slot = -1;  // half-hour slot of the UTC day of the report; -1 unknown
    std::int32_t age = 0;    // half-hours since the report, set by each hand-over preparation
    std::string standName;
};

// One reported aircraft as a source parsed it. The texts view the received
// line or reply and must stay valid while the record is built.
struct TrafficFields {
    double time = 0.0;  // seconds since 1970, UTC
    std::uint32_t hexid = 0;
    LaLo position{};
    double altitude = 0.0;       // feet, as reported
    double verticalSpeed = 0.0;  // not finite reads as 0
    double track = 0.0;          // degrees
    double groundSpeed = 0.0;    // knots
    double trueHeading = 0.0;    // degrees; read only when gf_isAdsbIcaoSource(dataSource)
    double roll = -1.0;          // degrees; -1 absent
    double trueAirspeed = -1.0;  // knots; -1 absent
    std::string_view callsign;
    std::string_view aircraftType;
    std::string_view registration;
    std::string_view origin;
    std::string_view destination;
    std::string_view dataSource;  // as the source wrote it, tags included
    std::string_view emitterCategory;
    std::string_view airline;
    std::string_view code;  // "0000" marks a target that may be dropped on the ground
};

// One parked aircraft as a source parsed it.
struct ParkedFields {
    std::uint32_t hexid = 0;
    LaLo position{};
    std::int64_t time = 0;  // seconds since 1970, UTC
    std::string_view callsign;
    std::string_view aircraftType;
    std::string_view registration;
    std::string_view standName;
};

// What a source hands the builder with each batch (a copy, taken once).
struct OwnPositionSnapshot {
    double latitude = 0.0;
    double longitude = 0.0;
    double cosLatitude = 1.0;
    std::optional<double> airportElevationFt;  // the user's airport
    std::int32_t qnh = 1013;                    // hPa
    std::shared_ptr<const SettingsSnapshot> settings;
    bool collectHandOver = false;
    bool dropGround0000 = false;          // set by RT Direct
    bool handOverBeforeFilters = false;   // set by RT App
    bool rtDirect = false;                // the source: the QNH blend differs
};

// Callsign and hexid of a built report, for the hand-over maps.
struct HandOverEntry {
    std::string callsign;
    std::uint32_t hexid = 0;
};

struct TrafficBuildResult {
    std::int64_t roundedTime = 0;
    std::optional<TrafficRecord> record;
    std::optional<HandOverEntry> handOver;
};

struct TimeAndRange {
    std::int64_t roundedTime = 0;
    bool inRange = false;
};

// Checks time and position and the range of the snapshot's settings.
// Throws std::runtime_error "timestamp outside range: {:.3f}" or
// "invalid lalo: {}". No settings in the snapshot: {0, false}, nothing checked.
TimeAndRange gf_checkTimeAndPosition(const TrafficFields& fields, const OwnPositionSnapshot& own);

// Builds one live or buffered report. Throws std::runtime_error for a bad
// time, position or true heading, std::invalid_argument for a bad origin or
// destination code; every other rejection returns no record.
TrafficBuildResult gf_buildTrafficRecord(const TrafficFields& fields, const OwnPositionSnapshot& own);

// Builds one parked aircraft; no record when it is rejected. Throws
// std::runtime_error "lalo: {}" for an invalid position.
std::optional<ParkedRecord> gf_buildParkedRecord(const ParkedFields& fields);

// Corrects the point's altitude for the QNH and clamps targets near the
// airport elevation to the ground. Always returns true.
bool gf_correctAltitudeForQnh(StreamPoint& point, std::optional<double> airportElevationFt, std::int32_t qnh,
                              bool rtDirect);

// "" for "", "null", a text holding '@', a text of 5 or more characters
// holding "00000", or a length outside 3..8; else the text less one leading
// '.', and "" when fewer than 3 characters remain.
std::string_view gf_cleanCallsign(std::string_view text);

struct AircraftSelection {
    std::string callsign;
    std::string registration;
    std::uint32_t hexid = 0;
};

// "callsign,registration,hexid(hex),..." of the window's aircraft selector;
// nothing when the text does not have that form.
std::optional<AircraftSelection> gf_parseAircraftSelection(std::string_view text);
