#pragma once
// The windowing layer: what the program uses of a desktop window system, kept
// small. One main window with a fixed client size, private messages posted
// from any thread, child controls addressed by id, painting in layout units,
// message boxes, a folder picker and a modal one-line entry dialog.
//
// Threading: the window procedure, painting and message dispatch run on the
// GUI thread only (the thread that runs the message loop). The control
// operations, gf_postMessage, gf_invalidate and the modal dialogs may be called
// from any thread: a backend keeps a per-control mirror that these calls update
// at once (so a read right after a write sees it) and applies the change to its
// widgets on the GUI thread; a modal dialog asked for by another thread runs
// on the GUI thread while the caller waits for its answer.
//
// Two backends implement WindowBackend: a headless one (headless.h; tests, and
// the program when there is no display) and a real one. The free gf_ functions
// below forward to the installed backend.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// An opaque window identity; None is "no window".
enum class WindowHandle : std::uintptr_t { None = 0 };

// A control's id within the main window.
using ControlId = std::uint16_t;

// Message numbers. The values of the desktop system the program was first
// written for are kept, so the window procedure reads like its message table.
inline constexpr std::uint32_t WM_CREATE = 0x0001;       // sent from gf_createMainWindow
inline constexpr std::uint32_t WM_DESTROY = 0x0002;      // sent from gf_destroyWindow
inline constexpr std::uint32_t WM_CLOSE = 0x0010;        // the user asked to close the window
inline constexpr std::uint32_t WM_QUIT = 0x0012;         // ends the message loop; wParam = code
inline constexpr std::uint32_t WM_COMMAND = 0x0111;      // wParam = (notification << 16) | control id
inline constexpr std::uint32_t WM_LBUTTONDOWN = 0x0201;  // lParam = (y << 16) | (x & 0xFFFF), client px
inline constexpr std::uint32_t WM_DPICHANGED = 0x02E0;   // wParam low 16 bits = new DPI; lParam = PixelRect* suggested
inline constexpr std::uint32_t WM_APP = 0x8000;

// The program's private messages; posted with wParam 0 and lParam 0.
inline constexpr std::uint32_t MSG_START = WM_APP + 1;         // start the main thread
inline constexpr std::uint32_t MSG_EXIT = WM_APP + 2;          // save the position and quit
inline constexpr std::uint32_t MSG_GUI_UPDATE = WM_APP + 3;    // drain the GUI update queue
inline constexpr std::uint32_t MSG_SWITCH_SIM = WM_APP + 100;  // switch the simulator version

// Notification codes carried in the high word of a WM_COMMAND wParam.
inline constexpr std::uint16_t BN_CLICKED = 0;
inline constexpr std::uint16_t CBN_SELCHANGE = 1;
inline constexpr std::uint16_t EN_RETURN = 0x0100;  // Enter pressed in a one-line edit field

inline constexpr std::uint64_t gf_commandWParam(ControlId id, std::uint16_t notification) {
    return (std::uint64_t{notification} << 16) | id;
}

// A rectangle in pixels (screen or client, as the function says) or in
// layout units (painting): left, top, right, bottom; right and bottom exclusive.
struct PixelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool empty() const { return right <= left || bottom <= top; }
    bool contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    bool operator==(const PixelRect&) const = default;
};
using LayoutRect = PixelRect;

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    bool operator==(const Rgb&) const = default;
};

// The text cut after `limit` characters (UTF-8 code points), never inside
// one; a limit of 0 means no limit. What an edit field keeps of a text.
std::string gf_limitCharacters(std::string_view text, std::size_t limit);

// v * num / den rounded to the nearest integer (halves away from zero); the
// scaling of layout units and 96-DPI sizes to pixels.
int gf_mulDiv(int v, int num, int den);

// Drawing on the main window during a paint, in layout units: the painter maps
// a layout of layoutWidth x layoutHeight units onto the whole client area.
// Texts are UTF-8, drawn with their top-left at (x, y) in the layer's sans
// font of 12 points at 96 DPI, normal or bold. Lines and outlines are one
// pixel wide until setLineWidth says otherwise (for the rest of the paint).
class Painter {
public:
    virtual ~Painter() = default;
    virtual void setLayout(int layoutWidth, int layoutHeight) = 0;
    virtual void setLineWidth(int pixels) = 0;
    virtual void fillRect(const LayoutRect& rect, Rgb colour) = 0;
    virtual void outlineRect(const LayoutRect& rect, Rgb colour) = 0;
    virtual void line(int x1, int y1, int x2, int y2, Rgb colour) = 0;
    virtual void text(int x, int y, std::string_view utf8, Rgb colour, bool bold) = 0;
};

// What the main window calls back on the GUI thread. proc handles every
// message (WM_CREATE before gf_createMainWindow returns); its result is the
// message result; a message it does not handle goes to gf_defaultWindowProc.
// paint draws the whole client area when the window needs painting.
using WindowProc = std::function<std::int64_t(WindowHandle, std::uint32_t, std::uint64_t, std::int64_t)>;
using PaintProc = std::function<void(WindowHandle, Painter&)>;

struct MainWindowSpec {
    std::string title;
    int x = 0;       // outer left edge, screen pixels
    int y = 0;       // outer top edge
    int width = 0;   // outer size, pixels
    int height = 0;
    WindowProc proc;
    PaintProc paint;
};

enum class ControlKind : std::uint8_t { CheckBox, ComboBox, Button, Edit, Label };

// What an owner-drawn control paints from: its size in its own pixels, its
// state, and the DPI of the window it sits in.
struct OwnerDrawState {
    ControlId id = 0;
    int width = 0;
    int height = 0;
    bool enabled = true;
    bool checked = false;
    unsigned dpi = 96;
};
// Paints an owner-drawn control into a painter whose layout is the control's
// own pixels (0, 0, width, height). Runs on the GUI thread when the control is
// shown or resized, and again at once whenever its enabled or checked state is
// set; the backend's lock is not held.
using ControlPaintProc = std::function<void(Painter&, const OwnerDrawState&)>;

// A child control of the main window, at 96-DPI-scaled pixel positions of the
// client area. For a combo box, height is the height with the list open.
struct ControlSpec {
    ControlKind kind = ControlKind::Button;
    ControlId id = 0;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    std::string text;  // caption of a button or label, initial text of an edit field
    bool enabled = true;
    bool visible = true;
    std::size_t textLimit = 0;  // edit fields: most characters accepted, 0 = no limit
    // Check boxes: set, the box is owner-drawn by this procedure instead of
    // the system's look.
    ControlPaintProc paint;
    // Edit fields: the field's background colour; the system's when unset.
    std::optional<Rgb> background;
    // The control's text font: the layer's sans font of 12 points made for
    // this DPI; unset, the system's default control font.
    std::optional<unsigned> fontDpi;
};

enum class ShowCommand : std::uint8_t { Hide, Normal, Minimized, Maximized };

struct WindowPlacement {
    ShowCommand show = ShowCommand::Normal;
    PixelRect normalRect;  // the outer rectangle when neither minimized nor maximized
};

enum class MessageBoxIcon : std::uint8_t { None, Information, Warning, Error, Exclamation };
enum class MessageBoxButtons : std::uint8_t { Ok, OkCancel, YesNo };
enum class MessageBoxResult : std::uint8_t { Ok, Cancel, Yes, No };

// The modal one-line entry dialog (the credential entry): a caption, a label,
// one edit field limited to textLimit characters, OK and Cancel.
struct EntryDialogSpec {
    std::string title;
    std::string label;
    std::size_t textLimit = 60;
    int width = 410;   // client size in pixels at 96 DPI
    int height = 160;
};

// The backend interface. Function comments on the gf_ forwarders below.
class WindowBackend {
public:
    virtual ~WindowBackend() = default;

    // GUI thread.
    virtual WindowHandle createMainWindow(const MainWindowSpec& setup) = 0;
    virtual void destroyWindow(WindowHandle window) = 0;
    virtual int runMessageLoop() = 0;
    virtual void postQuitMessage(int exitCode) = 0;
    virtual bool createControl(WindowHandle parent, const ControlSpec& setup) = 0;
    virtual void updateWindow(WindowHandle window) = 0;

    // Any thread.
    virtual bool isWindow(WindowHandle window) = 0;
    virtual bool postMessage(WindowHandle window, std::uint32_t message, std::uint64_t wParam, std::int64_t lParam) = 0;
    virtual bool invalidate(WindowHandle window, const std::optional<PixelRect>& clientRect, bool erase) = 0;
    virtual bool setWindowPos(WindowHandle window, std::optional<std::pair<int, int>> topLeft,
                              std::optional<std::pair<int, int>> size) = 0;
    virtual std::optional<PixelRect> windowRect(WindowHandle window) = 0;
    virtual std::optional<PixelRect> clientRect(WindowHandle window) = 0;
    virtual std::optional<WindowPlacement> windowPlacement(WindowHandle window) = 0;
    virtual bool showWindow(WindowHandle window, ShowCommand show) = 0;
    virtual bool setTopmost(WindowHandle window, bool topmost) = 0;
    virtual bool enableWindow(WindowHandle window, bool enable) = 0;
    virtual bool isWindowEnabled(WindowHandle window) = 0;
    virtual void bringToFront(WindowHandle window) = 0;
    virtual unsigned windowDpi(WindowHandle window) = 0;
    virtual unsigned systemDpi() = 0;
    virtual std::pair<int, int> outerSizeForClient(int clientWidth, int clientHeight, unsigned dpi) = 0;
    virtual PixelRect nearestWorkArea(const PixelRect& screenRect) = 0;

    virtual bool controlExists(ControlId id) = 0;
    virtual std::vector<ControlId> controlIds() = 0;
    virtual bool enableControl(ControlId id, bool enable) = 0;
    virtual std::optional<bool> isControlEnabled(ControlId id) = 0;
    virtual bool showControl(ControlId id, bool show) = 0;
    virtual std::optional<bool> isControlVisible(ControlId id) = 0;
    virtual bool setControlCheck(ControlId id, bool checked) = 0;
    virtual std::optional<bool> controlCheck(ControlId id) = 0;
    virtual bool setControlText(ControlId id, std::string_view text) = 0;
    virtual std::optional<std::string> controlText(ControlId id) = 0;
    virtual std::optional<PixelRect> controlBounds(ControlId id) = 0;
    virtual bool setControlBounds(ControlId id, const PixelRect& bounds) = 0;
    virtual bool setControlFont(ControlId id, unsigned dpi) = 0;
    virtual bool setComboItems(ControlId id, const std::vector<std::string>& items) = 0;
    virtual bool addComboItem(ControlId id, std::string_view item) = 0;
    virtual std::optional<std::vector<std::string>> comboItems(ControlId id) = 0;
    virtual bool setComboSelection(ControlId id, int index) = 0;
    virtual std::optional<int> comboSelection(ControlId id) = 0;

    virtual MessageBoxResult messageBox(WindowHandle owner, std::string_view text, std::string_view caption,
                                        MessageBoxIcon icon, MessageBoxButtons buttons) = 0;
    virtual std::optional<std::filesystem::path> pickFolder(WindowHandle owner,
                                                             const std::filesystem::path& initialFolder) = 0;
    virtual std::optional<std::string> entryDialog(WindowHandle owner, const EntryDialogSpec& setup) = 0;
    // Any thread: the refusal of modal dialogs may have begun; a dialog open
    // now looks again at once. A backend whose dialogs never wait has
    // nothing to do.
    virtual void wakeModalDialogs() {}
};

// Installs the backend every gf_ function below uses (start-up, or a test).
// Passing null restores the default, a process-wide headless backend.
void gf_installWindowBackend(std::shared_ptr<WindowBackend> backend);
std::shared_ptr<WindowBackend> gf_windowBackend();

// --- GUI thread ---
// Creates the main window at the given outer rectangle (not shown yet); sends
// WM_CREATE to setup.proc before returning. None when creation failed.
WindowHandle gf_createMainWindow(const MainWindowSpec& setup);
// Sends WM_DESTROY, then the handle is no window any more.
void gf_destroyWindow(WindowHandle window);
// Dispatches messages until WM_QUIT; returns its code.
int gf_runMessageLoop();
// Makes the message loop end with the code once the queued messages before it
// were dispatched.
void gf_postQuitMessage(int exitCode);
// Creates a child control of the main window; false when it cannot be made
// (its id is then no control).
bool gf_createControl(WindowHandle parent, const ControlSpec& setup);
// Paints at once what is invalid.
void gf_updateWindow(WindowHandle window);
// The result of a message the window procedure does not handle: WM_CLOSE
// destroys the window, everything else gives 0.
std::int64_t gf_defaultWindowProc(WindowHandle window, std::uint32_t message, std::uint64_t wParam, std::int64_t lParam);

// --- any thread ---
bool gf_isWindow(WindowHandle window);
// Queues a message for the window's procedure; false when the window does not
// exist or the queue refuses it.
bool gf_postMessage(WindowHandle window, std::uint32_t message, std::uint64_t wParam = 0, std::int64_t lParam = 0);
// Marks a client rectangle (pixels; nullopt = all of it) for painting; erase
// asks for the background to be cleared first.
bool gf_invalidate(WindowHandle window, const std::optional<PixelRect>& clientRect, bool erase);
// Moves and/or resizes (outer rectangle) without activating or changing the z-order.
bool gf_setWindowPos(WindowHandle window, std::optional<std::pair<int, int>> topLeft,
                     std::optional<std::pair<int, int>> size);
std::optional<PixelRect> gf_windowRect(WindowHandle window);   // outer, screen pixels
std::optional<PixelRect> gf_clientRect(WindowHandle window);   // (0, 0, width, height)
std::optional<WindowPlacement> gf_windowPlacement(WindowHandle window);
bool gf_showWindow(WindowHandle window, ShowCommand show);
bool gf_setTopmost(WindowHandle window, bool topmost);
bool gf_enableWindow(WindowHandle window, bool enable);
bool gf_isWindowEnabled(WindowHandle window);
void gf_bringToFront(WindowHandle window);
unsigned gf_windowDpi(WindowHandle window);  // 96 when the window is unknown
unsigned gf_systemDpi();
// The outer size of a window whose client area is clientWidth x clientHeight
// pixels at that DPI.
std::pair<int, int> gf_outerSizeForClient(int clientWidth, int clientHeight, unsigned dpi);
// The work area of the monitor nearest to a screen rectangle.
PixelRect gf_nearestWorkArea(const PixelRect& screenRect);

// Controls of the main window, by id. Writers return false when no control has
// the id ("not a window": nothing happens); readers return nothing then.
bool gf_controlExists(ControlId id);
std::vector<ControlId> gf_controlIds();  // in creation (z-) order
bool gf_enableControl(ControlId id, bool enable);
std::optional<bool> gf_isControlEnabled(ControlId id);
bool gf_showControl(ControlId id, bool show);
std::optional<bool> gf_isControlVisible(ControlId id);
bool gf_setControlCheck(ControlId id, bool checked);
std::optional<bool> gf_controlCheck(ControlId id);
bool gf_setControlText(ControlId id, std::string_view text);
std::optional<std::string> gf_controlText(ControlId id);
std::optional<PixelRect> gf_controlBounds(ControlId id);
bool gf_setControlBounds(ControlId id, const PixelRect& bounds);
// Sets the control's text font to the layer's sans font of 12 points made for
// the DPI, and redraws it.
bool gf_setControlFont(ControlId id, unsigned dpi);
// Combo boxes: replacing the items clears the selection; a selection of -1
// selects nothing; an index outside the items is refused (false).
bool gf_setComboItems(ControlId id, const std::vector<std::string>& items);
bool gf_addComboItem(ControlId id, std::string_view item);
std::optional<std::vector<std::string>> gf_comboItems(ControlId id);
bool gf_setComboSelection(ControlId id, int index);
std::optional<int> gf_comboSelection(ControlId id);                  // -1 = none
std::optional<std::string> gf_comboSelectedText(ControlId id);       // nothing when none selected
// Selects the item whose text is exactly the given text; false when none is.
bool gf_selectComboText(ControlId id, std::string_view text);

// Modal dialogs. The caller waits for the answer; while a dialog with an owner
// is open the owner is disabled.
//
// A program that is stopping waits for no one: while the refusal query says
// so, a dialog open now ends at once with its cancel answer (as if the user
// had pressed Cancel or closed it), and one asked for later gets that answer
// without being shown. Whoever makes the query's answer change calls
// gf_wakeModalDialogs. Without a query nothing is refused.
using ModalDialogRefusal = bool (*)();
void gf_setModalDialogRefusal(ModalDialogRefusal refused);
bool gf_modalDialogsRefused();
void gf_wakeModalDialogs();
// The answer of a box closed without a choice: OK for a box with OK alone,
// else Cancel or No.
MessageBoxResult gf_cancelAnswer(MessageBoxButtons buttons);
MessageBoxResult gf_messageBox(WindowHandle owner, std::string_view text, std::string_view caption,
                               MessageBoxIcon icon, MessageBoxButtons buttons = MessageBoxButtons::Ok);
// The chosen folder, or nothing when the user cancelled or the picker failed;
// the folder as the picker gives it, possibly with a trailing separator.
// (The shell wraps it as gf_pickFolder.)
std::optional<std::filesystem::path> gf_showFolderPicker(WindowHandle owner, const std::filesystem::path& initialFolder);
// The entered text when the user confirmed a non-empty field; nothing when
// cancelled, closed, confirmed empty, or when the dialog could not be made.
std::optional<std::string> gf_showEntryDialog(WindowHandle owner, const EntryDialogSpec& setup);
