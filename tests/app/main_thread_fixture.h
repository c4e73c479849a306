#pragma once
// Whole runs of the main thread in the test process. The test's own thread is
// the GUI thread: it pumps the headless main window, and reacts to what the
// window shows (closing it, pressing Unblock). The simulator model runs a
// scenario in real time and the real SimClient thread connects to it; the RT
// App link and its UDP readers run on loopback ports; the traffic engine is
// real; the planner, the park airports, the airports list, the liveries and
// the data files are recording fakes of the neighbour services (the planner's
// first plan marks the main loop's start); the shell's waits run on a clock
// that only the main thread's sleeps move. Each sleep of the main thread takes
// a little real time, and a sleep whose end nothing else could bring about
// waits (bounded) for what it waits for, so that the fake time a wait takes
// does not depend on the machine's speed.

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/blocking.h"
#include "app/closing_down.h"
#include "app/main_loop.h"
#include "app/main_thread.h"
#include "app/neighbour_services.h"
#include "app/start_paths.h"
#include "command_fixture.h"
#include "engine/engine_setup.h"
#include "engine/user_position.h"
#include "feed/hang_guard.h"
#include "foundation/log.h"
#include "feed/rtapp/qnh_reader.h"
#include "feed/rtapp/rtapp_link.h"
#include "feed/rtapp/traffic_reader.h"
#include "feed/rtapp/udp_reader.h"
#include "feed/rtdirect/readers.h"
#include "foundation/download.h"
#include "foundation/geodesy.h"
#include "foundation/winsock.h"
#include "liveries/failed_liveries.h"
#include "platform/simconnect/sim_model.h"
#include "settings/parameters_file_test_support.h"
#include "simlink/sim_link.h"
#include "support/http_server.h"
#include "support/rtapp_peer.h"
#include "support/scoped_env.h"

namespace tavo::test {

using namespace std::chrono_literals;

inline const AirportListEntry kFrankfurt{IcaoCode("EDDF"), IataCode("FRA"), LaLo{50.0333, 8.5706}, 364};

class MainThreadTest : public CommandTest {
protected:
    using Steady = std::chrono::steady_clock;

    void SetUp() override {
        CommandTest::SetUp();
        gf_simModelReset();
        gf_setFlightPlanBaseFolder(dir());
        gf_setRTAppUdpPorts({0, 0});
        gf_setRTAppUdpTiming({100ms, 150ms, 10ms});
        gf_setRTAppHandshakeTiming({5s, 10ms});
        env.set("TAVO_DOWNLOAD_URL", server.url("/downloads"));
        env.set("TAVO_LOCALAPPDATA_DIR", (dir() / "local").string());
        DownloadTimeouts quick;
        quick.connectSeconds = 2;
        quick.lowSpeedSeconds = 2;
        gf_setDefaultDownloadTimeouts(quick);
        std::filesystem::create_directories(dir() / "docs");
        std::filesystem::create_directories(dir() / "packages" / "Community");
        installClock();
        installServices();
        gf_forgetDataFilesLoaded();
        g_restartUnderWay.store(false);
        gf_setRTAPICooldownDeadline(std::nullopt);
        g_unblockPressed.store(false);
    }
    void TearDown() override {
        if (g_mainThread.joinable()) {
            requestStop(StopReason::UserClosedSim, 0);
            g_mainThread.join();
        }
        if (peerThread.joinable()) peerThread.join();
        peer.reset();
        gf_stopAndJoin(g_simClientThread);
        gf_stopRTAppReaders();
        gf_stopAndJoin(g_weatherReaderThread);
        gf_stopAndJoin(g_trafficReaderThread);
        gf_resetRTAppReaders();
        g_rtAppServer.closeAll();
        gf_resetSimClient();
        gf_simModelReset();
        gf_setNeighbourServices(std::nullopt);
        gf_setFlightPlanBaseFolder({});
        gf_setRTAppUdpPorts({});
        gf_setRTAppUdpTiming({});
        gf_setRTAppHandshakeTiming({});
        gf_setDefaultDownloadTimeouts(DownloadTimeouts{});
        gf_setRTAPICooldownDeadline(std::nullopt);
        gf_winsockGuard().reset();
        gf_clearCurrentAirport();
        gf_clearNoMatchList();
        gf_resetMainLoopState();
        g_restartUnderWay.store(false);
        g_unblockPressed.store(false);
        g_rtProfessional.store(false);
        server.stop();
        CommandTest::TearDown();
    }

    // --- the world ---------------------------------------------------------

    // parameters.xml as a run finds it: MSFS 2020, the RT App without a
    // server of its own, an install path, and what the test adds.
    void writeParameters(std::vector<std::pair<std::string, std::string>> extra = {}) {
        std::vector<std::pair<std::string, std::string>> entries{
            {"SIM_CHOICE", "MSFS 2020"},
            {"RT_CHOISE", "RT App"},
            {"PSX_SERVER_HERE", "false"},
            {"MSFS_INSTALL_PATH", (dir() / "packages").string()},
        };
        for (auto& entry : extra) {
            std::erase_if(entries, [&entry](const auto& e) { return e.first == entry.first; });
            entries.push_back(entry);
        }
        std::filesystem::create_directories(programDataFolder());
        std::ofstream(parametersFilePath()) << parametersXml(entries);
    }
    // The simulator runs: the user aircraft stands at Frankfurt.
    void startSimulator() {
        const auto path = dir() / "scenario.xml";
        std::ofstream(path) << R"(<scenario simulator="2020" frame_ms="10" second_ms="100" zulu="now"
            accept_any_title="true">
          <user title="Boeing 737-800 Sample" atc_model="ATCCOM.AC_MODEL B738.0.text" atc_id="TAVO1"
                lat="50.0333" lon="8.5706" heading_deg="270" on_ground="true" ground_speed_kt="0"/>
          <terrain height_ft="364"/>
        </scenario>)";
        gf_simModelLoadScenario(path.string());
    }
    // A RealTraffic application that connects once the RT App server listens
    // and answers the buffer request.
    void startPeer(std::uint16_t port) {
        peer = std::make_unique<RTAppPeer>();
        peerThread = std::thread([this, port] {
            if (!peer->connect(port, 20s)) return;
            if (peer->waitForLine("Qs999=sendbuffer", 20s))
                peer->sendLines(g_trafficReader.boundPort(), {"RTBUF_EOT"});
        });
    }

    // --- running -----------------------------------------------------------

    // Starts a run as the start-up does and pumps the window until the
    // program quits; `react` is asked after every pump. A run that does not
    // end in time is closed (and fails).
    int runProgram(const std::function<void()>& react = {}, std::chrono::seconds limit = 60s) {
        backend->postMessage(window, MSG_START, 0, 0);
        const auto end = Steady::now() + limit;
        bool closedForTime = false;
        while (!backend->quitCode()) {
            backend->waitAndPump(5ms);
            noteStatusLine();
            if (react) react();
            if (!closedForTime && Steady::now() > end) {
                ADD_FAILURE() << "the run did not end in time; closing the window";
                closedForTime = true;
                backend->send(window, WM_CLOSE);
            }
        }
        return *backend->quitCode();
    }
    // Once per run that reached the main loop (the planner's first plan).
    int loopsEntered() const { return loops.load(); }
    // The close button, once.
    void closeOnce() {
        if (!closed) backend->send(window, WM_CLOSE);
        closed = true;
    }

    // The distinct status lines the window showed, in order (GUI thread).
    std::vector<std::string> statusLines;
    // The countdown's lines seen so far; the countdown's second does not end
    // before its line reached the window.
    std::atomic<int> countdownLinesSeen{0};
    // Called on the GUI thread for each new countdown line, before the
    // countdown goes on.
    std::function<void(const std::string&)> onCountdownLine;

    void noteStatusLine() {
        const std::string& line = gf_gui().statusLine;
        if (line.empty() || (!statusLines.empty() && statusLines.back() == line)) return;
        statusLines.push_back(line);
        if (line.starts_with("Restarting after ")) {
            if (onCountdownLine) onCountdownLine(line);
            ++countdownLinesSeen;
        }
    }
    std::vector<std::string> countdownLines() const {
        std::vector<std::string> out;
        for (const auto& l : statusLines)
            if (l.starts_with("Restarting after ")) out.push_back(l);
        return out;
    }

    // --- the clock ---------------------------------------------------------

    std::atomic<std::int64_t> nowNs{std::chrono::nanoseconds(1000h).count()};
    std::mutex sleepsMutex;
    std::map<std::chrono::milliseconds, int> sleeps;  // sleeps by length
    std::function<void(std::chrono::milliseconds)> duringSleep;

    Steady::time_point fakeNow() const { return Steady::time_point(std::chrono::nanoseconds(nowNs.load())); }
    int sleepsOf(std::chrono::milliseconds d) {
        std::lock_guard lock(sleepsMutex);
        return sleeps[d];
    }

    void installClock() {
        gf_setShellWaitClock({[this] { return fakeNow(); }, [this](Steady::time_point until) {
                                  const auto d = std::chrono::duration_cast<std::chrono::milliseconds>(until - fakeNow());
                                  {
                                      std::lock_guard lock(sleepsMutex);
                                      ++sleeps[d];
                                  }
                                  // The test's hook sees the state the sleep began in.
                                  if (duringSleep) duringSleep(d);
                                  waitForProgress(d);

                                  if (until > fakeNow()) nowNs.store(until.time_since_epoch().count());
                                  std::this_thread::sleep_for(1ms);
                              }});
    }
    // The main thread waits for the simulator, its answers, the buffered
    // traffic and the countdown's line to reach the window: things that take
    // real time elsewhere.
    void waitForProgress(std::chrono::milliseconds d) {
        // The countdown runs while its stop request is pending: its wait for
        // the window comes before the waits a stop ends.
        if (d == 1000ms) {
            const int line = ++countdownSleeps;
            eventually([this, line] { return countdownLinesSeen.load() >= line || g_exiting.load(); }, 5000ms);
            return;
        }
        if (!keepRunning()) return;
        if (g_simClientThread.joinable()) {
            if (d == 100ms && g_simState.load() != SIM_RUNNING && gf_simModelIsRunning())
                eventually([] { return g_simState.load() == SIM_RUNNING || !keepRunning(); }, 5000ms);
            if (d == 500ms || d == 200ms)
                eventually(
                    [] {
                        const UserAircraftState user = gf_getUserAircraftState();
                        return (g_userOnGroundState.load() != -1 &&
                                !gf_isUnknownPosition(user.latitude, user.longitude)) ||
                               !keepRunning();
                    },
                    5000ms);
            if (d == 10ms && g_userInfoFlags.load() != 3 && g_simState.load() == SIM_RUNNING)
                eventually([] { return g_userInfoFlags.load() == 3 || !keepRunning(); }, 5000ms);
        }
        if (d == 50ms && peer && g_trafficReaderThread.joinable())
            eventually([] { return g_trafficReader.bufferReceived.load() || !keepRunning(); }, 5000ms);
    }
    std::atomic<int> countdownSleeps{0};

    // --- the neighbour services --------------------------------------------

    mutable std::mutex callsMutex;
    std::vector<std::string> calls;
    std::atomic<int> loops{0};
    std::atomic<int> dbaseReads{0};
    std::function<void()> onResetParkedTraffic;

    void note(const std::string& name) {
        std::lock_guard lock(callsMutex);
        calls.push_back(name);
    }
    std::size_t callCount(const std::string& name) const {
        std::lock_guard lock(callsMutex);
        return static_cast<std::size_t>(std::count(calls.begin(), calls.end(), name));
    }
    std::vector<std::string> callsOf(std::initializer_list<std::string> names) const {
        std::lock_guard lock(callsMutex);
        std::vector<std::string> out;
        for (const auto& c : calls)
            if (std::find(names.begin(), names.end(), c) != names.end()) out.push_back(c);
        return out;
    }

    void installServices() {
        NeighbourServices s = gf_realNeighbourServices();
        auto quiet = [this](std::string name) { return [this, name](auto&&...) { note(name); }; };
        // The real service, its call noted.
        auto recorded = [this](std::string name, void (*real)()) {
            return [this, name, real] {
                note(name);
                real();
            };
        };
        s.hasAirportFile = [](const IcaoCode&) { return true; };
        s.planParkedTraffic = [this] {
            note("plan");
            ++loops;
        };
        s.logNoMatchList = recorded("no-match list", &gf_logNoMatchList);
        s.clearNoMatchList = recorded("no-match cleared", &gf_clearNoMatchList);
        s.scanAirports = [] {};
        s.initTrafficEngine = recorded("engine set-up", &gf_initTrafficEngine);
        s.removeAllStaticAndLiveAtAirport = quiet("remove at airport");
        s.clearStaticsToPlace = quiet("statics dropped");
        s.resetParkedTraffic = [this] {
            note("parked traffic reset");
            if (onResetParkedTraffic) onResetParkedTraffic();
        };
        s.loadAirports = [this]() -> AirportsLoadResult {
            note("airports list");
            return std::size_t{1};
        };
        s.findAirport = [](const IcaoCode& code) -> std::optional<AirportListEntry> {
            if (code == kFrankfurt.icao) return kFrankfurt;
            return std::nullopt;
        };
        s.findNearestAirport = [](LaLo at) -> std::optional<AirportListEntry> {
            if (gf_distanceNm(at, kFrankfurt.position) <= 5.0) return kFrankfurt;
            return std::nullopt;
        };
        s.readMyParkAirportsFile = quiet("park airports read");
        s.writeMyParkAirportsFile = quiet("park airports written");
        s.readDbase = [this] {
            ++dbaseReads;
            return true;
        };
        s.scanLiveries = quiet("liveries scan");
        s.processScannedLiveries = quiet("livery tables");
        gf_setNeighbourServices(std::move(s));
    }

    std::string readText(const std::filesystem::path& path) {
        // The window thread logs the status lines it drains after the main
        // thread's last flush; the program's end flushes them, the test's
        // read must too.
        gf_flushLog();
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string storedValue(const std::string& key) {
        for (const auto& p : storedParameters(parametersFilePath()))
            if (p.name == key) return p.value;
        return "<none>";
    }
    // The positions of the lines in the text, in the order given; npos for a
    // line missing or out of order.
    static bool inOrder(const std::string& text, const std::vector<std::string>& lines) {
        std::size_t at = 0;
        for (const auto& line : lines) {
            at = text.find(line, at);
            if (at == std::string::npos) return false;
            at += line.size();
        }
        return true;
    }

    ScopedEnv env;
    LoopbackHttpServer server;
    std::unique_ptr<RTAppPeer> peer;
    std::thread peerThread;
    bool closed = false;
};

}  // namespace tavo::test
