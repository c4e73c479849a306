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

template <class F>
std::string thrownMessage(F&& f) {
    try {
        f();
    } catch (const std::out_of_range& e) {
        return e.what();
    }
    return "<nothing thrown>";
}

TEST(OptionLists, ValueAtRefusesAnIndexAtTheEnd) {
    EXPECT_EQ(RANGE.valueAt(0), 2);
    EXPECT_EQ(RANGE.valueAt(RANGE.allowedValues().size() - 1), 100);
    EXPECT_EQ(thrownMessage([] { RANGE.valueAt(RANGE.allowedValues().size()); }),
              "configuration option index is out of range");
    ASSERT_EQ(MAX_FIT_FL.allowedValues().size(), 48u);
    EXPECT_EQ(MAX_FIT_FL.valueAt(47), 24.0f);
    EXPECT_EQ(thrownMessage([] { MAX_FIT_FL.valueAt(48); }), "configuration option index is out of range");
}

TEST(OptionLists, MaxFitConversionsClampAndRound) {
    EXPECT_EQ(gf_maxFitIndexToValue(-3), 0.5f);
    EXPECT_EQ(gf_maxFitIndexToValue(0), 0.5f);
    EXPECT_EQ(gf_maxFitIndexToValue(5), 3.0f);
    EXPECT_EQ(gf_maxFitIndexToValue(47), 24.0f);
    EXPECT_EQ(gf_maxFitIndexToValue(100), 24.0f);
    EXPECT_EQ(gf_maxFitValueToIndex(0.7f), 0);
    EXPECT_EQ(gf_maxFitValueToIndex(1.25f), 2) << "2.5 rounds away from zero";
    EXPECT_EQ(gf_maxFitValueToIndex(24.0f), 47);
    EXPECT_EQ(gf_maxFitValueToIndex(30.0f), 47);
    EXPECT_EQ(gf_maxFitValueToIndex(-4.0f), 0);
    EXPECT_EQ(gf_maxFitValueToIndex(std::numeric_limits<float>::quiet_NaN()), 0);
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
        AIRCRAFT_SELECTOR.replaceChoices({""});
        ParametersFileTest::TearDown();
    }
    WindowHandle window = WindowHandle::None;
};

TEST_F(ComboTest, ChoiceComboSelectsTheExactValueNotAPrefix) {
    // Before the control exists nothing happens and nothing fails.
    AI_PACKAGE_SELECTOR.fillCombo();
    EXPECT_FALSE(gf_comboItems(AI_PACKAGE_SELECTOR.controlId).has_value());

    makeControl(window, ControlKind::ComboBox, AI_PACKAGE_SELECTOR.controlId);
    AI_PACKAGE_SELECTOR.setValue("AIG, FSLTL");
    AI_PACKAGE_SELECTOR.fillCombo();
    EXPECT_EQ(gf_comboItems(AI_PACKAGE_SELECTOR.controlId), AI_PACKAGE_SELECTOR.choices());
    EXPECT_EQ(gf_comboSelectedText(AI_PACKAGE_SELECTOR.controlId), "AIG, FSLTL");
    EXPECT_EQ(AI_PACKAGE_SELECTOR.indexOfValue(),
              static_cast<std::size_t>(gf_comboSelection(AI_PACKAGE_SELECTOR.controlId).value()));

    AI_PACKAGE_SELECTOR.setValue("aig, fsltl");
    EXPECT_FALSE(AI_PACKAGE_SELECTOR.indexOfValue().has_value()) << "case matters";
    AI_PACKAGE_SELECTOR.fillCombo();
    EXPECT_EQ(gf_comboSelection(AI_PACKAGE_SELECTOR.controlId), -1);

    ALL_AIR_GND_SELECTOR.setValue("ground only");
    EXPECT_FALSE(ALL_AIR_GND_SELECTOR.indexOfValue().has_value());
    ALL_AIR_GND_SELECTOR.setValue("Ground only");
    EXPECT_EQ(ALL_AIR_GND_SELECTOR.indexOfValue(), 2u);
}

TEST_F(ComboTest, DynamicListSelectsTheExactStand) {
    makeControl(window, ControlKind::ComboBox, STAND_SELECTOR.controlId);
    STAND_SELECTOR.replaceChoices({"GATE A10", "GATE A1", "GATE A11"});
    STAND_SELECTOR.setValue("GATE A1");
    STAND_SELECTOR.fillCombo();
    EXPECT_EQ(gf_comboItems(STAND_SELECTOR.controlId), (std::vector<std::string>{"GATE A10", "GATE A1", "GATE A11"}));
    EXPECT_EQ(gf_comboSelectedText(STAND_SELECTOR.controlId), "GATE A1");
    // A refreshed list without the value selects nothing.
    STAND_SELECTOR.replaceChoices({"GATE B1"});
    STAND_SELECTOR.fillCombo();
    EXPECT_EQ(gf_comboSelection(STAND_SELECTOR.controlId), -1);
}

TEST_F(ComboTest, NumericComboFillsDecimalTextsAndFollowsTheValue) {
    MAX_LIVE_SEL.fillCombo();  // no control: nothing
    makeControl(window, ControlKind::ComboBox, MAX_LIVE_SEL.controlId);
    MAX_LIVE_SEL.set(75);
    MAX_LIVE_SEL.fillCombo();
    const auto items = gf_comboItems(MAX_LIVE_SEL.controlId);
    ASSERT_TRUE(items.has_value());
    ASSERT_EQ(items->size(), MAX_LIVE_SEL.allowedValues().size());
    EXPECT_EQ(items->front(), "0");
    EXPECT_EQ(items->back(), "500");
    EXPECT_EQ(gf_comboSelectedText(MAX_LIVE_SEL.controlId), "75");

    // selectCurrent leaves the selection alone for a value that is not allowed.
    MAX_LIVE_SEL.set(7);
    MAX_LIVE_SEL.selectCurrent();
    EXPECT_EQ(gf_comboSelectedText(MAX_LIVE_SEL.controlId), "75");
    // ...while a refill selects nothing for it.
    MAX_LIVE_SEL.fillCombo();
    EXPECT_EQ(gf_comboSelection(MAX_LIVE_SEL.controlId), -1);
    MAX_LIVE_SEL.set(200);
    MAX_LIVE_SEL.selectCurrent();
    EXPECT_EQ(gf_comboSelectedText(MAX_LIVE_SEL.controlId), "200");
}

TEST_F(ComboTest, ShowValueServicesUseTheControlOrReportItsId) {
    gf_showIntParameterValue(TCAS_FL);
    gf_showStringParameterValue(QNH_UNIT);
    EXPECT_TRUE(logHasLine(fmt::format("GetDlgItem failed for ID {}", TCAS_FL.controlId)));
    EXPECT_TRUE(logHasLine(fmt::format("GetDlgItem failed for ID {}", QNH_UNIT.controlId)));

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
    MAX_FIT.set(0);
    gf_syncMaxFitCombo();
    EXPECT_EQ(MAX_FIT_FL.value(), 0.5f);
    EXPECT_EQ(gf_comboSelection(MAX_FIT_FL.controlId), 0);
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
    s = settingsSnapshot.load();
    EXPECT_EQ(RANGE.value(), 25);
    EXPECT_EQ(gf_comboSelectedText(RANGE.controlId), "25");
    EXPECT_EQ(s->RANGE_METERS, 25 * 1852);

    // Beyond 46340 the square no longer fits 32 bits; it is taken in 64.
    gf_setRange(50000);
    s = settingsSnapshot.load();
    EXPECT_EQ(s->RANGE_SQUARED, 2500000000.0);
    EXPECT_EQ(s->RANGE_METERS, 50000 * 1852);
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
