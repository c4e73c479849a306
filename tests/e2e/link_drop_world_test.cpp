// The sample world, end to end, with the RealTraffic application's TCP link
// lost while the sample helicopter stands on its pad: TAVO restarts, removes
// every aircraft and creates each again from its reports once the
// application is back. Every aircraft shown before the drop and reported
// after it is created again within 10 s of the link coming back, or Log.txt
// says by then why it is not.
//
// The link is lost on TAVO's side of the connection (as a send finds it gone)
// and the application connects again as soon as TAVO waits for it: TAVO's
// wait for the application blocks in real time, while the world's clock only
// moves when the program sleeps. The link is down for as long as TAVO's
// restart takes on the world's clock (printed; about 9 s).

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "engine/engine_lists.h"
#include "feed/rtapp/rtapp_link.h"
#include "feed/rtapp/rtapp_server.h"
#include "feed/rtapp/traffic_reader.h"
#include "foundation/time.h"
#include "services/stop.h"
#include "settings/parameters.h"
#include "support/rtapp_peer.h"
#include "support/sample_world_run.h"
#include "tools/sample_feed/sample_lines.h"

namespace tavo::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr double kFeedStartS = 1200.0;
// The sample helicopter touches down in the feed's first minute and stands
// on its pad for three minutes: the link goes while it stands there.
constexpr double kDropAfterS = 120.0;
constexpr double kRunS = 240.0;
constexpr double kCreatedAgainWithinS = 10.0;
constexpr const char* kHelicopter = "N135LF";
constexpr const char* kSampleVersionReply = R"({"level":1,"version":"TAVO sample 1.0"})";

fs::path lf_besideTheProgram(const std::string& name) {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return (ec ? fs::current_path() : self.parent_path()) / name;
}

// The world's wall clock now, in seconds (the run's fake clock).
double lf_wallSeconds() { return static_cast<double>(gf_systemClock100ns()) / 1e7; }

struct Shown {
    std::string callsign;
    std::string registration;
    bool onGround = false;
    bool reportedAfter = false;
    double createdAgainS = -1.0;  // wall seconds
};

class LinkDropWorld : public ::testing::Test {
protected:
    void SetUp() override {
        SampleWorldOptions options;
        options.folder = lf_besideTheProgram("e2e_link_drop_world");
        options.feedStartS = kFeedStartS;
        options.durationS = kRunS;
        options.ticksPerFrame = 10;
        options.recordMotion = false;
        run = std::make_unique<SampleWorldRun>(options);
        run->onTick([this] { watchTick(); });
        run->onFrame([this] { answerRequests(); });
        comeBack = std::thread([this] { connectAgain(); });
    }
    void TearDown() override {
        stop.store(true);
        if (comeBack.joinable()) comeBack.join();
        run.reset();
    }

    // Main thread, after each engine tick: the link goes once, and who is
    // shown is followed.
    void watchTick() {
        if (!dropped.load()) {
            if (run->feedSecond() - kFeedStartS < kDropAfterS) return;
            for (const LiveAc& ac : g_liveAircraft)
                if (ac.simState == AcSimState::active)
                    shown[ac.hexid] = Shown{ac.callsign, ac.registration, ac.onGround != 0};
            // The sample application's second of second 0, as the run keeps it.
            epoch = std::floor(lf_wallSeconds() - (run->feedSecond() - kFeedStartS) + 1e-6) - kFeedStartS;
            port = static_cast<std::uint16_t>(std::stoi(PORT_NUMBER.value()));
            droppedS = lf_wallSeconds();
            g_rtAppServer.closeAll();
            dropped.store(true);
            return;
        }
        if (backS < 0.0) return;
        for (const LiveAc& ac : g_liveAircraft) {
            const auto it = shown.find(ac.hexid);
            if (it == shown.end()) continue;
            it->second.reportedAfter = true;
            if (ac.simState == AcSimState::active && it->second.createdAgainS < 0.0)
                it->second.createdAgainS = lf_wallSeconds();
        }
    }

    // Its own thread: the application connects again once TAVO waits for it
    // after the drop.
    void connectAgain() {
        while (!stop.load()) {
            if (dropped.load() && g_waitingForRTApp.load() && peer == nullptr) {
                RTAppPeerOptions o;
                o.reply = VersionReply::Custom;
                o.customReply = kSampleVersionReply;
                auto p = std::make_unique<RTAppPeer>(o);
                if (p->connect(port, 500ms)) {
                    std::atomic_store(&peerShared, std::shared_ptr<RTAppPeer>(std::move(p)));
                    return;
                }
            }
            std::this_thread::sleep_for(1ms);
        }
    }

    // Main thread, after each frame: the application answers what TAVO asks
    // of it after the drop (the buffered traffic, the parked traffic).
    void answerRequests() {
        if (!peer) peer = std::atomic_load(&peerShared);
        if (!peer) return;
        // As at the first start, the clock goes on once the traffic reader,
        // started after the link came back, has asked for the buffer: the
        // reader's thread does so at once, but in real time, which the
        // world's clock would leave seconds behind.
        if (backS >= 0.0 && !bufferAsked && g_trafficReaderThread.joinable()) {
            bufferAsked = true;
            peer->waitForLine("Qs999=sendbuffer", 20s);
        }
        if (peer->lineCount() <= linesHandled) return;
        const std::uint16_t readerPort = g_trafficReader.boundPort();
        const std::vector<std::string> lines = peer->linesFrom(linesHandled);
        const auto second = static_cast<std::int64_t>(std::floor(run->feedSecond()));
        // The clock goes on only once the reader has taken the whole answer:
        // a live batch the run sends meanwhile would carry the buffer's last
        // lines with it, and a newer one replace them.
        const auto answer = [&](const std::vector<std::string>& reply, const std::atomic<bool>& taken) {
            if (!gf_sendPacedToReader(*peer, readerPort, reply, g_trafficReader)) return;
            const auto until = std::chrono::steady_clock::now() + 20s;
            while (!taken.load() && keepRunning() && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(100us);
        };
        for (const std::string& line : lines) {
            const bool buffer = line.rfind("Qs999=sendbuffer", 0) == 0;
            const auto box = sample::gf_parseParkedRequest(line);
            // A request waits for the traffic reader to listen.
            if ((buffer || box) && readerPort == 0) return;
            ++linesHandled;
            // The link is back once TAVO asked the application's version.
            if (line.rfind("Qs999=version", 0) == 0 && backS < 0.0) backS = lf_wallSeconds();
            if (buffer)
                answer(run->source().bufferLines(second, epoch), g_trafficReader.bufferReceived);
            else if (box)
                answer(run->source().parkedLines(second, epoch, *box), g_trafficReader.parkedReceived);
        }
    }

    std::unique_ptr<SampleWorldRun> run;
    std::thread comeBack;
    std::atomic<bool> stop{false};
    std::atomic<bool> dropped{false};
    std::uint16_t port = 0;
    double epoch = 0.0;
    std::shared_ptr<RTAppPeer> peerShared;
    std::shared_ptr<RTAppPeer> peer;
    std::size_t linesHandled = 0;
    double droppedS = -1.0;
    bool bufferAsked = false;
    double backS = -1.0;
    std::map<std::uint32_t, Shown> shown;
};

TEST_F(LinkDropWorld, EveryAircraftShownBeforeTheDropAndReportedAfterItIsCreatedAgainSoon) {
    ASSERT_EQ(run->run(), 0);
    ASSERT_TRUE(dropped.load());
    ASSERT_GE(backS, 0.0) << "the application's link came back";
    std::printf("the link was down for %.1f s of the world's time\n", backS - droppedS);
    const std::string log = run->log();
    const std::size_t restarted = log.rfind("RealTraffic connected");
    ASSERT_NE(restarted, std::string::npos);
    const std::string afterRestart = log.substr(restarted);

    bool helicopterJudged = false;
    int judged = 0;
    for (const auto& [hexid, s] : shown) {
        if (!s.reportedAfter) continue;
        ++judged;
        SCOPED_TRACE(s.callsign + " " + s.registration);
        if (s.registration == kHelicopter) {
            helicopterJudged = true;
            EXPECT_TRUE(s.onGround) << "the helicopter stood on its pad as the link went";
        }
        const bool createdSoon = s.createdAgainS >= 0.0 && s.createdAgainS - backS <= kCreatedAgainWithinS;
        const bool told = afterRestart.find(s.registration + " stands where") != std::string::npos ||
                          afterRestart.find(s.registration + " flies") != std::string::npos ||
                          afterRestart.find(s.registration + " rolls") != std::string::npos;
        // The helicopter that stands where it was shown is created there:
        // told that no stand is free for it, it was lost.
        EXPECT_TRUE(createdSoon || (told && s.registration != kHelicopter))
            << "created again " << s.createdAgainS - backS << " s after the link came back\n"
            << afterRestart;
    }
    EXPECT_TRUE(helicopterJudged);
    EXPECT_GE(judged, 5);
}

}  // namespace
}  // namespace tavo::test
