#pragma once
// The latest user-aircraft state, published for every thread.

#include <atomic>
#include <memory>

#include "foundation/atomic_shared_ptr.h"
#include "simlink/user_aircraft_state.h"

// The latest published state; all zero until the first publication. Readers
// load it once and read what they need from that copy. A latitude and
// longitude both within 0.0001 degree of 0 mean no position is known yet.
extern AtomicSharedPtr<const UserAircraftState> userPositionSnapshot;

// Altitude (feet) of the last published state.
extern std::atomic<double> g_userAltitudeFt;

// Stores the state and publishes a copy.
void gf_publishUserAircraftState(const UserAircraftState& state);

// The published state, or an all-zero one.
UserAircraftState gf_userPosition();

// True when both latitude and longitude lie within 0.0001 degree of 0.
bool gf_isUnknownPosition(double latitude, double longitude);
