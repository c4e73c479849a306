#pragma once
// Program-wide values of the traffic engine that other threads read.

#include <atomic>
#include <cstdint>

// The QNH in whole hPa; 1013 until the first weather report.
extern std::atomic<std::uint32_t> g_qnh;

// The engine clock: 10 ms ticks since the engine started, incremented at the
// end of every engine tick.
extern std::atomic<std::int32_t> tickCount;

// One engine tick has passed.
void gf_advanceTickCount();
