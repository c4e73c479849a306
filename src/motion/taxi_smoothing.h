#pragma once
// Taxi path smoothing: the corner that lies ahead of a ground aircraft at its
// next point is reshaped into a ground turn or a curved leg, so that the
// aircraft follows a smooth path instead of pivoting on the spot. Depending
// on speed, phase and geometry a short zig-zag is merged into one leg, a
// turn-entry point is put in before the corner, or a ground turn is built and
// classified for the ground step (a taxi turn, a landing roll's exit turn, a
// takeoff roll's line-up turn).
//
// Stream indices: 0 is the point reached, 1 the corner ahead, 2 the point
// after it. Everything runs on the engine thread.

#include <cstddef>
#include <cstdint>

#include "engine/records.h"

// True when it changed the stream or built a ground turn for the coming leg
// (the ground driver then leaves the leg's splitting to it).
bool smoothTaxiPath(LiveAc& ac);

// A taxiing aircraft standing with its nose more than 30 degrees off the
// leg to its next point: it turns on the spot before it sets off, so no
// turn is planned along that leg.
bool gf_turnsOnTheSpotFirst(const LiveAc& ac);

// A taxi rolling into a leg whose next point the reports pass moving, its
// nose too far off the way to that point to turn on the way, with the time
// the leg takes at the reports' speed: a ground turn round a corner put
// ahead of the nose brings it round onto the line to that point, rolling,
// stood. True when the motion path now holds that turn. `now` is the tick it
// is judged at (by default the current one; a plan made ahead judges it at
// the tick the aircraft is due there).
bool gf_turnFromTheNoseRolling(LiveAc& ac, std::int32_t now);
bool gf_turnFromTheNoseRolling(LiveAc& ac);

// Builds the ground turn (or, failing that, the curved leg) round the corner
// at the next point; `cornerDeg` is the absolute turn there. True when the
// motion path now holds a usable ground turn or curved leg; the corner point
// (or the points a far exit skipped) then leaves the stream, unless the turn
// ends at the corner.
bool makeTurnGnd(LiveAc& ac, double cornerDeg);

// makeTurnGnd, refused when the front or the next point stands where the
// point after the next does; on success the corner angle becomes the
// smoothing turn angle.
bool makeTurnGndChecked(LiveAc& ac, double cornerDeg);

// Puts a turn-entry point `distanceM` metres before the next point, on the
// way from the pose (`fromPose`) or from the front point. False when the
// distance does not fit the leg or the leg is too short in time.
bool insertPointBeforeCorner(LiveAc& ac, double distanceM, bool fromPose);

// Drops points 1 .. k-1 when points 1 .. k (k 3 or 4) form a small zig-zag
// round the straight line from the pose to point k.
bool mergeZigZag(LiveAc& ac, std::size_t k);
