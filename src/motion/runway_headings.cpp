// Loading the runway table of the park airport from the simulator's facility
// data: read once per airport and source, checked and logged, pruned of the
// runways that are out of use.

#include <cmath>
#include <utility>

#include <fmt/format.h>

#include "airports/current_airport.h"
#include "foundation/geodesy.h"
#include "foundation/log.h"
#include "motion/runways.h"

RunwayTableAirport g_runwayTableAirport;

const std::vector<IgnoredRunway> g_ignoredRunways{
    {"stock", "CYUL", 10, 0, 28, 0, "permanently converted to Taxiway C"},
    {"stock", "CYYC", 8, 0, 26, 0, "permanently converted to Taxiway L"},
};

namespace {

RunwayReader l_runwayReader;

std::optional<FacilityRunwaySet> lf_readRunways(std::string_view icao) {
    return l_runwayReader ? l_runwayReader(icao) : gf_readRunwayHeadings(icao);
}

void lf_logFinding(std::string_view code, std::string_view key, std::string_view text) {
    gf_logError(fmt::format("RUNWAY_HEADING: {} runway {}: {}", code, key, text));
}

bool lf_nearZero(LaLo p) { return std::fabs(p.lat) < 0.0001 && std::fabs(p.lon) < 0.0001; }

// A difference of two angles in degrees brought into [-180, 180].
double lf_wrapDegrees(double difference) {
    if (difference > 180.0) return difference - 360.0;
    if (difference < -180.0) return difference + 360.0;
    return difference;
}

std::string lf_runwayKey(const FacilityRunway& runway) {
    return fmt::format("{}-{}", gf_runwayName(runway.primaryNumber, runway.primaryDesignator),
                       gf_runwayName(runway.secondaryNumber, runway.secondaryDesignator));
}

}  // namespace

void gf_setRunwayReader(RunwayReader reader) { l_runwayReader = std::move(reader); }

void gf_clearRunwayTable() {
    g_runwayTable.clear();
    g_runwayTableAirport = {};
}

void checkRunwayStartAltitude(std::string_view code, std::string_view key, const FacilityRunway& runway,
                              bool primaryEnd) {
    const auto& own = primaryEnd ? runway.primaryStart : runway.secondaryStart;
    const auto& other = primaryEnd ? runway.secondaryStart : runway.primaryStart;
    const auto filtered = gf_filterSpike(runway.altitudeFt, gf_startAltitude(own), gf_startAltitude(other));
    if (filtered.replaced && own) {
        lf_logFinding(code, key,
                      fmt::format("{} START altitude {:.1f} ft differs from runway center {:.1f} ft; using runway "
                                  "center altitude",
                                  primaryEnd ? "primary" : "secondary", own->altitudeFt, runway.altitudeFt));
    }
}

void checkRunwayHeadingData(std::string_view code, LaLo reference, const FacilityRunway& runway,
                            std::set<std::string>& keys) {
    const std::string key = lf_runwayKey(runway);

    const bool geometry = gf_isValidLaLo(runway.centre) && gf_isValidLaLo(runway.end1) && gf_isValidLaLo(runway.end2);
    double bearingDeg = 0.0;
    double distanceM = 0.0;
    if (geometry) {
        bearingDeg = gf_bearing(runway.end1, runway.end2) * radiansToDegrees;
        distanceM = gf_distanceNm(runway.end1, runway.end2) * metresPerNm;
    }

    if (!keys.insert(key).second) lf_logFinding(code, key, "duplicate runway designation");
    if (!geometry) lf_logFinding(code, key, "invalid center or endpoint coordinates");

    const double heading = runway.headingDeg;
    const bool headingFinite = std::isfinite(heading);
    if (!headingFinite || heading < 0.0 || heading >= 360.0) lf_logFinding(code, key, "invalid facility heading");
    const double length = runway.lengthM;
    const bool lengthFinite = std::isfinite(length);
    if (!lengthFinite || length <= 0.0 || length > 10000.0) lf_logFinding(code, key, "implausible runway length");
    const double width = runway.widthM;
    if (!std::isfinite(width) || width <= 0.0 || width > 500.0) lf_logFinding(code, key, "implausible runway width");
    if (!std::isfinite(runway.altitudeFt)) lf_logFinding(code, key, "invalid runway altitude");

    const auto inNumberRange = [](std::int32_t n) { return n >= 1 && n <= 36; };
    if (inNumberRange(runway.primaryNumber) && inNumberRange(runway.secondaryNumber) &&
        runway.secondaryNumber != ((runway.primaryNumber + 17) % 36) + 1)
        lf_logFinding(code, key, "runway numbers are not reciprocal");

    // none, L, R, C, W pair with none, R, L, C, W; A, B and other codes are not checked.
    static constexpr std::int32_t reciprocalDesignator[] = {0, 2, 1, 3, 4};
    if (runway.primaryDesignator >= 0 && runway.primaryDesignator <= 4 &&
        runway.secondaryDesignator != reciprocalDesignator[runway.primaryDesignator])
        lf_logFinding(code, key, "runway designators are not reciprocal");

    if (!runway.primaryStart || !runway.secondaryStart)
        lf_logFinding(code, key, "one or both runway START records are missing");

    checkRunwayStartAltitude(code, key, runway, true);
    checkRunwayStartAltitude(code, key, runway, false);

    if (headingFinite && geometry && std::fabs(lf_wrapDegrees(bearingDeg - heading)) > 0.1)
        lf_logFinding(code, key, "endpoint bearing differs from facility heading");
    if (lengthFinite && geometry && std::fabs(distanceM - length) > std::max(0.001 * length, 1.0))
        lf_logFinding(code, key, "endpoint distance differs from facility length");
    if (!lf_nearZero(reference) && !lf_nearZero(runway.centre) && gf_distanceNm(reference, runway.centre) > 10.0)
        lf_logFinding(code, key, "center is more than 10 NM from airport reference point");
}

bool logIgnoredRunway(std::string_view code, std::string_view source, const FacilityRunway& runway,
                      std::set<std::string>& keys) {
    const auto matches = [&](const IgnoredRunway& row) {
        if (row.source != source || row.airport != code) return false;
        const bool inOrder = runway.primaryNumber == row.primaryNumber &&
                             runway.primaryDesignator == row.primaryDesignator &&
                             runway.secondaryNumber == row.secondaryNumber &&
                             runway.secondaryDesignator == row.secondaryDesignator;
        const bool swapped = runway.primaryNumber == row.secondaryNumber &&
                             runway.primaryDesignator == row.secondaryDesignator &&
                             runway.secondaryNumber == row.primaryNumber &&
                             runway.secondaryDesignator == row.primaryDesignator;
        return inOrder || swapped;
    };
    for (const IgnoredRunway& row : g_ignoredRunways) {
        if (!matches(row)) continue;
        const std::string key = lf_runwayKey(runway);
        gf_log(fmt::format("RUNWAY_HEADING: {} {} runway {} ignored: {}", code, source, key, row.reason));
        keys.erase(key);
        return true;
    }
    return false;
}

void loadAirportRunways(IcaoCode code, std::string_view source) {
    const std::string codeText(code.text());
    if (codeText == g_runwayTableAirport.code && source == g_runwayTableAirport.source) return;

    gf_clearRunwayTable();
    auto set = lf_readRunways(codeText);
    if (!set) {
        gf_logError(fmt::format("RUNWAY_HEADING: reading runway facilities for {} failed", codeText));
        return;
    }

    g_runwayTableAirport = {codeText, std::string(source)};
    g_runwayTable.reserve(set->runways.size());
    for (const FacilityRunway& runway : set->runways) g_runwayTable.emplace_back(runway);

    if (const auto airport = gf_currentAirport()) {
        const double fileAltitudeFt = airport->altitudeFt;
        const double difference = set->airportAltitudeFt - fileAltitudeFt;
        if (std::fabs(difference) > 100.0) {
            gf_logError(fmt::format("RUNWAY_HEADING: {} airport altitude difference too large: Facilities={:.1f} ft, "
                                    "airport file={:.1f} ft, difference={:+.1f} ft",
                                    codeText, set->airportAltitudeFt, fileAltitudeFt, difference));
        }
    }

    std::set<std::string> keys;
    for (const TableRunway& runway : g_runwayTable) {
        const auto airport = gf_currentAirport();
        checkRunwayHeadingData(codeText, airport ? airport->position : LaLo{}, runway, keys);
    }

    std::erase_if(g_runwayTable,
                  [&](const TableRunway& runway) { return logIgnoredRunway(codeText, source, runway, keys); });

    std::string keyList;
    for (const std::string& key : keys) {
        if (!keyList.empty()) keyList += ", ";
        keyList += key;
    }
    const std::size_t count = g_runwayTable.size();
    gf_log(fmt::format("RUNWAY_HEADING: {} {} {}: {}", codeText, count, count == 1 ? "runway" : "runways", keyList));
}
