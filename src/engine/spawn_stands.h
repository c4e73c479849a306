#pragma once
// Spawning at stands: a live aircraft at rest near the current airport
// appears parked at the nearest fitting stand, or takes over the object of
// the static aircraft of the same registration standing there; a parked
// aircraft stands where the simulator placed its object, at the ground
// elevation plus its ground offset. Engine thread.

#include "airports/airport.h"
#include "engine/records.h"
#include "engine/reports.h"
#include "engine/sim_commands.h"

// Where a standing aircraft's reports centre: its front and the reports at
// rest after it within 50 m of it, each where it was reported.
LaLo gf_standingCentre(const LiveAc& ac);

// The stand of the engine's table a live aircraft at rest near the current
// airport spawns at, or none. Its points must lie within 5 NM of the airport
// and, unless the front point stands still, within 35 m of each other at no
// more than 6 kt (the stand is then searched at the last point), or be
// reported at no more than 0.5 kt first and at no more than 6 kt after (it
// already leaves its stand: searched at the front point); a miss is not
// searched again at the same place. A stand that another live aircraft holds
// (and keeps), whose colliding stands hold live aircraft within wing reach,
// or that is not free drops the aircraft (`removeRecord`). The statics in the way make way; one that may be taken
// over is named in `promoteStaticId`.
Stand* chooseSpawnStand(LiveAc& ac);

// The aircraft spawns parked at the chosen stand: phase parked, its front
// point (the only one kept) standing still on the stand with the stand's
// heading, its park time and phase clock stamped, the stand use recorded as
// a flight option; unless it takes over a static, the parked aircraft are
// trimmed for one more. The reports it was created with go to the stand
// watch: a first one that moves (1 kt or more) off the stand as it came,
// after the stand where the aircraft stood until it had to set off to be
// there in time.
void parkAtSpawnStand(LiveAc& ac, const Stand& stand);

// Takes over the object of the active static named by `promoteStaticId` on
// the aircraft's stand, with its livery, pose and CG: the static and every
// trace of its hexid go, the object is released from the link's statics and
// handed to the created handler. True when it did (the aircraft is then
// active, or waits as delayed for the data still missing); false leaves a
// normal create to follow.
bool promoteStaticToLive(LiveAc& ac);

// An aircraft created parked whose kept pushback reports are due already as
// its object is asked for appears at the last of them due, or as far on
// toward the next one as the time between them has gone; with none due yet
// but its pushback begun by them (gf_pushbackBegins), as far from its stand
// toward the first as the time since it began has gone. Nose away from the
// way they went, with its front point and the request's position: shown at
// its stand it would trail them by as long as they have gone, at a
// pushback's pace. True when it was placed so.
bool gf_placeAtLatePushback(LiveAc& ac, AiCreateRequest& request);

// A parked aircraft with the simulator's pose takes it as its own (standing
// still), with its front point; then fixStandAltitude.
void applySimPoseAtStand(LiveAc& ac);

// A parked aircraft that was not taken over from a static stands at the
// ground elevation plus its ground offset once pose, CG and elevation are
// known (pose and front point).
void fixStandAltitude(LiveAc& ac);

// Test seam: the created handler a promotion calls (nullptr: the engine's
// onLiveObjectCreated).
using PromotionCreatedHandler = bool (*)(LiveAc& ac, const SimCommand& created, bool promoted);
void gf_setPromotionCreatedHandler(PromotionCreatedHandler handler);
