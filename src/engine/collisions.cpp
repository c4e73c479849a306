#include "engine/collisions.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include <fmt/format.h>

#include "engine/engine_lists.h"
#include "engine/geometry.h"
#include "engine/removal.h"
#include "engine/reports.h"
#include "engine/stands.h"
#include "engine/user_position.h"
#include "foundation/geodesy.h"
#include "foundation/log.h"
#include "liveries/code_tables.h"
#include "motion/start_parking.h"
#include "simlink/sim_link.h"

namespace {

constexpr double kKnotsToMetresPerSecond = 0.5144444444444445;
constexpr double kMetresToNm = 0.0005399568034557236;
constexpr double kSpeedTermSeconds = 0.75;
constexpr double kSpeedTermMaxM = 15.0;
// Half the span of the B738, the user's circle until its own model is known;
// replaced by the database's value once that was read.
double l_fallbackRadiusNm = 17.9 / 1852.0;

constexpr double kFarNm = 4.0;
constexpr double kHeightFt = 1000.0;
constexpr double kCloseNm = 0.6;
constexpr double kCloseHeightFt = 300.0;
constexpr double kAbeamNm = 0.05;
constexpr double kClass1AheadNm = 0.6;
constexpr double kClass1HeadingRad = 0.4363323129985824;  // 25 degrees
constexpr double kClass1LateralFt = 700.0;
constexpr double kClass2HeadingRad = 0.3490658503988659;  // 20 degrees
constexpr double kClass2TrailNm = 1.8;
constexpr double kClass2LateralFt = 900.0;
constexpr double kClass2WideningFt = 1900.0;

constexpr double kClass2HeightFt = 4000.0;
constexpr double kClass2ClimbFpm = 300.0;
constexpr double kClass2BankRad = 0.08726646259971647;  // 5 degrees
constexpr double kClass1HeightFt = 7000.0;
constexpr double kClass1BankRad = 0.2617993877991494;  // 15 degrees

constexpr double kUserLowFt = 500.0;
constexpr double kGroundAsideFt = 50.0;

constexpr double kParkedHeadingDeg = 45.0;
constexpr double kRedirectHeadingDeg = 20.0;
constexpr double kRedirectAlignedDeg = 10.0;
constexpr double kRedirectLateralM = 3.0;
constexpr double kRedirectBehindM = -10.0;
constexpr double kRedirectRunM = 5.0;
constexpr double kRedirectProjectedM = 2.0;

CollisionCalls l_calls;

// An angle difference into (-pi, pi].
double lf_wrapHalfOpen(double angle) {
    const double r = std::remainder(angle, fullCircle);
    return r <= -pi ? r + fullCircle : r;
}

LaLo lf_pose(const LiveAc& ac) { return {ac.pose.latitude, ac.pose.longitude}; }

bool lf_tryRemove(AcBase& ac, const char* reporter) {
    try {
        removeAircraftFromSim(ac);
    } catch (...) {
        gf_reportTrafficException(reporter);
    }
    return true;
}

bool lf_startParking(LiveAc& ac, Stand& stand) {
    if (l_calls.startParkingAtStand) return l_calls.startParkingAtStand(ac, stand, true);
    return startParkingAtStand(ac, stand, true);
}

// A taxiing aircraft that did not come from a stand may take the stand the
// parked aircraft in its way just freed, when it is lined up with it: within
// 10 degrees, or within 20 degrees when it runs onto the stand's centre line
// (at most 3 m aside, at least 15 m behind the stand point, and its offset
// projected to 10 m behind the point within 2 m and shrinking).
void lf_redirectToFreedStand(LiveAc& ac, std::int32_t standId, double dhDeg) {
    if (!std::isfinite(dhDeg) || dhDeg > kRedirectHeadingDeg) return;
    Stand* stand = gf_standById(standId);
    if (stand == nullptr) return;
    if (dhDeg > kRedirectAlignedDeg) {
        const RelativePosition rel =
            gf_relativePosition({stand->latitude, stand->longitude}, stand->heading, lf_pose(ac));
        const double c = rel.across;
        if (!std::isfinite(c) || std::abs(c) > kRedirectLateralM) return;
        const double e = kRedirectBehindM - rel.along;
        if (e < kRedirectRunM) return;
        const double projected = std::tan(dhDeg * degreesToRadians) * e + c;
        if (!std::isfinite(projected) || std::abs(projected) > kRedirectProjectedM ||
            !(std::abs(projected) < std::abs(c)))
            return;
    }
    const std::string name = stand->name;
    if (lf_startParking(ac, *stand))
        gf_log(fmt::format("{:14}: {} starts drive2stand after parked collision", name, ac.callsign));
}

}  // namespace

double lf_userGroundCollisionTermNm() {
    double radius = userWingRadiusNm();
    if (std::isnan(radius)) {
        try {
            radius = gf_getWingspan(gf_internModelCode("B738"));
            l_fallbackRadiusNm = radius;
        } catch (...) {
            gf_reportTrafficException("lf_userGroundCollisionTermNm");
            radius = l_fallbackRadiusNm;
        }
    }
    const double speed = gf_userPosition().groundVelocity;
    double termM = 0.0;
    if (std::isfinite(speed) && speed > 0.0)
        termM = std::min(speed * kKnotsToMetresPerSecond * kSpeedTermSeconds, kSpeedTermMaxM);
    return radius + termM * kMetresToNm;
}

AirConflict classifyAirConflict(const AirConflictInput& in) {
    AirConflict out;
    const double north = (in.acLat - in.userLat) * 60.0;
    const double east = gf_wrapLongitudeDifference(in.acLon - in.userLon) * 60.0 * in.cosUserLat;
    const double d = std::sqrt(north * north + east * east);
    out.distanceNm = d;
    if (!(d <= kFarNm)) {
        out.reason = 1;
        return out;
    }
    const double h = in.acAltitudeFt - in.userAltitudeFt;
    out.heightDiffFt = h;
    if (!(std::abs(h) <= kHeightFt)) {
        out.reason = 2;
        return out;
    }
    const double rel = lf_wrapHalfOpen(in.userTrackRad - gf_bearing({in.userLat, in.userLon}, {in.acLat, in.acLon}));
    const double along = std::cos(rel) * d;
    out.alongNm = along;
    if (d <= kCloseNm && std::abs(h) <= kCloseHeightFt && along > kAbeamNm) {
        out.kind = 1;
        return out;
    }
    const double lateral = std::abs(std::sin(rel)) * d * feetPerNm;
    const double headingDiff = lf_wrapHalfOpen(in.userTrackRad - in.acTrackRad);
    if (in.userClass == 1) {
        if (along <= kAbeamNm) {
            out.reason = 5;
        } else if (along > kClass1AheadNm) {
            out.reason = 6;
        } else {
            out.headingDiffRad = headingDiff;
            if (!(std::abs(headingDiff) <= kClass1HeadingRad)) {
                out.reason = 3;
                return out;
            }
            out.lateralFt = lateral;
            out.lateralLimitFt = kClass1LateralFt;
            if (lateral <= kClass1LateralFt)
                out.kind = 4;
            else
                out.reason = 7;
        }
        return out;
    }
    if (in.userClass != 2) {
        out.reason = 7;
        return out;
    }
    out.headingDiffRad = headingDiff;
    if (!(std::abs(headingDiff) <= kClass2HeadingRad)) {
        out.reason = 3;
        return out;
    }
    out.lateralFt = lateral;
    if (along < -kAbeamNm) {
        out.lateralLimitFt = kClass2LateralFt;
        if (-along > kClass2TrailNm || lateral > kClass2LateralFt)
            out.reason = 4;
        else
            out.kind = 2;
    } else if (along <= kAbeamNm) {
        out.reason = 5;
    } else if (along > kClass2TrailNm) {
        out.reason = 6;
    } else {
        out.lateralLimitFt = kClass2LateralFt + kClass2WideningFt * std::clamp(d * 0.25, 0.0, 1.0);
        if (lateral <= out.lateralLimitFt)
            out.kind = 3;
        else
            out.reason = 7;
    }
    return out;
}

std::uint32_t gf_userAirClass(double heightAboveGroundFt, double verticalSpeedFpm, double bankRad) {
    const double bank = std::abs(bankRad);
    if (heightAboveGroundFt <= kClass2HeightFt && verticalSpeedFpm <= kClass2ClimbFpm && bank <= kClass2BankRad)
        return 2;
    if (heightAboveGroundFt <= kClass1HeightFt && bank <= kClass1BankRad) return 1;
    return 0;
}

bool checkUserAirCollision(LiveAc& ac, double cosUserLatitude) {
    if (ac.stream.empty()) return false;
    const UserAircraftState user = gf_userPosition();
    AirConflictInput in;
    in.userClass = gf_userAirClass(user.altitudeAboveGround, user.verticalSpeed, user.bank);
    in.userLat = user.latitude;
    in.userLon = user.longitude;
    in.acLat = ac.pose.latitude;
    in.acLon = ac.pose.longitude;
    in.cosUserLat = cosUserLatitude;
    in.userTrackRad = user.gpsGroundTrueTrack * degreesToRadians;
    in.acTrackRad = ac.stream.front().trackDeg * degreesToRadians;
    in.userAltitudeFt = user.altitude;
    in.acAltitudeFt = ac.pose.altitude;
    if (classifyAirConflict(in).kind == 0) return false;
    return lf_tryRemove(ac, "checkUserAirCollision");
}

bool checkUserAirGndCollision(LiveAc& ac) {
    const UserAircraftState user = gf_userPosition();
    const LaLo userPos{user.latitude, user.longitude};
    const LaLo acPos = lf_pose(ac);
    if (gf_flatDistanceSquaredNm(userPos, acPos) > 1.0) return false;
    if (user.altitudeAboveGround > kUserLowFt) return false;
    const double rel = lf_wrapHalfOpen(gf_bearing(userPos, acPos) - user.heading);
    const double dFt = gf_distanceNm(userPos, acPos) * feetPerNm;
    if (std::abs(std::sin(rel)) * dFt > kGroundAsideFt || std::cos(rel) * dFt <= 0.0) return false;
    return lf_tryRemove(ac, "checkUserAirGndCollision");
}

void gf_checkUserAcCollisions() {
    const UserAircraftState user = gf_userPosition();
    const bool low = user.altitudeAboveGround <= kUserLowFt;
    const double c = std::cos(user.latitude * degreesToRadians);
    for (LiveAc& ac : g_liveAircraft) {
        if (ac.simState != AcSimState::active) continue;
        if (low && ac.onGround != 0 && checkUserAirGndCollision(ac)) return;
        if (!ac.stream.empty() && checkUserAirCollision(ac, c)) return;
    }
}

void gf_checkUserAcGndCollisions() {
    const double r = lf_userGroundCollisionTermNm();
    const UserAircraftState user = gf_userPosition();
    const LaLo userPos{user.latitude, user.longitude};
    for (LiveAc& ac : g_liveAircraft) {
        if (ac.onGround == 0 || ac.simState != AcSimState::active) continue;
        if (!gf_circlesOverlap(userPos, r, lf_pose(ac), ac.collisionRadiusNm)) continue;
        try {
            removeAircraftFromSim(ac);
            return;
        } catch (...) {
            gf_reportTrafficException("gf_checkUserAcGndCollisions");
        }
    }
    const double cosLat = std::cos(user.latitude * degreesToRadians);
    for (AcBase& s : g_staticAircraft) {
        if (s.simState != AcSimState::active) continue;
        const double sum = r + s.collisionRadiusNm;
        const double north = (s.standPos.lat - user.latitude) * 60.0;
        const double east = gf_wrapLongitudeDifference(s.standPos.lon - user.longitude) * 60.0 * cosLat;
        if (std::abs(north) > sum || std::abs(east) > sum || sum <= 0.0) continue;
        if (east * east + north * north > sum * sum) continue;
        try {
            removeAircraftFromSim(s);
            return;
        } catch (...) {
            gf_reportTrafficException("gf_checkUserAcGndCollisions");
        }
    }
}

void collisionWithParked(LiveAc& ac) {
    try {
        if (ac.onGround == 0) return;
        const LaLo position = lf_pose(ac);
        ac.lastParkedCheckPos = position;
        // The circle overlap of gf_circlesOverlap, with the cosine of the
        // aircraft's latitude taken once for all parked aircraft.
        const double cosLat = std::cos(position.lat * degreesToRadians);
        AcBase* conflict = nullptr;
        double dhDeg = 0.0;
        for (AcBase& s : g_staticAircraft) {
            if (s.simState != AcSimState::active) continue;
            if (ac.objectId != 0 && s.objectId == ac.objectId) continue;
            const double sum = ac.collisionRadiusNm + s.collisionRadiusNm;
            if (!(sum > 0.0) || gf_flatDistanceSquaredNm(position, s.standPos, cosLat) > sum * sum) continue;
            const double dh =
                std::abs(std::remainder(ac.pose.heading - s.standHeadingRad, fullCircle)) * radiansToDegrees;
            if (dh <= kParkedHeadingDeg) {
                conflict = &s;
                dhDeg = dh;
                break;
            }
        }
        if (conflict == nullptr) return;
        const std::int32_t standId = conflict->standId;
        gf_log(fmt::format("{:14}: {:8} removed for 'live vs parked' collision avoidance with {}, delta hdg:{:.0f}",
                           gf_standNameById(standId), conflict->callsign, ac.callsign, dhDeg));
        removeAircraftFromSim(*conflict);
        if (conflict->simState != AcSimState::removingfromsim || ac.phase != AcPhase::taxi ||
            ac.prevPhase == AcPhase::pushed_back || ac.prevPhase == AcPhase::parked)
            return;
        lf_redirectToFreedStand(ac, standId, dhDeg);
    } catch (...) {
        gf_reportTrafficException("collisionWithParked");
    }
}

void gf_setCollisionCalls(CollisionCalls calls) { l_calls = std::move(calls); }
