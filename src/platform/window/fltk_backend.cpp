#include "platform/window/fltk_backend.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "platform/window/fltk_painter.h"
#include "platform/window/fltk_x11.h"
#include "platform/window/headless.h"

// FLTK's drawing header brings Xlib's macros; its None would replace the
// program's own name.
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_draw.H>
#undef None

namespace {

// A drop-down list shows its closed box this high (96 DPI) for the font of
// the controls; the height a control is given is that of its open list.
constexpr int kComboClosedHeight96 = 24;

struct Posted {
    WindowHandle window = WindowHandle::None;
    std::uint32_t message = 0;
    std::uint64_t wParam = 0;
    std::int64_t lParam = 0;
};

// Work another thread hands to the FLTK thread, which marks it done; the
// asking thread waits for that. A call never run (the backend shut down
// first) leaves the asker's cancel answer.
struct FltkCall {
    std::function<void()> run;
    bool done = false;
};

bool lf_onThread(std::thread::id id) { return std::this_thread::get_id() == id; }

unsigned lf_dpiFromEnvironment() {
    const char* value = std::getenv("TAVO_DPI");
    if (value == nullptr || *value == '\0') return 0;
    char* end = nullptr;
    const long dpi = std::strtol(value, &end, 10);
    if (*end != '\0' || dpi < 48 || dpi > 480) return 0;
    return static_cast<unsigned>(dpi);
}

int lf_scaled(int v, unsigned dpi) { return gf_mulDiv(v, static_cast<int>(dpi), 96); }

void lf_useControlFont(Fl_Widget& widget, int pixels) {
    widget.labelfont(gf_fltkFont(false));
    widget.labelsize(pixels);
}

}  // namespace

class FltkMainWindow;

namespace {

// The backend the FLTK thread serves now: FLTK's wake-ups are global, and
// one queued before a backend went must not reach it.
std::atomic<FltkBackend::Impl*> l_awakeTarget{nullptr};

void lf_awake(void*);

}  // namespace

struct FltkBackend::Impl {
    HeadlessBackend mirror;
    std::thread::id fltkThread;
    unsigned dpi = 96;

    std::mutex mutex;
    std::condition_variable callDone;
    std::deque<Posted> queue;
    std::set<ControlId> dirtyControls;
    bool windowDirty = false;
    bool raise = false;
    bool damageAll = false;
    std::vector<PixelRect> damage;
    std::deque<std::shared_ptr<FltkCall>> calls;
    bool shutDown = false;
    std::atomic<bool> wakePending{false};
    std::atomic<WindowHandle> handle{WindowHandle::None};

    // --- FLTK thread only ---
    MainWindowSpec spec;
    std::unique_ptr<FltkMainWindow> window;
    std::map<ControlId, Fl_Widget*> widgets;  // children of the window, which owns them
    std::optional<bool> aboveShown;           // the "above" state asked of the window manager
    std::vector<Fl_Window*> dialogs;          // the modal dialogs open now, innermost last
    bool applying = false;                    // the backend itself is changing the window

    bool onFltkThread() const { return lf_onThread(fltkThread); }
    ControlId idOf(const Fl_Widget* widget) const {
        for (const auto& [id, w] : widgets) {
            if (w == widget) return id;
        }
        return 0;
    }
    bool isShutDown() {
        std::lock_guard lock(mutex);
        return shutDown;
    }

    // Announces work for the FLTK thread: one wake at a time, so a burst of
    // posts costs one and nothing can fill FLTK's wake channel.
    void wake() {
        if (!wakePending.exchange(true)) Fl::awake(&lf_awake, nullptr);
    }

    // A modal window FLTK opened itself, outside our dialogs: the alert of
    // the folder picker for a name that names nothing.
    bool isForeignModal(const Fl_Window* w) const;
    void serveForeignModal();

    std::int64_t send(std::uint32_t message, std::uint64_t wParam, std::int64_t lParam) {
        const WindowHandle w = handle.load();
        if (w == WindowHandle::None) return 0;
        if (!spec.proc) return gf_defaultWindowProc(w, message, wParam, lParam);
        return spec.proc(w, message, wParam, lParam);
    }
    std::int64_t command(ControlId id, std::uint16_t notification) {
        return send(WM_COMMAND, gf_commandWParam(id, notification), 0);
    }

    // A change of a control's mirror: applied to its widget now on the FLTK
    // thread, else on the FLTK thread's next turn.
    bool touchControl(ControlId id, bool changed) {
        if (!changed) return false;
        if (onFltkThread()) {
            applyControl(id);
            return true;
        }
        {
            std::lock_guard lock(mutex);
            if (shutDown) return true;
            dirtyControls.insert(id);
        }
        wake();
        return true;
    }
    bool touchWindow(bool changed, bool raiseIt = false) {
        if (!changed) return false;
        {
            std::lock_guard lock(mutex);
            if (shutDown) return true;
            windowDirty = true;
            raise = raise || raiseIt;
        }
        if (onFltkThread()) {
            applyPending();
        } else {
            wake();
        }
        return true;
    }

    void applyControl(ControlId id);
    void applyWindow(bool raiseIt);
    void applyPending();
    void runCalls();
    std::optional<int> processPending(bool outerLoop, std::size_t& dispatched);
    void runModal(Fl_Window& dialog, WindowHandle owner);
    void runOnFltkThread(const std::function<void()>& work);
    void paintWindow(int width, int height);
    void windowMovedOrSized(int x, int y, int width, int height);
    void userShowed(ShowCommand show);
    Fl_Widget* makeWidget(const ControlSpec& setup);
    MessageBoxResult showMessageBox(WindowHandle owner, const std::string& text, const std::string& caption,
                                    MessageBoxIcon icon, MessageBoxButtons buttons);
    std::optional<std::string> showEntryDialog(WindowHandle owner, const EntryDialogSpec& setup);
    std::optional<std::filesystem::path> showFolderPicker(WindowHandle owner, const std::filesystem::path& initial);
    void centreOnWindow(Fl_Window& dialog);
};

// --- widgets --------------------------------------------------------------------

class FltkMainWindow final : public Fl_Double_Window {
public:
    FltkMainWindow(FltkBackend::Impl& impl, const MainWindowSpec& spec)
        : Fl_Double_Window(spec.x, spec.y, std::max(spec.width, 1), std::max(spec.height, 1)), m_impl(impl) {
        end();
        copy_label(spec.title.c_str());
        color(FL_BLACK);
        callback(&FltkMainWindow::closeRequested, &impl);
    }

    void draw() override {
        // Children alone changed: only they are drawn again; otherwise the
        // whole client area is painted first and they stand on it.
        if (damage() & ~FL_DAMAGE_CHILD) m_impl.paintWindow(w(), h());
        draw_children();
    }

    int handle(int event) override {
        // The window manager iconises and restores the window too; the
        // placement follows.
        if (event == FL_SHOW) m_impl.userShowed(ShowCommand::Normal);
        if (event == FL_HIDE && shown()) m_impl.userShowed(ShowCommand::Minimized);
        if (Fl_Double_Window::handle(event)) return 1;
        if (event == FL_PUSH && Fl::event_button() == FL_LEFT_MOUSE) {
            const std::int64_t lParam = (static_cast<std::int64_t>(Fl::event_y() & 0xFFFF) << 16) |
                                        (static_cast<std::int64_t>(Fl::event_x()) & 0xFFFF);
            m_impl.send(WM_LBUTTONDOWN, 0, lParam);
            return 1;
        }
        return 0;
    }

    void resize(int x, int y, int width, int height) override {
        Fl_Double_Window::resize(x, y, width, height);
        m_impl.windowMovedOrSized(x, y, width, height);
    }

private:
    // The close button reaches the window procedure as WM_CLOSE. FLTK also
    // calls a window's callback for Escape, which closes nothing here.
    static void closeRequested(Fl_Widget*, void* data) {
        if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
        static_cast<FltkBackend::Impl*>(data)->send(WM_CLOSE, 0, 0);
    }

    FltkBackend::Impl& m_impl;
};

namespace {

// A check box that the program paints and toggles itself: a click (or the
// space bar while it has the focus) is only reported.
class OwnerDrawBox final : public Fl_Widget {
public:
    OwnerDrawBox(FltkBackend::Impl& impl, const ControlSpec& setup)
        : Fl_Widget(setup.x, setup.y, setup.width, setup.height), m_impl(impl), m_id(setup.id), m_paint(setup.paint) {}

    void draw() override {
        const auto state = m_impl.mirror.controlState(m_id);
        if (!state) return;
        OwnerDrawState drawState;
        drawState.id = m_id;
        drawState.width = w();
        drawState.height = h();
        drawState.enabled = state->enabled;
        drawState.checked = state->checked;
        drawState.dpi = m_impl.dpi;
        FltkPainter painter(w(), h(), x(), y());
        painter.setLayout(w(), h());
        if (m_paint) {
            m_paint(painter, drawState);
            return;
        }
        // Without a procedure of its own: a white box, ticked when checked.
        painter.fillRect(LayoutRect{0, 0, w(), h()}, Rgb{255, 255, 255});
        painter.outlineRect(LayoutRect{0, 0, w(), h()}, Rgb{96, 96, 96});
        if (drawState.checked) {
            painter.line(w() / 5, h() / 2, 2 * w() / 5, 3 * h() / 4, Rgb{0, 0, 0});
            painter.line(2 * w() / 5, 3 * h() / 4, 4 * w() / 5, h() / 4, Rgb{0, 0, 0});
        }
    }

    int handle(int event) override {
        switch (event) {
            case FL_PUSH:
                if (Fl::visible_focus()) take_focus();
                return 1;
            case FL_RELEASE:
                if (Fl::event_inside(this)) m_impl.command(m_id, BN_CLICKED);
                return 1;
            case FL_FOCUS:
            case FL_UNFOCUS:
                return Fl::visible_focus() ? 1 : 0;
            case FL_KEYBOARD:
                if (Fl::focus() == this && Fl::event_key() == ' ') {
                    m_impl.command(m_id, BN_CLICKED);
                    return 1;
                }
                return 0;
            default:
                return Fl_Widget::handle(event);
        }
    }

private:
    FltkBackend::Impl& m_impl;
    ControlId m_id;
    ControlPaintProc m_paint;
};

// A drop-down list whose items are a plain array of FLTK menu items built
// here, so that no text goes through FLTK's menu-path syntax; the texts are
// kept with it for as long as the array points at them.
class ComboBox final : public Fl_Choice {
public:
    ComboBox(int x, int y, int width, int height) : Fl_Choice(x, y, width, height) {}

    // True when the shown items differ from these.
    bool differs(const std::vector<std::string>& items) const { return items != m_items; }

    void setItems(const std::vector<std::string>& items, int font, int size) {
        m_items = items;
        m_labels.clear();
        m_labels.reserve(items.size());
        for (const std::string& item : items) m_labels.push_back(gf_fltkLiteralLabel(item));
        m_menu.assign(items.size() + 1, Fl_Menu_Item{});
        for (std::size_t i = 0; i < items.size(); ++i) {
            Fl_Menu_Item& m = m_menu[i];
            m.text = m_labels[i].c_str();
            m.labeltype_ = static_cast<uchar>(gf_fltkLiteralLabelType());
            m.labelfont_ = static_cast<Fl_Font>(font);
            m.labelsize_ = static_cast<Fl_Fontsize>(size);
        }
        menu(m_menu.data());
    }
    void setItemFont(int font, int size) {
        for (std::size_t i = 0; i + 1 < m_menu.size(); ++i) {
            m_menu[i].labelfont_ = static_cast<Fl_Font>(font);
            m_menu[i].labelsize_ = static_cast<Fl_Fontsize>(size);
        }
    }

private:
    std::vector<std::string> m_items;
    std::vector<std::string> m_labels;
    std::vector<Fl_Menu_Item> m_menu;
};

}  // namespace

// --- the FLTK side of the mirror --------------------------------------------------

Fl_Widget* FltkBackend::Impl::makeWidget(const ControlSpec& setup) {
    switch (setup.kind) {
        case ControlKind::CheckBox:
            return new OwnerDrawBox(*this, setup);
        case ControlKind::ComboBox: {
            auto* combo = new ComboBox(setup.x, setup.y, setup.width, setup.height);
            combo->callback(
                [](Fl_Widget* widget, void* data) {
                    auto* impl = static_cast<FltkBackend::Impl*>(data);
                    const ControlId id = impl->idOf(widget);
                    impl->mirror.setComboSelection(id, static_cast<ComboBox*>(widget)->value());
                    impl->command(id, CBN_SELCHANGE);
                },
                this);
            return combo;
        }
        case ControlKind::Button: {
            auto* button = new Fl_Button(setup.x, setup.y, setup.width, setup.height);
            button->callback(
                [](Fl_Widget* widget, void* data) {
                    auto* impl = static_cast<FltkBackend::Impl*>(data);
                    impl->command(impl->idOf(widget), BN_CLICKED);
                },
                this);
            return button;
        }
        case ControlKind::Edit: {
            auto* input = new Fl_Input(setup.x, setup.y, setup.width, setup.height);
            if (setup.textLimit > 0) input->maximum_size(static_cast<int>(setup.textLimit));
            if (setup.background) input->color(fl_rgb_color(setup.background->r, setup.background->g, setup.background->b));
            // Every change reaches the mirror; Enter is reported as well.
            input->when(FL_WHEN_CHANGED | FL_WHEN_ENTER_KEY_ALWAYS);
            input->callback(
                [](Fl_Widget* widget, void* data) {
                    auto* impl = static_cast<FltkBackend::Impl*>(data);
                    const ControlId id = impl->idOf(widget);
                    impl->mirror.setControlText(id, static_cast<Fl_Input*>(widget)->value());
                    const bool enter = Fl::event() == FL_KEYBOARD &&
                                       (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter);
                    if (enter) impl->command(id, EN_RETURN);
                },
                this);
            return input;
        }
        case ControlKind::Label:
            return new Fl_Box(setup.x, setup.y, setup.width, setup.height);
    }
    return nullptr;
}

void FltkBackend::Impl::applyControl(ControlId id) {
    const auto found = widgets.find(id);
    if (found == widgets.end()) return;
    const auto state = mirror.controlState(id);
    if (!state) return;
    Fl_Widget& widget = *found->second;
    const ControlKind kind = state->setup.kind;
    const int fontPixels = lf_scaled(kFltkTextPixels96, state->fontDpi.value_or(96));

    int height = state->bounds.height();
    if (kind == ControlKind::ComboBox) height = lf_scaled(kComboClosedHeight96, state->fontDpi.value_or(dpi));
    if (widget.x() != state->bounds.left || widget.y() != state->bounds.top || widget.w() != state->bounds.width() ||
        widget.h() != height) {
        widget.resize(state->bounds.left, state->bounds.top, state->bounds.width(), height);
        if (window) window->redraw();
    }
    if (state->enabled && !widget.active()) widget.activate();
    if (!state->enabled && widget.active()) widget.deactivate();
    if (state->visible && !widget.visible()) widget.show();
    if (!state->visible && widget.visible()) widget.hide();

    switch (kind) {
        case ControlKind::CheckBox:
            break;
        case ControlKind::ComboBox: {
            auto& combo = static_cast<ComboBox&>(widget);
            combo.textfont(gf_fltkFont(false));
            combo.textsize(fontPixels);
            if (combo.differs(state->items)) {
                combo.setItems(state->items, gf_fltkFont(false), fontPixels);
            } else {
                combo.setItemFont(gf_fltkFont(false), fontPixels);
            }
            if (combo.value() != state->selection) combo.value(state->selection);
            break;
        }
        case ControlKind::Edit: {
            auto& input = static_cast<Fl_Input&>(widget);
            input.textfont(gf_fltkFont(false));
            input.textsize(fontPixels);
            if (state->text != input.value()) input.value(state->text.c_str());
            break;
        }
        case ControlKind::Button:
        case ControlKind::Label: {
            const std::string label = gf_fltkLiteralLabel(state->text);
            if (widget.label() == nullptr || label != widget.label()) widget.copy_label(label.c_str());
            widget.labeltype(static_cast<Fl_Labeltype>(gf_fltkLiteralLabelType()));
            if (kind == ControlKind::Label) widget.align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
            lf_useControlFont(widget, fontPixels);
            break;
        }
    }
    widget.redraw();
}

void FltkBackend::Impl::applyWindow(bool raiseIt) {
    const WindowHandle w = handle.load();
    if (!window || w == WindowHandle::None) return;
    const auto rect = mirror.windowRect(w);
    const auto placement = mirror.windowPlacement(w);
    if (!rect || !placement) return;
    applying = true;
    if (window->x() != rect->left || window->y() != rect->top || window->w() != rect->width() ||
        window->h() != rect->height()) {
        window->resize(rect->left, rect->top, std::max(rect->width(), 1), std::max(rect->height(), 1));
    }
    switch (placement->show) {
        case ShowCommand::Hide:
            if (window->shown()) window->hide();
            break;
        case ShowCommand::Normal:
        case ShowCommand::Maximized:
            if (!window->shown() || !window->visible() || raiseIt) window->show();
            break;
        case ShowCommand::Minimized:
            if (window->visible()) window->iconize();
            break;
    }
    applying = false;
    const bool above = mirror.isTopmost(w);
    if (window->shown() && aboveShown != above) {
        gf_fltkSetAbove(window.get(), above);
        aboveShown = above;
    }
}

void FltkBackend::Impl::applyPending() {
    std::set<ControlId> ids;
    bool windowChanged = false;
    bool raiseIt = false;
    bool all = false;
    std::vector<PixelRect> rects;
    {
        std::lock_guard lock(mutex);
        ids.swap(dirtyControls);
        windowChanged = std::exchange(windowDirty, false);
        raiseIt = std::exchange(raise, false);
        all = std::exchange(damageAll, false);
        rects.swap(damage);
    }
    for (ControlId id : ids) applyControl(id);
    if (windowChanged) applyWindow(raiseIt);
    if (!window) return;
    if (all) {
        window->redraw();
        return;
    }
    for (const PixelRect& r : rects) window->damage(FL_DAMAGE_ALL, r.left, r.top, r.width(), r.height());
}

void FltkBackend::Impl::runCalls() {
    for (;;) {
        std::shared_ptr<FltkCall> call;
        {
            std::lock_guard lock(mutex);
            if (calls.empty()) return;
            call = calls.front();
            calls.pop_front();
        }
        call->run();
        {
            std::lock_guard lock(mutex);
            call->done = true;
        }
        callDone.notify_all();
    }
}

std::optional<int> FltkBackend::Impl::processPending(bool outerLoop, std::size_t& dispatched) {
    wakePending.store(false);
    applyPending();
    runCalls();
    for (;;) {
        Posted next;
        {
            std::lock_guard lock(mutex);
            if (queue.empty()) break;
            next = queue.front();
            if (next.message == WM_QUIT) {
                // A quit ends the program's own loop only; a dialog's loop
                // leaves it waiting there.
                if (!outerLoop) break;
                queue.pop_front();
                return static_cast<int>(next.wParam);
            }
            queue.pop_front();
        }
        if (next.window == handle.load()) {
            send(next.message, next.wParam, next.lParam);
            ++dispatched;
        }
        applyPending();
    }
    return std::nullopt;
}

void FltkBackend::Impl::runOnFltkThread(const std::function<void()>& work) {
    if (onFltkThread()) {
        if (!isShutDown()) work();
        return;
    }
    auto call = std::make_shared<FltkCall>();
    call->run = work;
    {
        std::lock_guard lock(mutex);
        if (shutDown) return;
        calls.push_back(call);
    }
    wake();
    std::unique_lock lock(mutex);
    callDone.wait(lock, [&] { return call->done; });
}

bool FltkBackend::Impl::isForeignModal(const Fl_Window* w) const {
    return w != nullptr && w != window.get() && std::find(dialogs.begin(), dialogs.end(), w) == dialogs.end();
}

// Our loops take the posted work after each wait. FLTK's own modal windows
// wait in a loop of their own, where it would wait until the user answered:
// there the wake-up takes it, and a program that is stopping closes such a
// window as it closes ours.
void FltkBackend::Impl::serveForeignModal() {
    if (!isForeignModal(Fl::modal())) return;
    std::size_t dispatched = 0;
    processPending(false, dispatched);
    while (isShutDown() || gf_modalDialogsRefused()) {
        Fl_Window* open = Fl::modal();
        if (!isForeignModal(open)) break;
        // Its own close first (the answer "closed"): a loop that waits for an
        // answer rather than for the window to go ends on it.
        open->do_callback();
        if (open->shown()) open->hide();
        if (Fl::modal() == open) break;
    }
}

namespace {

void lf_awake(void*) {
    FltkBackend::Impl* impl = l_awakeTarget.load();
    if (impl != nullptr && impl->onFltkThread()) impl->serveForeignModal();
}

}  // namespace

void FltkBackend::Impl::runModal(Fl_Window& dialog, WindowHandle owner) {
    // The owner takes no input while the dialog is open, and afterwards what
    // it took before.
    const bool hadOwner = mirror.isWindow(owner);
    const bool ownerEnabled = hadOwner && mirror.isWindowEnabled(owner);
    if (hadOwner) mirror.enableWindow(owner, false);
    centreOnWindow(dialog);
    dialog.set_modal();
    dialog.show();
    dialogs.push_back(&dialog);
    std::size_t dispatched = 0;
    // Posted messages are dispatched meanwhile, as the window goes on
    // showing what the program does; a close of the window among them makes
    // the program stop, which ends the dialog without an answer.
    while (dialog.shown() && !isShutDown() && !gf_modalDialogsRefused()) {
        Fl::wait();
        processPending(false, dispatched);
    }
    dialogs.pop_back();
    dialog.hide();
    if (hadOwner) mirror.enableWindow(owner, ownerEnabled);
}

void FltkBackend::Impl::centreOnWindow(Fl_Window& dialog) {
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
    if (window && window->shown()) {
        x = window->x();
        y = window->y();
        w = window->w();
        h = window->h();
    } else {
        Fl::screen_work_area(x, y, w, h, 0);
    }
    dialog.position(x + (w - dialog.w()) / 2, y + (h - dialog.h()) / 2);
}

void FltkBackend::Impl::paintWindow(int width, int height) {
    FltkPainter painter(width, height);
    if (spec.paint) {
        spec.paint(handle.load(), painter);
        return;
    }
    painter.fillRect(LayoutRect{0, 0, width, height}, Rgb{0, 0, 0});
}

void FltkBackend::Impl::windowMovedOrSized(int x, int y, int width, int height) {
    const WindowHandle w = handle.load();
    if (w == WindowHandle::None) return;
    mirror.setWindowPos(w, std::pair{x, y}, std::pair{width, height});
}

void FltkBackend::Impl::userShowed(ShowCommand show) {
    // What the backend does itself is in the placement already.
    const WindowHandle w = handle.load();
    if (applying || w == WindowHandle::None) return;
    const auto placement = mirror.windowPlacement(w);
    if (placement && placement->show != show && placement->show != ShowCommand::Hide) mirror.showWindow(w, show);
}

// --- dialogs -----------------------------------------------------------------------

namespace {

struct DialogAnswer {
    Fl_Window* dialog = nullptr;
    std::vector<Fl_Widget*> buttons;  // by answer index
    int chosen = -1;                  // the index of the button pressed, -1 for closed
};

void lf_answer(Fl_Widget* button, void* data) {
    auto* answer = static_cast<DialogAnswer*>(data);
    const auto it = std::find(answer->buttons.begin(), answer->buttons.end(), button);
    answer->chosen = it == answer->buttons.end() ? -1 : static_cast<int>(it - answer->buttons.begin());
    answer->dialog->hide();
}

// Escape and the close button close a dialog without an answer.
void lf_closeDialog(Fl_Widget*, void* data) {
    auto* answer = static_cast<DialogAnswer*>(data);
    answer->chosen = -1;
    answer->dialog->hide();
}

Fl_Box* lf_textBox(int x, int y, int w, int h, const std::string& text, int fontPixels) {
    auto* box = new Fl_Box(x, y, w, h);
    box->copy_label(gf_fltkLiteralLabel(text).c_str());
    box->labeltype(static_cast<Fl_Labeltype>(gf_fltkWrappedLabelType()));
    lf_useControlFont(*box, fontPixels);
    box->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    return box;
}

const char* lf_iconText(MessageBoxIcon icon) {
    switch (icon) {
        case MessageBoxIcon::Information:
            return "i";
        case MessageBoxIcon::Warning:
        case MessageBoxIcon::Exclamation:
            return "!";
        case MessageBoxIcon::Error:
            return "X";
        case MessageBoxIcon::None:
            break;
    }
    return nullptr;
}

}  // namespace

MessageBoxResult FltkBackend::Impl::showMessageBox(WindowHandle owner, const std::string& text,
                                                   const std::string& caption, MessageBoxIcon icon,
                                                   MessageBoxButtons buttons) {
    struct Choice {
        const char* label;
        MessageBoxResult result;
    };
    std::vector<Choice> choices;
    switch (buttons) {
        case MessageBoxButtons::Ok:
            choices = {{"OK", MessageBoxResult::Ok}};
            break;
        case MessageBoxButtons::OkCancel:
            choices = {{"OK", MessageBoxResult::Ok}, {"Cancel", MessageBoxResult::Cancel}};
            break;
        case MessageBoxButtons::YesNo:
            choices = {{"Yes", MessageBoxResult::Yes}, {"No", MessageBoxResult::No}};
            break;
    }
    const int font = lf_scaled(kFltkTextPixels96, dpi);
    const int margin = lf_scaled(12, dpi);
    const int iconSize = lf_iconText(icon) != nullptr ? lf_scaled(32, dpi) : 0;
    const int textWidth = lf_scaled(360, dpi);
    const int textHeight = std::max(gf_fltkWrappedTextHeight(text, textWidth, font), iconSize);
    const int buttonW = lf_scaled(80, dpi);
    const int buttonH = lf_scaled(26, dpi);
    const int width = margin * 3 + iconSize + textWidth;
    const int height = margin * 3 + textHeight + buttonH;

    DialogAnswer answer;
    Fl_Double_Window dialog(width, height);
    answer.dialog = &dialog;
    dialog.copy_label(caption.c_str());
    dialog.callback(lf_closeDialog, &answer);
    if (const char* iconText = lf_iconText(icon)) {
        auto* box = new Fl_Box(FL_OVAL_BOX, margin, margin, iconSize, iconSize, iconText);
        box->labelfont(gf_fltkFont(true));
        box->labelsize(lf_scaled(20, dpi));
        box->color(icon == MessageBoxIcon::Error ? FL_RED : (icon == MessageBoxIcon::Information ? FL_BLUE : FL_YELLOW));
        box->labelcolor(icon == MessageBoxIcon::Warning || icon == MessageBoxIcon::Exclamation ? FL_BLACK : FL_WHITE);
    }
    lf_textBox(margin * 2 + iconSize, margin, textWidth, textHeight, text, font);
    answer.buttons.assign(choices.size(), nullptr);
    int x = width - margin - buttonW;
    for (std::size_t i = choices.size(); i-- > 0;) {
        Fl_Button* button = i == 0 ? new Fl_Return_Button(x, height - margin - buttonH, buttonW, buttonH)
                                   : new Fl_Button(x, height - margin - buttonH, buttonW, buttonH);
        button->label(choices[i].label);
        lf_useControlFont(*button, font);
        button->callback(lf_answer, &answer);
        answer.buttons[i] = button;
        x -= buttonW + margin / 2;
    }
    dialog.end();
    runModal(dialog, owner);
    if (answer.chosen < 0 || static_cast<std::size_t>(answer.chosen) >= choices.size()) return gf_cancelAnswer(buttons);
    return choices[static_cast<std::size_t>(answer.chosen)].result;
}

std::optional<std::string> FltkBackend::Impl::showEntryDialog(WindowHandle owner, const EntryDialogSpec& setup) {
    const int font = lf_scaled(kFltkTextPixels96, dpi);
    const int width = lf_scaled(setup.width, dpi);
    const int height = lf_scaled(setup.height, dpi);
    const int margin = lf_scaled(12, dpi);
    const int buttonW = lf_scaled(80, dpi);
    const int rowH = lf_scaled(26, dpi);

    DialogAnswer answer;
    Fl_Double_Window dialog(width, height);
    answer.dialog = &dialog;
    dialog.copy_label(setup.title.c_str());
    dialog.callback(lf_closeDialog, &answer);
    lf_textBox(margin, margin, width - 2 * margin, rowH, setup.label, font);
    auto* input = new Fl_Input(margin, margin + rowH + margin / 2, width - 2 * margin, rowH);
    if (setup.textLimit > 0) input->maximum_size(static_cast<int>(setup.textLimit));
    input->textfont(gf_fltkFont(false));
    input->textsize(font);
    auto* ok = new Fl_Return_Button(width - 2 * (buttonW + margin), height - margin - rowH, buttonW, rowH, "OK");
    auto* cancel = new Fl_Button(width - buttonW - margin, height - margin - rowH, buttonW, rowH, "Cancel");
    answer.buttons = {ok, cancel};
    for (Fl_Widget* button : answer.buttons) {
        lf_useControlFont(*button, font);
        button->callback(lf_answer, &answer);
    }
    dialog.end();
    input->take_focus();
    runModal(dialog, owner);
    if (answer.chosen != 0) return std::nullopt;
    // The field takes at most its limit of characters; OK on an empty field
    // is no answer.
    std::string text = gf_limitCharacters(input->value(), setup.textLimit);
    if (text.empty()) return std::nullopt;
    return text;
}

std::optional<std::filesystem::path> FltkBackend::Impl::showFolderPicker(WindowHandle owner,
                                                                        const std::filesystem::path& initial) {
    // FLTK's own picker, run in the loop of the other dialogs (FLTK's ready-
    // made one waits in a loop of its own, where posted messages and a close
    // of the window would wait until the user answered).
    const std::string start = initial.empty() ? std::string(".") : initial.string();
    Fl_File_Chooser chooser(start.c_str(), "*", Fl_File_Chooser::DIRECTORY, "Select the folder");
    chooser.show();
    Fl_Window* dialog = nullptr;
    for (Fl_Window* w = Fl::first_window(); w != nullptr && dialog == nullptr; w = Fl::next_window(w)) {
        if (w->user_data() == &chooser) dialog = w;
    }
    if (dialog == nullptr) return std::nullopt;
    runModal(*dialog, owner);
    if (isShutDown() || gf_modalDialogsRefused()) return std::nullopt;
    const char* chosen = chooser.value();
    if (chosen == nullptr || *chosen == '\0') return std::nullopt;
    return std::filesystem::path(chosen);
}

// --- FltkBackend -----------------------------------------------------------------

FltkBackend::FltkBackend(std::unique_ptr<Impl> impl) : m(std::move(impl)) {}

std::shared_ptr<FltkBackend> FltkBackend::open(const FltkOptions& options) {
    if (!gf_fltkOpenDisplay()) return nullptr;
    // FLTK's thread support: the FLTK thread holds FLTK's lock from here on
    // and gives it up only while FLTK waits; the first lock also opens the
    // channel Fl::awake writes to.
    static const bool locked = [] {
        Fl::lock();
        return true;
    }();
    (void)locked;
    gf_fltkRegisterFonts();
    Fl::visual(FL_RGB);
    auto impl = std::make_unique<Impl>();
    impl->fltkThread = std::this_thread::get_id();
    unsigned dpi = options.dpi.value_or(0);
    if (dpi == 0) dpi = lf_dpiFromEnvironment();
    if (dpi == 0) dpi = gf_fltkScreenDpiSetting().value_or(96);
    impl->dpi = dpi;
    impl->mirror.setRecording(false);
    impl->mirror.setSystemDpi(dpi);
    std::vector<PixelRect> areas;
    for (int n = 0; n < Fl::screen_count(); ++n) {
        int x = 0, y = 0, w = 0, h = 0;
        Fl::screen_work_area(x, y, w, h, n);
        areas.push_back(PixelRect{x, y, x + w, y + h});
    }
    impl->mirror.setWorkAreas(std::move(areas));
    l_awakeTarget.store(impl.get());
    return std::shared_ptr<FltkBackend>(new FltkBackend(std::move(impl)));
}

FltkBackend::~FltkBackend() {
    FltkBackend::Impl* self = m.get();
    l_awakeTarget.compare_exchange_strong(self, nullptr);
    // Widgets are FLTK's and may be deleted on its thread only; elsewhere
    // they are left to the process's end.
    if (m->onFltkThread()) {
        shutdown();
    } else {
        (void)m->window.release();
    }
}

void FltkBackend::shutdown() {
    if (!m->onFltkThread()) return;
    std::deque<std::shared_ptr<FltkCall>> calls;
    {
        std::lock_guard lock(m->mutex);
        if (m->shutDown) return;
        m->shutDown = true;
        calls.swap(m->calls);
        m->queue.clear();
        m->dirtyControls.clear();
    }
    {
        // Every waiting asker gets its cancel answer.
        std::lock_guard lock(m->mutex);
        for (const auto& call : calls) call->done = true;
    }
    m->callDone.notify_all();
    const WindowHandle w = m->handle.exchange(WindowHandle::None);
    if (w != WindowHandle::None) m->mirror.destroyWindow(w);
    m->widgets.clear();
    m->window.reset();
    Fl::flush();
    gf_fltkSync();
}

void FltkBackend::closeDisplay() { gf_fltkCloseDisplay(); }

WindowHandle FltkBackend::createMainWindow(const MainWindowSpec& setup) {
    if (!m->onFltkThread() || m->window || m->isShutDown()) return WindowHandle::None;
    MainWindowSpec mirrored = setup;
    mirrored.proc = nullptr;
    mirrored.paint = nullptr;
    const WindowHandle w = m->mirror.createMainWindow(mirrored);
    if (w == WindowHandle::None) return WindowHandle::None;
    m->spec = setup;
    m->window = std::make_unique<FltkMainWindow>(*m, setup);
    m->aboveShown.reset();
    m->handle.store(w);
    // WM_CREATE reaches the procedure before this returns: it keeps the
    // handle and creates the controls.
    m->send(WM_CREATE, 0, 0);
    return w;
}

void FltkBackend::destroyWindow(WindowHandle window) {
    if (!m->onFltkThread() || window == WindowHandle::None || window != m->handle.load()) return;
    m->send(WM_DESTROY, 0, 0);
    m->handle.store(WindowHandle::None);
    m->mirror.destroyWindow(window);
    m->widgets.clear();
    // The window may be destroyed from one of its own callbacks (the close
    // button's): FLTK deletes it once that has returned.
    Fl::delete_widget(m->window.release());
    std::lock_guard lock(m->mutex);
    std::erase_if(m->queue, [window](const Posted& p) { return p.window == window; });
    m->dirtyControls.clear();
    m->windowDirty = false;
    m->damage.clear();
    m->damageAll = false;
}

int FltkBackend::runMessageLoop() {
    std::size_t dispatched = 0;
    for (;;) {
        if (const auto code = m->processPending(true, dispatched)) return *code;
        if (m->isShutDown()) return 0;
        Fl::wait(1e20);
    }
}

void FltkBackend::postQuitMessage(int exitCode) {
    {
        std::lock_guard lock(m->mutex);
        m->queue.push_back(Posted{WindowHandle::None, WM_QUIT, static_cast<std::uint64_t>(exitCode), 0});
    }
    m->wake();
}

bool FltkBackend::createControl(WindowHandle parent, const ControlSpec& setup) {
    if (!m->onFltkThread() || !m->window || parent != m->handle.load()) return false;
    ControlSpec mirrored = setup;
    mirrored.paint = nullptr;
    if (!m->mirror.createControl(parent, mirrored)) return false;
    Fl_Widget* widget = m->makeWidget(setup);
    m->window->add(widget);
    m->widgets[setup.id] = widget;
    m->applyControl(setup.id);
    return true;
}

void FltkBackend::updateWindow(WindowHandle window) {
    if (!m->onFltkThread() || window != m->handle.load()) return;
    m->applyPending();
    Fl::flush();
}

bool FltkBackend::isWindow(WindowHandle window) { return m->mirror.isWindow(window); }

bool FltkBackend::postMessage(WindowHandle window, std::uint32_t message, std::uint64_t wParam, std::int64_t lParam) {
    {
        std::lock_guard lock(m->mutex);
        if (m->shutDown || window == WindowHandle::None || window != m->handle.load()) return false;
        m->queue.push_back(Posted{window, message, wParam, lParam});
    }
    m->wake();
    return true;
}

bool FltkBackend::invalidate(WindowHandle window, const std::optional<PixelRect>& clientRect, bool) {
    if (!m->mirror.isWindow(window)) return false;
    if (clientRect && clientRect->empty()) return true;
    {
        std::lock_guard lock(m->mutex);
        if (m->shutDown) return true;
        if (clientRect) {
            m->damage.push_back(*clientRect);
        } else {
            m->damageAll = true;
        }
    }
    if (m->onFltkThread()) {
        m->applyPending();
    } else {
        m->wake();
    }
    return true;
}

bool FltkBackend::setWindowPos(WindowHandle window, std::optional<std::pair<int, int>> topLeft,
                               std::optional<std::pair<int, int>> size) {
    return m->touchWindow(m->mirror.setWindowPos(window, topLeft, size));
}

std::optional<PixelRect> FltkBackend::windowRect(WindowHandle window) { return m->mirror.windowRect(window); }

std::optional<PixelRect> FltkBackend::clientRect(WindowHandle window) {
    const auto rect = m->mirror.windowRect(window);
    if (!rect) return std::nullopt;
    return PixelRect{0, 0, rect->width(), rect->height()};
}

std::optional<WindowPlacement> FltkBackend::windowPlacement(WindowHandle window) {
    return m->mirror.windowPlacement(window);
}

bool FltkBackend::showWindow(WindowHandle window, ShowCommand show) {
    // The window has no maximise box; asked to, it shows normally.
    return m->touchWindow(m->mirror.showWindow(window, show == ShowCommand::Maximized ? ShowCommand::Normal : show));
}

bool FltkBackend::setTopmost(WindowHandle window, bool topmost) {
    return m->touchWindow(m->mirror.setTopmost(window, topmost));
}

bool FltkBackend::enableWindow(WindowHandle window, bool enable) { return m->mirror.enableWindow(window, enable); }
bool FltkBackend::isWindowEnabled(WindowHandle window) { return m->mirror.isWindowEnabled(window); }

void FltkBackend::bringToFront(WindowHandle window) { m->touchWindow(m->mirror.isWindow(window), true); }

unsigned FltkBackend::windowDpi(WindowHandle) { return m->dpi; }
unsigned FltkBackend::systemDpi() { return m->dpi; }

std::pair<int, int> FltkBackend::outerSizeForClient(int clientWidth, int clientHeight, unsigned) {
    return {clientWidth, clientHeight};
}

PixelRect FltkBackend::nearestWorkArea(const PixelRect& screenRect) { return m->mirror.nearestWorkArea(screenRect); }

bool FltkBackend::controlExists(ControlId id) { return m->mirror.controlExists(id); }
std::vector<ControlId> FltkBackend::controlIds() { return m->mirror.controlIds(); }
bool FltkBackend::enableControl(ControlId id, bool enable) {
    return m->touchControl(id, m->mirror.enableControl(id, enable));
}
std::optional<bool> FltkBackend::isControlEnabled(ControlId id) { return m->mirror.isControlEnabled(id); }
bool FltkBackend::showControl(ControlId id, bool show) { return m->touchControl(id, m->mirror.showControl(id, show)); }
std::optional<bool> FltkBackend::isControlVisible(ControlId id) { return m->mirror.isControlVisible(id); }
bool FltkBackend::setControlCheck(ControlId id, bool checked) {
    return m->touchControl(id, m->mirror.setControlCheck(id, checked));
}
std::optional<bool> FltkBackend::controlCheck(ControlId id) { return m->mirror.controlCheck(id); }
bool FltkBackend::setControlText(ControlId id, std::string_view text) {
    return m->touchControl(id, m->mirror.setControlText(id, text));
}
std::optional<std::string> FltkBackend::controlText(ControlId id) { return m->mirror.controlText(id); }
std::optional<PixelRect> FltkBackend::controlBounds(ControlId id) { return m->mirror.controlBounds(id); }
bool FltkBackend::setControlBounds(ControlId id, const PixelRect& bounds) {
    return m->touchControl(id, m->mirror.setControlBounds(id, bounds));
}
bool FltkBackend::setControlFont(ControlId id, unsigned dpi) {
    return m->touchControl(id, m->mirror.setControlFont(id, dpi));
}
bool FltkBackend::setComboItems(ControlId id, const std::vector<std::string>& items) {
    return m->touchControl(id, m->mirror.setComboItems(id, items));
}
bool FltkBackend::addComboItem(ControlId id, std::string_view item) {
    return m->touchControl(id, m->mirror.addComboItem(id, item));
}
std::optional<std::vector<std::string>> FltkBackend::comboItems(ControlId id) { return m->mirror.comboItems(id); }
bool FltkBackend::setComboSelection(ControlId id, int index) {
    return m->touchControl(id, m->mirror.setComboSelection(id, index));
}
std::optional<int> FltkBackend::comboSelection(ControlId id) { return m->mirror.comboSelection(id); }

MessageBoxResult FltkBackend::messageBox(WindowHandle owner, std::string_view text, std::string_view caption,
                                         MessageBoxIcon icon, MessageBoxButtons buttons) {
    MessageBoxResult answer = gf_cancelAnswer(buttons);
    const std::string textCopy(text);
    const std::string captionCopy(caption);
    m->runOnFltkThread([&] { answer = m->showMessageBox(owner, textCopy, captionCopy, icon, buttons); });
    return answer;
}

std::optional<std::filesystem::path> FltkBackend::pickFolder(WindowHandle owner,
                                                             const std::filesystem::path& initialFolder) {
    std::optional<std::filesystem::path> answer;
    m->runOnFltkThread([&] { answer = m->showFolderPicker(owner, initialFolder); });
    return answer;
}

void FltkBackend::wakeModalDialogs() { m->wake(); }

std::optional<std::string> FltkBackend::entryDialog(WindowHandle owner, const EntryDialogSpec& setup) {
    std::optional<std::string> answer;
    m->runOnFltkThread([&] { answer = m->showEntryDialog(owner, setup); });
    return answer;
}

std::size_t FltkBackend::pump(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    std::size_t dispatched = 0;
    for (;;) {
        m->processPending(false, dispatched);
        Fl::flush();
        gf_fltkSync();
        Fl::check();
        bool idle = false;
        {
            std::lock_guard lock(m->mutex);
            idle = m->queue.empty() || m->queue.front().message == WM_QUIT;
            idle = idle && m->calls.empty() && m->dirtyControls.empty() && !m->windowDirty;
        }
        if ((idle && !Fl::ready() && !Fl::damage()) || std::chrono::steady_clock::now() >= end) break;
    }
    return dispatched;
}

Fl_Window* FltkBackend::fltkWindow() { return m->window.get(); }

Fl_Widget* FltkBackend::fltkControl(ControlId id) {
    const auto it = m->widgets.find(id);
    return it == m->widgets.end() ? nullptr : it->second;
}

Fl_Window* FltkBackend::openDialog() { return m->dialogs.empty() ? nullptr : m->dialogs.back(); }

std::vector<Rgb> FltkBackend::readClientPixels() {
    if (!m->window || !m->window->shown()) return {};
    Fl::flush();
    gf_fltkSync();
    m->window->make_current();
    return gf_fltkReadPixels(0, 0, m->window->w(), m->window->h());
}

std::thread::id FltkBackend::fltkThread() const { return m->fltkThread; }
