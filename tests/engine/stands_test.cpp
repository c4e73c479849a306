#include <gtest/gtest.h>

#include <random>

#include <fmt/format.h>

#include "airports/current_airport.h"
#include "engine/records.h"
#include "engine/stands.h"
#include "engine/user_position.h"
#include "services/gui.h"
#include "simlink/sim_link.h"
#include "support/stand_table.h"
#include "support/temp_dir.h"

namespace {

constexpr double kMetresToNm = 0.0005399568034557236;

class Stands : public tavo::test::LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        gf_gui().attachGuiThread();
        gf_gui().reset();
    }
    void TearDown() override {
        tavo::test::clearStandTable();
        g_userOnGround.store(false);
        gf_publishUserAircraftState(UserAircraftState{});
        gf_clearParkAirports();
        gf_gui().reset();
        LogFileTest::TearDown();
    }

    static Stand stand(ParkingType type, double radiusMetres) {
        return Stand("S", {}, 52.0, 4.0, 0.0, radiusMetres, type, false, false, false);
    }
    static void userAt(LaLo position) {
        UserAircraftState user;
        user.latitude = position.lat;
        user.longitude = position.lon;
        gf_publishUserAircraftState(user);
        g_userOnGround.store(true);
    }
};

}  // namespace

TEST_F(Stands, FitByTypeAndCategory) {
    // Columns: Light, TwoProps, Bizjet, Large, Heavy, HighPerf, Rotorcraft; the
    // aircraft 1 m smaller than the stand.
    struct Row {
        std::uint32_t type;
        const char* fits;
    };
    const Row rows[] = {
        {0, "0000000"},  {1, "1110001"},  {2, "1110001"},  {3, "0011001"},  {4, "0001100"},  {5, "0001100"},
        {6, "0011101"},  {7, "0000011"},  {8, "1111000"},  {9, "0011000"},  {10, "0001100"}, {11, "1110001"},
        {12, "1111111"}, {13, "0000000"}, {14, "1111111"}, {15, "1111111"}, {99, "1111111"},
    };
    for (const Row& row : rows) {
        const Stand s = stand(static_cast<ParkingType>(row.type), 20.0);
        for (int category = 0; category < 7; ++category) {
            EXPECT_EQ(gf_standFitsAircraft(s, category, 19.0 * kMetresToNm), row.fits[category] == '1')
                << "type " << row.type << " category " << category;
        }
    }
}

TEST_F(Stands, FitMargins) {
    struct Row {
        ParkingType type;
        int category;
        double excessMetres;  // wing radius minus stand radius
        bool fits;
    };
    const Row rows[] = {
        {ParkingType::GATE_HEAVY, Heavy, 5.3, true},
        {ParkingType::GATE_HEAVY, Heavy, 5.5, false},  // 5.4 m for every type
        {ParkingType::GATE_MEDIUM, Heavy, -5.0, false},
        {ParkingType::GATE_SMALL, Large, 0.0, true},   // Large only when not larger
        {ParkingType::GATE_SMALL, Large, 0.1, false},
        {ParkingType::GATE_SMALL, Bizjet, 5.3, true},
        {ParkingType::FUEL, Heavy, 4.9, true},
        {ParkingType::FUEL, Heavy, 5.1, false},         // 5.0 m
        {ParkingType::GATE_EXTRA, Light, 1.7, true},
        {ParkingType::GATE_EXTRA, Light, 1.9, false},   // 1.8 m
        {ParkingType::RAMP_GA_EXTRA, Heavy, -30.0, true},
    };
    for (const Row& row : rows) {
        const Stand s = stand(row.type, 20.0);
        EXPECT_EQ(gf_standFitsAircraft(s, row.category, (20.0 + row.excessMetres) * kMetresToNm), row.fits)
            << gf_parkingTypeName(row.type) << " " << row.category << " " << row.excessMetres;
    }
}

TEST_F(Stands, RealOptionsByCallsignOrKey) {
    AcKey key;
    key.airline = 3;
    key.model = 9;
    key.operatorIndex = 4;
    key.cargo = 1;
    StandOption byCallsign;
    byCallsign.number = 1;
    byCallsign.real = 1;
    byCallsign.callsign2 = "KLM1234";
    StandOption byKey;
    byKey.number = 2;
    byKey.real = 1;
    byKey.key = key;
    byKey.key.flag = 1;  // the second flag is not compared
    StandOption soft = byCallsign;
    soft.real = 0;
    StandOption void_ = byCallsign;
    void_.number = 0;

    struct Row {
        std::vector<StandOption> options;
        const char* callsign;
        AcKey key;
        bool real;
    };
    AcKey otherCargo = key;
    otherCargo.cargo = 0;
    const AcKey other{7, 0, 8, 0, 0};
    const Row rows[] = {
        {{byCallsign}, "KLM1234", other, true},
        {{byCallsign}, "KLM123", other, false},
        {{byKey}, "DLH4", key, true},
        {{byKey}, "DLH4", otherCargo, false},
        {{byKey}, "", key, false},  // no callsign: never
        {{}, "KLM1234", key, false},
        {{soft, void_}, "KLM1234", other, false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(gf_standHasRealOptionForAircraft(row.options, row.callsign, row.key), row.real)
            << row.callsign << " " << row.options.size();
    }
}

TEST_F(Stands, UserStandByParkAirportNamePositionAndExclusion) {
    tavo::test::setStandTable({{"A1", LaLo{52.0, 4.0}, ParkingType::GATE_MEDIUM, 30.0, {2}},
                               {"A2", LaLo{52.0, 4.001}},
                               {"A3", LaLo{52.0, 4.002}},
                               {"A4", LaLo{52.0, 4.003}}});
    EXPECT_FALSE(gf_isUserStand(g_standTable[0]));
    // The user stand recorded for the current park airport, or a stand excluded by it.
    gf_makeCurrentParkAirport(IcaoCode("EHAM"), LaLo{52.0, 4.0});
    ASSERT_TRUE(gf_setParkAirportUserStand(IcaoCode("EHAM"), "A2"));
    EXPECT_TRUE(gf_isUserStand(g_standTable[1]));
    EXPECT_TRUE(gf_isUserStand(g_standTable[0]));  // A1 excludes A2
    EXPECT_FALSE(gf_isUserStand(g_standTable[2]));
    gf_clearParkAirports();
    // The stand under the user aircraft, only while it is on the ground.
    userAt(LaLo{52.0, 4.003});
    EXPECT_TRUE(gf_isUserStand(g_standTable[3]));
    EXPECT_FALSE(gf_isUserStand(g_standTable[2]));
    g_userOnGround.store(false);
    EXPECT_FALSE(gf_isUserStand(g_standTable[3]));
}

TEST_F(Stands, StaticParkingTarget) {
    struct Row {
        std::size_t stands;
        std::int32_t percentage, maximum;
        std::int32_t target, percent;
    };
    const Row rows[] = {
        {3, 40, 500, 1, 33},  {4, 40, 500, 2, 50},  {1, 10, 500, 1, 100}, {3, 60, 500, 2, 67},
        {10, 35, 2, 2, 20},   {10, 30, 0, 0, 0},     {10, 0, 500, 0, 0},   {3, 0, 500, 0, 0},
        {0, 40, 500, 0, 0},   {1, 0, 500, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.stands << " stands " << row.percentage << "%");
        std::vector<tavo::test::StandSpec> specs;
        for (std::size_t i = 0; i < row.stands; ++i) specs.push_back({fmt::format("S{}", i), LaLo{52.0, 4.0 + i}});
        tavo::test::setStandTable(specs);
        gf_gui().parkingTargetCount = -7;
        EXPECT_EQ(gf_computeStaticParkingTarget(row.percentage, row.maximum), row.target);
        EXPECT_EQ(g_staticParkingTarget, row.target);
        EXPECT_EQ(gf_gui().parkingTargetCount, row.target);
        EXPECT_EQ(gf_gui().parkingTargetPercent, row.percent);
    }
}

TEST_F(Stands, ClaimsBlockNeighboursAndCountTakenStands) {
    tavo::test::setStandTable({{"A1", LaLo{52.0, 4.0}},
                               {"A2", LaLo{52.0, 4.001}, ParkingType::GATE_MEDIUM, 30.0, {1, 3}},
                               {"A3", LaLo{52.0, 4.002}},
                               {"A4", LaLo{52.0, 4.003}},
                               {"A5", LaLo{52.0, 4.004}}});
    EXPECT_FALSE(gf_claimStand(2, 2));  // one taken of two wanted
    EXPECT_TRUE(g_standTable[1].occupied);
    EXPECT_TRUE(g_standTable[0].blocked);
    EXPECT_TRUE(g_standTable[2].blocked);
    EXPECT_FALSE(g_standTable[3].blocked);
    EXPECT_FALSE(gf_claimStand(2, 1));  // already used
    EXPECT_TRUE(gf_claimStand(4, 2));   // two taken: enough
    EXPECT_FALSE(gf_claimStand(0, 0));
    EXPECT_FALSE(gf_claimStand(6, 0));
    EXPECT_TRUE(gf_claimStand(5, 3));

    // Three free stands and two wanted: the first claim is not enough, the second is.
    tavo::test::setStandTable({{"B1", LaLo{52.0, 4.0}}, {"B2", LaLo{52.0, 4.001}}, {"B3", LaLo{52.0, 4.002}}});
    EXPECT_FALSE(gf_claimStand(1, 2));
    EXPECT_TRUE(gf_claimStand(2, 2));
}

// A plan asks after every claim whether enough stands are taken; the number
// it is answered from must be the table's own through claims, releases, the
// plan's fresh start and a table replaced as a whole, in any order.
TEST_F(Stands, TheTakenStandsAreCountedRightThroughEveryChangeOfTheMarks) {
    std::mt19937 random(20261211);
    auto pick = [&random](std::int64_t low, std::int64_t high) {
        return std::uniform_int_distribution<std::int64_t>(low, high)(random);
    };
    std::vector<tavo::test::StandSpec> specs;
    for (int i = 0; i < 40; ++i) {
        std::vector<std::uint32_t> excludes;
        if (i % 5 == 0 && i + 2 <= 40) excludes.push_back(static_cast<std::uint32_t>(i + 2));
        specs.push_back({fmt::format("S{}", i), LaLo{52.0, 4.0 + i * 0.001}, ParkingType::GATE_MEDIUM, 30.0, excludes});
    }
    tavo::test::setStandTable(specs);
    const std::vector<Stand> full = g_standTable;
    int claims = 0;
    int reached = 0;
    for (int step = 0; step < 4000; ++step) {
        SCOPED_TRACE(step);
        const std::int64_t size = static_cast<std::int64_t>(g_standTable.size());
        const std::int64_t what = pick(0, 99);
        if (what < 70) {
            const auto id = static_cast<std::int32_t>(pick(0, size + 1));
            const std::int64_t needed = pick(0, size);
            const Stand* stand = gf_standById(id);
            const bool free = stand != nullptr && !stand->occupied;
            const bool answer = gf_claimStand(id, needed);
            ++claims;
            reached += answer ? 1 : 0;
            EXPECT_EQ(answer, free && gf_countOccupiedStands(g_standTable) >= needed) << "stand " << id;
        } else if (what < 90 && size > 0) {
            gf_releaseStand(g_standTable[static_cast<std::size_t>(pick(0, size - 1))]);
        } else if (what < 95) {
            gf_clearStandMarks();
        } else {
            // A table loaded in place of the old one, some of it taken already.
            std::vector<Stand> loaded = full;
            for (Stand& stand : loaded) stand.occupied = pick(0, 3) == 0;
            if (pick(0, 1) == 0) loaded.erase(loaded.begin() + static_cast<std::ptrdiff_t>(loaded.size() / 2), loaded.end());
            g_standTable = std::move(loaded);
        }
        ASSERT_EQ(gf_occupiedStandCount(), gf_countOccupiedStands(g_standTable));
    }
    EXPECT_GT(reached, 100) << "claims that reached their number were tried";
    EXPECT_GT(claims - reached, 100) << "claims that fell short were tried";
}

TEST_F(Stands, LookupsByIdAndName) {
    tavo::test::setStandTable({{"GATE A1", LaLo{52.0, 4.0}, ParkingType::GATE_HEAVY, 30.0, {2, 3}, true},
                               {"B2", LaLo{52.0, 4.001}},
                               {"C3", LaLo{52.0, 4.002}}});
    EXPECT_EQ(gf_standNameById(0), "sid==0?");
    EXPECT_EQ(gf_standNameById(4), "sid==?");
    EXPECT_EQ(gf_standNameById(-1), "sid==?");
    EXPECT_EQ(gf_standNameById(2), "B2");
    ASSERT_NE(gf_findStandByName("C3"), nullptr);
    EXPECT_EQ(gf_findStandByName("C3")->id, 3u);
    EXPECT_EQ(gf_findStandByName("Z9"), nullptr);
    // An index entry whose id names another stand, or no stand, gives none.
    g_standNameIndex["C3"] = 2;
    EXPECT_EQ(gf_findStandByName("C3")->name, "B2");  // the stand at that id carries it
    g_standTable[1].id = 7;
    EXPECT_EQ(gf_findStandByName("C3"), nullptr);
    EXPECT_EQ(gf_standNameById(2), "sid==?");
    g_standNameIndex["X"] = 0;
    EXPECT_EQ(gf_findStandByName("X"), nullptr);
    g_standTable[1].id = 2;

    EXPECT_EQ(gf_formatStandExcludes(g_standTable[0].excludes, 1), "          GATE A1 : excludes B2,C3");
    EXPECT_EQ(gf_formatStandExcludes({}, 1), "");

    AcBase ac;
    gf_assignStandToAircraft(ac, g_standTable[0]);
    EXPECT_EQ(ac.standId, 1);
    EXPECT_EQ(ac.standPos, (LaLo{52.0, 4.0}));
    EXPECT_EQ(ac.isCargo, 1);
    EXPECT_EQ(ac.isGate, 1);
    gf_assignStandToAircraft(ac, g_standTable[1]);
    EXPECT_EQ(ac.isGate, 0);
    EXPECT_EQ(ac.isCargo, 0);
}

TEST_F(Stands, NameAtPositionOnlyOnTheGround) {
    tavo::test::setStandTable({{"A1", LaLo{52.0, 4.0}}, {"A2", LaLo{52.0, 4.0005}}});
    EXPECT_FALSE(gf_standNameAtPosition(LaLo{52.0, 4.0}));  // not on the ground
    g_userOnGround.store(true);
    EXPECT_EQ(gf_standNameAtPosition(LaLo{52.0, 4.0}), std::optional<std::string>("A1"));
    // 0.0005 degree of longitude at 52N is about 34 m: A2 is nearer from between.
    EXPECT_EQ(gf_standNameAtPosition(LaLo{52.0, 4.0004}), std::optional<std::string>("A2"));
    const LaLo north25m{52.0 + 25.0 / 1852.0 / 60.0, 4.0};
    EXPECT_FALSE(gf_standNameAtPosition(north25m));
    // A new table is not hidden by the cache.
    tavo::test::setStandTable({{"B7", north25m}});
    EXPECT_EQ(gf_standNameAtPosition(north25m), std::optional<std::string>("B7"));
    // Across the 180th meridian.
    tavo::test::setStandTable({{"P1", LaLo{-17.0, 179.99995}}});
    EXPECT_EQ(gf_standNameAtPosition(LaLo{-17.0, -179.99995}), std::optional<std::string>("P1"));
}
