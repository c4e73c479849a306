#include "scan/scan_log.h"

#include <fstream>
#include <utility>

#include <fmt/format.h>

#include "foundation/log.h"
#include "foundation/text.h"

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

bool gf_writeAirportsScanLog(const std::filesystem::path& path) {
    // The scan rewrites its log after every airport the simulator could not
    // describe, hundreds of times in a large scan: the file is truncated and
    // written in place. A new file each time (written aside, synced and
    // renamed) cost more than the scan itself, and a log needs no such care:
    // the next write, or the next scan, makes it whole again.
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const std::string& line : g_airportScanLog) {
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
        out.put('\n');
    }
    out.close();
    if (!out) {
        gf_logError(fmt::format("could not write {}", gf_pathToUtf8(path)));
        return false;
    }
    return true;
}

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
