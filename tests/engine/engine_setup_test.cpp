// The engine's set-up and reset: a restart leaves nothing of the old run,
// delivers again after a mailbox stall, keeps the failed-livery registry, and
// a second set-up keeps every capacity.

#include <gmock/gmock.h>

#include <mutex>

#include "airports/current_airport.h"
#include "airports/parking_state.h"
#include "airports/static_placement.h"
#include "engine/decode.h"
#include "engine/engine_setup.h"
#include "engine/mailbox.h"
#include "engine/removal_policies.h"
#include "engine/sim_results.h"
#include "engine/stands.h"
#include "feed/handover.h"
#include "liveries/failed_liveries.h"
#include "services/gui.h"
#include "services/stop.h"
#include "support/stand_table.h"

#include "engine_fixture.h"

using namespace tavo::test;

namespace {

std::atomic<std::int64_t> l_mailboxNs{0};

using EngineSetup = EngineTest;

}  // namespace

TEST_F(EngineSetup, ARestartKeepsNothingOfTheOldRun) {
    setStandTable({StandSpec("A1", {50.0, 8.0})});
    AirportListEntry airport;
    airport.icao = IcaoCode("EDDF");
    airport.position = {50.03, 8.57};
    gf_setCurrentAirport(airport);
    addLive(0x100001, AcSimState::active, 11);
    addStatic(1, AcSimState::active, 12);
    removeQueue.push_back(11);
    liveCreateQueue.push_back(request(0x100002));
    staticCreateQueue.push_back(request(2));
    addingStack.push_back(0x100001);
    newLiveCheckQueue.push_back(0x100001);
    delayedSimCommands.push_back(result(0, 11, 0x100001));
    gf_queueSimCommand(result(2, 11));
    parkedActionSchedule.push_back({0x100001, 5, 0});
    removedGhosts.push_back("KLM1_");
    staticsToPlace.resize(2);
    staticRemovals.push_back({"KLM2", 1});
    stayers.push_back({});
    quarantine[0x100003] = {};
    g_staticsChanged = true;
    liveryByHexid[0x100001] = "KLM B738";
    gf_registerFailedLivery("KLM1", "Broken B738", AcKey{});
    gf_addNoMatch("KLM B738 PH-BXA");
    g_qnh.store(990);
    g_weekTime.store((std::uint64_t{30} << 32) | 5);
    std::mutex mapsMutex;
    HandOverMaps maps;
    maps.restart(true);
    maps.insert({"KLM1", 0x100001});
    gf_setParkedTrafficSource(true, ParkedTrafficSource{{}, nullptr, nullptr, false, &mapsMutex, &maps});
    gf_gui().liveAircraftCount = 7;
    gf_gui().liveParkedCount = 3;
    // The mailbox stalled: live batches for 61 s and the engine took none.
    gf_setMailboxClock([] { return l_mailboxNs.load(); });
    for (std::int64_t s = 0; s <= 61; ++s) {
        l_mailboxNs.store(s * 1'000'000'000);
        std::vector<TrafficRecord> batch(1);
        gf_postTrafficBatch(batch, 30, true);
    }
    gf_setTrafficDelivery(true);
    ASSERT_FALSE(gf_isTrafficDeliveryEnabled());

    gf_resetTrafficEngine();
    gf_initTrafficEngine();
    gf_setParkedTrafficSource(true, ParkedTrafficSource{});
    gf_clearStopMailbox();

    EXPECT_TRUE(g_liveAircraft.empty() && g_staticAircraft.empty());
    EXPECT_TRUE(removeQueue.empty() && liveCreateQueue.empty() && staticCreateQueue.empty());
    EXPECT_TRUE(addingStack.empty() && newLiveCheckQueue.empty() && delayedSimCommands.empty());
    std::vector<SimCommand> queued;
    gf_takeSimCommands(queued);
    EXPECT_TRUE(queued.empty());
    EXPECT_TRUE(parkedActionSchedule.empty() && removedGhosts.empty() && stayers.empty() && quarantine.empty());
    EXPECT_TRUE(staticsToPlace.empty() && staticRemovals.empty());
    EXPECT_FALSE(g_staticsChanged);
    EXPECT_TRUE(g_standTable.empty() && g_standNameIndex.empty());
    g_userOnGround.store(true);
    EXPECT_EQ(gf_standNameAtPosition({50.0, 8.0}), std::nullopt);  // the published snapshot is empty
    EXPECT_FALSE(gf_currentAirport().has_value());
    EXPECT_TRUE(maps.callsigns.empty() && !maps.active);
    EXPECT_EQ(g_qnh.load(), 1013u);
    EXPECT_EQ(gf_weekTimeOf(g_weekTime.load()).weekSlot(), 0u);
    EXPECT_EQ(gf_gui().liveAircraftCount + gf_gui().liveParkedCount, 0u);
    EXPECT_EQ(gf_mailboxCounters().pending, 0u);
    gf_setTrafficDelivery(true);
    EXPECT_TRUE(gf_isTrafficDeliveryEnabled());
    // The registry of failed liveries and the liveries chosen per hexid
    // outlive the run; the no-match set does not.
    EXPECT_TRUE(gf_isLiveryKnownToFail("Broken B738"));
    EXPECT_EQ(gf_failedLiveryCountThisRun(), 0u);
    EXPECT_FALSE(gf_isNoMatch("KLM B738 PH-BXA"));
    EXPECT_EQ(liveryByHexid.size(), 1u);
}

TEST_F(EngineSetup, ASecondSetUpKeepsEveryCapacity) {
    const auto capacities = [] {
        return std::vector<std::size_t>{
            stayers.capacity(),       g_liveAircraft.capacity(),     g_staticAircraft.capacity(),
            g_standTable.capacity(),  gf_reserveSimCommands(0),      gf_reserveSimResults(0),
            delayedSimCommands.capacity(), addingStack.capacity(),   staticsToPlace.capacity(),
            staticRemovals.capacity(), removedGhosts.capacity(),     parkedActionSchedule.capacity()};
    };
    const auto first = capacities();
    const std::vector<std::size_t> reserved{64, 512, 256, 512, 256, 256, 128, 64, 512, 256, 64, 24};
    for (std::size_t i = 0; i < reserved.size(); ++i) EXPECT_GE(first[i], reserved[i]) << i;
    addLive(0x100001);
    gf_initTrafficEngine();
    EXPECT_EQ(capacities(), first);
    EXPECT_TRUE(g_liveAircraft.empty());
}
