// Stand options: adding and extending options as real aircraft stay at a
// stand (spans by kind of aircraft, across midnight and the week's end), the
// callsigns kept, the name-word search and the two ratings.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "airports/airport_file_format.h"
#include "airports/stand_options.h"
#include "engine/records.h"
#include "liveries/code_tables.h"
#include "support/temp_dir.h"

namespace {

HoursBitset slots(std::initializer_list<std::size_t> list) {
    HoursBitset hours;
    for (std::size_t slot : list) hours.set(slot);
    return hours;
}

const AcKey kLight{};

class StandOptionsTest : public tavo::test::LogFileTest {};

TEST_F(StandOptionsTest, AddingStripsOneUnderscoreAndNeverAddsTwice) {
    std::vector<StandOption> options;
    const std::uint32_t before = g_learnedOptionCount;
    EXPECT_EQ(gf_addStandOption(options, kLight, {2, 20}, "AUA1__", "OE-LAA", false), std::make_pair(1u, true));
    EXPECT_EQ(options[0].callsign1, "AUA1_");
    EXPECT_EQ(options[0].hours, slots({20}));
    EXPECT_EQ(options[0].mark, 0u);
    EXPECT_EQ(options[0].real, 1u);
    EXPECT_EQ(gf_addStandOption(options, kLight, {2, 20}, "AUA1", "OE-LAA", true), std::make_pair(0u, false));
    EXPECT_EQ(gf_addStandOption(options, kLight, {3, 20}, "AUA1", "OE-LAA", true), std::make_pair(2u, true));
    EXPECT_TRUE(options[1].cpl);
    EXPECT_EQ(gf_addStandOption(options, kLight, {3, 21}, "AUA1", "", false), std::make_pair(0u, false));
    EXPECT_EQ(g_learnedOptionCount, before + 2);
    EXPECT_THROW(gf_addStandOption(options, kLight, {3, 48}, "AUA1", "OE-LAB", false), std::out_of_range);
}

TEST_F(StandOptionsTest, CallsignsKeepTheFirstAndTheNewestOther) {
    std::vector<StandOption> options;
    gf_addStandOption(options, kLight, {1, 1}, "", "OE-LAA", false);
    const std::pair<const char*, std::pair<const char*, const char*>> steps[] = {
        {"", {"", ""}},          {"AUA1_", {"AUA1", ""}}, {"AUA1", {"AUA1", ""}},
        {"AUA2", {"AUA1", "AUA2"}}, {"AUA1", {"AUA1", "AUA2"}}, {"AUA3", {"AUA1", "AUA3"}},
    };
    for (const auto& [callsign, expected] : steps) {
        gf_addOptionCallsign(options, 1, callsign);
        EXPECT_EQ(options[0].callsign1, expected.first) << callsign;
        EXPECT_EQ(options[0].callsign2, expected.second) << callsign;
    }
    gf_addOptionCallsign(options, 0, "X");
    gf_addOptionCallsign(options, 9, "X");
    EXPECT_EQ(options[0].callsign2, "AUA3");
}

TEST_F(StandOptionsTest, PreviousSlotsStepBackAcrossDaysAndTheWeek) {
    EXPECT_EQ(gf_listPreviousSlots({1, 1}, 3), (SlotList{1, 0, 47}));
    EXPECT_EQ(gf_listPreviousSlots({3, 5}, 2), (SlotList{5, 4}));
    EXPECT_TRUE(gf_listPreviousSlots({3, 5}, 0).empty());
    EXPECT_TRUE(gf_listPreviousSlots({3, 5}, -2).empty());
}

TEST_F(StandOptionsTest, SpansByKindOfAircraft) {
    const AcKey cargo{1, 0, 1, 1, 0};
    struct Case {
        const char* what;
        AcKey key;
        std::uint32_t category;
        WeekTime last, now;
        bool extended;
        HoursBitset hours;  // of option 1 afterwards
        std::size_t optionCount;
    };
    const Case cases[] = {
        {"span 1", kLight, Light, {2, 20}, {2, 21}, true, slots({20, 21}), 1},
        {"same slot", kLight, Light, {2, 20}, {2, 20}, true, slots({20}), 1},
        {"heavy 10:00 to 13:30", kLight, Heavy, {2, 20}, {2, 27}, true, slots({20, 21, 22, 23, 24, 25, 26, 27}), 1},
        {"light 10:00 to 13:30", kLight, Light, {2, 20}, {2, 27}, false, slots({20}), 1},
        {"light 5 slots", kLight, Light, {2, 20}, {2, 25}, true, slots({20, 21, 22, 23, 24, 25}), 1},
        {"light 6 slots", kLight, Light, {2, 20}, {2, 26}, false, slots({20}), 1},
        {"cargo 11 slots", cargo, Light, {2, 20}, {2, 31}, true, slots({20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31}), 1},
        {"earlier", kLight, Light, {2, 20}, {2, 19}, false, slots({20}), 1},
    };
    for (const Case& c : cases) {
        std::vector<StandOption> options;
        gf_addStandOption(options, c.key, c.last, "AUA1", "OE-LAA", false);
        EXPECT_EQ(lf_addStandOptionSpan(c.now, options, 1, c.last, c.key, c.category, "AUA2", false), c.extended)
            << c.what;
        EXPECT_EQ(options[0].hours, c.hours) << c.what;
        EXPECT_EQ(options.size(), c.optionCount) << c.what;
    }
    std::vector<StandOption> none;
    EXPECT_FALSE(lf_addStandOptionSpan({2, 21}, none, 0, {2, 20}, kLight, Light, "A", false));
}

TEST_F(StandOptionsTest, EachSlotAcrossMidnightGoesToItsOwnDaysOption) {
    // Monday 47, then Tuesday 1: Monday's option keeps 47, Tuesday's holds 0 and 1.
    std::vector<StandOption> options;
    gf_addStandOption(options, kLight, {1, 47}, "AUA1", "OE-LAA", false);
    ASSERT_TRUE(lf_addStandOptionSpan({2, 1}, options, 1, {1, 47}, kLight, Light, "AUA2", false));
    ASSERT_EQ(options.size(), 2u);
    EXPECT_EQ(options[0].hours, slots({47}));
    EXPECT_EQ(options[0].day, 1u);
    EXPECT_EQ(options[1].hours, slots({0, 1}));
    EXPECT_EQ(options[1].day, 2u);
    EXPECT_EQ(options[0].callsign2, "AUA2");
    EXPECT_EQ(options[1].callsign1, "AUA2");
    // Both options can be written.
    Airport airport;
    airport.icao = IcaoCode("LOWI");
    airport.stands.emplace_back("A1", options, 47.0, 11.0, 0.0, 20.0, ParkingType::GATE_SMALL, false, false, false);
    EXPECT_TRUE(gf_writeApf(airport, "LOWI.xml", kApfModeLearned, 2, false, AirportParkingSettings{}));

    // Monday 45, then Tuesday 1 (heavy): 46 and 47 to Monday, 0 and 1 to Tuesday.
    std::vector<StandOption> heavy;
    gf_addStandOption(heavy, kLight, {1, 45}, "AUA1", "OE-LAB", false);
    ASSERT_TRUE(lf_addStandOptionSpan({2, 1}, heavy, 1, {1, 45}, kLight, Heavy, "AUA1", false));
    EXPECT_EQ(heavy[0].hours, slots({45, 46, 47}));
    EXPECT_EQ(heavy[1].hours, slots({0, 1}));

    // Sunday 47, then Monday 0: a distance of 1 across the week's end.
    std::vector<StandOption> week;
    gf_addStandOption(week, kLight, {7, 47}, "AUA1", "OE-LAC", false);
    ASSERT_TRUE(lf_addStandOptionSpan({1, 0}, week, 1, {7, 47}, kLight, Light, "AUA1", false));
    ASSERT_EQ(week.size(), 2u);
    EXPECT_EQ(week[0].hours, slots({47}));
    EXPECT_EQ(week[1].hours, slots({0}));
    EXPECT_EQ(week[1].day, 1u);
}

TEST_F(StandOptionsTest, UpdatingHoursOfMissingOptionsAndBadSlots) {
    std::vector<StandOption> options;
    gf_addStandOption(options, kLight, {1, 3}, "A", "OE-LAA", false);
    SlotList list{5, 4};
    EXPECT_FALSE(updateOptions(options, list, 2));
    EXPECT_TRUE(updateOptions(options, list, 1));
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(options[0].hours, slots({3, 4, 5}));
    SlotList bad{48};
    newLogLines();
    EXPECT_TRUE(updateOptions(options, bad, 1));
    EXPECT_EQ(newLogLines().rfind("==> updateOptions exception:", 0), 0u);
}

TEST_F(StandOptionsTest, NameWordSearch) {
    std::vector<Stand> stands;
    stands.emplace_back("Gate A12", std::vector<StandOption>{}, 47.0, 11.0, 0.0, 20.0, ParkingType::GATE_SMALL, false,
                        false, false);
    stands.emplace_back("Gate 12", std::vector<StandOption>{}, 47.0, 11.0, 0.0, 20.0, ParkingType::GATE_SMALL, false,
                        false, false);
    stands.emplace_back("Far 7", std::vector<StandOption>{}, 47.01, 11.0, 0.0, 20.0, ParkingType::GATE_SMALL, false,
                        false, false);
    for (std::uint32_t i = 0; i < stands.size(); ++i) stands[i].id = i + 1;
    const LaLo here{47.0, 11.0};
    EXPECT_EQ(gf_findStandByNameWord(stands, "GATE 12", here), 2u);
    EXPECT_EQ(gf_findStandByNameWord(stands, "GATE A12", here), 1u);
    EXPECT_EQ(gf_findStandByNameWord(stands, "GATE ", here), 0u) << "five characters";
    EXPECT_EQ(gf_findStandByNameWord(stands, "PARK 7", here), 0u) << "more than 250 m away";
    EXPECT_EQ(gf_findStandByNameWord(stands, "PARK 7", LaLo{47.0099, 11.0}), 3u);
}

TEST_F(StandOptionsTest, Ratings) {
    auto stand = [](double radiusNm, ParkingType type = ParkingType::GATE_SMALL) {
        return Stand("S", {}, 47.0, 11.0, 0.0, radiusNm * 1852.0, type, false, false, false);
    };
    EXPECT_EQ(gf_rateAirportStands({}), ~std::uint64_t{0});
    EXPECT_EQ(gf_rateAirportStands({stand(1.0)}), ~std::uint64_t{0});
    StandOption real;
    real.number = 1;
    real.day = 1;
    real.real = 1;
    real.hours = slots({10});
    Stand one = stand(1.0);
    one.options = {real};
    // (12.5 + 100 + 20 + 10000 + 2) * 0.00625 = 63.34
    EXPECT_EQ(gf_rateAirportStands({one}), 63u);
    // A soft option alone: the soft rating in the high half.
    StandOption soft = real;
    soft.real = 0;
    Stand softStand = stand(1.0);
    softStand.options = {soft};
    EXPECT_EQ(gf_rateAirportStands({softStand}), std::uint64_t{63} << 32);
    // A second stand without options halves the real rating (equal weights): 31.67 -> 32.
    EXPECT_EQ(gf_rateAirportStands({one, stand(2.0)}), 32u);
    // Fuel stands do not count; a void option counts for nothing.
    EXPECT_EQ(gf_rateAirportStands({one, stand(2.0, ParkingType::FUEL)}), 63u);
    StandOption voided = real;
    voided.number = 0;
    Stand onlyVoid = stand(1.0);
    onlyVoid.options = {voided};
    EXPECT_EQ(gf_rateAirportStands({onlyVoid}), 0u);
    // Only fuel stands: no weight, both 0.
    Stand fuel = stand(1.0, ParkingType::FUEL);
    fuel.options = {real};
    EXPECT_EQ(gf_rateAirportStands({fuel}), 0u);
    // The largest term rates exactly 100.
    Stand full = stand(1.0);
    for (std::uint32_t i = 0; i < 200; ++i) {
        StandOption option = real;
        option.number = i + 1;
        option.day = 1 + i % 7;
        option.hours.set();
        full.options.push_back(option);
    }
    EXPECT_EQ(gf_rateAirportStands({full}), 100u);
    // Weights by radius: 0.3 up to 7, 1.5 up to 10, else 1.0.
    Stand big = stand(12.0);
    big.options = {real};
    EXPECT_EQ(gf_rateAirportStands({big, stand(8.0)}), static_cast<std::uint64_t>(std::round(10134.5 / 2.5 * 0.00625)));
}

}  // namespace

namespace {

Stand nearStand(const std::string& name, double northMetres, ParkingType type = ParkingType::GATE_HEAVY,
                bool heli = false) {
    return Stand(name, {}, 47.0 + northMetres / 1852.0 / 60.0, 11.0, 0.0, 40.0, type, false, false, heli);
}

AcInfo aircraftOf(std::uint32_t category, double ownMetres, double fallbackMetres) {
    AcInfo ac;
    ac.category = category;
    ac.wingRadiusNm = 10.0 / 1852.0;
    ac.standSearchRadiusNm = ownMetres / 1852.0;
    ac.standSearchRadiusWideNm = fallbackMetres / 1852.0;
    ac.callsign = "AUA1";
    return ac;
}

TEST(NearestStandTest, CandidatesOwnRadiusAndFallback) {
    const LaLo at{47.0, 11.0};
    double metres = 0.0;
    std::vector<Stand> none;
    EXPECT_EQ(gf_findNearestStand(none, at, aircraftOf(Large, 20, 60), metres, true), nullptr);
    EXPECT_EQ(metres, 100000.0);

    std::vector<Stand> stands{nearStand("NONE", 1, ParkingType::NONE), nearStand("BLOCKED", 2),
                              nearStand("HELI", 3, ParkingType::RAMP_GA_SMALL, true), nearStand("A", 10),
                              nearStand("B", -10), nearStand("C", 15)};
    stands[1].blocked = true;
    Stand* found = gf_findNearestStand(stands, at, aircraftOf(Large, 20, 60), metres, true);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->name, "A") << "nearest, the first on equal distances";
    EXPECT_NEAR(metres, 10.0, 1e-6);
    // A rotorcraft takes only helipads.
    found = gf_findNearestStand(stands, at, aircraftOf(Rotorcraft, 20, 60), metres, true);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->name, "HELI");

    // Beyond the own radius: only a stand with a real option for the aircraft, and only with fallback.
    std::vector<Stand> far{nearStand("X", 30), nearStand("Y", 50), nearStand("Z", 82)};
    StandOption option;
    option.registration = "OE-LAA";
    option.callsign1 = "AUA1";
    option.number = 1;
    option.day = 1;
    option.real = 1;
    option.hours.set(3);
    far[1].options = {option};
    far[2].options = {option};
    found = gf_findNearestStand(far, at, aircraftOf(Large, 20, 90), metres, true);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->name, "Y");
    EXPECT_NEAR(metres, 50.0, 1e-6);
    EXPECT_EQ(gf_findNearestStand(far, at, aircraftOf(Large, 20, 90), metres, false), nullptr);
    EXPECT_EQ(gf_findNearestStand(far, at, aircraftOf(Large, 20, 40), metres, true), nullptr);
    // 82 m is outside the 81.25 m limit even with a large radius.
    std::vector<Stand> outside{far[2]};
    EXPECT_EQ(gf_findNearestStand(outside, at, aircraftOf(Large, 200, 200), metres, true), nullptr);
}

}  // namespace
