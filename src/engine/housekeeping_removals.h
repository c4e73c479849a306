#pragma once
// Removal policies and collision checks that the main loop's housekeeping
// runs: statics that turn out to be a live flight, switched-off categories,
// the user's destination stand and blocked aircraft, TCAS-only aircraft, and
// the collision checks with the user aircraft and with parked aircraft.
//
// Minimal bodies until the policies are built: they remove nothing, so every
// aircraft stays until its own stream ends. The code that builds the policies
// replaces these bodies (and this file).

#include <string_view>

#include "liveries/code_tables.h"

struct LiveAc;

// The first active static that is in fact this live flight (by hexid,
// registration or callsign) is removed.
void lf_checkForStaticWithCallsignOrHexidAndRemove(const LiveAc& ac);
// Every static aircraft is removed, queued creates taken back.
void gf_removeAllStatic();
// Live aircraft of the category, and static aircraft of categories no longer
// included, are removed.
void gf_removeLiveAircraftCategory(ModelCategory category);
void gf_removeStaticAircraftCategory(ModelCategory category);
// The aircraft on the user's destination stand is removed.
void gf_clearUserDestGate(std::string_view standName);
// Live aircraft that drive into parked ones, and statics whose live twin is on
// the ground, are removed.
void gf_checkLiveVsParkedCollisions();
void gf_checkForAllGndIfParkedVersionExistsAndRemove();
// The aircraft the user blocked is removed.
void gf_removeBlockedAc();
// Aircraft kept only for TCAS coverage are removed below their level.
void gf_removeTCASCoverageAcs();
// Live aircraft in the way of the airborne user aircraft are removed.
void gf_checkUserAcCollisions();
