#include "scan/scan_log.h"

#include <utility>

std::vector<std::string> g_airportScanLog;

void gf_appendScanLogLine(std::string line) { g_airportScanLog.push_back(std::move(line)); }
