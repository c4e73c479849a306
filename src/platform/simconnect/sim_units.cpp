// Unit and calendar conversion of the simulator model: which variable a
// client names, the factor between the model's own unit and the one asked
// for, the width of each data type, and the Zulu fields of the model's clock.

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/simconnect/sim_model_internal.h"
#include "foundation/geodesy.h"
#include "foundation/text.h"

namespace {

struct VarName {
    const char* name;
    SimVar var;
};

// Upper-case names of the variables the model can pack.
constexpr VarName kVariables[] = {
    {"PLANE LATITUDE", SimVar::Latitude},
    {"PLANE LONGITUDE", SimVar::Longitude},
    {"PLANE PITCH DEGREES", SimVar::Pitch},
    {"PLANE BANK DEGREES", SimVar::Bank},
    {"PLANE HEADING DEGREES TRUE", SimVar::Heading},
    {"PLANE ALTITUDE", SimVar::Altitude},
    {"INDICATED ALTITUDE", SimVar::IndicatedAltitude},
    {"PLANE ALT ABOVE GROUND", SimVar::AltAboveGround},
    {"GROUND ALTITUDE", SimVar::GroundAltitude},
    {"SIM ON GROUND", SimVar::OnGround},
    {"VERTICAL SPEED", SimVar::VerticalSpeed},
    {"AIRSPEED TRUE", SimVar::AirspeedTrue},
    {"GROUND VELOCITY", SimVar::GroundVelocity},
    {"GPS GROUND TRUE TRACK", SimVar::GpsTrack},
    {"ZULU TIME", SimVar::ZuluTime},
    {"ZULU DAY OF YEAR", SimVar::ZuluDay},
    {"ZULU YEAR", SimVar::ZuluYear},
    {"LIGHT STATES", SimVar::LightStates},
    {"LIGHT ON STATES", SimVar::LightOnStates},
    {"STATIC CG TO GROUND", SimVar::StaticCg},
    {"STATIC PITCH", SimVar::StaticPitch},
    {"ATC ID", SimVar::AtcId},
    {"ATC MODEL", SimVar::AtcModel},
    {"TITLE", SimVar::Title},
    {"SPOILERS HANDLE POSITION", SimVar::Spoilers},
    {"GENERAL ENG THROTTLE LEVER POSITION:1", SimVar::Throttle1},
    {"GENERAL ENG THROTTLE LEVER POSITION:2", SimVar::Throttle2},
};

enum class UnitClass : std::uint8_t { None, AngleDeg, AngleRad, Length, Speed, VSpeed };

UnitClass lf_unitClass(SimVar v) {
    switch (v) {
    case SimVar::Latitude:
    case SimVar::Longitude:
    case SimVar::GpsTrack: return UnitClass::AngleDeg;
    case SimVar::Pitch:
    case SimVar::Bank:
    case SimVar::Heading:
    case SimVar::StaticPitch: return UnitClass::AngleRad;
    case SimVar::Altitude:
    case SimVar::IndicatedAltitude:
    case SimVar::AltAboveGround:
    case SimVar::GroundAltitude:
    case SimVar::StaticCg: return UnitClass::Length;
    case SimVar::AirspeedTrue:
    case SimVar::GroundVelocity: return UnitClass::Speed;
    case SimVar::VerticalSpeed: return UnitClass::VSpeed;
    default: return UnitClass::None;
    }
}

// Factor from the model's own unit of a variable (degrees, radians, feet,
// knots, feet per minute) to the unit the client asked for.
double lf_unitScale(SimVar v, std::string_view unitUpper) {
    auto starts = [&](std::string_view p) { return unitUpper.substr(0, p.size()) == p; };
    switch (lf_unitClass(v)) {
    case UnitClass::AngleDeg:
        return starts("RADIAN") ? degreesToRadians : 1.0;
    case UnitClass::AngleRad:
        return starts("DEGREE") ? radiansToDegrees : 1.0;
    case UnitClass::Length:
        return (starts("METER") || starts("METRE")) ? 1.0 / feetPerMetre : 1.0;
    case UnitClass::Speed:
        if (starts("METERS PER SECOND") || starts("METRES PER SECOND")) return 0.514444;
        if (starts("FEET PER SECOND")) return 1.68781;
        return 1.0;
    case UnitClass::VSpeed:
        if (starts("FEET PER SECOND")) return 1.0 / 60.0;
        if (starts("METERS PER SECOND") || starts("METRES PER SECOND")) return 0.3048 / 60.0;
        return 1.0;
    default: return 1.0;
    }
}

std::size_t lf_typeWidth(SIMCONNECT_DATATYPE t) {
    switch (t) {
    case SIMCONNECT_DATATYPE_INT32:
    case SIMCONNECT_DATATYPE_FLOAT32: return 4;
    case SIMCONNECT_DATATYPE_INT64:
    case SIMCONNECT_DATATYPE_FLOAT64:
    case SIMCONNECT_DATATYPE_STRING8: return 8;
    case SIMCONNECT_DATATYPE_STRING32: return 32;
    case SIMCONNECT_DATATYPE_STRING64: return 64;
    case SIMCONNECT_DATATYPE_STRING128: return 128;
    case SIMCONNECT_DATATYPE_STRING256: return 256;
    case SIMCONNECT_DATATYPE_STRING260: return 260;
    default: return 0;  // STRINGV and invalid types
    }
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t lf_daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

}  // namespace

bool gf_simIsTextVar(SimVar v) { return v == SimVar::AtcId || v == SimVar::AtcModel || v == SimVar::Title; }

bool gf_simIsStringType(SIMCONNECT_DATATYPE t) {
    return t >= SIMCONNECT_DATATYPE_STRING8 && t <= SIMCONNECT_DATATYPE_STRINGV;
}

std::array<std::int64_t, 3> gf_simZuluFields(const SimWorld& w) {
    if (w.zuluRaw) return {(*w.zuluRaw)[2], (*w.zuluRaw)[1], (*w.zuluRaw)[0]};
    std::int64_t days = w.zuluEpoch >= 0 ? w.zuluEpoch / 86400 : (w.zuluEpoch - 86399) / 86400;
    const std::int64_t secs = w.zuluEpoch - days * 86400;
    // Civil year from days since 1970.
    std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2) ++y;
    const std::int64_t dayOfYear = days - lf_daysFromCivil(y, 1, 1) + 1;
    return {secs, dayOfYear, y};
}

SimDatum gf_simMakeDatum(const char* name, const char* unit, SIMCONNECT_DATATYPE type) {
    SimDatum d;
    d.name = name ? name : "";
    d.type = type;
    const std::string upper = gf_toUpperAscii(d.name);
    for (const auto& v : kVariables) {
        if (upper == v.name) {
            d.var = v.var;
            break;
        }
    }
    d.scale = lf_unitScale(d.var, gf_toUpperAscii(unit ? unit : ""));
    d.width = lf_typeWidth(type);
    return d;
}
