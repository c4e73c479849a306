#include "motion/straight_legs.h"

bool checkArrivedAtStand(LiveAc& /*ac*/) { return false; }

bool checkTowedAircraft(LiveAc& /*ac*/) { return false; }
