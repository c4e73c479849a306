#pragma once
// Runways built as the facility reader gives them (ends half the length away
// from the centre along the heading, a START at each end), positions placed
// in a runway's own frame, and a table that is emptied around every test.

#include <cmath>
#include <cstdint>
#include <optional>

#include <gtest/gtest.h>

#include "airports/current_airport.h"
#include "foundation/geodesy.h"
#include "motion/runways.h"

namespace tavo::test {

struct RunwaySpec {
    LaLo centre{50.0, 8.0};
    double headingDeg = 90.0;
    double lengthM = 3000.0;
    double widthM = 45.0;
    std::int32_t primaryNumber = 9;
    std::int32_t primaryDesignator = 0;
    std::int32_t secondaryNumber = 27;
    std::int32_t secondaryDesignator = 0;
    double altitudeFt = 300.0;
};

inline FacilityRunway makeRunway(const RunwaySpec& spec = {}) {
    FacilityRunway r;
    r.centre = spec.centre;
    r.headingDeg = spec.headingDeg;
    r.lengthM = spec.lengthM;
    r.widthM = spec.widthM;
    r.altitudeFt = spec.altitudeFt;
    const double halfFt = spec.lengthM * 0.5 * feetPerMetre;
    r.end1 = gf_destinationPoint(spec.centre, {(spec.headingDeg + 180.0) * degreesToRadians, halfFt});
    r.end2 = gf_destinationPoint(spec.centre, {spec.headingDeg * degreesToRadians, halfFt});
    r.primaryNumber = spec.primaryNumber;
    r.primaryDesignator = spec.primaryDesignator;
    r.secondaryNumber = spec.secondaryNumber;
    r.secondaryDesignator = spec.secondaryDesignator;
    FacilityStart start;
    start.altitudeFt = spec.altitudeFt;
    start.type = 1;
    start.number = spec.primaryNumber;
    start.designator = spec.primaryDesignator;
    start.position = r.end1;
    start.headingDeg = spec.headingDeg;
    r.primaryStart = start;
    start.number = spec.secondaryNumber;
    start.designator = spec.secondaryDesignator;
    start.position = r.end2;
    start.headingDeg = std::fmod(spec.headingDeg + 180.0, 360.0);
    r.secondaryStart = start;
    return r;
}

// The position `alongM` metres from the centre in the primary direction and
// `crossM` metres to its right, in the flat frame the lookups use (so that
// limits can be tested to the metre).
inline LaLo placeOn(const FacilityRunway& r, double alongM, double crossM) {
    constexpr double radius = 6371000.0;
    const double h = r.headingDeg * degreesToRadians;
    const double north = alongM * std::cos(h) - crossM * std::sin(h);
    const double east = alongM * std::sin(h) + crossM * std::cos(h);
    const double lat = r.centre.lat + north / radius * radiansToDegrees;
    const double cosMean = std::cos((lat + r.centre.lat) * 0.5 * degreesToRadians);
    double lon = r.centre.lon + east / (radius * cosMean) * radiansToDegrees;
    if (lon > 180.0) lon -= 360.0;
    if (lon < -180.0) lon += 360.0;
    return LaLo{lat, lon};
}

// The runway in the table and its airport the current one, at the runway's
// altitude; the runway as built.
inline FacilityRunway addAirportRunway(const RunwaySpec& spec) {
    const FacilityRunway runway = makeRunway(spec);
    g_runwayTable.emplace_back(runway);
    gf_setCurrentAirport(AirportListEntry{IcaoCode("EDDF"), IataCode("FRA"), spec.centre,
                                          static_cast<std::int32_t>(spec.altitudeFt)});
    return runway;
}

inline double radiansOf(double degrees) { return degrees * degreesToRadians; }

// Every test starts and ends with an empty table and the facility reader
// restored.
class RunwayTableTest : public ::testing::Test {
protected:
    void SetUp() override { gf_clearRunwayTable(); }
    void TearDown() override {
        gf_clearRunwayTable();
        gf_setRunwayReader({});
    }
    // A copy, so that it outlives a later clear of the table.
    static TableRunway add(const FacilityRunway& runway) { return g_runwayTable.emplace_back(runway); }
};

}  // namespace tavo::test
