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

}  // namespace
