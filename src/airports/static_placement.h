#pragma once
// Placing the parked ("static") aircraft the planner chose, one per creation
// slot of the engine tick.

#include <cstdint>
#include <string>
#include <vector>

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
// stand, unless the stand is taken. Engine thread.
void gf_placeNextStaticAircraft();

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
