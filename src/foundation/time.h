#pragma once
// Times of the program: all UTC, in signed 64-bit seconds since 1970.
//
// This is the wall clock and what is computed from any time. The traffic
// clock, which runs on the traffic source's own time when the user shifted it
// into the past, is the feed's (feed/traffic_clock.h).

#include <bitset>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Seconds since 1970 from the system clock (truncated), or from the test seam.
std::int64_t gf_systemSeconds();

// Tests replace the system clock with a function of their own; nullptr puts the
// real clock back.
using SecondsClock = std::int64_t (*)();
void gf_setSecondsClock(SecondsClock clock);

// The system clock in 100 ns units since 1970 (the unit time stamps of parked
// aircraft are kept in), or the test seam's value.
std::int64_t gf_systemClock100ns();
using Clock100ns = std::int64_t (*)();
// nullptr puts the real clock back.
void gf_setSystemClock100ns(Clock100ns clock);

// "<day> <Mon> <year> <hh>:<mm>Z" of the system clock; "Invalid time" when the
// time cannot be broken down.
std::string gf_utcDateTimeText();
// "<day> <Mon> <year>" of the system clock; "Invalid date" on failure.
std::string gf_utcDateText();
// "hh:mm:ss" of the system clock; "??:??:??" on failure.
std::string gf_utcTimeText();
// "hh:mm:ss" (withSeconds) or "hh:mm" of a time; nothing when the time cannot
// be broken down.
std::optional<std::string> gf_timeOfDayText(std::int64_t seconds, bool withSeconds);

// Half-hour slots: 0..47 of the UTC day. The second half of every hour starts
// at minute 29 second 30, thirty seconds before the half hour.
inline constexpr int kSlotsPerDay = 48;
inline constexpr int kSlotsPerWeek = 336;

// The slot of a time of day.
constexpr int gf_slotOfTimeOfDay(int hour, int minute, int second) {
    return 2 * hour + ((minute > 29 || (minute == 29 && second >= 30)) ? 1 : 0);
}
// The slot of a time in seconds since 1970; -1 when it cannot be broken down.
int gf_slotOfSeconds(std::int64_t seconds);
// The weekday of a time, 1 = Monday .. 7 = Sunday; -1 on failure.
int gf_weekdayOfSeconds(std::int64_t seconds);

// The slot (upper 32 bits) and weekday 1..7 (lower 32 bits) of a time; a half
// that cannot be converted is 0xFFFFFFFF.
std::uint64_t gf_slotAndWeekdayOf(std::int64_t seconds);

// A point of the week: day 1..7 (Monday 1) and half-hour slot 0..47.
struct WeekTime {
    std::uint32_t day = 0;
    std::uint32_t slot = 0;
    // 0..335 counted from Monday 00:00; only meaningful for a valid value.
    std::uint32_t weekSlot() const { return (day - 1) * kSlotsPerDay + slot; }
    bool valid() const { return day >= 1 && day <= 7 && slot < kSlotsPerDay; }
    friend bool operator==(const WeekTime&, const WeekTime&) = default;
};

// Unpacks a packed slot and weekday (gf_slotAndWeekdayOf, and the traffic
// clock's gf_slotAndWeekday).
constexpr WeekTime gf_weekTimeOf(std::uint64_t slotAndWeekday) {
    return WeekTime{static_cast<std::uint32_t>(slotAndWeekday & 0xFFFFFFFFu),
                    static_cast<std::uint32_t>(slotAndWeekday >> 32)};
}

// "Mon".."Sun" for 1..7, "???" otherwise.
std::string_view gf_weekdayName(int weekday);
// "Jan".."Dec" for 1..12, "???" otherwise.
std::string_view gf_monthName(int month);

// A set of the 48 half-hour slots of a day, bit i for slot i. set() and test()
// of a slot at 48 or above throw std::out_of_range.
using HoursBitset = std::bitset<kSlotsPerDay>;

// Reads an hours text: a range "a:b" (inclusive, ascending) or a list
// "a,b,c". Refusals are logged; a bad range gives the empty set, a bad list
// item is skipped.
HoursBitset gf_hours2bitset(std::string_view text);
// "a" for one slot, "a:b" for one unbroken run; nothing for an empty set or a
// set with a gap.
std::optional<std::string> gf_bitset2hours(const HoursBitset& hours);
