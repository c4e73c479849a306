#pragma once
// Flaps, throttle, spoilers, gear and lights of AI aircraft, sent as client
// events of the simulator link. The setters turn a small step number into the
// event's data value and skip what is already set; the parked controls put an
// aircraft into its standing configuration; the static-CG reply of the
// simulator fixes how high the aircraft stands and its pitch on the ground.
// Engine thread.

#include <cstdint>

struct AcBase;

// Flaps index 0..3 (4 sends 0); a larger index is logged and sends nothing.
// Never for a Rotorcraft. The index is remembered either way.
void gf_setFlaps(AcBase& ac, std::uint32_t flapsIndex);
// Throttle step 0..4; a larger step sends nothing. The step is remembered.
void gf_setThrottle(AcBase& ac, std::uint32_t throttleStep);
// Sent on every call; never for a Rotorcraft.
void gf_setSpoilers(AcBase& ac, bool on);
void gf_setGear(AcBase& ac, bool down);
// Throttle 0, flaps 0, engines off and the parked lights.
void gf_setParkedControls(AcBase& ac);
// Takes the simulator's static CG height above ground (ft) and static pitch
// (radians), each only when plausible.
void gf_applyStaticCg(AcBase& ac, double cgHeightFt, double staticPitchRad);
