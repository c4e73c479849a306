#pragma once
// The main window with everything it can show at once: both lamps lit, every
// counter, a park airport with its three parking rows (waiting statics and
// both fit values among them), the wingspan warning and a status line. For
// the tests and benchmarks of painting.

#include "services/gui.h"

namespace tavo::test {

// Fills the Gui and sets the flags of the simulator link, the traffic source
// and the parked-traffic planner that painting reads.
void gf_showWindowScene(Gui& gui);
// Puts those flags back to nothing connected and no park airport.
void gf_clearWindowScene();

}  // namespace tavo::test
