// TAVO's process entry.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "app/program.h"
#include "feed/rtdirect/transport.h"
#include "foundation/log.h"
#include "foundation/version.h"

namespace {

std::string lf_logPathText() {
    std::error_code ec;
    const std::filesystem::path log = std::filesystem::absolute("Log.txt", ec);
    return ec ? std::string("Log.txt") : log.string();
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

    // The window has no display backend on Linux yet, so standard output is
    // where the user learns that TAVO runs, where it logs and how to end it.
    std::printf("TAVO %s is running without a visible window (no display backend yet).\n"
                "Log: %s\nPress Ctrl+C to end it.\n",
                g_programVersion.toString().c_str(), lf_logPathText().c_str());
    std::fflush(stdout);

    const std::vector<std::string> args(argv, argv + argc);
    const int code = gf_programMain(args);
    signals.stop();
    gf_logger().close();
    std::printf("TAVO ended with exit code %d.\n", code);
    return code;
}
