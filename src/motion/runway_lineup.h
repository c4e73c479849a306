#pragma once
// The line-up state of a departing aircraft on a runway.

#include "engine/records.h"

// True when a lone stop report of an aircraft rolling onto a runway is held
// back (message decoding then does not append it).
bool isTaxiPointOnRunway(LiveAc& ac, const StreamPoint& point);

// An aircraft standing on a runway with no point ahead turns toward the
// runway heading while it waits.
void handleNoFutureOnRunway(LiveAc& ac);

// Keeps the line-up state of a ground aircraft arriving at a point: whether
// it is about to stop, or stands, in the start window of a runway end.
void checkRunwayOccupancy(LiveAc& ac);

// The start turn of a new leg that points across a runway: may replace the
// start-turn angle (and its flag) by the angle to the runway heading.
void noteRunwayEntry(LiveAc& ac);
