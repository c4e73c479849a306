#include "motion/touchdown.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <vector>

#include <fmt/format.h>

#include "airports/airport.h"
#include "airports/current_airport.h"
#include "engine/controls.h"
#include "engine/engine_lists.h"
#include "engine/engine_state.h"
#include "engine/geometry.h"
#include "engine/reports.h"
#include "feed/traffic_clock.h"
#include "foundation/geodesy.h"
#include "foundation/log.h"
#include "liveries/code_tables.h"
#include "motion/air_movement.h"
#include "motion/flight_phases.h"
#include "motion/ground_roll.h"
#include "motion/motion_math.h"
#include "motion/runways.h"
#include "motion/takeoff_start.h"
#include "motion/tick_math.h"
#include "simlink/sim_link.h"

namespace {

// A height or offset (ft) the simulator gives that can be believed.
bool lf_usableHeight(double v) { return std::isfinite(v) && v >= -1.0 && v <= 35.0 && v != 0.0; }

// How high the aircraft is held above its standing height meanwhile (ft).
constexpr double kHoldAboveFt = 1.0;

// The altitude an aircraft held short of the touchdown zone keeps: its own
// while it is above its standing height, where the approach eases it back
// onto the floor a foot above (raised there at once, a descent that had
// sunk below the floor jumped up as the ground data came); else that floor.
double lf_heldAltitude(const LiveAc& ac, double runwayFt, double altitudeFt) {
    const double standing = std::max(ac.groundOffsetFt, 0.0) + runwayFt;
    return altitudeFt > standing ? altitudeFt : standing + kHoldAboveFt;
}

constexpr double kRotationLiftLimitRad = 20.0 * degreesToRadians;
// A Rotorcraft activated in the air this recently (ticks) lands unreported:
// it was only set down where the feed first showed it.
constexpr std::int32_t kQuietLandingTicks = 3000;
constexpr double kNearAirportNm = 5.0;

LaLo lf_pose(const LiveAc& ac) { return {ac.pose.latitude, ac.pose.longitude}; }

// The sine of how far the nose stands above (or below) its standing pitch,
// up to 20 degrees: over a length, how much higher the reference point is.
double lf_noseUpSine(const LiveAc& ac) {
    return std::sin(std::min(std::fabs(ac.pose.pitch - ac.staticPitchRad), kRotationLiftLimitRad));
}

// The reference point of an aircraft rotating on the runway rises with its
// nose: by the pitch over part of the wing's half span.
double lf_rotatingAltitude(const LiveAc& ac, double groundFt) {
    const double o = ac.groundOffsetFt;
    const double length = std::clamp(ac.wingRadiusNm * feetPerNm * 0.22, 4.0, 20.0);
    const double lifted = groundFt + o + lf_noseUpSine(ac) * length;
    if (!std::isfinite(lifted) || !(length > 0.0)) return groundFt + o;
    return lifted;
}

// How high the nose-up attitude can lift the reference point above its
// standing height at most: by the pitch over the aircraft's length, for which
// its span stands in (the reference point lies no farther than that from the
// main wheels). Unknown without a size.
double lf_noseUpLiftLimitFt(const LiveAc& ac) {
    const double lever = 2.0 * ac.wingRadiusNm * feetPerNm;
    const double lifted = lf_noseUpSine(ac) * lever;
    return std::isfinite(lifted) && lever > 0.0 ? lifted : MotionState::unknown;
}

// The height the landing roll starts from: the reported one, but no higher
// above the standing height than the attitude explains. The simulator counts
// an aircraft a little above its wheels as on the ground; with the nose
// already down that slack would otherwise be kept until the nose had settled,
// the aircraft rolling above the runway.
double lf_touchdownHeight(const LiveAc& ac, double reportedFt) {
    const double o = ac.groundOffsetFt;
    const double limit = lf_noseUpLiftLimitFt(ac);
    if (!lf_usableHeight(o) || !std::isfinite(limit) || !(reportedFt > o + limit)) return reportedFt;
    return o + limit;
}

// While flaring, a height within the aircraft's standing height (+1 ft) is a
// touchdown even when the simulator does not say so.
bool lf_isFallbackTouchdown(const LiveAc& ac, double groundFt, double aboveFt) {
    const double o = ac.groundOffsetFt;
    const double aboveReported = ac.pose.altitude - groundFt;
    return ac.phase == AcPhase::landing && ac.motion.flareStage != 0 && ac.groundOffsetFromSim == 0 &&
           std::isfinite(o) && o >= 1.0 && o <= 35.0 && std::isfinite(aboveFt) && aboveFt >= -1.0 &&
           aboveFt <= o + 1.0 && std::isfinite(aboveReported) && aboveReported >= -1.0 && aboveReported <= o + 1.0;
}

// The height of the landing roll: from the height at touchdown down to the
// standing height as the nose comes down.
double lf_groundAltitude(const LiveAc& ac, double groundFt) {
    const MotionState& m = ac.motion;
    const double o = ac.groundOffsetFt;
    const double h = m.hasTouchdownHeight != 0 ? m.touchdownHeightFt : MotionState::unknown;
    if (!lf_usableHeight(o)) return lf_usableHeight(h) ? h + groundFt : groundFt;
    if (!lf_usableHeight(h)) return o + groundFt;
    const double stored = m.touchdownPitch;
    const double pitch = ac.pose.pitch;
    const double standing = ac.staticPitchRad;
    if (!std::isfinite(stored) || !std::isfinite(pitch) || !std::isfinite(standing) ||
        !(std::fabs(stored - standing) > 1e-9))
        return o + groundFt;
    const double f = std::clamp(std::fabs((pitch - standing) / (stored - standing)), 0.0, 1.0);
    return (h - o) * f + o + groundFt;
}

void lf_applyGroundInfo(LiveAc& ac, double groundFt, double aboveFt) {
    MotionState& m = ac.motion;
    m.heightAboveGroundFt = aboveFt;
    if (ac.phase == AcPhase::parked) {
        if (std::isfinite(groundFt)) {
            m.standGroundElevationFt = groundFt;
            m.standGroundElevationKnown = 1;
        }
        if (ac.promoted != 0 && ac.hasSimPose != 0) return;
    }
    // Without a ground altitude there is nothing to stand on: the altitude
    // stays as it is rather than become a value the simulator cannot take.
    if (!std::isfinite(groundFt)) return;
    if (ac.onGround == 0) {
        if (lf_isFallbackTouchdown(ac, groundFt, aboveFt)) {
            const double flown = ac.pose.altitude;
            m.touchdownHeightFt = ac.groundOffsetFt;
            m.touchdownPitch = ac.pose.pitch;
            m.hasTouchdownHeight = 1;
            ac.pose.altitude = groundFt + ac.groundOffsetFt;
            handleTouchdown(ac);
            // Held short of the touchdown zone: held from where it flew.
            if (ac.onGround == 0 && ac.phase == AcPhase::landing && ac.landingRunway &&
                std::isfinite(ac.landingRunway->altitudeFt))
                ac.pose.altitude = lf_heldAltitude(ac, ac.landingRunway->altitudeFt, flown);
        }
        if (ac.onGround == 0) {
            if (m.takeoffCountdown >= 2) ac.pose.altitude = lf_rotatingAltitude(ac, groundFt);
            return;
        }
    }
    if (ac.phase == AcPhase::landing_roll && m.hasTouchdownHeight == 0) {
        const double reported = ac.pose.altitude - groundFt;
        if (lf_usableHeight(aboveFt) || lf_usableHeight(reported)) {
            m.touchdownHeightFt = lf_touchdownHeight(ac, lf_usableHeight(aboveFt) ? aboveFt : reported);
            m.touchdownPitch = ac.pose.pitch;
            m.hasTouchdownHeight = 1;
        } else {
            m.noTouchdownHeight = 1;
        }
    }
    ac.pose.altitude = lf_groundAltitude(ac, groundFt);
}

// The stream after a watched touchdown shows the climb of a touch-and-go: the
// points before it become ground points. True when a climb was found.
bool lf_findTouchAndGoClimb(LiveAc& ac) {
    MotionState& m = ac.motion;
    auto& s = ac.stream;
    m.touchAndGoResult = 1;
    if (s.empty()) return false;
    m.touchAndGoAltitudeFt = s.back().altitudeFt;
    m.touchAndGoVerticalSpeed = s.back().verticalSpeed;
    constexpr std::size_t none = static_cast<std::size_t>(-1);
    std::size_t climbAt = none;
    for (std::size_t i = 1; i < s.size() && climbAt == none; ++i) {
        const StreamPoint& before = s[i - 1];
        const StreamPoint& here = s[i];
        if (!std::isfinite(before.verticalSpeed) || !std::isfinite(here.verticalSpeed) ||
            !(before.verticalSpeed >= 400.0) || !(here.verticalSpeed >= 400.0))
            continue;
        if (here.airborne != 0 && here.altitudeFt >= before.altitudeFt + 50.0) {
            climbAt = i;
        } else if (i + 1 < s.size() && std::abs(gf_ticksBetween(before.playTick, s[i + 1].playTick)) <= 1000 &&
                   s[i + 1].airborne != 0 && s[i + 1].altitudeFt >= before.altitudeFt + 50.0) {
            climbAt = i + 1;
        }
    }
    if (climbAt == none && ac.category == Light) {
        if (const auto runway = findTakeoffRunway(lf_pose(ac), ac.pose.heading)) {
            std::vector<AltitudeSample> samples;
            samples.reserve(s.size());
            for (const StreamPoint& p : s) samples.push_back({p.altitudeFt, p.playTick});
            // The climb is measured from the runway the aircraft stands on.
            const ClimbStart start = findClimbStart(samples, runway->altitudeFt);
            if (start.found) {
                std::size_t k = start.index;
                while (k < s.size() && s[k].airborne == 0) ++k;
                climbAt = k < s.size() ? k : start.index;
            }
        }
    }
    if (climbAt == none) return false;
    for (std::size_t j = 0; j < climbAt && j < s.size(); ++j) s[j].airborne = 0;
    m.touchAndGoResult = 0;
    return true;
}

// " at {}": the current airport when the aircraft is within 5 NM of it.
std::string lf_atText(const LiveAc& ac, const std::optional<AirportListEntry>& airport) {
    if (airport && !airport->icao.isNone() && airport->iata.isSet() && airport->iata != gf_noIataCode() &&
        gf_isValidLaLo(airport->position)) {
        const double cosLat = std::cos(airport->position.lat * degreesToRadians);
        if (gf_flatDistanceSquaredNm(airport->position, lf_pose(ac), cosLat) <= kNearAirportNm * kNearAirportNm)
            return fmt::format(" at {}", airport->iata.text());
    }
    return " at ?";
}

std::string lf_fromText(const LiveAc& ac, const std::optional<AirportListEntry>& airport) {
    if (!gf_isNearCurrentAirport(lf_pose(ac)) || !ac.origin.isSet()) return "";
    if (airport && ac.origin == airport->iata) return "";
    return fmt::format(" from {}", ac.origin.text());
}

std::string lf_runwayText(const LiveAc& ac) {
    if (const auto runway = landingRunwayForPose(ac)) return fmt::format(" runway {}", runway->endName);
    if (const auto name = runwayNameAt(lf_pose(ac), ac.pose.heading)) return fmt::format(" runway {}", *name);
    return "";
}

// A leg flown as a curve in the air (onto the course beyond its point) or on
// a pace goes on as a straight line once the wheels are down, stepping by
// the straight step set for the whole leg from where it began. The curve has
// carried the aircraft off that line, and the pace along it ahead of or
// behind the even step, so the step is set anew from where it is to the
// point, over the ticks left: else the roll passed beside its point.
void lf_leaveAirTransition(LiveAc& ac) {
    MotionState& m = ac.motion;
    if (m.transition.active == 0 && m.airPace.profile.valid == 0) return;
    m.transition.active = 0;
    m.airPace = AirPace{};
    if (ac.stream.empty() || ac.stream.front().stationary != 0) return;
    const StreamPoint& target = ac.stream.front();
    const double left = std::max(1, gf_ticksBetween(tickCount.load(), target.playTick));
    m.stepLat = (target.lat - ac.pose.latitude) / left;
    m.stepLon = gf_wrapLongitudeDifference(target.lon - ac.pose.longitude) / left;
}

}  // namespace

void applySimGroundInfo(LiveAc& ac, const SimCommand& groundData, std::string_view /*source*/) noexcept {
    try {
        lf_applyGroundInfo(ac, groundData.payload[0], groundData.payload[1]);
    } catch (...) {
        gf_reportTrafficException("applySimGroundInfo");
    }
}

void handleTouchdown(LiveAc& ac) {
    MotionState& m = ac.motion;
    if (ac.simState == AcSimState::removingfromsim || ac.phase == AcPhase::takeoff) return;
    if (ac.phase == AcPhase::landing) {
        auto runway = landingRunwayForPose(ac);
        if (runway && runway->pastThresholdM && *runway->pastThresholdM < kTouchdownFloorM &&
            std::isfinite(runway->altitudeFt)) {
            // Short of the touchdown zone: held just above the runway until the
            // next ground report.
            ac.pose.altitude = lf_heldAltitude(ac, runway->altitudeFt, ac.pose.altitude);
            ac.pose.verticalSpeed = 0.0;
            m.verticalPerTick = 0.0;
            ac.landingRunway = std::move(runway);
            m.landingRunwayRefPos = lf_pose(ac);
            m.landingRunwayRefValid = 1;
            return;
        }
    }
    const bool wasLanding = ac.phase == AcPhase::landing;
    const bool watched = m.touchAndGoWatch != 0;
    if (m.flareStage != 0 || ac.phase == AcPhase::landing) {
        if (ac.phase != AcPhase::landing_roll) setFlightPhase(ac, AcPhase::landing_roll);
        gf_keepLandingRollOnTime(ac);
        m.rollSlowestPoint = StreamPoint{};
        m.hasRollSlowestPoint = 0;
        logTouchdown(ac);
    }
    const bool climb = wasLanding && watched && lf_findTouchAndGoClimb(ac);
    ac.onGround = 1;
    lf_leaveAirTransition(ac);
    gf_brakeRestOfTouchdownLeg(ac);
    m.verticalPerTick = 0.0;
    m.takeoffCountdown = 1;
    m.lastAirborneAltitudeValid = 0;
    for (auto it = ac.stream.rbegin(); it != ac.stream.rend(); ++it) {
        if (it->airborne != 0 && it->altitudeFt > 0.0) {
            m.lastAirborneAltitudeFt = it->altitudeFt;
            m.lastAirborneAltitudeValid = 1;
            break;
        }
    }
    if (climb) startTakeoffRoll(ac, 1);
}

void logTouchdown(LiveAc& ac) {
    MotionState& m = ac.motion;
    m.touchdownLogged = 1;
    const bool quiet = ac.category == Rotorcraft && ac.airborneAtActivation != 0 &&
                       gf_ticksBetween(ac.activationTick, tickCount.load()) < kQuietLandingTicks;
    if (!quiet) {
        const auto airport = gf_currentAirport();
        gf_reportMovement(fmt::format("{} {} {} {} {} touch down{}{}{} ...", gf_trafficTimeTextShort(), ac.callsign,
                                      ac.registration, gf_airlineOperatorText(ac.key), gf_modelCodeAt(ac.key.model),
                                      lf_atText(ac, airport), lf_fromText(ac, airport), lf_runwayText(ac)));
    }
    ac.landingRunway.reset();
    m.landingRunwayRefValid = 0;
    m.touchdownHeading = ac.pose.heading;
    gf_setSpoilers(ac, true);
    if (ac.category != Light) gf_setAiReverseThrust(ac.objectId, true, ac.isFsltlLivery != 0);
    const std::uint32_t n = ac.approachLimit;
    if (n != 0) {
        m.bankPerTick = (0.0 - ac.pose.bank) / n;
        m.pitchPerTick = (ac.staticPitchRad - ac.pose.pitch) / n;
    } else {
        gf_log(fmt::format("{} ! onGround slots {:.1f}", ac.callsign, static_cast<double>(n)));
        m.pitchPerTick = ac.staticPitchRad - ac.pose.pitch;
    }
    m.pitchSettle = 1;
    newLiveCheckQueue.push_back(ac.hexid);
}
