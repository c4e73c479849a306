// The code tables: interning, the fixes switch, full tables, categories,
// cargo, wing radii, and the key's text.

#include <gtest/gtest.h>

#include <fmt/format.h>

#include "liveries/ac_key.h"
#include "liveries/code_tables.h"
#include "liveries/dbase.h"
#include "support/dbase_builder.h"

using tavo::test::DbaseBuilder;

namespace {

class CodeTables : public ::testing::Test {
protected:
    void SetUp() override { gf_resetAircraftDatabaseForTest(); }
    void TearDown() override { gf_resetAircraftDatabaseForTest(); }
};

TEST_F(CodeTables, InterningIsStableAndAppendsAtTheEnd) {
    EXPECT_EQ(gf_internAirlineCode(""), 0) << "index 0 is the empty text from the start";
    EXPECT_EQ(gf_airlineCodeAt(0), "");
    for (int round = 0; round < 2; ++round) {
        const std::size_t before = gf_modelCodeCount();
        const std::uint16_t fresh = gf_internModelCode(fmt::format("NEW{}", round));
        EXPECT_EQ(fresh, before) << "a new code takes the table's previous length";
        EXPECT_EQ(gf_internModelCode(fmt::format("NEW{}", round)), fresh);
        EXPECT_EQ(gf_getModelIndex(fmt::format("NEW{}", round)), fresh);
        EXPECT_EQ(gf_modelCodeCount(), before + 1);
    }
    const std::string_view text = gf_modelCodeAt(1);
    for (int i = 0; i < 5000; ++i) gf_internModelCode(fmt::format("GROW{}", i));
    EXPECT_EQ(text, "NEW0") << "entries never move while the table grows";
    EXPECT_EQ(gf_modelCodeAt(static_cast<std::uint16_t>(gf_modelCodeCount())), "") << "past the end";
    EXPECT_EQ(gf_airlineCodeAt(65535), "");
    // Codes are exact texts.
    EXPECT_NE(gf_internAirlineCode("dlh"), gf_internAirlineCode("DLH"));
    EXPECT_NE(gf_internAirlineCode("DLH "), gf_internAirlineCode("DLH"));
}

TEST_F(CodeTables, AFullTableGivesNoneForNewCodes) {
    for (std::size_t i = gf_airlineCodeCount(); i < kMaxCodesPerTable; ++i)
        ASSERT_EQ(gf_internAirlineCode(fmt::format("A{}", i)), i);
    ASSERT_EQ(gf_airlineCodeCount(), kMaxCodesPerTable);
    EXPECT_EQ(gf_internAirlineCode("ONE MORE"), 0);
    EXPECT_EQ(gf_internAirlineCode("AND ANOTHER"), 0);
    EXPECT_EQ(gf_airlineCodeCount(), kMaxCodesPerTable);
    EXPECT_EQ(gf_airlineCodeAt(1), "A1");
    EXPECT_EQ(gf_airlineCodeAt(65535), "A65535");
    EXPECT_EQ(gf_internAirlineCode("A1"), 1);
    EXPECT_EQ(gf_internAirlineCode("A65535"), 65535);
}

TEST_F(CodeTables, FixesApplyOnlyOnceSwitchedOnAndToNewCodes) {
    DbaseBuilder b;
    b.aircrafts = {"A20N", "B38M"};
    b.fix("A32N", "A20N").fix("B7M8", "B38M");
    // Before the database: no fixes at all.
    const std::uint16_t early = gf_internModelCode("A32N");
    EXPECT_EQ(gf_modelCodeAt(early), "A32N");
    EXPECT_FALSE(gf_findTypeFix("A32N"));
    tavo::test::loadDbase(b);
    const std::uint16_t b38m = gf_internModelCode("B38M");
    const std::size_t size = gf_modelCodeCount();
    EXPECT_EQ(gf_internModelCode("B7M8"), b38m);
    EXPECT_EQ(gf_internModelCode("B7M8"), b38m) << "every look-up goes through the fix";
    EXPECT_EQ(gf_modelCodeCount(), size);
    EXPECT_FALSE(gf_findTypeFix("b7m8"));

    // A code interned before the switch keeps its own index.
    AircraftCodeSets before;
    before.modelFixes = gf_aircraftCodeSets().modelFixes;
    const std::uint16_t own = gf_internModelCode("A32N", before);
    EXPECT_NE(own, gf_internModelCode("A20N"));
    EXPECT_EQ(gf_internModelCode("A32N"), own);
}

TEST_F(CodeTables, CategoriesFollowTheClassOrder) {
    DbaseBuilder b;
    // Each model in the classes listed; the category is the first of large,
    // heavy, bizjet, two-prop, rotorcraft, high-performance.
    b.aircrafts = {"LH", "HB", "BT", "TR", "RH", "H", "L"};
    b.large = {"LH", "L"};
    b.heavy = {"LH", "HB", "H"};
    b.bizjet = {"HB", "BT"};
    b.twoProps = {"BT", "TR"};
    b.rotorcraft = {"TR", "RH"};
    b.highPerf = {"RH"};
    tavo::test::loadDbase(b);
    const std::pair<const char*, ModelCategory> cases[] = {{"LH", Large},    {"HB", Heavy},    {"BT", Bizjet},
                                                           {"TR", TwoProps}, {"RH", Rotorcraft}, {"H", Heavy},
                                                           {"L", Large},     {"NONE", Light}};
    for (const auto& [code, category] : cases) {
        EXPECT_EQ(gf_getModelCategory(gf_internModelCode(code)), category) << code;
        EXPECT_EQ(gf_getModelCodeCategory(code), category) << code;
    }
    EXPECT_EQ(gf_getModelCategory(65535), Light);
    EXPECT_EQ(gf_modelCategoryName(Rotorcraft), "Rotorcraft");
    EXPECT_EQ(gf_modelCategoryName(7), "?");
}

TEST_F(CodeTables, WingRadiiNeverFallBackTo35NauticalMiles) {
    DbaseBuilder b;
    b.aircrafts = {"A388", "C172"};
    b.wingspan("A388", "79.75");
    EXPECT_EQ(gf_getWingspan(2700), 0.0) << "before the database nothing is known";
    tavo::test::loadDbase(b);
    const double largest = 79.75 * 0.5 / 1852;
    EXPECT_DOUBLE_EQ(gf_maxWingRadius(), largest);
    EXPECT_DOUBLE_EQ(gf_getWingspan(gf_internModelCode("A388")), largest);
    EXPECT_EQ(gf_getWingspan(gf_internModelCode("C172")), 0.0);
    EXPECT_EQ(gf_getWingspan(2699), 0.0);
    EXPECT_DOUBLE_EQ(gf_getWingspan(2700), largest);
    EXPECT_DOUBLE_EQ(gf_getWingspan(65535), largest);
}

TEST_F(CodeTables, KeyTextsOfBothFormsAndTheirOnlyDifference) {
    tavo::test::resetToSmallDbase();
    const std::uint16_t klm = gf_internAirlineCode("KLM"), klc = gf_internAirlineCode("KLC");
    const std::uint16_t b738 = gf_internModelCode("B738"), b06 = gf_internModelCode("B06");
    const std::uint16_t longOp = gf_internAirlineCode("ABCDE"), shortOp = gf_internAirlineCode("XY");
    struct Case {
        AcKey key;
        const char* text;       // gf_acKeyText
        const char* formatted;  // formatter<AcKey>
    };
    const Case cases[] = {
        {{klm, 0, b738, 0, 0}, "KLM     B738    ", "KLM     B738    "},
        {{klm, klc, b738, 0, 0}, "KLM,KLC B738    ", "KLM,KLC B738    "},
        {{klm, 0, b738, 1, 1}, "KLM     B738.(C)", "KLM     B738.(C)"},
        {{klm, 0, b06, 0, 1}, "KLM     B06 .   ", "KLM     B06 .   "},
        {{0, 0, 0, 0, 0}, "                ", "                "},
        {{klm, longOp, b738, 0, 0}, "KLM,ABCDE B738    ", "KLM,ABCDE B738    "},
        {{klm, shortOp, b738, 0, 0}, "KLM,XY  B738    ", "KLM,XY B738    "},
        {{klm, 60000, b738, 0, 0}, "KLM,    B738    ", "KLM, B738    "},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(gf_acKeyText(c.key), c.text);
        EXPECT_EQ(fmt::format("{}", c.key), c.formatted);
    }
}

}  // namespace
