#include "motion/pose_attitude.h"

#include <algorithm>
#include <cmath>

#include "airports/current_airport.h"
#include "engine/controls.h"
#include "foundation/geodesy.h"
#include "motion/air_movement.h"
#include "motion/flight_phases.h"
#include "motion/motion_math.h"

namespace {

constexpr double kTicksPerMinute = 6000.0;
// The flare holds the nose 4 degrees up.
constexpr double kFlarePitchRad = -4.0 * degreesToRadians;
// The initial climb eases in over this many ticks after the rotation.
constexpr double kClimbEaseTicks = 300.0;
constexpr std::int32_t kGearUpCountdown = -299;
constexpr std::int32_t kLowestCountdown = -1000;

// Both points of the stream on the ground while the leg descends: the
// aircraft is letting down to a landing the stream already shows.
bool lf_groundDescent(const LiveAc& ac, double perTick) {
    return ac.stream.size() >= 2 && ac.stream[0].airborne == 0 && ac.stream[1].airborne == 0 && perTick < 0.0;
}

void lf_addAltitude(LiveAc& ac, double perTick) {
    if (std::isfinite(perTick)) ac.pose.altitude += perTick;
}

// Flying: the leg's climb as planned; on the first leg after the initial
// climb the climb joins it gradually. So does the rest of the leg in which
// the initial climb ended (the first flag, not yet handed on by the next
// leg's planning): the eased takeoff climb is still short of the leg's.
void lf_flyingAltitude(LiveAc& ac, double c) {
    MotionState& m = ac.motion;
    if (m.takeoffFlagSecond == 0 && m.takeoffFlagFirst == 0) {
        double step = c;
        if (ac.category == Light && !lf_groundDescent(ac, c)) step = limitFlyingVs(ac, c * kTicksPerMinute) / kTicksPerMinute;
        lf_addAltitude(ac, step);
        return;
    }
    if (ac.stream.size() >= 2 && ac.stream[1].airborne != 0 && ac.stream[1].altitudeFt > 0.0) {
        double rate = std::clamp(c * kTicksPerMinute, -1200.0, ac.climbRateLimit * kTicksPerMinute);
        rate = limitFlyingVs(ac, rate);
        applyVerticalSpeed(ac, rate / kTicksPerMinute, true);
        if (std::fabs(m.climbPerTick * kTicksPerMinute - rate) <= 1.0) m.takeoffFlagSecond = 0;
        return;
    }
    if (lf_groundDescent(ac, c)) {
        m.takeoffFlagSecond = 0;
        ac.pose.verticalSpeed = c * kTicksPerMinute;
        lf_addAltitude(ac, c);
        return;
    }
    applyVerticalSpeed(ac, c, false);
}

// After the touchdown: nose and wings come level over the settling time.
void lf_settle(LiveAc& ac) {
    MotionState& m = ac.motion;
    ac.pose.pitch = stepToward(ac.pose.pitch, ac.staticPitchRad, std::fabs(m.pitchPerTick));
    if (ac.pose.pitch == ac.staticPitchRad) {
        m.pitchPerTick = 0.0;
        ac.pose.bank = 0.0;
        m.bankPerTick = 0.0;
        m.pitchSettle = 0;
        m.flareStage = 0;
    }
    ac.pose.bank += m.bankPerTick;
}

void lf_flareStage(LiveAc& ac, std::uint32_t stage, double perTick, double frontVs) {
    MotionState& m = ac.motion;
    m.verticalPerTick = perTick;
    if (!ac.stream.empty()) ac.stream.front().verticalSpeed = frontVs;
    m.flareStage = stage;
    m.runwayElevationKnown = 0;
}

}  // namespace

void stepPitchBankAltitude(LiveAc& ac) {
    MotionState& m = ac.motion;
    if (ac.phase == AcPhase::takeoff) {
        stepTakeoffPitch(ac);
        return;
    }
    if (ac.phase == AcPhase::landing && ac.onGround == 0 && m.heightAboveGroundFt <= 400.0) stepFlare(ac);
    if (m.pitchSettle != 0) {
        lf_settle(ac);
        return;
    }
    const bool landing = ac.phase == AcPhase::landing;
    const double bankLimit = gf_bankLimitRad(ac.category);
    const double c = m.verticalPerTick;
    if (m.flareStage != 0) {
        const double limit = maxBankAngle(bankLimit, landing, m.heightAboveGroundFt, true);
        ac.pose.bank = std::clamp(ac.pose.bank + m.bankPerTick, -limit, limit);
        ac.pose.pitch = stepToward(ac.pose.pitch, kFlarePitchRad, std::fabs(m.pitchPerTick));
        applyApproachVs(ac, c);
        return;
    }
    if (ac.onGround != 0) {
        ac.pose.pitch = ac.staticPitchRad;
        ac.pose.bank = 0.0;
        return;
    }
    const double limit = maxBankAngle(bankLimit, landing, m.heightAboveGroundFt, false);
    ac.pose.bank = std::clamp(ac.pose.bank + m.bankPerTick, -limit, limit);
    ac.pose.pitch += m.pitchPerTick;
    switch (ac.phase) {
        case AcPhase::landing: applyApproachVs(ac, c); break;
        case AcPhase::flying: lf_flyingAltitude(ac, c); break;
        default: lf_addAltitude(ac, c); break;
    }
}

void stepTakeoffPitch(LiveAc& ac) {
    MotionState& m = ac.motion;
    std::int32_t c = m.takeoffCountdown;
    if (c >= 1) {
        ac.onGround = 0;
        ac.pose.pitch = stepToward(ac.pose.pitch, ac.rotationPitchRad, std::fabs(m.pitchPerTick));
        m.takeoffCountdown = c - 1;
        return;
    }
    c = std::max(c - 1, kLowestCountdown);
    m.takeoffCountdown = c;
    ac.pose.bank = std::remainder(ac.pose.bank + m.bankPerTick, fullCircle);
    const double pitchStep =
        std::fabs(ac.climbPitchRad - ac.rotationPitchRad) / std::max(1.0, static_cast<double>(ac.climbPitchTicks));
    ac.pose.pitch = stepToward(ac.pose.pitch, ac.climbPitchRad, pitchStep);

    const double s = std::clamp((1.0 - c) / kClimbEaseTicks, 0.0, 1.0);
    const double e = (3.0 - 2.0 * s) * s * s;
    double rate = e * m.verticalPerTick * kTicksPerMinute;
    if (!(rate > 0.0)) rate = ac.pose.verticalSpeed > 0.0 ? ac.pose.verticalSpeed : 0.0;
    gf_slewClimb(ac, limitFlyingVs(ac, rate));

    if (c == kGearUpCountdown) gf_setGear(ac, false);
    if (c < -300 && ac.pose.pitch == ac.climbPitchRad) {
        m.pitchPerTick = 0.0;
        const double least = ac.category == Light ? 300.0 : 800.0;
        if (m.heightAboveGroundFt >= least) {
            gf_setThrottle(ac, ac.category == Rotorcraft ? 4 : 3);
            m.takeoffFlagFirst = 1;
            m.takeoffFlagSecond = 0;
            setFlightPhase(ac, AcPhase::flying);
            m.takeoffCountdown = 1;
        }
    }
}

void stepFlare(LiveAc& ac) {
    MotionState& m = ac.motion;
    const double g = ac.groundOffsetFt;
    const double above = m.heightAboveGroundFt;
    switch (m.flareStage) {
        case 0: {
            if (m.runwayElevationKnown == 0) {
                if (const auto runway = landingRunwayForPose(ac); runway && std::isfinite(runway->altitudeFt)) {
                    m.runwayElevationFt = runway->altitudeFt;
                    m.runwayElevationKnown = 1;
                } else if (const auto airport = gf_getCurrentAirportAltitude()) {
                    m.runwayElevationFt = *airport;
                    m.runwayElevationKnown = 1;
                }
            }
            m.heightAboveRunwayFt = m.runwayElevationKnown != 0 ? ac.pose.altitude - m.runwayElevationFt : above;
            if (g + 30.0 >= std::min(above, m.heightAboveRunwayFt)) {
                m.pitchPerTick = (kFlarePitchRad - ac.pose.pitch) / std::max(1.0, static_cast<double>(ac.flareTicks));
                m.verticalPerTick = -0.1;
                if (!ac.stream.empty()) ac.stream.front().verticalSpeed = -601.0;
                m.flareStage = 1;
            }
            break;
        }
        case 1:
            if (g + 20.0 >= above) lf_flareStage(ac, 2, -0.075, -450.0);
            break;
        case 2:
            if (g + 10.0 >= above) {
                gf_setThrottle(ac, 0);
                lf_flareStage(ac, 3, -0.05, -300.0);
            }
            break;
        case 3:
            if (g + 3.0 >= above) lf_flareStage(ac, 4, -0.025, -150.0);
            break;
        default: break;
    }
}
