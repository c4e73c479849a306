#pragma once
// The traffic times of the two traffic sources, seconds since 1970 (0 = no
// traffic yet), and the traffic clock that runs on them. The readers write the
// times as traffic arrives; the traffic clock and the shell's wait for first
// traffic read them from other threads.
//
// When the traffic source runs its professional edition and the user has
// shifted time into the past, the time of the traffic the source delivers
// stands for "now" in the traffic logic, and time texts on it carry the mark
// "<<< ". Otherwise the traffic clock is the system clock (foundation/time.h).

#include <atomic>
#include <cstdint>
#include <string>

#include "foundation/time.h"

// The RT App traffic reader's last record time: the time of the latest traffic
// line whose time and position passed the check.
extern std::atomic<std::int64_t> g_rtAppLastRecordTime;

// The RT Direct traffic reader's traffic time: the latest non-zero time of a
// delivered traffic batch.
extern std::atomic<std::int64_t> g_rtDirectTrafficTime;

// Whether the traffic clock runs on the source's shifted traffic time: the
// source reported its professional edition and a time shift is active.
bool gf_trafficClockShifted();

// Without the flag the system clock. With it the traffic time of the active
// source (RT Direct or RT App) when it is not 0, else the system clock.
std::int64_t gf_nowSeconds(bool useTrafficClock);

// "hh:mm:ss" of the traffic clock, as "<<< hh:mm:ss" when shifted; "??:??:??"
// on failure.
std::string gf_trafficTimeText();
// "hh:mm", as "<<< hh:mm" when shifted; "??:??" on failure.
std::string gf_trafficTimeTextShort();

// Slot of the traffic clock when shifted, of the system clock otherwise; -1 on
// failure.
int gf_halfHourSlot();

// The slot (upper 32 bits) and weekday 1..7 (lower 32 bits) of one reading of
// the clock (traffic clock when shifted); a half that cannot be converted is
// 0xFFFFFFFF.
std::uint64_t gf_slotAndWeekday();

// The current week time of the traffic clock.
WeekTime gf_currentWeekTime();
