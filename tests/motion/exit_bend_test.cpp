// A landing roll whose bend turns it off the runway faster than the nose
// follows at the roll's pace takes that bend as a taxi does, slow enough that
// the nose keeps along it.

#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "engine/geometry.h"
#include "foundation/geodesy.h"
#include "motion/ground_movement.h"
#include "motion/ground_roll.h"
#include "motion/motion_math.h"

#include "taxi_fixture.h"

using namespace tavo::test;

namespace {

class ExitBend : public TaxiTest {
protected:
    // A report: bearing (degrees) and distance (m) from the first point,
    // speed, and ticks from now.
    struct Reported {
        double bearingDeg, metres, kt;
        std::int32_t ticks;
    };
    // The stream from `start` reported at `startKt` now, then `reports`.
    static std::deque<StreamPoint> reportedFrom(LaLo start, double startKt, const std::vector<Reported>& reports) {
        const std::int32_t now = tickCount.load();
        std::deque<StreamPoint> s{ground(start, now, startKt)};
        for (const Reported& r : reports)
            s.push_back(ground(ahead(start, r.bearingDeg, r.metres), now + r.ticks, r.kt));
        return s;
    }

    // On its landing roll eastward (touched down heading 090) at the front
    // point, just off the approach.
    static LiveAc& rollingOutEast(std::deque<StreamPoint> stream, std::uint32_t category, double rateDegPerS) {
        LiveAc& ac = taxiing(std::move(stream), AcPhase::landing_roll, 90.0, category, rateDegPerS);
        ac.prevPhase = AcPhase::flying;
        ac.motion.touchdownHeading = 90.0 * kDeg;
        return ac;
    }

    // Rolling at `kt` on the tick before now.
    static void rollingAt(LiveAc& ac, double kt) {
        ac.motion.lastStepM = kt * kKnotsToMps / 100.0;
        ac.motion.lastStepTick = tickCount.load() - 1;
    }

    // Plays the aircraft on its own until it comes within `nearM` of
    // `target`, and expects that no later than `mostLateS` after `dueTick`,
    // the nose within 30 degrees of the travel (over 0.2 s above 3 kt) all
    // the way.
    static void expectReachedInTime(LiveAc& ac, LaLo target, double nearM, std::int32_t dueTick, double mostLateS) {
        constexpr int kWindow = 20;
        std::vector<LaLo> track;
        std::vector<double> headingsDeg;
        double worstDeg = 0.0;
        std::optional<std::int32_t> reached;
        for (int guard = 0; guard < 10000 && !reached; ++guard) {
            if (!playTick(ac)) break;
            tickCount.store(tickCount.load() + 1);
            track.push_back({ac.pose.latitude, ac.pose.longitude});
            headingsDeg.push_back(ac.pose.heading / kDeg);
            if (metres(track.back(), target) < nearM) reached = tickCount.load();
            const std::size_t n = track.size();
            if (n <= kWindow ||
                !(metres(track[n - 1 - kWindow], track[n - 1]) / (kWindow / 100.0) > 3.0 * kKnotsToMps))
                continue;
            const double travelDeg = gf_bearing(track[n - 1 - kWindow], track[n - 1]) / kDeg;
            worstDeg =
                std::max(worstDeg, std::fabs(std::remainder(travelDeg - headingsDeg[n - 1 - kWindow / 2], 360.0)));
        }
        ASSERT_TRUE(reached.has_value());
        EXPECT_LT((*reached - dueTick) / 100.0, mostLateS);
        EXPECT_LT(worstDeg, 30.0);
    }
};

}  // namespace

TEST_F(ExitBend, ALandingRollBendsOffTheRunwayWithTheNoseAlongTheBend) {
    // A landing roll east along the runway at 50 kt, 300 m short of its exit
    // corner reported at the exit's speed; 40 m short of the corner the
    // report of the exit leg comes, long enough to bend onto. Played at the
    // roll's own pace the bend left the nose 32-37 degrees behind the travel
    // through the exit. Through every exit, the gentler one too, the nose
    // keeps within 30 degrees of the travel.
    struct Row {
        double turnDeg, cornerKt, exitM;
    };
    for (const Row row : {Row{90.0, 17.0, 170.0}, Row{-90.0, 13.0, 120.0}, Row{70.0, 17.0, 170.0}}) {
        SCOPED_TRACE(row.turnDeg);
        StreamPoint after;
        LiveAc& ac = rollingToExit(row.turnDeg, row.cornerKt, row.exitM, 7.0, after);
        const LaLo corner = at(ac.stream[1]);

        // The worst angle between the nose and the travel over 0.2 s, above
        // 3 kt, from the report on until the aircraft comes within 5 m of the
        // report after the corner.
        constexpr int kWindow = 20;
        std::vector<LaLo> track;
        std::vector<double> headingsDeg;
        double worstDeg = 0.0;
        bool reported = false;
        bool arrived = false;
        for (int guard = 0; guard < 30000 && !arrived; ++guard) {
            if (!reported && ac.stream.size() == 1 && metres({ac.pose.latitude, ac.pose.longitude}, corner) < 40.0) {
                ac.stream.push_back(after);
                gf_replanLegForNewCorner(ac);
                reported = true;
            }
            if (!playTick(ac)) break;
            tickCount.store(tickCount.load() + 1);
            if (!reported) continue;
            track.push_back({ac.pose.latitude, ac.pose.longitude});
            headingsDeg.push_back(ac.pose.heading / kDeg);
            arrived = metres(track.back(), at(after)) < 5.0;
            const std::size_t n = track.size();
            if (n <= kWindow) continue;
            const double m = metres(track[n - 1 - kWindow], track[n - 1]);
            if (!(m / (kWindow / 100.0) / kKnotsToMps > 3.0)) continue;
            const double travelDeg = gf_bearing(track[n - 1 - kWindow], track[n - 1]) / kDeg;
            const double offDeg = std::fabs(std::remainder(travelDeg - headingsDeg[n - 1 - kWindow / 2], 360.0));
            worstDeg = std::max(worstDeg, offDeg);
        }
        ASSERT_TRUE(reported);
        EXPECT_TRUE(arrived);
        EXPECT_LT(worstDeg, 30.0);
    }
}

TEST_F(ExitBend, ALandingRollIntoASlowerReportKeepsToItsTimeAsFarAsRollingOnAndBrakingGetsItThere) {
    // Rolling east along the runway at 40 kt, a report 600 m on at 12.8 kt
    // (its two ends' mean speed takes 44 s): rolling on at 40 kt and braking
    // at the taxi rate takes 31.1 s: due in 33 s, it is reached on time, not
    // at the mean's pace 11 s later. Due in 45 s, the mean's pace is kept; so
    // it is due in 42 s, the mean's pace late by less than a roll may fall
    // behind. Due sooner than rolling on gets it there, it speeds up at the
    // taxi rate before it brakes: on time due in 25 s; due in 20 s, in the
    // 22.45 s that speeding up straight into the braking takes.
    struct Row {
        std::int32_t dueTicks, leastTicks, mostTicks;
    };
    for (const Row row : {Row{3300, 3300, 3301}, Row{4500, 4400, 4500}, Row{4200, 4400, 4500}, Row{2500, 2500, 2501},
                          Row{2000, 2245, 2246}}) {
        SCOPED_TRACE(row.dueTicks);
        g_liveAircraft.clear();
        gf_clearRunwayTable();
        airport();
        std::deque<StreamPoint> s = route(past(1500.0), {{90.0, 600.0}}, 12.8, row.dueTicks);
        s[0].groundSpeedKt = 40.0;
        const StreamPoint report = s[1];
        LiveAc& ac = rollingOutEast(std::move(s), Large, 7.0);
        ac.motion.lastStepM = 40.0 * kKnotsToMps / 100.0;
        ac.motion.lastStepTick = tickCount.load() - 1;
        const std::int32_t start = tickCount.load();
        ASSERT_TRUE(playTick(ac).has_value());
        const auto it = std::find_if(ac.stream.begin(), ac.stream.end(),
                                     [&](const StreamPoint& p) { return metres(at(p), at(report)) < 0.01; });
        ASSERT_NE(it, ac.stream.end());
        EXPECT_GE(it->playTick - start, row.leastTicks);
        EXPECT_LE(it->playTick - start, row.mostTicks);
    }
}

TEST_F(ExitBend, ALegSetOffByATurnOnTheSpotStopsOnACornerItTurnsOnTheSpot) {
    // Standing with its nose off its first leg by more than it may start a
    // leg with, the aircraft turns on the spot and sets off late along 32 m
    // to a corner that the next leg leaves by a little more than that: it
    // arrives with its nose along the leg, so the corner is a turn on the
    // spot too. Caught up at twice the reported speed it braked 14 m past
    // the corner and turned back toward the next point by far more than the
    // corner; it stops on the corner and turns there by the corner's angle.
    struct Row {
        double startDeg, cornerDeg, speedKt;
    };
    for (const Row row : {Row{38.0, 36.0, 12.0}, Row{-40.0, -34.0, 16.0}, Row{60.0, 38.0, 10.0}}) {
        SCOPED_TRACE(row.cornerDeg);
        g_liveAircraft.clear();
        const LaLo start{50.01, 8.0};
        const double after = 90.0 + row.cornerDeg;
        const auto legTicks = static_cast<std::int32_t>(std::lround(32.0 / (row.speedKt * kKnotsToMps) * 100.0));
        std::deque<StreamPoint> s = route(start, {{90.0, 32.0}, {after, 60.0}, {after, 60.0}}, row.speedKt, legTicks);
        s[1].playTick = s[0].playTick + legTicks / 2;  // late already
        const std::vector<LaLo> path{at(s[0]), at(s[1]), at(s[2]), at(s[3])};
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 90.0 - row.startDeg, Large, 7.0);
        ac.prevPhase = AcPhase::taxi;
        ac.pose.trueAirspeed = 0.0;

        // The largest turn on the spot: from where it comes to rest until it
        // moves again.
        double restHeadingDeg = 0.0;
        double spotTurnDeg = 0.0;
        bool resting = false;
        for (int guard = 0; guard < 20000; ++guard) {
            const std::optional<double> stepM = playTick(ac);
            if (!stepM) break;
            const double headingDeg = ac.pose.heading / kDeg;
            if (*stepM < 1e-4 && !resting) restHeadingDeg = headingDeg;
            resting = *stepM < 1e-4;
            if (resting)
                spotTurnDeg = std::max(spotTurnDeg, std::fabs(std::remainder(headingDeg - restHeadingDeg, 360.0)));
            tickCount.store(tickCount.load() + 1);
        }
        EXPECT_LT(metres({ac.pose.latitude, ac.pose.longitude}, path.back()), 0.5);
        EXPECT_LT(spotTurnDeg, std::max(std::fabs(row.startDeg), std::fabs(row.cornerDeg)) + 5.0);
    }
}

TEST_F(ExitBend, ALandingRollLegThatEndsOffTheRunwayIsRolledWithTheNoseAlongIt) {
    // Rolling east along the runway, the next report lies hundreds of metres
    // on, off the runway by a little less than a turned-off leg (the reports
    // skipped the start of a fast exit): the roll follows the leg with its
    // nose, not held along the centre line while it moves off it.
    struct Row {
        double offDeg, legM, startKt, endKt;
    };
    for (const Row row : {Row{14.0, 540.0, 54.0, 35.0}, Row{-10.0, 700.0, 60.0, 30.0}}) {
        SCOPED_TRACE(row.offDeg);
        g_liveAircraft.clear();
        gf_clearRunwayTable();
        airport();
        const auto ticks = static_cast<std::int32_t>(
            std::lround(row.legM / ((row.startKt + row.endKt) / 2.0 * kKnotsToMps) * 100.0));
        std::deque<StreamPoint> s = route(past(1200.0), {{90.0 + row.offDeg, row.legM}}, row.endKt, ticks);
        s[0].groundSpeedKt = row.startKt;
        s.push_back(ground(ahead(at(s[1]), 90.0 + row.offDeg, 100.0), s[1].playTick + 600, row.endKt));
        const LaLo end = at(s[1]);
        LiveAc& ac = rollingOutEast(std::move(s), Large, 7.0);
        ac.motion.lastStepM = row.startKt * kKnotsToMps / 100.0;
        ac.motion.lastStepTick = tickCount.load() - 1;
        // The nose against the leg's bearing once it has had 3 s to turn,
        // until the aircraft reaches the leg's end.
        double worstDeg = 0.0;
        bool arrived = false;
        for (int i = 0; i < ticks + 300 && !arrived; ++i) {
            if (!playTick(ac)) break;
            tickCount.store(tickCount.load() + 1);
            arrived = metres({ac.pose.latitude, ac.pose.longitude}, end) < 1.0;
            if (i >= 300 && !arrived)
                worstDeg = std::max(worstDeg, std::fabs(std::remainder(ac.pose.heading / kDeg - (90.0 + row.offDeg),
                                                                       360.0)));
        }
        EXPECT_TRUE(arrived);
        EXPECT_LT(worstDeg, 3.0);
    }
}

TEST_F(ExitBend, ALandingRollPlannedAgainFromWhereItRollsBendsIntoItsExit) {
    // The roll's leg was planned again from where the aircraft rolled (the
    // exit's report came): the leg starts at a point put in there, 300 m
    // short of a corner that turns off by 45 degrees (30 to the other side).
    // The turn off still begins short of the corner and the aircraft bends
    // into the exit rolling, not braked to rest on the corner to turn there
    // on the spot.
    for (const double turnDeg : {45.0, -30.0}) {
        SCOPED_TRACE(turnDeg);
        StreamPoint after;
        LiveAc& ac = rollingToExit(turnDeg, 32.0, 100.0, 7.0, after);
        ac.stream[0].synthetic = 1;
        ac.stream[0].rollSynthetic = 1;
        ac.stream.push_back(after);
        double slowestKt = 1e9;
        bool arrived = false;
        for (int guard = 0; guard < 30000 && !arrived; ++guard) {
            const std::optional<double> m = playTick(ac);
            if (!m) break;
            tickCount.store(tickCount.load() + 1);
            arrived = metres({ac.pose.latitude, ac.pose.longitude}, at(after)) < 5.0;
            if (guard > 0 && !arrived) slowestKt = std::min(slowestKt, *m * 100.0 / kKnotsToMps);
        }
        EXPECT_TRUE(arrived);
        EXPECT_GT(slowestKt, 10.0);
    }
}

TEST_F(ExitBend, AnExitBendIntoACornerItRollsThroughSlowsOnlyWhereItBends) {
    // A landing roll at 17 kt whose reports bend it off the runway (swinging
    // 40 degrees in its first 30 m) and run on to a corner 77 m away that
    // the leg after it leaves by more than the nose turns on the way, the
    // reports rolling on through it. Timed evenly at the pace its first
    // swing allows, it crawled its whole length and came 14 s late to the
    // corner. It slows only where it
    // bends, its nose along its travel, and comes to the corner no more than
    // a few seconds late.
    g_liveAircraft.clear();
    gf_clearRunwayTable();
    airport();
    std::deque<StreamPoint> s = reportedFrom(past(1800.0), 16.9,
                                             {{88.4, 27.7, 12.4, 596},
                                              {84.3, 38.3, 12.4, 754},
                                              {62.1, 77.4, 12.4, 1443},
                                              {54.2, 87.6, 12.7, 1688},
                                              {36.8, 118.6, 17.2, 2253},
                                              {30.9, 138.2, 17.2, 2518},
                                              {27.3, 155.1, 16.5, 2737}});
    const LaLo corner = at(s[3]);
    const std::int32_t cornerDue = s[3].playTick;
    LiveAc& ac = rollingOutEast(std::move(s), Large, 7.0);
    rollingAt(ac, 16.9);
    expectReachedInTime(ac, corner, 0.5, cornerDue, 5.0);
    // Its reports roll on through the corner at 13-17 kt: so does it, never
    // coming to rest there to turn on the spot.
    const LaLo end = at(ac.stream.back());
    double slowestKt = 1e9;
    for (int guard = 0; guard < 5000; ++guard) {
        const std::optional<double> stepM = playTick(ac);
        if (!stepM) break;
        tickCount.store(tickCount.load() + 1);
        if (metres({ac.pose.latitude, ac.pose.longitude}, end) > 5.0)
            slowestKt = std::min(slowestKt, *stepM * 100.0 / kKnotsToMps);
    }
    EXPECT_LT(metres({ac.pose.latitude, ac.pose.longitude}, end), 1.0);
    EXPECT_GT(slowestKt, 5.0);
}

TEST_F(ExitBend, AFarExitBetweenTwoBendsSpeedsUpOnItsStraightAsTheReportsItPassesDo) {
    // A taxi rolling at 6.6 kt whose reports go on 72 degrees off its nose,
    // speed up to 12.5 kt along the straight that way and slow to 7.6 kt into
    // the next bend 98 m on: the turn is one bend to that report, both its
    // ends reported at 7 kt. Held to them where its nose kept up, it was
    // stretched evenly to the pace of its tight start and came 5 s late to
    // the report, more than 5 s behind all through the bend after it. It
    // goes as fast as the reports it passes by where its nose keeps up, and
    // comes on time.
    g_liveAircraft.clear();
    std::deque<StreamPoint> s = reportedFrom(
        {50.01, 8.0}, 6.6,
        {{340.4, 11.0, 9.2, 742}, {340.1, 29.7, 12.5, 1131}, {340.0, 51.8, 12.1, 1459}, {340.1, 76.4, 10.6, 1877},
         {340.5, 97.9, 7.6, 2402}, {341.4, 103.4, 7.6, 2550}, {343.6, 111.5, 7.6, 2783}, {345.2, 115.4, 7.6, 2912},
         {346.7, 118.5, 7.6, 3022}, {350.0, 123.3, 7.6, 3236}, {352.6, 126.0, 7.6, 3401}, {356.7, 128.4, 7.6, 3636}});
    const LaLo bend = at(s[5]);
    const std::int32_t bendDue = s[5].playTick;
    LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 52.0, Large, 7.0);
    rollingAt(ac, 6.6);
    expectReachedInTime(ac, bend, 1.0, bendDue, 1.0);
}

TEST_F(ExitBend, ARollReachingItsExitCornerAtSpeedTurnsOffRollingOntoItsLastKnownLeg) {
    // A landing roll at 11 kt bending 23 degrees through a report 34 m on
    // into its exit corner 34 m further, which the reports roll through at
    // 9.5 kt onto an exit leg 34 m long turned off by `exitDeg`: the last
    // leg known (or one that ends at a hold). It braked to rest on the
    // corner and turned the exit on the spot: with the exit's report known
    // from the start, or come 40 m short of the corner, and on a roll
    // heading 340 whose bend swings through north (its heading then ran
    // past a full circle, and no turn off was found from it). It turns off
    // rolling, and brakes only along the exit leg to where its reports end.
    struct Row {
        const char* what;
        double rollDeg, exitDeg;
        double comesShortM;  // the exit's report comes this far short of the corner (0: known)
        bool hold;
    };
    const Row rows[] = {{"known", 90.0, 50.0, 0.0, false},
                        {"come 40 m short", 90.0, 50.0, 40.0, false},
                        {"swinging through north", 340.0, 50.0, 0.0, false},
                        {"the other way, a hold after it", 90.0, -60.0, 0.0, true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        g_liveAircraft.clear();
        gf_clearRunwayTable();
        airport();
        const double bendDeg = std::copysign(23.0, row.exitDeg);
        std::deque<StreamPoint> s = reportedFrom(past(1800.0), 11.0, {{row.rollDeg, 34.0, 10.6, 600}});
        s.push_back(ground(ahead(at(s[1]), row.rollDeg + bendDeg, 34.0), s[1].playTick + 700, 9.5));
        const LaLo corner = at(s[2]);
        std::deque<StreamPoint> later{
            ground(ahead(corner, row.rollDeg + bendDeg + row.exitDeg, 34.0), s[2].playTick + 700, 10.8)};
        const LaLo end = at(later.back());
        if (row.hold) {
            StreamPoint hold = later.back();
            hold.groundSpeedKt = 0.0;
            hold.stationary = 1;
            hold.playTick += 1000;
            later.push_back(hold);
        }
        if (row.comesShortM == 0.0) s.insert(s.end(), later.begin(), later.end());
        LiveAc& ac = taxiing(std::move(s), AcPhase::landing_roll, row.rollDeg, Large, 7.0);
        ac.prevPhase = AcPhase::flying;
        ac.motion.touchdownHeading = row.rollDeg * kDeg;
        rollingAt(ac, 11.0);

        // The largest turn within 1 m of travel until it comes within 3 m of
        // the exit's report.
        std::vector<std::pair<double, double>> travelAndHeading;
        double travelM = 0.0;
        for (int guard = 0; guard < 6000; ++guard) {
            if (row.comesShortM > 0.0 && !later.empty() &&
                metres({ac.pose.latitude, ac.pose.longitude}, corner) < row.comesShortM) {
                ac.stream.insert(ac.stream.end(), later.begin(), later.end());
                later.clear();
                gf_replanLegForNewCorner(ac);
            }
            const std::optional<double> stepM = playTick(ac);
            if (!stepM) break;
            tickCount.store(tickCount.load() + 1);
            if (metres({ac.pose.latitude, ac.pose.longitude}, end) < 3.0) break;
            travelM += *stepM;
            travelAndHeading.emplace_back(travelM, ac.pose.heading / kDeg);
        }
        double spotTurnDeg = 0.0;
        for (std::size_t i = 0; i < travelAndHeading.size(); ++i)
            for (std::size_t j = i + 1; j < travelAndHeading.size() && travelAndHeading[j].first - travelAndHeading[i].first < 1.0; ++j)
                spotTurnDeg = std::max(spotTurnDeg, std::fabs(std::remainder(travelAndHeading[j].second - travelAndHeading[i].second, 360.0)));
        EXPECT_LT(metres({ac.pose.latitude, ac.pose.longitude}, end), 3.0);
        EXPECT_LT(spotTurnDeg, 10.0);
    }
}

TEST_F(ExitBend, AnExitTurnPassesTheCornerReportMidBendWithinReach) {
    // A roll slowed to 15 kt east along its runway, 40 m short of the
    // runway's last report; the exit's corner report lies mid-bend, 52 m on
    // and 10 degrees off the runway, and the exit leg turns 66 degrees (the
    // other way 50) from it, 62 m on. A turn built from its legs alone passed
    // the corner report 13 m inside and never reached it. It passes within
    // reach of the report, no later than the reports have it there, and the
    // nose keeps along the travel (it turns no faster than the aircraft).
    struct Row {
        double offDeg, turnDeg;
    };
    for (const Row row : {Row{10.0, 66.0}, Row{-10.0, -50.0}}) {
        SCOPED_TRACE(row.turnDeg);
        g_liveAircraft.clear();
        gf_clearRunwayTable();
        airport();
        const std::int32_t now = tickCount.load();
        const auto ticksFor = [](double m, double kt) {
            return static_cast<std::int32_t>(std::lround(m / (kt * kKnotsToMps) * 100.0));
        };
        const LaLo start = past(1500.0);
        const LaLo runwayEnd = ahead(start, 90.0, 40.0);
        const LaLo corner = ahead(runwayEnd, 90.0 + row.offDeg, 52.0);
        const LaLo exit = ahead(corner, 90.0 + row.offDeg + row.turnDeg, 62.0);
        const LaLo beyond = ahead(exit, 90.0 + row.offDeg + row.turnDeg, 80.0);
        std::deque<StreamPoint> s{ground(start, now, 15.0)};
        s.push_back(ground(runwayEnd, s.back().playTick + ticksFor(40.0, 15.0), 15.0));
        s.push_back(ground(corner, s.back().playTick + ticksFor(52.0, 15.0), 15.0));
        s.back().trackDeg = 90.0 + row.offDeg + row.turnDeg / 2.0;
        s.push_back(ground(exit, s.back().playTick + ticksFor(62.0, 15.0), 15.0));
        s.push_back(ground(beyond, s.back().playTick + ticksFor(80.0, 15.0), 15.0));
        const std::int32_t due = s[2].playTick;
        LiveAc& ac = rollingOutEast(std::move(s), Light, 15.0);
        rollingAt(ac, 15.0);
        expectReachedInTime(ac, corner, 10.0, due, 3.0);
    }
}

TEST_F(ExitBend, ALandingRollPassesTheReportsOfItsExitBendRolling) {
    // A landing roll east on the report where its exit bend begins; the
    // next report lies mid-bend, the one after it where the bend ends, then
    // a straight (each report: bearing and metres from the one before,
    // speed, track, both against the runway, and ticks after it). Rounded
    // through in one turn from the runway to the bend's end, the turn passed
    // the mid-bend report 12-19 m inside, never reached it, and fell 36-54 s
    // behind: a turboprop's 90 degree exit with its report 34 degrees round
    // 66 m on; a jet's (which turns 7 degrees a second) 40 degrees round 62 m
    // on at 13 kt, more than it turns there when passed on the report's own
    // track; a light aircraft's bend ending 90 m after a report 39 degrees
    // round straight ahead. And a jet's 45 degree exit at 29 kt, its report
    // 40 degrees round 148 m on: begun from a point put in on the straight to
    // that report, the bend was tighter than a jet turns at 29 kt, and the
    // turn round the report passed it 12 m off, 11 s behind it. Each report
    // is passed within the 10 m that counts as reaching it, in time, rolling
    // (never below 8 kt until past the bend's end), along a way no tighter
    // than the aircraft turns at its speed. The same bends the other way
    // round too.
    struct Report {
        double bearingDeg, metres, kt, trackDeg;
        std::int32_t ticks;
    };
    struct Row {
        const char* what;
        std::uint32_t category;
        double rateDegPerS, startKt;
        Report middle, bendEnd, after;
    };
    const Row rows[] = {
        {"turboprop", TwoProps, 10.0, 17.0, {-8.0, 66.0, 12.1, -36.3, 1043}, {-69.0, 60.8, 14.6, -90.0, 947},
         {-90.0, 55.3, 17.0, -90.0, 573}},
        {"jet", Large, 7.0, 17.5, {-11.0, 61.9, 12.9, -39.8, 1091}, {-69.2, 58.3, 14.9, -90.0, 900},
         {-90.0, 36.4, 17.5, -90.0, 399}},
        {"light", Light, 15.0, 18.1, {0.0, 52.6, 18.1, -39.0, 735}, {-67.6, 91.1, 18.1, -75.2, 1007},
         {-71.7, 75.5, 11.0, -36.0, 922}},
        {"fast", Large, 7.0, 29.5, {13.9, 147.9, 29.5, 40.3, 1000}, {44.6, 86.6, 29.5, 45.0, 572},
         {44.9, 96.6, 17.4, 45.0, 796}},
    };
    for (const Row& row : rows) {
        for (const double side : {1.0, -1.0}) {
            SCOPED_TRACE(row.what);
            SCOPED_TRACE(side);
            g_liveAircraft.clear();
            gf_clearRunwayTable();
            airport();
            const double east = 90.0;
            std::deque<StreamPoint> s{ground(past(1800.0), tickCount.load(), row.startKt)};
            s[0].trackDeg = east;
            for (const Report& r : {row.middle, row.bendEnd, row.after}) {
                s.push_back(ground(ahead(at(s.back()), east + side * r.bearingDeg, r.metres),
                                   s.back().playTick + r.ticks, r.kt));
                s.back().trackDeg = east + side * r.trackDeg;
            }
            const LaLo middle = at(s[1]);
            const std::int32_t middleDue = s[1].playTick;
            const LaLo bendEnd = at(s[2]);
            const std::int32_t bendEndDue = s[2].playTick;
            LiveAc& ac = rollingOutEast(std::move(s), row.category, row.rateDegPerS);
            rollingAt(ac, row.startKt);
            // Played until within 10 m of the bend's end: when each report
            // is reached, the slowest speed, and on the runway's exit turn
            // (until the roll ends on the mid-bend report) the largest share
            // of the turn the aircraft makes at the speed it has that its way
            // turns by over 0.1 s.
            std::vector<LaLo> track;
            std::optional<std::int32_t> middleReached;
            std::optional<std::int32_t> endReached;
            double slowestKt = 1e9;
            double travelTurnShare = 0.0;
            for (int guard = 0; guard < 10000 && !endReached; ++guard) {
                const std::optional<double> stepM = playTick(ac);
                if (!stepM) break;
                tickCount.store(tickCount.load() + 1);
                slowestKt = std::min(slowestKt, *stepM * 100.0 / kKnotsToMps);
                track.push_back({ac.pose.latitude, ac.pose.longitude});
                if (!middleReached && metres(track.back(), middle) < 10.0) middleReached = tickCount.load();
                if (metres(track.back(), bendEnd) < 10.0) endReached = tickCount.load();
                const std::size_t n = track.size();
                if (ac.phase != AcPhase::landing_roll || n <= 20) continue;
                const double kt = metres(track[n - 21], track[n - 1]) / 0.2 / kKnotsToMps;
                const double turnDeg = std::remainder(
                    (gf_bearing(track[n - 11], track[n - 1]) - gf_bearing(track[n - 21], track[n - 11])) / kDeg, 360.0);
                if (kt > 3.0)
                    travelTurnShare = std::max(travelTurnShare, std::fabs(turnDeg) * 10.0 /
                                                                    (gf_groundSpeedFactor(kt) * row.rateDegPerS));
            }
            EXPECT_TRUE(middleReached.has_value());
            EXPECT_TRUE(endReached.has_value());
            if (!middleReached || !endReached) continue;
            EXPECT_LT((*middleReached - middleDue) / 100.0, 5.0);
            EXPECT_LT((*endReached - bendEndDue) / 100.0, 5.0);
            EXPECT_GT(slowestKt, 8.0);
            // Through the mid-bend report on its own track at the speed
            // before the bend, a light aircraft's way turned half as fast
            // again as it does.
            EXPECT_LE(travelTurnShare, 1.05);
        }
    }
}
