#pragma once
// The line-up of a departing aircraft on a runway. A departure often enters
// the runway from a taxiway at an angle, stops and waits; the feed shows this
// as one or a few stop reports near the threshold. The line-up state
// remembers the runway end such an aircraft is about to roll on, so that its
// ground turn ends on the runway heading, it turns to that heading while it
// waits, a point behind it is dropped, and its takeoff roll starts when it
// moves off along the runway. A lone stop report that arrives while the
// aircraft rolls onto the runway is held back until the next report.
//
// Runway ends are looked up with the start window only (a position at the
// start of a runway end). Everything runs on the engine thread.

#include "engine/records.h"

// The aircraft rolls toward a takeoff: on the ground in its takeoff roll, or
// taxiing other than off a landing.
bool isRollingToTakeoff(const LiveAc& ac);

// A runway end an aircraft starts its roll from: unambiguous (the runner-up
// scores more than 20 worse), within 7.5 m of the centre line, from 700 m
// before the threshold to the end of the start window.
bool isRunwayStartPosition(const RunwayMatch& match);

// True when a lone stop report of an aircraft rolling onto a runway is held
// back (message decoding then does not append it). A held report is appended
// before the next one when that is a stop within 1 m of it, and dropped
// otherwise.
bool isTaxiPointOnRunway(LiveAc& ac, const StreamPoint& point);

// The per-tick watch: measures how far the aircraft moves on the ground,
// keeps the line-up state of an aircraft about to stop on a runway, and
// turns one that stands on a runway with no point ahead toward the runway
// heading once it has stood there for 3 s.
void handleNoFutureOnRunway(LiveAc& ac);

// Keeps the line-up state of a ground aircraft arriving at a point: whether
// it is about to stop, or stands, in the start window of a runway end at an
// angle to it.
void checkRunwayOccupancy(LiveAc& ac);

// True when the aircraft has stood on the runway end `key` within 2 m of
// `position` for 3 s or more; starts the watch afresh otherwise.
bool heldOnSameRunway(LiveAc& ac, const RunwayEndKey& key, LaLo position);

// The start turn of a new leg that points across a runway: when the runway
// heading lies between the heading and the leg, the aircraft lines up on the
// runway and the start turn becomes the angle to the runway heading.
void noteRunwayEntry(LiveAc& ac);
