#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "foundation/log.h"
#include "support/temp_dir.h"

namespace {

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

class LogTest : public tavo::test::TempWorkDirTest {
protected:
    void TearDown() override {
        gf_logger().close();
        TempWorkDirTest::TearDown();
    }
};

TEST_F(LogTest, LinesWhileClosedLeaveNoTraceAndNoCount) {
    gf_logger().close();
    gf_log("dropped");
    gf_logContinuation("dropped");
    EXPECT_EQ(gf_logUnflushedBytes(), 0u);
    gf_openLogFile();
    gf_logAndFlush("kept");
    const std::string text = readFile("Log.txt");
    EXPECT_EQ(text.find("dropped"), std::string::npos);
    EXPECT_NE(text.find("TAVO version 16.8.0 for MSFS 2020/2024\nkept\n"), std::string::npos);
}

}  // namespace
