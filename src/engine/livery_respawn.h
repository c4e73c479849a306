#pragma once
// A livery respawn: the aircraft's object is removed and, when the removed
// result arrives, the aircraft goes back to buffer and spawning creates it
// again where it is now, heading as it heads now. Engine thread.

#include "engine/records.h"

// Puts a new front point at the aircraft's pose (a parked aircraft: its
// stream cut to a stationary front point), due next tick, and queues the
// object's removal. With `resetFirst` the aircraft first gives up its livery
// (resetForRespawn), so that it comes back with a newly chosen one. An
// aircraft without an object has nothing to wait for: its record goes, and
// its next report creates it anew. Exceptions are logged, not thrown.
void liveryRespawn(LiveAc& ac, bool resetFirst = false);
