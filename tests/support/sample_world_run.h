#pragma once
// The whole program on the sample world, in the calling process and faster
// than real time: TAVO's own entry (gf_programMain) with the headless window,
// every service real, the simulator model on the sample scenario, and the
// sample RealTraffic application's traffic fed over loopback by a peer in
// this process, all on one fake clock.
//
// The fake clock moves only when the program's main thread sleeps (the
// shell's waits): a sleep moves it to its end in steps, and at every step the
// world catches up in lock step before the clock goes on — each simulator
// frame is dispatched by the SimClient thread, each simulated second sends the
// traffic of that second and waits until the traffic reader has handed it to
// the engine, and requests of the program (buffered and parked traffic) are
// answered. Before each step the program's other threads finish what the
// present gave them: the SimClient thread connects and dispatches, the
// readers bind and ask for the buffer, the application reads every line the
// program sent. So a simulated minute takes as long as the program needs to
// compute it, and a run records the same tracks on a fast and a slow machine
// (the wall clock stands at a fixed date and the main thread's random draws
// start from a fixed seed).
//
// The pose stream, the mailbox's stall watch, the feed's time limits, the
// wall clock (seconds and 100 ns units) and the model's journal stamps all
// read the fake clock. The run ends by itself: after `durationS` simulated
// seconds of traffic it closes the main window, as the user would.
//
// Only one run per process at a time (everything it drives is process-wide).
// gf_programMain runs on the calling thread, which becomes the GUI thread; it
// changes the working folder to the run's folder for the run and back.
// Failures to set the run up throw std::runtime_error.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/window/window.h"
#include "support/motion_harness.h"
#include "support/world_traffic.h"

namespace tavo::sample {
class SampleTraffic;
}

class UdpReader;

namespace tavo::test {

class RTAppPeer;

// Sends lines to a UDP reader's port a few at a time, each few once the reader
// has taken the last from its socket (or a few seconds passed: a stuck
// reader). Sent all at once, lines beyond the socket's receive queue are
// dropped whenever the reader runs slower than the sender. False when a line
// could not be sent.
bool gf_sendPacedToReader(RTAppPeer& peer, std::uint16_t port, const std::vector<std::string>& lines,
                          const UdpReader& reader);

// The engine tick at a time of the fake clock (ns), from the clock's starts
// as the run saw them (fake time of each change, the start in force from
// then; in time order) or, before any, `clockStartNs`. Where a start moved
// later the engine stood still until then (the program restarting its run):
// the tick stays at the one it went on from.
double gf_engineTickAt(std::int64_t fakeNs, const std::vector<std::pair<std::int64_t, std::int64_t>>& clockStarts,
                       std::int64_t clockStartNs);

struct SampleWorldOptions {
    // The run's folder: the installation folder is copied into it, the
    // settings go under it, and TAVO writes its Log.txt there. Emptied first.
    std::filesystem::path folder;
    // What the application sends: none, the sample traffic (trafficCopies
    // times over); else this source (a generated world).
    std::shared_ptr<TrafficSource> traffic;
    // The traffic's simulated second when the feed starts: for the sample
    // traffic a whole cycle in, as the sample application starts.
    double feedStartS = 1200.0;
    // Simulated seconds of traffic before the window is closed.
    double durationS = 1200.0;
    // Engine ticks (10 ms) per simulator frame.
    int ticksPerFrame = 3;
    // Each frame is dispatched before the clock goes on (the simulator's
    // poses in lock step with the engine's). Without it the SimClient thread
    // takes the frames as it comes to them, as from a simulator that does
    // not wait; the world still catches up at every simulated second.
    bool lockStepFrames = true;
    // Settings added to the sample settings (name, value).
    std::vector<std::pair<std::string, std::string>> parameters;
    // Record every active aircraft's motion after each tick. Without it the
    // simulator model keeps only the last 16 journal entries per object.
    bool recordMotion = true;
    // The sample traffic this many times over, each copy a fraction of the
    // cycle later with callsigns, registrations and hexids of its own: a
    // busier sky for measurements (1: the sample world as it is).
    int trafficCopies = 1;
    // The window layer; none: the headless one, keeping no records.
    std::shared_ptr<WindowBackend> window;
    // Called once the simulator model holds the scenario, before the program
    // starts (a test adds the model's faults there).
    std::function<void()> modelReady;
};

// What the run counted as it went.
struct SampleWorldFigures {
    int exitCode = -1;
    std::int64_t ticks = 0;          // engine ticks of the main loop
    std::int64_t frames = 0;         // simulator frames
    double simulatedS = 0.0;         // seconds of traffic fed
    double wallS = 0.0;              // real time of the whole run
    double startS = 0.0;             // real time until the traffic began
    std::uint64_t batchesFed = 0;    // live batches handed to the engine
    // Lock-step waits that gave up on another thread of the program (a run
    // with any may not repeat).
    int lockStepTimeouts = 0;
    std::vector<double> tickNs;      // real time of every engine tick (when timed)
};

class SampleWorldRun {
public:
    explicit SampleWorldRun(SampleWorldOptions options);
    ~SampleWorldRun();
    SampleWorldRun(const SampleWorldRun&) = delete;
    SampleWorldRun& operator=(const SampleWorldRun&) = delete;

    // Called on the main thread after every engine tick of the main loop
    // (after the motion is recorded): the engine's lists may be read there.
    void onTick(std::function<void()> hook) { onTick_ = std::move(hook); }
    // Called on the main thread after every simulator frame was dispatched:
    // the model's objects may be read there.
    void onFrame(std::function<void()> hook) { onFrame_ = std::move(hook); }
    // Times every engine tick (real time, into figures().tickNs).
    void timeTicks(bool on) { timeTicks_ = on; }

    // Runs the program to its end; the exit code of its entry.
    int run();

    const SampleWorldFigures& figures() const { return figures_; }
    // The sample traffic (only when the run feeds it; else std::logic_error).
    const sample::SampleTraffic& traffic() const;
    const TrafficSource& source() const { return *source_; }
    const sample::SampleWorld& world() const { return source_->world(); }
    const std::filesystem::path& folder() const { return options_.folder; }
    std::filesystem::path scenario() const;
    // The motion recordings (received poses collected now).
    std::vector<const AircraftRecord*> records();
    // Every aircraft the feed handed over, created or not.
    std::vector<const AircraftRecord*> allRecords();
    // The engine tick at which the start path's own waits for the buffered
    // and the parked traffic end, as the application answers (the buffer's
    // answer or 30 s, then the parked answer or 10 s, from the feed's start).
    double startWaitsEndTick() const;
    // The engine tick at which the feed started (the version answered).
    double feedStartTick() const;
    // The engine tick of a fake-clock time and of a report's time.
    double tickAt(std::int64_t fakeNs) const;
    // The sample traffic's simulated second now (feed time), once the feed runs.
    double feedSecond() const;
    // TAVO's Log.txt of the run (after a restart of its run the Log.txt
    // before it, then the new one).
    std::string log() const;
    // How long Log.txt was at each simulated second (flushed first): the
    // tick a line of it was written by.
    const std::vector<LogMark>& logMarks() const { return logMarks_; }

private:
    struct Impl;
    void lf_sleepUntil(std::int64_t untilNs);
    void lf_step();
    void lf_answerRequests();
    void lf_settleThreads();
    void lf_waitSimClient();
    bool lf_feedStarted();
    void lf_connectPeer(bool again = false);
    void lf_dropLink(std::int64_t second);
    void lf_markLog();

    SampleWorldOptions options_;
    std::shared_ptr<TrafficSource> source_;
    std::unique_ptr<Impl> impl_;
    std::unique_ptr<MotionRecorder> recorder_;
    std::function<void()> onTick_;
    std::function<void()> onFrame_;
    bool timeTicks_ = false;
    SampleWorldFigures figures_;
    std::vector<LogMark> logMarks_;
    // The logs of the program's runs before a restart, in order.
    std::string olderLogs_;
    std::uintmax_t olderLogSize_ = 0;
};

}  // namespace tavo::test
