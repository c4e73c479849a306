#pragma once
// State of the parked-traffic planner that other code reads: the flags the
// main window shows while it paints and the current week time. The planner and
// the main loop set them on the main thread; others read them, so each is
// atomic.

#include <atomic>
#include <cstdint>

#include "foundation/time.h"

// Parked traffic is planned for the current airport: the parking band shows
// the next update and the reserved stand only while this is set.
extern std::atomic<bool> g_parkingActive;
// The planner is generating the parking ("generating parking ..." is shown).
extern std::atomic<bool> g_generatingParking;
// The week number of the loaded airport data ("week: {}").
extern std::atomic<std::int32_t> g_airportDataWeek;
// The current week time of the traffic clock, packed as gf_slotAndWeekday
// gives it (gf_weekTimeOf unpacks it): the main loop keeps it up to date, the
// planner plans for it and real aircraft at stands are recorded under it.
extern std::atomic<std::uint64_t> g_weekTime;
// A new airport was made current: the planner's next update plans it from
// scratch (and clears the flag). Raised by the park-airport selection.
extern std::atomic<bool> g_parkingPlanRequested;
