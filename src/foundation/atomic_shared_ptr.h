#pragma once
// A shared pointer that threads load, store and compare-exchange atomically:
// the holder of a copy-on-write record (the settings snapshot, the start-up
// choice). A reader's copy keeps its record alive however often the pointer is
// replaced afterwards.
//
// Why not std::atomic<std::shared_ptr<T>>: the library shipped with g++ 12
// unlocks its internal spin bit after a load with a relaxed store, so a load
// and a later exchange on another thread are not ordered by the memory model
// (ThreadSanitizer reports the pointer read by the load and the write by the
// exchange as a data race). A small mutex gives the same interface with
// well-defined ordering; it is held only to copy or swap one pointer.

#include <atomic>
#include <memory>
#include <mutex>
#include <utility>

template <class T>
class AtomicSharedPtr {
public:
    using Pointer = std::shared_ptr<T>;

    explicit AtomicSharedPtr(Pointer initial) : m_pointer(std::move(initial)) {}
    AtomicSharedPtr(const AtomicSharedPtr&) = delete;
    AtomicSharedPtr& operator=(const AtomicSharedPtr&) = delete;

    Pointer load() const {
        std::lock_guard lock(m_mutex);
        return m_pointer;
    }

    void store(Pointer replacement) {
        {
            std::lock_guard lock(m_mutex);
            m_pointer.swap(replacement);
        }
        // The previous record, if this was its last holder, is destroyed here,
        // outside the lock.
    }

    // Replaces the pointer when it still points at expected's record and
    // returns true; otherwise copies the current pointer into expected and
    // returns false.
    bool compare_exchange_strong(Pointer& expected, Pointer desired) {
        Pointer previous;
        {
            std::lock_guard lock(m_mutex);
            if (m_pointer == expected) {
                previous = std::exchange(m_pointer, std::move(desired));
                return true;
            }
            previous = std::exchange(expected, m_pointer);
        }
        return false;
    }

    // The forms that name a memory order, for callers written against the
    // standard atomic: the lock orders every operation anyway.
    Pointer load(std::memory_order) const { return load(); }
    void store(Pointer replacement, std::memory_order) { store(std::move(replacement)); }
    bool compare_exchange_strong(Pointer& expected, Pointer desired, std::memory_order) {
        return compare_exchange_strong(expected, std::move(desired));
    }
    bool compare_exchange_weak(Pointer& expected, Pointer desired) {
        return compare_exchange_strong(expected, std::move(desired));
    }

private:
    mutable std::mutex m_mutex;
    Pointer m_pointer;
};
