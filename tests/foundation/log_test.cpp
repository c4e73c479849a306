#include <algorithm>
#include <filesystem>
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
using tavo::test::readFile;

// What another reader of Log.txt sees on disk right now.
std::uintmax_t sizeOnDisk() { return std::filesystem::file_size("Log.txt"); }

using LogTest = tavo::test::LogFileTest;

TEST_F(LogTest, NothingIsWrittenOrCountedWhileClosed) {
    gf_log("x");
    gf_logger().close();  // close flushes what was pending
    EXPECT_EQ(gf_logUnflushedBytes(), 0u);
    EXPECT_THAT(readFile("Log.txt"), EndsWith("\nx\n"));
    gf_log("dropped");
    gf_logContinuation("dropped");
    gf_logError("dropped");
    gf_logAndFlush("dropped");
    gf_logNoThrow("dropped");
    gf_flushLog();
    EXPECT_EQ(gf_logUnflushedBytes(), 0u);
    EXPECT_EQ(readFile("Log.txt").find("dropped"), std::string::npos);
}

TEST_F(LogTest, HeaderThenGenerationsAcrossOpens) {
    EXPECT_THAT(logText(), MatchesRegex("[0-9]{1,2} [A-Z][a-z]{2} [0-9]{4} [0-9]{2}:[0-9]{2}Z "
                                        "TAVO version 16\\.8\\.0 for MSFS 2020/2024\n"));
    gf_log("first run");
    gf_openLogFile();  // a restart: the first run becomes Log0.txt
    gf_log("second run");
    EXPECT_THAT(readFile("Log0.txt"), HasSubstr("\nfirst run\n"));
    EXPECT_THAT(logText(), EndsWith("MSFS 2020/2024\nsecond run\n"));

    gf_openLogFile();  // the run before the last is gone
    const std::string previous = readFile("Log0.txt");
    EXPECT_THAT(previous, HasSubstr("\nsecond run\n"));
    EXPECT_EQ(previous.find("first run"), std::string::npos);
    const std::string current = logText();
    EXPECT_EQ(std::count(current.begin(), current.end(), '\n'), 1);  // only the header
}

TEST_F(LogTest, PlainLinesFlushOnceFourKilobytesAccumulate) {
    const auto header = sizeOnDisk();
    // 4095 bytes, newlines included: 4 lines of 1000 + 1, one of 90 + 1.
    for (int i = 0; i < 4; ++i) gf_log(std::string(1000, 'a'));
    gf_log(std::string(90, 'b'));
    EXPECT_EQ(gf_logUnflushedBytes(), 4095u);
    EXPECT_EQ(sizeOnDisk(), header);  // nothing reached the disk yet
    gf_log("");  // the next line of any length: 4096 bytes, flushed
    EXPECT_EQ(gf_logUnflushedBytes(), 0u);
    EXPECT_EQ(sizeOnDisk(), header + 4096);
}

TEST_F(LogTest, ContinuationCountsItsPrefix) {
    gf_logContinuation("abc");
    EXPECT_EQ(gf_logUnflushedBytes(), 14u);  // ten blanks, text, newline
    gf_logContinuation(std::string(4070, 'x'));  // 14 + 10 + 4070 + 1
    EXPECT_EQ(gf_logUnflushedBytes(), 4095u);
    gf_logContinuation("");  // reaches 4106: flushed by the same rule
    EXPECT_EQ(gf_logUnflushedBytes(), 0u);
    EXPECT_THAT(readFile("Log.txt"), HasSubstr("\n          abc\n          xxx"));
}

TEST_F(LogTest, ErrorAndFlushLinesReachTheDiskAtOnce) {
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
    // Empty texts still make lines, with their prefixes.
    gf_logContinuation("");
    gf_logError("");
    EXPECT_THAT(readFile("Log.txt"), EndsWith("\nnow\nquiet\n          \n==> \n"));
}

TEST_F(LogTest, OpenFailureThrowsAndLeavesTheLogClosed) {
    gf_logger().close();
    std::filesystem::remove("Log.txt");
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

}  // namespace
