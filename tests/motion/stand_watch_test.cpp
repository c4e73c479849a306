// Rows for the rules of the stand watches that other tests let change
// unnoticed: the two counted moves after a pushback before the taxi starts,
// the 30 degrees within which a report lies ahead of a gate, how long after
// parking a move off counts as a tow, by category, and a departure marked
// again while the aircraft already leaves.

#include <gmock/gmock.h>

#include "parking_fixture.h"

using namespace tavo::test;

namespace {

class StandWatch : public ParkingTest {};

}  // namespace

TEST_F(StandWatch, TheTaxiAfterAPushbackWaitsForTwoCountedMovesEvenWhenTheFirstGoesFar) {
    LiveAc& ac = parkedOn(0x484B40, 3, "KLM1234");
    ac.phase = AcPhase::pushed_back;
    // Pushed 60 m south of the stand; the first move (66 m) is the second
    // position, the first counted one (82 m) lies 16 m on already.
    const double metres[] = {60.0, 66.0, 82.0, 90.0};
    const bool taxis[] = {false, false, false, true};
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(metres[i]);
        StreamPoint p = groundPoint(from(kB1, 180.0, metres[i]), 11000 + int(i) * 500);
        EXPECT_EQ(checkExtendingSituations(ac, p), taxis[i]);
        EXPECT_EQ(ac.phase, taxis[i] ? AcPhase::taxi : AcPhase::pushed_back);
    }
}

TEST_F(StandWatch, AReportWithin30DegreesAheadOfAGatePullsOutBeyondItIsPushedBack) {
    struct Row {
        double offDeg;
        bool pullOut;
    };
    for (const Row row : {Row{29.9, true}, Row{30.5, false}, Row{-29.9, true}, Row{-30.5, false}}) {
        SCOPED_TRACE(row.offDeg);
        g_liveAircraft.clear();
        stand(1).heading = 90.0 * degreesToRadians;
        LiveAc& ac = parkedOn(0x484B41, 1, "KLM1234");
        ASSERT_EQ(ac.isGate, 1);
        // 230 m off: beyond a Large aircraft's 180 m and a gate's 30 more.
        StreamPoint p = groundPoint(from(kA1, 90.0 + row.offDeg, 230.0), 10300);
        EXPECT_TRUE(checkExtendingSituations(ac, p));
        EXPECT_EQ(ac.motion.pullOut, row.pullOut ? 1 : 0);
    }
}

TEST_F(StandWatch, AMoveOffSoonAfterParkingIsATowWithinTheWindowOfTheCategory) {
    struct Row {
        std::uint32_t category;
        std::int32_t stoodTicks;
        bool towed;
    };
    constexpr std::int32_t kMinute = 6000;
    const Row rows[] = {
        {Heavy, 60 * kMinute - 1, true},    {Heavy, 60 * kMinute, false},    {Large, 25 * kMinute - 1, true},
        {Large, 25 * kMinute, false},       {TwoProps, 15 * kMinute - 1, true}, {TwoProps, 15 * kMinute, false},
        {Bizjet, 15 * kMinute - 1, true},   {Bizjet, 15 * kMinute, false},   {Light, 1, false},
        {HighPerf, 1, false},
    };
    constexpr std::int32_t kParkedAt = 10000;
    constexpr std::int32_t kSevenDays = 60480000;
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.category << " stood " << row.stoodTicks);
        g_liveAircraft.clear();
        LiveAc& ac = parkedOn(0x484B42, 3, "KLM1234");
        ac.category = row.category;
        ac.prevPhase = AcPhase::parking;
        // Parked after driving on: its 7-day point is being played.
        ac.stream.front().playTick = kParkedAt + kSevenDays;
        ac.extrapolationCount = 1;
        tickCount.store(kParkedAt + row.stoodTicks);
        StreamPoint p = groundPoint(from(kB1, 180.0, 40.0), tickCount.load());
        markDeparture(ac, p, false);
        EXPECT_EQ(ac.motion.towed, row.towed ? 1 : 0);
        EXPECT_EQ(ac.extrapolationCount, 0);
    }
}

TEST_F(StandWatch, ADepartureMarkedAgainWhileLeavingOnlyKeepsItPending) {
    LiveAc& ac = parkedOn(0x484B43, 3, "KLM1234");
    ac.prevPhase = AcPhase::parked;
    ac.arrivingHere = 1;
    stand(3).options.clear();
    StreamPoint p = groundPoint(from(kB1, 0.0, 200.0), 10300);
    p.stationary = 1;
    markDeparture(ac, p, true);
    EXPECT_EQ(p.stationary, 0);
    EXPECT_EQ(ac.motion.departurePending, 1);
    EXPECT_EQ(ac.motion.pullOut, 0);
    EXPECT_EQ(ac.arrivingHere, 1);
    EXPECT_TRUE(stand(3).options.empty());
}
