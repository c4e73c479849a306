#include "motion/motion_math.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "engine/geometry.h"
#include "foundation/geodesy.h"
#include "motion/curves.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

bool lf_inCircle(double h) noexcept { return h >= 0.0 && h < fullCircle; }

bool lf_inRange(LaLo p) noexcept { return isValidLatLon(p.lat, p.lon); }


double lf_distanceM(LaLo a, LaLo b) noexcept { return gf_distanceNm(a, b) * metresPerNm; }

}  // namespace

double normalizeHeading(double h) noexcept {
    if (!std::isfinite(h)) return 0.0;
    h = std::fmod(h, fullCircle);
    if (h < 0.0) h += fullCircle;
    // A tiny negative remainder plus 2 pi can round to 2 pi itself.
    return h >= fullCircle ? 0.0 : h;
}

double easeValue(double t, int mode) noexcept {
    // NaN compares false both ways and so would pass a clamp: treat it as 0.
    t = std::isnan(t) ? 0.0 : std::clamp(t, 0.0, 1.0);
    switch (mode) {
        case 1: return t * t;
        case 2: return 1.0 - (1.0 - t) * (1.0 - t);
        case 3: return (3.0 - 2.0 * t) * t * t;
        default: return t;
    }
}

double stepToward(double current, double target, double maxStep) noexcept {
    if (!std::isfinite(target)) return std::isfinite(current) ? current : 0.0;
    if (!std::isfinite(current)) return target;
    if (!std::isfinite(maxStep) || !(maxStep > 0.0)) return current;
    return current + std::clamp(target - current, -maxStep, maxStep);
}

double gf_approachDescentFloorFpm(ModelCategory category) noexcept {
    return category == HighPerf ? -3600.0 : category == Rotorcraft ? -1800.0 : -3000.0;
}

DescentRate descentRateBounds(double wantedFpm, std::span<const double> streamRatesFpm,
                              ModelCategory category) noexcept {
    const double floor = gf_approachDescentFloorFpm(category);
    double sum = 0.0;
    int count = 0;
    for (std::size_t i = 0; i < streamRatesFpm.size() && i < 2; ++i) {
        if (std::isfinite(streamRatesFpm[i])) {
            sum += streamRatesFpm[i];
            ++count;
        }
    }
    // The category's floor bounds the margin below the stream, never the
    // stream's own descent: held above a steeper reported descent the
    // aircraft would arrive high and late. Twice the floor is more than any
    // approach flies.
    const double mean = count > 0 ? std::clamp(sum / count, 2.0 * floor, 0.0) : 0.0;
    const double lower = std::min(std::max(mean - 1200.0, floor), mean);
    double rate = std::isfinite(wantedFpm) ? wantedFpm : mean;
    if (rate > 0.0) rate = 0.0;
    if (rate < lower) rate = lower;
    // A NaN put in always differs from the rate given back.
    return {rate, !(rate == wantedFpm)};
}

GroundLegTime minGroundLegTime(double distanceM, double timeS, double speed1Kt, double speed2Kt,
                               ModelCategory category) noexcept {
    auto sane = [](double v) { return std::isfinite(v) && v > 0.0 ? v : 0.0; };
    const double a = sane(distanceM);
    const double b = sane(timeS);
    const double v = std::max(sane(speed1Kt), sane(speed2Kt));
    double floorKt = 360.0;
    double capKt = 700.0;
    switch (category) {
        case Light: floorKt = 180.0; capKt = 350.0; break;
        case TwoProps: floorKt = 250.0; capKt = 500.0; break;
        case HighPerf: floorKt = 900.0; capKt = 1500.0; break;
        case Rotorcraft: floorKt = 120.0; capKt = 220.0; break;
        default: break;
    }
    GroundLegTime r;
    r.leastTimeS = a > 0.0 ? a * kMpsToKnots / std::min(std::max(2.0 * v, floorKt), capKt) : 0.0;
    if (b > 0.0)
        r.impliedSpeedKt = a / b * kMpsToKnots;
    else
        r.impliedSpeedKt = a > 0.0 ? kInf : 0.0;
    r.tooFast = a > 1.0 && r.leastTimeS > b + 1e-9;
    return r;
}

ClimbStart findClimbStart(std::span<const AltitudeSample> samples, double referenceFt) noexcept {
    if (!std::isfinite(referenceFt) || !(referenceFt > 0.0)) return {};
    for (std::size_t i = 1; i < samples.size(); ++i) {
        const double alt = samples[i].altitudeFt;
        if (!std::isfinite(alt) || !(alt >= referenceFt + 10.0)) continue;
        for (std::size_t j = 0; j < i; ++j) {
            const double before = samples[j].altitudeFt;
            // Ticks are compared in 64 bits: a wrapped difference must not pass.
            const std::int64_t dt =
                static_cast<std::int64_t>(samples[i].tick) - static_cast<std::int64_t>(samples[j].tick);
            if (std::isfinite(before) && before >= 40.0 && dt >= 1 && dt <= 2000 && before <= alt - 15.0)
                return {i, true};
        }
    }
    return {};
}

TouchdownShape shapeTouchdownDescent(const TouchdownInput& in) noexcept {
    TouchdownShape r{in.verticalSpeedFpm, in.pastThresholdM, false};
    const double vs = in.verticalSpeedFpm;
    const double d = in.pastThresholdM;
    const double L = in.runwayLengthM;
    const double above = in.heightFt - in.touchdownHeightFt;
    if (!std::isfinite(vs) || !std::isfinite(in.heightFt) || !std::isfinite(in.touchdownHeightFt) ||
        !std::isfinite(d) || !std::isfinite(L) || !std::isfinite(in.speedKt) || !(L > 0.0) ||
        !(in.speedKt > 0.0) || !(above > 1.0 && above <= 250.0) || !(d < L))
        return r;
    if (in.nextAirborne && std::isfinite(in.gainFt) && in.gainFt >= 50.0 &&
        std::isfinite(in.nextVerticalSpeedFpm) && in.nextVerticalSpeedFpm >= 400.0 &&
        std::isfinite(in.frontVerticalSpeedFpm) && in.frontVerticalSpeedFpm >= 400.0)
        return r;  // the stream shows a go-around
    const double speed = std::clamp(in.speedKt, 40.0, 200.0) * kKnotsToMps;
    const double touchdownAt = vs < 0.0 ? d + above * 60.0 / (-vs) * speed : kInf;
    if (!(std::min(L / 3.0, 1000.0) < touchdownAt)) return r;
    const double aim = std::min(std::max(d + 100.0, std::min(L / 3.0, 600.0)), L - 100.0);
    if (!(aim - d > 0.0)) return r;
    r.aimDistanceM = aim;
    const double wanted = std::max(-above * 60.0 / ((aim - d) / speed), -1200.0);
    if (wanted < vs) {
        r.verticalSpeedFpm = wanted;
        r.changed = true;
    }
    return r;
}

bool isValidRollProfile(double first, double second, double largestVerticalSpeedFpm, double speedKt,
                        double referenceSpeedKt, double margin) noexcept {
    if (!std::isfinite(first) || !std::isfinite(second) || !std::isfinite(largestVerticalSpeedFpm) ||
        !std::isfinite(speedKt) || !std::isfinite(referenceSpeedKt) || !std::isfinite(margin))
        return false;
    return largestVerticalSpeedFpm > 1000.0 && speedKt >= referenceSpeedKt && margin > 0.0 && second > first &&
           second >= -margin;
}

CenterlineAim centerlineAimPoint(LaLo position, LaLo linePoint, double lineHeading, double angleLimit,
                                 double crossTrackLimitM, double factor) noexcept {
    const bool bothValid = gf_isValidLaLo(position) && gf_isValidLaLo(linePoint);
    const bool differ = bothValid && !gf_isSamePlace(position, linePoint);
    CenterlineAim defaults;
    defaults.aimPoint = linePoint;
    defaults.bearing = differ ? gf_bearing(position, linePoint) : lineHeading;
    if (!differ || !lf_inCircle(lineHeading) || !std::isfinite(angleLimit) || !(angleLimit > 0.0) ||
        !std::isfinite(crossTrackLimitM) || !(crossTrackLimitM > 0.0) || !std::isfinite(factor) ||
        !(factor >= 0.0 && factor <= 1.0))
        return defaults;
    const RelativePosition rel = gf_relativePosition(position, lineHeading, linePoint);
    defaults.angle = rel.bearing;
    defaults.offsetM = rel.across;
    if (!std::isfinite(rel.bearing) || !std::isfinite(rel.across) || !std::isfinite(rel.along) ||
        !(rel.along > 0.0) || std::fabs(rel.bearing) > angleLimit || std::fabs(rel.across) > crossTrackLimitM)
        return defaults;
    const LaLo abeam = gf_destinationPoint(position, {lineHeading, rel.along * feetPerMetre});
    const double side = rel.across * factor;
    const double sideHeading = side >= 0.0 ? lineHeading + pi / 2.0 : lineHeading - pi / 2.0;
    const LaLo aim = gf_destinationPoint(abeam, {sideHeading, std::fabs(side) * feetPerMetre});
    const double bearing = gf_bearing(position, aim);
    if (!lf_inRange(aim) || !lf_inCircle(bearing)) return defaults;
    CenterlineAim r = defaults;
    r.aimPoint = aim;
    r.bearing = bearing;
    r.captured = true;
    return r;
}

LookAhead lookAheadBearing(LaLo position, std::span<const LaLo> upcoming, double heading, double leastM,
                           double greatestM, double angleLimit) noexcept {
    const LookAhead defaults{heading, 0.0, false};
    if (!gf_isValidLaLo(position) || !lf_inCircle(heading) || !std::isfinite(leastM) || !(leastM > 0.0) ||
        !std::isfinite(greatestM) || !(greatestM >= leastM) || !std::isfinite(angleLimit) || !(angleLimit > 0.0))
        return defaults;
    const LaLo* first = nullptr;
    const LaLo* last = nullptr;
    double lastDistance = 0.0;
    for (const LaLo& p : upcoming) {
        if (!gf_isValidLaLo(p)) break;
        const double dist = lf_distanceM(position, p);
        if (!std::isfinite(dist) || dist <= 1.0) continue;
        if (dist > greatestM) break;
        if (first == nullptr) first = &p;
        last = &p;
        lastDistance = dist;
    }
    if (last == nullptr || gf_isSamePlace(*first, *last) || lastDistance < leastM) return defaults;
    const double toFirst = gf_bearing(position, *first);
    const double toLast = gf_bearing(position, *last);
    if (!lf_inCircle(toFirst) || !lf_inCircle(toLast) ||
        std::fabs(std::remainder(toLast - toFirst, fullCircle)) > angleLimit ||
        std::fabs(std::remainder(toLast - heading, fullCircle)) > angleLimit)
        return defaults;
    return {toLast, lastDistance, true};
}

TurnStep coordinatedTurnStep(const TurnStepInput& in) noexcept {
    auto positive = [](double v) { return std::isfinite(v) && v > 0.0; };
    if (!positive(in.timeConstantTicks) || !positive(in.ticksPerSecond) || !positive(in.maxTurnRate) ||
        !positive(in.bankLimit) || !positive(in.maxBankStep))
        return {};
    TurnStep r;
    const double x = std::min(std::fabs(in.bankLimit), pi / 2.0);
    r.bank = std::isfinite(in.bank) ? std::clamp(in.bank, -x, x) : 0.0;
    const double error = std::isfinite(in.targetHeading) && std::isfinite(in.heading)
                             ? std::remainder(in.targetHeading - in.heading, fullCircle)
                             : 0.0;
    const double speed = std::isfinite(in.speedKt) && in.speedKt > 0.0 ? in.speedKt * kKnotsToMps : 0.0;
    double rateLimit = speed > 1.0 ? kGravity * std::tan(x) / speed : in.maxTurnRate;
    rateLimit = std::min(rateLimit, in.maxTurnRate);
    const double perTick = rateLimit / in.ticksPerSecond;
    r.headingStep = std::clamp(error / in.timeConstantTicks, -perTick, perTick);
    double wanted;
    if (in.givenBankSet && std::isfinite(in.givenBank) && std::fabs(in.givenBank) <= pi / 2.0) {
        wanted = in.givenBank;
        r.givenBankUsed = true;
    } else {
        r.givenBankInvalid = in.givenBankSet;
        wanted = speed > 1.0 ? -std::atan(r.headingStep * in.ticksPerSecond * speed / kGravity)
                             : -std::clamp(error, -x, x);
    }
    r.wantedBank = std::clamp(wanted, -x, x);
    r.bankStep = std::clamp((r.wantedBank - r.bank) / in.timeConstantTicks, -in.maxBankStep, in.maxBankStep);
    return r;
}

double maxBankAngle(double limit, bool landing, double heightAboveGroundFt, bool flare) noexcept {
    if (!std::isfinite(limit) || !(limit > 0.0)) return 0.0;
    const double x = std::min(std::fabs(limit), pi / 2.0);
    if (!landing || !std::isfinite(heightAboveGroundFt)) return x;
    if (flare) return std::min(5.0 * degreesToRadians, x);
    const double low = std::min(10.0 * degreesToRadians, x);
    const double f = std::clamp((heightAboveGroundFt - 100.0) / 900.0, 0.0, 1.0);
    return low + (x - low) * f;
}

namespace {

// The transition's point at t, and the ratio of its length to its chord (1
// for a straight one) in lengthRatio when asked.
HermiteTransition lf_hermite(LaLo start, LaLo end, double arrivalHeading, double angleLimit, double t,
                             double startCourse, double* lengthRatio) noexcept {
    HermiteTransition r;
    if (!lf_inRange(start) || !lf_inRange(end) || !std::isfinite(arrivalHeading) || !std::isfinite(angleLimit) ||
        !std::isfinite(t))
        return r;
    t = std::clamp(t, 0.0, 1.0);
    const double k = std::cos((start.lat + end.lat) / 2.0 * degreesToRadians) * kTransitionMetresPerDegree;
    if (!std::isfinite(k) || std::fabs(k) < 1.0) return r;
    const double east = gf_wrapLongitudeDifference(end.lon - start.lon) * k;
    const double north = (end.lat - start.lat) * kTransitionMetresPerDegree;
    const double D = std::hypot(east, north);
    if (!(D >= 10.0)) {
        r.position = {start.lat + (end.lat - start.lat) * t,
                      start.lon + gf_wrapLongitudeDifference(end.lon - start.lon) * t};
        gf_normalizeLaLo(r.position);
        r.heading = 0.0;
        r.valid = true;
        return r;
    }
    const double c = std::atan2(east, north);
    const double b = gf_bearing(start, end);
    const double e = std::remainder(arrivalHeading - b, fullCircle);
    const double l = std::min(std::fabs(angleLimit), pi / 2.0);
    const double halfDegree = 0.5 * degreesToRadians;
    const double deviation = std::fabs(e) <= pi / 2.0 && l >= halfDegree ? std::clamp(e, -l, l) : 0.0;
    const double setOff = std::isfinite(startCourse) ? std::remainder(startCourse - b, fullCircle) : 0.0;
    const double startDeviation = std::clamp(setOff, -pi / 2.0, pi / 2.0);
    r.curved = std::fabs(deviation) >= halfDegree || std::fabs(startDeviation) >= halfDegree;
    const double a = r.curved ? b + deviation : c;
    const double a0 = startDeviation != 0.0 ? b + startDeviation : c;
    const double s0e = std::sin(a0) * D, s0n = std::cos(a0) * D;
    const double s1e = std::sin(a) * D, s1n = std::cos(a) * D;
    const auto place = [&](double u, double& e, double& n) {
        const double u2 = u * u, u3 = u2 * u;
        const double h10 = u3 - 2.0 * u2 + u, h01 = -2.0 * u3 + 3.0 * u2, h11 = u3 - u2;
        e = h10 * s0e + h01 * east + h11 * s1e;
        n = h10 * s0n + h01 * north + h11 * s1n;
    };
    // A curve is flown at one pace: t is the share of its length, not of the
    // curve's parameter, which runs faster where the curve bends (a holding
    // leg that set off 40 degrees off its chord changed speed by 8 kt a
    // second along it).
    double u = t;
    if (r.curved && ((t > 0.0 && t < 1.0) || lengthRatio != nullptr)) {
        constexpr int kPieces = 48;
        std::array<double, kPieces + 1> along{};
        double pe0 = 0.0, pn0 = 0.0;
        for (int i = 1; i <= kPieces; ++i) {
            double pe1 = 0.0, pn1 = 0.0;
            place(static_cast<double>(i) / kPieces, pe1, pn1);
            along[i] = along[i - 1] + std::hypot(pe1 - pe0, pn1 - pn0);
            pe0 = pe1;
            pn0 = pn1;
        }
        if (lengthRatio != nullptr) *lengthRatio = along[kPieces] / D;
        const double wanted = t * along[kPieces];
        int i = 1;
        while (i < kPieces && along[i] < wanted) ++i;
        const double piece = along[i] - along[i - 1];
        const double within = piece > 0.0 ? std::clamp((wanted - along[i - 1]) / piece, 0.0, 1.0) : 0.0;
        u = (static_cast<double>(i - 1) + within) / kPieces;
    }
    const double u2 = u * u;
    const double d10 = 3.0 * u2 - 4.0 * u + 1.0, d01 = -6.0 * u2 + 6.0 * u, d11 = 3.0 * u2 - 2.0 * u;
    double pe = 0.0, pn = 0.0;
    place(u, pe, pn);
    const double de = d10 * s0e + d01 * east + d11 * s1e;
    const double dn = d10 * s0n + d01 * north + d11 * s1n;
    if (!std::isfinite(pe) || !std::isfinite(pn) || !std::isfinite(de) || !std::isfinite(dn) ||
        std::hypot(de, dn) < 1e-6)
        return r;
    r.position = {start.lat + pn / kTransitionMetresPerDegree, start.lon + pe / k};
    gf_normalizeLaLo(r.position);
    r.heading = r.curved ? normalizeHeading(std::atan2(de, dn)) : b;
    r.valid = true;
    return r;
}

}  // namespace

HermiteTransition hermiteTransitionPoint(LaLo start, LaLo end, double arrivalHeading, double angleLimit, double t,
                                         double startCourse) noexcept {
    return lf_hermite(start, end, arrivalHeading, angleLimit, t, startCourse, nullptr);
}

double hermiteTransitionLengthRatio(LaLo start, LaLo end, double arrivalHeading, double angleLimit,
                                    double startCourse) noexcept {
    double ratio = 1.0;
    const HermiteTransition h = lf_hermite(start, end, arrivalHeading, angleLimit, 0.5, startCourse, &ratio);
    return h.valid && std::isfinite(ratio) && ratio >= 1.0 ? ratio : 1.0;
}
