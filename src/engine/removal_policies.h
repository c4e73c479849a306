#pragma once
// Removal policies: ghosts, the farthest live aircraft at the live limit and
// the parked aircraft over the parking target.

#include <cstdint>
#include <string_view>

// The live limit is reached by an aircraft at that distance (NM) from the
// user: removes the farthest live aircraft when it is farther. True when none
// was removed (the new aircraft is then the one to drop).
bool lf_isThisTheFurthestLive(double distanceNm);

// Removes the ghost of the callsign (a live aircraft with the callsign and a
// trailing "_") when there is one.
void lf_removeGhostWithUnderscoreIfPresent(std::string_view callsign);

// `extra` more aircraft are about to park: removes the oldest parked aircraft
// beyond the parking target.
void gf_trimParkedToTarget(std::uint8_t extra);
