// Minimal bodies until touchdown is built: the reported height above ground
// is kept and a parked aircraft learns the ground elevation of its stand
// (its activation waits for it); nothing else changes and no landing roll
// starts. The issue that builds touchdown replaces this file.

#include "motion/touchdown.h"

#include <cmath>

void applySimGroundInfo(LiveAc& ac, const SimCommand& groundData, std::string_view /*source*/) noexcept {
    ac.motion.heightAboveGroundFt = groundData.payload[1];
    if (ac.phase == AcPhase::parked && std::isfinite(groundData.payload[0])) {
        ac.motion.standGroundElevationFt = groundData.payload[0];
        ac.motion.standGroundElevationKnown = 1;
    }
}

void handleTouchdown(LiveAc& /*ac*/) {}
