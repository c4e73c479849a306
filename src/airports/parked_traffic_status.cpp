#include "airports/parked_traffic_status.h"

#include <cstdint>

#include "airports/loaded_airport.h"
#include "airports/parking_state.h"
#include "airports/stand_searches.h"
#include "engine/engine_lists.h"
#include "engine/removal_policies.h"
#include "services/gui.h"

bool gf_parkedTrafficSetUp() { return gf_loadedAirport().fileLoaded; }

bool gf_loadedAirportHasStands() {
    const LoadedAirport loaded = gf_loadedAirport();
    return loaded.fileLoaded && loaded.standCount > 0;
}

std::int64_t gf_countStaticAircraft(bool report) {
    const WeekTime now = gf_weekTimeOf(g_weekTime.load());
    const std::int64_t nowIndex = std::int64_t{now.day} * kSlotsPerDay - kSlotsPerDay + now.slot;
    std::int64_t count = 0;
    std::int64_t slots = 0;
    std::int64_t aged = 0;
    for (const AcBase& s : g_staticAircraft) {
        if (s.simState != AcSimState::active && s.simState != AcSimState::removingfromsim) continue;
        ++count;
        const std::optional<WeekTime> since = gf_parkWeekTime(s.parkTime);
        if (!since || since->day < 1) continue;
        const std::int64_t sinceIndex = std::int64_t{since->day} * kSlotsPerDay - kSlotsPerDay + since->slot;
        // A static placed later in the week than now (before the week turned)
        // has no stay that can be told.
        if (sinceIndex > nowIndex) continue;
        slots += nowIndex - sinceIndex;
        ++aged;
    }
    // A week search picks flights of other days, whose stay says nothing.
    if (report && !g_weekSearchUsed) {
        const double hours = aged == 0 ? 0.0 : static_cast<double>(slots) / (2.0 * static_cast<double>(aged)) + 0.5;
        Gui::showParkedTrafficValue(static_cast<float>(hours));
    }
    return count;
}
