// Arrivals driving onto a stand, end to end on the motion harness: from
// behind it, from either side and from in front of it (the side its nose
// points to). Each drives on nose first, turning where it must, parks facing
// the stand's heading, and never slides sideways or backwards.

#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>

#include "stand_run_fixture.h"

using namespace tavo::test;

namespace {

class StandArrival : public StandRunTest {};

}  // namespace

TEST_F(StandArrival, ItDrivesOntoItsStandNoseFirstFromAnySide) {
    struct Row {
        const char* name;
        double fromDeg;  // where it comes from, seen from the stand
    };
    // The stand faces west (270).
    const Row rows[] = {{"from behind", 90.0}, {"from the north side", 0.0}, {"from the south side", 180.0},
                        {"from in front", 270.0}};
    std::uint32_t hexid = 0xE30000;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ++hexid;
        const LaLo stand = onField(200.0, -300.0);
        gate(stand, 270.0);
        const LaLo start = gf_destinationPoint(stand, {row.fromDeg * kDeg, 90.0 * feetPerMetre});
        Route in = ground(hexid, start, std::fmod(row.fromDeg + 180.0, 360.0), 5.0);
        in.straight(27.5).speedTo(0.0, 10).straight(20);
        const TrackVerdict v = run(hexid, schedule({{in, std::nullopt}}, 2.0) + 6000, AcPhase::parked);

        EXPECT_THAT(v.phases, ::testing::IsSupersetOf({AcPhase::parking, AcPhase::parked}));
        EXPECT_THAT(newLogLines(), ::testing::HasSubstr("GATE 2        : KLM1234  arrived at stand"));
        EXPECT_LE(v.worstNoseDeg, 30.0) << "at tick " << v.worstTick;
        EXPECT_EQ(v.fastestBackwardsKt, 0.0);
        const AircraftRecord* r = harness->record(hexid);
        ASSERT_NE(r, nullptr);
        const auto parked = std::find_if(r->samples.begin(), r->samples.end(),
                                         [](const MotionSample& s) { return s.phase == AcPhase::parked; });
        ASSERT_NE(parked, r->samples.end());
        EXPECT_LT(std::fabs(std::remainder(parked->pose.heading - 270.0 * kDeg, fullCircle)), 5.0 * kDeg);
        EXPECT_LT(gf_distanceNm({parked->pose.latitude, parked->pose.longitude}, stand) * metresPerNm, 2.0);
    }
    harness->writePlot("stand_arrivals");
}
