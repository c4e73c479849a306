// Minimal bodies until runway line-up and holding are built: no point is held
// back and no aircraft is turned while it waits. The issue that builds them replaces this file.

#include "motion/runway_lineup.h"

bool isTaxiPointOnRunway(LiveAc& /*ac*/, const StreamPoint& /*point*/) { return false; }

void handleNoFutureOnRunway(LiveAc& /*ac*/) {}
