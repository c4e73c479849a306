#pragma once
// A parking aircraft whose stream has run dry at its stand: it parks there
// (engines off and lights changed later, from the parked-aircraft schedule),
// gives the stand up when it ended too far from it, or is refused (and then
// removed) when it stands across it or another live aircraft holds it.
// Engine thread only.

#include "engine/records.h"

// True when the aircraft parked or gave its stand up and taxis on; false
// when its arrival is refused (the extrapolation counter is then 1, so that
// the next dry step removes it).
bool checkArrivedAtStand(LiveAc& ac);

// Farther than this from its stand's point (m) an aircraft has not reached
// the stand.
inline constexpr double kMostStandMissM = 18.0;
