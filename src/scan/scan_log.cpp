#include "scan/scan_log.h"

#include <utility>

#include "settings/parameters.h"

std::vector<std::string> g_airportScanLog;

void gf_appendScanLogLine(std::string line) { g_airportScanLog.push_back(std::move(line)); }

void gf_startAirportScanLog() {
    g_airportScanLog.clear();
    g_airportScanLog.reserve(2048);
}

const std::filesystem::path& gf_airportsScanLogPath() {
    static const std::filesystem::path path = programDataFolder() / "AirportsScanLog.txt";
    return path;
}

bool gf_writeAirportsScanLog(const std::filesystem::path& path) { return gf_writeLinesToFile(g_airportScanLog, path); }

bool gf_writeAirportsScanLog() { return gf_writeAirportsScanLog(gf_airportsScanLogPath()); }

// A hand matcher instead of a regular expression over the path: groups are the
// maximal runs of A-Z/0-9 of exactly four characters, since a run must be
// bounded on both sides by a text end or another character.
void gf_forEachIcaoGroup(std::string_view upperText, const std::function<bool(std::string_view)>& visit) {
    std::size_t i = 0;
    while (i < upperText.size()) {
        if (!gf_isAirportCodeChar(upperText[i])) {
            ++i;
            continue;
        }
        std::size_t start = i;
        while (i < upperText.size() && gf_isAirportCodeChar(upperText[i])) ++i;
        const std::string_view group = upperText.substr(start, i - start);
        if (gf_isAirportCode(group) && visit(group)) return;
    }
}

std::optional<IcaoCode> gf_icaoCandidatesInPath(std::string_view path, const IcaoFilters& filters) {
    std::string upper(path);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    std::optional<IcaoCode> result;
    gf_forEachIcaoGroup(upper, [&](std::string_view group) {
        if (group == "FS24") return false;
        IcaoCode code;
        try {
            code = IcaoCode(group);
        } catch (const std::invalid_argument&) {
            return false;
        }
        if (filters.first && !filters.first(code)) return false;
        if (filters.second && !filters.second(code)) return false;
        result = code;
        return true;
    });
    return result;
}
