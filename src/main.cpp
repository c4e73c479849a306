// TAVO's process entry.
#include <cstdio>
#include <exception>

#include "feed/rtdirect/transport.h"
#include "foundation/log.h"

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
    return 0;
}
