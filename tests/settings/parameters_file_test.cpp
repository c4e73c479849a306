// parameters.xml: load, writing a new file, single saves, removal, the window
// position read before the window exists, and saves interrupted at each step.

#include <filesystem>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/version.h"
#include "parameters_file_test_support.h"
#include "platform/os/os.h"
#include "settings/option_lists.h"

namespace {

using tavo::test::ParametersFileTest;
using tavo::test::parametersXml;
using tavo::test::readFile;
using tavo::test::registeredCount;
using tavo::test::storedParameters;
using tavo::test::storedValues;
using tavo::test::writeFile;
using Values = std::vector<std::string>;

std::set<std::string> registeredKeys() {
    std::set<std::string> keys;
    const auto add = [&](const auto& list) {
        for (auto* p : list) keys.insert(p->name);
    };
    add(boolParameters);
    add(guiBoolParameters);
    add(intParameters);
    add(listOptions);
    add(stringParameters);
    add(pathParameters);
    add(choiceOptions);
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

    const std::string text = logText();
    const std::string opening = std::string(34, '*') + " parameters " + std::string(34, '*');
    EXPECT_TRUE(logHasLine(opening)) << text;
    EXPECT_TRUE(logHasLine(parametersFilePathUtf8() + " could not be opened, creating new with default values:"));
    EXPECT_TRUE(logHasLine("PORT_NUMBER=\"10747\""));
    EXPECT_LT(text.find(opening), text.find("RANGE_2=40"));
    EXPECT_LT(text.find("RANGE_2=40"), text.rfind("\n" + std::string(80, '*') + "\n")) << "closing banner";

    EXPECT_EQ(storedParameters(file()).size(), registeredCount());
    EXPECT_EQ(storedKeys(file()), registeredKeys());
    EXPECT_EQ(storedValues(file(), "PROGRAM_VERSION"), Values{"16.8.0"});
    EXPECT_EQ(storedValues(file(), "RANGE_1"), Values{"20"}) << "defaults are written";
    EXPECT_EQ(storedValues(file(), "LAST_EPOCH_TIME:"), Values{"0"});
    EXPECT_TRUE(storedValues(file(), "MAX_FIT_FL").empty());
    EXPECT_EQ(RANGE_1.value(), 33) << "writing anew leaves the values in memory alone";
    EXPECT_FALSE(std::filesystem::exists(generationFile())) << "nothing to keep";

    // The next start reads what was written.
    EXPECT_FALSE(gf_loadParameters());
    EXPECT_EQ(RANGE_1.value(), 20);
}

TEST_F(ParametersFileTest, UnparseableFileOrOneWithoutParametersIsKeptAsGenerationAndWrittenAnew) {
    const std::pair<std::string, std::string> cases[] = {
        {"<root><parameters><parameter name=\"RANGE_1\" value=\"30\"></root>",
         parametersFilePathUtf8() + " could not be loaded: "},
        {"<root><settings><parameter name=\"RANGE_1\" value=\"30\"/></settings></root>",
         "Section 'parameters' not found in '" + parametersFilePathUtf8() + "', creating new with default values:"},
    };
    for (const auto& [content, line] : cases) {
        SCOPED_TRACE(content);
        writeFile(file(), content);
        EXPECT_TRUE(gf_loadParameters());
        EXPECT_TRUE(logHas(line));
        EXPECT_EQ(readFile(generationFile()), content) << "the old file is kept";
        EXPECT_EQ(storedKeys(file()), registeredKeys());
        EXPECT_EQ(RANGE_1.value(), 20);
    }
}

TEST_F(ParametersFileTest, ExistingFileThatCannotBeOpenedIsNeverReplaced) {
    // A folder where the file should be: it exists, but cannot be read.
    std::filesystem::create_directories(file() / "inside");
    RANGE_1.set(33);
    EXPECT_TRUE(gf_loadParameters());
    EXPECT_TRUE(std::filesystem::is_directory(file() / "inside"));
    EXPECT_EQ(RANGE_1.value(), 33) << "values stay as they are";
    EXPECT_FALSE(logHas("creating new with default values"));
    // A single save does not replace it either.
    RANGE_1.setAndSave(44);
    EXPECT_TRUE(std::filesystem::is_directory(file() / "inside"));
    EXPECT_TRUE(logHas("RANGE_1 not saved"));
}

// ---------------------------------------------------------------------------
// Load: values

TEST_F(ParametersFileTest, IntegerTextsAreTrimmedAndSignedOrReplacedInPlace) {
    writeFile(file(), parametersXml({{"RANGE_1", " +25 "}, {"RANGE_2", "-0"}, {"FLIGHT_LEVEL_1", "\t150\r\n"}}));
    EXPECT_FALSE(gf_loadParameters());
    EXPECT_EQ(RANGE_1.value(), 25);
    EXPECT_EQ(RANGE_2.value(), 2) << "0 clamped to the lower limit";
    EXPECT_EQ(FLIGHT_LEVEL_1.value(), 150);
    EXPECT_EQ(storedValues(file(), "RANGE_2"), Values{"-0"}) << "clamped in memory only";

    for (const std::string bad : {"25.0", "0x19", "+", "", "2147483648", "25 5"}) {
        SCOPED_TRACE(bad);
        writeFile(file(), parametersXml({{"RANGE_1", bad}}));
        RANGE_1.set(77);
        // Loaded again and again, the file does not grow: the default
        // replaces the unreadable value in place.
        for (int start = 0; start < 2; ++start) {
            EXPECT_FALSE(gf_loadParameters());
            EXPECT_EQ(RANGE_1.value(), 20) << "the default";
            EXPECT_EQ(storedValues(file(), "RANGE_1"), Values{"20"});
            EXPECT_EQ(storedParameters(file()).size(), registeredCount());
        }
    }
}

TEST_F(ParametersFileTest, DuplicatesUnknownKeysAndTheColonOfLastEpochTime) {
    writeFile(file(), "<root><parameters>"
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
    EXPECT_EQ(storedValues(file(), "RANGE_3"), (Values{"61", "62"}));
    EXPECT_EQ(storedValues(file(), "LAST_EPOCH_TIME"), Values{"1700000000"});
    EXPECT_EQ(storedValues(file(), "LAST_EPOCH_TIME:"), Values{"0"});

    // A single save updates every element of its key and keeps the rest.
    RANGE_3.setAndSave(70);
    EXPECT_EQ(storedValues(file(), "RANGE_3"), (Values{"70", "70"}));
    EXPECT_EQ(storedValues(file(), "MY_OWN_KEY"), Values{"keep me"});
    EXPECT_EQ(storedValues(file(), "range_1"), Values{"9"});
    EXPECT_NE(readFile(file()).find("<extra a=\"1\""), std::string::npos);
    EXPECT_TRUE(logHasLine("RANGE_3=70"));
}

TEST_F(ParametersFileTest, FlagTextsTextsAndPaths) {
    writeFile(file(), parametersXml({{"SKIP_AIRPORT_SCAN", "Yes"},
                                     {"SKIP_LIVERIES_SCAN", " TRUE "},
                                     {"RANDOM", "off"},
                                     {"WEEK", "y"},
                                     {"PORT_NUMBER", ""},
                                     {"MSFS_INSTALL_PATH", "/games/Flight Sim/\xC3\xA9t\xC3\xA9"}}));
    WEEK.setValue(true);
    EXPECT_FALSE(gf_loadParameters());
    EXPECT_TRUE(SKIP_AIRPORT_SCAN.value());
    EXPECT_TRUE(SKIP_LIVERIES_SCAN.value());
    EXPECT_FALSE(RANDOM.value());
    EXPECT_FALSE(WEEK.value()) << "y is unreadable: the default";
    EXPECT_EQ(storedValues(file(), "WEEK"), Values{"false"});
    EXPECT_EQ(PORT_NUMBER.value(), "") << "an empty text is a text";
    EXPECT_EQ(storedValues(file(), "PORT_NUMBER"), Values{""});
    EXPECT_EQ(gf_pathToUtf8(MSFS_INSTALL_PATH.value()), "/games/Flight Sim/\xC3\xA9t\xC3\xA9");
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
    // The next load adds the rest and keeps the saved value.
    EXPECT_FALSE(gf_loadParameters());
    EXPECT_FALSE(AUTO_PARK.value());
    EXPECT_EQ(storedKeys(file()), registeredKeys());
}

TEST_F(ParametersFileTest, SingleSaveNeverReplacesAnUnreadableFileWithOneKey) {
    EXPECT_TRUE(gf_loadParameters());
    const std::string broken = readFile(file()).substr(0, 400);  // cut off mid-element
    writeFile(file(), broken);
    RANGE_ABOVE.setAndSave(90);
    EXPECT_EQ(RANGE_ABOVE.value(), 90);
    EXPECT_EQ(readFile(file()), broken) << "the file is left as it was";
    EXPECT_EQ(readFile(generationFile()), broken) << "and a copy is kept";
    EXPECT_TRUE(logHas("RANGE_ABOVE not saved"));
    EXPECT_TRUE(logHasLine("RANGE_ABOVE=90")) << "the change still reaches the log";
}

TEST_F(ParametersFileTest, SavesOfAnUnreadableFileKeepAGoodOlderCopy) {
    EXPECT_TRUE(gf_loadParameters());
    const std::string good = readFile(file());
    writeFile(generationFile(), good);
    const std::string broken = good.substr(0, 400);
    writeFile(file(), broken);
    RANGE_ABOVE.setAndSave(90);
    RANGE_ABOVE.setAndSave(80);
    EXPECT_EQ(readFile(generationFile()), good) << "the older copy that parses stays";
    EXPECT_EQ(readFile(file()), broken);
    // An older copy that does not parse either is no better than the file.
    writeFile(generationFile(), "<root><par");
    RANGE_ABOVE.setAndSave(70);
    EXPECT_EQ(readFile(generationFile()), broken);
}

// ---------------------------------------------------------------------------
// Window position before the window exists

TEST_F(ParametersFileTest, WindowPositionIsReadClampedAndABrokenFileIsKeptAndRemoved) {
    MAIN_WINDOW_X.set(123);
    gf_readWindowPosition();
    EXPECT_EQ(MAIN_WINDOW_X.value(), 123) << "no file: nothing changes";
    writeFile(file(), parametersXml({{"MAIN_WINDOW_X", "50000"}, {"MAIN_WINDOW_Y", "-12"}}));
    gf_readWindowPosition();
    EXPECT_EQ(MAIN_WINDOW_X.value(), 30000);
    EXPECT_EQ(MAIN_WINDOW_Y.value(), -12);

    writeFile(file(), "<root><parameters>");
    gf_readWindowPosition();
    EXPECT_TRUE(logHas("). Saved as 0.xml and removed."));
    EXPECT_FALSE(std::filesystem::exists(file()));
    EXPECT_EQ(readFile(generationFile()), "<root><parameters>");
}

TEST_F(ParametersFileTest, ABrokenFileIsNeverRemovedWithoutAKeptCopy) {
    struct Case {
        const char* name;
        bool moveFails;
        bool copyFails;
        bool fileStays;
    };
    for (const Case& c : {Case{"rename works", false, false, false}, Case{"rename fails, copy works", true, false, false},
                          Case{"both fail", true, true, true}}) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(generationFile());
        writeFile(file(), "<root><parameters>");
        {
            ScopedOsFaultHook faults([&](OsOperation op, const std::filesystem::path&, const std::filesystem::path&) {
                const bool fail = (op == OsOperation::move && c.moveFails) || (op == OsOperation::copy && c.copyFails);
                return fail ? std::make_error_code(std::errc::io_error) : std::error_code{};
            });
            gf_readWindowPosition();
        }
        EXPECT_EQ(std::filesystem::exists(file()), c.fileStays);
        if (c.fileStays) {
            EXPECT_EQ(readFile(file()), "<root><parameters>") << "no file is lost";
            EXPECT_TRUE(logHas("could not be kept as 0.xml; left in place"));
        } else {
            EXPECT_EQ(readFile(generationFile()), "<root><parameters>");
        }
    }
}

// ---------------------------------------------------------------------------
// Interrupted saves

// What a later start finds after a save stopped at some point: a file that
// loads with every key, the changed one holding its old or its new value and
// every other one its old value.
void expectUsableFile(const std::filesystem::path& path, const std::string& before, const std::string& after,
                      const std::string& where) {
    SCOPED_TRACE(where);
    const auto stored = storedParameters(path);
    ASSERT_EQ(stored.size(), registeredCount());
    for (const auto& p : stored) {
        if (p.name == "RANGE_1") {
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
                    expectUsableFile(file(), before, after, fmt::format("crash before step {}", step));
                    return step++ == failAt ? std::make_error_code(std::errc::io_error) : std::error_code{};
                });
            RANGE_1.setAndSave(std::stoi(after));
        }
        expectUsableFile(file(), before, after, fmt::format("step {} failed", failAt));
        // The next start loads it, with the value of before or after.
        RANGE_1.set(2);
        EXPECT_FALSE(gf_loadParameters());
        EXPECT_TRUE(RANGE_1.value() == std::stoi(before) || RANGE_1.value() == std::stoi(after));
        EXPECT_EQ(RANGE_2.value(), 55);
    }
    EXPECT_TRUE(logHas("saving '" + parametersFilePathUtf8() + "' failed"));
    RANGE_1.setAndSave(40);
    EXPECT_EQ(storedValues(file(), "RANGE_1"), Values{"40"});
}

}  // namespace
