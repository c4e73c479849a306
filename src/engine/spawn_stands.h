#pragma once
// Spawning at stands: the stand a new live aircraft parks at, the static
// aircraft it may take over there, and its pose from the simulator's answer.

#include <optional>

#include "airports/airport.h"
#include "engine/records.h"

// The stand a live aircraft at rest near the current airport spawns at, or
// none (the aircraft may be dropped: `removeRecord`).
std::optional<Stand> chooseSpawnStand(LiveAc& ac);

// The aircraft spawns parked at the stand chosen for it.
void parkAtSpawnStand(LiveAc& ac, const Stand& stand);

// Takes over the object of the static aircraft named by `promoteStaticId`;
// true when it did (the aircraft is in the simulator already).
bool promoteStaticToLive(LiveAc& ac);

// A parked aircraft takes the simulator's initial pose as its own.
void applySimPoseAtStand(LiveAc& ac);

// A parked aircraft stands at the ground elevation plus its ground offset
// once both are known.
void fixStandAltitude(LiveAc& ac);
