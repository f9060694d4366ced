#include "image/extremes.hpp"

#include <algorithm>
#include <vector>

#include "image/image_ops.hpp"
#include "image/parallel.hpp"

namespace veltrane2 {
namespace {

// The heapsort of both key types; the two-element case is the only place
// where they differ.
template <class Key>
void index_heapsort(int n, const Key* ra, int* indx, bool equal_pair_swaps) {
    // 1-based views of the arrays.
    auto key = [ra](int pos) { return ra[pos - 1]; };
    auto ix = [indx](int k) -> int& { return indx[k - 1]; };
    if (n < 1) return;
    if (n == 1) {
        ix(1) = 1;
        return;
    }
    for (int k = 1; k <= n; ++k) ix(k) = k;
    if (n == 2) {
        const bool swap = equal_pair_swaps ? !(key(1) < key(2)) : key(1) > key(2);
        if (swap) {
            ix(1) = 2;
            ix(2) = 1;
        }
        return;
    }
    int l = n / 2 + 1;
    int ir = n;
    for (;;) {
        int indxt;
        Key rra;
        if (l > 1) {
            --l;
            indxt = ix(l);
            rra = key(indxt);
        } else {
            indxt = ix(ir);
            rra = key(indxt);
            ix(ir) = ix(1);
            --ir;
            if (ir == 1) {
                ix(1) = indxt;
                return;
            }
        }
        int i = l;
        int j = l + l;
        while (j <= ir) {
            if (j < ir && key(ix(j)) < key(ix(j + 1))) ++j;
            if (rra < key(ix(j))) {
                ix(i) = ix(j);
                i = j;
                j += j;
            } else {
                break;
            }
        }
        ix(i) = indxt;
    }
}

}  // namespace

void hpsort(int n, const double* ra, int* indx) {
    index_heapsort(n, ra, indx, false);
}
void ihpsort(int n, const int* ra, int* indx) {
    index_heapsort(n, ra, indx, true);
}

void batch_sorting(const Partitionseg& seg, const double* subset, int& loc_min, int& loc_max, double& rmin,
                   double& rmax) {
    auto sub = [subset](int pos) { return subset[pos - 1]; };
    bool first = true;
    int icc = 0;
    auto block = [&](int count) {
        double ra[8];
        int ipos[8];
        int indx[8];
        for (int k = 1; k <= count; ++k) {
            ipos[k - 1] = icc + k;
            ra[k - 1] = sub(ipos[k - 1]);
        }
        hpsort(count, ra, indx);
        const int imin = ipos[indx[0] - 1];
        const int imax = ipos[indx[count - 1] - 1];
        if (first) {
            loc_min = imin;
            rmin = sub(imin);
            loc_max = imax;
            rmax = sub(imax);
            first = false;
        } else {
            if (sub(imin) - sub(loc_min) < 0.0) {
                loc_min = imin;
                rmin = sub(imin);
            }
            if (sub(imax) - sub(loc_max) > 0.0) {
                loc_max = imax;
                rmax = sub(imax);
            }
        }
        icc += 8;
    };
    for (int iseg = 1; iseg <= seg.nseg; ++iseg) block(8);
    if (seg.iaddseg == 1) block(seg.ileft);
}

Extremes location_max_min_image(const RealImage& image) {
    const int n = image.nx();
    Partitionseg seg;
    seg.nseg = n / 8;
    seg.ileft = n - 8 * seg.nseg;
    seg.iaddseg = seg.ileft > 0 ? 1 : 0;

    Extremes ex;
    for_each_first_index_row(image, nullptr, [&](int i, const double* line, const int*) {
        int locmn = 0;
        int locmx = 0;
        double rmin = 0.0;
        double rmax = 0.0;
        batch_sorting(seg, line, locmn, locmx, rmin, rmax);
        if (i == 1) {
            ex.loc_min = {1, locmn};
            ex.loc_max = {1, locmx};
        } else {
            if (image(i, locmn) - image(ex.loc_min[0], ex.loc_min[1]) < 0.0) ex.loc_min = {i, locmn};
            if (image(i, locmx) - image(ex.loc_max[0], ex.loc_max[1]) > 0.0) ex.loc_max = {i, locmx};
        }
    });
    ex.extreme[0] = image(ex.loc_min[0], ex.loc_min[1]);
    ex.extreme[1] = image(ex.loc_max[0], ex.loc_max[1]);
    return ex;
}

ValueSpan lowest_and_highest(const RealImage& image, int threads) {
    const int n = image.nx();
    const double* v = image.data();
    // Eight minima and maxima side by side: the lowest and the highest of a
    // set of values do not depend on the order they are met in, except
    // for which of two zeros is kept.
    constexpr int kWays = 8;
    std::vector<ValueSpan> part(static_cast<std::size_t>(thread_count(threads)), ValueSpan{v[0], v[0]});
    for_parts(threads, n, 64, [&](int p, int j0, int j1) {
        const std::size_t first = static_cast<std::size_t>(j0) * n;
        const std::size_t last = static_cast<std::size_t>(j1) * n;
        double lo[kWays];
        double hi[kWays];
        for (int l = 0; l < kWays; ++l) lo[l] = hi[l] = v[first];
        std::size_t k = first;
        for (; k + kWays <= last; k += kWays) {
            for (int l = 0; l < kWays; ++l) {
                const double x = v[k + static_cast<std::size_t>(l)];
                lo[l] = x < lo[l] ? x : lo[l];
                hi[l] = x > hi[l] ? x : hi[l];
            }
        }
        for (; k < last; ++k) {
            lo[0] = v[k] < lo[0] ? v[k] : lo[0];
            hi[0] = v[k] > hi[0] ? v[k] : hi[0];
        }
        ValueSpan s{lo[0], hi[0]};
        for (int l = 1; l < kWays; ++l) {
            s.low = lo[l] < s.low ? lo[l] : s.low;
            s.high = hi[l] > s.high ? hi[l] : s.high;
        }
        part[static_cast<std::size_t>(p)] = s;
    });
    ValueSpan span = part[0];
    for (const ValueSpan& s : part) {
        span.low = s.low < span.low ? s.low : span.low;
        span.high = s.high > span.high ? s.high : span.high;
    }
    // Where a zero is the answer, the sign is the one the plain sweeps keep:
    // the search's minimum, and the first highest value in storage order.
    if (span.low == 0.0) span.low = location_max_min_image(image).extreme[0];
    if (span.high == 0.0) {
        double hi = v[0];
        for (std::size_t k = 1; k < image.size(); ++k) hi = v[k] > hi ? v[k] : hi;
        span.high = hi;
    }
    return span;
}

}  // namespace veltrane2
