// Parking at stands through engine, link and simulator model on the motion
// harness: an aircraft lands, taxis in, drives onto a free stand and parks
// (engines off and lights changed at their scheduled ticks), then leaves it
// by pushback; another one, parked at its stand when it appeared, leaves by
// pulling out. Both are judged tick by tick by the smoothness checker and
// plotted.

#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "airports/current_airport.h"
#include "airports/loaded_airport.h"
#include "engine/engine_lists.h"
#include "engine/engine_state.h"
#include "engine/live_lists.h"
#include "foundation/geodesy.h"
#include "motion/runways.h"
#include "motion/stream_checks.h"
#include "platform/simconnect/sim_model.h"
#include "simlink/sim_ids.h"
#include "support/motion_harness.h"
#include "support/stand_table.h"
#include "support/temp_dir.h"

#include "runway_fixture.h"

using namespace tavo::test;

namespace {

constexpr double kFieldFt = 300.0;
constexpr double kDeg = degreesToRadians;
constexpr std::int64_t kTickNs = 10'000'000;
// The main loop serves the parked-aircraft schedule once a second, and a
// simulator event reaches the model in the frame after the tick that queued
// it (a frame every 3 ticks).
constexpr std::int32_t kServeTicks = 100;
constexpr std::int32_t kEventLagTicks = kServeTicks + 4;

class ParkingRun : public LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        harness = std::make_unique<MotionHarness>();
        harness->engine().settings([](SettingsSnapshot& s) {
            s.MAX_HOLDING_MINUTES = 1;
            s.RANDOM = 0;  // the parked actions at their earliest ticks
        });
        gf_simModelSetTerrain([](double, double) { return kFieldFt; });
        gf_simModelSetJournalLimit(200000);
        // The arrival at a stand is stamped on the harness's steady clock.
        gf_setStandClock(&EngineHarness::nowNs);
    }
    void TearDown() override {
        gf_setStandClock(nullptr);
        gf_clearRunwayTable();
        clearStandTable();
        gf_clearLoadedAirport();
        gf_clearCurrentAirport();
        harness.reset();
        LogFileTest::TearDown();
    }

    // Runway 09/27 (3000 m) whose landing direction 09 has its touchdown zone
    // at the position; the airport there with its file loaded and the stands.
    static void airportAt(LaLo touchdown, const std::vector<StandSpec>& stands) {
        RunwaySpec spec;
        spec.centre = gf_destinationPoint(touchdown, {90.0 * kDeg, 1200.0 * feetPerMetre});
        spec.altitudeFt = kFieldFt;
        g_runwayTable.emplace_back(makeRunway(spec));
        gf_setCurrentAirport(AirportListEntry{IcaoCode("EDDF"), IataCode("FRA"), spec.centre,
                                              static_cast<std::int32_t>(kFieldFt)});
        LoadedAirport loaded;
        loaded.fileLoaded = true;
        gf_setLoadedAirport(loaded);
        setStandTable(stands);
    }

    // The engine tick at which a journal entry of the object happened.
    std::int32_t tickOf(const SimJournalEntry& e) const {
        const std::int64_t start = EngineHarness::nowNs() - std::int64_t{tickCount.load()} * kTickNs;
        return static_cast<std::int32_t>((e.timeNs - start) / kTickNs);
    }
    // The first client event of the kind with the data at or after `from`.
    std::optional<std::int32_t> eventTick(std::uint32_t objectId, std::uint32_t eventId, std::uint32_t data,
                                          std::int32_t from) const {
        for (const SimJournalEntry& e : harness->engine().journal(objectId, SimJournalKind::ClientEvent))
            if (e.id == eventId && e.data == data && tickOf(e) >= from) return tickOf(e);
        return std::nullopt;
    }

    std::unique_ptr<MotionHarness> harness;
};

std::vector<AcPhase> lf_phases(const AircraftRecord& r) {
    std::vector<AcPhase> phases;
    for (const MotionSample& s : r.samples)
        if (phases.empty() || phases.back() != s.phase) phases.push_back(s.phase);
    return phases;
}

}  // namespace

TEST_F(ParkingRun, LandTaxiInParkAndPushBackThenAnotherPullsOut) {
    // A: 1000 ft above the field on final (on its approach from the start), touching down, rolling out, turning
    // off north and coming to rest on a stand; a minute later it is pushed
    // back 75 m and taxis west.
    Route a(0xC00001, {50.2, 7.9}, 90.0, 140.0, kFieldFt + 1000.0, true);
    a.identity("DLH401", "D-AIBA", "A320", "DLH");
    a.climb(-700).straight(1000.0 / 700.0 * 60.0);
    const LaLo touchdown = a.at(a.duration()).position;
    a.land().speedTo(20.0, 40).turn(-90, 15).speedTo(12.0, 5).straight(30).speedTo(4.0, 10).straight(8);
    a.speedTo(0.0, 5);
    const double parkedFromS = a.duration();
    a.straight(70).turn(180, 1).speedTo(4.0, 4).straight(34).speedTo(0.0, 4).straight(10);
    a.turn(90, 1).speedTo(12.0, 10).straight(50);
    const LaLo standA = a.at(parkedFromS).position;

    // B: parked at its stand 150 m west of A's when it appears, pulling out
    // north after 40 s.
    const LaLo standB = gf_destinationPoint(standA, {270.0 * kDeg, 150.0 * feetPerMetre});
    Route b(0xC00002, standB, 0.0, 0.0, 0.0, false);
    b.identity("KLM1234", "PH-BXA", "B738", "KLM");
    b.straight(40).speedTo(10.0, 10).straight(60);

    airportAt(touchdown, {{"GATE A1", standA, ParkingType::GATE_MEDIUM, 30.0},
                          {"GATE B1", standB, ParkingType::GATE_MEDIUM, 30.0}});
    harness->add(a, 2.0);
    harness->add(b, 2.0, static_cast<std::int32_t>(parkedFromS * 100.0));

    // The parked actions A's arrival schedules, taken as it parks.
    std::vector<ParkedAcAction> scheduled;
    // The main loop serves the schedule once a second.
    std::int32_t servedAt = 0;
    harness->afterTick([&](LiveAc& ac) {
        if (tickCount.load() - servedAt >= kServeTicks) {
            servedAt = tickCount.load();
            gf_runParkedAcSchedule();
        }
        if (ac.hexid != a.hexid() || ac.phase != AcPhase::parked || !scheduled.empty()) return;
        for (const ParkedAcAction& entry : parkedActionSchedule)
            if (entry.hexid == a.hexid()) scheduled.push_back(entry);
    });
    bool seenA = false;
    bool seenB = false;
    ASSERT_TRUE(harness->runUntil(
        [&] {
            const LiveAc* liveA = harness->engine().live(a.hexid());
            const LiveAc* liveB = harness->engine().live(b.hexid());
            seenA = seenA || liveA != nullptr;
            seenB = seenB || liveB != nullptr;
            return seenA && seenB && liveA == nullptr && liveB == nullptr;
        },
        80000));
    EXPECT_TRUE(std::filesystem::exists(harness->writePlot("parking_land_park_pushback_pullout")));

    const AircraftRecord* ra = harness->record(a.hexid());
    const AircraftRecord* rb = harness->record(b.hexid());
    ASSERT_NE(ra, nullptr);
    ASSERT_NE(rb, nullptr);
    for (const AircraftRecord* r : {ra, rb}) {
        const MotionCheckResult result = SmoothnessChecker{}.checkAll(*r);
        EXPECT_TRUE(result.findings.empty()) << r->callsign << "\n" << result.summary();
        if (r == ra) EXPECT_GT(result.judged.at(MotionCheck::PushbackHeading), 1000u);
    }

    using P = AcPhase;
    // The reports of its taxi came (half a minute early) before the pushback
    // ended: the taxi starts as it ends, holding where it stopped until they
    // move on.
    EXPECT_THAT(lf_phases(*ra), ::testing::ElementsAre(P::landing, P::landing_roll, P::taxi, P::parking,
                                                       P::parked, P::pushing_back, P::taxi));
    EXPECT_THAT(lf_phases(*rb), ::testing::ElementsAre(P::parked, P::taxi));
    const std::string log = logText();
    EXPECT_THAT(log, ::testing::HasSubstr("GATE A1       : DLH401   arrived at stand"));
    EXPECT_THAT(log, ::testing::HasSubstr("GATE B1       : KLM1234  pulling out"));

    // A stood on its stand, facing it, and the engines went off and the
    // lights changed at the ticks its arrival scheduled.
    const auto parked = std::find_if(ra->samples.begin(), ra->samples.end(),
                                     [](const MotionSample& s) { return s.phase == P::parked; });
    ASSERT_NE(parked, ra->samples.end());
    EXPECT_LT(gf_distanceNm({parked->pose.latitude, parked->pose.longitude}, standA) * metresPerNm, 18.0);
    ASSERT_EQ(scheduled.size(), 3u);
    for (const ParkedAcAction& entry : scheduled) {
        SCOPED_TRACE(entry.action);
        // Engines off; the first light change switches the taxi lights on
        // (with nav, logo and cabin), the second one off again.
        const std::uint32_t eventId = entry.action == 0 ? ENGINE_AUTO_SHUTDOWN : TAXI_LIGHTS_SET;
        const std::uint32_t data = entry.action == 1 ? 1 : 0;
        const auto at = eventTick(ra->objectId, eventId, data, entry.dueTick);
        ASSERT_TRUE(at.has_value());
        EXPECT_LE(*at, entry.dueTick + kEventLagTicks);
    }
}
