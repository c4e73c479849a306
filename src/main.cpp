// TAVO's process entry.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "app/program.h"
#include "feed/rtdirect/transport.h"
#include "foundation/log.h"
#include "foundation/version.h"
#include "platform/window/fltk_backend.h"
#include "platform/window/headless.h"

namespace {

std::string lf_logPathText() {
    std::error_code ec;
    const std::filesystem::path log = std::filesystem::absolute("Log.txt", ec);
    return ec ? std::string("Log.txt") : log.string();
}

// The window layer of this run: the real window when a display opens, else
// the same window without one. Standard output says which, and where the log
// is.
std::shared_ptr<FltkBackend> lf_chooseWindowLayer() {
    std::shared_ptr<FltkBackend> display = FltkBackend::open();
    if (display) {
        gf_installWindowBackend(display);
        std::printf("TAVO %s is running in its window.\nLog: %s\nClose the window (or press Ctrl+C) to end it.\n",
                    g_programVersion.toString().c_str(), lf_logPathText().c_str());
    } else {
        // Runs for the program's whole life: it keeps no records.
        auto headless = std::make_shared<HeadlessBackend>();
        headless->setRecording(false);
        gf_installWindowBackend(headless);
        std::printf("TAVO %s is running without a visible window (no display to open).\n"
                    "Log: %s\nPress Ctrl+C to end it.\n",
                    g_programVersion.toString().c_str(), lf_logPathText().c_str());
    }
    std::fflush(stdout);
    return display;
}

}  // namespace

int main(int argc, char** argv) {
    // Blocks SIGINT and SIGTERM before any thread starts, so that every
    // thread inherits the mask and only the watcher takes them.
    TerminationSignalWatcher signals;
    signals.start();
    // libcurl's global set-up is not thread-safe: it runs once, before any
    // thread of the program starts.
    try {
        gf_initCurlGlobal();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "TAVO: %s\n", e.what());
        return 1;
    }

    std::shared_ptr<FltkBackend> display;
    ProgramSetup setup;
    bool started = false;
    setup.started = [&] {
        started = true;
        display = lf_chooseWindowLayer();
    };
    const std::vector<std::string> args(argv, argv + argc);
    const int code = gf_programMain(args, setup);

    // FLTK goes before main returns: its widgets and display are not left to
    // the destructors that run after it.
    if (display) display->shutdown();
    gf_installWindowBackend(nullptr);
    display.reset();
    FltkBackend::closeDisplay();
    signals.stop();
    gf_logger().close();
    if (started) std::printf("TAVO ended with exit code %d.\n", code);
    return code;
}
