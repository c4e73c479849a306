// Minimal bodies until collision avoidance is built: no aircraft is found in
// conflict with the user, and the user's ground circle is its half wing span
// once known. The issue that builds collision avoidance replaces this file.

#include "engine/collisions.h"

#include <cmath>

#include "simlink/sim_link.h"

double lf_userGroundCollisionTermNm() {
    const double radius = userWingRadiusNm();
    return std::isfinite(radius) ? radius : 0.0;
}

bool checkUserAirCollision(LiveAc& /*ac*/, double /*cosUserLatitude*/) { return false; }

bool checkUserAirGndCollision(LiveAc& /*ac*/) { return false; }

void gf_checkUserAcGndCollisions() {}
