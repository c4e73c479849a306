#pragma once
// The pose of an active aircraft along its current leg, one engine tick at a
// time.

#include "engine/records.h"

// One tick of pose toward the front point of the stream (the point being
// moved to).
void gf_interpolatePoseOnCurve(LiveAc& ac);

// Turns the heading toward the target (radians) by at most the aircraft's
// current turn-rate limit.
void gf_stepHeadingToward(LiveAc& ac, double targetHeading, bool smoothing);
