#pragma once
// The drive of a parking aircraft onto its stand nose first, from whatever
// side it comes: a path that turns no tighter than the aircraft can, from
// where it is and the way it faces to a point behind the stand on its axis,
// then straight onto the stand. The ground legs turn the nose toward each
// leg as the aircraft moves along it, so a path of small bends keeps the nose
// with the travel where a straight line to the stand (which may lie behind
// the aircraft or across its way) would have it slide sideways or tail
// first. Engine thread only.

#include <optional>
#include <vector>

#include "engine/records.h"
#include "foundation/lalo.h"

struct PathPose {
    LaLo position{};
    double headingRad = 0.0;
};

// The shortest path of a vehicle that turns no tighter than `radiusM` (m)
// from `from` to `to` (positions and headings), as positions evenly along it
// at most `stepM` apart, the start left out and `to` last. Empty when the input is
// not finite or the radius or step not above 0. Positions lie on a flat
// projection around `from`: good for the few hundred metres around a stand.
std::vector<LaLo> gf_turningPath(PathPose from, PathPose to, double radiusM, double stepM);

// True when the legs of the stream from the pose would keep the nose within
// `mostDeg` of the travel: the first leg starts within it of the heading and
// of the leg bearing the aircraft turns to on it, and every later leg bends
// by no more than it. Stationary points and points within 0.5 m of the one
// before are passed over.
bool gf_legsKeepNoseWithTravel(const LiveAc& ac, double mostDeg);

// Replaces the stream after its front point by a nose-first drive onto the
// stand at `standPos` facing `standHeadingRad`: the turning path to a point
// 10 m behind the stand, the stand point and a stop point 50 ticks after it
// (as the taxi-in points onto a stand are). The drive goes at 6 kt (0.8
// times the taxi speed reference when that is more) on a turning radius of
// 1.2 half wing spans (12 to 45 m); a path on a tighter radius, at a speed
// lower in proportion, or one ending nearer the stand (down to on it) is
// driven instead when it takes less than half the time. The stand leg goes
// at 0.8 times the reference. The leg bearing and the start turn become
// those of the first leg. Given the tick its reports rest on the stand and
// the most it may catch up at (kt), a drive that would come later is driven
// faster, up to that most, every leg still no faster than the nose turns
// through its bend; the stand leg keeps its pace.
struct DriveDue {
    std::int32_t restTick = 0;
    double mostKt = 0.0;
};
void gf_driveOntoStandNoseFirst(LiveAc& ac, LaLo standPos, double standHeadingRad, std::optional<DriveDue> due = {});
