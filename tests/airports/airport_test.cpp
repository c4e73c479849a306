// The airport and stand records: units, defaults, parking-type names and the
// quality-factor text.

#include <string>

#include <gtest/gtest.h>

#include "airports/airport.h"

namespace {

TEST(StandTest, RadiusIsConvertedFromMetresOnce) {
    const Stand nm("A1", {}, 50.0, 8.0, 1.0, 1852.0, ParkingType::GATE_HEAVY, false, false, false);
    EXPECT_DOUBLE_EQ(nm.radius, 1.0);
    const Stand zero("A2", {}, 50.0, 8.0, 1.0, 0.0, ParkingType::GATE_HEAVY, false, false, false);
    EXPECT_EQ(zero.radius, 0.0);
    const Stand copy = nm;
    EXPECT_DOUBLE_EQ(copy.radius, 1.0) << "copies keep nautical miles";
}

TEST(StandTest, ConstructorKeepsItsArgumentsAndClearsTheRest) {
    StandOption option;
    option.registration = "D-AIBA";
    option.number = 1;
    const Stand s("V12", {option}, 50.5, 8.5, 3.0, 30.0, ParkingType::RAMP_CARGO, true, false, true);
    EXPECT_EQ(s.name, "V12");
    ASSERT_EQ(s.options.size(), 1u);
    EXPECT_EQ(s.options[0].registration, "D-AIBA");
    EXPECT_DOUBLE_EQ(s.latitude, 50.5);
    EXPECT_DOUBLE_EQ(s.longitude, 8.5);
    EXPECT_DOUBLE_EQ(s.heading, 3.0);
    EXPECT_EQ(s.type, ParkingType::RAMP_CARGO);
    EXPECT_TRUE(s.cargo);
    EXPECT_FALSE(s.ramp);
    EXPECT_TRUE(s.heli);
    EXPECT_TRUE(s.excludes.empty());
    EXPECT_EQ(s.id, 0u);
    EXPECT_FALSE(s.manual);
    EXPECT_FALSE(s.occupied);
    EXPECT_FALSE(s.blocked);
}

TEST(AirportTest, StartsEmpty) {
    const Airport a;
    EXPECT_TRUE(a.icao.isNone());
    EXPECT_FALSE(a.iata.isSet());
    EXPECT_EQ(a.latitude, 0.0);
    EXPECT_EQ(a.longitude, 0.0);
    EXPECT_TRUE(a.name.empty());
    EXPECT_EQ(a.qfReal, 0);
    EXPECT_EQ(a.qfSoft, 0);
    EXPECT_TRUE(a.path.empty());
    EXPECT_FALSE(a.manifest.has_value());
    EXPECT_TRUE(a.stands.empty());
    EXPECT_EQ(gf_noIataCode().text(), "XXX");
}

TEST(ParkingTypeTest, NamesAndCodesGoBothWays) {
    EXPECT_EQ(gf_parkingTypeFromName("NONE"), ParkingType::NONE);
    EXPECT_EQ(gf_parkingTypeFromName("GATE_EXTRA"), ParkingType::GATE_EXTRA);
    EXPECT_EQ(gf_parkingTypeFromName("none"), std::nullopt);
    EXPECT_EQ(gf_parkingTypeFromName("gate_extra"), std::nullopt);
    EXPECT_EQ(gf_parkingTypeFromName(""), std::nullopt);
    EXPECT_EQ(gf_parkingTypeFromName("GATE_EXTRA "), std::nullopt);
    for (std::uint32_t code = 0; code < 16; ++code) {
        const auto type = static_cast<ParkingType>(code);
        const auto name = gf_parkingTypeName(type);
        ASSERT_FALSE(name.empty()) << code;
        EXPECT_EQ(gf_parkingTypeFromName(name), type) << name;
    }
    EXPECT_EQ(gf_parkingTypeName(ParkingType::RAMP_GA_MEDIUM), "RAMP_GA_MEDIUM");
    EXPECT_EQ(gf_parkingTypeName(ParkingType::VEHICLE), "VEHICLE");
    EXPECT_EQ(gf_parkingTypeName(static_cast<ParkingType>(16)), "");
}

TEST(QualityFactorsTest, DisplayText) {
    EXPECT_EQ(gf_formatQualityFactors(40, 7), "40");
    EXPECT_EQ(gf_formatQualityFactors(35, 0), "35");
    EXPECT_EQ(gf_formatQualityFactors(12, 7), "12/ 7");
    EXPECT_EQ(gf_formatQualityFactors(34, 12), "34/12");
    EXPECT_EQ(gf_formatQualityFactors(0, 0), "  ");
    EXPECT_EQ(gf_formatQualityFactors(-3, 0), "  ");
    EXPECT_EQ(gf_formatQualityFactors(-1, 5), "-1/ 5");
    EXPECT_EQ(gf_formatQualityFactors(0, 1), " 0/ 1");
}

}  // namespace
