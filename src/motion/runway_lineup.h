#pragma once
// The line-up state of a departing aircraft on a runway.

#include "engine/records.h"

// True when a lone stop report of an aircraft rolling onto a runway is held
// back (message decoding then does not append it).
bool isTaxiPointOnRunway(LiveAc& ac, const StreamPoint& point);

// An aircraft standing on a runway with no point ahead turns toward the
// runway heading while it waits.
void handleNoFutureOnRunway(LiveAc& ac);
