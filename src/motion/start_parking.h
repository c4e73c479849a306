#pragma once
// Starting the drive of a live aircraft onto a stand.

#include "airports/airport.h"
#include "engine/records.h"

// Claims the stand for the live aircraft and starts its drive onto it;
// `redirect` is set when the aircraft is sent to a stand that a parked
// aircraft just freed in front of it. True when parking started.
//
// Until the drive onto stands is built this refuses every stand (false,
// nothing changed), so an aircraft that is not sent to a stand taxis on.
bool startParkingAtStand(LiveAc& ac, Stand& stand, bool redirect);
