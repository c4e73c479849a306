#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "foundation/log.h"
#include "support/temp_dir.h"

namespace {

using LogThreadsTest = tavo::test::TempWorkDirTest;

// Eight writers mixing all four kinds of line: every line on disk must be one
// whole line of one writer, never a mix of two.
TEST_F(LogThreadsTest, LinesOfEightThreadsNeverInterleave) {
    gf_openLogFile();
    constexpr int kThreads = 8;
    constexpr int kLines = 2000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            const std::string body(37 + t * 13, static_cast<char>('a' + t));
            for (int i = 0; i < kLines; ++i) {
                switch (i % 4) {
                    case 0: gf_log(fmt::format("T{} {} {}", t, i, body)); break;
                    case 1: gf_logContinuation(fmt::format("T{} {} {}", t, i, body)); break;
                    case 2: gf_logError(fmt::format("T{} {} {}", t, i, body)); break;
                    default: gf_logAndFlush(fmt::format("T{} {} {}", t, i, body)); break;
                }
            }
        });
    }
    for (auto& th : threads) th.join();
    gf_logger().close();

    std::ifstream in("Log.txt", std::ios::binary);
    std::string line;
    ASSERT_TRUE(std::getline(in, line));  // header
    std::vector<int> seen(kThreads, 0);
    int count = 0;
    while (std::getline(in, line)) {
        std::string_view rest = line;
        if (rest.starts_with("==> ")) rest.remove_prefix(4);
        else if (rest.starts_with("          ")) rest.remove_prefix(10);
        ASSERT_TRUE(rest.starts_with("T")) << line;
        const int t = rest[1] - '0';
        ASSERT_GE(t, 0);
        ASSERT_LT(t, kThreads);
        const auto space = rest.find(' ', 3);
        ASSERT_NE(space, std::string_view::npos) << line;
        const std::string_view body = rest.substr(space + 1);
        ASSERT_EQ(body, std::string(37 + t * 13, static_cast<char>('a' + t))) << line;
        ++seen[t];
        ++count;
    }
    EXPECT_EQ(count, kThreads * kLines);
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(seen[t], kLines);
}

// Writers keep logging while the log is reopened again and again, as reader
// threads do across a restart: nothing crashes, and every line in either
// generation is one whole line, never part of two.
TEST_F(LogThreadsTest, ReopeningWhileThreadsWriteKeepsLinesWhole) {
    gf_openLogFile();
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &stop] {
            const std::string line = fmt::format("W{} {}", t, std::string(50, static_cast<char>('k' + t)));
            while (!stop.load()) {
                gf_log(line);
                gf_logError(line);
                gf_logNoThrow(line);
            }
        });
    }
    for (int i = 0; i < 20; ++i) {
        gf_openLogFile();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    stop = true;
    for (auto& th : threads) th.join();
    gf_logger().close();

    for (const char* name : {"Log.txt", "Log0.txt"}) {
        std::ifstream in(name, std::ios::binary);
        std::string line;
        ASSERT_TRUE(std::getline(in, line)) << name;
        EXPECT_NE(line.find("TAVO version"), std::string::npos) << name;
        int count = 0;
        while (std::getline(in, line)) {
            std::string_view rest = line;
            if (rest.starts_with("==> ")) rest.remove_prefix(4);
            ASSERT_EQ(rest.size(), 53u) << name << ": " << line;
            ASSERT_EQ(rest[0], 'W') << line;
            const int t = rest[1] - '0';
            ASSERT_TRUE(t >= 0 && t < 4) << line;
            ASSERT_EQ(rest.substr(3), std::string(50, static_cast<char>('k' + t))) << line;
            ++count;
        }
        EXPECT_GT(count, 0) << name;
    }
}

}  // namespace
