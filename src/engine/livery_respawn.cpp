#include "engine/livery_respawn.h"

#include <cmath>
#include <exception>
#include <stdexcept>

#include <fmt/format.h>

#include "engine/engine_lists.h"
#include "engine/engine_state.h"
#include "engine/identity.h"
#include "engine/reports.h"
#include "foundation/geodesy.h"
#include "foundation/log.h"

namespace {

bool lf_atPose(const StreamPoint& p, const AiPose& pose) {
    return gf_isSamePlace({p.lat, p.lon}, {pose.latitude, pose.longitude});
}

// The point the aircraft is created again at: where it is now, not where its
// stream last was, so that it does not jump back when it reappears.
StreamPoint lf_respawnPoint(LiveAc& ac) {
    if (ac.phase == AcPhase::parked) {
        // A parked aircraft stays where it stands: everything it was to do
        // next is dropped with the old object.
        ac.stream.resize(1);
        StreamPoint& front = ac.stream.front();
        front.stationary = 1;
        front.groundSpeedKt = 0.0;
        front.tasKt = 0.0;
        front.trackDeg = ac.pose.heading * radiansToDegrees;
        return front;
    }
    StreamPoint& front = ac.stream.front();
    StreamPoint p = front;
    p.lat = ac.pose.latitude;
    p.lon = ac.pose.longitude;
    p.altitudeFt = ac.pose.altitude;
    p.roll = ac.pose.bank;
    p.hasRoll = 1;
    // Still standing on its front point: the leg from the new point back to
    // it has no length to move along.
    if (lf_atPose(front, ac.pose)) front.stationary = 1;
    return p;
}

}  // namespace

void liveryRespawn(LiveAc& ac, bool resetFirst) {
    try {
        if (ac.stream.empty()) throw std::logic_error(fmt::format("{} has no stream point to respawn at", ac.callsign));
        if (resetFirst) resetForRespawn(ac);
        StreamPoint p = lf_respawnPoint(ac);
        p.playTick = tickCount.load() + 1;
        ac.stream.push_front(p);
        ac.simState = AcSimState::liveryrespawn;
        ac.motion.forcedHeading = ac.pose.heading;
        ac.motion.hasForcedHeading = 1;
        if (ac.objectId != 0) {
            removeQueue.push_back(ac.objectId);
            return;
        }
        const AcBase& described = ac;
        gf_logError(fmt::format("{} removing act {} with objectid=0 ?", "liveryRespawn", described));
        // No removed result will ever come for an object that does not
        // exist: waiting for it would hold the aircraft (and drop its
        // reports) for good.
        ac.removeRecord = 1;
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: {}", "liveryRespawn", e.what()));
    }
}
