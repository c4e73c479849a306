#include "motion/straight_legs.h"

bool checkArrivedAtStand(LiveAc& /*ac*/) { return false; }
