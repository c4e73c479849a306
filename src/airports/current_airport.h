#pragma once
// The current airport as the feed and the simulator link read it. The park
// airports (park_airports.h) come with it: their readers read both.

#include <cstdint>
#include <optional>
#include <shared_mutex>

#include "airports/airports_list.h"
#include "airports/park_airports.h"
#include "foundation/files.h"
#include "foundation/lalo.h"

// The current airport (a copy of an airports-list entry) under a lock of its
// own: set and cleared whole, read as a copy (shared lock).
std::optional<AirportListEntry> gf_currentAirport();
void gf_setCurrentAirport(const AirportListEntry& airport);
void gf_clearCurrentAirport();
// Replaces the current airport's elevation in place under the exclusive lock
// (the airport file's elevation once it was read). Never stores back a copy,
// so a clear that races it stays a clear.
void gf_setCurrentAirportAltitude(std::int32_t altitudeFt);
// The current airport's altitude (feet) when a valid one is set.
std::optional<double> gf_getCurrentAirportAltitude();
// True when a valid current airport is set and the position lies within 10 NM.
bool gf_isNearCurrentAirport(const LaLo& position);
