#pragma once
// The ground driver: what the new leg of an aircraft on the ground is, each
// time it arrives at a point of its stream. A parked aircraft due to leave
// backs out of its stand or pulls out forwards; the end of a pushback starts
// the engines; a moving aircraft has its path smoothed at corners, long legs
// split where the speed changes, its start turn recorded and, when the
// stream shows it coming to rest, is sent to the nearest free stand. Then the
// leg is timed: how fast the aircraft may turn and when it reaches the next
// point. Also the last points of a taxi-in onto a stand.
//
// "Front" is the stream's first point (the one just reached) and "next" its
// second. Engine thread only.

#include <cstddef>

#include "airports/airport.h"
#include "engine/records.h"
#include "foundation/lalo.h"

// Plans the ground leg to the next point. An exception inside is logged with
// the aircraft and thrown on.
void nextPosGround(LiveAc& ac);

// The turn rate of the coming leg and when the aircraft reaches the next
// point (a stationary next point: hoverRetime).
void planTaxiSpeed(LiveAc& ac);

// Inserts the midpoint of the coming leg when its speed changes much over a
// long enough leg (not on a takeoff or landing roll). `slowStream`: the
// stream is a slow taxi that may end at a stand.
void splitLegForSpeedChange(LiveAc& ac, bool slowStream);

// A stationary next point is kept due after the leg's own duration (from the
// front point's tick), at least the shortest leg from now.
void hoverRetime(LiveAc& ac);

// Whether the aircraft taxis slowly enough (every point but the last at 6 kt
// or less, not just out of its stand) to be looking for a stand, with the
// stands of the current airport loaded.
bool isSlowTaxiStream(const LiveAc& ac);

// When the slow stream comes to rest (its last point at 0.5 kt or less), the
// nearest usable stand to the last point; parking there is started. The stand
// found, or nullptr.
Stand* try2Park(LiveAc& ac, bool slowStream);

// Replaces the stream (cut to its front point) by the taxi-in to a stand at
// `standPos` facing `standHeadingRad`: when needed an approach point 10 m in
// front of the stand, the stand, and a stop point. An aircraft already on the
// stand only stops. `approachAllowed` adds the approach point for an aircraft
// well behind the stand and off its axis.
void drive2Stand(LiveAc& ac, LaLo standPos, double standHeadingRad, bool approachAllowed);

// A hold of no length right after point `i` of a taxiing aircraft's stream:
// stationary points due no later than the shortest leg after it, with a
// moving point after them (a report near a moving one is kept as a hold due
// with it, and one that came before the aircraft was created is not dropped
// when the aircraft moves on). Likewise copies of a moving point that the
// next report shows the aircraft never stood at: it lies further than a late
// leg catches up in the time after them, within that reach from the moving
// point on. The index of that moving point, 0 when there is no such hold.
std::size_t gf_momentaryHoldEnd(const LiveAc& ac, std::size_t i);

// Copies of a taxiing aircraft's moving front point (the feed repeating its
// position at no speed) that it may have stopped at but cannot have stood at
// to the last of them: from rest at a copy, no start at the most a late taxi
// catches up at reaches the next report in the time after that copy. The
// feed kept the position while the aircraft went on. Those copies are
// dropped, so that it stands only as long as it could have and sets off in
// time; the first of them and those it can leave from in time stay, a stop
// that may be real. Whether any was dropped.
bool gf_dropCopiesStoodTooLong(LiveAc& ac);

// A taxiing aircraft standing at a point reported at rest whose next point,
// taken at its own speed, it would reach well before the reports have it
// there waits where it stands: a hold (a copy of the point) is put in, due
// when it must leave. Whether one was put in.
bool gf_waitAtRestForReports(LiveAc& ac);

// Whether the taxi leg's ground turn or curved leg is one the nose cannot
// follow, within 25 degrees, however slowly it is taken (in `legTicks` and
// as much later as the stream allows): a corner reported at the point
// itself, reached at taxi speed.
bool gf_bendTooTightToFollow(const LiveAc& ac, std::int32_t legTicks);

// A taxiing aircraft rolling along a straight leg planned when its point was
// the last one known: a report that now comes after it and turns sharply
// there (more than the nose follows on a leg, so that the corner would be
// braked for and turned on the spot) has the leg planned again from where
// the aircraft is, so that the corner is taken as a turn on the way. Called
// after a report went into the stream. Whether the leg will be planned again.
bool gf_replanLegForNewCorner(LiveAc& ac);

// The metres the pose moved in the tick just played, when it moved (0 when
// it stood, or moved longer ago): how fast a ground leg starts.
double gf_rollingStepM(const LiveAc& ac);
// The length (m) of the leg's ground turn or curved leg, as the pose step
// samples it; 0 without a usable one.
double gf_bendLengthM(const LiveAc& ac);

// How an aircraft rolling `stepM` metres a tick brakes to rest straight on:
// at the taxi rate, or harder where that would take it more than a few
// metres on, never harder than firm braking (5 m/s^2). Step k of the `ticks`
// is stepM (1 - k / (ticks + 1)); `runM` in all. No ticks at rest.
struct TaxiBraking {
    std::int32_t ticks = 0;
    double runM = 0.0;
};
TaxiBraking gf_taxiBraking(double stepM);

// Where the aircraft comes to rest braking straight on from its pose as
// `braking` (gf_taxiBraking) plans.
LaLo gf_taxiBrakingStop(const LiveAc& ac, const TaxiBraking& braking);
