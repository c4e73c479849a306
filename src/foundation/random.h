#pragma once
// Random numbers: one Mersenne Twister per thread, so drawing needs no lock.
// These draws ignore the user's randomness switch; the choices and shuffles
// that follow it are the settings' (settings/random_choice.h).

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

// value +/- value * percent / 100, the sign from one draw (odd: minus). Always
// draws; a percent of 0 or less gives the value unchanged.
double gf_randomizeByPercent(double value, double percent);
