#include "image/grid.hpp"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <new>

namespace veltrane2::detail {
namespace {

constexpr std::size_t kLargePage = std::size_t{1} << 21;
// Blocks from this size up are mapped; smaller ones come from the heap.
constexpr std::size_t kMapFrom = std::size_t{1} << 20;

}  // namespace

void* allocate_zeroed(std::size_t bytes, std::size_t& mapped) {
    if (bytes < kMapFrom) {
        mapped = 0;
        void* p = std::calloc(bytes, 1);
        if (p == nullptr) throw std::bad_alloc();
        return p;
    }
    // Map a large-page more than needed so that the block can start on a
    // large-page boundary; the ends beyond it are given back at once.
    const std::size_t rounded = (bytes + kLargePage - 1) / kLargePage * kLargePage;
    const std::size_t total = rounded + kLargePage;
    void* base = ::mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) throw std::bad_alloc();
    const auto b = reinterpret_cast<std::uintptr_t>(base);
    const std::uintptr_t start = (b + kLargePage - 1) / kLargePage * kLargePage;
    if (start > b) ::munmap(base, start - b);
    const std::uintptr_t tail = b + total - (start + rounded);
    if (tail > 0) ::munmap(reinterpret_cast<void*>(start + rounded), tail);
#ifdef MADV_HUGEPAGE
    ::madvise(reinterpret_cast<void*>(start), rounded, MADV_HUGEPAGE);
#endif
    mapped = rounded;
    return reinterpret_cast<void*>(start);
}

void release_zeroed(void* p, std::size_t mapped) {
    if (mapped == 0) {
        std::free(p);
    } else {
        ::munmap(p, mapped);
    }
}

}  // namespace veltrane2::detail
