#include "allocation_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

namespace {
std::atomic<std::uint64_t> l_allocations{0};
}  // namespace

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TAVO_BENCH_SANITIZER_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TAVO_BENCH_SANITIZER_ALLOCATOR 1
#endif
#endif

#ifdef TAVO_BENCH_SANITIZER_ALLOCATOR
// Under a sanitizer its allocator owns operator new, so a replacement here
// would never be called; the sanitizer's hooks see every allocation instead
// (malloc's too, which only makes the count stricter).
#include <sanitizer/allocator_interface.h>

namespace {
void lf_countAllocation(const volatile void*, std::size_t) { l_allocations.fetch_add(1, std::memory_order_relaxed); }
void lf_ignoreFree(const volatile void*) {}
// Installed before main, while no other thread runs.
const int l_hooksInstalled = __sanitizer_install_malloc_and_free_hooks(&lf_countAllocation, &lf_ignoreFree);
}  // namespace
#else
// Weak, so that another replacement elsewhere in the executable wins without
// a clash; gf_benchAllocationCountingWorks then notices.
__attribute__((weak)) void* operator new(std::size_t size) {
    l_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
__attribute__((weak)) void operator delete(void* p) noexcept { std::free(p); }
__attribute__((weak)) void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#endif

std::uint64_t gf_benchAllocations() { return l_allocations.load(std::memory_order_relaxed); }

bool gf_benchAllocationCountingWorks() {
    const auto before = gf_benchAllocations();
    auto* probe = new std::string(64, 'x');  // too long for the small-string buffer
    benchmark::DoNotOptimize(probe);
    delete probe;
    return gf_benchAllocations() != before;
}
