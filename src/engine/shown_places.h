#pragma once
// Where an aircraft reported standing may be shown although no stand is
// free for it: where TAVO showed it when the last run ended, or, for a
// rotorcraft, on a helipad. A restart removes every aircraft and creates it
// again from its reports; one standing off the stands (a helicopter on its
// pad, an aircraft held on a taxiway) was then taken as one standing where no
// stand is free for it and not shown until it moved, though the user had
// just seen it there. Engine and main thread (reset), never at once.

#include <cstdint>
#include <optional>

#include "engine/records.h"
#include "foundation/lalo.h"

// The place an aircraft stands at, and the way its nose points (radians).
struct StandingPlace {
    LaLo at{};
    double headingRad = 0.0;
};

// Before the engine's lists are emptied at the end of a run: the places of
// the live aircraft shown on the ground (their object created, active or on
// its way out) replace those kept before.
void gf_keepShownPlaces();

// Every kept place is forgotten (a test starting afresh).
void gf_forgetShownPlaces();

// The place the aircraft, reported standing with its reports centred at
// `centre`, is shown at without a stand: where it was shown when the last
// run ended, when that lies within 15 m of where its reports stand (with the
// nose it had there); else, for a rotorcraft, where its reports stand when
// that is on a helipad of the stand table that is not blocked (within the
// pad's radius, or 15 m of its centre on a smaller pad), with the reported
// nose (radians; none that is not a number). None elsewhere.
std::optional<StandingPlace> gf_placeToStandWithoutStand(const LiveAc& ac, LaLo centre, double reportedNoseRad);

// The aircraft was created: its kept place has done its work.
void gf_forgetShownPlace(std::uint32_t hexid);
