#pragma once
// Temporary folders and whole-file reads and writes for tests and benchmarks
// alike (no test framework here: the benchmarks link this too).

#include <filesystem>
#include <string>
#include <string_view>

namespace tavo::test {

// A fresh, empty folder under the system's temporary folder, removed with its
// content when the object goes.
class ScopedTempDir {
public:
    ScopedTempDir();
    ~ScopedTempDir();
    ScopedTempDir(const ScopedTempDir&) = delete;
    ScopedTempDir& operator=(const ScopedTempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// A fresh temporary folder made the working folder (the program reads and
// writes relative paths) for as long as the object lives; the previous
// working folder is restored first, then the folder removed.
class ScopedWorkDir {
public:
    ScopedWorkDir();
    ~ScopedWorkDir();
    ScopedWorkDir(const ScopedWorkDir&) = delete;
    ScopedWorkDir& operator=(const ScopedWorkDir&) = delete;

    const std::filesystem::path& path() const { return dir_.path(); }

private:
    ScopedTempDir dir_;
    std::filesystem::path previous_;
};

// The whole content of a file as bytes; empty when it cannot be read.
std::string readFile(const std::filesystem::path& path);
// Writes the bytes as the whole content of the file.
void writeFile(const std::filesystem::path& path, std::string_view bytes);

}  // namespace tavo::test
