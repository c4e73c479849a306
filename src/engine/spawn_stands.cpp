// Minimal bodies until spawning at stands is built: no stand is chosen, so no
// aircraft spawns parked or takes over a static; a parked aircraft keeps the
// pose it was created with. The issue that builds spawning at stands replaces
// this file.

#include "engine/spawn_stands.h"

#include "engine/stands.h"
#include "motion/flight_phases.h"

std::optional<Stand> chooseSpawnStand(LiveAc& /*ac*/) { return std::nullopt; }

void parkAtSpawnStand(LiveAc& ac, const Stand& stand) {
    gf_assignStandToAircraft(ac, stand);
    setFlightPhase(ac, AcPhase::parked);
}

bool promoteStaticToLive(LiveAc& /*ac*/) { return false; }

void applySimPoseAtStand(LiveAc& /*ac*/) {}

void fixStandAltitude(LiveAc& /*ac*/) {}
