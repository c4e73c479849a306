#pragma once
// The headless window backend: the whole window layer without a display.
// Controls live in a mirror keyed by id, posted messages wait in a queue that
// the GUI thread (or a test) pumps, painting is recorded as operations in
// layout units, and message boxes, the folder picker and the entry dialog are
// answered from scripts. Used by the tests and by the program when there is
// no display. Every member is safe to call from any thread; callbacks (the
// window procedure and painting) run without the backend's lock held.

#include <condition_variable>
#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "platform/window/window.h"

// One recorded drawing operation, in layout units.
struct PaintOp {
    enum class Kind : std::uint8_t { SetLayout, FillRect, OutlineRect, Line, Text, LineWidth };
    Kind kind = Kind::FillRect;
    // FillRect/OutlineRect; Line: (x1, y1, x2, y2); SetLayout: (0, 0, w, h);
    // LineWidth: (width, 0, 0, 0)
    LayoutRect rect;
    Rgb colour;
    std::string text;  // Text, drawn with its top-left at (rect.left, rect.top)
    bool bold = false;
    bool operator==(const PaintOp&) const = default;
};

// A painter that records what it is asked to draw.
class RecordingPainter : public Painter {
public:
    void setLayout(int layoutWidth, int layoutHeight) override;
    void setLineWidth(int pixels) override;
    void fillRect(const LayoutRect& rect, Rgb colour) override;
    void outlineRect(const LayoutRect& rect, Rgb colour) override;
    void line(int x1, int y1, int x2, int y2, Rgb colour) override;
    void text(int x, int y, std::string_view utf8, Rgb colour, bool bold) override;

    std::vector<PaintOp> ops;
};

struct InvalidateRecord {
    WindowHandle window = WindowHandle::None;
    std::optional<PixelRect> rect;  // nullopt: the whole client area
    bool erase = false;
};

struct MessageBoxRecord {
    WindowHandle owner = WindowHandle::None;
    std::string text;
    std::string caption;
    MessageBoxIcon icon = MessageBoxIcon::None;
    MessageBoxButtons buttons = MessageBoxButtons::Ok;
    bool ownerWasDisabled = false;  // the owner was disabled while the box was open
};

struct EntryDialogRecord {
    WindowHandle owner = WindowHandle::None;
    EntryDialogSpec setup;
    bool ownerWasDisabled = false;
};

struct ControlState {
    ControlSpec setup;
    bool enabled = true;
    bool visible = true;
    bool checked = false;
    std::string text;
    PixelRect bounds;
    std::vector<std::string> items;
    int selection = -1;
    std::optional<unsigned> fontDpi;  // the font set last; the setup's until then
};

class HeadlessBackend : public WindowBackend {
public:
    HeadlessBackend();
    ~HeadlessBackend() override;

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

    // --- driving the window (the GUI thread, or a test standing in for it) ---
    // Dispatches the queued messages, oldest first, and paints when something
    // is invalid; returns how many messages were dispatched. Messages posted
    // while pumping are dispatched too. Stops after WM_QUIT (then quitCode()).
    std::size_t pump();
    // Waits up to the time-out for a message, then pumps. The count dispatched.
    std::size_t waitAndPump(std::chrono::milliseconds timeout);
    // Sends a message to the window procedure now (as a user action would).
    std::int64_t send(WindowHandle window, std::uint32_t message, std::uint64_t wParam = 0, std::int64_t lParam = 0);
    // A user click on a control: WM_COMMAND with BN_CLICKED (check boxes are
    // not toggled here; their handler does it, as the program does).
    std::int64_t clickControl(ControlId id);
    // A user choice in a combo box: selects the index, then WM_COMMAND with
    // CBN_SELCHANGE.
    std::int64_t chooseComboItem(ControlId id, int index);
    // Paints the window now into a new recorded frame.
    void paintNow(WindowHandle window);

    std::optional<int> quitCode();
    std::size_t pendingMessages();
    // The messages posted so far (also those already dispatched), oldest first.
    std::vector<std::uint32_t> postedMessages();
    std::vector<InvalidateRecord> invalidations();
    std::vector<std::vector<PaintOp>> paintedFrames();
    // The paints of an owner-drawn control so far, oldest first, each in the
    // control's own pixels.
    std::vector<std::vector<PaintOp>> controlPaints(ControlId id);
    // A copy of a control's mirror; nothing for an id that is no control.
    std::optional<ControlState> controlState(ControlId id);
    void clearRecords();

    // --- scripts and knobs ---
    // While off, nothing is kept of posted messages, invalidations, paints
    // and dialogs (the records above stay empty), so a backend that runs for
    // the program's whole life does not grow. On by default.
    void setRecording(bool on);
    // Posts fail (return false) while set, as a full or closed queue would.
    void setPostFailure(bool fail);
    void setSystemDpi(unsigned dpi);
    void setWindowDpi(WindowHandle window, unsigned dpi);
    // The monitors' work areas in screen pixels; the nearest one answers
    // nearestWorkArea. Default: one of (0, 0, 1920, 1040).
    void setWorkAreas(std::vector<PixelRect> workAreas);
    void setCreateFailure(bool windowFails, std::vector<ControlId> failingControls = {});
    void scriptMessageBoxAnswer(MessageBoxResult answer);  // default answer: Ok
    void scriptFolderAnswer(std::optional<std::filesystem::path> folder);  // default: cancelled
    void scriptEntryAnswer(std::optional<std::string> text);  // default: cancelled
    // A dialog without a scripted answer is cancelled; a folder picker without
    // one likewise.
    std::vector<MessageBoxRecord> messageBoxes();
    std::vector<std::filesystem::path> folderPickerCalls();
    std::vector<EntryDialogRecord> entryDialogs();
    bool isTopmost(WindowHandle window);
    std::string windowTitle(WindowHandle window);

    // Frame added around the client area at 96 DPI (scaled by DPI).
    static constexpr int kFrameWidth96 = 16;
    static constexpr int kFrameHeight96 = 39;

private:
    struct WindowState {
        MainWindowSpec setup;
        PixelRect rect;        // outer, screen pixels
        PixelRect normalRect;  // while minimized or maximized
        ShowCommand show = ShowCommand::Hide;
        bool topmost = false;
        bool enabled = true;
        unsigned dpi = 96;
        bool needsPaint = false;
    };
    struct Posted {
        WindowHandle window;
        std::uint32_t message;
        std::uint64_t wParam;
        std::int64_t lParam;
    };

    std::int64_t dispatch(const Posted& message);
    void paintIfNeeded(WindowHandle window);
    ControlState* findControl(ControlId id);
    // Runs an owner-drawn control's paint procedure (without the lock) and
    // records what it drew; nothing for a control that is not owner-drawn.
    void paintControl(ControlId id);

    std::mutex m_mutex;
    std::condition_variable m_posted;
    std::map<std::uintptr_t, WindowState> m_windows;
    std::uintptr_t m_nextHandle = 0x100;
    std::map<ControlId, ControlState> m_controls;
    std::vector<ControlId> m_controlOrder;
    std::deque<Posted> m_queue;
    std::vector<std::uint32_t> m_postedLog;
    std::optional<int> m_quitCode;
    bool m_recording = true;
    bool m_postFailure = false;
    bool m_windowCreateFails = false;
    std::vector<ControlId> m_failingControls;
    unsigned m_systemDpi = 96;
    std::vector<PixelRect> m_workAreas;
    std::vector<InvalidateRecord> m_invalidations;
    std::vector<std::vector<PaintOp>> m_frames;
    std::map<ControlId, std::vector<std::vector<PaintOp>>> m_controlPaints;
    std::deque<MessageBoxResult> m_boxAnswers;
    std::deque<std::optional<std::filesystem::path>> m_folderAnswers;
    std::deque<std::optional<std::string>> m_entryAnswers;
    std::vector<MessageBoxRecord> m_boxes;
    std::vector<std::filesystem::path> m_folderCalls;
    std::vector<EntryDialogRecord> m_entryDialogs;
};
