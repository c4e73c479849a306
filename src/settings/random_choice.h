#pragma once
// Random choices that follow the user's randomness switch (the settings
// snapshot's RANDOM flag): switched off, every choice is the first and the
// order stays as it is. The draws that ignore the switch are in
// foundation/random.h.

#include <cstdint>
#include <vector>

#include "foundation/random.h"

// Whether the current settings allow random choices.
bool gf_randomnessEnabled();

// Uniform index in [0, n); 0 without drawing when randomness is switched off
// or n < 2.
std::int64_t gf_randomIndex(std::uint64_t n);

// Uniform random permutation in place; left alone when randomness is switched
// off or the list has fewer than two entries.
void gf_shuffle(std::vector<std::uint16_t>& values);
