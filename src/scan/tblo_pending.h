#pragma once
// The archive of airports the program cannot learn by itself (tblo/tblo.zip)
// waits to be sent to the maker.

#include <atomic>

// Set when the airport scan has packed tblo.zip, or when the start-up finds one
// left from an earlier run; cleared when the user presses the Tblo button.
extern std::atomic<bool> g_tbloPending;
