#pragma once
// The parked-traffic planner's entries that the main loop calls: the first
// plan of the park airport, the fourteen-second update and the re-plan the
// user or the parking interval asked for.
//
// Minimal bodies until the planner is built: nothing is planned, so no static
// aircraft is placed. The code that builds the planner replaces these bodies
// (and this file).

// Forgets a pending request to plan the park airport from scratch (the plan
// that follows is made at once instead).
void gf_clearParkingPlanRequest();
// Loads the current park airport's file and plans it.
void gf_planParkedTraffic();
// The fourteen-second step: the end of a plan, a plan request, the park
// airport's reach.
void gf_updateParkedTraffic();
// Re-plans for the current week time, keeping what may stay; with
// dropFileStatics the statics of the airport file are removed.
void lf_adjustParking(bool dropFileStatics);
// Ends the parked traffic of the current airport (closing down): its plan and
// the current airport's runways are forgotten.
void gf_resetParkedTraffic();
