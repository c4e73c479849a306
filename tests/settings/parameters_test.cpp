// Parameter objects: construction rules, clamping, value texts, parsing of
// stored values, log forms, the save hook and the control binding.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/log.h"
#include "platform/window/headless.h"
#include "settings_test_support.h"
#include "support/temp_dir.h"

namespace {

using tavo::test::SettingsTest;

template <class F>
std::string thrownMessage(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "<nothing thrown>";
}

TEST(ParameterConstruction, IntegerSettersClampToTheLimits) {
    IntParameter p("TEST_INT", 50, 2, 100);
    EXPECT_EQ(p.value(), 50);
    p.setAndSave(150);
    EXPECT_EQ(p.value(), 100);
    p.setAndSave(-3);
    EXPECT_EQ(p.value(), 2);
    p.set(2);
    EXPECT_EQ(p.value(), 2);
    p.set(100);
    EXPECT_EQ(p.value(), 100);
    IntParameter full("TEST_FULL", 0, INT32_MIN, INT32_MAX);
    full.set(INT32_MIN);
    EXPECT_EQ(full.value(), INT32_MIN);
    full.set(INT32_MAX);
    EXPECT_EQ(full.value(), INT32_MAX);
}

TEST_F(SettingsTest, TableLimitsClampAsTheTableSays) {
    RANGE_3.set(1);
    EXPECT_EQ(RANGE_3.value(), 1);
    for (IntParameter* radius : {&RANGE_GROUND, &RANGE_1, &RANGE_2, &RANGE_ABOVE}) {
        radius->set(1);
        EXPECT_EQ(radius->value(), 2) << radius->name;
    }
    BLOCK_HEXIDDEC.set(16777215);
    EXPECT_EQ(BLOCK_HEXIDDEC.value(), 16777215);
    BLOCK_HEXIDDEC.set(16777216);
    EXPECT_EQ(BLOCK_HEXIDDEC.value(), 16777215);
    LAST_EPOCH_TIME.set(-5);
    EXPECT_EQ(LAST_EPOCH_TIME.value(), 0);
    // A list option is clamped, not snapped to its list.
    PARKING_INTERVAL_MINUTES.set(35);
    EXPECT_EQ(PARKING_INTERVAL_MINUTES.value(), 35);
    MATCHING_DEPTH.set(12);
    EXPECT_EQ(MATCHING_DEPTH.value(), 7);
    MAX_LIVE_SEL.set(7);
    EXPECT_EQ(MAX_LIVE_SEL.value(), 7);
    EXPECT_FALSE(MAX_LIVE_SEL.positionOfValue().has_value());
}

TEST(ParameterConstruction, ListOptionLimitsComeFromTheValuesInAnyOrder) {
    NumericListOption ascending("A", 10, {5, 10, 15, 20, 25, 30}, 0x9000, 0, 0, 0, 0);
    NumericListOption shuffled("B", 10, {20, 5, 30, 10, 25, 15}, 0x9001, 0, 0, 0, 0);
    for (const NumericListOption* p : {&ascending, &shuffled}) {
        EXPECT_EQ(p->minimum(), 5);
        EXPECT_EQ(p->maximum(), 30);
        EXPECT_EQ(p->value(), 10);
    }
    EXPECT_EQ(shuffled.allowedValues(), (std::vector<std::int32_t>{20, 5, 30, 10, 25, 15}));
    EXPECT_EQ(shuffled.valueAt(2), 30);
    EXPECT_EQ(shuffled.positionOfValue(), 3u);
    FloatListOption floats("F", 1.0f, {2.0f, 0.5f, 1.0f}, 0x9002, 0, 0, 0, 0);
    EXPECT_EQ(floats.minimum(), 0.5f);
    EXPECT_EQ(floats.maximum(), 2.0f);
}

TEST(ParameterConstruction, EmptyAndMissingListsAreRefused) {
    EXPECT_EQ(thrownMessage([] { NumericListOption p("E", 0, {}, 0x9000, 0, 0, 0, 0); }),
              "configuration option list cannot be empty");
    EXPECT_EQ(thrownMessage([] { FloatListOption p("E", 0.0f, {}, 0x9000, 0, 0, 0, 0); }),
              "configuration option list cannot be empty");
    EXPECT_THROW((NumericListOption("E", 0, {}, 0x9000, 0, 0, 0, 0)), std::invalid_argument);
    EXPECT_EQ(thrownMessage([] { DynamicListOption p("D", "", nullptr, 0x9000, 0, 0, 0, 0); }),
              "dynamic configuration option list cannot be null");
    EXPECT_THROW((DynamicListOption("D", "", nullptr, 0x9000, 0, 0, 0, 0)), std::invalid_argument);
}

TEST(ParameterConstruction, IndexPastTheEndOfAListIsOutOfRange) {
    const std::string message = "configuration option index is out of range";
    EXPECT_EQ(thrownMessage([] { (void)MATCHING_DEPTH.valueAt(7); }), message);
    EXPECT_EQ(MATCHING_DEPTH.valueAt(6), 7);
    EXPECT_EQ(thrownMessage([] { (void)MAX_FIT_FL.valueAt(48); }), message);
    EXPECT_EQ(thrownMessage([] { (void)ALL_AIR_GND_SELECTOR.valueAt(3); }), message);
    EXPECT_EQ(ALL_AIR_GND_SELECTOR.valueAt(2), "Ground only");
    EXPECT_THROW((void)RANGE.valueAt(99), std::out_of_range);
    EXPECT_THROW((void)SIM_CHOICE.valueAt(SIZE_MAX), std::out_of_range);
}

TEST(ParameterConstruction, DynamicListReplacementLeavesHeldListsAlone) {
    DynamicListOption selector("S", "", std::make_shared<const DynamicListOption::List>(
                                            DynamicListOption::List{""}), 0x9000, 0, 0, 0, 0);
    const auto before = selector.choices();
    selector.replaceChoices({"A, B, 1", "C, D, 2"});
    EXPECT_EQ(*before, DynamicListOption::List{""});
    EXPECT_EQ(*selector.choices(), (DynamicListOption::List{"A, B, 1", "C, D, 2"}));
}

TEST(ParameterValues, StoredIntegersAreTrimmedTakeOnePlusAndFitThirtyTwoBits) {
    EXPECT_EQ(gf_parseParameterInt("25"), 25);
    EXPECT_EQ(gf_parseParameterInt(" +25 "), 25);
    EXPECT_EQ(gf_parseParameterInt("\t\r\n-7\n"), -7);
    EXPECT_EQ(gf_parseParameterInt("2147483647"), 2147483647);
    EXPECT_EQ(gf_parseParameterInt("-2147483648"), INT32_MIN);
    EXPECT_EQ(gf_parseParameterInt("0"), 0);
    for (const char* bad : {"", "   ", "+", " + ", "++5", "25.0", "0x19", "2147483648", "-2147483649",
                            "12a", "a12", "2 5", "- 5", "1e3"}) {
        EXPECT_FALSE(gf_parseParameterInt(bad).has_value()) << '"' << bad << '"';
    }
}

TEST(ParameterValues, StoredFlagsAreWordsInAnyCase) {
    for (const char* yes : {"true", "TRUE", "Yes", "on", "1", " True\r\n", "\tON"}) {
        EXPECT_EQ(gf_parseParameterBool(yes), true) << yes;
    }
    for (const char* no : {"false", "No", "OFF", "0", " false "}) {
        EXPECT_EQ(gf_parseParameterBool(no), false) << no;
    }
    for (const char* bad : {"", "y", "n", "2", "truee", "t", "01", "yes please"}) {
        EXPECT_FALSE(gf_parseParameterBool(bad).has_value()) << bad;
    }
}

TEST_F(SettingsTest, ValueAndLogTextsOfEachKind) {
    RANGE_1.set(25);
    EXPECT_EQ(gf_parameterValueText(RANGE_1), "25");
    EXPECT_EQ(gf_parameterLogText(RANGE_1), "RANGE_1=25");
    EXPECT_EQ(gf_parameterLogText(LAST_EPOCH_TIME), "LAST_EPOCH_TIME:=0");
    EXPECT_EQ(gf_parameterLogText(RANGE), "RANGE=40");
    EXPECT_EQ(gf_parameterLogText(PARKING_INTERVAL_MINUTES), "PARKING_INTERVAL_MINUTES=20");
    WEEK.setValue(true);
    EXPECT_EQ(gf_parameterValueText(WEEK), "true");
    EXPECT_EQ(gf_parameterLogText(WEEK), "WEEK=true");
    EXPECT_EQ(gf_parameterLogText(PSX_SERVER_HERE), "PSX_SERVER_HERE=true");
    EXPECT_EQ(gf_parameterLogText(AEROWINX), "AEROWINX=false");
    EXPECT_EQ(gf_parameterLogText(PORT_NUMBER), "PORT_NUMBER=\"10747\"");
    EXPECT_EQ(gf_parameterLogText(RT_CHOISE), "RT_CHOISE=\"RT Direct\"");
    EXPECT_EQ(gf_parameterLogText(DESTINATION), "DESTINATION=\"\"");
    MSFS_INSTALL_PATH.setValue(std::filesystem::path("/games/Flight Simulator"));
    EXPECT_EQ(gf_parameterValueText(MSFS_INSTALL_PATH), "/games/Flight Simulator");
    EXPECT_EQ(gf_parameterLogText(MSFS_INSTALL_PATH), "MSFS_INSTALL_PATH=\"/games/Flight Simulator\"");
    EXPECT_EQ(gf_parameterLogText(BlockButton), "");
    EXPECT_EQ(gf_parameterValueText(BlockButton), "");
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

class ParameterLogTest : public tavo::test::TempWorkDirTest {
protected:
    void SetUp() override {
        TempWorkDirTest::SetUp();
        tavo::test::resetSettingsToDefaults();
        gf_openLogFile();
    }
    void TearDown() override {
        gf_logger().close();
        tavo::test::resetSettingsToDefaults();
        TempWorkDirTest::TearDown();
    }
};

TEST_F(ParameterLogTest, LogMembersAndUninstalledSavesWriteTheLogFormsAndNoFile) {
    RANGE_2.log();
    HELICOPTERS.log();
    BLOCK_CALLSIGN.setValue("DLH4_");
    BLOCK_CALLSIGN.log();
    MSFS_2024_INSTALL_PATH.setAndSave(std::filesystem::path("/x/y"));
    TIME_SHIFT_DAYS.setAndSave(99);
    COLLAPSED.setValue(false);
    COLLAPSED.save();
    gf_flushLog();
    const std::string log = readFile("Log.txt");
    EXPECT_NE(log.find("\nRANGE_2=40\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\nHELICOPTERS=true\n"), std::string::npos);
    EXPECT_NE(log.find("\nBLOCK_CALLSIGN=\"DLH4_\"\n"), std::string::npos);
    EXPECT_NE(log.find("\nMSFS_2024_INSTALL_PATH=\"/x/y\"\n"), std::string::npos);
    EXPECT_NE(log.find("\nTIME_SHIFT_DAYS=13\n"), std::string::npos);
    EXPECT_NE(log.find("\nCOLLAPSED=false\n"), std::string::npos);
    // Without the file layer nothing is written beside the log.
    EXPECT_FALSE(std::filesystem::exists("parameters.xml"));
    EXPECT_FALSE(std::filesystem::exists(parametersFilePath()));
}

std::vector<std::string> g_written;
void recordingWriter(const Parameter& p) noexcept {
    g_written.push_back(p.name + "|" + gf_parameterValueText(p));
}

TEST_F(SettingsTest, EverySaveGoesThroughTheInstalledWriterWithTheNewValue) {
    g_written.clear();
    gf_installParameterFileWriter(&recordingWriter);
    RANGE_ABOVE.setAndSave(500);
    DBASE_VERSION.setAndSave("2.1.0");
    MSFS_INSTALL_PATH.setAndSave(std::filesystem::path("/p"));
    SIM_TIME.setValue(true);
    SIM_TIME.save();
    gf_saveParameter(MAX_FIT);
    EXPECT_EQ(g_written, (std::vector<std::string>{"RANGE_ABOVE|100", "DBASE_VERSION|2.1.0",
                                                   "MSFS_INSTALL_PATH|/p", "SIM_TIME|true", "MAX_FIT|47"}));
    gf_installParameterFileWriter(nullptr);
    RANGE_ABOVE.setAndSave(50);
    EXPECT_EQ(g_written.size(), 5u) << "an uninstalled writer is not called";
    EXPECT_EQ(RANGE_ABOVE.value(), 50);
}

TEST_F(SettingsTest, StringDefaultCanBeChangedByTheFileLayerOnly) {
    PROGRAM_VERSION.setDefaultValue("16.8.0");
    EXPECT_EQ(PROGRAM_VERSION.defaultValue(), "16.8.0");
    EXPECT_EQ(PROGRAM_VERSION.value(), "") << "a new default leaves the value alone";
    PROGRAM_VERSION.setDefaultValue("");
}

TEST_F(SettingsTest, ShowValueSelectsTheAllowedPositionInItsComboBox) {
    auto backend = std::make_shared<HeadlessBackend>();
    gf_installWindowBackend(backend);
    // Before the control exists nothing happens and nothing fails.
    MAX_LIVE_SEL.showValue();

    MainWindowSpec windowSetup;
    windowSetup.title = "test";
    windowSetup.width = 900;
    windowSetup.height = 700;
    windowSetup.proc = [](WindowHandle, std::uint32_t, std::uint64_t, std::int64_t) -> std::int64_t { return 0; };
    const WindowHandle window = gf_createMainWindow(windowSetup);
    ASSERT_NE(window, WindowHandle::None);
    ControlSpec combo;
    combo.kind = ControlKind::ComboBox;
    combo.id = MAX_LIVE_SEL.controlId;
    ASSERT_TRUE(gf_createControl(window, combo));
    std::vector<std::string> items;
    for (const auto v : MAX_LIVE_SEL.allowedValues()) items.push_back(std::to_string(v));
    ASSERT_TRUE(gf_setComboItems(combo.id, items));

    MAX_LIVE_SEL.set(75);
    MAX_LIVE_SEL.showValue();
    EXPECT_EQ(gf_comboSelection(combo.id), 11);
    // A value that is only clamped, not allowed: the selection stays.
    MAX_LIVE_SEL.set(7);
    MAX_LIVE_SEL.showValue();
    EXPECT_EQ(gf_comboSelection(combo.id), 11);
    MAX_LIVE_SEL.set(0);
    MAX_LIVE_SEL.showValue();
    EXPECT_EQ(gf_comboSelection(combo.id), 0);
    gf_installWindowBackend(nullptr);
}

}  // namespace
