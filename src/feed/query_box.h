#pragma once
// The boxes the traffic requests ask for: a latitude band of the radius each
// way and the longitudes reached due west and due east over the same
// distance. The RT App's buffer and parked requests and the web API's live,
// buffered and parked requests all use them.

#include "foundation/lalo.h"

// A box in degrees: top and bottom latitudes, left and right longitudes.
struct TrafficBox {
    double top = 0.0;
    double bottom = 0.0;
    double left = 0.0;
    double right = 0.0;
    friend bool operator==(const TrafficBox&, const TrafficBox&) = default;
};

// Parked traffic is asked for within 3 NM of its centre.
inline constexpr double kParkedBoxRadiusNm = 3.0;

// The box reaching `radiusNm` nautical miles from the centre: latitudes
// centre +- radius x 1.852 / 111.2 degrees, longitudes of the points at
// bearing -pi/2 and +pi/2 over the radius in feet.
TrafficBox gf_boxAround(const LaLo& centre, double radiusNm);
