// A ground aircraft that rolls into a leg that stands (its stream runs dry,
// a hold is reported after the leg into it began, a landing roll's dead
// reckoning comes to rest) brakes to rest straight on instead of stopping
// within a tick; a report that comes while it brakes takes over from where
// and how fast the aircraft is, or lets the braking run on when it says the
// aircraft stands there. A report at rest behind where dead reckoning took a
// taxi on a stand stops it where it is, not back there.

#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "airports/loaded_airport.h"
#include "engine/geometry.h"
#include "foundation/geodesy.h"
#include "motion/ground_roll.h"
#include "motion/motion_math.h"
#include "motion/next_position.h"
#include "motion/pose_path.h"
#include "motion/stream_checks.h"
#include "support/stand_table.h"

#include "taxi_fixture.h"

using namespace tavo::test;

namespace {

const LaLo kStart{50.01, 8.0};

// A taxi along one 40 m leg east at `kt`, in phase taxi after a taxi.
class GroundRest : public TaxiTest {
protected:
    struct OneLeg {
        LiveAc& ac;
        StreamPoint last;  // the leg's end, its last report
        std::int32_t legTicks;
    };
    static OneLeg taxiOneLegEast(double kt) {
        g_liveAircraft.clear();
        const auto legTicks = static_cast<std::int32_t>(std::lround(40.0 / (kt * kKnotsToMps) * 100.0));
        std::deque<StreamPoint> s = route(kStart, {{90.0, 40.0}}, kt, legTicks);
        const StreamPoint last = s.back();
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 90.0, Large, 10.0);
        ac.prevPhase = AcPhase::taxi;
        return {ac, last, legTicks};
    }
    // Parking: driving east `metres` onto its stand, reported at `kt` where
    // it starts and at rest on the stand `ticks` later, a stationary copy
    // half a second after that.
    static LiveAc& ontoStandEast(double metres, double kt, std::int32_t ticks) {
        g_liveAircraft.clear();
        std::deque<StreamPoint> s = route(kStart, {{90.0, metres}}, kt, ticks);
        s.back().groundSpeedKt = 0.0;
        StreamPoint stop = s.back();
        stop.stationary = 1;
        stop.playTick += 50;
        s.push_back(stop);
        LiveAc& ac = taxiing(std::move(s), AcPhase::parking, 90.0, Large, 10.0);
        ac.prevPhase = AcPhase::taxi;
        return ac;
    }
};

// A taxi whose stream runs dry drives on at its last speed for four
// dead-reckoned points of 3 s before it brakes.
constexpr std::int32_t kTaxiRunOnTicks = 4 * 300;
// The hardest braking a ground aircraft is given, in metres a tick per tick
// (5 m/s^2), and a little for the steps' rounding.
constexpr double kHardestChange = 5.0e-4 * 1.02;

struct Tick {
    double stepM = 0.0;
    double trackDeg = 0.0;
    double headingDeg = 0.0;
    bool legStart = false;
    LaLo at{};
    double tasKt = 0.0;  // the speed the aircraft gives after the tick
};

struct Played {
    std::vector<Tick> ticks;
    // The first tick played within 5 cm of `at` (end() when none).
    std::vector<Tick>::const_iterator firstAt(LaLo at) const {
        return std::find_if(ticks.begin(), ticks.end(),
                            [&](const Tick& t) { return gf_distanceNm(t.at, at) * metresPerNm < 0.05; });
    }
    double worstMissM = 0.0;  // a point reached away from the pose
    LaLo end{};
};

// The engine's tick on the one aircraft, `count` times: `before` runs first
// (reports arrive), then the point due is reached and the next leg planned,
// then the pose moves.
Played lf_play(LiveAc& ac, int count, const std::function<void(int)>& before = {}) {
    Played out;
    for (int i = 0; i < count; ++i) {
        if (before) before(i);
        bool legStart = false;
        if (!ac.stream.empty() && tickCount.load() >= ac.stream.front().playTick) {
            const StreamPoint& due = ac.stream.front();
            out.worstMissM = std::max(out.worstMissM, gf_distanceNm({ac.pose.latitude, ac.pose.longitude},
                                                                    {due.lat, due.lon}) * metresPerNm);
            nextPosMain(ac);
            legStart = true;
        }
        if (ac.stream.empty()) break;
        const LaLo from{ac.pose.latitude, ac.pose.longitude};
        if (ac.stream.front().stationary == 0) gf_interpolatePoseOnCurve(ac);
        const LaLo to{ac.pose.latitude, ac.pose.longitude};
        out.ticks.push_back({gf_distanceNm(from, to) * metresPerNm, gf_bearing(from, to) / kDeg,
                             ac.pose.heading / kDeg, legStart, to, ac.pose.trueAirspeed});
        tickCount.store(tickCount.load() + 1);
    }
    out.end = {ac.pose.latitude, ac.pose.longitude};
    return out;
}

double lf_worstChange(const std::vector<Tick>& ticks, std::size_t from = 1) {
    double worst = 0.0;
    for (std::size_t i = std::max<std::size_t>(from, 1); i < ticks.size(); ++i)
        worst = std::max(worst, std::fabs(ticks[i].stepM - ticks[i - 1].stepM));
    return worst;
}

}  // namespace

TEST_F(GroundRest, ARollingAircraftBrakesToRestStraightOnWhereItsLegWouldStand) {
    struct Row {
        const char* name;
        AcPhase phase;
        double speedKt;
        bool holdReportedLate;  // a hold at the last point, reported while the leg into it runs
    };
    const Row rows[] = {
        {"the taxi stream runs dry at 15 kt", AcPhase::taxi, 15.0, false},
        {"the taxi stream runs dry at 30 kt", AcPhase::taxi, 30.0, false},
        {"a hold reported while it rolls into the point", AcPhase::taxi, 15.0, true},
        {"the landing roll's dead reckoning comes to rest", AcPhase::landing_roll, 7.0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        const double mps = row.speedKt * kKnotsToMps;
        const auto legTicks = static_cast<std::int32_t>(std::lround(40.0 / mps * 100.0));
        std::deque<StreamPoint> s = route(kStart, {{90.0, 40.0}, {90.0, 40.0}}, row.speedKt, legTicks);
        const StreamPoint last = s.back();
        LiveAc& ac = taxiing(std::move(s), row.phase, 90.0, Large, 10.0);
        ac.prevPhase = AcPhase::taxi;
        ac.motion.touchdownHeading = 90.0 * kDeg;
        const std::int32_t lastDue = last.playTick;
        const std::int32_t runOn = row.phase == AcPhase::taxi && !row.holdReportedLate ? kTaxiRunOnTicks : 0;
        const Played p = lf_play(ac, 2 * legTicks + 1500 + runOn, [&](int) {
            // Halfway along the last leg: the reports say it holds there.
            if (row.holdReportedLate && tickCount.load() == lastDue - legTicks / 2) {
                StreamPoint held = last;
                held.playTick = lastDue + 1;
                held.stationary = 1;
                held.groundSpeedKt = 0.0;
                ac.stream.push_back(held);
            }
        });
        ASSERT_FALSE(p.ticks.empty());
        EXPECT_LT(p.worstMissM, 0.5) << "every point reached when due";
        // It braked: the step never changes by more than firm braking from
        // tick to tick, it came to rest, and it stopped ahead of the last
        // point (a dry taxi stream: ahead of its run on at speed), straight on.
        EXPECT_LE(lf_worstChange(p.ticks, 2), kHardestChange);
        EXPECT_LT(p.ticks.back().stepM, 1e-4);
        const RelativePosition rel = gf_relativePosition({last.lat, last.lon}, 90.0 * kDeg, p.end);
        const double runOnM = mps * runOn / 100.0;
        EXPECT_GT(rel.along, runOnM + 1.0);
        EXPECT_LT(rel.along, runOnM + 30.0);
        EXPECT_LT(std::fabs(rel.across), 0.1);
        for (const Tick& t : p.ticks)
            if (t.stepM > 1e-3) EXPECT_NEAR(std::remainder(t.trackDeg - t.headingDeg, 360.0), 0.0, 1.0);
    }
}

TEST_F(GroundRest, AReportThatComesWhileItBrakesTakesOverFromWhereAndHowFastItIs) {
    struct Row {
        const char* name;
        double aheadM;   // the report from the last point, straight on
        double speedKt;  // its speed
        bool standing;   // it stands where the braking ends
    };
    const Row rows[] = {
        {"moving on", 230.0, 15.0, false},
        {"standing where it stops", 0.0, 0.0, true},
    };
    constexpr double kKt = 15.0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const OneLeg leg = taxiOneLegEast(kKt);
        LiveAc& ac = leg.ac;
        const StreamPoint& last = leg.last;
        const std::int32_t legTicks = leg.legTicks;
        // One second into the braking (after the run on at speed) the
        // report comes, due 30 s after it.
        const std::int32_t arrives = last.playTick + kTaxiRunOnTicks + 100;
        StreamPoint report = ground(ahead({last.lat, last.lon}, 90.0, row.aheadM), arrives + 3000, row.speedKt);
        bool braking = false;
        std::size_t arrivedAt = 0;
        const Played p = lf_play(ac, 2 * legTicks + 4500 + kTaxiRunOnTicks, [&](int i) {
            if (tickCount.load() != arrives) return;
            braking = ac.motion.brakeToRest == kBrakingToRest;
            arrivedAt = static_cast<std::size_t>(i);
            if (row.standing) {
                // Where the braking brings it to rest.
                report.lat = ac.stream.front().lat;
                report.lon = ac.stream.front().lon;
            }
            if (checkExtendingSituations(ac, report)) ac.stream.push_back(report);
        });
        ASSERT_TRUE(braking) << "the report came while the aircraft braked";
        ASSERT_GT(arrivedAt, 0u);
        EXPECT_LT(p.worstMissM, 0.5) << "no point reached away from the pose: no jump";
        if (row.standing) {
            // The braking ran on to rest, and it stood.
            EXPECT_LE(lf_worstChange(p.ticks, 2), kHardestChange);
            EXPECT_GT(std::count_if(p.ticks.begin() + static_cast<std::ptrdiff_t>(arrivedAt), p.ticks.end(),
                                    [](const Tick& t) { return t.stepM < 1e-4; }),
                      1000);
            continue;
        }
        // It never stood between the report's coming and its reaching it,
        // went on from the speed it had at the taxi rate, and got there.
        const auto reached = std::find_if(p.ticks.begin() + static_cast<std::ptrdiff_t>(arrivedAt) + 2,
                                          p.ticks.end(), [](const Tick& t) { return t.legStart; });
        ASSERT_NE(reached, p.ticks.end());
        for (auto t = p.ticks.begin() + static_cast<std::ptrdiff_t>(arrivedAt); t < reached; ++t)
            EXPECT_GT(t->stepM, 1e-3) << "tick " << (t - p.ticks.begin());
        double worst = 0.0;
        for (auto t = p.ticks.begin() + static_cast<std::ptrdiff_t>(arrivedAt) + 1; t < reached; ++t)
            worst = std::max(worst, std::fabs(t->stepM - (t - 1)->stepM));
        EXPECT_LE(worst, kTaxiSpeedChangePerTick * 1.05);
        // Reached, it runs on at the report's speed before it brakes.
        EXPECT_LT(gf_distanceNm({report.lat, report.lon}, p.end) * metresPerNm,
                  60.0 + row.speedKt * kKnotsToMps * kTaxiRunOnTicks / 100.0);
    }
}

TEST_F(GroundRest, ATaxiWhoseReportsPauseDrivesOnAndMeetsTheNextReportWithoutStopping) {
    // Taxiing at 15 kt, its reports pause: the next comes 2 s to 8 s after
    // the last was due, where going on at 15 kt puts the aircraft, due 4 s
    // after it came.
    constexpr double kKt = 15.0;
    const double mps = kKt * kKnotsToMps;
    const auto legTicks = static_cast<std::int32_t>(std::lround(40.0 / mps * 100.0));
    for (const std::int32_t pause : {200, 500, 800}) {
        SCOPED_TRACE(pause);
        g_liveAircraft.clear();
        std::deque<StreamPoint> s = route(kStart, {{90.0, 40.0}}, kKt, legTicks);
        const StreamPoint last = s.back();
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 90.0, Large, 10.0);
        ac.prevPhase = AcPhase::taxi;
        const std::int32_t arrives = last.playTick + pause;
        StreamPoint report =
            ground(ahead({last.lat, last.lon}, 90.0, mps * (pause + 400) / 100.0), arrives + 400, kKt);
        std::size_t arrivedAt = 0;
        const Played p = lf_play(ac, legTicks + pause + 600, [&](int i) {
            if (tickCount.load() != arrives) return;
            arrivedAt = static_cast<std::size_t>(i);
            if (checkExtendingSituations(ac, report)) ac.stream.push_back(report);
        });
        ASSERT_GT(arrivedAt, 0u);
        // The report took over from where the aircraft was, and from its
        // first leg to past the report it neither slowed down nor hurried:
        // every step the speed it taxied at.
        EXPECT_LT(p.worstMissM, 0.5);
        for (std::size_t i = 2; i < p.ticks.size(); ++i)
            EXPECT_NEAR(p.ticks[i].stepM, mps / 100.0, 0.05 * mps / 100.0) << "tick " << i;
        EXPECT_LT(metres(p.end, {report.lat, report.lon}), mps * 2.5);
    }
}

TEST_F(GroundRest, ATaxiDeadReckonedAheadOfItsReportsPacesTheRestToMeetTheReportOnTime) {
    // Taxiing at 20 kt, its reports pause for 30 s. The report after the
    // pause comes 5 s into it, while dead reckoning still runs the aircraft
    // on at 20 kt: it lies 174 m on from the last (the positions kept
    // 11 kt across the pause), gives 15 kt and is due 25 s after it came.
    // Taken at the reported speeds the aircraft would be there 11 s early;
    // it eases down and meets it on time instead, neither surging nor
    // stopping on the way.
    constexpr double kKt = 20.0;
    const double mps = kKt * kKnotsToMps;
    const auto legTicks = static_cast<std::int32_t>(std::lround(40.0 / mps * 100.0));
    g_liveAircraft.clear();
    std::deque<StreamPoint> s = route(kStart, {{90.0, 40.0}}, kKt, legTicks);
    const StreamPoint last = s.back();
    LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 90.0, Large, 10.0);
    ac.prevPhase = AcPhase::taxi;
    const std::int32_t arrives = last.playTick + 500;
    StreamPoint report = ground(ahead(at(last), 90.0, 174.0), last.playTick + 3000, 15.0);
    std::size_t arrivedAt = 0;
    const Played p = lf_play(ac, legTicks + 3200, [&](int i) {
        if (tickCount.load() != arrives) return;
        arrivedAt = static_cast<std::size_t>(i);
        if (checkExtendingSituations(ac, report)) ac.stream.push_back(report);
    });
    ASSERT_GT(arrivedAt, 0u);
    const auto reached = std::find_if(p.ticks.begin() + static_cast<std::ptrdiff_t>(arrivedAt), p.ticks.end(),
                                      [&](const Tick& t) { return metres(t.at, at(report)) < 0.5; });
    ASSERT_NE(reached, p.ticks.end()) << "never reached the report";
    const std::int32_t reachedTick = tickCount.load() - static_cast<std::int32_t>(p.ticks.end() - reached);
    EXPECT_GE(reachedTick, report.playTick - 150) << "reached the report early";
    EXPECT_LE(reachedTick, report.playTick + 50);
    // On the way no faster than it rolled when the report came, never
    // stopping, and easing at the taxi rate.
    for (auto t = p.ticks.begin() + static_cast<std::ptrdiff_t>(arrivedAt); t < reached; ++t) {
        EXPECT_LE(t->stepM, mps / 100.0 * 1.01) << "tick " << (t - p.ticks.begin());
        EXPECT_GT(t->stepM, 0.5 * 15.0 * kKnotsToMps / 100.0) << "tick " << (t - p.ticks.begin());
    }
    EXPECT_LE(lf_worstChange(p.ticks, 2), kTaxiSpeedChangePerTick * 1.05);
}

TEST_F(GroundRest, AHoldOfNoLengthIsPassedThroughAndARealOneIsStood) {
    // Rolling at 15 kt through a point whose report is followed by a copy of
    // it: due with it (a report near a moving aircraft's last one), or 5 s
    // later (it stood there).
    struct Row {
        const char* name;
        std::int32_t heldTicks;
        bool stands;
    };
    const Row rows[] = {{"a hold of no length", 1, false}, {"a hold of 5 s", 500, true}};
    constexpr double kKt = 15.0;
    const auto legTicks = static_cast<std::int32_t>(std::lround(40.0 / (kKt * kKnotsToMps) * 100.0));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        std::deque<StreamPoint> s = route(kStart, {{90.0, 40.0}, {90.0, 40.0}}, kKt, legTicks);
        const LaLo point = at(s[1]);
        StreamPoint held = s[1];
        held.playTick += row.heldTicks;
        held.stationary = 1;
        held.groundSpeedKt = 0.0;
        s.insert(s.begin() + 2, held);
        s[3].playTick += row.heldTicks;
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 90.0, Large, 10.0);
        ac.prevPhase = AcPhase::taxi;
        const Played p = lf_play(ac, 2 * legTicks + row.heldTicks - 10);
        ASSERT_FALSE(p.ticks.empty());
        EXPECT_LT(p.worstMissM, 0.5);
        EXPECT_LE(lf_worstChange(p.ticks, 2), kTaxiSpeedChangePerTick * 1.05);
        // Standing at the point (or where braking for it ended).
        const auto resting = std::count_if(p.ticks.begin(), p.ticks.end(), [&](const Tick& t) {
            return t.stepM < 1e-4 && metres(t.at, point) < 20.0;
        });
        if (row.stands)
            EXPECT_GT(resting, 100);
        else
            EXPECT_EQ(resting, 0);
    }
}

TEST_F(GroundRest, ALandingRollsStraightLegOffTheRunwayIsTaxiedNoseAlongItsTravel) {
    // Rolling out at 10 kt along the runway heading; as it reaches its last
    // report there, the next comes, 30 m off it at 38 degrees: no exit turn
    // is built to it, the leg turns off the runway.
    constexpr double kKt = 10.0;
    const auto legTicks = static_cast<std::int32_t>(std::lround(40.0 / (kKt * kKnotsToMps) * 100.0));
    std::deque<StreamPoint> s = route(kStart, {{90.0, 40.0}, {128.0, 30.0}}, kKt, legTicks);
    const StreamPoint off = s.back();
    s.pop_back();
    LiveAc& ac = taxiing(std::move(s), AcPhase::landing_roll, 90.0, Large, 10.0);
    ac.prevPhase = AcPhase::landing;
    ac.motion.touchdownHeading = 90.0 * kDeg;
    const std::int32_t cornerDue = ac.stream.back().playTick;
    const Played p = lf_play(ac, 2 * legTicks + 1000, [&](int) {
        if (tickCount.load() == cornerDue - 50) ac.stream.push_back(off);
    });
    EXPECT_EQ(ac.phase, AcPhase::taxi);
    EXPECT_LT(p.worstMissM, 0.5);
    double worst = 0.0;
    for (const Tick& t : p.ticks)
        if (t.stepM > 3.0 * kKnotsToMps / 100.0)
            worst = std::max(worst, std::fabs(std::remainder(t.trackDeg - t.headingDeg, 360.0)));
    EXPECT_LE(worst, 30.0);
}

TEST_F(GroundRest, ATaxiWhoseStreamEndsAtAPointReportedAtRestBrakesIntoIt) {
    // Taxiing at 6 kt, its last report all but standing: the leg into it
    // slows to rest on the way, not at the turn's speed (or the mean with
    // the point's speed) to a dead stop on the point. So does a tow whose
    // reports give a crawl while its positions move it at 6 kt: it moves.
    struct Row {
        const char* name;
        double lastBearingDeg;  // the last leg
        double lastKt;          // the last point's reported speed
        double reportedKt = 6.0;  // the speed the points before it report
    };
    const Row rows[] = {
        {"round a right-angle corner, the last report at no speed", 180.0, 0.0},
        {"straight on, the last report at 0.1 kt", 90.0, 0.1},
        {"straight on, a tow reporting 1 kt on the way, the last report at no speed", 90.0, 0.0, 1.0},
    };
    constexpr double kKt = 6.0;
    const auto legTicks = static_cast<std::int32_t>(std::lround(30.0 / (kKt * kKnotsToMps) * 100.0));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        std::deque<StreamPoint> s = route(kStart, {{90.0, 30.0}, {90.0, 30.0}, {row.lastBearingDeg, 30.0}}, kKt, legTicks);
        for (StreamPoint& q : s) q.groundSpeedKt = row.reportedKt;
        s.back().groundSpeedKt = row.lastKt;
        const StreamPoint lastPoint = s.back();
        const LaLo last = at(lastPoint);
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 90.0, Large, 10.0);
        ac.prevPhase = AcPhase::taxi;
        // Halfway along the last leg the reports say it stands there.
        const Played p = lf_play(ac, 4 * legTicks + 1500, [&](int) {
            if (tickCount.load() != lastPoint.playTick - legTicks / 2) return;
            StreamPoint held = lastPoint;
            held.playTick = lastPoint.playTick + 1000;
            held.stationary = 1;
            held.groundSpeedKt = 0.0;
            ac.stream.push_back(held);
        });
        ASSERT_FALSE(p.ticks.empty());
        EXPECT_LT(metres(p.end, last), 0.1) << "it stands at the last point";
        EXPECT_LT(p.ticks.back().stepM, 1e-4);
        // From the second tick of the leg into the last point on, through the
        // stop: no change harder than firm braking.
        const auto lastLeg = std::find_if(p.ticks.rbegin(), p.ticks.rend(), [](const Tick& t) { return t.legStart; });
        ASSERT_NE(lastLeg, p.ticks.rend());
        const auto from = static_cast<std::size_t>(std::distance(lastLeg, p.ticks.rend()));
        EXPECT_LE(lf_worstChange(p.ticks, from + 1), kHardestChange);
    }
}

TEST_F(GroundRest, ATaxiIntoTheLastPointKnownReportedNearlyAtRestSlowsToItsSpeedThere) {
    // Slowing from 25 kt over 90 m into the last point known, reported at a
    // walking pace: played at the leg's mean speed it reached the point at
    // 14 kt, and a report that then came from beside the point (after a gap
    // in the reports) had it brake metres past, turn 144 degrees on the spot
    // and drive back (an arrival 11.1 s behind). It slows on the way, as into
    // a point reported at rest, and passes the point no faster than reported.
    // A tow going on at that pace does not stop there: its reports merely
    // pause (stopped, tows fell 18 and 24 s behind). Nor does a tow at 6.5 kt
    // whose last report, at 1.3 kt, lies further on than it could ease to
    // rest in by then: slowed from the start, it came 9 s late.
    struct Row {
        double fromKt, lastKt;
        bool slows;
    };
    for (const Row row : {Row{25.0, 2.4, true}, Row{25.0, 4.5, true}, Row{4.0, 4.0, false}, Row{6.5, 1.3, false}}) {
        SCOPED_TRACE(row.fromKt);
        SCOPED_TRACE(row.lastKt);
        g_liveAircraft.clear();
        const double meanMps = (row.fromKt + row.lastKt) / 2.0 * kKnotsToMps;
        std::deque<StreamPoint> s =
            route(kStart, {{90.0, 90.0}}, row.fromKt, static_cast<std::int32_t>(std::lround(90.0 / meanMps * 100.0)));
        s.back().groundSpeedKt = row.lastKt;
        const LaLo last = at(s.back());
        const std::int32_t due = s.back().playTick;
        const std::int32_t start = tickCount.load();
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 90.0, Large, 10.0);
        ac.prevPhase = AcPhase::taxi;
        ac.motion.lastStepTick = tickCount.load() - 1;
        ac.motion.lastStepM = row.fromKt * kKnotsToMps / 100.0;
        const Played p = lf_play(ac, due - tickCount.load() + 300);
        ASSERT_FALSE(p.ticks.empty());
        const auto nearest = std::min_element(p.ticks.begin(), p.ticks.end(), [&](const Tick& a, const Tick& b) {
            return metres(a.at, last) < metres(b.at, last);
        });
        EXPECT_LT(metres(nearest->at, last), 0.1);
        const double reportedStepM = row.lastKt * kKnotsToMps / 100.0;
        if (row.slows) {
            EXPECT_LE(nearest->stepM, reportedStepM);
        } else {
            EXPECT_GT(nearest->stepM, 0.5 * reportedStepM);
            EXPECT_LE(std::distance(p.ticks.begin(), nearest), due - start + 100) << "reached late";
        }
        EXPECT_LE(lf_worstChange(p.ticks), kHardestChange);
    }
}

TEST_F(GroundRest, ADriveOntoTheStandFromWhereItCameToRestEasesOffFromRest) {
    // Standing where its last report had it moving at 4 kt, it drives 10 m
    // onto the stand: from rest as well as to rest, not off at twice the
    // drive's mean speed within a tick. Rolling, it only slows.
    for (const bool rolling : {false, true}) {
        SCOPED_TRACE(rolling ? "rolling" : "standing");
        LiveAc& ac = ontoStandEast(10.0, 4.0, 500);
        const LaLo stand = at(ac.stream[1]);
        if (rolling) {
            ac.motion.lastStepTick = tickCount.load() - 1;
            ac.motion.lastStepM = 0.04;
        }
        const Played p = lf_play(ac, 530);
        ASSERT_GT(p.ticks.size(), 2u);
        EXPECT_LT(metres(p.end, stand), 0.1);
        const double first = p.ticks.front().stepM;
        if (rolling) {
            EXPECT_GT(first, 0.03) << "it rolls on";
        } else {
            EXPECT_LT(first, kHardestChange) << "it sets off from rest";
            EXPECT_LE(lf_worstChange(p.ticks), kHardestChange);
        }
    }
}

TEST_F(GroundRest, TheLastMetresOntoTheStandBrakeFromTheSpeedItRollsAt) {
    // A tow driving onto its stand at 10 kt, 3.3 m short of it, the stand
    // due 3.2 s on as the drive timed its slow last leg, with the drive's
    // wide retiming: it brakes from 10 kt over the 3.3 m, not from twice
    // that (timed at 10 kt and played from twice its mean) to a dead stop.
    LiveAc& ac = ontoStandEast(3.3, 10.0, 317);
    const LaLo stand = at(ac.stream[1]);
    const double rollingM = 10.0 * kKnotsToMps / 100.0;
    ac.motion.lastStepTick = tickCount.load() - 1;
    ac.motion.lastStepM = rollingM;
    ac.motion.advanceLimit = ac.motion.delayLimit = 2700;
    Played p = lf_play(ac, 400);
    ASSERT_GT(p.ticks.size(), 2u);
    EXPECT_LT(metres(p.end, stand), 0.1);
    p.ticks.insert(p.ticks.begin(), Tick{rollingM});
    EXPECT_LE(lf_worstChange(p.ticks), kHardestChange);
}

TEST_F(GroundRest, ALegFromOrIntoRestChangesSpeedEvenlyFromTheSpeedItHas) {
    // Legs of 30 m at 10 kt. From rest it speeds up at the taxi rate to about
    // the speed it goes on at, not eased over the whole leg to twice its mean
    // (and then down to the next leg's speed in a tick); into a point
    // reported at rest it slows from the speed it rolls at, not from twice
    // the leg's mean; a drive onto a stand that sets off from where the
    // aircraft stands speeds up from rest, not to its speed within a tick;
    // a leg timed slower than the aircraft rolls (it caught up before)
    // slows to its speed, not within a tick; a tow whose reports give far
    // less than its positions' speed sets off at the positions' speed; one
    // just created goes on at its reported speed, not from rest (it fell
    // behind its reports at once).
    struct Row {
        const char* name;
        AcPhase phase;
        double firstKt;     // the reported speed where it starts
        double secondKt;    // the reported speed of the first leg's end
        double rollingKt;   // the speed in the tick before
        double mostShare;   // the fastest on the first leg, of 10 kt
        bool standsAtEnd;   // false: rolling into the stop at 10 kt on a
                            // leg timed at 0.4 kt, it brakes where it can
        double leastShare = 0.0;  // the fastest on the first leg at least, of 10 kt:
                                  // a tow reporting a fraction of its positions' speed
                                  // does not crawl at what it reports
        bool created = false;     // never moved yet: it starts at the speed its first report gives
    };
    const Row rows[] = {
        {"a taxi from rest", AcPhase::taxi, 0.0, 10.0, 0.0, 1.2, true},
        {"a taxi into a point reported at rest", AcPhase::taxi, 10.0, 0.0, 10.0, 1.5, true},
        {"a drive onto the stand from where it stands", AcPhase::parking, 10.0, 10.0, 0.0, 1.2, true},
        {"a taxi leg timed at half the speed it rolls at", AcPhase::taxi, 10.0, 10.0, 20.0, 2.0, true},
        {"a tow from rest reporting 0.4 kt where it moves at 10", AcPhase::taxi, 0.0, 0.4, 0.0, 1.2, false, 0.3},
        {"a tow from rest reporting 1 kt where it moves at 10", AcPhase::taxi, 0.0, 1.0, 0.0, 1.2, false, 0.3},
        {"a taxi just created rolling, into a point reported at rest", AcPhase::taxi, 10.0, 0.0, 10.0, 1.5, true, 0.0,
         true},
    };
    constexpr double kKt = 10.0;
    const double stepM = kKt * kKnotsToMps / 100.0;
    const auto legTicks = static_cast<std::int32_t>(std::lround(30.0 / (kKt * kKnotsToMps) * 100.0));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        std::deque<StreamPoint> s = route(kStart, {{90.0, 30.0}, {90.0, 30.0}}, kKt, legTicks);
        s[0].groundSpeedKt = row.firstKt;
        s[1].groundSpeedKt = row.secondKt;
        if (row.secondKt == 0.0) s.resize(2);
        s.back().groundSpeedKt = 0.0;
        StreamPoint stop = s.back();
        stop.stationary = 1;
        stop.playTick += 50;
        s.push_back(stop);
        const LaLo end = at(s[s.size() - 2]);
        LiveAc& ac = taxiing(std::move(s), row.phase, 90.0, Large, 10.0);
        ac.prevPhase = AcPhase::taxi;
        ac.motion.lastStepTick = row.created ? 0 : tickCount.load() - 1;
        ac.motion.lastStepM = row.created ? 0.0 : row.rollingKt * kKnotsToMps / 100.0;
        const Played p = lf_play(ac, 2 * legTicks + 600);
        ASSERT_GT(p.ticks.size(), static_cast<std::size_t>(legTicks));
        EXPECT_LT(p.worstMissM, 0.5) << "every point is reached when it falls due";
        if (row.standsAtEnd) EXPECT_LT(metres(p.end, end), 0.1) << "it stands at the last point";
        // Along the first leg, from the speed it had: no change harder than
        // the taxi rate, and no faster than the row allows.
        const auto next = std::find_if(p.ticks.begin() + 1, p.ticks.end(), [](const Tick& t) { return t.legStart; });
        std::vector<Tick> leg(p.ticks.begin(), next);
        leg.insert(leg.begin(), Tick{row.rollingKt * kKnotsToMps / 100.0});
        EXPECT_LE(lf_worstChange(leg), kTaxiSpeedChangePerTick * 1.05 + 1e-6);
        double fastest = 0.0;
        for (const Tick& t : leg) fastest = std::max(fastest, t.stepM);
        EXPECT_LE(fastest, row.mostShare * stepM);
        EXPECT_GE(fastest, row.leastShare * stepM);
    }
}

TEST_F(GroundRest, ALegThatCatchesUpAfterATurnOnTheSpotGivesTheSpeedItReaches) {
    // Standing, facing north, its next report 60 m east and due soon: it
    // turns on the spot, then catches up along the leg faster than the
    // reported 8 kt. The speed it gives is the one it moves at, not the
    // report's.
    g_liveAircraft.clear();
    std::deque<StreamPoint> s = route(kStart, {{90.0, 60.0}, {90.0, 30.0}}, 8.0, 900);
    s[0].groundSpeedKt = 0.0;
    LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 0.0, Large, 10.0);
    ac.prevPhase = AcPhase::taxi;
    ac.motion.lastStepTick = tickCount.load() - 1;
    const Played p = lf_play(ac, 2500);
    double fastestKt = 0.0;
    double worstShare = 0.0;
    for (const Tick& t : p.ticks) {
        const double kt = t.stepM * 100.0 * kMpsToKnots;
        fastestKt = std::max(fastestKt, kt);
        if (kt > 0.5) worstShare = std::max(worstShare, kt / t.tasKt);
    }
    ASSERT_GT(fastestKt, 9.0) << "it catches up";
    EXPECT_LE(worstShare, 1.02);
}

TEST_F(GroundRest, AReportAtRestOnAStandBehindWhereDeadReckoningTookATaxiStopsItThereNotBack) {
    // Taxiing at 7 kt along 090, its reports pause and dead reckoning runs it
    // on past its last report; then a report at rest comes, at the middle of
    // a stand (or of none).
    struct Row {
        const char* name;
        double fromPoseM;     // where, along the course from the pose (none: the last report repeated)
        bool repeat;
        double standRadiusM;  // 0: no stand there
        bool drivenTo;        // the aircraft goes on (or back) to it
    };
    const Row rows[] = {
        {"the last report repeated at no speed on a stand", 0.0, true, 36.0, false},
        {"a stop on a stand 15 m behind", -15.0, false, 36.0, false},
        {"a stop on a stand 15 m behind that it would come to rest off", -15.0, false, 16.0, true},
        {"a stop 15 m behind off the stands", -15.0, false, 0.0, true},
        {"a stop on a stand 20 m ahead", 20.0, false, 36.0, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const OneLeg leg = taxiOneLegEast(7.0);
        LiveAc& ac = leg.ac;
        const StreamPoint& last = leg.last;
        // 6 s after the last report, while dead reckoning runs it on.
        const std::int32_t arrives = last.playTick + 600;
        StreamPoint report = last;
        LaLo reported{};
        LaLo poseThen{};
        bool reckoning = false;
        std::size_t arrivedAt = 0;
        const Played p = lf_play(ac, leg.legTicks + 3600, [&](int i) {
            if (tickCount.load() != arrives) return;
            poseThen = {ac.pose.latitude, ac.pose.longitude};
            reckoning = ac.extrapolationCount > 0;
            arrivedAt = static_cast<std::size_t>(i);
            if (!row.repeat) report = ground(ahead(poseThen, 90.0, row.fromPoseM), 0, 0.0);
            report.groundSpeedKt = 0.0;
            report.playTick = tickCount.load() + 300;
            reported = at(report);
            if (row.standRadiusM > 0.0) setStandTable({{"GATE 1", reported, ParkingType::GATE_MEDIUM, row.standRadiusM}});
            if (checkExtendingSituations(ac, report)) ac.stream.push_back(report);
        });
        clearStandTable();
        ASSERT_TRUE(reckoning) << "the report came while dead reckoning ran";
        ASSERT_GT(arrivedAt, 0u);
        EXPECT_LT(p.ticks.back().stepM, 1e-4) << "it came to rest";
        EXPECT_LE(lf_worstChange(p.ticks, arrivedAt), kHardestChange);
        if (row.drivenTo) {
            EXPECT_LT(metres(p.end, reported), 1.0);
            continue;
        }
        // Never turned round nor drove back: the nose stays on the course and
        // it stops no farther on than braking from its speed carries it.
        double worstOffDeg = 0.0;
        for (std::size_t i = arrivedAt; i < p.ticks.size(); ++i)
            worstOffDeg = std::max(worstOffDeg, std::fabs(std::remainder(p.ticks[i].headingDeg - 90.0, 360.0)));
        EXPECT_LT(worstOffDeg, 1.0);
        const RelativePosition rel = gf_relativePosition(poseThen, 90.0 * kDeg, p.end);
        EXPECT_GT(rel.along, -0.1);
        EXPECT_LT(rel.along, 10.0);
    }
}

TEST_F(GroundRest, ATowRollingOntoItsStandStopsWhereBrakingBringsItNotWithinATick) {
    // A tow at 4 kt north along its stand's axis, its last report at rest on
    // the stand: the drive onto the stand begins `shortM` short of the
    // stand's point. Just short of it (within the braking run from 4 kt, 0.85
    // m) braking straight on brings it onto the stand; further off it drives
    // onto it. Either way it comes to rest on the stand at the taxi rate.
    LoadedAirport loaded;
    loaded.fileLoaded = true;
    gf_setLoadedAirport(loaded);
    for (const double shortM : {0.7, 0.3, 6.0}) {
        SCOPED_TRACE(shortM);
        g_liveAircraft.clear();
        const double kt = 4.0;
        const auto legTicks = static_cast<std::int32_t>(std::lround(30.0 / (kt * kKnotsToMps) * 100.0));
        std::deque<StreamPoint> s = route(kStart, {{0.0, 30.0}, {0.0, shortM + 0.2}}, kt, legTicks);
        s.back().groundSpeedKt = 0.0;
        const LaLo stand = ahead(at(s[1]), 0.0, shortM);
        setStandTable({{"GATE 1", stand}});
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 0.0, Large, 10.0);
        ac.prevPhase = AcPhase::taxi;
        ac.motion.lastStepM = kt * kKnotsToMps / 100.0;
        ac.motion.lastStepTick = tickCount.load() - 1;
        const Played p = lf_play(ac, 2 * legTicks);
        clearStandTable();
        ASSERT_GT(p.ticks.size(), static_cast<std::size_t>(legTicks));
        EXPECT_EQ(ac.standId, 1);
        EXPECT_LT(p.ticks.back().stepM, 1e-4) << "it came to rest";
        EXPECT_LT(metres(p.end, stand), 1.0);
        EXPECT_LE(lf_worstChange(p.ticks, 2), kHardestChange);
    }
    gf_clearLoadedAirport();
}

TEST_F(GroundRest, ALegFromRestWhoseReportsFellDueLongAgoTakesTheTimeItsSpeedChangeNeeds) {
    // Created standing after its next reports fell due (the tow 21.6 m on at
    // 5 kt, held there by a copy of it at rest): the leg is squeezed into the
    // least time the retiming leaves and given the time speeding up from rest
    // and braking into the hold at the taxi rate takes, about 6 s, not the
    // time of a cruise at the squeezed leg's own mean speed it never reaches.
    struct Row {
        const char* name;
        double metres;
        std::int32_t overdueTicks;  // how long before now its end fell due
    };
    const Row rows[] = {
        {"a tow's first leg, 13 s overdue", 21.6, 1300},
        {"a short one, 20 s overdue", 8.0, 2000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        std::deque<StreamPoint> s = route(kStart, {{90.0, row.metres}, {90.0, 30.0}}, 5.0, 400);
        s[0].groundSpeedKt = 0.0;
        StreamPoint hold = s[1];
        hold.stationary = 1;
        hold.groundSpeedKt = 0.0;
        hold.playTick += 400;
        s.insert(s.begin() + 2, hold);
        const std::int32_t back = s[1].playTick - tickCount.load() + row.overdueTicks;
        for (StreamPoint& p : s) p.playTick -= back;
        s.back().playTick += 4000;
        const LaLo end = at(s[1]);
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 90.0, Large, 10.0);
        ac.prevPhase = AcPhase::taxi;
        ac.motion.lastStepTick = 0;
        const Played p = lf_play(ac, 3000);
        const auto reached = p.firstAt(end);
        ASSERT_NE(reached, p.ticks.end()) << "it reaches the end of its first leg";
        const double leastTicks = 2.0 * std::sqrt(row.metres / kTaxiSpeedChangePerTick);
        EXPECT_LE(static_cast<double>(reached - p.ticks.begin()), 1.3 * leastTicks);
        EXPECT_LE(lf_worstChange({p.ticks.begin(), reached}), kTaxiSpeedChangePerTick * 1.05 + 1e-6);
    }
}

TEST_F(GroundRest, ALegFromRestTimedFasterThanItsReportedSpeedCatchesUpOnTime) {
    // Standing where it braked to rest while its reports paused, the next
    // report comes 80 m on at 10 kt, due sooner than 10 kt takes: the leg's
    // mean is a little over that speed, under the 15 % a leg from rest may
    // run above it, but the speed-up from rest puts its even speed above.
    // It catches up and reaches the report when it falls due, speeding up at
    // the taxi rate and never twice the reported speed; not given the time
    // the leg takes at 20 kt, which left it seconds behind its reports.
    struct Row {
        const char* name;
        double meanShare;  // the leg's mean speed, of the reported speed
    };
    const Row rows[] = {
        {"timed 12 % faster", 1.12},
        {"timed 8 % faster", 1.08},
    };
    constexpr double kKt = 10.0;
    constexpr double kLegM = 80.0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        const auto legTicks = static_cast<std::int32_t>(std::lround(kLegM / (row.meanShare * kKt * kKnotsToMps) * 100.0));
        std::deque<StreamPoint> s = route(kStart, {{90.0, kLegM}, {90.0, 30.0}}, kKt, legTicks);
        s[0].groundSpeedKt = 0.0;
        s[2].playTick = s[1].playTick + 600;
        const std::int32_t due = s[1].playTick;
        const LaLo end = at(s[1]);
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 90.0, Large, 10.0);
        ac.prevPhase = AcPhase::taxi;
        ac.motion.lastStepTick = tickCount.load() - 100;
        ac.motion.lastStepM = 0.0;
        const Played p = lf_play(ac, legTicks + 1000);
        const auto reached = p.firstAt(end);
        ASSERT_NE(reached, p.ticks.end()) << "it reaches the report";
        const std::int32_t reachedTick = due - legTicks + static_cast<std::int32_t>(reached - p.ticks.begin());
        EXPECT_LE(reachedTick, due + 1) << "on time";
        EXPECT_LE(lf_worstChange({p.ticks.begin(), reached}), kTaxiSpeedChangePerTick * 1.05 + 1e-6);
        double fastest = 0.0;
        for (auto t = p.ticks.begin(); t != reached; ++t) fastest = std::max(fastest, t->stepM);
        EXPECT_LT(fastest, 2.0 * kKt * kKnotsToMps / 100.0);
    }
}

TEST_F(GroundRest, ATowKeepsThePaceOfItsLastReportBeforeItComesToRestJustOn) {
    // A tow whose positions went 5.5 kt, its last report moving (2 kt) 47 m
    // on, nearly straight ahead, and its report at rest 4 m past that one,
    // turned a little (onto its stand), due 9.6 s later: the reports keep
    // their pace up to the moving report and creep only after it. Smoothed
    // into one bend eased to rest toward the resting report, the tow passed
    // the moving report seconds after it was due. So up to the start turn
    // a taxi takes rolling (28 degrees).
    struct Row {
        double cornerDeg, fromKt;
    };
    for (const Row row : {Row{4.0, 4.5}, Row{14.0, 4.5}, Row{18.0, 6.5}, Row{23.0, 4.5}, Row{28.0, 4.5}}) {
        SCOPED_TRACE(row.cornerDeg);
        g_liveAircraft.clear();
        const std::int32_t start = tickCount.load();
        const double legM = 46.8;
        const auto legTicks = static_cast<std::int32_t>(std::lround(legM / (5.5 * kKnotsToMps) * 100.0));
        std::deque<StreamPoint> s{ground(kStart, start, row.fromKt)};
        s.push_back(ground(ahead(kStart, 90.0, legM), start + legTicks, 2.0));
        s.push_back(ground(ahead(at(s[1]), 90.0 + row.cornerDeg, 4.1), s[1].playTick + 960, 0.0));
        const LaLo report = at(s[1]);
        const std::int32_t due = s[1].playTick;
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 90.0, Large, 10.0);
        ac.prevPhase = AcPhase::taxi;
        ac.motion.lastStepTick = tickCount.load() - 1;
        ac.motion.lastStepM = row.fromKt * kKnotsToMps / 100.0;
        const Played p = lf_play(ac, legTicks + 1200);
        ASSERT_FALSE(p.ticks.empty());
        const auto nearest = std::min_element(p.ticks.begin(), p.ticks.end(), [&](const Tick& a, const Tick& b) {
            return metres(a.at, report) < metres(b.at, report);
        });
        EXPECT_LT(metres(nearest->at, report), 0.5);
        EXPECT_LE(std::distance(p.ticks.begin(), nearest), due - start + 100) << "passed the report late";
        EXPECT_LE(lf_worstChange(p.ticks), kHardestChange);
    }
}

TEST_F(GroundRest, ATowIntoACrawlJustShortOfItsRestBrakesBeforeTheCrawl) {
    // A tow pulled at 9 kt north along 46.8 m to a report of 1.4 kt, its
    // report at rest `restM` straight on (along its stand's axis), 6.9 s later, on a taxi stop or on its stand:
    // the leg after the crawl is too short to brake in from 9 kt, so it
    // brakes before the crawl's report, at the taxi rate, and still passes
    // that report on time. Rolling into it at 9 kt it stopped at 8 m/s^2.
    struct Row {
        const char* name;
        double restM;
        bool stand;
    };
    const Row rows[] = {
        {"a stop 1.2 m on", 1.2, false},
        {"its stand 1.2 m on", 1.2, true},
        {"a stop 2.5 m on", 2.5, false},
    };
    LoadedAirport loaded;
    loaded.fileLoaded = true;
    gf_setLoadedAirport(loaded);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        const std::int32_t start = tickCount.load();
        const double legM = 46.8;
        const double kt = 9.0;
        const auto legTicks = static_cast<std::int32_t>(std::lround(legM / (kt * kKnotsToMps) * 100.0));
        std::deque<StreamPoint> s{ground(kStart, start, kt)};
        s.push_back(ground(ahead(kStart, 0.0, legM), start + legTicks, 1.4));
        s.push_back(ground(ahead(at(s[1]), 0.0, row.restM), s[1].playTick + 690, 0.0));
        const LaLo report = at(s[1]);
        const LaLo rest = at(s[2]);
        const std::int32_t due = s[1].playTick;
        if (row.stand) setStandTable({{"GATE 1", rest}});
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 0.0, Large, 10.0);
        ac.prevPhase = AcPhase::taxi;
        ac.motion.lastStepTick = tickCount.load() - 1;
        ac.motion.lastStepM = kt * kKnotsToMps / 100.0;
        const Played p = lf_play(ac, legTicks + 1200);
        if (row.stand) clearStandTable();
        ASSERT_FALSE(p.ticks.empty());
        if (row.stand) EXPECT_EQ(ac.standId, 1);
        const auto nearest = std::min_element(p.ticks.begin(), p.ticks.end(), [&](const Tick& a, const Tick& b) {
            return metres(a.at, report) < metres(b.at, report);
        });
        EXPECT_LT(metres(nearest->at, report), 0.5);
        EXPECT_LE(std::distance(p.ticks.begin(), nearest), due - start + 100) << "passed the report late";
        EXPECT_LT(p.ticks.back().stepM, 1e-4) << "it came to rest";
        EXPECT_LT(metres(p.end, rest), 0.5);
        std::vector<Tick> played = p.ticks;
        played.insert(played.begin(), Tick{kt * kKnotsToMps / 100.0});
        EXPECT_LE(lf_worstChange(played), kTaxiSpeedChangePerTick * 1.05 + 1e-6);
    }
    gf_clearLoadedAirport();
}

TEST_F(GroundRest, ALegFromRestDueLongAfterItsOwnTimeStandsThenSetsOffToMeetItsReport) {
    // Standing where its pushback ended, the next report 40 m on at 12.1 kt
    // is due 29 s later (the reports keep 2.7 kt across the gap), the one
    // after it 66 m further at 12.6. Speeding up at the taxi rate to about
    // the reported speed takes some 8 s of those 29: it stands (turning
    // first where the leg sets off far off its nose) and leaves so as to
    // reach the report when it falls due, not at once to come seconds early
    // and crawl on.
    struct Row {
        const char* name;
        double headingDeg;  // the nose, the leg going east
        double frontKt;     // its last report, at rest or the pushback's last
    };
    const Row rows[] = {
        {"nose along the leg", 90.0, 0.0},
        {"nose along the leg, the pushback's last report moving", 90.0, 2.9},
        {"a 105 degree turn on the spot first", 345.0, 2.9},
        {"a 105 degree turn on the spot first, its last report at rest", 345.0, 0.0},
    };
    constexpr double kLegM = 40.0;
    constexpr double kKt = 12.1;
    constexpr std::int32_t kGapTicks = 2900;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        std::deque<StreamPoint> s = route(kStart, {{90.0, kLegM}, {90.0, 66.0}}, kKt, kGapTicks);
        s[0].groundSpeedKt = row.frontKt;
        s[2].groundSpeedKt = 12.6;
        s[2].playTick = s[1].playTick + 1020;
        const std::int32_t start = tickCount.load();
        const std::int32_t due = s[1].playTick;
        const LaLo end = at(s[1]);
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, row.headingDeg, Large, 10.0);
        ac.pose.trueAirspeed = 0.0;
        ac.motion.lastStepTick = tickCount.load() - 100;
        ac.motion.lastStepM = 0.0;
        const Played p = lf_play(ac, kGapTicks + 500);
        const auto reached = p.firstAt(end);
        ASSERT_NE(reached, p.ticks.end()) << "it reaches the report";
        const std::int32_t reachedTick = start + static_cast<std::int32_t>(reached - p.ticks.begin());
        EXPECT_NEAR(reachedTick, due, 150) << "on time, neither early nor late";
        // Until it must set off (the leg at the reported speed and the
        // speed-up to it, a second to spare) it goes no faster over any
        // second than the reports' own pace allows.
        const double v = kKt * kKnotsToMps;
        const double mustLeave = due - 100.0 * (kLegM / v + v / (2.0 * kTaxiSpeedChangeMps2)) - 100.0;
        const double paceKt = kLegM / (kGapTicks / 100.0) / kKnotsToMps;
        double fastestKt = 0.0;
        for (std::size_t i = 0; i + 100 < p.ticks.size() && start + static_cast<double>(i) + 100.0 <= mustLeave; ++i)
            fastestKt = std::max(fastestKt, metres(p.ticks[i].at, p.ticks[i + 100].at) / kKnotsToMps);
        EXPECT_LE(fastestKt, 1.25 * paceKt + 5.0);
        // It meets the report near its speed, no crawl into it.
        const auto into = reached - std::min<std::ptrdiff_t>(100, reached - p.ticks.begin());
        EXPECT_GT(metres(into->at, end) / kKnotsToMps, 0.8 * kKt);
        EXPECT_LE(lf_worstChange({p.ticks.begin(), reached}), kTaxiSpeedChangePerTick * 1.05 + 1e-6);
    }
}
