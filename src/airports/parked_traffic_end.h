#pragma once
// What the park-airport reach check asks of the parked-traffic planner, which
// sits above it: the end of the current airport's parked traffic (the statics
// still to be placed dropped, every static and live aircraft at the airport
// removed, the parked traffic reset). The planner installs it at start; until
// then the end is left out. Tests install a recorder.

using ParkedTrafficEnd = void (*)();

// Installs the end (any thread; nullptr removes it).
void gf_setParkedTrafficEnd(ParkedTrafficEnd end);
// Runs the installed end, or does nothing.
void gf_endParkedTraffic();
