// Minimal bodies until the air configuration and phase changes are built: no
// takeoff roll is started. The issue that builds them replaces this file.

#include "motion/takeoff_start.h"

void startTakeoffRoll(LiveAc& /*ac*/, std::uint8_t /*flag*/) {}

void startTowedTakeoffRoll(LiveAc& /*ac*/) {}
