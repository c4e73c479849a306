#pragma once
// A position on the earth: latitude and longitude in degrees, north and east
// positive. Written as "lat,lon" with six decimals in every log line.

#include <fmt/format.h>

struct LaLo {
    double lat = 0.0;
    double lon = 0.0;

    friend bool operator==(const LaLo&, const LaLo&) = default;
};

// True when the latitude lies in [-90, 90], the longitude in [-180, 180], and
// the position is not (0, 0): a report with both within 0.0001 degree of zero
// is a source that knows no position, not an aircraft in the Gulf of Guinea.
// NaN fails every comparison and so is invalid too.
bool gf_isValidLaLo(LaLo lalo) noexcept;

template <>
struct fmt::formatter<LaLo> {
    constexpr auto parse(fmt::format_parse_context& ctx) { return ctx.begin(); }
    template <typename FormatContext>
    auto format(const LaLo& lalo, FormatContext& ctx) const {
        return fmt::format_to(ctx.out(), "{:.6f},{:.6f}", lalo.lat, lalo.lon);
    }
};
