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
using tavo::test::storedValues;
using tavo::test::writeFile;
using Values = std::vector<std::string>;

TEST(NormaliseRadii, RadiiRiseAndFlightLevelsAreSortedAndSpreadWithinTheLimits) {
    const struct {
        RadiusValues in;
        RadiusValues out;
        double minStep = 1.0;
        double lowest = 2.0;
        double highest = 480.0;
    } cases[] = {
        {{10, 20, 40, 50, 60, 100, 200, 300}, {10, 20, 40, 50, 60, 100, 200, 300}},
        {{30, 20, 40, 50, 60, 100, 200, 300}, {30, 30, 40, 50, 60, 100, 200, 300}},
        {{-5, -1, 10, 5, 7, 100, 200, 300}, {0, 0, 10, 10, 10, 100, 200, 300}},
        {{10, 20, 40, 50, 60, 300, 200, 100}, {10, 20, 40, 50, 60, 100, 200, 300}},
        {{10, 20, 40, 50, 60, 200, 200, 200}, {10, 20, 40, 50, 60, 200, 201, 202}},
        {{10, 20, 40, 50, 60, 150, 100, 100}, {10, 20, 40, 50, 60, 100, 110, 150}, 10.0},
        // At the top the levels are spread downwards, not beyond the limit.
        {{10, 20, 40, 50, 60, 480, 480, 480}, {10, 20, 40, 50, 60, 478, 479, 480}},
        {{10, 20, 40, 50, 60, 479, 480, 100}, {10, 20, 40, 50, 60, 100, 479, 480}},
        {{10, 20, 40, 50, 60, 2, 2, 2}, {10, 20, 40, 50, 60, 2, 3, 4}},
    };
    for (const auto& c : cases) {
        const auto r = gf_normaliseRadiusParameters(c.in, c.minStep, c.lowest, c.highest);
        EXPECT_EQ(r.values, c.out);
        EXPECT_EQ(r.changed, !(c.in == c.out));
        // The corrected values are a fixed point: the next start finds nothing to do.
        EXPECT_FALSE(gf_normaliseRadiusParameters(r.values, c.minStep, c.lowest, c.highest).changed);
    }
}

TEST(HoldingThreshold, SnapsToTheNearerAllowedValueLowerOnATie) {
    const std::pair<std::int32_t, std::int32_t> cases[] = {{125, 100}, {130, 150}, {560, 600}, {5, 10},
                                                           {1000, 900}, {-7, 10},   {899, 900}, {30, 10}};
    for (const auto& [in, out] : cases) EXPECT_EQ(gf_snapHoldingThreshold(in), out) << in;
    for (const std::int32_t allowed : HOLDING_THRESHOLD_METERS.allowedValues())
        EXPECT_EQ(gf_snapHoldingThreshold(allowed), allowed);
}

// ---------------------------------------------------------------------------

class ValidationTest : public ParametersFileTest {};

TEST_F(ValidationTest, InconsistentRadiiAreCorrectedAndAllEightSaved) {
    writeFile(file(), parametersXml({{"RANGE_GROUND", "30"}, {"RANGE_1", "20"}, {"PROGRAM_VERSION", "16.8.0"}}));
    gf_validateRadiusParameters();
    EXPECT_TRUE(logHasLine("==> Radius parameters changed to fulfill the requirements (see Manual): "));
    EXPECT_EQ(RANGE_1.value(), 30);
    EXPECT_EQ(storedValues(file(), "RANGE_1"), Values{"30"});
    for (const std::string line : {"RANGE_GROUND=30", "RANGE_1=30", "RANGE_2=40", "RANGE_3=50", "RANGE_ABOVE=60",
                                   "FLIGHT_LEVEL_1=100", "FLIGHT_LEVEL_2=200", "FLIGHT_LEVEL_3=300"})
        EXPECT_TRUE(logHas("\n" + line + "\n")) << line;
    // The one changed value once as loaded, once as saved; the others twice alike.
    EXPECT_EQ(logCount("\nRANGE_1=20\n"), 1u);
    EXPECT_EQ(logCount("\nRANGE_2=40\n"), 2u);
}

// Levels at the limit used to be spread beyond it and clamped back, so the
// error line and eight saves came at every start.
TEST_F(ValidationTest, FlightLevelsAtTheLimitAreCorrectedOnceNotAtEveryStart) {
    writeFile(file(), parametersXml({{"FLIGHT_LEVEL_1", "480"}, {"FLIGHT_LEVEL_2", "480"},
                                     {"FLIGHT_LEVEL_3", "480"}, {"PROGRAM_VERSION", "16.8.0"}}));
    gf_validateRadiusParameters();
    EXPECT_EQ(FLIGHT_LEVEL_1.value(), 478);
    EXPECT_EQ(FLIGHT_LEVEL_3.value(), 480);
    EXPECT_EQ(storedValues(file(), "FLIGHT_LEVEL_1"), Values{"478"});
    gf_validateRadiusParameters();
    EXPECT_EQ(logCount("Radius parameters changed"), 1u) << "no error line at the next start";
    EXPECT_TRUE(logHasLine("Radius parameters okay"));
}

TEST_F(ValidationTest, UpdateFromAnOlderVersionMigratesANewerOneIsOnlyReplaced) {
    const std::string migrated = parametersXml(
        {{"PROGRAM_VERSION", "16.7.2"}, {"COLLISION_LIVE_PARKED_GND", "true"}, {"HOLDING_THRESHOLD_METERS", "125"}});
    writeFile(file(), migrated);
    std::filesystem::create_directories(newVersionDir / "sub");
    writeFile(newVersionDir / "sub" / "setup.exe", "x");
    gf_validateRadiusParameters();
    EXPECT_TRUE(logHasLine("This is a version update from 16.7.2 -> 16.8.0"));
    EXPECT_TRUE(logHasLine("Parameter 'COLLISION_LIVE_PARKED_GND' removed"));
    EXPECT_TRUE(storedValues(file(), "COLLISION_LIVE_PARKED_GND").empty());
    EXPECT_EQ(HOLDING_THRESHOLD_METERS.value(), 100);
    EXPECT_EQ(storedValues(file(), "HOLDING_THRESHOLD_METERS"), Values{"100"});
    EXPECT_EQ(storedValues(file(), "PROGRAM_VERSION"), Values{"16.8.0"});
    EXPECT_FALSE(std::filesystem::exists(newVersionDir));
    gf_validateRadiusParameters();
    EXPECT_EQ(logCount("This is a version update"), 1u) << "once migrated, the next start is no update";

    writeFile(file(), parametersXml({{"PROGRAM_VERSION", "16.9.0"},
                                     {"COLLISION_LIVE_PARKED_GND", "true"},
                                     {"HOLDING_THRESHOLD_METERS", "125"}}));
    std::filesystem::create_directories(newVersionDir);
    gf_validateRadiusParameters();
    EXPECT_EQ(logCount("This is a version update"), 1u);
    EXPECT_EQ(storedValues(file(), "PROGRAM_VERSION"), Values{"16.8.0"});
    EXPECT_EQ(storedValues(file(), "COLLISION_LIVE_PARKED_GND"), Values{"true"});
    EXPECT_EQ(storedValues(file(), "HOLDING_THRESHOLD_METERS"), Values{"125"});
    EXPECT_TRUE(std::filesystem::exists(newVersionDir));
}

TEST_F(ValidationTest, StartupChoicesFallBackInMemoryOnly) {
    writeFile(file(), parametersXml({{"SIM_CHOICE", "MSFS 2022"}, {"RT_CHOISE", "RT Whatever"},
                                     {"PROGRAM_VERSION", "16.8.0"}}));
    gf_validateRadiusParameters();
    gf_validateStartupChoices();
    EXPECT_TRUE(logHasLine("==> Invalid simulator choice 'MSFS 2022', using 'MSFS 2024'"));
    EXPECT_TRUE(logHasLine("==> Invalid traffic source 'RT Whatever', using 'RT Direct'"));
    EXPECT_EQ(SIM_CHOICE.value(), "MSFS 2024");
    EXPECT_FALSE(isMSFS2020());
    EXPECT_TRUE(isRTDirect());
    EXPECT_EQ(storedValues(file(), "SIM_CHOICE"), Values{"MSFS 2022"});

    SIM_CHOICE.setValue("MSFS 2020");
    RT_CHOISE.setValue("RT App");
    gf_validateStartupChoices();
    EXPECT_TRUE(isMSFS2020());
    EXPECT_FALSE(isRTDirect());
    EXPECT_EQ(startupChoice.load()->simulator, 1u);
    EXPECT_EQ(startupChoice.load()->trafficSource, 1u);
}

}  // namespace
