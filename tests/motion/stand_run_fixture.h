#pragma once
// Aircraft at stands and on the runway through engine, link and simulator
// model on the motion harness: runway 09/27 of FRA (3000 m, centre 50 N 8 E)
// with the airport's file loaded and its stands, scripted streams made of
// routes one after another (each report may carry a true heading), and the
// judge of what the tracks must never show: the nose more than 30 degrees off
// the direction of travel above 3 kt (in pushback off its opposite), or the
// aircraft travelling backwards outside pushback.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "airports/current_airport.h"
#include "airports/loaded_airport.h"
#include "engine/engine_state.h"
#include "engine/removal.h"
#include "engine/stands.h"
#include "foundation/geodesy.h"
#include "motion/runways.h"
#include "platform/simconnect/sim_model.h"
#include "support/motion_harness.h"
#include "support/stand_table.h"
#include "support/temp_dir.h"

#include "runway_fixture.h"

namespace tavo::test {

// One stretch of a scripted stream: its reports carry the route's track and,
// when given, a true heading that far off it (a pushback: 180).
struct Stretch {
    Route route;
    std::optional<double> noseOffDeg;
    // Its first report this long after it begins (s); the report interval
    // when not given.
    std::optional<double> firstAfterS = std::nullopt;
};

// The worst of a track: nose against travel (degrees) above 3 kt and the
// fastest travel backwards (kt) outside pushback, over 0.5 s of travel.
struct TrackVerdict {
    double worstNoseDeg = 0.0;
    double fastestBackwardsKt = 0.0;
    std::int32_t worstTick = 0;
    std::map<AcPhase, double> worstNoseDegByPhase;
    std::vector<AcPhase> phases;  // in the order entered
    double worstNoseDegIn(AcPhase phase) const {
        const auto it = worstNoseDegByPhase.find(phase);
        return it == worstNoseDegByPhase.end() ? 0.0 : it->second;
    }
};

inline TrackVerdict judgeTrack(const AircraftRecord& r) {
    TrackVerdict v;
    constexpr std::size_t window = 50;
    const auto& s = r.samples;
    for (const MotionSample& x : s)
        if (v.phases.empty() || v.phases.back() != x.phase) v.phases.push_back(x.phase);
    for (std::size_t i = 0; i + window < s.size(); ++i) {
        const MotionSample& a = s[i];
        const MotionSample& b = s[i + window];
        if (b.tick - a.tick != static_cast<std::int32_t>(window) || !a.onGround || !b.onGround) continue;
        const LaLo from{a.pose.latitude, a.pose.longitude};
        const LaLo to{b.pose.latitude, b.pose.longitude};
        const double kt = gf_distanceNm(from, to) * 360000.0 / static_cast<double>(window);
        if (!(kt > 1.0)) continue;
        const MotionSample& mid = s[i + window / 2];
        const bool push = mid.phase == AcPhase::pushing_back;
        const double off =
            std::fabs(std::remainder(gf_bearing(from, to) - mid.pose.heading - (push ? pi : 0.0), fullCircle)) *
            radiansToDegrees;
        if (kt > 3.0) {
            double& worstIn = v.worstNoseDegByPhase[mid.phase];
            worstIn = std::max(worstIn, off);
            if (off > v.worstNoseDeg) {
                v.worstNoseDeg = off;
                v.worstTick = mid.tick;
            }
        }
        if (!push && off > 90.0 && kt > v.fastestBackwardsKt) v.fastestBackwardsKt = kt;
    }
    return v;
}

class StandRunTest : public LogFileTest {
protected:
    static constexpr double kFieldFt = 300.0;
    static constexpr double kDeg = degreesToRadians;

    void SetUp() override {
        LogFileTest::SetUp();
        // The user's aircraft stands off the runway and the stands.
        EngineHarness::Options options;
        options.userPosition = LaLo{50.03, 7.97};
        harness = std::make_unique<MotionHarness>(options);
        harness->engine().settings([](SettingsSnapshot& s) { s.MAX_HOLDING_MINUTES = 1; });
        gf_simModelSetTerrain([](double, double) { return kFieldFt; });
        gf_simModelSetJournalLimit(100000);
        runway = addAirportRunway(spec);
        LoadedAirport loaded;
        loaded.fileLoaded = true;
        gf_setLoadedAirport(loaded);
        // Every flight leaves from FRA.
        harness->afterTick([](LiveAc& ac) { ac.origin = IataCode("FRA"); });
    }
    void TearDown() override {
        gf_clearRunwayTable();
        clearStandTable();
        gf_clearLoadedAirport();
        gf_clearCurrentAirport();
        harness.reset();
        LogFileTest::TearDown();
    }

    // `alongM` from the 09 threshold along the runway, `rightM` to its right.
    LaLo onField(double alongM, double rightM) const { return placeOn(runway, alongM - spec.lengthM / 2.0, rightM); }

    // One gate facing `headingDeg` (the table's only stand).
    static void gate(LaLo at, double headingDeg) {
        setStandTable({{"GATE 2", at, ParkingType::GATE_MEDIUM, 15.0}});
        g_standTable[0].heading = headingDeg * kDeg;
    }

    // A route on the ground from `at`, of the aircraft.
    static Route ground(std::uint32_t hexid, LaLo at, double trackDeg, double speedKt) {
        Route r(hexid, at, trackDeg, speedKt, kFieldFt, true);
        r.land();
        return r;
    }

    // Schedules the stretches one after another from now, a report every
    // `everyS` seconds (each stretch's first report is the last one of the
    // stretch before); returns the tick the last report is played at.
    std::int32_t schedule(const std::vector<Stretch>& stretches, double everyS) {
        const std::int32_t from = harness->engine().engineTick();
        double start = 0.0;
        for (std::size_t k = 0; k < stretches.size(); ++k) {
            const Stretch& st = stretches[k];
            for (double t = k == 0 ? 0.0 : st.firstAfterS.value_or(everyS); t <= st.route.duration() + 1e-9;
                 t += everyS) {
                TrafficRecord r = st.route.reportAt(t);
                if (st.noseOffDeg) {
                    r.point.trueHeading = std::fmod(r.point.trackDeg + *st.noseOffDeg + 360.0, 360.0) * kDeg;
                    r.point.hasTrueHeading = 1;
                }
                r.time = 1.7e9 + from / 100.0 + start + t;
                harness->engine().schedule(from + static_cast<std::int32_t>(std::llround((start + t) * 100.0)), {r});
            }
            start += st.route.duration();
        }
        return from + static_cast<std::int32_t>(std::llround(start * 100.0)) + 3000;
    }

    // Runs until the aircraft has come and gone, reached `phase`, or until
    // `untilTick` (the tick the last report plays at) and 20 s more; its
    // verdict.
    TrackVerdict run(std::uint32_t hexid, std::int32_t untilTick, std::optional<AcPhase> phase = std::nullopt) {
        bool seen = false;
        harness->runUntil(
            [&] {
                const LiveAc* ac = harness->engine().live(hexid);
                seen = seen || ac != nullptr;
                return (seen && ac == nullptr) || (ac != nullptr && phase && ac->phase == *phase) ||
                       harness->engine().engineTick() >= untilTick + 2000;
            },
            untilTick + 4000);
        // Gone before the next aircraft comes: it would hold the stand.
        if (LiveAc* ac = harness->engine().live(hexid)) {
            removeAircraftFromSim(*ac);
            EXPECT_TRUE(harness->runUntilGone(hexid, 1000));
        }
        const AircraftRecord* r = harness->record(hexid);
        if (r == nullptr) {
            ADD_FAILURE() << "never active";
            return {};
        }
        return judgeTrack(*r);
    }

    RunwaySpec spec;
    FacilityRunway runway;
    std::unique_ptr<MotionHarness> harness;
};

}  // namespace tavo::test
