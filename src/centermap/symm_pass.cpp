#include "centermap/symm_pass.hpp"

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>
#include <vector>

#include "core/constants.hpp"
#include "core/errors.hpp"
#include "core/listout.hpp"
#include "image/image_ops.hpp"

namespace veltrane2 {

double window_mismatch(const Box& box, int ns, const std::array<int, 2>& loci, const std::array<int, 2>& locj,
                       const RealImage& tempht, const IntMap& bimage, double limit) {
    const int ns0 = 2 * ns + 1;
    const double c1 = tempht(loci[0], locj[0]);
    const double c2 = tempht(loci[1], locj[1]);
    // Each term is formed as it is needed instead of from two windows filled
    // first: a pixel that is not selected or outside the box gives 0.
    const auto difference = [&](int i1, int j1, double c) {
        return box.contains(i1, j1) && bimage(i1, j1) == 1 ? std::abs(tempht(i1, j1) - c) : 0.0;
    };
    double s = 0.0;
    for (int ix = 1; ix <= ns0; ++ix) {
        const int i1 = loci[0] + ix - ns - 1;
        const int i2 = loci[1] + ns + 1 - ix;
        for (int iy = 1; iy <= ns0; ++iy) {
            const double d1 = difference(i1, locj[0] + iy - ns - 1, c1);
            const double d2 = difference(i2, locj[1] + ns + 1 - iy, c2);
            s += std::abs(d1 - d2);
        }
        // The terms are not negative: a sum that has reached the limit stays
        // there (a sum that is not a number stays that).
        if (s >= limit) return s;
    }
    return s;
}

void local_pass_1pair(const std::array<int, 2>& loci, const std::array<int, 2>& locj, RealImage& tempht,
                      MarkMap& written, IntMap& table) {
    const double first = tempht(loci[0], locj[0]);
    const double second = tempht(loci[1], locj[1]);
    const double val = std::min(first, second);
    const double ave = 0.5 * (first + second);
    if (first > val) write_marked(tempht, written, loci[0], locj[0], ave);
    if (second > val) write_marked(tempht, written, loci[1], locj[1], ave);
    table(loci[0], locj[0]) = 0;
    table(loci[1], locj[1]) = 0;
}

namespace {

// The largest table of the bound below: 8 MiB.
constexpr double kMostBounded = 1 << 20;

// An upper bound of window_mismatch() that costs four lookups a window, for
// a pass whose pixels and mirrors are mostly alike. Each pixel q of the box
// widened by ns holds a whole number a(q) of steps, at least
// |t(q) - t(q')| + u (|t(q)| + |t(q')|) (q' its mirror through the centre,
// u the unit roundoff) when both are selected and in the box, 0 when
// neither is, and kBeyond when only one is or a value is not a number; the
// windows' sums of a come from sums over areas. Each term of a window is
// ||t(q) - c1| - |t(q') - c2||, rounded (or 0), at most
//   (|t(q) - t(q')| + |c1 - c2| + u (|t(q)| + |t(q')| + |c1| + |c2|)) (1 + u),
// so a window's mismatch, as window_mismatch() adds it, is at most
//   (step * (sum of a) + n (|c1 - c2| + u (|c1| + |c2|))) (1 + u) (1 + n u)
// (n the window's terms). The bound taken has room to spare for each
// factor. A large value (the peak at the centre) weighs only on the
// windows that hold it.
class MirrorBound {
public:
    MirrorBound(int ns, const std::array<int, 2>& icent, const Box& box, const RealImage& tempht, const IntMap& bimage,
                double limit)
        : ns_(ns),
          i0_(box.i0 - ns),
          j0_(box.j0 - ns),
          w_(box.i1 - box.i0 + 1 + 2 * ns),
          h_(box.j1 - box.j0 + 1 + 2 * ns),
          step_(std::ldexp(limit, -20)),
          limit_(limit),
          sums_(static_cast<std::size_t>(w_ + 1) * static_cast<std::size_t>(h_ + 1), 0) {
        const auto selected = [&](int i, int j) { return box.contains(i, j) && bimage(i, j) == 1; };
        for (int y = 0; y < h_; ++y) {
            const int j = j0_ + y;
            long long row = 0;
            for (int x = 0; x < w_; ++x) {
                const int i = i0_ + x;
                const int mi = 2 * icent[0] - i;
                const int mj = 2 * icent[1] - j;
                const bool here = selected(i, j);
                long long a = 0;
                if (here != selected(mi, mj)) {
                    a = kBeyond;
                } else if (here) {
                    const double v = tempht(i, j);
                    const double m = tempht(mi, mj);
                    if (!std::isfinite(v) || !std::isfinite(m)) {
                        a = kBeyond;
                    } else {
                        // |v - m| exceeds its rounded value by a factor of
                        // at most 1 + u; 2u (|v| + |m|) bounds its part of
                        // the rounding.
                        const double steps =
                            (std::abs(v - m) + 0x1p-52 * (std::abs(v) + std::abs(m))) / step_ * (1.0 + 0x1p-40);
                        a = steps >= static_cast<double>(kBeyond) ? kBeyond : static_cast<long long>(std::ceil(steps));
                    }
                }
                row += a;
                at(x + 1, y + 1) = at(x + 1, y) + row;
            }
        }
    }

    // True when the mismatch of the window of (loci(1), locj(1)), whose
    // value is c1 and its mirror's c2, is certainly below the limit.
    bool surely_below(const std::array<int, 2>& loci, const std::array<int, 2>& locj, double c1, double c2) const {
        const int x0 = loci[0] - ns_ - i0_;
        const int y0 = locj[0] - ns_ - j0_;
        const int side = 2 * ns_ + 1;
        const long long a = at(x0 + side, y0 + side) - at(x0, y0 + side) - at(x0 + side, y0) + at(x0, y0);
        if (a >= kBeyond) return false;
        const double terms = static_cast<double>(side) * side;
        const double bound =
            step_ * static_cast<double>(a) + terms * (2.0 * std::abs(c1 - c2) + 0x1p-51 * (std::abs(c1) + std::abs(c2)));
        return bound <= 0.25 * limit_;
    }

private:
    static constexpr long long kBeyond = 1LL << 22;  // more steps than the limit holds
    std::size_t index(int x, int y) const { return static_cast<std::size_t>(y) * static_cast<std::size_t>(w_ + 1) + x; }
    long long& at(int x, int y) { return sums_[index(x, y)]; }
    long long at(int x, int y) const { return sums_[index(x, y)]; }

    int ns_, i0_, j0_, w_, h_;
    double step_, limit_;
    std::vector<long long> sums_;  // sums_(x, y): the sum of a over the first x columns of the first y rows
};

}  // namespace

void real_symm_pass_1pair(int ns, const std::array<int, 2>& icent, const Box& box, const MiddleLines& middle,
                          RealImage& tempht, MarkMap& written, IntMap& bimage) {
    const int ns0 = 2 * ns + 1;
    if (ns0 > kMxsymm) throw FatalStop(list_line("NS0 > MXSYMM in REAL_SYMM_PASS ", ns0, kMxsymm, " NS=", ns, kMxsymm));
    const int nx = tempht.nx();
    const int ny = tempht.ny();

    // The pixels to examine, in first-index-major order.
    std::vector<std::pair<int, int>> candidates;
    box.for_each([&](int i, int j) {
        if (bimage(i, j) == 1 && !middle.on(i, j)) candidates.emplace_back(i, j);
    });
    to_first_index_major(candidates);

    // Every pair is decided on the image and the mask as they were before
    // the pass; the pairs taken are then passed in their order.
    // A pair whose two values differ is not taken, whatever its windows: the
    // windows are compared only for pairs of equal values.
    // Where the pixels are many against the box, most windows are taken
    // on a bound of their mismatch, and only the others are added up.
    std::optional<MirrorBound> bound;
    const double area =
        (static_cast<double>(box.i1 - box.i0) + 1 + 2 * ns) * (static_cast<double>(box.j1 - box.j0) + 1 + 2 * ns);
    if (static_cast<double>(candidates.size()) * ns0 * ns0 > 8.0 * area && area <= kMostBounded)
        bound.emplace(ns, icent, box, tempht, bimage, kPvtiny);
    std::vector<std::pair<std::array<int, 2>, std::array<int, 2>>> taken;
    for (const auto& [i, j] : candidates) {
        const std::array<int, 2> loci{i, 2 * icent[0] - i};
        const std::array<int, 2> locj{j, 2 * icent[1] - j};
        if (loci[1] < 1 || loci[1] > nx || locj[1] < 1 || locj[1] > ny) continue;
        const double c1 = tempht(i, j);
        const double c2 = tempht(loci[1], locj[1]);
        if (!(std::abs(c1 - c2) < kPvtiny)) continue;
        if ((bound && bound->surely_below(loci, locj, c1, c2)) ||
            window_mismatch(box, ns, loci, locj, tempht, bimage, kPvtiny) < kPvtiny)
            taken.emplace_back(loci, locj);
    }
    for (const auto& [loci, locj] : taken) local_pass_1pair(loci, locj, tempht, written, bimage);
}

}  // namespace veltrane2
