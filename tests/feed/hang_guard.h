#pragma once
// How long a feed test waits for something that only its own action (or the
// code under test) brings about: far beyond any delay a loaded machine gives,
// so the wait fails only when the thing never happens, and a lost wake-up
// fails the test instead of hanging the run. Tests never use it as a measure
// of speed.

#include <chrono>
#include <functional>
#include <thread>

namespace tavo::test {

inline constexpr std::chrono::seconds kHangGuard{30};

// Polls the condition every millisecond until it holds; false when it still
// does not after `limit`.
inline bool eventually(const std::function<bool()>& holds, std::chrono::milliseconds limit = kHangGuard) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!holds()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace tavo::test
