#pragma once
// Ground aircraft on their own at the one-runway airport of AirTest: stream
// points laid out by bearing and distance, and an aircraft standing at the
// first of them with a heading, a speed and a turn rate in degrees per second.

#include <cmath>
#include <cstdint>
#include <deque>
#include <optional>
#include <utility>

#include "engine/records.h"
#include "foundation/geodesy.h"
#include "motion/motion_math.h"
#include "motion/next_position.h"
#include "motion/pose_path.h"

#include "air_fixture.h"

namespace tavo::test {

class TaxiTest : public AirTest {
protected:
    // The position `metres` from `from` along the bearing (degrees).
    static LaLo ahead(LaLo from, double bearingDeg, double metres) {
        return gf_destinationPoint(from, {bearingDeg * kDeg, metres * feetPerMetre});
    }

    static StreamPoint ground(LaLo where, std::int32_t playTick, double speedKt) {
        StreamPoint p = point(where.lat, where.lon, 0.0, false, playTick);
        p.groundSpeedKt = speedKt;
        p.tasKt = 0.0;
        return p;
    }

    // A route of points from `start`: each leg a bearing (degrees) and a
    // length (m), played one after another `ticksPerLeg` apart from now on,
    // every point at `speedKt`.
    static std::deque<StreamPoint> route(LaLo start, std::initializer_list<std::pair<double, double>> legs,
                                         double speedKt, std::int32_t ticksPerLeg = 500) {
        std::deque<StreamPoint> s{ground(start, tickCount.load(), speedKt)};
        LaLo at = start;
        for (const auto& [bearing, metres] : legs) {
            at = ahead(at, bearing, metres);
            s.push_back(ground(at, s.back().playTick + ticksPerLeg, speedKt));
        }
        return s;
    }

    // On the ground at the front point, heading `headingDeg`, at `speedKt`,
    // turning at most `rateDegPerS` (at 15 to 20 kt; faster a little less,
    // slower a little more).
    static LiveAc& taxiing(std::deque<StreamPoint> stream, AcPhase phase, double headingDeg,
                           std::uint32_t category = Large, double rateDegPerS = 10.0) {
        const double speed = stream.front().groundSpeedKt;
        LiveAc& ac = aircraft(std::move(stream), category, phase);
        ac.onGround = 1;
        ac.prevPhase = AcPhase::pushed_back;
        ac.pose.heading = headingDeg * kDeg;
        ac.pose.trueAirspeed = speed;
        ac.turnRateRad = rateDegPerS * kDeg / 100.0;
        ac.turnRateLimit = ac.turnRateRad;
        return ac;
    }

    // A landing roll east along a fresh runway at 50 kt, 300 m short of its
    // exit corner (the stream's second point), reported there at `cornerKt`,
    // turning `rateDegPerS`; `after` is the report `exitM` on from the corner,
    // turned off by `turnDeg`, due as that leg takes at `cornerKt`.
    LiveAc& rollingToExit(double turnDeg, double cornerKt, double exitM, double rateDegPerS, StreamPoint& after) {
        g_liveAircraft.clear();
        gf_clearRunwayTable();
        airport();
        const double startKt = 50.0;
        const auto ticksFor = [](double m, double kt) {
            return static_cast<std::int32_t>(std::lround(m / (kt * kKnotsToMps) * 100.0));
        };
        std::deque<StreamPoint> s =
            route(past(1500.0), {{90.0, 300.0}}, cornerKt, ticksFor(300.0, (startKt + cornerKt) / 2.0));
        s[0].groundSpeedKt = startKt;
        after = ground(ahead(at(s[1]), 90.0 + turnDeg, exitM), s[1].playTick + ticksFor(exitM, cornerKt), cornerKt);
        LiveAc& ac = taxiing(std::move(s), AcPhase::landing_roll, 90.0, Large, rateDegPerS);
        ac.prevPhase = AcPhase::flying;
        ac.motion.touchdownHeading = 90.0 * kDeg;
        ac.motion.lastStepM = startKt * kKnotsToMps / 100.0;
        ac.motion.lastStepTick = tickCount.load() - 1;
        return ac;
    }

    // The metres between two positions.
    static double metres(LaLo a, LaLo b) { return gf_distanceNm(a, b) * metresPerNm; }
    static LaLo at(const StreamPoint& p) { return {p.lat, p.lon}; }
    // One tick of a taxiing aircraft on its own: the point due now is passed,
    // then the pose moves; the metres it moved, or nothing once the last
    // point is due. The caller moves the clock on.
    static std::optional<double> playTick(LiveAc& ac) {
        if (tickCount.load() >= ac.stream.front().playTick) {
            if (ac.stream.size() < 2) return std::nullopt;
            advanceToNextPoint(ac);
        }
        const LaLo before{ac.pose.latitude, ac.pose.longitude};
        gf_interpolatePoseOnCurve(ac);
        return metres(before, {ac.pose.latitude, ac.pose.longitude});
    }
};

}  // namespace tavo::test
