// Giving traffic away: play ticks of posted batches, the hand-over maps, and
// the parked list handed to the parked-traffic planner.

#include "feed/handover.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "airports/stand_searches.h"
#include "feed/traffic_clock.h"
#include "foundation/log.h"
#include "foundation/time.h"
#include "settings/snapshot.h"

namespace {

// The delay a live batch is posted with (s), and the length of a buffered
// segment: segment n is posted with a delay of n times it.
constexpr std::uint32_t kLiveDelaySeconds = 30;
constexpr double kBufferSegmentSeconds = 6.0;

std::int32_t lf_saturate(double ticks) {
    constexpr double lo = std::numeric_limits<std::int32_t>::min();
    constexpr double hi = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::clamp(ticks, lo, hi));
}

std::mutex l_sourcesMutex;
std::array<ParkedTrafficSource, 2> l_sources;  // [0] RT App, [1] RT Direct

ParkedTrafficSource lf_activeSource() {
    std::lock_guard lock(l_sourcesMutex);
    return l_sources[isRTDirect() ? 1 : 0];
}

}  // namespace

HandOverMaps g_engineHandOverMaps;

void HandOverMaps::insert(const HandOverEntry& entry) {
    if (!entry.callsign.empty()) callsigns.insert(entry.callsign);
    hexids.insert(entry.hexid);
}

void HandOverMaps::clear() {
    callsigns.clear();
    hexids.clear();
}

void HandOverMaps::restart(bool collect) {
    clear();
    active = collect;
}

void gf_setReplayDelays(std::vector<TrafficRecord>& batch, std::int32_t currentTick, std::uint32_t delaySeconds) {
    if (batch.empty()) return;
    const double base = static_cast<double>(delaySeconds) * 100.0 + static_cast<double>(currentTick);

    std::vector<double> times;
    times.reserve(batch.size());
    for (const auto& r : batch)
        if (std::isfinite(r.time)) times.push_back(r.time);
    if (times.empty()) {
        for (auto& r : batch) r.point.playTick = lf_saturate(base);
        return;
    }
    const std::size_t mid = times.size() / 2;
    std::nth_element(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(mid), times.end());
    double median = times[mid];
    if (times.size() % 2 == 0) {
        const double lower = *std::max_element(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(mid));
        median = (lower + median) / 2.0;
    }
    // A live batch is the last moment's reports: its median time is now. A
    // buffered segment holds the reports of the 6 s its delay stands for
    // (segment n of the half minute before the live traffic, delay 6 n): it
    // is timed from where those seconds begin, its earliest report, but no
    // more than half a segment before its median, so that one stale report
    // does not move the rest. Timed from its median, every buffered report
    // played 3 s sooner than the live reports of the same aircraft after it,
    // and each aircraft created from the buffer flew on 3 s ahead of its
    // reports: it dropped to half its speed where the live ones took over,
    // or reached the end of its stream early and was removed while its
    // reports went on.
    double anchor = median;
    if (delaySeconds != kLiveDelaySeconds) {
        const double earliest = *std::min_element(times.begin(), times.end());
        anchor = std::max(earliest, median - kBufferSegmentSeconds / 2.0);
    }
    for (auto& r : batch) {
        const double offset = std::isfinite(r.time) ? std::round((r.time - anchor) * 100.0) : 0.0;
        r.point.playTick = lf_saturate(base + offset);
    }
}

void gf_prepareParkedList(std::vector<ParkedRecord>& list, std::int32_t nowSlot, const SettingsSnapshot& settings) {
    // The age lives beside the slot: a list handed over twice is aged from
    // the report's own slot both times.
    for (auto& r : list) {
        if (r.slot < 0 || r.slot > 47 || nowSlot < 0 || nowSlot > 47)
            r.age = 47;  // a time that could not be read counts as the oldest
        else
            r.age = ((nowSlot - r.slot) % 48 + 48) % 48;
    }
    for (auto& r : list) r.identity.callsign = std::string(gf_cleanCallsign(r.identity.callsign));
    std::erase_if(list, [](const ParkedRecord& r) { return r.identity.callsign.empty(); });
    if (settings.RT_PARKTRAFFIC_ONLY == 0 && settings.AUTO_PARK == 0)
        std::erase_if(list, [&](const ParkedRecord& r) { return r.age > settings.MAX_FIT; });
    std::stable_sort(list.begin(), list.end(),
                     [](const ParkedRecord& a, const ParkedRecord& b) { return a.age < b.age; });

    CallsignSet stands;
    CallsignSet callsigns;
    std::vector<ParkedRecord> kept;
    kept.reserve(list.size());
    for (auto& r : list) {
        if (stands.contains(r.standName)) continue;
        if (!r.identity.callsign.empty() && callsigns.contains(r.identity.callsign)) continue;
        stands.insert(r.standName);
        if (!r.identity.callsign.empty()) callsigns.insert(r.identity.callsign);
        kept.push_back(std::move(r));
    }
    list = std::move(kept);
}

void gf_setParkedTrafficSource(bool rtDirect, ParkedTrafficSource source) {
    std::lock_guard lock(l_sourcesMutex);
    l_sources[rtDirect ? 1 : 0] = std::move(source);
}

void gf_clearParkedTrafficSources() {
    std::lock_guard lock(l_sourcesMutex);
    l_sources = {};
}

void gf_handOverParkedTraffic(std::uint32_t count) {
    const auto source = lf_activeSource();
    if (!source.fetch || source.parkedMutex == nullptr || source.parkedList == nullptr) {
        gf_log("gf_handOverParkedTraffic: no parked traffic source registered");
        return;
    }
    if (!source.fetch()) return;

    std::lock_guard lock(*source.parkedMutex);
    auto& list = *source.parkedList;
    if (source.skipEmptyList && list.empty()) return;
    const auto settings = settingsSnapshot.load();
    gf_prepareParkedList(list, gf_halfHourSlot(), *settings);
    if (settings->RT_PARKTRAFFIC_ONLY != 0) gf_searchRtParkPositions(list, count);
}

bool gf_visitActiveParkedList(const std::function<void(std::vector<ParkedRecord>&)>& visit) {
    const auto source = lf_activeSource();
    if (source.parkedMutex == nullptr || source.parkedList == nullptr) return false;
    std::lock_guard lock(*source.parkedMutex);
    visit(*source.parkedList);
    return true;
}

void gf_takeParkedHandOverMaps() {
    g_engineHandOverMaps.clear();
    g_engineHandOverMaps.active = false;
    const auto source = lf_activeSource();
    if (source.mapsMutex == nullptr || source.maps == nullptr) return;
    std::lock_guard lock(*source.mapsMutex);
    source.maps->active = false;
    g_engineHandOverMaps.callsigns = std::move(source.maps->callsigns);
    g_engineHandOverMaps.hexids = std::move(source.maps->hexids);
    source.maps->clear();
}

void gf_resetHandOverMaps() {
    const auto source = lf_activeSource();
    if (source.mapsMutex == nullptr || source.maps == nullptr) return;
    std::lock_guard lock(*source.mapsMutex);
    source.maps->restart(false);
}
