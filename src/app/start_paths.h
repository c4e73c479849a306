#pragma once
// The two ways traffic starts, after the simulator runs and before the main
// loop: the RealTraffic application (the TCP link with its handshake and the
// UDP readers, buffered and parked traffic) and the RealTraffic web API (the
// user position, the cooldown between two sessions, the login and the two
// polling readers). Each runs the airport scan first, and each wait ends as
// soon as a stop request comes. Main thread; every wait goes through the
// shell's wait clock.

#include <chrono>
#include <optional>

// Both return true when the path reached its end, false when a stop request
// came first (the run then closes down).
bool lf_startRTApp();
bool lf_startRTDirect();

// How long the web API wants between the close of one session and the next
// login: within one process, and across processes (from LAST_EPOCH_TIME).
inline constexpr std::chrono::seconds kRTAPICooldownInProcess{3};
inline constexpr std::chrono::seconds kRTAPICooldownAcrossRuns{4};

// The earliest time (shell wait clock) at which a new web-API session may
// start; none when no session was closed in this process. The closing down
// sets it; the wait clears it. Any thread.
void gf_setRTAPICooldownDeadline(std::optional<std::chrono::steady_clock::time_point> deadline);
std::optional<std::chrono::steady_clock::time_point> gf_rtApiCooldownDeadline();

// Holds the start until the cooldown has passed, with a status line that
// says for how many seconds; ends early on a stop request.
void lf_waitRTAPICooldown();
