// Threads that intern the same new codes at the same moment while others
// read texts by index.

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>

#include "liveries/code_tables.h"
#include "liveries/dbase.h"
#include "support/dbase_builder.h"

namespace {

class CodeTablesThreads : public ::testing::Test {
protected:
    void SetUp() override { tavo::test::resetToSmallDbase(); }
    void TearDown() override { gf_resetAircraftDatabaseForTest(); }
};

TEST_F(CodeTablesThreads, RacingThreadsGetOneIndexPerCode) {
    constexpr int kInterners = 8, kReaders = 3, kCodes = 1000;
    std::vector<std::string> codes;
    for (int i = 0; i < kCodes; ++i) codes.push_back(fmt::format("RACE{}", i));
    for (int table = 0; table < 2; ++table) {
        SCOPED_TRACE(table == 0 ? "airlines" : "models");
        const auto intern = [table](const std::string& code) {
            return table == 0 ? gf_internAirlineCode(code) : gf_internModelCode(code);
        };
        const auto count = [table] { return table == 0 ? gf_airlineCodeCount() : gf_modelCodeCount(); };
        const auto textAt = [table](std::uint16_t i) { return table == 0 ? gf_airlineCodeAt(i) : gf_modelCodeAt(i); };

        const std::size_t before = count();
        std::vector<std::vector<std::uint16_t>> got(kInterners, std::vector<std::uint16_t>(kCodes));
        std::latch start(kInterners + kReaders);
        std::atomic<int> interning{kInterners};
        std::atomic<std::size_t> badReads{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < kInterners; ++t) {
            threads.emplace_back([&, t] {
                start.arrive_and_wait();
                for (int i = 0; i < kCodes; ++i) got[t][i] = intern(codes[i]);
                interning.fetch_sub(1);
            });
        }
        for (int r = 0; r < kReaders; ++r) {
            threads.emplace_back([&] {
                start.arrive_and_wait();
                do {
                    const std::size_t n = count();
                    for (std::size_t i = before; i < n; ++i) {
                        const std::string_view text = textAt(static_cast<std::uint16_t>(i));
                        if (!text.starts_with("RACE")) badReads.fetch_add(1);
                    }
                } while (interning.load() > 0);
            });
        }
        for (auto& thread : threads) thread.join();

        EXPECT_EQ(count(), before + kCodes) << "each code appended exactly once";
        EXPECT_EQ(badReads.load(), 0u) << "a published index always reads its complete text";
        for (int i = 0; i < kCodes; ++i) {
            for (int t = 1; t < kInterners; ++t) ASSERT_EQ(got[t][i], got[0][i]) << codes[i];
            ASSERT_EQ(textAt(got[0][i]), codes[i]);
        }
    }
}

}  // namespace
