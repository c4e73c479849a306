#pragma once
// Every test that touches files runs in a folder of its own.

#include <filesystem>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

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

// A test fixture that makes its temporary folder the working folder for the
// length of the test (the program writes relative paths against it) and
// restores the previous working folder afterwards.
class TempWorkDirTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    const std::filesystem::path& dir() const { return dir_.path(); }

private:
    ScopedTempDir dir_;
    std::filesystem::path previous_;
};

// The whole content of a file as bytes; empty when it cannot be read.
std::string readFile(const std::filesystem::path& path);
// Writes the bytes as the whole content of the file.
void writeFile(const std::filesystem::path& path, std::string_view bytes);

// A temporary working folder with Log.txt open in it, so that a test can check
// the lines the code under test logs.
class LogFileTest : public TempWorkDirTest {
protected:
    void SetUp() override;
    void TearDown() override;
    // Everything logged so far (flushed first), header line included.
    std::string logText();
    // What was logged since the previous call (or since SetUp).
    std::string newLogLines();

private:
    std::size_t seen_ = 0;
};

}  // namespace tavo::test
