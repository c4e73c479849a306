#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "foundation/log.h"
#include "support/temp_dir.h"

namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// What another reader of Log.txt sees on disk right now.
std::uintmax_t sizeOnDisk() { return std::filesystem::file_size("Log.txt"); }

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
    gf_logError("dropped");
    gf_logAndFlush("dropped");
    gf_logNoThrow("dropped");
    EXPECT_EQ(gf_logUnflushedBytes(), 0u);
    EXPECT_FALSE(std::filesystem::exists("Log.txt"));
    gf_openLogFile();
    gf_logAndFlush("kept");
    gf_logger().close();
    gf_log("after close");
    const std::string text = readFile("Log.txt");
    EXPECT_EQ(text.find("dropped"), std::string::npos);
    EXPECT_EQ(text.find("after close"), std::string::npos);
    EXPECT_NE(text.find("TAVO version 16.8.0 for MSFS 2020/2024\nkept\n"), std::string::npos);
}

TEST_F(LogTest, HeaderLineAndCountAfterOpen) {
    gf_openLogFile();
    EXPECT_EQ(gf_logUnflushedBytes(), 0u);  // the header is flushed
    const std::string text = readFile("Log.txt");
    EXPECT_THAT(text, MatchesRegex("[0-9]{1,2} [A-Z][a-z]{2} [0-9]{4} [0-9]{2}:[0-9]{2}Z "
                                   "TAVO version 16\\.8\\.0 for MSFS 2020/2024\n"));
}

TEST_F(LogTest, GenerationsAcrossOpens) {
    gf_openLogFile();
    gf_log("first run");
    gf_openLogFile();  // a restart: the first run becomes Log0.txt
    gf_log("second run");
    gf_flushLog();
    EXPECT_THAT(readFile("Log0.txt"), HasSubstr("\nfirst run\n"));
    std::string current = readFile("Log.txt");
    EXPECT_EQ(current.find("first run"), std::string::npos);
    EXPECT_THAT(current, EndsWith("MSFS 2020/2024\nsecond run\n"));

    gf_openLogFile();  // the run before the last is gone
    const std::string previous = readFile("Log0.txt");
    EXPECT_THAT(previous, HasSubstr("\nsecond run\n"));
    EXPECT_EQ(previous.find("first run"), std::string::npos);
    current = readFile("Log.txt");
    EXPECT_EQ(std::count(current.begin(), current.end(), '\n'), 1);  // only the header
}

TEST_F(LogTest, PlainLinesFlushOnceFourKilobytesAccumulate) {
    gf_openLogFile();
    const auto header = sizeOnDisk();
    // 4095 bytes, newlines included: 4 lines of 1000 + 1, one of 90 + 1.
    for (int i = 0; i < 4; ++i) gf_log(std::string(1000, 'a'));
    gf_log(std::string(90, 'b'));
    EXPECT_EQ(gf_logUnflushedBytes(), 4095u);
    EXPECT_EQ(sizeOnDisk(), header);  // nothing reached the disk yet
    gf_log("");  // the next line of any length: 4096 bytes, flushed
    EXPECT_EQ(gf_logUnflushedBytes(), 0u);
    EXPECT_EQ(sizeOnDisk(), header + 4096);
    gf_log("c");
    EXPECT_EQ(gf_logUnflushedBytes(), 2u);
}

TEST_F(LogTest, ContinuationCountsItsPrefix) {
    gf_openLogFile();
    gf_logContinuation("abc");
    EXPECT_EQ(gf_logUnflushedBytes(), 14u);  // ten blanks, text, newline
    gf_logContinuation(std::string(4070, 'x'));  // 14 + 10 + 4070 + 1
    EXPECT_EQ(gf_logUnflushedBytes(), 4095u);
    gf_logContinuation("");  // reaches 4106: flushed by the same rule
    EXPECT_EQ(gf_logUnflushedBytes(), 0u);
    const std::string text = readFile("Log.txt");
    EXPECT_THAT(text, HasSubstr("\n          abc\n          xxx"));
}

TEST_F(LogTest, ErrorAndFlushLinesReachTheDiskAtOnce) {
    gf_openLogFile();
    gf_log("pending");
    gf_logError("broken");
    EXPECT_EQ(gf_logUnflushedBytes(), 0u);
    EXPECT_THAT(readFile("Log.txt"), EndsWith("\npending\n==> broken\n"));
    gf_log("pending again");
    gf_logAndFlush("now");
    EXPECT_EQ(gf_logUnflushedBytes(), 0u);
    EXPECT_THAT(readFile("Log.txt"), EndsWith("\npending again\nnow\n"));
    gf_logNoThrow("quiet");
    EXPECT_EQ(gf_logUnflushedBytes(), 6u);
    gf_flushLog();
    EXPECT_EQ(gf_logUnflushedBytes(), 0u);
    EXPECT_THAT(readFile("Log.txt"), EndsWith("\nnow\nquiet\n"));
}

TEST_F(LogTest, EmptyTextsWriteEmptyLines) {
    gf_openLogFile();
    gf_log("");
    gf_logContinuation("");
    gf_logError("");
    gf_logAndFlush("");
    EXPECT_THAT(readFile("Log.txt"), EndsWith("MSFS 2020/2024\n\n          \n==> \n\n"));
}

TEST_F(LogTest, TextIsWrittenAsGiven) {
    gf_openLogFile();
    gf_logAndFlush("Caf\xC3\xA9 {} %s \r");
    EXPECT_THAT(readFile("Log.txt"), EndsWith("\nCaf\xC3\xA9 {} %s \r\n"));
}

TEST_F(LogTest, OpenFailureThrowsAndLeavesTheLogClosed) {
    std::filesystem::create_directory("Log.txt");  // a folder where the file should be
    try {
        gf_openLogFile();
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Failed to write file Log.txt");
    }
    gf_log("dropped");
    EXPECT_EQ(gf_logUnflushedBytes(), 0u);
    std::filesystem::remove("Log.txt");
    gf_openLogFile();  // the logger recovers at the next open
    gf_logAndFlush("works");
    EXPECT_THAT(readFile("Log.txt"), EndsWith("\nworks\n"));
}

TEST_F(LogTest, FlushWhileClosedResetsTheCount) {
    gf_openLogFile();
    gf_log("x");
    EXPECT_EQ(gf_logUnflushedBytes(), 2u);
    gf_logger().close();
    EXPECT_EQ(gf_logUnflushedBytes(), 0u);
    EXPECT_THAT(readFile("Log.txt"), EndsWith("\nx\n"));  // close flushed it
    gf_flushLog();
    EXPECT_EQ(gf_logUnflushedBytes(), 0u);
}

}  // namespace
