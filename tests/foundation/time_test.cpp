#include <atomic>
#include <cstdint>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "feed/feed_state.h"
#include "feed/traffic_clock.h"
#include "foundation/time.h"
#include "services/shell.h"
#include "settings/snapshot.h"
#include "support/temp_dir.h"

namespace {

// 2024-01-01 was a Monday.
constexpr std::int64_t kMonday2024 = 1704067200;

std::atomic<std::int64_t> g_fakeNow{0};
std::int64_t fakeClock() { return g_fakeNow.load(); }

std::int64_t at(std::int64_t day, int h, int m, int s) { return kMonday2024 + day * 86400 + h * 3600 + m * 60 + s; }

class FakeClockTest : public ::testing::Test {
protected:
    void SetUp() override {
        gf_setSecondsClock(&fakeClock);
        keptChoice_ = startupChoice.load();
    }
    void TearDown() override {
        gf_setSecondsClock(nullptr);
        startupChoice.store(keptChoice_);
        g_rtProfessional.store(false);
        g_timeShiftActive.store(false);
        g_rtAppLastRecordTime.store(0);
        g_rtDirectTrafficTime.store(0);
    }
    static void setSource(bool rtDirect) {
        auto choice = std::make_shared<StartupChoice>(*startupChoice.load());
        choice->trafficSource = rtDirect ? 0 : 1;
        startupChoice.store(choice);
    }
    decltype(startupChoice.load()) keptChoice_;
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
    EXPECT_EQ(gf_trafficTimeTextShort(), "07:05");
    g_fakeNow = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(gf_utcDateTimeText(), "Invalid time");
    EXPECT_EQ(gf_utcDateText(), "Invalid date");
    EXPECT_EQ(gf_trafficTimeText(), "??:??:??");
    EXPECT_EQ(gf_halfHourSlot(), -1);
    EXPECT_EQ(gf_slotAndWeekday(), 0xFFFFFFFFFFFFFFFFull);
    EXPECT_FALSE(gf_weekTimeOf(0xFFFFFFFFFFFFFFFFull).valid());
}

TEST_F(FakeClockTest, SlotAndWeekdayComeFromOneReading) {
    g_fakeNow = at(6, 23, 59, 59);  // Sunday, last slot
    EXPECT_EQ(gf_slotAndWeekday(), (std::uint64_t{47} << 32) | 7u);
    EXPECT_EQ(gf_currentWeekTime(), (WeekTime{7, 47}));
    EXPECT_EQ(gf_currentWeekTime().weekSlot(), 335u);
    g_fakeNow = at(7, 0, 0, 0);  // the Monday after
    EXPECT_EQ(gf_currentWeekTime(), (WeekTime{1, 0}));
}

// A clock that moves on by a second at every reading: read twice, slot and
// weekday would come from two sides of midnight (Sunday's last slot with
// Monday, or the reverse).
std::int64_t advancingClock() { return g_fakeNow.fetch_add(1); }

TEST_F(FakeClockTest, SlotAndWeekdayOfAClockThatAdvancesAtEveryReading) {
    gf_setSecondsClock(&advancingClock);
    for (const int sunday : {6, 13}) {
        g_fakeNow = at(sunday, 23, 59, 59);
        EXPECT_EQ(gf_currentWeekTime(), (WeekTime{7, 47})) << "Sunday's last second, read once";
        EXPECT_EQ(gf_currentWeekTime(), (WeekTime{1, 0})) << "the Monday after, read once";
    }
}

TEST_F(FakeClockTest, TrafficClockRunsOnTheActiveSourcesTrafficTimeOnlyWhenShifted) {
    g_fakeNow = at(2, 12, 0, 0);                // Wednesday noon
    EXPECT_EQ(gf_nowSeconds(true), at(2, 12, 0, 0));  // no traffic yet
    g_rtAppLastRecordTime = at(1, 23, 59, 40);  // Tuesday, slot 47
    g_rtDirectTrafficTime = at(0, 10, 29, 30);  // Monday, slot 21
    EXPECT_EQ(gf_nowSeconds(false), at(2, 12, 0, 0));
    // A shift without the professional edition changes nothing.
    g_timeShiftActive = true;
    EXPECT_FALSE(gf_trafficClockShifted());
    EXPECT_EQ(gf_trafficTimeText(), "12:00:00");
    EXPECT_EQ(gf_halfHourSlot(), 24);
    g_rtProfessional = true;
    ASSERT_TRUE(gf_trafficClockShifted());
    setSource(false);
    EXPECT_EQ(gf_trafficTimeText(), "<<< 23:59:40");
    EXPECT_EQ(gf_trafficTimeTextShort(), "<<< 23:59");
    EXPECT_EQ(gf_currentWeekTime(), (WeekTime{2, 47}));
    EXPECT_EQ(gf_utcTimeText(), "12:00:00");  // the wall clock stays the wall clock
    setSource(true);
    EXPECT_EQ(gf_trafficTimeText(), "<<< 10:29:30");
    EXPECT_EQ(gf_currentWeekTime(), (WeekTime{1, 21}));
    // No traffic yet: the system clock, still marked as shifted.
    g_rtDirectTrafficTime = 0;
    EXPECT_EQ(gf_trafficTimeText(), "<<< 12:00:00");
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
