#include "motion/start_parking.h"

#include <cmath>

#include <fmt/format.h>

#include "engine/engine_lists.h"
#include "engine/engine_state.h"
#include "engine/removal.h"
#include "engine/reports.h"
#include "engine/spawn.h"
#include "engine/stands.h"
#include "foundation/geodesy.h"
#include "foundation/log.h"
#include "motion/flight_phases.h"
#include "motion/ground_movement.h"
#include "motion/stand_drive.h"
#include "motion/stand_parking.h"
#include "motion/stream_checks.h"

namespace {

// The nose stays this close to the way the aircraft drives onto its stand.
constexpr double kNoseWithTravelDeg = 30.0;

LaLo lf_standPosition(const Stand& stand) { return {stand.latitude, stand.longitude}; }

}  // namespace

bool lf_checkStandOrExcludedIsOccupiedByLiveParkedTry(const Stand& wanted, LiveAc& ac) {
    try {
        const auto id = static_cast<std::int32_t>(wanted.id);
        for (LiveAc& other : g_liveAircraft) {
            if (other.hexid == ac.hexid || other.standId != id) continue;
            switch (other.phase) {
                case AcPhase::parking:
                case AcPhase::pushing_back:
                case AcPhase::pushed_back: return false;
                case AcPhase::parked:
                    if (other.simState != AcSimState::active) return false;
                    gf_log(fmt::format("{:14}: {:8} removed, {} wants to park there", wanted.name, other.callsign,
                                       ac.callsign));
                    removeAircraftFromSim(other);
                    return false;
                default: break;
            }
        }
        for (const std::uint32_t excluded : wanted.excludes)
            if (!lf_checkExcludedStandIsAvailableForLiveParkingTry(excluded, ac, wanted)) return false;
        return true;
    } catch (...) {
        gf_reportTrafficException("lf_checkStandOrExcludedIsOccupiedByLiveParkedTry");
        return false;
    }
}

bool lf_checkExcludedStandIsAvailableForLiveParkingTry(std::uint32_t excludedId, LiveAc& ac, const Stand& wanted) {
    try {
        for (LiveAc& other : g_liveAircraft) {
            if (!isLiveWingOverlapAtStand(other, excludedId, ac, wanted)) continue;
            if (other.simState != AcSimState::active ||
                (other.phase != AcPhase::pushing_back && other.phase != AcPhase::parking &&
                 other.phase != AcPhase::parked))
                return false;
            gf_log(fmt::format("{:14}: {:8} removed by parking {} at colliding adjacent stand {}",
                               gf_standNameById(static_cast<std::int32_t>(excludedId)), other.callsign, ac.callsign,
                               wanted.name));
            removeAircraftFromSim(other);
            return false;
        }
        return true;
    } catch (...) {
        gf_reportTrafficException("lf_checkExcludedStandIsAvailableForLiveParkingTry");
        return false;
    }
}

bool startParkingAtStand(LiveAc& ac, Stand& stand, bool redirect) {
    if (ac.stream.empty() || stand.blocked || stand.heli != (ac.category == Rotorcraft) ||
        !gf_standFitsAircraft(stand, static_cast<std::int32_t>(ac.category), ac.wingRadiusNm) ||
        gf_isUserStand(stand) || !lf_checkStandOrExcludedIsOccupiedByLiveParkedTry(stand, ac) ||
        !gf_isStandFreeForLive(static_cast<std::int32_t>(stand.id), ac.hexid))
        return false;
    makeWayAtStand(ac, stand, false);
    gf_assignStandToAircraft(ac, stand);

    ac.stream.resize(1);
    StreamPoint& front = ac.stream.front();
    const LaLo pose{ac.pose.latitude, ac.pose.longitude};
    const LaLo standPos = lf_standPosition(stand);
    // The drive starts where the aircraft is: a front point already put on
    // the stand would make it jump there.
    if (redirect || (gf_isSamePlace({front.lat, front.lon}, standPos) && !gf_isSamePlace(pose, standPos))) {
        front.lat = pose.lat;
        front.lon = pose.lon;
        front.playTick = tickCount.load();
        front.stationary = 0;
    }
    if (ac.phase != AcPhase::parking) setFlightPhase(ac, AcPhase::parking);
    drive2Stand(ac, standPos, stand.heading, redirect);
    // Taxi-in points that would have the aircraft slide sideways or back onto
    // the stand (it comes from beside or in front of it, or faces away) give
    // way to a drive that goes round, nose first.
    if (!gf_legsKeepNoseWithTravel(ac, kNoseWithTravelDeg))
        gf_driveOntoStandNoseFirst(ac, standPos, stand.heading);
    auto& s = ac.stream;
    if (s.size() >= 2 && s[1].stationary == 0 && gf_isSamePlace({s[1].lat, s[1].lon}, {s[0].lat, s[0].lon}))
        s[1].stationary = 1;
    return true;
}
