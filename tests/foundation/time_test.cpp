#include <atomic>
#include <cstdint>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "foundation/time.h"
#include "support/temp_dir.h"

namespace {

// 2024-01-01 was a Monday.
constexpr std::int64_t kMonday2024 = 1704067200;

std::atomic<std::int64_t> g_fakeNow{0};
std::int64_t fakeClock() { return g_fakeNow.load(); }

std::int64_t at(std::int64_t day, int h, int m, int s) { return kMonday2024 + day * 86400 + h * 3600 + m * 60 + s; }

class FakeClockTest : public ::testing::Test {
protected:
    void SetUp() override { gf_setSecondsClock(&fakeClock); }
    void TearDown() override { gf_setSecondsClock(nullptr); }
};

TEST(SlotTest, BoundariesOfTheHalfHoursAndWeekdays) {
    EXPECT_EQ(gf_slotOfTimeOfDay(0, 0, 0), 0);
    EXPECT_EQ(gf_slotOfTimeOfDay(10, 29, 29), 20);
    EXPECT_EQ(gf_slotOfTimeOfDay(10, 29, 30), 21);
    EXPECT_EQ(gf_slotOfTimeOfDay(10, 59, 59), 21);
    EXPECT_EQ(gf_slotOfTimeOfDay(11, 0, 0), 22);
    EXPECT_EQ(gf_slotOfTimeOfDay(23, 59, 59), 47);
    EXPECT_EQ(gf_slotOfSeconds(at(3, 10, 29, 30)), 21);
    EXPECT_EQ(gf_slotOfSeconds(std::numeric_limits<std::int64_t>::max()), -1);
    for (int d = 0; d < 7; ++d) EXPECT_EQ(gf_weekdayOfSeconds(at(d, 12, 0, 0)), d + 1);
    EXPECT_EQ(gf_weekdayOfSeconds(at(6, 23, 59, 59)), 7);
    EXPECT_EQ(gf_weekdayOfSeconds(at(7, 0, 0, 0)), 1);
    EXPECT_EQ(gf_weekdayName(7), "Sun");
    EXPECT_EQ(gf_weekdayName(0), "???");
    EXPECT_EQ(gf_monthName(13), "???");
}

TEST_F(FakeClockTest, TextsOfTheSystemClock) {
    g_fakeNow = at(4, 7, 5, 9);  // Friday 5 January 2024
    EXPECT_EQ(gf_utcDateTimeText(), "5 Jan 2024 07:05Z");
    EXPECT_EQ(gf_utcDateText(), "5 Jan 2024");
    EXPECT_EQ(gf_utcTimeText(), "07:05:09");
    EXPECT_EQ(gf_timeOfDayText(at(4, 7, 5, 9), false), "07:05");
    EXPECT_EQ(gf_slotAndWeekdayOf(at(6, 23, 59, 59)), (std::uint64_t{47} << 32) | 7u);
    g_fakeNow = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(gf_utcDateTimeText(), "Invalid time");
    EXPECT_EQ(gf_utcDateText(), "Invalid date");
    EXPECT_EQ(gf_utcTimeText(), "??:??:??");
    EXPECT_EQ(gf_timeOfDayText(g_fakeNow, false), std::nullopt);
    EXPECT_EQ(gf_slotAndWeekdayOf(g_fakeNow), 0xFFFFFFFFFFFFFFFFull);
    EXPECT_FALSE(gf_weekTimeOf(0xFFFFFFFFFFFFFFFFull).valid());
}

class HoursTextTest : public tavo::test::LogFileTest {
protected:
    static HoursBitset set(std::initializer_list<int> slots) {
        HoursBitset b;
        for (const int s : slots) b.set(static_cast<std::size_t>(s));
        return b;
    }
};

TEST_F(HoursTextTest, ListsRangesAndRefusals) {
    struct Case {
        const char* text;
        HoursBitset hours;
        std::string logged;
    };
    const std::string bad = "==> operator () invalid hour ";
    const Case cases[] = {
        {"1,3, 5", set({1, 3, 5}), ""},
        {"10:12", set({10, 11, 12}), ""},
        {" 0 : 47 ", HoursBitset().set(), ""},
        {"7:7", set({7}), ""},
        {"7abc", set({7}), ""},
        {"1,x,3", set({1, 3}), bad + "'x' in 1,x,3\n"},
        {"12:10", {}, "==> gf_hours2bitset descending range not allowed (12:10 in 12:10)\n"},
        {"1:2:3", {}, "==> gf_hours2bitset more than one colon char in: 1:2:3\n"},
        {"5:", {}, bad + "'' in 5:\n"},
        {"48", {}, bad + "'48' in 48\n"},
        {"-1", {}, bad + "'-1' in -1\n"},
        {"99999999999", {}, bad + "'99999999999' in 99999999999\n"},
        {"x:2:3", {}, bad + "'x' in x:2:3\n"},  // the bad part is named, not the colons
    };
    for (const Case& c : cases) {
        EXPECT_EQ(gf_hours2bitset(c.text), c.hours) << c.text;
        EXPECT_EQ(newLogLines(), c.logged) << c.text;
    }
}

TEST_F(HoursTextTest, TextOfASetReadsBackAsItself) {
    EXPECT_EQ(gf_bitset2hours(set({47})), "47");
    EXPECT_FALSE(gf_bitset2hours(set({1, 3})).has_value());
    EXPECT_FALSE(gf_bitset2hours(HoursBitset()).has_value());
    for (int first = 0; first < 48; first += 5) {
        for (int last = first; last < 48; last += 3) {
            HoursBitset b;
            for (int s = first; s <= last; ++s) b.set(static_cast<std::size_t>(s));
            const auto text = gf_bitset2hours(b);
            ASSERT_TRUE(text);
            EXPECT_EQ(gf_hours2bitset(*text), b) << *text;
        }
    }
    EXPECT_THROW(HoursBitset().set(48), std::out_of_range);
}

}  // namespace
