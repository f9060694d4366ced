// The image grid: a rectangular image stored by columns (the first index
// varies fastest) with 1-based (i, j) access, sized by the image in use.
#pragma once

#include <cassert>
#include <cstddef>
#include <vector>

namespace veltrane2 {

template <class T>
class Grid {
public:
    Grid() = default;
    Grid(int nx, int ny, T value = T{})
        : nx_(nx), ny_(ny), v_(static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny), value) {}

    // A square grid of side n, as every image of a run is.
    static Grid square(int n, T value = T{}) { return Grid(n, n, value); }

    T& operator()(int i, int j) {
        assert(i >= 1 && i <= nx_ && j >= 1 && j <= ny_);
        return v_[index(i, j)];
    }
    const T& operator()(int i, int j) const {
        assert(i >= 1 && i <= nx_ && j >= 1 && j <= ny_);
        return v_[index(i, j)];
    }

    int nx() const { return nx_; }
    int ny() const { return ny_; }
    bool empty() const { return v_.empty(); }
    T* data() { return v_.data(); }
    const T* data() const { return v_.data(); }

    // Drops the storage (a stage's large work image that is no longer needed).
    void release() {
        nx_ = ny_ = 0;
        std::vector<T>().swap(v_);
    }

    bool operator==(const Grid&) const = default;

private:
    std::size_t index(int i, int j) const {
        return static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(nx_);
    }

    int nx_ = 0;
    int ny_ = 0;
    std::vector<T> v_;
};

using RealImage = Grid<double>;
using IntMap = Grid<int>;

}  // namespace veltrane2
