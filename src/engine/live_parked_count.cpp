#include "engine/live_parked_count.h"

// Placeholder until the engine's parked-aircraft services count the parked
// live aircraft and their time at the stand: none are counted.
std::uint32_t gf_countLiveParked(bool) { return 0; }
