#include "airports/static_placement.h"

#include <algorithm>
#include <exception>
#include <iterator>
#include <unordered_map>
#include <unordered_set>

#include <fmt/format.h>

#include "airports/loaded_airport.h"
#include "airports/parking_state.h"
#include "airports/stand_searches.h"
#include "engine/engine_lists.h"
#include "engine/removal.h"
#include "engine/services.h"
#include "engine/spawn.h"
#include "engine/stands.h"
#include "foundation/geodesy.h"
#include "foundation/hash.h"
#include "foundation/log.h"
#include "liveries/code_tables.h"
#include "liveries/livery_matching.h"

std::vector<StaticToPlace> staticsToPlace;
std::vector<StaticRemoval> staticRemovals;

namespace {

// Static hexids run 1..9999 and repeat; 0 is never one.
constexpr std::uint32_t kStaticNumbers = 10000;

std::uint32_t l_lastStaticNumber = 0;

bool lf_holdsStand(AcPhase phase) {
    return phase == AcPhase::pushing_back || phase == AcPhase::pushed_back || phase == AcPhase::parking ||
           phase == AcPhase::parked;
}

// The line of an aircraft standing on the item's stand or next to it.
std::string lf_inTheWayLine(const StaticToPlace& item, const std::string& standName, std::string_view kind,
                            const AcBase& other) {
    if (other.standId == item.standId)
        return fmt::format("{:14}: no static parking for {}, {} aircraft {} standing here", standName, item.callsign1,
                           kind, other.callsign);
    return fmt::format("{:14}: no static parking for {}, {} aircraft {} is adjacent at {}, possibly colliding",
                       standName, item.callsign1, kind, other.callsign, gf_standNameById(other.standId));
}

// A static that is not on its way out of the simulator stands in the way of
// a static planned on its stand or on a stand its stand excludes.
bool lf_staticStandsInTheWay(const AcBase& s, std::int32_t standId) {
    return s.simState != AcSimState::removingfromsim && lf_standExcludes(s.standId, standId);
}

// The reason an aircraft in the way gives, or nothing when the stand is free.
std::optional<std::string> lf_whyNotFree(const StaticToPlace& item, const std::string& standName) {
    for (const LiveAc& ac : g_liveAircraft)
        if (lf_holdsStand(ac.phase) && lf_standExcludes(ac.standId, item.standId))
            return lf_inTheWayLine(item, standName, "live", ac);
    for (const AcBase& s : g_staticAircraft)
        if (lf_staticStandsInTheWay(s, item.standId)) return lf_inTheWayLine(item, standName, "static", s);
    if (gf_liveStandUse(item.standId, 0) != 0)
        return fmt::format("{:14}: no static parking for {}, live aircraft occupies the stand", standName,
                           item.callsign1);
    return std::nullopt;
}

std::uint64_t lf_packWeekTime(WeekTime t) { return (std::uint64_t{t.slot} << 32) | t.day; }

bool lf_isNumberHeld(std::uint32_t number) {
    return std::any_of(g_staticAircraft.begin(), g_staticAircraft.end(),
                       [number](const AcBase& s) { return s.hexid == number; });
}

}  // namespace

std::optional<std::uint32_t> gf_nextStaticNumber() {
    std::uint32_t n = l_lastStaticNumber;
    for (std::uint32_t tried = 0; tried < kStaticNumbers; ++tried) {
        n = (n + 1) % kStaticNumbers;
        // Two statics with one number would be mistaken for each other when
        // one of them is found or removed.
        if (n == 0 || lf_isNumberHeld(n)) continue;
        l_lastStaticNumber = n;
        return n;
    }
    return std::nullopt;
}

void gf_resetStaticNumber(std::uint32_t last) { l_lastStaticNumber = last % kStaticNumbers; }

void gf_placeNextStaticAircraft() {
    if (staticsToPlace.empty()) return;
    const StaticToPlace item = std::move(staticsToPlace.back());
    staticsToPlace.pop_back();

    if (!gf_isCategoryIncluded(gf_getModelCategory(item.key.model))) return;
    const Stand* stand = item.standId >= 1 ? gf_standById(item.standId) : nullptr;
    if (stand == nullptr) {
        gf_logError(fmt::format("stand with id {} not found", item.standId));
        return;
    }
    if (const auto reason = lf_whyNotFree(item, stand->name)) {
        gf_log(*reason);
        return;
    }
    const std::optional<std::uint32_t> number = gf_nextStaticNumber();
    if (!number) {
        gf_logError(fmt::format("{:14}: no static parking for {}, every static number is in use", stand->name,
                                item.callsign1));
        return;
    }

    FlightIdentity identity;
    identity.key = item.key;
    identity.callsign = !item.callsign1.empty() ? lf_determineStaticCallsign(item)
                                                : fmt::format("{}{}", gf_airlineCodeAt(item.key.airline), *number);
    identity.identity2 = item.callsign1;
    identity.identity3 = item.callsign2;
    identity.registration = item.registration;
    AcInfo info = gf_makeAcInfo(identity);
    info.hexid = *number;
    if (!gf_matchLiveryParked(info, *stand)) return;

    const LaLo position{stand->latitude, stand->longitude};
    AcBase ac = gf_initStaticAircraft(info, item.standId, position, stand->heading, stand->cargo);
    ac.fromAirportFile = item.source;
    ac.realHexid = item.hexid;
    const WeekTime now = gf_weekTimeOf(g_weekTime.load());
    ac.parkTime = static_cast<double>(lf_packWeekTime(gf_weekTimeBefore(now, item.ageSlots)));
    ac.simState = AcSimState::adding2sim;
    g_staticAircraft.push_back(ac);

    AiCreateRequest request;
    request.position.Latitude = position.lat;
    request.position.Longitude = position.lon;
    request.position.Altitude = gf_loadedAirport().altitude;
    request.position.Heading = stand->heading * radiansToDegrees;
    request.tailNumber = info.registration;
    request.title = std::string(info.liveryTitle);
    request.hexid = *number;
    staticCreateQueue.push_back(std::move(request));
}

void gf_clearStaticsToPlace() { staticsToPlace.clear(); }

std::string lf_determineStaticCallsign(const StaticToPlace& item) {
    const std::string& first = item.callsign1First ? item.callsign1 : item.callsign2;
    const std::string& second = item.callsign1First ? item.callsign2 : item.callsign1;
    std::string callsign = !first.empty() ? first : second;
    if (callsign.empty()) {
        gf_logError(fmt::format("{} callsign is empty..", "lf_determineStaticCallsign"));
        return callsign;
    }
    while (!callsign.empty() && callsign.back() == '_') callsign.pop_back();
    return callsign;
}

void lf_addStaticToRemovals(const AcBase& ac, std::uint32_t standId) {
    const bool listed = std::any_of(staticRemovals.begin(), staticRemovals.end(),
                                    [&](const StaticRemoval& r) { return r.callsign == ac.callsign; });
    if (!listed) staticRemovals.push_back(StaticRemoval{ac.callsign, standId});
}

void lf_addStaticsToRemovals(const std::function<bool(const AcBase&)>& which) {
    // The callsigns listed already, looked up once each: an adjustment may
    // list hundreds of statics.
    std::unordered_set<std::string_view, Fnv1aTextHash, std::equal_to<>> listed;
    for (const StaticRemoval& removal : staticRemovals) listed.insert(removal.callsign);
    std::vector<StaticRemoval> added;
    for (const AcBase& s : g_staticAircraft) {
        if (!which(s) || !listed.insert(s.callsign).second) continue;
        added.push_back(StaticRemoval{s.callsign, static_cast<std::uint32_t>(s.standId)});
    }
    staticRemovals.insert(staticRemovals.end(), std::make_move_iterator(added.begin()),
                          std::make_move_iterator(added.end()));
}

void lf_removeRemovals() {
    // The first static of each stand, found once rather than per entry.
    std::unordered_map<std::int32_t, std::size_t> firstAtStand;
    for (std::size_t i = 0; i < g_staticAircraft.size(); ++i) firstAtStand.emplace(g_staticAircraft[i].standId, i);
    try {
        for (const StaticRemoval& removal : staticRemovals) {
            const auto found = firstAtStand.find(static_cast<std::int32_t>(removal.standId));
            if (found == firstAtStand.end()) continue;
            AcBase& s = g_staticAircraft[found->second];
            if (s.simState != AcSimState::active && s.simState != AcSimState::removingfromsim) continue;
            gf_log(fmt::format("{:14}: {:8} static parked removed, no longer within your specs",
                               gf_standNameById(static_cast<std::int32_t>(removal.standId)), s.callsign));
            removeAircraftFromSim(s);
        }
    } catch (const std::exception&) {
        // What was removed so far stays removed; the next adjustment sees the rest.
    }
}

void lf_dropPlansAStaticWouldRefuse() {
    // For each stand, the first static (in list order, as the placement
    // finds it) that stands on it or on a stand that excludes it.
    std::unordered_map<std::int32_t, const AcBase*> inTheWay;
    for (const AcBase& s : g_staticAircraft) {
        if (s.simState == AcSimState::removingfromsim) continue;
        inTheWay.emplace(s.standId, &s);
        if (const Stand* stand = gf_standById(s.standId)) {
            for (const std::uint32_t excluded : stand->excludes)
                if (excluded >= 1) inTheWay.emplace(static_cast<std::int32_t>(excluded), &s);
        }
    }
    std::erase_if(staticsToPlace, [&](const StaticToPlace& item) {
        const auto found = inTheWay.find(item.standId);
        if (found == inTheWay.end()) return false;
        Stand* stand = gf_standById(item.standId);
        gf_log(lf_inTheWayLine(item, stand != nullptr ? stand->name : gf_standNameById(item.standId), "static",
                               *found->second));
        // The plan's count of positions no longer holds this one.
        if (stand != nullptr) gf_releaseStand(*stand);
        return true;
    });
}

void lf_switchStaticCallsigns(WeekTime now) {
    for (AcBase& s : g_staticAircraft) {
        if (s.fromAirportFile != 1 || s.plannerFlag == 0 || s.identity3.empty() || s.callsign != s.identity2)
            continue;
        const Stand* stand = gf_standById(s.standId);
        if (stand == nullptr) continue;
        const auto option = std::find_if(stand->options.begin(), stand->options.end(), [&](const StandOption& o) {
            return o.number >= 1 && o.day == now.day && o.callsign1 == s.identity2 && gf_sameAircraftKey(o.key, s.key);
        });
        if (option == stand->options.end()) continue;
        if (!gf_staysIntoNextSlot(*stand, *option, now)) s.callsign = s.identity3;
    }
}

void lf_cancelRemovalsAndPlacements() {
    std::vector<bool> removalPaired(staticRemovals.size(), false);
    std::vector<bool> itemPaired(staticsToPlace.size(), false);
    // The items of each stand in list order, so that each removal looks at
    // the items of its own stand only.
    std::unordered_map<std::int32_t, std::vector<std::size_t>> itemsAtStand;
    for (std::size_t i = 0; i < staticsToPlace.size(); ++i) itemsAtStand[staticsToPlace[i].standId].push_back(i);
    for (std::size_t r = 0; r < staticRemovals.size(); ++r) {
        const StaticRemoval& removal = staticRemovals[r];
        const auto items = itemsAtStand.find(static_cast<std::int32_t>(removal.standId));
        if (items == itemsAtStand.end()) continue;
        for (const std::size_t i : items->second) {
            if (itemPaired[i] || staticsToPlace[i].callsign1 != removal.callsign) continue;
            removalPaired[r] = itemPaired[i] = true;
            break;
        }
    }
    std::size_t r = 0;
    std::erase_if(staticRemovals, [&](const StaticRemoval&) { return removalPaired[r++]; });
    std::size_t i = 0;
    std::erase_if(staticsToPlace, [&](const StaticToPlace&) { return itemPaired[i++]; });

    std::unordered_set<std::uint32_t> newStands;
    for (const StaticToPlace& item : staticsToPlace) newStands.insert(static_cast<std::uint32_t>(item.standId));
    std::stable_partition(staticRemovals.begin(), staticRemovals.end(),
                          [&](const StaticRemoval& removal) { return newStands.contains(removal.standId); });
}
