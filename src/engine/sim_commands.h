#pragma once
// The results the simulator thread hands back to the engine: assigned object
// ids, removals, ground data, CG and pitch, initial poses and failed creates.
// The SimClient thread appends them under the queue's own lock; the engine
// takes them all at the start of its next tick.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

enum SimCommandKind : std::uint32_t {
    SIM_RESULT_LIVE_ASSIGNED = 0,    // object id of a live create; hexid = the create's hexid
    SIM_RESULT_STATIC_ASSIGNED = 1,  // object id of a static create; hexid = the create's id
    SIM_RESULT_REMOVED = 2,          // an aircraft left the simulator
    SIM_RESULT_GROUND_DATA = 3,      // hexid = SIM ON GROUND; [0] ground altitude, [1] altitude above ground (ft)
    SIM_RESULT_STATIC_CG = 4,        // [0] static CG to ground (ft), [1] static pitch (rad)
    SIM_RESULT_INITIAL_POSE = 5,     // [2]..[9] the eight pose values
    SIM_RESULT_CREATE_FAILED = 6,    // hexid = the create's hexid; [0] its request id
    SIM_RESULT_CREATE_LOST = 7,      // hexid = the create's hexid; [0] its request id: the connection
                                     // that sent it was lost before the simulator answered
};

struct SimCommand {
    std::uint32_t objectId = 0;
    std::uint32_t hexid = 0;
    std::int32_t tick = 0;  // 0 when posted; the engine uses it for results it holds back
    std::uint32_t kind = 0;
    std::array<double, 10> payload{};
};
static_assert(sizeof(SimCommand) == 96);

// Appends a copy to the engine's result queue (SimClient thread). Never fails.
void gf_queueSimCommand(const SimCommand& command);

// Engine tick: moves every queued result, oldest first, to the end of `out`.
void gf_takeSimCommands(std::vector<SimCommand>& out);

// Drops every queued result (engine reset).
void gf_clearSimCommands();
// Makes room for n queued results (engine set-up); returns the capacity.
std::size_t gf_reserveSimCommands(std::size_t n);
