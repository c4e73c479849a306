// Turning what a traffic source parsed into traffic and parked records: time
// and position checks, the range filter, identity cleaning, type and category
// filters, the QNH correction with its ground clamp, and the blocked aircraft.

#include "feed/records.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <stdexcept>

#include <fmt/format.h>

#include "airports/current_airport.h"
#include "engine/services.h"
#include "engine/stands.h"
#include "engine/user_position.h"
#include "feed/fields.h"
#include "foundation/time.h"
#include "liveries/code_tables.h"
#include "liveries/dbase.h"
#include "settings/snapshot.h"
#include "foundation/geodesy.h"
#include "foundation/text.h"

namespace {

double lf_flatDistanceSquaredNm(double fromLat, double fromLon, double cosFromLat, double lat, double lon) {
    const double north = (fromLat - lat) * 60.0;
    const double east = gf_wrapLongitudeDifference(fromLon - lon) * cosFromLat * 60.0;
    return north * north + east * east;
}

std::string_view lf_cleanRegistration(std::string_view text) {
    if (text == "null") return {};
    if (text.size() < 3 || text.size() > 12) return {};
    return text;
}

constexpr std::array<std::string_view, 5> kDroppedEmitters{"B1", "B2", "B4", "C1", "C2"};
constexpr std::array<std::string_view, 21> kDroppedTypes{
    "FOX",  "GND",  "RF5",  "TWR",  "U15",  "ARCP", "AS16", "BALL", "DIMO", "EMER", "GLID",
    "GLIM", "GRND", "JS3E", "PARA", "SERV", "SHIP", "SF25", "ULAC", "VENT", "ZZZZ"};

template <std::size_t N>
bool lf_contains(const std::array<std::string_view, N>& list, std::string_view text) {
    return std::find(list.begin(), list.end(), text) != list.end();
}

bool lf_isDroppedType(std::string_view type, std::string_view emitterCategory) {
    if (type.empty() || type == "null" || type == "0" || type == "ZZZZ") return true;
    if (lf_contains(kDroppedEmitters, emitterCategory)) return true;
    if (type.size() < 2 || type.size() > 4) return true;
    return lf_contains(kDroppedTypes, type);
}

double lf_tasFromAltitude(double altitude) {
    if (altitude <= 2000.0) return 180.0;
    if (altitude <= 5000.0) return 220.0;
    if (altitude <= 10000.0) return 250.0;
    if (altitude <= 20000.0) return 350.0;
    return 430.0;
}

// Ground targets only matter at the current airport.
bool lf_isNearCurrentAirportForGround(double lat, double lon) {
    const auto airport = gf_currentAirport();
    if (!airport || airport->icao.isNone() || !gf_isValidLaLo(airport->position)) return false;
    const double cosLat = std::cos(airport->position.lat * degreesToRadians);
    return lf_flatDistanceSquaredNm(airport->position.lat, airport->position.lon, cosLat, lat, lon) <= 25.0;
}

// True when the record is the blocked aircraft (it is then dropped); the
// blocked entry adopts what the record knows better.
bool lf_matchBlockedAircraft(const BlockedAircraft& blocked, const TrafficRecord& record) {
    if (blocked.BLOCK_AIRCRAFT.empty()) return false;
    const auto& callsign = record.identity.callsign;
    const auto& registration = record.identity.registration;
    if (record.hexid == static_cast<std::uint32_t>(blocked.BLOCK_HEXIDDEC)) {
        if (blocked.BLOCK_REGCODE == "null" && !registration.empty()) gf_adoptBlockedRegcode(registration);
        return true;
    }
    // An identity text the record lacks says nothing about it: two empty
    // texts are no match, or every aircraft without a registration (or
    // callsign) would be taken for the blocked one.
    if (!registration.empty() && registration == blocked.BLOCK_REGCODE) {
        gf_adoptBlockedHexidRegcode(record.hexid, registration);
        return true;
    }
    if (!callsign.empty() && callsign == blocked.BLOCK_CALLSIGN) {
        gf_adoptBlockedHexidRegcode(record.hexid, registration);
        return true;
    }
    if (blocked.callsignPrefix != 0 && !callsign.empty() && !blocked.BLOCK_CALLSIGN.empty() &&
        blocked.BLOCK_CALLSIGN.back() == '_' &&
        std::string_view(callsign) ==
            std::string_view(blocked.BLOCK_CALLSIGN).substr(0, blocked.BLOCK_CALLSIGN.size() - 1)) {
        gf_adoptBlockedIdentity(callsign, record.hexid, registration);
        return true;
    }
    return false;
}

bool lf_isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }


}  // namespace

IataCode::IataCode(std::string_view text) {
    // An empty field is a missing code, as "null" is: neither may cost the
    // aircraft its place in the traffic.
    if (text.empty() || text == "null") return;
    if (text.size() != 3) throw std::invalid_argument(fmt::format("'{}' IataCode: invalid string", text));
    std::uint32_t code = 0;
    for (char c : text) {
        c = gf_toUpperChar(c);
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            throw std::invalid_argument(fmt::format("'{}' IataCode: invalid string", text));
        code = (code << 8) | static_cast<unsigned char>(c);
    }
    m_code = code;
}

std::string IataCode::text() const {
    if (m_code == 0) return {};
    return std::string{static_cast<char>((m_code >> 16) & 0xFF), static_cast<char>((m_code >> 8) & 0xFF),
                       static_cast<char>(m_code & 0xFF)};
}

std::string_view gf_cleanCallsign(std::string_view text) {
    if (text.empty() || text == "null") return {};
    if (text.find('@') != std::string_view::npos) return {};
    if (text.size() >= 5 && text.find("00000") != std::string_view::npos) return {};
    if (text.size() < 3 || text.size() > 8) return {};
    if (text.front() == '.') text.remove_prefix(1);
    if (text.size() < 3) return {};
    return text;
}

TimeAndRange gf_checkTimeAndPosition(const TrafficFields& fields, const OwnPositionSnapshot& own) {
    if (!own.settings) return {};
    if (!gf_isValidReportTime(fields.time))
        throw std::runtime_error(fmt::format("timestamp outside range: {:.3f}", fields.time));
    auto rounded = static_cast<std::int64_t>(std::llround(fields.time));
    if (!gf_isValidLaLo(fields.position))
        throw std::runtime_error(fmt::format("invalid lalo: {}", fields.position));
    const double d2 = lf_flatDistanceSquaredNm(own.latitude, own.longitude, own.cosLatitude, fields.position.lat,
                                               fields.position.lon);
    return {rounded, d2 <= own.settings->RANGE_SQUARED};
}

bool gf_correctAltitudeForQnh(StreamPoint& point, std::optional<double> airportElevationFt, std::int32_t qnh,
                              bool rtDirect) {
    const double altitude = point.altitudeFt;
    if (!(altitude > 0.0)) {
        point.altitudeFt = 0.0;
        return true;
    }
    const double d = (static_cast<double>(qnh) - 1013.25) * 30.0;
    const auto user = gf_userPosition();
    const double userDiff = user.altitude - user.indicatedAltitude;
    const double low = rtDirect ? altitude + d : altitude;
    const double high = rtDirect ? altitude + userDiff : altitude - d + userDiff;
    const double t = std::clamp((altitude - 17000.0) / 2000.0, 0.0, 1.0);
    const double s = t * t * (3.0 - 2.0 * t);
    const double w = s * s;
    double corrected = std::max(0.0, low * (1.0 - w) + high * w);

    if (airportElevationFt && corrected > 0.0 && corrected < 14000.0) {
        const double h = corrected - *airportElevationFt;
        const double gs = point.groundSpeedKt;
        double limit = 0.0;
        if (gs <= 43.0)
            limit = 90.0;
        else if (gs > 120.0)
            limit = 0.0;
        else
            limit = 45.0 + 45.0 * (120.0 - gs) / 77.0;
        if (h <= limit) corrected = 0.0;
    }
    point.altitudeFt = corrected;
    return true;
}

TrafficBuildResult gf_buildTrafficRecord(const TrafficFields& fields, const OwnPositionSnapshot& own) {
    TrafficBuildResult result;
    const auto check = gf_checkTimeAndPosition(fields, own);
    result.roundedTime = check.roundedTime;
    if (!check.inRange) return result;
    const SettingsSnapshot& settings = *own.settings;

    TrafficRecord record;
    FlightIdentity& id = record.identity;
    id.registration = lf_cleanRegistration(fields.registration);
    id.callsign = gf_cleanCallsign(fields.callsign);
    id.origin = IataCode(fields.origin);
    id.destination = IataCode(fields.destination);

    // The fixed text lives in the database's fix map for the whole run.
    std::string_view type = fields.aircraftType;
    if (auto fixed = gf_findTypeFix(type)) type = *fixed;
    if (lf_isDroppedType(type, fields.emitterCategory)) return result;

    // Sources write a missing airline as "null", as they do other texts.
    if (!fields.airline.empty() && fields.airline != "null")
        id.key.airline = gf_internAirlineCode(fields.airline);
    else if (!id.callsign.empty())
        gf_setAirlineFromCallsign(id);

    // The key has no model yet, so gf_isCargo tests the airline alone.
    if (type == "B777" && gf_isCargo(id.key)) {
        type = "B77F";
        id.key.cargo = 1;
    }
    id.key.model = gf_internModelCode(type);

    StreamPoint& p = record.point;
    if (gf_isAdsbIcaoSource(fields.dataSource)) {
        const double th = fields.trueHeading;
        if (th == 0.0) {
            p.trueHeading = fullCircle;
            p.hasTrueHeading = 1;
        } else if (th > 0.0 && th <= 360.0) {
            p.trueHeading = th * degreesToRadians;
            p.hasTrueHeading = 1;
        } else if (th > 360.0) {
            throw std::runtime_error(fmt::format("true heading: {:.2f}", th));
        }
    }

    if (fields.hexid < 10001) return result;
    record.hexid = fields.hexid;
    record.time = fields.time;

    p.lat = fields.position.lat;
    p.lon = fields.position.lon;
    p.groundSpeedKt = fields.groundSpeed;
    p.altitudeFt = fields.altitude;
    gf_correctAltitudeForQnh(p, own.airportElevationFt, own.qnh, own.rtDirect);

    const bool airborne = p.altitudeFt > 0.0;
    p.airborne = airborne ? 1 : 0;
    if (airborne && gf_getModelCategory(id.key.model) != Rotorcraft &&
        (!std::isfinite(p.groundSpeedKt) || !(p.groundSpeedKt > 0.0)))
        return result;

    if (own.collectHandOver && own.handOverBeforeFilters) result.handOver = HandOverEntry{id.callsign, record.hexid};

    if (id.callsign.empty() && id.registration.empty()) return result;
    if (!airborne && own.dropGround0000 && fields.code == "0000") return result;

    if (own.collectHandOver && !own.handOverBeforeFilters) result.handOver = HandOverEntry{id.callsign, record.hexid};

    if (!airborne && !lf_isNearCurrentAirportForGround(p.lat, p.lon)) return result;

    if (lf_matchBlockedAircraft(settings.blocked, record)) return result;

    p.trackDeg = fields.track;
    if (fields.track == 0.0 && p.hasTrueHeading) p.trackDeg = p.trueHeading / degreesToRadians;
    p.verticalSpeed = std::isfinite(fields.verticalSpeed) ? fields.verticalSpeed : 0.0;
    if (airborne && fields.roll != -1.0 && std::isfinite(fields.roll) && std::abs(fields.roll) <= 90.0) {
        p.roll = -fields.roll * degreesToRadians;
        p.hasRoll = 1;
    }
    // The table is read with the altitude as reported, before the QNH blend.
    p.tasKt = fields.trueAirspeed == -1.0 ? lf_tasFromAltitude(fields.altitude) : fields.trueAirspeed;

    result.record = std::move(record);
    return result;
}

std::optional<ParkedRecord> gf_buildParkedRecord(const ParkedFields& fields) {
    if (fields.hexid < 10001 || fields.time < 1 || fields.aircraftType.empty()) return std::nullopt;

    ParkedRecord record;
    record.hexid = fields.hexid;
    record.slot = gf_slotOfSeconds(fields.time);
    FlightIdentity& id = record.identity;
    id.registration = lf_cleanRegistration(fields.registration);
    id.callsign = gf_cleanCallsign(fields.callsign);
    std::string_view type = fields.aircraftType;
    if (auto fixed = gf_findTypeFix(type)) type = *fixed;

    if (auto stored = gf_findRegistration(id.registration)) {
        id.key = *stored;
        if (id.callsign.empty()) id.callsign = id.registration;
    } else {
        if (!id.callsign.empty()) gf_setAirlineFromCallsign(id);
        if (type == "B777" && gf_isCargo(id.key)) {
            type = "B77F";
            id.key.cargo = 1;
        }
        if (!gf_isKnownModelCode(type)) return std::nullopt;
        id.key.model = gf_internModelCode(type);
    }

    if (!gf_isValidLaLo(fields.position)) throw std::runtime_error(fmt::format("lalo: {}", fields.position));
    record.position = fields.position;

    if (id.registration.empty() && !id.callsign.empty()) {
        if (auto stored = gf_findRegistration(id.callsign)) {
            id.key = *stored;
            id.registration = id.callsign;
            if (stored->operatorIndex != 0 && !gf_airlineCodeAt(stored->operatorIndex).empty())
                id.key.airline = stored->operatorIndex;
        }
    }

    const std::string_view typeCode = gf_modelCodeAt(id.key.model);
    if (typeCode.empty() || !gf_isKnownModelCode(typeCode)) return std::nullopt;
    if (!gf_isCategoryIncluded(gf_getModelCategory(id.key.model))) return std::nullopt;

    // No parked aircraft is put on the user's stand.
    if (fields.standName.empty()) return std::nullopt;
    if (auto userStand = gf_getParkAirportUserStand(); userStand && *userStand == fields.standName)
        return std::nullopt;
    const auto user = gf_userPosition();
    if (!gf_isUnknownPosition(user.latitude, user.longitude)) {
        if (auto atUser = gf_standNameAtPosition(LaLo{user.latitude, user.longitude});
            atUser && *atUser == fields.standName)
            return std::nullopt;
    }
    record.standName = fields.standName;
    return record;
}

std::optional<AircraftSelection> gf_parseAircraftSelection(std::string_view text) {
    std::array<std::string_view, 4> parts;
    std::size_t count = 0;
    std::size_t start = 0;
    for (;;) {
        const auto comma = text.find(',', start);
        const auto part = text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        if (count == parts.size()) return std::nullopt;
        // The selector writes ", " between its fields; the blanks are not part
        // of the identity.
        parts[count++] = gf_trimView(part, " \t");
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    if (count != 4 || parts[0].empty()) return std::nullopt;
    const auto hex = parts[2];
    if (hex.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : hex) {
        if (!lf_isHexDigit(c)) return std::nullopt;
        const int digit = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
        value = value * 16 + static_cast<std::uint64_t>(digit);
        if (value > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
    }
    return AircraftSelection{std::string(parts[0]), std::string(parts[1]), static_cast<std::uint32_t>(value)};
}
