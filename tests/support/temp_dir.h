#pragma once
// Every test that touches files runs in a folder of its own.

#include <filesystem>

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

}  // namespace tavo::test
