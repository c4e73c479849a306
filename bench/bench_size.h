#pragma once
// Input sizes of the benchmarks. The Release program measures at full size;
// the test build runs every benchmark for a moment under the sanitizers with
// TAVO_BENCH_SMALL=1 (set by its ctest entries), where full-size inputs (50 MB
// files, 80,000-record databases) would take minutes to build and read.

#include <cstdlib>
#include <string_view>

// True when TAVO_BENCH_SMALL is set to anything but "" or "0".
inline bool gf_benchSmallInputs() {
    static const bool small = [] {
        const char* value = std::getenv("TAVO_BENCH_SMALL");
        return value != nullptr && std::string_view(value) != "" && std::string_view(value) != "0";
    }();
    return small;
}

// The full size, or the small one in the test build.
template <typename T>
T gf_benchSize(T full, T small) {
    return gf_benchSmallInputs() ? small : full;
}
