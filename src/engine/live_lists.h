#pragma once
// Engine services of the main loop's housekeeping: the parked-aircraft action
// schedule, the list of active live aircraft for the window's aircraft
// selector, and output/info/ObjectIdList.txt.
//
// Minimal bodies until these services are built: the schedule is left to
// wait, the list is empty (the selector offers only its prompt) and no file
// is written. The code that builds them replaces these bodies (and this file).

#include <string>
#include <vector>

// Runs at most one due entry of the parked-aircraft action schedule.
void gf_runParkedAcSchedule();
// "callsign, registration, hexid, oid=n" of each selectable live aircraft,
// sorted.
std::vector<std::string> gf_listActiveLiveAc();
// Writes ObjectIdList.txt, one line per active live aircraft.
void gf_writeTrafficDump();
