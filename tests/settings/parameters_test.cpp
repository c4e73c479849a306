// Parameter objects: clamping, parsing of stored values, value and log texts,
// the save hook and the control binding.

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

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

TEST_F(SettingsTest, IntegersClampToTheirLimitsAndListOptionsAreNotSnapped) {
    IntParameter full("TEST_FULL", 0, INT32_MIN, INT32_MAX);
    const struct {
        IntParameter* parameter;
        std::int32_t set, expected;
    } cases[] = {{&full, INT32_MIN, INT32_MIN},       {&full, INT32_MAX, INT32_MAX}, {&RANGE_ABOVE, 150, 100},
                 {&RANGE_ABOVE, 1, 2},                {&MATCHING_DEPTH, 12, 7},      {&MAX_LIVE_SEL, 7, 7},
                 {&BLOCK_HEXIDDEC, 16777216, 16777215}};
    for (const auto& c : cases) {
        c.parameter->set(c.set);
        EXPECT_EQ(c.parameter->value(), c.expected) << c.parameter->name << " set to " << c.set;
    }
    EXPECT_FALSE(MAX_LIVE_SEL.positionOfValue().has_value()) << "7 is not one of the list's values";
    RANGE_ABOVE.setAndSave(150);
    EXPECT_EQ(RANGE_ABOVE.value(), 100);
}

TEST(ParameterConstruction, ListsFindTheirLimitsInAnyOrderAndRefuseEmptyListsAndBadIndexes) {
    NumericListOption shuffled("B", 10, {20, 5, 30, 10, 25, 15}, 0x9001, 0, 0, 0, 0);
    EXPECT_EQ(shuffled.minimum(), 5);
    EXPECT_EQ(shuffled.maximum(), 30);
    EXPECT_EQ(shuffled.positionOfValue(), 3u);
    FloatListOption floats("F", 1.0f, {2.0f, 0.5f, 1.0f}, 0x9002, 0, 0, 0, 0);
    EXPECT_EQ(floats.minimum(), 0.5f);
    EXPECT_EQ(floats.maximum(), 2.0f);
    EXPECT_EQ(thrownMessage([] { NumericListOption p("E", 0, {}, 0x9000, 0, 0, 0, 0); }),
              "configuration option list cannot be empty");
    EXPECT_THROW((DynamicListOption("D", "", nullptr, 0x9000, 0, 0, 0, 0)), std::invalid_argument);
    EXPECT_EQ(thrownMessage([] { (void)MATCHING_DEPTH.valueAt(7); }), "configuration option index is out of range");
    EXPECT_EQ(MATCHING_DEPTH.valueAt(6), 7);
    EXPECT_THROW((void)ALL_AIR_GND_SELECTOR.valueAt(3), std::out_of_range);
}

TEST(ParameterValues, StoredIntegersAreTrimmedTakeOnePlusAndFitThirtyTwoBits) {
    EXPECT_EQ(gf_parseParameterInt(" +25 "), 25);
    EXPECT_EQ(gf_parseParameterInt("\t\r\n-7\n"), -7);
    EXPECT_EQ(gf_parseParameterInt("2147483647"), 2147483647);
    EXPECT_EQ(gf_parseParameterInt("-2147483648"), INT32_MIN);
    for (const char* bad : {"", "   ", "+", " + ", "++5", "25.0", "0x19", "2147483648", "-2147483649",
                            "12a", "2 5", "- 5", "1e3"}) {
        EXPECT_FALSE(gf_parseParameterInt(bad).has_value()) << '"' << bad << '"';
    }
}

TEST(ParameterValues, StoredFlagsAreWordsInAnyCase) {
    for (const char* yes : {"true", "Yes", "on", "1", " True\r\n", "\tON"}) {
        EXPECT_EQ(gf_parseParameterBool(yes), true) << yes;
    }
    for (const char* no : {"false", "No", "OFF", "0", " false "}) {
        EXPECT_EQ(gf_parseParameterBool(no), false) << no;
    }
    for (const char* bad : {"", "y", "2", "truee", "01", "yes please"}) {
        EXPECT_FALSE(gf_parseParameterBool(bad).has_value()) << bad;
    }
}

class ParameterLogTest : public tavo::test::LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        tavo::test::resetSettingsToDefaults();
    }
    void TearDown() override {
        tavo::test::resetSettingsToDefaults();
        LogFileTest::TearDown();
    }
};

TEST_F(ParameterLogTest, NumbersAndFlagsLogBareTextsQuotedAndUninstalledSavesWriteNoFile) {
    EXPECT_EQ(gf_parameterLogText(LAST_EPOCH_TIME), "LAST_EPOCH_TIME:=0");
    EXPECT_EQ(gf_parameterLogText(RT_CHOISE), "RT_CHOISE=\"RT Direct\"");
    EXPECT_EQ(gf_parameterLogText(DESTINATION), "DESTINATION=\"\"");
    EXPECT_EQ(gf_parameterLogText(BlockButton), "");
    RANGE_2.log();
    HELICOPTERS.log();
    BLOCK_CALLSIGN.setValue("DLH4_");
    BLOCK_CALLSIGN.log();
    MSFS_2024_INSTALL_PATH.setAndSave(std::filesystem::path("/x/y"));
    TIME_SHIFT_DAYS.setAndSave(99);
    COLLAPSED.setValue(false);
    COLLAPSED.save();
    const std::string log = logText();
    EXPECT_NE(log.find("\nRANGE_2=40\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\nHELICOPTERS=true\n"), std::string::npos);
    EXPECT_NE(log.find("\nBLOCK_CALLSIGN=\"DLH4_\"\n"), std::string::npos);
    EXPECT_NE(log.find("\nMSFS_2024_INSTALL_PATH=\"/x/y\"\n"), std::string::npos);
    EXPECT_NE(log.find("\nTIME_SHIFT_DAYS=13\n"), std::string::npos);
    EXPECT_NE(log.find("\nCOLLAPSED=false\n"), std::string::npos);
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
    MSFS_INSTALL_PATH.setAndSave(std::filesystem::path("/p"));
    SIM_TIME.setValue(true);
    SIM_TIME.save();
    gf_saveParameter(MAX_FIT);
    EXPECT_EQ(g_written, (std::vector<std::string>{"RANGE_ABOVE|100", "MSFS_INSTALL_PATH|/p", "SIM_TIME|true",
                                                   "MAX_FIT|47"}));
    gf_installParameterFileWriter(nullptr);
    RANGE_ABOVE.setAndSave(50);
    EXPECT_EQ(g_written.size(), 4u) << "an uninstalled writer is not called";
}

TEST_F(SettingsTest, ShowValueSelectsTheAllowedPositionInItsComboBox) {
    auto backend = std::make_shared<HeadlessBackend>();
    gf_installWindowBackend(backend);
    MAX_LIVE_SEL.showValue();  // before the control exists: nothing happens, nothing fails
    MainWindowSpec windowSetup;
    windowSetup.proc = [](WindowHandle, std::uint32_t, std::uint64_t, std::int64_t) -> std::int64_t { return 0; };
    const WindowHandle window = gf_createMainWindow(windowSetup);
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
    MAX_LIVE_SEL.set(7);  // only clamped, not allowed: the selection stays
    MAX_LIVE_SEL.showValue();
    EXPECT_EQ(gf_comboSelection(combo.id), 11);
    MAX_LIVE_SEL.set(0);
    MAX_LIVE_SEL.showValue();
    EXPECT_EQ(gf_comboSelection(combo.id), 0);
    gf_installWindowBackend(nullptr);
}

}  // namespace
