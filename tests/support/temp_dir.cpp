#include "support/temp_dir.h"

#include <atomic>
#include <random>
#include <string>
#include <system_error>

#include <unistd.h>

namespace tavo::test {

ScopedTempDir::ScopedTempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
        auto candidate = base / ("tavo-test-" + std::to_string(::getpid()) + "-" +
                                 std::to_string(counter++) + "-" + std::to_string(rd() % 100000));
        std::error_code ec;
        if (std::filesystem::create_directory(candidate, ec)) {
            path_ = std::filesystem::canonical(candidate);
            return;
        }
    }
}

ScopedTempDir::~ScopedTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void TempWorkDirTest::SetUp() {
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
}

void TempWorkDirTest::TearDown() {
    std::error_code ec;
    std::filesystem::current_path(previous_, ec);
}

}  // namespace tavo::test
