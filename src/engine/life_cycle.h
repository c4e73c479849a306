#pragma once
// The life of an aircraft's object in the simulator: the handler of a created
// live object, its activation (lights, engines, controls), the AI flight plan
// of a live aircraft (MSFS 2020 only), and the clean-up of every pending entry
// when a record goes. Removal itself goes through removeAircraftFromSim
// (engine/removal.h). Engine thread.
//
//   buffer -> adding2sim -> active -> removingfromsim -> (erased)
//                  |           \-> liveryrespawn -> buffer
//                  \-> (erased: create taken back or failed)

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/records.h"
#include "engine/sim_commands.h"

// The simulator created the live aircraft's object (a created result, or a
// static's object taken over when `promoted` is set). False, and nothing
// changed, for an object id below 3; otherwise the aircraft keeps the id and
// waits as delayed until its activation. A parked aircraft that no longer
// holds its stand is marked to go as soon as it is active.
bool onLiveObjectCreated(LiveAc& ac, const SimCommand& created, bool promoted);

// The new object gets its engines, spoilers, lights, throttle and flaps by
// where it is (airborne, taxiing or parked); the aircraft becomes active.
void activateLiveAc(LiveAc& ac);

// With MSFS 2020 and a known origin and destination: writes the object's .pln
// file (named by its object id) and queues it for the object.
void createFlightPlanForLive(LiveAc& ac);

// The .pln file of the aircraft's current object goes (a failure is logged
// with the caller's name) and the aircraft has no plan any more.
void gf_removeLiveFlightPlan(LiveAc& ac, std::string_view caller);

// Before a live record is erased: its flight-plan file and every pending
// entry of it go.
void lf_cleanupLiveAircraft(LiveAc& ac);

// Every pending entry of an aircraft: its delayed results (by hexid, or by a
// non-zero object id for results without a hexid), and its hexid on the
// adding stack, in the new-live check queue and in the parked-action schedule.
void gf_dropPendingSimObject(std::uint32_t hexid, std::uint32_t objectId);

// Cleans up and erases the live record at that position; the last record
// takes its place (the list's order changes). A position outside the list
// erases nothing.
void gf_eraseLiveAc(std::size_t index);
