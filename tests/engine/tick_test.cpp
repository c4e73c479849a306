// The engine tick: paced creation (live before static, statics placed only in
// a free slot), the adding stack, paced removal, holding conflicts, the pose
// history cap and the periodic requests and user checks.

#include <gmock/gmock.h>

#include <cmath>
#include <limits>

#include "airports/static_placement.h"
#include "engine/tick.h"
#include "engine/user_position.h"
#include "foundation/geodesy.h"
#include "simlink/sim_link_internal.h"

#include "engine_fixture.h"

using namespace tavo::test;

namespace {

class Tick : public EngineTest {
protected:
    // The hexids the engine handed the link, one entry per tick that handed any.
    static std::vector<std::pair<std::int32_t, std::vector<std::uint32_t>>> runAndCollectCreates(int ticks) {
        std::vector<std::pair<std::int32_t, std::vector<std::uint32_t>>> out;
        for (int i = 0; i < ticks; ++i) {
            const std::int32_t at = tickCount.load();
            lf_handleAddingStack();
            std::vector<std::uint32_t> hexids;
            for (const auto& c : takeCreates()) hexids.push_back(c.hexid);
            if (!hexids.empty()) out.emplace_back(at, hexids);
        }
        return out;
    }
};

}  // namespace

TEST_F(Tick, LiveCreatesGoFirstAndStaticsArePlacedOnlyInAFreeSlot) {
    for (std::uint32_t h : {0x100001u, 0x100002u, 0x100003u}) liveCreateQueue.push_back(request(h));
    for (std::uint32_t h : {1u, 2u}) staticCreateQueue.push_back(request(h));
    staticsToPlace.resize(3);
    std::vector<std::size_t> placeable;
    std::vector<std::pair<std::int32_t, std::vector<std::uint32_t>>> creates;
    for (int slot = 0; slot < 6; ++slot) {
        const auto got = runAndCollectCreates(20);
        creates.insert(creates.end(), got.begin(), got.end());
        placeable.push_back(staticsToPlace.size());
    }
    using P = std::pair<std::int32_t, std::vector<std::uint32_t>>;
    EXPECT_THAT(creates, ::testing::ElementsAre(P{19, {0x100001}}, P{39, {0x100002}}, P{59, {0x100003}},
                                                P{79, {1}}, P{99, {2}}));
    // A slot with a live create places nothing; each other slot places one,
    // whether or not it sent a static create.
    EXPECT_THAT(placeable, ::testing::ElementsAre(3u, 3u, 3u, 2u, 1u, 0u));
}

TEST_F(Tick, TheAddingStackIsServedLastInFirstOut) {
    addLive(0x200001).simState = AcSimState::adding2sim;
    LiveAc& second = addLive(0x200002);
    second.simState = AcSimState::adding2sim;
    second.pose.heading = pi / 2.0;
    second.pose.pitch = -0.1;
    second.registration = "PH-BXB";
    addLive(0x200003).simState = AcSimState::adding2sim;
    addingStack = {0x200001, 0x200002, 0x200003, 0x2FFFFF};  // the last one is no longer in the list
    for (int i = 0; i < 4; ++i) lf_handleAddingStack();
    ASSERT_EQ(liveCreateQueue.size(), 3u);
    EXPECT_EQ(liveCreateQueue[0].hexid, 0x200003u);
    EXPECT_EQ(liveCreateQueue[1].hexid, 0x200002u);
    EXPECT_EQ(liveCreateQueue[2].hexid, 0x200001u);
    const AiCreateRequest& r = liveCreateQueue[1];
    EXPECT_EQ(r.tailNumber, "PH-BXB");
    EXPECT_EQ(r.title, "KLM B738");
    EXPECT_DOUBLE_EQ(r.position.Heading, 90.0);
    EXPECT_NEAR(r.position.Pitch, -5.729577951308232, 1e-12);
    EXPECT_EQ(r.position.OnGround, 0u);
    EXPECT_EQ(r.position.Airspeed, 0u);
    EXPECT_EQ(newLogLines(), "");
}

TEST_F(Tick, AnAircraftWithoutCallsignIsLoggedOnceAndNotRequested) {
    addLive(0x200004, AcSimState::adding2sim, 0, {}, "");
    addingStack = {0x200004};
    lf_handleAddingStack();
    lf_handleAddingStack();
    EXPECT_TRUE(liveCreateQueue.empty());
    const std::string log = newLogLines();
    EXPECT_EQ(countOf(log, "callsign empty"), 1u) << log;
    EXPECT_THAT(log, ::testing::HasSubstr("==> lf_handleAddingStack          PH-BXA"));
}

TEST_F(Tick, OneRemovalIsSentEveryTenTicksFirstInFirstOut) {
    removeQueue = {501, 502, 503};
    std::vector<std::pair<std::int32_t, std::uint32_t>> sent;
    for (int i = 0; i < 40; ++i) {
        const std::int32_t at = tickCount.load();
        lf_handleAddingStack();
        for (const auto id : takeRemovals()) sent.emplace_back(at, id);
    }
    using P = std::pair<std::int32_t, std::uint32_t>;
    EXPECT_THAT(sent, ::testing::ElementsAre(P{9, 501}, P{19, 502}, P{29, 503}));
}

TEST_F(Tick, AHoldingAircraftGivesWayOnlyToOneMovingOnTheGround) {
    struct Row {
        const char* name;
        AcPhase otherPhase;
        AcSimState otherState;
        bool otherOnGround;
        double metresApart;
        bool sameObjectId;
        bool removed;
    };
    const Row rows[] = {
        {"taxiing, overlapping", AcPhase::taxi, AcSimState::active, true, 20, false, true},
        {"rolling out, overlapping", AcPhase::landing_roll, AcSimState::active, true, 20, false, true},
        {"parked, overlapping", AcPhase::parked, AcSimState::active, true, 20, false, false},
        {"landing", AcPhase::landing, AcSimState::active, false, 20, false, false},
        {"taxiing, apart", AcPhase::taxi, AcSimState::active, true, 200, false, false},
        {"the same object", AcPhase::taxi, AcSimState::active, true, 20, true, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        removeQueue.clear();
        const LaLo at{50.0, 8.0};
        const LaLo other = gf_destinationPoint(at, {0.0, row.metresApart * feetPerMetre});
        LiveAc& a = addLive(0x300001, AcSimState::active, 600, {point(at.lat, at.lon)});
        a.phase = AcPhase::taxi;
        a.motion.holding = 1;
        a.motion.holdingStartTick = 77;
        a.extrapolationCount = 3;
        a.collisionRadiusNm = 0.02;
        LiveAc& b = addLive(0x300002, row.otherState, row.sameObjectId ? 600 : 601, {point(other.lat, other.lon)});
        b.phase = row.otherPhase;
        b.onGround = row.otherOnGround ? 1 : 0;
        b.collisionRadiusNm = 0.02;
        lf_checkHoldingConflicts();
        const LiveAc& held = g_liveAircraft[0];
        EXPECT_EQ(held.simState == AcSimState::removingfromsim, row.removed);
        EXPECT_EQ(removeQueue.size(), row.removed ? 1u : 0u);
        if (row.removed) {
            EXPECT_EQ(held.motion.holding, 0);
            EXPECT_EQ(held.motion.holdingStartTick, 0);
            EXPECT_EQ(held.extrapolationCount, 0);
            EXPECT_EQ(held.motion.advanceLimit, 2700);
            EXPECT_EQ(held.motion.delayLimit, 2700);
        }
    }
}

TEST_F(Tick, OfTwoHoldingAircraftInEachOthersWayOneGoes) {
    for (std::uint32_t i = 0; i < 2; ++i) {
        LiveAc& ac = addLive(0x300011 + i, AcSimState::active, 610 + i, {point(50.0 + 0.0001 * i, 8.0)});
        ac.motion.holding = 1;
        ac.collisionRadiusNm = 0.02;
    }
    lf_checkHoldingConflicts();
    EXPECT_EQ(g_liveAircraft[0].simState, AcSimState::removingfromsim);
    EXPECT_EQ(g_liveAircraft[1].simState, AcSimState::active);
    EXPECT_EQ(removeQueue.size(), 1u);
}

TEST_F(Tick, EveryAircraftIsUpdatedInATickInWhichOneAsksToGo) {
    // Two waiting to spawn whose streams ran empty: both leave in one tick.
    for (std::uint32_t h : {0x300021u, 0x300022u}) addLive(h, AcSimState::buffer).stream.clear();
    lf_handleAddingStack();
    EXPECT_TRUE(g_liveAircraft.empty());
}

TEST_F(Tick, HoldingConflictsAreCheckedEveryTwentyTicks) {
    LiveAc& a = addLive(0x300001, AcSimState::active, 600, {point(50.0, 8.0)});
    a.phase = AcPhase::takeoff_roll;
    a.motion.holding = 1;
    a.collisionRadiusNm = 0.02;
    a.stream.front().stationary = 1;
    a.stream.front().playTick = 1'000'000;  // no leg ends meanwhile
    LiveAc& b = addLive(0x300002, AcSimState::active, 601, {point(50.0001, 8.0)});
    b.collisionRadiusNm = 0.02;
    b.stream.front().stationary = 1;
    b.stream.front().playTick = 1'000'000;
    for (int i = 0; i < 19; ++i) lf_handleAddingStack();
    EXPECT_EQ(g_liveAircraft[0].simState, AcSimState::active);
    lf_handleAddingStack();
    EXPECT_EQ(g_liveAircraft[0].simState, AcSimState::removingfromsim);
    EXPECT_EQ(g_liveAircraft[0].motion.delayLimit, 4500);
}

TEST_F(Tick, APoseHistoryKeepsItsNewestSixteenSamples) {
    LiveAc& ac = addLive(0x300003, AcSimState::active, 700);
    ac.stream.front().playTick = 1'000'000;  // no leg ends meanwhile
    std::vector<std::int64_t> stamps;
    for (int i = 0; i < 17; ++i) {
        stamps.push_back(EngineHarness::nowNs());
        harness->tick();
    }
    gf_sendAiPositions();
    const auto& batch = gf_simLink().poseFrontBatch;
    ASSERT_TRUE(batch.contains(700u));
    const auto& samples = batch.at(700u);
    ASSERT_EQ(samples.size(), 16u);
    EXPECT_EQ(samples.front().timeNs, stamps[1]);
    EXPECT_EQ(samples.back().timeNs, stamps[16]);
}

TEST_F(Tick, EveryTwentyTicksTheUserIsAskedForPublishedAndChecked) {
    struct Row {
        const char* name;
        bool rtApp;
        bool onGround;
        double aboveGroundFt;
        bool collisionSwitch;
        int groundChecks;  // over 40 ticks
        int positionLines;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Row rows[] = {
        {"on the ground, RT App", true, true, 0.0, true, 2, 2},
        {"height unknown counts as low", true, true, nan, true, 2, 2},
        {"above 500 ft", true, true, 500.5, true, 0, 2},
        {"at 500 ft, still low", true, true, 500.0, true, 2, 2},
        {"switch off", true, true, 0.0, false, 0, 2},
        {"RT Direct", false, true, 0.0, true, 2, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EngineHarness::Options o;
        o.rtApp = row.rtApp;
        harness.reset();
        harness = std::make_unique<EngineHarness>(o);
        harness->settings([&](SettingsSnapshot& s) { s.COLLISION_USER_GND = row.collisionSwitch ? 1 : 0; });
        int groundChecks = 0;
        int positionLines = 0;
        EngineCalls calls;
        calls.checkUserAcGndCollisions = [&] { ++groundChecks; };
        calls.sendUserPosition = [&] { ++positionLines; };
        gf_setEngineCalls(calls);
        UserAircraftState user;
        user.latitude = 51.5;
        user.longitude = -0.4;
        user.altitudeAboveGround = row.aboveGroundFt;
        EngineHarness::setUserState(user, row.onGround);
        std::vector<std::pair<std::int32_t, std::uint32_t>> requests;
        for (int i = 0; i < 40; ++i) {
            const std::int32_t at = tickCount.load();
            if (at == 19) {
                EXPECT_EQ(gf_userPosition().latitude, 0.0);
            }
            lf_handleAddingStack();
            for (const auto& r : takeRequests()) requests.emplace_back(at, r.kind);
        }
        using P = std::pair<std::int32_t, std::uint32_t>;
        EXPECT_THAT(requests, ::testing::ElementsAre(P{19, 0}, P{19, 3}, P{39, 0}, P{39, 3}));
        EXPECT_EQ(gf_userPosition().latitude, 51.5);
        EXPECT_EQ(groundChecks, row.groundChecks);
        EXPECT_EQ(positionLines, row.positionLines);
    }
}
