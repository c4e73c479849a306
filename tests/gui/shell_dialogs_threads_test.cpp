// The program's dialogs in the real window while the program is asked to
// end: Ctrl+C or SIGTERM (through the program's own signal watcher) while the
// main thread waits in the licence entry, the install-path box or the folder
// picker ends the program as promptly as without a dialog.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "app/closing_down.h"
#include "app/control_states.h"
#include "app/main_thread.h"
#include "feed/credential.h"
#include "fltk_fixture.h"
#include "services/parking_controls.h"
#include "support/scoped_env.h"

#include <FL/Fl_File_Browser.H>
#undef None

namespace tavo::test {
namespace {

using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

void lf_unblockTerminationSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

// The program's window with the shell's own seams, as the start-up installs
// them; the simulator's folders are nowhere to be found.
class ShellDialogsTest : public FltkProgramTest {
protected:
    void SetUp() override {
        FltkProgramTest::SetUp();
        env.set("TAVO_LOCALAPPDATA_DIR", (dir() / "local").string());
        gf_installShellSeams();
    }
    void TearDown() override {
        gf_setModalDialogRefusal(nullptr);
        gf_setParkedTrafficServices(std::nullopt);
        gf_setTbloPendingQuery(nullptr);
        FltkProgramTest::TearDown();
    }
    ScopedEnv env;
};

enum class Waiting { Licence, InstallPathBox, FolderPicker };

struct SignalRow {
    const char* name;
    int signal;  // 0: a stop request of another thread instead
    Waiting dialog;
    friend void PrintTo(const SignalRow& row, std::ostream* os) { *os << row.name; }
};

// The user of this test: OK in a box that comes before the dialog waited
// in; once that dialog is open, the signal; a dialog still open long after
// it is closed by hand (and the test fails).
struct SignalUser {
    FltkBackend* fltk = nullptr;
    SignalRow row;
    std::optional<Steady::time_point> signalled;
    bool rescued = false;
};

// Nothing else wakes the dialog's loop after the signal: the rescue comes
// ten seconds later.
void lf_rescue(void* data) {
    auto* user = static_cast<SignalUser*>(data);
    if (Fl_Window* dialog = user->fltk->openDialog()) {
        user->rescued = true;
        dialog->hide();
    }
    Fl::repeat_timeout(1.0, lf_rescue, data);
}

void lf_signalUser(void* data) {
    auto* user = static_cast<SignalUser*>(data);
    Fl_Window* dialog = user->fltk->openDialog();
    if (dialog == nullptr || !dialog->shown()) {
        Fl::repeat_timeout(0.02, lf_signalUser, data);
        return;
    }
    const std::string caption = dialog->label() != nullptr ? dialog->label() : "";
    const bool isPicker = gf_findWidget<Fl_File_Browser>(*dialog) != nullptr;
    const bool target = user->row.dialog == Waiting::FolderPicker ? isPicker
                        : user->row.dialog == Waiting::Licence    ? caption == rtLicenseDialogTitle
                                                                  : caption == "TAVO";
    if (!target) {
        gf_findWidget<Fl_Button>(*dialog, "OK")->do_callback();
        Fl::repeat_timeout(0.02, lf_signalUser, data);
        return;
    }
    user->signalled = Steady::now();
    Fl::add_timeout(10.0, lf_rescue, data);
    if (user->row.signal != 0) {
        ::kill(::getpid(), user->row.signal);
    } else {
        std::thread([] { requestStop(StopReason::NewSettings, 0); }).detach();
    }
}

class SignalInDialog : public ShellDialogsTest, public ::testing::WithParamInterface<SignalRow> {};

TEST_P(SignalInDialog, EndsTheDialogWithItsCancelAnswerAndTheProgramPromptly) {
    const SignalRow& row = GetParam();
    startupChoice.store(std::make_shared<const StartupChoice>(
        StartupChoice{1, row.dialog == Waiting::Licence ? std::uint8_t{0} : std::uint8_t{1}}));
    MSFS_INSTALL_PATH.setValue("");
    const WindowHandle window = show();
    // Blocks both signals in this thread before the run's thread starts, as
    // the program's entry does before any thread.
    TerminationSignalWatcher watcher;
    watcher.start();
    std::optional<bool> answered;
    gf_setMainThreadFunction([&row, &answered] {
        if (row.dialog == Waiting::Licence) {
            try {
                gf_getRTLicense();
                answered = true;
            } catch (const tavo::UserRelatedException&) {
                answered = false;
            }
        } else {
            answered = lf_checkInstallPaths();
        }
        lf_postStartOrExit();
    });
    SignalUser user;
    user.fltk = fltk.get();
    user.row = row;
    Fl::add_timeout(0.02, lf_signalUser, &user);
    gf_postMessage(window, MSG_START);
    const int code = gf_runMessageLoop();
    const auto ended = Steady::now();
    Fl::remove_timeout(lf_signalUser, &user);
    Fl::remove_timeout(lf_rescue, &user);
    const std::uint64_t signals = watcher.taken();
    watcher.stop();
    lf_unblockTerminationSignals();

    ASSERT_TRUE(user.signalled.has_value()) << "the dialog never opened";
    EXPECT_FALSE(user.rescued) << "the dialog waited for the user after the signal";
    EXPECT_LT(ended - *user.signalled, 3s);
    EXPECT_EQ(signals, row.signal != 0 ? 1u : 0u);
    EXPECT_EQ(answered, false) << "the dialog gave its cancel answer";
    EXPECT_EQ(code, 0);
    EXPECT_EQ(g_exiting.load(), row.signal != 0);
    EXPECT_EQ(fltk->openDialog(), nullptr);
    EXPECT_NE(logText().find("Shutdown cleanup completed; posting MSG_EXIT"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Rows, SignalInDialog,
                         ::testing::Values(SignalRow{"SigtermInTheLicenceEntry", SIGTERM, Waiting::Licence},
                                           SignalRow{"CtrlCInTheInstallPathBox", SIGINT, Waiting::InstallPathBox},
                                           SignalRow{"SigtermInTheFolderPicker", SIGTERM, Waiting::FolderPicker},
                                           SignalRow{"AStopFromAnotherThreadInTheLicenceEntry", 0, Waiting::Licence}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavo::test
