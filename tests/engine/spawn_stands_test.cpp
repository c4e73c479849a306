// Spawning at stands: the stand a resting aircraft gets, its parked
// activation, the take-over of a static of the same registration, the
// aircraft that make way, and the ground traffic once the object exists.

#include <cmath>

#include <gmock/gmock.h>

#include "airports/current_airport.h"
#include "airports/loaded_airport.h"
#include "airports/parking_state.h"
#include "airports/static_placement.h"
#include "engine/removal_policies.h"
#include "engine/spawn.h"
#include "engine/spawn_stands.h"
#include "engine/stands.h"
#include "engine/user_position.h"
#include "foundation/geodesy.h"
#include "foundation/time.h"
#include "motion/stand_parking.h"
#include "simlink/sim_link_internal.h"
#include "support/stand_table.h"

#include "engine_fixture.h"

using namespace tavo::test;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

constexpr LaLo kAirport{50.03, 8.56};
constexpr LaLo kA1{50.0300, 8.5600};
constexpr LaLo kA2{50.0300, 8.5604195};  // 30 m east of A1
constexpr LaLo kB1{50.0327, 8.5600};     // 300 m north
constexpr double kA1Heading = 1.5;
constexpr std::uint64_t kWeekTime = (20ull << 32) | 3;  // Wednesday, slot 20
constexpr std::int64_t kClock100ns = 133'000'000'000'000'000;
constexpr std::uint32_t kHex = 0x484B21;

LaLo lf_north(LaLo at, double metres) { return {at.lat + metres / 111195.0, at.lon}; }

class SpawnAtStands : public EngineTest {
protected:
    EngineHarness::Options options() const override {
        EngineHarness::Options o;
        o.userPosition = {50.036, 8.56};  // on the ground, 660 m from the stands
        return o;
    }
    void SetUp() override {
        EngineTest::SetUp();
        world();
    }
    void TearDown() override {
        gf_clearCurrentAirport();
        gf_clearLoadedAirport();
        clearStandTable();
        staticsToPlace.clear();
        gf_setSystemClock100ns(nullptr);
        gf_setPromotionCreatedHandler(nullptr);
        EngineTest::TearDown();
    }
    // A fresh harness (for the next row of a table) with the same world.
    void restart() {
        harness.reset();
        harness = std::make_unique<EngineHarness>(options());
        world();
    }
    static void airport(LaLo at, bool fileLoaded) {
        gf_setCurrentAirport({IcaoCode("EDDF"), IataCode("FRA"), at, 364});
        LoadedAirport loaded;
        loaded.fileLoaded = fileLoaded;
        gf_setLoadedAirport(loaded);
    }
    void world() {
        harness->installLiveries(EngineHarness::defaultLiveries());
        gf_simModelAddTitle({"KLM B738", "B738", 8.0, 0.01});
        gf_simModelSetTerrain([](double, double) { return 433.0; });
        harness->connect();
        airport(kAirport, true);
        setStandTable({{"GATE A1", kA1, ParkingType::GATE_MEDIUM, 30.0, {2}},
                       {"GATE A2", kA2, ParkingType::GATE_MEDIUM, 30.0, {1}},
                       {"GATE B1", kB1}});
        g_standTable[0].heading = kA1Heading;
        g_weekTime.store(kWeekTime);
        gf_setSystemClock100ns([] { return kClock100ns; });
    }

    // A new aircraft in buffer whose three points lie at `at`, the last one
    // `spreadM` north of it, all at the speed.
    static LiveAc& resting(std::uint32_t hexid, LaLo at, const std::string& callsign = "KLM1234",
                           double speedKt = 0.0, double spreadM = 0.0) {
        std::deque<StreamPoint> stream;
        for (int i = 0; i < 3; ++i) {
            StreamPoint p = point(at.lat, at.lon);
            if (i == 2) p.lat = lf_north(at, spreadM).lat;
            p.groundSpeedKt = speedKt;
            stream.push_back(p);
        }
        LiveAc& ac = addLive(hexid, AcSimState::buffer, 0, std::move(stream), callsign);
        ac.phase = AcPhase::birth;
        return ac;
    }
    // A live aircraft parked on the stand with an object.
    static LiveAc& parkedLive(std::uint32_t hexid, std::int32_t standId, const std::string& callsign) {
        const Stand& stand = *gf_standById(standId);
        // Its point is due far ahead: it stands still while the harness ticks.
        StreamPoint p = point(stand.latitude, stand.longitude, 0.0, false, 1 << 30);
        p.stationary = 1;
        LiveAc& ac = addLive(hexid, AcSimState::active, 700 + standId, {p}, callsign);
        gf_assignStandToAircraft(ac, stand);
        ac.phase = AcPhase::parked;
        return ac;
    }
    static AcBase& staticOn(std::uint32_t hexid, std::int32_t standId, AcSimState state,
                            const std::string& registration = "D-AIBA") {
        AcBase& s = addStatic(hexid, state, state == AcSimState::active ? 900 + hexid : 0);
        gf_assignStandToAircraft(s, *gf_standById(standId));
        s.registration = registration;
        return s;
    }
    static AcBase* findStatic(std::uint32_t hexid) {
        for (AcBase& s : g_staticAircraft)
            if (s.hexid == hexid) return &s;
        return nullptr;
    }
    std::size_t createCalls() const {
        const auto calls = harness->calls();
        return std::size_t(std::count_if(calls.begin(), calls.end(),
                                         [](const SimCallRecord& c) { return c.call == SimCall::AICreateNonATCAircraft; }));
    }
    // Ticks until the aircraft left state buffer.
    bool spawned() {
        return harness->tickUntil([&] { return harness->live(kHex) && harness->live(kHex)->simState != AcSimState::buffer; },
                                  4000);
    }
};

}  // namespace

TEST_F(SpawnAtStands, OnlyACalmAircraftNearTheLoadedAirportGetsAStandAndNeverTheUsers) {
    struct Row {
        const char* name;
        double speedKt, spreadM;
        bool stationaryFront;
        LaLo airportAt;
        bool fileLoaded, userOnA1;
        const char* stand;  // "" for none
        double frontKt = -1.0;  // the first report's speed (-1: the others')
    };
    const Row rows[] = {
        {"at rest on A1", 0.0, 0.0, false, kAirport, true, false, "GATE A1"},
        {"slow, last point 20 m on", 5.9, 20.0, false, kAirport, true, false, "GATE A1"},
        {"a point above 6 kt", 6.1, 0.0, false, kAirport, true, false, ""},
        {"last point 36 m on", 1.0, 36.0, false, kAirport, true, false, ""},
        {"a standing front point needs no calm", 10.0, 0.0, true, kAirport, true, false, "GATE A1"},
        // Reported standing first, then moving off slowly (a pushback or tow
        // begun): it stands at the stand of its first report.
        {"leaving, first report at 0 kt", 1.0, 36.0, false, kAirport, true, false, "GATE A1", 0.0},
        {"leaving, first report at 0.5 kt", 1.0, 36.0, false, kAirport, true, false, "GATE A1", 0.5},
        {"first report at 0.6 kt", 1.0, 36.0, false, kAirport, true, false, "", 0.6},
        // A speed no roll goes tells nothing of a move: counted as none.
        {"calm, first report at 1e6 kt", 1.0, 0.0, false, kAirport, true, false, "GATE A1", 1e6},
        {"leaving, first report at 1e6 kt", 1.0, 36.0, false, kAirport, true, false, "GATE A1", 1e6},
        {"leaving at 6.1 kt", 6.1, 36.0, false, kAirport, true, false, "", 0.0},
        {"airport 6 NM away", 0.0, 0.0, false, LaLo{50.13, 8.56}, true, false, ""},
        {"no airport file loaded", 0.0, 0.0, false, kAirport, false, false, ""},
        {"the user stands on it", 0.0, 0.0, false, kAirport, true, true, ""},
    };
    g_userOnGround.store(true);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        airport(row.airportAt, row.fileLoaded);
        UserAircraftState user;
        user.latitude = row.userOnA1 ? kA1.lat : 50.036;
        user.longitude = kA1.lon;
        gf_publishUserAircraftState(user);
        LiveAc& ac = resting(kHex, kA1, "KLM1234", row.speedKt, row.spreadM);
        ac.stream.front().stationary = row.stationaryFront ? 1 : 0;
        if (row.frontKt >= 0.0) ac.stream.front().groundSpeedKt = row.frontKt;
        const Stand* stand = chooseSpawnStand(ac);
        EXPECT_EQ(stand != nullptr ? stand->name : "", row.stand);
        EXPECT_EQ(ac.removeRecord, 0);
        g_liveAircraft.clear();
    }
}

TEST_F(SpawnAtStands, AnAircraftStandingOnAStandItDoesNotTakeIsNotPutOnTheNeighbour) {
    // Reported standing 12 m north of P, with a stand of 30 m at P and a gate
    // of 24 m north of P. With a gate at P it gets that one. On a small ramp
    // at P, a kind it does not take, it gets no stand rather than the gate
    // 55 m north, 43 m off its reports; but the gate 25 m north, whose
    // circle it stands in, it gets.
    const LaLo p{50.0300, 8.5600};
    struct Row {
        const char* name;
        ParkingType atP;
        double gateNorthM;
        const char* stand;  // "" for none
    };
    for (const Row row : {Row{"a gate at P", ParkingType::GATE_MEDIUM, 55.0, "AT P"},
                          Row{"a ramp it does not take at P", ParkingType::RAMP_GA_SMALL, 55.0, ""},
                          Row{"in the gate's circle too", ParkingType::RAMP_GA_SMALL, 25.0, "NORTH"}}) {
        SCOPED_TRACE(row.name);
        setStandTable({{"AT P", p, row.atP, 30.0}, {"NORTH", lf_north(p, row.gateNorthM), ParkingType::GATE_MEDIUM, 24.0}});
        LiveAc& ac = resting(kHex, lf_north(p, 12.0));
        ac.stream.front().stationary = 1;
        const Stand* stand = chooseSpawnStand(ac);
        EXPECT_EQ(stand != nullptr ? stand->name : "", row.stand);
        g_liveAircraft.clear();
    }
}

TEST_F(SpawnAtStands, AStandingAircraftIsPutOnTheStandItsReportsCentreOn) {
    // Its first report at rest 18 m east of A1 (12 m from A2, 30 m east),
    // the reports after it scattered about A1: the stream checks moved them
    // onto the first, each keeping where it was reported. It gets A1.
    LiveAc& ac = resting(kHex, {kA1.lat, kA1.lon + 0.6 * (kA2.lon - kA1.lon)});
    ac.stream.front().stationary = 1;
    // Metres north of A1, and the share of the way to A2 east.
    const std::pair<double, double> reported[] = {{0.0, -0.4}, {5.0, 0.0}};
    for (std::size_t i = 1; i < ac.stream.size(); ++i) {
        StreamPoint& copy = ac.stream[i];
        copy.stationary = 1;
        copy.heldCopy = 1;
        copy.reportedLat = lf_north(kA1, reported[i - 1].first).lat;
        copy.reportedLon = kA1.lon + reported[i - 1].second * (kA2.lon - kA1.lon);
    }
    const Stand* stand = chooseSpawnStand(ac);
    ASSERT_NE(stand, nullptr);
    EXPECT_EQ(stand->name, "GATE A1");
}

TEST_F(SpawnAtStands, AMissIsNotSearchedAgainAtTheSamePlace) {
    const LaLo open = lf_north(kA1, -200.0);
    LiveAc& ac = resting(kHex, open);
    EXPECT_EQ(chooseSpawnStand(ac), nullptr);
    setStandTable({{"GATE A1", kA1}, {"GATE A2", kA2}, {"GATE B1", kB1}, {"GATE C1", open}});
    EXPECT_EQ(chooseSpawnStand(ac), nullptr) << "same place after a miss";
    for (StreamPoint& p : ac.stream) p.lat += 1e-6;
    const Stand* stand = chooseSpawnStand(ac);
    ASSERT_NE(stand, nullptr);
    EXPECT_EQ(stand->name, "GATE C1");
    EXPECT_EQ(chooseSpawnStand(ac), stand) << "after a hit the search is made again";
}

TEST_F(SpawnAtStands, ARestingAircraftSpawnsParkedAndIsActivatedOnceItsDataArrive) {
    struct Row {
        std::uint32_t answerDelayFrames;
        bool fallback;
    };
    for (const Row row : {Row{120, false}, Row{250, true}}) {
        SCOPED_TRACE(row.answerDelayFrames);
        if (row.fallback) restart();
        parkedTarget = 1;
        staticOn(5, 3, AcSimState::active);
        gf_simModelSetAnswerDelay(row.answerDelayFrames);
        harness->scheduleTrack(Track::taxiing(kHex, lf_north(kA1, 5.0), 0.0, 0.0), 0, 100, 80);
        ASSERT_TRUE(spawned());
        LiveAc* ac = harness->live(kHex);
        EXPECT_EQ(ac->phase, AcPhase::parked);
        EXPECT_EQ(ac->standId, 1);
        EXPECT_EQ(ac->stream.front().lat, kA1.lat);
        EXPECT_EQ(ac->stream.front().lon, kA1.lon);
        EXPECT_DOUBLE_EQ(ac->stream.front().trackDeg, kA1Heading * radiansToDegrees);
        EXPECT_EQ(ac->parkTime, static_cast<double>(kWeekTime));
        EXPECT_EQ(ac->phaseStartClock, kClock100ns) << "the system clock in 100 ns units";
        ASSERT_EQ(g_standTable[0].options.size(), 1u);
        EXPECT_FALSE(g_standTable[0].options[0].cpl) << "kind 1";
        EXPECT_EQ(findStatic(5)->simState, AcSimState::removingfromsim) << "trimmed for one more parked aircraft";

        ASSERT_TRUE(harness->tickUntil([&] { return harness->live(kHex)->objectId != 0; }, 2000));
        const std::int32_t createdAt = harness->engineTick();
        ASSERT_TRUE(harness->tickUntil([&] { return harness->live(kHex)->simState == AcSimState::active; }, 2000));
        ac = harness->live(kHex);
        const std::int32_t age = harness->engineTick() - createdAt;
        const std::string log = newLogLines();
        const std::string fallback = "KLM1234 initial simulator pose/CG unavailable; using fallback position";
        if (row.fallback) {
            EXPECT_THAT(age, ::testing::AllOf(::testing::Ge(495), ::testing::Le(505)));
            EXPECT_THAT(log, HasSubstr(fallback));
        } else {
            EXPECT_THAT(age, ::testing::AllOf(::testing::Gt(300), ::testing::Lt(500))) << "waits past 200 for the data";
            EXPECT_THAT(log, Not(HasSubstr(fallback)));
            EXPECT_EQ(ac->motion.standGroundElevationFt, 433.0);
            EXPECT_EQ(ac->groundOffsetFt, 8.0);
        }
        harness->tick(5);
        EXPECT_THAT(harness->clientEvents(ac->objectId),
                    ::testing::IsSupersetOf({std::pair<std::uint32_t, std::uint32_t>{ENGINE_AUTO_SHUTDOWN, 0},
                                             {NAV_LIGHTS_SET, 1}, {BEACON_LIGHTS_SET, 0}, {CABIN_LIGHTS_SET, 1}}));
    }
}

TEST_F(SpawnAtStands, OneCreatedWhileAnotherHoldsItsStandGoesAsSoonAsItExists) {
    gf_simModelSetAnswerDelay(30);
    harness->scheduleTrack(Track::taxiing(kHex, kA1, 0.0, 0.0), 0, 100, 80);
    ASSERT_TRUE(spawned());
    parkedLive(0x400001, 1, "DLH1");
    ASSERT_TRUE(harness->tickUntil([&] { return harness->live(kHex) == nullptr; }, 2000));
    EXPECT_THAT(newLogLines(),
                HasSubstr("GATE A1       : KLM1234 created without owning the live stand reservation, will be removed"));
    EXPECT_EQ(gf_simModelObjects().size(), 1u) << "only the user aircraft is left";
}

TEST_F(SpawnAtStands, AStaticOfTheSameRegistrationOnTheStandIsTakenOverInsteadOfCreated) {
    struct Row {
        const char* name;
        bool cgMissing;
        bool refused;
    };
    for (const Row& row : {Row{"data complete", false, false}, Row{"CG missing", true, false},
                           Row{"refused", false, true}}) {
        SCOPED_TRACE(row.name);
        if (row.cgMissing || row.refused) restart();
        AcBase& s = staticOn(7, 1, AcSimState::adding2sim, "PH-BXA");
        AiCreateRequest create = request(7);
        create.position = {kA1.lat, kA1.lon, 0.0, 0.0, 0.0, 86.0, 1, 0};
        create.tailNumber = "PH-BXA";
        create.title = std::string(s.liveryTitle);
        staticCreateQueue.push_back(create);
        ASSERT_TRUE(harness->tickUntil([&] { return findStatic(7)->simState == AcSimState::active; }, 2000));
        const std::uint32_t object = findStatic(7)->objectId;
        if (row.cgMissing) findStatic(7)->hasStaticCg = 0;
        if (row.refused) gf_setPromotionCreatedHandler([](LiveAc&, const SimCommand&, bool) { return false; });
        addingStack.push_back(7);
        newLiveCheckQueue.push_back(7);
        parkedActionSchedule.push_back({7, 1 << 30, 0});
        const std::size_t createsBefore = createCalls();
        newLogLines();

        harness->scheduleTrack(Track::taxiing(kHex, kA1, 0.0, 0.0), harness->engineTick(), 100, 60);
        ASSERT_TRUE(spawned());
        LiveAc* ac = harness->live(kHex);
        EXPECT_EQ(findStatic(7), nullptr);
        EXPECT_EQ(g_promotionsCount.load(), 1u);
        EXPECT_THAT(addingStack, Not(::testing::Contains(7u)));
        EXPECT_THAT(newLiveCheckQueue, Not(::testing::Contains(7u)));
        EXPECT_TRUE(parkedActionSchedule.empty());
        const std::string log = newLogLines();
        if (row.refused) {
            EXPECT_THAT(log, HasSubstr(fmt::format("Promotion failed for KLM1234 object {}", object)));
            ASSERT_TRUE(harness->tickUntil([&] { return createCalls() == createsBefore + 1; }, 1000));
            ASSERT_TRUE(harness->tickUntil([&] { return !gf_simModelObject(object).has_value(); }, 1000))
                << "the object nobody owns any more leaves the simulator";
            ASSERT_TRUE(harness->tickUntil([&] { return harness->live(kHex)->objectId != 0; }, 1000));
            EXPECT_NE(harness->live(kHex)->objectId, object);
            continue;
        }
        EXPECT_THAT(log, HasSubstr("GATE A1       : STA7     PH-BXA promoted to live KLM1234 PH-BXA"));
        EXPECT_EQ(ac->objectId, object);
        EXPECT_EQ(ac->promoted, 1);
        if (row.cgMissing) {
            EXPECT_EQ(ac->simState, AcSimState::adding2sim);
            ASSERT_EQ(delayedSimCommands.size(), 1u);
            EXPECT_EQ(delayedSimCommands[0].objectId, object);
            EXPECT_GE(delayedSimCommands[0].tick, 200);
            ASSERT_TRUE(harness->tickUntil([&] { return harness->live(kHex)->simState == AcSimState::active; }, 100));
        } else {
            EXPECT_EQ(ac->simState, AcSimState::active);
        }
        harness->tick(60);
        EXPECT_EQ(createCalls(), createsBefore);
        EXPECT_FALSE(gf_simLink().staticObjects.contains(object));
        EXPECT_EQ(harness->live(kHex)->motion.standGroundElevationKnown, 1) << "ground data of a live object";
    }
}

TEST_F(SpawnAtStands, StaticsInTheWayMakeWay) {
    enum Outcome { Removed, Erased, Marked, Kept };
    struct Row {
        const char* name;
        std::int32_t standId;
        AcSimState state;
        bool queued;
        const char* registration;
        const char* identity2;
        bool promotionAllowed;
        double radiusM;  // each aircraft's collision radius; 0 keeps the type's
        Outcome outcome;
        const char* line;  // "" for none
    };
    const Row rows[] = {
        {"active", 1, AcSimState::active, false, "D-AIBA", "", true, 0, Removed,
         "GATE A1       : STA5     D-AIBA makes way for KLM1234 PH-BXA"},
        {"its flight pair names the callsign", 1, AcSimState::active, false, "D-AIBA", "KLM1234", true, 0, Removed,
         "GATE A1       : STA5     D-AIBA makes way for the same live version KLM1234 PH-BXA"},
        {"same registration", 1, AcSimState::active, false, "PH-BXA", "", true, 0, Kept, ""},
        {"same registration, no promotion", 1, AcSimState::active, false, "PH-BXA", "", false, 0, Removed,
         "STA5     PH-BXA makes way for the same live version"},
        {"queued", 1, AcSimState::adding2sim, true, "D-AIBA", "", true, 0, Erased,
         "queued GATE A1 : STA5     D-AIBA makes way for KLM1234 PH-BXA"},
        {"create in flight", 1, AcSimState::adding2sim, false, "D-AIBA", "", true, 0, Marked, ""},
        {"colliding stand 30 m off, radii reach", 2, AcSimState::active, false, "D-AIBA", "", true, 0, Removed,
         "GATE A2       : STA5     makes way for KLM1234 parking at excluded stand GATE A1"},
        {"colliding stand, radii short", 2, AcSimState::active, false, "D-AIBA", "", true, 14.0, Kept, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_staticAircraft.clear();
        staticCreateQueue.clear();
        newLogLines();
        LiveAc& ac = resting(kHex, kA1);
        AcBase& s = staticOn(5, row.standId, row.state, row.registration);
        s.identity2 = row.identity2;
        if (row.radiusM > 0) s.collisionRadiusNm = ac.collisionRadiusNm = row.radiusM / metresPerNm;
        if (row.queued) staticCreateQueue.push_back(request(5));
        const MakeWayResult result = makeWayAtStand(ac, g_standTable[0], row.promotionAllowed);
        EXPECT_EQ(result.found, row.outcome == Kept && row.standId == 1);
        EXPECT_EQ(result.promoteHexid, result.found ? 5u : 0u);
        const AcBase* after = findStatic(5);
        EXPECT_EQ(after == nullptr, row.outcome == Erased);
        if (after != nullptr) {
            EXPECT_EQ(after->simState == AcSimState::removingfromsim, row.outcome == Removed);
            EXPECT_EQ(after->removeWhenCreated, row.outcome == Marked ? 1 : 0);
        }
        EXPECT_TRUE(staticCreateQueue.empty());
        const std::string log = newLogLines();
        if (*row.line != '\0') EXPECT_THAT(log, HasSubstr(row.line));
        else EXPECT_THAT(log, Not(HasSubstr("makes way")));
        g_liveAircraft.clear();
    }
}

TEST_F(SpawnAtStands, ALiveAircraftHoldingTheStandOrReachingIntoItDropsOrGivesWay) {
    struct Row {
        const char* existing;
        bool departurePending;
        std::int32_t existingStand;
        const char* newcomer;
        bool existingRemoved;
        const char* line;
    };
    const Row rows[] = {
        {"KLM1234", false, 1, "KLM1234", true,
         "GATE A1       : KLM1234  ac with same callsign KLM1234 wants it, remove existing ... "},
        {"KLM1234", false, 1, "KLM1234_", false, ""},
        {"KLM1234_", false, 1, "KLM1234", true, "GATE A1       : KLM1234_ ghost, replace by KLM1234"},
        {"KLM1234A", false, 1, "KLM1234", true, "GATE A1       : KLM1234A ghost, replace by KLM1234"},
        {"DLH1_", false, 1, "KLM1234", true, "GATE A1       : DLH1_    ghost, replace by KLM1234"},
        {"DLH1", false, 1, "KLM1234_", false, ""},
        {"DLH1", true, 1, "KLM1234", false, ""},
        {"DLH1", false, 1, "KLM1234", true, "GATE A1       : DLH1     removed because another live KLM1234 wants the stand ..."},
        {"DLH1_", false, 1, "KLM1234_", true, "removed because another live KLM1234_"},
        {"DLH1", false, 2, "KLM1234", false, ""},  // on the colliding stand, within wing reach
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.existing) + " / " + row.newcomer);
        newLogLines();
        LiveAc& existing = parkedLive(0x400001, row.existingStand, row.existing);
        existing.motion.departurePending = row.departurePending ? 1 : 0;
        LiveAc& ac = resting(kHex, kA1, row.newcomer);
        EXPECT_EQ(chooseSpawnStand(ac), nullptr);
        EXPECT_EQ(ac.removeRecord, 1) << "a stand in use drops the newcomer";
        EXPECT_EQ(g_liveAircraft[0].simState == AcSimState::removingfromsim, row.existingRemoved);
        const std::string log = newLogLines();
        if (*row.line != '\0') EXPECT_THAT(log, HasSubstr(row.line));
        g_liveAircraft.clear();
    }
    // Out of wing reach the colliding stand's aircraft stays and A1 is taken.
    LiveAc& existing = parkedLive(0x400001, 2, "DLH1");
    LiveAc& ac = resting(kHex, kA1);
    existing.collisionRadiusNm = ac.collisionRadiusNm = 14.0 / metresPerNm;
    const Stand* stand = chooseSpawnStand(ac);
    ASSERT_NE(stand, nullptr);
    EXPECT_EQ(stand->id, 1u);
}

TEST_F(SpawnAtStands, AReportOffAStandAnotherAircraftStandsOnRemovesNobody) {
    // Two stands of 30 m, 80 m apart, DLH1 live on the eastern one. A new
    // aircraft reported standing `offEastM` west of it: off its circle (the
    // scatter of a parked aircraft's reports put it there, nearer the
    // neighbour's stand than its own), it waits for a report that tells its
    // stand instead of removing DLH1. With nobody on the eastern stand it
    // takes it.
    struct Row {
        const char* name;
        double offEastM;
        bool dlh1There;
        const char* stand;  // "" for none
        bool dlh1Removed;
    };
    const Row rows[] = {
        {"35 m off, DLH1 on it", 35.0, true, "", false},
        {"35 m off, nobody on it", 35.0, false, "EAST", false},
    };
    const double degPerM = (kA2.lon - kA1.lon) / 30.0;
    const LaLo east{kA1.lat, kA1.lon + 80.0 * degPerM};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        setStandTable({{"WEST", kA1, ParkingType::GATE_MEDIUM, 30.0}, {"EAST", east, ParkingType::GATE_MEDIUM, 30.0}});
        if (row.dlh1There) parkedLive(0x400001, 2, "DLH1").registration = "D-AIBA";
        LiveAc& ac = resting(kHex, {east.lat, east.lon - row.offEastM * degPerM});
        ac.stream.front().stationary = 1;
        ac.standSearchRadiusNm = 50.0 / metresPerNm;
        const Stand* stand = chooseSpawnStand(ac);
        EXPECT_EQ(stand != nullptr ? stand->name : "", row.stand);
        if (row.dlh1There) EXPECT_EQ(g_liveAircraft[0].simState == AcSimState::removingfromsim, row.dlh1Removed);
        g_liveAircraft.clear();
    }
}

TEST_F(SpawnAtStands, AParkedAircraftTakesTheSimulatorsPoseAndStandsOnTheGround) {
    struct Row {
        const char* name;
        AcPhase phase;
        bool promoted, elevationKnown;
        double altitude;  // of pose and front point afterwards
        double latitude;
    };
    for (const Row& row : {Row{"parked, elevation known", AcPhase::parked, false, true, 441.0, kA2.lat},
                           Row{"elevation not yet known", AcPhase::parked, false, false, 450.0, kA2.lat},
                           Row{"taken over from a static", AcPhase::parked, true, true, 450.0, kA2.lat},
                           Row{"taxiing", AcPhase::taxi, false, true, 0.0, kA1.lat}}) {
        SCOPED_TRACE(row.name);
        LiveAc& ac = resting(kHex, kA1);
        ac.phase = row.phase;
        ac.promoted = row.promoted ? 1 : 0;
        ac.simPose = {kA2.lat, kA2.lon, -0.01, 0.0, 2.0, 450.0, 300.0, 12.0};
        ac.hasSimPose = ac.hasStaticCg = 1;
        ac.groundOffsetFt = 8.0;
        ac.motion.standGroundElevationFt = 433.0;
        ac.motion.standGroundElevationKnown = row.elevationKnown ? 1 : 0;
        applySimPoseAtStand(ac);
        EXPECT_EQ(ac.pose.latitude, row.latitude);
        EXPECT_EQ(ac.stream.front().lat, row.latitude);
        EXPECT_EQ(ac.pose.altitude, row.altitude);
        EXPECT_EQ(ac.stream.front().altitudeFt, row.altitude);
        if (row.phase == AcPhase::parked) {
            EXPECT_EQ(ac.pose.trueAirspeed, 0.0);
            EXPECT_DOUBLE_EQ(ac.stream.front().trackDeg, 2.0 * radiansToDegrees);
        }
        g_liveAircraft.clear();
    }
}

TEST_F(SpawnAtStands, AParkedAircraftWhoseObjectExistsParksOverTheStaticsThere) {
    // A static from the airport file planned for the stand.
    const auto planned = [](std::int32_t standId) {
        StaticToPlace item;
        item.source = 1;
        item.standId = standId;
        return item;
    };
    for (const bool quiet : {false, true}) {
        SCOPED_TRACE(quiet);
        g_staticAircraft.clear();
        staticsToPlace = {planned(1), planned(3), planned(1)};
        newLogLines();
        LiveAc& ac = parkedLive(kHex, 1, "KLM1234");
        ac.onGround = 0;
        ac.motion.departurePending = 1;
        staticOn(5, 1, AcSimState::active);
        hp_handleGroundTraffic(ac, quiet);
        EXPECT_EQ(ac.onGround, 1);
        EXPECT_EQ(ac.motion.departurePending, 0);
        EXPECT_EQ(ac.motion.takeoffCountdown, 1);
        EXPECT_EQ(ac.parkTime, static_cast<double>(kWeekTime));
        ASSERT_EQ(staticsToPlace.size(), 1u);
        EXPECT_EQ(staticsToPlace[0].standId, 3);
        EXPECT_EQ(findStatic(5)->simState, AcSimState::removingfromsim);
        const std::string log = newLogLines();
        EXPECT_THAT(log, HasSubstr("GATE A1       : KLM1234  parks over static STA5 , static will be removed"));
        EXPECT_EQ(countOf(log, "KLM1234  parks\n"), quiet ? 0u : 1u);
        g_liveAircraft.clear();
    }
    // Not parked: it only stands on the ground, nothing at the stand changes.
    staticsToPlace = {planned(1)};
    LiveAc& taxiing = addLive(kHex, AcSimState::active, 800, {point(kA1.lat, kA1.lon)});
    taxiing.standId = 1;
    takeEvents();
    hp_handleGroundTraffic(taxiing, false);
    EXPECT_EQ(taxiing.motion.takeoffCountdown, 1);
    EXPECT_EQ(staticsToPlace.size(), 1u);
    EXPECT_THAT(takeEvents(), ::testing::Contains(::testing::Field(&SimClientEventCommand::eventId, GEAR_SET)));
}

TEST_F(SpawnAtStands, OneTakenOffItsStandForTheParkedBoundsStaysAwayWhileItStands) {
    // The oldest of a surplus of live parked aircraft is removed, and the log
    // says it is not shown until it moves: its next reports, standing on its
    // stand, create it no more. Not taken off, the same reports park it.
    for (const bool takenOff : {true, false}) {
        SCOPED_TRACE(takenOff ? "taken off" : "never taken off");
        restart();
        gf_resetLiveVsParkedPasses();
        LiveAc& parked = parkedLive(kHex, 1, "KLM1234");
        newLogLines();
        if (takenOff) lf_removeNOldestLiveParked(1);
        EXPECT_EQ(parked.simState, takenOff ? AcSimState::removingfromsim : AcSimState::active);
        EXPECT_EQ(countOf(newLogLines(), "KLM1234 PH-BXA parked beyond the parked traffic wanted: not shown until it moves"),
                  takenOff ? 1u : 0u);
        g_liveAircraft.clear();
        LiveAc& again = resting(kHex, kA1);
        spawnLiveAc(again);
        EXPECT_EQ(again.simState, takenOff ? AcSimState::buffer : AcSimState::adding2sim);
    }
    gf_resetLiveVsParkedPasses();
}
