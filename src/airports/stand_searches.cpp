#include "airports/stand_searches.h"

#include <algorithm>
#include <array>
#include <exception>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include <fmt/format.h>

#include "airports/loaded_airport.h"
#include "airports/park_airports.h"
#include "airports/stand_options.h"
#include "airports/static_placement.h"
#include "engine/engine_lists.h"
#include "engine/removal_policies.h"
#include "engine/services.h"
#include "engine/stands.h"
#include "feed/handover.h"
#include "foundation/hash.h"
#include "foundation/log.h"
#include "foundation/random.h"
#include "liveries/code_tables.h"
#include "services/gui.h"
#include "settings/option_lists.h"
#include "settings/snapshot.h"
#include "simlink/sim_link.h"

bool g_standWalkToggle = false;
bool g_weekSearchUsed = false;

namespace {

// Candidate options of one stand; a stand rarely has more.
constexpr std::size_t kCandidateReserve = 256;

// Whether each size category (ModelCategory 0..6) is shown, read once per
// pass rather than once per option.
struct CategorySwitches {
    std::array<bool, 7> included{};
    CategorySwitches() {
        for (std::size_t c = 0; c < included.size(); ++c) included[c] = gf_isCategoryIncluded(std::int32_t(c));
    }
    bool operator()(std::uint32_t category) const { return category < included.size() && included[category]; }
    bool model(std::uint16_t modelIndex) const { return (*this)(gf_getModelCategory(modelIndex)); }
};

// One pass of a named search over the stand table.
struct StandPass {
    WeekTime now;
    WeekTime searchTime;
    std::int32_t offset = 0;
    bool thisDay = true;
    bool real = true;
    bool random = false;
    bool helicopters = true;
    SearchCounters* counters = nullptr;
    std::int64_t wanted = 0;
    CategorySwitches categories;
};

using TextSet = std::unordered_set<std::string, Fnv1aTextHash, std::equal_to<>>;

// What the searches ask again and again about the aircraft and stands of
// the airport (is a stand next to one in use, is this aircraft planned, kept
// or live already, which static is this record's twin, which stand does this
// text name, which stand is nearest to this position), answered from tables
// made once per search instead of a walk over every aircraft or stand for
// each stand, option and record: a plan then grows in proportion to the
// stands and aircraft, not to their product.
//
// Each table is made from the lists as they are when it is first asked for;
// the searches keep the tables up to date as they plan and keep aircraft,
// and nothing else changes those lists while a search runs.
class SearchIndex {
public:
    bool neighbourInUse(std::int32_t standId) {
        if (standId < 1) return false;
        const std::vector<std::uint32_t>& beside = heldBeside();
        return static_cast<std::size_t>(standId) < beside.size() && beside[static_cast<std::size_t>(standId)] > 0;
    }

    bool identityInUse(std::string_view registration, std::string_view callsign1, std::string_view callsign2) {
        const Identities& ids = identities();
        const TextSet& liveRegistrations = live().registrations;
        if (!registration.empty() &&
            (ids.plannedRegistrations.contains(registration) || liveRegistrations.contains(registration) ||
             ids.stayerRegistrations.contains(registration)))
            return true;
        const auto callsignInUse = [&](std::string_view callsign, const TextSet& planned) {
            return !callsign.empty() && (planned.contains(callsign) || ids.stayerCallsigns.contains(callsign) ||
                                         ids.keptCallsigns.contains(callsign) || lf_isLiveName(callsign));
        };
        return callsignInUse(callsign1, ids.plannedCallsigns1) || callsignInUse(callsign2, ids.plannedCallsigns2);
    }

    bool liveCallsignOrRegistration(const FlightIdentity& record) {
        const Live& flying = live();
        const std::string& callsign = record.callsign;
        if (!callsign.empty() && (flying.callsigns.contains(callsign) || flying.callsigns.contains(callsign + "_")))
            return true;
        return !record.registration.empty() && flying.registrations.contains(record.registration);
    }

    // The first static placed from the service's list under that hexid.
    AcBase* twinOf(std::uint32_t hexid) {
        if (!twins_) {
            twins_.emplace();
            for (AcBase& s : g_staticAircraft)
                if (s.fromAirportFile == 0) twins_->emplace(s.realHexid, &s);
        }
        const auto found = twins_->find(hexid);
        return found != twins_->end() ? found->second : nullptr;
    }

    std::uint32_t standByNameWord(std::string_view parkingText, LaLo position) {
        if (!names_) names_.emplace(g_standTable);
        return names_->find(parkingText, position);
    }

    Stand* nearestStand(LaLo position, const AcInfo& aircraft) {
        if (!grid_) grid_.emplace(g_standTable);
        double distanceMetres = 0.0;
        return grid_->findNearest(position, aircraft, distanceMetres, true);
    }

    // The item was just appended to the statics-to-place list.
    void planned(const StaticToPlace& item) {
        if (heldBeside_) lf_addHolder(*heldBeside_, item.standId);
        if (identities_) lf_addPlanned(*identities_, item);
    }
    // The static was just marked to stay.
    void kept(const AcBase& s) {
        if (identities_) lf_addKept(*identities_, s);
    }

private:
    struct Identities {
        TextSet plannedRegistrations, plannedCallsigns1, plannedCallsigns2;
        TextSet stayerCallsigns, stayerRegistrations;
        TextSet keptCallsigns;  // both callsign texts of the active statics marked to stay
    };
    struct Live {
        TextSet callsigns, registrations;
    };

    static void lf_insertNonEmpty(TextSet& set, const std::string& text) {
        if (!text.empty()) set.insert(text);
    }
    static void lf_addPlanned(Identities& ids, const StaticToPlace& item) {
        lf_insertNonEmpty(ids.plannedRegistrations, item.registration);
        lf_insertNonEmpty(ids.plannedCallsigns1, item.callsign1);
        lf_insertNonEmpty(ids.plannedCallsigns2, item.callsign2);
    }
    static void lf_addKept(Identities& ids, const AcBase& s) {
        if (s.simState != AcSimState::active) return;
        lf_insertNonEmpty(ids.keptCallsigns, s.identity2);
        lf_insertNonEmpty(ids.keptCallsigns, s.identity3);
    }
    // An aircraft holds its stand: every other stand that stand excludes now
    // has a neighbour in use.
    static void lf_addHolder(std::vector<std::uint32_t>& beside, std::int32_t standId) {
        const Stand* stand = gf_standById(standId);
        if (stand == nullptr) return;
        for (const std::uint32_t excluded : stand->excludes) {
            if (excluded == static_cast<std::uint32_t>(standId)) continue;
            if (excluded >= beside.size()) beside.resize(excluded + std::size_t{1}, 0);
            ++beside[excluded];
        }
    }

    // Per stand id: the aircraft standing, staying or planned on other stands
    // that exclude it (statics on their way out aside).
    const std::vector<std::uint32_t>& heldBeside() {
        if (!heldBeside_) {
            heldBeside_.emplace(g_standTable.size() + 1, 0);
            for (const AcBase& s : g_staticAircraft)
                if (s.simState != AcSimState::removingfromsim) lf_addHolder(*heldBeside_, s.standId);
            for (const StayerEntry& stayer : stayers) lf_addHolder(*heldBeside_, stayer.standId);
            for (const StaticToPlace& item : staticsToPlace) lf_addHolder(*heldBeside_, item.standId);
        }
        return *heldBeside_;
    }

    const Identities& identities() {
        if (!identities_) {
            identities_.emplace();
            for (const StaticToPlace& item : staticsToPlace) lf_addPlanned(*identities_, item);
            for (const StayerEntry& stayer : stayers) {
                lf_insertNonEmpty(identities_->stayerCallsigns, stayer.callsign);
                lf_insertNonEmpty(identities_->stayerRegistrations, stayer.registration);
            }
            for (const AcBase& s : g_staticAircraft)
                if (s.plannerFlag != 0) lf_addKept(*identities_, s);
        }
        return *identities_;
    }

    const Live& live() {
        if (!live_) {
            live_.emplace();
            for (const LiveAc& ac : g_liveAircraft) {
                lf_insertNonEmpty(live_->callsigns, ac.callsign);
                lf_insertNonEmpty(live_->registrations, ac.registration);
            }
        }
        return *live_;
    }

    std::optional<std::vector<std::uint32_t>> heldBeside_;
    std::optional<Identities> identities_;
    std::optional<Live> live_;
    std::optional<std::unordered_map<std::uint32_t, AcBase*>> twins_;
    std::optional<StandNameWords> names_;
    std::optional<StandGrid> grid_;
};

thread_local SearchIndex* l_searchIndex = nullptr;

// The index of the search under way, or one made for this call (and the
// calls it makes) when none is.
class IndexScope {
public:
    IndexScope() {
        if (l_searchIndex == nullptr) {
            owned_.emplace();
            l_searchIndex = &*owned_;
        }
    }
    ~IndexScope() {
        if (owned_) l_searchIndex = nullptr;
    }
    IndexScope(const IndexScope&) = delete;
    IndexScope& operator=(const IndexScope&) = delete;
    SearchIndex* operator->() const { return l_searchIndex; }

private:
    std::optional<SearchIndex> owned_;
};

WeekTime lf_nextSlot(WeekTime now) {
    if (now.slot + 1 < kSlotsPerDay) return WeekTime{now.day, now.slot + 1};
    return WeekTime{now.day >= 7 ? 1u : now.day + 1, 0};
}

bool lf_testStandForSearch(Stand& stand, StandPass& pass) {
    if (stand.occupied || stand.blocked) return false;
    if (stand.heli && !pass.helicopters) return false;

    thread_local std::vector<StandOption*> candidates = [] {
        std::vector<StandOption*> v;
        v.reserve(kCandidateReserve);
        return v;
    }();
    candidates.clear();
    for (StandOption& option : stand.options) {
        if (option.number == 0) continue;
        if (!pass.categories.model(option.key.model)) continue;
        if (pass.thisDay && option.day != pass.searchTime.day) continue;
        if (pass.real ? option.real != 1 : option.real == 1) continue;
        if (option.hours.test(pass.searchTime.slot)) candidates.push_back(&option);
    }
    if (candidates.empty()) return false;
    // Tested after the options, which are cheaper to rule out; the answer is
    // the same either way.
    if (lf_isNeighbourInUse(static_cast<std::int32_t>(stand.id))) return false;

    if (candidates.size() > 1 && pass.random) {
        ThreadRandomEngine& random = threadRandomEngine();
        for (std::size_t i = 1; i < candidates.size(); ++i) std::swap(candidates[i], candidates[random.upTo(i)]);
    }
    StandOption* chosen = nullptr;
    for (StandOption* option : candidates) {
        if (option->number < 1) continue;
        if (lf_isIdentityInUse(option->registration, option->callsign1, option->callsign2)) {
            // Planned elsewhere already: unusable until the next adjustment.
            option->number = 0;
            continue;
        }
        chosen = option;
        break;
    }
    if (chosen == nullptr) return false;

    const bool callsign1First = chosen->callsign2.empty() || gf_staysIntoNextSlot(stand, *chosen, pass.now);
    staticsToPlace.push_back(StaticToPlace{0, 1, static_cast<std::int32_t>(stand.id), pass.offset, chosen->key,
                                           chosen->callsign1, chosen->callsign2, chosen->registration,
                                           callsign1First});
    IndexScope()->planned(staticsToPlace.back());
    ++pass.counters->filePositions;
    return gf_claimStand(static_cast<std::int32_t>(stand.id), pass.wanted);
}

// What one parked record of the traffic service came to.
enum class RecordOutcome { next, reached };

enum class RtWalk {
    byAge,   // the "real" search, beside the airport file's options
    rtOnly,  // only the traffic service's parked traffic
};

// One record of the traffic service's parked list. A record that cannot be
// placed (its stand or its twin's stand is taken or next to one in use) is
// skipped: only a claim that reaches the wanted number ends the walk, so one
// awkward record never hides the records behind it.
RecordOutcome lf_placeRtRecord(const ParkedRecord& record, RtWalk walk, const CategorySwitches& categories,
                               SearchCounters* counters, std::int64_t wanted) {
    const std::string& callsign = record.identity.callsign;
    if (callsign.empty() || !categories.model(record.identity.key.model)) return RecordOutcome::next;
    if (g_engineHandOverMaps.hexids.contains(record.hexid)) return RecordOutcome::next;

    IndexScope index;
    if (AcBase* twin = index->twinOf(record.hexid)) {
        // A twin whose stand a younger record was just planned for gives way
        // (it is removed with the statics not kept): kept, it would refuse
        // the new aircraft when its turn came.
        const Stand* stand = gf_standById(twin->standId);
        if (stand == nullptr || stand->occupied || lf_isNeighbourInUse(twin->standId)) return RecordOutcome::next;
        twin->plannerFlag = 1;
        index->kept(*twin);
        if (counters != nullptr) ++counters->stayers;
        return gf_claimStand(twin->standId, wanted) ? RecordOutcome::reached : RecordOutcome::next;
    }

    const std::string& registration = record.identity.registration;
    if (lf_isIdentityInUse(registration, callsign, callsign) || lf_isLiveName(callsign) ||
        lf_isLiveCallsignOrRegistration(record.identity))
        return RecordOutcome::next;

    FlightIdentity identity = record.identity;
    const std::uint16_t airline = identity.key.airline;
    const bool knownAirline = airline != 0 && gf_isKnownAirlineCode(gf_airlineCodeAt(airline));
    if (!knownAirline && !gf_setAirlineFromCallsign(identity)) identity.key.airline = gf_internAirlineCode("PVT");
    const AcInfo info = gf_makeAcInfo(identity);

    Stand* stand = gf_standById(index->standByNameWord(record.standName, record.position));
    if (stand == nullptr) stand = index->nearestStand(record.position, info);
    if (stand == nullptr || stand->occupied || stand->blocked) return RecordOutcome::next;
    const auto standId = static_cast<std::int32_t>(stand->id);
    if (walk == RtWalk::byAge && lf_isNeighbourInUse(standId)) return RecordOutcome::next;

    staticsToPlace.push_back(
        StaticToPlace{record.hexid, 0, standId, record.age, info.key, info.callsign, {}, info.registration, true});
    index->planned(staticsToPlace.back());
    if (counters != nullptr) ++counters->rtPositions;
    return gf_claimStand(standId, wanted) ? RecordOutcome::reached : RecordOutcome::next;
}

const char* lf_searchName(bool thisDay, bool real) {
    if (real) return thisDay ? "real" : "real/week";
    return thisDay ? "soft" : "soft/week";
}

void lf_reportSearch(WeekTime now, bool thisDay, bool real, std::int64_t wanted, const SearchCounters& c,
                     bool autoPark, std::int32_t maxFit) {
    gf_log(fmt::format("\nResults for {} search (total needed: {}):", lf_searchName(thisDay, real), wanted));
    if (c.rtPositions > 0) gf_log(fmt::format("{} RT park position{}", c.rtPositions, c.rtPositions == 1 ? "" : "s"));
    if (c.stayers > 0)
        gf_log(fmt::format("{} live and/or static aircraft may stay (compliant with airport file info)", c.stayers));
    if (c.filePositions >= 1) {
        const std::string fit =
            autoPark ? std::string("auto park") : fmt::format(", with Max fit={:.1F} hours", gf_maxFitIndexToValue(maxFit));
        gf_log(fmt::format("{} airport file position{} {}{}", c.filePositions, c.filePositions == 1 ? "" : "s", fit,
                           fmt::format(", day {}", now.day)));
    }
}

}  // namespace

void gf_resetStandSearches() {
    g_standWalkToggle = false;
    g_weekSearchUsed = false;
}

WeekTime gf_weekTimeBefore(WeekTime now, std::int32_t slots) {
    std::int32_t slot = static_cast<std::int32_t>(now.slot) - slots;
    std::uint32_t day = now.day;
    while (slot < 0) {
        slot += kSlotsPerDay;
        day = day <= 1 ? 7 : day - 1;
    }
    return WeekTime{day, static_cast<std::uint32_t>(slot)};
}

bool gf_staysIntoNextSlot(const Stand& stand, const StandOption& option, WeekTime now) {
    const WeekTime next = lf_nextSlot(now);
    if (next.day == now.day) return option.hours.test(next.slot);
    return std::any_of(stand.options.begin(), stand.options.end(), [&](const StandOption& o) {
        return o.number >= 1 && o.day == next.day && gf_sameAircraftKey(o.key, option.key) && o.hours.test(0);
    });
}

bool gf_sameAircraftKey(const AcKey& a, const AcKey& b) {
    return a.airline == b.airline && a.operatorIndex == b.operatorIndex && a.model == b.model && a.cargo == b.cargo;
}

void lf_searchAllStands(WeekTime now, std::int64_t wanted) {
    const IndexScope index;
    g_weekSearchUsed = false;
    Gui::setParkedTrafficFlag(false);
    const auto settings = settingsSnapshot.load();
    lf_searchAndReport(now, true, true, wanted);
    if (gf_occupiedStandCount() < wanted && (settings->AUTO_PARK != 0 || settings->WEEK != 0)) {
        lf_searchAndReport(now, false, true, wanted);
        g_weekSearchUsed = true;
        Gui::setParkedTrafficFlag(true);
    }
    // An airport without soft options has nothing a soft search could find.
    if (gf_loadedAirport().qfSoft <= 0) return;
    if (gf_occupiedStandCount() < wanted && (settings->AUTO_PARK != 0 || settings->PARK_SOFT != 0))
        lf_searchAndReport(now, true, false, wanted);
    if (gf_occupiedStandCount() < wanted &&
        (settings->AUTO_PARK != 0 || (settings->PARK_SOFT != 0 && settings->WEEK != 0)))
        lf_searchAndReport(now, false, false, wanted);
}

bool lf_searchAndReport(WeekTime now, bool thisDay, bool real, std::int64_t wanted) {
    const IndexScope index;
    if (wanted <= 0) return true;
    const auto settings = settingsSnapshot.load();
    const std::int32_t maxFit = std::clamp(settings->MAX_FIT, 0, kSlotsPerDay - 1);
    const bool autoPark = settings->AUTO_PARK != 0;
    const std::int32_t lastOffset = autoPark ? kSlotsPerDay - 1 : maxFit;
    SearchCounters counters;
    bool reached = false;
    for (std::int32_t offset = 0; offset <= lastOffset && !reached; ++offset) {
        if (thisDay && real) {
            // The service's youngest records (up to 3 slots old) go first;
            // older ones wait for the offset of their age.
            if (offset == 0) {
                for (std::int32_t age = 0; age <= 3 && !reached; ++age)
                    reached = lf_placeRtParkedByAge(age, counters, wanted);
            } else if (offset >= 4) {
                reached = lf_placeRtParkedByAge(offset, counters, wanted);
            }
            if (reached) break;
        }
        if (!g_staticAircraft.empty() && lf_keepFileStatics(now, offset, !thisDay, counters, wanted)) {
            reached = true;
            break;
        }
        reached = lf_searchStands(now, offset, thisDay, real, counters, wanted);
    }
    lf_reportSearch(now, thisDay, real, wanted, counters, autoPark, settings->MAX_FIT);
    return reached;
}

bool lf_searchStands(WeekTime now, std::int32_t offset, bool thisDay, bool real, SearchCounters& counters,
                     std::int64_t wanted) {
    const IndexScope index;
    StandPass pass;
    pass.now = now;
    pass.searchTime = gf_weekTimeBefore(now, offset);
    pass.offset = offset;
    pass.thisDay = thisDay;
    pass.real = real;
    pass.counters = &counters;
    pass.wanted = wanted;
    {
        const auto settings = settingsSnapshot.load();
        pass.random = settings->RANDOM != 0;
        pass.helicopters = settings->HELICOPTERS != 0;
    }
    const bool backwards = !g_standWalkToggle;
    g_standWalkToggle = !g_standWalkToggle;
    try {
        if (backwards) {
            for (auto it = g_standTable.rbegin(); it != g_standTable.rend(); ++it)
                if (lf_testStandForSearch(*it, pass)) return true;
        } else {
            for (Stand& stand : g_standTable)
                if (lf_testStandForSearch(stand, pass)) return true;
        }
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: day: {}, offset {}: {}", "lf_searchStands", pass.searchTime.day, offset, e.what()));
    }
    return false;
}

bool lf_keepFileStatics(WeekTime now, std::int32_t offset, bool anyDay, SearchCounters& counters,
                        std::int64_t wanted) {
    const IndexScope index;
    const CategorySwitches categories;
    for (AcBase& s : g_staticAircraft) {
        if (s.simState != AcSimState::active || !categories(s.category) || s.fromAirportFile != 1 ||
            s.plannerFlag != 0)
            continue;
        const Stand* stand = gf_standById(s.standId);
        if (stand == nullptr || stand->occupied) continue;
        // The stand's own options rule most statics out, and cheaply: the
        // walks over every aircraft come after.
        if (!lf_staticMatchesOption(now, offset, anyDay, s.standId, s)) continue;
        // A static next to a stand in use cannot stay, but the others still may.
        if (lf_isNeighbourInUse(s.standId)) continue;
        if (lf_isIdentityInUse(s.registration, s.callsign, s.callsign)) continue;
        s.plannerFlag = 1;
        index->kept(s);
        ++counters.stayers;
        if (gf_claimStand(s.standId, wanted)) return true;
    }
    return false;
}

bool lf_staticMatchesOption(WeekTime now, std::int32_t offset, bool anyDay, std::int32_t standId, const AcBase& ac) {
    const Stand* stand = gf_standById(standId);
    if (stand == nullptr) return false;
    const std::int32_t newest = std::min<std::int32_t>(static_cast<std::int32_t>(now.slot), kSlotsPerDay - 1);
    const std::int32_t oldest = std::max(newest - offset, 0);
    for (const StandOption& option : stand->options) {
        if (!anyDay && option.day != now.day) continue;
        if (!lf_optionIsSameAircraft(option, ac)) continue;
        for (std::int32_t slot = newest; slot >= oldest; --slot)
            if (option.hours.test(static_cast<std::size_t>(slot))) return true;
    }
    return false;
}

bool lf_placeRtParkedByAge(std::int32_t ageClass, SearchCounters& counters, std::int64_t wanted) {
    const IndexScope index;
    const CategorySwitches categories;
    bool reached = false;
    gf_visitActiveParkedList([&](std::vector<ParkedRecord>& list) {
        for (const ParkedRecord& record : list) {
            if (record.age != ageClass) continue;
            if (lf_placeRtRecord(record, RtWalk::byAge, categories, &counters, wanted) == RecordOutcome::reached) {
                reached = true;
                return;
            }
        }
    });
    return reached;
}

void gf_searchRtParkPositions(std::vector<ParkedRecord>& parkedList, std::uint32_t wanted) {
    const IndexScope index;
    if (wanted < 1) return;
    const std::int32_t maxFit = settingsSnapshot.load()->MAX_FIT;
    const CategorySwitches categories;
    for (const ParkedRecord& record : parkedList) {
        // The list comes youngest first: everything after an old record is older still.
        if (record.age > maxFit) break;
        if (lf_placeRtRecord(record, RtWalk::rtOnly, categories, nullptr, wanted) == RecordOutcome::reached) break;
    }
}

void lf_blockUserStands() {
    const std::optional<std::string> reserved = gf_getParkAirportUserStand();
    if (reserved) lf_blockStandForStatics("Reserved", *reserved);
    const UserAircraftState user = gf_getUserAircraftState();
    const std::optional<std::string> atUser = gf_standNameAtPosition(LaLo{user.latitude, user.longitude});
    if (atUser && atUser != reserved) lf_blockStandForStatics("User", *atUser);
}

void lf_blockStandForStatics(std::string_view kind, std::string_view name) {
    Stand* stand = gf_findStandByName(name);
    if (stand == nullptr) return;
    stand->blocked = true;
    gf_log(fmt::format("{} user stand '{}' blocked for static aircraft", kind, name));
    for (const std::uint32_t id : stand->excludes) {
        const auto it = std::lower_bound(g_standTable.begin(), g_standTable.end(), id,
                                         [](const Stand& s, std::uint32_t wanted) { return s.id < wanted; });
        if (it == g_standTable.end() || it->id != id) continue;
        it->blocked = true;
        gf_log(fmt::format("{} excluded by {} user stand '{}' blocked for static aircraft", it->name, kind, name));
    }
}

bool lf_standExcludes(std::int32_t a, std::int32_t b) {
    if (a == b) return true;
    const Stand* stand = gf_standById(a);
    if (stand == nullptr) return false;
    const auto wanted = static_cast<std::uint32_t>(b);
    return b >= 1 && std::find(stand->excludes.begin(), stand->excludes.end(), wanted) != stand->excludes.end();
}

bool lf_isNeighbourInUse(std::int32_t standId) { return IndexScope()->neighbourInUse(standId); }

bool lf_isIdentityInUse(std::string_view registration, std::string_view callsign1, std::string_view callsign2) {
    return IndexScope()->identityInUse(registration, callsign1, callsign2);
}

bool lf_isLiveName(std::string_view callsign) {
    if (callsign.empty()) return false;
    const CallsignSet& names = g_engineHandOverMaps.callsigns;
    if (names.find(callsign) != names.end()) return true;
    std::string withMark(callsign);
    withMark += '_';
    return names.contains(withMark);
}

bool lf_isLiveCallsignOrRegistration(const FlightIdentity& record) {
    return IndexScope()->liveCallsignOrRegistration(record);
}

bool lf_optionIsSameAircraft(const StandOption& option, const AcInfo& ac) {
    return option.registration == ac.registration && gf_sameAircraftKey(option.key, ac.key);
}
