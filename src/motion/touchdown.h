#pragma once
// Touchdown: the simulator's ground data decide when a landing aircraft is on
// the ground and how high an aircraft on the ground stands.

#include <string_view>

#include "engine/records.h"
#include "engine/sim_commands.h"

// Takes one ground-data result (ground altitude and height above ground) for
// the aircraft; the source text names where the data came from. Never throws.
void applySimGroundInfo(LiveAc& ac, const SimCommand& groundData, std::string_view source) noexcept;

// The simulator has a landing aircraft on the ground: the landing roll starts.
void handleTouchdown(LiveAc& ac);
