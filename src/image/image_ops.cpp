#include "image/image_ops.hpp"

#include <algorithm>


namespace veltrane2 {

void start_integer_table(IntMap& table, int ival) {
    const int nx = table.nx();
    const int ny = table.ny();
    for (int j = 1; j <= ny; ++j)
        for (int i = 1; i <= nx; ++i) table(i, j) = ival;
}

void start_a_table(RealImage& table, double val) {
    const int nx = table.nx();
    const int ny = table.ny();
    for (int j = 1; j <= ny; ++j)
        for (int i = 1; i <= nx; ++i) table(i, j) = val;
}

void image1ximage2(RealImage& image1, const RealImage& image2) {
    const int nx = image1.nx();
    const int ny = image1.ny();
    for (int j = 1; j <= ny; ++j)
        for (int i = 1; i <= nx; ++i) image1(i, j) = image1(i, j) * image2(i, j);
}

int integer_value_image(const IntMap& image) {
    // An integer sum does not depend on the order of its terms.
    int sum = 0;
    const int nx = image.nx();
    const int ny = image.ny();
    for (int j = 1; j <= ny; ++j)
        for (int i = 1; i <= nx; ++i) sum += image(i, j);
    return sum;
}

double ave_image(const RealImage& fmage) {
    const int nx = fmage.nx();
    const int ny = fmage.ny();
    // Every value, first index outer: a sweep along j touches a cache line
    // per column, and the next seven first indices find it still there.
    double sum = 0.0;
    for (int i = 1; i <= nx; ++i)
        for (int j = 1; j <= ny; ++j) sum += fmage(i, j);
    return sum / static_cast<double>(nx * ny);
}

// The extremes do not depend on the order of the visit, and every value is
// rescaled on its own: those sweeps follow the storage order.

void normalization_image(RealImage& fmage) {
    const ValueRange r = value_range(fmage);
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

double normalization_local(RealImage& fmage, const IntMap& bimage) {
    const ValueRange r = value_range(fmage, [&bimage](int i, int j) { return bimage(i, j) == 1; });
    const double hmx = r.hi;
    const double hmn = r.lo;
    const int nt = r.count;
    if (nt == 0) {
        // Nothing selected: nothing to rescale and no mean to take.
        return 0.0;
    }
    // Selected values that are all equal have no range: they become 0.
    const bool flat = hmx == hmn;
    const double scale = flat ? 0.0 : 1.0 / (hmx - hmn);
    const int nx = fmage.nx();
    const int ny = fmage.ny();
    for (int j = 1; j <= ny; ++j)
        for (int i = 1; i <= nx; ++i)
            if (bimage(i, j) == 1) fmage(i, j) = flat ? 0.0 : (fmage(i, j) - hmn) * scale;
    double sum = 0.0;
    for_each_first_major(
        Box::of(fmage), fmage, [&bimage](int i, int j) { return bimage(i, j) == 1; },
        [&sum](int, int, double v) { sum += v; });
    return sum / static_cast<double>(nt);
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
