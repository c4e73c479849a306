#pragma once
// Tick arithmetic of the motion code. Tick numbers are signed 32-bit counts of
// 10 ms (the engine clock); every sum, difference and computed count is taken
// in 64 bits or in double and saturated into that range, so that a point far
// away, a speed of 0 or a tick near the end of the range gives the nearest
// representable tick instead of a wrapped or undefined one.

#include <cstdint>

// The shortest leg: every leg time below it is raised to it.
inline constexpr std::int32_t kMinLegTicks = 25;

// A computed number of ticks, rounded to the nearest and kept within
// [minimum, i32 max]: NaN gives the minimum, +infinity the largest count.
std::int32_t gf_ticksFromCount(double ticks, std::int32_t minimum) noexcept;

// The ticks to cover `distanceNm` at `speedKt` (NM x 360000 / kt), at least
// `minimum`. A distance or speed that is not finite gives the minimum; a
// speed of 0 over a positive distance takes the largest count.
std::int32_t gf_legTicks(double distanceNm, double speedKt, std::int32_t minimum) noexcept;

// tick + delta, saturated into i32.
std::int32_t gf_tickPlus(std::int32_t tick, std::int64_t delta) noexcept;

// later - earlier as a signed count, saturated into i32.
std::int32_t gf_ticksBetween(std::int32_t earlier, std::int32_t later) noexcept;

// Knots from a distance over a number of ticks (NM x 360000 / ticks).
double gf_speedKtOver(double distanceNm, double ticks) noexcept;
