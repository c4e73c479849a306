#include "foundation/random.h"

#include <chrono>
#include <functional>
#include <thread>
#include <utility>

namespace {

std::mt19937 lf_seededEngine() {
    // Four words: the platform's entropy, both halves of the steady clock and
    // the thread's identity, so threads started together still differ.
    std::random_device device;
    const auto ticks = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    const auto threadHash = static_cast<std::uint64_t>(std::hash<std::thread::id>{}(std::this_thread::get_id()));
    std::seed_seq seed{static_cast<std::uint32_t>(device()), static_cast<std::uint32_t>(ticks & 0xFFFFFFFFu),
                       static_cast<std::uint32_t>(ticks >> 32), static_cast<std::uint32_t>(threadHash & 0xFFFFFFFFu)};
    return std::mt19937(seed);
}

}  // namespace

ThreadRandomEngine& threadRandomEngine() {
    thread_local ThreadRandomEngine engine{lf_seededEngine()};
    return engine;
}

std::uint64_t ThreadRandomEngine::upTo(std::uint64_t i) {
    std::uniform_int_distribution<std::uint64_t> draw(0, i);
    return draw(engine);
}

std::uint64_t ThreadRandomEngine::below(std::uint64_t n) {
    if (n < 2) {
        return 0;
    }
    return upTo(n - 1);
}

std::uint64_t gf_randomBelow(std::uint64_t n) { return threadRandomEngine().below(n); }

double gf_randomizeByPercent(double value, double percent) {
    const std::uint32_t draw = threadRandomEngine().next();
    if (percent <= 0.0) {
        return value;
    }
    const double delta = value * percent / 100.0;
    return (draw & 1u) != 0 ? value - delta : value + delta;
}
