#pragma once
// The airports for which the traffic service has recorded weekly traffic
// (input/wktraffic.enc). The airport scan generates airport files only for
// them. An empty set - before a load, after a failed one, after the scan -
// lets every airport count as having weekly traffic: a missing or bad file
// widens the scan, it never stops it.

#include "foundation/files.h"

// Reads the file and replaces the set. On failure the set is emptied, the
// error logged once, and the result is false.
bool gf_loadWeeklyTrafficAirports();

// True when the set is empty or holds the code (shared lock).
bool gf_hasWeeklyTraffic(const IcaoCode& icao);

// Empties the set (the scan, when it ends).
void gf_clearWeeklyTrafficAirports();
