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

const LaLo kStart{50.02, 8.0};

class TaxiRepeat : public TaxiTest {
protected:
    struct Run {
        int resting = 0;           // ticks it stood
        std::int32_t reached = -1;  // the tick it was at the report after the copies
    };
    // Taxiing east at `kt` through the report at kStart due now, then copies
    // of it at no speed due `copiesDue` ticks from now, then a report `nextM`
    // on at `nextKt` due `nextDue` ticks from now and one 60 m further 8 s
    // later: played until the aircraft is at the report after the copies.
    Run playThroughCopies(double kt, const std::vector<std::int32_t>& copiesDue, double nextM, std::int32_t nextDue,
                          double nextKt) {
        const std::int32_t now = tickCount.load();
        std::deque<StreamPoint> s{ground(kStart, now, kt)};
        for (const std::int32_t due : copiesDue) {
            StreamPoint copy = ground(kStart, now + due, 0.0);
            copy.stationary = 1;
            s.push_back(copy);
        }
        // The reports after the copies carry the pace their positions moved
        // at since the last report at another place, as the decoder gives it.
        const LaLo next = ahead(kStart, 90.0, nextM);
        s.push_back(ground(next, now + nextDue, nextKt));
        s.back().pacedKt = nextM / (nextDue / 100.0) * kMpsToKnots;
        s.push_back(ground(ahead(next, 90.0, 60.0), now + nextDue + 800, nextKt));
        s.back().pacedKt = 60.0 / 8.0 * kMpsToKnots;
        LiveAc& ac = taxiing(std::move(s), AcPhase::taxi, 90.0, Large, 10.0);
        ac.prevPhase = AcPhase::taxi;
        ac.motion.lastStepM = kt * kKnotsToMps / 100.0;
        ac.motion.lastStepTick = now - 1;
        Run run;
        for (int n = 0; n < 6000 && run.reached < 0; ++n) {
            const std::optional<double> stepM = playTick(ac);
            if (!stepM) break;
            if (*stepM < 1e-3) ++run.resting;
            if (metres({ac.pose.latitude, ac.pose.longitude}, next) < 0.5) run.reached = tickCount.load();
            tickCount.store(tickCount.load() + 1);
        }
        return run;
    }
};

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
        std::vector<std::int32_t> copiesDue;
        for (int i = 0; i < row.copies; ++i) copiesDue.push_back(row.copyDue + 300 * i);
        const Run run = playThroughCopies(kKt, copiesDue, row.nextM, row.nextDue, kKt);
        ASSERT_GE(run.reached, 0);
        if (row.holds) {
            EXPECT_GT(run.resting, 300) << "it holds where the copies have it stand";
        } else {
            EXPECT_EQ(run.resting, 0) << "it rolls on through the copies";
            EXPECT_LE(run.reached - (now + row.nextDue), 100) << "ticks late at the next report";
        }
    }
}

TEST_F(TaxiRepeat, CopiesOfAMovingReportItCouldNotHaveStoodToTheLastOfAreLeftInTime) {
    // Reaching a report at 23.9 kt whose position the feed gives again at
    // no speed 5 s and 10 s later; then 198 m on at 8.6 kt, 24.24 s after
    // it. It may have stopped there, but from rest no late taxi (at most 30
    // kt) gets 198 m in the 14.24 s after the second copy: it stops, stands
    // no longer than it can, and is at the report within a second of its
    // time.
    const std::int32_t now = tickCount.load();
    const Run run = playThroughCopies(23.9, {500, 1000}, 198.0, 2424, 8.6);
    ASSERT_GE(run.reached, 0);
    EXPECT_GT(run.resting, 100) << "it stops where the first copy has it stand";
    EXPECT_LE(run.reached - (now + 2424), 100) << "ticks late at the report after the copies";
}
