// Time of the simulator model: frames and seconds, the periodic data they
// deliver, the ticker thread that makes them pass on their own, and the wait
// until every connection has taken what was queued.

// Record fields are placed by offsetof on the derived record types, which
// g++ lays out plainly (see simconnect.h).
#pragma GCC diagnostic ignored "-Winvalid-offsetof"

#include <algorithm>
#include <condition_variable>
#include <stop_token>
#include <thread>

#include "platform/simconnect/sim_model_internal.h"

namespace {

void lf_deliverPeriodic(SimWorld& w, bool perSecond) {
    for (auto& [handle, c] : w.connections) {
        if (c->quit) continue;
        auto& list = c->periodic;
        for (std::size_t i = 0; i < list.size();) {
            const auto& r = list[i];
            const bool due = perSecond ? r.period == SIMCONNECT_PERIOD_SECOND
                                       : (r.period == SIMCONNECT_PERIOD_VISUAL_FRAME || r.period == SIMCONNECT_PERIOD_SIM_FRAME);
            if (!due) { ++i; continue; }
            auto obj = w.objects.find(r.objectId);
            auto def = c->definitions.find(r.defineId);
            if (obj == w.objects.end()) {  // the object left: its request ends
                list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
                continue;
            }
            if (def != c->definitions.end())
                gf_simQueue(w, *c, gf_simObjectData(w, def->second, obj->second, SIMCONNECT_RECV_ID_SIMOBJECT_DATA,
                                                    r.requestId, r.defineId, 1, 1));
            ++i;
        }
    }
}

void lf_frame(SimWorld& w) {
    ++w.frameCount;
    for (auto& [handle, c] : w.connections) {
        if (c->quit) continue;
        gf_simReleaseDueAnswers(w, *c);
        for (const auto& [eventId, name] : c->subscriptions) {
            if (name != "FRAME") continue;
            SimRecord r = gf_simNewRecord(sizeof(SIMCONNECT_RECV_EVENT_FRAME), SIMCONNECT_RECV_ID_EVENT_FRAME);
            gf_simPut(r, offsetof(SIMCONNECT_RECV_EVENT, uGroupID), SIMCONNECT_UNUSED);
            gf_simPut(r, offsetof(SIMCONNECT_RECV_EVENT, uEventID), eventId);
            gf_simPut(r, offsetof(SIMCONNECT_RECV_EVENT_FRAME, fFrameRate), 30.0f);
            gf_simPut(r, offsetof(SIMCONNECT_RECV_EVENT_FRAME, fSimSpeed), 1.0f);
            gf_simQueue(w, *c, std::move(r));
        }
    }
    lf_deliverPeriodic(w, false);
}

void lf_second(SimWorld& w) {
    if (w.zuluRaw) {
        (*w.zuluRaw)[2] += 1;
    } else {
        ++w.zuluEpoch;
    }
    gf_simNotify(w, "1SEC", 0);
    lf_deliverPeriodic(w, true);
}

struct Ticker {
    std::mutex control;
    std::jthread thread;
};

Ticker& lf_ticker() {
    static Ticker t;
    return t;
}

void lf_tickerLoop(std::stop_token stop, std::chrono::milliseconds frameInterval,
                   std::chrono::milliseconds secondInterval) {
    std::mutex m;
    std::condition_variable_any cv;
    auto nextFrame = std::chrono::steady_clock::now() + frameInterval;
    auto nextSecond = std::chrono::steady_clock::now() + secondInterval;
    std::unique_lock lock(m);
    while (!stop.stop_requested()) {
        const auto until = std::min(nextFrame, nextSecond);
        cv.wait_until(lock, stop, until, [] { return false; });
        if (stop.stop_requested()) break;
        const auto now = std::chrono::steady_clock::now();
        if (now >= nextFrame) {
            gf_simModelFrames(1);
            nextFrame += frameInterval;
            if (nextFrame < now) nextFrame = now + frameInterval;  // fell behind: no burst of frames
        }
        if (now >= nextSecond) {
            gf_simModelSeconds(1);
            nextSecond += secondInterval;
            if (nextSecond < now) nextSecond = now + secondInterval;
        }
    }
}

}  // namespace

void gf_simModelFrames(int count) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    if (!w.running) return;
    for (int i = 0; i < count; ++i) lf_frame(w);
}

void gf_simModelSeconds(int count) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    if (!w.running) return;
    for (int i = 0; i < count; ++i) lf_second(w);
}

void gf_simModelStartTicker(std::chrono::milliseconds frameInterval, std::chrono::milliseconds secondInterval) {
    frameInterval = std::max(frameInterval, std::chrono::milliseconds(1));
    secondInterval = std::max(secondInterval, std::chrono::milliseconds(1));
    auto& t = lf_ticker();
    std::lock_guard lock(t.control);
    if (t.thread.joinable()) {
        t.thread.request_stop();
        t.thread.join();
    }
    t.thread = std::jthread(lf_tickerLoop, frameInterval, secondInterval);
}

void gf_simModelStopTicker() {
    auto& t = lf_ticker();
    std::lock_guard lock(t.control);
    if (t.thread.joinable()) {
        t.thread.request_stop();
        t.thread.join();
    }
    t.thread = std::jthread();
}

bool gf_simModelTickerRunning() {
    auto& t = lf_ticker();
    std::lock_guard lock(t.control);
    return t.thread.joinable();
}

bool gf_simModelWaitDrained(std::chrono::milliseconds timeout) { return gf_simModelWaitDrained(timeout, {}); }

bool gf_simModelWaitDrained(std::chrono::milliseconds timeout, std::string_view connection) {
    auto& w = gf_simWorld();
    std::unique_lock lock(w.mutex);
    return w.drained.wait_for(lock, timeout, [&] {
        bool named = connection.empty();
        for (const auto& [h, c] : w.connections) {
            if (!c->queue.empty() || c->dispatching > 0) return false;
            if (c->name == connection) named = true;
        }
        return named;
    });
}

bool gf_simModelWaitQueued(std::chrono::milliseconds timeout) {
    auto& w = gf_simWorld();
    std::unique_lock lock(w.mutex);
    return w.queued.wait_for(lock, timeout, [&] {
        for (const auto& [h, c] : w.connections)
            if (!c->quit && !c->queue.empty()) return true;
        return false;
    });
}

std::uint64_t gf_simModelFrameCount() {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    return w.frameCount;
}
