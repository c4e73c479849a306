// Minimal bodies of the plans: nothing is planned until the planner is built.

#include "airports/parked_planner_entries.h"

#include "airports/parking_state.h"
#include "motion/runways.h"

void gf_clearParkingPlanRequest() { g_parkingPlanRequested.store(false); }
void gf_planParkedTraffic() {}
void gf_updateParkedTraffic() {}
void lf_adjustParking(bool /*dropFileStatics*/) {}
// Nothing was planned; only the runways that the airport's file loaded go.
void gf_resetParkedTraffic() { gf_clearRunwayTable(); }
