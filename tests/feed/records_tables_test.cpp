// The aircraft-database services the record builders stand on.

#include <gtest/gtest.h>

#include "feed/records_fixture.h"

using tavo::test::RecordsWorld;

class AircraftTables : public RecordsWorld {};

TEST_F(AircraftTables, InterningAppendsUnknownCodesOnceUntilTheReset) {
    const auto dlh = gf_internAirlineCode("DLH");
    const auto fresh = gf_internAirlineCode("QQQ");
    EXPECT_GT(fresh, dlh);
    EXPECT_EQ(gf_internAirlineCode("QQQ"), fresh);
    EXPECT_EQ(gf_airlineCodeAt(fresh), "QQQ");
    EXPECT_EQ(gf_airlineCodeAt(60000), "");
    EXPECT_EQ(gf_internAirlineCode(""), 0);
    gf_resetAircraftTables();
    EXPECT_NE(gf_airlineCodeAt(fresh), "QQQ");
    // A type fix maps to the indexed type.
    EXPECT_EQ(gf_internModelCode("A32N"), gf_internModelCode("A20N"));
    EXPECT_FALSE(gf_findTypeFix("a32n"));
}

TEST_F(AircraftTables, CargoAndDashedRegistrations) {
    AcKey key;
    key.type = gf_internModelCode("B738");
    EXPECT_FALSE(gf_isCargo(key));
    key.airline = gf_internAirlineCode("UPS");
    EXPECT_TRUE(gf_isCargo(key));
    EXPECT_TRUE(gf_findRegistration("GSTBA"));  // G-STBA
    EXPECT_TRUE(gf_findRegistration("EIDCL"));  // EI-DCL, dash after the second character
    EXPECT_FALSE(gf_findRegistration("GST"));   // too short for the dashed forms
}

TEST_F(AircraftTables, WingSpansNeverImplausible) {
    EXPECT_NEAR(gf_getWingspan(gf_internModelCode("A320")), 35.8 * 0.5 / 1852.0, 1e-12);
    EXPECT_EQ(gf_getWingspan(gf_internModelCode("QQ12")), 0.0);
    EXPECT_EQ(gf_getWingspan(2700), gf_largestHalfWingSpan()) << "beyond the table: the largest known span";
}
