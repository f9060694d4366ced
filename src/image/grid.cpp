#include "image/grid.hpp"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <new>

namespace veltrane2::detail {
namespace {

constexpr std::uintptr_t kLargePage = std::uintptr_t{1} << 21;

}  // namespace

void* allocate_zeroed(std::size_t bytes, bool zero) {
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

void release_zeroed(void* p) {
    std::free(p);
}

}  // namespace veltrane2::detail
