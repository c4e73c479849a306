// The name prefixes of parking positions, shared by the facility reader and
// the BGL reader.

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "scan/parking_names.h"

namespace {

TEST(ParkingNamePrefixTest, FixedPrefixes) {
    const char* expected[] = {"",           "PARKING ",    "N_PARKING ", "NE_PARKING ", "E_PARKING ", "SE_PARKING ",
                              "S_PARKING ", "SW_PARKING ", "W_PARKING ", "NW_PARKING ", "GATE ",      "DOCK "};
    for (std::uint32_t i = 0; i < 12; ++i) EXPECT_EQ(gf_parkingNamePrefix(i), expected[i]) << i;
}

TEST(ParkingNamePrefixTest, LetteredGatesHaveNoBlankAfterTheLetter) {
    for (std::uint32_t i = 12; i <= 37; ++i) {
        const std::string prefix = gf_parkingNamePrefix(i);
        ASSERT_EQ(prefix.size(), 6u) << i;
        EXPECT_EQ(prefix.substr(0, 5), "GATE ");
        EXPECT_EQ(prefix[5], static_cast<char>('A' + (i - 12)));
    }
    EXPECT_EQ(gf_parkingNamePrefix(12), "GATE A");
    EXPECT_EQ(gf_parkingNamePrefix(37), "GATE Z");
}

TEST(ParkingNamePrefixTest, IndicesBeyondTheTableHaveNoPrefix) {
    for (const std::uint32_t i : {38u, 39u, 64u, 1000u, 0x7FFFFFFFu, 0xFFFFFFFFu}) EXPECT_EQ(gf_parkingNamePrefix(i), "") << i;
}

}  // namespace
