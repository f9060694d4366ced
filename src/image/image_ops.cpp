#include "image/image_ops.hpp"

#include <algorithm>
#include <vector>


namespace veltrane2 {

// These sweeps set, multiply or count each value on its own (an integer sum
// does not depend on the order of its terms): they run over the storage
// as it lies.

void to_first_index_major(std::vector<std::pair<int, int>>& pixels) {
    if (pixels.size() < 2) return;
    int lo = pixels.front().first;
    int hi = lo;
    for (const auto& p : pixels) {
        lo = std::min(lo, p.first);
        hi = std::max(hi, p.first);
    }
    std::vector<std::size_t> start(static_cast<std::size_t>(hi - lo) + 2, 0);
    for (const auto& p : pixels) ++start[static_cast<std::size_t>(p.first - lo) + 1];
    for (std::size_t k = 1; k < start.size(); ++k) start[k] += start[k - 1];
    std::vector<std::pair<int, int>> sorted(pixels.size());
    for (const auto& p : pixels) sorted[start[static_cast<std::size_t>(p.first - lo)]++] = p;
    pixels.swap(sorted);
}

void start_integer_table(IntMap& table, int ival) {
    std::fill(table.data(), table.data() + table.size(), ival);
}

void start_a_table(RealImage& table, double val) {
    std::fill(table.data(), table.data() + table.size(), val);
}

int integer_value_image(const IntMap& image) {
    // Eight partial sums side by side, added at the end.
    const int* v = image.data();
    const std::size_t n = image.size();
    int part[8] = {};
    std::size_t k = 0;
    for (; k + 8 <= n; k += 8)
        for (int l = 0; l < 8; ++l) part[l] += v[k + static_cast<std::size_t>(l)];
    int sum = 0;
    for (; k < n; ++k) sum += v[k];
    for (const int p : part) sum += p;
    return sum;
}

double ave_image(const RealImage& fmage) {
    const int nx = fmage.nx();
    const int ny = fmage.ny();
    // Every value, first index outer.
    double sum = 0.0;
    for_each_first_index_row(fmage, nullptr, [&](int, const double* row, const int*) {
        for (int j = 0; j < ny; ++j) sum += row[j];
    });
    return sum / static_cast<double>(nx * ny);
}

// The extremes do not depend on the order of the visit, and every value is
// rescaled on its own: those sweeps follow the storage order.

void normalization_image(RealImage& fmage) {
    normalization_image(fmage, value_range(fmage));
}

void normalization_image(RealImage& fmage, const ValueRange& r) {
    const double hmx = r.hi;
    const double hmn = r.lo;
    if (hmx == hmn) {
        // No range: a flat image normalises to zeros rather than to 0/0.
        start_a_table(fmage, 0.0);
        return;
    }
    const double scale = 1.0 / (hmx - hmn);
    const int nx = fmage.nx();
    const int ny = fmage.ny();
    for (int j = 1; j <= ny; ++j)
        for (int i = 1; i <= nx; ++i) fmage(i, j) = (fmage(i, j) - hmn) * scale;
}

void times_normalized(RealImage& image1, const RealImage& image2, const ValueRange& r) {
    double* a = image1.data();
    const double* b = image2.data();
    const std::size_t n = image1.size();
    if (r.hi == r.lo) {
        for (std::size_t k = 0; k < n; ++k) a[k] = a[k] * 0.0;
        return;
    }
    const double hmn = r.lo;
    const double scale = 1.0 / (r.hi - hmn);
    for (std::size_t k = 0; k < n; ++k) a[k] = a[k] * ((b[k] - hmn) * scale);
}

double normalization_local(RealImage& fmage, const IntMap& bimage) {
    // The selected pixels (few of the grid's), in storage order: their
    // range and their rescaling follow it.
    std::vector<std::size_t> at;
    const int* b = bimage.data();
    for (std::size_t k = 0; k < bimage.size(); ++k)
        if (b[k] == 1) at.push_back(k);
    if (at.empty()) {
        // Nothing selected: nothing to rescale and no mean to take.
        return 0.0;
    }
    double* f = fmage.data();
    double hmn = kNormStart;
    double hmx = -kNormStart;
    for (const std::size_t k : at) {
        hmn = std::min(hmn, f[k]);
        hmx = std::max(hmx, f[k]);
    }
    // Selected values that are all equal have no range: they become 0.
    const bool flat = hmx == hmn;
    const double scale = flat ? 0.0 : 1.0 / (hmx - hmn);
    for (const std::size_t k : at) f[k] = flat ? 0.0 : (f[k] - hmn) * scale;
    // The mean sums first index outer: the pixels of each first index, in
    // storage order, one first index after another.
    const std::size_t nx = static_cast<std::size_t>(fmage.nx());
    std::vector<std::size_t> start(nx + 1, 0);
    for (const std::size_t k : at) ++start[k % nx + 1];
    for (std::size_t i = 0; i < nx; ++i) start[i + 1] += start[i];
    std::vector<double> by_first(at.size());
    for (const std::size_t k : at) by_first[start[k % nx]++] = f[k];
    double sum = 0.0;
    for (const double v : by_first) sum += v;
    return sum / static_cast<double>(at.size());
}

bool inside2d(int iepsf, const IntMap& iepsmap, int ix, int iy) {
    int iplus = 0;
    int ieps = 0;
    const int di[4] = {-1, 1, 0, 0};
    const int dj[4] = {0, 0, -1, 1};
    for (int k = 0; k < 4; ++k) {
        const int i = ix + di[k];
        const int j = iy + dj[k];
        if (i < 1 || i > iepsmap.nx() || j < 1 || j > iepsmap.ny()) {
            ++iplus;
        } else if (iepsmap(i, j) == iepsf) {
            ++ieps;
        }
    }
    return ieps == 4 - iplus;
}

}  // namespace veltrane2
