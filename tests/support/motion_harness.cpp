#include "support/motion_harness.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <stdexcept>
#include <utility>

#include <fmt/format.h>

#include "engine/decode.h"
#include "engine/engine_lists.h"
#include "engine/engine_state.h"
#include "engine/tick.h"
#include "foundation/geodesy.h"
#include "liveries/code_tables.h"
#include "motion/air_movement.h"
#include "motion/flight_phases.h"
#include "motion/motion_math.h"
#include "motion/next_position.h"
#include "motion/speed_profile.h"
#include "motion/stream_checks.h"
#include "motion/tick_math.h"
#include "simlink/sim_ids.h"

namespace tavo::test {

namespace {

constexpr double kRouteStepS = 0.1;
constexpr std::int64_t kTickNs = 10'000'000;
// The link sends each object a pose interpolated this far in the past.
constexpr std::int64_t kPoseDelayNs = 20'000'000;
constexpr double kMetresPerDegree = 111320.0;
constexpr double kHalfPi = pi / 2.0;
constexpr double kEpsilon = 1e-9;

// Flat metres between two close positions (north, east), the longitude
// difference taken the short way round.
struct Offset {
    double north = 0.0;
    double east = 0.0;
};
Offset lf_offset(LaLo from, LaLo to) {
    const double east = std::remainder(to.lon - from.lon, 360.0) * std::cos(from.lat * degreesToRadians);
    return {(to.lat - from.lat) * kMetresPerDegree, east * kMetresPerDegree};
}
double lf_metres(LaLo a, LaLo b) {
    const Offset o = lf_offset(a, b);
    return std::hypot(o.north, o.east);
}
LaLo lf_position(const AiPose& p) { return {p.latitude, p.longitude}; }

bool lf_finite(const AiPose& p) {
    return std::isfinite(p.latitude) && std::isfinite(p.longitude) && std::isfinite(p.pitch) && std::isfinite(p.bank) &&
           std::isfinite(p.heading) && std::isfinite(p.altitude) && std::isfinite(p.verticalSpeed) &&
           std::isfinite(p.trueAirspeed);
}

double lf_headingChange(double from, double to) { return std::fabs(std::remainder(to - from, fullCircle)); }

}  // namespace

// ---------------------------------------------------------------------------
// Route

Route::Route(std::uint32_t hexid, LaLo start, double headingDeg, double speedKt, double altitudeFt, bool airborne)
    : hexid_(hexid), airborne_(airborne) {
    start_.position = start;
    start_.headingDeg = headingDeg;
    start_.speedKt = speedKt;
    start_.altitudeFt = altitudeFt;
}

Route& Route::identity(std::string callsign, std::string registration, std::string type, std::string airline) {
    callsign_ = std::move(callsign);
    registration_ = std::move(registration);
    type_ = std::move(type);
    airline_ = std::move(airline);
    return *this;
}

Route& Route::straight(double seconds) {
    segments_.push_back({seconds, 0.0, 0.0, verticalSpeedFpm_, landed_});
    samples_.clear();
    return *this;
}

Route& Route::turn(double byDeg, double seconds) {
    segments_.push_back({seconds, seconds > 0.0 ? byDeg / seconds : 0.0, 0.0, verticalSpeedFpm_, landed_});
    samples_.clear();
    return *this;
}

Route& Route::climb(double verticalSpeedFpm) {
    verticalSpeedFpm_ = verticalSpeedFpm;
    return *this;
}

Route& Route::speedTo(double speedKt, double seconds) {
    double speed = start_.speedKt;
    for (const Segment& s : segments_) speed += s.accelerationKtPerS * s.seconds;
    segments_.push_back(
        {seconds, 0.0, seconds > 0.0 ? (speedKt - speed) / seconds : 0.0, verticalSpeedFpm_, landed_});
    samples_.clear();
    return *this;
}

Route& Route::land() {
    landed_ = true;
    verticalSpeedFpm_ = 0.0;
    return *this;
}

Route& Route::takeOff() {
    landed_ = false;
    return *this;
}

double Route::duration() const {
    double total = 0.0;
    for (const Segment& s : segments_) total += s.seconds;
    return total;
}

const std::vector<Route::State>& Route::lf_samples() const {
    if (!samples_.empty()) return samples_;
    State state = start_;
    state.verticalSpeedFpm = segments_.empty() ? 0.0 : segments_.front().verticalSpeedFpm;
    state.onGround = !segments_.empty() && segments_.front().onGround;
    samples_.push_back(state);
    for (const Segment& s : segments_) {
        const auto steps = static_cast<long>(std::llround(s.seconds / kRouteStepS));
        for (long i = 0; i < steps; ++i) {
            // Along the heading at the middle of the step.
            const double midHeading = state.headingDeg + s.turnRateDegPerS * kRouteStepS / 2.0;
            const double midSpeed = state.speedKt + s.accelerationKtPerS * kRouteStepS / 2.0;
            const double feet = midSpeed * kRouteStepS / 3600.0 * feetPerNm;
            state.position = gf_destinationPoint(state.position, {midHeading * degreesToRadians, feet});
            state.headingDeg = std::fmod(state.headingDeg + s.turnRateDegPerS * kRouteStepS + 360.0, 360.0);
            state.speedKt = std::max(0.0, state.speedKt + s.accelerationKtPerS * kRouteStepS);
            state.verticalSpeedFpm = s.verticalSpeedFpm;
            state.altitudeFt = std::max(0.0, state.altitudeFt + s.verticalSpeedFpm * kRouteStepS / 60.0);
            state.onGround = s.onGround;
            samples_.push_back(state);
        }
    }
    return samples_;
}

Route::State Route::at(double seconds) const {
    const auto& samples = lf_samples();
    const double index = std::clamp(seconds / kRouteStepS, 0.0, static_cast<double>(samples.size() - 1));
    const auto below = static_cast<std::size_t>(std::floor(index));
    State state = samples[below];
    const double rest = (index - static_cast<double>(below)) * kRouteStepS;
    if (rest > 0.0 && below + 1 < samples.size()) {
        const State& after = samples[below + 1];
        const double f = rest / kRouteStepS;
        state.position = {state.position.lat + (after.position.lat - state.position.lat) * f,
                          state.position.lon + std::remainder(after.position.lon - state.position.lon, 360.0) * f};
        state.headingDeg = std::fmod(state.headingDeg + std::remainder(after.headingDeg - state.headingDeg, 360.0) * f +
                                         360.0,
                                     360.0);
        state.speedKt += (after.speedKt - state.speedKt) * f;
        state.altitudeFt += (after.altitudeFt - state.altitudeFt) * f;
    }
    return state;
}

TrafficRecord Route::reportAt(double seconds) const {
    const State s = at(seconds);
    TrafficRecord r;
    r.hexid = hexid_;
    r.identity.callsign = callsign_;
    r.identity.registration = registration_;
    r.identity.key.airline = gf_internAirlineCode(airline_);
    r.identity.key.model = gf_internModelCode(type_);
    r.point.lat = s.position.lat;
    r.point.lon = std::remainder(s.position.lon, 360.0);
    const bool airborne = airborne_ && !s.onGround;
    r.point.altitudeFt = airborne ? s.altitudeFt : 0.0;
    r.point.groundSpeedKt = s.speedKt;
    r.point.trackDeg = s.headingDeg;
    r.point.verticalSpeed = airborne ? s.verticalSpeedFpm : 0.0;
    r.point.tasKt = airborne ? s.speedKt : 0.0;
    r.point.airborne = airborne ? 1 : 0;
    r.time = 1.7e9 + seconds;
    return r;
}

std::vector<TrafficRecord> Route::reports(double everySeconds) const {
    std::vector<TrafficRecord> out;
    if (!(everySeconds > 0.0)) throw std::invalid_argument("Route::reports: the interval must be above 0");
    const double end = duration();
    for (int i = 0; i * everySeconds <= end + 1e-9; ++i) out.push_back(reportAt(i * everySeconds));
    return out;
}

// ---------------------------------------------------------------------------
// Harness

namespace {

// The speed the leg just planned needs, kt.
double lf_legSpeedKt(const LiveAc& ac) {
    if (ac.stream.empty() || ac.stream.front().stationary != 0) return 0.0;
    const StreamPoint& target = ac.stream.front();
    const MotionState& m = ac.motion;
    const LaLo pose = lf_position(ac.pose);
    const double ticks = std::max(1, target.playTick - tickCount.load());
    double metresPerTick = lf_metres(pose, {target.lat, target.lon}) / ticks;
    metresPerTick = std::max(metresPerTick, lf_metres(pose, {pose.lat + m.stepLat, pose.lon + m.stepLon}));
    if (m.scheduleCount > 0) {
        double share = 0.0;
        for (double s : m.schedule) share = std::max(share, s);
        metresPerTick =
            std::max(metresPerTick, share * lf_metres(pose, {pose.lat + m.unitStepLat, pose.lon + m.unitStepLon}));
    }
    double kt = metresPerTick * 100.0 * kMpsToKnots;
    if (m.profileLeg.profile.valid != 0) kt = std::max(kt, gf_speedProfileMaxSpeed(m.profileLeg.profile) * kMpsToKnots);
    return kt;
}

}  // namespace

MotionRecorder::MotionRecorder() {
    EngineCalls calls;
    calls.nextPosMain = [this](LiveAc& ac) {
        AircraftRecord& r = records_[ac.hexid];
        PointArrival a;
        a.tick = tickCount.load();
        const auto speedKt = [](const StreamPoint& p) {
            return std::isfinite(p.groundSpeedKt) ? p.groundSpeedKt : 0.0;
        };
        const double reachedKt = ac.stream.empty() ? 0.0 : speedKt(ac.stream.front());
        a.first = r.arrivals.empty() || r.objectId != ac.objectId;
        if (!ac.stream.empty()) {
            const StreamPoint& reached = ac.stream.front();
            a.dueTick = reached.playTick;
            a.missM = lf_metres(lf_position(ac.pose), {reached.lat, reached.lon});
            a.stationary = reached.stationary != 0;
        }
        r.objectId = ac.objectId;
        r.arrivals.push_back(a);
        nextPosMain(ac);
        legSpeedKt_[ac.hexid] = lf_legSpeedKt(ac);
        // The point reached and the three after it: a point the engine put
        // in (a turn's entry, a midpoint, a held position) may carry no
        // speed.
        double reportedKt = reachedKt;
        for (std::size_t i = 0; i < ac.stream.size() && i < 3; ++i)
            reportedKt = std::max(reportedKt, speedKt(ac.stream[i]));
        legReportedKt_[ac.hexid] = reportedKt;
        legHoldKnown_[ac.hexid] = ac.stream.size() >= 2 && ac.stream[1].stationary != 0;
        legStartTick_[ac.hexid] = a.tick;
    };
    gf_setEngineCalls(calls);
}

MotionRecorder::~MotionRecorder() { gf_setEngineCalls({}); }

AircraftRecord& MotionRecorder::entry(std::uint32_t hexid) {
    AircraftRecord& r = records_[hexid];
    r.hexid = hexid;
    return r;
}

bool MotionRecorder::seen(std::uint32_t hexid) const {
    const auto it = records_.find(hexid);
    return it != records_.end() && !it->second.samples.empty();
}

void MotionRecorder::recordTick() {
    const std::int32_t tick = tickCount.load() - 1;
    for (LiveAc& ac : g_liveAircraft) {
        if (ac.simState != AcSimState::active) continue;
        if (afterTick_) afterTick_(ac);
        AircraftRecord& r = records_[ac.hexid];
        r.hexid = ac.hexid;
        r.callsign = ac.callsign;
        r.category = ac.category;
        r.objectId = ac.objectId;
        MotionSample s;
        s.tick = tick;
        s.pose = ac.pose;
        s.phase = ac.phase;
        s.prevPhase = ac.prevPhase;
        s.onGround = ac.onGround != 0;
        s.legStart = legStartTick_.count(ac.hexid) != 0 && legStartTick_[ac.hexid] == tick;
        s.legSpeedKt = legSpeedKt_[ac.hexid];
        s.reportedKt = legReportedKt_[ac.hexid];
        s.profiled = ac.motion.profileLeg.profile.valid != 0;
        s.turnRateRad = ac.turnRateRad;
        s.heightAboveGroundFt = ac.motion.heightAboveGroundFt;
        s.flareStage = ac.motion.flareStage;
        s.takeoffRunwayMatched = ac.motion.takeoffRunwayMatched != 0;
        s.takeoffRunwayHeadingRad = ac.motion.takeoffRunwayHeadingDeg * degreesToRadians;
        s.rotating = ac.phase == AcPhase::takeoff && ac.motion.takeoffCountdown >= 1;
        s.streamEnds = ac.stream.size() <= 1 || ac.extrapolationCount > 0;
        s.holding = !ac.stream.empty() && ac.stream.front().stationary != 0;
        s.holdKnownAtLegStart = legHoldKnown_[ac.hexid];
        r.samples.push_back(s);
    }
}

void MotionRecorder::lf_collectReceived(AircraftRecord& r, std::int64_t clockStartNs) const {
    r.received.clear();
    if (r.objectId == 0) return;
    for (const SimJournalEntry& e : gf_simModelJournal(r.objectId)) {
        if (e.kind != SimJournalKind::SetData || e.id != DEFINITION_LATLONPIBAHEALVSTAS || e.values.size() < 8)
            continue;
        ReceivedPose p;
        p.timeNs = e.timeNs;
        p.engineTick = static_cast<double>(e.timeNs - kPoseDelayNs - clockStartNs) / static_cast<double>(kTickNs);
        p.pose = {e.values[0], e.values[1], e.values[2], e.values[3],
                  e.values[4], e.values[5], e.values[6], e.values[7]};
        r.received.push_back(p);
    }
}

const AircraftRecord* MotionRecorder::record(std::uint32_t hexid, std::int64_t clockStartNs) {
    const auto it = records_.find(hexid);
    if (it == records_.end() || it->second.samples.empty()) return nullptr;
    lf_collectReceived(it->second, clockStartNs);
    return &it->second;
}

std::vector<const AircraftRecord*> MotionRecorder::records(std::int64_t clockStartNs) {
    std::vector<const AircraftRecord*> out;
    for (auto& [hexid, r] : records_)
        if (const AircraftRecord* found = record(hexid, clockStartNs)) out.push_back(found);
    return out;
}

MotionHarness::MotionHarness(EngineHarness::Options options) : engine_(std::make_unique<EngineHarness>(options)) {
    ScannedLiveriesBuilder liveries = EngineHarness::defaultLiveries();
    liveries.livery("KLM", "B77W", "KLM B77W");
    liveries.livery("KLM", "C172", "Cessna 172 KLM");
    liveries.livery("KLM", "EC35", "EC135 KLM");
    engine_->installLiveries(liveries);
    engine_->settings([](SettingsSnapshot& s) {
        s.LIGHT_AIRCRAFT = 1;
        s.HELICOPTERS = 1;
    });
    engine_->connect();
    recorder_ = std::make_unique<MotionRecorder>();
}

MotionHarness::~MotionHarness() {
    recorder_.reset();
    gf_setDecodeCalls({});
}

void MotionHarness::add(const Route& route, double everySeconds, std::int32_t fromTick) {
    AircraftRecord& r = recorder_->entry(route.hexid());
    auto reports = route.reports(everySeconds);
    for (std::size_t i = 0; i < reports.size(); ++i) {
        const auto at = fromTick + static_cast<std::int32_t>(std::llround(static_cast<double>(i) * everySeconds * 100.0));
        reports[i].time += fromTick / 100.0;
        batches_[at].push_back(reports[i]);
        r.reported.push_back(reports[i].point);
    }
}

void MotionHarness::run(int ticks) {
    for (int i = 0; i < ticks; ++i) {
        if (const auto due = batches_.find(engine_->engineTick()); due != batches_.end()) {
            engine_->post(std::move(due->second));
            batches_.erase(due);
        }
        engine_->tick();
        recorder_->recordTick();
    }
}

bool MotionHarness::runUntil(const std::function<bool()>& done, int maxTicks) {
    for (int i = 0; i < maxTicks; ++i) {
        if (done()) return true;
        run(1);
    }
    return done();
}

bool MotionHarness::runUntilGone(std::uint32_t hexid, int maxTicks) {
    return runUntil([&] { return recorder_->seen(hexid) && engine_->live(hexid) == nullptr; }, maxTicks);
}

std::int64_t MotionHarness::lf_clockStartNs() const {
    return EngineHarness::nowNs() - std::int64_t{engine_->engineTick()} * kTickNs;
}

const AircraftRecord* MotionHarness::record(std::uint32_t hexid) { return recorder_->record(hexid, lf_clockStartNs()); }

std::vector<const AircraftRecord*> MotionHarness::records() { return recorder_->records(lf_clockStartNs()); }

std::filesystem::path MotionHarness::writePlot(const std::string& name) {
    const std::filesystem::path file = gf_motionPlotFolder() / (name + ".svg");
    gf_writeMotionPlot(file, records());
    return file;
}

// ---------------------------------------------------------------------------
// Checker

const char* gf_motionCheckName(MotionCheck check) {
    static constexpr std::array<const char*, kMotionCheckCount> names{
        "finite",         "angle range",          "heading range", "position step",
        "point reached",  "ground turn rate",     "air turn rate", "bank limit",
        "climb change",   "profile join",         "takeoff roll backwards", "pushback heading", "ground speed",
        "rest change"};
    const auto i = static_cast<std::size_t>(check);
    return i < names.size() ? names[i] : "?";
}

std::string MotionFinding::text() const {
    return fmt::format("{:06X} tick {:.1f}{}: {} {:.6g} beyond {:.6g}", hexid, tick, received ? " (received)" : "",
                       gf_motionCheckName(check), value, limit);
}

bool MotionCheckResult::has(MotionCheck check) const { return count(check) > 0; }

std::size_t MotionCheckResult::count(MotionCheck check) const {
    return static_cast<std::size_t>(
        std::count_if(findings.begin(), findings.end(), [check](const MotionFinding& f) { return f.check == check; }));
}

std::string MotionCheckResult::summary() const {
    std::string out = fmt::format("{} findings", findings.size());
    for (std::size_t i = 0; i < findings.size() && i < 20; ++i) out += "\n  " + findings[i].text();
    return out;
}

double gf_checkerAirTurnRate(std::uint32_t category) {
    // Largest turn rates in degrees per second, Light .. Rotorcraft.
    static constexpr std::array<double, 7> degPerS{8.0, 8.0, 8.0, 8.0, 8.0, 12.0, 20.0};
    return (category < degPerS.size() ? degPerS[category] : 8.0) * degreesToRadians / 100.0;
}

SmoothnessChecker& SmoothnessChecker::exempt(MotionExemption exemption) {
    exemptions_.push_back(std::move(exemption));
    return *this;
}

bool SmoothnessChecker::lf_exempt(MotionCheck check, std::uint32_t hexid, std::int32_t tick,
                                  MotionCheckResult& out) const {
    for (const MotionExemption& e : exemptions_) {
        if (e.check != check || (e.hexid != 0 && e.hexid != hexid) || tick < e.fromTick || tick > e.toTick) continue;
        ++out.exempted[e.name];
        return true;
    }
    return false;
}

namespace {

// Judges one value: counts the check and records a finding when it fails.
struct Judge {
    const AircraftRecord& record;
    MotionCheckResult& out;
    bool received = false;
    void operator()(MotionCheck check, double tick, bool ok, double value, double limit) const {
        ++out.judged[check];
        if (limit > 0.0 && std::isfinite(value)) {
            double& worst = out.worstShare[check];
            worst = std::max(worst, std::fabs(value) / limit);
        }
        if (!ok) out.findings.push_back({record.hexid, tick, check, received, value, limit});
    }
};

double lf_bankLimit(std::uint32_t category, const MotionSample& s) {
    return maxBankAngle(gf_bankLimitRad(category), s.phase == AcPhase::landing, s.heightAboveGroundFt,
                        s.flareStage != 0);
}

// The checks every single pose passes, engine or received; `skip` tells an
// exempted check.
template <typename Skip>
void lf_checkPose(const Judge& judge, double tick, const AiPose& p, std::uint32_t category, const MotionSample* context,
                  Skip skip) {
    if (!skip(MotionCheck::Finite)) judge(MotionCheck::Finite, tick, lf_finite(p), 0.0, 0.0);
    if (!skip(MotionCheck::AngleRange))
        judge(MotionCheck::AngleRange, tick, std::fabs(p.pitch) <= kHalfPi && std::fabs(p.bank) <= kHalfPi,
              std::max(std::fabs(p.pitch), std::fabs(p.bank)), kHalfPi);
    if (!skip(MotionCheck::HeadingRange))
        judge(MotionCheck::HeadingRange, tick, p.heading >= 0.0 && p.heading < fullCircle, p.heading, fullCircle);
    if (context != nullptr && !skip(MotionCheck::BankLimit)) {
        const double limit = lf_bankLimit(category, *context);
        judge(MotionCheck::BankLimit, tick, std::fabs(p.bank) <= limit + kEpsilon, std::fabs(p.bank), limit);
    }
}

// Whether the sample is on the ground away from the runway rolls: taxiing,
// pushing back, parking or standing, where the aircraft moves at the speed
// the feed reports, never at a runway's.
bool lf_taxiing(const MotionSample& s) {
    return s.onGround && s.phase != AcPhase::takeoff_roll && s.phase != AcPhase::landing_roll &&
           s.phase != AcPhase::takeoff && s.phase != AcPhase::landing;
}

// The ground speed check's window: long enough that the easing of a leg's
// speed change (at most twice the leg's mean speed, at its end) and the
// shortest leg do not count, short enough that a squeezed leg shows.
constexpr std::int32_t kGroundSpeedWindowTicks = 50;
// The speed over the window may reach twice the largest reported around it:
// a leg from rest is timed at the next point's speed and played accelerating
// evenly, so it ends at twice that. A few knots more for the legs the engine
// times itself without a reported speed (a pushback, the way into a stand, at
// the category's taxi reference of 2 to 5 kt, eased at both ends).
constexpr double kGroundSpeedShare = 2.0;
constexpr double kGroundSpeedSlackKt = 8.0;

// The rest change check: an aircraft on the ground comes to rest, and leaves
// it, over a stretch of braking or acceleration, not from one tick to the
// next. Judged over the half second on the moving side of the stop or the
// start, as the rate that takes the aircraft from its mean speed there to
// rest evenly (twice the mean over the window). A taxiing airliner brakes or
// speeds up at a few knots a second, 16 kt/s (8 m/s^2) being beyond its
// hardest braking; the engine's eased legs to and from rest stay below it
// (the shortest pull-out from a stand comes to about 12), a stop from taxi
// speed in one tick does not (8 kt: 32 kt/s).
constexpr std::int32_t kRestWindowTicks = 50;
constexpr double kRestStepM = 0.001;  // a tick that moves less stands still
constexpr double kMostRestChangeKtPerS = 16.0;

template <typename Skip>
void lf_checkRestChanges(const Judge& judge, const std::vector<MotionSample>& s, Skip skip) {
    const auto exempted = [&](const char* name) { ++judge.out.exempted[name]; };
    const auto n = static_cast<std::ptrdiff_t>(s.size());
    // The step into sample i, NaN across a gap, a pose that is not finite or
    // the runway rolls and the air.
    std::vector<double> step(s.size(), std::nan(""));
    for (std::ptrdiff_t i = 1; i < n; ++i) {
        const MotionSample& p = s[static_cast<std::size_t>(i - 1)];
        const MotionSample& c = s[static_cast<std::size_t>(i)];
        if (p.tick == c.tick - 1 && lf_finite(p.pose) && lf_finite(c.pose) && lf_taxiing(p) && lf_taxiing(c))
            step[static_cast<std::size_t>(i)] = lf_metres(lf_position(p.pose), lf_position(c.pose));
    }
    // Whether every step of samples (from, to] is known.
    const auto whole = [&](std::ptrdiff_t from, std::ptrdiff_t to) {
        if (from < 0 || to >= n) return false;
        for (std::ptrdiff_t k = from + 1; k <= to; ++k)
            if (std::isnan(step[static_cast<std::size_t>(k)])) return false;
        return true;
    };
    for (std::ptrdiff_t i = 2; i < n; ++i) {
        const double before = step[static_cast<std::size_t>(i - 1)];
        const double now = step[static_cast<std::size_t>(i)];
        if (std::isnan(before) || std::isnan(now)) continue;
        const bool stops = before >= kRestStepM && now < kRestStepM;
        const bool starts = before < kRestStepM && now >= kRestStepM;
        if (!stops && !starts) continue;
        // The moving side: the window up to the last moving sample, or from
        // the last resting one on.
        const std::ptrdiff_t from = stops ? i - 1 - kRestWindowTicks : i - 1;
        const std::ptrdiff_t to = from + kRestWindowTicks;
        if (!whole(from, to)) continue;
        const MotionSample& at = s[static_cast<std::size_t>(i - 1)];
        if (skip(at.tick)) continue;
        const MotionSample& rest = s[static_cast<std::size_t>(i)];
        if (stops && rest.streamEnds) {
            exempted("stream end");
            continue;
        }
        if (stops && rest.holding && !at.holdKnownAtLegStart) {
            exempted("hold reported late");
            continue;
        }
        // Driving onto the stand ends where the stand is, at whatever speed
        // the last leg into it had: braking for it is not yet planned.
        if (stops && at.phase == AcPhase::parking) {
            exempted("arrival at the stand");
            continue;
        }
        const double seconds = kRestWindowTicks * 0.01;
        const double meanMps = lf_metres(lf_position(s[static_cast<std::size_t>(from)].pose),
                                         lf_position(s[static_cast<std::size_t>(to)].pose)) /
                               seconds;
        const double ktPerS = 2.0 * meanMps / seconds * kMpsToKnots;
        judge(MotionCheck::RestChange, at.tick, ktPerS <= kMostRestChangeKtPerS, ktPerS, kMostRestChangeKtPerS);
    }
}

// Metres of travel the context allows in one tick.
double lf_stepLimitM(const MotionSample& s) {
    const double kt = std::max(s.legSpeedKt, std::isfinite(s.pose.trueAirspeed) ? s.pose.trueAirspeed : 0.0);
    return 1.25 * kt * kKnotsToMps * 0.01;
}

}  // namespace

void SmoothnessChecker::lf_checkSamples(const AircraftRecord& r, MotionCheckResult& out) const {
    const Judge judge{r, out, false};
    const auto& s = r.samples;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const MotionSample& c = s[i];
        const double tick = c.tick;
        lf_checkPose(judge, tick, c.pose, r.category, &c,
                     [&](MotionCheck check) { return lf_exempt(check, r.hexid, c.tick, out); });
        if (i == 0) continue;
        const MotionSample& p = s[i - 1];
        if (p.tick != c.tick - 1) {
            ++out.exempted["gap"];
            continue;
        }
        if (!lf_finite(p.pose) || !lf_finite(c.pose)) continue;

        if (!lf_exempt(MotionCheck::PositionStep, r.hexid, c.tick, out)) {
            const double d = lf_metres(lf_position(p.pose), lf_position(c.pose));
            const double limit = lf_stepLimitM(c) + 0.05;
            judge(MotionCheck::PositionStep, tick, d <= limit, d, limit);
        }

        if (i >= static_cast<std::size_t>(kGroundSpeedWindowTicks) && lf_taxiing(c)) {
            const MotionSample& from = s[i - kGroundSpeedWindowTicks];
            bool whole = from.tick == c.tick - kGroundSpeedWindowTicks && lf_finite(from.pose);
            double reportedKt = 0.0;
            for (std::size_t k = i - kGroundSpeedWindowTicks; whole && k <= i; ++k) {
                whole = lf_taxiing(s[k]);
                reportedKt = std::max(reportedKt, s[k].reportedKt);
            }
            if (whole && !lf_exempt(MotionCheck::GroundSpeed, r.hexid, c.tick, out)) {
                const double kt = lf_metres(lf_position(from.pose), lf_position(c.pose)) /
                                  (kGroundSpeedWindowTicks * 0.01) * kMpsToKnots;
                const double limit = kGroundSpeedShare * reportedKt + kGroundSpeedSlackKt;
                judge(MotionCheck::GroundSpeed, tick, kt <= limit, kt, limit);
            }
        }

        const double dh = lf_headingChange(p.pose.heading, c.pose.heading);
        if (c.onGround != p.onGround) {
            ++out.exempted["lift-off/touchdown"];
        } else if (c.onGround && c.phase == AcPhase::pushing_back && p.phase == AcPhase::pushing_back) {
            if (!lf_exempt(MotionCheck::PushbackHeading, r.hexid, c.tick, out))
                judge(MotionCheck::PushbackHeading, tick, dh <= kEpsilon, dh, 0.0);
        } else if (c.onGround) {
            if (!lf_exempt(MotionCheck::GroundTurnRate, r.hexid, c.tick, out)) {
                const double limit = 1.2 * c.turnRateRad;
                judge(MotionCheck::GroundTurnRate, tick, dh <= limit + kEpsilon, dh, limit);
            }
        } else if (!lf_exempt(MotionCheck::AirTurnRate, r.hexid, c.tick, out)) {
            const double limit = gf_checkerAirTurnRate(r.category);
            judge(MotionCheck::AirTurnRate, tick, dh <= limit + kEpsilon, dh, limit);
        }

        if (r.category == Light && c.onGround && p.onGround && c.phase == AcPhase::takeoff_roll &&
            p.phase == AcPhase::takeoff_roll && !lf_exempt(MotionCheck::TakeoffRollBackwards, r.hexid, c.tick, out)) {
            const double reference = c.takeoffRunwayMatched ? c.takeoffRunwayHeadingRad : p.pose.heading;
            const Offset o = lf_offset(lf_position(p.pose), lf_position(c.pose));
            const double along = o.north * std::cos(reference) + o.east * std::sin(reference);
            judge(MotionCheck::TakeoffRollBackwards, tick, along >= -0.02 - kEpsilon, along, -0.02);
        }

        if (c.legStart && c.profiled && p.profiled && c.phase == p.phase &&
            !lf_exempt(MotionCheck::ProfileJoin, r.hexid, c.tick, out)) {
            const double jump = std::fabs(c.pose.trueAirspeed - p.pose.trueAirspeed);
            judge(MotionCheck::ProfileJoin, tick, jump <= 0.5, jump, 0.5);
        }

        if (i >= 2 && s[i - 2].tick == c.tick - 2 && lf_finite(s[i - 2].pose)) {
            const MotionSample& pp = s[i - 2];
            if (pp.onGround != p.onGround || p.onGround != c.onGround) {
                ++out.exempted["lift-off/touchdown"];
            } else if (pp.rotating || p.rotating || c.rotating) {
                ++out.exempted["rotation"];
            } else if (!c.onGround && c.legStart && c.phase == AcPhase::flying) {
                // A flying leg climbs exactly as its points do, from its start.
                ++out.exempted["flying leg climb"];
            } else if (!c.onGround && c.phase == AcPhase::landing && p.phase != AcPhase::landing) {
                // The approach descent begins at its own rate.
                ++out.exempted["approach start"];
            } else if (!c.onGround && !lf_exempt(MotionCheck::ClimbChange, r.hexid, c.tick, out)) {
                const double change = std::fabs((c.pose.altitude - p.pose.altitude) - (p.pose.altitude - pp.pose.altitude));
                judge(MotionCheck::ClimbChange, tick, change <= 0.001 + kEpsilon, change, 0.001);
            }
        }
    }
    lf_checkRestChanges(judge, s, [&](std::int32_t tick) { return lf_exempt(MotionCheck::RestChange, r.hexid, tick, out); });
    std::int32_t legBegan = 0;
    for (const PointArrival& a : r.arrivals) {
        const std::int32_t began = std::exchange(legBegan, a.tick);
        if (a.first) {
            ++out.exempted["activation"];
            continue;
        }
        // A leg to a point due sooner than the shortest leg is played as the
        // shortest leg, and the next step comes when the point is due: the
        // aircraft leaves it short.
        if (a.dueTick - began < kMinLegTicks) {
            ++out.exempted["shorter than the shortest leg"];
            continue;
        }
        if (lf_exempt(MotionCheck::PointReached, r.hexid, a.tick, out)) continue;
        // Late is as wrong as far: the point's tick is when the pose must be on it.
        const bool onTime = a.tick == a.dueTick;
        judge(MotionCheck::PointReached, a.tick, onTime && a.missM <= 0.5, onTime ? a.missM : a.tick - a.dueTick,
              onTime ? 0.5 : 0.0);
    }
}

void SmoothnessChecker::lf_checkReceived(const AircraftRecord& r, MotionCheckResult& out) const {
    const Judge judge{r, out, true};
    // The engine samples by tick, for the context of a received pose.
    std::map<std::int32_t, const MotionSample*> byTick;
    for (const MotionSample& s : r.samples) byTick[s.tick] = &s;
    const auto context = [&](double tick) -> const MotionSample* {
        const auto it = byTick.find(static_cast<std::int32_t>(std::floor(tick)));
        return it == byTick.end() ? nullptr : it->second;
    };
    const auto& rs = r.received;
    for (std::size_t i = 0; i < rs.size(); ++i) {
        const ReceivedPose& c = rs[i];
        const MotionSample* here = context(c.engineTick);
        const auto whole = static_cast<std::int32_t>(std::floor(c.engineTick));
        lf_checkPose(judge, c.engineTick, c.pose, r.category, here,
                     [&](MotionCheck check) { return lf_exempt(check, r.hexid, whole, out); });
        if (i == 0) continue;
        const ReceivedPose& p = rs[i - 1];
        const double dt = c.engineTick - p.engineTick;
        // Every engine tick between the two must have been recorded.
        const auto from = static_cast<std::int32_t>(std::floor(p.engineTick));
        const auto to = static_cast<std::int32_t>(std::ceil(c.engineTick));
        bool complete = dt > 0.0 && to - from <= 20;
        double stepLimit = 0.0;
        bool onGround = false;
        bool mixed = false;
        bool pushing = true;
        double turnRate = 0.0;
        for (std::int32_t t = from; complete && t <= to; ++t) {
            const auto it = byTick.find(t);
            if (it == byTick.end()) {
                // The last engine pose of a life is still sent after it.
                if (t == to) break;
                complete = false;
                break;
            }
            const MotionSample& s = *it->second;
            if (t == from) onGround = s.onGround;
            mixed = mixed || s.onGround != onGround;
            pushing = pushing && s.phase == AcPhase::pushing_back;
            stepLimit = std::max(stepLimit, lf_stepLimitM(s));
            turnRate = std::max(turnRate, s.turnRateRad);
        }
        if (!complete) {
            ++out.exempted["gap"];
            continue;
        }
        if (!lf_finite(p.pose) || !lf_finite(c.pose)) continue;
        if (!lf_exempt(MotionCheck::PositionStep, r.hexid, whole, out)) {
            const double d = lf_metres(lf_position(p.pose), lf_position(c.pose));
            const double limit = dt * stepLimit + 0.05;
            judge(MotionCheck::PositionStep, c.engineTick, d <= limit, d, limit);
        }
        const double dh = lf_headingChange(p.pose.heading, c.pose.heading);
        if (mixed) {
            ++out.exempted["lift-off/touchdown"];
        } else if (onGround && pushing) {
            if (!lf_exempt(MotionCheck::PushbackHeading, r.hexid, whole, out))
                judge(MotionCheck::PushbackHeading, c.engineTick, dh <= kEpsilon, dh, 0.0);
        } else if (onGround) {
            if (!lf_exempt(MotionCheck::GroundTurnRate, r.hexid, whole, out))
                judge(MotionCheck::GroundTurnRate, c.engineTick, dh <= dt * 1.2 * turnRate + kEpsilon, dh,
                      dt * 1.2 * turnRate);
        } else if (!lf_exempt(MotionCheck::AirTurnRate, r.hexid, whole, out)) {
            const double limit = dt * gf_checkerAirTurnRate(r.category);
            judge(MotionCheck::AirTurnRate, c.engineTick, dh <= limit + kEpsilon, dh, limit);
        }
    }
}

MotionCheckResult SmoothnessChecker::check(const AircraftRecord& record) const {
    MotionCheckResult out;
    lf_checkSamples(record, out);
    return out;
}

MotionCheckResult SmoothnessChecker::checkAll(const AircraftRecord& record) const {
    MotionCheckResult out;
    lf_checkSamples(record, out);
    lf_checkReceived(record, out);
    return out;
}

// ---------------------------------------------------------------------------
// Plots

std::filesystem::path gf_motionPlotFolder() {
    std::filesystem::path folder;
    if (const char* dir = std::getenv("TAVO_PLOT_DIR"); dir != nullptr && *dir != '\0')
        folder = dir;
    else
        folder = std::filesystem::read_symlink("/proc/self/exe").parent_path() / "motion_plots";
    std::filesystem::create_directories(folder);
    return folder;
}

namespace {

constexpr double kPanel = 600.0;
constexpr double kMargin = 30.0;

struct Projection {
    LaLo origin{};
    double minX = 0, maxX = 0, minY = 0, maxY = 0;
    double scale = 1.0;
    void include(LaLo p) {
        const Offset o = lf_offset(origin, p);
        minX = std::min(minX, o.east);
        maxX = std::max(maxX, o.east);
        minY = std::min(minY, o.north);
        maxY = std::max(maxY, o.north);
    }
    void finish() {
        const double span = std::max({maxX - minX, maxY - minY, 1.0});
        scale = (kPanel - 2 * kMargin) / span;
    }
    std::string at(LaLo p, double top) const {
        const Offset o = lf_offset(origin, p);
        return fmt::format("{:.2f},{:.2f}", kMargin + (o.east - minX) * scale,
                           top + kPanel - kMargin - (o.north - minY) * scale);
    }
};

}  // namespace

void gf_writeMotionPlot(const std::filesystem::path& file, const std::vector<const AircraftRecord*>& records,
                        const std::vector<MotionFinding>& findings) {
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write the plot " + file.string());
    const double height = kPanel * static_cast<double>(std::max<std::size_t>(records.size(), 1));
    out << fmt::format("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"{:.0f}\" height=\"{:.0f}\" "
                       "font-family=\"sans-serif\" font-size=\"12\">\n",
                       kPanel, height);
    double top = 0.0;
    for (const AircraftRecord* r : records) {
        Projection proj;
        proj.origin = !r->reported.empty()   ? LaLo{r->reported.front().lat, r->reported.front().lon}
                      : !r->samples.empty() ? lf_position(r->samples.front().pose)
                                            : LaLo{};
        for (const StreamPoint& p : r->reported) proj.include({p.lat, p.lon});
        for (const MotionSample& s : r->samples)
            if (lf_finite(s.pose)) proj.include(lf_position(s.pose));
        for (const ReceivedPose& p : r->received)
            if (lf_finite(p.pose)) proj.include(lf_position(p.pose));
        proj.finish();
        std::size_t found = 0;
        for (const MotionFinding& f : findings) found += f.hexid == r->hexid ? 1 : 0;
        out << fmt::format("<rect x=\"0\" y=\"{:.0f}\" width=\"{:.0f}\" height=\"{:.0f}\" fill=\"white\" "
                           "stroke=\"#ccc\"/>\n",
                           top, kPanel, kPanel);
        out << fmt::format("<text x=\"8\" y=\"{:.0f}\">{:06X} {} category {}: {} reports, {} ticks, {} received, {} "
                           "findings; {:.1f} m across</text>\n",
                           top + 16, r->hexid, r->callsign, r->category, r->reported.size(), r->samples.size(),
                           r->received.size(), found, (kPanel - 2 * kMargin) / proj.scale);
        const auto polyline = [&](const auto& points, const char* colour, auto position) {
            out << "<polyline fill=\"none\" stroke=\"" << colour << "\" stroke-width=\"1\" points=\"";
            for (const auto& p : points)
                if (lf_finite(p.pose)) out << proj.at(position(p), top) << ' ';
            out << "\"/>\n";
        };
        polyline(r->samples, "#1f77b4", [](const MotionSample& s) { return lf_position(s.pose); });
        polyline(r->received, "#ff7f0e", [](const ReceivedPose& p) { return lf_position(p.pose); });
        for (const StreamPoint& p : r->reported) {
            const std::string xy = proj.at({p.lat, p.lon}, top);
            const auto comma = xy.find(',');
            out << fmt::format("<circle cx=\"{}\" cy=\"{}\" r=\"3\" fill=\"none\" stroke=\"#555\"/>\n",
                               xy.substr(0, comma), xy.substr(comma + 1));
        }
        for (const MotionFinding& f : findings) {
            if (f.hexid != r->hexid) continue;
            const auto sample = std::find_if(r->samples.begin(), r->samples.end(), [&](const MotionSample& s) {
                return s.tick >= static_cast<std::int32_t>(f.tick);
            });
            if (sample == r->samples.end() || !lf_finite(sample->pose)) continue;
            const std::string xy = proj.at(lf_position(sample->pose), top);
            const auto comma = xy.find(',');
            out << fmt::format("<circle cx=\"{}\" cy=\"{}\" r=\"5\" fill=\"none\" stroke=\"red\"/>\n",
                               xy.substr(0, comma), xy.substr(comma + 1));
        }
        top += kPanel;
    }
    out << "</svg>\n";
    if (!out) throw std::runtime_error("cannot write the plot " + file.string());
}

}  // namespace tavo::test
