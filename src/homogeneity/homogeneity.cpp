#include "homogeneity/homogeneity.hpp"

#include <algorithm>
#include <vector>

#include "image/extremes.hpp"
#include "image/parallel.hpp"

#include "image/image_ops.hpp"

namespace veltrane2 {

// The extremes below do not depend on the order in which the pixels are
// visited, so the sweeps follow the storage order of the grid.

namespace {

// The Laplacian stencil's weights: the pixel, its neighbours along the first
// index (-1, +1), then along the second (-1, +1).
struct Weights {
    double w[5];
    explicit Weights(const Laplacian& lap) {
        const Stencil& mask = lap.laplacemsk8p;
        const int at[5][2] = {{0, 0}, {-1, 0}, {1, 0}, {0, -1}, {0, 1}};
        for (int k = 0; k < 5; ++k) w[k] = mask(at[k][0], at[k][1]);
    }
    // The Laplacian of an inner pixel at position k of column c, whose
    // neighbouring columns are below and above: the sum in laplace_discr's
    // order.
    double inner(const double* c, const double* below, const double* above, int k) const {
        return w[0] * c[k] + w[1] * c[k - 1] + w[2] * c[k + 1] + w[3] * below[k] + w[4] * above[k];
    }
    // The Laplacian at (i, j) of t.
    double at(const Laplacian& lap, int i, int j, const RealImage& t) const {
        if (j > 1 && j < t.ny() && i > 1 && i < t.nx()) return inner(&t(1, j), &t(1, j - 1), &t(1, j + 1), i - 1);
        return laplace_discr(lap, i, j, t);
    }
};

}  // namespace

ValueRange intensity_homegen(const RealImage& tempht, RealImage& homo) {
    const int nx = tempht.nx();
    const int ny = tempht.ny();
    const ValueRange r = value_range(tempht);
    const double emin = r.lo;
    const double emax = r.hi;
    if (emax == emin) {
        start_a_table(homo, 0.0);
        return value_range(homo);
    }
    const double scale = 1.0 / (emax - emin);
    double hmx = -kNormStart;
    for (int j = 1; j <= ny; ++j) {
        for (int i = 1; i <= nx; ++i) {
            homo(i, j) = (tempht(i, j) - emin) * scale;
            hmx = std::max(hmx, homo(i, j));
        }
    }
    const double top = 1.0 / hmx;
    ValueRange out;
    for (int j = 1; j <= ny; ++j) {
        for (int i = 1; i <= nx; ++i) {
            homo(i, j) = homo(i, j) * top;
            out.add(homo(i, j));
        }
    }
    return out;
}

ValueRange laplace_homegen(const Laplacian& lap, bool local, const RealImage& tempht, IntMap& bimage,
                           RealImage& homo) {
    const int nx = tempht.nx();
    const int ny = tempht.ny();
    if (!local) start_integer_table(bimage, 1);
    // The Laplacians are kept in homo until they are rescaled in place.
    RealImage& edge = homo;
    double emax = -kNormStart;
    double emin = kNormStart;
    int count = 0;
    // The stencil's weights are taken once.
    const Weights w(lap);
    for (int j = 1; j <= ny; ++j) {
        for (int i = 1; i <= nx; ++i) {
            if (bimage(i, j) == 1) {
                edge(i, j) = w.at(lap, i, j, tempht);
                emax = std::max(emax, edge(i, j));
                emin = std::min(emin, edge(i, j));
                ++count;
            }
        }
    }
    const bool flat = count > 0 && emax == emin;
    const double s = flat ? 0.0 : 1.0 / (emax - emin);
    ValueRange out;
    for (int j = 1; j <= ny; ++j) {
        for (int i = 1; i <= nx; ++i) {
            homo(i, j) = bimage(i, j) == 1 ? (flat ? 0.0 : (homo(i, j) - emin) * s) : 0.0;
            out.add(homo(i, j));
        }
    }
    return out;
}

void homogeneity_product(const Laplacian& lap, const RealImage& tempht, RealImage& h, RealImage& edges,
                         int threads, const ValueSpan* extremes) {
    const int nx = tempht.nx();
    const int ny = tempht.ny();
    const auto in_turn = [&] {
        IntMap all(nx, ny);
        normalization_image(h, intensity_homegen(tempht, h));
        const ValueRange lr = laplace_homegen(lap, false, tempht, all, edges);
        times_normalized(h, edges, lr);
    };
    // Each step maps the values it rescales in the same order (a difference
    // from the smallest, times a positive scale, rounded), so each map's
    // range is that of its smallest and largest input, and the smallest
    // comes out as +0. A range that ends at a zero (whose sign depends on
    // where it is met), has no width, or lies beyond the starting extremes
    // of the steps' searches is left to the steps in turn.
    const auto plain = [](const ValueSpan& r) {
        return r.low != 0.0 && r.low < r.high && r.low < kNormStart && r.high > -kNormStart;
    };
    const ValueSpan t = extremes != nullptr ? *extremes : lowest_and_highest(tempht, threads);
    if (!plain(t)) return in_turn();

    const Weights w(lap);
    // A part that is not run (fewer columns than threads) keeps extremes
    // that change nothing.
    std::vector<ValueSpan> part(static_cast<std::size_t>(thread_count(threads)), ValueSpan{kNormStart, -kNormStart});
    for_parts(threads, ny, 64, [&](int p, int j0, int j1) {
        // Four extremes side by side (only a zero's sign could depend on
        // the order, and a range that ends at a zero is left to the maps in
        // turn); the inner pixels of a column take the stencil in one loop.
        constexpr int kWays = 4;
        double lo[kWays], hi[kWays];
        for (int l = 0; l < kWays; ++l) {
            lo[l] = kNormStart;
            hi[l] = -kNormStart;
        }
        const auto take = [&](int l, double e) {
            lo[l] = e < lo[l] ? e : lo[l];
            hi[l] = e > hi[l] ? e : hi[l];
        };
        for (int j = j0 + 1; j <= j1; ++j) {
            double* out = &edges(1, j);
            if (j == 1 || j == ny || nx < 3) {
                for (int i = 1; i <= nx; ++i) take(0, out[i - 1] = w.at(lap, i, j, tempht));
                continue;
            }
            take(0, out[0] = laplace_discr(lap, 1, j, tempht));
            const double* c = &tempht(1, j);
            const double* below = &tempht(1, j - 1);
            const double* above = &tempht(1, j + 1);
            int i = 1;  // 0-based position within the column
            for (; i + kWays <= nx - 1; i += kWays) {
                for (int l = 0; l < kWays; ++l) {
                    const int k = i + l;
                    const double e = w.inner(c, below, above, k);
                    out[k] = e;
                    take(l, e);
                }
            }
            for (; i < nx - 1; ++i) {
                const double e = w.inner(c, below, above, i);
                out[i] = e;
                take(0, e);
            }
            take(0, out[nx - 1] = laplace_discr(lap, nx, j, tempht));
        }
        ValueSpan r{lo[0], hi[0]};
        for (int l = 1; l < kWays; ++l) {
            r.low = lo[l] < r.low ? lo[l] : r.low;
            r.high = hi[l] > r.high ? hi[l] : r.high;
        }
        part[static_cast<std::size_t>(p)] = r;
    });
    ValueSpan e{kNormStart, -kNormStart};
    for (const ValueSpan& s : part) {
        e.low = std::min(e.low, s.low);
        e.high = std::max(e.high, s.high);
    }
    if (!plain(e)) return in_turn();

    // The intensity map: (t - min) / (max - min), over its largest value,
    // then rescaled by its range [+0, top].
    const double scale = 1.0 / (t.high - t.low);
    const double hmx = (t.high - t.low) * scale;
    const double top = 1.0 / hmx;
    const double h_lo = 0.0;
    const double h_hi = hmx * top;
    const double h_scale = 1.0 / (h_hi - h_lo);
    // The Laplacian map: (e - min) / (max - min), then rescaled by its
    // range [+0, l_hi] as it multiplies the intensity map.
    const double s = 1.0 / (e.high - e.low);
    const double l_lo = 0.0;
    const double l_hi = (e.high - e.low) * s;
    const double l_scale = 1.0 / (l_hi - l_lo);
    const double* tv = tempht.data();
    const double* ev = edges.data();
    double* hv = h.data();
    for_parts(threads, ny, 64, [&](int, int j0, int j1) {
        for (std::size_t k = static_cast<std::size_t>(j0) * nx; k < static_cast<std::size_t>(j1) * nx; ++k) {
            const double intensity = (((tv[k] - t.low) * scale) * top - h_lo) * h_scale;
            const double laplacian = (ev[k] - e.low) * s;
            hv[k] = intensity * ((laplacian - l_lo) * l_scale);
        }
    });
}

void select_homo_global(const RealImage& fmage, double thresh_homo_glb, IntMap& bimage) {
    const int nx = fmage.nx();
    const int ny = fmage.ny();
    for (int j = 1; j <= ny; ++j)
        for (int i = 1; i <= nx; ++i) bimage(i, j) = fmage(i, j) > thresh_homo_glb ? 1 : 0;
}

}  // namespace veltrane2
