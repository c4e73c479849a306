// A whole-program run records the same tracks every time it is run: the
// suite's world verdicts must not depend on the machine's load. Of two runs
// of one world, side by side, the second meets a simulator that refuses the
// program's first connections (the SimClient thread retries in real time, as
// it does after a simulator restart) and a window that takes the user's close
// late, so its start and its end take longer in real time than the first
// run's; on the fake clock both must go alike, tick for tick.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "platform/simconnect/sim_model.h"
#include "platform/window/headless.h"
#include "support/sample_world_run.h"
#include "support/source_paths.h"
#include "support/world_traffic.h"

namespace tavo::test {
namespace {

namespace fs = std::filesystem;

// A short, small world (no crowd) with departures, arrivals and parked
// traffic, whose application answers both requests at once.
constexpr std::uint64_t kSeed = 50;
constexpr double kWorldS = 40.0;

// A window whose thread takes a close some real time late, as a busy one
// does: meanwhile the program goes on.
class SlowCloseBackend final : public HeadlessBackend {
public:
    ~SlowCloseBackend() override {
        if (closer_.joinable()) closer_.join();
    }
    bool postMessage(WindowHandle window, std::uint32_t message, std::uint64_t wParam, std::int64_t lParam) override {
        if (message != WM_CLOSE || closer_.joinable()) return HeadlessBackend::postMessage(window, message, wParam, lParam);
        closer_ = std::thread([this, window, message, wParam, lParam] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            HeadlessBackend::postMessage(window, message, wParam, lParam);
        });
        return true;
    }

private:
    std::thread closer_;
};

fs::path lf_besideTheProgram(const std::string& name) {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return (ec ? fs::current_path() : self.parent_path()) / name;
}

// One run of the world, written to `file` aircraft by aircraft: every
// engine pose with its tick, every pose the simulator received with its time,
// and the due tick of every report the feed handed over; then Log.txt from
// the link's start on, the run's exit code and its lock-step waits that gave
// up.
void lf_recordTo(const fs::path& file, const std::string& folder, bool slow) {
    sample::WorldOptions world;
    world.durationS = kWorldS;
    world.crowd = 0;
    SampleWorldOptions options;
    options.folder = lf_besideTheProgram(folder);
    options.traffic = std::make_shared<GeneratedTrafficSource>((installDir() / "scenarios" / "sample.xml").string(),
                                                               kSeed, world);
    options.feedStartS = 0.0;
    options.durationS = kWorldS;
    options.ticksPerFrame = 10;
    if (slow) {
        auto window = std::make_shared<SlowCloseBackend>();
        window->setRecording(false);
        options.window = window;
        options.modelReady = [] {
            // The first three connections of the program's SimClient fail:
            // it connects about 300 ms later in real time.
            SimCallFault refused;
            refused.call = SimCall::Open;
            refused.text = "TAVO";
            refused.times = 3;
            gf_simModelAddCallFault(refused);
        };
    }
    SampleWorldRun run(options);
    const int exitCode = run.run();
    std::ofstream out(file);
    for (const AircraftRecord* r : run.allRecords()) {
        out << fmt::format("aircraft {:06X}\n", r->hexid);
        for (const ReportedPosition& p : r->reports) out << fmt::format("report due {:.3f}\n", p.dueTick);
        for (const MotionSample& m : r->samples) {
            const AiPose& p = m.pose;
            out << fmt::format("tick {} {:.9f} {:.9f} {:.3f} hdg {:.6f} pitch {:.6f} bank {:.6f} tas {:.3f}\n", m.tick,
                               p.latitude, p.longitude, p.altitude, p.heading, p.pitch, p.bank, p.trueAirspeed);
        }
        for (const ReceivedPose& p : r->received)
            out << fmt::format("received {} {:.9f} {:.9f} {:.3f}\n", p.timeNs, p.pose.latitude, p.pose.longitude,
                               p.pose.altitude);
    }
    // What Log.txt tells from the link's start on (the choices of liveries
    // and stands among them), the run's folder named alike.
    const std::string log = run.log();
    const std::string folderText = run.folder().string();
    std::vector<std::string> lines;
    std::size_t at = log.find("RealTraffic connected");
    for (std::size_t end; at != std::string::npos && at < log.size(); at = end + 1) {
        end = log.find('\n', at);
        if (end == std::string::npos) end = log.size();
        std::string line = log.substr(at, end - at);
        // The two readers start and stop side by side: which logs first is
        // theirs to race for; and how many of them see the application gone
        // before the program's close stops them is the close's race.
        if (line.ends_with("Reader connected") || line.ends_with("Reader disconnected") ||
            line.ends_with("RealTraffic App gone"))
            continue;
        for (std::size_t f; (f = line.find(folderText)) != std::string::npos;) line.replace(f, folderText.size(), "<run>");
        lines.push_back(std::move(line));
    }
    // Lines that threads log in the same second of the fake clock (the start
    // path asking for parked traffic as the reader hands over the buffer)
    // come in the order the threads race to: within a second they are
    // compared in sorted order.
    const auto secondOf = [](const std::string& line) { return line.substr(0, line.find(' ')); };
    for (auto first = lines.begin(); first != lines.end();) {
        const auto last = std::find_if(first, lines.end(),
                                       [&](const std::string& l) { return secondOf(l) != secondOf(*first); });
        std::sort(first, last);
        first = last;
    }
    for (const std::string& line : lines) out << "log " << line << "\n";
    out << fmt::format("exit code {}, lock-step waits given up {}\n", exitCode, run.figures().lockStepTimeouts);
}

std::vector<std::string> lf_lines(const fs::path& file) {
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// A whole-program run ends the process's program for good (a closed main
// window is never undone): each run is a process of its own, this test
// program started again for this one case.
TEST(WorldDeterminism, OneRecordedRun) {
    const char* file = std::getenv("TAVO_DETERMINISM_RECORD");
    if (file == nullptr || *file == '\0') GTEST_SKIP() << "TAVO_DETERMINISM_RECORD is not set";
    const char* slowText = std::getenv("TAVO_DETERMINISM_SLOW");
    const bool slow = slowText != nullptr && std::string(slowText) == "1";
    lf_recordTo(file, slow ? "e2e_determinism_slow" : "e2e_determinism_plain", slow);
}

TEST(WorldDeterminism, ASlowSimulatorAndWindowRecordTheSameTracks) {
    const fs::path plain = lf_besideTheProgram("e2e_determinism_plain.txt");
    const fs::path slowFile = lf_besideTheProgram("e2e_determinism_slow.txt");
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    ASSERT_FALSE(ec);
    const auto command = [&](const fs::path& file, bool slow) {
        fs::remove(file, ec);
        return fmt::format("TAVO_DETERMINISM_RECORD='{}' TAVO_DETERMINISM_SLOW={} '{}' "
                           "--gtest_filter=WorldDeterminism.OneRecordedRun >/dev/null 2>&1",
                           file.string(), slow ? 1 : 0, self.string());
    };
    // Side by side: each run meets the other's load as well.
    int plainStatus = -1;
    std::thread plainRun([&] { plainStatus = std::system(command(plain, false).c_str()); });
    const int slowStatus = std::system(command(slowFile, true).c_str());
    plainRun.join();
    ASSERT_EQ(plainStatus, 0);
    ASSERT_EQ(slowStatus, 0);

    const std::vector<std::string> x = lf_lines(plain);
    const std::vector<std::string> y = lf_lines(slowFile);
    ASSERT_FALSE(x.empty());
    EXPECT_EQ(x.back(), "exit code 0, lock-step waits given up 0");
    const auto count = [&](std::string_view head) {
        return std::count_if(x.begin(), x.end(), [&](const std::string& l) { return l.rfind(head, 0) == 0; });
    };
    EXPECT_GT(count("tick "), 1000);
    EXPECT_GT(count("log "), 20);
    std::string aircraft;
    for (std::size_t i = 0; i < x.size() || i < y.size(); ++i) {
        if (i < x.size() && x[i].rfind("aircraft ", 0) == 0) aircraft = x[i];
        if (i < x.size() && i < y.size() && x[i] == y[i]) continue;
        ADD_FAILURE() << fmt::format("the runs part at line {} ({}):\n  plain: {}\n  slow:  {}", i + 1, aircraft,
                                     i < x.size() ? x[i] : "(end)", i < y.size() ? y[i] : "(end)");
        break;
    }
}

}  // namespace
}  // namespace tavo::test
