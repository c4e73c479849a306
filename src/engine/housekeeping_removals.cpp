// Minimal bodies: nothing is removed until the policies are built.

#include "engine/housekeeping_removals.h"

void lf_checkForStaticWithCallsignOrHexidAndRemove(const LiveAc& /*ac*/) {}
void gf_removeAllStatic() {}
void gf_removeLiveAircraftCategory(ModelCategory /*category*/) {}
void gf_removeStaticAircraftCategory(ModelCategory /*category*/) {}
void gf_clearUserDestGate(std::string_view /*standName*/) {}
void gf_checkLiveVsParkedCollisions() {}
void gf_checkForAllGndIfParkedVersionExistsAndRemove() {}
void gf_removeBlockedAc() {}
void gf_removeTCASCoverageAcs() {}
void gf_checkUserAcCollisions() {}
