#pragma once
// Carrying out what the parked-traffic planner decided: the statics it chose
// are created one per creation slot of the engine tick, the statics that no
// longer fit the plan are removed, removals and placements that would undo
// each other cancel out, and a static's shown callsign switches to its
// departing flight when that flight is about to leave. Engine thread.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/records.h"
#include "foundation/time.h"
#include "liveries/ac_key.h"

// One static aircraft the planner wants at a stand.
struct StaticToPlace {
    std::uint32_t hexid = 0;   // the traffic service's hexid, else 0
    std::uint32_t source = 0;  // 0 traffic service, 1 airport file
    std::int32_t standId = 0;  // 1-based
    std::int32_t ageSlots = 0;  // half-hour slots since it is taken to have arrived
    AcKey key{};
    std::string callsign1;
    std::string callsign2;
    std::string registration;
    bool callsign1First = true;
};

// The planner's statics-to-place list; the engine tick takes items from its
// back. Engine thread.
extern std::vector<StaticToPlace> staticsToPlace;

// Takes the last item of the list and creates one static aircraft at its
// stand, unless the stand is taken or no livery fits. Engine thread.
void gf_placeNextStaticAircraft();

// The callsign a static of the item shows: the preferred of its two callsigns
// (the other when that is empty) without trailing '_'; empty, and logged,
// when both are empty.
std::string lf_determineStaticCallsign(const StaticToPlace& item);

// Empties the list.
void gf_clearStaticsToPlace();

// One static aircraft the planner decided to remove at the end of an
// adjustment.
struct StaticRemoval {
    std::string callsign;
    std::uint32_t standId = 0;
};
// The planner's removal list: at most one entry per callsign. Engine thread;
// emptied at the set-up and the reset of the engine.
extern std::vector<StaticRemoval> staticRemovals;

// Puts the static on the removal list unless its callsign is there already.
void lf_addStaticToRemovals(const AcBase& ac, std::uint32_t standId);
// The same for every static `which` holds for, in list order, each with its
// own stand id.
void lf_addStaticsToRemovals(const std::function<bool(const AcBase&)>& which);
// Removes the static at each listed stand that is in the simulator.
void lf_removeRemovals();
// Takes off the list every planned static that a static still standing (not
// on its way out of the simulator) on its stand, or on a stand that excludes
// it, would keep from being placed, and frees the stand of the plan; each is
// logged as the placement would log it. Run once the plan's removals are
// under way, so that what stays planned can be placed.
void lf_dropPlansAStaticWouldRefuse();
// A kept static of the airport file whose flight leaves before the next
// half-hour shows its departing callsign from now on.
void lf_switchStaticCallsigns(WeekTime now);
// A removal and a placement of the same callsign at the same stand both go
// (the static stays); the stands that get a new static are cleared first.
void lf_cancelRemovalsAndPlacements();

// The running number (1..9999) the next static takes as its hexid: the one
// after the last, skipping 0 and every number a static still holds; none
// when all are held.
std::optional<std::uint32_t> gf_nextStaticNumber();
// Back to the start of the numbers (engine reset, tests).
void gf_resetStaticNumber(std::uint32_t last = 0);
