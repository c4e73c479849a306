// The AI pose stream: the engine stages one pose per object and tick and
// publishes them, stamped, at the end of its tick; the SimClient thread takes
// what was published once per frame (never waiting for the engine), keeps a
// short timed track per object, and sends each object a pose interpolated for
// a moment 20 ms in the past, so that poses computed every 10 ms look smooth
// at any frame rate.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>

#include <fmt/format.h>

#include "foundation/geodesy.h"
#include "foundation/log.h"
#include "simlink/sim_link_internal.h"

namespace {

using PoseBatch = std::unordered_map<std::uint32_t, std::vector<AiPositionSample>>;

// Guards the published samples. The engine locks it once per tick; the
// SimClient thread only tries it.
std::mutex l_aiPositionMutex;
PoseBatch l_aiPoseBatch;

// The staging has a lock of its own: the engine writes it all through its
// tick, and a removal from another thread must not race with that.
std::mutex l_aiPoseStageMutex;
std::unordered_map<std::uint32_t, AiPose> l_aiPoseStage;

// Changed (under l_aiPositionMutex) whenever the shared containers are
// emptied, so the SimClient thread drops its tracks too.
std::atomic<std::uint64_t> l_aiPoseGeneration{0};

std::int64_t lf_steadyNow() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
std::atomic<PoseClock> l_poseClock{&lf_steadyNow};

constexpr std::int64_t kMaxSampleStepNs = 250'000'000;
constexpr double kMaxJumpMetres = 1000.0;
constexpr double kMaxAltitudeJumpFt = 2000.0;

}  // namespace

void gf_setPoseClock(PoseClock clock) { l_poseClock.store(clock != nullptr ? clock : &lf_steadyNow); }
std::int64_t gf_poseClockNow() { return l_poseClock.load()(); }

void gf_stageAiPose(std::uint32_t objectId, const AiPose& pose) {
    std::lock_guard lock(l_aiPoseStageMutex);
    l_aiPoseStage[objectId] = pose;
}

void gf_publishStagedAiPoses(std::int64_t tickTimeNs) {
    std::lock_guard lock(l_aiPositionMutex);
    std::lock_guard stageLock(l_aiPoseStageMutex);
    for (const auto& [objectId, pose] : l_aiPoseStage) {
        auto& samples = l_aiPoseBatch[objectId];
        samples.push_back({pose, tickTimeNs});
        if (samples.size() > kMaxPoseSamples)
            samples.erase(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(samples.size() - kMaxPoseSamples));
    }
    l_aiPoseStage.clear();
}

void gf_clearAiPoseStream() {
    std::lock_guard lock(l_aiPositionMutex);
    {
        std::lock_guard stageLock(l_aiPoseStageMutex);
        l_aiPoseStage.clear();
    }
    l_aiPoseBatch.clear();
    l_aiPoseGeneration.fetch_add(1);
}

void gf_clearPublishedAiPoses() {
    std::lock_guard lock(l_aiPositionMutex);
    l_aiPoseBatch.clear();
}

void gf_forgetAiPoses(std::uint32_t objectId) {
    std::lock_guard lock(l_aiPositionMutex);
    {
        std::lock_guard stageLock(l_aiPoseStageMutex);
        l_aiPoseStage.erase(objectId);
    }
    l_aiPoseBatch.erase(objectId);
}

std::unique_lock<std::mutex> gf_lockAiPositions() { return std::unique_lock(l_aiPositionMutex); }

std::uint64_t gf_aiPoseGeneration() { return l_aiPoseGeneration.load(); }

void gf_reserveAiPoseContainers() {
    std::lock_guard lock(l_aiPositionMutex);
    std::lock_guard stageLock(l_aiPoseStageMutex);
    l_aiPoseStage.reserve(512);
    l_aiPoseBatch.reserve(512);
}

// ---------------------------------------------------------------------------
// SimClient side

namespace {

// True when the two positions lie more than kMaxJumpMetres apart. Samples
// come every frame a few metres apart, so the great-circle distance is only
// worked out when the sum of the coordinate differences (which no great
// circle between them exceeds) does not already show them close.
bool lf_jumped(const AiPose& from, const AiPose& to) {
    constexpr double kMetresPerDegree = 60.0 * 1852.0;
    const double bound =
        (std::fabs(to.latitude - from.latitude) + std::fabs(to.longitude - from.longitude)) * kMetresPerDegree;
    if (bound < 0.9 * kMaxJumpMetres) return false;
    return gf_distanceNm({from.latitude, from.longitude}, {to.latitude, to.longitude}) * 1852.0 > kMaxJumpMetres;
}

}  // namespace

void gf_mergePoseSample(AiPoseTrack& track, const AiPositionSample& sample) {
    if (!track.samples.empty()) {
        const auto& newest = track.samples.back();
        const std::int64_t step = sample.timeNs - newest.timeNs;
        // A gap in time or a jump in place means a new start (teleport,
        // respawn, replay): blending across it would draw a streak.
        if (step < 1 || step > kMaxSampleStepNs || lf_jumped(newest.pose, sample.pose) ||
            std::fabs(sample.pose.altitude - newest.pose.altitude) > kMaxAltitudeJumpFt)
            track.samples.clear();
    }
    track.samples.push_back(sample);
    if (track.samples.size() > kMaxPoseSamples) track.samples.pop_front();
}

std::optional<AiPose> gf_interpolateAiPosition(AiPoseTrack& track, std::int64_t nowNs) {
    auto& s = track.samples;
    if (s.empty()) return std::nullopt;
    const std::int64_t t = nowNs - track.delayNs;
    while (s.size() >= 3 && t >= s[1].timeNs) s.pop_front();
    if (s.size() == 1) return s.front().pose;
    if (t <= s.front().timeNs) return s.front().pose;
    if (t >= s.back().timeNs) return s.back().pose;
    const auto later = std::upper_bound(s.begin(), s.end(), t,
                                        [](std::int64_t value, const AiPositionSample& x) { return value < x.timeNs; });
    const auto& b = *later;
    const auto& a = *(later - 1);
    const std::int64_t step = b.timeNs - a.timeNs;
    if (step < 1 || step > kMaxSampleStepNs) return s.back().pose;
    const double f = std::clamp(static_cast<double>(t - a.timeNs) / static_cast<double>(step), 0.0, 1.0);
    auto lerp = [f](double x, double y) { return x + (y - x) * f; };
    AiPose p;
    p.latitude = lerp(a.pose.latitude, b.pose.latitude);
    // The shorter way round, and the result kept within -180..180.
    p.longitude = std::remainder(
        std::remainder(b.pose.longitude - a.pose.longitude, 360.0) * f + a.pose.longitude, 360.0);
    p.pitch = lerp(a.pose.pitch, b.pose.pitch);
    p.bank = lerp(a.pose.bank, b.pose.bank);
    double heading = std::fmod(std::remainder(b.pose.heading - a.pose.heading, fullCircle) * f + a.pose.heading, fullCircle);
    if (heading < 0) heading += fullCircle;
    p.heading = heading;
    p.altitude = lerp(a.pose.altitude, b.pose.altitude);
    p.verticalSpeed = lerp(a.pose.verticalSpeed, b.pose.verticalSpeed);
    p.trueAirspeed = lerp(a.pose.trueAirspeed, b.pose.trueAirspeed);
    return p;
}

void gf_sendAiPositions() {
    auto& link = gf_simLink();
    link.poseFrontBatch.clear();
    const std::uint64_t generation = l_aiPoseGeneration.load();
    if (generation != link.poseGenerationSeen) {
        link.poseHistory.clear();
        link.poseGenerationSeen = generation;
    }
    {
        // A frame never waits for the engine: when it holds the lock, the
        // existing tracks carry this frame.
        std::unique_lock lock(l_aiPositionMutex, std::try_to_lock);
        if (lock.owns_lock() && !l_aiPoseBatch.empty()) l_aiPoseBatch.swap(link.poseFrontBatch);
    }
    // Poses go only to objects this connection owns: one the simulator or a
    // removal took away may still have poses the engine published before it
    // learnt of that.
    for (const auto& [objectId, samples] : link.poseFrontBatch) {
        if (!link.ownedObjects.contains(objectId)) continue;
        auto& track = link.poseHistory[objectId];
        for (const auto& sample : samples) gf_mergePoseSample(track, sample);
    }
    const std::int64_t now = gf_poseClockNow();
    const HANDLE h = gf_simHandle();
    const std::uint32_t userId = link.userObjectId.load();
    for (auto& [objectId, track] : link.poseHistory) {
        if (objectId == userId) continue;
        auto pose = gf_interpolateAiPosition(track, now);
        if (!pose) continue;
        const HRESULT hr = SimConnect_SetDataOnSimObject(h, DEFINITION_LATLONPIBAHEALVSTAS, objectId, 0, 0,
                                                         sizeof(AiPose), &*pose);
        link.lastAiPoseUpdate = LastAiPoseUpdate{true, objectId, *pose, hr};
        if (FAILED(hr)) {
            gf_logError(fmt::format("SimConnect_SetDataOnSimObject batch failed, objectid: {}", objectId));
            gf_logRequestError();
            return;
        }
    }
}
