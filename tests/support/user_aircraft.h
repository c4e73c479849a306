#pragma once
// The user aircraft for tests, as the simulator link keeps it: the locked copy
// of its state (through the link's own position handler) and the on-ground flag.

#include "foundation/lalo.h"

namespace tavo::test {

// Forgets the previous user aircraft first, so that no move counts as a teleport.
void placeUserAircraft(LaLo position, double altitudeFt, bool onGround);
// No user aircraft: no position, not on the ground.
void resetUserAircraft();

}  // namespace tavo::test
