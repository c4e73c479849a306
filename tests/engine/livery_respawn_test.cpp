// Livery respawns: the point the aircraft comes back at, the removal of its
// old object, and the whole round through the simulator model: removed,
// back in buffer, created again where it was, with a new livery after a
// reset, with its livery, phase and a new flight plan otherwise.

#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <optional>

#include "engine/identity.h"
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
        const char* name;
        AcPhase phase;
        bool poseOnFront;
        bool reset;
    };
    const Row rows[] = {
        {"flying between its points", AcPhase::flying, false, false},
        {"standing on its front point", AcPhase::taxi, true, false},
        {"parked", AcPhase::parked, true, false},
        {"flying, livery given up", AcPhase::flying, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        removeQueue.clear();
        const bool air = row.phase == AcPhase::flying;
        LiveAc& ac = addLive(0x510001, AcSimState::active, 300,
                             {point(50.0, 8.0, air ? 5000 : 0, air, 10), point(50.0, 8.01, air ? 5000 : 0, air, 500),
                              point(50.0, 8.02, air ? 5000 : 0, air, 900)});
        ac.phase = row.phase;
        ac.pose = {50.0, row.poseOnFront ? 8.0 : 8.004, -0.05, 0.2, 1.5, air ? 5100.0 : 12.0, 0.0, 250.0};
        ac.stream.front().trackDeg = 80.0;
        ac.stream.front().groundSpeedKt = 250.0;
        const StreamPoint oldFront = ac.stream.front();
        liveryRespawn(ac, row.reset);

        EXPECT_EQ(ac.simState, AcSimState::liveryrespawn);
        EXPECT_EQ(ac.motion.hasForcedHeading, 1);
        EXPECT_EQ(ac.motion.forcedHeading, 1.5);
        EXPECT_EQ(removeQueue, std::deque<std::uint32_t>{300});
        EXPECT_EQ(ac.liveryTitle.empty(), row.reset);
        const StreamPoint& p = ac.stream[0];
        const StreamPoint& old = ac.stream[1];
        EXPECT_EQ(p.playTick, tickCount.load() + 1);
        EXPECT_EQ(old.playTick, oldFront.playTick);
        if (row.phase == AcPhase::parked) {
            // Cut to its front point, standing, facing as it faces now.
            ASSERT_EQ(ac.stream.size(), 2u);
            for (const StreamPoint* q : {&p, &old}) {
                EXPECT_EQ(q->lat, oldFront.lat);
                EXPECT_EQ(q->lon, oldFront.lon);
                EXPECT_EQ(q->stationary, 1);
                EXPECT_EQ(q->groundSpeedKt, 0.0);
                EXPECT_EQ(q->tasKt, 0.0);
                EXPECT_NEAR(q->trackDeg, 1.5 * radiansToDegrees, 1e-9);
            }
        } else {
            ASSERT_EQ(ac.stream.size(), 4u);
            EXPECT_EQ(p.lat, ac.pose.latitude);
            EXPECT_EQ(p.lon, ac.pose.longitude);
            EXPECT_EQ(p.altitudeFt, ac.pose.altitude);
            EXPECT_EQ(p.hasRoll, 1);
            EXPECT_EQ(p.roll, 0.2);
            EXPECT_EQ(p.trackDeg, 80.0);
            EXPECT_EQ(p.airborne, air ? 1 : 0);
            EXPECT_EQ(old.lat, oldFront.lat);
            EXPECT_EQ(old.lon, oldFront.lon);
            EXPECT_EQ(old.stationary, row.poseOnFront ? 1 : 0);
            EXPECT_EQ(ac.phase, row.reset ? AcPhase::birth : row.phase);
        }
    }
}

TEST_F(Respawn, WithoutObjectOrStreamNothingWaitsForAResult) {
    LiveAc& none = addLive(0x510002, AcSimState::active, 0);
    liveryRespawn(none);
    EXPECT_TRUE(removeQueue.empty());
    // Its record goes at the next compaction; the next report brings it back.
    EXPECT_EQ(none.removeRecord, 1);
    EXPECT_THAT(newLogLines(), HasSubstr("==> liveryRespawn removing act KLM1234  PH-BXA"));

    g_liveAircraft.clear();
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

    // Reports of the track every 2 s from `from` to `to` (engine ticks),
    // changed by `edit`.
    void report(std::int32_t from, std::int32_t to, const std::function<void(TrafficRecord&)>& edit) {
        for (std::int32_t at = from; at < to; at += kEvery) {
            TrafficRecord r = track.reportAt(at / 100.0);
            edit(r);
            harness->schedule(at, {r});
        }
    }
    LiveAc& aircraft() const { return *harness->live(kHexid); }
    bool reaches(AcSimState state, int maxTicks) {
        return harness->tickUntil(
            [&] { return harness->live(kHexid) != nullptr && harness->live(kHexid)->simState == state; }, maxTicks);
    }
    // Reports without registration until it is active; its object id.
    std::uint32_t showUntilActive(const std::function<void(TrafficRecord&)>& edit) {
        report(0, 3400, edit);
        EXPECT_TRUE(reaches(AcSimState::active, 4000));
        return aircraft().objectId;
    }
    std::size_t removalsOf(std::uint32_t objectId) const {
        const auto calls = harness->calls();
        return static_cast<std::size_t>(std::count_if(calls.begin(), calls.end(), [&](const SimCallRecord& c) {
            return c.call == SimCall::AIRemoveObject && c.id == objectId;
        }));
    }
    std::optional<SimJournalEntry> createdEntry(std::uint32_t objectId) const {
        for (const auto& e : harness->journal(objectId, SimJournalKind::Created)) return e;
        return std::nullopt;
    }

    Track track;
};

}  // namespace

TEST_F(RespawnRound, ANewRegistrationLiveryComesBackInItsPlace) {
    const std::uint32_t oldId = showUntilActive([](TrafficRecord&) {});
    ASSERT_EQ(aircraft().liveryTitle, "KLM B738");
    const std::int32_t from = harness->engineTick() + kEvery;
    report(from, from + 4000, [](TrafficRecord& r) { r.identity.registration = "EI-DCL"; });
    ASSERT_TRUE(reaches(AcSimState::liveryrespawn, kEvery + 10));

    LiveAc& ac = aircraft();
    const StreamPoint p = ac.stream.front();
    const AiPose pose = ac.pose;
    EXPECT_EQ(p.lat, pose.latitude);
    EXPECT_EQ(p.lon, pose.longitude);
    EXPECT_EQ(p.playTick, harness->engineTick());
    EXPECT_EQ(removeQueue, std::deque<std::uint32_t>{oldId});
    EXPECT_EQ(gf_airlineCodeAt(ac.key.airline), "RYR");
    EXPECT_EQ(ac.phase, AcPhase::birth);
    EXPECT_THAT(newLogLines(), HasSubstr(" respawns because of regcode change\n"));

    // Back from buffer at once: no object, nothing sent yet, the new livery.
    ASSERT_TRUE(reaches(AcSimState::adding2sim, 100));
    EXPECT_EQ(aircraft().objectId, 0u);
    EXPECT_EQ(aircraft().throttleStep, 5u);
    EXPECT_EQ(aircraft().flapsIndex, 4u);
    EXPECT_EQ(aircraft().liveryTitle, "Ryanair B738 EI-DCL");
    EXPECT_EQ(aircraft().phase, AcPhase::flying);

    ASSERT_TRUE(reaches(AcSimState::active, 400));
    const std::uint32_t newId = aircraft().objectId;
    EXPECT_NE(newId, oldId);
    EXPECT_EQ(removalsOf(oldId), 1u);
    EXPECT_EQ(harness->journal(oldId, SimJournalKind::Removed).size(), 1u);
    const auto created = createdEntry(newId);
    ASSERT_TRUE(created.has_value());
    EXPECT_EQ(created->text, "Ryanair B738 EI-DCL");
    EXPECT_EQ(created->text2, "EI-DCL");
    EXPECT_NEAR(created->values[0], p.lat, 1e-9);
    EXPECT_NEAR(created->values[1], p.lon, 1e-9);
    EXPECT_NEAR(created->values[5], pose.heading * radiansToDegrees, 1e-6);
}

TEST_F(RespawnRound, ANewRouteKeepsLiveryAndPhaseAndGetsANewFlightPlan) {
    const auto route = [](const char* destination) {
        return [destination](TrafficRecord& r) {
            r.identity.origin = IataCode("AMS");
            r.identity.destination = IataCode(destination);
        };
    };
    const std::uint32_t oldId = showUntilActive(route("JFK"));
    const auto plans = std::filesystem::current_path() / "orig_dest";
    const auto oldPlan = plans / gf_flightPlanFileName(oldId);
    ASSERT_TRUE(std::filesystem::exists(oldPlan));
    const std::int32_t from = harness->engineTick() + kEvery;
    report(from, from + 4000, route("LHR"));
    // Taken on its third report.
    ASSERT_TRUE(reaches(AcSimState::liveryrespawn, 3 * kEvery + 10));
    EXPECT_GE(harness->engineTick(), from + 2 * kEvery);
    EXPECT_EQ(aircraft().destination, IataCode("LHR"));
    EXPECT_EQ(aircraft().phase, AcPhase::flying);
    EXPECT_EQ(aircraft().liveryTitle, "KLM B738");
    const std::uint32_t phaseStart = aircraft().phaseStartTick;
    EXPECT_THAT(newLogLines(), HasSubstr(" respawns because of orig-dest change\n"));

    ASSERT_TRUE(reaches(AcSimState::active, 500));
    const std::uint32_t newId = aircraft().objectId;
    EXPECT_EQ(aircraft().phase, AcPhase::flying);
    EXPECT_EQ(aircraft().phaseStartTick, phaseStart);
    const auto created = createdEntry(newId);
    ASSERT_TRUE(created.has_value());
    EXPECT_EQ(created->text, "KLM B738");
    // The old object's plan went with it; the new object has its own.
    EXPECT_FALSE(std::filesystem::exists(oldPlan));
    EXPECT_TRUE(std::filesystem::exists(plans / gf_flightPlanFileName(newId)));
    EXPECT_EQ(aircraft().hasFlightPlan, 1);
}

TEST_F(RespawnRound, APolicyHittingARespawnRemovesTheObjectOnce) {
    const std::uint32_t oldId = showUntilActive([](TrafficRecord&) {});
    const std::int32_t from = harness->engineTick() + kEvery;
    report(from, from + 400, [](TrafficRecord& r) { r.identity.registration = "EI-DCL"; });
    ASSERT_TRUE(reaches(AcSimState::liveryrespawn, kEvery + 10));
    removeAircraftFromSim(aircraft());
    EXPECT_EQ(removeQueue.size(), 1u);
    ASSERT_TRUE(harness->tickUntil([&] { return harness->live(kHexid) == nullptr; }, 100));
    harness->tick(100);
    EXPECT_EQ(removalsOf(oldId), 1u);
}
