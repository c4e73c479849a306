// The start-up's message loop with runs of the main thread, a second copy of
// the program, worker updates and the termination signals.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "program_fixture.h"

namespace tavo::test {
namespace {

using namespace std::chrono_literals;

// Waits (bounded) until the predicate holds.
template <class Pred>
bool waitFor(Pred pred, std::chrono::milliseconds limit = 5000ms) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

ProgramSetup setupIn(const std::filesystem::path& dir) {
    ProgramSetup setup;
    setup.dataFolder = programDataFolder();
    setup.lockFolder = dir;
    return setup;
}

TEST_F(ProgramTest, ASecondCopyExitsMinusOneSilentlyWhileAChildHoldsTheLock) {
    int toParent[2];
    int toChild[2];
    ASSERT_EQ(::pipe(toParent), 0);
    ASSERT_EQ(::pipe(toChild), 0);
    const std::string folder = dir().string();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(toChild[1]);
        SingleInstanceLock lock;
        const char held = lock.acquire(folder) == SingleInstanceLock::Outcome::Held ? 'y' : 'n';
        (void)!::write(toParent[1], &held, 1);
        char done = 0;
        (void)!::read(toChild[0], &done, 1);  // until the parent is done (or gone)
        ::_exit(0);
    }
    char held = 0;
    ASSERT_EQ(::read(toParent[0], &held, 1), 1);
    ASSERT_EQ(held, 'y');

    ::testing::internal::CaptureStderr();
    ::testing::internal::CaptureStdout();
    ProgramSetup setup = setupIn(dir());
    bool started = false;  // where the entry announces the program
    setup.started = [&] { started = true; };
    const int code = gf_programMain({"tavo", "--production"}, setup);
    const std::string out = ::testing::internal::GetCapturedStdout();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(code, -1);
    EXPECT_EQ(static_cast<std::uint8_t>(code), 255) << "the process's exit status";
    EXPECT_EQ(out + err, "") << "a second copy shows and writes nothing";
    EXPECT_FALSE(started) << "nor does its entry announce it";
    EXPECT_EQ(g_mainWindow.load(), WindowHandle::None);
    EXPECT_FALSE(g_production.load());

    ::close(toChild[1]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(toChild[0]);
    ::close(toParent[0]);
    ::close(toParent[1]);
    // With the child gone the lock is free again: the program starts and ends.
    gf_setMainThreadFunction([] { gf_postMessage(g_mainWindow.load(), MSG_EXIT); });
    EXPECT_EQ(gf_programMain({"tavo"}, setupIn(dir())), 0);
}

TEST_F(ProgramTest, StartJoinsTheRunReopensTheLogAndStartsTheNext) {
    std::atomic<int> runs{0};
    std::atomic<bool> productionSeen{false};
    gf_setMainThreadFunction([&] {
        const int run = ++runs;
        productionSeen.store(g_production.load());
        gf_log(fmt::format("run {}", run));
        gf_flushLog();
        if (run == 1) {
            // A restart: the closing-down sequence's last act.
            gf_postMessage(g_mainWindow.load(), MSG_START);
        } else {
            g_exitCode.store(3);
            gf_postMessage(g_mainWindow.load(), MSG_EXIT);
        }
    });
    const int code = gf_programMain({"tavo", "--PRODUCTION"}, setupIn(dir()));
    EXPECT_EQ(code, 3) << "MSG_EXIT quits with g_exitCode";
    EXPECT_EQ(runs.load(), 2);
    EXPECT_TRUE(productionSeen.load());
    EXPECT_FALSE(g_mainThread.joinable()) << "the last run was joined";
    const std::string previous = readFile(dir() / "Log0.txt");
    const std::string current = readFile(dir() / "Log.txt");
    EXPECT_NE(previous.find("run 1"), std::string::npos) << "the first run's log is kept";
    EXPECT_EQ(current.find("run 1"), std::string::npos);
    EXPECT_NE(current.find("run 2"), std::string::npos);
    EXPECT_NE(current.find("TAVO version"), std::string::npos) << "each run's log starts with its header";
    EXPECT_TRUE(std::filesystem::exists(file())) << "the place was saved";
}

TEST_F(ProgramTest, CloseDuringARunPostsUserClosedSimAndKeepsTheWindowUntilExit) {
    std::atomic<bool> windowKeptAfterClose{false};
    std::atomic<std::uint32_t> reason{0};
    gf_setMainThreadFunction([&] {
        const WindowHandle window = g_mainWindow.load();
        gf_postMessage(window, WM_CLOSE);  // the user's click
        if (waitFor([] { return !keepRunning(); })) {
            if (auto request = gf_pendingStopRequest()) reason.store(request->reason);
            std::this_thread::sleep_for(20ms);
            windowKeptAfterClose.store(gf_isWindow(window) && !gf_gui().closed.load());
        }
        gf_postMessage(window, MSG_EXIT);
    });
    EXPECT_EQ(gf_programMain({"tavo"}, setupIn(dir())), 0);
    EXPECT_EQ(reason.load(), 4u) << "USER CLOSED SIM";
    EXPECT_TRUE(windowKeptAfterClose.load());
    EXPECT_TRUE(g_exiting.load());
}

TEST_F(ProgramTest, TheProgramsOwnRunEndsOnAStopRequest) {
    gf_setMainThreadFunction({});
    std::thread closer([] {
        if (waitFor([] { return gf_mainRunUnderWay(); })) gf_postMessage(g_mainWindow.load(), WM_CLOSE);
    });
    EXPECT_EQ(gf_programMain({"tavo"}, setupIn(dir())), 0);
    closer.join();
    EXPECT_FALSE(g_mainThread.joinable());
}

TEST_F(ProgramTest, WorkerUpdatesReachTheWindowInOrderWithOneDrain) {
    COLLAPSED.setValue(false);
    const WindowHandle window = open();
    backend->clearRecords();
    Gui::showError("old error");  // on the GUI thread: at once
    const std::uint64_t repaints = gf_gui().repaintCount;
    std::thread worker([] {
        Gui::addStatusLine("dropped while the error stands", false);
        Gui::enqueueUpdate(GuiUpdate::clearError());
        Gui::addStatusLine("after", false);
    });
    worker.join();
    EXPECT_EQ(gf_countMessages(backend->postedMessages(), MSG_GUI_UPDATE), 1u) << "one drain message per burst";
    EXPECT_EQ(gf_gui().errorText, "old error") << "nothing before the drain";
    backend->pump();
    EXPECT_EQ(gf_gui().errorText, "");
    EXPECT_EQ(gf_gui().statusLine, "after") << "applied in posting order";
    EXPECT_EQ(gf_gui().repaintCount, repaints + 1) << "one repaint";
    EXPECT_EQ(gf_gui().queuedCount(), 0u);
    (void)window;
}

void unblockTerminationSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

TEST_F(ProgramTest, SigtermAndSigintPostClose) {
    const WindowHandle window = open();
    for (int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        backend->clearRecords();
        TerminationSignalWatcher watcher;
        watcher.start();
        ::kill(::getpid(), signal);
        EXPECT_TRUE(waitFor([&] { return gf_countMessages(backend->postedMessages(), WM_CLOSE) == 1; }));
        watcher.stop();
    }
    unblockTerminationSignals();
    (void)window;
}

// A signal that comes before the window exists is not lost: the window the
// start-up then makes is closed and the program ends as after a click on the
// close button, with its place saved.
TEST_F(ProgramTest, ASignalBeforeTheWindowExistsEndsTheProgramOnceItDoes) {
    TerminationSignalWatcher watcher;
    watcher.start();
    ::kill(::getpid(), SIGTERM);
    ASSERT_TRUE(waitFor([&] { return watcher.taken() == 1; }));
    EXPECT_EQ(g_mainWindow.load(), WindowHandle::None);

    // The program's own run ends on a stop request only: were the signal
    // lost, the watchdog would have to ask for one.
    std::atomic<bool> returned{false};
    std::atomic<bool> rescued{false};
    std::thread watchdog([&] {
        if (!waitFor([&] { return returned.load(); }, 10000ms)) {
            rescued.store(true);
            requestStop(StopReason::UserClosedSim, 0);
        }
    });
    const int code = gf_programMain({"tavo"}, setupIn(dir()));
    returned.store(true);
    watchdog.join();
    watcher.stop();
    unblockTerminationSignals();
    EXPECT_FALSE(rescued.load()) << "the signal ended the program";
    EXPECT_EQ(code, 0);
    EXPECT_EQ(gf_countMessages(backend->postedMessages(), WM_CLOSE), 1u) << "one close for one signal";
    EXPECT_NE(readFile(file()).find("MAIN_WINDOW_X"), std::string::npos) << "the place was saved";
}

}  // namespace
}  // namespace tavo::test
