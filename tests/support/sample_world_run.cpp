#include "support/sample_world_run.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <thread>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "airports/parked_planner.h"
#include "app/control_states.h"
#include "app/program.h"
#include "engine/engine_state.h"
#include "engine/mailbox.h"
#include "feed/feed_state.h"
#include "feed/rtapp/qnh_reader.h"
#include "feed/rtapp/rtapp_link.h"
#include "feed/rtapp/rtapp_server.h"
#include "feed/rtapp/traffic_reader.h"
#include "feed/rtapp/udp_reader.h"
#include "feed/rtdirect/transport.h"
#include "foundation/log.h"
#include "foundation/random.h"
#include "foundation/time.h"
#include "motion/stream_checks.h"
#include "platform/simconnect/sim_model.h"
#include "platform/window/headless.h"
#include "services/shell.h"
#include "services/stop.h"
#include "settings/parameters.h"
#include "settings/parameters_file.h"
#include "simlink/sim_client_seams.h"
#include "simlink/sim_link.h"
#include "support/rtapp_peer.h"
#include "support/source_paths.h"
#include "tools/sample_feed/sample_lines.h"

namespace tavo::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

namespace {

constexpr std::int64_t kTickNs = 10'000'000;
constexpr std::int64_t kSecondNs = 1'000'000'000;
constexpr int kWeatherEveryS = 10;
// The sample application's answer to the version request: its standard
// edition, which has no history to shift the traffic by.
constexpr const char* kSampleVersionReply = R"({"level":1,"version":"TAVO sample 1.0"})";
// How long the run waits in real time for what another thread must do before
// the fake clock goes on (a connection, a datagram read, a dispatch). Each
// wait ends as soon as the thread is done; a run that gives up may differ
// from the next (counted in the figures and told on stderr), so the limit
// leaves a sanitizer build on a busy two-core machine room for a thread that
// gets no core for seconds: only a stuck program takes so long.
constexpr auto kLockStepWait = 20s;
// The name the SimClient thread opens its simulator connection under.
constexpr std::string_view kSimClientConnection = "TAVO";
// The wall clock's second that fake time 0 stands for: a fixed Wednesday
// 11:00 UTC, not the real date, so that what the program plans by the week's
// time slot (the parked traffic) is the same on every run.
constexpr std::int64_t kWallBaseS = 1772622000;
// The seed of the program's main-thread random draws (liveries, stands of
// the parked traffic, rotation pitch): seeded from the machine, two runs of
// one world would draw differently.
constexpr std::uint32_t kRandomSeed = 1965;

// The one fake clock of a run: nanoseconds from a steady base, and the wall
// clock's second that time 0 stands for. Function-pointer seams read it.
std::atomic<std::int64_t> l_nowNs{0};

std::atomic<std::int64_t> l_wallBaseS{0};

// Lock-step waits of the run that ended by their time limit.
std::atomic<int> l_lockStepTimeouts{0};

// A lock-step wait gave up: counted, and said where a failing test's output
// shows it (the run may not repeat).
void lf_gaveUp(const char* what) {
    ++l_lockStepTimeouts;
    std::fprintf(stderr, "world run: gave up waiting for %s at fake second %.2f\n", what,
                 static_cast<double>(l_nowNs.load()) / 1e9);
}

std::int64_t lf_fakeNs() { return l_nowNs.load(); }
Steady::time_point lf_fakeSteady() { return Steady::time_point(std::chrono::nanoseconds(lf_fakeNs())); }
std::int64_t lf_fakeSeconds() { return l_wallBaseS.load() + lf_fakeNs() / kSecondNs; }
std::int64_t lf_fake100ns() { return l_wallBaseS.load() * 10'000'000 + lf_fakeNs() / 100; }

bool lf_eventually(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = Steady::now() + limit;
    while (!done()) {
        if (Steady::now() > end) {
            lf_gaveUp("another thread of the program");
            return false;
        }
        std::this_thread::sleep_for(100us);
    }
    return true;
}

void lf_setEnv(const char* name, const std::string& value) {
    if (::setenv(name, value.c_str(), 1) != 0) throw std::runtime_error(fmt::format("cannot set {}", name));
}

}  // namespace

// A crowd's second or a buffer of minutes sent at once overran the traffic
// reader's receive queue on a sanitizer build on a busy machine: the kernel
// dropped the excess, the buffer's end tag among it, and what the run fed
// depended on the machine's load. A chunk stays well inside the default
// queue.
constexpr std::size_t kLinesPerChunk = 64;

bool gf_sendPacedToReader(RTAppPeer& peer, std::uint16_t port, const std::vector<std::string>& lines,
                          const UdpReader& reader) {
    for (std::size_t first = 0; first < lines.size(); first += kLinesPerChunk) {
        const std::size_t end = std::min(lines.size(), first + kLinesPerChunk);
        const std::uint32_t before = reader.datagramCount();
        for (std::size_t i = first; i < end; ++i)
            if (!peer.sendDatagram(port, lines[i])) return false;
        // A reset of the reader zeroes its count: the difference then wraps
        // and the wait ends.
        const auto sent = static_cast<std::uint32_t>(end - first);
        lf_eventually([&] { return reader.datagramCount() - before >= sent || !keepRunning(); }, kLockStepWait);
    }
    return true;
}

struct SampleWorldRun::Impl {
    fs::path previousFolder;
    std::shared_ptr<HeadlessBackend> backend;
    std::unique_ptr<RTAppPeer> peer;
    std::thread peerThread;
    std::atomic<bool> peerConnected{false};
    std::atomic<bool> stopPeer{false};
    std::uint16_t port = 0;
    std::size_t linesHandled = 0;
    std::atomic<std::uint64_t> batchesPosted{0};
    bool bufferRequestAwaited = false;
    bool weatherReaderAwaited = false;
    bool randomSeeded = false;
    // The traffic reader tells the main thread at once that it handed a
    // batch over: a polling wait would leave the core idle between polls.
    std::mutex postedMutex;
    std::condition_variable posted;

    // Waits until the traffic reader handed a batch over after `before`
    // were, or the program stops (checked now and then: stopping does not
    // notify).
    void waitPosted(std::uint64_t before) {
        const auto end = Steady::now() + kLockStepWait;
        std::unique_lock lock(postedMutex);
        while (batchesPosted.load() <= before && keepRunning() && Steady::now() < end)
            posted.wait_for(lock, 10ms, [&] { return batchesPosted.load() > before; });
        if (batchesPosted.load() <= before && keepRunning()) lf_gaveUp("the traffic reader's batch");
    }

    // The fake time the feed started (its simulated second 0 is feedStartS).
    std::optional<std::int64_t> feedStartNs;
    double epoch = 0.0;
    std::int64_t nextFeedSecond = 0;
    std::int64_t nextFrameNs = 0;
    std::int64_t nextSecondNs = 0;
    std::int32_t lastTick = -1;
    std::int64_t clockStartNs = 0;
    // Every change of clockStartNs with the fake time it came at: the engine
    // skips ticks it fell behind by, so the engine tick of a fake time is
    // read with the clock start in force then.
    std::vector<std::pair<std::int64_t, std::int64_t>> clockStarts;
    bool closeSent = false;
    Steady::time_point leftSleep{};
    Steady::time_point runStarted{};
    bool inMainLoop = false;
    std::optional<RTAppHandshakeTiming> savedHandshake;
    // Answers the application owes: when (fake clock) and what.
    struct Owed {
        std::int64_t dueNs = 0;
        bool buffer = false;
        sample::ParkedBox box;
    };
    std::vector<Owed> owed;
    // The application's link is down (it answers nothing), and whether it
    // dropped already.
    bool linkDown = false;
    std::atomic<bool> linkDropped{false};
    // The restarted run was handed its first reports.
    std::atomic<bool> restartedRunHanded{false};
};

SampleWorldRun::SampleWorldRun(SampleWorldOptions options)
    : options_(std::move(options)), impl_(std::make_unique<Impl>()) {
    if (options_.folder.empty()) throw std::runtime_error("the sample world run needs a folder");
    std::error_code ec;
    fs::remove_all(options_.folder, ec);
    fs::create_directories(options_.folder);
    options_.folder = fs::canonical(options_.folder);
    for (const fs::directory_entry& entry : fs::directory_iterator(installDir())) {
        if (entry.path().filename() == "tavo") continue;  // the program itself runs in this process
        fs::copy(entry.path(), options_.folder / entry.path().filename(), fs::copy_options::recursive);
    }
    source_ = options_.traffic ? options_.traffic
                               : std::make_shared<SampleTrafficSource>(sample::gf_loadSampleTraffic(scenario()),
                                                                       options_.trafficCopies);

    // The settings as the run command seeds them, on a free TCP port. The
    // program looks its data folder up once per process: a process that
    // looked it up before (another test's temporary folder) keeps that one,
    // and the sample settings go there, replacing what an earlier run left.
    const fs::path local = options_.folder / "profile" / "local";
    lf_setEnv("TAVO_APPDATA_DIR", (options_.folder / "profile" / "roaming").string());
    lf_setEnv("TAVO_LOCALAPPDATA_DIR", local.string());
    const fs::path roaming = programDataFolder().parent_path();
    const fs::path parameters = parametersFilePath();
    if (roaming != options_.folder / "profile" / "roaming") {
        // Another test's temporary folder, or an earlier run's own profile
        // (runs one after the other in one process).
        const std::string name = roaming.filename().string();
        const bool earlierRun = name == "roaming" && roaming.parent_path().filename() == "profile";
        if (name.rfind("tavo-appdata-", 0) != 0 && !earlierRun)
            throw std::runtime_error("this process uses the settings folder " + roaming.string() +
                                     ", which is no test's: the sample world does not replace its settings");
        fs::remove(parameters, ec);
    }
    const std::string seed = fmt::format("'{}' '{}' '{}' '{}' >/dev/null", (sourceDir() / "scripts" / "sample-profile").string(),
                                         roaming.string(), local.string(), options_.folder.string());
    if (std::system(seed.c_str()) != 0) throw std::runtime_error("scripts/sample-profile failed");
    impl_->port = freeTcpPort();
    pugi::xml_document document;
    if (!document.load_file(parameters.c_str())) throw std::runtime_error("the sample settings cannot be read");
    auto added = options_.parameters;
    added.emplace_back("PORT_NUMBER", std::to_string(impl_->port));
    for (const auto& [name, value] : added) {
        pugi::xml_node node = gf_findParametersNode(document).append_child("parameter");
        node.append_attribute("name") = name.c_str();
        node.append_attribute("value") = value.c_str();
    }
    if (!document.save_file(parameters.c_str())) throw std::runtime_error("the sample settings cannot be written");
    ::unsetenv("TAVO_SIM_SCENARIO");
    ::unsetenv("TAVO_RT_API_URL");
    ::unsetenv("TAVO_DOWNLOAD_URL");
}

SampleWorldRun::~SampleWorldRun() {
    impl_->stopPeer.store(true);
    if (impl_->peerThread.joinable()) impl_->peerThread.join();
    impl_->peer.reset();
    recorder_.reset();
    gf_simModelReset();
    gf_setSimClientPollPause(nullptr);
    gf_setShellWaitClock({});
    gf_setPoseClock(nullptr);
    gf_setMailboxClock({});
    gf_setFeedSteadyClock(nullptr);
    gf_setSecondsClock(nullptr);
    gf_setSystemClock100ns(nullptr);
    gf_setPlannerClock({});
    gf_setStandClock(nullptr);
    gf_setRTAppUdpPorts({});
    if (impl_->savedHandshake) gf_setRTAppHandshakeTiming(*impl_->savedHandshake);
    g_trafficReader.setBatchPoster({});
    gf_installWindowBackend(nullptr);
    if (!impl_->previousFolder.empty()) {
        std::error_code ec;
        fs::current_path(impl_->previousFolder, ec);
    }
}

fs::path SampleWorldRun::scenario() const { return options_.folder / "scenarios" / "sample.xml"; }

const sample::SampleTraffic& SampleWorldRun::traffic() const {
    const auto* sampleSource = dynamic_cast<const SampleTrafficSource*>(source_.get());
    if (sampleSource == nullptr) throw std::logic_error("this run feeds no sample traffic");
    return sampleSource->traffic();
}

double gf_engineTickAt(std::int64_t fakeNs, const std::vector<std::pair<std::int64_t, std::int64_t>>& starts,
                       std::int64_t clockStartNs) {
    if (starts.empty()) return static_cast<double>(fakeNs - clockStartNs) / kTickNs;
    const auto after = std::upper_bound(starts.begin(), starts.end(), fakeNs,
                                        [](std::int64_t t, const auto& e) { return t < e.first; });
    const std::int64_t start = after == starts.begin() ? starts.front().second : std::prev(after)->second;
    double tick = static_cast<double>(fakeNs - start) / kTickNs;
    // Where the clock's start moved later the engine stood still (it did not
    // tick while the program restarted its run): it stands at the tick it
    // went on from until then.
    if (after != starts.end()) tick = std::min(tick, static_cast<double>(after->first - after->second) / kTickNs);
    return tick;
}

double SampleWorldRun::tickAt(std::int64_t fakeNs) const {
    return gf_engineTickAt(fakeNs, impl_->clockStarts, impl_->clockStartNs);
}

double SampleWorldRun::feedStartTick() const {
    return impl_->feedStartNs ? tickAt(*impl_->feedStartNs) : 0.0;
}

double SampleWorldRun::startWaitsEndTick() const {
    const Impl& m = *impl_;
    if (!m.feedStartNs) return 0.0;
    // The start path waits at most 30 s for the buffer, then 10 s for the
    // parked traffic.
    const RequestAnswer buffer = source_->bufferAnswer();
    const RequestAnswer parked = source_->parkedAnswer();
    const auto wait = [](const RequestAnswer& a, double most) {
        return a.answer == sample::AppAnswer::AtOnce ? 0.0
               : a.answer == sample::AppAnswer::Late ? std::min(a.delayS, most)
                                                     : most;
    };
    const double waitS = wait(buffer, 30.0) + wait(parked, 10.0);
    return tickAt(*m.feedStartNs) + waitS * 100.0;
}

namespace {

std::string lf_readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

std::string SampleWorldRun::log() const { return olderLogs_ + lf_readFile(options_.folder / "Log.txt"); }

// Notes how long the run's log is by now. A restart of the program's run
// keeps the Log.txt before as Log0.txt and starts a new one: the older text
// is kept, and the length counts from the run's first line.
void SampleWorldRun::lf_markLog() {
    gf_flushLog();
    std::error_code ec;
    const auto older = fs::file_size(options_.folder / "Log0.txt", ec);
    if (!ec && older != olderLogSize_) {
        olderLogSize_ = older;
        olderLogs_ += lf_readFile(options_.folder / "Log0.txt");
    }
    const auto bytes = fs::file_size(options_.folder / "Log.txt", ec);
    if (!ec)
        logMarks_.push_back(
            {static_cast<double>(tickCount.load()), olderLogs_.size() + static_cast<std::size_t>(bytes)});
}

double SampleWorldRun::feedSecond() const {
    if (!impl_->feedStartNs) return options_.feedStartS;
    return options_.feedStartS + static_cast<double>(lf_fakeNs() - *impl_->feedStartNs) / kSecondNs;
}

std::vector<const AircraftRecord*> SampleWorldRun::records() {
    if (!recorder_) return {};
    return recorder_->records(impl_->clockStartNs);
}

std::vector<const AircraftRecord*> SampleWorldRun::allRecords() {
    if (!recorder_) return {};
    return recorder_->allRecords(impl_->clockStartNs);
}

int SampleWorldRun::run() {
    Impl& m = *impl_;
    const auto wallStart = Steady::now();
    m.runStarted = wallStart;
    // The fake clock starts at a steady time far from 0 and at an ordinary
    // wall-clock time, so that the program's first readings look ordinary.
    l_nowNs.store(std::int64_t{1000} * 3600 * kSecondNs);
    l_wallBaseS.store(kWallBaseS - l_nowNs.load() / kSecondNs);
    l_lockStepTimeouts.store(0);
    m.nextFrameNs = lf_fakeNs() + options_.ticksPerFrame * kTickNs;
    m.nextSecondNs = lf_fakeNs() + kSecondNs;

    gf_setShellWaitClock({[] { return lf_fakeSteady(); },
                          [this](Steady::time_point until) { lf_sleepUntil(until.time_since_epoch().count()); }});
    gf_setPoseClock(&lf_fakeNs);
    gf_setMailboxClock(&lf_fakeNs);
    gf_setFeedSteadyClock(&lf_fakeSteady);
    gf_setSecondsClock(&lf_fakeSeconds);
    gf_setSystemClock100ns(&lf_fake100ns);
    // The parked-traffic plan pays the engine clock the time it took, and a
    // parked aircraft's lights go off after a while: both on the fake clock,
    // or a slow machine would move the engine's ticks against the traffic.
    gf_setPlannerClock(&lf_fakeNs);
    gf_setStandClock(&lf_fakeNs);
    // The readers take free ports: runs side by side never meet.
    gf_setRTAppUdpPorts({0, 0});
    // The pause after the version answer lets a real application's first
    // sends arrive before the link is drained. It passes in real time while
    // the fake clock stands still, and the sample application sends nothing
    // more: two seconds of it would only add to the run's start.
    m.savedHandshake = gf_rtAppHandshakeTiming();
    gf_setRTAppHandshakeTiming({m.savedHandshake->replyTimeout, 10ms});
    g_trafficReader.setBatchPoster([this](std::vector<TrafficRecord>& batch, std::uint32_t delaySeconds) {
        // What the feed hands over, as reported, for the checks that compare
        // the motion with the reports.
        if (recorder_) {
            // Nothing is sent while the link is down: whatever comes after
            // the drop is the restarted run's.
            const int run = impl_->linkDropped ? 1 : 0;
            if (run == 1 && !impl_->restartedRunHanded.exchange(true)) recorder_->runBegan(run, tickCount.load());
            for (const TrafficRecord& r : batch) recorder_->report(r, std::nullopt, run);
        }
        gf_postTrafficBatch(batch, delaySeconds, true);
        {
            std::lock_guard lock(impl_->postedMutex);
            ++impl_->batchesPosted;
        }
        impl_->posted.notify_all();
    });

    gf_simModelReset();
    gf_simModelLoadScenario(scenario().string());
    // The fake clock drives the frames and seconds, not the model's ticker.
    gf_simModelStopTicker();
    gf_simModelSetClock(&lf_fakeNs);
    if (options_.modelReady) options_.modelReady();
    // The SimClient thread polls the model when it has something to deliver,
    // not a real millisecond after its last poll: the frames and seconds of
    // the fake clock come much faster than that.
    gf_setSimClientPollPause([](std::chrono::milliseconds most) { gf_simModelWaitQueued(most); });
    if (options_.recordMotion) {
        recorder_ = std::make_unique<MotionRecorder>();
        // A report's due tick: the engine tick when the feed's 30 s delay
        // has passed since its time on the fake clock. Read on the clock in
        // force at its own time instead, a report made before a pause of the
        // engine (a restart of the program's run) would fall due the pause
        // later than it can play.
        recorder_->dueTickOf([this](double time) {
            const auto ns = static_cast<std::int64_t>(std::llround((time - static_cast<double>(l_wallBaseS.load())) * 1e9));
            return tickAt(ns + 30 * kSecondNs);
        });
        recorder_->tickOf([this](std::int64_t ns) { return tickAt(ns); });
        // The reports the traffic made bad, as its maker lists them.
        if (source_->listsMadeBad())
            recorder_->madeBad([this](std::uint32_t hexid, double time) {
                return source_->madeBad(hexid, time - impl_->epoch);
            });
    } else {
        // Nobody reads the journals: a short one per object keeps a long run
        // from walking through megabytes of old poses.
        gf_simModelSetJournalLimit(16);
    }

    if (options_.window) {
        gf_installWindowBackend(options_.window);
    } else {
        m.backend = std::make_shared<HeadlessBackend>();
        // A long run keeps no painting records.
        m.backend->setRecording(false);
        gf_installWindowBackend(m.backend);
    }
    gf_initCurlGlobal();

    // The sample application connects once TAVO listens, as the real one does.
    lf_connectPeer();

    m.previousFolder = fs::current_path();
    fs::current_path(options_.folder);
    ProgramSetup setup;
    setup.lockFolder = options_.folder;
    figures_.exitCode = gf_programMain({"tavo"}, setup);
    fs::current_path(m.previousFolder);
    m.previousFolder.clear();

    figures_.wallS = std::chrono::duration<double>(Steady::now() - wallStart).count();
    figures_.simulatedS = feedSecond() - options_.feedStartS;
    figures_.batchesFed = m.batchesPosted.load();
    figures_.lockStepTimeouts = l_lockStepTimeouts.load();
    return figures_.exitCode;
}

// A new application connects, once TAVO listens, as the real one does (the
// one before, if any, is gone). Again after a drop, it waits until the
// program waits for it: the program listens anew when it restarts, and a
// connection to the listening socket before would be lost with it.
void SampleWorldRun::lf_connectPeer(bool again) {
    Impl& m = *impl_;
    if (m.peerThread.joinable()) m.peerThread.join();
    RTAppPeerOptions peerOptions;
    peerOptions.reply = VersionReply::Custom;
    peerOptions.customReply = kSampleVersionReply;
    m.peer = std::make_unique<RTAppPeer>(peerOptions);
    m.linesHandled = 0;
    m.peerThread = std::thread([this, again] {
        while (!impl_->stopPeer.load()) {
            if (again && !g_waitingForRTApp.load()) {
                std::this_thread::sleep_for(1ms);
                continue;
            }
            if (impl_->peer->connect(impl_->port, 500ms)) {
                impl_->peerConnected.store(true);
                return;
            }
        }
    });
}

// The application's TCP link drops at the drop's first second: the program
// sees it gone and restarts its run, and the application connects again at
// once, but sends nothing and answers no request until the drop's last
// second, as an application that was away that long.
void SampleWorldRun::lf_dropLink(std::int64_t second) {
    Impl& m = *impl_;
    const std::optional<sample::LinkDrop> drop = source_->linkDrop();
    if (!drop) return;
    if (!m.linkDown && !m.linkDropped && static_cast<double>(second) >= drop->fromS) {
        m.linkDown = true;
        m.linkDropped = true;
        m.owed.clear();
        m.peer->close();
        m.peerConnected.store(false);
        lf_connectPeer(true);
    }
    if (m.linkDown && static_cast<double>(second) >= drop->toS) m.linkDown = false;
}

// The main thread sleeps until the time: the world catches up step by step.
void SampleWorldRun::lf_sleepUntil(std::int64_t untilNs) {
    Impl& m = *impl_;
    const auto entered = Steady::now();
    if (!m.randomSeeded) {
        // The program's main thread sleeps here before it draws anything.
        m.randomSeeded = true;
        threadRandomEngine().engine.seed(kRandomSeed);
    }
    const std::int32_t tick = tickCount.load();
    if (tick != m.lastTick && m.lastTick >= 0) {
        // An engine tick ran since the last sleep: the main loop's.
        if (timeTicks_ && m.inMainLoop)
            figures_.tickNs.push_back(static_cast<double>(std::chrono::nanoseconds(entered - m.leftSleep).count()));
        m.inMainLoop = true;
        figures_.ticks = tick;
        m.clockStartNs = lf_fakeNs() - std::int64_t{tick - 1} * kTickNs;
        if (m.clockStarts.empty() || m.clockStarts.back().second != m.clockStartNs)
            m.clockStarts.emplace_back(lf_fakeNs(), m.clockStartNs);
        if (recorder_) recorder_->recordTick();
        if (onTick_) onTick_();
    }
    m.lastTick = tick;

    while (lf_fakeNs() < untilNs) {
        lf_settleThreads();
        const std::int64_t next = std::min({untilNs, m.nextFrameNs, m.nextSecondNs});
        l_nowNs.store(next);
        if (next == m.nextFrameNs) {
            m.nextFrameNs += options_.ticksPerFrame * kTickNs;
            gf_simModelFrames(1);
            if (options_.lockStepFrames) lf_waitSimClient();
            ++figures_.frames;
            if (onFrame_) onFrame_();
        }
        if (next == m.nextSecondNs) {
            m.nextSecondNs += kSecondNs;
            if (recorder_) lf_markLog();
            gf_simModelSeconds(1);
            lf_waitSimClient();
            lf_step();
        }
    }
    lf_settleThreads();
    lf_answerRequests();
    // The sample application connects in real time once TAVO waits for it:
    // that wait waits for the connection, so that the program does not spend
    // its fake minutes alone.
    if (!m.peerConnected.load() && g_waitingForRTApp.load() && keepRunning())
        lf_eventually([&] { return m.peerConnected.load() || !keepRunning(); }, kLockStepWait);
    if (!m.closeSent && m.feedStartNs && feedSecond() - options_.feedStartS >= options_.durationS) {
        // The user closes the window.
        m.closeSent = true;
        gf_postMessage(g_mainWindow.load(), WM_CLOSE);
        // The window's thread takes the close in real time: the clock waits
        // for the stop it makes, so that the engine's last tick and the last
        // batch handed over are the same on every run.
        lf_eventually([] { return !keepRunning(); }, kLockStepWait);
    }
    m.leftSleep = Steady::now();
}

// Until the SimClient thread has dispatched everything the model queued for
// it (once the thread runs: from its connection on, so that the simulator's
// first answers come at the same fake time on a slow and a fast machine).
void SampleWorldRun::lf_waitSimClient() {
    // A closing program's SimClient thread lets its connection go. (The
    // slot is started and joined by this, the main, thread.)
    const bool connects = keepRunning() && g_simClientThread.joinable();
    if (!gf_simModelWaitDrained(kLockStepWait, connects ? kSimClientConnection : std::string_view{}) &&
        keepRunning())
        lf_gaveUp("the SimClient thread's dispatch");
}

// The program's other threads done with what the present fake time gave
// them, before the clock goes on: each acts in real time, and a clock that
// moved on meanwhile would hand the same work to another tick on another
// run. The SimClient thread has connected and dispatched what was queued;
// the readers, once started, are bound and the traffic reader has asked for
// the buffer; and the application has read every line the program sent.
void SampleWorldRun::lf_settleThreads() {
    Impl& m = *impl_;
    if (!keepRunning()) return;
    if (options_.lockStepFrames) lf_waitSimClient();
    // The reader threads are started and joined by this (the main) thread;
    // each is waited for once (a reader that failed would be waited for at
    // every step).
    if (g_trafficReaderThread.joinable() && !m.bufferRequestAwaited && m.peerConnected.load()) {
        m.bufferRequestAwaited = true;
        if (!m.peer->waitForLine("Qs999=sendbuffer", kLockStepWait) && keepRunning()) lf_gaveUp("the buffer request");
    }
    if (g_weatherReaderThread.joinable() && !m.weatherReaderAwaited) {
        m.weatherReaderAwaited = true;
        lf_eventually([] { return g_qnhReader.boundPort() != 0 || !keepRunning(); }, kLockStepWait);
    }
    if (m.peerConnected.load() && !m.peer->waitCaughtUp(kLockStepWait) && keepRunning())
        lf_gaveUp("the application's reading of the program's lines");
}

// One simulated second of the sample application: weather every ten
// seconds, the live batch of the second, and the wait until the traffic
// reader handed it to the engine.
void SampleWorldRun::lf_step() {
    Impl& m = *impl_;
    // The user closed the window: what the application sends now would
    // reach a program that is shutting down, on no tick in particular.
    if (m.closeSent || !lf_feedStarted()) return;
    const auto second = static_cast<std::int64_t>(std::floor(feedSecond() + 1e-9));
    for (; m.nextFeedSecond <= second; ++m.nextFeedSecond) {
        const std::int64_t s = m.nextFeedSecond;
        lf_dropLink(s);
        if (m.linkDown) continue;
        if (const std::uint16_t weather = g_qnhReader.boundPort(); weather != 0 && s % kWeatherEveryS == 0) {
            // Its QNH is read before the clock goes on, not at some later tick.
            const std::uint32_t before = g_qnhReader.datagramCount();
            if (m.peer->sendDatagram(weather, source_->weather(m.epoch + static_cast<double>(s))))
                lf_eventually([&] { return g_qnhReader.datagramCount() != before || !keepRunning(); }, kLockStepWait);
        }
        const std::uint16_t port = g_trafficReader.boundPort();
        if (port == 0) continue;  // nobody listens yet: the datagrams are lost, as with the real application
        const std::vector<std::string> lines = source_->liveLines(s, m.epoch);
        if (lines.empty()) continue;
        const std::uint64_t before = m.batchesPosted.load();
        gf_sendPacedToReader(*m.peer, port, lines, g_trafficReader);
        m.waitPosted(before);
    }
}

// The sample application's time starts when it answered the version request.
bool SampleWorldRun::lf_feedStarted() {
    Impl& m = *impl_;
    if (m.feedStartNs) return true;
    if (!m.peerConnected.load() || m.peer->versionRequests() == 0) return false;
    m.feedStartNs = lf_fakeNs();
    figures_.startS = std::chrono::duration<double>(Steady::now() - m.runStarted).count();
    m.epoch = static_cast<double>(lf_fakeSeconds()) - options_.feedStartS;
    m.nextFeedSecond = static_cast<std::int64_t>(std::ceil(options_.feedStartS));
    return true;
}

// Answers what the program asked the application for (the buffered traffic
// and the parked traffic of a box): at once, late or never, as the traffic
// source says.
void SampleWorldRun::lf_answerRequests() {
    Impl& m = *impl_;
    if (m.closeSent || m.linkDown || !lf_feedStarted()) return;
    const std::uint16_t port = g_trafficReader.boundPort();
    const auto second = [&] { return static_cast<std::int64_t>(std::floor(feedSecond())); };
    // The clock goes on only once the reader has taken the whole answer (its
    // end tag): the buffer's segments count as batches handed over, and a
    // live second waiting for its own batch would otherwise be let through
    // by one of them while its lines still queue behind the buffer's, so
    // that the fake clock ran ahead of the feed by as much as the start
    // path's whole wait.
    const auto answer = [&](const Impl::Owed& o) {
        if (port == 0) return;
        if (o.buffer) {
            if (gf_sendPacedToReader(*m.peer, port, source_->bufferLines(second(), m.epoch), g_trafficReader))
                lf_eventually([] { return g_trafficReader.bufferReceived.load() || !keepRunning(); }, kLockStepWait);
        } else {
            if (gf_sendPacedToReader(*m.peer, port, source_->parkedLines(second(), m.epoch, o.box), g_trafficReader))
                lf_eventually([] { return g_trafficReader.parkedReceived.load() || !keepRunning(); }, kLockStepWait);
        }
    };
    // Late answers that fell due.
    if (!m.owed.empty()) {
        std::vector<Impl::Owed> later;
        for (const Impl::Owed& o : m.owed) {
            if (o.dueNs <= lf_fakeNs()) answer(o);
            else later.push_back(o);
        }
        m.owed = std::move(later);
    }
    // Only the new lines are copied, and only when one came (the program
    // sends its user position five times a second). A zero-length timed wait
    // would still sleep in the kernel for the timer's slack, once a tick.
    if (m.peer->lineCount() <= m.linesHandled) return;
    const std::vector<std::string> lines = m.peer->linesFrom(m.linesHandled);
    m.linesHandled += lines.size();
    for (const std::string& line : lines) {
        Impl::Owed o;
        RequestAnswer how;
        if (line.rfind("Qs999=sendbuffer", 0) == 0) {
            o.buffer = true;
            how = source_->bufferAnswer();
        } else if (const auto box = sample::gf_parseParkedRequest(line)) {
            o.box = *box;
            how = source_->parkedAnswer();
        } else {
            continue;
        }
        if (how.answer == sample::AppAnswer::Never) continue;
        if (how.answer == sample::AppAnswer::AtOnce) {
            answer(o);
            continue;
        }
        o.dueNs = lf_fakeNs() + static_cast<std::int64_t>(std::llround(how.delayS * 1e9));
        m.owed.push_back(o);
    }
}

}  // namespace tavo::test
