#pragma once
// The attitude and altitude part of a pose step, after the position and
// heading of the tick: the takeoff rotation and initial climb, the landing
// flare, the settling of the attitude after touchdown, and pitch, bank and
// altitude by phase. Engine thread only.

#include "engine/records.h"

// Pitch, bank and altitude of one tick.
void stepPitchBankAltitude(LiveAc& ac);

// One tick of the takeoff: the rotation (the aircraft leaves the ground on
// its first tick), then the initial climb easing in; the gear goes up 3 s
// after the rotation, and the aircraft flies on once it holds its climb pitch
// high enough (300 ft above ground for a Light aircraft, 800 ft for others).
void stepTakeoffPitch(LiveAc& ac);

// One tick of the landing flare: four stages from 30 ft above the aircraft's
// standing height down to 3 ft, each descending slower, the throttle idle
// from the third.
void stepFlare(LiveAc& ac);
