#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/geometry.h"
#include "engine/records.h"
#include "foundation/geodesy.h"

namespace {

StreamPoint lf_point(double verticalSpeed) {
    StreamPoint p;
    p.verticalSpeed = verticalSpeed;
    return p;
}

}  // namespace

TEST(EngineGeometry, PitchForVerticalSpeedByPhase) {
    struct Row {
        double vs;
        AcPhase phase;
        double wantDeg;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Row rows[] = {
        {5000, AcPhase::flying, -18.1},    // clamped to 3600: -2.5 - 6 x 2.6
        {-700, AcPhase::landing, 0.875},   // 0 + 700 / 600 x 0.75
        {-6000, AcPhase::flying, 5.3},     // clamped to -3600: -2.5 + 6 x 1.3
        {3000, AcPhase::landing, -4.5},    // clamped to 1800
        {3000, AcPhase::taxi, -3.0 - 4.0 * 2.2},   // clamped to 2400
        {-4000, AcPhase::takeoff, -3.0 + 5.0 * 1.1},  // clamped to -3000
        {nan, AcPhase::flying, -2.5},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.vs);
        EXPECT_NEAR(gf_pitchForVerticalSpeed(lf_point(row.vs), row.phase), row.wantDeg * degreesToRadians, 1e-12);
    }
}

TEST(EngineGeometry, NormalizeLaLo) {
    struct Row {
        LaLo in, out;
    };
    const Row rows[] = {
        {{95, 10}, {85, -170}},
        {{-95, 10}, {-85, -170}},
        {{10, 190}, {10, -170}},
        {{10, -190}, {10, 170}},
        {{10, 180}, {10, -180}},
        {{10, 540}, {10, -180}},
        {{45, 20}, {45, 20}},
    };
    for (const Row& row : rows) {
        LaLo p = row.in;
        gf_normalizeLaLo(p);
        EXPECT_NEAR(p.lat, row.out.lat, 1e-12) << row.in.lat << "," << row.in.lon;
        EXPECT_NEAR(p.lon, row.out.lon, 1e-12) << row.in.lat << "," << row.in.lon;
    }
}

TEST(EngineGeometry, BetweenTwoPointsTheShortWayRound) {
    struct Row {
        LaLo from, to;
        double f;
        LaLo out;
    };
    const Row rows[] = {
        {{50, 8}, {52, 10}, 0.25, {50.5, 8.5}},
        // Across the date line: the short way, brought back into range.
        {{10, 179}, {10, -179}, 0.75, {10, -179.5}},
        {{10, -179}, {10, 179}, 0.75, {10, 179.5}},
    };
    for (const Row& row : rows) {
        const LaLo p = gf_between(row.from, row.to, row.f);
        EXPECT_NEAR(p.lat, row.out.lat, 1e-12) << row.f;
        EXPECT_NEAR(p.lon, row.out.lon, 1e-12) << row.f;
    }
}

TEST(EngineGeometry, RelativePosition) {
    const LaLo a{52.0, 4.0};
    // 5 cm north: the distance only.
    const auto close = gf_relativePosition(a, 1.0, LaLo{52.0 + 0.05 / 1852.0 / 60.0, 4.0});
    EXPECT_NEAR(close.distanceM, 0.05, 1e-6);
    EXPECT_EQ(close.bearing, 0.0);
    EXPECT_EQ(close.along, 0.0);
    EXPECT_EQ(close.across, 0.0);

    // 1 NM north seen heading east: 90 degrees to the left.
    const LaLo north{52.0 + 1.0 / 60.0, 4.0};
    const auto left = gf_relativePosition(a, pi / 2, north);
    EXPECT_NEAR(left.distanceM, 1852.0, 1e-6);
    EXPECT_NEAR(left.bearing, -pi / 2, 1e-9);
    EXPECT_NEAR(left.along, 0.0, 1e-6);
    EXPECT_NEAR(left.across, -1852.0, 1e-6);

    // Heading 350 degrees, target at 10 degrees: 20 degrees right, wrapped.
    const auto right = gf_relativePosition(a, 350.0 * degreesToRadians,
                                           LaLo{52.0 + std::cos(10 * degreesToRadians) / 60.0, 4.0 + 0.0027});
    EXPECT_GT(right.bearing, 0.0);
    EXPECT_LT(right.bearing, pi / 2);
    EXPECT_NEAR(right.along, right.distanceM * std::cos(right.bearing), 1e-9);
}

TEST(EngineGeometry, CirclesOverlap) {
    struct Row {
        LaLo a;
        double ra;
        LaLo b;
        double rb;
        bool overlap;
    };
    const Row rows[] = {
        {{52.0, 4.0}, 0.01, {52.0 + 0.019 / 60, 4.0}, 0.01, true},
        {{52.0, 4.0}, 0.01, {52.0 + 0.021 / 60, 4.0}, 0.01, false},
        {{52.0, 4.0}, 0.0, {52.0, 4.0}, 0.0, false},   // no radius: never
        {{52.0, 4.0}, -0.1, {52.0, 4.0}, 0.05, false},
        // Across the 180th meridian the circles are neighbours.
        {{0.5, 179.9999}, 0.01, {0.5, -179.9999}, 0.01, true},
        {{-33.0, -179.9999}, 0.02, {-33.0, 179.9999}, 0.01, true},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(gf_circlesOverlap(row.a, row.ra, row.b, row.rb), row.overlap) << row.a.lon << " " << row.b.lon;
    }
}

TEST(EngineGeometry, LookAheadDistanceAndGroundSpeedFactor) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(gf_lookAheadDistance(20.0), 100.0);  // 72 m raised
    EXPECT_NEAR(gf_lookAheadDistance(40.0), 40.0 * 0.5144444444444445 * 7.0, 1e-12);  // 144.04 m
    EXPECT_NEAR(gf_lookAheadDistance(40.0), 144.04, 0.005);
    EXPECT_EQ(gf_lookAheadDistance(50.0), 160.0);
    EXPECT_EQ(gf_lookAheadDistance(0.0), 100.0);
    EXPECT_EQ(gf_lookAheadDistance(-5.0), 100.0);
    EXPECT_EQ(gf_lookAheadDistance(nan), 100.0);
    EXPECT_EQ(gf_lookAheadDistance(std::numeric_limits<double>::infinity()), 100.0);

    struct Row {
        double kt, factor;
    };
    for (const Row& row : {Row{0, 1.2}, Row{8, 1.2}, Row{11.5, 1.1}, Row{15, 1.0}, Row{20, 1.0}, Row{25, 0.8},
                           Row{30, 0.6}, Row{80, 0.6}}) {
        EXPECT_NEAR(gf_groundSpeedFactor(row.kt), row.factor, 1e-12) << row.kt;
    }
}

TEST(EngineGeometry, RelativePositionIsTheGreatCircleDistanceAndBearing) {
    // The combined computation gives exactly what the foundation's two
    // functions give, across the meridian and near the poles too.
    for (int i = 0; i < 400; ++i) {
        const LaLo a{-89.0 + i * 0.445, -179.95 + i * 0.9};
        const LaLo b{a.lat + 0.01 * ((i % 7) - 3), a.lon + 0.013 * ((i % 5) - 2) + (i % 9 == 0 ? 359.98 : 0.0)};
        const double heading = (i % 13) * 0.5;
        const auto r = gf_relativePosition(a, heading, b);
        const double d = gf_distanceNm(a, b) * 1852.0;
        ASSERT_EQ(r.distanceM, d) << i;
        if (d <= 0.1) continue;
        ASSERT_EQ(r.bearing, std::remainder(gf_bearing(a, b) - heading, 2 * pi)) << i;
        ASSERT_GE(r.bearing, -pi);
        ASSERT_LE(r.bearing, pi);
    }
}
