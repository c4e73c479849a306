#include "motion/stand_drive.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>

#include "engine/engine_state.h"
#include "engine/geometry.h"
#include "foundation/geodesy.h"
#include "motion/motion_math.h"
#include "motion/pose_path.h"
#include "motion/tick_math.h"

namespace {

constexpr double kMetresPerDegree = 111320.0;
// The drive ends this far behind the stand on its axis, then goes straight on.
constexpr double kApproachM = 10.0;
// The path is driven in legs of at most this (m): short enough that each leg
// bends the nose by a few degrees only.
constexpr double kStepM = 4.0;
// A turn no tighter than 1.2 half wing spans, within these (m).
constexpr double kRadiusPerWingRadius = 1.2;
constexpr double kLeastRadiusM = 12.0;
constexpr double kMostRadiusM = 45.0;
// The radii tried for a path (from the aircraft's own down to the least,
// evenly, then on below it to a share of its own when that is tighter
// still) and the points behind the stand it may end at (m); another path
// than the one at the aircraft's own radius is driven only when it takes
// less than this share of its time (or any less, when that one is late and
// the other ends behind the stand).
constexpr double kQuickerShare = 0.5;
constexpr int kRadiusTries = 5;
// A regional jet's own radius lies only a few metres above the least, which
// left it no turn much tighter to try. Steered at walking pace an aircraft
// turns about a point near its main wheels, well inside half its own radius
// (0.6 half wing spans).
constexpr double kTightestShare = 0.5;
constexpr int kTighterTries = 2;
constexpr std::array<double, 3> kApproachTriesM{kApproachM, 0.5 * kApproachM, 0.0};
// The drive's speed (kt): a speed an aircraft leaves rest or comes to it
// with in a moment. A leg whose bend the nose does not turn through at that
// pace is driven slower (below).
constexpr double kDriveKt = 6.0;
constexpr double kTicksPerSecond = 100.0;
constexpr double kStandLegSpeedFactor = 0.8;
constexpr std::int32_t kLeastStandLegTicks = 100;
constexpr std::int32_t kStopAfterTicks = 50;
constexpr std::int32_t kDriveRetimeLimit = 2700;
constexpr double kStartTurnDeg = 3.0;
// Legs shorter than this (m) tell no direction.
constexpr double kLeastLegM = 0.5;
// A path whose end misses its goal by more than this (m, radians) is a word
// that does not fit.
constexpr double kEndMissM = 0.5;
constexpr double kEndMissRad = 0.01;

LaLo lf_position(const StreamPoint& p) { return {p.lat, p.lon}; }
LaLo lf_pose(const LiveAc& ac) { return {ac.pose.latitude, ac.pose.longitude}; }

double lf_mod2pi(double a) {
    const double m = std::fmod(a, fullCircle);
    return m < 0.0 ? m + fullCircle : m;
}

double lf_offDeg(double a, double b) { return std::fabs(std::remainder(a - b, fullCircle)) * radiansToDegrees; }

// A flat frame around an origin: x east, y north (m); angles counterclockwise
// from east.
struct Frame {
    LaLo origin{};
    double cosLat = 1.0;
    std::array<double, 2> toXY(LaLo p) const {
        return {gf_wrapLongitudeDifference(p.lon - origin.lon) * cosLat * kMetresPerDegree,
                (p.lat - origin.lat) * kMetresPerDegree};
    }
    LaLo toLaLo(double x, double y) const {
        LaLo p{origin.lat + y / kMetresPerDegree, origin.lon + x / (cosLat * kMetresPerDegree)};
        gf_normalizeLaLo(p);
        return p;
    }
};

struct State {
    double x = 0.0;
    double y = 0.0;
    double theta = 0.0;
};

// One of the six words of three segments: 'L' a left turn, 'R' a right
// turn, 'S' straight on; lengths in turning radii (arcs in radians).
struct Word {
    std::array<char, 3> kinds{};
    std::array<double, 3> lengths{};
    bool valid = false;
    double total() const { return lengths[0] + lengths[1] + lengths[2]; }
};

// Moves the state by `length` radii of a segment of the kind.
State lf_advance(State s, char kind, double length, double radius) {
    if (kind == 'S') {
        s.x += length * radius * std::cos(s.theta);
        s.y += length * radius * std::sin(s.theta);
        return s;
    }
    const double side = kind == 'L' ? 1.0 : -1.0;
    const double cx = s.x - side * radius * std::sin(s.theta);
    const double cy = s.y + side * radius * std::cos(s.theta);
    s.theta += side * length;
    s.x = cx + side * radius * std::sin(s.theta);
    s.y = cy - side * radius * std::cos(s.theta);
    return s;
}

// The six words from the start and goal in radii: distance d, the start and
// goal angles a and b relative to the line between them.
std::array<Word, 6> lf_words(double d, double a, double b) {
    const double sa = std::sin(a), sb = std::sin(b), ca = std::cos(a), cb = std::cos(b);
    const double cab = std::cos(a - b);
    std::array<Word, 6> w{};
    {  // LSL
        const double p2 = 2.0 + d * d - 2.0 * cab + 2.0 * d * (sa - sb);
        if (p2 >= 0.0) {
            const double tmp = std::atan2(cb - ca, d + sa - sb);
            w[0] = {{'L', 'S', 'L'}, {lf_mod2pi(-a + tmp), std::sqrt(p2), lf_mod2pi(b - tmp)}, true};
        }
    }
    {  // RSR
        const double p2 = 2.0 + d * d - 2.0 * cab + 2.0 * d * (sb - sa);
        if (p2 >= 0.0) {
            const double tmp = std::atan2(ca - cb, d - sa + sb);
            w[1] = {{'R', 'S', 'R'}, {lf_mod2pi(a - tmp), std::sqrt(p2), lf_mod2pi(-b + tmp)}, true};
        }
    }
    {  // LSR
        const double p2 = -2.0 + d * d + 2.0 * cab + 2.0 * d * (sa + sb);
        if (p2 >= 0.0) {
            const double p = std::sqrt(p2);
            const double tmp = std::atan2(-ca - cb, d + sa + sb) - std::atan2(-2.0, p);
            w[2] = {{'L', 'S', 'R'}, {lf_mod2pi(-a + tmp), p, lf_mod2pi(-b + tmp)}, true};
        }
    }
    {  // RSL
        const double p2 = -2.0 + d * d + 2.0 * cab - 2.0 * d * (sa + sb);
        if (p2 >= 0.0) {
            const double p = std::sqrt(p2);
            const double tmp = std::atan2(ca + cb, d - sa - sb) - std::atan2(2.0, p);
            w[3] = {{'R', 'S', 'L'}, {lf_mod2pi(a - tmp), p, lf_mod2pi(b - tmp)}, true};
        }
    }
    {  // RLR
        const double c = (6.0 - d * d + 2.0 * cab + 2.0 * d * (sa - sb)) / 8.0;
        if (std::fabs(c) <= 1.0) {
            const double p = lf_mod2pi(fullCircle - std::acos(c));
            const double t = lf_mod2pi(a - std::atan2(ca - cb, d - sa + sb) + p / 2.0);
            w[4] = {{'R', 'L', 'R'}, {t, p, lf_mod2pi(a - b - t + p)}, true};
        }
    }
    {  // LRL
        const double c = (6.0 - d * d + 2.0 * cab + 2.0 * d * (sb - sa)) / 8.0;
        if (std::fabs(c) <= 1.0) {
            const double p = lf_mod2pi(fullCircle - std::acos(c));
            const double t = lf_mod2pi(-a + std::atan2(-ca + cb, d + sa - sb) + p / 2.0);
            w[5] = {{'L', 'R', 'L'}, {t, p, lf_mod2pi(b - a - t + p)}, true};
        }
    }
    return w;
}

bool lf_reaches(State start, const Word& word, State goal, double radius) {
    State s = start;
    for (int i = 0; i < 3; ++i) s = lf_advance(s, word.kinds[i], word.lengths[i], radius);
    return std::hypot(s.x - goal.x, s.y - goal.y) <= kEndMissM &&
           std::fabs(std::remainder(s.theta - goal.theta, fullCircle)) <= kEndMissRad;
}

double lf_compassToMath(double heading) { return pi / 2.0 - heading; }

double lf_pathMetres(LaLo from, const std::vector<LaLo>& path) {
    double metres = 0.0;
    for (const LaLo& p : path) {
        metres += gf_distanceNm(from, p) * metresPerNm;
        from = p;
    }
    return metres;
}

StreamPoint lf_drivePoint(LaLo at, const LiveAc& ac, double trackRad, double speedKt, std::int32_t playTick) {
    StreamPoint p;
    p.lat = at.lat;
    p.lon = at.lon;
    p.altitudeFt = ac.pose.altitude;
    p.groundSpeedKt = speedKt;
    p.tasKt = speedKt;
    p.trackDeg = normalizeHeading(trackRad) * radiansToDegrees;
    p.playTick = playTick;
    return p;
}

}  // namespace

std::vector<LaLo> gf_turningPath(PathPose from, PathPose to, double radiusM, double stepM) {
    if (!(radiusM > 0.0) || !(stepM > 0.0) || !std::isfinite(radiusM) || !std::isfinite(stepM) ||
        !gf_isValidLaLo(from.position) || !gf_isValidLaLo(to.position) || !std::isfinite(from.headingRad) ||
        !std::isfinite(to.headingRad))
        return {};
    const Frame frame{from.position, std::cos(from.position.lat * degreesToRadians)};
    const auto end = frame.toXY(to.position);
    const State start{0.0, 0.0, lf_compassToMath(from.headingRad)};
    const State goal{end[0], end[1], lf_compassToMath(to.headingRad)};
    const double phi = std::atan2(goal.y, goal.x);
    const double d = std::hypot(goal.x, goal.y) / radiusM;
    const auto words = lf_words(d, lf_mod2pi(start.theta - phi), lf_mod2pi(goal.theta - phi));
    const Word* best = nullptr;
    for (const Word& w : words)
        if (w.valid && lf_reaches(start, w, goal, radiusM) && (best == nullptr || w.total() < best->total())) best = &w;
    if (best == nullptr) return {};

    // Even steps along the whole path, not along each segment: a segment of
    // a few centimetres (a straight path's turns are rounding noise, a goal
    // a little off the line ends in a sliver of a bend) made a leg of its
    // own, and a leg that short is played at a crawl, a stop in the middle
    // of the drive.
    std::vector<LaLo> out;
    const double total = best->total();
    const int steps = static_cast<int>(std::ceil(total * radiusM / stepM - 1e-9));
    State segmentStart = start;
    double beforeSegment = 0.0;  // radii
    int segment = 0;
    for (int k = 1; k <= steps; ++k) {
        const double along = total * k / steps;
        while (segment < 2 && beforeSegment + best->lengths[segment] < along) {
            segmentStart = lf_advance(segmentStart, best->kinds[segment], best->lengths[segment], radiusM);
            beforeSegment += best->lengths[segment];
            ++segment;
        }
        const State s = lf_advance(segmentStart, best->kinds[segment], along - beforeSegment, radiusM);
        out.push_back(frame.toLaLo(s.x, s.y));
    }
    if (out.empty())
        out.push_back(to.position);
    else
        out.back() = to.position;
    return out;
}

bool gf_legsKeepNoseWithTravel(const LiveAc& ac, double mostDeg) {
    LaLo from = lf_pose(ac);
    std::optional<double> before;
    for (std::size_t i = 1; i < ac.stream.size(); ++i) {
        const StreamPoint& p = ac.stream[i];
        if (p.stationary != 0 || gf_distanceNm(from, lf_position(p)) * metresPerNm < kLeastLegM) continue;
        const double bearing = gf_bearing(from, lf_position(p));
        if (before) {
            if (lf_offDeg(bearing, *before) > mostDeg) return false;
        } else if (lf_offDeg(bearing, ac.pose.heading) > mostDeg ||
                   lf_offDeg(bearing, ac.motion.legBearing) > mostDeg) {
            return false;
        }
        before = bearing;
        from = lf_position(p);
    }
    return true;
}

void gf_driveOntoStandNoseFirst(LiveAc& ac, LaLo standPos, double standHeadingRad, std::optional<DriveDue> due) {
    auto& s = ac.stream;
    if (s.empty()) return;
    s.resize(1);
    MotionState& m = ac.motion;
    const double standKt = kStandLegSpeedFactor * ac.taxiSpeedRef;
    const double widestKt = std::max(kDriveKt, standKt);
    const double widest =
        std::clamp(ac.wingRadiusNm * metresPerNm * kRadiusPerWingRadius, kLeastRadiusM, kMostRadiusM);
    const PathPose start{lf_pose(ac), ac.pose.heading};
    const auto approachAt = [&](double metres) {
        return gf_destinationPoint(standPos, {normalizeHeading(standHeadingRad + pi), metres * feetPerMetre});
    };

    // The time a path takes to the stand: at the speed its radius allows,
    // then the stand leg from its end.
    const auto seconds = [&](const std::vector<LaLo>& path, double kt, double approachM) {
        return lf_pathMetres(start.position, path) / (kt / kMpsToKnots) +
               (approachM > 0.0 ? approachM / (standKt / kMpsToKnots) : 0.0);
    };
    // Each leg no faster than the nose turns through its bend from the leg
    // before: a small wing's turn is tighter than a regional jet's nose
    // follows at the drive's pace (11 degrees a second on a 15.6 m turn,
    // where it turns 8), and a loop round the stand was slid on with the nose
    // half a right angle behind its travel. Straight on it keeps the pace.
    const double noseRadPerS = kGroundTurnCap * ac.turnRateRad * kTicksPerSecond;
    const auto legKtAt = [&](double kt, LaLo a, LaLo b, double bearingBefore) {
        const double bend = std::fabs(std::remainder(gf_bearing(a, b) - bearingBefore, fullCircle));
        const double noseKt = gf_distanceNm(a, b) * metresPerNm / bend * noseRadPerS * kMpsToKnots;
        return std::isfinite(noseKt) && noseKt > 0.0 ? std::min(kt, noseKt) : kt;
    };
    // The ticks a path takes to its end driven at `kt`, each leg no faster
    // than its bend lets the nose follow.
    const auto ticksAlong = [&](const std::vector<LaLo>& legs, double kt) {
        std::int64_t ticks = 0;
        LaLo a = lf_pose(ac);
        double before = ac.pose.heading;
        for (const LaLo& b : legs) {
            ticks += gf_legTicks(gf_distanceNm(a, b), legKtAt(kt, a, b, before), kMinLegTicks);
            before = gf_bearing(a, b);
            a = b;
        }
        return ticks;
    };
    const std::int32_t startTick = s.front().playTick;
    std::vector<LaLo> path = gf_turningPath(start, {approachAt(kApproachM), standHeadingRad}, widest, kStepM);
    double driveKt = widestKt;
    bool endsOnStand = false;
    // Behind its reports so far that even the most it may catch up at has it
    // on the stand after they rest there along its own radius (the loop
    // round that the nose follows only slowly), the quickest way that still
    // ends behind the stand on its axis is taken: a tow its dead reckoning
    // had carried 40 m past its lane and askew looped 170 m round at its own
    // radius and came 30 s late, where a tighter turn the short way takes two
    // thirds of the time. One that ends on the stand itself comes onto it
    // along the chord of its last bend, the nose off the stand's heading.
    const bool lateAtOwnRadius =
        due && std::isfinite(due->mostKt) && !path.empty() &&
        ticksAlong(path, std::max(widestKt, due->mostKt)) +
                gf_legTicks(kApproachM / metresPerNm, standKt, kLeastStandLegTicks) >
            gf_ticksBetween(startTick, due->restTick);
    // A point behind the stand too near to bend onto at the aircraft's own
    // radius is reached at that radius only by looping right round (a tow
    // its reports had 17 m behind its stand but whose dead reckoning left it
    // a third of a right angle askew drove a 150 m circle). A tighter turn,
    // driven slower so that the nose turns no faster, or one ending nearer
    // the stand goes the short way: the quickest of those is driven when it
    // takes less than half the time (a U-turn round the stand it has to make
    // keeps its own radius and pace).
    const double ownSeconds = seconds(path, widestKt, kApproachM);
    double bestSeconds = std::numeric_limits<double>::infinity();
    const double tightest = kTightestShare * widest;
    const int radiusTries = kRadiusTries + (tightest < kLeastRadiusM ? kTighterTries : 0);
    for (const double approachM : kApproachTriesM) {
        const LaLo at = approachAt(approachM);
        const double share = lateAtOwnRadius && approachM > 0.0 ? 1.0 : kQuickerShare;
        for (int k = 0; k < radiusTries; ++k) {
            const double radius =
                k < kRadiusTries
                    ? std::lerp(widest, kLeastRadiusM, static_cast<double>(k) / (kRadiusTries - 1))
                    : std::lerp(kLeastRadiusM, tightest, static_cast<double>(k - kRadiusTries + 1) / kTighterTries);
            std::vector<LaLo> tried = gf_turningPath(start, {at, standHeadingRad}, radius, kStepM);
            if (tried.empty()) continue;
            const double kt = widestKt * radius / widest;
            const double took = seconds(tried, kt, approachM);
            if (took < share * ownSeconds && took < bestSeconds) {
                bestSeconds = took;
                path = std::move(tried);
                driveKt = kt;
                endsOnStand = !(approachM > 0.0);
            }
        }
    }
    // A path that ends on the stand leaves its last bit to the stand leg,
    // slowed to rest there.
    if (endsOnStand && !path.empty()) path.pop_back();
    const LaLo lastOnPath = path.empty() ? lf_pose(ac) : path.back();
    const std::int64_t standLegTicks = gf_legTicks(gf_distanceNm(lastOnPath, standPos), standKt, kLeastStandLegTicks);
    // The ticks from the start to the stand with the path driven at `kt`.
    const auto ticksToStand = [&](double kt) { return standLegTicks + ticksAlong(path, kt); };
    // Begun behind its reports (a tow dead-reckoned past its lane corner), a
    // drive at its own pace comes onto the stand long after they rest there:
    // it goes the pace that is on the stand by then, up to the most it may
    // catch up at. Bends keep their nose-limited pace, so the turn is the
    // same; the stand leg brakes to rest as planned.
    if (due && std::isfinite(due->mostKt) && due->mostKt > driveKt && !path.empty()) {
        const std::int64_t wanted = gf_ticksBetween(startTick, due->restTick);
        if (ticksToStand(driveKt) > wanted) {
            double low = driveKt;
            double high = due->mostKt;
            if (ticksToStand(high) <= wanted) {
                for (int k = 0; k < 30; ++k) {
                    const double mid = 0.5 * (low + high);
                    (ticksToStand(mid) <= wanted ? high : low) = mid;
                }
            }
            driveKt = high;
        }
    }
    LaLo from = lf_pose(ac);
    double bearingBefore = ac.pose.heading;
    std::int32_t tick = startTick;
    for (const LaLo& at : path) {
        const double legNm = gf_distanceNm(from, at);
        const double bearing = gf_bearing(from, at);
        const double legKt = legKtAt(driveKt, from, at, bearingBefore);
        tick = gf_tickPlus(tick, gf_legTicks(legNm, legKt, kMinLegTicks));
        s.push_back(lf_drivePoint(at, ac, bearing, legKt, tick));
        from = at;
        bearingBefore = bearing;
    }
    StreamPoint stand = lf_drivePoint(standPos, ac, standHeadingRad, 0.0, 0);
    stand.playTick = gf_tickPlus(tick, standLegTicks);
    stand.roll = ac.pose.bank;
    stand.hasRoll = 1;
    stand.trueHeading = standHeadingRad;
    stand.hasTrueHeading = 1;
    s.push_back(stand);
    StreamPoint stop = stand;
    stop.stationary = 1;
    stop.playTick = gf_tickPlus(stand.playTick, kStopAfterTicks);
    s.push_back(stop);

    m.legBearing = gf_bearing(lf_pose(ac), lf_position(s[1]));
    m.startTurnAngleDeg = lf_offDeg(m.legBearing, ac.pose.heading);
    m.startTurn = m.startTurnAngleDeg > kStartTurnDeg ? 1 : 0;
    m.advanceLimit = std::max(m.advanceLimit, kDriveRetimeLimit);
    m.delayLimit = std::max(m.delayLimit, kDriveRetimeLimit);
}
