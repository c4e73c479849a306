#pragma once
// The simulator's results applied to the engine's aircraft, first in every
// engine tick: created objects (held back 200 ticks, or up to 500 while their
// pose and CG data are late, before the aircraft becomes active), failed and
// lost creates, removed objects, ground data, static CG and pitch, and
// initial poses. Engine thread; the SimClient thread only queues results
// (gf_queueSimCommand, engine/sim_commands.h).

#include "engine/sim_commands.h"

// Takes every queued result and applies it; then ages the held-back create
// results and finishes those that are due.
void gf_processSimCommands();

// One tick of a held-back create result: the live object's lights blink at
// its 50th and 100th tick; from its 200th tick on the aircraft is finished.
// True when the result is done with.
bool lf_ageDelayedSimCommand(SimCommand& command);

// Activates a live aircraft whose object exists (a parked one once its pose,
// CG and ground elevation are known, at the latest at 500 ticks); removes it
// at once when it was marked to go. True when done, false to ask again.
bool lf_finishDelayedLiveCommand(const SimCommand& command);

// Puts a static aircraft into its parked configuration once its pose and CG
// are known (at the latest at 500 ticks). True when done, false to ask again.
bool lf_finishDelayedStaticCommand(const SimCommand& command);

// Empties the results of the engine's working copy and the held-back ones
// (engine reset).
void gf_clearSimResults();
// Makes room for n results in the working copy (engine set-up); returns its
// capacity.
std::size_t gf_reserveSimResults(std::size_t n);
