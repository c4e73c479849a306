#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>

#include <gtest/gtest.h>

#include "feed/feed_state.h"
#include "feed/traffic_clock.h"
#include "services/shell.h"
#include "settings/snapshot.h"

namespace {

// 2024-01-01 was a Monday.
constexpr std::int64_t kMonday2024 = 1704067200;

std::atomic<std::int64_t> g_fakeNow{0};
std::int64_t fakeClock() { return g_fakeNow.load(); }

std::int64_t at(std::int64_t day, int h, int m, int s) { return kMonday2024 + day * 86400 + h * 3600 + m * 60 + s; }

class TrafficClockTest : public ::testing::Test {
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

TEST_F(TrafficClockTest, UnshiftedItIsTheSystemClock) {
    g_fakeNow = at(4, 7, 5, 9);  // Friday 5 January 2024
    EXPECT_EQ(gf_trafficTimeText(), "07:05:09");
    EXPECT_EQ(gf_trafficTimeTextShort(), "07:05");
    g_fakeNow = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(gf_trafficTimeText(), "??:??:??");
    EXPECT_EQ(gf_trafficTimeTextShort(), "??:??");
    EXPECT_EQ(gf_halfHourSlot(), -1);
    EXPECT_EQ(gf_slotAndWeekday(), 0xFFFFFFFFFFFFFFFFull);
}

TEST_F(TrafficClockTest, SlotAndWeekdayComeFromOneReading) {
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

TEST_F(TrafficClockTest, SlotAndWeekdayOfAClockThatAdvancesAtEveryReading) {
    gf_setSecondsClock(&advancingClock);
    for (const int sunday : {6, 13}) {
        g_fakeNow = at(sunday, 23, 59, 59);
        EXPECT_EQ(gf_currentWeekTime(), (WeekTime{7, 47})) << "Sunday's last second, read once";
        EXPECT_EQ(gf_currentWeekTime(), (WeekTime{1, 0})) << "the Monday after, read once";
    }
}

TEST_F(TrafficClockTest, RunsOnTheActiveSourcesTrafficTimeOnlyWhenShifted) {
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

}  // namespace
