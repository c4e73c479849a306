#include "engine/engine_setup.h"

#include "airports/current_airport.h"
#include "airports/loaded_airport.h"
#include "airports/parking_state.h"
#include "airports/stand_searches.h"
#include "airports/static_placement.h"
#include "engine/decode.h"
#include "engine/engine_lists.h"
#include "engine/engine_state.h"
#include "engine/mailbox.h"
#include "engine/removal_policies.h"
#include "engine/reports.h"
#include "engine/sim_commands.h"
#include "engine/shown_places.h"
#include "engine/sim_results.h"
#include "engine/stands.h"
#include "engine/tick.h"
#include "feed/handover.h"
#include "liveries/failed_liveries.h"
#include "services/gui.h"

namespace {

constexpr std::size_t kStayers = 64;
constexpr std::size_t kLiveAircraft = 512;
constexpr std::size_t kStaticAircraft = 256;
constexpr std::size_t kStands = 512;
constexpr std::size_t kSimResults = 256;
constexpr std::size_t kDelayedResults = 128;
constexpr std::size_t kAddingStack = 64;
constexpr std::size_t kStaticsToPlace = 512;
constexpr std::size_t kStaticRemovals = 256;
constexpr std::size_t kRemovedGhosts = 64;
constexpr std::size_t kParkedActions = 24;
constexpr std::uint32_t kStandardQnh = 1013;
// The week clock's start: Monday, slot 0, packed as the planner keeps it.
constexpr std::uint64_t kWeekStart = 1;

void lf_emptyStands() {
    g_standTable.clear();
    g_standNameIndex.clear();
    gf_publishStandSnapshot();
}

}  // namespace

void gf_initTrafficEngine() {
    stayers.clear();
    g_liveAircraft.clear();
    quarantine.clear();
    gf_forgetReportsToMakeAgainFrom();
    toldLowNewcomers.clear();
    g_staticAircraft.clear();
    lf_emptyStands();

    gf_clearSimCommands();
    gf_clearSimResults();
    addingStack.clear();
    gf_clearStaticsToPlace();
    staticRemovals.clear();
    removedGhosts.clear();
    parkedActionSchedule.clear();
    g_staticsChanged = false;

    stayers.reserve(kStayers);
    g_liveAircraft.reserve(kLiveAircraft);
    g_staticAircraft.reserve(kStaticAircraft);
    g_standTable.reserve(kStands);
    gf_reserveSimCommands(kSimResults);
    gf_reserveSimResults(kSimResults);
    delayedSimCommands.reserve(kDelayedResults);
    addingStack.reserve(kAddingStack);
    staticsToPlace.reserve(kStaticsToPlace);
    staticRemovals.reserve(kStaticRemovals);
    removedGhosts.reserve(kRemovedGhosts);
    parkedActionSchedule.reserve(kParkedActions);

    gf_resetTrafficExceptionCount();
}

void gf_resetTrafficEngine() {
    gf_clearCurrentAirport();
    gf_resetHandOverMaps();
    Gui::enqueueUpdate(GuiUpdate::liveAircraftCount(0));
    Gui::enqueueUpdate(GuiUpdate::parkedCounts(0, 0));

    gf_clearSimCommands();
    gf_clearSimResults();
    removedGhosts.clear();
    gf_clearStaticsToPlace();
    gf_resetStaticNumber();
    gf_resetStandSearches();
    gf_startFailedLiveryRun();
    gf_clearNoMatchList();
    addingStack.clear();
    gf_resetEngineTick();

    removeQueue = {};
    liveCreateQueue = {};
    staticCreateQueue = {};
    newLiveCheckQueue = {};
    staticRemovals.clear();
    // The reports not yet played are the feed's, not this run's: the next
    // run plays them, as the buffer would have given them again.
    gf_resetTrafficMailboxForNextRun();

    parkedActionSchedule.clear();
    g_staticsChanged = false;
    Gui::enqueueUpdate(GuiUpdate::repaint(kRepaintParking));

    // The closing down removed every aircraft from the simulator before; no
    // record of this run may reach the next one, only where each was shown
    // on the ground, so that one still reported standing there is shown
    // there again.
    gf_keepShownPlaces();
    g_liveAircraft.clear();
    g_staticAircraft.clear();
    quarantine.clear();
    gf_forgetReportsToMakeAgainFrom();
    toldLowNewcomers.clear();
    stayers.clear();
    gf_resetLiveVsParkedPasses();
    lf_emptyStands();

    g_qnh.store(kStandardQnh);
    gf_clearLoadedAirportTexts();
    g_weekTime.store(kWeekStart);
}
