// The airport and stand records: the radius unit, parking-type names and the
// quality-factor text.

#include <string>

#include <gtest/gtest.h>

#include "airports/airport.h"

namespace {

TEST(StandTest, RadiusIsConvertedFromMetresOnce) {
    const Stand nm("A1", {}, 50.0, 8.0, 1.0, 1852.0, ParkingType::GATE_HEAVY, false, false, false);
    EXPECT_DOUBLE_EQ(nm.radius, 1.0);
    const Stand copy = nm;
    EXPECT_DOUBLE_EQ(copy.radius, 1.0) << "copies keep nautical miles";
    const Stand none("B2", {}, 50.0, 8.0, 1.0, 0.0, ParkingType::RAMP_GA, false, true, false);
    EXPECT_EQ(none.radius, 0.0);
    EXPECT_EQ(none.id, 0u);
    EXPECT_FALSE(none.manual || none.occupied || none.blocked);
    EXPECT_TRUE(none.excludes.empty());
}

TEST(ParkingTypeTest, NamesAndCodesGoBothWaysAndCaseMatters) {
    for (std::uint32_t code = 0; code < 16; ++code) {
        const auto type = static_cast<ParkingType>(code);
        const auto name = gf_parkingTypeName(type);
        ASSERT_FALSE(name.empty()) << code;
        EXPECT_EQ(gf_parkingTypeFromName(name), type) << name;
    }
    EXPECT_EQ(gf_parkingTypeName(ParkingType::RAMP_GA_MEDIUM), "RAMP_GA_MEDIUM");
    EXPECT_EQ(gf_parkingTypeName(static_cast<ParkingType>(16)), "");
    for (const char* unknown : {"none", "gate_extra", "", "GATE_EXTRA "})
        EXPECT_EQ(gf_parkingTypeFromName(unknown), std::nullopt) << unknown;
}

TEST(QualityFactorsTest, DisplayText) {
    const std::tuple<int, int, const char*> cases[] = {{40, 7, "40"},     {35, 0, "35"},   {12, 7, "12/ 7"},
                                                       {34, 12, "34/12"}, {0, 0, "  "},    {-3, 0, "  "},
                                                       {-1, 5, "-1/ 5"},  {0, 1, " 0/ 1"}};
    for (const auto& [real, soft, text] : cases) EXPECT_EQ(gf_formatQualityFactors(real, soft), text);
}

}  // namespace
