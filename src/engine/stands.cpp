#include "engine/stands.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include <fmt/format.h>

#include "airports/airport.h"
#include "airports/current_airport.h"
#include "engine/geometry.h"
#include "engine/records.h"
#include "engine/user_position.h"
#include "foundation/atomic_shared_ptr.h"
#include "foundation/geodesy.h"
#include "services/gui.h"
#include "simlink/sim_link.h"

std::vector<Stand> g_standTable;
std::unordered_map<std::string, std::uint32_t, Fnv1aTextHash, std::equal_to<>> g_standNameIndex;
std::int64_t g_staticParkingTarget = 0;

namespace {

using StandSnapshot = std::shared_ptr<const std::vector<StandMark>>;

AtomicSharedPtr<const std::vector<StandMark>> l_standSnapshot{std::make_shared<const std::vector<StandMark>>()};
// The main thread's own reference to the snapshot it published last.
StandSnapshot l_mainThreadSnapshot;

// 20 m in nautical miles, squared.
constexpr double kStandRadiusSquaredNm = 0.00011662133983924917;
// 0.003 NM, squared: the cache is reused while the position moves less.
constexpr double kCacheMoveSquaredNm = 9e-6;

// How far an aircraft's wing radius may exceed a stand's radius (NM).
constexpr double kFitMarginNm = 0.0029157667386609074;      // 5.4 m
constexpr double kFuelFitMarginNm = 0.002699784017278618;   // 5.0 m
constexpr double kExtraFitMarginNm = 0.0009719222462203025;  // 1.8 m

struct StandCache {
    StandSnapshot snapshot;
    LaLo position{};
    bool valid = false;
    std::optional<std::string> result;
};

bool lf_categoryIn(std::int32_t category, std::initializer_list<ModelCategory> categories) {
    return std::any_of(categories.begin(), categories.end(),
                       [category](ModelCategory c) { return static_cast<std::int32_t>(c) == category; });
}

// A stand that the given stand excludes, found by halving the table on the id.
Stand* lf_findExcluded(std::uint32_t id) {
    auto it = std::lower_bound(g_standTable.begin(), g_standTable.end(), id,
                               [](const Stand& s, std::uint32_t wanted) { return s.id < wanted; });
    return it != g_standTable.end() && it->id == id ? &*it : nullptr;
}

// The kept number of occupied stands, with the table it was kept for: a
// table replaced (loaded, emptied) is counted afresh on first use.
struct OccupiedCount {
    const Stand* table = nullptr;
    std::size_t size = 0;
    std::int64_t count = 0;
};
OccupiedCount l_occupied;

std::int64_t& lf_occupiedCount() {
    if (l_occupied.table != g_standTable.data() || l_occupied.size != g_standTable.size())
        l_occupied = OccupiedCount{g_standTable.data(), g_standTable.size(), gf_countOccupiedStands(g_standTable)};
    return l_occupied.count;
}

bool lf_nameOrExcludedNameIs(const Stand& stand, std::string_view name) {
    if (stand.name == name) return true;
    for (std::uint32_t id : stand.excludes) {
        if (const Stand* other = gf_standById(id); other && other->name == name) return true;
    }
    return false;
}

}  // namespace

Stand* gf_standById(std::int64_t id) {
    if (id < 1 || id > static_cast<std::int64_t>(g_standTable.size())) return nullptr;
    Stand& stand = g_standTable[static_cast<std::size_t>(id - 1)];
    return stand.id == static_cast<std::uint64_t>(id) ? &stand : nullptr;
}

bool gf_isGateName(std::string_view name) { return name.find("GATE") != std::string_view::npos; }

std::string gf_standNameById(std::int32_t id) {
    if (id == 0) return "sid==0?";
    const Stand* stand = gf_standById(id);
    return stand ? stand->name : std::string("sid==?");
}

bool gf_standFitsAircraft(const Stand& stand, std::int32_t category, double wingRadiusNm) {
    // Written so that a radius that is not a number fits no stand.
    const double d = wingRadiusNm - stand.radius;
    if (!(d <= kFitMarginNm)) return false;
    switch (stand.type) {
        case ParkingType::NONE:
        case ParkingType::VEHICLE: return false;
        case ParkingType::RAMP_GA:
        case ParkingType::RAMP_GA_SMALL:
        case ParkingType::DOCK_GA: return lf_categoryIn(category, {Light, TwoProps, Bizjet, Rotorcraft});
        case ParkingType::RAMP_GA_MEDIUM: return lf_categoryIn(category, {Bizjet, Large, Rotorcraft});
        case ParkingType::RAMP_GA_LARGE:
        case ParkingType::RAMP_CARGO: return lf_categoryIn(category, {Large, Heavy});
        case ParkingType::RAMP_MIL_CARGO: return lf_categoryIn(category, {Bizjet, Large, Heavy, Rotorcraft});
        case ParkingType::RAMP_MIL_COMBAT: return lf_categoryIn(category, {HighPerf, Rotorcraft});
        case ParkingType::GATE_SMALL:
            return lf_categoryIn(category, {Light, TwoProps, Bizjet}) || (category == Large && d <= 0.0);
        case ParkingType::GATE_MEDIUM: return lf_categoryIn(category, {Bizjet, Large});
        case ParkingType::GATE_HEAVY: return lf_categoryIn(category, {Large, Heavy});
        case ParkingType::FUEL: return d <= kFuelFitMarginNm;
        default: return d <= kExtraFitMarginNm;
    }
}

bool gf_standHasRealOptionForAircraft(const std::vector<StandOption>& options, std::string_view callsign,
                                      const AcKey& key) {
    if (callsign.empty() || options.empty()) return false;
    for (const StandOption& option : options) {
        // Number 0 marks an option that is no longer usable.
        if (option.number == 0 || option.real != 1) continue;
        if (option.callsign1 == callsign || option.callsign2 == callsign) return true;
        if (option.key.airline == key.airline && option.key.model == key.model &&
            option.key.operatorIndex == key.operatorIndex && option.key.cargo == key.cargo)
            return true;
    }
    return false;
}

bool gf_isUserStand(const Stand& stand) {
    if (const auto reserved = gf_getParkAirportUserStand(); reserved && lf_nameOrExcludedNameIs(stand, *reserved))
        return true;
    const UserAircraftState user = gf_userPosition();
    if (gf_isUnknownPosition(user.latitude, user.longitude)) return false;
    const auto atUser = gf_standNameAtPosition(LaLo{user.latitude, user.longitude});
    return atUser && lf_nameOrExcludedNameIs(stand, *atUser);
}

std::int32_t gf_computeStaticParkingTarget(std::int32_t percentage, std::int32_t maximum) {
    const auto n = static_cast<std::int64_t>(g_standTable.size());
    // No stands, or no share of them, leaves no stand for statics: the small
    // airport rule below is meant for a wanted share, not for none.
    if (maximum <= 0 || percentage <= 0 || n == 0) {
        g_staticParkingTarget = 0;
        Gui::enqueueUpdate(GuiUpdate::parkingTarget(0, 0));
        return 0;
    }
    std::int64_t t = 0;
    if (n <= 1 || (n <= 3 && percentage < 50))
        t = 1;
    else
        t = std::llround(static_cast<double>(percentage) * static_cast<double>(n) / 100.0);
    const std::int64_t target = std::min<std::int64_t>(maximum, t);
    g_staticParkingTarget = target;
    const auto percent = static_cast<std::int32_t>(std::llround(static_cast<double>(target) * 100.0 / n));
    Gui::enqueueUpdate(GuiUpdate::parkingTarget(static_cast<std::int32_t>(target), percent));
    return static_cast<std::int32_t>(target);
}

bool gf_claimStand(std::int32_t id, std::int64_t needed) {
    Stand* stand = gf_standById(id);
    if (stand == nullptr || stand->occupied) return false;
    std::int64_t& occupied = lf_occupiedCount();
    stand->occupied = true;
    ++occupied;
    for (std::uint32_t excluded : stand->excludes) {
        if (Stand* other = lf_findExcluded(excluded)) other->blocked = true;
    }
    return occupied >= needed;
}

std::int64_t gf_occupiedStandCount() { return lf_occupiedCount(); }

void gf_clearStandMarks() {
    for (Stand& stand : g_standTable) stand.occupied = stand.blocked = false;
    l_occupied = OccupiedCount{g_standTable.data(), g_standTable.size(), 0};
}

void gf_releaseStand(Stand& stand) {
    std::int64_t& occupied = lf_occupiedCount();
    if (!stand.occupied) return;
    stand.occupied = false;
    --occupied;
}

void gf_assignStandToAircraft(AcBase& ac, const Stand& stand) {
    ac.standPos = LaLo{stand.latitude, stand.longitude};
    ac.standHeadingRad = stand.heading;
    ac.standId = static_cast<std::int32_t>(stand.id);
    ac.isCargo = stand.cargo ? 1 : 0;
    ac.isGate = gf_isGateName(stand.name) ? 1 : 0;
}

Stand* gf_findStandByName(std::string_view name) {
    const auto it = g_standNameIndex.find(name);
    if (it == g_standNameIndex.end()) return nullptr;
    return gf_standById(it->second);
}

void gf_publishStandSnapshot() {
    auto marks = std::make_shared<std::vector<StandMark>>();
    marks->reserve(g_standTable.size());
    for (const Stand& stand : g_standTable)
        marks->push_back(StandMark{stand.name, LaLo{stand.latitude, stand.longitude}});
    StandSnapshot published = std::move(marks);
    l_standSnapshot.store(published);
    l_mainThreadSnapshot = std::move(published);
}

bool gf_isOnAStand(const LaLo& position) {
    return std::any_of(g_standTable.begin(), g_standTable.end(), [&position](const Stand& stand) {
        return gf_distanceNm(position, LaLo{stand.latitude, stand.longitude}) <= stand.radius;
    });
}

std::optional<std::string> gf_standNameAtPosition(const LaLo& position) {
    thread_local StandCache cache;
    if (!g_userOnGround.load()) return std::nullopt;
    const auto snapshot = l_standSnapshot.load();
    if (!snapshot || snapshot->empty()) return std::nullopt;
    if (cache.valid && cache.snapshot == snapshot &&
        gf_flatDistanceSquaredNm(cache.position, position) <= kCacheMoveSquaredNm)
        return cache.result;

    const StandMark* nearest = nullptr;
    double best = kStandRadiusSquaredNm;
    for (const auto& stand : *snapshot) {
        const double d2 = gf_flatDistanceSquaredNm(position, stand.position);
        if (d2 <= best) {
            best = d2;
            nearest = &stand;
        }
    }
    cache.snapshot = snapshot;
    cache.position = position;
    cache.valid = true;
    cache.result = nearest ? std::optional<std::string>(nearest->name) : std::nullopt;
    return cache.result;
}

std::string gf_formatStandExcludes(const std::vector<std::uint32_t>& excludes, std::int32_t standId) {
    if (excludes.empty()) return {};
    std::string names;
    for (std::uint32_t id : excludes) {
        if (!names.empty()) names += ',';
        names += gf_standNameById(static_cast<std::int32_t>(id));
    }
    return fmt::format("          {:8}: excludes {}", gf_standNameById(standId), names);
}
