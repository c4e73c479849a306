#include "airports/current_airport.h"

#include <cmath>

#include "foundation/geodesy.h"

namespace {

std::shared_mutex l_currentAirportMutex;
AirportListEntry l_currentAirport;

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
