// Curved legs and ground turns: the refusal reasons with their texts, the
// default options, even-speed sampling through the arc table, corners across
// the 180th meridian, and seeded generated corners.

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <set>

#include <gtest/gtest.h>

#include "foundation/geodesy.h"
#include "motion/curves.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kDeg = degreesToRadians;
constexpr double kM = 111132.95;  // metres per degree of the local frames

// A point east/north metres from (lat, lon) in the local frame, longitude
// wrapped into -180..180.
LaLo lf_at(double lat, double lon, double east, double north) {
    double l = lon + east / (std::cos(lat * kDeg) * kM);
    if (l > 180.0) l -= 360.0;
    if (l < -180.0) l += 360.0;
    return {lat + north / kM, l};
}

// Entry at (lat, lon), a corner `l1` metres north, an exit `l2` metres on at
// `turnDeg` to the right, heading north.
GroundTurnInput lf_corner(double lat, double lon, double l1, double l2, double turnDeg, double headingDeg = 0) {
    GroundTurnInput in;
    const LaLo corner = lf_at(lat, lon, 0, l1);
    const LaLo exit = lf_at(lat, lon, l2 * std::sin(turnDeg * kDeg), l1 + l2 * std::cos(turnDeg * kDeg));
    in.entryLat = lat;
    in.entryLon = lon;
    in.cornerLat = corner.lat;
    in.cornerLon = corner.lon;
    in.exitLat = exit.lat;
    in.exitLon = exit.lon;
    in.startHeading = headingDeg * kDeg;
    return in;
}

double lf_metres(double lat1, double lon1, double lat2, double lon2) {
    return gf_distanceNm({lat1, lon1}, {lat2, lon2}) * metresPerNm;
}

TEST(GroundTurn, StatusNames) {
    const char* names[] = {"none",           "invalid input",          "leg too short",
                           "leg out of range", "turn too small",         "turn too large",
                           "start heading mismatch", "invalid tangent", "excessive length"};
    for (std::uint32_t i = 0; i < std::size(names); ++i) EXPECT_EQ(groundTurnStatusName(i), names[i]);
    EXPECT_EQ(groundTurnStatusName(9u), "unknown");
    EXPECT_EQ(groundTurnStatusName(0xFFFFFFFFu), "unknown");
    EXPECT_EQ(groundTurnStatusName(GroundTurnStatus::ExcessiveLength), "excessive length");
}

TEST(GroundTurn, RefusalReasons) {
    struct Case {
        const char* name;
        GroundTurnInput in;
        GroundTurnStatus status;
    };
    auto badHeading = lf_corner(47, 8, 60, 60, 45);
    badHeading.startHeading = fullCircle;
    auto badExitHeading = lf_corner(47, 8, 60, 60, 45);
    badExitHeading.exitHeadingGiven = 1;
    badExitHeading.exitHeading = -0.1;
    auto nanLat = lf_corner(47, 8, 60, 60, 45);
    nanLat.cornerLat = kNaN;
    auto outOfRange = lf_corner(47, 8, 60, 60, 45);
    outOfRange.exitLon = 181;
    const Case cases[] = {
        {"45 degrees", lf_corner(47, 8, 60, 60, 45), GroundTurnStatus::None},
        {"left 45 degrees", lf_corner(47, 8, 60, 60, -45), GroundTurnStatus::None},
        {"exit leg 1.5 m", lf_corner(47, 8, 60, 1.5, 45), GroundTurnStatus::LegTooShort},
        {"entry leg 1.5 m", lf_corner(47, 8, 1.5, 60, 45), GroundTurnStatus::LegTooShort},
        {"exit leg 260 m", lf_corner(47, 8, 60, 260, 45), GroundTurnStatus::LegOutOfRange},
        {"straight on, 2 degrees", lf_corner(47, 8, 60, 60, 2), GroundTurnStatus::TurnTooSmall},
        {"hairpin of 170 degrees", lf_corner(47, 8, 60, 60, 170), GroundTurnStatus::TurnTooLarge},
        {"start heading 90 degrees off", lf_corner(47, 8, 60, 60, 45, 90), GroundTurnStatus::StartHeadingMismatch},
        {"heading mode beyond 60 degrees", lf_corner(47, 8, 60, 60, 45, 330), GroundTurnStatus::InvalidTangent},
        {"start heading 2 pi", badHeading, GroundTurnStatus::InvalidInput},
        {"exit heading negative", badExitHeading, GroundTurnStatus::InvalidInput},
        {"NaN corner", nanLat, GroundTurnStatus::InvalidInput},
        {"longitude 181", outOfRange, GroundTurnStatus::InvalidInput},
    };
    for (const auto& c : cases) {
        GroundTurn turn;
        const bool ok = buildGroundTurn(turn, c.in);
        EXPECT_EQ(turn.status, c.status) << c.name << ": " << groundTurnStatusName(turn.status);
        EXPECT_EQ(ok, c.status == GroundTurnStatus::None) << c.name;
        EXPECT_EQ(sampleGroundTurn(turn, 0.5).valid, ok) << c.name;
    }
}

// Each limit from both sides, and S-shaped corners: the start heading on the
// far side of the entry leg makes the curve swing against the turn before it
// turns, which a taxiing aircraft must not do while the entry leg steers.
TEST(GroundTurn, LimitsFromBothSidesAndSCurves) {
    struct Case {
        const char* name;
        GroundTurnInput in;
        GroundTurnStatus status;
        int mode;  // the heading-mode flag
    };
    const Case cases[] = {
        {"turn 164.99", lf_corner(47, 8, 60, 60, 164.99), GroundTurnStatus::None, 0},
        {"turn 165.01", lf_corner(47, 8, 60, 60, 165.01), GroundTurnStatus::TurnTooLarge, 0},
        // 160 degrees right with the start heading 15 degrees left: 175 degrees to change.
        {"heading change 174.99", lf_corner(47, 8, 60, 80, 160, 345.01), GroundTurnStatus::None, 0},
        {"heading change 175.01", lf_corner(47, 8, 60, 80, 160, 344.99), GroundTurnStatus::InvalidTangent, 0},
        {"turn 2.99 along the entry", lf_corner(47, 8, 60, 60, 2.99), GroundTurnStatus::TurnTooSmall, 0},
        {"turn 3.01 along the entry", lf_corner(47, 8, 60, 60, 3.01), GroundTurnStatus::None, 0},
        {"turn 2.99, heading 12 off", lf_corner(47, 8, 60, 60, 2.99, 348), GroundTurnStatus::None, 1},
        {"turn 3.01, heading 12 off", lf_corner(47, 8, 60, 60, 3.01, 348), GroundTurnStatus::None, 0},
        {"S-curve right", lf_corner(47, 8, 184, 48, 9, 344), GroundTurnStatus::InvalidTangent, 0},
        {"S-curve left", lf_corner(47, 8, 155, 39, -10, 18), GroundTurnStatus::InvalidTangent, 0},
    };
    for (const auto& c : cases) {
        GroundTurn turn;
        EXPECT_EQ(buildGroundTurn(turn, c.in), c.status == GroundTurnStatus::None) << c.name;
        EXPECT_EQ(turn.status, c.status) << c.name << ": " << groundTurnStatusName(turn.status);
        EXPECT_EQ(turn.headingMode, c.mode) << c.name;
    }
}

TEST(GroundTurn, OptionsOfZeroOrLessTakeTheirDefaults) {
    GroundTurnInput in;
    for (double v : {0.0, -3.0}) {
        in.minLegLength = in.minLegSum = in.maxHeadingChangeDeg = in.startToleranceDeg = v;
        in.cornerDistanceFactor = in.maxCurvatureDegPerM = in.tangentScale = v;
        const auto o = groundTurnOptions(in);
        EXPECT_EQ(o.minLegLength, 15);
        EXPECT_EQ(o.minLegSum, 50);
        EXPECT_EQ(o.maxHeadingChangeDeg, 60);
        EXPECT_EQ(o.startToleranceDeg, 60);
        EXPECT_EQ(o.cornerDistanceFactor, 0.35);
        EXPECT_EQ(o.maxCurvatureDegPerM, 3);
        EXPECT_EQ(o.tangentScale, 2);
    }
    in.tangentScale = 1.5;
    EXPECT_EQ(groundTurnOptions(in).tangentScale, 1.5);
    // A built turn takes the default tangent scale: 2 x the entry leg.
    GroundTurn turn;
    ASSERT_TRUE(buildGroundTurn(turn, lf_corner(47, 8, 60, 60, 45)));
    EXPECT_NEAR(turn.startTangentNorth, 120, 1e-6);
}

TEST(GroundTurn, EndsWhereItShould) {
    for (const std::uint8_t cornerEnd : {0, 1}) {
        auto in = lf_corner(47, 8, 60, 60, 45);
        in.cornerEnd = cornerEnd;
        GroundTurn turn;
        ASSERT_TRUE(buildGroundTurn(turn, in));
        const auto first = sampleGroundTurn(turn, 0.0);
        const auto last = sampleGroundTurn(turn, 1.0);
        ASSERT_TRUE(first.valid && last.valid);
        EXPECT_LT(lf_metres(first.lat, first.lon, in.entryLat, in.entryLon), 1e-6);
        const double endLat = cornerEnd ? in.cornerLat : in.exitLat;
        const double endLon = cornerEnd ? in.cornerLon : in.exitLon;
        EXPECT_LT(lf_metres(last.lat, last.lon, endLat, endLon), 1e-3);
        EXPECT_NEAR(first.heading, 0.0, 1e-9);
        EXPECT_NEAR(last.heading, 45 * kDeg, 1e-6);
        EXPECT_FALSE(sampleGroundTurn(turn, kNaN).valid);
        // Fractions beyond the ends are the ends.
        EXPECT_EQ(sampleGroundTurn(turn, 7.0).lat, last.lat);
    }
}

// The same corner at the prime meridian and across the 180th gives the same
// status, length and shape: the frame takes its longitude difference the
// short way round.
TEST(GroundTurn, AcrossThe180thMeridian) {
    const double shift = -0.0004;  // the corner and exit lie east of the entry
    for (double turnDeg : {45.0, -60.0, 100.0}) {
        GroundTurn here;
        GroundTurn there;
        const bool okHere = buildGroundTurn(here, lf_corner(20, shift, 60, 80, turnDeg));
        const bool okThere = buildGroundTurn(there, lf_corner(20, 180 + shift, 60, 80, turnDeg));
        ASSERT_TRUE(okHere) << groundTurnStatusName(here.status);
        EXPECT_EQ(okThere, okHere) << groundTurnStatusName(there.status);
        EXPECT_EQ(there.status, here.status);
        EXPECT_NEAR(there.totalLength, here.totalLength, 1e-6);
        for (double f = 0.0; f <= 1.0; f += 0.125) {
            const auto a = sampleGroundTurn(here, f);
            const auto b = sampleGroundTurn(there, f);
            ASSERT_TRUE(b.valid) << f;
            EXPECT_NEAR(a.lat, b.lat, 1e-9);
            EXPECT_NEAR(std::fabs(gf_wrapLongitudeDifference(b.lon - a.lon)), 180.0, 1e-9);
            EXPECT_GE(b.lon, -180.0);
            EXPECT_LE(b.lon, 180.0);
            EXPECT_NEAR(a.heading, b.heading, 1e-9);
        }
    }
    // The curved leg likewise.
    auto leg = [](double lon0) {
        const LaLo c = lf_at(20, lon0, 40, 100);
        const LaLo e = lf_at(20, lon0, 120, 120);
        CurvedLeg l;
        buildCurvedLeg(l, {{20, lon0, 0}, {c.lat, c.lon, 1}, {e.lat, e.lon, 100}});
        return l;
    };
    const CurvedLeg here = leg(shift);
    const CurvedLeg there = leg(180 + shift);
    for (double t = 0; t <= 100; t += 12.5) {
        const auto a = sampleCurvedLeg(here, t);
        const auto b = sampleCurvedLeg(there, t);
        ASSERT_TRUE(a.valid && b.valid) << t;
        EXPECT_NEAR(a.lat, b.lat, 1e-9);
        EXPECT_NEAR(std::fabs(gf_wrapLongitudeDifference(b.lon - a.lon)), 180.0, 1e-9);
        EXPECT_NEAR(a.heading, b.heading, 1e-9);
    }
}

TEST(CurvedLeg, EqualTimesAreInvalid) {
    struct Case {
        const char* name;
        CurvedLegInput in;
    };
    const Case cases[] = {
        {"equal times", {{47, 8, 10}, {47.001, 8, 0}, {47.001, 8.001, 10}}},
        {"end before start", {{47, 8, 10}, {47.001, 8, 0}, {47.001, 8.001, 5}}},
        {"control value NaN", {{47, 8, 0}, {47.001, 8, kNaN}, {47.001, 8.001, 10}}},
        {"end latitude 91", {{47, 8, 0}, {47.001, 8, 0}, {91, 8.001, 10}}},
        {"all in one point", {{47, 8, 0}, {47, 8, 0}, {47, 8, 10}}},
    };
    for (const auto& c : cases) {
        CurvedLeg leg;
        buildCurvedLeg(leg, c.in);
        EXPECT_TRUE(std::isnan(leg.startTime) && std::isnan(leg.endTime)) << c.name;
        EXPECT_TRUE(std::isnan(leg.controlEast) && std::isnan(leg.controlNorth)) << c.name;
        for (double v : leg.arc) EXPECT_EQ(v, 0.0) << c.name;
        for (double t : {0.0, 5.0, 10.0}) EXPECT_FALSE(sampleCurvedLeg(leg, t).valid) << c.name;
    }
}

TEST(CurvedLeg, SamplesAtEvenSpeed) {
    // A lopsided curve: the control point near the start makes parameter 0.5
    // lie well away from half the length.
    const double lat = 47, lon = 8;
    const LaLo control = lf_at(lat, lon, 0, 300);
    const LaLo end = lf_at(lat, lon, 400, 320);
    CurvedLeg leg;
    buildCurvedLeg(leg, {{lat, lon, 1000}, {control.lat, control.lon, 0}, {end.lat, end.lon, 1500}});
    ASSERT_FALSE(std::isnan(leg.startTime));

    const auto first = sampleCurvedLeg(leg, 1000);
    const auto last = sampleCurvedLeg(leg, 1500);
    ASSERT_TRUE(first.valid && last.valid);
    EXPECT_NEAR(first.lat, lat, 1e-12);
    EXPECT_NEAR(first.lon, lon, 1e-12);
    EXPECT_NEAR(first.heading, 0.0, 1e-12);
    EXPECT_LT(lf_metres(last.lat, last.lon, end.lat, end.lon), 1e-3);
    EXPECT_FALSE(sampleCurvedLeg(leg, 999.9).valid);
    EXPECT_FALSE(sampleCurvedLeg(leg, 1500.1).valid);
    EXPECT_FALSE(sampleCurvedLeg(leg, kNaN).valid);

    // Length along the curve by fine integration, to half of it.
    auto point = [&](double u) {
        return bezierPointAt(u, 0, 0, leg.controlEast, leg.controlNorth, leg.endEast, leg.endNorth);
    };
    constexpr int kSteps = 20000;
    double total = 0.0;
    std::array<double, kSteps + 1> cumulative{};
    for (int i = 1; i <= kSteps; ++i) {
        const auto a = point(double(i - 1) / kSteps);
        const auto b = point(double(i) / kSteps);
        total += std::hypot(b.east - a.east, b.north - a.north);
        cumulative[i] = total;
    }
    int half = 0;
    while (cumulative[half] < total / 2) ++half;
    const auto expected = point(double(half) / kSteps);
    const auto atParameterHalf = point(0.5);
    const auto mid = sampleCurvedLeg(leg, 1250);
    ASSERT_TRUE(mid.valid);
    const double north = (mid.lat - lat) * kM;
    const double east = (mid.lon - lon) * std::cos(lat * kDeg) * kM;
    EXPECT_LT(std::hypot(east - expected.east, north - expected.north), 0.5);
    EXPECT_GT(std::hypot(east - atParameterHalf.east, north - atParameterHalf.north), 10.0);
}

TEST(CurvedLeg, BezierHeadings) {
    // Through its middle a straight curve heads east.
    EXPECT_NEAR(bezierPointAt(0.5, 0, 0, 50, 0, 100, 0).heading, pi / 2, 1e-12);
    // A cusp: the control point beyond the end folds the curve back on itself;
    // at the turning point the second derivative gives the heading.
    const auto cusp = bezierPointAt(0.5, 0, 0, 0, 100, 0, 0);
    EXPECT_NEAR(cusp.north, 50, 1e-12);
    EXPECT_NEAR(std::fabs(cusp.heading), pi, 1e-12);
    EXPECT_TRUE(std::isnan(bezierPointAt(0.5, 0, 0, 0, 0, 0, 0).heading));
}

// Seeded generated corners: usable turns start at the entry, end at the exit
// (or the corner), keep within their curvature limit in heading mode, and
// every refusal reason is reached.
TEST(GroundTurn, GeneratedCorners) {
    std::mt19937_64 rng(20261207);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::set<GroundTurnStatus> seen;
    int usable = 0;
    for (int i = 0; i < 6000; ++i) {
        const double lat = -70 + 140 * unit(rng);
        const double lon = -180 + 360 * unit(rng);
        const double l1 = 300 * unit(rng) * unit(rng);
        const double l2 = 300 * unit(rng) * unit(rng);
        const double turnDeg = -180 + 360 * unit(rng);
        const double headingDeg = std::fmod(360 + (unit(rng) < 0.5 ? 0 : -90 + 180 * unit(rng)), 360.0);
        GroundTurnInput in = lf_corner(lat, lon, l1, l2, turnDeg, headingDeg);
        // Turn the whole corner to a random entry direction.
        const double rot = 360 * unit(rng);
        const double r = rot * kDeg;
        auto rotate = [&](double& pLat, double& pLon) {
            const double n = (pLat - lat) * kM;
            const double e = gf_wrapLongitudeDifference(pLon - lon) * std::cos(lat * kDeg) * kM;
            const LaLo p = lf_at(lat, lon, e * std::cos(r) + n * std::sin(r), n * std::cos(r) - e * std::sin(r));
            pLat = p.lat;
            pLon = p.lon;
        };
        rotate(in.cornerLat, in.cornerLon);
        rotate(in.exitLat, in.exitLon);
        in.startHeading = std::fmod(headingDeg + rot, 360.0) * kDeg;
        in.cornerEnd = unit(rng) < 0.3;
        if (unit(rng) < 0.3) in.tangentScale = 0.5 + 30 * unit(rng);
        if (unit(rng) < 0.3) in.maxCurvatureDegPerM = 0.5 + 10 * unit(rng);
        if (unit(rng) < 0.3) in.minLegLength = 40 * unit(rng);
        if (unit(rng) < 0.02) in.entryLat = kNaN;
        GroundTurn turn;
        const bool ok = buildGroundTurn(turn, in);
        seen.insert(turn.status);
        ASSERT_EQ(ok, turn.status == GroundTurnStatus::None);
        if (!ok) continue;
        ++usable;
        const auto first = sampleGroundTurn(turn, 0);
        const auto last = sampleGroundTurn(turn, 1);
        ASSERT_TRUE(first.valid && last.valid);
        EXPECT_LT(lf_metres(first.lat, first.lon, in.entryLat, in.entryLon), 1e-6) << i;
        EXPECT_LT(lf_metres(last.lat, last.lon, in.cornerEnd ? in.cornerLat : in.exitLat,
                            in.cornerEnd ? in.cornerLon : in.exitLon),
                  0.01)
            << i;
        EXPECT_LE(turn.totalLength, 1.6 * (l1 + l2) + 1e-6);
        if (turn.headingMode) {
            const double limit = groundTurnOptions(in).maxCurvatureDegPerM;
            CurvePoint prev = first;
            for (int k = 1; k <= 256; ++k) {
                const auto p = sampleGroundTurn(turn, k / 256.0);
                ASSERT_TRUE(p.valid);
                const double step = lf_metres(prev.lat, prev.lon, p.lat, p.lon);
                const double change = std::fabs(std::remainder(p.heading - prev.heading, fullCircle));
                if (step > 0.05) {
                    EXPECT_LE(change / kDeg / step, limit * 1.05 + 0.05) << i << " at " << k;
                }
                prev = p;
            }
        }
    }
    EXPECT_GT(usable, 300);
    for (std::uint32_t s = 1; s <= 8; ++s)
        EXPECT_TRUE(seen.count(static_cast<GroundTurnStatus>(s))) << groundTurnStatusName(s);
}

}  // namespace
