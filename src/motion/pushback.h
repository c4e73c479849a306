#pragma once
// Leaving a stand: a parked live aircraft whose reports show it moving again
// is pushed back, tail first, or pulls out forwards one wing span. The
// pushback follows its reports: the watches keep the reports they reject
// while they make sure of the departure (reports come about half a minute
// before they fall due), so that the pushback begins when the last report
// at the stand falls due and goes where the reports of the pushback go,
// turning its nose away from the way it goes; without such reports it backs
// out two and a half stand radii straight back. After it the taxi starts from
// the reports kept meanwhile. Engine thread only.

#include <array>
#include <cstdint>

#include "engine/records.h"

// The lights of a departing aircraft, in the order of gf_setAiLights (nav,
// beacon, landing, taxi, strobes, logo, cabin).
inline constexpr std::array<std::uint32_t, 7> kDepartureLights{1, 1, 0, 1, 0, 1, 0};

// Whether a report that carries the aircraft's heading moved (`travelRad`)
// against it: the aircraft is being pushed.
bool gf_movesTailFirst(const StreamPoint& p, double travelRad);
// Whether a report moving at a knot or more along its track (not a copy of
// the place before) goes tail first: it is pushed back.
bool gf_reportedTailFirst(const StreamPoint& p);

// When an aircraft standing at `from` must set off to be at `to` when it
// falls due, at `to`'s reported speed (speeding up from rest at the taxi's
// rate).
std::int64_t gf_mustLeaveBy(const StreamPoint& from, const StreamPoint& to);

// Backs the aircraft out of its stand tail first; phase pushing_back. With
// kept reports of the pushback it waits parked (departure still pending)
// until the last report at the stand falls due, then goes to the pushback's
// last report; without them it goes straight back from where its nose points
// (the stand's heading when its own is not known) two and a half stand radii,
// keeping its heading. Without a usable stand (id 0, an unknown id, no
// radius) the pushback is cancelled with an error line and the aircraft stays
// parked, no longer departing.
void initiatePushBack(LiveAc& ac);

// Drives the aircraft forwards out of its stand, one wing span beyond the
// stand along its heading, engines started; phase taxi.
void pullOutOfStand(LiveAc& ac);

// --- the reports kept while the aircraft leaves its stand ---

// A report of the stand watch that stands at the stand: the kept reports
// start afresh from it, and the pushback begins no sooner than it falls due.
void gf_keepStandingReport(LiveAc& ac, const StreamPoint& p);

// Keeps a report of an aircraft that leaves (or may be leaving) its stand.
// It takes the pushback further when it reports a walking pace (above 0, at
// most 6 kt; no speed once it has begun) at 1 m or more from where the
// pushback got to, tail first: the way it goes lies within 60 degrees of
// straight back from the way the aircraft faces there (its heading before the
// pushback, then against the pushback's last leg), and more than 90 degrees
// off the true heading the report carries, if any. Before the pushback began
// a report slower than 1 kt within 50 m stands (the pushback begins after it);
// one farther from the last kept report than 100 kt would take it is left
// out (a position miles off). A report that takes the pushback further
// standing, or moving but due more than 5 s later than the pace of the one
// before takes to get there (the reports of a stop were passed over), falls
// due when that pace gets it there. Otherwise it counts
// among the reports after the pushback; a forward move of 4 m or more off its
// end ends the pushback. Once the pushback has begun, a ground speed no
// aircraft on the ground goes (a bad report) counts as the pace its position
// gives from the last report kept.
// True when it took the pushback further.
bool gf_keepLeavingReport(LiveAc& ac, const StreamPoint& p);

// Two reports at no speed, one after the other, that stand together well
// beyond the scatter of the stand (`there`, then `p`): the aircraft was pushed
// back there while its reports paused. When `there` lies tail first of where
// the aircraft stands, it becomes the pushback's only report (reached from
// the last report that stood at the stand) and `p` is kept after it; true
// then. False, keeping nothing, when the pushback has reports already.
bool gf_keepUnseenPushback(LiveAc& ac, const StreamPoint& there, const StreamPoint& p);

// Forgets the reports kept since the last one that stood at the stand.
void gf_restartLeavingReports(LiveAc& ac);

// Forgets every kept report.
void gf_forgetLeavingReports(LiveAc& ac);

// A pushing-back aircraft goes on along the kept reports of its pushback
// (between two reports whose tracks tell the way, the curve those ways make):
// as far as a straight leg stays within 2.5 m of that way and 25 degrees of
// its direction, and at least to where they put it 8 s ahead; from where it
// is, reaching that point when it falls due (no faster than 5 kt, or one and
// a half times the report's speed, speeding up from rest and slowing to it
// at 0.5 m/s2), its speed changing gently from the one it has down to rest
// there, its nose turning over the leg to face away from the way the reports
// go there. Its leg stays while it goes to the pushback's last report.
void gf_followPushback(LiveAc& ac);

// When the kept reports of the pushback say it began (a tick): no sooner
// than the last report at the stand falls due, nor than its first report
// says, reached from rest at that report's speed, speeding up as a pushback
// does; now when none is kept.
std::int32_t gf_pushbackBegins(const LiveAc& ac);

// The kept reports of the pushback go on beyond where the aircraft is (its
// last one lies more than 1 m away).
bool gf_pushbackGoesOn(const LiveAc& ac);

// A pushed-back aircraft whose kept reports take the pushback further is
// pushed on along them (phase pushing_back again): from rest where it stands,
// its leg planned when the point it stands at falls due on the next tick.
void gf_resumePushback(LiveAc& ac);

// The taxi-start watch over the kept reports after the pushback that it has
// not seen yet, from where the pushback ended: a move of 4 m or more off the
// last position counts once the aircraft is clear of its stand (twice its
// wing radius, at least 25 m) and the move goes nose first by the report's
// heading; a counted move after the first that lies 15 m or more from the
// first counted position and ahead of the aircraft along the moves starts the
// taxi, as does the fourth counted move in a row ahead of it at a speed (an
// aircraft creeping off). True when the taxi has begun.
bool gf_taxiBegunAfterPushback(LiveAc& ac);

// Whether the taxi is due though the watch has not seen it begun: the first
// counted move (nose first, clear of the stand, at a speed) falls due so soon
// that the aircraft must leave where the pushback ended now (after turning on
// the spot to face it) to be there in time, and a report kept at a speed lies
// beyond where the stream would take it as a copy of that place. Waiting for
// the move that would show the taxi begun left the aircraft standing through
// a pause in the reports, or for good when they ended.
bool gf_taxiDueAfterPushback(const LiveAc& ac);

// The pushed-back aircraft taxis: a holding stream's point is due at once,
// the watch and the stand are let go, phase taxi, and the kept reports after
// the pushback follow in the stream (standing ones as a hold where it stands)
// but the last one when `lastAccepted` (the stream checks accept that one
// themselves). Standing where the pushback ended with that one far off, it
// stands there until it must leave to reach it as it falls due.
void gf_startTaxiAfterPushback(LiveAc& ac, bool lastAccepted);

// At the end of a pushback leg: when the kept reports of the pushback go on
// (no report came before the leg ended), it is pushed on; when those after
// it show the taxi begun, the taxi starts; either at once rather than at the
// next report.
void gf_pushbackEnded(LiveAc& ac);
