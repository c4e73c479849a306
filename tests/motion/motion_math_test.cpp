// Motion math: easing, rate steps, descent bounds, ground-leg plausibility,
// climb start, touchdown shaping, roll profiles, centre-line capture,
// look-ahead bearings, coordinated turns, bank limits and the Hermite
// transition, with the worked numbers and the non-finite inputs.

#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/geodesy.h"
#include "motion/motion_math.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kDeg = degreesToRadians;

LaLo lf_offset(LaLo from, double bearingDeg, double metres) {
    return gf_destinationPoint(from, {bearingDeg * kDeg, metres * feetPerMetre});
}

TEST(MotionMath, EaseValueModes) {
    struct Case {
        double t;
        int mode;
        double want;
    };
    const Case cases[] = {
        {0.5, 0, 0.5}, {0.5, 1, 0.25}, {0.5, 2, 0.75}, {0.5, 3, 0.5},   {1.4, 0, 1.0},
        {1.4, 1, 1.0}, {1.4, 2, 1.0},  {1.4, 3, 1.0},  {-0.3, 2, 0.0}, {0.25, 7, 0.25},
        {0.25, 3, 0.15625}, {kNaN, 1, 0.0},
    };
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(easeValue(c.t, c.mode), c.want) << c.t << " mode " << c.mode;
}

TEST(MotionMath, StepTowardCases) {
    struct Case {
        double current, target, step, want;
    };
    const Case cases[] = {
        {0, 10, 3, 3},        {10, 0, 3, 7},      {9, 10, 3, 10},     {kNaN, 10, 3, 10}, {5, 10, 0, 5},
        {5, 10, -1, 5},       {5, 10, kNaN, 5},   {5, kNaN, 3, 5},    {kNaN, kNaN, 3, 0}, {kInf, 4, 1, 4},
        {5, kInf, 3, 5},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(stepToward(c.current, c.target, c.step), c.want) << c.current << "->" << c.target;
}

TEST(MotionMath, DescentRateBounds) {
    struct Case {
        double wanted;
        std::vector<double> stream;
        ModelCategory category;
        double rate;
        bool changed;
    };
    const Case cases[] = {
        {-2500, {-800, -1000}, Large, -2100, true},
        {-1500, {-800, -1000}, Large, -1500, false},
        {300, {-800, -1000}, Large, 0, true},
        {kNaN, {-800, -1000}, Large, -900, true},
        {-2500, {}, Large, -1200, true},
        {-2500, {kNaN, kNaN}, Large, -1200, true},
        {-2500, {kNaN, -600, -3000}, Large, -1800, true},  // only the first two count
        {-5000, {-3500, -3500}, HighPerf, -3600, true},
        {-5000, {-3500, -3500}, Rotorcraft, -3500, true},  // as steep as the stream, no steeper
        {-5000, {-3500, -3500}, Light, -3500, true},
        {-5000, {-4000, -4000}, Large, -4000, true},
        {-3900, {-4000, -4000}, Large, -3900, false},
        {-9000, {-8000, -8000}, Large, -6000, true},  // twice the floor at the most
        {-2500, {-2000, -2000}, Large, -2500, false},
        {-3500, {-2000, -2000}, Large, -3000, true},
        {-100, {500, 700}, Large, -100, false},  // mean clamped to 0
    };
    for (const auto& c : cases) {
        const auto r = descentRateBounds(c.wanted, c.stream, c.category);
        EXPECT_DOUBLE_EQ(r.rate, c.rate) << c.wanted;
        EXPECT_EQ(r.changed, c.changed) << c.wanted;
    }
}

TEST(MotionMath, MinGroundLegTime) {
    const auto light = minGroundLegTime(500, 3, 10, 8, Light);
    EXPECT_NEAR(light.leastTimeS, 5.3996, 1e-4);
    EXPECT_TRUE(light.tooFast);
    EXPECT_NEAR(light.impliedSpeedKt, 500.0 / 3.0 * 1.9438444924406046, 1e-9);
    EXPECT_FALSE(minGroundLegTime(500, 6, 10, 8, Light).tooFast);

    struct Case {
        ModelCategory category;
        double speed;
        double divisor;  // the speed the least time is taken at
    };
    const Case cases[] = {
        {Light, 100, 200},  {Light, 500, 350},       {TwoProps, 0, 250}, {TwoProps, 400, 500}, {Bizjet, 0, 360},
        {Heavy, 200, 400},  {Large, 1000, 700},      {HighPerf, 0, 900}, {HighPerf, 1000, 1500},
        {Rotorcraft, 0, 120}, {Rotorcraft, 200, 220}, {static_cast<ModelCategory>(9), 0, 360},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(minGroundLegTime(1000, 100, c.speed, kNaN, c.category).leastTimeS,
                         1000 * 1.9438444924406046 / c.divisor)
            << int(c.category) << " " << c.speed;

    const auto zeroTime = minGroundLegTime(500, 0, 10, 10, Light);
    EXPECT_TRUE(std::isinf(zeroTime.impliedSpeedKt));
    EXPECT_TRUE(zeroTime.tooFast);
    const auto nothing = minGroundLegTime(kNaN, -4, kNaN, -1, Light);
    EXPECT_EQ(nothing.leastTimeS, 0.0);
    EXPECT_EQ(nothing.impliedSpeedKt, 0.0);
    EXPECT_FALSE(nothing.tooFast);
    EXPECT_FALSE(minGroundLegTime(0.9, 0, 10, 10, Light).tooFast);  // within a metre: never flagged
}

TEST(MotionMath, FindClimbStart) {
    using S = AltitudeSample;
    struct Case {
        std::vector<S> samples;
        double reference;
        bool found;
        std::size_t index;
    };
    const Case cases[] = {
        {{{100, 0}, {105, 100}, {130, 200}}, 100, true, 2},
        {{{100, 0}, {130, 100}}, kNaN, false, 0},
        {{{100, 0}, {130, 100}}, 0, false, 0},
        {{{100, 0}, {114, 100}}, 100, false, 0},          // only 14 ft lower
        {{{100, 0}, {130, 2001}}, 100, false, 0},         // too long before
        {{{100, 0}, {130, 2000}}, 100, true, 1},
        {{{100, 5}, {130, 5}}, 100, false, 0},            // same tick
        {{{30, 0}, {130, 100}}, 20, false, 0},            // earlier sample below 40 ft
        {{{kNaN, 0}, {100, 50}, {kNaN, 60}, {130, 100}}, 100, true, 3},
        {{{130, 0}, {100, 10}}, 100, false, 0},           // index 0 is never the start
        {{}, 100, false, 0},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto r = findClimbStart(cases[i].samples, cases[i].reference);
        EXPECT_EQ(r.found, cases[i].found) << i;
        if (r.found) {
            EXPECT_EQ(r.index, cases[i].index) << i;
        }
    }
}

TouchdownInput lf_touchdown() {
    TouchdownInput in;
    in.verticalSpeedFpm = -100;
    in.heightFt = 150;
    in.touchdownHeightFt = 100;
    in.pastThresholdM = 0;
    in.runwayLengthM = 3000;
    in.speedKt = 140;
    in.nextVerticalSpeedFpm = -500;
    in.frontVerticalSpeedFpm = -500;
    in.gainFt = 0;
    return in;
}

TEST(MotionMath, ShapeTouchdownDescent) {
    // 50 ft at -100 ft/min and 72 m/s lands 2160 m in; the aim is 600 m.
    const auto in = lf_touchdown();
    const auto r = shapeTouchdownDescent(in);
    const double speed = 140 * kKnotsToMps;
    EXPECT_TRUE(r.changed);
    EXPECT_DOUBLE_EQ(r.aimDistanceM, 600);
    EXPECT_NEAR(r.verticalSpeedFpm, -50 * 60 / (600 / speed), 1e-9);

    struct Case {
        const char* name;
        void (*change)(TouchdownInput&);
        double vs, aim;
        bool changed;
    };
    const Case cases[] = {
        {"non-finite vs", [](TouchdownInput& i) { i.verticalSpeedFpm = kNaN; }, kNaN, 0, false},
        {"zero length", [](TouchdownInput& i) { i.runwayLengthM = 0; }, -100, 0, false},
        {"zero speed", [](TouchdownInput& i) { i.speedKt = 0; }, -100, 0, false},
        {"1 ft above", [](TouchdownInput& i) { i.heightFt = 101; }, -100, 0, false},
        {"251 ft above", [](TouchdownInput& i) { i.heightFt = 351; }, -100, 0, false},
        {"past the end", [](TouchdownInput& i) { i.pastThresholdM = 3000; }, -100, 3000, false},
        {"go-around",
         [](TouchdownInput& i) {
             i.nextAirborne = true;
             i.gainFt = 50;
             i.nextVerticalSpeedFpm = 400;
             i.frontVerticalSpeedFpm = 600;
         },
         -100, 0, false},
        {"steep enough", [](TouchdownInput& i) { i.verticalSpeedFpm = -1000; }, -1000, 0, false},
        {"lands in the first third", [](TouchdownInput& i) { i.verticalSpeedFpm = -300; }, -300, 0, false},
        {"level: capped at -1200",
         [](TouchdownInput& i) {
             i.verticalSpeedFpm = 0;
             i.heightFt = 350;
             i.pastThresholdM = 2800;
         },
         -1200, 2900, true},
        {"no room", [](TouchdownInput& i) { i.pastThresholdM = 2950; }, -100, 2950, false},
    };
    for (const auto& c : cases) {
        auto i = lf_touchdown();
        c.change(i);
        const auto got = shapeTouchdownDescent(i);
        if (std::isnan(c.vs)) {
            EXPECT_TRUE(std::isnan(got.verticalSpeedFpm)) << c.name;
        } else {
            EXPECT_DOUBLE_EQ(got.verticalSpeedFpm, c.vs) << c.name;
        }
        EXPECT_DOUBLE_EQ(got.aimDistanceM, c.aim == 0 ? i.pastThresholdM : c.aim) << c.name;
        EXPECT_EQ(got.changed, c.changed) << c.name;
    }
}

TEST(MotionMath, IsValidRollProfile) {
    struct Case {
        double a, b, vs, speed, ref, margin;
        bool want;
    };
    const Case cases[] = {
        {1, 2, 1500, 150, 140, 1, true},   {2, 2, 1500, 150, 140, 1, false}, {-3, -2, 1500, 150, 140, 1, false},
        {-3, -1, 1500, 150, 140, 1, true}, {1, 2, 1000, 150, 140, 1, false}, {1, 2, 1500, 139, 140, 1, false},
        {1, 2, 1500, 150, 140, 0, false},  {kNaN, 2, 1500, 150, 140, 1, false},
        {1, 2, kInf, 150, 140, 1, false},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        EXPECT_EQ(isValidRollProfile(c.a, c.b, c.vs, c.speed, c.ref, c.margin), c.want) << i;
    }
}

TEST(MotionMath, CenterlineAimCapturesTheLine) {
    // A line running north, 20 m to the east of the aircraft, 500 m ahead.
    const LaLo position{47.0, 8.0};
    const LaLo linePoint = lf_offset(lf_offset(position, 0, 500), 90, 20);
    const auto r = centerlineAimPoint(position, linePoint, 0.0, 30 * kDeg, 50, 0.15);
    ASSERT_TRUE(r.captured);
    EXPECT_NEAR(r.offsetM, 20, 0.05);
    EXPECT_GT(r.angle, 0);
    EXPECT_NEAR(gf_distanceNm(r.aimPoint, lf_offset(lf_offset(position, 0, 500), 90, 3)) * metresPerNm, 0, 0.1);
    EXPECT_NEAR(r.bearing, gf_bearing(position, r.aimPoint), 1e-12);

    const double toLine = gf_bearing(position, linePoint);
    struct Case {
        const char* name;
        LaLo position;
        double heading, angleLimit, crossLimit, factor;
        double bearing;
    };
    const Case cases[] = {
        {"offset beyond the limit", position, 0, 30 * kDeg, 10, 0.15, toLine},
        {"angle beyond the limit", position, 0, 1 * kDeg, 50, 0.15, toLine},
        {"behind", position, pi, pi, 50, 0.15, toLine},
        {"factor above 1", position, 0, 30 * kDeg, 50, 1.5, toLine},
        {"heading out of range", position, fullCircle, 30 * kDeg, 50, 0.15, toLine},
        {"NaN limit", position, 0, kNaN, 50, 0.15, toLine},
        {"same point", linePoint, 0.5, 30 * kDeg, 50, 0.15, 0.5},
        {"invalid position", LaLo{kNaN, 8}, 0.5, 30 * kDeg, 50, 0.15, 0.5},
    };
    for (const auto& c : cases) {
        const auto d = centerlineAimPoint(c.position, linePoint, c.heading, c.angleLimit, c.crossLimit, c.factor);
        EXPECT_FALSE(d.captured) << c.name;
        EXPECT_EQ(d.aimPoint, linePoint) << c.name;
        EXPECT_DOUBLE_EQ(d.bearing, c.bearing) << c.name;
        EXPECT_FALSE(std::isnan(d.angle) || std::isnan(d.offsetM)) << c.name;
    }
}

TEST(MotionMath, LookAheadBearing) {
    const LaLo p{47.0, 8.0};
    const std::array<LaLo, 5> path{lf_offset(p, 0, 0.5), lf_offset(p, 10, 40), lf_offset(p, 12, 90),
                                   lf_offset(p, 14, 140), lf_offset(p, 14, 400)};
    const auto r = lookAheadBearing(p, path, 0.1, 50, 160, 20 * kDeg);
    ASSERT_TRUE(r.found);
    EXPECT_NEAR(r.bearing, 14 * kDeg, 1e-6);
    EXPECT_NEAR(r.distanceM, 140, 0.1);

    const std::array<LaLo, 2> bent{lf_offset(p, 0, 40), lf_offset(p, 40, 140)};
    const std::array<LaLo, 2> stopped{LaLo{kNaN, 0}, lf_offset(p, 0, 140)};
    const std::array<LaLo, 1> tooNear{lf_offset(p, 0, 30)};
    const std::array<LaLo, 1> one{lf_offset(p, 0, 100)};
    struct Case {
        const char* name;
        std::span<const LaLo> list;
        double heading, least, greatest, limit;
    };
    const Case cases[] = {
        {"bent path", bent, 0, 50, 160, 20 * kDeg},
        {"invalid point stops", stopped, 0, 50, 160, 20 * kDeg},
        {"nearer than least", tooNear, 0, 50, 160, 20 * kDeg},
        {"one point: first is last", one, 0, 50, 160, 20 * kDeg},
        {"heading too far off", path, 1.0, 50, 160, 20 * kDeg},
        {"greatest below least", path, 0.1, 50, 40, 20 * kDeg},
        {"NaN heading", path, kNaN, 50, 160, 20 * kDeg},
        {"zero limit", path, 0.1, 50, 160, 0},
    };
    for (const auto& c : cases) {
        const auto d = lookAheadBearing(p, c.list, c.heading, c.least, c.greatest, c.limit);
        EXPECT_FALSE(d.found) << c.name;
        EXPECT_EQ(d.distanceM, 0.0) << c.name;
        if (!std::isnan(c.heading)) {
            EXPECT_EQ(d.bearing, c.heading) << c.name;
        }
    }
}

TurnStepInput lf_turn() {
    TurnStepInput in;
    in.heading = 0;
    in.targetHeading = 90 * kDeg;
    in.speedKt = 200;
    in.timeConstantTicks = 100;
    in.ticksPerSecond = 100;
    in.maxTurnRate = 3 * kDeg;
    in.bankLimit = 25 * kDeg;
    in.maxBankStep = 0.01;
    return in;
}

TEST(MotionMath, CoordinatedTurnStep) {
    // Fast: the heading step is the turn-rate limit (3 deg/s at 200 kt stays
    // under g tan(25)/v), the bank follows the coordinated angle.
    auto in = lf_turn();
    auto r = coordinatedTurnStep(in);
    const double v = 200 * kKnotsToMps;
    const double limit = std::min(kGravity * std::tan(25 * kDeg) / v, 3 * kDeg);
    EXPECT_DOUBLE_EQ(r.headingStep, limit / 100);
    EXPECT_DOUBLE_EQ(r.wantedBank, std::max(-std::atan(limit * v / kGravity), -25 * kDeg));
    EXPECT_DOUBLE_EQ(r.bankStep, r.wantedBank / 100);
    EXPECT_FALSE(r.givenBankUsed);
    in.maxBankStep = 0.001;
    EXPECT_DOUBLE_EQ(coordinatedTurnStep(in).bankStep, -0.001);
    in.maxBankStep = 0.01;

    in.bank = 1.0;  // clamped into the limit
    EXPECT_DOUBLE_EQ(coordinatedTurnStep(in).bank, 25 * kDeg);
    in.bank = kNaN;
    EXPECT_EQ(coordinatedTurnStep(in).bank, 0.0);

    in = lf_turn();
    in.givenBankSet = true;
    in.givenBank = -0.2;
    r = coordinatedTurnStep(in);
    EXPECT_TRUE(r.givenBankUsed);
    EXPECT_DOUBLE_EQ(r.wantedBank, -0.2);
    in.givenBank = 2.0;  // beyond pi/2
    r = coordinatedTurnStep(in);
    EXPECT_FALSE(r.givenBankUsed);
    EXPECT_TRUE(r.givenBankInvalid);

    in = lf_turn();
    in.speedKt = kNaN;  // standing: the error itself, clamped, is the bank
    in.targetHeading = 5 * kDeg;
    r = coordinatedTurnStep(in);
    EXPECT_DOUBLE_EQ(r.headingStep, 3 * kDeg / 100);  // the largest turn rate per tick
    in.maxTurnRate = 10 * kDeg;
    r = coordinatedTurnStep(in);
    EXPECT_DOUBLE_EQ(r.headingStep, 5 * kDeg / 100);
    EXPECT_DOUBLE_EQ(r.wantedBank, -5 * kDeg);

    in = lf_turn();
    in.targetHeading = 350 * kDeg;  // the short way: left
    EXPECT_LT(coordinatedTurnStep(in).headingStep, 0.0);
    in.targetHeading = kNaN;
    EXPECT_EQ(coordinatedTurnStep(in).headingStep, 0.0);

    for (double TurnStepInput::*field : {&TurnStepInput::timeConstantTicks, &TurnStepInput::ticksPerSecond,
                                         &TurnStepInput::maxTurnRate, &TurnStepInput::bankLimit,
                                         &TurnStepInput::maxBankStep}) {
        for (double bad : {0.0, -1.0, kNaN, kInf}) {
            in = lf_turn();
            in.*field = bad;
            r = coordinatedTurnStep(in);
            EXPECT_EQ(r.bank, 0.0);
            EXPECT_EQ(r.headingStep, 0.0);
            EXPECT_EQ(r.bankStep, 0.0);
            EXPECT_EQ(r.wantedBank, 0.0);
        }
    }
}

TEST(MotionMath, MaxBankAngle) {
    struct Case {
        double limitDeg;
        bool landing;
        double height;
        bool flare;
        double wantDeg;
    };
    const Case cases[] = {
        {30, true, 80, false, 10},  {30, true, 550, false, 20},  {30, true, 1200, false, 30},
        {30, true, 80, true, 5},    {30, false, 80, false, 30},  {30, false, 5000, true, 30},
        {30, true, kNaN, true, 30}, {8, true, 50, false, 8},     {3, true, 500, true, 3},
        {200, false, 0, false, 90}, {0, true, 500, false, 0},    {kNaN, true, 500, false, 0},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(maxBankAngle(c.limitDeg * kDeg, c.landing, c.height, c.flare), c.wantDeg * kDeg, 1e-12)
            << c.limitDeg << " " << c.height;
}

TEST(MotionMath, HermiteTransitionShortIsLinear) {
    const LaLo a{47.0, 8.0};
    const LaLo b = lf_offset(a, 45, 8);
    for (double t : {0.0, 0.25, 0.5, 1.0, 3.0}) {
        const auto r = hermiteTransitionPoint(a, b, 1.0, 0.5, t);
        ASSERT_TRUE(r.valid);
        EXPECT_FALSE(r.curved);
        EXPECT_EQ(r.heading, 0.0);
        const double f = std::min(t, 1.0);
        EXPECT_NEAR(r.position.lat, a.lat + (b.lat - a.lat) * f, 1e-12);
        EXPECT_NEAR(r.position.lon, a.lon + (b.lon - a.lon) * f, 1e-12);
    }
}

TEST(MotionMath, HermiteTransitionCurves) {
    const LaLo a{47.0, 8.0};
    const LaLo b = lf_offset(a, 0, 500);
    // Arriving along the chord: straight, heading the bearing.
    auto r = hermiteTransitionPoint(a, b, gf_bearing(a, b), 0.5, 0.5);
    ASSERT_TRUE(r.valid);
    EXPECT_FALSE(r.curved);
    EXPECT_DOUBLE_EQ(r.heading, gf_bearing(a, b));
    // Arriving at 20 degrees: curved; ends at b with the arrival heading.
    r = hermiteTransitionPoint(a, b, 20 * kDeg, 0.5, 1.0);
    ASSERT_TRUE(r.valid);
    EXPECT_TRUE(r.curved);
    EXPECT_NEAR(r.heading, 20 * kDeg + gf_bearing(a, b), 1e-9);
    EXPECT_NEAR(gf_distanceNm(r.position, b) * metresPerNm, 0, 0.01);
    // Limited to 10 degrees.
    EXPECT_NEAR(hermiteTransitionPoint(a, b, 20 * kDeg, 10 * kDeg, 1.0).heading, 10 * kDeg + gf_bearing(a, b), 1e-9);
    // A deviation beyond 90 degrees is ignored.
    EXPECT_FALSE(hermiteTransitionPoint(a, b, 120 * kDeg, 0.5, 0.5).curved);
    // Left turn: heading stays in 0..2 pi.
    r = hermiteTransitionPoint(a, b, -20 * kDeg, 0.5, 1.0);
    EXPECT_NEAR(r.heading, fullCircle - 20 * kDeg, 1e-6);
    // Across the 180th meridian: a neighbour, normalised.
    const LaLo east{10.0, 179.9995};
    const LaLo west{10.0, -179.9995};
    r = hermiteTransitionPoint(east, west, 90 * kDeg, 0.5, 0.5);
    ASSERT_TRUE(r.valid);
    EXPECT_GE(r.position.lon, -180.0);
    EXPECT_LE(r.position.lon, 180.0);
    EXPECT_NEAR(std::fabs(r.position.lon), 180.0, 1e-6);
    // Invalid input.
    EXPECT_FALSE(hermiteTransitionPoint({kNaN, 0}, b, 0, 0.5, 0.5).valid);
    EXPECT_FALSE(hermiteTransitionPoint(a, {91, 0}, 0, 0.5, 0.5).valid);
    EXPECT_FALSE(hermiteTransitionPoint(a, b, kNaN, 0.5, 0.5).valid);
    EXPECT_FALSE(hermiteTransitionPoint(a, b, 0, 0.5, kNaN).valid);
    EXPECT_FALSE(hermiteTransitionPoint({90, 0}, {90, 10}, 0, 0.5, 0.5).valid);  // k below 1 at the pole
}

}  // namespace

namespace {

TEST(MotionMath, NormalizeHeading) {
    struct Case {
        double in, want;
    };
    const Case cases[] = {{0, 0}, {-pi / 2, 1.5 * pi}, {fullCircle, 0}, {5 * pi, pi}, {-1e-17, 0}, {kNaN, 0},
                          {kInf, 0}};
    for (const auto& c : cases) {
        const double h = normalizeHeading(c.in);
        EXPECT_NEAR(h, c.want, 1e-12) << c.in;
        EXPECT_TRUE(h >= 0.0 && h < fullCircle) << c.in;
    }
}

}  // namespace
