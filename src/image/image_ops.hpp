// Whole-image operations (each over the whole of the grids it is given, all
// of one size), pixel numbering, the four-neighbour test and running
// statistics.
#pragma once

#include <algorithm>
#include <cmath>
#include <ostream>
#include <utility>
#include <vector>

#include "image/box.hpp"
#include "image/grid.hpp"

namespace veltrane2 {

// Start value of the running extremes of the normalisations: the
// single-precision 9999.999 widened to double.
inline constexpr double kNormStart = static_cast<double>(9999.999f);

// Visits the pixels (i, j) of the box b whose mask value m = mask(i, j)
// satisfies take(m), in first-index-major order (i outer, j inner), as the
// running sums and statistics that depend on the order of their terms
// require; visit(i, j, value) receives values(i, j). The grids are read in
// their storage order, a band of adjacent first indices at a time (the
// mask's columns a few steps ahead asked for early), so the order of the
// visit costs few cache misses.
template <class Take, class Visit>
void for_each_first_major(const Box& b, const Grid<double>& values, const Grid<int>& mask, Take take, Visit visit) {
    const int i0 = b.i0, i1 = b.i1, j0 = b.j0, j1 = b.j1;
    constexpr int kBand = 16;
    constexpr int kAhead = 16;
    std::vector<std::pair<int, double>> hits[kBand];
    for (int ib = i0; ib <= i1; ib += kBand) {
        const int count = std::min(kBand, i1 - ib + 1);
        for (int s = 0; s < count; ++s) hits[s].clear();
        for (int j = j0; j <= j1; ++j) {
            if (j + kAhead <= j1) {
                __builtin_prefetch(&mask(ib, j + kAhead));
                __builtin_prefetch(&mask(ib + count - 1, j + kAhead));
            }
            for (int s = 0; s < count; ++s)
                if (take(mask(ib + s, j))) hits[s].emplace_back(j, values(ib + s, j));
        }
        for (int s = 0; s < count; ++s)
            for (const auto& [j, v] : hits[s]) visit(ib + s, j, v);
    }
}

// Hands row(i, values, marks) the values (i, 1..ny) side by side, for i =
// 1..nx in order, with those of a mask of the same size when one is given
// (marks is null otherwise): eight first indices at a time are copied out
// along the second index (a cache line per column, the columns a few steps
// ahead asked for early) into rows of their own.
template <class Row>
void for_each_first_index_row(const Grid<double>& g, const Grid<int>* mask, Row row) {
    const int nx = g.nx();
    const int ny = g.ny();
    constexpr int kRows = 8;
    constexpr int kAhead = 16;
    const std::size_t len = static_cast<std::size_t>(std::max(ny, 0));
    std::vector<double> rows(kRows * len);
    std::vector<int> mask_rows(mask != nullptr ? kRows * len : 0);
    for (int i0 = 1; i0 <= nx; i0 += kRows) {
        const int count = std::min(kRows, nx - i0 + 1);
        for (int j = 1; j <= ny; ++j) {
            if (j + kAhead <= ny) {
                __builtin_prefetch(&g(i0, j + kAhead));
                if (mask != nullptr) __builtin_prefetch(&(*mask)(i0, j + kAhead));
            }
            const std::size_t at = static_cast<std::size_t>(j - 1);
            const double* column = &g(i0, j);
            for (int r = 0; r < count; ++r) rows[static_cast<std::size_t>(r) * len + at] = column[r];
            if (mask == nullptr) continue;
            const int* marks = &(*mask)(i0, j);
            for (int r = 0; r < count; ++r) mask_rows[static_cast<std::size_t>(r) * len + at] = marks[r];
        }
        for (int r = 0; r < count; ++r) {
            const std::size_t at = static_cast<std::size_t>(r) * len;
            row(i0 + r, rows.data() + at, mask != nullptr ? mask_rows.data() + at : nullptr);
        }
    }
}

// Pixels listed in the grids' storage order (second index outer, each pixel
// once) put in first-index-major order, the order sorting the pairs gives:
// a count by first index that keeps the order within each.
void to_first_index_major(std::vector<std::pair<int, int>>& pixels);

// Visits the (2 ns + 1) x (2 ns + 1) window around (i0, j0), first-index
// offset outer and second-index offset inner, skipping the centre and every
// position outside the box `within`: visit(i, j) for each.
template <class Visit>
void for_each_neighbour(int ns, int i0, int j0, const Box& within, Visit visit) {
    for (int k = -ns; k <= ns; ++k) {
        const int i = i0 + k;
        if (i < within.i0 || i > within.i1) continue;
        for (int l = -ns; l <= ns; ++l) {
            const int j = j0 + l;
            if ((k == 0 && l == 0) || j < within.j0 || j > within.j1) continue;
            visit(i, j);
        }
    }
}

// Smallest and largest of the values for which take(i, j) holds, the
// search starting from +-9999.999 as the normalisations' running extremes
// do; count is the number of values looked at. The extremes do not depend on
// the order of the visit, so the sweep follows the storage order.
struct ValueRange {
    double lo = kNormStart;
    double hi = -kNormStart;
    int count = 0;
    // Takes v into the running extremes.
    void add(double v) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
        ++count;
    }
};
template <class Take>
ValueRange value_range(const Grid<double>& image, Take take) {
    ValueRange r;
    for (int j = 1; j <= image.ny(); ++j)
        for (int i = 1; i <= image.nx(); ++i)
            if (take(i, j)) r.add(image(i, j));
    return r;
}
inline ValueRange value_range(const Grid<double>& image) {
    return value_range(image, [](int, int) { return true; });
}

void start_integer_table(IntMap& table, int ival);
void start_a_table(RealImage& table, double val);
int integer_value_image(const IntMap& image);
double ave_image(const RealImage& fmage);

// Rescales the image to 0..1. An image whose values are all equal has no
// range to rescale: every value becomes 0.
void normalization_image(RealImage& fmage);
// The same with the image's value_range() already found.
void normalization_image(RealImage& fmage, const ValueRange& range);
// image1 = image1 x (image2 as normalization_image(image2, range2) rescales
// it), value by value; image2 is left as it is.
void times_normalized(RealImage& image1, const RealImage& image2, const ValueRange& range2);

// Rescales the pixels whose mask value is 1 to 0..1 and returns their mean.
// Selected values that are all equal become 0 (mean 0); with no selected
// pixel the image is unchanged and the mean is 0.
double normalization_local(RealImage& fmage, const IntMap& bimage);


inline int gd2nb_2d(int nx, int i, int j) {
    return (j - 1) * nx + i;
}
inline void nb2gd_2d(int nx, int n, int& i, int& j) {
    i = (n - 1) % nx + 1;
    j = (n - 1) / nx + 1;
}

// Rounding to a pixel index: half away from zero. A value that is not a
// number gives 0 and values beyond the integer range are held at its ends,
// so that no index is ever made from garbage.
inline int nint(double x) {
    if (std::isnan(x)) return 0;
    if (x >= 2147483647.0) return 2147483647;
    if (x <= -2147483648.0) return -2147483647 - 1;
    return static_cast<int>(std::round(x));
}

// True when every four-neighbour of (ix, iy) inside the grid carries iepsf.
bool inside2d(int iepsf, const IntMap& iepsmap, int ix, int iy);

// Running mean after the n-th sample.
inline double average_n(int n, double ave_n1, double x_n) {
    return ave_n1 + (x_n - ave_n1) * (1.0 / static_cast<double>(n));
}
// Running spread sum after the n-th sample (callers take its square root).
inline double standd_n2(int n, double sd2_n1, double ave_n1, double x_n) {
    const double r = 1.0 / static_cast<double>(n);
    return sd2_n1 + (x_n - ave_n1) * (x_n - ave_n1) * (r * r);
}

}  // namespace veltrane2
