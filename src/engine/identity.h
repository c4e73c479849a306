#pragma once
// Identity changes of a live aircraft already shown: a new callsign, route or
// registration. Each change is stored and logged; when the shown model or
// livery (or the 2020 simulator's flight plan) no longer fits and
// GUID_CHANGES allows it, the aircraft is respawned (engine/livery_respawn.h).
// Engine thread.

#include "engine/records.h"

// True when the report is to be used; false when it is to be dropped (a ghost
// report, or a respawn was started).
bool lf_checkIdentityChange(LiveAc& ac, const AcInfo& identity);

// An aircraft not yet in the simulator takes every set value of the report
// (a code not 0, a text not empty) that differs from its own.
void updateIdentityInBuffer(LiveAc& ac, const AcInfo& identity);

// A new origin or destination is filled in at once; a changed pair is
// adopted on its third report in a row, unless the aircraft's pair touches
// the current airport. True when nothing was adopted.
bool checkOrigDestChange(LiveAc& ac, const AcInfo& identity);

// Stores a new non-empty registration; true when it did not change. Sets
// `resetDue` when the new registration calls for another key or livery: the
// new key is stored at once, but the livery is only given up when a respawn
// actually starts, so that an aircraft that is not respawned keeps showing.
bool checkRegistrationChange(LiveAc& ac, const AcInfo& identity, bool regWasCallsign, bool& resetDue);

// True when the new registration calls for another key or livery: a
// registration-code livery other than the shown one, or a database key other
// than the aircraft's. The key found is stored.
bool checkRegcodeLivery(LiveAc& ac, const AcInfo& identity);

// Gives up the aircraft's livery (also the one remembered for its hexid) and
// returns it to phase birth, so that spawning chooses anew.
void resetForRespawn(LiveAc& ac);

// The phases in which an aircraft keeps its object whatever changes.
bool gf_isRespawnProtectedPhase(AcPhase phase);
