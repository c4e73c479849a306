#include "tools/sample_feed/sample_track.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>

namespace tavo::sample {

namespace {

// Spacing of the points a leg is cut into.
constexpr double kGroundStepM = 3.0;
constexpr double kAirStepM = 40.0;

struct PathPoint {
    Vec at;
    double curvature = 0.0;
    double aglFt = 0.0;
    std::size_t leg = 0;
    double dwell = 0.0;
    bool stop = false;  // the speed must come down to nothing here
};

// Cuts one leg into points, with arcs at its corners, and fills in its
// altitudes. A leg that goes on from the last one shares its first point
// with it (that point stays the last leg's).
void lf_cutLeg(const Leg& leg, std::size_t legIndex, bool continuing, std::vector<PathPoint>& out) {
    const double step = leg.ground ? kGroundStepM : kAirStepM;
    const std::vector<Vec>& c = leg.corners;
    std::vector<std::size_t> anchorIndex(c.size(), 0);  // point at each corner (the middle of its arc)
    auto push = [&](Vec p, double curvature) { out.push_back({p, curvature, 0.0, legIndex, 0.0, false}); };
    auto straight = [&](Vec from, Vec to) {  // excludes `from`, includes `to`
        const double len = distance(from, to);
        if (len < 1e-6) return;
        const int n = std::max(1, static_cast<int>(std::ceil(len / step)));
        for (int i = 1; i <= n; ++i) push(from + (to - from) * (static_cast<double>(i) / n), 0.0);
    };
    if (!continuing) push(c[0], 0.0);
    const std::size_t first = out.size() - 1;
    if (continuing && c.size() == 1) {
        // A stop where the last leg ended (a helicopter settling on its pad):
        // the point becomes this leg's.
        out.back().leg = legIndex;
        out.back().dwell = leg.dwellAtEndS;
        out.back().stop = true;
        return;
    }
    anchorIndex[0] = first;
    Vec from = c[0];
    for (std::size_t i = 1; i + 1 < c.size(); ++i) {
        const Vec in = c[i] - c[i - 1], outDir = c[i + 1] - c[i];
        const double turn = turnBetween(headingOf(in), headingOf(outDir));
        const double half = radians(std::abs(turn)) / 2;
        // A corner may take at most a little under half of each side.
        const double tangent = std::min({leg.radiusM * std::tan(half), 0.45 * length(in), 0.45 * length(outDir)});
        if (std::abs(turn) < 0.5 || tangent < 0.01) {
            straight(from, c[i]);
            from = c[i];
            anchorIndex[i] = out.size() - 1;
            continue;
        }
        const double radius = tangent / std::tan(half);
        const Vec a = c[i] - unitVector(headingOf(in)) * tangent;
        const Vec b = c[i] + unitVector(headingOf(outDir)) * tangent;
        straight(from, a);
        const double side = turn > 0 ? 1.0 : -1.0;  // a right turn has its centre on the right
        const Vec centre = a + unitVector(headingOf(in) + 90 * side) * radius;
        const double startAngle = headingOf(a - centre);
        const double arc = radius * radians(std::abs(turn));
        const int n = std::max(2, static_cast<int>(std::ceil(arc / step)));
        for (int k = 1; k <= n; ++k) {
            const double f = static_cast<double>(k) / n;
            push(k == n ? b : centre + unitVector(startAngle + turn * f) * radius, k == n ? 0.0 : side / radius);
            if (k == (n + 1) / 2) anchorIndex[i] = out.size() - 1;
        }
        from = b;
    }
    if (c.size() > 1) {
        straight(from, c.back());
        anchorIndex.back() = out.size() - 1;
    }
    // Air legs: altitudes between the corners that give one, by distance.
    if (!leg.ground) {
        std::vector<double> along(out.size() - first, 0.0);
        for (std::size_t i = first + 1; i < out.size(); ++i)
            along[i - first] = along[i - first - 1] + distance(out[i - 1].at, out[i].at);
        std::vector<std::pair<double, double>> anchors;  // distance, altitude
        for (std::size_t i = 0; i < c.size() && i < leg.aglFt.size(); ++i)
            if (leg.aglFt[i]) anchors.push_back({along[anchorIndex[i] - first], *leg.aglFt[i]});
        if (anchors.empty()) throw std::invalid_argument("an air leg without altitudes");
        for (std::size_t i = first + (continuing ? 1 : 0); i < out.size(); ++i) {
            const double s = along[i - first];
            double h = s <= anchors.front().first ? anchors.front().second : anchors.back().second;
            for (std::size_t k = 1; k < anchors.size(); ++k) {
                if (s >= anchors[k - 1].first && s <= anchors[k].first) {
                    const double span = anchors[k].first - anchors[k - 1].first;
                    const double f = span > 0 ? (s - anchors[k - 1].first) / span : 1.0;
                    h = anchors[k - 1].second + (anchors[k].second - anchors[k - 1].second) * f;
                    break;
                }
            }
            out[i].aglFt = std::max(0.0, h);
        }
    }
    out.back().dwell = leg.dwellAtEndS;
    out.back().stop = leg.dwellAtEndS > 0;
}

}  // namespace

const char* gf_phaseName(Phase phase) {
    static constexpr std::array<const char*, 12> kNames{
        "approach", "go-around", "landing", "taxi", "at stand", "pushback",
        "holding",  "line-up",   "takeoff", "climb", "cruise", "parked",
    };
    return kNames.at(static_cast<std::size_t>(phase));
}

std::vector<TrackSample> gf_buildTrack(const std::vector<Leg>& legs, double startSpeed, double endSpeed,
                                       double startHeadingDeg) {
    std::vector<PathPoint> points;
    for (std::size_t l = 0; l < legs.size(); ++l) {
        const Leg& leg = legs[l];
        if (leg.corners.empty()) throw std::invalid_argument("a leg without corners");
        const bool continuing = !points.empty();
        if (continuing) {
            if (distance(points.back().at, leg.corners.front()) > 0.5)
                throw std::invalid_argument("a leg that does not start where the last one ended");
            // Turning from going forward to going backward, or back, needs a stop.
            if (legs[points.back().leg].reverse != leg.reverse) points.back().stop = true;
        }
        lf_cutLeg(leg, l, continuing, points);
    }
    const std::size_t n = points.size();

    // Speeds: limits, then what the accelerations allow forward and backward.
    std::vector<double> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        const Leg& leg = legs[points[i].leg];
        double limit = leg.maxSpeed;
        if (leg.lateralAccel > 0 && points[i].curvature != 0)
            limit = std::min(limit, std::sqrt(leg.lateralAccel / std::abs(points[i].curvature)));
        if (leg.maxTurnRateDegPerS > 0 && points[i].curvature != 0)
            limit = std::min(limit, radians(leg.maxTurnRateDegPerS) / std::abs(points[i].curvature));
        v[i] = points[i].stop ? 0.0 : limit;
    }
    // The point where one leg hands over to the next takes the lower limit of
    // the two (a stop needs no limit: its speed is nothing anyway).
    for (std::size_t i = 0; i + 1 < n; ++i) {
        if (points[i + 1].leg != points[i].leg && !points[i].stop && !points[i + 1].stop)
            v[i] = std::min(v[i], legs[points[i + 1].leg].maxSpeed);
    }
    v[0] = std::min(v[0], startSpeed);
    v[n - 1] = std::min(v[n - 1], endSpeed);
    std::vector<double> ds(n, 0.0);
    for (std::size_t i = 1; i < n; ++i) ds[i] = distance(points[i - 1].at, points[i].at);
    for (std::size_t i = 1; i < n; ++i)
        v[i] = std::min(v[i], std::sqrt(v[i - 1] * v[i - 1] + 2 * legs[points[i].leg].accel * ds[i]));
    for (std::size_t i = n - 1; i > 0; --i)
        v[i - 1] = std::min(v[i - 1], std::sqrt(v[i] * v[i] + 2 * legs[points[i].leg].decel * ds[i]));

    // Times, headings and the samples.
    std::vector<TrackSample> track;
    track.reserve(n + 8);
    double t = 0.0;
    double lastTrack = normalHeading(startHeadingDeg);
    double lastHeading = lastTrack;
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0) {
            const double mean = (v[i - 1] + v[i]) / 2;
            if (ds[i] > 0) t += mean > 1e-6 ? ds[i] / mean : 0.0;
        }
        const Leg& leg = legs[points[i].leg];
        Vec dir = (i + 1 < n) ? points[i + 1].at - points[i].at : points[i].at - points[i - (i > 0 ? 1 : 0)].at;
        // The direction of the leg this point leads into.
        const bool nextReverse = (i + 1 < n) ? legs[points[i + 1].leg].reverse : leg.reverse;
        double trackDeg = length(dir) > 1e-6 ? headingOf(dir) : lastTrack;
        double headingDeg = nextReverse ? normalHeading(trackDeg + 180) : trackDeg;
        if (points[i].stop || (i + 1 == n)) {
            // Standing still: the nose stays where it pointed on arrival.
            if (i > 0) {
                headingDeg = lastHeading;
                trackDeg = lastTrack;
            }
        }
        TrackSample s;
        s.t = t;
        s.at = points[i].at;
        s.aglFt = leg.ground ? 0.0 : points[i].aglFt;
        s.ground = leg.ground;
        s.speed = v[i];
        s.trackDeg = trackDeg;
        s.headingDeg = headingDeg;
        s.curvature = leg.ground ? 0.0 : points[i].curvature;
        s.phase = leg.phase;
        track.push_back(s);
        lastTrack = trackDeg;
        lastHeading = headingDeg;
        if (points[i].dwell > 0) {
            t += points[i].dwell;
            s.t = t;
            // Leaving a stop, the track is the way it moves off (tail first
            // from a stand); the nose stays where it was.
            if (i + 1 < n) {
                const Vec next = points[i + 1].at - points[i].at;
                if (length(next) > 1e-6) lastTrack = s.trackDeg = headingOf(next);
            }
            track.push_back(s);
        }
    }
    return track;
}

TrackSample gf_trackAt(const std::vector<TrackSample>& track, double t) {
    if (track.empty()) throw std::invalid_argument("an empty track");
    if (t <= track.front().t) return track.front();
    if (t >= track.back().t) return track.back();
    const auto after = std::upper_bound(track.begin(), track.end(), t,
                                        [](double value, const TrackSample& s) { return value < s.t; });
    const TrackSample& b = *after;
    const TrackSample& a = *(after - 1);
    // Between two points the speed changes evenly in time, as it did when the
    // times were worked out, so where the aircraft is and how fast it goes agree.
    const double span = b.t - a.t;
    const double tau = t - a.t;
    const double d = distance(a.at, b.at);
    double f = span > 0 ? tau / span : 0.0;
    double speed = a.speed + (b.speed - a.speed) * f;
    if (d > 1e-9 && a.speed + b.speed > 1e-9) {
        const double accel = (b.speed * b.speed - a.speed * a.speed) / (2 * d);
        speed = std::max(0.0, a.speed + accel * tau);
        f = std::clamp((a.speed * tau + accel * tau * tau / 2) / d, 0.0, 1.0);
    }
    // The stretch belongs to the leg it leads into.
    TrackSample s = b;
    s.t = t;
    s.at = a.at + (b.at - a.at) * f;
    s.aglFt = a.aglFt + (b.aglFt - a.aglFt) * f;
    s.speed = speed;
    s.trackDeg = normalHeading(a.trackDeg + turnBetween(a.trackDeg, b.trackDeg) * f);
    s.headingDeg = normalHeading(a.headingDeg + turnBetween(a.headingDeg, b.headingDeg) * f);
    s.curvature = f < 0.5 ? a.curvature : b.curvature;
    return s;
}

}  // namespace tavo::sample
