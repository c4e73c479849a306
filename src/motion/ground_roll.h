#pragma once
// The ground step of each new ground leg and the takeoff: the controls that
// fit the phase, the end of a landing roll when the aircraft turns off the
// runway, the plausibility of a takeoff roll, the speed along the leg (a
// speed profile on the runway, eased start and stop elsewhere), the decision
// when a rolling aircraft lifts off, and the centre line a rolling aircraft
// keeps to.
//
// "Front" is the stream's first point and "next" its second, as the stream
// stands when the function runs: during the leg planning the point just
// reached and the one the new leg goes to. Along-runway distances are metres
// from the takeoff runway's far end along its heading, negative on the runway:
// -L means L metres of runway remain ahead. Engine thread only.

#include <cstdint>
#include <optional>
#include <vector>

#include "engine/records.h"
#include "foundation/lalo.h"
#include "motion/runways.h"

// Plans a ground leg once its per-tick step is set (at the start of each
// ground leg).
void stepGround(LiveAc& ac);

// How fast a taxiing aircraft brakes to rest before a turn in place, and
// speeds up from rest after it (m/s^2, about 4.9 kt a second): firm but
// ordinary braking, short enough a run not to stray far past the point.
inline constexpr double kTaxiSpeedChangeMps2 = 2.5;
// The same in metres a tick, per tick (the pose steps' unit).
inline constexpr double kTaxiSpeedChangePerTick = kTaxiSpeedChangeMps2 * 1e-4;
// The shares of a taxi leg of `n` ticks and `legM` metres that a leg braking
// to rest is played in: from `startStep` (m a tick) to an even speed and
// braked to rest at its end, each change at the taxi rate. Empty when none
// fits.
std::vector<double> gf_brakeToRestShares(std::int32_t n, double legM, double startStep);
// The furthest (m) a taxi gets in `ticks` from rest: speeding up at the taxi
// rate to `mostKt`, then going on at it.
double gf_reachFromRestM(double mostKt, double ticks);
// No landing or takeoff roll goes this fast on its wheels (kt): a speed
// reported above it is not believed.
inline constexpr double kFastestRollKt = 250.0;
// A reported ground speed (kt) for what it tells of a move: one no roll goes
// (the feed's 1e6 kt) tells nothing, and counts as none.
inline double gf_believedGroundKt(double kt) { return kt <= kFastestRollKt ? kt : 0.0; }
// A late aircraft on the ground takes its lag back at most this many times
// as fast, and this much faster (kt), as the speed reported around it, never
// more than twice that speed (a crawl stays a crawl), and never faster than
// the last figure off the runway: taken at up to twice the reported speed
// and 15 kt on, a taxi slowed through a corner at 20 kt raced on at 31-35
// kt, which no taxiing aircraft does.
inline constexpr double kCatchUpMostFactor = 1.25;
inline constexpr double kCatchUpMostKt = 5.0;
inline constexpr double kCatchUpMostShare = 2.0;
inline constexpr double kCatchUpOffRunwayMostKt = 30.0;
// The fastest (kt) a late aircraft taxiing off the runway goes to catch up
// with reports of `reportedKt`, as above, and never slower than the reports
// themselves (a fast exit reported above 30 kt goes at its own speed, it
// only catches up no faster).
double gf_groundCatchUpMostKt(double reportedKt);
// The most a taxiing aircraft rolls on while braking for a turn in place (m):
// a faster one brakes harder.
inline constexpr double kMostBrakingRunM = 15.0;

// The leg after a turn in place, once the nose is along it: its steps are
// taken from where the aircraft stands to the next point, over the ticks left
// until it is due, speeding up from rest.
void startLegFromRest(LiveAc& ac);

// A nose (or a leg) this far off the touchdown heading (degrees) has turned
// off the runway: the landing roll is over.
inline constexpr double kTurnedOffRunwayDeg = 15.0;

// A landing roll whose heading has turned 15 degrees or more off the
// touchdown heading has turned off the runway: it taxis (true).
bool endLandingRollWhenTurnedOff(LiveAc& ac);

// The most a landing roll's next point may fall due after its reported time
// (ticks). A roll's reports slow it down along the runway, and the positions
// say when it is where: its legs timed at the mean of their end speeds (where
// the real roll braked late, or its reports are sparse) fell due up to the
// approach's 27 s late, and the roll stayed that far behind until the exit.
inline constexpr std::int32_t kLandingRollDelayLimitTicks = 300;
// Holds a landing roll's next points near their reported times (no later
// than the limit above; a sharp exit turn widens it again for its leg).
void gf_keepLandingRollOnTime(LiveAc& ac);
// An aircraft that reached its reported touchdown point still in the air
// flew on to the next point at its approach speed, the point pulled ahead of
// its reported time to match. Down on the runway, it brakes along the rest
// of that leg instead: the point falls due at its reported time again
// (never up to the one after it) and the leg runs on a speed profile from
// the speed the aircraft has down to the point's. Kept at the approach
// speed, the roll reached the exit at it and turned off into its taxi at
// four times the taxi's speed. True when the leg was planned anew.
bool gf_brakeRestOfTouchdownLeg(LiveAc& ac);

// A helicopter at rest after its touchdown has landed: it has no runway to
// turn off, and from there it stands, sets off and lifts off as on any
// ground (waiting at rest for its reports, its standing reports taken as
// where it stands). True when its landing roll ended so.
bool endHelicopterLandingAtRest(LiveAc& ac);
// The aircraft taxis: flaps up, spoilers and reverse thrust off, the taxi
// lights; it counts as arriving and its touchdown heading is forgotten.
void startTaxi(LiveAc& ac);

// Starts the takeoff with outlook 1 (climb toward the next point in the time
// left, at least 0.1 ft per tick) or 2 (climb by rate, a Light aircraft at
// most 0.2 ft per tick).
void beginTakeoff(LiveAc& ac, std::uint8_t outlook);
// The rotation starts: countdown, pitch change, phase takeoff, the report.
void enterTakeoff(LiveAc& ac, std::uint8_t outlook);

// 0 no takeoff, 1 climb toward the next point, 2 climb by rate.
std::uint8_t takeoffOutlook(LiveAc& ac);
// 0 not yet; 1, 2 or 3 the takeoff may start (by the airborne point ahead,
// or by the runway running out).
std::uint8_t takeoffStartState(LiveAc& ac);

// A takeoff the reports forced (they climbed away after a touchdown: a
// touch-and-go, or a go-around from a landing dead-reckoned while they
// paused) lifts off as soon as it goes at its lift-off speed with the next
// point in the air, however far ahead that point lies: the leg to it is flown
// (true). Held to the ground until the point, a go-around dead-reckoned onto
// the runway rolled 2.6 km at roll pace toward its first report in the air,
// 1,100 ft up, and reached it 16 s late.
bool gf_liftsOffOnLeg(const LiveAc& ac);
// Such a roll still slower than that, its next point in the air beyond where
// it gets to that speed at the taxi rate, gets a point put in there, due
// when it does: the leg on from it is the one it lifts off on.
void gf_putInLiftOffPoint(LiveAc& ac);

// At most `lengthM` metres of runway left (and at most 10 m past its end), on
// the centre line (15 m) and on the runway heading (20 degrees).
bool isLinedUpOnTakeoffRunway(LiveAc& ac, double lengthM);
// The along-runway distance of the position on the kept takeoff runway.
std::optional<double> alongRunwayDistance(const LiveAc& ac, LaLo position);
// The along-runway distance of the pose; the takeoff runway is looked up at
// the pose (and kept) when none is kept yet.
std::optional<double> takeoffRunwayDistance(LiveAc& ac);

// The plausibility of a takeoff roll: it may begin the takeoff at once, go
// back to taxi, or quarantine and remove the aircraft (true: removed).
bool stepTakeoffRoll(LiveAc& ac);
// The per-tick checks of a takeoff roll (the plausibility above).
void takeoffRollTickChecks(LiveAc& ac);

// The centre-line aim of a rolling aircraft fast enough to hold a runway's
// centre line.
void alignOnRunway(LiveAc& ac);

// Keeps (or forgets, with none) the takeoff runway with its heading.
void gf_setTakeoffRunway(LiveAc& ac, std::optional<RunwayMatch> match);
