#include "airports/airports_list.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <exception>
#include <mutex>
#include <shared_mutex>
#include <system_error>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "airports/airport.h"
#include "airports/airport_file_settings.h"
#include "feed/fields.h"
#include "foundation/encrypted.h"
#include "foundation/geodesy.h"
#include "foundation/log.h"
#include "foundation/text.h"

namespace {

// The list is read far more often than it is written: shared for lookups,
// exclusive only while a loaded vector is put in place.
std::shared_mutex l_airportsMutex;
std::vector<AirportListEntry> l_airports;  // sorted by icao, no duplicates
bool l_airportsLoaded = false;             // under l_airportsMutex
// Serialises loading, so that callers who race read the file once. Taken
// before l_airportsMutex, and held while the file is read; l_airportsMutex never is.
std::mutex l_airportsLoadMutex;

constexpr std::size_t kAirportsReserve = 24000;
constexpr double kCandidateRadiusNm = 5.0;
constexpr double kNoStandDistanceNm = 100.0;

std::atomic<ClosestStandReader> l_closestStandReader{&gf_readDestApfForClosestStand};

bool lf_parseWholeInt(const char* text, std::int32_t& value) {
    const std::string_view view(text);
    const auto [end, ec] = std::from_chars(view.data(), view.data() + view.size(), value);
    return ec == std::errc{} && end == view.data() + view.size();
}

std::optional<AirportListEntry> lf_parseAirportElement(const pugi::xml_node& element, const IcaoCode& icao) {
    const pugi::xml_attribute la = element.attribute("la");
    const pugi::xml_attribute lo = element.attribute("lo");
    if (!la || !lo) {
        gf_logError(fmt::format("Missing latLons for airport '{}'", icao));
        return std::nullopt;
    }
    const pugi::xml_attribute a = element.attribute("a");
    if (!a) {
        gf_logError(fmt::format("Missing alt for airport '{}'", icao));
        return std::nullopt;
    }
    AirportListEntry entry;
    entry.icao = icao;
    const auto lat = gf_parseDecimal(la.value());
    const auto lon = gf_parseDecimal(lo.value());
    if (!lat || !lon || !lf_parseWholeInt(a.value(), entry.altitudeFt)) {
        gf_logError(fmt::format("Invalid numeric data for airport '{}'", icao));
        return std::nullopt;
    }
    entry.position = LaLo{*lat, *lon};
    entry.iata = gf_noIataCode();
    if (const pugi::xml_attribute i = element.attribute("i")) {
        try {
            const IataCode iata(i.value());
            // An empty code is no code, which the list writes as "XXX".
            if (iata.isSet()) entry.iata = iata;
        } catch (const std::exception& e) {
            gf_log(fmt::format("Skipped airport '{}' '{}': {}", icao, i.value(), e.what()));
            return std::nullopt;
        }
    }
    if (entry.icao.isNone() || !gf_isValidLaLo(entry.position)) {
        gf_logError(fmt::format("Invalid position for airport '{}'", icao));
        return std::nullopt;
    }
    return entry;
}

std::variant<std::vector<AirportListEntry>, std::string> lf_loadAirportsXml() {
    const std::filesystem::path& path = airportsEncFile;
    const std::string pathText = gf_pathToUtf8(path);
    try {
        std::error_code ec;
        const auto status = std::filesystem::status(path, ec);
        if (ec && status.type() != std::filesystem::file_type::not_found)
            return fmt::format("Could not check whether {} exists: {}", pathText, ec.message());
        if (!std::filesystem::exists(status)) return fmt::format("{} not available", pathText);

        DecryptResult plain = gf_readEncryptedFile(path, kAirportsEncLimit);
        if (!plain.ok) return fmt::format("{} not loaded: {}", pathText, plain.error);

        pugi::xml_document document;
        const pugi::xml_parse_result parsed =
            document.load_buffer_inplace(plain.buffer.data(), plain.buffer.size(), pugi::parse_default,
                                         pugi::encoding_auto);
        if (!parsed) return fmt::format("{} not loaded: {}", pathText, parsed.description());
        const pugi::xml_node root = document.child("root");
        if (!root) return fmt::format("{} has no <{}> root", pathText, "root");
        const pugi::xml_node section = root.child("airports");
        if (!section) return fmt::format("{} has no <{}> section", pathText, "airports");

        std::vector<AirportListEntry> airports;
        airports.reserve(kAirportsReserve);
        for (const pugi::xml_node element : section.children("ap")) {
            const pugi::xml_attribute c = element.attribute("c");
            if (!c) {
                gf_logError("Skipped airport entry with missing ICAO code attribute");
                continue;
            }
            IcaoCode icao;
            try {
                icao = IcaoCode(c.value());
            } catch (const std::exception& e) {
                gf_log(fmt::format("Skipped invalid airport code '{}': {}", c.value(), e.what()));
                continue;
            }
            if (auto entry = lf_parseAirportElement(element, icao)) airports.push_back(*entry);
        }

        // The stable sort keeps document order among equal codes, so the first
        // entry of a code is the one that stays.
        std::stable_sort(airports.begin(), airports.end(),
                         [](const AirportListEntry& a, const AirportListEntry& b) { return a.icao < b.icao; });
        const auto firstDuplicate = std::unique(
            airports.begin(), airports.end(),
            [](const AirportListEntry& a, const AirportListEntry& b) { return a.icao == b.icao; });
        const auto duplicates = static_cast<std::size_t>(airports.end() - firstDuplicate);
        airports.erase(firstDuplicate, airports.end());
        if (duplicates > 0)
            gf_logError(fmt::format("Skipped {} duplicate airport entr{}", duplicates, duplicates == 1 ? "y" : "ies"));

        if (airports.empty()) return fmt::format("{} contains no valid airports", pathText);
        return airports;
    } catch (const std::exception& e) {
        return fmt::format("{} exception: {}", "lf_loadAirportsXml", e.what());
    }
}

}  // namespace

AirportsLoadResult gf_loadAirports() {
    std::lock_guard loadLock(l_airportsLoadMutex);
    {
        std::shared_lock lock(l_airportsMutex);
        if (l_airportsLoaded) return l_airports.size();
    }
    auto loaded = lf_loadAirportsXml();
    if (auto* error = std::get_if<std::string>(&loaded)) return std::move(*error);
    std::size_t count = 0;
    {
        std::unique_lock lock(l_airportsMutex);
        l_airports = std::move(std::get<std::vector<AirportListEntry>>(loaded));
        l_airportsLoaded = true;
        count = l_airports.size();
    }
    gf_log(fmt::format("{:5} airports read", count));
    return count;
}

std::optional<AirportListEntry> gf_findAirport(const IcaoCode& icao) {
    std::shared_lock lock(l_airportsMutex);
    const auto it = std::lower_bound(l_airports.begin(), l_airports.end(), icao,
                                     [](const AirportListEntry& entry, const IcaoCode& code) { return entry.icao < code; });
    if (it == l_airports.end() || !(it->icao == icao)) return std::nullopt;
    return *it;
}

bool gf_isKnownAirport(const IcaoCode& icao) { return gf_findAirport(icao).has_value(); }

std::vector<NearbyAirport> gf_airportsWithin(LaLo position, double radiusNm) {
    std::vector<NearbyAirport> nearby;
    const double cosLat = std::cos(position.lat * degreesToRadians);
    std::shared_lock lock(l_airportsMutex);
    for (const AirportListEntry& airport : l_airports) {
        const double north = std::abs(airport.position.lat - position.lat) * 60.0;
        if (north > radiusNm) continue;
        const double east = std::abs(gf_wrapLongitudeDifference(airport.position.lon - position.lon)) * 60.0 * cosLat;
        if (east > radiusNm) continue;
        const double squared = north * north + east * east;
        if (squared <= radiusNm * radiusNm) nearby.push_back(NearbyAirport{squared, airport});
    }
    return nearby;
}

std::optional<AirportListEntry> gf_findNearestAirport(LaLo position) {
    const std::vector<NearbyAirport> nearby = gf_airportsWithin(position, kCandidateRadiusNm);
    std::vector<std::pair<double, const AirportListEntry*>> candidates;
    candidates.reserve(nearby.size());
    for (const NearbyAirport& airport : nearby) candidates.emplace_back(airport.squaredNm, &airport.entry);
    if (candidates.empty()) return std::nullopt;
    std::sort(candidates.begin(), candidates.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    if (candidates.size() == 1) return *candidates.front().second;

    const ClosestStandReader reader = l_closestStandReader.load();
    const AirportListEntry* best = candidates.front().second;
    double bestDistanceNm = kNoStandDistanceNm;
    std::string bestStand;
    for (const auto& candidate : candidates) {
        const ClosestStandRead read = reader(candidate.second->icao, position);
        const auto* stand = std::get_if<ClosestStand>(&read);
        if (stand == nullptr || !(stand->distanceNm < bestDistanceNm)) continue;
        best = candidate.second;
        bestDistanceNm = stand->distanceNm;
        bestStand = stand->name;
    }
    if (best != candidates.front().second)
        gf_log(fmt::format("Airport {} has the closest center, but stand {} at {} is closer ({:.0f} meters)",
                           candidates.front().second->icao, bestStand, best->icao, bestDistanceNm * metresPerNm));
    return *best;
}

void gf_setClosestStandReader(ClosestStandReader reader) {
    l_closestStandReader.store(reader != nullptr ? reader : &gf_readDestApfForClosestStand);
}

void gf_unloadAirportsForTests() {
    std::lock_guard loadLock(l_airportsLoadMutex);
    std::unique_lock lock(l_airportsMutex);
    l_airports.clear();
    l_airportsLoaded = false;
}
