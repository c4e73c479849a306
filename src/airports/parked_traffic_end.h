#pragma once
// What the park-airport reach check asks when the current airport's parked
// traffic ends: the statics still to be placed dropped, every static and live
// aircraft at the airport removed, the parked traffic reset (the planner's
// gf_endParkedTrafficAtAirport). Tests of the reach check install a recorder
// in its place.

using ParkedTrafficEnd = void (*)();

// Installs a replacement of the end (any thread; nullptr puts the planner's
// end back).
void gf_setParkedTrafficEnd(ParkedTrafficEnd end);
// Runs the installed replacement, or the planner's end.
void gf_endParkedTraffic();
