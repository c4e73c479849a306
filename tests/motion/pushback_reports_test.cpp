// The reports a departing aircraft's watches keep while it leaves its stand
// (they come half a minute before they fall due): scatter without speed that
// never starts a departure, a pushback of two walking reports that does (a
// stop where it got to no longer undoes it), the pushback waiting until its
// reports begin and going where they go, a report miles off left out, a
// pushback whose leg ended going on, one that ends where its reports stopped
// however short the last step, the taxi starting from the reports kept
// meanwhile (or on one far off at a taxi's speed, standing until it must
// leave for it), the reports an aircraft was created with or that came before
// its object existed, the curve two reports of a turn tell by their tracks,
// a moving report long after the one before that hid a stop, a report after
// a gap that shows the pushback went on and the aircraft turned off it, an
// aircraft created late into its pushback (or from a first report already
// pushed back, not one towed into its stand), a ground speed no aircraft goes
// taken as the pace its position gives once the pushback has begun, a report
// going nose first by its own track that takes no pushback on, and a stale
// repeat of where the pushback ended.

#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>
#include <tuple>
#include <vector>

#include "engine/geometry.h"
#include "engine/spawn.h"
#include "engine/spawn_stands.h"
#include "simlink/sim_link.h"
#include "motion/ground_movement.h"
#include "motion/motion_math.h"
#include "motion/pushback.h"
#include "motion/stand_parking.h"
#include "motion/stream_checks.h"

#include "parking_fixture.h"

using namespace tavo::test;

namespace {

class PushbackReports : public ParkingTest {
protected:
    // RAMP B1 faces north: a pushback goes south.
    static StreamPoint south(double metres, std::int32_t due, double speedKt, double bearingDeg = 180.0) {
        return groundPoint(from(kB1, bearingDeg, metres), due, speedKt);
    }
    // A new aircraft parked on RAMP B1, the only one, leaving from there.
    LiveAc& leavingB1(std::uint32_t hexid) {
        g_liveAircraft.clear();
        LiveAc& ac = parkedOn(hexid, 3, "KLM1234");
        ac.motion.leaving.start = kB1;
        return ac;
    }
    // Pushed back 60 m south of RAMP B1 (nose north), standing there in a
    // hold at tick 11500.
    LiveAc& pushedBack(LaLo end) {
        LiveAc& ac = leavingB1(0x484C30);
        StandLeaving& l = ac.motion.leaving;
        l.pushback = {south(30.0, 10000, 3.0), south(60.0, 11000, 3.0)};
        l.pushbackOver = 1;
        ac.phase = AcPhase::pushed_back;
        ac.pose.latitude = end.lat;
        ac.pose.longitude = end.lon;
        ac.pose.heading = 0.0;
        StreamPoint hold = groundPoint(end, 11500, 0.0);
        hold.stationary = 1;
        ac.stream = {hold};
        ac.extrapolationCount = 3;
        ac.motion.holding = 1;
        tickCount.store(11500);
        return ac;
    }
    // Metres between a stream point and a position.
    static double metresTo(const StreamPoint& p, LaLo at) { return gf_distanceNm({p.lat, p.lon}, at) * metresPerNm; }
    // Not yet shown, first reported standing on RAMP B1 at tick 12000: the
    // reports that come before its object exists each pass the stream
    // checks and join the stream after the last, then it is created at its
    // stand.
    static LiveAc& createdOnB1From(const std::vector<StreamPoint>& reports) {
        g_liveAircraft.clear();
        LiveAc& born = addLive(0x484C42, AcSimState::buffer, 0, {south(0.0, 12000, 0.0)});
        born.phase = AcPhase::birth;
        for (StreamPoint p : reports) {
            if (!lf_acceptNewStreamPoint(born, p)) continue;
            p.playTick = std::max(p.playTick, born.stream.back().playTick + 1);
            born.stream.push_back(p);
        }
        parkAtSpawnStand(born, stand(3));
        return born;
    }
    // Its object asked for at tick `now`, having been created parked: where
    // the request puts it.
    static LaLo askedForAt(LiveAc& born, std::int32_t now) {
        born.simState = AcSimState::adding2sim;
        tickCount.store(now);
        AiCreateRequest request{};
        request.hexid = born.hexid;
        request.position.Latitude = born.pose.latitude;
        request.position.Longitude = born.pose.longitude;
        gf_placeLateCreateNow(request);
        return {request.position.Latitude, request.position.Longitude};
    }
    // Pushing back from `at` (nose north, at `speedKt`) at tick 10000 along
    // its kept reports: the leg's end lies on the curve they tell, off the
    // chord from `at` at `chordDeg`, or on that chord.
    static void expectLegOnCurve(LiveAc& ac, LaLo at, double speedKt, double chordDeg, bool curve) {
        ac.phase = AcPhase::pushing_back;
        ac.pose.latitude = at.lat;
        ac.pose.longitude = at.lon;
        ac.pose.heading = 0.0;
        ac.stream = {groundPoint(at, 10000, speedKt)};
        tickCount.store(10000);
        gf_followPushback(ac);
        ASSERT_GE(ac.stream.size(), 2u);
        const LaLo target{ac.stream.front().lat, ac.stream.front().lon};
        const double across = gf_relativePosition(at, chordDeg * degreesToRadians, target).across;
        if (curve)
            EXPECT_GT(std::fabs(across), 1.0) << "on the curve, off the chord";
        else
            EXPECT_LT(std::fabs(across), 0.1) << "on the chord";
    }
};

}  // namespace

TEST_F(PushbackReports, ScatterWithoutSpeedNeverStartsADepartureAWalkingPushbackReportDoes) {
    struct Row {
        const char* what;
        std::vector<double> metres;  // off the stand, each farther than the one before
        std::vector<double> speedsKt;  // one for all, or one a report
        int departsAt;  // the report that marks the departure, -1: none
    };
    const Row rows[] = {
        // Each 3 m farther, beyond half the wing radius and 15 m: moves the
        // watch would take for a departure, were it not for the speed.
        {"scatter without speed", {2, 6, 10, 15, 19, 24, 30}, {0.0}, -1},
        // One report at a walking pace tail first is the pushback: a stream
        // may end with it.
        {"a pushback at walking pace", {5, 10, 16}, {3.0}, 0},
        {"one at 1 kt", {5}, {1.0}, 0},
        {"one slower than a walk, then one at 3 kt", {5, 16}, {0.9, 3.0}, 1},
        {"two that reach 3.2 m", {1.5, 3.2}, {3.0}, 1},
        {"two that stay within 2.8 m", {1.5, 2.8}, {3.0}, -1},
        // Stopped where its pushback got to, 2.5 m off its stand: still its
        // pushback, which the third report takes on.
        {"a stop on the way", {1.5, 2.5, 9}, {3.0, 0.0, 3.0}, 2},
    };
    std::uint32_t hexid = 0x484C00;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        LiveAc& ac = parkedOn(++hexid, 3, "KLM1234");
        int departsAt = -1;
        for (std::size_t i = 0; i < row.metres.size() && departsAt < 0; ++i) {
            const double kt = row.speedsKt.size() > i ? row.speedsKt[i] : row.speedsKt.front();
            StreamPoint p = south(row.metres[i], 13000 + int(i) * 300, kt, 190.0);
            if (checkExtendingSituations(ac, p)) departsAt = static_cast<int>(i);
        }
        EXPECT_EQ(departsAt, row.departsAt);
        EXPECT_EQ(ac.motion.departurePending, row.departsAt >= 0 ? 1 : 0);
        g_liveAircraft.clear();
    }
}

TEST_F(PushbackReports, AReportStandingAtTheStandUndoesAPushbackOfOneReportThatHasNotBegun) {
    struct Row {
        const char* what;
        double metres;        // the standing report, off the stand
        int pushbackReports;  // of the pushback before it
        int pending;          // the departure afterwards
    };
    const Row rows[] = {
        {"at the stand", 2.0, 1, 0},
        {"where the report pushed it", 12.0, 1, 1},
        {"at the stand after two reports of the pushback", 2.0, 2, 1},
    };
    std::uint32_t hexid = 0x484C08;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        LiveAc& ac = parkedOn(++hexid, 3, "KLM1234");
        for (int i = 0; i < row.pushbackReports; ++i) {
            StreamPoint p = south(13.0 + 4.0 * i, 13000 + 300 * i, 3.0);
            checkExtendingSituations(ac, p);
        }
        ASSERT_EQ(ac.motion.departurePending, 1);
        StreamPoint standing = south(row.metres, 14000, 0.0);
        EXPECT_FALSE(checkExtendingSituations(ac, standing));
        EXPECT_EQ(ac.motion.departurePending, row.pending);
        EXPECT_EQ(ac.motion.leaving.pushback.empty(), row.pending == 0);
        g_liveAircraft.clear();
    }
}

TEST_F(PushbackReports, ThePushbackWaitsUntilItsReportsBeginThenGoesWhereTheyGo) {
    LiveAc& ac = parkedOn(0x484C10, 3, "KLM1234");
    ac.extrapolationCount = 1;
    // Standing until 13000, then pushed south at 3 kt (1.54 m/s): begun
    // about 5.8 s before its first report (3.2 s for 5 m and 2.6 s speeding
    // up), which lies before the standing report's due tick.
    StreamPoint standing = south(0.0, 13000, 0.0);
    ASSERT_FALSE(checkExtendingSituations(ac, standing));
    for (const auto& [metres, due] : {std::pair{5.0, 13500}, {10.0, 13825}, {16.0, 14215}}) {
        StreamPoint p = south(metres, due, 3.0);
        checkExtendingSituations(ac, p);
    }
    ASSERT_EQ(ac.motion.departurePending, 1);
    ac.stream.resize(1);  // the point it reached: the stand
    ac.stream.front().playTick = tickCount.load();

    nextPosGround(ac);
    EXPECT_EQ(ac.phase, AcPhase::parked) << "it stands until the reports begin";
    ASSERT_EQ(ac.stream.size(), 2u);
    EXPECT_EQ(ac.stream[1].stationary, 1);
    EXPECT_EQ(ac.stream[1].playTick, 13000);
    EXPECT_EQ(ac.motion.departurePending, 1);

    ac.stream.pop_front();
    tickCount.store(13000);
    nextPosGround(ac);
    EXPECT_EQ(ac.phase, AcPhase::pushing_back);
    ASSERT_GE(ac.stream.size(), 2u);
    // In a straight line to its last report, due as reported.
    EXPECT_LT(metresTo(ac.stream[1], from(kB1, 180.0, 16.0)), 0.01);
    EXPECT_EQ(ac.stream[1].playTick, 14215);
    EXPECT_EQ(ac.motion.headingPerTick, 0.0) << "straight back: the nose keeps its heading";

    // Standing 8 degrees across the way it is pushed, it still keeps it; 12
    // degrees across, it turns over the leg to face away from it. Standing
    // there since long before (its point at the stand due at 1000 or 9000),
    // it still reaches its last report as that falls due.
    struct Row {
        double noseDeg;
        bool turns;
        std::int32_t standingSince;
    };
    for (const Row row :
         {Row{8.0, false, 13000}, Row{12.0, true, 13000}, Row{0.0, false, 9000}, Row{0.0, false, 1000}}) {
        SCOPED_TRACE(row.noseDeg);
        SCOPED_TRACE(row.standingSince);
        ac.phase = AcPhase::parked;
        ac.motion.departurePending = 1;
        ac.pose.latitude = kB1.lat;
        ac.pose.longitude = kB1.lon;
        ac.pose.heading = row.noseDeg * degreesToRadians;
        ac.stream.resize(1);
        ac.stream.front().playTick = row.standingSince;
        nextPosGround(ac);
        ASSERT_EQ(ac.phase, AcPhase::pushing_back);
        EXPECT_EQ(ac.motion.headingPerTick != 0.0, row.turns);
        EXPECT_EQ(ac.stream[1].playTick, 14215);
    }
}

TEST_F(PushbackReports, APushbackGoesOnWhereItsLegEndedAndLeavesOutAReportMilesOff) {
    LiveAc& ac = parkedOn(0x484C20, 3, "KLM1234");
    StandLeaving& l = ac.motion.leaving;
    l.start = kB1;
    for (int i = 1; i <= 6; ++i) l.pushback.push_back(south(6.0 * i, 10000 + i * 400, 3.0));
    // Its leg ended 24 m back, before the next report came.
    ac.phase = AcPhase::pushed_back;
    const LaLo at = from(kB1, 180.0, 24.0);
    ac.pose.latitude = at.lat;
    ac.pose.longitude = at.lon;
    ac.pose.heading = 0.0;
    tickCount.store(11000);

    StreamPoint milesOff = groundPoint(from(kB1, 90.0, 9000.0), 12500, 3.0);
    EXPECT_FALSE(checkExtendingSituations(ac, milesOff));
    EXPECT_EQ(ac.phase, AcPhase::pushing_back) << "pushed on to the reports beyond it";
    EXPECT_TRUE(l.after.empty()) << "a report 9 km off is none of the pushback's way";
    EXPECT_EQ(l.pushbackOver, 0);
    // From rest where it stands, on the next tick.
    ASSERT_GE(ac.stream.size(), 2u);
    EXPECT_EQ(ac.stream.front().playTick, 11001);
    tickCount.store(11001);
    nextPosGround(ac);
    EXPECT_EQ(ac.phase, AcPhase::pushing_back);
    ASSERT_GE(ac.stream.size(), 2u);
    EXPECT_LT(metresTo(ac.stream[1], from(kB1, 180.0, 36.0)), 0.01);
    EXPECT_EQ(ac.stream[1].playTick, 12400);
    ac.stream.pop_front();

    // Off to the side of its end (75 degrees from straight back) it goes no
    // further, nor does that end it; standing 6 m further back after a gap,
    // it got there at its pace (3 kt: 3.9 s after its last report), not when
    // the report came.
    StreamPoint aside = groundPoint(from(from(kB1, 180.0, 36.0), 105.0, 5.0), 12600, 3.0);
    checkExtendingSituations(ac, aside);
    EXPECT_EQ(l.pushback.size(), 6u);
    EXPECT_EQ(l.pushbackOver, 0);
    StreamPoint further = south(42.0, 14400, 0.0);
    checkExtendingSituations(ac, further);
    ASSERT_EQ(l.pushback.size(), 7u);
    EXPECT_EQ(l.pushback.back().playTick, 12400 + 389);
}

TEST_F(PushbackReports, APushbackEndsWhereItsReportsStoppedHoweverShortTheLastStep) {
    LiveAc& ac = parkedOn(0x484C20, 3, "KLM1234");
    StreamPoint standing = south(0.0, 12500, 0.0);
    checkExtendingSituations(ac, standing);
    for (const auto& [metres, due, kt] : {std::tuple{5.0, 13000, 3.0}, {10.0, 13300, 3.0}, {16.0, 13600, 1.7}}) {
        StreamPoint p = south(metres, due, kt);
        checkExtendingSituations(ac, p);
    }
    const StandLeaving& l = ac.motion.leaving;
    ASSERT_EQ(ac.motion.departurePending, 1);
    ASSERT_EQ(l.pushback.size(), 3u);
    // Stopped 0.7 m further on: that is where the taxi starts from.
    StreamPoint stopped = south(16.7, 13800, 0.0);
    checkExtendingSituations(ac, stopped);
    ASSERT_EQ(l.pushback.size(), 4u);
    EXPECT_LT(metresTo(l.pushback.back(), from(kB1, 180.0, 16.7)), 0.01);
    // Standing there, a report half a metre off is scatter, not a step.
    StreamPoint scatter = south(17.2, 14000, 0.0);
    checkExtendingSituations(ac, scatter);
    EXPECT_EQ(l.pushback.size(), 4u);
    EXPECT_EQ(l.after.size(), 1u);
}

TEST_F(PushbackReports, TheTaxiStartsFromTheReportsKeptSinceThePushbackEnded) {
    struct Row {
        const char* what;
        bool atTheNextReport;  // else at the end of the pushback leg
    };
    for (const Row row : {Row{"at the next report", true}, Row{"as the pushback ends", false}}) {
        SCOPED_TRACE(row.what);
        const LaLo end = from(kB1, 180.0, 60.0);
        LiveAc& ac = pushedBack(end);
        StandLeaving& l = ac.motion.leaving;
        // Standing at its end until 12000, then off west along the lane.
        l.after.push_back(groundPoint(end, 12000, 0.0));
        for (int i = 1; i <= 5; ++i) l.after.push_back(groundPoint(from(end, 270.0, 8.0 * i * i), 12000 + 200 * i, 3.0 * i));
        if (row.atTheNextReport) {
            StreamPoint p = groundPoint(from(end, 270.0, 250.0), 13400, 15.0);
            EXPECT_TRUE(checkExtendingSituations(ac, p));
        } else {
            gf_pushbackEnded(ac);
        }
        EXPECT_EQ(ac.phase, AcPhase::taxi);
        EXPECT_EQ(ac.standId, 0);
        EXPECT_EQ(ac.motion.holding, 0);
        EXPECT_EQ(ac.stream.front().playTick, 11501);
        // It holds where it stands until the report standing there falls
        // due, then goes the reports' way as they fall due.
        ASSERT_GE(ac.stream.size(), 4u);
        EXPECT_EQ(ac.stream[1].stationary, 1);
        EXPECT_EQ(ac.stream[1].playTick, 12000);
        EXPECT_LT(metresTo(ac.stream[1], end), 0.01);
        EXPECT_EQ(ac.stream.back().playTick, 13000);
        EXPECT_LT(metresTo(ac.stream.back(), from(end, 270.0, 200.0)), 0.01);
        EXPECT_TRUE(ac.motion.leaving.after.empty());
    }
}

TEST_F(PushbackReports, AFirstReportFarOffAtATaxisSpeedStartsTheTaxiOnItsOwn) {
    // The reports paused after the pushback; the first one after the pause
    // lies west of where it ended. Beyond a standing aircraft's scatter and
    // at a reported speed it is the taxi already, and so is one more than
    // 20 m on (beyond a copy of where it stands) at a speed no pushback goes
    // (above 6 kt); nearer, slower or at no speed, the watch waits for the
    // next move.
    struct Row {
        double westM;
        double speedKt;
        bool taxis;
    };
    for (const Row row : {Row{250.0, 15.0, true}, Row{55.0, 15.0, true}, Row{45.0, 15.0, true},
                          Row{45.0, 5.0, false}, Row{16.0, 15.0, false}, Row{250.0, 0.0, false},
                          Row{250.0, 0.9, false}}) {
        SCOPED_TRACE(testing::Message() << row.westM << " m at " << row.speedKt << " kt");
        const LaLo end = from(kB1, 180.0, 60.0);
        LiveAc& ac = pushedBack(end);
        StreamPoint p = groundPoint(from(end, 270.0, row.westM), 14500, row.speedKt);
        EXPECT_EQ(checkExtendingSituations(ac, p), row.taxis);
        EXPECT_EQ(ac.phase, row.taxis ? AcPhase::taxi : AcPhase::pushed_back);
        if (!row.taxis) continue;
        EXPECT_EQ(ac.motion.holding, 0);
        EXPECT_EQ(ac.stream.front().playTick, 11501);
        // It leaves in time to be at the report when it falls due: at once
        // for 250 m, later for 55 m (it stands where it is until then).
        const double legTicks = row.westM / (row.speedKt * 0.514444) * 100.0;
        const StreamPoint& last = ac.stream.back();
        EXPECT_LT(metresTo(last, end), 0.01);
        if (14500 - legTicks < 11600) {
            EXPECT_EQ(ac.stream.size(), 1u);
        } else {
            EXPECT_EQ(last.stationary, 1);
            EXPECT_GT(last.playTick, 11600);
            EXPECT_LT(last.playTick, 14500 - legTicks);
        }
    }
}

TEST_F(PushbackReports, ReportsComeToTheWatchBeforeTheObjectExistsAndFromTheStreamItWasCreatedWith) {
    // Parked while its object is being created: the report is kept, the
    // stream takes none, and the departure stays pending when it exists.
    LiveAc& ac = parkedOn(0x484C40, 3, "KLM1234");
    ac.simState = AcSimState::adding2sim;
    int accepted = 0;
    for (const auto& [metres, due] : {std::pair{0.0, 13000}, {5.0, 13500}, {10.0, 13825}, {16.0, 14215}}) {
        StreamPoint p = south(metres, due, metres > 0.0 ? 3.0 : 0.0);
        accepted += checkExtendingSituations(ac, p) ? 1 : 0;
    }
    EXPECT_EQ(accepted, 0);
    EXPECT_EQ(ac.motion.leaving.pushback.size(), 3u);
    EXPECT_EQ(ac.motion.departurePending, 1);
    hp_handleGroundTraffic(ac, true);
    EXPECT_EQ(ac.motion.departurePending, 1) << "its kept reports show the pushback begun";

    // Created standing whose later reports already push it back: they are
    // kept, not dropped with the stream.
    LiveAc& born = addLive(0x484C41, AcSimState::buffer, 0,
                           {south(0.0, 12000, 0.0), south(0.0, 12400, 0.0), south(5.0, 12800, 3.0),
                            south(10.0, 13100, 3.0)});
    born.phase = AcPhase::birth;
    g_simCommandBuffers.clientEvents.clear();
    parkAtSpawnStand(born, stand(3));
    for (const SimClientEventCommand& e : g_simCommandBuffers.clientEvents)
        EXPECT_NE(e.objectId, 0u) << "lights for an object that does not exist yet";
    EXPECT_EQ(born.stream.size(), 1u);
    EXPECT_EQ(born.motion.leaving.pushback.size(), 2u);
    EXPECT_EQ(born.motion.leaving.standing.playTick, 12400);
}

TEST_F(PushbackReports, ItPullsOutAtATaxisPaceAndIsFoundPushedBackByTwoReportsStandingBehindIt) {
    struct Row {
        const char* what;
        double bearingDeg;  // off the stand
        std::vector<double> metres;
        double speedKt;
        int departsAt;
        bool pullOut;
        int standingReports = 1;  // at the stand before, every other one
        double scatterM = 0.0;    // this far east of it
    };
    const Row rows[] = {
        // Straight ahead at 6 kt: pulling out at 20 m, not at 210 m.
        {"ahead at a taxi's pace", 0.0, {4, 8, 14, 20}, 6.0, 3, true},
        {"ahead at a walking pace", 0.0, {4, 8, 14, 20}, 2.0, -1, false},
        // The pushback's own reports missing: two standing 75 m back.
        {"standing 75 m back", 180.0, {75, 75}, 0.0, 1, false},
        {"standing 43 m back", 180.0, {43, 43}, 0.0, -1, false},
        // Within a stand's scatter, but well beyond the scatter its reports
        // at the stand showed.
        {"45 m back, no scatter shown", 180.0, {45, 45}, 0.0, 1, false, 3},
        {"45 m back, 35 m of scatter shown", 180.0, {45, 45}, 0.0, -1, false, 3, 35.0},
        // Too few reports at the stand to show the scatter: within the
        // stand's size (30 m) and 15 m it stands, beyond it is pushed back.
        {"43 m back, too few reports at the stand", 180.0, {43, 43}, 0.0, -1, false, 2},
        {"47 m back, too few reports at the stand", 180.0, {47, 47}, 0.0, 1, false, 2},
        {"standing 47 m back", 180.0, {47, 47}, 0.0, 1, false},
        {"45 m back, 6 m apart", 180.0, {45, 51}, 0.0, -1, false, 3},
        {"45 m back, then at the stand", 180.0, {45, 0}, 0.0, -1, false, 3},
        {"45 m ahead", 0.0, {45, 45}, 0.0, -1, false, 3},
    };
    std::uint32_t hexid = 0x484C50;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        LiveAc& ac = parkedOn(++hexid, 3, "KLM1234");
        ac.extrapolationCount = 1;
        for (int k = row.standingReports - 1; k >= 0; --k) {
            StreamPoint standing =
                groundPoint(from(kB1, 90.0, k % 2 == 1 ? row.scatterM : 0.0), 12500 - 300 * k, 0.0);
            checkExtendingSituations(ac, standing);
        }
        int departsAt = -1;
        for (std::size_t i = 0; i < row.metres.size() && departsAt < 0; ++i) {
            StreamPoint p = groundPoint(from(kB1, row.bearingDeg, row.metres[i]), 13000 + int(i) * 300, row.speedKt);
            if (checkExtendingSituations(ac, p)) departsAt = static_cast<int>(i);
        }
        EXPECT_EQ(departsAt, row.departsAt);
        EXPECT_EQ(ac.motion.pullOut, row.pullOut ? 1 : 0);
        if (departsAt < 0) continue;
        // It leaves when its reports say: after its last report at the stand.
        ac.stream.resize(1);
        tickCount.store(12500);
        nextPosGround(ac);
        EXPECT_EQ(ac.phase, row.pullOut ? AcPhase::taxi : AcPhase::pushing_back);
        ASSERT_GE(ac.stream.size(), 2u);
        if (row.pullOut) {
            // The way its reports went, each due as reported.
            EXPECT_LT(metresTo(ac.stream.back(), from(kB1, 0.0, 20.0)), 0.01);
            EXPECT_EQ(ac.stream.back().playTick, 13900);
        } else {
            EXPECT_LT(metresTo(ac.stream[1], from(kB1, 180.0, row.metres.front())), 0.01);
        }
    }
}

TEST_F(PushbackReports, BetweenTwoReportsOfATurnThePushbackFollowsTheCurveTheirTracksTell) {
    struct Row {
        const char* what;
        double trackADeg, trackBDeg;  // the reports' tracks; the chord between them runs at 210
        bool curve;
        bool stands = false;         // the second stands where the pushback ended
        double noseDeg = std::nan("");  // the heading it reports there
    };
    const Row rows[] = {
        {"the tracks of a turn", 180.0, 240.0, true},
        {"the nose given as the track", 0.0, 60.0, true},
        // Standing where the pushback ended: its heading tells the way it came.
        {"standing at its end, its nose reported", 180.0, 0.0, true, true, 60.0},
        // No heading there: it comes round as far as it left the chord, the
        // even arc (a straight chord would turn its way 30 degrees at once).
        {"standing at its end, no heading reported", 180.0, 0.0, true, true},
        // Both to one side of the chord: the second the way a taxi sets off.
        {"ways to one side of the chord", 200.0, 260.0, false},
        {"ways far off the chord", 130.0, 290.0, false},
    };
    std::uint32_t hexid = 0x484C60;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        LiveAc& ac = leavingB1(++hexid);
        StandLeaving& l = ac.motion.leaving;
        StreamPoint a = south(10.0, 10000, 3.0);
        a.trackDeg = row.trackADeg;
        const LaLo aAt{a.lat, a.lon};
        StreamPoint b = groundPoint(from(aAt, 210.0, 30.0), 12000, row.stands ? 0.0 : 3.0);
        b.trackDeg = row.trackBDeg;
        b.hasTrueHeading = std::isfinite(row.noseDeg) ? 1 : 0;
        b.trueHeading = row.noseDeg * degreesToRadians;
        l.pushback = {a, b};
        // Pushed back to the first, nose north.
        expectLegOnCurve(ac, aAt, 3.0, 210.0, row.curve);
        EXPECT_GT(ac.motion.headingPerTick, 0.0) << "the nose swings round with the tail";
    }
}

TEST_F(PushbackReports, AMovingReportFarLaterThanThePushbacksPaceTakesHidAStopAndIsReachedAtThatPace) {
    struct Row {
        const char* what;
        std::int32_t laterTicks;  // than 3 kt takes for its 6 m (389 ticks)
        std::int32_t due;         // as kept
    };
    const Row rows[] = {
        {"4 s later", 400, 10789},
        {"6 s later", 600, 10389},
    };
    std::uint32_t hexid = 0x484C70;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        LiveAc& ac = parkedOn(++hexid, 3, "KLM1234");
        StandLeaving& l = ac.motion.leaving;
        l.start = kB1;
        l.pushback = {south(10.0, 10000, 3.0)};
        EXPECT_TRUE(gf_keepLeavingReport(ac, south(16.0, 10389 + row.laterTicks, 2.0)));
        ASSERT_EQ(l.pushback.size(), 2u);
        EXPECT_EQ(l.pushback.back().playTick, row.due);
        g_liveAircraft.clear();
    }
}

TEST_F(PushbackReports, AGroundSpeedNoAircraftGoesCountsAsThePaceItsPositionGives) {
    // Pushed 10 m back at 3 kt, or standing on the stand until then; the
    // next report's speed is a bad 1e6 kt.
    struct Row {
        const char* what;
        double metres;     // the report, off the stand
        std::int32_t due;  // the report's due tick
        bool pushedOn;     // it takes the pushback further
        double keptKt;     // the speed kept with it
        bool begun = true;  // the pushback had begun
    };
    const Row rows[] = {
        {"6 m on in 3.89 s: a walking pace", 16.0, 10389, true, 3.0},
        {"where it got to: standing", 10.0, 10500, false, 0.0},
        {"40 m on in 4 s: a taxi's pace, not the pushback", 50.0, 10400, false, 19.4},
        // Before it began: the scatter of a parked aircraft's reports.
        {"16 m off the stand in 5.89 s, not begun", 16.0, 10589, false, 1e6, false},
    };
    std::uint32_t hexid = 0x484CE0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        LiveAc& ac = leavingB1(++hexid);
        StandLeaving& l = ac.motion.leaving;
        if (row.begun) {
            l.pushback = {south(10.0, 10000, 3.0)};
        } else {
            l.standing = south(0.0, 10000, 0.0);
            l.hasStanding = 1;
        }
        EXPECT_EQ(gf_keepLeavingReport(ac, south(row.metres, row.due, 1e6)), row.pushedOn);
        const StreamPoint& kept = row.pushedOn ? l.pushback.back() : l.after.back();
        EXPECT_EQ(l.pushback.size(), row.pushedOn ? 2u : row.begun ? 1u : 0u);
        EXPECT_NEAR(kept.groundSpeedKt, row.keptKt, 0.05);
    }
}

TEST_F(PushbackReports, TwoReportsInOneTickPlanTheLegOnAtTheSpeedTheAircraftHas) {
    LiveAc& ac = parkedOn(0x484C80, 3, "KLM1234");
    StandLeaving& l = ac.motion.leaving;
    l.start = kB1;
    l.pushback = {south(20.0, 11000, 3.0), south(40.0, 12300, 3.0)};
    // Pushed back 10 m, going south at 3 kt (0.0154 m a tick).
    const LaLo at = from(kB1, 180.0, 10.0);
    const LaLo tickOn = from(at, 180.0, 0.0154);
    ac.phase = AcPhase::pushing_back;
    ac.pose.latitude = at.lat;
    ac.pose.longitude = at.lon;
    ac.pose.heading = 0.0;
    ac.stream = {south(20.0, 11000, 3.0)};
    ac.motion.scheduleCount = 0;
    ac.motion.stepLat = tickOn.lat - at.lat;
    ac.motion.stepLon = tickOn.lon - at.lon;
    tickCount.store(10350);
    const auto firstStepM = [&] {
        const MotionState& m = ac.motion;
        EXPECT_GT(m.scheduleCount, 0u);
        return m.schedule.front() * gf_distanceNm(at, {at.lat + m.unitStepLat, at.lon + m.unitStepLon}) * metresPerNm;
    };
    gf_followPushback(ac);
    const double once = firstStepM();
    EXPECT_NEAR(once, 0.0154, 0.001);
    // A second report in the same tick: the leg planned on keeps the pace.
    l.pushback.push_back(south(60.0, 13600, 3.0));
    gf_followPushback(ac);
    EXPECT_NEAR(firstStepM(), once, 0.001);
}

TEST_F(PushbackReports, ALatePushbackCatchesUpAtAPushbacksMostPace) {
    // Standing on RAMP B1 (nose north) as its pushback begins, late: its
    // reports 15 m and 30 m south fell due 10 s and 5 s ago (an aircraft
    // created late in a busy sky). It catches up at the most a pushback
    // goes, 6 kt: at 5 the first report came more than 10 s late.
    struct Row {
        double reportedKt;
        double catchUpKt;
    };
    for (const Row row : {Row{3.0, 6.0}, Row{2.0, 6.0}}) {
        SCOPED_TRACE(row.reportedKt);
        LiveAc& ac = leavingB1(0x484CB0);
        StandLeaving& l = ac.motion.leaving;
        l.pushback = {south(15.0, 11000, row.reportedKt), south(30.0, 11500, row.reportedKt)};
        ac.phase = AcPhase::pushing_back;
        ac.pose.latitude = kB1.lat;
        ac.pose.longitude = kB1.lon;
        ac.pose.heading = 0.0;
        ac.stream = {south(0.0, 12000, 0.0)};
        tickCount.store(12000);
        gf_followPushback(ac);
        const MotionState& m = ac.motion;
        ASSERT_GT(m.scheduleCount, 0u);
        const double unitM = gf_distanceNm(kB1, {kB1.lat + m.unitStepLat, kB1.lon + m.unitStepLon}) * metresPerNm;
        const double mostStepM = *std::max_element(m.schedule.begin(), m.schedule.end()) * unitM;
        EXPECT_NEAR(mostStepM * 100.0 / kKnotsToMps, row.catchUpKt, 0.3);
    }
}

TEST_F(PushbackReports, ALateLegRoundABendSetsOffWithinTheBendALegMayCutOfItsTail) {
    // Pushed to its first report 10 m south (nose north), the second further
    // on round a bend, standing: the leg does not run straight across the
    // curve between them but along it as far as its chord leaves within the
    // 25 degrees a leg may cut off a bend of the tail. By its end the nose
    // faces away from the leg within those 25 degrees, not from the curve's
    // way further on.
    struct Row {
        const char* what;
        double trackDeg;    // the first report's track
        double onDeg;       // the second lies this way from the first
        double onM;         // and this far
        std::int32_t aDue;  // when each falls due (the leg is planned at 10000)
        std::int32_t bDue;
        bool noseTold;  // the second tells its nose, 275
    };
    const Row rows[] = {
        // Both due long ago: cut straight across, the leg set off 30 degrees
        // off the way the tail points.
        {"both due long ago, the second telling its nose", 180.0, 150.0, 30.0, 8000, 9000, true},
        // Its reports began to bend before they paused, too little for the
        // nose to follow, and the second is due 27 s on: the chord kept
        // within 2.5 m of the curve and 25 degrees of its way set off 35
        // degrees off the tail, and the nose was still 30 degrees off the
        // travel at a walking pace.
        {"the bend begun, the nose kept, the second due later", 171.1, 131.6, 33.0, 9084, 12672, false},
    };
    std::uint32_t hexid = 0x484CA0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        LiveAc& ac = leavingB1(++hexid);
        StandLeaving& l = ac.motion.leaving;
        StreamPoint a = south(10.0, row.aDue, 3.0);
        a.trackDeg = row.trackDeg;
        const LaLo aAt{a.lat, a.lon};
        StreamPoint b = groundPoint(from(aAt, row.onDeg, row.onM), row.bDue, 0.0);
        b.trackDeg = 275.0;
        b.hasTrueHeading = row.noseTold ? 1 : 0;
        b.trueHeading = 275.0 * degreesToRadians;
        l.pushback = {a, b};
        expectLegOnCurve(ac, aAt, 3.0, row.onDeg, true);
        ASSERT_GE(ac.stream.size(), 2u);
        const LaLo end{ac.stream.front().lat, ac.stream.front().lon};
        const double chordDeg = gf_bearing(aAt, end) * radiansToDegrees;
        EXPECT_LE(std::fabs(std::remainder(chordDeg - 180.0, 360.0)), 25.0) << "off the tail";
        const double legTicks = ac.stream.front().playTick - tickCount.load();
        const double noseAtEndDeg = (ac.pose.heading + ac.motion.headingPerTick * legTicks) * radiansToDegrees;
        EXPECT_LE(std::fabs(std::remainder(noseAtEndDeg - (chordDeg + 180.0), 360.0)), 25.5);
        EXPECT_LT(ac.motion.headingPerTick, 0.0) << "the nose swings round with the tail";
    }
}

TEST_F(PushbackReports, IntoACornerOfStraightStretchesTheNoseLeadsByHalfTheCornerAsFarAsALegMayCut) {
    // Pushed from its first report 10 m south (nose north) to the second 30 m
    // further south, then 15 m off at the row's bearing to the third; no
    // report tells a track or a heading, so the way between them is straight.
    // By the corner the nose has turned half the corner, no more than 25
    // degrees, away from the way the pushback goes on.
    struct Row {
        const char* what;
        double onDeg;       // the bearing from the second report to the third
        double noseEndDeg;  // the nose at the corner
    };
    const Row rows[] = {
        {"a sharp corner left of the tail", 120.0, 335.0},
        {"a wider one", 140.0, 340.0},
        {"a sharp corner right of the tail", 240.0, 25.0},
    };
    std::uint32_t hexid = 0x484CB0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        LiveAc& ac = leavingB1(++hexid);
        StandLeaving& l = ac.motion.leaving;
        const StreamPoint a = south(10.0, 10000, 3.0);
        const LaLo aAt{a.lat, a.lon};
        const StreamPoint b = south(40.0, 11500, 3.0);
        const StreamPoint c = groundPoint(from({b.lat, b.lon}, row.onDeg, 15.0), 12500, 0.0);
        l.pushback = {a, b, c};
        for (StreamPoint& p : l.pushback) p.trackDeg = std::numeric_limits<double>::quiet_NaN();
        expectLegOnCurve(ac, aAt, 3.0, 180.0, false);
        ASSERT_GE(ac.stream.size(), 2u);
        EXPECT_LT(metresTo(ac.stream.front(), {b.lat, b.lon}), 0.5) << "the leg ends at the corner";
        const double legTicks = ac.stream.front().playTick - tickCount.load();
        const double noseAtEndDeg = (ac.pose.heading + ac.motion.headingPerTick * legTicks) * radiansToDegrees;
        EXPECT_LE(std::fabs(std::remainder(noseAtEndDeg - row.noseEndDeg, 360.0)), 0.5);
    }
}

TEST_F(PushbackReports, ThePushbackSetsOffStraightBackFromTheNoseAndCurvesToItsFirstReport) {
    struct Row {
        const char* what;
        double startNoseDeg;  // NaN: not known
        bool curve;
    };
    const Row rows[] = {
        {"the nose it started with known", 0.0, true},
        {"the nose it started with not known", std::nan(""), false},
    };
    std::uint32_t hexid = 0x484C90;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        LiveAc& ac = leavingB1(++hexid);
        StandLeaving& l = ac.motion.leaving;
        l.startNoseRad = row.startNoseDeg * degreesToRadians;
        l.standing = groundPoint(kB1, 10000, 0.0);
        l.hasStanding = 1;
        // Its first report 30 m off at 200 degrees, already turning on.
        StreamPoint first = groundPoint(from(kB1, 200.0, 30.0), 12000, 3.0);
        first.trackDeg = 240.0;
        l.pushback = {first};
        expectLegOnCurve(ac, kB1, 0.0, 200.0, row.curve);
    }
}

TEST_F(PushbackReports, TheReportsAnAircraftIsCreatedWithPassTheStreamChecksAndStillShowItsPushback) {
    // Reports as they come before the object exists: each passes the stream
    // checks and joins the stream after the last, then the aircraft is
    // created at its stand (RAMP B1, nose north).
    struct Report {
        double metres, bearingDeg, speedKt;
    };
    struct Row {
        const char* what;
        std::vector<Report> reports;
        std::size_t pushbackKept;
    };
    const Row rows[] = {
        {"a pushback at walking pace, 1.5 to 7 m a report",
         {{0.0, 180, 0}, {1.5, 180, 1.8}, {3.6, 180, 2.2}, {7.1, 180, 2.9}},
         3},
        {"a pushback setting off after standing a while",
         {{0.0, 180, 0}, {0.0, 180, 0}, {2.0, 180, 1.8}, {5.0, 180, 2.5}, {9.0, 180, 2.9}},
         3},
        {"scatter at no speed around the stand",
         {{0.0, 180, 0}, {8.0, 90, 0}, {15.0, 270, 0}, {6.0, 180, 0}},
         0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::vector<StreamPoint> reports;
        std::int32_t due = 12000;
        for (const Report& r : row.reports) reports.push_back(south(r.metres, due += 300, r.speedKt, r.bearingDeg));
        LiveAc& born = createdOnB1From(reports);
        EXPECT_EQ(born.phase, AcPhase::parked);
        ASSERT_EQ(born.motion.leaving.pushback.size(), row.pushbackKept);
        if (row.pushbackKept == 0) continue;
        // The kept pushback ends where its last report has it, not at the stand.
        const Report& end = row.reports.back();
        EXPECT_LT(metresTo(born.motion.leaving.pushback.back(), from(kB1, end.bearingDeg, end.metres)), 0.01);
    }
}

TEST_F(PushbackReports, ReportsCopiedOntoWhereItStoodBeforeItWasShownShowNoScatter) {
    // Created on RAMP B1 from reports at no speed: scattered by up to 19 m
    // (each copied onto the first by the stream checks), or standing to the
    // decimetre. Then two reports at no speed stand together 18 m behind it.
    // Scatter no report showed the watch is not to take for none: the two
    // are more of it. Where the reports stood still, they are where a
    // pushback the reports paused through took the aircraft.
    struct Row {
        const char* what;
        std::vector<std::pair<double, double>> created;  // metres and bearing off the stand
        bool pushedBack;
    };
    const Row rows[] = {
        {"created from scattered reports", {{1.2, 180}, {19.0, 90}, {17.0, 20}, {19.0, 175}}, false},
        {"created from reports standing still", {{1.2, 180}, {1.3, 180}, {1.1, 180}, {1.2, 175}}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::vector<StreamPoint> reports;
        std::int32_t due = 12000;
        for (const auto& [metres, bearingDeg] : row.created)
            reports.push_back(south(metres, due += 600, 0.0, bearingDeg));
        LiveAc& born = createdOnB1From(reports);
        ASSERT_EQ(born.phase, AcPhase::parked);
        born.simState = AcSimState::active;
        bool departs = false;
        for (const double metres : {17.6, 16.4}) {
            due += 600;
            StreamPoint p = south(metres, due, 0.0, 178.0);
            departs = checkExtendingSituations(born, p) || departs;
        }
        EXPECT_EQ(departs, row.pushedBack);
        EXPECT_EQ(born.motion.departurePending, row.pushedBack ? 1 : 0);
    }
}

TEST_F(PushbackReports, BeforeItIsShownAReportAtAWalkingPaceIsKeptAsItCameOneAtNoSpeedStandsWhereItStood) {
    // The last point stands on RAMP B1 (nose north); the report comes south
    // or north of it. Kept as it came, also after standing and behind the
    // nose (a pushback that has begun); below a walking pace, or at no
    // speed, it is a copy of the last point: the aircraft still stands.
    struct Row {
        const char* what;
        double northM, speedKt;
        bool copyOfLast;
    };
    const Row rows[] = {
        {"11 m on at 8 kt", 11.1, 8.0, false},
        {"3 m back at 1.8 kt", -3.0, 1.8, false},
        {"3 m on at 1 kt", 3.0, 1.0, false},
        {"3 m on at 0.9 kt", 3.0, 0.9, true},
        {"9 m back at 0 kt", -9.0, 0.0, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        g_liveAircraft.clear();
        LiveAc& born = onGround(0x484C43, kB1, 0.0, AcPhase::birth);
        born.simState = AcSimState::buffer;
        born.stream.back().groundSpeedKt = 0.0;
        StreamPoint p = groundPoint(from(kB1, row.northM < 0.0 ? 180.0 : 0.0, std::fabs(row.northM)), 10300, row.speedKt);
        ASSERT_TRUE(lf_acceptNewStreamPoint(born, p));
        EXPECT_EQ(p.stationary != 0, row.copyOfLast);
        EXPECT_EQ(metresTo(p, kB1) < 0.01, row.copyOfLast);
        EXPECT_EQ(p.groundSpeedKt, row.copyOfLast ? 0.0 : row.speedKt);
    }
}

TEST_F(PushbackReports, AfterAGapAReportFurtherBackFacingOffTheLineTakesThePushbackOnToWhereItTurned) {
    // Pushed 60 m south (nose north), its reports paused; the next lies 80 m
    // south and 6 m west, at a walking pace. Its own nose tells where it left
    // the pushback's line: facing west, 80 m south; facing south-west, 74 m
    // south. A nose that runs down the line tells no place, and one facing
    // south-east lies on the wrong side of the line for it: the pushback
    // stays where it ended and the report waits for the taxi. One at a
    // taxi's speed already (turned off, it sped up) is pushed on to where it
    // turned as well, one on the line too, having turned where it is
    // reported (its nose north-east, away from the stand's way, the report
    // a metre off the line as the pushback's end faces a little off), unless
    // that leaves no time to taxi on from there to the report: then the
    // taxi starts on it at once. A taxiing report without its heading goes
    // nose first: its track tells the nose. One whose nose line meets the
    // line well ahead of it (north-east, 6 m off) was pushed round a bend on
    // to it, its tail swung out the way it lies, and turned there; not one
    // whose tail swung more than a quarter turn for that (nose east-south-
    // east, 4 m off): the taxi starts on it at once, faster than a pushback
    // goes 20 m off.
    struct Row {
        double noseDeg;
        double turnSouthM;  // 0: no pushback on
        double speedKt = 4.5;
        std::int32_t due = 14000;
        double westM = 6.0;
        bool turnedAtReport = false;
        bool headingReported = true;
        bool taxisAtOnce = false;
    };
    for (const Row row :
         {Row{270.0, 80.0}, Row{225.0, 74.0}, Row{190.0, 0.0}, Row{135.0, 0.0}, Row{270.0, 80.0, 9.0},
          Row{45.0, 80.0, 9.0, 14000, 1.0, true}, Row{270.0, 0.0, 9.0, 12350, 6.0, false, true, true},
          Row{270.0, 80.0, 9.0, 14000, 6.0, false, false}, Row{45.0, 80.0, 9.0, 14000, 6.0, true},
          Row{45.0, 80.0, 9.0, 14000, 6.0, true, false}, Row{120.0, 0.0, 9.0, 14000, 4.0, false, true, true}}) {
        SCOPED_TRACE(testing::Message() << "nose " << row.noseDeg << " at " << row.speedKt << " kt"
                                        << (row.headingReported ? "" : ", by its track"));
        const LaLo end = from(kB1, 180.0, 60.0);
        LiveAc& ac = pushedBack(end);
        StandLeaving& l = ac.motion.leaving;
        // Its last report still moved: nothing told the pushback was over.
        l.pushbackOver = 0;
        StreamPoint p = groundPoint(from(from(kB1, 180.0, 80.0), 270.0, row.westM), row.due, row.speedKt);
        p.hasTrueHeading = row.headingReported ? 1 : 0;
        p.trueHeading = row.noseDeg * degreesToRadians;
        if (!row.headingReported) p.trackDeg = row.noseDeg;
        if (row.taxisAtOnce) {
            EXPECT_TRUE(checkExtendingSituations(ac, p));
            EXPECT_EQ(ac.phase, AcPhase::taxi);
            continue;
        }
        EXPECT_FALSE(checkExtendingSituations(ac, p));
        ASSERT_EQ(l.after.size(), 1u) << "the report waits for the taxi";
        if (row.turnSouthM == 0.0) {
            EXPECT_EQ(l.pushback.size(), 2u);
            continue;
        }
        EXPECT_EQ(ac.phase, AcPhase::pushing_back);
        ASSERT_EQ(l.pushback.size(), 3u);
        const LaLo turnedAt = row.turnedAtReport ? LaLo{p.lat, p.lon} : from(kB1, 180.0, row.turnSouthM);
        EXPECT_LT(metresTo(l.pushback.back(), turnedAt), 0.1);
        EXPECT_LT(l.pushback.back().playTick, row.due);
        // Pushed there, the taxi starts on the report and the next one on.
        const LaLo turned{l.pushback.back().lat, l.pushback.back().lon};
        StreamPoint on = groundPoint(from(from(kB1, 180.0, 80.0), 270.0, 60.0), 15000, 12.0);
        EXPECT_FALSE(checkExtendingSituations(ac, on));
        ac.phase = AcPhase::pushed_back;
        ac.pose.latitude = turned.lat;
        ac.pose.longitude = turned.lon;
        gf_pushbackEnded(ac);
        EXPECT_EQ(ac.phase, AcPhase::taxi);
        // From where it turned on to the reports, never back toward the stand.
        EXPECT_LT(metresTo(ac.stream.front(), turned), 0.01);
        EXPECT_LT(metresTo(ac.stream.back(), {on.lat, on.lon}), 0.01);
        for (const StreamPoint& q : ac.stream) EXPECT_GT(metresTo(q, kB1), row.turnSouthM - 0.1);
    }
}

TEST_F(PushbackReports, CreatedLateIntoItsPushbackItAppearsAtTheLastReportDueNotAtItsStand) {
    // Parked on RAMP B1 with its pushback kept (5 m south due at 12800, 10 m
    // at 13100); its object is asked for at the tick of the row. Between the
    // two it appears as far on toward the second as their time has gone.
    // Before the first it is as far on from its stand as the time since its
    // pushback began has gone: when its last report there fell due (12400),
    // or, that report long gone (at 10000), when the first report's 5 m at
    // its 3 kt (1.543 m/s), 3.24 s, and speeding up to that from rest at
    // 0.3 m/s2, 2.57 s, say: at 12219.
    struct Row {
        std::int32_t now;
        double southM;  // where it appears
        std::int32_t lastStanding = 12400;
    };
    for (const Row row : {Row{12400, 0.0}, Row{12700, 3.75}, Row{12700, 5.0 * 481.0 / 581.0, 10000},
                          Row{12200, 0.0, 10000}, Row{12800, 5.0}, Row{12900, 5.0 + 5.0 / 3.0}, Row{13200, 10.0}}) {
        SCOPED_TRACE(testing::Message() << row.now << " after " << row.lastStanding);
        g_liveAircraft.clear();
        LiveAc& born = addLive(0x484C44, AcSimState::buffer, 0,
                               {south(0.0, row.lastStanding - 400, 0.0), south(0.0, row.lastStanding, 0.0),
                                south(5.0, 12800, 3.0), south(10.0, 13100, 3.0)});
        born.phase = AcPhase::birth;
        tickCount.store(12000);
        parkAtSpawnStand(born, stand(3));
        ASSERT_EQ(born.motion.leaving.pushback.size(), 2u);
        const LaLo asked = askedForAt(born, row.now);
        const LaLo at = from(kB1, 180.0, row.southM);
        EXPECT_LT(gf_distanceNm(asked, at) * metresPerNm, 0.01);
        EXPECT_LT(gf_distanceNm({born.pose.latitude, born.pose.longitude}, at) * metresPerNm, 0.01);
        EXPECT_LT(metresTo(born.stream.front(), at), 0.01);
        // Tail first: the nose points back at the stand.
        EXPECT_NEAR(std::remainder(born.pose.heading, fullCircle), 0.0, 1e-6);
    }
}

TEST_F(PushbackReports, CreatedFromAFirstReportAlreadyPushedBackItLeftItsStandAsThatReportsPaceSays) {
    // Its reports paused while it stood on RAMP B1 (nose north); the first
    // it is created with lies 5 m south at 3 kt (due 12800), the next 10 m
    // (13100). That first report is the pushback's, not its last at the
    // stand: asked for as it falls due or after, it appears as far on as the
    // pushback got; asked for before, it has set off from its stand already.
    struct Row {
        std::int32_t now;
        double leastM, mostM;  // where it appears, south of the stand
    };
    for (const Row row : {Row{12700, 1.0, 4.99}, Row{12800, 4.99, 5.01}, Row{12900, 6.66, 6.67}}) {
        SCOPED_TRACE(row.now);
        g_liveAircraft.clear();
        LiveAc& born = addLive(0x484C45, AcSimState::buffer, 0, {south(5.0, 12800, 3.0), south(10.0, 13100, 3.0)});
        born.phase = AcPhase::birth;
        tickCount.store(12000);
        parkAtSpawnStand(born, stand(3));
        ASSERT_EQ(born.motion.leaving.pushback.size(), 2u);
        EXPECT_LT(metresTo(born.motion.leaving.pushback.front(), from(kB1, 180.0, 5.0)), 0.01);
        EXPECT_EQ(born.stream.front().groundSpeedKt, 0.0) << "parked on its stand until then";
        const LaLo at = askedForAt(born, row.now);
        EXPECT_NEAR(gf_relativePosition(kB1, 0.0, at).across, 0.0, 0.01);
        const double southM = -gf_relativePosition(kB1, 0.0, at).along;
        EXPECT_GE(southM, row.leastM);
        EXPECT_LE(southM, row.mostM);
    }
}

TEST_F(PushbackReports, CreatedFromAFirstReportGoingIntoItsStandItIsNotPushedBack) {
    // Created on RAMP B1 (nose north) from a first report that moves (due
    // 12800): towed in from the south, its next report nearer the stand or,
    // alone, its track north, it never left the stand, and asked for when
    // that report falls due it appears on the stand; going away tail first
    // by its track, alone, it has begun its pushback there.
    struct Row {
        const char* name;
        std::vector<double> southM;
        double trackDeg;
        bool pushed;
    };
    for (const Row& row : {Row{"towed in, its next report nearer", {40.0, 20.0}, 0.0, false},
                           Row{"towed in, alone", {40.0}, 0.0, false},
                           Row{"pushed back, alone", {5.0}, 180.0, true}}) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        std::deque<StreamPoint> stream;
        for (std::size_t k = 0; k < row.southM.size(); ++k) {
            StreamPoint p = south(row.southM[k], 12800 + static_cast<std::int32_t>(k) * 300, 4.0);
            p.trackDeg = row.trackDeg;
            stream.push_back(p);
        }
        LiveAc& born = addLive(0x484C46, AcSimState::buffer, 0, stream);
        born.phase = AcPhase::birth;
        tickCount.store(12000);
        parkAtSpawnStand(born, stand(3));
        const std::vector<StreamPoint>& push = born.motion.leaving.pushback;
        EXPECT_EQ(!push.empty() && metresTo(push.front(), from(kB1, 180.0, row.southM.front())) < 0.01, row.pushed);
        const double southM = -gf_relativePosition(kB1, 0.0, askedForAt(born, 12800)).along;
        EXPECT_NEAR(southM, row.pushed ? row.southM.front() : 0.0, 0.01);
    }
}

TEST_F(PushbackReports, AReportMovingNoseFirstByItsOwnTrackAFewMetresOnTakesNoPushbackOn) {
    // Pushed 20 m south of RAMP B1, nose north. The next report lies 1.6 m
    // on to the south-west, within the pushback's way back, its nose swung
    // 36 degrees round toward the taxiway. Going west by its own track, nose
    // first, it pivots there: no pushback report, kept for the taxi. With
    // its track against its nose it is pushed on there. One 15 m further
    // back, nose first by its track, shows the pushback went on there while
    // the reports paused. Before the pushback begins, a first report whose
    // track still lags nose first from the stand is pushed back all the same.
    struct Row {
        const char* name;
        double trackDeg, noseDeg, onM;
        bool begun;
        bool pushed;
    };
    for (const Row row : {Row{"pivoting, nose first", 270.0, 324.0, 1.6, true, false},
                          Row{"pushed, tail first", 144.0, 324.0, 1.6, true, true},
                          Row{"further on, nose first", 340.0, 340.0, 15.0, true, true},
                          Row{"the first report", 30.0, 0.0, 1.6, false, true}}) {
        SCOPED_TRACE(row.name);
        LiveAc& ac = leavingB1(0x484C50);
        StandLeaving& l = ac.motion.leaving;
        const auto pushReport = [](double metres, std::int32_t due) {
            StreamPoint p = south(metres, due, 3.0);
            p.hasTrueHeading = 1;
            p.trueHeading = 0.0;
            p.trackDeg = 180.0;
            return p;
        };
        if (row.begun) l.pushback = {pushReport(10.0, 10000), pushReport(20.0, 10700)};
        StreamPoint p = groundPoint(from(from(kB1, 180.0, row.begun ? 20.0 : 0.0), 200.0, row.onM), 11700, 2.1);
        p.hasTrueHeading = 1;
        p.trueHeading = row.noseDeg * degreesToRadians;
        p.trackDeg = row.trackDeg;
        const std::size_t before = l.pushback.size();
        EXPECT_EQ(gf_keepLeavingReport(ac, p), row.pushed);
        EXPECT_EQ(l.pushback.size(), before + (row.pushed ? 1u : 0u));
        EXPECT_EQ(l.after.size(), row.pushed ? 0u : 1u);
    }
}

TEST_F(PushbackReports, AStaleRepeatOfThePushbacksEndNeitherLeavesOutTheTaxiNorHoldsTheAircraftThere) {
    // Pushed back 60 m south of RAMP B1 (its last report due 11000). The
    // feed repeats that place at no speed, due 12000 and 14000, and 3.4 s
    // later the aircraft is reported taxiing 190 m west at 21.6 kt: judged
    // from the last repeat that is 108 kt, but the repeats tell nothing of
    // when it left; from the pushback's last report it is 11 kt. The report
    // is kept, and the taxi it starts goes straight for it: the repeats are
    // no hold. So are repeats of a first report that crept 1.6 m west off
    // the pushback's end at 2.4 kt as the taxi set off: held to them, a
    // business jet stood until the last one and came 11 s late 265 m on.
    struct Row {
        const char* name;
        double creepM;
        // The last tick the reports have it stand: the hold it is in, or the
        // creep's own report.
        std::int32_t standsUntil;
    };
    for (const Row row :
         {Row{"repeats of the pushback's end", 0.0, 11500}, Row{"repeats of a creep off it", 1.6, 12000}}) {
        SCOPED_TRACE(row.name);
        const LaLo end = from(kB1, 180.0, 60.0);
        LiveAc& ac = pushedBack(end);
        StandLeaving& l = ac.motion.leaving;
        const LaLo first = from(end, 270.0, row.creepM);
        EXPECT_FALSE(gf_keepLeavingReport(ac, groundPoint(first, 12000, row.creepM > 0.0 ? 2.4 : 0.0)));
        EXPECT_FALSE(gf_keepLeavingReport(ac, groundPoint(first, 14000, 0.0)));
        const LaLo far = from(end, 270.0, 190.0);
        EXPECT_FALSE(gf_keepLeavingReport(ac, groundPoint(far, 14340, 21.6)));
        ASSERT_EQ(l.after.size(), 3u) << "the taxi's report is kept";
        gf_startTaxiAfterPushback(ac, false);
        EXPECT_EQ(ac.phase, AcPhase::taxi);
        std::size_t k = 1;
        for (; k < ac.stream.size() && metresTo(ac.stream[k], far) > 0.01; ++k)
            EXPECT_LE(ac.stream[k].playTick, row.standsUntil) << "no hold on the repeats";
        ASSERT_LT(k, ac.stream.size()) << "the taxi's report is kept";
        EXPECT_EQ(ac.stream[k].stationary, 0);
    }
}
