#pragma once
// Identity changes of a live aircraft already shown: a new callsign, route or
// registration, and the livery respawn such a change may need.

#include "engine/records.h"

// True when the report is to be used; false when it is to be dropped (a ghost
// report, or a respawn was started).
bool lf_checkIdentityChange(LiveAc& ac, const AcInfo& identity);
