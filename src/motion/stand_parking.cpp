// Minimal body until parking at stands is built: nothing happens at stands.
// The issue that builds parking at stands replaces this file.

#include "motion/stand_parking.h"

void hp_handleGroundTraffic(LiveAc& /*ac*/, bool /*promoted*/) {}
