// The 54 controls of the main window: creation against the control table,
// compact start, refused controls, DPI rescaling, the controls font, the
// owner-drawn check boxes and the folder picker.

#include <map>

#include "window_fixture.h"

namespace tavo::test {
namespace {

struct ExpectedControl {
    ControlId id;
    ControlKind kind;
    int x, y, width, height;
};

// The creation order with ids, kinds, positions (offset included) and sizes,
// transcribed from the control table.
const std::vector<ExpectedControl>& expectedControls() {
    using K = ControlKind;
    static const std::vector<ExpectedControl> rows{
        {0x8019, K::Button, 222, 131, 80, 26},    {0x8011, K::CheckBox, 113, 136, 14, 14},
        {0x8012, K::CheckBox, 113, 168, 14, 14},  {0x8015, K::CheckBox, 548, 168, 14, 14},
        {0x8014, K::CheckBox, 222, 168, 14, 14},  {0x800C, K::ComboBox, 331, 162, 200, 300},
        {0x800B, K::ComboBox, 657, 128, 110, 80}, {0x8010, K::ComboBox, 775, 128, 110, 80},
        {0x800A, K::ComboBox, 657, 160, 110, 80}, {0x8028, K::ComboBox, 5, 237, 135, 200},
        {0x8029, K::Button, 222, 239, 80, 26},    {0x802A, K::ComboBox, 5, 269, 400, 300},
        {0x802B, K::Button, 5, 305, 80, 26},      {0x802C, K::Button, 113, 305, 80, 26},
        {0x802F, K::CheckBox, 494, 240, 14, 14},  {0x802E, K::CheckBox, 494, 272, 14, 14},
        {0x8022, K::ComboBox, 113, 370, 70, 200}, {0x8023, K::CheckBox, 222, 376, 14, 14},
        {0x8038, K::ComboBox, 494, 370, 70, 144}, {0x801A, K::ComboBox, 113, 402, 70, 200},
        {0x8025, K::ComboBox, 385, 402, 70, 200}, {0x801E, K::CheckBox, 113, 472, 14, 14},
        {0x801F, K::CheckBox, 222, 472, 14, 14},  {0x8020, K::CheckBox, 331, 472, 14, 14},
        {0x8021, K::CheckBox, 440, 472, 14, 14},  {0x801B, K::ComboBox, 113, 432, 70, 120},
        {0x8024, K::ComboBox, 222, 432, 70, 200}, {0x803B, K::ComboBox, 657, 474, 70, 200},
        {0x8033, K::Edit, 5, 539, 70, 28},        {0x8032, K::ComboBox, 167, 540, 170, 300},
        {0x8034, K::ComboBox, 494, 538, 70, 144}, {0x8035, K::ComboBox, 657, 538, 90, 230},
        {0x8040, K::CheckBox, 5, 576, 14, 14},    {0x803E, K::ComboBox, 222, 570, 70, 300},
        {0x8037, K::ComboBox, 385, 570, 70, 144}, {0x8039, K::ComboBox, 113, 602, 70, 200},
        {0x803A, K::CheckBox, 5, 608, 14, 14},    {0x803D, K::CheckBox, 331, 608, 14, 14},
        {0x803C, K::CheckBox, 494, 608, 14, 14},  {0x8036, K::Button, 765, 509, 80, 26},
        {0x8041, K::Button, 765, 609, 80, 26},    {0x800E, K::CheckBox, 657, 240, 14, 14},
        {0x8005, K::CheckBox, 775, 176, 14, 14},  {0x801C, K::CheckBox, 765, 240, 14, 14},
        {0x8006, K::CheckBox, 657, 272, 14, 14},  {0x8007, K::CheckBox, 765, 272, 14, 14},
        {0x8008, K::CheckBox, 657, 304, 14, 14},  {0x8009, K::CheckBox, 765, 304, 14, 14},
        {0x8046, K::ComboBox, 765, 370, 70, 200}, {0x8048, K::Button, 657, 370, 80, 26},
        {0x804A, K::CheckBox, 657, 408, 14, 14},  {0x8047, K::ComboBox, 765, 402, 70, 200},
        {0x804B, K::CheckBox, 657, 440, 14, 14},  {0x8049, K::ComboBox, 765, 434, 70, 300},
    };
    return rows;
}

const GuiControl* tableControl(ControlId id) {
    for (Parameter* p : allTableParameters) {
        if (auto* c = dynamic_cast<GuiControl*>(p); c != nullptr && c->controlId == id) return c;
    }
    return nullptr;
}

class ControlsTest : public WindowContentTest {
protected:
    void create() {
        harness.open();
        lf_createControls(harness.window, harness.gui);
    }
    std::shared_ptr<HeadlessBackend>& backend() { return harness.backend; }
};

TEST_F(ControlsTest, FiftyFourControlsInOrderAtTheirPlacesBoundToTheirParameters) {
    COLLAPSED.setValue(false);
    WEEK.setValue(true);
    TWO_PROPS.setValue(false);
    DESTINATION.setValue("EDDF");
    gf_setCurrentAirport(AirportListEntry{IcaoCode("EDDF"), IataCode(), LaLo{50.03, 8.57}, 364});
    create();

    const auto& expected = expectedControls();
    ASSERT_EQ(expected.size(), 54u);
    std::vector<ControlId> expectedIds;
    for (const auto& e : expected) expectedIds.push_back(e.id);
    EXPECT_EQ(gf_controlIds(), expectedIds);
    EXPECT_EQ(harness.gui.expandedOnlyControls, expectedIds);

    std::size_t combos = 0;
    for (const auto& e : expected) {
        SCOPED_TRACE(fmt::format("{:#x}", e.id));
        const auto state = backend()->controlState(e.id);
        ASSERT_TRUE(state.has_value());
        EXPECT_EQ(state->setup.kind, e.kind);
        EXPECT_EQ(state->bounds, (PixelRect{e.x, e.y, e.x + e.width, e.y + e.height}));
        EXPECT_TRUE(state->visible);
        // The place comes from the parameter object: x, and row plus offset.
        const GuiControl* control = tableControl(e.id);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->x, e.x);
        EXPECT_EQ(control->y + control->yOffset, e.y);
        EXPECT_TRUE(control->hasControl());
        if (e.kind == ControlKind::CheckBox) {
            const auto* flag = dynamic_cast<const GuiBoolParameter*>(control);
            ASSERT_NE(flag, nullptr);
            EXPECT_EQ(state->checked, flag->value());
            EXPECT_TRUE(state->enabled);
            EXPECT_TRUE(static_cast<bool>(state->setup.paint)) << "owner-drawn";
            EXPECT_FALSE(harness.gui.baseHeights.count(e.id));
        } else {
            EXPECT_EQ(state->fontDpi, 96u) << "the painting font while there is no controls font";
        }
        if (e.kind == ControlKind::ComboBox) {
            ++combos;
            EXPECT_EQ(harness.gui.baseHeights.at(e.id), e.height);
        }
        if (e.kind == ControlKind::Button) {
            EXPECT_EQ(state->text, dynamic_cast<const Parameter*>(control)->name);
        }
    }
    EXPECT_EQ(combos, 22u);
    EXPECT_EQ(harness.gui.baseHeights.size(), 22u);
    EXPECT_TRUE(*gf_controlCheck(WEEK.controlId));
    EXPECT_FALSE(*gf_controlCheck(TWO_PROPS.controlId));

    const auto edit = backend()->controlState(DESTINATION.controlId);
    EXPECT_FALSE(edit->enabled);
    EXPECT_EQ(edit->text, "") << "the stored destination is shown only when asked for";
    EXPECT_EQ(edit->setup.background, (Rgb{153, 204, 255}));
    gf_showStringParameterValue(DESTINATION, harness.gui);
    EXPECT_EQ(lf_getTextFromId(DESTINATION.controlId), "EDDF");

    EXPECT_FALSE(gf_currentAirport().has_value()) << "creation clears the current airport";
    EXPECT_FALSE(harness.gui.compact) << "COLLAPSED is off here";
    EXPECT_EQ(gf_clientRect(harness.window)->height(), 768);
}

TEST_F(ControlsTest, CollapsedStartHidesAllFiftyFourAndShrinksTheWindow) {
    COLLAPSED.setValue(true);
    create();
    EXPECT_TRUE(harness.gui.compact);
    ASSERT_EQ(harness.gui.expandedOnlyControls.size(), 54u);
    for (ControlId id : gf_controlIds()) EXPECT_FALSE(*gf_isControlVisible(id)) << id;
    EXPECT_EQ(gf_clientRect(harness.window)->height(), 128);
}

TEST_F(ControlsTest, RefusedControlStaysOutAndCallsOnItsIdLogTheMissingControl) {
    backend()->setCreateFailure(false, {RANGE.controlId, DESTINATION.controlId});
    COLLAPSED.setValue(true);
    create();
    EXPECT_EQ(harness.gui.expandedOnlyControls.size(), 52u);
    for (ControlId id : harness.gui.expandedOnlyControls) {
        EXPECT_NE(id, RANGE.controlId);
        EXPECT_NE(id, DESTINATION.controlId);
    }
    EXPECT_FALSE(RANGE.hasControl());
    EXPECT_FALSE(harness.gui.baseHeights.count(RANGE.controlId));
    newLogLines();

    const auto repaintsBefore = harness.gui.repaintCount;
    gf_showIntParameterValue(RANGE, harness.gui);
    EXPECT_NE(newLogLines().find("GetDlgItem failed for ID 32802"), std::string::npos);
    EXPECT_EQ(lf_getTextFromId(RANGE.controlId), "");
    EXPECT_NE(newLogLines().find("lf_getTextFromId: GetDlgItem failed for ID 32802"), std::string::npos);
    EXPECT_EQ(harness.gui.repaintCount, repaintsBefore) << "nothing shown, nothing repainted";

    // A control that exists shows the value and the settings band is repainted.
    gf_showIntParameterValue(TCAS_FL, harness.gui);
    EXPECT_EQ(backend()->controlState(TCAS_FL.controlId)->text, "180");
    EXPECT_EQ(harness.gui.repaintCount, repaintsBefore + 1);

    // A text that cannot be converted is logged and not shown.
    ControlSpec edit;
    edit.kind = ControlKind::Edit;
    edit.id = 0x8060;
    ASSERT_TRUE(gf_createControl(harness.window, edit));
    gf_setControlText(0x8060, "\xC3(");
    EXPECT_EQ(lf_getTextFromId(0x8060), "");
    EXPECT_NE(newLogLines().find("==> lf_getTextFromId: UTF-16 to UTF-8 failed for ID 32864: utf8_to_wide: invalid UTF-8"),
              std::string::npos);
}

TEST_F(ControlsTest, RescalingTo144DpiScalesPlacesAndTakesListHeightsFromTheirBase) {
    create();
    const ControlId box = SKIP_AIRPORT_SCAN.controlId;   // (113, 136) 14 x 14
    const ControlId combo = AI_PACKAGE_SELECTOR.controlId;  // (331, 162) 200 x 300
    const ControlId list = RANGE.controlId;              // (113, 370) 70 x 200
    // The lists show closed: their current height is not the created one.
    gf_setControlBounds(list, PixelRect{113, 370, 183, 394});
    gf_setControlBounds(combo, PixelRect{331, 162, 531, 186});

    const auto before = gf_controlIds();
    std::map<ControlId, PixelRect> original;
    for (ControlId id : before) original[id] = *gf_controlBounds(id);
    gf_rescaleChildren(96, 96, harness.gui);
    gf_rescaleChildren(0, 144, harness.gui);
    for (ControlId id : before) EXPECT_EQ(*gf_controlBounds(id), original[id]) << "equal or unknown DPI moves nothing";

    gf_rescaleChildren(96, 144, harness.gui);
    EXPECT_EQ(*gf_controlBounds(box), (PixelRect{170, 204, 191, 225}));  // 21 x 21
    EXPECT_EQ(*gf_controlBounds(list), (PixelRect{170, 555, 275, 855})) << "200 created -> 300, not 24 -> 36";
    EXPECT_EQ(*gf_controlBounds(combo), (PixelRect{497, 243, 797, 693}));
    EXPECT_EQ(*gf_controlBounds(TbloButton.controlId), (PixelRect{333, 197, 453, 236}));
    const auto paints = backend()->controlPaints(box);
    ASSERT_FALSE(paints.empty());
    EXPECT_EQ(gf_shapesOf(paints.back()).front(), "layout 21,21") << "the box repaints at its new size";

    // Back to 96 DPI: a list again from its base height.
    gf_rescaleChildren(144, 96, harness.gui);
    EXPECT_EQ(*gf_controlBounds(list), (PixelRect{113, 370, 183, 570}));

    gf_setControlsFont(0, harness.gui);
    EXPECT_FALSE(harness.gui.controlsFontDpi.has_value()) << "no font for DPI 0: nothing changes";
    gf_setControlsFont(144, harness.gui);
    EXPECT_EQ(harness.gui.controlsFontDpi, 144u);
    for (ControlId id : gf_controlIds()) EXPECT_EQ(backend()->controlState(id)->fontDpi, 144u) << id;

    // A list created after the font exists gets it at once.
    gf_destroyWindow(harness.window);
    harness.open();
    for (Parameter* p : allTableParameters) {
        if (auto* c = dynamic_cast<GuiControl*>(p)) c->windowHandle.store(WindowHandle::None);
    }
    ASSERT_TRUE(gf_createComboBox(RANGE, harness.window, 70, 0, harness.gui));
    EXPECT_EQ(backend()->controlState(RANGE.controlId)->fontDpi, 144u);
}

TEST(FontTest, SansTwelvePointsPerDpi) {
    const auto font96 = gf_makeGuiFont(false, 96);
    ASSERT_TRUE(font96.has_value());
    EXPECT_EQ(font96->height, -16);
    EXPECT_FALSE(font96->bold);
    EXPECT_EQ(gf_makeGuiFont(true, 144)->height, -24);
    EXPECT_TRUE(gf_makeGuiFont(true, 144)->bold);
    EXPECT_EQ(gf_makeGuiFont(false, 120)->height, -20);
    EXPECT_FALSE(gf_makeGuiFont(false, 0).has_value());
}

struct BoxCase {
    const char* name;
    int size;
    unsigned dpi;
    bool enabled;
    bool checked;
    std::vector<std::string> shapes;
};

TEST(CheckBoxPaintTest, DrawListsByStateAndDpi) {
    const std::vector<BoxCase> cases{
        {"enabled, unchecked", 14, 96, true, false,
         {"fill 0,0,14,14#99ccff", "fill 0,0,14,14#ffffff", "outline 0,0,14,14#606060"}},
        {"enabled, checked", 14, 96, true, true,
         {"fill 0,0,14,14#99ccff", "fill 0,0,14,14#ffffff", "outline 0,0,14,14#606060", "width 2",
          "line 2,7,5,10#000000", "line 5,10,11,3#000000"}},
        {"disabled, checked at 144 DPI", 21, 144, false, true,
         {"fill 0,0,21,21#99ccff", "fill 0,0,21,21#f0f0f0", "outline 0,0,21,21#a0a0a0", "width 3",
          "line 4,10,8,15#808080", "line 8,15,16,5#808080"}},
        {"disabled, unchecked", 14, 96, false, false,
         {"fill 0,0,14,14#99ccff", "fill 0,0,14,14#f0f0f0", "outline 0,0,14,14#a0a0a0"}},
        {"tick width never below 1", 14, 20, true, true,
         {"fill 0,0,14,14#99ccff", "fill 0,0,14,14#ffffff", "outline 0,0,14,14#606060", "width 1",
          "line 2,7,5,10#000000", "line 5,10,11,3#000000"}},
        {"tick width rounds", 14, 120, true, true,
         {"fill 0,0,14,14#99ccff", "fill 0,0,14,14#ffffff", "outline 0,0,14,14#606060", "width 3",
          "line 2,7,5,10#000000", "line 5,10,11,3#000000"}},
    };
    for (const BoxCase& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingPainter painter;
        lf_paintCheckBox(painter, OwnerDrawState{0x8011, c.size, c.size, c.enabled, c.checked, c.dpi});
        EXPECT_EQ(gf_shapesOf(painter.ops), c.shapes);
    }
}

TEST_F(ControlsTest, EnablingOrCheckingABoxRepaintsItAtOnce) {
    WEEK.setValue(true);
    create();
    const ControlId id = WEEK.controlId;
    ASSERT_FALSE(backend()->controlPaints(id).empty());
    EXPECT_EQ(gf_shapesOf(backend()->controlPaints(id).back()).back(), "line 5,10,11,3#000000");
    backend()->clearRecords();

    gf_enableControl(id, false);
    auto paints = backend()->controlPaints(id);
    ASSERT_EQ(paints.size(), 1u);
    EXPECT_EQ(gf_shapesOf(paints[0])[2], "fill 0,0,14,14#f0f0f0");
    EXPECT_EQ(gf_shapesOf(paints[0]).back(), "line 5,10,11,3#808080");

    gf_enableControl(id, true);
    gf_setControlCheck(id, false);
    paints = backend()->controlPaints(id);
    ASSERT_EQ(paints.size(), 3u);
    EXPECT_EQ(gf_shapesOf(paints[1]).back(), "line 5,10,11,3#000000");
    EXPECT_EQ(gf_shapesOf(paints[2]).back(), "outline 0,0,14,14#606060") << "no tick once unchecked";
}

TEST_F(ControlsTest, FolderPickerGivesTheChosenFolderOrNothing) {
    harness.open();
    backend()->scriptFolderAnswer(std::filesystem::path("/sim/packages"));
    backend()->scriptFolderAnswer(std::nullopt);
    backend()->scriptFolderAnswer(std::filesystem::path());
    EXPECT_EQ(gf_pickFolder(harness.window, "/start"), std::filesystem::path("/sim/packages"));
    EXPECT_FALSE(gf_pickFolder(harness.window, {}).has_value()) << "cancelled";
    EXPECT_FALSE(gf_pickFolder(harness.window, {}).has_value()) << "an empty answer is no folder";
    EXPECT_EQ(backend()->folderPickerCalls().front(), std::filesystem::path("/start"));
}

}  // namespace
}  // namespace tavo::test
