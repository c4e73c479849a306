#include "airports/parked_traffic_status.h"

// Placeholders until the parked-traffic planner answers them: no parked
// traffic is set up, no airport with stands is loaded, no statics are placed.
bool gf_parkedTrafficSetUp() { return false; }
bool gf_loadedAirportHasStands() { return false; }
std::int64_t gf_countStaticAircraft(bool) { return 0; }
