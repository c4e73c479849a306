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
