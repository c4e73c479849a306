// An aircraft that appears parked at its stand stands there at its model's
// standing attitude, so that its nose does not drop in one tick when it
// leaves the stand: run through engine, link and simulator model on the
// motion harness.

#include <gmock/gmock.h>

#include <cmath>
#include <memory>

#include "airports/current_airport.h"
#include "airports/loaded_airport.h"
#include "engine/engine_state.h"
#include "foundation/geodesy.h"
#include "motion/stream_checks.h"
#include "platform/simconnect/sim_model.h"
#include "support/motion_harness.h"
#include "support/stand_table.h"
#include "support/temp_dir.h"

using namespace tavo::test;

namespace {

constexpr double kFieldFt = 300.0;
constexpr double kDeg = degreesToRadians;

class ParkedPose : public LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        harness = std::make_unique<MotionHarness>();
        gf_simModelSetTerrain([](double, double) { return kFieldFt; });
        gf_setStandClock(&EngineHarness::nowNs);
    }
    void TearDown() override {
        gf_setStandClock(nullptr);
        clearStandTable();
        gf_clearLoadedAirport();
        gf_clearCurrentAirport();
        harness.reset();
        LogFileTest::TearDown();
    }
    std::unique_ptr<MotionHarness> harness;
};

}  // namespace

TEST_F(ParkedPose, AnAircraftParkedWhenItAppearsStandsAtItsStandingAttitudeAndLeavesWithoutAPitchJump) {
    const LaLo stand{50.03, 8.55};
    gf_setCurrentAirport(AirportListEntry{IcaoCode("EDDF"), IataCode("FRA"), stand, static_cast<std::int32_t>(kFieldFt)});
    LoadedAirport loaded;
    loaded.fileLoaded = true;
    gf_setLoadedAirport(loaded);
    setStandTable({{"GATE B1", stand, ParkingType::GATE_MEDIUM, 30.0}});
    // Parked facing north when it appears, pulling out after 40 s.
    Route b(0xC00002, stand, 0.0, 0.0, 0.0, false);
    b.identity("KLM1234", "PH-BXA", "B738", "KLM");
    b.straight(40).speedTo(10.0, 10).straight(60);
    harness->add(b, 2.0);
    harness->run(13000);
    const AircraftRecord* r = harness->record(b.hexid());
    ASSERT_NE(r, nullptr);
    const LiveAc* ac = harness->engine().live(b.hexid());
    ASSERT_NE(ac, nullptr) << logText();
    EXPECT_EQ(ac->phase, AcPhase::taxi);
    std::size_t parkedTicks = 0;
    std::size_t offAttitude = 0;
    double largestStep = 0.0;
    for (std::size_t i = 0; i < r->samples.size(); ++i) {
        const MotionSample& s = r->samples[i];
        if (s.phase == AcPhase::parked) {
            ++parkedTicks;
            if (std::fabs(s.pose.pitch - ac->staticPitchRad) > 1e-9) ++offAttitude;
        }
        if (i > 0 && r->samples[i - 1].tick == s.tick - 1)
            largestStep = std::max(largestStep, std::fabs(s.pose.pitch - r->samples[i - 1].pose.pitch));
    }
    EXPECT_GT(parkedTicks, 1000u);
    EXPECT_EQ(offAttitude, 0u) << "parked ticks off the standing attitude";
    EXPECT_LT(largestStep, 0.05 * kDeg) << "degrees of pitch in one tick";
}
