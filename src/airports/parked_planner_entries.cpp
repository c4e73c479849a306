// Minimal bodies: nothing is planned until the planner is built.

#include "airports/parked_planner_entries.h"

void gf_clearParkingPlanRequest() {}
void gf_planParkedTraffic() {}
void gf_updateParkedTraffic() {}
void lf_adjustParking(bool /*dropFileStatics*/) {}
