#pragma once
// Aircraft on their own, a leg or a tick at a time, at an airport with one
// runway 09/27 (emptied around every test), and the control events queued.

#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "airports/current_airport.h"
#include "engine/engine_state.h"
#include "foundation/geodesy.h"
#include "motion/runways.h"
#include "simlink/sim_ids.h"

#include "engine/engine_fixture.h"
#include "runway_fixture.h"

namespace tavo::test {

inline constexpr double kDeg = degreesToRadians;

class AirTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        gf_clearRunwayTable();
        tickCount.store(10000);
    }
    void TearDown() override {
        gf_clearRunwayTable();
        g_qnh.store(1013);
        EngineTest::TearDown();
    }

    // The runway and the airport at its centre, at the field elevation.
    void airport(double lengthM = 3000.0, double fieldFt = 300.0) {
        spec.lengthM = lengthM;
        spec.altitudeFt = fieldFt;
        runway = makeRunway(spec);
        g_runwayTable.emplace_back(runway);
        gf_setCurrentAirport(AirportListEntry{IcaoCode("EDDF"), IataCode("FRA"), spec.centre,
                                              static_cast<std::int32_t>(fieldFt)});
    }
    // `pastM` metres past the 09 threshold on the centre line.
    LaLo past(double pastM) const { return placeOn(runway, -spec.lengthM / 2.0 + pastM, 0.0); }

    static StreamPoint at(LaLo where, double altitudeFt, bool airborne, std::int32_t playTick,
                          double verticalSpeed = 0.0, double speedKt = 140.0) {
        StreamPoint p = point(where.lat, where.lon, altitudeFt, airborne, playTick);
        p.verticalSpeed = verticalSpeed;
        p.groundSpeedKt = speedKt;
        p.tasKt = airborne ? speedKt : 0.0;
        return p;
    }

    // Active at the front point of the stream, heading east.
    static LiveAc& aircraft(std::deque<StreamPoint> stream, std::uint32_t category, AcPhase phase) {
        LiveAc& ac = addLive(0x720000 + static_cast<std::uint32_t>(g_liveAircraft.size()), AcSimState::active, 30,
                             std::move(stream));
        ac.category = category;
        ac.groundOffsetFt = gf_categoryValues(category).groundOffsetFt;
        ac.isJetCategory = category == Bizjet || category == Large || category == Heavy ? 1 : 0;
        ac.phase = phase;
        ac.pose.heading = 90.0 * kDeg;
        ac.turnRateLimit = ac.turnRateRad;
        ac.climbRateLimit = 0.5;
        return ac;
    }

    // The events queued since the last call, as (event, data).
    static std::vector<std::pair<std::uint32_t, std::uint32_t>> events() {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
        for (const SimClientEventCommand& e : takeEvents()) out.emplace_back(e.eventId, e.data);
        return out;
    }

    RunwaySpec spec;
    FacilityRunway runway;
};

}  // namespace tavo::test
