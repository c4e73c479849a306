#pragma once
// The stand and tow checks of the next-position step, with minimal bodies:
// no parking aircraft arrives at its stand and no point is dropped for a
// towed or lined-up aircraft. The issues that build parking at stands and
// runway line-up replace these bodies and keep the declarations.

#include "engine/records.h"

// Whether a parking aircraft has arrived at its stand (here: never).
bool checkArrivedAtStand(LiveAc& ac);

// The runway line-up check of the next-position step (built with the runway
// line-up): true when it dropped a point behind a lined-up aircraft.
bool checkTowedAircraft(LiveAc& ac);
