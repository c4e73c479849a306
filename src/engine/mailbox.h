#pragma once
// The traffic mailbox: the one door through which the traffic feed hands
// position reports to the engine.
//
// Live batches (delay 30) wait in the mailbox; a newer batch replaces one the
// engine has not finished. History batches (any other delay) are stamped and
// appended, in order, to a second list that the engine tick decodes fully
// before it takes live records, so that no decoding runs on a reader thread.
// A stall watch stops the program when live batches keep arriving for 60 s
// while the engine takes nothing.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "feed/records.h"

// Hands a batch to the engine (any thread). Stamps the records' play ticks
// first. The batch is empty on return.
void gf_postTrafficBatch(std::vector<TrafficRecord>& batch, std::uint32_t delaySeconds, bool fromRtApp);

// Engine tick: moves every waiting history record, in posting order, into
// `out` (appended). Decode them all before taking live records.
void gf_takeHistoryRecords(std::vector<TrafficRecord>& out);

// Engine tick: takes the LAST pending live record, if any.
std::optional<TrafficRecord> gf_takeMailboxRecord();

// Engine tick: takes up to two live records (from the end) and hands each to
// `decode`, outside the mailbox lock.
void gf_takeMailboxRecords(const std::function<void(const TrafficRecord&)>& decode);

// The delivery switch (main thread): resets the watch; enabling leaves
// delivery off after the stall watch fired, until the reset. Either way the
// live batches are no longer kept as below.
void gf_setTrafficDelivery(bool enable);
// The start path (main thread), with delivery off: until the delivery switch
// is used again, live batches are stamped and kept with the history, in
// order, instead of dropped, so that they play at their own time once the
// engine runs. Nothing is kept after the stall watch fired.
void gf_keepLiveTrafficWhileStarting();
bool gf_isTrafficDeliveryEnabled();

// Engine tick: of the reports just decoded, those whose play tick is still
// ahead are kept until it comes (the reports kept before that fell due are
// forgotten), for gf_resetTrafficMailboxForNextRun.
void gf_keepReportsNotYetDue(std::span<const TrafficRecord> records);

// Engine reset: drops pending and history records and the reports kept not
// yet due, resets the watch and clears the shutdown request of the stall
// watch.
void gf_resetTrafficMailbox();

// Engine reset at the end of a run that another follows: as
// gf_resetTrafficMailbox, but the reports kept not yet due (the feed's delay
// of each aircraft's reports) stay as history, stamped now, for the next run
// to play at their own time, once the next run's own reports bear them out
// in time (their latest comes no earlier, and at most two minutes later);
// without such reports in the same take, they are dropped. Dropped with the
// run, an aircraft standing or
// flying on across a restart had no report until those sent after the
// application's link came back fell due, and was missing that long, unless
// the buffer came back at once.
void gf_resetTrafficMailboxForNextRun();
// Called (main thread) with the reports carried from the run before that
// the next run plays, as it takes them: what a run holds besides what it is
// handed. Tests watch it; an empty function watches nothing.
void gf_setCarriedReportsWatch(std::function<void(std::span<const TrafficRecord>)> watch);

// What the mailbox holds, for status and tests.
struct MailboxCounters {
    std::size_t pending = 0;
    std::size_t history = 0;
    std::uint64_t batchesReplaced = 0;
    bool watchStarted = false;
    bool stalled = false;
    bool shutdownRequested = false;
};
MailboxCounters gf_mailboxCounters();

// The steady clock of the stall watch, in nanoseconds; tests replace it.
// An empty function restores the real clock.
void gf_setMailboxClock(std::function<std::int64_t()> nowNs);
