// The per-aircraft update and the life-cycle steps it leans on: what pose
// reaches the simulator, the lines of an aircraft without stream or object,
// an aircraft whose update throws, the lights and controls at activation, and
// the flight plan of a created object.

#include <gmock/gmock.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <stdexcept>

#include "engine/life_cycle.h"
#include "engine/tick.h"
#include "engine/update.h"
#include "foundation/geodesy.h"
#include "simlink/sim_link_internal.h"

#include "engine_fixture.h"

using namespace tavo::test;
using ::testing::HasSubstr;

namespace {

class Update : public EngineTest {
protected:
    // An active aircraft standing at its point: the update changes no pose.
    static LiveAc& standing(std::uint32_t hexid, std::uint32_t objectId) {
        LiveAc& ac = addLive(hexid, AcSimState::active, objectId, {point(50.0, 8.0, 5000.0, true, 1'000'000)});
        ac.stream.front().stationary = 1;
        return ac;
    }
    // The poses the link took from the engine's publication, by object id.
    static std::unordered_map<std::uint32_t, std::vector<AiPositionSample>> published() {
        gf_publishStagedAiPoses(EngineHarness::nowNs());
        gf_sendAiPositions();
        return gf_simLink().poseFrontBatch;
    }
};

}  // namespace

TEST_F(Update, OnlyAFinitePoseIsSentWithItsAnglesInRange) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    LiveAc& a = standing(0x600001, 10);
    a.pose.heading = fullCircle;
    a.pose.pitch = -2.0;
    a.pose.bank = 1.8;
    LiveAc& b = standing(0x600002, 11);
    b.pose.altitude = nan;
    for (auto& ac : g_liveAircraft) EXPECT_FALSE(updateLiveAc(ac));
    const auto sent = published();
    EXPECT_FALSE(sent.contains(11u));
    ASSERT_TRUE(sent.contains(10u));
    const AiPose& p = sent.at(10u).back().pose;
    EXPECT_EQ(p.heading, 0.0);
    EXPECT_EQ(p.pitch, -pi / 2.0);
    EXPECT_EQ(p.bank, pi / 2.0);
    EXPECT_EQ(p.altitude, 5000.0);
}

TEST_F(Update, AnAircraftHoldingAtItsPointIsSentStandingStill) {
    // It reached a point and the next one holds it where it is (a
    // helicopter hovering, an aircraft waiting): no leg was planned, so
    // nothing gave the leg a climb or a speed.
    for (const bool airborne : {true, false}) {
        SCOPED_TRACE(airborne ? "in the air" : "on the ground");
        g_liveAircraft.clear();
        const double altitude = airborne ? 1500.0 : 400.0;
        LiveAc& ac = addLive(0x600007, AcSimState::active, 15,
                             {point(50.0, 8.0, altitude, airborne, 0), point(50.0, 8.0, altitude, airborne, 300)});
        ac.stream[1].stationary = 1;
        ac.pose.verticalSpeed = 0.0;
        EXPECT_FALSE(updateLiveAc(ac));
        const auto sent = published();
        ASSERT_TRUE(sent.contains(15u)) << "a standing aircraft's pose reaches the simulator";
        EXPECT_EQ(sent.at(15u).back().pose.verticalSpeed, 0.0);
        if (!airborne) EXPECT_EQ(sent.at(15u).back().pose.trueAirspeed, 0.0);
    }
}

TEST_F(Update, AnActiveAircraftWithoutStreamOrObjectIsLoggedAndRemoved) {
    LiveAc& dry = standing(0x600003, 12);
    dry.stream.clear();
    dry.pose.trueAirspeed = 251.4;
    standing(0x600004, 0);
    EXPECT_FALSE(updateLiveAc(g_liveAircraft[0]));
    EXPECT_TRUE(updateLiveAc(g_liveAircraft[1]));
    EXPECT_EQ(g_liveAircraft[0].simState, AcSimState::removingfromsim);
    EXPECT_THAT(removeQueue, ::testing::ElementsAre(12u));
    const std::string log = newLogLines();
    EXPECT_THAT(log, HasSubstr("==> updateLiveAc stream empty ? KLM1234  PH-BXA"));
    EXPECT_THAT(log, HasSubstr(", hexid:600003, objectid:12, alt:5000 ft, lalo:50.000000,8.000000, TAS:251\n"));
    EXPECT_THAT(log, HasSubstr("==> updateLiveAc objectid=0? hexid: 600004,cs:KLM1234, reg:PH-BXA, aimo:"));
    EXPECT_THAT(log, HasSubstr(" sz:1\n"));
}

TEST_F(Update, AnAircraftWhoseUpdateThrowsIsLoggedOnceAndRemoved) {
    LiveAc& ac = addLive(0x600005, AcSimState::active, 13);
    int calls = 0;
    EngineCalls fake;
    fake.nextPosMain = [&calls](LiveAc&) {
        ++calls;
        throw std::runtime_error("no next position");
    };
    gf_setEngineCalls(fake);
    for (int i = 0; i < 5; ++i) lf_handleAddingStack();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(countOf(newLogLines(), "==> updateLiveAc: no next position KLM1234  PH-BXA"), 1u);
    ASSERT_EQ(g_liveAircraft.size(), 1u);
    EXPECT_EQ(ac.simState, AcSimState::removingfromsim);
}

TEST_F(Update, ActivationSetsEnginesLightsAndControlsByWhereTheAircraftIs) {
    using L = std::array<std::uint32_t, 7>;  // nav, beacon, landing, taxi, strobes, logo, cabin
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Row {
        const char* name;
        bool airborne;
        AcPhase phase;
        double altitudeFt, aboveGroundFt;
        std::uint32_t engines;
        L lights;
    };
    const Row rows[] = {
        {"climbing out", true, AcPhase::flying, 3000, 1500, ENGINE_AUTO_START, L{1, 1, 1, 0, 1, 1, 0}},
        {"height unknown", true, AcPhase::flying, nan, nan, ENGINE_AUTO_START, L{1, 1, 1, 0, 1, 1, 1}},
        {"parked", false, AcPhase::parked, 300, 0, ENGINE_AUTO_SHUTDOWN, L{1, 0, 0, 0, 0, 1, 1}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        LiveAc& ac = addLive(0x600006, AcSimState::adding2sim, 14, {point(50.0, 8.0, row.altitudeFt, row.airborne)});
        ac.phase = row.phase;
        ac.pose.altitude = row.altitudeFt;
        ac.motion.heightAboveGroundFt = row.aboveGroundFt;
        tickCount.store(4321);
        activateLiveAc(ac);
        EXPECT_EQ(ac.simState, AcSimState::active);
        EXPECT_EQ(ac.airborneAtActivation, row.airborne ? 1 : 0);
        EXPECT_EQ(ac.activationTick, 4321);
        std::vector<std::uint32_t> ids;
        L lights{};
        std::size_t light = 0;
        for (const auto& e : takeEvents()) {
            ids.push_back(e.eventId);
            if (e.eventId >= BEACON_LIGHTS_SET && e.eventId <= LOGO_LIGHTS_SET && light < 7) lights[light++] = e.data;
        }
        EXPECT_EQ(lights, row.lights);
        EXPECT_THAT(ids, ::testing::Contains(row.engines));
        EXPECT_THAT(ids, ::testing::Contains(static_cast<std::uint32_t>(SPOILERS_SET)));
        EXPECT_EQ(std::count(ids.begin(), ids.end(), static_cast<std::uint32_t>(THROTTLE_SET)), row.airborne ? 0 : 1);
        if (!row.airborne) {
            EXPECT_EQ(ac.throttleStep, 0u);
            EXPECT_EQ(ac.flapsIndex, row.phase == AcPhase::taxi ? 1u : 0u);
        }
    }
}

TEST_F(Update, AFlightPlanIsWrittenByObjectIdWithTheOlderSimulatorOnly) {
    for (const SimVersion version : {SimVersion::MSFS2020, SimVersion::MSFS2024}) {
        SCOPED_TRACE(version == SimVersion::MSFS2020 ? "2020" : "2024");
        EngineHarness::Options o;
        o.simulator = version;
        harness.reset();
        harness = std::make_unique<EngineHarness>(o);
        LiveAc& ac = addLive(0x600007, AcSimState::adding2sim);
        ac.origin = IataCode("AMS");
        ac.destination = IataCode("JFK");
        SimCommand created = result(SIM_RESULT_LIVE_ASSIGNED, 215, 0x600007);
        ASSERT_TRUE(onLiveObjectCreated(ac, created, false));
        const auto plan = std::filesystem::current_path() / "orig_dest" / "215.pln";
        std::vector<SimFlightPlanCommand> queued;
        {
            std::lock_guard lock(g_simCommandBuffers.mutex);
            queued = std::exchange(g_simCommandBuffers.flightPlans, {});
        }
        if (version == SimVersion::MSFS2020) {
            EXPECT_TRUE(std::filesystem::exists(plan));
            ASSERT_EQ(queued.size(), 1u);
            EXPECT_EQ(queued[0].objectId, 215u);
            EXPECT_EQ(std::filesystem::path(queued[0].path), plan);
            EXPECT_EQ(ac.hasFlightPlan, 1);
        } else {
            EXPECT_FALSE(std::filesystem::exists(plan));
            EXPECT_TRUE(queued.empty());
            EXPECT_EQ(ac.hasFlightPlan, 0);
        }
        // The record goes: so does its plan.
        gf_eraseLiveAc(0);
        EXPECT_FALSE(std::filesystem::exists(plan));
    }
}
