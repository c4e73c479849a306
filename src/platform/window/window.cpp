#include "platform/window/window.h"

#include <atomic>
#include <cstdlib>

#include "foundation/atomic_shared_ptr.h"
#include "foundation/text.h"
#include "platform/window/headless.h"

namespace {

// Read by every control call from any thread; replaced by tests.
AtomicSharedPtr<WindowBackend> g_installedBackend{nullptr};
std::atomic<ModalDialogRefusal> g_dialogRefusal{nullptr};

std::shared_ptr<WindowBackend> lf_defaultBackend() {
    // One headless backend for the whole process, so that code running before
    // (or without) a display still has a working window layer.
    static const std::shared_ptr<WindowBackend> backend = std::make_shared<HeadlessBackend>();
    return backend;
}

}  // namespace

std::string gf_limitCharacters(std::string_view text, std::size_t limit) {
    if (limit == 0) return std::string(text);
    std::size_t chars = 0;
    std::size_t i = 0;
    for (; i < text.size(); ++i) {
        if (!gf_isUtf8Continuation(static_cast<unsigned char>(text[i]))) {
            if (chars == limit) break;
            ++chars;
        }
    }
    return std::string(text.substr(0, i));
}

int gf_mulDiv(int v, int num, int den) {
    if (den == 0) return 0;
    const long long product = static_cast<long long>(v) * num;
    const long long half = std::llabs(static_cast<long long>(den)) / 2;
    // Round halves away from zero, as the scaling of the desktop system does.
    const bool negative = (product < 0) != (den < 0);
    const long long magnitude = (std::llabs(product) + half) / std::llabs(static_cast<long long>(den));
    return static_cast<int>(negative ? -magnitude : magnitude);
}

void gf_installWindowBackend(std::shared_ptr<WindowBackend> backend) {
    g_installedBackend.store(std::move(backend));
}

std::shared_ptr<WindowBackend> gf_windowBackend() {
    if (auto backend = g_installedBackend.load()) return backend;
    return lf_defaultBackend();
}

WindowHandle gf_createMainWindow(const MainWindowSpec& setup) { return gf_windowBackend()->createMainWindow(setup); }
void gf_destroyWindow(WindowHandle window) { gf_windowBackend()->destroyWindow(window); }
int gf_runMessageLoop() { return gf_windowBackend()->runMessageLoop(); }
void gf_postQuitMessage(int exitCode) { gf_windowBackend()->postQuitMessage(exitCode); }
bool gf_createControl(WindowHandle parent, const ControlSpec& setup) {
    return gf_windowBackend()->createControl(parent, setup);
}
void gf_updateWindow(WindowHandle window) { gf_windowBackend()->updateWindow(window); }

std::int64_t gf_defaultWindowProc(WindowHandle window, std::uint32_t message, std::uint64_t, std::int64_t) {
    if (message == WM_CLOSE) gf_destroyWindow(window);
    return 0;
}

bool gf_isWindow(WindowHandle window) { return gf_windowBackend()->isWindow(window); }
bool gf_postMessage(WindowHandle window, std::uint32_t message, std::uint64_t wParam, std::int64_t lParam) {
    return gf_windowBackend()->postMessage(window, message, wParam, lParam);
}
bool gf_invalidate(WindowHandle window, const std::optional<PixelRect>& clientRect, bool erase) {
    return gf_windowBackend()->invalidate(window, clientRect, erase);
}
bool gf_setWindowPos(WindowHandle window, std::optional<std::pair<int, int>> topLeft,
                     std::optional<std::pair<int, int>> size) {
    return gf_windowBackend()->setWindowPos(window, topLeft, size);
}
std::optional<PixelRect> gf_windowRect(WindowHandle window) { return gf_windowBackend()->windowRect(window); }
std::optional<PixelRect> gf_clientRect(WindowHandle window) { return gf_windowBackend()->clientRect(window); }
std::optional<WindowPlacement> gf_windowPlacement(WindowHandle window) {
    return gf_windowBackend()->windowPlacement(window);
}
bool gf_showWindow(WindowHandle window, ShowCommand show) { return gf_windowBackend()->showWindow(window, show); }
bool gf_setTopmost(WindowHandle window, bool topmost) { return gf_windowBackend()->setTopmost(window, topmost); }
bool gf_enableWindow(WindowHandle window, bool enable) { return gf_windowBackend()->enableWindow(window, enable); }
bool gf_isWindowEnabled(WindowHandle window) { return gf_windowBackend()->isWindowEnabled(window); }
void gf_bringToFront(WindowHandle window) { gf_windowBackend()->bringToFront(window); }
unsigned gf_windowDpi(WindowHandle window) { return gf_windowBackend()->windowDpi(window); }
unsigned gf_systemDpi() { return gf_windowBackend()->systemDpi(); }
std::pair<int, int> gf_outerSizeForClient(int clientWidth, int clientHeight, unsigned dpi) {
    return gf_windowBackend()->outerSizeForClient(clientWidth, clientHeight, dpi);
}
PixelRect gf_nearestWorkArea(const PixelRect& screenRect) { return gf_windowBackend()->nearestWorkArea(screenRect); }

bool gf_controlExists(ControlId id) { return gf_windowBackend()->controlExists(id); }
std::vector<ControlId> gf_controlIds() { return gf_windowBackend()->controlIds(); }
bool gf_enableControl(ControlId id, bool enable) { return gf_windowBackend()->enableControl(id, enable); }
std::optional<bool> gf_isControlEnabled(ControlId id) { return gf_windowBackend()->isControlEnabled(id); }
bool gf_showControl(ControlId id, bool show) { return gf_windowBackend()->showControl(id, show); }
std::optional<bool> gf_isControlVisible(ControlId id) { return gf_windowBackend()->isControlVisible(id); }
bool gf_setControlCheck(ControlId id, bool checked) { return gf_windowBackend()->setControlCheck(id, checked); }
std::optional<bool> gf_controlCheck(ControlId id) { return gf_windowBackend()->controlCheck(id); }
bool gf_setControlText(ControlId id, std::string_view text) { return gf_windowBackend()->setControlText(id, text); }
std::optional<std::string> gf_controlText(ControlId id) { return gf_windowBackend()->controlText(id); }
std::optional<PixelRect> gf_controlBounds(ControlId id) { return gf_windowBackend()->controlBounds(id); }
bool gf_setControlBounds(ControlId id, const PixelRect& bounds) {
    return gf_windowBackend()->setControlBounds(id, bounds);
}
bool gf_setControlFont(ControlId id, unsigned dpi) { return gf_windowBackend()->setControlFont(id, dpi); }
bool gf_setComboItems(ControlId id, const std::vector<std::string>& items) {
    return gf_windowBackend()->setComboItems(id, items);
}
bool gf_addComboItem(ControlId id, std::string_view item) { return gf_windowBackend()->addComboItem(id, item); }
std::optional<std::vector<std::string>> gf_comboItems(ControlId id) { return gf_windowBackend()->comboItems(id); }
bool gf_setComboSelection(ControlId id, int index) { return gf_windowBackend()->setComboSelection(id, index); }
std::optional<int> gf_comboSelection(ControlId id) { return gf_windowBackend()->comboSelection(id); }

std::optional<std::string> gf_comboSelectedText(ControlId id) {
    auto backend = gf_windowBackend();
    const auto items = backend->comboItems(id);
    const auto selection = backend->comboSelection(id);
    if (!items || !selection || *selection < 0 || static_cast<std::size_t>(*selection) >= items->size()) {
        return std::nullopt;
    }
    return (*items)[static_cast<std::size_t>(*selection)];
}

bool gf_selectComboText(ControlId id, std::string_view text) {
    auto backend = gf_windowBackend();
    const auto items = backend->comboItems(id);
    if (!items) return false;
    for (std::size_t i = 0; i < items->size(); ++i) {
        if ((*items)[i] == text) return backend->setComboSelection(id, static_cast<int>(i));
    }
    return false;
}

void gf_setModalDialogRefusal(ModalDialogRefusal refused) {
    g_dialogRefusal.store(refused);
    gf_wakeModalDialogs();
}

bool gf_modalDialogsRefused() {
    const ModalDialogRefusal refused = g_dialogRefusal.load();
    return refused != nullptr && refused();
}

void gf_wakeModalDialogs() { gf_windowBackend()->wakeModalDialogs(); }

MessageBoxResult gf_cancelAnswer(MessageBoxButtons buttons) {
    switch (buttons) {
        case MessageBoxButtons::Ok:
            return MessageBoxResult::Ok;
        case MessageBoxButtons::OkCancel:
            return MessageBoxResult::Cancel;
        case MessageBoxButtons::YesNo:
            return MessageBoxResult::No;
    }
    return MessageBoxResult::Cancel;
}

MessageBoxResult gf_messageBox(WindowHandle owner, std::string_view text, std::string_view caption,
                               MessageBoxIcon icon, MessageBoxButtons buttons) {
    if (gf_modalDialogsRefused()) return gf_cancelAnswer(buttons);
    return gf_windowBackend()->messageBox(owner, text, caption, icon, buttons);
}
std::optional<std::filesystem::path> gf_showFolderPicker(WindowHandle owner, const std::filesystem::path& initialFolder) {
    if (gf_modalDialogsRefused()) return std::nullopt;
    return gf_windowBackend()->pickFolder(owner, initialFolder);
}
std::optional<std::string> gf_showEntryDialog(WindowHandle owner, const EntryDialogSpec& setup) {
    if (gf_modalDialogsRefused()) return std::nullopt;
    return gf_windowBackend()->entryDialog(owner, setup);
}
