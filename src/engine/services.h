#pragma once
// Engine services the traffic feed and the simulator link use.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "feed/records.h"
#include "foundation/lalo.h"

// When the callsign starts with three letters and a digit, stores the index
// of the upper-cased three-letter prefix as the key's airline; true then.
bool gf_setAirlineFromCallsign(FlightIdentity& identity);

// Whether traffic of that size category is shown at all: Bizjet, Large and
// Heavy always; Light, TwoProps, HighPerf and Rotorcraft by their switches in
// the settings snapshot; any other value never.
bool gf_isCategoryIncluded(std::int32_t category);

// A stand as the engine publishes it for other threads.
struct StandMark {
    std::string name;
    LaLo position{};
};

// Publishes the stands of the current airport (engine thread); an empty list
// clears them.
void gf_publishStandSnapshot(std::vector<StandMark> stands);

// Name of the stand within 20 m of the position, from the published stands;
// a per-thread cache is reused while the position moves at most 0.003 NM.
std::optional<std::string> gf_standNameAtPosition(const LaLo& position);
