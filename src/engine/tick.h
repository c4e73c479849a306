#pragma once
// The engine tick, the traffic engine's heartbeat: the main loop calls it
// every 10 ms while a flight runs. One tick applies the simulator's results,
// updates every live aircraft and publishes their poses, sends at most one
// removal (every 10 ticks) and one creation (every 20 ticks, live before
// static), decodes traffic reports, turns the last aircraft of the adding
// stack into a create request, issues the periodic requests and user checks
// (every 20 ticks), removes holding aircraft in the way of moving ones (every
// 20 ticks), and advances the engine clock. Engine thread.

#include <functional>

#include "engine/records.h"

void lf_handleAddingStack();

// Every 20 ticks: removes each holding aircraft that overlaps an active
// aircraft taxiing or rolling on the ground (never one with its own object
// id), so that it does not stand in that aircraft's way.
void lf_checkHoldingConflicts();

// The pacing counters back to 0 (engine reset); the queues and lists are the
// reset's own.
void gf_resetEngineTick();

// The calls the engine makes into motion, collision checks and the traffic
// feed that tests replace with recording fakes; an empty member calls the
// real function.
struct EngineCalls {
    std::function<void(LiveAc&)> nextPosMain;
    std::function<void()> checkUserAcGndCollisions;
    std::function<void()> sendUserPosition;
};
void gf_setEngineCalls(EngineCalls calls);
const EngineCalls& gf_engineCalls();
