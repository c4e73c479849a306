#include "engine/reports.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <optional>

#include "airports/airport.h"
#include "airports/current_airport.h"
#include "engine/geometry.h"
#include "foundation/geodesy.h"
#include "foundation/log.h"
#include "services/gui.h"
#include "settings/snapshot.h"

namespace {

constexpr std::uint32_t kMaxTrafficExceptionReports = 20;
constexpr double kNearAirportNm = 5.0;

std::atomic<std::uint32_t> l_trafficExceptionCount{0};

bool lf_hasCode(const IataCode& code) { return code.isSet() && code != gf_noIataCode(); }

std::string lf_currentExceptionText() {
    const std::exception_ptr current = std::current_exception();
    if (!current) return "unknown exception";
    try {
        std::rethrow_exception(current);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "non-standard exception";
    }
}

}  // namespace

std::string gf_routeText(const FlightIdentity& identity) {
    if (!identity.origin.isSet() && !identity.destination.isSet()) return fmt::format("{:8}", "");
    return fmt::format("{:3}->{:3}", identity.origin.text(), identity.destination.text());
}

std::string gf_describeAc(const AcInfo& ac) {
    return fmt::format("{:8} {:12} {} {}", ac.callsign, ac.registration, gf_routeText(ac), gf_acKeyText(ac.key));
}

std::string gf_formatWithAcKey(std::string_view format, std::string_view first, std::string_view second,
                               const AcKey& key) {
    return fmt::format(fmt::runtime(format), first, second, key);
}

std::string gf_airlineOperatorText(const AcKey& key) {
    std::string text(gf_airlineCodeAt(key.airline));
    if (key.operatorIndex != 0) {
        text += ',';
        text += gf_airlineCodeAt(key.operatorIndex);
    }
    return text;
}

IataCode gf_airportCodeNear(LaLo position, IataCode code) {
    if (const auto airport = gf_currentAirport();
        airport && !airport->icao.isNone() && lf_hasCode(airport->iata) && gf_isValidLaLo(airport->position)) {
        const double cosLat = std::cos(airport->position.lat * degreesToRadians);
        if (gf_flatDistanceSquaredNm(airport->position, position, cosLat) <= kNearAirportNm * kNearAirportNm)
            return airport->iata;
    }
    if (code.isSet()) return code;
    if (!gf_isValidLaLo(position)) return IataCode();
    const std::optional<NearbyAirport> nearest = [&]() -> std::optional<NearbyAirport> {
        std::optional<NearbyAirport> best;
        for (NearbyAirport& airport : gf_airportsWithin(position, kNearAirportNm)) {
            // "<=": on equal distances the later entry wins.
            if (!best || airport.squaredNm <= best->squaredNm) best = std::move(airport);
        }
        return best;
    }();
    if (nearest && lf_hasCode(nearest->entry.iata)) return nearest->entry.iata;
    return IataCode();
}

void gf_reportMovement(std::string line) {
    if (settingsSnapshot.load()->FLIGHT_MESSAGES != 0)
        Gui::addStatusLine(line, true);
    else
        gf_log(line);
}

void gf_reportTrafficException(std::string_view functionName) noexcept {
    // The early look keeps the counter from running on (and wrapping) in a
    // long run of failures; the increment alone decides who reports.
    if (l_trafficExceptionCount.load() >= kMaxTrafficExceptionReports) return;
    const std::uint32_t n = l_trafficExceptionCount.fetch_add(1);
    if (n >= kMaxTrafficExceptionReports) return;
    try {
        const std::string_view suffix =
            n == kMaxTrafficExceptionReports - 1 ? " (further traffic exceptions will be suppressed)" : "";
        gf_logError(fmt::format("Traffic exception in {}: {}{}", functionName, lf_currentExceptionText(), suffix));
    } catch (...) {
        // Reporting must not throw out of a catch block.
    }
}

void gf_resetTrafficExceptionCount() noexcept { l_trafficExceptionCount.store(0); }

bool gf_dropPendingCreate(std::deque<AiCreateRequest>& queue, std::uint32_t hexid) {
    const auto kept =
        std::remove_if(queue.begin(), queue.end(), [hexid](const AiCreateRequest& r) { return r.hexid == hexid; });
    const bool dropped = kept != queue.end();
    queue.erase(kept, queue.end());
    return dropped;
}

std::string lf_formatIdPair(std::uint32_t first, std::uint32_t second) { return fmt::format("[{},{}]", first, second); }

fmt::format_context::iterator fmt::formatter<AcBase>::format(const AcBase& ac, fmt::format_context& ctx) const {
    auto out = fmt::format_to(ctx.out(), "{:8} {:12} {}", ac.callsign, ac.registration, gf_routeText(ac));
    return fmt::format_to(out, " {}", ac.key);
}
