// Option lists and their combo boxes, MAX_FIT <-> hours, and gf_setRange.

#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "parameters_file_test_support.h"
#include "settings/option_lists.h"
#include "settings/snapshot.h"

namespace {

using tavo::test::ParametersFileTest;

TEST(OptionLists, ValueAtRefusesAnIndexAtTheEnd) {
    EXPECT_EQ(RANGE.valueAt(RANGE.allowedValues().size() - 1), 100);
    EXPECT_THROW(RANGE.valueAt(RANGE.allowedValues().size()), std::out_of_range);
    ASSERT_EQ(MAX_FIT_FL.allowedValues().size(), 48u);
    EXPECT_EQ(MAX_FIT_FL.valueAt(47), 24.0f);
    EXPECT_THROW(MAX_FIT_FL.valueAt(48), std::out_of_range);
}

TEST(OptionLists, MaxFitConversionsClampAndRound) {
    const std::pair<std::int32_t, float> toHours[] = {{-3, 0.5f}, {0, 0.5f}, {5, 3.0f}, {47, 24.0f}, {100, 24.0f}};
    for (const auto& [index, hours] : toHours) EXPECT_EQ(gf_maxFitIndexToValue(index), hours) << index;
    const std::pair<float, std::int32_t> toIndex[] = {{0.7f, 0},   {1.25f, 2},  {24.0f, 47},
                                                      {30.0f, 47}, {-4.0f, 0}, {std::numeric_limits<float>::quiet_NaN(), 0}};
    for (const auto& [hours, index] : toIndex) EXPECT_EQ(gf_maxFitValueToIndex(hours), index) << hours;
    // Every index survives the way there and back.
    for (std::int32_t i = 0; i < 48; ++i) EXPECT_EQ(gf_maxFitValueToIndex(gf_maxFitIndexToValue(i)), i);
}

class ComboTest : public ParametersFileTest {
protected:
    void SetUp() override {
        ParametersFileTest::SetUp();
        window = makeWindow();
        ASSERT_NE(window, WindowHandle::None);
        // Saves would reach the file: what must not save shows.
        gf_installParameterFileWriter(&gf_writeParameterToFile);
    }
    void TearDown() override {
        // The selectors' lists are the process's; give them back as the table made them.
        STAND_SELECTOR.replaceChoices({""});
        ParametersFileTest::TearDown();
    }
    WindowHandle window = WindowHandle::None;
};

// Selection used a case-insensitive prefix match: "AIG, FSLTL" showed as
// "AIG, FSLTL, JF, MTL" and "GATE A1" as "GATE A10".
TEST_F(ComboTest, CombosSelectTheExactValueNotAPrefix) {
    AI_PACKAGE_SELECTOR.fillCombo();  // before the control exists: nothing happens
    EXPECT_FALSE(gf_comboItems(AI_PACKAGE_SELECTOR.controlId).has_value());
    makeControl(window, ControlKind::ComboBox, AI_PACKAGE_SELECTOR.controlId);
    AI_PACKAGE_SELECTOR.setValue("AIG, FSLTL");
    AI_PACKAGE_SELECTOR.fillCombo();
    EXPECT_EQ(gf_comboItems(AI_PACKAGE_SELECTOR.controlId), AI_PACKAGE_SELECTOR.choices());
    EXPECT_EQ(gf_comboSelectedText(AI_PACKAGE_SELECTOR.controlId), "AIG, FSLTL");
    AI_PACKAGE_SELECTOR.setValue("aig, fsltl");
    AI_PACKAGE_SELECTOR.fillCombo();
    EXPECT_EQ(gf_comboSelection(AI_PACKAGE_SELECTOR.controlId), -1) << "case matters";

    makeControl(window, ControlKind::ComboBox, STAND_SELECTOR.controlId);
    STAND_SELECTOR.replaceChoices({"GATE A10", "GATE A1", "GATE A11"});
    STAND_SELECTOR.setValue("GATE A1");
    STAND_SELECTOR.fillCombo();
    EXPECT_EQ(gf_comboSelectedText(STAND_SELECTOR.controlId), "GATE A1");
    STAND_SELECTOR.replaceChoices({"GATE B1"});
    STAND_SELECTOR.fillCombo();
    EXPECT_EQ(gf_comboSelection(STAND_SELECTOR.controlId), -1);
}

TEST_F(ComboTest, ShowValueServicesUseTheControlOrReportItsId) {
    gf_showIntParameterValue(TCAS_FL);
    EXPECT_TRUE(logHasLine(fmt::format("GetDlgItem failed for ID {}", TCAS_FL.controlId)));
    makeControl(window, ControlKind::ComboBox, TCAS_FL.controlId);
    TCAS_FL.fillCombo();
    TCAS_FL.set(440);
    gf_showIntParameterValue(TCAS_FL);
    EXPECT_EQ(gf_comboSelectedText(TCAS_FL.controlId), "440");
    // A control that is no combo box gets the text.
    makeControl(window, ControlKind::Edit, QNH_UNIT.controlId);
    QNH_UNIT.setValue("inHg");
    gf_showStringParameterValue(QNH_UNIT);
    EXPECT_EQ(gf_controlText(QNH_UNIT.controlId), "inHg");
}

TEST_F(ComboTest, SyncMaxFitSetsHoursAndSelectsThem) {
    makeControl(window, ControlKind::ComboBox, MAX_FIT_FL.controlId);
    std::vector<std::string> texts;
    for (const float v : MAX_FIT_FL.allowedValues()) texts.push_back(fmt::format("{}", v));
    gf_setComboItems(MAX_FIT_FL.controlId, texts);
    MAX_FIT.set(5);
    gf_syncMaxFitCombo();
    EXPECT_EQ(MAX_FIT_FL.value(), 3.0f);
    EXPECT_EQ(gf_comboSelection(MAX_FIT_FL.controlId), 5);
    EXPECT_FALSE(std::filesystem::exists(file())) << "nothing saved";
}

TEST_F(ComboTest, SetRangePublishesTheUnclampedValue) {
    makeControl(window, ControlKind::ComboBox, RANGE.controlId);
    RANGE.fillCombo();
    gf_updateSettings([](SettingsSnapshot& s) { s.MANUAL_RANGE = 33; });

    gf_setRange(150);
    EXPECT_EQ(RANGE.value(), 100);
    EXPECT_EQ(gf_comboSelectedText(RANGE.controlId), "100");
    auto s = settingsSnapshot.load();
    EXPECT_EQ(s->RANGE, 150.0);
    EXPECT_EQ(s->RANGE_SQUARED, 22500.0);
    EXPECT_EQ(s->RANGE_METERS, 150 * 1852 + 10000) << "RT Direct until the start-up choice says otherwise";
    EXPECT_EQ(s->MANUAL_RANGE, 33) << "the user's range stays";

    startupChoice.store(std::make_shared<const StartupChoice>(StartupChoice{2, 1}));
    gf_setRange(25);
    EXPECT_EQ(settingsSnapshot.load()->RANGE_METERS, 25 * 1852);

    // Beyond 46340 the square no longer fits 32 bits; it is taken in 64.
    gf_setRange(-50000);
    EXPECT_EQ(settingsSnapshot.load()->RANGE_SQUARED, 2500000000.0);
    EXPECT_EQ(RANGE.value(), 2);
    gf_setRange(std::numeric_limits<std::int32_t>::max());
    s = settingsSnapshot.load();
    EXPECT_EQ(s->RANGE_METERS, std::numeric_limits<std::int32_t>::max()) << "saturated, not wrapped";
    EXPECT_GT(s->RANGE_SQUARED, 4.6e18);
    EXPECT_FALSE(std::filesystem::exists(file())) << "RANGE is not saved here";
}

}  // namespace
