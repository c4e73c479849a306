#pragma once
// Live aircraft at stands: who gives way when a live aircraft wants a stand
// (static aircraft on it or on a stand that collides with it, other live
// aircraft parked there), and what happens once the simulator object of a
// live aircraft on the ground exists. Every removal goes through
// removeAircraftFromSim; an aircraft removed here leaves its stand only when
// the simulator confirms the removal. Engine thread.

#include <cstdint>

#include "airports/airport.h"
#include "engine/records.h"

// What making way at a stand found: a static aircraft on it that the live
// aircraft may take over instead of a create (found, with its hexid).
struct MakeWayResult {
    std::uint32_t promoteHexid = 0;
    bool found = false;
};

// Clears the wanted stand for the live aircraft. The first static aircraft on
// the stand is removed ("... makes way for ..."), or, when it is active, has
// its object, is not marked to go and carries the same registration, named
// for promotion while `promotionAllowed`; one still queued for creation is
// taken back and erased ("queued ..."), one whose create is in flight is
// marked to go when it exists. Then the static aircraft on the colliding
// stands make way (makeWayAtExcludedStand).
MakeWayResult makeWayAtStand(LiveAc& ac, const Stand& wanted, bool promotionAllowed);

// Removes the first active static aircraft on the colliding stand whose
// circle, with the live aircraft's, reaches from that stand to the wanted one.
void makeWayAtExcludedStand(LiveAc& ac, std::uint32_t excludedId, const Stand& wanted);

// Two live aircraft want one stand at spawn: the other one on it (pushing
// back, parking or parked) is removed when it has the same callsign, is this
// one's ghost (its callsign ends in "_" or is this one's with one character
// more), or simply stands in the way; this one gives way when it is the
// other's ghost, ends in "_" itself, or the other is about to leave. True
// when the stand may be taken: nobody uses it (any more).
bool lf_checkStandIsNotUsedByOtherLiveAircraftSub(std::int32_t standId, LiveAc& ac);

// True when `other` (another hexid, pushing back, parking or parked) holds
// the stand `standId`, that stand has a position, and the two aircraft's
// collision circles reach from that stand's position to the wanted stand's.
bool isLiveWingOverlapAtStand(const LiveAc& other, std::uint32_t standId, const LiveAc& ac, const Stand& wanted);

// A live aircraft on the ground got its object: gear down, on the ground, no
// departure pending. Parked at a stand it parks for good: the planner no
// longer places statics there and a static still on the stand is removed.
// `quiet` leaves out the "parks" line (a static's object taken over).
void hp_handleGroundTraffic(LiveAc& ac, bool quiet);
