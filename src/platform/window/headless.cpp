#include "platform/window/headless.h"
#include "foundation/text.h"

#include <algorithm>
#include <climits>
#include <string>


// --- RecordingPainter ---

void RecordingPainter::setLayout(int layoutWidth, int layoutHeight) {
    ops.push_back(PaintOp{PaintOp::Kind::SetLayout, {0, 0, layoutWidth, layoutHeight}, {}, {}, false});
}
void RecordingPainter::setLineWidth(int pixels) {
    ops.push_back(PaintOp{PaintOp::Kind::LineWidth, {pixels, 0, 0, 0}, {}, {}, false});
}
void RecordingPainter::fillRect(const LayoutRect& rect, Rgb colour) {
    ops.push_back(PaintOp{PaintOp::Kind::FillRect, rect, colour, {}, false});
}
void RecordingPainter::outlineRect(const LayoutRect& rect, Rgb colour) {
    ops.push_back(PaintOp{PaintOp::Kind::OutlineRect, rect, colour, {}, false});
}
void RecordingPainter::line(int x1, int y1, int x2, int y2, Rgb colour) {
    ops.push_back(PaintOp{PaintOp::Kind::Line, {x1, y1, x2, y2}, colour, {}, false});
}
void RecordingPainter::text(int x, int y, std::string_view utf8, Rgb colour, bool bold) {
    ops.push_back(PaintOp{PaintOp::Kind::Text, {x, y, x, y}, colour, std::string(utf8), bold});
}

// --- HeadlessBackend ---

HeadlessBackend::HeadlessBackend() : m_workAreas{PixelRect{0, 0, 1920, 1040}} {}
HeadlessBackend::~HeadlessBackend() = default;

WindowHandle HeadlessBackend::createMainWindow(const MainWindowSpec& setup) {
    WindowHandle handle;
    {
        std::lock_guard lock(m_mutex);
        if (m_windowCreateFails) return WindowHandle::None;
        handle = static_cast<WindowHandle>(m_nextHandle++);
        WindowState state;
        state.setup = setup;
        state.rect = PixelRect{setup.x, setup.y, setup.x + setup.width, setup.y + setup.height};
        state.normalRect = state.rect;
        state.dpi = m_systemDpi;
        m_windows.emplace(static_cast<std::uintptr_t>(handle), std::move(state));
    }
    // WM_CREATE reaches the procedure before the creating call returns, as the
    // procedure stores the handle and creates the controls there.
    if (setup.proc) setup.proc(handle, WM_CREATE, 0, 0);
    return handle;
}

void HeadlessBackend::destroyWindow(WindowHandle window) {
    WindowProc proc;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_windows.find(static_cast<std::uintptr_t>(window));
        if (it == m_windows.end()) return;
        proc = it->second.setup.proc;
    }
    if (proc) proc(window, WM_DESTROY, 0, 0);
    std::lock_guard lock(m_mutex);
    m_windows.erase(static_cast<std::uintptr_t>(window));
    // The controls were children of the one main window.
    if (m_windows.empty()) {
        m_controls.clear();
        m_controlOrder.clear();
    }
    // Messages for a window that is gone are never delivered.
    std::erase_if(m_queue, [window](const Posted& p) { return p.window == window; });
}

int HeadlessBackend::runMessageLoop() {
    {
        std::lock_guard lock(m_mutex);
        m_quitCode.reset();  // a quit belongs to the loop that takes it
    }
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            m_posted.wait(lock, [this] { return !m_queue.empty(); });
        }
        pump();
        std::lock_guard lock(m_mutex);
        if (m_quitCode) return *m_quitCode;
    }
}

void HeadlessBackend::postQuitMessage(int exitCode) {
    std::lock_guard lock(m_mutex);
    m_queue.push_back(Posted{WindowHandle::None, WM_QUIT, static_cast<std::uint64_t>(exitCode), 0});
    m_posted.notify_all();
}

bool HeadlessBackend::createControl(WindowHandle parent, const ControlSpec& setup) {
    {
        std::lock_guard lock(m_mutex);
        if (m_windows.find(static_cast<std::uintptr_t>(parent)) == m_windows.end()) return false;
        if (std::find(m_failingControls.begin(), m_failingControls.end(), setup.id) != m_failingControls.end()) {
            return false;
        }
        if (m_controls.count(setup.id) != 0) return false;  // ids are unique within the window
        ControlState state;
        state.setup = setup;
        state.enabled = setup.enabled;
        state.visible = setup.visible;
        state.text = setup.text;
        state.bounds = PixelRect{setup.x, setup.y, setup.x + setup.width, setup.y + setup.height};
        state.fontDpi = setup.fontDpi;
        m_controls.emplace(setup.id, std::move(state));
        m_controlOrder.push_back(setup.id);
    }
    paintControl(setup.id);
    return true;
}

void HeadlessBackend::paintControl(ControlId id) {
    ControlPaintProc paint;
    OwnerDrawState state;
    {
        std::lock_guard lock(m_mutex);
        ControlState* c = findControl(id);
        if (!c || !c->setup.paint) return;
        paint = c->setup.paint;
        state.id = id;
        state.width = c->bounds.width();
        state.height = c->bounds.height();
        state.enabled = c->enabled;
        state.checked = c->checked;
        state.dpi = m_windows.empty() ? 96 : m_windows.begin()->second.dpi;
    }
    RecordingPainter painter;
    painter.setLayout(state.width, state.height);
    paint(painter, state);
    std::lock_guard lock(m_mutex);
    if (m_recording) m_controlPaints[id].push_back(std::move(painter.ops));
}

void HeadlessBackend::updateWindow(WindowHandle window) { paintIfNeeded(window); }

bool HeadlessBackend::isWindow(WindowHandle window) {
    std::lock_guard lock(m_mutex);
    return m_windows.count(static_cast<std::uintptr_t>(window)) != 0;
}

bool HeadlessBackend::postMessage(WindowHandle window, std::uint32_t message, std::uint64_t wParam,
                                  std::int64_t lParam) {
    std::lock_guard lock(m_mutex);
    if (m_postFailure) return false;
    if (m_windows.count(static_cast<std::uintptr_t>(window)) == 0) return false;
    m_queue.push_back(Posted{window, message, wParam, lParam});
    if (m_recording) m_postedLog.push_back(message);
    m_posted.notify_all();
    return true;
}

bool HeadlessBackend::invalidate(WindowHandle window, const std::optional<PixelRect>& clientRect, bool erase) {
    std::lock_guard lock(m_mutex);
    auto it = m_windows.find(static_cast<std::uintptr_t>(window));
    if (it == m_windows.end()) return false;
    if (m_recording) m_invalidations.push_back(InvalidateRecord{window, clientRect, erase});
    if (!clientRect || !clientRect->empty()) it->second.needsPaint = true;
    return true;
}

bool HeadlessBackend::setWindowPos(WindowHandle window, std::optional<std::pair<int, int>> topLeft,
                                   std::optional<std::pair<int, int>> size) {
    std::lock_guard lock(m_mutex);
    auto it = m_windows.find(static_cast<std::uintptr_t>(window));
    if (it == m_windows.end()) return false;
    PixelRect& rect = it->second.rect;
    if (topLeft) {
        const int w = rect.width();
        const int h = rect.height();
        rect = PixelRect{topLeft->first, topLeft->second, topLeft->first + w, topLeft->second + h};
    }
    if (size) {
        rect.right = rect.left + size->first;
        rect.bottom = rect.top + size->second;
    }
    if (it->second.show == ShowCommand::Normal || it->second.show == ShowCommand::Hide) {
        it->second.normalRect = rect;
    }
    return true;
}

std::optional<PixelRect> HeadlessBackend::windowRect(WindowHandle window) {
    std::lock_guard lock(m_mutex);
    auto it = m_windows.find(static_cast<std::uintptr_t>(window));
    if (it == m_windows.end()) return std::nullopt;
    return it->second.rect;
}

std::optional<PixelRect> HeadlessBackend::clientRect(WindowHandle window) {
    std::lock_guard lock(m_mutex);
    auto it = m_windows.find(static_cast<std::uintptr_t>(window));
    if (it == m_windows.end()) return std::nullopt;
    const unsigned dpi = it->second.dpi;
    const int w = it->second.rect.width() - gf_mulDiv(kFrameWidth96, static_cast<int>(dpi), 96);
    const int h = it->second.rect.height() - gf_mulDiv(kFrameHeight96, static_cast<int>(dpi), 96);
    return PixelRect{0, 0, std::max(w, 0), std::max(h, 0)};
}

std::optional<WindowPlacement> HeadlessBackend::windowPlacement(WindowHandle window) {
    std::lock_guard lock(m_mutex);
    auto it = m_windows.find(static_cast<std::uintptr_t>(window));
    if (it == m_windows.end()) return std::nullopt;
    return WindowPlacement{it->second.show, it->second.normalRect};
}

bool HeadlessBackend::showWindow(WindowHandle window, ShowCommand show) {
    std::lock_guard lock(m_mutex);
    auto it = m_windows.find(static_cast<std::uintptr_t>(window));
    if (it == m_windows.end()) return false;
    WindowState& state = it->second;
    if (state.show == ShowCommand::Normal || state.show == ShowCommand::Hide) state.normalRect = state.rect;
    if (show == ShowCommand::Normal) state.rect = state.normalRect;
    if (show == ShowCommand::Maximized) {
        state.rect = m_workAreas.empty() ? state.rect : m_workAreas.front();
    }
    state.show = show;
    if (show == ShowCommand::Normal || show == ShowCommand::Maximized) state.needsPaint = true;
    return true;
}

bool HeadlessBackend::setTopmost(WindowHandle window, bool topmost) {
    std::lock_guard lock(m_mutex);
    auto it = m_windows.find(static_cast<std::uintptr_t>(window));
    if (it == m_windows.end()) return false;
    it->second.topmost = topmost;
    return true;
}

bool HeadlessBackend::enableWindow(WindowHandle window, bool enable) {
    std::lock_guard lock(m_mutex);
    auto it = m_windows.find(static_cast<std::uintptr_t>(window));
    if (it == m_windows.end()) return false;
    it->second.enabled = enable;
    return true;
}

bool HeadlessBackend::isWindowEnabled(WindowHandle window) {
    std::lock_guard lock(m_mutex);
    auto it = m_windows.find(static_cast<std::uintptr_t>(window));
    return it != m_windows.end() && it->second.enabled;
}

void HeadlessBackend::bringToFront(WindowHandle) {}

unsigned HeadlessBackend::windowDpi(WindowHandle window) {
    std::lock_guard lock(m_mutex);
    auto it = m_windows.find(static_cast<std::uintptr_t>(window));
    return it == m_windows.end() ? 96 : it->second.dpi;
}

unsigned HeadlessBackend::systemDpi() {
    std::lock_guard lock(m_mutex);
    return m_systemDpi;
}

std::pair<int, int> HeadlessBackend::outerSizeForClient(int clientWidth, int clientHeight, unsigned dpi) {
    const int d = static_cast<int>(dpi == 0 ? 96 : dpi);
    return {clientWidth + gf_mulDiv(kFrameWidth96, d, 96), clientHeight + gf_mulDiv(kFrameHeight96, d, 96)};
}

PixelRect HeadlessBackend::nearestWorkArea(const PixelRect& screenRect) {
    std::lock_guard lock(m_mutex);
    if (m_workAreas.empty()) return PixelRect{0, 0, 1920, 1040};
    // Nearest by the distance of the rectangles (0 when they overlap; the
    // largest overlap wins among overlapping ones).
    auto distance = [&](const PixelRect& area) -> long long {
        const long long dx = std::max({0, area.left - screenRect.right, screenRect.left - area.right});
        const long long dy = std::max({0, area.top - screenRect.bottom, screenRect.top - area.bottom});
        if (dx == 0 && dy == 0) {
            const long long ox = std::min(area.right, screenRect.right) - std::max(area.left, screenRect.left);
            const long long oy = std::min(area.bottom, screenRect.bottom) - std::max(area.top, screenRect.top);
            return -(std::max(0LL, ox) * std::max(0LL, oy));
        }
        return dx * dx + dy * dy;
    };
    return *std::min_element(m_workAreas.begin(), m_workAreas.end(),
                             [&](const PixelRect& a, const PixelRect& b) { return distance(a) < distance(b); });
}

ControlState* HeadlessBackend::findControl(ControlId id) {
    auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : &it->second;
}

bool HeadlessBackend::controlExists(ControlId id) {
    std::lock_guard lock(m_mutex);
    return findControl(id) != nullptr;
}

std::vector<ControlId> HeadlessBackend::controlIds() {
    std::lock_guard lock(m_mutex);
    return m_controlOrder;
}

bool HeadlessBackend::enableControl(ControlId id, bool enable) {
    {
        std::lock_guard lock(m_mutex);
        ControlState* c = findControl(id);
        if (!c) return false;
        c->enabled = enable;
    }
    paintControl(id);
    return true;
}

std::optional<bool> HeadlessBackend::isControlEnabled(ControlId id) {
    std::lock_guard lock(m_mutex);
    ControlState* c = findControl(id);
    if (!c) return std::nullopt;
    return c->enabled;
}

bool HeadlessBackend::showControl(ControlId id, bool show) {
    std::lock_guard lock(m_mutex);
    ControlState* c = findControl(id);
    if (!c) return false;
    c->visible = show;
    return true;
}

std::optional<bool> HeadlessBackend::isControlVisible(ControlId id) {
    std::lock_guard lock(m_mutex);
    ControlState* c = findControl(id);
    if (!c) return std::nullopt;
    return c->visible;
}

bool HeadlessBackend::setControlCheck(ControlId id, bool checked) {
    {
        std::lock_guard lock(m_mutex);
        ControlState* c = findControl(id);
        if (!c || c->setup.kind != ControlKind::CheckBox) return false;
        c->checked = checked;
    }
    paintControl(id);
    return true;
}

std::optional<bool> HeadlessBackend::controlCheck(ControlId id) {
    std::lock_guard lock(m_mutex);
    ControlState* c = findControl(id);
    if (!c || c->setup.kind != ControlKind::CheckBox) return std::nullopt;
    return c->checked;
}

bool HeadlessBackend::setControlText(ControlId id, std::string_view text) {
    std::lock_guard lock(m_mutex);
    ControlState* c = findControl(id);
    if (!c) return false;
    std::string value(text);
    // An edit field keeps at most its limit of characters, as the real field
    // refuses more; a character of several bytes is never cut in two.
    if (c->setup.kind == ControlKind::Edit) value = gf_limitCharacters(value, c->setup.textLimit);
    c->text = std::move(value);
    return true;
}

std::optional<std::string> HeadlessBackend::controlText(ControlId id) {
    std::lock_guard lock(m_mutex);
    ControlState* c = findControl(id);
    if (!c) return std::nullopt;
    if (c->setup.kind == ControlKind::ComboBox) {
        if (c->selection < 0 || static_cast<std::size_t>(c->selection) >= c->items.size()) return std::string();
        return c->items[static_cast<std::size_t>(c->selection)];
    }
    return c->text;
}

std::optional<PixelRect> HeadlessBackend::controlBounds(ControlId id) {
    std::lock_guard lock(m_mutex);
    ControlState* c = findControl(id);
    if (!c) return std::nullopt;
    return c->bounds;
}

bool HeadlessBackend::setControlBounds(ControlId id, const PixelRect& bounds) {
    {
        std::lock_guard lock(m_mutex);
        ControlState* c = findControl(id);
        if (!c) return false;
        c->bounds = bounds;
    }
    paintControl(id);
    return true;
}

bool HeadlessBackend::setControlFont(ControlId id, unsigned dpi) {
    std::lock_guard lock(m_mutex);
    ControlState* c = findControl(id);
    if (!c || dpi == 0) return false;
    c->fontDpi = dpi;
    return true;
}

bool HeadlessBackend::setComboItems(ControlId id, const std::vector<std::string>& items) {
    std::lock_guard lock(m_mutex);
    ControlState* c = findControl(id);
    if (!c || c->setup.kind != ControlKind::ComboBox) return false;
    c->items = items;
    c->selection = -1;
    return true;
}

bool HeadlessBackend::addComboItem(ControlId id, std::string_view item) {
    std::lock_guard lock(m_mutex);
    ControlState* c = findControl(id);
    if (!c || c->setup.kind != ControlKind::ComboBox) return false;
    c->items.emplace_back(item);
    return true;
}

std::optional<std::vector<std::string>> HeadlessBackend::comboItems(ControlId id) {
    std::lock_guard lock(m_mutex);
    ControlState* c = findControl(id);
    if (!c || c->setup.kind != ControlKind::ComboBox) return std::nullopt;
    return c->items;
}

bool HeadlessBackend::setComboSelection(ControlId id, int index) {
    std::lock_guard lock(m_mutex);
    ControlState* c = findControl(id);
    if (!c || c->setup.kind != ControlKind::ComboBox) return false;
    if (index < -1 || (index >= 0 && static_cast<std::size_t>(index) >= c->items.size())) return false;
    c->selection = index;
    return true;
}

std::optional<int> HeadlessBackend::comboSelection(ControlId id) {
    std::lock_guard lock(m_mutex);
    ControlState* c = findControl(id);
    if (!c || c->setup.kind != ControlKind::ComboBox) return std::nullopt;
    return c->selection;
}

MessageBoxResult HeadlessBackend::messageBox(WindowHandle owner, std::string_view text, std::string_view caption,
                                             MessageBoxIcon icon, MessageBoxButtons buttons) {
    std::lock_guard lock(m_mutex);
    MessageBoxRecord record{owner, std::string(text), std::string(caption), icon, buttons, false};
    // A box with an owner disables it while it is open; the record keeps that
    // the owner was (or was already) disabled, and the owner is enabled again
    // when the box is answered.
    auto it = m_windows.find(static_cast<std::uintptr_t>(owner));
    record.ownerWasDisabled = it != m_windows.end();
    if (m_recording) m_boxes.push_back(std::move(record));
    if (m_boxAnswers.empty()) return MessageBoxResult::Ok;
    const MessageBoxResult answer = m_boxAnswers.front();
    m_boxAnswers.pop_front();
    return answer;
}

std::optional<std::filesystem::path> HeadlessBackend::pickFolder(WindowHandle,
                                                                  const std::filesystem::path& initialFolder) {
    std::lock_guard lock(m_mutex);
    if (m_recording) m_folderCalls.push_back(initialFolder);
    if (m_folderAnswers.empty()) return std::nullopt;
    auto answer = std::move(m_folderAnswers.front());
    m_folderAnswers.pop_front();
    return answer;
}

std::optional<std::string> HeadlessBackend::entryDialog(WindowHandle owner, const EntryDialogSpec& setup) {
    std::optional<std::string> answer;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_windows.find(static_cast<std::uintptr_t>(owner));
        const bool hadOwner = it != m_windows.end();
        const bool wasEnabled = hadOwner && it->second.enabled;
        // The owner is disabled while the dialog is open and enabled again after.
        if (hadOwner) it->second.enabled = false;
        if (m_recording) m_entryDialogs.push_back(EntryDialogRecord{owner, setup, hadOwner});
        if (!m_entryAnswers.empty()) {
            answer = std::move(m_entryAnswers.front());
            m_entryAnswers.pop_front();
        }
        // Closing the dialog enables the owner again, as it was before.
        if (hadOwner) it->second.enabled = wasEnabled;
    }
    if (!answer) return std::nullopt;
    // The field takes at most its limit of characters (UTF-8 code points).
    std::string text = gf_limitCharacters(*answer, setup.textLimit);
    if (text.empty()) return std::nullopt;  // OK on an empty field counts as no answer
    return text;
}

std::int64_t HeadlessBackend::dispatch(const Posted& message) {
    WindowProc proc;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_windows.find(static_cast<std::uintptr_t>(message.window));
        if (it == m_windows.end()) return 0;
        proc = it->second.setup.proc;
    }
    if (!proc) return gf_defaultWindowProc(message.window, message.message, message.wParam, message.lParam);
    return proc(message.window, message.message, message.wParam, message.lParam);
}

std::size_t HeadlessBackend::pump() {
    std::size_t count = 0;
    for (;;) {
        Posted next{};
        {
            std::lock_guard lock(m_mutex);
            if (m_queue.empty()) break;
            next = m_queue.front();
            m_queue.pop_front();
            if (next.message == WM_QUIT) {
                m_quitCode = static_cast<int>(next.wParam);
                ++count;
                break;
            }
        }
        dispatch(next);
        ++count;
    }
    std::vector<WindowHandle> windows;
    {
        std::lock_guard lock(m_mutex);
        for (const auto& [h, w] : m_windows) {
            if (w.needsPaint) windows.push_back(static_cast<WindowHandle>(h));
        }
    }
    for (WindowHandle w : windows) paintIfNeeded(w);
    return count;
}

std::size_t HeadlessBackend::waitAndPump(std::chrono::milliseconds timeout) {
    {
        std::unique_lock lock(m_mutex);
        m_posted.wait_for(lock, timeout, [this] { return !m_queue.empty(); });
    }
    return pump();
}

std::int64_t HeadlessBackend::send(WindowHandle window, std::uint32_t message, std::uint64_t wParam,
                                   std::int64_t lParam) {
    return dispatch(Posted{window, message, wParam, lParam});
}

std::int64_t HeadlessBackend::clickControl(ControlId id) {
    WindowHandle owner = WindowHandle::None;
    {
        std::lock_guard lock(m_mutex);
        if (!findControl(id) || m_windows.empty()) return 0;
        owner = static_cast<WindowHandle>(m_windows.begin()->first);
    }
    return send(owner, WM_COMMAND, gf_commandWParam(id, BN_CLICKED), 0);
}

std::int64_t HeadlessBackend::chooseComboItem(ControlId id, int index) {
    if (!setComboSelection(id, index)) return 0;
    WindowHandle owner = WindowHandle::None;
    {
        std::lock_guard lock(m_mutex);
        if (m_windows.empty()) return 0;
        owner = static_cast<WindowHandle>(m_windows.begin()->first);
    }
    return send(owner, WM_COMMAND, gf_commandWParam(id, CBN_SELCHANGE), 0);
}

void HeadlessBackend::paintIfNeeded(WindowHandle window) {
    PaintProc paint;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_windows.find(static_cast<std::uintptr_t>(window));
        if (it == m_windows.end() || !it->second.needsPaint) return;
        it->second.needsPaint = false;
        paint = it->second.setup.paint;
    }
    RecordingPainter painter;
    if (paint) paint(window, painter);
    std::lock_guard lock(m_mutex);
    if (m_recording) m_frames.push_back(std::move(painter.ops));
}

void HeadlessBackend::paintNow(WindowHandle window) {
    {
        std::lock_guard lock(m_mutex);
        auto it = m_windows.find(static_cast<std::uintptr_t>(window));
        if (it == m_windows.end()) return;
        it->second.needsPaint = true;
    }
    paintIfNeeded(window);
}

std::optional<int> HeadlessBackend::quitCode() {
    std::lock_guard lock(m_mutex);
    return m_quitCode;
}

std::size_t HeadlessBackend::pendingMessages() {
    std::lock_guard lock(m_mutex);
    return m_queue.size();
}

std::vector<std::uint32_t> HeadlessBackend::postedMessages() {
    std::lock_guard lock(m_mutex);
    return m_postedLog;
}

std::vector<InvalidateRecord> HeadlessBackend::invalidations() {
    std::lock_guard lock(m_mutex);
    return m_invalidations;
}

std::vector<std::vector<PaintOp>> HeadlessBackend::paintedFrames() {
    std::lock_guard lock(m_mutex);
    return m_frames;
}

std::optional<ControlState> HeadlessBackend::controlState(ControlId id) {
    std::lock_guard lock(m_mutex);
    ControlState* c = findControl(id);
    if (!c) return std::nullopt;
    return *c;
}

std::vector<std::vector<PaintOp>> HeadlessBackend::controlPaints(ControlId id) {
    std::lock_guard lock(m_mutex);
    auto it = m_controlPaints.find(id);
    return it == m_controlPaints.end() ? std::vector<std::vector<PaintOp>>{} : it->second;
}

void HeadlessBackend::clearRecords() {
    std::lock_guard lock(m_mutex);
    m_postedLog.clear();
    m_invalidations.clear();
    m_frames.clear();
    m_controlPaints.clear();
    m_boxes.clear();
    m_folderCalls.clear();
    m_entryDialogs.clear();
}

void HeadlessBackend::setRecording(bool on) {
    std::lock_guard lock(m_mutex);
    m_recording = on;
}

void HeadlessBackend::setPostFailure(bool fail) {
    std::lock_guard lock(m_mutex);
    m_postFailure = fail;
}

void HeadlessBackend::setSystemDpi(unsigned dpi) {
    std::lock_guard lock(m_mutex);
    m_systemDpi = dpi == 0 ? 96 : dpi;
}

void HeadlessBackend::setWindowDpi(WindowHandle window, unsigned dpi) {
    std::lock_guard lock(m_mutex);
    auto it = m_windows.find(static_cast<std::uintptr_t>(window));
    if (it != m_windows.end() && dpi != 0) it->second.dpi = dpi;
}

void HeadlessBackend::setWorkAreas(std::vector<PixelRect> workAreas) {
    std::lock_guard lock(m_mutex);
    m_workAreas = std::move(workAreas);
}

void HeadlessBackend::setCreateFailure(bool windowFails, std::vector<ControlId> failingControls) {
    std::lock_guard lock(m_mutex);
    m_windowCreateFails = windowFails;
    m_failingControls = std::move(failingControls);
}

void HeadlessBackend::scriptMessageBoxAnswer(MessageBoxResult answer) {
    std::lock_guard lock(m_mutex);
    m_boxAnswers.push_back(answer);
}

void HeadlessBackend::scriptFolderAnswer(std::optional<std::filesystem::path> folder) {
    std::lock_guard lock(m_mutex);
    m_folderAnswers.push_back(std::move(folder));
}

void HeadlessBackend::scriptEntryAnswer(std::optional<std::string> text) {
    std::lock_guard lock(m_mutex);
    m_entryAnswers.push_back(std::move(text));
}

std::vector<MessageBoxRecord> HeadlessBackend::messageBoxes() {
    std::lock_guard lock(m_mutex);
    return m_boxes;
}

std::vector<std::filesystem::path> HeadlessBackend::folderPickerCalls() {
    std::lock_guard lock(m_mutex);
    return m_folderCalls;
}

std::vector<EntryDialogRecord> HeadlessBackend::entryDialogs() {
    std::lock_guard lock(m_mutex);
    return m_entryDialogs;
}

bool HeadlessBackend::isTopmost(WindowHandle window) {
    std::lock_guard lock(m_mutex);
    auto it = m_windows.find(static_cast<std::uintptr_t>(window));
    return it != m_windows.end() && it->second.topmost;
}

std::string HeadlessBackend::windowTitle(WindowHandle window) {
    std::lock_guard lock(m_mutex);
    auto it = m_windows.find(static_cast<std::uintptr_t>(window));
    return it == m_windows.end() ? std::string() : it->second.setup.title;
}
