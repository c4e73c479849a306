// The drive onto a stand is built with the rest of parking at stands; until
// then no stand is claimed and the aircraft follows its reports.

#include "motion/start_parking.h"

bool startParkingAtStand(LiveAc& /*ac*/, Stand& /*stand*/, bool /*redirect*/) { return false; }
