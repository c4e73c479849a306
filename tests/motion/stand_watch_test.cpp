// Rows for the rules of the stand watches that other tests let change
// unnoticed: the second counted move after a pushback, 15 m on from the
// first, or the fourth counted move in a row, that starts the taxi, the 30 degrees within which a report lies
// ahead of a gate, how long after parking a move off counts as a tow, by
// category, and a departure marked again while the aircraft already leaves.

#include <gmock/gmock.h>

#include "parking_fixture.h"

using namespace tavo::test;

namespace {

class StandWatch : public ParkingTest {};

}  // namespace

TEST_F(StandWatch, TheTaxiAfterAPushbackStartsOnTheSecondCountedMove15mOnFromTheFirst) {
    struct Row {
        std::vector<double> metres;  // south of the stand, the first where it was pushed to
        int taxiAt;                  // the report that starts the taxi
    };
    // Pushed 60 m south of the stand; the first counted move (66 m) is the
    // second position.
    const Row rows[] = {
        {{60.0, 66.0, 82.0}, 2},        // the second counted move, 16 m on
        {{60.0, 66.0, 80.9, 86.0}, 3},  // 14.9 m on is not enough
        // Creeping off 4.5 m a report: the fourth counted move starts it,
        // 13.5 m on from the first (the reports may end there).
        {{60.0, 64.5, 69.0, 73.5, 78.0}, 4},
    };
    std::uint32_t hexid = 0x484B40;
    for (const Row& row : rows) {
        LiveAc& ac = parkedOn(++hexid, 3, "KLM1234");
        ac.phase = AcPhase::pushed_back;
        for (std::size_t i = 0; i < row.metres.size(); ++i) {
            SCOPED_TRACE(row.metres[i]);
            StreamPoint p = groundPoint(from(kB1, 180.0, row.metres[i]), 11000 + int(i) * 500);
            const bool taxis = static_cast<int>(i) == row.taxiAt;
            EXPECT_EQ(checkExtendingSituations(ac, p), taxis);
            EXPECT_EQ(ac.phase, static_cast<int>(i) >= row.taxiAt ? AcPhase::taxi : AcPhase::pushed_back);
        }
        g_liveAircraft.clear();
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
