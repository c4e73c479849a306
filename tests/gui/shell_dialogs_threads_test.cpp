// The program's dialogs in the real window: Ctrl+C or SIGTERM (through the
// program's own signal watcher) while the main thread waits in the licence
// entry, the install-path box or the folder picker ends the program as
// promptly as without a dialog; and a start that stops because the licence
// entry or the folder picker was cancelled lets the user choose another
// traffic source or simulator, with which the program starts again.
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
#include "app/main_thread_fixture.h"
#include "feed/credential.h"
#include "fltk_fixture.h"
#include "services/parking_controls.h"
#include "support/scoped_env.h"

#include <FL/Fl_File_Browser.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_File_Input.H>
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
        gf_setParkedTrafficServices(std::nullopt);
        gf_setTbloPendingQuery(nullptr);
        FltkProgramTest::TearDown();
    }
    ScopedEnv env;
};

// The dialog the main thread waits in; PickerAlert: FLTK's own alert over
// the folder picker, for a folder name typed that names nothing (it waits in
// a loop of FLTK's own).
enum class Waiting { Licence, InstallPathBox, FolderPicker, PickerAlert };

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
    bool typed = false;
    bool rescued = false;
};

// FLTK's alert over the picker, when one is open.
Fl_Window* lf_pickerAlert(FltkBackend& fltk) {
    Fl_Window* modal = Fl::modal();
    if (modal == nullptr || modal == fltk.openDialog() || modal == fltk.fltkWindow()) return nullptr;
    return gf_findWidget<Fl_Widget>(*modal, Fl_File_Chooser::existing_file_label) != nullptr ? modal : nullptr;
}

// A folder that is not there typed into the picker's name field, then
// Enter: the picker answers with its alert, whose loop this waits in.
void lf_typeMissingFolder(void* data) {
    auto* user = static_cast<SignalUser*>(data);
    Fl_Window* picker = user->fltk->openDialog();
    Fl_File_Input* name = picker != nullptr ? gf_findWidget<Fl_File_Input>(*picker) : nullptr;
    if (name == nullptr) return;
    name->value("/no/such/folder/for/TAVO");
    Fl::e_keysym = FL_Enter;
    name->do_callback();
}

// Nothing else wakes the dialog's loop after the signal: the rescue comes
// ten seconds later.
void lf_rescue(void* data) {
    auto* user = static_cast<SignalUser*>(data);
    if (Fl_Window* alert = lf_pickerAlert(*user->fltk)) {
        user->rescued = true;
        alert->do_callback();
    }
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
    if (user->row.dialog == Waiting::PickerAlert && isPicker && lf_pickerAlert(*user->fltk) == nullptr) {
        if (!user->typed) Fl::add_timeout(0.0, lf_typeMissingFolder, data);
        user->typed = true;
        Fl::repeat_timeout(0.02, lf_signalUser, data);
        return;
    }
    const bool target = user->row.dialog == Waiting::FolderPicker || user->row.dialog == Waiting::PickerAlert
                            ? isPicker
                        : user->row.dialog == Waiting::Licence ? caption == rtLicenseDialogTitle
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
    Fl::remove_timeout(lf_typeMissingFolder, &user);
    Fl::remove_timeout(lf_rescue, &user);
    const std::uint64_t signals = watcher.taken();
    watcher.stop();
    lf_unblockTerminationSignals();

    ASSERT_TRUE(user.signalled.has_value()) << "the dialog never opened";
    EXPECT_FALSE(user.rescued) << "the dialog waited for the user after the signal";
    EXPECT_LT(ended - *user.signalled, 1s);
    EXPECT_EQ(user.typed, row.dialog == Waiting::PickerAlert);
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
                                           SignalRow{"SigtermInThePickersAlert", SIGTERM, Waiting::PickerAlert},
                                           SignalRow{"CtrlCInThePickersAlert", SIGINT, Waiting::PickerAlert},
                                           SignalRow{"AStopFromAnotherThreadInThePickersAlert", 0,
                                                     Waiting::PickerAlert},
                                           SignalRow{"AStopFromAnotherThreadInTheLicenceEntry", 0, Waiting::Licence}),
                         [](const auto& info) { return std::string(info.param.name); });

// Whole runs of the main thread (as in the app tests: the simulator model,
// fake neighbour services, the test clock) in the program's real window,
// whose user acts from inside FLTK's loops.
class FltkRunsTest : public MainThreadTest {
protected:
    void SetUp() override {
        MainThreadTest::SetUp();
        resetProgramState();
        fltk = FltkBackend::open(FltkOptions{96});
        ASSERT_TRUE(fltk) << "no display (ctest runs these tests under scripts/with-xvfb)";
        gf_installWindowBackend(fltk);
        window = open();
        // As the program's start-up does: a test that must close the window
        // is not kept waiting by a dialog.
        gf_setModalDialogRefusal([] { return !keepRunning(); });
    }
    void TearDown() override {
        if (fltk) fltk->shutdown();
        MainThreadTest::TearDown();
        fltk.reset();
    }

    // Starts a run and runs the message loop until the program quits; the
    // user acts every 20 ms. A run that does not end in time is closed.
    int runInWindow(const std::function<void()>& act, std::chrono::seconds limit = 60s) {
        const auto end = Steady::now() + limit;
        bool closedForTime = false;
        std::function<void()> turn = [&] {
            noteStatusLine();
            act();
            if (!closedForTime && Steady::now() > end) {
                ADD_FAILURE() << "the run did not end in time; closing the window";
                closedForTime = true;
                gf_postMessage(window, WM_CLOSE);
            }
        };
        Fl::add_timeout(0.02, &FltkRunsTest::lf_turn, &turn);
        gf_postMessage(window, MSG_START);
        const int code = gf_runMessageLoop();
        Fl::remove_timeout(&FltkRunsTest::lf_turn, &turn);
        return code;
    }
    static void lf_turn(void* data) {
        (*static_cast<std::function<void()>*>(data))();
        Fl::repeat_timeout(0.02, &FltkRunsTest::lf_turn, data);
    }
    // Picks the text in the drop-down list as the user would; false when the
    // list takes no input or has no such entry.
    bool pick(ControlId id, const std::string& text) {
        auto* list = static_cast<Fl_Choice*>(fltk->fltkControl(id));
        const auto items = gf_comboItems(id).value_or(std::vector<std::string>{});
        const auto at = std::find(items.begin(), items.end(), text);
        if (list == nullptr || !list->active() || at == items.end()) return false;
        list->value(static_cast<int>(at - items.begin()));
        list->do_callback();
        return true;
    }

    std::shared_ptr<FltkBackend> fltk;
};

struct ChoiceRow {
    const char* name;
    std::vector<std::pair<std::string, std::string>> settings;
    std::string error;  // the start of the error line
    ControlId list;
    std::string chosen;
    const char* key;
    std::vector<std::string> dialogs;  // the captions of the dialogs the user cancelled or confirmed
    friend void PrintTo(const ChoiceRow& row, std::ostream* os) { *os << row.name; }
};

class ChoiceInWindow : public FltkRunsTest, public ::testing::WithParamInterface<ChoiceRow> {};

TEST_P(ChoiceInWindow, TheOtherChoiceIsTakenWhileTheErrorWaitsAndTheProgramStartsWithIt) {
    const ChoiceRow& row = GetParam();
    writeParameters(row.settings);
    startSimulator();
    std::atomic<bool> chosen{false};
    std::atomic<int> errorWaits{0};
    duringSleep = [&](std::chrono::milliseconds d) {
        // The error's wait lasts until the user chose (or the time runs out).
        if (d == 100ms && !g_simClientThread.joinable() && ++errorWaits == 1)
            eventually([&] { return chosen.load(); }, 5000ms);
    };
    std::vector<std::string> dialogs;
    const int code = runInWindow([&] {
        if (Fl_Window* dialog = fltk->openDialog(); dialog != nullptr && dialog->shown()) {
            // OK in the box that asks for the folder; Cancel in the licence
            // entry and in the picker.
            const std::string caption = dialog->label() != nullptr ? dialog->label() : "";
            if (dialogs.empty() || dialogs.back() != caption) dialogs.push_back(caption);
            const bool box = caption == "TAVO" && gf_findWidget<Fl_File_Browser>(*dialog) == nullptr;
            if (Fl_Button* button = gf_findWidget<Fl_Button>(*dialog, box ? "OK" : "Cancel")) button->do_callback();
            return;
        }
        if (!chosen && gf_gui().errorText.starts_with(row.error) && pick(row.list, row.chosen)) chosen = true;
        // The main loop enables the Aircraft button (disabled at every run's start).
        if (loopsEntered() == 1 && gf_isControlEnabled(AircraftButton.controlId).value_or(false) && !closed) {
            closed = true;
            gf_postMessage(window, WM_CLOSE);
        }
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(dialogs, row.dialogs);
    EXPECT_TRUE(chosen.load()) << "the list took the choice while the error waited";
    EXPECT_EQ(storedValue(row.key), row.chosen);
    EXPECT_EQ(loopsEntered(), 1) << "the run with the other choice reached the main loop";
    EXPECT_TRUE(inOrder(readText("Log0.txt"), {"Restart cleanup completed; posting MSG_START"}));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ChoiceInWindow,
    ::testing::Values(ChoiceRow{"LicenceEntryCancelled",
                                {{"RT_CHOISE", "RT Direct"}},
                                "899: No valid RT license / API-token found",
                                RT_CHOISE.controlId,
                                "RT App",
                                "RT_CHOISE",
                                {std::string(rtLicenseDialogTitle)}},
                      ChoiceRow{"FolderPickerCancelled",
                                {{"SIM_CHOICE", "MSFS 2024"}},
                                "TAVO cannot find the MSFS2024 install path",
                                SIM_CHOICE.controlId,
                                "MSFS 2020",
                                "SIM_CHOICE",
                                {"TAVO", "Select the folder"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavo::test
