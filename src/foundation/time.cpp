#include "foundation/time.h"

#include <atomic>
#include <cctype>
#include <chrono>
#include <charconv>
#include <ctime>
#include <limits>
#include <vector>

#include <fmt/format.h>

#include "foundation/log.h"
#include "foundation/text.h"

namespace {

std::atomic<SecondsClock> l_secondsClock{nullptr};
std::atomic<Clock100ns> l_clock100ns{nullptr};

// Breaks a time down into UTC; false when the C library cannot.
bool lf_breakDown(std::int64_t seconds, std::tm& tm) {
    if (seconds < std::numeric_limits<std::time_t>::min() || seconds > std::numeric_limits<std::time_t>::max()) {
        return false;
    }
    const auto t = static_cast<std::time_t>(seconds);
    return gmtime_r(&t, &tm) != nullptr;
}

int lf_weekdayOf(const std::tm& tm) { return tm.tm_wday == 0 ? 7 : tm.tm_wday; }

}  // namespace

std::int64_t gf_systemSeconds() {
    if (const SecondsClock clock = l_secondsClock.load()) {
        return clock();
    }
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void gf_setSecondsClock(SecondsClock clock) { l_secondsClock.store(clock); }

std::int64_t gf_systemClock100ns() {
    if (const Clock100ns clock = l_clock100ns.load()) return clock();
    using Units = std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>;
    return std::chrono::duration_cast<Units>(std::chrono::system_clock::now().time_since_epoch()).count();
}

void gf_setSystemClock100ns(Clock100ns clock) { l_clock100ns.store(clock); }

std::string gf_utcDateTimeText() {
    std::tm tm{};
    if (!lf_breakDown(gf_systemSeconds(), tm)) {
        return "Invalid time";
    }
    return fmt::format("{} {} {} {:02}:{:02}Z", tm.tm_mday, gf_monthName(tm.tm_mon + 1), tm.tm_year + 1900,
                       tm.tm_hour, tm.tm_min);
}

std::string gf_utcDateText() {
    std::tm tm{};
    if (!lf_breakDown(gf_systemSeconds(), tm)) {
        return "Invalid date";
    }
    return fmt::format("{} {} {}", tm.tm_mday, gf_monthName(tm.tm_mon + 1), tm.tm_year + 1900);
}

std::string gf_utcTimeText() { return gf_timeOfDayText(gf_systemSeconds(), true).value_or("??:??:??"); }

std::optional<std::string> gf_timeOfDayText(std::int64_t seconds, bool withSeconds) {
    std::tm tm{};
    if (!lf_breakDown(seconds, tm)) {
        return std::nullopt;
    }
    return withSeconds ? fmt::format("{:02}:{:02}:{:02}", tm.tm_hour, tm.tm_min, tm.tm_sec)
                       : fmt::format("{:02}:{:02}", tm.tm_hour, tm.tm_min);
}

int gf_slotOfSeconds(std::int64_t seconds) {
    std::tm tm{};
    if (!lf_breakDown(seconds, tm)) {
        return -1;
    }
    return gf_slotOfTimeOfDay(tm.tm_hour, tm.tm_min, tm.tm_sec);
}

int gf_weekdayOfSeconds(std::int64_t seconds) {
    std::tm tm{};
    if (!lf_breakDown(seconds, tm)) {
        return -1;
    }
    return lf_weekdayOf(tm);
}

std::uint64_t gf_slotAndWeekdayOf(std::int64_t seconds) {
    const int slot = gf_slotOfSeconds(seconds);
    const int weekday = gf_weekdayOfSeconds(seconds);
    const std::uint64_t high = slot < 0 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(slot);
    const std::uint64_t low = weekday < 0 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(weekday);
    return (high << 32) | low;
}

std::string_view gf_weekdayName(int weekday) {
    static constexpr std::string_view names[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    return weekday >= 1 && weekday <= 7 ? names[weekday - 1] : std::string_view{"???"};
}

std::string_view gf_monthName(int month) {
    static constexpr std::string_view names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    return month >= 1 && month <= 12 ? names[month - 1] : std::string_view{"???"};
}

namespace {

// One slot number of an hours text: optional '-', at least one digit, read up
// to the first non-digit; it must fit 32 bits and be a slot (0..47).
std::optional<std::uint32_t> lf_readHour(std::string_view part, std::string_view whole) {
    const std::string_view trimmed = gf_trimView(part, whiteSpaceCharacters);
    std::size_t digitsAt = (!trimmed.empty() && trimmed.front() == '-') ? 1 : 0;
    std::int32_t value = 0;
    bool ok = digitsAt < trimmed.size() && trimmed[digitsAt] >= '0' && trimmed[digitsAt] <= '9';
    if (ok) {
        const auto [end, ec] = std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), value);
        ok = ec == std::errc() && static_cast<std::uint32_t>(value) < static_cast<std::uint32_t>(kSlotsPerDay);
        (void)end;
    }
    if (!ok) {
        gf_logError(fmt::format("{} invalid hour '{}' in {}", "operator ()", trimmed, whole));
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

}  // namespace

HoursBitset gf_hours2bitset(std::string_view text) {
    HoursBitset hours;
    if (text.find(':') != std::string_view::npos) {
        std::uint32_t bounds[2] = {0, 0};
        std::size_t count = 0;
        bool invalid = false;
        std::size_t pos = 0;
        for (;;) {
            const std::size_t colon = text.find(':', pos);
            const std::string_view part =
                text.substr(pos, colon == std::string_view::npos ? std::string_view::npos : colon - pos);
            if (count == 2) {
                if (!invalid) {
                    gf_logError(fmt::format("{} more than one colon char in: {}", "gf_hours2bitset", text));
                    return {};
                }
                // Further parts after an invalid one are still read (and logged).
            }
            if (const auto hour = lf_readHour(part, text)) {
                if (count < 2) bounds[count] = *hour;
            } else {
                invalid = true;
            }
            ++count;
            if (colon == std::string_view::npos) break;
            pos = colon + 1;
        }
        if (invalid) {
            return {};
        }
        if (bounds[0] > bounds[1]) {
            gf_logError(fmt::format("{} descending range not allowed ({}:{} in {})", "gf_hours2bitset", bounds[0],
                                    bounds[1], text));
            return {};
        }
        for (std::uint32_t slot = bounds[0]; slot <= bounds[1]; ++slot) {
            hours.set(slot);
        }
        return hours;
    }
    if (text.empty()) {
        return hours;
    }
    std::size_t pos = 0;
    for (;;) {
        const std::size_t comma = text.find(',', pos);
        const std::string_view part =
            text.substr(pos, comma == std::string_view::npos ? std::string_view::npos : comma - pos);
        if (const auto hour = lf_readHour(part, text)) {
            hours.set(*hour);
        }
        if (comma == std::string_view::npos) break;
        pos = comma + 1;
    }
    return hours;
}

std::optional<std::string> gf_bitset2hours(const HoursBitset& hours) {
    if (hours.none()) {
        return std::nullopt;
    }
    std::size_t first = 0;
    while (!hours.test(first)) ++first;
    std::size_t last = hours.size() - 1;
    while (!hours.test(last)) --last;
    if (hours.count() != last - first + 1) {
        return std::nullopt;
    }
    if (first == last) {
        return fmt::format("{}", first);
    }
    return fmt::format("{}:{}", first, last);
}
