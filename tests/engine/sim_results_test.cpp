// The simulator's results applied by the engine: created objects held back
// until activation, failed and lost creates, removals, initial poses, static
// aircraft finished at their stand, and the lines of results that came too
// late.

#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/life_cycle.h"
#include "engine/removal.h"
#include "engine/sim_results.h"
#include "engine/tick.h"
#include "foundation/geodesy.h"
#include "liveries/failed_liveries.h"
#include "support/stand_table.h"

#include "engine_fixture.h"

using namespace tavo::test;
using ::testing::HasSubstr;

namespace {

class SimResults : public EngineTest {
protected:
    static void apply(const SimCommand& c) {
        gf_queueSimCommand(c);
        gf_processSimCommands();
    }
    static SimCommand pose(std::uint32_t objectId, double lat, double lon, double heading, double pitch = 0.0) {
        SimCommand c = result(SIM_RESULT_INITIAL_POSE, objectId);
        c.payload = {0, 0, lat, lon, pitch, 0.01, heading, 1234.0, 0.0, 0.0};
        return c;
    }
};

}  // namespace

TEST_F(SimResults, AnAircraftCreatedInTheAirIsActiveAtOnceAndStillBlinksOnTheWaitsSchedule) {
    // Frozen where it was created until the wait ended, it hung still in the
    // sky for 2 s and then raced after its reports.
    LiveAc& ac = addLive(0x400011, AcSimState::adding2sim);
    ASSERT_EQ(ac.onGround, 0u);
    apply(result(SIM_RESULT_LIVE_ASSIGNED, 121, 0x400011));
    EXPECT_EQ(ac.simState, AcSimState::active);
    EXPECT_EQ(ac.objectId, 121u);
    EXPECT_EQ(ac.airborneAtActivation, 1u);
    const std::int32_t activatedAt = ac.activationTick;
    const auto activation = takeEvents();
    EXPECT_TRUE(std::any_of(activation.begin(), activation.end(),
                            [](const SimClientEventCommand& e) { return e.eventId == ENGINE_AUTO_START; }));
    // Its lights blink at the wait's 50th and 100th tick as any other's; the
    // end of the wait activates it no second time, even once it is being
    // removed.
    std::vector<int> blinks;
    std::size_t engineStarts = 0;
    for (int t = 2; t <= 260; ++t) {
        if (t == 150) removeAircraftFromSim(ac);
        gf_processSimCommands();
        for (const SimClientEventCommand& e : takeEvents()) {
            if (e.eventId == ALL_LIGHTS_TOGGLE) blinks.push_back(t);
            if (e.eventId == ENGINE_AUTO_START) ++engineStarts;
        }
    }
    EXPECT_THAT(blinks, ::testing::ElementsAre(50, 100));
    EXPECT_EQ(engineStarts, 0u);
    EXPECT_TRUE(delayedSimCommands.empty());
    EXPECT_NE(ac.simState, AcSimState::active);
    EXPECT_EQ(ac.activationTick, activatedAt);

    // One whose removal was asked for before its object came waits as before.
    LiveAc& gone = addLive(0x400012, AcSimState::adding2sim);
    gone.removeWhenCreated = 1;
    apply(result(SIM_RESULT_LIVE_ASSIGNED, 122, 0x400012));
    EXPECT_EQ(gone.simState, AcSimState::adding2sim);
}

TEST_F(SimResults, ALiveCreateResultWaitsForActivationUnlessItsIdIsNotAnObject) {
    // Taxiing: an aircraft created on the ground waits.
    LiveAc& ac = addLive(0x400001, AcSimState::adding2sim, 0,
                         {point(50.0, 8.0), point(50.0, 8.0001, 0.0, false, 100)});
    ac.phase = AcPhase::taxi;
    apply(result(SIM_RESULT_LIVE_ASSIGNED, 2, 0x400001));
    EXPECT_TRUE(delayedSimCommands.empty());
    EXPECT_EQ(ac.objectId, 0u);
    EXPECT_EQ(ac.simState, AcSimState::adding2sim);
    EXPECT_TRUE(takeRequests().empty());

    apply(result(SIM_RESULT_LIVE_ASSIGNED, 120, 0x400001));
    ASSERT_EQ(delayedSimCommands.size(), 1u);
    EXPECT_EQ(delayedSimCommands[0].tick, 1);  // aged in the tick that took it
    EXPECT_EQ(ac.objectId, 120u);
    // An aircraft not parked asks for its CG only.
    const auto requests = takeRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].kind, SIM_REQUEST_AI_STATIC_CG);
    EXPECT_EQ(requests[0].objectId, 120u);

    // It blinks its lights at its 50th and 100th tick exactly and is
    // activated at its 201st (counting the tick that took the result).
    std::vector<int> blinks;
    int activated = 0;
    for (int t = 2; t <= 260 && activated == 0; ++t) {
        gf_processSimCommands();
        for (const SimClientEventCommand& e : takeEvents())
            if (e.eventId == ALL_LIGHTS_TOGGLE) blinks.push_back(t);
        if (ac.simState == AcSimState::active) activated = t;
    }
    EXPECT_THAT(blinks, ::testing::ElementsAre(50, 100));
    EXPECT_EQ(activated, 201);
}

TEST_F(SimResults, AParkedLiveAircraftWithoutItsPoseAndCgIsActivatedAtItsFiveHundredthTick) {
    // A live aircraft created parked at a stand waits past its activation
    // for the simulator's pose, CG and ground elevation; when they never
    // come it is activated with its own placement at its 501st tick
    // (counting the tick that took the result), not one later.
    LiveAc& ac = addLive(0x400011, AcSimState::adding2sim);
    ac.phase = AcPhase::parked;
    apply(result(SIM_RESULT_LIVE_ASSIGNED, 121, 0x400011));
    ASSERT_EQ(delayedSimCommands.size(), 1u);
    int activated = 0;
    for (int t = 2; t <= 600 && activated == 0; ++t) {
        gf_processSimCommands();
        if (ac.simState == AcSimState::active) activated = t;
    }
    EXPECT_EQ(activated, 501);
    EXPECT_THAT(newLogLines(), HasSubstr("initial simulator pose/CG unavailable; using fallback position"));
}

TEST_F(SimResults, ACreateFailureBlamesTheLiveryOfALiveOrStaticAircraft) {
    struct Row {
        std::uint32_t hexid;
        bool isStatic;
    };
    for (const Row row : {Row{10000, true}, Row{10001, false}}) {
        SCOPED_TRACE(row.hexid);
        gf_forgetFailedLiveries();
        g_liveAircraft.clear();
        g_staticAircraft.clear();
        addLive(10001, AcSimState::adding2sim).liveryTitle = "Live Title";
        addStatic(10000, AcSimState::adding2sim).liveryTitle = "Static Title";
        addingStack = {row.hexid};
        SimCommand failed = result(SIM_RESULT_CREATE_FAILED, 0, row.hexid);
        failed.payload[0] = 10007;
        apply(failed);
        EXPECT_EQ(g_staticAircraft.size(), row.isStatic ? 0u : 1u);
        EXPECT_EQ(g_liveAircraft.size(), row.isStatic ? 1u : 0u);
        EXPECT_TRUE(gf_isLiveryKnownToFail(row.isStatic ? "Static Title" : "Live Title"));
        EXPECT_EQ(gf_failedLiveryCount(), 1u);
        EXPECT_TRUE(addingStack.empty());
    }
}

TEST_F(SimResults, ACreateFailureOfAnUnknownLiveAircraftChangesNothing) {
    addLive(0x400003, AcSimState::adding2sim);
    // Exactly as large as it is full, so that a read past the last record is
    // caught by the address sanitizer.
    g_liveAircraft.shrink_to_fit();
    apply(result(SIM_RESULT_CREATE_FAILED, 0, 0x4000FF));
    ASSERT_EQ(g_liveAircraft.size(), 1u);
    EXPECT_EQ(g_liveAircraft[0].hexid, 0x400003u);
    EXPECT_EQ(g_liveAircraft[0].simState, AcSimState::adding2sim);
    EXPECT_EQ(gf_failedLiveryCount(), 0u);
    EXPECT_EQ(newLogLines(), "");
}

TEST_F(SimResults, AnInitialPoseIsTakenOnlyWhenUsableWithItsHeadingInOneTurn) {
    struct Row {
        const char* name;
        double lat, lon, heading, pitch;
        bool taken;
        double storedHeading;
    };
    const Row rows[] = {
        {"negative heading", 50.0, 8.0, -0.5, 0.0, true, fullCircle - 0.5},
        {"a full turn", 50.0, 8.0, fullCircle, 0.0, true, 0.0},
        {"no position", 0.0, 0.0, 1.0, 0.0, false, 0.0},
        {"pitch not a number", 50.0, 8.0, 1.0, std::numeric_limits<double>::quiet_NaN(), false, 0.0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        g_staticAircraft.clear();
        LiveAc& live = addLive(0x400004, AcSimState::adding2sim, 130);
        AcBase& parked = addStatic(7, AcSimState::adding2sim, 131);
        apply(pose(130, row.lat, row.lon, row.heading, row.pitch));
        apply(pose(131, row.lat, row.lon, row.heading, row.pitch));
        EXPECT_EQ(live.hasSimPose, row.taken ? 1 : 0);
        EXPECT_EQ(parked.hasSimPose, row.taken ? 1 : 0);
        if (row.taken) {
            EXPECT_NEAR(live.simPose.heading, row.storedHeading, 1e-12);
            EXPECT_EQ(live.simPose.altitude, 1234.0);
            EXPECT_NEAR(parked.simPose.heading, row.storedHeading, 1e-12);
        }
    }
}

TEST_F(SimResults, RemovalsEndTheRecordOrRestartALiveryRespawn) {
    LiveAc& respawn = addLive(0x400006, AcSimState::liveryrespawn, 140);
    respawn.throttleStep = 2;
    respawn.flapsIndex = 1;
    addLive(0x400007, AcSimState::removingfromsim, 141);
    addLive(0x400008, AcSimState::buffer, 0);  // no object: a removal of id 0 must not find it
    addStatic(8, AcSimState::active, 142);
    delayedSimCommands.push_back(result(SIM_RESULT_STATIC_ASSIGNED, 142, 8));
    for (std::uint32_t id : {140u, 141u, 142u, 0u}) gf_queueSimCommand(result(SIM_RESULT_REMOVED, id));
    gf_processSimCommands();
    ASSERT_EQ(g_liveAircraft.size(), 2u);
    const LiveAc& again = g_liveAircraft[0];
    EXPECT_EQ(again.hexid, 0x400006u);
    EXPECT_EQ(again.simState, AcSimState::buffer);
    EXPECT_EQ(again.objectId, 0u);
    EXPECT_EQ(again.throttleStep, 5u);
    EXPECT_EQ(again.flapsIndex, 4u);
    EXPECT_EQ(g_liveAircraft[1].hexid, 0x400008u);
    EXPECT_TRUE(g_staticAircraft.empty());
    EXPECT_TRUE(delayedSimCommands.empty());
}

TEST_F(SimResults, LateResultsOfGoneAircraftAreLoggedWhenTheyExpire) {
    delayedSimCommands.push_back(result(SIM_RESULT_LIVE_ASSIGNED, 150, 0xABCDEF));
    delayedSimCommands.push_back(result(SIM_RESULT_STATIC_ASSIGNED, 151, 42));
    delayedSimCommands.push_back(result(SIM_RESULT_GROUND_DATA, 152, 0x123));
    for (auto& c : delayedSimCommands) c.tick = 200;
    gf_processSimCommands();
    EXPECT_TRUE(delayedSimCommands.empty());
    const std::string log = newLogLines();
    EXPECT_THAT(log, HasSubstr("==> Delayed live command expired: hexid:abcdef, objectid:150 no longer exists\n"));
    EXPECT_THAT(log, HasSubstr("==> Delayed static command expired: hexid:2a, objectid:151 no longer exists\n"));
    EXPECT_THAT(log, HasSubstr("==> Unexpected delayed SimCommand 3 for hexid:123\n"));
}

TEST_F(SimResults, AStaticIsParkedOnceItsPoseAndCgArrivedOrAtFiveHundredTicks) {
    setStandTable({{"GATE A1", {50.0, 8.0}}});
    for (const bool dataArrives : {true, false}) {
        SCOPED_TRACE(dataArrives);
        g_staticAircraft.clear();
        g_parkedStaticsCount.store(3);
        AcBase& s = addStatic(9, AcSimState::adding2sim);
        s.standId = 1;
        apply(result(SIM_RESULT_STATIC_ASSIGNED, 160, 9));
        int calls = 1;
        EXPECT_EQ(s.objectId, 160u);
        auto requests = takeRequests();
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_EQ(requests[0].kind, SIM_REQUEST_AI_INITIAL_POSE);
        EXPECT_EQ(requests[1].kind, SIM_REQUEST_AI_STATIC_CG);
        if (dataArrives) {
            SimCommand cg = result(SIM_RESULT_STATIC_CG, 160);
            cg.payload[0] = 6.5;
            cg.payload[1] = 0.01;
            apply(cg);
            apply(pose(160, 50.0, 8.0, 1.0));
            calls += 2;
            EXPECT_EQ(s.groundOffsetFt, 6.5);
        }
        int finishedAt = -1;
        while (++calls <= 520 && finishedAt < 0) {
            gf_processSimCommands();
            if (s.simState == AcSimState::active) finishedAt = calls;
        }
        EXPECT_EQ(finishedAt, dataArrives ? 201 : 501);
        EXPECT_EQ(g_parkedStaticsCount.load(), 4u);
        requests = takeRequests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].kind, SIM_REQUEST_AI_INITIAL_POSE);
        const auto events = takeEvents();
        ASSERT_FALSE(events.empty());
        EXPECT_THAT(events, ::testing::Contains(::testing::Field(&SimClientEventCommand::eventId,
                                                                 static_cast<std::uint32_t>(ENGINE_AUTO_SHUTDOWN))));
        const std::string log = newLogLines();
        EXPECT_THAT(log, HasSubstr("GATE A1       : STA9     parked\n"));
        EXPECT_EQ(countOf(log, "static simulator pose/CG unavailable; using simulator placement"),
                  dataArrives ? 0u : 1u);
    }
}

TEST_F(SimResults, ALostCreateSendsALiveAircraftBackToSpawnAndDropsAStatic) {
    LiveAc& again = addLive(0x40000A, AcSimState::adding2sim);
    again.throttleStep = 0;
    again.flapsIndex = 1;
    addLive(0x40000B, AcSimState::adding2sim).removeWhenCreated = 1;
    addStatic(11, AcSimState::adding2sim);
    for (std::uint32_t hexid : {0x40000Au, 0x40000Bu, 11u, 0x4000FFu})
        gf_queueSimCommand(result(SIM_RESULT_CREATE_LOST, 0, hexid));
    gf_processSimCommands();
    ASSERT_EQ(g_liveAircraft.size(), 2u);
    EXPECT_EQ(g_liveAircraft[0].simState, AcSimState::buffer);
    EXPECT_EQ(g_liveAircraft[0].throttleStep, 5u);
    EXPECT_EQ(g_liveAircraft[0].flapsIndex, 4u);
    EXPECT_EQ(g_liveAircraft[0].removeRecord, 0);
    EXPECT_EQ(g_liveAircraft[1].removeRecord, 1) << "it was to go anyway";
    EXPECT_TRUE(g_staticAircraft.empty());
    EXPECT_EQ(gf_failedLiveryCount(), 0u);
}

TEST_F(SimResults, GroundDataTouchDownAnAircraftThatIsNotRotating) {
    // On the ground by the simulator: a landing aircraft touches down, unless
    // it counts down a rotation (2 or more), whatever its phase says.
    for (const auto& [countdown, touches] : {std::pair{1, true}, {2, false}}) {
        LiveAc& ac = addLive(0x400070 + countdown, AcSimState::active, 170 + countdown);
        ac.phase = AcPhase::landing;
        ac.motion.takeoffCountdown = countdown;
        SimCommand c = result(SIM_RESULT_GROUND_DATA, ac.objectId, 1);
        c.payload = {300.0, 2.0};
        apply(c);
        EXPECT_EQ(ac.onGround != 0, touches) << countdown;
        EXPECT_EQ(ac.phase == AcPhase::landing_roll, touches) << countdown;
    }
}
