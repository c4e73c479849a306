// Livery respawns: the point the aircraft comes back at, the removal of its
// old object, and the whole round through the simulator model: removed, back
// in buffer, created again where it was, with a new livery after a reset,
// with its livery, phase and a new flight plan otherwise.

#include <gmock/gmock.h>

#include <filesystem>
#include <functional>

#include "engine/livery_respawn.h"
#include "engine/removal.h"
#include "foundation/geodesy.h"

#include "engine_fixture.h"

using namespace tavo::test;
using ::testing::HasSubstr;

namespace {

class Respawn : public EngineTest {};

TEST_F(Respawn, TheAircraftComesBackWhereItIsNow) {
    struct Row {
        AcPhase phase;
        bool poseOnFront, reset;
    };
    for (const Row row : {Row{AcPhase::flying, false, false}, Row{AcPhase::taxi, true, false},
                          Row{AcPhase::parked, true, false}, Row{AcPhase::flying, false, true}}) {
        SCOPED_TRACE(fmt::format("{} {}", gf_acPhaseName(row.phase), row.reset));
        g_liveAircraft.clear();
        removeQueue.clear();
        LiveAc& ac = addLive(0x510001, AcSimState::active, 300,
                             {point(50.0, 8.0, 0, false, 10), point(50.0, 8.01, 0, false, 500), point(50.0, 8.02)});
        ac.phase = row.phase;
        ac.pose = {50.0, row.poseOnFront ? 8.0 : 8.004, -0.05, 0.2, 1.5, 120.0, 0.0, 25.0};
        liveryRespawn(ac, row.reset);
        EXPECT_EQ(ac.simState, AcSimState::liveryrespawn);
        EXPECT_EQ(ac.motion.forcedHeading, 1.5);
        EXPECT_EQ(ac.motion.hasForcedHeading, 1);
        EXPECT_EQ(ac.liveryTitle.empty(), row.reset);
        const StreamPoint& p = ac.stream[0];
        const StreamPoint& old = ac.stream[1];
        EXPECT_EQ(p.playTick, tickCount.load() + 1);
        EXPECT_EQ(old.playTick, 10);
        if (row.phase == AcPhase::parked) {
            // Cut to its front point, standing, facing as it faces now.
            ASSERT_EQ(ac.stream.size(), 2u);
            for (const StreamPoint* q : {&p, &old})
                EXPECT_EQ(fmt::format("{} {} {} {} {:.4f}", q->lon, q->stationary, q->groundSpeedKt, q->tasKt,
                                      q->trackDeg),
                          fmt::format("8 1 0 0 {:.4f}", 1.5 * radiansToDegrees));
        } else {
            ASSERT_EQ(ac.stream.size(), 4u);
            EXPECT_EQ(fmt::format("{} {} {} {} {}", p.lat, p.lon, p.altitudeFt, p.hasRoll, p.roll),
                      fmt::format("{} {} 120 1 0.2", ac.pose.latitude, ac.pose.longitude));
            EXPECT_EQ(old.lon, 8.0);
            EXPECT_EQ(old.stationary, row.poseOnFront ? 1 : 0);
        }
        // A removal policy hitting it meanwhile removes the object only once.
        removeAircraftFromSim(ac);
        EXPECT_EQ(removeQueue, std::deque<std::uint32_t>{300});
    }
}

TEST_F(Respawn, WithoutObjectOrStreamNothingWaitsForAResult) {
    LiveAc& none = addLive(0x510002, AcSimState::active, 0);
    liveryRespawn(none);
    // Its record goes at the next compaction; its next report brings it back.
    EXPECT_EQ(none.removeRecord, 1);
    EXPECT_THAT(newLogLines(), HasSubstr("==> liveryRespawn removing act KLM1234  PH-BXA"));

    LiveAc& empty = addLive(0x510003, AcSimState::active, 301);
    empty.stream.clear();
    liveryRespawn(empty, true);
    EXPECT_THAT(newLogLines(), HasSubstr("==> liveryRespawn: KLM1234 has no stream point to respawn at\n"));
    EXPECT_EQ(empty.simState, AcSimState::active);
    EXPECT_EQ(empty.liveryTitle, "KLM B738");
    EXPECT_TRUE(removeQueue.empty());
}

// The whole round on the simulator model, MSFS 2020.
class RespawnRound : public EngineTest {
protected:
    static constexpr std::uint32_t kHexid = 0x4B1234;
    static constexpr std::int32_t kEvery = 200;

    void SetUp() override {
        EngineTest::SetUp();
        ScannedLiveriesBuilder liveries = EngineHarness::defaultLiveries();
        liveries.livery("RYR", "B738", "Ryanair B738 EI-DCL", "EI-DCL");
        harness->installLiveries(liveries);
        harness->connect();
        track = Track::flying(kHexid, {50.2, 8.5}, 90.0, 100.0, 5000.0);
        track.registration = "";
    }
    // Reports every 2 s until it is active (its object id returned), then
    // from 2 s later on with `change`.
    std::uint32_t showThenChange(const std::function<void(TrafficRecord&)>& before,
                                 const std::function<void(TrafficRecord&)>& change) {
        constexpr std::int32_t kBeforeUntil = 3400;
        report(0, kBeforeUntil, before);
        EXPECT_TRUE(reaches(AcSimState::active, 4000));
        // The changed reports follow the last one before (an aircraft created
        // in the air is active as soon as its object exists, before then).
        EXPECT_TRUE(harness->tickUntil([&] { return harness->engineTick() >= kBeforeUntil - kEvery; }, kBeforeUntil));
        const std::int32_t from = harness->engineTick() + kEvery;
        report(from, from + 4000, [&](TrafficRecord& r) { before(r);
            change(r); });
        return aircraft().objectId;
    }
    void report(std::int32_t from, std::int32_t to, const std::function<void(TrafficRecord&)>& edit) {
        for (std::int32_t at = from; at < to; at += kEvery) {
            TrafficRecord r = track.reportAt(at / 100.0);
            edit(r);
            harness->schedule(at, {r});
        }
    }
    LiveAc& aircraft() const { return *harness->live(kHexid); }
    bool reaches(AcSimState state, int maxTicks) {
        return harness->tickUntil([&] { return harness->live(kHexid) && aircraft().simState == state; }, maxTicks);
    }
    // The title the object was created with and its position and heading.
    std::string created(std::uint32_t objectId) const {
        const auto entries = harness->journal(objectId, SimJournalKind::Created);
        if (entries.size() != 1) return "created " + std::to_string(entries.size()) + " times";
        const auto& v = entries[0].values;
        return fmt::format("{} {:.7f} {:.7f} {:.3f}", entries[0].text, v[0], v[1], v[5]);
    }

    Track track;
};

}  // namespace

TEST_F(RespawnRound, ANewRegistrationLiveryComesBackInItsPlace) {
    const std::uint32_t oldId = showThenChange([](TrafficRecord&) {}, [](TrafficRecord& r) {
        r.identity.registration = "EI-DCL";
    });
    ASSERT_TRUE(reaches(AcSimState::liveryrespawn, kEvery + 10));
    const AiPose pose = aircraft().pose;
    EXPECT_EQ(aircraft().stream.front().playTick, harness->engineTick());
    EXPECT_EQ(removeQueue, std::deque<std::uint32_t>{oldId});
    EXPECT_THAT(newLogLines(), HasSubstr(" respawns because of regcode change\n"));

    // Back from buffer at once: no object, nothing sent yet, the new livery.
    ASSERT_TRUE(reaches(AcSimState::adding2sim, 100));
    EXPECT_EQ(fmt::format("{} {} {}", aircraft().objectId, aircraft().throttleStep, aircraft().flapsIndex), "0 5 4");
    EXPECT_EQ(aircraft().phase, AcPhase::flying);
    ASSERT_TRUE(reaches(AcSimState::active, 400));
    EXPECT_EQ(harness->journal(oldId, SimJournalKind::Removed).size(), 1u);
    EXPECT_EQ(created(aircraft().objectId), fmt::format("Ryanair B738 EI-DCL {:.7f} {:.7f} {:.3f}", pose.latitude,
                                                        pose.longitude, pose.heading * radiansToDegrees));
}

TEST_F(RespawnRound, ANewRouteKeepsLiveryAndPhaseAndGetsANewFlightPlan) {
    const auto plans = std::filesystem::current_path() / "orig_dest";
    const std::uint32_t oldId = showThenChange(
        [](TrafficRecord& r) {
            r.identity.origin = IataCode("AMS");
            r.identity.destination = IataCode("JFK");
        },
        [](TrafficRecord& r) { r.identity.destination = IataCode("LHR"); });
    const std::int32_t changedFrom = harness->engineTick() + kEvery;
    const std::uint32_t phaseStart = aircraft().phaseStartTick;
    ASSERT_TRUE(std::filesystem::exists(plans / gf_flightPlanFileName(oldId)));
    // Taken on its third report.
    ASSERT_TRUE(reaches(AcSimState::liveryrespawn, 3 * kEvery + 10));
    EXPECT_GE(harness->engineTick(), changedFrom + 2 * kEvery);
    EXPECT_THAT(newLogLines(), HasSubstr(" respawns because of orig-dest change\n"));

    ASSERT_TRUE(reaches(AcSimState::active, 500));
    const std::uint32_t newId = aircraft().objectId;
    EXPECT_EQ(aircraft().phaseStartTick, phaseStart);
    EXPECT_THAT(created(newId), ::testing::StartsWith("KLM B738 "));
    // The old object's plan went with it; the new object has its own.
    EXPECT_FALSE(std::filesystem::exists(plans / gf_flightPlanFileName(oldId)));
    EXPECT_TRUE(std::filesystem::exists(plans / gf_flightPlanFileName(newId)));
}
