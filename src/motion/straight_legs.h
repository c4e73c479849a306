#pragma once
// The runway line-up check of the next-position step (its body is with the
// runway line-up).

#include "engine/records.h"

// True when it dropped a point behind a lined-up aircraft.
bool checkTowedAircraft(LiveAc& ac);
