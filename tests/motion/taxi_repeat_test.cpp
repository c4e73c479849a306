// The feed repeats a taxiing aircraft's last position, at no speed, while the
// aircraft moves on. Copies that the next report shows it never stood at
// (further than a late leg catches up from rest in the time after them,
// within reach from the moving report on) are rolled through; a hold the
// next report leaves time for is held.

#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "foundation/geodesy.h"
#include "motion/motion_math.h"
#include "motion/next_position.h"
#include "motion/pose_path.h"

#include "taxi_fixture.h"

using namespace tavo::test;

namespace {

using TaxiRepeat = TaxiTest;

const LaLo kStart{50.02, 8.0};

}  // namespace

TEST_F(TaxiRepeat, CopiesOfAMovingReportItNeverStoodAtAreRolledThrough) {
    constexpr double kKt = 15.6;
    struct Row {
        const char* name;
        int copies;  // 300 ticks apart
        std::int32_t copyDue, nextDue;
        double nextM;
        bool holds;
    };
    // A copy whose next report lies within a catch-up's mean speed of it,
    // but further than setting off from rest at the taxi rate gets in time.
    for (const Row row : {Row{"stale copy", 1, 400, 1000, 120.0, false}, Row{"two stale copies", 2, 300, 1100, 130.0, false},
                          Row{"a copy too soon before the next report to set off from", 1, 140, 420, 30.0, false},
                          Row{"a hold with time left", 1, 1500, 2000, 40.0, true}}) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        const std::int32_t now = tickCount.load();
        StreamPoint copy = ground(kStart, now + row.copyDue, 0.0);
        copy.stationary = 1;
        std::deque<StreamPoint> s{ground(kStart, now, kKt)};
        for (int i = 0; i < row.copies; ++i, copy.playTick += 300) s.push_back(copy);
        const LaLo next = ahead(kStart, 90.0, row.nextM);
        s.push_back(ground(next, now + row.nextDue, kKt));
        s.push_back(ground(ahead(next, 90.0, 60.0), now + row.nextDue + 800, kKt));
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 90.0, Large, 10.0);
        ac.prevPhase = AcPhase::taxi;
        ac.motion.lastStepM = kKt * kKnotsToMps / 100.0;
        ac.motion.lastStepTick = now - 1;

        int resting = 0;
        std::int32_t reached = -1;
        for (int n = 0; n < 6000 && reached < 0; ++n) {
            const std::optional<double> stepM = playTick(ac);
            if (!stepM) break;
            const LaLo after{ac.pose.latitude, ac.pose.longitude};
            if (*stepM < 1e-3) ++resting;
            if (metres(after, next) < 0.5) reached = tickCount.load();
            tickCount.store(tickCount.load() + 1);
        }
        ASSERT_GE(reached, 0);
        if (row.holds) {
            EXPECT_GT(resting, 300) << "it holds where the copies have it stand";
        } else {
            EXPECT_EQ(resting, 0) << "it rolls on through the copies";
            EXPECT_LE(reached - (now + row.nextDue), 100) << "ticks late at the next report";
        }
    }
}

TEST_F(TaxiRepeat, CopiesOfAMovingReportItCouldNotHaveStoodToTheLastOfAreLeftInTime) {
    // Reaching a report at 23.9 kt whose position the feed gives again at
    // no speed 7.97 s and 13.92 s later; then 198 m on at 8.6 kt, 24.24 s
    // after it. It may have stopped there, but from rest no late taxi gets
    // 198 m in the 10.32 s after the second copy: it stops, stands no
    // longer than it can, and is at the report within a second of its time.
    constexpr double kKt = 23.9;
    const std::int32_t now = tickCount.load();
    StreamPoint copy = ground(kStart, now + 797, 0.0);
    copy.stationary = 1;
    std::deque<StreamPoint> s{ground(kStart, now, kKt), copy};
    copy.playTick = now + 1392;
    s.push_back(copy);
    const LaLo next = ahead(kStart, 90.0, 198.0);
    s.push_back(ground(next, now + 2424, 8.6));
    s.push_back(ground(ahead(next, 90.0, 60.0), now + 2424 + 800, 8.6));
    LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 90.0, Large, 10.0);
    ac.prevPhase = AcPhase::taxi;
    ac.motion.lastStepM = kKt * kKnotsToMps / 100.0;
    ac.motion.lastStepTick = now - 1;
    int resting = 0;
    std::int32_t reached = -1;
    for (int n = 0; n < 6000 && reached < 0; ++n) {
        const std::optional<double> stepM = playTick(ac);
        if (!stepM) break;
        if (*stepM < 1e-3) ++resting;
        if (metres({ac.pose.latitude, ac.pose.longitude}, next) < 0.5) reached = tickCount.load();
        tickCount.store(tickCount.load() + 1);
    }
    ASSERT_GE(reached, 0);
    EXPECT_GT(resting, 300) << "it stops where the first copy has it stand";
    EXPECT_LE(reached - (now + 2424), 100) << "ticks late at the report after the copies";
}
