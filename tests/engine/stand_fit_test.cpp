// Whether an aircraft fits a stand, for a wing radius that is not a number:
// a size that cannot be compared fits no stand.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/records.h"
#include "engine/stands.h"

namespace {

// With a wing radius that is not a number a plain margin test passes, and the
// aircraft would fit every stand its category may use, however small.
TEST(StandFit, AWingRadiusThatIsNotANumberFitsNoStand) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Row {
        ParkingType type;
        std::uint32_t category;
    };
    for (const Row row : {Row{ParkingType::GATE_MEDIUM, Large}, Row{ParkingType::RAMP_GA_SMALL, Light},
                          Row{ParkingType::GATE_HEAVY, Heavy}, Row{ParkingType::FUEL, Light},
                          Row{ParkingType::GATE_EXTRA, Large}}) {
        const Stand stand("A1", {}, 50.0, 8.0, 0.0, 20.0, row.type, false, false, false);
        // A known radius that fits shows the row could fit at all.
        EXPECT_TRUE(gf_standFitsAircraft(stand, static_cast<std::int32_t>(row.category), stand.radius / 2.0));
        EXPECT_FALSE(gf_standFitsAircraft(stand, static_cast<std::int32_t>(row.category), nan))
            << static_cast<int>(row.type);
    }
}

}  // namespace
