#pragma once
// Touchdown: the simulator's once-a-second ground data decide when a landing
// aircraft is on the ground (or, while it flares, a height within its
// standing height does), how high an aircraft on the ground stands and how
// high one rotating on the runway is. The touchdown starts the landing roll,
// or a touch-and-go takeoff roll when the stream climbs away again, and is
// reported with its airport and runway. Engine thread only.

#include <string_view>

#include "engine/records.h"
#include "engine/sim_commands.h"

// No landing touches the runway closer to its threshold than this (m): the
// approach descent reaches the standing height no sooner, and a touchdown
// the simulator reports before it is held just above the runway.
inline constexpr double kTouchdownFloorM = 60.0;

// Takes one ground-data result (ground altitude and height above ground) for
// the aircraft; the source text names where the data came from. A parked
// aircraft keeps the ground elevation of its stand. Never throws: a failure
// of the touchdown inside is reported as a traffic exception.
void applySimGroundInfo(LiveAc& ac, const SimCommand& groundData, std::string_view source) noexcept;

// The simulator has the aircraft on the ground: a landing less than 60 m past
// the runway threshold is held just above the runway; otherwise the landing
// roll (or a touch-and-go) starts.
void handleTouchdown(LiveAc& ac);

// Reports the touchdown ("... touch down at ... from ... runway ..."), ends
// the landing runway memory, puts the spoilers (and, but for a Light
// aircraft, reverse thrust) on, and settles the attitude.
void logTouchdown(LiveAc& ac);
