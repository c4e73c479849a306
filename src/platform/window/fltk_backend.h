#pragma once
// The window layer on a real display, through FLTK 1.3.
//
// The thread that opens the backend is the FLTK thread: it alone touches
// FLTK's widgets, and it must be the thread that creates the main window and
// runs the message loop (the program's GUI thread). Every control operation
// from another thread updates the backend's per-control mirror at once (a
// read right after a write sees it) and reaches the widgets through
// Fl::awake, which wakes the FLTK thread to apply the mirror; a modal dialog
// asked for by another thread runs on the FLTK thread while the caller waits.
// Other threads never take FLTK's lock.
//
// The window manager draws its frame outside the window: the rectangles this
// layer reads and places are those of the client area on the screen, so an
// outer size is the client size. The scale of the layout is one DPI for the
// whole screen: TAVO_DPI when set (48 to 480), else the screen's Xft.dpi
// setting, else 96.

#include <chrono>
#include <memory>
#include <optional>
#include <thread>

#include "platform/window/window.h"

class Fl_Window;
class Fl_Widget;

struct FltkOptions {
    // The DPI of the screen; unset, as the header above says.
    std::optional<unsigned> dpi;
};

class FltkBackend final : public WindowBackend {
public:
    // Opens the display (DISPLAY) on the calling thread, which becomes the
    // FLTK thread. Nothing when no display can be opened.
    static std::shared_ptr<FltkBackend> open(const FltkOptions& options = {});
    ~FltkBackend() override;
    FltkBackend(const FltkBackend&) = delete;
    FltkBackend& operator=(const FltkBackend&) = delete;

    // FLTK thread: destroys the window and its widgets, answers every dialog
    // still waiting with its cancel answer, and closes the display. Afterwards
    // the backend knows no window; calls change nothing and dialogs are
    // cancelled at once.
    void shutdown();
    // Closes FLTK's display after the last backend was shut down (the
    // program's end); a later open opens it again.
    static void closeDisplay();

    // --- WindowBackend ---
    WindowHandle createMainWindow(const MainWindowSpec& setup) override;
    void destroyWindow(WindowHandle window) override;
    int runMessageLoop() override;
    void postQuitMessage(int exitCode) override;
    bool createControl(WindowHandle parent, const ControlSpec& setup) override;
    void updateWindow(WindowHandle window) override;
    bool isWindow(WindowHandle window) override;
    bool postMessage(WindowHandle window, std::uint32_t message, std::uint64_t wParam, std::int64_t lParam) override;
    bool invalidate(WindowHandle window, const std::optional<PixelRect>& clientRect, bool erase) override;
    bool setWindowPos(WindowHandle window, std::optional<std::pair<int, int>> topLeft,
                      std::optional<std::pair<int, int>> size) override;
    std::optional<PixelRect> windowRect(WindowHandle window) override;
    std::optional<PixelRect> clientRect(WindowHandle window) override;
    std::optional<WindowPlacement> windowPlacement(WindowHandle window) override;
    bool showWindow(WindowHandle window, ShowCommand show) override;
    bool setTopmost(WindowHandle window, bool topmost) override;
    bool enableWindow(WindowHandle window, bool enable) override;
    bool isWindowEnabled(WindowHandle window) override;
    void bringToFront(WindowHandle window) override;
    unsigned windowDpi(WindowHandle window) override;
    unsigned systemDpi() override;
    std::pair<int, int> outerSizeForClient(int clientWidth, int clientHeight, unsigned dpi) override;
    PixelRect nearestWorkArea(const PixelRect& screenRect) override;
    bool controlExists(ControlId id) override;
    std::vector<ControlId> controlIds() override;
    bool enableControl(ControlId id, bool enable) override;
    std::optional<bool> isControlEnabled(ControlId id) override;
    bool showControl(ControlId id, bool show) override;
    std::optional<bool> isControlVisible(ControlId id) override;
    bool setControlCheck(ControlId id, bool checked) override;
    std::optional<bool> controlCheck(ControlId id) override;
    bool setControlText(ControlId id, std::string_view text) override;
    std::optional<std::string> controlText(ControlId id) override;
    std::optional<PixelRect> controlBounds(ControlId id) override;
    bool setControlBounds(ControlId id, const PixelRect& bounds) override;
    bool setControlFont(ControlId id, unsigned dpi) override;
    bool setComboItems(ControlId id, const std::vector<std::string>& items) override;
    bool addComboItem(ControlId id, std::string_view item) override;
    std::optional<std::vector<std::string>> comboItems(ControlId id) override;
    bool setComboSelection(ControlId id, int index) override;
    std::optional<int> comboSelection(ControlId id) override;
    MessageBoxResult messageBox(WindowHandle owner, std::string_view text, std::string_view caption,
                                MessageBoxIcon icon, MessageBoxButtons buttons) override;
    std::optional<std::filesystem::path> pickFolder(WindowHandle owner,
                                                     const std::filesystem::path& initialFolder) override;
    std::optional<std::string> entryDialog(WindowHandle owner, const EntryDialogSpec& setup) override;
    void wakeModalDialogs() override;

    // --- FLTK thread: tests and measurements ---
    // Handles FLTK's events, the mirror's changes, waiting dialogs and posted
    // messages (not WM_QUIT) until nothing is left to do or the time is up;
    // the count of posted messages dispatched.
    std::size_t pump(std::chrono::milliseconds limit);
    // The main window's FLTK window, a control's widget; null when none.
    Fl_Window* fltkWindow();
    Fl_Widget* fltkControl(ControlId id);
    // The modal dialog open now (a message box, the entry dialog or the
    // folder picker); null when none is.
    Fl_Window* openDialog();
    // The client area's pixels as drawn on the screen, rows top to bottom.
    std::vector<Rgb> readClientPixels();
    std::thread::id fltkThread() const;

    // The backend's state; its widgets reach it.
    struct Impl;

private:
    explicit FltkBackend(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m;
};
