// TAVO's process entry.
#include <cstdio>
#include <exception>

#include "foundation/log.h"

int main() {
    try {
        gf_openLogFile();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "TAVO: %s\n", e.what());
        return 1;
    }
    gf_logger().close();
    return 0;
}
