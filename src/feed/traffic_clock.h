#pragma once
// The traffic times of the two traffic sources, seconds since 1970 (0 = no
// traffic yet). The readers write them as traffic arrives; the traffic clock
// (foundation/time.h) and the shell's wait for first traffic read them from
// other threads.

#include <atomic>
#include <cstdint>

// The RT App traffic reader's last record time: the time of the latest traffic
// line whose time and position passed the check.
extern std::atomic<std::int64_t> g_rtAppLastRecordTime;

// The RT Direct traffic reader's traffic time: the latest non-zero time of a
// delivered traffic batch.
extern std::atomic<std::int64_t> g_rtDirectTrafficTime;
