// Minimal bodies until the schedule, the aircraft list and the traffic dump
// are built.

#include "engine/live_lists.h"

void gf_runParkedAcSchedule() {}
std::vector<std::string> gf_listActiveLiveAc() { return {}; }
void gf_writeTrafficDump() {}
