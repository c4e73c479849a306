// Start-up checks: radius and flight-level consistency, the version step with
// its migration, and the start-up choice.

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/files.h"
#include "parameters_file_test_support.h"
#include "settings/snapshot.h"
#include "settings/validation.h"

namespace {

using tavo::test::ParametersFileTest;
using tavo::test::parametersXml;
using tavo::test::storedParameters;
using tavo::test::storedValues;
using tavo::test::writeWholeFile;

RadiusValues radii(double ground, double r1, double r2, double r3, double above, double fl1, double fl2,
                   double fl3) {
    return {ground, r1, r2, r3, above, fl1, fl2, fl3};
}

TEST(NormaliseRadii, RadiiBecomeNonNegativeAndNonDecreasing) {
    auto r = gf_normaliseRadiusParameters(radii(30, 20, 40, 50, 60, 100, 200, 300));
    EXPECT_TRUE(r.changed);
    EXPECT_EQ(r.values, radii(30, 30, 40, 50, 60, 100, 200, 300));

    r = gf_normaliseRadiusParameters(radii(-5, -1, 10, 5, 7, 100, 200, 300));
    EXPECT_TRUE(r.changed);
    EXPECT_EQ(r.values, radii(0, 0, 10, 10, 10, 100, 200, 300));

    r = gf_normaliseRadiusParameters(radii(10, 20, 40, 50, 60, 100, 200, 300));
    EXPECT_FALSE(r.changed);
    EXPECT_EQ(r.values, radii(10, 20, 40, 50, 60, 100, 200, 300));
}

TEST(NormaliseRadii, FlightLevelsAreSortedAndSpread) {
    auto r = gf_normaliseRadiusParameters(radii(10, 20, 40, 50, 60, 300, 200, 100));
    EXPECT_TRUE(r.changed);
    EXPECT_EQ(r.values, radii(10, 20, 40, 50, 60, 100, 200, 300));

    r = gf_normaliseRadiusParameters(radii(10, 20, 40, 50, 60, 200, 200, 200));
    EXPECT_TRUE(r.changed);
    EXPECT_EQ(r.values, radii(10, 20, 40, 50, 60, 200, 201, 202));

    r = gf_normaliseRadiusParameters(radii(10, 20, 40, 50, 60, 150, 100, 100), 10.0);
    EXPECT_EQ(r.values, radii(10, 20, 40, 50, 60, 100, 110, 150));
}

TEST(NormaliseRadii, FlightLevelsAtTheTopAreSpreadDownwardsWithinTheLimits) {
    auto r = gf_normaliseRadiusParameters(radii(10, 20, 40, 50, 60, 480, 480, 480), 1.0, 2.0, 480.0);
    EXPECT_TRUE(r.changed);
    EXPECT_EQ(r.values, radii(10, 20, 40, 50, 60, 478, 479, 480));
    // The corrected values are a fixed point: the next start finds nothing to do.
    const auto again = gf_normaliseRadiusParameters(r.values, 1.0, 2.0, 480.0);
    EXPECT_FALSE(again.changed);

    r = gf_normaliseRadiusParameters(radii(10, 20, 40, 50, 60, 479, 480, 100), 1.0, 2.0, 480.0);
    EXPECT_EQ(r.values, radii(10, 20, 40, 50, 60, 100, 479, 480));
    EXPECT_TRUE(r.changed);

    r = gf_normaliseRadiusParameters(radii(10, 20, 40, 50, 60, 2, 2, 2), 1.0, 2.0, 480.0);
    EXPECT_EQ(r.values, radii(10, 20, 40, 50, 60, 2, 3, 4));
}

TEST(HoldingThreshold, SnapsToTheNearerAllowedValueLowerOnATie) {
    const std::vector<std::pair<std::int32_t, std::int32_t>> cases{
        {125, 100}, {130, 150}, {550, 500}, {560, 600}, {5, 10},     {1000, 900},
        {10, 10},   {900, 900}, {250, 250}, {-7, 10},   {899, 900},  {30, 10},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(gf_snapHoldingThreshold(in), out) << in;
    for (const std::int32_t allowed : HOLDING_THRESHOLD_METERS.allowedValues()) {
        EXPECT_EQ(gf_snapHoldingThreshold(allowed), allowed);
    }
}

// ---------------------------------------------------------------------------

class ValidationTest : public ParametersFileTest {};

TEST_F(ValidationTest, FirstStartWritesTheFileAndSkipsTheChecks) {
    gf_validateRadiusParameters();
    EXPECT_EQ(log().find("Radius parameters"), std::string::npos);
    EXPECT_EQ(log().find("This is a version update"), std::string::npos);
    EXPECT_EQ(storedParameters(file()).size(), tavo::test::registeredCount());

    // The next start runs them.
    gf_validateRadiusParameters();
    EXPECT_TRUE(logHasLine("Radius parameters okay"));
    EXPECT_EQ(log().find("This is a version update"), std::string::npos);
    EXPECT_EQ(PROGRAM_VERSION.value(), "16.8.0");
}

TEST_F(ValidationTest, InconsistentRadiiAreCorrectedAndAllEightSaved) {
    writeWholeFile(file(), parametersXml({{"RANGE_GROUND", "30"}, {"RANGE_1", "20"}, {"PROGRAM_VERSION", "16.8.0"}}));
    gf_validateRadiusParameters();
    EXPECT_TRUE(logHasLine("==> Radius parameters changed to fulfill the requirements (see Manual): "));
    EXPECT_EQ(RANGE_1.value(), 30);
    EXPECT_EQ(storedValues(file(), "RANGE_1"), std::vector<std::string>{"30"});
    EXPECT_EQ(logCount("\nRANGE_1=20\n"), 1u) << "as loaded";
    EXPECT_EQ(logCount("\nRANGE_1=30\n"), 1u) << "as saved";
    for (const std::string line : {"RANGE_GROUND=30", "RANGE_2=40", "RANGE_3=50", "RANGE_ABOVE=60",
                                   "FLIGHT_LEVEL_1=100", "FLIGHT_LEVEL_2=200", "FLIGHT_LEVEL_3=300"}) {
        // Once when loaded, once when saved.
        EXPECT_EQ(logCount("\n" + line + "\n"), 2u) << line;
    }
}

TEST_F(ValidationTest, FlightLevelsAtTheLimitAreCorrectedOnceNotAtEveryStart) {
    writeWholeFile(file(), parametersXml({{"FLIGHT_LEVEL_1", "480"}, {"FLIGHT_LEVEL_2", "480"},
                                          {"FLIGHT_LEVEL_3", "480"}, {"PROGRAM_VERSION", "16.8.0"}}));
    gf_validateRadiusParameters();
    EXPECT_EQ(logCount("Radius parameters changed"), 1u);
    EXPECT_EQ(FLIGHT_LEVEL_1.value(), 478);
    EXPECT_EQ(FLIGHT_LEVEL_2.value(), 479);
    EXPECT_EQ(FLIGHT_LEVEL_3.value(), 480);
    EXPECT_EQ(storedValues(file(), "FLIGHT_LEVEL_1"), std::vector<std::string>{"478"});

    gf_validateRadiusParameters();
    EXPECT_EQ(logCount("Radius parameters changed"), 1u) << "no error line at the next start";
    EXPECT_TRUE(logHasLine("Radius parameters okay"));
}

TEST_F(ValidationTest, UpdateFromAnOlderVersionMigrates) {
    writeWholeFile(file(), parametersXml({{"PROGRAM_VERSION", "16.7.2"},
                                          {"COLLISION_LIVE_PARKED_GND", "true"},
                                          {"HOLDING_THRESHOLD_METERS", "125"}}));
    std::filesystem::create_directories(newVersionDir / "sub");
    writeWholeFile(newVersionDir / "sub" / "setup.exe", "x");

    gf_validateRadiusParameters();
    EXPECT_TRUE(logHasLine("This is a version update from 16.7.2 -> 16.8.0"));
    EXPECT_TRUE(logHasLine("Parameter 'COLLISION_LIVE_PARKED_GND' removed"));
    EXPECT_TRUE(storedValues(file(), "COLLISION_LIVE_PARKED_GND").empty());
    EXPECT_EQ(HOLDING_THRESHOLD_METERS.value(), 100);
    EXPECT_EQ(storedValues(file(), "HOLDING_THRESHOLD_METERS"), std::vector<std::string>{"100"});
    EXPECT_EQ(storedValues(file(), "PROGRAM_VERSION"), std::vector<std::string>{"16.8.0"});
    EXPECT_FALSE(std::filesystem::exists(newVersionDir));

    // Once migrated, the next start is no update.
    gf_validateRadiusParameters();
    EXPECT_EQ(logCount("This is a version update"), 1u);
}

TEST_F(ValidationTest, NewerStoredVersionIsOnlyReplaced) {
    writeWholeFile(file(), parametersXml({{"PROGRAM_VERSION", "16.9.0"},
                                          {"COLLISION_LIVE_PARKED_GND", "true"},
                                          {"HOLDING_THRESHOLD_METERS", "125"}}));
    std::filesystem::create_directories(newVersionDir);
    gf_validateRadiusParameters();
    EXPECT_EQ(log().find("This is a version update"), std::string::npos);
    EXPECT_EQ(PROGRAM_VERSION.value(), "16.8.0");
    EXPECT_EQ(storedValues(file(), "PROGRAM_VERSION"), std::vector<std::string>{"16.8.0"});
    EXPECT_EQ(storedValues(file(), "COLLISION_LIVE_PARKED_GND"), std::vector<std::string>{"true"});
    EXPECT_EQ(storedValues(file(), "HOLDING_THRESHOLD_METERS"), std::vector<std::string>{"125"});
    EXPECT_TRUE(std::filesystem::exists(newVersionDir));
}

TEST_F(ValidationTest, UnreadableOrEmptyStoredVersion) {
    writeWholeFile(file(), parametersXml({{"PROGRAM_VERSION", "sixteen"}, {"HOLDING_THRESHOLD_METERS", "560"}}));
    gf_validateRadiusParameters();
    EXPECT_TRUE(logHasLine("This is a version update from 0.0.0 -> 16.8.0"));
    EXPECT_EQ(HOLDING_THRESHOLD_METERS.value(), 600);

    writeWholeFile(file(), parametersXml({{"PROGRAM_VERSION", ""}, {"HOLDING_THRESHOLD_METERS", "560"}}));
    gf_validateRadiusParameters();
    EXPECT_EQ(logCount("This is a version update"), 1u) << "an empty version counts as the current one";
    EXPECT_EQ(storedValues(file(), "PROGRAM_VERSION"), std::vector<std::string>{"16.8.0"});
    EXPECT_EQ(storedValues(file(), "HOLDING_THRESHOLD_METERS"), std::vector<std::string>{"560"});
}

TEST_F(ValidationTest, StartupChoicesFallBackInMemoryOnly) {
    writeWholeFile(file(), parametersXml({{"SIM_CHOICE", "MSFS 2022"}, {"RT_CHOISE", "RT Whatever"},
                                          {"PROGRAM_VERSION", "16.8.0"}}));
    gf_validateRadiusParameters();
    gf_validateStartupChoices();
    EXPECT_TRUE(logHasLine("==> Invalid simulator choice 'MSFS 2022', using 'MSFS 2024'"));
    EXPECT_TRUE(logHasLine("==> Invalid traffic source 'RT Whatever', using 'RT Direct'"));
    EXPECT_EQ(SIM_CHOICE.value(), "MSFS 2024");
    EXPECT_FALSE(isMSFS2020());
    EXPECT_TRUE(isRTDirect());
    EXPECT_EQ(storedValues(file(), "SIM_CHOICE"), std::vector<std::string>{"MSFS 2022"});

    // The next start finds the same and says so again.
    gf_validateRadiusParameters();
    gf_validateStartupChoices();
    EXPECT_EQ(logCount("Invalid simulator choice 'MSFS 2022'"), 2u);

    SIM_CHOICE.setValue("MSFS 2020");
    RT_CHOISE.setValue("RT App");
    gf_validateStartupChoices();
    EXPECT_TRUE(isMSFS2020());
    EXPECT_FALSE(isRTDirect());
    EXPECT_EQ(startupChoice.load()->simulator, 1u);
    EXPECT_EQ(startupChoice.load()->trafficSource, 1u);
    SIM_CHOICE.setValue("");
    gf_validateStartupChoices();
    EXPECT_FALSE(isMSFS2020());
    EXPECT_TRUE(logHasLine("==> Invalid simulator choice '', using 'MSFS 2024'"));
}

}  // namespace
