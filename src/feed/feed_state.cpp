#include "feed/feed_state.h"

std::atomic<bool> g_rtConnected{false};
std::atomic<bool> g_rtProfessional{false};

namespace {
std::atomic<FeedSteadyNow> l_feedSteadyNow{nullptr};
}  // namespace

std::chrono::steady_clock::time_point gf_feedSteadyNow() {
    const FeedSteadyNow now = l_feedSteadyNow.load();
    return now ? now() : std::chrono::steady_clock::now();
}

void gf_setFeedSteadyClock(FeedSteadyNow now) { l_feedSteadyNow.store(now); }
