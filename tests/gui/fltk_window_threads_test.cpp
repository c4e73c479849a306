// Other threads and the real window: their control changes reach FLTK's
// widgets only on the FLTK thread, and their modal dialogs run there while
// they wait.
#include <atomic>
#include <cstring>
#include <thread>


#include "app/main_thread.h"
#include "fltk_fixture.h"
#include "support/scoped_env.h"

#include <FL/Fl_File_Browser.H>
#include <FL/Fl_File_Input.H>
#include <FL/Fl_Return_Button.H>
#undef None

namespace tavo::test {
namespace {

using namespace std::chrono_literals;

bool waitFor(const std::function<bool()>& pred, std::chrono::milliseconds limit = 5000ms) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

struct DialogVisit;
void lf_visitDialog(void* data);

class FltkThreadsTest : public FltkProgramTest {
protected:
    // Runs the FLTK thread until a worker's dialog is answered, the visit
    // acting from inside the dialog's loop; false after the time-out, with
    // the worker let go with its cancel answer.
    bool answerFromInside(DialogVisit& visit, std::atomic<bool>& answered);
};

TEST_F(FltkThreadsTest, AWorkersChangesReachTheWidgetsOnTheFltkThreadOnly) {
    COLLAPSED.setValue(false);
    SKIP_AIRPORT_SCAN.setValue(false);
    show();
    std::atomic<bool> done{false};
    std::optional<std::string> seenAtOnce;
    std::thread worker([&] {
        gf_setControlCheck(SKIP_AIRPORT_SCAN.controlId, true);
        gf_enableControl(DESTINATION.controlId, true);
        gf_setControlText(DESTINATION.controlId, "KJFK");
        gf_setComboItems(RANGE.controlId, {"10", "20", "30"});
        gf_setComboSelection(RANGE.controlId, 2);
        gf_showControl(TbloButton.controlId, false);
        seenAtOnce = gf_controlText(DESTINATION.controlId);
        Gui::addStatusLine("worker status line", false);
        done.store(true);
    });
    // This thread holds FLTK's lock and is not waiting in FLTK: a worker
    // that took the lock would not get through until it pumped.
    const bool withoutTheFltkThread = waitFor([&] { return done.load(); });
    if (!withoutTheFltkThread) pumpUntil([&] { return done.load(); });
    worker.join();
    EXPECT_TRUE(withoutTheFltkThread);
    EXPECT_EQ(seenAtOnce, "KJFK") << "the mirror answers at once";

    auto* input = static_cast<Fl_Input*>(fltk->fltkControl(DESTINATION.controlId));
    auto* range = static_cast<Fl_Choice*>(fltk->fltkControl(RANGE.controlId));
    Fl_Widget* tblo = fltk->fltkControl(TbloButton.controlId);
    EXPECT_STREQ(input->value(), "") << "no widget touched off the FLTK thread";
    EXPECT_FALSE(input->active());
    EXPECT_TRUE(tblo->visible());

    settle();
    EXPECT_STREQ(input->value(), "KJFK");
    EXPECT_TRUE(input->active());
    EXPECT_EQ(range->size(), 4);
    EXPECT_EQ(range->value(), 2);
    EXPECT_FALSE(tblo->visible());
    EXPECT_EQ(gf_gui().statusLine, "worker status line");

    const Pixels p = gf_readWindow(*fltk);
    const Fl_Widget* box = fltk->fltkControl(SKIP_AIRPORT_SCAN.controlId);
    int tick = 0;
    for (int y = box->y() + 1; y < box->y() + box->h() - 1; ++y) {
        for (int x = box->x() + 1; x < box->x() + box->w() - 1; ++x) tick += p.at(x, y) == Rgb{0, 0, 0} ? 1 : 0;
    }
    EXPECT_GT(tick, 0) << "the box drawn checked";
    int white = 0;
    for (int y = 736; y < 768; ++y) {
        // White text on dark green: its pixels, smoothed at their edges, are
        // far redder than the ground.
        for (int x = 0; x < 300; ++x) white += p.at(x, y).r > 150 ? 1 : 0;
    }
    EXPECT_GT(white, 50) << "the status line drawn in the bottom line";
}

// What the test saw from inside the dialog's loop.
struct DialogVisit {
    FltkBackend* fltk = nullptr;
    std::atomic<bool>* answered = nullptr;
    bool opened = false;
    bool answeredWhileOpen = true;
    bool answeredAfterAWhile = true;
    bool ownerEnabled = true;
    std::string caption;
    std::function<void(Fl_Window&)> act;
};

Fl_Widget* lf_childLabelled(Fl_Window& window, const char* label) {
    for (int i = 0; i < window.children(); ++i) {
        Fl_Widget* child = window.child(i);
        if (child->label() != nullptr && std::strcmp(child->label(), label) == 0) return child;
    }
    return nullptr;
}

template <class T>
T* lf_childOfType(Fl_Window& window) {
    for (int i = 0; i < window.children(); ++i) {
        if (auto* child = dynamic_cast<T*>(window.child(i))) return child;
    }
    return nullptr;
}

// Runs inside the dialog's own loop: looks at the open dialog, waits a
// while with the worker still blocked, then answers as the user would.
void lf_visitDialog(void* data) {
    auto* visit = static_cast<DialogVisit*>(data);
    Fl_Window* dialog = visit->fltk->openDialog();
    if (dialog == nullptr) {
        Fl::repeat_timeout(0.02, lf_visitDialog, data);
        return;
    }
    if (!visit->opened) {
        visit->opened = true;
        visit->answeredWhileOpen = visit->answered->load();
        visit->ownerEnabled = gf_isWindowEnabled(g_mainWindow.load());
        visit->caption = dialog->label() != nullptr ? dialog->label() : "";
        Fl::repeat_timeout(0.2, lf_visitDialog, data);
        return;
    }
    visit->answeredAfterAWhile = visit->answered->load();
    visit->act(*dialog);
}

bool FltkThreadsTest::answerFromInside(DialogVisit& visit, std::atomic<bool>& answered) {
    visit.fltk = fltk.get();
    visit.answered = &answered;
    Fl::add_timeout(0.02, lf_visitDialog, &visit);
    const bool finished = pumpUntil([&] { return answered.load(); });
    Fl::remove_timeout(lf_visitDialog, &visit);
    if (!finished) fltk->shutdown();
    return finished;
}

TEST_F(FltkThreadsTest, AMessageBoxAskedForByAWorkerBlocksItUntilTheUserAnswers) {
    const WindowHandle window = show();
    std::atomic<bool> answered{false};
    MessageBoxResult result = MessageBoxResult::Cancel;
    std::thread worker([&] {
        result = gf_messageBox(window, "Replace the file & its copy?", "TAVO update", MessageBoxIcon::Warning,
                               MessageBoxButtons::YesNo);
        answered.store(true);
    });
    DialogVisit visit;
    visit.act = [](Fl_Window& dialog) {
        Fl_Widget* yes = lf_childLabelled(dialog, "Yes");
        ASSERT_NE(yes, nullptr);
        yes->do_callback();
    };
    const bool finished = answerFromInside(visit, answered);
    worker.join();
    ASSERT_TRUE(finished);
    EXPECT_TRUE(visit.opened);
    EXPECT_FALSE(visit.answeredWhileOpen);
    EXPECT_FALSE(visit.answeredAfterAWhile) << "the worker waits for the user";
    EXPECT_FALSE(visit.ownerEnabled) << "the owner takes no input meanwhile";
    EXPECT_EQ(visit.caption, "TAVO update");
    EXPECT_EQ(result, MessageBoxResult::Yes);
    EXPECT_TRUE(gf_isWindowEnabled(window));
    EXPECT_EQ(fltk->openDialog(), nullptr);
}

TEST_F(FltkThreadsTest, AnEntryDialogAskedForByAWorkerGivesTheTextWithinItsLimit) {
    const WindowHandle window = show();
    std::atomic<bool> answered{false};
    std::optional<std::string> result;
    std::thread worker([&] {
        EntryDialogSpec setup;
        setup.title = "RealTraffic";
        setup.label = "Please enter your license key";
        setup.textLimit = 5;
        result = gf_showEntryDialog(window, setup);
        answered.store(true);
    });
    DialogVisit visit;
    visit.act = [](Fl_Window& dialog) {
        auto* input = lf_childOfType<Fl_Input>(dialog);
        Fl_Widget* ok = lf_childLabelled(dialog, "OK");
        ASSERT_TRUE(input && ok);
        input->value("ÄBCDEFG");
        ok->do_callback();
    };
    const bool finished = answerFromInside(visit, answered);
    worker.join();
    ASSERT_TRUE(finished);
    EXPECT_FALSE(visit.answeredAfterAWhile);
    EXPECT_EQ(visit.caption, "RealTraffic");
    EXPECT_EQ(result, "ÄBCDE") << "five characters, one of them two bytes";
}

TEST_F(FltkThreadsTest, ShuttingDownAnswersAWaitingWorkerAndRefusesLaterPosts) {
    const WindowHandle window = show();
    std::atomic<bool> answered{false};
    MessageBoxResult result = MessageBoxResult::Ok;
    std::thread worker([&] {
        result = gf_messageBox(window, "Still there?", "TAVO", MessageBoxIcon::Information,
                               MessageBoxButtons::OkCancel);
        answered.store(true);
    });
    // The FLTK thread never runs the dialog: it shuts down instead.
    std::this_thread::sleep_for(20ms);
    fltk->shutdown();
    const bool released = waitFor([&] { return answered.load(); });
    worker.join();
    EXPECT_TRUE(released);
    EXPECT_EQ(result, MessageBoxResult::Cancel);
    EXPECT_FALSE(gf_postMessage(window, MSG_GUI_UPDATE));
    EXPECT_FALSE(gf_isWindow(window));
}

// The user of the install-path question: OK in every box (its text noted),
// and in the folder picker into "sim", into "Community", then OK.
struct PickerUser {
    FltkBackend* fltk = nullptr;
    std::vector<std::string> boxes;
    std::string pickerShowed;  // what the picker's field showed when OK was pressed
};

void lf_pickerUser(void* data) {
    auto* user = static_cast<PickerUser*>(data);
    Fl::repeat_timeout(0.02, lf_pickerUser, data);
    Fl_Window* dialog = user->fltk->openDialog();
    if (dialog == nullptr || !dialog->shown()) return;
    auto* list = gf_findWidget<Fl_File_Browser>(*dialog);
    if (list == nullptr) {
        // The box's text is its longest label (the icon's is one letter).
        std::string text;
        for (int i = 0; i < dialog->children(); ++i) {
            const char* label = dialog->child(i)->label();
            if (label != nullptr && std::strlen(label) > text.size()) text = label;
        }
        user->boxes.push_back(text);
        gf_findWidget<Fl_Button>(*dialog, "OK")->do_callback();
        return;
    }
    auto* field = gf_findWidget<Fl_File_Input>(*dialog);
    if (std::string(field->value()).ends_with("/Community/")) {
        user->pickerShowed = field->value();
        gf_findWidget<Fl_Return_Button>(*dialog)->do_callback();
        return;
    }
    for (const char* folder : {"Community/", "sim/"}) {
        for (int line = 1; line <= list->size(); ++line) {
            if (std::strcmp(list->text(line), folder) != 0) continue;
            // A double click goes into the folder.
            list->select(line);
            Fl::event_clicks(1);
            list->do_callback();
            Fl::event_clicks(0);
            return;
        }
    }
}

// The folder the user went into is the folder picked, although FLTK's
// picker gives it with a trailing separator; the install path is its parent.
TEST_F(FltkThreadsTest, TheFolderTheUserWentIntoInThePickerIsTakenAsTheCommunityFolder) {
    ScopedEnv env;
    env.set("TAVO_LOCALAPPDATA_DIR", (dir() / "local").string());
    std::filesystem::create_directories(dir() / "sim" / "Community");
    std::filesystem::create_directories(dir() / "sim" / "Official");
    startupChoice.store(std::make_shared<const StartupChoice>(StartupChoice{1, 1}));
    MSFS_INSTALL_PATH.setValue("");
    show();
    std::atomic<bool> answered{false};
    bool accepted = false;
    std::thread worker([&] {
        accepted = lf_checkInstallPaths();
        answered.store(true);
    });
    PickerUser user;
    user.fltk = fltk.get();
    Fl::add_timeout(0.02, lf_pickerUser, &user);
    const bool finished = pumpUntil([&] { return answered.load(); });
    Fl::remove_timeout(lf_pickerUser, &user);
    if (!finished) fltk->shutdown();
    worker.join();
    ASSERT_TRUE(finished);
    EXPECT_EQ(user.pickerShowed, gf_pathToUtf8(dir() / "sim" / "Community") + "/");
    EXPECT_TRUE(accepted);
    EXPECT_EQ(MSFS_INSTALL_PATH.value(), dir() / "sim");
    EXPECT_EQ(user.boxes, (std::vector<std::string>{
                              "TAVO cannot find the MSFS install path.\n\nPlease select the MSFS Community folder.",
                              "Okay!"}));
}

}  // namespace
}  // namespace tavo::test
