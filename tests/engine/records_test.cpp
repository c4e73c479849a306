#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <stdexcept>

#include "engine/records.h"
#include "foundation/geodesy.h"
#include "foundation/random.h"
#include "support/dbase_builder.h"
#include "support/stand_table.h"

namespace {

constexpr double kMetresToNm = 0.0005399568034557236;

// The small database with AT76 also listed as Large (the large class is
// looked at first), a slow twin, two Large types without a span and a bizjet
// whose code is also a light type's.
tavo::test::DbaseBuilder lf_recordsDbase() {
    auto b = tavo::test::DbaseBuilder::smallProfile();
    b.large.push_back("AT76");
    b.large.push_back("XL99");  // Large, not slow, no wing span
    b.twoProps.push_back("PA34");
    b.bizjet.push_back("G200");  // a bizjet, though its code is on the slow-light list
    b.aircrafts.insert(b.aircrafts.end(), {"XL99", "PA34", "C150", "G200"});
    b.wingspan("AT76", "27.05");
    b.wingspan("PA34", "11.85");
    b.wingspan("C150", "4.0");
    return b;
}

class Records : public ::testing::Test {
protected:
    static void SetUpTestSuite() { tavo::test::loadDbase(lf_recordsDbase()); }
    static void TearDownTestSuite() { tavo::test::resetToSmallDbase(); }
    void SetUp() override { threadRandomEngine().engine.seed(1234); }
    void TearDown() override { tavo::test::clearStandTable(); }

    static FlightIdentity identity(std::string_view type) {
        FlightIdentity id;
        id.key.model = gf_internModelCode(type);
        id.key.airline = gf_internAirlineCode("KLM");
        id.callsign = "KLM1234";
        id.registration = "PH-BXA";
        id.origin = IataCode("AMS");
        id.value = 77;
        return id;
    }
};

}  // namespace

TEST_F(Records, EveryCategoryTakesItsRow) {
    struct Row {
        const char* type;
        ModelCategory category;
        double groundOffsetFt, rotationDeg, climbDeg, turnDeg;
        std::uint32_t flare, approach, rotationTicks, climbTicks;
    };
    const Row rows[] = {
        {"C172", Light, 3.0, -9.0, -15.0, 0.15, 250, 250, 100, 150},
        {"DH8D", TwoProps, 5.0, -8.5, -17.0, 0.10, 275, 275, 150, 200},
        {"C56X", Bizjet, 5.0, -8.0, -18.0, 0.09, 300, 300, 200, 250},
        {"B738", Large, 8.0, -6.0, -16.5, 0.07, 400, 350, 200, 300},
        {"B77W", Heavy, 12.0, -5.0, -12.5, 0.05, 450, 450, 250, 400},
        {"F16", HighPerf, 4.0, -6.0, -20.0, 0.10, 150, 150, 100, 200},
        {"EC35", Rotorcraft, 4.0, -20.0, -30.0, 0.20, 100, 100, 100, 100},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.type);
        const AcInfo info = gf_makeAcInfo(identity(row.type));
        EXPECT_EQ(info.category, std::uint32_t(row.category));
        EXPECT_EQ(info.groundOffsetFt, row.groundOffsetFt);
        EXPECT_EQ(info.turnRateRad, row.turnDeg * degreesToRadians);
        EXPECT_EQ(info.flareTicks, row.flare);
        EXPECT_EQ(info.approachLimit, row.approach);
        EXPECT_EQ(info.rotationTicks, row.rotationTicks);
        EXPECT_EQ(info.climbPitchTicks, row.climbTicks);
        EXPECT_NEAR(info.rotationPitchRad, row.rotationDeg * degreesToRadians,
                    std::abs(row.rotationDeg) * 0.026 * degreesToRadians);
        EXPECT_NEAR(info.climbPitchRad, row.climbDeg * degreesToRadians,
                    std::abs(row.climbDeg) * 0.051 * degreesToRadians);
        EXPECT_EQ(bool(info.isJetCategory), row.category == Bizjet || row.category == Large || row.category == Heavy);
        // Identity head copied, the rest at its start values.
        EXPECT_EQ(info.callsign, "KLM1234");
        EXPECT_EQ(info.registration, "PH-BXA");
        EXPECT_EQ(info.origin, IataCode("AMS"));
        EXPECT_EQ(info.value, 77u);
        EXPECT_EQ(info.collisionRadiusNm, info.wingRadiusNm);
        EXPECT_EQ(info.groundOffsetFromSim, 0);
        EXPECT_EQ(info.staticPitchRad, 0.0);
        EXPECT_EQ(info.hexid, 0u);
        EXPECT_TRUE(info.liveryTitle.empty());
    }
}

TEST_F(Records, SlowTypeFlagsNeedTheirCategory) {
    struct Row {
        const char* type;
        bool jet, slowLarge, slowTwin, slowLight;
    };
    const Row rows[] = {
        {"AT76", true, true, false, false},   // Large and on the slow-large list
        {"B738", true, false, false, false},  // Large, not on it
        {"E190", true, true, false, false},
        {"PA34", false, false, true, false},  // TwoProps and a slow twin
        {"DH8D", false, false, false, false}, // on the slow-large list, but TwoProps here
        {"C172", false, false, false, true},
        {"C208", false, false, false, false},  // Light, not a slow type
        {"G200", true, false, false, false},   // on the slow-light list, but Bizjet here
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.type);
        const AcInfo info = gf_makeAcInfo(identity(row.type));
        EXPECT_EQ(bool(info.isJetCategory), row.jet);
        EXPECT_EQ(bool(info.isSlowLarge), row.slowLarge);
        EXPECT_EQ(bool(info.isSlowTwoProp), row.slowTwin);
        EXPECT_EQ(bool(info.isSlowLight), row.slowLight);
    }
}

TEST_F(Records, PitchesAreRandomisedByExactlyTheirPercentBothWays) {
    std::set<double> rotations, climbs;
    for (unsigned seed = 1; seed <= 40; ++seed) {
        threadRandomEngine().engine.seed(seed);
        const AcInfo info = gf_makeAcInfo(identity("B738"));
        rotations.insert(info.rotationPitchRad);
        climbs.insert(info.climbPitchRad);
    }
    const std::set<double> wantedRotation{(-6.0 + -6.0 * 2.5 / 100) * degreesToRadians,
                                          (-6.0 - -6.0 * 2.5 / 100) * degreesToRadians};
    const std::set<double> wantedClimb{(-16.5 + -16.5 * 5.0 / 100) * degreesToRadians,
                                       (-16.5 - -16.5 * 5.0 / 100) * degreesToRadians};
    EXPECT_EQ(rotations, wantedRotation);
    EXPECT_EQ(climbs, wantedClimb);
}

TEST_F(Records, StandSearchRadiusIsClampedAndWidened) {
    struct Row {
        const char* type;
        double searchMetres;
    };
    const Row rows[] = {
        {"C150", 18.0},                    // 1.8 x 2 m + 12 = 15.6: raised to 18
        {"B738", 1.8 * 17.9 + 12.0},       // within the limits
        {"A388", 65.0},                    // 1.8 x 39.875 + 12 = 83.8: cut to 65
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.type);
        const AcInfo info = gf_makeAcInfo(identity(row.type));
        EXPECT_NEAR(info.standSearchRadiusNm, row.searchMetres * kMetresToNm, 1e-12);
        EXPECT_DOUBLE_EQ(info.standSearchRadiusWideNm, 1.25 * info.standSearchRadiusNm);
    }
}

TEST_F(Records, TypeWithoutWingSpanGetsTheLargestRadius) {
    ASSERT_GT(gf_maxWingRadius(), 0.0);
    const AcInfo info = gf_makeAcInfo(identity("XL99"));
    EXPECT_EQ(info.wingRadiusNm, gf_maxWingRadius());
    EXPECT_EQ(info.collisionRadiusNm, gf_maxWingRadius());
    EXPECT_NEAR(info.standSearchRadiusNm, 65.0 * kMetresToNm, 1e-12);
}

TEST_F(Records, CategoryTableRejectsOtherValues) {
    EXPECT_EQ(gf_categoryValues(Rotorcraft).rotationTicks, 100u);
    try {
        gf_categoryValues(7);
        FAIL() << "no exception";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "invalid unordered_map<K, T> key");
    }
}

TEST_F(Records, NameTablesAndQuestionMarkOutside) {
    EXPECT_EQ(gf_acSimStateName(AcSimState::buffer), "buffer");
    EXPECT_EQ(gf_acSimStateName(AcSimState::removingfromsim), "removingfromsim");
    EXPECT_EQ(gf_acSimStateName(5u), "?");
    EXPECT_EQ(gf_acPhaseName(AcPhase::pushing_back), "pushing_back");
    EXPECT_EQ(gf_acPhaseName(AcPhase::landing_roll), "landing_roll");
    EXPECT_EQ(gf_acPhaseName(AcPhase::birth), "birth");
    EXPECT_EQ(gf_acPhaseName(11u), "?");
    EXPECT_EQ(gf_modelCategoryName(Rotorcraft), "Rotorcraft");
    EXPECT_EQ(gf_modelCategoryName(7), "?");
}

TEST_F(Records, LiveAcStartsUnsentAndInBirth) {
    std::deque<StreamPoint> stream(2);
    stream[0].lat = 52.0;
    const AcInfo info = gf_makeAcInfo(identity("B738"));
    const LiveAc ac(std::move(stream), info, 1700000000.5);
    EXPECT_EQ(ac.throttleStep, 5u);
    EXPECT_EQ(ac.flapsIndex, 4u);
    EXPECT_EQ(ac.phase, AcPhase::birth);
    EXPECT_EQ(ac.prevPhase, AcPhase::birth);
    EXPECT_EQ(ac.prevPrevPhase, AcPhase::birth);
    EXPECT_EQ(ac.simState, AcSimState::buffer);
    EXPECT_EQ(ac.stream.size(), 2u);
    EXPECT_EQ(ac.stream.front().lat, 52.0);
    EXPECT_EQ(ac.lastReportTime, 1700000000.5);
    EXPECT_EQ(ac.rotationPitchRad, info.rotationPitchRad);
    EXPECT_EQ(ac.callsign, "KLM1234");
    EXPECT_EQ(ac.fromAirportFile, 1u);
    EXPECT_EQ(ac.motion.advanceLimit, 900);
    EXPECT_EQ(ac.motion.delayLimit, 900);
    EXPECT_EQ(ac.motion.heightAboveGroundFt, 2500.0);
    EXPECT_TRUE(std::isnan(ac.motion.legVerticalSpeed));
    EXPECT_FALSE(ac.takeoffRunway.has_value());
}

TEST_F(Records, StaticAircraftTakesTheStandAndItsGateName) {
    tavo::test::setStandTable({{"GATE B3", LaLo{52.0, 4.0}}, {"R12", LaLo{52.1, 4.0}}});
    const AcInfo info = gf_makeAcInfo(identity("B738"));
    const AcBase gate = gf_initStaticAircraft(info, 1, LaLo{52.0, 4.0}, 1.5, true);
    EXPECT_EQ(gate.standId, 1);
    EXPECT_EQ(gate.standPos, (LaLo{52.0, 4.0}));
    EXPECT_EQ(gate.standHeadingRad, 1.5);
    EXPECT_EQ(gate.isCargo, 1);
    EXPECT_EQ(gate.isGate, 1);
    EXPECT_EQ(gate.simState, AcSimState::buffer);
    EXPECT_EQ(gate.objectId, 0u);
    EXPECT_EQ(gf_initStaticAircraft(info, 2, LaLo{52.1, 4.0}, 0.0, false).isGate, 0);
    EXPECT_EQ(gf_initStaticAircraft(info, 0, LaLo{52.1, 4.0}, 0.0, false).isGate, 0);
    EXPECT_EQ(gf_initStaticAircraft(info, 3, LaLo{52.1, 4.0}, 0.0, false).isGate, 0);
}
