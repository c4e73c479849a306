#include <gtest/gtest.h>

#include "platform/window/headless.h"

namespace {

class HeadlessWindowTest : public ::testing::Test {
protected:
    void SetUp() override { gf_installWindowBackend(backend); }
    void TearDown() override { gf_installWindowBackend(nullptr); }

    WindowHandle open() {
        MainWindowSpec setup;
        setup.width = 916;
        setup.height = 807;
        setup.proc = [this](WindowHandle w, std::uint32_t m, std::uint64_t wp, std::int64_t lp) {
            seen.push_back(m);
            if (m == WM_COMMAND) commands.push_back(wp);
            return gf_defaultWindowProc(w, m, wp, lp);
        };
        return gf_createMainWindow(setup);
    }

    std::shared_ptr<HeadlessBackend> backend = std::make_shared<HeadlessBackend>();
    std::vector<std::uint32_t> seen;
    std::vector<std::uint64_t> commands;
};

TEST_F(HeadlessWindowTest, MessagesArriveInOrderUntilQuitAndDestroyStopsDelivery) {
    const WindowHandle w = open();
    EXPECT_TRUE(gf_postMessage(w, MSG_START));
    EXPECT_TRUE(gf_postMessage(w, MSG_EXIT));
    EXPECT_FALSE(gf_postMessage(WindowHandle::None, MSG_START));
    gf_postQuitMessage(7);
    gf_postMessage(w, MSG_SWITCH_SIM);  // after the quit: stays queued
    EXPECT_EQ(gf_runMessageLoop(), 7);
    EXPECT_EQ(seen, (std::vector<std::uint32_t>{WM_CREATE, MSG_START, MSG_EXIT}));
    EXPECT_EQ(backend->pendingMessages(), 1u);
    backend->send(w, WM_CLOSE);  // the default handling destroys the window
    EXPECT_FALSE(gf_isWindow(w));
    EXPECT_EQ(backend->pendingMessages(), 0u);
    EXPECT_FALSE(gf_postMessage(w, MSG_START));
}

// The program's own headless window runs for its whole life: it keeps no
// records, while it works as before.
TEST_F(HeadlessWindowTest, WithoutRecordingNothingIsKeptAndEverythingStillWorks) {
    backend->setRecording(false);
    const WindowHandle w = open();
    ControlSpec box;
    box.kind = ControlKind::CheckBox;
    box.id = 0x8011;
    int paints = 0;
    box.paint = [&](Painter&, const OwnerDrawState&) { ++paints; };
    ASSERT_TRUE(gf_createControl(w, box));
    gf_setControlCheck(0x8011, true);
    EXPECT_TRUE(gf_postMessage(w, MSG_GUI_UPDATE));
    gf_invalidate(w, std::nullopt, true);
    EXPECT_EQ(gf_messageBox(w, "text", "caption", MessageBoxIcon::None), MessageBoxResult::Ok);
    backend->pump();
    EXPECT_EQ(seen, (std::vector<std::uint32_t>{WM_CREATE, MSG_GUI_UPDATE}));
    EXPECT_EQ(paints, 2) << "made, then checked";
    EXPECT_TRUE(backend->postedMessages().empty());
    EXPECT_TRUE(backend->invalidations().empty());
    EXPECT_TRUE(backend->paintedFrames().empty());
    EXPECT_TRUE(backend->controlPaints(0x8011).empty());
    EXPECT_TRUE(backend->messageBoxes().empty());
}

TEST_F(HeadlessWindowTest, ControlsMirrorStateByIdAndPassUserActionsOnAsCommands) {
    const WindowHandle w = open();
    auto control = [w](ControlKind kind, ControlId id, std::size_t textLimit = 0) {
        ControlSpec setup;
        setup.kind = kind;
        setup.id = id;
        setup.textLimit = textLimit;
        return gf_createControl(w, setup);
    };
    ASSERT_TRUE(control(ControlKind::Button, 0x8036));
    ASSERT_TRUE(control(ControlKind::ComboBox, 0x800A));
    ASSERT_TRUE(control(ControlKind::Edit, 0x8033, 4));
    EXPECT_FALSE(control(ControlKind::CheckBox, 0x8036)) << "an id is used once";
    EXPECT_FALSE(gf_setControlCheck(0x800A, true));  // not a check box
    EXPECT_FALSE(gf_controlCheck(0x9999).has_value());
    EXPECT_TRUE(gf_setControlText(0x8033, "eglld"));
    EXPECT_EQ(gf_controlText(0x8033), "egll");
    EXPECT_TRUE(gf_setControlText(0x8033, "\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F\xC3\xA9"));
    EXPECT_EQ(gf_controlText(0x8033), "\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F");  // four characters, not four bytes

    EXPECT_TRUE(gf_setComboItems(0x800A, {"MSFS 2020", "MSFS 2024", "MSFS 2024 "}));
    EXPECT_TRUE(gf_selectComboText(0x800A, "MSFS 2024"));
    EXPECT_EQ(gf_comboSelection(0x800A), 1);  // exact text, not the one with a blank
    EXPECT_FALSE(gf_setComboSelection(0x800A, 3));

    backend->clickControl(0x8036);
    backend->chooseComboItem(0x800A, 0);
    backend->chooseComboItem(0x800A, 5);  // no such item: nothing happens
    EXPECT_EQ(commands, (std::vector<std::uint64_t>{0x8036u, (std::uint64_t{CBN_SELCHANGE} << 16) | 0x800Au}));
    EXPECT_EQ(gf_comboSelectedText(0x800A), "MSFS 2020");
}

TEST_F(HeadlessWindowTest, EntryDialogAnswersFromItsScriptWithinItsLimitAndDisablesTheOwner) {
    const WindowHandle w = open();
    const EntryDialogSpec dialog{"RealTraffic license", "License / token:", 5};
    EXPECT_FALSE(gf_showEntryDialog(w, dialog).has_value());  // cancelled
    backend->scriptEntryAnswer(std::string(""));
    EXPECT_FALSE(gf_showEntryDialog(w, dialog).has_value());  // OK on an empty field
    backend->scriptEntryAnswer(std::string("ääääää"));
    EXPECT_EQ(gf_showEntryDialog(w, dialog), "äääää");  // five characters, not five bytes
    EXPECT_TRUE(backend->entryDialogs().back().ownerWasDisabled);
    EXPECT_TRUE(gf_isWindowEnabled(w));
    backend->scriptMessageBoxAnswer(MessageBoxResult::Cancel);
    EXPECT_EQ(gf_messageBox(w, "q", "TAVO", MessageBoxIcon::Error, MessageBoxButtons::OkCancel),
              MessageBoxResult::Cancel);
}

}  // namespace

namespace {

TEST_F(HeadlessWindowTest, OwnerDrawnBoxRepaintsAtOnceOnEveryStateChangeInItsOwnPixels) {
    const WindowHandle w = open();
    backend->setWindowDpi(w, 144);
    std::vector<OwnerDrawState> states;
    ControlSpec setup;
    setup.kind = ControlKind::CheckBox;
    setup.id = 0x8011;
    setup.x = 10;
    setup.y = 20;
    setup.width = 14;
    setup.height = 14;
    setup.paint = [&states](Painter& painter, const OwnerDrawState& state) {
        states.push_back(state);
        painter.setLineWidth(3);
        painter.line(0, 0, state.width, state.height, Rgb{1, 2, 3});
    };
    ASSERT_TRUE(gf_createControl(w, setup));
    ASSERT_TRUE(gf_setControlCheck(0x8011, true));
    ASSERT_TRUE(gf_enableControl(0x8011, false));
    ASSERT_TRUE(gf_setControlBounds(0x8011, PixelRect{15, 30, 36, 51}));
    EXPECT_FALSE(gf_setControlCheck(0x9999, true));

    ASSERT_EQ(states.size(), 4u) << "created, checked, disabled, resized";
    EXPECT_FALSE(states[0].checked);
    EXPECT_TRUE(states[1].checked);
    EXPECT_TRUE(states[1].enabled);
    EXPECT_FALSE(states[2].enabled);
    EXPECT_EQ(states[3].width, 21);
    EXPECT_EQ(states[3].dpi, 144u);
    const auto paints = backend->controlPaints(0x8011);
    ASSERT_EQ(paints.size(), 4u);
    EXPECT_EQ(paints[3], (std::vector<PaintOp>{
                             PaintOp{PaintOp::Kind::SetLayout, {0, 0, 21, 21}, {}, {}, false},
                             PaintOp{PaintOp::Kind::LineWidth, {3, 0, 0, 0}, {}, {}, false},
                             PaintOp{PaintOp::Kind::Line, {0, 0, 21, 21}, Rgb{1, 2, 3}, {}, false},
                         }));
    EXPECT_TRUE(backend->paintedFrames().empty()) << "the main window is not painted for a box";

    // A control without a paint procedure records nothing.
    ControlSpec plain;
    plain.kind = ControlKind::CheckBox;
    plain.id = 0x8012;
    ASSERT_TRUE(gf_createControl(w, plain));
    gf_setControlCheck(0x8012, true);
    EXPECT_TRUE(backend->controlPaints(0x8012).empty());
}

TEST_F(HeadlessWindowTest, ControlFontAndEditBackgroundAreKeptPerControl) {
    const WindowHandle w = open();
    ControlSpec edit;
    edit.kind = ControlKind::Edit;
    edit.id = 0x8033;
    edit.background = Rgb{153, 204, 255};
    edit.fontDpi = 96;
    ASSERT_TRUE(gf_createControl(w, edit));
    ControlSpec button;
    button.kind = ControlKind::Button;
    button.id = 0x8036;
    ASSERT_TRUE(gf_createControl(w, button));
    EXPECT_TRUE(gf_setControlFont(0x8036, 120));
    EXPECT_FALSE(gf_setControlFont(0x9999, 120));
    EXPECT_FALSE(gf_setControlFont(0x8036, 0)) << "no font is made for DPI 0";

    EXPECT_EQ(backend->controlState(0x8033)->setup.background, (Rgb{153, 204, 255}));
    EXPECT_EQ(backend->controlState(0x8033)->fontDpi, 96u);
    EXPECT_EQ(backend->controlState(0x8036)->fontDpi, 120u);
    EXPECT_FALSE(backend->controlState(0x8036)->setup.background.has_value());
}

}  // namespace
