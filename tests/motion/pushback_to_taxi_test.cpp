// The pushed-back aircraft's watch for the start of its taxi: moves that
// still go tail first (against the heading the reports carry) do not count,
// and the taxi starts on a report ahead of the aircraft along the reports'
// travel, never on one it would have to drive back to.

#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "motion/ground_movement.h"
#include "motion/motion_math.h"
#include "motion/pushback.h"
#include "motion/tick_math.h"
#include "parking_fixture.h"

using namespace tavo::test;

namespace {

struct Report {
    double eastM, northM;         // from the pushed-back aircraft
    std::optional<double> noseDeg;  // the true heading the report carries
};

class PushbackToTaxi : public ParkingTest {
protected:
    // Pushed back 60 m south of RAMP B1, nose north, standing there.
    LiveAc& standingPushedBack(std::uint32_t hexid) {
        LiveAc& ac = onGround(hexid, pushedTo(), 0.0, AcPhase::pushed_back);
        ac.stream.front().groundSpeedKt = 0.0;
        ac.stream.front().stationary = 1;
        return ac;
    }
    static LaLo pushedTo() { return from(kB1, 180.0, 60.0); }
};

}  // namespace

TEST_F(PushbackToTaxi, TheTaxiStartsOnAForwardMoveAheadOfTheAircraft) {
    struct Row {
        const char* what;
        std::vector<Report> reports;
        int taxiAt;  // the report that starts the taxi, -1: none
    };
    const auto line = [](double east0, double north0, double eastStep, double northStep, int n,
                         std::optional<double> nose) {
        std::vector<Report> out;
        for (int i = 0; i < n; ++i) out.push_back({east0 + i * eastStep, north0 + i * northStep, nose});
        return out;
    };
    const auto join = [](std::vector<Report> a, const std::vector<Report>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const Row rows[] = {
        {"moving off east, ahead of the aircraft", line(0, 0, 5, 0, 6, std::nullopt), 4},
        // Passing 15 m behind it from the west: the first reports that
        // qualify lie west of it; it starts once one lies east of it.
        {"passing behind it eastwards", line(-42, -15, 5, 0, 12, 90.0), 9},
        // Still pushed south, nose north, then off to the east nose first.
        {"pushed on tail first, then off east",
         join(line(0, -5, 0, -5, 6, 0.0), line(5, -30, 5, 0, 5, 90.0)), 9},
        // Without a heading a move south cannot be told from a taxi south.
        {"moving south without a heading", line(0, -5, 0, -5, 6, std::nullopt), 4},
    };
    std::uint32_t hexid = 0x484B30;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        stand(3).heading = 0.0;
        LiveAc& ac = parkedOn(++hexid, 3, "KLM1234");
        ac.phase = AcPhase::pushed_back;
        // Pushed 60 m south of its stand, still facing north.
        const LaLo pushedTo = from(kB1, 180.0, 60.0);
        ac.pose.latitude = pushedTo.lat;
        ac.pose.longitude = pushedTo.lon;
        int taxiAt = -1;
        for (std::size_t i = 0; i < row.reports.size() && taxiAt < 0; ++i) {
            const Report& r = row.reports[i];
            StreamPoint p = groundPoint(from(from(pushedTo, 90.0, r.eastM), 0.0, r.northM), 11000 + int(i) * 200);
            if (r.noseDeg) {
                p.trueHeading = *r.noseDeg * degreesToRadians;
                p.hasTrueHeading = 1;
            }
            if (checkExtendingSituations(ac, p)) taxiAt = static_cast<int>(i);
        }
        EXPECT_EQ(taxiAt, row.taxiAt);
        EXPECT_EQ(ac.phase, row.taxiAt < 0 ? AcPhase::pushed_back : AcPhase::taxi);
        g_liveAircraft.clear();
    }
}

TEST_F(PushbackToTaxi, TheKeptReportsHoldItWhereItStoppedOnlyUntilItMustLeave) {
    // Pushed back and standing, nose north; the taxi's first report kept
    // since then lies this far off it (west, unless the row says) at this
    // speed, due 20 s on.
    struct Row {
        const char* what;
        double offM;
        double speedKt;
        bool held;              // taken as the stop going on (a copy of it)
        double leavesEarlierS;  // the point's tick before the report's due tick
        bool drivesThere;       // and then to the report itself, as reported
        double bearingDeg = 270.0;  // the way to it
        double noseDeg = std::numeric_limits<double>::quiet_NaN();  // its own nose, NaN: not reported
    };
    const Row rows[] = {
        // 8 m at 6 kt (3.09 m/s): it must leave 2.6 s before the report. Off
        // to the side of its nose a slow move drives there as a taxi's does;
        // straight back from its nose it may be a pushback's, and is copied.
        {"a slow first move close by", 8.0, 6.0, true, 8.0 / (6.0 * kKnotsToMps), true},
        {"a slow move straight back close by", 8.0, 6.0, true, 8.0 / (6.0 * kKnotsToMps), false, 180.0},
        {"a slow move to the side, its nose against it", 8.0, 6.0, true, 8.0 / (6.0 * kKnotsToMps), false, 270.0, 90.0},
        {"a report at no speed there", 0.0, 0.0, true, 0.0, false},
        {"a move beyond a copy's reach", 30.0, 6.0, false, 0.0, false},
        // At a taxi's pace it drives off: copied, it stood there until the
        // report after it.
        {"a taxi's first move close by", 8.0, 8.0, true, 8.0 / (8.0 * kKnotsToMps), true},
    };
    std::uint32_t hexid = 0x484C30;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const LaLo pushedTo = PushbackToTaxi::pushedTo();
        LiveAc& ac = standingPushedBack(++hexid);
        const std::int32_t due = tickCount.load() + 2000;
        ac.motion.leaving.after.push_back(groundPoint(from(pushedTo, row.bearingDeg, row.offM), due, row.speedKt));
        ac.motion.leaving.after.back().hasTrueHeading = std::isnan(row.noseDeg) ? 0 : 1;
        ac.motion.leaving.after.back().trueHeading = std::isnan(row.noseDeg) ? 0.0 : row.noseDeg * degreesToRadians;
        const StreamPoint report = ac.motion.leaving.after.back();
        gf_startTaxiAfterPushback(ac, false);
        EXPECT_EQ(ac.phase, AcPhase::taxi);
        ASSERT_EQ(ac.stream.size(), row.drivesThere ? 3u : 2u);
        const StreamPoint& p = ac.stream[1];
        EXPECT_EQ(p.stationary != 0, row.held);
        EXPECT_NEAR(due - p.playTick, row.leavesEarlierS * 100.0, 2.0);
        if (row.drivesThere) {
            const StreamPoint& on = ac.stream.back();
            EXPECT_EQ(on.stationary, 0);
            EXPECT_EQ(on.playTick, due);
            EXPECT_TRUE(gf_isSamePlace({on.lat, on.lon}, {report.lat, report.lon}));
        }
        g_liveAircraft.clear();
    }
}

TEST_F(PushbackToTaxi, ALoneReportAtNoSpeedTheTaxiHadLeftIsNoHold) {
    // Pushed back and standing, nose north. Kept since: a report standing
    // there, one 12 m west moving at 7 kt, then one or two at no speed
    // there; the report that starts the taxi lies 110 m west of those at
    // 16 kt (13.3 s at that pace). A lone report at no speed due after the
    // aircraft must have left to be there on time repeated a position the
    // receiver had; a run of them is the aircraft standing.
    struct Row {
        const char* what;
        int standingReports;     // at no speed 12 m west, 2 s apart from 18 s on
        std::int32_t taxiDueS;   // the report that starts the taxi
        bool heldUntilTheLast;   // the stream stands until the last of them
    };
    const Row rows[] = {
        {"a lone one the taxi had left", 1, 24, false},
        {"a lone one with time to go after it", 1, 40, true},
        {"two of them one after the other", 2, 24, true},
    };
    std::uint32_t hexid = 0x484D30;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const LaLo pushedTo = PushbackToTaxi::pushedTo();
        LiveAc& ac = standingPushedBack(++hexid);
        const std::int32_t now = tickCount.load();
        const LaLo moved = from(pushedTo, 270.0, 12.0);
        std::vector<StreamPoint>& after = ac.motion.leaving.after;
        after.push_back(groundPoint(pushedTo, now + 500, 0.0));
        after.push_back(groundPoint(moved, now + 1000, 7.0));
        std::int32_t lastStanding = 0;
        for (int i = 0; i < row.standingReports; ++i)
            after.push_back(groundPoint(moved, lastStanding = now + 1800 + 200 * i, 0.0));
        after.push_back(groundPoint(from(moved, 270.0, 110.0), now + row.taxiDueS * 100, 16.0));
        gf_startTaxiAfterPushback(ac, true);
        EXPECT_EQ(ac.phase, AcPhase::taxi);
        ASSERT_FALSE(ac.stream.empty());
        // The report that started the taxi is the decoder's to append.
        EXPECT_EQ(ac.stream.back().playTick == lastStanding, row.heldUntilTheLast);
        EXPECT_LT(ac.stream.back().playTick, now + row.taxiDueS * 100);
        g_liveAircraft.clear();
    }
}

TEST_F(PushbackToTaxi, AReportThePushbackWentOnToBehindTheNoseIsNoPlaceToDriveBackTo) {
    // Pushed back south to its last pushback report, standing, nose north.
    // Kept since: a report `backM` on at `bearingDeg` at 7 kt due 10 s on,
    // then the taxi's report 60 m from the aircraft at `nextDeg` at 12 kt.
    // Pushed on there while the reports paused, the aircraft set off from
    // it: the taxi goes straight on, not back to it and about again. So it
    // does past one beside the tail when the taxi's report lies ahead of the
    // nose. Not when it would then stand there long after that report fell
    // due.
    struct Row {
        const char* what;
        double backM, bearingDeg, nextDeg;
        std::int32_t nextDue;
        bool passed;
    };
    const Row rows[] = {
        {"pushed on 12 m, then off the other way", 12.0, 180.0, 45.0, 2000, true},
        {"pushed on 12 m, then on the same way", 12.0, 180.0, 175.0, 2000, false},
        {"40 m on, too far for a pause's push", 40.0, 180.0, 45.0, 2000, false},
        {"off to the side of the nose", 12.0, 80.0, 270.0, 2000, false},
        {"beside the tail, then ahead of the nose", 5.0, 257.0, 330.0, 2000, true},
        {"the next report due a minute later", 12.0, 180.0, 45.0, 7000, false},
    };
    std::uint32_t hexid = 0x484E30;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const LaLo pushedTo = PushbackToTaxi::pushedTo();
        LiveAc& ac = standingPushedBack(++hexid);
        const std::int32_t now = tickCount.load();
        const LaLo back = from(pushedTo, row.bearingDeg, row.backM);
        const LaLo next = from(pushedTo, row.nextDeg, 60.0);
        ac.motion.leaving.pushback.push_back(groundPoint(pushedTo, now - 500, 2.0));
        ac.motion.leaving.after = {groundPoint(back, now + 1000, 7.0), groundPoint(next, now + row.nextDue, 12.0)};
        gf_startTaxiAfterPushback(ac, false);
        const auto firstMove = std::find_if(ac.stream.begin() + 1, ac.stream.end(),
                                            [](const StreamPoint& p) { return p.stationary == 0; });
        ASSERT_NE(firstMove, ac.stream.end());
        EXPECT_TRUE(gf_isSamePlace({firstMove->lat, firstMove->lon}, row.passed ? next : back));
        g_liveAircraft.clear();
    }
}

TEST_F(PushbackToTaxi, EachReportInTurnBehindTheNoseIsPassed) {
    // Pushed back, nose north. Kept since: reports 14 m at 178 degrees and
    // 8.5 m at `secondDeg` from it, 2 s apart, then the taxi's reports
    // 11 m at 284 degrees and 60 m on at 325: the reports came round the
    // tail onto the taxiway while the aircraft turned (a wide-body's wing
    // reaches over them). Driven to each in turn it turned about on the
    // spot twice; it sets off for the first report not behind its nose.
    struct Row {
        const char* what;
        double secondDeg;
        int firstDriven;  // the index of the first report driven to
    };
    const Row rows[] = {
        {"the second behind the nose too", 209.0, 2},
        {"the second ahead of the nose", 60.0, 1},
    };
    std::uint32_t hexid = 0x484E60;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const LaLo pushedTo = PushbackToTaxi::pushedTo();
        LiveAc& ac = standingPushedBack(++hexid);
        const std::int32_t now = tickCount.load();
        const LaLo onTaxiway = from(pushedTo, 284.0, 10.7);
        const std::vector<LaLo> at = {from(pushedTo, 178.0, 13.7), from(pushedTo, row.secondDeg, 8.5), onTaxiway,
                                      from(onTaxiway, 325.0, 60.0)};
        ac.motion.leaving.pushback.push_back(groundPoint(pushedTo, now - 500, 2.0));
        ac.motion.leaving.after = {groundPoint(at[0], now + 1000, 7.0), groundPoint(at[1], now + 1200, 9.0),
                                   groundPoint(at[2], now + 1400, 11.0), groundPoint(at[3], now + 2500, 14.0)};
        gf_startTaxiAfterPushback(ac, false);
        const auto firstMove = std::find_if(ac.stream.begin() + 1, ac.stream.end(),
                                            [](const StreamPoint& p) { return p.stationary == 0; });
        ASSERT_NE(firstMove, ac.stream.end());
        EXPECT_TRUE(gf_isSamePlace({firstMove->lat, firstMove->lon}, at[static_cast<std::size_t>(row.firstDriven)]));
        g_liveAircraft.clear();
    }
}

TEST_F(PushbackToTaxi, ATaxiFallingDueStartsThoughNoLaterReportShowsItBegun) {
    // Pushed back and standing, nose north, turning 10 degrees a second. One
    // report kept since, nose first east of it, due 20 s on; none after it
    // (a pause in them, or their end). The ground step runs this long before
    // that report falls due. At 8 kt the 17 m take 4.1 s, the speed-up 1.7 s
    // more, the quarter turn to face east 9 s before that.
    struct Row {
        const char* what;
        double eastM;
        double speedKt;
        double beforeDueS;
        bool taxis;
        double bearingDeg = 90.0;  // the way to the report
        double noseDeg = 90.0;     // its own nose, NaN: not reported
    };
    const double unknown = std::numeric_limits<double>::quiet_NaN();
    const Row rows[] = {
        {"a move at a taxi's speed, falling due", 17.0, 8.0, 1.0, true},
        {"the same with just the turn's time left", 17.0, 8.0, 10.5, true},
        {"the same with time to wait for more", 17.0, 8.0, 20.0, false},
        // Within a copy's reach at a pushback's pace it drives there nose
        // first, as at a taxi's pace: taken as a copy of where it stands, the
        // taxi stood there until the report after it. Tail first it is no
        // taxi.
        {"a slow move nose first within a copy's reach", 10.0, 5.0, 1.0, true},
        {"a slow move tail first within a copy's reach", 10.0, 5.0, 1.0, false, 90.0, 270.0},
        {"a slow move off to the side, its nose not reported", 10.0, 5.0, 1.0, true, 90.0, unknown},
        {"a taxi's move within a copy's reach", 10.0, 8.0, 1.0, true},
        {"a report at no speed there", 17.0, 0.0, 1.0, false},
    };
    std::uint32_t hexid = 0x484E30;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        tickCount.store(10000);
        const LaLo pushedTo = PushbackToTaxi::pushedTo();
        LiveAc& ac = standingPushedBack(++hexid);
        ac.turnRateRad = 0.1 * degreesToRadians;
        ac.motion.leaving.pushback.push_back(groundPoint(pushedTo, tickCount.load() - 1000, 0.0));
        const std::int32_t due = tickCount.load() + 2000;
        StreamPoint p = groundPoint(from(pushedTo, row.bearingDeg, row.eastM), due, row.speedKt);
        p.trueHeading = std::isnan(row.noseDeg) ? 0.0 : row.noseDeg * degreesToRadians;
        p.hasTrueHeading = std::isnan(row.noseDeg) ? 0 : 1;
        EXPECT_FALSE(checkExtendingSituations(ac, p));
        ASSERT_EQ(ac.phase, AcPhase::pushed_back);
        tickCount.store(due - static_cast<std::int32_t>(row.beforeDueS * 100.0));
        nextPosGround(ac);
        EXPECT_EQ(ac.phase, row.taxis ? AcPhase::taxi : AcPhase::pushed_back);
        if (row.taxis) {
            // Off to the report, not held where it stands: no hold there
            // lasts beyond the shortest leg from now.
            std::size_t i = 1;
            for (; i < ac.stream.size() && gf_isSamePlace({ac.stream[i].lat, ac.stream[i].lon}, pushedTo); ++i)
                EXPECT_LE(ac.stream[i].playTick, tickCount.load() + kMinLegTicks);
            ASSERT_LT(i, ac.stream.size());
            EXPECT_TRUE(gf_isSamePlace({ac.stream[i].lat, ac.stream[i].lon}, {p.lat, p.lon}));
        }
        g_liveAircraft.clear();
    }
}
