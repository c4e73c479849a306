#pragma once
// What the main loop and the start paths ask of the subsystems beside the
// shell: the traffic engine's tick and housekeeping, the parked-traffic
// planner, the livery reports and the airport scan. Each service is declared
// once, in its owner's folder; the shell reaches all of them through this one
// table, so that a test can run the loop with recording fakes in place of the
// engine and the planner while everything else is real.
//
// The table is swapped whole (copy-on-write); the main loop takes one copy per
// tick, so a test that installs a table between two runs never races a tick.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "airports/airports_list.h"
#include "foundation/files.h"
#include "foundation/lalo.h"
#include "foundation/time.h"

struct AcInfo;
struct LiveAc;
struct Stand;

// The park airport the main thread plans parked traffic for.
struct ParkAirportSpot {
    IcaoCode icao;
    LaLo position{};
};

struct NeighbourServices {
    // --- traffic engine ---
    std::function<void()> handleAddingStack;   // the engine tick
    std::function<void()> processSimCommands;  // the simulator's results only
    std::function<void()> runParkedAcSchedule;
    std::function<std::vector<std::string>()> listActiveLiveAc;
    std::function<void()> writeTrafficDump;
    std::function<void(std::uint32_t category)> removeLiveAircraftCategory;
    std::function<void(std::uint32_t category)> removeStaticAircraftCategory;
    std::function<void()> checkForAllGndIfParkedVersionExistsAndRemove;
    std::function<void(const LiveAc&)> checkForStaticWithCallsignOrHexidAndRemove;
    std::function<std::int32_t(std::int32_t percentage, std::int32_t maximum)> computeStaticParkingTarget;
    std::function<void(std::uint8_t extra)> trimParkedToTarget;
    std::function<bool(double distanceNm)> isThisTheFurthestLive;
    std::function<void()> removeAllStatic;
    std::function<void()> checkUserAcCollisions;
    std::function<void()> checkLiveVsParkedCollisions;
    std::function<void()> removeBlockedAc;
    std::function<void(const std::string& standName)> clearUserDestGate;
    std::function<void()> removeTCASCoverageAcs;
    // The main thread's set-up of a run and the reset before the next one.
    std::function<void()> initTrafficEngine;
    std::function<void()> resetTrafficEngine;
    std::function<void()> removeAllStaticAndLiveAtAirport;

    // --- airports and the parked-traffic planner ---
    std::function<std::optional<ParkAirportSpot>()> currentParkAirport;
    std::function<std::optional<std::string>()> parkAirportUserStand;
    std::function<bool(const IcaoCode&)> hasAirportFile;
    std::function<void()> clearPlanRequest;
    std::function<void()> planParkedTraffic;
    std::function<void()> updateParkedTraffic;
    std::function<void(bool refresh)> adjustParking;
    std::function<void(const std::vector<Stand>&, WeekTime, AcInfo&)> applyStandOptionCallsigns;
    std::function<void()> clearStaticsToPlace;
    std::function<void()> resetParkedTraffic;
    std::function<AirportsLoadResult()> loadAirports;
    std::function<std::optional<AirportListEntry>(const IcaoCode&)> findAirport;
    std::function<std::optional<AirportListEntry>(LaLo)> findNearestAirport;
    std::function<void()> readMyParkAirportsFile;
    std::function<void()> writeMyParkAirportsFile;

    // --- aircraft database and liveries ---
    std::function<bool()> readDbase;
    std::function<void()> scanLiveries;
    std::function<void()> processScannedLiveries;

    // --- livery reports ---
    std::function<void()> logNoMatchList;
    std::function<void()> logLiveryMatchingSummary;
    std::function<void()> clearNoMatchList;
    std::function<void()> forgetFailedLiveries;

    // --- airport scan ---
    std::function<void()> scanAirports;
};

// The table of the real functions.
NeighbourServices gf_realNeighbourServices();

// The table in use; never null, every member callable.
std::shared_ptr<const NeighbourServices> gf_neighbourServices();

// Installs a table (tests start from gf_realNeighbourServices and replace
// members); nullopt puts the real one back. Throws std::invalid_argument when
// a member is empty, so a forgotten service fails at once, not mid-run.
void gf_setNeighbourServices(std::optional<NeighbourServices> services);
