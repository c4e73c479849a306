#pragma once
// Random numbers: one Mersenne Twister per thread, so drawing needs no lock.
// Choices and shuffles follow the user's randomness switch (the settings
// snapshot's RANDOM flag); the plain draws do not.

#include <cstdint>
#include <random>
#include <vector>

// The calling thread's engine, created and seeded on the thread's first use.
struct ThreadRandomEngine {
    std::mt19937 engine;

    // Uniform in [0, n); 0 for n < 2 without drawing.
    std::uint64_t below(std::uint64_t n);
    // Uniform in [0, i].
    std::uint64_t upTo(std::uint64_t i);
    // One raw 32-bit draw.
    std::uint32_t next() { return static_cast<std::uint32_t>(engine()); }
};

ThreadRandomEngine& threadRandomEngine();

// Uniform integer in [0, n) from the calling thread's engine, whatever the
// randomness switch; 0 (no draw) when n < 2.
std::uint64_t gf_randomBelow(std::uint64_t n);

// Uniform index in [0, n); 0 without drawing when randomness is switched off
// or n < 2.
std::int64_t gf_randomIndex(std::uint64_t n);

// Uniform random permutation in place; left alone when randomness is switched
// off or the list has fewer than two entries.
void gf_shuffle(std::vector<std::uint16_t>& values);

// value +/- value * percent / 100, the sign from one draw (odd: minus). Always
// draws; a percent of 0 or less gives the value unchanged.
double gf_randomizeByPercent(double value, double percent);

// Whether the current settings allow random choices.
bool gf_randomnessEnabled();
