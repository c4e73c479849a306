// The checks of a new report by phase: near-duplicates, a parked aircraft's
// departure by pull-out or pushback (and its removal when it reports far
// away), the departure watch near the stand with the beacon-only lights, the
// taxi start after a pushback, points behind landing and departing aircraft,
// and the end of an extrapolation.

#include <gmock/gmock.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "airports/stand_options.h"
#include "motion/next_position.h"
#include "simlink/sim_ids.h"

#include "parking_fixture.h"

using namespace tavo::test;
using ::testing::HasSubstr;

namespace {

constexpr std::uint32_t kHex = 0x484B22;

class StreamChecks : public ParkingTest {
protected:
    // An active Large aircraft parked on the ramp stand B1 (not a gate),
    // which faces `standDeg`; it spawned there (previous phase birth).
    static LiveAc& parkedAtRamp(double standDeg = 90.0) {
        stand(3).heading = standDeg * degreesToRadians;
        LiveAc& ac = parkedOn(kHex, 3, "KLM1234");
        ac.prevPhase = AcPhase::birth;
        return ac;
    }
    // The light events queued since the last call, in the order NAV, BEACON,
    // LANDING, TAXI, STROBES, LOGO, CABIN.
    static std::vector<std::array<std::uint32_t, 7>> lights() {
        std::vector<std::array<std::uint32_t, 7>> out;
        std::size_t i = 0;
        for (const SimClientEventCommand& e : takeEvents()) {
            if (e.eventId == NAV_LIGHTS_SET) {
                out.emplace_back();
                i = 0;
            }
            if (!out.empty() && i < 7) out.back()[i++] = e.data;
        }
        return out;
    }
};

}  // namespace

TEST_F(StreamChecks, NearDuplicatesAndStoppedPoints) {
    struct Row {
        const char* what;
        AcPhase phase;
        double northM;  // from the last point
        double lastKt, pointKt;
        bool airborne, accepted, copyOfLast;
        double speedAfter;
    };
    using P = AcPhase;
    const Row rows[] = {
        {"same position taxiing", P::taxi, 0.0, 12, 8, false, true, false, 0},
        // A report that moves on from a point that moved is a slow move
        // (a tow, a creeping taxi), not noise, from 1 kt on both.
        {"0.0001 degrees away, both moving", P::taxi, 11.1, 12, 8, false, true, false, 8},
        {"3 m on at 1 kt after 1 kt", P::taxi, 3.0, 1, 1, false, true, false, 1},
        {"3 m on at 0.9 kt after 3 kt: creeps to a stop there", P::taxi, 3.0, 3, 0.9, false, true, false, 0.9},
        {"3 m on at 3 kt after 0.9 kt", P::taxi, 3.0, 0.9, 3, false, true, true, 0},
        // Behind the nose (north) it is scatter or a push, not a move.
        {"3 m back at 3 kt after 3 kt", P::taxi, -3.0, 3, 3, false, true, true, 0},
        {"airborne 0.0001 degrees away", P::birth, 11.1, 250, 250, true, false, false, 250},
        // Reported at no speed (or creeping) on ahead of a moving aircraft:
        // it stopped there (a copy would stand it metres short, and copy its
        // reports of setting off again); behind it, or after a crawl, it is
        // scatter.
        {"9 m on at 0 kt after 3 kt", P::taxi, 9.0, 3, 0, false, true, false, 0},
        {"3 m on at 0 kt after 1 kt", P::taxi, 3.0, 1, 0, false, true, false, 0},
        {"9 m back at 0 kt after 3 kt", P::taxi, -9.0, 3, 0, false, true, true, 0},
        {"9 m on at 0 kt after 0.9 kt", P::taxi, 9.0, 0.9, 0, false, true, true, 0},
        {"0.0001 degrees away from where it stands", P::taxi, 11.1, 0, 0, false, true, true, 0},
        {"0.0001 degrees away at walking pace", P::taxi, 11.1, 0, 8, false, true, true, 0},
        // A speed no aircraft goes on the ground tells nothing: scatter.
        {"30 m from where it stands at 1e6 kt", P::taxi, 30.0, 0, 1e6, false, true, true, 0},
        {"30 m from where it stands at 100 kt: a move", P::taxi, 30.0, 0, 100, false, true, false, 100},
        {"takeoff roll, same position after 35 kt", P::takeoff_roll, 0.0, 35, 20, false, false, false, 20},
        {"takeoff roll, same position after 25 kt", P::takeoff_roll, 0.0, 25, 20, false, true, false, 0},
        {"takeoff roll, near after 50 kt", P::takeoff_roll, 11.1, 50, 20, false, false, false, 20},
        {"takeoff roll, stopped after 50 kt", P::takeoff_roll, 100.0, 50, 0, false, false, false, 0},
        {"taxi, stopped after 50 kt", P::taxi, 100.0, 50, 0, false, true, false, 0},
        {"airborne at the same position", P::birth, 0.0, 250, 250, true, false, false, 250},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        g_liveAircraft.clear();
        LiveAc& ac = onGround(kHex, kA1, 0.0, row.phase);
        ac.simState = AcSimState::buffer;
        StreamPoint& last = ac.stream.back();
        last.groundSpeedKt = row.lastKt;
        last.trackDeg = 33.0;
        StreamPoint p = groundPoint(from(kA1, 0.0, row.northM), 10300, row.pointKt);
        p.airborne = row.airborne ? 1 : 0;
        EXPECT_EQ(lf_acceptNewStreamPoint(ac, p), row.accepted);
        if (!row.accepted) continue;
        EXPECT_EQ(p.stationary, row.northM == 0.0 || row.copyOfLast ? 1 : 0);
        EXPECT_EQ(p.groundSpeedKt, row.speedAfter);
        EXPECT_EQ(p.trackDeg == 33.0 && p.lat == kA1.lat, row.copyOfLast);
        // A copy stands until the aircraft must leave to be where its report
        // has it at the report's speed (11.1 m at 8 kt: 270 ticks), never
        // before the last point.
        const double leaveTicks =
            row.pointKt > 0.0 ? std::round(std::fabs(row.northM) / (row.pointKt / 1.9438444924406046) * 100.0) : 0.0;
        if (row.copyOfLast)
            EXPECT_EQ(p.playTick, std::max<std::int64_t>(10300 - std::int64_t(leaveTicks), last.playTick));
        else if (row.northM > 0.0)
            EXPECT_EQ(p.playTick, 10300);
    }
    // A Rotorcraft takes every point.
    LiveAc& heli = onGround(0x500009, kA1, 0.0, AcPhase::flying);
    heli.category = Rotorcraft;
    StreamPoint hover = groundPoint(kA1, 10300, 0.0);
    hover.airborne = 1;
    EXPECT_TRUE(lf_acceptNewStreamPoint(heli, hover));
}

TEST_F(StreamChecks, WithNoLegToItsLastPointTheWayItCameIsItsNoseOrNotYetShownItsReportedTrack) {
    // The stream's only point at kA1 reported at 2.9 kt on `trackDeg`, the
    // nose north; a report 12.6 m south at 0.5 kt: onward of the way the
    // aircraft came it has stopped there, behind it it is a copy of the last.
    // Not yet shown, the aircraft has no nose, and the track of a moving
    // report may be its nose (pushed back) as well as its way: either way
    // along it is onward.
    struct Row {
        const char* what;
        AcPhase phase;
        double trackDeg;
        bool copyOfLast;
        double kt = 2.9;
    };
    const Row rows[] = {
        // Pushed south tail first from its stand, not yet shown: the end of
        // the push, not scatter.
        {"not yet shown, reported going south", AcPhase::birth, 180.0, false},
        {"not yet shown, reported nose north while pushed south", AcPhase::birth, 0.0, false},
        {"not yet shown, no track reported", AcPhase::birth, std::nan(""), false},
        {"not yet shown, reported at rest: its nose tells", AcPhase::birth, 180.0, true, 0.0},
        {"shown taxiing: its nose tells", AcPhase::taxi, 180.0, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        g_liveAircraft.clear();
        LiveAc& ac = onGround(kHex, kA1, 0.0, row.phase);
        ac.simState = AcSimState::buffer;
        ac.stream.back().groundSpeedKt = row.kt;
        ac.stream.back().trackDeg = row.trackDeg;
        StreamPoint p = groundPoint(from(kA1, 180.0, 12.6), 10300, 0.5);
        ASSERT_TRUE(lf_acceptNewStreamPoint(ac, p));
        EXPECT_EQ(p.stationary != 0, row.copyOfLast);
        EXPECT_EQ(p.lat == kA1.lat, row.copyOfLast);
    }
}

TEST_F(StreamChecks, AParkedAircraftReportingAwayFromItsStand) {
    struct Row {
        double bearingDeg, metres, standDeg;
        bool accepted, pullOut, removed;
    };
    const Row rows[] = {
        {90, 150, 90, false, false, false},  // aligned, too near for a pull-out
        {90, 179.5, 90, false, false, false},
        {90, 180.5, 90, true, true, false},  // aligned: pulls out
        {90, 299.5, 90, true, true, false},
        {90, 300.5, 90, false, false, true},
        {0, 200, 90, true, false, false},    // across: pushed back
        {0, 263, 90, false, false, true},
        {90, 400, 90, false, false, true},
        // The bearing off a stand facing 355 degrees is 10 degrees off at 5.
        {5, 180.5, 355, true, true, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.metres << " m at " << row.bearingDeg << " off " << row.standDeg);
        g_liveAircraft.clear();
        stand(3).options.clear();
        LiveAc& ac = parkedAtRamp(row.standDeg);
        StreamPoint p = groundPoint(from(kB1, row.bearingDeg, row.metres), 10300);
        p.stationary = 1;
        EXPECT_EQ(checkExtendingSituations(ac, p), row.accepted);
        EXPECT_EQ(ac.motion.departurePending, row.accepted ? 1 : 0);
        EXPECT_EQ(ac.motion.pullOut, row.pullOut ? 1 : 0);
        EXPECT_EQ(ac.simState == AcSimState::removingfromsim, row.removed);
        if (row.accepted) EXPECT_EQ(p.stationary, 0);
        // A departure and a removal record the flight at the stand (cpl).
        ASSERT_EQ(stand(3).options.size(), row.accepted || row.removed ? 1u : 0u);
        if (!stand(3).options.empty()) EXPECT_TRUE(stand(3).options[0].cpl);
    }
    // An aircraft whose object is not there yet takes no report.
    g_liveAircraft.clear();
    LiveAc& waiting = parkedAtRamp();
    waiting.simState = AcSimState::adding2sim;
    StreamPoint p = groundPoint(from(kB1, 90, 180), 10300);
    EXPECT_FALSE(checkExtendingSituations(waiting, p));
}

TEST_F(StreamChecks, ALoneReportMilesOffLeavesTheParkedAircraftOnItsStandUntilTheNextBearsItOut) {
    // Each report as the decoder hears it: the one heard before it is kept.
    const auto hear = [](LiveAc& ac, StreamPoint p) {
        MotionState& m = ac.motion;
        m.heardBeforePosition = m.lastHeardPosition;
        m.heardBeforeSet = m.lastHeardSet;
        m.lastHeardPosition = {p.lat, p.lon};
        m.lastHeardSet = 1;
        return checkExtendingSituations(ac, p);
    };
    struct Row {
        const char* name;
        std::vector<std::pair<double, double>> reports;  // bearing (deg) and metres from the stand
        bool removed;                                    // after the last of them
    };
    const Row rows[] = {
        {"one report 9 km off, then one on the stand", {{0, 0}, {220, 9200}, {0, 0}}, false},
        {"two bad reports miles apart, then its pushback", {{0, 0}, {220, 9200}, {5, 9260}, {90, 34}}, false},
        {"two reports 9 km off, near each other: it left", {{0, 0}, {220, 9200}, {220, 9180}}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        LiveAc& ac = parkedAtRamp();
        std::int32_t tick = 10300;
        for (const auto& [bearing, metres] : row.reports) {
            StreamPoint p = groundPoint(from(kB1, bearing, metres), tick += 1000, metres < 100.0 ? 0.0 : 2.9);
            hear(ac, p);
        }
        EXPECT_EQ(ac.simState == AcSimState::removingfromsim, row.removed);
    }
}

TEST_F(StreamChecks, TheDepartureWatchNearTheStand) {
    // Reports stepping away from the stand across its heading: the lights go
    // to the beacon only from 31 s after the arrival, the second step starts
    // the watch, and a further step within it is the pushback.
    struct Row {
        std::int64_t parkedSeconds;
        bool beacon;
    };
    for (const Row row : {Row{30, false}, Row{31, true}}) {
        SCOPED_TRACE(row.parkedSeconds);
        g_liveAircraft.clear();
        LiveAc& ac = parkedAtRamp();
        ac.prevPhase = AcPhase::parking;
        ac.motion.standArrivalClockNs = 5'000'000'000;
        standClockNs = ac.motion.standArrivalClockNs + row.parkedSeconds * 1'000'000'000;
        ac.phaseStartClock = 0;
        takeEvents();
        const auto report = [&](double metres) {
            StreamPoint p = groundPoint(from(kB1, 0.0, metres), tickCount.load() + 3000);
            tickCount.store(tickCount.load() + 500);
            return checkExtendingSituations(ac, p);
        };
        EXPECT_FALSE(report(2.0));
        EXPECT_EQ(ac.phaseStartClock, kClock100ns) << "the parking clock renewed";
        EXPECT_FALSE(report(16.0));
        EXPECT_EQ(lights().size(), row.beacon ? 1u : 0u);
        EXPECT_FALSE(report(22.0));
        EXPECT_EQ(ac.motion.departureWatch, 1);
        if (row.beacon) EXPECT_THAT(lights(), ::testing::ElementsAre(std::array<std::uint32_t, 7>{0, 1, 0, 0, 0, 0, 0}));
        EXPECT_TRUE(report(26.0));
        EXPECT_EQ(ac.motion.departureWatch, 0);
        EXPECT_EQ(ac.motion.departurePending, 1);
        EXPECT_EQ(ac.motion.pullOut, 0);
    }
}

TEST_F(StreamChecks, APushedBackAircraftTaxisAfterTwoMovesOf15Metres) {
    LiveAc& ac = parkedAtRamp(0.0);
    ac.phase = AcPhase::pushed_back;
    ac.extrapolationCount = 30;
    ac.motion.holding = 1;
    // Pushed 60 m south of the stand; then reports 4 m or more apart.
    const double metres[] = {60.0, 61.0, 66.0, 73.0, 82.0};
    const bool accepted[] = {false, false, false, false, true};
    for (std::size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(metres[i]);
        StreamPoint p = groundPoint(from(kB1, 180.0, metres[i]), 11000 + int(i) * 500);
        p.stationary = 1;
        EXPECT_EQ(checkExtendingSituations(ac, p), accepted[i]);
        EXPECT_EQ(ac.extrapolationCount, 0) << "the reports keep the held aircraft";
        ac.extrapolationCount = 30;
        ac.motion.holding = 1;
        if (accepted[i]) EXPECT_EQ(p.stationary, 0);
    }
    // 66 m is the first move (second position), 73 m the first count and
    // 82 m, 16 m from the second position, the second.
    EXPECT_EQ(ac.phase, AcPhase::taxi);
    EXPECT_EQ(ac.standId, 0);
    EXPECT_EQ(ac.motion.pushbackWatchSet, 0);
}

TEST_F(StreamChecks, PointsBehindLandingAndDepartingAircraftAreDropped) {
    struct Row {
        AcPhase phase;
        std::vector<double> streamM;  // along the heading (east)
        double pointM;
        bool accepted;
        std::size_t left;
    };
    using P = AcPhase;
    const Row rows[] = {
        {P::landing_roll, {0, 100, 200}, 170, true, 2},  // 30 m behind the last: dropped
        {P::landing_roll, {0, 100, 200}, 70, true, 1},   // behind both trailing points
        {P::landing_roll, {0, 100}, 70, true, 1},        // the front is never dropped
        {P::landing_roll, {0, 100, 200}, 185, true, 3},
        {P::landing, {200}, 170, false, 1},
        {P::landing, {200}, 185, true, 1},
        {P::takeoff_roll, {0, 100, 200}, 185, true, 2},  // 10 m tolerance on the roll
        {P::takeoff, {0, 100, 200}, 185, true, 3},       // 25 m in the air
        {P::takeoff_roll, {200}, 185, false, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.pointM << " in phase " << gf_acPhaseName(row.phase));
        g_liveAircraft.clear();
        const LaLo start = from(kA1, 180.0, 1000.0);
        LiveAc& ac = onGround(kHex, start, 90.0, row.phase);
        ac.stream.clear();
        for (std::size_t i = 0; i < row.streamM.size(); ++i)
            ac.stream.push_back(groundPoint(from(start, 90.0, row.streamM[i]), 10000 + int(i) * 300, 60.0));
        ac.extrapolationCount = 4;
        StreamPoint p = groundPoint(from(start, 90.0, row.pointM), 11000, 60.0);
        EXPECT_EQ(checkExtendingSituations(ac, p), row.accepted);
        EXPECT_EQ(ac.stream.size(), row.left);
        if (row.accepted) EXPECT_EQ(ac.extrapolationCount, 0);
    }
    // An empty stream is reported with the check's name.
    for (const AcPhase phase : {P::landing, P::takeoff, P::taxi}) {
        g_liveAircraft.clear();
        LiveAc& ac = onGround(kHex, kA1, 90.0, phase);
        ac.extrapolationCount = 3;
        ac.stream.clear();
        StreamPoint p = groundPoint(kA1, 11000);
        newLogLines();
        EXPECT_FALSE(checkExtendingSituations(ac, p));
        const char* name = phase == P::landing   ? "checkNewPosDuringLanding empty sz?"
                           : phase == P::takeoff ? "checkNewPosDuringTakeoff empty sz?"
                                                 : "checkExtendingSituations empty sz?";
        EXPECT_THAT(newLogLines(), HasSubstr(name));
    }
}

TEST_F(StreamChecks, AnAcceptedPointEndsTheExtrapolation) {
    LiveAc& ac = onGround(kHex, kA1, 0.0, AcPhase::taxi);
    ac.stream.front().playTick = 10300;
    ac.extrapolationCount = 12;
    ac.motion.holding = 1;
    ac.motion.takeoffSpeedUp = 1;
    StreamPoint p = groundPoint(from(kA1, 0.0, 50.0), 12000);
    EXPECT_TRUE(checkExtendingSituations(ac, p));
    EXPECT_EQ(ac.stream.front().playTick, 10001) << "due now + 1";
    EXPECT_EQ(ac.extrapolationCount, 0);
    EXPECT_EQ(ac.motion.holding, 0);
    EXPECT_EQ(ac.motion.takeoffSpeedUp, 0);
    EXPECT_EQ(ac.motion.advanceLimit, 2700);
    EXPECT_EQ(ac.motion.delayLimit, 2700);
}

// In the air a report behind the dead-reckoned aircraft along its course is
// one it has flown past; one further to the side than behind is where it
// turned to while its reports paused (on the approach: from base onto final,
// the approach keeping its own tolerance behind on the course).
TEST_F(StreamChecks, WhileDeadReckoningInTheAirAReportFlownPastIsRefusedAndATurnIsFollowed) {
    struct Row {
        const char* what;
        double behindM, rightM;
        bool accepted;
        AcPhase phase = AcPhase::flying;
    };
    const Row rows[] = {
        {"ahead", -400.0, 0.0, true},
        {"40 m behind", 40.0, 0.0, true},
        {"flown past on the course", 400.0, 0.0, false},
        {"flown past, as far to the side as behind", 400.0, 390.0, false},
        {"the track turned: further to the side than behind", 400.0, 1500.0, true},
        {"abeam", 0.0, 2000.0, true},
        {"approach: 40 m behind", 40.0, 0.0, false, AcPhase::landing},
        {"approach: flown past, as far to the side as behind", 400.0, 390.0, false, AcPhase::landing},
        {"approach: turned onto final, 430 m behind and 3.6 km off", 430.0, 3600.0, true, AcPhase::landing},
        {"approach: turned the other way", 400.0, -1500.0, true, AcPhase::landing},
    };
    std::uint32_t hexid = kHex;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        LiveAc& ac = onGround(++hexid, kA1, 0.0, r.phase);
        ac.onGround = 0;
        ac.stream.front().airborne = 1;
        ac.extrapolationCount = 6;
        const LaLo at = from(from(kA1, 180.0, r.behindM), 90.0, r.rightM);
        StreamPoint p = point(at.lat, at.lon, 5000.0, true, 12000);
        p.groundSpeedKt = 220.0;
        EXPECT_EQ(checkExtendingSituations(ac, p), r.accepted);
        EXPECT_EQ(ac.extrapolationCount, r.accepted ? 0 : 6);
    }
}

// In the air a report at the very place of the report heard just before it
// (which never went into the stream) is the receiver repeating that position
// while the aircraft flew on, whatever speed it gives, and is refused; a
// helicopter hovers there, and a held report played after a later one came
// is not the latest heard.
TEST_F(StreamChecks, InTheAirARepeatOfTheReportHeardBeforeIsRefused) {
    struct Row {
        const char* what;
        AcPhase phase;
        double pointKt;
        double heardOffM;   // the report heard before: east of the new one
        double latestOffM;  // the latest report heard: east of the new one
        bool rotorcraft;
        bool accepted;
    };
    using P = AcPhase;
    const Row rows[] = {
        {"approach: a repeat at 1e6 kt", P::landing, 1e6, 0.0, 0.0, false, false},
        {"approach: a repeat at the reported speed", P::landing, 155.0, 0.0, 0.0, false, false},
        {"approach: the next report, 400 m on", P::landing, 155.0, 400.0, 0.0, false, true},
        {"flying: a repeat", P::flying, 250.0, 0.0, 0.0, false, false},
        {"flying: a metre off that report", P::flying, 250.0, 1.0, 0.0, false, true},
        {"flying: a helicopter hovering there", P::flying, 0.0, 0.0, 0.0, true, true},
        {"flying: a held report played after a later one", P::flying, 250.0, 0.0, 900.0, false, true},
    };
    std::uint32_t hexid = kHex;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        LiveAc& ac = onGround(++hexid, kA1, 0.0, r.phase);
        ac.onGround = 0;
        if (r.rotorcraft) ac.category = Rotorcraft;
        ac.stream.front() = point(kA1.lat, kA1.lon, 2000.0, true, 10000);
        ac.stream.front().groundSpeedKt = 155.0;
        // The stream's last report lies 390 m back: the report it repeats
        // was left out on the straight line.
        const LaLo at = from(kA1, 0.0, 390.0);
        ac.motion.heardBeforePosition = from(at, 90.0, r.heardOffM);
        ac.motion.heardBeforeKt = 155.0;
        ac.motion.heardBeforeSet = 1;
        ac.motion.lastHeardPosition = from(at, 90.0, r.latestOffM);
        ac.motion.lastHeardKt = r.pointKt;
        ac.motion.lastHeardSet = 1;
        StreamPoint p = point(at.lat, at.lon, 1900.0, true, 11300);
        p.groundSpeedKt = r.pointKt;
        EXPECT_EQ(checkExtendingSituations(ac, p), r.accepted);
    }
}

TEST_F(StreamChecks, AHoldOfReportsRepeatingAMovingOneEndsWhenTheNextReportCannotBeMadeFromIt) {
    // Taxiing west through A1 (due at tick 10000), then reports at no speed
    // at A1 from tick 12000 on, 2 s apart; the next report lies 175 m
    // south-west at 18.7 kt: from rest 18 s of travel and 4 s of speeding up.
    struct Row {
        const char* what;
        int repeats;         // reports at no speed at A1
        double lastKt;       // the speed of the report before them
        int nextAfterS;      // the next report's due after the last repeat
        double reachedAtM;   // negative: the hold is not reached yet; else the
                             // aircraft stands this far from it, the one point
        bool holdKept;
        double nextKt = 18.7;
        double nextBearingDeg = 225.0;
        double nextM = 175.0;
        // Ticks the leg planning put the hold off by before the next report
        // came (the stream runs that much later; the report not yet).
        int retimedLater = 0;
        // Not yet shown while the repeats came (kept as they came), shown to
        // taxi before the next report or after it too.
        enum { taxiing, shownBeforeNext, shownAfterNext } shown = taxiing;
    };
    constexpr auto shownBefore = Row::shownBeforeNext;
    constexpr auto shownAfter = Row::shownAfterNext;
    const Row rows[] = {
        {"a lone repeat of a moving report, the next one out of reach", 1, 10, 7, -1, false},
        // The next report at rest: where a copy of the hold lies it is its
        // scatter; further on the aircraft went on and stopped there, as far
        // behind the way it came it did not.
        {"two of them, the next at rest 43 m on", 2, 10, 25, -1, false, 0.0, 270.0, 43.0},
        {"two of them, the next at rest 5 m on", 2, 10, 25, -1, true, 0.0, 270.0, 5.0},
        {"two of them, the next at rest 43 m back", 2, 10, 25, -1, true, 0.0, 90.0, 43.0},
        {"after a report of it standing, the next at rest 43 m on", 1, 0, 25, -1, true, 0.0, 270.0, 43.0},
        {"a lone repeat with time to get there after it", 1, 10, 25, -1, true},
        // A run of them, the first 2 s before the last: had the aircraft
        // stood there from the first, it could not have been at the next
        // report either; one that leaves it time is a stop.
        {"two of them, the next one out of reach", 2, 10, 7, -1, false},
        {"three of them, the next one out of reach", 3, 10, 7, -1, false},
        {"two of them with time to get there after them", 2, 10, 25, -1, true},
        {"after a report of it standing already", 1, 0, 7, -1, true},
        {"the lone repeat reached, the aircraft standing on it", 1, 10, 7, 0.5, false},
        {"the lone repeat reached, the aircraft still 20 m short", 1, 10, 7, 20, true},
        // Retimed, the hold is still the repeat, and the next report falls
        // due as late as the stream runs: 25 s after the repeat leaves time.
        {"a lone repeat retimed 2 s later, the next one out of reach", 1, 10, 7, -1, false, 18.7, 225.0, 175.0, 205},
        {"two of them retimed 2 s later, the next one out of reach", 2, 10, 7, -1, false, 18.7, 225.0, 175.0, 205},
        {"a lone repeat retimed 5 s later, time to get there after it", 1, 10, 25, -1, true, 18.7, 225.0, 175.0, 500},
        // Buffered before the aircraft was shown, the hold is judged as it is
        // shown, against the next report come with it, or by the next one.
        {"unshown: a lone repeat, the next one out of reach", 1, 10, 7, -1, false, 18.7, 225.0, 175.0, 0, shownAfter},
        {"unshown: two of them, the next one out of reach", 2, 10, 7, -1, false, 18.7, 225.0, 175.0, 0, shownAfter},
        {"unshown: two of them, the next at rest 5 m on", 2, 10, 25, -1, true, 0.0, 270.0, 5.0, 0, shownAfter},
        {"unshown: two of them with time to get there", 2, 10, 25, -1, true, 18.7, 225.0, 175.0, 0, shownAfter},
        {"unshown: after a report of it standing", 1, 0, 7, -1, true, 18.7, 225.0, 175.0, 0, shownAfter},
        {"unshown: the next, out of reach, once shown", 2, 10, 7, -1, false, 18.7, 225.0, 175.0, 0, shownBefore},
        {"unshown: time to get there, the next once shown", 2, 10, 25, -1, true, 18.7, 225.0, 175.0, 0, shownBefore},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        g_liveAircraft.clear();
        tickCount.store(10000);
        LiveAc& ac = onGround(kHex, kA1, 270.0, row.shown == Row::taxiing ? AcPhase::taxi : AcPhase::birth);
        ac.onGround = 1;
        ac.stream.back().groundSpeedKt = row.lastKt;
        std::int32_t due = 0;
        for (int i = 0; i < row.repeats; ++i) {
            StreamPoint r = groundPoint(kA1, due = 12000 + 200 * i, 0.0);
            ASSERT_TRUE(lf_acceptNewStreamPoint(ac, r));
            ASSERT_NE(r.stationary, 0);
            ac.stream.push_back(r);
        }
        const auto show = [&ac] {
            ac.phase = AcPhase::taxi;
            gf_judgeBufferedRepeatHolds(ac);
        };
        if (row.shown == shownAfter) {
            const std::size_t buffered = ac.stream.size() + 1;
            const LaLo at = from(kA1, row.nextBearingDeg, row.nextM);
            StreamPoint next = groundPoint(at, due + row.nextAfterS * 100, row.nextKt);
            ASSERT_TRUE(lf_acceptNewStreamPoint(ac, next));
            ac.stream.push_back(next);
            show();
            EXPECT_EQ(ac.stream.size(), row.holdKept ? buffered : buffered - row.repeats);
            EXPECT_EQ(std::any_of(ac.stream.begin(), ac.stream.end(),
                                  [](const StreamPoint& q) { return q.stationary != 0; }),
                      row.holdKept);
            EXPECT_EQ(ac.stream.back().playTick, next.playTick);
            continue;
        }
        if (row.shown == shownBefore) show();
        if (row.retimedLater != 0) gf_shiftLaterPoints(ac, 1, row.retimedLater);
        if (row.reachedAtM >= 0.0) {
            ac.stream.pop_front();
            const LaLo at = from(kA1, 90.0, row.reachedAtM);
            ac.pose.latitude = at.lat;
            ac.pose.longitude = at.lon;
        }
        const std::size_t before = ac.stream.size();
        StreamPoint next = groundPoint(from(kA1, row.nextBearingDeg, row.nextM), due + row.nextAfterS * 100, row.nextKt);
        ASSERT_TRUE(lf_acceptNewStreamPoint(ac, next));
        if (row.nextKt > 0.0 || !row.holdKept) EXPECT_EQ(next.stationary, 0);
        if (row.reachedAtM >= 0.0) {
            ASSERT_EQ(ac.stream.size(), 1u);
            EXPECT_EQ(ac.stream.front().playTick, row.holdKept ? due : 10001);
            continue;
        }
        EXPECT_EQ(ac.stream.size(), row.holdKept ? before : before - row.repeats);
        EXPECT_EQ(ac.stream.back().stationary != 0 && ac.stream.back().playTick == due + row.retimedLater,
                  row.holdKept);
    }
}

// While dead reckoning on the ground: the aircraft ran 24 m on past its last
// report (6.6 kt); a report at no speed at the very place of the report heard
// before it repeats that one when it moved, and is refused; the dead
// reckoning goes on until a report that tells something new.
TEST_F(StreamChecks, WhileDeadReckoningOnTheGroundARepeatOfAMovingReportIsRefused) {
    struct Row {
        const char* what;
        double heardKt;   // the report heard before
        double offM;      // east of where that one lay
        double pointKt;
        int reckoning;    // dead-reckoning count when it comes
        bool accepted;
    };
    const Row rows[] = {
        {"a repeat of the moving report", 6.6, 0.0, 0.0, 6, false},
        {"the report heard before stood: it stopped there", 0.0, 0.0, 0.0, 6, true},
        {"a metre off that report's place", 6.6, 1.0, 0.0, 6, true},
        {"moving slowly at that place", 6.6, 0.0, 3.0, 6, true},
        {"no dead reckoning: a hold there", 6.6, 0.0, 0.0, 0, true},
    };
    std::uint32_t hexid = kHex;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        LiveAc& ac = onGround(++hexid, kA1, 0.0, AcPhase::taxi);
        const LaLo heard = from(kA1, 180.0, 23.8);
        ac.stream.front() = groundPoint(heard, 10000, 6.6);
        ac.extrapolationCount = r.reckoning;
        ac.motion.heardBeforePosition = heard;
        ac.motion.heardBeforeKt = r.heardKt;
        ac.motion.heardBeforeSet = 1;
        StreamPoint p = groundPoint(from(heard, 90.0, r.offM), 12000, r.pointKt);
        EXPECT_EQ(checkExtendingSituations(ac, p), r.accepted);
        EXPECT_EQ(ac.extrapolationCount, r.accepted ? 0 : r.reckoning);
        EXPECT_EQ(ac.stream.size(), 1u);
    }
}

// A taxi last heard moving that dead reckoning brought to rest while its
// reports paused stands on a guess: a report at rest onward of it, past a
// near copy, is where the aircraft stopped and is driven to. A reported stop,
// a report behind the guess or a near copy of it stays scatter of standing.
TEST_F(StreamChecks, WhileDeadReckoningOnTheGroundAReportAtRestOnwardOfTheGuessedRestIsWhereItStopped) {
    struct Row {
        const char* what;
        double heardKt;  // the report heard before
        double northM;   // from the guessed rest
        int reckoning;   // dead-reckoning count when it comes
        bool copy;
    };
    const Row rows[] = {
        {"23 m onward, last heard moving", 6.2, 23.0, 4, false},
        {"23 m onward, last heard standing", 0.0, 23.0, 4, true},
        {"23 m onward, no dead reckoning", 6.2, 23.0, 0, true},
        {"23 m behind, last heard moving", 6.2, -23.0, 4, true},
        {"5 m onward (a near copy), last heard moving", 6.2, 5.0, 4, true},
    };
    std::uint32_t hexid = kHex;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        // Heard 40 m south at 6.2 kt, dead-reckoned north to rest at A1.
        const LaLo heard = from(kA1, 180.0, 40.0);
        LiveAc& ac = onGround(++hexid, heard, 0.0, AcPhase::taxi);
        ac.stream.front() = groundPoint(heard, 10000, 6.2);
        ac.stream.push_back(groundPoint(kA1, 11200, 0.0));
        ac.extrapolationCount = r.reckoning;
        ac.motion.heardBeforePosition = heard;
        ac.motion.heardBeforeKt = r.heardKt;
        ac.motion.heardBeforeSet = 1;
        StreamPoint p = groundPoint(from(kA1, 0.0, r.northM), 12800, 0.0);
        ASSERT_TRUE(lf_acceptNewStreamPoint(ac, p));
        EXPECT_EQ(p.lat == kA1.lat && p.lon == kA1.lon && p.stationary != 0, r.copy);
        EXPECT_EQ(p.playTick, 12800);
    }
}

// A taxi that rolled into a stop and is reported moving on a few metres
// onward sets off again; with no move into the stop, behind it or at a crawl
// the report stays a copy of the stop. A stop reported as a creep under a
// knot is one when braked into from a taxi's pace, not after a crawl; onward
// of a creep is also the way the creep was reported going (round a corner).
TEST_F(StreamChecks, AReportMovingOnwardOfAStopRolledIntoSetsOffAgain) {
    struct Row {
        const char* what;
        double beforeKt;  // the point before the stop (none: -1)
        double stopKt;    // the speed the stop is reported at
        bool held;        // a hold copy of the stop after it
        double northM, pointKt;  // northM: how far on along bearingDeg
        bool copy;
        double bearingDeg = 0.0;    // of the report from the stop
        double stopTrackDeg = 0.0;  // the way the stop was reported going
        // Points before the one before the stop, furthest first, 12 m apart.
        std::vector<double> earlierKt{};
    };
    const Row rows[] = {
        {"4 m on at 4 kt after a stop rolled into at 2.7 kt", 2.7, 0.0, false, 4.0, 4.0, false},
        {"4 m on at 4 kt after that stop and a hold there", 2.7, 0.0, true, 4.0, 4.0, false},
        {"4 m on at 4 kt after a stop with no move into it", -1.0, 0.0, false, 4.0, 4.0, true},
        {"4 m on at 4 kt after a stop the crawl before it stood at", 0.0, 0.0, false, 4.0, 4.0, true},
        {"4 m back at 4 kt after a stop rolled into", 2.7, 0.0, false, -4.0, 4.0, true},
        {"4 m on at 0.5 kt after a stop rolled into", 2.7, 0.0, false, 4.0, 0.5, true},
        {"10 m on at 2.6 kt after braking from 11 kt into a creep of 0.9 kt", 11.3, 0.9, false, 10.0, 2.6, false},
        {"1.2 m on at 2.3 kt after a crawl of 1.8 kt slowed to 0.8 kt", 1.8, 0.8, false, 1.2, 2.3, true},
        {"9 m just past a right angle at 5.8 kt after a creep of 0.9 kt turning that way", 5.4, 0.9, false, 9.0, 5.8,
         false, 90.2, 62.5},
        {"9 m just past a right angle at 5.8 kt after a creep of 0.9 kt going straight on", 5.4, 0.9, false, 9.0, 5.8,
         true, 90.2, 0.0},
        {"2.5 m on at 2.9 kt after braking from 15 kt through 4.7 kt into a creep of 0.9 kt", 4.7, 0.9, false, 2.5, 2.9,
         false, 0.0, 0.0, {15.3}},
        {"2.5 m on at 2.9 kt after a crawl that sped up from 3 kt to 4.7 kt, long after 15 kt, into a creep of 0.9 kt",
         4.7, 0.9, false, 2.5, 2.9, true, 0.0, 0.0, {15.3, 3.0}},
    };
    std::uint32_t hexid = kHex;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        // Rolled north into a stop at A1.
        LiveAc& ac = onGround(++hexid, kA1, 0.0, AcPhase::taxi);
        ac.stream.clear();
        for (std::size_t k = 0; k < r.earlierKt.size(); ++k) {
            const double back = double(r.earlierKt.size() - k);
            ac.stream.push_back(groundPoint(from(kA1, 180.0, 12.0 * (back + 1.0)), std::int32_t(10000 - 500 * back),
                                            r.earlierKt[k]));
        }
        if (r.beforeKt >= 0.0) ac.stream.push_back(groundPoint(from(kA1, 180.0, 12.0), 10000, r.beforeKt));
        ac.stream.push_back(groundPoint(kA1, 10500, r.stopKt));
        ac.stream.back().trackDeg = r.stopTrackDeg;
        if (r.held) {
            ac.stream.push_back(ac.stream.back());
            ac.stream.back().stationary = 1;
            ac.stream.back().playTick = 10600;
        }
        StreamPoint p = groundPoint(from(kA1, r.bearingDeg, r.northM), 10700, r.pointKt);
        ASSERT_TRUE(lf_acceptNewStreamPoint(ac, p));
        EXPECT_EQ(p.lat == kA1.lat && p.lon == kA1.lon && p.stationary != 0, r.copy);
    }
}
