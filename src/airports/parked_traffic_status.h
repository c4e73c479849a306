#pragma once
// What the shell asks of the parked traffic of the current airport: whether it
// is set up, whether the loaded airport has stands, and how many static
// aircraft stand there.

#include <cstdint>

// True once an airport file has been applied for the current airport, so that
// a re-plan of its parked traffic can run.
bool gf_parkedTrafficSetUp();
// True when the airport whose file is loaded has stands.
bool gf_loadedAirportHasStands();
// The number of static aircraft that are active or being removed in the
// simulator. With report set it also posts their average stay to the window.
std::int64_t gf_countStaticAircraft(bool report);
