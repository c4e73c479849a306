// Registration of every event, data definition, client event and the
// notification group on a fresh connection. The log names each failed call as
// it is written here, so a failure report points at one line of this table.

#include <string>
#include <vector>

#include <fmt/format.h>

#include "foundation/log.h"
#include "simlink/sim_link_internal.h"

namespace {

struct Variable {
    const char* name;
    const char* unit;      // nullptr: no unit
    const char* unitText;  // as the log names the unit
    SIMCONNECT_DATATYPE type;
};

struct Definition {
    DWORD id;
    const char* name;
    std::vector<Variable> variables;
};

constexpr SIMCONNECT_DATATYPE F64 = SIMCONNECT_DATATYPE_FLOAT64;
constexpr SIMCONNECT_DATATYPE I64 = SIMCONNECT_DATATYPE_INT64;

const Variable kDeg(const char* n) { return {n, "degree", "kUnitDegree", F64}; }
const Variable kRad(const char* n) { return {n, "radian", "kUnitRadian", F64}; }
const Variable kFt(const char* n) { return {n, "feet", "kUnitFeet", F64}; }
const Variable kFpm(const char* n) { return {n, "feet per minute", "kUnitFeetPerMinute", F64}; }
const Variable kKt(const char* n) { return {n, "knots", "kUnitKnots", F64}; }
const Variable kPct(const char* n) { return {n, "percent", "kUnitPercent", F64}; }

// In the order of registration; the order of the variables is the record layout.
const std::vector<Definition>& lf_definitions() {
    static const std::vector<Definition> definitions{
        {DEFINITION_USER_AC_GET_TITLE, "DEFINITION_USER_AC_GET_TITLE",
         {{"TITLE", nullptr, "nullptr", SIMCONNECT_DATATYPE_STRINGV}}},
        {DEFINITION_USER_AC_GET_MODEL, "DEFINITION_USER_AC_GET_MODEL",
         {{"ATC MODEL", nullptr, "nullptr", SIMCONNECT_DATATYPE_STRING32}}},
        {DEFINITION_USER_AC_GET_ONGROUND, "DEFINITION_USER_AC_GET_ONGROUND",
         {{"SIM ON GROUND", "Bool", "kUnitBool", I64}}},
        {DEFINITION_LATLONPIBAHEALVSTAS, "DEFINITION_LATLONPIBAHEALVSTAS",
         {kDeg("Plane Latitude"), kDeg("Plane Longitude"), kRad("Plane Pitch degrees"), kRad("Plane Bank degrees"),
          kRad("Plane Heading degrees true"), kFt("Plane Altitude"), kFpm("Vertical Speed"),
          kKt("Airspeed True")}},
        {DEFINITION_LATLONPIBAVSHETRALTGSZULI, "DEFINITION_LATLONPIBAVSHETRALTGSZULI",
         {kDeg("Plane Latitude"), kDeg("Plane Longitude"), kRad("Plane Pitch degrees"), kRad("Plane Bank degrees"),
          kFpm("Vertical Speed"), kRad("Plane Heading degrees true"), kFt("Plane Altitude"),
          kFt("Indicated Altitude"), kFt("Plane Alt Above Ground"), kKt("Ground Velocity"),
          {"ZULU TIME", "Seconds", "\"Seconds\"", I64},
          {"ZULU DAY OF YEAR", "Number", "\"Number\"", I64},
          {"ZULU YEAR", "Number", "\"Number\"", I64},
          {"LIGHT STATES", "Mask", "\"Mask\"", I64},
          kDeg("GPS Ground True Track")}},
        {DEFINITION_AI_GET_STATIC_CG_AND_PITCH, "DEFINITION_AI_GET_STATIC_CG_AND_PITCH",
         {kFt("Static CG to Ground"), kRad("Static Pitch")}},
        {DEFINITION_AI_LIGHTS, "DEFINITION_AI_LIGHTS", {{"Light On States", "Mask", "\"Mask\"", I64}}},
        {DEFINITION_AI_GET_POSITION, "DEFINITION_AI_GET_POSITION",
         {kFt("Plane Alt Above Ground"), kFt("Ground Altitude"), {"SIM ON GROUND", "Bool", "kUnitBool", I64},
          {"ATC ID", nullptr, "nullptr", SIMCONNECT_DATATYPE_STRING32}}},
        {DEFINITION_REVERSE_THRUST, "DEFINITION_REVERSE_THRUST",
         {kPct("SPOILERS HANDLE POSITION"), kPct("GENERAL ENG THROTTLE LEVER POSITION:1"),
          kPct("GENERAL ENG THROTTLE LEVER POSITION:2")}},
    };
    return definitions;
}

const char* lf_typeText(SIMCONNECT_DATATYPE type) {
    switch (type) {
        case SIMCONNECT_DATATYPE_INT64: return "SIMCONNECT_DATATYPE_INT64";
        case SIMCONNECT_DATATYPE_STRING32: return "SIMCONNECT_DATATYPE_STRING32";
        case SIMCONNECT_DATATYPE_STRINGV: return "SIMCONNECT_DATATYPE_STRINGV";
        default: return "";
    }
}

struct SystemEvent {
    DWORD id;
    const char* name;
    const char* idText;
};

constexpr SystemEvent kSystemEvents[] = {
    {EVENT_SIM, "Sim", "EVENT_SIM"},
    {EVENT_OBJECT_ADDED, "ObjectAdded", "EVENT_OBJECT_ADDED"},
    {EVENT_OBJECT_REMOVED, "ObjectRemoved", "EVENT_OBJECT_REMOVED"},
    {EVENT_FLIGHT_LOADED, "FlightLoaded", "EVENT_FLIGHT_LOADED"},
    {EVENT_FRAME, "Frame", "EVENT_FRAME"},
};

const std::vector<std::pair<DWORD, std::string>>& lf_clientEvents() {
    static const std::vector<std::pair<DWORD, std::string>> events{
        {GEAR_SET, "GEAR_SET"},
        {ENGINE_AUTO_START, "ENGINE_AUTO_START"},
        {ENGINE_AUTO_SHUTDOWN, "ENGINE_AUTO_SHUTDOWN"},
        {THROTTLE_SET, "THROTTLE_SET"},
        {FLAPS_SET, "FLAPS_SET"},
        {SPOILERS_SET, "SPOILERS_SET"},
        {NAV_LIGHTS_SET, "NAV_LIGHTS_SET"},
        {BEACON_LIGHTS_SET, "BEACON_LIGHTS_SET"},
        {LANDING_LIGHTS_SET, "LANDING_LIGHTS_SET"},
        {TAXI_LIGHTS_SET, "TAXI_LIGHTS_SET"},
        {STROBES_SET, "STROBES_SET"},
        {LOGO_LIGHTS_SET, "LOGO_LIGHTS_SET"},
        {CABIN_LIGHTS_SET, "CABIN_LIGHTS_SET"},
        {ALL_LIGHTS_TOGGLE, "ALL_LIGHTS_TOGGLE"},
        {FREEZE_LATITUDE_LONGITUDE_SET, "FREEZE_LATITUDE_LONGITUDE_SET"},
        {FREEZE_ALTITUDE_SET, "FREEZE_ALTITUDE_SET"},
        {FREEZE_ATTITUDE_SET, "FREEZE_ATTITUDE_SET"},
    };
    return events;
}

// ENGINE_AUTO_START is mapped but kept out of the group: the simulator must not
// mask it.
constexpr DWORD kGroupMembers[] = {
    NAV_LIGHTS_SET, BEACON_LIGHTS_SET, LANDING_LIGHTS_SET, TAXI_LIGHTS_SET, STROBES_SET, LOGO_LIGHTS_SET,
    CABIN_LIGHTS_SET, ALL_LIGHTS_TOGGLE, FLAPS_SET, SPOILERS_SET, GEAR_SET, ENGINE_AUTO_SHUTDOWN,
    THROTTLE_SET, FREEZE_LATITUDE_LONGITUDE_SET, FREEZE_ALTITUDE_SET, FREEZE_ATTITUDE_SET,
};

}  // namespace

bool gf_checkSetupCall(HRESULT hr, std::string_view callText) {
    if (SUCCEEDED(hr)) return true;
    gf_logError(fmt::format("SimConnect setup failed: {} (hr=0x{:08X})", callText, static_cast<std::uint32_t>(hr)));
    return false;
}

bool gf_setupSimConnect() {
    const HANDLE h = gf_simHandle();
    bool ok = true;
    for (const auto& e : kSystemEvents) {
        ok &= gf_checkSetupCall(
            SimConnect_SubscribeToSystemEvent(h, e.id, e.name),
            fmt::format("SimConnect_SubscribeToSystemEvent(l_hsimconnect, {}, \"{}\")", e.idText, e.name));
    }
    for (const auto& d : lf_definitions()) {
        for (const auto& v : d.variables) {
            std::string text = fmt::format("SimConnect_AddToDataDefinition(l_hsimconnect, {}, \"{}\", {}", d.name,
                                           v.name, v.unitText);
            if (v.type != F64) text += fmt::format(", {}", lf_typeText(v.type));
            text += ")";
            ok &= gf_checkSetupCall(SimConnect_AddToDataDefinition(h, d.id, v.name, v.unit, v.type, 0.0f,
                                                                   SIMCONNECT_UNUSED),
                                    text);
        }
    }
    for (const auto& civ : lf_clientEvents()) {
        ok &= gf_checkSetupCall(SimConnect_MapClientEventToSimEvent(h, civ.first, civ.second.c_str()),
                                "SimConnect_MapClientEventToSimEvent(l_hsimconnect, civ.first, civ.second.c_str())");
    }
    for (const DWORD eventId : kGroupMembers) {
        ok &= gf_checkSetupCall(SimConnect_AddClientEventToNotificationGroup(h, TRAFFIC_APP, eventId, TRUE),
                                "SimConnect_AddClientEventToNotificationGroup( l_hsimconnect, TRAFFIC_APP, eventId, TRUE)");
    }
    ok &= gf_checkSetupCall(
        SimConnect_SetNotificationGroupPriority(h, TRAFFIC_APP, SIMCONNECT_GROUP_PRIORITY_HIGHEST),
        "SimConnect_SetNotificationGroupPriority( l_hsimconnect, TRAFFIC_APP, SIMCONNECT_GROUP_PRIORITY_HIGHEST)");
    return ok;
}
