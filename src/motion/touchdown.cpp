// Minimal bodies until touchdown is built: the reported height above ground
// is kept and nothing else changes; no landing roll starts. The issue that
// builds touchdown replaces this file.

#include "motion/touchdown.h"

void applySimGroundInfo(LiveAc& ac, const SimCommand& groundData, std::string_view /*source*/) noexcept {
    ac.motion.heightAboveGroundFt = groundData.payload[1];
}

void handleTouchdown(LiveAc& /*ac*/) {}
