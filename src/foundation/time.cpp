#include "foundation/time.h"

#include <ctime>

#include <fmt/format.h>

namespace {

const char* lf_monthAbbreviation(int month) {
    static constexpr const char* names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    return month >= 1 && month <= 12 ? names[month - 1] : "???";
}

}  // namespace

std::string gf_utcDateTimeText() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    if (gmtime_r(&now, &tm) == nullptr) {
        return "Invalid time";
    }
    return fmt::format("{} {} {} {:02}:{:02}Z", tm.tm_mday, lf_monthAbbreviation(tm.tm_mon + 1),
                       tm.tm_year + 1900, tm.tm_hour, tm.tm_min);
}
