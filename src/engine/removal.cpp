#include "engine/removal.h"

#include <fmt/format.h>

#include "engine/engine_lists.h"
#include "engine/reports.h"
#include "foundation/log.h"

void removeAircraftFromSim(AcBase& ac) {
    switch (ac.simState) {
        case AcSimState::removingfromsim:
            gf_logError(fmt::format("{} {} duplicate remove blocked", ac.callsign, ac.registration));
            return;
        case AcSimState::buffer:
            ac.removeRecord = 1;
            return;
        default:
            break;
    }
    // The removal is already pending for an object not yet created.
    if (ac.removeWhenCreated != 0 && ac.simState != AcSimState::active) return;

    if (ac.simState == AcSimState::adding2sim) {
        if (gf_dropPendingCreate(liveCreateQueue, ac.hexid) || gf_dropPendingCreate(staticCreateQueue, ac.hexid))
            ac.createDropped = 1;
        else
            ac.removeWhenCreated = 1;  // the create is in flight: remove the object when it exists
        return;
    }

    if (ac.objectId != 0) {
        // A respawn queued this object's removal when it began; a second entry
        // would remove the object twice. Switching the state is enough: the
        // removed result then ends the record instead of creating it again.
        if (ac.simState != AcSimState::liveryrespawn) removeQueue.push_back(ac.objectId);
        ac.simState = AcSimState::removingfromsim;
        return;
    }

    const AcBase& described = ac;
    gf_logError(fmt::format("{} removing act {}, with objectid=0 ?", "removeAircraftFromSim", described));
    if (ac.hexid <= kLastStaticHexid) g_staticsChanged = true;
    ac.removeRecord = 1;
}
