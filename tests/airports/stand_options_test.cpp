// Stand options: adding and extending options as real aircraft stay at a
// stand (spans by kind of aircraft, across midnight and the week's end), real
// aircraft recorded at the engine's stands, the callsigns kept, the callsign
// pair of a live aircraft, the name-word search and the two ratings.

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <fmt/format.h>

#include "airports/airport_file_format.h"
#include "airports/parking_state.h"
#include "airports/stand_options.h"
#include "engine/records.h"
#include "engine/stands.h"
#include "liveries/code_tables.h"
#include "liveries/dbase.h"
#include "support/dbase_builder.h"
#include "support/stand_table.h"
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

// Real aircraft seen at stand 1 of the engine's table, Tuesday from 10:00.
class RealStandOptionTest : public tavo::test::LogFileTest {
protected:
    static void SetUpTestSuite() { tavo::test::resetToSmallDbase(); }
    void SetUp() override {
        LogFileTest::SetUp();
        tavo::test::setStandTable({{"A1", LaLo{47.0, 11.0}}});
        g_learnedOptionCount = 0;
    }
    void TearDown() override {
        tavo::test::clearStandTable();
        g_weekTime.store(1);
        LogFileTest::TearDown();
    }
    static void at(std::uint32_t day, std::uint32_t slot) {
        g_weekTime.store((std::uint64_t{slot} << 32) | day);
    }
    static AcInfo aircraft(const char* registration, const char* callsign) {
        AcInfo ac;
        ac.registration = registration;
        ac.callsign = callsign;
        ac.category = Large;
        return ac;
    }
    static std::vector<StandOption>& options() { return g_standTable.at(0).options; }
};

TEST_F(RealStandOptionTest, AddsAndExtendsOptionsOfKnownAircraft) {
    at(2, 20);
    AcInfo unknown = aircraft("XX-UNK", "UNK1");
    gf_addRealStandOption(1, unknown, 0);
    AcInfo dlh = aircraft("D-AIBA_", "DLH1_");
    gf_addRealStandOption(2, dlh, 0);  // no such stand
    EXPECT_TRUE(options().empty());

    gf_addRealStandOption(1, dlh, 0);
    ASSERT_EQ(options().size(), 1u);
    EXPECT_EQ(options()[0].registration, "D-AIBA");
    EXPECT_EQ(options()[0].callsign1, "DLH1");
    EXPECT_EQ(dlh.key, gf_findRegistration("D-AIBA")) << "the database's key";
    EXPECT_EQ(options()[0].key, dlh.key);
    EXPECT_FALSE(options()[0].cpl);
    // The same slot again: nothing new; kinds 2 and 3 mark the option cpl.
    gf_addRealStandOption(1, dlh, 3);
    ASSERT_EQ(options().size(), 1u);
    EXPECT_TRUE(options()[0].cpl);
    // A cpl option is not extended: the next slot is a new option.
    at(2, 21);
    gf_addRealStandOption(1, dlh, 0);
    ASSERT_EQ(options().size(), 2u);
    EXPECT_EQ(options()[1].hours, slots({21}));

    // Staying: three slots later the option is extended, seven later (beyond
    // the span of 6) a new one begins.
    at(2, 20);
    AcInfo baw = aircraft("G-EUPA", "BAW7");
    gf_addRealStandOption(1, baw, 0);
    EXPECT_EQ(g_learnedOptionCount, 3u);
    at(2, 23);
    gf_addRealStandOption(1, baw, 1);
    ASSERT_EQ(options().size(), 3u);
    EXPECT_EQ(options()[2].hours, slots({20, 21, 22, 23}));
    EXPECT_EQ(g_learnedOptionCount, 4u) << "an extension counts as learned";
    at(2, 30);
    AcInfo bawLater = aircraft("G-EUPA", "BAW8");
    gf_addRealStandOption(1, bawLater, 2);
    ASSERT_EQ(options().size(), 4u);
    EXPECT_EQ(options()[3].hours, slots({30}));
    EXPECT_TRUE(options()[2].cpl) << "the option found takes the cpl mark too";
    EXPECT_TRUE(options()[3].cpl);
}

TEST_F(RealStandOptionTest, FlightsOfTheAirportFileAndBadTimes) {
    // The airport file plans D-AIMA here on Tuesday at slots 5 and 6.
    StandOption planned;
    planned.registration = "D-AIMA";
    planned.number = 1;
    planned.day = 2;
    planned.mark = 1;
    planned.real = 1;
    planned.hours = slots({5, 6});
    options() = {planned};
    AcInfo dlh = aircraft("D-AIMA", "DLH400");
    at(2, 20);
    gf_addRealStandOption(1, dlh, 0);
    EXPECT_EQ(options().size(), 1u) << "seen outside its planned hours: nothing learned";
    at(2, 5);
    gf_addRealStandOption(1, dlh, 0);
    ASSERT_EQ(options().size(), 2u);
    EXPECT_EQ(options()[1].mark, 0u);

    at(3, 48);
    newLogLines();
    gf_addRealStandOption(1, dlh, 0);
    EXPECT_EQ(options().size(), 2u);
    EXPECT_EQ(newLogLines().rfind("==> gf_addRealStandOption: hh_now: 48, ", 0), 0u);
}

// The callsign pair of an option reaches a live aircraft whose callsign the
// option holds, when the option's hours meet the window around now: 10 slots
// each way, 14 for a heavy, within the day.
TEST(StandOptionCallsignsTest, WindowAndConditions) {
    const std::uint16_t dlh = gf_internAirlineCode("DLH");
    auto optionAt = [&](std::size_t slot) {
        StandOption option;
        option.key.airline = dlh;
        option.registration = "D-AIBA";
        option.callsign1 = "DLH100";
        option.callsign2 = "DLH101";
        option.number = 1;
        option.day = 2;
        option.real = 1;
        option.hours = slots({slot});
        return option;
    };
    auto standWith = [](std::vector<StandOption> options) {
        return Stand("A1", std::move(options), 47.0, 11.0, 0.0, 30.0, ParkingType::GATE_MEDIUM, false, false, false);
    };
    auto pairOf = [&](const std::vector<Stand>& stands, std::uint32_t category, std::uint32_t slot,
                      const char* callsign = "DLH101_") {
        AcInfo ac;
        ac.key.airline = dlh;
        ac.category = category;
        ac.callsign = callsign;
        gf_applyStandOptionCallsigns(stands, WeekTime{2, slot}, ac);
        return ac.identity2 + "/" + ac.identity3;
    };
    struct Row {
        std::uint32_t category, now, optionSlot;
        bool found;
    };
    const Row rows[] = {
        {Large, 20, 30, true},  {Large, 19, 30, false}, {Large, 40, 30, true},  {Large, 41, 30, false},
        {Heavy, 16, 30, true},  {Heavy, 15, 30, false}, {Heavy, 44, 30, true},  {Heavy, 45, 30, false},
        {Large, 0, 10, true},   {Large, 0, 11, false},  {Large, 47, 37, true},  {Large, 47, 36, false},
    };
    for (const Row& row : rows) {
        const std::vector<Stand> stands{standWith({optionAt(row.optionSlot)})};
        EXPECT_EQ(pairOf(stands, row.category, row.now), row.found ? "DLH100/DLH101" : "/")
            << row.category << " at " << row.now << ", option at " << row.optionSlot;
    }

    const std::vector<Stand> base{standWith({optionAt(25)})};
    EXPECT_EQ(pairOf(base, Large, 25, "DLH100"), "DLH100/DLH101") << "the first callsign, no '_'";
    EXPECT_EQ(pairOf(base, Large, 25, "DLH102"), "/");
    EXPECT_EQ(pairOf(base, Large, 25, ""), "/");
    EXPECT_EQ(pairOf(base, Large, 25, "_"), "/");
    std::vector<Stand> changed = base;
    changed[0].options[0].key.airline = gf_internAirlineCode("BAW");
    EXPECT_EQ(pairOf(changed, Large, 25), "/") << "another airline";
    changed = base;
    changed[0].options[0].callsign2.clear();
    EXPECT_EQ(pairOf(changed, Large, 25, "DLH100"), "/") << "no second callsign";
    changed = base;
    changed[0].options[0].number = 0;
    EXPECT_EQ(pairOf(changed, Large, 25), "/") << "void";
    changed = base;
    changed[0].options[0].day = 3;
    EXPECT_EQ(pairOf(changed, Large, 25), "/") << "another day";
    // Over all stands, the first option that fits wins.
    StandOption other = optionAt(26);
    other.callsign1 = "DLH900";
    const std::vector<Stand> two{standWith({optionAt(2)}), standWith({other, optionAt(25)})};
    EXPECT_EQ(pairOf(two, Large, 25), "DLH900/DLH101");
}

// The search and its indexed form (which the planner asks for every parked
// record) give the same stand for every text.
TEST_F(StandOptionsTest, NameWordSearch) {
    std::vector<Stand> stands;
    const auto add = [&](std::string name, double latitude) {
        stands.emplace_back(std::move(name), std::vector<StandOption>{}, latitude, 11.0, 0.0, 20.0,
                            ParkingType::GATE_SMALL, false, false, false);
        stands.back().id = static_cast<std::uint32_t>(stands.size());
    };
    add("Gate A12", 47.0);
    add("Gate 12", 47.0);
    add("Far 7", 47.01);
    add("Apron B 12-B 12", 47.0);
    add("Ramp 7/8", 47.01);  // as far as Far 7, after it
    add("Stand 7-8", 47.0);
    add("Pad -9", 47.0);
    add("Apron *", 47.0);
    const LaLo here{47.0, 11.0};
    const struct {
        const char* text;
        LaLo at;
        std::uint32_t id;
    } rows[] = {
        {"GATE 12", here, 2},    {"GATE A12", here, 1},
        {"GATE ", here, 0},  // five characters
        {"PARK 7", here, 6},     // Far 7 and Ramp 7/8 lie more than 250 m away
        {"PARK 7", LaLo{47.0099, 11.0}, 3},
        {"PARK B 12", here, 4},  // a word with a blank in it
        {"PARK -9", here, 7},    // a word that starts with no letter or digit
        {"PARK -8", here, 0},    // the 7 just before it makes it part of a word
        {"PARK 7/8", LaLo{47.0099, 11.0}, 5},
        {"PARK A1", here, 0},    // part of a word only
        {"PARK --", here, 0},    // no letter or digit at all
        {"PARK *", here, 8},
        {"PARK 2-B", here, 0},
    };
    const StandNameWords indexed(stands);
    for (const auto& row : rows) {
        EXPECT_EQ(gf_findStandByNameWord(stands, row.text, row.at), row.id) << row.text;
        EXPECT_EQ(indexed.find(row.text, row.at), row.id) << row.text << " (indexed)";
    }
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

// The filed stands give the walk's answer everywhere: across the squares'
// edges, far from the airport, and at an airport on the date line.
TEST(NearestStandTest, TheGridFindsWhatTheWalkFinds) {
    std::mt19937 random(17);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const ParkingType types[] = {ParkingType::GATE_HEAVY, ParkingType::GATE_MEDIUM, ParkingType::RAMP_GA_SMALL,
                                 ParkingType::NONE};
    StandOption option;
    option.callsign1 = "AUA1";
    option.number = 1;
    option.real = 1;
    for (const double originLon : {11.0, 179.9992}) {
        // 200 stands about 25 m apart, some blocked, some helipads, some with
        // an option for the aircraft's fallback.
        std::vector<Stand> stands;
        for (int i = 0; i < 200; ++i) {
            const double north = (i / 20) * 25.0 + unit(random) * 10.0, east = (i % 20) * 25.0 + unit(random) * 10.0;
            Stand& stand = stands.emplace_back(fmt::format("P{}", i), std::vector<StandOption>{},
                                               47.0 + north / 1852.0 / 60.0,
                                               originLon + east / 1852.0 / 60.0 / std::cos(47.0 * 0.017453292519943295),
                                               0.0, 40.0, types[i % 4], false, false, i % 13 == 0);
            if (stand.longitude > 180.0) stand.longitude -= 360.0;
            stand.id = static_cast<std::uint32_t>(i + 1);
            stand.blocked = i % 11 == 0;
            if (i % 3 == 0) stand.options = {option};
        }
        const StandGrid grid(stands);
        int found = 0;
        for (int query = 0; query < 600; ++query) {
            const double north = -100.0 + unit(random) * 450.0, east = -100.0 + unit(random) * 700.0;
            LaLo at{47.0 + north / 1852.0 / 60.0,
                    originLon + east / 1852.0 / 60.0 / std::cos(47.0 * 0.017453292519943295)};
            if (query % 100 == 0) at = LaLo{-47.0, originLon - 180.0};  // the other side of the world
            if (at.lon > 180.0) at.lon -= 360.0;
            const AcInfo aircraft = aircraftOf(query % 5 == 0 ? Rotorcraft : Large, 20.0 + query % 40, 90.0);
            for (const bool fallback : {true, false}) {
                double walked = 0.0, filed = 0.0;
                const Stand* byWalk = gf_findNearestStand(stands, at, aircraft, walked, fallback);
                const Stand* byGrid = grid.findNearest(at, aircraft, filed, fallback);
                ASSERT_EQ(byGrid, byWalk) << originLon << " query " << query;
                EXPECT_EQ(filed, walked);
                found += byWalk != nullptr ? 1 : 0;
            }
        }
        EXPECT_GT(found, 300) << "most positions lie among the stands";
    }
    // Two stands exactly as far north and south, in squares of their own (and
    // more stands elsewhere than squares looked at): the first of the vector,
    // as the walk finds it.
    std::vector<Stand> pair;
    for (int i = 0; i < 40; ++i) {
        const double north = i == 0 ? 1.0 / 2048.0 : i == 1 ? -1.0 / 2048.0 : 0.05 + i * 0.01;
        pair.emplace_back("N", std::vector<StandOption>{}, 47.0 + north, 11.0, 0.0, 40.0, ParkingType::GATE_HEAVY,
                          false, false, false);
        pair.back().id = static_cast<std::uint32_t>(pair.size());
    }
    double metres = 0.0;
    EXPECT_EQ(StandGrid(pair).findNearest(LaLo{47.0, 11.0}, aircraftOf(Large, 70, 70), metres, false), &pair[0]);
}

}  // namespace
