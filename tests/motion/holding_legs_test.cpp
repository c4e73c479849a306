// A holding turn flown leg by leg as the reports come in, each leg planned
// before the report after its point is there: where each leg sets off, how
// the nose turns over it, and the curve a leg is flown along.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "foundation/geodesy.h"
#include "motion/air_movement.h"
#include "motion/motion_math.h"
#include "motion/pose_path.h"
#include "motion/tick_math.h"

#include "air_fixture.h"

using namespace tavo::test;

namespace {

// A holding turn at 210 kt, 3 degrees a second to the right (radius about
// 2 km), flown leg by leg through reports whose next one comes in only after
// the leg to the one before was planned: each leg is planned knowing the
// point it goes to and no point after it.
class HoldingLegs : public AirTest {
protected:
    static constexpr double kKt = 210.0;
    static constexpr double kDegPerS = 3.0;
    LaLo centre{47.5, -122.3};
    double radiusM = kKt * 1852.0 / 3600.0 / (kDegPerS * kDeg);

    // The report `s` seconds into the turn (the turn starts north of the
    // centre heading east).
    StreamPoint report(double s, std::int32_t playTick) const {
        const double bearingDeg = kDegPerS * s;
        const LaLo where = gf_destinationPoint(centre, {bearingDeg * kDeg, radiusM * feetPerMetre});
        StreamPoint p = at(where, 9000, true, playTick, 0, kKt);
        p.trackDeg = std::fmod(90.0 + bearingDeg, 360.0);
        return p;
    }
};

}  // namespace

TEST_F(HoldingLegs, EachLegSetsOffAlongTheCourseTheLegBeforeLeftItOnAndTheNoseFollowsTheWay) {
    // Reports 8, 5 and 10 s apart round the turn. Each leg is planned with the
    // pose where the leg before left it: at its end, or (a leg cut short by a
    // report after a pause) part way along it. Where it sets off, its way
    // runs along the course the leg before had there (a kink there showed as
    // a change of speed of up to 25 kt in a second in 1 s of travel); the
    // nose turns over the leg onto the course its way ends on.
    struct Row {
        double cutShare;  // where along the leg before the pose stands
    };
    for (const Row row : {Row{1.0}, Row{0.6}}) {
        SCOPED_TRACE(::testing::Message() << "the leg before left at " << row.cutShare);
        g_liveAircraft.clear();
        const std::int32_t t0 = tickCount.load();
        LiveAc& ac = aircraft({report(0.0, t0), report(8.0, t0 + 800)}, Large, AcPhase::flying);
        ac.pose.heading = 90.0 * kDeg;
        ac.motion.heightAboveGroundFt = 8700.0;
        stepAir(ac);
        double seconds = 8.0;
        for (const double gapS : {5.0, 10.0, 8.0}) {
            const AirTransition before = ac.motion.transition;
            const HermiteTransition left = hermiteTransitionPoint(before.start, before.end, before.arrivalHeading,
                                                                  before.angleLimit, row.cutShare, before.startCourse);
            ASSERT_TRUE(left.valid);
            // The pose where the leg before left it, the nose along its way.
            ac.pose.latitude = left.position.lat;
            ac.pose.longitude = left.position.lon;
            ac.pose.heading = left.heading;
            tickCount.store(ac.stream[1].playTick);
            ac.stream.pop_front();
            seconds += gapS;
            ac.stream.push_back(report(seconds, tickCount.load() + static_cast<std::int32_t>(gapS * 100.0)));
            stepAir(ac);
            const AirTransition& leg = ac.motion.transition;
            ASSERT_EQ(leg.active, 1);
            const HermiteTransition setOff =
                hermiteTransitionPoint(leg.start, leg.end, leg.arrivalHeading, leg.angleLimit, 0.001, leg.startCourse);
            const HermiteTransition ends =
                hermiteTransitionPoint(leg.start, leg.end, leg.arrivalHeading, leg.angleLimit, 1.0, leg.startCourse);
            EXPECT_NEAR(std::remainder(setOff.heading - left.heading, fullCircle) / kDeg, 0.0, 0.5);
            const double noseEnds = ac.pose.heading + ac.motion.headingPerTick * gapS * 100.0;
            EXPECT_NEAR(std::remainder(noseEnds - ends.heading, fullCircle) / kDeg, 0.0, 0.5);
            // The way ends on the report's own track.
            EXPECT_NEAR(std::remainder(ends.heading - ac.stream[1].trackDeg * kDeg, fullCircle) / kDeg, 0.0, 0.5);
        }
    }
}

TEST(HoldingCurve, ALegSetsOffAlongTheCourseGivenAndIsFlownAtOnePace) {
    // A leg of 1.2 km east arriving along 120 degrees, set off along 60, 110
    // or 90: the curve leaves along the course given (without one, along the
    // chord), ends along 120, and its points at even shares of time lie
    // evenly along it (the curve's own parameter runs faster where it
    // bends).
    const LaLo a{47.5, -122.3};
    const LaLo b = gf_destinationPoint(a, {90.0 * kDeg, 1200.0 * feetPerMetre});
    const double limit = 40.0 * kDeg;
    for (const double setOffDeg : {60.0, 110.0, 90.0}) {
        SCOPED_TRACE(::testing::Message() << "set off along " << setOffDeg);
        const HermiteTransition first = hermiteTransitionPoint(a, b, 120.0 * kDeg, limit, 0.001, setOffDeg * kDeg);
        ASSERT_TRUE(first.valid);
        EXPECT_TRUE(first.curved);
        EXPECT_NEAR(first.heading / kDeg, setOffDeg, 0.5);
        EXPECT_NEAR(hermiteTransitionPoint(a, b, 120.0 * kDeg, limit, 1.0, setOffDeg * kDeg).heading / kDeg, 120.0,
                    1e-6);
        constexpr int kSteps = 200;
        double least = 1e9, most = 0.0;
        LaLo before = a;
        for (int i = 1; i <= kSteps; ++i) {
            const HermiteTransition h =
                hermiteTransitionPoint(a, b, 120.0 * kDeg, limit, static_cast<double>(i) / kSteps, setOffDeg * kDeg);
            ASSERT_TRUE(h.valid);
            const double stepM = gf_distanceNm(before, h.position) * metresPerNm;
            least = std::min(least, stepM);
            most = std::max(most, stepM);
            before = h.position;
        }
        // Within 2 % of one pace all along.
        EXPECT_LT(most / least, 1.02) << least << " to " << most << " m";
    }
    // Without a start course the leg sets off along its chord, as before.
    EXPECT_NEAR(hermiteTransitionPoint(a, b, 120.0 * kDeg, limit, 0.001).heading / kDeg, 90.0, 0.5);
}

TEST_F(HoldingLegs, TheNoseFollowsTheCurveItFliesAlongNotJustItsEnds) {
    // Reports 20 s apart round the turn (60 degrees a leg), each leg flown
    // tick by tick. Along the whole leg the nose stays with the direction
    // of travel; turned evenly from the leg's start to its end, it ran
    // ahead where the curve bends late and behind where it bends early.
    g_liveAircraft.clear();
    const std::int32_t t0 = tickCount.load();
    LiveAc& ac = aircraft({report(0.0, t0), report(20.0, t0 + 2000)}, Large, AcPhase::flying);
    ac.motion.heightAboveGroundFt = 8700.0;
    // Created there with its nose along the way to its next report, as the
    // first leg (knowing no course before it) sets off.
    ac.pose.heading = gf_bearing({ac.stream[0].lat, ac.stream[0].lon}, {ac.stream[1].lat, ac.stream[1].lon});
    double seconds = 20.0;
    double worstDeg = 0.0;
    for (int leg = 0; leg < 3; ++leg) {
        stepAir(ac);
        gf_planAirPace(ac);
        ASSERT_EQ(ac.motion.transition.active, 1);
        ac.stream.pop_front();
        const std::int32_t due = ac.stream.front().playTick;
        while (gf_ticksBetween(tickCount.load(), due) > 0) {
            const LaLo before{ac.pose.latitude, ac.pose.longitude};
            tickCount.store(tickCount.load() + 1);
            gf_interpolatePoseOnCurve(ac);
            const double travel = gf_bearing(before, {ac.pose.latitude, ac.pose.longitude});
            worstDeg = std::max(worstDeg, std::fabs(std::remainder(ac.pose.heading - travel, fullCircle)) / kDeg);
        }
        seconds += 20.0;
        ac.stream.push_back(report(seconds, due + 2000));
    }
    EXPECT_LT(worstDeg, 3.0);
}

TEST_F(HoldingLegs, OnTheApproachTheNoseFollowsTheCurveToo) {
    // On the approach to runway 09 at 1,500 ft, 140 kt on course 140, the
    // next report 20 s straight ahead on the extended centre line with its
    // own heading 090 and the one after it on along the centre line: the
    // leg bends late onto the runway's course. The nose keeps with the
    // curve's course; turned evenly toward the report's heading, it was
    // 36 degrees off the travel half-way along.
    airport();
    g_liveAircraft.clear();
    const std::int32_t t0 = tickCount.load();
    const double legM = 140.0 * 1852.0 / 3600.0 * 20.0;
    const LaLo b = past(-6000.0);
    const LaLo a = gf_destinationPoint(b, {320.0 * kDeg, legM * feetPerMetre});
    const LaLo c = gf_destinationPoint(b, {90.0 * kDeg, legM * feetPerMetre});
    StreamPoint first = at(a, 1900, true, t0, 0, 140.0);
    first.trackDeg = 140.0;
    StreamPoint next = at(b, 1800, true, t0 + 2000, 0, 140.0);
    StreamPoint after = at(c, 1700, true, t0 + 4000, 0, 140.0);
    for (StreamPoint* p : {&next, &after}) {
        p->trackDeg = 90.0;
        p->hasTrueHeading = 1;
        p->trueHeading = 90.0 * kDeg;
    }
    LiveAc& ac = aircraft({first, next, after}, Large, AcPhase::landing);
    ac.pose.heading = 140.0 * kDeg;
    ac.pose.altitude = 1900.0;
    ac.motion.heightAboveGroundFt = 1600.0;
    stepAir(ac);
    gf_planAirPace(ac);
    ASSERT_EQ(ac.phase, AcPhase::landing);
    ASSERT_EQ(ac.motion.transition.active, 1);
    ac.stream.pop_front();
    double worstDeg = 0.0;
    while (gf_ticksBetween(tickCount.load(), ac.stream.front().playTick) > 0) {
        const LaLo before{ac.pose.latitude, ac.pose.longitude};
        tickCount.store(tickCount.load() + 1);
        gf_interpolatePoseOnCurve(ac);
        const double travel = gf_bearing(before, {ac.pose.latitude, ac.pose.longitude});
        worstDeg = std::max(worstDeg, std::fabs(std::remainder(ac.pose.heading - travel, fullCircle)) / kDeg);
    }
    EXPECT_LT(worstDeg, 5.0);
}
