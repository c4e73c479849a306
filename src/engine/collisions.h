#pragma once
// Collision avoidance between live aircraft and the user aircraft (and the
// parked aircraft): tests that remove the aircraft that would run into the
// user.

#include "engine/records.h"

// The radius (NM) of the user's collision circle on the ground.
double lf_userGroundCollisionTermNm();

// An airborne aircraft against the user in the air; true when it removed the
// aircraft.
bool checkUserAirCollision(LiveAc& ac, double cosUserLatitude);

// An aircraft on the ground against the user flying low; true when it
// removed the aircraft.
bool checkUserAirGndCollision(LiveAc& ac);

// Live and static aircraft against the user on the ground; removes at most
// one per call.
void gf_checkUserAcGndCollisions();
