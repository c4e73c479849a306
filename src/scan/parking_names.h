#pragma once
// Names of parking positions as the simulator's scenery encodes them: a name
// index (which prefix) and a number, shared by the BGL reader and the
// facility reader so both name a stand alike.

#include <cstdint>
#include <string>

// The prefix of a parking name for its name index: 0 "", 1 "PARKING ",
// 2..9 "N_PARKING " .. "NW_PARKING ", 10 "GATE ", 11 "DOCK ", 12..37
// "GATE A" .. "GATE Z" (no blank after the letter), any other index "".
std::string gf_parkingNamePrefix(std::uint32_t nameIndex);
