// A taxiing aircraft whose next leg starts with a start turn too large to make
// while moving turns on the spot: it brakes to rest first, straight on, and
// speeds up again from rest once the nose is along the leg, never stopping or
// starting from one tick to the next.

#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/geometry.h"
#include "foundation/geodesy.h"
#include "motion/ground_movement.h"
#include "motion/ground_roll.h"
#include "motion/motion_math.h"
#include "motion/next_position.h"
#include "motion/pose_path.h"

#include "taxi_fixture.h"

using namespace tavo::test;

namespace {

// A tick slower than 3 kt: the aircraft creeps, or stands; slower than
// half a knot, it is about to stand or to creep off.
constexpr double kCreepStepM = 3.0 * kKnotsToMps / 100.0;
constexpr double kSlowestStepM = 0.5 * kKnotsToMps / 100.0;

class TurnInPlace : public TaxiTest {
protected:
    // Rolling on at `mps` (m a second) from its first tick.
    static void rollingAt(LiveAc& ac, double mps) {
        ac.prevPhase = AcPhase::taxi;
        ac.motion.lastStepM = mps / 100.0;
        ac.motion.lastStepTick = tickCount.load() - 1;
    }
    // Played tick by tick, where it first stops slowing below a creep within
    // 20 m of the corner (metres from it), if it does: where it comes to
    // rest, or where it begins to creep round.
    static std::optional<double> firstCreepFrom(LiveAc& ac, LaLo corner) {
        double wasM = 1e9;
        for (int guard = 0; guard < 20000; ++guard) {
            const std::optional<double> stepM = playTick(ac);
            if (!stepM) break;
            const double fromCornerM = metres(corner, {ac.pose.latitude, ac.pose.longitude});
            if (*stepM < kSlowestStepM && !(*stepM < wasM) && fromCornerM < 20.0) return fromCornerM;
            wasM = *stepM;
            tickCount.store(tickCount.load() + 1);
        }
        return std::nullopt;
    }
    // Played tick by tick until its last point is due: where it was and its
    // heading (degrees) each tick.
    static void playToTheEnd(LiveAc& ac, std::vector<LaLo>& track, std::vector<double>& headingsDeg) {
        while (playTick(ac) && track.size() < 20000) {
            track.push_back({ac.pose.latitude, ac.pose.longitude});
            headingsDeg.push_back(ac.pose.heading / kDeg);
            tickCount.store(tickCount.load() + 1);
        }
    }
};

const LaLo kStart{50.01, 8.0};


// The most the nose turns (degrees) over any metre the aircraft travels:
// above 20 it is seen to turn on the spot.
double lf_sharpestTurnOverAMetreDeg(const std::vector<LaLo>& track, const std::vector<double>& headingsDeg) {
    std::vector<double> travel(track.size(), 0.0);
    for (std::size_t i = 1; i < track.size(); ++i)
        travel[i] = travel[i - 1] + gf_distanceNm(track[i - 1], track[i]) * metresPerNm;
    double sharpest = 0.0;
    for (std::size_t i = 0, j = 0; i < track.size(); ++i) {
        for (j = std::max(j, i); j + 1 < track.size() && travel[j + 1] - travel[i] <= 1.0; ++j) {
        }
        for (std::size_t k = i + 1; k <= j; ++k)
            sharpest = std::max(sharpest, std::fabs(std::remainder(headingsDeg[k] - headingsDeg[i], 360.0)));
    }
    return sharpest;
}

// The worst angle (degrees) between the nose and the travel over 0.2 s,
// moving faster than 3 kt.
double lf_worstNoseOffTravelDeg(const std::vector<LaLo>& track, const std::vector<double>& headingsDeg) {
    constexpr std::size_t kWindow = 20;
    double worst = 0.0;
    for (std::size_t i = kWindow; i < track.size(); ++i) {
        const double metres = gf_distanceNm(track[i - kWindow], track[i]) * metresPerNm;
        if (!(metres / (kWindow / 100.0) / kKnotsToMps > 3.0)) continue;
        const double travelDeg = gf_bearing(track[i - kWindow], track[i]) / kDeg;
        worst = std::max(worst, std::fabs(std::remainder(travelDeg - headingsDeg[i - kWindow / 2], 360.0)));
    }
    return worst;
}

struct Tick {
    double stepM = 0.0;
    double trackDeg = 0.0;
    double headingDeg = 0.0;
};

}  // namespace

TEST_F(TurnInPlace, ARollingAircraftBrakesToACreepToTurnAndSpeedsUpAfter) {
    // It rolls 30 m east at the reported speed to the corner; the report of
    // the leg after it, turning by the angle, arrives while it rolls. Two
    // points and a leg too short to split: the corner is a start turn. Its
    // reports roll on, so it does not pivot there: it creeps round. Braked
    // from 16 kt it stops 13 m past the corner, with the report 9 m on from
    // the corner far behind its wing: it turns toward it where it stopped.
    struct Row {
        double turnDeg, speedKt;
    };
    for (const Row row : {Row{35.0, 8.3}, Row{-60.0, 8.3}, Row{40.0, 16.0}, Row{90.0, 4.0}, Row{60.0, 40.0}}) {
        SCOPED_TRACE(row.turnDeg);
        g_liveAircraft.clear();
        const double mps = row.speedKt * kKnotsToMps;
        const auto legTicks = static_cast<std::int32_t>(std::lround(30.0 / mps * 100.0));
        std::deque<StreamPoint> s = route(kStart, {{90.0, 30.0}}, row.speedKt, legTicks);
        const LaLo corner = at(s[1]);
        const StreamPoint after = ground(ahead(corner, 90.0 + row.turnDeg, 9.0), s[1].playTick + legTicks,
                                         row.speedKt);
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 90.0, Large, 10.0);
        ac.prevPhase = AcPhase::taxi;
        ac.motion.advanceLimit = 100000;
        ac.motion.delayLimit = 100000;

        // The engine's tick: the point due is reached, then the pose moves.
        std::vector<Tick> ticks;
        std::vector<LaLo> track;
        std::vector<double> headingsDeg;
        bool turnedInPlace = false;
        bool reported = false;
        std::int32_t dueAfter = 0;
        while (true) {
            if (!reported && ac.stream.size() == 1 && tickCount.load() > ac.stream.front().playTick - legTicks / 2) {
                ac.stream.push_back(after);
                reported = true;
            }
            if (tickCount.load() >= ac.stream.front().playTick) {
                if (ac.stream.size() < 2) break;
                advanceToNextPoint(ac);
                if (ac.motion.legTimeOverride != 0) {
                    turnedInPlace = true;
                    dueAfter = ac.stream.front().playTick;
                }
            }
            const LaLo before{ac.pose.latitude, ac.pose.longitude};
            gf_interpolatePoseOnCurve(ac);
            const LaLo now{ac.pose.latitude, ac.pose.longitude};
            ticks.push_back({metres(before, now), gf_bearing(before, now) / kDeg, ac.pose.heading / kDeg});
            track.push_back(now);
            headingsDeg.push_back(ac.pose.heading / kDeg);
            tickCount.store(tickCount.load() + 1);
            ASSERT_LT(ticks.size(), 20000u);
        }
        // Creeping round costs a little more time than a pivot: the nose
        // turns as fast, but the report moves round as the aircraft creeps
        // on, and waits for it.
        ASSERT_TRUE(turnedInPlace);
        EXPECT_GE(tickCount.load(), dueAfter);
        EXPECT_LE(tickCount.load() - dueAfter, 150);
        EXPECT_LT(metres({ac.pose.latitude, ac.pose.longitude}, at(after)), 0.5);

        // The speed changes by at most the taxi rate (with a little for the
        // step's rounding) from tick to tick, the first tick's start aside
        // (from 40 kt it brakes harder, but by less than 16 kt a second);
        // it crept on the way, and moving the nose points along the track
        // (straight on while braking, round the creep, along the leg after
        // the turn, which begins within 5 degrees of it).
        const double most = row.speedKt > 30.0 ? 16.0 * kKnotsToMps * 1e-4 : kTaxiSpeedChangePerTick * 1.05 + 1e-6;
        double worst = 0.0;
        int creeping = 0;
        for (std::size_t i = 1; i < ticks.size(); ++i) {
            worst = std::max(worst, std::fabs(ticks[i].stepM - ticks[i - 1].stepM));
            if (ticks[i].stepM < kCreepStepM) ++creeping;
            if (ticks[i].stepM < 1e-4) continue;
            const double off = std::fabs(std::remainder(ticks[i].trackDeg - ticks[i].headingDeg, 360.0));
            EXPECT_LE(off, 5.5) << "tick " << i;
        }
        EXPECT_LE(worst, most);
        EXPECT_GT(creeping, 10);
        EXPECT_GT(ticks[1].stepM, 0.9 * mps / 100.0);
    }
}

TEST_F(TurnInPlace, ALegIntoOrOutOfAShortHoldTakesTheTimeItsSpeedChangeNeeds) {
    // Reports that leave a leg from or to rest less than a second (a repeated
    // report kept as a held position close behind the one before it), and
    // retiming limits that keep the points where they were reported: the
    // legs are lengthened, not played as a start or a stop within a fraction
    // of a second.
    constexpr double kKt = 8.3;
    constexpr std::int32_t kSqueezedTicks = 87;  // 10.7 m: 24 kt on average
    struct Row {
        const char* name;
        bool rolling;  // arrives rolling at the first point and holds at the next
    };
    for (const Row row : {Row{"from rest", false}, Row{"into a hold and out of it", true}}) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        const std::int32_t now = tickCount.load();
        const LaLo q = ahead(kStart, 90.0, 10.7);
        std::deque<StreamPoint> s{ground(kStart, now, row.rolling ? kKt : 0.0), ground(q, now + kSqueezedTicks, kKt)};
        if (row.rolling) {
            StreamPoint held = s.back();
            held.playTick += 30;
            held.groundSpeedKt = 0.0;
            held.stationary = 1;
            s.push_back(held);
        }
        s.push_back(ground(ahead(q, 90.0, 17.0), s.back().playTick + 400, kKt));
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 90.0, Large, 10.0);
        ac.prevPhase = AcPhase::taxi;
        ac.motion.advanceLimit = 0;
        ac.motion.delayLimit = 0;
        if (row.rolling) {
            ac.motion.lastStepM = kKt * kKnotsToMps / 100.0;
            ac.motion.lastStepTick = now - 1;
        }

        std::vector<double> steps;
        double worstMissM = 0.0;
        bool first = true;
        while (steps.size() < 20000) {
            if (tickCount.load() >= ac.stream.front().playTick) {
                if (!first)
                    worstMissM = std::max(worstMissM, metres({ac.pose.latitude, ac.pose.longitude}, at(ac.stream.front())));
                first = false;
                if (ac.stream.size() < 2) break;
                advanceToNextPoint(ac);
            }
            const LaLo before{ac.pose.latitude, ac.pose.longitude};
            gf_interpolatePoseOnCurve(ac);
            steps.push_back(metres(before, {ac.pose.latitude, ac.pose.longitude}));
            tickCount.store(tickCount.load() + 1);
        }
        ASSERT_LT(steps.size(), 20000u);
        EXPECT_LT(worstMissM, 0.5) << "every point is reached when it falls due";
        // Below the reported speed, speeding up from rest or braking to it,
        // the step changes by no more than the taxi rate allows.
        double worst = 0.0;
        const double reportedStepM = kKt * kKnotsToMps / 100.0;
        for (std::size_t i = 1; i < steps.size(); ++i)
            if (std::max(steps[i], steps[i - 1]) <= reportedStepM)
                worst = std::max(worst, std::fabs(steps[i] - steps[i - 1]));
        EXPECT_LE(worst, kTaxiSpeedChangePerTick * 1.05 + 1e-6);
        if (row.rolling) {
            EXPECT_GT(std::count_if(steps.begin(), steps.end(), [](double m) { return m < 1e-4; }), 10) << "it held";
        }
    }
}

TEST_F(TurnInPlace, TheLegAfterATurnOnTheSpotCatchesUpNoFasterThanItsReportsAllow) {
    // It stands with its nose west; the next point lies south, its positions
    // due sooner than their reported speed would take (a turn-entry point
    // due soon after the stand, reports squeezed after a pause). After the
    // turn on the spot the leg goes at its positions' own pace, or catches
    // up at no more than twice the fastest speed reported around it and at
    // most 15 kt above it, not at twice that pace; a leg of
    // kilometres (a position far off), which cannot keep to that, still sets
    // off from rest at the taxi rate. Reports that leave the leg its own
    // time after the turn (they turned on the spot as slowly) owe nothing to
    // catch up: the leg goes at its reported speed. A report whose position
    // came across a pause faster than it reports (`pacedKt`) lets the leg
    // catch up from that pace: it comes on time after its turn. The pace the
    // point it rests on was reached at (`restPacedKt`, a landing roll's) is
    // spent: the leg from it takes none. One that rolls in (dead reckoning
    // over a pause brought it to the corner) catches up from the pace its
    // point asks from where it rolls, slow as the speeds reported are: it
    // brakes, turns and comes on time but for its braking; where its report
    // gives the pace kept across the pause, from that pace alone (twice the
    // pace from where it rolls is no report's). A midpoint put in
    // where the leg's speed changes carries the pace its reports kept across
    // the leg it splits (`splitPacedKt`): the turn's leg to it catches up
    // from that pace as the leg after it does, and the point after comes on
    // time (held to twice the speed reported on the way to the midpoint, it
    // came 2.3 s late to it).
    struct Row {
        const char* name;
        double legM, reportedKt;
        std::int32_t dueTicks;
        bool keepsTheCatchUp, onTime;
        double pacedKt = 0.0;
        double restPacedKt = 0.0;
        bool midpoint = false;  // a speed change's midpoint before the point
        double rollingKt = 0.0;  // rolling on west at this when the leg is planned
        bool splitPaced = false;  // the midpoint carries the point's pace, as put in
        bool late = false;  // left too little time to come on time, however it catches up
    };
    for (const Row row :
         {Row{"squeezed", 121.0, 10.8, 672, true, false}, Row{"fast reports", 300.0, 18.8, 2200, true, false},
          Row{"kilometres off", 3000.0, 20.0, 1800, false, false}, Row{"time left", 72.0, 15.0, 2800, true, true},
          Row{"paced across a pause", 180.0, 6.4, 2800, true, false, 9.5},
          Row{"resting where it came at a pace", 102.0, 7.5, 1270, true, false, 0.0, 21.8},
          Row{"paced past a speed change's midpoint", 180.0, 6.4, 2800, true, false, 9.5, 0.0, true},
          Row{"paced across the leg a midpoint splits", 180.0, 6.4, 2800, true, false, 9.5, 0.0, true, 0.0, true},
          Row{"rolling in", 180.0, 6.4, 2800, true, false, 0.0, 0.0, false, 8.2},
          Row{"rolling in late, paced across a pause", 180.0, 6.4, 2000, true, false, 9.5, 0.0, false, 8.2, false,
              true}}) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        const std::int32_t now = tickCount.load();
        const LaLo next = ahead(kStart, 180.0, row.legM);
        std::deque<StreamPoint> s{ground(kStart, now, 0.0), ground(next, now + row.dueTicks, row.reportedKt)};
        s[0].pacedKt = row.restPacedKt;
        s[1].pacedKt = row.pacedKt;
        if (row.midpoint) {
            StreamPoint mid = ground(ahead(kStart, 180.0, row.legM / 2.0), now + row.dueTicks / 2, row.reportedKt / 2.0);
            mid.midpoint = row.splitPaced ? 1 : 0;
            mid.splitPacedKt = row.splitPaced ? row.pacedKt : 0.0;
            s.insert(s.begin() + 1, mid);
        }
        // The stream that has left it on time ends there.
        if (!row.onTime) s.push_back(ground(ahead(next, 180.0, 40.0), now + row.dueTicks + 800, row.reportedKt));
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 270.0, Large, 10.0);
        ac.prevPhase = AcPhase::taxi;
        ac.motion.lastStepTick = now - 1;
        ac.motion.lastStepM = row.rollingKt * kKnotsToMps / 100.0;
        // Points kept where and when they were reported.
        if (row.onTime) ac.motion.advanceLimit = 0;

        std::vector<double> steps;
        bool turnedInPlace = false;
        std::size_t turnLegEnd = 0;  // the steps of the turn and the leg after it
        while (steps.size() < 30000) {
            if (tickCount.load() >= ac.stream.front().playTick) {
                if (turnedInPlace && turnLegEnd == 0) turnLegEnd = steps.size();
                if (metres(at(ac.stream.front()), next) < 0.5 || ac.stream.size() < 2) break;
                advanceToNextPoint(ac);
                turnedInPlace = turnedInPlace || ac.motion.legTimeOverride != 0;
            }
            const LaLo before{ac.pose.latitude, ac.pose.longitude};
            gf_interpolatePoseOnCurve(ac);
            steps.push_back(metres(before, {ac.pose.latitude, ac.pose.longitude}));
            tickCount.store(tickCount.load() + 1);
        }
        ASSERT_TRUE(turnedInPlace);
        ASSERT_LT(steps.size(), 30000u);
        EXPECT_LT(metres({ac.pose.latitude, ac.pose.longitude}, next), 0.5);
        double fastestKt = 0.0;
        double worstChange = 0.0;
        // Past a midpoint, only the turn's own leg to it: the leg after it
        // catches up as any late leg does.
        const std::size_t judged = row.midpoint ? turnLegEnd : steps.size();
        for (std::size_t i = 1; i < steps.size(); ++i) {
            if (i < judged) fastestKt = std::max(fastestKt, steps[i] * 100.0 / kKnotsToMps);
            if (i < turnLegEnd) worstChange = std::max(worstChange, std::fabs(steps[i] - steps[i - 1]));
        }
        EXPECT_GT(turnLegEnd, 100u);
        const double paceKt = row.legM / (row.dueTicks / 100.0) / kKnotsToMps;  // the midpoint's the same
        const double baseKt = row.midpoint && !row.splitPaced
                                  ? row.reportedKt
                                  : std::max({row.reportedKt, row.pacedKt,
                                              row.rollingKt > 0.0 && !(row.pacedKt > 0.0) ? paceKt : 0.0});
        const double catchUpKt = std::min(2.0 * baseKt, baseKt + 15.0);
        if (row.keepsTheCatchUp) {
            EXPECT_LE(fastestKt, std::max(paceKt, catchUpKt) + 0.2);
        }
        // On time, but for the braking of one that rolls in.
        const auto braking = static_cast<std::size_t>(gf_taxiBraking(row.rollingKt * kKnotsToMps / 100.0).ticks);
        if ((row.pacedKt > 0.0 || row.rollingKt > 0.0) && !row.midpoint && !row.late) {
            EXPECT_LE(turnLegEnd, static_cast<std::size_t>(row.dueTicks) + 100u + braking);
        }
        if (row.splitPaced) {
            EXPECT_LE(steps.size(), static_cast<std::size_t>(row.dueTicks) + 100u);
        }
        if (row.onTime) EXPECT_LE(fastestKt, row.reportedKt + 0.5);
        EXPECT_LE(worstChange, kTaxiSpeedChangePerTick * 1.05 + 1e-6);
    }
}

TEST_F(TurnInPlace, ACornerTurnTheNoseCannotFollowFromRestIsTakenOnTheSpotNotWaitedFor) {
    // It sets off from rest in line with a corner 33 m ahead, past which the
    // route bends 41 degrees and then sharply again: a turn ending on the
    // corner would swing onto the next leg in its last metres, faster than
    // the nose turns however much later the corner fell due. It drives
    // straight to the corner and turns there: at the corner no more than a
    // few seconds after its report, not half a minute, and moving the nose
    // stays along its travel.
    g_liveAircraft.clear();
    const std::int32_t now = tickCount.load();
    const LaLo corner = ahead(kStart, 270.0, 33.0);
    const LaLo bend = ahead(corner, 229.0, 28.0);
    std::deque<StreamPoint> s{ground(kStart, now, 0.0), ground(corner, now + 1100, 5.9),
                              ground(bend, now + 2090, 5.9), ground(ahead(bend, 170.0, 48.0), now + 3080, 14.2)};
    LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 270.0, Large, 10.0);
    ac.prevPhase = AcPhase::taxi;
    ac.motion.lastStepTick = now - 1;

    std::vector<LaLo> track;
    std::vector<double> headings;
    std::int32_t atCorner = -1;
    while (track.size() < 12000 && metres(at(ac.stream.front()), bend) > 0.5) {
        if (tickCount.load() >= ac.stream.front().playTick) {
            if (ac.stream.size() < 2) break;
            advanceToNextPoint(ac);
        }
        gf_interpolatePoseOnCurve(ac);
        track.push_back({ac.pose.latitude, ac.pose.longitude});
        headings.push_back(ac.pose.heading / kDeg);
        if (atCorner < 0 && metres(track.back(), corner) < 1.0) atCorner = tickCount.load();
        tickCount.store(tickCount.load() + 1);
    }
    ASSERT_GE(atCorner, 0);
    EXPECT_LE(atCorner - (now + 1100), 500) << "ticks late at the corner";
    EXPECT_LE(lf_worstNoseOffTravelDeg(track, headings), 30.0);
}

TEST_F(TurnInPlace, ACornerTurnBrakedToRestIsNotStretchedPastItsReportForTheNose) {
    // It rolls east at 8 kt, reported at 14, to a corner 24 m on where its
    // reports stand, due in 8.9 s; past the corner the route bends 36
    // degrees and then 53 more. The turn that ends on the corner hooks onto
    // the next leg in its last metres: stretched until the nose kept up, the
    // leg crept at 2 kt for 20 s and reached the corner 10 s after its
    // report. It goes straight to the corner and turns there instead. Each
    // way round, with the delay the retiming left it after its landing roll
    // and with the usual one.
    struct Row {
        double side;
        std::int32_t delayLimit;
    };
    for (const Row row : {Row{1.0, 300}, Row{-1.0, 300}, Row{1.0, 900}}) {
        SCOPED_TRACE(row.side * row.delayLimit);
        g_liveAircraft.clear();
        const std::int32_t now = tickCount.load();
        const LaLo corner = ahead(kStart, 90.0, 24.4);
        const LaLo p2 = ahead(corner, 90.0 + row.side * 36.1, 42.6);
        const LaLo p3 = ahead(p2, 90.0 + row.side * 89.5, 19.1);
        const LaLo p4 = ahead(p3, 90.0 + row.side * 90.2, 18.0);
        std::deque<StreamPoint> s{ground(kStart, now, 14.1), ground(corner, now + 889, 0.0),
                                  ground(p2, now + 1722, 6.7), ground(p3, now + 2168, 10.8),
                                  ground(p4, now + 2446, 13.6)};
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 90.0, Large, 7.0);
        rollingAt(ac, 8.3 * kKnotsToMps);
        ac.motion.delayLimit = row.delayLimit;

        std::vector<LaLo> track;
        std::vector<double> headings;
        playToTheEnd(ac, track, headings);
        const auto atCorner = std::find_if(track.begin(), track.end(), [&](LaLo p) { return metres(p, corner) < 1.0; });
        ASSERT_NE(atCorner, track.end());
        EXPECT_LE(atCorner - track.begin() - 889, 300) << "ticks late at the corner";
        EXPECT_LE(lf_worstNoseOffTravelDeg(track, headings), 30.0);
    }
}

TEST_F(TurnInPlace, ARollingAircraftSlowsOnACornerItCannotTurnOnTheWayAndCreepsRound) {
    // It rolls east toward a corner 30 m on, its nose still 25 degrees off
    // the leg (the end of a turn onto it), so that no bend through the
    // corner is built; the legs after the corner are known before it sets
    // off. Braked for only on arrival, it rolled on past the corner and
    // turned further still, back toward the next point, and drove back
    // across the corner: it slows to a creep on the corner instead. Its
    // reports roll through the corner, so it creeps round, no tighter than
    // a nose wheel steers (a pivot there is what no pilot does), and keeps
    // to the reported legs but for the arc it creeps round. Where the
    // corner's report stands it turns where it stands. Two short legs in
    // line after the corner are taken by a tight bend from it, rolling:
    // there it does not slow to a creep.
    struct Row {
        double turnDeg, speedKt, afterM;
        bool slowsOnCorner;
        bool standsThere = false;
    };
    for (const Row row : {Row{60.0, 10.0, 30.0, true}, Row{-75.0, 14.0, 30.0, true}, Row{90.0, 8.0, 30.0, true},
                          Row{75.0, 10.0, 20.0, false}, Row{90.0, 8.0, 30.0, true, true}}) {
        SCOPED_TRACE(row.turnDeg);
        g_liveAircraft.clear();
        const double mps = row.speedKt * kKnotsToMps;
        const auto legTicks = static_cast<std::int32_t>(std::lround(30.0 / mps * 100.0));
        const double after = 90.0 + row.turnDeg;
        std::deque<StreamPoint> s =
            route(kStart, {{90.0, 30.0}, {after, row.afterM}, {after, row.afterM}}, row.speedKt, legTicks);
        const std::vector<LaLo> path{at(s[0]), at(s[1]), at(s[2]), at(s[3])};
        if (row.standsThere) s[1].groundSpeedKt = 0.0;
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 90.0 - std::copysign(25.0, row.turnDeg), Large, 10.0);
        ac.prevPhase = AcPhase::taxi;
        ac.motion.lastStepM = mps / 100.0;
        ac.motion.lastStepTick = tickCount.load() - 1;

        // The farthest the pose strays from the reported legs, and the ticks
        // it creeps or stands before the last point.
        double worstOffM = 0.0;
        int creeping = 0;
        int resting = 0;
        std::vector<LaLo> track;
        std::vector<double> headingsDeg;
        for (int guard = 0; guard < 20000; ++guard) {
            const std::optional<double> stepM = playTick(ac);
            if (!stepM) break;
            const LaLo p{ac.pose.latitude, ac.pose.longitude};
            track.push_back(p);
            headingsDeg.push_back(ac.pose.heading / kDeg);
            if (*stepM < kCreepStepM) ++creeping;
            if (*stepM < 1e-4) ++resting;
            double off = 1e9;
            for (std::size_t k = 0; k + 1 < path.size(); ++k) {
                const double length = metres(path[k], path[k + 1]);
                const RelativePosition r = gf_relativePosition(path[k], gf_bearing(path[k], path[k + 1]), p);
                off = std::min(off, r.along < 0.0      ? metres(path[k], p)
                                    : r.along > length ? metres(path[k + 1], p)
                                                       : std::fabs(r.across));
            }
            worstOffM = std::max(worstOffM, off);
            tickCount.store(tickCount.load() + 1);
        }
        EXPECT_LT(metres({ac.pose.latitude, ac.pose.longitude}, path.back()), 0.5);
        EXPECT_LT(worstOffM, row.standsThere ? 1.0 : 5.0);
        EXPECT_EQ(lf_sharpestTurnOverAMetreDeg(track, headingsDeg) >= 20.0, row.standsThere);
        if (row.slowsOnCorner)
            EXPECT_GT(creeping, 100);
        else
            EXPECT_EQ(resting, 0);
    }
}

TEST_F(TurnInPlace, ABendOnTimeIntoASharpCornerStopsOnItWhenBrakingWouldRunFarPast) {
    // East along a slight bend (the reports 3 degrees off the nose) whose
    // end is a corner of 50 degrees, on time. At 12 kt braking straight on
    // ran 7 m past the corner, and the turn on the spot toward the next leg
    // (its turn-entry point close ahead) grew to 82 degrees and a drive back
    // across the corner; stopped on the corner instead, it turned on the
    // spot where its reports never stood. Its reports passing the corner at
    // 12 kt or 6 kt (stopped, it fell 15 s behind), and a corner of 35
    // degrees too, it rolls through on a turn from the nose, never below
    // half its speed, the nose along the travel. A corner of 50 degrees at
    // 6 kt whose report after it lies only 3 m on is stopped on: run less
    // than 2 m past, it found that report far further round.
    struct Row {
        double speedKt;
        bool stopsOnCorner;
        double cornerDeg = 50.0;
        double afterM = 44.0;  // the leg after the corner
        bool rollsThrough = false;
    };
    for (const Row row : {Row{12.0, false, 50.0, 44.0, true}, Row{6.0, false, 50.0, 44.0, true},
                          Row{12.0, false, 35.0, 44.0, true}, Row{6.0, true, 50.0, 3.0}}) {
        SCOPED_TRACE(row.speedKt);
        SCOPED_TRACE(row.cornerDeg);
        SCOPED_TRACE(row.afterM);
        g_liveAircraft.clear();
        const double mps = row.speedKt * kKnotsToMps;
        const auto ticks = [&](double m) { return static_cast<std::int32_t>(std::lround(m / mps * 100.0)); };
        std::deque<StreamPoint> s = route(kStart, {{90.0, 45.0}, {90.0, 90.0}}, row.speedKt, ticks(45.0));
        s[2].playTick = s[1].playTick + ticks(90.0);
        LaLo corner = at(s[2]);
        for (const auto& [bearing, m] :
             {std::pair{90.0 + row.cornerDeg, row.afterM}, std::pair{180.0, 54.0}, std::pair{180.0, 60.0}}) {
            s.push_back(ground(ahead(at(s.back()), bearing, m), s.back().playTick + ticks(m), row.speedKt));
        }
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 93.3, Large, 10.0);
        rollingAt(ac, mps);
        if (row.rollsThrough) {
            std::vector<LaLo> track;
            std::vector<double> headingsDeg;
            playToTheEnd(ac, track, headingsDeg);
            double slowestKt = 1e9;
            for (std::size_t i = 100; i < track.size(); ++i)
                if (metres(track[i], corner) < 20.0) slowestKt = std::min(slowestKt, metres(track[i - 100], track[i]) / kKnotsToMps);
            EXPECT_GT(slowestKt, 0.5 * row.speedKt);
            EXPECT_LT(lf_worstNoseOffTravelDeg(track, headingsDeg), 30.0);
            continue;
        }

        // Where it first comes to rest about the corner.
        const std::optional<double> restFromCornerM = firstCreepFrom(ac, corner);
        ASSERT_TRUE(restFromCornerM.has_value());
        EXPECT_EQ(*restFromCornerM < 0.5, row.stopsOnCorner) << *restFromCornerM;
        EXPECT_LT(*restFromCornerM, 3.0);
    }
}

TEST_F(TurnInPlace, ANoseThatCannotComeRoundOnAShortLegStopsOnTheCornerAfterIt) {
    // Rolling east at 10 kt with the nose 25 degrees left of a leg of 10 m,
    // a heavy turning 5 degrees a second brings it only 12 degrees round
    // before the corner; a corner of 35 degrees is then 48 degrees off the
    // nose, more than a turn on the way. It comes to rest on the corner, not
    // braking 5 m straight past it to turn further still. A corner of 10
    // degrees is turned on the way.
    struct Row {
        double cornerDeg;
        bool stopsOnCorner;
    };
    for (const Row row : {Row{35.0, true}, Row{10.0, false}}) {
        SCOPED_TRACE(row.cornerDeg);
        g_liveAircraft.clear();
        const double mps = 10.0 * kKnotsToMps;
        const auto ticks = [&](double m) { return static_cast<std::int32_t>(std::lround(m / mps * 100.0)); };
        std::deque<StreamPoint> s = route(kStart, {{90.0, 10.0}, {90.0 + row.cornerDeg, 30.0}}, 10.0, ticks(10.0));
        s[2].playTick = s[1].playTick + ticks(30.0);
        const LaLo corner = at(s[1]);
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 65.0, Large, 5.0);
        rollingAt(ac, mps);

        const std::optional<double> restFromCornerM = firstCreepFrom(ac, corner);
        if (row.stopsOnCorner) {
            ASSERT_TRUE(restFromCornerM.has_value());
            EXPECT_LT(*restFromCornerM, 0.5);
        } else {
            EXPECT_FALSE(restFromCornerM.has_value()) << *restFromCornerM;
        }
    }
}

TEST_F(TurnInPlace, ALateTurnOnTheSpotSetsOffBeforeTheNoseIsAlongTheLeg) {
    // A heavy standing with its nose west after its pushback learns of a
    // taxi due south: 160 m on in 14.6 s, 320 m on in 28.3 s. Turning the
    // whole 85 degrees on the spot at 6 degrees a second, it could not make
    // up the 320 m from rest at twice its pace: it sets off once the nose is
    // 20 degrees off the leg and turns the rest rolling, the nose never
    // further off its travel than that, and is at the far point within 8 s
    // of its time (catching up at no more than 30 kt; facing the leg first
    // it came 2.5 s later still). So does one still rolling west at 8.4 kt, which brakes
    // to rest 3.7 m on first (within the 1.7 s of its braking more), and one
    // whose first report is only 16 m on, where the way runs on straight to
    // the far point: the reports falling on the way tell nothing of how much
    // of it the nose crosses coming round. Late on a leg of 30 m where its
    // reports end, or where the way bends 8 degrees off, which it would
    // cross half sideways, or with time to spare (a last report 160 m on at
    // 18.8 kt due in a minute), it faces the leg before it moves.
    struct Row {
        const char* name;
        double nearM, nearKt;
        std::int32_t nearDue, farDue;  // farDue 0: the stream ends at the near point
        bool rolls;
        double rollingKt = 0.0;  // rolling on at this when the leg is planned
        double farDeg = 180.0;   // the way on from the near point
    };
    for (const Row row : {Row{"late", 160.0, 9.4, 1463, 2831, true},
                          Row{"late, braking to rest first", 160.0, 9.4, 1463, 2831, true, 8.4},
                          Row{"late, a short leg on a straight way", 16.0, 7.7, 836, 2831, true},
                          Row{"late on a short leg", 30.0, 9.4, 300, 0, false},
                          Row{"late on a short leg before a bend", 30.0, 9.4, 300, 1700, false, 0.0, 172.0},
                          Row{"on time", 160.0, 18.8, 7000, 0, false}}) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        const std::int32_t now = tickCount.load();
        const LaLo near = ahead(kStart, 180.0, row.nearM);
        const LaLo far = row.farDue > 0 ? ahead(near, row.farDeg, 160.0) : near;
        std::deque<StreamPoint> s{ground(kStart, now, 0.0), ground(near, now + row.nearDue, row.nearKt)};
        if (row.farDue > 0) {
            s.push_back(ground(far, now + row.farDue, 18.8));
            s.push_back(ground(ahead(far, row.farDeg, 100.0), now + row.farDue + 1000, 18.8));
        }
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 270.0, Large, 5.0);
        ac.prevPhase = AcPhase::taxi;
        ac.motion.lastStepTick = now - 1;
        ac.motion.lastStepM = row.rollingKt * kKnotsToMps / 100.0;
        // Points kept when they were reported.
        ac.motion.advanceLimit = 0;

        std::optional<double> setOffDeg;
        std::int32_t atFar = -1;
        double worstOffDeg = 0.0;
        // Set off from rest: after its braking, when it rolled in.
        bool rested = row.rollingKt == 0.0;
        while (tickCount.load() - now < 20000 && atFar < 0) {
            const LaLo before{ac.pose.latitude, ac.pose.longitude};
            const std::optional<double> step = playTick(ac);
            if (!step) break;
            const LaLo here{ac.pose.latitude, ac.pose.longitude};
            const double headingDeg = ac.pose.heading / kDeg;
            if (*step <= 1e-4) rested = true;
            if (*step > 1e-4) {
                if (!setOffDeg && rested) setOffDeg = std::fabs(std::remainder(headingDeg - 180.0, 360.0));
                const double travelDeg = gf_bearing(before, here) / kDeg;
                worstOffDeg = std::max(worstOffDeg, std::fabs(std::remainder(travelDeg - headingDeg, 360.0)));
            }
            if (metres(here, far) < 5.0) atFar = tickCount.load();
            tickCount.store(tickCount.load() + 1);
        }
        ASSERT_TRUE(setOffDeg.has_value());
        ASSERT_GE(atFar, 0);
        if (row.rolls) {
            EXPECT_GT(*setOffDeg, 15.0);
            EXPECT_LE(worstOffDeg, 20.5);
            const TaxiBraking braking = gf_taxiBraking(row.rollingKt * kKnotsToMps / 100.0);
            EXPECT_LE(atFar - (now + row.farDue), 800 + braking.ticks) << "ticks late at the far point";
        } else {
            EXPECT_LE(*setOffDeg, 5.5);
            EXPECT_LE(worstOffDeg, 5.5);
        }
    }
}

TEST_F(TurnInPlace, ANoseThatCreptRoundTurnsTheRestOfItsTurnOnlyAsItRolls) {
    // A late taxi creeps round until its nose is 20 degrees off the leg, and
    // the leg from there, 100 m south, has time enough to stand first. The
    // nose stays where it is while the aircraft stands and comes round the
    // rest only as it rolls, never more than 20 degrees over a metre: turned
    // at once, it swung the last 20 degrees round where it stood.
    g_liveAircraft.clear();
    const std::int32_t now = tickCount.load();
    const LaLo end = ahead(kStart, 180.0, 100.0);
    LiveAc& ac = taxiing({ground(end, now + 4000, 10.0)}, AcPhase::taxi, 200.0, Large, 5.0);
    ac.prevPhase = AcPhase::taxi;
    ac.pose.latitude = kStart.lat;
    ac.pose.longitude = kStart.lon;
    ac.motion.turnInPlaceCreeps = 1;
    ac.motion.legBearing = 180.0 * kDeg;
    ac.motion.lastStepTick = now - 1;
    startLegFromRest(ac);
    std::vector<LaLo> track{kStart};
    std::vector<double> headingsDeg{200.0};
    double standingTurnDeg = 0.0;
    while (playTick(ac)) {
        const LaLo here{ac.pose.latitude, ac.pose.longitude};
        if (metres(here, track.back()) < 1e-4)
            standingTurnDeg += std::fabs(std::remainder(ac.pose.heading / kDeg - headingsDeg.back(), 360.0));
        track.push_back(here);
        headingsDeg.push_back(ac.pose.heading / kDeg);
        tickCount.store(tickCount.load() + 1);
    }
    EXPECT_LT(metres(track.back(), end), 0.5);
    EXPECT_LT(standingTurnDeg, 0.1);
    EXPECT_LT(lf_sharpestTurnOverAMetreDeg(track, headingsDeg), 20.0);
    EXPECT_LT(std::fabs(std::remainder(headingsDeg.back() - 180.0, 360.0)), 1.0);
}

TEST_F(TurnInPlace, ATurnOnTheSpotThroughCopiesOfWhereItStandsLeavesNoSoonerThanTheLastCopy) {
    // An airliner standing with its nose west, its reports copies of where it
    // stands for 20 s and then a taxi due south, 102 m on 6.6 s after the
    // last copy at 14.3 kt (late from the start). The copies end early by
    // the turn's time so that the nose comes round while it stands; it then
    // sets off when the last copy is due, not with the last 20 degrees of
    // the turn still to make (which left its stand 1.3 m early), and is at
    // the far report within 10 s of its time.
    for (const double turnDeg : {90.0, 60.0}) {
        SCOPED_TRACE(turnDeg);
        g_liveAircraft.clear();
        const std::int32_t now = tickCount.load();
        const LaLo far = ahead(kStart, 270.0 - turnDeg, 102.0);
        std::deque<StreamPoint> s{ground(kStart, now, 0.0)};
        for (const std::int32_t due : {now + 600, now + 1400, now + 2000}) {
            s.push_back(ground(kStart, due, 0.0));
            s.back().stationary = 1;
        }
        s.push_back(ground(far, now + 2660, 14.3));
        s.push_back(ground(ahead(far, 270.0 - turnDeg, 74.0), now + 3660, 14.3));
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 270.0, Large, 7.0);
        ac.motion.advanceLimit = 0;
        // Come to rest here along its taxi west.
        ac.motion.legBearing = 270.0 * kDeg;

        std::int32_t setOff = -1;
        std::int32_t atFar = -1;
        while (tickCount.load() - now < 20000 && atFar < 0) {
            if (!playTick(ac)) break;
            const LaLo here{ac.pose.latitude, ac.pose.longitude};
            if (setOff < 0 && metres(here, kStart) > 0.05) setOff = tickCount.load();
            if (metres(here, far) < 5.0) atFar = tickCount.load();
            tickCount.store(tickCount.load() + 1);
        }
        ASSERT_GE(setOff, 0);
        ASSERT_GE(atFar, 0);
        EXPECT_GE(setOff, now + 2000) << "left its stand before the last copy was due";
        EXPECT_LE(atFar - (now + 2660), 1000) << "ticks late at the far report";
    }
}

TEST_F(TurnInPlace, ACrawlSettingOffSharplyAfterAReportAFewMetresOnPivotsNotCreepsThroughAKink) {
    // Reported at a crawl about 2 m on, then off at 60 degrees or more: a
    // bend through that point kinks within metres, faster than the nose
    // turns even at walking pace. It turns where it is and goes straight on,
    // the nose along its travel, to the last report. So does one rolling at
    // 11.5 kt onto a report after which the reports kink 11 m off to one
    // side, far off the nose, and back: a curve through the kink set off
    // toward its first point with the nose 75 degrees off its travel (a turn
    // that sets off along the nose is still taken). Each leg: bearing
    // (degrees), metres, ticks until due, speed reported there.
    struct Leg {
        double bearingDeg, metres;
        std::int32_t ticks;
        double speedKt;
    };
    struct Row {
        std::uint32_t category;
        double rateDegPerS, headingDeg, speedKt;
        std::vector<Leg> legs;
        double rollingKt = 0.0;
    };
    const auto kink = [](double offDeg, double backDeg) {
        return Row{Large, 8.4, 65.5, 11.5,
                   {{65.5 + offDeg, 11.2, 200, 10.9}, {65.5 + backDeg, 10.1, 180, 10.9}, {70.0, 23.7, 420, 11.3},
                    {70.0, 63.6, 717, 19.2}},
                   11.5};
    };
    const std::vector<Row> rows{
        {TwoProps, 9.7, 357.0, 2.0, {{15.0, 2.0, 352, 0.9}, {84.0, 15.8, 978, 7.8}, {90.0, 21.6, 386, 12.0}}},
        {Heavy, 5.2, 175.5, 2.0, {{190.0, 2.2, 458, 0.7}, {246.0, 20.0, 1105, 8.7}, {245.0, 20.0, 400, 12.0}}},
        {Bizjet, 9.0, 184.4, 1.2, {{204.0, 2.2, 322, 1.2}, {247.9, 25.7, 942, 9.9}, {250.0, 26.5, 471, 12.1}}},
        kink(-78.0, -4.0), kink(78.0, 4.0), kink(65.0, 6.0),
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legs.front().bearingDeg);
        g_liveAircraft.clear();
        std::deque<StreamPoint> s{ground(kStart, tickCount.load(), row.speedKt)};
        for (const Leg& leg : row.legs)
            s.push_back(ground(ahead(at(s.back()), leg.bearingDeg, leg.metres), s.back().playTick + leg.ticks,
                               leg.speedKt));
        const LaLo end = at(s.back());
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, row.headingDeg, row.category, row.rateDegPerS);
        ac.prevPhase = AcPhase::taxi;
        if (row.rollingKt > 0.0) {
            ac.pose.trueAirspeed = row.rollingKt;
            ac.motion.lastStepM = row.rollingKt * kKnotsToMps / 100.0;
            ac.motion.lastStepTick = tickCount.load() - 1;
        }
        std::vector<LaLo> track;
        std::vector<double> headings;
        playToTheEnd(ac, track, headings);
        EXPECT_LT(metres({ac.pose.latitude, ac.pose.longitude}, end), 0.5);
        EXPECT_LE(lf_worstNoseOffTravelDeg(track, headings), 30.0);
    }
}

TEST_F(TurnInPlace, ALateTaxiArrivingFastAtAKinkedBendTakesItNotBrakingPastAndTurningBack) {
    // Catching up at 19 kt into reports a metre or two apart, the first 29
    // degrees off the nose: what the nose lags there is its start turn, not
    // a kink of the bend, and taken for a pivot the aircraft braked 13 m past
    // them and turned round to drive back. It follows them instead, the nose
    // never turned back against its way.
    const std::int32_t now = tickCount.load();
    const std::vector<std::pair<double, double>> legs{{147.0, 1.7}, {160.6, 3.6}, {135.0, 1.6}, {90.0, 1.3}, {70.0, 19.0}};
    const std::vector<std::pair<std::int32_t, double>> due{{197, 2.8}, {245, 2.2}, {227, 1.0}, {121, 2.5}, {699, 8.8}};
    std::deque<StreamPoint> s{ground(kStart, now, 2.0)};
    for (std::size_t i = 0; i < legs.size(); ++i)
        s.push_back(ground(ahead(at(s.back()), legs[i].first, legs[i].second), s.back().playTick + due[i].first,
                           due[i].second));
    const LaLo end = at(s.back());
    LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 118.0, TwoProps, 9.0);
    ac.prevPhase = AcPhase::taxi;
    ac.motion.lastStepM = 19.0 * kKnotsToMps / 100.0;
    ac.motion.lastStepTick = now - 1;
    double worstOffDeg = 0.0;
    for (int i = 0; i < 20000 && playTick(ac); ++i) {
        worstOffDeg = std::max(worstOffDeg, std::fabs(std::remainder(ac.pose.heading / kDeg - 118.0, 360.0)));
        tickCount.store(tickCount.load() + 1);
    }
    EXPECT_LT(metres({ac.pose.latitude, ac.pose.longitude}, end), 0.5);
    EXPECT_LT(worstOffDeg, 90.0);
}

TEST_F(TurnInPlace, ALandingRollTurnsOffAtItsCornerNeverPastItAndBack) {
    // A landing roll east along the runway at 50 kt, 300 m short of its exit
    // corner reported at the exit's speed; the report of the leg after the
    // corner, off the runway by the angle, comes while it rolls 225 m short
    // of the corner (after a pause in the reports). The roll ran on to the
    // corner at the reported speed, braked straight on along the runway,
    // turned back further still (a 48 degree exit became 86) and drove back
    // across the corner. Where the reports end just past the corner it slows
    // to a creep on the corner and creeps round toward the last. Where
    // they roll on off the runway at the exit's speed it rolls through the
    // exit (braked to rest on the corner, it turned the exit on the spot
    // where its reports never stood). Either way it never goes back along
    // the runway toward the corner it has passed.
    struct Row {
        double turnDeg, cornerKt;
        bool rollsOn;
    };
    for (const Row row : {Row{60.0, 10.0, false}, Row{-35.0, 10.0, false}, Row{90.0, 16.0, false},
                          Row{60.0, 30.0, false}, Row{20.0, 10.0, true}, Row{46.0, 10.0, true},
                          Row{-60.0, 12.0, true}, Row{80.0, 15.0, true}}) {
        SCOPED_TRACE(row.turnDeg);
        StreamPoint after;
        LiveAc& ac = rollingToExit(row.turnDeg, row.cornerKt, row.rollsOn ? 25.0 : 7.0, 10.0, after);
        std::vector<StreamPoint> later{after};
        if (row.rollsOn)
            for (int i = 0; i < 3; ++i)
                later.push_back(ground(ahead(at(later.back()), 90.0 + row.turnDeg, 30.0),
                                       later.back().playTick + static_cast<std::int32_t>(std::lround(
                                                                   30.0 / (row.cornerKt * kKnotsToMps) * 100.0)),
                                       row.cornerKt));
        const LaLo corner = at(ac.stream[1]);
        const LaLo end = at(later.back());

        // Where it first slows to a creep short of the end (comes to rest, or
        // begins to creep round), how far the nose turns as it creeps, and
        // how far it ever goes back west along the runway.
        std::optional<LaLo> rest;
        double restHeadingDeg = 0.0;
        double spotTurnDeg = 0.0;
        double eastmostM = -1e9;
        double backM = 0.0;
        bool reported = false;
        double wasM = 1e9;
        for (int guard = 0; guard < 20000; ++guard) {
            if (!reported && ac.stream.size() == 1 && metres({ac.pose.latitude, ac.pose.longitude}, corner) < 225.0) {
                for (const StreamPoint& p : later) ac.stream.push_back(p);
                gf_replanLegForNewCorner(ac);
                reported = true;
            }
            const std::optional<double> stepM = playTick(ac);
            if (!stepM) break;
            const LaLo pose{ac.pose.latitude, ac.pose.longitude};
            const double eastM = (pose.lon - corner.lon) * std::cos(corner.lat * kDeg) * metresPerNm * 60.0;
            eastmostM = std::max(eastmostM, eastM);
            backM = std::max(backM, eastmostM - eastM);
            if (*stepM < kSlowestStepM && !(*stepM < wasM) && !rest && metres(pose, end) > 1.0) {
                rest = pose;
                restHeadingDeg = ac.pose.heading / kDeg;
            }
            wasM = *stepM;
            if (rest && *stepM > kCreepStepM) break;
            if (rest)
                spotTurnDeg =
                    std::max(spotTurnDeg, std::fabs(std::remainder(ac.pose.heading / kDeg - restHeadingDeg, 360.0)));
            tickCount.store(tickCount.load() + 1);
        }
        ASSERT_TRUE(reported);
        EXPECT_LT(backM, 1.0);
        ASSERT_EQ(rest.has_value(), !row.rollsOn);
        if (!rest) continue;
        // Creeping on toward the last report, 7 m on, the nose comes round
        // further than the exit's angle as the report moves round it, but
        // far short of turning back toward the corner.
        EXPECT_LT(metres(*rest, corner), 0.5);
        EXPECT_LT(spotTurnDeg, std::fabs(row.turnDeg) + 30.0);
    }
}

TEST_F(TurnInPlace, ALandingRollRollsThroughAnExitItsReportsRollThrough) {
    // A landing roll east along the runway at 50 kt, 300 m short of its exit
    // reported at 15 kt; the reports after it turn off the runway in steps
    // of about 25-30 degrees at 15 kt (36 m, 28 m, then 52 m and on at 18
    // kt), the roll arriving in the exit with the nose 30 degrees off the
    // leg on. The roll braked to rest there, on the exit, and turned 30-48
    // degrees on the spot where its reports never stood. It rolls through
    // the exit, never below 5 kt, the nose within 30 degrees of its travel.
    struct Row {
        double firstDeg, secondDeg, thirdDeg;
    };
    for (const Row row : {Row{23.0, 30.0, 31.0}, Row{-23.0, -30.0, -31.0}, Row{-23.0, -31.0, -30.0},
                          Row{20.0, 34.0, 30.0}, Row{25.0, 32.0, 20.0}, Row{-20.0, -32.0, -25.0}}) {
        SCOPED_TRACE(row.secondDeg);
        StreamPoint after;
        LiveAc& ac = rollingToExit(row.firstDeg, 14.8, 36.0, 7.0, after);
        ac.stream.push_back(after);
        double headingDeg = 90.0 + row.firstDeg;
        for (const auto& [turnDeg, m, kt] : {std::tuple{row.secondDeg, 28.0, 14.8}, std::tuple{row.thirdDeg, 52.0, 18.2},
                                              std::tuple{0.0, 60.0, 18.2}}) {
            headingDeg += turnDeg;
            const StreamPoint& last = ac.stream.back();
            const auto ticks = static_cast<std::int32_t>(std::lround(m / (kt * kKnotsToMps) * 100.0));
            ac.stream.push_back(ground(ahead(at(last), headingDeg, m), last.playTick + ticks, kt));
        }
        const LaLo corner = at(ac.stream[1]);
        const LaLo end = at(ac.stream.back());
        std::vector<LaLo> track;
        std::vector<double> headingsDeg;
        playToTheEnd(ac, track, headingsDeg);
        ASSERT_FALSE(track.empty());
        EXPECT_LT(metres(track.back(), end), 1.0);
        double slowestKt = 1e9;
        for (std::size_t i = 100; i < track.size(); ++i)
            if (metres(track[i], corner) < 120.0 && metres(track[i], end) > 10.0)
                slowestKt = std::min(slowestKt, metres(track[i - 100], track[i]) / kKnotsToMps);
        EXPECT_GT(slowestKt, 5.0);
        EXPECT_LT(lf_worstNoseOffTravelDeg(track, headingsDeg), 30.0);
    }
}

TEST_F(TurnInPlace, ACreepThroughReportsAFewMetresApartIsNotSlowedBelowItsOwnPaceForItsBends) {
    // Creeping at 3 kt, 8.5 s ahead of its reports, through reports 5 m
    // apart at 1.6 kt each turning 40 degrees off the last, then on at 11 and
    // 16 kt, turning right or left. The bend to the first of them hooks onto
    // the way to the next in its last metre, faster than the nose turns at
    // any pace: stretched until the nose kept to it, the 5.6 m took 30 s at
    // 0.4 kt and the taxi came 14 s late to the reports after it. Taken at
    // its own pace or its reports' (the nose a little behind over that
    // metre), each report is reached within a few seconds of its time. Each
    // leg: bearing (degrees), metres, ticks until due, speed reported there.
    struct Leg {
        double bearingDeg, metres;
        std::int32_t ticks;
        double speedKt;
    };
    const std::vector<Leg> legs{
        {346.0, 5.6, 1244, 1.6}, {25.9, 4.8, 610, 1.6}, {72.5, 5.9, 552, 4.1}, {90.0, 27.9, 715, 11.0},
        {90.0, 43.3, 603, 16.2},
    };
    for (const bool right : {true, false}) {
        SCOPED_TRACE(right ? "turning right" : "turning left");
        const auto side = [right](double deg) { return right ? deg : 360.0 - deg; };
        g_liveAircraft.clear();
        std::deque<StreamPoint> s{ground(kStart, tickCount.load(), 4.3)};
        for (const Leg& leg : legs)
            s.push_back(ground(ahead(at(s.back()), side(leg.bearingDeg), leg.metres), s.back().playTick + leg.ticks,
                               leg.speedKt));
        std::vector<std::pair<LaLo, std::int32_t>> dues;
        for (std::size_t i = 1; i < s.size(); ++i) dues.emplace_back(at(s[i]), s[i].playTick);
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, side(348.4), Large, 7.0);
        rollingAt(ac, 3.3 * kKnotsToMps);
        ac.motion.frontAheadTicks = 850;
        const std::int32_t start = tickCount.load();
        std::vector<LaLo> track;
        std::vector<double> headings;
        playToTheEnd(ac, track, headings);
        EXPECT_LE(lf_worstNoseOffTravelDeg(track, headings), 30.0);
        // How late each report is first come within 2 m of, searching on
        // from the one before (a corner the bend cuts is not judged): the
        // creep's three all are.
        std::size_t from = 0;
        std::size_t judged = 0;
        for (const auto& [where, due] : dues) {
            for (std::size_t i = from; i < track.size(); ++i) {
                if (!(metres(track[i], where) < 2.0)) continue;
                EXPECT_LT((start + static_cast<std::int32_t>(i) - due) / 100.0, 5.0) << "report " << judged;
                from = i;
                ++judged;
                break;
            }
        }
        EXPECT_GE(judged, 3u);
    }
}

TEST_F(TurnInPlace, ATaxiRollingFarOffItsNextLegTurnsOntoItRollingWhereItsReportsRoll) {
    // Rolling south, its next report 84 m on a leg 50-75 degrees off the
    // nose (the reports turned across a pause), the reports after it rolling
    // on round the corner with time to spare. It braked to rest where no
    // report stood and turned on the spot; it turns from the nose rolling.
    for (const auto& [offDeg, kt] : {std::pair{56.0, 6.3}, std::pair{-50.0, 10.0}, std::pair{75.0, 8.0}}) {
        SCOPED_TRACE(offDeg);
        g_liveAircraft.clear();
        const double mps = kt * kKnotsToMps;
        const auto legTicks = static_cast<std::int32_t>(std::lround(1.3 * 84.0 / mps * 100.0));
        const double into = 180.0 + offDeg, on = into + std::copysign(35.0, offDeg);
        std::deque<StreamPoint> s = route(kStart, {{into, 84.0}, {on, 60.0}, {on, 60.0}}, kt, legTicks);
        const LaLo end = at(s.back());
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 180.0, Large, 10.0);
        rollingAt(ac, mps);
        std::vector<LaLo> track;
        std::vector<double> headingsDeg;
        playToTheEnd(ac, track, headingsDeg);
        ASSERT_GT(track.size(), 100u);
        EXPECT_LT(metres(track.back(), end), 1.0);
        // It never stands, nor turns the nose 20 degrees within a metre.
        double worstSpotTurnDeg = 0.0;
        int resting = 0;
        for (std::size_t i = 1; i < track.size(); ++i) {
            if (metres(track[i - 1], track[i]) < 1e-4) ++resting;
            double travelled = 0.0;
            for (std::size_t j = i; j < track.size() && travelled < 1.0; ++j) {
                travelled += metres(track[j - 1], track[j]);
                worstSpotTurnDeg = std::max(worstSpotTurnDeg,
                                            std::fabs(std::remainder(headingsDeg[j] - headingsDeg[i - 1], 360.0)));
            }
        }
        EXPECT_LT(worstSpotTurnDeg, 20.0);
        EXPECT_EQ(resting, 0);
        EXPECT_LT(lf_worstNoseOffTravelDeg(track, headingsDeg), 30.0);
    }
}
