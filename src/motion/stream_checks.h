#pragma once
// Whether a new report may extend a live aircraft's stream, by phase. The
// checks may correct the point (stationary flag, ground speed) and the stream
// (trailing points dropped), end an extrapolation or change the phase.

#include "engine/records.h"

// True when the point is to be appended to the aircraft's stream.
bool checkExtendingSituations(LiveAc& ac, StreamPoint& point);
// The check of an aircraft not yet moving in the simulator (and of taxiing
// and flying ones): near-duplicates become stationary copies of the last
// point, implausible stationary points are refused.
bool lf_acceptNewStreamPoint(LiveAc& ac, StreamPoint& point);
