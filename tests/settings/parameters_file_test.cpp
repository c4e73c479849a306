// parameters.xml: load, writing a new file, single saves, removal, the window
// position read before the window exists, and saves interrupted at each step.

#include <filesystem>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/version.h"
#include "platform/os/os.h"
#include "parameters_file_test_support.h"
#include "settings/option_lists.h"

namespace {

using tavo::test::ParametersFileTest;
using tavo::test::parametersXml;
using tavo::test::readWholeFile;
using tavo::test::registeredCount;
using tavo::test::storedParameters;
using tavo::test::storedValues;
using tavo::test::writeWholeFile;

std::set<std::string> registeredKeys() {
    std::set<std::string> keys;
    for (auto* p : boolParameters) keys.insert(p->name);
    for (auto* p : guiBoolParameters) keys.insert(p->name);
    for (auto* p : intParameters) keys.insert(p->name);
    for (auto* p : listOptions) keys.insert(p->name);
    for (auto* p : stringParameters) keys.insert(p->name);
    for (auto* p : pathParameters) keys.insert(p->name);
    for (auto* p : choiceOptions) keys.insert(p->name);
    return keys;
}

std::set<std::string> storedKeys(const std::filesystem::path& path) {
    std::set<std::string> keys;
    for (const auto& p : storedParameters(path)) keys.insert(p.name);
    return keys;
}

// ---------------------------------------------------------------------------
// Load: a missing, broken or incomplete file

TEST_F(ParametersFileTest, MissingFileIsWrittenWithEveryDefaultAndTheBanners) {
    RANGE_1.set(33);  // a value of an earlier run stays in memory
    EXPECT_TRUE(gf_loadParameters()) << "true = had to write a new file";

    const std::string text = log();
    const std::string opening = std::string(34, '*') + " parameters " + std::string(34, '*');
    EXPECT_TRUE(logHasLine(opening)) << text;
    EXPECT_TRUE(logHasLine(parametersFilePathUtf8() + " could not be opened, creating new with default values:"));
    EXPECT_TRUE(logHasLine(std::string(80, '*'))) << "closing banner";
    EXPECT_TRUE(logHasLine("RANGE_2=40"));
    EXPECT_TRUE(logHasLine("HELICOPTERS=true"));
    EXPECT_TRUE(logHasLine("PORT_NUMBER=\"10747\""));
    EXPECT_LT(text.find(opening), text.find("RANGE_2=40"));
    EXPECT_LT(text.find("RANGE_2=40"), text.rfind(std::string(80, '*')));

    const auto stored = storedParameters(file());
    EXPECT_EQ(stored.size(), registeredCount());
    EXPECT_EQ(storedKeys(file()), registeredKeys());
    EXPECT_EQ(storedValues(file(), "PROGRAM_VERSION"), std::vector<std::string>{"16.8.0"});
    EXPECT_EQ(storedValues(file(), "RANGE_1"), std::vector<std::string>{"20"}) << "defaults are written";
    EXPECT_EQ(storedValues(file(), "SIM_CHOICE"), std::vector<std::string>{"MSFS 2024"});
    EXPECT_EQ(storedValues(file(), "LAST_EPOCH_TIME:"), std::vector<std::string>{"0"});
    EXPECT_TRUE(storedValues(file(), "MAX_FIT_FL").empty());
    EXPECT_TRUE(storedValues(file(), "AIRCRAFT_SELECTOR").empty());
    EXPECT_EQ(RANGE_1.value(), 33) << "writing anew leaves the values in memory alone";
    EXPECT_FALSE(std::filesystem::exists(generationFile())) << "nothing to keep";

    // The next start reads what was written.
    EXPECT_FALSE(gf_loadParameters());
    EXPECT_EQ(RANGE_1.value(), 20);
    EXPECT_TRUE(logHasLine("from '" + parametersFilePathUtf8() + "'"));
}

TEST_F(ParametersFileTest, UnparseableFileIsKeptAsGenerationAndWrittenAnew) {
    const std::string broken = "<root><parameters><parameter name=\"RANGE_1\" value=\"30\"></root>";
    writeWholeFile(file(), broken);
    EXPECT_TRUE(gf_loadParameters());
    EXPECT_NE(log().find(parametersFilePathUtf8() + " could not be loaded: "), std::string::npos);
    EXPECT_NE(log().find(", creating new with default values:"), std::string::npos);
    EXPECT_EQ(readWholeFile(generationFile()), broken) << "the broken file is kept";
    EXPECT_EQ(storedKeys(file()), registeredKeys());
}

TEST_F(ParametersFileTest, FileWithoutParametersSectionIsWrittenAnew) {
    writeWholeFile(file(), "<root><settings><parameter name=\"RANGE_1\" value=\"30\"/></settings></root>");
    EXPECT_TRUE(gf_loadParameters());
    EXPECT_TRUE(logHasLine("Section 'parameters' not found in '" + parametersFilePathUtf8() +
                           "', creating new with default values:"));
    EXPECT_EQ(storedKeys(file()), registeredKeys());
    EXPECT_NE(readWholeFile(generationFile()).find("<settings>"), std::string::npos);
}

TEST_F(ParametersFileTest, ExistingFileThatCannotBeOpenedIsNeverReplaced) {
    // A folder where the file should be: it exists, but cannot be read.
    std::filesystem::create_directory(file());
    std::filesystem::create_directory(file() / "inside");
    RANGE_1.set(33);
    EXPECT_TRUE(gf_loadParameters());
    EXPECT_TRUE(std::filesystem::is_directory(file() / "inside"));
    EXPECT_EQ(RANGE_1.value(), 33) << "values stay as they are";
    EXPECT_EQ(log().find("creating new with default values"), std::string::npos);
    // A single save does not replace it either.
    RANGE_1.setAndSave(44);
    EXPECT_TRUE(std::filesystem::is_directory(file() / "inside"));
    EXPECT_NE(log().find("RANGE_1 not saved"), std::string::npos);
}

TEST_F(ParametersFileTest, TopLevelParametersWithoutRootAreRead) {
    writeWholeFile(file(), "<parameters><parameter name=\"RANGE_1\" value=\"31\"/></parameters>");
    EXPECT_FALSE(gf_loadParameters());
    EXPECT_EQ(RANGE_1.value(), 31);
    // The missing keys were added to that section, not beside it.
    EXPECT_EQ(storedKeys(file()), registeredKeys());
    // A single save updates the same section.
    RANGE_1.setAndSave(32);
    EXPECT_EQ(storedValues(file(), "RANGE_1"), std::vector<std::string>{"32"});
    EXPECT_EQ(storedKeys(file()), registeredKeys());
}

// ---------------------------------------------------------------------------
// Load: values

TEST_F(ParametersFileTest, IntegerTextsAreTrimmedAndSignedOrUnreadable) {
    writeWholeFile(file(), parametersXml({{"RANGE_1", " +25 "}, {"RANGE_2", "-0"}, {"FLIGHT_LEVEL_1", "\t150\r\n"}}));
    EXPECT_FALSE(gf_loadParameters());
    EXPECT_EQ(RANGE_1.value(), 25);
    EXPECT_EQ(RANGE_2.value(), 2) << "0 clamped to the lower limit";
    EXPECT_EQ(FLIGHT_LEVEL_1.value(), 150);

    for (const std::string bad : {"25.0", "0x19", "+", "", "2147483648", "25 5"}) {
        SCOPED_TRACE(bad);
        writeWholeFile(file(), parametersXml({{"RANGE_1", bad}}));
        RANGE_1.set(77);
        EXPECT_FALSE(gf_loadParameters());
        EXPECT_EQ(RANGE_1.value(), 20) << "the default";
        // The default replaces the unreadable value in place: one element, not two.
        EXPECT_EQ(storedValues(file(), "RANGE_1"), std::vector<std::string>{"20"});
    }
}

TEST_F(ParametersFileTest, UnreadableValuesDoNotMakeTheFileGrowFromStartToStart) {
    writeWholeFile(file(), "<root><parameters><parameter name=\"RANGE_1\" value=\"x\"/>"
                           "<parameter name=\"RANGE_2\"/></parameters></root>");
    EXPECT_FALSE(gf_loadParameters());
    const auto first = storedParameters(file());
    EXPECT_FALSE(gf_loadParameters());
    EXPECT_FALSE(gf_loadParameters());
    const auto third = storedParameters(file());
    EXPECT_EQ(first.size(), registeredCount());
    EXPECT_EQ(third.size(), first.size());
    EXPECT_EQ(storedValues(file(), "RANGE_2"), std::vector<std::string>{"40"}) << "missing attribute added";
}

TEST_F(ParametersFileTest, DuplicatesUnknownKeysAndTheColonOfLastEpochTime) {
    writeWholeFile(file(), "<root><parameters>"
                           "<parameter name=\"RANGE_3\" value=\"61\"/>"
                           "<parameter name=\"MY_OWN_KEY\" value=\"keep me\"/>"
                           "<parameter name=\"RANGE_3\" value=\"62\"/>"
                           "<parameter name=\"range_1\" value=\"9\"/>"
                           "<parameter name=\"LAST_EPOCH_TIME\" value=\"1700000000\"/>"
                           "</parameters><extra a=\"1\"/></root>");
    EXPECT_FALSE(gf_loadParameters());
    EXPECT_EQ(RANGE_3.value(), 61) << "the first of two";
    EXPECT_EQ(RANGE_1.value(), 20) << "keys are case-sensitive";
    EXPECT_EQ(LAST_EPOCH_TIME.value(), 0) << "the key has a colon";
    EXPECT_EQ(storedValues(file(), "RANGE_3"), (std::vector<std::string>{"61", "62"}));
    EXPECT_EQ(storedValues(file(), "MY_OWN_KEY"), std::vector<std::string>{"keep me"});
    EXPECT_EQ(storedValues(file(), "LAST_EPOCH_TIME"), std::vector<std::string>{"1700000000"});
    EXPECT_EQ(storedValues(file(), "LAST_EPOCH_TIME:"), std::vector<std::string>{"0"});
    EXPECT_EQ(storedValues(file(), "range_1"), std::vector<std::string>{"9"});

    // A single save updates every element of its key and keeps the rest.
    RANGE_3.setAndSave(70);
    EXPECT_EQ(storedValues(file(), "RANGE_3"), (std::vector<std::string>{"70", "70"}));
    EXPECT_EQ(storedValues(file(), "MY_OWN_KEY"), std::vector<std::string>{"keep me"});
    EXPECT_NE(readWholeFile(file()).find("<extra a=\"1\""), std::string::npos);
    EXPECT_TRUE(logHasLine("RANGE_3=70"));
}

TEST_F(ParametersFileTest, FlagTextsTextsAndPaths) {
    writeWholeFile(file(), parametersXml({{"SKIP_AIRPORT_SCAN", "Yes"},
                                          {"SKIP_LIVERIES_SCAN", " TRUE "},
                                          {"RANDOM", "off"},
                                          {"WEEK", "y"},
                                          {"PORT_NUMBER", ""},
                                          {"BLOCK_CALLSIGN", " DLH4_ "},
                                          {"MSFS_INSTALL_PATH", "/games/Flight Sim/\xC3\xA9t\xC3\xA9"}}));
    WEEK.setValue(true);
    EXPECT_FALSE(gf_loadParameters());
    EXPECT_TRUE(SKIP_AIRPORT_SCAN.value());
    EXPECT_TRUE(SKIP_LIVERIES_SCAN.value());
    EXPECT_FALSE(RANDOM.value());
    EXPECT_FALSE(WEEK.value()) << "y is unreadable: the default";
    EXPECT_EQ(storedValues(file(), "WEEK"), std::vector<std::string>{"false"});
    EXPECT_EQ(PORT_NUMBER.value(), "") << "an empty text is a text";
    EXPECT_EQ(storedValues(file(), "PORT_NUMBER"), std::vector<std::string>{""});
    EXPECT_EQ(BLOCK_CALLSIGN.value(), " DLH4_ ") << "texts are taken as they are";
    EXPECT_EQ(gf_pathToUtf8(MSFS_INSTALL_PATH.value()), "/games/Flight Sim/\xC3\xA9t\xC3\xA9");
    EXPECT_TRUE(logHasLine("MSFS_INSTALL_PATH=\"/games/Flight Sim/\xC3\xA9t\xC3\xA9\""));
}

TEST_F(ParametersFileTest, ValuesBeyondTheLimitsAreClampedInMemoryOnly) {
    writeWholeFile(file(), parametersXml({{"MATCHING_DEPTH", "12"}, {"MAX_LIVE_SEL", "7"}, {"MAIN_WINDOW_X", "-99999"}}));
    EXPECT_FALSE(gf_loadParameters());
    EXPECT_EQ(MATCHING_DEPTH.value(), 7);
    EXPECT_EQ(MAX_LIVE_SEL.value(), 7) << "clamped, not snapped";
    EXPECT_EQ(MAIN_WINDOW_X.value(), -30000);
    EXPECT_EQ(storedValues(file(), "MATCHING_DEPTH"), std::vector<std::string>{"12"});
    MATCHING_DEPTH.setAndSave(MATCHING_DEPTH.value());
    EXPECT_EQ(storedValues(file(), "MATCHING_DEPTH"), std::vector<std::string>{"7"});
}

TEST_F(ParametersFileTest, LoadShowsValuesInTheControls) {
    const WindowHandle window = makeWindow();
    ASSERT_NE(window, WindowHandle::None);
    makeControl(window, ControlKind::CheckBox, RANDOM.controlId);
    makeControl(window, ControlKind::ComboBox, MAX_LIVE_SEL.controlId);
    makeControl(window, ControlKind::ComboBox, TCAS_FL.controlId);
    makeControl(window, ControlKind::ComboBox, AI_PACKAGE_SELECTOR.controlId);
    makeControl(window, ControlKind::ComboBox, RT_CHOISE.controlId);
    MAX_LIVE_SEL.fillCombo();
    TCAS_FL.fillCombo();
    RT_CHOISE.fillCombo();
    ASSERT_EQ(gf_comboSelectedText(MAX_LIVE_SEL.controlId), "500");
    ASSERT_EQ(gf_comboSelectedText(RT_CHOISE.controlId), "RT Direct");

    writeWholeFile(file(), parametersXml({{"RANDOM", "false"}, {"MAX_LIVE_SEL", "7"}, {"TCAS_FL", "240"},
                                          {"RT_CHOISE", "RT App"}}));
    EXPECT_FALSE(gf_loadParameters());
    EXPECT_EQ(gf_controlCheck(RANDOM.controlId), false);
    EXPECT_EQ(gf_comboSelection(MAX_LIVE_SEL.controlId), -1) << "7 is no entry: nothing selected";
    EXPECT_EQ(gf_comboSelectedText(TCAS_FL.controlId), "240");
    EXPECT_EQ(gf_comboSelectedText(RT_CHOISE.controlId), "RT App");
    // Controls that do not exist are reported by id; the registered choice
    // options without a control here are ALL_AIR_GND_SELECTOR, SIM_CHOICE, QNH_UNIT.
    EXPECT_NE(log().find(fmt::format("GetDlgItem failed for ID {}", SIM_CHOICE.controlId)), std::string::npos);
    EXPECT_EQ(log().find(fmt::format("GetDlgItem failed for ID {}", RT_CHOISE.controlId)), std::string::npos);
}

// ---------------------------------------------------------------------------
// Single saves and removal

TEST_F(ParametersFileTest, SingleSaveWithoutFileStartsAFileOfThatKey) {
    std::filesystem::remove_all(programDataFolder());
    gf_installParameterFileWriter(&gf_writeParameterToFile);
    AUTO_PARK.setValue(false);
    AUTO_PARK.save();
    const auto stored = storedParameters(file());
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].name, "AUTO_PARK");
    EXPECT_EQ(stored[0].value, "false");
    EXPECT_TRUE(logHasLine("AUTO_PARK=false"));
    // The next load adds the rest and keeps the saved value.
    EXPECT_FALSE(gf_loadParameters());
    EXPECT_FALSE(AUTO_PARK.value());
    EXPECT_EQ(storedKeys(file()), registeredKeys());
}

TEST_F(ParametersFileTest, SingleSaveNeverReplacesAnUnreadableFileWithOneKey) {
    EXPECT_TRUE(gf_loadParameters());
    const std::string broken = readWholeFile(file()).substr(0, 400);  // cut off mid-element
    writeWholeFile(file(), broken);
    RANGE_ABOVE.setAndSave(90);
    EXPECT_EQ(RANGE_ABOVE.value(), 90);
    EXPECT_EQ(readWholeFile(file()), broken) << "the file is left as it was";
    EXPECT_EQ(readWholeFile(generationFile()), broken) << "and a copy is kept";
    EXPECT_NE(log().find(parametersFilePathUtf8() + " could not be loaded: "), std::string::npos);
    EXPECT_NE(log().find("RANGE_ABOVE not saved"), std::string::npos);
    EXPECT_TRUE(logHasLine("RANGE_ABOVE=90")) << "the change still reaches the log";
}

TEST_F(ParametersFileTest, RemovalTakesTheFirstElementOnly) {
    writeWholeFile(file(), "<root><parameters><parameter name=\"COLLISION_LIVE_PARKED_GND\" value=\"true\"/>"
                           "<parameter name=\"RANGE_1\" value=\"21\"/>"
                           "<parameter name=\"COLLISION_LIVE_PARKED_GND\" value=\"false\"/></parameters></root>");
    const BoolParameter obsolete("COLLISION_LIVE_PARKED_GND", false);
    EXPECT_TRUE(gf_removeParameterElement(obsolete));
    EXPECT_TRUE(logHasLine("Parameter 'COLLISION_LIVE_PARKED_GND' removed"));
    EXPECT_EQ(storedValues(file(), "COLLISION_LIVE_PARKED_GND"), std::vector<std::string>{"false"});
    EXPECT_TRUE(gf_removeParameterElement(obsolete));
    EXPECT_FALSE(gf_removeParameterElement(obsolete)) << "none left";
    EXPECT_EQ(storedValues(file(), "RANGE_1"), std::vector<std::string>{"21"});

    writeWholeFile(file(), "<parameters><parameter name=\"RANGE_1\" value=\"21\"/></parameters>");
    EXPECT_FALSE(gf_removeParameterElement(RANGE_1));
    EXPECT_TRUE(logHasLine("root missing in " + parametersFilePathUtf8()));
    writeWholeFile(file(), "<root/>");
    EXPECT_FALSE(gf_removeParameterElement(RANGE_1));
    EXPECT_TRUE(logHasLine("Section parameters missing in " + parametersFilePathUtf8()));
    writeWholeFile(file(), "<root");
    EXPECT_FALSE(gf_removeParameterElement(RANGE_1));
    EXPECT_EQ(readWholeFile(file()), "<root");
    std::filesystem::remove(file());
    EXPECT_FALSE(gf_removeParameterElement(RANGE_1));
}

// ---------------------------------------------------------------------------
// Window position before the window exists

TEST_F(ParametersFileTest, WindowPositionIsReadClampedOrLeftAtItsDefaults) {
    MAIN_WINDOW_X.set(123);
    gf_readWindowPosition();
    EXPECT_EQ(MAIN_WINDOW_X.value(), 123) << "no file: nothing changes";

    writeWholeFile(file(), parametersXml({{"MAIN_WINDOW_X", "50000"}, {"MAIN_WINDOW_Y", "-12"}}));
    gf_readWindowPosition();
    EXPECT_EQ(MAIN_WINDOW_X.value(), 30000);
    EXPECT_EQ(MAIN_WINDOW_Y.value(), -12);

    std::filesystem::remove(file());
    std::filesystem::create_directory(file());
    gf_readWindowPosition();
    EXPECT_TRUE(logHasLine("==> " + parametersFilePathUtf8() + " could not be opened"));
    EXPECT_EQ(MAIN_WINDOW_X.value(), 30000);
    std::filesystem::remove(file());

    writeWholeFile(file(), parametersXml({{"MAIN_WINDOW_X", "abc"}}));
    gf_readWindowPosition();
    EXPECT_EQ(MAIN_WINDOW_X.value(), 400);
    EXPECT_EQ(MAIN_WINDOW_Y.value(), 20);
}

TEST_F(ParametersFileTest, BrokenFileFoundByTheWindowPositionIsKeptAndRemoved) {
    writeWholeFile(file(), "<root><parameters>");
    gf_readWindowPosition();
    EXPECT_NE(log().find("==> " + parametersFilePathUtf8() + " failed to load ("), std::string::npos);
    EXPECT_NE(log().find("). Saved as 0.xml and removed."), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(file()));
    EXPECT_EQ(readWholeFile(generationFile()), "<root><parameters>");
    EXPECT_TRUE(gf_loadParameters()) << "the load then writes a new file";

    // When no copy can be made the broken file stays where it is.
    writeWholeFile(file(), "<root><parameters>");
    {
        ScopedOsFaultHook failCopies([](OsOperation op, const std::filesystem::path&, const std::filesystem::path&) {
            return op == OsOperation::copy ? std::make_error_code(std::errc::io_error) : std::error_code{};
        });
        gf_readWindowPosition();
    }
    EXPECT_EQ(readWholeFile(file()), "<root><parameters>");

    // A removal that fails is reported.
    {
        ScopedOsFaultHook failRemovals([](OsOperation op, const std::filesystem::path&, const std::filesystem::path&) {
            return op == OsOperation::remove ? std::make_error_code(std::errc::io_error) : std::error_code{};
        });
        gf_readWindowPosition();
    }
    EXPECT_NE(log().find("==> Could not remove '" + parametersFilePathUtf8() + "': "), std::string::npos);
}

// ---------------------------------------------------------------------------
// Interrupted saves

// What a later start finds after a save stopped at some point: a file that
// loads with every key, the changed one holding its old or its new value and
// every other one its old value.
void expectUsableFile(const std::filesystem::path& path, const std::string& key, const std::string& before,
                      const std::string& after, const std::string& where) {
    SCOPED_TRACE(where);
    const auto stored = storedParameters(path);
    ASSERT_EQ(stored.size(), registeredCount());
    for (const auto& p : stored) {
        if (p.name == key) {
            EXPECT_TRUE(p.value == before || p.value == after) << p.value;
        } else if (p.name == "RANGE_2") {
            EXPECT_EQ(p.value, "55");
        }
    }
}

TEST_F(ParametersFileTest, SaveInterruptedAtEachStepLeavesAFileOfBeforeOrAfter) {
    EXPECT_TRUE(gf_loadParameters());
    RANGE_2.setAndSave(55);
    RANGE_1.setAndSave(30);

    // Count the steps of one save that the system can fail.
    int steps = 0;
    {
        ScopedOsFaultHook count([&](OsOperation, const std::filesystem::path&, const std::filesystem::path&) {
            ++steps;
            return std::error_code{};
        });
        RANGE_1.setAndSave(31);
    }
    ASSERT_GE(steps, 2);

    for (int failAt = 0; failAt < steps; ++failAt) {
        const std::string before = storedValues(file(), "RANGE_1").at(0);
        const std::string after = before == "31" ? "32" : "31";
        int step = 0;
        {
            ScopedOsFaultHook interrupt(
                [&](OsOperation, const std::filesystem::path&, const std::filesystem::path&) -> std::error_code {
                    // As if the program died here: what is on disk now must do.
                    expectUsableFile(file(), "RANGE_1", before, after, fmt::format("crash before step {}", step));
                    return step++ == failAt ? std::make_error_code(std::errc::io_error) : std::error_code{};
                });
            RANGE_1.setAndSave(std::stoi(after));
        }
        expectUsableFile(file(), "RANGE_1", before, after, fmt::format("step {} failed", failAt));
        // The next start loads it, with the value of before or after.
        RANGE_1.set(2);
        EXPECT_FALSE(gf_loadParameters());
        EXPECT_TRUE(RANGE_1.value() == std::stoi(before) || RANGE_1.value() == std::stoi(after));
        EXPECT_EQ(RANGE_2.value(), 55);
    }
    EXPECT_NE(log().find("saving '" + parametersFilePathUtf8() + "' failed"), std::string::npos);
    // A save after the interruptions works as before.
    RANGE_1.setAndSave(40);
    EXPECT_EQ(storedValues(file(), "RANGE_1"), std::vector<std::string>{"40"});
}

TEST_F(ParametersFileTest, LoadInterruptedAtEachStepKeepsTheOldFile) {
    const std::string original = parametersXml({{"RANGE_1", "30"}, {"RANGE_2", "55"}});
    for (int failAt = 0; failAt < 3; ++failAt) {
        writeWholeFile(file(), original);
        int step = 0;
        {
            ScopedOsFaultHook interrupt(
                [&](OsOperation, const std::filesystem::path&, const std::filesystem::path&) -> std::error_code {
                    const auto stored = storedParameters(file());
                    EXPECT_GE(stored.size(), 2u) << "never fewer keys";
                    return step++ == failAt ? std::make_error_code(std::errc::io_error) : std::error_code{};
                });
            EXPECT_FALSE(gf_loadParameters());
        }
        EXPECT_EQ(RANGE_1.value(), 30);
        const auto stored = storedParameters(file());
        EXPECT_TRUE(stored.size() == 2u || stored.size() == registeredCount()) << stored.size();
        EXPECT_EQ(storedValues(file(), "RANGE_2"), std::vector<std::string>{"55"});
    }
}

}  // namespace
