#include "motion/air_config.h"

#include <algorithm>
#include <cmath>

#include "airports/current_airport.h"
#include "engine/controls.h"
#include "engine/engine_lists.h"
#include "engine/engine_state.h"
#include "motion/air_movement.h"
#include "motion/flight_phases.h"
#include "motion/next_position.h"
#include "motion/runways.h"
#include "simlink/sim_link.h"

namespace {

// Above these heights (ft) the aircraft is configured by height; at or below
// them the phase decision runs.
constexpr double kJetConfigHeightFt = 2050.0;
constexpr double kConfigHeightFt = 625.0;
constexpr double kGearUpHeightFt = 2400.0;
constexpr double kFirstFlapsHeightFt = 2000.0;
constexpr std::int32_t kRetimeLimitFloor = 900;
constexpr std::int32_t kApproachRetimeLimit = 2700;
// How far (ft) a report still marked airborne may lie from the height of the
// runway it is over and be taken as on it.
constexpr double kOnRunwaySlackFt = 50.0;

// A point the aircraft is down on the runway at: reported on the ground, or
// still marked airborne but over a runway at its height (the first report
// after a pause can lag the touchdown in its ground flag, not in its height).
bool lf_downAt(const LiveAc& ac, const StreamPoint& point) {
    if (point.airborne == 0) return true;
    if (!std::isfinite(point.altitudeFt)) return false;
    const auto runway = findLandingRunway({point.lat, point.lon}, ac.pose.heading);
    return runway && std::fabs(point.altitudeFt - runway->altitudeFt) <= kOnRunwaySlackFt;
}

// Throttle toward the climb or the descent, flaps and gear by height.
void lf_configureForHeight(LiveAc& ac, double height) {
    MotionState& m = ac.motion;
    gf_relaxRetimeLimits(m);
    gf_setAiCabinLights(ac.objectId, 1);
    const double frontVs = ac.stream.empty() ? MotionState::unknown : ac.stream[0].verticalSpeed;
    const bool rotorcraft = ac.category == Rotorcraft;
    if (frontVs <= -250.0 && ac.throttleStep == 3)
        gf_setThrottle(ac, rotorcraft ? 4 : 2);
    else if (frontVs > 400.0 && ac.throttleStep == 4)
        gf_setThrottle(ac, rotorcraft ? 4 : 3);
    if (height >= kGearUpHeightFt) {
        gf_setGear(ac, false);
        gf_setFlaps(ac, 0);
        return;
    }
    if (!(frontVs <= 100.0)) return;
    if (height >= kFirstFlapsHeightFt) {
        if (ac.flapsIndex == 0) gf_setFlaps(ac, 1);
    } else if (ac.flapsIndex == 0) {
        gf_setFlaps(ac, 1);
    } else if (ac.flapsIndex == 1) {
        gf_setFlaps(ac, 2);
    }
}

bool lf_overshooting(const LiveAc& ac) {
    if (ac.phase != AcPhase::landing || ac.onGround != 0) return false;
    const auto runway = landingRunwayForPose(ac);
    if (!runway || !runway->pastThresholdM || !runway->usableLengthM) return false;
    return *runway->pastThresholdM > *runway->usableLengthM + 100.0 &&
           ac.pose.altitude - runway->altitudeFt > 250.0;
}

void lf_goAround(LiveAc& ac) {
    MotionState& m = ac.motion;
    clearApproachState(m);
    // The landing runway stays: a go-around often comes round to it again.
    ac.prevPrevPhase = ac.prevPhase;
    ac.prevPhase = ac.phase;
    ac.phase = AcPhase::flying;
    ac.phaseStartTick = static_cast<std::uint32_t>(tickCount.load());
    gf_setThrottle(ac, 4);
    gf_setGear(ac, false);
    gf_setFlaps(ac, 0);
    m.advanceLimit = kRetimeLimitFloor;
    m.delayLimit = kRetimeLimitFloor;
    m.flareStage = 0;
    m.climbConfig = 1;
}

void lf_startApproach(LiveAc& ac) {
    MotionState& m = ac.motion;
    setFlightPhase(ac, AcPhase::landing);
    gf_setThrottle(ac, ac.category == Rotorcraft ? 4 : 1);
    gf_setFlaps(ac, 3);
    gf_setGear(ac, true);
    // Its parked twin at the airport makes way.
    newLiveCheckQueue.push_back(ac.hexid);
    m.takeoffCountdown = 1;
    m.climbConfig = 0;
    ac.standPos = LaLo{};
    ac.standHeadingRad = 0.0;
    ac.standId = 0;
    ac.isCargo = 0;
    ac.isGate = 0;
    m.advanceLimit = kApproachRetimeLimit;
    m.delayLimit = kApproachRetimeLimit;
}

}  // namespace

void clearApproachState(MotionState& m) {
    m.lastApproachStep = 0.0;
    m.lastApproachStepSet = 0;
    m.approachValue = 0.0;
    m.touchAndGoWatch = 0;
    m.touchAndGoResult = 0;
    m.touchAndGoAltitudeFt = MotionState::unknown;
    m.touchAndGoVerticalSpeed = MotionState::unknown;
    m.approachText.clear();
    m.approachCounters = {};
}

void updateAirConfig(LiveAc& ac, std::optional<double> heightFt) {
    MotionState& m = ac.motion;
    const double height = heightFt.value_or(m.heightAboveGroundFt);
    if (m.lowAltitudeConfig == 0) {
        m.lowAltitudeConfig = 1;
        m.highAltitudeConfig = 0;
        gf_setAiLights(ac.objectId, {1, 1, 1, 1, 1, 1, 1});
        m.advanceLimit = kRetimeLimitFloor;
        m.delayLimit = kRetimeLimitFloor;
    }
    const double limit = ac.isJetCategory != 0 ? kJetConfigHeightFt : kConfigHeightFt;
    // A leg that ends on the ground is the approach however high it starts:
    // configured by its height alone, an AT76 whose reports paused 626 ft
    // up and came back on the runway flew its one leg down as a flight,
    // touched down without a landing roll and stopped dead at its last
    // report from 88 kt. The same AT76 with its first report back still
    // marked airborne, at the runway's height, did the same.
    // (The runway search last: only a leg that starts that high needs it.)
    if (height > limit && ac.phase != AcPhase::landing && !(ac.stream.size() >= 2 && lf_downAt(ac, ac.stream[1])))
        lf_configureForHeight(ac, height);
    else
        updateAirPhase(ac);
}

void updateAirPhase(LiveAc& ac) {
    gf_setAiCabinLights(ac.objectId, 0);
    if (ac.stream.size() < 2) return;
    const StreamPoint& f = ac.stream[0];
    const StreamPoint& n = ac.stream[1];
    // A report down on the runway ends a descent whether or not its ground
    // flag says so yet: level there, it shows no descent of its own.
    const bool descending =
        (f.altitudeFt - 10.0 > n.altitudeFt && f.verticalSpeed <= -250.0 && n.verticalSpeed <= -250.0) ||
        ((f.verticalSpeed <= -250.0 || f.altitudeFt > n.altitudeFt + 10.0 || ac.pose.verticalSpeed <= -250.0) &&
         lf_downAt(ac, n));
    // Climbing away: two reports climbing, or the last one of the stream
    // when it is the first to climb. Nothing after it to confirm or deny the
    // climb, the dead reckoning went on down the approach: a B772 whose
    // reports paused for 44 s just after it climbed away 100 ft at
    // 1,300 ft/min was landed on the runway it had gone around from, and
    // taken for a takeoff when its reports came back 1,300 ft up. Not a
    // report thousands of feet off the one before (a bad altitude): nothing
    // climbs that fast.
    const bool climbs = n.airborne != 0 && n.altitudeFt >= f.altitudeFt + 50.0 && n.verticalSpeed >= 400.0;
    const bool climbing =
        climbs && (f.verticalSpeed >= 400.0 || (ac.stream.size() == 2 && !gf_altitudesContradict(f, n)));
    const bool near = gf_isNearCurrentAirport({ac.pose.latitude, ac.pose.longitude});
    MotionState& m = ac.motion;
    if (ac.phase == AcPhase::landing && (climbing || lf_overshooting(ac) || !near)) {
        lf_goAround(ac);
        return;
    }
    if (!descending) {
        if (f.verticalSpeed > 600.0 && m.climbConfig == 0) {
            gf_setThrottle(ac, 4);
            gf_setGear(ac, false);
            gf_setFlaps(ac, 0);
            m.flareStage = 0;
            m.climbConfig = 1;
        }
        return;
    }
    if (ac.phase == AcPhase::flying && near) lf_startApproach(ac);
}
