#pragma once
// The one way any part of the engine removes an aircraft, live or static.
// Nothing is erased here: a record is flagged, or its object's removal is
// queued, and the engine tick does the rest at its own pace.

#include "engine/records.h"

// By state: a second removal is refused (logged); a buffered record is
// flagged; a queued create is taken back, or the aircraft is marked to go as
// soon as its object exists; an object in the simulator has its removal queued
// (once: an aircraft being respawned has it queued already); an aircraft that
// should have an object but has none is dropped (logged).
void removeAircraftFromSim(AcBase& ac);
