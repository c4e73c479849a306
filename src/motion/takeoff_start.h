#pragma once
// Putting a live aircraft into its takeoff roll with its takeoff
// configuration. Engine thread only.

#include <cstdint>
#include <optional>

#include "engine/records.h"

// The takeoff roll starts afresh: its state is cleared and keeps the flag
// (the forced-takeoff flag: one airborne next point is enough to lift off),
// the takeoff runway is looked up anew; throttle 3, spoilers on, flaps 1, the
// departure lights, and wide retiming limits for the roll.
void startTakeoffRoll(LiveAc& ac, std::uint8_t flag);

// The same for an aircraft that started rolling without a normal taxi start,
// with idle throttle and spoilers off; an aircraft seen being towed is
// reported. The roll goes `rollHeadingRad` (radians), or, without one, the way
// the last reports travel. It starts only once the aircraft faces within 30
// degrees of that way and is not turning on the spot: a takeoff roll's legs
// have no turn of their own, so an aircraft still turning onto the runway or
// facing back along it would slide sideways or tail first. It then rolls on
// the runway it faces along that way, and the points it has already passed
// (more than 10 m behind it along the roll) leave the stream, so that the
// roll is planned from where the aircraft is. False when it does not start
// yet: the aircraft taxis on and a later report or point starts it.
bool startTowedTakeoffRoll(LiveAc& ac, std::optional<double> rollHeadingRad = std::nullopt);
