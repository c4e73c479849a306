// Departures from a stand, end to end on the motion harness: an aircraft
// first seen as its pushback begins, pushbacks straight and with a turn,
// reports that face the other way or 30 degrees off the stand, and a tow
// without a pushback. Each appears parked at its stand (never "arrives"
// there), leaves it tail first along its nose, and never slides sideways or
// backwards.

#include <gmock/gmock.h>

#include "stand_run_fixture.h"

using namespace tavo::test;

namespace {

class StandDeparture : public StandRunTest {};

}  // namespace

TEST_F(StandDeparture, ItAppearsParkedAndLeavesTailFirstAlongItsNose) {
    struct Row {
        const char* name;
        double standS;            // reported standing at the stand first
        double reportedNoseDeg;   // the true heading the standing reports carry
        double pushTrackDeg;      // the way the pushback (or tow) goes
        double pushNoseOffDeg;    // its reports' nose against that way
        double pushTurnDeg;       // the pushback turns by this at its end
        double pushKt, pushS;     // its speed, and how long at it
        double firstPushReportS;  // after the last standing report
    };
    const Row rows[] = {
        // One report standing, the next one 15 m on: its reports lie 37 m
        // apart by the time it appears, near enough to find the stand again.
        {"first seen as its pushback begins", 0.0, 270.0, 90.0, 180.0, 0.0, 5.5, 8.0, 8.0},
        {"pushed back with a turn", 10.0, 270.0, 90.0, 180.0, -90.0, 4.0, 16.0, 2.0},
        {"reported facing the other way", 10.0, 90.0, 270.0, 180.0, 0.0, 4.0, 16.0, 2.0},
        {"reported 30 degrees off the stand", 10.0, 300.0, 120.0, 180.0, 0.0, 4.0, 16.0, 2.0},
        {"towed off without a pushback", 10.0, 270.0, 270.0, 0.0, 0.0, 4.0, 16.0, 2.0},
    };
    std::uint32_t hexid = 0xE20000;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ++hexid;
        const LaLo stand = onField(200.0, -300.0);
        gate(stand, 270.0);
        Route at = ground(hexid, stand, row.reportedNoseDeg, 0.0);
        at.straight(row.standS);
        Route push = ground(hexid, stand, row.pushTrackDeg, 0.0);
        push.speedTo(row.pushKt, 5).straight(row.pushS).turn(row.pushTurnDeg, 8).speedTo(0.0, 5).straight(20);
        Route away = ground(hexid, push.at(push.duration()).position, 180.0, 0.0);
        away.speedTo(12.0, 8).straight(40);
        const std::int32_t lastDue =
            schedule({{at, 0.0}, {push, row.pushNoseOffDeg, row.firstPushReportS}, {away, 0.0}}, 2.0);
        const TrackVerdict v = run(hexid, lastDue);

        ASSERT_FALSE(v.phases.empty());
        // Parked at its stand, or (first seen as its pushback begins, its
        // reports showing it under way already) pushed back from it at once.
        EXPECT_THAT(v.phases.front(), ::testing::AnyOf(AcPhase::parked, AcPhase::pushing_back));
        const AircraftRecord* r = harness->record(hexid);
        ASSERT_NE(r, nullptr);
        EXPECT_LT(gf_distanceNm({r->samples.front().pose.latitude, r->samples.front().pose.longitude}, stand) *
                      metresPerNm,
                  1.0);
        EXPECT_THAT(v.phases, ::testing::Contains(AcPhase::taxi));
        EXPECT_THAT(newLogLines(), ::testing::Not(::testing::HasSubstr("arrived at stand")));
        EXPECT_LE(v.worstNoseDeg, 30.0) << "at tick " << v.worstTick;
        EXPECT_EQ(v.fastestBackwardsKt, 0.0);
    }
    harness->writePlot("stand_departures");
}
