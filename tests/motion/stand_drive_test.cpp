// The path a parking aircraft drives onto its stand: it turns no tighter than
// its radius from where it faces to where it must face, ends where it must,
// and is driven in short legs; and the test of taxi-in legs against the
// nose.

#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "foundation/geodesy.h"
#include "motion/motion_math.h"
#include "motion/stand_drive.h"

#include "air_fixture.h"

using namespace tavo::test;

namespace {

constexpr LaLo kStand{50.03, 8.56};
constexpr double kRadiusM = 20.0;
constexpr double kStepM = 4.0;

LaLo lf_at(double bearingDeg, double metres) {
    return gf_destinationPoint(kStand, {bearingDeg * kDeg, metres * feetPerMetre});
}
double lf_metres(LaLo a, LaLo b) { return gf_distanceNm(a, b) * metresPerNm; }
double lf_offDeg(double a, double b) { return std::fabs(std::remainder(a - b, fullCircle)) / kDeg; }

class StandDrive : public AirTest {};

}  // namespace

TEST_F(StandDrive, TheTurningPathEndsWhereAndHowItMustWithoutTurningTighterThanItsRadius) {
    struct Row {
        const char* name;
        LaLo from;
        double fromDeg;
        double toDeg;
    };
    const Row rows[] = {
        {"straight ahead", lf_at(90.0, 100.0), 270.0, 270.0},
        {"from in front, facing it", lf_at(270.0, 90.0), 90.0, 270.0},
        {"from the side", lf_at(0.0, 60.0), 180.0, 270.0},
        {"on the spot, facing the other way", kStand, 90.0, 270.0},
        {"just behind, facing away", lf_at(90.0, 5.0), 90.0, 270.0},
        // Its turns at either end a third of a metre long (straight ahead
        // they are rounding noise).
        {"straight ahead, a degree askew", lf_at(90.0, 60.0), 271.0, 270.0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::vector<LaLo> path = gf_turningPath({row.from, row.fromDeg * kDeg}, {kStand, row.toDeg * kDeg},
                                                      kRadiusM, kStepM);
        ASSERT_FALSE(path.empty());
        EXPECT_EQ(path.back().lat, kStand.lat);
        EXPECT_EQ(path.back().lon, kStand.lon);
        LaLo at = row.from;
        double heading = row.fromDeg * kDeg;
        double metres = 0.0;
        for (std::size_t i = 0; i < path.size(); ++i) {
            const double step = lf_metres(at, path[i]);
            const double bearing = gf_bearing(at, path[i]);
            EXPECT_LE(step, kStepM + 0.01) << i;
            // Nor much shorter: a leg of a few centimetres is played at a
            // crawl, a stop in the middle of the drive.
            if (path.size() > 1) EXPECT_GE(step, 0.5 * kStepM) << i;
            // A chord of `step` on a circle of the radius bends half its
            // angle at either end: a leg turns from the one before by at most
            // step / radius.
            const double most = (i == 0 ? 0.5 : 1.0) * step / kRadiusM / kDeg + 0.3;
            EXPECT_LE(lf_offDeg(bearing, heading), most) << i;
            heading = bearing;
            at = path[i];
            metres += step;
        }
        EXPECT_LE(lf_offDeg(heading, row.toDeg * kDeg), 0.5 * kStepM / kRadiusM / kDeg + 0.3);
        if (row.fromDeg == row.toDeg) EXPECT_NEAR(metres, 100.0, 0.1);
    }
    EXPECT_TRUE(gf_turningPath({kStand, 0.0}, {lf_at(0.0, 50.0), 0.0}, 0.0, kStepM).empty());
    EXPECT_TRUE(
        gf_turningPath({kStand, std::numeric_limits<double>::quiet_NaN()}, {lf_at(0.0, 50.0), 0.0}, kRadiusM, kStepM)
            .empty());
}

TEST_F(StandDrive, TaxiInLegsKeepTheNoseWithTheTravelOrNot) {
    struct Row {
        const char* name;
        std::vector<LaLo> points;  // after the front point, the last one stationary
        double headingDeg;       // the aircraft's
        double turnsToDeg;       // the leg bearing it turns to on the first leg
        bool keeps;
    };
    const LaLo approach = lf_at(90.0, 10.0);
    const Row rows[] = {
        {"straight in from behind", {approach, kStand}, 270.0, 270.0, true},
        {"30 degrees off the leg", {approach, kStand}, 300.0, 300.0, true},
        {"31 degrees off the leg", {approach, kStand}, 301.0, 301.0, false},
        {"turning 31 degrees off the leg on it", {approach, kStand}, 270.0, 301.0, false},
        {"backwards onto the stand", {kStand}, 90.0, 90.0, false},
        {"a corner of 40 degrees on the way", {lf_at(75.0, 35.0), approach, kStand}, 289.0, 289.0, false},
        {"no leg: it stops where it is", {}, 270.0, 270.0, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const LaLo from = row.points.empty() ? kStand : lf_at(90.0, 60.0);
        std::deque<StreamPoint> s{point(from.lat, from.lon)};
        for (const LaLo& p : row.points) s.push_back(point(p.lat, p.lon));
        s.push_back(s.back());
        s.back().stationary = 1;
        LiveAc& ac = aircraft(std::move(s), Large, AcPhase::parking);
        ac.pose.heading = row.headingDeg * kDeg;
        ac.motion.legBearing = row.turnsToDeg * kDeg;
        EXPECT_EQ(gf_legsKeepNoseWithTravel(ac, 30.0), row.keeps);
        g_liveAircraft.clear();
    }
}

TEST_F(StandDrive, TheDriveOntoTheStandGoesTheShortWayAndTurnsTheNoseNoFaster) {
    struct Row {
        const char* name;
        LaLo from;
        double headingDeg;  // the aircraft's; the stand faces 270
        double mostM;       // the drive from the pose to the stand is at most this long
        double wingRadiusM = 17.9;  // a 36 m span: a turn of 21.5 m
    };
    const Row rows[] = {
        // Too near the point behind the stand to bend onto it at its own
        // radius: at that radius it would loop round it.
        {"17 m behind, 33 degrees askew", lf_at(90.0, 17.0), 237.0, 30.0},
        {"29 m behind, 9 m aside, 14 degrees askew", lf_at(107.0, 30.3), 256.0, 40.0},
        {"60 m behind, straight in", lf_at(90.0, 60.0), 270.0, 60.5},
        // A regional jet dead-reckoned 18 m short of the stand along its way
        // and 13 m aside of it: no turn down to 12 m bends onto the stand,
        // only one as tight as its size allows goes the short way.
        {"22 m off, 11 degrees askew, a 26 m span", lf_at(113.1, 22.1), 258.6, 30.0, 13.0},
        // Run past the stand (its reports paused on the way in): it loops
        // round on a regional jet's turn of 15.6 m, tighter than its nose
        // follows at the drive's pace.
        {"14 m beyond, a 26 m span", lf_at(270.0, 14.0), 270.0, 150.0, 13.0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LiveAc& ac = aircraft({point(row.from.lat, row.from.lon)}, Large, AcPhase::parking);
        ac.pose.heading = row.headingDeg * kDeg;
        ac.wingRadiusNm = row.wingRadiusM / metresPerNm;
        ac.taxiSpeedRef = 3.0;
        ac.turnRateRad = gf_categoryValues(Large).turnRateDeg * kDeg;  // a tick
        gf_driveOntoStandNoseFirst(ac, kStand, 270.0 * kDeg);
        const auto& s = ac.stream;
        ASSERT_GE(s.size(), 3U);
        EXPECT_EQ(s.back().stationary, 1);
        EXPECT_LT(lf_metres({s[s.size() - 2].lat, s[s.size() - 2].lon}, kStand), 0.01);
        double metres = 0.0;
        double heading = row.headingDeg * kDeg;
        double fastestTurn = 0.0;  // radians per second
        for (std::size_t i = 1; i + 1 < s.size(); ++i) {
            const LaLo a{s[i - 1].lat, s[i - 1].lon};
            const LaLo b{s[i].lat, s[i].lon};
            const double step = lf_metres(a, b);
            metres += step;
            if (step < 0.5) continue;
            const double bearing = gf_bearing(a, b);
            const double seconds = (s[i].playTick - s[i - 1].playTick) / 100.0;
            // The chord bends the nose half way into its arc: from leg to leg
            // by the arc's angle.
            if (i > 1) fastestTurn = std::max(fastestTurn, lf_offDeg(bearing, heading) * kDeg / seconds);
            heading = bearing;
        }
        EXPECT_LE(metres, row.mostM);
        // No faster than the nose turns (1.2 turn rates on the ground), and
        // a little for the ticks.
        EXPECT_LE(fastestTurn, 1.2 * ac.turnRateRad * 100.0 * 1.02);
        g_liveAircraft.clear();
    }
}

TEST_F(StandDrive, ADriveBegunBehindItsReportsIsOnTheStandWhenTheyRestThereNoFasterThanItMayCatchUp) {
    struct Row {
        const char* name;
        double dueS;    // its reports rest on the stand this long after the drive starts
        double mostKt;  // the most it may catch up at
        bool onTime;    // on the stand by then
        double paceKt;  // the pace it drives at (its own: 6 kt)
    };
    const Row rows[] = {
        {"time enough at its own pace", 60.0, 12.0, true, 6.0},
        {"behind: it catches up", 30.0, 12.0, true, 0.0},
        {"too far behind: at the most it may", 15.0, 12.0, false, 12.0},
        {"no slower than its own pace", 30.0, 4.0, false, 6.0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        // 120 m behind the stand on its axis, facing it (west): 110 m to the
        // point behind it, 17.8 s at 12 kt, 35.6 s at 6 kt, and the stand leg.
        const LaLo from = lf_at(90.0, 120.0);
        LiveAc& ac = aircraft({point(from.lat, from.lon)}, Large, AcPhase::parking);
        ac.pose.heading = 270.0 * kDeg;
        ac.wingRadiusNm = 17.9 / metresPerNm;
        ac.taxiSpeedRef = 7.5;  // the stand leg at 6 kt, as the drive
        ac.turnRateRad = gf_categoryValues(Large).turnRateDeg * kDeg;
        const std::int32_t start = ac.stream.front().playTick;
        const auto dueTick = static_cast<std::int32_t>(start + row.dueS * 100.0);
        gf_driveOntoStandNoseFirst(ac, kStand, 270.0 * kDeg, DriveDue{dueTick, row.mostKt});
        const auto& s = ac.stream;
        ASSERT_GE(s.size(), 3U);
        const StreamPoint& stand = s[s.size() - 2];
        EXPECT_LT(lf_metres({stand.lat, stand.lon}, kStand), 0.01);
        EXPECT_EQ(stand.playTick <= dueTick, row.onTime) << stand.playTick - dueTick << " ticks";
        double heading = 270.0 * kDeg;
        double fastestKt = 0.0;
        double fastestTurn = 0.0;  // radians per second
        for (std::size_t i = 1; i + 2 < s.size(); ++i) {
            const LaLo a{s[i - 1].lat, s[i - 1].lon};
            const LaLo b{s[i].lat, s[i].lon};
            const double seconds = (s[i].playTick - s[i - 1].playTick) / 100.0;
            fastestKt = std::max(fastestKt, lf_metres(a, b) / seconds * kMpsToKnots);
            const double bearing = gf_bearing(a, b);
            if (i > 1) fastestTurn = std::max(fastestTurn, lf_offDeg(bearing, heading) * kDeg / seconds);
            heading = bearing;
        }
        // Its own pace at the least, the most it may at the most, and a
        // little for the ticks.
        if (row.paceKt > 0.0) EXPECT_NEAR(fastestKt, row.paceKt, 0.02 * row.paceKt);
        EXPECT_GE(fastestKt, 6.0 * 0.98);
        EXPECT_LE(fastestKt, std::max(6.0, row.mostKt) * 1.02);
        EXPECT_LE(fastestTurn, 1.2 * ac.turnRateRad * 100.0 * 1.02);
        g_liveAircraft.clear();
    }
}

TEST_F(StandDrive, ADriveTooLateAtItsOwnRadiusTakesTheQuickerTighterTurn) {
    // Dead-reckoned 51 m south-east of the stand and askew (heading 222, the
    // stand facing 270): at its own radius it reaches the point behind the
    // stand only by looping 170 m round. Its reports resting on the stand
    // 30 s on, it takes the tighter turn the short way (37 s at its own pace
    // against 56, sped up on the straight) and comes onto the stand along
    // its axis; with a minute to go it keeps its own radius.
    struct Row {
        const char* name;
        double dueS;
        bool shortWay;
    };
    for (const Row row : {Row{"late at its own radius", 30.0, true}, Row{"time enough", 60.0, false}}) {
        SCOPED_TRACE(row.name);
        const LaLo from = lf_at(135.2, 51.0);
        LiveAc& ac = aircraft({point(from.lat, from.lon)}, Large, AcPhase::parking);
        ac.pose.heading = 222.5 * kDeg;
        ac.wingRadiusNm = 17.9 / metresPerNm;
        ac.taxiSpeedRef = 7.5;
        ac.turnRateRad = gf_categoryValues(Large).turnRateDeg * kDeg;
        const std::int32_t start = ac.stream.front().playTick;
        const auto dueTick = static_cast<std::int32_t>(start + row.dueS * 100.0);
        gf_driveOntoStandNoseFirst(ac, kStand, 270.0 * kDeg, DriveDue{dueTick, 12.8});
        const auto& s = ac.stream;
        ASSERT_GE(s.size(), 3U);
        double metres = 0.0;
        for (std::size_t i = 1; i + 1 < s.size(); ++i)
            metres += lf_metres({s[i - 1].lat, s[i - 1].lon}, {s[i].lat, s[i].lon});
        const StreamPoint& stand = s[s.size() - 2];
        EXPECT_LT(lf_metres({stand.lat, stand.lon}, kStand), 0.01);
        if (row.shortWay) {
            EXPECT_LT(metres, 80.0);
            EXPECT_LE(stand.playTick, dueTick + 500) << stand.playTick - dueTick << " ticks";
            // Onto the stand along its axis, the nose with it.
            const StreamPoint& before = s[s.size() - 3];
            EXPECT_LT(lf_offDeg(gf_bearing({before.lat, before.lon}, kStand), 270.0 * kDeg), 2.0);
        } else {
            EXPECT_GT(metres, 150.0);
        }
        g_liveAircraft.clear();
    }
}
