#pragma once
// Removal policies: the reasons besides the end of its reports for which an
// aircraft leaves the simulator. Ghosts (a second copy of a flight whose
// callsign ends in "_"), static aircraft that are in fact a live flight,
// everything at an airport change, size categories the user switched off,
// the user's destination stand, the user's blocked aircraft, aircraft kept
// only for TCAS coverage, the farthest live aircraft at the live limit, live
// parked aircraft that stayed too long, the oldest parked aircraft beyond
// the parking target, and live aircraft driving into parked ones.
//
// Every policy removes through removeAircraftFromSim; a removal that throws is
// reported under the policy's own name and the policy goes on with the next
// aircraft. Engine thread.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/records.h"
#include "foundation/time.h"
#include "liveries/code_tables.h"

// A live aircraft parked at a stand that may stay there.
struct StayerEntry {
    std::string callsign;
    std::string registration;
    std::uint64_t value = 0;  // always 0
    std::int32_t standId = 0;
    std::uint32_t minutesParked = 0;
};
// Rebuilt by lf_collectLiveStayers for the parked-traffic planner.
extern std::vector<StayerEntry> stayers;

// The most parked aircraft (live parked plus static) the parked-traffic
// planner wants; negative means no limit (nothing is planned).
extern std::int32_t parkedTarget;

// ---- week time of parked aircraft

// The stamp `parkTime` takes when an aircraft parks: the planner's current
// week time (g_weekTime), day and half-hour slot packed as it keeps it.
double gf_currentParkTime();
// The week time of a `parkTime` stamp; none for 0 or a value that is no valid
// week time.
std::optional<WeekTime> gf_parkWeekTime(double parkTime);
// Half-hour slots from the stamp to now, across the end of the week (336
// slots); none for a stamp that is no week time.
std::optional<std::uint32_t> gf_parkedSlots(double parkTime, WeekTime now);

// ---- ghosts

// Removes the ghost of the callsign (the first live aircraft carrying it with
// "_" appended, not being removed) and remembers the ghost's callsign.
void lf_removeGhostWithUnderscoreIfPresent(std::string_view callsign);
// True when a live aircraft not being removed carries the callsign without
// its last character.
bool lf_hasLiveWithCallsignStem(std::string_view callsign);

// ---- statics that are a live flight

// Removes the first active static that is this live aircraft: the traffic
// service's parked twin by hexid, the same registration, or the callsign (or
// its stem without "_", or the third identity text) as a flight of the stand.
void lf_checkForStaticWithCallsignOrHexidAndRemove(const LiveAc& ac);
// Removes the first active static that is the parked twin of an active live
// aircraft on the ground (by registration, else by callsign); one per call.
void gf_checkForAllGndIfParkedVersionExistsAndRemove();

// ---- airport change, categories, destination stand, block, TCAS

// Every static goes: active ones are removed, queued creates taken back.
void gf_removeAllStatic();
// Every static, and every live aircraft on the ground at the airport (taxiing,
// at or leaving a stand, rolling out) loses its stand and goes; aircraft in
// the air and landing keep flying.
void lf_removeAllStaticAndLiveAtAirport();
// The live aircraft, and the statics, of a size category switched off.
void gf_removeLiveAircraftCategory(ModelCategory category);
void gf_removeStaticAircraftCategory(ModelCategory category);
// Whether the aircraft's type is of the category.
bool lf_typeHasCategory(const AcInfo& ac, ModelCategory category);
// Frees the user's destination stand: its active static, else the live
// aircraft parked there. An empty or unknown stand name frees nothing.
void gf_clearUserDestGate(std::string_view standName);
// Removes the aircraft the user blocked (by hexid, else callsign, else
// registration).
void gf_removeBlockedAc();
// Removes the aircraft kept only for TCAS coverage (weak livery match) below
// the TCAS level less 1000 ft, forgetting their liveries.
void gf_removeTCASCoverageAcs();

// ---- live limit

// The live limit is reached by a new aircraft at that distance (NM) from the
// user: removes the farthest active live aircraft when it lies more than
// 0.1 NM farther. A negative distance removes the farthest one. True when none
// was removed (the new aircraft is then the one to drop).
bool lf_isThisTheFurthestLive(double distanceNm);

// ---- parked aircraft

// The number of active live aircraft parked; with `report` the window is
// shown their average time parked (hours).
std::uint32_t gf_countLiveParked(bool report);
// Once a second: every live aircraft taxiing or parking against the parked
// aircraft; the pass checks only aircraft that moved unless the statics
// changed or every 60th call.
void gf_checkLiveVsParkedCollisions();
// One pass of it; `full` checks every aircraft taxiing or parking.
void lf_checkLiveVsParked(bool full);
// The driver's call counter and the parked-statics count it saw back to the
// start of a run (engine reset).
void gf_resetLiveVsParkedPasses();
// Rebuilds `stayers` from the live parked aircraft, removing those parked too
// long (Heavy 180 minutes, others 90); sorted by minutes parked.
void lf_collectLiveStayers();
// Removes the n live parked aircraft (none that is leaving its stand), or
// statics, parked longest.
void lf_removeNOldestLiveParked(std::int64_t n);
void lf_removeNOldestStaticParked(std::int64_t n);
// `extra` more aircraft are about to park: removes the oldest parked aircraft
// beyond `parkedTarget`, statics first while the live ones fit.
void gf_trimParkedToTarget(std::uint8_t extra);
// A live aircraft removed from its stand to keep the parked traffic in
// bounds (a surplus over the target, a long stay): while its reports still
// have it standing it is not shown again, until it is created once they move.
bool gf_isParkedOut(std::uint32_t hexid);
void gf_forgetParkedOut(std::uint32_t hexid);
