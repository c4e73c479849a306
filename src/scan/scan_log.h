#pragma once
// The airport scan's own log: lines the scan collects while it runs, kept
// apart from the program log. Only the scan's thread appends to it.

#include <string>
#include <vector>

extern std::vector<std::string> g_airportScanLog;

void gf_appendScanLogLine(std::string line);
