// The account line shown after an RT Direct login.

#include <gtest/gtest.h>

#include <limits>

#include <fmt/format.h>

#include "feed/rtdirect/readers.h"

namespace {

constexpr std::int64_t kNow = 1704067200;

TEST(RtDirectServiceInfo, WholeDaysTruncatedTowardZeroWithoutOverflow) {
    EXPECT_EQ(gf_rtDirectServiceInfo(1, kNow + 36 * 3600, kNow), "RT Direct standard license, 1 day left");
    EXPECT_EQ(gf_rtDirectServiceInfo(2, kNow + 72 * 3600, kNow), "RT Direct professional license, 3 days left");
    EXPECT_EQ(gf_rtDirectServiceInfo(1, kNow - 72 * 3600, kNow), "RT Direct standard license, -3 day left");
    EXPECT_EQ(gf_rtDirectServiceInfo(1, kNow - 12 * 3600, kNow), "RT Direct standard license, 0 days left");
    // A garbage expiry must not overflow.
    constexpr auto maxI64 = std::numeric_limits<std::int64_t>::max();
    constexpr auto minI64 = std::numeric_limits<std::int64_t>::min();
    EXPECT_EQ(gf_rtDirectServiceInfo(1, maxI64, kNow),
              fmt::format("RT Direct standard license, {} days left", (maxI64 - kNow) / 86400));
    EXPECT_EQ(gf_rtDirectServiceInfo(1, minI64, kNow),
              fmt::format("RT Direct standard license, {} day left", minI64 / 86400));
}

}  // namespace
