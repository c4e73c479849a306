#include "motion/runways.h"

#include <cmath>

#include "foundation/geodesy.h"

std::vector<TableRunway> g_runwayTable;

namespace {

// The sphere of gf_distanceNm, in metres.
constexpr double kSphereRadiusM = earthDiameterNm * 0.5 * metresPerNm;

struct UnitVector {
    double x, y, z;
};

UnitVector lf_unitVector(LaLo p) {
    const double lat = p.lat * degreesToRadians;
    const double lon = p.lon * degreesToRadians;
    const double cosLat = std::cos(lat);
    return {cosLat * std::cos(lon), cosLat * std::sin(lon), std::sin(lat)};
}

}  // namespace

TableRunway::TableRunway(const FacilityRunway& runway)
    : FacilityRunway(runway),
      primaryName(gf_runwayName(runway.primaryNumber, runway.primaryDesignator)),
      secondaryName(gf_runwayName(runway.secondaryNumber, runway.secondaryDesignator)) {
    key.append(primaryName).append("-").append(secondaryName);
    if (gf_isValidLaLo(centre) && std::isfinite(lengthM) && lengthM > 0.0) {
        const UnitVector u = lf_unitVector(centre);
        centreX = u.x;
        centreY = u.y;
        centreZ = u.z;
        const double chord = 2.0 * std::sin(std::min((lengthM * 0.5 + 1500.0) / kSphereRadiusM * 0.5, pi * 0.5));
        nearChordSquared = chord * chord;
    }
}

namespace {

constexpr double kEarthRadiusM = 6371000.0;

bool lf_usableRunway(const FacilityRunway& r) {
    return gf_isValidLaLo(r.centre) && std::isfinite(r.headingDeg) && r.headingDeg >= 0.0 && r.headingDeg < 360.0 &&
           std::isfinite(r.lengthM) && r.lengthM > 0.0 && r.lengthM <= 10000.0 && std::isfinite(r.widthM) &&
           r.widthM > 0.0 && r.widthM <= 500.0;
}

// One runway in one direction, with just what ranking needs; the full match is
// built for the winner only.
struct Candidate {
    const TableRunway* runway = nullptr;
    bool primary = true;
    double directionRad = 0.0;
    double headingDiffDeg = 0.0;
    double fromThresholdM = 0.0;
    double score = 0.0;
};

Candidate lf_candidate(const TableRunway& runway, bool primary, double h, RunwayFrame frame, double headingRad) {
    Candidate c;
    c.runway = &runway;
    c.primary = primary;
    // h lies in [0, 2 pi) (a heading of 359.99... degrees may round to 2 pi,
    // which fmod turns into 0), so one fmod reduces both directions.
    c.directionRad = std::fmod(primary ? h : h + pi, fullCircle);
    double diff = c.directionRad - headingRad;
    if (diff > pi) diff -= fullCircle;
    if (diff < -pi) diff += fullCircle;
    c.headingDiffDeg = std::fabs(diff) * radiansToDegrees;
    const double halfLength = runway.lengthM * 0.5;
    c.fromThresholdM = primary ? frame.alongM + halfLength : halfLength - frame.alongM;
    c.score = std::fabs(frame.crossM) + c.headingDiffDeg;
    return c;
}

RunwayMatch lf_buildMatch(const Candidate& c, RunwayFrame frame) {
    const TableRunway& r = *c.runway;
    RunwayMatch m;
    m.key = r.key;
    m.endName = c.primary ? r.primaryName : r.secondaryName;
    m.headingDeg = c.directionRad * radiansToDegrees;
    if (m.headingDeg >= 360.0) m.headingDeg = 0.0;
    m.headingDiffDeg = c.headingDiffDeg;
    m.crossTrackM = frame.crossM;
    m.alongTrackM = frame.alongM;
    m.fromThresholdM = c.fromThresholdM;
    m.startWindowM = std::min(0.4 * r.lengthM, 1200.0);
    m.lengthM = r.lengthM;
    m.widthM = r.widthM;
    const auto& ownStart = c.primary ? r.primaryStart : r.secondaryStart;
    const auto& otherStart = c.primary ? r.secondaryStart : r.primaryStart;
    m.altitudeFt = gf_filterSpike(r.altitudeFt, gf_startAltitude(ownStart), gf_startAltitude(otherStart)).result;
    m.farEnd = c.primary ? r.end2 : r.end1;
    const FacilityThreshold& threshold = c.primary ? r.primaryThreshold : r.secondaryThreshold;
    double offset = 0.0;
    bool usable = true;
    if (threshold.enabled) {
        offset = threshold.lengthM;
        usable = std::isfinite(offset) && offset > 0.0 && offset <= 0.4 * r.lengthM;
    }
    if (usable) {
        m.pastThresholdM = c.fromThresholdM - offset;
        m.usableLengthM = r.lengthM - offset;
    }
    m.score = c.score;
    return m;
}

bool lf_ambiguous(const RunwayMatch& m, double margin) {
    return !m.runnerUp.empty() && m.runnerUpScore - m.score < margin;
}

}  // namespace

RunwayFrame gf_runwayFrame(LaLo position, const FacilityRunway& runway) noexcept {
    const double north = (position.lat - runway.centre.lat) * degreesToRadians * kEarthRadiusM;
    // The longitude difference is wrapped: a runway on the 180th meridian has
    // its two halves on either side of it.
    const double east = std::cos((position.lat + runway.centre.lat) * 0.5 * degreesToRadians) *
                        gf_wrapLongitudeDifference(position.lon - runway.centre.lon) * degreesToRadians *
                        kEarthRadiusM;
    const double h = runway.headingDeg * degreesToRadians;
    const double sinH = std::sin(h);
    const double cosH = std::cos(h);
    return RunwayFrame{sinH * east + cosH * north, cosH * east - sinH * north};
}

bool isNearRunway(LaLo position) {
    if (!gf_isValidLaLo(position)) return false;
    const UnitVector p = lf_unitVector(position);
    for (const TableRunway& r : g_runwayTable) {
        const double dx = p.x - r.centreX;
        const double dy = p.y - r.centreY;
        const double dz = p.z - r.centreZ;
        if (dx * dx + dy * dy + dz * dz <= r.nearChordSquared) return true;
    }
    return false;
}

std::optional<RunwayMatch> findRunwayMatch(LaLo position, double headingRad, bool startWindowOnly,
                                           double crossFloorM) {
    if (!gf_isValidLaLo(position) || !(headingRad >= 0.0 && headingRad < fullCircle)) return std::nullopt;

    // Only the best two candidates matter (the winner and its runner-up), so
    // they are kept as they come instead of collecting and sorting them all.
    Candidate best, second;
    RunwayFrame bestFrame;
    int found = 0;
    const auto offer = [&](const Candidate& c, RunwayFrame frame) {
        if (startWindowOnly) {
            const double window = std::min(0.4 * c.runway->lengthM, 1200.0);
            if (c.fromThresholdM < -700.0 || c.fromThresholdM > window) return;
        }
        if (found == 0 || c.score < best.score) {
            second = best;
            best = c;
            bestFrame = frame;
        } else if (found == 1 || c.score < second.score) {
            second = c;
        }
        ++found;
    };

    for (const TableRunway& r : g_runwayTable) {
        if (!lf_usableRunway(r)) continue;
        const RunwayFrame frame = gf_runwayFrame(position, r);
        if (std::fabs(frame.crossM) > std::max(r.widthM * 0.5 + 30.0, crossFloorM)) continue;
        if (std::fabs(frame.alongM) > r.lengthM * 0.5 + 700.0) continue;
        const double h = r.headingDeg * degreesToRadians;
        offer(lf_candidate(r, true, h, frame, headingRad), frame);
        offer(lf_candidate(r, false, h, frame, headingRad), frame);
    }
    if (found == 0) return std::nullopt;

    RunwayMatch match = lf_buildMatch(best, bestFrame);
    if (found >= 2) {
        match.runnerUp.append(second.runway->key)
            .append(":")
            .append(second.primary ? second.runway->primaryName : second.runway->secondaryName);
        match.runnerUpScore = second.score;
    }
    return match;
}

std::optional<RunwayMatch> findTakeoffRunway(LaLo position, double headingRad) {
    auto m = findRunwayMatch(position, headingRad, false, runwayCrossFloorM);
    if (!m) return std::nullopt;
    if (!(m->headingDiffDeg <= 20.0)) return std::nullopt;
    if (!(std::fabs(m->crossTrackM) <= 15.0)) return std::nullopt;
    if (!(std::isfinite(m->lengthM) && m->lengthM > 0.0)) return std::nullopt;
    if (!gf_isValidLaLo(m->farEnd)) return std::nullopt;
    if (!(m->fromThresholdM >= -700.0 && m->fromThresholdM <= m->lengthM)) return std::nullopt;
    if (lf_ambiguous(*m, 20.0)) return std::nullopt;
    return m;
}

std::optional<RunwayMatch> findLandingRunway(LaLo position, double headingRad) {
    auto m = findRunwayMatch(position, headingRad, false, runwayCrossFloorM);
    if (!m) return std::nullopt;
    if (!(m->headingDiffDeg <= 20.0)) return std::nullopt;
    if (!(std::fabs(m->crossTrackM) <= m->widthM * 0.5 + 30.0)) return std::nullopt;
    if (!m->pastThresholdM || !m->usableLengthM || !std::isfinite(*m->pastThresholdM)) return std::nullopt;
    if (!(std::isfinite(*m->usableLengthM) && *m->usableLengthM > 0.0)) return std::nullopt;
    if (lf_ambiguous(*m, 20.0)) return std::nullopt;
    return m;
}

std::optional<RunwayEndName> runwayNameAt(LaLo position, double headingRad) {
    const auto m = findRunwayMatch(position, headingRad, false, runwayCrossFloorM);
    if (!m || !(m->headingDiffDeg <= 20.0) || lf_ambiguous(*m, 10.0)) return std::nullopt;
    return m->endName;
}

std::optional<double> gf_startAltitude(const std::optional<FacilityStart>& start) {
    if (!start) return std::nullopt;
    return start->altitudeFt;
}

SpikeFilterResult gf_filterSpike(double value, std::optional<double> candidate, std::optional<double> other) {
    constexpr double threshold = 50.0;
    const bool haveCandidate = candidate && std::isfinite(*candidate);
    if (!std::isfinite(value)) return {haveCandidate ? *candidate : value, false};
    if (!haveCandidate) return {value, false};
    const double candidateDiff = *candidate - value;
    if (std::fabs(candidateDiff) <= threshold) return {*candidate, false};
    if (other && std::isfinite(*other)) {
        const double otherDiff = *other - value;
        // One end higher and the other lower than the centre: a real slope.
        if (std::fabs(otherDiff) > threshold && (candidateDiff > 0.0) != (otherDiff > 0.0)) return {*candidate, false};
    }
    return {value, true};
}
