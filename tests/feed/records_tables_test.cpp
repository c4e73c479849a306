// The aircraft-database services the record builders stand on.

#include <gtest/gtest.h>

#include "feed/records_fixture.h"

using tavo::test::RecordsWorld;

class AircraftTables : public RecordsWorld {};

TEST_F(AircraftTables, InterningAppendsUnknownCodesOnce) {
    const auto dlh = gf_internAirlineCode("DLH");
    EXPECT_EQ(gf_internAirlineCode("DLH"), dlh);
    const auto fresh = gf_internAirlineCode("QQQ");
    EXPECT_GT(fresh, dlh);
    EXPECT_EQ(gf_internAirlineCode("QQQ"), fresh);
    EXPECT_EQ(gf_airlineCodeAt(fresh), "QQQ");
    EXPECT_EQ(gf_airlineCodeAt(60000), "");
    EXPECT_EQ(gf_internAirlineCode(""), 0);
    gf_resetAircraftTables();
    EXPECT_NE(gf_airlineCodeAt(fresh), "QQQ");
}

TEST_F(AircraftTables, TypeFixesMapToTheIndexedType) {
    EXPECT_EQ(gf_internModelCode("A32N"), gf_internModelCode("A20N"));
    EXPECT_EQ(gf_getModelIndex("B738"), gf_internModelCode("B738"));
    EXPECT_EQ(gf_findTypeFix("A32N"), std::optional<std::string>("A20N"));
    EXPECT_FALSE(gf_findTypeFix("a32n"));
}

TEST_F(AircraftTables, CategoriesCargoAndKnownTypes) {
    EXPECT_EQ(gf_getModelCategory(gf_internModelCode("B77W")), Heavy);
    EXPECT_EQ(gf_getModelCategory(gf_internModelCode("DH8D")), TwoProps);
    EXPECT_EQ(gf_getModelCategory(gf_internModelCode("EC35")), Rotorcraft);
    EXPECT_EQ(gf_getModelCategory(gf_internModelCode("QQ12")), Light);
    EXPECT_EQ(gf_modelCategoryName(HighPerf), "HighPerf");
    EXPECT_EQ(gf_modelCategoryName(7), "?");
    EXPECT_TRUE(gf_isKnownModelCode("A320"));
    EXPECT_FALSE(gf_isKnownModelCode(""));
    EXPECT_FALSE(gf_isKnownModelCode("a320"));

    AcKey key;
    key.type = gf_internModelCode("B77F");
    EXPECT_TRUE(gf_isCargo(key));
    key.type = gf_internModelCode("B738");
    EXPECT_FALSE(gf_isCargo(key));
    key.airline = gf_internAirlineCode("UPS");
    EXPECT_TRUE(gf_isCargo(key));
}

TEST_F(AircraftTables, RegistrationLookupTriesDashedForms) {
    ASSERT_TRUE(gf_findRegistration("G-STBA"));
    EXPECT_EQ(gf_modelCodeAt(gf_findRegistration("G-STBA")->type), "B77W");
    EXPECT_TRUE(gf_findRegistration("GSTBA"));   // G-STBA
    EXPECT_TRUE(gf_findRegistration("EIDCL"));   // EI-DCL, dash after the second character
    EXPECT_TRUE(gf_findRegistration("PHBXA"));  // PH-BXA
    EXPECT_FALSE(gf_findRegistration("GST"));    // too short for the dashed forms
    EXPECT_FALSE(gf_findRegistration(""));
    const auto fdx = gf_findRegistration("N855FD");
    ASSERT_TRUE(fdx);
    EXPECT_EQ(fdx->cargo, 1);
}

TEST_F(AircraftTables, WingSpans) {
    EXPECT_NEAR(gf_getWingspan(gf_internModelCode("A320")), 35.8 * 0.5 / 1852.0, 1e-12);
    EXPECT_EQ(gf_getWingspan(gf_internModelCode("QQ12")), 0.0);
    EXPECT_NEAR(gf_largestHalfWingSpan(), 79.75 * 0.5 / 1852.0, 1e-12);
    // Beyond the table: the largest known span, never an implausible value.
    EXPECT_EQ(gf_getWingspan(2700), gf_largestHalfWingSpan());
}
