#pragma once
// One generated world run end to end and judged: the whole program on the
// seed's traffic (SampleWorldRun with a GeneratedTrafficSource), every
// recorded track judged by the motion checker with every check, and whether
// each aircraft was created or named in Log.txt. The verdict keeps what a
// developer needs to find the fault: per finding the seed, the aircraft (its
// hexid, callsign and what the generator made of it), the check and its
// worst value against its limit, the plot of the failing aircraft, and the
// one command that runs the seed again.

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/motion_harness.h"
#include "tools/sample_feed/world_generator.h"

namespace tavo::test {

// The findings of one check on one aircraft, joined.
struct WorldFinding {
    std::uint32_t hexid = 0;
    std::string callsign;
    std::string description;  // what the generator made the aircraft
    MotionCheck check = MotionCheck::Finite;
    std::string phase;      // the engine's phase at the worst finding
    double firstTick = 0.0;
    // Seconds from the aircraft's creation (the one its first finding falls
    // in) to its first finding; -1 before any.
    double sinceCreatedS = -1.0;
    double worstValue = 0.0;
    double limit = 0.0;
    std::size_t count = 0;
    std::string text() const;
};

struct WorldVerdict {
    std::uint64_t seed = 0;
    int exitCode = -1;
    // Lock-step waits the run gave up (a thread that never caught up): such
    // a run may not repeat, so it is no clean run.
    int lockStepTimeouts = 0;
    double simulatedS = 0.0;
    double wallS = 0.0;
    std::size_t tracks = 0;     // aircraft with a recorded track
    std::size_t aircraft = 0;   // aircraft the feed handed over
    // Seconds from the feed's start to the first aircraft's creation (-1:
    // none was created), and how the application answered.
    double firstCreatedS = -1.0;
    // Seconds from the feed's start to the first report due of any aircraft
    // Log.txt does not name as not shown (-1: none): no aircraft can be
    // created before it, whatever the start path does.
    double firstReportS = -1.0;
    std::string answers;
    std::map<MotionCheck, std::size_t> judged;
    std::map<MotionCheck, std::size_t> findings;  // single findings per check
    std::map<MotionCheck, double> worstShare;
    std::vector<WorldFinding> found;  // joined, in aircraft order
    std::filesystem::path folder;     // the run's folder (Log.txt, plots)
    std::filesystem::path plot;       // the failing aircraft's plot (empty when none failed)
    std::string repro;                // the command that runs the seed again
    std::string worldText;            // the generated world, aircraft by aircraft
    std::string logText;              // Log.txt

    bool clean() const { return exitCode == 0 && lockStepTimeouts == 0 && found.empty(); }
    // The findings, a line each, under a header naming the seed.
    std::string report(std::size_t most = 40) const;
    // One line of figures, "key=value" fields, for a script to add up.
    std::string figuresLine() const;
};

struct WorldRunOptions {
    std::filesystem::path folder;  // the run's folder (emptied first)
    sample::WorldOptions world;
    std::string reproCommand;  // the command that runs the seed again, "{seed}" replaced
    // What the checks hold the motion to: a pilot's limits unless a run says
    // otherwise.
    MotionLimits limits;
};

// Draws, runs and judges the seed's world.
WorldVerdict gf_runGeneratedWorld(std::uint64_t seed, const WorldRunOptions& options);
// Runs and judges the sample world's traffic for `seconds` from the start of
// its cycle, with every check (seed 0 in the verdict).
WorldVerdict gf_runSampleWorldJudged(double seconds, const WorldRunOptions& options);

}  // namespace tavo::test
