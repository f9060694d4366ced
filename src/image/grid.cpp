#include "image/grid.hpp"

#include <sys/mman.h>

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
// Blocks that malloc would always map on their own (above the largest
// threshold it ever moves its limit to, 32 MiB) are mapped here instead,
// aligned to a large page and advised whole: a fresh mapping is zero
// already, and such a grid's pages are faulted in a large page at a time
// rather than 4 KiB at a time. Smaller blocks come from malloc, which
// keeps freed ones for the next. (Under the address sanitizer every block
// comes from malloc, which it watches.)
constexpr bool kMapLarge = true;
#else
constexpr bool kMapLarge = false;
#endif
constexpr std::size_t kMapFrom = std::size_t{32} << 20;

std::size_t mapped_length(std::size_t bytes) {
    return (bytes + kLargePage - 1) & ~(kLargePage - 1);
}

}  // namespace

void* allocate_zeroed(std::size_t bytes, bool zero) {
    if (kMapLarge && bytes > kMapFrom) {
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
        return reinterpret_cast<void*>(start);
    }
    void* p = zero ? std::calloc(bytes, 1) : std::malloc(bytes);
    if (p == nullptr) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    // Full-size images are swept along both indices; on large pages the
    // sweeps across the storage order miss the address cache far less.
    const auto b = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t start = (b + kLargePage - 1) & ~(kLargePage - 1);
    const std::uintptr_t end = (b + bytes) & ~(kLargePage - 1);
    if (end > start) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#endif
    return p;
}

void release_zeroed(void* p, std::size_t bytes) {
    if (kMapLarge && bytes > kMapFrom) {
        ::munmap(p, mapped_length(bytes));
    } else {
        std::free(p);
    }
}

}  // namespace veltrane2::detail
