#include "tools/sample_feed/sample_airfield.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <queue>
#include <stdexcept>
#include <tuple>

namespace tavo::sample {

namespace {

constexpr double kMaxTurnDeg = 120.0;
// A corner costs this much more than its length: of two routes the one with
// fewer corners wins unless it is much longer.
constexpr double kCornerCostM = 30.0;
// Crossing a runway is done only when there is no other way, or to save a lot.
constexpr double kCrossingCostM = 400.0;
// How far the lanes reach past the outermost stand they serve.
constexpr double kLaneEndM = 100.0;

bool lf_isGate(int type) { return type >= 8 && type <= 11; }
bool lf_isCargo(int type) { return type >= 5 && type <= 7; }

double lf_turn(Vec from, Vec to) { return std::abs(turnBetween(headingOf(from), headingOf(to))); }

// Where the line p + t*d meets the line q + u*e (t returned); none when parallel.
std::optional<double> lf_meet(Vec p, Vec d, Vec q, Vec e) {
    const double det = d.e * (-e.n) - d.n * (-e.e);
    if (std::abs(det) < 1e-9) return std::nullopt;
    const Vec r = q - p;
    return (r.e * (-e.n) - r.n * (-e.e)) / det;
}

// The distance behind its stand at which a row's lane runs: clear of the
// tails of the largest aircraft the row takes.
double lf_laneOffset(double largestRadiusM) { return std::clamp(2.5 * largestRadiusM + 5.0, 40.0, 95.0); }

Route lf_mergeStraight(const Route& points) {
    Route out;
    for (const Vec p : points) {
        if (!out.empty() && distance(out.back(), p) < 0.5) continue;
        if (out.size() >= 2 && lf_turn(out.back() - out[out.size() - 2], p - out.back()) < 1.0) out.back() = p;
        else out.push_back(p);
    }
    return out;
}

}  // namespace

struct SampleAirfield::Graph {
    std::vector<Vec> at;
    std::vector<std::vector<std::pair<int, double>>> next;  // neighbour, cost

    // Joins two nodes; oneWay > 0 allows a to b only, < 0 b to a only.
    void link(int a, int b, double extra, int oneWay = 0) {
        const double cost = distance(at[a], at[b]) + extra;
        if (oneWay >= 0) next[a].push_back({b, cost});
        if (oneWay <= 0) next[b].push_back({a, cost});
    }

    // The cheapest way from start (entered heading along startDir) to goal,
    // leaving it along goalDir; no turn above the limit on the way.
    std::vector<int> search(int start, Vec startDir, int goal, Vec goalDir) const {
        using State = std::pair<int, int>;  // node, node it was entered from (-1: the start)
        std::map<State, double> best;
        std::map<State, State> cameFrom;
        using Item = std::tuple<double, int, int>;
        std::priority_queue<Item, std::vector<Item>, std::greater<>> open;
        best[{start, -1}] = 0.0;
        open.emplace(0.0, start, -1);
        auto heading = [&](int node, int prev) { return prev < 0 ? startDir : at[node] - at[prev]; };
        while (!open.empty()) {
            const auto [cost, node, prev] = open.top();
            open.pop();
            if (cost > best[{node, prev}]) continue;
            const Vec in = heading(node, prev);
            if (node == goal && lf_turn(in, goalDir) <= kMaxTurnDeg) {
                std::vector<int> path{node};
                State s{node, prev};
                while (s.second >= 0) {
                    s = cameFrom.at(s);
                    path.push_back(s.first);
                }
                std::reverse(path.begin(), path.end());
                return path;
            }
            for (const auto& [to, edgeCost] : next[node]) {
                const double turn = lf_turn(in, at[to] - at[node]);
                if (turn > kMaxTurnDeg) continue;
                const double c = cost + edgeCost + (turn > 1.0 ? kCornerCostM : 0.0);
                const State s{to, node};
                const auto found = best.find(s);
                if (found != best.end() && found->second <= c) continue;
                best[s] = c;
                cameFrom[s] = {node, prev};
                open.emplace(c, to, node);
            }
        }
        return {};
    }
};

SampleAirfield::SampleAirfield(const SampleWorld& world) : world_(&world) {
    if (world.stands.empty()) throw std::runtime_error("the sample airport " + world.icao + " has no stands");
    Vec centroid;
    for (const SampleStand& s : world.stands) centroid = centroid + s.at;
    centroid = centroid * (1.0 / static_cast<double>(world.stands.size()));

    // The near runway is the one closest to the stands; all must be parallel.
    double nearest = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < world.runways.size(); ++i) {
        const SampleRunway& r = world.runways[i];
        const double lateral = std::abs(dot(centroid - r.centre, unitVector(r.headingDeg + 90)));
        if (lateral < nearest) {
            nearest = lateral;
            near_ = i;
        }
    }
    const SampleRunway& a = world.runways[near_];
    along_ = a.along();
    toTerminal_ = unitVector(a.headingDeg + 90);
    if (dot(centroid - a.centre, toTerminal_) < 0) toTerminal_ = toTerminal_ * -1.0;
    for (std::size_t i = 0; i < world.runways.size(); ++i) {
        if (i == near_) continue;
        const SampleRunway& r = world.runways[i];
        if (std::abs(std::sin(radians(r.headingDeg - a.headingDeg))) > 0.02)
            throw std::runtime_error("the sample traffic needs parallel runways; " + r.primaryName + " is not");
        if (far_) throw std::runtime_error("the sample traffic knows two runways at most");
        if (dot(r.centre - a.centre, toTerminal_) > -2 * kTaxiwayOffsetM - 100)
            throw std::runtime_error("runway " + r.primaryName + " lies too close to " + a.primaryName +
                                     " or on the terminal side");
        far_ = i;
    }
    for (const SampleStand& s : world.stands) {
        if (dot(s.at - a.centre, toTerminal_) < kTaxiwayOffsetM + 100)
            throw std::runtime_error("stand " + s.name + " lies between the runways and their taxiway");
    }

    auto addNode = [&](Vec p) {
        nodes_.push_back(p);
        return static_cast<int>(nodes_.size() - 1);
    };
    auto addLine = [&](Vec origin, Vec direction, std::vector<int> nodes, int oneWay = 0) {
        lines_.push_back({origin, direction, std::move(nodes), oneWay});
        return lines_.size() - 1;
    };

    // The parallel taxiways: from hold to hold of their runway.
    auto holdNodes = [&](std::size_t runway) {
        const SampleRunway& r = world.runways[runway];
        return std::vector<int>{addNode(onTaxiway(runway, kLineUpEntryM)),
                                addNode(onTaxiway(runway, r.lengthM - kLineUpEntryM))};
    };
    taxiwayNear_ = addLine(onTaxiway(near_, 0), along_, holdNodes(near_));
    if (far_) taxiwayFar_ = addLine(onTaxiway(*far_, 0), along_, holdNodes(*far_));

    // Stand rows.
    struct Row {
        std::vector<const SampleStand*> stands;
        double headingDeg = 0;
        double offset = 0;
    };
    Row gates, cargo, ga;
    for (const SampleStand& s : world.stands) {
        Row& row = lf_isGate(s.type) ? gates : lf_isCargo(s.type) ? cargo : ga;
        if (!row.stands.empty() && std::abs(turnBetween(row.headingDeg, s.headingDeg)) > 5)
            throw std::runtime_error("stand " + s.name + " does not face the way of its row");
        if (row.stands.empty()) row.headingDeg = s.headingDeg;
        row.stands.push_back(&s);
        row.offset = std::max(row.offset, lf_laneOffset(s.radiusM));
    }
    if (gates.stands.empty()) throw std::runtime_error("the sample airport " + world.icao + " has no gates");
    if (dot(unitVector(gates.headingDeg), toTerminal_) > -0.5)
        throw std::runtime_error("the gates of the sample airport do not face the runways");
    // Each row's lane, and the stretch of it its stands' entries take.
    auto entryOf = [](const Row& row, const SampleStand& s) {
        return s.at + unitVector(row.headingDeg + 180) * row.offset;
    };
    auto rowSpan = [&](const Row& row, Vec origin, Vec dir) {
        double lo = std::numeric_limits<double>::infinity(), hi = -lo;
        for (const SampleStand* s : row.stands) {
            const double t = dot(entryOf(row, *s) - origin, dir);
            lo = std::min(lo, t);
            hi = std::max(hi, t);
        }
        return std::pair{lo, hi};
    };

    // Gate lane with its two connectors to the near taxiway.
    const Vec gateDir = unitVector(gates.headingDeg + 90);
    const Vec gateOrigin = entryOf(gates, *gates.stands.front());
    const auto [gLo, gHi] = rowSpan(gates, gateOrigin, gateDir);
    const Vec laneA = gateOrigin + gateDir * (gLo - kLaneEndM);
    const Vec laneB = gateOrigin + gateDir * (gHi + kLaneEndM);
    const Vec towardRunway = unitVector(gates.headingDeg);
    const Vec taxiNear = onTaxiway(near_, 0);
    auto connectorEnd = [&](Vec laneEnd) {
        const auto t = lf_meet(laneEnd, towardRunway, taxiNear, along_);
        if (!t || *t <= 0) throw std::runtime_error("the gate lane cannot be joined to the taxiway");
        return laneEnd + towardRunway * *t;
    };
    const int gA = addNode(laneA), gB = addNode(laneB);
    const int jA = addNode(connectorEnd(laneA)), jB = addNode(connectorEnd(laneB));
    lines_[taxiwayNear_].nodes.push_back(jA);
    lines_[taxiwayNear_].nodes.push_back(jB);
    // The gates are taxied to one way round, so that arrivals and departures
    // never meet nose to nose behind them: in over the second connector,
    // along the gate lane and out over the first connector.
    addLine(laneA, towardRunway, {gA, jA}, +1);
    const std::size_t connectorB = addLine(laneB, towardRunway, {gB, jB}, -1);
    gateLane_ = addLine(laneA, gateDir, {gA, gB}, -1);

    if (!cargo.stands.empty()) {
        // The cargo lane meets the gate lane's line beyond the gates.
        const Vec dir = unitVector(cargo.headingDeg + 90);
        const Vec origin = entryOf(cargo, *cargo.stands.front());
        const auto meet = lf_meet(origin, dir, laneA, gateDir);
        if (!meet) throw std::runtime_error("the cargo lane runs beside the gate lane");
        const Vec join = origin + dir * *meet;
        if (dot(join - laneA, gateDir) < dot(laneB - laneA, gateDir) + 50)
            throw std::runtime_error("the cargo lane does not meet the gate lane beyond the gates");
        const auto [lo, hi] = rowSpan(cargo, join, dir);
        if (lo < 50 && hi > -50) throw std::runtime_error("the cargo stands lie on both sides of the gate lane");
        const int cJoin = addNode(join);
        addLine(laneB, gateDir, {gB, cJoin});
        cargoLane_ = addLine(join, dir, {cJoin, addNode(join + dir * (hi > 0 ? hi + kLaneEndM : lo - kLaneEndM))});
    }
    if (!ga.stands.empty()) {
        // General aviation: in by a link up from the second connector, out
        // by a taxiway of its own straight on to the near taxiway.
        const Vec dir = unitVector(ga.headingDeg + 90);
        const Vec origin = entryOf(ga, *ga.stands.front());
        const Vec linkFoot = (nodes_[gB] + nodes_[jB]) * 0.5;
        const auto meet = lf_meet(origin, dir, linkFoot, gateDir);
        if (!meet) throw std::runtime_error("the general aviation lane cannot be reached");
        const Vec join = origin + dir * *meet;
        if (dot(join - linkFoot, gateDir) < 100)
            throw std::runtime_error("the general aviation lane lies too close to the gate connector");
        const auto [lo, hi] = rowSpan(ga, join, dir);
        if (lo < 50 && hi > -50)
            throw std::runtime_error("the general aviation stands lie on both sides of their link");
        const Vec toStands = dir * (hi > 0 ? 1.0 : -1.0);
        const auto out = lf_meet(join, toStands * -1.0, taxiNear, along_);
        if (!out || *out < 100) throw std::runtime_error("the general aviation lane does not lead to the taxiway");
        const int foot = addNode(linkFoot), top = addNode(join);
        const int outEnd = addNode(join - toStands * *out);
        lines_[connectorB].nodes.push_back(foot);
        lines_[taxiwayNear_].nodes.push_back(outEnd);
        addLine(linkFoot, gateDir, {foot, top}, +1);
        addLine(join, toStands * -1.0, {top, outEnd}, +1);
        gaLane_ = addLine(join, dir, {top, addNode(join + dir * (hi > 0 ? hi + kLaneEndM : lo - kLaneEndM))});
    }

    // Crossings of the near runway, a third and two thirds along the stretch
    // both runways share.
    if (far_) {
        const SampleRunway& b = world.runways[*far_];
        const double bStart = dot(b.threshold(true) - a.threshold(true), along_);
        const double lo = std::max(kLineUpEntryM + 100, bStart + kLineUpEntryM + 100);
        const double hi = std::min(a.lengthM, bStart + b.lengthM) - kLineUpEntryM - 100;
        if (hi - lo < 600) throw std::runtime_error("the runways share too short a stretch for crossings");
        for (const double f : {1.0 / 3.0, 2.0 / 3.0}) {
            const double s = lo + (hi - lo) * f;
            const int nearEnd = addNode(onTaxiway(near_, s));
            const int farEnd = addNode(onTaxiway(*far_, s - bStart));
            lines_[taxiwayNear_].nodes.push_back(nearEnd);
            lines_[taxiwayFar_].nodes.push_back(farEnd);
            crossings_.push_back({farEnd, nearEnd});
        }
    }
}

Vec SampleAirfield::onTaxiway(std::size_t runway, double along) const {
    const SampleRunway& r = world_->runways[runway];
    return r.threshold(true) + along_ * along + toTerminal_ * kTaxiwayOffsetM;
}

Vec SampleAirfield::onCentreLine(RunwayEnd end, double distanceM) const {
    const SampleRunway& r = world_->runways.at(end.runway);
    return r.threshold(end.primary) + unitVector(r.directionDeg(end.primary)) * distanceM;
}

double SampleAirfield::lateralOf(std::size_t runway, Vec at) const {
    const SampleRunway& r = world_->runways.at(runway);
    return dot(at - r.centre, unitVector(r.headingDeg + 90));
}

double SampleAirfield::alongOf(std::size_t runway, Vec at) const {
    const SampleRunway& r = world_->runways.at(runway);
    return dot(at - r.threshold(true), r.along());
}

std::optional<std::size_t> SampleAirfield::runwayAt(Vec at, double marginM) const {
    for (std::size_t i = 0; i < world_->runways.size(); ++i) {
        const SampleRunway& r = world_->runways[i];
        const double s = alongOf(i, at);
        if (std::abs(lateralOf(i, at)) <= r.widthM / 2 + marginM && s >= -marginM && s <= r.lengthM + marginM)
            return i;
    }
    return std::nullopt;
}

double SampleAirfield::standLaneOffset(const SampleStand& stand) const {
    double largest = 0;
    for (const SampleStand& s : world_->stands) {
        if (lf_isGate(s.type) == lf_isGate(stand.type) && lf_isCargo(s.type) == lf_isCargo(stand.type))
            largest = std::max(largest, s.radiusM);
    }
    return lf_laneOffset(largest);
}

std::size_t SampleAirfield::laneOf(const SampleStand& stand) const {
    if (lf_isGate(stand.type)) return gateLane_;
    const auto lane = lf_isCargo(stand.type) ? cargoLane_ : gaLane_;
    if (!lane) throw std::runtime_error("stand " + stand.name + " has no lane");
    return *lane;
}

StandAccess SampleAirfield::access(const SampleStand& stand) const {
    StandAccess a;
    const double offset = standLaneOffset(stand);
    a.entry = stand.at + unitVector(stand.headingDeg + 180) * offset;
    a.laneHeadingDeg = normalHeading(stand.headingDeg + 90);
    a.pushbackRadiusM = offset >= 80 ? 40.0 : offset * 0.55;
    a.pushbackStraightM = offset - a.pushbackRadiusM;
    return a;
}

SampleAirfield::Graph SampleAirfield::buildGraph(const std::vector<std::pair<std::size_t, Vec>>& extra,
                                                 std::vector<int>& extraIds) const {
    Graph g;
    g.at = nodes_;
    std::vector<Line> lines = lines_;
    for (const auto& [line, p] : extra) {
        Line& l = lines.at(line);
        const Vec onLine = l.origin + l.direction * dot(p - l.origin, l.direction);
        int id = -1;
        for (const int n : l.nodes)
            if (distance(g.at[n], onLine) < 1.0) id = n;
        if (id < 0) {
            g.at.push_back(onLine);
            id = static_cast<int>(g.at.size() - 1);
            l.nodes.push_back(id);
        }
        extraIds.push_back(id);
    }
    g.next.resize(g.at.size());
    for (Line& l : lines) {
        std::sort(l.nodes.begin(), l.nodes.end(), [&](int x, int y) {
            return dot(g.at[x] - l.origin, l.direction) < dot(g.at[y] - l.origin, l.direction);
        });
        for (std::size_t i = 1; i < l.nodes.size(); ++i) g.link(l.nodes[i - 1], l.nodes[i], 0.0, l.oneWay);
    }
    for (const auto& [farEnd, nearEnd] : crossings_) g.link(farEnd, nearEnd, kCrossingCostM);
    return g;
}

Route SampleAirfield::arrivalRoute(RunwayEnd end, double exitDistanceM, const SampleStand& stand,
                                   double exitAngleDeg) const {
    const SampleRunway& r = world_->runways.at(end.runway);
    if (exitDistanceM < 0 || exitDistanceM > r.lengthM - 100 || !(exitAngleDeg >= 20.0 && exitAngleDeg <= 90.0))
        throw std::runtime_error("no exit " + std::to_string(exitDistanceM) + " m down runway " +
                                 world_->runwayEndName(end));
    const Vec exitPoint = onCentreLine(end, exitDistanceM);
    // The exit runs from the centre line to the taxiway: straight across, or
    // at an angle ahead in the landing direction.
    const Vec landing = unitVector(r.directionDeg(end.primary));
    const double angle = radians(exitAngleDeg);
    const Vec exitDir = landing * std::cos(angle) + toTerminal_ * std::sin(angle);
    const double lateral = std::abs(dot(onTaxiway(end.runway, 0) - r.centre, toTerminal_));
    const Vec join = exitPoint + exitDir * (lateral / std::sin(angle));
    const double joinAlong = alongOf(end.runway, join);
    if (joinAlong < 0 || joinAlong > r.lengthM)
        throw std::runtime_error("the exit " + std::to_string(exitDistanceM) + " m down runway " +
                                 world_->runwayEndName(end) + " meets the taxiway beyond the runway");
    // A straight exit is found from the exit point itself, as it always was.
    const bool straight = exitAngleDeg == 90.0;
    const StandAccess a = access(stand);
    std::vector<int> ids;
    const Graph g = buildGraph({{taxiwayLine(end.runway), straight ? exitPoint : join}, {laneOf(stand), a.entry}}, ids);
    const std::vector<int> path =
        g.search(ids[0], straight ? toTerminal_ : exitDir, ids[1], unitVector(stand.headingDeg));
    if (path.empty())
        throw std::runtime_error("no taxi route from runway " + world_->runwayEndName(end) + " to " + stand.name);
    Route route{exitPoint};
    for (const int n : path) route.push_back(g.at[n]);
    route.push_back(stand.at);
    return lf_mergeStraight(route);
}

SampleAirfield::Departure SampleAirfield::departureRoute(const SampleStand& stand, double noseHeadingDeg,
                                                         RunwayEnd end, double entryDistanceM) const {
    const Route pushback = pushbackPath(stand, noseHeadingDeg);
    const SampleRunway& r = world_->runways.at(end.runway);
    if (!(entryDistanceM >= kLineUpEntryM && entryDistanceM <= r.lengthM - 2 * kLineUpEntryM))
        throw std::runtime_error("no runway entry " + std::to_string(entryDistanceM) + " m down runway " +
                                 world_->runwayEndName(end));
    const double holdAlong = end.primary ? entryDistanceM : r.lengthM - entryDistanceM;
    const Vec holdTaxiway = onTaxiway(end.runway, holdAlong);
    std::vector<int> ids;
    const Graph g = buildGraph({{laneOf(stand), pushback.back()}, {taxiwayLine(end.runway), holdTaxiway}}, ids);
    const std::vector<int> path = g.search(ids[0], unitVector(noseHeadingDeg), ids[1], toTerminal_ * -1.0);
    Departure d;
    if (path.empty()) return d;
    Route taxi;
    for (const int n : path) taxi.push_back(g.at[n]);
    d.route = lf_mergeStraight(taxi);
    const Vec entry = onCentreLine(end, entryDistanceM);
    d.route.push_back(entry + toTerminal_ * kHoldOffsetM);
    d.holdIndex = d.route.size() - 1;
    d.route.push_back(entry);
    d.lineUpDistanceM = entryDistanceM + kLineUpEntryM;
    d.route.push_back(onCentreLine(end, d.lineUpDistanceM));
    return d;
}

Route SampleAirfield::laneRoute(const SampleStand& from, Vec start, double noseHeadingDeg, const SampleStand& to) const {
    const StandAccess a = access(to);
    std::vector<int> ids;
    const Graph g = buildGraph({{laneOf(from), start}, {laneOf(to), a.entry}}, ids);
    const std::vector<int> path = g.search(ids[0], unitVector(noseHeadingDeg), ids[1], unitVector(to.headingDeg));
    if (path.empty()) return {};
    Route route{start};
    for (const int n : path) route.push_back(g.at[n]);
    route.push_back(to.at);
    return lf_mergeStraight(route);
}

Route SampleAirfield::pushbackPath(const SampleStand& stand, double noseHeadingDeg) const {
    const StandAccess a = access(stand);
    const double turn = turnBetween(stand.headingDeg, noseHeadingDeg);
    if (std::abs(std::abs(turn) - 90.0) > 1.0)
        throw std::runtime_error("a pushback from " + stand.name + " turns the nose along its lane only");
    const Vec back = unitVector(stand.headingDeg + 180);
    const Vec arcStart = stand.at + back * a.pushbackStraightM;
    // The tail swings away from the way the nose will point.
    const Vec centre = arcStart + unitVector(noseHeadingDeg + 180) * a.pushbackRadiusM;
    Route path{stand.at, arcStart};
    constexpr int kArcSteps = 9;
    for (int i = 1; i <= kArcSteps; ++i) {
        const double f = static_cast<double>(i) / kArcSteps;
        // From pointing at arcStart (nose direction) to pointing along the back direction.
        const double h = headingOf(arcStart - centre) + turnBetween(headingOf(arcStart - centre), stand.headingDeg + 180) * f;
        path.push_back(centre + unitVector(h) * a.pushbackRadiusM);
    }
    return path;
}

}  // namespace tavo::sample
