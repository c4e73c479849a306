// Start-up and the window procedure on the headless backend, without threads.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/download.h"
#include "foundation/textfile.h"
#include "program_fixture.h"

namespace tavo::test {
namespace {

TEST(ProgramArguments, ProductionSwitchAfterTheNameInAnyCase) {
    struct Case {
        std::vector<std::string> args;
        bool production;
    };
    const std::vector<Case> cases{
        {{"tavo"}, false},
        {{"--production"}, false},  // the program's own name is never compared
        {{"tavo", "--production"}, true},
        {{"tavo", "--PRODUCTION"}, true},
        {{"tavo", "x", "y", "--ProDucTion"}, true},
        {{"tavo", "--production2"}, false},
        {{"tavo", "-production"}, false},
        {{}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        EXPECT_EQ(gf_productionRequested(c.args), c.production);
    }
}

std::string lockName() { return "TAVO-" + std::to_string(::geteuid()) + ".lock"; }

TEST(SingleInstanceLock, OneHolderPerFolderUntilReleased) {
    using O = SingleInstanceLock::Outcome;
    ScopedTempDir dir;
    SingleInstanceLock first;
    ASSERT_EQ(first.acquire(dir.path()), O::Held);
    EXPECT_TRUE(first.held());
    EXPECT_EQ(first.path(), dir.path() / lockName());
    {
        SingleInstanceLock second;
        EXPECT_EQ(second.acquire(dir.path()), O::HeldByAnother) << "a second open of the lock file is refused";
        EXPECT_FALSE(second.held());
        EXPECT_EQ(second.error(), "");
        ScopedTempDir other;
        EXPECT_EQ(second.acquire(other.path()), O::Held) << "another folder is another lock";
    }
    first = SingleInstanceLock{};
    SingleInstanceLock third;
    EXPECT_EQ(third.acquire(dir.path()), O::Held) << "free once the holder went";
}

TEST(SingleInstanceLock, OnePlaceWhateverTheEnvironment) {
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string savedValue = saved != nullptr ? saved : "";
    ScopedTempDir runtime;
    ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    const std::filesystem::path withRuntime = gf_osSingleInstanceFolder();
    ::unsetenv("XDG_RUNTIME_DIR");
    const std::filesystem::path without = gf_osSingleInstanceFolder();
    if (saved != nullptr) ::setenv("XDG_RUNTIME_DIR", savedValue.c_str(), 1);
    EXPECT_EQ(withRuntime, without) << "a copy started with XDG_RUNTIME_DIR and one without find one lock";
    EXPECT_EQ(without, "/tmp");
}

// A lock file that cannot be used is refused with its reason: nothing can
// tell whether another copy runs.
TEST(SingleInstanceLock, AnUnusableLockFileIsRefusedWithItsReason) {
    using O = SingleInstanceLock::Outcome;
    struct Case {
        const char* name;
        std::function<void(const std::filesystem::path& lock, const std::filesystem::path& dir)> prepare;
        const char* reason;
        bool needsRoot = false;
    };
    const std::vector<Case> cases{
        {"a symbolic link to another file",
         [](const auto& lock, const auto& dir) {
             writeFile(dir / "victim", "keep me");
             std::filesystem::create_symlink(dir / "victim", lock);
         },
         "is a symbolic link"},
        {"a dangling symbolic link",
         [](const auto& lock, const auto& dir) { std::filesystem::create_symlink(dir / "made-by-someone", lock); },
         "is a symbolic link"},
        {"a folder", [](const auto& lock, const auto&) { std::filesystem::create_directory(lock); },
         "cannot be opened: Is a directory"},
        {"a file of another user",
         [](const auto& lock, const auto&) {
             writeFile(lock, "");
             ASSERT_EQ(::chown(lock.c_str(), 12345, 12345), 0);
         },
         "belongs to another user (uid 12345)", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.needsRoot && ::geteuid() != 0) continue;  // only root can give a file away
        ScopedTempDir dir;
        const std::filesystem::path lock = dir.path() / lockName();
        c.prepare(lock, dir.path());
        SingleInstanceLock instance;
        EXPECT_EQ(instance.acquire(dir.path()), O::Refused);
        EXPECT_FALSE(instance.held());
        EXPECT_EQ(instance.error(), fmt::format("the single-instance lock {} {}", lock.string(), c.reason));
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "made-by-someone")) << "nothing made through a link";
        if (std::filesystem::exists(dir.path() / "victim")) {
            EXPECT_EQ(readFile(dir.path() / "victim"), "keep me");
        }
    }
}

TEST_F(ProgramTest, AnUnusableLockFileEndsTheStartWithItsLineOnStderr) {
    std::filesystem::create_directory(dir() / lockName());
    ProgramSetup setup;
    setup.lockFolder = dir();
    bool started = false;
    setup.started = [&] { started = true; };
    // Were the lock ignored, this run would end at once rather than wait.
    gf_setMainThreadFunction([] { gf_postMessage(g_mainWindow.load(), MSG_EXIT); });
    ::testing::internal::CaptureStderr();
    const int code = gf_programMain({"tavo"}, setup);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(code, 1);
    EXPECT_EQ(err, fmt::format("TAVO: Cannot start: the single-instance lock {} cannot be opened: Is a directory\n",
                               (dir() / lockName()).string()));
    EXPECT_FALSE(started);
    EXPECT_EQ(g_mainWindow.load(), WindowHandle::None) << "no window";
}

TEST_F(ProgramTest, AnUncreatableDataFolderExitsOneWithItsLineOnStderr) {
    writeFile(dir() / "file", "x");
    ProgramSetup setup;
    setup.dataFolder = dir() / "file" / "TAVO";
    setup.lockFolder = dir();
    ::testing::internal::CaptureStderr();
    const int code = gf_programMain({"tavo"}, setup);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(code, 1);
    EXPECT_NE(err.find("Failed to create directory: "), std::string::npos) << err;
    EXPECT_EQ(g_mainWindow.load(), WindowHandle::None) << "no window";
}

TEST_F(ProgramTest, AMissingDataFolderIsCreatedWithItsParents) {
    // The window creation fails, so the start-up ends right after the folder.
    backend->setCreateFailure(true);
    ProgramSetup setup;
    setup.dataFolder = dir() / "a" / "b" / "TAVO";
    setup.lockFolder = dir();
    ::testing::internal::CaptureStderr();
    const int code = gf_programMain({"tavo"}, setup);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(std::filesystem::is_directory(setup.dataFolder));
    EXPECT_EQ(code, 1);
    EXPECT_NE(err.find("initInstance failed"), std::string::npos) << err;
}

TEST_F(ProgramTest, TheStartHandsTheShellToTheGroundFloor) {
    gf_setDownloadKeepGoing(nullptr);
    gf_setReadFailureReporter(nullptr);
    backend->setCreateFailure(true);  // the start-up ends after the data folder
    ProgramSetup setup;
    setup.dataFolder = dir() / "TAVO";
    setup.lockFolder = dir();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(gf_programMain({"tavo"}, setup), 1);
    ::testing::internal::GetCapturedStderr();
    // Downloads end with the program's stop request...
    EXPECT_TRUE(gf_downloadsKeepGoing());
    requestStop(StopReason::NewSettings, 0);
    EXPECT_FALSE(gf_downloadsKeepGoing());
    gf_clearStopMailbox();
    // ...and a file that cannot be read shows in the status line.
    writeFile(dir() / "bad.txt", "x");
    std::vector<std::string> lines;
    gf_gui().drain();
    EXPECT_FALSE(gf_readTextFileLines(Charset::noneFound, dir() / "bad.txt", lines));
    gf_gui().drain();
    EXPECT_EQ(gf_gui().statusLine.rfind("Read failed for '", 0), 0u) << gf_gui().statusLine;
}

// --- the place of the window ----------------------------------------------------

TEST_F(ProgramTest, TheWindowIsKeptReachableOnTheNearestWorkArea) {
    struct Case {
        const char* name;
        std::vector<PixelRect> workAreas;
        int x, y;  // remembered
        int wantX, wantY;
    };
    const std::vector<Case> cases{
        {"on screen stays", {{0, 0, 1920, 1040}}, 100, 50, 100, 50},
        {"X at its upper limit is implausible", {{0, 0, 1920, 1040}}, 30001, 20, 400, 20},
        {"Y at its lower limit is implausible", {{0, 0, 1920, 1040}}, 100, -30000, 100, 20},
        {"vanished monitor to the right", {{0, 0, 1920, 1040}}, 5000, 3000, 1920 - 48, 1040 - 48},
        {"vanished monitor to the left", {{0, 0, 1920, 1040}, {1920, 0, 3840, 1040}}, -5000, 100, 0, 100},
        {"wider than the work area", {{0, 0, 800, 600}}, 100, 10, 0, 10},
        {"second monitor kept", {{0, 0, 1920, 1040}, {1920, 0, 3840, 1040}}, 2000, 30, 2000, 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        backend->setWorkAreas(c.workAreas);
        MAIN_WINDOW_X.set(c.x);
        MAIN_WINDOW_Y.set(c.y);
        gf_installParameterFileWriter(&lf_recordSave);
        saves().clear();
        const WindowHandle window = g_mainWindow.load() == WindowHandle::None ? open() : g_mainWindow.load();
        gf_setWindowPos(window, std::pair{MAIN_WINDOW_X.value(), MAIN_WINDOW_Y.value()}, std::nullopt);
        lf_keepWindowOnScreen(kDefaultWindowX, kDefaultWindowY);
        const auto rect = gf_windowRect(window);
        ASSERT_TRUE(rect);
        const int width = rect->width();
        int wantX = c.wantX;
        if (std::string(c.name) == "vanished monitor to the left") wantX = 48 - width;
        EXPECT_EQ(MAIN_WINDOW_X.value(), wantX);
        EXPECT_EQ(MAIN_WINDOW_Y.value(), c.wantY);
        EXPECT_EQ(rect->left, wantX);
        EXPECT_EQ(rect->top, c.wantY);
        if (wantX != c.x) {
            EXPECT_TRUE(gf_has(saves(), fmt::format("MAIN_WINDOW_X={}", wantX)));
        }
        if (wantX == c.x && c.wantY == c.y) {
            EXPECT_TRUE(saves().empty());
        }
    }
}

// The window opens before Log.txt does: what the damaged file's read says
// reaches the first run's Log.txt, and the window tells the user, once.
TEST_F(ProgramTest, ADamagedParametersFileBecomesTheCopyTheWindowOpensAtTheDefaultAndTheUserIsTold) {
    MAIN_WINDOW_X.set(777);
    MAIN_WINDOW_Y.set(555);
    resetSettingsToDefaults();
    writeFile(file(), "<root><parameters><parameter name=\"MAIN_WINDOW_X\" value=\"9\"");
    gf_logger().close();
    const WindowHandle window = open();
    EXPECT_FALSE(std::filesystem::exists(file()));
    EXPECT_EQ(readFile(generationFile()), "<root><parameters><parameter name=\"MAIN_WINDOW_X\" value=\"9\"");
    const auto rect = gf_windowRect(window);
    ASSERT_TRUE(rect);
    EXPECT_EQ(rect->left, 400);
    EXPECT_EQ(rect->top, 20);
    EXPECT_EQ(backend->windowTitle(window), "TAVO");

    gf_setMainThreadFunction([] {});
    for (int run = 0; run < 2; ++run) {
        backend->send(window, MSG_START);
        g_mainThread.join();
        backend->pump();
    }
    const std::string told = "The settings could not be read and were reset to their defaults; the old file is kept as '" +
                             gf_pathToUtf8(generationFile()) + "'";
    EXPECT_EQ(gf_gui().statusLine, told);
    const std::string first = readFile(dir() / "Log0.txt");
    EXPECT_NE(first.find("==> " + parametersFilePathUtf8() + " failed to load ("), std::string::npos) << first;
    EXPECT_NE(first.find(told + "\n"), std::string::npos) << first;
    EXPECT_EQ(readFile(dir() / "Log.txt").find("failed to load"), std::string::npos) << "told once";
}

// --- the window procedure -------------------------------------------------------

TEST_F(ProgramTest, CreationStoresTheWindowAndMakesTheControls) {
    COLLAPSED.setValue(false);
    const WindowHandle window = open();
    ASSERT_NE(window, WindowHandle::None);
    EXPECT_EQ(gf_gui().window.load(), window);
    EXPECT_EQ(gf_controlIds().size(), 54u);
    EXPECT_EQ(gf_clientRect(window)->height(), 768);
    EXPECT_EQ(gf_clientRect(window)->width(), 900);
}

TEST_F(ProgramTest, AClickInTheBoxFlipsTheViewAndSavesCollapsed) {
    COLLAPSED.setValue(false);
    const WindowHandle window = open();
    backend->paintNow(window);  // the paint stores the box
    const PixelRect box = gf_gui().expandBox;
    ASSERT_FALSE(box.empty());
    auto click = [&](int x, int y) {
        return backend->send(window, WM_LBUTTONDOWN, 0, (static_cast<std::int64_t>(y) << 16) | (x & 0xFFFF));
    };
    EXPECT_EQ(click(box.left - 1, box.top), 0);
    EXPECT_FALSE(gf_gui().compact) << "outside the box nothing happens";
    EXPECT_TRUE(saves().empty());

    struct Step {
        bool park;
        bool compact;
        int height;
    };
    for (const Step& s : {Step{false, true, 128}, Step{false, false, 768}, Step{true, true, 224}, Step{true, false, 768}}) {
        SCOPED_TRACE(s.height);
        gf_gui().parkAirport = s.park ? IcaoCode("EDDF") : IcaoCode{};
        saves().clear();
        EXPECT_EQ(click((box.left + box.right) / 2, (box.top + box.bottom) / 2), 0);
        EXPECT_EQ(gf_gui().compact, s.compact);
        EXPECT_EQ(gf_clientRect(window)->height(), s.height);
        EXPECT_EQ(*gf_isControlVisible(gf_controlIds().front()), !s.compact);
        EXPECT_EQ(COLLAPSED.value(), s.compact);
        EXPECT_EQ(saves(), std::vector<std::string>{std::string("COLLAPSED=") + (s.compact ? "1" : "0")});
    }
}

TEST_F(ProgramTest, DpiChangeRescalesAndMovesToTheSuggestedPlaceUnlessNoDpiOrNoRect) {
    COLLAPSED.setValue(false);
    const WindowHandle window = open();
    const PixelRect before = *gf_windowRect(window);
    const ControlId first = gf_controlIds().front();
    const PixelRect controlBefore = *gf_controlBounds(first);
    PixelRect suggested{100, 200, 0, 0};
    EXPECT_EQ(backend->send(window, WM_DPICHANGED, 0, reinterpret_cast<std::intptr_t>(&suggested)), 0);
    EXPECT_EQ(backend->send(window, WM_DPICHANGED, 144, 0), 0);
    EXPECT_EQ(*gf_windowRect(window), before) << "DPI 0 or no rectangle: nothing";
    EXPECT_EQ(gf_gui().dpi, 96u);

    EXPECT_EQ(backend->send(window, WM_DPICHANGED, 144 | (144u << 16), reinterpret_cast<std::intptr_t>(&suggested)), 0);
    EXPECT_EQ(gf_gui().dpi, 144u);
    const PixelRect after = *gf_windowRect(window);
    EXPECT_EQ(after.left, 100);
    EXPECT_EQ(after.top, 200);
    EXPECT_EQ(std::pair(after.width(), after.height()), gf_gui().windowSizeForClient(768));
    EXPECT_EQ(gf_controlBounds(first)->left, gf_mulDiv(controlBefore.left, 144, 96));
    EXPECT_EQ(gf_gui().controlsFontDpi, 144u);
}

TEST_F(ProgramTest, SwitchSimChangesTheChoiceAndPostsNewSettingsOnlyWhenNothingIsPending) {
    const WindowHandle window = open();
    struct Case {
        unsigned startSim;  // 1 = 2020, 2 = 2024
        bool pending;
        const char* target;
        std::uint32_t wantReason;
    };
    for (const Case& c : {Case{1, false, "MSFS 2024", 3}, Case{2, false, "MSFS 2020", 3}, Case{2, true, "MSFS 2020", 8}}) {
        SCOPED_TRACE(c.target);
        gf_clearStopMailbox();
        startupChoice.store(std::make_shared<const StartupChoice>(StartupChoice{c.startSim, 0}));
        if (c.pending) requestStop(StopReason::SystemError, 15);
        SIM_CHOICE.fillCombo();
        saves().clear();
        EXPECT_EQ(backend->send(window, MSG_SWITCH_SIM), 0);
        EXPECT_EQ(SIM_CHOICE.value(), c.target);
        EXPECT_EQ(saves(), std::vector<std::string>{std::string("SIM_CHOICE=") + c.target});
        EXPECT_EQ(gf_comboSelectedText(SIM_CHOICE.controlId), c.target);
        ASSERT_TRUE(gf_pendingStopRequest());
        EXPECT_EQ(gf_pendingStopRequest()->reason, c.wantReason);
        EXPECT_EQ(gf_pendingStopRequest()->countdown, c.pending ? 15u : 0u);
        EXPECT_EQ(gf_gui().statusLine, "Switching MSFS version in TAVO");
    }
}

TEST_F(ProgramTest, AFailedStartShowsItsErrorAndThenCloseEndsTheProgram) {
    const WindowHandle window = open();
    g_exitCode.store(0);
    gf_logger().close();
    std::filesystem::remove(dir() / "Log.txt");
    std::filesystem::create_directory(dir() / "Log.txt");  // Log.txt cannot be opened
    EXPECT_EQ(backend->send(window, MSG_START), 0);
    EXPECT_EQ(gf_gui().errorText, "Restart failed: Failed to write file Log.txt");
    EXPECT_FALSE(g_mainThread.joinable()) << "no main thread runs";
    EXPECT_FALSE(gf_mainRunUnderWay());

    backend->clearRecords();
    EXPECT_EQ(backend->send(window, WM_CLOSE), 0);
    ASSERT_TRUE(gf_pendingStopRequest());
    EXPECT_EQ(gf_pendingStopRequest()->reason, 4u) << "USER CLOSED SIM";
    backend->pump();
    EXPECT_EQ(backend->quitCode(), 0) << "with no run under way the close ends the program";
    EXPECT_TRUE(gf_gui().closed.load());
    std::filesystem::remove(dir() / "Log.txt");
}

TEST_F(ProgramTest, ExitSavesTheNormalRectangleClampedAndQuitsWithTheExitCode) {
    struct Case {
        const char* name;
        ShowCommand show;
        int normalX, normalY;
        int wantX, wantY;
    };
    const std::vector<Case> cases{
        {"normal", ShowCommand::Normal, 300, 200, 300, 200},
        {"maximized keeps its normal place", ShowCommand::Maximized, 500, 300, 500, 300},
        {"minimized keeps its normal place", ShowCommand::Minimized, 600, 100, 600, 100},
        {"beyond the limit: clamped, then the old value", ShowCommand::Maximized, 40000, 100, 250, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resetProgramState();
        resetWindowContentState();
        backend = std::make_shared<HeadlessBackend>();
        backend->setWorkAreas({{0, 0, 1920, 1040}, {1920, 0, 60000, 1040}});
        gf_installWindowBackend(backend);
        MAIN_WINDOW_X.set(250);
        MAIN_WINDOW_Y.set(20);
        const WindowHandle window = open();
        gf_setWindowPos(window, std::pair{c.normalX, c.normalY}, std::nullopt);
        gf_showWindow(window, c.show);
        g_exitCode.store(7);
        saves().clear();
        EXPECT_EQ(backend->send(window, MSG_EXIT), 0);
        EXPECT_EQ(MAIN_WINDOW_X.value(), c.wantX);
        EXPECT_EQ(MAIN_WINDOW_Y.value(), c.wantY);
        ASSERT_GE(saves().size(), 2u);
        EXPECT_EQ(saves()[0], fmt::format("MAIN_WINDOW_X={}", std::min(c.normalX, 30000)));
        EXPECT_EQ(saves()[1], fmt::format("MAIN_WINDOW_Y={}", c.normalY));
        EXPECT_TRUE(gf_gui().closed.load());
        backend->pump();
        EXPECT_EQ(backend->quitCode(), 7);
    }
}

TEST_F(ProgramTest, DestroyClosesTheGuiAndQuitsWithZero) {
    const WindowHandle window = open();
    gf_destroyWindow(window);
    EXPECT_TRUE(gf_gui().closed.load());
    backend->pump();
    EXPECT_EQ(backend->quitCode(), 0);
}

TEST_F(ProgramTest, CommandsGoToTheHandlerAndUnhandledOnesToTheDefault) {
    const WindowHandle window = open();
    std::vector<std::uint64_t> seen;
    bool handled = true;
    gf_setCommandHandler([&](WindowHandle, std::uint64_t wParam) {
        seen.push_back(wParam);
        return handled;
    });
    EXPECT_EQ(backend->send(window, WM_COMMAND, gf_commandWParam(0x8001, BN_CLICKED)), 0);
    handled = false;
    backend->send(window, WM_COMMAND, gf_commandWParam(0x800A, CBN_SELCHANGE));
    EXPECT_EQ(seen, (std::vector<std::uint64_t>{gf_commandWParam(0x8001, BN_CLICKED),
                                               gf_commandWParam(0x800A, CBN_SELCHANGE)}));
}

}  // namespace
}  // namespace tavo::test
