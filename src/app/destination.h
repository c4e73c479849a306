#pragma once
// The destination airport: the user types the ICAO code of the airport where
// the flight will end into the destination field and presses Enter; the code
// is stored in DESTINATION, the stands of that airport's file fill the stand
// selector, and the airport becomes the current park airport so that its
// parked traffic is prepared.

#include <string_view>

#include "airports/airports_list.h"

// Enter in the destination field: restores the hint line, then
// lf_setDestination. GUI thread.
void lf_destinationReturnPressed();

// Validates the destination field's text and applies it. Every rejection says
// why on the status line and shows the stored destination in the field again.
// GUI thread.
void lf_setDestination();

// Stores a new destination, fills the stand selector with its airport's stands
// (a user stand recorded for the airport preselected) and makes the airport
// the current park airport, also when its stands cannot be read. The GUI
// thread (a typed destination) and the main thread (the saved one at start)
// call it; one call completes before the next begins.
void lf_setDestinationStand(std::string_view text, const AirportListEntry& entry);

// No destination: DESTINATION emptied, saved and published, the field empty,
// the stand selector emptied and disabled. Closing down calls it at the end
// of every run, so that the window of the next run shows no destination.
void lf_clearDestination();
