// The spawn gate and spawnLiveAc: the live limit, the create queue, low
// traffic over the airport, the no-match set, ghosts, taxiing aircraft and
// the key completed at spawn.

#include <gmock/gmock.h>

#include <array>

#include "airports/current_airport.h"
#include "engine/spawn.h"
#include "engine/geometry.h"
#include "motion/air_movement.h"
#include "foundation/geodesy.h"
#include "liveries/failed_liveries.h"

#include "engine_fixture.h"
#include "support/stand_table.h"

using namespace tavo::test;

namespace {

class Spawn : public EngineTest {
protected:
    // A new aircraft whose points are all due, airborne at the altitude.
    static LiveAc& newcomer(std::uint32_t hexid, double altitudeFt, int points = 3) {
        std::deque<StreamPoint> stream;
        for (int i = 0; i < points; ++i) stream.push_back(point(50.1, 8.0 + 0.01 * i, altitudeFt, altitudeFt > 0));
        LiveAc& ac = addLive(hexid, AcSimState::buffer, 0, std::move(stream));
        ac.phase = AcPhase::birth;
        return ac;
    }
    // A taxiing aircraft of two or more points whose create is sent at the
    // tick, placed as it goes out.
    static LiveAc& taxiingCreatedAt(std::uint32_t hexid, std::deque<StreamPoint> stream, std::int32_t now,
                                    AiCreateRequest& r) {
        g_liveAircraft.clear();
        LiveAc& ac = addLive(hexid, AcSimState::adding2sim, 0, std::move(stream));
        ac.phase = AcPhase::taxi;
        tickCount = now;
        r = request(hexid);
        gf_placeLateCreateNow(r);
        return ac;
    }
    static void setAirport(double altitudeFt) {
        AirportListEntry airport;
        airport.icao = IcaoCode("EDDF");
        airport.iata = IataCode("FRA");
        airport.position = {50.03, 8.57};
        airport.altitudeFt = static_cast<std::int32_t>(altitudeFt);
        gf_setCurrentAirport(airport);
    }
    void TearDown() override {
        gf_clearCurrentAirport();
        EngineTest::TearDown();
    }
};

}  // namespace

TEST_F(Spawn, TheLiveLimitDropsNewcomersUnlessItIsOff) {
    struct Row {
        std::int32_t limit;
        int inSim;  // aircraft adding2sim or active
        bool spawned;
    };
    for (const Row row : {Row{0, 0, false}, Row{500, 600, true}, Row{3, 3, false}, Row{3, 2, true}}) {
        SCOPED_TRACE(row.limit);
        g_liveAircraft.clear();
        harness->settings([&](SettingsSnapshot& s) { s.MAX_LIVE_SEL = row.limit; });
        for (int i = 0; i < row.inSim; ++i)
            addLive(0x500100 + i, i % 2 == 0 ? AcSimState::active : AcSimState::adding2sim, 200 + i);
        LiveAc& ac = newcomer(0x500001, 5000.0);
        checkSpawnLiveAc(ac);
        EXPECT_EQ(ac.simState == AcSimState::adding2sim, row.spawned);
        EXPECT_EQ(ac.removeRecord, row.spawned ? 0 : 1);
    }
}

TEST_F(Spawn, ElevenQueuedCreatesConsumeThePointsFlownPastButNeverTheLastTwo) {
    // Held back while more than ten creates queue: a point goes once the
    // next one is due, never the last two, so that the aircraft keeps its
    // place and appears where its reports are when its turn comes. On the
    // ground, nor the last report at rest before the reports walk off (where
    // its stand is found, its pushback then played from there); a taxi
    // setting off from a hold goes on as any other.
    struct Row {
        const char* name;
        std::int32_t secondDueIn;  // ticks from now
        std::vector<std::size_t> sizes;
        std::vector<double> groundKt = {};  // on the ground at these speeds; empty: airborne
    };
    const Row rows[] = {
        {"every point due", 0, {2u, 2u, 2u}},
        {"the second point not yet due", 100, {3u, 3u, 3u}},
        {"on the ground, at rest and then pushed back", 0, {4u, 4u, 4u}, {0.0, 0.0, 2.9, 2.9, 2.9}},
        {"on the ground, at rest and then taxiing", 0, {4u, 3u, 2u}, {0.0, 0.0, 12.0, 12.0, 12.0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        liveCreateQueue.clear();
        for (int i = 0; i < 11; ++i) liveCreateQueue.push_back(request(0x500200 + i));
        LiveAc& ac = newcomer(0x500002, row.groundKt.empty() ? 5000.0 : 0.0,
                              row.groundKt.empty() ? 3 : static_cast<int>(row.groundKt.size()));
        for (std::size_t i = 0; i < row.groundKt.size(); ++i) ac.stream[i].groundSpeedKt = row.groundKt[i];
        ac.stream[0].playTick = tickCount.load();
        for (std::size_t i = 1; i < ac.stream.size(); ++i) ac.stream[i].playTick = tickCount.load() + row.secondDueIn;
        std::vector<std::size_t> sizes;
        for (int i = 0; i < 3; ++i) {
            checkSpawnLiveAc(ac);
            sizes.push_back(ac.stream.size());
        }
        EXPECT_EQ(sizes, row.sizes);
        EXPECT_EQ(ac.removeRecord, 0);
        EXPECT_EQ(ac.simState, AcSimState::buffer);
        liveCreateQueue.pop_back();  // ten queued: no longer too many
        checkSpawnLiveAc(ac);
        EXPECT_EQ(ac.simState, AcSimState::adding2sim);
    }
}

TEST_F(Spawn, ALoneReportWaitsHalfAMinuteForTheNext) {
    // One report, due this long ago: on the ground (a parked aircraft's
    // reports pause too), and in the air without a speed to fly on at, it
    // waits for the next one (which then shows the aircraft) for 30 s after
    // it fell due; waited out, it goes and the record with it. A flying one
    // with a speed and a track waits 3 s (any report sent within the feed's
    // delay after it is here by then), then is shown flying on from it -
    // unless a later report out of its reach is held that is not where
    // flying on puts it (one of them is wrong): 5000 ft lower, or 2 km off
    // (300 m on its way is borne out).
    enum class Held { none, onItsWay, lower, off };
    struct Row {
        double altitudeFt;
        std::int32_t dueAgo;
        bool waits;
        double groundSpeedKt = 250.0;
        bool fliesOn = false;
        Held held = Held::none;
    };
    for (const Row row : {Row{5000.0, 0, true}, Row{5000.0, 299, true}, Row{5000.0, 300, false, 250.0, true},
                          Row{5000.0, 300, false, 250.0, true, Held::onItsWay},
                          Row{5000.0, 300, true, 250.0, false, Held::lower},
                          Row{5000.0, 300, true, 250.0, false, Held::off},
                          Row{5000.0, 2999, false, 250.0, true}, Row{5000.0, 2999, true, 0.0},
                          Row{5000.0, 3000, false, 0.0}, Row{5000.0, 300, true, 1000.0},
                          Row{0.0, 0, true, 10.0}, Row{0.0, 2999, true, 10.0}, Row{0.0, 3000, false, 10.0}}) {
        SCOPED_TRACE(::testing::Message() << row.altitudeFt << " " << row.dueAgo << " " << row.groundSpeedKt);
        g_liveAircraft.clear();
        LiveAc& ac = newcomer(0x500030, row.altitudeFt, 1);
        ac.stream[0].playTick = tickCount.load() - row.dueAgo;
        ac.stream[0].groundSpeedKt = row.groundSpeedKt;
        ac.stream[0].trackDeg = 90.0;
        if (row.held != Held::none) {
            // 2 s after the report: 257 m east at 250 kt.
            const double eastM = row.held == Held::off ? 2257.0 : 257.0 + (row.held == Held::onItsWay ? 40.0 : 0.0);
            const LaLo at = gf_destinationPoint({50.1, 8.0}, {90.0 * degreesToRadians, eastM * feetPerMetre});
            ac.motion.heldJump = point(at.lat, at.lon, row.held == Held::lower ? 0.0 : 5000.0, true,
                                       ac.stream[0].playTick + 200);
            ac.motion.heldJumpSet = 1;
        }
        checkSpawnLiveAc(ac);
        if (row.fliesOn) {
            // Shown at once, flying on east from its report at its speed
            // for 3 s (386 m at 250 kt).
            EXPECT_EQ(ac.simState, AcSimState::adding2sim);
            ASSERT_GE(ac.stream.size(), 2u);
            const StreamPoint& on = ac.stream[1];
            EXPECT_EQ(on.playTick - ac.stream[0].playTick, 300);
            EXPECT_NEAR(gf_distanceNm({50.1, 8.0}, {on.lat, on.lon}) * metresPerNm, 250.0 * 0.5144444444444445 * 3.0,
                        1.0);
            EXPECT_GT(on.lon, 8.0);
            continue;
        }
        EXPECT_EQ(ac.removeRecord, row.waits ? 0 : 1);
        EXPECT_EQ(ac.stream.size(), row.waits ? 1u : 0u);
        if (!row.waits) continue;
        // The next report: 700 m on in the air, a 15 m walk on the ground.
        const bool air = row.altitudeFt > 0;
        ac.stream.push_back(point(50.1, air ? 8.01 : 8.000215, row.altitudeFt, air, tickCount.load() + 500));
        checkSpawnLiveAc(ac);
        EXPECT_EQ(ac.simState, AcSimState::adding2sim);
    }
}

TEST_F(Spawn, ALoneReportAtRestOnTheGroundIsTakenAsStandingAfterThreeSeconds) {
    // One ground report, due this long ago. At rest it is taken as standing
    // there once due for 3 s, as a second report at rest would have it:
    // with no stand free for it here, the log says so at once, and the
    // report then waits for the next as any lone one does (30 s) instead of
    // being taken as standing again. Moving, it waits all the same.
    struct Row {
        const char* name;
        std::int32_t dueAgo;
        double groundSpeedKt;
        bool toldBefore;
        bool told;
    };
    const Row rows[] = {
        {"at rest, due 2.99 s ago: waits", 299, 0.0, false, false},
        {"at rest, due 3 s ago: standing, told", 300, 0.0, false, true},
        {"at rest, told before: waits", 300, 0.0, true, false},
        {"moving: waits", 300, 10.0, false, false},
    };
    setAirport(300.0);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        LiveAc& ac = newcomer(0x500031, 0.0, 1);
        ac.stream[0].playTick = tickCount.load() - row.dueAgo;
        ac.stream[0].groundSpeedKt = row.groundSpeedKt;
        ac.toldNoStand = row.toldBefore ? 1 : 0;
        newLogLines();
        checkSpawnLiveAc(ac);
        EXPECT_EQ(countOf(newLogLines(), "KLM1234 PH-BXA stands where no stand is free for it: not shown until it moves"),
                  row.told ? 1u : 0u);
        EXPECT_EQ(ac.simState, AcSimState::buffer);
        EXPECT_EQ(ac.removeRecord, 0);
        ASSERT_EQ(ac.stream.size(), 1u);
        // Whatever stands in for the report waits its 30 s, then goes.
        tickCount = ac.stream[0].playTick + 2999;
        checkSpawnLiveAc(ac);
        EXPECT_EQ(ac.removeRecord, 0);
        tickCount = ac.stream[0].playTick + 3000;
        checkSpawnLiveAc(ac);
        EXPECT_EQ(ac.removeRecord, 1);
    }
}

TEST_F(Spawn, LowAirborneTrafficOverTheAirportWaitsExceptRotorcraft) {
    struct Row {
        const char* name;
        bool airport;
        double altitudeFt;
        bool rotorcraft;
        bool spawned;
    };
    const Row rows[] = {
        {"650 ft over the airport", true, 1650.0, false, false},
        {"701 ft over the airport", true, 1701.0, false, true},
        {"700 ft over no airport", false, 700.0, false, false},
        {"a rotorcraft 650 ft over", true, 1650.0, true, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        if (row.airport)
            setAirport(1000.0);
        else
            gf_clearCurrentAirport();
        LiveAc& ac = newcomer(0x500004, row.altitudeFt);
        if (row.rotorcraft) ac.category = Rotorcraft;
        newLogLines();
        checkSpawnLiveAc(ac);
        checkSpawnLiveAc(ac);
        EXPECT_EQ(ac.simState == AcSimState::adding2sim, row.spawned);
        EXPECT_EQ(ac.stream.size(), row.spawned ? 3u : 1u);
        // One waiting low is named in Log.txt, once.
        EXPECT_EQ(countOf(newLogLines(), "KLM1234 PH-BXA flies 700 ft or less above the airport: not shown while it does"),
                  row.spawned ? 0u : 1u);
    }
}

TEST_F(Spawn, ALoneAltitudeSpikeAtTheFrontIsPassedOver) {
    // Three airborne points; a front point further off the next in altitude
    // than 1000 ft and 100 ft a second, where the next and the one after it
    // agree, is passed over before the aircraft is created.
    struct Row {
        const char* name;
        std::array<double, 3> altitudesFt;
        std::int32_t stepTicks;
        bool passedOver;
    };
    const Row rows[] = {
        {"a spike 5000 ft up", {6000.0, 1000.0, 1000.0}, 100, true},
        {"a spike 5000 ft down", {1000.0, 6000.0, 6000.0}, 100, true},
        {"1001 ft off at once", {2001.0, 1000.0, 1000.0}, 0, true},
        {"1000 ft off at once", {2000.0, 1000.0, 1000.0}, 0, false},
        {"a descent of 4000 ft in 30 s", {5000.0, 1000.0, 1000.0}, 3000, false},
        {"the spike is the next point", {1000.0, 6000.0, 1000.0}, 100, false},
        {"no two agree", {6000.0, 1000.0, 6000.0}, 100, false},
    };
    gf_clearCurrentAirport();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        LiveAc& ac = newcomer(0x500040, 1000.0);
        for (std::size_t i = 0; i < 3; ++i) {
            ac.stream[i].altitudeFt = row.altitudesFt[i];
            ac.stream[i].playTick = tickCount.load() + static_cast<std::int32_t>(i) * row.stepTicks;
        }
        checkSpawnLiveAc(ac);
        EXPECT_EQ(ac.simState == AcSimState::adding2sim, !row.passedOver);
        ASSERT_EQ(ac.stream.size(), row.passedOver ? 2u : 3u);
        EXPECT_EQ(ac.stream.front().altitudeFt, row.altitudesFt[row.passedOver ? 1 : 0]);
    }
}

TEST_F(Spawn, AnAircraftWithoutLiveryIsRememberedAndItsTwinDroppedBelowTheTcasLevel) {
    // Only a helicopter is installed, and matching goes no further than the
    // airline's own model: no livery for a KLM B738.
    ScannedLiveriesBuilder heliOnly;
    heliOnly.livery("HEL", "B06", "Heli B06");
    harness->installLiveries(heliOnly);
    harness->settings([](SettingsSnapshot& s) {
        s.TCAS_FL = 100;
        s.MATCHING_DEPTH = 2;
    });
    std::string remembered;
    // Through the gate, which completes the key from the registration; with
    // neither callsign nor registration only spawnLiveAc itself gets that far.
    for (const char* row : {"weak match", "no registration", "a registration"}) {
        SCOPED_TRACE(row);
        const std::string name = row;
        gf_clearNoMatchList();
        g_liveAircraft.clear();
        LiveAc& ac = newcomer(0x500005, 5000.0);
        ac.liveryTitle = {};
        ac.weakLiveryMatch = name == "weak match" ? 1 : 0;
        if (name == "no registration") {
            ac.registration.clear();
            ac.callsign.clear();
            spawnLiveAc(ac);
        } else {
            checkSpawnLiveAc(ac);
        }
        EXPECT_EQ(ac.removeRecord, 1);
        EXPECT_EQ(gf_noMatchCount(), name == "a registration" ? 1u : 0u);
        if (name == "a registration") remembered = gf_acKeyRegistrationText(ac);
    }
    EXPECT_TRUE(gf_isNoMatch(remembered));
    // Liveries are there now, but at or below FL100 the twin is dropped at the
    // gate without a match; above it the match is made.
    harness->installLiveries(EngineHarness::defaultLiveries());
    for (const double altitudeFt : {10000.0, 10001.0}) {
        SCOPED_TRACE(altitudeFt);
        g_liveAircraft.clear();
        LiveAc& twin = newcomer(0x500006, altitudeFt);
        twin.liveryTitle = {};
        checkSpawnLiveAc(twin);
        EXPECT_EQ(twin.removeRecord, altitudeFt <= 10000.0 ? 1 : 0);
        EXPECT_EQ(twin.liveryTitle, altitudeFt <= 10000.0 ? "" : "KLM B738");
    }
}

TEST_F(Spawn, GhostsAndTaxiingAircraft) {
    removedGhosts = {"KLM1234_"};
    LiveAc& replaced = newcomer(0x500007, 5000.0);
    replaced.callsign = "KLM1234_";
    checkSpawnLiveAc(replaced);
    EXPECT_EQ(replaced.removeRecord, 1);

    g_liveAircraft.clear();
    addLive(0x500008, AcSimState::removingfromsim, 300, {}, "DLH400");
    LiveAc& ghost = newcomer(0x500009, 5000.0);
    ghost.callsign = "DLH400_";
    checkSpawnLiveAc(ghost);
    EXPECT_EQ(ghost.simState, AcSimState::adding2sim) << "its twin is leaving";
    g_liveAircraft[0].simState = AcSimState::active;
    LiveAc& second = newcomer(0x50000A, 5000.0);
    second.callsign = "DLH400_";
    checkSpawnLiveAc(second);
    EXPECT_EQ(second.removeRecord, 1);

    // The flight itself comes: its ghost goes.
    g_liveAircraft.clear();
    removedGhosts.clear();
    addLive(0x50000D, AcSimState::active, 301, {}, "DLH401_");
    LiveAc& flight = newcomer(0x50000E, 5000.0);
    flight.callsign = "DLH401";
    checkSpawnLiveAc(flight);
    EXPECT_EQ(flight.simState, AcSimState::adding2sim);
    EXPECT_EQ(g_liveAircraft[0].simState, AcSimState::removingfromsim);
    EXPECT_THAT(removedGhosts, ::testing::ElementsAre("DLH401_"));

    // On the ground without a stand: a fast or standing stream waits.
    setAirport(300.0);
    g_liveAircraft.clear();
    addingStack.clear();
    newLiveCheckQueue.clear();
    LiveAc& fast = newcomer(0x50000B, 0.0);
    fast.stream[2].groundSpeedKt = 31.0;
    newLogLines();
    checkSpawnLiveAc(fast);
    EXPECT_EQ(fast.simState, AcSimState::buffer);
    EXPECT_EQ(fast.stream.size(), 2u);
    // Told once why it is not shown yet.
    const char* const rollsFast = "KLM1234 PH-BXA rolls faster than a taxi where no stand is free for it: not shown until it slows";
    checkSpawnLiveAc(fast);
    EXPECT_EQ(countOf(newLogLines(), rollsFast), 1u);
    // A report miles off (no taxi reaches it in its time) is no move either.
    LiveAc& jump = newcomer(0x50000F, 0.0);
    for (int i = 0; i < 3; ++i) jump.stream[i] = point(50.1, 8.0, 0.0, false, 500 * i);
    jump.stream[1].lon += 0.13;  // 5 NM in 5 s
    checkSpawnLiveAc(jump);
    EXPECT_EQ(jump.simState, AcSimState::buffer);
    EXPECT_EQ(jump.stream.size(), 2u);
    EXPECT_EQ(countOf(newLogLines(), rollsFast), 0u) << "a jump is no fast roll";
    // Nor is a speed no aircraft goes (the feed's 1e6 kt).
    LiveAc& absurd = newcomer(0x500010, 0.0);
    absurd.stream[2].groundSpeedKt = 1e6;
    checkSpawnLiveAc(absurd);
    EXPECT_EQ(absurd.simState, AcSimState::adding2sim);
    EXPECT_EQ(countOf(newLogLines(), rollsFast), 0u) << "1e6 kt is no fast roll";
    // A landing roll's 140 kt is.
    LiveAc& roll = newcomer(0x500011, 0.0);
    roll.stream[2].groundSpeedKt = 140.0;
    checkSpawnLiveAc(roll);
    EXPECT_EQ(roll.simState, AcSimState::buffer);
    EXPECT_EQ(countOf(newLogLines(), rollsFast), 1u);
    LiveAc& calm = newcomer(0x50000C, 0.0);
    calm.destination = IataCode("FRA");
    calm.origin = IataCode("AMS");
    checkSpawnLiveAc(calm);
    EXPECT_EQ(calm.simState, AcSimState::adding2sim);
    EXPECT_EQ(calm.phase, AcPhase::taxi);
    EXPECT_EQ(calm.prevPhase, AcPhase::birth);
    EXPECT_EQ(calm.arrivingHere, 1);
    EXPECT_EQ(calm.onGround, 1);
    EXPECT_THAT(addingStack, ::testing::ElementsAre(0x500010u, 0x50000Cu));
    EXPECT_THAT(newLiveCheckQueue, ::testing::ElementsAre(0x500010u, 0x50000Cu));
}

TEST_F(Spawn, TheKeyIsCompletedFromTheRegistrationOrTheCallsign) {
    harness->installLiveries(EngineHarness::defaultLiveries());  // the aircraft database with its registrations
    struct Row {
        const char* callsign;
        const char* registration;
        const char* airline;
        const char* model;
        const char* wantAirline;
        const char* wantModel;
        bool cargo;
    };
    const Row rows[] = {
        {"EIN123", "EI-DCL", "", "A320", "RYR", "B738", false},  // the database's record
        {"N12345", "N1", "", "C172", "PVT", "C172", false},      // a private flight
        {"FDX41", "N2", "", "B777", "FDX", "B77F", true},        // a cargo operator's B777
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.callsign);
        LiveAc& ac = newcomer(0x50000D, 5000.0);
        ac.callsign = row.callsign;
        ac.registration = row.registration;
        ac.key = AcKey{};
        ac.key.model = gf_internModelCode(row.model);
        completeAcKeyAtSpawn(ac);
        EXPECT_EQ(gf_airlineCodeAt(ac.key.airline), row.wantAirline);
        EXPECT_EQ(gf_modelCodeAt(ac.key.model), row.wantModel);
        EXPECT_EQ(ac.key.cargo, row.cargo ? 1 : 0);
        g_liveAircraft.clear();
    }
}

TEST_F(Spawn, AStandingStartHasNoSpeedOnItsFirstStandingPoints) {
    // Hovering: the second and third points stand where the first does; a
    // fourth point moves on.
    for (const bool thirdStands : {true, false}) {
        LiveAc& ac = newcomer(0x500020 + (thirdStands ? 1 : 0), 3000.0, 4);
        ac.phase = AcPhase::flying;
        for (std::size_t i = 0; i < ac.stream.size(); ++i) ac.stream[i].groundSpeedKt = 40.0;
        ac.stream[1].stationary = 1;
        ac.stream[2].stationary = thirdStands ? 1 : 0;
        spawnLiveAc(ac);
        EXPECT_EQ(ac.stream[0].stationary, 1);
        EXPECT_EQ(ac.stream[0].groundSpeedKt, 0.0);
        EXPECT_EQ(ac.stream[1].groundSpeedKt, 0.0);
        EXPECT_EQ(ac.stream[2].groundSpeedKt, thirdStands ? 0.0 : 40.0);
        EXPECT_EQ(ac.stream[3].groundSpeedKt, 40.0);
    }
}

TEST_F(Spawn, ACreateSentLateStartsWhereItsReportsPutItNow) {
    // Points due at ticks 0, 1000, 2000 and 3000, 0.01 degrees apart; the
    // create is sent at tick 1250 (or 2000, as a point falls due: it starts
    // at that point, not at the pose it was spawned with). A taxiing
    // aircraft (a tow whose lone report waited for the next) is brought up
    // to now as a flying one is; one parked, or whose next report stands,
    // stays where it was placed.
    struct Row {
        AcPhase phase;
        AcSimState state;
        bool airborne;
        bool moved;
        std::int32_t activatedAt = 0;  // shown before (a livery respawn): comes back where it was
        std::int32_t now = 1250;
        bool nextStands = false;
    };
    for (const Row row : {Row{AcPhase::flying, AcSimState::adding2sim, true, true},
                          Row{AcPhase::flying, AcSimState::adding2sim, true, true, 0, 2000},
                          Row{AcPhase::taxi, AcSimState::adding2sim, false, true},
                          Row{AcPhase::taxi, AcSimState::adding2sim, false, true, 0, 2000},
                          Row{AcPhase::taxi, AcSimState::adding2sim, false, false, 0, 1250, true},
                          Row{AcPhase::parked, AcSimState::adding2sim, false, false},
                          Row{AcPhase::taxi, AcSimState::adding2sim, true, false},
                          Row{AcPhase::flying, AcSimState::active, true, false},
                          Row{AcPhase::flying, AcSimState::adding2sim, true, false, 700}}) {
        SCOPED_TRACE(static_cast<int>(row.phase));
        SCOPED_TRACE(row.now);
        g_liveAircraft.clear();
        std::deque<StreamPoint> stream;
        for (int i = 0; i < 4; ++i)
            stream.push_back(
                point(50.0, 8.0 + 0.01 * i, row.airborne ? 5000.0 + 100.0 * i : 0.0, row.airborne, 1000 * i));
        stream[1].stationary = row.nextStands ? 1 : 0;
        LiveAc& ac = addLive(0x500401, row.state, 0, std::move(stream));
        ac.phase = row.phase;
        ac.activationTick = row.activatedAt;
        ac.pose.latitude = 50.0;
        ac.pose.longitude = 8.0;
        ac.motion.groundHeading = 0.0;
        tickCount = row.now;
        AiCreateRequest r = request(0x500401);
        r.position.Longitude = 8.0;
        gf_placeLateCreateNow(r);
        if (!row.moved) {
            EXPECT_EQ(ac.stream.size(), 4u);
            EXPECT_EQ(r.position.Longitude, 8.0);
            EXPECT_EQ(ac.pose.longitude, 8.0);
            continue;
        }
        // The points passed are dropped; the aircraft starts as far from the
        // last one due to the next as the time since it fell due says.
        const double share = row.now / 1000.0;
        const double altitudeFt = row.airborne ? 5000.0 + 100.0 * share : 0.0;
        ASSERT_EQ(ac.stream.size(), 4u - static_cast<std::size_t>(share));
        EXPECT_EQ(ac.stream.front().playTick, row.now);
        EXPECT_NEAR(ac.stream.front().lon, 8.0 + 0.01 * share, 1e-9);
        EXPECT_NEAR(ac.stream.front().altitudeFt, altitudeFt, 1e-9);
        EXPECT_NEAR(r.position.Longitude, 8.0 + 0.01 * share, 1e-9);
        EXPECT_NEAR(ac.pose.longitude, 8.0 + 0.01 * share, 1e-9);
        EXPECT_NEAR(r.position.Altitude, altitudeFt, 1e-9);
        EXPECT_NEAR(r.position.Heading, 90.0, 0.01);
        // On the ground the motion steers from the heading it starts with.
        EXPECT_NEAR(ac.motion.groundHeading, row.airborne ? 0.0 : ac.pose.heading, 1e-12);
    }
}

TEST_F(Spawn, ACreateSentLateInAPauseOverATurnStartsOnTheTurnAlongItsCourse) {
    // Flying at 175 kt on track 340; the next report, 39 s on, lies on track
    // 70 (about 15 degrees from the first by their chord). Created 88 % of
    // the way between them, it starts on the turn they fly, its nose along
    // it: the turn left onto the next report's track is one its nose makes
    // by the time it falls due (on the chord it was 55 degrees off and bent
    // round faster than it turns). Tracks that contradict their chord (one
    // of them 90 degrees off it) tell no turn: it starts on the chord.
    for (const bool contradict : {false, true}) {
        SCOPED_TRACE(contradict ? "a track across the chord" : "tracks that turn");
        g_liveAircraft.clear();
        const LaLo from{47.4237, -122.2876};
        const double chordDeg = 15.0;
        const LaLo to = gf_destinationPoint(from, {chordDeg * degreesToRadians, 3.3 * feetPerNm});
        std::deque<StreamPoint> stream{point(from.lat, from.lon, 13400.0, true, 0),
                                       point(to.lat, to.lon, 13400.0, true, 3900)};
        stream[0].trackDeg = contradict ? chordDeg + 90.0 : 340.0;
        stream[1].trackDeg = 70.0;
        stream[0].groundSpeedKt = stream[1].groundSpeedKt = 175.0;
        LiveAc& ac = addLive(0x500411, AcSimState::adding2sim, 0, std::move(stream));
        ac.phase = AcPhase::flying;
        ac.category = Large;
        tickCount = 3432;
        AiCreateRequest r = request(0x500411);
        gf_placeLateCreateNow(r);
        const double leftToTurn = std::fabs(std::remainder(70.0 - r.position.Heading, 360.0));
        const double turnsDeg = gf_airTurnRateRad(Large) / degreesToRadians * (3900 - 3432) / 100.0;
        if (contradict) {
            EXPECT_NEAR(r.position.Heading, chordDeg, 0.5);
        } else {
            EXPECT_LE(leftToTurn, turnsDeg);
            // Its first leg sets off from the turn, not the chord.
            const double offChordM = gf_relativePosition(from, chordDeg * degreesToRadians,
                                                         {ac.pose.latitude, ac.pose.longitude}).across;
            EXPECT_GT(std::fabs(offChordM), 50.0);
        }
    }
}

TEST_F(Spawn, ATaxiingCreateSentLateStartsPastAStopItsReportsHadLeftAlready) {
    // Points due at ticks 0, 1000, 2000 (a stop: the one before repeated at
    // no speed), 3000 and 4000, 0.01 degrees apart but for the stop; the
    // create is sent at 3250 (it waited its turn). It starts a quarter of
    // the way from the point due at 3000 to the next, as one without the
    // stop would, not at the first point, from which its first leg would
    // reach one due long before in a single tick.
    g_liveAircraft.clear();
    std::deque<StreamPoint> stream;
    for (const double lonStep : {0.0, 1.0, 1.0, 2.0, 3.0})
        stream.push_back(point(50.0, 8.0 + 0.01 * lonStep, 0.0, false, 1000 * static_cast<int>(stream.size())));
    stream[2].stationary = 1;
    stream[2].groundSpeedKt = 0.0;
    LiveAc& ac = addLive(0x500406, AcSimState::adding2sim, 0, std::move(stream));
    ac.phase = AcPhase::taxi;
    tickCount = 3250;
    AiCreateRequest r = request(0x500406);
    gf_placeLateCreateNow(r);
    ASSERT_EQ(ac.stream.size(), 2u);
    EXPECT_EQ(ac.stream.front().playTick, 3250);
    EXPECT_NEAR(ac.stream.front().lon, 8.0225, 1e-9);
    EXPECT_NEAR(r.position.Longitude, 8.0225, 1e-9);
}

TEST_F(Spawn, ATaxiingCreateAfterAReportAtRestStartsWhereItCanMeetTheNextOnTime) {
    // A report at rest due at tick 1000, the next east of it due at 2000;
    // the create is sent at 1250. When the next lies beyond what speeding
    // up from rest at the taxi rate to its reported pace covers in the 7.5 s
    // left, the report at rest repeats a spot the aircraft had left: it
    // starts that far from the next (at 5 kt 18.0 m; at 40 kt, still
    // speeding up when it arrives, 70.3 m). Where it reaches (20 kt: 56 m of
    // the 53.6 m left), or the first report moves (10 kt), it starts a
    // quarter of the way, as the time says.
    struct Row {
        double frontKt, nextKt;
        double nextEastDeg;
        double westOfNextM;  // where it starts
    };
    const double metresPerDegree = 60.0 * metresPerNm * std::cos(50.0 * degreesToRadians);
    for (const Row row : {Row{0.0, 5.0, 0.01, 17.97}, Row{0.0, 40.0, 0.01, 70.31},
                          Row{0.0, 20.0, 0.001, 0.00075 * metresPerDegree},
                          Row{10.0, 5.0, 0.01, 0.0075 * metresPerDegree}}) {
        SCOPED_TRACE(row.frontKt);
        SCOPED_TRACE(row.nextKt);
        const double nextLon = 8.0 + row.nextEastDeg;
        std::deque<StreamPoint> stream{point(50.0, 8.0, 0.0, false, 1000), point(50.0, nextLon, 0.0, false, 2000),
                                       point(50.0, nextLon + 0.01, 0.0, false, 3000)};
        stream[0].groundSpeedKt = row.frontKt;
        stream[1].groundSpeedKt = row.nextKt;
        AiCreateRequest r;
        const LiveAc& ac = taxiingCreatedAt(0x500404, std::move(stream), 1250, r);
        ASSERT_EQ(ac.stream.size(), 3u);
        EXPECT_EQ(ac.stream[0].playTick, 1250);
        EXPECT_NEAR((nextLon - ac.stream[0].lon) * metresPerDegree, row.westOfNextM, 0.05);
        EXPECT_NEAR(ac.stream[0].lat, 50.0, 1e-6);
        EXPECT_NEAR(ac.pose.longitude, ac.stream[0].lon, 1e-12);
        EXPECT_NEAR(r.position.Longitude, ac.stream[0].lon, 1e-12);
        EXPECT_NEAR(r.position.Heading, 90.0, 0.01);
    }
}

TEST_F(Spawn, ATaxiingCreateAfterAPushbackReportStartsOnTheLineOfItsTaxi) {
    // The front (tick 1000) moves at 3 kt on track 45, the next (4000) lies
    // 16 m north-east and taxis on track 270 at 7 kt; the create goes out at
    // 1250. Pushed back (nose 225) before a taxi west, it starts on the
    // taxi's line, those 16 m east of the next, nose west, from rest. Sent
    // out at 3850, 1.5 s before the next is due, it starts no further back
    // than 7 kt covers in that time (5.4 m): from the whole chord back it
    // raced there. Otherwise (nose first, or the next pushed back on) it
    // starts a twelfth of the way along the chord, nose along it.
    struct Row {
        double frontNoseDeg, nextNoseDeg;
        bool onTaxiLine;
        std::int32_t now = 1250;
    };
    const double metresPerDegreeLon = 60.0 * metresPerNm * std::cos(50.0 * degreesToRadians);
    const LaLo front{50.0, 8.0};
    const LaLo next{50.0001, 8.00015};
    for (const Row row : {Row{225.0, 270.0, true}, Row{225.0, 270.0, true, 3850}, Row{45.0, 270.0, false},
                          Row{225.0, 90.0, false}}) {
        SCOPED_TRACE(row.frontNoseDeg);
        SCOPED_TRACE(row.nextNoseDeg);
        SCOPED_TRACE(row.now);
        std::deque<StreamPoint> stream{point(front.lat, front.lon, 0.0, false, 1000),
                                       point(next.lat, next.lon, 0.0, false, 4000),
                                       point(50.0001, 8.0, 0.0, false, 5000)};
        const double kt[] = {3.0, 7.0}, trackDeg[] = {45.0, 270.0}, noseDeg[] = {row.frontNoseDeg, row.nextNoseDeg};
        for (int i = 0; i < 2; ++i) {
            stream[i].groundSpeedKt = kt[i];
            stream[i].trackDeg = trackDeg[i];
            stream[i].hasTrueHeading = 1;
            stream[i].trueHeading = noseDeg[i] * degreesToRadians;
        }
        AiCreateRequest r;
        const LiveAc& ac = taxiingCreatedAt(0x500405, std::move(stream), row.now, r);
        const StreamPoint& start = ac.stream[0];
        EXPECT_EQ(start.playTick, row.now);
        EXPECT_NEAR(r.position.Longitude, start.lon, 1e-12);
        if (row.onTaxiLine) {
            const double behindM = (start.lon - next.lon) * metresPerDegreeLon;
            const double leftS = (4000 - row.now) / 100.0;
            EXPECT_NEAR(start.lat, next.lat, 1e-7);
            if (row.now == 1250)
                EXPECT_NEAR(behindM, gf_distanceNm(front, next) * metresPerNm, 0.1);
            else
                EXPECT_TRUE(behindM > 0.0 && behindM <= 7.0 * metresPerNm / 3600.0 * leftS) << behindM << " m";
            EXPECT_NEAR(r.position.Heading, 270.0, 0.01);
            EXPECT_EQ(start.groundSpeedKt, 0.0);
        } else {
            EXPECT_NEAR(start.lon, 8.0 + 0.00015 / 12.0, 1e-7);
            EXPECT_NEAR(r.position.Heading, gf_bearing(front, next) * radiansToDegrees, 0.01);
        }
    }
}

TEST_F(Spawn, AnAirborneCreateSentAfterItsLastReportFliesOnFromIt) {
    // Two points due at ticks 1000 and 2000, 0.01 degrees east of each other
    // at 250 kt; the create goes out after the last one fell due (it waited
    // its turn through a report gap): it starts where flying on east from
    // the last report puts it now, for at most a minute, and flies on.
    // A reported speed its reports' own 0.386 NM in 10 s rule out gives way
    // to theirs.
    struct Row {
        std::int32_t now;
        double reportedKt;
        double kt;  // flown on at
    };
    const double nmPerDegree = 60.0 * std::cos(50.0 * degreesToRadians);
    const double ownKt = 0.01 * nmPerDegree * 360.0;
    for (const Row row : {Row{2500, 250.0, 250.0}, Row{12000, 250.0, 250.0}, Row{2500, 1e6, ownKt}}) {
        SCOPED_TRACE(row.now);
        SCOPED_TRACE(row.reportedKt);
        const double eastNm = row.kt * std::min(row.now - 2000, 6000) / 360000.0;
        g_liveAircraft.clear();
        LiveAc& ac = addLive(0x500402, AcSimState::adding2sim, 0,
                             {point(50.0, 8.0, 5000.0, true, 1000), point(50.0, 8.01, 5000.0, true, 2000)});
        ac.stream[1].groundSpeedKt = row.reportedKt;
        ac.phase = AcPhase::flying;
        tickCount = row.now;
        AiCreateRequest r = request(0x500402);
        gf_placeLateCreateNow(r);
        ASSERT_EQ(ac.stream.size(), 2u);
        EXPECT_EQ(ac.stream[0].playTick, row.now);
        EXPECT_NEAR(ac.stream[0].lon, 8.01 + eastNm / nmPerDegree, 2e-5);
        EXPECT_NEAR(ac.stream[0].lat, 50.0, 1e-4);
        EXPECT_NEAR(r.position.Longitude, ac.stream[0].lon, 1e-12);
        EXPECT_NEAR(r.position.Heading, 90.0, 0.1);
        // Three seconds on, the next point.
        EXPECT_EQ(ac.stream[1].playTick, row.now + 300);
        EXPECT_NEAR(ac.stream[1].lon - ac.stream[0].lon, row.kt * 3.0 / 3600.0 / nmPerDegree, 2e-5);
    }
    // On the ground an aircraft is not driven on beyond its last report (its
    // stream's end stops it there): it starts at it, due now, with or without
    // a stop repeating it after, not at the last but one, from which its
    // first leg chased a point due before it was created. Its nose is that
    // report's track (100), not the chord's (90).
    for (const bool stopAfter : {false, true}) {
        SCOPED_TRACE(stopAfter);
        std::deque<StreamPoint> stream{point(50.0, 8.0, 0.0, false, 1000), point(50.0, 8.01, 0.0, false, 2000)};
        stream[1].trackDeg = 100.0;
        if (stopAfter) {
            stream.push_back(point(50.0, 8.01, 0.0, false, 3000));
            stream.back().stationary = 1;
            stream.back().groundSpeedKt = 0.0;
        }
        AiCreateRequest r;
        const LiveAc& taxiing = taxiingCreatedAt(0x500403, std::move(stream), 2500, r);
        ASSERT_EQ(taxiing.stream.size(), stopAfter ? 2u : 1u);
        EXPECT_EQ(taxiing.stream[0].playTick, 2500);
        EXPECT_EQ(taxiing.stream[0].lon, 8.01);
        EXPECT_EQ(taxiing.pose.longitude, 8.01);
        EXPECT_EQ(r.position.Longitude, 8.01);
        EXPECT_NEAR(r.position.Heading, 100.0, 1e-9);
        EXPECT_NEAR(taxiing.motion.groundHeading, 100.0 * degreesToRadians, 1e-12);
    }
}

TEST_F(Spawn, AnAirborneCreateSentAfterItsLastReportFliesOnAlongTheirTurn) {
    // Two reports 6 s apart at 224 kt, the second on the arc of a steady
    // 3 degree a second right turn from the first (track 150); the create goes
    // out 19 s after the second. Tracks 150 and 168 fly that turn: it starts
    // on the arc flown on, nose and track 225, and the turn goes on. Tracks
    // whose middle (110) runs far off the chord (159) fly on straight.
    constexpr double kt = 224.0;
    const auto arc = [](LaLo from, double courseDeg, double turnDegPerS, double seconds) {
        const double turnRad = turnDegPerS * seconds * degreesToRadians;
        // A steady turn's chord runs along its middle course.
        const double chordNm =
            kt * seconds / 3600.0 * (turnRad == 0.0 ? 1.0 : std::sin(turnRad / 2.0) / (turnRad / 2.0));
        return gf_destinationPoint(
            from, {(courseDeg + turnDegPerS * seconds / 2.0) * degreesToRadians, chordNm * feetPerNm});
    };
    const LaLo front{50.0, 8.0};
    const LaLo next = arc(front, 150.0, 3.0, 6.0);
    for (const double turnDegPerS : {3.0, 0.0}) {
        SCOPED_TRACE(turnDegPerS);
        g_liveAircraft.clear();
        LiveAc& ac = addLive(0x500403, AcSimState::adding2sim, 0,
                             {point(front.lat, front.lon, 5000.0, true, 1000),
                              point(next.lat, next.lon, 5000.0, true, 1600)});
        ac.stream[0].trackDeg = turnDegPerS != 0.0 ? 150.0 : 100.0;
        ac.stream[1].trackDeg = turnDegPerS != 0.0 ? 168.0 : 120.0;
        ac.stream[1].groundSpeedKt = kt;
        ac.phase = AcPhase::flying;
        tickCount = 3500;
        AiCreateRequest r = request(0x500403);
        gf_placeLateCreateNow(r);
        const double startDeg = turnDegPerS != 0.0 ? 168.0 : gf_bearing(front, next) * radiansToDegrees;
        EXPECT_LT(gf_distanceNm({ac.stream[0].lat, ac.stream[0].lon}, arc(next, startDeg, turnDegPerS, 19.0)) *
                      metresPerNm,
                  5.0);
        const double noseDeg = startDeg + turnDegPerS * 19.0;
        EXPECT_NEAR(r.position.Heading, noseDeg, 0.5);
        if (turnDegPerS != 0.0) EXPECT_NEAR(ac.stream[1].trackDeg, noseDeg + 9.0, 0.5) << "the turn goes on";
    }
}

TEST_F(Spawn, AStandingAircraftWithoutAFreeStandWaitsAndTheLogSaysSoOnce) {
    setAirport(300.0);
    LiveAc& standing = newcomer(0x500501, 0.0, 4);
    for (StreamPoint& p : standing.stream) {
        p.lon = 8.0;
        p.stationary = 1;
        p.groundSpeedKt = 0.0;
    }
    for (int i = 0; i < 2; ++i) {
        checkSpawnLiveAc(standing);
        EXPECT_EQ(standing.simState, AcSimState::buffer);
    }
    EXPECT_EQ(standing.stream.size(), 2u);
    EXPECT_EQ(countOf(logText(), "KLM1234 PH-BXA stands where no stand is free for it: not shown until it moves"), 1u)
        << logText();
}

// Reports at rest that scatter a few metres (no stand free for it) are one
// standing aircraft: it waits, and the log says so. Farther apart, or said to
// move, they are a move, and the aircraft is shown.
TEST_F(Spawn, ReportsAtRestScatteredAroundOneSpotAreAStandingAircraft) {
    setAirport(300.0);
    const double kMetreDeg = 1.0 / (60.0 * metresPerNm * std::cos(50.1 * degreesToRadians));  // 1 m east
    struct Row {
        const char* what;
        double apartM;
        double secondKt;
        bool waits;
    };
    const Row rows[] = {
        {"18 m apart, both at rest", 18.0, 0.0, true},
        {"34.9 m apart, both at rest", 34.9, 0.0, true},
        {"35.5 m apart, both at rest", 35.5, 0.0, false},
        {"18 m apart, the second moving", 18.0, 3.0, false},
    };
    std::uint32_t hexid = 0x500581;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        g_liveAircraft.clear();
        std::deque<StreamPoint> stream;
        for (int i = 0; i < 3; ++i) {
            StreamPoint p = point(50.1, 8.0 + (i % 2) * row.apartM * kMetreDeg, 0.0, false, 800 * i);
            p.groundSpeedKt = i == 1 ? row.secondKt : 0.0;
            stream.push_back(p);
        }
        LiveAc& ac = addLive(hexid++, AcSimState::buffer, 0, std::move(stream));
        ac.phase = AcPhase::birth;
        newLogLines();
        tickCount.store(0);
        checkSpawnLiveAc(ac);
        EXPECT_EQ(ac.simState, row.waits ? AcSimState::buffer : AcSimState::adding2sim);
        EXPECT_EQ(countOf(newLogLines(), "KLM1234 PH-BXA stands where no stand is free for it: not shown until it moves"),
                  row.waits ? 1u : 0u);
    }
}

// Reports that walk an aircraft off the stand it stood on (no stand free for
// it) push it back: it appears where they stop, nose toward its taxi, not on
// the stand to follow the push nose first and turn round at its end, also
// when its turn to be created comes only as they walk off (its last report at
// rest the only one left). The log says why it is not shown meanwhile, also
// when it was first heard in its push and its reports end there. One that
// never stood, stood off the stands (a tow from the lane), or whose reports
// cover taxi ground however slow they say it goes is created at once.
TEST_F(Spawn, AnAircraftPushedBackWhereNoStandIsFreeAppearsWhereItsTaxiBegins) {
    setAirport(300.0);
    // The spot it stands on is a stand, 20 m across; the lane is 100 m west.
    setStandTable({StandSpec("GATE 1", {50.1, 8.0}, ParkingType::GATE_MEDIUM, 20.0)});
    constexpr double kStepDeg = 0.000215;  // about 15 m east at 50 N: 3 kt over 10 s
    struct Row {
        const char* what;
        bool stoodFirst;
        double standsAtLon;
        double walkStepDeg;  // each walking report this far east of the one before
        bool waits;
        bool quickReport = false;  // one more walking report 2 m on half a second later
        // Only its last report at rest is left when its turn comes (the
        // others were consumed while the creates queued).
        bool lastAtRestOnly = false;
        bool tailFirst = false;  // the walking reports' nose against their track
        bool absurdSpeed = false;  // the second walking report at a speed no aircraft goes
        bool pushEnds = false;     // no report after the walking ones
    };
    const Row rows[] = {
        {"pushed back off a stand", true, 8.0, kStepDeg, true},
        {"pushed back, one report at 1e6 kt", true, 8.0, kStepDeg, true, false, false, false, true},
        {"first heard off the stand, pushed tail first", false, 8.0, kStepDeg, true, false, false, true},
        {"first heard in its push, its reports ending there", false, 8.0, kStepDeg, true, false, false, true, false,
         true},
        {"pushed back, two reports half a second apart", true, 8.0, kStepDeg, true, true},
        {"pushed back, its turn come as it walked off", true, 8.0, kStepDeg, true, false, true},
        {"towed from the lane", true, 7.9986, kStepDeg, false},
        {"towed from the lane, its turn come as it walked off", true, 7.9986, kStepDeg, false, false, true},
        {"walking without having stood", false, 8.0, kStepDeg, false},
        {"said to walk, covering taxi ground", true, 8.0, 3.0 * kStepDeg, false},
    };
    std::uint32_t hexid = 0x500601;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::deque<StreamPoint> stream;
        const auto add = [&](double lon, bool stands, double kt) {
            StreamPoint p = point(50.1, lon, 0.0, false, 1000 * static_cast<std::int32_t>(stream.size()));
            p.stationary = stands ? 1 : 0;
            p.groundSpeedKt = kt;
            stream.push_back(p);
        };
        if (row.lastAtRestOnly) {
            add(row.standsAtLon, false, 0.0);
        } else if (row.stoodFirst) {
            add(row.standsAtLon, true, 0.0);
            add(row.standsAtLon, true, 0.0);
        }
        for (const double steps : {1.0, 2.0}) {
            add(row.standsAtLon + steps * row.walkStepDeg, false, 3.0);
            stream.back().trackDeg = 90.0;
            stream.back().hasTrueHeading = row.tailFirst ? 1 : 0;
            stream.back().trueHeading = 270.0 * degreesToRadians;
            if (steps == 2.0 && row.absurdSpeed) stream.back().groundSpeedKt = 1e6;
        }
        double stopLon = row.standsAtLon + 2.0 * row.walkStepDeg;
        if (row.quickReport) {
            stopLon += 0.000028;
            add(stopLon, false, 3.0);
            stream.back().playTick = stream[stream.size() - 2].playTick + 50;
        }
        if (!row.pushEnds) {
            add(stopLon, true, 0.0);
            add(stopLon - 0.00108, false, 15.0);  // the taxi west, 77 m in 10 s
            add(stopLon - 0.00216, false, 15.0);
        }
        LiveAc& ac = addLive(hexid++, AcSimState::buffer, 0, std::move(stream));
        ac.phase = AcPhase::birth;
        const double firstLon = ac.stream.front().lon;
        newLogLines();
        for (int i = 0; i < 8 && ac.simState == AcSimState::buffer && ac.removeRecord == 0; ++i) {
            // Each try when its front report falls due.
            tickCount.store(ac.stream.front().playTick);
            checkSpawnLiveAc(ac);
        }
        // While it waits for its taxi, the log says once why it is not shown.
        if (row.waits)
            EXPECT_EQ(countOf(newLogLines(), "KLM1234 PH-BXA stands where no stand is free for it: not shown until it "
                                             "moves"),
                      1u);
        if (row.pushEnds) {
            EXPECT_EQ(ac.simState, AcSimState::buffer);
            continue;
        }
        ASSERT_EQ(ac.simState, AcSimState::adding2sim);
        EXPECT_EQ(ac.phase, AcPhase::taxi);
        if (row.waits) {
            EXPECT_NEAR(ac.pose.longitude, stopLon, 1e-9) << "where its pushback ended";
            EXPECT_NEAR(ac.pose.heading * radiansToDegrees, 270.0, 1.0) << "its nose toward the taxi";
        } else {
            EXPECT_NEAR(ac.pose.longitude, firstLon, 1e-9) << "where its reports began";
        }
    }
    clearStandTable();
}

// Pushed back off a stand not free for it, its reports of the push going on
// straight set aside: the last one kept pushes it back at 3 kt, the next
// taxis it from 30 m south-east. It appears where its taxi begins once the
// push would be there at its pace (about 10 s on), not as soon as the taxi
// report comes; when that time is past, or the next report still pushes it
// back, at once.
TEST_F(Spawn, APushbackSeenGoingOnWhereNoStandIsFreeAppearsOnceItWouldBeWhereItsTaxiBegins) {
    setAirport(300.0);
    setStandTable({StandSpec("GATE 1", {50.1, 8.0}, ParkingType::GATE_MEDIUM, 20.0)});
    constexpr double kStepDeg = 0.000215;  // about 15 m east at 50 N
    struct Row {
        const char* what;
        std::int32_t firstTry;  // the first try at spawning
        double taxiNoseDeg;     // the next report's nose (its track 180)
        std::int32_t leastCreatedTick, mostCreatedTick;
    };
    const Row rows[] = {
        {"tried as the push is seen", 2000, 180.0, 2950, 3100},
        {"tried after it would have got there", 3500, 180.0, 3500, 3500},
        {"the next report pushes it back as well", 2000, 0.0, 2000, 2000},
    };
    std::uint32_t hexid = 0x500701;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::deque<StreamPoint> stream;
        const auto add = [&](double lat, double lon, double kt, double trackDeg, double noseDeg, std::int32_t tick) {
            StreamPoint p = point(lat, lon, 0.0, false, tick);
            p.stationary = kt == 0.0 ? 1 : 0;
            p.groundSpeedKt = kt;
            p.trackDeg = trackDeg;
            p.hasTrueHeading = 1;
            p.trueHeading = noseDeg * degreesToRadians;
            stream.push_back(p);
        };
        add(50.1, 8.0, 0.0, 270.0, 270.0, 0);
        add(50.1, 8.0, 0.0, 270.0, 270.0, 1000);
        add(50.1, 8.0 + kStepDeg, 3.0, 90.0, 270.0, 2000);
        add(50.1 - 0.00027, 8.0 + 2.0 * kStepDeg, 10.0, 180.0, row.taxiNoseDeg, 6000);
        add(50.1 - 0.00081, 8.0 + 2.0 * kStepDeg, 10.0, 180.0, row.taxiNoseDeg, 7000);
        LiveAc& ac = addLive(hexid++, AcSimState::buffer, 0, std::move(stream));
        ac.phase = AcPhase::birth;
        // Seen standing on the stand first.
        for (int i = 0; i < 2; ++i) {
            tickCount.store(ac.stream.front().playTick);
            checkSpawnLiveAc(ac);
        }
        ASSERT_EQ(ac.simState, AcSimState::buffer);
        ASSERT_EQ(ac.stream.size(), 3u);
        std::int32_t created = -1;
        for (std::int32_t tick = row.firstTry; tick < 6000 && created < 0; tick += 50) {
            tickCount.store(tick);
            checkSpawnLiveAc(ac);
            if (ac.simState == AcSimState::adding2sim) created = tick;
        }
        EXPECT_GE(created, row.leastCreatedTick);
        EXPECT_LE(created, row.mostCreatedTick);
    }
    clearStandTable();
}

// A report at no speed of the very spot the report before had the aircraft
// taxi on from, followed by one that moves on, repeats a stale position: the
// aircraft is created taxiing from the front at once, the repeat left out.
// It stopped there after all when it crept, when the reports after stand as
// well, when it came to rest a little further on, or when nothing follows.
// One shown before (created again with a new livery) keeps its stream: there
// such a point is a hold its motion made.
TEST_F(Spawn, AReportAtNoSpeedOfTheSpotAMovingFrontLeftIsNoStop) {
    setAirport(300.0);
    constexpr double kStepDeg = 0.0014;  // about 100 m east at 50 N
    struct Row {
        const char* what;
        double frontKt;
        double repeatEastM;  // the report at no speed, this far east of the front
        bool thirdStands;
        bool third;
        bool waits;
        AcPhase phase = AcPhase::birth;
    };
    const Row rows[] = {
        {"leaving its runway at 24 kt", 24.0, 0.0, false, true, false},
        {"creeping to a stop", 3.0, 0.0, false, true, true},
        {"stands on after the report", 24.0, 0.0, true, true, true},
        {"at rest a little further on", 24.0, 8.0, false, true, true},
        {"nothing follows yet", 24.0, 0.0, false, false, true},
        {"shown before, taxiing", 24.0, 0.0, false, true, false, AcPhase::taxi},
    };
    std::uint32_t hexid = 0x500701;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const double repeatLon = 8.0 + row.repeatEastM / (60.0 * metresPerNm * std::cos(50.1 * degreesToRadians));
        std::deque<StreamPoint> stream{point(50.1, 8.0, 0.0, false, 1000), point(50.1, repeatLon, 0.0, false, 1600)};
        stream[0].groundSpeedKt = row.frontKt;
        stream[1].groundSpeedKt = 0.0;
        stream[1].stationary = 1;
        if (row.third) {
            stream.push_back(point(50.1, row.thirdStands ? repeatLon : 8.0 + kStepDeg, 0.0, false, 2100));
            stream.back().groundSpeedKt = row.thirdStands ? 0.0 : 19.0;
            stream.back().stationary = row.thirdStands ? 1 : 0;
        }
        LiveAc& ac = addLive(hexid++, AcSimState::buffer, 0, std::move(stream));
        ac.phase = row.phase;
        tickCount.store(1000);
        checkSpawnLiveAc(ac);
        if (row.waits) {
            EXPECT_EQ(ac.simState, AcSimState::buffer);
            EXPECT_EQ(ac.toldNoStand, 1);
            ASSERT_FALSE(ac.stream.empty());
            EXPECT_EQ(ac.stream.front().playTick, 1600) << "the report at no speed is kept";
            continue;
        }
        ASSERT_EQ(ac.simState, AcSimState::adding2sim);
        EXPECT_EQ(ac.toldNoStand, 0);
        EXPECT_NEAR(ac.pose.longitude, 8.0, 1e-12);
        if (row.phase != AcPhase::birth) {
            ASSERT_EQ(ac.stream.size(), 3u);
            EXPECT_EQ(ac.stream[1].playTick, 1600) << "the hold is kept";
            continue;
        }
        ASSERT_EQ(ac.stream.size(), 2u);
        EXPECT_EQ(ac.stream[1].playTick, 2100);
    }
}
