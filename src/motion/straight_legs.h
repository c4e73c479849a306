#pragma once
// The leg planning of the ground driver and the stand and tow checks, as
// plain straight legs: each ground leg runs straight from the pose to the
// next point at an even speed, with no taxi path, speed plan, stand or tow
// handling. The issues that build ground movement, takeoff, stands and
// runway line-up replace these bodies one by one and keep the declarations.

#include "engine/records.h"

// The ground driver's leg planning (here: nothing; the straight per-tick step
// carries the leg).
void nextPosGround(LiveAc& ac);

// Plans a ground leg: the leg's speed from the next point, and level pitch at
// the standing pitch with wings level, with no per-tick attitude change,
// unless the attitude is still settling from a flare or the aircraft takes
// off.
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
