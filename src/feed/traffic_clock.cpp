#include "feed/traffic_clock.h"

#include <fmt/format.h>

#include "feed/feed_state.h"
#include "services/shell.h"
#include "settings/snapshot.h"

std::atomic<std::int64_t> g_rtAppLastRecordTime{0};
std::atomic<std::int64_t> g_rtDirectTrafficTime{0};

namespace {

// The second the traffic texts and slots describe: the traffic clock when it
// is shifted, the system clock otherwise.
std::int64_t lf_displaySeconds(bool shifted) { return shifted ? gf_nowSeconds(true) : gf_systemSeconds(); }

std::string lf_trafficText(bool withSeconds, std::string_view failure) {
    const bool shifted = gf_trafficClockShifted();
    const std::optional<std::string> text = gf_timeOfDayText(lf_displaySeconds(shifted), withSeconds);
    if (!text) {
        return std::string(failure);
    }
    return shifted ? fmt::format("<<< {}", *text) : *text;
}

}  // namespace

bool gf_trafficClockShifted() { return g_rtProfessional.load() && g_timeShiftActive.load(); }

std::int64_t gf_nowSeconds(bool useTrafficClock) {
    if (useTrafficClock) {
        const std::int64_t traffic = isRTDirect() ? g_rtDirectTrafficTime.load() : g_rtAppLastRecordTime.load();
        if (traffic != 0) {
            return traffic;
        }
    }
    return gf_systemSeconds();
}

std::string gf_trafficTimeText() { return lf_trafficText(true, "??:??:??"); }

std::string gf_trafficTimeTextShort() { return lf_trafficText(false, "??:??"); }

int gf_halfHourSlot() { return gf_slotOfSeconds(lf_displaySeconds(gf_trafficClockShifted())); }

// One reading of the clock for both halves, so that slot and weekday cannot
// straddle midnight.
std::uint64_t gf_slotAndWeekday() { return gf_slotAndWeekdayOf(lf_displaySeconds(gf_trafficClockShifted())); }

WeekTime gf_currentWeekTime() { return gf_weekTimeOf(gf_slotAndWeekday()); }
