#pragma once
// The QNH a traffic reader corrects its records with, and how a new value is
// published: into the reader's copy, the program-wide g_qnh and the window.
// Each traffic source (RT App, RT Direct) has one; its weather reader
// publishes into it, and the traffic reader's start sets the 1013 default.

#include <atomic>
#include <cstdint>
#include <mutex>

inline constexpr std::uint32_t kDefaultQnh = 1013;

class ReaderQnh {
public:
    // The copy in hPa; 0 until the reader starts or a value arrives. Any thread.
    std::uint32_t load() const noexcept { return value_.load(); }
    // Sets the copy alone (resets, tests).
    void store(std::uint32_t hectopascal) noexcept { value_.store(hectopascal); }

    // When no QNH is known yet: 1013 into the copy, g_qnh and the window;
    // returns whether it did. Any thread.
    bool setInitial();
    // A new QNH from the weather: the copy, g_qnh and the window. Any thread.
    void publish(std::uint32_t hectopascal);

private:
    std::atomic<std::uint32_t> value_{0};
    // Orders the two writers (the traffic reader's start and the weather
    // reader), so the 1013 default never lands after a real value.
    std::mutex mutex_;
};
