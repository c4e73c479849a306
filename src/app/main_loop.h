#pragma once
// The main loop: the main thread's fixed 10 ms schedule, from the start of
// traffic to the first stop request. While the simulator runs a flight every
// tick drives the traffic engine, and once per simulator second (the second
// signal of the simulator link) the housekeeping runs, with its slower steps
// every 5, 14, 15, 30, 60 and 61 seconds, 20 minutes and 24 hours. While no
// flight runs, each tick only applies the simulator's results and a tick
// count keeps a one-second clock. Main thread.

#include <chrono>
#include <cstdint>
#include <optional>

inline constexpr std::chrono::milliseconds kMainLoopTick{10};
// A tick that ends later than this behind its deadline gives up the lost
// ticks instead of running them back to back.
inline constexpr std::chrono::milliseconds kMainLoopResync{100};
// While a flight runs, stop requests are seen at the next second signal, or
// after this long without one (a link that stops signalling).
inline constexpr std::chrono::seconds kMainLoopStopCheck{2};
// Minutes between parking updates when nothing else was chosen.
inline constexpr std::int32_t kDefaultParkingIntervalMinutes = 20;

// The main module's state of one run. Main thread only.
struct MainLoopState {
    std::int32_t secondsCounter = 0;  // simulator seconds, back to 0 every 24 hours
    bool flightNotRunning = false;
    std::int32_t notRunningCountdown = 100;  // ticks of the one-second clock while no flight runs
    // Minutes left until the next parking update, and whether the user just
    // chose a new interval.
    std::int32_t parkingInterval = kDefaultParkingIntervalMinutes;
    bool parkingIntervalChanged = false;
    // The parking re-plan taken over from the request record: its count, id
    // and refresh flag, and whether it waits to be run.
    std::uint64_t replanCount = 0;
    std::int64_t replanId = 0;
    bool replanRefresh = false;
    bool replanPending = false;
    // The RT App's datagram count at the last look of the traffic lamp.
    std::uint32_t lastDatagramCount = 0;
    // When the running flight last asked for stop requests without a second
    // signal; none after a tick without a flight.
    std::optional<std::chrono::steady_clock::time_point> lastStopCheck;
};
MainLoopState& gf_mainLoopState();
// The start values for the next run (before a restart).
void gf_resetMainLoopState();

// Runs the schedule until lf_tick returns false.
void lf_mainLoop();
// One tick; false once keepRunning was found false.
bool lf_tick();
// The once-a-second housekeeping while a flight runs.
void lf_flightRunning();
// The work of one tick while no flight runs.
void lf_flightNotRunning();
// The chained periodic steps.
void lf_everyFiveSeconds();
void lf_everyFifteenSeconds();
void lf_everyThirtySeconds();

// Stores the traffic clock's current week time as the one the planner and the
// stand options use.
void gf_storeCurrentWeekTime();
