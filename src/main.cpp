// TAVO's process entry.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <system_error>

#include "feed/rtdirect/transport.h"
#include "foundation/log.h"
#include "foundation/version.h"

int main() {
    try {
        // libcurl's global set-up is not thread-safe: it runs once, before any
        // thread of the program starts.
        gf_initCurlGlobal();
        gf_openLogFile();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "TAVO: %s\n", e.what());
        return 1;
    }
    gf_logger().close();
    // Until TAVO has its window, its standard output is where the user sees
    // that it ran at all.
    std::error_code ec;
    const std::filesystem::path log = std::filesystem::absolute("Log.txt", ec);
    std::printf("TAVO %s started, wrote its log and stopped: the main window, the main loop and the traffic\n"
                "engine are not built yet.\nLog: %s\n",
                g_programVersion.toString().c_str(), (ec ? std::string("Log.txt") : log.string()).c_str());
    return 0;
}
