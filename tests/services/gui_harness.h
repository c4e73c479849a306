#pragma once
// A Gui of its own on a headless main window, with a clock the test moves.

#include <chrono>
#include <memory>

#include "platform/window/headless.h"
#include "services/gui.h"

namespace tavo::test {

class GuiHarness {
public:
    GuiHarness() {
        gf_installWindowBackend(backend);
        gui.clock = [this] { return now; };
    }
    ~GuiHarness() {
        gui.close();
        if (window != WindowHandle::None) backend->destroyWindow(window);
        gui.window.store(WindowHandle::None);
        gf_installWindowBackend(nullptr);
    }
    GuiHarness(const GuiHarness&) = delete;
    GuiHarness& operator=(const GuiHarness&) = delete;

    // Makes the calling thread the GUI thread and creates the window, as the
    // start-up does: thread first, window after, then the waiting items.
    void open() {
        gui.attachGuiThread();
        MainWindowSpec setup;
        setup.title = "TAVO";
        setup.x = 400;
        setup.y = 20;
        const auto size = gui.windowSizeForClient(768);
        setup.width = size.first;
        setup.height = size.second;
        setup.proc = [this](WindowHandle w, std::uint32_t msg, std::uint64_t wp, std::int64_t lp) -> std::int64_t {
            if (msg == MSG_GUI_UPDATE) {
                ++drains;
                gui.drain();
                return 0;
            }
            return gf_defaultWindowProc(w, msg, wp, lp);
        };
        window = gf_createMainWindow(setup);
        gui.attachWindow(window);
    }

    std::shared_ptr<HeadlessBackend> backend = std::make_shared<HeadlessBackend>();
    Gui gui;
    WindowHandle window = WindowHandle::None;
    std::chrono::steady_clock::time_point now{std::chrono::hours(1000)};
    int drains = 0;  // GUI thread only
};

inline std::size_t gf_countMessages(const std::vector<std::uint32_t>& posted, std::uint32_t message) {
    std::size_t n = 0;
    for (auto m : posted) n += (m == message) ? 1 : 0;
    return n;
}

}  // namespace tavo::test
