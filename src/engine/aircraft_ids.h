#pragma once
// What names an aircraft to the simulator and among the reports: the object
// ids the simulator gives, and the callsign of a ghost. One version for the
// engine and the motion.

#include <cstdint>
#include <string_view>

// Object ids below this never name an object the program created: 0 is none
// yet, and the simulator gives the user's own aircraft the lowest ones.
inline constexpr std::uint32_t kFirstObjectId = 3;

// A callsign ending in "_" is a ghost: a second copy of the flight of that
// callsign without it.
inline bool gf_endsWithUnderscore(std::string_view callsign) { return !callsign.empty() && callsign.back() == '_'; }
