// Minimal bodies until runway line-up and holding are built: no point is held
// back, no aircraft is turned while it waits, no line-up state is kept and
// no start turn is changed. The issue that builds them replaces this file.

#include "motion/runway_lineup.h"

bool isTaxiPointOnRunway(LiveAc& /*ac*/, const StreamPoint& /*point*/) { return false; }

void handleNoFutureOnRunway(LiveAc& /*ac*/) {}

void checkRunwayOccupancy(LiveAc& /*ac*/) {}

void noteRunwayEntry(LiveAc& /*ac*/) {}
