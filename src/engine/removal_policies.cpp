// Minimal bodies until the removal policies are built: nothing is removed, so
// at the live limit the new aircraft is the one dropped. The issue that
// builds the policies replaces this file.

#include "engine/removal_policies.h"

bool lf_isThisTheFurthestLive(double /*distanceNm*/) { return true; }

void lf_removeGhostWithUnderscoreIfPresent(std::string_view /*callsign*/) {}

void gf_trimParkedToTarget(std::uint8_t /*extra*/) {}
