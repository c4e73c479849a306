#pragma once
// The pose of an active aircraft along its current leg, one engine tick at a
// time: the position moves along whatever path the leg planning prepared (a
// speed profile, a ground turn, a curved leg, a curved air transition, a
// schedule of shares or the plain per-tick step), the heading turns within
// the aircraft's turn rate, and pitch, bank and altitude follow.

#include "engine/records.h"

// The most a ground aircraft's heading changes in a tick, in turn rates of
// its category (pushbacks aside): what every plan of a ground turn must keep
// within for the nose to follow it.
inline constexpr double kGroundTurnCap = 1.2;

// One tick of pose toward the front point of the stream (the point being
// moved to).
void gf_interpolatePoseOnCurve(LiveAc& ac);

// Turns the heading toward the target (radians) by at most `turnRateLimit`;
// with smoothing, a small turn (6 degrees or less) eases in and out at no more
// than 0.02 degrees a tick. A step above 3.6 degrees is never taken.
void gf_stepHeadingToward(LiveAc& ac, double targetHeading, bool smoothing);

// Plans the pace of an airborne leg just planned (the per-tick step and any
// curved transition set): the speed changes evenly from the one flown as the
// leg begins to the leg's mean and half the change its reports show across
// it, and the next point falls due when that brings the aircraft there
// (within a fifth of its time and the retiming limits; else the profile
// covers the leg in its time, where it swings no further than the speeds it
// joins). Flown at one speed, legs on reports that slow changed speed in a
// step at every join. No pace on the ground, to a point at rest, or over a
// leg of no length.
void gf_planAirPace(LiveAc& ac);

// Splits the leg from the front to the next point in two: a copy of the front
// point at the mean position, altitude, ground speed and play tick of the
// two. Nothing with fewer than two points.
void gf_insertMidpointInStream(LiveAc& ac);
