#pragma once
// The traffic engine's set-up and reset. All its state lives in global
// containers that last as long as the process: the set-up empties and
// reserves them when the main thread begins a run, and the reset empties them
// again before a restart and at closing down, so that the next run starts
// from a clean engine without the process ending.
//
// Both run on the main thread while the simulator thread and the feed's
// readers are stopped (reset) or not yet started (set-up); only the mailbox
// and the feed's hand-over maps take their locks, because a reader may still
// post into them.

// Empties the engine's lists, the stands, the results and the work lists and
// reserves them for a run; a container that already has the room keeps it.
// The run's count of traffic-exception reports starts afresh.
void gf_initTrafficEngine();

// Ends a run: the current airport and the traffic source's hand-over maps are
// cleared, the window's live counts set to 0, every list, queue, held-back
// result and schedule of the engine emptied, the mailbox reset (a stall no
// longer keeps delivery off), the stands and their published snapshot
// emptied, the QNH set back to 1013 hPa and the week clock to its start. The
// failed-livery registry is kept (only this run's count toward the failure
// limit starts again); the no-match set is emptied. The liveries chosen per
// hexid outlive it: their titles live in the livery store; so do the places
// the live aircraft were shown at on the ground (gf_keepShownPlaces).
void gf_resetTrafficEngine();
