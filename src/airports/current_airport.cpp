#include "airports/current_airport.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <numbers>
#include <unordered_set>
#include <utility>

#include "engine/services.h"
#include "liveries/code_tables.h"
#include "settings/snapshot.h"
#include "foundation/geodesy.h"

namespace {

std::shared_mutex l_currentAirportMutex;
AirportListEntry l_currentAirport;

std::mutex l_placementsMutex;
std::vector<RtParkPlacement> l_placements;

bool lf_isValid(const AirportListEntry& airport) {
    return !airport.icao.isNone() && gf_isValidLaLo(airport.position);
}

}  // namespace

std::optional<AirportListEntry> gf_currentAirport() {
    std::shared_lock lock(l_currentAirportMutex);
    if (l_currentAirport.icao.isNone()) return std::nullopt;
    return l_currentAirport;
}

void gf_setCurrentAirport(const AirportListEntry& airport) {
    std::unique_lock lock(l_currentAirportMutex);
    l_currentAirport = airport;
}

void gf_clearCurrentAirport() {
    std::unique_lock lock(l_currentAirportMutex);
    l_currentAirport = AirportListEntry{};
}

void gf_setCurrentAirportAltitude(std::int32_t altitudeFt) {
    std::unique_lock lock(l_currentAirportMutex);
    l_currentAirport.altitudeFt = altitudeFt;
}

std::optional<double> gf_getCurrentAirportAltitude() {
    std::shared_lock lock(l_currentAirportMutex);
    if (!lf_isValid(l_currentAirport)) return std::nullopt;
    return static_cast<double>(l_currentAirport.altitudeFt);
}

bool gf_isNearCurrentAirport(const LaLo& position) {
    const auto airport = gf_currentAirport();
    if (!airport || !lf_isValid(*airport)) return false;
    const double north = (airport->position.lat - position.lat) * 60.0;
    const double east = gf_wrapLongitudeDifference(airport->position.lon - position.lon) *
                        std::cos(airport->position.lat * degreesToRadians) * 60.0;
    return north * north + east * east <= 100.0;
}

void gf_searchRtParkPositions(std::vector<ParkedRecord>& parkedList, std::uint32_t count) {
    std::vector<RtParkPlacement> placed;
    if (count >= 1) {
        const auto settings = settingsSnapshot.load();
        std::unordered_set<std::string> standsTaken;
        const auto userStand = gf_getParkAirportUserStand();
        for (const auto& record : parkedList) {
            if (placed.size() >= count) break;
            // The list comes youngest first: everything after an old report is older still.
            if (record.age > settings->MAX_FIT) break;
            if (record.identity.callsign.empty()) continue;
            if (!gf_isCategoryIncluded(gf_getModelCategory(record.identity.key.model))) continue;
            if (record.standName.empty() || (userStand && *userStand == record.standName)) continue;
            if (!standsTaken.insert(record.standName).second) continue;
            placed.push_back(RtParkPlacement{record.hexid, record.standName, record.age, record.identity,
                                             record.position});
        }
    }
    std::lock_guard lock(l_placementsMutex);
    l_placements = std::move(placed);
}

std::vector<RtParkPlacement> gf_takeRtParkPlacements() {
    std::lock_guard lock(l_placementsMutex);
    return std::exchange(l_placements, {});
}
