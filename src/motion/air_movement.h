#pragma once
// Air movement: per-category limits of flight.

#include <cstdint>

// The largest bank (radians) of the category (ModelCategory); 0 for a value
// outside the seven categories.
double gf_bankLimitRad(std::uint32_t category) noexcept;
