#pragma once
// Every test that touches files runs in a folder of its own: the gtest
// fixtures over the plain temporary folders of scoped_temp_dir.h.

#include <cstddef>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "support/scoped_temp_dir.h"

namespace tavo::test {

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
