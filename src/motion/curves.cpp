#include "motion/curves.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/geometry.h"
#include "foundation/geodesy.h"
#include "motion/motion_math.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Metres per degree of latitude of the local frames.
constexpr double kMetresPerDegree = 111132.95;

// Offsets (east, north) of a point from an origin. The longitude difference
// is taken the short way round: a corner across the 180th meridian is a few
// metres wide, not a trip around the globe.
struct Offset {
    double east;
    double north;
};

Offset lf_toLocal(double originLat, double originLon, double lat, double lon) noexcept {
    return {gf_wrapLongitudeDifference(lon - originLon) * std::cos(originLat * degreesToRadians) * kMetresPerDegree,
            (lat - originLat) * kMetresPerDegree};
}

LaLo lf_fromLocal(double originLat, double originLon, double east, double north) noexcept {
    LaLo p{north / kMetresPerDegree + originLat,
           east / (std::cos(originLat * degreesToRadians) * kMetresPerDegree) + originLon};
    if (std::isfinite(p.lat) && std::isfinite(p.lon)) gf_normalizeLaLo(p);
    return p;
}

double lf_wrapPi(double a) noexcept { return std::remainder(a, fullCircle); }

// The curve parameter at which a fraction f of the length is reached, by a
// binary search over the arc table and linear interpolation inside the step.
template <std::size_t N>
double lf_invertArc(const std::array<double, N>& table, double f) noexcept {
    constexpr std::size_t last = N - 1;
    const auto k = static_cast<std::size_t>(std::lower_bound(table.begin(), table.end(), f) - table.begin());
    if (k == 0) return 0.0;
    if (k > last) return 1.0;
    const double step = table[k] - table[k - 1];
    const double frac = step > 0.0 ? (f - table[k - 1]) / step : 0.0;
    return (static_cast<double>(k - 1) + frac) / static_cast<double>(last);
}

void lf_invalidate(CurvedLeg& leg) noexcept {
    leg.startTime = kNaN;
    leg.endTime = kNaN;
    leg.controlEast = kNaN;
    leg.controlNorth = kNaN;
    leg.arc.fill(0.0);
}

double lf_optionOr(double value, double fallback) noexcept { return value > 0.0 ? value : fallback; }

}  // namespace

bool isValidLatLon(double lat, double lon) noexcept {
    return std::isfinite(lat) && std::isfinite(lon) && lat >= -90.0 && lat <= 90.0 && lon >= -180.0 &&
           lon <= 180.0;
}

bool isValidLegPoint(const LegPoint& p) noexcept { return isValidLatLon(p.lat, p.lon) && std::isfinite(p.value); }

BezierPoint bezierPointAt(double t, double startEast, double startNorth, double controlEast, double controlNorth,
                          double endEast, double endNorth) noexcept {
    const double u = 1.0 - t;
    BezierPoint r;
    r.east = u * u * startEast + 2.0 * u * t * controlEast + t * t * endEast;
    r.north = u * u * startNorth + 2.0 * u * t * controlNorth + t * t * endNorth;
    double de = 2.0 * u * (controlEast - startEast) + 2.0 * t * (endEast - controlEast);
    double dn = 2.0 * u * (controlNorth - startNorth) + 2.0 * t * (endNorth - controlNorth);
    if (de * de + dn * dn <= 1e-18) {
        // A cusp: the curve still leaves along its second derivative.
        de = 2.0 * (startEast - 2.0 * controlEast + endEast);
        dn = 2.0 * (startNorth - 2.0 * controlNorth + endNorth);
        if (de * de + dn * dn <= 1e-18) {
            r.heading = kNaN;
            return r;
        }
    }
    r.heading = std::atan2(de, dn);
    return r;
}

void buildCurvedLeg(CurvedLeg& leg, const CurvedLegInput& in) noexcept {
    leg = CurvedLeg{};
    if (!isValidLegPoint(in.start) || !isValidLegPoint(in.control) || !isValidLegPoint(in.end) ||
        !(in.start.value < in.end.value)) {
        lf_invalidate(leg);
        return;
    }
    leg.startLat = in.start.lat;
    leg.startLon = in.start.lon;
    leg.startTime = in.start.value;
    leg.endTime = in.end.value;
    const Offset end = lf_toLocal(leg.startLat, leg.startLon, in.end.lat, in.end.lon);
    const Offset control = lf_toLocal(leg.startLat, leg.startLon, in.control.lat, in.control.lon);
    leg.endEast = end.east;
    leg.endNorth = end.north;
    leg.controlEast = control.east;
    leg.controlNorth = control.north;

    double sum = 0.0;
    double prevEast = 0.0;
    double prevNorth = 0.0;
    leg.arc[0] = 0.0;
    for (std::size_t k = 1; k < leg.arc.size(); ++k) {
        const BezierPoint p = bezierPointAt(static_cast<double>(k) / 64.0, 0.0, 0.0, leg.controlEast,
                                            leg.controlNorth, leg.endEast, leg.endNorth);
        sum += std::hypot(p.east - prevEast, p.north - prevNorth);
        leg.arc[k] = sum;
        prevEast = p.east;
        prevNorth = p.north;
    }
    if (!std::isfinite(sum) || !(sum > 0.0)) {
        lf_invalidate(leg);
        return;
    }
    for (double& v : leg.arc) v /= sum;
}

CurvePoint sampleCurvedLeg(const CurvedLeg& leg, double time) noexcept {
    CurvePoint r;
    const double duration = leg.endTime - leg.startTime;
    if (std::isnan(leg.controlEast) || std::isnan(leg.controlNorth) || !std::isfinite(time) ||
        !(time >= leg.startTime) || !(time <= leg.endTime) || !std::isfinite(duration) || !(duration > 0.0))
        return r;
    const double f = (time - leg.startTime) / duration;
    if (!(f >= 0.0 && f <= 1.0)) return r;
    const double u = lf_invertArc(leg.arc, f);
    const BezierPoint p =
        bezierPointAt(u, 0.0, 0.0, leg.controlEast, leg.controlNorth, leg.endEast, leg.endNorth);
    if (std::isnan(p.east) || std::isnan(p.north) || !std::isfinite(p.heading)) return r;
    const LaLo at = lf_fromLocal(leg.startLat, leg.startLon, p.east, p.north);
    r.lat = at.lat;
    r.lon = at.lon;
    r.heading = normalizeHeading(p.heading);
    r.valid = true;
    return r;
}

GroundTurnOptions groundTurnOptions(const GroundTurnInput& in) noexcept {
    return {lf_optionOr(in.minLegLength, 15.0),       lf_optionOr(in.minLegSum, 50.0),
            lf_optionOr(in.maxHeadingChangeDeg, 60.0), lf_optionOr(in.startToleranceDeg, 60.0),
            lf_optionOr(in.cornerDistanceFactor, 0.35), lf_optionOr(in.maxCurvatureDegPerM, 3.0),
            lf_optionOr(in.tangentScale, 2.0),         lf_optionOr(in.endTangentScale, 2.0)};
}

HermitePoint hermitePointAt(const GroundTurn& turn, double t) noexcept {
    t = std::isnan(t) ? 0.0 : std::clamp(t, 0.0, 1.0);
    const double t2 = t * t;
    const double t3 = t2 * t;
    const double h10 = t3 - 2.0 * t2 + t;
    const double h01 = -2.0 * t3 + 3.0 * t2;
    const double h11 = t3 - t2;
    const double d10 = 3.0 * t2 - 4.0 * t + 1.0;
    const double d01 = -6.0 * t2 + 6.0 * t;
    const double d11 = 3.0 * t2 - 2.0 * t;
    // The start point is the origin, so h00 and its derivative drop out.
    return {h10 * turn.startTangentEast + h01 * turn.endEast + h11 * turn.endTangentEast,
            h10 * turn.startTangentNorth + h01 * turn.endNorth + h11 * turn.endTangentNorth,
            d10 * turn.startTangentEast + d01 * turn.endEast + d11 * turn.endTangentEast,
            d10 * turn.startTangentNorth + d01 * turn.endNorth + d11 * turn.endTangentNorth};
}

bool buildGroundTurn(GroundTurn& turn, const GroundTurnInput& in) noexcept {
    turn = GroundTurn{};
    const GroundTurnOptions opt = groundTurnOptions(in);
    const double h0 = in.startHeading;
    auto inCircle = [](double h) { return h >= 0.0 && h < fullCircle; };
    if (!isValidLatLon(in.entryLat, in.entryLon) || !isValidLatLon(in.cornerLat, in.cornerLon) ||
        !isValidLatLon(in.exitLat, in.exitLon) || !inCircle(h0) || (in.exitHeadingGiven && !inCircle(in.exitHeading)))
        return false;
    auto fail = [&turn](GroundTurnStatus status) {
        turn.status = status;
        return false;
    };
    turn.originLat = in.entryLat;
    turn.originLon = in.entryLon;
    const Offset corner = lf_toLocal(in.entryLat, in.entryLon, in.cornerLat, in.cornerLon);
    const Offset exit = lf_toLocal(in.entryLat, in.entryLon, in.exitLat, in.exitLon);
    turn.cornerEast = corner.east;
    turn.cornerNorth = corner.north;
    const double exitLegEast = exit.east - corner.east;
    const double exitLegNorth = exit.north - corner.north;
    const double L1 = std::hypot(corner.east, corner.north);
    const double L2 = std::hypot(exitLegEast, exitLegNorth);
    if (!(L1 >= 2.0) || !(L2 >= 2.0)) return fail(GroundTurnStatus::LegTooShort);
    if (L1 > 250.0 || L2 > 250.0) return fail(GroundTurnStatus::LegOutOfRange);

    const double b1 = std::atan2(corner.east, corner.north);
    const double b2 = std::atan2(exitLegEast, exitLegNorth);
    const double d = lf_wrapPi(b2 - b1);
    const double e = lf_wrapPi(b2 - h0);
    turn.turnAngleDeg = std::fabs(d) * radiansToDegrees;
    turn.startDeviationDeg = std::fabs(lf_wrapPi(b1 - h0)) * radiansToDegrees;
    const double absEDeg = std::fabs(e) * radiansToDegrees;

    if (absEDeg <= 5.0) {
        turn.headingMode = 0;
        if (turn.turnAngleDeg <= 3.0) return fail(GroundTurnStatus::TurnTooSmall);
    } else if (turn.turnAngleDeg <= 3.0) {
        turn.headingMode = 1;
    } else {
        const bool sameSign = (e > 0.0) == (d > 0.0);
        turn.headingMode = sameSign && turn.startDeviationDeg < 20.0 ? 0 : 1;
    }
    turn.cornerEnd = in.cornerEnd ? 1 : 0;
    if (turn.turnAngleDeg >= 165.0) return fail(GroundTurnStatus::TurnTooLarge);
    if (turn.startDeviationDeg > std::max(opt.startToleranceDeg, 70.0))
        return fail(GroundTurnStatus::StartHeadingMismatch);

    const double sinH0 = std::sin(h0);
    const double cosH0 = std::cos(h0);
    if (turn.cornerEnd) {
        turn.endEast = corner.east;
        turn.endNorth = corner.north;
        turn.startTangentEast = sinH0 * L1;
        turn.startTangentNorth = cosH0 * L1;
        if (in.exitHeadingGiven) {
            // Ending on a heading of its own, the turn is a bend through the
            // point: both tangents take the length a circular arc's cubic has
            // over that heading change, so that it bends evenly instead of
            // sharply at one end.
            const double change = std::fabs(lf_wrapPi(in.exitHeading - h0));
            const double tangent = change > 1e-6 ? 2.0 * L1 * std::tan(change / 4.0) / std::sin(change / 2.0) : L1;
            turn.startTangentEast = sinH0 * tangent;
            turn.startTangentNorth = cosH0 * tangent;
            turn.endTangentEast = std::sin(in.exitHeading) * tangent;
            turn.endTangentNorth = std::cos(in.exitHeading) * tangent;
        } else {
            turn.endTangentEast = exitLegEast / L2 * L1 / 2.0;
            turn.endTangentNorth = exitLegNorth / L2 * L1 / 2.0;
        }
    } else {
        turn.endEast = exit.east;
        turn.endNorth = exit.north;
        turn.startTangentEast = sinH0 * opt.tangentScale * L1;
        turn.startTangentNorth = cosH0 * opt.tangentScale * L1;
        if (in.exitHeadingGiven) {
            turn.endTangentEast = std::sin(in.exitHeading) * opt.endTangentScale * L2;
            turn.endTangentNorth = std::cos(in.exitHeading) * opt.endTangentScale * L2;
        } else {
            turn.endTangentEast = opt.endTangentScale * exitLegEast;
            turn.endTangentNorth = opt.endTangentScale * exitLegNorth;
        }
    }

    const bool mode = turn.headingMode != 0;
    const double startTangent2 =
        turn.startTangentEast * turn.startTangentEast + turn.startTangentNorth * turn.startTangentNorth;
    if (!(startTangent2 > 1e-8) || std::fabs(e) >= 3.0543261909900767) return fail(GroundTurnStatus::InvalidTangent);
    if (mode && (absEDeg < 10.0 || absEDeg > opt.maxHeadingChangeDeg || turn.turnAngleDeg > 60.0 ||
                 turn.startDeviationDeg > opt.startToleranceDeg || L1 < opt.minLegLength ||
                 L2 < opt.minLegLength || L1 + L2 < opt.minLegSum))
        return fail(GroundTurnStatus::InvalidTangent);

    // Walk the curve: its length, its heading changes and how far it strays.
    const double entryUnitEast = corner.east / L1;
    const double entryUnitNorth = corner.north / L1;
    const double chordLength = std::hypot(turn.endEast, turn.endNorth);
    const double outwardSign = d > 0.0 ? -1.0 : 1.0;  // a right turn bulges to the left
    const double halfDegree = 0.5 * degreesToRadians;
    double prevEast = 0.0;
    double prevNorth = 0.0;
    double prevHeading = std::atan2(turn.startTangentEast, turn.startTangentNorth);
    double length = 0.0;
    double accumulated = 0.0;
    double leastAccumulated = 0.0;
    double greatestAccumulated = 0.0;
    double summedChange = 0.0;
    double leastCornerDistance = std::hypot(corner.east, corner.north);
    turn.arc[0] = 0.0;
    for (std::size_t k = 1; k < turn.arc.size(); ++k) {
        const HermitePoint p = hermitePointAt(turn, static_cast<double>(k) / 128.0);
        const double deriv2 = p.derivEast * p.derivEast + p.derivNorth * p.derivNorth;
        if (!std::isfinite(p.east) || !std::isfinite(p.north) || !std::isfinite(deriv2) || !(deriv2 > 1e-8))
            return fail(GroundTurnStatus::InvalidTangent);
        const double heading = std::atan2(p.derivEast, p.derivNorth);
        const double change = lf_wrapPi(heading - prevHeading);
        const double step = std::hypot(p.east - prevEast, p.north - prevNorth);
        if (!mode) {
            if ((d > 0.0 && change < -halfDegree) || (d < 0.0 && change > halfDegree))
                return fail(GroundTurnStatus::InvalidTangent);
        } else if (step > 0.0 && std::fabs(change) * radiansToDegrees / step > opt.maxCurvatureDegPerM) {
            return fail(GroundTurnStatus::InvalidTangent);
        } else if (step <= 0.0 && std::fabs(change) > 0.0) {
            return fail(GroundTurnStatus::InvalidTangent);  // turning on the spot
        }
        length += step;
        turn.arc[k] = length;
        accumulated += change;
        leastAccumulated = std::min(leastAccumulated, accumulated);
        greatestAccumulated = std::max(greatestAccumulated, accumulated);
        summedChange += std::fabs(change);
        leastCornerDistance = std::min(leastCornerDistance, std::hypot(p.east - corner.east, p.north - corner.north));
        const double outward = outwardSign * (p.east * entryUnitNorth - p.north * entryUnitEast);
        turn.maxOutwardOffset = std::max(turn.maxOutwardOffset, outward);
        if (chordLength > 0.0) {
            const double fromChord = std::fabs(p.east * turn.endNorth - p.north * turn.endEast) / chordLength;
            turn.maxChordDistance = std::max(turn.maxChordDistance, fromChord);
        }
        prevEast = p.east;
        prevNorth = p.north;
        prevHeading = heading;
    }
    if (mode) {
        const double slack = 25.0 * degreesToRadians;
        if (leastAccumulated < std::min(e, 0.0) - slack || greatestAccumulated > std::max(e, 0.0) + slack ||
            summedChange > std::fabs(e) + 50.0 * degreesToRadians ||
            leastCornerDistance > opt.cornerDistanceFactor * std::min(L1, L2))
            return fail(GroundTurnStatus::InvalidTangent);
    }
    if (!std::isfinite(length) || !(length > 0.0) || length > 1.6 * (L1 + L2))
        return fail(GroundTurnStatus::ExcessiveLength);
    turn.totalLength = length;
    for (double& v : turn.arc) v /= length;
    turn.status = GroundTurnStatus::None;
    return true;
}

std::string_view groundTurnStatusName(std::uint32_t status) noexcept {
    static constexpr std::string_view names[] = {
        "none",         "invalid input",          "leg too short",   "leg out of range", "turn too small",
        "turn too large", "start heading mismatch", "invalid tangent", "excessive length",
    };
    return status < std::size(names) ? names[status] : "unknown";
}

std::string_view groundTurnStatusName(GroundTurnStatus status) noexcept {
    return groundTurnStatusName(static_cast<std::uint32_t>(status));
}

CurvePoint sampleGroundTurn(const GroundTurn& turn, double fraction) noexcept {
    CurvePoint r;
    if (turn.status != GroundTurnStatus::None || !(turn.totalLength > 0.0) || !std::isfinite(fraction)) return r;
    const double u = lf_invertArc(turn.arc, std::clamp(fraction, 0.0, 1.0));
    const HermitePoint p = hermitePointAt(turn, u);
    if (!(p.derivEast * p.derivEast + p.derivNorth * p.derivNorth > 1e-8)) return r;
    const LaLo at = lf_fromLocal(turn.originLat, turn.originLon, p.east, p.north);
    if (!isValidLatLon(at.lat, at.lon)) return r;
    r.lat = at.lat;
    r.lon = at.lon;
    r.heading = normalizeHeading(std::atan2(p.derivEast, p.derivNorth));
    r.valid = true;
    return r;
}
