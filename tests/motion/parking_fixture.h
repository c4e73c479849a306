#pragma once
// Live aircraft at three gates of one airport (A1 and A2 30 m apart, colliding;
// ramp B1 300 m away), on fixed clocks: the system clock, the stand clock and the
// week time. Positions are placed by bearing and distance from a stand.

#include <cstdint>
#include <deque>
#include <string>

#include <gtest/gtest.h>

#include "airports/current_airport.h"
#include "airports/parking_state.h"
#include "engine/engine_state.h"
#include "engine/removal_policies.h"
#include "engine/stands.h"
#include "foundation/geodesy.h"
#include "foundation/time.h"
#include "motion/stream_checks.h"
#include "support/stand_table.h"

#include "engine/engine_fixture.h"

namespace tavo::test {

class ParkingTest : public EngineTest {
protected:
    static constexpr LaLo kA1{50.0300, 8.5600};
    static constexpr LaLo kA2{50.0300, 8.5604195};  // 30 m east of A1
    static constexpr LaLo kB1{50.0327, 8.5600};     // 300 m north
    static constexpr std::uint64_t kWeekTime = (20ull << 32) | 3;  // Wednesday, slot 20
    static constexpr std::int64_t kClock100ns = 133'000'000'000'000'000;

    EngineHarness::Options options() const override {
        EngineHarness::Options o;
        o.userPosition = {50.036, 8.56};  // on the ground, 660 m from the stands
        return o;
    }
    void SetUp() override {
        EngineTest::SetUp();
        // The aircraft database knows the test aircraft's registration, so
        // that its stand uses are recorded.
        harness->installLiveries(EngineHarness::defaultLiveries());
        gf_setCurrentAirport({IcaoCode("EDDF"), IataCode("FRA"), kA1, 364});
        setStandTable({{"GATE A1", kA1, ParkingType::GATE_MEDIUM, 30.0, {2}},
                       {"GATE A2", kA2, ParkingType::GATE_MEDIUM, 30.0, {1}},
                       {"RAMP B1", kB1, ParkingType::GATE_MEDIUM, 30.0}});
        g_weekTime.store(kWeekTime);
        gf_setSystemClock100ns([] { return kClock100ns; });
        standClockNs = 0;
        gf_setStandClock([] { return standClockNs; });
        tickCount.store(10000);
    }
    void TearDown() override {
        gf_setStandClock(nullptr);
        gf_setSystemClock100ns(nullptr);
        clearStandTable();
        gf_clearCurrentAirport();
        parkedActionSchedule.clear();
        EngineTest::TearDown();
    }

    static LaLo from(LaLo at, double bearingDeg, double metres) {
        return gf_destinationPoint(at, {bearingDeg * degreesToRadians, metres * feetPerMetre});
    }
    static Stand& stand(std::int32_t id) { return *gf_standById(id); }

    static StreamPoint groundPoint(LaLo at, std::int32_t tick, double speedKt = 10.0) {
        StreamPoint p = point(at.lat, at.lon, 0.0, false, tick);
        p.groundSpeedKt = speedKt;
        return p;
    }

    // An active Large aircraft on the ground at `at`, heading `headingDeg`, in
    // the phase, its stream the one point there.
    static LiveAc& onGround(std::uint32_t hexid, LaLo at, double headingDeg, AcPhase phase,
                            const std::string& callsign = "KLM1234") {
        LiveAc& ac = addLive(hexid, AcSimState::active, 100 + (hexid & 0xFF), {groundPoint(at, tickCount.load())},
                             callsign);
        ac.pose.heading = headingDeg * degreesToRadians;
        ac.phase = phase;
        ac.taxiSpeedRef = 15.0;
        ac.category = Large;
        ac.wingRadiusNm = 0.0097;  // 36 m of wingspan
        return ac;
    }
    // An active aircraft parked on the stand with its object.
    static LiveAc& parkedOn(std::uint32_t hexid, std::int32_t standId, const std::string& callsign) {
        const Stand& s = stand(standId);
        LiveAc& ac = onGround(hexid, {s.latitude, s.longitude}, s.heading * radiansToDegrees, AcPhase::parked, callsign);
        gf_assignStandToAircraft(ac, s);
        return ac;
    }

    static inline std::int64_t standClockNs = 0;
};

}  // namespace tavo::test
