#pragma once
// Taxi path smoothing: the corner that lies ahead of a ground aircraft at its
// next point is reshaped into a ground turn or a curved leg, so that the
// aircraft follows a smooth path instead of pivoting on the spot.

#include "engine/records.h"

// True when it changed the stream or built a ground turn for the coming leg
// (the ground driver then leaves the leg's splitting to it).
//
// Until the smoothing is built the path is left as reported: false, nothing
// changed, and the legs stay straight.
bool smoothTaxiPath(LiveAc& ac);
