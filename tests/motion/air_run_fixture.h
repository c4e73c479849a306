#pragma once
// Whole flights on the motion harness over flat ground at a field elevation:
// the harness with its default aircraft, the simulator model's terrain at the
// field, a journal long enough for a whole flight, and the runway table
// emptied afterwards.

#include <memory>

#include "motion/runways.h"
#include "platform/simconnect/sim_model.h"
#include "support/motion_harness.h"
#include "support/temp_dir.h"

namespace tavo::test {

inline constexpr double kAirRunFieldFt = 1500.0;

class AirRunTest : public LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        harness = std::make_unique<MotionHarness>();
        harness->engine().settings([](SettingsSnapshot& s) { s.MAX_HOLDING_MINUTES = 1; });
        gf_simModelSetTerrain([](double, double) { return kAirRunFieldFt; });
        // A whole flight's poses and events.
        gf_simModelSetJournalLimit(100000);
    }
    void TearDown() override {
        gf_clearRunwayTable();
        harness.reset();
        LogFileTest::TearDown();
    }

    std::unique_ptr<MotionHarness> harness;
};

}  // namespace tavo::test
