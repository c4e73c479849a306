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
// The engine clock skips `ticks` at once (the main thread was held up), so
// that aircraft motion keeps real time; one atomic add, safe beside readers
// and the tick's own advance on other threads.
void gf_addTicks(std::int32_t ticks);
