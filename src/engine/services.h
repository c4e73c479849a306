#pragma once
// Engine services the traffic feed and the simulator link use.

#include <cstdint>

#include "feed/records.h"

// When the callsign starts with three letters and a digit, stores the index
// of the upper-cased three-letter prefix as the key's airline; true then.
bool gf_setAirlineFromCallsign(FlightIdentity& identity);

// Whether traffic of that size category is shown at all: Bizjet, Large and
// Heavy always; Light, TwoProps, HighPerf and Rotorcraft by their switches in
// the settings snapshot; any other value never.
bool gf_isCategoryIncluded(std::int32_t category);
