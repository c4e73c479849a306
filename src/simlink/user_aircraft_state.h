#pragma once
// The user aircraft as the simulator reports it: the 120-byte record of the
// position reply, kept field for field in the order the simulator sends it.

#include <cstdint>

struct UserAircraftState {
    double latitude = 0.0;             // degrees
    double longitude = 0.0;            // degrees
    double pitch = 0.0;                // radians
    double bank = 0.0;                 // radians
    double verticalSpeed = 0.0;        // feet per minute
    double heading = 0.0;              // radians, true
    double altitude = 0.0;             // feet (true altitude)
    double indicatedAltitude = 0.0;    // feet
    double altitudeAboveGround = 0.0;  // feet
    double groundVelocity = 0.0;       // knots
    std::int64_t zuluTime = 0;         // seconds of the day
    std::int64_t zuluDayOfYear = 0;
    std::int64_t zuluYear = 0;
    std::int64_t lightStates = 0;      // mask
    double gpsGroundTrueTrack = 0.0;   // degrees
};

static_assert(sizeof(UserAircraftState) == 120, "the position reply is copied byte for byte into this record");
