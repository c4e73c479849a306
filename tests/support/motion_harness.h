#pragma once
// Aircraft motion end to end, headless: scripted traffic runs through the
// engine, the simulator link and the simulator model (the engine harness, on
// its fake clocks); every tick's pose of every active aircraft is recorded,
// with the motion context it was computed in, beside the poses the simulator
// received (its time-stamped journal). A smoothness checker reads the
// recordings and returns what it finds; a plot writer draws them.
//
// No test framework is used here: the harness runs and records, the checker
// returns findings, and the tests assert on them.
//
// Typical test (inside a fixture with a fresh working folder and Log.txt,
// e.g. LogFileTest):
//     MotionHarness h;                                  // engine, model, liveries, connected
//     Route route(0xABC001, {50.0, 8.0}, 90.0, 250.0, 5000.0, true);
//     route.straight(60).turn(-120, 40).straight(60);  // a turn to the left
//     h.add(route, 2.0);                                // a report every 2 s
//     h.runUntilGone(route.hexid(), 20000);
//     const MotionCheckResult r = SmoothnessChecker{}.check(*h.record(route.hexid()));
//     EXPECT_TRUE(r.findings.empty()) << r.summary();
//     h.writePlot("turn_left");                         // <build>/.../motion_plots/turn_left.svg
//
// Tick numbers are engine ticks (tickCount) of 10 ms. A report scheduled at
// tick t is posted at t with the feed's 30 s delay, so the aircraft plays it
// at t + 3000.
//
// What a sample knows of its tick is filled in MotionHarness::lf_record (and,
// for the leg, where the next-position step is wrapped); a check that needs
// more of the motion state adds a field to MotionSample there. Where a motion
// rule allows a discontinuity (a rotation, a flare stage, a snap to the
// runway), the checker gets a built-in exemption named after it, recognised
// from the samples, or a test passes a MotionExemption for the stretch; the
// result counts every exemption used, so a test can assert that one applied.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/records.h"
#include "feed/records.h"
#include "foundation/lalo.h"
#include "simlink/sim_link.h"
#include "support/engine_harness.h"

namespace tavo::test {

// ---------------------------------------------------------------------------
// Scripted streams

// The path of one aircraft, built segment by segment from a start state and
// sampled into reports. Turns are at constant rate, speed and climb changes
// linear; the state at any second is integrated in 0.1 s steps.
class Route {
public:
    struct State {
        LaLo position{};
        double headingDeg = 0.0;
        double speedKt = 0.0;
        double altitudeFt = 0.0;
        double verticalSpeedFpm = 0.0;
        bool onGround = false;  // after land(): reported on the ground
    };

    Route(std::uint32_t hexid, LaLo start, double headingDeg, double speedKt, double altitudeFt, bool airborne);

    // Who reports it (defaults: "KLM1234", "PH-BXA", B738 of KLM).
    Route& identity(std::string callsign, std::string registration, std::string type, std::string airline);

    Route& straight(double seconds);
    // Turns by `byDeg` (positive to the right) at a constant rate over the time.
    Route& turn(double byDeg, double seconds);
    // Climbs (or descends) at this vertical speed from here on.
    Route& climb(double verticalSpeedFpm);
    // Changes the speed linearly to `speedKt` over the time, going straight.
    Route& speedTo(double speedKt, double seconds);
    // An airborne route touches down here: the reports from here on are on
    // the ground (not airborne, no altitude, vertical speed or airspeed).
    // Called first, the route starts on the ground.
    Route& land();
    // A route on the ground lifts off here: the reports from here on are
    // airborne again (at the altitude the route started with, on the ground,
    // plus its climb since).
    Route& takeOff();

    std::uint32_t hexid() const { return hexid_; }
    bool airborne() const { return airborne_; }
    double duration() const;
    State at(double seconds) const;
    // The report `seconds` after the first one.
    TrafficRecord reportAt(double seconds) const;
    // Reports every `everySeconds` from 0 up to the end of the route; the
    // stream runs dry after the last one.
    std::vector<TrafficRecord> reports(double everySeconds) const;

private:
    struct Segment {
        double seconds = 0.0;
        double turnRateDegPerS = 0.0;
        double accelerationKtPerS = 0.0;
        double verticalSpeedFpm = 0.0;
        bool onGround = false;
    };
    const std::vector<State>& lf_samples() const;

    std::uint32_t hexid_ = 0;
    std::string callsign_ = "KLM1234";
    std::string registration_ = "PH-BXA";
    std::string type_ = "B738";
    std::string airline_ = "KLM";
    State start_;
    bool airborne_ = false;
    double verticalSpeedFpm_ = 0.0;
    bool landed_ = false;
    std::vector<Segment> segments_;
    mutable std::vector<State> samples_;  // every 0.1 s, built on first use
};

// ---------------------------------------------------------------------------
// Recordings

// One tick of one active aircraft: the pose the engine computed (and staged
// when finite) and the motion context it was computed in.
struct MotionSample {
    std::int32_t tick = 0;
    std::uint32_t objectId = 0;  // the simulator object the aircraft had
    AiPose pose{};
    AcPhase phase = AcPhase::birth;
    AcPhase prevPhase = AcPhase::birth;
    bool onGround = false;
    // A new leg was planned in this tick (before the pose moved).
    bool legStart = false;
    // The speed the current leg needs (kt): the largest of the straight
    // distance over the time to the point, the per-tick step and a speed
    // profile's top speed.
    double legSpeedKt = 0.0;
    // The largest ground speed the stream reports around the leg (kt): at the
    // point reached and the three after it.
    double reportedKt = 0.0;
    bool profiled = false;  // the pose was played from a speed profile
    double turnRateRad = 0.0;
    double heightAboveGroundFt = 0.0;
    std::uint32_t flareStage = 0;
    bool takeoffRunwayMatched = false;
    double takeoffRunwayHeadingRad = 0.0;
    // The stream holds no point to go on to: the aircraft holds where its
    // reports ended (or goes on by extrapolation).
    bool streamEnds = false;
    // The aircraft holds at the point reached (the stream's next point is a
    // stationary copy of it), and whether that hold was in the stream when
    // the leg into the point was planned.
    bool holding = false;
    bool holdKnownAtLegStart = false;
    // The takeoff rotation: the height follows the pitch on the simulator's
    // ground data (as it comes, a frame at a time), not a climb.
    bool rotating = false;
};

// The aircraft reached a stream point (the next-position step ran).
struct PointArrival {
    std::int32_t tick = 0;     // when the step ran
    std::int32_t dueTick = 0;  // the point's play tick
    double missM = 0.0;        // distance from the pose to the point
    bool stationary = false;
    bool first = false;  // the first step of the aircraft's life (activation)
    // The point was a dead-reckoned one that the first report after a dry
    // spell made due at once: the aircraft turns toward the report from where
    // it is instead of flying on to a position nothing reported.
    bool deadReckoningEnded = false;
};

// A pose the simulator received, from its journal.
struct ReceivedPose {
    std::int64_t timeNs = 0;
    double engineTick = 0.0;  // the engine time it shows (interpolated 20 ms back)
    AiPose pose{};
};

// A report as the feed handed it to the engine.
struct ReportedPosition {
    double time = 0.0;     // its reported time, seconds since 1970
    double dueTick = 0.0;  // when the engine plays it: its time plus the feed's delay, as an engine tick
    LaLo position{};
    double altitudeFt = 0.0;
    double groundSpeedKt = 0.0;
    double trackDeg = 0.0;
    bool airborne = false;
    // Whether whoever made the traffic made this report bad on purpose (an
    // absurd value, a position off, a stale repeat): the checker leaves such
    // a report out of the reported path. Unknown (scripted traffic without
    // that list), the checker tells bad reports by its own rules.
    std::optional<bool> madeBad;
    int run = 0;  // the program's run it was handed over in (a restart begins the next)
};

struct AircraftRecord {
    std::uint32_t hexid = 0;
    std::string callsign;
    std::string registration;
    std::uint32_t category = 0;
    bool categoryKnown = false;  // it was active (else `category` means nothing)
    double airborneFloorKt = 0.0;  // the least it flies at in the air (when active)
    std::uint32_t objectId = 0;  // the last object the aircraft had
    std::vector<MotionSample> samples;
    std::vector<PointArrival> arrivals;
    std::vector<StreamPoint> reported;  // positions of the scheduled reports
    std::vector<ReceivedPose> received;  // filled by MotionHarness::collectReceived
    // Every report handed over, in time order, each once (a repeated or
    // late datagram kept at its time).
    std::vector<ReportedPosition> reports;
};

// ---------------------------------------------------------------------------
// The recorder

// Records every active aircraft's pose and motion context after each engine
// tick, on the engine's thread. It wraps the engine's next-position step (to
// see the legs and the points reached) for its lifetime; one recorder at a
// time. The harness below uses one; a whole run of the program records with
// its own after each tick of the main loop.
class MotionRecorder {
public:
    MotionRecorder();
    ~MotionRecorder();
    MotionRecorder(const MotionRecorder&) = delete;
    MotionRecorder& operator=(const MotionRecorder&) = delete;

    // Records the tick just run (engine thread, after the tick).
    void recordTick();
    // Called for every aircraft after every tick, before the sample is taken.
    void afterTick(std::function<void(LiveAc&)> hook) { afterTick_ = std::move(hook); }
    // The record of a hexid, made when missing (for scheduled reports).
    AircraftRecord& entry(std::uint32_t hexid);
    // Whether the aircraft was recorded active at least once.
    bool seen(std::uint32_t hexid) const;
    // A report the feed hands over (any thread). Its due tick is worked out
    // when the records are read, by the function given (reported time ->
    // engine tick); the harness gives the due tick itself. `run` counts the
    // program's runs (a restart begins a new one): a report handed over again
    // in a later run is played on that run's schedule, while a copy handed
    // over again in the same run (a repeated or late datagram) is the same
    // report at its first due tick.
    void report(const TrafficRecord& record, std::optional<double> dueTick = std::nullopt, int run = 0);
    // The program began its run `run` (after a restart) at the engine tick:
    // what an earlier run was handed and would have played from then on is
    // gone with it, but for the reports the program carries into the new
    // run, which it plays there as that run's own.
    void runBegan(int run, double tick);
    void dueTickOf(std::function<double(double)> dueTick) { dueTickOf_ = std::move(dueTick); }
    // Tells of each report handed over (hexid, reported time) whether the
    // traffic's maker made it bad; without it the checker tells by itself.
    void madeBad(std::function<bool(std::uint32_t, double)> madeBad) { madeBad_ = std::move(madeBad); }
    // The engine tick a pose clock time stands for, where the clock's start
    // moved during the run (a restart of the program's run); without it the
    // start given to record() counts for every pose.
    void tickOf(std::function<double(std::int64_t)> tickOf) { tickOf_ = std::move(tickOf); }
    // The recording of the aircraft, nullptr when it never became active.
    // Received poses are collected from the model's journal on every call;
    // `clockStartNs` is the pose clock's time at engine tick 0.
    const AircraftRecord* record(std::uint32_t hexid, std::int64_t clockStartNs);
    std::vector<const AircraftRecord*> records(std::int64_t clockStartNs);
    // Every aircraft with reports or samples, also those never active.
    std::vector<const AircraftRecord*> allRecords(std::int64_t clockStartNs);

private:
    void lf_collectReceived(AircraftRecord& r, std::int64_t clockStartNs) const;
    void lf_takeReports();

    struct Handed {
        TrafficRecord record;
        std::optional<double> dueTick;
        int run = 0;
    };
    std::mutex reportsMutex_;
    std::vector<Handed> handed_;  // reports not yet sorted into the records
    std::map<int, double> runBegan_;  // the engine tick each later run began at
    std::function<double(double)> dueTickOf_;
    std::function<bool(std::uint32_t, double)> madeBad_;
    std::function<double(std::int64_t)> tickOf_;

    std::map<std::uint32_t, AircraftRecord> records_;
    std::function<void(LiveAc&)> afterTick_;
    // Per aircraft: the speed of its current leg and the tick it began.
    std::map<std::uint32_t, double> legSpeedKt_;
    std::map<std::uint32_t, std::int32_t> legStartTick_;
    std::map<std::uint32_t, double> legReportedKt_;
    std::map<std::uint32_t, bool> legHoldKnown_;
    // Per aircraft: the per-tick step its leg was planned with; a step that
    // changes before the next leg (the reports' checks planned the leg anew)
    // gives the leg its speed anew.
    std::map<std::uint32_t, std::pair<double, double>> legStep_;
    // Per aircraft: the due tick of the point its leg goes to, when that point
    // is a dead-reckoned one (none: -1).
    std::map<std::uint32_t, std::int64_t> legDeadReckonedDue_;
};

// ---------------------------------------------------------------------------
// The harness

class MotionHarness {
public:
    // Installs the default liveries plus a Light (C172), a Heavy (B77W) and a
    // Rotorcraft (EC35) one, switches the three categories on and connects.
    explicit MotionHarness(EngineHarness::Options options = {});
    ~MotionHarness();
    MotionHarness(const MotionHarness&) = delete;
    MotionHarness& operator=(const MotionHarness&) = delete;

    EngineHarness& engine() { return *engine_; }

    // Schedules the route's reports, every `everySeconds`, the first at
    // `fromTick` (and timed from then: a second route of one aircraft goes on
    // from the first). Reports of all routes due at one tick go in one batch:
    // the feed hands over whole snapshots, and a newer batch replaces one the
    // engine has not taken yet.
    void add(const Route& route, double everySeconds, std::int32_t fromTick = 0);

    // Ticks, recording after each.
    void run(int ticks);
    // Ticks until `done` holds (checked before each tick); false when it
    // still does not after `maxTicks`.
    bool runUntil(const std::function<bool()>& done, int maxTicks);
    // Ticks until the aircraft was active and has left the live list.
    bool runUntilGone(std::uint32_t hexid, int maxTicks);

    // Called for every aircraft after every tick, before the sample is taken
    // (tests inject faults here; the engine goes on from what it leaves).
    void afterTick(std::function<void(LiveAc&)> hook) { recorder_->afterTick(std::move(hook)); }

    // The recording of the aircraft, nullptr when it never became active.
    // Received poses are collected from the model's journal on every call.
    const AircraftRecord* record(std::uint32_t hexid);
    std::vector<const AircraftRecord*> records();

    // Writes the plot of every recording as `name`.svg into the plot folder
    // and returns its path.
    std::filesystem::path writePlot(const std::string& name);

private:
    std::int64_t lf_clockStartNs() const;

    std::unique_ptr<EngineHarness> engine_;
    std::unique_ptr<MotionRecorder> recorder_;
    std::map<std::int32_t, std::vector<TrafficRecord>> batches_;
};

// ---------------------------------------------------------------------------
// The smoothness checker

enum class MotionCheck {
    Finite,                // all eight pose values finite
    AngleRange,            // pitch and bank within +-pi/2
    HeadingRange,          // heading in [0, 2 pi)
    PositionStep,          // |step| <= 1.25 x max(leg speed, TAS) x 0.01 s + 0.05 m
    PointReached,          // the point reached within 0.5 m at its play tick
    GroundTurnRate,        // |heading change| <= 1.2 x turnRateRad a tick
    AirTurnRate,           // within the category's turn rate a tick
    BankLimit,             // |bank| <= maxBankAngle
    ClimbChange,           // per-tick climb changes by at most 0.001 ft a tick
    ProfileJoin,           // profiled legs of a phase join within 0.5 kt
    TakeoffRollBackwards,  // no Light aircraft backwards on its takeoff roll
    PushbackHeading,       // heading change in pushback <= 1.2 x turnRateRad a tick
    GroundSpeed,           // taxiing: 0.5 s of travel at most 1.25 x the reported ground speed + 5 kt, and no
                           // more than 30 kt (the reported + 5 kt where that is more)
    RestChange,            // on the ground: coming to rest or leaving it at most 16 kt/s over the 0.5 s next to rest
    Lag,                   // a report's position reached at most 10 s after its due tick (5 s once 30 s past a
                           // turn or hold): within 5 m (air 50 m) or passing it within 10 m aside (air 600 m); a
                           // standing report within 15 m of it or of its standing run's middle
    NoseTravel,            // above 3 kt the nose within 30 deg of the travel, on the ground and in the air
                           // (pushback: of its opposite)
    Backwards,             // never more than 90 deg between nose and travel outside a pushback
    AirborneSpeed,         // in the air never slower than the category's floor
    TravelSpeed,           // 1 s of travel at most 1.25 x the reports' own distance over time + 5 kt on the
                           // ground, + 10 kt in the air; in the air no slower than their slowest / 1.25 - 10 kt,
                           // and past the stream's end within the same band of the last reported speed
    StandingStill,         // an aircraft whose reports stand still (scattered or not) moves less than 1 m
    CreatedOrTold,         // created within 10 s of its first report's due tick, or named in Log.txt's no-match list
    SpeedChange,           // in the air the speed of a second changes from the second before (from the reported
                           // speed at a creation) by at most 5 kt/s more than the reported speeds change around it
    SpotTurn,              // on the ground the nose turns less than 20 deg within 1 m of travel, but at a stand or
                           // where the reports show the aircraft standing
    Recreated,             // removed while its reports go on: created again within 10 s, or Log.txt tells why
};
inline constexpr int kMotionCheckCount = 24;
const char* gf_motionCheckName(MotionCheck check);

struct MotionFinding {
    std::uint32_t hexid = 0;
    double tick = 0.0;  // engine tick (fractional for received poses)
    MotionCheck check = MotionCheck::Finite;
    bool received = false;  // found in the poses the simulator received
    double value = 0.0;
    double limit = 0.0;
    std::string text() const;
};

// A stretch of ticks where a check does not apply, with the reason.
struct MotionExemption {
    MotionCheck check = MotionCheck::Finite;
    std::uint32_t hexid = 0;  // 0: every aircraft
    std::int32_t fromTick = 0;
    std::int32_t toTick = 0;  // inclusive
    std::string name;
};

struct MotionCheckResult {
    std::vector<MotionFinding> findings;
    // How many ticks (or received intervals) each check judged, and how many
    // times each exemption spared one.
    std::map<MotionCheck, std::size_t> judged;
    std::map<std::string, std::size_t> exempted;
    // How close each check with a positive limit came to it: the largest
    // value over limit it judged (above 1 is a finding).
    std::map<MotionCheck, double> worstShare;
    bool has(MotionCheck check) const;
    std::size_t count(MotionCheck check) const;
    // One line per finding (at most 20), for a failing test's message.
    std::string summary() const;
};

// Judges recordings tick by tick. Built-in exemptions, by name:
//   "activation"        the first next-position step of an aircraft's life
//                       (its first point is reached when it appears, not at
//                       its play tick);
//   "dead reckoning ended"
//                       a dead-reckoned point (the stream had run dry) that
//                       the first report after the dry spell made due at
//                       once: nothing reported it, and the aircraft turns
//                       toward the report from where it is;
//   "shorter than the shortest leg"
//                       a point due less than 25 ticks after its leg began:
//                       the leg is played as 25 ticks and the next one starts
//                       when the point is due, short of it;
//   "lift-off/touchdown" heading rates and the climb on the ticks where the
//                       aircraft leaves or meets the ground;
//   "gap"               no rate is judged across ticks where the aircraft
//                       was not recorded;
//   "flying leg climb"  the climb on the first tick of a leg in phase
//                       flying: a flying leg climbs as its points do, so its
//                       climb is set whole at its start;
//   "approach start"    the climb on the first tick of phase landing: the
//                       approach descent starts at its own rate and only
//                       then changes gradually;
// The checks against the reports (lag, nose and travel, backwards, airborne
// speed, speed of travel, standing still) exempt no case: a lone report whose
// position both of its neighbours contradict (a position miles off) is no
// position the aircraft has to reach, and is left out of the reported path.
// The limits the checks against the reports hold the motion to. The default
// ones are what a pilot watching accepts. `earlier()` are the wider ones the
// motion was held to before them (twice the reports' speed and 20 kt, a taxi
// twice its reported speed and 8 kt, a report passed within 50 m aside or
// reached standing within 60 m; no nose check in the air, no speed change, turn
// on the spot or re-creation check): the runs whose motion does not yet meet a
// pilot's limits are held to them meanwhile, so that they still catch what they
// caught, while the rows of the checks and the generated-world sweeps by hand
// measure against the pilot's.
struct MotionLimits {
    double groundSpeedShare = 1.25;
    double groundSpeedSlackKt = 5.0;
    double taxiMostKt = 30.0;  // infinity: no ceiling
    double travelShare = 1.25;
    double travelSlackAirKt = 10.0;
    double travelSlackGroundKt = 5.0;
    bool travelFloorInTheAir = true;  // no slower than the reports' slowest, nor past their end
    double passGroundM = 10.0;
    double reachStandingM = 15.0;
    bool noseInTheAir = true;
    bool speedChange = true;
    bool spotTurn = true;
    bool recreated = true;
    static MotionLimits earlier();
};

class SmoothnessChecker {
public:
    SmoothnessChecker() = default;
    explicit SmoothnessChecker(MotionLimits limits) : limits_(limits) {}
    SmoothnessChecker& exempt(MotionExemption exemption);
    MotionCheckResult check(const AircraftRecord& record) const;
    // The engine's poses and the received ones.
    MotionCheckResult checkAll(const AircraftRecord& record) const;

private:
    void lf_checkSamples(const AircraftRecord& r, MotionCheckResult& out) const;
    void lf_checkReceived(const AircraftRecord& r, MotionCheckResult& out) const;
    void lf_checkReports(const AircraftRecord& r, MotionCheckResult& out) const;
    void lf_checkTravel(const AircraftRecord& r, MotionCheckResult& out) const;
    bool lf_exempt(MotionCheck check, std::uint32_t hexid, std::int32_t tick, MotionCheckResult& out) const;
    std::vector<MotionExemption> exemptions_;
    MotionLimits limits_;
};

// The largest heading change a tick of the category in the air (radians).
double gf_checkerAirTurnRate(std::uint32_t category);

// The registrations Log.txt names as not shown: in a "No match found for:"
// list, or on a line telling that the aircraft stands where no stand is free
// for it or flies 700 ft or less above the airport.
std::set<std::string> gf_registrationsToldInLog(const std::string& log);

// Created or told: every aircraft the feed handed reports of (at least two)
// is active within 10 s of its first report's due tick, counted from no
// earlier than the start path's own waits (`startWaitsEndTick` plus the
// feed's delay), plus 200 ms for each other aircraft first created meanwhile
// (the engine sends one create every 200 ms: the last of a crowd cannot come
// sooner), or its registration is in a "No match found for:" list of the
// log or on a line telling that it stands where no stand is free for it. Aircraft whose 10 s lie past `lastTick` are not judged.
MotionCheckResult gf_checkCreatedOrTold(const std::vector<const AircraftRecord*>& records, double startWaitsEndTick,
                                        std::int32_t lastTick, const std::string& log);

// Where Log.txt stood at a tick: how many bytes it held then.
struct LogMark {
    double tick = 0.0;
    std::size_t bytes = 0;
};

// The range TAVO shows traffic in around the user aircraft: reports farther
// out are dropped without a word, and an aircraft in the air that runs out of
// reports within half a mile of the edge is let go as one leaving the range.
struct TrafficRange {
    LaLo user{};
    double nm = std::numeric_limits<double>::infinity();
    // Whether a position lies where TAVO keeps an aircraft whose reports
    // pause: half a mile inside the range (flat distance, as TAVO measures).
    bool keeps(LaLo p) const;
};

// The levels the automatic range is set by (the settings' ranges in NM and
// flight levels).
struct RangeLevels {
    double ground = 10, range1 = 20, range2 = 40, range3 = 50, above = 60;
    double level1 = 100, level2 = 200, level3 = 300;
};

// The automatic range for a user aircraft on the ground or at an altitude:
// the ground range on the ground, else the range grows with the flight level
// band by band, and above the highest level it is the range above.
double gf_checkerAutoRangeNm(bool onGround, double altitudeFt, const RangeLevels& levels);

// Created again or told: an aircraft removed while its reports go on (a
// report of its reported path inside the range TAVO keeps aircraft in falls
// due after its last pose) is created again within 10 s of the first such
// report's due tick (plus the create pace for each other aircraft created
// meanwhile), or a line of Log.txt written from 10 s before its removal to
// that deadline names it (its registration or callsign) as not shown, or a
// no-match list names its registration: a reason told once excuses no later
// loss. An aircraft leaving the range is no loss: reports beyond where TAVO
// keeps aircraft (see TrafficRange) do not go on for it.
// `marks` tell when the log's lines were written (in tick order); without
// them no line counts as told at any time. Removals whose deadline lies past
// `lastTick` are not judged.
MotionCheckResult gf_checkCreatedAgain(const std::vector<const AircraftRecord*>& records, std::int32_t lastTick,
                                       const std::string& log, const std::vector<LogMark>& marks,
                                       const TrafficRange& range = {});

// ---------------------------------------------------------------------------
// Plots

// The folder plots go to: $TAVO_PLOT_DIR, else "motion_plots" beside the
// running program (inside the build folder). Created when missing.
std::filesystem::path gf_motionPlotFolder();

// One panel per recording: the reported points, the engine's track and the
// received track, on a flat projection of its own; findings marked.
void gf_writeMotionPlot(const std::filesystem::path& file, const std::vector<const AircraftRecord*>& records,
                        const std::vector<MotionFinding>& findings = {});

}  // namespace tavo::test
