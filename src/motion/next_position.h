#pragma once
// The next-position step: what an active aircraft does when it reaches the
// point it was moving to.

#include "engine/records.h"

// Plans the leg to the next point and makes it the front of the stream (the
// point being moved to); an aircraft whose stream has run dry is removed.
void nextPosMain(LiveAc& ac);
