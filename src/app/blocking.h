#pragma once
// Blocking one aircraft: the user picks a live aircraft in the aircraft
// selector and presses Block; its identity goes into the four BLOCK_
// parameters, saved, so the engine removes it now and keeps it out across
// restarts until Unblock. GUI thread.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Raised by a block; the main loop takes it (exchange with false) and removes
// the blocked aircraft.
extern std::atomic<bool> g_blockedAircraftChanged;
// Raised by the Unblock button; a long restart countdown takes it and
// restarts at once.
extern std::atomic<bool> g_unblockPressed;

// An aircraft selector text taken apart: "callsign, registration, hexid, oid=n".
struct BlockSelection {
    std::string callsign;
    std::string registration;
    std::uint32_t hexid = 0;
};
// Exactly four trimmed, non-empty parts between commas, the third made only of
// hexadecimal digits with a value that fits in 32 bits; else nothing.
std::optional<BlockSelection> lf_parseBlockSelection(std::string_view text);

// Blocks the aircraft chosen in the aircraft selector. A text that does not
// parse only empties BLOCK_AIRCRAFT.
void lf_blockAircraft();
// Removes the block and leaves the aircraft selector with one empty entry,
// disabled until the Aircraft button refills it.
void lf_unblockAircraft();

// The Block and Unblock buttons: each acts when there is something to act on
// and otherwise says there is nothing.
void gf_blockButtonPressed();
void gf_unblockButtonPressed();
