#pragma once
// Engine services of the main loop's housekeeping: the parked-aircraft action
// schedule, the list of active live aircraft for the window's aircraft
// selector, and output/info/ObjectIdList.txt. Main thread.

#include <string>
#include <vector>

// Runs at most one entry of the parked-aircraft action schedule: the last
// one, once it is due (an earlier entry waits behind it). The action reaches
// the aircraft only while it is parked with an object of its own: engines off
// (0), the arrival lights (1), the lights of a parked aircraft (2).
void gf_runParkedAcSchedule();

// "callsign, registration, hexid, oid=object id" of each active live
// aircraft that the ALL_AIR_GND_SELECTOR setting lets through (all, in the
// air, on the ground), "null" for an empty callsign or registration; sorted.
std::vector<std::string> gf_listActiveLiveAc();

// Replaces output/info/ObjectIdList.txt with one line per active live
// aircraft, in list order: "object id;callsign;registration;airline;type;
// GND or AIR;PARKED or nothing". A file that cannot be written is logged.
void gf_writeTrafficDump();
