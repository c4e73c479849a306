// Flight-plan files and the text rules around the simulator.

#include <filesystem>

#include <gmock/gmock.h>

#include "liveries/code_tables.h"
#include "support/dbase_builder.h"
#include "simlink_fixture.h"

using namespace tavo::test;
using ::testing::HasSubstr;
namespace fs = std::filesystem;

namespace {

using FlightPlanTest = SimLinkTest;

TEST_F(FlightPlanTest, PlanFileIsByteExact) {
    const auto folder = gf_flightPlanFolder();
    ASSERT_TRUE(folder);
    EXPECT_EQ(*folder, dir() / "orig_dest");
    ASSERT_TRUE(gf_prepareFlightPlanFolder(*folder));
    const fs::path file = *folder / gf_flightPlanFileName(17);
    EXPECT_EQ(file.filename(), "17.pln");
    ASSERT_TRUE(gf_writeFlightPlan(file, {"FRA", "JFK", Heavy}));
    EXPECT_EQ(readFile(file),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<SimBase.Document Type=\"AceXML\" version=\"4,3\">\n"
              "<FlightPlan.FlightPlan>\n"
              "<FPType>IFR</FPType>\n"
              "<DepartureID>FRA</DepartureID>\n"
              "<DestinationID>JFK</DestinationID>\n"
              "</FlightPlan.FlightPlan>\n"
              "</SimBase.Document>\n");
    // Light, high-performance and rotorcraft fly VFR; an absent code leaves its element empty.
    for (const auto category : {Light, HighPerf, Rotorcraft})
        EXPECT_THAT(gf_flightPlanText({"FRA", "", category}), HasSubstr("<FPType>VFR</FPType>"));
    for (const auto category : {TwoProps, Bizjet, Large})
        EXPECT_THAT(gf_flightPlanText({"FRA", "", category}), HasSubstr("<FPType>IFR</FPType>"));
    EXPECT_THAT(gf_flightPlanText({"FRA", "", Light}), HasSubstr("\n<DestinationID></DestinationID>\n"));
    EXPECT_FALSE(fs::exists(file.string() + ".tmp"));

    EXPECT_TRUE(gf_removeFlightPlan(17));
    EXPECT_FALSE(fs::exists(file));
    // A missing file is no failure and no log line.
    EXPECT_FALSE(gf_removeFlightPlan(17));
    EXPECT_THAT(logText(), ::testing::Not(HasSubstr("Could not remove flight plan")));
    ASSERT_TRUE(gf_writeFlightPlan(*folder / "3.pln", {"A", "B", Large}));
    EXPECT_TRUE(gf_removeFlightPlanFolder());
    EXPECT_FALSE(fs::exists(*folder));
}

TEST_F(FlightPlanTest, Msfs2024HasNoFolderAndHexObjectIds) {
    EXPECT_EQ(gf_objectIdText(255), "255");
    selectSimulator(SimVersion::MSFS2024);
    EXPECT_EQ(gf_objectIdText(255), "ff");
    EXPECT_EQ(gf_objectIdText(0x0A000100), "a000100");
    EXPECT_FALSE(gf_flightPlanFolder());
    EXPECT_TRUE(gf_removeFlightPlanFolder());
    EXPECT_FALSE(gf_removeFlightPlan(1));
    EXPECT_FALSE(fs::exists(dir() / "orig_dest"));
}

TEST(AtcModelText, CleaningAndNormalising) {
    EXPECT_EQ(gf_extractAtcModel("  ATCCOM.AC_MODEL B738.0.text "), "B738");
    EXPECT_EQ(gf_extractAtcModel("ATCCOM.AC_MODEL $$: A321 .0.text"), "A321");
    EXPECT_EQ(gf_extractAtcModel("   "), "");

    tavo::test::resetToSmallDbase();
    EXPECT_EQ(gf_normaliseUserModel("737", "PMDG DG 737-800 Lufthansa"), "B738");
    EXPECT_EQ(gf_normaliseUserModel("ATCCOM.AC_MODEL 737.0.text", "DG 737-900"), "B739");
    EXPECT_EQ(gf_normaliseUserModel("A350-900", "any"), "A359");
    EXPECT_EQ(gf_normaliseUserModel("XX99", "any"), std::nullopt);
    EXPECT_EQ(gf_normaliseUserModel("", "no such title"), std::nullopt);
    // The fragment rule applies whenever the type is known to the database.
    const auto phenom = gf_normaliseUserModel("Embraer Phenom 300E Demo", "x");
    if (gf_isKnownModelCode("E55P"))
        EXPECT_EQ(phenom, "E55P");
    else
        EXPECT_EQ(phenom, std::nullopt);
    // 737 without one of the listed titles stays "737", which no database knows.
    EXPECT_EQ(gf_normaliseUserModel("737", "Boeing 737 MAX"), std::nullopt);
}

}  // namespace
