#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "foundation/log.h"
#include "support/temp_dir.h"

namespace {

using LogThreadsTest = tavo::test::LogFileTest;

// The body every line of writer t carries.
std::string bodyOf(int t) { return std::string(37 + t * 13, static_cast<char>('a' + t)); }

// Checks that every line after the header is "T<t> <i> <body of t>", with or
// without a prefix, and counts the lines per writer.
std::vector<int> wholeLinesPerWriter(const char* file, int writers) {
    std::ifstream in(file, std::ios::binary);
    std::string line;
    std::vector<int> seen(static_cast<std::size_t>(writers), 0);
    EXPECT_TRUE(std::getline(in, line)) << file;
    EXPECT_NE(line.find("TAVO version"), std::string::npos) << file;
    while (std::getline(in, line)) {
        std::string_view rest = line;
        if (rest.starts_with("==> ")) rest.remove_prefix(4);
        else if (rest.starts_with("          ")) rest.remove_prefix(10);
        const int t = rest.size() > 3 && rest[0] == 'T' ? rest[1] - '0' : -1;
        const auto space = rest.find(' ', 3);
        if (t < 0 || t >= writers || space == std::string_view::npos || rest.substr(space + 1) != bodyOf(t)) {
            ADD_FAILURE() << file << ": torn line: " << line;
            break;
        }
        ++seen[static_cast<std::size_t>(t)];
    }
    return seen;
}

// Eight writers mixing all four kinds of line: every line on disk must be one
// whole line of one writer, never a mix of two.
TEST_F(LogThreadsTest, LinesOfEightThreadsNeverInterleave) {
    constexpr int kThreads = 8;
    constexpr int kLines = 2000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) {
                const std::string line = fmt::format("T{} {} {}", t, i, bodyOf(t));
                switch (i % 4) {
                    case 0: gf_log(line); break;
                    case 1: gf_logContinuation(line); break;
                    case 2: gf_logError(line); break;
                    default: gf_logAndFlush(line); break;
                }
            }
        });
    }
    for (auto& th : threads) th.join();
    gf_logger().close();
    EXPECT_EQ(wholeLinesPerWriter("Log.txt", kThreads), std::vector<int>(kThreads, kLines));
}

// Writers keep logging while the log is reopened again and again, as reader
// threads do across a restart: every line in either generation stays whole.
TEST_F(LogThreadsTest, ReopeningWhileThreadsWriteKeepsLinesWhole) {
    std::atomic<bool> stop{false};
    std::atomic<int> rounds{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &stop, &rounds] {
            const std::string line = fmt::format("T{} 0 {}", t, bodyOf(t));
            while (!stop.load()) {
                gf_log(line);
                gf_logError(line);
                gf_logNoThrow(line);
                ++rounds;
            }
        });
    }
    for (int i = 0; i < 20; ++i) {
        gf_openLogFile();
        // Five rounds finished after the open mean at least one writer did a
        // whole round into the new file, so neither generation ends up empty
        // however the threads are scheduled.
        const int opened = rounds.load();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (rounds.load() < opened + 5 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
    }
    stop = true;
    for (auto& th : threads) th.join();
    gf_logger().close();
    for (const char* name : {"Log.txt", "Log0.txt"}) {
        int total = 0;
        for (const int n : wholeLinesPerWriter(name, 4)) total += n;
        EXPECT_GT(total, 0) << name;
    }
}

}  // namespace
