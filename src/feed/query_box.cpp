#include "feed/query_box.h"

#include "foundation/geodesy.h"

TrafficBox gf_boxAround(const LaLo& centre, double radiusNm) {
    const double halfHeight = radiusNm * 1.852 / 111.2;
    const double feet = radiusNm * feetPerNm;
    TrafficBox box;
    box.top = centre.lat + halfHeight;
    box.bottom = centre.lat - halfHeight;
    box.left = gf_destinationPoint(centre, BearingDistance{-pi / 2.0, feet}).lon;
    box.right = gf_destinationPoint(centre, BearingDistance{pi / 2.0, feet}).lon;
    return box;
}
