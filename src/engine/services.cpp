#include "engine/services.h"

#include <atomic>
#include <cmath>
#include <numbers>

#include "liveries/code_tables.h"
#include "foundation/atomic_shared_ptr.h"
#include "settings/snapshot.h"
#include "foundation/geodesy.h"
#include "foundation/text.h"

namespace {

using StandSnapshot = std::shared_ptr<const std::vector<StandMark>>;

AtomicSharedPtr<const std::vector<StandMark>> l_standSnapshot{std::make_shared<const std::vector<StandMark>>()};

// 20 m in nautical miles, squared.
constexpr double kStandRadiusSquaredNm = 0.00011662133983924917;
// 0.003 NM, squared: the cache is reused while the position moves less.
constexpr double kCacheMoveSquaredNm = 9e-6;

double lf_flatDistanceSquaredNm(const LaLo& a, const LaLo& b) {
    const double north = (a.lat - b.lat) * 60.0;
    const double east = gf_wrapLongitudeDifference(a.lon - b.lon) * std::cos(a.lat * degreesToRadians) * 60.0;
    return north * north + east * east;
}

struct StandCache {
    StandSnapshot snapshot;
    LaLo position{};
    bool valid = false;
    std::optional<std::string> result;
};

bool lf_isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

bool gf_setAirlineFromCallsign(FlightIdentity& identity) {
    const std::string& cs = identity.callsign;
    if (cs.size() < 4 || !lf_isLetter(cs[0]) || !lf_isLetter(cs[1]) || !lf_isLetter(cs[2]) || cs[3] < '0' ||
        cs[3] > '9')
        return false;
    std::string prefix = cs.substr(0, 3);
    identity.key.airline = gf_internAirlineCode(gf_toUpperAscii(prefix));
    return true;
}

bool gf_isCategoryIncluded(std::int32_t category) {
    const auto settings = settingsSnapshot.load();
    switch (category) {
        case Bizjet:
        case Large:
        case Heavy: return true;
        case Light: return settings->LIGHT_AIRCRAFT != 0;
        case TwoProps: return settings->TWO_PROPS != 0;
        case HighPerf: return settings->HIGH_PERF_AIRCRAFT != 0;
        case Rotorcraft: return settings->HELICOPTERS != 0;
        default: return false;
    }
}

void gf_publishStandSnapshot(std::vector<StandMark> stands) {
    l_standSnapshot.store(std::make_shared<const std::vector<StandMark>>(std::move(stands)));
}

std::optional<std::string> gf_standNameAtPosition(const LaLo& position) {
    thread_local StandCache cache;
    const auto snapshot = l_standSnapshot.load();
    if (!snapshot || snapshot->empty()) return std::nullopt;
    if (cache.valid && cache.snapshot == snapshot &&
        lf_flatDistanceSquaredNm(cache.position, position) <= kCacheMoveSquaredNm)
        return cache.result;

    const StandMark* nearest = nullptr;
    double best = kStandRadiusSquaredNm;
    for (const auto& stand : *snapshot) {
        const double d2 = lf_flatDistanceSquaredNm(position, stand.position);
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
