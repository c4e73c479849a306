#include <cmath>
#include <limits>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "foundation/geodesy.h"
#include "foundation/lalo.h"

namespace {

// Reference values below were computed independently with unit vectors on
// the same sphere (distance from the angle between the two vectors, bearing
// from the planes through the start point), not with the formulas under test.

TEST(Distance, MatchesIndependentValues) {
    EXPECT_DOUBLE_EQ(gf_distanceNm({47.0, 8.0}, {47.0, 8.0}), 0.0);
    EXPECT_NEAR(gf_distanceNm({0, 0}, {0, 1}), 60.0, 1e-9);
    EXPECT_NEAR(gf_distanceNm({51.4775, -0.461389}, {40.639722, -73.778889}), 2989.047669161, 1e-6);
    EXPECT_NEAR(gf_distanceNm({40.639722, -73.778889}, {51.4775, -0.461389}), 2989.047669161, 1e-6);
    EXPECT_NEAR(gf_distanceNm({-33.946111, 151.177222}, {33.9425, -118.408056}), 6508.087911984, 1e-6);
    EXPECT_NEAR(gf_distanceNm({60.0, 179.5}, {60.0, -179.5}), 29.999714420, 1e-6);  // across 180
}

TEST(Distance, AntipodesAndPolesAreNeverNaN) {
    // The haversine term may round past 1 for antipodal points. Near the
    // antipode the formula itself is only good to about 1e-4 nm.
    EXPECT_NEAR(gf_distanceNm({87.5, -45.6}, {-87.5, -225.6}), 10800.0, 1e-3);  // term 1.0000000000000002
    for (double lat = -89.0; lat <= 89.0; lat += 7.3) {
        const double d = gf_distanceNm({lat, 33.3}, {-lat, 33.3 - 180.0});
        EXPECT_FALSE(std::isnan(d)) << lat;
        EXPECT_NEAR(d, 10800.0, 1e-3) << lat;
    }
    EXPECT_NEAR(gf_distanceNm({90, 0}, {-90, 0}), 10800.0, 1e-3);
    EXPECT_NEAR(gf_distanceNm({90, 0}, {90, 123}), 0.0, 1e-9);  // the pole is one point
}

TEST(Bearing, MatchesIndependentValuesInZeroToTwoPi) {
    EXPECT_NEAR(gf_bearing({0, 0}, {1, 0}), 0.0, 1e-12);
    EXPECT_NEAR(gf_bearing({0, 0}, {0, -1}), 3 * pi / 2, 1e-12);
    EXPECT_NEAR(gf_bearing({51.4775, -0.461389}, {40.639722, -73.778889}), 5.025355154563, 1e-9);
    EXPECT_NEAR(gf_bearing({-33.946111, 151.177222}, {33.9425, -118.408056}), 1.064650455072, 1e-9);
    EXPECT_NEAR(gf_bearing({60.0, 179.5}, {60.0, -179.5}), 1.563238781483, 1e-9);  // east across 180
    for (double lon = -179.0; lon < 180.0; lon += 11.0) {
        for (double lat = -80.0; lat <= 80.0; lat += 20.0) {
            const double b = gf_bearing({12.5, 3.0}, {lat, lon});
            EXPECT_TRUE(b >= 0.0 && b < 2 * pi) << lat << "," << lon << ": " << b;
        }
    }
}

TEST(DestinationPoint, MatchesIndependentValues) {
    const LaLo a = gf_destinationPoint({51.4775, -0.461389}, {287.5 * degreesToRadians, 3000.0 * feetPerNm});
    EXPECT_NEAR(a.lat, 40.267958793, 1e-7);
    EXPECT_NEAR(a.lon, -73.694196016, 1e-7);
    const LaLo b = gf_destinationPoint({-33.946111, 151.177222}, {65.0 * degreesToRadians, 5000.0 * feetPerNm});
    EXPECT_NEAR(b.lat, 16.462647075, 1e-7);
    EXPECT_NEAR(b.lon, -138.994998266, 1e-7);  // wrapped across the antimeridian
}

TEST(DestinationPoint, AntimeridianAndPoles) {
    const LaLo east = gf_destinationPoint({0, 179.5}, {pi / 2, 60 * feetPerNm});
    EXPECT_NEAR(east.lon, -179.5, 1e-9);  // not 180.5
    EXPECT_NEAR(east.lat, 0.0, 1e-9);
    const LaLo west = gf_destinationPoint({0, -179.5}, {3 * pi / 2, 60 * feetPerNm});
    EXPECT_NEAR(west.lon, 179.5, 1e-9);
    // Over the north pole: 30 nm north of 89.9 N lands on the other side.
    const LaLo over = gf_destinationPoint({89.9, 0.0}, {0.0, 30 * feetPerNm});
    EXPECT_NEAR(over.lat, 89.6, 1e-9);
    EXPECT_NEAR(std::fabs(over.lon), 180.0, 1e-6);
    const LaLo south = gf_destinationPoint({-89.95, 45.0}, {pi, 6 * feetPerNm});
    EXPECT_NEAR(south.lat, -89.95, 1e-9);
    EXPECT_NEAR(south.lon, -135.0, 1e-6);
    // Straight north to the pole: from these latitudes the sine of the new
    // latitude rounds to 1.0000000000000002, and asin of that is NaN.
    for (const double lat : {2.5, 2.6, 8.0}) {
        const LaLo pole = gf_destinationPoint({lat, 10}, {0.0, (90.0 - lat) * 60 * feetPerNm});
        EXPECT_NEAR(pole.lat, 90.0, 1e-6) << lat;
    }
}

TEST(DestinationPoint, RoundTripsWithDistanceAndBearing) {
    const LaLo from{48.3538, 11.7861};
    for (double deg = 0.0; deg < 360.0; deg += 22.5) {
        const LaLo to = gf_destinationPoint(from, {deg * degreesToRadians, 120 * feetPerNm});
        EXPECT_NEAR(gf_distanceNm(from, to), 120.0, 1e-6) << deg;
        double back = gf_bearing(from, to) * radiansToDegrees;
        if (back > 359.999) back -= 360.0;
        EXPECT_NEAR(back, deg, 1e-6) << deg;
    }
}

TEST(LongitudeDifference, TakesTheShortWayRound) {
    struct Case {
        double difference, wrapped;
    };
    const Case cases[] = {
        {0.0, 0.0},      {179.5, 179.5},    {-179.5, -179.5}, {180.0, 180.0},  {-180.0, -180.0},
        {181.0, -179.0}, {-181.0, 179.0},   {359.0, -1.0},    {-359.0, 1.0},   {360.0, 0.0},
        {539.0, 179.0},  {-541.0, 179.0},   {720.5, 0.5},     {179.5 - -179.5, -1.0},
    };
    for (const auto& c : cases) {
        const double w = gf_wrapLongitudeDifference(c.difference);
        EXPECT_NEAR(w, c.wrapped, 1e-12) << c.difference;
        EXPECT_TRUE(w >= -180.0 && w <= 180.0) << c.difference;
    }
}

TEST(SamePlace, WithinAHundredMillionthOfADegreeEitherWayAndAcrossTheDateLine) {
    struct Case {
        LaLo a, b;
        bool same;
    };
    const Case cases[] = {
        {{50.0, 8.0}, {50.0, 8.0}, true},
        {{50.0, 8.0}, {50.0 + 0.9e-8, 8.0 - 0.9e-8}, true},
        {{50.0, 8.0}, {50.0 + 1.1e-8, 8.0}, false},
        {{50.0, 8.0}, {50.0, 8.0 + 1.1e-8}, false},
        {{-10.0, 180.0}, {-10.0, -180.0}, true},
        {{-10.0, 179.999999996}, {-10.0, -179.999999996}, true},
        {{-10.0, 179.99999}, {-10.0, -179.99999}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(gf_isSamePlace(c.a, c.b), c.same) << c.a.lat << "," << c.a.lon << " " << c.b.lat << "," << c.b.lon;
        EXPECT_EQ(gf_isSamePlace(c.b, c.a), c.same);
    }
}

TEST(LaLo, FormatAndValidity) {
    EXPECT_EQ(fmt::format("{}", LaLo{47.123456789, -8.5}), "47.123457,-8.500000");
    EXPECT_TRUE(gf_isValidLaLo({90, 180}));
    EXPECT_TRUE(gf_isValidLaLo({-90, -180}));
    EXPECT_TRUE(gf_isValidLaLo({0, -0.0001}));
    EXPECT_FALSE(gf_isValidLaLo({0.00009, -0.00009}));  // the origin stands for "no position"
    EXPECT_FALSE(gf_isValidLaLo({90.0001, 10}));
    EXPECT_FALSE(gf_isValidLaLo({10, -180.0001}));
    EXPECT_FALSE(gf_isValidLaLo({std::numeric_limits<double>::quiet_NaN(), 10}));
}

}  // namespace
