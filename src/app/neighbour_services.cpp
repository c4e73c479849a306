#include "app/neighbour_services.h"

#include <stdexcept>
#include <utility>

#include "airports/airport_files.h"
#include "airports/current_airport.h"
#include "airports/park_airports.h"
#include "airports/parked_planner.h"
#include "airports/stand_options.h"
#include "airports/static_placement.h"
#include "engine/collisions.h"
#include "engine/engine_setup.h"
#include "engine/live_lists.h"
#include "engine/removal_policies.h"
#include "engine/sim_results.h"
#include "engine/stands.h"
#include "engine/tick.h"
#include "foundation/atomic_shared_ptr.h"
#include "liveries/dbase.h"
#include "liveries/failed_liveries.h"
#include "liveries/liveries_scan.h"
#include "liveries/livery_tables.h"
#include "liveries/livery_matching.h"
#include "scan/airport_scan.h"

namespace {

ModelCategory lf_category(std::uint32_t category) { return static_cast<ModelCategory>(category); }

AtomicSharedPtr<const NeighbourServices> l_services{nullptr};

// Every member, for the check that none was left empty.
template <class F>
void lf_forEachMember(const NeighbourServices& s, F&& f) {
    f(static_cast<bool>(s.handleAddingStack));
    f(static_cast<bool>(s.processSimCommands));
    f(static_cast<bool>(s.runParkedAcSchedule));
    f(static_cast<bool>(s.listActiveLiveAc));
    f(static_cast<bool>(s.writeTrafficDump));
    f(static_cast<bool>(s.removeLiveAircraftCategory));
    f(static_cast<bool>(s.removeStaticAircraftCategory));
    f(static_cast<bool>(s.checkForAllGndIfParkedVersionExistsAndRemove));
    f(static_cast<bool>(s.checkForStaticWithCallsignOrHexidAndRemove));
    f(static_cast<bool>(s.computeStaticParkingTarget));
    f(static_cast<bool>(s.trimParkedToTarget));
    f(static_cast<bool>(s.isThisTheFurthestLive));
    f(static_cast<bool>(s.removeAllStatic));
    f(static_cast<bool>(s.checkUserAcCollisions));
    f(static_cast<bool>(s.checkLiveVsParkedCollisions));
    f(static_cast<bool>(s.removeBlockedAc));
    f(static_cast<bool>(s.clearUserDestGate));
    f(static_cast<bool>(s.removeTCASCoverageAcs));
    f(static_cast<bool>(s.initTrafficEngine));
    f(static_cast<bool>(s.resetTrafficEngine));
    f(static_cast<bool>(s.removeAllStaticAndLiveAtAirport));
    f(static_cast<bool>(s.currentParkAirport));
    f(static_cast<bool>(s.parkAirportUserStand));
    f(static_cast<bool>(s.hasAirportFile));
    f(static_cast<bool>(s.clearPlanRequest));
    f(static_cast<bool>(s.planParkedTraffic));
    f(static_cast<bool>(s.updateParkedTraffic));
    f(static_cast<bool>(s.adjustParking));
    f(static_cast<bool>(s.applyStandOptionCallsigns));
    f(static_cast<bool>(s.clearStaticsToPlace));
    f(static_cast<bool>(s.resetParkedTraffic));
    f(static_cast<bool>(s.loadAirports));
    f(static_cast<bool>(s.findAirport));
    f(static_cast<bool>(s.findNearestAirport));
    f(static_cast<bool>(s.readMyParkAirportsFile));
    f(static_cast<bool>(s.writeMyParkAirportsFile));
    f(static_cast<bool>(s.readDbase));
    f(static_cast<bool>(s.scanLiveries));
    f(static_cast<bool>(s.processScannedLiveries));
    f(static_cast<bool>(s.logNoMatchList));
    f(static_cast<bool>(s.logLiveryMatchingSummary));
    f(static_cast<bool>(s.clearNoMatchList));
    f(static_cast<bool>(s.forgetFailedLiveries));
    f(static_cast<bool>(s.scanAirports));
}

}  // namespace

NeighbourServices gf_realNeighbourServices() {
    NeighbourServices s;
    s.handleAddingStack = &lf_handleAddingStack;
    s.processSimCommands = &gf_processSimCommands;
    s.runParkedAcSchedule = &gf_runParkedAcSchedule;
    s.listActiveLiveAc = &gf_listActiveLiveAc;
    s.writeTrafficDump = &gf_writeTrafficDump;
    s.removeLiveAircraftCategory = [](std::uint32_t c) { gf_removeLiveAircraftCategory(lf_category(c)); };
    s.removeStaticAircraftCategory = [](std::uint32_t c) { gf_removeStaticAircraftCategory(lf_category(c)); };
    s.checkForAllGndIfParkedVersionExistsAndRemove = &gf_checkForAllGndIfParkedVersionExistsAndRemove;
    s.checkForStaticWithCallsignOrHexidAndRemove = &lf_checkForStaticWithCallsignOrHexidAndRemove;
    s.computeStaticParkingTarget = &gf_computeStaticParkingTarget;
    s.trimParkedToTarget = &gf_trimParkedToTarget;
    s.isThisTheFurthestLive = &lf_isThisTheFurthestLive;
    s.removeAllStatic = &gf_removeAllStatic;
    s.checkUserAcCollisions = &gf_checkUserAcCollisions;
    s.checkLiveVsParkedCollisions = &gf_checkLiveVsParkedCollisions;
    s.removeBlockedAc = &gf_removeBlockedAc;
    s.clearUserDestGate = [](const std::string& name) { gf_clearUserDestGate(name); };
    s.removeTCASCoverageAcs = &gf_removeTCASCoverageAcs;
    s.initTrafficEngine = &gf_initTrafficEngine;
    s.resetTrafficEngine = &gf_resetTrafficEngine;
    s.removeAllStaticAndLiveAtAirport = &lf_removeAllStaticAndLiveAtAirport;
    // The park airport of the run: the airport the main thread found the
    // user aircraft standing at (the current airport), until closing down.
    s.currentParkAirport = []() -> std::optional<ParkAirportSpot> {
        const auto airport = gf_currentAirport();
        if (!airport) return std::nullopt;
        return ParkAirportSpot{airport->icao, airport->position};
    };
    s.parkAirportUserStand = &gf_getParkAirportUserStand;
    s.hasAirportFile = &gf_hasAirportFile;
    s.clearPlanRequest = &gf_clearParkingPlanRequest;
    s.planParkedTraffic = &gf_planParkedTraffic;
    s.updateParkedTraffic = &gf_updateParkedTraffic;
    s.adjustParking = &lf_adjustParking;
    s.applyStandOptionCallsigns = &gf_applyStandOptionCallsigns;
    s.clearStaticsToPlace = &gf_clearStaticsToPlace;
    s.resetParkedTraffic = &gf_resetParkedTraffic;
    s.loadAirports = [] { return gf_loadAirports(); };
    s.findAirport = &gf_findAirport;
    s.findNearestAirport = &gf_findNearestAirport;
    s.readMyParkAirportsFile = &gf_readMyParkAirportsFile;
    s.writeMyParkAirportsFile = &gf_writeMyParkAirportsFile;
    s.readDbase = [] { return gf_readDbase(); };
    s.scanLiveries = &gf_scanLiveries;
    s.processScannedLiveries = &gf_processScannedLiveries;
    s.logNoMatchList = &gf_logNoMatchList;
    s.logLiveryMatchingSummary = &gf_logLiveryMatchingSummary;
    s.clearNoMatchList = &gf_clearNoMatchList;
    s.forgetFailedLiveries = &gf_forgetFailedLiveries;
    s.scanAirports = &gf_scanAirports;
    return s;
}

std::shared_ptr<const NeighbourServices> gf_neighbourServices() {
    auto services = l_services.load();
    if (services) return services;
    // The first use installs the real table; a test's table installed
    // meanwhile wins.
    std::shared_ptr<const NeighbourServices> expected;
    auto real = std::make_shared<const NeighbourServices>(gf_realNeighbourServices());
    if (l_services.compare_exchange_strong(expected, real)) return real;
    return expected;
}

void gf_setNeighbourServices(std::optional<NeighbourServices> services) {
    if (!services) {
        l_services.store(std::make_shared<const NeighbourServices>(gf_realNeighbourServices()));
        return;
    }
    bool complete = true;
    lf_forEachMember(*services, [&](bool set) { complete = complete && set; });
    if (!complete) throw std::invalid_argument("neighbour services: a service is missing");
    l_services.store(std::make_shared<const NeighbourServices>(std::move(*services)));
}
