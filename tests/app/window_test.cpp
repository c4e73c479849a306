#include <gtest/gtest.h>

#include "platform/window/headless.h"

namespace {

class HeadlessWindowTest : public ::testing::Test {
protected:
    void SetUp() override { gf_installWindowBackend(backend); }
    void TearDown() override { gf_installWindowBackend(nullptr); }

    WindowHandle open(WindowProc proc = {}, PaintProc paint = {}) {
        MainWindowSpec spec;
        spec.title = "TAVO";
        spec.x = 400;
        spec.y = 20;
        spec.width = 916;
        spec.height = 807;
        spec.proc = proc ? proc : [this](WindowHandle w, std::uint32_t m, std::uint64_t wp, std::int64_t lp) {
            seen.push_back(m);
            return gf_defaultWindowProc(w, m, wp, lp);
        };
        spec.paint = std::move(paint);
        return gf_createMainWindow(spec);
    }

    std::shared_ptr<HeadlessBackend> backend = std::make_shared<HeadlessBackend>();
    std::vector<std::uint32_t> seen;
};

TEST(MulDivTest, RoundsToNearestAwayFromZero) {
    EXPECT_EQ(gf_mulDiv(14, 144, 96), 21);
    EXPECT_EQ(gf_mulDiv(900, 120, 96), 1125);
    EXPECT_EQ(gf_mulDiv(1, 3, 2), 2);
    EXPECT_EQ(gf_mulDiv(-1, 3, 2), -2);
    EXPECT_EQ(gf_mulDiv(5, 1, 3), 2);
    EXPECT_EQ(gf_mulDiv(1, 1, 0), 0);
}

TEST_F(HeadlessWindowTest, CreationSendsCreateAndMessagesArriveInOrder) {
    const WindowHandle w = open();
    ASSERT_NE(w, WindowHandle::None);
    ASSERT_EQ(seen, (std::vector<std::uint32_t>{WM_CREATE}));
    EXPECT_TRUE(gf_postMessage(w, MSG_START));
    EXPECT_TRUE(gf_postMessage(w, MSG_SWITCH_SIM));
    EXPECT_FALSE(gf_postMessage(WindowHandle::None, MSG_START));
    EXPECT_EQ(backend->pump(), 2u);
    EXPECT_EQ(seen, (std::vector<std::uint32_t>{WM_CREATE, MSG_START, MSG_SWITCH_SIM}));
    EXPECT_EQ(MSG_START, 0x8001u);
    EXPECT_EQ(MSG_EXIT, 0x8002u);
    EXPECT_EQ(MSG_GUI_UPDATE, 0x8003u);
    EXPECT_EQ(MSG_SWITCH_SIM, 0x8064u);
}

TEST_F(HeadlessWindowTest, QuitEndsTheLoopAfterEarlierMessagesAndDestroyStopsDelivery) {
    const WindowHandle w = open();
    gf_postMessage(w, MSG_EXIT);
    gf_postQuitMessage(7);
    gf_postMessage(w, MSG_START);  // after the quit: stays queued
    EXPECT_EQ(gf_runMessageLoop(), 7);
    EXPECT_EQ(seen.back(), MSG_EXIT);
    EXPECT_EQ(backend->pendingMessages(), 1u);
    // The default handling of a close request destroys the window.
    backend->send(w, WM_CLOSE);
    EXPECT_FALSE(gf_isWindow(w));
    EXPECT_EQ(seen.back(), WM_DESTROY);
    EXPECT_EQ(backend->pendingMessages(), 0u);
    EXPECT_FALSE(gf_postMessage(w, MSG_START));
}

TEST_F(HeadlessWindowTest, ControlsMirrorStateByIdAndRefuseUnknownIds) {
    const WindowHandle w = open();
    ASSERT_TRUE(gf_createControl(w, ControlSpec{.kind = ControlKind::CheckBox, .id = 0x8005, .width = 14}));
    ASSERT_TRUE(gf_createControl(w, ControlSpec{.kind = ControlKind::ComboBox, .id = 0x800A}));
    ASSERT_TRUE(gf_createControl(w, ControlSpec{.kind = ControlKind::Edit, .id = 0x8033, .enabled = false, .textLimit = 4}));
    EXPECT_FALSE(gf_createControl(w, ControlSpec{.kind = ControlKind::Button, .id = 0x8005}));
    EXPECT_EQ(gf_controlIds(), (std::vector<ControlId>{0x8005, 0x800A, 0x8033}));

    EXPECT_TRUE(gf_setControlCheck(0x8005, true));
    EXPECT_EQ(gf_controlCheck(0x8005), true);
    EXPECT_FALSE(gf_setControlCheck(0x800A, true));  // not a check box
    EXPECT_FALSE(gf_setControlCheck(0x9999, true));
    EXPECT_FALSE(gf_controlCheck(0x9999).has_value());

    EXPECT_EQ(gf_isControlEnabled(0x8033), false);
    EXPECT_TRUE(gf_enableControl(0x8033, true));
    EXPECT_EQ(gf_isControlEnabled(0x8033), true);
    EXPECT_TRUE(gf_setControlText(0x8033, "eglld"));
    EXPECT_EQ(gf_controlText(0x8033), "egll");

    EXPECT_TRUE(gf_setComboItems(0x800A, {"MSFS 2020", "MSFS 2024", "MSFS 2024 "}));
    EXPECT_EQ(gf_comboSelection(0x800A), -1);
    EXPECT_FALSE(gf_comboSelectedText(0x800A).has_value());
    EXPECT_TRUE(gf_selectComboText(0x800A, "MSFS 2024"));
    EXPECT_EQ(gf_comboSelection(0x800A), 1);  // exact text, not the one with a blank
    EXPECT_EQ(gf_comboSelectedText(0x800A), "MSFS 2024");
    EXPECT_EQ(gf_controlText(0x800A), "MSFS 2024");
    EXPECT_FALSE(gf_selectComboText(0x800A, "msfs 2024"));
    EXPECT_FALSE(gf_setComboSelection(0x800A, 3));
    EXPECT_TRUE(gf_addComboItem(0x800A, "other"));
    EXPECT_TRUE(gf_setComboSelection(0x800A, 3));
    EXPECT_TRUE(gf_setComboSelection(0x800A, -1));
}

TEST_F(HeadlessWindowTest, UserActionsReachTheProcedureAsCommands) {
    std::vector<std::uint64_t> commands;
    const WindowHandle w = open([&](WindowHandle, std::uint32_t m, std::uint64_t wp, std::int64_t) -> std::int64_t {
        if (m == WM_COMMAND) commands.push_back(wp);
        return 0;
    });
    gf_createControl(w, ControlSpec{.kind = ControlKind::Button, .id = 0x8036});
    gf_createControl(w, ControlSpec{.kind = ControlKind::ComboBox, .id = 0x8010});
    gf_setComboItems(0x8010, {"QNH hPa", "QNH inHg"});
    backend->clickControl(0x8036);
    backend->chooseComboItem(0x8010, 1);
    backend->chooseComboItem(0x8010, 5);  // no such item: nothing happens
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0], 0x8036u);
    EXPECT_EQ(commands[1], (std::uint64_t{CBN_SELCHANGE} << 16) | 0x8010u);
    EXPECT_EQ(gf_comboSelectedText(0x8010), "QNH inHg");
}

TEST_F(HeadlessWindowTest, PaintingIsRecordedInLayoutUnitsWhenInvalid) {
    const WindowHandle w = open({}, [](WindowHandle, Painter& p) {
        p.setLayout(900, 768);
        p.fillRect({0, 736, 900, 768}, Rgb{255, 0, 0});
        p.line(0, 32, 900, 32, Rgb{255, 255, 255});
        p.outlineRect({765, 4, 855, 30}, Rgb{255, 255, 255});
        p.text(3, 743, "Error über", Rgb{255, 255, 255}, true);
    });
    backend->pump();
    EXPECT_TRUE(backend->paintedFrames().empty());
    EXPECT_TRUE(gf_invalidate(w, PixelRect{0, 0, 0, 0}, false));  // empty: nothing to paint
    backend->pump();
    EXPECT_TRUE(backend->paintedFrames().empty());
    gf_invalidate(w, PixelRect{0, 736, 900, 768}, false);
    gf_invalidate(w, std::nullopt, true);
    backend->pump();
    const auto frames = backend->paintedFrames();
    ASSERT_EQ(frames.size(), 1u);
    ASSERT_EQ(frames[0].size(), 5u);
    EXPECT_EQ(frames[0][0].kind, PaintOp::Kind::SetLayout);
    EXPECT_EQ(frames[0][1].rect, (LayoutRect{0, 736, 900, 768}));
    EXPECT_EQ(frames[0][4].text, "Error über");
    EXPECT_TRUE(frames[0][4].bold);
}

TEST_F(HeadlessWindowTest, PlacementKeepsTheNormalRectangleWhileMaximizedOrMinimized) {
    const WindowHandle w = open();
    gf_showWindow(w, ShowCommand::Normal);
    gf_setWindowPos(w, std::make_pair(100, 50), std::nullopt);
    EXPECT_EQ(*gf_windowRect(w), (PixelRect{100, 50, 1016, 857}));
    gf_showWindow(w, ShowCommand::Maximized);
    auto placement = gf_windowPlacement(w);
    EXPECT_EQ(placement->show, ShowCommand::Maximized);
    EXPECT_EQ(placement->normalRect, (PixelRect{100, 50, 1016, 857}));
    EXPECT_EQ(*gf_windowRect(w), (PixelRect{0, 0, 1920, 1040}));
    gf_showWindow(w, ShowCommand::Normal);
    EXPECT_EQ(*gf_windowRect(w), (PixelRect{100, 50, 1016, 857}));
    EXPECT_EQ(*gf_clientRect(w), (PixelRect{0, 0, 900, 768}));
    EXPECT_EQ(gf_outerSizeForClient(1350, 1152, 144), std::make_pair(1350 + 24, 1152 + 59));
}

TEST_F(HeadlessWindowTest, NearestWorkAreaPrefersOverlapThenDistance) {
    backend->setWorkAreas({PixelRect{0, 0, 1920, 1040}, PixelRect{1920, 0, 3840, 1040}});
    EXPECT_EQ(gf_nearestWorkArea(PixelRect{1800, 10, 2200, 300}).left, 1920);  // more of it on the right
    EXPECT_EQ(gf_nearestWorkArea(PixelRect{-5000, 10, -4000, 300}).left, 0);
    EXPECT_EQ(gf_nearestWorkArea(PixelRect{9000, 10, 9500, 300}).left, 1920);
}

TEST_F(HeadlessWindowTest, DialogsAnswerFromTheirScriptsAndDisableTheOwner) {
    const WindowHandle w = open();
    EXPECT_EQ(gf_messageBox(w, "Could not open File Explorer at tblo.zip.", "TAVO", MessageBoxIcon::Warning),
              MessageBoxResult::Ok);
    backend->scriptMessageBoxAnswer(MessageBoxResult::Cancel);
    EXPECT_EQ(gf_messageBox(WindowHandle::None, "q", "TAVO", MessageBoxIcon::Error, MessageBoxButtons::OkCancel),
              MessageBoxResult::Cancel);
    const auto boxes = backend->messageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "Could not open File Explorer at tblo.zip.");
    EXPECT_EQ(boxes[0].icon, MessageBoxIcon::Warning);
    EXPECT_TRUE(boxes[0].ownerWasDisabled);
    EXPECT_FALSE(boxes[1].ownerWasDisabled);

    EXPECT_FALSE(gf_pickFolder(w, "/tmp").has_value());
    backend->scriptFolderAnswer(std::filesystem::path("/sim/Community"));
    EXPECT_EQ(gf_pickFolder(w, {}), std::filesystem::path("/sim/Community"));
    EXPECT_EQ(backend->folderPickerCalls().size(), 2u);

    EntryDialogSpec spec{"RealTraffic license", "License / token:", 5};
    EXPECT_FALSE(gf_showEntryDialog(w, spec).has_value());  // cancelled
    backend->scriptEntryAnswer(std::string(""));
    EXPECT_FALSE(gf_showEntryDialog(w, spec).has_value());  // OK on an empty field
    backend->scriptEntryAnswer(std::string("ääääää"));
    EXPECT_EQ(gf_showEntryDialog(w, spec), "äääää");  // the field holds 5 characters
    const auto dialogs = backend->entryDialogs();
    ASSERT_EQ(dialogs.size(), 3u);
    EXPECT_TRUE(dialogs[2].ownerWasDisabled);
    EXPECT_EQ(dialogs[2].spec.title, "RealTraffic license");
    EXPECT_TRUE(gf_isWindowEnabled(w));
}

TEST_F(HeadlessWindowTest, DefaultBackendWorksWithoutInstallation) {
    gf_installWindowBackend(nullptr);
    EXPECT_NE(gf_windowBackend(), nullptr);
    EXPECT_FALSE(gf_controlExists(0x7FFF));
    EXPECT_FALSE(gf_postMessage(WindowHandle::None, MSG_START));
}

}  // namespace
