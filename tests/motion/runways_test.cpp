// Runway lookups: which runways count, the candidate limits, the best end and
// its runner-up, the takeoff, landing and name tests, the START-altitude
// filter, the start window and the 180th meridian.

#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "motion/runway_fixture.h"

namespace {

using tavo::test::makeRunway;
using tavo::test::placeOn;
using tavo::test::radiansOf;
using tavo::test::RunwaySpec;
using tavo::test::RunwayTableTest;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

class RunwayLookupTest : public RunwayTableTest {};

TEST_F(RunwayLookupTest, EmptyTableAnswersNothing) {
    const LaLo p{50.0, 8.0};
    EXPECT_FALSE(isNearRunway(p));
    EXPECT_FALSE(findRunwayMatch(p, 0.0, false, runwayCrossFloorM));
    EXPECT_FALSE(findRunwayMatch(p, 0.0, true, runwayCrossFloorM));
    EXPECT_FALSE(findTakeoffRunway(p, 0.0));
    EXPECT_FALSE(findLandingRunway(p, 0.0));
    EXPECT_FALSE(runwayNameAt(p, 0.0));
}

TEST_F(RunwayLookupTest, HeadingsOutsideZeroToTwoPiMatchNothing) {
    const auto& r = add(makeRunway({.headingDeg = 0.0, .primaryNumber = 36, .secondaryNumber = 18}));
    const LaLo p = placeOn(r, 0.0, 0.0);
    struct Case {
        const char* name;
        double headingRad;
        bool matched;
    };
    const Case cases[] = {
        {"zero", 0.0, true},
        {"just below two pi", std::nextafter(fullCircle, 0.0), true},
        {"two pi", fullCircle, false},
        {"negative", -0.01, false},
        {"NaN", kNaN, false},
        {"infinite", std::numeric_limits<double>::infinity(), false},
    };
    for (const Case& c : cases) {
        const auto m = findRunwayMatch(p, c.headingRad, false, runwayCrossFloorM);
        EXPECT_EQ(m.has_value(), c.matched) << c.name;
        if (m && c.headingRad == 0.0) {
            EXPECT_EQ(m->endName, "36");
            EXPECT_DOUBLE_EQ(m->headingDeg, 0.0);
        }
    }
    EXPECT_FALSE(findRunwayMatch({kNaN, 8.0}, 0.0, false, runwayCrossFloorM)) << "invalid position";
}

TEST_F(RunwayLookupTest, RunwaysOutsideTheLimitsAreSkipped) {
    struct Case {
        const char* name;
        RunwaySpec spec;
        bool used;
    };
    const Case cases[] = {
        {"length 10000 m", {.lengthM = 10000.0}, true},
        {"length 10000.5 m", {.lengthM = 10000.5}, false},
        {"length NaN", {.lengthM = kNaN}, false},
        {"width 500 m", {.widthM = 500.0}, true},
        {"width 0 m", {.widthM = 0.0}, false},
        {"heading 359.9", {.headingDeg = 359.9}, true},
        {"heading 360", {.headingDeg = 360.0}, false},
        {"heading negative", {.headingDeg = -1.0}, false},
        {"centre at (0.00005, 0.00005)", {.centre = {0.00005, 0.00005}}, false},
        {"centre at (0.00005, 0.2)", {.centre = {0.00005, 0.2}}, true},
    };
    for (const Case& c : cases) {
        gf_clearRunwayTable();
        const FacilityRunway r = makeRunway(c.spec);
        add(r);
        // Facing the primary direction (north for a heading that is itself
        // out of range), at the centre or, where the centre is no valid
        // position, 11 m east of it.
        const double heading = std::isfinite(c.spec.headingDeg) && c.spec.headingDeg >= 0.0 && c.spec.headingDeg < 360.0
                                   ? radiansOf(c.spec.headingDeg)
                                   : 0.0;
        LaLo at = c.spec.centre;
        if (!gf_isValidLaLo(at)) at.lon += 0.0001;
        EXPECT_EQ(findRunwayMatch(at, heading, false, runwayCrossFloorM).has_value(), c.used) << c.name;
    }
}

TEST_F(RunwayLookupTest, CandidateLimitsAcrossAndAlong) {
    // A 45 m wide runway: the cross limit is max(22.5 + 30, 75) = 75 m; along,
    // half the length + 700 m = 2200 m.
    const auto& r = add(makeRunway({.headingDeg = 0.0, .primaryNumber = 36, .secondaryNumber = 18}));
    struct Case {
        const char* name;
        double alongM, crossM;
        bool candidate, takeoff, landing;
    };
    const Case cases[] = {
        {"on the centre line", 0.0, 0.0, true, true, true},
        {"14.9 m beside", 0.0, 14.9, true, true, true},
        {"15.1 m beside", 0.0, -15.1, true, false, true},
        {"52.4 m beside", 0.0, 52.4, true, false, true},
        {"52.6 m beside", 0.0, 52.6, true, false, false},
        {"74.99 m beside (the floor beats 52.5)", 0.0, -74.99, true, false, false},
        {"75.01 m beside", 0.0, 75.01, false, false, false},
        {"699 m beyond the far end", 2199.0, 0.0, true, false, true},
        {"701 m beyond the far end", 2201.0, 0.0, false, false, false},
        {"701 m before the near end", -2201.0, 0.0, false, false, false},
    };
    for (const Case& c : cases) {
        const LaLo p = placeOn(r, c.alongM, c.crossM);
        const auto m = findRunwayMatch(p, 0.0, false, runwayCrossFloorM);
        EXPECT_EQ(m.has_value(), c.candidate) << c.name;
        if (m) {
            EXPECT_NEAR(m->crossTrackM, c.crossM, 0.01) << c.name;
            EXPECT_NEAR(m->alongTrackM, c.alongM, 0.01) << c.name;
        }
        EXPECT_EQ(findTakeoffRunway(p, 0.0).has_value(), c.takeoff) << c.name;
        EXPECT_EQ(findLandingRunway(p, 0.0).has_value(), c.landing) << c.name;
    }
    // A caller's larger floor widens the reach.
    EXPECT_TRUE(findRunwayMatch(placeOn(r, 0.0, 90.0), 0.0, false, 100.0));
}

TEST_F(RunwayLookupTest, SingleRunwayGivesBothDirections) {
    const auto& r = add(makeRunway({.headingDeg = 90.0, .lengthM = 3000.0}));
    struct Case {
        const char* name;
        double headingDeg;
        const char* endName;
        double directionDeg;
        const char* runnerUp;
    };
    const Case cases[] = {
        {"along the facility heading", 92.0, "09", 90.0, "09-27:27"},
        {"against it", 268.0, "27", 270.0, "09-27:09"},
    };
    for (const Case& c : cases) {
        const LaLo p = placeOn(r, -1000.0, 4.0);
        const auto m = findRunwayMatch(p, radiansOf(c.headingDeg), false, runwayCrossFloorM);
        ASSERT_TRUE(m) << c.name;
        EXPECT_EQ(m->key, "09-27") << c.name;
        EXPECT_EQ(m->endName, c.endName) << c.name;
        EXPECT_NEAR(m->headingDeg, c.directionDeg, 1e-9) << c.name;
        EXPECT_NEAR(m->headingDiffDeg, 2.0, 1e-9) << c.name;
        EXPECT_NEAR(m->crossTrackM, 4.0, 0.01) << "the sign stays with the primary direction: " << c.name;
        EXPECT_NEAR(m->score, 6.0, 0.01) << c.name;
        EXPECT_EQ(m->runnerUp, c.runnerUp) << c.name;
        EXPECT_NEAR(m->runnerUpScore - m->score, 176.0, 0.01) << "the reverse direction about 180 behind: " << c.name;
        EXPECT_TRUE(findTakeoffRunway(p, radiansOf(c.headingDeg))) << c.name;
        const auto name = runwayNameAt(p, radiansOf(c.headingDeg));
        ASSERT_TRUE(name) << c.name;
        EXPECT_EQ(*name, c.endName) << c.name;
    }
    // The far end and the distance from the beginning of travel follow the direction.
    const LaLo p = placeOn(r, -1000.0, 0.0);
    const auto east = findRunwayMatch(p, radiansOf(90.0), false, runwayCrossFloorM);
    const auto west = findRunwayMatch(p, radiansOf(270.0), false, runwayCrossFloorM);
    ASSERT_TRUE(east && west);
    EXPECT_EQ(east->farEnd, r.end2);
    EXPECT_EQ(west->farEnd, r.end1);
    EXPECT_NEAR(east->fromThresholdM, 500.0, 0.01);
    EXPECT_NEAR(west->fromThresholdM, 2500.0, 0.01);
    EXPECT_DOUBLE_EQ(east->startWindowM, 1200.0);
    // A heading 25 degrees off names nothing and takes off nowhere.
    EXPECT_FALSE(runwayNameAt(p, radiansOf(115.0)));
    EXPECT_FALSE(findTakeoffRunway(p, radiansOf(115.0)));
}

TEST_F(RunwayLookupTest, ParallelRunwaysCloseInScoreAreAmbiguous) {
    // Two parallel runways S metres apart; the aircraft 5 m right of 36L faces
    // north, so its score is 5 and the runner-up's (36R) is S - 5.
    struct Case {
        const char* name;
        double separationM;
        bool takeoff, landing, named;
    };
    const Case cases[] = {
        {"difference 15", 25.0, false, false, true},
        {"difference 5", 15.0, false, false, false},
        {"difference 25", 35.0, true, true, true},
    };
    for (const Case& c : cases) {
        gf_clearRunwayTable();
        const FacilityRunway left = makeRunway(
            {.headingDeg = 0.0, .primaryNumber = 36, .primaryDesignator = 1, .secondaryNumber = 18, .secondaryDesignator = 2});
        add(left);
        add(makeRunway({.centre = placeOn(left, 0.0, c.separationM),
                        .headingDeg = 0.0,
                        .primaryNumber = 36,
                        .primaryDesignator = 2,
                        .secondaryNumber = 18,
                        .secondaryDesignator = 1}));
        const LaLo p = placeOn(left, -1000.0, 5.0);
        const auto m = findRunwayMatch(p, 0.0, false, runwayCrossFloorM);
        ASSERT_TRUE(m) << c.name;
        EXPECT_EQ(m->endName, "36L") << c.name;
        EXPECT_EQ(m->runnerUp, "36R-18L:36R") << c.name;
        EXPECT_NEAR(m->runnerUpScore - m->score, c.separationM - 10.0, 0.01) << c.name;
        EXPECT_EQ(findTakeoffRunway(p, 0.0).has_value(), c.takeoff) << c.name;
        EXPECT_EQ(findLandingRunway(p, 0.0).has_value(), c.landing) << c.name;
        EXPECT_EQ(runwayNameAt(p, 0.0).has_value(), c.named) << c.name;
    }
}

TEST_F(RunwayLookupTest, BestOfManyCandidatesWhateverTheTableOrder) {
    // Five parallel runways 200 m apart; the aircraft sits 3 m from the middle
    // one. The best and the runner-up must not depend on where they stand.
    const FacilityRunway base = makeRunway({.headingDeg = 0.0, .primaryNumber = 36, .secondaryNumber = 18});
    for (int shift = 0; shift < 5; ++shift) {
        gf_clearRunwayTable();
        for (int i = 0; i < 5; ++i) {
            const int slot = (i + shift) % 5;
            add(makeRunway({.centre = placeOn(base, 0.0, 60.0 * (slot - 2)),
                            .headingDeg = 0.0,
                            .primaryNumber = 30 + slot,  // distinct keys
                            .secondaryNumber = 18}));
        }
        const auto m = findRunwayMatch(placeOn(base, 0.0, 3.0), radiansOf(1.0), false, runwayCrossFloorM);
        ASSERT_TRUE(m) << shift;
        EXPECT_EQ(m->key, "32-18") << shift;
        EXPECT_NEAR(m->score, 4.0, 0.01) << shift;
        EXPECT_EQ(m->runnerUp, "33-18:33") << shift;
        EXPECT_NEAR(m->runnerUpScore, 58.0, 0.01) << shift;
    }
}

TEST_F(RunwayLookupTest, StartAltitudesThroughTheSpikeFilter) {
    struct Case {
        const char* name;
        std::optional<double> ownStartFt, otherStartFt;
        double flownFt;
    };
    // Centre at 300 ft.
    const Case cases[] = {
        {"START +60, other -60: a real slope", 360.0, 240.0, 360.0},
        {"START +60, other -10: a spike", 360.0, 290.0, 300.0},
        {"START +60, other +60: a spike", 360.0, 360.0, 300.0},
        {"START +40: within 50 ft", 340.0, 300.0, 340.0},
        {"START -60, no other START", 240.0, std::nullopt, 300.0},
        {"no START", std::nullopt, 240.0, 300.0},
    };
    for (const Case& c : cases) {
        gf_clearRunwayTable();
        FacilityRunway r = makeRunway({.headingDeg = 0.0, .primaryNumber = 36, .secondaryNumber = 18});
        r.primaryStart.reset();
        r.secondaryStart.reset();
        if (c.ownStartFt) r.primaryStart = FacilityStart{.altitudeFt = *c.ownStartFt};
        if (c.otherStartFt) r.secondaryStart = FacilityStart{.altitudeFt = *c.otherStartFt};
        add(r);
        const auto m = findRunwayMatch(r.centre, 0.0, false, runwayCrossFloorM);
        ASSERT_TRUE(m) << c.name;
        EXPECT_DOUBLE_EQ(m->altitudeFt, c.flownFt) << c.name;
    }
}

TEST(SpikeFilter, ChoosesBetweenCentreAndStart) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        double value;
        std::optional<double> candidate, other;
        double result;
        bool replaced;
    };
    const Case cases[] = {
        {"centre not finite, candidate given", nan, 410.0, std::nullopt, 410.0, false},
        {"exactly 50 ft off", 100.0, 150.0, std::nullopt, 150.0, false},
        {"51 ft off, no other", 100.0, 151.0, std::nullopt, 100.0, true},
        {"51 ft off, other NaN", 100.0, 151.0, nan, 100.0, true},
        {"51 ft up, other 51 ft down", 100.0, 151.0, 49.0, 151.0, false},
        {"51 ft down, other 51 ft up", 100.0, 49.0, 151.0, 49.0, false},
        {"51 ft up, other exactly 50 ft down", 100.0, 151.0, 50.0, 100.0, true},
        {"candidate NaN", 100.0, nan, 20.0, 100.0, false},
        {"no candidate", 100.0, std::nullopt, 20.0, 100.0, false},
    };
    for (const Case& c : cases) {
        const auto r = gf_filterSpike(c.value, c.candidate, c.other);
        EXPECT_DOUBLE_EQ(r.result, c.result) << c.name;
        EXPECT_EQ(r.replaced, c.replaced) << c.name;
    }
    const auto both = gf_filterSpike(nan, std::nullopt, 5.0);
    EXPECT_TRUE(std::isnan(both.result));
    EXPECT_FALSE(both.replaced);
}

TEST_F(RunwayLookupTest, DisplacedThresholds) {
    // 3000 m runway: a usable displaced threshold is at most 1200 m.
    struct Case {
        const char* name;
        FacilityThreshold threshold;
        std::optional<double> pastM, usableM;
        bool landing;
    };
    const Case cases[] = {
        {"none", {0.0, 0.0, false}, 1000.0, 3000.0, true},
        {"disabled, length ignored", {500.0, 45.0, false}, 1000.0, 3000.0, true},
        {"300 m", {300.0, 45.0, true}, 700.0, 2700.0, true},
        {"1200 m: 0.4 x length", {1200.0, 45.0, true}, -200.0, 1800.0, true},
        {"1201 m: over 0.4 x length", {1201.0, 45.0, true}, std::nullopt, std::nullopt, false},
        {"enabled, length 0", {0.0, 45.0, true}, std::nullopt, std::nullopt, false},
        {"enabled, length NaN", {kNaN, 45.0, true}, std::nullopt, std::nullopt, false},
    };
    for (const Case& c : cases) {
        gf_clearRunwayTable();
        FacilityRunway r = makeRunway({.headingDeg = 0.0, .primaryNumber = 36, .secondaryNumber = 18});
        r.primaryThreshold = c.threshold;
        r.secondaryThreshold = {2000.0, 45.0, true};  // unusable, but it belongs to the other direction
        add(r);
        const LaLo p = placeOn(r, -500.0, 0.0);  // 1000 m past the beginning of 36
        const auto m = findRunwayMatch(p, 0.0, false, runwayCrossFloorM);
        ASSERT_TRUE(m) << c.name;
        EXPECT_EQ(m->pastThresholdM.has_value(), c.pastM.has_value()) << c.name;
        if (m->pastThresholdM && c.pastM) {
            EXPECT_NEAR(*m->pastThresholdM, *c.pastM, 0.01) << c.name;
        }
        EXPECT_EQ(m->usableLengthM, c.usableM) << c.name;
        EXPECT_EQ(findLandingRunway(p, 0.0).has_value(), c.landing) << c.name;
        EXPECT_FALSE(findLandingRunway(p, pi)) << "18's own threshold is unusable: " << c.name;
    }
}

TEST_F(RunwayLookupTest, StartWindowKeepsOnlyTheBeginningOfTheRunway) {
    // 4000 m runway: start window min(1600, 1200) = 1200 m; a candidate may
    // also stand up to 700 m before its threshold.
    const auto& r = add(makeRunway({.headingDeg = 0.0, .lengthM = 4000.0, .primaryNumber = 36, .secondaryNumber = 18}));
    struct Case {
        const char* name;
        double fromThresholdM;  // of runway 36
        bool inWindow;
    };
    const Case cases[] = {
        {"1300 m into the runway", 1300.0, false},
        {"1199 m into the runway", 1199.0, true},
        {"at the threshold", 0.0, true},
        {"650 m before the threshold", -650.0, true},
    };
    for (const Case& c : cases) {
        const LaLo p = placeOn(r, c.fromThresholdM - 2000.0, 0.0);
        const auto m = findRunwayMatch(p, 0.0, true, runwayCrossFloorM);
        EXPECT_EQ(m.has_value(), c.inWindow) << c.name;
        if (m) {
            EXPECT_EQ(m->endName, "36") << c.name;
            EXPECT_DOUBLE_EQ(m->startWindowM, 1200.0) << c.name;
            EXPECT_TRUE(m->runnerUp.empty()) << "the far direction is out of its window: " << c.name;
        }
        EXPECT_TRUE(findRunwayMatch(p, 0.0, false, runwayCrossFloorM)) << "without the window: " << c.name;
    }
    // Facing 18 at its own beginning (the north end): 18 is in its window.
    const auto m18 = findRunwayMatch(placeOn(r, 1900.0, 0.0), pi, true, runwayCrossFloorM);
    ASSERT_TRUE(m18);
    EXPECT_EQ(m18->endName, "18");
}

TEST_F(RunwayLookupTest, NearWithinHalfTheLengthAndFifteenHundredMetres) {
    const auto& r = add(makeRunway({.headingDeg = 0.0, .lengthM = 3000.0, .primaryNumber = 36, .secondaryNumber = 18}));
    struct Case {
        const char* name;
        double distanceM;
        double bearingDeg;
        bool near;
    };
    const Case cases[] = {
        {"2990 m east", 2990.0, 90.0, true},
        {"3010 m east", 3010.0, 90.0, false},
        {"2990 m south", 2990.0, 180.0, true},
        {"3010 m north", 3010.0, 0.0, false},
    };
    for (const Case& c : cases) {
        const LaLo p = gf_destinationPoint(r.centre, {radiansOf(c.bearingDeg), c.distanceM * feetPerMetre});
        EXPECT_EQ(isNearRunway(p), c.near) << c.name;
    }
    EXPECT_FALSE(isNearRunway({kNaN, 8.0}));

    // The same answer as the great-circle distance, 5 cm either side of the
    // reach, in every direction and wherever the runway lies.
    const LaLo centres[] = {{50.0, 8.0}, {-33.9, 151.2}, {10.0, 179.99}, {88.5, -20.0}};
    for (const LaLo centre : centres) {
        gf_clearRunwayTable();
        add(makeRunway({.centre = centre, .headingDeg = 0.0, .lengthM = 2000.0}));
        for (double bearingDeg = 0.0; bearingDeg < 360.0; bearingDeg += 15.0) {
            for (const double offsetM : {-0.05, 0.05}) {
                const double distanceM = 2500.0 + offsetM;
                const LaLo p = gf_destinationPoint(centre, {radiansOf(bearingDeg), distanceM * feetPerMetre});
                ASSERT_NEAR(gf_distanceNm(p, centre) * metresPerNm, distanceM, 0.001);
                EXPECT_EQ(isNearRunway(p), offsetM < 0.0) << fmt::format("{}", centre) << " bearing " << bearingDeg << " " << offsetM;
            }
        }
    }
    // A runway without a usable length or centre is passed over for the next.
    gf_clearRunwayTable();
    FacilityRunway broken = makeRunway({.headingDeg = 0.0});
    broken.lengthM = kNaN;
    add(broken);
    EXPECT_FALSE(isNearRunway(broken.centre));
    add(makeRunway({.centre = {50.01, 8.0}, .headingDeg = 0.0}));
    EXPECT_TRUE(isNearRunway(broken.centre));
}

TEST_F(RunwayLookupTest, RunwayOnTheAntimeridian) {
    // Centre at 179.999 E, runway 09/27; an aircraft at 179.999 W lies on its
    // centre line about 219 m east of the centre (across the 180th meridian).
    add(makeRunway({.centre = {10.0, 179.999}, .headingDeg = 90.0, .lengthM = 2000.0}));
    const LaLo aircraft{10.0, -179.999};
    const auto m = findRunwayMatch(aircraft, radiansOf(90.0), false, runwayCrossFloorM);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->endName, "09");
    EXPECT_NEAR(m->alongTrackM, 0.002 * degreesToRadians * 6371000.0 * std::cos(radiansOf(10.0)), 0.01);
    EXPECT_NEAR(m->crossTrackM, 0.0, 0.01);
    EXPECT_TRUE(findTakeoffRunway(aircraft, radiansOf(90.0)));
    // And the other way round: a runway just west of the meridian.
    gf_clearRunwayTable();
    add(makeRunway({.centre = {10.0, -179.999}, .headingDeg = 90.0, .lengthM = 2000.0}));
    const auto w = findRunwayMatch({10.0, 179.999}, radiansOf(270.0), false, runwayCrossFloorM);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->endName, "27");
    EXPECT_LT(w->alongTrackM, -200.0);
}

TEST(RunwayNames, BuiltOnceForEveryEnd) {
    struct Case {
        std::int32_t pn, pd, sn, sd;
        const char* key;
    };
    const Case cases[] = {
        {9, 1, 27, 2, "09L-27R"},
        {40, 0, 44, 0, "SE-NW"},
        {-2147483647 - 1, -2147483647 - 1, -2147483647 - 1, 7, "#-2147483648(-2147483648)-#-2147483648(7)"},
    };
    for (const Case& c : cases) {
        FacilityRunway r;
        r.primaryNumber = c.pn;
        r.primaryDesignator = c.pd;
        r.secondaryNumber = c.sn;
        r.secondaryDesignator = c.sd;
        const TableRunway t(r);
        EXPECT_EQ(t.key, c.key);
        EXPECT_EQ(t.primaryName, gf_runwayName(c.pn, c.pd));
        EXPECT_EQ(t.secondaryName, gf_runwayName(c.sn, c.sd));
    }
}

}  // namespace
