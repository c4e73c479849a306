// The path smoothing is built with the ground turns of taxiing aircraft;
// until then every ground leg runs straight between its points.

#include "motion/taxi_smoothing.h"

bool smoothTaxiPath(LiveAc& /*ac*/) { return false; }
