// Minimal body until the next-position step is built: a linear mover. At each
// point the aircraft heads straight for the next one at the leg's mean speed
// and is removed when its stream runs dry; no point is dropped, invented or
// retimed. The issue that builds the next-position step replaces this file.

#include "motion/next_position.h"

#include "engine/removal.h"
#include "foundation/geodesy.h"

void nextPosMain(LiveAc& ac) {
    if (ac.stream.size() < 2) {
        removeAircraftFromSim(ac);
        return;
    }
    const StreamPoint& front = ac.stream[0];
    const StreamPoint& next = ac.stream[1];
    ac.motion.legVerticalSpeed = next.verticalSpeed;
    ac.motion.legTasKt = next.tasKt > 0.0 ? next.tasKt : next.groundSpeedKt;
    ac.motion.legBearing = gf_bearing({front.lat, front.lon}, {next.lat, next.lon});
    ac.stream.pop_front();
}
