#pragma once
// A read-mostly record published once (or a few times) per run and read by
// every thread without a lock: readers get a plain reference from one acquire
// load. Every record ever published is kept until the holder goes, so a
// reference stays valid however often a newer record is published; the
// program publishes its data tables once, so nothing piles up.

#include <atomic>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

template <class T>
class KeptPublished {
public:
    KeptPublished() { publish(std::make_unique<T>()); }
    KeptPublished(const KeptPublished&) = delete;
    KeptPublished& operator=(const KeptPublished&) = delete;

    const T& current() const { return *current_.load(std::memory_order_acquire); }

    void publish(std::unique_ptr<T> record) {
        std::lock_guard lock(mutex_);
        kept_.push_back(std::move(record));
        current_.store(kept_.back().get(), std::memory_order_release);
    }

    // Drops every record and publishes a fresh default one. Only when no other
    // thread reads and no reference is held (tests).
    void resetUnshared() {
        std::lock_guard lock(mutex_);
        kept_.clear();
        kept_.push_back(std::make_unique<T>());
        current_.store(kept_.back().get(), std::memory_order_release);
    }

private:
    std::mutex mutex_;
    std::vector<std::unique_ptr<T>> kept_;
    std::atomic<const T*> current_{nullptr};
};
