#pragma once
// What the engine tick does for one live aircraft: the spawn gate while it
// waits in state buffer; for an active aircraft the next leg when a stream
// point is reached, the pose along the leg otherwise, and the pose staged for
// the simulator. Engine thread.

#include "engine/records.h"

// True when the record is to be erased (`removeRecord` or `createDropped`).
// Never throws: an aircraft whose update throws is logged once and removed.
bool updateLiveAc(LiveAc& ac);
