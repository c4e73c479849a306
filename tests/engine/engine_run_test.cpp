// Reported aircraft through the whole engine against the simulator link and
// model: creation, activation, poses, removal; creates the simulator answers
// late; and a create that a lost connection swallowed.

#include <gmock/gmock.h>

#include <algorithm>

#include "engine/engine_setup.h"
#include "engine/mailbox.h"
#include "engine/removal.h"
#include "foundation/geodesy.h"
#include "liveries/failed_liveries.h"

#include "engine_fixture.h"

using namespace tavo::test;
using ::testing::HasSubstr;

namespace {

constexpr std::int64_t kTickNs = 10'000'000;
constexpr int kExtrapolatedTicks = 20 * 300 + 100;

std::int64_t lf_ticksBetween(const SimJournalEntry& from, const SimJournalEntry& to) {
    return (to.timeNs - from.timeNs) / kTickNs;
}

std::size_t lf_callsOf(const std::vector<SimCallRecord>& calls, SimCall call, std::uint32_t id = 0) {
    return static_cast<std::size_t>(std::count_if(calls.begin(), calls.end(), [&](const SimCallRecord& c) {
        return c.call == call && (id == 0 || c.id == id);
    }));
}

class EngineRun : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        harness->installLiveries(EngineHarness::defaultLiveries());
        harness->connect();
    }

    // What the simulator saw of one aircraft that reported ten times a
    // second for `seconds`, from creation to its removal (after at most 20
    // dead-reckoned points of 3 s once its reports end).
    struct Life {
        std::uint32_t objectId = 0;
        std::vector<SimJournalEntry> journal;
        std::int32_t firstDueTick = 0;
    };
    Life live(const Track& track, int seconds) {
        harness->scheduleTrack(track, 0, 10, seconds * 10);
        Life life;
        life.firstDueTick = 3000;  // the feed's 30 s delay
        EXPECT_TRUE(harness->tickUntil(
            [&] {
                const LiveAc* ac = harness->live(track.hexid);
                return ac != nullptr && ac->simState == AcSimState::active;
            },
            4000));
        life.objectId = harness->live(track.hexid)->objectId;
        EXPECT_TRUE(harness->tickUntil(
            [&] {
                const LiveAc* ac = harness->live(track.hexid);
                return ac == nullptr || ac->simState == AcSimState::removingfromsim;
            },
            seconds * 100 + 4000 + kExtrapolatedTicks));
        // A second removal while the first is under way is refused.
        if (LiveAc* ac = harness->live(track.hexid)) {
            removeAircraftFromSim(*ac);
            EXPECT_EQ(removeQueue.size(), 1u);
        }
        EXPECT_TRUE(harness->tickUntil([&] { return harness->live(track.hexid) == nullptr; }, 100));
        life.journal = harness->journal(life.objectId);
        return life;
    }

    // The client events from the first of that id on.
    static std::vector<std::pair<std::uint32_t, std::uint32_t>> eventsFrom(const Life& life, std::uint32_t first,
                                                                          std::size_t count) {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
        bool started = false;
        for (const auto& e : life.journal) {
            if (e.kind != SimJournalKind::ClientEvent) continue;
            started = started || e.id == first;
            if (started && out.size() < count) out.emplace_back(e.id, e.data);
        }
        return out;
    }

    // Checks what every life has in common.
    void checkLife(const Life& life, const Track& track, const std::string& title) {
        std::vector<SimJournalEntry> created, toggles, poses, removed;
        SimJournalEntry activation;
        for (const auto& e : life.journal) {
            if (e.kind == SimJournalKind::Created) created.push_back(e);
            if (e.kind == SimJournalKind::ClientEvent && e.id == ALL_LIGHTS_TOGGLE) toggles.push_back(e);
            if (e.kind == SimJournalKind::ClientEvent && e.id == SPOILERS_SET && activation.timeNs == 0)
                activation = e;
            if (e.kind == SimJournalKind::SetData && e.id == DEFINITION_LATLONPIBAHEALVSTAS) poses.push_back(e);
            if (e.kind == SimJournalKind::Removed) removed.push_back(e);
        }
        ASSERT_EQ(created.size(), 1u);
        const SimJournalEntry& c = created[0];
        EXPECT_EQ(c.text, title);
        EXPECT_EQ(c.text2, track.registration);
        // Not before its first point is due.
        EXPECT_GE(c.timeNs - (EngineHarness::nowNs() - harness->engineTick() * kTickNs),
                  life.firstDueTick * kTickNs);
        // The object blinks at 50 and 100 ticks and is activated at 200
        // (each sent with the next simulator frame, up to 3 ticks later);
        // one created in the air at once, flying on from where it appears.
        ASSERT_EQ(toggles.size(), 2u);
        EXPECT_THAT(lf_ticksBetween(c, toggles[0]), ::testing::AllOf(::testing::Ge(50), ::testing::Le(52)));
        EXPECT_THAT(lf_ticksBetween(c, toggles[1]), ::testing::AllOf(::testing::Ge(100), ::testing::Le(102)));
        const std::int64_t activatedAfter = track.airborne ? 1 : 201;
        EXPECT_THAT(lf_ticksBetween(c, activation),
                    ::testing::AllOf(::testing::Ge(activatedAfter), ::testing::Le(activatedAfter + 2)));
        // One pose every frame from activation to the removal, along the track.
        EXPECT_GT(poses.size(), 100u);
        for (std::size_t i = 1; i < poses.size(); ++i) {
            EXPECT_EQ(poses[i].frame, poses[i - 1].frame + 1) << i;
            EXPECT_GE(poses[i].values[1], poses[i - 1].values[1]) << i;  // eastward, never back
        }
        for (const auto& p : poses) {
            EXPECT_NEAR(p.values[0], track.start.lat, 0.001);
            EXPECT_NEAR(p.values[4], pi / 2.0, 0.01);
        }
        // One removal, by the program, after the last pose.
        EXPECT_EQ(removed.size(), 1u);
        EXPECT_EQ(removed.empty() ? 0u : removed[0].id, static_cast<std::uint32_t>(REQUEST_AI_REMOVE));
        EXPECT_EQ(lf_callsOf(harness->calls(), SimCall::AIRemoveObject, life.objectId), 1u);
        EXPECT_EQ(lf_callsOf(harness->calls(), SimCall::AICreateNonATCAircraft), 1u);
    }
};

}  // namespace

TEST_F(EngineRun, AnAirborneAircraftIsCreatedActivatedMovedAndRemoved) {
    Track track = Track::flying(0xABCDEF, {50.05, 8.0}, 90.0, 250.0, 5000.0);
    // Another aircraft reports once: it is never created.
    Track once = Track::flying(0xABC001, {50.2, 8.0}, 90.0, 250.0, 5000.0);
    once.registration = "D-AIBB";
    harness->schedule(0, {once.reportAt(0)});
    const Life life = live(track, 60);
    checkLife(life, track, "KLM B738");
    EXPECT_EQ(eventsFrom(life, ENGINE_AUTO_START, 9),
              (std::vector<std::pair<std::uint32_t, std::uint32_t>>{
                  {ENGINE_AUTO_START, 0}, {SPOILERS_SET, 0}, {NAV_LIGHTS_SET, 1}, {BEACON_LIGHTS_SET, 1},
                  {LANDING_LIGHTS_SET, 1}, {TAXI_LIGHTS_SET, 0}, {STROBES_SET, 1}, {LOGO_LIGHTS_SET, 1},
                  {CABIN_LIGHTS_SET, 1}}));
    EXPECT_TRUE(g_liveAircraft.empty());
    EXPECT_THAT(newLogLines(), HasSubstr("==> KLM1234 PH-BXA duplicate remove blocked\n"));
}

TEST_F(EngineRun, ATaxiingAircraftLikewise) {
    Track track = Track::taxiing(0xABCDE1, {50.01, 8.0}, 90.0, 15.0);
    track.callsign = "DLH4AB";
    track.registration = "D-AIBB";
    track.type = "A320";
    track.airline = "DLH";
    // Holding on the ground for one minute: 20 points.
    harness->settings([](SettingsSnapshot& s) { s.MAX_HOLDING_MINUTES = 1; });
    const Life life = live(track, 60);
    checkLife(life, track, "Lufthansa A320");
    EXPECT_EQ(eventsFrom(life, SPOILERS_SET, 11),
              (std::vector<std::pair<std::uint32_t, std::uint32_t>>{
                  {SPOILERS_SET, 0}, {ENGINE_AUTO_START, 0}, {NAV_LIGHTS_SET, 1}, {BEACON_LIGHTS_SET, 1},
                  {LANDING_LIGHTS_SET, 0}, {TAXI_LIGHTS_SET, 1}, {STROBES_SET, 0}, {LOGO_LIGHTS_SET, 1},
                  {CABIN_LIGHTS_SET, 1}, {THROTTLE_SET, 0}, {FLAPS_SET, 3072}}));
}

TEST_F(EngineRun, ARemovalBeforeTheCreateIsSentTakesItBack) {
    const Track track = Track::flying(0xABCDE2, {50.05, 8.0}, 90.0, 250.0, 5000.0);
    harness->scheduleTrack(track, 0, 10, 60);  // two points, and no report after them
    ASSERT_TRUE(harness->tickUntil([&] { return !liveCreateQueue.empty(); }, 4000));
    removeAircraftFromSim(*harness->live(0xABCDE2));
    EXPECT_TRUE(liveCreateQueue.empty());
    harness->tick();
    EXPECT_EQ(harness->live(0xABCDE2), nullptr);
    harness->tick(100);
    EXPECT_EQ(lf_callsOf(harness->calls(), SimCall::AICreateNonATCAircraft), 0u);
}

TEST_F(EngineRun, ARemovalWhileTheCreateIsAnsweredLateRemovesTheObjectOnceActive) {
    gf_simModelSetAnswerDelay(40);
    const Track track = Track::flying(0xABCDE3, {50.05, 8.0}, 90.0, 250.0, 5000.0);
    harness->scheduleTrack(track, 0, 10, 600);
    ASSERT_TRUE(harness->tickUntil(
        [&] { return lf_callsOf(harness->calls(), SimCall::AICreateNonATCAircraft) == 1; }, 4000));
    LiveAc& ac = *harness->live(0xABCDE3);
    removeAircraftFromSim(ac);
    EXPECT_EQ(ac.removeWhenCreated, 1);
    EXPECT_EQ(ac.simState, AcSimState::adding2sim);
    ASSERT_TRUE(harness->tickUntil([&] { return !harness->journal(100, SimJournalKind::Removed).empty(); }, 1000));
    harness->tick(3);
    EXPECT_TRUE(std::none_of(g_liveAircraft.begin(), g_liveAircraft.end(),
                             [](const LiveAc& a) { return a.objectId == 100; }));
    const auto objects = harness->journal(100);
    const auto at = [&](SimJournalKind kind, std::uint32_t id) {
        return std::find_if(objects.begin(), objects.end(),
                            [&](const SimJournalEntry& e) { return e.kind == kind && e.id == id; });
    };
    const auto activation = at(SimJournalKind::ClientEvent, ENGINE_AUTO_START);
    const auto removal = at(SimJournalKind::Removed, REQUEST_AI_REMOVE);
    ASSERT_NE(activation, objects.end());
    ASSERT_NE(removal, objects.end());
    EXPECT_LE(lf_ticksBetween(*activation, *removal), 13);  // the next paced removal and its frame
}

TEST_F(EngineRun, ACreateLostWithItsConnectionIsMadeAgainWithoutBlamingTheLivery) {
    gf_simModelSetAnswerDelay(40);
    const Track track = Track::flying(0xABCDE4, {50.05, 8.0}, 90.0, 250.0, 5000.0);
    harness->scheduleTrack(track, 0, 10, 600);
    ASSERT_TRUE(harness->tickUntil(
        [&] { return lf_callsOf(harness->calls(), SimCall::AICreateNonATCAircraft) == 1; }, 4000));
    harness->tick(10);
    harness->reconnect();
    gf_simModelSetAnswerDelay(0);
    ASSERT_TRUE(harness->tickUntil(
        [&] {
            const LiveAc* ac = harness->live(0xABCDE4);
            return ac != nullptr && ac->simState == AcSimState::active;
        },
        1000));
    // The first object left with the old connection; the second carries on.
    EXPECT_EQ(harness->journal(100, SimJournalKind::Removed).size(), 1u);
    EXPECT_EQ(harness->live(0xABCDE4)->objectId, 101u);
    const auto created = harness->journal(101, SimJournalKind::Created);
    ASSERT_EQ(created.size(), 1u);
    EXPECT_EQ(created[0].text2, "PH-BXA");
    EXPECT_EQ(gf_failedLiveryCount(), 0u);
    EXPECT_FALSE(gf_isLiveryKnownToFail("KLM B738"));
}

TEST_F(EngineRun, AnAircraftStandingWhereItWasShownIsCreatedThereAgainAfterARestart) {
    // An aircraft taxis 20 s and stops on a taxiway (no stand anywhere): it
    // is shown standing there. The run then restarts (the simulator's
    // connection and the engine start afresh, as when the traffic source's
    // link came back) while its reports still stand there: it is created
    // again where it stood, nose as it stood, not held back as one standing
    // where no stand is free for it.
    const Track taxi = Track::taxiing(0xABCDF0, {50.0, 8.02}, 90.0, 10.0);
    const auto reportAt = [&](double s) {
        TrafficRecord r = taxi.reportAt(std::min(s, 20.0));
        r.time = taxi.startTime + s;
        if (s >= 20.0) r.point.groundSpeedKt = 0.0;
        return r;
    };
    for (int s = 0; s < 240; ++s) harness->schedule(s * 100, {reportAt(s)});
    ASSERT_TRUE(harness->tickUntil(
        [&] {
            const LiveAc* ac = harness->live(taxi.hexid);
            return ac != nullptr && ac->simState == AcSimState::active;
        },
        4000));
    // Its reports stand from 50 s on (20 s after the feed's 30 s delay).
    harness->tick(9000 - harness->engineTick());
    const LiveAc* shown = harness->live(taxi.hexid);
    ASSERT_NE(shown, nullptr);
    const LaLo stoodAt{shown->pose.latitude, shown->pose.longitude};
    const double stoodNose = shown->pose.heading;
    const LaLo reportedStop = taxi.positionAt(20.0);
    ASSERT_LT(gf_distanceNm(stoodAt, reportedStop) * metresPerNm, 15.0) << "it stands where its reports stop";

    harness->reconnect();
    gf_resetTrafficEngine();
    gf_initTrafficEngine();
    const std::int32_t restartTick = harness->engineTick();
    ASSERT_EQ(harness->live(taxi.hexid), nullptr);
    // Its first report after the restart falls due 30 s after it came.
    ASSERT_TRUE(harness->tickUntil(
        [&] {
            const LiveAc* ac = harness->live(taxi.hexid);
            return ac != nullptr && ac->simState == AcSimState::active;
        },
        4500))
        << "created again within 15 s of its first report after the restart falling due";
    EXPECT_LT(harness->engineTick() - restartTick, 4500);
    const auto created = harness->journal(harness->live(taxi.hexid)->objectId, SimJournalKind::Created);
    ASSERT_EQ(created.size(), 1u);
    ASSERT_GE(created[0].values.size(), 6u);
    EXPECT_LT(gf_distanceNm({created[0].values[0], created[0].values[1]}, stoodAt) * metresPerNm, 0.5);
    EXPECT_NEAR(created[0].values[5] * degreesToRadians, stoodNose, 0.01);
    EXPECT_EQ(countOf(logText(), "stands where no stand is free for it"), 0u) << logText();
}

TEST_F(EngineRun, ALiveReportKeptBeforeTheBufferCameDoesNotHideTheBufferedOnes) {
    // While the start path waits, the application's live batch (kept) comes
    // before the answer to the buffer request, which holds the half minute
    // leading up to it. The aircraft is shown from its buffered reports at
    // once, not half a minute later when its live report falls due; in either
    // order of the two posts.
    const Track flight = Track::flying(0xABCDF2, {50.05, 8.0}, 90.0, 250.0, 5000.0);
    for (const bool liveFirst : {true, false}) {
        SCOPED_TRACE(liveFirst ? "live batch first" : "buffer first");
        const std::uint32_t hexid = flight.hexid + (liveFirst ? 0u : 1u);
        Track track = flight;
        track.hexid = hexid;
        if (!liveFirst) {
            track.callsign = "KLM1235";
            track.registration = "PH-BXB";
            track.start = {50.10, 8.0};
        }
        const double nowS = 30.0;  // the live report's time, after the track's first report
        std::vector<TrafficRecord> buffer;
        for (int s = 1; s < 30; ++s) buffer.push_back(track.reportAt(s));
        gf_setTrafficDelivery(false);
        gf_keepLiveTrafficWhileStarting();
        if (liveFirst) harness->post({track.reportAt(nowS)}, 30);
        harness->post(buffer, 0);
        if (!liveFirst) harness->post({track.reportAt(nowS)}, 30);
        gf_setTrafficDelivery(true);
        const std::int32_t started = harness->engineTick();
        ASSERT_TRUE(harness->tickUntil(
            [&] {
                const LiveAc* ac = harness->live(hexid);
                return ac != nullptr && ac->simState == AcSimState::active;
            },
            4000));
        EXPECT_LT(harness->engineTick() - started, 1000) << "shown within 10 s";
    }
}
