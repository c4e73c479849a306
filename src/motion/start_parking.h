#pragma once
// Starting the drive of a live aircraft onto a stand, and who gives way: a
// live aircraft parked on the wanted stand, or one on a colliding stand whose
// wings would reach into it, is removed (the stand frees once the simulator
// confirms the removal); one still driving onto or pushing back from the
// stand keeps it. Engine thread only.

#include <cstdint>

#include "airports/airport.h"
#include "engine/records.h"

// Claims the stand for the live aircraft and starts its drive onto it;
// `redirect` is set when the aircraft is sent to a stand that a parked
// aircraft just freed in front of it (it then drives on from where it is,
// by an approach point when it comes from off the stand's axis). False, and
// nothing changed but the aircraft removed to make way, when the stand cannot
// be taken now.
bool startParkingAtStand(LiveAc& ac, Stand& stand, bool redirect);

// True when the wanted stand and its colliding stands are free of other live
// aircraft. A live aircraft parked on the stand is removed ("... removed, ...
// wants to park there") and the stand stays taken until it is gone.
bool lf_checkStandOrExcludedIsOccupiedByLiveParkedTry(const Stand& wanted, LiveAc& ac);

// True when no other live aircraft on the colliding stand `excludedId`
// reaches into the wanted stand; one parked, parking or pushing back there
// with its object is removed ("... removed by parking ... at colliding
// adjacent stand ...").
bool lf_checkExcludedStandIsAvailableForLiveParkingTry(std::uint32_t excludedId, LiveAc& ac, const Stand& wanted);
