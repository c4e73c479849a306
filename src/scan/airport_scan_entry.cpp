// Minimal body until the airport scan is built.

#include "scan/airport_scan_entry.h"

void gf_scanAirports() {}
