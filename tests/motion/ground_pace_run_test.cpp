// Aircraft on the ground end to end, judged as a pilot watching them would:
// a taxi that fell behind its reports takes the lag back no faster than a
// little over the speed they give, and turns on the spot nowhere they do not
// stand. Every figure is measured on the engine's poses, speeds from
// positions.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "airports/current_airport.h"
#include "foundation/geodesy.h"
#include "motion/motion_math.h"
#include "motion/runways.h"
#include "platform/simconnect/sim_model.h"
#include "support/motion_harness.h"
#include "support/temp_dir.h"

#include "runway_fixture.h"

using namespace tavo::test;

namespace {

constexpr double kFieldFt = 300.0;
constexpr double kDeg = degreesToRadians;

// What a pilot accepts on the ground: travel over a second at most 1.25
// times the reports' own pace and 5 kt on; a moving report passed within
// 10 m.
constexpr double kPaceShare = 1.25;
constexpr double kPaceSlackKt = 5.0;
constexpr double kReachM = 10.0;

double metresBetween(LaLo a, LaLo b) { return gf_distanceNm(a, b) * metresPerNm; }
LaLo poseAt(const MotionSample& s) { return {s.pose.latitude, s.pose.longitude}; }

// What the poses of one aircraft on the ground show between two ticks.
struct GroundFigures {
    double worstOverKt = -1e9;  // the most a second of travel went above its limit (kt)
    double worstKt = 0.0;       // that second's speed and limit
    double worstLimitKt = 0.0;
    double fastestKt = 0.0;   // the fastest second of travel
    double slowestKt = 1e9;   // the slowest second of travel
    double spotTurnDeg = 0.0;  // heading turned while standing (below 1 kt)
    double worstMissM = 0.0;   // the farthest a moving report was passed
    std::string text() const {
        return "over by " + std::to_string(worstOverKt) + " kt (" + std::to_string(worstKt) + " against " +
               std::to_string(worstLimitKt) + "), fastest " + std::to_string(fastestKt) + " kt, slowest " +
               std::to_string(slowestKt) + " kt, turned on the spot " + std::to_string(spotTurnDeg) +
               " deg, worst miss " + std::to_string(worstMissM) + " m";
    }
};

// The reports' own pace (kt) between reports due from 15 s before the
// second to 5 s after it: the fastest distance over time of two in a row.
double reportsOwnKt(const AircraftRecord& r, double fromTick, double toTick) {
    double kt = -1.0;
    for (std::size_t k = 1; k < r.reports.size(); ++k) {
        const ReportedPosition& a = r.reports[k - 1];
        const ReportedPosition& b = r.reports[k];
        if (a.dueTick < fromTick - 1500.0 || a.dueTick > toTick + 500.0 || !(b.time > a.time)) continue;
        kt = std::max(kt, metresBetween(a.position, b.position) / (b.time - a.time) * kMpsToKnots);
    }
    return kt;
}

// Judges the ticks from `fromTick` up to `toTick` where the aircraft is on
// the ground.
GroundFigures groundFigures(const AircraftRecord& r, double fromTick, double toTick) {
    GroundFigures f;
    const auto& s = r.samples;
    constexpr std::size_t kSecond = 100;
    constexpr std::size_t kHalf = 25;
    for (std::size_t i = kSecond; i < s.size(); ++i) {
        const MotionSample& c = s[i];
        const MotionSample& from = s[i - kSecond];
        if (from.tick < fromTick || c.tick > toTick || c.tick - from.tick != static_cast<std::int32_t>(kSecond))
            continue;
        bool ground = true;
        for (std::size_t k = i - kSecond; k <= i && ground; ++k) ground = s[k].onGround;
        if (!ground) continue;
        const double kt = metresBetween(poseAt(from), poseAt(c)) * kMpsToKnots;
        f.fastestKt = std::max(f.fastestKt, kt);
        f.slowestKt = std::min(f.slowestKt, kt);
        const double ownKt = reportsOwnKt(r, from.tick, c.tick);
        if (ownKt < 0.0) continue;
        const double limit = kPaceShare * ownKt + kPaceSlackKt;
        if (kt - limit > f.worstOverKt) {
            f.worstOverKt = kt - limit;
            f.worstKt = kt;
            f.worstLimitKt = limit;
        }
    }
    // Heading turned on ticks where the pose stood (moved less than 1 kt
    // takes) over the half second around them.
    for (std::size_t i = kHalf + 1; i + kHalf < s.size(); ++i) {
        if (s[i].tick < fromTick || s[i].tick > toTick || !s[i].onGround) continue;
        const double movedM = metresBetween(poseAt(s[i - kHalf]), poseAt(s[i + kHalf]));
        if (movedM > 2.0 * kHalf * 0.01 * kKnotsToMps) continue;
        f.spotTurnDeg += std::fabs(std::remainder(s[i].pose.heading - s[i - 1].pose.heading, 2.0 * pi)) / kDeg;
    }
    // Each moving ground report due in the stretch, passed within 10 s of
    // its time.
    for (const ReportedPosition& p : r.reports) {
        if (p.airborne || p.groundSpeedKt < 1.0 || p.dueTick < fromTick || p.dueTick > toTick) continue;
        double nearest = 1e9;
        for (const MotionSample& m : s)
            if (m.tick >= p.dueTick - 500.0 && m.tick <= p.dueTick + 1000.0)
                nearest = std::min(nearest, metresBetween(poseAt(m), p.position));
        f.worstMissM = std::max(f.worstMissM, nearest);
    }
    return f;
}

class GroundPaceRun : public LogFileTest {
protected:
    void TearDown() override {
        harness.reset();
        gf_clearRunwayTable();
        LogFileTest::TearDown();
    }

    // A fresh harness and airport (its runway as `spec` gives it) for each
    // row; the route's reports played every 2 s until 10 s past its last.
    const AircraftRecord* play(const Route& route, const RunwaySpec& spec) {
        harness.reset();
        gf_clearRunwayTable();
        addAirportRunway(spec);
        EngineHarness::Options options;
        options.userPosition = LaLo{50.03, 7.97};
        harness = std::make_unique<MotionHarness>(options);
        gf_simModelSetTerrain([](double, double) { return kFieldFt; });
        harness->add(route, 2.0);
        harness->run(static_cast<int>(route.duration() * 100.0) + 4000);
        return harness->record(route.hexid());
    }

    std::unique_ptr<MotionHarness> harness;
};

}  // namespace

TEST_F(GroundPaceRun, ATaxiTakesBackWhatACornerCostItNoFasterThanALittleOverItsReports) {
    // Taxiing at 20 kt on an airport's taxiway, reported every 2 s, into a
    // corner the reports turn quicker than the nose follows at that speed,
    // then straight on at 20 kt. Slowed through the corner it fell behind
    // and caught up at 31 kt for seconds. It takes the lag back at no more
    // than 1.25 times the reports' pace and 5 kt on, never above 30 kt, and
    // passes each report, rolling through the corner. Each is created while
    // its reports taxi on, as after a restart: its first report is the one
    // it appears at.
    struct Row {
        double cornerDeg, cornerS, kt;
    };
    for (const Row row : {Row{82.0, 4.0, 20.0}, Row{-90.0, 4.0, 24.0}, Row{60.0, 2.0, 16.0}}) {
        SCOPED_TRACE(row.cornerDeg);
        const RunwaySpec spec;
        const FacilityRunway runway = makeRunway(spec);
        Route route(0xD20001 + static_cast<std::uint32_t>(std::lround(row.cornerDeg + 100.0)),
                    placeOn(runway, -1200.0, -400.0), 90.0, row.kt, kFieldFt, true);
        route.land().straight(30).turn(row.cornerDeg, row.cornerS).straight(40);
        const AircraftRecord* r = play(route, spec);
        ASSERT_NE(r, nullptr);
        const GroundFigures f = groundFigures(*r, r->samples.front().tick, r->reports.back().dueTick);
        harness->writePlot("taxi_corner_pace_" + std::to_string(static_cast<int>(row.cornerDeg)));
        EXPECT_LE(f.worstOverKt, 0.0) << f.text();
        EXPECT_LE(f.fastestKt, 30.0) << f.text();
        EXPECT_LE(f.worstMissM, kReachM) << f.text();
        EXPECT_LT(f.spotTurnDeg, 2.0) << f.text();
    }
}
