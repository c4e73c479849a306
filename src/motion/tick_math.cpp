#include "motion/tick_math.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
// NM x this / ticks is knots: 100 ticks a second, 3600 seconds an hour.
constexpr double kTicksPerHour = 360000.0;

std::int32_t lf_saturate(std::int64_t value) noexcept {
    return static_cast<std::int32_t>(std::clamp(value, kMin, kMax));
}

}  // namespace

std::int32_t gf_ticksFromCount(double ticks, std::int32_t minimum) noexcept {
    if (std::isnan(ticks)) return minimum;
    // Compared before any conversion: a double beyond the range has no
    // integer value to round to.
    if (!(ticks < static_cast<double>(kMax) + 0.5)) return static_cast<std::int32_t>(kMax);
    if (!(ticks > static_cast<double>(minimum) - 0.5)) return minimum;
    return std::max(minimum, static_cast<std::int32_t>(std::lround(ticks)));
}

std::int32_t gf_legTicks(double distanceNm, double speedKt, std::int32_t minimum) noexcept {
    if (!std::isfinite(distanceNm) || !std::isfinite(speedKt)) return minimum;
    return gf_ticksFromCount(distanceNm * kTicksPerHour / speedKt, minimum);
}

std::int32_t gf_tickPlus(std::int32_t tick, std::int64_t delta) noexcept {
    // Both within 64 bits, since delta is clamped first.
    return lf_saturate(std::int64_t{tick} + std::clamp(delta, kMin - kMax, kMax - kMin));
}

std::int32_t gf_ticksBetween(std::int32_t earlier, std::int32_t later) noexcept {
    return lf_saturate(std::int64_t{later} - std::int64_t{earlier});
}

double gf_speedKtOver(double distanceNm, double ticks) noexcept { return distanceNm * kTicksPerHour / ticks; }
