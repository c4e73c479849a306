// The real main window through FLTK on a virtual X server: its size and
// pixels at two scales, the 54 widgets at their places, user actions reaching
// the window procedure, drop-down texts shown as they stand, every label
// within its space, and the program itself ending on SIGTERM, also while
// its licence dialog waits for the user.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>


#include "feed/credential.h"
#include "fltk_fixture.h"
#include "screen_window.h"
#include "support/window_scene.h"

namespace tavo::test {
namespace {

using namespace std::chrono_literals;

class ScaledWindowTest : public FltkProgramTest, public ::testing::WithParamInterface<unsigned> {
protected:
    unsigned dpi() const override { return GetParam(); }
};

INSTANTIATE_TEST_SUITE_P(Scales, ScaledWindowTest, ::testing::Values(96u, 144u),
                         [](const auto& info) { return fmt::format("Dpi{}", info.param); });

bool dark(Rgb c) { return c.r < 64 && c.g < 64 && c.b < 64; }

// Dark pixels strictly inside a widget's box (its outline left out).
int darkInside(const Pixels& p, const Fl_Widget& w) {
    int count = 0;
    for (int y = w.y() + 1; y < w.y() + w.h() - 1; ++y) {
        for (int x = w.x() + 1; x < w.x() + w.w() - 1; ++x) count += dark(p.at(x, y)) ? 1 : 0;
    }
    return count;
}

TEST_P(ScaledWindowTest, TheWindowOpensTitledAtItsScaleAndShowsItsBands) {
    COLLAPSED.setValue(false);
    SKIP_AIRPORT_SCAN.setValue(false);
    LIG_AUTOMATIC.setValue(true);
    show();
    Fl_Window* window = fltk->fltkWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->shown());
    EXPECT_STREQ(window->label(), "TAVO");
    EXPECT_EQ(window->w(), px(900));
    EXPECT_EQ(window->h(), px(768));
    EXPECT_EQ(window->x(), 400);
    EXPECT_EQ(window->y(), 20);

    const Pixels p = gf_readWindow(*fltk);
    ASSERT_EQ(p.data.size(), static_cast<std::size_t>(px(900) * px(768)));
    // Places in the layout where no text or control stands.
    EXPECT_EQ(p.at(px(350), px(26)), (Rgb{0, 0, 0})) << "header";
    EXPECT_EQ(p.at(px(300), px(50)), (Rgb{0, 0, 0})) << "status band";
    EXPECT_EQ(p.at(px(400), px(120)), (Rgb{153, 204, 255})) << "settings band";
    EXPECT_EQ(p.at(px(600), px(690)), (Rgb{0, 0, 0})) << "parking band";
    EXPECT_EQ(p.at(px(600), px(762)), (Rgb{25, 150, 25})) << "bottom line";
    EXPECT_EQ(p.at(px(420), px(60)), (Rgb{255, 0, 0})) << "the simulator lamp, not connected";

    // A checked box shows its tick; an unchecked one is white inside.
    const Fl_Widget* checked = fltk->fltkControl(LIG_AUTOMATIC.controlId);
    const Fl_Widget* unchecked = fltk->fltkControl(SKIP_AIRPORT_SCAN.controlId);
    ASSERT_TRUE(checked && unchecked);
    EXPECT_GT(darkInside(p, *checked), 2 * px(4)) << "the tick's two strokes";
    EXPECT_EQ(darkInside(p, *unchecked), 0);
    EXPECT_EQ(p.at(unchecked->x() + unchecked->w() / 2, unchecked->y() + unchecked->h() / 2), (Rgb{255, 255, 255}));
}

const GuiControl* tableControl(ControlId id) {
    for (Parameter* p : allTableParameters) {
        if (auto* c = dynamic_cast<GuiControl*>(p); c != nullptr && c->controlId == id) return c;
    }
    return nullptr;
}

TEST_P(ScaledWindowTest, TheControlsSitAtTheirScaledPlacesAndHideOnCompact) {
    COLLAPSED.setValue(false);
    show();
    const std::vector<ControlId> ids = gf_controlIds();
    ASSERT_EQ(ids.size(), 54u);
    for (ControlId id : ids) {
        SCOPED_TRACE(fmt::format("{:#x}", id));
        const Fl_Widget* widget = fltk->fltkControl(id);
        const GuiControl* control = tableControl(id);
        ASSERT_TRUE(widget && control);
        EXPECT_TRUE(widget->visible());
        EXPECT_EQ(widget->x(), px(control->x));
        EXPECT_EQ(widget->y(), px(control->y + control->yOffset));
        const auto bounds = gf_controlBounds(id);
        ASSERT_TRUE(bounds);
        EXPECT_EQ(widget->w(), bounds->width());
        if (dynamic_cast<const Fl_Choice*>(widget) != nullptr) {
            EXPECT_EQ(widget->h(), px(24)) << "a closed drop-down list";
        } else {
            EXPECT_EQ(widget->h(), bounds->height());
        }
    }
    EXPECT_EQ(fltk->fltkControl(LIG_AUTOMATIC.controlId)->w(), px(14));
    EXPECT_EQ(fltk->fltkControl(TbloButton.controlId)->w(), px(80));
    EXPECT_EQ(fltk->fltkControl(AI_PACKAGE_SELECTOR.controlId)->w(), px(200));
    EXPECT_EQ(fltk->fltkControl(DESTINATION.controlId)->h(), px(28));

    // A click in the Expand/Compact box, as the mouse gives it.
    Fl_Window* window = fltk->fltkWindow();
    Fl::e_x = px(800);
    Fl::e_y = px(15);
    Fl::e_keysym = FL_Button + FL_LEFT_MOUSE;
    window->handle(FL_PUSH);
    settle();
    EXPECT_TRUE(gf_gui().compact);
    EXPECT_EQ(window->h(), px(128)) << "compact without a park airport";
    for (ControlId id : ids) EXPECT_FALSE(fltk->fltkControl(id)->visible()) << fmt::format("{:#x}", id);
    EXPECT_TRUE(gf_has(saves(), "COLLAPSED=1"));
}

class WindowInputTest : public FltkProgramTest {
protected:
    void SetUp() override {
        FltkProgramTest::SetUp();
        gf_setCommandHandler([this](WindowHandle, std::uint64_t wParam) {
            commands.push_back(wParam);
            return true;
        });
    }
    // A key as the keyboard gives it to the window.
    void key(int keysym, const char* text) {
        Fl::e_keysym = keysym;
        Fl::e_text = const_cast<char*>(text);
        Fl::e_length = static_cast<int>(std::strlen(text));
        Fl::e_state = 0;
        Fl::handle(FL_KEYBOARD, fltk->fltkWindow());
    }
    std::vector<std::uint64_t> commands;
};

TEST_F(WindowInputTest, TheCloseButtonReachesTheProcedureEscapeClosesNothingEnterIsReported) {
    COLLAPSED.setValue(false);
    show();
    key(FL_Escape, "\033");
    settle();
    EXPECT_EQ(gf_pendingStopRequest(), nullptr) << "Escape closes nothing";
    EXPECT_TRUE(fltk->fltkWindow()->shown());

    // Typing reaches the control's text; Enter reaches the window procedure
    // as EN_RETURN, which takes the typed destination (too short here).
    gf_enableControl(DESTINATION.controlId, true);
    auto* input = static_cast<Fl_Input*>(fltk->fltkControl(DESTINATION.controlId));
    input->take_focus();
    for (const char* c : {"E", "D", "D"}) key(c[0], c);
    EXPECT_EQ(gf_controlText(DESTINATION.controlId), "EDD");
    EXPECT_EQ(gf_gui().statusLine, "") << "typing is no command";
    key(FL_Enter, "\r");
    EXPECT_EQ(gf_gui().statusLine, "destination 'EDD' is not valid");

    // A button and a check box report their clicks; the box is not toggled.
    static_cast<Fl_Button*>(fltk->fltkControl(TbloButton.controlId))->do_callback();
    Fl_Widget* box = fltk->fltkControl(SKIP_AIRPORT_SCAN.controlId);
    Fl::e_x = box->x() + 2;
    Fl::e_y = box->y() + 2;
    box->handle(FL_PUSH);
    box->handle(FL_RELEASE);
    EXPECT_EQ(commands, (std::vector<std::uint64_t>{gf_commandWParam(TbloButton.controlId, BN_CLICKED),
                                                    gf_commandWParam(SKIP_AIRPORT_SCAN.controlId, BN_CLICKED)}));
    EXPECT_EQ(gf_controlCheck(SKIP_AIRPORT_SCAN.controlId), false);

    // The close button: WM_CLOSE, which asks the run to stop; with none
    // under way the window procedure ends the program.
    Fl::handle(FL_CLOSE, fltk->fltkWindow());
    const auto request = gf_pendingStopRequest();
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(request->reason, 4u) << "USER CLOSED SIM";
    EXPECT_NE(gf_gui().statusLine.find("close window button clicked, closing TAVO ..."), std::string::npos);
    EXPECT_TRUE(gf_has(saves(), "MAIN_WINDOW_X=400"));
    g_exitCode.store(7);
    EXPECT_EQ(gf_runMessageLoop(), 0) << "the loop ends on the quit the close posted, with its code";
}

// The window manager iconises and restores the window (not under a bare
// Xvfb, which has none: its events are given here as FLTK passes them on).
TEST_F(WindowInputTest, ThePlacementFollowsTheWindowManagersIconisingAndRestoring) {
    const WindowHandle window = show();
    Fl_Window* w = fltk->fltkWindow();
    w->handle(FL_HIDE);
    EXPECT_EQ(gf_windowPlacement(window)->show, ShowCommand::Minimized);
    w->handle(FL_SHOW);
    EXPECT_EQ(gf_windowPlacement(window)->show, ShowCommand::Normal);
    gf_showWindow(window, ShowCommand::Minimized);
    EXPECT_EQ(gf_windowPlacement(window)->show, ShowCommand::Minimized) << "as asked";
    w->handle(FL_SHOW);
    EXPECT_EQ(gf_windowPlacement(window)->show, ShowCommand::Normal) << "restored by the user";
}

TEST_F(WindowInputTest, DropDownTextsShowAsTheyStandAndAreSelectedByTheirExactText) {
    COLLAPSED.setValue(false);
    show();
    const ControlId id = AIRCRAFT_SELECTOR.controlId;
    const std::vector<std::string> items{"A/B & _C", "A", "_C", "A/B & _C ", "\\x", "@->"};
    ASSERT_TRUE(gf_setComboItems(id, items));
    settle();
    auto* choice = static_cast<Fl_Choice*>(fltk->fltkControl(id));
    ASSERT_EQ(choice->size(), static_cast<int>(items.size()) + 1) << "one entry each and the end; no submenu";
    const Fl_Menu_Item* menu = choice->menu();
    for (std::size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE(items[i]);
        const Fl_Menu_Item& item = menu[i];
        EXPECT_FALSE(item.submenu());
        EXPECT_EQ(item.flags & FL_MENU_DIVIDER, 0);
        // What the item's label type draws is exactly as wide as the text.
        Fl_Label label{};
        label.value = item.text;
        label.type = item.labeltype_;
        label.font = item.labelfont_;
        label.size = item.labelsize_;
        int w = 0;
        int h = 0;
        label.measure(w, h);
        fl_font(item.labelfont_, item.labelsize_);
        EXPECT_EQ(w, static_cast<int>(fl_width(items[i].c_str())));
        EXPECT_GT(w, 0);
    }
    // The '&' does not make the blank after it the key that picks the item
    // from the open list.
    Fl::e_keysym = ' ';
    Fl::e_text = const_cast<char*>(" ");
    Fl::e_length = 1;
    EXPECT_EQ(menu->find_shortcut(nullptr, false), nullptr);

    EXPECT_FALSE(gf_selectComboText(id, "A/B")) << "selection by the exact text";
    EXPECT_FALSE(gf_selectComboText(id, "A/B &  _C"));
    ASSERT_TRUE(gf_selectComboText(id, "A/B & _C "));
    settle();
    EXPECT_EQ(choice->value(), 3);
    EXPECT_EQ(gf_comboSelectedText(id), "A/B & _C ");
    ASSERT_TRUE(gf_selectComboText(id, "A/B & _C"));
    settle();
    EXPECT_EQ(choice->value(), 0);

    // The user's choice reaches the mirror before the procedure hears of it.
    choice->picked(&menu[4]);
    EXPECT_EQ(gf_comboSelection(id), 4);
    EXPECT_EQ(gf_controlText(id), "\\x");
    EXPECT_EQ(commands, (std::vector<std::uint64_t>{gf_commandWParam(id, CBN_SELCHANGE)}));
}

// --- the labels ---------------------------------------------------------------------

// A rectangle in the client area's pixels that a text must not run into.
struct Obstacle {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool outline = false;  // a text inside it must end before its right edge
    std::string what;
};

TEST_P(ScaledWindowTest, EveryLabelEndsBeforeItsNeighbourAndTheWindowsEdge) {
    COLLAPSED.setValue(false);
    show();
    Gui& gui = gf_gui();
    gf_showWindowScene(gui);
    RecordingPainter recorded;
    lf_paintMainWindow(recorded, gui);

    const int clientW = fltk->fltkWindow()->w();
    const int clientH = fltk->fltkWindow()->h();
    FltkPainter painter(clientW, clientH);
    painter.setLayout(900, 768);
    fl_font(gf_fltkFont(false), painter.textPixels());
    const int lineHeight = fl_height();

    std::vector<Obstacle> obstacles;
    std::vector<std::size_t> texts;
    for (std::size_t i = 0; i < recorded.ops.size(); ++i) {
        const PaintOp& op = recorded.ops[i];
        const LayoutRect& r = op.rect;
        switch (op.kind) {
            case PaintOp::Kind::Text: {
                texts.push_back(i);
                const int top = painter.pixelY(r.top);
                obstacles.push_back({painter.pixelX(r.left), top, clientW, top + lineHeight, false, op.text});
                break;
            }
            case PaintOp::Kind::FillRect:
            case PaintOp::Kind::OutlineRect:
            case PaintOp::Kind::Line: {
                if (op.kind == PaintOp::Kind::Line && r.left != r.right) break;  // only upright lines stand in the way
                const PixelRect p = painter.pixelRect(r);
                const bool outline = op.kind == PaintOp::Kind::OutlineRect;
                obstacles.push_back({p.left, p.top, std::max(p.right, p.left + 1), p.bottom, outline,
                                     fmt::format("{} at {}", outline ? "box" : "shape", r.left)});
                break;
            }
            default:
                break;
        }
    }
    for (ControlId id : gf_controlIds()) {
        const Fl_Widget* w = fltk->fltkControl(id);
        obstacles.push_back(Obstacle{w->x(), w->y(), w->x() + w->w(), w->y() + w->h(), false,
                                     fmt::format("control {:#x}", id)});
    }

    ASSERT_GE(texts.size(), 70u);
    for (std::size_t i : texts) {
        const PaintOp& op = recorded.ops[i];
        const int left = painter.pixelX(op.rect.left);
        const int top = painter.pixelY(op.rect.top);
        int limit = clientW;
        std::string neighbour = "the window's edge";
        for (const Obstacle& o : obstacles) {
            if (o.bottom <= top || o.top >= top + lineHeight) continue;
            int edge = o.left;
            if (o.left <= left) {
                if (!o.outline || o.right <= left) continue;
                edge = o.right - 1;  // inside a box: up to its frame
            }
            if (edge < limit) {
                limit = edge;
                neighbour = o.what;
            }
        }
        const int width = painter.textWidth(op.text, op.bold);
        EXPECT_LE(left + width, limit) << "'" << op.text << "' at " << op.rect.left << "," << op.rect.top + 3
                                       << " is " << width << " px wide and runs into " << neighbour;
    }
    gf_clearWindowScene();
}

// --- the program itself ------------------------------------------------------------

// Waits (bounded) for a child's end; its wait status, or nothing after the
// time-out (the child is then killed).
std::optional<int> waitForExit(pid_t pid, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) return status;
        if (std::chrono::steady_clock::now() > end) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return std::nullopt;
        }
        std::this_thread::sleep_for(5ms);
    }
}

// True once the process blocks SIGTERM: its signal watcher has started.
bool watchesSignals(pid_t pid) {
    std::ifstream status(fmt::format("/proc/{}/status", pid));
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("SigBlk:", 0) == 0) {
            const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
            return (mask & (1ULL << (SIGTERM - 1))) != 0;
        }
    }
    return false;
}

class ProgramProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* program = std::getenv("TAVO_PROGRAM");
        ASSERT_NE(program, nullptr) << "TAVO_PROGRAM names the program under test";
        m_program = program;
        // One such test on this machine at a time: the program takes the
        // user's one lock, which parallel runs of this suite would share.
        m_turn = ::open("/tmp/TAVO-window-test.lock", O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        ASSERT_GE(m_turn, 0);
        ASSERT_EQ(::flock(m_turn, LOCK_EX), 0);
        SingleInstanceLock probe;
        if (probe.acquire() != SingleInstanceLock::Outcome::Held) {
            GTEST_SKIP() << "a copy of TAVO runs on this machine";
        }
    }
    void TearDown() override {
        if (m_turn >= 0) ::close(m_turn);
    }

    // Starts the program in the folder with its settings in appdata/.
    pid_t start(const std::filesystem::path& folder) {
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry(*e);
            if (entry.rfind("TAVO_", 0) == 0) continue;
            env.push_back(entry);
        }
        env.push_back("TAVO_APPDATA_DIR=" + (folder / "appdata").string());
        env.push_back("TAVO_LOCALAPPDATA_DIR=" + (folder / "local").string());
        std::vector<char*> envp;
        for (std::string& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        const std::string out = (folder / "out.txt").string();
        const std::string dir = folder.string();
        const pid_t pid = ::fork();
        if (pid == 0) {
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0 || ::chdir(dir.c_str()) != 0) ::_exit(126);
            ::dup2(fd, 1);
            ::dup2(fd, 2);
            char* argv[] = {m_program.data(), nullptr};
            ::execve(m_program.c_str(), argv, envp.data());
            ::_exit(127);
        }
        return pid;
    }

    std::string m_program;
    int m_turn = -1;
};

TEST_F(ProgramProcessTest, SigtermEndsTheProgramWithExitZeroAndItsPlaceSaved) {
    enum class Wait { ForTheWindow, ForTheSignalWatcher, ForTheLicenceDialog };
    struct Case {
        const char* name;
        Wait wait;
    };
    for (const Case& c : {Case{"while the window is open", Wait::ForTheWindow},
                          Case{"as soon as it watches signals", Wait::ForTheSignalWatcher},
                          Case{"while the licence dialog waits", Wait::ForTheLicenceDialog}}) {
        SCOPED_TRACE(c.name);
        ScopedTempDir folder;
        // Run from an installation folder without settings: the default
        // traffic source, the web API, asks for the licence at once.
        if (c.wait == Wait::ForTheLicenceDialog) std::filesystem::create_directories(folder.path() / "docs");
        const pid_t pid = start(folder.path());
        ASSERT_GT(pid, 0);
        const auto ready = [&] {
            switch (c.wait) {
                case Wait::ForTheWindow:
                    // Log.txt is opened by the first run, which follows the window.
                    return std::filesystem::exists(folder.path() / "Log.txt");
                case Wait::ForTheSignalWatcher:
                    return watchesSignals(pid);
                case Wait::ForTheLicenceDialog:
                    return gf_readScreenWindow(std::string(rtLicenseDialogTitle).c_str(), false).has_value();
            }
            return false;
        };
        const auto until = std::chrono::steady_clock::now() + 20s;
        while (!ready() && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(1ms);
        ASSERT_TRUE(ready()) << readFile(folder.path() / "out.txt");
        ::kill(pid, SIGTERM);
        const auto status = waitForExit(pid, 20s);
        const std::string out = readFile(folder.path() / "out.txt");
        ASSERT_TRUE(status.has_value()) << "the program did not end\n" << out;
        ASSERT_TRUE(WIFEXITED(*status)) << out;
        EXPECT_EQ(WEXITSTATUS(*status), 0) << out;
        EXPECT_NE(out.find("is running in its window."), std::string::npos) << out;
        EXPECT_NE(out.find("TAVO ended with exit code 0."), std::string::npos) << out;
        const std::string saved = readFile(folder.path() / "appdata" / "TAVO" / "parameters.xml");
        EXPECT_NE(saved.find("MAIN_WINDOW_X"), std::string::npos) << saved;
        EXPECT_NE(saved.find("MAIN_WINDOW_Y"), std::string::npos) << saved;
    }
}

}  // namespace
}  // namespace tavo::test
