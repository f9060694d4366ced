// A box of grid positions: first index i0..i1, second index j0..j1 (both
// ends included, 1-based). The window a stage works in, the extent of a set
// of pixels and the part of a grid that is read are all boxes.
#pragma once

#include <algorithm>

#include "image/grid.hpp"

namespace veltrane2 {

struct Box {
    int i0 = 1;
    int i1 = 0;
    int j0 = 1;
    int j1 = 0;

    // The whole of an nx x ny grid, or of a given grid.
    static Box of(int nx, int ny) { return {1, nx, 1, ny}; }
    template <class T>
    static Box of(const Grid<T>& g) {
        return {1, g.nx(), 1, g.ny()};
    }
    // The box with the given bounds, each held within the index range of
    // `within` (bounds given wide, so that a far-off centre plus a reach
    // cannot overflow before it is held).
    static Box clamped(long long i0, long long i1, long long j0, long long j1, const Box& within) {
        const auto hold = [](long long v, int lo, int hi) { return static_cast<int>(std::clamp<long long>(v, lo, hi)); };
        return {hold(i0, within.i0, within.i1), hold(i1, within.i0, within.i1), hold(j0, within.j0, within.j1),
                hold(j1, within.j0, within.j1)};
    }

    bool contains(int i, int j) const { return i >= i0 && i <= i1 && j >= j0 && j <= j1; }
    bool empty() const { return i0 > i1 || j0 > j1; }
    bool operator==(const Box&) const = default;

    // visit(i, j) over the box in the grids' storage order (second index
    // outer), for work whose result does not depend on the order.
    template <class Visit>
    void for_each(Visit visit) const {
        for (int j = j0; j <= j1; ++j)
            for (int i = i0; i <= i1; ++i) visit(i, j);
    }
    // visit(i, j) with the first index outer, the order of the running sums
    // and of the sweeps whose pixels see the changes of earlier ones.
    template <class Visit>
    void for_each_first_major(Visit visit) const {
        for (int i = i0; i <= i1; ++i)
            for (int j = j0; j <= j1; ++j) visit(i, j);
    }
};

}  // namespace veltrane2
