#include "support/motion_harness.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <set>
#include <stdexcept>
#include <utility>

#include <fmt/format.h>

#include "engine/decode.h"
#include "engine/engine_lists.h"
#include "engine/engine_state.h"
#include "engine/mailbox.h"
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
// A minute of arc is a nautical mile, as the program and the feeds it reads
// count it: measured so, a pose that moves at a report's knots moves at them.
constexpr double kMetresPerDegree = 60.0 * 1852.0;
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
        if (const auto planned = legDeadReckonedDue_.find(ac.hexid);
            planned != legDeadReckonedDue_.end() && planned->second >= 0 && a.dueTick < planned->second)
            a.deadReckoningEnded = true;
        r.objectId = ac.objectId;
        r.arrivals.push_back(a);
        nextPosMain(ac);
        legDeadReckonedDue_[ac.hexid] =
            ac.extrapolationCount > 0 && !ac.stream.empty() ? std::int64_t{ac.stream.front().playTick} : -1;
        legSpeedKt_[ac.hexid] = lf_legSpeedKt(ac);
        legStep_[ac.hexid] = {ac.motion.stepLat, ac.motion.stepLon};
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
    // The reports the run before was handed and had not yet played, which
    // the program carries into the next run and plays there as its own: a
    // restart does not end them. Left out, an aircraft created again after a
    // restart from carried reports at 145 kt was held to the 160 kt of the
    // last report before the restart.
    gf_setCarriedReportsWatch([this](std::span<const TrafficRecord> carried) {
        int run = 0;
        {
            std::lock_guard lock(reportsMutex_);
            if (!runBegan_.empty()) run = runBegan_.rbegin()->first;
        }
        for (const TrafficRecord& r : carried) report(r, std::nullopt, run);
    });
}

MotionRecorder::~MotionRecorder() {
    gf_setEngineCalls({});
    gf_setCarriedReportsWatch({});
}

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
        r.categoryKnown = true;
        r.airborneFloorKt = gf_airborneSpeedFloorKt(ac);
        r.objectId = ac.objectId;
        MotionSample s;
        s.tick = tick;
        s.objectId = ac.objectId;
        s.pose = ac.pose;
        s.phase = ac.phase;
        s.prevPhase = ac.prevPhase;
        s.onGround = ac.onGround != 0;
        s.legStart = legStartTick_.count(ac.hexid) != 0 && legStartTick_[ac.hexid] == tick;
        if (const auto step = legStep_.find(ac.hexid);
            step != legStep_.end() && step->second != std::pair{ac.motion.stepLat, ac.motion.stepLon}) {
            legSpeedKt_[ac.hexid] = lf_legSpeedKt(ac);
            step->second = {ac.motion.stepLat, ac.motion.stepLon};
        }
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
        if (tickOf_) p.engineTick = tickOf_(e.timeNs - kPoseDelayNs);
        // Only the poses sent while the aircraft had this object: after a
        // restart of the program's run the simulator may give the id of an
        // object it had before to another aircraft, and the journal of the id
        // holds both.
        const auto near = std::lower_bound(r.samples.begin(), r.samples.end(), std::floor(p.engineTick) - 2.0,
                                           [](const MotionSample& m, double t) { return m.tick < t; });
        if (near == r.samples.end() || near->tick > std::floor(p.engineTick) + 2.0 || near->objectId != r.objectId)
            continue;
        p.pose = {e.values[0], e.values[1], e.values[2], e.values[3],
                  e.values[4], e.values[5], e.values[6], e.values[7]};
        r.received.push_back(p);
    }
}

void MotionRecorder::report(const TrafficRecord& record, std::optional<double> dueTick, int run) {
    std::lock_guard lock(reportsMutex_);
    handed_.push_back({record, dueTick, run});
}

void MotionRecorder::runBegan(int run, double tick) {
    std::lock_guard lock(reportsMutex_);
    runBegan_.emplace(run, tick);
}

void MotionRecorder::lf_takeReports() {
    std::vector<Handed> taken;
    std::map<int, double> began;
    {
        std::lock_guard lock(reportsMutex_);
        taken.swap(handed_);
        began = runBegan_;
    }
    std::set<std::uint32_t> touched;
    for (const Handed& h : taken) {
        AircraftRecord& r = records_[h.record.hexid];
        r.hexid = h.record.hexid;
        if (r.callsign.empty()) r.callsign = h.record.identity.callsign;
        if (r.registration.empty()) r.registration = h.record.identity.registration;
        ReportedPosition p;
        p.time = h.record.time;
        p.dueTick = h.dueTick ? *h.dueTick : dueTickOf_ ? dueTickOf_(p.time) : 0.0;
        p.position = {h.record.point.lat, h.record.point.lon};
        p.altitudeFt = h.record.point.altitudeFt;
        p.groundSpeedKt = h.record.point.groundSpeedKt;
        p.trackDeg = h.record.point.trackDeg;
        p.airborne = h.record.point.airborne != 0;
        if (madeBad_) p.madeBad = madeBad_(r.hexid, p.time);
        p.run = h.run;
        r.reports.push_back(p);
        touched.insert(r.hexid);
    }
    // Time order, each time once: a repeated datagram or one that came late
    // is the same report; handed over again after a restart, it is the new
    // run's.
    for (const std::uint32_t hexid : touched) {
        auto& reports = records_[hexid].reports;
        std::stable_sort(reports.begin(), reports.end(), [](const ReportedPosition& a, const ReportedPosition& b) {
            return a.time != b.time ? a.time < b.time : a.run > b.run;
        });
        reports.erase(std::unique(reports.begin(), reports.end(),
                                  [](const ReportedPosition& a, const ReportedPosition& b) { return a.time == b.time; }),
                      reports.end());
    }
    // A report an earlier run was handed, due once a later run had begun
    // and neither handed to that run again nor carried into it, is nothing
    // the program has to play.
    if (!began.empty())
        for (auto& [hexid, r] : records_)
            std::erase_if(r.reports, [&](const ReportedPosition& p) {
                const auto next = began.upper_bound(p.run);
                return next != began.end() && p.dueTick >= next->second;
            });
}

std::vector<const AircraftRecord*> MotionRecorder::allRecords(std::int64_t clockStartNs) {
    lf_takeReports();
    std::vector<const AircraftRecord*> out;
    for (auto& [hexid, r] : records_) {
        if (r.samples.empty() && r.reports.empty()) continue;
        if (!r.samples.empty()) lf_collectReceived(r, clockStartNs);
        out.push_back(&r);
    }
    return out;
}

const AircraftRecord* MotionRecorder::record(std::uint32_t hexid, std::int64_t clockStartNs) {
    lf_takeReports();
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
        // Posted at its tick with the feed's 30 s delay.
        recorder_->report(reports[i], at + 3000.0);
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
        "rest change",    "lag",                  "nose and travel", "backwards", "airborne speed",
        "speed of travel", "standing still",      "created or told", "speed change", "turn on the spot",
        "created again or told"};
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
            // A report reached before its time is no lag: a parked aircraft
            // stands at its standing reports long before they fall due.
            const double size = check == MotionCheck::Lag ? std::max(0.0, value) : std::fabs(value);
            double& worst = out.worstShare[check];
            worst = std::max(worst, size / limit);
        }
        if (!ok) out.findings.push_back({record.hexid, tick, check, received, value, limit});
    }
    // A lower limit: the share is the limit over the value.
    void floor(MotionCheck check, double tick, double value, double limit) const {
        ++out.judged[check];
        if (limit > 0.0 && std::isfinite(value)) {
            double& worst = out.worstShare[check];
            worst = std::max(worst, value > 0.0 ? limit / value : std::numeric_limits<double>::infinity());
        }
        if (!(value >= limit)) out.findings.push_back({record.hexid, tick, check, received, value, limit});
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
// The speed over the window may reach a quarter more than the largest
// reported around it and a few knots: lag is taken back gently, and the legs
// the engine times itself without a reported speed (a pushback, the way into
// a stand, at the category's taxi reference of 2 to 5 kt) stay within the
// knots. A taxi running half again its reported speed to catch up is a surge
// any pilot watching sees.
// "Reported" is the faster of the speeds the reports give and the speed their
// own positions cover over their times: a feed that repeats a stale position
// (at speed 0) and then jumps on has the aircraft cover the jump in the time
// between, faster than any speed it reports, and an aircraft that kept to the
// reported speed there would fall further behind its reports than the lag
// check allows.
// (MotionLimits::groundSpeedShare and groundSpeedSlackKt.) Off the runway
// lag is never taken back above a fast taxi (taxiMostKt): faster only where
// the reports themselves go faster, and then by the slack alone.

std::vector<const ReportedPosition*> lf_reportedPath(const std::vector<ReportedPosition>& reports,
                                                     bool staleAtGroundPace = false);
double lf_fastestOwnKt(const std::vector<const ReportedPosition*>& path, double fromTick, double toTick);

// The rest change check: an aircraft on the ground comes to rest, and leaves
// it, over a stretch of braking or acceleration, not from one tick to the
// next. Judged over the half second on the moving side of the stop or the
// start, as the rate that takes the aircraft from its mean speed there to
// rest evenly (twice the mean over the window). A taxiing airliner brakes or
// speeds up at a few knots a second, 16 kt/s (8 m/s^2) being beyond its
// hardest braking; the engine's eased legs to and from rest stay below it
// (the shortest pull-out from a stand comes to about 12), a stop from taxi
// speed in one tick does not (8 kt: 32 kt/s). It holds anywhere on the
// ground, on the runway rolls too, and wherever a stop comes from: a stream
// that ends while the aircraft moves, or a hold reported after the leg into
// it began, must be braked for as any other stop.
constexpr std::int32_t kRestWindowTicks = 50;
constexpr double kRestStepM = 0.001;  // a tick that moves less stands still
constexpr double kMostRestChangeKtPerS = 16.0;

template <typename Skip>
void lf_checkRestChanges(const Judge& judge, const std::vector<MotionSample>& s, Skip skip) {
    const auto n = static_cast<std::ptrdiff_t>(s.size());
    // The step into sample i, NaN across a gap, a pose that is not finite or
    // the air.
    std::vector<double> step(s.size(), std::nan(""));
    for (std::ptrdiff_t i = 1; i < n; ++i) {
        const MotionSample& p = s[static_cast<std::size_t>(i - 1)];
        const MotionSample& c = s[static_cast<std::size_t>(i)];
        if (p.tick == c.tick - 1 && lf_finite(p.pose) && lf_finite(c.pose) && p.onGround && c.onGround)
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
    const std::vector<const ReportedPosition*> path = lf_reportedPath(r.reports);
    // The reports' own pace across a stale repeat at no speed: the pace from
    // the report before it to the one after. With the repeat kept, a stretch
    // judged before the repeat falls due reads the reports as standing (the
    // moving report to its own copy), though the aircraft went on meanwhile
    // and the report after the copy lies hundreds of metres on.
    const std::vector<const ReportedPosition*> travelPath = lf_reportedPath(r.reports, true);
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
                const double ownKt = std::max(lf_fastestOwnKt(path, from.tick, c.tick),
                                              lf_fastestOwnKt(travelPath, from.tick, c.tick));
                if (std::isfinite(ownKt)) reportedKt = std::max(reportedKt, ownKt);
                const double kt = lf_metres(lf_position(from.pose), lf_position(c.pose)) /
                                  (kGroundSpeedWindowTicks * 0.01) * kMpsToKnots;
                const double limit =
                    std::min(limits_.groundSpeedShare * reportedKt + limits_.groundSpeedSlackKt,
                             std::max(limits_.taxiMostKt, reportedKt + limits_.groundSpeedSlackKt));
                judge(MotionCheck::GroundSpeed, tick, kt <= limit, kt, limit);
            }
        }

        const double dh = lf_headingChange(p.pose.heading, c.pose.heading);
        if (c.onGround != p.onGround) {
            ++out.exempted["lift-off/touchdown"];
        } else if (c.onGround && c.phase == AcPhase::pushing_back && p.phase == AcPhase::pushing_back) {
            // A pushback with a turn swings the nose as the tug turns it, no
            // faster than the aircraft turns on the ground.
            if (!lf_exempt(MotionCheck::PushbackHeading, r.hexid, c.tick, out)) {
                const double limit = 1.2 * c.turnRateRad;
                judge(MotionCheck::PushbackHeading, tick, dh <= limit + kEpsilon, dh, limit);
            }
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
        if (a.deadReckoningEnded) {
            ++out.exempted["dead reckoning ended"];
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
                judge(MotionCheck::PushbackHeading, c.engineTick, dh <= dt * 1.2 * turnRate + kEpsilon, dh,
                      dt * 1.2 * turnRate);
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

// ---------------------------------------------------------------------------
// Checks against the reports

namespace {

// The lag check: a report counts as reached when the pose comes this close,
// or passes the line across the reported path at the report within this much
// of it, moving the reported way. Metres, on the ground and in the air (where
// a curved leg cuts a corner by more). On the ground ten metres aside
// (MotionLimits::passGroundM) is already off the taxiway's centre line.
constexpr double kReachGroundM = 5.0;
constexpr double kReachAirM = 50.0;
constexpr double kPassAirM = 600.0;
// How far past a report (in shares of the distance aside) a pose that comes
// onto its way has still passed it.
constexpr double kPassAlongShare = 3.0;
// A report that stands (no speed, within a stand's scatter of the one before)
// is reached with that one.
constexpr double kStandScatterM = 60.0;
// A standing report is reached within this of it, or of the middle of the
// run of standing reports it begins (the feed's scatter about the spot
// averages out there): further off, the aircraft stands elsewhere
// (MotionLimits::reachStandingM).
constexpr double kLagMostS = 10.0;
constexpr double kLagSettledS = 5.0;
constexpr double kLagSettleTicks = 3000.0;  // 30 s after the last turn or hold
constexpr double kTurnDeg = 30.0;
// The least leg (m) whose bearing tells a turn.
constexpr double kTurnLegLeastM = 5.0;
// A report is sought from this long before its due tick, and given up this
// long after it.
constexpr std::int32_t kLagSearchBeforeTicks = 3000;
constexpr std::int32_t kLagSearchAfterTicks = 6000;
constexpr double kOutlierSlackKt = 200.0;
// A report out of reach of one report beside it is off the pace of the two
// around it on its other side when the aircraft would go faster than this
// share of their pace, and this much more (kt), to come from or go to it.
constexpr double kOffPaceShare = 1.5;
constexpr double kOffPaceSlackKt = 50.0;
// A stale repeat on the ground is told with a ground-sized slack when the
// reports' own speed is sought: no aircraft on the ground goes sixty knots
// past three times the pace of the reports around it.
constexpr double kStaleGroundSlackKt = 60.0;
// No aircraft goes this fast on the ground (kt): a ground report saying so
// has a bad speed.
constexpr double kAbsurdGroundKt = 300.0;
// Nor in the air (kt): no report saying so tells a pace.
constexpr double kAbsurdAirKt = 2000.0;
// A report this close to the one before repeats its position.
constexpr double kRepeatM = 0.5;
// A flying aircraft's first report within this (m, a quarter mile) of the
// next one may be the feed's scatter about the place it was.
constexpr double kFirstReportScatterM = 463.0;
// Nose and travel: the direction of travel over at least this much travel,
// within at most this many ticks.
constexpr double kChordGroundM = 2.0;
constexpr double kChordAirM = 20.0;
constexpr std::int32_t kChordMostTicks = 300;
constexpr double kNoseSpeedKt = 3.0;
constexpr double kNoseMostDeg = 30.0;
constexpr double kBackwardsDeg = 90.0;
constexpr std::int32_t kSpeedWindowTicks = 100;
constexpr std::int32_t kSpeedStrideTicks = 25;
// Speed of travel: within a quarter more than the reports' own pace and a few
// knots, more in the air where the pace is higher and a leg's chord is long
// (MotionLimits::travelShare, travelSlackAirKt, travelSlackGroundKt).
// In the air no speed changes faster than this beyond what the reports show:
// an airliner in level flight loses a knot or two a second, not five.
constexpr double kAirSpeedChangeKtPerS = 5.0;
// A report after a run at no speed lies further than this share of its
// reported speed and this slack on: the aircraft had left the run's spot.
constexpr double kLeftShare = 2.0;
constexpr double kLeftSlackKt = 20.0;
// Turn on the spot: the nose turns this much while the aircraft moves less
// than this (a turn tighter than a 3 m radius), within this long.
constexpr double kSpotTurnDeg = 20.0;
constexpr double kSpotTurnTravelM = 1.0;
constexpr std::int32_t kSpotTurnMostTicks = 2000;
// Which reports a window of travel is held to: those due from 15 s before it
// (the lag the check allows, and more) to 5 s after.
constexpr double kTravelReportsBeforeTicks = 1500.0;
constexpr double kTravelReportsAfterTicks = 500.0;
// The gentlest braking (1 m/s^2) an aircraft rolling on the ground slows by
// to rest.
constexpr double kGentlestRollBrakeKtPerS = 1.0 * kMpsToKnots;
// The gentlest an aircraft on the ground speeds up from rest (m/s^2): to be
// at a report at the speed it gives, it sets off that much sooner.
constexpr double kGentlestSetOffMps2 = 1.0;
constexpr double kStillMostM = 1.0;
constexpr double kStillRunTicks = 2000.0;
constexpr std::int32_t kStillSettleTicks = 1000;
// A run of standing reports ends where, after this many, two in a row stand
// together (within this, m) further than this (m) beyond the scatter the run
// showed so far: the aircraft was moved there while its reports paused.
constexpr std::size_t kStillShownLeast = 3;
constexpr double kStillTogetherM = 4.0;
constexpr double kStillBeyondM = 15.0;

// Where a run of standing reports from `i` (up to `j`) moves to a place of
// its own: the first of two reports in a row that stand together well beyond
// the scatter of those before them, or the last ones, together beyond it,
// that the reports move on from. `j` when they never do.
std::size_t lf_standingRunMoves(const std::vector<ReportedPosition>& reports, std::size_t i, std::size_t j) {
    const LaLo first = reports[i].position;
    // A run that repeats the position of a moving report before it stands
    // where the aircraft drove to, a spot known to the metre: there is no
    // scatter for a few reports to show first.
    const ReportedPosition* before = i > 0 ? &reports[i - 1] : nullptr;
    const bool droveThere = before != nullptr && !before->airborne && before->groundSpeedKt >= 1.0 &&
                            before->groundSpeedKt <= kAbsurdGroundKt && lf_metres(before->position, first) < kRepeatM;
    const std::size_t shownLeast = droveThere ? 1 : kStillShownLeast;
    // However few reports the first place had, as many as would show a
    // scatter standing together beyond it are a place of their own: a
    // scatter about one spot does not hold that still that far from it (a
    // pushback the reports paused through, two reports at the stand before).
    const auto standTogether = [&](std::size_t k, std::size_t count) {
        if (k + count > j) return false;
        for (std::size_t m = k + 1; m < k + count; ++m)
            if (!(lf_metres(reports[k].position, reports[m].position) < kStillTogetherM)) return false;
        return true;
    };
    double spread = 0.0;
    for (std::size_t k = i; k + 1 < j; ++k) {
        const double here = lf_metres(reports[k].position, first);
        const double next = lf_metres(reports[k + 1].position, first);
        const bool shown = k - i >= shownLeast;
        if (here > spread + kStillBeyondM && next > spread + kStillBeyondM &&
            standTogether(k, shown ? 2 : kStillShownLeast))
            return k;
        spread = std::max(spread, here);
    }
    // The run's last reports stand together well beyond the scatter before
    // them, and the report after the run moves on: they are where the move
    // the reports paused through brought the aircraft (its first there at no
    // speed), not scatter. Standing still up to them and reaching them are
    // not both possible. The report moving on from them counts as one more
    // together: a lone one needs the scatter shown before it, two need none.
    if (j >= reports.size() || j - i < 2) return j;
    const ReportedPosition& after = reports[j];
    if (after.airborne || !(after.groundSpeedKt >= 1.0) || after.groundSpeedKt > kAbsurdGroundKt) return j;
    std::size_t g = j - 1;
    while (g > i + 1 && lf_metres(reports[g - 1].position, reports[j - 1].position) < kStillTogetherM) --g;
    const bool enough = g - i >= shownLeast || j - g + 1 >= kStillShownLeast;
    double scatter = 0.0;
    for (std::size_t k = i; k < g; ++k) scatter = std::max(scatter, lf_metres(reports[k].position, first));
    for (std::size_t k = g; k < j; ++k)
        if (!(lf_metres(reports[k].position, first) > scatter + kStillBeyondM)) return j;
    return enough ? g : j;
}

double lf_ownKt(const ReportedPosition& a, const ReportedPosition& b) {
    const double dt = b.time - a.time;
    if (!(dt > 0.0)) return std::numeric_limits<double>::infinity();
    return lf_metres(a.position, b.position) / dt * kMpsToKnots;
}

// The report after a run at no speed lies further from the run's last one
// than an aircraft on the ground goes in the time between them (more than
// twice its reported speed and 20 kt on, yet at a pace an aircraft on the
// ground may be reported at): the feed kept repeating a position the
// aircraft had already left. Standing still to the run's end and being at
// that report in time are not both possible. A position miles off is a bad
// report, not a move: the run stands.
bool lf_leftBeforeTheRunEnded(const ReportedPosition& last, const ReportedPosition& after) {
    if (last.airborne || after.airborne || !(after.groundSpeedKt >= 1.0) || after.groundSpeedKt > kAbsurdGroundKt)
        return false;
    const double ownKt = lf_ownKt(last, after);
    return ownKt > kLeftShare * after.groundSpeedKt + kLeftSlackKt && ownKt <= kAbsurdGroundKt;
}

// A repeat at no speed of the report before it, in a run of such repeats
// that the report after the run shows the aircraft had left long before
// (above): it tells no pace of the aircraft's.
bool lf_repeatTheAircraftHadLeft(const std::vector<ReportedPosition>& reports, std::size_t i) {
    const ReportedPosition& here = reports[i];
    if (i == 0 || here.airborne || !(here.groundSpeedKt < 1.0) ||
        !(lf_metres(reports[i - 1].position, here.position) < kRepeatM))
        return false;
    std::size_t m = i + 1;
    while (m < reports.size() && reports[m].groundSpeedKt < 1.0 &&
           lf_metres(reports[m].position, here.position) < kRepeatM)
        ++m;
    return m < reports.size() && lf_leftBeforeTheRunEnded(reports[m - 1], reports[m]);
}

// The least way (m) from one moving report to a later one: the straight line
// between them, or, where their tracks meet ahead of the first and behind
// the second, the way through that corner. Across a corner the straight line
// is the short side of the triangle: a light aircraft that taxied 146 m west
// and 246 m on round a 110 degree corner at 15 kt was 240 m from where it
// set off, no more than 9.3 kt by the straight line. A corner sharper than
// 120 degrees counts no more than twice the line: the tracks alone do not
// tell where a U-turn was made.
double lf_leastWayM(const ReportedPosition& from, const ReportedPosition& to) {
    const Offset o = lf_offset(from.position, to.position);
    const double chord = std::hypot(o.north, o.east);
    if (!std::isfinite(from.trackDeg) || !std::isfinite(to.trackDeg)) return chord;
    const double a = from.trackDeg * degreesToRadians, b = to.trackDeg * degreesToRadians;
    // from + s (along its track) = to - u (along the track of `to`).
    const double det = std::cos(a) * std::sin(b) - std::sin(a) * std::cos(b);
    if (!(std::fabs(det) > kEpsilon)) return chord;
    const double s = (o.north * std::sin(b) - o.east * std::cos(b)) / det;
    const double u = (std::cos(a) * o.east - std::sin(a) * o.north) / det;
    if (!(s > 0.0 && u > 0.0)) return chord;
    return std::clamp(s + u, chord, 2.0 * chord);
}

// Whether the report after `reports[i]` and the repeats of its position lies
// as far from `moving` as half the slower of their speeds covers over their
// times, or further (a speed above `absurdKt` tells none), by the least way
// their tracks leave: the aircraft went on from where `moving` was
// reported. False when no report follows them.
bool lf_wentOnAfterRepeats(const std::vector<ReportedPosition>& reports, std::size_t i, const ReportedPosition& moving,
                           double absurdKt) {
    const LaLo here = reports[i].position;
    std::size_t m = i + 1;
    while (m < reports.size() && lf_metres(reports[m].position, here) < kRepeatM) ++m;
    if (m == reports.size()) return false;
    const ReportedPosition& on = reports[m];
    const double slower = on.groundSpeedKt >= 0.0 && on.groundSpeedKt <= absurdKt
                              ? std::min(moving.groundSpeedKt, on.groundSpeedKt)
                              : moving.groundSpeedKt;
    const double dt = on.time - moving.time;
    if (!(dt > 0.0)) return lf_ownKt(moving, on) >= 0.5 * slower;
    return lf_leastWayM(moving, on) / dt * kMpsToKnots >= 0.5 * slower;
}

// A report at no speed on the ground that repeats, alone or with others like
// it, the position of a moving report before it, when the aircraft went on
// meanwhile: the report after the repeats lies as far from the moving one as
// half the slower of their speeds covers over their times, or further. No
// aircraft stops dead on the spot where it was reported moving at a pace;
// the feed kept its last position while the aircraft rolled on (a landing
// roll's repeats at 0 kt, then a report a kilometre and more down the
// runway). One that really stopped and moved off later stays a stop.
bool lf_repeatsAMoveAtNoSpeed(const std::vector<ReportedPosition>& reports, std::size_t i) {
    constexpr double kMovingKt = 5.0;
    const ReportedPosition& here = reports[i];
    if (here.airborne || !(here.groundSpeedKt < 1.0)) return false;
    const auto same = [&](const ReportedPosition& q) { return lf_metres(q.position, here.position) < kRepeatM; };
    std::size_t k = i;
    while (k > 0 && same(reports[k - 1]) && reports[k - 1].groundSpeedKt < 1.0) --k;
    if (k == 0 || !same(reports[k - 1])) return false;
    const ReportedPosition& moving = reports[k - 1];
    if (!(moving.groundSpeedKt >= kMovingKt && moving.groundSpeedKt <= kAbsurdGroundKt)) return false;
    // The moving report flew there: no aircraft comes to rest on the ground
    // at the very place it was flying over at a pace. The feed kept that
    // position, whether a report follows (a stream that ends with such a
    // repeat held a landing to 20 kt from its last approach report on) or not.
    if (moving.airborne) return true;
    return lf_wentOnAfterRepeats(reports, i, moving, kAbsurdGroundKt);
}

// Whether the way from one report of a flying aircraft to the next lies well
// off the line their tracks agree on: more than 60 degrees off it, or more
// than 30 at a pace far from the reported one, further than a mile away and
// sooner than a whole circle at the standard rate takes; or backwards along
// that line, further than a quarter mile. At the first report of a stream the
// aircraft never flew from there (a bad position of the feed that no report
// before it gives away), at the last it never flew there (one that no report
// after it gives away), and the pace of the detour is no pace of the
// aircraft's.
bool lf_offTheLineTheTracksAgreeOn(const ReportedPosition& a, const ReportedPosition& b) {
    if (!a.airborne || !b.airborne || !std::isfinite(a.trackDeg) || !std::isfinite(b.trackDeg)) return false;
    const double dt = b.time - a.time;
    if (!(dt > 0.0 && dt <= 100.0)) return false;
    if (std::fabs(std::remainder(a.trackDeg - b.trackDeg, 360.0)) > 10.0) return false;
    const double chordDeg = gf_bearing(a.position, b.position) / degreesToRadians;
    const double offDeg = std::min(std::fabs(std::remainder(chordDeg - a.trackDeg, 360.0)),
                                   std::fabs(std::remainder(chordDeg - b.trackDeg, 360.0)));
    const double leastM = offDeg > 150.0 ? kFirstReportScatterM : 1852.0;
    if (!(lf_metres(a.position, b.position) > leastM)) return false;
    if (!(offDeg > 30.0)) return false;
    if (offDeg > 60.0) return true;
    const double fliesKt = std::max(a.groundSpeedKt, b.groundSpeedKt);
    const double ownKt = lf_ownKt(a, b);
    return fliesKt > 0.0 && fliesKt < kAbsurdAirKt && (ownKt < 0.7 * fliesKt || ownKt > 1.4 * fliesKt);
}

// Two flying reports whose heights lie further apart than any aircraft
// climbs or descends in the time between them (a height 5,000 ft off): one
// of them is wrong, and nothing but a report after them tells which.
constexpr double kHeightScatterFt = 1000.0;
constexpr double kSteepestFtPerS = 8000.0 / 60.0;
bool lf_heightsContradict(const ReportedPosition& a, const ReportedPosition& b) {
    if (!a.airborne || !b.airborne) return false;
    return std::fabs(b.altitudeFt - a.altitudeFt) > kHeightScatterFt + kSteepestFtPerS * std::fabs(b.time - a.time);
}

// A flying aircraft's first report that lies so near the next one that the
// way between them is flown at less than a third of the pace the next two
// keep by their own positions, less a slack no helicopter's hover before a
// dash outruns: no aircraft flying that pace crawled the way before it. An
// overflight at 439 kt had a first report 5 NM off along its line, 815 m
// from the next one 44.5 s after it: the way from there gave 37 kt, and the
// aircraft, dead-reckoned on from it at its speed, was held to 93.5 kt.
// Within a quarter mile of the next one it may be the feed's scatter, or the
// next one a repeat of it: it stands.
bool lf_firstFlyingReportTooNear(const ReportedPosition& a, const ReportedPosition& b, double nextKt) {
    if (!a.airborne || !b.airborne || !(nextKt <= kAbsurdAirKt)) return false;
    if (!(lf_metres(a.position, b.position) > kFirstReportScatterM)) return false;
    const double dt = b.time - a.time;
    if (!(dt > 0.0 && dt <= 100.0)) return false;
    return 3.0 * lf_ownKt(a, b) + kOutlierSlackKt < nextKt;
}

// A place (or run of places) the aircraft went to at `intoKt` and left at
// `outOfKt` while the reports around it keep `aroundKt`: out of reach of one
// side and off that pace on the other.
bool lf_offBothSides(double intoKt, double outOfKt, double aroundKt) {
    const double most = 3.0 * aroundKt + kOutlierSlackKt;
    const double offPace = kOffPaceShare * aroundKt + kOffPaceSlackKt;
    return (intoKt > most && outOfKt > offPace) || (intoKt > offPace && outOfKt > most);
}

// A report out of reach of the report on one side of it, whose way through
// from the report before to the report after is off the pace those two keep
// with each other (as it is when it lies off that pace from both). A pause
// on its other side may leave time enough to go on from it even slower than
// that pace, when it lies ahead toward the report after the pause, but no
// aircraft flies the detour through it: an overflight at 304 kt had a report
// 6 NM off (1,745 kt from the report 12 s before it), 2.2 NM from the one
// 36 s after it, and going through it took twice the way of the two around it.
// Pauses on both sides may leave time enough to reach it from either, yet a
// flying aircraft goes no further between two reports than the speeds they
// tell take it, however it turned meanwhile: a report that the way through is
// off the pace of those speeds as well is no place it was either. An arrival
// reported at 115 kt had a report 5 NM off, 507 kt from the one 37 s before
// it and 407 kt from its touchdown 45 s after it, each within the reach of
// three times the 115 kt the two keep with each other: going through it took
// four times their way, at 452 kt.
bool lf_offTheWay(const std::vector<ReportedPosition>& reports, std::size_t i) {
    const ReportedPosition &before = reports[i - 1], &here = reports[i], &after = reports[i + 1];
    const double aroundKt = lf_ownKt(before, after);
    const double dt = after.time - before.time;
    const double throughKt =
        dt > 0.0 ? (lf_metres(before.position, here.position) + lf_metres(here.position, after.position)) / dt *
                       kMpsToKnots
                 : std::numeric_limits<double>::infinity();
    if (!(throughKt > kOffPaceShare * aroundKt + kOffPaceSlackKt)) return false;
    const double most = 3.0 * aroundKt + kOutlierSlackKt;
    if (lf_ownKt(before, here) > most || lf_ownKt(here, after) > most) return true;
    // The speeds of the reports on both sides, each one a pace: a report at
    // no speed or an absurd one tells none.
    const auto pace = [](const ReportedPosition& p) {
        const double absurd = p.airborne ? kAbsurdAirKt : kAbsurdGroundKt;
        return p.groundSpeedKt > 0.0 && p.groundSpeedKt <= absurd;
    };
    if (!before.airborne || !here.airborne || !pace(before) || !pace(after)) return false;
    return throughKt > kOffPaceShare * std::max(before.groundSpeedKt, after.groundSpeedKt) + kOffPaceSlackKt;
}

// A report in the air that gives again the position of a report before it
// of the aircraft flying on at a pace, when the report after them lies as far
// from that one as half the slower of their speeds covers over their times,
// or further: no flying aircraft is, seconds later, where it was; the feed
// kept the position while the aircraft flew on. Whatever speed it tells (none,
// or an absurd one) it tells no pace of the aircraft's.
bool lf_repeatsAFlightsPosition(const std::vector<ReportedPosition>& reports, std::size_t i) {
    constexpr double kMovingKt = 5.0;
    const ReportedPosition& here = reports[i];
    if (!here.airborne) return false;
    const auto same = [&](const ReportedPosition& q) { return lf_metres(q.position, here.position) < kRepeatM; };
    std::size_t k = i;
    while (k > 0 && same(reports[k - 1]) && reports[k - 1].airborne) --k;
    if (k == i) return false;
    const ReportedPosition& flying = reports[k];
    if (!(flying.groundSpeedKt >= kMovingKt && flying.groundSpeedKt <= kAbsurdAirKt)) return false;
    return lf_wentOnAfterRepeats(reports, i, flying, kAbsurdAirKt);
}

// The reported path: every report but a lone one whose position the reports
// on both sides contradict (it lies further from one than the aircraft could
// fly, and the way through it from one to the other is off the pace the two
// keep with each other), and a stale repeat: the position of the
// report before given again at a later time, where the report after it lies
// further from it than the aircraft could go (the repeat tells nothing of a
// stop: the aircraft went on meanwhile, as the report after it shows).
// At ground pace, a stale repeat on the ground is told by the pace an
// aircraft goes on the ground rather than the one it flies at, and repeats
// at no speed of a moving report's position are stale too when the aircraft
// went on meanwhile, as is a repeat in the air of a flying report's position.
// Two bad positions in a row are told the same way: both out of reach of the
// reports on either side of them, which agree with each other. A flying
// aircraft's last report well off the line the tracks agree on is no place it
// was either, when the report before it keeps to the line with its own.
std::vector<const ReportedPosition*> lf_reportedPath(const std::vector<ReportedPosition>& reports,
                                                     bool staleAtGroundPace) {
    std::vector<const ReportedPosition*> out;
    // The traffic's maker said which reports it made bad: those are left
    // out, and nothing else is guessed.
    if (!reports.empty() && reports.front().madeBad.has_value()) {
        for (const ReportedPosition& p : reports)
            if (!p.madeBad.value_or(false)) out.push_back(&p);
        return out;
    }
    const std::size_t n = reports.size();
    // The reports before such a last one are judged among themselves: taken
    // as their side, it makes the good ones next to it look out of reach. An
    // overflight at 351 kt had its last report 2.7 km behind the one before,
    // 36 s after it, and 610 m from the one 54 s before, and the two good
    // reports between, each 351 kt from the one before it, were taken for two
    // bad positions in a row: the aircraft's travel was held to 64 kt.
    if (n >= 3 && lf_offTheLineTheTracksAgreeOn(reports[n - 2], reports[n - 1]) &&
        !lf_offTheLineTheTracksAgreeOn(reports[n - 3], reports[n - 2])) {
        const std::vector<ReportedPosition> before(reports.begin(), reports.end() - 1);
        for (const ReportedPosition* p : lf_reportedPath(before, staleAtGroundPace))
            out.push_back(&reports[static_cast<std::size_t>(p - before.data())]);
        return out;
    }
    std::vector<bool> badPair(n, false);
    for (std::size_t i = 1; i + 2 < n; ++i)
        if (lf_offBothSides(lf_ownKt(reports[i - 1], reports[i]), lf_ownKt(reports[i + 1], reports[i + 2]),
                            lf_ownKt(reports[i - 1], reports[i + 2])))
            badPair[i] = badPair[i + 1] = true;
    for (std::size_t i = 0; i < n; ++i) {
        bool lone = badPair[i];
        if (i > 0 && i + 1 < n) {
            const double around = lf_ownKt(reports[i - 1], reports[i + 1]);
            const double most = 3.0 * around + kOutlierSlackKt;
            const double toNext = lf_ownKt(reports[i], reports[i + 1]);
            const bool after = toNext > most;
            const bool repeat = lf_metres(reports[i - 1].position, reports[i].position) < kRepeatM;
            const bool onGround = !reports[i].airborne && !reports[i + 1].airborne;
            const bool staleOnGround =
                staleAtGroundPace && repeat && onGround && toNext > 3.0 * around + kStaleGroundSlackKt;
            // Out of reach of one side and the way through it off the pace
            // the two sides keep with each other: a pause in the reports on
            // the other side may leave time enough to fly there, but the side
            // it cannot be reached from shows it is no place the aircraft was.
            lone = lone || staleOnGround || (after && repeat) || lf_offTheWay(reports, i) ||
                   (staleAtGroundPace &&
                    (lf_repeatsAMoveAtNoSpeed(reports, i) || lf_repeatTheAircraftHadLeft(reports, i) ||
                     lf_repeatsAFlightsPosition(reports, i)));
        } else if (n >= 3) {
            const std::size_t a = i == 0 ? 0 : n - 1, b = i == 0 ? 1 : n - 2, c = i == 0 ? 2 : n - 3;
            const double next = i == 0 ? lf_ownKt(reports[b], reports[c]) : lf_ownKt(reports[c], reports[b]);
            const double own = i == 0 ? lf_ownKt(reports[a], reports[b]) : lf_ownKt(reports[b], reports[a]);
            lone = lone || own > 3.0 * next + kOutlierSlackKt ||
                   (i == 0 && lf_offTheLineTheTracksAgreeOn(reports[0], reports[1])) ||
                   (i == 0 && lf_firstFlyingReportTooNear(reports[0], reports[1], next)) ||
                   (staleAtGroundPace && i > 0 && lf_repeatsAMoveAtNoSpeed(reports, i));
        }
        if (!lone) out.push_back(&reports[i]);
    }
    return out;
}

double lf_offDeg(double aDeg, double bDeg);

// The pace the reports keep from one to the next by their own positions and
// times; across a pause of more than 20 s in the air whose tracks tell a
// turn, no less than the slower of the speeds they give: the straight line
// is no way the aircraft went. Between two reports of a holding 115 s
// apart, half a lap of its racetrack, it gave 100 kt where the holding flew
// 191 all along, and the aircraft that flew on at its reported speed was
// faulted for it. Where the tracks agree the line is the way, and its pace
// holds.
double lf_pairOwnKt(const ReportedPosition& a, const ReportedPosition& b) {
    constexpr double kLongAirPauseS = 20.0;
    const double kt = lf_ownKt(a, b);
    if (!a.airborne || !b.airborne || !(b.time - a.time > kLongAirPauseS) || !(a.groundSpeedKt <= kAbsurdAirKt) ||
        !(b.groundSpeedKt <= kAbsurdAirKt) || !std::isfinite(a.trackDeg) || !std::isfinite(b.trackDeg))
        return kt;
    return lf_offDeg(a.trackDeg, b.trackDeg) >= kTurnDeg ? std::max(kt, std::min(a.groundSpeedKt, b.groundSpeedKt))
                                                         : kt;
}

// Whether the reports tell a wait between two ground reports: the first at
// rest or at a crawl, the next one moving at more than twice the speed the
// first gives and twice the pace the two keep by their positions (a pushback
// ending at 3 kt, then a report 40 m on 29 s later at 12 kt). The aircraft
// stood somewhere on the way, and the next report's speed is the one it set
// off at.
bool lf_waitsBetween(const ReportedPosition& from, const ReportedPosition& to) {
    if (from.airborne || to.airborne || !(to.groundSpeedKt >= 1.0) || to.groundSpeedKt > kAbsurdGroundKt) return false;
    const double half = to.groundSpeedKt / 2.0;
    return from.groundSpeedKt < 1.0 || (from.groundSpeedKt < half && lf_ownKt(from, to) < half);
}

// The tick by which an aircraft waiting between two reports (above) must
// have set off to be at the next one on time at the speed it gives, speeding
// up to it from rest at the gentlest; the first one's due tick where the
// reports tell no wait. Before a report at rest that lies further from the
// next one than that speed covers in the time between them, the way may be
// under way already. Standing until the report at rest and reaching the next in time
// at that speed are not both possible: the feed kept the position the
// aircraft was leaving, and it may have set off as long before the next
// report as the way at that speed takes, going at that speed until the
// report at rest is due. A departure at rest after its pushback, its position
// given again at 0 kt 30 s on and one 184 m on at 14.5 kt 7.67 s after that,
// left the spot 11 s before the repeat was due and reached the far report on
// time at 24 kt: held to the 20 kt of standing until the repeat, it was
// faulted, where standing on and then covering the way at its 46.6 kt would
// have passed. Set off as late as the way at that speed alone allows, an
// aircraft no longer gets to that speed in time on its wheels.
double lf_setOffTick(const ReportedPosition& from, const ReportedPosition& to) {
    if (!lf_waitsBetween(from, to)) return from.dueTick;
    const double mps = to.groundSpeedKt * kKnotsToMps;
    const double takesTicks = (lf_metres(from.position, to.position) / mps + mps / (2.0 * kGentlestSetOffMps2)) * 100.0;
    return to.dueTick - takesTicks;
}

// The fastest the reports travel by their own positions between reports due
// around a stretch of track from one tick to another (-1 when none): those
// due from the lag the check allows, and more, before it to a little after;
// one under way by then (above) at the speed it was under way at.
double lf_fastestOwnKt(const std::vector<const ReportedPosition*>& path, double fromTick, double toTick) {
    double ownKt = -1.0;
    if (path.size() < 2) return ownKt;
    const double lo = fromTick - kTravelReportsBeforeTicks, hi = toTick + kTravelReportsAfterTicks;
    // The reports are in due order, and the ground speed check asks this of
    // every taxiing sample: start at the first report due from lo on rather
    // than walking the whole stream each time.
    const auto first = std::partition_point(path.begin() + 1, path.end(),
                                            [lo](const ReportedPosition* p) { return p->dueTick < lo; });
    for (auto k = static_cast<std::size_t>(first - path.begin()); k < path.size(); ++k) {
        const ReportedPosition &a = *path[k - 1], &b = *path[k];
        if (a.dueTick <= hi) {
            ownKt = std::max(ownKt, lf_pairOwnKt(a, b));
            // Waiting between them, the aircraft goes at the next one's speed
            // once it must have set off: judged by their pace alone, one that
            // stood after its pushback and sped up to be at the next report on
            // time was faulted for the speed-up the report's speed asked. Not
            // sooner, though: one that left at once ran far ahead of them.
            if (lf_waitsBetween(a, b) && lf_setOffTick(a, b) <= toTick) ownKt = std::max(ownKt, b.groundSpeedKt);
            continue;
        }
        if (std::min(a.dueTick, lf_setOffTick(a, b)) <= hi) ownKt = std::max(ownKt, b.groundSpeedKt);
        break;
    }
    // The stream ends on a report at rest on the very spot of the one before,
    // rolling on the ground at a pace: it may tell where the aircraft came to
    // rest (no report after says the feed kept that spot while it went on),
    // but no aircraft stops dead where it rolls. Until that report it went no
    // slower than the gentlest braking from the moving report takes it. Held
    // to 20 kt from 15 s after a report of 98 kt, a landing roll was faulted
    // where the roll the reports came from, braking at 2 m/s^2 at most, went
    // 39 kt or more. The spot given at rest again and again tells no more:
    // a landing at 132 kt, its touchdown spot sent at 0 kt 7 s and 17 s
    // later, was held to 20 kt from 15 s on, rolling out at 2.5 m/s^2.
    const ReportedPosition& last = *path.back();
    std::size_t m = path.size() - 2;
    while (m > 0 && !path[m]->airborne && path[m]->groundSpeedKt < 1.0 &&
           lf_metres(path[m]->position, last.position) < kRepeatM)
        --m;
    const ReportedPosition& moving = *path[m];
    if (moving.dueTick <= hi && !moving.airborne && !last.airborne && last.groundSpeedKt < 1.0 &&
        moving.groundSpeedKt >= 1.0 && moving.groundSpeedKt <= kAbsurdGroundKt &&
        lf_metres(moving.position, last.position) < kRepeatM) {
        const double sinceS = std::max(0.0, (fromTick - moving.dueTick) / 100.0);
        ownKt = std::max(ownKt, moving.groundSpeedKt - kGentlestRollBrakeKtPerS * sinceS);
    }
    return ownKt;
}

// The slowest the flying reports around a stretch travel by their own
// positions between one and the next (infinity when no two are there).
double lf_slowestOwnKt(const std::vector<const ReportedPosition*>& path, double fromTick, double toTick) {
    double ownKt = std::numeric_limits<double>::infinity();
    const double lo = fromTick - kTravelReportsBeforeTicks, hi = toTick + kTravelReportsAfterTicks;
    for (std::size_t k = 1; k < path.size(); ++k) {
        const ReportedPosition &a = *path[k - 1], &b = *path[k];
        if (b.dueTick < lo || a.dueTick > hi || !a.airborne || !b.airborne) continue;
        ownKt = std::min(ownKt, lf_ownKt(a, b));
    }
    return ownKt;
}

// Whether a report's speed is one an aircraft goes at, there.
bool lf_saneSpeed(const ReportedPosition& p) {
    return p.groundSpeedKt >= 0.0 && p.groundSpeedKt <= (p.airborne ? kAbsurdAirKt : kAbsurdGroundKt);
}

// The fastest the reported speeds change (kt/s) from one report to the next
// around a stretch: a change the reports show is no change of the motion's.
double lf_reportedChangeKtPerS(const std::vector<const ReportedPosition*>& path, double fromTick, double toTick) {
    double most = 0.0;
    const double lo = fromTick - kTravelReportsBeforeTicks, hi = toTick + kTravelReportsAfterTicks;
    for (std::size_t k = 1; k < path.size(); ++k) {
        const ReportedPosition &a = *path[k - 1], &b = *path[k];
        if (b.dueTick < lo || a.dueTick > hi || !lf_saneSpeed(a) || !lf_saneSpeed(b)) continue;
        const double dt = b.time - a.time;
        if (dt > 0.0) most = std::max(most, std::fabs(b.groundSpeedKt - a.groundSpeedKt) / dt);
    }
    return most;
}

// The speed the reports give at a tick: that of the last report due by then
// (the first one before any is due), else its pace from the report before;
// 0 when no report tells one.
double lf_reportedKtAt(const std::vector<const ReportedPosition*>& path, double tick) {
    if (path.empty()) return 0.0;
    const auto after = std::partition_point(path.begin(), path.end(),
                                            [tick](const ReportedPosition* p) { return p->dueTick <= tick; });
    const std::size_t k = after == path.begin() ? 0 : static_cast<std::size_t>(after - path.begin()) - 1;
    if (lf_saneSpeed(*path[k])) return path[k]->groundSpeedKt;
    if (k > 0) {
        const double own = lf_ownKt(*path[k - 1], *path[k]);
        if (std::isfinite(own)) return own;
    }
    return 0.0;
}

// The sample at a tick, or the first after it (samples are in tick order).
std::size_t lf_sampleFrom(const std::vector<MotionSample>& s, double tick) {
    return static_cast<std::size_t>(
        std::lower_bound(s.begin(), s.end(), tick, [](const MotionSample& m, double t) { return m.tick < t; }) -
        s.begin());
}

// Whether the aircraft was recorded at the tick.
bool lf_activeAt(const std::vector<MotionSample>& s, double tick) {
    const std::size_t i = lf_sampleFrom(s, std::floor(tick));
    return i < s.size() && s[i].tick <= std::floor(tick) + 1;
}

// Whether the aircraft was recorded on every tick from one tick to another.
bool lf_recordedThrough(const std::vector<MotionSample>& s, double from, double to) {
    std::size_t i = lf_sampleFrom(s, std::floor(from));
    if (i >= s.size() || s[i].tick > std::floor(from) + 1) return false;
    for (; i + 1 < s.size() && s[i].tick < to; ++i)
        if (s[i + 1].tick != s[i].tick + 1) return false;
    return s[i].tick >= to;
}

double lf_bearingDeg(LaLo from, LaLo to) {
    const Offset o = lf_offset(from, to);
    return std::atan2(o.east, o.north) * radiansToDegrees;
}

// The velocity at a report (metres a second) from the one before and after
// it: the slope there of the path through the three in time, so that each
// side counts by how near in time it is. After a long gap the way in says
// little of the way the aircraft goes at the report (it may have turned
// corners meanwhile); with reports evenly spaced it is the chord from the
// one before to the one after.
Offset lf_velocityAt(const ReportedPosition& a, const ReportedPosition& p, const ReportedPosition& b) {
    const double in = p.time - a.time, out = b.time - p.time;
    if (!(in > 0.0) || !(out > 0.0)) return lf_offset(a.position, b.position);
    const Offset ap = lf_offset(a.position, p.position), pb = lf_offset(p.position, b.position);
    const double wIn = out / (in + out), wOut = in / (in + out);
    return {wIn * ap.north / in + wOut * pb.north / out, wIn * ap.east / in + wOut * pb.east / out};
}

double lf_offDeg(double aDeg, double bDeg) { return std::fabs(std::remainder(aDeg - bDeg, 360.0)); }

// Whether the reports' own tracks turned between two moving reports: a turn
// made while the reports paused (a hold's turn between reports a minute
// apart) need not show in the bearings between their positions, the first
// report after the pause lying on the way the aircraft goes on. A standing
// aircraft's track tells nothing.
bool lf_tracksTurned(const ReportedPosition& a, const ReportedPosition& b) {
    constexpr double kMovingKt = 3.0;
    return a.groundSpeedKt >= kMovingKt && b.groundSpeedKt >= kMovingKt && std::isfinite(a.trackDeg) &&
           std::isfinite(b.trackDeg) && lf_offDeg(a.trackDeg, b.trackDeg) >= kTurnDeg;
}

// Whether the reports show the aircraft standing around a stretch: a report
// on the ground at no speed due from the lag the checks allow before it to a
// little after, or one the aircraft waited at for the next (lf_waitsBetween)
// up to a little after it must have set off for that one: stood there, it
// turns where it stands before it sets off. A departure standing after its
// pushback, its next report 29 s on 90 degrees off at 15 kt, was faulted for
// turning there 13 s after the report at rest.
bool lf_reportsStanding(const std::vector<const ReportedPosition*>& path, double fromTick, double toTick) {
    for (std::size_t i = 0; i < path.size(); ++i) {
        const ReportedPosition& p = *path[i];
        if (p.airborne || !(p.dueTick <= toTick + kTravelReportsAfterTicks)) continue;
        if (p.groundSpeedKt < 1.0 && p.dueTick >= fromTick - kLagMostS * 100.0) return true;
        if (i + 1 < path.size() && lf_waitsBetween(p, *path[i + 1]) &&
            fromTick <= lf_setOffTick(p, *path[i + 1]) + kTravelReportsAfterTicks)
            return true;
    }
    return false;
}

// No turn on the spot on the ground: the nose turns no more than
// kSpotTurnDeg while the aircraft moves less than kSpotTurnTravelM (a turn
// tighter than any nose wheel steers), but at a stand (pushed, parking,
// parked) or where the reports show the aircraft standing. A stop on a
// runway exit and a pivot there is what no pilot does.
void lf_checkSpotTurns(const Judge& judge, const std::vector<MotionSample>& s,
                       const std::vector<const ReportedPosition*>& path) {
    const std::size_t n = s.size();
    if (n < 2) return;
    // Prefix sums over the samples: metres of travel, signed and absolute
    // heading change (degrees), and the end of each run of contiguous finite
    // ground samples.
    std::vector<double> travel(n, 0.0), turn(n, 0.0), absTurn(n, 0.0);
    std::vector<std::size_t> runEnd(n, 0);
    for (std::size_t i = 1; i < n; ++i) {
        const MotionSample &p = s[i - 1], &c = s[i];
        const bool joined = p.tick == c.tick - 1 && p.onGround && c.onGround && lf_finite(p.pose) && lf_finite(c.pose);
        const double dh = joined ? std::remainder(c.pose.heading - p.pose.heading, fullCircle) * radiansToDegrees : 0.0;
        travel[i] = travel[i - 1] + (joined ? lf_metres(lf_position(p.pose), lf_position(c.pose)) : 0.0);
        turn[i] = turn[i - 1] + dh;
        absTurn[i] = absTurn[i - 1] + std::fabs(dh);
    }
    for (std::size_t i = n; i-- > 0;) {
        const bool joinedNext = i + 1 < n && s[i + 1].tick == s[i].tick + 1 && s[i].onGround && s[i + 1].onGround &&
                                lf_finite(s[i].pose) && lf_finite(s[i + 1].pose);
        runEnd[i] = joinedNext ? runEnd[i + 1] : i;
    }
    const auto atStand = [](const MotionSample& m) {
        return m.phase == AcPhase::pushing_back || m.phase == AcPhase::parking || m.phase == AcPhase::parked;
    };
    for (std::size_t i = 0; i < n;) {
        const std::size_t last = std::min(runEnd[i], i + static_cast<std::size_t>(kSpotTurnMostTicks));
        if (last == i || !s[i].onGround) {
            ++i;
            continue;
        }
        // The furthest sample within kSpotTurnTravelM of travel from i.
        const std::size_t j = static_cast<std::size_t>(
                                  std::upper_bound(travel.begin() + static_cast<std::ptrdiff_t>(i),
                                                   travel.begin() + static_cast<std::ptrdiff_t>(last) + 1,
                                                   travel[i] + kSpotTurnTravelM) -
                                  travel.begin()) -
                              1;
        if (!(absTurn[j] - absTurn[i] > 0.0)) {
            i += 5;
            continue;
        }
        std::size_t k = i + 1;
        double most = 0.0;
        bool excused = atStand(s[i]);
        for (; k <= j; ++k) {
            excused = excused || atStand(s[k]);
            most = std::max(most, std::fabs(turn[k] - turn[i]));
            if (most >= kSpotTurnDeg) break;
        }
        const bool found = most >= kSpotTurnDeg;
        if (!excused && !(found && lf_reportsStanding(path, s[i].tick, s[std::min(k, j)].tick)))
            judge(MotionCheck::SpotTurn, s[i].tick, !found, most, kSpotTurnDeg);
        // One finding a turn.
        i = found ? j + 1 : i + 5;
    }
}

}  // namespace

void SmoothnessChecker::lf_checkReports(const AircraftRecord& r, MotionCheckResult& out) const {
    const Judge judge{r, out, false};
    const auto& s = r.samples;
    if (s.empty() || r.reports.empty()) return;
    const std::vector<const ReportedPosition*> path = lf_reportedPath(r.reports);
    // The reports' own speed leaves out a stale repeat on the ground as well:
    // it tells no speed (the aircraft went on meanwhile). The lag keeps it:
    // the aircraft was told to stand there then, and starts again from it.
    const std::vector<const ReportedPosition*> travelPath = lf_reportedPath(r.reports, true);
    const std::size_t n = path.size();
    const std::int32_t lastTick = s.back().tick;

    // --- lag ---
    double lastTurnOrHold = -1e18;
    // The sample index where the report before was reached (none: npos).
    constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
    std::size_t reachedAt = kNone;
    bool wasStanding = false;
    for (std::size_t i = 0; i < n; ++i) {
        const ReportedPosition& p = *path[i];
        const double due = p.dueTick;
        // A first report standing still is a standing one too: a parked
        // aircraft's first report scatters off the stand it is placed on. A
        // ground speed no aircraft goes on the ground (a bad report: 1e6 kt)
        // tells nothing: such a report among the scatter of a standing one
        // before it stands as well.
        const bool stillSpeed = p.groundSpeedKt < 1.0 || (wasStanding && !(p.groundSpeedKt <= kAbsurdGroundKt));
        const bool standing = !p.airborne && stillSpeed &&
                              (i == 0 || lf_metres(p.position, path[i - 1]->position) <= kStandScatterM);
        wasStanding = standing;
        if (standing) lastTurnOrHold = due;
        // The legs either side of it, each to the nearest report further
        // than a few metres off: a bearing over less tells scatter, not a
        // way. Past copies of its position (the feed giving a corner again
        // at no speed adds no leg: the corner is still one), and past reports
        // closer in along a slow turn: a taxi turning 75 degrees through
        // reports 4 m apart turned, though no two of them turned 30 apart.
        std::size_t from = i;
        while (from > 0 && lf_metres(path[from - 1]->position, p.position) <= kTurnLegLeastM) --from;
        std::size_t to = i + 1;
        while (to < n && lf_metres(path[to]->position, p.position) <= kTurnLegLeastM) ++to;
        if (from > 0 && to < n &&
            lf_offDeg(lf_bearingDeg(path[from - 1]->position, p.position),
                      lf_bearingDeg(p.position, path[to]->position)) >= kTurnDeg)
            lastTurnOrHold = due;
        if (i > 0 && lf_tracksTurned(*path[i - 1], p)) lastTurnOrHold = due;
        if (!lf_activeAt(s, due)) {
            reachedAt = kNone;
            continue;
        }
        const double limit = due - lastTurnOrHold > kLagSettleTicks ? kLagSettledS : kLagMostS;
        if (standing && reachedAt != kNone) {
            const double lag = (s[reachedAt].tick - due) / 100.0;
            judge(MotionCheck::Lag, due, lag <= limit, lag, limit);
            continue;
        }
        // The direction the reports travel at this one (past copies of it
        // too: by the leg into a corner alone, a turn inside it never
        // crossed the line across its way).
        const LaLo before = from > 0 ? path[from - 1]->position : p.position;
        const LaLo after = to < n ? path[to]->position : p.position;
        Offset chord = lf_offset(before, after);
        // A report with no other place beside it (a stream of one report, or
        // of copies of it) has no way from its neighbours: its own track is
        // its way when it moves. Without one, an aircraft created on its way
        // past it (its only report played a little early) never came within
        // reach of it and was judged never to have got there.
        if (from == 0 && to == n && !standing && p.groundSpeedKt >= 1.0 && std::isfinite(p.trackDeg)) {
            const double track = p.trackDeg * degreesToRadians;
            chord = {100.0 * std::cos(track), 100.0 * std::sin(track)};
        }
        const bool moving = !standing && std::hypot(chord.north, chord.east) > 1.0;
        Offset along = from > 0 && to < n ? lf_velocityAt(*path[from - 1], p, *path[to]) : chord;
        // There and back again around it: no way at the report, the chord's.
        if (!(std::hypot(along.north, along.east) > 1e-6)) along = chord;
        const double alongM = std::hypot(along.north, along.east);
        const double reach = p.airborne ? kReachAirM : kReachGroundM;
        const double pass = p.airborne ? kPassAirM : limits_.passGroundM;
        // The middle of the standing run this report begins.
        LaLo middle = p.position;
        if (!moving) {
            double north = 0.0, east = 0.0;
            std::size_t count = 0;
            for (std::size_t m = i; m < n && !path[m]->airborne && path[m]->groundSpeedKt < 1.0 &&
                                    lf_metres(path[m]->position, p.position) <= kStandScatterM;
                 ++m, ++count) {
                const Offset o = lf_offset(p.position, path[m]->position);
                north += o.north;
                east += o.east;
            }
            if (count > 0)
                middle = {p.position.lat + north / static_cast<double>(count) / kMetresPerDegree,
                          p.position.lon + east / static_cast<double>(count) / kMetresPerDegree /
                                               std::cos(p.position.lat * degreesToRadians)};
        }
        std::size_t k = lf_sampleFrom(s, due - kLagSearchBeforeTicks);
        if (reachedAt != kNone) k = std::max(k, reachedAt);
        const std::size_t searchFrom = k;
        // How far along the way past the report a pose lies (m).
        const auto alongOf = [&](const MotionSample& sample) {
            const Offset o = lf_offset(p.position, lf_position(sample.pose));
            return (o.north * along.north + o.east * along.east) / alongM;
        };
        std::size_t found = kNone;
        for (; k < s.size() && s[k].tick <= due + kLagSearchAfterTicks; ++k) {
            const LaLo at = lf_position(s[k].pose);
            const Offset o = lf_offset(p.position, at);
            const double d = std::hypot(o.north, o.east);
            if (moving ? d <= reach
                       : d <= limits_.reachStandingM || lf_metres(middle, at) <= limits_.reachStandingM) {
                found = k;
                break;
            }
            if (!moving || k < 10) continue;
            const double u = alongOf(s[k]);
            const double lateral = std::fabs(o.north * along.east - o.east * along.north) / alongM;
            const Offset step = lf_offset(lf_position(s[k - 10].pose), at);
            const bool sameWay = step.north * along.north + step.east * along.east > 0.0;
            // Passed where the pose comes within reach aside of the way
            // just past the report (joining it within three reaches on), or
            // lies past it already where the search begins or the aircraft
            // comes back: a pose far on that happened to lie on the report's
            // way (a taxi's later turn lined up with a corner it had cut)
            // passed nothing there, and every report between them was
            // judged never reached.
            const bool justPast = u <= kPassAlongShare * pass || k == std::max<std::size_t>(searchFrom, 10) ||
                                  s[k - 1].tick != s[k].tick - 1;
            if (u >= 0.0 && lateral <= pass && sameWay && justPast) {
                found = k;
                break;
            }
        }
        if (found != kNone) {
            reachedAt = found;
            const double lag = (s[found].tick - due) / 100.0;
            // Reached only once it came back after leaving the simulator
            // before its time was up: as with one never reached, it had no
            // pose to be late with meanwhile.
            if (lag > limit && !lf_recordedThrough(s, due, due + limit * 100.0)) continue;
            judge(MotionCheck::Lag, due, lag <= limit, lag, limit);
        } else if (lf_recordedThrough(s, due, due + limit * 100.0)) {
            // Never reached while the aircraft was there to reach it (one that
            // left the simulator before its time was up, and came back later,
            // had no pose to be late with).
            const double lag = (std::min<double>(lastTick, due + kLagSearchAfterTicks) - due) / 100.0;
            judge(MotionCheck::Lag, due, false, lag, limit);
        }
    }

    // --- speed of travel, speed change and airborne speed, over windows of a second ---
    const double floorKt = r.categoryKnown ? r.airborneFloorKt : 0.0;
    // Past the last report on the ground no report tells how fast the
    // aircraft goes: its dead reckoning (a takeoff roll speeding on, a roll
    // out to rest) is judged by the other checks. In the air it goes on at
    // the last reported speed until it is removed.
    // With every report left out (an overflight whose only report, 5 NM off,
    // was made bad, and still made an aircraft) none tells a speed, and the
    // whole track lies past the last:
    // what needs no report (the floor, the speed changes, the turns on the
    // spot) is judged as on any other track.
    const double lastDue =
        travelPath.empty() ? -std::numeric_limits<double>::infinity() : travelPath.back()->dueTick;
    const double lastKt = lf_reportedKtAt(travelPath, lastDue);
    const std::size_t ns = s.size();
    // The speed over the window that ends at each sample (NaN: none) and
    // whether it was in the air throughout.
    std::vector<double> windowKt(ns, std::nan(""));
    std::vector<bool> windowAirborne(ns, false);
    const auto speedOver = [&](std::size_t a, std::size_t b) {
        return lf_metres(lf_position(s[a].pose), lf_position(s[b].pose)) / ((s[b].tick - s[a].tick) * 0.01) *
               kMpsToKnots;
    };
    const auto airborneThrough = [&](std::size_t a, std::size_t b) {
        for (std::size_t k = a; k <= b; ++k)
            if (s[k].onGround) return false;
        return true;
    };
    for (std::size_t i = kSpeedWindowTicks; i < ns; i += kSpeedStrideTicks) {
        const MotionSample& c = s[i];
        const MotionSample& from = s[i - kSpeedWindowTicks];
        if (from.tick != c.tick - kSpeedWindowTicks || !lf_finite(from.pose) || !lf_finite(c.pose)) continue;
        const double kt = speedOver(i - kSpeedWindowTicks, i);
        const bool airborne = airborneThrough(i - kSpeedWindowTicks, i);
        windowKt[i] = kt;
        windowAirborne[i] = airborne;
        if (airborne) judge.floor(MotionCheck::AirborneSpeed, c.tick, kt, floorKt);
        // In the air a speed the reports do not show is taken up gently:
        // against the window before, at most a few knots a second more than
        // the reports change by around it.
        if (limits_.speedChange && airborne && !std::isnan(windowKt[i - kSpeedWindowTicks]) &&
            windowAirborne[i - kSpeedWindowTicks]) {
            const double changes = c.tick > lastDue ? 0.0 : lf_reportedChangeKtPerS(travelPath, from.tick, c.tick);
            const double rate = std::fabs(kt - windowKt[i - kSpeedWindowTicks]) / (kSpeedWindowTicks * 0.01);
            const double limit = kAirSpeedChangeKtPerS + changes;
            judge(MotionCheck::SpeedChange, c.tick, rate <= limit, rate, limit);
        }
        const double slack = airborne ? limits_.travelSlackAirKt : limits_.travelSlackGroundKt;
        if (c.tick > lastDue) {
            if (!limits_.travelFloorInTheAir || !airborne || !(lastKt > 0.0)) continue;
            const double limit = limits_.travelShare * lastKt + slack;
            judge(MotionCheck::TravelSpeed, c.tick, kt <= limit, kt, limit);
            const double least = lastKt / limits_.travelShare - slack;
            if (least > 0.0) judge.floor(MotionCheck::TravelSpeed, c.tick, kt, least);
            continue;
        }
        // The fastest the reports around it travel by their own positions.
        const double ownKt = lf_fastestOwnKt(travelPath, from.tick, c.tick);
        if (ownKt < 0.0 || !std::isfinite(ownKt)) continue;
        const double limit = limits_.travelShare * ownKt + slack;
        judge(MotionCheck::TravelSpeed, c.tick, kt <= limit, kt, limit);
        // Nor slower in the air than the slowest of them: a flight keeps its
        // pace.
        if (!limits_.travelFloorInTheAir || !airborne) continue;
        const double slowKt = lf_slowestOwnKt(travelPath, from.tick, c.tick);
        const double least = slowKt / limits_.travelShare - slack;
        if (std::isfinite(least) && least > 0.0) judge.floor(MotionCheck::TravelSpeed, c.tick, kt, least);
    }
    // An aircraft created in the air appears at its reported speed: its first
    // second of travel is held to the speed the reports give then.
    for (std::size_t b = 0; limits_.speedChange && b + kSpeedWindowTicks < ns; ++b) {
        if (b > 0 && s[b - 1].tick == s[b].tick - 1) continue;
        const std::size_t e = b + kSpeedWindowTicks;
        if (s[e].tick != s[b].tick + kSpeedWindowTicks || !lf_finite(s[b].pose) || !lf_finite(s[e].pose) ||
            !airborneThrough(b, e))
            continue;
        const double reportedKt = lf_reportedKtAt(travelPath, s[b].tick);
        if (!(reportedKt > 0.0)) continue;
        const double changes = s[b].tick > lastDue ? 0.0 : lf_reportedChangeKtPerS(travelPath, s[b].tick, s[e].tick);
        const double rate = std::fabs(speedOver(b, e) - reportedKt) / (kSpeedWindowTicks * 0.01);
        const double limit = kAirSpeedChangeKtPerS + changes;
        judge(MotionCheck::SpeedChange, s[e].tick, rate <= limit, rate, limit);
    }

    if (limits_.spotTurn) lf_checkSpotTurns(judge, s, travelPath);

    // --- standing still ---
    // The reports the traffic's maker made bad are no place to stand at; where
    // it did not say, stale repeats are told by the rules of the path.
    const bool guessing = r.reports.front().madeBad.has_value() == false;
    std::vector<ReportedPosition> sound;
    if (!guessing)
        for (const ReportedPosition* p : path) sound.push_back(*p);
    const std::vector<ReportedPosition>& reports = guessing ? r.reports : sound;
    for (std::size_t i = 0; i < reports.size();) {
        // The aircraft did not stand where the feed only kept a moving
        // report's position while it went on.
        if (guessing && lf_repeatsAMoveAtNoSpeed(reports, i)) {
            ++i;
            continue;
        }
        const ReportedPosition& first = reports[i];
        std::size_t j = i;
        // A ground speed no aircraft goes on the ground (1e6 kt) tells
        // nothing: such a report between two standing ones stands as well.
        // One with a move after it may be the move's first (a pushback
        // setting off), and ends the run as a move does.
        const auto standing = [&](std::size_t k) {
            return k < reports.size() && !reports[k].airborne && reports[k].groundSpeedKt < 1.0;
        };
        const auto still = [&](std::size_t k) {
            return standing(k) || (k > i && !(reports[k].groundSpeedKt <= kAbsurdGroundKt) && standing(k + 1));
        };
        while (j < reports.size() && !reports[j].airborne && still(j) &&
               lf_metres(reports[j].position, first.position) <= kStandScatterM)
            ++j;
        if (j == i) {
            ++i;
            continue;
        }
        // Two places, each standing still: each is a run of its own.
        j = lf_standingRunMoves(reports, i, j);
        const ReportedPosition& last = reports[j - 1];
        const std::size_t count = j - i;
        i = j;
        if (count < 3 || last.dueTick - first.dueTick < kStillRunTicks) continue;
        if (guessing && j < reports.size() && lf_leftBeforeTheRunEnded(last, reports[j])) continue;
        // From when the aircraft stands at the spot (at most 10 s after the
        // first such report is due) to the last one's due tick.
        std::size_t k = lf_sampleFrom(s, first.dueTick);
        const double settleBy = first.dueTick + kStillSettleTicks;
        std::size_t w0 = s.size();
        for (; k < s.size() && s[k].tick <= settleBy; ++k) {
            if (k == 0 || s[k - 1].tick != s[k].tick - 1) continue;
            const bool still = lf_metres(lf_position(s[k - 1].pose), lf_position(s[k].pose)) < 0.001;
            if (still && lf_metres(lf_position(s[k].pose), first.position) <= kStandScatterM) {
                w0 = k;
                break;
            }
        }
        if (w0 == s.size()) w0 = lf_sampleFrom(s, settleBy);
        if (w0 >= s.size() || s[w0].tick >= last.dueTick) continue;
        double most = 0.0;
        for (std::size_t m = w0 + 1; m < s.size() && s[m].tick <= last.dueTick; ++m) {
            if (s[m].tick != s[m - 1].tick + 1) break;
            most = std::max(most, lf_metres(lf_position(s[w0].pose), lf_position(s[m].pose)));
        }
        judge(MotionCheck::StandingStill, s[w0].tick, most < kStillMostM, most, kStillMostM);
    }
}

// Nose against the direction of travel, and never backwards: the direction
// of travel over a chord of the track (on a curve the chord runs along the
// mean of the headings at its ends).
void SmoothnessChecker::lf_checkTravel(const AircraftRecord& r, MotionCheckResult& out) const {
    const Judge judge{r, out, false};
    const auto& s = r.samples;
    std::size_t j = 0;
    for (std::size_t i = 0; i < s.size(); i += 5) {
        const MotionSample& c = s[i];
        if (!lf_finite(c.pose)) continue;
        const double chord = c.onGround ? kChordGroundM : kChordAirM;
        j = std::max(j, i + 1);
        while (j < s.size() && s[j].tick - c.tick <= kChordMostTicks &&
               lf_metres(lf_position(c.pose), lf_position(s[j].pose)) < chord)
            ++j;
        if (j >= s.size() || s[j].tick - c.tick > kChordMostTicks || s[j].tick - c.tick != static_cast<std::int32_t>(j - i))
            continue;
        const MotionSample& e = s[j];
        if (!lf_finite(e.pose)) continue;
        // One kind of motion over the chord: on the ground or in the air
        // throughout, pushing back at both ends or at neither.
        bool same = true;
        for (std::size_t k = i; k <= j && same; ++k) same = s[k].onGround == c.onGround;
        const bool pushing = c.phase == AcPhase::pushing_back;
        if (!same || (e.phase == AcPhase::pushing_back) != pushing) continue;
        const double track = lf_bearingDeg(lf_position(c.pose), lf_position(e.pose));
        const double from = c.pose.heading * radiansToDegrees;
        const double mean = from + std::remainder(e.pose.heading * radiansToDegrees - from, 360.0) / 2.0;
        const double off = lf_offDeg(mean, track);
        if (!pushing) judge(MotionCheck::Backwards, c.tick, off <= kBackwardsDeg, off, kBackwardsDeg);
        // In the air as on the ground: no aircraft flies crabbed further than
        // this off its track.
        if (!c.onGround && !limits_.noseInTheAir) continue;
        const double kt = lf_metres(lf_position(c.pose), lf_position(e.pose)) / ((e.tick - c.tick) * 0.01) * kMpsToKnots;
        if (kt <= kNoseSpeedKt) continue;
        const double nose = pushing ? 180.0 - off : off;
        judge(MotionCheck::NoseTravel, c.tick, nose <= kNoseMostDeg, nose, kNoseMostDeg);
    }
}

namespace {
// Created or told: within 10 s, plus the engine's create pace (one create
// every 200 ms) for each other aircraft created meanwhile.
constexpr double kCreatedWithinTicks = 1000.0;
constexpr double kCreatePaceTicks = 20.0;
}  // namespace

std::set<std::string> gf_registrationsToldInLog(const std::string& log) {
    // The registrations the log's no-match lists name ("<key> <registration>"
    // lines after "No match found for:" up to an empty line).
    std::set<std::string> told;
    for (std::size_t at = log.find("No match found for:"); at != std::string::npos;
         at = log.find("No match found for:", at + 1)) {
        std::size_t line = log.find('\n', at);
        while (line != std::string::npos) {
            const std::size_t next = log.find('\n', line + 1);
            std::string text = log.substr(line + 1, next == std::string::npos ? std::string::npos : next - line - 1);
            while (!text.empty() && (text.back() == '\r' || text.back() == ' ')) text.pop_back();
            if (text.empty()) break;
            const std::size_t blank = text.rfind(' ');
            told.insert(blank == std::string::npos ? text : text.substr(blank + 1));
            line = next;
        }
    }
    // And those the engine tells it does not show while they stand where no
    // stand is free for them, roll faster than a taxi there or fly low over
    // the airport ("<callsign> <registration> stands where ...", "... rolls
    // faster than a taxi ...", "... flies 700 ft or less ...").
    for (const std::string_view phrase : {std::string_view(" stands where no stand is free for it"),
                                          std::string_view(" rolls faster than a taxi where no stand is free for it"),
                                          std::string_view(" flies 700 ft or less above the airport")}) {
        for (std::size_t at = log.find(phrase); at != std::string::npos; at = log.find(phrase, at + 1)) {
            const std::size_t lineStart = log.rfind('\n', at);
            const std::string head = log.substr(lineStart == std::string::npos ? 0 : lineStart + 1,
                                                at - (lineStart == std::string::npos ? 0 : lineStart + 1));
            const std::size_t blank = head.rfind(' ');
            told.insert(blank == std::string::npos ? head : head.substr(blank + 1));
        }
    }
    return told;
}

MotionCheckResult gf_checkCreatedOrTold(const std::vector<const AircraftRecord*>& records, double startWaitsEndTick,
                                        std::int32_t lastTick, const std::string& log) {
    MotionCheckResult out;
    const std::set<std::string> told = gf_registrationsToldInLog(log);
    // When each aircraft was created, in order: the engine sends one create
    // every 200 ms, so an aircraft waits that long for each other one
    // created while it waited, the first time or again (after a restart
    // every aircraft is created again).
    std::vector<double> createdTicks;
    for (const AircraftRecord* r : records)
        for (std::size_t k = 0; k < r->samples.size(); ++k)
            if (k == 0 || r->samples[k - 1].tick != r->samples[k].tick - 1) createdTicks.push_back(r->samples[k].tick);
    std::sort(createdTicks.begin(), createdTicks.end());
    const auto createdBetween = [&](double from, double to) {
        return static_cast<double>(std::lower_bound(createdTicks.begin(), createdTicks.end(), to) -
                                   std::lower_bound(createdTicks.begin(), createdTicks.end(), from));
    };
    for (const AircraftRecord* r : records) {
        if (r->reports.size() < 2) continue;
        // The clock starts at the first report of the reported path that the
        // report after it bears out: a first position 5 NM off is no place
        // the aircraft was (shown there, it would have jumped 5 NM when the
        // next report came), and of two reports that contradict each other
        // with nothing after them, nothing tells which one it was at.
        const std::vector<const ReportedPosition*> path = lf_reportedPath(r->reports);
        std::size_t first = 0;
        while (first + 1 < path.size() && (lf_offTheLineTheTracksAgreeOn(*path[first], *path[first + 1]) ||
                                           lf_heightsContradict(*path[first], *path[first + 1])))
            ++first;
        if (first + 1 >= path.size()) continue;
        const Judge judge{*r, out, false};
        // No earlier than the start path's waits end, plus the feed's delay.
        const double from = std::max(path[first]->dueTick, startWaitsEndTick + 3000.0);
        if (from + kCreatedWithinTicks > lastTick) continue;
        const bool created = !r->samples.empty();
        const double createdTick = created ? r->samples.front().tick : lastTick;
        const double limitTicks = kCreatedWithinTicks + kCreatePaceTicks * createdBetween(from, createdTick);
        const bool inTime = created && createdTick <= from + limitTicks;
        const bool namedInLog = !r->registration.empty() && told.count(r->registration) != 0;
        judge(MotionCheck::CreatedOrTold, from, inTime || namedInLog, (createdTick - from) / 100.0, limitTicks / 100.0);
    }
    return out;
}

namespace {

// Whether the text holds the word as a whole word.
bool lf_namesWord(std::string_view text, std::string_view word) {
    if (word.empty()) return false;
    const auto wordChar = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-'; };
    for (std::size_t at = text.find(word); at != std::string_view::npos; at = text.find(word, at + 1)) {
        const bool startOk = at == 0 || !wordChar(text[at - 1]);
        const bool endOk = at + word.size() >= text.size() || !wordChar(text[at + word.size()]);
        if (startOk && endOk) return true;
    }
    return false;
}

}  // namespace

bool TrafficRange::keeps(LaLo p) const {
    if (!std::isfinite(nm)) return true;
    const double north = (p.lat - user.lat) * 60.0;
    const double east = std::remainder(p.lon - user.lon, 360.0) * std::cos(user.lat * degreesToRadians) * 60.0;
    return std::hypot(north, east) < nm - 0.5;
}

double gf_checkerAutoRangeNm(bool onGround, double altitudeFt, const RangeLevels& l) {
    if (onGround) return l.ground;
    const double fl = std::max(altitudeFt / 100.0, 0.0);
    // Within a band the range goes linearly from the band's lower range to
    // its upper one; a band of no height takes its upper range.
    const auto band = [fl](double fromFl, double toFl, double fromNm, double toNm) {
        return toFl <= fromFl ? toNm : fromNm + (fl - fromFl) / (toFl - fromFl) * (toNm - fromNm);
    };
    if (fl <= l.level1) return band(0.0, l.level1, l.ground, l.range1);
    if (fl <= l.level2) return band(l.level1, l.level2, l.range1, l.range2);
    if (fl <= l.level3) return band(l.level2, l.level3, l.range2, l.range3);
    return l.above;
}

MotionCheckResult gf_checkCreatedAgain(const std::vector<const AircraftRecord*>& records, std::int32_t lastTick,
                                       const std::string& log, const std::vector<LogMark>& marks,
                                       const TrafficRange& range) {
    MotionCheckResult out;
    // Each log line with the tick it was written by.
    struct Told {
        double tick;
        std::string_view text;
    };
    std::vector<Told> lines;
    for (std::size_t at = 0; at < log.size();) {
        std::size_t end = log.find('\n', at);
        if (end == std::string::npos) end = log.size();
        const auto mark = std::find_if(marks.begin(), marks.end(), [&](const LogMark& m) { return m.bytes > at; });
        if (mark != marks.end()) lines.push_back({mark->tick, std::string_view(log).substr(at, end - at)});
        at = end + 1;
    }
    // The registrations of the no-match lists (no livery for them).
    std::string noMatchLists;
    for (std::size_t at = log.find("No match found for:"); at != std::string::npos;
         at = log.find("No match found for:", at + 1)) {
        const std::size_t end = log.find("\n\n", at);
        noMatchLists += log.substr(at, end == std::string::npos ? std::string::npos : end - at + 1);
    }
    const std::set<std::string> noLivery = gf_registrationsToldInLog(noMatchLists);
    std::vector<double> createdTicks;
    for (const AircraftRecord* r : records)
        for (std::size_t k = 0; k < r->samples.size(); ++k)
            if (k == 0 || r->samples[k - 1].tick != r->samples[k].tick - 1) createdTicks.push_back(r->samples[k].tick);
    std::sort(createdTicks.begin(), createdTicks.end());
    for (const AircraftRecord* r : records) {
        const auto& s = r->samples;
        if (s.empty()) continue;
        const std::vector<const ReportedPosition*> path = lf_reportedPath(r->reports, true);
        const Judge judge{*r, out, false};
        for (std::size_t k = 0; k < s.size(); ++k) {
            const bool removed = k + 1 == s.size() || s[k + 1].tick != s[k].tick + 1;
            if (!removed) continue;
            const double removal = s[k].tick;
            // Reports of an aircraft that left the range do not go on for
            // it: the first report that does lies where TAVO keeps aircraft.
            const auto next = std::find_if(path.begin(), path.end(), [&](const ReportedPosition* p) {
                return p->dueTick > removal && range.keeps(p->position);
            });
            if (next == path.end()) continue;
            const double from = (*next)->dueTick;
            const double back = k + 1 < s.size() ? s[k + 1].tick : std::numeric_limits<double>::infinity();
            const double between = static_cast<double>(
                std::lower_bound(createdTicks.begin(), createdTicks.end(), std::min<double>(back, lastTick)) -
                std::lower_bound(createdTicks.begin(), createdTicks.end(), from));
            const double limitTicks = kCreatedWithinTicks + kCreatePaceTicks * between;
            const double deadline = from + limitTicks;
            if (deadline > lastTick && back > lastTick) continue;
            const bool again = back <= deadline;
            // A line that tells why it is not shown, written then, or a
            // livery it has none of (that holds for the whole run).
            const bool told =
                (!r->registration.empty() && noLivery.count(r->registration) != 0) ||
                std::any_of(lines.begin(), lines.end(), [&](const Told& t) {
                    return t.tick >= removal - kCreatedWithinTicks && t.tick <= deadline &&
                           t.text.find("not shown") != std::string_view::npos &&
                           (lf_namesWord(t.text, r->registration) || lf_namesWord(t.text, r->callsign));
                });
            const double waited = (std::min<double>(back, lastTick) - from) / 100.0;
            judge(MotionCheck::Recreated, removal, again || told, waited, limitTicks / 100.0);
        }
    }
    return out;
}

MotionLimits MotionLimits::earlier() {
    MotionLimits l;
    l.groundSpeedShare = 2.0;
    l.groundSpeedSlackKt = 8.0;
    l.taxiMostKt = std::numeric_limits<double>::infinity();
    l.travelShare = 2.0;
    l.travelSlackAirKt = l.travelSlackGroundKt = 20.0;
    l.travelFloorInTheAir = false;
    l.passGroundM = 50.0;
    l.reachStandingM = kStandScatterM;
    l.noseInTheAir = l.speedChange = l.spotTurn = l.recreated = false;
    return l;
}

MotionCheckResult SmoothnessChecker::check(const AircraftRecord& record) const {
    MotionCheckResult out;
    lf_checkSamples(record, out);
    lf_checkTravel(record, out);
    lf_checkReports(record, out);
    return out;
}

MotionCheckResult SmoothnessChecker::checkAll(const AircraftRecord& record) const {
    MotionCheckResult out = check(record);
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
