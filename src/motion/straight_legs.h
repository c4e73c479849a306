#pragma once
// The leg planning of the air and ground drivers, the stand and tow checks,
// and the attitude part of the pose step, as plain straight legs: each leg
// runs straight from the pose to the next point at an even speed, heading for
// it within the aircraft's turn rate, climbing or descending evenly, with no
// rotation, flare, taxi path, speed plan, stand or tow handling. The issues
// that build air movement, touchdown, ground movement, takeoff, stands and
// runway line-up replace these bodies one by one and keep the declarations.

#include "engine/records.h"

// Plans an airborne leg: the leg's true airspeed and vertical speed from the
// next point, the per-tick vertical, pitch and heading changes that reach it
// at its play tick (the heading within the category's turn rate), no bank.
void stepAir(LiveAc& ac);

// Moves and retimes a reported touchdown point at the start of a leg (here:
// nothing).
void retimeFinalApproach(LiveAc& ac);

// The ground driver's leg planning (here: nothing; the straight per-tick step
// carries the leg).
void nextPosGround(LiveAc& ac);

// Plans a ground leg: the leg's speed from the next point, level pitch at the
// standing pitch, no bank, and the per-tick altitude change of the leg.
void stepGround(LiveAc& ac);

// A Rotorcraft whose next point stands still hovers: the next point becomes
// due the leg's own duration after the front point's tick, at least 25 ticks
// from now.
void hoverRetime(LiveAc& ac);

// Whether a parking aircraft has arrived at its stand (here: never).
bool checkArrivedAtStand(LiveAc& ac);

// Whether the tow and runway checks dropped a point or started a towed
// takeoff (here: never).
bool checkTowedAircraft(LiveAc& ac);

// The per-tick takeoff-roll checks that run before the pose moves (here:
// nothing).
void takeoffRollTickChecks(LiveAc& ac);

// Pitch, bank and altitude after the position and heading of a tick: on the
// ground the standing pitch, wings level and the leg's altitude change; in the
// air the planned pitch and bank changes (bank within the category's limit)
// and a climb that moves toward the leg's per-tick change by at most 0.001 ft
// per tick per tick.
void stepPitchBankAltitude(LiveAc& ac);
