#include "image/grid.hpp"

#include <sys/mman.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace veltrane2::detail {
namespace {

constexpr std::uintptr_t kLargePage = std::uintptr_t{1} << 21;

#if defined(__SANITIZE_ADDRESS__)
#define VELTRANE2_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELTRANE2_ASAN 1
#endif
#endif

#if defined(MADV_HUGEPAGE) && !defined(VELTRANE2_ASAN)
// A block of a large page or more is mapped here, aligned to a large page
// and advised whole: a fresh mapping is zero already, and its pages are
// faulted in a large page at a time rather than 4 KiB at a time (a fault
// costs about the same for either size, apart from clearing the memory).
// malloc would take such a block from memory it gives back to the system
// soon after, and fault it in again 4 KiB at a time on the next run. A
// program that keeps its freed memory for its next images has its grids
// taken from malloc instead, which reuses that memory with no faults at
// all, up to the size malloc always maps. (Under the address sanitizer
// every block comes from malloc, which it watches.)
constexpr bool kMapLarge = true;
#else
constexpr bool kMapLarge = false;
#endif
constexpr std::size_t kMapFrom = kLargePage;

// Set once by a program that keeps freed memory (before any run); read by
// every allocation of a grid. It decides where memory comes from, never a
// value.
std::atomic<bool> grids_from_malloc{false};

// malloc maps blocks above the largest threshold it ever moves its limit to
// (32 MiB) on their own whatever a program asks: those are mapped here.
constexpr std::size_t kAlwaysMapAbove = std::size_t{32} << 20;

bool map_on_large_pages(std::size_t bytes) {
    if (!kMapLarge || bytes < kMapFrom) return false;
    return bytes > kAlwaysMapAbove || !grids_from_malloc.load(std::memory_order_relaxed);
}

std::size_t mapped_length(std::size_t bytes) {
    return (bytes + kLargePage - 1) & ~(kLargePage - 1);
}

}  // namespace

Storage allocate_zeroed(std::size_t bytes, bool zero) {
    if (map_on_large_pages(bytes)) {
        const std::size_t len = mapped_length(bytes);
        void* m = ::mmap(nullptr, len + kLargePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (m == MAP_FAILED) throw std::bad_alloc();
        const auto b = reinterpret_cast<std::uintptr_t>(m);
        const std::uintptr_t start = (b + kLargePage - 1) & ~(kLargePage - 1);
        if (start > b) ::munmap(m, start - b);
        const std::uintptr_t end = start + len;
        if (b + len + kLargePage > end) ::munmap(reinterpret_cast<void*>(end), b + len + kLargePage - end);
#ifdef MADV_HUGEPAGE
        ::madvise(reinterpret_cast<void*>(start), len, MADV_HUGEPAGE);
#endif
        return {reinterpret_cast<void*>(start), true};
    }
    void* p = zero ? std::calloc(bytes, 1) : std::malloc(bytes);
    if (p == nullptr) throw std::bad_alloc();
    // Full-size images are swept along both indices; on large pages the
    // sweeps across the storage order miss the address cache far less.
    advise_large_pages(p, bytes);
    return {p, false};
}

void advise_large_pages(void* p, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
    const auto b = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t start = (b + kLargePage - 1) & ~(kLargePage - 1);
    const std::uintptr_t end = (b + bytes) & ~(kLargePage - 1);
    if (end > start) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
    (void)p;
    (void)bytes;
#endif
}

void release_zeroed(const Storage& s, std::size_t bytes) {
    if (s.mapped) {
        ::munmap(s.p, mapped_length(bytes));
    } else {
        std::free(s.p);
    }
}

}  // namespace veltrane2::detail

namespace veltrane2 {

void take_grids_from_malloc() {
    detail::grids_from_malloc.store(true, std::memory_order_relaxed);
}

}  // namespace veltrane2
