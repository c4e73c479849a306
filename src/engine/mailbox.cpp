// The traffic mailbox. The lock is held only to check the flags, swap the
// vectors, update the stall watch and pop one record; stamping, decoding,
// logging and the stop request happen outside it.

#include "engine/mailbox.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <deque>
#include <limits>
#include <mutex>
#include <utility>

#include <fmt/format.h>

#include "engine/engine_state.h"
#include "feed/handover.h"
#include "foundation/log.h"
#include "motion/tick_math.h"
#include "services/stop.h"

namespace {

constexpr std::uint32_t kLiveDelaySeconds = 30;
constexpr std::int64_t kStallNs = 60'000'000'000;
constexpr std::int64_t kTickNs = 10'000'000;  // one engine tick
// Live batches kept while the start path waits: about two minutes of them.
// A start that waits longer (for the user's position) plays what came first
// and then whatever comes once delivery is on, rather than growing without end.
constexpr std::size_t kMostKeptLiveBatches = 120;
// Reports taken and not yet due: the feed's delay holds half a minute of
// them, a few thousand at the most traffic the engine shows.
constexpr std::size_t kMostNotYetDue = 20000;
// The next run's own reports bear the carried ones out when the latest of
// them comes at most this long (s) after the latest carried one, never
// before it: a link that was down a while, and the start path's wait.
constexpr double kCarriedBorneOutS = 120.0;

struct TrafficMailbox {
    std::mutex lock;
    std::vector<TrafficRecord> pending;  // last accepted live batch, taken from the end
    std::vector<TrafficRecord> history;  // stamped history records, in posting order
    // When each run of history records was stamped: their count, the clock
    // and the engine's tick then.
    struct Stamped {
        std::size_t count = 0;
        std::int64_t postedNs = 0;
        std::int32_t postedTick = 0;
        // The reports a run ended with and had not yet played.
        bool carried = false;
    };
    std::vector<Stamped> stamps;
    // The reports the engine took whose play tick was still ahead, in the
    // order taken (the feed's delay: the next half minute of each aircraft).
    std::deque<TrafficRecord> notYetDue;
    bool shutdownRequested = false;
    // The start path waits with delivery off: live batches meanwhile are kept
    // as history instead of dropped.
    bool keepWhileStarting = false;
    std::size_t keptLiveBatches = 0;
    bool watchStarted = false;
    std::int64_t firstPendingTime = 0;
    std::uint64_t batchesReplaced = 0;
    bool stalled = false;
    std::function<std::int64_t()> clock;
};

TrafficMailbox l_mailbox;
// Main thread only, as the takes of history are.
std::function<void(std::span<const TrafficRecord>)> l_carriedWatch;
// Read by the posting thread before it takes the lock, so it is atomic; it
// is only written under the lock.
std::atomic<bool> l_deliveryEnabled{false};

std::int64_t lf_steadyNowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void lf_resetWatch(TrafficMailbox& m) {
    m.watchStarted = false;
    m.batchesReplaced = 0;
    m.stalled = false;
}

// Appends a stamped batch to the history (under the lock).
void lf_appendHistory(TrafficMailbox& m, std::vector<TrafficRecord>& batch, std::int32_t stampedTick,
                      bool carried = false) {
    const std::int64_t now = m.clock ? m.clock() : lf_steadyNowNs();
    m.stamps.push_back({batch.size(), now, stampedTick, carried});
    m.history.insert(m.history.end(), std::make_move_iterator(batch.begin()), std::make_move_iterator(batch.end()));
}

}  // namespace

void gf_postTrafficBatch(std::vector<TrafficRecord>& batch, std::uint32_t delaySeconds, bool /*fromRtApp*/) {
    if (batch.empty()) return;

    if (delaySeconds != kLiveDelaySeconds) {
        // History is never decoded here: the engine's lists belong to the
        // main thread, which decodes this list at its next tick.
        const std::int32_t stampedTick = tickCount.load();
        gf_setReplayDelays(batch, stampedTick, delaySeconds);
        {
            std::lock_guard lock(l_mailbox.lock);
            lf_appendHistory(l_mailbox, batch, stampedTick);
        }
        batch.clear();
        return;
    }

    if (!l_deliveryEnabled.load()) {
        // While the start path waits (for the buffered and the parked
        // traffic, half a minute and more) the live reports are kept, in
        // order, and played at their own time once the engine runs, as the
        // buffered ones are: dropped, nothing would play until half a minute
        // after the main loop began.
        const std::int32_t stampedTick = tickCount.load();
        gf_setReplayDelays(batch, stampedTick, delaySeconds);
        std::lock_guard lock(l_mailbox.lock);
        if (l_mailbox.keepWhileStarting && !l_deliveryEnabled.load() &&
            l_mailbox.keptLiveBatches < kMostKeptLiveBatches) {
            ++l_mailbox.keptLiveBatches;
            lf_appendHistory(l_mailbox, batch, stampedTick);
        }
        batch.clear();
        return;
    }
    gf_setReplayDelays(batch, tickCount.load(), delaySeconds);

    std::uint64_t replaced = 0;
    std::size_t pendingCount = 0;
    std::size_t incomingCount = 0;
    {
        std::unique_lock lock(l_mailbox.lock);
        auto& m = l_mailbox;
        if (!l_deliveryEnabled.load()) {
            lock.unlock();
            batch.clear();
            return;
        }
        if (m.pending.empty()) {
            lf_resetWatch(m);
            m.pending.swap(batch);
            lock.unlock();
            batch.clear();
            return;
        }
        const std::int64_t now = m.clock ? m.clock() : lf_steadyNowNs();
        if (!m.watchStarted) {
            m.watchStarted = true;
            m.firstPendingTime = now;
        }
        ++m.batchesReplaced;
        if (m.stalled || now - m.firstPendingTime < kStallNs) {
            m.pending.swap(batch);
            lock.unlock();
            batch.clear();
            return;
        }
        m.stalled = true;
        replaced = m.batchesReplaced;
        pendingCount = m.pending.size();
        incomingCount = batch.size();
        m.shutdownRequested = true;
        l_deliveryEnabled.store(false);
        m.pending.clear();
    }
    batch.clear();
    requestStop(StopReason::TrafficMailboxStalled, 0);
    gf_logError(fmt::format("Traffic mailbox stalled: no messages consumed for 1 minute; {} batches replaced, {} "
                            "pending and {} incoming messages. Stopping traffic delivery and requesting shutdown.",
                            replaced, pendingCount, incomingCount));
}

void gf_takeHistoryRecords(std::vector<TrafficRecord>& out) {
    std::vector<TrafficRecord> taken;
    std::vector<TrafficMailbox::Stamped> stamps;
    std::int64_t now = 0;
    {
        std::lock_guard lock(l_mailbox.lock);
        taken.swap(l_mailbox.history);
        stamps.swap(l_mailbox.stamps);
        now = l_mailbox.clock ? l_mailbox.clock() : lf_steadyNowNs();
    }
    // History stamped while the engine's clock stood still (the start path
    // waits for the buffer and the parked traffic before the engine ticks)
    // is played as if the clock had run: stamped against the standing clock
    // it would play the whole wait later than its own time, and every
    // aircraft it starts would trail its reports by that much for good.
    const std::int32_t tick = tickCount.load();
    std::size_t at = 0;
    std::vector<bool> carried(taken.size(), false);
    double carriedLatest = -std::numeric_limits<double>::infinity();
    double ownLatest = -std::numeric_limits<double>::infinity();
    for (const TrafficMailbox::Stamped& s : stamps) {
        const std::size_t end = std::min(taken.size(), at + s.count);
        if (s.postedTick == tick && now > s.postedNs) {
            const std::int64_t stood = (now - s.postedNs) / kTickNs;
            for (std::size_t i = at; i < end; ++i) taken[i].point.playTick = gf_tickPlus(taken[i].point.playTick, -stood);
        }
        for (std::size_t i = at; i < end; ++i) {
            if (!std::isfinite(taken[i].time)) continue;
            carried[i] = s.carried;
            double& latest = s.carried ? carriedLatest : ownLatest;
            latest = std::max(latest, taken[i].time);
        }
        at = end;
    }
    // The reports carried from the run before are played only where the
    // next run's own bear them out in time: after a restart that changed the
    // time shift, or a link that was down for minutes, they belong to
    // another moment, and played first they had each aircraft jump, or drop
    // every report of its own as older than theirs.
    if (std::isfinite(carriedLatest) &&
        !(ownLatest >= carriedLatest && ownLatest - carriedLatest <= kCarriedBorneOutS)) {
        std::size_t kept = 0;
        for (std::size_t i = 0; i < taken.size(); ++i)
            if (!carried[i]) taken[kept++] = std::move(taken[i]);
        taken.resize(kept);
    } else if (std::isfinite(carriedLatest) && l_carriedWatch) {
        std::vector<TrafficRecord> played;
        for (std::size_t i = 0; i < taken.size(); ++i)
            if (carried[i]) played.push_back(taken[i]);
        l_carriedWatch(played);
    }
    if (out.empty()) {
        out.swap(taken);
    } else {
        out.insert(out.end(), std::make_move_iterator(taken.begin()), std::make_move_iterator(taken.end()));
    }
}

std::optional<TrafficRecord> gf_takeMailboxRecord() {
    std::lock_guard lock(l_mailbox.lock);
    auto& m = l_mailbox;
    if (m.pending.empty()) return std::nullopt;
    std::optional<TrafficRecord> record(std::move(m.pending.back()));
    m.pending.pop_back();
    lf_resetWatch(m);
    return record;
}

void gf_takeMailboxRecords(const std::function<void(const TrafficRecord&)>& decode) {
    for (int i = 0; i < 2; ++i) {
        auto record = gf_takeMailboxRecord();
        if (!record) return;
        decode(*record);
    }
}

void gf_setTrafficDelivery(bool enable) {
    std::lock_guard lock(l_mailbox.lock);
    lf_resetWatch(l_mailbox);
    l_mailbox.keepWhileStarting = false;
    l_deliveryEnabled.store(enable && !l_mailbox.shutdownRequested);
}

void gf_keepLiveTrafficWhileStarting() {
    std::lock_guard lock(l_mailbox.lock);
    l_mailbox.keepWhileStarting = !l_deliveryEnabled.load() && !l_mailbox.shutdownRequested;
    l_mailbox.keptLiveBatches = 0;
}

bool gf_isTrafficDeliveryEnabled() { return l_deliveryEnabled.load(); }

void gf_keepReportsNotYetDue(std::span<const TrafficRecord> records) {
    const std::int32_t tick = tickCount.load();
    std::lock_guard lock(l_mailbox.lock);
    auto& kept = l_mailbox.notYetDue;
    while (!kept.empty() && gf_ticksBetween(tick, kept.front().point.playTick) <= 0) kept.pop_front();
    for (const TrafficRecord& r : records)
        if (gf_ticksBetween(tick, r.point.playTick) > 0) kept.push_back(r);
    while (kept.size() > kMostNotYetDue) kept.pop_front();
}

namespace {

void lf_resetMailbox(TrafficMailbox& m) {
    m.pending.clear();
    m.history.clear();
    m.stamps.clear();
    m.notYetDue.clear();
    lf_resetWatch(m);
    m.keepWhileStarting = false;
    m.shutdownRequested = false;
}

}  // namespace

void gf_resetTrafficMailbox() {
    std::lock_guard lock(l_mailbox.lock);
    lf_resetMailbox(l_mailbox);
}

void gf_resetTrafficMailboxForNextRun() {
    const std::int32_t tick = tickCount.load();
    std::lock_guard lock(l_mailbox.lock);
    std::vector<TrafficRecord> carried;
    for (TrafficRecord& r : l_mailbox.notYetDue)
        if (gf_ticksBetween(tick, r.point.playTick) > 0) carried.push_back(std::move(r));
    lf_resetMailbox(l_mailbox);
    // Stamped as history posted now: the next run's first take plays them
    // as far earlier as its start path kept the clock standing, as it does
    // the live batches kept meanwhile.
    if (!carried.empty()) lf_appendHistory(l_mailbox, carried, tick, true);
}

void gf_setCarriedReportsWatch(std::function<void(std::span<const TrafficRecord>)> watch) {
    l_carriedWatch = std::move(watch);
}

MailboxCounters gf_mailboxCounters() {
    std::lock_guard lock(l_mailbox.lock);
    const auto& m = l_mailbox;
    return MailboxCounters{m.pending.size(), m.history.size(), m.batchesReplaced,
                           m.watchStarted,    m.stalled,        m.shutdownRequested};
}

void gf_setMailboxClock(std::function<std::int64_t()> nowNs) {
    std::lock_guard lock(l_mailbox.lock);
    l_mailbox.clock = std::move(nowNs);
}
