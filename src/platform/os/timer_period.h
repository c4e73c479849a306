#pragma once
// The resolution of the system timer. A loop that keeps a 10 ms schedule on a
// system whose timer ticks coarsely must ask for 1 ms resolution while it runs
// and give it back afterwards. Linux sleeps on high-resolution timers without
// being asked, so here the request always succeeds and changes nothing.

// Asks for timer ticks of the given length; true when granted.
bool gf_osBeginTimerPeriod(unsigned milliseconds);
// Gives back a granted request of the same length.
void gf_osEndTimerPeriod(unsigned milliseconds);
