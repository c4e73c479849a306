#pragma once
// Air movement: the leg planning of an airborne aircraft (the vertical plan
// of a climb, cruise or descent to the runway, the pitch change, the heading
// and bank of a coordinated turn, a curved transition onto the following
// leg, the configuration by height and the landing runway), the move of a
// reported touchdown point into the first part of the runway, and the
// vertical-speed rules the pose step applies on every tick.
//
// "Front" is the stream's first point and "next" its second, as the stream
// stands when the function runs: during the leg planning the point just
// reached and the one the new leg goes to; during a pose step the point being
// flown to and the one after it. Engine thread only.

#include <cstdint>
#include <optional>

#include "engine/records.h"
#include "foundation/geodesy.h"
#include "motion/runways.h"

// Per-category limits of flight, by ModelCategory. The bank limit and the
// bank change per tick are 0 for a value outside the seven categories; the
// pitch change per tick and the largest turn rate throw std::out_of_range
// "invalid unordered_map<K, T> key" for one.
double gf_bankLimitRad(std::uint32_t category) noexcept;
double gf_bankRateRad(std::uint32_t category) noexcept;
double gf_pitchRateRad(std::uint32_t category);
// Radians per second.
double gf_airTurnRateRad(std::uint32_t category);

// The turn per tick (radians) two airborne reports' tracks tell over the
// `ticks` between them, when their chord (`course`) runs within 10 degrees
// of the track at its middle, as the chord of a steady turn does; 0 when
// they tell none.
double gf_reportedTrackTurnPerTick(const StreamPoint& from, const StreamPoint& to, double course, double ticks);
// Under this turn (radians a tick, half a degree a second) dead reckoning
// flies straight on.
inline constexpr double kLeastDeadReckonedTurnPerTick = 0.5 * degreesToRadians / 100.0;

// The course of the next dead-reckoned point of `stepTicks` (radians), flown
// from the stream's last point. Where the last legs planned turned clearly
// onto the leg that ends there, the course keeps turning at that rate (no
// faster than the category turns), so that a report gap in a turn is flown
// round the turn instead of straight off it; elsewhere the pose's heading.
double airDeadReckoningCourse(const LiveAc& ac, std::int32_t stepTicks);

// The fastest (kt) a leg onto the report may be flown and still look like
// the reports' own travel: twice the pace they keep by their own positions
// and times from the report before it to this one, and 20 kt on, aimed 2 %
// under (a leg is flown from the tick after its first point is reached, a
// tick short of its time). NaN unless the report is the latest airborne one
// the stream took and the one before it was airborne too.
double gf_mostBelievedPaceToReportKt(const LiveAc& ac, const StreamPoint& report);

// A flying leg to a real report within 20 NM that lies more than 60 degrees
// off the nose (the first report after a gap, where dead reckoning flew on
// while the aircraft turned) is flown round a turn: points are put in, 15
// degrees of turn apart at most, along the shortest way of a turn, a straight
// and a turn that comes onto the report along its course (its reported track,
// or the course on to the point after it where that track runs far off it).
// Where that way would reach the report more than 5 s later than turning
// toward the report and flying straight at it, or the report tells no course,
// the turn goes on only until the line on to the report lies within 15 degrees
// of the heading, and the way ends straight. The turns' radius is what the
// category's bank gives at the leg's speed, tightened so that the report lies
// well outside the turn, but no tighter than 6 degrees a second allows (no
// turn then). The points fall due along the way at one pace, the one that
// reaches the report at its due time, up to 1.6 times as fast as the report;
// a report the way cannot reach at that pace by then falls due when it does.
// On the approach the same, but only where the pace the reports kept across
// the pause is known (gf_mostBelievedPaceToReportKt).
// Where the report ends a pause in the reports and the way, at the most pace
// their positions across the pause allow, reaches it more than 10 s late, the
// aircraft is removed and quarantined at the report, to be made again there.
void turnOntoFarOffReport(LiveAc& ac);

// Whether two points, at least one of them airborne, lie further apart in
// altitude than any aircraft climbs or descends in the time between them
// (100 ft a second, or the given rate, and 1000 ft more): one of them is a
// bad altitude. A point on the ground stands at the current airport's
// altitude (none known: no contradiction).
bool gf_altitudesContradict(const StreamPoint& a, const StreamPoint& b, double steepestFtPerS = 100.0);

// Plans an airborne leg to the next point (once per leg, after the per-tick
// step is set): vertical plan, pitch, turn, curved transition, configuration
// and the landing runway memory.
void stepAir(LiveAc& ac);

// At the start of a landing leg that ends on the ground: a reported
// touchdown point beyond the first third of the runway (at most 1000 m) is
// moved back to it, and due no sooner than the stream's descent (600 ft/min
// at the least) brings the aircraft down, unless that would fly the leg
// below the category's airborne speed floor.
void retimeFinalApproach(LiveAc& ac);

// A point reported on the ground more than 50 m before the runway threshold
// while the landing aircraft is still clearly in the air: it is flown as an
// airborne point.
bool isShortLandingPoint(const LiveAc& ac, const StreamPoint& point);

// The vertical plan while front and next point are both on the ground but
// the aircraft flies: a descent in landing or on a level stream; else the
// climb toward the first airborne point within ten points (the ground points
// before it dropped), or at least 601 ft/min.
void planAirVertical(LiveAc& ac);
// The per-tick climb toward the next point, within the climb rate limit.
void climbRateForTakeoff(LiveAc& ac);
// In takeoff, no slower than the climb the takeoff began with.
void keepTakeoffClimb(LiveAc& ac);

// ft/min: -600 within 100 ft of the ground, else the stream's mean descent
// steepened for a QNH above standard, at most -601.
double airDescentRate(const LiveAc& ac);

// The landing runway under the pose; when the lookup finds none, the stored
// one with its distance past the threshold carried along from where it was
// taken.
std::optional<RunwayMatch> landingRunwayForPose(const LiveAc& ac);

// ft/min: a flying Light aircraft near its level-off altitude descends no
// faster than 1200 ft/min and does not climb away from it.
double limitFlyingVs(const LiveAc& ac, double verticalSpeed);

// Moves the pose's climb toward the per-tick change (ft) by at most 0.001 ft
// per tick and applies it. Without force only a climb or level flight is
// applied.
void applyVerticalSpeed(LiveAc& ac, double perTick, bool force);
// One tick of a climb (or descent) toward the rate (ft/min): the climb a tick
// changes by at most 0.001 ft, and the altitude and vertical speed follow it.
void gf_slewClimb(LiveAc& ac, double fpm);
// The approach descent of one tick: within the stream's bounds, shaped for
// the runway, changing by at most 0.001 ft per tick once started.
void applyApproachVs(LiveAc& ac, double perTick);
// The descent (ft per tick) over the runway: not onto the runway before 60 m
// past the threshold, and steepened so that the touchdown is not floated
// past the first part of the runway.
double landingDescentStep(LiveAc& ac, double perTick);
