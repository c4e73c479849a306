#include "support/scoped_temp_dir.h"

#include <atomic>
#include <fstream>
#include <random>
#include <sstream>
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

ScopedWorkDir::ScopedWorkDir() : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir_.path());
}

ScopedWorkDir::~ScopedWorkDir() {
    std::error_code ec;
    std::filesystem::current_path(previous_, ec);
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace tavo::test
