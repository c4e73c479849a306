#include <atomic>
#include <cstdint>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "app/shell.h"
#include "feed/feed_state.h"
#include "feed/traffic_clock.h"
#include "foundation/log.h"
#include "foundation/time.h"
#include "settings/snapshot.h"
#include "support/temp_dir.h"

namespace {

// 2024-01-01 was a Monday.
constexpr std::int64_t kMonday2024 = 1704067200;
constexpr std::int64_t kDay = 86400;

std::atomic<std::int64_t> g_fakeNow{0};
std::int64_t fakeClock() { return g_fakeNow.load(); }

std::int64_t at(std::int64_t day, int h, int m, int s) { return kMonday2024 + day * kDay + h * 3600 + m * 60 + s; }

class FakeClockTest : public ::testing::Test {
protected:
    void SetUp() override { gf_setSecondsClock(&fakeClock); }
    void TearDown() override {
        gf_setSecondsClock(nullptr);
        g_rtProfessional.store(false);
        g_timeShiftActive.store(false);
        g_rtAppLastRecordTime.store(0);
        g_rtDirectTrafficTime.store(0);
    }
};

TEST(SlotTest, BoundariesOfTheHalfHours) {
    EXPECT_EQ(gf_slotOfTimeOfDay(10, 29, 29), 20);
    EXPECT_EQ(gf_slotOfTimeOfDay(10, 29, 30), 21);
    EXPECT_EQ(gf_slotOfTimeOfDay(10, 30, 0), 21);
    EXPECT_EQ(gf_slotOfTimeOfDay(10, 59, 59), 21);
    EXPECT_EQ(gf_slotOfTimeOfDay(11, 0, 0), 22);
    EXPECT_EQ(gf_slotOfTimeOfDay(23, 59, 59), 47);
    EXPECT_EQ(gf_slotOfTimeOfDay(0, 0, 0), 0);
    EXPECT_EQ(gf_slotOfSeconds(at(0, 10, 29, 29)), 20);
    EXPECT_EQ(gf_slotOfSeconds(at(3, 10, 29, 30)), 21);
    EXPECT_EQ(gf_slotOfSeconds(at(6, 23, 59, 59)), 47);
    EXPECT_EQ(gf_slotOfSeconds(std::numeric_limits<std::int64_t>::max()), -1);
}

TEST(SlotTest, WeekdaysRunFromMondayOneToSundaySeven) {
    for (int d = 0; d < 7; ++d) {
        EXPECT_EQ(gf_weekdayOfSeconds(at(d, 12, 0, 0)), d + 1);
    }
    EXPECT_EQ(gf_weekdayOfSeconds(at(6, 23, 59, 59)), 7);
    EXPECT_EQ(gf_weekdayOfSeconds(at(7, 0, 0, 0)), 1);
    EXPECT_EQ(gf_weekdayOfSeconds(0), 4);  // 1970-01-01 was a Thursday
    EXPECT_EQ(gf_weekdayName(1), "Mon");
    EXPECT_EQ(gf_weekdayName(7), "Sun");
    EXPECT_EQ(gf_weekdayName(0), "???");
    EXPECT_EQ(gf_weekdayName(8), "???");
    EXPECT_EQ(gf_monthName(1), "Jan");
    EXPECT_EQ(gf_monthName(12), "Dec");
    EXPECT_EQ(gf_monthName(13), "???");
}

TEST_F(FakeClockTest, TextsOfTheSystemClock) {
    g_fakeNow = at(4, 7, 5, 9);  // Friday 5 January 2024
    EXPECT_EQ(gf_utcDateTimeText(), "5 Jan 2024 07:05Z");
    EXPECT_EQ(gf_utcDateText(), "5 Jan 2024");
    EXPECT_EQ(gf_utcTimeText(), "07:05:09");
    EXPECT_EQ(gf_trafficTimeText(), "07:05:09");
    EXPECT_EQ(gf_trafficTimeTextShort(), "07:05");
    g_fakeNow = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(gf_utcDateTimeText(), "Invalid time");
    EXPECT_EQ(gf_utcDateText(), "Invalid date");
    EXPECT_EQ(gf_utcTimeText(), "??:??:??");
    EXPECT_EQ(gf_trafficTimeText(), "??:??:??");
    EXPECT_EQ(gf_trafficTimeTextShort(), "??:??");
    EXPECT_EQ(gf_halfHourSlot(), -1);
    EXPECT_EQ(gf_slotAndWeekday(), 0xFFFFFFFFFFFFFFFFull);
}

TEST_F(FakeClockTest, SlotAndWeekdayComeFromOneReading) {
    g_fakeNow = at(6, 23, 59, 59);  // Sunday, last slot
    EXPECT_EQ(gf_halfHourSlot(), 47);
    EXPECT_EQ(gf_slotAndWeekday(), (std::uint64_t{47} << 32) | 7u);
    const WeekTime week = gf_currentWeekTime();
    EXPECT_EQ(week.day, 7u);
    EXPECT_EQ(week.slot, 47u);
    EXPECT_EQ(week.weekSlot(), 335u);
    EXPECT_TRUE(week.valid());
    g_fakeNow = at(7, 0, 0, 0);  // the Monday after
    EXPECT_EQ(gf_currentWeekTime(), (WeekTime{1, 0}));
    EXPECT_EQ(gf_currentWeekTime().weekSlot(), 0u);
    EXPECT_FALSE(gf_weekTimeOf(0xFFFFFFFFFFFFFFFFull).valid());
}

TEST_F(FakeClockTest, TrafficClockFallsBackToTheSystemClock) {
    g_fakeNow = at(0, 12, 0, 0);
    EXPECT_EQ(gf_nowSeconds(false), at(0, 12, 0, 0));
    EXPECT_EQ(gf_nowSeconds(true), at(0, 12, 0, 0));  // no traffic yet
    g_rtAppLastRecordTime = at(0, 9, 0, 0);
    g_rtDirectTrafficTime = at(0, 8, 0, 0);
    // The active source decides which traffic time counts.
    EXPECT_EQ(gf_nowSeconds(true), isRTDirect() ? at(0, 8, 0, 0) : at(0, 9, 0, 0));
    EXPECT_EQ(gf_nowSeconds(false), at(0, 12, 0, 0));
    // Without an active shift the texts and slots stay on the system clock.
    ASSERT_FALSE(gf_trafficClockShifted());
    EXPECT_EQ(gf_trafficTimeText(), "12:00:00");
    EXPECT_EQ(gf_halfHourSlot(), 24);
}

void setSource(bool rtDirect) {
    auto choice = std::make_shared<StartupChoice>(*startupChoice.load());
    choice->trafficSource = rtDirect ? 0 : 1;
    startupChoice.store(choice);
}

TEST_F(FakeClockTest, ShiftedClockRunsOnTheActiveSourcesTrafficTime) {
    const auto keptChoice = startupChoice.load();
    g_fakeNow = at(2, 12, 0, 0);                 // Wednesday noon
    g_rtAppLastRecordTime = at(1, 23, 59, 40);   // Tuesday, slot 47
    g_rtDirectTrafficTime = at(0, 10, 29, 30);   // Monday, slot 21
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
    EXPECT_EQ(gf_halfHourSlot(), 47);
    EXPECT_EQ(gf_currentWeekTime(), (WeekTime{2, 47}));
    EXPECT_EQ(gf_utcTimeText(), "12:00:00");  // the wall clock stays the wall clock
    setSource(true);
    EXPECT_EQ(gf_nowSeconds(true), at(0, 10, 29, 30));
    EXPECT_EQ(gf_trafficTimeText(), "<<< 10:29:30");
    EXPECT_EQ(gf_currentWeekTime(), (WeekTime{1, 21}));
    // No traffic yet: the system clock, still marked as shifted.
    g_rtDirectTrafficTime = 0;
    EXPECT_EQ(gf_nowSeconds(true), at(2, 12, 0, 0));
    EXPECT_EQ(gf_trafficTimeText(), "<<< 12:00:00");
    EXPECT_EQ(gf_trafficTimeTextShort(), "<<< 12:00");
    startupChoice.store(keptChoice);
}

TEST_F(FakeClockTest, RealClockIsBackAfterTheSeam) {
    gf_setSecondsClock(nullptr);
    const auto now = gf_systemSeconds();
    EXPECT_GT(now, kMonday2024);
}

class HoursTextTest : public tavo::test::TempWorkDirTest {
protected:
    void SetUp() override {
        TempWorkDirTest::SetUp();
        gf_openLogFile();
        gf_flushLog();
        start_ = log().size();
    }
    void TearDown() override {
        gf_logger().close();
        TempWorkDirTest::TearDown();
    }
    std::string log() {
        gf_flushLog();
        std::ifstream in("Log.txt", std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }
    // The log lines written since the last call.
    std::string newLines() {
        const std::string all = log();
        const std::string added = all.substr(start_);
        start_ = all.size();
        return added;
    }
    static HoursBitset set(std::initializer_list<int> slots) {
        HoursBitset b;
        for (const int s : slots) b.set(static_cast<std::size_t>(s));
        return b;
    }
    std::size_t start_ = 0;
};

TEST_F(HoursTextTest, ListsAndRanges) {
    EXPECT_EQ(gf_hours2bitset("5"), set({5}));
    EXPECT_EQ(gf_hours2bitset("1,3, 5"), set({1, 3, 5}));
    EXPECT_EQ(gf_hours2bitset("10:12"), set({10, 11, 12}));
    EXPECT_EQ(gf_hours2bitset(" 0 : 47 "), HoursBitset().set());
    EXPECT_EQ(gf_hours2bitset("7:7"), set({7}));
    EXPECT_EQ(gf_hours2bitset("7abc"), set({7}));
    EXPECT_EQ(gf_hours2bitset(""), HoursBitset());
    EXPECT_EQ(newLines(), "");
}

TEST_F(HoursTextTest, RefusalsAreLoggedOnce) {
    EXPECT_EQ(gf_hours2bitset("1,x,3"), set({1, 3}));
    EXPECT_EQ(newLines(), "==> operator () invalid hour 'x' in 1,x,3\n");
    EXPECT_EQ(gf_hours2bitset("12:10"), HoursBitset());
    EXPECT_EQ(newLines(), "==> gf_hours2bitset descending range not allowed (12:10 in 12:10)\n");
    EXPECT_EQ(gf_hours2bitset("1:2:3"), HoursBitset());
    EXPECT_EQ(newLines(), "==> gf_hours2bitset more than one colon char in: 1:2:3\n");
    EXPECT_EQ(gf_hours2bitset("5:"), HoursBitset());
    EXPECT_EQ(newLines(), "==> operator () invalid hour '' in 5:\n");
    EXPECT_EQ(gf_hours2bitset("48"), HoursBitset());
    EXPECT_EQ(newLines(), "==> operator () invalid hour '48' in 48\n");
    EXPECT_EQ(gf_hours2bitset("-1"), HoursBitset());
    EXPECT_EQ(newLines(), "==> operator () invalid hour '-1' in -1\n");
    EXPECT_EQ(gf_hours2bitset("99999999999"), HoursBitset());
    EXPECT_EQ(newLines(), "==> operator () invalid hour '99999999999' in 99999999999\n");
    EXPECT_EQ(gf_hours2bitset("1,,2"), set({1, 2}));
    EXPECT_EQ(newLines(), "==> operator () invalid hour '' in 1,,2\n");
    // An invalid part before a third part: both logged, no colon message.
    EXPECT_EQ(gf_hours2bitset("x:2:3"), HoursBitset());
    EXPECT_EQ(newLines(), "==> operator () invalid hour 'x' in x:2:3\n");
    EXPECT_EQ(gf_hours2bitset("1:x:3"), HoursBitset());
    EXPECT_EQ(newLines(), "==> operator () invalid hour 'x' in 1:x:3\n");
}

TEST_F(HoursTextTest, TextOfASet) {
    EXPECT_EQ(gf_bitset2hours(set({7})), "7");
    EXPECT_EQ(gf_bitset2hours(set({10, 11, 12})), "10:12");
    EXPECT_EQ(gf_bitset2hours(HoursBitset().set()), "0:47");
    EXPECT_EQ(gf_bitset2hours(set({47})), "47");
    EXPECT_FALSE(gf_bitset2hours(set({1, 3})).has_value());
    EXPECT_FALSE(gf_bitset2hours(HoursBitset()).has_value());
    // Every unbroken run reads back as itself.
    for (int first = 0; first < 48; first += 5) {
        for (int last = first; last < 48; last += 3) {
            HoursBitset b;
            for (int s = first; s <= last; ++s) b.set(static_cast<std::size_t>(s));
            const auto text = gf_bitset2hours(b);
            ASSERT_TRUE(text);
            EXPECT_EQ(gf_hours2bitset(*text), b) << *text;
        }
    }
    HoursBitset b;
    EXPECT_THROW(b.set(48), std::out_of_range);
    EXPECT_THROW((void)b.test(48), std::out_of_range);
}

}  // namespace
