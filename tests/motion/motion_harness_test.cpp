// The smoothness checker finds each kind of fault in a recording and passes a
// clean one; scripted air and ground streams of Light and Heavy aircraft run
// through engine, link and simulator model pass it, the received poses too;
// faults injected into a run are found; streams across the 180th meridian and
// a curved leg that yields no point move on smoothly.

#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <limits>
#include <set>
#include <sstream>
#include <string>

#include "engine/engine_state.h"
#include "foundation/geodesy.h"
#include "motion/curves.h"
#include "motion/motion_math.h"
#include "support/motion_harness.h"
#include "support/temp_dir.h"

using namespace tavo::test;

namespace {

constexpr double kDeg = degreesToRadians;

// ---------------------------------------------------------------------------
// Synthetic recordings

// `ticks` samples of an aircraft going north at `speedKt`, with a point
// reached every 100 ticks on time.
AircraftRecord lf_straight(std::uint32_t category, bool onGround, double speedKt, int ticks = 300) {
    AircraftRecord r;
    r.hexid = 0xC0FFEE;
    r.callsign = "TEST1";
    r.category = category;
    const double degPerTick = speedKt * kKnotsToMps * 0.01 / 111320.0;
    for (int i = 0; i < ticks; ++i) {
        MotionSample s;
        s.tick = 1000 + i;
        s.pose.latitude = 50.0 + degPerTick * i;
        s.pose.longitude = 8.0;
        s.pose.altitude = onGround ? 0.0 : 3000.0 + 0.1 * i;  // 600 ft/min
        s.pose.trueAirspeed = speedKt;
        s.pose.heading = 0.0;
        s.phase = onGround ? AcPhase::taxi : AcPhase::flying;
        s.onGround = onGround;
        s.legSpeedKt = speedKt;
        s.reportedKt = speedKt;
        s.turnRateRad = 0.07 * kDeg;
        s.heightAboveGroundFt = onGround ? 0.0 : 3000.0;
        s.legStart = i % 100 == 0;
        r.samples.push_back(s);
        if (i % 100 == 0) r.arrivals.push_back({s.tick, s.tick, 0.01, false, i == 0});
    }
    return r;
}

struct Fault {
    const char* name;
    std::uint32_t category;
    bool onGround;
    std::function<void(AircraftRecord&)> prepare;  // the clean recording of the check's situation
    std::function<void(AircraftRecord&)> inject;
    MotionCheck expected;
};

MotionSample& lf_at(AircraftRecord& r, int i) { return r.samples[static_cast<std::size_t>(i)]; }
void lf_phase(AircraftRecord& r, AcPhase phase) {
    for (auto& s : r.samples) s.phase = phase;
}

// Lays the recording's track north at a speed (m/s) given for each tick.
void lf_speeds(AircraftRecord& r, const std::function<double(int)>& mps) {
    double lat = 50.0;
    for (int i = 0; i < static_cast<int>(r.samples.size()); ++i) {
        lf_at(r, i).pose.latitude = lat;
        lat += mps(i) * 0.01 / 111320.0;
    }
}
constexpr double kTaxiMps = 8.0 * kKnotsToMps;

}  // namespace

TEST(SmoothnessChecker, FindsEachFaultAndPassesTheCleanRecording) {
    const auto none = [](AircraftRecord&) {};
    const Fault faults[] = {
        {"jump", Large, false, none, [](AircraftRecord& r) { lf_at(r, 150).pose.latitude += 2e-5; },
         MotionCheck::PositionStep},
        {"NaN", Large, false, none, [](AircraftRecord& r) { lf_at(r, 150).pose.altitude = std::nan(""); },
         MotionCheck::Finite},
        {"heading 2 pi", Large, false, none, [](AircraftRecord& r) { lf_at(r, 150).pose.heading = fullCircle; },
         MotionCheck::HeadingRange},
        {"air turn", Heavy, false, none,
         [](AircraftRecord& r) {
             for (int i = 150; i < 300; ++i) lf_at(r, i).pose.heading = 0.09 * kDeg;
         },
         MotionCheck::AirTurnRate},
        {"ground turn", Large, true, none,
         [](AircraftRecord& r) {
             for (int i = 150; i < 300; ++i) lf_at(r, i).pose.heading = fullCircle - 0.085 * kDeg;
         },
         MotionCheck::GroundTurnRate},
        {"bank", Heavy, false, none, [](AircraftRecord& r) { lf_at(r, 150).pose.bank = 21.0 * kDeg; },
         MotionCheck::BankLimit},
        {"climb", Large, false, none,
         [](AircraftRecord& r) {
             for (int i = 150; i < 300; ++i) lf_at(r, i).pose.altitude += 0.002 * (i - 149);
         },
         MotionCheck::ClimbChange},
        // Pushed tail first: the nose points south while the aircraft moves
        // north, swinging as the tug turns it (0.06 degrees a tick, within
        // the turn rate); faulty, one tick swings it 0.2 degrees more.
        {"pushback", Large, true,
         [](AircraftRecord& r) {
             lf_phase(r, AcPhase::pushing_back);
             for (int i = 0; i < 300; ++i) lf_at(r, i).pose.heading = pi + 0.06 * kDeg * std::clamp(i - 100, 0, 100);
         },
         [](AircraftRecord& r) { lf_at(r, 150).pose.heading += 0.2 * kDeg; }, MotionCheck::PushbackHeading},
        {"backwards", Light, true, [](AircraftRecord& r) { lf_phase(r, AcPhase::takeoff_roll); },
         [](AircraftRecord& r) {
             // One tick 3 cm back, then on at the same speed.
             const double step = lf_at(r, 150).pose.latitude - lf_at(r, 149).pose.latitude;
             for (int i = 150; i < 300; ++i) lf_at(r, i).pose.latitude -= step + 2.5e-7;
         },
         MotionCheck::TakeoffRollBackwards},
        {"profile join", Large, true,
         [](AircraftRecord& r) {
             for (auto& s : r.samples) s.profiled = true;
         },
         [](AircraftRecord& r) {
             for (int i = 200; i < 300; ++i) lf_at(r, i).pose.trueAirspeed += 0.6;
         },
         MotionCheck::ProfileJoin},
        {"taxi leg squeezed", Light, true, none,
         [](AircraftRecord& r) {
             // Half a second at 100 kt where 40 kt are reported, the step
             // within the leg's own speed.
             const double extra = (100.0 - 40.0) * kKnotsToMps * 0.01 / 111320.0;
             for (int i = 150; i < 300; ++i) {
                 lf_at(r, i).pose.latitude += extra * std::min(i - 149, 50);
                 if (i < 200) lf_at(r, i).legSpeedKt = 100.0;
             }
         },
         MotionCheck::GroundSpeed},
        // Braking from 8 kt at 2.5 m/s^2 to rest, or standing and speeding up
        // so; faulty, from 8 kt to rest in one tick, or the other way round.
        {"dead stop", Light, true,
         [](AircraftRecord& r) { lf_speeds(r, [](int i) { return std::max(0.0, kTaxiMps - 0.025 * std::max(0, i - 100)); }); },
         [](AircraftRecord& r) { lf_speeds(r, [](int i) { return i < 150 ? kTaxiMps : 0.0; }); }, MotionCheck::RestChange},
        {"jump start", Light, true,
         [](AircraftRecord& r) { lf_speeds(r, [](int i) { return std::min(kTaxiMps, 0.025 * std::max(0, i - 100)); }); },
         [](AircraftRecord& r) { lf_speeds(r, [](int i) { return i < 150 ? 0.0 : kTaxiMps; }); }, MotionCheck::RestChange},
        {"point missed", Large, false, none, [](AircraftRecord& r) { r.arrivals[1].missM = 0.6; },
         MotionCheck::PointReached},
        {"point late", Large, false, none, [](AircraftRecord& r) { r.arrivals[2].tick += 1; },
         MotionCheck::PointReached},
    };
    for (const Fault& f : faults) {
        SCOPED_TRACE(f.name);
        AircraftRecord clean = lf_straight(f.category, f.onGround, f.category == Light ? 40.0 : 150.0);
        f.prepare(clean);
        const MotionCheckResult ok = SmoothnessChecker{}.check(clean);
        EXPECT_TRUE(ok.findings.empty()) << ok.summary();
        EXPECT_GT(ok.judged.count(f.expected) ? ok.judged.at(f.expected) : 0u, 0u);
        AircraftRecord faulty = clean;
        f.inject(faulty);
        const MotionCheckResult found = SmoothnessChecker{}.check(faulty);
        EXPECT_TRUE(found.has(f.expected)) << found.summary();
        for (const MotionFinding& finding : found.findings) EXPECT_EQ(finding.check, f.expected) << finding.text();
    }
}

TEST(SmoothnessChecker, AnExemptionSparesItsStretchByName) {
    AircraftRecord r = lf_straight(Large, false, 150.0);
    r.samples[150].pose.latitude += 2e-5;
    SmoothnessChecker checker;
    checker.exempt({MotionCheck::PositionStep, r.hexid, 1150, 1151, "test jump"});
    const MotionCheckResult result = checker.check(r);
    EXPECT_TRUE(result.findings.empty()) << result.summary();
    EXPECT_EQ(result.exempted.at("test jump"), 2u);
    EXPECT_EQ(result.exempted.at("activation"), 1u);
    // Another aircraft is not spared.
    r.hexid = 0xBEEF;
    EXPECT_TRUE(checker.check(r).has(MotionCheck::PositionStep));
}

TEST(SmoothnessChecker, ADeadReckonedPointCutShortByAReportIsNoPointMissed) {
    // The aircraft was 80 m short of the point its leg went to when the point
    // fell due: missed, unless the point was a dead-reckoned one that the
    // first report after a dry spell made due at once.
    for (const bool deadReckoned : {false, true}) {
        AircraftRecord r = lf_straight(Large, false, 150.0);
        r.arrivals[2].missM = 80.0;
        r.arrivals[2].deadReckoningEnded = deadReckoned;
        const MotionCheckResult result = SmoothnessChecker{}.check(r);
        EXPECT_EQ(result.has(MotionCheck::PointReached), !deadReckoned) << result.summary();
        EXPECT_EQ(result.exempted.count("dead reckoning ended"), deadReckoned ? 1u : 0u);
    }
}

TEST(SmoothnessChecker, ARepeatAtNoSpeedIsStaleWhenTheWayRoundTheCornerOfTheTracksWentOn) {
    // A taxi reported going west at 19.9 kt, its position given again at no
    // speed 41.6 s later, then reported 240 m south-south-west going 160
    // degrees 8.4 s after that: 9.3 kt by the straight line, under half its
    // speed, but 393 m round the corner its tracks meet at. The aircraft
    // went on, and a track at 15 kt meanwhile, the pace of the way round,
    // is within a quarter and 5 kt over the straight line's. Where the tracks
    // do not meet ahead (it was going east, or gave no track) the repeat is a
    // stop, and 15 kt there is too fast.
    const LaLo x{47.4557940, -122.3092780};
    struct Row {
        double trackDeg;
        bool stale;
    };
    for (const Row row : {Row{270.0, true}, Row{90.0, false}, Row{std::nan(""), false}}) {
        SCOPED_TRACE(row.trackDeg);
        AircraftRecord r = lf_straight(Light, true, 15.0, 1500);
        const auto report = [](double s, LaLo at, double kt, double trackDeg) {
            return ReportedPosition{s, s * 100.0, at, 0.0, kt, trackDeg, false, std::nullopt};
        };
        const double eastDeg = 82.0 / (111320.0 * std::cos(x.lat * kDeg));
        r.reports = {report(-8.0, {x.lat, x.lon + (row.trackDeg == 90.0 ? -eastDeg : eastDeg)}, 19.9, row.trackDeg),
                     report(0.0, x, 19.9, row.trackDeg), report(41.6, x, 0.0, 160.0),
                     report(50.0, {47.4537120, -122.3101040}, 19.9, 160.0),
                     report(57.66, {47.4530470, -122.3097460}, 19.9, 160.0)};
        const MotionCheckResult result = SmoothnessChecker{}.checkAll(r);
        EXPECT_GT(result.judged.at(MotionCheck::TravelSpeed), 20u);
        EXPECT_EQ(result.count(MotionCheck::TravelSpeed) == 0, row.stale) << result.summary();
    }
}

// ---------------------------------------------------------------------------
// Runs through engine, link and model

namespace {

class MotionRun : public LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        harness = std::make_unique<MotionHarness>(options());
        // One minute of holding on the ground, so runs end soon after their
        // reports.
        harness->engine().settings([](SettingsSnapshot& s) { s.MAX_HOLDING_MINUTES = 1; });
    }
    void TearDown() override {
        harness.reset();
        LogFileTest::TearDown();
    }
    virtual EngineHarness::Options options() const { return {}; }

    // Runs until every route's aircraft has come and gone.
    void runAll(const std::vector<Route>& routes, int maxTicks) {
        for (const Route& r : routes)
            ASSERT_TRUE(harness->runUntilGone(r.hexid(), maxTicks)) << std::hex << r.hexid();
    }

    std::unique_ptr<MotionHarness> harness;
};

Route lf_route(std::uint32_t hexid, const char* type, LaLo start, double headingDeg, double speedKt, double altitudeFt,
               bool airborne) {
    Route r(hexid, start, headingDeg, speedKt, altitudeFt, airborne);
    r.identity(fmt::format("KLM{}", hexid % 1000), fmt::format("PH-{:03X}", hexid % 4096), type, "KLM");
    return r;
}

}  // namespace

TEST_F(MotionRun, AirAndGroundStreamsOfLightAndHeavyAircraftPassTheChecker) {
    // Each turns west across north and back, climbs or taxis; reports every
    // 2 s; then the stream runs dry and the aircraft extrapolates or holds.
    // Two more cross the 180th meridian.
    std::vector<Route> routes;
    routes.push_back(lf_route(0xA00001, "C172", {50.2, 8.2}, 60.0, 100.0, 3000.0, true));
    routes.back().straight(20).climb(500).turn(-120, 30).straight(20).climb(0).turn(90, 20).straight(10);
    routes.push_back(lf_route(0xA00002, "B77W", {50.3, 7.8}, 45.0, 280.0, 9000.0, true));
    routes.back().straight(20).climb(-1500).turn(-90, 30).straight(30).climb(0).straight(10);
    routes.push_back(lf_route(0xA00003, "C172", {50.01, 8.01}, 30.0, 10.0, 0.0, false));
    routes.back().straight(20).turn(-60, 20).straight(20).speedTo(14.0, 10).straight(10);
    routes.push_back(lf_route(0xA00004, "B77W", {50.02, 7.99}, 20.0, 15.0, 0.0, false));
    routes.back().straight(20).turn(-50, 25).straight(25);
    routes.push_back(lf_route(0xA00006, "B77W", {-16.6, 179.9}, 80.0, 280.0, 7000.0, true));
    routes.back().straight(60).turn(30, 20).straight(30);
    routes.push_back(lf_route(0xA00007, "C172", {-16.49, -179.998}, 270.0, 12.0, 0.0, false));
    routes.back().straight(60);
    for (const Route& r : routes) harness->add(r, 2.0);
    runAll(routes, 40000);
    harness->writePlot("air_and_ground_light_and_heavy");
    for (const Route& route : routes) {
        SCOPED_TRACE(::testing::Message() << std::hex << route.hexid());
        const AircraftRecord* r = harness->record(route.hexid());
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->category, route.hexid() % 2 == 1 ? Light : Heavy);
        const MotionCheckResult result = SmoothnessChecker{}.checkAll(*r);
        EXPECT_TRUE(result.findings.empty()) << result.summary();
        // It was judged, engine poses and received ones, and its points
        // reached on time.
        EXPECT_GT(r->received.size(), 700u);
        EXPECT_GT(result.judged.at(MotionCheck::PositionStep), 3000u);
        EXPECT_GT(result.judged.at(MotionCheck::PointReached), 20u);
        EXPECT_GT(result.judged.at(route.airborne() ? MotionCheck::AirTurnRate : MotionCheck::GroundTurnRate), 2000u);
        // The turn crossed north; the others were on both sides of 180.
        const bool dateLine = route.hexid() > 0xA00005;
        const auto count = [&](auto pred) { return std::count_if(r->samples.begin(), r->samples.end(), pred); };
        EXPECT_GT(count([&](const MotionSample& s) { return dateLine ? s.pose.longitude > 0 : s.pose.heading < 0.1; }), 0);
        EXPECT_GT(count([&](const MotionSample& s) { return dateLine ? s.pose.longitude < 0 : s.pose.heading > 6.0; }), 0);
    }
}

TEST_F(MotionRun, FaultsInjectedIntoARunAreFound) {
    std::vector<Route> routes;
    for (std::uint32_t i = 0; i < 3; ++i) {
        routes.push_back(lf_route(0xB00001 + i, "B77W", {50.1 + 0.05 * i, 8.2}, 90.0, 250.0, 6000.0, true));
        routes.back().straight(40);
        harness->add(routes.back(), 2.0);
    }
    const std::int32_t faultTick = 4000;
    harness->afterTick([&](LiveAc& ac) {
        if (tickCount.load() - 1 != faultTick) return;
        if (ac.hexid == 0xB00001) ac.pose.latitude += 1e-3;  // a jump of 111 m
        if (ac.hexid == 0xB00002) ac.pose.altitude = std::numeric_limits<double>::quiet_NaN();
        if (ac.hexid == 0xB00003) ac.pose.heading = normalizeHeading(ac.pose.heading + 5.0 * kDeg);
    });
    runAll(routes, 20000);
    harness->writePlot("injected_faults");
    const auto result = [&](std::uint32_t hexid) { return SmoothnessChecker{}.checkAll(*harness->record(hexid)); };
    const MotionCheckResult jump = result(0xB00001);
    EXPECT_TRUE(jump.has(MotionCheck::PositionStep)) << jump.summary();
    EXPECT_TRUE(std::any_of(jump.findings.begin(), jump.findings.end(), [](const MotionFinding& f) {
        return f.received && f.check == MotionCheck::PositionStep;
    })) << jump.summary();
    const MotionCheckResult nan = result(0xB00002);
    EXPECT_TRUE(nan.has(MotionCheck::Finite)) << nan.summary();
    const MotionCheckResult turn = result(0xB00003);
    EXPECT_TRUE(turn.has(MotionCheck::AirTurnRate)) << turn.summary();
    EXPECT_TRUE(std::any_of(turn.findings.begin(), turn.findings.end(), [](const MotionFinding& f) {
        return f.received && f.check == MotionCheck::AirTurnRate;
    })) << turn.summary();
}

TEST_F(MotionRun, ACurvedLegThatYieldsNoPointIsReportedOnceAndTheLegGoesOnStraight) {
    Route route = lf_route(0xE00001, "B77W", {50.02, 8.0}, 0.0, 15.0, 0.0, false);
    route.straight(40);
    harness->add(route, 2.0);
    bool installed = false;
    harness->afterTick([&](LiveAc& ac) {
        // Half way through a leg: a curve whose window the progress never
        // reaches, so every sample of it fails.
        const std::int32_t left = ac.stream.front().playTick - tickCount.load();
        if (installed || tickCount.load() < 3500 || left < 100) return;
        CurvedLegInput in;
        in.start = {ac.pose.latitude, ac.pose.longitude, 5.0};
        in.control = {ac.pose.latitude + 1e-4, ac.pose.longitude, 0.0};
        in.end = {ac.stream.front().lat, ac.stream.front().lon, 6.0};
        buildCurvedLeg(ac.motion.path.curve, in);
        ac.motion.path.progressStep = 1.0 / left;
        installed = !std::isnan(ac.motion.path.curve.controlEast);
    });
    ASSERT_TRUE(harness->runUntilGone(route.hexid(), 20000));
    ASSERT_TRUE(installed);
    harness->writePlot("failed_curve");
    const std::string log = logText();
    std::size_t lines = 0;
    for (std::size_t at = log.find("error in curve at index: "); at != std::string::npos;
         at = log.find("error in curve at index: ", at + 1))
        ++lines;
    EXPECT_EQ(lines, 1u) << log;
    EXPECT_THAT(log, ::testing::HasSubstr(harness->record(route.hexid())->callsign + " error in curve at index: 0.0"));
    const MotionCheckResult result = SmoothnessChecker{}.checkAll(*harness->record(route.hexid()));
    EXPECT_TRUE(result.findings.empty()) << result.summary();
}

TEST_F(MotionRun, ALegPlannedAnewMidwayIsJudgedAtItsNewSpeed) {
    // Half way through a taxi leg the step is planned anew 1.6 times as long
    // (as the reports' checks do when a report changes the leg): the steps
    // after it are judged against the new leg's speed. A jump of the pose as
    // far is still judged against the leg's.
    const std::uint32_t planned = 0xE00002, jumped = 0xE00003;
    std::vector<Route> routes;
    for (const std::uint32_t hexid : {planned, jumped}) {
        routes.push_back(lf_route(hexid, "B77W", {50.02, hexid == jumped ? 8.01 : 8.0}, 0.0, 15.0, 0.0, false));
        routes.back().straight(40);
        harness->add(routes.back(), 2.0);
    }
    std::set<std::uint32_t> done;
    harness->afterTick([&](LiveAc& ac) {
        const std::int32_t left = ac.stream.front().playTick - tickCount.load();
        if (done.count(ac.hexid) != 0 || tickCount.load() < 3500 || left < 100) return;
        if (ac.hexid == jumped) {
            ac.pose.latitude += 1.6 * ac.motion.stepLat;
        } else {
            ac.motion.stepLat *= 1.6;
            ac.motion.stepLon *= 1.6;
        }
        done.insert(ac.hexid);
    });
    runAll(routes, 20000);
    EXPECT_EQ(done.size(), 2u);
    for (const std::uint32_t hexid : {planned, jumped}) {
        const MotionCheckResult result = SmoothnessChecker{}.check(*harness->record(hexid));
        EXPECT_EQ(result.has(MotionCheck::PositionStep), hexid == jumped) << std::hex << hexid << result.summary();
    }
}

TEST(MotionPlot, DrawsReportsAndBothTracksPerAircraft) {
    ScopedTempDir dir;
    AircraftRecord a = lf_straight(Large, false, 150.0);
    a.reported.push_back({});
    a.reported.back().lat = 50.0;
    a.reported.back().lon = 8.0;
    ReceivedPose p;
    p.pose = a.samples[10].pose;
    a.received.push_back(p);
    AircraftRecord b = lf_straight(Light, true, 10.0);
    b.hexid = 0xB;
    const std::filesystem::path file = dir.path() / "plots" / "two.svg";
    gf_writeMotionPlot(file, {&a, &b}, {{a.hexid, 1100.0, MotionCheck::PositionStep}});
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    const std::string svg = text.str();
    EXPECT_THAT(svg, ::testing::StartsWith("<svg xmlns=\"http://www.w3.org/2000/svg\""));
    EXPECT_THAT(svg, ::testing::HasSubstr("C0FFEE TEST1 category 3: 1 reports, 300 ticks, 1 received, 1 findings"));
    EXPECT_THAT(svg, ::testing::HasSubstr("00000B TEST1 category 0: 0 reports, 300 ticks, 0 received, 0 findings"));
    std::size_t polylines = 0;
    for (std::size_t at = svg.find("<polyline"); at != std::string::npos; at = svg.find("<polyline", at + 1)) ++polylines;
    EXPECT_EQ(polylines, 4u);
    EXPECT_THAT(svg, ::testing::HasSubstr("stroke=\"red\""));
    EXPECT_THAT(svg, ::testing::EndsWith("</svg>\n"));
}
