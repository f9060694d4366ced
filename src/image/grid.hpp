// The image grid: a rectangular image stored by columns (the first index
// varies fastest) with 1-based (i, j) access, sized by the image in use.
#pragma once

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <type_traits>
#include <utility>

namespace veltrane2 {

// Where the storage of large grids comes from. By default each is mapped on
// its own, on large pages where the system offers them: fresh memory for
// every run, faulted in a large page at a time. A program that asks malloc
// to keep the memory it frees, so that its next images reuse it, calls this
// once before its first run: grids then come from malloc too. It changes
// where memory comes from, never a value.
void take_grids_from_malloc();

namespace detail {

// Storage for grids, zero-filled unless `zero` is false; large blocks are
// asked for on large pages where the system offers them. A block is
// released with the size it was asked for.
struct Storage {
    void* p = nullptr;
    bool mapped = false;  // mapped on its own rather than from malloc
};
Storage allocate_zeroed(std::size_t bytes, bool zero = true);
void release_zeroed(const Storage& s, std::size_t bytes);
// Asks for the whole large pages within bytes at p, memory not yet touched,
// to be faulted in a large page at a time where the system offers them.
void advise_large_pages(void* p, std::size_t bytes);

}  // namespace detail

template <class T>
class Grid {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    Grid() = default;
    Grid(int nx, int ny, T value = T{}) : nx_(nx), ny_(ny) {
        const std::size_t count = size();
        if (count == 0) return;
        take(detail::allocate_zeroed(count * sizeof(T)));
        if (value != T{}) std::fill(p_, p_ + count, value);
    }
    // A square grid of side n, as every image of a run is.
    static Grid square(int n, T value = T{}) { return Grid(n, n, value); }
    // A square grid whose every element its maker writes before anything
    // reads it: its storage is not filled first.
    static Grid square_to_fill(int n) { return to_fill(n, n); }
    // The same for a grid of nx x ny.
    static Grid to_fill(int nx, int ny) {
        Grid g;
        g.nx_ = nx;
        g.ny_ = ny;
        if (g.size() > 0) g.take(detail::allocate_zeroed(g.size() * sizeof(T), false));
        return g;
    }

    // A copy is written whole: its storage is not filled first.
    Grid(const Grid& o) : Grid(to_fill(o.nx_, o.ny_)) { std::copy(o.p_, o.p_ + o.size(), p_); }
    Grid(Grid&& o) noexcept { swap(o); }
    Grid& operator=(const Grid& o) {
        if (this != &o) Grid(o).swap(*this);
        return *this;
    }
    Grid& operator=(Grid&& o) noexcept {
        Grid(std::move(o)).swap(*this);
        return *this;
    }
    ~Grid() {
        if (p_ != nullptr) detail::release_zeroed({p_, mapped_}, size() * sizeof(T));
    }

    T& operator()(int i, int j) {
        assert(i >= 1 && i <= nx_ && j >= 1 && j <= ny_);
        return p_[index(i, j)];
    }
    const T& operator()(int i, int j) const {
        assert(i >= 1 && i <= nx_ && j >= 1 && j <= ny_);
        return p_[index(i, j)];
    }

    int nx() const { return nx_; }
    int ny() const { return ny_; }
    bool empty() const { return p_ == nullptr; }
    T* data() { return p_; }
    const T* data() const { return p_; }
    // The number of elements, nx * ny, stored first index fastest.
    std::size_t size() const { return static_cast<std::size_t>(nx_) * static_cast<std::size_t>(ny_); }

    // Drops the storage (a large work image that is no longer needed).
    void release() { Grid().swap(*this); }

    bool operator==(const Grid& o) const { return nx_ == o.nx_ && ny_ == o.ny_ && std::equal(p_, p_ + size(), o.p_); }

private:
    void swap(Grid& o) noexcept {
        std::swap(nx_, o.nx_);
        std::swap(ny_, o.ny_);
        std::swap(p_, o.p_);
        std::swap(mapped_, o.mapped_);
    }
    void take(const detail::Storage& s) {
        p_ = static_cast<T*>(s.p);
        mapped_ = s.mapped;
    }
    std::size_t index(int i, int j) const {
        return static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(nx_);
    }

    int nx_ = 0;
    int ny_ = 0;
    T* p_ = nullptr;
    bool mapped_ = false;
};

using RealImage = Grid<double>;
using IntMap = Grid<int>;
// A byte per pixel: 1 where a pixel has been written, else 0.
using MarkMap = Grid<unsigned char>;

// image(i, j) = v, with the pixel marked in `written`.
inline void write_marked(RealImage& image, MarkMap& written, int i, int j, double v) {
    image(i, j) = v;
    written(i, j) = 1;
}

}  // namespace veltrane2
