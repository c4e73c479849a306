#pragma once
// The parked-traffic planner: which stands of the current park airport carry
// a parked ("static") aircraft, which aircraft that is, and when it comes and
// goes. It runs on the engine's thread (the main loop's), driven by the main
// loop's fourteen-second step, the plan request of the park-airport selection
// and the parking adjustments the user or the parking interval ask for. The
// stand searches choose the stands; static_placement.h carries the plan out.

#include <cstdint>
#include <functional>

#include "foundation/time.h"
#include "settings/snapshot.h"

// Forgets a pending request to plan the park airport from scratch (the plan
// that follows is made at once instead).
void gf_clearParkingPlanRequest();
// The fourteen-second step: the end of a plan, a plan request, the park
// airport's reach.
void gf_updateParkedTraffic();
// Loads the current park airport's file and plans it, or ends its parked
// traffic when the file cannot be loaded.
void gf_planParkedTraffic();
// The first plan of a freshly loaded airport.
void lf_planParking();
// Re-plans for the current week time, keeping what may stay; with
// dropFileStatics the statics of the airport file are removed.
void lf_adjustParking(bool dropFileStatics);
// Ends the parked traffic of the current airport: the learned stands saved,
// the user's parking settings set back, the airport, its stands and the work
// lists emptied.
void gf_resetParkedTraffic();
// The end of an airport's parked traffic when the user leaves its reach or
// another airport comes first: the statics still to place dropped, every
// static and live aircraft at the airport removed, then the reset.
void gf_endParkedTrafficAtAirport();
// Logs the current week time of the traffic clock and returns it.
WeekTime lf_logWeekTime();

// The number of statics wanted from the settings, stored as the static
// parking target (and the parked aircraft's limit) and shown.
std::int64_t gf_setStaticParkingTarget(const SettingsSnapshot& settings);
// Engine ticks a plan of that many milliseconds is credited: none below 5 ms,
// else to the nearest tick.
std::int32_t gf_planTicksCredit(std::int64_t milliseconds);

// The steady clock (nanoseconds) that times a plan; tests set their own, an
// empty function puts the real clock back.
void gf_setPlannerClock(std::function<std::int64_t()> nowNs);
