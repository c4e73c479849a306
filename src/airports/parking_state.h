#pragma once
// Flags of the parked-traffic planner that the main window shows. The planner
// owns them and sets them on the main thread; the window reads them while it
// paints, so each is atomic.

#include <atomic>
#include <cstdint>

// Parked traffic is planned for the current airport: the parking band shows
// the next update and the reserved stand only while this is set.
extern std::atomic<bool> g_parkingActive;
// The planner is generating the parking ("generating parking ..." is shown).
extern std::atomic<bool> g_generatingParking;
// The week number of the loaded airport data ("week: {}").
extern std::atomic<std::int32_t> g_airportDataWeek;
