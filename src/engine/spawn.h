#pragma once
// Spawning: a new live aircraft waits in state buffer until its front point
// is due; the spawn gate then holds it, drops points or drops it (too low near
// the airport, in the user's way, too many creates queued, the live limit, no
// livery below the TCAS level, ghosts), and spawnLiveAc completes its
// identity, chooses its livery and starting phase, sets its first pose and
// puts it on the adding stack, from which the engine tick requests its
// creation. Engine thread.

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/records.h"
#include "engine/reports.h"

// The spawn gate of an aircraft in state buffer, run every tick: may wait,
// consume the front point, set `removeRecord`, or spawn it.
void checkSpawnLiveAc(LiveAc& ac);
// Logs that the aircraft is not shown while it flies low over the airport
// (callers say it once per aircraft).
void gf_logLowOverAirport(std::string_view callsign, std::string_view registration);

// Brings a gated aircraft to state adding2sim on the adding stack, unless it
// has no livery (dropped; its key and registration go into the no-match set
// unless the match was weak or it has no registration) or it waits on the
// ground for a calm stream.
void spawnLiveAc(LiveAc& ac);

// True when the aircraft must not appear now because of the user aircraft;
// its front point has then been consumed.
bool checkSpawnUserConflict(LiveAc& ac);

// Completes the key of an aircraft not yet known to the aircraft database:
// the registration's record, else the callsign's airline or "PVT"; a B777 of
// a cargo operator becomes a B77F.
void completeAcKeyAtSpawn(LiveAc& ac);

// True when the aircraft has a livery title: kept, the one last chosen for
// its hexid (unless that failed in the simulator), or a new match (remembered
// for the hexid).
bool chooseLiveLivery(LiveAc& ac, double altitudeFt);

// A flying or taxiing aircraft whose create request goes to the simulator only
// now, long after its front point fell due (creates are paced, one per 200 ms,
// so the last of a crowd waits tens of seconds; a lone report waits up to half
// a minute for the next): its stream is brought up to now, the points it would
// have moved past dropped and its front placed between the last one due and the
// next, and the request and its pose start there instead of where its first
// report was.
void gf_placeLateCreateNow(AiCreateRequest& request);

// The first pose from the front point; the hexid joins the new-live checks.
void initPoseFromFront(LiveAc& ac);

// The key text, a blank and the registration: the no-match set's entry.
std::string gf_acKeyRegistrationText(const AcInfo& ac);

// Pushing back, pushed back, parking or parked: a live aircraft in these
// phases holds the stand it is assigned to.
bool gf_isStandHoldingPhase(AcPhase phase);

// 2 when another live aircraft (other hexid) is parked on the stand with an
// object; else 1 when another one is on it parking, parked or pushing back;
// else 0 (also for a stand id below 1).
int gf_liveStandUse(std::int32_t standId, std::uint32_t hexid);
// The stand exists and no other live aircraft uses it.
bool gf_isStandFreeForLive(std::int32_t standId, std::uint32_t hexid);
// The live aircraft with that hexid holds the stand: it is assigned to it and
// pushing back, parking or parked.
bool gf_liveAcHoldsStand(std::int32_t standId, std::uint32_t hexid);

// Forgets the livery last chosen for the hexid; true when there was one.
bool gf_forgetLiveryOfHexid(std::uint32_t hexid);
