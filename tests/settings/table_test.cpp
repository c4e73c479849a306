// The parameter table checked key by key against an independent transcription:
// kind, default, limits and control binding in table order, then each registry
// with its own order.

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "foundation/text.h"
#include "settings_test_support.h"

namespace {

enum class Kind { Int, Bool, GuiBool, String, GuiString, Path, Choice, Dynamic, NumericList, FloatList, Button };

struct Row {
    std::string key;
    Kind kind;
    std::string defaultText;  // as parameters.xml would hold it; "" for buttons
    double minimum = 0;       // numbers only
    double maximum = 0;
    int controlId = 0;  // 0: no control
    int x = 0, labelX = 0, y = 0, yOffset = 0;
};

// Transcribed from the table, in table order.
const std::vector<Row>& expectedRows() {
    static const std::vector<Row> rows{
        {"SIM_CHOICE", Kind::Choice, "MSFS 2024", 0, 0, 0x800A, 657, 657, 167, -7},
        {"RT_CHOISE", Kind::Choice, "RT Direct", 0, 0, 0x800B, 657, 657, 135, -7},
        {"QNH_UNIT", Kind::Choice, "QNH hPa", 0, 0, 0x8010, 775, 775, 135, -7},
        {"PORT_NUMBER", Kind::String, "10747", 0, 0, 0, 0, 0, 0, 0},
        {"PSX_SERVER_HERE", Kind::Bool, "true", 0, 0, 0, 0, 0, 0, 0},
        {"AEROWINX", Kind::GuiBool, "false", 0, 0, 0x8006, 657, 677, 271, 1},
        {"MSFS_INSTALL_PATH", Kind::Path, "", 0, 0, 0, 0, 0, 0, 0},
        {"MSFS_2024_INSTALL_PATH", Kind::Path, "", 0, 0, 0, 0, 0, 0, 0},
        {"ALWAYS_ON_TOP", Kind::GuiBool, "false", 0, 0, 0x8005, 775, 795, 175, 1},
        {"COLLAPSED", Kind::Bool, "true", 0, 0, 0, 0, 0, 0, 0},
        {"MAIN_WINDOW_X", Kind::Int, "400", -30000, 30000, 0, 0, 0, 0, 0},
        {"MAIN_WINDOW_Y", Kind::Int, "20", -30000, 30000, 0, 0, 0, 0, 0},

        {"SKIP_AIRPORT_SCAN", Kind::GuiBool, "false", 0, 0, 0x8011, 113, 133, 135, 1},
        {"Tblo", Kind::Button, "", 0, 0, 0x8019, 222, 222, 135, -4},
        {"SKIP_LIVERIES_SCAN", Kind::GuiBool, "false", 0, 0, 0x8012, 113, 133, 167, 1},
        {"LIG_AUTOMATIC", Kind::GuiBool, "true", 0, 0, 0x8014, 222, 242, 167, 1},
        {"AI_PACKAGE_SELECTOR", Kind::Choice, "AIG, FSLTL, JF, MTL", 0, 0, 0x800C, 331, 331, 167, -5},
        {"LIG_PRIORITIZE", Kind::GuiBool, "true", 0, 0, 0x8015, 548, 568, 167, 1},
        {"lfolder0", Kind::String, "", 0, 0, 0, 0, 0, 0, 0},
        {"lfolder1", Kind::String, "", 0, 0, 0, 0, 0, 0, 0},
        {"lfolder2", Kind::String, "", 0, 0, 0, 0, 0, 0, 0},
        {"lfolder3", Kind::String, "", 0, 0, 0, 0, 0, 0, 0},
        {"lfolder4", Kind::String, "", 0, 0, 0, 0, 0, 0, 0},
        {"lfolder5", Kind::String, "", 0, 0, 0, 0, 0, 0, 0},
        {"lfolder6", Kind::String, "", 0, 0, 0, 0, 0, 0, 0},
        {"lfolder7", Kind::String, "", 0, 0, 0, 0, 0, 0, 0},
        {"lfolder8", Kind::String, "", 0, 0, 0, 0, 0, 0, 0},
        {"lfolder9", Kind::String, "", 0, 0, 0, 0, 0, 0, 0},

        {"RANGE_GROUND", Kind::Int, "10", 2, 100, 0, 0, 0, 0, 0},
        {"RANGE_1", Kind::Int, "20", 2, 100, 0, 0, 0, 0, 0},
        {"RANGE_2", Kind::Int, "40", 2, 100, 0, 0, 0, 0, 0},
        {"RANGE_3", Kind::Int, "50", 1, 100, 0, 0, 0, 0, 0},
        {"RANGE_ABOVE", Kind::Int, "60", 2, 100, 0, 0, 0, 0, 0},
        {"FLIGHT_LEVEL_1", Kind::Int, "100", 2, 480, 0, 0, 0, 0, 0},
        {"FLIGHT_LEVEL_2", Kind::Int, "200", 2, 480, 0, 0, 0, 0, 0},
        {"FLIGHT_LEVEL_3", Kind::Int, "300", 2, 480, 0, 0, 0, 0, 0},
        {"RANGE", Kind::NumericList, "40", 2, 100, 0x8022, 113, 188, 375, -5},
        {"AUTO_RANGE", Kind::GuiBool, "true", 0, 0, 0x8023, 222, 242, 375, 1},

        {"ALL_AIR_GND_SELECTOR", Kind::Choice, "All traffic", 0, 0, 0x8028, 5, 5, 239, -2},
        {"MAX_LIVE_SEL", Kind::NumericList, "500", 0, 500, 0x8038, 494, 569, 375, -5},
        {"HOLDING_THRESHOLD_METERS", Kind::NumericList, "250", 10, 900, 0x801A, 113, 188, 407, -5},
        {"MAX_HOLDING_MINUTES", Kind::NumericList, "3", 1, 60, 0x8025, 385, 460, 407, -5},
        {"MATCHING_DEPTH", Kind::NumericList, "4", 1, 7, 0x801B, 113, 5, 439, -7},
        {"TCAS_FL", Kind::NumericList, "180", 100, 440, 0x8024, 222, 297, 439, -7},
        {"TWO_PROPS", Kind::GuiBool, "true", 0, 0, 0x801E, 113, 133, 471, 1},
        {"LIGHT_AIRCRAFT", Kind::GuiBool, "true", 0, 0, 0x801F, 222, 242, 471, 1},
        {"HELICOPTERS", Kind::GuiBool, "true", 0, 0, 0x8020, 331, 351, 471, 1},
        {"HIGH_PERF_AIRCRAFT", Kind::GuiBool, "true", 0, 0, 0x8021, 440, 460, 471, 1},

        {"COLLISION_USER_GND", Kind::GuiBool, "true", 0, 0, 0x802F, 494, 514, 239, 1},
        {"COLLISION_USER_AIR", Kind::GuiBool, "true", 0, 0, 0x802E, 494, 514, 271, 1},

        {"Aircraft", Kind::Button, "", 0, 0, 0x8029, 222, 222, 239, 0},
        {"AIRCRAFT_SELECTOR", Kind::Dynamic, "", 0, 0, 0x802A, 5, 5, 271, -2},
        {"Block", Kind::Button, "", 0, 0, 0x802B, 5, 5, 303, 2},
        {"Unblock", Kind::Button, "", 0, 0, 0x802C, 113, 113, 303, 2},
        {"BLOCK_AIRCRAFT", Kind::String, "", 0, 0, 0, 0, 0, 0, 0},
        {"BLOCK_CALLSIGN", Kind::String, "", 0, 0, 0, 0, 0, 0, 0},
        {"BLOCK_REGCODE", Kind::String, "", 0, 0, 0, 0, 0, 0, 0},
        {"BLOCK_HEXIDDEC", Kind::Int, "0", 0, 16777215, 0, 0, 0, 0, 0},

        {"PARKING_INTERVAL_MINUTES", Kind::NumericList, "20", 10, 1440, 0x803B, 657, 732, 479, -5},
        {"Park", Kind::Button, "", 0, 0, 0x8036, 765, 765, 511, -2},
        {"DESTINATION", Kind::GuiString, "", 0, 0, 0x8033, 5, 80, 543, -4},
        {"STAND_SELECTOR", Kind::Dynamic, "", 0, 0, 0x8032, 167, 341, 543, -3},
        {"AIRP_RANGE", Kind::NumericList, "20", 5, 30, 0x8034, 494, 569, 543, -5},
        {"AIRP_HEIGHT", Kind::NumericList, "18000", 2000, 48000, 0x8035, 657, 755, 543, -5},
        {"RT_PARKTRAFFIC_ONLY", Kind::GuiBool, "false", 0, 0, 0x8040, 5, 25, 575, 1},
        {"MAX_FIT", Kind::Int, "47", 0, 47, 0, 0, 0, 0, 0},
        {"MAX_FIT_FL", Kind::FloatList, "24", 0.5, 24.0, 0x803E, 222, 297, 575, -5},
        {"MAX_PARK_SEL", Kind::NumericList, "500", 0, 500, 0x8037, 385, 460, 575, -5},
        {"parking_percentage", Kind::NumericList, "30", 0, 100, 0x8039, 113, 188, 607, -5},
        {"AUTO_PARK", Kind::GuiBool, "true", 0, 0, 0x803A, 5, 25, 607, 1},
        {"WEEK", Kind::GuiBool, "false", 0, 0, 0x803D, 331, 351, 607, 1},
        {"PARK_SOFT", Kind::GuiBool, "false", 0, 0, 0x803C, 494, 514, 607, 1},
        {"Flush", Kind::Button, "", 0, 0, 0x8041, 765, 765, 607, 2},

        {"RANDOM", Kind::GuiBool, "true", 0, 0, 0x800E, 657, 677, 239, 1},
        {"FLIGHT_MESSAGES", Kind::GuiBool, "true", 0, 0, 0x801C, 765, 785, 239, 1},
        {"GUID_CHANGES", Kind::GuiBool, "true", 0, 0, 0x8007, 765, 785, 271, 1},
        {"OBJECTID_LIST", Kind::GuiBool, "false", 0, 0, 0x8008, 657, 677, 303, 1},
        {"NAV_LIGHTS_WHILE_PARKED", Kind::GuiBool, "true", 0, 0, 0x8009, 765, 785, 303, 1},

        {"Set", Kind::Button, "", 0, 0, 0x8048, 657, 657, 372, -2},
        {"TIME_SHIFT_DAYS", Kind::NumericList, "0", 0, 13, 0x8046, 765, 840, 375, -5},
        {"TIME_SHIFT_HOURS", Kind::NumericList, "0", 0, 23, 0x8047, 765, 840, 407, -5},
        {"TIME_SHIFT_MINS", Kind::NumericList, "0", 0, 59, 0x8049, 765, 840, 439, -5},
        {"SIM_TIME", Kind::GuiBool, "false", 0, 0, 0x804A, 657, 677, 407, 1},
        {"KEEP_SIM_TIME_PAR", Kind::GuiBool, "false", 0, 0, 0x804B, 657, 677, 439, 1},

        {"PROGRAM_VERSION", Kind::String, "", 0, 0, 0, 0, 0, 0, 0},
        {"AIG_VERSION", Kind::String, "", 0, 0, 0, 0, 0, 0, 0},
        {"ARCHIVES_VERSION", Kind::String, "", 0, 0, 0, 0, 0, 0, 0},
        {"DBASE_VERSION", Kind::String, "", 0, 0, 0, 0, 0, 0, 0},
        {"WEEKLY_TRAFFIC_AIRPORTS_VERSION", Kind::String, "", 0, 0, 0, 0, 0, 0, 0},
        {"AIRPORTS_VERSION", Kind::String, "", 0, 0, 0, 0, 0, 0, 0},
        {"LAST_EPOCH_TIME:", Kind::Int, "0", 0, 2147483647, 0, 0, 0, 0, 0},
    };
    return rows;
}

// The most derived kind of a table object.
Kind kindOf(const Parameter& p) {
    if (dynamic_cast<const NumericListOption*>(&p)) return Kind::NumericList;
    if (dynamic_cast<const FloatListOption*>(&p)) return Kind::FloatList;
    if (dynamic_cast<const IntParameter*>(&p)) return Kind::Int;
    if (dynamic_cast<const GuiBoolParameter*>(&p)) return Kind::GuiBool;
    if (dynamic_cast<const BoolParameter*>(&p)) return Kind::Bool;
    if (dynamic_cast<const ChoiceOption*>(&p)) return Kind::Choice;
    if (dynamic_cast<const DynamicListOption*>(&p)) return Kind::Dynamic;
    if (dynamic_cast<const StringOption*>(&p)) return Kind::GuiString;
    if (dynamic_cast<const StringParameter*>(&p)) return Kind::String;
    if (dynamic_cast<const PathParameter*>(&p)) return Kind::Path;
    if (dynamic_cast<const GuiButton*>(&p)) return Kind::Button;
    ADD_FAILURE() << p.name << " is of no known kind";
    return Kind::Button;
}

std::string defaultTextOf(const Parameter& p) {
    if (auto* q = dynamic_cast<const IntParameter*>(&p)) return fmt::format("{}", q->defaultValue());
    if (auto* q = dynamic_cast<const FloatParameter*>(&p)) return fmt::format("{}", q->defaultValue());
    if (auto* q = dynamic_cast<const BoolParameter*>(&p)) return q->defaultValue() ? "true" : "false";
    if (auto* q = dynamic_cast<const StringParameter*>(&p)) return q->defaultValue();
    if (auto* q = dynamic_cast<const PathParameter*>(&p)) return gf_pathToUtf8(q->defaultValue());
    return "";
}

template <class T>
std::vector<std::string> namesOf(const std::vector<T*>& registry) {
    std::vector<std::string> names;
    for (const T* p : registry) names.push_back(p == nullptr ? "<null>" : p->name);
    return names;
}

using tavo::test::SettingsTest;

TEST_F(SettingsTest, EveryTableObjectMatchesItsRowInTableOrder) {
    const auto& rows = expectedRows();
    ASSERT_EQ(allTableParameters.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        const Parameter& p = *allTableParameters[i];
        SCOPED_TRACE(row.key);
        EXPECT_EQ(p.name, row.key);
        EXPECT_EQ(kindOf(p), row.kind);
        EXPECT_EQ(defaultTextOf(p), row.defaultText);
        EXPECT_EQ(gf_parameterValueText(p), row.defaultText) << "value starts at the default";
        if (auto* q = dynamic_cast<const IntParameter*>(&p)) {
            EXPECT_EQ(q->minimum(), row.minimum);
            EXPECT_EQ(q->maximum(), row.maximum);
        }
        if (auto* q = dynamic_cast<const FloatParameter*>(&p)) {
            EXPECT_EQ(q->minimum(), row.minimum);
            EXPECT_EQ(q->maximum(), row.maximum);
        }
        const auto* control = dynamic_cast<const GuiControl*>(&p);
        if (row.controlId == 0) {
            EXPECT_EQ(control, nullptr) << "has a control it should not have";
        } else {
            ASSERT_NE(control, nullptr);
            EXPECT_EQ(control->controlId, row.controlId);
            EXPECT_EQ(control->x, row.x);
            EXPECT_EQ(control->labelX, row.labelX);
            EXPECT_EQ(control->y, row.y);
            EXPECT_EQ(control->yOffset, row.yOffset);
            EXPECT_FALSE(control->hasControl());
        }
    }
}

TEST_F(SettingsTest, RegistriesHoldExactlyTheStoredKeysInTheirOrder) {
    EXPECT_EQ(namesOf(boolParameters), (std::vector<std::string>{"PSX_SERVER_HERE", "COLLAPSED"}));
    EXPECT_EQ(namesOf(guiBoolParameters),
              (std::vector<std::string>{"SKIP_AIRPORT_SCAN", "SKIP_LIVERIES_SCAN", "LIG_PRIORITIZE",
                                        "LIG_AUTOMATIC", "COLLISION_USER_GND", "COLLISION_USER_AIR",
                                        "RANDOM", "ALWAYS_ON_TOP", "FLIGHT_MESSAGES", "AEROWINX",
                                        "GUID_CHANGES", "OBJECTID_LIST", "NAV_LIGHTS_WHILE_PARKED",
                                        "AUTO_RANGE", "TWO_PROPS", "LIGHT_AIRCRAFT", "HELICOPTERS",
                                        "HIGH_PERF_AIRCRAFT", "SIM_TIME", "KEEP_SIM_TIME_PAR", "WEEK",
                                        "PARK_SOFT", "RT_PARKTRAFFIC_ONLY", "AUTO_PARK"}));
    EXPECT_EQ(namesOf(intParameters),
              (std::vector<std::string>{"MAIN_WINDOW_X", "MAIN_WINDOW_Y", "PARKING_INTERVAL_MINUTES",
                                        "LAST_EPOCH_TIME:", "BLOCK_HEXIDDEC", "MAX_FIT", "RANGE_GROUND",
                                        "RANGE_1", "RANGE_2", "RANGE_3", "RANGE_ABOVE", "FLIGHT_LEVEL_1",
                                        "FLIGHT_LEVEL_2", "FLIGHT_LEVEL_3"}));
    EXPECT_EQ(namesOf(listOptions),
              (std::vector<std::string>{"RANGE", "HOLDING_THRESHOLD_METERS", "MAX_HOLDING_MINUTES",
                                        "TIME_SHIFT_DAYS", "TIME_SHIFT_HOURS", "MATCHING_DEPTH", "TCAS_FL",
                                        "TIME_SHIFT_MINS", "MAX_PARK_SEL", "MAX_LIVE_SEL", "AIRP_RANGE",
                                        "AIRP_HEIGHT", "parking_percentage"}));
    std::vector<std::string> strings{"PROGRAM_VERSION", "AI_PACKAGE_SELECTOR", "AIG_VERSION",
                                     "ARCHIVES_VERSION", "DBASE_VERSION", "WEEKLY_TRAFFIC_AIRPORTS_VERSION",
                                     "AIRPORTS_VERSION", "PORT_NUMBER"};
    for (int i = 0; i < 10; ++i) strings.push_back(fmt::format("lfolder{}", i));
    for (const char* k : {"BLOCK_AIRCRAFT", "BLOCK_CALLSIGN", "BLOCK_REGCODE", "DESTINATION"}) strings.push_back(k);
    EXPECT_EQ(namesOf(stringParameters), strings);
    EXPECT_EQ(namesOf(pathParameters), (std::vector<std::string>{"MSFS_INSTALL_PATH", "MSFS_2024_INSTALL_PATH"}));
    EXPECT_EQ(namesOf(choiceOptions),
              (std::vector<std::string>{"ALL_AIR_GND_SELECTOR", "SIM_CHOICE", "RT_CHOISE", "QNH_UNIT"}));
    std::set<std::string> stored;
    for (const auto& names : {namesOf(boolParameters), namesOf(guiBoolParameters), namesOf(intParameters),
                              namesOf(listOptions), namesOf(stringParameters), namesOf(pathParameters),
                              namesOf(choiceOptions)}) {
        stored.insert(names.begin(), names.end());
    }
    EXPECT_EQ(stored.size(), 81u) << "every stored key in exactly one registry";

}

TEST_F(SettingsTest, ControlIdsAreUniqueAndInTheWindowsRange) {
    std::map<int, std::string> seen;
    for (const Parameter* p : allTableParameters) {
        const auto* control = dynamic_cast<const GuiControl*>(p);
        if (control == nullptr) continue;
        EXPECT_GE(control->controlId, 0x8005) << p->name;
        EXPECT_LE(control->controlId, 0x804B) << p->name;
        const auto [it, inserted] = seen.emplace(control->controlId, p->name);
        EXPECT_TRUE(inserted) << p->name << " shares its id with " << it->second;
    }
    EXPECT_EQ(seen.size(), 54u);
}

TEST_F(SettingsTest, AllowedValueListsAreTheTablesInTheirOrder) {
    auto steps = [](int from, int to, int step) {
        std::vector<std::int32_t> v;
        for (int i = from; i <= to; i += step) v.push_back(i);
        return v;
    };
    const std::vector<std::int32_t> counts{0, 5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 75, 100, 200, 500};
    EXPECT_EQ(RANGE.allowedValues(), steps(2, 100, 1));
    EXPECT_EQ(MAX_LIVE_SEL.allowedValues(), counts);
    EXPECT_EQ(MAX_PARK_SEL.allowedValues(), counts);
    EXPECT_EQ(HOLDING_THRESHOLD_METERS.allowedValues(),
              (std::vector<std::int32_t>{10, 50, 100, 150, 200, 250, 300, 350, 400, 450, 500, 600, 700, 800, 900}));
    EXPECT_EQ(MAX_HOLDING_MINUTES.allowedValues(), steps(1, 60, 1));
    EXPECT_EQ(MATCHING_DEPTH.allowedValues(), steps(1, 7, 1));
    EXPECT_EQ(TCAS_FL.allowedValues(),
              (std::vector<std::int32_t>{100, 120, 140, 160, 180, 200, 220, 240, 260, 280, 300, 320, 440}));
    EXPECT_EQ(PARKING_INTERVAL_MINUTES.allowedValues(),
              (std::vector<std::int32_t>{10, 15, 20, 25, 30, 40, 50, 60, 90, 1440}));
    EXPECT_EQ(AIRP_RANGE.allowedValues(), steps(5, 30, 5));
    EXPECT_EQ(AIRP_HEIGHT.allowedValues(),
              (std::vector<std::int32_t>{2000, 4000, 6000, 8000, 10000, 12000, 14000, 16000, 18000, 36000, 48000}));
    EXPECT_EQ(parking_percentage.allowedValues(), steps(0, 100, 5));
    EXPECT_EQ(TIME_SHIFT_DAYS.allowedValues(), steps(0, 13, 1));
    EXPECT_EQ(TIME_SHIFT_HOURS.allowedValues(), steps(0, 23, 1));
    EXPECT_EQ(TIME_SHIFT_MINS.allowedValues(), steps(0, 59, 1));
    ASSERT_EQ(MAX_FIT_FL.allowedValues().size(), 48u);
    for (std::size_t i = 0; i < 48; ++i) EXPECT_EQ(MAX_FIT_FL.allowedValues()[i], 0.5f * float(i + 1));

    EXPECT_EQ(SIM_CHOICE.choices(), (std::vector<std::string>{"MSFS 2020", "MSFS 2024"}));
    EXPECT_EQ(RT_CHOISE.choices(), (std::vector<std::string>{"RT Direct", "RT App"}));
    EXPECT_EQ(QNH_UNIT.choices(), (std::vector<std::string>{"QNH hPa", "QNH inHg"}));
    EXPECT_EQ(ALL_AIR_GND_SELECTOR.choices(),
              (std::vector<std::string>{"All traffic", "Airborne only", "Ground only"}));
    for (const DynamicListOption* selector : {&AIRCRAFT_SELECTOR, &STAND_SELECTOR}) {
        const auto list = selector->choices();
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(*list, std::vector<std::string>{""});
    }
}

// The package choices, generated from their description: orders of four, of
// three (by set), ordered pairs (ranking order first, then reversed), singles.
std::vector<std::string> generatedPackageChoices() {
    const std::vector<std::string> names{"AIG", "FSLTL", "JF", "MTL"};
    auto join = [&](const std::vector<int>& order) {
        std::string text;
        for (std::size_t i = 0; i < order.size(); ++i) text += (i ? ", " : "") + names[order[i]];
        return text;
    };
    std::vector<std::string> out;
    std::vector<int> all{0, 1, 2, 3};
    do out.push_back(join(all));
    while (std::next_permutation(all.begin(), all.end()));
    for (int left = 3; left >= 0; --left) {  // sets without MTL, without JF, without FSLTL, without AIG
        std::vector<int> set;
        for (int i = 0; i < 4; ++i) if (i != left) set.push_back(i);
        do out.push_back(join(set));
        while (std::next_permutation(set.begin(), set.end()));
    }
    for (int a = 0; a < 4; ++a) {
        for (int b = a + 1; b < 4; ++b) {
            out.push_back(join({a, b}));
            out.push_back(join({b, a}));
        }
    }
    for (int a = 0; a < 4; ++a) out.push_back(join({a}));
    return out;
}

TEST_F(SettingsTest, SixtyFourPackageChoicesInTheirOrder) {
    const auto& choices = AI_PACKAGE_SELECTOR.choices();
    ASSERT_EQ(choices.size(), 64u);
    EXPECT_EQ(choices, generatedPackageChoices());
    EXPECT_EQ(AI_PACKAGE_SELECTOR.valueAt(0), "AIG, FSLTL, JF, MTL");
    EXPECT_EQ(AI_PACKAGE_SELECTOR.valueAt(24), "AIG, FSLTL, JF");  // #25
    EXPECT_EQ(AI_PACKAGE_SELECTOR.valueAt(48), "AIG, FSLTL");      // #49
    EXPECT_EQ(AI_PACKAGE_SELECTOR.valueAt(63), "MTL");             // #64
}

}  // namespace

// The label painted beside each control, transcribed from the table; every
// other control (the choice combo boxes, the buttons) has none.
TEST_F(SettingsTest, EveryControlCarriesItsPaintedLabel) {
    const std::map<std::string, std::string> labels{
        {"AEROWINX", "Aerowinx"},
        {"ALWAYS_ON_TOP", "Stay on top"},
        {"SKIP_AIRPORT_SCAN", "skip scan"},
        {"SKIP_LIVERIES_SCAN", "skip scan"},
        {"LIG_AUTOMATIC", "automatic"},
        {"LIG_PRIORITIZE", "priority"},
        {"RANGE", "nm"},
        {"AUTO_RANGE", "auto radius"},
        {"MAX_LIVE_SEL", "max live"},
        {"HOLDING_THRESHOLD_METERS", "max holding mtrs"},
        {"MAX_HOLDING_MINUTES", "max holding minutes"},
        {"MATCHING_DEPTH", "depth:"},
        {"TCAS_FL", "with extra TCAS coverage above this FL"},
        {"TWO_PROPS", "two props"},
        {"LIGHT_AIRCRAFT", "light aircraft"},
        {"HELICOPTERS", "helicopters"},
        {"HIGH_PERF_AIRCRAFT", "fighter jets"},
        {"COLLISION_USER_GND", "user ground"},
        {"COLLISION_USER_AIR", "user air"},
        {"PARKING_INTERVAL_MINUTES", "update interval (min)"},
        {"DESTINATION", "destination"},
        {"STAND_SELECTOR", "reserved stand"},
        {"AIRP_RANGE", "range nm"},
        {"AIRP_HEIGHT", "below height"},
        {"RT_PARKTRAFFIC_ONLY", "RT parked only"},
        {"MAX_FIT_FL", "max fit hrs"},
        {"MAX_PARK_SEL", "max park"},
        {"parking_percentage", "target % "},
        {"AUTO_PARK", "auto park"},
        {"WEEK", "week"},
        {"PARK_SOFT", "soft"},
        {"RANDOM", "Random"},
        {"FLIGHT_MESSAGES", "Flight messages"},
        {"GUID_CHANGES", "GUID changes"},
        {"OBJECTID_LIST", "Objectids"},
        {"NAV_LIGHTS_WHILE_PARKED", "Nav lights"},
        {"TIME_SHIFT_DAYS", "day"},
        {"TIME_SHIFT_HOURS", "hour"},
        {"TIME_SHIFT_MINS", "min"},
        {"SIM_TIME", "Sim Time"},
        {"KEEP_SIM_TIME_PAR", "Keep"},
    };
    std::size_t labelled = 0;
    for (const Parameter* p : allTableParameters) {
        const auto* control = dynamic_cast<const GuiControl*>(p);
        if (control == nullptr) continue;
        SCOPED_TRACE(p->name);
        const auto it = labels.find(p->name);
        EXPECT_EQ(control->label, it == labels.end() ? std::string() : it->second);
        if (!control->label.empty()) ++labelled;
    }
    EXPECT_EQ(labelled, labels.size());
}

TEST_F(SettingsTest, SettingsBandHeadingsAndRowCaptionsAtTheirPlaces) {
    auto texts = [](const std::vector<SettingsBandText>& v) {
        std::vector<std::string> out;
        for (const auto& t : v) out.push_back(fmt::format("{}@{},{}", t.text, t.x, t.y));
        return out;
    };
    EXPECT_EQ(texts(settingsSectionHeadings),
              (std::vector<std::string>{"DATA SOURCES@5,103", "CONFIGURATION@657,103", "COLLISION AVOIDANCE@5,207",
                                        "MISC@657,207", "TRAFFIC INJECTION@5,343", "TIME SHIFT@657,343",
                                        "PARKING@5,511"}));
    EXPECT_EQ(texts(settingsRowCaptions),
              (std::vector<std::string>{"airports:@5,135", "liveries:@5,167", "radius:@5,375", "taxiing:@5,407",
                                        "include:@5,471"}));
}
