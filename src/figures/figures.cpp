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
// only when `both`, where k + 1 < v.size() then; lo and hi are v's
// extremes and `in` is room to work in. The values are counted into
// buckets of equal width between the extremes, and only the buckets holding
// the ranks are searched; a bucket's index never decreases as its values
// increase, so the ranks are those of the whole.
std::pair<double, double> ranked(std::vector<double>& v, std::size_t k, bool both, double lo, double hi,
                                 std::vector<double>& in) {
    const std::size_t n = v.size();
    // Ranks j and j + 1 of the values from b to e, by selection.
    const auto select = [both](double* b, double* e, std::size_t j) {
        double* at = b + j;
        std::nth_element(b, at, e);
        const double first = *at;
        return std::pair{first, both ? *std::min_element(at + 1, e) : first};
    };
    constexpr std::size_t kBuckets = 64;
    const double scale = static_cast<double>(kBuckets) / (hi - lo);
    if (n < 4 * kBuckets || !(hi > lo) || !std::isfinite(scale)) return select(v.data(), v.data() + n, k);
    const auto bucket = [lo, scale](double x) {
        const double t = (x - lo) * scale;
        return t < kBuckets - 1 ? static_cast<std::size_t>(t) : kBuckets - 1;
    };
    std::uint32_t count[kBuckets] = {};
    for (std::size_t i = 0; i < n; ++i) ++count[bucket(v[i])];
    // The buckets b0..b1 hold ranks k and k + 1; below b0 lie `below` values.
    std::size_t below = 0;
    std::size_t b0 = 0;
    while (below + count[b0] <= k) below += count[b0++];
    std::size_t b1 = b0;
    std::size_t upto = below + count[b0];
    while (both && upto <= k + 1) upto += count[++b1];
    // Gathered without a branch: every value is written, and kept by
    // stepping past it (one place to spare for the last write).
    in.resize(upto - below + 1);
    std::size_t m = 0;
    for (std::size_t i = 0; i < n; ++i) {
        in[m] = v[i];
        const std::size_t b = bucket(v[i]);
        m += b >= b0 && b <= b1 ? 1 : 0;
    }
    return select(in.data(), in.data() + m, k - below);
}

// Median of v (reordered), whose extremes are lo and hi; the mean of the
// two middle values for an even count.
double median(std::vector<double>& v, double lo, double hi, std::vector<double>& room) {
    const std::size_t n = v.size();
    if (n == 0) return 0.0;
    if (n % 2 == 1) return ranked(v, n / 2, false, lo, hi, room).first;
    const auto [lower, upper] = ranked(v, n / 2 - 1, true, lo, hi, room);
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
    std::vector<double> room;
    for (int j = 0; j + 1 < z.ny; ++j) {
        const double* r0 = z.row(j);
        const double* r1 = z.row(j + 1);
        double lo = r1[0] - r0[0];
        double hi = lo;
        for (int i = 0; i < z.nx; ++i) {
            const double x = r1[i] - r0[i];
            d[static_cast<std::size_t>(i)] = x;
            lo = x < lo ? x : lo;
            hi = x > hi ? x : hi;
        }
        steps[static_cast<std::size_t>(j)] = std::abs(median(d, lo, hi, room));
    }
    const auto [lo, hi] = std::minmax_element(steps.begin(), steps.end());
    return median(steps, *lo, *hi, room);
}

namespace {

// before's window cut to after's.
RowView common(const RowView& before, const RowView& after) {
    return {before.v, std::min(before.nx, after.nx), std::min(before.ny, after.ny), before.stride};
}

}  // namespace

BeforeSums before_sums(const RowView& z) {
    BeforeSums s;
    if (z.nx <= 0 || z.ny <= 0) return s;
    for (int j = 0; j < z.ny; ++j) {
        const double* b = z.row(j);
        s.own += row_spread(b, z.nx);
        for (int i = 0; i < z.nx; ++i) s.sum += b[i];
    }
    const double mean = s.sum / (static_cast<double>(z.nx) * z.ny);
    for (int j = 0; j < z.ny; ++j) {
        const double* b = z.row(j);
        for (int i = 0; i < z.nx; ++i) {
            s.spread += (b[i] - mean) * (b[i] - mean);
            s.size += b[i] * b[i];
        }
    }
    return s;
}

ChangeFigures change_figures(const RowView& before, const RowView& after, const BeforeSums& sums) {
    const int nx = before.nx;
    const int ny = before.ny;
    ChangeFigures f;
    if (nx <= 0 || ny <= 0) return f;
    // The sums run in the order of the figures' definitions, each on its
    // own: the change along each line, its size, and the whole change.
    std::vector<double> d(static_cast<std::size_t>(nx));
    double changed = 0.0, size = 0.0, sd = 0.0;
    for (int j = 0; j < ny; ++j) {
        const double* b = before.row(j);
        const double* a = after.row(j);
        double line = 0.0;
        for (int i = 0; i < nx; ++i) {
            const double di = a[i] - b[i];
            d[static_cast<std::size_t>(i)] = di;
            line += di;
            size += a[i] * a[i] + b[i] * b[i];
            sd += b[i] - a[i];
        }
        const double m = line / nx;
        double spread = 0.0;
        for (int i = 0; i < nx; ++i) spread += (d[static_cast<std::size_t>(i)] - m) * (d[static_cast<std::size_t>(i)] - m);
        changed += spread;
    }
    if (sums.own <= kRounding * size) {
        f.change_along_lines = changed <= kRounding * size ? 0.0 : std::numeric_limits<double>::infinity();
    } else {
        f.change_along_lines = std::sqrt(changed / sums.own);
    }
    if (sums.spread <= kRounding * sums.size) return f;
    const double md = sd / (static_cast<double>(nx) * ny);
    double ed = 0.0;
    for (int j = 0; j < ny; ++j) {
        const double* b = before.row(j);
        const double* a = after.row(j);
        for (int i = 0; i < nx; ++i) {
            const double e = b[i] - a[i] - md;
            ed += e * e;
        }
    }
    f.energy_removed = ed / sums.spread;
    return f;
}

double change_along_lines(const RowView& before, const RowView& after) {
    const RowView b = common(before, after);
    return change_figures(b, after, before_sums(b)).change_along_lines;
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
    const RowView b = common(before, after);
    return change_figures(b, after, before_sums(b)).energy_removed;
}

}  // namespace veltrane2
