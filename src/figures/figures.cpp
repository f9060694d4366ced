#include "figures/figures.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

namespace veltrane2 {
namespace {

// Squared relative size of rounding: values printed and read back, or taken
// through a transform and back, keep about 1e-12 of their size, so energy
// below 1e-24 of the image's is none.
constexpr double kRounding = 1e-24;

// The values of ranks k and k + 1 (from 0) of v (reordered), the second
// only when `both`, where k + 1 < v.size() then. The values are sorted into
// buckets of equal width between their extremes, and only the buckets
// holding the ranks are searched; a bucket's index never decreases as its
// values increase, so the ranks are those of the whole.
std::pair<double, double> ranked(std::vector<double>& v, std::size_t k, bool both) {
    const std::size_t n = v.size();
    // Ranks j and j + 1 of w, by selection.
    const auto select = [both](std::vector<double>& w, std::size_t j) {
        const auto at = w.begin() + static_cast<std::ptrdiff_t>(j);
        std::nth_element(w.begin(), at, w.end());
        const double first = *at;
        return std::pair{first, both ? *std::min_element(at + 1, w.end()) : first};
    };
    const auto [lo_at, hi_at] = std::minmax_element(v.begin(), v.end());
    const double lo = *lo_at;
    const double hi = *hi_at;
    constexpr std::size_t kBuckets = 64;
    const double scale = static_cast<double>(kBuckets) / (hi - lo);
    if (n < 4 * kBuckets || !(hi > lo) || !std::isfinite(scale)) return select(v, k);
    // Each value's bucket, kept for the second sweep.
    std::vector<std::uint8_t> of(n);
    std::size_t count[kBuckets] = {};
    for (std::size_t i = 0; i < n; ++i) {
        const double t = (v[i] - lo) * scale;
        const auto b = static_cast<std::uint8_t>(t < kBuckets - 1 ? static_cast<std::size_t>(t) : kBuckets - 1);
        of[i] = b;
        ++count[b];
    }
    // The buckets b0..b1 hold ranks k and k + 1; below b0 lie `below` values.
    std::size_t below = 0;
    std::size_t b0 = 0;
    while (below + count[b0] <= k) below += count[b0++];
    std::size_t b1 = b0;
    std::size_t upto = below + count[b0];
    while (both && upto <= k + 1) upto += count[++b1];
    // Gathered without a branch: every value is written, and kept by
    // stepping past it (one place to spare for the last write).
    std::vector<double> in(upto - below + 1);
    std::size_t m = 0;
    for (std::size_t i = 0; i < n; ++i) {
        in[m] = v[i];
        m += of[i] >= b0 && of[i] <= b1 ? 1 : 0;
    }
    in.pop_back();
    return select(in, k - below);
}

// Median of v (reordered); the mean of the two middle values for an even
// count.
double median(std::vector<double>& v) {
    const std::size_t n = v.size();
    if (n == 0) return 0.0;
    if (n % 2 == 1) return ranked(v, n / 2, false).first;
    const auto [lower, upper] = ranked(v, n / 2 - 1, true);
    return 0.5 * (lower + upper);
}

double row_mean(const double* r, int nx) {
    double s = 0.0;
    for (int i = 0; i < nx; ++i) s += r[i];
    return s / nx;
}

// Sum over the row of (r - mean)^2.
double row_spread(const double* r, int nx) {
    const double m = row_mean(r, nx);
    double s = 0.0;
    for (int i = 0; i < nx; ++i) s += (r[i] - m) * (r[i] - m);
    return s;
}

}  // namespace

double stripe_energy(const RowView& z) {
    if (z.nx <= 0 || z.ny <= 0) return 0.0;
    // The plane a + b x + c y with x and y centred on the window: its three
    // terms are orthogonal, so each coefficient is a projection.
    const double xc = 0.5 * (z.nx - 1);
    const double yc = 0.5 * (z.ny - 1);
    double sum = 0.0, sx = 0.0, sy = 0.0, sxx = 0.0, syy = 0.0;
    std::vector<double> means(static_cast<std::size_t>(z.ny));
    for (int j = 0; j < z.ny; ++j) {
        const double* r = z.row(j);
        double s = 0.0, t = 0.0;
        for (int i = 0; i < z.nx; ++i) {
            s += r[i];
            t += (i - xc) * r[i];
        }
        means[static_cast<std::size_t>(j)] = s / z.nx;
        sum += s;
        sx += t;
        sy += (j - yc) * s;
    }
    for (int i = 0; i < z.nx; ++i) sxx += (i - xc) * (i - xc);
    for (int j = 0; j < z.ny; ++j) syy += (j - yc) * (j - yc);
    const double a = sum / (static_cast<double>(z.nx) * z.ny);
    const double b = sxx > 0.0 ? sx / (sxx * z.ny) : 0.0;
    const double c = syy > 0.0 ? sy / (syy * z.nx) : 0.0;
    double on_axis = 0.0, total = 0.0, size = 0.0;
    for (int j = 0; j < z.ny; ++j) {
        const double* r = z.row(j);
        const double level = a + c * (j - yc);
        const double m = means[static_cast<std::size_t>(j)] - level;
        on_axis += m * m;
        for (int i = 0; i < z.nx; ++i) {
            const double e = r[i] - level - b * (i - xc);
            total += e * e;
            size += r[i] * r[i];
        }
    }
    on_axis *= z.nx;
    // What a plane leaves is rounding, which has no direction.
    if (total <= kRounding * size) return 0.0;
    return std::min(1.0, on_axis / total);
}

double line_step(const RowView& z) {
    if (z.nx <= 0 || z.ny < 2) return 0.0;
    std::vector<double> steps(static_cast<std::size_t>(z.ny - 1));
    std::vector<double> d(static_cast<std::size_t>(z.nx));
    for (int j = 0; j + 1 < z.ny; ++j) {
        const double* r0 = z.row(j);
        const double* r1 = z.row(j + 1);
        for (int i = 0; i < z.nx; ++i) d[static_cast<std::size_t>(i)] = r1[i] - r0[i];
        steps[static_cast<std::size_t>(j)] = std::abs(median(d));
    }
    return median(steps);
}

double change_along_lines(const RowView& before, const RowView& after) {
    const int nx = std::min(before.nx, after.nx);
    const int ny = std::min(before.ny, after.ny);
    if (nx <= 0 || ny <= 0) return 0.0;
    std::vector<double> d(static_cast<std::size_t>(nx));
    double changed = 0.0, own = 0.0, size = 0.0;
    for (int j = 0; j < ny; ++j) {
        const double* b = before.row(j);
        const double* a = after.row(j);
        for (int i = 0; i < nx; ++i) {
            d[static_cast<std::size_t>(i)] = a[i] - b[i];
            size += a[i] * a[i] + b[i] * b[i];
        }
        changed += row_spread(d.data(), nx);
        own += row_spread(b, nx);
    }
    if (own <= kRounding * size) return changed <= kRounding * size ? 0.0 : std::numeric_limits<double>::infinity();
    return std::sqrt(changed / own);
}

double lowered_share(const RowView& gain) {
    if (gain.nx <= 0 || gain.ny <= 0) return 0.0;
    long long below = 0;
    for (int j = 0; j < gain.ny; ++j) {
        const double* g = gain.row(j);
        for (int i = 0; i < gain.nx; ++i) below += g[i] < 1.0 ? 1 : 0;
    }
    return static_cast<double>(below) / (static_cast<double>(gain.nx) * gain.ny);
}

double energy_removed(const RowView& before, const RowView& after) {
    const int nx = std::min(before.nx, after.nx);
    const int ny = std::min(before.ny, after.ny);
    if (nx <= 0 || ny <= 0) return 0.0;
    double sd = 0.0, sz = 0.0;
    for (int j = 0; j < ny; ++j) {
        const double* b = before.row(j);
        const double* a = after.row(j);
        for (int i = 0; i < nx; ++i) {
            sd += b[i] - a[i];
            sz += b[i];
        }
    }
    const double count = static_cast<double>(nx) * ny;
    const double md = sd / count;
    const double mz = sz / count;
    double ed = 0.0, ez = 0.0, size = 0.0;
    for (int j = 0; j < ny; ++j) {
        const double* b = before.row(j);
        const double* a = after.row(j);
        for (int i = 0; i < nx; ++i) {
            const double d = b[i] - a[i] - md;
            ed += d * d;
            ez += (b[i] - mz) * (b[i] - mz);
            size += b[i] * b[i];
        }
    }
    if (ez <= kRounding * size) return 0.0;
    return ed / ez;
}

}  // namespace veltrane2
