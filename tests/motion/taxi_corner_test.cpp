// Taxi corners reported point by point: an aircraft rounding a corner at a
// steady rate is reported at every point of its arc, so that each reported
// point is itself a small corner. Played through engine, link and simulator
// model on the motion harness, the aircraft keeps its nose along its track
// all the way round (never more than 30 degrees off it), as it would on a
// real taxiway.

#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "foundation/geodesy.h"
#include "support/motion_harness.h"
#include "support/temp_dir.h"

using namespace tavo::test;

namespace {

constexpr double kDeg = degreesToRadians;

// The largest angle between the heading and the direction of travel over at
// least 2 m of ground (the mean heading of the stretch's two ends, as a
// curve's chord runs), on the ground outside a pushback.
double lf_worstOffTrackDeg(const AircraftRecord& r) {
    double worst = 0.0;
    std::size_t j = 0;
    for (std::size_t i = 0; i < r.samples.size(); ++i) {
        const MotionSample& a = r.samples[i];
        if (!a.onGround) continue;
        const LaLo from{a.pose.latitude, a.pose.longitude};
        j = std::max(j, i + 1);
        while (j < r.samples.size() &&
               gf_distanceNm(from, {r.samples[j].pose.latitude, r.samples[j].pose.longitude}) * metresPerNm < 2.0)
            ++j;
        if (j >= r.samples.size() || !r.samples[j].onGround) continue;
        const MotionSample& b = r.samples[j];
        const double track = gf_bearing(from, {b.pose.latitude, b.pose.longitude});
        const double mean = a.pose.heading + std::remainder(b.pose.heading - a.pose.heading, fullCircle) / 2.0;
        worst = std::max(worst, std::fabs(std::remainder(mean - track, fullCircle)) / kDeg);
    }
    return worst;
}

class TaxiCorner : public LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        harness = std::make_unique<MotionHarness>();
        // A stream that runs dry leaves the aircraft holding; it is removed
        // a minute later.
        harness->engine().settings([](SettingsSnapshot& s) { s.MAX_HOLDING_MINUTES = 1; });
    }
    void TearDown() override {
        harness.reset();
        LogFileTest::TearDown();
    }
    std::unique_ptr<MotionHarness> harness;
};

}  // namespace

TEST_F(TaxiCorner, AnArcReportedPointByPointIsTaxiedNoseAlongTheTrack) {
    // Right angles on the radius and at the rate a type of the size takes
    // them (a wide-body slower and wider), left and right, reported every
    // 2 s as the corner is taken.
    struct Row {
        const char* type;
        const char* airline;
        double speedKt;
        double byDeg;
        double seconds;  // turning
    };
    const std::vector<Row> rows{
        {"A320", "DLH", 8.4, 90.0, 13.4},   // 35 m radius, 6.7 degrees per second
        {"A320", "DLH", 8.4, -90.0, 13.4},
        {"A320", "DLH", 8.4, 110.0, 16.4},
        {"B77W", "KLM", 7.6, -90.0, 18.0},  // 45 m radius, 5 degrees per second
    };
    std::vector<Route> routes;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        routes.emplace_back(0xD10001 + static_cast<std::uint32_t>(i), LaLo{50.01 + 0.004 * static_cast<double>(i), 8.02},
                            90.0, 12.0, 0.0, false);
        routes.back()
            .identity(fmt::format("{}{}", row.airline, 700 + i),
                      fmt::format("{}{:03X}", row.airline == std::string("KLM") ? "PH-" : "D-A", 0xC00 + i), row.type,
                      row.airline)
            .straight(14)
            .speedTo(row.speedKt, 6)
            .turn(row.byDeg, row.seconds)
            .speedTo(12.0, 6)
            .straight(20);
        harness->add(routes.back(), 4.0);
    }
    for (const Route& r : routes) ASSERT_TRUE(harness->runUntilGone(r.hexid(), 30000)) << std::hex << r.hexid();
    harness->writePlot("taxi_arcs");
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(fmt::format("{} turning {}", rows[i].type, rows[i].byDeg));
        const AircraftRecord* r = harness->record(routes[i].hexid());
        ASSERT_NE(r, nullptr);
        EXPECT_LE(lf_worstOffTrackDeg(*r), 30.0);
        const MotionCheckResult result = SmoothnessChecker{}.checkAll(*r);
        EXPECT_TRUE(result.findings.empty()) << result.summary();
        // It came round to the new direction.
        const double wanted = (90.0 + rows[i].byDeg) * kDeg;
        EXPECT_LT(std::fabs(std::remainder(r->samples.back().pose.heading - wanted, fullCircle)), 5.0 * kDeg);
    }
}
