// Minimal bodies until the reference speeds and phases are built: no speed is
// known (NaN), so no caller takes an aircraft for fast enough to take off; a
// phase change keeps the phase history and its start tick but clears no
// landing or approach state. The issue that builds the reference speeds and
// phase changes replaces this file.

#include "motion/flight_phases.h"

#include <limits>

#include "engine/engine_state.h"

double refSpeedKt(const LiveAc& /*ac*/, std::uint8_t /*mode*/) { return std::numeric_limits<double>::quiet_NaN(); }

void setFlightPhase(LiveAc& ac, AcPhase phase) {
    if (phase == AcPhase::pushing_back || phase == AcPhase::pushed_back || phase == AcPhase::parked)
        ac.arrivingHere = 0;
    if (phase == ac.phase) return;
    ac.prevPrevPhase = ac.prevPhase;
    ac.prevPhase = ac.phase;
    ac.phase = phase;
    ac.phaseStartTick = static_cast<std::uint32_t>(tickCount.load());
}
