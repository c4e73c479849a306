#pragma once
// The line-up state of a departing aircraft on a runway.

#include "engine/records.h"

// True when a lone stop report of an aircraft rolling onto a runway is held
// back (message decoding then does not append it).
bool isTaxiPointOnRunway(LiveAc& ac, const StreamPoint& point);
