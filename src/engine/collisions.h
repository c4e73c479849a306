#pragma once
// Collision avoidance: live aircraft must not run into the user's aircraft,
// and live aircraft on the ground must not drive into parked ones. A conflict
// always ends with the removal of the other aircraft (never the user's); a
// live aircraft that drives into a parked one may take the stand it frees.
// The same tests guard spawning. Engine thread.
//
// The user's state is the published copy (engine/user_position.h) and the
// simulator's on-ground flag; the user's wing radius comes from the link.

#include <cstdint>
#include <functional>

#include "airports/airport.h"
#include "engine/records.h"

// The radius (NM) of the user's collision circle on the ground: its wing
// radius (a B738's while the user model is unknown) plus a speed term of 0.75 s
// of its ground speed, at most 15 m.
double lf_userGroundCollisionTermNm();

// How an aircraft in the air lies against the user in the air.
struct AirConflict {
    // 0 no conflict; 1 close ahead; 2 behind the user in trail; 3 ahead on a
    // converging path; 4 ahead in the low-altitude class.
    std::uint32_t kind = 0;
    // Why there is none: 1 too far, 2 height difference, 3 heading difference,
    // 4 too far behind or aside behind, 5 abeam, 6 too far ahead, 7 aside or
    // class 0. 0 when there is a conflict.
    std::uint8_t reason = 0;
    double distanceNm = 0.0;      // flat-earth distance
    double heightDiffFt = 0.0;    // aircraft altitude minus user altitude
    double alongNm = 0.0;         // positive ahead of the user's track
    double lateralFt = 0.0;       // distance aside of the user's track
    double lateralLimitFt = 0.0;  // what lateralFt was compared with
    double headingDiffRad = 0.0;  // user track minus aircraft track, (-pi, pi]
};

struct AirConflictInput {
    // 0 high or manoeuvring, 1 below 7000 ft above ground, 2 low and calm
    // (below 4000 ft, not climbing fast, wings level).
    std::uint32_t userClass = 0;
    double userLat = 0.0;
    double userLon = 0.0;
    double acLat = 0.0;
    double acLon = 0.0;
    double cosUserLat = 1.0;
    double userTrackRad = 0.0;
    double acTrackRad = 0.0;
    double userAltitudeFt = 0.0;
    double acAltitudeFt = 0.0;
};

AirConflict classifyAirConflict(const AirConflictInput& in);

// The user's class for the air test from its height above ground (ft), its
// vertical speed (ft/min) and its bank (radians).
std::uint32_t gf_userAirClass(double heightAboveGroundFt, double verticalSpeedFpm, double bankRad);

// An aircraft against the user in the air; true when it removed the aircraft.
bool checkUserAirCollision(LiveAc& ac, double cosUserLatitude);

// An aircraft on the ground ahead of the user flying low (within 50 ft of
// the user's heading line, 1 NM); true when it removed the aircraft.
bool checkUserAirGndCollision(LiveAc& ac);

// The active live aircraft against the user in the air; removes at most one
// per call.
void gf_checkUserAcCollisions();

// Live, then static aircraft against the user on the ground (circle
// overlap); removes at most one per call.
void gf_checkUserAcGndCollisions();

// A live aircraft on the ground against the active parked aircraft: the
// first one it overlaps within 45 degrees of its stand heading is removed,
// and a taxiing aircraft lined up with that stand may drive onto it. The
// position checked is kept in `lastParkedCheckPos`.
void collisionWithParked(LiveAc& ac);

// The call collision avoidance makes into the drive onto stands, which tests
// replace with a recording fake; an empty member calls the real function.
struct CollisionCalls {
    std::function<bool(LiveAc&, Stand&, bool)> startParkingAtStand;
};
void gf_setCollisionCalls(CollisionCalls calls);
