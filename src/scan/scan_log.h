#pragma once
// The airport scan's own log: lines the scan collects while it runs, kept
// apart from the program log and written to AirportsScanLog.txt in the
// program's data folder. Only the scan's thread touches it.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/files.h"

extern std::vector<std::string> g_airportScanLog;

void gf_appendScanLogLine(std::string line);
// Empties the log and reserves room for a run's lines.
void gf_startAirportScanLog();
// The data folder's AirportsScanLog.txt (built once).
const std::filesystem::path& gf_airportsScanLogPath();
// Writes every line of the log, each followed by "\n", as the file's whole
// content. False (logged) when the file cannot be written.
bool gf_writeAirportsScanLog();
bool gf_writeAirportsScanLog(const std::filesystem::path& path);

// Two tests on a candidate code; an empty test lets every code pass. The scan
// passes the known-airport and the weekly-traffic test.
using IcaoFilter = std::function<bool(const IcaoCode&)>;
using IcaoFilters = std::pair<IcaoFilter, IcaoFilter>;

// Calls `visit` with each group of exactly four letters or digits that the
// ASCII upper-cased text holds between its ends or characters other than A-Z
// and 0-9, left to right, until `visit` answers true.
void gf_forEachIcaoGroup(std::string_view upperText, const std::function<bool(std::string_view)>& visit);
// The first such group in the path that makes a valid code, is not "FS24" and
// passes both filters.
std::optional<IcaoCode> gf_icaoCandidatesInPath(std::string_view path, const IcaoFilters& filters);
