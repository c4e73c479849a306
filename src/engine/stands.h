#pragma once
// The stands of the current airport as the engine and the parked-traffic
// planner share them: the stand table with its name index, the operations on
// it (fit, flight options, the user's stand, the static parking target,
// claims, assignment, lookups) and the snapshot of names and positions that
// other threads read.
//
// The table and the index belong to the engine's thread. Other threads see
// stands only through the published snapshot, which is replaced as a whole.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "airports/airport.h"
#include "foundation/hash.h"
#include "foundation/lalo.h"
#include "liveries/ac_key.h"

struct AcBase;

// The stand table of the current airport, sorted by id: entry i has id i + 1.
extern std::vector<Stand> g_standTable;
// Stand name -> 1-based stand id.
extern std::unordered_map<std::string, std::uint32_t, Fnv1aTextHash, std::equal_to<>> g_standNameIndex;
// The number of stands static aircraft may fill.
extern std::int64_t g_staticParkingTarget;

// The stand with that 1-based id, when the table holds it under that id.
Stand* gf_standById(std::int64_t id);

// True when the name contains "GATE".
bool gf_isGateName(std::string_view name);

// The name of the stand with that id; "sid==0?" for 0, "sid==?" for an id
// that names no stand.
std::string gf_standNameById(std::int32_t id);

// Whether the stand may take an aircraft of that category (ModelCategory) and
// wing radius (NM).
bool gf_standFitsAircraft(const Stand& stand, std::int32_t category, double wingRadiusNm);

// Whether a usable real option of the stand names the callsign or the key
// (airline, type, operator and cargo flag).
bool gf_standHasRealOptionForAircraft(const std::vector<StandOption>& options, std::string_view callsign,
                                      const AcKey& key);

// Whether the stand, or a stand it excludes, is the user's: the user stand
// recorded for the current park airport, or the stand at the user aircraft's
// position.
bool gf_isUserStand(const Stand& stand);

// The static parking target from the parking percentage and the most statics
// wanted, over the stands of the table; stored and posted to the window.
std::int32_t gf_computeStaticParkingTarget(std::int32_t percentage, std::int32_t maximum);

// A static takes the stand: it is marked occupied and the stands it excludes
// blocked. True when the occupied stands reach `needed`; false, and nothing
// marked, for an unknown or already occupied stand.
bool gf_claimStand(std::int32_t id, std::int64_t needed);

// The occupied stands of the table. A plan asks after every claim, so the
// number is kept as the marks change (through the three operations here)
// instead of being counted over the table each time; a table replaced as a
// whole is counted once.
std::int64_t gf_occupiedStandCount();
// No stand occupied or blocked: where every plan starts.
void gf_clearStandMarks();
// The stand is no longer held by the plan.
void gf_releaseStand(Stand& stand);

// The aircraft takes the stand's position, heading, id, cargo and gate flags.
void gf_assignStandToAircraft(AcBase& ac, const Stand& stand);

// The stand of that name through the name index, or none.
Stand* gf_findStandByName(std::string_view name);

// Some stand of the table holds the position within its radius.
bool gf_isOnAStand(const LaLo& position);

// A stand as the engine publishes it for other threads.
struct StandMark {
    std::string name;
    LaLo position{};
};

// Publishes {name, position} of every stand of the table, in table order.
void gf_publishStandSnapshot();

// The name of the stand within 20 m of the position, from the published
// stands; none while the user aircraft is not on the ground. A per-thread
// cache is reused while the position moves at most 0.003 NM. Any thread.
std::optional<std::string> gf_standNameAtPosition(const LaLo& position);

// "          {:8}: excludes {}" with the stand's name and the names of the
// stands it excludes joined by ","; empty for an empty list.
std::string gf_formatStandExcludes(const std::vector<std::uint32_t>& excludes, std::int32_t standId);
