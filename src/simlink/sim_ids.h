#pragma once
// The identifiers the SimClient connection uses toward the simulator. The data
// definitions are wire formats: the simulator packs their values in exactly
// the order in which the variables are added (see setup.cpp), so the record
// layouts AiPose, UserAircraftState and the reply readers depend on them.

#include <cstdint>

#include "platform/simconnect/simconnect.h"

// System events.
enum SimEventId : DWORD {
    EVENT_SIM = 201,
    EVENT_OBJECT_ADDED = 202,
    EVENT_OBJECT_REMOVED = 203,
    EVENT_FRAME = 204,
    EVENT_FLIGHT_LOADED = 205,
};

// Data definitions.
enum SimDefinitionId : DWORD {
    DEFINITION_REVERSE_THRUST = 401,
    DEFINITION_LATLONPIBAHEALVSTAS = 402,
    DEFINITION_LATLONPIBAVSHETRALTGSZULI = 403,
    DEFINITION_AI_GET_POSITION = 404,
    DEFINITION_AI_GET_STATIC_CG_AND_PITCH = 405,
    DEFINITION_AI_LIGHTS = 406,
    DEFINITION_USER_AC_GET_TITLE = 407,
    DEFINITION_USER_AC_GET_MODEL = 408,
    DEFINITION_USER_AC_GET_ONGROUND = 409,
};

// Request ids; every AI create takes its own id from kFirstCreateRequestId up.
enum SimRequestId : DWORD {
    REQUEST_AC_WITHIN_RANGE = 101,
    REQUEST_AI_STATIC_CG = 102,
    REQUEST_AI_INITIAL_POSE = 103,
    REQUEST_AI_RELEASE = 104,
    REQUEST_AI_REMOVE = 105,
    REQUEST_USER_AC_TITLE = 106,
    REQUEST_USER_AC_MODEL = 107,
    REQUEST_USER_AC_ON_GROUND = 108,
    REQUEST_USER_AC_POSITION = 109,
    REQUEST_AI_FLIGHT_PLAN = 110,
};
inline constexpr std::uint32_t kFirstCreateRequestId = 10000;

// Client events.
enum SimClientEventId : DWORD {
    BEACON_LIGHTS_SET = 206,
    NAV_LIGHTS_SET = 207,
    TAXI_LIGHTS_SET = 208,
    STROBES_SET = 209,
    LANDING_LIGHTS_SET = 210,
    CABIN_LIGHTS_SET = 211,
    LOGO_LIGHTS_SET = 212,
    ALL_LIGHTS_TOGGLE = 213,
    FREEZE_LATITUDE_LONGITUDE_SET = 214,
    FREEZE_ALTITUDE_SET = 215,
    FREEZE_ATTITUDE_SET = 216,
    FLAPS_SET = 217,
    SPOILERS_SET = 218,
    GEAR_SET = 219,
    ENGINE_AUTO_START = 220,
    ENGINE_AUTO_SHUTDOWN = 221,
    THROTTLE_SET = 222,
};

// The notification group every client event is transmitted with.
inline constexpr DWORD TRAFFIC_APP = 301;
