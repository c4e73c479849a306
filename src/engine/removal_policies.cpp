#include "engine/removal_policies.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <unordered_set>

#include <fmt/format.h>

#include "airports/parking_state.h"
#include "engine/aircraft_ids.h"
#include "engine/collisions.h"
#include "engine/engine_lists.h"
#include "engine/geometry.h"
#include "engine/life_cycle.h"
#include "engine/removal.h"
#include "engine/reports.h"
#include "engine/spawn.h"
#include "engine/stands.h"
#include "engine/user_position.h"
#include "foundation/geodesy.h"
#include "foundation/log.h"
#include "services/gui.h"
#include "settings/snapshot.h"

std::vector<StayerEntry> stayers;
std::int32_t parkedTarget = -1;

namespace {

constexpr double kFurthestMarginNm = 0.1;
constexpr int kFullPassEvery = 60;
constexpr double kMovedSquaredNm = 9e-6;  // 0.003 NM
constexpr std::int64_t kClockUnitsPerMinute = 600'000'000;  // 100 ns units
constexpr std::int64_t kHeavyStayMinutes = 180;
constexpr std::int64_t kStayMinutes = 90;
constexpr double kTcasMarginFt = 1000.0;

// The live-vs-parked driver's call counter and the parked-statics count it
// last saw.
int l_liveVsParkedCalls = 0;
std::uint64_t l_lastParkedStatics = 0;
// The live aircraft taken off their stands by the parked traffic's bounds.
// Created again from their next report, one removed as the oldest of a
// surplus came back on its stand half a minute later, and removed another.
std::unordered_set<std::uint32_t> l_parkedOut;

void lf_remove(AcBase& ac, const char* policy) {
    try {
        removeAircraftFromSim(ac);
    } catch (...) {
        gf_reportTrafficException(policy);
    }
}


bool lf_isParkedLive(const LiveAc& ac) { return ac.simState == AcSimState::active && ac.phase == AcPhase::parked; }

// Removes a live parked aircraft to keep the parked traffic in bounds, and
// says that it stays away while it stands.
void lf_takeOffStand(LiveAc& ac, const char* policy) {
    l_parkedOut.insert(ac.hexid);
    gf_log(fmt::format("{} {} parked beyond the parked traffic wanted: not shown until it moves", ac.callsign,
                       ac.registration.empty() ? ac.callsign : ac.registration));
    lf_remove(ac, policy);
}

// A queued create that has not been marked yet goes back (or is marked to go
// when its object exists).
bool lf_isCreateToTakeBack(const AcBase& ac) {
    return ac.simState == AcSimState::adding2sim && ac.removeWhenCreated == 0;
}

bool lf_namesFlightOf(std::string_view text, const AcInfo& s) {
    return !text.empty() && (text == s.identity2 || text == s.identity3);
}

// Statics whose create was taken back leave the list.
void lf_compactDroppedStatics() {
    std::erase_if(g_staticAircraft, [](const AcBase& s) {
        if (s.createDropped == 0) return false;
        gf_dropPendingSimObject(s.hexid, s.objectId);
        return true;
    });
}

// Live aircraft whose create was taken back leave the list (order kept).
void lf_compactDroppedLive() {
    std::erase_if(g_liveAircraft, [](LiveAc& a) {
        if (a.createDropped == 0) return false;
        lf_cleanupLiveAircraft(a);
        return true;
    });
}

void lf_releaseStand(AcBase& ac) {
    ac.standPos = LaLo{};
    ac.standHeadingRad = 0.0;
    ac.standId = 0;
    ac.isCargo = 0;
    ac.isGate = 0;
}

std::string lf_categoryLine(const AcInfo& ac, ModelCategory category) {
    return fmt::format("{} {} removed because '{}' no longer included category", ac.callsign,
                       gf_modelCodeAt(ac.key.model), gf_modelCategoryName(category));
}

WeekTime lf_now() { return gf_weekTimeOf(g_weekTime.load()); }

}  // namespace

// ---------------------------------------------------------------------------
// Week time of parked aircraft

double gf_currentParkTime() { return static_cast<double>(g_weekTime.load()); }

std::optional<WeekTime> gf_parkWeekTime(double parkTime) {
    // A packed week time is below 2^38, exact in a double.
    if (!(parkTime > 0.0) || parkTime > 9007199254740992.0 || parkTime != std::floor(parkTime)) return std::nullopt;
    const WeekTime t = gf_weekTimeOf(static_cast<std::uint64_t>(parkTime));
    if (!t.valid()) return std::nullopt;
    return t;
}

std::optional<std::uint32_t> gf_parkedSlots(double parkTime, WeekTime now) {
    const auto since = gf_parkWeekTime(parkTime);
    if (!since || !now.valid()) return std::nullopt;
    const auto week = static_cast<std::uint32_t>(kSlotsPerWeek);
    return (now.weekSlot() + week - since->weekSlot()) % week;
}

// ---------------------------------------------------------------------------
// Ghosts

void lf_removeGhostWithUnderscoreIfPresent(std::string_view callsign) {
    const std::string ghost = std::string(callsign) + "_";
    for (LiveAc& ac : g_liveAircraft) {
        if (ac.callsign != ghost || ac.simState == AcSimState::removingfromsim) continue;
        if (ac.phase == AcPhase::parked)
            gf_log(fmt::format("{:14}: {:8} is a ghost and will be removed, continue with {}",
                               gf_standNameById(ac.standId), ghost, callsign));
        else
            gf_log(fmt::format("          {:8} is a ghost and will be removed, continue with {}", ghost, callsign));
        removedGhosts.push_back(ghost);
        lf_remove(ac, "lf_removeGhostWithUnderscoreIfPresent");
        return;
    }
}

bool lf_hasLiveWithCallsignStem(std::string_view callsign) {
    if (callsign.empty()) return false;
    const std::string_view stem = callsign.substr(0, callsign.size() - 1);
    return std::any_of(g_liveAircraft.begin(), g_liveAircraft.end(), [stem](const LiveAc& a) {
        return a.simState != AcSimState::removingfromsim && a.callsign == stem;
    });
}

// ---------------------------------------------------------------------------
// Statics that are a live flight

void lf_checkForStaticWithCallsignOrHexidAndRemove(const LiveAc& ac) {
    if (ac.callsign.empty()) return;
    const bool ghost = gf_endsWithUnderscore(ac.callsign);
    const std::string_view stem =
        ghost ? std::string_view(ac.callsign).substr(0, ac.callsign.size() - 1) : std::string_view(ac.callsign);
    for (AcBase& s : g_staticAircraft) {
        if (s.simState != AcSimState::active) continue;
        const bool twin = (s.fromAirportFile == 0 && s.realHexid == ac.hexid) ||
                          (!ac.registration.empty() && ac.registration == s.registration) ||
                          lf_namesFlightOf(ac.callsign, s) || lf_namesFlightOf(ac.identity3, s) ||
                          (ghost && lf_namesFlightOf(stem, s));
        if (!twin) continue;
        lf_remove(s, "lf_checkForStaticWithCallsignOrHexidAndRemove");
        return;
    }
}

void gf_checkForAllGndIfParkedVersionExistsAndRemove() {
    if (g_staticAircraft.empty()) return;
    for (const LiveAc& ac : g_liveAircraft) {
        if (ac.simState != AcSimState::active || ac.onGround == 0) continue;
        for (AcBase& s : g_staticAircraft) {
            if (s.simState != AcSimState::active) continue;
            const bool twin = !ac.registration.empty() && !s.registration.empty()
                                  ? ac.registration == s.registration
                                  : lf_namesFlightOf(ac.callsign, s);
            if (!twin) continue;
            lf_remove(s, "gf_checkForAllGndIfParkedVersionExistsAndRemove");
            return;
        }
    }
}

// ---------------------------------------------------------------------------
// Airport change, categories, destination stand, block, TCAS

void gf_removeAllStatic() {
    for (AcBase& s : g_staticAircraft) {
        if (s.simState == AcSimState::active) {
            gf_log(fmt::format("{:14}: {:8} removed", gf_standNameById(s.standId), s.callsign));
            lf_remove(s, "gf_removeAllStatic");
        } else if (lf_isCreateToTakeBack(s)) {
            lf_remove(s, "gf_removeAllStatic");
        }
    }
    lf_compactDroppedStatics();
}

void lf_removeAllStaticAndLiveAtAirport() {
    gf_removeAllStatic();
    for (LiveAc& ac : g_liveAircraft) {
        switch (ac.phase) {
            case AcPhase::pushing_back:
            case AcPhase::pushed_back:
            case AcPhase::taxi:
            case AcPhase::takeoff_roll:
            case AcPhase::landing_roll:
            case AcPhase::parked:
                break;
            default:
                continue;
        }
        lf_releaseStand(ac);
        if (ac.simState == AcSimState::active || lf_isCreateToTakeBack(ac))
            lf_remove(ac, "lf_removeAllStaticAndLiveAtAirport");
    }
    lf_compactDroppedLive();
}

void gf_removeLiveAircraftCategory(ModelCategory category) {
    for (LiveAc& ac : g_liveAircraft) {
        if (ac.category != category || ac.simState == AcSimState::removingfromsim) continue;
        gf_log(lf_categoryLine(ac, category));
        lf_remove(ac, "gf_removeLiveAircraftCategory");
    }
}

bool lf_typeHasCategory(const AcInfo& ac, ModelCategory category) {
    return gf_getModelCategory(ac.key.model) == category;
}

void gf_removeStaticAircraftCategory(ModelCategory category) {
    for (AcBase& s : g_staticAircraft) {
        if (!lf_typeHasCategory(s, category) || s.simState == AcSimState::removingfromsim) continue;
        if (s.simState == AcSimState::active) {
            gf_log(lf_categoryLine(s, category));
            lf_remove(s, "gf_removeStaticAircraftCategory");
        } else if (lf_isCreateToTakeBack(s)) {
            lf_remove(s, "gf_removeStaticAircraftCategory");
        }
    }
    lf_compactDroppedStatics();
}

void gf_clearUserDestGate(std::string_view standName) {
    // A name that names no stand frees nothing: stand id 0 would otherwise
    // pick an aircraft parked without a stand.
    const Stand* stand = standName.empty() ? nullptr : gf_findStandByName(standName);
    if (stand == nullptr || stand->id == 0) return;
    const auto id = static_cast<std::int32_t>(stand->id);
    for (AcBase& s : g_staticAircraft) {
        if (s.simState != AcSimState::active || s.standId != id) continue;
        lf_remove(s, "gf_clearUserDestGate");
        return;
    }
    for (LiveAc& ac : g_liveAircraft) {
        if (!lf_isParkedLive(ac) || ac.standId != id) continue;
        lf_remove(ac, "gf_clearUserDestGate");
        return;
    }
}

void gf_removeBlockedAc() {
    const auto settings = settingsSnapshot.load();
    const BlockedAircraft& block = settings->blocked;
    const auto removeFirst = [](auto matches) {
        for (LiveAc& ac : g_liveAircraft) {
            if (ac.simState != AcSimState::active || !matches(ac)) continue;
            lf_remove(ac, "gf_removeBlockedAc");
            return true;
        }
        return false;
    };
    const auto hexid = static_cast<std::uint32_t>(block.BLOCK_HEXIDDEC);
    if (hexid != 0 && removeFirst([hexid](const LiveAc& ac) { return ac.hexid == hexid; })) return;
    if (!block.BLOCK_CALLSIGN.empty())
        removeFirst([&block](const LiveAc& ac) { return ac.callsign == block.BLOCK_CALLSIGN; });
    else if (!block.BLOCK_REGCODE.empty())
        removeFirst([&block](const LiveAc& ac) { return ac.registration == block.BLOCK_REGCODE; });
}

void gf_removeTCASCoverageAcs() {
    const double floorFt = settingsSnapshot.load()->TCAS_FL * 100.0 - kTcasMarginFt;
    for (LiveAc& ac : g_liveAircraft) {
        if (ac.simState != AcSimState::active || ac.weakLiveryMatch == 0 || !(ac.pose.altitude < floorFt)) continue;
        gf_forgetLiveryOfHexid(ac.hexid);
        lf_remove(ac, "gf_removeTCASCoverageAcs");
    }
}

// ---------------------------------------------------------------------------
// Live limit

namespace {

// NM: the length of a path from a to b along a meridian and then along the
// parallel nearer the pole, never shorter than the great circle (one degree
// of arc is 60 NM). A flat distance taken with one latitude's cosine reads
// short toward the equator (0.9 NM in 100 NM at 60 degrees), and ruling an
// aircraft out on it would keep the farthest one.
double lf_greatCircleUpperBoundNm(LaLo a, LaLo b) {
    const double cosPoleward =
        std::min(std::cos(a.lat * degreesToRadians), std::cos(b.lat * degreesToRadians));
    return (std::fabs(a.lat - b.lat) + std::max(0.0, cosPoleward) * std::fabs(gf_wrapLongitudeDifference(a.lon - b.lon))) *
           60.0;
}

}  // namespace

bool lf_isThisTheFurthestLive(double distanceNm) {
    const UserAircraftState user = gf_userPosition();
    const LaLo userPos{user.latitude, user.longitude};
    const bool margin = distanceNm >= 0.0;
    double best = margin ? distanceNm : -std::numeric_limits<double>::infinity();
    LiveAc* candidate = nullptr;
    for (LiveAc& ac : g_liveAircraft) {
        if (ac.simState != AcSimState::active) continue;
        const double bound = margin ? best + kFurthestMarginNm : best;
        const LaLo position{ac.pose.latitude, ac.pose.longitude};
        // A path no shorter than the great circle rules out the near ones
        // without it.
        if (bound > 0.0 && lf_greatCircleUpperBoundNm(userPos, position) <= bound) continue;
        const double d = gf_distanceNm(userPos, position);
        if (d > bound) {
            candidate = &ac;
            best = d;
        }
    }
    if (candidate == nullptr) return true;
    lf_remove(*candidate, "lf_isThisTheFurthestLive");
    return false;
}

// ---------------------------------------------------------------------------
// Parked aircraft

std::uint32_t gf_countLiveParked(bool report) {
    std::uint32_t count = 0;
    std::uint64_t slots = 0;
    std::uint32_t aged = 0;
    const WeekTime now = lf_now();
    for (const LiveAc& ac : g_liveAircraft) {
        if (!lf_isParkedLive(ac)) continue;
        ++count;
        if (!report) continue;
        // One parked in the current slot has no age yet.
        if (const auto age = gf_parkedSlots(ac.parkTime, now); age && *age > 0) {
            slots += *age;
            ++aged;
        }
    }
    if (report) {
        const double hours = aged == 0 ? 0.0 : std::floor(double(slots) / (2.0 * aged) + 0.5);
        Gui::enqueueUpdate(GuiUpdate::liveFit(static_cast<float>(hours)));
    }
    return count;
}

void gf_checkLiveVsParkedCollisions() {
    if (g_staticAircraft.empty()) return;
    const std::uint64_t parked = g_parkedStaticsCount.load();
    bool full = parked != l_lastParkedStatics;
    l_lastParkedStatics = parked;
    if (++l_liveVsParkedCalls >= kFullPassEvery) {
        l_liveVsParkedCalls = 0;
        full = true;
    }
    lf_checkLiveVsParked(full);
}

void lf_checkLiveVsParked(bool full) {
    for (LiveAc& ac : g_liveAircraft) {
        if (ac.simState != AcSimState::active || ac.onGround == 0) continue;
        if (ac.phase != AcPhase::taxi && ac.phase != AcPhase::parking) continue;
        if (!full) {
            const LaLo last = ac.lastParkedCheckPos;
            const bool checked = last.lat != 0.0 || last.lon != 0.0;
            if (checked && gf_flatDistanceSquaredNm({ac.pose.latitude, ac.pose.longitude}, last) <= kMovedSquaredNm)
                continue;
        }
        collisionWithParked(ac);
    }
}

void gf_resetLiveVsParkedPasses() {
    l_liveVsParkedCalls = 0;
    l_lastParkedStatics = 0;
    l_parkedOut.clear();
}

bool gf_isParkedOut(std::uint32_t hexid) { return l_parkedOut.contains(hexid); }

void gf_forgetParkedOut(std::uint32_t hexid) { l_parkedOut.erase(hexid); }

void lf_collectLiveStayers() {
    stayers.clear();
    stayers.reserve(g_liveAircraft.size());
    const std::int64_t now = gf_systemClock100ns();
    for (LiveAc& ac : g_liveAircraft) {
        if (!lf_isParkedLive(ac)) continue;
        std::int64_t minutes = 0;
        if (ac.motion.departurePending == 0) {
            minutes = std::max<std::int64_t>(0, (now - ac.phaseStartClock) / kClockUnitsPerMinute);
            const std::int64_t limit = ac.category == Heavy ? kHeavyStayMinutes : kStayMinutes;
            if (minutes > limit) {
                lf_takeOffStand(ac, "lf_collectLiveStayers");
                continue;
            }
        }
        stayers.push_back(StayerEntry{ac.callsign, ac.registration, 0, ac.standId,
                                      static_cast<std::uint32_t>(std::min<std::int64_t>(minutes, UINT32_MAX))});
    }
    std::stable_sort(stayers.begin(), stayers.end(),
                     [](const StayerEntry& a, const StayerEntry& b) { return a.minutesParked < b.minutesParked; });
}

namespace {

// Removes the k of the candidates (indices into `list`, in list order) that
// come first by `older`, each with its line (stand name, callsign).
template <typename List, typename Older, typename Remove>
void lf_removeOldest(List& list, std::vector<std::size_t>& candidates, std::int64_t n, Older older,
                     std::string_view line, const char* policy, Remove remove) {
    const auto k = static_cast<std::size_t>(std::min<std::int64_t>(n, std::int64_t(candidates.size())));
    std::stable_sort(candidates.begin(), candidates.end(),
                     [&](std::size_t a, std::size_t b) { return older(list[a], list[b]); });
    for (std::size_t i = 0; i < k; ++i) {
        auto& ac = list[candidates[i]];
        gf_log(fmt::format(fmt::runtime(line), gf_standNameById(ac.standId), ac.callsign));
        remove(ac, policy);
    }
}

}  // namespace

void lf_removeNOldestLiveParked(std::int64_t n) {
    if (n < 1) return;
    // One whose reports already move off its stand is leaving: removing it
    // to make room would lose its pushback, and bring it back later on its
    // stand, far behind reports that have it pushed back.
    std::vector<std::size_t> parked;
    for (std::size_t i = 0; i < g_liveAircraft.size(); ++i) {
        const LiveAc& ac = g_liveAircraft[i];
        if (lf_isParkedLive(ac) && ac.motion.departurePending == 0) parked.push_back(i);
    }
    lf_removeOldest(
        g_liveAircraft, parked, n,
        [](const LiveAc& a, const LiveAc& b) { return a.phaseStartClock < b.phaseStartClock; },
        "{:14}: live parked {} removed",
        "lf_removeNOldestLiveParked", lf_takeOffStand);
}

void lf_removeNOldestStaticParked(std::int64_t n) {
    if (n < 1) return;
    std::vector<std::size_t> parked;
    for (std::size_t i = 0; i < g_staticAircraft.size(); ++i)
        if (g_staticAircraft[i].simState == AcSimState::active) parked.push_back(i);
    const WeekTime now = lf_now();
    // A static without a week time counts as just parked.
    const auto age = [now](const AcBase& s) { return gf_parkedSlots(s.parkTime, now).value_or(0); };
    lf_removeOldest(
        g_staticAircraft, parked, n, [&age](const AcBase& a, const AcBase& b) { return age(a) > age(b); },
        "{:14}: static parked {} removed",
        "lf_removeNOldestStaticParked", lf_remove);
}

void gf_trimParkedToTarget(std::uint8_t extra) {
    const std::int64_t target = parkedTarget;
    if (target < 0) return;
    const auto live = std::count_if(g_liveAircraft.begin(), g_liveAircraft.end(), lf_isParkedLive);
    // Statics already on their way out no longer count: counting them again
    // would remove more at every call until their removal results arrive.
    const auto statics = std::count_if(g_staticAircraft.begin(), g_staticAircraft.end(),
                                       [](const AcBase& s) { return s.simState == AcSimState::active; });
    const std::int64_t wanted = std::int64_t(extra) + live;
    if (statics + wanted <= target) return;
    if (wanted <= target) {
        lf_removeNOldestStaticParked(statics + wanted - target);
        return;
    }
    lf_removeNOldestLiveParked(wanted - target);
    lf_removeNOldestStaticParked(statics);
}
