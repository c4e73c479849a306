#pragma once
// Whether a new report may extend a live aircraft's stream, by phase. A
// parked aircraft watches its reports for the start of a departure (pushback
// or pull-out), a pushed-back one for the start of taxiing; landing and
// departing aircraft drop points that lie behind them; all others refuse
// near-duplicates. The checks may correct the point (stationary flag, ground
// speed) and the stream (trailing points dropped), end an extrapolation or
// change the phase. Engine thread only.

#include <cstdint>

#include "engine/records.h"
#include "foundation/lalo.h"

// True when the point is to be appended to the aircraft's stream.
bool checkExtendingSituations(LiveAc& ac, StreamPoint& point);

// The check of an aircraft not yet moving in the simulator (and of taxiing
// and flying ones): a point at the last point's position is stationary, one
// very near it becomes a stationary copy of it, implausible stationary or
// stopped points are refused.
bool lf_acceptNewStreamPoint(LiveAc& ac, StreamPoint& point);

// An aircraft not yet shown keeps its reports as they came; shown to taxi,
// its holds made of reports at no speed repeating a moving one are judged
// as a taxi's are when the report after them comes: dropped where that
// report says it did not stand there (a tow whose reports repeated a place
// at no speed while it turned a corner at 7 kt braked there from 23 kt,
// turned 100 degrees on the spot and came 14.6 s late to the reports after
// it), and the one the stream ends in is left to the next report.
void gf_judgeBufferedRepeatHolds(LiveAc& ac);

// Whether the stream takes a report as a copy of a place (the same position
// reported with a little noise): within 0.00015 degrees of it both ways.
bool gf_isNearCopy(const StreamPoint& point, const StreamPoint& place);
// Where the point was reported: a held copy stands where the point before it
// did, but keeps the report's own place.
LaLo gf_reportedPosition(const StreamPoint& point);

// A parked aircraft: its reports near the stand renew its parking clock and
// watch for a departure; one that moved off lined up with the stand pulls
// out, one that moved off across it is pushed back, one that is anywhere
// else is removed.
bool checkAtStandSituations(LiveAc& ac, StreamPoint& point);

// Landing and landing roll: a report behind the aircraft drops the trailing
// points it lies behind; the touch-and-go watch decides a go-around.
bool checkNewPosDuringLanding(LiveAc& ac, StreamPoint& point);

// Takeoff roll and takeoff: as the landing check with 10 m (roll) or 25 m of
// tolerance, and a point that would slow a sped-up takeoff is refused.
bool checkNewPosDuringTakeoff(LiveAc& ac, StreamPoint& point);

// A pushed-back aircraft starts taxiing once its reports moved twice, away
// from its stand and 15 m or more from where they first moved, on a report
// ahead of it along their travel. Moves against the heading a report carries
// (still pushed tail first) start the count again.
bool checkPushedBackPoint(LiveAc& ac, StreamPoint& point);

// Whether a point may follow a sped-up takeoff that is extrapolating in the
// air: it must lie ahead and not ask for much less speed than the last one.
bool isTakeoffPointPlausible(const LiveAc& ac, const StreamPoint& point, double toleranceM);

// The parked aircraft leaves its stand: departure pending, forwards when
// `pullOut`, else by pushback.
void markDeparture(LiveAc& ac, StreamPoint& point, bool pullOut);

// The steady clock (ns) that stamps an aircraft's arrival at its stand;
// tests replace it (nullptr: the real clock).
std::int64_t gf_standClockNs();
using StandClock = std::int64_t (*)();
void gf_setStandClock(StandClock clock);
