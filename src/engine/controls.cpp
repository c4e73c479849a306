#include "engine/controls.h"

#include <array>
#include <cmath>

#include "engine/records.h"
#include "foundation/log.h"
#include "foundation/random.h"
#include "settings/snapshot.h"
#include "simlink/sim_link.h"

namespace {

constexpr std::array<std::uint32_t, 5> kFlapsData{0, 3072, 10240, 16383, 0};
constexpr std::array<std::uint32_t, 5> kThrottleData{0, 4914, 8191, 11468, 16383};

constexpr double kMinStaticPitchRad = -0.017453292519943295;  // -1 degree (excluded)
constexpr double kMaxStaticPitchRad = 0.04363323129985824;    // 2.5 degrees
constexpr double kDefaultStaticPitchRad = 0.012217304763960306;  // 0.7 degree

bool lf_isRotorcraft(const AcBase& ac) { return ac.category == Rotorcraft; }

}  // namespace

void gf_setFlaps(AcBase& ac, std::uint32_t flapsIndex) {
    if (flapsIndex == ac.flapsIndex || lf_isRotorcraft(ac)) return;
    if (flapsIndex > 4)
        gf_logError("gf_setFlaps: invalid flaps index");
    else
        gf_queueClientEvent(ac.objectId, FLAPS_SET, kFlapsData[flapsIndex]);
    ac.flapsIndex = flapsIndex;
}

void gf_setThrottle(AcBase& ac, std::uint32_t throttleStep) {
    if (throttleStep == ac.throttleStep) return;
    if (throttleStep < 5) gf_queueClientEvent(ac.objectId, THROTTLE_SET, kThrottleData[throttleStep]);
    ac.throttleStep = throttleStep;
}

void gf_setSpoilers(AcBase& ac, bool on) {
    if (lf_isRotorcraft(ac)) return;
    gf_queueClientEvent(ac.objectId, SPOILERS_SET, on ? 16383u : 0u);
}

void gf_setGear(AcBase& ac, bool down) {
    if (lf_isRotorcraft(ac)) return;
    gf_queueClientEvent(ac.objectId, GEAR_SET, down ? 1u : 0u);
}

void gf_setParkedControls(AcBase& ac) {
    gf_setThrottle(ac, 0);
    gf_setFlaps(ac, 0);
    gf_stopAiEngines(ac.objectId);
    const auto settings = settingsSnapshot.load();
    std::uint32_t cabin = 0;
    if (!ac.isCargo && settings->RANDOM != 0) cabin = gf_randomBelow(10) < 9 ? 1 : 0;
    const std::uint32_t nav = settings->NAV_LIGHTS_WHILE_PARKED != 0 ? 1 : 0;
    gf_setAiLights(ac.objectId, {nav, 0, 0, 0, 0, 1, cabin});
}

void gf_applyStaticCg(AcBase& ac, double cgHeightFt, double staticPitchRad) {
    if (std::isfinite(cgHeightFt) && cgHeightFt >= -1.0 && cgHeightFt <= 35.0 && cgHeightFt != 0.0) {
        ac.groundOffsetFt = cgHeightFt;
        ac.groundOffsetFromSim = 1;
    } else {
        ac.groundOffsetFt = gf_categoryValues(ac.category).groundOffsetFt;
        ac.groundOffsetFromSim = 0;
    }
    ac.hasStaticCg = 1;
    if (std::isfinite(staticPitchRad) && staticPitchRad > kMinStaticPitchRad && staticPitchRad <= kMaxStaticPitchRad)
        ac.staticPitchRad = staticPitchRad;
    else
        ac.staticPitchRad = kDefaultStaticPitchRad;
}
