#pragma once
// The engine's aircraft lists and the queues of work it hands the simulator
// link. All of them belong to the main thread (the engine tick and what it
// calls); nothing here takes a lock.

#include <cstdint>
#include <deque>
#include <vector>

#include "engine/records.h"
#include "engine/reports.h"

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
