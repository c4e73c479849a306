// An aircraft reported standing where no stand is free for it is still shown
// there when TAVO showed it there as the last run ended (a restart removes
// and creates every aircraft again), or when it is a helicopter on a helipad.

#include <gmock/gmock.h>

#include <cmath>

#include "engine/engine_setup.h"
#include "engine/shown_places.h"
#include "engine/spawn.h"
#include "engine/stands.h"
#include "foundation/geodesy.h"

#include "engine_fixture.h"
#include "support/stand_table.h"

using namespace tavo::test;

namespace {

constexpr const char* kToldNoStand = "KLM1234 PH-BXA stands where no stand is free for it: not shown until it moves";
constexpr LaLo kPad{50.1, 8.0};

// The place this many metres east and north of the given one.
LaLo lf_off(LaLo from, double eastM, double northM) {
    const double metreLatDeg = 1.0 / (60.0 * metresPerNm);
    return {from.lat + northM * metreLatDeg, from.lon + eastM * metreLatDeg / std::cos(from.lat * degreesToRadians)};
}

double lf_metresBetween(LaLo a, LaLo b) { return gf_distanceNm(a, b) * metresPerNm; }

class ShownPlaces : public EngineTest {
protected:
    // A new aircraft whose three reports, all due, stand at the place with
    // the nose (degrees) given.
    static LiveAc& standingNewcomer(std::uint32_t hexid, LaLo at, double noseDeg = 200.0) {
        std::deque<StreamPoint> stream;
        for (int i = 0; i < 3; ++i) {
            StreamPoint p = point(at.lat, at.lon, 0.0, false, 0);
            p.groundSpeedKt = 0.0;
            p.stationary = i > 0 ? 1 : 0;
            p.trackDeg = noseDeg;
            stream.push_back(p);
        }
        LiveAc& ac = addLive(hexid, AcSimState::buffer, 0, std::move(stream));
        ac.phase = AcPhase::birth;
        return ac;
    }
    // The stand table: one gate 150 m south of the pad, and the pad itself,
    // 20 m across.
    static void standsWithHelipad(bool blocked = false) {
        setStandTable({StandSpec("GATE 1", lf_off(kPad, 0.0, -150.0), ParkingType::GATE_MEDIUM, 20.0)});
        Stand& pad = g_standTable.emplace_back("HELIPAD 1", std::vector<StandOption>{}, kPad.lat, kPad.lon, 0.0, 10.0,
                                               ParkingType::NONE, false, false, true);
        pad.id = static_cast<std::uint32_t>(g_standTable.size());
        pad.blocked = blocked;
        gf_publishStandSnapshot();
    }
    static LaLo poseOf(const LiveAc& ac) { return {ac.pose.latitude, ac.pose.longitude}; }
    void TearDown() override {
        clearStandTable();
        EngineTest::TearDown();
    }
};

}  // namespace

TEST_F(ShownPlaces, AHelicopterStandingOnAHelipadIsShownStandingThere) {
    // A helicopter's stand is its helipad: reported standing on it (or within
    // 15 m of a smaller pad's centre) it is shown there as it stands, nose
    // as reported. Off the pad, on a blocked one, or an aeroplane on it,
    // it waits, and the log says so.
    struct Row {
        const char* what;
        bool rotorcraft;
        double eastM;  // of the pad's centre
        bool blocked;
        bool shown;
    };
    const Row rows[] = {
        {"a helicopter on the pad's centre", true, 0.0, false, true},
        {"a helicopter 12 m off the centre of a 20 m pad", true, 12.0, false, true},
        {"a helicopter 40 m off the pad", true, 40.0, false, false},
        {"a helicopter on a blocked pad", true, 0.0, true, false},
        {"an aeroplane on the pad", false, 0.0, false, false},
    };
    std::uint32_t hexid = 0x600001;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        g_liveAircraft.clear();
        standsWithHelipad(row.blocked);
        const LaLo at = lf_off(kPad, row.eastM, 0.0);
        LiveAc& ac = standingNewcomer(hexid++, at, 200.0);
        if (row.rotorcraft) ac.category = Rotorcraft;
        newLogLines();
        checkSpawnLiveAc(ac);
        EXPECT_EQ(ac.simState, row.shown ? AcSimState::adding2sim : AcSimState::buffer);
        EXPECT_EQ(countOf(newLogLines(), kToldNoStand), row.shown ? 0u : 1u);
        if (!row.shown) continue;
        EXPECT_EQ(ac.phase, AcPhase::taxi);
        EXPECT_LT(lf_metresBetween(poseOf(ac), at), 0.01);
        EXPECT_NEAR(ac.pose.heading * radiansToDegrees, 200.0, 1e-6);
        // It stands: its reports after the front stand where it is.
        ASSERT_GE(ac.stream.size(), 2u);
        EXPECT_NE(ac.stream[1].stationary, 0);
        EXPECT_LT(lf_metresBetween({ac.stream[1].lat, ac.stream[1].lon}, at), 0.01);
    }
}

TEST_F(ShownPlaces, AnAircraftStandingWhereItWasShownBeforeARestartIsShownThereAgain) {
    // Shown on the ground at a spot with no stand (a helicopter on a pad the
    // table does not have, an aircraft held on a taxiway) as the run ends,
    // the aircraft reported standing within 15 m of that spot afterwards is
    // created there, nose as it was shown, not where its reports scatter.
    // Farther off, another aircraft there, one that was flying, or one never
    // created waits as before.
    const LaLo shownAt = lf_off(kPad, 300.0, 200.0);
    constexpr double kShownNoseRad = 1.0;
    struct Row {
        const char* what;
        double reportedEastM;  // of where it was shown
        bool sameAircraft;
        bool wasOnGround;
        bool wasCreated;
        bool shown;
    };
    const Row rows[] = {
        {"reported 8 m off where it was shown", 8.0, true, true, true, true},
        {"reported 14 m off", 14.0, true, true, true, true},
        {"reported 25 m off", 25.0, true, true, true, false},
        {"another aircraft reported there", 0.0, false, true, true, false},
        {"flying where it was shown", 0.0, true, false, true, false},
        {"never created", 0.0, true, true, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        gf_forgetShownPlaces();
        g_liveAircraft.clear();
        LiveAc& before = addLive(0x600101, row.wasCreated ? AcSimState::active : AcSimState::adding2sim,
                                 row.wasCreated ? 10u : 0u, {point(shownAt.lat, shownAt.lon, 0.0, false)});
        before.onGround = row.wasOnGround ? 1 : 0;
        before.pose.heading = kShownNoseRad;
        gf_resetTrafficEngine();
        gf_initTrafficEngine();

        LiveAc& ac = standingNewcomer(row.sameAircraft ? 0x600101 : 0x600102,
                                      lf_off(shownAt, row.reportedEastM, 0.0), 20.0);
        newLogLines();
        checkSpawnLiveAc(ac);
        EXPECT_EQ(ac.simState, row.shown ? AcSimState::adding2sim : AcSimState::buffer);
        EXPECT_EQ(countOf(newLogLines(), kToldNoStand), row.shown ? 0u : 1u);
        if (!row.shown) continue;
        EXPECT_LT(lf_metresBetween(poseOf(ac), shownAt), 0.01);
        EXPECT_NEAR(ac.pose.heading, kShownNoseRad, 1e-9);
        EXPECT_LT(lf_metresBetween({ac.stream.back().lat, ac.stream.back().lon}, shownAt), 0.01)
            << "every report it stands by stands there";
    }
}

TEST_F(ShownPlaces, AKeptPlaceServesTheFirstCreationAfterTheRestartOnly) {
    // Once created again the aircraft goes on from its reports: removed and
    // reported standing there again later in the same run, it is one standing
    // where no stand is free for it. Aircraft removed before the run ended
    // (their record gone) keep no place.
    const LaLo shownAt = lf_off(kPad, -300.0, 200.0);
    addLive(0x600201, AcSimState::active, 11, {point(shownAt.lat, shownAt.lon, 0.0, false)});
    gf_resetTrafficEngine();
    gf_initTrafficEngine();
    LiveAc& first = standingNewcomer(0x600201, shownAt);
    checkSpawnLiveAc(first);
    EXPECT_EQ(first.simState, AcSimState::adding2sim);

    g_liveAircraft.clear();
    LiveAc& again = standingNewcomer(0x600201, shownAt);
    newLogLines();
    checkSpawnLiveAc(again);
    EXPECT_EQ(again.simState, AcSimState::buffer);
    EXPECT_EQ(countOf(newLogLines(), kToldNoStand), 1u);

    // A second restart keeps only what was shown as it ended: nothing now.
    g_liveAircraft.clear();
    gf_resetTrafficEngine();
    gf_initTrafficEngine();
    LiveAc& later = standingNewcomer(0x600201, shownAt);
    checkSpawnLiveAc(later);
    EXPECT_EQ(later.simState, AcSimState::buffer);
}
