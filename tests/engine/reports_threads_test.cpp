#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <latch>
#include <thread>
#include <vector>

#include "engine/reports.h"
#include "engine/stands.h"
#include "simlink/sim_link.h"
#include "support/stand_table.h"
#include "support/temp_dir.h"

namespace {

class ReportsThreads : public tavo::test::LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        gf_resetTrafficExceptionCount();
        newLogLines();
    }
    void TearDown() override {
        gf_resetTrafficExceptionCount();
        tavo::test::clearStandTable();
        g_userOnGround.store(false);
        LogFileTest::TearDown();
    }
};

std::vector<std::string> lf_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

}  // namespace

TEST_F(ReportsThreads, EightThreadsOfTenReportsWriteExactlyTwenty) {
    constexpr int kThreads = 8;
    const std::string suffix = " (further traffic exceptions will be suppressed)";
    // Many runs, so that the threads really meet at the counter.
    for (int run = 0; run < 300; ++run) {
        gf_resetTrafficExceptionCount();
        std::latch start(kThreads);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&start, t] {
                start.arrive_and_wait();  // all threads report at once
                for (int i = 0; i < 10; ++i) {
                    try {
                        throw std::runtime_error(fmt::format("t{} r{}", t, i));
                    } catch (...) {
                        gf_reportTrafficException("updateLiveAc");
                    }
                }
            });
        }
        for (auto& thread : threads) thread.join();
        const auto lines = lf_lines(newLogLines());
        ASSERT_EQ(lines.size(), 20u) << "run " << run;
        const auto withSuffix = std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.size() > suffix.size() &&
                   line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0;
        });
        ASSERT_EQ(withSuffix, 1) << "run " << run;
        for (const auto& line : lines)
            ASSERT_THAT(line, ::testing::StartsWith("==> Traffic exception in updateLiveAc: t"));
    }
}

TEST_F(ReportsThreads, StandSnapshotIsReadOnAnotherThread) {
    g_userOnGround.store(true);
    tavo::test::setStandTable({{"A1", LaLo{52.0, 4.0}}, {"A2", LaLo{52.0, 4.0005}}});
    std::latch published(1);
    std::optional<std::string> before, after, missing;
    std::thread reader([&] {
        before = gf_standNameAtPosition(LaLo{52.0, 4.0004});
        published.wait();
        // The same position again: the cache must see the new snapshot.
        after = gf_standNameAtPosition(LaLo{52.0, 4.0004});
        missing = gf_standNameAtPosition(LaLo{52.0, 4.0});
    });
    // Replace the table while the reader may hold the old snapshot.
    std::vector<tavo::test::StandSpec> stands{{"B7", LaLo{52.0, 4.0004}}};
    tavo::test::setStandTable(stands);
    published.count_down();
    reader.join();
    // The first read saw either table, whole.
    EXPECT_TRUE(before == std::optional<std::string>("A2") || before == std::optional<std::string>("B7"));
    EXPECT_EQ(after, std::optional<std::string>("B7"));
    EXPECT_FALSE(missing.has_value());  // 27 m from B7, and A1 is gone
}
