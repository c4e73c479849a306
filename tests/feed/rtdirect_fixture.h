#pragma once
// Worlds for the RT Direct tests. RtDirectLogWorld: RT Direct as the source
// and Log.txt open in a temporary working folder. RtDirectWorld adds a clock
// the test drives, the fake web API behind TAVO_RT_API_URL, the window state
// applied on the test thread, clean readers and an empty stop mailbox.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine_state.h"
#include "feed/credential.h"
#include "feed/feed_state.h"
#include "feed/hang_guard.h"
#include "feed/records_fixture.h"
#include "feed/rtdirect/readers.h"
#include "foundation/log.h"
#include "services/gui.h"
#include "services/stop.h"
#include "support/fake_rtapi.h"
#include "support/temp_dir.h"

namespace tavo::test {

// A clock that only the test moves. In auto mode a wait that is not ready
// moves the clock to its deadline at once, so waits take no real time but are
// still recorded; otherwise a wait ends when the test advances the clock past
// its deadline, or when its condition turns true.
class ManualRTDirectClock final : public RTDirectClock {
public:
    explicit ManualRTDirectClock(bool autoAdvance = false) : auto_(autoAdvance) {}

    TimePoint now() override {
        std::lock_guard lock(mutex_);
        return now_;
    }

    bool waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, TimePoint deadline,
                   const std::function<bool()>& ready) override {
        {
            std::lock_guard guard(mutex_);
            waits_.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now_));
            ++waiting_;
        }
        changed_.notify_all();
        bool result = false;
        for (;;) {
            if ((result = ready())) break;
            {
                std::lock_guard guard(mutex_);
                if (now_ >= deadline) break;
                if (auto_) {
                    now_ = deadline;
                    continue;
                }
            }
            // The waiter's own notification (a stop) wakes it at once; the
            // test's advance is seen within a millisecond.
            cv.wait_for(lock, std::chrono::milliseconds(1));
        }
        std::lock_guard guard(mutex_);
        --waiting_;
        return result;
    }

    void advance(std::chrono::milliseconds by) {
        std::lock_guard lock(mutex_);
        now_ += by;
    }
    void setAuto(bool on) {
        std::lock_guard lock(mutex_);
        auto_ = on;
    }
    // Every wait so far, as its length when it began.
    std::vector<std::chrono::milliseconds> waits() {
        std::lock_guard lock(mutex_);
        return waits_;
    }
    void clearWaits() {
        std::lock_guard lock(mutex_);
        waits_.clear();
    }
    // Waits (really, at most `timeout`) until `count` threads are waiting.
    bool waitForWaiting(int count, std::chrono::milliseconds timeout = kHangGuard) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return waiting_ >= count; });
    }
    // Waits (really, at most `timeout`) until `count` waits have begun.
    bool waitForWaits(std::size_t count, std::chrono::milliseconds timeout = kHangGuard) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return waits_.size() >= count; });
    }
    // The threads waiting right now.
    int waitingCount() {
        std::lock_guard lock(mutex_);
        return waiting_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    TimePoint now_{std::chrono::hours(1000)};
    std::vector<std::chrono::milliseconds> waits_;
    int waiting_ = 0;
    bool auto_ = false;
};

class RtDirectLogWorld : public RecordsWorld {
protected:
    void SetUp() override {
        RecordsWorld::SetUp();
        useRtDirect();
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_.path());
        gf_openLogFile();
        newLogLines();
    }
    void TearDown() override {
        gf_logger().close();
        std::filesystem::current_path(previous_);
        RecordsWorld::TearDown();
    }

    // What was logged since the previous call (window lines applied first).
    std::string newLogLines() {
        gf_gui().drain();
        gf_flushLog();
        const std::string text = readFile(dir_.path() / "Log.txt");
        std::string fresh = text.substr(std::min(seen_, text.size()));
        seen_ = text.size();
        return fresh;
    }

private:
    ScopedTempDir dir_;
    std::filesystem::path previous_;
    std::size_t seen_ = 0;
};

class RtDirectWorld : public RtDirectLogWorld {
protected:
    void SetUp() override {
        RtDirectLogWorld::SetUp();
        gf_initCurlGlobal();
        if (const char* old = std::getenv("TAVO_RT_API_URL")) savedUrl_ = old;
        setenv("TAVO_RT_API_URL", api.baseUrl().c_str(), 1);
        gf_setRTDirectClock(&clock);
        resetReaders();
        gf_clearStopMailbox();
        gf_gui().attachGuiThread();
        gf_gui().drain();
        gf_gui().reset();
        g_qnh.store(1013);
        g_rtConnected.store(false);
        g_rtProfessional.store(false);
        g_rtCredential = "ABCD-1234";
    }
    void TearDown() override {
        gf_rtApiTrafficReader().requestStop();
        gf_rtApiWeatherReader().requestStop();
        for (auto* thread : {&traffic, &weather})
            if (thread->joinable()) thread->join();
        gf_stopAndJoin(g_weatherReaderThread);
        gf_stopAndJoin(g_trafficReaderThread);
        resetReaders();
        gf_rtApiTrafficReader().setBatchPoster(nullptr);
        gf_setRTDirectClock(nullptr);
        gf_clearStopMailbox();
        gf_gui().drain();
        gf_gui().reset();
        if (savedUrl_)
            setenv("TAVO_RT_API_URL", savedUrl_->c_str(), 1);
        else
            unsetenv("TAVO_RT_API_URL");
        RtDirectLogWorld::TearDown();
    }

    static void resetReaders() {
        gf_rtApiTrafficReader().reset();
        gf_rtApiWeatherReader().reset();
        gf_rtApiConnection().clearSession();
    }

    // Logs in against the fake with the given reply.
    RTAPISessionPtr login(const std::string& reply = FakeRtApi::authReply("guid-1", 250, 250)) {
        api.queueReply("/v6/auth", FakeRtApi::json(reply));
        const auto result = gf_rtApiConnection().authenticate("ABCD-1234", gf_rtApiSoftwareText());
        if (const auto* error = std::get_if<RTAPIStatusError>(&result)) {
            ADD_FAILURE() << "login failed: " << error->message;
            return nullptr;
        }
        return std::get<RTAPISessionPtr>(result);
    }

    static void publishUserPosition(double lat, double lon) {
        UserAircraftState state;
        state.latitude = lat;
        state.longitude = lon;
        gf_publishUserAircraftState(state);
    }

    static std::optional<StopRequest> pendingStop() {
        const auto request = gf_pendingStopRequest();
        if (!request) return std::nullopt;
        return *request;
    }

    FakeRtApi api;
    ManualRTDirectClock clock{true};
    std::thread traffic;
    std::thread weather;

private:
    std::optional<std::string> savedUrl_;
};

}  // namespace tavo::test
