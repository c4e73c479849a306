#pragma once
// Parking at stands: what a live aircraft's creation asks of it.

#include "engine/records.h"

// A live aircraft on the ground got its object: it takes part in the ground
// traffic at stands (parks, or parks over a static); `promoted` says it took
// over a static's object.
void hp_handleGroundTraffic(LiveAc& ac, bool promoted);
