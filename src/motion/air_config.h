#pragma once
// Air configuration and phase changes: an airborne aircraft's lights,
// throttle, gear and flaps follow its height, and its phase switches between
// flying and landing from what its stream shows (an approach starts, or is
// given up for a go-around). Engine thread only.

#include <optional>

#include "engine/records.h"

// Once per airborne leg: the configuration for the height (ft; the height
// above ground when none is given), or below the category's configuration
// height, while landing and on a leg that ends on the ground (or at the
// height of the runway it ends over) the phase decision.
void updateAirConfig(LiveAc& ac, std::optional<double> heightFt);

// Starts an approach, goes around or sets the climb configuration.
void updateAirPhase(LiveAc& ac);

// Clears the approach state: the last approach step, the touch-and-go watch
// and its result, and the approach's other values.
void clearApproachState(MotionState& m);
