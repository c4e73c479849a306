#pragma once
// Flags of the traffic feed that every thread may read.

#include <atomic>
#include <chrono>

// The traffic source is connected: set on the RT App path after the version
// handshake (or at once when the program runs no server), by RT Direct around
// its login; cleared when the source is found gone and by the main thread.
extern std::atomic<bool> g_rtConnected;

// The traffic source reported its professional edition. It enables the time
// shift and the simulator time.
extern std::atomic<bool> g_rtProfessional;

// The steady clock of the RT App time limits (the open batch, the buffer
// request); tests put a clock of their own in place.
using FeedSteadyNow = std::chrono::steady_clock::time_point (*)();
std::chrono::steady_clock::time_point gf_feedSteadyNow();
// nullptr restores the steady clock.
void gf_setFeedSteadyClock(FeedSteadyNow now);
