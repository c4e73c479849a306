// The bank limits of the categories; the issue that builds the air movement
// adds the rest of it here.

#include "motion/air_movement.h"

#include <array>

#include "foundation/geodesy.h"

double gf_bankLimitRad(std::uint32_t category) noexcept {
    static constexpr std::array<double, 7> kBankLimitDeg{40.0, 37.5, 35.0, 30.0, 20.0, 90.0, 75.0};
    return category < kBankLimitDeg.size() ? kBankLimitDeg[category] * degreesToRadians : 0.0;
}
