#pragma once
// The parking controls of the main window and the parking re-plan requests.
// The parked-traffic code, the main loop and the command handlers all change
// the parking group as the planner starts and finishes, so the operations
// live here, below every caller. Controls are enabled and disabled directly
// from any thread; texts and repaints go through the GUI update queue.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

// A re-plan of the parked traffic that the main loop runs at its next
// fifteen-second step. The requests are counted, so a request made while a
// re-plan runs is not lost: the main loop raises the done count only to the
// request count it copied.
struct ParkingRequest {
    std::uint64_t requestCount = 0;  // raised by every announcement
    std::uint64_t doneCount = 0;     // raised by the main loop when a re-plan ran
    // Raised with every change of RT_PARKTRAFFIC_ONLY, so the main loop clears
    // the refresh flag only when no newer change came meanwhile.
    std::int64_t requestId = 0;
    // The re-plan must refresh the parked traffic wholesale: the
    // RT_PARKTRAFFIC_ONLY value of the last change.
    bool refreshRequested = false;
};
extern std::mutex g_parkingRequestMutex;
extern ParkingRequest g_parkingRequest;  // guarded by g_parkingRequestMutex

// The parking interval in minutes that the parking band shows, taken by the
// main loop at its next second (exchange with -1); -1 when nothing is pending.
extern std::atomic<std::int32_t> g_pendingParkingInterval;

// Says that the static parking will be updated soon, disables the parking
// controls and raises the re-plan request count.
void gf_announceParkingUpdate();
// The same for a change of RT_PARKTRAFFIC_ONLY: the new value becomes the
// refresh flag and the request id is raised in the same locked step as the
// request count, so the main loop never copies one without the other.
void gf_announceParkingRefresh(bool refresh);
// Only records the change for the next re-plan, without asking for one.
void gf_recordParkingRefresh(bool refresh);

// Disables the eleven parking controls and repaints the settings band.
void gf_disableParkingControls();
// The planner has finished: ends the "generating parking" display, enables
// the parking controls (Flush only when the loaded airport has stands), lets
// the two governing options decide the rest, shows the parking interval and
// restores the hint line.
void gf_enableParkingControls();
// The controls that depend on RT_PARKTRAFFIC_ONLY, and on AUTO_PARK.
void gf_applyRtParkTrafficOnly();
void gf_applyAutoPark();
// Both, after an airport file's parking settings were applied; the MAX_FIT_FL
// rule of RT_PARKTRAFFIC_ONLY is applied last.
void gf_applyParkingOptions();
// Takes PARKING_INTERVAL_MINUTES from the settings snapshot for the main loop
// and shows it in the parking band.
void gf_showParkingInterval();

// What the shell asks of the parked-traffic code and the engine, which sit
// above these services. The program installs the real answers at its start
// (gf_installParkedTrafficServices in the shell); tests install fakes.
struct ParkedTrafficServices {
    std::function<bool()> parkedTrafficSetUp;      // an airport file was applied for the current airport
    std::function<bool()> loadedAirportHasStands;   // the airport whose file is loaded has stands
    std::function<std::uint32_t(bool report)> countLiveParked;      // active live aircraft at stands
    std::function<std::int64_t(bool report)> countStaticAircraft;  // static aircraft in the simulator
    std::function<void()> endGeneratingParking;     // the planner no longer generates the parking
};
// Any thread. nullopt removes what was installed.
void gf_setParkedTrafficServices(std::optional<ParkedTrafficServices> services);
// The installed table, every member callable: one that was not installed
// answers no or 0, or does nothing.
ParkedTrafficServices gf_parkedTrafficServices();
