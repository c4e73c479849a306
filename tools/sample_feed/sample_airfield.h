#pragma once
// The ground layout the sample traffic taxis on, laid out from the sample
// airport's runways and stands: a parallel taxiway beside each runway on the
// terminal side, runway exits and holding points, crossings from the far
// runway's taxiway over the near runway, and apron lanes behind each row of
// stands (gates, cargo, general aviation) joined to the near taxiway by
// connectors. Routes between them come from a shortest-path search that never
// turns by more than 120 degrees at a junction, so every corner of a route is
// one a real aircraft can take.
//
// The layout expects what the sample airport has: parallel runways with every
// stand on one side of them, the gates facing the runways. Anything else is
// refused with std::runtime_error.

#include <optional>
#include <vector>

#include "tools/sample_feed/sample_world.h"

namespace tavo::sample {

// Where a stand is entered and left: the point on its apron lane behind it,
// and the two ends a pushback can reach (nose along either lane direction).
struct StandAccess {
    Vec entry;
    double laneHeadingDeg = 0.0;  // one of the two lane directions
    double pushbackStraightM = 0.0;
    double pushbackRadiusM = 0.0;
};

// A route: its corner points, first to last (straight stretches merged).
using Route = std::vector<Vec>;

class SampleAirfield {
public:
    explicit SampleAirfield(const SampleWorld& world);

    const SampleWorld& world() const { return *world_; }

    // Distances along a runway end, from its threshold in the landing (or
    // takeoff) direction, to a point on the centre line.
    Vec onCentreLine(RunwayEnd end, double distanceM) const;
    // Unit vector from the runways toward the stands.
    Vec towardTerminal() const { return toTerminal_; }
    // The runway next to the stands (the other one lies beyond it).
    std::size_t nearRunway() const { return near_; }

    StandAccess access(const SampleStand& stand) const;

    // An arrival's way off the runway: from the exit point on the centre line
    // (exitDistanceM past the threshold), over the exit, to the stand. The
    // exit leaves the centre line toward the terminal at exitAngleDeg to the
    // landing direction (90: straight across to the taxiway; less: a
    // high-speed exit that meets the taxiway further on).
    Route arrivalRoute(RunwayEnd end, double exitDistanceM, const SampleStand& stand,
                       double exitAngleDeg = 90.0) const;

    // A departure's taxi: from the end of its pushback (nose along
    // noseHeadingDeg, on the stand's lane) to its holding point, over the
    // hold to the centre line and lined up. Also gives where the holding point
    // lies in the route (its index) and the line-up point's distance from the
    // threshold. Empty route: no way from that pushback end.
    struct Departure {
        Route route;
        std::size_t holdIndex = 0;
        double lineUpDistanceM = 0.0;
    };
    // entryDistanceM: where the departure enters the runway, past the
    // threshold (further than kLineUpEntryM: an intersection departure).
    Departure departureRoute(const SampleStand& stand, double noseHeadingDeg, RunwayEnd end,
                             double entryDistanceM = kLineUpEntryM) const;
    // A tow's or a taxi's way from a point on a stand's apron lane (nose
    // along noseHeadingDeg) into another stand. Empty: no way.
    Route laneRoute(const SampleStand& from, Vec start, double noseHeadingDeg, const SampleStand& to) const;

    // The pushback: from the stand, straight back and on a quarter circle to
    // the lane, ending with the nose along noseHeadingDeg. Corner points of
    // the backward path (stand, start of the arc, arc points..., end).
    Route pushbackPath(const SampleStand& stand, double noseHeadingDeg) const;

    // The runway an aircraft on the ground at a point stands on (with a
    // margin beside its edges), if any.
    std::optional<std::size_t> runwayAt(Vec at, double marginM) const;
    // Signed distance of a point from a runway's centre line and its distance
    // along it from the primary threshold.
    double lateralOf(std::size_t runway, Vec at) const;
    double alongOf(std::size_t runway, Vec at) const;

    // Where the holding points lie from the centre line.
    static constexpr double kHoldOffsetM = 95.0;
    static constexpr double kTaxiwayOffsetM = 200.0;
    // Where a departure enters the runway, past the threshold.
    static constexpr double kLineUpEntryM = 60.0;

private:
    struct Line {
        Vec origin;
        Vec direction;  // unit
        std::vector<int> nodes;
        int oneWay = 0;  // +1 or -1: may be taxied along only with, or against, its direction
    };
    struct Graph;

    Graph buildGraph(const std::vector<std::pair<std::size_t, Vec>>& extra, std::vector<int>& extraIds) const;
    std::size_t taxiwayLine(std::size_t runway) const { return runway == near_ ? taxiwayNear_ : taxiwayFar_; }
    Vec onTaxiway(std::size_t runway, double along) const;
    double standLaneOffset(const SampleStand& stand) const;
    std::size_t laneOf(const SampleStand& stand) const;

    const SampleWorld* world_;
    std::size_t near_ = 0;
    std::optional<std::size_t> far_;
    Vec along_;       // the runways' primary direction
    Vec toTerminal_;  // unit, from the runways toward the stands
    std::vector<Vec> nodes_;
    std::vector<Line> lines_;
    std::vector<std::pair<int, int>> crossings_;  // far taxiway node, near taxiway node
    std::size_t taxiwayNear_ = 0;
    std::size_t taxiwayFar_ = 0;
    std::size_t gateLane_ = 0;
    std::optional<std::size_t> cargoLane_;
    std::optional<std::size_t> gaLane_;
};

}  // namespace tavo::sample
