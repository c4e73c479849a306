#pragma once
// The engine's aircraft lists and the queues of work it hands the simulator
// link. All of them belong to the main thread (the engine tick and what it
// calls); nothing here takes a lock.

#include <atomic>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/records.h"
#include "engine/reports.h"
#include "engine/sim_commands.h"
#include "foundation/hash.h"

// The live aircraft, in the order they were first reported. Records are only
// flagged for removal here; the tick's compaction erases them.
extern std::vector<LiveAc> g_liveAircraft;
// The parked ("static") aircraft.
extern std::vector<AcBase> g_staticAircraft;

// Object ids whose removal waits to be sent, first in, first out.
extern std::deque<std::uint32_t> removeQueue;
// Create requests waiting to be sent; live ones always go first.
extern std::deque<AiCreateRequest> liveCreateQueue;
extern std::deque<AiCreateRequest> staticCreateQueue;
// Hexids of live aircraft made ready for creation, served last in, first out.
extern std::vector<std::uint32_t> addingStack;
// A static record was flagged for removal: the tick compacts the static list.
extern bool g_staticsChanged;

// Static aircraft carry running numbers up to this value as their hexid; a
// real aircraft's address is always above it.
inline constexpr std::uint32_t kLastStaticHexid = 10000;

// The index of the first live aircraft with the hexid, the list's size when
// there is none; and the aircraft itself, nullptr when there is none.
std::size_t gf_liveIndexByHexid(std::uint32_t hexid);
LiveAc* gf_findLiveByHexid(std::uint32_t hexid);

// Create results (live and static) waiting, 200 ticks or more, for their
// object's pose and CG data before the aircraft becomes active; `tick` counts
// the ticks waited.
extern std::vector<SimCommand> delayedSimCommands;

// New live aircraft that the once-a-second housekeeping checks against the
// static aircraft, one per second.
extern std::deque<std::uint32_t> newLiveCheckQueue;

// One entry of the parked-aircraft action schedule: at the due tick, engines
// off (action 0) or a change of lights (1 and 2) for the live aircraft with
// that hexid. Filled at arrival at a stand, served from the end.
struct ParkedAcAction {
    std::uint32_t hexid = 0;
    std::int32_t dueTick = 0;
    std::uint32_t action = 0;
};
extern std::vector<ParkedAcAction> parkedActionSchedule;

// Callsigns (ending in "_") of ghosts already removed; a ghost of these is not
// spawned again.
extern std::vector<std::string> removedGhosts;

// The livery last chosen for a hexid, so that an aircraft that comes back
// gets the same one. The titles live in the livery tables' store, which
// outlives every table rebuild.
extern std::unordered_map<std::uint32_t, std::string_view, Fnv1aHexidHash> liveryByHexid;

// Static aircraft that took over as live aircraft (shown in the window).
extern std::atomic<std::uint64_t> g_promotionsCount;
// Static aircraft that reached their stand in this run (shown in the window).
extern std::atomic<std::uint64_t> g_parkedStaticsCount;
