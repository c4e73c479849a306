#pragma once
// The airport scan as the start paths of both traffic sources call it.
//
// Minimal body until the scan is built: nothing is scanned, so the airport
// files of earlier scans stay as they are. The code that builds the scan
// replaces this body (and this file).

// The airport scan of the simulator's scenery; never throws.
void gf_scanAirports();
