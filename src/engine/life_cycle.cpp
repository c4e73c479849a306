#include "engine/life_cycle.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <filesystem>
#include <utility>

#include <fmt/format.h>

#include "engine/aircraft_ids.h"
#include "engine/controls.h"
#include "engine/engine_lists.h"
#include "engine/engine_state.h"
#include "engine/reports.h"
#include "engine/spawn.h"
#include "engine/stands.h"
#include "foundation/log.h"
#include "motion/stand_parking.h"
#include "settings/snapshot.h"
#include "simlink/sim_link.h"

namespace {

constexpr double kLowAltitudeFt = 10000.0;
constexpr double kCabinHeightFt = 2000.0;

// A value that is not a number counts as low (and as high for the cabin).
std::uint32_t lf_atMost(double value, double limit) { return !(value > limit) ? 1 : 0; }
std::uint32_t lf_atLeast(double value, double limit) { return !(value < limit) ? 1 : 0; }

}  // namespace

bool onLiveObjectCreated(LiveAc& ac, const SimCommand& created, bool promoted) {
    if (created.objectId < kFirstObjectId) return false;
    ac.objectId = created.objectId;
    if (ac.phase == AcPhase::parked &&
        (!gf_liveAcHoldsStand(ac.standId, ac.hexid) || gf_liveStandUse(ac.standId, ac.hexid) != 0)) {
        gf_log(fmt::format("{:14}: {} created without owning the live stand reservation, will be removed",
                           gf_standNameById(ac.standId), ac.callsign));
        ac.removeWhenCreated = 1;
        return true;
    }
    if (!ac.stream.empty() && ac.stream.front().airborne == 0) hp_handleGroundTraffic(ac, promoted);
    createFlightPlanForLive(ac);
    if (ac.phase == AcPhase::parked && ac.hasSimPose == 0) gf_requestAiInitialPose(ac.objectId);
    if (ac.hasStaticCg == 0) gf_requestAiStaticCg(ac.objectId);
    return true;
}

void activateLiveAc(LiveAc& ac) {
    const bool airborne = !ac.stream.empty() ? ac.stream.front().airborne != 0 : ac.onGround == 0;
    ac.airborneAtActivation = airborne ? 1 : 0;
    ac.activationTick = tickCount.load();
    if (airborne) {
        gf_startAiEngines(ac.objectId);
        gf_setSpoilers(ac, false);
        const std::uint32_t low = lf_atMost(ac.pose.altitude, kLowAltitudeFt);
        gf_setAiLights(ac.objectId, {1, 1, low, 0, 1, low, lf_atLeast(ac.motion.heightAboveGroundFt, kCabinHeightFt)});
    } else {
        gf_setSpoilers(ac, false);
        if (ac.phase != AcPhase::parked) {
            gf_startAiEngines(ac.objectId);
            gf_setAiLights(ac.objectId, {1, 1, 0, ac.phase == AcPhase::taxi ? 1u : 0u, 0, 1, 1});
        } else {
            gf_stopAiEngines(ac.objectId);
            const std::uint32_t nav = settingsSnapshot.load()->NAV_LIGHTS_WHILE_PARKED != 0 ? 1 : 0;
            gf_setAiLights(ac.objectId, {nav, 0, 0, 0, 0, 1, 1});
            // Shown at the attitude every ground step holds, so that the nose
            // does not drop in one frame as it leaves the stand. One taken
            // over from a static keeps the pose it is already shown in.
            if (ac.promoted == 0) {
                ac.pose.pitch = ac.staticPitchRad;
                ac.pose.bank = 0.0;
            }
        }
        gf_setThrottle(ac, ac.category == Rotorcraft ? 4 : 0);
        gf_setFlaps(ac, ac.phase == AcPhase::taxi ? 1 : 0);
    }
    ac.simState = AcSimState::active;
}

void createFlightPlanForLive(LiveAc& ac) {
    if (!isMSFS2020()) {
        ac.hasFlightPlan = 0;
        return;
    }
    if (!ac.origin.isSet() || !ac.destination.isSet()) return;
    bool written = false;
    std::filesystem::path path;
    if (const auto folder = gf_flightPlanFolder(); folder && gf_prepareFlightPlanFolder(*folder)) {
        path = *folder / gf_flightPlanFileName(ac.objectId);
        written = gf_writeFlightPlan(path, {ac.origin.text(), ac.destination.text(),
                                            static_cast<std::int32_t>(ac.category)});
    }
    if (written) {
        gf_queueFlightPlan(ac.objectId, path);
        ac.hasFlightPlan = 1;
        return;
    }
    gf_logError(fmt::format("{} creating a flight plan failed",
                            gf_formatWithAcKey("{:8} {} {}", ac.callsign, ac.registration, ac.key)));
    ac.hasFlightPlan = 0;
}

void gf_removeLiveFlightPlan(LiveAc& ac, std::string_view caller) {
    if (ac.hasFlightPlan != 0 && ac.objectId != 0) {
        try {
            gf_removeFlightPlan(ac.objectId);
        } catch (const std::exception& e) {
            gf_logError(fmt::format("{}: removing flight plan for {} failed: {}", caller, ac.callsign, e.what()));
        } catch (...) {
            gf_logError(
                fmt::format("{}: removing flight plan for {} failed with an unknown exception", caller, ac.callsign));
        }
    }
    ac.hasFlightPlan = 0;
}

void lf_cleanupLiveAircraft(LiveAc& ac) {
    gf_removeLiveFlightPlan(ac, "lf_cleanupLiveAircraft");
    gf_dropPendingSimObject(ac.hexid, ac.objectId);
}

void gf_dropPendingSimObject(std::uint32_t hexid, std::uint32_t objectId) {
    std::erase_if(delayedSimCommands, [hexid, objectId](const SimCommand& c) {
        return c.hexid == hexid || (objectId != 0 && c.hexid == 0 && c.objectId == objectId);
    });
    std::erase(addingStack, hexid);
    std::erase(newLiveCheckQueue, hexid);
    std::erase_if(parkedActionSchedule, [hexid](const ParkedAcAction& a) { return a.hexid == hexid; });
}

void gf_eraseLiveAc(std::size_t index) {
    if (index >= g_liveAircraft.size()) return;
    lf_cleanupLiveAircraft(g_liveAircraft[index]);
    if (index + 1 != g_liveAircraft.size()) g_liveAircraft[index] = std::move(g_liveAircraft.back());
    g_liveAircraft.pop_back();
}
