#include "allocation_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

namespace {
std::atomic<std::uint64_t> l_allocations{0};
}  // namespace

// Weak, so that another replacement elsewhere in the executable wins without
// a clash; gf_benchAllocationCountingWorks then notices.
__attribute__((weak)) void* operator new(std::size_t size) {
    l_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
__attribute__((weak)) void operator delete(void* p) noexcept { std::free(p); }
__attribute__((weak)) void operator delete(void* p, std::size_t) noexcept { std::free(p); }

std::uint64_t gf_benchAllocations() { return l_allocations.load(std::memory_order_relaxed); }

bool gf_benchAllocationCountingWorks() {
    const auto before = gf_benchAllocations();
    auto* probe = new std::string(64, 'x');  // too long for the small-string buffer
    benchmark::DoNotOptimize(probe);
    delete probe;
    return gf_benchAllocations() != before;
}
