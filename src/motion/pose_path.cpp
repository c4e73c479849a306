// Minimal bodies until the pose along the path is built: the aircraft moves in
// a straight line toward the front point, covering an equal share of what is
// left on every tick so that it stands on the point the tick before it is
// due; it heads for the point, pitches for its vertical speed in the air and
// flies wings level. The issue that builds the pose along the path replaces
// this file.

#include "motion/pose_path.h"

#include <algorithm>
#include <cmath>

#include "engine/engine_state.h"
#include "engine/geometry.h"
#include "foundation/geodesy.h"
#include "motion/motion_math.h"

namespace {

// Closer than this (NM) the aircraft keeps its heading instead of turning to
// a bearing that rounding makes arbitrary.
constexpr double kHeadingMinDistanceNm = 0.5 / metresPerNm;

}  // namespace

void gf_interpolatePoseOnCurve(LiveAc& ac) {
    if (ac.stream.empty()) return;
    const StreamPoint& target = ac.stream.front();
    const std::int64_t remaining = std::int64_t{target.playTick} - tickCount.load();
    const double share = remaining <= 1 ? 1.0 : 1.0 / static_cast<double>(remaining);
    const LaLo from{ac.pose.latitude, ac.pose.longitude};
    const LaLo to{target.lat, target.lon};
    if (gf_distanceNm(from, to) > kHeadingMinDistanceNm) ac.pose.heading = gf_bearing(from, to);
    LaLo moved{from.lat + (to.lat - from.lat) * share,
               from.lon + gf_wrapLongitudeDifference(to.lon - from.lon) * share};
    gf_normalizeLaLo(moved);
    ac.pose.latitude = moved.lat;
    ac.pose.longitude = moved.lon;
    ac.pose.altitude += (target.altitudeFt - ac.pose.altitude) * share;
    ac.pose.pitch = target.airborne != 0 ? gf_pitchForVerticalSpeed(target, ac.phase) : 0.0;
    ac.pose.bank = 0.0;
}

void gf_stepHeadingToward(LiveAc& ac, double targetHeading, bool /*smoothing*/) {
    if (!std::isfinite(targetHeading)) return;
    const double difference = std::remainder(targetHeading - ac.pose.heading, fullCircle);
    const double limit = std::fabs(ac.turnRateLimit);
    ac.pose.heading = normalizeHeading(ac.pose.heading + std::clamp(difference, -limit, limit));
}
